// The picture work file: what is written is read back pixel for pixel, up to the bound that the
// renderer and the preview keep to, and nothing beyond it is ever allocated.

#include "gradebook/PictureFile.h"

#include "common/ErrorReport.h"
#include "gradebook/WorkFiles.h"

#include "FileSizeLimit.h"
#include "TempDir.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QtEndian>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;
using markwell::test::TempDir;

namespace {

// Fills the picture with random colours, as a drawing would.
void drawNoise(QImage& picture) {
    QRandomGenerator random(7);
    for (int y = 0; y < picture.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            line[x] = 0xff000000u | (random.generate() & 0xffffffu);
        }
    }
    picture.setDotsPerMeterX(3780);
    picture.setDotsPerMeterY(3780);
}

QImage noise(int width, int height) {
    QImage picture(width, height, QImage::Format_RGB32);
    drawNoise(picture);
    return picture;
}

// The description of the failure `body` throws.
template <class F> QString failureOf(F&& body) {
    try {
        body();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return u"(no failure)"_s;
}

} // namespace

TEST(PictureFile, WhatIsWrittenIsReadBackPixelForPixel) {
    TempDir dir;
    const QImage picture = noise(301, 203);
    const QString path = dir.file(u"temp.bmp"_s);
    picture_file::writePicture(path, picture);
    EXPECT_EQ(QFile(path).size(), 64 + 301 * 203 * 4);
    const QImage back = picture_file::readPicture(path);
    EXPECT_EQ(back.format(), QImage::Format_RGB32);
    EXPECT_EQ(back, picture);
    EXPECT_EQ(back.dotsPerMeterX(), 3780);
    // An ordinary BMP: the platform's own reader shows the same picture.
    EXPECT_EQ(QImage(path).convertToFormat(QImage::Format_RGB32), picture);
    EXPECT_EQ(picture_file::encode(picture), dir.read(u"temp.bmp"_s));
    // Pictures in other formats are stored as the same 32-bit rows.
    const QImage indexed = picture.convertToFormat(QImage::Format_Indexed8);
    picture_file::writePicture(dir.file(u"indexed.bmp"_s), indexed);
    EXPECT_EQ(picture_file::readPicture(dir.file(u"indexed.bmp"_s)), indexed.convertToFormat(QImage::Format_RGB32));
}

TEST(PictureFile, PicturesAboveThePlatformReadersLimitAreRead) {
    // 36 million pixels: more than the platform's readers take by default (128 MiB), well
    // within the bound.
    TempDir dir;
    QImage picture(6000, 6000, QImage::Format_RGB32);
    ASSERT_FALSE(picture.isNull());
    picture.fill(QColor(1, 2, 3));
    picture.setPixel(5999, 5999, qRgb(200, 100, 50));
    const QString path = dir.file(u"temp.bmp"_s);
    picture_file::writePicture(path, picture);
    const QImage back = picture_file::readPicture(path);
    ASSERT_EQ(back.size(), picture.size());
    EXPECT_EQ(back.pixel(5999, 5999), qRgb(200, 100, 50));
    EXPECT_EQ(back.pixel(0, 0), qRgb(1, 2, 3));

    // A picture written by another program in another format goes through the platform's
    // readers, with their limit raised for a picture within the bound.
    QImage other(6000, 6000, QImage::Format_Grayscale8);
    other.fill(200);
    ASSERT_TRUE(QImageWriter(dir.file(u"other.png"_s), "png").write(other));
    const int limit = QImageReader::allocationLimit();
    const QImage read = picture_file::readPicture(dir.file(u"other.png"_s));
    EXPECT_EQ(read.size(), QSize(6000, 6000));
    EXPECT_EQ(QImageReader::allocationLimit(), limit);
}

TEST(PictureFile, TheBoundIsTheRenderersAndNothingBeyondItIsAllocated) {
    EXPECT_TRUE(picture_file::withinBound(32766, 1953));
    EXPECT_TRUE(picture_file::withinBound(8000, 8000));
    EXPECT_FALSE(picture_file::withinBound(32767, 1));
    EXPECT_FALSE(picture_file::withinBound(1, 32767));
    EXPECT_FALSE(picture_file::withinBound(8000, 8001));
    EXPECT_FALSE(picture_file::withinBound(0, 10));

    TempDir dir;
    EXPECT_TRUE(failureOf([&] {
                    picture_file::writePicture(dir.file(u"wide.bmp"_s), QImage(32767, 1, QImage::Format_RGB32));
                }).contains(u"32767 x 1 pixels, more than a picture may have"_s));
    EXPECT_FALSE(QFile::exists(dir.file(u"wide.bmp"_s)));

    // A header that claims a huge picture is refused before any memory is taken for it.
    QByteArray huge = picture_file::encode(noise(2, 2));
    qToLittleEndian<qint32>(30000, huge.data() + 18);
    qToLittleEndian<qint32>(-30000, huge.data() + 22);
    dir.write(u"huge.bmp"_s, huge);
    const QString why = failureOf([&] { picture_file::readPicture(dir.file(u"huge.bmp"_s)); });
    EXPECT_TRUE(why.startsWith(u"The picture file \""_s + dir.file(u"huge.bmp"_s) + u"\" could not be loaded: "_s));
    EXPECT_TRUE(why.contains(u"30000 x 30000 pixels, more than a picture may have"_s)) << why.toStdString();
}

TEST(PictureFile, DamagedFilesAreReportedWithWhatIsWrong) {
    TempDir dir;
    const QByteArray good = picture_file::encode(noise(40, 30));
    for (const qsizetype cut : {qsizetype{7}, good.size() - 64, good.size() - 40}) {
        dir.write(u"short.bmp"_s, good.left(good.size() - cut));
        const QString why = failureOf([&] { picture_file::readPicture(dir.file(u"short.bmp"_s)); });
        EXPECT_TRUE(why.startsWith(u"The picture file \""_s + dir.file(u"short.bmp"_s) + u"\" could not be loaded: "_s))
            << why.toStdString();
        EXPECT_EQ(why.contains(u"it is incomplete or damaged"_s), cut < good.size() - 54) << why.toStdString();
    }
    QByteArray badHeader = good;
    qToLittleEndian<quint16>(24, badHeader.data() + 28);
    dir.write(u"header.bmp"_s, badHeader);
    EXPECT_TRUE(
        failureOf([&] { picture_file::readPicture(dir.file(u"header.bmp"_s)); }).contains(u"its header is damaged"_s));
    dir.write(u"text.bmp"_s, "this is no picture");
    EXPECT_TRUE(failureOf([&] {
                    picture_file::readPicture(dir.file(u"text.bmp"_s));
                }).startsWith(u"The picture file \""_s + dir.file(u"text.bmp"_s) + u"\" could not be loaded: "_s));
    EXPECT_TRUE(
        failureOf([&] { picture_file::readPicture(dir.file(u"missing.bmp"_s)); }).contains(u"there is no such file"_s));
    EXPECT_TRUE(failureOf([&] { picture_file::readPicture(dir.path()); }).contains(u"it is a folder, not a file"_s));
}

TEST(PictureFile, WrittenOnlyAsANewFileNeverThroughALink) {
    TempDir dir;
    TempDir outside;
    outside.write(u"precious"_s, "keep");
    dir.write(u"there.bmp"_s, "somebody's");
    ASSERT_TRUE(QFile::link(outside.file(u"precious"_s), dir.file(u"link.bmp"_s)));
    ASSERT_TRUE(QFile::link(outside.file(u"new"_s), dir.file(u"dangling.bmp"_s)));
    const QImage picture = noise(3, 3);
    for (const QString& name : {u"there.bmp"_s, u"link.bmp"_s, u"dangling.bmp"_s}) {
        const QString why = failureOf([&] { picture_file::writePicture(dir.file(name), picture); });
        EXPECT_TRUE(why.startsWith(u"The picture file \""_s + dir.file(name) + u"\" could not be written: "_s))
            << why.toStdString();
        EXPECT_TRUE(why.contains(u"File exists"_s)) << why.toStdString();
    }
    EXPECT_EQ(dir.read(u"there.bmp"_s), QByteArray("somebody's"));
    EXPECT_EQ(outside.read(u"precious"_s), QByteArray("keep"));
    EXPECT_FALSE(QFile::exists(outside.file(u"new"_s)));
}

TEST(PictureFile, APictureDrawnIntoTheFileIsReadBackAsDrawn) {
    TempDir dir;
    const QString path = dir.file(u"temp.bmp"_s);
    QImage expected;
    {
        picture_file::DrawnFile drawn(path);
        QImage picture;
        {
            const render::PictureSourceScope into(drawn);
            picture = render::newPicture(1201, 803, QImage::Format_RGB32);
            // One picture per file: a second one gets memory of its own.
            EXPECT_FALSE(render::newPicture(1201, 803, QImage::Format_RGB32).isNull());
        }
        ASSERT_EQ(picture.size(), QSize(1201, 803));
        EXPECT_TRUE(work_files::recorded().contains(path));
        drawNoise(picture);
        expected = picture.copy();
        EXPECT_FALSE(drawn.keep(expected)); // a copy is not what was drawn into the file...
        EXPECT_FALSE(QFile::exists(path));  // ...and the file made for it goes
    }
    {
        picture_file::DrawnFile drawn(path);
        const render::PictureSourceScope into(drawn);
        QImage picture = render::newPicture(1201, 803, QImage::Format_RGB32);
        drawNoise(picture);
        EXPECT_TRUE(drawn.keep(picture));
    }
    ASSERT_TRUE(QFile::exists(path));
    EXPECT_EQ(dir.read(u"temp.bmp"_s), picture_file::encode(expected));
    const QImage back = picture_file::readPicture(path);
    EXPECT_EQ(QImage(path).convertToFormat(QImage::Format_RGB32), expected);
    // The picture read back outlives its file.
    work_files::deleteFiles({path});
    EXPECT_EQ(back, expected);
    EXPECT_EQ(back.dotsPerMeterY(), 3780);
}

#ifdef Q_OS_UNIX
TEST(PictureFile, AFullDiskIsFoundBeforeThePictureIsDrawnAndLeavesNoFile) {
    TempDir dir;
    const QString path = dir.file(u"temp.bmp"_s);
    const auto isFullDisk = [&](const QString& why) {
        return why.startsWith(u"The work folder \""_s + dir.path() + u"\" cannot be used: "_s) &&
               why.contains(u"File too large"_s);
    };
    test::FileSizeLimit full(64 * 1024);
    ASSERT_TRUE(full.active());
    picture_file::DrawnFile drawn(path);
    {
        const render::PictureSourceScope into(drawn);
        EXPECT_FALSE(render::newPicture(300, 200, QImage::Format_RGB32).isNull()); // in memory of its own
    }
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(isFullDisk(failureOf([&] { drawn.throwFailure(); })));
    EXPECT_TRUE(isFullDisk(failureOf([&] { picture_file::writePicture(path, noise(300, 200)); })));
    EXPECT_FALSE(QFile::exists(path));
}
#endif
