#pragma once

#include "workbook/sheet/Format.h"
#include "workbook/sheet/Workbook.h"

#include <QDateTime>
#include <QString>

#include <vector>

class QIODevice;

namespace markwell::exporting {

// One test on a student's report, every text as the gradebook shows it.
struct ReportTest {
    QString name;
    QString points;          // as typed; empty when the cell is empty
    QString possible;        // the test's possible points
    QString percent;         // points of possible; empty unless both are numbers and possible is above 0
    QString classAverage;    // the class summary's average for the test
    bool notCounted = false; // something is typed that the sums leave out (a text such as "absent")
};

struct StudentReport {
    QString name, id;
    QString totalPoints; // the points that count, summed by the engine as the average's formula sums them
    QString average, letter, gradePoints;
    std::vector<ReportTest> tests;
};

// What the reports of a class show: the header of the gradebook, its students in sheet order,
// and the workbook's font.
struct ClassReports {
    QString school, teacher, className, period;
    QString totalPossible;
    sheet::Font font;
    std::vector<StudentReport> students;
};

// Reads the reports from a filled gradebook through its layout: the print area from B5 gives the
// last test column and the last row of the class summary; the student rows are those above the
// summary that hold anything. Every figure is the value the workbook's cells hold, shown in the
// cell's number format. Throws Failure when the workbook does not have the gradebook's layout.
ClassReports readClassReports(const sheet::Workbook& workbook);

struct ReportOptions {
    QString title;    // the document's title
    QString creator;  // the program named as the document's creator
    QDateTime madeAt; // the date in the footers; invalid: now
};

// Writes the reports as a PDF on US Letter: one page per student, continued on further pages of
// their own when the tests do not fit. The text is real text (searchable, with the fonts
// embedded). `out` must be open for writing; needs a QGuiApplication. Returns the number of
// pages; throws std::runtime_error when the PDF cannot be made.
int writeStudentReports(const ClassReports& reports, QIODevice& out, const ReportOptions& options = {});

} // namespace markwell::exporting
