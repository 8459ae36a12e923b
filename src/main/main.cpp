#include "app/AppIcon.h"
#include "app/Form1.h"
#include "app/SettingsStore.h"
#include "app/WidgetPrompt.h"
#include "common/FileUtil.h"
#include "gradebook/TemplateBytes.h"
#include "main/Application.h"

#include <QApplication>

using namespace Qt::Literals::StringLiterals;

int main(int argc, char** argv) {
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
