#pragma once

#include "workbook/render/FontCatalog.h"
#include "workbook/render/NumberFormatter.h"
#include "workbook/render/PdfTextLayer.h"
#include "workbook/render/RenderError.h"
#include "workbook/render/SheetLayout.h"
#include "workbook/sheet/Workbook.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QString>

namespace markwell::render {

// The text of a number in a cell whose text may be `room` pixels wide: General numbers give up
// digits to fit (0.333333333, 0.3333, 1E+05); anything that still does not fit, and every other
// format that does not fit, shows as #### across the cell.
QString fitNumber(const NumberFormatter& formatter, const sheet::Value& value, const QFontMetricsF& metrics,
                  double room);

// The text written along a cut edge of a picture that was too large to draw whole.
QString cutNotice();

// Draws an area of a sheet as a spreadsheet program shows it on screen at 96 dpi: fills, fonts,
// borders, merged cells, alignment, wrapping, number formats; gridlines only when the sheet
// shows them. Text in the General alignment follows its reading direction: a text that starts
// in a right-to-left script (Hebrew, Arabic) is aligned right, as numbers are. A picture beyond the limits is cut at
// the right and bottom and the cut edges carry a red band with cutNotice().
//
// Needs a QGuiApplication. Throws std::invalid_argument for a sheet index or an area that is not
// on the workbook, RenderError when there is no QGuiApplication or no memory for the
// image.
// The parts of a sheet area paintOn() draws.
enum PaintLayer : int { kFillLayer = 1, kTextLayer = 2, kBorderLayer = 4, kAllLayers = 7 };

class SheetPainter {
public:
    SheetPainter(const sheet::Workbook& workbook, int sheetIndex, RenderLimits limits = {});

    QImage paint(const sheet::Area& area) const;

    // Draws the cells of a layout of this sheet onto an active painter, in the layout's pixels
    // (its line 0 at the painter's origin), as they are printed: fills, text and borders only, no
    // ground, no gridlines, no cut bands. Text is measured on the painter's device. A page made
    // of several pieces draws each layer of every piece before the next layer, so no piece's fill
    // covers a border that another piece draws on their common line.
    // With a text layer, each line of text is marked for it (see PdfTextLayer).
    void paintOn(QPainter& painter, const SheetLayout& layout, int layers = kAllLayers,
                 PdfTextLayer* textLayer = nullptr) const;

private:
    const sheet::Workbook& m_workbook;
    const sheet::Sheet& m_sheet;
    RenderLimits m_limits;
};

QImage renderSheetPicture(const sheet::Workbook& workbook, int sheetIndex, sheet::Area area, RenderLimits limits = {});

} // namespace markwell::render
