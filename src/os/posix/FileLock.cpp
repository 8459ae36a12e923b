#include "os/FileLock.h"

#include "os/posix/Descriptors.h"

#include <QThread>

#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace markwell::os {

using namespace posix;

namespace {

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens (or creates) the lock file: never through a link, a regular file of the current user only.
Result<int> openLockFile(const QByteArray& name, struct stat* st) {
    const int fd = retrying([&] {
        return ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                      static_cast<mode_t>(0600));
    });
    if (fd < 0) {
        const int error = errno;
        if (error == ELOOP) {
            return Reason{u"it is a symbolic link"_s, ELOOP};
        }
        // A socket or a device without its driver: say what it is, not the system's words for it.
        struct stat there {};
        if (error == ENXIO && ::lstat(name.constData(), &there) == 0) {
            return notAFile(there.st_mode);
        }
        return Reason::ofError(error);
    }
    Reason refused;
    if (::fstat(fd, st) != 0) {
        refused = Reason::ofError(errno);
    } else if (!S_ISREG(st->st_mode)) {
        refused = notAFile(st->st_mode);
    } else if (st->st_uid != ::geteuid()) {
        refused = Reason::saying(u"it belongs to another user"_s);
    } else {
        return fd;
    }
    ::close(fd);
    return refused;
}

// The first line of every lock file tryTake makes: a file at the lock's name that starts
// otherwise is someone else's and is neither used nor deleted.
constexpr char kLockMark[] = "markwell lock file";

// Makes the held, empty or marked lock file this process's: its mark and process ID. False when
// the file holds something else. (An empty file is one whose maker ended before it wrote the mark.)
bool markAsLock(int fd, const struct stat& st) {
    constexpr auto markLength = sizeof(kLockMark) - 1;
    if (st.st_size > 0) {
        char start[markLength] = {};
        if (::pread(fd, start, markLength, 0) != static_cast<ssize_t>(markLength) ||
            std::memcmp(start, kLockMark, markLength) != 0) {
            return false;
        }
    }
    const QByteArray line = QByteArray(kLockMark) + ", held by process " + QByteArray::number(::getpid()) + '\n';
    // A mark that cannot be written (a full disk) leaves an empty file, which is still known.
    if (::ftruncate(fd, 0) == 0) {
        (void)!::pwrite(fd, line.constData(), static_cast<size_t>(line.size()), 0);
    }
    return true;
}

} // namespace

FileLock::FileLock(QString path, int fd, bool removeOnRelease)
    : m_path(std::move(path)), m_fd(fd), m_removeOnRelease(removeOnRelease) {}

FileLock::FileLock(FileLock&& other) noexcept
    : m_path(std::move(other.m_path)), m_fd(std::exchange(other.m_fd, -1)), m_removeOnRelease(other.m_removeOnRelease) {
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
    if (this != &other) {
        release();
        m_path = std::move(other.m_path);
        m_fd = std::exchange(other.m_fd, -1);
        m_removeOnRelease = other.m_removeOnRelease;
    }
    return *this;
}

FileLock::~FileLock() {
    release();
}

Result<FileLock> FileLock::waitFor(const QString& lockPath, int timeoutMs) {
    struct stat st {};
    const Result<int> opened = openLockFile(encoded(lockPath), &st);
    if (!opened) {
        return opened.why();
    }
    const int fd = *opened;
    if (timeoutMs < 0) {
        if (retrying([&] { return ::flock(fd, LOCK_EX); }) == 0) {
            return FileLock(lockPath, fd, false);
        }
        const int lockError = errno;
        ::close(fd);
        return Reason::ofError(lockError);
    }
    // flock has no timeout of its own: poll without blocking, a little slower as time goes on.
    qint64 waited = 0;
    unsigned long pause = 5;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return FileLock(lockPath, fd, false);
        }
        const int lockError = errno;
        if (lockError != EWOULDBLOCK && lockError != EINTR) {
            ::close(fd);
            return Reason::ofError(lockError);
        }
        if (waited >= timeoutMs) {
            ::close(fd);
            return Reason{u"another program has held it for %1 seconds"_s.arg(waited / 1000.0, 0, 'f', 1), EWOULDBLOCK};
        }
        QThread::msleep(pause);
        waited += static_cast<qint64>(pause);
        pause = std::min<unsigned long>(pause * 2, 100);
    }
}

Result<FileLock> FileLock::tryTake(const QString& lockPath) {
    const QByteArray name = encoded(lockPath);
    // A holder deletes the file before it unlocks, so a lock taken on a file that is no longer
    // at the path is worth nothing: the attempt starts again with the file now there.
    for (int attempt = 0; attempt < 100; ++attempt) {
        struct stat mine {};
        const Result<int> opened = openLockFile(name, &mine);
        if (!opened) {
            return opened.why();
        }
        const int fd = *opened;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int lockError = errno;
            ::close(fd);
            if (lockError == EWOULDBLOCK || lockError == EINTR) {
                return FileLock();
            }
            return Reason::ofError(lockError);
        }
        struct stat there {};
        if (::lstat(name.constData(), &there) == 0 && sameFile(mine, there)) {
            if (!markAsLock(fd, mine)) {
                ::flock(fd, LOCK_UN);
                ::close(fd);
                return Reason::saying(u"it is a file that the program did not make, not its lock file"_s);
            }
            return FileLock(lockPath, fd, true);
        }
        ::flock(fd, LOCK_UN);
        ::close(fd);
    }
    return FileLock();
}

FileHold::FileHold(FileHold&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

FileHold& FileHold::operator=(FileHold&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

FileHold::~FileHold() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

namespace {

// Opens a regular file of the current user for reading, never through a link.
Result<int> openOwnFile(const QByteArray& name, struct stat* st) {
    const int fd = retrying([&] { return ::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC); });
    if (fd < 0) {
        return Reason::ofError(errno);
    }
    if (::fstat(fd, st) != 0 || !S_ISREG(st->st_mode) || st->st_uid != ::geteuid()) {
        ::close(fd);
        return Reason::saying(u"it is not a file of the current user"_s);
    }
    return fd;
}

} // namespace

Result<FileHold> FileHold::take(const QString& path) {
    struct stat st {};
    const Result<int> opened = openOwnFile(encoded(path), &st);
    if (!opened) {
        return opened.why();
    }
    if (retrying([&] { return ::flock(*opened, LOCK_SH); }) != 0) {
        const int error = errno;
        ::close(*opened);
        return Reason::ofError(error);
    }
    return FileHold(*opened);
}

bool FileHold::stillAt(const QString& path) const {
    struct stat mine {};
    struct stat there {};
    return m_fd >= 0 && ::fstat(m_fd, &mine) == 0 && ::lstat(encoded(path).constData(), &there) == 0 &&
           sameFile(mine, there);
}

bool heldByALiveProcess(const QString& path) {
    struct stat st {};
    const Result<int> opened = openOwnFile(encoded(path), &st);
    if (!opened) {
        return false;
    }
    // An exclusive attempt conflicts with every hold, this process's own included.
    const bool held = ::flock(*opened, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(*opened);
    return held;
}

void FileLock::release() {
    if (m_fd < 0) {
        return;
    }
    if (m_removeOnRelease) {
        // Only the file this lock holds is deleted, never one that has taken its name since.
        const QByteArray name = encoded(m_path);
        struct stat mine {};
        struct stat there {};
        if (::fstat(m_fd, &mine) == 0 && ::lstat(name.constData(), &there) == 0 && sameFile(mine, there)) {
            ::unlink(name.constData());
        }
    }
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    m_fd = -1;
}

} // namespace markwell::os
