// Whole jobs as they run beside each other and as they end: several markwell-cli processes and a
// job of the program's own sharing one work folder, an interrupted markwell-cli, a failure after
// the workbook was saved, and a class whose picture reaches the bound.

#include "cli/CliRun.h"
#include "cli/SetupFile.h"
#include "gradebook/CreateTemplate.h"
#include "gradebook/PictureFile.h"
#include "gradebook/TemplateBytes.h"
#include "preview/SaveResult.h"
#include "workbook/host/EmbeddedHost.h"
#include "workbook/xls/XlsReader.h"

#include "ScriptedPrompt.h"
#include "TempDir.h"
#include "TestHosts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <csignal>
#endif

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

namespace {

// A setup file for a class of `tests` tests and `students` students whose school is `school`.
QByteArray setupText(const QString& school, int tests, int students) {
    QStringList testRows;
    for (int t = 1; t <= tests; ++t) {
        testRows << u"Test %1^%2"_s.arg(t).arg(10 * t);
    }
    QStringList studentRows;
    for (int i = 1; i <= students; ++i) {
        QStringList fields{u"%1 student %2"_s.arg(school).arg(i), u"ID%1"_s.arg(i)};
        for (int t = 1; t <= tests; ++t) {
            fields << QString::number((i * 7 + t * 3) % (10 * t + 1));
        }
        studentRows << fields.join(u'^');
    }
    return (u"txtName="_s + school + u"\ntxtTeachName=Teacher\nTests="_s + testRows.join(u'|') + u"\nStudents="_s +
            studentRows.join(u'|') + u"\n"_s)
        .toUtf8();
}

GradebookSetup setupOf(const QByteArray& text) {
    return cli::assembleSetup(cli::parseSetupFile(text, u"setup"_s), nullptr, nullptr);
}

// One "Create Template" job of the program's own on the embedded engine, in `work`.
void runJob(const GradebookSetup& setup, const QString& work, test::ScriptedPrompt& prompt, CollectingUi& ui) {
    CreateTemplateEnvironment env;
    env.hostFactory = defaultHostFactory();
    env.templateBytes = [] { return templateWorkbook(); };
    env.workFolder = [&] { return work; };
    bool creating = false;
    createTemplate(setup, env, ui, prompt, creating);
}

// The picture the job gives when it runs alone in a work folder of its own.
QImage pictureAlone(const GradebookSetup& setup) {
    test::TempDir work;
    test::ScriptedPrompt prompt;
    CollectingUi ui;
    runJob(setup, work.path(), prompt, ui);
    EXPECT_TRUE(prompt.shown().empty()) << prompt.messageTexts().join(u"\n"_s).toStdString();
    QFile::remove(ui.workbook);
    return ui.picture.convertToFormat(QImage::Format_RGB32);
}

sheet::Workbook readWorkbook(const QString& path) {
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    const QByteArray bytes = f.readAll();
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    return xls::readXls(xls::ByteView(data, static_cast<size_t>(bytes.size()))).workbook;
}

std::string text(const sheet::Workbook& book, int row, int column) {
    const sheet::Cell* c = book.sheets.at(0).cell(row - 1, column - 1);
    return c && c->value.isText() ? c->value.text() : std::string();
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

// markwell-cli as a separate process with TEMP set to `work`.
std::unique_ptr<QProcess> startCli(const QString& work, const QStringList& arguments) {
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"TEMP"_s, work);
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    process->setProcessEnvironment(environment);
    process->start(QString::fromUtf8(MARKWELL_CLI_PATH), QStringList{u"create"_s} + arguments);
    EXPECT_TRUE(process->waitForStarted(30000));
    return process;
}

// Waits until `ready` holds, for at most `ms` milliseconds.
template <class F> bool waitFor(F&& ready, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!ready()) {
        if (timer.elapsed() > ms) {
            return false;
        }
        QThread::msleep(2);
    }
    return true;
}

} // namespace

TEST(Jobs, EightCliJobsAndTheProgramsOwnShareAWorkFolderEachWithItsOwnResult) {
    test::TempDir dir;
    test::TempDir work;
    constexpr int kJobs = 8;
    std::vector<QByteArray> setups;
    std::vector<QImage> expected;
    for (int i = 0; i <= kJobs; ++i) {
        setups.push_back(setupText(u"School %1"_s.arg(i), 2 + i % 4, 3 + 5 * i));
        dir.write(u"class%1.txt"_s.arg(i), setups.back());
        expected.push_back(pictureAlone(setupOf(setups.back())));
    }
    std::vector<std::unique_ptr<QProcess>> processes;
    for (int i = 0; i < kJobs; ++i) {
        processes.push_back(startCli(work.path(), {u"--setup"_s, dir.file(u"class%1.txt"_s.arg(i)), u"--out"_s,
                                                   dir.file(u"class%1.xls"_s.arg(i)), u"--picture"_s,
                                                   dir.file(u"class%1.png"_s.arg(i))}));
    }
    // The program's own job runs beside them in the same work folder.
    test::ScriptedPrompt prompt;
    CollectingUi ui;
    runJob(setupOf(setups[kJobs]), work.path(), prompt, ui);
    EXPECT_TRUE(prompt.shown().empty()) << prompt.messageTexts().join(u"\n"_s).toStdString();
    EXPECT_EQ(ui.picture.convertToFormat(QImage::Format_RGB32), expected[kJobs]);
    EXPECT_EQ(text(readWorkbook(ui.workbook), 5, 2), "School 8");
    QFile::remove(ui.workbook);

    for (int i = 0; i < kJobs; ++i) {
        QProcess& p = *processes[static_cast<size_t>(i)];
        ASSERT_TRUE(p.waitForFinished(300000)) << i;
        const QString err = QString::fromUtf8(p.readAllStandardError());
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << i;
        EXPECT_EQ(p.exitCode(), 0) << i << ": " << err.toStdString();
        // Waiting, if a job had to, is said, never an error.
        for (const QString& line : err.split(u'\n', Qt::SkipEmptyParts)) {
            EXPECT_TRUE(line.contains(u"waits until it has finished"_s) || line.startsWith(u"QStandardPaths"_s))
                << i << ": " << line.toStdString();
        }
        const sheet::Workbook book = readWorkbook(dir.file(u"class%1.xls"_s.arg(i)));
        EXPECT_EQ(text(book, 5, 2), QStringLiteral("School %1").arg(i).toStdString());
        const int students = 3 + 5 * i;
        EXPECT_EQ(text(book, 12 + students, 2),
                  QStringLiteral("School %1 student %2").arg(i).arg(students).toStdString());
        // The picture is this class's, pixel for pixel.
        const QImage picture = QImage(dir.file(u"class%1.png"_s.arg(i))).convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(picture.size(), expected[static_cast<size_t>(i)].size()) << i;
        EXPECT_TRUE(picture == expected[static_cast<size_t>(i)]) << i;
    }
    EXPECT_TRUE(entries(work.path()).isEmpty()) << entries(work.path()).join(u", "_s).toStdString();
}

#ifdef Q_OS_UNIX
TEST(Jobs, AnInterruptedCliJobDeletesItsWorkFiles) {
    test::TempDir dir;
    dir.write(u"class.txt"_s, setupText(u"Interrupted"_s, 60, 500));
    struct Case {
        int signal;
        const char16_t* waitFor; // the work file whose appearance puts the job in the middle
    };
    for (const Case c : {Case{SIGINT, u"template.xlt"}, Case{SIGTERM, u"qvtemp"}, Case{SIGUSR1, u"qvtemp"},
                         Case{SIGALRM, u"template.xlt"}, Case{SIGVTALRM, u"qvtemp"}}) {
        test::TempDir work;
        const QString out = dir.file(u"out%1.xls"_s.arg(c.signal));
        auto process = startCli(work.path(), {u"--setup"_s, dir.file(u"class.txt"_s), u"--out"_s, out});
        const QString wanted = QString::fromUtf16(c.waitFor);
        // In the middle: the template is there, or the result has been saved (it has content).
        const bool reached = waitFor(
            [&] {
                for (const QFileInfo& f : QDir(work.path()).entryInfoList(QDir::Files)) {
                    if (f.fileName().startsWith(wanted) && (wanted != u"qvtemp"_s || f.size() > 0)) {
                        return true;
                    }
                }
                return process->state() == QProcess::NotRunning;
            },
            120000);
        ASSERT_TRUE(reached);
        ASSERT_EQ(process->state(), QProcess::Running) << "the job ended before it could be interrupted";
        ASSERT_EQ(::kill(static_cast<pid_t>(process->processId()), c.signal), 0);
        ASSERT_TRUE(process->waitForFinished(120000));
        EXPECT_EQ(process->exitStatus(), QProcess::CrashExit) << c.signal;
        EXPECT_TRUE(entries(work.path()).isEmpty())
            << c.signal << ": " << entries(work.path()).join(u", "_s).toStdString();
        EXPECT_FALSE(QFile::exists(out));
    }
}
#endif

TEST(Jobs, TheCliWritesASavedWorkbookEvenWhenItsPictureFails) {
    test::TempDir dir;
    test::TempDir work;
    dir.write(u"class.txt"_s, setupText(u"No Picture"_s, 3, 4));
    QString err;
    cli::CliEnvironment env;
    env.hostFactory = []() -> std::unique_ptr<SpreadsheetHost> { return std::make_unique<test::NoPictureHost>(); };
    env.templateBytes = [] { return templateWorkbook(); };
    env.settingsFolder = dir.file(u"config"_s);
    env.workFolder = [&] { return work.path(); };
    env.err = [&](const QString& t) { err += t; };
    const int code = cli::run({u"create"_s, u"--setup"_s, dir.file(u"class.txt"_s), u"--out"_s,
                               dir.file(u"class.xls"_s), u"--picture"_s, dir.file(u"class.png"_s)},
                              env);
    EXPECT_EQ(code, cli::kExitFailure);
    EXPECT_EQ(text(readWorkbook(dir.file(u"class.xls"_s)), 13, 2), "No Picture student 1");
    EXPECT_TRUE(
        err.contains(u"The picture of the range could not be made.\nin Ledgerly2021/08/31.Excel1.saveCellsActivesheet "
                     u"at line 110"_s))
        << err.toStdString();
    EXPECT_TRUE(err.contains(u"the picture could not be saved"_s)) << err.toStdString();
    EXPECT_FALSE(QFile::exists(dir.file(u"class.png"_s)));
    EXPECT_TRUE(entries(work.path()).isEmpty()) << entries(work.path()).join(u", "_s).toStdString();
}

TEST(Jobs, AWideClassGivesItsWholePictureBeyondThePlatformReadersLimit) {
    // 250 tests make the widest sheet; with 95 students its picture has more pixels than the
    // platform's picture readers take by default (128 MiB), and it comes through the work file
    // and the hand-over whole. (Pictures at the bound itself: PictureAtTheBoundGoesThroughThe
    // HandOverWhole; the largest class: the benchmark.)
    test::TempDir work;
    test::ScriptedPrompt prompt;
    CollectingUi ui;
    runJob(setupOf(setupText(u"Wide"_s, 250, 95)), work.path(), prompt, ui);
    EXPECT_TRUE(prompt.shown().empty()) << prompt.messageTexts().join(u"\n"_s).toStdString();
    ASSERT_FALSE(ui.picture.isNull());
    const qint64 pixels = static_cast<qint64>(ui.picture.width()) * ui.picture.height();
    EXPECT_GT(pixels * 4, qint64{128} << 20);
    EXPECT_TRUE(picture_file::withinBound(ui.picture.width(), ui.picture.height()));
    const sheet::Workbook book = readWorkbook(ui.workbook);
    EXPECT_EQ(text(book, 12 + 95, 2), "Wide student 95");
    QFile::remove(ui.workbook);
    EXPECT_TRUE(entries(work.path()).isEmpty());
}

#ifdef Q_OS_UNIX
TEST(Jobs, ACopyThatCannotGrowKeepsTheOldFileAndSaysWhy) {
    test::TempDir work;
    test::TempDir target;
    QByteArray workbook(300 * 1024, 'w');
    work.write(u"qvtemp12345678.xls"_s, workbook);
    target.write(u"class.xls"_s, "the teacher's earlier file");
    test::ScriptedPrompt prompt;
    prompt.chooseFileNext(target.file(u"class.xls"_s));
    prompt.answerNext(Prompt::Answer::Yes);
    {
        const test::ScopedFileSizeLimit full(100 * 1024);
        preview::SaveResults(prompt, work.file(u"qvtemp12345678.xls"_s));
    }
    const QStringList texts = prompt.messageTexts();
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].contains(u"File too large"_s)) << texts[0].toStdString();
    EXPECT_EQ(texts[1], u"Done."_s);
    EXPECT_EQ(target.read(u"class.xls"_s), QByteArray("the teacher's earlier file"));
    EXPECT_EQ(entries(target.path()), QStringList{u"class.xls"_s});
}
#endif
