#include "gradebook/CreateTemplate.h"

#include "common/ErrorReport.h"
#include "common/FileUtil.h"
#include "common/Prompt.h"
#include "gradebook/Excel1.h"
#include "gradebook/PictureFile.h"
#include "gradebook/TemplateBytes.h"
#include "gradebook/template/FilledLayout.h"
#include "os/Files.h"
#include "setup/PointsText.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <exception>
#include <memory>
#include <random>

using namespace Qt::Literals::StringLiterals;

namespace markwell {

namespace {

// The test block starts in column G (7) and must end by column 256; the summary ends four rows
// below the last student row, and the last sheet row is 65536.
constexpr qsizetype kMaxTests = 256 - 6;
constexpr qsizetype kMaxStudentRows = 65536 - 17;

// Work files hold names and grades: only their owner may read them.
constexpr int kWorkFileMode = 0600;

// Thrown where the job reports its progress when its caller asks it to stop, and caught only by
// createTemplate: no error trap sees it.
struct JobCancelled {};

// A host instance that is there, or a failure that says why it is not.
SpreadsheetHost& running(const std::unique_ptr<SpreadsheetHost>& host, const QString& whyMissing) {
    if (!host) {
        throw HostError(whyMissing);
    }
    return *host;
}

template <class T> T& present(std::optional<T>& value, const QString& whyMissing) {
    if (!value) {
        throw HostError(whyMissing);
    }
    return *value;
}

class PhaseClock {
public:
    explicit PhaseClock(CreateTemplateTimings* timings) : m_timings(timings) {
        m_total.start();
        m_phase.start();
    }
    void lap(double CreateTemplateTimings::*phase) {
        if (m_timings) {
            m_timings->*phase += static_cast<double>(m_phase.nsecsElapsed()) / 1e6;
        }
        m_phase.restart();
    }
    void finish() {
        if (m_timings) {
            m_timings->totalMs = static_cast<double>(m_total.nsecsElapsed()) / 1e6;
        }
    }

private:
    CreateTemplateTimings* m_timings;
    QElapsedTimer m_total, m_phase;
};

// Tells the caller where the job is (CreateTemplateEnvironment::progress). Within a loop only
// every kEvery rows, so that a job nobody watches pays a test and a branch per row.
class ProgressReport {
public:
    explicit ProgressReport(const CreateTemplateEnvironment& env)
        : m_report(env.progress ? &env.progress : nullptr), m_cancelled(env.cancelled ? &env.cancelled : nullptr) {}

    void start(JobPhase phase, qint64 total = 0) {
        m_phase = phase;
        m_total = total;
        send(0);
    }
    void at(qint64 done) {
        if ((m_report != nullptr || m_cancelled != nullptr) && done % kEvery == 0) {
            send(done);
        }
    }
    void end() { send(m_total); }

private:
    static constexpr qint64 kEvery = 256;

    void send(qint64 done) const {
        if (m_report != nullptr) {
            (*m_report)(m_phase, done, m_total);
        }
        if (m_cancelled != nullptr && (*m_cancelled)()) {
            throw JobCancelled{};
        }
    }

    const std::function<void(JobPhase, qint64, qint64)>* m_report;
    const std::function<bool()>* m_cancelled;
    JobPhase m_phase = JobPhase::Template;
    qint64 m_total = 0;
};

// The first text of the setup that no cell can hold, described for a message.
std::optional<QString> overlongText(const GradebookSetup& setup) {
    const auto tooLong = [](const QString& text) { return text.size() > kMaxCellText; };
    const auto describe = [](const QString& what, const QString& text) {
        return u"%1 has %2 characters, but a cell of the workbook holds at most %3. Please shorten it and try "
               u"again."_s.arg(what)
                   .arg(text.size())
                   .arg(kMaxCellText);
    };
    const std::pair<const char16_t*, const QString*> options[] = {
        {u"The school name", &setup.options.name},
        {u"The teacher name", &setup.options.teacherName},
        {u"The class or project", &setup.options.project},
        {u"The year, semester or quarter", &setup.options.ysq}};
    for (const auto& [what, text] : options) {
        if (tooLong(*text)) {
            return describe(QString::fromUtf16(what), *text);
        }
    }
    for (size_t i = 0; i < setup.tests.size(); ++i) {
        const TestRow& t = setup.tests[i];
        if (tooLong(t.name)) {
            return describe(u"The name of test %1"_s.arg(i + 1), t.name);
        }
        if (tooLong(t.possiblePoints)) {
            return describe(u"The possible points of test %1"_s.arg(i + 1), t.possiblePoints);
        }
    }
    for (size_t i = 0; i < setup.students.size(); ++i) {
        const StudentRow& s = setup.students[i];
        if (tooLong(s.name)) {
            return describe(u"The name of student %1"_s.arg(i + 1), s.name);
        }
        if (tooLong(s.id)) {
            return describe(u"The ID of student %1"_s.arg(i + 1), s.id);
        }
        for (qsizetype k = 0; k < std::min(setup.pointsCount, s.points.size()); ++k) {
            if (tooLong(s.points[k])) {
                return describe(u"The points of student %1 for test %2"_s.arg(i + 1).arg(k + 1), s.points[k]);
            }
        }
    }
    return std::nullopt;
}

} // namespace

int randomResultDigit() {
    static std::mt19937 generator{std::random_device{}()};
    return std::uniform_int_distribution<int>(1, 9)(generator);
}

std::optional<QString> checkSetupFitsWorkbook(const GradebookSetup& setup) {
    const auto tests = static_cast<qsizetype>(setup.tests.size());
    const qsizetype columns = std::max(tests, setup.pointsCount);
    if (columns > kMaxTests) {
        return u"The gradebook has %1 tests, but a workbook has room for at most %2 tests (one column each, "
               u"ending at the last column of the sheet). Please delete some tests and try again."_s.arg(columns)
                   .arg(kMaxTests);
    }
    const auto students = static_cast<qsizetype>(setup.students.size());
    if (students > kMaxStudentRows) {
        return u"The gradebook has %1 students, but a workbook has room for at most %2 students. Please delete "
               u"some students and try again."_s.arg(students)
                   .arg(kMaxStudentRows);
    }
    return overlongText(setup);
}

namespace {

void runJob(const GradebookSetup& setup, const CreateTemplateEnvironment& env, CreateTemplateUi& ui, Prompt& prompt,
            bool& creating) {
    ErrorTrap trap(prompt, u"in Ledgerly2021/08/31.Form1.PushButton6_Click "_s);
    if (trap.test(100, [&] { return creating; })) {
        return;
    }
    // A setup the workbook format cannot hold gets one message before anything is written.
    if (const auto problem = checkSetupFitsWorkbook(setup)) {
        prompt.message(*problem);
        return;
    }
    PhaseClock clock(env.timings);

    trap.step(102, [&] { creating = true; });
    trap.step(104, [&] { ui.setBusy(true); });

    // The work folder is this job's alone until its work files are gone. Without one nothing can
    // be made: one message, and the job ends here.
    JobFolder job;
    QString problem;
    ProgressReport progress(env);
    // A wait for another job can be cancelled like the job itself.
    const auto waiting = [&progress] { progress.start(JobPhase::Waiting); };
    if (!job.take(
            env.workFolder, env.workFolderWaitMs, [&ui](const QString& text) { ui.notice(text); }, &problem, waiting)) {
        trap.run([&] { ui.setBusy(false); });
        prompt.message(problem);
        creating = false;
        return;
    }
    // A step that writes to the work folder: when the folder or its disk is the trouble the job
    // ends here with that one message (and nothing of it is left behind), instead of a report of
    // a program fault followed by the failures of every later step.
    std::optional<QString> folderTrouble;
    const auto writing = [&](int label, const auto& body) {
        trap.step(label, [&] {
            try {
                body();
            } catch (const WorkFolderFailure& e) {
                folderTrouble = e.description();
            }
        });
        return !folderTrouble;
    };
    const auto endForFolder = [&] {
        job.removeAll();
        trap.run([&] { ui.setBusy(false); });
        prompt.message(*folderTrouble);
        creating = false;
    };
    progress.start(JobPhase::Template);
    const QString templatePath = job.path(QString::fromUtf16(kTemplateFileName));
    const QString picturePath = job.path(QString::fromUtf16(kPictureFileName));
    const auto shown = [](const QString& path) { return QDir::toNativeSeparators(path); };
    // Points written with the locale's decimal comma reach the workbook with a decimal point.
    auto forWorkbook = [decimal = Excel1::localDecimalSeparator()](const QString& points) {
        return pointsForWorkbook(points, decimal);
    };

    std::unique_ptr<SpreadsheetHost> hostA;
    const QString noHostA = u"The spreadsheet engine is not running: its instance could not be created."_s;
    // The engine instance that fills the template, or a failure saying it is not running.
    const auto engine = [&]() -> SpreadsheetHost& { return running(hostA, noHostA); };
    std::optional<HostWorkbook> wb;
    const QString noTemplate = u"The template workbook is not open."_s;
    QByteArray bytes;
    QString schoolName;
    QString resultPath;

    trap.step(106, [&] {
        hostA = env.hostFactory ? env.hostFactory() : nullptr;
        engine();
    });
    trap.step(108, [&] { bytes = env.templateBytes ? env.templateBytes() : templateWorkbook(); });
    const bool templateWritten = writing(110, [&] {
        // Written only where nothing is; a left-over template of the user's own is used as it is
        // (and deleted at the end like one written now); anything else at the name is refused.
        const auto hold = work_files::hold();
        const os::FileKind kind = os::kindOf(templatePath);
        if (kind == os::FileKind::Regular && os::ownedByCurrentUser(templatePath)) {
            job.made(templatePath);
            return;
        }
        if (kind != os::FileKind::Missing) {
            throw Failure(workFileInTheWay(templatePath));
        }
        const os::Result<> written =
            os::writeNewFileFromParts(templatePath, {QByteArrayView(bytes)}, kWorkFileMode, false);
        if (!written) {
            job.stopOnFolderTrouble(written.errorNumber(), written.reason());
            throw Failure(
                u"The template could not be written to \"%1\": %2"_s.arg(shown(templatePath), written.reason()));
        }
        job.made(templatePath);
    });
    if (!templateWritten) {
        endForFolder();
        return;
    }
    trap.step(112, [&] {
        if (!job.owns(templatePath)) {
            throw Failure(u"The template \"%1\" was not written, so it cannot be opened."_s.arg(shown(templatePath)));
        }
        wb = engine().Workbooks().Open(templatePath, nullptr, true);
    });
    trap.step(114, [&] { engine().setDisplayAlerts(false); });
    clock.lap(&CreateTemplateTimings::templateMs);

    trap.step(116, [&] { schoolName = setup.options.name; });
    trap.step(118, [&] { engine().ActiveWorkbook().Worksheets(1).Select(); });
    trap.step(120, [&] { engine().ActiveWorkbook().Worksheets(1).Activate(); });
    trap.step(122, [&] { engine().Cells(5, 2).setValue(schoolName); });
    trap.step(124, [&] { engine().Cells(8, 2).setValue(setup.options.teacherName); });
    trap.step(126, [&] { engine().Cells(9, 2).setValue(setup.options.project); });
    trap.step(128, [&] { engine().Cells(10, 2).setValue(setup.options.ysq); });

    qsizetype testCount = 0;
    progress.start(JobPhase::Tests, static_cast<qint64>(setup.tests.size()));
    trap.step(130, [&] { testCount = static_cast<qsizetype>(setup.tests.size()); });
    for (qsizetype i = 6; i <= testCount; ++i) {
        trap.step(132, [&] { engine().Range(u"J6:J19"_s).Select(); });
        trap.step(134, [&] { engine().Selection().Copy(); });
        trap.step(136, [&] { engine().Range(u"J6"_s).Select(); });
        trap.step(138, [&] { engine().Selection().Insert(xlShiftToRight); });
        trap.step(140, [&] { engine().setCutCopyMode(false); });
        trap.setLabel(142);
    }
    trap.step(144, [&] { engine().Range(u"G6"_s).Select(); });
    for (qsizetype i = 1; i <= testCount; ++i) {
        const TestRow& test = setup.tests[static_cast<size_t>(i - 1)];
        const int column = static_cast<int>(6 + i);
        // A name is written as text, even one that reads as a number; no name leaves the heading
        // empty, so that the count of tests (H9) passes it over.
        trap.step(146, [&] {
            HostRange heading = engine().Cells(6, column);
            if (test.name.isEmpty()) {
                heading.setValue(test.name);
            } else {
                heading.setText(test.name);
            }
        });
        trap.step(148, [&] { engine().Cells(7, column).setValue(forWorkbook(test.possiblePoints)); });
        trap.setLabel(150);
    }
    trap.setLabel(152);
    progress.end();

    int r = 0;
    int k = 0;
    qsizetype studentCount = 0;
    qsizetype m = 0;
    trap.step(154, [&] { r = 13; });
    trap.step(156, [&] { k = 1; });
    trap.step(158, [&] { studentCount = static_cast<qsizetype>(setup.students.size()); });
    trap.step(160, [&] { m = studentCount % 2 == 0 ? studentCount : studentCount + 1; });
    trap.setLabel(162);
    trap.setLabel(164);
    progress.start(JobPhase::Rows, static_cast<qint64>(setup.students.size()));
    for (qsizetype j = 2; j <= m / 2; ++j) {
        trap.step(166, [&] { engine().Rows(u"13:14"_s).Select(); });
        trap.step(168, [&] { engine().Selection().Copy(); });
        trap.step(170, [&] { engine().Selection().Insert(xlShiftDown); });
        trap.step(172, [&] { engine().setCutCopyMode(false); });
        trap.step(174, [&] { k += 2; });
        trap.setLabel(176);
        progress.at(std::min<qint64>(2 * j, static_cast<qint64>(setup.students.size())));
    }
    if (trap.test(178, [&] { return studentCount % 2 == 1; })) {
        trap.step(180, [&] { engine().Rows(r + k).Select(); });
        trap.step(182, [&] { engine().Selection().Delete(xlShiftUp); });
        trap.step(184, [&] { engine().Rows(r).Select(); });
    }
    progress.end();

    progress.start(JobPhase::Students, static_cast<qint64>(setup.students.size()));
    trap.step(186, [&] { r = 13; });
    for (qsizetype i = 1; i <= studentCount; ++i) {
        const StudentRow& student = setup.students[static_cast<size_t>(i - 1)];
        trap.step(188, [&] { engine().Cells(r, 2).setValue(student.name); });
        trap.step(190, [&] { engine().Cells(r, 3).setValue(student.id); });
        qsizetype n = 0;
        trap.step(192, [&] { n = setup.pointsCount; });
        for (qsizetype c = 7; c <= n + 6; ++c) {
            trap.step(194,
                      [&] { engine().Cells(r, static_cast<int>(c)).setValue(forWorkbook(student.pointsFor(c - 7))); });
            trap.setLabel(196);
        }
        trap.step(198, [&] { ++r; });
        trap.setLabel(200);
        progress.at(i);
    }
    progress.end();
    // The filling grew the table: the printout covers all of it.
    trap.step(202, [&] {
        engine().ActiveWorkbook().Worksheets(1).setPrintArea(
            QString::fromStdString(gradetemplate::filledPrintArea(testCount, studentCount)));
    });
    trap.step(204, [&] { ui.setBusy(false); });
    trap.step(206, [&] { engine().ActiveWorkbook().Worksheets(1).Select(); });
    trap.step(208, [&] { engine().Cells(5, 2).Select(); });
    trap.step(210, [&] { engine().setDisplayAlerts(true); });
    trap.step(212, [&] { engine().setVisible(false); });
    clock.lap(&CreateTemplateTimings::fillMs);
    progress.start(JobPhase::Save);

    // The result name: "qvtemp" and eight digits 1 to 9. The file is reserved by creating it
    // exclusively, so a file that appears between the test and the save is never overwritten.
    const bool nameReserved = writing(214, [&] {
        constexpr int kAttempts = 10000;
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            QString stem = QString::fromUtf16(kResultStem);
            for (int d = 0; d < 8; ++d) {
                stem += QString::number(env.randomDigit ? env.randomDigit() : randomResultDigit());
            }
            const QString path = job.path(stem + u".xls"_s);
            if (FileExists(path)) {
                continue;
            }
            const auto hold = work_files::hold();
            const os::Result<> reserved = os::writeNewFileFromParts(path, {}, kWorkFileMode, false);
            if (reserved) {
                job.made(path);
                resultPath = path;
                return;
            }
            if (os::kindOf(path) == os::FileKind::Missing) {
                // Not a name taken in between: the folder refuses new files.
                job.stopOnFolderTrouble(reserved.errorNumber(), reserved.reason());
                throw Failure(
                    u"The result workbook \"%1\" could not be created: %2"_s.arg(shown(path), reserved.reason()));
            }
        }
        throw Failure(u"No free name for the result workbook could be found in \"%1\"."_s.arg(shown(job.folder())));
    });
    if (!nameReserved) {
        endForFolder();
        return;
    }
    trap.setLabel(228);
    const bool saved = writing(230, [&] {
        const auto hold = work_files::hold();
        try {
            if (resultPath.isEmpty()) {
                throw Failure(u"The result workbook has no name in the work folder, so it cannot be saved."_s);
            }
            // The save goes to the file reserved for it; a link put in its place would lead it out
            // of the work folder.
            if (os::kindOf(resultPath) != os::FileKind::Regular || !os::ownedByCurrentUser(resultPath)) {
                const QString why = workFileInTheWay(resultPath);
                resultPath.clear();
                throw Failure(why);
            }
            present(wb, noTemplate).SaveAs(resultPath, Excel1::getSaveFileFormat(hostA.get(), env.hostFactory));
            work_files::holdWhileThere(resultPath);
        } catch (const HostError& e) {
            // A failed save leaves nothing behind, not even the empty file that reserved the name.
            job.remove(resultPath);
            job.stopOnFolderTrouble(e.errorNumber(), os::errorText(e.errorNumber()));
            throw;
        } catch (...) {
            job.remove(resultPath);
            throw;
        }
    });
    if (!saved) {
        endForFolder();
        return;
    }
    trap.step(232, [&] { engine().setDisplayAlerts(false); });
    trap.step(234, [&] { present(wb, noTemplate).Close(); });
    trap.step(236, [&] { engine().Quit(); });
    trap.step(238, [&] { hostA.reset(); });
    clock.lap(&CreateTemplateTimings::saveMs);
    progress.start(JobPhase::Reopen);

    std::unique_ptr<SpreadsheetHost> hostB;
    const QString noHostB =
        u"The saved workbook \"%1\" is not open: opening it again failed at line 240."_s.arg(shown(resultPath));
    // The instance that opened the saved workbook again, or a failure saying it is not open.
    const auto reopened = [&]() -> SpreadsheetHost& { return running(hostB, noHostB); };
    std::optional<HostWorkbook> wb2;
    trap.step(240, [&] { hostB = Excel1::openInNewInstance(env.hostFactory, resultPath); });
    trap.step(242, [&] { ui.setBusy(true); });
    trap.step(244, [&] { wb2 = reopened().Workbooks().Item(reopened().Workbooks().Count()); });
    clock.lap(&CreateTemplateTimings::reopenMs);
    if (env.picture) {
        progress.start(JobPhase::Picture);
        const bool pictureWasThere = os::kindOf(picturePath) != os::FileKind::Missing;
        const bool drawn =
            writing(246, [&] { Excel1::saveCellsActivesheet(reopened(), present(wb2, noHostB), picturePath, prompt); });
        if (!pictureWasThere && os::kindOf(picturePath) == os::FileKind::Regular) {
            job.made(picturePath);
        }
        if (!drawn) {
            endForFolder();
            return;
        }
        // The last chance to stop before the hand-over.
        progress.end();
    }
    trap.step(248, [&] { reopened().setDisplayAlerts(false); });
    std::shared_ptr<const sheet::Workbook> shownModel;
    trap.step(250, [&] {
        if (env.handOverModel) {
            shownModel = present(wb2, noHostB).CloseKeepingModel();
        } else {
            present(wb2, noHostB).Close();
        }
    });
    trap.step(252, [&] { reopened().Quit(); });
    trap.step(254, [&] { ui.setBusy(false); });

    if (env.picture) {
        trap.step(256, [&] {
            QImage picture;
            try {
                if (!job.owns(picturePath)) {
                    throw Failure(u"There is no picture of the sheet: the picture file \"%1\" was not written."_s.arg(
                        shown(picturePath)));
                }
                picture = picture_file::readPicture(picturePath);
            } catch (...) {
                ui.setPreviewPicture(QImage());
                throw;
            }
            ui.setPreviewPicture(picture);
        });
    }
    clock.lap(&CreateTemplateTimings::pictureMs);
    trap.step(258, [&] {
        ui.setPreviewWorkbook(resultPath);
        ui.setPreviewModel(std::move(shownModel));
    });
    trap.step(260, [&] { ui.showPreview(); });
    trap.step(262, [&] { ui.hideMainWindow(); });
    trap.step(264, [&] { job.remove(picturePath); });
    trap.step(266, [&] { job.remove(templatePath); });
    // The result belongs to the preview (or the caller) from the hand-over on.
    if (!env.keepResultRecorded && !resultPath.isEmpty()) {
        work_files::forget(resultPath);
    }
    trap.step(268, [&] { creating = false; });
    clock.finish();
}

} // namespace

void createTemplate(const GradebookSetup& setup, const CreateTemplateEnvironment& env, CreateTemplateUi& ui,
                    Prompt& prompt, bool& creating) {
    try {
        runJob(setup, env, ui, prompt, creating);
    } catch (const JobCancelled&) {
        // The work files and the lock went with the job; the window is as it was before it.
        try {
            ui.setBusy(false);
        } catch (...) {
            // The pointer stays as it is; the job has ended all the same.
        }
        creating = false;
    }
}

} // namespace markwell
