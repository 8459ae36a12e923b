#include "SampleWorkbook.h"

#include "workbook/formula/Printer.h"
#include "workbook/xls/XlsReader.h"
#include "workbook/xls/XlsWriter.h"

#include <gtest/gtest.h>

using namespace markwell;
using namespace markwell::xls;

namespace {

std::string describeFormat(const sheet::CellFormat& f) {
    std::string s = f.font.name + " " + std::to_string(f.font.heightTwips) + (f.font.bold ? " bold" : "") +
                    (f.font.italic ? " italic" : "") + " colour " + std::to_string(f.font.colour) + " '" +
                    f.numberFormat + "'";
    if (f.fill) {
        s += " fill " + std::to_string(*f.fill);
    }
    return s;
}

void expectSameSheet(const sheet::Workbook& wa, const sheet::Workbook& wb, std::size_t index) {
    const sheet::Sheet& a = wa.sheets[index];
    const sheet::Sheet& b = wb.sheets[index];
    SCOPED_TRACE("sheet " + a.name);
    EXPECT_EQ(a.name, b.name);
    int cells = 0;
    a.forEachCell([&](int row, int col, const sheet::Cell& ca) {
        ++cells;
        const std::string where = sheet::toA1(sheet::CellPos{row, col});
        const sheet::Cell* cb = b.cell(row, col);
        ASSERT_NE(cb, nullptr) << where;
        EXPECT_EQ(ca.value, cb->value) << where << ": " << ca.value.describe() << " vs " << cb->value.describe();
        EXPECT_EQ(ca.formula != nullptr, cb->formula != nullptr) << where;
        if (ca.formula && cb->formula) {
            EXPECT_TRUE(formula::sameTree(ca.formula, cb->formula))
                << where << ": " << formula::printFormula(ca.formula, &wa) << " came back as "
                << formula::printFormula(cb->formula, &wb);
        }
        EXPECT_EQ(wa.formats[ca.format], wb.formats[cb->format])
            << where << ": " << describeFormat(wa.formats[ca.format]) << " vs "
            << describeFormat(wb.formats[cb->format]);
    });
    int cellsB = 0;
    b.forEachCell([&](int, int, const sheet::Cell&) { ++cellsB; });
    EXPECT_EQ(cells, cellsB);

    for (int row = 0; row <= std::max(a.lastRowWithInfo(), b.lastRowWithInfo()); ++row) {
        const sheet::RowInfo* ra = a.rowInfoAt(row);
        const sheet::RowInfo* rb = b.rowInfoAt(row);
        const sheet::RowInfo none;
        const sheet::RowInfo& x = ra ? *ra : none;
        const sheet::RowInfo& y = rb ? *rb : none;
        EXPECT_EQ(x.heightTwips, y.heightTwips) << "row " << row + 1;
        EXPECT_EQ(x.hidden, y.hidden) << "row " << row + 1;
        EXPECT_EQ(x.format.has_value(), y.format.has_value()) << "row " << row + 1;
        if (x.format && y.format) {
            EXPECT_EQ(wa.formats[*x.format], wb.formats[*y.format]) << "row " << row + 1;
        }
    }
    for (int col = 0; col < 256; ++col) {
        const sheet::ColumnInfo* ca = a.columnInfoAt(col);
        const sheet::ColumnInfo* cb = b.columnInfoAt(col);
        if (!ca || !ca->width256) {
            continue;
        }
        ASSERT_NE(cb, nullptr) << "column " << col;
        EXPECT_EQ(ca->width256, cb->width256) << "column " << col;
        EXPECT_EQ(ca->hidden, cb->hidden) << "column " << col;
        if (ca->format) {
            ASSERT_TRUE(cb->format) << "column " << col;
            EXPECT_EQ(wa.formats[*ca->format], wb.formats[*cb->format]);
        }
    }
    EXPECT_EQ(a.merged, b.merged);
    ASSERT_EQ(a.comments.size(), b.comments.size());
    for (std::size_t i = 0; i < a.comments.size(); ++i) {
        EXPECT_EQ(a.comments[i].pos, b.comments[i].pos);
        EXPECT_EQ(a.comments[i].text, b.comments[i].text);
        EXPECT_EQ(a.comments[i].author, b.comments[i].author);
        EXPECT_EQ(a.comments[i].visible, b.comments[i].visible);
    }
    const sheet::PageSetup &pa = a.pageSetup, &pb = b.pageSetup;
    EXPECT_EQ(pa.paperSize, pb.paperSize);
    EXPECT_EQ(pa.portrait, pb.portrait);
    EXPECT_EQ(pa.scale, pb.scale);
    EXPECT_EQ(pa.left, pb.left);
    EXPECT_EQ(pa.right, pb.right);
    EXPECT_EQ(pa.top, pb.top);
    EXPECT_EQ(pa.bottom, pb.bottom);
    EXPECT_EQ(pa.header, pb.header);
    EXPECT_EQ(pa.footer, pb.footer);
    EXPECT_EQ(pa.headerText, pb.headerText);
    EXPECT_EQ(pa.footerText, pb.footerText);
    EXPECT_EQ(a.showGridlines, b.showGridlines);
    EXPECT_EQ(a.defaultRowHeightTwips, b.defaultRowHeightTwips);
    EXPECT_EQ(a.defaultColumnWidth, b.defaultColumnWidth);
    EXPECT_EQ(a.activeCell, b.activeCell);
}

} // namespace

// Everything the model holds survives write -> read; and writing what was read gives the same
// bytes again (the writer is deterministic and the reader loses nothing it writes).
TEST(XlsRoundTrip, EveryFeatureComesBack) {
    const sheet::Workbook wb = test::sampleWorkbook();
    const Bytes bytes = writeXls(wb);
    const ReadResult back = readXls(bytes);
    EXPECT_TRUE(back.warnings.empty()) << back.warnings.front();
    ASSERT_EQ(back.workbook.sheets.size(), wb.sheets.size());
    for (std::size_t i = 0; i < wb.sheets.size(); ++i) {
        expectSameSheet(wb, back.workbook, i);
    }
    EXPECT_EQ(back.workbook.activeSheet, wb.activeSheet);
    EXPECT_TRUE(back.workbook.sheets[0].selected);
    ASSERT_EQ(back.workbook.names.size(), wb.names.size());
    for (std::size_t i = 0; i < wb.names.size(); ++i) {
        const auto& a = wb.names[i];
        const auto& b = back.workbook.names[i];
        EXPECT_EQ(a.name, b.name);
        EXPECT_EQ(a.scopeSheet, b.scopeSheet) << a.name;
        EXPECT_EQ(a.builtin, b.builtin) << a.name;
        EXPECT_TRUE(formula::sameTree(a.refersTo, b.refersTo))
            << a.name << ": " << formula::printFormula(a.refersTo, &wb) << " came back as "
            << formula::printFormula(b.refersTo, &back.workbook);
    }
    EXPECT_EQ(writeXls(back.workbook), bytes);
}

TEST(XlsRoundTrip, EmptyAndMinimalWorkbooks) {
    sheet::Workbook wb;
    wb.sheets.resize(1);
    wb.sheets[0].name = "Sheet1";
    const ReadResult back = readXls(writeXls(wb));
    ASSERT_EQ(back.workbook.sheets.size(), 1u);
    EXPECT_EQ(back.workbook.sheets[0].lastRow(), -1);
    EXPECT_EQ(back.workbook.formats.size(), 1u);
}

// Functions outside the BIFF8 table travel as add-in calls, newer ones under "_xlfn.".
TEST(XlsRoundTrip, AddInAndNewerFunctions) {
    sheet::Workbook wb;
    wb.sheets.resize(1);
    wb.sheets[0].name = "F";
    const char* formulas[] = {"=IFERROR(1/0,\"none\")", "=SUMIFS(A1:A3,B1:B3,\">1\")+IFERROR(2,3)",
                              "=NOSUCHFUNCTION(1,A1)"};
    int row = 0;
    for (const char* f : formulas) {
        wb.sheets[0].setCell(row++, 3, sheet::Cell{sheet::Value(0), formula::parseFormula(f), 0});
    }
    const ReadResult back = readXls(writeXls(wb));
    row = 0;
    for (const char* f : formulas) {
        const sheet::Cell* c = back.workbook.sheets[0].cell(row++, 3);
        ASSERT_TRUE(c && c->formula) << f;
        EXPECT_EQ(formula::printFormula(c->formula), f);
    }
}

// Numbers take the shortest exact record (RK, else NUMBER) and must come back bit for bit.
TEST(XlsRoundTrip, NumbersAreExact) {
    const double values[] = {0.0,      -0.0,   1.0,    -1.0,     536870911.0, -536870912.0, 536870912.0,
                             0.1,      0.01,   1.23,   -4.56,    1e-300,      1e300,        3.14159265358979,
                             12345.67, -0.005, 2.5e-5, 1.0 / 3.0};
    sheet::Workbook wb;
    wb.sheets.resize(1);
    wb.sheets[0].name = "N";
    int row = 0;
    for (double v : values) {
        wb.sheets[0].setCell(row++, 0, sheet::Cell{sheet::Value(v), nullptr, 0});
    }
    // Non-finite numbers cannot be stored as numbers: they become #NUM!.
    wb.sheets[0].setCell(row, 0, sheet::Cell{sheet::Value(std::numeric_limits<double>::quiet_NaN()), nullptr, 0});
    const ReadResult back = readXls(writeXls(wb));
    row = 0;
    for (double v : values) {
        const sheet::Cell* c = back.workbook.sheets[0].cell(row++, 0);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(c->value.number()), std::bit_cast<std::uint64_t>(v)) << v;
    }
    EXPECT_EQ(back.workbook.sheets[0].cell(row, 0)->value, sheet::Value(sheet::ErrorCode::Num));
}

// What the format cannot hold is refused with a message, never written wrongly.
TEST(XlsRoundTrip, InexpressibleWorkbooksAreRefused) {
    auto refused = [](const sheet::Workbook& wb, const std::string& fragment) {
        try {
            writeXls(wb);
            ADD_FAILURE() << "written: " << fragment;
        } catch (const XlsError& e) {
            EXPECT_EQ(e.kind(), XlsErrorKind::Unsupported);
            EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
        }
    };
    sheet::Workbook wb;
    refused(wb, "at least one sheet");
    wb.sheets.resize(1);
    wb.sheets[0].name = std::string(32, 'a');
    refused(wb, "cannot be used");
    wb.sheets[0].name = "a[1]";
    refused(wb, "cannot be used");
    wb.sheets[0].name = "Same";
    wb.sheets.push_back(wb.sheets[0]);
    wb.sheets[1].name = "SAME";
    refused(wb, "Two sheets");
    wb.sheets.pop_back();
    wb.sheets[0].merged.push_back(sheet::Area{{3, 3}, {2, 2}});
    refused(wb, "merged range");
    wb.sheets[0].merged.clear();
    wb.sheets[0].comments.push_back(sheet::Comment{{70000, 0}, "x", "", false});
    refused(wb, "comment");
    wb.sheets[0].comments.clear();
    wb.sheets[0].setCell(0, 0, sheet::Cell{sheet::Value(0), formula::parseFormula("=ROUND(1)"), 0});
    refused(wb, "ROUND");
    wb.sheets[0].setCell(0, 0, sheet::Cell{sheet::Value(0), formula::parseFormula("=Undefined+1"), 0});
    refused(wb, "Undefined");
    wb.sheets[0].setCell(0, 0, sheet::Cell{sheet::Value(std::string(40000, 'x')), nullptr, 0});
    refused(wb, "32767");
}

// Formulas read back share their identical parts: within one formula, between the formulas of a
// row, and the parts without relative references between rows. What they say is unchanged.
TEST(XlsRoundTrip, FormulasShareTheirIdenticalParts) {
    sheet::Workbook wb;
    wb.sheets.emplace_back();
    wb.sheets[0].name = "Sheet1";
    const std::vector<std::string> texts = {"IF(SUM(B1:C1),SUM(B1:C1)/$D$1,\"\")",
                                            "IF(SUM(B2:C2),SUM(B2:C2)/$D$1,\"\")", "IF(A1<>\"\",A1*2,\"\")",
                                            "IF(A1<>\"\",A1*3,\"\")"};
    const std::vector<sheet::CellPos> places = {{0, 0}, {1, 0}, {0, 4}, {0, 5}};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        wb.sheets[0].cellAt(places[i].row, places[i].col).formula = formula::parseFormula("=" + texts[i]);
    }
    const sheet::Workbook back = readXls(writeXls(wb)).workbook;
    const auto tree = [&](std::size_t i) { return back.sheets[0].cell(places[i].row, places[i].col)->formula; };
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(formula::printFormula(tree(i), &back), "=" + texts[i]);
    }
    const auto& a1 = tree(0)->args;
    EXPECT_EQ(a1[0], a1[1]->args[0]);                     // SUM(B1:C1) twice in A1
    EXPECT_EQ(a1[1]->args[1], tree(1)->args[1]->args[1]); // $D$1 in A1 and A2
    EXPECT_NE(a1[0], tree(1)->args[0]);                   // SUM(B1:C1) is not SUM(B2:C2)
    EXPECT_EQ(tree(2)->args[0], tree(3)->args[0]);        // A1<>"" in E1 and F1
}
