#include "RecordReader.h"

#include "RecordIds.h"
#include "Strings.h"

#include <algorithm>
#include <cstdio>

namespace markwell::xls {

std::string recordName(std::uint16_t id) {
    switch (id) {
    case rec::kFormula:
        return "FORMULA";
    case rec::kEof:
        return "EOF";
    case rec::kHeader:
        return "HEADER";
    case rec::kFooter:
        return "FOOTER";
    case rec::kExternSheet:
        return "EXTERNSHEET";
    case rec::kName:
        return "NAME";
    case rec::kNote:
        return "NOTE";
    case rec::kSelection:
        return "SELECTION";
    case rec::kExternName:
        return "EXTERNNAME";
    case rec::kFont:
        return "FONT";
    case rec::kWindow1:
        return "WINDOW1";
    case rec::kObj:
        return "OBJ";
    case rec::kColInfo:
        return "COLINFO";
    case rec::kBoundSheet:
        return "BOUNDSHEET";
    case rec::kPalette:
        return "PALETTE";
    case rec::kSetup:
        return "SETUP";
    case rec::kMulRk:
        return "MULRK";
    case rec::kMulBlank:
        return "MULBLANK";
    case rec::kRString:
        return "RSTRING";
    case rec::kXf:
        return "XF";
    case rec::kMergedCells:
        return "MERGEDCELLS";
    case rec::kMsoDrawingGroup:
        return "MSODRAWINGGROUP";
    case rec::kMsoDrawing:
        return "MSODRAWING";
    case rec::kSst:
        return "SST";
    case rec::kLabelSst:
        return "LABELSST";
    case rec::kSupBook:
        return "SUPBOOK";
    case rec::kTxo:
        return "TXO";
    case rec::kDimensions:
        return "DIMENSIONS";
    case rec::kBlank:
        return "BLANK";
    case rec::kNumber:
        return "NUMBER";
    case rec::kLabel:
        return "LABEL";
    case rec::kBoolErr:
        return "BOOLERR";
    case rec::kString:
        return "STRING";
    case rec::kRow:
        return "ROW";
    case rec::kArray:
        return "ARRAY";
    case rec::kDefaultRowHeight:
        return "DEFAULTROWHEIGHT";
    case rec::kWindow2:
        return "WINDOW2";
    case rec::kRk:
        return "RK";
    case rec::kStyle:
        return "STYLE";
    case rec::kFormat:
        return "FORMAT";
    case rec::kShrFmla:
        return "SHRFMLA";
    case rec::kBof:
        return "BOF";
    default:
        break;
    }
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%04X", id);
    return buf;
}

std::string ByteReader::what() const {
    return m_isRecord ? recordName(m_recordId) : m_what;
}

void ByteReader::tooShort() const {
    throw XlsError(XlsErrorKind::Truncated, "The " + what() + " record is shorter than its contents.");
}

RecordCursor::RecordCursor(const Record& record)
    : ByteReader(record.data, record.id), m_data(record.data), m_breaks(record.breaks) {}

RecordCursor::RecordCursor(const RecordView& record)
    : ByteReader(record.data, record.id), m_data(record.data), m_breaks(record.breaks) {}

std::string RecordCursor::chars(std::size_t count, bool highByte) {
    std::u16string units;
    units.reserve(std::min(count, remaining()));
    const auto& breaks = m_breaks;
    while (units.size() < count) {
        // Characters that go on in a CONTINUE record start there with a new options byte; a
        // CONTINUE holding nothing but that byte is passed over.
        while (std::binary_search(breaks.begin(), breaks.end(), pos())) {
            highByte = (u8() & 0x01) != 0;
        }
        const auto nextBreak = std::upper_bound(breaks.begin(), breaks.end(), pos());
        const std::size_t end = nextBreak == breaks.end() ? size() : *nextBreak;
        const std::size_t unit = highByte ? 2 : 1;
        const std::size_t n = std::min(count - units.size(), (end - pos()) / unit);
        if (n == 0) {
            if (end == size()) {
                need(unit); // throws: the characters run past the record
            }
            throw XlsError(XlsErrorKind::Corrupt, "A string is split inside a character at a CONTINUE record.");
        }
        ByteView raw = bytes(n * unit);
        for (std::size_t i = 0; i < n; ++i) {
            units += highByte ? static_cast<char16_t>(load16(raw.data() + 2 * i)) : static_cast<char16_t>(raw[i]);
        }
    }
    return utf16ToUtf8(units);
}

std::string RecordCursor::charsToEnd(bool highByte, std::size_t& count) {
    // Count what the rest holds, part by part, then read it as usual.
    const std::size_t start = pos();
    const auto& breaks = m_breaks;
    std::size_t units = 0;
    std::size_t at = start;
    bool high = highByte;
    while (at < size()) {
        if (std::binary_search(breaks.begin(), breaks.end(), at)) {
            high = (m_data[at] & 0x01) != 0;
            ++at;
            continue;
        }
        const auto nextBreak = std::upper_bound(breaks.begin(), breaks.end(), at);
        const std::size_t end = nextBreak == breaks.end() ? size() : *nextBreak;
        const std::size_t unit = high ? 2 : 1;
        if ((end - at) % unit != 0) {
            throw XlsError(XlsErrorKind::Corrupt, "A string is split inside a character at a CONTINUE record.");
        }
        units += (end - at) / unit;
        at = end;
    }
    count = units;
    return chars(units, highByte);
}

std::string RecordCursor::stringBody(std::size_t count) {
    const std::uint8_t flags = u8();
    std::size_t runs = 0, ext = 0;
    if (flags & 0x08) {
        runs = u16();
    }
    if (flags & 0x04) {
        ext = u32();
    }
    std::string text = chars(count, (flags & 0x01) != 0);
    skip(std::min(runs * 4, remaining()));
    skip(std::min<std::size_t>(ext, remaining()));
    return text;
}

std::string RecordCursor::string16() {
    return stringBody(u16());
}
std::string RecordCursor::string8() {
    return stringBody(u8());
}

std::optional<std::uint16_t> RecordReader::peekId() const {
    if (m_stream.size() - m_pos < 4) {
        return std::nullopt;
    }
    return load16(m_stream.data() + m_pos);
}

void RecordReader::seek(std::size_t offset) {
    if (offset > m_stream.size()) {
        throw XlsError(XlsErrorKind::Corrupt, "A sheet starts beyond the end of the workbook stream.");
    }
    m_pos = offset;
}

std::optional<Record> RecordReader::next() {
    Record r;
    if (!next(r)) {
        return std::nullopt;
    }
    return r;
}

bool RecordReader::next(RecordView& record, Record& joined) {
    const std::size_t size = m_stream.size();
    if (size - m_pos < 4) {
        return false;
    }
    const std::uint8_t* p = m_stream.data() + m_pos;
    const std::uint16_t id = load16(p);
    const std::size_t end = m_pos + 4 + load16(p + 2);
    if (end <= size &&
        (id == rec::kEof || id == rec::kBof || size - end < 4 || load16(m_stream.data() + end) != rec::kContinue)) {
        record = RecordView{id, m_pos, ByteView(p + 4, end - m_pos - 4), {}};
        m_pos = end;
        return true;
    }
    // Parts to join, or a record cut short, which the copying read reports.
    next(joined);
    record = RecordView{joined.id, joined.offset, joined.data, joined.breaks};
    return true;
}

bool RecordReader::next(Record& r) {
    if (m_stream.size() - m_pos < 4) {
        return false;
    }
    r.offset = m_pos;
    r.data.clear();
    r.breaks.clear();
    bool first = true;
    while (m_stream.size() - m_pos >= 4) {
        const std::uint16_t id = load16(m_stream.data() + m_pos);
        const std::size_t len = load16(m_stream.data() + m_pos + 2);
        if (!first && id != rec::kContinue) {
            break;
        }
        if (len > m_stream.size() - m_pos - 4) {
            throw XlsError(XlsErrorKind::Truncated, "The workbook stream ends inside a " + recordName(id) +
                                                        " record at offset " + std::to_string(m_pos) + ".");
        }
        if (first) {
            r.id = id;
        } else {
            r.breaks.push_back(r.data.size());
        }
        const std::uint8_t* p = m_stream.data() + m_pos + 4;
        r.data.insert(r.data.end(), p, p + len);
        m_pos += 4 + len;
        first = false;
        // Sheet data after EOF never continues the record before it.
        if (r.id == rec::kEof || r.id == rec::kBof) {
            break;
        }
    }
    return true;
}

} // namespace markwell::xls
