#pragma once

#include "workbook/sheet/CellRef.h"

#include <stdexcept>

namespace markwell::sheet {

class Workbook;

// A structural operation that cannot be done; nothing has been changed. The message says why.
// Array formulas move and are copied whole: an operation that would split one is refused.
class StructureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Copies the cells of `source` (values, formats, formulas adjusted as a paste adjusts them,
// merged ranges and comments) and inserts the copy `times` times side by side at `at`; the cells
// of the same rows from column `at.col` on move right by the width of the copies. Every reference
// in the workbook (cells and defined names) to the moved cells follows them, and areas lying in
// those rows that span the insertion column grow. The result is that of running the same insert
// `times` times in a row, in one pass over the sheet.
void insertCopiedCells(Workbook& workbook, int sheetIndex, const Area& source, CellPos at, int times = 1);

// Copies whole rows `firstRow`..`lastRow` (cells, row heights and formats, merged ranges,
// comments) and inserts the copy `times` times at `atRow`; the rows from `atRow` down move down.
// References follow; areas spanning the insertion row grow. One pass for any `times`.
void insertCopiedRows(Workbook& workbook, int sheetIndex, int firstRow, int lastRow, int atRow, int times = 1);

// Deletes rows `first`..`last`; the rows below move up. Areas losing rows shrink; a reference to
// a deleted cell, or an area wholly deleted, becomes #REF!. Merged ranges and comments in the
// deleted rows go with them.
void deleteRows(Workbook& workbook, int sheetIndex, int first, int last);

} // namespace markwell::sheet
