#include "preview/SaveResult.h"

#include "common/ErrorReport.h"
#include "common/FileUtil.h"
#include "common/Prompt.h"
#include "preview/SaveFormats.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <filesystem>
#include <system_error>

using namespace Qt::Literals::StringLiterals;

namespace markwell::preview {

bool IsSameFile(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty() || a.contains(QChar(u'\0')) || b.contains(QChar(u'\0'))) {
        return false;
    }
    std::error_code ec;
    const bool same = std::filesystem::equivalent(std::filesystem::path(a.toStdU16String()),
                                                  std::filesystem::path(b.toStdU16String()), ec);
    if (!ec && same) {
        return true;
    }
    const QString ca = QFileInfo(a).canonicalFilePath();
    return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

namespace {

// Writes all of bytes; after a short write the next attempt is the one that fails with the
// system's reason (a full disk), which the device's error text then carries.
bool writeWhole(QIODevice& out, const QByteArray& bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 n = out.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0) {
            return false;
        }
        done += static_cast<qsizetype>(n);
    }
    return true;
}

} // namespace

void CopyFileSafely(const QString& source, const QString& target) {
    // A workbook that was never saved is not copied as an empty file and called done.
    if (source.isEmpty()) {
        throw Failure(u"There is no generated workbook to save: \"Create Template\" did not make one."_s);
    }
    if (!QFileInfo::exists(source)) {
        throw Failure(
            u"The generated workbook \"%1\" does not exist: it was not saved, or it has been deleted."_s.arg(source));
    }
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        throw Failure(u"Could not read the generated workbook \"%1\": %2"_s.arg(source, in.errorString()));
    }
    if (in.size() == 0) {
        throw Failure(u"The generated workbook \"%1\" is empty: it was not saved completely, so there is nothing "
                      u"to copy."_s.arg(source));
    }
    if (QFileInfo(target).isDir()) {
        throw Failure(u"Could not save to \"%1\": it is a folder."_s.arg(target));
    }
    QSaveFile out(target);
    // Never fall back to writing into the target directly: that would destroy it on a failure.
    out.setDirectWriteFallback(false);
    // Unbuffered: a failing write (a full disk) is reported at once with the system's reason.
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        throw Failure(u"Could not save to \"%1\": %2"_s.arg(target, out.errorString()));
    }
    constexpr qint64 kChunk = 1 << 16;
    qint64 copied = 0;
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(kChunk);
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError) {
            out.cancelWriting();
            throw Failure(u"Could not read the generated workbook \"%1\": %2"_s.arg(source, in.errorString()));
        }
        if (!writeWhole(out, chunk)) {
            const QString why = out.errorString();
            out.cancelWriting();
            throw Failure(u"Could not write \"%1\": %2"_s.arg(target, why));
        }
        copied += chunk.size();
    }
    if (copied != in.size()) {
        out.cancelWriting();
        throw Failure(u"Could not read the whole generated workbook \"%1\"."_s.arg(source));
    }
    if (!out.commit()) {
        throw Failure(u"Could not save to \"%1\": %2"_s.arg(target, out.errorString()));
    }
}

void SaveResults(Prompt& prompt, const QString& excelFile) {
    ErrorTrap trap(prompt, QString::fromUtf16(kSaveLocation));
    QString target;
    SaveFormat chosen = SaveFormat::Xls;
    bool yes = false;
    trap.step(100, [&] {
        const Prompt::SaveChoice choice = prompt.chooseSaveFile(u"Save File"_s, saveFileTypes());
        target = choice.path;
        chosen = formatOfFileType(choice.fileType);
    });
    if (!target.isEmpty()) {
        if (trap.test(102, [&] { return IsSameFile(target, excelFile); })) {
            // Replacing the generated workbook with itself would first remove it; refuse.
            trap.step(104, [&] {
                prompt.message(u"The workbook cannot be saved over itself: \"%1\" is the generated workbook. "
                               u"Please choose another name."_s.arg(target));
            });
        } else if (trap.test(106, [&] { return FileExists(target); })) {
            trap.step(108, [&] {
                yes =
                    prompt.askYesNo(u"Are you sure you wish to overwrite "_s + target + u" ?"_s) == Prompt::Answer::Yes;
            });
            // The old file is replaced only once the new copy is complete, by the rename below.
        } else {
            yes = true;
        }
    }
    if (yes) {
        trap.step(110, [&] { SaveWorkbookAs(excelFile, target, formatForTarget(target, chosen)); });
    }
    trap.step(112, [&] { prompt.message(u"Done."_s); });
}

} // namespace markwell::preview
