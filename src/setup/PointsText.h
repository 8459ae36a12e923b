#pragma once

#include "setup/GradebookSetup.h"

#include <QChar>
#include <QLocale>
#include <QString>

#include <optional>
#include <vector>

namespace markwell {

// Points are kept exactly as the teacher wrote them; the workbook turns a text into a number only
// by its own locale-free rule (a point as the decimal separator). These routines tie the two
// together.

// The decimal separator of a locale: the second character of 0.5 formatted by it ("." or ",").
QChar decimalSeparatorOf(const QLocale& locale);

// The points text as the workbook is to be given it. Under a decimal comma, a text that reads as a
// number with its comma taken as the decimal point ("12,5", " 7,25 ") comes back with a point
// instead ("12.5"); every other text, and every text under a decimal point, comes back unchanged.
QString pointsForWorkbook(const QString& points, QChar decimalSeparator);

// True when the points text holds something, but the workbook will keep it as text, so it does not
// count in any total ("abc", "50%", "1,000" under a decimal point, "007").
bool pointsWillNotCount(const QString& points, QChar decimalSeparator);

// The model role that tells a view to mark such points, or points above their possible points (a
// bool).
inline constexpr int kPointsWillNotCountRole = Qt::UserRole + 1;

// The tooltip that says so.
QString pointsWillNotCountNote(const QString& points, bool possiblePoints);

// The number the workbook will take the points text as, or none when it holds nothing or will
// not count.
std::optional<double> pointsNumber(const QString& points, QChar decimalSeparator);

// What is wrong with a student's points for a test with these possible points, as one sentence,
// or an empty text when nothing is: points that will not count, or points above the possible
// points (when both are numbers).
QString studentPointsProblem(const QString& points, const QString& possible, QChar decimalSeparator);

// A value of a setup that will not count, or points above their possible points.
struct PointsIssue {
    qsizetype row = 0;   // the row of the tests list, or with a test, of the students list
    qsizetype test = -1; // -1: the possible points of test `row`; else the points of student `row` for it
    QString problem;
};

// Every such value, the tests' possible points first, then the students row by row. A student's
// points are taken as for the test at their position.
std::vector<PointsIssue> pointsIssues(const std::vector<TestRow>& tests, const std::vector<StudentRow>& students,
                                      QChar decimalSeparator);

} // namespace markwell
