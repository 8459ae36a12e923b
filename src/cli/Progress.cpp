#include "cli/Progress.h"

#include <QLocale>

#include <algorithm>
#include <chrono>

using namespace Qt::Literals::StringLiterals;

namespace markwell::cli {

namespace {

qint64 steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

QString phaseText(JobPhase phase) {
    switch (phase) {
    case JobPhase::Template:
        return u"Opening the template"_s;
    case JobPhase::Tests:
        return u"Adding the tests"_s;
    case JobPhase::Rows:
        return u"Making room for the students"_s;
    case JobPhase::Students:
        return u"Filling the students"_s;
    case JobPhase::Save:
        return u"Saving the workbook"_s;
    case JobPhase::Reopen:
        return u"Opening the saved workbook"_s;
    case JobPhase::Picture:
        break;
    }
    return u"Drawing the picture"_s;
}

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
    if (m_total <= 0) {
        return m_what;
    }
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    return u"%1: %2 of %3"_s.arg(m_what, english.toString(m_done), english.toString(m_total));
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
