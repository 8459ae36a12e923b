// The "Create Template" run against a host that records its calls: the order of the host
// operations, the error trap's reports and the work files.

#include "common/FileUtil.h"
#include "gradebook/CreateTemplate.h"
#include "gradebook/Excel1.h"
#include "gradebook/PictureFile.h"
#include "os/FileLock.h"
#include "os/Files.h"
#include "preview/SaveResult.h"

#include "RecordingHost.h"
#include "ScriptedPrompt.h"
#include "TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

namespace {

class RecordingUi : public CreateTemplateUi {
public:
    void setBusy(bool busy) override { events << (busy ? u"busy"_s : u"default"_s); }
    void setPreviewPicture(const QImage& p) override {
        picture = p;
        events << u"picture"_s;
    }
    void setPreviewWorkbook(const QString& path) override {
        workbook = path;
        events << u"workbook"_s;
    }
    void showPreview() override { events << u"show preview"_s; }
    void hideMainWindow() override { events << u"hide main"_s; }
    QStringList events;
    QImage picture;
    QString workbook;
};

GradebookSetup classOf(int tests, int students) {
    GradebookSetup s;
    s.options = {u"School"_s, u"Teacher"_s, u"Class"_s, u"2026"_s};
    for (int t = 0; t < tests; ++t) {
        s.tests.push_back({u"Test %1"_s.arg(t + 1), u"10"_s});
    }
    for (int i = 0; i < students; ++i) {
        StudentRow row{u"Student %1"_s.arg(i + 1), u"ID%1"_s.arg(i + 1), {}};
        for (int t = 0; t < tests; ++t) {
            row.points << QString::number(t + i);
        }
        s.students.push_back(row);
    }
    s.pointsCount = tests;
    return s;
}

struct FillRun {
    test::TempDir work;
    QStringList log;
    test::ScriptedPrompt prompt;
    RecordingUi ui;
    bool creating = false;
    int digit = 0;
    bool hostAvailable = true;
    bool failSave = false;
    QImage picture{40, 30, QImage::Format_RGB32};
    QString folder; // empty: the test's own work folder
    int waitMs = 60000;

    FillRun() { picture.fill(Qt::red); }

    void go(const GradebookSetup& setup) {
        CreateTemplateEnvironment env;
        env.hostFactory = [this]() -> std::unique_ptr<SpreadsheetHost> {
            if (!hostAvailable) {
                return nullptr;
            }
            auto host = std::make_unique<test::RecordingHost>(log);
            host->picture = picture;
            host->failSave = failSave;
            return host;
        };
        env.templateBytes = [] { return QByteArray("template bytes"); };
        env.workFolder = [this] { return folder.isEmpty() ? work.path() : folder; };
        env.randomDigit = [this] { return (digit++ / 8) % 9 + 1; };
        env.workFolderWaitMs = waitMs;
        createTemplate(setup, env, ui, prompt, creating);
    }
    QStringList files() const {
        return QDir(work.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }
    int count(const QString& prefix) const {
        int n = 0;
        for (const QString& l : log) {
            n += l.startsWith(prefix) ? 1 : 0;
        }
        return n;
    }
};

} // namespace

TEST(Excel1, SaveFormatFollowsTheMajorVersion) {
    EXPECT_EQ(Excel1::saveFileFormatForVersion(u"16.0"_s), 56);
    EXPECT_EQ(Excel1::saveFileFormatForVersion(u"12.0"_s), 56);
    EXPECT_EQ(Excel1::saveFileFormatForVersion(u"11.0"_s), -4143);
    EXPECT_EQ(Excel1::saveFileFormatForVersion(u"9.0"_s), -4143);
    EXPECT_EQ(Excel1::saveFileFormatForVersion(u"11.5"_s), 56); // nearest: 12
    EXPECT_THROW(Excel1::saveFileFormatForVersion(u"sixteen"_s), std::exception);
    EXPECT_THROW(Excel1::saveFileFormatForVersion(u"99999"_s), std::exception);
}

TEST(Excel1, VersionTextReadsUnderACommaLocale) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    EXPECT_EQ(Excel1::localDecimalSeparator(), QLatin1Char(','));
    EXPECT_EQ(Excel1::localizeNumberText(u"16.0"_s), u"16,0"_s);
    EXPECT_EQ(Excel1::saveFileFormatForVersion(u"16.0"_s), 56);
    EXPECT_EQ(Excel1::saveFileFormatForVersion(u"16,0"_s), 56);
    QLocale::setDefault(before);
    EXPECT_EQ(Excel1::localizeNumberText(u"1,5"_s), u"1.5"_s);
}

TEST(Excel1, PictureSlotIsAskedAgainUntilItAnswers) {
    QStringList log;
    test::RecordingHost host(log);
    host.picture = QImage(4, 4, QImage::Format_RGB32);
    host.failingPictureReads = 2;
    EXPECT_FALSE(Excel1::getClipboardPicture(host, 0).isNull());
    EXPECT_EQ(host.pictureReads, 3);

    test::RecordingHost empty(log);
    EXPECT_TRUE(Excel1::getClipboardPicture(empty, 0).isNull());
    EXPECT_EQ(empty.pictureReads, Excel1::kPictureRequests);
}

TEST(Excel1, SnapshotOfOneRowGivesNoPictureAndNoMessage) {
    test::TempDir dir;
    QStringList log;
    test::ScriptedPrompt prompt;
    test::RecordingHost host(log);
    host.picture = QImage(4, 4, QImage::Format_RGB32);
    host.used = HostArea{1, 2, 1, 33};
    Excel1::saveCellsActivesheet(host, HostWorkbook(host, 1), dir.file(u"temp.bmp"_s), prompt);
    EXPECT_FALSE(QFile::exists(dir.file(u"temp.bmp"_s)));
    EXPECT_TRUE(prompt.shown().empty());
    EXPECT_FALSE(log.contains(u"CopyPicture R1C2:R1C33"_s));

    host.used = HostArea{1, 2, 19, 33};
    Excel1::saveCellsActivesheet(host, HostWorkbook(host, 1), dir.file(u"temp.bmp"_s), prompt);
    EXPECT_TRUE(QFile::exists(dir.file(u"temp.bmp"_s)));
    EXPECT_TRUE(log.contains(u"CopyPicture R1C2:R19C33"_s));
}

TEST(CreateTemplate, SevenTestsAndFiveStudentsRunTheCopiesAndTheDelete) {
    FillRun run;
    run.go(classOf(7, 5));
    EXPECT_TRUE(run.prompt.shown().empty()) << run.prompt.messageTexts().join(u"\n"_s).toStdString();
    EXPECT_EQ(run.count(u"Copy R6C10:R19C10"_s), 2);
    EXPECT_EQ(run.count(u"Insert R6C10:R6C10 -4161"_s), 2);
    EXPECT_EQ(run.count(u"Copy rows 13:14"_s), 2);
    EXPECT_EQ(run.count(u"Insert rows 13:14 -4121"_s), 2);
    EXPECT_EQ(run.count(u"Delete rows 18:18 -4162"_s), 1);
    EXPECT_TRUE(run.log.contains(u"Cells(6,13)='Test 7"_s));
    EXPECT_TRUE(run.log.contains(u"Cells(17,2)=Student 5"_s));
    EXPECT_TRUE(run.log.contains(u"Cells(17,13)=10"_s));
    EXPECT_TRUE(run.log.contains(u"Cells(5,2)=School"_s));
    EXPECT_TRUE(run.log.contains(u"Sheet 1 PrintArea R5C2:R22C13"_s)); // B5:M22, the whole filled table
    // Opened read-only from the work folder, saved under the generated name in format 56.
    const QString templatePath = QDir(run.work.path()).filePath(u"template.xlt"_s);
    EXPECT_EQ(run.log.first(), u"Open %1 readOnly=1"_s.arg(templatePath));
    const QString result = QDir(run.work.path()).filePath(u"qvtemp11111111.xls"_s);
    EXPECT_TRUE(run.log.contains(u"SaveAs %1 56"_s.arg(result)));
    EXPECT_EQ(run.ui.workbook, result);
    EXPECT_FALSE(run.ui.picture.isNull());
    EXPECT_EQ(run.ui.events, (QStringList{u"busy"_s, u"default"_s, u"busy"_s, u"default"_s, u"picture"_s, u"workbook"_s,
                                          u"show preview"_s, u"hide main"_s}));
    // The work files are gone, the result stays.
    EXPECT_FALSE(QFile::exists(templatePath));
    EXPECT_FALSE(QFile::exists(QDir(run.work.path()).filePath(u"temp.bmp"_s)));
    EXPECT_TRUE(QFile::exists(result));
    EXPECT_FALSE(run.creating);
}

TEST(CreateTemplate, EvenAndSmallClassesNeedNoDelete) {
    for (int students : {0, 1, 2, 4}) {
        FillRun run;
        run.go(classOf(3, students));
        EXPECT_EQ(run.count(u"Insert R6C10"_s), 0);
        EXPECT_EQ(run.count(u"Insert rows 13:14"_s), std::max(0, (students + 1) / 2 - 1)) << students;
        EXPECT_EQ(run.count(u"Delete"_s), students % 2) << students;
    }
}

TEST(CreateTemplate, ExistingResultNameIsSkippedAndLeftTemplateIsUsed) {
    FillRun run;
    run.work.write(u"qvtemp11111111.xls"_s, "keep me");
    run.work.write(u"template.xlt"_s, "left over");
    // The name is the result of a live job (a preview that shows it).
    const os::Result<os::FileHold> live = os::FileHold::take(run.work.file(u"qvtemp11111111.xls"_s));
    ASSERT_TRUE(live);
    run.go(classOf(1, 1));
    EXPECT_EQ(run.work.read(u"qvtemp11111111.xls"_s), QByteArray("keep me"));
    EXPECT_TRUE(run.ui.workbook.endsWith(u"qvtemp22222222.xls"_s)) << run.ui.workbook.toStdString();
    EXPECT_FALSE(QFile::exists(run.work.file(u"template.xlt"_s)));
}

TEST(CreateTemplate, UnavailableHostReportsEachStepAndStillHandsOver) {
    FillRun run;
    run.hostAvailable = false;
    run.go(classOf(2, 1));
    const QStringList texts = run.prompt.messageTexts();
    ASSERT_FALSE(texts.isEmpty());
    EXPECT_TRUE(texts.first().contains(u"Form1.PushButton6_Click at line 106\r\r"_s));
    for (const QString& t : texts) {
        EXPECT_TRUE(t.contains(u"in Ledgerly2021/08/31.Form1.PushButton6_Click at line "_s));
    }
    EXPECT_TRUE(run.ui.events.contains(u"show preview"_s));
    EXPECT_TRUE(run.ui.events.contains(u"hide main"_s));
    EXPECT_TRUE(run.ui.picture.isNull());
    EXPECT_FALSE(run.creating);
    // One fault, one message: the first report, and one more gathering the steps that followed.
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[1].startsWith(u"After the first report, "_s));
    EXPECT_TRUE(texts[1].contains(u"at line 112: The spreadsheet engine is not running"_s)) << texts[1].toStdString();
    // Nothing of the failed run stays in the work folder.
    EXPECT_TRUE(run.files().isEmpty()) << run.files().join(u", "_s).toStdString();
}

TEST(CreateTemplate, SecondClickDuringARunDoesNothing) {
    FillRun run;
    run.creating = true;
    run.go(classOf(2, 1));
    EXPECT_TRUE(run.log.isEmpty());
    EXPECT_TRUE(run.ui.events.isEmpty());
    EXPECT_TRUE(run.prompt.shown().empty());
}

TEST(CreateTemplate, TooManyTestsGetOneMessageAndNothingIsWritten) {
    FillRun run;
    run.go(classOf(251, 0));
    ASSERT_EQ(run.prompt.messageTexts().size(), 1);
    EXPECT_TRUE(run.prompt.messageTexts()[0].contains(u"251 tests"_s));
    EXPECT_TRUE(run.log.isEmpty());
    EXPECT_TRUE(QDir(run.work.path()).isEmpty());
}

TEST(CreateTemplate, PictureAtTheBoundGoesThroughTheHandOverWhole) {
    // The largest picture the renderer draws (each side below 32767 pixels, at most 64 million
    // pixels): written to the work folder, loaded back and handed over unchanged.
    FillRun run;
    run.picture = QImage(picture_file::kMaxSide, static_cast<int>(picture_file::kMaxPixels / picture_file::kMaxSide),
                         QImage::Format_RGB32);
    ASSERT_FALSE(run.picture.isNull());
    run.picture.fill(QColor(10, 20, 30));
    run.picture.setPixel(0, 0, qRgb(255, 0, 0));
    run.picture.setPixel(run.picture.width() - 1, run.picture.height() - 1, qRgb(0, 0, 255));
    run.go(classOf(250, 1));
    EXPECT_TRUE(run.prompt.shown().empty()) << run.prompt.messageTexts().join(u"\n"_s).toStdString();
    ASSERT_EQ(run.ui.picture.size(), run.picture.size());
    EXPECT_EQ(run.ui.picture.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(run.ui.picture.pixel(run.picture.width() - 1, run.picture.height() - 1), qRgb(0, 0, 255));
    EXPECT_EQ(run.ui.picture.pixel(5000, 1000), qRgb(10, 20, 30));
    EXPECT_EQ(run.files(), QStringList{u"qvtemp11111111.xls"_s});
}

TEST(CreateTemplate, FailedSaveLeavesNoReservedFileAndSavingItReportsThat) {
    FillRun run;
    run.failSave = true;
    run.go(classOf(2, 2));
    const QStringList texts = run.prompt.messageTexts();
    ASSERT_EQ(texts.size(), 2) << texts.join(u"\n"_s).toStdString();
    EXPECT_TRUE(texts[0].startsWith(u"The workbook could not be saved: No space left on device\r\n"_s));
    EXPECT_TRUE(texts[0].contains(u"PushButton6_Click at line 230\r\r"_s));
    // The reopen names the saved workbook and why it could not be opened.
    EXPECT_TRUE(texts[1].contains(u"at line 240: The saved workbook could not be opened again: The workbook"_s))
        << texts[1].toStdString();
    EXPECT_TRUE(run.files().isEmpty()) << run.files().join(u", "_s).toStdString();
    // The preview still gets the name; saving it reports the failure, then "Done.".
    ASSERT_FALSE(run.ui.workbook.isEmpty());
    test::TempDir target;
    run.prompt.clear();
    run.prompt.chooseFileNext(target.file(u"class.xls"_s));
    preview::SaveResults(run.prompt, run.ui.workbook);
    const QStringList saveTexts = run.prompt.messageTexts();
    ASSERT_EQ(saveTexts.size(), 2);
    EXPECT_TRUE(saveTexts[0].contains(u"does not exist"_s)) << saveTexts[0].toStdString();
    EXPECT_TRUE(saveTexts[0].contains(u"Form2.PushButton6_Click at line 110"_s));
    EXPECT_EQ(saveTexts[1], u"Done."_s);
    EXPECT_FALSE(QFile::exists(target.file(u"class.xls"_s)));
}

TEST(CreateTemplate, EmptyGeneratedWorkbookIsNeverCopiedAsDone) {
    test::TempDir dir;
    dir.write(u"qvtemp12345678.xls"_s, QByteArray());
    test::ScriptedPrompt prompt;
    prompt.chooseFileNext(dir.file(u"copy.xls"_s));
    preview::SaveResults(prompt, dir.file(u"qvtemp12345678.xls"_s));
    const QStringList texts = prompt.messageTexts();
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].contains(u"is empty"_s)) << texts[0].toStdString();
    EXPECT_EQ(texts[1], u"Done."_s);
    EXPECT_FALSE(QFile::exists(dir.file(u"copy.xls"_s)));

    // No workbook at all (a hand-over without one).
    prompt.clear();
    prompt.chooseFileNext(dir.file(u"copy.xls"_s));
    preview::SaveResults(prompt, QString());
    ASSERT_EQ(prompt.messageTexts().size(), 2);
    EXPECT_TRUE(prompt.messageTexts()[0].contains(u"There is no generated workbook to save"_s));
    EXPECT_FALSE(QFile::exists(dir.file(u"copy.xls"_s)));
}

TEST(CreateTemplate, PlantedLinksAreRefusedAndNothingOutsideIsWritten) {
    test::TempDir outside;
    outside.write(u"precious.txt"_s, "the user's file");
    {
        // A dangling template link would create its target outside the work folder.
        FillRun run;
        ASSERT_TRUE(QFile::link(outside.file(u"made-by-link.xlt"_s), run.work.file(u"template.xlt"_s)));
        run.go(classOf(2, 2));
        const QStringList texts = run.prompt.messageTexts();
        ASSERT_EQ(texts.size(), 2);
        EXPECT_TRUE(texts[0].startsWith(u"The work file \""_s + run.work.file(u"template.xlt"_s) +
                                        u"\" is in the way: it is a symbolic link"_s))
            << texts[0].toStdString();
        EXPECT_TRUE(texts[0].contains(u"at line 110\r\r"_s));
        EXPECT_FALSE(QFile::exists(outside.file(u"made-by-link.xlt"_s)));
        EXPECT_TRUE(QFileInfo(run.work.file(u"template.xlt"_s)).isSymLink());
        EXPECT_FALSE(run.log.contains(u"Open %1 readOnly=1"_s.arg(run.work.file(u"template.xlt"_s))));
        // Only the link stays: no reserved workbook, no picture, no lock.
        EXPECT_EQ(run.files(), QStringList{u"template.xlt"_s});
    }
    {
        // A picture link would overwrite its target with the bitmap.
        FillRun run;
        ASSERT_TRUE(QFile::link(outside.file(u"precious.txt"_s), run.work.file(u"temp.bmp"_s)));
        run.go(classOf(2, 2));
        const QStringList texts = run.prompt.messageTexts();
        ASSERT_EQ(texts.size(), 2);
        EXPECT_TRUE(texts[0].startsWith(u"The work file \""_s + run.work.file(u"temp.bmp"_s) +
                                        u"\" is in the way: it is a symbolic link"_s))
            << texts[0].toStdString();
        EXPECT_EQ(outside.read(u"precious.txt"_s), QByteArray("the user's file"));
        EXPECT_TRUE(QFileInfo(run.work.file(u"temp.bmp"_s)).isSymLink());
        EXPECT_TRUE(run.ui.picture.isNull());
        // The workbook was made all the same and is handed over.
        EXPECT_EQ(run.work.read(QFileInfo(run.ui.workbook).fileName()), QByteArray("saved workbook"));
    }
}

TEST(CreateTemplate, ALeftOverPictureIsReplacedAnotherUsersIsLeftAlone) {
    {
        // A job killed during its picture step left its picture: the next job replaces it.
        FillRun run;
        run.work.write(u"temp.bmp"_s, "a killed job's picture");
        run.go(classOf(2, 2));
        EXPECT_TRUE(run.prompt.messageTexts().isEmpty()) << run.prompt.messageTexts().join(u"\n"_s).toStdString();
        EXPECT_FALSE(run.ui.picture.isNull());
        EXPECT_FALSE(QFile::exists(run.work.file(u"temp.bmp"_s)));
    }
    if (::geteuid() != 0) {
        return; // only the administrator can give a file to another user
    }
    FillRun run;
    run.work.write(u"temp.bmp"_s, "somebody else's picture");
    ASSERT_EQ(::chown(run.work.file(u"temp.bmp"_s).toLocal8Bit().constData(), 65534, 65534), 0);
    run.go(classOf(2, 2));
    const QStringList texts = run.prompt.messageTexts();
    ASSERT_EQ(texts.size(), 2) << texts.join(u"\n"_s).toStdString();
    EXPECT_TRUE(texts[0].startsWith(u"The work file \""_s + run.work.file(u"temp.bmp"_s) +
                                    u"\" is in the way: it is a file of another user"_s))
        << texts[0].toStdString();
    EXPECT_TRUE(texts[1].contains(u"at line 256: There is no picture of the sheet"_s));
    // Neither replaced nor loaded nor deleted; the workbook is there for the preview.
    EXPECT_EQ(run.work.read(u"temp.bmp"_s), QByteArray("somebody else's picture"));
    EXPECT_TRUE(run.ui.picture.isNull());
    EXPECT_EQ(run.work.read(QFileInfo(run.ui.workbook).fileName()), QByteArray("saved workbook"));
}

TEST(CreateTemplate, ALeftOverTemplateOfAnotherUserIsNotUsed) {
    FillRun run;
    run.work.write(u"template.xlt"_s, "planted");
#ifndef Q_OS_UNIX
    GTEST_SKIP() << "files have no owners here";
#else
    if (::chown(QFile::encodeName(run.work.file(u"template.xlt"_s)).constData(), 4242, 4242) != 0) {
        GTEST_SKIP() << "files cannot be given to another user here";
    }
    run.go(classOf(1, 1));
    const QStringList texts = run.prompt.messageTexts();
    ASSERT_FALSE(texts.isEmpty());
    EXPECT_TRUE(texts[0].contains(u"is in the way: it is a file of another user"_s)) << texts[0].toStdString();
    EXPECT_EQ(run.work.read(u"template.xlt"_s), QByteArray("planted"));
#endif
}

TEST(CreateTemplate, AWorkFolderThatCannotBeUsedGetsOneMessageNamingWhy) {
    test::TempDir dir;
    dir.write(u"a-file"_s, "x");
    struct Case {
        QString folder;
        QString why;
    };
    std::vector<Case> cases{{dir.file(u"missing"_s), u"it does not exist"_s},
                            {dir.file(u"a-file"_s), u"it is a file, not a folder"_s}};
    // A folder nobody may create files in, also with the rights of the system's administrator.
    if (QFileInfo(u"/sys/kernel"_s).isDir() && !QFile(u"/sys/kernel/markwell-probe"_s).open(QIODevice::WriteOnly)) {
        cases.push_back({u"/sys/kernel"_s, u"you are not allowed to write in it"_s});
    }
    for (const Case& c : cases) {
        FillRun run;
        run.folder = c.folder;
        run.go(classOf(3, 3));
        const QStringList texts = run.prompt.messageTexts();
        ASSERT_EQ(texts.size(), 1) << c.folder.toStdString() << "\n" << texts.join(u"\n"_s).toStdString();
        EXPECT_TRUE(texts[0].startsWith(u"The work folder \""_s + c.folder + u"\" cannot be used: "_s + c.why))
            << texts[0].toStdString();
        EXPECT_TRUE(run.log.isEmpty());
        EXPECT_FALSE(run.creating);
        EXPECT_EQ(run.ui.events, (QStringList{u"busy"_s, u"default"_s}));
    }
}

TEST(CreateTemplate, AnOverlongFieldGetsOneMessageBeforeAnythingIsWritten) {
    FillRun run;
    GradebookSetup setup = classOf(2, 3);
    setup.students[1].id = QString(kMaxCellText + 1, u'7');
    run.go(setup);
    ASSERT_EQ(run.prompt.messageTexts().size(), 1);
    EXPECT_TRUE(run.prompt.messageTexts()[0].startsWith(u"The ID of student 2 has 32768 characters"_s));
    EXPECT_TRUE(run.files().isEmpty());
    setup.students[1].id = QString(kMaxCellText, u'7');
    EXPECT_FALSE(checkSetupFitsWorkbook(setup).has_value());
}

TEST(CreateTemplate, AJobWaitsForAnotherOneThatHasTheWorkFolder) {
    FillRun run;
    os::Result<os::FileLock> other = os::FileLock::tryTake(run.work.file(u"markwell.lock"_s));
    ASSERT_TRUE(other && other->held()) << other.reason().toStdString();
    // The other job ends while this one waits.
    int polls = 0;
    setPendingEventsHook([&] {
        if (++polls == 5) {
            other->release();
        }
    });
    run.go(classOf(2, 2));
    setPendingEventsHook({});
    EXPECT_TRUE(run.prompt.shown().empty()) << run.prompt.messageTexts().join(u"\n"_s).toStdString();
    EXPECT_GE(polls, 5);
    EXPECT_FALSE(run.ui.picture.isNull());
    EXPECT_EQ(run.files(), QStringList{u"qvtemp11111111.xls"_s});
}

TEST(CreateTemplate, AJobThatWaitsTooLongGivesUpWithOneMessage) {
    FillRun run;
    const os::Result<os::FileLock> other = os::FileLock::tryTake(run.work.file(u"markwell.lock"_s));
    ASSERT_TRUE(other && other->held());
    run.waitMs = 200;
    run.go(classOf(2, 2));
    const QStringList texts = run.prompt.messageTexts();
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].contains(u"is still in use by another job"_s)) << texts[0].toStdString();
    EXPECT_TRUE(run.log.isEmpty());
    EXPECT_FALSE(run.creating);
    EXPECT_EQ(run.files(), QStringList{u"markwell.lock"_s}); // the other job's
}
