// "Create Template" on the embedded engine, as the saved workbook reads in our reader, xlrd and
// LibreOffice: test names stay text, the print area covers the whole filled table, and the
// workbook's own font is the template's.

#include "FillFixture.h"

#include "gradebook/template/FilledLayout.h"
#include "workbook/formula/Printer.h"
#include "workbook/xls/XlsWriter.h"

#include "ExternalReaders.h"

#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace markwell;
using namespace Qt::Literals::StringLiterals;
using markwell::test::FillFixture;

namespace {

sheet::Value at(const sheet::Workbook& book, const char* a1) {
    const auto ref = sheet::parseA1(a1);
    const sheet::Cell* c = book.sheets.at(0).cell(ref->pos.row, ref->pos.col);
    return c ? c->value : sheet::Value();
}

std::string printArea(const sheet::Workbook& book) {
    const sheet::DefinedName* n = book.findName("Print_Area", 0);
    return n && n->scopeSheet == 0 ? formula::printExpression(n->refersTo, &book) : std::string("(none)");
}

// Tests named like numbers (and like a formula) and one without a name; two students, points on the first only.
GradebookSetup numberNamedTests() {
    GradebookSetup s;
    s.options = {u"School"_s, u"Teacher"_s, u"Class"_s, u"2016"_s};
    s.tests = {{u"1"_s, u"10"_s}, {u"2"_s, u"10"_s}, {u"2016"_s, u"10"_s}, {u"=SUM(5)"_s, u"10"_s}, {{}, u"10"_s}};
    s.students = {{u"Ann"_s, u"00123"_s, {u"8"_s}}, {u"Ben"_s, u"E16-28"_s, {u"6"_s}}};
    s.pointsCount = 1;
    return s;
}

} // namespace

// Test names are headers: a name that reads as a number is written as text, so the row-12 echo
// and the class summary (rows 17 to 19, whose ranges start at row 12) leave it out. A test without
// a name leaves its heading empty: the count of tests (H9) passes it over.
TEST(FilledGradebook, TestNamesAreTextAndTakeNoPartInTheSummary) {
    FillFixture run;
    const sheet::Workbook book = run.fill(numberNamedTests());
    ASSERT_TRUE(run.prompt.shown().empty()) << run.prompt.messageTexts().join(u"\n"_s).toStdString();
    EXPECT_EQ(at(book, "G6"), sheet::Value("1"));
    EXPECT_EQ(at(book, "H6"), sheet::Value("2"));
    EXPECT_EQ(at(book, "I6"), sheet::Value("2016"));
    EXPECT_EQ(at(book, "J6"), sheet::Value("=SUM(5)"));
    EXPECT_FALSE(book.sheets[0].cell(5, 9)->formula) << "a name starting with = is no formula";
    EXPECT_EQ(at(book, "H9"), sheet::Value(4)); // COUNTA counts the names all the same
    EXPECT_EQ(at(book, "G12"), sheet::Value("1"));
    // Test "1": scores 8 and 6.
    EXPECT_EQ(at(book, "G17"), sheet::Value(7));
    EXPECT_EQ(at(book, "G18"), sheet::Value(8));
    EXPECT_EQ(at(book, "G19"), sheet::Value(6));
    // Test "2" was not taken: its summary stays empty.
    for (const char* a1 : {"H17", "H18", "H19", "I17", "J19"}) {
        EXPECT_EQ(at(book, a1), sheet::Value("")) << a1;
    }
    // Points and possible points are still numbers; so are IDs that convert without loss.
    EXPECT_EQ(at(book, "G7"), sheet::Value(10));
    EXPECT_EQ(at(book, "C13"), sheet::Value("00123"));
}

// The print area grows with the table: B5 to the last column of the test block and the last row
// of the class summary, whatever the numbers of tests and students.
TEST(FilledGradebook, PrintAreaCoversTheWholeFilledTable) {
    const std::pair<int, int> classes[] = {{0, 0}, {2, 1}, {5, 2}, {6, 3}, {7, 5}, {12, 4}};
    for (const auto& [tests, students] : classes) {
        SCOPED_TRACE(std::to_string(tests) + " tests, " + std::to_string(students) + " students");
        FillFixture run;
        const sheet::Workbook book = run.fill(test::classOf(tests, students));
        const std::string last = sheet::columnName(static_cast<int>(gradetemplate::lastTestColumn(tests)) - 1);
        const int lastRow = static_cast<int>(gradetemplate::lastSummaryRow(students));
        EXPECT_EQ(printArea(book), "'Grade book'!$B$5:$" + last + "$" + std::to_string(lastRow));
        // The last summary row is the one with the lowest scores, the last test column holds a test
        // (or the last of the five columns the block keeps).
        EXPECT_EQ(test::cellText(book.sheets[0], lastRow, 2), " Lowest Score");
        EXPECT_EQ(test::cellFormula(book, book.sheets[0], 12, static_cast<int>(gradetemplate::lastTestColumn(tests))),
                  "=IF(OR(" + last + "6," + last + "6>\"\")," + last + "6,\"\")");
    }
    EXPECT_EQ(gradetemplate::filledPrintArea(7, 5), "$B$5:$M$22");
    EXPECT_EQ(gradetemplate::filledPrintArea(250, 1), "$B$5:$IV$18");
}

// The workbook's own font, which unstyled cells show, is the template's Century Gothic: in our
// reader, in xlrd and in LibreOffice's default cell style. LibreOffice also prints the whole table
// and, recalculating everything, agrees on the summary and the count of the named tests.
TEST(FilledGradebook, OtherProgramsSeeTheFontThePrintAreaAndTheSummary) {
    FillFixture run;
    const sheet::Workbook book = run.fill(numberNamedTests());
    EXPECT_EQ(book.formats.front().font.name, "Century Gothic");
    EXPECT_EQ(book.formats.front().font.heightTwips, 200);
    const xls::Bytes stale = xls::writeXls(test::withStaleResults(book));
    run.work.write(u"class.xls"_s,
                   QByteArray(reinterpret_cast<const char*>(stale.data()), static_cast<qsizetype>(stale.size())));
    const QString file = run.work.file(u"class.xls"_s);

    if (const QString python = test::pythonWithXlrd(); !python.isEmpty()) {
        const test::ToolRun r = test::runTool(
            python,
            {u"-c"_s,
             u"import sys, xlrd\nb = xlrd.open_workbook(sys.argv[1], formatting_info=True)\n"
             u"print(b.font_list[0].name, b.font_list[b.xf_list[b.style_name_map['Normal'][1]].font_index].name)"_s,
             file});
        ASSERT_TRUE(r.ok) << r.err.toStdString();
        EXPECT_EQ(r.out.trimmed(), u"Century Gothic Century Gothic"_s);
    }

    const QString soffice = QStandardPaths::findExecutable(u"soffice"_s);
    if (soffice.isEmpty()) {
        GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    }
    const test::ToolRun r =
        test::runTool(soffice, {u"-env:UserInstallation=file://"_s + run.work.file(u"profile"_s), u"--headless"_s,
                                u"--convert-to"_s, u"fods"_s, u"--outdir"_s, run.work.path(), file});
    ASSERT_TRUE(r.ok) << r.err.toStdString();
    QFile fods(run.work.file(u"class.fods"_s));
    ASSERT_TRUE(fods.open(QIODevice::ReadOnly)) << r.out.toStdString() << r.err.toStdString();
    const QByteArray xml = fods.readAll();
    const QString text = QString::fromUtf8(xml);
    EXPECT_TRUE(text.contains(u"table:print-ranges=\"&apos;Grade book&apos;.B5:&apos;Grade book&apos;.K19\""_s));
    const auto defaultStyle =
        QRegularExpression(u"<style:style style:name=\"Default\" style:family=\"table-cell\">(.*?)</style:style>"_s,
                           QRegularExpression::DotMatchesEverythingOption)
            .match(text);
    ASSERT_TRUE(defaultStyle.hasMatch());
    EXPECT_TRUE(defaultStyle.captured(1).contains(u"style:font-name=\"Century Gothic\""_s))
        << defaultStyle.captured(1).toStdString();
    sheet::Workbook theirs;
    theirs.sheets.emplace_back();
    std::string problem;
    ASSERT_TRUE(test::readFlatOdsValues(xml, theirs.sheets.front(), problem)) << problem;
    EXPECT_EQ(at(theirs, "G17"), sheet::Value(7));
    EXPECT_EQ(at(theirs, "G19"), sheet::Value(6));
    EXPECT_EQ(at(theirs, "H9"), sheet::Value(4));
    EXPECT_GT(test::expectSameResults(book, theirs, "LibreOffice"), 40);
}

// The window's preview shows the job's own model instead of reading the saved file again: it is
// the saved workbook, cell for cell, results included; without the request nothing is kept.
TEST(FilledGradebook, TheModelHandedToThePreviewIsTheSavedWorkbook) {
    struct ModelUi : CollectingUi {
        std::shared_ptr<const sheet::Workbook> model;
        void setPreviewModel(std::shared_ptr<const sheet::Workbook> m) override { model = std::move(m); }
    };
    for (const bool handOver : {true, false}) {
        FillFixture run;
        CreateTemplateEnvironment env;
        env.hostFactory = defaultHostFactory();
        env.workFolder = [&run] { return run.work.path(); };
        env.handOverModel = handOver;
        ModelUi ui;
        bool creating = false;
        createTemplate(test::classOf(7, 5), env, ui, run.prompt, creating);
        ASSERT_TRUE(run.prompt.shown().empty()) << run.prompt.messageTexts().join(u"\n"_s).toStdString();
        if (!handOver) {
            EXPECT_EQ(ui.model, nullptr);
            continue;
        }
        ASSERT_NE(ui.model, nullptr);
        QFile f(ui.workbook);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        const sheet::Workbook saved =
            xls::readXls(xls::ByteView(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                       static_cast<size_t>(bytes.size())))
                .workbook;
        int cells = 0;
        saved.sheets.at(0).forEachCell([&](int row, int column, const sheet::Cell& cell) {
            ++cells;
            const sheet::Cell* kept = ui.model->sheets.at(0).cell(row, column);
            ASSERT_NE(kept, nullptr) << row << "," << column;
            EXPECT_EQ(kept->value, cell.value) << row << "," << column;
            EXPECT_EQ(test::cellFormula(*ui.model, ui.model->sheets[0], row + 1, column + 1),
                      test::cellFormula(saved, saved.sheets[0], row + 1, column + 1));
        });
        EXPECT_GT(cells, 7 * 5);
        EXPECT_EQ(ui.model->activeSheet, saved.activeSheet);
    }
}
