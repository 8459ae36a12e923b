#pragma once

#include "os/Result.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace markwell::cli {

// The files markwell-cli writes (--out, --picture): checked before the job runs, and written at
// its end in one step, so that no target is ever left half-written.

// Before the job: why `path` cannot take the result, or nothing. With or without force, a target
// that is not a regular file (a folder, a device, pipe or socket, or a link to one) is refused, and
// so is a folder that does not exist or takes no new files; without force, an existing file.
std::optional<QString> checkTarget(const QString& path, bool force);

// At the end of the job: puts the bytes at `path` in one step. Without force the file is created
// exclusively and complete (os::createFileAtomically): a file that appeared there while the job
// ran is left as it is. With force an
// existing file is replaced through a temporary file beside it that is renamed over it once
// complete (os::replaceFileAtomically: a symbolic link is itself replaced, never followed), keeping
// the old file's permissions. Returns why it failed (the system's reason, "No space left on device"), or nothing.
std::optional<QString> writeTarget(const QString& path, const QByteArray& bytes, bool force);

// Results that appear together (--out, the printouts, --picture): each is written complete beside
// its target first (stage), and all are put in place at the end (commit) while an interruption
// of the process waits. An interruption before that deletes the staged files and leaves every old
// target as it was; one after it leaves all the new ones. The rules at each target are
// writeTarget's.
class StagedOutputs {
public:
    StagedOutputs() = default;
    StagedOutputs(const StagedOutputs&) = delete;
    StagedOutputs& operator=(const StagedOutputs&) = delete;
    // Deletes what was staged and not put in place.
    ~StagedOutputs();

    // Why `bytes` could not be staged for `target`, or nothing.
    std::optional<QString> stage(const QString& target, QByteArrayView bytes, bool force);
    // The file at `source` (the job's own) staged for `target` as a second name of its bytes, or
    // why not (another file system, one without links): then it is to be copied.
    std::optional<QString> stageLink(const QString& target, const QString& source, bool force);
    // Puts every staged file in place: one sentence for each target that could not take it.
    QStringList commit();

private:
    // Stages with `make`, given the staged file's permission bits.
    std::optional<QString> stageBy(const QString& target, bool force,
                                   const std::function<os::Result<QString>(int mode)>& make);
    struct Staged {
        QString file, target;
        bool force = false;
    };
    std::vector<Staged> m_staged;
};

// The generated workbook staged for `target`.
std::optional<QString> saveWorkbook(const QString& generated, const QString& target, bool force,
                                    StagedOutputs& outputs);

// A picture made into PNG, or why it could not be.
struct EncodedPicture {
    std::optional<QByteArray> png;
    QString why;
};
EncodedPicture encodePicture(const QImage& picture);

// The picture as PNG staged for `target`.
std::optional<QString> savePicture(const EncodedPicture& picture, const QString& target, bool force,
                                   StagedOutputs& outputs);

} // namespace markwell::cli
