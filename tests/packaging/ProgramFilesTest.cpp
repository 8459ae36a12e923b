// Where the program finds its optional skin and cursor files: beside the executable in a build
// tree, in <prefix>/share/markwell when installed as <prefix>/bin/markwell.

#include "app/Form1.h"
#include "common/FileUtil.h"
#include "preview/Form2.h"
#include "setup/SettingsStore.h"
#include "shell/Skin.h"

#include "ScriptedPrompt.h"
#include "StubHost.h"
#include "TempDir.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QPalette>

#include <gtest/gtest.h>

#include <memory>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;
using markwell::test::ScriptedPrompt;
using markwell::test::StubHost;
using markwell::test::TempDir;

namespace {

// A scratch prefix with bin/ (the program folder) and share/markwell/ (the installed data folder).
class InstalledLayout : public ::testing::Test {
protected:
    TempDir root;
    QString bin = root.file(u"prefix/bin"_s);
    QString data = root.file(u"prefix/share/markwell"_s);

    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(bin));
        ASSERT_TRUE(QDir().mkpath(data));
    }
    static void put(const QString& folder, const QString& relative, const QByteArray& bytes) {
        const QString path = QDir(folder).filePath(relative);
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // A small icon-format file, which the cursor loader reads as a cursor.
    static QByteArray cursorBytes() {
        QImage image(16, 16, QImage::Format_ARGB32);
        image.fill(Qt::black);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        EXPECT_TRUE(image.save(&buffer, "ico"));
        return bytes;
    }
};

TEST_F(InstalledLayout, ProgramFolderComesBeforeTheDataFolder) {
    EXPECT_EQ(programDataFolders(bin), (QStringList{QDir::cleanPath(bin), QDir::cleanPath(data)}));
    // A trailing separator or a "." in the program folder changes nothing.
    EXPECT_EQ(programDataFolders(bin + u"/./"_s), programDataFolders(bin));
}

TEST_F(InstalledLayout, EachFileIsFoundWhereItIs) {
    const QString inBin = QDir(bin).filePath(u"HAND-M.CUR"_s);
    const QString inData = QDir(data).filePath(u"HAND-M.CUR"_s);

    // Neither: the program folder's path, so a message names the usual place.
    EXPECT_EQ(findProgramFile(bin, u"HAND-M.CUR"_s), inBin);
    // Installed layout: only the data folder has it.
    put(data, u"HAND-M.CUR"_s, "x");
    EXPECT_EQ(findProgramFile(bin, u"HAND-M.CUR"_s), inData);
    EXPECT_EQ(cursorFilePath(bin), inData);
    // Build tree (or a copy beside the program): the program folder wins.
    put(bin, u"HAND-M.CUR"_s, "x");
    EXPECT_EQ(findProgramFile(bin, u"HAND-M.CUR"_s), inBin);

    // The skin is looked up on its own: found in the data folder while the cursor is beside the program.
    EXPECT_EQ(skinFilePath(bin), QDir(bin).filePath(u"x/o.cjs"_s));
    put(data, u"x/o.cjs"_s, "skin");
    EXPECT_EQ(skinFilePath(bin), QDir(data).filePath(u"x/o.cjs"_s));
}

// Both windows, started as an installed program, take the files from the data folder.
TEST_F(InstalledLayout, WindowsUseTheInstalledFiles) {
    TempDir config;
    ScriptedPrompt prompt;
    SettingsStore store(config.path());
    auto start = [&] {
        auto form = std::make_unique<Form1>(
            Form1::Dependencies{prompt, store, StubHost::factory(), [] { return 1; }, [](const QUrl&) {}, [] {}, bin});
        EXPECT_TRUE(form->Form_Load());
        return form;
    };

    // Without the files the main window stays white and has no hand pointer.
    {
        auto form = start();
        EXPECT_EQ(form->palette().color(QPalette::Window), QColor(Qt::white));
        EXPECT_FALSE(form->pointer().hasCustomCursor());
    }
    put(data, u"x/o.cjs"_s, "skin");
    put(data, u"HAND-M.CUR"_s, cursorBytes());
    {
        auto form = start();
        EXPECT_NE(form->palette().color(QPalette::Window), QColor(Qt::white));
        EXPECT_TRUE(form->pointer().hasCustomCursor());
    }
    EXPECT_TRUE(prompt.shown().empty()) << prompt.messageTexts().join(u"\n"_s).toStdString();

    preview::Form2::Hooks hooks;
    hooks.showMainWindow = [] {};
    hooks.saveLists = [] {};
    hooks.endProgram = [] {};
    hooks.programFolder = bin;
    preview::Form2 preview(prompt, hooks);
    preview.show();
    EXPECT_TRUE(preview.pointer().hasCustomCursor());
    preview.hide();

    // A damaged cursor in the data folder is reported with its own path.
    put(data, u"HAND-M.CUR"_s, "not a cursor");
    start();
    ASSERT_EQ(prompt.messageTexts().size(), 1);
    EXPECT_TRUE(prompt.messageTexts()[0].contains(QDir::toNativeSeparators(QDir(data).filePath(u"HAND-M.CUR"_s))))
        << prompt.messageTexts()[0].toStdString();
}

} // namespace
