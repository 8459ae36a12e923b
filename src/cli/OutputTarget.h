#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <optional>

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

// The generated workbook copied to `target` with writeTarget.
std::optional<QString> saveWorkbook(const QString& generated, const QString& target, bool force);

// The picture as PNG at `target` with writeTarget.
std::optional<QString> savePicture(const QImage& picture, const QString& target, bool force);

} // namespace markwell::cli
