#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace markwell {

// The four texts of the "General Options" group, exactly as typed.
struct GeneralOptions {
    QString name;        // txtName, "Your School Name:"
    QString teacherName; // txtTeachName, "Teacher Name:"
    QString project;     // txtProject, "Class/Project:"
    QString ysq;         // txtYSQ, "Year / Semester / Quarter:"

    friend bool operator==(const GeneralOptions&, const GeneralOptions&) = default;
};

// One row of the tests list.
struct TestRow {
    QString name;
    QString possiblePoints;

    friend bool operator==(const TestRow&, const TestRow&) = default;
};

// One row of the students list. Points are bound to tests by position only: points[k] belongs to
// the (k+1)-th test, which is field k+2 of the row. A field that was never set reads as empty.
struct StudentRow {
    QString name;
    QString id;
    QStringList points;

    QString pointsFor(qsizetype test) const { return test >= 0 && test < points.size() ? points[test] : QString(); }

    friend bool operator==(const StudentRow&, const StudentRow&) = default;
};

// Rows and fields are counted with 16-bit signed numbers: a list holds at most this many rows
// and a row at most this many fields.
inline constexpr qsizetype kMaxListRows = 32767;
inline constexpr qsizetype kMaxRowFields = 32767;

// Everything the main window holds, as the template filling reads it. Every student carries
// exactly pointsCount points, where pointsCount is the test picker's line count.
struct GradebookSetup {
    GeneralOptions options;
    std::vector<TestRow> tests;
    std::vector<StudentRow> students;
    qsizetype pointsCount = 0;

    friend bool operator==(const GradebookSetup&, const GradebookSetup&) = default;
};

} // namespace markwell
