#include "MiniTemplate.h"

#include "workbook/formula/Recalc.h"
#include "workbook/sheet/Structure.h"

#include <gtest/gtest.h>

using namespace markwell;
using namespace minitemplate;

namespace {

// Every formula and name of the sheet, for comparing two ways of reaching the same layout.
std::string dump(const sheet::Workbook& wb) {
    std::string out;
    wb.sheets[0].forEachCell([&](int r, int c, const sheet::Cell& cell) {
        out += sheet::toA1(sheet::CellPos{r, c}) + ' ' + std::to_string(cell.format) + ' ';
        out += cell.formula ? formula::printFormula(cell.formula, &wb) : cell.value.describe();
        out += '\n';
    });
    for (const auto& n : wb.names) {
        out += n.name + ' ' + formula::printFormula(n.refersTo, &wb) + '\n';
    }
    for (const auto& m : wb.sheets[0].merged) {
        out += "merge " + sheet::toA1(m) + '\n';
    }
    for (const auto& c : wb.sheets[0].comments) {
        out += "comment " + sheet::toA1(c.pos) + '\n';
    }
    for (std::size_t r = 0; r < wb.sheets[0].rows().size(); ++r) {
        if (const auto* info = wb.sheets[0].rowInfoAt(static_cast<int>(r))) {
            out += "row " + std::to_string(r + 1) + ' ' + std::to_string(info->heightTwips.value_or(-1)) + '\n';
        }
    }
    return out;
}

const sheet::Area kTestColumn{{5, 9}, {18, 9}}; // J6:J19

} // namespace

TEST(InsertCopiedCells, TestColumnCopyWidensTheTestBlock) {
    sheet::Workbook wb = build();
    sheet::insertCopiedCells(wb, 0, kTestColumn, at("J6"));

    EXPECT_EQ(formulaAt(wb, "H9"), "=COUNTA(G6:L6)");
    EXPECT_EQ(formulaAt(wb, "H10"), "=SUM(G7:L7)");
    EXPECT_EQ(formulaAt(wb, "D13"), "=(IF(SUM(G13:L13),ROUND(SUM(G13:L13)/$H$10,2),\"\"))");
    EXPECT_EQ(formulaAt(wb, "D14"), "=(IF(SUM(G14:L14),ROUND(SUM(G14:L14)/$H$10,2),\"\"))");
    // The copy reads its own column; the moved originals follow their cells.
    EXPECT_EQ(formulaAt(wb, "J12"), "=IF(OR(J6,J6>\"\"),J6,\"\")");
    EXPECT_EQ(formulaAt(wb, "K12"), "=IF(OR(K6,K6>\"\"),K6,\"\")");
    EXPECT_EQ(formulaAt(wb, "L12"), "=IF(OR(L6,L6>\"\"),L6,\"\")");
    EXPECT_EQ(formulaAt(wb, "L16"), "=IF(OR(L12,L12>\"\"),L12,\"\")");
    EXPECT_EQ(formulaAt(wb, "J17"), "=IF(SUM(J12:J15),AVERAGE(J12:J15),\"\")");
    EXPECT_EQ(formulaAt(wb, "L19"), "=IF(SUM(L12:L15),MIN(L12:L15),\"\")");
    // Outside the moved rows nothing changes: the grade table and the print area stay put.
    EXPECT_EQ(nameText(wb, "GradeTable"), "='Grade book'!$E$2:$Q$4");
    EXPECT_EQ(nameText(wb, "Print_Area"), "='Grade book'!$B$5:$H$19");
    EXPECT_EQ(formulaAt(wb, "E13"), "=IF(D13<>\"\",HLOOKUP(D13,GradeTable,2),\"\")");
    // Formats come with the copy and move with the originals.
    EXPECT_EQ(wb.sheets[0].cell(13, 9)->format, wb.sheets[0].cell(13, 10)->format);
    EXPECT_EQ(wb.sheets[0].cell(13, 11)->format, wb.sheets[0].cell(13, 9)->format);
    EXPECT_EQ(wb.sheets[0].cell(13, 12), nullptr);
}

TEST(InsertCopiedCells, RepeatCountEqualsRepeatedInserts) {
    sheet::Workbook once = build();
    sheet::insertCopiedCells(once, 0, kTestColumn, at("J6"), 4);
    sheet::Workbook stepwise = build();
    for (int i = 0; i < 4; ++i) {
        sheet::insertCopiedCells(stepwise, 0, kTestColumn, at("J6"));
    }
    EXPECT_EQ(dump(once), dump(stepwise));
    EXPECT_EQ(formulaAt(once, "H9"), "=COUNTA(G6:O6)");
    EXPECT_EQ(formulaAt(once, "M12"), "=IF(OR(M6,M6>\"\"),M6,\"\")");
}

TEST(InsertCopiedCells, RefusesToPushCellsOffTheSheetAndChangesNothing) {
    sheet::Workbook wb = build();
    put(wb, "IV13", "7");
    const std::string before = dump(wb);
    EXPECT_THROW(sheet::insertCopiedCells(wb, 0, kTestColumn, at("J6")), sheet::StructureError);
    EXPECT_EQ(dump(wb), before);
    EXPECT_THROW(sheet::insertCopiedCells(wb, 0, kTestColumn, at("J6"), 300), sheet::StructureError);
    EXPECT_THROW(sheet::insertCopiedCells(wb, 3, kTestColumn, at("J6")), sheet::StructureError);
}

TEST(InsertCopiedRows, StudentBandCopyWidensTheSummary) {
    sheet::Workbook wb = build();
    sheet::insertCopiedRows(wb, 0, 12, 13, 12); // rows 13:14 at row 13

    EXPECT_EQ(formulaAt(wb, "D19"), "=IF(SUM(D12:D17),AVERAGE(D12:D17),\"\")");
    EXPECT_EQ(formulaAt(wb, "G21"), "=IF(SUM(G12:G17),MIN(G12:G17),\"\")");
    EXPECT_EQ(formulaAt(wb, "E20"), "=IF(D20<>\"\",HLOOKUP(D20,GradeTable,2),\"\")");
    EXPECT_EQ(formulaAt(wb, "D18"), "=IF(OR(D12,D12>\"\"),D12,\"\")");
    for (const char* row : {"13", "14", "15", "16"}) {
        const std::string r = row;
        EXPECT_EQ(formulaAt(wb, ("D" + r).c_str()),
                  "=(IF(SUM(G" + r + ":K" + r + "),ROUND(SUM(G" + r + ":K" + r + ")/$H$10,2),\"\"))");
        EXPECT_EQ(formulaAt(wb, ("F" + r).c_str()), "=IF(D" + r + "<>\"\",HLOOKUP(D" + r + ",GradeTable,3),\"\")");
    }
    EXPECT_EQ(nameText(wb, "Print_Area"), "='Grade book'!$B$5:$H$21");
    EXPECT_EQ(nameText(wb, "Print_Titles"), "='Grade book'!$B:$B,'Grade book'!$12:$12");
    EXPECT_EQ(nameText(wb, "GradeTable"), "='Grade book'!$E$2:$Q$4");

    const sheet::Sheet& s = wb.sheets[0];
    // Banding and heights alternate down the copies; the spacer moved to row 17.
    EXPECT_EQ(s.cell(12, 6)->format, s.cell(14, 6)->format);
    EXPECT_EQ(s.cell(13, 6)->format, s.cell(15, 6)->format);
    EXPECT_NE(s.cell(12, 6)->format, s.cell(13, 6)->format);
    EXPECT_EQ(s.rowInfoAt(15)->heightTwips, 259);
    EXPECT_EQ(s.rowInfoAt(16)->heightTwips, 90);
    EXPECT_EQ(s.rowInfoAt(17)->heightTwips, 285);
    const std::vector<sheet::Area> merged{
        {at("B5"), at("C7")}, {at("D9"), at("G9")}, {at("B18"), at("C18")}, {at("B21"), at("C21")}};
    EXPECT_EQ(s.merged, merged);
    ASSERT_EQ(s.comments.size(), 2u);
    EXPECT_EQ(s.comments[0].pos, at("D12"));
}

TEST(InsertCopiedRows, RepeatCountEqualsRepeatedInserts) {
    sheet::Workbook once = build();
    sheet::insertCopiedRows(once, 0, 12, 13, 12, 5);
    sheet::Workbook stepwise = build();
    for (int i = 0; i < 5; ++i) {
        sheet::insertCopiedRows(stepwise, 0, 12, 13, 12);
    }
    EXPECT_EQ(dump(once), dump(stepwise));
    EXPECT_EQ(formulaAt(once, "D27"), "=IF(SUM(D12:D25),AVERAGE(D12:D25),\"\")");
}

TEST(InsertCopiedRows, CopiesMergesAndCommentsOfTheCopiedRows) {
    sheet::Workbook wb = build();
    wb.sheets[0].merged.push_back({at("B13"), at("C13")});
    wb.sheets[0].comments.push_back({at("C14"), "ID checked", "Markwell"});
    sheet::insertCopiedRows(wb, 0, 12, 13, 12, 2);
    const auto& m = wb.sheets[0].merged;
    for (const char* a : {"B13", "B15", "B17"}) {
        EXPECT_NE(std::find(m.begin(), m.end(), sheet::Area{at(a), {at(a).row, 2}}), m.end()) << a;
    }
    int idComments = 0;
    for (const auto& c : wb.sheets[0].comments) {
        idComments += c.text == "ID checked" ? 1 : 0;
    }
    EXPECT_EQ(idComments, 3);
}

TEST(InsertCopiedRows, RefusesToPushRowsOffTheSheet) {
    sheet::Workbook wb = build();
    EXPECT_THROW(sheet::insertCopiedRows(wb, 0, 12, 13, 12, 40000), sheet::StructureError);
    EXPECT_EQ(formulaAt(wb, "D17"), "=IF(SUM(D12:D15),AVERAGE(D12:D15),\"\")");
    EXPECT_THROW(sheet::insertCopiedRows(wb, 0, 14, 12, 12), sheet::StructureError);
}

TEST(DeleteRows, SurplusStudentRowIsRemovedAndRangesShrink) {
    sheet::Workbook wb = build();
    sheet::insertCopiedRows(wb, 0, 12, 13, 12); // students in 13..16
    sheet::deleteRows(wb, 0, 15, 15);           // remove row 16
    EXPECT_EQ(formulaAt(wb, "D18"), "=IF(SUM(D12:D16),AVERAGE(D12:D16),\"\")");
    EXPECT_EQ(formulaAt(wb, "E18"), "=IF(D18<>\"\",HLOOKUP(D18,GradeTable,2),\"\")");
    EXPECT_EQ(formulaAt(wb, "D15"), "=(IF(SUM(G15:K15),ROUND(SUM(G15:K15)/$H$10,2),\"\"))");
    EXPECT_EQ(nameText(wb, "Print_Area"), "='Grade book'!$B$5:$H$20");
    EXPECT_EQ(wb.sheets[0].rowInfoAt(15)->heightTwips, 90); // the spacer moved up
    EXPECT_EQ(wb.sheets[0].merged[2], (sheet::Area{at("B17"), at("C17")}));
}

TEST(DeleteRows, ReferencesToDeletedCellsBecomeRefErrors) {
    sheet::Workbook wb = build();
    put(wb, "A30", "=D13+1");
    put(wb, "A31", "=SUM(G13:K14)");
    put(wb, "A32", "=SUM(G12:K14)");
    put(wb, "A33", "=$D$20");
    wb.sheets[0].comments.push_back({at("G13"), "late", "Markwell"});
    sheet::deleteRows(wb, 0, 12, 13); // rows 13:14
    EXPECT_EQ(formulaAt(wb, "A28"), "=#REF!+1");
    EXPECT_EQ(formulaAt(wb, "A29"), "=SUM(#REF!)");
    EXPECT_EQ(formulaAt(wb, "A30"), "=SUM(G12:K12)");
    EXPECT_EQ(formulaAt(wb, "A31"), "=$D$18");
    EXPECT_EQ(formulaAt(wb, "D15"), "=IF(SUM(D12:D13),AVERAGE(D12:D13),\"\")");
    formula::recalculate(wb);
    EXPECT_EQ(valueAt(wb, "A28"), sheet::Value(sheet::ErrorCode::Ref));
    EXPECT_EQ(wb.sheets[0].comments.size(), 2u);
}
