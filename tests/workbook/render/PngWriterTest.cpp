// The PNG encoder: pictures of every size and format come back pixel for pixel through Qt's
// reader (libpng) and an independent decoder, the compressed pieces join into one valid zlib
// stream, and what cannot be encoded is refused with a reason.

#include "RenderSample.h"

#include "workbook/render/PngWriter.h"
#include "workbook/render/SheetPainter.h"

#include "TempDir.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <vector>

using namespace markwell;
using namespace markwell::render;
using namespace Qt::Literals::StringLiterals;

namespace {

// A picture with flat areas, lines, gradients and noise, so that every filter wins some rows.
QImage patterned(int width, int height, QImage::Format format = QImage::Format_RGB32) {
    QImage image(width, height, QImage::Format_ARGB32);
    std::uint32_t seed = 12345;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1103515245u + 12345u;
            QRgb p = qRgb(250, 250, 240); // a flat fill
            if (x % 13 == 0 || y % 11 == 0) {
                p = qRgb(200, 200, 200); // grid lines
            } else if ((y / 16) % 3 == 1) {
                p = qRgb((x * 5) & 255, (y * 3) & 255, (x + y) & 255); // gradients
            } else if ((y / 16) % 3 == 2 && (x / 8) % 2 == 0) {
                p = qRgb((seed >> 8) & 255, (seed >> 16) & 255, (seed >> 24) & 255); // noise
            }
            image.setPixel(x, y, p);
        }
    }
    return image.convertToFormat(format);
}

// The same with alpha: transparent pixels that keep a colour, partial alpha and opaque ones.
QImage translucent(int width, int height) {
    QImage image = patterned(width, height, QImage::Format_ARGB32);
    const int alphas[] = {0, 1, 128, 254, 255, 0, 77};
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int alpha = alphas[(x / 3 + y) % 7];
            row[x] = qRgba(qRed(row[x]), qGreen(row[x]), qBlue(row[x]), alpha);
        }
    }
    return image;
}

QByteArray encoded(const QImage& image, const PngOptions& options = {}) {
    QString why;
    const std::optional<QByteArray> png = encodePng(image, &why, options);
    EXPECT_TRUE(png.has_value()) << why.toStdString();
    return png.value_or(QByteArray());
}

QImage decoded(const QByteArray& png) {
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    QImage image = reader.read();
    EXPECT_FALSE(image.isNull()) << reader.errorString().toStdString();
    return image;
}

// Pixel for pixel, compared as straight ARGB32.
::testing::AssertionResult samePixels(const QImage& actual, const QImage& expected) {
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure() << "size " << actual.width() << "x" << actual.height() << ", expected "
                                             << expected.width() << "x" << expected.height();
    }
    const QImage a = actual.convertToFormat(QImage::Format_ARGB32);
    const QImage e = expected.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != e.pixel(x, y)) {
                return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << std::hex
                                                     << a.pixel(x, y) << ", expected " << e.pixel(x, y);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

std::uint32_t bigEndian(const QByteArray& bytes, qsizetype at) {
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData() + at);
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

struct Chunk {
    QByteArray type;
    QByteArray data;
};

// The chunks of a PNG file, each one's CRC checked.
std::vector<Chunk> chunksOf(const QByteArray& png) {
    std::vector<Chunk> chunks;
    EXPECT_TRUE(png.startsWith("\x89PNG\r\n\x1a\n"));
    qsizetype at = 8;
    while (at + 12 <= png.size()) {
        const qsizetype length = bigEndian(png, at);
        if (at + 12 + length > png.size()) {
            ADD_FAILURE() << "a chunk runs past the end of the file";
            break;
        }
        Chunk chunk{png.mid(at + 4, 4), png.mid(at + 8, length)};
        const uLong crc =
            crc32(0, reinterpret_cast<const Bytef*>(png.constData() + at + 4), static_cast<uInt>(length + 4));
        EXPECT_EQ(crc, bigEndian(png, at + 8 + length)) << "CRC of " << chunk.type.toStdString();
        chunks.push_back(std::move(chunk));
        at += 12 + length;
    }
    EXPECT_EQ(at, png.size()) << "bytes after the last chunk";
    return chunks;
}

// The colour type IHDR names.
int colourType(const QByteArray& png) {
    const std::vector<Chunk> chunks = chunksOf(png);
    if (chunks.empty() || chunks.front().type != "IHDR" || chunks.front().data.size() != 13) {
        ADD_FAILURE() << "no IHDR first";
        return -1;
    }
    return static_cast<uchar>(chunks.front().data[9]);
}

// The filtered rows the IDAT chunks hold, inflated by plain zlib, which checks the Adler-32; the
// stream must end exactly where the data does.
QByteArray inflatedIdat(const QByteArray& png) {
    QByteArray stream;
    for (const Chunk& chunk : chunksOf(png)) {
        if (chunk.type == "IDAT") {
            stream += chunk.data;
        }
    }
    z_stream z{};
    EXPECT_EQ(inflateInit(&z), Z_OK);
    QByteArray out;
    z.next_in = reinterpret_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    int code = Z_OK;
    while (code == Z_OK) {
        char buffer[65536];
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        code = inflate(&z, Z_NO_FLUSH);
        out.append(buffer, static_cast<qsizetype>(sizeof buffer - z.avail_out));
    }
    EXPECT_EQ(code, Z_STREAM_END) << (z.msg != nullptr ? z.msg : "");
    EXPECT_EQ(z.avail_in, 0u) << "bytes after the end of the zlib stream";
    inflateEnd(&z);
    return out;
}

// Encoded as RGB (colour type 2) or RGBA (6) and read back pixel for pixel.
void expectRoundTrip(const QImage& image, const PngOptions& options, int expectedColourType) {
    const QByteArray png = encoded(image, options);
    EXPECT_EQ(colourType(png), expectedColourType);
    EXPECT_TRUE(samePixels(decoded(png), image));
}

TEST(PngWriter, OpaquePicturesOfAnySizeAndFilterComeBackExactly) {
    // The widest rows are longer than the pieces the rows are compressed in.
    const QSize sizes[] = {{1, 1}, {2, 3}, {3, 2}, {7, 1}, {1, 9}, {33, 17}, {101, 64}, {22000, 4}};
    const PngFilters filters[] = {PngFilters::Adaptive, PngFilters::AdaptiveWithPaeth, PngFilters::None,
                                  PngFilters::Up};
    for (const QSize size : sizes) {
        const QImage image = patterned(size.width(), size.height());
        for (const PngFilters filter : filters) {
            PngOptions options;
            options.filters = filter;
            SCOPED_TRACE(testing::Message() << size.width() << "x" << size.height() << " filters " << int(filter));
            expectRoundTrip(image, options, 2);
        }
    }
}

TEST(PngWriter, PiecesAndChunksJoinIntoOneZlibStream) {
    // Filtered bytes of many compressed pieces and more than one IDAT chunk.
    const QImage large = patterned(700, 640);
    const QByteArray png = encoded(large);
    EXPECT_EQ(inflatedIdat(png).size(), 640 * (700 * 3 + 1));
    EXPECT_TRUE(samePixels(decoded(png), large));
}

TEST(PngWriter, TransparencyIsKeptAsStraightAlpha) {
    const QImage straight = translucent(45, 40);
    PngOptions options;
    const QByteArray png = encoded(straight, options);
    EXPECT_EQ(colourType(png), 6);
    const QImage back = decoded(png);
    EXPECT_TRUE(samePixels(back, straight));
    EXPECT_EQ(back.pixel(0, 0), straight.pixel(0, 0)); // alpha 0 keeps its colour
    EXPECT_EQ(qAlpha(straight.pixel(0, 0)), 0);

    // Premultiplied pixels are written straight; RGBA bytes and indexed colours with alpha too.
    expectRoundTrip(straight.convertToFormat(QImage::Format_ARGB32_Premultiplied), options, 6);
    expectRoundTrip(straight.convertToFormat(QImage::Format_RGBA8888), options, 6);
    QImage indexed(20, 10, QImage::Format_Indexed8);
    indexed.setColorTable({qRgba(255, 0, 0, 255), qRgba(0, 0, 255, 0), qRgba(0, 128, 0, 100)});
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 20; ++x) {
            indexed.setPixel(x, y, static_cast<uint>((x + y) % 3));
        }
    }
    expectRoundTrip(indexed, options, 6);

    // A format with alpha whose pixels are all opaque is written as RGB.
    expectRoundTrip(patterned(30, 20, QImage::Format_ARGB32_Premultiplied), options, 2);
}

TEST(PngWriter, EveryImageFormatIsConverted) {
    // Wide and tall enough that rows are converted in several pieces.
    const QImage source = patterned(1000, 300);
    PngOptions options;
    const QImage::Format formats[] = {QImage::Format_Grayscale8, QImage::Format_Grayscale16, QImage::Format_Indexed8,
                                      QImage::Format_Mono,       QImage::Format_RGB888,      QImage::Format_BGR888,
                                      QImage::Format_RGBX8888,   QImage::Format_RGB16,       QImage::Format_RGBA64};
    for (const QImage::Format format : formats) {
        SCOPED_TRACE(testing::Message() << "format " << int(format));
        expectRoundTrip(source.convertToFormat(format), options, 2);
    }
}

TEST(PngWriter, SheetPicturesComeBackExactlyAndSmall) {
    // A rendered sheet, and a larger picture of text and lines as a gradebook's is.
    const QImage sheet = renderSheetPicture(test::renderSampleWorkbook(), 0, sheet::Area{{1, 1}, {11, 7}});
    ASSERT_FALSE(sheet.isNull());
    QImage page(1500, 900, QImage::Format_RGB32);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillRect(QRect(0, 0, 1500, 60), QColor(0x1F, 0x3B, 0x5C));
        for (int y = 60; y < 900; y += 17) {
            painter.setPen(QColor(0xD0, 0xD7, 0xE5));
            painter.drawLine(0, y, 1499, y);
            painter.setPen(Qt::black);
            for (int x = 0; x < 1500; x += 64) {
                painter.drawText(QRect(x + 2, y + 1, 60, 15), Qt::AlignRight, QString::number((x * 7 + y * 3) % 101));
            }
        }
        for (int x = 0; x < 1500; x += 64) {
            painter.setPen(QColor(0xD0, 0xD7, 0xE5));
            painter.drawLine(x, 60, x, 899);
        }
        painter.drawImage(QPoint(20, 80), sheet);
    }
    page.setDotsPerMeterX(3780);
    page.setDotsPerMeterY(3543);
    for (const QImage& picture : {sheet, page}) {
        const QByteArray png = encoded(picture);
        const QImage back = decoded(png);
        EXPECT_TRUE(samePixels(back, picture));
        EXPECT_EQ(back.dotsPerMeterX(), picture.dotsPerMeterX());
        EXPECT_EQ(back.dotsPerMeterY(), picture.dotsPerMeterY());

        QByteArray qt;
        QBuffer buffer(&qt);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(QImageWriter(&buffer, "png").write(picture));
        EXPECT_LT(png.size(), qt.size() * 13 / 10) << "Qt's writer makes " << qt.size() << " bytes";
    }
}

TEST(PngWriter, IdatChunksAreBoundedAndChecked) {
    // Noise does not compress: over a megabyte of data in several chunks.
    QImage noise(800, 600, QImage::Format_RGB32);
    std::uint32_t seed = 7;
    for (int y = 0; y < 600; ++y) {
        auto* row = reinterpret_cast<QRgb*>(noise.scanLine(y));
        for (int x = 0; x < 800; ++x) {
            seed = seed * 1664525u + 1013904223u;
            row[x] = 0xFF000000u | (seed >> 8);
        }
    }
    const QByteArray png = encoded(noise);
    int idats = 0;
    QByteArray order;
    for (const Chunk& chunk : chunksOf(png)) {
        order += chunk.type + ' ';
        if (chunk.type == "IDAT") {
            ++idats;
            EXPECT_LE(chunk.data.size(), 1 << 20);
        }
    }
    EXPECT_GE(idats, 2);
    EXPECT_TRUE(order.startsWith("IHDR pHYs IDAT")) << order.toStdString();
    EXPECT_TRUE(order.endsWith("IDAT IEND ")) << order.toStdString();
    EXPECT_TRUE(samePixels(decoded(png), noise));
}

TEST(PngWriter, RefusesNullAndOversizedPictures) {
    QString why;
    EXPECT_FALSE(encodePng(QImage(), &why).has_value());
    EXPECT_EQ(why, u"the picture is empty"_s);
    EXPECT_FALSE(encodePng(QImage(), nullptr).has_value());

    PngOptions options;
    options.limits.maxSide = 40;
    options.limits.maxPixels = 1000;
    EXPECT_FALSE(encodePng(patterned(41, 1), &why, options).has_value());
    EXPECT_TRUE(why.contains(u"41 x 1 pixels"_s)) << why.toStdString();
    EXPECT_FALSE(encodePng(patterned(1, 41), &why, options).has_value());
    EXPECT_FALSE(encodePng(patterned(40, 26), &why, options).has_value());
    EXPECT_TRUE(encodePng(patterned(40, 25), &why, options).has_value());
}

// The file decoded by a small decoder of its own (python's zlib and the filters written out),
// against the pixel bytes.
TEST(PngWriter, IndependentDecoderReadsTheSamePixels) {
    const QString python = QStandardPaths::findExecutable(u"python3"_s);
    if (python.isEmpty()) {
        GTEST_SKIP() << "python3 is not installed";
    }
    test::TempDir dir;
    PngOptions options;
    options.filters = PngFilters::AdaptiveWithPaeth;
    const QImage opaque = patterned(61, 47);
    const QImage transparent = translucent(29, 23);
    for (const QImage& image : {opaque, transparent}) {
        dir.write(u"p.png"_s, encoded(image, options));
        QProcess process;
        process.start(python, {QStringLiteral(MARKWELL_RENDER_TEST_DIR "/png_pixels.py"), dir.file(u"p.png"_s),
                               dir.file(u"p.raw"_s)});
        ASSERT_TRUE(process.waitForFinished(60000));
        ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        const bool alpha = image.hasAlphaChannel();
        const QImage bytes = image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
        QByteArray expected = QByteArray::number(image.width()) + ' ' + QByteArray::number(image.height()) + ' ' +
                              QByteArray::number(alpha ? 4 : 3) + '\n';
        for (int y = 0; y < bytes.height(); ++y) {
            expected.append(reinterpret_cast<const char*>(bytes.constScanLine(y)), image.width() * (alpha ? 4 : 3));
        }
        EXPECT_EQ(dir.read(u"p.raw"_s), expected);
    }
}

} // namespace
