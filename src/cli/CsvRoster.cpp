#include "cli/CsvRoster.h"

#include "cli/TextInput.h"
#include "common/ErrorReport.h"

using namespace Qt::Literals::StringLiterals;

namespace markwell::cli {

namespace {

[[noreturn]] void malformed(const QString& source, qsizetype line, const QString& what) {
    fail(u"%1, line %2: %3"_s.arg(source, QString::number(line), what));
}

bool sameCaption(const QString& a, const char16_t* b) {
    return a.trimmed().compare(QString::fromUtf16(b), Qt::CaseInsensitive) == 0;
}

QString count(qsizetype n, const QString& one, const QString& many) {
    return QString::number(n) + u' ' + (n == 1 ? one : many);
}

bool endsField(char c) {
    return c == ',' || c == '\n' || c == '\r';
}

// The number of line ends in bytes, a CRLF counting once.
qsizetype lineEndsIn(QByteArrayView bytes) {
    qsizetype count = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (const qsizetype end = lineEndAt(bytes, i); end > 0) {
            ++count;
            i += end - 1;
        }
    }
    return count;
}

} // namespace

void readCsv(QByteArrayView bytes, const QString& source, qsizetype maxFields,
             const std::function<void(const CsvRecord&)>& onRecord) {
    const QByteArrayView text = withoutByteOrderMark(bytes, source);
    const qsizetype size = text.size();
    CsvRecord record;
    record.line = 1;
    qsizetype line = 1;
    bool anyText = false;
    QByteArray quoted; // a quoted field without its quotes, doubled quotes made single
    qsizetype fieldCount = 0;
    auto addField = [&](QByteArrayView raw) {
        ++fieldCount;
        if (!raw.isEmpty()) {
            anyText = true;
            record.width = fieldCount;
        }
        if (fieldCount <= maxFields) {
            record.fields << decodeUtf8(raw, source, line);
        }
    };
    qsizetype i = 0;
    for (;;) {
        if (i < size && text[i] == '"') {
            const qsizetype opened = line;
            quoted.clear();
            ++i;
            for (;;) {
                const qsizetype close = text.indexOf('"', i);
                if (close < 0) {
                    malformed(source, opened, u"a quoted field is not closed."_s);
                }
                const QByteArrayView part = text.sliced(i, close - i);
                line += lineEndsIn(part);
                quoted += part;
                if (close + 1 < size && text[close + 1] == '"') {
                    quoted += '"';
                    i = close + 2;
                    continue;
                }
                i = close + 1;
                break;
            }
            if (i < size && !endsField(text[i])) {
                malformed(source, line, u"text after the closing double quote of a field."_s);
            }
            addField(quoted);
        } else {
            qsizetype end = i;
            while (end < size && !endsField(text[end])) {
                if (text[end] == '"') {
                    malformed(source, line, u"a double quote inside a field that does not start with one."_s);
                }
                ++end;
            }
            addField(text.sliced(i, end - i));
            i = end;
        }
        if (i < size && text[i] == ',') {
            ++i;
            continue;
        }
        // The end of a record: a line end or the end of the text.
        if (anyText) {
            onRecord(record);
        }
        if (i >= size) {
            break;
        }
        i += lineEndAt(text, i);
        ++line;
        record.fields.clear();
        record.width = 0;
        fieldCount = 0;
        record.line = static_cast<int>(line);
        anyText = false;
        if (i >= size) {
            break;
        }
    }
}

std::vector<CsvRecord> parseCsv(QByteArrayView bytes, const QString& source) {
    std::vector<CsvRecord> records;
    readCsv(bytes, source, kMaxRowFields, [&](const CsvRecord& r) { records.push_back(r); });
    return records;
}

std::vector<TestRow> readTestsCsv(QByteArrayView bytes, const QString& source) {
    std::vector<TestRow> tests;
    bool first = true;
    readCsv(bytes, source, 2, [&](const CsvRecord& r) {
        const bool header = first && r.fields.size() >= 2 && sameCaption(r.fields[0], u"Assignment or Test Name") &&
                            sameCaption(r.fields[1], u"Possible Points");
        first = false;
        if (header) {
            return;
        }
        if (r.width > 2) {
            malformed(
                source, r.line,
                u"%1, but a test has two: name and possible points."_s.arg(count(r.width, u"field"_s, u"fields"_s)));
        }
        if (static_cast<qsizetype>(tests.size()) >= kMaxListRows) {
            malformed(source, r.line, u"more than %1 tests: a list holds at most %1 rows."_s.arg(kMaxListRows));
        }
        tests.push_back({r.fields.value(0), r.fields.value(1)});
    });
    return tests;
}

std::vector<StudentRow> readStudentsCsv(QByteArrayView bytes, const QString& source, qsizetype testCount) {
    std::vector<StudentRow> students;
    bool first = true;
    readCsv(bytes, source, 2 + testCount, [&](const CsvRecord& r) {
        const bool header = first && r.fields.size() >= 2 && sameCaption(r.fields[0], u"Student Name") &&
                            sameCaption(r.fields[1], u"Student ID");
        first = false;
        if (header) {
            return;
        }
        if (r.width - 2 > testCount) {
            malformed(
                source, r.line,
                u"%1, but the gradebook has %2."_s.arg(count(r.width - 2, u"points column"_s, u"points columns"_s),
                                                       count(testCount, u"test"_s, u"tests"_s)));
        }
        if (static_cast<qsizetype>(students.size()) >= kMaxListRows) {
            malformed(source, r.line, u"more than %1 students: a list holds at most %1 rows."_s.arg(kMaxListRows));
        }
        StudentRow row{r.fields.value(0), r.fields.value(1), {}};
        row.points.reserve(testCount);
        for (qsizetype t = 0; t < testCount; ++t) {
            row.points << r.fields.value(t + 2);
        }
        students.push_back(std::move(row));
    });
    return students;
}

} // namespace markwell::cli
