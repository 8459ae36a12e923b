#include "FilledTemplate.h"

#include "gradebook/template/TemplateWorkbook.h"
#include "workbook/formula/Printer.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

using namespace markwell;
using markwell::gradetemplate::buildTemplateWorkbook;
using markwell::test::cellOf;
using markwell::test::valueOf;

namespace {

const sheet::Workbook& tmpl() {
    static const sheet::Workbook wb = buildTemplateWorkbook();
    return wb;
}

const sheet::Sheet& sheet0() {
    return tmpl().sheets.front();
}

const sheet::CellFormat& formatAt(const std::string& a1) {
    const sheet::Cell* c = cellOf(tmpl(), a1.c_str());
    return tmpl().formats.at(c ? c->format : 0);
}

// Every cell of an A1 area, as addresses.
std::vector<std::string> cellsOf(const char* areaText) {
    const sheet::Area a = *sheet::parseArea(areaText);
    std::vector<std::string> out;
    for (int r = a.first.row; r <= a.last.row; ++r) {
        for (int c = a.first.col; c <= a.last.col; ++c) {
            out.push_back(sheet::toA1(sheet::CellPos{r, c}));
        }
    }
    return out;
}

std::string col(int c) {
    return sheet::columnName(c);
}

constexpr int kG = 6, kK = 10;

} // namespace

TEST(TemplateLayout, OneActiveSheetWithoutGridlinesAndB5Selected) {
    ASSERT_EQ(tmpl().sheets.size(), 1u);
    EXPECT_EQ(sheet0().name, "Grade book");
    EXPECT_EQ(tmpl().activeSheet, 0);
    EXPECT_FALSE(sheet0().showGridlines);
    EXPECT_TRUE(sheet0().selected);
    EXPECT_EQ(sheet0().activeCell, (sheet::CellPos{4, 1}));
}

// The texts filling relies on or the teacher reads, and nothing else outside the grade table.
TEST(TemplateLayout, CaptionsAreExactlyTheseTexts) {
    const std::map<std::string, std::string> captions = {
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
        {"D10", "Total possible points:"},
        {"B12", "Student Name"},
        {"C12", "Student ID"},
        {"D12", "Average"},
        {"E12", "Ltr Grade"},
        {"F12", "GPA"},
        {"B16", "Class Summary"},
        {"B17", " Average"},
        {"B18", " Highest Score"},
        {"B19", " Lowest Score"},
    };
    const sheet::Area gradeTable = *sheet::parseArea("E2:Q4");
    std::map<std::string, std::string> found;
    sheet0().forEachCell([&](int r, int c, const sheet::Cell& cell) {
        if (!cell.formula && !cell.value.isEmpty() && !gradeTable.contains(sheet::CellPos{r, c})) {
            found[sheet::toA1(sheet::CellPos{r, c})] = cell.value.isText() ? cell.value.text() : cell.value.describe();
        }
    });
    EXPECT_EQ(found, captions);
}

TEST(TemplateLayout, GradeTableHoldsBoundsLettersAndGradePoints) {
    const double bounds[] = {0, 0.6, 0.63, 0.67, 0.7, 0.73, 0.77, 0.8, 0.83, 0.87, 0.9, 0.93, 0.97};
    const char* letters[] = {"F", "D-", "D", "D+", "C-", "C", "C+", "B-", "B", "B+", "A-", "A", "A+"};
    const double points[] = {0, 0.67, 1, 1.33, 1.67, 2, 2.33, 2.67, 3, 3.33, 3.67, 4, 4};
    for (int i = 0; i < 13; ++i) {
        const std::string c = col(4 + i);
        SCOPED_TRACE(c);
        EXPECT_EQ(valueOf(tmpl(), (c + "2").c_str()), sheet::Value(bounds[i]));
        EXPECT_EQ(valueOf(tmpl(), (c + "3").c_str()), sheet::Value(letters[i]));
        EXPECT_EQ(valueOf(tmpl(), (c + "4").c_str()), sheet::Value(points[i]));
        EXPECT_EQ(formatAt(c + "2").numberFormat, "0%");
        EXPECT_EQ(formatAt(c + "3").numberFormat, "General");
        EXPECT_EQ(formatAt(c + "4").numberFormat, "0.00");
    }
    EXPECT_EQ(valueOf(tmpl(), "R2"), sheet::Value());
}

// Every formula, printed back as a user would type it; no other cell holds one.
TEST(TemplateLayout, FormulasAreExactlyThese) {
    std::map<std::string, std::string> expected = {
        {"H9", "=COUNTA(G6:K6)"},
        {"H10", "=SUM(G7:K7)"},
    };
    for (int c = kG; c <= kK; ++c) {
        const std::string x = col(c);
        expected[x + "12"] = "=IF(OR(" + x + "6," + x + "6>\"\")," + x + "6,\"\")";
    }
    for (const char* r : {"13", "14"}) {
        const std::string row = r;
        expected["D" + row] =
            "=(IF(SUM(G" + row + ":K" + row + "),ROUND(SUM(G" + row + ":K" + row + ")/$H$10,2),\"\"))";
        expected["E" + row] = "=IF(D" + row + "<>\"\",HLOOKUP(D" + row + ",GradeTable,2),\"\")";
        expected["F" + row] = "=IF(D" + row + "<>\"\",HLOOKUP(D" + row + ",GradeTable,3),\"\")";
    }
    const std::pair<const char*, const char*> summaries[] = {{"17", "AVERAGE"}, {"18", "MAX"}, {"19", "MIN"}};
    for (int c = 3; c <= kK; ++c) {
        const std::string x = col(c);
        expected[x + "16"] = "=IF(OR(" + x + "12," + x + "12>\"\")," + x + "12,\"\")";
        for (const auto& [row, fn] : summaries) {
            expected[x + row] = x == "E"
                                    ? "=IF(D" + std::string(row) + "<>\"\",HLOOKUP(D" + row + ",GradeTable,2),\"\")"
                                    : "=IF(SUM(" + x + "12:" + x + "15)," + fn + "(" + x + "12:" + x + "15),\"\")";
        }
    }
    std::map<std::string, std::string> found;
    sheet0().forEachCell([&](int r, int c, const sheet::Cell& cell) {
        if (cell.formula) {
            found[sheet::toA1(sheet::CellPos{r, c})] = formula::printFormula(cell.formula, &tmpl());
        }
    });
    EXPECT_EQ(found, expected);
}

// What the empty template shows before any filling.
TEST(TemplateLayout, EmptyTemplateCarriesItsResults) {
    EXPECT_EQ(valueOf(tmpl(), "H9"), sheet::Value(0));
    EXPECT_EQ(valueOf(tmpl(), "H10"), sheet::Value(0));
    EXPECT_EQ(valueOf(tmpl(), "D16"), sheet::Value("Average"));
    EXPECT_EQ(valueOf(tmpl(), "E16"), sheet::Value("Ltr Grade"));
    EXPECT_EQ(valueOf(tmpl(), "F16"), sheet::Value("GPA"));
    for (const char* area : {"G12:K12", "D13:F14", "G16:K16", "D17:K19"}) {
        for (const std::string& a1 : cellsOf(area)) {
            EXPECT_EQ(valueOf(tmpl(), a1.c_str()), sheet::Value("")) << a1;
        }
    }
}

TEST(TemplateLayout, FontsAreCenturyGothicInTheirSizes) {
    std::set<std::string> eightPoint, italic;
    for (const char* area : {"D2:Q4", "B8:B10"}) {
        for (const std::string& a1 : cellsOf(area)) {
            eightPoint.insert(a1);
        }
    }
    for (const std::string& a1 : cellsOf("B8:B10")) {
        italic.insert(a1);
    }
    sheet0().forEachCell([&](int r, int c, const sheet::Cell& cell) {
        const std::string a1 = sheet::toA1(sheet::CellPos{r, c});
        SCOPED_TRACE(a1);
        const sheet::Font& f = tmpl().formats.at(cell.format).font;
        ASSERT_NE(cell.format, 0u);
        EXPECT_EQ(f.name, "Century Gothic");
        const bool header = sheet::parseArea("B5:C7")->contains(sheet::CellPos{r, c});
        EXPECT_EQ(f.heightTwips, header ? 440 : eightPoint.count(a1) ? 160 : 180);
        EXPECT_EQ(f.italic, italic.count(a1) == 1);
    });
    EXPECT_TRUE(formatAt("B5").wrap);
    // What is typed into a cell the template did not style comes out in the same family, at the
    // 10 points column widths are counted in.
    EXPECT_EQ(tmpl().formats.front().font.name, "Century Gothic");
    EXPECT_EQ(tmpl().formats.front().font.heightTwips, 200);
}

TEST(TemplateLayout, FillsTextColoursAndBoldness) {
    constexpr std::uint32_t dark = 0xA75A45, grey = 0xEAEAEA, cream = 0xFDF8EC, white = 0xFFFFFF;
    const std::pair<const char*, std::optional<std::uint32_t>> fills[] = {
        {"D1:O1", white},  {"B2:B4", white},  {"C5:Q5", white},  {"R2:AG5", white},  {"D6:F7", dark},
        {"D9:G10", dark},  {"B12:F12", dark}, {"B16:C16", dark}, {"D2:D4", dark},    {"G12:K12", grey},
        {"D13:F14", grey}, {"D16:K16", grey}, {"D17:K19", grey}, {"B14:C14", cream}, {"G14:K14", cream},
        {"B13:C13", {}},   {"G13:K13", {}},   {"G6:K7", {}},     {"H9:H10", {}},     {"B17:C19", {}},
        {"E2:Q4", {}},     {"B8:B10", {}},
    };
    for (const auto& [area, fill] : fills) {
        for (const std::string& a1 : cellsOf(area)) {
            const sheet::CellFormat& f = formatAt(a1);
            EXPECT_EQ(f.fill, fill) << a1;
            EXPECT_EQ(f.font.colour, fill == dark ? white : 0u) << a1;
            const bool echo = sheet::parseArea("G12:K12")->contains(sheet::parseA1(a1)->pos) ||
                              sheet::parseArea("D16:K16")->contains(sheet::parseA1(a1)->pos);
            EXPECT_EQ(f.font.bold, echo) << a1;
        }
    }
}

TEST(TemplateLayout, NumberFormats) {
    const std::pair<const char*, const char*> formats[] = {
        {"G7:K7", "0"},       {"H10", "0"},           {"H9", "General"},   {"G6:K6", "General"},
        {"D13:D14", "0.00%"}, {"E13:E14", "General"}, {"F13:F14", "0.00"}, {"G13:K14", "0"},
        {"D17:D19", "0.00%"}, {"E17:E19", "General"}, {"F17:F19", "0.00"}, {"G17:K19", "0"},
    };
    for (const auto& [area, code] : formats) {
        for (const std::string& a1 : cellsOf(area)) {
            EXPECT_EQ(formatAt(a1).numberFormat, code) << a1;
        }
    }
}

TEST(TemplateLayout, ThinBordersAroundEveryTableCellAndNowhereElse) {
    const sheet::Border thin{sheet::BorderStyle::Thin, 0x000000};
    std::set<std::string> boxed;
    for (const char* area : {"D2:Q4", "D6:K7", "D9:H10", "B12:K14", "B16:K19"}) {
        for (const std::string& a1 : cellsOf(area)) {
            boxed.insert(a1);
        }
    }
    sheet0().forEachCell([&](int r, int c, const sheet::Cell& cell) {
        const std::string a1 = sheet::toA1(sheet::CellPos{r, c});
        const sheet::CellFormat& f = tmpl().formats.at(cell.format);
        const sheet::Border want = boxed.count(a1) ? thin : sheet::Border{};
        EXPECT_TRUE(f.left == want && f.right == want && f.top == want && f.bottom == want) << a1;
    });
}

TEST(TemplateLayout, MergedRanges) {
    std::set<std::string> merged;
    for (const sheet::Area& a : sheet0().merged) {
        merged.insert(sheet::toA1(a));
    }
    EXPECT_EQ(merged, (std::set<std::string>{"B5:C7", "D6:F6", "D7:F7", "D9:G9", "D10:G10", "B16:C16", "B17:C17",
                                             "B18:C18", "B19:C19"}));
    EXPECT_EQ(merged.size(), sheet0().merged.size());
}

TEST(TemplateLayout, DefinedNames) {
    struct Expect {
        int scope;
        bool builtin;
        std::string text;
    };
    std::map<std::string, Expect> expected = {
        {"GradeTable", {-1, false, "'Grade book'!$E$2:$Q$4"}},
        {"Print_Area", {0, true, "'Grade book'!$B$5:$K$19"}}, // the whole table, test block G:K included
        {"Print_Titles", {0, true, "'Grade book'!$B:$B,'Grade book'!$12:$12"}},
    };
    ASSERT_EQ(tmpl().names.size(), expected.size());
    for (const sheet::DefinedName& n : tmpl().names) {
        SCOPED_TRACE(n.name);
        ASSERT_EQ(expected.count(n.name), 1u);
        const Expect& e = expected.at(n.name);
        EXPECT_EQ(n.scopeSheet, e.scope);
        EXPECT_EQ(n.builtin, e.builtin);
        EXPECT_EQ(formula::printExpression(n.refersTo, &tmpl()), e.text);
    }
    // The grade formulas find the table from the sheet.
    EXPECT_NE(tmpl().findName("GradeTable", 0), nullptr);
}

TEST(TemplateLayout, CommentsOnTheAverageAndLetterHeaders) {
    ASSERT_EQ(sheet0().comments.size(), 2u);
    std::map<std::string, std::string> texts;
    for (const sheet::Comment& c : sheet0().comments) {
        texts[sheet::toA1(c.pos)] = c.text;
        EXPECT_FALSE(c.visible);
        EXPECT_FALSE(c.author.empty());
    }
    EXPECT_EQ(texts["D12"], "Average equals Total Points divided by Total Possible Points\n");
    EXPECT_EQ(texts["E12"], "Note that the GradeTable referred to in the formula in this column is the table of "
                            "grades found at the top of this sheet.");
}

TEST(TemplateLayout, ColumnWidthsAndRowHeights) {
    using gradetemplate::columnWidth256;
    // The stored unit counts the cell padding: the usual default width of 8.43 is 2340.
    EXPECT_EQ(columnWidth256(8.43), 2340);
    EXPECT_EQ(columnWidth256(9.14), 2523);
    const std::map<std::string, double> widths = {{"A", 1.71}, {"B", 37},   {"C", 18.71}, {"D", 9.71},
                                                  {"E", 9.71}, {"F", 9.71}, {"G", 8.57}};
    for (int c = 0; c < sheet::kMaxColumns; ++c) {
        const auto it = widths.find(col(c));
        const sheet::ColumnInfo* info = sheet0().columnInfoAt(c);
        ASSERT_NE(info, nullptr) << col(c);
        EXPECT_EQ(info->width256, columnWidth256(it == widths.end() ? 9.14 : it->second)) << col(c);
    }
    const int twips[] = {195, 259, 259, 259, 285, 270, 285, 285, 285, 285, 285, 285, 259, 259, 90, 285, 259, 259, 259};
    for (int r = 0; r < 19; ++r) {
        const sheet::RowInfo* info = sheet0().rowInfoAt(r);
        ASSERT_NE(info, nullptr) << "row " << r + 1;
        EXPECT_EQ(info->heightTwips, twips[r]) << "row " << r + 1;
    }
    EXPECT_EQ(sheet0().lastRowWithInfo(), 18);
}

// The picture of a filled sheet is taken of its used range: rows 1 to 19, columns B to AG.
TEST(TemplateLayout, UsedRangeRunsFromB1ToAG19) {
    int top = sheet::kMaxRows, left = sheet::kMaxColumns, bottom = -1, right = -1;
    sheet0().forEachCell([&](int r, int c, const sheet::Cell&) {
        top = std::min(top, r);
        left = std::min(left, c);
        bottom = std::max(bottom, r);
        right = std::max(right, c);
    });
    EXPECT_EQ(sheet::toA1(sheet::Area{{top, left}, {bottom, right}}), "B1:AG19");
    EXPECT_EQ(sheet0().lastRow(), 18);
    EXPECT_EQ(sheet0().lastColumn(), 32);
}

TEST(TemplateLayout, PageSetUp) {
    const sheet::PageSetup& p = sheet0().pageSetup;
    EXPECT_EQ(p.paperSize, 1);
    EXPECT_TRUE(p.portrait);
    EXPECT_EQ(p.scale, 100);
    EXPECT_DOUBLE_EQ(p.left, 0.5);
    EXPECT_DOUBLE_EQ(p.right, 0.5);
    EXPECT_DOUBLE_EQ(p.top, 0.5);
    EXPECT_EQ(p.footerText, "&CPage &P of &N");
}
