#include "workbook/render/SheetPainter.h"

#include "os/Memory.h"
#include "workbook/render/NumberFormatter.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QMutex>
#include <QPainter>
#include <QRawFont>
#include <QTextLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <future>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

using namespace Qt::Literals::StringLiterals;

namespace markwell::render {

namespace {

// 96 dots per inch in dots per metre.
constexpr int kDotsPerMeter = 3780;
// Space between a cell's grid lines and its text.
constexpr double kTextPadding = 2.0;
constexpr std::uint32_t kGridlineColour = 0xD0D0D0;
constexpr std::uint32_t kCutBandColour = 0xC0282D;
constexpr int kCutBandThickness = 22;

QColor rgb(std::uint32_t value) {
    return QColor::fromRgb(static_cast<int>((value >> 16) & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                           static_cast<int>(value & 0xFF));
}

void ensureGuiApplication() {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        throw RenderError("A sheet picture can only be drawn once the graphical application has started.");
    }
}

const sheet::Sheet& sheetAt(const sheet::Workbook& workbook, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= workbook.sheets.size()) {
        throw std::invalid_argument("The workbook has no sheet number " + std::to_string(index + 1) + ".");
    }
    return workbook.sheets[static_cast<std::size_t>(index)];
}

// A device with the screen resolution, for measuring text as it will be drawn.
const QImage& measuringDevice() {
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        image.setDotsPerMeterX(kDotsPerMeter);
        image.setDotsPerMeterY(kDotsPerMeter);
        return image;
    }();
    return device;
}

struct Stroke {
    int width = 1;           // pixels across the line
    std::array<int, 2> on{}; // dash pattern: pixels on, pixels off; {0, 0} for solid
    bool doubled = false;
};

Stroke strokeOf(sheet::BorderStyle style) {
    switch (style) {
    case sheet::BorderStyle::Medium:
        return {2, {0, 0}, false};
    case sheet::BorderStyle::Thick:
        return {3, {0, 0}, false};
    case sheet::BorderStyle::Dashed:
        return {1, {3, 1}, false};
    case sheet::BorderStyle::Dotted:
        return {1, {1, 1}, false};
    case sheet::BorderStyle::Hair:
        return {1, {1, 2}, false};
    case sheet::BorderStyle::Double:
        return {3, {0, 0}, true};
    case sheet::BorderStyle::Thin:
    case sheet::BorderStyle::None:
        break;
    }
    return {1, {0, 0}, false};
}

// Draws a border along a grid line: horizontal when `horizontal`, at `line`, over the pixels
// from..to (inclusive) along it.
void drawBorder(QPainter& p, bool horizontal, int line, int from, int to, const sheet::Border& border) {
    if (border.style == sheet::BorderStyle::None || to < from) {
        return;
    }
    const Stroke s = strokeOf(border.style);
    const QColor colour = rgb(border.colour);
    const int first = line - (s.width - 1) / 2;
    auto run = [&](int across, int start, int length) {
        if (horizontal) {
            p.fillRect(start, across, length, 1, colour);
        } else {
            p.fillRect(across, start, 1, length, colour);
        }
    };
    for (int k = 0; k < s.width; ++k) {
        const int across = first + k;
        if (s.doubled && k == 1) {
            // The gap between the two lines of a double border.
            if (horizontal) {
                p.fillRect(from, across, to - from + 1, 1, Qt::white);
            } else {
                p.fillRect(across, from, 1, to - from + 1, Qt::white);
            }
            continue;
        }
        if (s.on[0] == 0) {
            run(across, from, to - from + 1);
            continue;
        }
        const int period = s.on[0] + s.on[1];
        for (int at = from; at <= to; at += period) {
            run(across, at, std::min(s.on[0], to - at + 1));
        }
    }
}

// Everything that is derived once per cell format.
struct FormatStyle {
    const sheet::CellFormat* format = nullptr;
    QFont font;
    std::unique_ptr<QFontMetricsF> metrics;
    LineMetrics lines;
    std::unique_ptr<NumberFormatter> formatter;
};

// A big-endian 16-bit field of a font table, or 0 past its end.
int tableField(const QByteArray& table, qsizetype at, bool isSigned) {
    if (at + 2 > table.size()) {
        return 0;
    }
    const auto value = static_cast<std::uint16_t>((static_cast<std::uint8_t>(table[at]) << 8) |
                                                  static_cast<std::uint8_t>(table[at + 1]));
    return isSigned ? static_cast<std::int16_t>(value) : value;
}

class PaintJob {
public:
    // Text is measured on `device`, the device it is drawn on.
    PaintJob(const sheet::Workbook& workbook, const sheet::Sheet& sheet, const SheetLayout& layout,
             const QPaintDevice& device)
        : m_workbook(workbook), m_sheet(sheet), m_layout(layout), m_device(device), m_shown(layout.shownArea()) {
        m_styles.resize(std::max<std::size_t>(workbook.formats.size(), 1));
        m_rowMerges.resize(static_cast<std::size_t>(m_shown.rows()));
        const auto& merges = layout.merges();
        for (std::size_t i = 0; i < merges.size(); ++i) {
            const int from = std::max(merges[i].first.row, m_shown.first.row);
            const int to = std::min(merges[i].last.row, m_shown.last.row);
            for (int r = from; r <= to; ++r) {
                m_rowMerges[static_cast<std::size_t>(r - m_shown.first.row)].push_back(i);
            }
        }
    }

    // The picture on screen: white ground, gridlines where the sheet shows them, cut bands.
    void run(QPainter& p) {
        p.fillRect(QRect(0, 0, m_layout.width(), m_layout.height()), Qt::white);
        if (m_sheet.showGridlines) {
            drawGridlines(p);
        }
        run(p, kAllLayers);
        drawCutBands(p);
    }

    void run(QPainter& p, int layers) {
        if (layers & kFillLayer) {
            forEachShownCell([&](int row, int col) { drawFill(p, row, col); });
            for (const sheet::Area& m : m_layout.merges()) {
                drawMergeFill(p, m);
            }
        }
        if (layers & kTextLayer) {
            p.setRenderHint(QPainter::TextAntialiasing, true);
            forEachShownCell([&](int row, int col) { drawText(p, row, col); });
        }
        if (layers & kBorderLayer) {
            forEachShownCell([&](int row, int col) { drawBorders(p, row, col); });
        }
    }

private:
    template <typename Fn> void forEachShownCell(Fn&& fn) {
        for (int row = m_shown.first.row; row <= m_shown.last.row; ++row) {
            if (m_layout.rowLine(row + 1) == m_layout.rowLine(row)) {
                continue;
            }
            for (int col = m_shown.first.col; col <= m_shown.last.col; ++col) {
                if (m_layout.columnLine(col + 1) != m_layout.columnLine(col)) {
                    fn(row, col);
                }
            }
        }
    }

    const sheet::Area* mergeAt(int row, int col) const {
        if (row < m_shown.first.row || row > m_shown.last.row) {
            return nullptr;
        }
        for (std::size_t i : m_rowMerges[static_cast<std::size_t>(row - m_shown.first.row)]) {
            const sheet::Area& m = m_layout.merges()[i];
            if (col >= m.first.col && col <= m.last.col) {
                return &m;
            }
        }
        return nullptr;
    }

    // The format a cell shows: its own, else its row's, else its column's.
    std::uint32_t formatIndex(int row, int col) const {
        std::uint32_t index = 0;
        if (const sheet::Cell* c = m_sheet.cell(row, col)) {
            index = c->format;
        } else if (const sheet::RowInfo* r = m_sheet.rowInfoAt(row); r && r->format) {
            index = *r->format;
        } else if (const sheet::ColumnInfo* ci = m_sheet.columnInfoAt(col); ci && ci->format) {
            index = *ci->format;
        }
        return index < m_workbook.formats.size() ? index : 0;
    }

    FormatStyle& style(std::uint32_t index) {
        FormatStyle& s = m_styles[index];
        if (!s.format) {
            static const sheet::CellFormat kDefault;
            s.format = index < m_workbook.formats.size() ? &m_workbook.formats[index] : &kDefault;
            s.font = screenFont(s.format->font);
            s.metrics = std::make_unique<QFontMetricsF>(s.font, &m_device);
            s.lines = lineMetrics(s.font);
            s.formatter = std::make_unique<NumberFormatter>(s.format->numberFormat, m_workbook.date1904);
        }
        return s;
    }

    // A cell whose neighbour's text may run over it: no value, no formula, not merged.
    bool isVacant(int row, int col) const {
        if (mergeAt(row, col)) {
            return false;
        }
        const sheet::Cell* c = m_sheet.cell(row, col);
        return !c || (c->value.isEmpty() && !c->formula);
    }

    void drawGridlines(QPainter& p) {
        const QColor grid = rgb(kGridlineColour);
        for (int x : m_layout.columnLines()) {
            p.fillRect(x, 0, 1, m_layout.height(), grid);
        }
        for (int y : m_layout.rowLines()) {
            p.fillRect(0, y, m_layout.width(), 1, grid);
        }
    }

    void drawFill(QPainter& p, int row, int col) {
        if (mergeAt(row, col)) {
            return;
        }
        const sheet::CellFormat& f = *style(formatIndex(row, col)).format;
        if (!f.fill) {
            return;
        }
        const int x0 = m_layout.columnLine(col), x1 = m_layout.columnLine(col + 1);
        const int y0 = m_layout.rowLine(row), y1 = m_layout.rowLine(row + 1);
        p.fillRect(x0, y0, x1 - x0 + 1, y1 - y0 + 1, rgb(*f.fill));
    }

    void drawMergeFill(QPainter& p, const sheet::Area& m) {
        const SheetLayout::Box b = m_layout.box(m);
        if (b.empty()) {
            return;
        }
        const sheet::CellFormat& f = *style(formatIndex(m.first.row, m.first.col)).format;
        if (f.fill) {
            p.fillRect(b.left, b.top, b.right - b.left + 1, b.bottom - b.top + 1, rgb(*f.fill));
        } else {
            // One cell: no gridlines inside it.
            p.fillRect(b.left + 1, b.top + 1, b.right - b.left - 1, b.bottom - b.top - 1, Qt::white);
        }
    }

    void drawText(QPainter& p, int row, int col) {
        const sheet::Area* merge = mergeAt(row, col);
        if (merge && (merge->first.row != row || merge->first.col != col)) {
            return;
        }
        const sheet::Cell* cell = m_sheet.cell(row, col);
        if (!cell || cell->value.isEmpty()) {
            return;
        }
        FormatStyle& st = style(formatIndex(row, col));
        const sheet::CellFormat& f = *st.format;
        const SheetLayout::Box box = m_layout.box(merge ? *merge : sheet::Area{{row, col}, {row, col}});
        if (box.empty()) {
            return;
        }
        const QRectF interior(box.left + 1, box.top + 1, box.right - box.left - 1, box.bottom - box.top - 1);
        double indent = 0;
        if (f.indent > 0 && (f.halign == sheet::HAlign::Left || f.halign == sheet::HAlign::Right)) {
            indent = f.indent * 3 * st.metrics->horizontalAdvance(u' ');
        }
        QRectF anchor = interior.adjusted(kTextPadding, 0, -kTextPadding, -1);
        if (f.halign == sheet::HAlign::Right) {
            anchor.adjust(0, 0, -indent, 0);
        } else {
            anchor.adjust(indent, 0, 0, 0);
        }
        const double room = std::max(anchor.width(), 0.0);

        DisplayText shown = st.formatter->format(cell->value);
        QString text = QString::fromStdString(shown.text);
        const bool wrap = f.wrap || f.halign == sheet::HAlign::Justify || f.valign == sheet::VAlign::Justify;
        if (!wrap) {
            text.replace(u'\n', u' ');
        }
        if (shown.kind == ValueKind::Number && f.rotation == 0) {
            text = fitNumber(*st.formatter, cell->value, *st.metrics, room);
        }
        if (text.isEmpty()) {
            return;
        }

        sheet::HAlign align = f.halign;
        if (align == sheet::HAlign::General) {
            // Texts go with their reading direction: a right-to-left one starts at the right.
            align = shown.kind == ValueKind::Number ? sheet::HAlign::Right
                    : shown.kind == ValueKind::Text
                        ? (text.isRightToLeft() ? sheet::HAlign::Right : sheet::HAlign::Left)
                        : sheet::HAlign::Center;
        }
        int flags = 0;
        switch (align) {
        case sheet::HAlign::Right:
            flags |= Qt::AlignRight;
            break;
        case sheet::HAlign::Center:
        case sheet::HAlign::CenterAcross:
            flags |= Qt::AlignHCenter;
            break;
        case sheet::HAlign::Justify:
            flags |= Qt::AlignJustify;
            break;
        default:
            flags |= Qt::AlignLeft;
            break;
        }
        if (f.rotation != 0 && !wrap) {
            switch (f.valign) {
            case sheet::VAlign::Top:
            case sheet::VAlign::Justify:
                flags |= Qt::AlignTop;
                break;
            case sheet::VAlign::Center:
                flags |= Qt::AlignVCenter;
                break;
            case sheet::VAlign::Bottom:
                flags |= Qt::AlignBottom;
                break;
            }
        }

        QRectF clip = interior;
        if (align == sheet::HAlign::Fill && !wrap) {
            // Repeated to fill the cell.
            const double once = st.metrics->horizontalAdvance(text);
            const int times = std::max(1, static_cast<int>(room / std::max(once, 1.0)));
            text = text.repeated(times);
        } else if (align == sheet::HAlign::CenterAcross && !merge) {
            int last = col;
            while (last + 1 <= m_shown.last.col && isVacant(row, last + 1) &&
                   style(formatIndex(row, last + 1)).format->halign == sheet::HAlign::CenterAcross) {
                ++last;
            }
            const SheetLayout::Box across = m_layout.box({{row, col}, {row, last}});
            anchor.setRight(across.right - kTextPadding);
            clip.setRight(across.right);
        } else if (!wrap && !merge && shown.kind == ValueKind::Text && f.rotation == 0) {
            clip = overflowClip(p, row, col, align, st.metrics->horizontalAdvance(text) + 2 * kTextPadding + indent,
                                interior);
        }

        p.save();
        p.setClipRect(clip, Qt::IntersectClip); // within any clip of the caller
        p.setFont(st.font);
        p.setPen(rgb(shown.colour.value_or(f.font.colour)));
        if (f.rotation != 0 && !wrap) {
            drawRotated(p, interior, text, f.rotation, flags);
        } else {
            drawLines(p, anchor, text, static_cast<Qt::Alignment>(flags), f.valign, wrap, st);
        }
        p.restore();
    }

    // Lays the text out in lines (wrapped at word boundaries to the anchor's width when `wrap`),
    // spaced and placed as spreadsheet programs do: the lines stack at the font's line height and
    // the block of them sits at the top, the middle or the bottom of the anchor; what does not fit
    // runs over the edges and is clipped there.
    void drawLines(QPainter& p, const QRectF& anchor, QString text, Qt::Alignment align, sheet::VAlign valign,
                   bool wrap, const FormatStyle& st) {
        if (wrap) {
            text.replace(u'\n', QChar::LineSeparator);
        }
        QTextLayout layout(text, st.font, p.device());
        // Left and right stay where they are whatever the text's direction.
        QTextOption option(align | Qt::AlignAbsolute);
        option.setWrapMode(wrap ? QTextOption::WordWrap : QTextOption::NoWrap);
        option.setTextDirection(text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
        layout.setTextOption(option);
        const double width = std::max(anchor.width(), 0.0);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
        }
        layout.endLayout();
        const int count = layout.lineCount();
        const double block = count * st.lines.height();
        double top = anchor.bottom() - block;
        if (valign == sheet::VAlign::Top || valign == sheet::VAlign::Justify) {
            top = anchor.top();
        } else if (valign == sheet::VAlign::Center) {
            top = anchor.center().y() - block / 2;
        }
        for (int i = 0; i < count; ++i) {
            QTextLine line = layout.lineAt(i);
            const double baseline = std::round(top + i * st.lines.height() + st.lines.ascent);
            line.setPosition(QPointF(0, baseline - line.ascent()));
        }
        layout.draw(&p, QPointF(anchor.left(), 0));
    }

    // The room a text may take beyond its cell: over the vacant cells beside it, on the side its
    // alignment lets it grow, as far as it needs. The gridlines it crosses are hidden, as on screen.
    QRectF overflowClip(QPainter& p, int row, int col, sheet::HAlign align, double needed, const QRectF& interior) {
        if (needed <= interior.width()) {
            return interior;
        }
        double left = interior.left(), right = interior.right();
        const bool growRight = align == sheet::HAlign::Left || align == sheet::HAlign::Center ||
                               align == sheet::HAlign::General || align == sheet::HAlign::Fill;
        const bool growLeft = align == sheet::HAlign::Right || align == sheet::HAlign::Center;
        const double excess = needed - interior.width();
        const double perSide = growLeft && growRight ? excess / 2 : excess;
        if (growRight) {
            for (int c = col + 1; c <= m_shown.last.col && right - interior.right() < perSide && isVacant(row, c);
                 ++c) {
                hideGridline(p, row, c - 1, c, interior);
                right = m_layout.columnLine(c + 1);
            }
        }
        if (growLeft) {
            for (int c = col - 1; c >= m_shown.first.col && interior.left() - left < perSide && isVacant(row, c); --c) {
                hideGridline(p, row, c, c + 1, interior);
                left = m_layout.columnLine(c) + 1;
            }
        }
        return QRectF(QPointF(left, interior.top()), QPointF(right, interior.bottom()));
    }

    // Clears the gridline between two cells of a row where neither cell's fill already covers it.
    void hideGridline(QPainter& p, int row, int leftCol, int rightCol, const QRectF& interior) {
        if (!m_sheet.showGridlines || style(formatIndex(row, leftCol)).format->fill ||
            style(formatIndex(row, rightCol)).format->fill) {
            return;
        }
        p.fillRect(QRectF(m_layout.columnLine(rightCol), interior.top(), 1, interior.height()), Qt::white);
    }

    void drawRotated(QPainter& p, const QRectF& interior, QString text, int rotation, int flags) {
        if (rotation == 255) {
            // Stacked: one character under the other.
            QString stacked;
            for (qsizetype i = 0; i < text.size(); ++i) {
                if (i > 0) {
                    stacked += u'\n';
                }
                stacked += text[i];
            }
            p.drawText(interior, (flags & Qt::AlignVertical_Mask) | Qt::AlignHCenter | Qt::TextDontClip, stacked);
            return;
        }
        // 1 to 90: counter-clockwise; 91 to 180: clockwise by the value less 90.
        const double degrees = rotation <= 90 ? -rotation : rotation - 90;
        p.translate(interior.center());
        p.rotate(degrees);
        const double extent = std::hypot(interior.width(), interior.height()) * 2;
        const QRectF around(-extent / 2, -extent / 2, extent, extent);
        p.drawText(around, Qt::AlignCenter | Qt::TextDontClip, text);
    }

    void drawBorders(QPainter& p, int row, int col) {
        const sheet::CellFormat& f = *style(formatIndex(row, col)).format;
        if (f.left.style == sheet::BorderStyle::None && f.right.style == sheet::BorderStyle::None &&
            f.top.style == sheet::BorderStyle::None && f.bottom.style == sheet::BorderStyle::None) {
            return;
        }
        const sheet::Area* merge = mergeAt(row, col);
        const int x0 = m_layout.columnLine(col), x1 = m_layout.columnLine(col + 1);
        const int y0 = m_layout.rowLine(row), y1 = m_layout.rowLine(row + 1);
        // Inside a merged range only the edges on its outline are drawn.
        const bool atLeft = !merge || col == merge->first.col;
        const bool atRight = !merge || col == merge->last.col;
        const bool atTop = !merge || row == merge->first.row;
        const bool atBottom = !merge || row == merge->last.row;
        if (atTop) {
            drawBorder(p, true, y0, x0, x1, f.top);
        }
        if (atBottom) {
            drawBorder(p, true, y1, x0, x1, f.bottom);
        }
        if (atLeft) {
            drawBorder(p, false, x0, y0, y1, f.left);
        }
        if (atRight) {
            drawBorder(p, false, x1, y0, y1, f.right);
        }
    }

    void drawCutBands(QPainter& p) {
        if (!m_layout.cutRight() && !m_layout.cutBottom()) {
            return;
        }
        QFont font(resolveFontFamily("Arial"));
        font.setPointSizeF(9);
        font.setBold(true);
        p.setFont(font);
        const QColor band = rgb(kCutBandColour);
        const int w = m_layout.width(), h = m_layout.height();
        if (m_layout.cutBottom()) {
            const int t = std::min(kCutBandThickness, h);
            const QRect r(0, h - t, w, t);
            p.fillRect(r, band);
            p.setPen(Qt::white);
            p.drawText(r.adjusted(6, 0, -6, 0), Qt::AlignLeft | Qt::AlignVCenter, cutNotice());
        }
        if (m_layout.cutRight()) {
            const int t = std::min(kCutBandThickness, w);
            const QRect r(w - t, 0, t, h);
            p.fillRect(r, band);
            p.save();
            p.setPen(Qt::white);
            p.translate(r.left() + r.width() / 2.0, 0);
            p.rotate(90);
            p.drawText(QRectF(6, -t / 2.0, std::max(h - 12, 1), t), Qt::AlignLeft | Qt::AlignVCenter, cutNotice());
            p.restore();
        }
    }

    const sheet::Workbook& m_workbook;
    const sheet::Sheet& m_sheet;
    const SheetLayout& m_layout;
    const QPaintDevice& m_device;
    sheet::Area m_shown;
    std::vector<FormatStyle> m_styles;
    std::vector<std::vector<std::size_t>> m_rowMerges;
};

} // namespace

namespace {

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

QString fitNumber(const NumberFormatter& formatter, const sheet::Value& value, const QFontMetricsF& metrics,
                  double room) {
    const DisplayText shown = formatter.format(value);
    QString text = QString::fromStdString(shown.text);
    if (formatter.isGeneral()) {
        for (int chars = 10; chars > 0 && metrics.horizontalAdvance(text) > room; --chars) {
            text = QString::fromStdString(formatter.format(value, chars).text);
        }
    }
    if (shown.unshowable || metrics.horizontalAdvance(text) > room) {
        const double hash = std::max(metrics.horizontalAdvance(u'#'), 1.0);
        text = QString(std::max(1, static_cast<int>(room / hash)), u'#');
    }
    return text;
}

QString cutNotice() {
    return u"Picture cut: the sheet is larger than can be shown"_s;
}

SheetPainter::SheetPainter(const sheet::Workbook& workbook, int sheetIndex, RenderLimits limits)
    : m_workbook(workbook), m_sheet(sheetAt(workbook, sheetIndex)), m_limits(limits) {}

QImage SheetPainter::paint(const sheet::Area& area) const {
    ensureGuiApplication();
    static const sheet::Font kDefaultFont;
    const sheet::Font& base = m_workbook.formats.empty() ? kDefaultFont : m_workbook.formats.front().font;
    const SheetLayout layout(m_sheet, area, maxDigitWidth(base), m_limits);
    QImage image = newPicture(layout.width(), layout.height(), QImage::Format_RGB32);
    if (image.isNull()) {
        throw RenderError("There is not enough memory for a picture of " + std::to_string(layout.width()) + " x " +
                          std::to_string(layout.height()) + " pixels.");
    }
    image.setDotsPerMeterX(kDotsPerMeter);
    image.setDotsPerMeterY(kDotsPerMeter);
    {
        QPainter painter(&image);
        PaintJob(m_workbook, m_sheet, layout, image).run(painter);
    }
    return image;
}

void SheetPainter::paintOn(QPainter& painter, const SheetLayout& layout, int layers) const {
    ensureGuiApplication();
    if (!painter.isActive()) {
        throw RenderError("The sheet cannot be drawn: the painter is not active.");
    }
    PaintJob(m_workbook, m_sheet, layout, *painter.device()).run(painter, layers);
}

QImage newPicture(int width, int height, QImage::Format format) {
    // Small pictures are left to the ordinary allocator.
    constexpr qsizetype kLarge = qsizetype{1} << 20;
    const auto depth = static_cast<qsizetype>(QImage::toPixelFormat(format).bitsPerPixel());
    if (width <= 0 || height <= 0 || depth <= 0) {
        return {};
    }
    // Rows start on 32-bit boundaries, as QImage lays them out itself.
    const qsizetype bytesPerLine = (static_cast<qsizetype>(width) * depth + 31) / 32 * 4;
    if (bytesPerLine > std::numeric_limits<qsizetype>::max() / height) {
        return {};
    }
    const qsizetype total = bytesPerLine * height;
    if (total < kLarge) {
        return QImage(width, height, format);
    }
    void* block = os::allocateLargeBlock(static_cast<std::size_t>(total));
    if (block == nullptr) {
        return {};
    }
    struct Held {
        void* block;
        std::size_t bytes;
    };
    auto* held = new Held{block, static_cast<std::size_t>(total)};
    return QImage(
        static_cast<uchar*>(block), width, height, bytesPerLine, format,
        [](void* info) {
            auto* h = static_cast<Held*>(info);
            os::releaseLargeBlock(h->block, h->bytes);
            delete h;
        },
        held);
}

FontListReader::FontListReader() {
    ensureGuiApplication();
    std::promise<void> done;
    fontListRead() = done.get_future().share();
    m_thread = std::thread([done = std::move(done)]() mutable {
        t_readingFontList = true;
        (void)QFontDatabase::families();
        done.set_value();
        // The families the gradebook uses are looked up and drawn with once: what is learnt about
        // them (their stand-ins, the fonts to fall back on) serves every thread.
        QImage scratch(64, 16, QImage::Format_RGB32);
        QPainter painter(&scratch);
        for (const char* name : {"Century Gothic", "Arial"}) {
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

QImage renderSheetPicture(const sheet::Workbook& workbook, int sheetIndex, sheet::Area area, RenderLimits limits) {
    return SheetPainter(workbook, sheetIndex, limits).paint(area);
}

} // namespace markwell::render
