#pragma once

#include "workbook/host/SpreadsheetHost.h"

#include <memory>
#include <optional>
#include <vector>

namespace markwell {

namespace sheet {
class Workbook;
class Value;
} // namespace sheet

// The program's own spreadsheet host: workbooks are read, changed, recalculated, written and
// pictured in this process by the embedded engine.
//
// Inserting the same copied block at the place it was copied from, again and again (as the
// filling does for every further student band), is gathered into one insertion of many copies,
// so filling a large class stays linear in the size of the sheet.
class EmbeddedHost : public SpreadsheetHost {
public:
    EmbeddedHost();
    ~EmbeddedHost() override;

    void setDisplayAlerts(bool on) override;
    bool displayAlerts() const override { return m_displayAlerts; }
    void setVisible(bool on) override;
    QString Version() const override;
    void setCutCopyMode(bool on) override;
    void Quit() override;
    QImage pictureSlot() const override { return m_picture; }

    int workbookCount() const override;
    int openWorkbook(const QString& path, bool readOnly) override;
    int activeWorkbookIndex() const override;
    void selectSheet(int workbook, int sheet) override;
    void activateSheet(int workbook, int sheet) override;
    int activeSheetIndex(int workbook) const override;
    void setCellValue(const HostArea& cell, const QString& text) override;
    void setCellText(const HostArea& cell, const QString& text) override;
    void setPrintArea(int workbook, int sheet, const HostArea& area) override;
    void select(const HostArea& area) override;
    HostArea selection() const override { return m_selection; }
    void copyArea(const HostArea& area) override;
    void insertCopied(const HostArea& at, int shift) override;
    void deleteArea(const HostArea& area, int shift) override;
    void saveWorkbookAs(int workbook, const QString& filename, int fileFormat) override;
    void closeWorkbook(int workbook) override;
    std::shared_ptr<const sheet::Workbook> closeWorkbookKeepingModel(int workbook) override;
    HostArea usedRange(int workbook, int sheet) const override;
    void copyPicture(int workbook, int sheet, const HostArea& area) override;

    // The model of an open workbook (1-based), for tests and tools; pending insertions are
    // carried out first.
    const sheet::Workbook& workbookModel(int workbook) const;

private:
    struct OpenBook;
    struct Pending {
        int shift = 0;
        HostArea source;
        int book = 0;
        int sheet = 0;
        int times = 0;
    };

    void checkRunning() const;
    void writeCell(const HostArea& cell, sheet::Value value);
    OpenBook& book(int workbook);
    const OpenBook& book(int workbook) const;
    int sheetOf(const OpenBook& b, int sheet) const;
    void flush() const;
    void runInsert(const Pending& op) const;

    mutable std::vector<std::unique_ptr<OpenBook>> m_books;
    int m_active = 0; // 1-based, 0 when none is open
    bool m_quit = false;
    bool m_displayAlerts = true;
    HostArea m_selection;
    std::optional<HostArea> m_clipboard;
    int m_clipboardBook = 0, m_clipboardSheet = 0;
    mutable std::optional<Pending> m_pending;
    QImage m_picture;
};

} // namespace markwell
