#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace markwell {

// The per-user store of text values, addressed by application, section and key. It lives in one
// file, <config folder>/<application>/settings.ini, where the config folder is the platform's
// (XDG_CONFIG_HOME is honoured). Any text round-trips exactly.
//
// Several programs may use the file at once: each save takes a lock, reads the file again,
// replaces only its own key and writes the file through a temporary file that is renamed over
// it, so values other programs wrote in between are kept. The file is private to its user
// (0600, in folders the store creates with 0700); wider permissions are narrowed at each save.
//
// A file that cannot be read or has lines that cannot be parsed is reported through
// loadProblems(); everything that could be read is kept. Such a file is never destroyed: an
// unparsable file is copied beside itself (".damaged") before it is written, and a file that
// cannot be read at all (not a regular file, too large, no permission) is never overwritten.
class SettingsStore {
public:
    static constexpr char16_t kApplication[] = u"Kestrelware";
    static constexpr char16_t kSection[] = u"Markwell Software";
    // A settings file larger than this is not one we wrote; it is left alone.
    static constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;
    // How long a save waits for another program that is writing the file.
    static constexpr int kDefaultLockTimeoutMs = 5000;

    // What the file was like when the store was made.
    enum class LoadState { Absent, Fine, Damaged, Unreadable };

    // The platform's per-user configuration folder.
    static QString defaultConfigFolder();

    explicit SettingsStore(const QString& configFolder = defaultConfigFolder(),
                           const QString& application = QString::fromUtf16(kApplication),
                           const QString& section = QString::fromUtf16(kSection));

    // The stored text, or `fallback` when the key is absent.
    QString read(const QString& key, const QString& fallback = {}) const;
    // Stores the text under the key and writes it to the file at once, leaving every other key
    // as the file holds it now. Throws Failure naming the file and the reason when it cannot be
    // written; the value is then kept for this run and written with the next save that succeeds.
    void save(const QString& key, const QString& value);
    // Stores several values with one write, without waiting for the lock: returns false, with
    // *busy saying why, when another program holds it; the values are then kept for this run and
    // written with the next save that succeeds. Other failures throw Failure as save() does.
    bool trySave(const std::vector<std::pair<QString, QString>>& values, QString* busy = nullptr);

    const QStringList& loadProblems() const { return m_problems; }
    LoadState loadState() const { return m_loadState; }
    QString filePath() const { return m_path; }
    // Where a damaged file was last copied, once it was.
    QString backupPath() const { return m_backupPath; }

    void setLockTimeout(int milliseconds) { m_lockTimeoutMs = milliseconds; }

    // The file's text form, exposed for tests of the format.
    static QString escapeText(const QString& text);
    // Returns false for a malformed escape.
    static bool unescapeText(QStringView text, QString& out);

private:
    struct Section {
        QString name;
        std::vector<std::pair<QString, QString>> values;
    };
    using Sections = std::vector<Section>;
    struct Parsed {
        Sections sections;
        // (line, what) for the first faults; the rest only counted.
        std::vector<std::pair<qsizetype, QString>> faults;
        qsizetype faultCount = 0;
    };

    void load();
    static Parsed parse(const QByteArray& bytes);
    static QByteArray serialize(const Sections& sections);
    static Section& sectionNamed(Sections& sections, const QString& name);
    static bool setValue(Sections& sections, const QString& section, const QString& key, const QString& value);
    void stage(const QString& key, const QString& value);
    bool writePending(int lockTimeoutMs, QString* busy);
    void keepDamagedCopy(const QByteArray& bytes);
    QString shownPath() const;

    QString m_path;
    QString m_section;
    Sections m_sections;
    // Values of this section saved during this run but not yet in the file, in the order saved.
    std::vector<std::pair<QString, QString>> m_pending;
    QStringList m_problems;
    LoadState m_loadState = LoadState::Absent;
    QString m_backupPath;
    int m_lockTimeoutMs = kDefaultLockTimeoutMs;
};

} // namespace markwell
