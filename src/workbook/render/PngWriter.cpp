#include "workbook/render/PngWriter.h"

#include <QRgb>

#include <zlib.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace markwell::render {

namespace {

// The data of one IDAT chunk at most.
constexpr qsizetype kIdatBytes = qsizetype{1} << 20;
// Filtered bytes compressed as one piece, flushed to a byte boundary and followed by a fresh
// start of the compressor. A piece that fits zlib's 64 KiB window never makes zlib slide
// the window and its hash tables, which takes a third of its time on sheet pictures; the matches
// lost at the joins cost about 3% of the size.
constexpr qsizetype kSegmentBytes = 64000;
// Rows converted at a time for formats Qt converts.
constexpr qsizetype kChunkBytes = qsizetype{256} << 10;

// The pixels written: 8-bit RGB or 8-bit RGBA.
enum class Pixels { Rgb, Rgba };

int bytesPerPixel(Pixels pixels) {
    return pixels == Pixels::Rgb ? 3 : 4;
}

// How rows of the picture's format become the bytes written.
enum class Conversion {
    Direct,            // the rows are those bytes already
    ArgbToRgb,         // 0xAARRGGBB words (RGB32, ARGB32, or premultiplied and all opaque) to R G B
    ArgbToRgba,        // straight 0xAARRGGBB words to R G B A
    PremultipliedArgb, // premultiplied 0xAARRGGBB words to straight R G B A
    DropFourth,        // R G B X or R G B A bytes, all opaque, to R G B
    ByQt,              // anything else, converted by Qt a few rows at a time
};

Conversion conversionFor(QImage::Format format, Pixels pixels) {
    if (pixels == Pixels::Rgb) {
        switch (format) {
        case QImage::Format_RGB32:
        case QImage::Format_ARGB32:
        case QImage::Format_ARGB32_Premultiplied:
            return Conversion::ArgbToRgb;
        case QImage::Format_RGB888:
            return Conversion::Direct;
        case QImage::Format_RGBX8888:
        case QImage::Format_RGBA8888:
        case QImage::Format_RGBA8888_Premultiplied:
            return Conversion::DropFourth;
        default:
            return Conversion::ByQt;
        }
    }
    switch (format) {
    case QImage::Format_ARGB32:
        return Conversion::ArgbToRgba;
    case QImage::Format_ARGB32_Premultiplied:
        return Conversion::PremultipliedArgb;
    case QImage::Format_RGBA8888:
        return Conversion::Direct;
    default:
        return Conversion::ByQt;
    }
}

#if defined(__x86_64__) || defined(__i386__)
// 16 bytes of four 0xAARRGGBB words (B G R A in memory) shuffled to their R G B bytes, 12 bytes a
// step; SSSE3 is there on every x86 processor of the last fifteen years, and asked for at run time.
// Returns the pixels converted: all but the last few.
__attribute__((target("ssse3"))) int argbToRgbShuffled(const uchar* from, uchar* to, int width) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    int x = 0;
    // Each step stores 16 bytes, 4 of them in the next two pixels, which the row must still have.
    for (; x + 6 <= width; x += 4) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 4 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + 3 * x), _mm_shuffle_epi8(pixels, order));
    }
    return x;
}

bool hasSsse3() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    return has;
}
#endif

void argbToRgb(const uchar* from, uchar* to, int width) {
    int x = 0;
#if defined(__x86_64__) || defined(__i386__)
    if (hasSsse3()) {
        x = argbToRgbShuffled(from, to, width);
    }
#endif
    const auto* words = reinterpret_cast<const QRgb*>(from);
    for (; x < width; ++x) {
        to[3 * x] = static_cast<uchar>(qRed(words[x]));
        to[3 * x + 1] = static_cast<uchar>(qGreen(words[x]));
        to[3 * x + 2] = static_cast<uchar>(qBlue(words[x]));
    }
}

void argbToRgba(const uchar* from, uchar* to, int width, bool premultiplied) {
    const auto* words = reinterpret_cast<const QRgb*>(from);
    for (int x = 0; x < width; ++x) {
        const QRgb p = premultiplied ? qUnpremultiply(words[x]) : words[x];
        to[0] = static_cast<uchar>(qRed(p));
        to[1] = static_cast<uchar>(qGreen(p));
        to[2] = static_cast<uchar>(qBlue(p));
        to[3] = static_cast<uchar>(qAlpha(p));
        to += 4;
    }
}

void dropFourth(const uchar* from, uchar* to, int width) {
    for (int x = 0; x < width; ++x) {
        to[0] = from[0];
        to[1] = from[1];
        to[2] = from[2];
        from += 4;
        to += 3;
    }
}

// Rows of the picture as the bytes written, in order from any row on.
class RowReader {
public:
    RowReader(const QImage& image, Pixels pixels)
        : m_image(image), m_pixels(pixels), m_conversion(conversionFor(image.format(), pixels)),
          m_rowBytes(qsizetype{image.width()} * bytesPerPixel(pixels)) {
        if (m_conversion != Conversion::Direct && m_conversion != Conversion::ByQt) {
            for (auto& row : m_rows) {
                row.resize(static_cast<size_t>(m_rowBytes));
            }
        }
        m_chunkRows = std::max<int>(2, static_cast<int>(kChunkBytes / std::max<qsizetype>(m_rowBytes, 1)));
    }

    qsizetype rowBytes() const { return m_rowBytes; }

    // Rows y - 1 (nullptr for the first row) and y; valid until the next call.
    std::pair<const uchar*, const uchar*> rows(int y) {
        switch (m_conversion) {
        case Conversion::Direct:
            return {y > 0 ? m_image.constScanLine(y - 1) : nullptr, m_image.constScanLine(y)};
        case Conversion::ByQt:
            return chunkRows(y);
        default:
            return {y > 0 ? convertedRow(y - 1) : nullptr, convertedRow(y)};
        }
    }

private:
    const uchar* convertedRow(int y) {
        const int slot = y & 1;
        std::vector<uchar>& row = m_rows[slot];
        if (m_rowOf[slot] != y) {
            const uchar* from = m_image.constScanLine(y);
            const int width = m_image.width();
            switch (m_conversion) {
            case Conversion::ArgbToRgb:
                argbToRgb(from, row.data(), width);
                break;
            case Conversion::ArgbToRgba:
                argbToRgba(from, row.data(), width, false);
                break;
            case Conversion::PremultipliedArgb:
                argbToRgba(from, row.data(), width, true);
                break;
            case Conversion::DropFourth:
                dropFourth(from, row.data(), width);
                break;
            case Conversion::Direct:
            case Conversion::ByQt:
                break;
            }
            m_rowOf[slot] = y;
        }
        return row.data();
    }

    // Qt converts a chunk of rows that starts at the row above the one asked for, so both are in it.
    std::pair<const uchar*, const uchar*> chunkRows(int y) {
        const int first = std::max(0, y - 1);
        if (m_chunk.isNull() || first < m_chunkFirst || y >= m_chunkFirst + m_chunk.height()) {
            const int count = std::min(m_chunkRows, m_image.height() - first);
            m_chunk = QImage();
            m_chunk = m_image.copy(0, first, m_image.width(), count)
                          .convertToFormat(m_pixels == Pixels::Rgb ? QImage::Format_RGB888 : QImage::Format_RGBA8888);
            if (m_chunk.isNull()) {
                throw std::bad_alloc();
            }
            m_chunkFirst = first;
        }
        return {y > 0 ? m_chunk.constScanLine(y - 1 - m_chunkFirst) : nullptr, m_chunk.constScanLine(y - m_chunkFirst)};
    }

    QImage m_image;
    Pixels m_pixels;
    Conversion m_conversion;
    qsizetype m_rowBytes;
    std::vector<uchar> m_rows[2];
    int m_rowOf[2] = {-1, -1};
    QImage m_chunk;
    int m_chunkFirst = 0;
    int m_chunkRows = 2;
};

// Whether the alpha bytes of a row of 4-byte pixels, at `alphaAt` in each, are all 255.
bool opaqueRow(const uchar* pixels, int width, int alphaAt) {
    uchar all = 255;
    for (int x = 0; x < width; ++x) {
        all &= pixels[4 * x + alphaAt];
    }
    return all == 255;
}

// Whether every pixel of the picture is opaque.
bool isOpaque(const QImage& image) {
    if (!image.hasAlphaChannel()) {
        return true;
    }
    const int width = image.width();
    int alphaAt = -1; // where the alpha byte of a pixel is in the image's own rows
    switch (image.format()) {
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        alphaAt = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 3 : 0;
        break;
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied:
        alphaAt = 3;
        break;
    default:
        break;
    }
    if (alphaAt >= 0) {
        for (int y = 0; y < image.height(); ++y) {
            if (!opaqueRow(image.constScanLine(y), width, alphaAt)) {
                return false;
            }
        }
        return true;
    }
    RowReader reader(image, Pixels::Rgba);
    for (int y = 0; y < image.height(); ++y) {
        if (!opaqueRow(reader.rows(y).second, width, 3)) {
            return false;
        }
    }
    return true;
}

// The weight of filtered bytes in the choice of filter: their distances from zero as signed
// bytes, summed. Here the bytes are the differences a[i] - b[i].
std::uint32_t weightOfDifference(const uchar* a, const uchar* b, size_t count) {
    std::uint32_t sum = 0;
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    __m128i total = zero;
    for (; i + 16 <= count; i += 16) {
        const __m128i d = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)),
                                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i)));
        total = _mm_add_epi64(total, _mm_sad_epu8(_mm_min_epu8(d, _mm_sub_epi8(zero, d)), zero));
    }
    sum = static_cast<std::uint32_t>(_mm_cvtsi128_si32(total) + _mm_cvtsi128_si32(_mm_srli_si128(total, 8)));
#endif
    for (; i < count; ++i) {
        const auto d = static_cast<uchar>(a[i] - b[i]);
        sum += std::min<std::uint32_t>(d, 256 - d);
    }
    return sum;
}

// out[i] = a[i] - b[i]; `out` overlaps neither.
void difference(const uchar* __restrict a, const uchar* __restrict b, uchar* __restrict out, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        out[i] = static_cast<uchar>(a[i] - b[i]);
    }
}

inline uchar paethPredictor(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) {
        return static_cast<uchar>(a);
    }
    return static_cast<uchar>(pb <= pc ? b : c);
}

enum FilterType : uchar { kNone = 0, kSub = 1, kUp = 2, kPaeth = 4 };

// Filters rows as PNG defines: writes the filter type byte and the filtered row. The adaptive
// choice weighs each candidate without writing it, then writes the one chosen.
class RowFilter {
public:
    RowFilter(qsizetype rowBytes, int pixelBytes, PngFilters filters)
        : m_rowBytes(static_cast<size_t>(rowBytes)),
          m_pixelBytes(std::min(static_cast<size_t>(pixelBytes), m_rowBytes)), m_filters(filters) {
        m_zeros.resize(m_rowBytes);
        if (filters == PngFilters::AdaptiveWithPaeth) {
            m_paeth.resize(m_rowBytes);
        }
    }

    void filter(const uchar* above, const uchar* row, uchar* out) {
        const size_t n = m_rowBytes;
        switch (m_filters) {
        case PngFilters::None:
            write(kNone, above, row, out);
            return;
        case PngFilters::Up:
            write(above != nullptr ? kUp : kNone, above, row, out);
            return;
        case PngFilters::Adaptive:
        case PngFilters::AdaptiveWithPaeth:
            break;
        }
        // A row like the one above, common in flat areas, filters to zeros.
        if (above != nullptr && std::memcmp(above, row, n) == 0) {
            out[0] = kUp;
            std::memset(out + 1, 0, n);
            return;
        }
        const size_t bpp = m_pixelBytes;
        const uchar* zeros = m_zeros.data();
        std::uint32_t best = weightOfDifference(row, zeros, n);
        uchar type = kNone;
        const auto consider = [&](uchar candidate, std::uint32_t weight) {
            if (weight < best) {
                best = weight;
                type = candidate;
            }
        };
        consider(kSub, weightOfDifference(row, zeros, bpp) + weightOfDifference(row + bpp, row, n - bpp));
        if (above != nullptr) {
            consider(kUp, weightOfDifference(row, above, n));
            if (m_filters == PngFilters::AdaptiveWithPaeth) {
                paeth(above, row, m_paeth.data());
                consider(kPaeth, weightOfDifference(m_paeth.data(), zeros, n));
            }
        }
        write(type, above, row, out);
    }

private:
    void write(uchar type, const uchar* above, const uchar* row, uchar* out) const {
        const size_t n = m_rowBytes;
        const size_t bpp = m_pixelBytes;
        out[0] = type;
        switch (type) {
        case kSub:
            std::memcpy(out + 1, row, bpp);
            difference(row + bpp, row, out + 1 + bpp, n - bpp);
            break;
        case kUp:
            difference(row, above, out + 1, n);
            break;
        case kPaeth:
            std::memcpy(out + 1, m_paeth.data(), n);
            break;
        default:
            std::memcpy(out + 1, row, n);
            break;
        }
    }

    void paeth(const uchar* above, const uchar* row, uchar* out) const {
        const size_t n = m_rowBytes;
        const size_t bpp = m_pixelBytes;
        difference(row, above, out, bpp);
        for (size_t i = bpp; i < n; ++i) {
            out[i] = static_cast<uchar>(row[i] - paethPredictor(row[i - bpp], above[i], above[i - bpp]));
        }
    }

    size_t m_rowBytes;
    size_t m_pixelBytes;
    PngFilters m_filters;
    std::vector<uchar> m_zeros;
    std::vector<uchar> m_paeth;
};

// Adler-32 as zlib computes it, 16 bytes a step where SSE2 is there (several times zlib's speed).
uLong adler32Of(uLong adler, const uchar* bytes, size_t count) {
#if defined(__SSE2__)
    constexpr std::uint64_t kBase = 65521;
    constexpr size_t kMostPerBlock = 5552; // the most bytes before the sums must be reduced
    std::uint64_t a = adler & 0xffff;
    std::uint64_t b = (adler >> 16) & 0xffff;
    const __m128i zero = _mm_setzero_si128();
    const __m128i firstWeights = _mm_setr_epi16(16, 15, 14, 13, 12, 11, 10, 9);
    const __m128i lastWeights = _mm_setr_epi16(8, 7, 6, 5, 4, 3, 2, 1);
    const auto total = [](__m128i v) {
        std::uint32_t lanes[4];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), v);
        return std::uint64_t{lanes[0]} + lanes[1] + lanes[2] + lanes[3];
    };
    while (count >= 16) {
        const size_t block = std::min(count, kMostPerBlock) & ~size_t{15};
        __m128i sums = zero;     // the bytes so far
        __m128i earlier = zero;  // per step, the bytes before it
        __m128i weighted = zero; // each byte times 16 minus its place in its step
        for (size_t i = 0; i < block; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
            earlier = _mm_add_epi32(earlier, sums);
            sums = _mm_add_epi32(sums, _mm_sad_epu8(v, zero));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpacklo_epi8(v, zero), firstWeights));
            weighted = _mm_add_epi32(weighted, _mm_madd_epi16(_mm_unpackhi_epi8(v, zero), lastWeights));
        }
        b = (b + a * block + 16 * total(earlier) + total(weighted)) % kBase;
        a = (a + total(sums)) % kBase;
        bytes += block;
        count -= block;
    }
    for (size_t i = 0; i < count; ++i) {
        a += bytes[i];
        b += a;
    }
    return static_cast<uLong>(((b % kBase) << 16) | (a % kBase));
#else
    return adler32_z(adler, bytes, count);
#endif
}

class CompressionFailed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void throwZlibFailure(int code, const z_stream& stream) {
    if (code == Z_MEM_ERROR) {
        throw std::bad_alloc();
    }
    throw CompressionFailed(std::string("the compressor failed (") +
                            (stream.msg != nullptr ? stream.msg : zError(code)) + ")");
}

void appendBigEndian(QByteArray& out, quint32 value) {
    const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
                           static_cast<char>(value >> 8), static_cast<char>(value)};
    out.append(bytes, 4);
}

void appendChunk(QByteArray& out, const char type[4], const QByteArray& data) {
    appendBigEndian(out, static_cast<quint32>(data.size()));
    const qsizetype start = out.size();
    out.append(type, 4);
    out.append(data);
    const uLong crc =
        crc32_z(0, reinterpret_cast<const Bytef*>(out.constData() + start), static_cast<size_t>(4 + data.size()));
    appendBigEndian(out, static_cast<quint32>(crc));
}

// Writes a byte stream as IDAT chunks of at most kIdatBytes each.
class IdatWriter {
public:
    explicit IdatWriter(QByteArray& out) : m_out(out) {}

    void write(const char* bytes, qsizetype count) {
        while (count > 0) {
            if (m_start < 0) {
                m_start = m_out.size();
                appendBigEndian(m_out, 0);
                m_out.append("IDAT", 4);
                m_crc = crc32_z(0, reinterpret_cast<const Bytef*>("IDAT"), 4);
                m_length = 0;
            }
            const qsizetype take = std::min(count, kIdatBytes - m_length);
            m_out.append(bytes, take);
            m_crc = crc32_z(m_crc, reinterpret_cast<const Bytef*>(bytes), static_cast<size_t>(take));
            m_length += take;
            bytes += take;
            count -= take;
            if (m_length == kIdatBytes) {
                close();
            }
        }
    }

    void close() {
        if (m_start < 0) {
            return;
        }
        const auto length = static_cast<quint32>(m_length);
        char* at = m_out.data() + m_start;
        at[0] = static_cast<char>(length >> 24);
        at[1] = static_cast<char>(length >> 16);
        at[2] = static_cast<char>(length >> 8);
        at[3] = static_cast<char>(length);
        appendBigEndian(m_out, static_cast<quint32>(m_crc));
        m_start = -1;
    }

private:
    QByteArray& m_out;
    qsizetype m_start = -1;
    qsizetype m_length = 0;
    uLong m_crc = 0;
};

// The two bytes that open a zlib stream with a 32 KiB window, its level flag as zlib sets it.
QByteArray zlibHeader(int level) {
    const int cmf = 0x78;
    const int levelFlag = level <= 1 ? 0 : level <= 5 ? 1 : level == 6 ? 2 : 3;
    int flg = levelFlag << 6;
    flg += (31 - (cmf * 256 + flg) % 31) % 31;
    const char bytes[2] = {static_cast<char>(cmf), static_cast<char>(flg)};
    return QByteArray(bytes, 2);
}

// Filters the rows of a picture and compresses them as one raw deflate stream, written straight
// into IDAT chunks, in pieces of kSegmentBytes of filtered bytes: each piece is flushed to a byte
// boundary and the compressor starts afresh after it. Keeps the Adler-32 of the filtered bytes
// for the zlib stream's end.
class PictureCompressor {
public:
    PictureCompressor(const QImage& image, Pixels pixels, const PngOptions& options)
        : m_height(image.height()), m_reader(image, pixels),
          m_filter(m_reader.rowBytes(), bytesPerPixel(pixels), options.filters) {
        const int level = std::clamp(options.level, 1, 9);
        const int strategy = options.runLengthOnly ? Z_RLE : Z_DEFAULT_STRATEGY;
        const int code = deflateInit2(&m_stream, level, Z_DEFLATED, -MAX_WBITS, 8, strategy);
        if (code != Z_OK) {
            throwZlibFailure(code, m_stream);
        }
        m_batch.resize(static_cast<size_t>(std::max(kSegmentBytes, m_reader.rowBytes() + 1)));
        m_out.resize(static_cast<size_t>(kSegmentBytes));
    }
    ~PictureCompressor() { deflateEnd(&m_stream); }
    PictureCompressor(const PictureCompressor&) = delete;
    PictureCompressor& operator=(const PictureCompressor&) = delete;

    // Writes the compressed rows and returns the Adler-32 of the filtered bytes.
    uLong run(IdatWriter& idat) {
        const auto rowBytes = static_cast<size_t>(m_reader.rowBytes());
        size_t filled = 0;
        for (int y = 0; y < m_height; ++y) {
            if (filled + rowBytes + 1 > m_batch.size()) {
                feed(idat, filled, Z_SYNC_FLUSH);
                deflateReset(&m_stream);
                filled = 0;
            }
            const auto [above, row] = m_reader.rows(y);
            m_filter.filter(above, row, m_batch.data() + filled);
            filled += rowBytes + 1;
        }
        feed(idat, filled, Z_FINISH);
        return m_adler;
    }

private:
    void feed(IdatWriter& idat, size_t count, int flush) {
        m_adler = adler32Of(m_adler, m_batch.data(), count);
        m_stream.next_in = m_batch.data();
        m_stream.avail_in = static_cast<uInt>(count);
        do {
            m_stream.next_out = m_out.data();
            m_stream.avail_out = static_cast<uInt>(m_out.size());
            const int code = deflate(&m_stream, flush);
            if (code != Z_OK && code != Z_STREAM_END && code != Z_BUF_ERROR) {
                throwZlibFailure(code, m_stream);
            }
            idat.write(reinterpret_cast<const char*>(m_out.data()),
                       static_cast<qsizetype>(m_out.size() - m_stream.avail_out));
        } while (m_stream.avail_out == 0);
    }

    int m_height;
    z_stream m_stream{};
    RowReader m_reader;
    RowFilter m_filter;
    std::vector<uchar> m_batch;
    std::vector<uchar> m_out;
    uLong m_adler = 1; // the Adler-32 of nothing
};

std::optional<QByteArray> encode(const QImage& picture, const PngOptions& options) {
    const Pixels pixels = isOpaque(picture) ? Pixels::Rgb : Pixels::Rgba;
    const qsizetype rowBytes = qsizetype{picture.width()} * bytesPerPixel(pixels);
    // Sheet pictures shrink to a twentieth or less of their filtered bytes.
    const qint64 filtered = qint64{picture.height()} * (rowBytes + 1);
    QByteArray png;
    png.reserve(static_cast<qsizetype>(std::min<qint64>(filtered / 16 + 4096, qint64{1} << 28)));
    png.append("\x89PNG\r\n\x1a\n", 8);

    QByteArray header;
    appendBigEndian(header, static_cast<quint32>(picture.width()));
    appendBigEndian(header, static_cast<quint32>(picture.height()));
    header.append(char{8});                                          // bits per sample
    header.append(static_cast<char>(pixels == Pixels::Rgb ? 2 : 6)); // truecolour, or with alpha
    header.append(3, char{0});                                       // deflate, adaptive filtering, no interlace
    appendChunk(png, "IHDR", header);

    if (picture.dotsPerMeterX() > 0 && picture.dotsPerMeterY() > 0) {
        QByteArray physical;
        appendBigEndian(physical, static_cast<quint32>(picture.dotsPerMeterX()));
        appendBigEndian(physical, static_cast<quint32>(picture.dotsPerMeterY()));
        physical.append(char{1}); // per metre
        appendChunk(png, "pHYs", physical);
    }

    IdatWriter idat(png);
    const QByteArray opening = zlibHeader(std::clamp(options.level, 1, 9));
    idat.write(opening.constData(), opening.size());
    const uLong adler = PictureCompressor(picture, pixels, options).run(idat);
    QByteArray check;
    appendBigEndian(check, static_cast<quint32>(adler));
    idat.write(check.constData(), check.size());
    idat.close();

    appendChunk(png, "IEND", QByteArray());
    png.squeeze();
    return png;
}

} // namespace

std::optional<QByteArray> encodePng(const QImage& picture, QString* why, const PngOptions& options) {
    const auto failure = [why](const QString& text) -> std::optional<QByteArray> {
        if (why != nullptr) {
            *why = text;
        }
        return std::nullopt;
    };
    if (picture.isNull()) {
        return failure(u"the picture is empty"_s);
    }
    const RenderLimits& limits = options.limits;
    if (picture.width() > limits.maxSide || picture.height() > limits.maxSide ||
        qint64{picture.width()} * picture.height() > limits.maxPixels) {
        return failure(u"the picture is %1 x %2 pixels, more than the %3 pixels a side and %4 pixels in all "
                       u"that are saved"_s.arg(picture.width())
                           .arg(picture.height())
                           .arg(limits.maxSide)
                           .arg(limits.maxPixels));
    }
    try {
        return encode(picture, options);
    } catch (const CompressionFailed& e) {
        return failure(QString::fromUtf8(e.what()));
    } catch (const std::bad_alloc&) {
        return failure(u"there is not enough memory"_s);
    }
}

} // namespace markwell::render
