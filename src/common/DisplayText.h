#pragma once

#include <QString>

namespace markwell {

// Text that came from outside (a file name, a setup key, a cell) made safe to show on a terminal or
// in a message box: control characters (C0 but line feed and tab, DEL, C1) become "\xHH", and
// the characters that reorder text around them (bidirectional embeddings, overrides, isolates and
// marks) become "\u{HHHH}", so an escape sequence never reaches the terminal and a name never
// shows other characters than it holds, or in another order. Everything else is kept as it is.
QString escapeForDisplay(const QString& text);

} // namespace markwell
