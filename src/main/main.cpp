#include "app/AppIcon.h"
#include "app/FileUtil.h"
#include "app/Form1.h"
#include "app/SettingsStore.h"
#include "app/WidgetPrompt.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setWindowIcon(markwell::applicationIcon());
    markwell::setPendingEventsHook([] { QCoreApplication::processEvents(); });

    markwell::WidgetPrompt prompt;
    markwell::SettingsStore store;
    markwell::Form1 form({prompt, store, markwell::defaultHostFactory(), {}, {}, {}, {}});
    prompt.setParent(&form);
    if (!form.Form_Load()) {
        return 1;
    }
    form.show();
    return QApplication::exec();
}
