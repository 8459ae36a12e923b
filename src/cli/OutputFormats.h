#pragma once

#include "preview/SaveFormats.h"

#include <QString>

namespace markwell::cli {

// The format --out writes: .xlsx when the name ends in ".xlsx" (in any case), the workbook as
// made (.xls) for any other name.
preview::SaveFormat outputFormat(const QString& out);

// Saves the generated workbook to `out` in outputFormat(out) and, when `pdf` is not empty, the
// printable gradebook to `pdf`. Each file replaces an existing one only once it is complete.
// Throws Failure naming the file and the cause.
void writeOutputs(const QString& generatedWorkbook, const QString& out, const QString& pdf);

} // namespace markwell::cli
