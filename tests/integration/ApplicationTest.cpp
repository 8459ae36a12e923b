// The whole program headless: sample data, "Create Template", the preview, back, create again,
// and ending the program from the preview keeping the lists.

#include "main/Application.h"

#include "app/Form1.h"
#include "app/SettingsStore.h"
#include "gradebook/TemplateBytes.h"
#include "preview/Form2.h"

#include "ScriptedPrompt.h"
#include "TempDir.h"

#include <QApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

namespace {

struct Program {
    test::TempDir config;
    test::TempDir work;
    test::ScriptedPrompt prompt;
    SettingsStore store{config.path()};
    int ended = 0;
    std::unique_ptr<Application> app;

    Program() {
        app = std::make_unique<Application>(Application::Dependencies{prompt,
                                                                      store,
                                                                      defaultHostFactory(),
                                                                      [] { return templateWorkbook(); },
                                                                      [this] { return work.path(); },
                                                                      {},
                                                                      [this] { ++ended; },
                                                                      [] { return 50; },
                                                                      config.path()});
    }
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
