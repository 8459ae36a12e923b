#pragma once

#include "ByteIO.h"
#include "XlsError.h"

#include "workbook/sheet/Workbook.h"

#include <functional>

namespace markwell::xls {

// Writes the workbook as a BIFF8 .xls file (compound document with a "Workbook" stream). Formulas
// carry their cached results as they are in the model: recalculate first. Throws XlsError when
// something cannot be expressed in the format (a sheet name that is too long, too many formats,
// a function the format does not know ...), never writes a file other programs would refuse.
Bytes writeXls(const sheet::Workbook& workbook);
// The same file handed to `sink` piece by piece, in order: the workbook stream is never copied
// into one buffer with the rest of the file.
void writeXls(const sheet::Workbook& workbook, const std::function<void(ByteView)>& sink);

} // namespace markwell::xls
