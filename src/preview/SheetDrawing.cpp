#include "preview/SheetDrawing.h"

#include "workbook/host/EngineCalls.h"
#include "workbook/render/SheetPainter.h"

#include <QDir>
#include <QFile>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <exception>

using namespace Qt::Literals::StringLiterals;

namespace markwell::preview {

namespace {

// The gridline colour of the picture on screen.
constexpr QRgb kGridline = 0xD0D0D0;
// No workbook of the format comes near this; anything larger is not read into memory.
constexpr qint64 kMaxWorkbookBytes = 512LL * 1024 * 1024;

int digitWidthOf(const sheet::Workbook& workbook) {
    static const sheet::Font kDefaultFont;
    return render::maxDigitWidth(workbook.formats.empty() ? kDefaultFont : workbook.formats.front().font);
}

const sheet::Sheet& sheetOf(const ShownSheet& shown) {
    if (!shown.workbook || shown.sheet < 0 || static_cast<std::size_t>(shown.sheet) >= shown.workbook->sheets.size()) {
        throw std::invalid_argument("The sheet to show is not on the workbook.");
    }
    return shown.workbook->sheets[static_cast<std::size_t>(shown.sheet)];
}

} // namespace

std::optional<ShownSheet> readShownSheet(const QString& path, QString* why) {
    auto refuse = [&](const QString& reason) -> std::optional<ShownSheet> {
        if (why != nullptr) {
            *why = u"The workbook \"%1\" cannot be shown: %2"_s.arg(QDir::toNativeSeparators(path), reason);
        }
        return std::nullopt;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return refuse(file.errorString());
    }
    if (file.size() > kMaxWorkbookBytes) {
        return refuse(u"the file is larger than any workbook can be."_s);
    }
    auto workbook = std::make_shared<sheet::Workbook>();
    try {
        *workbook = engine::readWorkbook(file.readAll());
        if (!workbook->resultsCurrent) {
            engine::recalculate(*workbook);
            workbook->resultsCurrent = true;
        }
    } catch (const std::exception& e) {
        return refuse(QString::fromUtf8(e.what()));
    }
    QString problem;
    std::optional<ShownSheet> shown = shownSheetOf(std::move(workbook), &problem);
    return shown ? shown : refuse(problem);
}

std::optional<ShownSheet> shownSheetOf(std::shared_ptr<const sheet::Workbook> workbook, QString* why) {
    auto refuse = [&](const QString& reason) -> std::optional<ShownSheet> {
        if (why != nullptr) {
            *why = reason;
        }
        return std::nullopt;
    };
    if (!workbook) {
        return refuse(u"there is no workbook."_s);
    }
    const int active = workbook->activeSheet;
    if (active < 0 || static_cast<std::size_t>(active) >= workbook->sheets.size()) {
        return refuse(u"it has no active worksheet."_s);
    }
    const std::optional<sheet::Area> used = engine::usedArea(workbook->sheets[static_cast<std::size_t>(active)]);
    if (!used) {
        return refuse(u"its sheet is empty."_s);
    }
    return ShownSheet{std::move(workbook), active, *used};
}

SheetDrawing::SheetDrawing(ShownSheet shown)
    : m_shown(std::move(shown)), m_digitWidth(digitWidthOf(*m_shown.workbook)),
      m_layout(sheetOf(m_shown), m_shown.area, m_digitWidth) {}

void SheetDrawing::draw(QPainter& painter, const QRectF& part) const {
    painter.fillRect(part, Qt::white);
    const std::vector<int>& lines = m_layout.rowLines();
    const int shownRows = static_cast<int>(lines.size()) - 1;
    if (shownRows <= 0) {
        return;
    }
    // Row k lies between lines k and k + 1; the rows drawn are those touching the part.
    const int top = static_cast<int>(std::floor(part.top()));
    const int bottom = static_cast<int>(std::ceil(part.bottom()));
    int first = static_cast<int>(std::lower_bound(lines.begin() + 1, lines.end(), top) - (lines.begin() + 1));
    int last = static_cast<int>(std::upper_bound(lines.begin(), lines.end(), bottom) - lines.begin()) - 1;
    first = std::clamp(first, 0, shownRows - 1);
    last = std::clamp(last, first, shownRows - 1);
    // A merged range is drawn whole: its text belongs to its first cell.
    const int firstRow = m_layout.area().first.row;
    for (const sheet::Area& m : m_layout.merges()) {
        if (m.last.row - firstRow >= first && m.first.row - firstRow <= last) {
            first = std::max(0, std::min(first, m.first.row - firstRow));
            last = std::min(shownRows - 1, std::max(last, m.last.row - firstRow));
        }
    }
    const sheet::Area rows{{firstRow + first, m_layout.area().first.col},
                           {firstRow + last, m_layout.lastShownColumn()}};
    const sheet::Sheet& sheet = sheetOf(m_shown);
    const render::SheetLayout piece(sheet, rows, m_digitWidth);

    painter.save();
    painter.translate(0, lines[static_cast<std::size_t>(first)]);
    if (sheet.showGridlines) {
        const QColor grid = QColor::fromRgb(kGridline);
        for (const int x : piece.columnLines()) {
            painter.fillRect(QRectF(x, 0, 1, piece.height()), grid);
        }
        for (const int y : piece.rowLines()) {
            painter.fillRect(QRectF(0, y, piece.width(), 1), grid);
        }
    }
    render::SheetPainter(*m_shown.workbook, m_shown.sheet).paintOn(painter, piece);
    painter.restore();
}

} // namespace markwell::preview
