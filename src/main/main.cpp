#include "app/AppIcon.h"
#include "app/FileUtil.h"
#include "app/Form1.h"
#include "app/SettingsStore.h"
#include "app/WidgetPrompt.h"
#include "main/Application.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication qapp(argc, argv);
    QApplication::setWindowIcon(markwell::applicationIcon());
    markwell::setPendingEventsHook([] { QCoreApplication::processEvents(); });

    markwell::WidgetPrompt prompt;
    markwell::SettingsStore store;
    markwell::Application app({prompt, store, markwell::defaultHostFactory(), {}, {}, {}, {}, {}, {}});
    prompt.setParent(&app.mainWindow());
    if (!app.start()) {
        return 1;
    }
    return QApplication::exec();
}
