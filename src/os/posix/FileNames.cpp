#include "os/FileNames.h"
#include "os/Result.h"

#include <QFile>

#include <cstring>

namespace markwell::os {

QString errorText(int errorNumber) {
    char buffer[256] = {};
    // The GNU and the XSI variants differ in what they return; both fill or point at the text.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
    const char* text = ::strerror_r(errorNumber, buffer, sizeof buffer);
#else
    const char* text = ::strerror_r(errorNumber, buffer, sizeof buffer) == 0 ? buffer : "Unknown error";
#endif
    return QString::fromLocal8Bit(text);
}

namespace {

constexpr char16_t kEscapedByteBase = 0xDC00;

bool escapedByte(QChar c) {
    return c.unicode() >= kEscapedByteBase + 0x80 && c.unicode() <= kEscapedByteBase + 0xFF;
}

// The length of the valid UTF-8 sequence at the start of bytes, or 0 when it is not one.
qsizetype utf8SequenceLength(QByteArrayView bytes) {
    const auto at = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = at(0);
    if (lead < 0x80) {
        return 1;
    }
    qsizetype length = 0;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF; // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF; // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (bytes.size() < length || at(1) < low || at(1) > high) {
        return 0;
    }
    for (qsizetype i = 2; i < length; ++i) {
        if (at(i) < 0x80 || at(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

} // namespace

QString decodeFileName(QByteArrayView bytes) {
    qsizetype i = 0;
    while (i < bytes.size()) {
        const qsizetype n = utf8SequenceLength(bytes.sliced(i));
        if (n == 0) {
            break;
        }
        i += n;
    }
    if (i == bytes.size()) {
        return QFile::decodeName(bytes.toByteArray());
    }
    QString name;
    qsizetype start = 0;
    i = 0;
    while (i < bytes.size()) {
        const qsizetype n = utf8SequenceLength(bytes.sliced(i));
        if (n > 0) {
            i += n;
            continue;
        }
        name += QFile::decodeName(bytes.sliced(start, i - start).toByteArray());
        name += QChar(static_cast<char16_t>(kEscapedByteBase + static_cast<unsigned char>(bytes[i])));
        start = ++i;
    }
    name += QFile::decodeName(bytes.sliced(start).toByteArray());
    return name;
}

QByteArray encodeFileName(const QString& name) {
    QByteArray bytes;
    qsizetype start = 0;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (escapedByte(name[i]) && (i == 0 || !name[i - 1].isHighSurrogate())) {
            bytes += QFile::encodeName(name.sliced(start, i - start));
            bytes += static_cast<char>(name[i].unicode() - kEscapedByteBase);
            start = i + 1;
        }
    }
    if (start == 0) {
        return QFile::encodeName(name);
    }
    bytes += QFile::encodeName(name.sliced(start));
    return bytes;
}

} // namespace markwell::os
