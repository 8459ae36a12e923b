#include "XlsWriter.h"

#include "CommentDrawing.h"
#include "Encoders.h"
#include "FormulaWriter.h"
#include "RecordIds.h"
#include "RecordWriter.h"
#include "SharedStrings.h"
#include "Strings.h"
#include "cfb/CompoundFileWriter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <map>
#include <unordered_map>

namespace markwell::xls {

namespace {

using sheet::Value;

constexpr std::size_t kStyleXfs = 15;
constexpr std::size_t kMaxXfs = 4050;
constexpr std::uint16_t kFirstCustomFormat = 164;
constexpr std::size_t kMaxCellChars = 32767; // the most characters a cell holds
// Stream bytes to make room for: a generous guess for a cell's records and a formula's.
constexpr std::size_t kCellRoom = 24;
constexpr std::size_t kFormulaRoom = 160;

[[noreturn]] void unsupported(const std::string& message) {
    throw XlsError(XlsErrorKind::Unsupported, message);
}

bool validSheetName(const std::string& name) {
    const std::u16string units = utf8ToUtf16(name);
    if (units.empty() || units.size() > 31 || units.front() == u'\'' || units.back() == u'\'') {
        return false;
    }
    for (char16_t c : units) {
        if (c == u':' || c == u'\\' || c == u'/' || c == u'?' || c == u'*' || c == u'[' || c == u']') {
            return false;
        }
    }
    return true;
}

std::uint32_t cellKey(int row, int col) {
    return (static_cast<std::uint32_t>(row) << 8) | static_cast<std::uint32_t>(col);
}

// The first column of a row's stored cells and one past its last: {-1, 0} for a row without any.
std::pair<int, int> rowExtent(const std::vector<sheet::Row>& rows, int row) {
    if (static_cast<std::size_t>(row) >= rows.size()) {
        return {-1, 0};
    }
    const auto& cells = rows[static_cast<std::size_t>(row)].cells;
    std::size_t first = 0, end = cells.size();
    while (first < end && cells[first].isBlank()) {
        ++first;
    }
    while (end > first && cells[end - 1].isBlank()) {
        --end;
    }
    return first == end ? std::pair{-1, 0} : std::pair{static_cast<int>(first), static_cast<int>(end)};
}

std::string upperAscii(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return s;
}

class Writer {
public:
    explicit Writer(const sheet::Workbook& wb) : m_wb(wb) {}
    void run(const std::function<void(ByteView)>& sink);

private:
    void planFormats();
    void planNames();
    void writeGlobals();
    void writeSheet(std::size_t index);
    void writeCells(const sheet::Sheet& s, int sheetIndex);
    Bytes cellFormulaTokens(const formula::Node& tree, int row, int col, int sheetIndex, bool array);
    FormulaWriteContext cellContext(int sheetIndex) const;
    Bytes formulaRecord(int row, int col, std::uint16_t xf, const Value& value, ByteView rgce,
                        std::optional<std::u16string>* stringResult);
    void writeArrayRecord(const sheet::ArrayFormula& array, int sheetIndex);
    std::uint16_t xfOf(std::uint32_t format) const {
        return static_cast<std::uint16_t>(kStyleXfs + (format < m_wb.formats.size() ? format : 0));
    }

    const sheet::Workbook& m_wb;
    RecordWriter m_out;
    PaletteBuilder m_palette;
    std::vector<FontRecord> m_fonts;
    std::vector<XfRecord> m_xfs;
    std::map<std::string, std::uint16_t> m_customFormats;
    std::vector<NameRecord> m_names;
    std::vector<std::string> m_upperNames; // their names in upper case, for the look-ups
    unsigned nameIndex(const std::string& name, int scope) const;
    std::vector<std::size_t> m_boundSheetPatch;
    SharedStringsBuilder m_sst;
    CommentDrawing m_drawing;
    std::vector<int> m_drawingOfSheet;
    std::vector<std::string> m_externalFunctions; // upper-case names, in EXTERNNAME order
    FormulaWriteContext m_cellContext;            // for the formulas of one sheet's cells
    int m_cellContextSheet = -1;

    void noteExternalFunctions(const formula::NodePtr& root);
    std::vector<const formula::Node*> m_nodeStack;
    std::optional<std::pair<std::uint16_t, std::uint16_t>> externalFunction(const std::string& name) const {
        for (std::size_t i = 0; i < m_externalFunctions.size(); ++i) {
            if (m_externalFunctions[i] == name) {
                return std::make_pair(static_cast<std::uint16_t>(m_wb.sheets.size()),
                                      static_cast<std::uint16_t>(i + 1));
            }
        }
        return std::nullopt;
    }
};

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

Bytes Writer::cellFormulaTokens(const formula::Node& tree, int row, int col, int sheetIndex, bool array) {
    // One context serves every formula of a sheet.
    FormulaWriteContext& context = m_cellContext;
    if (m_cellContextSheet != sheetIndex) {
        context = cellContext(sheetIndex);
        m_cellContextSheet = sheetIndex;
    }
    context.arrayFormula = array;
    try {
        return encodeFormula(tree, context);
    } catch (const XlsError& e) {
        unsupported(std::string(array ? "The array formula in " : "The formula in ") +
                    sheet::toA1(sheet::CellPos{row, col}) + " cannot be written: " + e.what());
    }
}

// The 1-based NAME record a formula of sheet `scope` (-1: a global name's) means by `name`: the
// sheet's own name before a global one; 0 for none.
unsigned Writer::nameIndex(const std::string& name, int scope) const {
    const std::string key = upperAscii(name);
    unsigned global = 0;
    for (std::size_t i = 0; i < m_names.size(); ++i) {
        if (m_upperNames[i] == key) {
            if (m_names[i].sheet == scope && scope >= 0) {
                return static_cast<unsigned>(i + 1);
            }
            if (m_names[i].sheet < 0) {
                global = static_cast<unsigned>(i + 1);
            }
        }
    }
    return global;
}

FormulaWriteContext Writer::cellContext(int sheetIndex) const {
    FormulaWriteContext context;
    context.sheet = sheetIndex;
    context.externSheet = [](int s) { return static_cast<std::uint16_t>(s); };
    context.externalFunction = [this](const std::string& f) { return externalFunction(f); };
    context.nameIndex = [this, sheetIndex](const std::string& name) { return nameIndex(name, sheetIndex); };
    return context;
}

Bytes Writer::formulaRecord(int row, int col, std::uint16_t xf, const Value& v, ByteView rgce,
                            std::optional<std::u16string>* stringResult) {
    ByteWriter w;
    w.u16(static_cast<unsigned>(row));
    w.u16(static_cast<unsigned>(col));
    w.u16(xf);
    std::u16string text;
    if (v.isText()) {
        text = utf8ToUtf16(v.text());
    }
    if (v.isText() && text.size() <= kMaxCellChars) {
        w.u8(text.empty() ? 3 : 0);
        w.zeros(5);
        w.u16(0xFFFF);
        if (!text.empty()) {
            *stringResult = std::move(text);
        }
    } else if (v.isText()) {
        // No cell holds more than 32767 characters: spreadsheet programs compute #VALUE! for a
        // formula whose text would be longer, and so the stored result says.
        w.u8(2);
        w.u8(0);
        w.u8(static_cast<unsigned>(sheet::ErrorCode::Value));
        w.zeros(3);
        w.u16(0xFFFF);
    } else if (v.isBoolean()) {
        w.u8(1);
        w.u8(0);
        w.u8(v.boolean() ? 1 : 0);
        w.zeros(3);
        w.u16(0xFFFF);
    } else if (v.isError()) {
        w.u8(2);
        w.u8(0);
        w.u8(static_cast<unsigned>(v.error()));
        w.zeros(3);
        w.u16(0xFFFF);
    } else if (v.isNumber() && !std::isfinite(v.number())) {
        w.u8(2);
        w.u8(0);
        w.u8(static_cast<unsigned>(sheet::ErrorCode::Num));
        w.zeros(3);
        w.u16(0xFFFF);
    } else {
        w.f64(v.isNumber() ? v.number() : 0.0);
    }
    w.u16(0); // options
    w.u32(0);
    w.u16(static_cast<unsigned>(rgce.size()));
    w.bytes(rgce);
    return std::move(w.data());
}

void Writer::writeCells(const sheet::Sheet& s, int sheetIndex) {
    // Each row's ROW record says where its cells start and end.
    const int rowsWithInfo = std::max(s.lastRow() + 1, s.lastRowWithInfo() + 1);
    int nextBlock = 0; // first row whose ROW record is still to be written
    auto writeRowsUpTo = [&](int endRow) {
        for (; nextBlock < endRow; nextBlock += 32) {
            for (int row = nextBlock; row < std::min(nextBlock + 32, rowsWithInfo); ++row) {
                const sheet::RowInfo* info = s.rowInfoAt(row);
                const auto [firstCol, endCol] = rowExtent(s.rows(), row);
                const bool hasCells = firstCol >= 0;
                if (!hasCells && !info) {
                    continue;
                }
                ByteWriter w;
                w.u16(static_cast<unsigned>(row));
                w.u16(hasCells ? static_cast<unsigned>(firstCol) : 0);
                w.u16(hasCells ? static_cast<unsigned>(endCol) : 0);
                const bool custom = info && info->heightTwips;
                const int height = custom ? std::clamp(*info->heightTwips, 0, 8192) : s.defaultRowHeightTwips;
                w.u16(static_cast<unsigned>(height));
                w.u16(0);
                w.u16(0);
                unsigned flags = 0x0100;
                if (custom) {
                    flags |= 0x40;
                }
                if (info && info->hidden) {
                    flags |= 0x20;
                }
                if (info && info->format) {
                    flags |= 0x80;
                }
                w.u16(flags);
                w.u16(info && info->format ? xfOf(*info->format) : 0x0F);
                m_out.write(rec::kRow, w);
            }
        }
    };

    // The cells of array formulas, each with its formula's index. Every cell of an area must
    // hold a result (a reader finds the formula through its first cell), and areas never overlap.
    std::unordered_map<std::uint32_t, std::size_t> arrayOfCell;
    for (std::size_t i = 0; i < s.arrayFormulas.size(); ++i) {
        const sheet::Area& a = s.arrayFormulas[i].area;
        if (!sheet::isValid(a.first) || !sheet::isValid(a.last) || a.first.row > a.last.row ||
            a.first.col > a.last.col || !s.arrayFormulas[i].formula) {
            unsupported("The sheet \"" + s.name + "\" has an array formula outside the sheet or without a formula.");
        }
        for (int r = a.first.row; r <= a.last.row; ++r) {
            for (int c = a.first.col; c <= a.last.col; ++c) {
                if (!s.cell(r, c)) {
                    unsupported("The cell " + sheet::toA1(sheet::CellPos{r, c}) + " of the array formula in " +
                                sheet::toA1(a) + " holds no result.");
                }
                if (!arrayOfCell.try_emplace(cellKey(r, c), i).second) {
                    unsupported("Two array formulas of the sheet \"" + s.name + "\" overlap in " +
                                sheet::toA1(sheet::CellPos{r, c}) + ".");
                }
            }
        }
    }

    // Runs of blank cells go out as one MULBLANK record.
    int blankRow = -1, blankFirst = 0;
    std::vector<std::uint16_t> blankXfs;
    auto flushBlanks = [&] {
        if (blankXfs.empty()) {
            return;
        }
        ByteWriter w;
        w.u16(static_cast<unsigned>(blankRow));
        w.u16(static_cast<unsigned>(blankFirst));
        if (blankXfs.size() == 1) {
            w.u16(blankXfs[0]);
            m_out.write(rec::kBlank, w);
        } else {
            for (std::uint16_t xf : blankXfs) {
                w.u16(xf);
            }
            w.u16(static_cast<unsigned>(blankFirst + static_cast<int>(blankXfs.size()) - 1));
            m_out.write(rec::kMulBlank, w);
        }
        blankXfs.clear();
    };

    // A constant's record goes straight into the stream: row, column, format, then its value.
    const auto cellRecord = [this](std::uint16_t id, std::size_t valueBytes, int row, int col, std::uint16_t xf) {
        std::uint8_t* p = m_out.record(id, 6 + valueBytes);
        store16(p, static_cast<unsigned>(row));
        store16(p + 2, static_cast<unsigned>(col));
        store16(p + 4, xf);
        return p + 6;
    };
    const auto errorRecord = [&](int row, int col, std::uint16_t xf, sheet::ErrorCode code) {
        std::uint8_t* p = cellRecord(rec::kBoolErr, 2, row, col, xf);
        p[0] = static_cast<std::uint8_t>(code);
        p[1] = 1;
    };
    s.forEachCell([&](int row, int col, const sheet::Cell& cell) {
        if (row >= nextBlock) {
            flushBlanks();
            writeRowsUpTo(row + 1);
        }
        const std::uint16_t xf = xfOf(cell.format);
        if (!cell.formula && cell.value.isEmpty() &&
            (arrayOfCell.empty() || arrayOfCell.find(cellKey(row, col)) == arrayOfCell.end())) {
            if (blankXfs.empty() || blankRow != row || blankFirst + static_cast<int>(blankXfs.size()) != col) {
                flushBlanks();
                blankRow = row;
                blankFirst = col;
            }
            blankXfs.push_back(xf);
            return;
        }
        if (!blankXfs.empty()) {
            flushBlanks();
        }
        const sheet::ArrayFormula* array = nullptr;
        if (!arrayOfCell.empty()) {
            if (auto it = arrayOfCell.find(cellKey(row, col)); it != arrayOfCell.end()) {
                array = &s.arrayFormulas[it->second];
            }
        }
        if (array && cell.formula) {
            unsupported("The cell " + sheet::toA1(sheet::CellPos{row, col}) +
                        " has a formula of its own inside the array formula of " + sheet::toA1(array->area) + ".");
        }
        if (cell.formula || array) {
            std::optional<std::u16string> text;
            if (array) {
                // A cell of an array formula: its result and a pointer to the formula's first cell,
                // which is followed by the formula itself.
                ByteWriter exp;
                exp.u8(0x01);
                exp.u16(static_cast<unsigned>(array->area.first.row));
                exp.u16(static_cast<unsigned>(array->area.first.col));
                m_out.write(rec::kFormula, formulaRecord(row, col, xf, cell.value, exp.data(), &text));
                if (array->area.first == sheet::CellPos{row, col}) {
                    writeArrayRecord(*array, sheetIndex);
                }
            } else {
                const Bytes rgce = cellFormulaTokens(*cell.formula, row, col, sheetIndex, false);
                m_out.write(rec::kFormula, formulaRecord(row, col, xf, cell.value, rgce, &text));
            }
            if (text) {
                m_out.writeWithString(rec::kString, ByteView{}, *text);
            }
        } else if (cell.value.isNumber()) {
            const double x = cell.value.number();
            if (auto rk = toRk(x)) {
                store32(cellRecord(rec::kRk, 4, row, col, xf), *rk);
            } else if (std::isfinite(x)) {
                store64(cellRecord(rec::kNumber, 8, row, col, xf), std::bit_cast<std::uint64_t>(x));
            } else {
                errorRecord(row, col, xf, sheet::ErrorCode::Num);
            }
        } else if (cell.value.isText()) {
            store32(cellRecord(rec::kLabelSst, 4, row, col, xf), m_sst.indexOf(cell.value.text()));
        } else if (cell.value.isBoolean()) {
            std::uint8_t* p = cellRecord(rec::kBoolErr, 2, row, col, xf);
            p[0] = cell.value.boolean() ? 1 : 0;
            p[1] = 0;
        } else if (cell.value.isError()) {
            errorRecord(row, col, xf, cell.value.error());
        }
    });
    flushBlanks();
    writeRowsUpTo(rowsWithInfo);
}

void Writer::writeArrayRecord(const sheet::ArrayFormula& array, int sheetIndex) {
    const sheet::Area& a = array.area;
    const Bytes rgce = cellFormulaTokens(*array.formula, a.first.row, a.first.col, sheetIndex, true);
    ByteWriter w;
    w.u16(static_cast<unsigned>(a.first.row));
    w.u16(static_cast<unsigned>(a.last.row));
    w.u8(static_cast<unsigned>(a.first.col));
    w.u8(static_cast<unsigned>(a.last.col));
    w.u16(0); // options
    w.u32(0);
    w.u16(static_cast<unsigned>(rgce.size()));
    w.bytes(rgce);
    m_out.write(rec::kArray, w);
}

void Writer::writeSheet(std::size_t index) {
    const sheet::Sheet& s = m_wb.sheets[index];
    m_out.patch32(m_boundSheetPatch[index], static_cast<std::uint32_t>(m_out.position()));
    m_out.write(rec::kBof, encodeBof(rec::kSubWorksheet));
    m_out.write(rec::kCalcMode, encodeU16(1));
    m_out.write(rec::kCalcCount, encodeU16(100));
    m_out.write(rec::kRefMode, encodeU16(1));
    m_out.write(rec::kIteration, encodeU16(0));
    m_out.write(rec::kDelta, encodeDouble(0.001));
    m_out.write(rec::kSaveRecalc, encodeU16(1));
    m_out.write(rec::kPrintHeaders, encodeU16(0));
    m_out.write(rec::kPrintGridlines, encodeU16(0));
    m_out.write(rec::kGridSet, encodeU16(1));
    {
        ByteWriter w;
        w.zeros(8);
        m_out.write(rec::kGuts, w);
    }
    {
        ByteWriter w;
        w.u16(0);
        w.u16(static_cast<unsigned>(std::clamp(s.defaultRowHeightTwips, 1, 8192)));
        m_out.write(rec::kDefaultRowHeight, w);
    }
    m_out.write(rec::kWsBool, encodeU16(0x04C1));
    const sheet::PageSetup& p = s.pageSetup;
    m_out.write(rec::kHeader, p.headerText.empty() ? Bytes{} : encodeString16(p.headerText));
    m_out.write(rec::kFooter, p.footerText.empty() ? Bytes{} : encodeString16(p.footerText));
    m_out.write(rec::kHCenter, encodeU16(0));
    m_out.write(rec::kVCenter, encodeU16(0));
    m_out.write(rec::kLeftMargin, encodeDouble(p.left));
    m_out.write(rec::kRightMargin, encodeDouble(p.right));
    m_out.write(rec::kTopMargin, encodeDouble(p.top));
    m_out.write(rec::kBottomMargin, encodeDouble(p.bottom));
    {
        ByteWriter w;
        w.u16(static_cast<unsigned>(std::clamp(p.paperSize, 0, 0xFFFF)));
        w.u16(static_cast<unsigned>(std::clamp(p.scale, 10, 400)));
        w.u16(1); // first page number
        w.u16(1); // fit to width
        w.u16(1); // fit to height
        w.u16(p.portrait ? 0x02 : 0x00);
        w.u16(600);
        w.u16(600);
        w.f64(p.header);
        w.f64(p.footer);
        w.u16(1);
        m_out.write(rec::kSetup, w);
    }
    m_out.write(rec::kDefColWidth, encodeU16(static_cast<unsigned>(std::clamp(s.defaultColumnWidth, 0, 255))));
    // Columns: one COLINFO per run of columns that look alike.
    for (int col = 0; col < 256;) {
        const sheet::ColumnInfo* info = s.columnInfoAt(col);
        if (!info) {
            ++col;
            continue;
        }
        int last = col;
        while (last + 1 < 256) {
            const sheet::ColumnInfo* next = s.columnInfoAt(last + 1);
            if (!next || next->width256 != info->width256 || next->hidden != info->hidden ||
                next->format != info->format) {
                break;
            }
            ++last;
        }
        ByteWriter w;
        w.u16(static_cast<unsigned>(col));
        w.u16(static_cast<unsigned>(last));
        w.u16(static_cast<unsigned>(std::clamp(info->width256.value_or(s.defaultColumnWidth * 256 + 184), 0, 0xFFFF)));
        w.u16(info->format ? xfOf(*info->format) : 0x0F);
        w.u16(info->hidden ? 0x01 : 0x00);
        w.u16(0);
        m_out.write(rec::kColInfo, w);
        col = last + 1;
    }
    {
        ByteWriter w;
        const int lastRow = s.lastRow(), lastCol = s.lastColumn();
        int firstRow = -1, firstCol = 256;
        for (int row = 0; row <= lastRow; ++row) {
            const int first = rowExtent(s.rows(), row).first;
            if (first >= 0) {
                firstRow = firstRow < 0 ? row : firstRow;
                firstCol = std::min(firstCol, first);
            }
        }
        w.u32(firstRow < 0 ? 0 : static_cast<std::uint32_t>(firstRow));
        w.u32(lastRow < 0 ? 0 : static_cast<std::uint32_t>(lastRow + 1));
        w.u16(firstRow < 0 ? 0 : static_cast<unsigned>(firstCol));
        w.u16(lastCol < 0 ? 0 : static_cast<unsigned>(lastCol + 1));
        w.u16(0);
        m_out.write(rec::kDimensions, w);
    }
    writeCells(s, static_cast<int>(index));

    if (m_drawingOfSheet[index] > 0) {
        std::vector<NoteSpec> notes;
        for (const sheet::Comment& c : s.comments) {
            notes.push_back({c.pos.row, c.pos.col, c.text, c.author, c.visible});
        }
        m_drawing.writeSheet(m_out, m_drawingOfSheet[index], notes);
    }
    {
        const bool active = static_cast<int>(index) == m_wb.activeSheet;
        unsigned flags = 0x00B4; // row and column headers, zeros, automatic grid colour, outline symbols
        if (s.showGridlines) {
            flags |= 0x0002;
        }
        if (s.selected || active) {
            flags |= 0x0200;
        }
        if (active) {
            flags |= 0x0400;
        }
        ByteWriter w;
        w.u16(flags);
        w.u16(0);
        w.u16(0);
        w.u16(0x40);
        w.u16(0);
        w.u16(0);
        w.u16(0);
        w.u32(0);
        m_out.write(rec::kWindow2, w);
    }
    {
        ByteWriter w;
        const int row = std::clamp(s.activeCell.row, 0, 65535), col = std::clamp(s.activeCell.col, 0, 255);
        w.u8(3);
        w.u16(static_cast<unsigned>(row));
        w.u16(static_cast<unsigned>(col));
        w.u16(0);
        w.u16(1);
        w.u16(static_cast<unsigned>(row));
        w.u16(static_cast<unsigned>(row));
        w.u8(static_cast<unsigned>(col));
        w.u8(static_cast<unsigned>(col));
        m_out.write(rec::kSelection, w);
    }
    // Merged ranges, at most 1026 to a record.
    for (std::size_t at = 0; at < s.merged.size(); at += 1026) {
        const std::size_t n = std::min<std::size_t>(1026, s.merged.size() - at);
        ByteWriter w;
        w.u16(static_cast<unsigned>(n));
        for (std::size_t k = at; k < at + n; ++k) {
            const sheet::Area& a = s.merged[k];
            w.u16(static_cast<unsigned>(a.first.row));
            w.u16(static_cast<unsigned>(a.last.row));
            w.u16(static_cast<unsigned>(a.first.col));
            w.u16(static_cast<unsigned>(a.last.col));
        }
        m_out.write(rec::kMergedCells, w);
    }
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

} // namespace

Bytes writeXls(const sheet::Workbook& workbook) {
    Bytes file;
    writeXls(workbook, [&file](ByteView piece) { file.insert(file.end(), piece.begin(), piece.end()); });
    return file;
}

void writeXls(const sheet::Workbook& workbook, const std::function<void(ByteView)>& sink) {
    Writer(workbook).run(sink);
}

} // namespace markwell::xls
