// The whole program headless: sample data, "Create Template", the preview, back, create again,
// and ending the program from the preview keeping the lists.

#include "main/Application.h"

#include "app/Form1.h"
#include "common/FileUtil.h"
#include "gradebook/PictureFile.h"
#include "gradebook/TemplateBytes.h"
#include "os/FileLock.h"
#include "preview/Form2.h"
#include "setup/SettingsStore.h"

#include "ScriptedPrompt.h"
#include "TempDir.h"
#include "TestHosts.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

namespace {

// Writes the settings file the store will read, before the store is made.
QString withStoredText(const test::TempDir& config, const QByteArray& text) {
    if (!text.isNull()) {
        QDir(config.path()).mkpath(u"Kestrelware"_s);
        config.write(u"Kestrelware/settings.ini"_s, text);
    }
    return config.path();
}

struct Program {
    test::TempDir config;
    test::TempDir work;
    test::ScriptedPrompt prompt;
    SettingsStore store;
    int ended = 0;
    std::unique_ptr<Application> app;

    explicit Program(const QByteArray& storedText = {}, HostFactory hosts = defaultHostFactory())
        : store(withStoredText(config, storedText)) {
        app = std::make_unique<Application>(Application::Dependencies{prompt,
                                                                      store,
                                                                      std::move(hosts),
                                                                      [] { return templateWorkbook(); },
                                                                      [this] { return work.path(); },
                                                                      {},
                                                                      [this] { ++ended; },
                                                                      [] { return 50; },
                                                                      config.path()});
        // As the program does: the quiet deletion lets pending window events run.
        setPendingEventsHook([] { QCoreApplication::processEvents(); });
    }
    ~Program() { setPendingEventsHook({}); }
    QStringList workFiles() const { return QDir(work.path()).entryList(QDir::Files); }
};

} // namespace

TEST(Application, SampleDataBecomesAPreviewAndBackComesHome) {
    Program p;
    ASSERT_TRUE(p.app->start());
    Form1& main = p.app->mainWindow();
    main.PushButton9_Click();
    main.PushButton6_Click();
    ASSERT_TRUE(p.prompt.shown().empty()) << p.prompt.messageTexts().join(u"\n"_s).toStdString();
    QApplication::processEvents();

    ASSERT_TRUE(p.app->previewLoaded());
    preview::Form2& preview = p.app->previewWindow();
    EXPECT_TRUE(preview.isVisible());
    EXPECT_FALSE(main.isVisible());
    EXPECT_FALSE(main.mCreating);
    // Only the generated workbook stays in the work folder.
    const QStringList files = p.workFiles();
    ASSERT_EQ(files.size(), 1) << files.join(u", "_s).toStdString();
    EXPECT_TRUE(files[0].startsWith(u"qvtemp"_s) && files[0].endsWith(u".xls"_s));
    EXPECT_EQ(QFileInfo(preview.excelFile()).fileName(), files[0]);
    EXPECT_GT(preview.view().origWidth(), 1000);

    preview.PushButton8_Click();
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(preview.isVisible());
    EXPECT_TRUE(p.workFiles().isEmpty());

    // A second run shows the new sheet in the same window.
    main.PushButton6_Click();
    QApplication::processEvents();
    EXPECT_TRUE(preview.isVisible());
    EXPECT_EQ(p.workFiles().size(), 1);
    EXPECT_TRUE(QFile::exists(preview.excelFile()));
}

TEST(Application, EndingFromThePreviewKeepsTheLists) {
    Program p;
    ASSERT_TRUE(p.app->start());
    p.app->mainWindow().PushButton9_Click();
    p.app->mainWindow().PushButton6_Click();
    QApplication::processEvents();
    preview::Form2& preview = p.app->previewWindow();
    const QString workbook = preview.excelFile();
    preview.close();
    QApplication::processEvents();
    EXPECT_EQ(p.ended, 1);
    EXPECT_FALSE(QFile::exists(workbook));
    EXPECT_EQ(p.store.read(u"Tests"_s), u"Mathematics^80|History^70"_s);
    EXPECT_TRUE(p.store.read(u"Students"_s).startsWith(u"Thomas Ellery^E16-28"_s));
}

TEST(Application, ADamagedStoreAtStartUpGivesAtMostTwoBoxes) {
    QByteArray text = "[Markwell Software]\ntxtName=kept\n";
    for (int i = 0; i < 15; ++i) {
        text += "broken line without an equals sign\n";
    }
    text += "Tests=A^1|B^x^y^z|C\nStudents=Ann^1^2^3^4^5^6|Bo\n";
    Program p(text);
    ASSERT_TRUE(p.app->start());
    const QStringList texts = p.prompt.messageTexts();
    ASSERT_EQ(texts.size(), 2) << texts.join(u"\n"_s).toStdString();
    EXPECT_TRUE(texts[0].contains(u"line 3"_s)) << texts[0].toStdString();
    EXPECT_TRUE(texts[0].contains(u"Form1.Form_Load at line 116\r\r"_s));
    EXPECT_TRUE(texts[1].startsWith(u"After the first report, "_s));
    EXPECT_TRUE(texts[1].contains(u"is kept as it is"_s)) << texts[1].toStdString();
    EXPECT_EQ(p.prompt.shown()[1].caption, u"Application Error"_s);
}

TEST(Application, AWorkbookWhosePictureFailedIsStillOfferedForSaving) {
    Program p({}, []() -> std::unique_ptr<SpreadsheetHost> { return std::make_unique<test::NoPictureHost>(); });
    ASSERT_TRUE(p.app->start());
    p.app->mainWindow().PushButton9_Click();
    p.app->mainWindow().PushButton6_Click();
    QApplication::processEvents();
    // The picture's failure, and one box for what followed from it (no picture to load or show).
    const QStringList texts = p.prompt.messageTexts();
    ASSERT_EQ(texts.size(), 2) << texts.join(u"\n"_s).toStdString();
    EXPECT_TRUE(texts[0].contains(u"Excel1.saveCellsActivesheet at line 110\r\r"_s));
    preview::Form2& preview = p.app->previewWindow();
    EXPECT_TRUE(preview.isVisible());
    ASSERT_TRUE(QFileInfo(preview.excelFile()).size() > 0);

    test::TempDir target;
    p.prompt.clear();
    p.prompt.chooseFileNext(target.file(u"class.xls"_s));
    preview.PushButton6_Click();
    EXPECT_EQ(p.prompt.messageTexts(), QStringList{u"Done."_s});
    QFile generated(preview.excelFile());
    ASSERT_TRUE(generated.open(QIODevice::ReadOnly));
    EXPECT_EQ(target.read(u"class.xls"_s), generated.readAll());
}

TEST(Application, AJobWaitingForTheWorkFolderSaysSoAndThenRuns) {
    Program p;
    ASSERT_TRUE(p.app->start());
    os::Result<os::FileLock> other = os::FileLock::tryTake(p.work.file(u"markwell.lock"_s));
    ASSERT_TRUE(other && other->held());
    // The other job ends a moment after the teacher has been told.
    int polls = 0;
    setPendingEventsHook([&] {
        QCoreApplication::processEvents();
        if (++polls == 3) {
            other->release();
        }
    });
    p.app->mainWindow().PushButton9_Click();
    p.app->mainWindow().PushButton6_Click();
    QApplication::processEvents();
    const QStringList texts = p.prompt.messageTexts();
    ASSERT_EQ(texts.size(), 1) << texts.join(u"\n"_s).toStdString();
    EXPECT_TRUE(texts[0].startsWith(u"Another job is using the work folder"_s)) << texts[0].toStdString();
    EXPECT_EQ(p.prompt.shown()[0].caption, QString()); // the application title, no error
    EXPECT_TRUE(p.app->previewWindow().isVisible());
    EXPECT_FALSE(p.app->mainWindow().mCreating);
}

TEST(Application, ThePreviewHoldsAPictureAtTheBound) {
    Program p;
    ASSERT_TRUE(p.app->start());
    preview::Form2& preview = p.app->previewWindow();
    QImage picture(picture_file::kMaxSide, static_cast<int>(picture_file::kMaxPixels / picture_file::kMaxSide),
                   QImage::Format_RGB32);
    ASSERT_FALSE(picture.isNull());
    picture.fill(Qt::white);
    preview.handOver(picture, p.work.file(u"qvtemp11111111.xls"_s));
    preview.show();
    preview.Form_Activate();
    EXPECT_TRUE(p.prompt.shown().empty()) << p.prompt.messageTexts().join(u"\n"_s).toStdString();
    EXPECT_EQ(preview.view().origWidth(), picture.width() * 15 - 2);
    EXPECT_EQ(preview.view().zoom(), 1.0f);
    // Zooming in stays within the bound: the picture is kept as it was.
    preview.PushButton1_Click();
    EXPECT_TRUE(p.prompt.shown().empty());
    EXPECT_EQ(preview.view().zoom(), 1.0f);
}
