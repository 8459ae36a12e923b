#include "workbook/render/PrintLayout.h"

#include "workbook/formula/Parser.h"
#include "workbook/render/SheetLayout.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

using namespace markwell;
using namespace markwell::render;
using sheet::Area;

namespace {

constexpr int kMdw = 7; // 10-point Arial

// 1-based rows and lettered columns, as the sheet shows them.
Span rows(int first, int last) {
    return {first - 1, last - 1};
}
Span cols(const char* first, const char* last) {
    return {*sheet::parseColumnName(first), *sheet::parseColumnName(last)};
}
Area area(const char* a1) {
    return *sheet::parseArea(a1);
}

void addName(sheet::Workbook& wb, const char* name, int scope, const char* refersTo) {
    formula::ParseOptions options;
    options.workbook = &wb;
    options.allowUnion = true;
    wb.names.push_back({name, scope, formula::parseFormula(refersTo, options), true});
}

// The gradebook's geometry: column widths in characters and row heights in points as the
// template has them, `students` student rows from row 13, the spacer and the class summary below.
// Letter, portrait, 100 %, margins 0.5 inch (1 inch at the bottom).
sheet::Workbook gradebook(int students, int tests) {
    sheet::Workbook wb;
    wb.sheets.emplace_back();
    sheet::Sheet& s = wb.sheets[0];
    s.name = "Grade book";
    const std::pair<const char*, double> widths[] = {{"A", 1.71}, {"B", 37},   {"C", 18.71}, {"D", 9.71},
                                                     {"E", 9.71}, {"F", 9.71}, {"G", 8.57}};
    for (const auto& [column, characters] : widths) {
        s.columnInfo(*sheet::parseColumnName(column)).width256 = width256FromCharacters(characters, kMdw);
    }
    for (int c = 7; c < sheet::kMaxColumns; ++c) {
        s.columnInfo(c).width256 = width256FromCharacters(9.14, kMdw);
    }
    auto height = [&](int row, double points) { s.rowInfo(row - 1).heightTwips = static_cast<int>(points * 20); };
    height(1, 9.75);
    for (int r = 2; r <= 4; ++r) {
        height(r, 12.95);
    }
    height(5, 14.25);
    height(6, 13.5);
    for (int r = 7; r <= 12; ++r) {
        height(r, 14.25);
    }
    const int spacer = 13 + students;
    for (int r = 13; r < spacer; ++r) {
        height(r, 12.95);
    }
    height(spacer, 4.5);
    height(spacer + 1, 14.25);
    for (int r = spacer + 2; r <= spacer + 4; ++r) {
        height(r, 12.95);
    }
    s.cellAt(4, 1).value = sheet::Value("School");
    s.pageSetup.left = s.pageSetup.right = s.pageSetup.top = 0.5;
    s.pageSetup.footerText = "Page &P of &N";
    const std::string last = sheet::columnName(6 + tests - 1) + std::to_string(spacer + 4);
    addName(wb, "Print_Area", 0, ("'Grade book'!$B$5:$" + last).c_str());
    addName(wb, "Print_Titles", 0, "'Grade book'!$B:$B,'Grade book'!$12:$12");
    return wb;
}

TEST(PrintLayout, GradebookPagesGoDownThenAcrossWithTheTitlesRepeated) {
    const sheet::Workbook wb = gradebook(60, 12); // tests in G..R, the summary ends in row 77
    const PrintRanges ranges = printRangesOf(wb, 0);
    ASSERT_EQ(ranges.areas.size(), 1u);
    EXPECT_EQ(ranges.areas[0], area("B5:R77"));
    EXPECT_EQ(ranges.titleRows, rows(12, 12));
    EXPECT_EQ(ranges.titleColumns, cols("B", "B"));

    const PrintLayout layout(wb.sheets[0], ranges, kMdw);
    EXPECT_DOUBLE_EQ(layout.pageWidthPoints(), 612);
    EXPECT_DOUBLE_EQ(layout.pageHeightPoints(), 792);
    EXPECT_DOUBLE_EQ(layout.pointsPerPixel(), 0.75);
    EXPECT_EQ(layout.roomWidth(), 10800);  // 7.5 inches in twips
    EXPECT_EQ(layout.roomHeight(), 13680); // 9.5 inches

    // Across: B..G (at the file's widths 10256 twips, about 684 px; H would make 11291); then
    // column B in front of H..M and of N..R. Down: rows 5 to 12 take 2265 twips and 44 students
    // of 259 (12.95 points) fit below (13661); the second band starts at row 57, below the header
    // row 12, which is repeated above it.
    const std::optional<Span> noTitles;
    const std::vector<PrintPage> expected = {
        {0, rows(5, 56), cols("B", "G"), noTitles, noTitles},
        {0, rows(57, 77), cols("B", "G"), rows(12, 12), noTitles},
        {0, rows(5, 56), cols("H", "M"), noTitles, cols("B", "B")},
        {0, rows(57, 77), cols("H", "M"), rows(12, 12), cols("B", "B")},
        {0, rows(5, 56), cols("N", "R"), noTitles, cols("B", "B")},
        {0, rows(57, 77), cols("N", "R"), rows(12, 12), cols("B", "B")},
    };
    EXPECT_EQ(layout.pages(), expected);
    EXPECT_EQ(layout.columnsWidth(cols("B", "G")), 10256);
    EXPECT_EQ(layout.rowsHeight(rows(5, 56)), 13661);

    // A class that fits the paper: one page, with nothing repeated.
    const sheet::Workbook small = gradebook(2, 1);
    const PrintLayout one(small.sheets[0], printRangesOf(small, 0), kMdw);
    EXPECT_EQ(one.pages(), (std::vector<PrintPage>{{0, rows(5, 19), cols("B", "G"), noTitles, noTitles}}));
}

TEST(PrintLayout, ScaleOrientationAndPaperSetTheRoom) {
    sheet::Workbook wb = gradebook(60, 12);
    sheet::PageSetup& p = wb.sheets[0].pageSetup;
    p.scale = 50;
    const PrintLayout half(wb.sheets[0], printRangesOf(wb, 0), kMdw);
    EXPECT_EQ(half.roomWidth(), 21600);
    EXPECT_EQ(half.roomHeight(), 27360);
    EXPECT_DOUBLE_EQ(half.pointsPerPixel(), 0.375);
    // Every row fits; B..R would take more than 15 inches, so R just misses the first page.
    ASSERT_EQ(half.pages().size(), 2u);
    EXPECT_EQ(half.pages()[0].columns, cols("B", "Q"));
    EXPECT_EQ(half.pages()[1].columns, cols("R", "R"));
    EXPECT_EQ(half.pages()[1].titleColumns, cols("B", "B"));

    p.scale = 100;
    p.paperSize = 9; // A4
    p.portrait = false;
    p.bottom = 0.5;
    const PrintLayout a4(wb.sheets[0], printRangesOf(wb, 0), kMdw);
    EXPECT_NEAR(a4.pageWidthPoints(), 841.89, 0.01);
    EXPECT_NEAR(a4.pageHeightPoints(), 595.28, 0.01);
    EXPECT_EQ(a4.roomWidth(), 15397); // (297 mm - 1 inch) in twips
    EXPECT_EQ(a4.roomHeight(), 10465);

    EXPECT_DOUBLE_EQ(paperOf(1).width, 8.5);
    EXPECT_DOUBLE_EQ(paperOf(5).height, 14.0);
    EXPECT_DOUBLE_EQ(paperOf(12345).height, 11.0); // unknown: Letter
}

TEST(PrintLayout, OversizedAndHiddenColumnsAndRows) {
    sheet::Workbook wb;
    wb.sheets.emplace_back();
    sheet::Sheet& s = wb.sheets[0];
    s.pageSetup.left = s.pageSetup.right = 0.5; // 720 px across; default columns are 64 px
    s.columnInfo(2).width256 = 60000;           // column C alone is wider than the paper
    s.columnInfo(5).hidden = true;
    s.rowInfo(3).hidden = true;
    s.rowInfo(4).heightTwips = 8192; // 546 px
    s.rowInfo(5).heightTwips = 8192;
    s.cellAt(6, 20).value = sheet::Value(1.0);
    const PrintRanges ranges = printRangesOf(wb, 0);
    ASSERT_EQ(ranges.areas.size(), 1u);
    EXPECT_EQ(ranges.areas[0], area("A1:U7")); // no print area: from A1 to the last cell
    EXPECT_FALSE(ranges.titleRows);

    const PrintLayout layout(s, ranges, kMdw);
    std::vector<Span> across, down;
    for (const PrintPage& page : layout.pages()) {
        if (page.rows == layout.pages().front().rows) {
            across.push_back(page.columns);
        }
        if (page.columns == layout.pages().front().columns) {
            down.push_back(page.rows);
        }
    }
    // C gets a page of its own; hidden F takes no room, so D..O is 11 visible columns (704 px).
    EXPECT_EQ(across, (std::vector<Span>{cols("A", "B"), cols("C", "C"), cols("D", "O"), cols("P", "U")}));
    // 864 px down (1-inch margins): rows 1 to 3 (51 px), hidden row 4 and the 546-px row 5 share
    // a page; the next starts at row 6.
    EXPECT_EQ(down, (std::vector<Span>{rows(1, 5), rows(6, 7)}));
    EXPECT_EQ(layout.pages().size(), 8u);
}

TEST(PrintLayout, TitlesAboveThePrintAreaRepeatOnEveryPage) {
    sheet::Workbook wb = gradebook(100, 1);
    wb.names.clear();
    addName(wb, "Print_Area", 0, "'Grade book'!$B$13:$G$112");
    addName(wb, "Print_Titles", 0, "'Grade book'!$1:$2,'Grade book'!$D:$D");
    const PrintLayout layout(wb.sheets[0], printRangesOf(wb, 0), kMdw);
    ASSERT_EQ(layout.pages().size(), 2u);
    for (const PrintPage& page : layout.pages()) {
        EXPECT_EQ(page.titleRows, rows(1, 2)); // 13 + 17 px above each page
        // Column D lies inside the page, right of its first column B: not repeated.
        EXPECT_FALSE(page.titleColumns);
    }
    EXPECT_EQ(layout.pages()[0].rows, rows(13, 63)); // (912 - 30) / 17 = 51.9 students
    EXPECT_EQ(layout.pages()[1].rows, rows(64, 112));
}

TEST(PrintLayout, PrintRangesFromTheSheetsOwnNames) {
    sheet::Workbook wb = gradebook(2, 1);
    wb.sheets.emplace_back();
    wb.sheets[1].name = "Other";
    wb.names.clear();
    // Two print ranges, printed one after the other; a part on another sheet is left out.
    addName(wb, "Print_Area", 0, "'Grade book'!$B$2:$C$3,'Grade book'!$E$10,Other!$A$1:$B$2");
    addName(wb, "Print_Titles", 1, "Other!$1:$1");
    const PrintRanges ranges = printRangesOf(wb, 0);
    EXPECT_EQ(ranges.areas, (std::vector<Area>{area("B2:C3"), area("E10")}));
    EXPECT_FALSE(ranges.titleRows); // the titles belong to the other sheet
    const PrintLayout layout(wb.sheets[0], ranges, kMdw);
    ASSERT_EQ(layout.pages().size(), 2u);
    EXPECT_EQ(layout.pages()[0].area, 0);
    EXPECT_EQ(layout.pages()[1].area, 1);
    EXPECT_EQ(layout.pages()[1].rows, rows(10, 10));

    // A print area whose cells were deleted prints the cells in use.
    wb.names.clear();
    wb.names.push_back({"Print_Area", 0, formula::makeRefError(0), true});
    EXPECT_EQ(printRangesOf(wb, 0).areas, (std::vector<Area>{area("A1:B5")}));

    // An empty sheet: nothing to print, but one page for the header and footer.
    const PrintRanges none = printRangesOf(wb, 1);
    EXPECT_TRUE(none.areas.empty());
    const PrintLayout blank(wb.sheets[1], none, kMdw);
    ASSERT_EQ(blank.pages().size(), 1u);
    EXPECT_TRUE(blank.pages()[0].rows.empty());
    EXPECT_TRUE(printRangesOf(wb, 7).areas.empty());
}

TEST(PrintLayout, HeaderAndFooterCodes) {
    const HeaderFooterFields fields{2, 3, "Grade book", "class.pdf", "5/1/2026", "9:30 AM"};
    const std::pair<std::string, HeaderFooterText> cases[] = {
        {"Page &P of &N", {"", "Page 2 of 3", ""}},
        {"&LLeft &A&CCentre&RRight &F", {"Left Grade book", "Centre", "Right class.pdf"}},
        {"&R&D &T", {"", "", "5/1/2026 9:30 AM"}},
        {"A && B", {"", "A & B", ""}},
        {"&P+10 / &P-1 / &P+x", {"", "12 / 1 / 2+x", ""}},
        {"&\"Century Gothic,Bold\"&12Total&B &I&U&K00FF00 pages", {"", "Total  pages", ""}},
        {"&KFF0000Red&K01+000", {"", "Red", ""}},
        {"&\"unclosed", {}},
        {"end &", {"", "end ", ""}},
        {"&Qunknown &G", {"", "unknown ", ""}},
        {"", {}},
    };
    for (const auto& [codes, expected] : cases) {
        EXPECT_EQ(expandHeaderFooter(codes, fields), expected) << codes;
    }
}

} // namespace
