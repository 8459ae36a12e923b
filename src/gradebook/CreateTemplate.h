#pragma once

#include "gradebook/WorkFiles.h"
#include "setup/GradebookSetup.h"
#include "workbook/host/SpreadsheetHost.h"

#include <QByteArray>
#include <QImage>
#include <QString>

#include <functional>
#include <memory>
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
    // The saved workbook as the job last had it open (with CreateTemplateEnvironment::
    // handOverModel), so that the preview need not read it again; null when the host keeps none.
    virtual void setPreviewModel(std::shared_ptr<const sheet::Workbook> model) { (void)model; }
    virtual void showPreview() = 0;
    virtual void hideMainWindow() = 0;
    // A word to the user that is no failure: the job waits for another one to finish with the
    // work folder. The job goes on (waiting) when the call returns.
    virtual void notice(const QString& text) { (void)text; }
};

// A hand-over without windows: it keeps the picture and the workbook path (markwell-cli, tests).
class CollectingUi : public CreateTemplateUi {
public:
    void setBusy(bool) override {}
    void setPreviewPicture(const QImage& p) override { picture = p; }
    void setPreviewWorkbook(const QString& path) override { workbook = path; }
    void setPreviewModel(std::shared_ptr<const sheet::Workbook> m) override { model = std::move(m); }
    void showPreview() override {}
    void hideMainWindow() override {}
    void notice(const QString& text) override {
        notices << text;
        if (onNotice) {
            onNotice(text);
        }
    }

    QImage picture;
    QString workbook;
    std::shared_ptr<const sheet::Workbook> model; // with CreateTemplateEnvironment::handOverModel
    QStringList notices;
    std::function<void(const QString&)> onNotice;
};

// The phases of one job, in the order the job goes through them.
enum class JobPhase {
    Waiting,  // waiting while another job has the work folder (reported only then)
    Template, // writing the template to the work folder and opening it
    Tests,    // a column for each test, its name and possible points; counted in tests
    Rows,     // a row for each student; counted in student rows made
    Students, // each student's name, ID and points; counted in students
    Save,     // saving the filled workbook in the work folder
    Reopen,   // opening the saved workbook again
    Picture,  // drawing the picture of the sheet and reading it back
};

// Milliseconds spent in each phase of one run.
struct CreateTemplateTimings {
    double templateMs = 0, fillMs = 0, saveMs = 0, reopenMs = 0, pictureMs = 0, totalMs = 0;
};

struct CreateTemplateEnvironment {
    HostFactory hostFactory;
    std::function<QByteArray()> templateBytes; // empty: the template the program carries
    std::function<QString()> workFolder;       // empty: markwell::workFolder(); read once per job
    std::function<int()> randomDigit;          // a digit from 1 to 9
    CreateTemplateTimings* timings = nullptr;
    // Where the job is, for a caller that shows it; empty: nobody asks. Called on the job's thread
    // at the start of each phase with done 0, every few hundred rows within the long loops, and
    // once more with done == total when a counted phase ends; total is 0 for a phase without a
    // count. It must not throw and should return at once.
    std::function<void(JobPhase phase, qint64 done, qint64 total)> progress;
    // Asked after each progress report; true stops the job there, as if it had been interrupted:
    // its work files and lock are gone, nothing is handed over and nothing is reported. Empty: the
    // job runs to its end.
    std::function<bool()> cancelled;
    // How long a job waits for another one that has the work folder, in milliseconds.
    int workFolderWaitMs = 10 * 60 * 1000;
    // The result workbook stays recorded among the work files (work_files) after the job, for a
    // caller that deletes it itself and wants it deleted when the process is interrupted.
    bool keepResultRecorded = false;
    // The picture of the sheet is drawn and handed over; without it no picture file is made.
    bool picture = true;
    // The reopened workbook's model is handed over too (CreateTemplateUi::setPreviewModel).
    bool handOverModel = false;
};

// A digit from 1 to 9 from a generator seeded once from the system's entropy.
int randomResultDigit();

// Why a setup cannot become a workbook (more tests or students than the workbook format holds, a
// text longer than a cell holds), or nothing when it fits.
std::optional<QString> checkSetupFitsWorkbook(const GradebookSetup& setup);

// The whole "Create Template" run for a setup, on the host interface only, under the error trap
// of the main window's "Create Template" command. `creating` is the re-entry flag.
//
// Jobs that share a work folder take turns: a job holds the lock file "markwell.lock" in the
// work folder from before its first work file until its work files are gone, and a job that
// finds it held tells the user (CreateTemplateUi::notice) and waits. Work files are made without
// following links and never over a file this job did not make; such a file in the way is refused
// with a report that names it. A work folder or disk that cannot take the work files (full,
// read-only, gone) ends the job with one message that says so, and its work files are deleted. A
// cancelled job (CreateTemplateEnvironment::cancelled) returns with the busy pointer off and
// `creating` false.
void createTemplate(const GradebookSetup& setup, const CreateTemplateEnvironment& env, CreateTemplateUi& ui,
                    Prompt& prompt, bool& creating);

inline constexpr char16_t kTemplateFileName[] = u"template.xlt";
// The largest text a cell of the workbook format holds.
inline constexpr qsizetype kMaxCellText = 32767;

} // namespace markwell
