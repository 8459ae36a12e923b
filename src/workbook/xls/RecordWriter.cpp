#include "RecordWriter.h"

#include "RecordIds.h"

#include <algorithm>
#include <string>

#include "Strings.h"

namespace markwell::xls {

void RecordWriter::header(std::uint16_t id, std::size_t length) {
    m_out.u16(id);
    m_out.u16(static_cast<unsigned>(length));
}

void RecordWriter::write(std::uint16_t id, ByteView data) {
    std::size_t done = 0;
    bool first = true;
    do {
        const std::size_t n = std::min(rec::kMaxRecordData, data.size() - done);
        header(first ? id : rec::kContinue, n);
        m_out.bytes(data.subspan(done, n));
        done += n;
        first = false;
    } while (done < data.size());
}

void RecordWriter::writeContinued(std::uint16_t id, const std::vector<Bytes>& pieces) {
    bool first = true;
    for (const Bytes& piece : pieces) {
        header(first ? id : rec::kContinue, piece.size());
        m_out.bytes(piece);
        first = false;
    }
}

void RecordWriter::writeWithString(std::uint16_t id, ByteView head, std::u16string_view text) {
    if (text.size() > 0xFFFF) {
        throw XlsError(XlsErrorKind::Unsupported, "A text of " + std::to_string(text.size()) +
                                                      " characters is longer than the 65535 a record's string holds.");
    }
    const bool compressed = fitsCompressed(text);
    const std::size_t unit = compressed ? 1 : 2;
    std::vector<Bytes> pieces;
    ByteWriter first;
    first.bytes(head);
    first.u16(static_cast<unsigned>(text.size()));
    first.u8(compressed ? 0 : 1);
    pieces.push_back(std::move(first.data()));
    // Characters that do not fit go on after a new options byte, never between the two halves
    // of a surrogate pair.
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t room = (rec::kMaxRecordData - pieces.back().size()) / unit;
        const std::size_t n = cutWithinLimit(text.substr(at), room);
        Bytes& piece = pieces.back();
        for (char16_t u : text.substr(at, n)) {
            piece.push_back(static_cast<std::uint8_t>(u & 0xFF));
            if (!compressed) {
                piece.push_back(static_cast<std::uint8_t>(u >> 8));
            }
        }
        at += n;
        if (at < text.size()) {
            pieces.push_back(Bytes{static_cast<std::uint8_t>(compressed ? 0 : 1)});
        }
    }
    writeContinued(id, pieces);
}

} // namespace markwell::xls
