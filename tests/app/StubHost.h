#pragma once

#include "workbook/host/SpreadsheetHost.h"

#include <memory>

namespace markwell::test {

// A host that can be created but does nothing: enough for the start-up availability check.
class StubHost : public SpreadsheetHost {
public:
    void setDisplayAlerts(bool) override {}
    bool displayAlerts() const override { return false; }
    void setVisible(bool) override {}
    QString Version() const override { return QStringLiteral("8.0"); }
    void setCutCopyMode(bool) override {}
    void Quit() override {}
    QImage pictureSlot() const override { return {}; }
    int workbookCount() const override { return 0; }
    int openWorkbook(const QString&, bool) override { fail(); }
    int activeWorkbookIndex() const override { fail(); }
    void selectSheet(int, int) override { fail(); }
    void activateSheet(int, int) override { fail(); }
    int activeSheetIndex(int) const override { fail(); }
    void setCellValue(const HostArea&, const QString&) override { fail(); }
    void setCellText(const HostArea&, const QString&) override { fail(); }
    void setPrintArea(int, int, const HostArea&) override { fail(); }
    void select(const HostArea&) override { fail(); }
    HostArea selection() const override { fail(); }
    void copyArea(const HostArea&) override { fail(); }
    void insertCopied(const HostArea&, int) override { fail(); }
    void deleteArea(const HostArea&, int) override { fail(); }
    void saveWorkbookAs(int, const QString&, int) override { fail(); }
    void closeWorkbook(int) override { fail(); }
    HostArea usedRange(int, int) const override { fail(); }
    void copyPicture(int, int, const HostArea&) override { fail(); }

    static HostFactory factory() {
        return [] { return std::unique_ptr<SpreadsheetHost>(std::make_unique<StubHost>()); };
    }

private:
    [[noreturn]] static void fail() { throw HostError(QStringLiteral("The stub host has no workbooks.")); }
};

} // namespace markwell::test
