#pragma once

#include "workbook/formula/Ast.h"

namespace markwell::formula {

// How the cells of one sheet move in a structural change. Every reference into the moved cells
// follows them; an area that spans the insertion point grows, one that loses some of its rows
// shrinks, and a reference whose cells are all deleted becomes #REF!.
struct SheetChange {
    enum class Kind {
        InsertRows,       // `count` rows inserted before row `at`
        DeleteRows,       // rows `at` .. `at + count - 1` deleted, those below move up
        InsertCellsRight, // in rows `bandFirst` .. `bandLast`, cells from column `at` move right by `count`
    };
    Kind kind = Kind::InsertRows;
    int sheet = 0;
    int at = 0;
    int count = 0;
    int bandFirst = 0;
    int bandLast = 0;
};

// The tree adjusted for a change of its sheet layout. `formulaSheet` is the sheet whose cell (or
// name) holds the formula; it is what a reference without a sheet index points into. Gives the
// same pointer back when nothing changes, so unchanged formulas stay shared.
NodePtr shiftReferences(const NodePtr& root, int formulaSheet, const SheetChange& change);

// The tree as it reads when its cell is copied `rows` down and `cols` right: relative parts of
// references move, `$` parts stay. A reference pushed off the sheet becomes #REF!.
NodePtr translateReferences(const NodePtr& root, int rows, int cols);

// One interval (rows or columns) adjusted for an insertion or deletion along its axis, for
// merged ranges and other areas that follow the cells. False when the interval is deleted.
bool shiftInterval(int& first, int& last, bool isInsert, int at, int count, int limit);

} // namespace markwell::formula
