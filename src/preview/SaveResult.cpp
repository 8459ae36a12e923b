#include "preview/SaveResult.h"

#include "common/ErrorReport.h"
#include "common/FileUtil.h"
#include "common/Prompt.h"
#include "gradebook/export/SaveFormats.h"
#include "os/Files.h"

using namespace Qt::Literals::StringLiterals;

namespace markwell::preview {

using namespace exporting;

void SaveResults(Prompt& prompt, const QString& excelFile) {
    ErrorTrap trap(prompt, QString::fromUtf16(kSaveLocation));
    QString target;
    SaveFormat chosen = SaveFormat::Xls;
    bool yes = false;
    trap.step(100, [&] {
        const Prompt::SaveChoice choice = prompt.chooseSaveFile(u"Save File"_s, saveFileTypes());
        target = choice.path;
        chosen = formatOfFileType(choice.fileType);
    });
    if (!target.isEmpty()) {
        if (trap.test(102, [&] { return os::sameFile(target, excelFile); })) {
            // Replacing the generated workbook with itself would first remove it; refuse.
            trap.step(104, [&] {
                prompt.message(u"The workbook cannot be saved over itself: \"%1\" is the generated workbook. "
                               u"Please choose another name."_s.arg(target));
            });
        } else if (trap.test(106, [&] { return FileExists(target); })) {
            trap.step(108, [&] {
                yes =
                    prompt.askYesNo(u"Are you sure you wish to overwrite "_s + target + u" ?"_s) == Prompt::Answer::Yes;
            });
            // The old file is replaced only once the new copy is complete, by the rename below.
        } else {
            yes = true;
        }
    }
    if (yes) {
        trap.step(110, [&] { SaveWorkbookAs(excelFile, target, formatForTarget(target, chosen)); });
    }
    trap.step(112, [&] { prompt.message(u"Done."_s); });
}

} // namespace markwell::preview
