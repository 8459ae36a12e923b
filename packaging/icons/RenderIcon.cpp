// Renders the scalable application icon into PNG files of the given sizes; run at build time.
//   markwell-iconrender ICON.svg OUTPUT_FOLDER SIZE...
// writes OUTPUT_FOLDER/markwell-SIZE.png for each size.

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace {

void fail(const QString& message) {
    std::fprintf(stderr, "markwell-iconrender: %s\n", qUtf8Printable(message));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 4) {
        fail(u"usage: markwell-iconrender ICON.svg OUTPUT_FOLDER SIZE..."_s);
        return 2;
    }
    QSvgRenderer renderer(args.at(1));
    if (!renderer.isValid()) {
        fail(u"the icon \"%1\" is not a readable SVG file"_s.arg(args.at(1)));
        return 1;
    }
    const QDir out(args.at(2));
    if (!QDir().mkpath(out.path())) {
        fail(u"could not create the folder \"%1\""_s.arg(out.path()));
        return 1;
    }
    for (qsizetype i = 3; i < args.size(); ++i) {
        bool ok = false;
        const int size = args.at(i).toInt(&ok);
        if (!ok || size < 1 || size > 1024) {
            fail(u"\"%1\" is not an icon size (1 to 1024 pixels)"_s.arg(args.at(i)));
            return 2;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            renderer.render(&painter, QRectF(0, 0, size, size));
        }
        const QString path = out.filePath(u"markwell-%1.png"_s.arg(size));
        if (!image.save(path, "PNG")) {
            fail(u"could not write \"%1\""_s.arg(path));
            return 1;
        }
    }
    return 0;
}
