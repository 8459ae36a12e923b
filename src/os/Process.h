#pragma once

// The process among others: termination signals, its standard streams, whether a person watches
// its messages, and the user it runs for.

#include <QString>

#include <functional>

namespace markwell::os {

// Runs `cleanup` when the process is asked to stop by a signal whose default is to end it (an
// interrupt, a termination request, a hang-up, a broken pipe, a timer, a user signal), then ends
// the process as that signal would have. A signal ignored at the time of the call is left so. The cleanup runs on a
// thread of its own, so it may wait for locks and use ordinary file routines. Call once, early in
// main(), before any other thread starts: the signals are then taken by that thread alone.
void onTerminationSignal(std::function<void()> cleanup);

// Lets a write to a pipe nobody reads fail (EPIPE) instead of ending the process. Call before
// onTerminationSignal.
void ignoreBrokenPipe();

// Lets a write beyond the session's file-size limit (ulimit -f) fail (EFBIG), so that the job
// says so and deletes its work files, instead of the system ending the process there and then
// (SIGXFSZ). Call before onTerminationSignal.
void ignoreFileSizeLimitSignal();

// Makes sure standard input, output and error are open (on /dev/null when they were closed), so
// that a file the program opens never lands on descriptor 0, 1 or 2 and receives its messages.
void ensureStandardStreams();

// True when standard error is a terminal (someone watches it), false for a file, a pipe, or a
// stream that is closed.
bool standardErrorIsTerminal();

// A short text that tells the current user apart from other accounts on this machine (the
// numeric user ID on POSIX systems), for naming per-user folders.
QString currentUserKey();

} // namespace markwell::os
