#pragma once

#include "setup/GradebookSetup.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QMap>
#include <QString>
#include <QStringList>

namespace markwell::cli {

// The keys of a setup: txtName, txtTeachName, txtProject, txtYSQ, Tests, Students (the lists in
// the store's list format).
const QStringList& setupKeys();

// A setup as key/value texts, and where each value was read, for messages.
struct SetupValues {
    QMap<QString, QString> texts;   // a missing key is empty
    QMap<QString, QString> origins; // "class.txt, line 6"
    QString source;                 // the file or store the values came from

    QString text(const QString& key) const { return texts.value(key); }
    // "class.txt, line 6" for a key read from that line, otherwise "<source>, key <key>".
    QString where(const QString& key) const;
};

// Reads a setup file: UTF-8 `key=value` lines (CR, LF or CRLF line ends), the value being the
// rest of the line exactly as written. Blank lines are skipped. A line without "=", an unknown
// key or a key given twice throws Failure naming the file and the line number.
SetupValues parseSetupFile(QByteArrayView bytes, const QString& source);

// The tests list of the values. Throws Failure naming where it was read when a row has more
// fields than a test has, when the list has more rows than a list holds, or when a workbook has
// no room for that many tests. Nothing is ever dropped.
std::vector<TestRow> testsFromValues(const SetupValues& values);

// The students list of the values as saved with `testCount` tests: each student gets exactly
// testCount points fields. Throws Failure naming where it was read when a row has more points
// fields than there are tests or the list has more rows than a list holds.
std::vector<StudentRow> studentsFromValues(const SetupValues& values, qsizetype testCount);

// A CSV roster given instead of one of the lists.
struct Roster {
    QByteArray bytes;
    QString source;
};

// The setup of one run: the general options of the values; the tests from the tests roster when
// there is one, otherwise from the values; the students likewise. Students taken from the values
// keep their points when the tests come from a roster, which fails when a student has points
// for more tests than the roster holds. Every fault throws Failure; what is returned is whole.
//
// Points are read as `decimalSeparator` reads them. With `warnings`, every value that will not
// count as it should (see pointsIssues) is added to it, each naming where it was read and the
// value ("students.csv, line 4, column 3 (Quiz A): \"abc\" is not a number: ..."), and so is every
// column of a students roster's header row that names no test and every test no column names.
GradebookSetup assembleSetup(const SetupValues& values, const Roster* testsRoster, const Roster* studentsRoster,
                             QStringList* warnings = nullptr, QChar decimalSeparator = u'.');

} // namespace markwell::cli
