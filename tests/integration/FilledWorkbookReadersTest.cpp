// The workbooks "Create Template" makes, recalculated by LibreOffice and Gnumeric from scratch,
// give the averages, letters, grade points and summary we stored.

#include "FillFixture.h"

#include "workbook/xls/XlsWriter.h"

#include "ExternalReaders.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

namespace {

// The sample class, and one with points that reach the grade bounds, a student without points,
// more tests than the template's five and an odd number of students.
std::vector<std::pair<QString, GradebookSetup>> classes() {
    const GradebookSetup sample = test::sampleClass();

    GradebookSetup varied;
    varied.options = {u"Lincoln High"_s, u"Ms. Rivera"_s, u"Algebra II"_s, u"Fall 2026"_s};
    for (int t = 1; t <= 7; ++t) {
        varied.tests.push_back({u"Unit %1"_s.arg(t), u"20"_s});
    }
    varied.pointsCount = 7;
    const QStringList rows[] = {
        {u"12"_s, u"12"_s, u"12"_s, u"12"_s, u"12"_s, u"12"_s, u"12"_s}, // 0.6: D-
        {u"18"_s, u"18"_s, u"18"_s, u"18"_s, u"18"_s, u"18"_s, u"18"_s}, // 0.9: A-
        {u"20"_s, u"20"_s, u"20"_s, u"20"_s, u"20"_s, u"20"_s, u"20"_s}, // 1.0: A+
        {u"25"_s, u"25"_s, u"20"_s, u"20"_s, u"20"_s, u"20"_s, u"20"_s}, // above 1
        {QString(), QString(), QString(), QString(), QString(), QString(), QString()},
        {u"3"_s, u"19.5"_s, u"0"_s, u"11"_s, u"17"_s, u"8"_s, u"14"_s},
        {u"0"_s, u"0"_s, u"0"_s, u"0"_s, u"0"_s, u"0"_s, u"0"_s},
    };
    int i = 0;
    for (const QStringList& points : rows) {
        ++i;
        varied.students.push_back({u"Student %1"_s.arg(i), u"%1"_s.arg(1000 + i), points});
    }
    return {{u"sample"_s, sample}, {u"varied"_s, varied}};
}

struct Made {
    QString name;
    sheet::Workbook ours;
    QString staleFile;
};

std::vector<Made> makeAll(test::TempDir& dir) {
    std::vector<Made> out;
    for (const auto& [name, setup] : classes()) {
        test::FillFixture run;
        sheet::Workbook book = run.fill(setup);
        const QString file = dir.file(name + u".xls"_s);
        const xls::Bytes stale = xls::writeXls(test::withStaleResults(book));
        dir.write(name + u".xls"_s,
                  QByteArray(reinterpret_cast<const char*>(stale.data()), static_cast<qsizetype>(stale.size())));
        out.push_back({name, std::move(book), file});
    }
    return out;
}

} // namespace

TEST(FilledWorkbookReaders, LibreOfficeComputesTheGradesWeStore) {
    if (QStandardPaths::findExecutable(u"soffice"_s).isEmpty()) {
        GTEST_SKIP() << "LibreOffice (soffice) is not installed";
    }
    test::TempDir dir;
    const std::vector<Made> made = makeAll(dir);
    QStringList files;
    for (const Made& m : made) {
        files << m.staleFile;
    }
    const test::LibreOfficeResults lo = test::libreOfficeValues(files, dir.path());
    ASSERT_TRUE(lo.problem.empty()) << lo.problem;
    ASSERT_EQ(lo.books.size(), made.size());
    for (size_t i = 0; i < made.size(); ++i) {
        SCOPED_TRACE(made[i].name.toStdString());
        EXPECT_GT(test::expectSameResults(made[i].ours, lo.books[i], "LibreOffice"), 40);
    }
    // Spot checks of what the teacher reads.
    const sheet::Sheet& varied = made[1].ours.sheets[0];
    EXPECT_EQ(varied.cell(13, 4)->value.text(), "A-"); // 0.9
    EXPECT_EQ(varied.cell(14, 4)->value.text(), "A+"); // 1.0
    EXPECT_EQ(varied.cell(12, 4)->value.text(), "D-"); // 0.6
    EXPECT_EQ(varied.cell(16, 3)->value.text(), "");   // no points
}

TEST(FilledWorkbookReaders, GnumericComputesTheGradesWeStore) {
    const QString ssconvert = QStandardPaths::findExecutable(u"ssconvert"_s);
    if (ssconvert.isEmpty()) {
        GTEST_SKIP() << "Gnumeric (ssconvert) is not installed";
    }
    test::TempDir dir;
    for (const Made& m : makeAll(dir)) {
        SCOPED_TRACE(m.name.toStdString());
        const QString out = dir.file(m.name + u"-gnumeric.xls"_s);
        const test::ToolRun r =
            test::runTool(ssconvert, {u"--recalc"_s, u"-T"_s, u"Gnumeric_Excel:excel_biff8"_s, m.staleFile, out});
        ASSERT_TRUE(r.ok) << r.err.toStdString();
        const QByteArray bytes = dir.read(m.name + u"-gnumeric.xls"_s);
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
        const sheet::Workbook theirs = xls::readXls(xls::ByteView(data, static_cast<size_t>(bytes.size()))).workbook;
        EXPECT_GT(test::expectSameResults(m.ours, theirs, "Gnumeric"), 40);
    }
}
