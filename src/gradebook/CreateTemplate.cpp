#include "gradebook/CreateTemplate.h"

#include "common/ErrorReport.h"
#include "common/FileUtil.h"
#include "common/Prompt.h"
#include "gradebook/Excel1.h"
#include "gradebook/TemplateBytes.h"
#include "gradebook/template/FilledLayout.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <memory>
#include <random>

using namespace Qt::Literals::StringLiterals;

namespace markwell {

namespace {

// The test block starts in column G (7) and must end by column 256; the summary ends four rows
// below the last student row, and the last sheet row is 65536.
constexpr qsizetype kMaxTests = 256 - 6;
constexpr qsizetype kMaxStudentRows = 65536 - 17;

QString joinPath(const QString& folder, const QString& name) {
    return folder.isEmpty() ? name : QDir(folder).filePath(name);
}

SpreadsheetHost& running(const std::unique_ptr<SpreadsheetHost>& host) {
    if (!host) {
        throw HostError(u"The spreadsheet engine is not running: its instance could not be created."_s);
    }
    return *host;
}

template <class T> T& present(std::optional<T>& value, const char16_t* what) {
    if (!value) {
        throw HostError(QString::fromUtf16(what));
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

} // namespace

QString workFolder() {
    const QString temp = qEnvironmentVariable("TEMP");
    if (!temp.isEmpty()) {
        return temp;
    }
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (base.isEmpty()) {
        base = QDir::homePath() + u"/.cache"_s;
    }
    const QString folder = QDir(base).filePath(u"markwell/work"_s);
    if (QDir().mkpath(folder)) {
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    return folder;
}

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
    return std::nullopt;
}

void createTemplate(const GradebookSetup& setup, const CreateTemplateEnvironment& env, CreateTemplateUi& ui,
                    Prompt& prompt, bool& creating) {
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
    auto folder = [&] { return env.workFolder ? env.workFolder() : workFolder(); };

    std::unique_ptr<SpreadsheetHost> hostA;
    std::optional<HostWorkbook> wb;
    QByteArray bytes;
    QString schoolName;
    QString resultPath;

    trap.step(102, [&] { creating = true; });
    trap.step(104, [&] { ui.setBusy(true); });
    trap.step(106, [&] {
        hostA = env.hostFactory ? env.hostFactory() : nullptr;
        running(hostA);
    });
    trap.step(108, [&] { bytes = env.templateBytes ? env.templateBytes() : templateWorkbook(); });
    trap.step(110, [&] {
        const QString templatePath = joinPath(folder(), QString::fromUtf16(kTemplateFileName));
        if (!FileExists(templatePath)) {
            WriteBytesToFile(bytes, templatePath);
        }
    });
    trap.step(112, [&] {
        wb = running(hostA).Workbooks().Open(joinPath(folder(), QString::fromUtf16(kTemplateFileName)), nullptr, true);
    });
    trap.step(114, [&] { running(hostA).setDisplayAlerts(false); });
    clock.lap(&CreateTemplateTimings::templateMs);

    trap.step(116, [&] { schoolName = setup.options.name; });
    trap.step(118, [&] { running(hostA).ActiveWorkbook().Worksheets(1).Select(); });
    trap.step(120, [&] { running(hostA).ActiveWorkbook().Worksheets(1).Activate(); });
    trap.step(122, [&] { running(hostA).Cells(5, 2).setValue(schoolName); });
    trap.step(124, [&] { running(hostA).Cells(8, 2).setValue(setup.options.teacherName); });
    trap.step(126, [&] { running(hostA).Cells(9, 2).setValue(setup.options.project); });
    trap.step(128, [&] { running(hostA).Cells(10, 2).setValue(setup.options.ysq); });

    qsizetype testCount = 0;
    trap.step(130, [&] { testCount = static_cast<qsizetype>(setup.tests.size()); });
    for (qsizetype i = 6; i <= testCount; ++i) {
        trap.step(132, [&] { running(hostA).Range(u"J6:J19"_s).Select(); });
        trap.step(134, [&] { running(hostA).Selection().Copy(); });
        trap.step(136, [&] { running(hostA).Range(u"J6"_s).Select(); });
        trap.step(138, [&] { running(hostA).Selection().Insert(xlShiftToRight); });
        trap.step(140, [&] { running(hostA).setCutCopyMode(false); });
        trap.setLabel(142);
    }
    trap.step(144, [&] { running(hostA).Range(u"G6"_s).Select(); });
    for (qsizetype i = 1; i <= testCount; ++i) {
        const TestRow& test = setup.tests[static_cast<size_t>(i - 1)];
        const int column = static_cast<int>(6 + i);
        trap.step(146, [&] { running(hostA).Cells(6, column).setText(test.name); });
        trap.step(148, [&] { running(hostA).Cells(7, column).setValue(test.possiblePoints); });
        trap.setLabel(150);
    }
    trap.setLabel(152);

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
    for (qsizetype j = 2; j <= m / 2; ++j) {
        trap.step(166, [&] { running(hostA).Rows(u"13:14"_s).Select(); });
        trap.step(168, [&] { running(hostA).Selection().Copy(); });
        trap.step(170, [&] { running(hostA).Selection().Insert(xlShiftDown); });
        trap.step(172, [&] { running(hostA).setCutCopyMode(false); });
        trap.step(174, [&] { k += 2; });
        trap.setLabel(176);
    }
    if (trap.test(178, [&] { return studentCount % 2 == 1; })) {
        trap.step(180, [&] { running(hostA).Rows(r + k).Select(); });
        trap.step(182, [&] { running(hostA).Selection().Delete(xlShiftUp); });
        trap.step(184, [&] { running(hostA).Rows(r).Select(); });
    }

    trap.step(186, [&] { r = 13; });
    for (qsizetype i = 1; i <= studentCount; ++i) {
        const StudentRow& student = setup.students[static_cast<size_t>(i - 1)];
        trap.step(188, [&] { running(hostA).Cells(r, 2).setValue(student.name); });
        trap.step(190, [&] { running(hostA).Cells(r, 3).setValue(student.id); });
        qsizetype n = 0;
        trap.step(192, [&] { n = setup.pointsCount; });
        for (qsizetype c = 7; c <= n + 6; ++c) {
            trap.step(194, [&] { running(hostA).Cells(r, static_cast<int>(c)).setValue(student.pointsFor(c - 7)); });
            trap.setLabel(196);
        }
        trap.step(198, [&] { ++r; });
        trap.setLabel(200);
    }
    // The filling grew the table: the printout covers all of it.
    trap.step(202, [&] {
        running(hostA).ActiveWorkbook().Worksheets(1).setPrintArea(
            QString::fromStdString(gradetemplate::filledPrintArea(testCount, studentCount)));
    });
    trap.step(204, [&] { ui.setBusy(false); });
    trap.step(206, [&] { running(hostA).ActiveWorkbook().Worksheets(1).Select(); });
    trap.step(208, [&] { running(hostA).Cells(5, 2).Select(); });
    trap.step(210, [&] { running(hostA).setDisplayAlerts(true); });
    trap.step(212, [&] { running(hostA).setVisible(false); });
    clock.lap(&CreateTemplateTimings::fillMs);

    // The result name: "qvtemp" and eight digits 1 to 9. The file is reserved by creating it
    // exclusively, so a file that appears between the test and the save is never overwritten.
    trap.step(214, [&] {
        constexpr int kAttempts = 10000;
        for (int attempt = 0; attempt < kAttempts; ++attempt) {
            QString stem = QString::fromUtf16(kResultStem);
            for (int d = 0; d < 8; ++d) {
                stem += QString::number(env.randomDigit ? env.randomDigit() : randomResultDigit());
            }
            const QString path = joinPath(folder(), stem + u".xls"_s);
            if (FileExists(path)) {
                continue;
            }
            QFile reservation(path);
            if (reservation.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
                resultPath = path;
                return;
            }
            if (!QFileInfo(path).dir().exists()) {
                throw Failure(u"The work folder \"%1\" does not exist."_s.arg(folder()));
            }
        }
        throw Failure(u"No free name for the result workbook could be found in \"%1\"."_s.arg(folder()));
    });
    trap.setLabel(228);
    trap.step(230, [&] {
        present(wb, u"The template workbook is not open.")
            .SaveAs(resultPath, Excel1::getSaveFileFormat(hostA.get(), env.hostFactory));
    });
    trap.step(232, [&] { running(hostA).setDisplayAlerts(false); });
    trap.step(234, [&] { present(wb, u"The template workbook is not open.").Close(); });
    trap.step(236, [&] { running(hostA).Quit(); });
    trap.step(238, [&] { hostA.reset(); });
    clock.lap(&CreateTemplateTimings::saveMs);

    std::unique_ptr<SpreadsheetHost> hostB;
    std::optional<HostWorkbook> wb2;
    trap.step(240, [&] { hostB = Excel1::openInNewInstance(env.hostFactory, resultPath); });
    trap.step(242, [&] { ui.setBusy(true); });
    trap.step(244, [&] { wb2 = running(hostB).Workbooks().Item(running(hostB).Workbooks().Count()); });
    clock.lap(&CreateTemplateTimings::reopenMs);
    const QString picturePath = joinPath(folder(), QString::fromUtf16(kPictureFileName));
    trap.step(246, [&] {
        Excel1::saveCellsActivesheet(running(hostB), present(wb2, u"The result workbook is not open."), picturePath,
                                     prompt);
    });
    trap.step(248, [&] { running(hostB).setDisplayAlerts(false); });
    trap.step(250, [&] { present(wb2, u"The result workbook is not open.").Close(); });
    trap.step(252, [&] { running(hostB).Quit(); });
    trap.step(254, [&] { ui.setBusy(false); });

    trap.step(256, [&] {
        QImage picture;
        const bool loaded = picture.load(picturePath);
        ui.setPreviewPicture(loaded ? picture : QImage());
        if (!loaded) {
            throw Failure(u"The picture file \"%1\" could not be loaded."_s.arg(picturePath));
        }
    });
    clock.lap(&CreateTemplateTimings::pictureMs);
    trap.step(258, [&] { ui.setPreviewWorkbook(resultPath); });
    trap.step(260, [&] { ui.showPreview(); });
    trap.step(262, [&] { ui.hideMainWindow(); });
    trap.step(264, [&] { DeleteFileQuietly(picturePath); });
    trap.step(266, [&] { DeleteFileQuietly(joinPath(folder(), QString::fromUtf16(kTemplateFileName))); });
    trap.step(268, [&] { creating = false; });
    clock.finish();
}

} // namespace markwell
