#include "workbook/render/SheetPainter.h"

#include "workbook/render/NumberFormatter.h"
#include "workbook/render/PictureMemory.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>

using namespace Qt::Literals::StringLiterals;

namespace markwell::render {

namespace {

// Space between a cell's grid lines and its text.
constexpr double kTextPadding = 2.0;
constexpr std::uint32_t kGridlineColour = 0xD0D0D0;
constexpr std::uint32_t kCutBandColour = 0xC0282D;
constexpr int kCutBandThickness = 22;

QColor rgb(std::uint32_t value) {
    return QColor::fromRgb(static_cast<int>((value >> 16) & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                           static_cast<int>(value & 0xFF));
}

const sheet::Sheet& sheetAt(const sheet::Workbook& workbook, int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= workbook.sheets.size()) {
        throw std::invalid_argument("The workbook has no sheet number " + std::to_string(index + 1) + ".");
    }
    return workbook.sheets[static_cast<std::size_t>(index)];
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

// Draws a border along a grid line: horizontal when `horizontal`, at `line`, over the units
// from..to (inclusive) along it; a pixel is `u` units (see SheetLayout).
void drawBorder(QPainter& p, bool horizontal, int line, int from, int to, const sheet::Border& border, int u) {
    if (border.style == sheet::BorderStyle::None || to < from) {
        return;
    }
    const Stroke s = strokeOf(border.style);
    const QColor colour = rgb(border.colour);
    const int first = line - (s.width - 1) / 2 * u;
    auto run = [&](int across, int start, int length, const QColor& c) {
        if (horizontal) {
            p.fillRect(start, across, length, u, c);
        } else {
            p.fillRect(across, start, u, length, c);
        }
    };
    const int end = to + u; // just past the last pixel
    for (int k = 0; k < s.width; ++k) {
        const int across = first + k * u;
        if (s.doubled && k == 1) {
            run(across, from, end - from, Qt::white); // the gap between the two lines
            continue;
        }
        if (s.on[0] == 0) {
            run(across, from, end - from, colour);
            continue;
        }
        const int period = (s.on[0] + s.on[1]) * u;
        for (int at = from; at < end; at += period) {
            run(across, at, std::min(s.on[0] * u, end - at), colour);
        }
    }
}

// A sheet repeats its numbers and texts (the same points in many cells): what a cell shows and how
// its text is laid out is found once per format and drawn again wherever it recurs, up to this
// many of each kind per format.
constexpr std::size_t kMaxRemembered = 4096;

// A number as a cell of one format shows it with `room` pixels for its text.
struct ShownNumber {
    DisplayText shown;
    QString text;
};

struct NumberKey {
    std::uint64_t number;
    std::uint64_t room;
    bool operator==(const NumberKey&) const = default;
};

struct LayoutKey {
    QString text;
    std::uint64_t width;
    int align;
    bool wrap;
    bool operator==(const LayoutKey&) const = default;
};

struct KeyHash {
    std::size_t operator()(const NumberKey& k) const { return std::hash<std::uint64_t>()(k.number * 31 + k.room); }
    std::size_t operator()(const LayoutKey& k) const {
        return qHash(k.text) ^ std::hash<std::uint64_t>()(k.width * 131 + static_cast<std::uint64_t>(k.align) * 2 +
                                                          static_cast<std::uint64_t>(k.wrap));
    }
};

// Everything that is derived once per cell format.
struct FormatStyle {
    const sheet::CellFormat* format = nullptr;
    QFont font;
    std::unique_ptr<QFontMetricsF> metrics;
    LineMetrics lines;
    std::unique_ptr<NumberFormatter> formatter;
    std::unordered_map<NumberKey, ShownNumber, KeyHash> numbers;
    std::unordered_map<LayoutKey, std::unique_ptr<QTextLayout>, KeyHash> layouts;
};

// Characters the font's face lacks are drawn in faces that have them (see fontRuns).
void setFonts(QTextLayout& layout, const QString& text, const QFont& font) {
    const std::vector<FontRun> runs = fontRuns(text, font);
    if (runs.size() == 1 && runs.front().font == font) {
        return;
    }
    QList<QTextLayout::FormatRange> formats;
    for (const FontRun& run : runs) {
        QTextLayout::FormatRange range;
        range.start = static_cast<int>(run.start);
        range.length = static_cast<int>(run.length);
        range.format.setFont(run.font);
        formats.append(range);
    }
    layout.setFormats(formats);
}

class PaintJob {
public:
    // Text is measured on `device`, the device it is drawn on.
    PaintJob(const sheet::Workbook& workbook, const sheet::Sheet& sheet, const SheetLayout& layout,
             const QPaintDevice& device)
        : m_workbook(workbook), m_sheet(sheet), m_layout(layout), m_device(device), m_unit(layout.unit()),
          m_shown(layout.shownArea()) {
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

    void setTextLayer(PdfTextLayer* layer) { m_textLayer = layer; }

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
            s.lines.ascent *= m_unit;
            s.lines.descent *= m_unit;
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
        p.fillRect(x0, y0, x1 - x0 + m_unit, y1 - y0 + m_unit, rgb(*f.fill));
    }

    void drawMergeFill(QPainter& p, const sheet::Area& m) {
        const SheetLayout::Box b = m_layout.box(m);
        if (b.empty()) {
            return;
        }
        const sheet::CellFormat& f = *style(formatIndex(m.first.row, m.first.col)).format;
        if (f.fill) {
            p.fillRect(b.left, b.top, b.right - b.left + m_unit, b.bottom - b.top + m_unit, rgb(*f.fill));
        } else {
            // One cell: no gridlines inside it.
            p.fillRect(b.left + m_unit, b.top + m_unit, b.right - b.left - m_unit, b.bottom - b.top - m_unit,
                       Qt::white);
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
        const double u = m_unit;
        const QRectF interior(box.left + u, box.top + u, box.right - box.left - u, box.bottom - box.top - u);
        double indent = 0;
        if (f.indent > 0 && (f.halign == sheet::HAlign::Left || f.halign == sheet::HAlign::Right)) {
            indent = f.indent * 3 * st.metrics->horizontalAdvance(u' ');
        }
        const double padding = kTextPadding * u;
        QRectF anchor = interior.adjusted(padding, 0, -padding, -u);
        if (f.halign == sheet::HAlign::Right) {
            anchor.adjust(0, 0, -indent, 0);
        } else {
            anchor.adjust(indent, 0, 0, 0);
        }
        const double room = std::max(anchor.width(), 0.0);

        const bool wrap = f.wrap || f.halign == sheet::HAlign::Justify || f.valign == sheet::VAlign::Justify;
        const ShownNumber* number = cell->value.isNumber() ? &shownNumber(st, cell->value, room, wrap) : nullptr;
        const DisplayText shown = number ? number->shown : st.formatter->format(cell->value);
        QString text = number ? number->text : QString::fromStdString(shown.text);
        if (!number && !wrap) {
            text.replace(u'\n', u' ');
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
            anchor.setRight(across.right - padding);
            clip.setRight(across.right);
        } else if (!wrap && !merge && shown.kind == ValueKind::Text && f.rotation == 0) {
            clip =
                overflowClip(p, row, col, align, st.metrics->horizontalAdvance(text) + 2 * padding + indent, interior);
        }

        p.save();
        p.setClipRect(clip, Qt::IntersectClip); // within any clip of the caller
        p.setFont(st.font);
        p.setPen(rgb(shown.colour.value_or(f.font.colour)));
        if (f.rotation != 0 && !wrap) {
            drawRotated(p, interior, text, f.rotation, flags, st);
        } else {
            drawLines(p, anchor, text, static_cast<Qt::Alignment>(flags), f.valign, wrap, st);
        }
        p.restore();
    }

    // What a number shows in a cell of the style, and its text fitted to `room`.
    const ShownNumber& shownNumber(FormatStyle& st, const sheet::Value& value, double room, bool wrap) {
        const NumberKey key{std::bit_cast<std::uint64_t>(value.number()), std::bit_cast<std::uint64_t>(room)};
        if (const auto known = st.numbers.find(key); known != st.numbers.end()) {
            return known->second;
        }
        ShownNumber made{st.formatter->format(value), {}};
        made.text = QString::fromStdString(made.shown.text);
        if (!wrap) {
            made.text.replace(u'\n', u' ');
        }
        if (made.shown.kind == ValueKind::Number && st.format->rotation == 0) {
            made.text = fitNumber(*st.formatter, value, *st.metrics, room);
        }
        if (st.numbers.size() >= kMaxRemembered) {
            m_spareNumber = std::move(made);
            return m_spareNumber;
        }
        return st.numbers.emplace(key, std::move(made)).first->second;
    }

    // The text laid out in lines at `width` as drawLines places them, kept for the next cell that
    // shows it (its lines are placed anew for each cell).
    QTextLayout& laidOut(FormatStyle& st, const QString& text, Qt::Alignment align, bool wrap, double width,
                         QPaintDevice* device) {
        LayoutKey key{text, std::bit_cast<std::uint64_t>(width), static_cast<int>(align), wrap};
        if (const auto known = st.layouts.find(key); known != st.layouts.end()) {
            return *known->second;
        }
        auto layout = std::make_unique<QTextLayout>(text, st.font, device);
        setFonts(*layout, text, st.font);
        // Left and right stay where they are whatever the text's direction.
        QTextOption option(align | Qt::AlignAbsolute);
        option.setWrapMode(wrap ? QTextOption::WordWrap : QTextOption::NoWrap);
        option.setTextDirection(text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
        layout->setTextOption(option);
        layout->beginLayout();
        for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
            line.setLineWidth(width);
        }
        layout->endLayout();
        if (st.layouts.size() >= kMaxRemembered) {
            m_spareLayout = std::move(layout);
            return *m_spareLayout;
        }
        return *st.layouts.emplace(std::move(key), std::move(layout)).first->second;
    }

    // Lays the text out in lines (wrapped at word boundaries to the anchor's width when `wrap`),
    // spaced and placed as spreadsheet programs do: the lines stack at the font's line height and
    // the block of them sits at the top, the middle or the bottom of the anchor; what does not fit
    // runs over the edges and is clipped there.
    void drawLines(QPainter& p, const QRectF& anchor, QString text, Qt::Alignment align, sheet::VAlign valign,
                   bool wrap, FormatStyle& st) {
        if (wrap) {
            text.replace(u'\n', QChar::LineSeparator);
        }
        QTextLayout& layout = laidOut(st, text, align, wrap, std::max(anchor.width(), 0.0), p.device());
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
        draw(p, layout, QPointF(anchor.left(), 0));
    }

    // Draws laid-out lines, each marked for the text layer when there is one.
    void draw(QPainter& p, const QTextLayout& layout, const QPointF& origin) const {
        if (!m_textLayer) {
            layout.draw(&p, origin);
            return;
        }
        for (int i = 0; i < layout.lineCount(); ++i) {
            const QTextLine line = layout.lineAt(i);
            const QPointF at = origin + line.naturalTextRect().center();
            m_textLayer->beginText(p, at, visualText(layout, line));
            line.draw(&p, origin);
            m_textLayer->endText(p, at);
        }
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
                left = m_layout.columnLine(c) + m_unit;
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
        p.fillRect(QRectF(m_layout.columnLine(rightCol), interior.top(), m_unit, interior.height()), Qt::white);
    }

    void drawRotated(QPainter& p, const QRectF& interior, QString text, int rotation, int flags,
                     const FormatStyle& st) {
        const bool stacked = rotation == 255; // one character under the other
        if (stacked) {
            QString lines;
            for (qsizetype i = 0; i < text.size(); ++i) {
                // A character of two UTF-16 units stays whole.
                if (i > 0 && !text[i].isLowSurrogate()) {
                    lines += QChar::LineSeparator;
                }
                lines += text[i];
            }
            text = lines;
        }
        QTextLayout layout(text, st.font, p.device());
        setFonts(layout, text, st.font);
        QTextOption option(Qt::AlignHCenter | Qt::AlignAbsolute);
        option.setWrapMode(QTextOption::NoWrap);
        option.setTextDirection(text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
        layout.setTextOption(option);
        const double width = stacked ? interior.width() : 0;
        double height = 0;
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            line.setPosition(QPointF(0, height));
            height += line.height();
        }
        layout.endLayout();
        if (stacked) {
            double top = interior.top();
            if (flags & Qt::AlignBottom) {
                top = interior.bottom() - height;
            } else if (flags & Qt::AlignVCenter) {
                top = interior.center().y() - height / 2;
            }
            draw(p, layout, QPointF(interior.left(), top));
            return;
        }
        // 1 to 90: counter-clockwise; 91 to 180: clockwise by the value less 90.
        const double degrees = rotation <= 90 ? -rotation : rotation - 90;
        p.translate(interior.center());
        p.rotate(degrees);
        const double length = layout.lineCount() > 0 ? layout.lineAt(0).naturalTextWidth() : 0;
        draw(p, layout, QPointF(-length / 2, -height / 2));
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
            drawBorder(p, true, y0, x0, x1, f.top, m_unit);
        }
        if (atBottom) {
            drawBorder(p, true, y1, x0, x1, f.bottom, m_unit);
        }
        if (atLeft) {
            drawBorder(p, false, x0, y0, y1, f.left, m_unit);
        }
        if (atRight) {
            drawBorder(p, false, x1, y0, y1, f.right, m_unit);
        }
    }

    void drawCutBands(QPainter& p) {
        if (!m_layout.cutRight() && !m_layout.cutBottom()) {
            return;
        }
        // In the engine's default font, whatever the sheet uses.
        QFont font(resolveFontFamily(sheet::Font{}.name));
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
    int m_unit; // layout units in a pixel
    PdfTextLayer* m_textLayer = nullptr;
    sheet::Area m_shown;
    std::vector<FormatStyle> m_styles;
    std::vector<std::vector<std::size_t>> m_rowMerges;
    // What is made for one cell once as much is remembered as may be.
    ShownNumber m_spareNumber;
    std::unique_ptr<QTextLayout> m_spareLayout;
};

} // namespace

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
    image.setDotsPerMeterX(kScreenDotsPerMeter);
    image.setDotsPerMeterY(kScreenDotsPerMeter);
    {
        QPainter painter(&image);
        PaintJob(m_workbook, m_sheet, layout, image).run(painter);
    }
    return image;
}

void SheetPainter::paintOn(QPainter& painter, const SheetLayout& layout, int layers, PdfTextLayer* textLayer) const {
    ensureGuiApplication();
    if (!painter.isActive()) {
        throw RenderError("The sheet cannot be drawn: the painter is not active.");
    }
    PaintJob job(m_workbook, m_sheet, layout, *painter.device());
    job.setTextLayer(textLayer);
    job.run(painter, layers);
}

QImage renderSheetPicture(const sheet::Workbook& workbook, int sheetIndex, sheet::Area area, RenderLimits limits) {
    return SheetPainter(workbook, sheetIndex, limits).paint(area);
}

} // namespace markwell::render
