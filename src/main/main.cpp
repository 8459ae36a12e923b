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
#include <QSemaphore>

#include <atomic>
#include <memory>

#include <cstdlib>

using namespace Qt::Literals::StringLiterals;

namespace {

// The main window while the event loop runs, for the thread that takes the termination signals.
std::atomic<markwell::Form1*> g_mainWindow{nullptr};

// A list change made in the last second is stored before the program ends: on the window's own
// thread, waited for a little while at most.
void storeListsBeforeEnd() {
    markwell::Form1* form = g_mainWindow.load();
    if (form == nullptr) {
        return;
    }
    auto done = std::make_shared<QSemaphore>();
    QMetaObject::invokeMethod(
        form,
        [form, done] {
            form->storeWaitingListChange();
            done->release();
        },
        Qt::QueuedConnection);
    constexpr int kWaitMs = 3000;
    done->tryAcquire(1, kWaitMs);
}

} // namespace

int main(int argc, char** argv) {
    // A job stopped by a termination signal deletes its work files before the program ends, and
    // the lists are stored. Installed before any other thread starts. A work file that grows
    // beyond the session's file-size limit is a failure the job reports, not the program's end.
    markwell::os::ignoreFileSizeLimitSignal();
    markwell::os::onTerminationSignal([] {
        markwell::work_files::deleteAll(true);
        storeListsBeforeEnd();
    });
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
    g_mainWindow = &app.mainWindow();
    const int result = QApplication::exec();
    g_mainWindow = nullptr;
    return result;
}
