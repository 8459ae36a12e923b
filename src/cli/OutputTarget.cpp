#include "cli/OutputTarget.h"

#include "gradebook/WorkFiles.h"
#include "os/Files.h"
#include "os/Memory.h"
#include "workbook/render/PngWriter.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace markwell::cli {

namespace {

// A generated workbook is at most some hundred megabytes; anything larger is not ours.
constexpr qint64 kMaxWorkbookBytes = qint64{4} << 30;

// The folder a new file at `path` goes into, and the file's name.
std::pair<QString, QString> folderAndName(const QString& path) {
    const QString clean = QDir::fromNativeSeparators(path);
    const qsizetype slash = clean.lastIndexOf(u'/');
    if (slash < 0) {
        return {u"."_s, clean};
    }
    return {slash == 0 ? u"/"_s : clean.left(slash), clean.mid(slash + 1)};
}

} // namespace

std::optional<QString> checkTarget(const QString& path, bool force) {
    const auto [folder, name] = folderAndName(path);
    if (name.isEmpty() || name == u"."_s || name == u".."_s) {
        return u"that names a folder, not a file"_s;
    }
    switch (os::kindOf(path)) {
    case os::FileKind::Missing:
        break;
    case os::FileKind::Regular:
        if (!force) {
            return u"the file exists; use --force to replace it"_s;
        }
        return std::nullopt;
    case os::FileKind::SymbolicLink: {
        const os::FileKind target = os::kindFollowing(path);
        if (target == os::FileKind::Directory || target == os::FileKind::Other) {
            return u"it is a symbolic link to %1, not a file"_s.arg(os::describeKind(target));
        }
        if (!force) {
            return u"a symbolic link of that name exists; use --force to replace it"_s;
        }
        return std::nullopt;
    }
    case os::FileKind::Directory:
    case os::FileKind::Other:
        return u"it is %1, not a file"_s.arg(os::describeKind(os::kindOf(path)));
    }
    const os::FileKind folderKind = os::kindFollowing(folder);
    if (folderKind == os::FileKind::Missing) {
        return u"the folder \"%1\" does not exist"_s.arg(folder);
    }
    if (folderKind != os::FileKind::Directory) {
        return u"\"%1\" is not a folder"_s.arg(folder);
    }
    if (const os::Result<> canCreate = os::canCreateFilesIn(folder); !canCreate) {
        return u"no file can be made in the folder \"%1\" (%2)"_s.arg(folder, canCreate.reason());
    }
    return std::nullopt;
}

std::optional<QString> writeTarget(const QString& path, const QByteArray& bytes, bool force) {
    if (!force) {
        const os::Result<> created = os::createFileAtomically(path, bytes, os::newFileMode());
        if (created) {
            return std::nullopt;
        }
        if (os::kindOf(path) != os::FileKind::Missing) {
            return u"a file of that name appeared while the job ran and was left as it is; use --force to "
                   u"replace it"_s;
        }
        return created.reason();
    }
    if (const os::Result<> replaced = os::replaceFileAtomically(path, bytes); !replaced) {
        return replaced.reason();
    }
    return std::nullopt;
}

StagedOutputs::~StagedOutputs() {
    const auto hold = work_files::hold();
    for (const Staged& s : m_staged) {
        QFile::remove(s.file);
        work_files::forget(s.file);
    }
}

std::optional<QString> StagedOutputs::stage(const QString& target, QByteArrayView bytes, bool force) {
    return stageBy(target, force, [&](int mode) { return os::stageFileBeside(target, bytes, mode); });
}

std::optional<QString> StagedOutputs::stageLink(const QString& target, const QString& source, bool force) {
    return stageBy(target, force, [&](int mode) { return os::stageLinkBeside(target, source, mode); });
}

std::optional<QString> StagedOutputs::stageBy(const QString& target, bool force,
                                              const std::function<os::Result<QString>(int mode)>& make) {
    // A replaced target's permissions are kept; a new one gets the usual ones.
    const auto hold = work_files::hold();
    const os::Result<QString> file = make(force ? os::kKeepMode : os::newFileMode());
    if (!file) {
        return file.reason();
    }
    work_files::record(*file);
    m_staged.push_back({*file, target, force});
    return std::nullopt;
}

QStringList StagedOutputs::commit() {
    QStringList problems;
    // An interruption waits for the hold: it finds every result in place or none.
    const auto hold = work_files::hold();
    for (const Staged& s : std::exchange(m_staged, {})) {
        const os::Result<> put = os::putStagedFile(s.file, s.target, s.force);
        work_files::forget(s.file);
        if (!put) {
            problems << (put.errorNumber() == EEXIST
                             ? u"\"%1\": a file of that name appeared while the job ran and was left as it is; use "
                               u"--force to replace it"_s.arg(s.target)
                             : u"\"%1\": %2"_s.arg(s.target, put.reason()));
        }
    }
    return problems;
}

std::optional<QString> saveWorkbook(const QString& generated, const QString& target, bool force,
                                    StagedOutputs& outputs) {
    // The job's own work file, over a hundred megabytes for the largest class: on the target's
    // file system it becomes the result under a second name, without a copy (it is deleted after
    // the job, leaving the result). Elsewhere its bytes are staged straight from the file mapped
    // into memory. A target that names the work file itself is copied over as before.
    if (!os::sameFile(generated, target) && !outputs.stageLink(target, generated, force)) {
        return std::nullopt;
    }
    const os::Result<os::FileMapping> mapped = os::FileMapping::openForReading(generated);
    if (!mapped) {
        return u"the generated workbook \"%1\" could not be read: %2"_s.arg(generated, mapped.reason());
    }
    if (mapped->size() > static_cast<std::size_t>(kMaxWorkbookBytes)) {
        return u"the generated workbook \"%1\" could not be read: it is larger than %2 bytes"_s.arg(generated).arg(
            kMaxWorkbookBytes);
    }
    return outputs.stage(target, QByteArrayView(mapped->data(), static_cast<qsizetype>(mapped->size())), force);
}

EncodedPicture encodePicture(const QImage& picture) {
    EncodedPicture encoded;
    if (picture.isNull()) {
        encoded.why = u"no picture was made"_s;
        return encoded;
    }
    QString why;
    encoded.png = render::encodePng(picture, &why);
    if (!encoded.png) {
        encoded.why = u"the picture could not be made into PNG: %1"_s.arg(why);
    }
    return encoded;
}

std::optional<QString> savePicture(const EncodedPicture& picture, const QString& target, bool force,
                                   StagedOutputs& outputs) {
    if (!picture.png) {
        return picture.why;
    }
    return outputs.stage(target, *picture.png, force);
}

} // namespace markwell::cli
