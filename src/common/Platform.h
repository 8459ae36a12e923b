#pragma once

// The one place for operating-system calls that neither Qt nor the standard library offers:
// files created without following links, reads bounded for streams of unknown size, advisory
// locks, and the system's own wording of an error. Everything else in the program stays portable.

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <memory>
#include <optional>

namespace markwell::os {

// The system's own wording of an error number ("No space left on device").
QString errorText(int errorNumber);

// What a path names, without following a final symbolic link.
enum class FileKind { Missing, Regular, Directory, SymbolicLink, Other };
FileKind kindOf(const QString& path);
// What a path names after following links; a dangling link is Missing.
FileKind kindFollowing(const QString& path);
// "a folder", "a symbolic link", "a device, pipe or socket" for messages; "a file" for Regular.
QString describeKind(FileKind kind);

// Reads the whole file, refusing more than maxBytes: a stream whose size is unknown (a pipe, a
// device such as /dev/zero) is read only up to the cap. With requireRegular, anything but a
// regular file (after links) is refused without blocking on it (a FIFO with no writer).
// Returns the bytes, or nullopt with *error set to a sentence that does not name the file.
std::optional<QByteArray> readFileBounded(const QString& path, qint64 maxBytes, bool requireRegular, QString* error);

// Creates path as a new file (never an existing one, never through a symbolic link) with the
// given permission bits, writes all bytes, flushes them to disk and closes it, checking every
// step. On failure nothing created is left behind and *error holds the system's reason.
bool writeNewFile(const QString& path, const QByteArray& bytes, int mode, QString* error);

// Replaces (or creates) path with bytes through a temporary file beside it that is renamed over
// it once complete, so the old file is never lost. A symbolic link at path is replaced by the new
// file, never followed. Refuses a path that names a folder, a device, a pipe or a socket. The new
// file gets `mode`. Returns false with *error set on any failure; the old file is then untouched.
bool replaceFileAtomically(const QString& path, const QByteArray& bytes, int mode, QString* error);

// Creates a folder with the given permission bits when it is missing (parents too, each with the
// same bits); an existing folder is left as it is. A symbolic link is followed only when it
// already exists. Returns false with *error set when the folder cannot be made.
bool makeFolders(const QString& path, int mode, QString* error);

// Narrows a file's or folder's permissions to `mode` when it has more. Failures are ignored.
void tightenPermissions(const QString& path, int mode);

// An advisory lock held on a lock file for the lifetime of the object (released on destruction,
// and by the system when the process ends, also on a crash). The lock file is created with
// owner-only permissions when missing and is never followed through a symbolic link.
class FileLock {
public:
    FileLock();
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    // Takes the lock, waiting for it when another holder has it (timeoutMs < 0: without limit;
    // 0: no waiting). Returns a held lock, or an empty one with *error set (a timeout says so).
    static FileLock acquire(const QString& lockPath, int timeoutMs, QString* error);

    bool held() const { return m_held != nullptr; }
    void release();

private:
    struct Held;
    explicit FileLock(std::unique_ptr<Held> held);
    std::unique_ptr<Held> m_held;
};

// Writes bytes over the start of the file at path (a longer file keeps its tail), creating it with
// `mode` when missing. Never writes through a symbolic link at path, and refuses a folder, a
// device, a pipe or a socket. Every write and the close are checked; returns false with *error
// set to the system's reason ("No space left on device", "File too large") on any failure.
bool overwriteFileStart(const QString& path, const QByteArray& bytes, int mode, QString* error);
// File names as the command line and the file system give them: bytes. On systems whose names
// are bytes, a name that is valid UTF-8 decodes as QFile::decodeName does; a byte that is not
// part of valid UTF-8 becomes the lone surrogate U+DC80 + (byte - 0x80), and encodeFileName turns
// it back into that byte, so every name round-trips exactly. Every path given to the functions
// above is encoded this way.
QString decodeFileName(QByteArrayView bytes);
QByteArray encodeFileName(const QString& name);

// Like writeNewFile, but the file appears complete or not at all, even when the program is killed
// while writing: the bytes go to a temporary file beside path, which is then linked into place
// (failing when anything exists at path) and removed. Where the file system has no links, falls
// back to writeNewFile.
bool createFileAtomically(const QString& path, const QByteArray& bytes, int mode, QString* error);

// Makes sure standard input, output and error are open (on /dev/null when they were closed), so
// that a file the program opens never lands on descriptor 0, 1 or 2 and receives its messages.
void ensureStandardStreams();

// The permission bits a new file gets from the process's file-creation mask (0666 & ~umask).
int newFileMode();

// True when new files can be created in the folder (write and search permission, a file system
// that is not read-only); otherwise false with *error set to the system's reason.
bool canCreateFilesIn(const QString& folder, QString* error);

} // namespace markwell::os

// ---- Work folders, job locks and termination signals -------------------------------------------

#include <QByteArrayView>
#include <QList>

#include <functional>

namespace markwell::os {

// A short text that tells the current user apart from other accounts on this machine (the
// numeric user ID on POSIX systems), for naming per-user folders.
QString currentUserKey();

// True when the path (not followed through a final symbolic link) belongs to the current user.
// False when it is missing. Systems without file owners answer true for anything that exists.
bool ownedByCurrentUser(const QString& path);

// Makes `path` a folder only the current user can enter: created with owner-only permissions
// when missing (its parent must exist); an existing one must be a real folder, not a symbolic
// link, that belongs to the current user, and is narrowed to owner-only permissions. Returns
// false with *error set to a sentence that does not name the folder.
bool makePrivateFolder(const QString& path, QString* error);

// writeNewFile for content that is already in memory in several pieces (a header and a large
// block that should not be copied together first). Without syncToDisk the data is not forced to
// the disk before the file is closed (for a short-lived work file); write errors are still found.
bool writeNewFileFromParts(const QString& path, const QList<QByteArrayView>& parts, int mode, bool syncToDisk,
                           QString* error);

// A lock file that exists only while it is held: taken by creating (or opening) the file and
// locking it, released by deleting the file and then unlocking it. A holder that ends without
// releasing (a crash) leaves the file, but not the lock: the next one takes it. Never follows a
// symbolic link and refuses anything that is not a regular file.
class JobLock {
public:
    enum class Outcome { Held, Busy, Failed };

    JobLock();
    JobLock(JobLock&& other) noexcept;
    JobLock& operator=(JobLock&& other) noexcept;
    JobLock(const JobLock&) = delete;
    JobLock& operator=(const JobLock&) = delete;
    ~JobLock();

    // One attempt without waiting: Held (the returned lock holds it), Busy (another holder has
    // it) or Failed (*error says why: the folder cannot be written, the name is a link...).
    static JobLock tryAcquire(const QString& lockPath, Outcome* outcome, QString* error);

    bool held() const { return m_held != nullptr; }
    const QString& path() const { return m_path; }
    // Deletes the lock file and unlocks; nothing when not held.
    void release();

private:
    struct Held;
    QString m_path;
    std::unique_ptr<Held> m_held;
};

// Runs `cleanup` when the process is asked to stop by an interrupt (Ctrl-C), a termination
// request or a hang-up, then ends the process as that signal would have. The cleanup runs on a
// thread of its own, so it may wait for locks and use ordinary file routines. Call once, early in
// main(), before any other thread starts: the signals are then taken by that thread alone.
void onTerminationSignal(std::function<void()> cleanup);

// True when standard error is a terminal (someone watches it), false for a file, a pipe, or a
// stream that is closed.
bool standardErrorIsTerminal();

} // namespace markwell::os

// ---- Memory for large pictures ------------------------------------------------------------------

namespace markwell::os {

// A block of memory for a picture of millions of pixels, taken from the system in one piece with
// its pages present from the start (as large pages where the system offers them), so that
// drawing or reading the picture does not stop at every 4 KiB page for the system to supply it.
// Null when the memory cannot be had. Give it back with releaseLargeBlock and the same size.
void* allocateLargeBlock(std::size_t bytes);
void releaseLargeBlock(void* block, std::size_t bytes) noexcept;

} // namespace markwell::os
