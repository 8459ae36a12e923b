#include "app/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace markwell {

namespace {

QPixmap drawIcon(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 32.0;
    // The page.
    p.setPen(QPen(QColor(40, 70, 120), 1.5 * s));
    p.setBrush(QColor(250, 250, 245));
    p.drawRoundedRect(QRectF(5 * s, 2 * s, 22 * s, 28 * s), 2 * s, 2 * s);
    // Ruled lines of the grade table.
    p.setPen(QPen(QColor(120, 150, 190), 1.0 * s));
    for (int i = 0; i < 5; ++i) {
        const qreal y = (8 + 4.5 * i) * s;
        p.drawLine(QPointF(8 * s, y), QPointF(24 * s, y));
    }
    p.drawLine(QPointF(13 * s, 6 * s), QPointF(13 * s, 27 * s));
    // The check mark.
    QPainterPath tick;
    tick.moveTo(10 * s, 18 * s);
    tick.lineTo(15 * s, 24 * s);
    tick.lineTo(26 * s, 9 * s);
    p.setPen(QPen(QColor(30, 140, 60), 3.0 * s, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(tick);
    return pixmap;
}

} // namespace

QIcon applicationIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) {
        icon.addPixmap(drawIcon(size));
    }
    return icon;
}

} // namespace markwell
