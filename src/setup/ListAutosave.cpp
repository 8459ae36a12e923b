#include "setup/ListAutosave.h"

#include "common/ErrorReport.h"
#include "setup/SettingsStore.h"

using namespace Qt::Literals::StringLiterals;

namespace markwell {

ListAutosave::ListAutosave(SettingsStore& store, std::function<Values()> values,
                           std::function<void(const QString&)> report, QObject* parent)
    : QObject(parent), m_store(store), m_values(std::move(values)), m_report(std::move(report)) {
    m_timer.setSingleShot(true);
    m_timer.setInterval(kDefaultDelayMs);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (!save()) {
            m_timer.start();
        }
    });
}

void ListAutosave::changed() {
    m_pending = true;
    // Later changes do not push the save back: it happens within the delay of the first.
    if (!m_timer.isActive()) {
        m_timer.start();
    }
}

void ListAutosave::cancel() {
    m_pending = false;
    m_busyTries = 0;
    m_timer.stop();
}

bool ListAutosave::flush() {
    if (!m_pending) {
        return true;
    }
    m_timer.stop();
    return save();
}

// Returns false only when the lock was taken and the save should be tried again.
bool ListAutosave::save() {
    QString busy;
    try {
        if (!m_store.trySave(m_values(), &busy)) {
            if (++m_busyTries == kBusyTriesBeforeTelling && m_report) {
                m_report(
                    u"The class setup could not be stored for a while: %1. It is stored as soon as the file is free."_s
                        .arg(busy));
            }
            return false;
        }
        m_lastFailure.clear();
    } catch (...) {
        // Not tried again by itself: the next change or the end of the program tries again.
        const QString why = describeCurrentException();
        if (why != m_lastFailure && m_report) {
            m_report(why);
        }
        m_lastFailure = why;
    }
    m_pending = false;
    m_busyTries = 0;
    return true;
}

} // namespace markwell
