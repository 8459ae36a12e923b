#pragma once

#include "setup/RosterText.h"

#include <QByteArrayView>
#include <QString>

#include <exception>
#include <functional>

namespace markwell::cli {

// Throws Failure with the message. A file name in it that is not UTF-8 keeps its bytes (see
// os::encodeFileName); failureText gives the message back as it was.
[[noreturn]] void fail(const QString& message);
QString failureText(const std::exception& e);

// Text files given to markwell-cli (setup files, rosters): UTF-8, with or without a byte-order
// mark, lines ending in CR, LF or CRLF.

// The bytes without a leading UTF-8 byte-order mark. Text with a UTF-16 or UTF-32 byte-order
// mark throws Failure naming `source`: it has to be saved as UTF-8 first.
QByteArrayView withoutByteOrderMark(QByteArrayView bytes, const QString& source);

// The UTF-8 bytes as text, taken exactly (a U+FEFF at the start stays). Bytes that are not UTF-8
// throw Failure naming `source` and the line.
QString decodeUtf8(QByteArrayView bytes, const QString& source, qsizetype line);

using markwell::lineEndAt; // the length of the line end at a position (setup/RosterText.h)

// Calls onLine for every line with its number (1-based), without its line end. A last line
// without a line end counts; an empty text has no lines.
void forEachLine(QByteArrayView bytes, const std::function<void(QByteArrayView line, qsizetype number)>& onLine);

} // namespace markwell::cli
