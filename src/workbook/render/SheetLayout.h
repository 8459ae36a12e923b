#pragma once

#include "workbook/sheet/CellRef.h"
#include "workbook/sheet/Sheet.h"

#include <cstdint>
#include <vector>

namespace markwell::render {

// Unit conversions at 96 dpi, as spreadsheet programs make them on screen.
//
// Column widths are counted in characters of the widest digit of the workbook's default font
// (its "maximum digit width", 7 px for a 10-point Arial). A width as the user sees it (8.43
// characters for a default column) leaves out the cell padding of a few pixels; a stored width
// (`ColumnInfo::width256`, 1/256 of a character, as the file keeps it) includes the padding.
//
// Pixel width of a stored width: trunc((width256 + trunc(128 / mdw)) * mdw / 256).
int columnPixelsFromWidth256(int width256, int maxDigitWidth);
// The stored width of a width in characters as the user sees it: the padding is
// 2 * ceil(mdw / 4) + 1 px (5 px for mdw 7); width256 = trunc((chars * mdw + padding) / mdw * 256).
int width256FromCharacters(double characters, int maxDigitWidth);
// A column without its own width: the default width in characters plus the padding, rounded up
// to a multiple of 8 px (64 px for 8 characters at mdw 7).
int defaultColumnPixels(int characters, int maxDigitWidth);
// Row heights: twips / 15, rounded (255 twips, the 12.75-point default, give 17 px).
int rowPixelsFromTwips(int twips);

// The pixels a column or a row of the sheet takes: its own width or height, the sheet's default,
// or 0 when it is hidden.
int columnPixels(const sheet::Sheet& sheet, int col, int maxDigitWidth);
int rowPixels(const sheet::Sheet& sheet, int row);

// The units a sheet is laid out in. On screen a sheet is drawn in whole pixels of 1/96 inch;
// on paper it keeps the sizes the workbook stores, in twips (1/20 point, 15 to a pixel): a row is
// as high as stored (12.95 points, not the 17 pixels of 12.75 points the screen shows) and a
// column as wide as the file format's rule makes it, its stored width in 1/256 of the maximum
// digit width (2340 at 7 pixels: 63.98 pixels, 960 twips), without the screen's rounding.
enum class LayoutUnit { Pixel, Twip };
inline constexpr int kTwipsPerPixel = 15;
inline int unitsPerPixel(LayoutUnit unit) {
    return unit == LayoutUnit::Twip ? kTwipsPerPixel : 1;
}
// The width of a column and the height of a row in the unit.
int columnExtent(const sheet::Sheet& sheet, int col, int maxDigitWidth, LayoutUnit unit);
int rowExtent(const sheet::Sheet& sheet, int row, LayoutUnit unit);

// The largest picture that is drawn: each side below 32767 px and at most 64 million px.
struct RenderLimits {
    int maxSide = 32766;
    std::int64_t maxPixels = 64'000'000;
};

// The pixel geometry of an area of a sheet: where every grid line lies.
//
// A column owns the pixels from its left line to just before its right line; a line is the
// one-pixel column where gridlines and thin borders are drawn. Line 0 is at x = 0, so the left
// and top borders of the first cells are inside the picture, and the picture is one pixel wider
// and taller than the sum of its columns and rows. Hidden columns and rows take no pixels: their
// two lines coincide.
//
// A picture that would exceed the limits is cut at the right and at the bottom; rows below the
// cut are not laid out at all, so a sheet of any height costs only what is shown.
//
// Laid out in twips, everything above holds with a line 15 twips (one pixel) wide.
class SheetLayout {
public:
    // Throws std::invalid_argument when the area does not lie on the sheet.
    SheetLayout(const sheet::Sheet& sheet, sheet::Area area, int maxDigitWidth, RenderLimits limits = {},
                LayoutUnit unit = LayoutUnit::Pixel);

    // The layout's units in a pixel: 1, or 15 in twips.
    int unit() const { return m_unit; }

    const sheet::Area& area() const { return m_area; }
    // The last row and column that are (at least partly) in the picture.
    int lastShownRow() const { return m_area.first.row + static_cast<int>(m_rowLines.size()) - 2; }
    int lastShownColumn() const { return m_area.first.col + static_cast<int>(m_columnLines.size()) - 2; }

    int width() const { return m_width; }
    int height() const { return m_height; }
    bool cutRight() const { return m_cutRight; }
    bool cutBottom() const { return m_cutBottom; }

    // The x of the line left of a sheet column, for area().first.col .. lastShownColumn() + 1.
    int columnLine(int col) const { return m_columnLines[static_cast<std::size_t>(col - m_area.first.col)]; }
    int rowLine(int row) const { return m_rowLines[static_cast<std::size_t>(row - m_area.first.row)]; }
    const std::vector<int>& columnLines() const { return m_columnLines; }
    const std::vector<int>& rowLines() const { return m_rowLines; }

    // The part of the area that is laid out.
    sheet::Area shownArea() const { return {m_area.first, {lastShownRow(), lastShownColumn()}}; }

    // The lines around a block of cells (clipped to the shown part): left, top, right, bottom.
    struct Box {
        int left, top, right, bottom;
        bool empty() const { return right <= left || bottom <= top; }
    };
    Box box(const sheet::Area& cells) const;

    // The merged ranges that meet the shown part, in the sheet's order.
    const std::vector<sheet::Area>& merges() const { return m_merges; }

private:
    sheet::Area m_area;
    std::vector<int> m_columnLines;
    std::vector<int> m_rowLines;
    std::vector<sheet::Area> m_merges;
    int m_unit = 1;
    int m_width = 1;
    int m_height = 1;
    bool m_cutRight = false;
    bool m_cutBottom = false;
};

} // namespace markwell::render
