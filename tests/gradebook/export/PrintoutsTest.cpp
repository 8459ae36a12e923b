// The printouts to hand out, read back through poppler: student reports and the class fitted to width.

#include "gradebook/export/FitToWidth.h"
#include "gradebook/export/SaveFormats.h"
#include "gradebook/export/StudentReports.h"

#include "common/ErrorReport.h"
#include "gradebook/template/FilledLayout.h"
#include "workbook/formula/Parser.h"
#include "workbook/formula/Recalc.h"
#include "workbook/render/PrintLayout.h"

#include "ExternalReaders.h"
#include "FilledTemplate.h"
#include "TempDir.h"

#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;
using namespace markwell::exporting;

namespace {

// A filled gradebook of `tests` x `students` with its print area set as the filling sets it.
sheet::Workbook gradebook(int tests, int students) {
    std::vector<test::TestColumn> columns;
    for (int t = 0; t < tests; ++t) {
        columns.push_back({"Test " + std::to_string(t + 1), 10.0 + t % 4 * 5});
    }
    std::vector<test::StudentRow> rows;
    for (int s = 0; s < students; ++s) {
        std::vector<std::optional<double>> points;
        for (int t = 0; t < tests; ++t) {
            points.push_back(5.0 + (s * 7 + t * 3) % 10);
        }
        rows.push_back({"Student " + std::to_string(s + 1), "ID" + std::to_string(1000 + s), points});
    }
    sheet::Workbook wb = test::filledTemplate(columns, rows);
    for (sheet::DefinedName& n : wb.names) {
        if (n.name == "Print_Area") {
            n.refersTo =
                formula::parseFormula("'Grade book'!" + gradetemplate::filledPrintArea(tests, students), {&wb, false});
        }
    }
    return wb;
}

QString cellText(const sheet::Workbook& wb, int row1, int col0) {
    const sheet::Value v = test::valueAt(wb, row1, col0);
    return v.isText() ? QString::fromStdString(v.text()) : QString();
}

struct Pdf {
    test::TempDir dir;
    QString path;
    explicit Pdf(const sheet::Workbook& wb, SaveFormat format) : path(dir.file(u"out.pdf"_s)) {
        WriteWorkbookAs(wb, path, format);
    }
    QString info() const { return test::runTool(u"pdfinfo"_s, {u"-l"_s, u"999"_s, path}).out; }
    int pages() const { return QRegularExpression(u"Pages:\\s+(\\d+)"_s).match(info()).captured(1).toInt(); }
    QString text(int page) const {
        const QString n = QString::number(page);
        return test::runTool(u"pdftotext"_s, {u"-f"_s, n, u"-l"_s, n, path, u"-"_s}).out;
    }
};

bool havePoppler() {
    return !QStandardPaths::findExecutable(u"pdfinfo"_s).isEmpty() &&
           !QStandardPaths::findExecutable(u"pdftotext"_s).isEmpty();
}

} // namespace

// Every figure is the cell's own, in its format; points that are not numbers are shown as typed
// and marked, empty points stay empty.
TEST(StudentReports, FiguresAreTheWorkbooksAndOddPointsShowAsTyped) {
    sheet::Workbook wb = gradebook(3, 3);
    wb.sheets[0].cellAt(13, 7).value = sheet::Value("absent"); // Student 2, Test 2
    wb.sheets[0].clearCell(14, 8);                             // Student 3, Test 3
    formula::recalculate(wb);
    const ClassReports r = readClassReports(wb);
    ASSERT_EQ(r.students.size(), 3u);
    EXPECT_EQ(r.totalPossible, u"45"_s);
    for (int s = 0; s < 3; ++s) {
        const StudentReport& st = r.students[static_cast<std::size_t>(s)];
        EXPECT_EQ(st.name, cellText(wb, 13 + s, 1));
        EXPECT_EQ(st.letter, cellText(wb, 13 + s, 4));
        ASSERT_EQ(st.tests.size(), 3u);
    }
    // Student 2: 12 + absent + 8 of 45; the average cell says 0.44.
    const StudentReport& second = r.students[1];
    EXPECT_EQ(second.totalPoints, u"20"_s);
    EXPECT_EQ(second.average, u"44.00%"_s);
    EXPECT_EQ(second.tests[1].points, u"absent"_s);
    EXPECT_TRUE(second.tests[1].notCounted);
    EXPECT_EQ(second.tests[1].percent, u""_s);
    EXPECT_EQ(second.tests[0].percent, u"120%"_s); // 12 of 10
    EXPECT_TRUE(r.students[2].tests[2].points.isEmpty());
    // The class average of Test 1 is the summary's cell, as its "0" format shows it.
    EXPECT_EQ(second.tests[0].classAverage, QString::number(std::round(test::valueAt(wb, 18, 6).number())));
}

// A workbook that is not a filled gradebook gives a message, never a page of wrong figures.
TEST(StudentReports, AWorkbookWithoutTheGradebookLayoutIsRefused) {
    const std::function<void(sheet::Workbook&)> breaks[] = {
        [](sheet::Workbook& wb) { wb.sheets.clear(); },
        [](sheet::Workbook& wb) { wb.names.clear(); }, // no print area: the cells in use from A1
        [](sheet::Workbook& wb) { wb.sheets[0].cellAt(17, 1).value = sheet::Value("Notes"); },
        [](sheet::Workbook& wb) {
            wb.names.at(1).refersTo = formula::parseFormula("'Grade book'!$A$1:$K$20", {&wb, false});
        },
    };
    for (const auto& mutate : breaks) {
        sheet::Workbook wb = gradebook(2, 4);
        mutate(wb);
        EXPECT_THROW(readClassReports(wb), Failure);
    }
}

TEST(StudentReports, APagePerStudentWithTheWorkbooksLetterAndContinuationPages) {
    if (!havePoppler()) {
        GTEST_SKIP() << "poppler-utils (pdfinfo, pdftotext) is not installed";
    }
    const sheet::Workbook wb = gradebook(15, 40);
    const Pdf pdf(wb, SaveFormat::StudentReports);
    ASSERT_EQ(pdf.pages(), 40) << pdf.info().toStdString();
    for (int s = 0; s < 40; ++s) {
        const QString page = pdf.text(s + 1);
        SCOPED_TRACE(page.toStdString());
        EXPECT_TRUE(page.contains(u"Student %1\n"_s.arg(s + 1)));
        EXPECT_TRUE(page.contains(u"ID%1"_s.arg(1000 + s)));
        EXPECT_TRUE(page.contains(u"\n%1\n"_s.arg(cellText(wb, 13 + s, 4))));
        for (int t = 1; t <= 15; ++t) {
            EXPECT_TRUE(page.contains(QRegularExpression(u"\\bTest %1\\b"_s.arg(t)))) << t;
        }
    }

    // 250 tests: each student's pages in turn, every test once, the letter on the last page.
    const sheet::Workbook many = gradebook(250, 2);
    const Pdf longer(many, SaveFormat::StudentReports);
    const int pages = longer.pages();
    ASSERT_GT(pages, 2);
    ASSERT_EQ(pages % 2, 0);
    for (int s = 0; s < 2; ++s) {
        QString all;
        for (int p = 1; p <= pages / 2; ++p) {
            const QString page = longer.text(s * pages / 2 + p);
            EXPECT_TRUE(page.contains(u"Student %1"_s.arg(s + 1)) && !page.contains(u"Student %1"_s.arg(2 - s)));
            all += page;
        }
        for (int t = 1; t <= 250; ++t) {
            EXPECT_EQ(all.count(QRegularExpression(u"\\bTest %1\\b"_s.arg(t))), 1) << t;
        }
        EXPECT_TRUE(longer.text((s + 1) * pages / 2).contains(u"\n%1\n"_s.arg(cellText(many, 13 + s, 4))));
    }
}

// 15 x 40 on at most two landscape pages holding every student; 60 x 500 stops at the smallest
// scale, and a narrow class is not enlarged.
TEST(FitToWidth, TheClassAcrossLandscapePagesDownToTheSmallestText) {
    EXPECT_EQ(minimumFitScale(gradebook(2, 2), 0), 67); // 9-point cells: 6 points at 67 %
    EXPECT_EQ(fitWidthScale(gradebook(1, 3), 0), 100);
    const sheet::Workbook big = gradebook(60, 500);
    EXPECT_EQ(fitWidthScale(big, 0), 67);
    if (!havePoppler()) {
        GTEST_SKIP() << "poppler-utils (pdfinfo, pdftotext) is not installed";
    }
    const Pdf pdf(gradebook(15, 40), SaveFormat::PdfFitWidth);
    ASSERT_LE(pdf.pages(), 2);
    EXPECT_TRUE(pdf.info().contains(u"792 x 612 pts (letter)"_s)) << pdf.info().toStdString();
    const QString text = pdf.text(1) + pdf.text(2);
    for (int s = 1; s <= 40; ++s) {
        EXPECT_TRUE(text.contains(QRegularExpression(u"\\bStudent %1\\b"_s.arg(s)))) << s;
    }
    const Pdf wide(big, SaveFormat::PdfFitWidth);
    const sheet::Workbook fitted = fittedToPageWidth(big);
    const render::PrintLayout layout(fitted.sheets[0], render::printRangesOf(fitted, 0), 7);
    EXPECT_EQ(wide.pages(), static_cast<int>(layout.pages().size()));
    EXPECT_EQ(layout.scale(), 0.67);
}
