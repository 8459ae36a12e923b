#include "common/DisplayText.h"

#include <algorithm>

namespace markwell {

namespace {

bool isControl(char16_t c) {
    return (c < 0x20 && c != u'\n' && c != u'\t') || (c >= 0x7F && c <= 0x9F);
}

bool reordersText(char16_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

QString hex(char16_t c, int digits) {
    return QString::number(c, 16).toUpper().rightJustified(digits, u'0');
}

} // namespace

QString escapeForDisplay(const QString& text) {
    const auto needsEscape = [](QChar c) { return isControl(c.unicode()) || reordersText(c.unicode()); };
    if (std::none_of(text.begin(), text.end(), needsEscape)) {
        return text;
    }
    QString shown;
    shown.reserve(text.size() + 16);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (isControl(u)) {
            shown.append(QLatin1StringView("\\x")).append(hex(u, 2));
        } else if (reordersText(u)) {
            shown.append(QLatin1StringView("\\u{")).append(hex(u, 4)).append(u'}');
        } else {
            shown += c;
        }
    }
    return shown;
}

} // namespace markwell
