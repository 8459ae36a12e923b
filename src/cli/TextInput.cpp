#include "cli/TextInput.h"

#include "common/ErrorReport.h"
#include "os/FileNames.h"

#include <QStringDecoder>

using namespace Qt::Literals::StringLiterals;

namespace markwell::cli {

void fail(const QString& message) {
    throw Failure(os::encodeFileName(message).toStdString());
}

QString failureText(const std::exception& e) {
    return os::decodeFileName(QByteArrayView(e.what()));
}

QByteArrayView withoutByteOrderMark(QByteArrayView bytes, const QString& source) {
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        return bytes.sliced(3);
    }
    // UTF-32 LE begins like UTF-16 LE; either way the text is not UTF-8.
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF") ||
        bytes.startsWith(QByteArrayView("\0\0\xFE\xFF", 4))) {
        fail(u"%1: the file is UTF-16 or UTF-32 text; please save it as UTF-8."_s.arg(source));
    }
    return bytes;
}

QString decodeUtf8(QByteArrayView bytes, const QString& source, qsizetype line) {
    if (bytes.isEmpty()) {
        return {};
    }
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (decoder.hasError()) {
        fail(u"%1, line %2: the text is not UTF-8."_s.arg(source, QString::number(line)));
    }
    return text;
}

void forEachLine(QByteArrayView bytes, const std::function<void(QByteArrayView line, qsizetype number)>& onLine) {
    qsizetype start = 0;
    qsizetype number = 1;
    while (start < bytes.size()) {
        qsizetype end = start;
        while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r') {
            ++end;
        }
        onLine(bytes.sliced(start, end - start), number++);
        start = end + lineEndAt(bytes, end);
    }
}

} // namespace markwell::cli
