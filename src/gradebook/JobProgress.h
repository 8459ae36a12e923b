#pragma once

#include "gradebook/CreateTemplate.h"

#include <QString>

#include <functional>

namespace markwell {

// The words for a phase of the job, as the program shows them.
QString phaseText(JobPhase phase);

// "Filling the students: 12,000 of 32,767", or just the words when there is no count.
QString progressText(const QString& what, qint64 done, qint64 total);

// Milliseconds of the system's steady clock.
qint64 steadyMs();

// A window that shows how far a long job has come, with a Cancel button.
class ProgressView {
public:
    virtual ~ProgressView() = default;
    // Shows the window (when hidden) with the phase and how far it has come; total 0: no count.
    virtual void showProgress(JobPhase phase, qint64 done, qint64 total) = 0;
    // Lets the window repaint and take the clicks waiting for it (its Cancel button among them).
    virtual void letEventsRun() = 0;
    // Hides the window for good.
    virtual void closeProgress() = 0;
};

// Watches one job for a window: it stays silent while the job is short, shows the progress
// window once the job has run for kQuietMs, then keeps it current and lets its events run at
// most every kEventsMs, so a long job neither looks hung nor is slowed much by the painting.
// A cancel request (the window's Cancel) stops the job at its next report, without a report of
// its own: the job cleans up as if it had been interrupted (CreateTemplateEnvironment::cancelled).
class JobWatch {
public:
    using Clock = std::function<qint64()>; // milliseconds; empty: steadyMs

    // The quiet time is counted from now.
    explicit JobWatch(ProgressView& view, Clock clock = {});
    // Closes the window when it was shown.
    ~JobWatch();
    JobWatch(const JobWatch&) = delete;
    JobWatch& operator=(const JobWatch&) = delete;

    // Makes the job report to this watch and ask it whether to stop.
    void watch(CreateTemplateEnvironment& env);

    void report(JobPhase phase, qint64 done, qint64 total);
    void cancel() { m_cancelled = true; }
    bool cancelled() const { return m_cancelled; }
    bool shown() const { return m_shown; }

    static constexpr qint64 kQuietMs = 1000;
    static constexpr qint64 kEventsMs = 50;

private:
    ProgressView& m_view;
    const Clock m_clock;
    const qint64 m_start;
    qint64 m_lastShown = 0;
    JobPhase m_lastPhase = JobPhase::Template;
    bool m_shown = false;
    bool m_cancelled = false;
};

} // namespace markwell
