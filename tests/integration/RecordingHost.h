#pragma once

#include "workbook/host/SpreadsheetHost.h"

#include <QFile>
#include <QStringList>

#include <memory>

namespace markwell::test {

using namespace Qt::Literals::StringLiterals;

// A host that only writes down what it is asked to do, in the automation model's words.
class RecordingHost : public SpreadsheetHost {
public:
    explicit RecordingHost(QStringList& log) : m_log(log) {}

    void setDisplayAlerts(bool on) override {
        log(u"DisplayAlerts=%1"_s.arg(on));
        m_alerts = on;
    }
    bool displayAlerts() const override { return m_alerts; }
    void setVisible(bool on) override { log(u"Visible=%1"_s.arg(on)); }
    QString Version() const override { return version; }
    void setCutCopyMode(bool on) override { log(u"CutCopyMode=%1"_s.arg(on)); }
    void Quit() override { log(u"Quit"_s); }
    QImage pictureSlot() const override {
        ++pictureReads;
        return pictureReads > failingPictureReads ? picture : QImage();
    }
    int workbookCount() const override { return m_workbooks; }
    int openWorkbook(const QString& path, bool readOnly) override {
        log(u"Open %1 readOnly=%2"_s.arg(path).arg(readOnly));
        if (!QFile::exists(path)) {
            throw HostError(u"The workbook \"%1\" could not be opened: No such file or directory"_s.arg(path));
        }
        return ++m_workbooks;
    }
    int activeWorkbookIndex() const override { return m_workbooks; }
    void selectSheet(int, int sheet) override { log(u"Sheet %1 Select"_s.arg(sheet)); }
    void activateSheet(int, int sheet) override { log(u"Sheet %1 Activate"_s.arg(sheet)); }
    int activeSheetIndex(int) const override { return 1; }
    void setCellValue(const HostArea& a, const QString& text) override {
        log(u"Cells(%1,%2)=%3"_s.arg(a.firstRow).arg(a.firstColumn).arg(text));
    }
    void setCellText(const HostArea& a, const QString& text) override {
        log(u"Cells(%1,%2)='%3"_s.arg(a.firstRow).arg(a.firstColumn).arg(text));
    }
    void setPrintArea(int, int sheet, const HostArea& a) override {
        log(u"Sheet %1 PrintArea %2"_s.arg(sheet).arg(describe(a)));
    }
    void select(const HostArea& a) override {
        m_selection = a;
        log(u"Select %1"_s.arg(describe(a)));
    }
    HostArea selection() const override { return m_selection; }
    void copyArea(const HostArea& a) override { log(u"Copy %1"_s.arg(describe(a))); }
    void insertCopied(const HostArea& a, int shift) override { log(u"Insert %1 %2"_s.arg(describe(a)).arg(shift)); }
    void deleteArea(const HostArea& a, int shift) override { log(u"Delete %1 %2"_s.arg(describe(a)).arg(shift)); }
    void saveWorkbookAs(int, const QString& filename, int fileFormat) override {
        log(u"SaveAs %1 %2"_s.arg(filename).arg(fileFormat));
        if (failSave) {
            throw HostError(u"The workbook could not be saved: No space left on device"_s);
        }
        // Something in the file, as a real save leaves.
        QFile file(filename);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            file.write("saved workbook");
        }
    }
    void closeWorkbook(int) override { log(u"Close"_s); }
    HostArea usedRange(int, int) const override { return used; }
    void copyPicture(int, int, const HostArea& a) override { log(u"CopyPicture %1"_s.arg(describe(a))); }

    static QString describe(const HostArea& a) {
        if (a.wholeRows) {
            return u"rows %1:%2"_s.arg(a.firstRow).arg(a.lastRow);
        }
        return u"R%1C%2:R%3C%4"_s.arg(a.firstRow).arg(a.firstColumn).arg(a.lastRow).arg(a.lastColumn);
    }

    QString version = u"16.0"_s;
    HostArea used{1, 2, 19, 33};
    QImage picture;
    bool failSave = false;
    int failingPictureReads = 0;
    mutable int pictureReads = 0;

private:
    void log(const QString& line) { m_log << line; }
    QStringList& m_log;
    bool m_alerts = true;
    int m_workbooks = 0;
    HostArea m_selection;
};

} // namespace markwell::test
