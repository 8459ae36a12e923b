#include "gradebook/Excel1.h"

#include "common/ErrorReport.h"
#include "gradebook/PictureFile.h"
#include "gradebook/WorkFiles.h"
#include "os/Files.h"
#include "setup/PointsText.h"

#include <QLocale>

#include <cmath>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace markwell::Excel1 {

std::unique_ptr<SpreadsheetHost> openInNewInstance(const HostFactory& factory, const QString& path) {
    std::unique_ptr<SpreadsheetHost> host = factory ? factory() : nullptr;
    if (!host) {
        throw HostError(u"A new instance of the spreadsheet engine could not be created."_s);
    }
    try {
        host->Workbooks().Open(path);
    } catch (const std::exception& e) {
        throw HostError(u"The saved workbook could not be opened again: %1"_s.arg(QString::fromUtf8(e.what())));
    }
    return host;
}

QChar localDecimalSeparator() {
    return decimalSeparatorOf(QLocale());
}

QString localizeNumberText(const QString& text) {
    const QChar sep = localDecimalSeparator();
    QString out = text;
    out.replace(QLatin1Char('.'), sep);
    out.replace(QLatin1Char(','), sep);
    return out;
}

std::int32_t saveFileFormatForVersion(const QString& versionText) {
    const QString text = localizeNumberText(versionText).trimmed();
    bool ok = false;
    const double value = QLocale().toDouble(text, &ok);
    if (!ok) {
        throw Failure(u"Type mismatch: the version \"%1\" is not a number."_s.arg(versionText));
    }
    // Nearest whole number, halves to the even one, as a 16-bit value.
    const double rounded = std::nearbyint(value);
    if (!(rounded >= -32768.0 && rounded <= 32767.0)) {
        throw Failure(u"Overflow: the version \"%1\" is out of range."_s.arg(versionText));
    }
    const auto major = static_cast<std::int16_t>(rounded);
    return major > 11 ? xlExcel8 : xlWorkbookNormal;
}

std::int32_t getSaveFileFormat(SpreadsheetHost* host, const HostFactory& factory) {
    QString version;
    if (host == nullptr) {
        std::unique_ptr<SpreadsheetHost> probe = factory ? factory() : nullptr;
        if (!probe) {
            throw HostError(u"A new instance of the spreadsheet engine could not be created."_s);
        }
        version = probe->Version();
        probe->Quit();
    } else {
        version = host->Version();
    }
    return saveFileFormatForVersion(version);
}

QImage getClipboardPicture(const SpreadsheetHost& host, std::int32_t /*format: any picture*/) {
    for (int request = 0; request < kPictureRequests; ++request) {
        try {
            QImage picture = host.pictureSlot();
            if (!picture.isNull()) {
                return picture;
            }
        } catch (...) {
            // Every failure counts as an empty slot.
        }
    }
    return {};
}

void saveCellsActivesheet(SpreadsheetHost& host, HostWorkbook workbook, const QString& path, Prompt& prompt) {
    ErrorTrap trap(prompt, u"in Ledgerly2021/08/31.Excel1.saveCellsActivesheet "_s);
    std::optional<HostWorksheet> sheet;
    int lastRow = 0;
    int lastColumn = 0;
    trap.step(100, [&] { sheet = workbook.ActiveSheet(); });
    trap.step(102, [&] { lastRow = sheet.value().UsedRange().lastRow(); });
    trap.step(104, [&] { lastColumn = sheet.value().UsedRange().lastColumn(); });
    if (!trap.test(106, [&] { return lastRow > 1 && lastColumn > 1; })) {
        return;
    }
    // The renderer draws the picture straight into the work file where it can.
    picture_file::DrawnFile drawn(path);
    trap.step(110, [&] {
        const render::PictureSourceScope into(drawn);
        sheet.value().UsedRange().CopyPicture();
    });
    // A folder or disk that cannot take the picture ends the whole job with its one message.
    std::optional<WorkFolderFailure> folderTrouble;
    trap.step(112, [&] {
        try {
            const QImage picture = getClipboardPicture(host, 0);
            if (picture.isNull()) {
                throw Failure(u"No picture of the sheet could be obtained."_s);
            }
            // Never through a link and never over a file that is there already: the work file is
            // this job's own or it is not written at all.
            const auto hold = work_files::hold();
            if (drawn.keep(picture)) {
                return;
            }
            if (os::kindOf(path) != os::FileKind::Missing) {
                throw Failure(workFileInTheWay(path));
            }
            drawn.throwFailure();
            picture_file::writePicture(path, picture);
            work_files::record(path);
        } catch (const WorkFolderFailure& e) {
            folderTrouble = e;
        }
    });
    if (folderTrouble) {
        throw *folderTrouble;
    }
}

} // namespace markwell::Excel1
