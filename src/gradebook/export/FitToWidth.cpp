#include "gradebook/export/FitToWidth.h"

#include "workbook/render/PrintLayout.h"
#include "workbook/render/SheetPainter.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace markwell::exporting {

namespace {

constexpr int kLetter = 1;
constexpr double kSmallestTextTwips = 6 * 20;

sheet::PageSetup landscapeLetter(sheet::PageSetup setup, int scale) {
    setup.paperSize = kLetter;
    setup.portrait = false;
    setup.scale = scale;
    return setup;
}

int mdwOf(const sheet::Workbook& workbook) {
    static const sheet::Font kDefaultFont;
    return render::maxDigitWidth(workbook.formats.empty() ? kDefaultFont : workbook.formats.front().font);
}

// True when every page of the layout starts at its area's first column: one band across.
bool fitsAcross(const render::PrintLayout& layout) {
    return std::all_of(layout.pages().begin(), layout.pages().end(), [&](const render::PrintPage& page) {
        const auto& areas = layout.ranges().areas;
        return page.columns.empty() || areas.empty() ||
               page.columns.first == areas[static_cast<std::size_t>(page.area)].first.col;
    });
}

} // namespace

int minimumFitScale(const sheet::Workbook& workbook, int sheetIndex) {
    const sheet::Sheet& s = workbook.sheets.at(static_cast<std::size_t>(sheetIndex));
    const render::PrintRanges ranges = render::printRangesOf(workbook, sheetIndex);
    std::map<int, long long> cellsPerHeight;
    s.forEachCell([&](int row, int col, const sheet::Cell& cell) {
        const bool printed = std::any_of(ranges.areas.begin(), ranges.areas.end(), [&](const sheet::Area& a) {
            return a.contains({row, col});
        });
        if (printed && !cell.value.isEmpty() && cell.format < workbook.formats.size()) {
            ++cellsPerHeight[workbook.formats[cell.format].font.heightTwips];
        }
    });
    int body = workbook.formats.empty() ? 200 : workbook.formats.front().font.heightTwips;
    long long most = 0;
    for (const auto& [twips, count] : cellsPerHeight) {
        if (count > most) {
            body = twips;
            most = count;
        }
    }
    const int percent = static_cast<int>(std::ceil(kSmallestTextTwips * 100.0 / std::max(body, 1) - 1e-9));
    return std::clamp(percent, 10, 100);
}

int fitWidthScale(const sheet::Workbook& workbook, int sheetIndex) {
    const int mdw = mdwOf(workbook);
    const int minimum = minimumFitScale(workbook, sheetIndex);
    sheet::Sheet probe = workbook.sheets.at(static_cast<std::size_t>(sheetIndex));
    const render::PrintRanges ranges = render::printRangesOf(workbook, sheetIndex);
    probe.pageSetup = landscapeLetter(probe.pageSetup, 100);
    const render::PrintLayout full(probe, ranges, mdw);
    int widest = 1;
    for (const sheet::Area& a : ranges.areas) {
        widest = std::max(widest, full.columnsWidth({a.first.col, a.last.col}));
    }
    int scale = std::clamp(static_cast<int>(100.0 * full.roomWidth() / widest), minimum, 100);
    // The room is whole pixels at each scale: step down until the columns really fit.
    for (; scale > minimum; --scale) {
        probe.pageSetup.scale = scale;
        if (fitsAcross(render::PrintLayout(probe, ranges, mdw))) {
            break;
        }
    }
    return scale;
}

sheet::Workbook fittedToPageWidth(const sheet::Workbook& workbook) {
    sheet::Workbook fitted = workbook;
    for (std::size_t i = 0; i < fitted.sheets.size(); ++i) {
        sheet::PageSetup& setup = fitted.sheets[i].pageSetup;
        setup = landscapeLetter(setup, fitWidthScale(workbook, static_cast<int>(i)));
    }
    return fitted;
}

} // namespace markwell::exporting
