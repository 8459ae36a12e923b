#include "cli/Arguments.h"
#include "cli/CliRun.h"
#include "cli/Progress.h"
#include "gradebook/TemplateBytes.h"
#include "gradebook/WorkFiles.h"
#include "os/FileNames.h"
#include "os/Process.h"
#include "os/Result.h"
#include "workbook/render/FontCatalog.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <optional>

namespace {

void write(std::FILE* stream, const QString& text) {
    // Names that are not UTF-8 go out as the bytes they were given as.
    const QByteArray bytes = markwell::os::encodeFileName(text);
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

// Qt's own notes ("XDG_RUNTIME_DIR not set") say nothing about the job; standard error is kept for
// the job's messages, which a script reads. Critical messages still go out.
QtMessageHandler qtHandler = nullptr;
void onQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if ((type == QtCriticalMsg || type == QtFatalMsg) && qtHandler != nullptr) {
        qtHandler(type, context, text);
    }
}

// The progress line, for the signal thread to erase it when the process is stopped.
std::atomic<markwell::cli::ProgressLine*> progressLine{nullptr};

} // namespace

int main(int argc, char** argv) {
    // An interrupted job deletes its work files (the workbook holds names and grades) before the
    // program ends. Set up before any other thread starts. A closed standard output or error
    // (a reader that stopped reading) means nobody is listening: the job still finishes.
    markwell::os::ignoreBrokenPipe();
    markwell::os::ignoreFileSizeLimitSignal();
    markwell::os::onTerminationSignal([] {
        if (markwell::cli::ProgressLine* line = progressLine.load()) {
            line->tryFinish();
        }
        markwell::work_files::deleteAll(true);
    });
    // A file opened later must never become standard output or error and receive messages.
    markwell::os::ensureStandardStreams();
    // The arguments are the program's own: Qt never sees them (it would take "-platform" and its
    // other options out of the list, or abort on them).
    const QStringList arguments = markwell::cli::decodeArguments(argc, argv);
    static char programName[] = "markwell-cli";
    static char* qtArgv[] = {programName, nullptr};
    static int qtArgc = 1;
    qtHandler = qInstallMessageHandler(onQtMessage);
    // Only a job draws (the picture of the sheet): the usage, the version and a wrong command line
    // start no graphical platform. No windows: fonts and pictures work on the offscreen platform,
    // with or without a display.
    const bool job = !arguments.isEmpty() && arguments.front() == QStringLiteral("create");
    std::optional<QCoreApplication> plainApp;
    std::optional<QGuiApplication> drawingApp;
    // For a job, the system's fonts are listed, and the template's looked up, while the setup is
    // read and the workbook made.
    std::optional<markwell::render::FontListReader> fonts;
    if (job) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        drawingApp.emplace(qtArgc, qtArgv);
        fonts.emplace(markwell::templateFontFamilies());
    } else {
        plainApp.emplace(qtArgc, qtArgv);
    }

    markwell::cli::CliEnvironment env;
    env.hostFactory = markwell::defaultHostFactory();
    env.templateBytes = [] { return markwell::templateWorkbook(); };
    env.out = [](const QString& text) { write(stdout, text); };
    // How far a long job has come shows on standard error when a person watches it there. The line
    // lives as long as the process (the signal thread may still reach it); its ticker ends here.
    static markwell::cli::ProgressLine progress(markwell::os::standardErrorIsTerminal(), {},
                                                [](const QString& text) { write(stderr, text); });
    progressLine.store(&progress);
    std::optional<markwell::cli::ProgressTicker> ticker;
    if (progress.terminal()) {
        ticker.emplace(progress);
    }
    env.err = [](const QString& text) { progress.message(text); };
    env.progress = &progress;
    int code = markwell::cli::run(arguments, env);
    ticker.reset();
    progressLine.store(nullptr);
    // The usage and the version are worth nothing when they could not be written.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        const int error = errno;
        write(stderr, QStringLiteral("markwell-cli: standard output could not be written: %1.\n")
                          .arg(markwell::os::errorText(error)));
        if (code == markwell::cli::kExitSuccess) {
            code = markwell::cli::kExitFailure;
        }
    }
    return code;
}
