#include "setup/SettingsStore.h"

#include "common/ErrorReport.h"
#include "common/Platform.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringDecoder>

using namespace Qt::Literals::StringLiterals;

namespace markwell {

namespace {

// Faults listed one by one; further ones are counted in a last line.
constexpr qsizetype kMaxListedProblems = 10;
// The file is private to its user, and so is the folder the store keeps it in.
constexpr int kFileMode = 0600;
constexpr int kFolderMode = 0700;

constexpr char kHeader[] =
    "; Settings of Kestrelware programs, one \"key=value\" a line. In keys and values a backslash\n"
    "; starts an escape: \\\\ \\n \\r \\t \\s (blank) \\uXXXX.\n";

int hexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') {
        return u - u'0';
    }
    if (u >= u'a' && u <= u'f') {
        return u - u'a' + 10;
    }
    if (u >= u'A' && u <= u'F') {
        return u - u'A' + 10;
    }
    return -1;
}

} // namespace

QString SettingsStore::defaultConfigFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

SettingsStore::SettingsStore(const QString& configFolder, const QString& application, const QString& section)
    : m_path(QDir(configFolder).filePath(application + u"/settings.ini"_s)), m_section(section) {
    load();
}

QString SettingsStore::shownPath() const {
    return QDir::toNativeSeparators(m_path);
}

QString SettingsStore::escapeText(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const char16_t u = c.unicode();
        if (u == u'\\') {
            out += u"\\\\"_s;
        } else if (u == u'\n') {
            out += u"\\n"_s;
        } else if (u == u'\r') {
            out += u"\\r"_s;
        } else if (u == u'\t') {
            out += u"\\t"_s;
        } else if (u == u' ' && (i == 0 || i == text.size() - 1)) {
            // Blanks at either end would be easy to lose in an editor.
            out += u"\\s"_s;
        } else if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
        } else if (u < 0x20 || u == 0x7f || c.isSurrogate() || u == u'=' || u == u'[' || u == u';' || u == u'#') {
            // Control characters, unpaired surrogates, and the characters that mean something
            // to the line format.
            out += u"\\u%1"_s.arg(u, 4, 16, QChar(u'0'));
        } else {
            out += c;
        }
    }
    return out;
}

bool SettingsStore::unescapeText(QStringView text, QString& out) {
    out.clear();
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != u'\\') {
            out += c;
            continue;
        }
        if (++i >= text.size()) {
            return false;
        }
        switch (text[i].unicode()) {
        case u'\\':
            out += u'\\';
            break;
        case u'n':
            out += u'\n';
            break;
        case u'r':
            out += u'\r';
            break;
        case u't':
            out += u'\t';
            break;
        case u's':
            out += u' ';
            break;
        case u'u': {
            if (i + 4 >= text.size()) {
                return false;
            }
            char16_t value = 0;
            for (int k = 1; k <= 4; ++k) {
                const int d = hexDigit(text[i + k]);
                if (d < 0) {
                    return false;
                }
                value = static_cast<char16_t>(value * 16 + d);
            }
            out += QChar(value);
            i += 4;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

void SettingsStore::load() {
    // Nothing there (or a link to nothing) is a first start, not a fault.
    if (os::kindFollowing(m_path) == os::FileKind::Missing) {
        return;
    }
    QString reason;
    // Bounded and regular files only: a link to a device or a pipe must neither grow without
    // end nor stop the start-up waiting for a writer.
    const std::optional<QByteArray> bytes = os::readFileBounded(m_path, kMaxFileBytes, true, &reason);
    if (!bytes) {
        if (os::kindFollowing(m_path) == os::FileKind::Missing) {
            return; // removed while we looked
        }
        m_loadState = LoadState::Unreadable;
        m_problems << u"The settings file \"%1\" could not be read (%2). The program starts with empty settings "
                      u"and does not overwrite that file."_s.arg(shownPath(), reason);
        return;
    }
    Parsed parsed = parse(*bytes);
    m_sections = std::move(parsed.sections);
    if (parsed.faultCount == 0) {
        m_loadState = LoadState::Fine;
        return;
    }
    m_loadState = LoadState::Damaged;
    for (const auto& [line, what] : parsed.faults) {
        if (line > 0) {
            m_problems << u"The settings file \"%1\", line %2: %3"_s.arg(shownPath(), QString::number(line), what);
        } else {
            m_problems << u"The settings file \"%1\": %2"_s.arg(shownPath(), what);
        }
    }
    const qsizetype unlisted = parsed.faultCount - static_cast<qsizetype>(parsed.faults.size());
    if (unlisted > 0) {
        m_problems << u"The settings file \"%1\" has %2 further lines that could not be read."_s.arg(
            shownPath(), QString::number(unlisted));
    }
    m_problems << u"The settings file \"%1\" is kept as it is: before the first change is saved it is copied "
                  u"to \"%1.damaged\"."_s.arg(shownPath());
}

SettingsStore::Parsed SettingsStore::parse(const QByteArray& bytes) {
    Parsed out;
    auto fault = [&out](qsizetype line, const QString& what) {
        if (static_cast<qsizetype>(out.faults.size()) < kMaxListedProblems) {
            out.faults.emplace_back(line, what);
        }
        ++out.faultCount;
    };
    QByteArrayView rest(bytes);
    if (rest.startsWith("\xEF\xBB\xBF")) {
        rest = rest.sliced(3);
    }
    Section* current = nullptr;
    bool inBadSection = false;
    qsizetype lineNumber = 0;
    while (!rest.isEmpty()) {
        ++lineNumber;
        const qsizetype end = rest.indexOf('\n');
        QByteArrayView raw = end < 0 ? rest : rest.first(end);
        rest = end < 0 ? QByteArrayView() : rest.sliced(end + 1);
        if (raw.endsWith('\r')) {
            raw.chop(1);
        }
        if (raw.isEmpty() || raw.startsWith(';') || raw.startsWith('#')) {
            continue;
        }
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString line = decoder(raw);
        if (decoder.hasError()) {
            fault(lineNumber, u"the line is not valid UTF-8 text; it was skipped."_s);
            continue;
        }
        if (line.startsWith(u'[')) {
            QString name;
            if (!line.endsWith(u']') || line.size() < 2 ||
                !unescapeText(QStringView(line).sliced(1, line.size() - 2), name)) {
                fault(lineNumber, u"a section heading must read [name]; the line and what follows it up to the "
                                  u"next heading were skipped."_s);
                current = nullptr;
                inBadSection = true;
                continue;
            }
            current = &sectionNamed(out.sections, name);
            inBadSection = false;
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0) {
            fault(lineNumber, u"the line has no \"=\" between key and value; it was skipped."_s);
            continue;
        }
        if (current == nullptr) {
            if (!inBadSection) {
                fault(lineNumber, u"the value stands before any [section] heading; it was skipped."_s);
            }
            continue;
        }
        QString key, value;
        if (!unescapeText(QStringView(line).first(eq), key) || !unescapeText(QStringView(line).sliced(eq + 1), value)) {
            fault(lineNumber, u"the line holds a backslash that starts no known escape; it was skipped."_s);
            continue;
        }
        bool replaced = false;
        for (auto& kv : current->values) {
            if (kv.first == key) {
                kv.second = value;
                replaced = true;
            }
        }
        if (!replaced) {
            current->values.emplace_back(key, value);
        }
    }
    return out;
}

SettingsStore::Section& SettingsStore::sectionNamed(Sections& sections, const QString& name) {
    for (Section& s : sections) {
        if (s.name == name) {
            return s;
        }
    }
    sections.push_back(Section{name, {}});
    return sections.back();
}

bool SettingsStore::setValue(Sections& sections, const QString& section, const QString& key, const QString& value) {
    Section& s = sectionNamed(sections, section);
    for (auto& kv : s.values) {
        if (kv.first == key) {
            if (kv.second == value) {
                return false;
            }
            kv.second = value;
            return true;
        }
    }
    s.values.emplace_back(key, value);
    return true;
}

QString SettingsStore::read(const QString& key, const QString& fallback) const {
    for (const Section& s : m_sections) {
        if (s.name != m_section) {
            continue;
        }
        for (const auto& kv : s.values) {
            if (kv.first == key) {
                return kv.second;
            }
        }
    }
    return fallback;
}

QByteArray SettingsStore::serialize(const Sections& sections) {
    QByteArray out(kHeader);
    for (const Section& s : sections) {
        out += '[';
        out += escapeText(s.name).toUtf8();
        out += "]\n";
        for (const auto& kv : s.values) {
            out += escapeText(kv.first).toUtf8();
            out += '=';
            out += escapeText(kv.second).toUtf8();
            out += '\n';
        }
    }
    return out;
}

void SettingsStore::keepDamagedCopy(const QByteArray& bytes) {
    const QString base = m_path + u".damaged"_s;
    for (int n = 1; n < 1000; ++n) {
        const QString candidate = n == 1 ? base : u"%1-%2"_s.arg(base).arg(n);
        // An earlier copy is never replaced, but it is made as private as a new one.
        if (os::kindOf(candidate) != os::FileKind::Missing) {
            os::tightenPermissions(candidate, kFileMode);
            continue;
        }
        QString reason;
        if (os::writeNewFile(candidate, bytes, kFileMode, &reason)) {
            m_backupPath = candidate;
            return;
        }
        if (os::kindOf(candidate) != os::FileKind::Missing) {
            continue; // another program took the name meanwhile
        }
        throw Failure(u"The damaged settings file \"%1\" could not be copied to \"%2\" (%3), so it is not "
                      u"overwritten; the change is kept until the program ends."_s.arg(
                          shownPath(), QDir::toNativeSeparators(candidate), reason));
    }
    throw Failure(u"The damaged settings file \"%1\" could not be copied: too many earlier copies lie beside it."_s.arg(
        shownPath()));
}

void SettingsStore::stage(const QString& key, const QString& value) {
    // Whatever happens to the file, this run reads the new value.
    setValue(m_sections, m_section, key, value);
    for (auto& kv : m_pending) {
        if (kv.first == key) {
            kv.second = value;
            return;
        }
    }
    m_pending.emplace_back(key, value);
}

void SettingsStore::save(const QString& key, const QString& value) {
    stage(key, value);
    writePending(m_lockTimeoutMs, nullptr);
}

bool SettingsStore::trySave(const std::vector<std::pair<QString, QString>>& values, QString* busy) {
    for (const auto& [key, value] : values) {
        stage(key, value);
    }
    QString why;
    return writePending(0, busy != nullptr ? busy : &why);
}

// With `busy` given, a lock that is not free makes it return false instead of throwing.
bool SettingsStore::writePending(int lockTimeoutMs, QString* busy) {
    const QString folder = QFileInfo(m_path).absolutePath();
    QString reason;
    if (!os::makeFolders(folder, kFolderMode, &reason)) {
        throw Failure(u"The settings folder \"%1\" could not be created (%2); the change is kept until the program "
                      u"ends."_s.arg(QDir::toNativeSeparators(folder), reason));
    }
    os::tightenPermissions(folder, kFolderMode);

    // Under the lock no other store changes the file between our reading it and replacing it.
    const QString lockPath = m_path + u".lock"_s;
    const os::FileLock lock = os::FileLock::acquire(lockPath, lockTimeoutMs, &reason);
    if (!lock.held() && busy != nullptr) {
        *busy = u"the settings file \"%1\" is being written by another program (%2)"_s.arg(shownPath(), reason);
        return false;
    }
    if (!lock.held()) {
        throw Failure(
            u"The settings file \"%1\" could not be written: its lock \"%2\" could not be taken (%3). The "
            u"change is kept until the program ends."_s.arg(shownPath(), QDir::toNativeSeparators(lockPath), reason));
    }

    Sections current;
    QByteArray bytes;
    bool exists = os::kindFollowing(m_path) != os::FileKind::Missing;
    bool damaged = false;
    if (exists) {
        const std::optional<QByteArray> read = os::readFileBounded(m_path, kMaxFileBytes, true, &reason);
        if (read) {
            bytes = *read;
            Parsed parsed = parse(bytes);
            current = std::move(parsed.sections);
            damaged = parsed.faultCount > 0;
        } else if (os::kindFollowing(m_path) != os::FileKind::Missing) {
            throw Failure(u"The settings file \"%1\" could not be read (%2), so it is not overwritten; the change is "
                          u"kept until the program ends."_s.arg(shownPath(), reason));
        } else {
            exists = false;
        }
    }

    bool changed = false;
    for (const auto& [k, v] : m_pending) {
        changed = setValue(current, m_section, k, v) || changed;
    }
    if (exists && !changed && !damaged) {
        os::tightenPermissions(m_path, kFileMode);
        m_sections = std::move(current);
        m_pending.clear();
        return true;
    }
    if (damaged) {
        // What could not be parsed would be lost by the rewrite: it is kept in a copy first.
        keepDamagedCopy(bytes);
    }
    // A store kept elsewhere through a symbolic link (a folder of one's own settings files) stays
    // there: the file the link leads to is replaced, and the link is left as it is.
    QString written = m_path;
    if (os::kindOf(m_path) == os::FileKind::SymbolicLink && os::kindFollowing(m_path) == os::FileKind::Regular) {
        written = QFileInfo(m_path).canonicalFilePath();
    }
    if (!os::replaceFileAtomically(written, serialize(current), kFileMode, &reason)) {
        throw Failure(u"The settings file \"%1\" could not be written (%2); the change is kept until the program "
                      u"ends."_s.arg(shownPath(), reason));
    }
    m_sections = std::move(current);
    m_pending.clear();
    return true;
}

} // namespace markwell
