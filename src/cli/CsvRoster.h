#pragma once

#include "setup/GradebookSetup.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace markwell::cli {

// One record of a CSV file and the line it starts on (1-based).
struct CsvRecord {
    QStringList fields;
    int line = 0;
};

// Splits RFC 4180 text (commas, double quotes doubled inside quoted fields, line breaks inside
// quotes, CRLF or LF) into records. A UTF-8 byte-order mark is skipped; invalid UTF-8 and
// malformed quoting throw Failure with the file name and the line number.
std::vector<CsvRecord> parseCsv(const QByteArray& bytes, const QString& fileName);

// Tests roster: name, possible points. A first row "Assignment or Test Name", "Possible Points"
// (any case) is a header and is skipped.
std::vector<TestRow> readTestsCsv(const QByteArray& bytes, const QString& fileName);

// Students roster: name, ID, then one points column per test (at most `testCount`). A first row
// starting "Student Name", "Student ID" is a header and is skipped.
std::vector<StudentRow> readStudentsCsv(const QByteArray& bytes, const QString& fileName, qsizetype testCount);

} // namespace markwell::cli
