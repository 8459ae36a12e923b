#pragma once

#include "gradebook/export/SaveFormats.h"

#include <QString>
#include <QStringList>

namespace markwell::cli {

// The format --out writes: .xlsx when the name ends in ".xlsx" (in any case), the workbook as
// made (.xls) for any other name.
exporting::SaveFormat outputFormat(const QString& out);

// Saves the generated workbook to `out` in outputFormat(out) and, when `pdf` is not empty, the
// printable gradebook to `pdf`, each by the rules of writeTarget (with or without force). The
// workbook is read once for everything made from it. Returns what could not be saved, one
// sentence per file naming it and the cause; empty when everything was saved.
QStringList writeOutputs(const QString& generatedWorkbook, const QString& out, const QString& pdf, bool force);

} // namespace markwell::cli
