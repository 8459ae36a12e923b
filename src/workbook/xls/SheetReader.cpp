#include "SheetReader.h"

#include "FormulaPool.h"
#include "FormulaReader.h"
#include "RecordIds.h"

#include <cmath>
#include <map>
#include <optional>
#include <unordered_map>

namespace markwell::xls {

namespace {

using sheet::Value;

constexpr int kMaxRows = sheet::kMaxRows;
constexpr int kMaxCols = 256;

std::string cellName(int row, int col) {
    return sheet::toA1(sheet::CellPos{row, col});
}

double decodeRk(std::uint32_t rk) {
    double v;
    if (rk & 0x02) {
        v = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        v = std::bit_cast<double>(static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32);
    }
    return (rk & 0x01) ? v / 100.0 : v;
}

// A number from the file that is not finite (NaN, infinity) cannot be a cell value: #NUM!.
Value number(double v) {
    return std::isfinite(v) ? Value(v) : Value(sheet::ErrorCode::Num);
}

bool isErrorCode(unsigned code) {
    return code == 0x00 || code == 0x07 || code == 0x0F || code == 0x17 || code == 0x1D || code == 0x24 || code == 0x2A;
}

// Everything one worksheet substream needs while it is read.
class SheetReader {
public:
    SheetReader(const Globals& g, const std::vector<std::uint32_t>& xfMap, const std::vector<int>& sheetMap,
                sheet::Sheet& target, std::vector<std::string>& warnings, std::size_t& cellBudget)
        : m_g(g), m_xfMap(xfMap), m_sheet(target), m_warnings(warnings), m_budget(cellBudget) {
        m_context.globals = &g;
        m_context.sheetOfBoundSheet = sheetMap;
        m_context.pool = &m_pool;
    }

    void read(RecordReader& in);

private:
    struct PendingFormula {
        int row, col;
        Bytes rgce;
    };
    struct SharedFormula {
        int firstRow, lastRow, firstCol, lastCol;
        Bytes rgce;
        bool array;
        int arrayIndex = -1;   // in the sheet's array formulas; -1 when it could not be kept
        long long members = 0; // cells seen pointing at this array formula
    };

    // Rows are stored densely up to their last cell: charge what a cell will cost against the
    // budget the file's size allows, so a small file cannot make us allocate gigabytes.
    void reserve(int row, int col) {
        if (m_rowEnd.empty()) {
            m_rowEnd.assign(kMaxRows, 0);
        }
        int& end = m_rowEnd[static_cast<std::size_t>(row)];
        if (col + 1 > end) {
            const auto more = static_cast<std::size_t>(col + 1 - end);
            if (more > m_budget) {
                throw XlsError(XlsErrorKind::TooLarge, "The workbook holds more cells than this program can load.");
            }
            m_budget -= more;
            end = col + 1;
        }
    }
    std::uint32_t format(unsigned xf) const { return xf < m_xfMap.size() ? m_xfMap[xf] : 0; }
    bool inRange(int row, int col) const { return row >= 0 && row < kMaxRows && col >= 0 && col < kMaxCols; }
    void warn(const std::string& w) {
        if (m_warnings.size() < 100) {
            m_warnings.push_back("Sheet \"" + m_sheet.name + "\": " + w);
        }
    }
    void setValue(int row, int col, unsigned xf, Value&& v) {
        if (!inRange(row, col)) {
            return;
        }
        const std::uint32_t fmt = format(xf);
        if (v.isEmpty() && fmt == 0 && !m_sheet.cell(row, col)) {
            return; // a blank cell in the default format is no cell at all
        }
        reserve(row, col);
        const auto at = static_cast<std::size_t>(col);
        std::vector<sheet::Cell>& cells = rowWithRoom(row, at);
        if (at == cells.size()) [[likely]] {
            cells.emplace_back(std::move(v), nullptr, fmt);
        } else if (at < cells.size()) {
            cells[at] = sheet::Cell(std::move(v), nullptr, fmt);
        } else {
            cells.resize(at);
            cells.emplace_back(std::move(v), nullptr, fmt);
        }
    }
    // A cell in range, made when missing.
    sheet::Cell& cellAt(int row, int col) {
        const auto at = static_cast<std::size_t>(col);
        std::vector<sheet::Cell>& cells = rowWithRoom(row, at);
        if (at >= cells.size()) {
            cells.resize(at + 1);
        }
        return cells[at];
    }
    // The cells of the row, with room for column `at`. A row's cells come in column order, so
    // they are appended to the store; a row takes room at once for as many cells as the row
    // before it, so that it does not grow (and move) cell by cell. That room never exceeds what
    // the budget was charged for.
    std::vector<sheet::Cell>& rowWithRoom(int row, std::size_t at) {
        std::vector<sheet::Row>& rows = m_sheet.rows();
        const auto r = static_cast<std::size_t>(row);
        if (r >= rows.size()) {
            rows.resize(r + 1);
        }
        std::vector<sheet::Cell>& cells = rows[r].cells;
        if (at >= cells.size()) {
            if (row != m_growingRow) {
                m_lastRowLength = m_growingRowLength;
                m_growingRow = row;
            }
            m_growingRowLength = at + 1;
            if (cells.capacity() == 0) {
                cells.reserve(std::max(at + 1, m_lastRowLength));
            }
        }
        return cells;
    }
    bool onCellValue(const RecordView& r);
    void onFormula(const RecordView& r);
    std::string readStringResult(RecordCursor& c);
    void onSharedFormula(const RecordView& r, bool array);
    void resolvePending();
    std::shared_ptr<const formula::Node> decode(ByteView rgce, int row, int col, bool shared = false);
    void finish();

    const Globals& m_g;
    const std::vector<std::uint32_t>& m_xfMap;
    sheet::Sheet& m_sheet;
    std::vector<std::string>& m_warnings;
    std::size_t& m_budget;
    std::vector<int> m_rowEnd;
    int m_growingRow = -1; // the row whose cells were last appended, and how many it has
    std::size_t m_growingRowLength = 0;
    std::size_t m_lastRowLength = 0; // of the row before it

    std::optional<sheet::CellPos> m_stringFor; // a FORMULA whose text result follows in STRING
    std::vector<PendingFormula> m_pending;     // ptgExp cells waiting for their SHRFMLA or ARRAY
    std::vector<SharedFormula> m_shared;
    FormulaReadContext m_context;                    // for every formula of the sheet, but its cell
    FormulaPool m_pool;                              // the sheet's formulas share their identical parts
    std::map<std::uint16_t, std::string> m_noteText; // by object id
    std::uint16_t m_lastObject = 0;
    bool m_lastObjectIsNote = false;
    struct Note {
        int row, col;
        bool visible;
        std::uint16_t object;
        std::string author;
    };
    std::vector<Note> m_notes;
};

std::shared_ptr<const formula::Node> SheetReader::decode(ByteView rgce, int row, int col, bool shared) {
    m_context.sharedFormula = shared;
    m_context.row = row;
    m_context.col = col;
    return decodeFormula(rgce, m_context);
}

void SheetReader::onFormula(const RecordView& r) {
    RecordCursor c(r);
    const int row = c.u16();
    const int col = c.u16();
    const unsigned xf = c.u16();
    ByteView result = c.bytes(8);
    c.u16(); // options
    c.u32();
    const unsigned cce = c.u16();
    if (cce > c.remaining()) {
        throw XlsError(XlsErrorKind::Truncated,
                       "The formula in " + cellName(row, col) + " is longer than its FORMULA record.");
    }
    ByteView rgce = c.bytes(cce);
    if (!inRange(row, col)) {
        return;
    }
    reserve(row, col);
    Value cached;
    m_stringFor.reset();
    if (load16(result.data() + 6) == 0xFFFF) {
        switch (result[0]) {
        case 0: // text, in the STRING record that follows
            cached = Value(std::string());
            m_stringFor = sheet::CellPos{row, col};
            break;
        case 1:
            cached = Value(result[2] != 0);
            break;
        case 2:
            cached =
                isErrorCode(result[2]) ? Value(static_cast<sheet::ErrorCode>(result[2])) : Value(sheet::ErrorCode::NA);
            break;
        case 3:
            cached = Value(std::string());
            break;
        default:
            break;
        }
    } else {
        cached = number(loadDouble(result.data()));
    }
    setValue(row, col, xf, std::move(cached));
    if (cce >= 5 && rgce[0] == 0x01) {
        // Part of a shared or array formula: the tokens live in a SHRFMLA or ARRAY record.
        m_pending.push_back({row, col, Bytes(rgce.begin(), rgce.end())});
        resolvePending(); // the SHRFMLA came with an earlier cell of the range
        return;
    }
    try {
        cellAt(row, col).formula = decode(rgce, row, col);
    } catch (const XlsError& e) {
        warn("the formula in " + cellName(row, col) + " was kept as its value: " + e.what());
    }
}

// The text result in a STRING record. Some writers store the count of a text longer than 65535
// characters cut to 16 bits: when the record holds exactly that many more characters, all of
// them are the result.
std::string SheetReader::readStringResult(RecordCursor& c) {
    const std::size_t count = c.u16();
    const std::size_t flagsAt = c.pos();
    std::string text = c.stringBody(count);
    if (c.atEnd()) {
        return text;
    }
    c.seek(flagsAt);
    const std::uint8_t flags = c.u8();
    if ((flags & 0x0C) != 0) {
        return text; // rich text or phonetic data follow the characters
    }
    std::size_t all = 0;
    std::string whole = c.charsToEnd((flags & 0x01) != 0, all);
    if (all <= count || (all - count) % 0x10000 != 0) {
        return text;
    }
    warn("the text result of the formula in " + cellName(m_stringFor->row, m_stringFor->col) + " has " +
         std::to_string(all) + " characters, more than its STRING record's count of " + std::to_string(count) +
         " says; all of them were read.");
    return whole;
}

void SheetReader::onSharedFormula(const RecordView& r, bool array) {
    RecordCursor c(r);
    SharedFormula s;
    s.firstRow = c.u16();
    s.lastRow = c.u16();
    s.firstCol = c.u8();
    s.lastCol = c.u8();
    if (array) {
        c.u16();
        c.u32();
    } else {
        c.u16(); // reserved, use count
    }
    const unsigned cce = c.u16();
    if (cce > c.remaining()) {
        throw XlsError(XlsErrorKind::Truncated, "A shared formula is longer than its record.");
    }
    ByteView rgce = c.bytes(cce);
    s.rgce.assign(rgce.begin(), rgce.end());
    s.array = array;
    if (s.firstRow > s.lastRow || s.firstCol > s.lastCol) {
        return;
    }
    if (array) {
        // One formula over the whole area: read once, from its top-left cell. The cells keep the
        // results their FORMULA records hold.
        const sheet::Area area{{s.firstRow, s.firstCol}, {s.lastRow, s.lastCol}};
        const std::string where = cellName(s.firstRow, s.firstCol) + ":" + cellName(s.lastRow, s.lastCol);
        bool overlaps = false;
        for (const sheet::ArrayFormula& a : m_sheet.arrayFormulas) {
            overlaps = overlaps || (a.area.first.row <= area.last.row && area.first.row <= a.area.last.row &&
                                    a.area.first.col <= area.last.col && area.first.col <= a.area.last.col);
        }
        if (!inRange(s.lastRow, s.lastCol) || overlaps) {
            warn("the array formula in " + where + " overlaps another or lies off the sheet; its results were kept.");
        } else {
            try {
                sheet::ArrayFormula a{area, decode(s.rgce, s.firstRow, s.firstCol)};
                s.arrayIndex = static_cast<int>(m_sheet.arrayFormulas.size());
                m_sheet.arrayFormulas.push_back(std::move(a));
            } catch (const XlsError& e) {
                warn("the array formula in " + where + " was kept as its results: " + e.what());
            }
        }
    }
    m_shared.push_back(std::move(s));
    resolvePending();
}

void SheetReader::resolvePending() {
    auto it = m_pending.begin();
    while (it != m_pending.end()) {
        const int masterRow = load16(it->rgce.data() + 1);
        const int masterCol = load16(it->rgce.data() + 3);
        SharedFormula* found = nullptr;
        for (auto s = m_shared.rbegin(); s != m_shared.rend(); ++s) {
            if (s->firstRow == masterRow && s->firstCol == masterCol && it->row >= s->firstRow &&
                it->row <= s->lastRow && it->col >= s->firstCol && it->col <= s->lastCol) {
                found = &*s;
                break;
            }
        }
        if (!found) {
            ++it;
            continue;
        }
        if (found->array) {
            ++found->members; // the cell holds one of the array formula's results
            it = m_pending.erase(it);
            continue;
        }
        try {
            // A shared formula's relative parts follow the cell.
            cellAt(it->row, it->col).formula = decode(found->rgce, it->row, it->col, true);
        } catch (const XlsError& e) {
            warn("the formula in " + cellName(it->row, it->col) + " was kept as its value: " + e.what());
        }
        it = m_pending.erase(it);
    }
}

// The first `n` bytes of a record, which must hold them: the fixed fields of a cell record.
const std::uint8_t* fixedFields(const RecordView& r, std::size_t n) {
    if (r.data.size() < n) {
        RecordCursor(r).need(n); // throws, naming the record
    }
    return r.data.data();
}

// The records of a cell's value, nearly all of a sheet's records: false for any other record.
bool SheetReader::onCellValue(const RecordView& r) {
    // The commonest records are read straight from the stream, their fixed fields at once: row,
    // column, format, value.
    switch (r.id) {
    case rec::kNumber: {
        const std::uint8_t* f = fixedFields(r, 14);
        setValue(load16(f), load16(f + 2), load16(f + 4), number(loadDouble(f + 6)));
        return true;
    }
    case rec::kRk: {
        const std::uint8_t* f = fixedFields(r, 10);
        setValue(load16(f), load16(f + 2), load16(f + 4), number(decodeRk(load32(f + 6))));
        return true;
    }
    case rec::kMulRk: {
        const std::uint8_t* f = fixedFields(r, 4);
        const int row = load16(f);
        int col = load16(f + 2);
        const std::size_t n = r.data.size() >= 6 ? (r.data.size() - 6) / 6 : 0;
        for (std::size_t i = 0; i < n; ++i, ++col) {
            const std::uint8_t* pair = f + 4 + 6 * i;
            setValue(row, col, load16(pair), number(decodeRk(load32(pair + 2))));
        }
        return true;
    }
    case rec::kLabelSst: {
        const std::uint8_t* f = fixedFields(r, 10);
        const int row = load16(f), col = load16(f + 2);
        const std::uint32_t index = load32(f + 6);
        if (index >= m_g.sst.size()) {
            throw XlsError(XlsErrorKind::Corrupt, "The cell " + cellName(row, col) + " refers to shared string " +
                                                      std::to_string(index) + ", but the table has " +
                                                      std::to_string(m_g.sst.size()) + ".");
        }
        setValue(row, col, load16(f + 4), Value(m_g.sst[index]));
        return true;
    }
    default:
        break;
    }
    RecordCursor c(r);
    switch (r.id) {
    case rec::kBlank: {
        const int row = c.u16(), col = c.u16();
        setValue(row, col, c.u16(), Value());
        break;
    }
    case rec::kMulBlank: {
        const int row = c.u16();
        int col = c.u16();
        const std::size_t n = r.data.size() >= 6 ? (r.data.size() - 6) / 2 : 0;
        for (std::size_t i = 0; i < n; ++i, ++col) {
            setValue(row, col, c.u16(), Value());
        }
        break;
    }
    case rec::kBoolErr: {
        const int row = c.u16(), col = c.u16();
        const unsigned xf = c.u16();
        const unsigned v = c.u8();
        const bool error = c.u8() != 0;
        if (error) {
            setValue(row, col, xf,
                     isErrorCode(v) ? Value(static_cast<sheet::ErrorCode>(v)) : Value(sheet::ErrorCode::NA));
        } else {
            setValue(row, col, xf, Value(v != 0));
        }
        break;
    }
    case rec::kLabel:
    case rec::kRString: {
        const int row = c.u16(), col = c.u16();
        const unsigned xf = c.u16();
        setValue(row, col, xf, Value(c.string16()));
        break;
    }
    default:
        return false;
    }
    return true;
}

void SheetReader::read(RecordReader& in) {
    int depth = 0;
    RecordView r;
    Record joined; // one buffer for the records that have CONTINUE parts
    while (in.next(r, joined)) {
        if (r.id == rec::kBof) {
            ++depth; // an embedded chart: skipped to its EOF
            continue;
        }
        if (r.id == rec::kEof) {
            if (depth == 0) {
                finish();
                return;
            }
            --depth;
            continue;
        }
        if (depth > 0) {
            continue;
        }
        const std::uint16_t id = r.id;
        if (id != rec::kString && id != rec::kShrFmla && id != rec::kArray && id != rec::kContinue) {
            m_stringFor.reset();
        }
        if (onCellValue(r)) {
            continue;
        }
        RecordCursor c(r);
        switch (id) {
        case rec::kFormula:
            onFormula(r);
            break;
        case rec::kString: {
            if (m_stringFor) {
                cellAt(m_stringFor->row, m_stringFor->col).value = Value(readStringResult(c));
                m_stringFor.reset();
            }
            break;
        }
        case rec::kShrFmla:
            onSharedFormula(r, false);
            break;
        case rec::kArray:
            onSharedFormula(r, true);
            break;
        case rec::kRow: {
            const int row = c.u16();
            c.skip(4);
            const unsigned height = c.u16();
            c.skip(4);
            const unsigned flags = c.u16();
            const unsigned xf = c.u16() & 0x0FFF;
            if (row >= kMaxRows) {
                break;
            }
            sheet::RowInfo& info = m_sheet.rowInfo(row);
            if ((flags & 0x40) ||
                (!(height & 0x8000) && static_cast<int>(height & 0x7FFF) != m_sheet.defaultRowHeightTwips)) {
                info.heightTwips = static_cast<int>(height & 0x7FFF);
            }
            info.hidden = (flags & 0x20) != 0;
            if (flags & 0x80) {
                info.format = format(xf);
            }
            break;
        }
        case rec::kColInfo: {
            const int first = c.u16();
            const int last = std::min<int>(c.u16(), kMaxCols - 1);
            const unsigned width = c.u16();
            const unsigned xf = c.u16();
            const unsigned flags = c.u16();
            for (int col = first; col <= last; ++col) {
                sheet::ColumnInfo& info = m_sheet.columnInfo(col);
                info.width256 = static_cast<int>(width);
                info.hidden = (flags & 0x01) != 0;
                if (format(xf) != 0) {
                    info.format = format(xf);
                }
            }
            break;
        }
        case rec::kDefColWidth:
            m_sheet.defaultColumnWidth = c.u16();
            break;
        case rec::kDefaultRowHeight: {
            c.u16();
            const unsigned h = c.u16();
            if (h > 0 && h < 8192) {
                m_sheet.defaultRowHeightTwips = static_cast<int>(h);
            }
            break;
        }
        case rec::kMergedCells: {
            const unsigned count = c.u16();
            for (unsigned i = 0; i < count; ++i) {
                const int r1 = c.u16(), r2 = c.u16(), c1 = c.u16(), c2 = c.u16();
                if (r1 <= r2 && c1 <= c2 && inRange(r2, c2) && (r1 != r2 || c1 != c2)) {
                    m_sheet.merged.push_back(sheet::Area{{r1, c1}, {r2, c2}});
                }
            }
            break;
        }
        case rec::kWindow2: {
            const unsigned flags = c.u16();
            m_sheet.showGridlines = (flags & 0x02) != 0;
            m_sheet.selected = (flags & 0x0200) != 0;
            break;
        }
        case rec::kSelection: {
            c.u8();
            const int row = c.u16(), col = c.u16();
            if (inRange(row, col)) {
                m_sheet.activeCell = sheet::CellPos{row, col};
            }
            break;
        }
        case rec::kLeftMargin:
        case rec::kRightMargin:
        case rec::kTopMargin:
        case rec::kBottomMargin: {
            const double v = c.f64();
            if (!std::isfinite(v) || v < 0 || v > 100) {
                break;
            }
            auto& p = m_sheet.pageSetup;
            (id == rec::kLeftMargin    ? p.left
             : id == rec::kRightMargin ? p.right
             : id == rec::kTopMargin   ? p.top
                                       : p.bottom) = v;
            break;
        }
        case rec::kSetup: {
            const unsigned paper = c.u16();
            const unsigned scale = c.u16();
            c.skip(6);
            const unsigned flags = c.u16();
            c.skip(4);
            const double header = c.f64();
            const double footer = c.f64();
            auto& p = m_sheet.pageSetup;
            if (!(flags & 0x04)) { // printer settings present
                p.paperSize = static_cast<int>(paper);
                if (scale >= 10 && scale <= 400) {
                    p.scale = static_cast<int>(scale);
                }
                p.portrait = (flags & 0x02) != 0;
            }
            if (std::isfinite(header) && header >= 0 && header <= 100) {
                p.header = header;
            }
            if (std::isfinite(footer) && footer >= 0 && footer <= 100) {
                p.footer = footer;
            }
            break;
        }
        case rec::kHeader:
        case rec::kFooter:
            if (!r.data.empty()) {
                try {
                    (id == rec::kHeader ? m_sheet.pageSetup.headerText : m_sheet.pageSetup.footerText) = c.string16();
                } catch (const XlsError& e) {
                    warn(std::string("the page ") + (id == rec::kHeader ? "header" : "footer") +
                         " was left out: " + e.what());
                }
            }
            break;
        case rec::kObj: {
            // The first sub-record is the common object data: its type and id.
            if (r.data.size() >= 8 && load16(r.data.data()) == 0x15) {
                m_lastObjectIsNote = load16(r.data.data() + 4) == 0x19;
                m_lastObject = load16(r.data.data() + 6);
            }
            break;
        }
        case rec::kTxo: {
            if (!m_lastObjectIsNote) {
                break;
            }
            c.skip(10);
            const unsigned cch = c.u16();
            std::string text;
            if (cch > 0 && !r.breaks.empty()) {
                c.seek(r.breaks.front());
                text = c.chars(cch, false);
            }
            m_noteText[m_lastObject] = std::move(text);
            break;
        }
        case rec::kNote: {
            Note n;
            n.row = c.u16();
            n.col = c.u16();
            n.visible = (c.u16() & 0x02) != 0;
            n.object = c.u16();
            if (c.remaining() >= 3) {
                n.author = c.string16();
            }
            if (inRange(n.row, n.col)) {
                m_notes.push_back(std::move(n));
            }
            break;
        }
        default:
            break;
        }
    }
    throw XlsError(XlsErrorKind::Truncated, "The sheet \"" + m_sheet.name + "\" ends without an EOF record.");
}

void SheetReader::finish() {
    // An array formula keeps its area only when every cell of it said it belongs to it, and none
    // was given a formula of its own afterwards.
    std::vector<bool> keep(m_sheet.arrayFormulas.size(), false);
    for (const SharedFormula& s : m_shared) {
        if (s.array && s.arrayIndex >= 0) {
            const sheet::Area& a = m_sheet.arrayFormulas[static_cast<std::size_t>(s.arrayIndex)].area;
            bool whole = s.members == static_cast<long long>(a.rows()) * a.columns();
            for (int r = a.first.row; whole && r <= a.last.row; ++r) {
                for (int c = a.first.col; whole && c <= a.last.col; ++c) {
                    const sheet::Cell* cell = m_sheet.cell(r, c);
                    whole = cell && !cell->formula;
                }
            }
            keep[static_cast<std::size_t>(s.arrayIndex)] = whole;
            if (!whole) {
                warn("the array formula in " + cellName(a.first.row, a.first.col) + ":" +
                     cellName(a.last.row, a.last.col) + " lacks some of its cells; its results were kept.");
            }
        }
    }
    std::vector<sheet::ArrayFormula> arrays;
    for (std::size_t i = 0; i < keep.size(); ++i) {
        if (keep[i]) {
            arrays.push_back(std::move(m_sheet.arrayFormulas[i]));
        }
    }
    m_sheet.arrayFormulas = std::move(arrays);
    for (const PendingFormula& p : m_pending) {
        warn("the formula in " + cellName(p.row, p.col) +
             " refers to a shared formula that is missing; its value was kept.");
    }
    for (const Note& n : m_notes) {
        sheet::Comment comment;
        comment.pos = sheet::CellPos{n.row, n.col};
        auto it = m_noteText.find(n.object);
        comment.text = it == m_noteText.end() ? std::string() : it->second;
        comment.author = n.author;
        comment.visible = n.visible;
        m_sheet.comments.push_back(std::move(comment));
    }
}

} // namespace

void readSheet(RecordReader& in, const Globals& g, const std::vector<std::uint32_t>& xfMap,
               const std::vector<int>& sheetMap, sheet::Sheet& target, std::vector<std::string>& warnings,
               std::size_t& cellBudget) {
    SheetReader reader(g, xfMap, sheetMap, target, warnings, cellBudget);
    reader.read(in);
}

} // namespace markwell::xls
