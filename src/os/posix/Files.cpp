#include "os/Files.h"

#include "os/posix/Descriptors.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace markwell::os {

namespace posix {

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

Reason notAFile(mode_t mode) {
    return Reason::saying(u"it is %1, not a file"_s.arg(describeKind(kindFromMode(mode))));
}

// Writes the whole piece unless an earlier write failed; a failure is kept in `failure`.
void writeAll(int fd, QByteArrayView piece, int& failure) {
    const char* data = piece.data();
    qint64 left = piece.size();
    while (left > 0 && failure == 0) {
        const auto chunk = static_cast<size_t>(std::min<qint64>(left, qint64{1} << 30));
        const ssize_t written = retrying([&] { return ::write(fd, data, chunk); });
        if (written <= 0) {
            failure = written < 0 ? errno : ENOSPC;
        } else {
            data += written;
            left -= written;
        }
    }
}

// Forces the file to the disk (when asked) and closes it, after the writes that set `failure`.
Result<> finishAndClose(int fd, int failure, bool syncToDisk) {
    // A file system that cannot sync (EINVAL) or is read-only has nothing more to force out.
    if (failure == 0 && syncToDisk && ::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        failure = errno;
    }
    // Some file systems (network ones) report a failed write only when the file is closed.
    if (::close(fd) != 0 && failure == 0 && errno != EINTR) {
        failure = errno;
    }
    if (failure != 0) {
        return Reason::ofError(failure);
    }
    return {};
}

Result<> writeAndClose(int fd, const QList<QByteArrayView>& parts, bool syncToDisk) {
    int failure = 0;
    for (const QByteArrayView& part : parts) {
        writeAll(fd, part, failure);
    }
    return finishAndClose(fd, failure, syncToDisk);
}

} // namespace posix

using namespace posix;

namespace {

// The longest name, in bytes, that the folder takes.
qsizetype nameLimit(const QString& folder) {
    const long limit = ::pathconf(encoded(folder.isEmpty() ? u"."_s : folder).constData(), _PC_NAME_MAX);
    constexpr long kUsual = 255;
    return limit > 0 ? static_cast<qsizetype>(limit) : kUsual;
}

// A fresh name for a temporary file beside path (in the same folder, so that a rename or link
// stays on one file system), formed on the text of the path so that a relative one stays relative.
// The process ID and a random number keep it apart from others; the target's own name in it is
// shortened, a whole character at a time, so that the whole stays within the folder's limit.
QString temporaryBeside(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString folder = path.left(slash + 1);
    QString leaf = path.mid(slash + 1);
    const QString tail =
        u'.' + QString::number(::getpid()) + u'-' + QString::number(QRandomGenerator::global()->generate()) + u".tmp"_s;
    const qsizetype limit = nameLimit(folder);
    while (!leaf.isEmpty() && encoded(u'.' + leaf + tail).size() > limit) {
        leaf.chop(leaf.size() >= 2 && leaf.back().isLowSurrogate() ? 2 : 1);
    }
    return folder + u'.' + leaf + tail;
}

// Opens a temporary file beside path for writing, with `mode`: its name and descriptor.
Result<std::pair<QString, int>> openTemporaryBeside(const QString& path, int mode) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString temporary = temporaryBeside(path);
        const int fd = retrying([&] {
            return ::open(encoded(temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          static_cast<mode_t>(mode));
        });
        if (fd >= 0) {
            ::fchmod(fd, static_cast<mode_t>(mode));
            return std::pair{temporary, fd};
        }
        if (errno != EEXIST) {
            return Reason::ofError(errno);
        }
    }
    return Reason::ofError(EEXIST);
}

} // namespace

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

bool sameFile(const QString& a, const QString& b) {
    namespace fs = std::filesystem;
    if (a.isEmpty() || b.isEmpty() || a.contains(QChar(u'\0')) || b.contains(QChar(u'\0'))) {
        return false;
    }
    const fs::path pa(encoded(a).toStdString());
    const fs::path pb(encoded(b).toStdString());
    std::error_code ec;
    const bool aExists = fs::exists(pa, ec);
    const bool bExists = fs::exists(pb, ec);
    if (aExists && bExists) {
        const bool same = fs::equivalent(pa, pb, ec);
        return !ec && same;
    }
    if (aExists || bExists) {
        return false;
    }
    // Neither exists yet: compare where each would be made, links in the folders resolved.
    const auto where = [](const fs::path& p) {
        std::error_code e;
        const fs::path absolute = fs::absolute(p, e);
        if (e) {
            return p.lexically_normal();
        }
        const fs::path resolved = fs::weakly_canonical(absolute, e);
        return e ? absolute.lexically_normal() : resolved;
    };
    return where(pa) == where(pb);
}

Result<int> posix::openToRead(const QString& path, bool requireRegular, struct stat& st) {
    if (path.isEmpty()) {
        return Reason::ofError(ENOENT);
    }
    // Without O_NONBLOCK, opening a FIFO waits for a writer; a file that must be regular is
    // checked before anything can block on it.
    const int flags = O_RDONLY | O_CLOEXEC | (requireRegular ? O_NONBLOCK : 0);
    const int fd = retrying([&] { return ::open(encoded(path).constData(), flags); });
    if (fd < 0) {
        return Reason::ofError(errno);
    }
    const auto failed = [fd](Reason reason) {
        ::close(fd);
        return reason;
    };
    if (::fstat(fd, &st) != 0) {
        return failed(Reason::ofError(errno));
    }
    if (S_ISDIR(st.st_mode)) {
        return failed(Reason::ofError(EISDIR));
    }
    if (requireRegular && !S_ISREG(st.st_mode)) {
        return failed(notAFile(st.st_mode));
    }
    if (requireRegular) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    return fd;
}

Result<QByteArray> readFileBounded(const QString& path, qint64 maxBytes, bool requireRegular) {
    struct stat st {};
    const Result<int> opened = openToRead(path, requireRegular, st);
    if (!opened) {
        return opened.why();
    }
    const int fd = *opened;
    const auto failed = [fd](Reason reason) {
        ::close(fd);
        return reason;
    };
    QByteArray bytes;
    if (S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= maxBytes) {
        bytes.reserve(static_cast<qsizetype>(st.st_size));
    }
    char buffer[65536];
    for (;;) {
        const ssize_t got = retrying([&] { return ::read(fd, buffer, sizeof buffer); });
        if (got < 0) {
            return failed(Reason::ofError(errno));
        }
        if (got == 0) {
            break;
        }
        if (bytes.size() + got > maxBytes) {
            return failed(Reason::saying(u"it is larger than %1 bytes"_s.arg(maxBytes)));
        }
        bytes.append(buffer, static_cast<qsizetype>(got));
    }
    ::close(fd);
    return bytes;
}

int newFileMode() {
    // umask can only be read by setting it; set it back at once.
    const mode_t mask = ::umask(0077);
    ::umask(mask);
    return static_cast<int>(0666 & ~mask);
}

Result<> writeNewFile(const QString& path, QByteArrayView bytes, int mode) {
    return writeNewFileFromParts(path, {bytes}, mode, true);
}

Result<> writeNewFileFromParts(const QString& path, const QList<QByteArrayView>& parts, int mode, bool syncToDisk) {
    const QByteArray name = encoded(path);
    const int fd = retrying([&] {
        return ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      static_cast<mode_t>(mode));
    });
    if (fd < 0) {
        return Reason::ofError(errno);
    }
    ::fchmod(fd, static_cast<mode_t>(mode));
    Result<> written = writeAndClose(fd, parts, syncToDisk);
    if (!written) {
        ::unlink(name.constData());
    }
    return written;
}

Result<> createFileAtomically(const QString& path, QByteArrayView bytes, int mode) {
    QString temporary;
    for (int attempt = 0;; ++attempt) {
        temporary = temporaryBeside(path);
        const Result<> written = writeNewFile(temporary, bytes, mode);
        if (written) {
            break;
        }
        if (kindOf(temporary) != FileKind::Missing && attempt < 100) {
            continue; // the name is taken
        }
        if (written.errorNumber() == ENAMETOOLONG) {
            return writeNewFile(path, bytes, mode);
        }
        return written;
    }
    // link() never replaces and never follows a link at the target.
    const QByteArray temporaryName = encoded(temporary);
    const int linked = ::link(temporaryName.constData(), encoded(path).constData());
    const int linkError = errno;
    ::unlink(temporaryName.constData());
    if (linked == 0) {
        return {};
    }
    if (linkError == EPERM || linkError == EOPNOTSUPP || linkError == ENOSYS) {
        return writeNewFile(path, bytes, mode);
    }
    return Reason::ofError(linkError);
}

Result<> replaceFileAtomically(const QString& path, QByteArrayView bytes, int mode) {
    return replaceFileAtomically(
        path, [bytes](const PieceWriter& write) { write(bytes); }, mode);
}

Result<> replaceFileAtomically(const QString& path, const std::function<void(const PieceWriter&)>& produce, int mode,
                               bool syncToDisk) {
    const Result<QString> staged = stageFileBeside(path, produce, mode, syncToDisk);
    if (!staged) {
        return staged.why();
    }
    return putStagedFile(*staged, path, true);
}

namespace {

// The rule at a staging target: a regular file or a link is replaced, anything else refused. The
// mode the staged file gets: `mode`, or with kKeepMode the replaced file's (newFileMode() for none).
Result<int> stagingMode(const QString& path, int mode) {
    struct stat st {};
    const bool exists = !path.isEmpty() && ::lstat(encoded(path).constData(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) {
        return notAFile(st.st_mode);
    }
    if (mode == kKeepMode) {
        return exists && S_ISREG(st.st_mode) ? static_cast<int>(st.st_mode & 07777) : newFileMode();
    }
    return mode;
}

} // namespace

Result<QString> stageFileBeside(const QString& path, QByteArrayView bytes, int mode) {
    return stageFileBeside(
        path, [bytes](const PieceWriter& write) { write(bytes); }, mode);
}

Result<QString> stageFileBeside(const QString& path, const std::function<void(const PieceWriter&)>& produce, int mode,
                                bool syncToDisk) {
    const Result<int> targetMode = stagingMode(path, mode);
    if (!targetMode) {
        return targetMode.why();
    }
    mode = *targetMode;
    const Result<std::pair<QString, int>> opened = openTemporaryBeside(path, mode);
    if (!opened) {
        return opened.why();
    }
    const QByteArray temporaryName = encoded(opened->first);
    const int fd = opened->second;
    int failure = 0;
    try {
        produce([&](QByteArrayView piece) { writeAll(fd, piece, failure); });
    } catch (...) {
        ::close(fd);
        ::unlink(temporaryName.constData());
        throw;
    }
    if (Result<> written = finishAndClose(fd, failure, syncToDisk); !written) {
        ::unlink(temporaryName.constData());
        return Reason{written.reason(), written.errorNumber()};
    }
    return opened->first;
}

Result<QString> stageLinkBeside(const QString& path, const QString& source, int mode) {
    const Result<int> targetMode = stagingMode(path, mode);
    if (!targetMode) {
        return targetMode.why();
    }
    struct stat st {};
    if (::lstat(encoded(source).constData(), &st) != 0) {
        return Reason::ofError(errno);
    }
    if (!S_ISREG(st.st_mode)) {
        return notAFile(st.st_mode);
    }
    QString temporary;
    for (int attempt = 0;; ++attempt) {
        temporary = temporaryBeside(path);
        if (::link(encoded(source).constData(), encoded(temporary).constData()) == 0) {
            break;
        }
        if (errno != EEXIST || attempt == 99) {
            return Reason::ofError(errno);
        }
    }
    const QByteArray temporaryName = encoded(temporary);
    // The new name gets the target's permissions, and the bytes are forced to the disk as a
    // written copy's would be.
    const int fd = retrying([&] { return ::open(temporaryName.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC); });
    if (fd < 0) {
        const int error = errno;
        ::unlink(temporaryName.constData());
        return Reason::ofError(error);
    }
    const int failure = ::fchmod(fd, static_cast<mode_t>(*targetMode)) != 0 ? errno : 0;
    if (Result<> synced = finishAndClose(fd, failure, true); !synced) {
        ::unlink(temporaryName.constData());
        return Reason{synced.reason(), synced.errorNumber()};
    }
    return temporary;
}

Result<> putStagedFile(const QString& staged, const QString& path, bool replace) {
    const QByteArray stagedName = encoded(staged);
    const QByteArray name = encoded(path);
    // rename() puts the new file in the place of whatever the name holds now: a link that was
    // swapped in meanwhile is replaced, not written through. link() never replaces anything.
    const int put =
        replace ? ::rename(stagedName.constData(), name.constData()) : ::link(stagedName.constData(), name.constData());
    const int putError = errno;
    if (put != 0 || !replace) {
        ::unlink(stagedName.constData());
    }
    if (put != 0) {
        return Reason::ofError(putError);
    }
    return {};
}

Result<> overwriteFileStart(const QString& path, QByteArrayView bytes, int mode) {
    const QByteArray name = encoded(path);
    // O_NONBLOCK: a pipe in the way must be refused, not waited on.
    const int fd = retrying([&] {
        return ::open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                      static_cast<mode_t>(mode));
    });
    if (fd < 0) {
        const int openError = errno;
        if (openError == ELOOP && kindOf(path) == FileKind::SymbolicLink) {
            return Reason{u"it is a symbolic link, which is never written through"_s, ELOOP};
        }
        return Reason::ofError(openError);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int statError = errno;
        ::close(fd);
        return Reason::ofError(statError);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return notAFile(st.st_mode);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return writeAndClose(fd, {bytes}, false);
}

Result<> makeFolders(const QString& path, int mode) {
    const QString clean = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (kindFollowing(clean) == FileKind::Directory) {
        return {};
    }
    const QString parent = QFileInfo(clean).path();
    if (parent != clean) {
        if (Result<> made = makeFolders(parent, mode); !made) {
            return made;
        }
    }
    if (::mkdir(encoded(clean).constData(), static_cast<mode_t>(mode)) != 0 && errno != EEXIST) {
        return Reason::ofError(errno);
    }
    if (kindFollowing(clean) != FileKind::Directory) {
        return Reason::saying(u"it is %1, not a folder"_s.arg(describeKind(kindOf(clean))));
    }
    return {};
}

Result<> makePrivateFolder(const QString& path) {
    const QByteArray name = encoded(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
        return Reason::ofError(errno);
    }
    // Whether just made or found, the folder is checked through a descriptor of its own, so
    // that nothing can be swapped in between the checks.
    const int fd = retrying([&] { return ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); });
    if (fd < 0) {
        const int openError = errno;
        if (openError == ELOOP || openError == ENOTDIR) {
            return Reason{u"it is %1, not a folder"_s.arg(describeKind(kindOf(path))), openError};
        }
        return Reason::ofError(openError);
    }
    struct stat st {};
    Result<> done;
    if (::fstat(fd, &st) != 0) {
        done = Reason::ofError(errno);
    } else if (st.st_uid != ::geteuid()) {
        done = Reason::saying(u"it belongs to another user"_s);
    } else if ((st.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0) {
        done = Reason::ofError(errno);
    }
    ::close(fd);
    return done;
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

bool ownedByCurrentUser(const QString& path) {
    struct stat st {};
    return !path.isEmpty() && ::lstat(encoded(path).constData(), &st) == 0 && st.st_uid == ::geteuid();
}

Result<> canCreateFilesIn(const QString& folder) {
    if (::access(encoded(folder.isEmpty() ? u"."_s : folder).constData(), W_OK | X_OK) == 0) {
        return {};
    }
    return Reason::ofError(errno);
}

} // namespace markwell::os
