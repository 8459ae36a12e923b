#include "workbook/sheet/Sheet.h"

#include <stdexcept>

namespace markwell::sheet {

namespace {

void checkPosition(int row, int col) {
    if (!isValid(CellPos{row, col})) {
        throw std::out_of_range("The cell at row " + std::to_string(row + 1) + ", column " + std::to_string(col + 1) +
                                " lies outside the sheet.");
    }
}

} // namespace

const Cell* Sheet::cell(int row, int col) const {
    if (row < 0 || col < 0 || static_cast<std::size_t>(row) >= m_rows.size()) {
        return nullptr;
    }
    const auto& cells = m_rows[static_cast<std::size_t>(row)].cells;
    if (static_cast<std::size_t>(col) >= cells.size()) {
        return nullptr;
    }
    const Cell& c = cells[static_cast<std::size_t>(col)];
    return c.isBlank() ? nullptr : &c;
}

Cell& Sheet::cellAt(int row, int col) {
    checkPosition(row, col);
    if (static_cast<std::size_t>(row) >= m_rows.size()) {
        m_rows.resize(static_cast<std::size_t>(row) + 1);
    }
    auto& cells = m_rows[static_cast<std::size_t>(row)].cells;
    if (static_cast<std::size_t>(col) >= cells.size()) {
        cells.resize(static_cast<std::size_t>(col) + 1);
    }
    return cells[static_cast<std::size_t>(col)];
}

void Sheet::setCell(int row, int col, Cell cell) {
    cellAt(row, col) = std::move(cell);
}

void Sheet::clearCell(int row, int col) {
    if (row < 0 || col < 0 || static_cast<std::size_t>(row) >= m_rows.size()) {
        return;
    }
    auto& cells = m_rows[static_cast<std::size_t>(row)].cells;
    if (static_cast<std::size_t>(col) < cells.size()) {
        cells[static_cast<std::size_t>(col)] = Cell{};
        while (!cells.empty() && cells.back().isBlank()) {
            cells.pop_back();
        }
    }
}

const ArrayFormula* Sheet::arrayFormulaAt(CellPos pos) const {
    for (const ArrayFormula& a : arrayFormulas) {
        if (a.area.contains(pos)) {
            return &a;
        }
    }
    return nullptr;
}

int Sheet::lastRow() const {
    for (std::size_t r = m_rows.size(); r-- > 0;) {
        for (const Cell& c : m_rows[r].cells) {
            if (!c.isBlank()) {
                return static_cast<int>(r);
            }
        }
    }
    return -1;
}

int Sheet::lastColumn() const {
    int last = -1;
    for (const Row& row : m_rows) {
        for (std::size_t c = row.cells.size(); c-- > 0 && static_cast<int>(c) > last;) {
            if (!row.cells[c].isBlank()) {
                last = static_cast<int>(c);
                break;
            }
        }
    }
    return last;
}

RowInfo& Sheet::rowInfo(int row) {
    checkPosition(row, 0);
    if (static_cast<std::size_t>(row) >= m_rows.size()) {
        m_rows.resize(static_cast<std::size_t>(row) + 1);
    }
    return m_rows[static_cast<std::size_t>(row)].info;
}

const RowInfo* Sheet::rowInfoAt(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size()) {
        return nullptr;
    }
    const RowInfo& info = m_rows[static_cast<std::size_t>(row)].info;
    return info == RowInfo{} ? nullptr : &info;
}

int Sheet::lastRowWithInfo() const {
    for (std::size_t r = m_rows.size(); r-- > 0;) {
        if (!(m_rows[r].info == RowInfo{})) {
            return static_cast<int>(r);
        }
    }
    return -1;
}

ColumnInfo& Sheet::columnInfo(int col) {
    checkPosition(0, col);
    if (static_cast<std::size_t>(col) >= m_columns.size()) {
        m_columns.resize(static_cast<std::size_t>(col) + 1);
    }
    return m_columns[static_cast<std::size_t>(col)];
}

const ColumnInfo* Sheet::columnInfoAt(int col) const {
    if (col < 0 || static_cast<std::size_t>(col) >= m_columns.size()) {
        return nullptr;
    }
    const ColumnInfo& info = m_columns[static_cast<std::size_t>(col)];
    return info == ColumnInfo{} ? nullptr : &info;
}

} // namespace markwell::sheet
