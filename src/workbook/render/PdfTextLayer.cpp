#include "workbook/render/PdfTextLayer.h"

#include <QColor>
#include <QGlyphRun>
#include <QPainter>
#include <QRegularExpression>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace markwell::render {

namespace {

// A mark is a fill of a speck of the page in a colour that says what it is: its red the kind,
// green and blue a number (the page, or the text on its page).
constexpr int kPageMark = 0xA7;
constexpr int kBeginMark = 0xA5;
constexpr int kEndMark = 0xA6;
constexpr double kMarkSize = 0.001;
// A fill no larger than this, in any unit a page uses, is a mark.
constexpr double kLargestMark = 0.01;

void mark(QPainter& painter, const QPointF& at, int kind, std::size_t number) {
    painter.fillRect(QRectF(at, QSizeF(kMarkSize, kMarkSize)),
                     QColor(kind, static_cast<int>((number >> 8) & 0xFF), static_cast<int>(number & 0xFF)));
}

// A colour channel as written, back to 0..255; nothing when it is not a whole step.
std::optional<int> channel(const QString& written) {
    bool ok = false;
    const double value = written.toDouble(&ok) * 255;
    if (!ok || std::abs(value - std::round(value)) > 0.01) {
        return std::nullopt;
    }
    return static_cast<int>(std::round(value));
}

QByteArray utf16Hex(const QString& text) {
    QByteArray out = "FEFF";
    for (const QChar c : text) {
        out += QByteArray::number(c.unicode(), 16).rightJustified(4, '0').toUpper();
    }
    return out;
}

std::optional<QByteArray> inflated(QByteArrayView data) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) {
        return std::nullopt;
    }
    QByteArray out;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    char buffer[1 << 16];
    int code = Z_OK;
    do {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        code = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, static_cast<qsizetype>(sizeof buffer - z.avail_out));
    } while (code == Z_OK);
    inflateEnd(&z);
    if (code != Z_STREAM_END) {
        return std::nullopt;
    }
    return out;
}

QByteArray deflated(const QByteArray& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    QByteArray out(static_cast<qsizetype>(size), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.constData()),
                  static_cast<uLong>(data.size()), Z_DEFAULT_COMPRESSION) != Z_OK) {
        return {};
    }
    out.resize(static_cast<qsizetype>(size));
    return out;
}

// The text objects of a marked text without the writer's own replacement texts (it gives some
// glyphs one, often empty); readers do not look into marked content nested in another.
QString withoutInnerSpans(QStringView objects) {
    static const QRegularExpression kSpan(uR"(/Span << /ActualText <[0-9A-Fa-f]*> >> BDC\n)"_s);
    QString out;
    qsizetype from = 0;
    for (auto it = kSpan.globalMatch(objects); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.capturedStart() < from) {
            continue;
        }
        const qsizetype close = objects.indexOf(u"\nEMC\n", m.capturedEnd() - 1);
        if (close < 0) {
            break;
        }
        out += objects.sliced(from, m.capturedStart() - from);
        out += objects.sliced(m.capturedEnd(), close + 1 - m.capturedEnd());
        from = close + 5;
    }
    out += objects.sliced(from);
    return out;
}

// A page's drawing with its marks taken out and each marked text's text objects (BT ... ET)
// enclosed in marked content with its replacement text. The marked content is put where the
// text objects are, so that it lies in their coordinate system.
QByteArray withActualText(const QByteArray& content, const std::vector<std::vector<QString>>& pages) {
    // The fill as the PDF writer puts it: a colour, a graphics state, a rectangle (perhaps in a
    // coordinate system of its own) and the fill.
    static const QRegularExpression kFill(
        uR"(/\w+ cs (\S+) (\S+) (\S+) scn\n/\w+ gs\n(?:q\n[^\n]* cm\n(\S+ \S+ (\S+) (\S+)) re\nf\nQ\n|(\S+ \S+ (\S+) (\S+)) re\nf\n))"_s);
    struct Mark {
        qsizetype start, end;
        int kind;
        std::size_t number;
    };
    const QString text = QString::fromLatin1(content);
    std::vector<Mark> marks;
    for (auto it = kFill.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const bool own = m.capturedLength(4) > 0;
        const double w = std::abs(m.captured(own ? 5 : 8).toDouble());
        const double h = std::abs(m.captured(own ? 6 : 9).toDouble());
        const auto r = channel(m.captured(1)), g = channel(m.captured(2)), b = channel(m.captured(3));
        if (w <= kLargestMark && h <= kLargestMark && r && g && b &&
            (*r == kPageMark || *r == kBeginMark || *r == kEndMark)) {
            marks.push_back({m.capturedStart(), m.capturedEnd(), *r,
                             static_cast<std::size_t>(*g) << 8 | static_cast<std::size_t>(*b)});
        }
    }
    if (marks.empty()) {
        return content;
    }
    QString out;
    out.reserve(text.size() + text.size() / 4);
    qsizetype from = 0;
    const std::vector<QString>* page = nullptr;
    for (std::size_t i = 0; i < marks.size(); ++i) {
        const Mark& m = marks[i];
        out += QStringView(text).sliced(from, m.start - from);
        from = m.end;
        if (m.kind == kPageMark) {
            page = m.number < pages.size() ? &pages[m.number] : nullptr;
            continue;
        }
        if (m.kind != kBeginMark || i + 1 >= marks.size() || marks[i + 1].kind != kEndMark || !page ||
            m.number >= page->size()) {
            continue;
        }
        const Mark& end = marks[++i];
        const QStringView between = QStringView(text).sliced(m.end, end.start - m.end);
        const qsizetype first = between.startsWith(u"BT\n") ? 0 : between.indexOf(u"\nBT\n") + 1;
        const qsizetype last = between.lastIndexOf(u"\nET\n");
        if (first > 0 || (first == 0 && between.startsWith(u"BT\n"))) {
            if (last > first) {
                out += between.first(first);
                out += u"/Span <</ActualText <"_s + QString::fromLatin1(utf16Hex((*page)[m.number])) + u">>> BDC\n"_s;
                out += withoutInnerSpans(between.sliced(first, last + 4 - first));
                out += u"EMC\n"_s;
                out += between.sliced(last + 4);
                from = end.end;
                continue;
            }
        }
        out += between;
        from = end.end;
    }
    out += QStringView(text).sliced(from);
    return out.toLatin1();
}

// The whole-number value after `key` in a dictionary, such as the 9 of "/Length 9 0 R".
std::optional<long long> numberAfter(QByteArrayView object, QByteArrayView key) {
    const qsizetype at = object.indexOf(key);
    if (at < 0) {
        return std::nullopt;
    }
    qsizetype i = at + key.size();
    while (i < object.size() && object[i] == ' ') {
        ++i;
    }
    const qsizetype start = i;
    while (i < object.size() && object[i] >= '0' && object[i] <= '9') {
        ++i;
    }
    bool ok = false;
    const long long value = object.sliced(start, i - start).toLongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

} // namespace

void PdfTextLayer::startPage(QPainter& painter) {
    mark(painter, QPointF(0, 0), kPageMark, m_pages.size());
    m_pages.emplace_back();
}

void PdfTextLayer::beginText(QPainter& painter, const QPointF& at, const QString& text) {
    if (m_pages.empty() || m_pages.back().size() > 0xFFFF) {
        return; // an unmarked text keeps the characters its glyphs stand for
    }
    mark(painter, at, kBeginMark, m_pages.back().size());
    m_pages.back().push_back(text);
}

void PdfTextLayer::endText(QPainter& painter, const QPointF& at) {
    mark(painter, at, kEndMark, 0);
}

QByteArray PdfTextLayer::apply(const QByteArray& pdf) const {
    // The cross-reference table the writer puts at the end: "xref", "0 N", one line per object.
    const qsizetype startxref = pdf.lastIndexOf("startxref");
    if (startxref < 0) {
        return pdf;
    }
    const std::optional<long long> xrefAt = numberAfter(QByteArrayView(pdf).sliced(startxref), "startxref\n");
    if (!xrefAt || *xrefAt <= 0 || *xrefAt >= startxref || !pdf.sliced(*xrefAt).startsWith("xref\n0 ")) {
        return pdf;
    }
    const qsizetype tableAt = pdf.indexOf('\n', *xrefAt + 5) + 1;
    const std::optional<long long> count = numberAfter(QByteArrayView(pdf).sliced(*xrefAt), "xref\n0 ");
    if (tableAt <= 0 || !count || *count <= 1 || tableAt + *count * 20 > startxref) {
        return pdf;
    }
    std::map<qsizetype, int> objectAt; // offset: object number
    for (long long n = 1; n < *count; ++n) {
        const QByteArrayView entry = QByteArrayView(pdf).sliced(tableAt + n * 20, 20);
        if (entry[17] == 'n') {
            bool ok = false;
            const qsizetype offset = entry.first(10).toLongLong(&ok);
            if (!ok || offset <= 0 || offset >= *xrefAt) {
                return pdf;
            }
            objectAt[offset] = static_cast<int>(n);
        }
    }
    if (objectAt.empty()) {
        return pdf;
    }
    // Each object's bytes, the changed streams rewritten and their lengths noted.
    std::map<int, QByteArray> objects;
    std::map<int, long long> newLengths; // length object: value
    for (auto it = objectAt.begin(); it != objectAt.end(); ++it) {
        const qsizetype end = std::next(it) == objectAt.end() ? *xrefAt : std::next(it)->first;
        QByteArray object = pdf.sliced(it->first, end - it->first);
        const qsizetype streamAt = object.indexOf(">>\nstream\n");
        const std::optional<long long> lengthObject = numberAfter(object, "/Length ");
        if (streamAt > 0 && lengthObject && object.indexOf("/Filter /FlateDecode") > 0 &&
            object.indexOf(QByteArray::number(*lengthObject) + " 0 R") > 0) {
            const qsizetype dataAt = streamAt + 10;
            const qsizetype dataEnd = object.lastIndexOf("endstream");
            if (dataEnd > dataAt) {
                const std::optional<QByteArray> content =
                    inflated(QByteArrayView(object).sliced(dataAt, dataEnd - dataAt));
                if (content && content->contains(" scn\n")) {
                    const QByteArray changed = withActualText(*content, m_pages);
                    if (changed != *content) {
                        const QByteArray packed = deflated(changed);
                        if (!packed.isEmpty()) {
                            object = object.first(dataAt) + packed + "\nendstream\nendobj\n";
                            newLengths[static_cast<int>(*lengthObject)] = packed.size();
                        }
                    }
                }
            }
        }
        objects[it->second] = std::move(object);
    }
    for (const auto& [number, length] : newLengths) {
        auto found = objects.find(number);
        if (found == objects.end()) {
            return pdf;
        }
        found->second = QByteArray::number(number) + " 0 obj\n" + QByteArray::number(length) + "\nendobj\n";
    }
    QByteArray out = pdf.first(objectAt.begin()->first);
    std::map<int, qsizetype> newOffsets;
    for (const auto& [offset, number] : objectAt) {
        newOffsets[number] = out.size();
        out += objects[number];
    }
    const qsizetype newXref = out.size();
    out += "xref\n0 " + QByteArray::number(*count) + "\n";
    for (long long n = 0; n < *count; ++n) {
        auto found = newOffsets.find(static_cast<int>(n));
        if (found == newOffsets.end()) {
            out += pdf.sliced(tableAt + n * 20, 20); // a free entry, as it was
        } else {
            out += QByteArray::number(found->second).rightJustified(10, '0') + " 00000 n \n";
        }
    }
    const qsizetype trailerAt = tableAt + *count * 20;
    out += pdf.sliced(trailerAt, startxref - trailerAt);
    out += "startxref\n" + QByteArray::number(newXref) + "\n%%EOF\n";
    return out;
}

QString visualText(const QTextLayout& layout, const QTextLine& line) {
    const QString text = layout.text();
    struct Cluster {
        double x;
        qsizetype start, end;
    };
    std::vector<Cluster> clusters;
    const qsizetype first = line.textStart();
    const qsizetype last = first + line.textLength();
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    graphemes.setPosition(first);
    for (qsizetype at = first; at < last;) {
        qsizetype next = graphemes.toNextBoundary();
        if (next < 0 || next > last) {
            next = last;
        }
        // The middle of the cluster's glyphs (a cursor position between runs of two directions
        // does not tell which run it belongs to).
        double sum = 0;
        int glyphs = 0;
        for (const QGlyphRun& run : layout.glyphRuns(static_cast<int>(at), static_cast<int>(next - at))) {
            const QList<quint32> indexes = run.glyphIndexes();
            const QList<QPointF> advances = run.rawFont().advancesForGlyphIndexes(indexes);
            const QList<QPointF> positions = run.positions();
            for (qsizetype k = 0; k < positions.size() && k < advances.size(); ++k) {
                sum += positions[k].x() + advances[k].x() / 2;
                ++glyphs;
            }
        }
        const double x = glyphs > 0 ? sum / glyphs : line.cursorToX(static_cast<int>(at));
        clusters.push_back({x, at, next});
        at = next;
    }
    std::stable_sort(clusters.begin(), clusters.end(), [](const Cluster& a, const Cluster& b) { return a.x < b.x; });
    QString out;
    for (const Cluster& c : clusters) {
        QString part = text.sliced(c.start, c.end - c.start);
        part.remove(QChar::LineSeparator);
        const QChar::Direction d = QChar::direction(text.at(c.start).unicode());
        // Reversed as the reader reads a right-to-left word back (its clusters are whole
        // characters of the first 65,536).
        if (d == QChar::DirR || d == QChar::DirAL) {
            std::reverse(part.begin(), part.end());
        }
        out += part;
    }
    return out;
}

} // namespace markwell::render
