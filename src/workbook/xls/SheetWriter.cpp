#include "WorkbookWriter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <unordered_map>

namespace markwell::xls::detail {

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

} // namespace markwell::xls::detail
