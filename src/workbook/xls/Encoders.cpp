#include "Encoders.h"

#include "RecordIds.h"
#include "Strings.h"

#include <array>
#include <bit>
#include <cmath>

namespace markwell::xls {

Bytes encodeBof(std::uint16_t substream) {
    ByteWriter w;
    w.u16(rec::kBiff8Version);
    w.u16(substream);
    w.u16(0x0DBB);     // build
    w.u16(0x07CC);     // year
    w.u32(0x000100C1); // file history flags
    w.u32(0x00000406); // lowest version that can read all records
    return std::move(w.data());
}

Bytes encodeFont(const FontRecord& font) {
    ByteWriter w;
    w.u16(static_cast<unsigned>(font.heightTwips));
    w.u16((font.italic ? 0x02 : 0) | (font.strike ? 0x08 : 0));
    w.u16(font.colour);
    w.u16(font.bold ? 700 : 400);
    w.u16(0);
    w.u8(font.underline ? 1 : 0);
    w.u8(0); // family
    w.u8(0); // character set
    w.u8(0);
    std::u16string name = utf8ToUtf16(font.name);
    name.resize(cutWithinLimit(name, 31));
    writeUnicodeString8(w, name);
    return std::move(w.data());
}

Bytes encodeFormat(std::uint16_t index, std::string_view code) {
    ByteWriter w;
    w.u16(index);
    std::u16string units = utf8ToUtf16(code);
    units.resize(cutWithinLimit(units, 255));
    writeUnicodeString16(w, units);
    return std::move(w.data());
}

Bytes encodeXf(const XfRecord& xf, std::uint16_t parent) {
    ByteWriter w;
    w.u16(xf.font);
    w.u16(xf.format);
    w.u16((xf.locked ? 0x01 : 0) | (xf.style ? 0x04 : 0) | ((xf.style ? 0xFFF : parent) << 4));
    w.u8((xf.halign & 0x07) | (xf.wrap ? 0x08 : 0) | ((xf.valign & 0x07) << 4));
    w.u8(xf.rotation);
    w.u8(xf.indent & 0x0F);
    // Cell formats state every attribute group themselves; style formats leave them to cells.
    w.u8(xf.style ? 0x00 : 0xF8);
    const std::uint32_t b1 = static_cast<std::uint32_t>(xf.left & 0x0F) | ((xf.right & 0x0Fu) << 4) |
                             ((xf.top & 0x0Fu) << 8) | ((xf.bottom & 0x0Fu) << 12) | ((xf.leftColour & 0x7Fu) << 16) |
                             ((xf.rightColour & 0x7Fu) << 23);
    const std::uint32_t b2 = static_cast<std::uint32_t>(xf.topColour & 0x7F) | ((xf.bottomColour & 0x7Fu) << 7) |
                             ((xf.pattern & 0x3Fu) << 26);
    w.u32(b1);
    w.u32(b2);
    w.u16((xf.foreColour & 0x7F) | ((xf.backColour & 0x7F) << 7));
    return std::move(w.data());
}

Bytes encodePalette(const Palette& palette) {
    ByteWriter w;
    w.u16(56);
    for (std::uint32_t rgb : palette.entries()) {
        w.u8((rgb >> 16) & 0xFF);
        w.u8((rgb >> 8) & 0xFF);
        w.u8(rgb & 0xFF);
        w.u8(0);
    }
    return std::move(w.data());
}

Bytes encodeBoundSheet(std::string_view name) {
    ByteWriter w;
    w.u32(0); // stream offset, patched once the sheet is placed
    w.u8(0);  // visible
    w.u8(0);  // worksheet
    writeUnicodeString8(w, utf8ToUtf16(name));
    return std::move(w.data());
}

int builtinNameCode(std::string_view name) {
    static constexpr std::array<std::string_view, 14> names = {
        "Consolidate_Area", "Auto_Open",       "Auto_Close",   "Extract",        "Database",
        "Criteria",         "Print_Area",      "Print_Titles", "Recorder",       "Data_Form",
        "Auto_Activate",    "Auto_Deactivate", "Sheet_Title",  "_FilterDatabase"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

Bytes encodeName(const NameRecord& name) {
    ByteWriter w;
    const int code = name.builtin ? builtinNameCode(name.name) : -1;
    const std::u16string text = code >= 0 ? std::u16string(1, static_cast<char16_t>(code)) : utf8ToUtf16(name.name);
    w.u16((name.hidden ? 0x0001 : 0) | (code >= 0 ? 0x0020 : 0));
    w.u8(0);
    w.u8(static_cast<unsigned>(text.size()));
    w.u16(static_cast<unsigned>(name.rgce.size()));
    w.u16(0);
    w.u16(name.sheet < 0 ? 0 : static_cast<unsigned>(name.sheet + 1));
    w.u32(0);
    writeFlaggedChars(w, text);
    w.bytes(name.rgce);
    return std::move(w.data());
}

Bytes encodeU16(unsigned value) {
    ByteWriter w;
    w.u16(value);
    return std::move(w.data());
}

Bytes encodeDouble(double value) {
    ByteWriter w;
    w.f64(value);
    return std::move(w.data());
}

Bytes encodeString16(std::string_view text) {
    ByteWriter w;
    writeUnicodeString16(w, utf8ToUtf16(text));
    return std::move(w.data());
}

std::uint8_t borderCode(sheet::BorderStyle s) {
    using B = sheet::BorderStyle;
    switch (s) {
    case B::None:
        return 0;
    case B::Thin:
        return 1;
    case B::Medium:
        return 2;
    case B::Dashed:
        return 3;
    case B::Dotted:
        return 4;
    case B::Thick:
        return 5;
    case B::Double:
        return 6;
    case B::Hair:
        return 7;
    }
    return 0;
}

std::uint8_t hAlignCode(sheet::HAlign a) {
    using H = sheet::HAlign;
    switch (a) {
    case H::General:
        return 0;
    case H::Left:
        return 1;
    case H::Center:
        return 2;
    case H::Right:
        return 3;
    case H::Fill:
        return 4;
    case H::Justify:
        return 5;
    case H::CenterAcross:
        return 6;
    }
    return 0;
}

std::uint8_t vAlignCode(sheet::VAlign a) {
    using V = sheet::VAlign;
    switch (a) {
    case V::Top:
        return 0;
    case V::Center:
        return 1;
    case V::Bottom:
        return 2;
    case V::Justify:
        return 3;
    }
    return 2;
}

std::optional<std::uint32_t> toRkAny(double v) {
    if (!std::isfinite(v)) {
        return std::nullopt;
    }
    auto asDouble = [](double x) -> std::optional<std::uint32_t> {
        const auto bits = std::bit_cast<std::uint64_t>(x);
        if ((bits & 0x00000003FFFFFFFFull) == 0) {
            return static_cast<std::uint32_t>(bits >> 32);
        }
        return std::nullopt;
    };
    if (auto rk = rkWhole(v)) {
        return rk;
    }
    if (auto rk = asDouble(v)) {
        return rk;
    }
    const double scaled = v * 100.0;
    if (std::fabs(scaled) < 1e15 && scaled / 100.0 == v) {
        if (auto rk = rkWhole(scaled); rk && static_cast<double>(static_cast<std::int32_t>(*rk) >> 2) / 100.0 == v) {
            return *rk | 0x01;
        }
    }
    return std::nullopt;
}

} // namespace markwell::xls
