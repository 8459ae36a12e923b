#include "Strings.h"

namespace markwell::xls {

std::string utf16ToUtf8(std::u16string_view units) {
    std::string out;
    out.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t c = units[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00u);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::uint32_t c = 0xFFFD;
        std::size_t len = 1;
        if (b < 0x80) {
            c = b;
        } else if (b >= 0xC2 && b < 0xF5) {
            const std::size_t want = b < 0xE0 ? 2 : (b < 0xF0 ? 3 : 4);
            std::uint32_t v = b & (want == 2 ? 0x1F : (want == 3 ? 0x0F : 0x07));
            std::size_t k = 1;
            for (; k < want && i + k < text.size(); ++k) {
                const auto cont = static_cast<unsigned char>(text[i + k]);
                if ((cont & 0xC0) != 0x80) {
                    break;
                }
                v = (v << 6) | (cont & 0x3F);
            }
            if (k == want) {
                const bool overlong = (want == 3 && v < 0x800) || (want == 4 && v < 0x10000);
                const bool surrogate = v >= 0xD800 && v < 0xE000;
                if (!overlong && !surrogate && v <= 0x10FFFF) {
                    c = v;
                }
                len = want;
            } else {
                len = k;
            }
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += len;
    }
    return out;
}

bool fitsCompressed(std::u16string_view units) {
    for (char16_t u : units) {
        if (u > 0xFF) {
            return false;
        }
    }
    return true;
}

void writeFlaggedChars(ByteWriter& out, std::u16string_view units) {
    const bool compressed = fitsCompressed(units);
    out.u8(compressed ? 0 : 1);
    for (char16_t u : units) {
        if (compressed) {
            out.u8(u);
        } else {
            out.u16(u);
        }
    }
}

void writeUnicodeString16(ByteWriter& out, std::u16string_view units) {
    if (units.size() > 0xFFFF) {
        throw XlsError(XlsErrorKind::Unsupported, "A text of " + std::to_string(units.size()) +
                                                      " characters is longer than the 65535 a record's string holds.");
    }
    out.u16(static_cast<unsigned>(units.size()));
    writeFlaggedChars(out, units);
}

void writeUnicodeString8(ByteWriter& out, std::u16string_view units) {
    if (units.size() > 0xFF) {
        throw XlsError(XlsErrorKind::Unsupported, "A text of " + std::to_string(units.size()) +
                                                      " characters is longer than the 255 this record's string holds.");
    }
    out.u8(static_cast<unsigned>(units.size()));
    writeFlaggedChars(out, units);
}

} // namespace markwell::xls
