#include "CompoundFileWriter.h"

#include <algorithm>
#include <array>
#include <functional>

namespace markwell::xls::cfb {

namespace {

constexpr std::uint32_t kFree = 0xFFFFFFFF;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFatSector = 0xFFFFFFFD;
constexpr std::uint32_t kDifatSector = 0xFFFFFFFC;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr std::size_t kSector = 512;
constexpr std::size_t kMini = 64;
constexpr std::size_t kCutoff = 4096;
constexpr std::size_t kPerFat = kSector / 4;
constexpr std::size_t kHeaderDifat = 109;

std::size_t sectorsFor(std::size_t bytes, std::size_t unit) {
    return (bytes + unit - 1) / unit;
}

char upper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// The directory's sibling order: shorter names first, then by upper-cased characters.
bool directoryLess(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return a.size() < b.size();
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (upper(a[i]) != upper(b[i])) {
            return upper(a[i]) < upper(b[i]);
        }
    }
    return false;
}

} // namespace

void CompoundFileWriter::addStream(std::string name, Bytes data) {
    if (name.empty() || name.size() > 31) {
        throw XlsError(XlsErrorKind::Unsupported, "A compound document stream name must have 1 to 31 characters.");
    }
    for (const Stream& s : m_streams) {
        if (!directoryLess(s.name, name) && !directoryLess(name, s.name)) {
            throw XlsError(XlsErrorKind::Unsupported, "The stream \"" + name + "\" is added twice.");
        }
    }
    m_streams.push_back({std::move(name), std::move(data)});
}

Bytes CompoundFileWriter::build() const {
    Bytes file;
    write([&file](ByteView piece) { file.insert(file.end(), piece.begin(), piece.end()); });
    return file;
}

void CompoundFileWriter::write(const std::function<void(ByteView)>& sink) const {
    // Mini stream: every small stream, each padded to whole 64-byte mini sectors.
    std::vector<std::uint32_t> miniFat;
    Bytes miniStream;
    std::vector<std::uint32_t> startOf(m_streams.size(), kEndOfChain);
    std::size_t bigSectors = 0;
    for (std::size_t i = 0; i < m_streams.size(); ++i) {
        const Bytes& d = m_streams[i].data;
        if (d.empty()) {
            continue;
        }
        if (d.size() < kCutoff) {
            const std::size_t first = miniFat.size();
            const std::size_t n = sectorsFor(d.size(), kMini);
            for (std::size_t k = 0; k < n; ++k) {
                miniFat.push_back(k + 1 < n ? static_cast<std::uint32_t>(first + k + 1) : kEndOfChain);
            }
            startOf[i] = static_cast<std::uint32_t>(first);
            miniStream.insert(miniStream.end(), d.begin(), d.end());
            miniStream.resize(miniFat.size() * kMini, 0);
        } else {
            bigSectors += sectorsFor(d.size(), kSector);
        }
    }
    const std::size_t miniStreamSectors = sectorsFor(miniStream.size(), kSector);
    const std::size_t miniFatSectors = sectorsFor(miniFat.size() * 4, kSector);
    const std::size_t entries = m_streams.size() + 1;
    const std::size_t dirSectors = sectorsFor(entries * 128, kSector);
    const std::size_t dataSectors = bigSectors + miniStreamSectors + miniFatSectors + dirSectors;

    // The allocation table covers itself and the DIFAT sectors too: find the fixed point.
    std::size_t fatSectors = 0, difatSectors = 0;
    for (;;) {
        const std::size_t total = dataSectors + fatSectors + difatSectors;
        const std::size_t needFat = sectorsFor(total, kPerFat);
        const std::size_t needDifat = needFat > kHeaderDifat ? sectorsFor(needFat - kHeaderDifat, kPerFat - 1) : 0;
        if (needFat == fatSectors && needDifat == difatSectors) {
            break;
        }
        fatSectors = needFat;
        difatSectors = needDifat;
    }
    const std::size_t totalSectors = dataSectors + fatSectors + difatSectors;
    if (totalSectors >= 0xFFFFFFF0u) {
        throw XlsError(XlsErrorKind::TooLarge, "The workbook is too large for a compound document.");
    }

    std::vector<std::uint32_t> fat(fatSectors * kPerFat, kFree);
    std::uint32_t next = 0;
    auto allocate = [&](std::size_t count) {
        const std::uint32_t first = next;
        for (std::size_t k = 0; k < count; ++k) {
            fat[next] = k + 1 < count ? next + 1 : kEndOfChain;
            ++next;
        }
        return count ? first : kEndOfChain;
    };
    for (std::size_t i = 0; i < m_streams.size(); ++i) {
        if (m_streams[i].data.size() >= kCutoff) {
            startOf[i] = allocate(sectorsFor(m_streams[i].data.size(), kSector));
        }
    }
    const std::uint32_t miniStreamStart = allocate(miniStreamSectors);
    const std::uint32_t miniFatStart = allocate(miniFatSectors);
    const std::uint32_t dirStart = allocate(dirSectors);
    const std::uint32_t fatStart = next;
    for (std::size_t k = 0; k < fatSectors; ++k) {
        fat[next++] = kFatSector;
    }
    const std::uint32_t difatStart = difatSectors ? next : kEndOfChain;
    for (std::size_t k = 0; k < difatSectors; ++k) {
        fat[next++] = kDifatSector;
    }

    ByteWriter out;
    // Header.
    const std::array<std::uint8_t, 8> signature = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    out.bytes(signature);
    out.zeros(16);
    out.u16(0x003E);
    out.u16(3);
    out.u16(0xFFFE);
    out.u16(9);
    out.u16(6);
    out.zeros(6);
    out.u32(0); // directory sector count: always 0 in version 3
    out.u32(static_cast<std::uint32_t>(fatSectors));
    out.u32(dirStart);
    out.u32(0);
    out.u32(kCutoff);
    out.u32(miniFatSectors ? miniFatStart : kEndOfChain);
    out.u32(static_cast<std::uint32_t>(miniFatSectors));
    out.u32(difatStart);
    out.u32(static_cast<std::uint32_t>(difatSectors));
    for (std::size_t k = 0; k < kHeaderDifat; ++k) {
        out.u32(k < fatSectors ? fatStart + static_cast<std::uint32_t>(k) : kFree);
    }

    // The small pieces gather in `out`; what went to the sink before them counts for the padding.
    std::size_t sent = 0;
    const auto flush = [&] {
        sink(out.data());
        sent += out.size();
        out.data().clear();
    };
    const auto offset = [&] { return sent + out.size(); };
    auto padSector = [&] { out.zeros((kSector - offset() % kSector) % kSector); };
    for (std::size_t i = 0; i < m_streams.size(); ++i) {
        if (m_streams[i].data.size() >= kCutoff) {
            flush();
            sink(m_streams[i].data);
            sent += m_streams[i].data.size();
            padSector();
        }
    }
    out.bytes(miniStream);
    padSector();
    for (std::uint32_t v : miniFat) {
        out.u32(v);
    }
    while (offset() % kSector) {
        out.u32(kFree);
    }

    // Directory: the root, then the streams as a balanced tree under it (all black).
    std::vector<std::size_t> order(m_streams.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        order[i] = i;
    }
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return directoryLess(m_streams[a].name, m_streams[b].name); });
    std::vector<std::uint32_t> left(m_streams.size(), kNoStream), right(m_streams.size(), kNoStream);
    std::function<std::uint32_t(std::size_t, std::size_t)> balance = [&](std::size_t lo, std::size_t hi) {
        if (lo >= hi) {
            return kNoStream;
        }
        const std::size_t mid = lo + (hi - lo) / 2;
        const std::size_t s = order[mid];
        left[s] = balance(lo, mid);
        right[s] = balance(mid + 1, hi);
        return static_cast<std::uint32_t>(s + 1);
    };
    const std::uint32_t rootChild = balance(0, order.size());
    auto writeEntry = [&](const std::string& name, std::uint8_t type, std::uint32_t l, std::uint32_t r,
                          std::uint32_t child, std::uint32_t start, std::uint64_t size) {
        const std::size_t begin = out.size();
        for (char c : name) {
            out.u16(static_cast<std::uint8_t>(c));
        }
        out.u16(0);
        out.zeros(64 - (out.size() - begin));
        out.u16(static_cast<unsigned>((name.size() + 1) * 2));
        out.u8(type);
        out.u8(1); // black
        out.u32(l);
        out.u32(r);
        out.u32(child);
        out.zeros(16 + 4 + 8 + 8); // class id, state bits, times
        out.u32(start);
        out.u64(size);
    };
    writeEntry("Root Entry", 5, kNoStream, kNoStream, rootChild, miniStream.empty() ? kEndOfChain : miniStreamStart,
               miniStream.size());
    for (std::size_t i = 0; i < m_streams.size(); ++i) {
        writeEntry(m_streams[i].name, 2, left[i], right[i], kNoStream, startOf[i], m_streams[i].data.size());
    }
    while (offset() % kSector) {
        // Unused entries: empty names, no siblings.
        const std::size_t begin = out.size();
        out.zeros(64 + 2 + 2);
        out.u32(kNoStream);
        out.u32(kNoStream);
        out.u32(kNoStream);
        out.zeros(128 - (out.size() - begin));
    }
    for (std::uint32_t v : fat) {
        out.u32(v);
    }
    // DIFAT sectors: the FAT sector numbers beyond the header's 109, chained.
    for (std::size_t d = 0; d < difatSectors; ++d) {
        for (std::size_t k = 0; k < kPerFat - 1; ++k) {
            const std::size_t index = kHeaderDifat + d * (kPerFat - 1) + k;
            out.u32(index < fatSectors ? fatStart + static_cast<std::uint32_t>(index) : kFree);
        }
        out.u32(d + 1 < difatSectors ? difatStart + static_cast<std::uint32_t>(d + 1) : kEndOfChain);
    }
    flush();
}

} // namespace markwell::xls::cfb
