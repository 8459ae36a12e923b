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

// The roster, or its first fault as a failure.
template <class Row> RosterRows<Row> checked(RosterRows<Row>&& roster, const QString& source) {
    if (roster.textFault) {
        malformed(source, 0, *roster.textFault);
    }
    if (!roster.faults.empty()) {
        malformed(source, roster.faults.front().line, roster.faults.front().why);
    }
    return std::move(roster);
}

RosterRules firstFaultFails(QChar decimalSeparator) {
    RosterRules rules;
    rules.stopAtFirstFault = true;
    rules.decimalSeparator = decimalSeparator;
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

RosterRows<TestRow> readTestsRosterFile(QByteArrayView bytes, const QString& source, QChar decimalSeparator) {
    return checked(readTestsRoster(bytes, firstFaultFails(decimalSeparator)), source);
}

std::vector<TestRow> readTestsCsv(QByteArrayView bytes, const QString& source) {
    return readTestsRosterFile(bytes, source, u'.').rows;
}

RosterRows<StudentRow> readStudentsRosterFile(QByteArrayView bytes, const QString& source, const QStringList& testNames,
                                              QChar decimalSeparator) {
    RosterRules rules = firstFaultFails(decimalSeparator);
    rules.testNames = testNames;
    return checked(readStudentsRoster(bytes, rules), source);
}

std::vector<StudentRow> readStudentsCsv(QByteArrayView bytes, const QString& source, const QStringList& testNames) {
    return readStudentsRosterFile(bytes, source, testNames, u'.').rows;
}

} // namespace markwell::cli
