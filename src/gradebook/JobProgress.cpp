#include "gradebook/JobProgress.h"

#include <QLocale>

#include <chrono>

using namespace Qt::Literals::StringLiterals;

namespace markwell {

QString phaseText(JobPhase phase) {
    switch (phase) {
    case JobPhase::Waiting:
        return u"Waiting for another job to finish"_s;
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

QString progressText(const QString& what, qint64 done, qint64 total) {
    if (total <= 0) {
        return what;
    }
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    return u"%1: %2 of %3"_s.arg(what, english.toString(done), english.toString(total));
}

qint64 steadyMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

JobWatch::JobWatch(ProgressView& view, Clock clock)
    : m_view(view), m_clock(clock ? std::move(clock) : Clock(steadyMs)), m_start(m_clock()) {}

JobWatch::~JobWatch() {
    if (m_shown) {
        m_view.closeProgress();
    }
}

void JobWatch::watch(CreateTemplateEnvironment& env) {
    env.progress = [this](JobPhase phase, qint64 done, qint64 total) { report(phase, done, total); };
    env.cancelled = [this] { return m_cancelled; };
}

void JobWatch::report(JobPhase phase, qint64 done, qint64 total) {
    const qint64 now = m_clock();
    if (!m_shown && now - m_start < kQuietMs) {
        return;
    }
    // A new phase shows at once; within one, the window is brought up to date now and then.
    if (m_shown && phase == m_lastPhase && now - m_lastShown < kEventsMs) {
        return;
    }
    m_shown = true;
    m_lastShown = now;
    m_lastPhase = phase;
    m_view.showProgress(phase, done, total);
    m_view.letEventsRun();
}

} // namespace markwell
