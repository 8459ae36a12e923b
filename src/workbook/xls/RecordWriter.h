#pragma once

#include "ByteIO.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace markwell::xls {

// Appends BIFF records to a workbook stream. Data longer than one record may hold is split into
// CONTINUE records at the byte limit; records whose strings need special splitting (SST) are cut by
// their writer and passed in piece by piece with writeContinued().
class RecordWriter {
public:
    std::size_t position() const { return m_used; }
    void reserve(std::size_t bytes) { m_out.reserve(bytes); }
    void write(std::uint16_t id, ByteView data);
    void write(std::uint16_t id, const ByteWriter& data) { write(id, ByteView(data.data())); }
    // A record of at most rec::kMaxRecordData bytes: its header is written, and the caller fills
    // in its `length` bytes of data through the pointer, valid until the next write.
    std::uint8_t* record(std::uint16_t id, std::size_t length) {
        std::uint8_t* p = room(4 + length);
        store16(p, id);
        store16(p + 2, static_cast<unsigned>(length));
        return p + 4;
    }
    // The first piece under `id`, every further piece as a CONTINUE record.
    void writeContinued(std::uint16_t id, const std::vector<Bytes>& pieces);
    // A record whose data ends in an XLUnicodeString (STRING): characters that do not fit go on in
    // CONTINUE records, each starting with the options byte. A text longer than its 16-bit count
    // can say is refused (XlsError), never written with a cut count.
    void writeWithString(std::uint16_t id, ByteView head, std::u16string_view text);
    // Overwrites four bytes already written (stream offsets filled in later).
    void patch32(std::size_t at, std::uint32_t value) { store32(m_out.data() + at, value); }
    Bytes take() {
        m_out.resize(m_used);
        m_used = 0;
        return std::move(m_out);
    }

private:
    // `n` bytes at the end of the stream. The buffer is grown a stretch at a time and written
    // through pointers, never byte by byte.
    std::uint8_t* room(std::size_t n) {
        if (m_out.size() - m_used < n) {
            grow(n);
        }
        std::uint8_t* p = m_out.data() + m_used;
        m_used += n;
        return p;
    }
    void grow(std::size_t n);
    void header(std::uint16_t id, std::size_t length);
    Bytes m_out;            // the stream, its bytes from m_used on not written yet
    std::size_t m_used = 0; // bytes written
};

} // namespace markwell::xls
