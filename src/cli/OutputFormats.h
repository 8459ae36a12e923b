#pragma once

#include "cli/Arguments.h"
#include "cli/OutputTarget.h"
#include "gradebook/export/SaveFormats.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace markwell::cli {

// The format --out writes: .xlsx when the name ends in ".xlsx" (in any case), the workbook as
// made (.xls) for any other name.
exporting::SaveFormat outputFormat(const QString& out);

// The PDFs saved beside the workbook: the option that names the file, its field, the format and
// what the file is called in messages.
struct Printout {
    QString option;
    QString Options::*file;
    exporting::SaveFormat format;
    QString what;
};
const std::vector<Printout>& printouts();

// Saves the generated workbook to `o.out` in outputFormat(o.out) and each printout that is named,
// each by the rules of writeTarget (with or without o.force). The workbook is read once for
// everything made from it, and not at all when `model` (the job's own, handed over) is given.
// Returns what could not be saved, one sentence per file naming it and
// the cause; empty when everything was saved.
QStringList writeOutputs(const QString& generatedWorkbook, const Options& o, StagedOutputs& outputs,
                         std::shared_ptr<const sheet::Workbook> model = nullptr);

} // namespace markwell::cli
