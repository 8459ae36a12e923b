#include "cli/SetupFile.h"

#include "cli/CsvRoster.h"
#include "cli/TextInput.h"
#include "common/ErrorReport.h"
#include "gradebook/CreateTemplate.h"
#include "setup/ListCodec.h"
#include "setup/PointsText.h"

using namespace Qt::Literals::StringLiterals;

namespace markwell::cli {

namespace {

QString shortened(QStringView text) {
    constexpr qsizetype kShown = 40;
    return text.size() <= kShown ? text.toString() : text.first(kShown).toString() + u"..."_s;
}

QString count(qsizetype n, const QString& one, const QString& many) {
    return QString::number(n) + u' ' + (n == 1 ? one : many);
}

// Calls onRow for every row text of a stored list, empty ones included.
void forEachRow(const QString& text, const std::function<void(QStringView row)>& onRow) {
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = text.indexOf(kRowSeparator, start);
        onRow(QStringView(text).sliced(start, (end < 0 ? text.size() : end) - start));
        if (end < 0) {
            return;
        }
        start = end + 1;
    }
}

// Checks a stored list without splitting it: every row that holds text has at most maxFields
// fields, and there are at most kMaxListRows such rows. `fault` words a row with too many fields.
// Returns the list without its empty rows, which carry nothing, so that splitting it costs no
// more than the rows that are kept.
QString checkedList(const QString& text, const QString& where, qsizetype maxFields, const QString& rowsName,
                    const std::function<QString(QStringView row, qsizetype number, qsizetype fields)>& fault) {
    qsizetype rows = 0;
    bool emptyRows = false;
    forEachRow(text, [&](QStringView row) {
        if (row.isEmpty()) {
            emptyRows = true;
            return;
        }
        if (++rows > kMaxListRows) {
            fail(u"%1: the %2 list has more than %3 rows, but a list holds at most %3."_s.arg(
                where, rowsName, QString::number(kMaxListRows)));
        }
        if (const qsizetype fields = row.count(kFieldSeparator) + 1; fields > maxFields) {
            fail(u"%1: %2"_s.arg(where, fault(row, rows, fields)));
        }
    });
    if (!emptyRows) {
        return text;
    }
    QString kept;
    forEachRow(text, [&](QStringView row) {
        if (!row.isEmpty()) {
            if (!kept.isEmpty()) {
                kept += kRowSeparator;
            }
            kept += row;
        }
    });
    return kept;
}

} // namespace

const QStringList& setupKeys() {
    static const QStringList keys{u"txtName"_s, u"txtTeachName"_s, u"txtProject"_s,
                                  u"txtYSQ"_s,  u"Tests"_s,        u"Students"_s};
    return keys;
}

QString SetupValues::where(const QString& key) const {
    return origins.value(key, u"%1, key %2"_s.arg(source, key));
}

SetupValues parseSetupFile(QByteArrayView bytes, const QString& source) {
    SetupValues values;
    values.source = source;
    QMap<QString, qsizetype> lineOf;
    forEachLine(withoutByteOrderMark(bytes, source), [&](QByteArrayView raw, qsizetype number) {
        if (raw.isEmpty()) {
            return;
        }
        // "=" is one byte in UTF-8: the value is decoded once, straight from the file's bytes.
        const qsizetype eq = raw.indexOf('=');
        if (eq < 0) {
            decodeUtf8(raw, source, number);
            fail(u"%1, line %2: expected key=value, found no \"=\"."_s.arg(source, QString::number(number)));
        }
        const QString key = decodeUtf8(raw.first(eq), source, number);
        if (!setupKeys().contains(key)) {
            fail(u"%1, line %2: unknown key \"%3\" (known keys: %4)."_s.arg(source, QString::number(number),
                                                                            shortened(key), setupKeys().join(u", "_s)));
        }
        if (lineOf.contains(key)) {
            fail(u"%1, line %2: %3 was already given on line %4."_s.arg(source, QString::number(number), key,
                                                                        QString::number(lineOf.value(key))));
        }
        lineOf.insert(key, number);
        values.texts.insert(key, decodeUtf8(raw.sliced(eq + 1), source, number));
        values.origins.insert(key, u"%1, line %2"_s.arg(source, QString::number(number)));
    });
    return values;
}

std::vector<TestRow> testsFromValues(const SetupValues& values) {
    const QString where = values.where(u"Tests"_s);
    const QString list = checkedList(
        values.text(u"Tests"_s), where, 2, u"tests"_s, [](QStringView row, qsizetype number, qsizetype fields) {
            return u"row %1 of the tests list (\"%2\") has %3 fields, but a test has two: name and possible points."_s
                .arg(QString::number(number), shortened(row.first(row.indexOf(kFieldSeparator))),
                     QString::number(fields));
        });
    DecodedList<TestRow> tests = decodeTests(list);
    if (!tests.problems.isEmpty()) {
        fail(u"%1: %2"_s.arg(where, tests.problems.join(u' ')));
    }
    GradebookSetup fit;
    fit.tests = std::move(tests.rows);
    fit.pointsCount = static_cast<qsizetype>(fit.tests.size());
    if (const auto problem = checkSetupFitsWorkbook(fit)) {
        fail(u"%1: %2"_s.arg(where, *problem));
    }
    return std::move(fit.tests);
}

std::vector<StudentRow> studentsFromValues(const SetupValues& values, qsizetype testCount) {
    const QString where = values.where(u"Students"_s);
    const QString list = checkedList(
        values.text(u"Students"_s), where, 2 + testCount, u"students"_s,
        [&](QStringView row, qsizetype number, qsizetype fields) {
            return u"row %1 of the students list (\"%2\") has %3, but the tests list has %4."_s.arg(
                QString::number(number), shortened(row.first(row.indexOf(kFieldSeparator))),
                count(fields - 2, u"points field"_s, u"points fields"_s), count(testCount, u"test"_s, u"tests"_s));
        });
    DecodedList<StudentRow> students = decodeStudents(list, testCount);
    if (!students.problems.isEmpty()) {
        fail(u"%1: %2"_s.arg(where, students.problems.join(u' ')));
    }
    for (StudentRow& s : students.rows) {
        s.points.resize(testCount);
    }
    return std::move(students.rows);
}

namespace {

// Where the values of an assembled setup were read: a place per row, and one per column of the
// tests' possible points and of each test's points.
struct Places {
    std::vector<QString> tests, students;
    QString possibleColumn;
    std::vector<QString> pointsColumns;
};

template <class Row> std::vector<QString> rosterLines(const RosterRows<Row>& roster, const QString& source) {
    std::vector<QString> out;
    out.reserve(roster.lines.size());
    for (const qsizetype line : roster.lines) {
        out.push_back(u"%1, line %2"_s.arg(source, QString::number(line)));
    }
    return out;
}

std::vector<QString> listRows(std::size_t rows, const QString& where, const QString& listName) {
    std::vector<QString> out;
    out.reserve(rows);
    for (std::size_t r = 0; r < rows; ++r) {
        out.push_back(u"%1, row %2 of the %3 list"_s.arg(where, QString::number(r + 1), listName));
    }
    return out;
}

QStringList warningsOf(const GradebookSetup& setup, const Places& places, QChar decimalSeparator) {
    QStringList out;
    for (const PointsIssue& i : pointsIssues(setup.tests, setup.students, decimalSeparator)) {
        const auto row = static_cast<size_t>(i.row);
        out << (i.test < 0 ? u"%1, %2: %3"_s.arg(places.tests[row], places.possibleColumn, i.problem)
                           : u"%1, %2: %3"_s.arg(places.students[row],
                                                 places.pointsColumns[static_cast<size_t>(i.test)], i.problem));
    }
    return out;
}

} // namespace

GradebookSetup assembleSetup(const SetupValues& values, const Roster* testsRoster, const Roster* studentsRoster,
                             QStringList* warnings, QChar decimalSeparator) {
    GradebookSetup setup;
    Places places;
    setup.options.name = values.text(u"txtName"_s);
    setup.options.teacherName = values.text(u"txtTeachName"_s);
    setup.options.project = values.text(u"txtProject"_s);
    setup.options.ysq = values.text(u"txtYSQ"_s);
    if (testsRoster != nullptr) {
        RosterRows<TestRow> roster = readTestsRosterFile(testsRoster->bytes, testsRoster->source, decimalSeparator);
        places.tests = rosterLines(roster, testsRoster->source);
        places.possibleColumn = u"column 2"_s;
        setup.tests = std::move(roster.rows);
        GradebookSetup fit;
        fit.pointsCount = static_cast<qsizetype>(setup.tests.size());
        if (const auto problem = checkSetupFitsWorkbook(fit)) {
            fail(u"%1: %2"_s.arg(testsRoster->source, *problem));
        }
    } else {
        setup.tests = testsFromValues(values);
        places.tests = listRows(setup.tests.size(), values.where(u"Tests"_s), u"tests"_s);
        places.possibleColumn = u"field 2"_s;
    }
    setup.pointsCount = static_cast<qsizetype>(setup.tests.size());
    QStringList names;
    for (const TestRow& t : setup.tests) {
        names << t.name;
    }
    if (studentsRoster != nullptr) {
        RosterRows<StudentRow> roster =
            readStudentsRosterFile(studentsRoster->bytes, studentsRoster->source, names, decimalSeparator);
        places.students = rosterLines(roster, studentsRoster->source);
        for (qsizetype t = 0; t < setup.pointsCount; ++t) {
            places.pointsColumns.push_back(u"column %1 (%2)"_s.arg(
                QString::number(roster.columnOfTest[static_cast<size_t>(t)] + 1), shortened(names[t])));
        }
        setup.students = std::move(roster.rows);
        if (warnings != nullptr) {
            const QString header = u"%1, header row"_s.arg(studentsRoster->source);
            for (const QString& column : roster.unmatchedColumns) {
                *warnings << u"%1: the column %2 names no test; its points are left out."_s.arg(header, column);
            }
            for (qsizetype t = 0; t < setup.pointsCount && roster.headerSkipped; ++t) {
                if (roster.columnOfTest[static_cast<size_t>(t)] < 0) {
                    *warnings << u"%1: no column names the test \"%2\"; its points are left empty."_s.arg(
                        header, shortened(names[t]));
                }
            }
            *warnings << warningsOf(setup, places, decimalSeparator);
        }
        return setup;
    }
    // The stored points belong to the tests they were saved with.
    const qsizetype savedWith =
        testsRoster != nullptr ? static_cast<qsizetype>(testsFromValues(values).size()) : setup.pointsCount;
    setup.students = studentsFromValues(values, savedWith);
    for (qsizetype i = 0; i < static_cast<qsizetype>(setup.students.size()); ++i) {
        StudentRow& s = setup.students[static_cast<size_t>(i)];
        for (qsizetype t = setup.pointsCount; t < s.points.size(); ++t) {
            if (!s.points[t].isEmpty()) {
                fail(u"%1: row %2 of the students list (\"%3\") has points for test %4, but %5 holds only "
                     u"%6; give the students as a roster too (--students-csv)."_s.arg(
                         values.where(u"Students"_s), QString::number(i + 1), shortened(s.name), QString::number(t + 1),
                         testsRoster->source, count(setup.pointsCount, u"test"_s, u"tests"_s)));
            }
        }
        s.points.resize(setup.pointsCount);
    }
    if (warnings != nullptr) {
        places.students = listRows(setup.students.size(), values.where(u"Students"_s), u"students"_s);
        for (qsizetype t = 0; t < setup.pointsCount; ++t) {
            places.pointsColumns.push_back(u"field %1 (%2)"_s.arg(QString::number(t + 3), shortened(names[t])));
        }
        *warnings << warningsOf(setup, places, decimalSeparator);
    }
    return setup;
}

} // namespace markwell::cli
