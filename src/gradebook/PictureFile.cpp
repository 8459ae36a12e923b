#include "gradebook/PictureFile.h"

#include "common/ErrorReport.h"
#include "gradebook/WorkFiles.h"
#include "os/Files.h"
#include "workbook/render/PictureMemory.h"
#include "workbook/render/SheetLayout.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

#include <array>
#include <cstring>

using namespace Qt::Literals::StringLiterals;

namespace markwell::picture_file {

// The renderer draws nothing larger, so whatever it draws can be written, read and shown.
static_assert(render::RenderLimits{}.maxSide == kMaxSide);
static_assert(render::RenderLimits{}.maxPixels == kMaxPixels);

namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;
constexpr int kHeaderSize = kFileHeaderSize + kInfoHeaderSize;
constexpr int kBitsPerPixel = 32;
// The file header's two reserved words carry this mark, so that a file this program wrote is
// known and read without conversion.
constexpr std::uint16_t kMark1 = 0x574D; // "MW"
constexpr std::uint16_t kMark2 = 0x0001; // layout version

using Header = std::array<char, kHeaderSize>;

template <class T> void put(Header& h, int at, T value) {
    qToLittleEndian(value, h.data() + at);
}
template <class T> T get(const Header& h, int at) {
    return qFromLittleEndian<T>(h.data() + at);
}

Header headerFor(const QImage& picture) {
    Header h{};
    const auto pixelBytes = static_cast<std::uint32_t>(picture.sizeInBytes());
    h[0] = 'B';
    h[1] = 'M';
    put<std::uint32_t>(h, 2, kHeaderSize + pixelBytes);
    put<std::uint16_t>(h, 6, kMark1);
    put<std::uint16_t>(h, 8, kMark2);
    put<std::uint32_t>(h, 10, kHeaderSize);
    put<std::uint32_t>(h, 14, kInfoHeaderSize);
    put<std::int32_t>(h, 18, picture.width());
    put<std::int32_t>(h, 22, -picture.height()); // top-down: the first row stored is the top one
    put<std::uint16_t>(h, 26, 1);
    put<std::uint16_t>(h, 28, kBitsPerPixel);
    put<std::uint32_t>(h, 30, 0); // uncompressed
    put<std::uint32_t>(h, 34, pixelBytes);
    put<std::int32_t>(h, 38, picture.dotsPerMeterX());
    put<std::int32_t>(h, 42, picture.dotsPerMeterY());
    return h;
}

// The picture as 0xffRRGGBB words, which on a little-endian machine are the bytes B, G, R, 255
// that a 32-bit BMP stores.
QImage asStored(const QImage& picture) {
    QImage stored = picture.format() == QImage::Format_RGB32 ? picture : picture.convertToFormat(QImage::Format_RGB32);
#if Q_BYTE_ORDER == Q_BIG_ENDIAN
    stored = stored.copy();
    for (int y = 0; y < stored.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(stored.scanLine(y));
        for (int x = 0; x < stored.width(); ++x) {
            line[x] = qbswap(line[x]);
        }
    }
#endif
    return stored;
}

QString boundText() {
    return u"each side below 32,767 pixels and at most 64 million pixels"_s;
}

[[noreturn]] void fail(const QString& path, const QString& why) {
    throw Failure(u"The picture file \"%1\" could not be loaded: %2"_s.arg(path, why));
}

QImage readWithPlatformReaders(const QString& path) {
    QImageReader reader(path);
    const QSize size = reader.size();
    if (!size.isValid()) {
        fail(path, reader.errorString());
    }
    if (!withinBound(size.width(), size.height())) {
        fail(path, u"the picture is %1 x %2 pixels, more than a picture may have (%3)."_s.arg(size.width())
                       .arg(size.height())
                       .arg(boundText()));
    }
    // The readers refuse large pictures below what the bound allows; for one picture within the
    // bound their limit is raised as far as it needs.
    const int before = QImageReader::allocationLimit();
    const auto neededMiB = static_cast<int>((static_cast<std::int64_t>(size.width()) * size.height() * 8 >> 20) + 1);
    if (before != 0 && before < neededMiB) {
        QImageReader::setAllocationLimit(neededMiB);
    }
    QImage picture = reader.read();
    QImageReader::setAllocationLimit(before);
    if (picture.isNull()) {
        fail(path, reader.errorString());
    }
    return picture;
}

} // namespace

bool withinBound(std::int64_t width, std::int64_t height) {
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide && width * height <= kMaxPixels;
}

QByteArray encode(const QImage& picture) {
    const QImage stored = asStored(picture);
    const Header h = headerFor(stored);
    QByteArray bytes(h.data(), kHeaderSize);
    bytes.append(reinterpret_cast<const char*>(stored.constBits()), static_cast<qsizetype>(stored.sizeInBytes()));
    return bytes;
}

void writePicture(const QString& path, const QImage& picture) {
    if (picture.isNull()) {
        throw Failure(u"The picture file \"%1\" could not be written: there is no picture."_s.arg(path));
    }
    if (!withinBound(picture.width(), picture.height())) {
        throw Failure(u"The picture file \"%1\" could not be written: the picture is %2 x %3 pixels, more than a "
                      u"picture may have (%4)."_s.arg(path, QString::number(picture.width()),
                                                      QString::number(picture.height()), boundText()));
    }
    const QImage stored = asStored(picture);
    if (stored.isNull()) {
        throw Failure(u"The picture file \"%1\" could not be written: not enough memory."_s.arg(path));
    }
    const Header h = headerFor(stored);
    // A short-lived work file: written and checked, but not forced to the disk.
    const os::Result<> written = os::writeNewFileFromParts(
        path,
        {QByteArrayView(h.data(), kHeaderSize), QByteArrayView(reinterpret_cast<const char*>(stored.constBits()),
                                                               static_cast<qsizetype>(stored.sizeInBytes()))},
        0600, false);
    if (!written) {
        if (isWorkFolderError(written.errorNumber())) {
            throw WorkFolderFailure(
                workFolderProblem(QFileInfo(path).absolutePath(), written.errorNumber(), written.reason()));
        }
        throw Failure(u"The picture file \"%1\" could not be written: %2"_s.arg(path, written.reason()));
    }
}

QImage readPicture(const QString& path) {
    const os::FileKind kind = os::kindFollowing(path);
    if (kind == os::FileKind::Missing) {
        fail(path, os::kindOf(path) == os::FileKind::SymbolicLink ? u"it is a symbolic link to nothing."_s
                                                                  : u"there is no such file."_s);
    }
    if (kind != os::FileKind::Regular) {
        fail(path, u"it is %1, not a file."_s.arg(os::describeKind(kind)));
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(path, file.errorString());
    }
    Header h{};
    if (file.read(h.data(), kHeaderSize) != kHeaderSize || h[0] != 'B' || h[1] != 'M' ||
        get<std::uint16_t>(h, 6) != kMark1 || get<std::uint16_t>(h, 8) != kMark2) {
        file.close();
        return readWithPlatformReaders(path);
    }
    const auto offset = get<std::uint32_t>(h, 10);
    const auto width = get<std::int32_t>(h, 18);
    const auto height = get<std::int32_t>(h, 22);
    if (get<std::uint32_t>(h, 14) != kInfoHeaderSize || offset != kHeaderSize ||
        get<std::uint16_t>(h, 28) != kBitsPerPixel || get<std::uint32_t>(h, 30) != 0 || height >= 0) {
        fail(path, u"its header is damaged."_s);
    }
    const std::int64_t rows = -static_cast<std::int64_t>(height);
    if (!withinBound(width, rows)) {
        fail(path, u"the picture is %1 x %2 pixels, more than a picture may have (%3)."_s.arg(width).arg(rows).arg(
                       boundText()));
    }
    const std::int64_t pixelBytes = static_cast<std::int64_t>(width) * rows * 4;
    if (file.size() != kHeaderSize + pixelBytes) {
        fail(path, u"it holds %1 bytes where a picture of %2 x %3 pixels needs %4; it is incomplete or damaged."_s
                       .arg(file.size())
                       .arg(width)
                       .arg(rows)
                       .arg(kHeaderSize + pixelBytes));
    }
    QImage picture = render::newPicture(width, static_cast<int>(rows), QImage::Format_RGB32);
    if (picture.isNull() || picture.sizeInBytes() != pixelBytes) {
        fail(path, u"there is not enough memory for a picture of %1 x %2 pixels."_s.arg(width).arg(rows));
    }
    auto* bits = reinterpret_cast<char*>(picture.bits());
    for (std::int64_t done = 0; done < pixelBytes;) {
        const qint64 got = file.read(bits + done, pixelBytes - done);
        if (got <= 0) {
            fail(path, got < 0 ? file.errorString() : u"it ended early."_s);
        }
        done += got;
    }
#if Q_BYTE_ORDER == Q_BIG_ENDIAN
    for (int y = 0; y < picture.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            line[x] = qbswap(line[x]);
        }
    }
#endif
    picture.setDotsPerMeterX(get<std::int32_t>(h, 38));
    picture.setDotsPerMeterY(get<std::int32_t>(h, 42));
    return picture;
}

} // namespace markwell::picture_file
