#include "TextSample.h"

#include <QColor>

#include <cstdlib>

namespace markwell::test {

sheet::Workbook textSampleWorkbook() {
    using namespace markwell::sheet;
    Workbook wb;
    wb.formats.front().font.name = "Century Gothic";
    wb.sheets.resize(1);
    Sheet& s = wb.sheets[0];
    s.name = "Texts";
    s.showGridlines = false;
    s.columnInfo(0).width256 = 621;  // A: 1.71 characters, as the gradebook's
    s.columnInfo(1).width256 = 9654; // B: 37
    s.columnInfo(2).width256 = 4973; // C: 18.71
    const auto format = [&](std::uint32_t fill, int twips, bool wrap) {
        CellFormat f = wb.formats.front();
        f.font.heightTwips = twips;
        f.fill = fill;
        f.wrap = wrap;
        f.valign = wrap ? VAlign::Center : VAlign::Bottom;
        return wb.addFormat(f);
    };
    const char* names[] = {"Harold Winslow Memorial Elementary",
                           "The Harold Winslow Memorial Elementary School of Fine Arts",
                           "\xD7\x93\xD7\x95\xD7\x93 \xD7\x9B\xD7\x94\xD7\x9F",
                           "\xD9\x85\xD8\xAD\xD9\x85\xD8\xAF \xD8\xB9\xD9\x84\xD9\x8A", "Thomas Ellery"};
    int row = 1;
    for (std::size_t i = 0; i < std::size(kTextCases); ++i) {
        const TextCase& c = kTextCases[i];
        if (c.lines > 0) {
            // The header's three rows: 14.25, 13.5 and 14.25 points.
            const int heights[] = {285, 270, 285};
            const std::uint32_t f = format(c.fill, 440, true);
            for (int k = 0; k < 3; ++k) {
                s.rowInfo(row + k).heightTwips = heights[k];
                for (int col = 1; col <= 2; ++col) {
                    s.cellAt(row + k, col).format = f;
                }
            }
            s.merged.push_back(Area{{row, 1}, {row + 2, 2}});
            s.cellAt(row, 1).value = Value(names[i]);
            row += 4;
        } else {
            s.cellAt(row, 1) = Cell{Value(names[i]), nullptr, format(c.fill, 200, false)};
            row += 2;
        }
    }
    return wb;
}

std::optional<QRect> boxOfColour(const QImage& image, std::uint32_t rgb) {
    const int r = static_cast<int>((rgb >> 16) & 0xFF), g = static_cast<int>((rgb >> 8) & 0xFF),
              b = static_cast<int>(rgb & 0xFF);
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (std::abs(qRed(p) - r) <= 2 && std::abs(qGreen(p) - g) <= 2 && std::abs(qBlue(p) - b) <= 2) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box.isNull() ? std::nullopt : std::optional<QRect>(box);
}

Ink inkInBox(const QImage& image, const QRect& box) {
    Ink ink;
    int left = box.right() + 1, right = box.left() - 1, bandStart = -1;
    for (int y = box.top(); y <= box.bottom() + 1; ++y) {
        bool any = false;
        for (int x = box.left(); y <= box.bottom() && x <= box.right(); ++x) {
            if (qGray(image.pixel(x, y)) < 140) {
                any = true;
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
        if (any && bandStart < 0) {
            bandStart = y;
        } else if (!any && bandStart >= 0) {
            ink.bands.emplace_back(bandStart - box.top(), y - 1 - box.top());
            bandStart = -1;
        }
    }
    if (right >= left) {
        ink.leftGap = left - box.left();
        ink.rightGap = box.right() - right;
    }
    return ink;
}

} // namespace markwell::test
