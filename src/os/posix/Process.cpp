#include "os/Process.h"

#include <cerrno>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace markwell::os {

void onTerminationSignal(std::function<void()> cleanup) {
    // Kept for the life of the process: the waiting thread may use it until the very end.
    static auto* stored = new std::function<void()>();
    *stored = std::move(cleanup);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    // Every signal whose default action ends the process without a core dump; one the process
    // was started with ignored (nohup) stays ignored.
    for (const int stop : {SIGHUP, SIGINT, SIGPIPE, SIGALRM, SIGTERM, SIGUSR1, SIGUSR2, SIGVTALRM}) {
        struct sigaction current {};
        if (::sigaction(stop, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
            sigaddset(&stopSignals, stop);
        }
    }
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

void ignoreBrokenPipe() {
    std::signal(SIGPIPE, SIG_IGN);
}

void ignoreFileSizeLimitSignal() {
    std::signal(SIGXFSZ, SIG_IGN);
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

bool standardErrorIsTerminal() {
    return ::isatty(STDERR_FILENO) == 1;
}

QString currentUserKey() {
    return QString::number(::geteuid());
}

} // namespace markwell::os
