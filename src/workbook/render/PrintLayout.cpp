#include "workbook/render/PrintLayout.h"

#include "workbook/render/SheetLayout.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace markwell::render {

namespace {

constexpr double kTwipsPerInch = 1440.0;

// The sheet's own name of that text (Print_Area, Print_Titles); names of other sheets and of the
// workbook do not count.
const sheet::DefinedName* sheetName(const sheet::Workbook& wb, int sheetIndex, std::string_view name) {
    for (const sheet::DefinedName& n : wb.names) {
        if (n.scopeSheet == sheetIndex && n.refersTo && sheet::equalsIgnoringCase(n.name, name)) {
            return &n;
        }
    }
    return nullptr;
}

bool onSheet(const formula::Node& n, int sheetIndex) {
    return (n.kind == formula::NodeKind::Ref || n.kind == formula::NodeKind::AreaRef) &&
           (n.sheet < 0 || n.sheet == sheetIndex) && sheet::isValid(n.area().first) && sheet::isValid(n.area().last);
}

} // namespace

PrintRanges printRangesOf(const sheet::Workbook& workbook, int sheetIndex) {
    PrintRanges r;
    if (sheetIndex < 0 || static_cast<std::size_t>(sheetIndex) >= workbook.sheets.size()) {
        return r;
    }
    const sheet::Sheet& s = workbook.sheets[static_cast<std::size_t>(sheetIndex)];
    if (const sheet::DefinedName* area = sheetName(workbook, sheetIndex, "Print_Area")) {
        for (const formula::Node* part : formula::unionParts(area->refersTo)) {
            if (onSheet(*part, sheetIndex)) {
                r.areas.push_back(part->area());
            }
        }
    }
    if (r.areas.empty() && s.lastRow() >= 0) {
        r.areas.push_back({{0, 0}, {s.lastRow(), s.lastColumn()}});
    }
    if (const sheet::DefinedName* titles = sheetName(workbook, sheetIndex, "Print_Titles")) {
        for (const formula::Node* part : formula::unionParts(titles->refersTo)) {
            if (!onSheet(*part, sheetIndex)) {
                continue;
            }
            if (part->isWholeRows() && !r.titleRows) {
                r.titleRows = Span{part->first.pos.row, part->last.pos.row};
            } else if (part->isWholeColumns() && !r.titleColumns) {
                r.titleColumns = Span{part->first.pos.col, part->last.pos.col};
            }
        }
    }
    return r;
}

Paper paperOf(int paperCode) {
    switch (paperCode) {
    case 5: // Legal
        return {8.5, 14.0};
    case 7: // Executive
        return {7.25, 10.5};
    case 8: // A3
        return {297 / 25.4, 420 / 25.4};
    case 9: // A4
    case 10:
        return {210 / 25.4, 297 / 25.4};
    case 11: // A5
        return {148 / 25.4, 210 / 25.4};
    case 3: // Tabloid
        return {11.0, 17.0};
    case 4: // Ledger
        return {17.0, 11.0};
    default: // Letter (1, 2) and everything not listed
        return {8.5, 11.0};
    }
}

PrintLayout::PrintLayout(const sheet::Sheet& sheet, PrintRanges ranges, int maxDigitWidth)
    : m_sheet(sheet), m_ranges(std::move(ranges)), m_mdw(std::max(maxDigitWidth, 1)) {
    const sheet::PageSetup& p = sheet.pageSetup;
    const Paper paper = paperOf(p.paperSize);
    m_pageWidth = p.portrait ? paper.width : paper.height;
    m_pageHeight = p.portrait ? paper.height : paper.width;
    m_scale = std::clamp(p.scale, 10, 400) / 100.0;
    auto room = [&](double page, double a, double b) {
        const double inches = page - std::clamp(a, 0.0, page) - std::clamp(b, 0.0, page);
        return std::max(1, static_cast<int>(std::floor(inches * kTwipsPerInch / m_scale + 1e-9)));
    };
    m_roomWidth = room(m_pageWidth, p.left, p.right);
    m_roomHeight = room(m_pageHeight, p.top, p.bottom);

    for (std::size_t a = 0; a < m_ranges.areas.size(); ++a) {
        const sheet::Area& area = m_ranges.areas[a];
        const auto columnBands =
            bands({area.first.col, area.last.col}, m_ranges.titleColumns, m_roomWidth, /*columns=*/true);
        const auto rowBands = bands({area.first.row, area.last.row}, m_ranges.titleRows, m_roomHeight, false);
        for (const auto& [columns, titleColumns] : columnBands) {
            for (const auto& [rows, titleRows] : rowBands) {
                m_pages.push_back({static_cast<int>(a), rows, columns, titleRows, titleColumns});
            }
        }
    }
    if (m_pages.empty()) {
        m_pages.push_back(PrintPage{});
    }
}

int PrintLayout::extent(int index, bool column) const {
    return column ? columnExtent(m_sheet, index, m_mdw, LayoutUnit::Twip) : rowExtent(m_sheet, index, LayoutUnit::Twip);
}

int PrintLayout::columnsWidth(Span columns) const {
    int total = 0;
    for (int c = std::max(columns.first, 0); c <= std::min(columns.last, sheet::kMaxColumns - 1); ++c) {
        total += extent(c, true);
    }
    return total;
}

int PrintLayout::rowsHeight(Span rows) const {
    int total = 0;
    for (int r = std::max(rows.first, 0); r <= std::min(rows.last, sheet::kMaxRows - 1); ++r) {
        total += extent(r, false);
    }
    return total;
}

std::vector<std::pair<Span, std::optional<Span>>> PrintLayout::bands(Span all, const std::optional<Span>& titles,
                                                                     int room, bool columns) const {
    std::vector<std::pair<Span, std::optional<Span>>> out;
    const int titleExtent = titles && !titles->empty() ? (columns ? columnsWidth(*titles) : rowsHeight(*titles)) : 0;
    for (int at = all.first; at <= all.last;) {
        // Titles are repeated only in front of what lies beyond them.
        const bool repeat = titles && !titles->empty() && at > titles->last;
        const int budget = room - (repeat ? titleExtent : 0);
        const int start = at;
        int used = 0;
        while (at <= all.last) {
            const int e = extent(at, columns);
            // The first one goes on the page whatever its size, so every page takes something.
            if (at > start && used + e > budget) {
                break;
            }
            used += e;
            ++at;
        }
        out.emplace_back(Span{start, at - 1}, repeat ? titles : std::nullopt);
    }
    return out;
}

HeaderFooterText expandHeaderFooter(const std::string& codes, const HeaderFooterFields& fields) {
    HeaderFooterText out;
    std::string* section = &out.center;
    const std::size_t n = codes.size();
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    for (std::size_t i = 0; i < n;) {
        if (codes[i] != '&') {
            *section += codes[i++];
            continue;
        }
        if (i + 1 >= n) {
            break; // a lone ampersand at the end
        }
        const char code = codes[i + 1];
        i += 2;
        switch (code) {
        case '&':
            *section += '&';
            break;
        case 'L':
            section = &out.left;
            break;
        case 'C':
            section = &out.center;
            break;
        case 'R':
            section = &out.right;
            break;
        case 'P': {
            long long page = fields.page;
            if (i + 1 < n && (codes[i] == '+' || codes[i] == '-') && isDigit(codes[i + 1])) {
                const bool minus = codes[i] == '-';
                long long offset = 0;
                for (++i; i < n && isDigit(codes[i]); ++i) {
                    offset = std::min(offset * 10 + (codes[i] - '0'), 1'000'000'000LL);
                }
                page += minus ? -offset : offset;
            }
            *section += std::to_string(page);
            break;
        }
        case 'N':
            *section += std::to_string(fields.pages);
            break;
        case 'D':
            *section += fields.date;
            break;
        case 'T':
            *section += fields.time;
            break;
        case 'A':
            *section += fields.sheetName;
            break;
        case 'F':
            *section += fields.fileName;
            break;
        case '"': // &"Font name,Style": up to the closing quote
            while (i < n && codes[i] != '"') {
                ++i;
            }
            i = std::min(i + 1, n);
            break;
        case 'K': // &Krrggbb, or a theme colour such as &K01+000
            for (int k = 0; k < 6 && i < n &&
                            (std::isxdigit(static_cast<unsigned char>(codes[i])) || codes[i] == '+' || codes[i] == '-');
                 ++k) {
                ++i;
            }
            break;
        default:
            // A font size (&12) is followed by its other digits; everything else is one letter.
            if (isDigit(code)) {
                while (i < n && isDigit(codes[i])) {
                    ++i;
                }
            }
            break;
        }
    }
    return out;
}

} // namespace markwell::render
