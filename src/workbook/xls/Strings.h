#pragma once

#include "ByteIO.h"

#include <string>
#include <string_view>

namespace markwell::xls {

// UTF-16 code units to UTF-8; unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(std::u16string_view units);
// UTF-8 to UTF-16; malformed sequences become U+FFFD, so any byte string can be written.
std::u16string utf8ToUtf16(std::string_view text);

// Appends BIFF8 character data: one byte per character ("compressed") when every unit fits in a
// byte, else UTF-16LE. Returns the option flags byte that describes the encoding used.
bool fitsCompressed(std::u16string_view units);

// XLUnicodeString: 16-bit count, flags, characters (no rich text or phonetic data written).
void writeUnicodeString16(ByteWriter& out, std::u16string_view units);
// ShortXLUnicodeString: 8-bit count, flags, characters. The caller keeps the length below 256.
void writeUnicodeString8(ByteWriter& out, std::u16string_view units);
// Characters with a leading flags byte and no count (NAME, TXO continuation).
void writeFlaggedChars(ByteWriter& out, std::u16string_view units);

} // namespace markwell::xls
