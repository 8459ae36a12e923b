#pragma once

#include "ByteIO.h"
#include "Globals.h"

#include <cstdint>
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

// Built-in NAME codes (Print_Area 0x06 ...), or -1 for a user name.
int builtinNameCode(std::string_view name);

} // namespace markwell::xls
