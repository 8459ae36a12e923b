#include "workbook/sheet/Structure.h"

#include "workbook/formula/RefShift.h"
#include "workbook/sheet/Workbook.h"

#include <string>
#include <unordered_map>
#include <vector>

namespace markwell::sheet {

using formula::NodePtr;
using formula::SheetChange;

namespace {

std::string rowsText(int first, int last) {
    return first == last ? "row " + std::to_string(first + 1)
                         : "rows " + std::to_string(first + 1) + " to " + std::to_string(last + 1);
}

Sheet& sheetOf(Workbook& workbook, int sheetIndex) {
    if (sheetIndex < 0 || static_cast<std::size_t>(sheetIndex) >= workbook.sheets.size()) {
        throw StructureError("The workbook has no sheet number " + std::to_string(sheetIndex + 1) + '.');
    }
    return workbook.sheets[static_cast<std::size_t>(sheetIndex)];
}

// Adjusts every formula of the workbook (cells and defined names) for a change of one sheet's
// layout. Trees shared by several cells are adjusted once.
void shiftAllFormulas(Workbook& workbook, const SheetChange& change) {
    for (std::size_t s = 0; s < workbook.sheets.size(); ++s) {
        std::unordered_map<const formula::Node*, NodePtr> done;
        for (Row& row : workbook.sheets[s].rows()) {
            for (Cell& cell : row.cells) {
                if (!cell.formula) {
                    continue;
                }
                auto [it, fresh] = done.try_emplace(cell.formula.get());
                if (fresh) {
                    it->second = formula::shiftReferences(cell.formula, static_cast<int>(s), change);
                }
                cell.formula = it->second;
            }
        }
    }
    for (std::size_t s = 0; s < workbook.sheets.size(); ++s) {
        for (ArrayFormula& a : workbook.sheets[s].arrayFormulas) {
            a.formula = formula::shiftReferences(a.formula, static_cast<int>(s), change);
        }
    }
    for (DefinedName& name : workbook.names) {
        // A workbook-level name's references without a sheet point nowhere in particular.
        const int home = name.scopeSheet >= 0 ? name.scopeSheet : -2;
        name.refersTo = formula::shiftReferences(name.refersTo, home, change);
    }
}

// The cell list of a row with `count` blank cells inserted before column `at`.
void insertBlankCells(std::vector<Cell>& cells, int at, int count) {
    if (static_cast<std::size_t>(at) >= cells.size()) {
        return;
    }
    cells.insert(cells.begin() + at, static_cast<std::size_t>(count), Cell{});
}

int lastStoredColumn(const Row& row) {
    for (std::size_t c = row.cells.size(); c-- > 0;) {
        if (!row.cells[c].isBlank()) {
            return static_cast<int>(c);
        }
    }
    return -1;
}

bool rowHasContent(const Row& row) {
    return lastStoredColumn(row) >= 0 || !(row.info == RowInfo{});
}

// An array formula is one whole: a change may move or copy all of it, never a part.
[[noreturn]] void refusePartOfArray(const ArrayFormula& a) {
    throw StructureError("The change would split the array formula in " + toA1(a.area) +
                         "; an array formula can only be moved or copied whole.");
}

bool overlaps(int first, int last, int otherFirst, int otherLast) {
    return first <= otherLast && otherFirst <= last;
}

// The array formulas lying wholly in `source`; one that lies partly in it is refused.
std::vector<ArrayFormula> arraysCopied(const Sheet& sh, const Area& source) {
    std::vector<ArrayFormula> copied;
    for (const ArrayFormula& a : sh.arrayFormulas) {
        if (source.contains(a.area.first) && source.contains(a.area.last)) {
            copied.push_back(a);
        } else if (overlaps(a.area.first.row, a.area.last.row, source.first.row, source.last.row) &&
                   overlaps(a.area.first.col, a.area.last.col, source.first.col, source.last.col)) {
            refusePartOfArray(a);
        }
    }
    return copied;
}

} // namespace

void insertCopiedCells(Workbook& workbook, int sheetIndex, const Area& source, CellPos at, int times) {
    Sheet& sh = sheetOf(workbook, sheetIndex);
    if (!isValid(source.first) || !isValid(source.last) || source.first.row > source.last.row ||
        source.first.col > source.last.col) {
        throw StructureError("The cells to copy do not form a range of the sheet.");
    }
    if (!isValid(at)) {
        throw StructureError("The place to insert the copied cells lies outside the sheet.");
    }
    if (times < 1) {
        return;
    }
    const int width = source.columns();
    const int height = source.rows();
    const long long total = static_cast<long long>(width) * times;
    const int bandFirst = at.row;
    const int bandLast = at.row + height - 1;
    if (bandLast >= kMaxRows || at.col + total > kMaxColumns) {
        throw StructureError("The copied cells do not fit on the sheet at " + toA1(at) + ": a sheet has " +
                             std::to_string(kMaxColumns) + " columns and " + std::to_string(kMaxRows) + " rows.");
    }
    const int count = static_cast<int>(total);
    auto& rows = sh.rows();
    for (int r = bandFirst; r <= bandLast && static_cast<std::size_t>(r) < rows.size(); ++r) {
        if (lastStoredColumn(rows[static_cast<std::size_t>(r)]) + count >= kMaxColumns) {
            throw StructureError("Inserting " + std::to_string(count) + " columns of cells at " + toA1(at) +
                                 " would push cells of " + rowsText(r, r) + " off the sheet.");
        }
    }

    // Cells from the insertion column on move right in the band's rows: an array formula there
    // must lie wholly in those rows and wholly on one side of the column.
    for (const ArrayFormula& a : sh.arrayFormulas) {
        const bool inBand = a.area.first.row >= bandFirst && a.area.last.row <= bandLast;
        const bool touchesBand = overlaps(a.area.first.row, a.area.last.row, bandFirst, bandLast);
        if ((inBand && a.area.first.col < at.col && a.area.last.col >= at.col) ||
            (touchesBand && !inBand && a.area.last.col >= at.col)) {
            refusePartOfArray(a);
        }
    }
    const std::vector<ArrayFormula> copiedArrays = arraysCopied(sh, source);

    // What the clipboard holds: the source cells, merged ranges and comments as they are now.
    std::vector<std::vector<Cell>> snapshot(static_cast<std::size_t>(height));
    for (int r = 0; r < height; ++r) {
        auto& line = snapshot[static_cast<std::size_t>(r)];
        line.resize(static_cast<std::size_t>(width));
        for (int c = 0; c < width; ++c) {
            if (const Cell* cell = sh.cell(source.first.row + r, source.first.col + c)) {
                line[static_cast<std::size_t>(c)] = *cell;
            }
        }
    }
    std::vector<Area> copiedMerges;
    for (const Area& m : sh.merged) {
        if (source.contains(m.first) && source.contains(m.last)) {
            copiedMerges.push_back(m);
        }
    }
    std::vector<Comment> copiedComments;
    for (const Comment& c : sh.comments) {
        if (source.contains(c.pos)) {
            copiedComments.push_back(c);
        }
    }

    SheetChange change;
    change.kind = SheetChange::Kind::InsertCellsRight;
    change.sheet = sheetIndex;
    change.at = at.col;
    change.count = count;
    change.bandFirst = bandFirst;
    change.bandLast = bandLast;
    shiftAllFormulas(workbook, change);

    if (rows.size() <= static_cast<std::size_t>(bandLast)) {
        rows.resize(static_cast<std::size_t>(bandLast) + 1);
    }
    const int dRow = at.row - source.first.row;
    const int dCol = at.col - source.first.col;
    for (int r = 0; r < height; ++r) {
        auto& cells = rows[static_cast<std::size_t>(bandFirst + r)].cells;
        insertBlankCells(cells, at.col, count);
        const auto& line = snapshot[static_cast<std::size_t>(r)];
        int lastNeeded = -1;
        for (int c = 0; c < width; ++c) {
            if (!line[static_cast<std::size_t>(c)].isBlank()) {
                lastNeeded = c;
            }
        }
        if (lastNeeded < 0) {
            continue;
        }
        const std::size_t needed = static_cast<std::size_t>(at.col + (times - 1) * width + lastNeeded + 1);
        if (cells.size() < needed) {
            cells.resize(needed);
        }
        for (int c = 0; c < width; ++c) {
            const Cell& original = line[static_cast<std::size_t>(c)];
            if (original.isBlank()) {
                continue;
            }
            const NodePtr pasted =
                original.formula ? formula::translateReferences(original.formula, dRow, dCol) : nullptr;
            // Copy i (counted from the left) was pasted i inserts before the last one, so those
            // later inserts moved it, and what it refers to, i widths to the right.
            for (int i = 0; i < times; ++i) {
                Cell& target = cells[static_cast<std::size_t>(at.col + i * width + c)];
                target = original;
                if (pasted) {
                    SheetChange later = change;
                    later.count = i * width;
                    target.formula = formula::shiftReferences(pasted, sheetIndex, later);
                }
            }
        }
    }

    for (Area& m : sh.merged) {
        if (m.first.row >= bandFirst && m.last.row <= bandLast) {
            formula::shiftInterval(m.first.col, m.last.col, true, at.col, count, kMaxColumns);
        }
    }
    for (Comment& c : sh.comments) {
        if (c.pos.row >= bandFirst && c.pos.row <= bandLast && c.pos.col >= at.col) {
            c.pos.col += count;
        }
    }
    for (ArrayFormula& a : sh.arrayFormulas) {
        if (a.area.first.row >= bandFirst && a.area.last.row <= bandLast && a.area.first.col >= at.col) {
            a.area.first.col += count;
            a.area.last.col += count;
        }
    }
    for (const ArrayFormula& a : copiedArrays) {
        const NodePtr pasted = formula::translateReferences(a.formula, dRow, dCol);
        for (int i = 0; i < times; ++i) {
            SheetChange later = change;
            later.count = i * width;
            const int offset = dCol + i * width;
            sh.arrayFormulas.push_back(ArrayFormula{Area{{a.area.first.row + dRow, a.area.first.col + offset},
                                                         {a.area.last.row + dRow, a.area.last.col + offset}},
                                                    formula::shiftReferences(pasted, sheetIndex, later)});
        }
    }
    for (int i = 0; i < times; ++i) {
        const int offset = dCol + i * width;
        for (const Area& m : copiedMerges) {
            sh.merged.push_back(
                Area{{m.first.row + dRow, m.first.col + offset}, {m.last.row + dRow, m.last.col + offset}});
        }
        for (const Comment& c : copiedComments) {
            Comment copy = c;
            copy.pos = CellPos{c.pos.row + dRow, c.pos.col + offset};
            sh.comments.push_back(std::move(copy));
        }
    }
}

void insertCopiedRows(Workbook& workbook, int sheetIndex, int firstRow, int lastRow, int atRow, int times) {
    Sheet& sh = sheetOf(workbook, sheetIndex);
    if (firstRow < 0 || lastRow < firstRow || lastRow >= kMaxRows) {
        throw StructureError("The rows to copy (" + rowsText(firstRow, lastRow) + ") are not rows of the sheet.");
    }
    if (atRow < 0 || atRow >= kMaxRows) {
        throw StructureError("The row to insert at (" + std::to_string(atRow + 1) + ") lies outside the sheet.");
    }
    if (times < 1) {
        return;
    }
    const int height = lastRow - firstRow + 1;
    const long long total = static_cast<long long>(height) * times;
    if (atRow + total > kMaxRows) {
        throw StructureError("The " + std::to_string(total) + " copied rows do not fit on the sheet: it has " +
                             std::to_string(kMaxRows) + " rows.");
    }
    const int count = static_cast<int>(total);
    auto& rows = sh.rows();
    for (std::size_t r = rows.size(); r-- > static_cast<std::size_t>(atRow);) {
        if (rowHasContent(rows[r])) {
            if (static_cast<long long>(r) + count >= kMaxRows) {
                throw StructureError("Inserting " + std::to_string(count) + " rows at row " +
                                     std::to_string(atRow + 1) + " would push " +
                                     rowsText(static_cast<int>(r), static_cast<int>(r)) + " off the sheet.");
            }
            break;
        }
    }

    for (const ArrayFormula& a : sh.arrayFormulas) {
        if (a.area.first.row < atRow && a.area.last.row >= atRow) {
            refusePartOfArray(a);
        }
    }
    const std::vector<ArrayFormula> copiedArrays = arraysCopied(sh, Area{{firstRow, 0}, {lastRow, kMaxColumns - 1}});

    std::vector<Row> snapshot(static_cast<std::size_t>(height));
    for (int r = 0; r < height; ++r) {
        if (static_cast<std::size_t>(firstRow + r) < rows.size()) {
            snapshot[static_cast<std::size_t>(r)] = rows[static_cast<std::size_t>(firstRow + r)];
        }
    }
    std::vector<Area> copiedMerges;
    for (const Area& m : sh.merged) {
        if (m.first.row >= firstRow && m.last.row <= lastRow) {
            copiedMerges.push_back(m);
        }
    }
    std::vector<Comment> copiedComments;
    for (const Comment& c : sh.comments) {
        if (c.pos.row >= firstRow && c.pos.row <= lastRow) {
            copiedComments.push_back(c);
        }
    }

    SheetChange change;
    change.kind = SheetChange::Kind::InsertRows;
    change.sheet = sheetIndex;
    change.at = atRow;
    change.count = count;
    shiftAllFormulas(workbook, change);

    // Pasting translates each formula once; every copy then only moves down.
    const int dRow = atRow - firstRow;
    for (Row& row : snapshot) {
        for (Cell& cell : row.cells) {
            if (cell.formula) {
                cell.formula = formula::translateReferences(cell.formula, dRow, 0);
            }
        }
    }
    if (rows.size() < static_cast<std::size_t>(atRow)) {
        rows.resize(static_cast<std::size_t>(atRow));
    }
    std::vector<Row> inserted;
    inserted.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < times; ++i) {
        SheetChange later = change;
        later.count = i * height;
        for (const Row& row : snapshot) {
            Row copy = row;
            if (i > 0) {
                for (Cell& cell : copy.cells) {
                    if (cell.formula) {
                        cell.formula = formula::shiftReferences(cell.formula, sheetIndex, later);
                    }
                }
            }
            inserted.push_back(std::move(copy));
        }
    }
    rows.insert(rows.begin() + atRow, std::make_move_iterator(inserted.begin()),
                std::make_move_iterator(inserted.end()));
    while (!rows.empty() && !rowHasContent(rows.back())) {
        rows.pop_back();
    }

    for (Area& m : sh.merged) {
        formula::shiftInterval(m.first.row, m.last.row, true, atRow, count, kMaxRows);
    }
    for (Comment& c : sh.comments) {
        if (c.pos.row >= atRow) {
            c.pos.row += count;
        }
    }
    for (ArrayFormula& a : sh.arrayFormulas) {
        if (a.area.first.row >= atRow) {
            a.area.first.row += count;
            a.area.last.row += count;
        }
    }
    for (const ArrayFormula& a : copiedArrays) {
        const NodePtr pasted = formula::translateReferences(a.formula, dRow, 0);
        for (int i = 0; i < times; ++i) {
            SheetChange later = change;
            later.count = i * height;
            const int offset = dRow + i * height;
            sh.arrayFormulas.push_back(ArrayFormula{
                Area{{a.area.first.row + offset, a.area.first.col}, {a.area.last.row + offset, a.area.last.col}},
                i > 0 ? formula::shiftReferences(pasted, sheetIndex, later) : pasted});
        }
    }
    for (int i = 0; i < times; ++i) {
        const int offset = dRow + i * height;
        for (const Area& m : copiedMerges) {
            sh.merged.push_back(Area{{m.first.row + offset, m.first.col}, {m.last.row + offset, m.last.col}});
        }
        for (const Comment& c : copiedComments) {
            Comment copy = c;
            copy.pos.row += offset;
            sh.comments.push_back(std::move(copy));
        }
    }
}

void deleteRows(Workbook& workbook, int sheetIndex, int first, int last) {
    Sheet& sh = sheetOf(workbook, sheetIndex);
    if (first < 0 || last < first || last >= kMaxRows) {
        throw StructureError("The rows to delete (" + rowsText(first, last) + ") are not rows of the sheet.");
    }
    const int count = last - first + 1;
    for (const ArrayFormula& a : sh.arrayFormulas) {
        if (overlaps(a.area.first.row, a.area.last.row, first, last) &&
            (a.area.first.row < first || a.area.last.row > last)) {
            refusePartOfArray(a);
        }
    }
    auto& rows = sh.rows();
    if (static_cast<std::size_t>(first) < rows.size()) {
        const auto end = std::min(rows.size(), static_cast<std::size_t>(last) + 1);
        rows.erase(rows.begin() + first, rows.begin() + static_cast<std::ptrdiff_t>(end));
    }

    SheetChange change;
    change.kind = SheetChange::Kind::DeleteRows;
    change.sheet = sheetIndex;
    change.at = first;
    change.count = count;
    shiftAllFormulas(workbook, change);

    std::vector<Area> merged;
    for (Area m : sh.merged) {
        if (formula::shiftInterval(m.first.row, m.last.row, false, first, count, kMaxRows) && !(m.first == m.last)) {
            merged.push_back(m);
        }
    }
    sh.merged = std::move(merged);
    std::vector<Comment> comments;
    for (Comment& c : sh.comments) {
        if (c.pos.row < first) {
            comments.push_back(std::move(c));
        } else if (c.pos.row > last) {
            c.pos.row -= count;
            comments.push_back(std::move(c));
        }
    }
    sh.comments = std::move(comments);
    std::vector<ArrayFormula> arrays;
    for (ArrayFormula& a : sh.arrayFormulas) {
        if (a.area.last.row < first) {
            arrays.push_back(std::move(a));
        } else if (a.area.first.row > last) {
            a.area.first.row -= count;
            a.area.last.row -= count;
            arrays.push_back(std::move(a));
        }
    }
    sh.arrayFormulas = std::move(arrays);
    if (sh.activeCell.row > last) {
        sh.activeCell.row -= count;
    } else if (sh.activeCell.row >= first) {
        sh.activeCell.row = std::min(first, kMaxRows - 1);
    }
}

} // namespace markwell::sheet
