#include "workbook/render/PictureMemory.h"

#include "os/Memory.h"

#include <limits>

namespace markwell::render {

namespace {

thread_local PictureSource* tSource = nullptr;

} // namespace

PictureSourceScope::PictureSourceScope(PictureSource& source) : m_previous(tSource) {
    tSource = &source;
}

PictureSourceScope::~PictureSourceScope() {
    tSource = m_previous;
}

QImage newPicture(int width, int height, QImage::Format format) {
    if (tSource != nullptr) {
        QImage given = tSource->newPicture(width, height, format);
        if (!given.isNull() && given.width() == width && given.height() == height && given.format() == format) {
            return given;
        }
    }
    // Small pictures are left to the ordinary allocator.
    constexpr qsizetype kLarge = qsizetype{1} << 20;
    const auto depth = static_cast<qsizetype>(QImage::toPixelFormat(format).bitsPerPixel());
    if (width <= 0 || height <= 0 || depth <= 0) {
        return {};
    }
    // Rows start on 32-bit boundaries, as QImage lays them out itself.
    const qsizetype bytesPerLine = (static_cast<qsizetype>(width) * depth + 31) / 32 * 4;
    if (bytesPerLine > std::numeric_limits<qsizetype>::max() / height) {
        return {};
    }
    const qsizetype total = bytesPerLine * height;
    if (total < kLarge) {
        return QImage(width, height, format);
    }
    void* block = os::allocateLargeBlock(static_cast<std::size_t>(total));
    if (block == nullptr) {
        return {};
    }
    struct Held {
        void* block;
        std::size_t bytes;
    };
    auto* held = new Held{block, static_cast<std::size_t>(total)};
    return QImage(
        static_cast<uchar*>(block), width, height, bytesPerLine, format,
        [](void* info) {
            auto* h = static_cast<Held*>(info);
            os::releaseLargeBlock(h->block, h->bytes);
            delete h;
        },
        held);
}

} // namespace markwell::render
