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
    std::size_t position() const { return m_out.size(); }
    void reserve(std::size_t bytes) { m_out.data().reserve(bytes); }
    void write(std::uint16_t id, ByteView data);
    void write(std::uint16_t id, const ByteWriter& data) { write(id, ByteView(data.data())); }
    // The first piece under `id`, every further piece as a CONTINUE record.
    void writeContinued(std::uint16_t id, const std::vector<Bytes>& pieces);
    // A record whose data ends in an XLUnicodeString (STRING): characters that do not fit go on in
    // CONTINUE records, each starting with the options byte. A text longer than its 16-bit count
    // can say is refused (XlsError), never written with a cut count.
    void writeWithString(std::uint16_t id, ByteView head, std::u16string_view text);
    // Overwrites four bytes already written (stream offsets filled in later).
    void patch32(std::size_t at, std::uint32_t value) { m_out.put32(at, value); }
    Bytes take() { return std::move(m_out.data()); }

private:
    void header(std::uint16_t id, std::size_t length);
    ByteWriter m_out;
};

} // namespace markwell::xls
