#pragma once

#include "ByteIO.h"

#include <string>
#include <string_view>

namespace markwell::xls {

// UTF-16 code units to UTF-8; unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(std::u16string_view units);
// UTF-8 to UTF-16; malformed sequences become U+FFFD, so any byte string can be written.
std::u16string utf8ToUtf16(std::string_view text);

// True for the first half of a UTF-16 surrogate pair that its second half follows at `at + 1`.
inline bool pairStartsAt(std::u16string_view units, std::size_t at) {
    return at + 1 < units.size() && units[at] >= 0xD800 && units[at] < 0xDC00 && units[at + 1] >= 0xDC00 &&
           units[at + 1] < 0xE000;
}

// The largest length up to `limit` at which `units` may be cut without parting the two halves
// of a surrogate pair (a character outside the Basic Multilingual Plane, such as an emoji).
inline std::size_t cutWithinLimit(std::u16string_view units, std::size_t limit) {
    if (limit >= units.size()) {
        return units.size();
    }
    return limit > 0 && pairStartsAt(units, limit - 1) ? limit - 1 : limit;
}

// Appends BIFF8 character data: one byte per character ("compressed") when every unit fits in a
// byte, else UTF-16LE. Returns the option flags byte that describes the encoding used.
bool fitsCompressed(std::u16string_view units);

// XLUnicodeString: 16-bit count, flags, characters (no rich text or phonetic data written). A
// text too long for its count is refused with XlsError, never written with a cut count.
void writeUnicodeString16(ByteWriter& out, std::u16string_view units);
// ShortXLUnicodeString: 8-bit count, flags, characters; more than 255 characters are refused.
void writeUnicodeString8(ByteWriter& out, std::u16string_view units);
// Characters with a leading flags byte and no count (NAME, TXO continuation).
void writeFlaggedChars(ByteWriter& out, std::u16string_view units);

} // namespace markwell::xls
