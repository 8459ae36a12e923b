#include "CompoundFileReader.h"

#include "workbook/xls/Strings.h"

#include <algorithm>
#include <array>

namespace markwell::xls::cfb {

namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint32_t kFree = 0xFFFFFFFF;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr unsigned kMiniSectorSize = 64;
constexpr std::size_t kHeaderDifatEntries = 109;

[[noreturn]] void corrupt(const std::string& message) {
    throw XlsError(XlsErrorKind::Corrupt, message);
}

char asciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiUpper(a[i]) != asciiUpper(b[i])) {
            return false;
        }
    }
    return true;
}

// Directory names are UTF-16LE; surrogate pairs are joined, lone surrogates become U+FFFD.
std::string directoryName(const std::uint8_t* p, std::size_t units) {
    std::u16string text(units, u'\0');
    for (std::size_t i = 0; i < units; ++i) {
        text[i] = static_cast<char16_t>(load16(p + 2 * i));
    }
    return utf16ToUtf8(text);
}

} // namespace

bool hasCompoundSignature(ByteView data) {
    return data.size() >= kSignature.size() && std::equal(kSignature.begin(), kSignature.end(), data.begin());
}

CompoundFileReader::CompoundFileReader(Bytes file) : m_owned(std::move(file)), m_file(m_owned) {
    parse();
}

CompoundFileReader::CompoundFileReader(ByteView file, Borrow) : m_file(file) {
    parse();
}

CompoundFileReader CompoundFileReader::borrowing(ByteView file) {
    return CompoundFileReader(file, Borrow{});
}

void CompoundFileReader::parse() {
    if (!hasCompoundSignature(m_file)) {
        throw XlsError(XlsErrorKind::NotCompoundFile, "The file is not an OLE compound document.");
    }
    if (m_file.size() < 512) {
        throw XlsError(XlsErrorKind::Truncated, "The compound document ends inside its header.");
    }
    const std::uint8_t* h = m_file.data();
    m_major = load16(h + 26);
    const unsigned byteOrder = load16(h + 28);
    const unsigned sectorShift = load16(h + 30);
    const unsigned miniShift = load16(h + 32);
    if (byteOrder != 0xFFFE) {
        corrupt("The compound document header has an invalid byte-order mark.");
    }
    if (!((m_major == 3 && sectorShift == 9) || (m_major == 4 && sectorShift == 12))) {
        corrupt("The compound document has an unsupported version or sector size (version " + std::to_string(m_major) +
                ", sector shift " + std::to_string(sectorShift) + ").");
    }
    if (miniShift != 6) {
        corrupt("The compound document has an invalid mini sector size.");
    }
    m_sectorSize = 1u << sectorShift;
    m_miniCutoff = load32(h + 56);
    if (m_miniCutoff != 4096) {
        corrupt("The compound document has an invalid mini stream cut-off size.");
    }
    // A partial last sector is accepted; reads that reach past the end are refused later.
    const std::size_t body = m_file.size() > m_sectorSize ? m_file.size() - m_sectorSize : 0;
    const std::size_t sectors = (body + m_sectorSize - 1) / m_sectorSize;
    m_sectorCount = static_cast<std::uint32_t>(std::min<std::size_t>(sectors, 0xFFFFFFF0u));

    readFat();
    readDirectory();
    collectRootStreams();
}

ByteView CompoundFileReader::sector(std::uint32_t index) const {
    if (index >= m_sectorCount) {
        corrupt("The compound document refers to sector " + std::to_string(index) + ", beyond the end of the file.");
    }
    const std::size_t offset = (static_cast<std::size_t>(index) + 1) * m_sectorSize;
    const std::size_t available = std::min<std::size_t>(m_sectorSize, m_file.size() - offset);
    return ByteView(m_file.data() + offset, available);
}

void CompoundFileReader::readFat() {
    const std::uint8_t* h = m_file.data();
    const std::uint32_t fatSectors = load32(h + 44);
    std::uint32_t difatStart = load32(h + 68);
    // The header's count is only a hint: some writers overstate it. The table is what the DIFAT
    // lists, never more sectors than the file has.
    const std::uint32_t wanted = std::min(fatSectors, m_sectorCount);
    std::vector<std::uint32_t> fatSectorList;
    fatSectorList.reserve(wanted);
    bool beyondEnd = false;
    auto take = [&](std::uint32_t s) {
        if (s < m_sectorCount) {
            fatSectorList.push_back(s);
        } else if (s < 0xFFFFFFFA) {
            beyondEnd = true; // a real sector number past the end of the file
        }
    };
    for (std::size_t i = 0; i < kHeaderDifatEntries && i < wanted; ++i) {
        take(load32(h + 76 + 4 * i));
    }
    // The rest of the list lives in a chain of DIFAT sectors; each ends with the next one's number.
    const std::size_t perDifat = m_sectorSize / 4 - 1;
    std::vector<bool> seen(m_sectorCount, false);
    std::size_t listed = kHeaderDifatEntries;
    while (listed < wanted && difatStart < m_sectorCount) {
        if (seen[difatStart]) {
            corrupt("The compound document's DIFAT chain loops.");
        }
        seen[difatStart] = true;
        ByteView s = sector(difatStart);
        if (s.size() < m_sectorSize) {
            throw XlsError(XlsErrorKind::Truncated, "The compound document ends inside its DIFAT.");
        }
        for (std::size_t i = 0; i < perDifat && listed < wanted; ++i, ++listed) {
            take(load32(s.data() + 4 * i));
        }
        difatStart = load32(s.data() + 4 * perDifat);
    }
    if (beyondEnd) {
        throw XlsError(XlsErrorKind::Truncated,
                       "The file is cut short: its allocation table lies beyond the end of the file.");
    }
    if (fatSectorList.empty()) {
        corrupt("The compound document has no allocation table.");
    }
    m_fat.reserve(fatSectorList.size() * (m_sectorSize / 4));
    for (std::uint32_t fs : fatSectorList) {
        ByteView s = sector(fs);
        if (s.size() < m_sectorSize) {
            throw XlsError(XlsErrorKind::Truncated, "The compound document ends inside its allocation table.");
        }
        for (std::size_t i = 0; i < m_sectorSize / 4; ++i) {
            m_fat.push_back(load32(s.data() + 4 * i));
        }
    }
}

std::vector<std::uint32_t> CompoundFileReader::chain(const std::vector<std::uint32_t>& table, std::uint32_t start,
                                                     const char* what, std::uint64_t maxLength) const {
    std::vector<std::uint32_t> out;
    std::vector<bool> seen(table.size(), false);
    std::uint32_t s = start;
    while (s != kEndOfChain) {
        if (s == kFree || s >= table.size()) {
            corrupt(std::string("The compound document's ") + what + " chain refers to an invalid sector.");
        }
        if (seen[s]) {
            corrupt(std::string("The compound document's ") + what + " chain loops.");
        }
        seen[s] = true;
        out.push_back(s);
        if (out.size() >= maxLength) {
            break;
        }
        s = table[s];
    }
    return out;
}

void CompoundFileReader::readDirectory() {
    const std::uint8_t* h = m_file.data();
    const std::uint32_t dirStart = load32(h + 48);
    const auto sectors = chain(m_fat, dirStart, "directory", m_sectorCount);
    const std::size_t perSector = m_sectorSize / 128;
    for (std::uint32_t s : sectors) {
        ByteView data = sector(s);
        for (std::size_t i = 0; i < perSector && (i + 1) * 128 <= data.size(); ++i) {
            const std::uint8_t* e = data.data() + i * 128;
            Entry entry;
            unsigned nameBytes = load16(e + 64);
            if (nameBytes > 64) {
                nameBytes = 64;
            }
            std::size_t units = nameBytes / 2;
            if (units > 0 && load16(e + 2 * (units - 1)) == 0) {
                --units; // the terminating zero
            }
            entry.name = directoryName(e, units);
            entry.type = e[66];
            entry.left = load32(e + 68);
            entry.right = load32(e + 72);
            entry.child = load32(e + 76);
            entry.start = load32(e + 116);
            entry.size = load64(e + 120);
            if (m_major == 3) {
                entry.size &= 0xFFFFFFFFu; // version 3 writers may leave garbage in the high half
            }
            m_entries.push_back(std::move(entry));
        }
    }
    if (m_entries.empty() || m_entries[0].type != 5) {
        corrupt("The compound document has no root directory entry.");
    }
    // The mini stream belongs to the root entry and lives in regular sectors.
    const Entry& root = m_entries[0];
    if (root.size > 0) {
        if (root.size > m_file.size()) {
            corrupt("The compound document's mini stream is larger than the file.");
        }
        const auto miniSectors = chain(m_fat, root.start, "mini stream", (root.size + m_sectorSize - 1) / m_sectorSize);
        if (static_cast<std::uint64_t>(miniSectors.size()) * m_sectorSize < root.size) {
            throw XlsError(XlsErrorKind::Truncated, "The compound document's mini stream is cut short.");
        }
        m_miniStream.reserve(static_cast<std::size_t>(root.size));
        for (std::uint32_t s : miniSectors) {
            ByteView data = sector(s);
            m_miniStream.insert(m_miniStream.end(), data.begin(), data.end());
        }
        m_miniStream.resize(std::min<std::size_t>(m_miniStream.size(), static_cast<std::size_t>(root.size)));
        const std::uint32_t miniFatStart = load32(h + 60);
        if (miniFatStart != kEndOfChain && miniFatStart != kFree) {
            for (std::uint32_t s : chain(m_fat, miniFatStart, "mini allocation table", m_sectorCount)) {
                ByteView data = sector(s);
                for (std::size_t i = 0; i + 4 <= data.size(); i += 4) {
                    m_miniFat.push_back(load32(data.data() + i));
                }
            }
        }
    }
}

void CompoundFileReader::collectRootStreams() {
    // Walk the root storage's tree of children; a bad link ends that branch, a repeated one is a loop.
    std::vector<bool> seen(m_entries.size(), false);
    std::vector<std::uint32_t> stack;
    stack.push_back(m_entries[0].child);
    seen[0] = true;
    while (!stack.empty()) {
        const std::uint32_t i = stack.back();
        stack.pop_back();
        if (i == kNoStream || i >= m_entries.size()) {
            continue;
        }
        if (seen[i]) {
            corrupt("The compound document's directory tree loops.");
        }
        seen[i] = true;
        const Entry& e = m_entries[i];
        if (e.type == 2) {
            m_rootStreams.push_back(i);
        }
        stack.push_back(e.right);
        stack.push_back(e.left);
    }
    std::sort(m_rootStreams.begin(), m_rootStreams.end());
}

std::optional<std::uint32_t> CompoundFileReader::findStream(std::string_view name) const {
    for (std::uint32_t i : m_rootStreams) {
        if (sameNameIgnoringCase(m_entries[i].name, name)) {
            return i;
        }
    }
    return std::nullopt;
}

Bytes CompoundFileReader::readStream(std::uint32_t index) const {
    Bytes out;
    const ByteView view = streamView(index, out);
    if (view.data() != out.data()) {
        out.assign(view.begin(), view.end());
    }
    return out;
}

ByteView CompoundFileReader::streamView(std::uint32_t index, Bytes& storage) const {
    const Entry& e = m_entries.at(index);
    storage.clear();
    if (e.size == 0) {
        return storage;
    }
    const bool mini = e.size < m_miniCutoff;
    const std::uint64_t limit = mini ? m_miniStream.size() : m_file.size();
    if (e.size > limit) {
        corrupt("The stream \"" + e.name + "\" announces " + std::to_string(e.size) +
                " bytes, more than the file holds.");
    }
    const std::size_t size = static_cast<std::size_t>(e.size);
    std::size_t held = 0; // bytes of the stream its sectors hold
    if (mini) {
        const auto sectors = chain(m_miniFat, e.start, "mini stream", (size + kMiniSectorSize - 1) / kMiniSectorSize);
        storage.reserve(size);
        for (std::uint32_t s : sectors) {
            const std::size_t offset = static_cast<std::size_t>(s) * kMiniSectorSize;
            if (offset >= m_miniStream.size()) {
                corrupt("The stream \"" + e.name + "\" refers to a mini sector beyond the mini stream.");
            }
            const std::size_t n = std::min<std::size_t>(kMiniSectorSize, m_miniStream.size() - offset);
            storage.insert(storage.end(), m_miniStream.begin() + static_cast<std::ptrdiff_t>(offset),
                           m_miniStream.begin() + static_cast<std::ptrdiff_t>(offset + n));
        }
        held = storage.size();
    } else {
        const auto sectors = chain(m_fat, e.start, "stream", (size + m_sectorSize - 1) / m_sectorSize);
        bool adjacent = true;
        for (std::size_t i = 0; i < sectors.size(); ++i) {
            held += sector(sectors[i]).size();
            adjacent = adjacent && (i == 0 || sectors[i] == sectors[i - 1] + 1);
        }
        if (adjacent && held >= size) {
            return ByteView(sector(sectors.front()).data(), size);
        }
        storage.reserve(size);
        for (std::uint32_t s : sectors) {
            ByteView data = sector(s);
            storage.insert(storage.end(), data.begin(), data.end());
        }
    }
    if (held < size) {
        throw XlsError(XlsErrorKind::Truncated, "The stream \"" + e.name + "\" is cut short: it announces " +
                                                    std::to_string(size) + " bytes but holds " + std::to_string(held) +
                                                    ".");
    }
    storage.resize(size);
    return storage;
}

} // namespace markwell::xls::cfb
