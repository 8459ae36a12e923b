#pragma once

// The one lock between programs: an advisory lock on a lock file.

#include "os/Result.h"

#include <QString>

namespace markwell::os {

// An advisory lock on a lock file, held for the lifetime of the object (released on destruction,
// and by the system when the process ends, also on a crash). The lock file is never followed
// through a symbolic link, must be a regular file of the current user, and is created with
// owner-only permissions when missing. It is taken in one of two ways:
//  - waitFor: the lock file stays where it is; the call waits while another holder has it.
//  - tryTake: the lock file exists only while the lock is held: one attempt without waiting, and
//    release deletes the file before unlocking it (only that file, never one that has taken its
//    name since). A holder that ends without releasing leaves the file, but not the lock. The
//    file's first line marks it as a lock file: a file at the name that holds anything else is
//    refused, and never deleted.
class FileLock {
public:
    FileLock() = default;
    FileLock(FileLock&& other) noexcept;
    FileLock& operator=(FileLock&& other) noexcept;
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

    // Takes the lock, waiting while another holder has it (timeoutMs < 0: without limit; 0: no
    // waiting). A held lock, or the reason it is not (a timeout says how long it waited).
    static Result<FileLock> waitFor(const QString& lockPath, int timeoutMs);

    // One attempt without waiting. A held lock; a lock that is not held when another holder has it
    // (the lock is busy, which is no failure); or the reason it cannot be taken at all (the folder
    // cannot be written, the name is a link or a folder, the file is another user's).
    static Result<FileLock> tryTake(const QString& lockPath);

    bool held() const { return m_fd >= 0; }
    const QString& path() const { return m_path; }
    // Lets the lock go (deleting the lock file first when it was taken with tryTake); nothing
    // when not held.
    void release();

private:
    FileLock(QString path, int fd, bool removeOnRelease);

    QString m_path;
    int m_fd = -1;
    bool m_removeOnRelease = false;
};

// A shared hold on a regular file of the current user, kept while the object lives and by the
// system until the process ends (also on a crash): it tells other processes that a live process
// still uses the file (heldByALiveProcess). The file itself is neither locked against reading nor
// against deleting.
class FileHold {
public:
    FileHold() = default;
    FileHold(FileHold&& other) noexcept;
    FileHold& operator=(FileHold&& other) noexcept;
    FileHold(const FileHold&) = delete;
    FileHold& operator=(const FileHold&) = delete;
    ~FileHold();

    // Holds the file at path (never through a symbolic link).
    static Result<FileHold> take(const QString& path);
    // True while path still names the file this object holds.
    bool stillAt(const QString& path) const;

private:
    explicit FileHold(int fd) : m_fd(fd) {}
    int m_fd = -1;
};

// True when a live process (this one included) holds the regular file at path with a FileHold;
// false when nobody does, and for anything that is not a regular file of the current user.
bool heldByALiveProcess(const QString& path);

} // namespace markwell::os
