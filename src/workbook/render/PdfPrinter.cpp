#include "workbook/render/PdfPrinter.h"

#include "workbook/render/SheetPainter.h"

#include <QBuffer>
#include <QIODevice>
#include <QLocale>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <limits>
#include <optional>
#include <stdexcept>

namespace markwell::render {

namespace {

// The writer's unit: the twip, in which the sheet is laid out for printing.
constexpr int kResolution = 1440;

// A printed block is never drawn as one picture, so it needs no size limit.
constexpr RenderLimits kNoLimits{std::numeric_limits<int>::max() / 4, std::numeric_limits<std::int64_t>::max() / 4};

QPageLayout pageLayoutOf(const sheet::PageSetup& setup) {
    const Paper paper = paperOf(setup.paperSize);
    const QPageSize size(QSizeF(paper.width * 72.0, paper.height * 72.0), QPageSize::Point, QString(),
                         QPageSize::FuzzyMatch);
    return QPageLayout(size, setup.portrait ? QPageLayout::Portrait : QPageLayout::Landscape, QMarginsF(0, 0, 0, 0),
                       QPageLayout::Point);
}

// One piece of a page (the body, or repeated titles): its cells laid out, where its first cell's
// top-left line goes, and the lines it may draw within.
struct Piece {
    SheetLayout layout;
    QPointF origin;             // where the layout's line 0 goes, in the page's cell coordinates
    std::optional<QRectF> clip; // in the layout's own coordinates, when it holds more than the piece
};

// Merged ranges that reach into the piece are laid out whole, so their text sits where it would
// on the full sheet and only the part on this page shows.
sheet::Area widenOverMerges(const sheet::Sheet& sheet, sheet::Area area) {
    const sheet::Area piece = area;
    for (const sheet::Area& m : sheet.merged) {
        if (m.first.row <= piece.last.row && m.last.row >= piece.first.row && m.first.col <= piece.last.col &&
            m.last.col >= piece.first.col) {
            area.first.row = std::min(area.first.row, m.first.row);
            area.first.col = std::min(area.first.col, m.first.col);
            area.last.row = std::max(area.last.row, m.last.row);
            area.last.col = std::max(area.last.col, m.last.col);
        }
    }
    return area;
}

Piece makePiece(const sheet::Sheet& sheet, Span rows, Span columns, QPointF at, int mdw) {
    const sheet::Area cells{{rows.first, columns.first}, {rows.last, columns.last}};
    const sheet::Area wide = widenOverMerges(sheet, cells);
    SheetLayout layout(sheet, wide, mdw, kNoLimits, LayoutUnit::Twip);
    const int left = layout.columnLine(columns.first), top = layout.rowLine(rows.first);
    const int right = layout.columnLine(columns.last + 1), bottom = layout.rowLine(rows.last + 1);
    // Within its own cells the renderer keeps every text inside its cell or the cells it may
    // run into; a clip, which costs every page time and bytes, is needed only where more is laid
    // out. It takes in the lines on both edges, where the cells' borders are drawn.
    std::optional<QRectF> clip;
    if (!(wide == cells)) {
        clip = QRectF(left, top, right - left + layout.unit(), bottom - top + layout.unit());
    }
    return Piece{std::move(layout), at - QPointF(left, top), clip};
}

class PdfJob {
public:
    PdfJob(const sheet::Workbook& workbook, QIODevice& out, const PdfOptions& options)
        : m_workbook(workbook), m_out(out), m_buffer(&m_pdf), m_writer(&m_buffer), m_options(options) {
        static const sheet::Font kDefaultFont;
        m_font = workbook.formats.empty() ? kDefaultFont : workbook.formats.front().font;
        m_mdw = maxDigitWidth(m_font);
        for (std::size_t i = 0; i < workbook.sheets.size(); ++i) {
            m_layouts.emplace_back(workbook.sheets[i], printRangesOf(workbook, static_cast<int>(i)), m_mdw);
            m_total += static_cast<int>(m_layouts.back().pages().size());
        }
        const QDateTime at = options.printedAt.isValid() ? options.printedAt : QDateTime::currentDateTime();
        m_date = QLocale().toString(at.date(), QLocale::ShortFormat).toStdString();
        m_time = QLocale().toString(at.time(), QLocale::ShortFormat).toStdString();
    }

    int run() {
        // The writer's file is finished in memory: its text layer is added before it goes out.
        m_buffer.open(QIODevice::WriteOnly);
        m_writer.setResolution(kResolution);
        m_writer.setCreator(m_options.creator);
        m_writer.setTitle(m_options.title.isEmpty() ? QString::fromStdString(m_workbook.sheets.front().name)
                                                    : m_options.title);
        m_writer.setPageLayout(pageLayoutOf(m_workbook.sheets.front().pageSetup));
        QPainter painter;
        if (!painter.begin(&m_writer)) {
            throw RenderError("The PDF cannot be written.");
        }
        int number = 0;
        for (std::size_t i = 0; i < m_workbook.sheets.size(); ++i) {
            const sheet::Sheet& sheet = m_workbook.sheets[i];
            const SheetPainter cells(m_workbook, static_cast<int>(i), kNoLimits);
            for (const PrintPage& page : m_layouts[i].pages()) {
                if (number > 0) {
                    m_writer.setPageLayout(pageLayoutOf(sheet.pageSetup));
                    if (!m_writer.newPage()) {
                        throw RenderError("The PDF cannot be written: a new page could not be started.");
                    }
                }
                ++number;
                m_text.startPage(painter);
                drawPage(painter, cells, sheet, m_layouts[i], page);
                drawHeaderFooter(painter, sheet, m_layouts[i], number);
            }
        }
        if (!painter.end()) {
            throw RenderError("The PDF cannot be completed.");
        }
        m_buffer.close();
        const QByteArray pdf = m_text.apply(m_pdf);
        m_pdf.clear();
        if (m_out.write(pdf) != pdf.size()) {
            throw RenderError("The PDF cannot be written: " + m_out.errorString().toStdString());
        }
        return number;
    }

private:
    void drawPage(QPainter& painter, const SheetPainter& cells, const sheet::Sheet& sheet, const PrintLayout& layout,
                  const PrintPage& page) {
        if (page.rows.empty() || page.columns.empty()) {
            return;
        }
        const int titleWidth = page.titleColumns ? layout.columnsWidth(*page.titleColumns) : 0;
        const int titleHeight = page.titleRows ? layout.rowsHeight(*page.titleRows) : 0;
        std::vector<Piece> pieces;
        if (page.titleRows && page.titleColumns) {
            pieces.push_back(makePiece(sheet, *page.titleRows, *page.titleColumns, {0, 0}, m_mdw));
        }
        if (page.titleRows) {
            pieces.push_back(makePiece(sheet, *page.titleRows, page.columns, QPointF(titleWidth, 0), m_mdw));
        }
        if (page.titleColumns) {
            pieces.push_back(makePiece(sheet, page.rows, *page.titleColumns, QPointF(0, titleHeight), m_mdw));
        }
        pieces.push_back(makePiece(sheet, page.rows, page.columns, QPointF(titleWidth, titleHeight), m_mdw));

        const sheet::PageSetup& setup = sheet.pageSetup;
        painter.save();
        painter.translate(setup.left * kResolution, setup.top * kResolution);
        painter.scale(layout.scale(), layout.scale());
        for (int layer : {kFillLayer, kTextLayer, kBorderLayer}) {
            for (const Piece& piece : pieces) {
                painter.save();
                painter.translate(piece.origin);
                if (piece.clip) {
                    painter.setClipRect(*piece.clip);
                }
                cells.paintOn(painter, piece.layout, layer, &m_text);
                painter.restore();
            }
        }
        painter.restore();
    }

    void drawHeaderFooter(QPainter& painter, const sheet::Sheet& sheet, const PrintLayout& layout, int number) {
        const sheet::PageSetup& setup = sheet.pageSetup;
        const HeaderFooterFields fields{number, m_total, sheet.name, m_options.fileName.toStdString(), m_date, m_time};
        const HeaderFooterText header = expandHeaderFooter(setup.headerText, fields);
        const HeaderFooterText footer = expandHeaderFooter(setup.footerText, fields);
        if (header.empty() && footer.empty()) {
            return;
        }
        const double width = layout.pageWidthPoints() / 72.0 * kResolution;
        const double height = layout.pageHeightPoints() / 72.0 * kResolution;
        const double left = setup.left * kResolution, right = width - setup.right * kResolution;
        painter.save();
        painter.setFont(screenFont(m_font));
        painter.setPen(Qt::black);
        auto draw = [&](const HeaderFooterText& t, double top, double bottom, int vertical) {
            const QRectF band(left, top, std::max(right - left, 1.0), std::max(bottom - top, 1.0));
            const int flags = vertical | Qt::TextDontClip;
            painter.drawText(band, flags | Qt::AlignLeft, QString::fromStdString(t.left));
            painter.drawText(QRectF(0, top, width, band.height()), flags | Qt::AlignHCenter,
                             QString::fromStdString(t.center));
            painter.drawText(band, flags | Qt::AlignRight, QString::fromStdString(t.right));
        };
        // The header hangs from its margin, the footer stands on its own.
        draw(header, setup.header * kResolution, height / 2, Qt::AlignTop);
        draw(footer, height / 2, height - setup.footer * kResolution, Qt::AlignBottom);
        painter.restore();
    }

    const sheet::Workbook& m_workbook;
    QIODevice& m_out;
    QByteArray m_pdf;
    QBuffer m_buffer;
    QPdfWriter m_writer;
    PdfTextLayer m_text;
    const PdfOptions& m_options;
    sheet::Font m_font;
    int m_mdw = 7;
    std::vector<PrintLayout> m_layouts;
    int m_total = 0;
    std::string m_date, m_time;
};

} // namespace

int writePdf(const sheet::Workbook& workbook, QIODevice& out, const PdfOptions& options) {
    if (workbook.sheets.empty()) {
        throw std::invalid_argument("A workbook without sheets has nothing to print.");
    }
    if (!out.isWritable()) {
        throw RenderError("The PDF cannot be written: the file is not open for writing.");
    }
    return PdfJob(workbook, out, options).run();
}

} // namespace markwell::render
