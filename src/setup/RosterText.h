#pragma once

#include "setup/GradebookSetup.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace markwell {

// Class rosters as text: CSV files, and the tab-separated rows that spreadsheet programs put on
// the clipboard. The main window (paste, drop) and markwell-cli (--tests-csv, --students-csv) read
// them with these routines.

// Roster texts larger than this are refused (a class at the workbook's limits, 250 tests and
// 32,767 students, needs a fraction of it).
inline constexpr qint64 kMaxRosterBytes = qint64{64} << 20;

// The text as a message shows a field: its first 40 characters, "..." after them when there are more.
QString shortened(const QString& text);

// The length of the line end at `at` (CRLF: 2, CR or LF: 1), or 0 when there is none.
qsizetype lineEndAt(QByteArrayView bytes, qsizetype at);

enum class FieldSeparator : char { Comma = ',', Tab = '\t', Semicolon = ';' };

// Decided by the first line that holds anything, outside double quotes: a tab there makes it tab;
// otherwise semicolons, when there are some and no fewer than commas (spreadsheet programs save
// CSV that way where the comma is the decimal separator); otherwise comma.
FieldSeparator detectFieldSeparator(QByteArrayView text);

// One record and the line it starts on (1-based).
struct RosterRecord {
    QStringList fields; // the first fields, at most the reader's maxFields
    // How many fields the record has up to the last one that holds text: trailing empty fields (a
    // spreadsheet program writes them for formatted columns) do not count. Fields beyond maxFields
    // are counted, not kept.
    qsizetype width = 0;
    qsizetype line = 0;
    // Why the record is malformed, and the line where that was found; empty when it is sound.
    QString fault;
    qsizetype faultLine = 0;
};

// The fault of a text that is not UTF-8 at all.
inline constexpr char16_t kNotUtf8Text[] = u"the file is UTF-16 or UTF-32 text; please save it as UTF-8.";

// Reads the records of UTF-8 text (a leading byte-order mark is skipped) and hands each to
// onRecord in order; the record is reused for the next one, so memory stays near the size of one
// record. Lines end with CR, LF or CRLF. Fields are quoted as RFC 4180 says: in double quotes,
// doubled inside, line breaks and separators allowed inside. Records in which no field holds any
// text are skipped. onRecord returns false to stop the reading.
//
// A malformed record is handed over with its fault and reading goes on: a double quote inside a
// field that does not start with one, text after a closing quote, bytes that are not UTF-8 (the
// fields then hold replacement characters). A quoted field that is never closed ends the reading.
// With tabs, spreadsheet programs do not quote a field only because it holds a double quote, so
// there a quote that does not open a properly closed field is taken as it stands.
//
// Returns the fault of the whole text (kNotUtf8Text) when it starts with a UTF-16 or UTF-32
// byte-order mark; no record is read then.
std::optional<QString> readRosterRecords(QByteArrayView bytes, FieldSeparator separator, qsizetype maxFields,
                                         const std::function<bool(const RosterRecord&)>& onRecord);

// A row that cannot be taken, by its line number.
struct RosterFault {
    qsizetype line = 0;
    QString why;
};

// What to take from a roster.
struct RosterRules {
    qsizetype room = kMaxListRows;     // how many more rows the list can hold
    QStringList testNames;             // students: the tests, one points column each
    bool refuseListSeparators = false; // a field holding "|" or "^" makes its row a fault
    bool stopAtFirstFault = false;
    // The decimal separator the points are kept for. Semicolon-separated text carries decimal
    // commas: under a decimal point, its points that read as numbers that way get a point instead.
    QChar decimalSeparator = u'.';
};

inline constexpr qsizetype kMaxNamedRosterFaults = 20;

// The rows that can be taken, in order, and the rows that cannot.
template <class Row> struct RosterRows {
    std::vector<Row> rows;
    std::vector<RosterFault> faults; // the first kMaxNamedRosterFaults, in line order
    qsizetype faultCount = 0;        // all rows that cannot be taken
    std::optional<QString> textFault;
    std::vector<qsizetype> lines; // the line each row starts on
    bool headerSkipped = false;
    FieldSeparator separator = FieldSeparator::Comma;
    // Students: the most points columns a row that can be taken fills, and the column (0-based)
    // each test's points were taken from, -1 for none. With a header row, the header captions
    // that name no test (or a test already matched) are listed; their columns are not taken.
    qsizetype widestPoints = 0;
    std::vector<qsizetype> columnOfTest;
    QStringList unmatchedColumns;
};

// Tests: name, possible points. A first row "Assignment or Test Name" (or "Test Name", "Test",
// "Name"), "Possible Points" (or "Points"), in any case, is a header and is skipped. The field
// separator is detected.
RosterRows<TestRow> readTestsRoster(QByteArrayView bytes, const RosterRules& rules);

// Students: name, ID, then points. The first row is a header when it starts "Student Name" (or
// "Name", "Student"), "Student ID" (or "ID"), or when every caption after the first two that holds
// text names a test, not all of them by a number. With a header, each points column goes to the test it names (case and
// surrounding blanks ignored, in any order; the n-th column of a name to the n-th test of that
// name). Without one, the points columns go to the tests by position, and a row with more points
// than there are tests is a fault. Every student gets exactly one points field per test. The field
// separator is detected.
RosterRows<StudentRow> readStudentsRoster(QByteArrayView bytes, const RosterRules& rules);

// Rows as spreadsheet programs take them from the clipboard: the captions first, one line per
// row, fields separated by tabs; a field holding a tab, a line break or a double quote is quoted.
QString tabSeparatedText(const QStringList& captions, const std::vector<QStringList>& rows);

} // namespace markwell
