#include "gradebook/PictureFile.h"

#include "common/ErrorReport.h"
#include "gradebook/WorkFiles.h"
#include "os/Files.h"
#include "os/Memory.h"
#include "workbook/render/SheetLayout.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QtEndian>

#include <array>
#include <cstring>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace markwell::picture_file {

// The renderer draws nothing larger, so whatever it draws can be written, read and shown.
static_assert(render::RenderLimits{}.maxSide == kMaxSide);
static_assert(render::RenderLimits{}.maxPixels == kMaxPixels);

namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;
constexpr int kHeaderSize = kFileHeaderSize + kInfoHeaderSize;
// The pixel rows start on a 64-byte boundary of the file, so that the file mapped into memory
// holds them where a picture may have them.
constexpr int kPixelOffset = 64;
constexpr int kBitsPerPixel = 32;
// The file header's two reserved words carry this mark, so that a file this program wrote is
// known and read without conversion.
constexpr std::uint16_t kMark1 = 0x574D; // "MW"
constexpr std::uint16_t kMark2 = 0x0002; // layout version

using Header = std::array<char, kPixelOffset>;

template <class T> void put(char* h, int at, T value) {
    qToLittleEndian(value, h + at);
}
template <class T> T get(const char* h, int at) {
    return qFromLittleEndian<T>(h + at);
}

void putResolution(char* h, int dotsPerMeterX, int dotsPerMeterY) {
    put<std::int32_t>(h, 38, dotsPerMeterX);
    put<std::int32_t>(h, 42, dotsPerMeterY);
}

Header headerFor(int width, int height) {
    Header h{};
    const auto pixelBytes = static_cast<std::uint32_t>(std::int64_t{width} * height * 4);
    h[0] = 'B';
    h[1] = 'M';
    put<std::uint32_t>(h.data(), 2, kPixelOffset + pixelBytes);
    put<std::uint16_t>(h.data(), 6, kMark1);
    put<std::uint16_t>(h.data(), 8, kMark2);
    put<std::uint32_t>(h.data(), 10, kPixelOffset);
    put<std::uint32_t>(h.data(), 14, kInfoHeaderSize);
    put<std::int32_t>(h.data(), 18, width);
    put<std::int32_t>(h.data(), 22, -height); // top-down: the first row stored is the top one
    put<std::uint16_t>(h.data(), 26, 1);
    put<std::uint16_t>(h.data(), 28, kBitsPerPixel);
    put<std::uint32_t>(h.data(), 30, 0); // uncompressed
    put<std::uint32_t>(h.data(), 34, pixelBytes);
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

// A new picture file of width x height pixels mapped into memory: its header written (with no
// resolution yet) and its rows as the image, in which the picture is drawn or copied. The image
// owns the mapping; the file is there while the image or a copy of it lives.
struct MappedFile {
    QImage rows;
    std::weak_ptr<os::FileMapping> file;
};

using SharedMapping = std::shared_ptr<os::FileMapping>;

MappedFile mapNewFile(const QString& path, int width, int height) {
    const Header h = headerFor(width, height);
    // A short-lived work file: its blocks are reserved, but it is not forced to the disk.
    os::Result<os::FileMapping> made = os::FileMapping::createNew(
        path, static_cast<std::size_t>(kPixelOffset + std::int64_t{width} * height * 4), 0600);
    if (!made) {
        if (isWorkFolderError(made.errorNumber())) {
            throw WorkFolderFailure(
                workFolderProblem(QFileInfo(path).absolutePath(), made.errorNumber(), made.reason()));
        }
        throw Failure(u"The picture file \"%1\" could not be written: %2"_s.arg(path, made.reason()));
    }
    auto held = std::make_unique<SharedMapping>(std::make_shared<os::FileMapping>(std::move(*made)));
    const SharedMapping& file = *held;
    std::memcpy(file->data(), h.data(), h.size());
    QImage rows(
        reinterpret_cast<uchar*>(file->data() + kPixelOffset), width, height, qsizetype{width} * 4,
        QImage::Format_RGB32, [](void* mapping) { delete static_cast<SharedMapping*>(mapping); }, held.get());
    if (rows.isNull()) {
        held.reset();
        QFile::remove(path);
        throw Failure(u"The picture file \"%1\" could not be written: not enough memory."_s.arg(path));
    }
    MappedFile mapped{rows, file};
    held.release(); // the picture's now: unmapped when its last copy goes
    return mapped;
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
    Header h = headerFor(stored.width(), stored.height());
    putResolution(h.data(), stored.dotsPerMeterX(), stored.dotsPerMeterY());
    QByteArray bytes(h.data(), kPixelOffset);
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
    MappedFile file = mapNewFile(path, stored.width(), stored.height());
    putResolution(file.file.lock()->data(), stored.dotsPerMeterX(), stored.dotsPerMeterY());
    std::memcpy(file.rows.bits(), stored.constBits(), static_cast<std::size_t>(stored.sizeInBytes()));
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
    os::Result<os::FileMapping> mapped = os::FileMapping::openForReading(path);
    if (!mapped) {
        fail(path, mapped.reason());
    }
    const char* h = mapped->data();
    const auto fileBytes = static_cast<std::int64_t>(mapped->size());
    if (fileBytes < kHeaderSize || h[0] != 'B' || h[1] != 'M' || get<std::uint16_t>(h, 6) != kMark1 ||
        get<std::uint16_t>(h, 8) != kMark2) {
        *mapped = os::FileMapping();
        return readWithPlatformReaders(path);
    }
    const auto offset = get<std::uint32_t>(h, 10);
    const auto width = get<std::int32_t>(h, 18);
    const auto height = get<std::int32_t>(h, 22);
    if (get<std::uint32_t>(h, 14) != kInfoHeaderSize || offset < kHeaderSize || offset % 4 != 0 ||
        get<std::uint16_t>(h, 28) != kBitsPerPixel || get<std::uint32_t>(h, 30) != 0 || height >= 0) {
        fail(path, u"its header is damaged."_s);
    }
    const std::int64_t rows = -static_cast<std::int64_t>(height);
    if (!withinBound(width, rows)) {
        fail(path, u"the picture is %1 x %2 pixels, more than a picture may have (%3)."_s.arg(width).arg(rows).arg(
                       boundText()));
    }
    const std::int64_t needed = offset + static_cast<std::int64_t>(width) * rows * 4;
    if (fileBytes != needed) {
        fail(path, u"it holds %1 bytes where a picture of %2 x %3 pixels needs %4; it is incomplete or damaged."_s
                       .arg(fileBytes)
                       .arg(width)
                       .arg(rows)
                       .arg(needed));
    }
    const auto dotsPerMeterX = get<std::int32_t>(h, 38);
    const auto dotsPerMeterY = get<std::int32_t>(h, 42);
    // The picture is the file's own rows, not a copy, for as long as it or a copy of it lives. The
    // job deletes the work file while the picture is still shown: on POSIX a deleted file's bytes
    // stay with its mappings until the last one goes. Drawing on the picture copies it first.
    auto held = std::make_unique<os::FileMapping>(std::move(*mapped));
    QImage picture(
        reinterpret_cast<const uchar*>(held->data() + offset), width, static_cast<int>(rows), qsizetype{width} * 4,
        QImage::Format_RGB32, [](void* mapping) { delete static_cast<os::FileMapping*>(mapping); }, held.get());
    if (picture.isNull()) {
        fail(path, u"there is not enough memory for a picture of %1 x %2 pixels."_s.arg(width).arg(rows));
    }
    held.release();
#if Q_BYTE_ORDER == Q_BIG_ENDIAN
    picture = picture.copy();
    for (int y = 0; y < picture.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            line[x] = qbswap(line[x]);
        }
    }
#endif
    picture.setDotsPerMeterX(dotsPerMeterX);
    picture.setDotsPerMeterY(dotsPerMeterY);
    return picture;
}

DrawnFile::DrawnFile(QString path) : m_path(std::move(path)) {}

DrawnFile::~DrawnFile() {
    if (m_made && !m_kept) {
        work_files::deleteFiles({m_path});
    }
}

QImage DrawnFile::newPicture(int width, int height, QImage::Format format) {
    // One picture only, in the form the file stores as it is.
    if (m_asked || format != QImage::Format_RGB32 || Q_BYTE_ORDER != Q_LITTLE_ENDIAN || !withinBound(width, height)) {
        return {};
    }
    m_asked = true;
    try {
        const auto hold = work_files::hold();
        MappedFile file = mapNewFile(m_path, width, height);
        work_files::record(m_path);
        m_made = true;
        m_file = file.file;
        return file.rows;
    } catch (...) {
        m_failure = std::current_exception();
        return {};
    }
}

bool DrawnFile::keep(const QImage& picture) {
    if (!m_made || m_kept) {
        return m_kept;
    }
    const SharedMapping file = m_file.lock();
    m_kept =
        file && !picture.isNull() && picture.constBits() == reinterpret_cast<const uchar*>(file->data() + kPixelOffset);
    if (!m_kept) {
        work_files::deleteFiles({m_path});
        m_made = false;
        return false;
    }
    putResolution(file->data(), picture.dotsPerMeterX(), picture.dotsPerMeterY());
    return true;
}

void DrawnFile::throwFailure() const {
    if (m_failure) {
        std::rethrow_exception(m_failure);
    }
}

} // namespace markwell::picture_file
