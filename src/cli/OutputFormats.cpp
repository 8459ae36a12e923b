#include "cli/OutputFormats.h"

#include <QFileInfo>

#include <optional>

namespace markwell::cli {

preview::SaveFormat outputFormat(const QString& out) {
    return preview::formatOfExtension(out) == preview::SaveFormat::Xlsx ? preview::SaveFormat::Xlsx
                                                                        : preview::SaveFormat::Xls;
}

void writeOutputs(const QString& generatedWorkbook, const QString& out, const QString& pdf) {
    const preview::SaveFormat format = outputFormat(out);
    if (format == preview::SaveFormat::Xls) {
        preview::SaveWorkbookAs(generatedWorkbook, out, format);
        if (pdf.isEmpty()) {
            return;
        }
    }
    // The workbook is read once for everything made from it.
    const QString scratch = QFileInfo(generatedWorkbook).absolutePath();
    const sheet::Workbook workbook = preview::ReadGeneratedWorkbook(generatedWorkbook);
    if (format != preview::SaveFormat::Xls) {
        preview::WriteWorkbookAs(workbook, out, format, scratch);
    }
    if (!pdf.isEmpty()) {
        preview::WriteWorkbookAs(workbook, pdf, preview::SaveFormat::Pdf, scratch);
    }
}

} // namespace markwell::cli
