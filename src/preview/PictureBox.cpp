#include "preview/PictureBox.h"

#include "shell/Skin.h"

#include <QMouseEvent>
#include <QPainter>

namespace markwell::preview {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    markAsPictureBox(this);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(255, 255, 255));
    setPalette(pal);
    setAutoFillBackground(true);
}

void PictureBox::setPicture(const QImage& picture) {
    m_picture = picture;
    update();
}

void PictureBox::clearPicture() {
    m_picture = QImage();
    update();
}

void PictureBox::paintEvent(QPaintEvent* event) {
    if (m_picture.isNull()) {
        return;
    }
    QPainter painter(this);
    painter.setClipRegion(event->region());
    painter.drawImage(QPoint(0, 0), m_picture);
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    emit pressed(event->position(), event->buttons() | event->button());
    event->accept();
}

void PictureBox::mouseMoveEvent(QMouseEvent* event) {
    emit moved(event->position(), event->buttons());
    event->accept();
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    emit released(event->position(), event->buttons() | event->button());
    event->accept();
}

} // namespace markwell::preview
