// The embedded host: the operations the filling relies on, their failures, and the gathering of
// repeated inserts.

#include "workbook/host/EmbeddedHost.h"

#include "gradebook/TemplateBytes.h"
#include "workbook/formula/Printer.h"
#include "workbook/sheet/Workbook.h"
#include "workbook/xls/XlsReader.h"
#include "workbook/xls/XlsWriter.h"

#include "TempDir.h"

#include <QFile>
#include <QFileInfo>

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

struct Fixture {
    test::TempDir dir;
    QString templatePath;
    Fixture() {
        dir.write(u"template.xlt"_s, templateWorkbook());
        templatePath = dir.file(u"template.xlt"_s);
    }
};

std::string formulaAt(const EmbeddedHost& host, int row, int col) {
    const sheet::Workbook& book = host.workbookModel(1);
    const sheet::Cell* c = book.sheets[0].cell(row - 1, col - 1);
    return c && c->formula ? formula::printFormula(c->formula, &book) : std::string();
}

std::string printArea(const sheet::Workbook& book) {
    const sheet::DefinedName* n = book.findName("Print_Area", 0);
    return n ? formula::printExpression(n->refersTo, &book) : std::string("(none)");
}

void insertBands(EmbeddedHost& host, int bands) {
    for (int j = 0; j < bands; ++j) {
        host.Rows(u"13:14"_s).Select();
        host.Selection().Copy();
        host.Selection().Insert(xlShiftDown);
        host.setCutCopyMode(false);
    }
}

} // namespace

TEST(EmbeddedHost, OpeningFailuresNameTheFileAndTheProblem) {
    test::TempDir dir;
    EmbeddedHost host;
    const QString missing = dir.file(u"missing.xls"_s);
    EXPECT_TRUE(failureOf([&] { host.Workbooks().Open(missing); }).contains(missing));
    dir.write(u"notes.xls"_s, "just some text, not a workbook");
    const QString text = failureOf([&] { host.Workbooks().Open(dir.file(u"notes.xls"_s)); });
    EXPECT_TRUE(text.startsWith(u"The workbook \""_s + dir.file(u"notes.xls"_s) + u"\" could not be opened: "_s))
        << text.toStdString();
    EXPECT_EQ(host.Workbooks().Count(), 0);
    EXPECT_FALSE(failureOf([&] { host.Cells(1, 1).setValue(u"x"_s); }).isEmpty());
}

TEST(EmbeddedHost, AfterQuitEveryOperationFails) {
    Fixture f;
    EmbeddedHost host;
    host.Workbooks().Open(f.templatePath, nullptr, true);
    host.Quit();
    EXPECT_EQ(failureOf([&] { host.Workbooks().Count(); }), u"The spreadsheet engine instance has already quit."_s);
    EXPECT_FALSE(failureOf([&] { host.Version(); }).isEmpty());
}

TEST(EmbeddedHost, TemplateUsedRangeAndVersion) {
    Fixture f;
    EmbeddedHost host;
    HostWorkbook wb = host.Workbooks().Open(f.templatePath, nullptr, true);
    EXPECT_EQ(host.Workbooks().Count(), 1);
    EXPECT_EQ(host.Version(), u"16.0"_s);
    const HostArea used = wb.ActiveSheet().UsedRange().area();
    EXPECT_EQ(used.firstRow, 1);
    EXPECT_EQ(used.firstColumn, 2);
    EXPECT_EQ(used.lastRow, 19);
    EXPECT_EQ(used.lastColumn, 33); // AG
    // A value beyond it widens the used range the next time it is asked for.
    host.Cells(25, 40).setValue(u"x"_s);
    const HostArea wider = wb.ActiveSheet().UsedRange().area();
    EXPECT_EQ(wider.lastRow, 25);
    EXPECT_EQ(wider.lastColumn, 40);
}

TEST(EmbeddedHost, ValuesBecomeNumbersOnlyWithoutLoss) {
    Fixture f;
    EmbeddedHost host;
    host.Workbooks().Open(f.templatePath, nullptr, true);
    host.Cells(13, 3).setValue(u"00123"_s);
    host.Cells(13, 7).setValue(u"80"_s);
    host.Cells(13, 2).setValue(u"=1+1"_s);
    host.Cells(14, 3).setValue(u"E16-28"_s);
    const sheet::Sheet& s = host.workbookModel(1).sheets[0];
    EXPECT_EQ(s.cell(12, 2)->value.text(), "00123");
    EXPECT_EQ(s.cell(12, 6)->value.number(), 80.0);
    EXPECT_EQ(s.cell(12, 1)->value.text(), "=1+1");
    EXPECT_TRUE(s.cell(12, 1)->formula == nullptr);
    EXPECT_EQ(s.cell(13, 2)->value.text(), "E16-28");
}

TEST(EmbeddedHost, InsertNeedsSomethingCopied) {
    Fixture f;
    EmbeddedHost host;
    host.Workbooks().Open(f.templatePath, nullptr, true);
    host.Rows(u"13:14"_s).Select();
    EXPECT_EQ(failureOf([&] { host.Selection().Insert(xlShiftDown); }),
              u"Nothing has been copied, so nothing can be inserted."_s);
    host.Selection().Copy();
    host.setCutCopyMode(false);
    EXPECT_FALSE(failureOf([&] { host.Selection().Insert(xlShiftDown); }).isEmpty());
}

TEST(EmbeddedHost, GatheredBandInsertsEqualSingleOnes) {
    Fixture f;
    EmbeddedHost gathered;
    gathered.Workbooks().Open(f.templatePath, nullptr, true);
    insertBands(gathered, 3);
    EXPECT_EQ(formulaAt(gathered, 23, 4), "=IF(SUM(D12:D21),AVERAGE(D12:D21),\"\")");

    // The same inserts, each made to happen before the next by a read in between.
    EmbeddedHost single;
    single.Workbooks().Open(f.templatePath, nullptr, true);
    for (int j = 0; j < 3; ++j) {
        insertBands(single, 1);
        (void)single.ActiveWorkbook().ActiveSheet().UsedRange();
    }
    const sheet::Sheet& a = gathered.workbookModel(1).sheets[0];
    const sheet::Sheet& b = single.workbookModel(1).sheets[0];
    ASSERT_EQ(a.lastRow(), b.lastRow());
    for (int row = 1; row <= a.lastRow() + 1; ++row) {
        for (int col = 1; col <= 33; ++col) {
            EXPECT_EQ(formulaAt(gathered, row, col), formulaAt(single, row, col)) << row << "," << col;
        }
    }
}

TEST(EmbeddedHost, ColumnCopiesWidenTheTestBlock) {
    Fixture f;
    EmbeddedHost host;
    host.Workbooks().Open(f.templatePath, nullptr, true);
    for (int i = 0; i < 2; ++i) {
        host.Range(u"J6:J19"_s).Select();
        host.Selection().Copy();
        host.Range(u"J6"_s).Select();
        host.Selection().Insert(xlShiftToRight);
        host.setCutCopyMode(false);
    }
    EXPECT_EQ(formulaAt(host, 9, 8), "=COUNTA(G6:M6)");
    EXPECT_EQ(formulaAt(host, 13, 4), "=(IF(SUM(G13:M13),ROUND(SUM(G13:M13)/$H$10,2),\"\"))");
}

TEST(EmbeddedHost, SavedWorkbookReopensWithItsValues) {
    Fixture f;
    const QString out = f.dir.file(u"result.xls"_s);
    {
        EmbeddedHost host;
        HostWorkbook wb = host.Workbooks().Open(f.templatePath, nullptr, true);
        host.Cells(7, 7).setValue(u"50"_s);
        host.Cells(13, 7).setValue(u"45"_s);
        host.Cells(7, 7).Select();
        wb.SaveAs(out, xlExcel8);
        wb.Close();
        EXPECT_EQ(host.Workbooks().Count(), 0);
        host.Quit();
    }
    EmbeddedHost again;
    HostWorkbook wb = again.Workbooks().Open(out);
    const sheet::Sheet& s = again.workbookModel(wb.index()).sheets[0];
    EXPECT_DOUBLE_EQ(s.cell(12, 3)->value.number(), 0.9); // 45 / 50
    EXPECT_EQ(s.cell(12, 4)->value.text(), "A-");
    EXPECT_EQ(s.activeCell, (sheet::CellPos{6, 6})); // G7, the last cell selected
    EXPECT_FALSE(failureOf([&] { wb.SaveAs(f.dir.file(u"x.xls"_s), 51); }).isEmpty());
}

// The save goes to a file reserved for it beforehand; whatever is put in that file's place
// meanwhile (a link to someone's file) is replaced, never written through, and a device is refused.
TEST(EmbeddedHost, TheSaveNeverWritesThroughALinkSwappedInForTheReservedFile) {
    Fixture f;
    test::TempDir elsewhere;
    elsewhere.write(u"precious.xls"_s, "not to be touched");
    const QString reserved = f.dir.file(u"qvtemp12345678.xls"_s);
    f.dir.write(u"qvtemp12345678.xls"_s, "");
    ASSERT_TRUE(QFile::remove(reserved));
    ASSERT_TRUE(QFile::link(elsewhere.file(u"precious.xls"_s), reserved));

    EmbeddedHost host;
    HostWorkbook wb = host.Workbooks().Open(f.templatePath, nullptr, true);
    wb.SaveAs(reserved, xlExcel8);
    EXPECT_EQ(elsewhere.read(u"precious.xls"_s), QByteArray("not to be touched"));
    EXPECT_FALSE(QFileInfo(reserved).isSymLink());
    EXPECT_TRUE(f.dir.read(u"qvtemp12345678.xls"_s).startsWith("\xD0\xCF\x11\xE0")); // the workbook itself
    const QString pipe = f.dir.file(u"pipe.xls"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_TRUE(failureOf([&] { wb.SaveAs(pipe, xlExcel8); }).contains(u"not a file"_s));
}

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

// A workbook this engine recalculated and saved is marked so, and opens with the results it holds;
// any other workbook, and this one once changed, is recalculated before its results are used.
TEST(EmbeddedHost, OnlyItsOwnCurrentResultsAreTakenWithoutARecalculation) {
    Fixture f;
    const QString saved = f.dir.file(u"saved.xls"_s);
    {
        EmbeddedHost host;
        HostWorkbook wb = host.Workbooks().Open(f.templatePath, nullptr, true);
        host.Cells(7, 7).setValue(u"50"_s);
        host.Cells(13, 7).setValue(u"45"_s);
        wb.SaveAs(saved, xlExcel8);
        host.Quit();
    }
    auto readModel = [&](const QString& name) {
        const QByteArray bytes = f.dir.read(name);
        return xls::readXls(xls::ByteView(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                          static_cast<std::size_t>(bytes.size())))
            .workbook;
    };
    sheet::Workbook model = readModel(u"saved.xls"_s);
    ASSERT_TRUE(model.resultsCurrent);
    ASSERT_DOUBLE_EQ(model.sheets[0].cell(12, 3)->value.number(), 0.9);
    // The template itself, written without the mark, is not taken on trust.
    EXPECT_FALSE(readModel(u"template.xlt"_s).resultsCurrent);

    // The same file with a wrong stored average, once with the mark and once without.
    model.sheets[0].cellAt(12, 3).value = sheet::Value(0.5);
    auto writeModel = [&](const QString& name, bool current) {
        model.resultsCurrent = current;
        const xls::Bytes bytes = xls::writeXls(model);
        f.dir.write(name,
                    QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
    };
    writeModel(u"marked.xls"_s, true);
    writeModel(u"foreign.xls"_s, false);
    EXPECT_FALSE(readModel(u"foreign.xls"_s).resultsCurrent);

    auto averageAfterSaving = [&](const QString& name, const std::function<void(EmbeddedHost&)>& change) {
        EmbeddedHost host;
        HostWorkbook wb = host.Workbooks().Open(f.dir.file(name));
        change(host);
        wb.SaveAs(f.dir.file(u"again.xls"_s), xlExcel8);
        host.Quit();
        return readModel(u"again.xls"_s).sheets[0].cell(12, 3)->value.number();
    };
    EXPECT_DOUBLE_EQ(averageAfterSaving(u"marked.xls"_s, [](EmbeddedHost&) {}), 0.5);
    EXPECT_DOUBLE_EQ(averageAfterSaving(u"foreign.xls"_s, [](EmbeddedHost&) {}), 0.9);
    EXPECT_DOUBLE_EQ(averageAfterSaving(u"marked.xls"_s, [](EmbeddedHost& h) { h.Cells(7, 7).setValue(u"60"_s); }),
                     0.75);
}
