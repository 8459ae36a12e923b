// The roster reader (pasted rows, dropped and given CSV files) on arbitrary bytes: it must take
// rows or name faults, never crash or hang, and what it takes keeps to its rules. The first byte
// chooses the rules, the rest is the text.
#include "setup/RosterText.h"

#include <cstddef>
#include <cstdint>

namespace {

using namespace markwell;

template <class Row> void check(const RosterRows<Row>& read, const RosterRules& rules) {
    if (static_cast<qsizetype>(read.rows.size()) > rules.room ||
        static_cast<qsizetype>(read.faults.size()) > kMaxNamedRosterFaults ||
        read.faultCount < static_cast<qsizetype>(read.faults.size()) ||
        (rules.stopAtFirstFault && read.faultCount > 1)) {
        __builtin_trap();
    }
    for (std::size_t i = 0; i < read.faults.size(); ++i) {
        if (read.faults[i].line < 1 || read.faults[i].why.isEmpty() ||
            (i > 0 && read.faults[i].line < read.faults[i - 1].line)) {
            __builtin_trap();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::uint8_t choice = data[0];
    const QByteArrayView text(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    RosterRules rules;
    rules.testCount = choice & 7;
    rules.refuseListSeparators = (choice & 8) != 0;
    rules.stopAtFirstFault = (choice & 16) != 0;
    rules.room = (choice & 32) != 0 ? 3 : kMaxListRows;

    check(readTestsRoster(text, rules), rules);
    const RosterRows<StudentRow> students = readStudentsRoster(text, rules);
    check(students, rules);
    for (const StudentRow& s : students.rows) {
        if (s.points.size() != rules.testCount) {
            __builtin_trap();
        }
    }
    qsizetype lastLine = 0;
    (void)readRosterRecords(text, detectFieldSeparator(text), 1 + (choice >> 6), [&](const RosterRecord& r) {
        // A record with a fault and then an unclosed quote is handed over twice.
        if (r.line < lastLine || r.fields.size() > 1 + (choice >> 6) || r.width < 0) {
            __builtin_trap();
        }
        lastLine = r.line;
        return true;
    });
    return 0;
}
