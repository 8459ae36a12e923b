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

// Tests roster: name, possible points; comma- or tab-separated. A first row "Assignment or Test
// Name", "Possible Points" (any case) is a header and is skipped. More than kMaxListRows tests
// throw Failure.
std::vector<TestRow> readTestsCsv(QByteArrayView bytes, const QString& source);

// Students roster: name, ID, then one points column per test (at most `testCount`); comma- or
// tab-separated. A first row starting "Student Name", "Student ID" is a header and is skipped.
// Every student gets exactly testCount points fields. More than kMaxListRows students throw
// Failure.
std::vector<StudentRow> readStudentsCsv(QByteArrayView bytes, const QString& source, qsizetype testCount);

} // namespace markwell::cli
