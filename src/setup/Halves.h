#pragma once

#include <QtGlobal>

#include <exception>
#include <system_error>
#include <thread>

namespace markwell {

// Runs work(first, end) over [0, count) in two halves at once, the first half on a thread of its
// own, when there are at least `worthIt` items (below that a thread costs more than it saves);
// otherwise, or when no thread can be had, in one call. Each half may change only what is its
// own. An exception from a half passes on once both have ended (the first half's first).
template <class Work> void inTwoHalves(qsizetype count, qsizetype worthIt, const Work& work) {
    if (count < worthIt || count < 2) {
        work(0, count);
        return;
    }
    const qsizetype middle = count / 2;
    std::exception_ptr firstFailure;
    std::thread first;
    try {
        first = std::thread([&] {
            try {
                work(0, middle);
            } catch (...) {
                firstFailure = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        work(0, count);
        return;
    }
    std::exception_ptr secondFailure;
    try {
        work(middle, count);
    } catch (...) {
        secondFailure = std::current_exception();
    }
    first.join();
    if (firstFailure) {
        std::rethrow_exception(firstFailure);
    }
    if (secondFailure) {
        std::rethrow_exception(secondFailure);
    }
}

} // namespace markwell
