#include "cli/CsvRoster.h"

#include "cli/TextInput.h"

using namespace Qt::Literals::StringLiterals;

namespace markwell::cli {

namespace {

[[noreturn]] void malformed(const QString& source, qsizetype line, const QString& what) {
    if (line <= 0) {
        fail(u"%1: %2"_s.arg(source, what));
    }
    fail(u"%1, line %2: %3"_s.arg(source, QString::number(line), what));
}

// The rows, or the first fault as a failure.
template <class Row> std::vector<Row> rowsOrFailure(RosterRows<Row>&& roster, const QString& source) {
    if (roster.textFault) {
        malformed(source, 0, *roster.textFault);
    }
    if (!roster.faults.empty()) {
        malformed(source, roster.faults.front().line, roster.faults.front().why);
    }
    return std::move(roster.rows);
}

RosterRules firstFaultFails() {
    RosterRules rules;
    rules.stopAtFirstFault = true;
    return rules;
}

} // namespace

void readCsv(QByteArrayView bytes, const QString& source, qsizetype maxFields,
             const std::function<void(const CsvRecord&)>& onRecord) {
    const auto textFault = readRosterRecords(bytes, FieldSeparator::Comma, maxFields, [&](const RosterRecord& record) {
        if (!record.fault.isEmpty()) {
            malformed(source, record.faultLine, record.fault);
        }
        onRecord(record);
        return true;
    });
    if (textFault) {
        malformed(source, 0, *textFault);
    }
}

std::vector<CsvRecord> parseCsv(QByteArrayView bytes, const QString& source) {
    std::vector<CsvRecord> records;
    readCsv(bytes, source, kMaxRowFields, [&](const CsvRecord& r) { records.push_back(r); });
    return records;
}

std::vector<TestRow> readTestsCsv(QByteArrayView bytes, const QString& source) {
    return rowsOrFailure(readTestsRoster(bytes, firstFaultFails()), source);
}

std::vector<StudentRow> readStudentsCsv(QByteArrayView bytes, const QString& source, qsizetype testCount) {
    RosterRules rules = firstFaultFails();
    rules.testCount = testCount;
    return rowsOrFailure(readStudentsRoster(bytes, rules), source);
}

} // namespace markwell::cli
