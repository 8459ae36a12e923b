#include "workbook/render/FontCatalog.h"

#include "workbook/render/RenderError.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QMutex>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>

#include <algorithm>
#include <array>
#include <cmath>
#include <future>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace markwell::render {

namespace {

// A big-endian 16-bit field of a font table, or 0 past its end.
int tableField(const QByteArray& table, qsizetype at, bool isSigned) {
    if (at + 2 > table.size()) {
        return 0;
    }
    const auto value = static_cast<std::uint16_t>((static_cast<std::uint8_t>(table[at]) << 8) |
                                                  static_cast<std::uint8_t>(table[at + 1]));
    return isSigned ? static_cast<std::int16_t>(value) : value;
}

// Set while the font list is being read, once a reader was started.
std::shared_future<void>& fontListRead() {
    static std::shared_future<void> read;
    return read;
}
thread_local bool t_readingFontList = false;

// The font system takes its settings once; a lookup that came while the reader is still at it
// would take them a second time, alongside it.
void waitForFontList() {
    if (!t_readingFontList && fontListRead().valid()) {
        fontListRead().wait();
    }
}

// What is known about the installed faces, for finding one that has a character.
class FaceFinder {
public:
    static FaceFinder& instance() {
        static FaceFinder finder;
        return finder;
    }

    // The family and slant a character is drawn in when `font` lacks it (the family is empty
    // when no face has it), in the weight and slant of `font`.
    std::pair<QString, bool> faceFor(char32_t c, const QFont& font) {
        const QMutexLocker lock(&m_guard);
        const Key key{c, font.bold(), font.italic()};
        if (auto it = m_found.constFind(key); it != m_found.constEnd()) {
            return *it;
        }
        std::pair<QString, bool> found{QString(), font.italic()};
        const bool slants[] = {font.italic(), false};
        for (const bool italic : std::span(slants, font.italic() ? 2 : 1)) {
            for (const QString& family : families()) {
                if (face(family, font.bold(), italic).supportsCharacter(c)) {
                    found = {family, italic};
                    break;
                }
            }
            if (!found.first.isEmpty()) {
                break;
            }
        }
        m_found.insert(key, found);
        return found;
    }

    // The face of a font (a shared handle, to be asked outside the lock).
    QRawFont faceOf(const QFont& font) {
        const QMutexLocker lock(&m_guard);
        return face(font.family(), font.bold(), font.italic());
    }

    // A family whose missing-glyph box shows, `family` itself when its box does.
    QString boxFamily(const QString& family, bool bold, bool italic) {
        const QMutexLocker lock(&m_guard);
        if (hasVisibleBox(family, bold, italic)) {
            return family;
        }
        for (const QString& other : families()) {
            if (hasVisibleBox(other, bold, italic)) {
                return other;
            }
        }
        return family;
    }

private:
    struct Key {
        char32_t c;
        bool bold, italic;
        friend bool operator==(const Key&, const Key&) = default;
        friend size_t qHash(const Key& k, size_t seed = 0) noexcept {
            return qHashMulti(seed, static_cast<uint>(k.c), k.bold, k.italic);
        }
    };

    // The families looked through, in the font database's order; symbol fonts, whose codes
    // stand for other pictures than the characters, are left out.
    const QStringList& families() {
        if (m_families.isEmpty()) {
            waitForFontList();
            for (const QString& family : QFontDatabase::families()) {
                const QList<QFontDatabase::WritingSystem> systems = QFontDatabase::writingSystems(family);
                if (!systems.isEmpty() && !(systems.size() == 1 && systems.front() == QFontDatabase::Symbol) &&
                    !QFontDatabase::isPrivateFamily(family)) {
                    m_families.append(family);
                }
            }
        }
        return m_families;
    }

    const QRawFont& face(const QString& family, bool bold, bool italic) {
        const QString key = family + QLatin1Char(bold ? 'b' : '-') + QLatin1Char(italic ? 'i' : '-');
        auto it = m_faces.find(key);
        if (it == m_faces.end()) {
            QFont font(family);
            font.setPointSizeF(12);
            font.setBold(bold);
            font.setItalic(italic);
            font.setStyleStrategy(QFont::NoFontMerging);
            it = m_faces.insert(key, QRawFont::fromFont(font));
        }
        return *it;
    }

    bool hasVisibleBox(const QString& family, bool bold, bool italic) {
        const QRawFont& raw = face(family, bold, italic);
        return raw.isValid() && !raw.pathForGlyph(0).isEmpty();
    }

    QMutex m_guard;
    QStringList m_families;
    QHash<QString, QRawFont> m_faces;
    QHash<Key, std::pair<QString, bool>> m_found;
};

// Characters that go with the one before them: marks, joiners, selectors, spaces.
bool followsNeighbour(char32_t c) {
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Other_Format:
    case QChar::Separator_Space:
        return true;
    default:
        return (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF);
    }
}

} // namespace

std::vector<FontRun> fontRuns(const QString& text, const QFont& font) {
    FaceFinder& finder = FaceFinder::instance();
    const QRawFont own = finder.faceOf(font);
    std::vector<FontRun> runs;
    // The face of each character, by family and slant; the first one's is the font's own.
    QString family = font.family();
    bool italic = font.italic();
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype start = i;
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        ++i;
        QString wanted = font.family();
        bool wantedItalic = font.italic();
        if (!runs.empty() && followsNeighbour(c)) {
            wanted = family;
            wantedItalic = italic;
        } else if (!own.supportsCharacter(c)) {
            const auto [other, otherItalic] = finder.faceFor(c, font);
            if (other.isEmpty()) {
                wanted = finder.boxFamily(font.family(), font.bold(), font.italic());
            } else {
                wanted = other;
                wantedItalic = otherItalic;
            }
        }
        if (!runs.empty() && wanted == family && wantedItalic == italic) {
            runs.back().length += i - start;
            continue;
        }
        family = wanted;
        italic = wantedItalic;
        QFont face = font;
        face.setFamily(family);
        face.setItalic(italic);
        runs.push_back({start, i - start, face});
    }
    return runs;
}

void ensureGuiApplication() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        throw RenderError("A sheet picture can only be drawn once the graphical application has started.");
    }
}

const QImage& measuringDevice() {
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        image.setDotsPerMeterX(kScreenDotsPerMeter);
        image.setDotsPerMeterY(kScreenDotsPerMeter);
        return image;
    }();
    return device;
}

QString resolveFontFamily(const std::string& name) {
    waitForFontList();
    static QMutex guard;
    static QHash<QString, QString> cache;
    const QMutexLocker lock(&guard);
    const QString requested = QString::fromStdString(name);
    if (auto it = cache.constFind(requested); it != cache.constEnd()) {
        return *it;
    }
    static const std::array<std::pair<QString, QStringList>, 8> kStandIns{{
        {u"century gothic"_s, {u"URW Gothic"_s, u"URW Gothic L"_s}},
        {u"arial"_s, {u"Liberation Sans"_s, u"Arimo"_s, u"Nimbus Sans"_s}},
        {u"helvetica"_s, {u"Liberation Sans"_s, u"Nimbus Sans"_s, u"Arimo"_s}},
        {u"times new roman"_s, {u"Liberation Serif"_s, u"Tinos"_s, u"Nimbus Roman"_s}},
        {u"courier new"_s, {u"Liberation Mono"_s, u"Cousine"_s, u"Nimbus Mono PS"_s}},
        {u"calibri"_s, {u"Carlito"_s, u"Liberation Sans"_s}},
        {u"cambria"_s, {u"Caladea"_s, u"Liberation Serif"_s}},
        {u"verdana"_s, {u"DejaVu Sans"_s, u"Liberation Sans"_s}},
    }};
    QString family;
    if (!requested.isEmpty() && QFontDatabase::hasFamily(requested)) {
        family = requested;
    } else {
        const QString key = requested.toLower();
        for (const auto& [font, standIns] : kStandIns) {
            if (font == key) {
                for (const QString& s : standIns) {
                    if (QFontDatabase::hasFamily(s)) {
                        family = s;
                        break;
                    }
                }
            }
        }
    }
    if (family.isEmpty()) {
        family = QFontDatabase::hasFamily(u"Liberation Sans"_s)
                     ? u"Liberation Sans"_s
                     : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    }
    cache.insert(requested, family);
    return family;
}

QFont screenFont(const sheet::Font& font) {
    ensureGuiApplication();
    QFont f(resolveFontFamily(font.name));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(std::clamp(font.heightTwips, 20, 8191) / 20.0);
    f.setBold(font.bold);
    f.setItalic(font.italic);
    f.setUnderline(font.underline);
    f.setStrikeOut(font.strike);
    return f;
}

LineMetrics lineMetrics(const QFont& font) {
    // As spreadsheet programs read them: hhea ascender and descender unless both are zero (then
    // the Windows ones), the typographic ones when the OS/2 table's USE_TYPO_METRICS bit is set.
    const QRawFont raw = QRawFont::fromFont(font);
    const QByteArray hhea = raw.isValid() ? raw.fontTable("hhea") : QByteArray();
    const QByteArray os2 = raw.isValid() ? raw.fontTable("OS/2") : QByteArray();
    const double unitsPerEm = raw.isValid() ? raw.unitsPerEm() : 0;
    double ascent = tableField(hhea, 4, true);
    double descent = -tableField(hhea, 6, true);
    if (ascent == 0 && descent == 0) {
        ascent = tableField(os2, 74, false);
        descent = tableField(os2, 76, false);
    }
    const int typoAscent = tableField(os2, 68, true), typoDescent = tableField(os2, 70, true);
    if ((tableField(os2, 62, false) & 0x80) && typoAscent >= 0 && typoDescent <= 0) {
        ascent = typoAscent;
        descent = -typoDescent;
    }
    if (unitsPerEm <= 0 || ascent + descent <= 0) {
        const QFontMetricsF metrics(font, &measuringDevice());
        return {std::round(metrics.ascent()), std::round(metrics.descent())};
    }
    const double pixelsPerUnit = font.pointSizeF() * 96.0 / 72.0 / unitsPerEm;
    return {std::round(ascent * pixelsPerUnit), std::round(descent * pixelsPerUnit)};
}

int maxDigitWidth(const sheet::Font& font) {
    const QFontMetricsF metrics(screenFont(font), &measuringDevice());
    double widest = 0;
    for (char16_t d = u'0'; d <= u'9'; ++d) {
        widest = std::max(widest, metrics.horizontalAdvance(QChar(d)));
    }
    return std::max(1, static_cast<int>(std::lround(widest)));
}

FontListReader::FontListReader(std::vector<std::string> families) {
    ensureGuiApplication();
    std::promise<void> done;
    fontListRead() = done.get_future().share();
    m_thread = std::thread([done = std::move(done), families = std::move(families)]() mutable {
        t_readingFontList = true;
        (void)QFontDatabase::families();
        done.set_value();
        // The families asked for are looked up and drawn with once: what is learnt about them
        // (their stand-ins, the fonts to fall back on) serves every thread.
        QImage scratch(64, 16, QImage::Format_RGB32);
        QPainter painter(&scratch);
        for (const std::string& name : families) {
            for (const bool bold : {false, true}) {
                QFont font(resolveFontFamily(name));
                font.setPointSizeF(10);
                font.setBold(bold);
                painter.setFont(font);
                painter.drawText(0, 12, QStringLiteral("Ag 0.9 A-"));
            }
        }
    });
}

FontListReader::~FontListReader() {
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

} // namespace markwell::render
