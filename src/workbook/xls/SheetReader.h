#pragma once

#include "Globals.h"
#include "RecordReader.h"
#include "workbook/sheet/Sheet.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace markwell::xls {

// Reads one worksheet substream, from the record after its BOF to its EOF, into `target`: the
// cells with their values, formats and formulas (shared and array formulas resolved), merged
// ranges, row and column information, notes and the sheet's settings. xfMap gives the workbook
// format of each XF record, sheetMap the model's sheet of each BOUNDSHEET (-1: not kept). What
// cannot be kept as it is becomes a warning; a record that cannot be read throws XlsError. Every
// stored cell is charged against cellBudget, which the call lowers, so that a small file cannot
// make the reader allocate gigabytes.
void readSheet(RecordReader& in, const Globals& g, const std::vector<std::uint32_t>& xfMap,
               const std::vector<int>& sheetMap, sheet::Sheet& target, std::vector<std::string>& warnings,
               std::size_t& cellBudget);

} // namespace markwell::xls
