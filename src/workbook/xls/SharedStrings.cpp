#include "SharedStrings.h"

#include "RecordIds.h"
#include "RecordWriter.h"
#include "Strings.h"

#include <algorithm>

namespace markwell::xls {

namespace {

void appendChars(Bytes& out, std::u16string_view units, bool compressed) {
    for (char16_t u : units) {
        out.push_back(static_cast<std::uint8_t>(u & 0xFF));
        if (!compressed) {
            out.push_back(static_cast<std::uint8_t>(u >> 8));
        }
    }
}

} // namespace

std::uint32_t SharedStringsBuilder::add(std::string_view utf8) {
    ++m_total;
    auto [it, inserted] = m_index.try_emplace(std::string(utf8), static_cast<std::uint32_t>(m_strings.size()));
    if (inserted) {
        m_strings.push_back(utf8ToUtf16(utf8));
    }
    return it->second;
}

void SharedStringsBuilder::write(RecordWriter& out) const {
    std::vector<Bytes> pieces;
    pieces.emplace_back();
    ByteWriter head;
    head.u32(m_total);
    head.u32(static_cast<std::uint32_t>(m_strings.size()));
    pieces.back() = head.data();

    // EXTSST: every `perBucket`-th string's stream offset and offset within its record.
    const std::size_t perBucket = std::max<std::size_t>(8, m_strings.size() / 128 + 1);
    struct Bucket {
        std::size_t piece, offset;
    };
    std::vector<Bucket> buckets;

    for (std::size_t i = 0; i < m_strings.size(); ++i) {
        const std::u16string_view s = m_strings[i];
        const bool compressed = fitsCompressed(s);
        const std::size_t unit = compressed ? 1 : 2;
        // The 3-byte header and the first character (both halves of a surrogate pair) stay
        // together.
        const std::size_t firstChar = s.empty() ? 0 : unit * (pairStartsAt(s, 0) ? 2 : 1);
        if (pieces.back().size() + 3 + firstChar > rec::kMaxRecordData) {
            pieces.emplace_back();
        }
        if (i % perBucket == 0) {
            buckets.push_back({pieces.size() - 1, pieces.back().size()});
        }
        Bytes* piece = &pieces.back();
        piece->push_back(static_cast<std::uint8_t>(s.size() & 0xFF));
        piece->push_back(static_cast<std::uint8_t>(s.size() >> 8));
        piece->push_back(compressed ? 0 : 1);
        // The characters go on in the next CONTINUE record after a new options byte, never
        // between the two halves of a surrogate pair: readers decode each record's part alone.
        std::size_t at = 0;
        while (at < s.size()) {
            const std::size_t room = (rec::kMaxRecordData - piece->size()) / unit;
            const std::size_t n = cutWithinLimit(s.substr(at), room);
            appendChars(*piece, s.substr(at, n), compressed);
            at += n;
            if (at < s.size()) {
                pieces.emplace_back();
                piece = &pieces.back();
                piece->push_back(compressed ? 0 : 1);
            }
        }
    }
    const std::size_t sstStart = out.position();
    out.writeContinued(rec::kSst, pieces);

    std::vector<std::size_t> pieceStart(pieces.size());
    std::size_t at = sstStart;
    for (std::size_t p = 0; p < pieces.size(); ++p) {
        pieceStart[p] = at;
        at += 4 + pieces[p].size();
    }
    ByteWriter ext;
    ext.u16(static_cast<unsigned>(perBucket));
    for (const Bucket& b : buckets) {
        ext.u32(static_cast<std::uint32_t>(pieceStart[b.piece] + 4 + b.offset));
        ext.u16(static_cast<unsigned>(4 + b.offset));
        ext.u16(0);
    }
    out.write(rec::kExtSst, ext);
}

std::vector<std::string> readSharedStrings(const Record& sst) {
    RecordCursor in(sst);
    in.u32(); // total references: not needed
    const std::uint32_t unique = in.u32();
    std::vector<std::string> strings;
    // Each string takes at least three bytes, which bounds what a lying count can make us reserve.
    strings.reserve(std::min<std::size_t>(unique, in.remaining() / 3));
    while (strings.size() < unique && in.remaining() >= 3) {
        const std::size_t count = in.u16();
        strings.push_back(in.stringBody(count));
    }
    return strings;
}

} // namespace markwell::xls
