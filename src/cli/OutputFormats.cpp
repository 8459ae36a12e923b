#include "cli/OutputFormats.h"

#include "cli/OutputTarget.h"

#include <QFileInfo>

#include <exception>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace markwell::cli {

exporting::SaveFormat outputFormat(const QString& out) {
    return exporting::formatOfExtension(out) == exporting::SaveFormat::Xlsx ? exporting::SaveFormat::Xlsx
                                                                            : exporting::SaveFormat::Xls;
}

QStringList writeOutputs(const QString& generatedWorkbook, const QString& out, const QString& pdf, bool force) {
    QStringList problems;
    const QString scratch = QFileInfo(generatedWorkbook).absolutePath();
    std::optional<sheet::Workbook> workbook;
    // One result in one format: its bytes are made, then written in one step.
    auto save = [&](const QString& target, exporting::SaveFormat format, const QString& what) {
        std::optional<QString> why;
        // Reading the workbook or converting it throws a sentence that names the file itself.
        try {
            if (format == exporting::SaveFormat::Xls) {
                why = saveWorkbook(generatedWorkbook, target, force);
            } else {
                if (!workbook) {
                    workbook = exporting::ReadGeneratedWorkbook(generatedWorkbook);
                }
                why = writeTarget(target, exporting::WorkbookBytes(*workbook, target, format, scratch), force);
            }
        } catch (const std::exception& e) {
            problems << QString::fromUtf8(e.what());
            return;
        }
        if (why) {
            problems << u"the %1 could not be saved to \"%2\": %3"_s.arg(what, target, *why);
        }
    };
    save(out, outputFormat(out), u"workbook"_s);
    if (!pdf.isEmpty()) {
        save(pdf, exporting::SaveFormat::Pdf, u"printable gradebook"_s);
    }
    return problems;
}

} // namespace markwell::cli
