#pragma once

#include "ByteIO.h"
#include "RecordReader.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace markwell::xls {

class RecordWriter;

// The shared string table as written: each distinct text once, cells refer to it by index.
class SharedStringsBuilder {
public:
    std::uint32_t add(std::string_view utf8);
    // The index of a text already added.
    std::uint32_t indexOf(const std::string& utf8) const { return m_index.at(utf8); }
    std::size_t uniqueCount() const { return m_strings.size(); }
    std::uint32_t totalCount() const { return m_total; }

    // SST with CONTINUE records (a string's characters may go on in the next record after a new
    // options byte; its header never splits), then EXTSST with the stream offsets it indexes.
    void write(RecordWriter& out) const;

private:
    std::vector<std::u16string> m_strings;
    std::unordered_map<std::string, std::uint32_t> m_index;
    std::uint32_t m_total = 0;
};

// Reads the strings of an SST record (with its CONTINUE data folded in). The count in the record is
// only a hint: the strings actually present are read, and allocation is bounded by the data size.
std::vector<std::string> readSharedStrings(const Record& sst);

} // namespace markwell::xls
