#include "Palette.h"

namespace markwell::xls {

namespace {

constexpr std::array<std::uint32_t, 56> kDefault = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0x800000, 0x008000,
    0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080, 0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF,
    0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF, 0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000,
    0x008080, 0x0000FF, 0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696, 0x003366, 0x339966,
    0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333};

constexpr std::array<std::uint32_t, 8> kFixed = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00,
                                                 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF};

int distance(std::uint32_t a, std::uint32_t b) {
    const int dr = static_cast<int>((a >> 16) & 0xFF) - static_cast<int>((b >> 16) & 0xFF);
    const int dg = static_cast<int>((a >> 8) & 0xFF) - static_cast<int>((b >> 8) & 0xFF);
    const int db = static_cast<int>(a & 0xFF) - static_cast<int>(b & 0xFF);
    return dr * dr + dg * dg + db * db;
}

} // namespace

Palette::Palette() : m_entries(kDefault) {}

void Palette::set(std::size_t index, std::uint32_t rgb) {
    if (index < m_entries.size()) {
        m_entries[index] = rgb & 0xFFFFFF;
    }
}

bool Palette::isDefault() const {
    return m_entries == kDefault;
}

std::uint32_t Palette::resolve(unsigned index, std::uint32_t fallback) const {
    if (index < 8) {
        return kFixed[index];
    }
    if (index < 64) {
        return m_entries[index - 8];
    }
    return fallback;
}

std::uint16_t PaletteBuilder::index(std::uint32_t rgb) {
    rgb &= 0xFFFFFF;
    const auto& e = m_palette.entries();
    // An entry that already has the colour, claimed or still default.
    for (std::size_t i = 0; i < e.size(); ++i) {
        if (e[i] == rgb) {
            m_claimed[i] = true;
            return static_cast<std::uint16_t>(i + 8);
        }
    }
    while (m_nextFree >= 0 && m_claimed[static_cast<std::size_t>(m_nextFree)]) {
        --m_nextFree;
    }
    if (m_nextFree >= 0) {
        const auto slot = static_cast<std::size_t>(m_nextFree--);
        m_palette.set(slot, rgb);
        m_claimed[slot] = true;
        return static_cast<std::uint16_t>(slot + 8);
    }
    // More than 56 colours: the nearest one we have.
    std::size_t best = 0;
    for (std::size_t i = 1; i < e.size(); ++i) {
        if (distance(e[i], rgb) < distance(e[best], rgb)) {
            best = i;
        }
    }
    return static_cast<std::uint16_t>(best + 8);
}

} // namespace markwell::xls
