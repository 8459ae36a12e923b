#include "setup/RosterImport.h"

#include "setup/StudentsModel.h"

#include <algorithm>

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

constexpr qsizetype kShownRows = 3;
constexpr qsizetype kShownTests = 8;

// Lines that name a problem each, the ones beyond kMaxNamedRosterFaults summed up.
QString namedLines(const QStringList& lines) {
    const qsizetype shown = std::min(lines.size(), kMaxNamedRosterFaults);
    QString out = lines.first(shown).join(u'\n');
    if (const qsizetype unnamed = lines.size() - shown; unnamed > 0) {
        out += u"\nAnd %1 more."_s.arg(unnamed);
    }
    return out;
}

// What the question says about the rows, as paragraphs: the first rows as they will be added, and
// the values that will not count or are above their possible points.
struct RowsPreview {
    QStringList paragraphs;
    bool doubtful = false; // something will not count
};

template <class Row>
RosterOffer offer(const RosterRows<Row>& roster, const QString& source, const QString& rowsName,
                  const QString& question, const RowsPreview& preview) {
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
    QStringList paragraphs{question};
    paragraphs << preview.paragraphs;
    if (!faults.isEmpty()) {
        paragraphs << u"These lines of %1 cannot be taken and will be left out:\n%2"_s.arg(source, faults);
    }
    return {paragraphs.join(u"\n\n"_s), true, preview.doubtful || roster.faultCount > 0};
}

// The values that will not count, by line and test.
template <class Row>
void addIssues(RowsPreview& preview, const std::vector<PointsIssue>& issues, const RosterRows<Row>& roster,
               const std::vector<TestRow>& tests) {
    if (issues.empty()) {
        return;
    }
    QStringList lines;
    for (const PointsIssue& i : issues) {
        const qsizetype line = roster.lines[static_cast<size_t>(i.row)];
        lines << (i.test < 0 ? u"Line %1: %2"_s.arg(QString::number(line), i.problem)
                             : u"Line %1, %2: %3"_s.arg(QString::number(line),
                                                        shortened(tests[static_cast<size_t>(i.test)].name), i.problem));
    }
    preview.paragraphs << u"These values will not count as they should:\n"_s + namedLines(lines);
    preview.doubtful = true;
}

} // namespace

RosterOffer offerTests(const RosterRows<TestRow>& roster, const QString& source, QChar decimalSeparator) {
    const auto n = static_cast<qsizetype>(roster.rows.size());
    RowsPreview preview;
    QStringList shown;
    for (qsizetype r = 0; r < std::min(n, kShownRows); ++r) {
        const TestRow& t = roster.rows[static_cast<size_t>(r)];
        shown << u"%1: %2 possible points"_s.arg(shortened(t.name), shortened(t.possiblePoints));
    }
    if (!shown.isEmpty()) {
        preview.paragraphs << u"The first tests as they will be added:\n"_s + shown.join(u'\n');
    }
    addIssues(preview, pointsIssues(roster.rows, {}, decimalSeparator), roster, roster.rows);
    return offer(roster, source, u"tests"_s, u"Add %1?"_s.arg(count(n, u"test"_s, u"tests"_s)), preview);
}

RosterOffer offerStudents(const RosterRows<StudentRow>& roster, const QString& source,
                          const std::vector<TestRow>& tests, QChar decimalSeparator) {
    const auto n = static_cast<qsizetype>(roster.rows.size());
    const auto testCount = static_cast<qsizetype>(tests.size());
    RowsPreview preview;
    if (!roster.unmatchedColumns.isEmpty()) {
        preview.paragraphs << u"These columns name no test of the students list and will be left out: %1."_s.arg(
            roster.unmatchedColumns.join(u", "_s));
        preview.doubtful = true;
    }
    if (roster.headerSkipped) {
        QStringList missing;
        for (qsizetype t = 0; t < std::min(testCount, static_cast<qsizetype>(roster.columnOfTest.size())); ++t) {
            if (roster.columnOfTest[static_cast<size_t>(t)] < 0) {
                missing << u"\"%1\""_s.arg(shortened(tests[static_cast<size_t>(t)].name));
            }
        }
        if (!missing.isEmpty()) {
            preview.paragraphs << u"These tests have no column and get no points: %1."_s.arg(missing.join(u", "_s));
        }
    }
    QStringList shown;
    for (qsizetype r = 0; r < std::min(n, kShownRows); ++r) {
        const StudentRow& s = roster.rows[static_cast<size_t>(r)];
        QStringList points;
        for (qsizetype t = 0; t < std::min(testCount, kShownTests); ++t) {
            const QString p = s.pointsFor(t);
            points << u"%1: %2"_s.arg(shortened(tests[static_cast<size_t>(t)].name),
                                      p.isEmpty() ? u"(none)"_s : shortened(p));
        }
        if (testCount > kShownTests) {
            points << u"and %1 more"_s.arg(count(testCount - kShownTests, u"test"_s, u"tests"_s));
        }
        const QString student = u"%1 (%2)"_s.arg(shortened(s.name), shortened(s.id));
        shown << (points.isEmpty() ? student : student + u" - "_s + points.join(u"; "_s));
    }
    if (!shown.isEmpty()) {
        preview.paragraphs << u"The first students as they will be added:\n"_s + shown.join(u'\n');
    }
    // The tests' own possible points are not what is being added.
    std::vector<PointsIssue> issues = pointsIssues(tests, roster.rows, decimalSeparator);
    std::erase_if(issues, [](const PointsIssue& i) { return i.test < 0; });
    addIssues(preview, issues, roster, tests);
    const QString students = count(n, u"student"_s, u"students"_s);
    const QString question =
        roster.widestPoints == 0
            ? u"Add %1?"_s.arg(students)
            : u"Add %1 with points for %2?"_s.arg(students, count(roster.widestPoints, u"test"_s, u"tests"_s));
    return offer(roster, source, u"students"_s, question, preview);
}

void appendStudents(StudentsModel& students, const std::vector<StudentRow>& rows) {
    if (rows.empty()) {
        return;
    }
    const qsizetype first = students.appendRows(rows);
    students.makeCurrent(first + static_cast<qsizetype>(rows.size()) - 1);
}

} // namespace markwell
