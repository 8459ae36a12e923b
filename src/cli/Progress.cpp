#include "cli/Progress.h"

#include <algorithm>
#include <chrono>

using namespace Qt::Literals::StringLiterals;

namespace markwell::cli {

ProgressLine::ProgressLine(bool terminal, Clock clock, Writer write)
    : m_terminal(terminal), m_clock(clock ? std::move(clock) : Clock(steadyMs)), m_write(std::move(write)),
      m_start(m_clock()) {}

void ProgressLine::report(const QString& what, qint64 done, qint64 total) {
    if (!m_terminal) {
        return;
    }
    const std::lock_guard lock(m_mutex);
    m_what = what;
    m_done = done;
    m_total = total;
    drawLocked(m_clock());
}

void ProgressLine::report(JobPhase phase, qint64 done, qint64 total) {
    if (m_terminal) {
        report(phaseText(phase), done, total);
    }
}

std::function<void(JobPhase, qint64, qint64)> ProgressLine::callback() {
    return [this](JobPhase phase, qint64 done, qint64 total) { report(phase, done, total); };
}

void ProgressLine::tick() {
    if (!m_terminal) {
        return;
    }
    const std::lock_guard lock(m_mutex);
    drawLocked(m_clock());
}

void ProgressLine::message(const QString& text) {
    const std::lock_guard lock(m_mutex);
    eraseLocked();
    m_write(text);
}

void ProgressLine::finish() {
    const std::lock_guard lock(m_mutex);
    eraseLocked();
    m_finished = true;
}

void ProgressLine::tryFinish() {
    const std::unique_lock lock(m_mutex, std::try_to_lock);
    if (lock.owns_lock()) {
        eraseLocked();
        m_finished = true;
    }
}

QString ProgressLine::textLocked() const {
    return progressText(m_what, m_done, m_total);
}

void ProgressLine::drawLocked(qint64 now) {
    if (m_finished || m_what.isEmpty() || now - m_start < kQuietMs || (m_drawnAt >= 0 && now - m_drawnAt < kRedrawMs)) {
        return;
    }
    const QString text = textLocked();
    if (text == m_shown) {
        return;
    }
    // Back to the start of the line; blanks cover what is left of a longer text before.
    const qsizetype leftOver = std::max<qsizetype>(0, m_shown.size() - text.size());
    m_write(u'\r' + text + QString(leftOver, u' ') + QString(leftOver, u'\b'));
    m_shown = text;
    m_drawnAt = now;
}

void ProgressLine::eraseLocked() {
    if (m_shown.isEmpty()) {
        return;
    }
    m_write(u'\r' + QString(m_shown.size(), u' ') + u'\r');
    m_shown.clear();
}

ProgressTicker::ProgressTicker(ProgressLine& line) : m_line(line) {
    m_thread = std::thread([this] {
        std::unique_lock lock(m_mutex);
        while (!m_wake.wait_for(lock, std::chrono::milliseconds(50), [this] { return m_stop; })) {
            lock.unlock();
            m_line.tick();
            lock.lock();
        }
    });
}

ProgressTicker::~ProgressTicker() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

} // namespace markwell::cli
