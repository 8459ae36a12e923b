#pragma once

#include "ByteIO.h"
#include "Globals.h"

#include "workbook/sheet/Format.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>

namespace markwell::xls {

// Record bodies the writer emits, each the mirror of what the reader parses.
Bytes encodeBof(std::uint16_t substream);
Bytes encodeFont(const FontRecord& font);
Bytes encodeFormat(std::uint16_t index, std::string_view code);
Bytes encodeXf(const XfRecord& xf, std::uint16_t parent);
Bytes encodePalette(const Palette& palette);
Bytes encodeBoundSheet(std::string_view name);
Bytes encodeName(const NameRecord& name);
Bytes encodeU16(unsigned value);
Bytes encodeDouble(double value);
Bytes encodeString16(std::string_view text); // HEADER, FOOTER, STRING ...

// The codes of XF fields.
std::uint8_t borderCode(sheet::BorderStyle s);
std::uint8_t hAlignCode(sheet::HAlign a);
std::uint8_t vAlignCode(sheet::VAlign a);

// A number as an RK value, when RK holds it exactly: an integer of 30 bits, or a double whose low
// 32 bits are zero, either of them optionally divided by 100.
std::optional<std::uint32_t> toRkAny(double v);

// The RK value of a whole number of 30 bits (not -0), tested as the int32 that gives it back.
inline std::optional<std::uint32_t> rkWhole(double x) {
    if (x >= -(1 << 29) && x < (1 << 29)) {
        const auto i = static_cast<std::int32_t>(x);
        if (static_cast<double>(i) == x && !(i == 0 && std::signbit(x))) {
            return (static_cast<std::uint32_t>(i) << 2) | 0x02;
        }
    }
    return std::nullopt;
}

// toRkAny with the common case of a sheet's numbers, a whole number, tried first in place.
inline std::optional<std::uint32_t> toRk(double v) {
    if (auto rk = rkWhole(v)) {
        return rk;
    }
    return toRkAny(v);
}

// Built-in NAME codes (Print_Area 0x06 ...), or -1 for a user name.
int builtinNameCode(std::string_view name);

} // namespace markwell::xls
