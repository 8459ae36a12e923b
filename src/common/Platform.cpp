#include "common/Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <limits>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QFile>
#include <QLockFile>
#include <QSaveFile>
#endif

using namespace Qt::Literals::StringLiterals;

namespace markwell::os {

QString describeKind(FileKind kind) {
    switch (kind) {
    case FileKind::Missing:
        return u"missing"_s;
    case FileKind::Regular:
        return u"a file"_s;
    case FileKind::Directory:
        return u"a folder"_s;
    case FileKind::SymbolicLink:
        return u"a symbolic link"_s;
    case FileKind::Other:
        break;
    }
    return u"a device, pipe or socket"_s;
}

#ifdef Q_OS_UNIX

namespace {

QByteArray encoded(const QString& path) {
    return encodeFileName(path);
}

// Retries a call that a signal interrupted.
template <class F> auto retrying(F&& call) {
    for (;;) {
        auto result = call();
        if (result >= 0 || errno != EINTR) {
            return result;
        }
    }
}

FileKind kindFromMode(mode_t mode) {
    if (S_ISREG(mode)) {
        return FileKind::Regular;
    }
    if (S_ISDIR(mode)) {
        return FileKind::Directory;
    }
    if (S_ISLNK(mode)) {
        return FileKind::SymbolicLink;
    }
    return FileKind::Other;
}

bool writeAll(int fd, const QByteArray& bytes, int* errorNumber) {
    const char* data = bytes.constData();
    qint64 left = bytes.size();
    while (left > 0) {
        const auto chunk = static_cast<size_t>(std::min<qint64>(left, qint64{1} << 30));
        const ssize_t written = retrying([&] { return ::write(fd, data, chunk); });
        if (written < 0) {
            *errorNumber = errno;
            return false;
        }
        if (written == 0) {
            *errorNumber = ENOSPC;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

// Writes, flushes and closes fd, checking each step; fd is closed in every case.
bool finishFile(int fd, const QByteArray& bytes, int* errorNumber) {
    bool ok = writeAll(fd, bytes, errorNumber);
    if (ok && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        *errorNumber = errno;
        ok = false;
    }
    if (::close(fd) != 0 && ok && errno != EINTR) {
        *errorNumber = errno;
        ok = false;
    }
    return ok;
}

void setError(QString* error, int errorNumber) {
    if (error != nullptr) {
        *error = errorText(errorNumber);
    }
}

} // namespace

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

FileKind kindOf(const QString& path) {
    struct stat st {};
    if (path.isEmpty() || ::lstat(encoded(path).constData(), &st) != 0) {
        return FileKind::Missing;
    }
    return kindFromMode(st.st_mode);
}

FileKind kindFollowing(const QString& path) {
    struct stat st {};
    if (path.isEmpty() || ::stat(encoded(path).constData(), &st) != 0) {
        return FileKind::Missing;
    }
    return kindFromMode(st.st_mode);
}

std::optional<QByteArray> readFileBounded(const QString& path, qint64 maxBytes, bool requireRegular, QString* error) {
    if (path.isEmpty()) {
        setError(error, ENOENT);
        return std::nullopt;
    }
    // Without O_NONBLOCK, opening a FIFO waits for a writer; a file that must be regular is
    // checked before anything can block on it.
    const int flags = O_RDONLY | O_CLOEXEC | (requireRegular ? O_NONBLOCK : 0);
    const int fd = retrying([&] { return ::open(encoded(path).constData(), flags); });
    if (fd < 0) {
        setError(error, errno);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        setError(error, errno);
        ::close(fd);
        return std::nullopt;
    }
    if (S_ISDIR(st.st_mode)) {
        setError(error, EISDIR);
        ::close(fd);
        return std::nullopt;
    }
    if (requireRegular && !S_ISREG(st.st_mode)) {
        if (error != nullptr) {
            *error = u"it is %1, not a file"_s.arg(describeKind(kindFromMode(st.st_mode)));
        }
        ::close(fd);
        return std::nullopt;
    }
    if (requireRegular) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    QByteArray bytes;
    if (S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= maxBytes) {
        bytes.reserve(static_cast<qsizetype>(st.st_size));
    }
    char buffer[65536];
    for (;;) {
        const ssize_t got = retrying([&] { return ::read(fd, buffer, sizeof buffer); });
        if (got < 0) {
            setError(error, errno);
            ::close(fd);
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        if (bytes.size() + got > maxBytes) {
            if (error != nullptr) {
                *error = u"it is larger than %1 bytes"_s.arg(maxBytes);
            }
            ::close(fd);
            return std::nullopt;
        }
        bytes.append(buffer, static_cast<qsizetype>(got));
    }
    ::close(fd);
    return bytes;
}

bool writeNewFile(const QString& path, const QByteArray& bytes, int mode, QString* error) {
    return writeNewFileFromParts(path, {QByteArrayView(bytes)}, mode, true, error);
}

bool replaceFileAtomically(const QString& path, const QByteArray& bytes, int mode, QString* error) {
    const FileKind kind = kindOf(path);
    if (kind != FileKind::Missing && kind != FileKind::Regular && kind != FileKind::SymbolicLink) {
        if (error != nullptr) {
            *error = u"it is %1, not a file"_s.arg(describeKind(kind));
        }
        return false;
    }
    const QFileInfo info(path);
    const QString folder = info.absolutePath();
    // A fresh temporary name beside the target, so that the rename stays on one file system.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString temporary = QDir(folder).filePath(
            u".%1.%2-%3.tmp"_s.arg(info.fileName()).arg(::getpid()).arg(QRandomGenerator::global()->generate()));
        const QByteArray tempName = encoded(temporary);
        const int fd = retrying([&] {
            return ::open(tempName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          static_cast<mode_t>(mode));
        });
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            setError(error, errno);
            return false;
        }
        ::fchmod(fd, static_cast<mode_t>(mode));
        int errorNumber = 0;
        if (!finishFile(fd, bytes, &errorNumber)) {
            ::unlink(tempName.constData());
            setError(error, errorNumber);
            return false;
        }
        if (::rename(tempName.constData(), encoded(path).constData()) != 0) {
            const int renameError = errno;
            ::unlink(tempName.constData());
            setError(error, renameError);
            return false;
        }
        return true;
    }
    setError(error, EEXIST);
    return false;
}

bool makeFolders(const QString& path, int mode, QString* error) {
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (kindFollowing(clean) == FileKind::Directory) {
        return true;
    }
    const QString parent = QFileInfo(clean).path();
    if (parent != clean && !makeFolders(parent, mode, error)) {
        return false;
    }
    if (::mkdir(encoded(clean).constData(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) {
        setError(error, errno);
        return false;
    }
    if (kindFollowing(clean) != FileKind::Directory) {
        if (error != nullptr) {
            *error = u"it is %1, not a folder"_s.arg(describeKind(kindOf(clean)));
        }
        return false;
    }
    return true;
}

void tightenPermissions(const QString& path, int mode) {
    struct stat st {};
    const QByteArray name = encoded(path);
    if (::lstat(name.constData(), &st) != 0 || S_ISLNK(st.st_mode)) {
        return;
    }
    const auto wanted = static_cast<mode_t>(mode);
    if ((st.st_mode & 07777 & ~wanted) != 0) {
        ::chmod(name.constData(), st.st_mode & wanted & 07777);
    }
}

namespace {

// An open file that this process holds a lock on, unlocked and closed when it goes.
struct LockedDescriptor {
    int fd;
    explicit LockedDescriptor(int descriptor) : fd(descriptor) {}
    LockedDescriptor(const LockedDescriptor&) = delete;
    LockedDescriptor& operator=(const LockedDescriptor&) = delete;
    ~LockedDescriptor() {
        ::flock(fd, LOCK_UN);
        ::close(fd);
    }
};

} // namespace

struct FileLock::Held : LockedDescriptor {
    using LockedDescriptor::LockedDescriptor;
};

FileLock FileLock::acquire(const QString& lockPath, int timeoutMs, QString* error) {
    const QByteArray name = encoded(lockPath);
    const int fd = retrying(
        [&] { return ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(0600)); });
    if (fd < 0) {
        setError(error, errno);
        return {};
    }
    if (timeoutMs < 0) {
        if (retrying([&] { return ::flock(fd, LOCK_EX); }) == 0) {
            return FileLock(std::make_unique<Held>(fd));
        }
        setError(error, errno);
        ::close(fd);
        return {};
    }
    // flock has no timeout of its own: poll without blocking, a little slower as time goes on.
    qint64 waited = 0;
    unsigned long pause = 5;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            return FileLock(std::make_unique<Held>(fd));
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            setError(error, errno);
            ::close(fd);
            return {};
        }
        if (waited >= timeoutMs) {
            if (error != nullptr) {
                *error = u"another program has held it for %1 seconds"_s.arg(waited / 1000.0, 0, 'f', 1);
            }
            ::close(fd);
            return {};
        }
        QThread::msleep(pause);
        waited += static_cast<qint64>(pause);
        pause = std::min<unsigned long>(pause * 2, 100);
    }
}

#else // Portable fallbacks through Qt for systems without the POSIX calls above.

QString errorText(int errorNumber) {
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

FileKind kindOf(const QString& path) {
    const QFileInfo info(path);
    if (info.isSymLink()) {
        return FileKind::SymbolicLink;
    }
    if (!info.exists()) {
        return FileKind::Missing;
    }
    return info.isDir() ? FileKind::Directory : info.isFile() ? FileKind::Regular : FileKind::Other;
}

FileKind kindFollowing(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) {
        return FileKind::Missing;
    }
    return info.isDir() ? FileKind::Directory : info.isFile() ? FileKind::Regular : FileKind::Other;
}

std::optional<QByteArray> readFileBounded(const QString& path, qint64 maxBytes, bool requireRegular, QString* error) {
    if (requireRegular && kindFollowing(path) != FileKind::Regular) {
        if (error != nullptr) {
            *error = u"it is %1, not a file"_s.arg(describeKind(kindFollowing(path)));
        }
        return std::nullopt;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error != nullptr) {
            *error = file.errorString();
        }
        return std::nullopt;
    }
    QByteArray bytes = file.read(maxBytes + 1);
    if (bytes.size() > maxBytes) {
        if (error != nullptr) {
            *error = u"it is larger than %1 bytes"_s.arg(maxBytes);
        }
        return std::nullopt;
    }
    return bytes;
}

bool writeNewFile(const QString& path, const QByteArray& bytes, int mode, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        if (error != nullptr) {
            *error = file.errorString();
        }
        return false;
    }
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        if (error != nullptr) {
            *error = file.errorString();
        }
        file.close();
        file.remove();
        return false;
    }
    file.close();
    (void)mode;
    return true;
}

bool replaceFileAtomically(const QString& path, const QByteArray& bytes, int mode, QString* error) {
    const FileKind kind = kindOf(path);
    if (kind == FileKind::Directory || kind == FileKind::Other) {
        if (error != nullptr) {
            *error = u"it is %1, not a file"_s.arg(describeKind(kind));
        }
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error != nullptr) {
            *error = file.errorString();
        }
        return false;
    }
    (void)mode;
    return true;
}

bool makeFolders(const QString& path, int mode, QString* error) {
    (void)mode;
    if (!QDir().mkpath(path)) {
        if (error != nullptr) {
            *error = u"the folder could not be created"_s;
        }
        return false;
    }
    return true;
}

void tightenPermissions(const QString&, int) {}

struct FileLock::Held {
    QLockFile file;
    explicit Held(const QString& path) : file(path) {}
};

FileLock FileLock::acquire(const QString& lockPath, int timeoutMs, QString* error) {
    auto held = std::make_unique<Held>(lockPath);
    if (!held->file.tryLock(timeoutMs)) {
        if (error != nullptr) {
            *error = held->file.error() == QLockFile::LockFailedError
                         ? u"another program has held it for %1 seconds"_s.arg(timeoutMs / 1000.0, 0, 'f', 1)
                         : u"the lock file could not be created"_s;
        }
        return {};
    }
    return FileLock(std::move(held));
}

#endif

FileLock::FileLock() = default;
FileLock::FileLock(std::unique_ptr<Held> held) : m_held(std::move(held)) {}
FileLock::FileLock(FileLock&& other) noexcept = default;
FileLock& FileLock::operator=(FileLock&& other) noexcept = default;
FileLock::~FileLock() = default;

void FileLock::release() {
    m_held.reset();
}

// ---- Writing over the start of a file -----------------------------------------------------------

#ifdef Q_OS_UNIX

bool overwriteFileStart(const QString& path, const QByteArray& bytes, int mode, QString* error) {
    const QByteArray name = encoded(path);
    // O_NONBLOCK: a pipe in the way must be refused, not waited on.
    const int fd = retrying([&] {
        return ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                      static_cast<mode_t>(mode));
    });
    if (fd < 0) {
        const int openError = errno;
        if (openError == ELOOP && kindOf(path) == FileKind::SymbolicLink) {
            if (error != nullptr) {
                *error = u"it is a symbolic link, which is never written through"_s;
            }
        } else {
            setError(error, openError);
        }
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        setError(error, errno);
        ::close(fd);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        if (error != nullptr) {
            *error = u"it is %1, not a file"_s.arg(describeKind(kindFromMode(st.st_mode)));
        }
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    int errorNumber = 0;
    bool ok = writeAll(fd, bytes, &errorNumber);
    // Some file systems (network ones) report a failed write only when the file is closed.
    if (::close(fd) != 0 && ok && errno != EINTR) {
        errorNumber = errno;
        ok = false;
    }
    if (!ok) {
        setError(error, errorNumber);
    }
    return ok;
}

// File names as bytes, standard streams, the file-creation mask.

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

bool createFileAtomically(const QString& path, const QByteArray& bytes, int mode, QString* error) {
    // The temporary name is formed on the text of the path, so that a relative path stays relative.
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString stem = path.left(slash + 1) + u'.' + path.mid(slash + 1);
    QString temporary;
    for (int attempt = 0;; ++attempt) {
        temporary = u"%1.%2-%3.tmp"_s.arg(stem).arg(::getpid()).arg(QRandomGenerator::global()->generate());
        QString why;
        if (writeNewFile(temporary, bytes, mode, &why)) {
            break;
        }
        if (kindOf(temporary) != FileKind::Missing && attempt < 100) {
            continue; // the name is taken
        }
        if (why == errorText(ENAMETOOLONG)) {
            return writeNewFile(path, bytes, mode, error);
        }
        if (error != nullptr) {
            *error = why;
        }
        return false;
    }
    // link() never replaces and never follows a link at the target.
    const QByteArray temporaryName = encoded(temporary);
    const int linked = ::link(temporaryName.constData(), encoded(path).constData());
    const int linkError = errno;
    ::unlink(temporaryName.constData());
    if (linked == 0) {
        return true;
    }
    if (linkError == EPERM || linkError == EOPNOTSUPP || linkError == ENOSYS) {
        return writeNewFile(path, bytes, mode, error);
    }
    setError(error, linkError);
    return false;
}

void ensureStandardStreams() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            // open() returns the lowest free descriptor, which is this one.
            const int opened = ::open("/dev/null", O_RDWR);
            if (opened >= 0 && opened != fd) {
                ::close(opened);
            }
        }
    }
}

int newFileMode() {
    // umask can only be read by setting it; set it back at once.
    const mode_t mask = ::umask(0077);
    ::umask(mask);
    return static_cast<int>(0666 & ~mask);
}

bool canCreateFilesIn(const QString& folder, QString* error) {
    if (::access(encoded(folder.isEmpty() ? u"."_s : folder).constData(), W_OK | X_OK) == 0) {
        return true;
    }
    setError(error, errno);
    return false;
}

#else

bool overwriteFileStart(const QString& path, const QByteArray& bytes, int mode, QString* error) {
    (void)mode;
    const FileKind kind = kindOf(path);
    if (kind != FileKind::Missing && kind != FileKind::Regular) {
        if (error != nullptr) {
            *error = u"it is %1, not a file"_s.arg(describeKind(kind));
        }
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || file.write(bytes) != bytes.size() || !file.flush()) {
        if (error != nullptr) {
            *error = file.errorString();
        }
        return false;
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        if (error != nullptr) {
            *error = file.errorString();
        }
        return false;
    }
    return true;
}

QString decodeFileName(QByteArrayView bytes) {
    return QFile::decodeName(bytes.toByteArray());
}

QByteArray encodeFileName(const QString& name) {
    return QFile::encodeName(name);
}

bool createFileAtomically(const QString& path, const QByteArray& bytes, int mode, QString* error) {
    return writeNewFile(path, bytes, mode, error);
}

void ensureStandardStreams() {}

int newFileMode() {
    return 0666;
}

bool canCreateFilesIn(const QString& folder, QString* error) {
    const QFileInfo info(folder.isEmpty() ? u"."_s : folder);
    if (info.isDir() && info.isWritable()) {
        return true;
    }
    if (error != nullptr) {
        *error = u"the folder cannot be written to"_s;
    }
    return false;
}

#endif

} // namespace markwell::os

// ---- Work folders, job locks and termination signals -------------------------------------------

#include <csignal>
#include <cstdlib>
#include <thread>

#ifdef Q_OS_UNIX
#include <pthread.h>
#else
#include <QFile>
#include <QLockFile>
#endif

namespace markwell::os {

#ifdef Q_OS_UNIX

namespace {

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void setErrorText(QString* error, const QString& text) {
    if (error != nullptr) {
        *error = text;
    }
}

} // namespace

QString currentUserKey() {
    return QString::number(::geteuid());
}

bool ownedByCurrentUser(const QString& path) {
    struct stat st {};
    return !path.isEmpty() && ::lstat(encoded(path).constData(), &st) == 0 && st.st_uid == ::geteuid();
}

bool makePrivateFolder(const QString& path, QString* error) {
    const QByteArray name = encoded(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
        setError(error, errno);
        return false;
    }
    // Whether just made or found, the folder is checked through a descriptor of its own, so
    // that nothing can be swapped in between the checks.
    const int fd = retrying([&] { return ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); });
    if (fd < 0) {
        const int openError = errno;
        if (openError == ELOOP || openError == ENOTDIR) {
            setErrorText(error, u"it is %1, not a folder"_s.arg(describeKind(kindOf(path))));
        } else {
            setError(error, openError);
        }
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0;
    if (!ok) {
        setError(error, errno);
    } else if (st.st_uid != ::geteuid()) {
        setErrorText(error, u"it belongs to another user"_s);
        ok = false;
    } else if ((st.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0) {
        setError(error, errno);
        ok = false;
    }
    ::close(fd);
    return ok;
}

bool writeNewFileFromParts(const QString& path, const QList<QByteArrayView>& parts, int mode, bool syncToDisk,
                           QString* error) {
    const QByteArray name = encoded(path);
    const int fd = retrying([&] {
        return ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      static_cast<mode_t>(mode));
    });
    if (fd < 0) {
        setError(error, errno);
        return false;
    }
    ::fchmod(fd, static_cast<mode_t>(mode));
    int errorNumber = 0;
    bool ok = true;
    for (const QByteArrayView& part : parts) {
        // A view of the caller's bytes, not a copy.
        if (!writeAll(fd, QByteArray::fromRawData(part.data(), part.size()), &errorNumber)) {
            ok = false;
            break;
        }
    }
    if (ok && syncToDisk && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        errorNumber = errno;
        ok = false;
    }
    if (::close(fd) != 0 && ok && errno != EINTR) {
        errorNumber = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(name.constData());
        setError(error, errorNumber);
    }
    return ok;
}

struct JobLock::Held : LockedDescriptor {
    using LockedDescriptor::LockedDescriptor;
};

JobLock JobLock::tryAcquire(const QString& lockPath, Outcome* outcome, QString* error) {
    const QByteArray name = encoded(lockPath);
    *outcome = Outcome::Failed;
    // A holder deletes the file before it unlocks, so a lock taken on a file that is no longer
    // at the path is worth nothing: the attempt starts again with the file now there.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = retrying([&] {
            return ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                          static_cast<mode_t>(0600));
        });
        if (fd < 0) {
            if (errno == ELOOP) {
                setErrorText(error, u"it is a symbolic link"_s);
            } else {
                setError(error, errno);
            }
            return {};
        }
        struct stat mine {};
        if (::fstat(fd, &mine) != 0) {
            setError(error, errno);
            ::close(fd);
            return {};
        }
        if (!S_ISREG(mine.st_mode) || mine.st_uid != ::geteuid()) {
            setErrorText(error, S_ISREG(mine.st_mode)
                                    ? u"it belongs to another user"_s
                                    : u"it is %1, not a file"_s.arg(describeKind(kindFromMode(mine.st_mode))));
            ::close(fd);
            return {};
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int lockError = errno;
            ::close(fd);
            if (lockError == EWOULDBLOCK || lockError == EINTR) {
                *outcome = Outcome::Busy;
            } else {
                setError(error, lockError);
            }
            return {};
        }
        struct stat there {};
        if (::lstat(name.constData(), &there) == 0 && sameFile(mine, there)) {
            JobLock lock;
            lock.m_path = lockPath;
            lock.m_held = std::make_unique<Held>(fd);
            *outcome = Outcome::Held;
            return lock;
        }
        ::flock(fd, LOCK_UN);
        ::close(fd);
    }
    *outcome = Outcome::Busy;
    return {};
}

void JobLock::release() {
    if (!m_held) {
        return;
    }
    // Only the file this lock holds is deleted, never one that has taken its name since.
    const QByteArray name = encoded(m_path);
    struct stat mine {};
    struct stat there {};
    if (::fstat(m_held->fd, &mine) == 0 && ::lstat(name.constData(), &there) == 0 && sameFile(mine, there)) {
        ::unlink(name.constData());
    }
    m_held.reset();
}

void onTerminationSignal(std::function<void()> cleanup) {
    // Kept for the life of the process: the waiting thread may use it until the very end.
    static auto* stored = new std::function<void()>();
    *stored = std::move(cleanup);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::thread([stopSignals] {
        int signal = 0;
        while (sigwait(&stopSignals, &signal) != 0) {
        }
        if (*stored) {
            (*stored)();
        }
        // End as the signal would have: its default action, delivered to this thread.
        std::signal(signal, SIG_DFL);
        sigset_t one;
        sigemptyset(&one);
        sigaddset(&one, signal);
        pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
        ::raise(signal);
        ::_exit(128 + signal);
    }).detach();
}

#else // Portable fallbacks through Qt and the C library.

QString currentUserKey() {
    return qEnvironmentVariable("USERNAME", u"user"_s);
}

bool ownedByCurrentUser(const QString& path) {
    return kindOf(path) != FileKind::Missing;
}

bool makePrivateFolder(const QString& path, QString* error) {
    if (kindOf(path) == FileKind::SymbolicLink) {
        if (error != nullptr) {
            *error = u"it is a symbolic link, not a folder"_s;
        }
        return false;
    }
    if (!QDir().mkpath(path) || kindOf(path) != FileKind::Directory) {
        if (error != nullptr) {
            *error = u"the folder could not be created"_s;
        }
        return false;
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return true;
}

bool writeNewFileFromParts(const QString& path, const QList<QByteArrayView>& parts, int mode, bool syncToDisk,
                           QString* error) {
    (void)syncToDisk;
    QByteArray whole;
    for (const QByteArrayView& part : parts) {
        whole.append(part);
    }
    return writeNewFile(path, whole, mode, error);
}

struct JobLock::Held {
    QLockFile file;
    explicit Held(const QString& path) : file(path) {}
};

JobLock JobLock::tryAcquire(const QString& lockPath, Outcome* outcome, QString* error) {
    auto held = std::make_unique<Held>(lockPath);
    if (held->file.tryLock(0)) {
        JobLock lock;
        lock.m_path = lockPath;
        lock.m_held = std::move(held);
        *outcome = Outcome::Held;
        return lock;
    }
    if (held->file.error() == QLockFile::LockFailedError) {
        *outcome = Outcome::Busy;
    } else {
        *outcome = Outcome::Failed;
        if (error != nullptr) {
            *error = u"the lock file could not be created"_s;
        }
    }
    return {};
}

void JobLock::release() {
    if (m_held) {
        m_held->file.unlock();
        m_held.reset();
    }
}

namespace {
std::function<void()>* g_terminationCleanup = nullptr;

void onStopSignal(int signal) {
    if (g_terminationCleanup != nullptr && *g_terminationCleanup) {
        (*g_terminationCleanup)();
    }
    std::_Exit(128 + signal);
}
} // namespace

void onTerminationSignal(std::function<void()> cleanup) {
    static auto* stored = new std::function<void()>();
    *stored = std::move(cleanup);
    g_terminationCleanup = stored;
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
}

#endif

JobLock::JobLock() = default;
JobLock::JobLock(JobLock&& other) noexcept = default;
JobLock& JobLock::operator=(JobLock&& other) noexcept {
    if (this != &other) {
        release();
        m_path = std::move(other.m_path);
        m_held = std::move(other.m_held);
    }
    return *this;
}
JobLock::~JobLock() {
    release();
}

} // namespace markwell::os

// ---- Memory for large pictures ------------------------------------------------------------------

#if defined(Q_OS_LINUX)
#include <sys/mman.h>
#endif

namespace markwell::os {

#if defined(Q_OS_LINUX)

void* allocateLargeBlock(std::size_t bytes) {
    if (bytes == 0) {
        return nullptr;
    }
    void* block = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) {
        return nullptr;
    }
    // Both are advice: where the system does not take it, the pages come one by one as before.
#ifdef MADV_HUGEPAGE
    ::madvise(block, bytes, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
    ::madvise(block, bytes, MADV_POPULATE_WRITE);
#endif
    return block;
}

void releaseLargeBlock(void* block, std::size_t bytes) noexcept {
    if (block != nullptr) {
        ::munmap(block, bytes);
    }
}

#else

void* allocateLargeBlock(std::size_t bytes) {
    return bytes == 0 ? nullptr : std::malloc(bytes);
}

void releaseLargeBlock(void* block, std::size_t) noexcept {
    std::free(block);
}

#endif

} // namespace markwell::os

// ---- Standard error as a person sees it ----------------------------------------------------------

#if defined(Q_OS_WIN)
#include <cstdio>
#include <io.h>
#endif

namespace markwell::os {

bool standardErrorIsTerminal() {
#if defined(Q_OS_UNIX)
    return ::isatty(STDERR_FILENO) == 1;
#elif defined(Q_OS_WIN)
    return ::_isatty(_fileno(stderr)) != 0;
#else
    return false;
#endif
}

} // namespace markwell::os
