#pragma once

#include "workbook/render/NumberFormatter.h"
#include "workbook/render/RenderError.h"
#include "workbook/render/SheetLayout.h"
#include "workbook/sheet/Workbook.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>
#include <QString>

#include <thread>

namespace markwell::render {

// The installed family that stands in for a font name: the name itself when installed, else a
// metric-compatible or look-alike family (Arial: Liberation Sans, Century Gothic: URW Gothic,
// Times New Roman: Liberation Serif, Courier New: Liberation Mono, Calibri: Carlito), else the
// system's sans-serif family.
QString resolveFontFamily(const std::string& name);

// The screen font of a cell font at 96 dpi, its family resolved as above.
QFont screenFont(const sheet::Font& font);

// How lines of text are stacked in a cell, in pixels at 96 dpi: spreadsheet programs place
// them by the font's own ascender and descender (an OpenType font's hhea values, or its
// typographic ones when the font asks for those), each rounded to whole pixels, without the
// extra gap between lines that text editors add; wrapped lines follow each other at their sum.
struct LineMetrics {
    double ascent = 0;
    double descent = 0;
    double height() const { return ascent + descent; }
};
LineMetrics lineMetrics(const QFont& font);

// The advance of the widest digit of the font at 96 dpi, rounded to whole pixels (7 for
// 10-point Arial); column widths are counted in it.
int maxDigitWidth(const sheet::Font& font);

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
    void paintOn(QPainter& painter, const SheetLayout& layout, int layers = kAllLayers) const;

private:
    const sheet::Workbook& m_workbook;
    const sheet::Sheet& m_sheet;
    RenderLimits m_limits;
};

// A picture of width x height pixels in the given format, its content undefined, held in memory of
// its own that is ready at once (a picture of millions of pixels is drawn or read without the
// system supplying its memory page by page). Null when the memory cannot be had.
QImage newPicture(int width, int height, QImage::Format format);

QImage renderSheetPicture(const sheet::Workbook& workbook, int sheetIndex, sheet::Area area, RenderLimits limits = {});

// Reads the system's list of fonts on a thread of its own while the caller goes on, so that the
// first picture does not wait for it (on a desktop it takes longer than making a class's
// workbook). Start it once the graphical application exists; the font database is safe to use
// from any thread, and a picture drawn before the list is read simply waits for it. The object
// waits for its thread when it goes.
class FontListReader {
public:
    FontListReader();
    ~FontListReader();
    FontListReader(const FontListReader&) = delete;
    FontListReader& operator=(const FontListReader&) = delete;

private:
    std::thread m_thread;
};

} // namespace markwell::render
