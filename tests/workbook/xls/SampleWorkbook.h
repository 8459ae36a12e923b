#pragma once

#include "workbook/formula/Parser.h"
#include "workbook/sheet/Workbook.h"

#include <string>

namespace markwell::test {

// A workbook that uses everything the .xls layer must carry: a gradebook-like sheet with fonts,
// fills, borders, number formats, merges, names, comments, widths, heights and page set-up, and
// a second sheet referring to the first. Cached results are filled in by hand (they are what a
// spreadsheet program computes for these cells).
inline sheet::Workbook sampleWorkbook() {
    using namespace markwell::sheet;
    Workbook wb;
    wb.sheets.resize(2);
    wb.sheets[0].name = "Grade book";
    wb.sheets[1].name = "Notes ü";
    Sheet& s = wb.sheets[0];

    CellFormat base = wb.formats[0];
    base.font.name = "Century Gothic";
    base.font.heightTwips = 180;
    const std::uint32_t plain = wb.addFormat(base);
    CellFormat dark = base;
    dark.fill = 0xA75A45;
    dark.font.colour = 0xFFFFFF;
    dark.font.bold = true;
    dark.left = dark.right = dark.top = dark.bottom = Border{BorderStyle::Thin, 0x000000};
    const std::uint32_t darkF = wb.addFormat(dark);
    CellFormat grey = base;
    grey.fill = 0xEAEAEA;
    grey.numberFormat = "0.00%";
    grey.left = Border{BorderStyle::Thin, 0x000000};
    grey.bottom = Border{BorderStyle::Medium, 0x333399};
    const std::uint32_t greyPct = wb.addFormat(grey);
    CellFormat cream = base;
    cream.fill = 0xFDF8EC;
    cream.numberFormat = "0";
    cream.halign = HAlign::Center;
    cream.valign = VAlign::Center;
    const std::uint32_t creamF = wb.addFormat(cream);
    CellFormat white = base;
    white.fill = 0xFFFFFF;
    const std::uint32_t whiteF = wb.addFormat(white);
    CellFormat big = base;
    big.font.heightTwips = 440;
    big.wrap = true;
    big.font.italic = true;
    big.font.underline = true;
    big.numberFormat = "0.00";
    big.halign = HAlign::Left;
    big.valign = VAlign::Top;
    big.indent = 2;
    const std::uint32_t bigF = wb.addFormat(big);
    CellFormat custom = base;
    custom.numberFormat = "#,##0.000;[Red]-#,##0.000";
    custom.locked = false;
    custom.font.strike = true;
    custom.rotation = 90;
    const std::uint32_t customF = wb.addFormat(custom);
    CellFormat pct = base;
    pct.numberFormat = "0%";
    const std::uint32_t pctF = wb.addFormat(pct);

    auto put = [&](const char* a1, Value v, std::uint32_t f, const char* formula = nullptr) {
        const auto ref = parseA1(a1).value();
        Cell c;
        c.value = std::move(v);
        c.format = f;
        if (formula) {
            formula::ParseOptions o;
            o.workbook = &wb;
            c.formula = formula::parseFormula(formula, o);
        }
        s.setCell(ref.pos.row, ref.pos.col, std::move(c));
    };
    const double bounds[] = {0, 0.6, 0.63, 0.67, 0.7, 0.73, 0.77, 0.8, 0.83, 0.87, 0.9, 0.93, 0.97};
    const char* letters[] = {"F", "D-", "D", "D+", "C-", "C", "C+", "B-", "B", "B+", "A-", "A", "A+"};
    for (int i = 0; i < 13; ++i) {
        s.setCell(1, 4 + i, Cell{Value(bounds[i]), nullptr, pctF});
        s.setCell(2, 4 + i, Cell{Value(letters[i]), nullptr, plain});
    }
    put("B5", Value("Your School Name"), bigF);
    put("D6", Value("Assignment or Test Name"), darkF);
    put("G6", Value("Quiz 1"), creamF);
    put("H6", Value(""), creamF);
    put("G7", Value(20), creamF);
    put("H7", Value(1e100), creamF);
    put("I7", Value(-0.015), customF);
    put("J7", Value(123456789.125), creamF);
    put("H9", Value(1), plain, "=COUNTA(G6:K6)");
    put("H10", Value(20), plain, "=SUM(G7:K7)");
    put("G12", Value("Quiz 1"), plain, "=IF(OR(G6,G6>\"\"),G6,\"\")");
    put("H12", Value(""), plain, "=IF(OR(H6,H6>\"\"),H6,\"\")");
    put("D13", Value(0.75), greyPct, "=(IF(SUM(G13:K13),ROUND(SUM(G13:K13)/$H$10,2),\"\"))");
    put("E13", Value("C+"), plain, "=IF(D13<>\"\",HLOOKUP(D13,GradeTable,2),\"\")");
    put("F13", Value(sheet::ErrorCode::Div0), plain, "=1/0");
    put("G13", Value(15), creamF);
    put("D17", Value(true), plain, "=AND(TRUE,NOT(FALSE),-2^2=4,10%<1,\"a\"&\"b\"=\"ab\",1<=2,3>=3,2>1,+1<>2)");
    put("E17", Value(0.75), plain, "=IF(SUM(D12:D15),AVERAGE(D12:D15),\"\")");
    put("F17", Value(15), plain, "=MAX(G13:G14)+MIN(G13,G14)-COUNT(G13:K14)+VLOOKUP(1,E2:Q4,2,FALSE)*0");
    put("G17", Value(std::string(300, 'x')), plain, "=REPT(\"x\",300)");
    put("H17", Value(sheet::ErrorCode::NA), plain, "=NA()");
    put("I17", Value(sheet::ErrorCode::Ref), plain, "=#REF!+1");
    put("J17", Value(false), plain);
    put("K17", Value(sheet::ErrorCode::Value), plain);
    put("L17", Value("Grüße – αβγ 😀"), plain);
    std::string longText;
    for (int i = 0; i < 700; ++i) {
        longText += "Student " + std::to_string(i) + " ";
    }
    put("M17", Value(longText), plain);
    put("N17", Value(longText + "é"), plain, "=\"\"");
    put("O17", Value("none"), plain, "=IFERROR(1/0,\"none\")");
    // Styled empty cells (white fill, no value).
    for (int c = 17; c <= 32; ++c) {
        s.setCell(1, c, Cell{Value(), nullptr, whiteF});
    }
    put("C5", Value(), whiteF);

    s.merged = {Area{{4, 1}, {6, 2}}, Area{{8, 3}, {8, 6}}};
    s.comments.push_back(
        Comment{{11, 3}, "Average equals Total Points divided by Total Possible Points\n", "Markwell", false});
    s.comments.push_back(Comment{{11, 4},
                                 "Note that the GradeTable referred to in the formula in this column is the table of "
                                 "grades found at the top of this sheet.",
                                 "",
                                 true});
    s.columnInfo(0).width256 = 438;
    s.columnInfo(1).width256 = 37 * 256;
    for (int c = 3; c <= 5; ++c) {
        s.columnInfo(c).width256 = 2486;
    }
    s.columnInfo(7).hidden = true;
    s.columnInfo(7).width256 = 2340;
    s.columnInfo(8).width256 = 2340;
    s.columnInfo(8).format = greyPct;
    s.rowInfo(0).heightTwips = 195;
    s.rowInfo(14).heightTwips = 90;
    s.rowInfo(20).hidden = true; // a row with information and no cells
    s.rowInfo(21).format = creamF;
    s.rowInfo(21).heightTwips = 300;
    s.defaultRowHeightTwips = 259;
    s.defaultColumnWidth = 9;
    s.showGridlines = false;
    s.activeCell = CellPos{4, 1};
    s.selected = true;
    s.pageSetup.left = s.pageSetup.right = s.pageSetup.top = 0.5;
    s.pageSetup.bottom = 0.75;
    s.pageSetup.footerText = "Page &P of &N";
    s.pageSetup.headerText = "&C&\"Arial,Bold\"Grades";

    Sheet& t = wb.sheets[1];
    t.pageSetup.portrait = false;
    t.pageSetup.scale = 85;
    t.pageSetup.paperSize = 9;
    {
        formula::ParseOptions o;
        o.workbook = &wb;
        t.setCell(0, 0, Cell{Value(15), formula::parseFormula("='Grade book'!G13", o), 0});
        t.setCell(1, 0, Cell{Value(35), formula::parseFormula("=SUM('Grade book'!G7:G13)", o), 0});
        t.setCell(2, 0, Cell{Value("C+"), formula::parseFormula("=HLOOKUP(0.75,GradeTable,2)", o), 0});
    }

    formula::ParseOptions names;
    names.workbook = &wb;
    names.allowUnion = true;
    wb.names.push_back(DefinedName{"GradeTable", -1, formula::parseFormula("='Grade book'!$E$2:$Q$4", names), false});
    wb.names.push_back(DefinedName{"Print_Area", 0, formula::parseFormula("='Grade book'!$B$5:$H$19", names), true});
    wb.names.push_back(
        DefinedName{"Print_Titles", 0, formula::parseFormula("='Grade book'!$B:$B,'Grade book'!$12:$12", names), true});
    wb.names.push_back(DefinedName{"Local", 1, formula::parseFormula("='Notes ü'!$A$1", names), false});
    wb.activeSheet = 0;
    return wb;
}

} // namespace markwell::test
