#include "common/ErrorReport.h"

#include "common/Prompt.h"

using namespace Qt::Literals::StringLiterals;

namespace markwell {

namespace {

QString screenshotRequest() {
    return u"Please email screenshot of this message to "_s + QString::fromUtf16(kSupportEmail);
}

} // namespace

QString composeApplicationError(const QString& location, int lineLabel, const QString& description) {
    QString text = description;
    text += u"\r\n"_s;
    text += location;
    text += u"at line "_s;
    text += QString::number(lineLabel);
    text += u"\r\r"_s;
    text += screenshotRequest();
    return text;
}

void ShowApplicationError(Prompt& prompt, const QString& location, int lineLabel, const QString& description) {
    prompt.message(composeApplicationError(location, lineLabel, description),
                   QString::fromUtf16(kApplicationErrorCaption), Prompt::Icon::Warning);
}

QString composeGatheredFailures(const std::vector<GatheredFailure>& failures) {
    qint64 total = 0;
    for (const GatheredFailure& f : failures) {
        total += f.times;
    }
    QString text = total == 1 ? u"After the first report, one more step failed in the same run:"_s
                              : u"After the first report, %1 more steps failed in the same run:"_s.arg(total);
    qint64 listed = 0;
    for (size_t i = 0; i < failures.size() && i < static_cast<size_t>(kMaxListedFailures); ++i) {
        const GatheredFailure& f = failures[i];
        text += u"\r\n"_s;
        text += f.location;
        text += u"at line "_s;
        text += QString::number(f.lineLabel);
        text += u": "_s;
        text += f.description;
        if (f.times > 1) {
            text += u" (%1 times)"_s.arg(f.times);
        }
        listed += f.times;
    }
    if (listed < total) {
        text += u"\r\nand %1 more."_s.arg(total - listed);
    }
    text += u"\r\r"_s;
    text += screenshotRequest();
    return text;
}

Failure::Failure(const QString& description) : std::runtime_error(description.toStdString()) {}

QString describeCurrentException() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return u"Out of memory."_s;
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return u"Unknown failure."_s;
    }
}

// What the traps of one run share: whether its first failure has been shown, and the failures
// gathered since. Only the first kMaxListedFailures different ones are kept; the rest are counted.
struct ErrorTrap::Run {
    Prompt* prompt = nullptr;
    bool firstShown = false;
    std::vector<GatheredFailure> gathered;
    int unlisted = 0;

    void gather(const QString& location, int label, const QString& description) {
        for (GatheredFailure& f : gathered) {
            if (f.lineLabel == label && f.location == location && f.description == description) {
                ++f.times;
                return;
            }
        }
        if (gathered.size() < static_cast<size_t>(kMaxListedFailures)) {
            gathered.push_back({location, label, description, 1});
        } else {
            ++unlisted;
        }
    }
};

ErrorTrap::Run*& ErrorTrap::currentRun() {
    thread_local Run* run = nullptr;
    return run;
}

ErrorTrap::ErrorTrap(Prompt& prompt, QString location) : m_prompt(prompt), m_location(std::move(location)) {
    if (currentRun() != nullptr) {
        m_run = currentRun();
    } else {
        m_run = new Run;
        m_run->prompt = &prompt;
        m_ownsRun = true;
        currentRun() = m_run;
    }
}

ErrorTrap::~ErrorTrap() {
    if (!m_ownsRun) {
        return;
    }
    currentRun() = nullptr;
    Run* run = m_run;
    if (!run->gathered.empty()) {
        std::vector<GatheredFailure> failures = std::move(run->gathered);
        if (run->unlisted > 0) {
            // Counted once each; composeGatheredFailures lists only the first ones anyway.
            failures.push_back({QString(), 0, QString(), run->unlisted});
        }
        try {
            run->prompt->message(composeGatheredFailures(failures), QString::fromUtf16(kApplicationErrorCaption),
                                 Prompt::Icon::Warning);
        } catch (...) {
            // The box could not be shown; nothing more can be done at the end of the run.
        }
    }
    delete run;
}

void ErrorTrap::report(const QString& description) {
    ++m_reports;
    if (!m_run->firstShown) {
        m_run->firstShown = true;
        ShowApplicationError(m_prompt, m_location, m_label, description);
        return;
    }
    m_run->gather(m_location, m_label, description);
}

} // namespace markwell
