#pragma once

namespace markwell::sheet {
class Workbook;
}

namespace markwell::formula {

// Evaluates every formula cell of the workbook, each after the formula cells it reads, and stores
// the results in the cells' values. Formulas that depend on themselves, directly or through
// others, get #VALUE!. Runs without recursion, so long chains of formulas cannot exhaust the
// stack.
void recalculate(sheet::Workbook& workbook);

} // namespace markwell::formula
