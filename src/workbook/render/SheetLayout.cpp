#include "workbook/render/SheetLayout.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace markwell::render {

namespace {

int padding(int maxDigitWidth) {
    return 2 * ((maxDigitWidth + 3) / 4) + 1;
}

} // namespace

int columnPixels(const sheet::Sheet& sheet, int col, int mdw) {
    const sheet::ColumnInfo* info = sheet.columnInfoAt(col);
    if (info && info->hidden) {
        return 0;
    }
    if (info && info->width256) {
        return columnPixelsFromWidth256(*info->width256, mdw);
    }
    return defaultColumnPixels(sheet.defaultColumnWidth, mdw);
}

int rowPixels(const sheet::Sheet& sheet, int row) {
    const sheet::RowInfo* info = sheet.rowInfoAt(row);
    if (info && info->hidden) {
        return 0;
    }
    return rowPixelsFromTwips(info && info->heightTwips ? *info->heightTwips : sheet.defaultRowHeightTwips);
}

int columnExtent(const sheet::Sheet& sheet, int col, int mdw, LayoutUnit unit) {
    if (unit == LayoutUnit::Pixel) {
        return columnPixels(sheet, col, mdw);
    }
    const sheet::ColumnInfo* info = sheet.columnInfoAt(col);
    if (info && info->hidden) {
        return 0;
    }
    if (info && info->width256) {
        const std::int64_t w = std::clamp(*info->width256, 0, 0xFFFF);
        return static_cast<int>((w * std::max(mdw, 1) * kTwipsPerPixel + 128) / 256);
    }
    return defaultColumnPixels(sheet.defaultColumnWidth, mdw) * kTwipsPerPixel;
}

int rowExtent(const sheet::Sheet& sheet, int row, LayoutUnit unit) {
    if (unit == LayoutUnit::Pixel) {
        return rowPixels(sheet, row);
    }
    const sheet::RowInfo* info = sheet.rowInfoAt(row);
    if (info && info->hidden) {
        return 0;
    }
    return std::clamp(info && info->heightTwips ? *info->heightTwips : sheet.defaultRowHeightTwips, 0, 0x7FFF);
}

int columnPixelsFromWidth256(int width256, int maxDigitWidth) {
    const std::int64_t mdw = std::max(maxDigitWidth, 1);
    const std::int64_t w = std::clamp(width256, 0, 0xFFFF);
    return static_cast<int>((w + 128 / mdw) * mdw / 256);
}

int width256FromCharacters(double characters, int maxDigitWidth) {
    const int mdw = std::max(maxDigitWidth, 1);
    if (!(characters > 0)) {
        return 0;
    }
    const double stored = (std::min(characters, 255.0) * mdw + padding(mdw)) / mdw * 256.0;
    return static_cast<int>(std::trunc(stored));
}

int defaultColumnPixels(int characters, int maxDigitWidth) {
    const int mdw = std::max(maxDigitWidth, 1);
    const int pixels = std::clamp(characters, 0, 255) * mdw + padding(mdw);
    return (pixels + 7) / 8 * 8;
}

int rowPixelsFromTwips(int twips) {
    return (std::clamp(twips, 0, 0x7FFF) * 2 + 15) / 30;
}

SheetLayout::SheetLayout(const sheet::Sheet& sheet, sheet::Area area, int maxDigitWidth, RenderLimits limits,
                         LayoutUnit unit)
    : m_area(area), m_unit(unitsPerPixel(unit)) {
    if (!sheet::isValid(area.first) || !sheet::isValid(area.last) || area.first.row > area.last.row ||
        area.first.col > area.last.col) {
        throw std::invalid_argument("The range " + sheet::toA1(area.first) + ":" + sheet::toA1(area.last) +
                                    " is not a range of cells on sheet \"" + sheet.name + "\".");
    }
    const int mdw = std::max(maxDigitWidth, 1);
    const int maxSide = std::max(limits.maxSide, 1);
    const std::int64_t maxPixels = std::max<std::int64_t>(limits.maxPixels, 1);

    // Columns: at most 256, so all of them are measured; the picture keeps the part that fits.
    std::vector<int> lines{0};
    for (int col = area.first.col; col <= area.last.col; ++col) {
        lines.push_back(lines.back() + columnExtent(sheet, col, mdw, unit));
    }
    const int fullWidth = lines.back() + m_unit;
    m_width = std::min(fullWidth, maxSide);
    m_cutRight = fullWidth > m_width;
    std::size_t keepColumns = lines.size() - 1;
    while (keepColumns > 1 && lines[keepColumns - 1] >= m_width) {
        --keepColumns;
    }
    lines.resize(keepColumns + 1);
    m_columnLines = std::move(lines);

    // Rows: laid out only down to the limit.
    const int heightLimit =
        static_cast<int>(std::min<std::int64_t>(maxSide, std::max<std::int64_t>(maxPixels / m_width, 1)));
    m_rowLines.push_back(0);
    for (int row = area.first.row; row <= area.last.row; ++row) {
        if (m_rowLines.size() > 1 && m_rowLines.back() >= heightLimit) {
            m_cutBottom = true;
            break;
        }
        m_rowLines.push_back(m_rowLines.back() + rowExtent(sheet, row, unit));
    }
    const int fullHeight = m_rowLines.back() + m_unit;
    m_cutBottom = m_cutBottom || fullHeight > heightLimit;
    m_height = std::min(fullHeight, heightLimit);

    const sheet::Area shown = shownArea();
    for (const sheet::Area& m : sheet.merged) {
        if (m.first.row <= shown.last.row && m.last.row >= shown.first.row && m.first.col <= shown.last.col &&
            m.last.col >= shown.first.col) {
            m_merges.push_back(m);
        }
    }
}

SheetLayout::Box SheetLayout::box(const sheet::Area& cells) const {
    const sheet::Area shown = shownArea();
    const int firstCol = std::clamp(cells.first.col, shown.first.col, shown.last.col + 1);
    const int lastCol = std::clamp(cells.last.col + 1, shown.first.col, shown.last.col + 1);
    const int firstRow = std::clamp(cells.first.row, shown.first.row, shown.last.row + 1);
    const int lastRow = std::clamp(cells.last.row + 1, shown.first.row, shown.last.row + 1);
    return {columnLine(firstCol), rowLine(firstRow), columnLine(lastCol), rowLine(lastRow)};
}

} // namespace markwell::render
