#pragma once

#include "XlsError.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace markwell::xls {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// Little-endian loads from a buffer whose size the caller has already checked.
inline std::uint16_t load16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t load32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint64_t load64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(load32(p)) | (static_cast<std::uint64_t>(load32(p + 4)) << 32);
}
inline double loadDouble(const std::uint8_t* p) {
    return std::bit_cast<double>(load64(p));
}

// A cursor over untrusted bytes: every read is bounds-checked and a short read throws an XlsError
// that names `what` (the record or field being read).
class ByteReader {
public:
    // `what` is a literal, or another text that outlives the reader.
    ByteReader(ByteView data, const char* what) : m_data(data), m_what(what) {}

    std::size_t pos() const { return m_pos; }
    std::size_t size() const { return m_data.size(); }
    std::size_t remaining() const { return m_data.size() - m_pos; }
    bool atEnd() const { return m_pos >= m_data.size(); }
    // The record or field being read, as messages name it.
    std::string what() const;

    void need(std::size_t n) const {
        if (n > remaining()) {
            tooShort();
        }
    }
    void skip(std::size_t n) {
        need(n);
        m_pos += n;
    }
    void seek(std::size_t p) {
        if (p > m_data.size()) {
            tooShort();
        }
        m_pos = p;
    }
    std::uint8_t u8() {
        need(1);
        return m_data[m_pos++];
    }
    std::uint16_t u16() {
        need(2);
        auto v = load16(m_data.data() + m_pos);
        m_pos += 2;
        return v;
    }
    std::int16_t i16() { return static_cast<std::int16_t>(u16()); }
    std::uint32_t u32() {
        need(4);
        auto v = load32(m_data.data() + m_pos);
        m_pos += 4;
        return v;
    }
    double f64() {
        need(8);
        auto v = loadDouble(m_data.data() + m_pos);
        m_pos += 8;
        return v;
    }
    ByteView bytes(std::size_t n) {
        need(n);
        auto v = m_data.subspan(m_pos, n);
        m_pos += n;
        return v;
    }

protected:
    // A cursor over one record: its name is only looked up when a message needs it, since a
    // sheet holds millions of records read without a fault.
    ByteReader(ByteView data, std::uint16_t recordId) : m_data(data), m_recordId(recordId), m_isRecord(true) {}

private:
    [[noreturn]] void tooShort() const;

    ByteView m_data;
    std::size_t m_pos = 0;
    const char* m_what = "";
    std::uint16_t m_recordId = 0;
    bool m_isRecord = false;
};

// Little-endian stores into a buffer with room for them.
inline void store16(std::uint8_t* p, unsigned v) {
    p[0] = static_cast<std::uint8_t>(v & 0xFF);
    p[1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}
inline void store32(std::uint8_t* p, std::uint32_t v) {
    store16(p, v & 0xFFFF);
    store16(p + 2, v >> 16);
}
inline void store64(std::uint8_t* p, std::uint64_t v) {
    store32(p, static_cast<std::uint32_t>(v));
    store32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

// Little-endian appends.
class ByteWriter {
public:
    // Most records a writer makes are a cell's, of a few bytes: room for one is taken at once, so
    // that they do not grow byte by byte through several allocations.
    ByteWriter() { m_data.reserve(kTypicalRecord); }

    Bytes& data() { return m_data; }
    const Bytes& data() const { return m_data; }
    std::size_t size() const { return m_data.size(); }

    void u8(unsigned v) { m_data.push_back(static_cast<std::uint8_t>(v)); }
    void u16(unsigned v) { store16(extend(2), v); }
    void u32(std::uint32_t v) { store32(extend(4), v); }
    void u64(std::uint64_t v) { store64(extend(8), v); }
    void f64(double v) { u64(std::bit_cast<std::uint64_t>(v)); }
    void bytes(ByteView v) { m_data.insert(m_data.end(), v.begin(), v.end()); }
    void zeros(std::size_t n) { m_data.insert(m_data.end(), n, 0); }
    void put16(std::size_t at, unsigned v) { store16(m_data.data() + at, v); }
    void put32(std::size_t at, std::uint32_t v) { store32(m_data.data() + at, v); }

private:
    // `n` more bytes at the end, filled in through the pointer.
    std::uint8_t* extend(std::size_t n) {
        const std::size_t at = m_data.size();
        m_data.resize(at + n);
        return m_data.data() + at;
    }

    static constexpr std::size_t kTypicalRecord = 32;
    Bytes m_data;
};

} // namespace markwell::xls
