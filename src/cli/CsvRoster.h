#pragma once

#include "setup/GradebookSetup.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace markwell::cli {

// One record of a CSV file and the line it starts on (1-based).
struct CsvRecord {
    QStringList fields; // the first fields, at most the reader's maxFields
    // How many fields the record has up to the last one that holds text: trailing empty fields (a
    // spreadsheet program writes them for formatted columns) do not count. Fields beyond maxFields
    // are counted, not kept.
    qsizetype width = 0;
    int line = 0;
};

// Reads RFC 4180 text (commas, double quotes doubled inside quoted fields, line breaks inside
// quotes) and hands each record to onRecord in order; the record is reused for the next one, so
// memory stays near the size of one record. Lines end with CR, LF or CRLF. A UTF-8 byte-order mark
// is skipped. Records in which no field holds any text (blank lines, ",,,") carry nothing and are
// skipped. Invalid UTF-8 and malformed quoting throw Failure with `source` and the line number;
// so may onRecord, which ends the reading.
void readCsv(QByteArrayView bytes, const QString& source, qsizetype maxFields,
             const std::function<void(const CsvRecord&)>& onRecord);

// All records at once, for small texts.
std::vector<CsvRecord> parseCsv(QByteArrayView bytes, const QString& source);

// Tests roster: name, possible points. A first row "Assignment or Test Name", "Possible Points"
// (any case) is a header and is skipped. More than kMaxListRows tests throw Failure.
std::vector<TestRow> readTestsCsv(QByteArrayView bytes, const QString& source);

// Students roster: name, ID, then one points column per test (at most `testCount`). A first row
// starting "Student Name", "Student ID" is a header and is skipped. Every student gets exactly
// testCount points fields. More than kMaxListRows students throw Failure.
std::vector<StudentRow> readStudentsCsv(QByteArrayView bytes, const QString& source, qsizetype testCount);

} // namespace markwell::cli
