#include "XlsWriter.h"

#include "WorkbookWriter.h"
#include "cfb/CompoundFileWriter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <unordered_map>

namespace markwell::xls {

namespace detail {

// Functions outside the built-in table need an add-in link with one EXTERNNAME each, numbered in
// the order they are first met.
void Writer::noteExternalFunctions(const formula::NodePtr& root) {
    std::vector<const formula::Node*>& stack = m_nodeStack;
    if (root) {
        stack.push_back(root.get());
    }
    while (!stack.empty()) {
        const formula::Node* n = stack.back();
        stack.pop_back();
        if (n->kind == formula::NodeKind::Function && isExternalFunction(n->text) &&
            std::find(m_externalFunctions.begin(), m_externalFunctions.end(), n->text) == m_externalFunctions.end()) {
            m_externalFunctions.push_back(n->text);
        }
        for (const auto& a : n->args) {
            if (a) {
                stack.push_back(a.get());
            }
        }
    }
}

void Writer::planFormats() {
    if (m_wb.formats.size() + kStyleXfs > kMaxXfs) {
        unsupported("The workbook has " + std::to_string(m_wb.formats.size()) +
                    " distinct cell formats; the .xls format holds at most " + std::to_string(kMaxXfs - kStyleXfs) +
                    ".");
    }
    auto fontRecord = [&](const sheet::Font& f) {
        FontRecord r;
        r.name = f.name.empty() ? std::string("Arial") : f.name;
        r.heightTwips = std::clamp(f.heightTwips, 20, 8191);
        r.bold = f.bold;
        r.italic = f.italic;
        r.underline = f.underline;
        r.strike = f.strike;
        r.colour = (f.colour & 0xFFFFFF) == 0 ? kColourFontAutomatic : m_palette.index(f.colour);
        return r;
    };
    auto sameFont = [](const FontRecord& a, const FontRecord& b) {
        return a.name == b.name && a.heightTwips == b.heightTwips && a.bold == b.bold && a.italic == b.italic &&
               a.underline == b.underline && a.strike == b.strike && a.colour == b.colour;
    };
    // Fonts 0 to 3 are the default font; BIFF has no font 4.
    const sheet::CellFormat defaults = m_wb.formats.empty() ? sheet::CellFormat{} : m_wb.formats.front();
    for (int i = 0; i < 4; ++i) {
        m_fonts.push_back(fontRecord(defaults.font));
    }
    auto fontIndex = [&](const sheet::Font& f) -> std::uint16_t {
        const FontRecord r = fontRecord(f);
        if (sameFont(r, m_fonts[0])) {
            return 0;
        }
        for (std::size_t i = 4; i < m_fonts.size(); ++i) {
            if (sameFont(r, m_fonts[i])) {
                return static_cast<std::uint16_t>(i + 1);
            }
        }
        m_fonts.push_back(r);
        return static_cast<std::uint16_t>(m_fonts.size());
    };
    auto formatIndex = [&](const std::string& code) -> std::uint16_t {
        for (std::uint16_t i = 0; i < 50; ++i) {
            if (builtinNumberFormat(i) == code && code != "m/d/yyyy" && code != "m/d/yyyy h:mm") {
                return i;
            }
        }
        auto [it, inserted] =
            m_customFormats.try_emplace(code, static_cast<std::uint16_t>(kFirstCustomFormat + m_customFormats.size()));
        return it->second;
    };

    // Style formats: Normal and the fourteen outline styles every reader expects.
    XfRecord style;
    style.style = true;
    style.font = 0;
    for (std::size_t i = 0; i < kStyleXfs; ++i) {
        style.font = (i >= 1 && i <= 4) ? static_cast<std::uint16_t>(i <= 2 ? 1 : 2) : 0;
        m_xfs.push_back(style);
    }
    const std::size_t count = std::max<std::size_t>(m_wb.formats.size(), 1);
    for (std::size_t i = 0; i < count; ++i) {
        const sheet::CellFormat& f = i < m_wb.formats.size() ? m_wb.formats[i] : defaults;
        XfRecord x;
        x.font = fontIndex(f.font);
        x.format = formatIndex(f.numberFormat.empty() ? std::string("General") : f.numberFormat);
        x.locked = f.locked;
        x.halign = hAlignCode(f.halign);
        x.valign = vAlignCode(f.valign);
        x.wrap = f.wrap;
        x.indent = static_cast<std::uint8_t>(std::clamp(f.indent, 0, 15));
        x.rotation =
            static_cast<std::uint8_t>((f.rotation >= 0 && f.rotation <= 180) || f.rotation == 255 ? f.rotation : 0);
        auto border = [&](const sheet::Border& b, std::uint8_t& style_, std::uint16_t& colour) {
            style_ = borderCode(b.style);
            colour = style_ ? m_palette.index(b.colour) : 0;
        };
        border(f.left, x.left, x.leftColour);
        border(f.right, x.right, x.rightColour);
        border(f.top, x.top, x.topColour);
        border(f.bottom, x.bottom, x.bottomColour);
        if (f.fill) {
            x.pattern = 1;
            x.foreColour = m_palette.index(*f.fill);
            x.backColour = kColourWindowText;
        } else {
            x.pattern = 0;
            x.foreColour = kColourWindowText;
            x.backColour = kColourWindowBackground;
        }
        m_xfs.push_back(x);
    }
    if (m_fonts.size() > 510) {
        unsupported("The workbook uses more than 510 distinct fonts, more than the .xls format holds.");
    }
}

void Writer::planNames() {
    for (const sheet::DefinedName& n : m_wb.names) {
        if (!n.refersTo) {
            continue;
        }
        NameRecord r;
        r.name = n.name;
        r.builtin = n.builtin && builtinNameCode(n.name) >= 0;
        r.sheet = n.scopeSheet;
        if (r.name.empty() || utf8ToUtf16(r.name).size() > 255) {
            unsupported("The defined name \"" + n.name + "\" is empty or longer than 255 characters.");
        }
        m_upperNames.push_back(upperAscii(r.name));
        m_names.push_back(std::move(r));
    }
    // Tokens after every name is numbered: a name may use another.
    std::size_t k = 0;
    for (const sheet::DefinedName& n : m_wb.names) {
        if (!n.refersTo) {
            continue;
        }
        FormulaWriteContext context;
        context.forName = true;
        context.sheet = n.scopeSheet < 0 ? 0 : n.scopeSheet;
        context.externSheet = [](int s) { return static_cast<std::uint16_t>(s); };
        context.externalFunction = [this](const std::string& f) { return externalFunction(f); };
        context.nameIndex = [this, scope = n.scopeSheet](const std::string& name) { return nameIndex(name, scope); };
        try {
            m_names[k].rgce = encodeFormula(*n.refersTo, context);
        } catch (const XlsError& e) {
            unsupported("The defined name \"" + n.name + "\" cannot be written: " + e.what());
        }
        ++k;
    }
}

void Writer::writeGlobals() {
    m_out.write(rec::kBof, encodeBof(rec::kSubGlobals));
    m_out.write(rec::kCodePage, encodeU16(1200));
    m_out.write(rec::kWindowProtect, encodeU16(0));
    m_out.write(rec::kProtect, encodeU16(0));
    m_out.write(rec::kPassword, encodeU16(0));
    {
        ByteWriter w;
        w.u16(0x0168);
        w.u16(0x001E);
        w.u16(0x3A5C);
        w.u16(0x23BE);
        w.u16(0x0038);
        const int active = std::clamp(m_wb.activeSheet, 0, static_cast<int>(m_wb.sheets.size()) - 1);
        w.u16(static_cast<unsigned>(active));
        w.u16(0);
        w.u16(1);
        w.u16(0x0258);
        m_out.write(rec::kWindow1, w);
    }
    m_out.write(rec::kBackup, encodeU16(0));
    m_out.write(rec::kHideObj, encodeU16(0));
    m_out.write(rec::kDateMode, encodeU16(m_wb.date1904 ? 1 : 0));
    m_out.write(rec::kPrecision, encodeU16(1));
    m_out.write(rec::kBookBool, encodeU16(0));
    for (const FontRecord& f : m_fonts) {
        m_out.write(rec::kFont, encodeFont(f));
    }
    for (const auto& [code, index] : m_customFormats) {
        m_out.write(rec::kFormat, encodeFormat(index, code));
    }
    for (std::size_t i = 0; i < m_xfs.size(); ++i) {
        m_out.write(rec::kXf, encodeXf(m_xfs[i], 0));
    }
    {
        ByteWriter w; // the Normal style
        w.u16(0x8000);
        w.u8(0);
        w.u8(0xFF);
        m_out.write(rec::kStyle, w);
    }
    if (!m_palette.palette().isDefault()) {
        m_out.write(rec::kPalette, encodePalette(m_palette.palette()));
    }
    for (const sheet::Sheet& s : m_wb.sheets) {
        m_boundSheetPatch.push_back(m_out.position() + 4);
        m_out.write(rec::kBoundSheet, encodeBoundSheet(s.name));
    }
    {
        ByteWriter w; // one country for the user interface and the settings
        w.u16(1);
        w.u16(1);
        m_out.write(rec::kCountry, w);
    }
    // The link table: this workbook's own sheets, one EXTERNSHEET entry each.
    {
        ByteWriter w;
        w.u16(static_cast<unsigned>(m_wb.sheets.size()));
        w.u16(0x0401);
        m_out.write(rec::kSupBook, w);
        if (!m_externalFunctions.empty()) {
            ByteWriter addIn;
            addIn.u16(1);
            addIn.u16(0x3A01);
            m_out.write(rec::kSupBook, addIn);
            for (const std::string& f : m_externalFunctions) {
                ByteWriter e;
                e.u16(0);
                e.u32(0);
                std::u16string name = utf8ToUtf16(externalFunctionName(f));
                if (name.size() > 255) {
                    unsupported("The function name " + f + " is longer than 255 characters.");
                }
                writeUnicodeString8(e, name);
                e.u16(2); // its formula: #REF!
                e.u8(0x1C);
                e.u8(0x17);
                m_out.write(rec::kExternName, e);
            }
        }
        ByteWriter x;
        x.u16(static_cast<unsigned>(m_wb.sheets.size() + (m_externalFunctions.empty() ? 0 : 1)));
        for (std::size_t i = 0; i < m_wb.sheets.size(); ++i) {
            x.u16(0);
            x.u16(static_cast<unsigned>(i));
            x.u16(static_cast<unsigned>(i));
        }
        if (!m_externalFunctions.empty()) {
            x.u16(1);
            x.u16(0xFFFE);
            x.u16(0xFFFE);
        }
        m_out.write(rec::kExternSheet, x);
    }
    for (const NameRecord& n : m_names) {
        m_out.write(rec::kName, encodeName(n));
    }
    if (m_wb.resultsCurrent) {
        ByteWriter w;
        w.u16(rec::kRecalcId);
        w.u16(0);
        w.u32(rec::kOwnRecalcEngine);
        m_out.write(rec::kRecalcId, w);
    }
    if (!m_drawing.empty()) {
        m_out.write(rec::kMsoDrawingGroup, m_drawing.drawingGroup());
    }
    m_sst.write(m_out);
    m_out.write(rec::kEof, ByteView{});
}

void Writer::run(const std::function<void(ByteView)>& sink) {
    if (m_wb.sheets.empty()) {
        unsupported("A workbook needs at least one sheet.");
    }
    if (m_wb.sheets.size() > 4096) {
        unsupported("The workbook has more sheets than the .xls format holds.");
    }
    for (std::size_t i = 0; i < m_wb.sheets.size(); ++i) {
        const std::string& name = m_wb.sheets[i].name;
        if (!validSheetName(name)) {
            unsupported("The sheet name \"" + name +
                        "\" cannot be used: it must have 1 to 31 characters, none of : \\ / ? * [ ], and not start or "
                        "end with an apostrophe.");
        }
        const sheet::Sheet& s = m_wb.sheets[i];
        for (const sheet::Area& a : s.merged) {
            if (!sheet::isValid(a.first) || !sheet::isValid(a.last) || a.first.row > a.last.row ||
                a.first.col > a.last.col) {
                unsupported("The sheet \"" + name + "\" has a merged range outside the sheet.");
            }
        }
        for (const sheet::Comment& c : s.comments) {
            if (!sheet::isValid(c.pos)) {
                unsupported("The sheet \"" + name + "\" has a comment outside the sheet.");
            }
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (upperAscii(m_wb.sheets[j].name) == upperAscii(name)) {
                unsupported("Two sheets are named \"" + name + "\".");
            }
        }
    }
    planFormats();
    for (const sheet::DefinedName& n : m_wb.names) {
        noteExternalFunctions(n.refersTo);
    }
    // Cell texts go into the shared string table, which precedes the sheets: collect them first,
    // and the add-in functions of the cells' formulas with them. The cells counted on the way give
    // the stream room for all of them at once (room not used costs no memory), so that it never
    // moves while it grows.
    std::size_t room = std::size_t{1} << 20;
    for (const sheet::Sheet& s : m_wb.sheets) {
        s.forEachCell([&](int row, int col, const sheet::Cell& cell) {
            room += cell.formula ? kFormulaRoom : kCellRoom;
            if (cell.formula) {
                noteExternalFunctions(cell.formula);
            } else if (cell.value.isText()) {
                if (cell.value.text().size() > kMaxCellChars && utf8ToUtf16(cell.value.text()).size() > kMaxCellChars) {
                    unsupported("The text in " + s.name + "!" + sheet::toA1(sheet::CellPos{row, col}) +
                                " is longer than the 32767 characters a cell holds.");
                }
                m_sst.add(cell.value.text());
            }
        });
    }
    if (m_externalFunctions.size() > 0xFFFF) {
        unsupported("The workbook calls too many different add-in functions.");
    }
    planNames();
    m_drawingOfSheet.assign(m_wb.sheets.size(), 0);
    for (std::size_t i = 0; i < m_wb.sheets.size(); ++i) {
        if (!m_wb.sheets[i].comments.empty()) {
            m_drawingOfSheet[i] = m_drawing.addDrawing(m_wb.sheets[i].comments.size());
        }
    }
    m_out.reserve(room);
    writeGlobals();
    // The table was complete when written; the sheets look their indexes up again.
    for (std::size_t i = 0; i < m_wb.sheets.size(); ++i) {
        writeSheet(i);
    }
    Bytes stream = m_out.take();
    if (stream.size() > 0x7FFFFFFFu) {
        throw XlsError(XlsErrorKind::TooLarge, "The workbook is larger than 2 GB, too large for an .xls file.");
    }
    cfb::CompoundFileWriter container;
    container.addStream("Workbook", std::move(stream));
    container.write(sink);
}

} // namespace detail

using detail::Writer;

Bytes writeXls(const sheet::Workbook& workbook) {
    Bytes file;
    writeXls(workbook, [&file](ByteView piece) { file.insert(file.end(), piece.begin(), piece.end()); });
    return file;
}

void writeXls(const sheet::Workbook& workbook, const std::function<void(ByteView)>& sink) {
    Writer(workbook).run(sink);
}

} // namespace markwell::xls
