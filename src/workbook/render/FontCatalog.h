#pragma once

#include "workbook/sheet/Format.h"

#include <QFont>
#include <QImage>
#include <QString>

#include <string>
#include <thread>
#include <vector>

namespace markwell::render {

// 96 dots per inch, the screen's resolution, in dots per metre.
inline constexpr int kScreenDotsPerMeter = 3780;

// Fonts and pictures need the graphical application: throws RenderError when there is none.
void ensureGuiApplication();

// A device with the screen's resolution, for measuring text as it is drawn on a picture.
const QImage& measuringDevice();

// The installed family that stands in for a font name: the name itself when installed, else a
// metric-compatible or look-alike family (Arial: Liberation Sans, Century Gothic: URW Gothic,
// Times New Roman: Liberation Serif, Courier New: Liberation Mono, Calibri: Carlito), else the
// system's sans-serif family. Each name is looked up once.
QString resolveFontFamily(const std::string& name);

// The screen font of a cell font at 96 dpi, its family resolved as above.
QFont screenFont(const sheet::Font& font);

// A stretch of a text and the font it is drawn in.
struct FontRun {
    qsizetype start = 0;
    qsizetype length = 0;
    QFont font;
};

// The fonts a text is drawn in so that no character is lost: each character in `font` when its
// face has it, else in the nearest face that has it: another family in the same weight and
// slant, then (when no italic face has it) an upright one. A character that no installed face
// has is drawn as the missing-glyph box of `font`, or of the first face whose box is visible.
// Marks, joiners and spaces stay with the character before them, so that a word is shaped in
// one face. Neighbouring characters in the same font form one run; a text that `font` covers
// whole is one run.
std::vector<FontRun> fontRuns(const QString& text, const QFont& font);

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

// Reads the system's list of fonts on a thread of its own while the caller goes on, so that the
// first picture does not wait for it (on a desktop it takes longer than making a workbook), and
// then looks up and draws with the given families once. Start it once the graphical application
// exists; the font database is safe to use from any thread, and a picture drawn before the list
// is read simply waits for it. The object waits for its thread when it goes.
class FontListReader {
public:
    explicit FontListReader(std::vector<std::string> families);
    ~FontListReader();
    FontListReader(const FontListReader&) = delete;
    FontListReader& operator=(const FontListReader&) = delete;

private:
    std::thread m_thread;
};

} // namespace markwell::render
