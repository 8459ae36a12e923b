#pragma once

#include "../ByteIO.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace markwell::xls::cfb {

// Reads an OLE compound document (version 3 with 512-byte sectors or version 4 with 4096-byte
// sectors) held in memory. Every number in the file is checked before use: sector numbers out of
// range, chains that loop, streams larger than the file and absurd counts raise an XlsError.
class CompoundFileReader {
public:
    struct Entry {
        std::string name;      // UTF-8
        std::uint8_t type = 0; // 1 storage, 2 stream, 5 root
        std::uint32_t left = 0, right = 0, child = 0;
        std::uint32_t start = 0;
        std::uint64_t size = 0;
    };

    // Parses the header, the sector tables and the directory. Throws XlsError.
    explicit CompoundFileReader(Bytes file);
    // The same over bytes that stay the caller's: they must outlive the reader and every view
    // streamView() gives. A large file is then never copied.
    static CompoundFileReader borrowing(ByteView file);
    // A copy would lose the file it views; a move keeps it.
    CompoundFileReader(const CompoundFileReader&) = delete;
    CompoundFileReader& operator=(const CompoundFileReader&) = delete;
    CompoundFileReader(CompoundFileReader&&) = default;
    CompoundFileReader& operator=(CompoundFileReader&&) = default;

    // The streams directly inside the root storage, in directory order.
    const std::vector<std::uint32_t>& rootStreams() const { return m_rootStreams; }
    const Entry& entry(std::uint32_t index) const { return m_entries.at(index); }

    // The root-level stream with this name, compared without regard to ASCII case.
    std::optional<std::uint32_t> findStream(std::string_view name) const;

    // The whole content of a stream. Throws XlsError when its chain is broken.
    Bytes readStream(std::uint32_t index) const;
    // The same content without a copy where the stream's sectors follow one another in the file
    // (as writers lay out a large stream): a view of the file. Otherwise the stream is read into
    // `storage` and the view is of that.
    ByteView streamView(std::uint32_t index, Bytes& storage) const;

    unsigned sectorSize() const { return m_sectorSize; }

private:
    struct Borrow {};
    CompoundFileReader(ByteView file, Borrow);
    void parse();
    std::vector<std::uint32_t> chain(const std::vector<std::uint32_t>& table, std::uint32_t start, const char* what,
                                     std::uint64_t maxLength) const;
    ByteView sector(std::uint32_t index) const;
    void readFat();
    void readDirectory();
    void collectRootStreams();

    Bytes m_owned;   // the file, when the reader holds it
    ByteView m_file; // the file
    unsigned m_major = 3;
    unsigned m_sectorSize = 512;
    std::uint32_t m_sectorCount = 0;
    std::uint32_t m_miniCutoff = 4096;
    std::vector<std::uint32_t> m_fat;
    std::vector<std::uint32_t> m_miniFat;
    std::vector<Entry> m_entries;
    std::vector<std::uint32_t> m_rootStreams;
    Bytes m_miniStream;
};

// True when the bytes start with the compound document signature.
bool hasCompoundSignature(ByteView data);

} // namespace markwell::xls::cfb
