#include "setup/RosterText.h"

#include "setup/ListCodec.h"
#include "setup/PointsText.h"

#include <QStringDecoder>

#include <algorithm>
#include <initializer_list>

using namespace Qt::Literals::StringLiterals;

namespace markwell {

namespace {

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

bool startsWithWideByteOrderMark(QByteArrayView bytes) {
    // UTF-32 LE begins like UTF-16 LE.
    return bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF") ||
           bytes.startsWith(QByteArrayView("\0\0\xFE\xFF", 4));
}

// The UTF-8 bytes as text, taken exactly (a U+FEFF at the start stays); false in `ok` when they
// are not UTF-8.
QString decodeUtf8(QByteArrayView bytes, bool& ok) {
    ok = true;
    if (bytes.isEmpty()) {
        return {};
    }
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    ok = !decoder.hasError();
    return text;
}

bool isCaption(const QString& field, std::initializer_list<const char16_t*> captions) {
    const QString caption = field.trimmed();
    return std::any_of(captions.begin(), captions.end(), [&](const char16_t* c) {
        return caption.compare(QString::fromUtf16(c), Qt::CaseInsensitive) == 0;
    });
}

// Points as they are kept: see RosterRules::decimalSeparator.
QString keptPoints(const QString& text, FieldSeparator separator, QChar decimalSeparator) {
    return separator == FieldSeparator::Semicolon && decimalSeparator != u',' ? pointsForWorkbook(text, u',') : text;
}

QString count(qsizetype n, const QString& one, const QString& many) {
    return QString::number(n) + u' ' + (n == 1 ? one : many);
}

// What makes a roster of one list: the name of its rows, whether its first record is a header row,
// and how a record becomes a row (an empty text) or why it cannot (the reason).
template <class Row> struct ListShape {
    const char16_t* rowsName;
    qsizetype maxFields;
    std::function<bool(const RosterRecord&)> isHeader;
    std::function<QString(const RosterRecord&, Row&)> take;
};

template <class Row>
RosterRows<Row> readRoster(QByteArrayView bytes, const RosterRules& rules, const ListShape<Row>& shape) {
    RosterRows<Row> out;
    bool first = true;
    // Counts the fault and names it while there is room; false when reading is to stop.
    auto fault = [&](qsizetype line, const QString& why) {
        ++out.faultCount;
        if (static_cast<qsizetype>(out.faults.size()) < kMaxNamedRosterFaults) {
            out.faults.push_back({line, why});
        }
        return !rules.stopAtFirstFault;
    };
    Row row;
    out.separator = detectFieldSeparator(bytes);
    out.textFault = readRosterRecords(bytes, out.separator, shape.maxFields, [&](const RosterRecord& r) {
        const bool firstRecord = first;
        first = false;
        if (!r.fault.isEmpty()) {
            return fault(r.faultLine, r.fault);
        }
        if (firstRecord && shape.isHeader(r)) {
            out.headerSkipped = true;
            return true;
        }
        if (const QString why = shape.take(r, row); !why.isEmpty()) {
            return fault(r.line, why);
        }
        if (rules.refuseListSeparators) {
            for (const QString& field : r.fields) {
                if (containsListSeparator(field)) {
                    return fault(r.line,
                                 u"\"%1\" holds a | or ^, which the lists cannot hold."_s.arg(shortened(field)));
                }
            }
        }
        if (static_cast<qsizetype>(out.rows.size()) >= rules.room) {
            return fault(r.line, u"more than %1 %2: a list holds at most %1 rows."_s.arg(
                                     QString::number(kMaxListRows), QString::fromUtf16(shape.rowsName)));
        }
        out.rows.push_back(std::move(row));
        out.lines.push_back(r.line);
        return true;
    });
    return out;
}

} // namespace

QString shortened(const QString& text) {
    constexpr qsizetype kShown = 40;
    return text.size() <= kShown ? text : text.left(kShown) + u"..."_s;
}

qsizetype lineEndAt(QByteArrayView bytes, qsizetype at) {
    if (at >= bytes.size()) {
        return 0;
    }
    if (bytes[at] == '\n') {
        return 1;
    }
    if (bytes[at] == '\r') {
        return at + 1 < bytes.size() && bytes[at + 1] == '\n' ? 2 : 1;
    }
    return 0;
}

FieldSeparator detectFieldSeparator(QByteArrayView text) {
    bool quoted = false;
    bool content = false;
    qsizetype commas = 0;
    qsizetype semicolons = 0;
    auto decided = [&] {
        return semicolons > 0 && semicolons >= commas ? FieldSeparator::Semicolon : FieldSeparator::Comma;
    };
    for (const char c : text) {
        if (c == '"') {
            quoted = !quoted; // a doubled quote inside a quoted field turns it off and on again
            content = true;
        } else if (quoted) {
            continue;
        } else if (c == '\t') {
            return FieldSeparator::Tab;
        } else if (c == '\n' || c == '\r') {
            if (content) {
                return decided();
            }
        } else {
            content = true;
            commas += c == ',' ? 1 : 0;
            semicolons += c == ';' ? 1 : 0;
        }
    }
    return decided();
}

std::optional<QString> readRosterRecords(QByteArrayView bytes, FieldSeparator separator, qsizetype maxFields,
                                         const std::function<bool(const RosterRecord&)>& onRecord) {
    if (startsWithWideByteOrderMark(bytes)) {
        return QString::fromUtf16(kNotUtf8Text);
    }
    const QByteArrayView text = bytes.startsWith("\xEF\xBB\xBF") ? bytes.sliced(3) : bytes;
    const qsizetype size = text.size();
    const char sep = static_cast<char>(separator);
    // With tabs, a double quote that does not open a properly closed field is just a character.
    const bool quotesAsTheyStand = separator == FieldSeparator::Tab;
    auto endsField = [sep](char c) { return c == sep || c == '\n' || c == '\r'; };
    auto plainFieldEnd = [&](qsizetype from) {
        while (from < size && !endsField(text[from])) {
            ++from;
        }
        return from;
    };

    RosterRecord record;
    record.line = 1;
    qsizetype line = 1;
    bool anyText = false;
    QByteArray quoted; // a quoted field without its quotes, doubled quotes made single
    qsizetype fieldCount = 0;
    auto faultAt = [&](qsizetype at, const QString& why) {
        if (record.fault.isEmpty()) {
            record.fault = why;
            record.faultLine = at;
        }
    };
    auto addField = [&](QByteArrayView raw) {
        ++fieldCount;
        if (!raw.isEmpty()) {
            anyText = true;
            record.width = fieldCount;
        }
        if (fieldCount <= maxFields) {
            bool ok = true;
            record.fields << decodeUtf8(raw, ok);
            if (!ok) {
                faultAt(line, u"the text is not UTF-8."_s);
            }
        }
    };
    qsizetype i = 0;
    for (;;) {
        const qsizetype start = i;
        if (i < size && text[i] == '"') {
            const qsizetype opened = line;
            quoted.clear();
            ++i;
            bool closed = false;
            for (;;) {
                const qsizetype close = text.indexOf('"', i);
                if (close < 0) {
                    break;
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
                closed = true;
                break;
            }
            if (closed && (i >= size || endsField(text[i]))) {
                // A line break inside a cell is one line feed, as the cell holds it.
                quoted.replace("\r\n", "\n");
                addField(quoted);
            } else if (quotesAsTheyStand) {
                line = opened;
                i = plainFieldEnd(start);
                addField(text.sliced(start, i - start));
            } else if (!closed) {
                // The rest of the text is inside the field: nothing after it can be read. An
                // earlier fault of the record is told first.
                if (!record.fault.isEmpty() && !onRecord(record)) {
                    return std::nullopt;
                }
                record.fault = u"a quoted field is not closed."_s;
                record.faultLine = opened;
                onRecord(record);
                return std::nullopt;
            } else {
                faultAt(line, u"text after the closing double quote of a field."_s);
                const qsizetype end = plainFieldEnd(i);
                quoted += text.sliced(i, end - i);
                i = end;
                addField(quoted);
            }
        } else {
            const qsizetype end = plainFieldEnd(i);
            if (!quotesAsTheyStand && text.sliced(i, end - i).contains('"')) {
                faultAt(line, u"a double quote inside a field that does not start with one."_s);
            }
            addField(text.sliced(i, end - i));
            i = end;
        }
        if (i < size && text[i] == sep) {
            ++i;
            continue;
        }
        // The end of a record: a line end or the end of the text.
        if ((anyText || !record.fault.isEmpty()) && !onRecord(record)) {
            return std::nullopt;
        }
        if (i >= size) {
            break;
        }
        i += lineEndAt(text, i);
        ++line;
        record.fields.clear();
        record.width = 0;
        record.line = line;
        record.fault.clear();
        record.faultLine = 0;
        fieldCount = 0;
        anyText = false;
        if (i >= size) {
            break;
        }
    }
    return std::nullopt;
}

RosterRows<TestRow> readTestsRoster(QByteArrayView bytes, const RosterRules& rules) {
    const FieldSeparator separator = detectFieldSeparator(bytes);
    const ListShape<TestRow> shape{
        u"tests", 2,
        [](const RosterRecord& r) {
            return r.fields.size() >= 2 &&
                   isCaption(r.fields[0], {u"Assignment or Test Name", u"Test Name", u"Test", u"Name"}) &&
                   isCaption(r.fields[1], {u"Possible Points", u"Points"});
        },
        [&](const RosterRecord& r, TestRow& row) {
            if (r.width > 2) {
                return u"%1, but a test has two: name and possible points."_s.arg(
                    count(r.width, u"field"_s, u"fields"_s));
            }
            row = TestRow{r.fields.value(0), keptPoints(r.fields.value(1), separator, rules.decimalSeparator)};
            return QString();
        }};
    return readRoster(bytes, rules, shape);
}

RosterRows<StudentRow> readStudentsRoster(QByteArrayView bytes, const RosterRules& rules) {
    const QStringList& names = rules.testNames;
    const qsizetype tests = names.size();
    const FieldSeparator separator = detectFieldSeparator(bytes);
    // The column of each test's points: by position, unless a header row names them.
    std::vector<qsizetype> columnOf(static_cast<size_t>(tests));
    for (qsizetype t = 0; t < tests; ++t) {
        columnOf[static_cast<size_t>(t)] = t + 2;
    }
    qsizetype headerWidth = -1;
    QStringList unmatched;
    auto isHeader = [&](const RosterRecord& r) {
        const bool captioned = r.fields.size() >= 2 && isCaption(r.fields[0], {u"Student Name", u"Name", u"Student"}) &&
                               isCaption(r.fields[1], {u"Student ID", u"ID"});
        std::vector<qsizetype> matched(static_cast<size_t>(tests), -1);
        QStringList left;
        bool anyNamed = false;
        bool allNamed = true;
        for (qsizetype c = 2; c < r.width; ++c) {
            const QString caption = r.fields.value(c).trimmed();
            qsizetype test = -1;
            for (qsizetype t = 0; t < tests && !caption.isEmpty(); ++t) {
                if (matched[static_cast<size_t>(t)] < 0 &&
                    caption.compare(names[t].trimmed(), Qt::CaseInsensitive) == 0) {
                    test = t;
                    break;
                }
            }
            if (test >= 0) {
                matched[static_cast<size_t>(test)] = c;
                // Tests named "1", "2" do not make a row of such points a header.
                anyNamed = anyNamed || !pointsNumber(caption, u'.');
            } else {
                allNamed = allNamed && caption.isEmpty();
                left << (caption.isEmpty() ? u"column %1 (no caption)"_s.arg(c + 1)
                                           : u"\"%1\""_s.arg(shortened(caption)));
            }
        }
        if (!captioned && !(anyNamed && allNamed)) {
            return false;
        }
        // A header of two captions names no points column: the points go by position.
        if (r.width > 2) {
            columnOf = std::move(matched);
            headerWidth = r.width;
            unmatched = left;
        }
        return true;
    };
    const ListShape<StudentRow> shape{
        u"students", kMaxRowFields, isHeader, [&](const RosterRecord& r, StudentRow& row) {
            if (headerWidth < 0 && r.width - 2 > tests) {
                return u"%1, but the gradebook has %2."_s.arg(
                    count(r.width - 2, u"points column"_s, u"points columns"_s), count(tests, u"test"_s, u"tests"_s));
            }
            if (headerWidth >= 0 && r.width > headerWidth) {
                return u"%1, but the header row has %2."_s.arg(count(r.width, u"field"_s, u"fields"_s),
                                                               QString::number(headerWidth));
            }
            row = StudentRow{r.fields.value(0), r.fields.value(1), {}};
            row.points.reserve(tests);
            for (const qsizetype c : columnOf) {
                row.points << (c < 0 ? QString() : keptPoints(r.fields.value(c), separator, rules.decimalSeparator));
            }
            return QString();
        }};
    RosterRows<StudentRow> out = readRoster(bytes, rules, shape);
    out.columnOfTest = std::move(columnOf);
    out.unmatchedColumns = std::move(unmatched);
    for (const StudentRow& s : out.rows) {
        for (qsizetype t = s.points.size(); t > out.widestPoints; --t) {
            if (!s.points[t - 1].isEmpty()) {
                out.widestPoints = t;
                break;
            }
        }
    }
    return out;
}

QString tabSeparatedText(const QStringList& captions, const std::vector<QStringList>& rows) {
    QString out;
    auto addLine = [&out](const QStringList& fields) {
        for (qsizetype f = 0; f < fields.size(); ++f) {
            if (f > 0) {
                out += u'\t';
            }
            const QString& field = fields[f];
            if (field.contains(u'\t') || field.contains(u'\n') || field.contains(u'\r') || field.contains(u'"')) {
                out += u'"';
                out += QString(field).replace(u"\""_s, u"\"\""_s);
                out += u'"';
            } else {
                out += field;
            }
        }
        out += u'\n';
    };
    addLine(captions);
    for (const QStringList& row : rows) {
        addLine(row);
    }
    return out;
}

} // namespace markwell
