#include "setup/RosterImport.h"

#include "setup/StudentsModel.h"

using namespace Qt::Literals::StringLiterals;

namespace markwell {

namespace {

QString count(qsizetype n, const QString& one, const QString& many) {
    return QString::number(n) + u' ' + (n == 1 ? one : many);
}

// The rows that cannot be taken, one line each, the ones beyond those named summed up.
QString faultLines(const std::vector<RosterFault>& faults, qsizetype faultCount) {
    QStringList lines;
    for (const RosterFault& f : faults) {
        lines << u"Line %1: %2"_s.arg(QString::number(f.line), f.why);
    }
    const qsizetype unnamed = faultCount - static_cast<qsizetype>(faults.size());
    if (unnamed > 0) {
        lines << u"And %1 more %2."_s.arg(QString::number(unnamed), unnamed == 1 ? u"line"_s : u"lines"_s);
    }
    return lines.join(u'\n');
}

template <class Row>
RosterOffer offer(const RosterRows<Row>& roster, const QString& source, const QString& rowsName,
                  const QString& question) {
    if (roster.textFault) {
        return {u"Nothing can be added from %1: %2"_s.arg(source, *roster.textFault), false};
    }
    const QString faults = faultLines(roster.faults, roster.faultCount);
    if (roster.rows.empty()) {
        if (faults.isEmpty()) {
            return {u"There are no %1 to add in %2."_s.arg(rowsName, source), false};
        }
        return {u"Nothing can be added from %1:\n\n%2"_s.arg(source, faults), false};
    }
    if (faults.isEmpty()) {
        return {question, true};
    }
    return {u"%1\n\nThese lines of %2 cannot be taken and will be left out:\n%3"_s.arg(question, source, faults), true};
}

} // namespace

RosterOffer offerTests(const RosterRows<TestRow>& roster, const QString& source) {
    const auto n = static_cast<qsizetype>(roster.rows.size());
    return offer(roster, source, u"tests"_s, u"Add %1?"_s.arg(count(n, u"test"_s, u"tests"_s)));
}

RosterOffer offerStudents(const RosterRows<StudentRow>& roster, const QString& source) {
    const auto n = static_cast<qsizetype>(roster.rows.size());
    const QString students = count(n, u"student"_s, u"students"_s);
    const QString question =
        roster.widestPoints == 0
            ? u"Add %1?"_s.arg(students)
            : u"Add %1 with points for %2?"_s.arg(students, count(roster.widestPoints, u"test"_s, u"tests"_s));
    return offer(roster, source, u"students"_s, question);
}

void appendStudents(StudentsModel& students, const std::vector<StudentRow>& rows) {
    if (rows.empty()) {
        return;
    }
    const qsizetype first = students.appendRows(rows);
    students.makeCurrent(first + static_cast<qsizetype>(rows.size()) - 1);
}

} // namespace markwell
