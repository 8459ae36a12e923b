#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace markwell::xls {

// BIFF8 colour indexes: 0-7 fixed colours, 8-63 the workbook palette, then system colours.
inline constexpr std::uint16_t kColourWindowText = 0x40;
inline constexpr std::uint16_t kColourWindowBackground = 0x41;
inline constexpr std::uint16_t kColourFontAutomatic = 0x7FFF;

// The 56 palette colours (indexes 8 to 63) as 0xRRGGBB.
class Palette {
public:
    Palette(); // the default palette
    void set(std::size_t index, std::uint32_t rgb);
    // The colour an index stands for; system colours resolve to `fallback`.
    std::uint32_t resolve(unsigned index, std::uint32_t fallback) const;
    const std::array<std::uint32_t, 56>& entries() const { return m_entries; }
    bool isDefault() const;

private:
    std::array<std::uint32_t, 56> m_entries;
};

// Hands out palette indexes for the writer so that every colour the workbook uses is exact: a
// colour the default palette has keeps its index, any other takes over an entry nobody uses.
class PaletteBuilder {
public:
    std::uint16_t index(std::uint32_t rgb);
    const Palette& palette() const { return m_palette; }

private:
    Palette m_palette;
    std::array<bool, 56> m_claimed{};
    int m_nextFree = 55;
};

} // namespace markwell::xls
