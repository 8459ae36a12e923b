#pragma once

#include <QImage>
#include <QWidget>

namespace markwell::preview {

// A picture box: a white drawing surface that keeps what is drawn on it in its own bitmap.
// Mouse presses, moves and releases are passed on with the position in the box's pixels.
class PictureBox : public QWidget {
    Q_OBJECT
public:
    explicit PictureBox(QWidget* parent = nullptr);

    const QImage& picture() const { return m_picture; }
    void setPicture(const QImage& picture);
    void clearPicture();

signals:
    void pressed(QPointF position, Qt::MouseButtons buttons);
    void moved(QPointF position, Qt::MouseButtons buttons);
    void released(QPointF position, Qt::MouseButtons buttons);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage m_picture;
};

} // namespace markwell::preview
