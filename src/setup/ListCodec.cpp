#include "setup/ListCodec.h"

#include "setup/Halves.h"

#include <QHash>
#include <QList>
#include <QStringView>

#include <algorithm>
#include <array>

using namespace Qt::Literals::StringLiterals;

namespace markwell {

namespace {

// Collects fault descriptions, describing the first few one by one and counting the rest.
class ProblemSink {
public:
    explicit ProblemSink(QStringList& out) : m_out(out) {}
    // Adds the summary line for the faults that were only counted.
    void finish() {
        if (m_dropped > 0) {
            m_out << u"%1 further stored fields had the same fault and were dropped as well."_s.arg(m_dropped);
        }
    }
    void add(const QString& description) {
        if (m_out.size() < kMaxDecodeProblems) {
            m_out << description;
        } else {
            ++m_dropped;
        }
    }
    // What another sink collected for a later part of the list, in order.
    void addAll(const QStringList& described, qsizetype dropped) {
        for (const QString& description : described) {
            add(description);
        }
        m_dropped += dropped;
    }
    qsizetype dropped() const { return m_dropped; }

private:
    QStringList& m_out;
    qsizetype m_dropped = 0;
};

QString shortened(QStringView text) {
    constexpr qsizetype kShown = 40;
    return text.size() <= kShown ? text.toString() : text.left(kShown).toString() + u"..."_s;
}

// Splits the stored value into row texts (views into `text`); a row text that is empty gives no
// row. Rows beyond the list's limit are counted, not kept.
QList<QStringView> rowTexts(const QString& text, const QString& key, ProblemSink& sink) {
    QList<QStringView> rows;
    if (text.isEmpty()) {
        return rows;
    }
    qsizetype extra = 0;
    for (const QStringView row : QStringView(text).split(kRowSeparator)) {
        if (row.isEmpty()) {
            continue;
        }
        if (rows.size() < kMaxListRows) {
            rows << row;
        } else {
            ++extra;
        }
    }
    if (extra > 0) {
        sink.add(u"The stored list \"%1\" has %2 rows more than the %3 a list can hold; they were dropped."_s.arg(
            key, QString::number(extra), QString::number(kMaxListRows)));
    }
    return rows;
}

// Points repeat from student to student ("8", "10", "12.5"): equal short fields share one string,
// so that a class of thousands of students does not hold millions of copies of a few values.
class FieldPool {
public:
    QString take(QStringView field) {
        if (field.size() > kShortField) {
            return field.toString();
        }
        // Most fields are one of a few texts seen a moment ago: found in a small table without
        // hashing the whole field or probing the pool.
        QString& recent = m_recent[slotOf(field)];
        if (std::equal(field.begin(), field.end(), recent.cbegin(), recent.cend())) {
            return recent;
        }
        const auto found = m_pool.constFind(field);
        if (found != m_pool.cend()) {
            recent = found.value();
            return recent;
        }
        QString text = field.toString();
        if (m_pool.size() < kMaxPooled) {
            // The key views the pooled string's own characters, which never change or move.
            m_pool.insert(QStringView(text), text);
        }
        recent = text;
        return text;
    }

private:
    static constexpr qsizetype kShortField = 12;
    static constexpr qsizetype kMaxPooled = 1 << 16;
    static constexpr std::size_t kRecentSlots = 1024;

    static std::size_t slotOf(QStringView field) {
        std::size_t h = static_cast<std::size_t>(field.size());
        for (const QChar c : field) {
            h = h * 31 + c.unicode();
        }
        return h % kRecentSlots;
    }

    QHash<QStringView, QString> m_pool;
    std::array<QString, kRecentSlots> m_recent;
};

} // namespace

bool containsListSeparator(const QString& text) {
    return text.contains(kRowSeparator) || text.contains(kFieldSeparator);
}

QString encodeTests(const std::vector<TestRow>& tests) {
    QStringList rows;
    rows.reserve(static_cast<qsizetype>(tests.size()));
    for (const TestRow& t : tests) {
        rows << t.name + kFieldSeparator + t.possiblePoints;
    }
    return rows.join(kRowSeparator);
}

QString encodeStudents(const std::vector<StudentRow>& students, qsizetype pointsCount) {
    QStringList rows;
    rows.reserve(static_cast<qsizetype>(students.size()));
    for (const StudentRow& s : students) {
        QString row = s.name + kFieldSeparator + s.id;
        for (qsizetype k = 0; k < pointsCount; ++k) {
            row += kFieldSeparator;
            row += s.pointsFor(k);
        }
        rows << row;
    }
    return rows.join(kRowSeparator);
}

DecodedList<TestRow> decodeTests(const QString& text) {
    DecodedList<TestRow> out;
    ProblemSink sink(out.problems);
    const QList<QStringView> rows = rowTexts(text, u"Tests"_s, sink);
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const QList<QStringView> fields = rows[r].split(kFieldSeparator);
        TestRow row;
        row.name = fields[0].toString();
        if (fields.size() > 1) {
            row.possiblePoints = fields[1].toString();
        }
        for (qsizetype f = 2; f < fields.size(); ++f) {
            if (fields[f].isEmpty()) {
                continue; // nothing is lost
            }
            sink.add(u"The stored tests list, row %1 (\"%2\"): field %3 (\"%4\") has no column to go into; "
                     u"a test has only a name and possible points. The field was dropped."_s.arg(
                         QString::number(r + 1), shortened(row.name), QString::number(f + 1), shortened(fields[f])));
        }
        out.rows.push_back(std::move(row));
    }
    sink.finish();
    return out;
}

namespace {

// The students of rows [first, end) of a list, with the faults found in them.
struct StudentsPart {
    std::vector<StudentRow> rows;
    QStringList problems;
    qsizetype dropped = 0;
};

void decodeStudentRows(const QList<QStringView>& rows, qsizetype first, qsizetype end, qsizetype pointsColumns,
                       StudentsPart& part) {
    ProblemSink sink(part.problems);
    part.rows.reserve(static_cast<std::size_t>(end - first));
    FieldPool pool;
    QList<QStringView> fields;
    for (qsizetype r = first; r < end; ++r) {
        fields.clear();
        for (const QStringView field : rows[r].tokenize(kFieldSeparator)) {
            fields << field;
        }
        StudentRow row;
        row.name = fields[0].toString();
        if (fields.size() > 1) {
            row.id = fields[1].toString();
        }
        row.points.reserve(std::clamp<qsizetype>(fields.size() - 2, 0, pointsColumns));
        for (qsizetype f = 2; f < fields.size(); ++f) {
            if (f - 2 < pointsColumns) {
                row.points << pool.take(fields[f]);
                continue;
            }
            // An empty surplus field holds nothing: a list saved while the test picker still
            // counted a deleted test ends in one.
            if (fields[f].isEmpty()) {
                continue;
            }
            sink.add(u"The stored students list, row %1 (\"%2\"): points field %3 (\"%4\") has no column to go "
                     u"into, since there are only %5 tests. The field was dropped."_s.arg(
                         QString::number(r + 1), shortened(row.name), QString::number(f - 1), shortened(fields[f]),
                         QString::number(pointsColumns)));
        }
        part.rows.push_back(std::move(row));
    }
    part.dropped = sink.dropped();
}

} // namespace

DecodedList<StudentRow> decodeStudents(const QString& text, qsizetype pointsColumns) {
    DecodedList<StudentRow> out;
    ProblemSink sink(out.problems);
    const QList<QStringView> rows = rowTexts(text, u"Students"_s, sink);
    // A class of thousands of students is read in two halves at once.
    constexpr qsizetype kRowsWorthAThread = 2048;
    std::array<StudentsPart, 2> parts;
    inTwoHalves(rows.size(), kRowsWorthAThread, [&](qsizetype first, qsizetype end) {
        decodeStudentRows(rows, first, end, pointsColumns, parts[first == 0 ? 0 : 1]);
    });
    out.rows = std::move(parts[0].rows);
    out.rows.insert(out.rows.end(), std::make_move_iterator(parts[1].rows.begin()),
                    std::make_move_iterator(parts[1].rows.end()));
    for (const StudentsPart& part : parts) {
        sink.addAll(part.problems, part.dropped);
    }
    sink.finish();
    return out;
}

} // namespace markwell
