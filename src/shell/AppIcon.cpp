#include "shell/AppIcon.h"

#include <QPixmap>
#include <QString>

using namespace Qt::Literals::StringLiterals;

namespace markwell {

QList<int> applicationIconSizes() {
    return {16, 24, 32, 48, 64, 128, 256};
}

QIcon applicationIcon() {
    // The sizes are compiled in as resources at build time (cmake/Icons.cmake).
    QIcon icon;
    for (int size : applicationIconSizes()) {
        const QPixmap pixmap(u":/icons/markwell-%1.png"_s.arg(size));
        if (!pixmap.isNull()) {
            icon.addPixmap(pixmap);
        }
    }
    return icon;
}

} // namespace markwell
