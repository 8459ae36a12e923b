// The gradebooks "Create Template" makes, saved as .xlsx and as PDF the way the save command
// saves them, checked with programs we did not write: openpyxl reads every formula and format of
// the .xlsx, LibreOffice and Gnumeric recalculate it to our results, LibreOffice reads the same
// cells and formulas from the .xls and the .xlsx, and poppler finds every student on the pages.

#include "FillFixture.h"

#include "gradebook/export/SaveFormats.h"
#include "workbook/render/PrintLayout.h"
#include "workbook/xlsx/XlsxWriter.h"

#include "ExternalReaders.h"

#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

namespace {

// The sample class; one whose averages reach the grade bounds, with a student without points,
// more tests than the template's five and an odd number of students; and one whose tests are
// worth no points, so every average is the division error.
std::vector<std::pair<QString, GradebookSetup>> classes() {
    const GradebookSetup sample = test::sampleClass();

    GradebookSetup varied = test::classOf(7, 5);
    for (int t = 0; t < 7; ++t) {
        varied.tests[t].possiblePoints = u"20"_s;
        varied.students[0].points[t] = u"12"_s;   // 0.6: D-
        varied.students[1].points[t] = QString(); // no points: empty grades
        varied.students[2].points[t] = u"18"_s;   // 0.9: A-
        varied.students[3].points[t] = u"20"_s;   // 1.0: A+
    }

    GradebookSetup zero = test::classOf(2, 2);
    for (auto& t : zero.tests) {
        t.possiblePoints = u"0"_s;
    }
    return {{u"sample"_s, sample}, {u"varied"_s, varied}, {u"zero"_s, zero}};
}

struct Made {
    QString name;
    sheet::Workbook ours;
    QString xls;  // the generated workbook, as "Create Template" left it
    QString xlsx; // saved from it as the save command saves
};

std::vector<Made> makeAll(test::TempDir& dir, test::FillFixture& run) {
    std::vector<Made> out;
    for (const auto& [name, setup] : classes()) {
        Made m{name, run.fill(setup), dir.file(name + u"-book.xls"_s), dir.file(name + u"-book.xlsx"_s)};
        dir.write(name + u"-book.xls"_s, run.bytes);
        exporting::SaveWorkbookAs(m.xls, m.xlsx, exporting::SaveFormat::Xlsx);
        out.push_back(std::move(m));
    }
    return out;
}

std::filesystem::path pathOf(const QString& file) {
    return std::filesystem::path(file.toStdU16String());
}

// What pdftotext finds on one page (1-based), laid out as on the page.
QString pageText(const QString& pdf, int page) {
    const test::ToolRun r = test::runTool(
        u"pdftotext"_s, {u"-layout"_s, u"-f"_s, QString::number(page), u"-l"_s, QString::number(page), pdf, u"-"_s});
    EXPECT_TRUE(r.ok) << r.err.toStdString();
    return r.out;
}

bool havePoppler() {
    return !QStandardPaths::findExecutable(u"pdfinfo"_s).isEmpty() &&
           !QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty();
}

} // namespace

TEST(ExportFormats, OpenpyxlReadsEveryFormulaAndFormatOfTheXlsx) {
    if (test::pythonWith(u"openpyxl"_s).isEmpty()) {
        GTEST_SKIP() << "python3-openpyxl is not installed";
    }
    test::TempDir dir;
    test::FillFixture run;
    for (const Made& m : makeAll(dir, run)) {
        SCOPED_TRACE(m.name.toStdString());
        std::string problem;
        const QJsonObject dump = test::openpyxlDump(m.xlsx, problem);
        ASSERT_TRUE(problem.empty()) << problem;
        EXPECT_GT(test::expectOpenpyxlReads(m.ours, dump), 200);
    }
}

TEST(ExportFormats, LibreOfficeRecalculatesTheXlsxToOurResults) {
    if (QStandardPaths::findExecutable(u"soffice"_s).isEmpty()) {
        GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    }
    test::TempDir dir;
    test::FillFixture run;
    QStringList files;
    const std::vector<Made> made = makeAll(dir, run);
    for (const Made& m : made) {
        files << dir.file(m.name + u"-stale.xlsx"_s);
        xlsx::writeXlsx(test::withStaleResults(m.ours), pathOf(files.back()));
    }
    const test::LibreOfficeResults lo = test::libreOfficeValues(files, dir.path());
    ASSERT_TRUE(lo.problem.empty()) << lo.problem;
    ASSERT_EQ(lo.books.size(), made.size());
    for (std::size_t i = 0; i < made.size(); ++i) {
        SCOPED_TRACE(made[i].name.toStdString());
        EXPECT_GT(test::expectSameResults(made[i].ours, lo.books[i], "LibreOffice"), 40);
    }
    // It opens them without a word beyond naming each conversion (and its Java launcher).
    for (const QString& line : lo.messages.split(u'\n', Qt::SkipEmptyParts)) {
        EXPECT_TRUE(line.startsWith(u"convert "_s) || line.contains(u"javaldx"_s)) << line.toStdString();
    }
    // The zero-point class shows the division error in its grade cells.
    EXPECT_EQ(made[2].ours.sheets[0].cell(12, 3)->value, sheet::Value(sheet::ErrorCode::Div0));
}

TEST(ExportFormats, GnumericRecalculatesTheXlsxToOurResults) {
    const QString ssconvert = QStandardPaths::findExecutable(u"ssconvert"_s);
    if (ssconvert.isEmpty()) {
        GTEST_SKIP() << "Gnumeric (ssconvert) is not installed";
    }
    // What Gnumeric says of every .xlsx that has print titles of rows and columns and comments,
    // LibreOffice's own included: it reads neither the two-part Print_Titles name (and then
    // cannot export the error it put in its place) nor the shapes of comment boxes.
    const QStringList gnumericLimits = {
        u"''Grade book'!$B:$B,'Grade book'!$12:$12' Multiple expressions are not supported in this context"_s,
        u"Unhandled object of type Note"_s,
        u"Too many arguments for function 'ERROR', MS Excel can only handle -1 not 1"_s,
    };
    test::TempDir dir;
    test::FillFixture run;
    for (const Made& m : makeAll(dir, run)) {
        SCOPED_TRACE(m.name.toStdString());
        const QString stale = dir.file(m.name + u"-stale.xlsx"_s);
        xlsx::writeXlsx(test::withStaleResults(m.ours), pathOf(stale));
        const QString out = dir.file(m.name + u"-gnumeric.xls"_s);
        const test::ToolRun r =
            test::runTool(ssconvert, {u"--recalc"_s, u"-T"_s, u"Gnumeric_Excel:excel_biff8"_s, stale, out});
        ASSERT_TRUE(r.ok) << r.err.toStdString();
        for (const QString& line : (r.out + r.err).split(u'\n', Qt::SkipEmptyParts)) {
            const bool known = std::any_of(gnumericLimits.begin(), gnumericLimits.end(),
                                           [&](const QString& limit) { return line.contains(limit); });
            EXPECT_TRUE(known) << "Gnumeric says: " << line.toStdString();
        }
        const QByteArray bytes = dir.read(m.name + u"-gnumeric.xls"_s);
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
        const sheet::Workbook theirs = xls::readXls(xls::ByteView(data, static_cast<size_t>(bytes.size()))).workbook;
        EXPECT_GT(test::expectSameResults(m.ours, theirs, "Gnumeric"), 40);
    }
}

TEST(ExportFormats, XlsAndXlsxHoldTheSameCellsFormulasAndValues) {
    if (QStandardPaths::findExecutable(u"soffice"_s).isEmpty()) {
        GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    }
    test::TempDir dir;
    test::FillFixture run;
    const std::vector<Made> made = makeAll(dir, run);
    QStringList files;
    for (const Made& m : made) {
        files << m.xls << m.xlsx;
    }
    const test::LibreOfficeResults lo = test::libreOfficeValues(files, dir.path());
    ASSERT_TRUE(lo.problem.empty()) << lo.problem;
    ASSERT_EQ(lo.books.size(), 2 * made.size());
    for (std::size_t i = 0; i < made.size(); ++i) {
        SCOPED_TRACE(made[i].name.toStdString());
        const sheet::Sheet& fromXls = lo.books[2 * i].sheets[0];
        const sheet::Sheet& fromXlsx = lo.books[2 * i + 1].sheets[0];
        int cells = 0;
        const int lastRow = std::max(fromXls.lastRow(), fromXlsx.lastRow());
        const int lastColumn = std::max(fromXls.lastColumn(), fromXlsx.lastColumn());
        for (int r = 0; r <= lastRow; ++r) {
            for (int c = 0; c <= lastColumn; ++c) {
                const sheet::Cell* a = fromXls.cell(r, c);
                const sheet::Cell* b = fromXlsx.cell(r, c);
                const sheet::Value va = a ? a->value : sheet::Value(), vb = b ? b->value : sheet::Value();
                EXPECT_TRUE(test::sameResult(va, vb))
                    << sheet::toA1(sheet::CellPos{r, c}) << ": .xls " << va.describe() << ", .xlsx " << vb.describe();
                cells += va.isEmpty() ? 0 : 1;
            }
        }
        EXPECT_GT(cells, 60);
        EXPECT_EQ(lo.formulas[2 * i], lo.formulas[2 * i + 1]);
        EXPECT_GT(lo.formulas[2 * i].size(), 40u);
    }
}

TEST(ExportFormats, PdfShowsEveryStudentAndTheFooterOnEveryPage) {
    if (!havePoppler()) {
        GTEST_SKIP() << "poppler-utils (pdfinfo, pdftotext) is not installed";
    }
    test::TempDir dir;
    test::FillFixture run;
    // 60 students do not fit one page: 44 of them on the first (the rows above the students take
    // 2265 of its 13680 twips), the rest and the summary on the second under the repeated header
    // row. Test 2 in column H goes on pages of its own with the name column B repeated.
    GradebookSetup setup = test::classOf(2, 60);
    setup.students[7].points = {QString(), QString()};
    const sheet::Workbook book = run.fill(setup);
    dir.write(u"made.xls"_s, run.bytes);
    const QString pdf = dir.file(u"class.pdf"_s);
    exporting::SaveWorkbookAs(dir.file(u"made.xls"_s), pdf, exporting::SaveFormat::Pdf);

    const test::ToolRun info = test::runTool(u"pdfinfo"_s, {pdf});
    ASSERT_TRUE(info.ok) << info.err.toStdString();
    EXPECT_TRUE(info.out.contains(QRegularExpression(u"Pages:\\s+4\\n"_s))) << info.out.toStdString();
    EXPECT_TRUE(info.out.contains(QRegularExpression(u"Page size:\\s+612 x 792 pts \\(letter\\)"_s)))
        << info.out.toStdString();
    EXPECT_TRUE(info.out.contains(QRegularExpression(u"Creator:\\s+Markwell Software"_s))) << info.out.toStdString();

    QString all;
    for (int page = 1; page <= 4; ++page) {
        const QString text = pageText(pdf, page);
        EXPECT_TRUE(text.contains(u"Page %1 of 4"_s.arg(page))) << "page " << page;
        EXPECT_TRUE(text.contains(u"Student Name"_s)) << "the header row on page " << page;
        all += text;
    }
    // Each student's line: name, ID, average, letter grade and grade points, as the sheet shows
    // them; the student without points has an empty grade.
    const sheet::Sheet& s = book.sheets[0];
    for (int i = 0; i < 60; ++i) {
        const int row = 12 + i;
        const std::string letter = s.cell(row, 4)->value.text();
        QString pattern = u"\\n\\s*Student %1\\s+ID%1"_s.arg(i + 1);
        if (!letter.empty()) {
            pattern += u"\\s+%1%\\s+%2\\s+%3\\b"_s.arg(QString::number(s.cell(row, 3)->value.number() * 100, 'f', 2),
                                                       QRegularExpression::escape(QString::fromStdString(letter)),
                                                       QString::number(s.cell(row, 5)->value.number(), 'f', 2));
        } else {
            pattern += u"[ ]*\\n"_s;
        }
        EXPECT_TRUE(all.contains(QRegularExpression(pattern))) << pattern.toStdString();
        EXPECT_EQ(all.count(QRegularExpression(u"\\bStudent %1\\b"_s.arg(i + 1))), 2) << "student " << i + 1;
    }
    EXPECT_TRUE(all.contains(u"Class Summary"_s));
}

// The PDF prints what the print area says: widened to the whole table, every test shows.
TEST(ExportFormats, PdfPrintsWhatThePrintAreaSays) {
    if (!havePoppler()) {
        GTEST_SKIP() << "poppler-utils (pdfinfo, pdftotext) is not installed";
    }
    test::TempDir dir;
    test::FillFixture run;
    sheet::Workbook book = run.fill(test::classOf(15, 3));
    for (sheet::DefinedName& n : book.names) {
        if (n.name == "Print_Area") {
            n.refersTo = formula::makeArea({{4, 1}, true, true}, {{19, 20}, true, true}, 0); // B5:U20
        }
    }
    const QString pdf = dir.file(u"wide.pdf"_s);
    exporting::WriteWorkbookAs(book, pdf, exporting::SaveFormat::Pdf);
    // Across: B..G, then column B in front of H..M, N..S and T..U.
    const int pages =
        static_cast<int>(render::PrintLayout(book.sheets[0], render::printRangesOf(book, 0), 7).pages().size());
    ASSERT_EQ(pages, 4);
    QString all;
    for (int page = 1; page <= pages; ++page) {
        all += pageText(pdf, page);
    }
    for (int t = 1; t <= 15; ++t) {
        EXPECT_TRUE(all.contains(QRegularExpression(u"\\bTest %1\\b"_s.arg(t)))) << "Test " << t;
    }
    EXPECT_TRUE(all.contains(u"Page 4 of 4"_s));
}
