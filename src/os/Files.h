#pragma once

// Files and folders as the system has them: what a path names, bounded reads, writes that create
// a new file, replace one in a single step or overwrite its start, folders and who owns them,
// and whether two paths name one file. Every call that can fail returns a Result (os/Result.h);
// no call follows a symbolic link unless it says so.

#include "os/Result.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>

namespace markwell::os {

// What a path names, without following a final symbolic link.
enum class FileKind { Missing, Regular, Directory, SymbolicLink, Other };
FileKind kindOf(const QString& path);
// What a path names after following links; a dangling link is Missing.
FileKind kindFollowing(const QString& path);
// "a folder", "a symbolic link", "a device, pipe or socket" for messages; "a file" for Regular.
QString describeKind(FileKind kind);

// True when both paths name one file: also through different spellings, ".." or symbolic links,
// and for files that do not exist yet (where each would be made). False when either is empty.
bool sameFile(const QString& a, const QString& b);

// ---- Reading -------------------------------------------------------------------------------------

// Reads the whole file, refusing more than maxBytes: a stream whose size is unknown (a pipe, a
// device such as /dev/zero) is read only up to the cap. With requireRegular, anything but a
// regular file (after links) is refused without blocking on it (a FIFO with no writer).
Result<QByteArray> readFileBounded(const QString& path, qint64 maxBytes, bool requireRegular);

// ---- Writing -------------------------------------------------------------------------------------

// The permission bits a new file gets from the process's file-creation mask (0666 & ~umask).
int newFileMode();

// Creates path as a new file (never an existing one, never through a symbolic link) with the
// given permission bits, writes all bytes, flushes them to disk and closes it, checking every
// step. On failure nothing created is left behind.
Result<> writeNewFile(const QString& path, QByteArrayView bytes, int mode);

// writeNewFile for content that is in memory in several pieces (a header and a large block that
// should not be copied together first). Without syncToDisk the data is not forced to the disk
// before the file is closed (for a short-lived work file); write errors are still found.
Result<> writeNewFileFromParts(const QString& path, const QList<QByteArrayView>& parts, int mode, bool syncToDisk);

// Like writeNewFile, but the file appears complete or not at all, even when the program is killed
// while writing: the bytes go to a temporary file beside path, which is then linked into place
// (failing when anything exists at path) and removed. Where the file system has no links, or the
// temporary name would be too long, the file is written in place as writeNewFile does.
Result<> createFileAtomically(const QString& path, QByteArrayView bytes, int mode);

// For replaceFileAtomically: the permissions of the file replaced, or newFileMode() where there was none.
inline constexpr int kKeepMode = -1;

// Replaces (or creates) path with bytes: the one way every save puts a file in the user's place.
// The bytes go to a temporary file beside path that is renamed over it once complete, so the old
// file is never lost and never half-written. The rule at the target: a symbolic link is itself
// replaced, never written through (also one swapped in after the caller looked); a folder, a
// device, a pipe or a socket is refused and left as it is. The new file gets `mode`, or with
// kKeepMode the permissions of the regular file it replaces (newFileMode() for a new one).
Result<> replaceFileAtomically(const QString& path, QByteArrayView bytes, int mode = kKeepMode);

// The same for content made piece by piece: `produce` hands each piece to the writer it is given,
// so a large file need not be gathered in memory first. Once a write has failed, later pieces are
// skipped and the failure is returned. An exception from `produce` removes the temporary file and
// passes on, leaving the target as it was. Without syncToDisk the new file is not forced to the
// disk before it takes the target's place (for a work file that lives for seconds).
using PieceWriter = std::function<void(QByteArrayView)>;
Result<> replaceFileAtomically(const QString& path, const std::function<void(const PieceWriter&)>& produce,
                               int mode = kKeepMode, bool syncToDisk = true);
// The two halves of replaceFileAtomically, for files that must appear together. First the bytes
// are written complete to a new file beside path (the target's rule and the mode as above); its
// name is the answer.
Result<QString> stageFileBeside(const QString& path, QByteArrayView bytes, int mode = kKeepMode);
Result<QString> stageFileBeside(const QString& path, const std::function<void(const PieceWriter&)>& produce,
                                int mode = kKeepMode, bool syncToDisk = true);
// Or the file at `source` (a regular file of this program's own, not a link) gets a second name
// beside path instead of a copy: nothing is copied when both lie on one file system. The bytes
// are then shared with `source` until one of the names goes, and the mode (as above) is the one
// file's. Fails (EXDEV, EPERM...) where the file system cannot link them; the caller copies then.
Result<QString> stageLinkBeside(const QString& path, const QString& source, int mode = kKeepMode);
// Then the staged file is put at path: with replace, renamed over whatever the name holds (a link
// is replaced, never followed); without, linked only where nothing is (EEXIST otherwise). The
// staged name is gone afterwards either way.
Result<> putStagedFile(const QString& staged, const QString& path, bool replace);

// Writes bytes over the start of the file at path (a longer file keeps its tail), creating it with
// `mode` when missing. Never writes through a symbolic link at path, and refuses a folder, a
// device, a pipe or a socket. Every write and the close are checked.
Result<> overwriteFileStart(const QString& path, QByteArrayView bytes, int mode);

// ---- Folders and ownership -----------------------------------------------------------------------

// Creates a folder with the given permission bits when it is missing (parents too, each with the
// same bits); an existing folder is left as it is. A symbolic link is followed only when it
// already exists.
Result<> makeFolders(const QString& path, int mode);

// Makes `path` a folder only the current user can enter: created with owner-only permissions
// when missing (its parent must exist); an existing one must be a real folder, not a symbolic
// link, that belongs to the current user, and is narrowed to owner-only permissions.
Result<> makePrivateFolder(const QString& path);

// Narrows a file's or folder's permissions to `mode` when it has more. Failures are ignored.
void tightenPermissions(const QString& path, int mode);

// True when the path (not followed through a final symbolic link) belongs to the current user.
// False when it is missing.
bool ownedByCurrentUser(const QString& path);

// Done when new files can be created in the folder (write and search permission, a file system
// that is not read-only); otherwise the system's reason.
Result<> canCreateFilesIn(const QString& folder);

} // namespace markwell::os
