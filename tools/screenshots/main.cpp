// markwell-screenshots OUTPUT_FOLDER
//
// Starts the program's two windows as the desktop program does, with a scratch settings store
// and work folder, loads the sample data, gives its student points, and saves what a teacher sees:
//   OUTPUT_FOLDER/main-window.png     the main window with the sample data
//   OUTPUT_FOLDER/preview-window.png  the preview window after "Create Template"
// Any message the program would show is printed and makes the run fail, so a picture of an
// error box is never taken for a picture of the program. Run by scripts/screenshots.

#include "app/Form1.h"
#include "common/FileUtil.h"
#include "common/Prompt.h"
#include "gradebook/TemplateBytes.h"
#include "main/Application.h"
#include "preview/Form2.h"
#include "setup/SettingsStore.h"
#include "shell/AppIcon.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QTabBar>
#include <QTemporaryDir>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace {

void say(const QString& text) {
    std::fprintf(stderr, "markwell-screenshots: %s\n", qUtf8Printable(text));
}

// Answers nothing: every box is reported and counted as a failure.
class ReportingPrompt : public markwell::Prompt {
public:
    void message(const QString& text, const QString&, Icon) override {
        say(u"the program showed a message: "_s + text);
        ++failures;
    }
    Answer askYesNo(const QString& text, Answer) override {
        say(u"the program asked: "_s + text);
        ++failures;
        return Answer::No;
    }
    QString saveFileName(const QString&, const QString&, const QString&) override {
        ++failures;
        return {};
    }
    int failures = 0;
};

// Lets the windows lay themselves out and paint (and their timers run) for a moment.
void settle(int milliseconds) {
    QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired()) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

bool save(QWidget& window, const QString& path) {
    const QPixmap picture = window.grab();
    if (picture.isNull() || !picture.save(path, "PNG")) {
        say(u"could not save \"%1\""_s.arg(path));
        return false;
    }
    std::printf("%s (%dx%d)\n", qUtf8Printable(QDir::toNativeSeparators(path)), picture.width(), picture.height());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() != 2) {
        say(u"usage: markwell-screenshots OUTPUT_FOLDER"_s);
        return 2;
    }
    const QDir out(args.at(1));
    if (!QDir().mkpath(out.path())) {
        say(u"could not create the folder \"%1\""_s.arg(out.path()));
        return 1;
    }
    QApplication::setWindowIcon(markwell::applicationIcon());
    markwell::setPendingEventsHook([] { QCoreApplication::processEvents(); });

    // Never the teacher's own settings or work folder.
    QTemporaryDir config;
    QTemporaryDir work;
    if (!config.isValid() || !work.isValid()) {
        say(u"could not make scratch folders"_s);
        return 1;
    }
    ReportingPrompt prompt;
    markwell::SettingsStore store(config.path());
    markwell::Application app({prompt,
                               store,
                               markwell::defaultHostFactory(),
                               [] { return markwell::templateWorkbook(); },
                               [&work] { return work.path(); },
                               {},
                               [] {},
                               [] { return 1; },
                               {}});
    if (!app.start()) {
        say(u"the program did not start"_s);
        return 1;
    }
    settle(300);
    // The sample class, then a second student typed as a teacher would on the Students tab:
    // "New", name and ID, the first test chosen in "Test:" with its points, "Add Student", then
    // each further test with its points and "Add Test Points".
    markwell::Form1& form = app.mainWindow();
    form.PushButton9_Click();
    auto* tabs = form.findChild<QTabBar*>(u"TabControl1"_s);
    auto* picker = form.findChild<QComboBox*>(u"Combo1"_s);
    auto* name = form.findChild<QLineEdit*>(u"txtStName"_s);
    auto* id = form.findChild<QLineEdit*>(u"txtStID"_s);
    auto* points = form.findChild<QLineEdit*>(u"txtStPoints"_s);
    if (tabs == nullptr || picker == nullptr || name == nullptr || id == nullptr || points == nullptr) {
        say(u"the main window's students tab is not as expected"_s);
        return 1;
    }
    tabs->setCurrentIndex(1);
    settle(100);
    form.PushButton7_Click();
    name->setText(u"Ada Brook"_s);
    id->setText(u"E16-29"_s);
    const QStringList typed{u"72"_s, u"65"_s};
    for (int line = 0; line < picker->count() && line < typed.size(); ++line) {
        picker->setCurrentIndex(line);
        points->setText(typed.at(line));
        if (line == 0) {
            form.PushButton3_Click();
        } else {
            form.PushButton5_Click();
        }
    }
    settle(300);
    if (prompt.failures > 0 || !save(form, out.filePath(u"main-window.png"_s))) {
        return 1;
    }

    form.PushButton6_Click();
    settle(800);
    if (prompt.failures > 0 || !app.previewLoaded() || !app.previewWindow().isVisible()) {
        say(u"\"Create Template\" did not show the preview window"_s);
        return 1;
    }
    if (!save(app.previewWindow(), out.filePath(u"preview-window.png"_s))) {
        return 1;
    }
    return 0;
}
