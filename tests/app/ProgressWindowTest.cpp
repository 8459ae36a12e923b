// A long "Create Template" in the window: the progress window, and Cancel.

#include "main/Application.h"

#include "app/Form1.h"
#include "app/ProgressWindow.h"
#include "gradebook/TemplateBytes.h"
#include "setup/SettingsStore.h"
#include "setup/StudentsModel.h"
#include "setup/TestsModel.h"

#include "ScriptedPrompt.h"
#include "TempDir.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

namespace {

ProgressWindow* progressWindow() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<ProgressWindow*>(w)) {
            return window;
        }
    }
    return nullptr;
}

} // namespace

TEST(ProgressWindow, CancelEndsALongJobWithNothingBehindAndTheWindowAsBefore) {
    test::TempDir config, work;
    test::ScriptedPrompt prompt;
    SettingsStore store(config.path());
    qint64 now = 0; // every look at the clock finds another second gone
    Application app(Application::Dependencies{prompt,
                                              store,
                                              defaultHostFactory(),
                                              [] { return templateWorkbook(); },
                                              [&work] { return work.path(); },
                                              {},
                                              [] {},
                                              [] { return 50; },
                                              config.path()});
    app.setClock([&now] { return now += 1000; });
    ASSERT_TRUE(app.start());
    Form1& form = app.mainWindow();
    form.findChild<QPushButton*>(u"PushButton9"_s)->click(); // the example class
    ASSERT_FALSE(form.testsModel().rows().empty());
    const auto tests = form.testsModel().rows();
    const auto students = form.studentsModel().rows();

    QString shownText;
    bool ownerEnabled = true;
    // Runs when the job first lets the window's events run.
    QTimer::singleShot(0, [&] {
        auto* window = progressWindow();
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(window->isVisible());
        shownText = window->findChild<QLabel*>(u"ProgressText"_s)->text();
        ownerEnabled = form.isEnabled();
        window->findChild<QPushButton*>(u"CancelButton"_s)->click();
    });
    form.findChild<QPushButton*>(u"PushButton6"_s)->click();

    EXPECT_EQ(shownText, u"Opening the template"_s);
    EXPECT_FALSE(ownerEnabled) << "the main window takes no input while the job runs";
    EXPECT_TRUE(form.isEnabled());
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(progressWindow(), nullptr);
    EXPECT_FALSE(app.previewLoaded());
    EXPECT_FALSE(form.mCreating);
    EXPECT_TRUE(prompt.shown().empty()) << prompt.messageTexts().join(u"\n"_s).toStdString();
    EXPECT_EQ(QDir(work.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    EXPECT_EQ(form.testsModel().rows(), tests);
    EXPECT_EQ(form.studentsModel().rows(), students);
}
