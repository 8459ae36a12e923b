#include "RecordWriter.h"

#include "RecordIds.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "Strings.h"

namespace markwell::xls {

void RecordWriter::grow(std::size_t n) {
    // The unwritten stretch is filled with zeros once; it stays within the room reserved, or
    // grows the way the vector would.
    constexpr std::size_t kStretch = std::size_t{64} << 10;
    m_out.resize(std::max(m_used + n, std::min(m_out.size() + kStretch, m_out.capacity())));
}

void RecordWriter::header(std::uint16_t id, std::size_t length) {
    std::uint8_t* p = room(4);
    store16(p, id);
    store16(p + 2, static_cast<unsigned>(length));
}

void RecordWriter::write(std::uint16_t id, ByteView data) {
    std::size_t done = 0;
    bool first = true;
    do {
        const std::size_t n = std::min(rec::kMaxRecordData, data.size() - done);
        header(first ? id : rec::kContinue, n);
        if (n > 0) {
            std::memcpy(room(n), data.data() + done, n);
        }
        done += n;
        first = false;
    } while (done < data.size());
}

void RecordWriter::writeContinued(std::uint16_t id, const std::vector<Bytes>& pieces) {
    bool first = true;
    for (const Bytes& piece : pieces) {
        header(first ? id : rec::kContinue, piece.size());
        if (!piece.empty()) {
            std::memcpy(room(piece.size()), piece.data(), piece.size());
        }
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
