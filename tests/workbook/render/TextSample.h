#pragma once

#include "workbook/sheet/Workbook.h"

#include <QImage>
#include <QRect>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace markwell::test {

// Texts whose placement spreadsheet programs agree on, each in a cell (or merged block) of its
// own fill colour, so that the cell can be found in any picture of the sheet: a school name that
// wraps to two lines and one that wraps to three in blocks of the header's three rows (42
// points), Century Gothic 22 points, centred vertically; then Hebrew, Arabic and English names in
// the General alignment. Gridlines are off.
struct TextCase {
    const char* what;
    std::uint32_t fill;
    int lines;      // wrapped lines, 0 for a one-line cell
    bool rightEdge; // the text starts at the right of its cell
};
inline const TextCase kTextCases[] = {
    {"two-line school name", 0xFFF2CC, 2, false}, {"three-line school name", 0xDDEBF7, 3, false},
    {"Hebrew name", 0xE2EFDA, 0, true},           {"Arabic name", 0xFCE4D6, 0, true},
    {"English name", 0xE7E6F7, 0, false},
};
sheet::Workbook textSampleWorkbook();

// The bounding box of the pixels of one colour (each channel within 2), if there are any.
std::optional<QRect> boxOfColour(const QImage& image, std::uint32_t rgb);

// The runs of rows inside `box` that hold text ink (pixels clearly darker than the fill), as
// [top, bottom] offsets from the box's top; and the leftmost and rightmost ink columns as
// offsets from the box's left and right edges.
struct Ink {
    std::vector<std::pair<int, int>> bands;
    int leftGap = -1;
    int rightGap = -1;
};
Ink inkInBox(const QImage& image, const QRect& box);

} // namespace markwell::test
