#include "shell/AppTitle.h"

namespace markwell {

namespace {
QString& titleSlot() {
    static QString title = deriveApplicationTitle(QString::fromUtf16(kProductName));
    return title;
}
} // namespace

QString deriveApplicationTitle(const QString& productName) {
    QString text = productName;
    do {
        const qsizetype blank = text.lastIndexOf(QLatin1Char(' '));
        if (blank < 0) {
            // A single word has nothing left to cut; keep at most 40 characters of it.
            return text.left(40);
        }
        text.truncate(blank);
    } while (text.size() > 40);
    return text;
}

void SetApplicationTitle() {
    titleSlot() = deriveApplicationTitle(QString::fromUtf16(kProductName));
}

QString applicationTitle() {
    return titleSlot();
}

} // namespace markwell
