#include "cli/CsvRoster.h"

#include "common/ErrorReport.h"

#include <QStringDecoder>

using namespace Qt::Literals::StringLiterals;

namespace markwell::cli {

namespace {

QString decodeUtf8(const QByteArray& bytes, const QString& fileName) {
    QByteArray body = bytes;
    if (body.startsWith("\xEF\xBB\xBF")) {
        body.remove(0, 3);
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(body);
    if (decoder.hasError()) {
        throw Failure(u"%1: the file is not UTF-8 text."_s.arg(fileName));
    }
    return text;
}

[[noreturn]] void malformed(const QString& fileName, int line, const QString& what) {
    throw Failure(u"%1, line %2: %3"_s.arg(fileName).arg(line).arg(what));
}

bool sameCaption(const QString& a, const char16_t* b) {
    return a.trimmed().compare(QString::fromUtf16(b), Qt::CaseInsensitive) == 0;
}

bool blankRecord(const CsvRecord& r) {
    return r.fields.size() == 1 && r.fields[0].isEmpty();
}

} // namespace

std::vector<CsvRecord> parseCsv(const QByteArray& bytes, const QString& fileName) {
    const QString text = decodeUtf8(bytes, fileName);
    std::vector<CsvRecord> records;
    CsvRecord record{{}, 1};
    QString field;
    int line = 1;
    bool quoted = false;     // inside a quoted field
    bool afterQuote = false; // a quoted field has just closed
    bool fieldStarted = false;
    auto endField = [&] {
        record.fields << field;
        field.clear();
        afterQuote = false;
        fieldStarted = false;
    };
    auto endRecord = [&] {
        endField();
        records.push_back(record);
        record = CsvRecord{{}, line};
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text.at(i);
        if (quoted) {
            if (ch == u'"') {
                if (i + 1 < text.size() && text.at(i + 1) == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    quoted = false;
                    afterQuote = true;
                }
            } else {
                if (ch == u'\n') {
                    ++line;
                }
                field += ch;
            }
            continue;
        }
        if (ch == u',') {
            endField();
        } else if (ch == u'\r' || ch == u'\n') {
            if (ch == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') {
                ++i;
            }
            ++line;
            endRecord();
        } else if (ch == u'"') {
            if (fieldStarted || afterQuote) {
                malformed(fileName, line, u"a double quote inside a field that does not start with one."_s);
            }
            quoted = true;
            fieldStarted = true;
        } else {
            if (afterQuote) {
                malformed(fileName, line, u"text after the closing double quote of a field."_s);
            }
            field += ch;
            fieldStarted = true;
        }
    }
    if (quoted) {
        malformed(fileName, record.line, u"a quoted field is not closed."_s);
    }
    if (fieldStarted || afterQuote || !record.fields.isEmpty()) {
        endRecord();
    }
    // Blank lines carry nothing.
    std::erase_if(records, blankRecord);
    return records;
}

std::vector<TestRow> readTestsCsv(const QByteArray& bytes, const QString& fileName) {
    std::vector<CsvRecord> records = parseCsv(bytes, fileName);
    std::vector<TestRow> tests;
    for (size_t i = 0; i < records.size(); ++i) {
        const CsvRecord& r = records[i];
        if (i == 0 && r.fields.size() >= 2 && sameCaption(r.fields[0], u"Assignment or Test Name") &&
            sameCaption(r.fields[1], u"Possible Points")) {
            continue;
        }
        if (r.fields.size() > 2) {
            malformed(fileName, r.line,
                      u"%1 fields, but a test has two: name and possible points."_s.arg(r.fields.size()));
        }
        tests.push_back({r.fields.value(0), r.fields.value(1)});
        if (static_cast<qsizetype>(tests.size()) > kMaxListRows) {
            malformed(fileName, r.line, u"more than %1 tests."_s.arg(kMaxListRows));
        }
    }
    return tests;
}

std::vector<StudentRow> readStudentsCsv(const QByteArray& bytes, const QString& fileName, qsizetype testCount) {
    std::vector<CsvRecord> records = parseCsv(bytes, fileName);
    std::vector<StudentRow> students;
    for (size_t i = 0; i < records.size(); ++i) {
        const CsvRecord& r = records[i];
        if (i == 0 && r.fields.size() >= 2 && sameCaption(r.fields[0], u"Student Name") &&
            sameCaption(r.fields[1], u"Student ID")) {
            continue;
        }
        if (r.fields.size() - 2 > testCount) {
            malformed(fileName, r.line,
                      u"%1 points columns, but there are only %2 tests."_s.arg(r.fields.size() - 2).arg(testCount));
        }
        StudentRow row{r.fields.value(0), r.fields.value(1), {}};
        for (qsizetype t = 0; t < testCount; ++t) {
            row.points << r.fields.value(t + 2);
        }
        students.push_back(std::move(row));
        if (static_cast<qsizetype>(students.size()) > kMaxListRows) {
            malformed(fileName, r.line, u"more than %1 students."_s.arg(kMaxListRows));
        }
    }
    return students;
}

} // namespace markwell::cli
