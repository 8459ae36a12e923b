#pragma once

// The writer of a workbook's .xls stream, shared by its two halves: XlsWriter.cpp plans the
// formats and names and writes the workbook globals, SheetWriter.cpp writes each worksheet.

#include "CommentDrawing.h"
#include "Encoders.h"
#include "FormulaWriter.h"
#include "RecordIds.h"
#include "RecordWriter.h"
#include "SharedStrings.h"
#include "Strings.h"
#include "XlsWriter.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace markwell::xls::detail {

using sheet::Value;

inline constexpr std::size_t kStyleXfs = 15;
inline constexpr std::size_t kMaxXfs = 4050;
inline constexpr std::uint16_t kFirstCustomFormat = 164;
inline constexpr std::size_t kMaxCellChars = 32767; // the most characters a cell holds
// Stream bytes to make room for: a generous guess for a cell's records and a formula's.
inline constexpr std::size_t kCellRoom = 24;
inline constexpr std::size_t kFormulaRoom = 160;

[[noreturn]] inline void unsupported(const std::string& message) {
    throw XlsError(XlsErrorKind::Unsupported, message);
}

inline bool validSheetName(const std::string& name) {
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

inline std::uint32_t cellKey(int row, int col) {
    return (static_cast<std::uint32_t>(row) << 8) | static_cast<std::uint32_t>(col);
}

// The first column of a row's stored cells and one past its last: {-1, 0} for a row without any.
inline std::pair<int, int> rowExtent(const std::vector<sheet::Row>& rows, int row) {
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

inline std::string upperAscii(std::string s) {
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

} // namespace markwell::xls::detail
