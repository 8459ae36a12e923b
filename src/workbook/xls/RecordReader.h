#pragma once

#include "ByteIO.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace markwell::xls {

// One logical BIFF record: the record's own data followed by the data of any CONTINUE records
// after it. `breaks` holds the offsets in `data` where each CONTINUE's data begins; strings that
// cross one of them start again with an options byte there.
struct Record {
    std::uint16_t id = 0;
    std::size_t offset = 0; // stream offset of the record header
    Bytes data;
    std::vector<std::size_t> breaks;
};

// A logical record where it lies: in the stream itself, or in the Record that joined it with its
// CONTINUE records.
struct RecordView {
    std::uint16_t id = 0;
    std::size_t offset = 0;
    ByteView data;
    std::span<const std::size_t> breaks;
};

// The record's name for messages ("SST", "FORMULA"), or "0x1234" for ones we do not know.
std::string recordName(std::uint16_t id);

// A bounds-checked cursor over one logical record.
class RecordCursor : public ByteReader {
public:
    explicit RecordCursor(const Record& record);
    explicit RecordCursor(const RecordView& record);

    // `count` characters starting with the given encoding, switching encoding at each CONTINUE
    // boundary as the options byte there says. Returns UTF-8.
    std::string chars(std::size_t count, bool highByte);
    // Every character from here to the end of the record, read the same way; `count` receives
    // how many there were.
    std::string charsToEnd(bool highByte, std::size_t& count);
    // XLUnicodeString (16-bit count) and ShortXLUnicodeString (8-bit count), with the rich text and
    // phonetic blocks skipped.
    std::string string16();
    std::string string8();
    // The options byte, then rich text / phonetic headers, characters and trailing blocks.
    std::string stringBody(std::size_t count);

private:
    ByteView m_data;
    std::span<const std::size_t> m_breaks;
};

// Reads the records of a workbook stream one by one. Lengths are checked against the stream; a
// record that claims more data than is left is reported as truncated.
class RecordReader {
public:
    explicit RecordReader(ByteView stream) : m_stream(stream) {}

    // The next logical record (CONTINUE records folded in), or nothing at the end of the stream.
    std::optional<Record> next();
    // The same into `record`, whose buffers are used again. False at the end of the stream.
    bool next(Record& record);
    // The next logical record read in place, the way to read a sheet's millions of cell records
    // without copying them: `record` views the stream, or `joined` when CONTINUE records follow.
    bool next(RecordView& record, Record& joined);
    // The id of the next physical record without consuming it.
    std::optional<std::uint16_t> peekId() const;
    void seek(std::size_t offset);
    std::size_t position() const { return m_pos; }
    std::size_t size() const { return m_stream.size(); }

private:
    ByteView m_stream;
    std::size_t m_pos = 0;
};

} // namespace markwell::xls
