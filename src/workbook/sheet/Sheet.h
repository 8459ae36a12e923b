#pragma once

#include "workbook/formula/Ast.h"
#include "workbook/sheet/CellRef.h"
#include "workbook/sheet/Value.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace markwell::sheet {

struct Cell {
    Cell(Value v = {}, formula::NodePtr f = nullptr, std::uint32_t fmt = 0)
        : value(std::move(v)), format(fmt), formula(std::move(f)) {}

    // The format lies in the value's spare bytes: a cell takes 32 bytes.
    [[no_unique_address]] Value value; // the constant, or the cached result of the formula
    std::uint32_t format = 0;          // index into Workbook::formats
    formula::NodePtr formula;          // null: a constant

    // A blank cell with the default format is the same as no cell at all.
    bool isBlank() const { return !formula && value.isEmpty() && format == 0; }
};

struct RowInfo {
    std::optional<int> heightTwips;
    bool hidden = false;
    std::optional<std::uint32_t> format;
    friend bool operator==(const RowInfo&, const RowInfo&) = default;
};

struct ColumnInfo {
    std::optional<int> width256; // in 1/256 of a character
    bool hidden = false;
    std::optional<std::uint32_t> format;
    friend bool operator==(const ColumnInfo&, const ColumnInfo&) = default;
};

struct Comment {
    CellPos pos;
    std::string text;
    std::string author;
    bool visible = false;
};

// A formula entered over a whole area at once, an array formula ({=SUM(A1:A3*C1:C3)}). Its
// references read as they do from the area's top-left cell. The cells of the area hold its
// results as values and no formula of their own; recalculation keeps those results as they are.
struct ArrayFormula {
    Area area;
    formula::NodePtr formula;
};

struct PageSetup {
    int paperSize = 1; // Letter
    bool portrait = true;
    int scale = 100;
    double left = 0.75, right = 0.75, top = 1.0, bottom = 1.0, header = 0.5, footer = 0.5; // inches
    std::string headerText, footerText;
};

// One row of storage: its cells, dense from column A, and its row information.
struct Row {
    std::vector<Cell> cells;
    RowInfo info;
};

// A worksheet. Cells are kept row by row in column order, so inserting or deleting rows moves
// whole rows and inserting cells touches each row once.
class Sheet {
public:
    std::string name;

    // The stored cell, or null when there is none (or only a blank one with the default format).
    const Cell* cell(int row, int col) const;
    // The cell, created when missing. Throws std::out_of_range outside the sheet.
    Cell& cellAt(int row, int col);
    void setCell(int row, int col, Cell cell);
    void clearCell(int row, int col);

    // Visits every non-blank cell, row by row, left to right.
    template <typename Fn> void forEachCell(Fn&& fn) const {
        for (std::size_t r = 0; r < m_rows.size(); ++r) {
            const auto& cells = m_rows[r].cells;
            for (std::size_t c = 0; c < cells.size(); ++c) {
                if (!cells[c].isBlank()) {
                    fn(static_cast<int>(r), static_cast<int>(c), cells[c]);
                }
            }
        }
    }
    // The same for cells that may be changed (their value or format, not their place).
    template <typename Fn> void forEachCellMutable(Fn&& fn) {
        for (std::size_t r = 0; r < m_rows.size(); ++r) {
            auto& cells = m_rows[r].cells;
            for (std::size_t c = 0; c < cells.size(); ++c) {
                if (!cells[c].isBlank()) {
                    fn(static_cast<int>(r), static_cast<int>(c), cells[c]);
                }
            }
        }
    }

    // The array formula whose area holds the cell, or null.
    const ArrayFormula* arrayFormulaAt(CellPos pos) const;

    // Last row and column holding a non-blank cell; -1 on an empty sheet.
    int lastRow() const;
    int lastColumn() const;

    // Row information; rowInfo() creates it, rowInfoAt() is null for a row without any.
    RowInfo& rowInfo(int row);
    const RowInfo* rowInfoAt(int row) const;
    int lastRowWithInfo() const; // -1 when no row has information

    ColumnInfo& columnInfo(int col);
    const ColumnInfo* columnInfoAt(int col) const;

    int defaultRowHeightTwips = 255;
    int defaultColumnWidth = 8; // characters
    std::vector<Area> merged;
    std::vector<Comment> comments;
    std::vector<ArrayFormula> arrayFormulas; // areas never overlap
    PageSetup pageSetup;
    bool showGridlines = true;
    CellPos activeCell;
    bool selected = false;

    // Raw row storage for the engine's bulk operations (inserting, deleting, recalculating).
    // Rows beyond the vector are empty; a row's cells beyond its vector are blank.
    std::vector<Row>& rows() { return m_rows; }
    const std::vector<Row>& rows() const { return m_rows; }
    std::vector<ColumnInfo>& columns() { return m_columns; }
    const std::vector<ColumnInfo>& columns() const { return m_columns; }

private:
    std::vector<Row> m_rows;
    std::vector<ColumnInfo> m_columns;
};

} // namespace markwell::sheet
