#include "os/Memory.h"

#include "os/posix/Descriptors.h"

#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace markwell::os {

using posix::encoded;
using posix::retrying;

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

FileMapping::~FileMapping() {
    if (m_block != nullptr) {
        ::munmap(m_block, m_bytes);
    }
}

FileMapping::FileMapping(FileMapping&& other) noexcept
    : m_block(std::exchange(other.m_block, nullptr)), m_bytes(std::exchange(other.m_bytes, 0)) {}

FileMapping& FileMapping::operator=(FileMapping&& other) noexcept {
    if (this != &other) {
        FileMapping gone(std::move(*this));
        m_block = std::exchange(other.m_block, nullptr);
        m_bytes = std::exchange(other.m_bytes, 0);
    }
    return *this;
}

Result<FileMapping> FileMapping::createNew(const QString& path, std::size_t bytes, int mode) {
    if (bytes == 0 || bytes > static_cast<std::size_t>(std::numeric_limits<off_t>::max())) {
        return Reason::ofError(EINVAL);
    }
    const QByteArray name = encoded(path);
    const int fd = retrying([&] {
        return ::open(name.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(mode));
    });
    if (fd < 0) {
        return Reason::ofError(errno);
    }
    const auto failed = [&](int errorNumber) {
        ::close(fd);
        ::unlink(name.constData());
        return Reason::ofError(errorNumber);
    };
    ::fchmod(fd, static_cast<mode_t>(mode));
    // posix_fallocate answers with the error number itself and leaves errno alone.
    int reserved = EINTR;
    while (reserved == EINTR) {
        reserved = ::posix_fallocate(fd, 0, static_cast<off_t>(bytes));
    }
    if (reserved != 0) {
        return failed(reserved);
    }
    void* block = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (block == MAP_FAILED) {
        return failed(errno);
    }
    // Advice, as for a large block: the file's pages are made ready in one call rather than one
    // by one as they are first written.
#ifdef MADV_POPULATE_WRITE
    ::madvise(block, bytes, MADV_POPULATE_WRITE);
#endif
    // The mapping keeps the file open; the descriptor is no longer needed.
    ::close(fd);
    return FileMapping(block, bytes);
}

Result<FileMapping> FileMapping::openForReading(const QString& path) {
    struct stat st {};
    const Result<int> opened = posix::openToRead(path, true, st);
    if (!opened) {
        return opened.why();
    }
    const int fd = *opened;
    if (st.st_size == 0) {
        ::close(fd);
        return FileMapping();
    }
    const auto bytes = static_cast<std::size_t>(st.st_size);
    void* block = ::mmap(nullptr, bytes, PROT_READ, MAP_SHARED, fd, 0);
    const int mapError = errno;
    ::close(fd);
    if (block == MAP_FAILED) {
        return Reason::ofError(mapError);
    }
    return FileMapping(block, bytes);
}

} // namespace markwell::os
