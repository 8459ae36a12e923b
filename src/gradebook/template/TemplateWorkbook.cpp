#include "gradebook/template/TemplateWorkbook.h"

#include "gradebook/template/FilledLayout.h"

#include "workbook/formula/Parser.h"
#include "workbook/formula/Recalc.h"

#include <cmath>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace markwell::gradetemplate {

namespace {

using sheet::CellPos;
using sheet::HAlign;
using sheet::VAlign;

// ---------------------------------------------------------------------------------------------
// Looks. Every styled cell gets exactly one Look; a later line of the paint table wins over an
// earlier one for the cells they share.

enum class Fill { None, White, Dark, Grey, Cream };

struct Look {
    Fill fill = Fill::None;
    int points = 9;
    bool bold = false;
    bool italic = false;
    bool boxed = false; // thin lines on all four sides
    bool wrap = false;
    HAlign halign = HAlign::General;
    VAlign valign = VAlign::Bottom;
    const char* numberFormat = "General";
};

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kDark = 0xA75A45;
constexpr std::uint32_t kGrey = 0xEAEAEA;
constexpr std::uint32_t kCream = 0xFDF8EC;
constexpr std::uint32_t kLine = 0x000000;

// Reused looks.
constexpr Look kCaption{.fill = Fill::Dark, .boxed = true}; // white on the dark fill
constexpr Look kCaptionCentred{.fill = Fill::Dark, .boxed = true, .halign = HAlign::Center};
constexpr Look kCaptionRight{.fill = Fill::Dark, .boxed = true, .halign = HAlign::Right};
constexpr Look kEcho{.fill = Fill::Grey, .bold = true, .boxed = true, .halign = HAlign::Center}; // header echoes
constexpr Look kBoxed{.boxed = true};

struct Paint {
    const char* cells; // one or more areas, separated by blanks
    Look look;
};

// clang-format off
constexpr Paint kPaint[] = {
    // Empty white cells around the grade table and the header: they set the sheet's used range.
    {"D1:O1 B2:B4 C5:Q5 R2:AG5", {.fill = Fill::White}},

    // Grade table: captions in D, bounds, letters and grade points in E:Q.
    {"D2:D4", {.fill = Fill::Dark, .points = 8, .boxed = true}},
    {"E2:Q2", {.points = 8, .boxed = true, .halign = HAlign::Center, .numberFormat = "0%"}},
    {"E3:Q3", {.points = 8, .boxed = true, .halign = HAlign::Center}},
    {"E4:Q4", {.points = 8, .boxed = true, .halign = HAlign::Center, .numberFormat = "0.00"}},

    // Header: school name over three rows, then teacher, class and period.
    {"B5:C7", {.fill = Fill::White, .points = 22, .wrap = true, .valign = VAlign::Center}},
    {"B8:B10", {.points = 8, .italic = true}},

    // Test block: names in row 6, possible points in row 7, counts below.
    {"D6:F7", kCaption},
    {"G6:K6", {.boxed = true, .halign = HAlign::Center}},
    {"G7:K7", {.boxed = true, .halign = HAlign::Center, .numberFormat = "0"}},
    {"D9:G10", kCaptionRight},
    {"H9", {.boxed = true, .halign = HAlign::Center}},
    {"H10", {.boxed = true, .halign = HAlign::Center, .numberFormat = "0"}},

    // Student block: header row and the two-row band (plain row 13, cream row 14).
    {"B12:C12", kCaption},
    {"D12:F12", kCaptionCentred},
    {"G12:K12", kEcho},
    {"B13:C13", kBoxed},
    {"B14:C14", {.fill = Fill::Cream, .boxed = true}},
    {"D13:D14", {.fill = Fill::Grey, .boxed = true, .halign = HAlign::Center, .numberFormat = "0.00%"}},
    {"E13:E14", {.fill = Fill::Grey, .boxed = true, .halign = HAlign::Center}},
    {"F13:F14", {.fill = Fill::Grey, .boxed = true, .halign = HAlign::Center, .numberFormat = "0.00"}},
    {"G13:K13", {.boxed = true, .halign = HAlign::Center, .numberFormat = "0"}},
    {"G14:K14", {.fill = Fill::Cream, .boxed = true, .halign = HAlign::Center, .numberFormat = "0"}},

    // Class summary.
    {"B16:C16", kCaption},
    {"D16:K16", kEcho},
    {"B17:C19", kBoxed},
    {"D17:D19", {.fill = Fill::Grey, .boxed = true, .halign = HAlign::Center, .numberFormat = "0.00%"}},
    {"E17:E19", {.fill = Fill::Grey, .boxed = true, .halign = HAlign::Center}},
    {"F17:F19", {.fill = Fill::Grey, .boxed = true, .halign = HAlign::Center, .numberFormat = "0.00"}},
    {"G17:K19", {.fill = Fill::Grey, .boxed = true, .halign = HAlign::Center, .numberFormat = "0"}},
};
// clang-format on

// ---------------------------------------------------------------------------------------------
// Contents. A text starting with '=' is a formula. In an area, "{c}" stands for the cell's own
// column letter and "{r}" for its own row number, so one line describes a formula filled across
// a row or down a column.

struct Content {
    const char* cells;
    const char* text;
};

// clang-format off
constexpr Content kContents[] = {
    {"D2", "Average"},
    {"D3", "Ltr Grade"},
    {"D4", "GPA"},

    {"B5", "Your School Name"},
    {"B8", "Teacher Name"},
    {"B9", "Class/Project"},
    {"B10", "Year/Semester/Quarter"},

    {"D6", "Assignment or Test Name"},
    {"D7", "Possible Points"},
    {"D9", "Total number of assignments and tests:"},
    {"H9", "=COUNTA(G6:K6)"},
    {"D10", "Total possible points:"},
    {"H10", "=SUM(G7:K7)"},

    {"B12", "Student Name"},
    {"C12", "Student ID"},
    {"D12", "Average"},
    {"E12", "Ltr Grade"},
    {"F12", "GPA"},
    {"G12:K12", "=IF(OR({c}6,{c}6>\"\"),{c}6,\"\")"},
    {"D13:D14", "=(IF(SUM(G{r}:K{r}),ROUND(SUM(G{r}:K{r})/$H$10,2),\"\"))"},
    {"E13:E14", "=IF(D{r}<>\"\",HLOOKUP(D{r},GradeTable,2),\"\")"},
    {"F13:F14", "=IF(D{r}<>\"\",HLOOKUP(D{r},GradeTable,3),\"\")"},

    {"B16", "Class Summary"},
    {"D16:K16", "=IF(OR({c}12,{c}12>\"\"),{c}12,\"\")"},
    {"B17", " Average"},
    {"B18", " Highest Score"},
    {"B19", " Lowest Score"},
    {"D17 F17:K17", "=IF(SUM({c}12:{c}15),AVERAGE({c}12:{c}15),\"\")"},
    {"D18 F18:K18", "=IF(SUM({c}12:{c}15),MAX({c}12:{c}15),\"\")"},
    {"D19 F19:K19", "=IF(SUM({c}12:{c}15),MIN({c}12:{c}15),\"\")"},
    {"E17:E19", "=IF(D{r}<>\"\",HLOOKUP(D{r},GradeTable,2),\"\")"},
};
// clang-format on

// The grade table, E2:Q4: the lower bound of each grade's average, its letter and its grade
// points, thresholds ascending from left to right as an approximate HLOOKUP needs them.
constexpr double kLowerBounds[] = {0, 0.6, 0.63, 0.67, 0.7, 0.73, 0.77, 0.8, 0.83, 0.87, 0.9, 0.93, 0.97};
constexpr const char* kLetters[] = {"F", "D-", "D", "D+", "C-", "C", "C+", "B-", "B", "B+", "A-", "A", "A+"};
constexpr double kGradePoints[] = {0, 0.67, 1, 1.33, 1.67, 2, 2.33, 2.67, 3, 3.33, 3.67, 4, 4};
constexpr int kGradeTableColumn = 4; // E
static_assert(std::size(kLowerBounds) == std::size(kLetters) && std::size(kLetters) == std::size(kGradePoints));

// D6 and D7 name rows 6 and 7 over the dark D:F block; they are merged across it so the captions
// show in full whatever draws the sheet, not only where text may run into empty neighbours.
constexpr const char* kMerged[] = {"B5:C7",   "D6:F6",   "D7:F7",   "D9:G9",  "D10:G10",
                                   "B16:C16", "B17:C17", "B18:C18", "B19:C19"};

struct NameSpec {
    const char* name;
    bool sheetLevel;
    bool builtin;
    const char* refersTo;
};

// Print_Area covers the whole table, B5 to the last column of the test block and the last row of
// the class summary; the filling sets it anew once it has grown the table.
constexpr NameSpec kNames[] = {
    {"GradeTable", false, false, "'Grade book'!$E$2:$Q$4"},
    {"Print_Area", true, true, nullptr},
    {"Print_Titles", true, true, "'Grade book'!$B:$B,'Grade book'!$12:$12"},
};

constexpr char kCommentAuthor[] = "Markwell";

struct CommentSpec {
    const char* cell;
    const char* text;
};

constexpr CommentSpec kComments[] = {
    {"D12", "Average equals Total Points divided by Total Possible Points\n"},
    {"E12", "Note that the GradeTable referred to in the formula in this column is the table of grades found at "
            "the top of this sheet."},
};

// Widths in characters; the last entry holds for every column after it.
struct WidthSpec {
    const char* firstColumn;
    double characters;
};

constexpr WidthSpec kWidths[] = {{"A", 1.71}, {"B", 37}, {"C", 18.71}, {"D", 9.71}, {"G", 8.57}, {"H", 9.14}};

// Heights in points, for rows first..last (1-based, as the sheet numbers them).
struct HeightSpec {
    int first;
    int last;
    double points;
};

constexpr HeightSpec kHeights[] = {{1, 1, 9.75},    {2, 4, 12.95}, {5, 5, 14.25},   {6, 6, 13.5},   {7, 12, 14.25},
                                   {13, 14, 12.95}, {15, 15, 4.5}, {16, 16, 14.25}, {17, 19, 12.95}};

// ---------------------------------------------------------------------------------------------

sheet::Area area(std::string_view text) {
    const auto parsed = sheet::parseArea(text);
    if (!parsed) {
        throw std::logic_error("The template layout names a bad cell area: " + std::string(text));
    }
    return *parsed;
}

CellPos cellPos(std::string_view text) {
    return area(text).first;
}

// Calls fn(pos) for every cell of a blank-separated list of areas.
template <typename Fn> void forEachCellOf(std::string_view list, Fn&& fn) {
    std::size_t at = 0;
    while (at < list.size()) {
        const std::size_t end = std::min(list.find(' ', at), list.size());
        if (end > at) {
            const sheet::Area a = area(list.substr(at, end - at));
            for (int r = a.first.row; r <= a.last.row; ++r) {
                for (int c = a.first.col; c <= a.last.col; ++c) {
                    fn(CellPos{r, c});
                }
            }
        }
        at = end + 1;
    }
}

// The content text for one cell: "{c}" and "{r}" replaced by the cell's column and row.
std::string contentFor(std::string_view pattern, CellPos pos) {
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern.substr(i, 3) == "{c}") {
            out += sheet::columnName(pos.col);
            i += 2;
        } else if (pattern.substr(i, 3) == "{r}") {
            out += std::to_string(pos.row + 1);
            i += 2;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

std::uint32_t fillColour(Fill fill) {
    switch (fill) {
    case Fill::White:
        return kWhite;
    case Fill::Dark:
        return kDark;
    case Fill::Grey:
        return kGrey;
    case Fill::Cream:
        return kCream;
    case Fill::None:
        break;
    }
    return 0;
}

sheet::CellFormat formatOf(const Look& look) {
    sheet::CellFormat f;
    f.font.name = kFontName;
    f.font.heightTwips = look.points * 20;
    f.font.bold = look.bold;
    f.font.italic = look.italic;
    f.font.colour = look.fill == Fill::Dark ? kWhite : 0x000000;
    f.numberFormat = look.numberFormat;
    if (look.fill != Fill::None) {
        f.fill = fillColour(look.fill);
    }
    if (look.boxed) {
        const sheet::Border thin{sheet::BorderStyle::Thin, kLine};
        f.left = f.right = f.top = f.bottom = thin;
    }
    f.halign = look.halign;
    f.valign = look.valign;
    f.wrap = look.wrap;
    return f;
}

struct PosLess {
    bool operator()(const CellPos& a, const CellPos& b) const { return a.row != b.row ? a.row < b.row : a.col < b.col; }
};

void paintCells(sheet::Workbook& wb, sheet::Sheet& s) {
    std::map<CellPos, const Look*, PosLess> looks;
    for (const Paint& p : kPaint) {
        forEachCellOf(p.cells, [&](CellPos pos) { looks[pos] = &p.look; });
    }
    // One format per distinct look; addFormat merges looks that come out the same.
    std::map<const Look*, std::uint32_t> formatOfLook;
    for (const auto& [pos, look] : looks) {
        auto [it, added] = formatOfLook.try_emplace(look, 0);
        if (added) {
            it->second = wb.addFormat(formatOf(*look));
        }
        s.cellAt(pos.row, pos.col).format = it->second;
    }
}

void writeContents(const sheet::Workbook& wb, sheet::Sheet& s) {
    formula::ParseOptions options;
    options.workbook = &wb;
    for (const Content& c : kContents) {
        forEachCellOf(c.cells, [&](CellPos pos) {
            const std::string text = contentFor(c.text, pos);
            sheet::Cell& cell = s.cellAt(pos.row, pos.col);
            if (cell.format == 0) {
                throw std::logic_error("The template layout gives " + sheet::toA1(pos) + " a content but no look.");
            }
            if (text.starts_with('=')) {
                cell.formula = formula::parseFormula(text, options);
                cell.value = sheet::Value();
            } else {
                cell.value = sheet::Value(text);
            }
        });
    }
    for (std::size_t i = 0; i < std::size(kLowerBounds); ++i) {
        const int col = kGradeTableColumn + static_cast<int>(i);
        s.cellAt(1, col).value = sheet::Value(kLowerBounds[i]);
        s.cellAt(2, col).value = sheet::Value(kLetters[i]);
        s.cellAt(3, col).value = sheet::Value(kGradePoints[i]);
    }
}

void addNames(sheet::Workbook& wb) {
    for (const NameSpec& n : kNames) {
        formula::ParseOptions options;
        options.workbook = &wb;
        options.allowUnion = true;
        sheet::DefinedName name;
        name.name = n.name;
        name.scopeSheet = n.sheetLevel ? 0 : -1;
        name.builtin = n.builtin;
        name.refersTo = formula::parseFormula(
            n.refersTo ? std::string(n.refersTo) : "'Grade book'!" + filledPrintArea(0, 0), options);
        wb.names.push_back(std::move(name));
    }
}

void setGeometry(sheet::Sheet& s) {
    for (std::size_t i = 0; i < std::size(kWidths); ++i) {
        const int first = *sheet::parseColumnName(kWidths[i].firstColumn);
        const int last = i + 1 < std::size(kWidths) ? *sheet::parseColumnName(kWidths[i + 1].firstColumn) - 1
                                                    : sheet::kMaxColumns - 1;
        for (int c = first; c <= last; ++c) {
            s.columnInfo(c).width256 = columnWidth256(kWidths[i].characters);
        }
    }
    for (const HeightSpec& h : kHeights) {
        for (int r = h.first; r <= h.last; ++r) {
            s.rowInfo(r - 1).heightTwips = pointsToTwips(h.points);
        }
    }
}

void setPrinting(sheet::Sheet& s) {
    sheet::PageSetup& p = s.pageSetup;
    p.paperSize = 1; // Letter
    p.portrait = true;
    p.scale = 100;
    p.left = p.right = p.top = 0.5;
    p.footerText = "&CPage &P of &N"; // centred, in every reader
}

} // namespace

int columnWidth256(double characters) {
    const double pixels = std::round(characters * 7.0) + 5.0;
    return static_cast<int>(pixels * 256.0 / 7.0);
}

int pointsToTwips(double points) {
    return static_cast<int>(std::lround(points * 20.0));
}

sheet::Workbook buildTemplateWorkbook() {
    sheet::Workbook wb;
    wb.sheets.emplace_back();
    sheet::Sheet& s = wb.sheets.front();
    s.name = kSheetName;
    // The workbook's own font, for whatever is typed into a cell the template did not style. At
    // 10 points its widest digit is as wide as that of the usual 10-point default (7 pixels), so
    // the column widths, which count in it, stay as given.
    wb.formats.front().font.name = kFontName;

    paintCells(wb, s);
    writeContents(wb, s);
    for (const char* m : kMerged) {
        s.merged.push_back(area(m));
    }
    addNames(wb);
    for (const CommentSpec& c : kComments) {
        s.comments.push_back(sheet::Comment{cellPos(c.cell), c.text, kCommentAuthor, false});
    }
    setGeometry(s);
    setPrinting(s);
    s.showGridlines = false;
    s.activeCell = cellPos("B5");
    s.selected = true;
    wb.activeSheet = 0;

    formula::recalculate(wb);
    return wb;
}

} // namespace markwell::gradetemplate
