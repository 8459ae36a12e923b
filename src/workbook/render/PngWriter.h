#pragma once

#include "workbook/render/SheetLayout.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>

namespace markwell::render {

// How the encoder filters each row before compression.
enum class PngFilters {
    Adaptive,          // per row the least of None, Sub and Up by the sum of absolute values
    AdaptiveWithPaeth, // the same among None, Sub, Up and Paeth
    None,              // every row as it is
    Up,                // every row as its difference from the row above
};

// How the encoder compresses.
struct PngOptions {
    int level = 1;              // zlib's compression level, 1 (fastest) to 9
    bool runLengthOnly = false; // zlib's Z_RLE strategy: matches only of the byte just before
    PngFilters filters = PngFilters::Adaptive;
    RenderLimits limits = {}; // the largest picture encoded
};

// The PNG file of a picture: 8-bit RGB when every pixel is opaque, 8-bit RGBA (straight alpha)
// otherwise; any QImage format is accepted. The image's dots per metre, when set, are written as
// its physical size (pHYs); the data is split into IDAT chunks of at most 1 MiB.
//
// One thread filters and compresses the rows (on two cores a second one made it slower, see the
// README) and the compressed data goes straight into the file: besides the file, memory holds
// only a few rows and two buffers of 64 KB.
//
// Returns nothing, with the reason in `why` (when given), for a null image, one beyond the
// limits, or when memory or the compressor fails.
std::optional<QByteArray> encodePng(const QImage& picture, QString* why, const PngOptions& options = {});

} // namespace markwell::render
