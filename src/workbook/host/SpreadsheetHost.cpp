#include "workbook/host/SpreadsheetHost.h"

#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

namespace markwell {

namespace {

constexpr int kMaxRows = 65536;
constexpr int kMaxColumns = 256;

int columnNumber(QStringView letters) {
    int n = 0;
    for (QChar ch : letters) {
        n = n * 26 + (ch.toUpper().unicode() - u'A' + 1);
        if (n > kMaxColumns) {
            return -1;
        }
    }
    return n;
}

} // namespace

HostArea parseHostAddress(const QString& address) {
    static const QRegularExpression cells(
        u"^\\$?([A-Za-z]{1,3})\\$?([0-9]{1,5})(?::\\$?([A-Za-z]{1,3})\\$?([0-9]{1,5}))?$"_s);
    static const QRegularExpression rows(u"^\\$?([0-9]{1,5})(?::\\$?([0-9]{1,5}))?$"_s);
    static const QRegularExpression columns(u"^\\$?([A-Za-z]{1,3})(?::\\$?([A-Za-z]{1,3}))?$"_s);
    const QString text = address.trimmed();
    HostArea area;
    bool ok = false;
    if (auto m = cells.match(text); m.hasMatch()) {
        area.firstColumn = columnNumber(m.capturedView(1));
        area.firstRow = m.captured(2).toInt();
        area.lastColumn = m.capturedLength(3) ? columnNumber(m.capturedView(3)) : area.firstColumn;
        area.lastRow = m.capturedLength(4) ? m.captured(4).toInt() : area.firstRow;
        ok = true;
    } else if (auto r = rows.match(text); r.hasMatch()) {
        area.firstRow = r.captured(1).toInt();
        area.lastRow = r.capturedLength(2) ? r.captured(2).toInt() : area.firstRow;
        area.firstColumn = 1;
        area.lastColumn = kMaxColumns;
        area.wholeRows = true;
        ok = true;
    } else if (auto c = columns.match(text); c.hasMatch()) {
        area.firstColumn = columnNumber(c.capturedView(1));
        area.lastColumn = c.capturedLength(2) ? columnNumber(c.capturedView(2)) : area.firstColumn;
        area.firstRow = 1;
        area.lastRow = kMaxRows;
        area.wholeColumns = true;
        ok = true;
    }
    if (ok) {
        if (area.firstRow > area.lastRow) {
            std::swap(area.firstRow, area.lastRow);
        }
        if (area.firstColumn > area.lastColumn) {
            std::swap(area.firstColumn, area.lastColumn);
        }
        ok = area.firstRow >= 1 && area.lastRow <= kMaxRows && area.firstColumn >= 1 && area.lastColumn <= kMaxColumns;
    }
    if (!ok) {
        throw HostError(u"The range address \"%1\" is not valid."_s.arg(address));
    }
    return area;
}

void HostRange::Select() {
    m_host->select(m_area);
}

void HostRange::setValue(const QString& text) {
    m_host->setCellValue(m_area, text);
}

void HostRange::setText(const QString& text) {
    m_host->setCellText(m_area, text);
}

void HostRange::Copy() {
    m_host->copyArea(m_area);
}

void HostRange::Insert(int shift) {
    m_host->insertCopied(m_area, shift);
}

void HostRange::Delete(int shift) {
    m_host->deleteArea(m_area, shift);
}

void HostRange::CopyPicture() {
    m_host->copyPicture(m_workbook, m_sheet, m_area);
}

void HostWorksheet::Select() {
    m_host->selectSheet(m_workbook, m_sheet);
}

void HostWorksheet::Activate() {
    m_host->activateSheet(m_workbook, m_sheet);
}

HostRange HostWorksheet::UsedRange() {
    return HostRange(*m_host, m_host->usedRange(m_workbook, m_sheet), m_workbook, m_sheet);
}

void HostWorksheet::setPrintArea(const QString& address) {
    m_host->setPrintArea(m_workbook, m_sheet, parseHostAddress(address));
}

HostWorksheet HostWorkbook::Worksheets(int sheet) {
    return HostWorksheet(*m_host, m_index, sheet);
}

HostWorksheet HostWorkbook::ActiveSheet() {
    return HostWorksheet(*m_host, m_index, m_host->activeSheetIndex(m_index));
}

void HostWorkbook::SaveAs(const QString& filename, int fileFormat) {
    m_host->saveWorkbookAs(m_index, filename, fileFormat);
}

void HostWorkbook::Close() {
    m_host->closeWorkbook(m_index);
}

std::shared_ptr<const sheet::Workbook> HostWorkbook::CloseKeepingModel() {
    return m_host->closeWorkbookKeepingModel(m_index);
}

HostWorkbook HostWorkbooks::Open(const QString& path) {
    return HostWorkbook(*m_host, m_host->openWorkbook(path, false));
}

HostWorkbook HostWorkbooks::Open(const QString& path, std::nullptr_t, bool readOnly) {
    return HostWorkbook(*m_host, m_host->openWorkbook(path, readOnly));
}

int HostWorkbooks::Count() const {
    return m_host->workbookCount();
}

HostWorkbook HostWorkbooks::Item(int index) {
    if (index < 1 || index > m_host->workbookCount()) {
        throw HostError(u"There is no open workbook number %1."_s.arg(index));
    }
    return HostWorkbook(*m_host, index);
}

HostWorkbook SpreadsheetHost::ActiveWorkbook() {
    return HostWorkbook(*this, activeWorkbookIndex());
}

HostRange SpreadsheetHost::Cells(int row, int column) {
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns) {
        throw HostError(u"The cell at row %1, column %2 lies outside the sheet."_s.arg(row).arg(column));
    }
    return HostRange(*this, HostArea{row, column, row, column});
}

HostRange SpreadsheetHost::Range(const QString& address) {
    return HostRange(*this, parseHostAddress(address));
}

HostRange SpreadsheetHost::Rows(const QString& span) {
    HostArea area = parseHostAddress(span);
    if (!area.wholeRows) {
        throw HostError(u"\"%1\" is not a span of rows."_s.arg(span));
    }
    return HostRange(*this, area);
}

HostRange SpreadsheetHost::Rows(int row) {
    return Rows(QString::number(row));
}

HostRange SpreadsheetHost::Selection() {
    return HostRange(*this, selection());
}

bool checkHostInstalled(const HostFactory& factory) {
    try {
        std::unique_ptr<SpreadsheetHost> host = factory ? factory() : nullptr;
        return host != nullptr;
    } catch (...) {
        return false;
    }
}

} // namespace markwell
