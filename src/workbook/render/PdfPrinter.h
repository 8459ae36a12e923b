#pragma once

#include "workbook/render/PrintLayout.h"
#include "workbook/render/RenderError.h"
#include "workbook/sheet/Workbook.h"

#include <QDateTime>
#include <QString>

class QIODevice;

namespace markwell::render {

struct PdfOptions {
    QString title;       // the document's title; empty: the first sheet's name
    QString creator;     // the program named as the document's creator
    QString fileName;    // what &F shows in a header or footer
    QDateTime printedAt; // what &D and &T show; invalid: now
};

// Prints the workbook's sheets, in order, into a PDF written to `out`, as a spreadsheet program
// prints them (see PrintLayout): each print area on the paper and at the scale of the sheet's
// page set-up, split into pages down and across, with the title rows and columns repeated and
// the header and footer on every page; pages are numbered through the whole document. The cells
// are drawn by the sheet renderer as vector shapes and text that a reader can search and copy;
// gridlines are not printed.
//
// `out` must be open for writing. Needs a QGuiApplication. Returns the number of pages; throws
// RenderError when the PDF cannot be made and std::invalid_argument for a workbook without
// sheets.
int writePdf(const sheet::Workbook& workbook, QIODevice& out, const PdfOptions& options = {});

} // namespace markwell::render
