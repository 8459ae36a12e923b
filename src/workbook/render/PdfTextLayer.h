#pragma once

#include <QByteArray>
#include <QPointF>
#include <QString>

#include <vector>

class QPainter;
class QTextLayout;
class QTextLine;

namespace markwell::render {

// The text layer of a PDF as the cells' texts were typed. The PDF writer stores each glyph as
// the character its font maps to it: a ligature as one character ("ﬀ"), Arabic letters as their
// presentation forms, and a character beyond the first 65,536 (an emoji) or one drawn as the
// missing-glyph box as nothing. While the sheet is painted, each line of text is marked in the
// page's content; afterwards each marked line is given its characters as the PDF's replacement
// text (ActualText), which readers extract and copy instead of the glyphs.
//
// Readers place the replacement text over the glyphs from left to right and read right-to-left
// words back from right to left, as they do with glyphs; so the characters are handed over in the
// order they are seen on the page (see visualText()).
class PdfTextLayer {
public:
    // Marks the start of a page's content; every page starts with it.
    void startPage(QPainter& painter);
    // Marks the start and the end of a text drawn between them, at `at` (within the painter's
    // clip).
    void beginText(QPainter& painter, const QPointF& at, const QString& text);
    void endText(QPainter& painter, const QPointF& at);

    // The PDF with each marked text carried as its replacement text and the marks taken out. A
    // PDF in a shape this does not know is returned as it is.
    QByteArray apply(const QByteArray& pdf) const;

private:
    std::vector<std::vector<QString>> m_pages;
};

// The characters of a laid-out line in the order they stand on the page from left to right: a
// right-to-left run reversed, a cluster that is drawn as one (a ligature) kept together.
QString visualText(const QTextLayout& layout, const QTextLine& line);

} // namespace markwell::render
