#pragma once

#include "workbook/host/EmbeddedHost.h"

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

namespace markwell::test {

using namespace Qt::Literals::StringLiterals;

// The embedded engine, except that its picture of a range cannot be made.
class NoPictureHost : public EmbeddedHost {
public:
    void copyPicture(int, int, const HostArea&) override {
        throw HostError(u"The picture of the range could not be made."_s);
    }
};

#ifdef Q_OS_UNIX
// While it lives, no file of this process may grow beyond `bytes`, as on a full disk: writes fail
// with the system's "File too large".
class ScopedFileSizeLimit {
public:
    explicit ScopedFileSizeLimit(rlim_t bytes) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGXFSZ, &ignore, &m_signal);
        getrlimit(RLIMIT_FSIZE, &m_limit);
        rlimit small = m_limit;
        small.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~ScopedFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_limit);
        sigaction(SIGXFSZ, &m_signal, nullptr);
    }
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;

private:
    struct sigaction m_signal {};
    rlimit m_limit{};
};
#endif

} // namespace markwell::test
