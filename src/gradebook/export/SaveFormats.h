#pragma once

#include "common/Prompt.h"
#include "workbook/sheet/Workbook.h"

#include <QList>
#include <QString>

#include <optional>

namespace markwell::exporting {

// The formats the gradebook is saved in: the workbook as made (.xls), the same workbook as
// .xlsx, the printable PDF as the page set-up prints it, the PDF of the class on a page's width
// (FitToWidth.h) and the student reports (StudentReports.h).
enum class SaveFormat { Xls, Xlsx, Pdf, PdfFitWidth, StudentReports };

// The file types of the save dialog, in this order, the first selected: "Excel Files (*.xls)",
// "Excel Workbook (*.xlsx)", "PDF (*.pdf)", "PDF, fit to page width (*.pdf)", "Student Reports
// (*.pdf)".
QList<Prompt::FileType> saveFileTypes();

// The format of the file type at that index of saveFileTypes() (.xls for any other index).
SaveFormat formatOfFileType(int index);

// The format a file name's extension names: .xls, .xlsx or .pdf, in any case; none otherwise.
std::optional<SaveFormat> formatOfExtension(const QString& fileName);

// The format a chosen name is saved in: its extension's when that is .xls, .xlsx or .pdf,
// otherwise the file type chosen in the dialog; a .pdf name takes the chosen type when that is
// one of the PDFs. The name itself is used as typed.
SaveFormat formatForTarget(const QString& fileName, SaveFormat chosen);

// True for the formats that make a PDF.
bool isPdf(SaveFormat format);

// The workbook's bytes in the format, for saving at `target` (named in messages and in the PDF's
// properties). Scratch files go to a private folder made inside `scratchFolder` (empty: the
// system's temporary folder) and are gone on return. Throws Failure naming the target and the cause.
QByteArray WorkbookBytes(const sheet::Workbook& workbook, const QString& target, SaveFormat format,
                         const QString& scratchFolder = {});

// Writes a workbook to `target` in the format. The file is made beside the target and renamed
// over it only when complete, so a failure leaves an existing target as it was (the rule at the
// target is CopyFileSafely's). Scratch files go
// to a private folder made inside `scratchFolder` (empty: the system's temporary folder). Throws
// Failure naming the target and the cause.
void WriteWorkbookAs(const sheet::Workbook& workbook, const QString& target, SaveFormat format,
                     const QString& scratchFolder = {});

// Saves the generated workbook (an .xls file) to `target` in the format: .xls is copied byte for
// byte (CopyFileSafely), .xlsx and the PDFs are made from the workbook it holds (WriteWorkbookAs).
// Throws Failure naming the file and the cause.
void SaveWorkbookAs(const QString& generatedWorkbook, const QString& target, SaveFormat format);

// The workbook a generated .xls file holds. Throws Failure naming the file and the cause.
sheet::Workbook ReadGeneratedWorkbook(const QString& generatedWorkbook);

// Copies `source` to `target` through a temporary file beside the target that is renamed over
// it only when the whole copy is written (os::replaceFileAtomically), so a failed copy leaves an
// existing target as it was. A missing or empty source is refused, and so is a target that is a
// folder, a device, a pipe or a socket; a symbolic link at the target is replaced, never written
// through. Throws Failure naming the file and the cause.
void CopyFileSafely(const QString& source, const QString& target);

} // namespace markwell::exporting
