#pragma once

// File names as the command line and the file system give them: bytes. On systems whose names
// are bytes, a name that is valid UTF-8 decodes as QFile::decodeName does; a byte that is not
// part of valid UTF-8 becomes the lone surrogate U+DC80 + (byte - 0x80), and encodeFileName turns
// it back into that byte, so every name round-trips exactly. Every path given to the system layer
// is encoded this way.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace markwell::os {

QString decodeFileName(QByteArrayView bytes);
QByteArray encodeFileName(const QString& name);

} // namespace markwell::os
