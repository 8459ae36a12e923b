#include "gradebook/export/SaveFormats.h"

#include "common/ErrorReport.h"
#include "common/ProductName.h"
#include "gradebook/export/FitToWidth.h"
#include "gradebook/export/StudentReports.h"
#include "os/Files.h"
#include "workbook/render/PdfPrinter.h"
#include "workbook/xls/XlsReader.h"
#include "workbook/xls/XlsWriter.h"
#include "workbook/xlsx/XlsxWriter.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <filesystem>

using namespace Qt::Literals::StringLiterals;

namespace markwell::exporting {

namespace {

// A generated workbook is far smaller; anything larger is not one of ours.
constexpr qint64 kMaxGeneratedBytes = 1LL << 30;

[[noreturn]] void cannotSave(const QString& target, const QString& why) {
    throw Failure(u"Could not save to \"%1\": %2"_s.arg(target, why));
}

QString sentence(const char* what) {
    QString text = QString::fromUtf8(what);
    return text.endsWith(u'.') ? text : text + u'.';
}

// Bytes put in the target's place in one step (os::replaceFileAtomically): a link there is replaced,
// never written through; a device, pipe or socket is refused; an existing file keeps its permissions.
void writeSafely(const QString& target, const QByteArray& bytes) {
    if (const os::Result<> replaced = os::replaceFileAtomically(target, bytes); !replaced) {
        cannotSave(target, replaced.reason());
    }
}

QByteArray xlsxBytes(const sheet::Workbook& workbook, const QString& target, const QString& scratchFolder) {
    // libxlsxwriter writes to a path of its own choosing: a private folder keeps others out of it.
    const QString base = scratchFolder.isEmpty() ? QDir::tempPath() : scratchFolder;
    QTemporaryDir scratch(QDir(base).filePath(u"markwell-xlsx-XXXXXX"_s));
    if (!scratch.isValid()) {
        cannotSave(target, u"no scratch folder could be made in \"%1\": %2"_s.arg(base, scratch.errorString()));
    }
    const QString made = scratch.filePath(u"workbook.xlsx"_s);
    try {
        xlsx::writeXlsx(workbook, std::filesystem::path(made.toStdU16String()),
                        std::filesystem::path(scratch.path().toStdU16String()));
    } catch (const xlsx::XlsxError& e) {
        cannotSave(target, sentence(e.what()));
    }
    os::Result<QByteArray> bytes = os::readFileBounded(made, kMaxGeneratedBytes, true);
    if (!bytes) {
        cannotSave(target, bytes.reason());
    }
    return std::move(*bytes);
}

QByteArray reportBytes(const sheet::Workbook& workbook, const QString& target) {
    ClassReports reports;
    try {
        reports = readClassReports(workbook);
    } catch (const Failure& e) {
        cannotSave(target, e.description());
    }
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    ReportOptions options;
    options.creator = QString::fromUtf16(kProductName);
    options.title = reports.className.isEmpty() ? u"Student reports"_s : u"Student reports: "_s + reports.className;
    try {
        writeStudentReports(reports, out, options);
    } catch (const std::exception& e) {
        cannotSave(target, sentence(e.what()));
    }
    return out.data();
}

QByteArray pdfBytes(const sheet::Workbook& workbook, const QString& target) {
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    render::PdfOptions options;
    options.creator = QString::fromUtf16(kProductName);
    options.fileName = QFileInfo(target).fileName();
    try {
        render::writePdf(workbook, out, options);
    } catch (const std::exception& e) {
        cannotSave(target, sentence(e.what()));
    }
    return out.data();
}

} // namespace

QList<Prompt::FileType> saveFileTypes() {
    return {{u"Excel Files (*.xls)"_s, u"*.xls"_s},
            {u"Excel Workbook (*.xlsx)"_s, u"*.xlsx"_s},
            {u"PDF (*.pdf)"_s, u"*.pdf"_s},
            {u"PDF, fit to page width (*.pdf)"_s, u"*.pdf"_s},
            {u"Student Reports (*.pdf)"_s, u"*.pdf"_s}};
}

SaveFormat formatOfFileType(int index) {
    switch (index) {
    case 1:
        return SaveFormat::Xlsx;
    case 2:
        return SaveFormat::Pdf;
    case 3:
        return SaveFormat::PdfFitWidth;
    case 4:
        return SaveFormat::StudentReports;
    default:
        return SaveFormat::Xls;
    }
}

std::optional<SaveFormat> formatOfExtension(const QString& fileName) {
    // Only the last part of the path counts: "class.pdf/grades" has no extension.
    const QString name = QFileInfo(fileName).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0) {
        return std::nullopt;
    }
    const QString extension = name.mid(dot + 1).toLower();
    if (extension == u"xls"_s) {
        return SaveFormat::Xls;
    }
    if (extension == u"xlsx"_s) {
        return SaveFormat::Xlsx;
    }
    if (extension == u"pdf"_s) {
        return SaveFormat::Pdf;
    }
    return std::nullopt;
}

bool isPdf(SaveFormat format) {
    return format == SaveFormat::Pdf || format == SaveFormat::PdfFitWidth || format == SaveFormat::StudentReports;
}

SaveFormat formatForTarget(const QString& fileName, SaveFormat chosen) {
    const std::optional<SaveFormat> named = formatOfExtension(fileName);
    if (named == SaveFormat::Pdf && isPdf(chosen)) {
        return chosen; // the type chosen decides which of the PDFs
    }
    return named.value_or(chosen);
}

sheet::Workbook ReadGeneratedWorkbook(const QString& generatedWorkbook) {
    const os::Result<QByteArray> bytes = os::readFileBounded(generatedWorkbook, kMaxGeneratedBytes, true);
    if (!bytes) {
        throw Failure(u"Could not read the generated workbook \"%1\": %2"_s.arg(generatedWorkbook, bytes.reason()));
    }
    try {
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes->constData());
        return xls::readXls(xls::ByteView(data, static_cast<std::size_t>(bytes->size()))).workbook;
    } catch (const xls::XlsError& e) {
        throw Failure(u"Could not read the generated workbook \"%1\": %2"_s.arg(generatedWorkbook, sentence(e.what())));
    }
}

QByteArray WorkbookBytes(const sheet::Workbook& workbook, const QString& target, SaveFormat format,
                         const QString& scratchFolder) {
    switch (format) {
    case SaveFormat::Xls:
        try {
            const xls::Bytes written = xls::writeXls(workbook);
            return QByteArray(reinterpret_cast<const char*>(written.data()), static_cast<qsizetype>(written.size()));
        } catch (const xls::XlsError& e) {
            cannotSave(target, sentence(e.what()));
        }
    case SaveFormat::Xlsx:
        return xlsxBytes(workbook, target, scratchFolder);
    case SaveFormat::Pdf:
        return pdfBytes(workbook, target);
    case SaveFormat::PdfFitWidth:
        return pdfBytes(fittedToPageWidth(workbook), target);
    case SaveFormat::StudentReports:
        return reportBytes(workbook, target);
    }
    cannotSave(target, u"the format is unknown."_s);
}

void WriteWorkbookAs(const sheet::Workbook& workbook, const QString& target, SaveFormat format,
                     const QString& scratchFolder) {
    if (QFileInfo(target).isDir()) {
        cannotSave(target, u"it is a folder."_s);
    }
    writeSafely(target, WorkbookBytes(workbook, target, format, scratchFolder));
}

void SaveWorkbookAs(const QString& generatedWorkbook, const QString& target, SaveFormat format) {
    if (format == SaveFormat::Xls) {
        // The workbook as it was made, never written a second time.
        CopyFileSafely(generatedWorkbook, target);
        return;
    }
    if (QFileInfo(target).isDir()) {
        cannotSave(target, u"it is a folder."_s);
    }
    WriteWorkbookAs(ReadGeneratedWorkbook(generatedWorkbook), target, format,
                    QFileInfo(generatedWorkbook).absolutePath());
}

void CopyFileSafely(const QString& source, const QString& target) {
    // A workbook that was never saved is not copied as an empty file and called done.
    if (source.isEmpty()) {
        throw Failure(u"There is no generated workbook to save: \"Create Template\" did not make one."_s);
    }
    if (os::kindFollowing(source) == os::FileKind::Missing) {
        throw Failure(
            u"The generated workbook \"%1\" does not exist: it was not saved, or it has been deleted."_s.arg(source));
    }
    const os::Result<QByteArray> bytes = os::readFileBounded(source, kMaxGeneratedBytes, true);
    if (!bytes) {
        throw Failure(u"Could not read the generated workbook \"%1\": %2"_s.arg(source, bytes.reason()));
    }
    if (bytes->isEmpty()) {
        throw Failure(u"The generated workbook \"%1\" is empty: it was not saved completely, so there is nothing "
                      u"to copy."_s.arg(source));
    }
    if (QFileInfo(target).isDir()) {
        cannotSave(target, u"it is a folder."_s);
    }
    writeSafely(target, *bytes);
}

} // namespace markwell::exporting
