#include "workbook/formula/Recalc.h"
#include "workbook/formula/Parser.h"
#include "workbook/sheet/Workbook.h"

#include <gtest/gtest.h>

using namespace markwell;

namespace {

sheet::Workbook oneSheet() {
    sheet::Workbook wb;
    wb.sheets.emplace_back();
    wb.sheets[0].name = "Sheet1";
    return wb;
}

void setFormula(sheet::Workbook& wb, int sheetIndex, int row, int col, const std::string& text) {
    formula::ParseOptions options;
    options.workbook = &wb;
    wb.sheets[static_cast<std::size_t>(sheetIndex)].cellAt(row, col).formula = formula::parseFormula(text, options);
}

sheet::Value at(const sheet::Workbook& wb, int sheetIndex, int row, int col) {
    const sheet::Cell* c = wb.sheets[static_cast<std::size_t>(sheetIndex)].cell(row, col);
    return c ? c->value : sheet::Value{};
}

} // namespace

TEST(Recalc, EvaluatesInDependencyOrderWhateverThePlacement) {
    sheet::Workbook wb = oneSheet();
    setFormula(wb, 0, 0, 0, "=B1*2"); // A1 reads B1, which reads C5 further down
    setFormula(wb, 0, 0, 1, "=SUM(C1:C5)");
    wb.sheets[0].cellAt(0, 2).value = 1.0;
    setFormula(wb, 0, 4, 2, "=C1+10"); // C5
    formula::recalculate(wb);
    EXPECT_EQ(at(wb, 0, 4, 2), sheet::Value(11.0));
    EXPECT_EQ(at(wb, 0, 0, 1), sheet::Value(12.0));
    EXPECT_EQ(at(wb, 0, 0, 0), sheet::Value(24.0));
    // A stale cached value never survives a recalculation.
    wb.sheets[0].cellAt(0, 2).value = 2.0;
    formula::recalculate(wb);
    EXPECT_EQ(at(wb, 0, 0, 0), sheet::Value(28.0));
}

// Formulas reading the same tall area one after another: a visit made while a formula of the
// area was still to be computed (or in a loop) is never reused by the next reader.
TEST(Recalc, RepeatedReadsOfAnAreaSeeItsFinalValues) {
    sheet::Workbook wb = oneSheet();
    wb.sheets[0].cellAt(0, 2).value = 1.0;  // C1
    setFormula(wb, 0, 1, 2, "=C1+1");       // C2, computed after column B
    wb.sheets[0].cellAt(2, 2).value = 4.0;  // C3
    setFormula(wb, 0, 0, 1, "=SUM(C1:C3)"); // B1 .. B4 all read C1:C3
    setFormula(wb, 0, 1, 1, "=MAX(C1:C3)");
    setFormula(wb, 0, 2, 1, "=COUNT(C1:C3)");
    setFormula(wb, 0, 3, 1, "=SUM(D1:D2)+SUM(D1:D2)"); // B4 reads a loop twice
    setFormula(wb, 0, 0, 3, "=D2");                    // D1 <-> D2
    setFormula(wb, 0, 1, 3, "=D1");
    formula::recalculate(wb);
    EXPECT_EQ(at(wb, 0, 0, 1), sheet::Value(7.0));
    EXPECT_EQ(at(wb, 0, 1, 1), sheet::Value(4.0));
    EXPECT_EQ(at(wb, 0, 2, 1), sheet::Value(3.0));
    EXPECT_EQ(at(wb, 0, 3, 1), sheet::Value(sheet::ErrorCode::Value));
}

TEST(Recalc, CyclesGiveErrorsAndTheRestStillComputes) {
    sheet::Workbook wb = oneSheet();
    setFormula(wb, 0, 0, 0, "=B1+1"); // A1 -> B1 -> C1 -> A1
    setFormula(wb, 0, 0, 1, "=C1+1");
    setFormula(wb, 0, 0, 2, "=COUNT(A1)"); // a function that ignores errors still sits in the loop
    setFormula(wb, 0, 1, 0, "=A2");        // reads itself
    setFormula(wb, 0, 2, 0, "=IF(TRUE,5,A1)");
    setFormula(wb, 0, 3, 0, "=A1"); // depends on the loop, not part of it
    formula::recalculate(wb);
    const sheet::Value loop(sheet::ErrorCode::Value);
    EXPECT_EQ(at(wb, 0, 0, 0), loop);
    EXPECT_EQ(at(wb, 0, 0, 1), loop);
    EXPECT_EQ(at(wb, 0, 0, 2), loop);
    EXPECT_EQ(at(wb, 0, 1, 0), loop);
    EXPECT_EQ(at(wb, 0, 2, 0), sheet::Value(5.0));
    EXPECT_EQ(at(wb, 0, 3, 0), loop);
}

TEST(Recalc, LongChainsDoNotExhaustTheStack) {
    sheet::Workbook wb = oneSheet();
    const int n = 60000;
    // A1 = A2 + 1, A2 = A3 + 1, ...: evaluated from the top, the chain is 60000 deep.
    for (int r = 0; r < n - 1; ++r) {
        setFormula(wb, 0, r, 0, "=A" + std::to_string(r + 2) + "+1");
    }
    wb.sheets[0].cellAt(n - 1, 0).value = 0.0;
    formula::recalculate(wb);
    EXPECT_EQ(at(wb, 0, 0, 0), sheet::Value(static_cast<double>(n - 1)));
}

TEST(Recalc, DeepButAllowedExpressionsEvaluate) {
    sheet::Workbook wb = oneSheet();
    std::string sum = "=1";
    for (int i = 0; i < 400; ++i) {
        sum += "+1";
    }
    setFormula(wb, 0, 0, 0, sum);
    std::string nested = "1";
    for (int i = 0; i < 200; ++i) {
        nested = "(" + nested + "+1)";
    }
    setFormula(wb, 0, 0, 1, "=" + nested);
    formula::recalculate(wb);
    EXPECT_EQ(at(wb, 0, 0, 0), sheet::Value(401.0));
    EXPECT_EQ(at(wb, 0, 0, 1), sheet::Value(201.0));
}

TEST(Recalc, ReferencesAcrossSheetsAndNameScopes) {
    sheet::Workbook wb = oneSheet();
    wb.sheets.emplace_back();
    wb.sheets[1].name = "Other";
    wb.sheets[1].cellAt(0, 0).value = 7.0;
    formula::ParseOptions options;
    options.workbook = &wb;
    wb.names.push_back({"Seven", -1, formula::parseFormula("=Other!$A$1", options), false});
    wb.names.push_back({"Seven", 1, formula::parseFormula("=Other!$A$1*2", options), false});
    wb.names.push_back({"Loop", -1, formula::parseFormula("=Loop", options), false});
    setFormula(wb, 0, 0, 0, "=Seven");
    setFormula(wb, 1, 0, 1, "=Seven");
    setFormula(wb, 0, 0, 1, "=Other!A1+Sheet1!A1");
    setFormula(wb, 0, 0, 2, "=Loop");
    formula::recalculate(wb);
    EXPECT_EQ(at(wb, 0, 0, 0), sheet::Value(7.0));  // the workbook-level name
    EXPECT_EQ(at(wb, 1, 0, 1), sheet::Value(14.0)); // the sheet's own name wins there
    EXPECT_EQ(at(wb, 0, 0, 1), sheet::Value(14.0));
    EXPECT_EQ(at(wb, 0, 0, 2), sheet::Value(sheet::ErrorCode::Name));
}

// Tall columns side by side: one visit takes the columns to the right of the one read, some of
// them with formulas still to be computed then; each column's functions must still be its own,
// with its gaps, texts and errors.
TEST(Recalc, TallColumnsReadTogetherKeepEachColumnsResults) {
    sheet::Workbook wb = oneSheet();
    sheet::Sheet& s = wb.sheets[0];
    for (int r = 0; r < 100; ++r) {
        if (r == 9) {
            s.cellAt(r, 1).value = "x"; // B: 1..100 but a text and a gap
        } else if (r != 49) {
            s.cellAt(r, 1).value = static_cast<double>(r + 1);
        }
        setFormula(wb, 0, r, 2, "=E" + std::to_string(r + 1) + "*2"); // C: 2r, computed after A
        s.cellAt(r, 4).value = static_cast<double>(r);                // E: r
        s.cellAt(r, 5).value = r == 70 ? sheet::Value(sheet::ErrorCode::Div0) : sheet::Value(r + 0.5);
        setFormula(wb, 0, r, 6, "=E" + std::to_string(r + 1) + "+1"); // G: r+1, computed after D
    }
    const char* functions[] = {"SUM", "AVERAGE", "MAX", "MIN", "COUNT", "COUNTA"};
    setFormula(wb, 0, 0, 0, "=SUM(B1:B100)"); // A1: the first visit, while C and G wait
    for (int i = 0; i < 6; ++i) {
        setFormula(wb, 0, i, 3, std::string("=") + functions[i] + "(C1:C100)");
        setFormula(wb, 0, i, 7, std::string("=") + functions[i] + "(B1:B100)");
        setFormula(wb, 0, i + 6, 7, std::string("=") + functions[i] + "(F1:F100)");
    }
    setFormula(wb, 0, 7, 3, "=SUM(G1:G100)");
    setFormula(wb, 0, 20, 8, "=IF(SUM(B21:F21),SUM(B21:F21)/2,0)"); // a row's total read twice
    formula::recalculate(wb);

    const sheet::Value div0(sheet::ErrorCode::Div0);
    const struct {
        int row, col;
        sheet::Value expected;
    } cases[] = {
        {0, 0, 4990.0}, {0, 3, 9900.0}, {1, 3, 99.0},   {2, 3, 198.0},       {3, 3, 0.0},   {4, 3, 100.0},
        {5, 3, 100.0},  {7, 3, 5050.0}, {0, 7, 4990.0}, {1, 7, 4990.0 / 98}, {2, 7, 100.0}, {3, 7, 1.0},
        {4, 7, 98.0},   {5, 7, 99.0},   {6, 7, div0},   {7, 7, div0},        {8, 7, div0},  {9, 7, div0},
        {10, 7, 99.0},  {11, 7, 100.0}, {20, 8, 50.75},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(at(wb, 0, c.row, c.col), c.expected) << sheet::toA1(sheet::CellPos{c.row, c.col});
    }
}
