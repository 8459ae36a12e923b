#pragma once

// What the POSIX units share: paths as the system takes them, calls retried after a signal, and
// open files written and closed with every step checked. Not part of the system layer's interface.

#include "os/FileNames.h"
#include "os/Files.h"

#include <QByteArrayView>
#include <QList>

#include <cerrno>

#include <sys/stat.h>

namespace markwell::os::posix {

inline QByteArray encoded(const QString& path) {
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

FileKind kindFromMode(mode_t mode);

// "it is a folder, not a file" for what fstat or lstat found.
Reason notAFile(mode_t mode);

// Opens path for reading (links followed) and finds what it is, into st: a folder is refused, and
// with requireRegular anything but a regular file, without blocking on a FIFO meanwhile. The
// answer is the descriptor, for the caller to close.
Result<int> openToRead(const QString& path, bool requireRegular, struct stat& st);

// Writes every part to fd, forces it to the disk when asked, and closes fd (in every case); the
// first failure is the answer.
Result<> writeAndClose(int fd, const QList<QByteArrayView>& parts, bool syncToDisk);

} // namespace markwell::os::posix
