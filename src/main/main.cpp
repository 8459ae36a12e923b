#include "app/Form1.h"
#include "common/FileUtil.h"
#include "gradebook/TemplateBytes.h"
#include "gradebook/WorkFiles.h"
#include "main/Application.h"
#include "os/Process.h"
#include "setup/SettingsStore.h"
#include "shell/AppIcon.h"
#include "shell/WidgetPrompt.h"

#include <QApplication>

#include <cstdlib>

using namespace Qt::Literals::StringLiterals;

int main(int argc, char** argv) {
    // A job stopped by a termination signal deletes its work files before the program ends.
    // Installed before any other thread starts.
    markwell::os::onTerminationSignal([] { markwell::work_files::deleteAll(true); });
    // The end of the desktop session may close the display under the program, which then exits
    // without its windows' clean-up.
    std::atexit([] { markwell::work_files::deleteAll(false); });
    QApplication qapp(argc, argv);
    QGuiApplication::setDesktopFileName(u"markwell"_s);
    QApplication::setWindowIcon(markwell::applicationIcon());
    markwell::setPendingEventsHook([] { QCoreApplication::processEvents(); });

    markwell::WidgetPrompt prompt;
    markwell::SettingsStore store;
    markwell::Application app({prompt,
                               store,
                               markwell::defaultHostFactory(),
                               [] { return markwell::templateWorkbook(); },
                               {},
                               {},
                               {},
                               {},
                               {}});
    prompt.setParent(&app.mainWindow());
    if (!app.start()) {
        return 1;
    }
    return QApplication::exec();
}
