// Host operations for texts kept as typed, the print area, and array formulas, which are
// changed only as a whole.

#include "workbook/host/EmbeddedHost.h"

#include "gradebook/TemplateBytes.h"
#include "workbook/formula/Printer.h"
#include "workbook/sheet/Workbook.h"
#include "workbook/xls/XlsReader.h"

#include "TempDir.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

namespace {

QString failureOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const HostError& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

std::string printArea(const sheet::Workbook& book) {
    const sheet::DefinedName* n = book.findName("Print_Area", 0);
    return n ? formula::printExpression(n->refersTo, &book) : std::string("(none)");
}

} // namespace

// setText keeps what it is given as text: numbers, leading zeros and formulas alike.
TEST(HostTexts, TextsStayTextsAndThePrintAreaIsSet) {
    test::TempDir dir;
    dir.write(u"template.xlt"_s, templateWorkbook());
    EmbeddedHost host;
    HostWorkbook wb = host.Workbooks().Open(dir.file(u"template.xlt"_s), nullptr, true);
    host.Cells(6, 7).setText(u"2016"_s);
    host.Cells(6, 8).setText(u"=SUM(1)"_s);
    host.Cells(6, 9).setText(u" 12.5 "_s);
    host.Cells(7, 7).setValue(u"80"_s);
    const sheet::Sheet& s = host.workbookModel(1).sheets[0];
    EXPECT_EQ(s.cell(5, 6)->value, sheet::Value("2016"));
    EXPECT_EQ(s.cell(5, 7)->value, sheet::Value("=SUM(1)"));
    EXPECT_FALSE(s.cell(5, 7)->formula);
    EXPECT_EQ(s.cell(5, 8)->value, sheet::Value(" 12.5 "));
    EXPECT_EQ(s.cell(6, 6)->value, sheet::Value(80));

    EXPECT_EQ(printArea(host.workbookModel(1)), "'Grade book'!$B$5:$K$19");
    wb.Worksheets(1).setPrintArea(u"$B$5:$M$22"_s);
    EXPECT_EQ(printArea(host.workbookModel(1)), "'Grade book'!$B$5:$M$22");
    EXPECT_FALSE(failureOf([&] { wb.Worksheets(1).setPrintArea(u"B5:ZZZ9"_s); }).isEmpty());
    const QString saved = dir.file(u"saved.xls"_s);
    wb.SaveAs(saved, xlExcel8);
    const sheet::Workbook back = xls::readXlsFile(saved.toStdString()).workbook;
    EXPECT_EQ(printArea(back), "'Grade book'!$B$5:$M$22");
    EXPECT_EQ(back.sheets[0].cell(5, 6)->value, sheet::Value("2016"));
}

// A cell of an array formula cannot be given a value of its own, nor can rows be inserted through
// the array; the workbook keeps its array formulas when saved.
TEST(HostTexts, ArrayFormulasChangeOnlyAsAWhole) {
    test::TempDir dir;
    EmbeddedHost host;
    HostWorkbook wb = host.Workbooks().Open(QStringLiteral(MARKWELL_XLS_DATA_DIR) + u"/good/lo_arrays.xls"_s);
    const QString refused = failureOf([&] { host.Cells(2, 6).setValue(u"7"_s); });
    EXPECT_TRUE(refused.contains(u"array formula in F1:F3"_s)) << refused.toStdString();
    EXPECT_FALSE(failureOf([&] { host.Cells(1, 4).setText(u"x"_s); }).isEmpty());
    host.Rows(u"5:5"_s).Select();
    host.Selection().Copy();
    EXPECT_FALSE(failureOf([&] { host.Rows(u"2:2"_s).Insert(xlShiftDown); }).isEmpty());
    host.Cells(1, 1).setValue(u"10"_s); // beside the arrays: allowed
    const QString saved = dir.file(u"saved.xls"_s);
    wb.SaveAs(saved, xlExcel8);
    const sheet::Workbook back = xls::readXlsFile(saved.toStdString()).workbook;
    ASSERT_EQ(back.sheets[0].arrayFormulas.size(), 3u);
    EXPECT_EQ(formula::printFormula(back.sheets[0].arrayFormulas[0].formula, &back), "=SUM(A1:A3*C1:C3)");
}
