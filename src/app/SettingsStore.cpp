#include "app/SettingsStore.h"

#include "common/ErrorReport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringDecoder>

using namespace Qt::Literals::StringLiterals;

namespace markwell {

namespace {

// A settings file larger than this is not one we wrote; it is left alone.
constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;
// Faults listed one by one; further ones are counted in a last line.
constexpr qsizetype kMaxListedProblems = 10;

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

void SettingsStore::problem(qsizetype line, const QString& what) {
    if (m_problems.size() >= kMaxListedProblems) {
        ++m_unlistedProblems;
        return;
    }
    if (line > 0) {
        m_problems << u"The settings file \"%1\", line %2: %3"_s.arg(QDir::toNativeSeparators(m_path),
                                                                     QString::number(line), what);
    } else {
        m_problems << u"The settings file \"%1\": %2"_s.arg(QDir::toNativeSeparators(m_path), what);
    }
}

void SettingsStore::load() {
    QFile file(m_path);
    if (!file.exists()) {
        return;
    }
    const QString shown = QDir::toNativeSeparators(m_path);
    if (QFileInfo(m_path).isDir()) {
        m_state = FileState::Unreadable;
        m_unreadableReason = u"it is a folder"_s;
    } else if (!file.open(QIODevice::ReadOnly)) {
        m_state = FileState::Unreadable;
        m_unreadableReason = file.errorString();
    } else if (file.size() > kMaxFileBytes) {
        m_state = FileState::Unreadable;
        m_unreadableReason = u"it is larger than %1 MB"_s.arg(kMaxFileBytes / (1024 * 1024));
    }
    if (m_state == FileState::Unreadable) {
        m_problems << u"The settings file \"%1\" could not be read (%2). The program starts with empty settings "
                      u"and will not overwrite that file."_s.arg(shown, m_unreadableReason);
        return;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        m_state = FileState::Unreadable;
        m_unreadableReason = file.errorString();
        m_problems << u"The settings file \"%1\" could not be read (%2). The program starts with empty settings "
                      u"and will not overwrite that file."_s.arg(shown, m_unreadableReason);
        return;
    }
    parse(bytes);
    if (m_unlistedProblems > 0) {
        m_problems << u"The settings file \"%1\" has %2 further lines that could not be read."_s.arg(
            shown, QString::number(m_unlistedProblems));
    }
    if (!m_problems.isEmpty()) {
        m_state = FileState::Damaged;
        m_original = bytes;
        m_problems << u"The settings file \"%1\" is kept as it is: before the first change is saved it is copied "
                      u"to \"%1.damaged\"."_s.arg(shown);
    }
}

void SettingsStore::parse(const QByteArray& bytes) {
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
            problem(lineNumber, u"the line is not valid UTF-8 text; it was skipped."_s);
            continue;
        }
        if (line.startsWith(u'[')) {
            QString name;
            if (!line.endsWith(u']') || line.size() < 2 ||
                !unescapeText(QStringView(line).sliced(1, line.size() - 2), name)) {
                problem(lineNumber, u"a section heading must read [name]; the line and what follows it up to the "
                                    u"next heading were skipped."_s);
                current = nullptr;
                inBadSection = true;
                continue;
            }
            current = &sectionNamed(name);
            inBadSection = false;
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0) {
            problem(lineNumber, u"the line has no \"=\" between key and value; it was skipped."_s);
            continue;
        }
        if (current == nullptr) {
            if (!inBadSection) {
                problem(lineNumber, u"the value stands before any [section] heading; it was skipped."_s);
            }
            continue;
        }
        QString key, value;
        if (!unescapeText(QStringView(line).first(eq), key) || !unescapeText(QStringView(line).sliced(eq + 1), value)) {
            problem(lineNumber, u"the line holds a backslash that starts no known escape; it was skipped."_s);
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
}

SettingsStore::Section& SettingsStore::sectionNamed(const QString& name) {
    for (Section& s : m_sections) {
        if (s.name == name) {
            return s;
        }
    }
    m_sections.push_back(Section{name, {}});
    return m_sections.back();
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

QByteArray SettingsStore::serialize() const {
    QByteArray out(kHeader);
    for (const Section& s : m_sections) {
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

void SettingsStore::keepDamagedCopy() {
    const QString base = m_path + u".damaged"_s;
    for (int n = 1; n < 1000; ++n) {
        const QString candidate = n == 1 ? base : u"%1-%2"_s.arg(base).arg(n);
        QFile copy(candidate);
        // NewOnly: an earlier copy is never replaced.
        if (!copy.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (copy.exists()) {
                continue;
            }
            throw Failure(
                u"The damaged settings file \"%1\" could not be copied to \"%2\" (%3), so it is not "
                u"overwritten; the change is kept until the program ends."_s.arg(
                    QDir::toNativeSeparators(m_path), QDir::toNativeSeparators(candidate), copy.errorString()));
        }
        if (copy.write(m_original) != m_original.size() || !copy.flush()) {
            const QString reason = copy.errorString();
            copy.close();
            copy.remove();
            throw Failure(u"The damaged settings file \"%1\" could not be copied to \"%2\" (%3), so it is not "
                          u"overwritten; the change is kept until the program ends."_s.arg(
                              QDir::toNativeSeparators(m_path), QDir::toNativeSeparators(candidate), reason));
        }
        copy.close();
        m_backupPath = candidate;
        return;
    }
    throw Failure(u"The damaged settings file \"%1\" could not be copied: too many earlier copies lie beside it."_s.arg(
        QDir::toNativeSeparators(m_path)));
}

void SettingsStore::save(const QString& key, const QString& value) {
    Section& section = sectionNamed(m_section);
    bool found = false;
    for (auto& kv : section.values) {
        if (kv.first == key) {
            if (kv.second == value && m_state == FileState::Fine && QFile::exists(m_path)) {
                return;
            }
            kv.second = value;
            found = true;
        }
    }
    if (!found) {
        section.values.emplace_back(key, value);
    }

    const QString shown = QDir::toNativeSeparators(m_path);
    if (m_state == FileState::Unreadable) {
        throw Failure(u"The settings file \"%1\" could not be read (%2), so it is not overwritten; the change is "
                      u"kept until the program ends."_s.arg(shown, m_unreadableReason));
    }
    if (m_state == FileState::Damaged) {
        keepDamagedCopy();
        m_state = FileState::Fine;
        m_original.clear();
    }
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath())) {
        throw Failure(u"The settings folder \"%1\" could not be created; the change is kept until the program "
                      u"ends."_s.arg(QDir::toNativeSeparators(QFileInfo(m_path).absolutePath())));
    }
    QSaveFile file(m_path);
    const QByteArray bytes = serialize();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        throw Failure(u"The settings file \"%1\" could not be written (%2); the change is kept until the program "
                      u"ends."_s.arg(shown, file.errorString()));
    }
}

} // namespace markwell
