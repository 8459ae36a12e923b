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

const std::vector<Printout>& printouts() {
    static const std::vector<Printout> kPrintouts{
        {u"--pdf"_s, &Options::pdf, exporting::SaveFormat::Pdf, u"printable gradebook"_s},
        {u"--pdf-fit-width"_s, &Options::pdfFitWidth, exporting::SaveFormat::PdfFitWidth,
         u"gradebook fitted to the page width"_s},
        {u"--reports"_s, &Options::reports, exporting::SaveFormat::StudentReports, u"student reports"_s}};
    return kPrintouts;
}

QStringList writeOutputs(const QString& generatedWorkbook, const Options& o, StagedOutputs& outputs,
                         std::shared_ptr<const sheet::Workbook> model) {
    const bool force = o.force;
    QStringList problems;
    const QString scratch = QFileInfo(generatedWorkbook).absolutePath();
    std::shared_ptr<const sheet::Workbook> workbook = std::move(model);
    // One result in one format: its bytes are made, then written in one step.
    auto save = [&](const QString& target, exporting::SaveFormat format, const QString& what) {
        std::optional<QString> why;
        // Reading the workbook or converting it throws a sentence that names the file itself.
        try {
            if (format == exporting::SaveFormat::Xls) {
                why = saveWorkbook(generatedWorkbook, target, force, outputs);
            } else {
                if (!workbook) {
                    workbook =
                        std::make_shared<const sheet::Workbook>(exporting::ReadGeneratedWorkbook(generatedWorkbook));
                }
                why = outputs.stage(target, exporting::WorkbookBytes(*workbook, target, format, scratch), force);
            }
        } catch (const std::exception& e) {
            problems << QString::fromUtf8(e.what());
            return;
        }
        if (why) {
            problems << u"the %1 could not be saved to \"%2\": %3"_s.arg(what, target, *why);
        }
    };
    save(o.out, outputFormat(o.out), u"workbook"_s);
    for (const Printout& p : printouts()) {
        if (!(o.*p.file).isEmpty()) {
            save(o.*p.file, p.format, p.what);
        }
    }
    return problems;
}

} // namespace markwell::cli
