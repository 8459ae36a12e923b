#pragma once

#include <QImage>
#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace markwell::sheet {
class Workbook;
}

namespace markwell {

// Shift directions and file formats, with the values the automation model gives them.
inline constexpr int xlShiftToRight = -4161;
inline constexpr int xlShiftDown = -4121;
inline constexpr int xlShiftUp = -4162;
inline constexpr int xlExcel8 = 56;
inline constexpr int xlWorkbookNormal = -4143;

// A failed host operation. The description is a sentence naming what failed; the error report
// shows it unchanged.
class HostError : public std::runtime_error {
public:
    // errorNumber: the system's error number behind a failed file operation, 0 when none.
    explicit HostError(const QString& description, int errorNumber = 0)
        : std::runtime_error(description.toStdString()), m_errorNumber(errorNumber) {}
    int errorNumber() const { return m_errorNumber; }

private:
    int m_errorNumber = 0;
};

// A rectangle of a sheet, 1-based, or whole rows / whole columns.
struct HostArea {
    int firstRow = 1, firstColumn = 1, lastRow = 1, lastColumn = 1;
    bool wholeRows = false;
    bool wholeColumns = false;
};

class SpreadsheetHost;

// Handles shaped like the automation model, so a routine reads like its description:
//     host.Range(u"J6:J19"_s).Select();
//     host.Selection().Copy();
//     host.Cells(5, 2).setValue(schoolName);
class HostRange {
public:
    HostRange(SpreadsheetHost& host, HostArea area, int workbook = 0, int sheet = 0)
        : m_host(&host), m_area(area), m_workbook(workbook), m_sheet(sheet) {}
    void Select();
    // The Value of the automation model: the host turns numeric text into a number.
    void setValue(const QString& text);
    // The Value with a leading apostrophe: the text is kept as text exactly as given, never
    // turned into a number or read as a formula.
    void setText(const QString& text);
    void Copy();
    void Insert(int shift);
    void Delete(int shift);
    void CopyPicture();
    // The sheet numbers of the range's last row and last column.
    int lastRow() const { return m_area.lastRow; }
    int lastColumn() const { return m_area.lastColumn; }
    const HostArea& area() const { return m_area; }

private:
    SpreadsheetHost* m_host;
    HostArea m_area;
    int m_workbook; // 0: the active workbook
    int m_sheet;    // 0: the active sheet
};

class HostWorksheet {
public:
    HostWorksheet(SpreadsheetHost& host, int workbook, int sheet)
        : m_host(&host), m_workbook(workbook), m_sheet(sheet) {}
    void Select();
    void Activate();
    HostRange UsedRange();
    // PageSetup.PrintArea: the sheet prints the cells of `address` ("$B$5:$M$22").
    void setPrintArea(const QString& address);
    int index() const { return m_sheet; }

private:
    SpreadsheetHost* m_host;
    int m_workbook;
    int m_sheet;
};

class HostWorkbook {
public:
    HostWorkbook(SpreadsheetHost& host, int index) : m_host(&host), m_index(index) {}
    HostWorksheet Worksheets(int sheet);
    HostWorksheet ActiveSheet();
    void SaveAs(const QString& filename, int fileFormat);
    void Close();
    // Close, handing over the workbook as it was open, every formula's result computed: for a
    // caller that goes on showing it without reading the file again. Null from a host that keeps
    // no model of its own.
    std::shared_ptr<const sheet::Workbook> CloseKeepingModel();
    int index() const { return m_index; }

private:
    SpreadsheetHost* m_host;
    int m_index; // 1-based position in the host's workbooks
};

class HostWorkbooks {
public:
    explicit HostWorkbooks(SpreadsheetHost& host) : m_host(&host) {}
    HostWorkbook Open(const QString& path);
    // Open(path, omitted, readOnly): the second argument of the automation call is not used.
    HostWorkbook Open(const QString& path, std::nullptr_t omitted, bool readOnly);
    int Count() const;
    HostWorkbook Item(int index);

private:
    SpreadsheetHost* m_host;
};

// One spreadsheet host instance. Every operation that fails throws HostError.
class SpreadsheetHost {
public:
    virtual ~SpreadsheetHost() = default;

    // Application
    virtual void setDisplayAlerts(bool on) = 0;
    virtual bool displayAlerts() const = 0;
    virtual void setVisible(bool on) = 0;
    virtual QString Version() const = 0;
    virtual void setCutCopyMode(bool on) = 0;
    virtual void Quit() = 0;

    HostWorkbooks Workbooks() { return HostWorkbooks(*this); }
    HostWorkbook ActiveWorkbook();
    HostRange Cells(int row, int column);
    HostRange Range(const QString& address);
    HostRange Rows(const QString& span);
    HostRange Rows(int row);
    HostRange Selection();

    // The host's own picture slot, filled by CopyPicture. Reading it never fails: an empty slot
    // gives a null image.
    virtual QImage pictureSlot() const = 0;

    // The primitives the handles use. Workbook 0 means the active workbook.
    virtual int workbookCount() const = 0;
    virtual int openWorkbook(const QString& path, bool readOnly) = 0;
    virtual int activeWorkbookIndex() const = 0;
    virtual void selectSheet(int workbook, int sheet) = 0;
    virtual void activateSheet(int workbook, int sheet) = 0;
    virtual int activeSheetIndex(int workbook) const = 0;
    virtual void setCellValue(const HostArea& cell, const QString& text) = 0;
    virtual void setCellText(const HostArea& cell, const QString& text) = 0;
    virtual void setPrintArea(int workbook, int sheet, const HostArea& area) = 0;
    virtual void select(const HostArea& area) = 0;
    virtual HostArea selection() const = 0;
    virtual void copyArea(const HostArea& area) = 0;
    virtual void insertCopied(const HostArea& at, int shift) = 0;
    virtual void deleteArea(const HostArea& area, int shift) = 0;
    virtual void saveWorkbookAs(int workbook, const QString& filename, int fileFormat) = 0;
    virtual void closeWorkbook(int workbook) = 0;
    virtual std::shared_ptr<const sheet::Workbook> closeWorkbookKeepingModel(int workbook) {
        closeWorkbook(workbook);
        return nullptr;
    }
    virtual HostArea usedRange(int workbook, int sheet) const = 0;
    virtual void copyPicture(int workbook, int sheet, const HostArea& area) = 0;
};

// Parses "J6:J19", "$B$5", "13:14", "B:B" into an area; throws HostError naming the text.
HostArea parseHostAddress(const QString& address);

// Creates a new host instance: null (or a throw) when none can be created.
using HostFactory = std::function<std::unique_ptr<SpreadsheetHost>()>;

// The embedded engine's factory.
HostFactory defaultHostFactory();

// Creates one instance with every failure suppressed and releases it at once.
bool checkHostInstalled(const HostFactory& factory);

} // namespace markwell
