#pragma once

#include "setup/GradebookSetup.h"
#include "workbook/host/SpreadsheetHost.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <functional>
#include <optional>

namespace markwell {

class Prompt;

// What the filling needs from the window that runs it.
class CreateTemplateUi {
public:
    virtual ~CreateTemplateUi() = default;
    // The hourglass on (true) or back to the default pointer (false).
    virtual void setBusy(bool busy) = 0;
    // The hand-over to the preview window, one call per step so a failure of one is reported
    // under its own label: the picture (null when none could be loaded), the workbook path, show
    // the preview, hide the main window.
    virtual void setPreviewPicture(const QImage& picture) = 0;
    virtual void setPreviewWorkbook(const QString& path) = 0;
    virtual void showPreview() = 0;
    virtual void hideMainWindow() = 0;
};

// A hand-over without windows: it keeps the picture and the workbook path (markwell-cli, tests).
class CollectingUi : public CreateTemplateUi {
public:
    void setBusy(bool) override {}
    void setPreviewPicture(const QImage& p) override { picture = p; }
    void setPreviewWorkbook(const QString& path) override { workbook = path; }
    void showPreview() override {}
    void hideMainWindow() override {}

    QImage picture;
    QString workbook;
};

// Milliseconds spent in each phase of one run.
struct CreateTemplateTimings {
    double templateMs = 0, fillMs = 0, saveMs = 0, reopenMs = 0, pictureMs = 0, totalMs = 0;
};

struct CreateTemplateEnvironment {
    HostFactory hostFactory;
    std::function<QByteArray()> templateBytes; // empty: the template the program carries
    std::function<QString()> workFolder;       // read afresh for every path
    std::function<int()> randomDigit;          // a digit from 1 to 9
    CreateTemplateTimings* timings = nullptr;
};

// The work folder: TEMP when it is set and not empty, otherwise a private per-user folder
// (created with owner-only permissions). Never the file-system root.
QString workFolder();

// A digit from 1 to 9 from a generator seeded once from the system's entropy.
int randomResultDigit();

// Why a setup cannot become a workbook (more tests or students than the workbook format holds),
// or nothing when it fits.
std::optional<QString> checkSetupFitsWorkbook(const GradebookSetup& setup);

// The whole "Create Template" run for a setup, on the host interface only, under the error trap
// of the main window's "Create Template" command. `creating` is the re-entry flag.
void createTemplate(const GradebookSetup& setup, const CreateTemplateEnvironment& env, CreateTemplateUi& ui,
                    Prompt& prompt, bool& creating);

inline constexpr char16_t kTemplateFileName[] = u"template.xlt";
inline constexpr char16_t kPictureFileName[] = u"temp.bmp";
inline constexpr char16_t kResultStem[] = u"qvtemp";

} // namespace markwell
