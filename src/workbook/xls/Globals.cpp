#include "Globals.h"

#include "RecordIds.h"
#include "SharedStrings.h"

namespace markwell::xls {

namespace {

const char* const kBuiltinNames[] = {"Consolidate_Area", "Auto_Open",      "Auto_Close",    "Extract",
                                     "Database",         "Criteria",       "Print_Area",    "Print_Titles",
                                     "Recorder",         "Data_Form",      "Auto_Activate", "Auto_Deactivate",
                                     "Sheet_Title",      "_FilterDatabase"};

FontRecord readFont(const Record& r) {
    RecordCursor c(r);
    FontRecord f;
    f.heightTwips = c.u16();
    const unsigned flags = c.u16();
    f.italic = flags & 0x02;
    f.strike = flags & 0x08;
    f.colour = c.u16();
    f.bold = c.u16() >= 700;
    c.u16(); // super/subscript
    f.underline = c.u8() != 0;
    c.skip(3); // family, character set, reserved
    f.name = c.string8();
    return f;
}

XfRecord readXf(const Record& r) {
    RecordCursor c(r);
    XfRecord x;
    x.font = c.u16();
    x.format = c.u16();
    const unsigned type = c.u16();
    x.locked = type & 0x01;
    x.style = type & 0x04;
    const unsigned align = c.u8();
    x.halign = align & 0x07;
    x.wrap = align & 0x08;
    x.valign = (align >> 4) & 0x07;
    x.rotation = c.u8();
    x.indent = c.u8() & 0x0F;
    c.u8(); // attributes used
    const std::uint32_t b1 = c.u32();
    const std::uint32_t b2 = c.u32();
    const unsigned colours = c.u16();
    x.left = b1 & 0x0F;
    x.right = (b1 >> 4) & 0x0F;
    x.top = (b1 >> 8) & 0x0F;
    x.bottom = (b1 >> 12) & 0x0F;
    x.leftColour = (b1 >> 16) & 0x7F;
    x.rightColour = (b1 >> 23) & 0x7F;
    x.topColour = b2 & 0x7F;
    x.bottomColour = (b2 >> 7) & 0x7F;
    x.pattern = (b2 >> 26) & 0x3F;
    x.foreColour = colours & 0x7F;
    x.backColour = (colours >> 7) & 0x7F;
    return x;
}

NameRecord readName(const Record& r) {
    RecordCursor c(r);
    NameRecord n;
    const unsigned flags = c.u16();
    n.hidden = flags & 0x0001;
    n.function = flags & 0x000E; // function, command or macro
    n.builtin = flags & 0x0020;
    c.u8(); // keyboard shortcut
    const unsigned cch = c.u8();
    const unsigned cce = c.u16();
    c.u16();
    const unsigned itab = c.u16();
    c.skip(4); // lengths of menu, description, help and status texts
    n.name = c.stringBody(cch);
    n.sheet = itab == 0 ? -1 : static_cast<int>(itab) - 1;
    if (n.builtin && !n.name.empty()) {
        const auto code = static_cast<unsigned char>(n.name[0]);
        if (code < std::size(kBuiltinNames)) {
            n.name = kBuiltinNames[code];
        }
    }
    ByteView f = c.bytes(std::min<std::size_t>(cce, c.remaining()));
    if (f.size() < cce) {
        throw XlsError(XlsErrorKind::Truncated, "The NAME record \"" + n.name + "\" is shorter than its formula.");
    }
    n.rgce.assign(f.begin(), f.end());
    return n;
}

} // namespace

const FontRecord* Globals::fontAt(std::uint16_t index) const {
    const std::size_t i = index < 4 ? index : static_cast<std::size_t>(index) - 1;
    if (index == 4 || i >= fonts.size()) {
        return nullptr;
    }
    return &fonts[i];
}

std::string builtinNumberFormat(std::uint16_t index) {
    switch (index) {
    case 0:
        return "General";
    case 1:
        return "0";
    case 2:
        return "0.00";
    case 3:
        return "#,##0";
    case 4:
        return "#,##0.00";
    case 9:
        return "0%";
    case 10:
        return "0.00%";
    case 11:
        return "0.00E+00";
    case 12:
        return "# ?/?";
    case 13:
        return "# ?\?/?\?";
    case 14:
        return "m/d/yyyy";
    case 15:
        return "d-mmm-yy";
    case 16:
        return "d-mmm";
    case 17:
        return "mmm-yy";
    case 18:
        return "h:mm AM/PM";
    case 19:
        return "h:mm:ss AM/PM";
    case 20:
        return "h:mm";
    case 21:
        return "h:mm:ss";
    case 22:
        return "m/d/yyyy h:mm";
    case 37:
        return "#,##0 ;(#,##0)";
    case 38:
        return "#,##0 ;[Red](#,##0)";
    case 39:
        return "#,##0.00;(#,##0.00)";
    case 40:
        return "#,##0.00;[Red](#,##0.00)";
    case 45:
        return "mm:ss";
    case 46:
        return "[h]:mm:ss";
    case 47:
        return "mm:ss.0";
    case 48:
        return "##0.0E+0";
    case 49:
        return "@";
    default:
        return {};
    }
}

Globals readGlobals(RecordReader& in) {
    Globals g;
    int depth = 0; // nested BOF/EOF pairs do not occur in the globals, but bound them anyway
    while (auto r = in.next()) {
        switch (r->id) {
        case rec::kEof:
            if (depth == 0) {
                return g;
            }
            --depth;
            break;
        case rec::kBof:
            ++depth;
            break;
        case rec::kFilePass:
            throw XlsError(XlsErrorKind::Encrypted, "The workbook is protected with a password (encrypted).");
        case rec::kFont:
            g.fonts.push_back(readFont(*r));
            break;
        case rec::kFormat: {
            // A damaged number format only costs the look of some cells: they show as General.
            RecordCursor c(*r);
            const std::uint16_t index = c.u16();
            try {
                g.formats[index] = c.string16();
            } catch (const XlsError&) {
                g.formats[index] = "General";
            }
            break;
        }
        case rec::kXf:
            g.xfs.push_back(readXf(*r));
            break;
        case rec::kPalette: {
            RecordCursor c(*r);
            const unsigned count = c.u16();
            for (unsigned i = 0; i < count && i < 56 && c.remaining() >= 4; ++i) {
                const std::uint32_t v = c.u32();
                g.palette.set(i, ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF));
            }
            break;
        }
        case rec::kRecalcId: {
            RecordCursor c(*r);
            if (c.remaining() >= 8 && c.u16() == rec::kRecalcId) {
                c.skip(2);
                g.resultsCurrent = c.u32() == rec::kOwnRecalcEngine;
            }
            break;
        }
        case rec::kDateMode: {
            RecordCursor c(*r);
            g.date1904 = c.u16() == 1;
            break;
        }
        case rec::kWindow1: {
            RecordCursor c(*r);
            c.skip(10);
            g.activeSheet = c.u16();
            break;
        }
        case rec::kBoundSheet: {
            RecordCursor c(*r);
            SheetEntry s;
            s.offset = c.u32();
            s.visibility = c.u8();
            s.type = c.u8();
            s.name = c.string8();
            g.sheets.push_back(std::move(s));
            break;
        }
        case rec::kSst:
            g.sst = readSharedStrings(*r);
            break;
        case rec::kSupBook: {
            RecordCursor c(*r);
            SupBook b;
            const unsigned count = c.u16();
            const unsigned marker = c.u16();
            if (r->data.size() == 4 && marker == 0x0401) {
                b.kind = SupBook::Kind::Internal;
            } else if (r->data.size() == 4 && marker == 0x3A01) {
                b.kind = SupBook::Kind::AddIn;
            } else {
                b.kind = count > 0 ? SupBook::Kind::External : SupBook::Kind::Other;
            }
            g.supBooks.push_back(std::move(b));
            break;
        }
        case rec::kExternName: {
            if (g.supBooks.empty()) {
                break;
            }
            RecordCursor c(*r);
            c.skip(6); // options, reserved
            const unsigned cch = c.u8();
            g.supBooks.back().externNames.push_back(c.stringBody(cch));
            break;
        }
        case rec::kExternSheet: {
            RecordCursor c(*r);
            const unsigned count = c.u16();
            for (unsigned i = 0; i < count; ++i) {
                ExternSheetEntry e;
                e.supBook = c.u16();
                e.firstSheet = c.u16();
                e.lastSheet = c.u16();
                g.externSheets.push_back(e);
            }
            break;
        }
        case rec::kName:
            g.names.push_back(readName(*r));
            break;
        default:
            break;
        }
    }
    throw XlsError(XlsErrorKind::Truncated, "The workbook globals end without an EOF record.");
}

} // namespace markwell::xls
