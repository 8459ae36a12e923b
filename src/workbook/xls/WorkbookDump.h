#pragma once

#include "ByteIO.h"

#include "workbook/sheet/Workbook.h"

#include <string>
#include <vector>

namespace markwell::xls {

// A workbook as sorted text lines, for comparisons between readers and golden files:
//   cell <sheet> <row> <col> t|n|b|e <value>     (0-based; numbers as %.17g, errors by code)
//   merge <sheet> <first row> <last row> <first col> <last col>
//   note <sheet> <row> <col> <text>              (backslash, CR and LF escaped)
//   name <name> <scope sheet or -1>
// Blank cells are left out; a formula shows its cached result.
std::vector<std::string> dumpWorkbook(const sheet::Workbook& workbook);

// The same in more detail for people: formulas as text, formats, row and column information,
// page set-up. Not meant to be compared with other readers.
std::vector<std::string> describeWorkbook(const sheet::Workbook& workbook);

// The record structure of a workbook stream: one line per record with its offset, name and
// length. Throws XlsError when the container cannot be read.
std::vector<std::string> dumpRecords(ByteView file);

} // namespace markwell::xls
