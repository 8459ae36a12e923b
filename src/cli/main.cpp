#include "cli/CliRun.h"
#include "common/Platform.h"
#include "gradebook/TemplateBytes.h"
#include "gradebook/WorkFiles.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv) {
    // An interrupted job deletes its work files (the workbook holds names and grades) before the
    // program ends. Set up before any other thread starts.
    markwell::os::onTerminationSignal([] { markwell::work_files::deleteAll(true); });
    // No windows: fonts and pictures work on the offscreen platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QGuiApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();

    markwell::cli::CliEnvironment env;
    env.hostFactory = markwell::defaultHostFactory();
    env.templateBytes = [] { return markwell::templateWorkbook(); };
    env.err = [](const QString& text) {
        const QByteArray bytes = text.toUtf8();
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    };
    return markwell::cli::run(arguments, env);
}
