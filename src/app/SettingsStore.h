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
// A file that cannot be read or has lines that cannot be parsed is reported through
// loadProblems(); everything that could be read is kept. Such a file is never destroyed: an
// unparsable file is copied beside itself (".damaged") before the first write, and a file that
// cannot be read at all is never overwritten.
class SettingsStore {
public:
    static constexpr char16_t kApplication[] = u"Kestrelware";
    static constexpr char16_t kSection[] = u"Markwell Software";

    // The platform's per-user configuration folder.
    static QString defaultConfigFolder();

    explicit SettingsStore(const QString& configFolder = defaultConfigFolder(),
                           const QString& application = QString::fromUtf16(kApplication),
                           const QString& section = QString::fromUtf16(kSection));

    // The stored text, or `fallback` when the key is absent.
    QString read(const QString& key, const QString& fallback = {}) const;
    // Stores the text and writes the file at once (atomically). Throws Failure naming the file
    // when it cannot be written; the value is then kept for this run only.
    void save(const QString& key, const QString& value);

    const QStringList& loadProblems() const { return m_problems; }
    QString filePath() const { return m_path; }
    // Where the damaged file was copied, once it was.
    QString backupPath() const { return m_backupPath; }

    // The file's text form, exposed for tests of the format.
    static QString escapeText(const QString& text);
    // Returns false for a malformed escape.
    static bool unescapeText(QStringView text, QString& out);

private:
    struct Section {
        QString name;
        std::vector<std::pair<QString, QString>> values;
    };
    enum class FileState { Fine, Damaged, Unreadable };

    void load();
    void parse(const QByteArray& bytes);
    void problem(qsizetype line, const QString& what);
    QByteArray serialize() const;
    void keepDamagedCopy();
    Section& sectionNamed(const QString& name);

    QString m_path;
    QString m_section;
    std::vector<Section> m_sections;
    QStringList m_problems;
    qsizetype m_unlistedProblems = 0;
    FileState m_state = FileState::Fine;
    QString m_unreadableReason;
    QByteArray m_original;
    QString m_backupPath;
};

} // namespace markwell
