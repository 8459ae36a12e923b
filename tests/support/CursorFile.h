#pragma once

// Cursor files for tests: a picture written as an icon file by Qt's own writer, then turned into
// a cursor file (type 2) whose first entry carries the given hot spot.

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QImageWriter>
#include <QPoint>

namespace markwell::test {

inline QByteArray cursorFileBytes(QSize size, QPoint hotSpot) {
    QImage image(size, QImage::Format_ARGB32);
    image.fill(QColor(0, 0, 0, 0));
    image.setPixel(hotSpot, qRgba(0, 0, 0, 255));
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "ico");
    if (!writer.write(image)) {
        return {};
    }
    QByteArray bytes = buffer.data();
    auto putWord = [&bytes](qsizetype at, int value) {
        bytes[at] = static_cast<char>(value & 0xff);
        bytes[at + 1] = static_cast<char>((value >> 8) & 0xff);
    };
    putWord(2, 2);               // a cursor, not an icon
    putWord(6 + 4, hotSpot.x()); // the first entry's hot spot
    putWord(6 + 6, hotSpot.y());
    return bytes;
}

} // namespace markwell::test
