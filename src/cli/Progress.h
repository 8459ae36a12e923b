#pragma once

#include "gradebook/CreateTemplate.h"
#include "gradebook/JobProgress.h"

#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace markwell::cli {

// One line on the terminal that says what a long job is doing and how far it has come
// ("Filling the students: 12,000 of 32,767"). Nothing shows until the job has run for a second,
// so a quick job leaves no trace; the line is rewritten in place at most ten times a second and
// erased before every message and at the end, so the terminal reads as if it had never been
// there. When standard error is no terminal it shows nothing at all and passes messages on.
//
// Safe to use from several threads: the job reports from its own, a ProgressTicker draws from
// another, and an interrupted process erases the line from its signal thread.
class ProgressLine {
public:
    using Clock = std::function<qint64()>;              // milliseconds of a steady clock
    using Writer = std::function<void(const QString&)>; // standard error

    // The second of silence is counted from now. An empty clock is the system's steady clock.
    ProgressLine(bool terminal, Clock clock, Writer write);
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    bool terminal() const { return m_terminal; }

    // What the program is doing now; how far when `total` is above 0. Draws when a draw is due.
    void report(const QString& what, qint64 done = 0, qint64 total = 0);
    // The job's own phases (CreateTemplateEnvironment::progress).
    void report(JobPhase phase, qint64 done, qint64 total);
    std::function<void(JobPhase, qint64, qint64)> callback();

    // Draws the line when it is due: a second after the start, changed since it was last drawn,
    // and a tenth of a second after the last drawing.
    void tick();
    // Writes a message (a whole line or more) with the progress line out of its way; the line
    // comes back below it at a later drawing.
    void message(const QString& text);
    // Erases the line for good: nothing is drawn after it.
    void finish();
    // finish() for a thread that must not wait (the process ends on a signal): gives up when the
    // line is being written just then.
    void tryFinish();

    static constexpr qint64 kQuietMs = 1000;
    static constexpr qint64 kRedrawMs = 100;

private:
    QString textLocked() const;
    void drawLocked(qint64 now);
    void eraseLocked();

    const bool m_terminal;
    const Clock m_clock;
    const Writer m_write;
    const qint64 m_start;

    std::mutex m_mutex;
    QString m_what;
    qint64 m_done = 0, m_total = 0;
    QString m_shown;       // the text on the terminal now, empty when none
    qint64 m_drawnAt = -1; // when the line was last drawn
    bool m_finished = false;
};

// Calls ProgressLine::tick on a thread of its own every 50 ms, so that a phase that reports
// nothing for a while (drawing the picture of a large class) still shows once the second is up.
// Stops and joins when destroyed.
class ProgressTicker {
public:
    explicit ProgressTicker(ProgressLine& line);
    ProgressTicker(const ProgressTicker&) = delete;
    ProgressTicker& operator=(const ProgressTicker&) = delete;
    ~ProgressTicker();

private:
    ProgressLine& m_line;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace markwell::cli
