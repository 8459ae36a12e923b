#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <utility>
#include <vector>

namespace markwell {

class SettingsStore;

// Keeps the lists in the store as they change: the first change starts a short wait, and when it
// is over everything changed meanwhile is written in one save, so a program that is killed loses
// at most that wait. The save never waits for the store's lock: when another program holds it,
// the save is tried again after the same wait, and the values are kept for the next save.
class ListAutosave : public QObject {
    Q_OBJECT
public:
    using Values = std::vector<std::pair<QString, QString>>;
    static constexpr int kDefaultDelayMs = 1000;
    // Told once when the lock was still taken after this many tries in a row.
    static constexpr int kBusyTriesBeforeTelling = 5;

    // `values` gives the keys and texts to store, read when the save happens; `report` tells the
    // teacher why a save failed (the same failure once, until a save succeeds again).
    ListAutosave(SettingsStore& store, std::function<Values()> values, std::function<void(const QString&)> report,
                 QObject* parent = nullptr);

    void setDelay(int milliseconds) { m_timer.setInterval(milliseconds); }
    // A change was made, or a value waits in the store for its lock: it is stored within the
    // delay.
    void changed();
    bool pending() const { return m_pending; }
    // Stores a waiting change now (at the end of the program). Returns false when another
    // program held the store's lock; other failures are reported and count as done.
    bool flush();
    // The lists were stored another way; nothing waits any more.
    void cancel();

private:
    bool save();

    SettingsStore& m_store;
    std::function<Values()> m_values;
    std::function<void(const QString&)> m_report;
    QTimer m_timer;
    bool m_pending = false;
    int m_busyTries = 0;
    QString m_lastFailure;
};

} // namespace markwell
