// The "Create Template" run against a host that records its calls: the order of the host
// operations, the error trap's reports and the work files.

#include "gradebook/CreateTemplate.h"
#include "gradebook/Excel1.h"

#include "RecordingHost.h"
#include "ScriptedPrompt.h"
#include "TempDir.h"

#include <QDir>
#include <QFile>
#include <QLocale>

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
    QImage picture{40, 30, QImage::Format_RGB32};

    FillRun() { picture.fill(Qt::red); }

    void go(const GradebookSetup& setup) {
        CreateTemplateEnvironment env;
        env.hostFactory = [this]() -> std::unique_ptr<SpreadsheetHost> {
            if (!hostAvailable) {
                return nullptr;
            }
            auto host = std::make_unique<test::RecordingHost>(log);
            host->picture = picture;
            return host;
        };
        env.templateBytes = [] { return QByteArray("template bytes"); };
        env.workFolder = [this] { return work.path(); };
        env.randomDigit = [this] { return (digit++ / 8) % 9 + 1; };
        createTemplate(setup, env, ui, prompt, creating);
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
