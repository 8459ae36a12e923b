#pragma once

#include "setup/GradebookSetup.h"
#include "setup/RosterText.h"

#include <QByteArrayView>
#include <QString>

#include <functional>
#include <vector>

namespace markwell::cli {

// markwell-cli's rosters, read by the rules the main window uses for pasted and dropped rows
// (setup/RosterText.h). Every fault throws Failure naming `source` and the line.

using CsvRecord = RosterRecord;

// Reads comma-separated records and hands each to onRecord in order (see readRosterRecords); a
// malformed record throws instead, and so may onRecord, which ends the reading.
void readCsv(QByteArrayView bytes, const QString& source, qsizetype maxFields,
             const std::function<void(const CsvRecord&)>& onRecord);

// All records at once, for small texts.
std::vector<CsvRecord> parseCsv(QByteArrayView bytes, const QString& source);

// Tests roster: name, possible points; comma-, semicolon- or tab-separated, with a header row or
// without (see readTestsRoster). Semicolon-separated points with a decimal comma are kept for
// `decimalSeparator`. More than kMaxListRows tests throw Failure.
RosterRows<TestRow> readTestsRosterFile(QByteArrayView bytes, const QString& source, QChar decimalSeparator);
std::vector<TestRow> readTestsCsv(QByteArrayView bytes, const QString& source);

// Students roster: name, ID, then points, matched to the tests by a header row's captions or by
// position (see readStudentsRoster); separated and kept as the tests roster is. Every student gets
// exactly one points field per test. More than kMaxListRows students throw Failure.
RosterRows<StudentRow> readStudentsRosterFile(QByteArrayView bytes, const QString& source, const QStringList& testNames,
                                              QChar decimalSeparator);
std::vector<StudentRow> readStudentsCsv(QByteArrayView bytes, const QString& source, const QStringList& testNames);

} // namespace markwell::cli
