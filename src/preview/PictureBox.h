#pragma once

#include "preview/SheetDrawing.h"
#include "preview/SheetText.h"

#include <QImage>
#include <QWidget>

#include <memory>

namespace markwell::preview {

// What a picture box knows of the sheet it shows: how to draw it and its text.
struct PictureSheet {
    SheetDrawing drawing;
    SheetText text;
};

// A picture box: a white drawing surface that keeps what is drawn on it in its own bitmap.
// Mouse presses, moves and releases are passed on with the position in the box's pixels.
//
// Given the sheet behind the picture, the box draws the sheet itself, stretched to its own size
// at the screen's pixel density, and offers the sheet's text as a table to assistive
// technology; the bitmap is then only the picture's reference.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    const QImage& picture() const { return m_picture; }
    void setPicture(const QImage& picture);
    void clearPicture();

    const PictureSheet* sheet() const { return m_sheet.get(); }
    void setSheet(std::shared_ptr<const PictureSheet> sheet);
    // Whether the box draws the sheet rather than its bitmap.
    bool drawsSheet() const { return m_sheet != nullptr && m_sheet->drawing.complete(); }

    // What the box shows of `area` (its own coordinates) on a screen of `pixelRatio`.
    QImage render(const QRect& area, qreal pixelRatio) const;
    // A cell of the sheet's text table in the box's coordinates (empty without a sheet).
    QRect cellRect(int row, int column) const;

signals:
    void pressed(QPointF position, Qt::MouseButtons buttons);
    void moved(QPointF position, Qt::MouseButtons buttons);
    void released(QPointF position, Qt::MouseButtons buttons);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void drawFocusMarker(QPainter& painter) const;

    QImage m_picture;
    std::shared_ptr<const PictureSheet> m_sheet;
};

} // namespace markwell::preview
