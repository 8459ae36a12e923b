#pragma once

// A full disk for one test: while a FileSizeLimit lives, this process cannot make any file larger
// than the given size. A write that would pass the limit fails with "File too large" (EFBIG)
// instead of raising SIGXFSZ, which is ignored meanwhile. Works without root and without a
// scratch file system; the previous limit and signal handling come back at destruction.

#include <QtGlobal>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace markwell::test {

class FileSizeLimit {
public:
    // True where the limit can be set; tests skip themselves elsewhere.
    static constexpr bool kSupported =
#ifdef Q_OS_UNIX
        true;
#else
        false;
#endif

#ifdef Q_OS_UNIX
    explicit FileSizeLimit(rlim_t bytes) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        m_ok = ::getrlimit(RLIMIT_FSIZE, &m_old) == 0;
        if (m_ok) {
            struct rlimit limit = m_old;
            limit.rlim_cur = bytes;
            m_ok = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        }
    }
    ~FileSizeLimit() {
        if (m_ok) {
            ::setrlimit(RLIMIT_FSIZE, &m_old);
        }
        std::signal(SIGXFSZ, m_oldHandler);
    }
    bool active() const {
        return m_ok;
    }
#else
    explicit FileSizeLimit(unsigned long long) {}
    bool active() const {
        return false;
    }
#endif

    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
#ifdef Q_OS_UNIX
    struct rlimit m_old {};
    void (*m_oldHandler)(int) = SIG_DFL;
    bool m_ok = false;
#endif
};

} // namespace markwell::test
