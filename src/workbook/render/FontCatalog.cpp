#include "workbook/render/FontCatalog.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QMutex>
#include <QPainter>
#include <QRawFont>

#include <algorithm>
#include <array>
#include <cmath>
#include <future>
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

} // namespace

void ensureGuiApplication() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        throw std::runtime_error("A sheet picture can only be drawn once the graphical application has started.");
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
