#pragma once

// The gradebook layout the structural operations and the grade formulas are exercised on: the
// grade table, the test block G..K, the two-row student band 13:14 with its spacer row 15 and the
// class summary 16..19, with the defined names, two comments and a few merges.

#include "workbook/formula/Parser.h"
#include "workbook/formula/Printer.h"
#include "workbook/sheet/CellRef.h"
#include "workbook/sheet/NumericText.h"
#include "workbook/sheet/Workbook.h"

#include <string>

namespace minitemplate {

using namespace markwell;

inline sheet::CellPos at(const char* a1) {
    return sheet::parseA1(a1).value().pos;
}

inline void put(sheet::Workbook& wb, const char* a1, const std::string& text) {
    const sheet::CellPos p = at(a1);
    sheet::Cell& cell = wb.sheets[0].cellAt(p.row, p.col);
    if (!text.empty() && text[0] == '=') {
        formula::ParseOptions options;
        options.workbook = &wb;
        cell.formula = formula::parseFormula(text, options);
    } else {
        cell.value = sheet::numericTextToValue(text);
    }
}

// The formula text of a cell, or "" when it holds none.
inline std::string formulaAt(const sheet::Workbook& wb, const char* a1) {
    const sheet::CellPos p = at(a1);
    const sheet::Cell* cell = wb.sheets[0].cell(p.row, p.col);
    return cell && cell->formula ? formula::printFormula(cell->formula, &wb) : std::string();
}

inline std::string nameText(const sheet::Workbook& wb, const char* name) {
    const sheet::DefinedName* n = wb.findName(name, 0);
    return n ? formula::printFormula(n->refersTo, &wb) : std::string("(no such name)");
}

inline sheet::Value valueAt(const sheet::Workbook& wb, const char* a1) {
    const sheet::CellPos p = at(a1);
    const sheet::Cell* cell = wb.sheets[0].cell(p.row, p.col);
    return cell ? cell->value : sheet::Value{};
}

inline sheet::Workbook build() {
    sheet::Workbook wb;
    wb.sheets.emplace_back();
    sheet::Sheet& s = wb.sheets[0];
    s.name = "Grade book";

    const char* bounds[] = {"0",   "0.6",  "0.63", "0.67", "0.7",  "0.73", "0.77",
                            "0.8", "0.83", "0.87", "0.9",  "0.93", "0.97"};
    const char* letters[] = {"F", "D-", "D", "D+", "C-", "C", "C+", "B-", "B", "B+", "A-", "A", "A+"};
    const char* points[] = {"0", "0.67", "1", "1.33", "1.67", "2", "2.33", "2.67", "3", "3.33", "3.67", "4", "4"};
    for (int i = 0; i < 13; ++i) {
        const std::string col = sheet::columnName(4 + i);
        put(wb, (col + "2").c_str(), bounds[i]);
        put(wb, (col + "3").c_str(), letters[i]);
        put(wb, (col + "4").c_str(), points[i]);
    }
    put(wb, "D2", "Average");
    put(wb, "D3", "Ltr Grade");
    put(wb, "D4", "GPA");
    put(wb, "B5", "Your School Name");
    put(wb, "D6", "Assignment or Test Name");
    put(wb, "D7", "Possible Points");
    put(wb, "D9", "Total number of assignments and tests:");
    put(wb, "H9", "=COUNTA(G6:K6)");
    put(wb, "D10", "Total possible points:");
    put(wb, "H10", "=SUM(G7:K7)");
    put(wb, "B12", "Student Name");
    put(wb, "C12", "Student ID");
    put(wb, "D12", "Average");
    put(wb, "E12", "Ltr Grade");
    put(wb, "F12", "GPA");
    for (const char* col : {"G", "H", "I", "J", "K"}) {
        const std::string c = col;
        put(wb, (c + "12").c_str(), "=IF(OR(" + c + "6," + c + "6>\"\")," + c + "6,\"\")");
    }
    for (const char* row : {"13", "14"}) {
        const std::string r = row;
        put(wb, ("D" + r).c_str(), "=(IF(SUM(G" + r + ":K" + r + "),ROUND(SUM(G" + r + ":K" + r + ")/$H$10,2),\"\"))");
        put(wb, ("E" + r).c_str(), "=IF(D" + r + "<>\"\",HLOOKUP(D" + r + ",GradeTable,2),\"\")");
        put(wb, ("F" + r).c_str(), "=IF(D" + r + "<>\"\",HLOOKUP(D" + r + ",GradeTable,3),\"\")");
    }
    put(wb, "B16", "Class Summary");
    for (const char* col : {"D", "E", "F", "G", "H", "I", "J", "K"}) {
        const std::string c = col;
        put(wb, (c + "16").c_str(), "=IF(OR(" + c + "12," + c + "12>\"\")," + c + "12,\"\")");
    }
    put(wb, "B17", " Average");
    put(wb, "B18", " Highest Score");
    put(wb, "B19", " Lowest Score");
    const std::pair<const char*, const char*> summary[] = {{"17", "AVERAGE"}, {"18", "MAX"}, {"19", "MIN"}};
    for (const auto& [row, fn] : summary) {
        const std::string r = row, f = fn;
        for (const char* col : {"D", "F", "G", "H", "I", "J", "K"}) {
            const std::string c = col;
            put(wb, (c + r).c_str(), "=IF(SUM(" + c + "12:" + c + "15)," + f + "(" + c + "12:" + c + "15),\"\")");
        }
        put(wb, ("E" + r).c_str(), "=IF(D" + r + "<>\"\",HLOOKUP(D" + r + ",GradeTable,2),\"\")");
    }

    // Looks that must travel with the cells.
    sheet::CellFormat cream;
    cream.fill = 0xFDF8EC;
    cream.numberFormat = "0";
    const std::uint32_t creamIndex = wb.addFormat(cream);
    sheet::CellFormat plain;
    plain.numberFormat = "0";
    const std::uint32_t plainIndex = wb.addFormat(plain);
    for (int col = 6; col <= 10; ++col) {
        s.cellAt(12, col).format = plainIndex;
        s.cellAt(13, col).format = creamIndex;
    }
    s.rowInfo(12).heightTwips = 259;
    s.rowInfo(13).heightTwips = 259;
    s.rowInfo(14).heightTwips = 90;
    s.rowInfo(15).heightTwips = 285;
    s.merged = {{at("B5"), at("C7")}, {at("D9"), at("G9")}, {at("B16"), at("C16")}, {at("B19"), at("C19")}};
    s.comments.push_back({at("D12"), "Average equals Total Points divided by Total Possible Points\n", "Markwell"});
    s.comments.push_back({at("E12"), "Note that the GradeTable ...", "Markwell"});

    formula::ParseOptions names;
    names.workbook = &wb;
    names.allowUnion = true;
    wb.names.push_back({"GradeTable", -1, formula::parseFormula("='Grade book'!$E$2:$Q$4", names), false});
    wb.names.push_back({"Print_Area", 0, formula::parseFormula("='Grade book'!$B$5:$H$19", names), true});
    wb.names.push_back(
        {"Print_Titles", 0, formula::parseFormula("='Grade book'!$B:$B,'Grade book'!$12:$12", names), true});
    return wb;
}

} // namespace minitemplate
