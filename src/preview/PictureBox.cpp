#include "preview/PictureBox.h"

#include "preview/SheetAccessible.h"
#include "shell/Skin.h"

#include <QAccessible>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace markwell::preview {

namespace {

// Pictures are laid out at 96 dpi; text drawn on them is measured at that resolution.
constexpr int kDotsPerMeter96 = 3780;

bool whole(double value) {
    return std::abs(value - std::round(value)) < 1e-6;
}

} // namespace

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    installSheetAccessibility();
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

void PictureBox::setSheet(std::shared_ptr<const PictureSheet> sheet) {
    m_sheet = std::move(sheet);
    update();
    if (QAccessible::isActive()) {
        QAccessibleTableModelChangeEvent reset(this, QAccessibleTableModelChangeEvent::ModelReset);
        QAccessible::updateAccessibility(&reset);
    }
}

QImage PictureBox::render(const QRect& area, qreal pixelRatio) const {
    const QSize device(static_cast<int>(std::ceil(area.width() * pixelRatio)),
                       static_cast<int>(std::ceil(area.height() * pixelRatio)));
    QImage tile(device, QImage::Format_RGB32);
    if (tile.isNull()) {
        return tile;
    }
    tile.setDevicePixelRatio(pixelRatio);
    tile.setDotsPerMeterX(kDotsPerMeter96);
    tile.setDotsPerMeterY(kDotsPerMeter96);
    tile.fill(Qt::white);
    QPainter painter(&tile);
    painter.translate(-area.topLeft());
    if (drawsSheet()) {
        const QSize size = m_sheet->drawing.size();
        const double sx = static_cast<double>(width()) / size.width();
        const double sy = static_cast<double>(height()) / size.height();
        // Lines fall on whole device pixels only at whole scales; elsewhere they are smoothed so
        // that every line of the sheet keeps the same weight.
        painter.setRenderHint(QPainter::Antialiasing, !whole(sx * pixelRatio) || !whole(sy * pixelRatio));
        painter.scale(sx, sy);
        m_sheet->drawing.draw(painter, QRectF(area.x() / sx, area.y() / sy, area.width() / sx, area.height() / sy));
    } else if (!m_picture.isNull()) {
        painter.drawImage(QPoint(0, 0), m_picture);
    }
    return tile;
}

QRect PictureBox::cellRect(int row, int column) const {
    if (!m_sheet || row < 0 || column < 0 || row >= m_sheet->text.rowCount() || column >= m_sheet->text.columnCount()) {
        return {};
    }
    const render::SheetLayout& layout = m_sheet->drawing.layout();
    const QSize size = m_sheet->drawing.size();
    const double sx = static_cast<double>(width()) / size.width();
    const double sy = static_cast<double>(height()) / size.height();
    const int r = m_sheet->text.sheetRow(row);
    const int c = m_sheet->text.sheetColumn(column);
    const QRectF cell(QPointF(layout.columnLine(c) * sx, layout.rowLine(r) * sy),
                      QPointF(layout.columnLine(c + 1) * sx, layout.rowLine(r + 1) * sy));
    return cell.toAlignedRect();
}

void PictureBox::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (drawsSheet()) {
        for (const QRect& area : event->region()) {
            painter.drawImage(area.topLeft(), render(area, devicePixelRatioF()));
        }
    } else if (!m_picture.isNull()) {
        painter.setClipRegion(event->region());
        painter.drawImage(QPoint(0, 0), m_picture);
    }
    if (hasFocus()) {
        drawFocusMarker(painter);
    }
}

void PictureBox::drawFocusMarker(QPainter& painter) const {
    // Around the part of the box that its parent shows, so that it is seen however the picture
    // is panned.
    QRect shown = rect();
    if (const QWidget* holder = parentWidget()) {
        shown = shown.intersected(QRect(mapFromParent(QPoint(0, 0)), holder->size()));
    }
    painter.setClipping(false);
    painter.setPen(QPen(focusMarkerColour(palette(), Qt::white), kFocusMarkerWidth));
    painter.setBrush(Qt::NoBrush);
    const int inset = kFocusMarkerWidth / 2;
    painter.drawRect(shown.adjusted(inset, inset, -inset, -inset));
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

void PictureBox::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void PictureBox::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

} // namespace markwell::preview
