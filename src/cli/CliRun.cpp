#include "cli/CliRun.h"

#include "cli/Arguments.h"
#include "cli/OutputFormats.h"
#include "cli/OutputTarget.h"
#include "cli/Progress.h"
#include "cli/SetupFile.h"
#include "cli/TextInput.h"
#include "common/DisplayText.h"
#include "common/ErrorReport.h"
#include "common/FileUtil.h"
#include "common/Prompt.h"
#include "gradebook/WorkFiles.h"
#include "os/Files.h"
#include "setup/PointsText.h"
#include "setup/SettingsStore.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <exception>
#include <future>
#include <new>
#include <optional>
#include <utility>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace markwell::cli {

namespace {

// Boxes go to standard error; every box counts as a failure of the run.
class ErrPrompt : public Prompt {
public:
    explicit ErrPrompt(const std::function<void(const QString&)>& err) : m_err(err) {}
    void message(const QString& text, const QString&, Icon) override {
        ++failures;
        // The report's bare carriage returns would overwrite the line on a terminal.
        m_err(QString(text).replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n') + u'\n');
    }
    Answer askYesNo(const QString& text, Answer) override {
        m_err(text + u'\n');
        return Answer::No;
    }
    QString saveFileName(const QString&, const QString&, const QString&) override { return {}; }
    int failures = 0;

private:
    const std::function<void(const QString&)>& m_err;
};

QByteArray readInput(const QString& path) {
    os::Result<QByteArray> bytes = os::readFileBounded(path, kMaxInputBytes, false);
    if (!bytes) {
        fail(u"\"%1\" cannot be read: %2."_s.arg(path, bytes.reason()));
    }
    return std::move(*bytes);
}

QString settingsFolder(const CliEnvironment& env) {
    return env.settingsFolder.isEmpty() ? SettingsStore::defaultConfigFolder() : env.settingsFolder;
}

// Where the store keeps its file (see SettingsStore).
QString storeFile(const CliEnvironment& env) {
    return QDir(settingsFolder(env)).filePath(QString::fromUtf16(SettingsStore::kApplication) + u"/settings.ini"_s);
}

// The stored setup; a store that could not be read whole fails, listing what is wrong with it.
SetupValues storedValues(const CliEnvironment& env) {
    const QString file = storeFile(env);
    // Opening a pipe would wait for a writer, and a device may never end: only a file is read.
    if (const os::FileKind kind = os::kindFollowing(file);
        kind != os::FileKind::Missing && kind != os::FileKind::Regular && kind != os::FileKind::Directory) {
        fail(u"the settings file \"%1\" could not be read: it is %2, not a file. No gradebook was made; "
             u"give the setup with --setup, or replace that entry with a file."_s.arg(QDir::toNativeSeparators(file),
                                                                                      os::describeKind(kind)));
    }
    const SettingsStore store(settingsFolder(env));
    if (!store.loadProblems().isEmpty()) {
        fail(u"the stored setup could not be read whole, so no gradebook was made:\n  %1\nRepair the "
             u"settings file (or start markwell once), or give the setup with --setup."_s.arg(
                 store.loadProblems().join(u"\n  "_s)));
    }
    SetupValues values;
    values.source = u"the stored setup (\"%1\")"_s.arg(QDir::toNativeSeparators(store.filePath()));
    for (const QString& key : setupKeys()) {
        values.texts.insert(key, store.read(key));
    }
    return values;
}

GradebookSetup loadSetup(const Options& o, const CliEnvironment& env, QStringList& warnings) {
    const SetupValues values =
        o.setupFile.isEmpty() ? storedValues(env) : parseSetupFile(readInput(o.setupFile), o.setupFile);
    std::optional<Roster> tests, students;
    if (!o.testsCsv.isEmpty()) {
        tests = Roster{readInput(o.testsCsv), o.testsCsv};
    }
    if (!o.studentsCsv.isEmpty()) {
        students = Roster{readInput(o.studentsCsv), o.studentsCsv};
    }
    // Points are read as the job writes them to the workbook: by the locale's decimal separator.
    return assembleSetup(values, tests ? &*tests : nullptr, students ? &*students : nullptr, &warnings,
                         decimalSeparatorOf(QLocale()));
}

// A usage error when one file is named for two roles: a result over an input, or both results
// in one file.
std::optional<QString> sameFileProblem(const Options& o, const CliEnvironment& env) {
    std::vector<std::pair<QString, QString>> files;
    files.emplace_back(u"--out"_s, o.out);
    if (!o.picture.isEmpty()) {
        files.emplace_back(u"--picture"_s, o.picture);
    }
    for (const Printout& p : printouts()) {
        if (!(o.*p.file).isEmpty()) {
            files.emplace_back(p.option, o.*p.file);
        }
    }
    const std::size_t results = files.size();
    if (o.setupFile.isEmpty()) {
        files.emplace_back(u"the settings file"_s, storeFile(env));
    } else {
        files.emplace_back(u"--setup"_s, o.setupFile);
    }
    if (!o.testsCsv.isEmpty()) {
        files.emplace_back(u"--tests-csv"_s, o.testsCsv);
    }
    if (!o.studentsCsv.isEmpty()) {
        files.emplace_back(u"--students-csv"_s, o.studentsCsv);
    }
    for (std::size_t r = 0; r < results; ++r) {
        for (std::size_t i = r + 1; i < files.size(); ++i) {
            if (os::sameFile(files[r].second, files[i].second)) {
                return u"%1 and %2 name the same file, \"%3\"."_s.arg(files[r].first, files[i].first, files[r].second);
            }
        }
    }
    return std::nullopt;
}

QString timingsJson(const CreateTemplateTimings& t) {
    auto ms = [](double v) { return QString::number(v, 'f', 3); };
    return u"{\"template\": %1, \"fill\": %2, \"save\": %3, \"reopen\": %4, \"picture\": %5, \"total\": %6}"_s.arg(
        ms(t.templateMs), ms(t.fillMs), ms(t.saveMs), ms(t.reopenMs), ms(t.pictureMs), ms(t.totalMs));
}

int create(const Options& o, const CliEnvironment& env) {
    auto report = [&](const QString& message) {
        env.err(u"markwell-cli: "_s + message + u'\n');
        return kExitFailure;
    };
    if (const auto problem = sameFileProblem(o, env)) {
        env.err(u"markwell-cli: "_s + *problem + u"\n\n"_s + usageText());
        return kExitUsage;
    }
    // Refuse targets that cannot take the result before doing any work.
    if (const auto why = checkTarget(o.out, o.force)) {
        return report(u"the workbook cannot be saved to \"%1\": %2."_s.arg(o.out, *why));
    }
    if (!o.picture.isEmpty()) {
        if (const auto why = checkTarget(o.picture, o.force)) {
            return report(u"the picture cannot be saved to \"%1\": %2."_s.arg(o.picture, *why));
        }
    }
    for (const Printout& p : printouts()) {
        if (!(o.*p.file).isEmpty()) {
            if (const auto why = checkTarget(o.*p.file, o.force)) {
                return report(u"the %1 cannot be saved to \"%2\": %3."_s.arg(p.what, o.*p.file, *why));
            }
        }
    }

    // A long job says on the terminal what it is doing; nothing of it is left when it ends.
    ProgressLine* const progress = env.progress != nullptr && env.progress->terminal() ? env.progress : nullptr;
    const auto phase = [progress](const QString& what) {
        if (progress != nullptr) {
            progress->report(what);
        }
    };
    struct Erase {
        ProgressLine* line;
        ~Erase() {
            if (line != nullptr) {
                line->finish();
            }
        }
    } erase{progress};

    GradebookSetup setup;
    QStringList warnings;
    phase(u"Reading the setup"_s);
    try {
        setup = loadSetup(o, env, warnings);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        return report(failureText(e));
    }
    for (const QString& warning : warnings) {
        env.err((o.strict ? u"markwell-cli: error: "_s : u"markwell-cli: warning: "_s) + warning + u'\n');
    }
    if (o.strict && !warnings.isEmpty()) {
        return report(u"--strict: %1 above, so no gradebook was made."_s.arg(
            warnings.size() == 1 ? u"1 error"_s : u"%1 errors"_s.arg(warnings.size())));
    }

    ErrPrompt prompt(env.err);
    CollectingUi ui;
    // Waiting for another job is said on standard error; it is no failure.
    ui.onNotice = [&](const QString& text) { env.err(u"markwell-cli: "_s + text + u'\n'); };
    CreateTemplateTimings timings;
    CreateTemplateEnvironment run;
    run.hostFactory = env.hostFactory;
    run.templateBytes = env.templateBytes;
    run.workFolder = env.workFolder;
    run.timings = &timings;
    if (progress != nullptr) {
        run.progress = progress->callback();
    }
    // The generated workbook stays among the work files an interruption deletes until it is copied.
    run.keepResultRecorded = true;
    // A picture is drawn only when one was asked for.
    run.picture = !o.picture.isEmpty();
    // Printouts and a workbook in another format are made from the job's own model, without
    // reading the saved workbook again.
    run.handOverModel =
        outputFormat(o.out) != exporting::SaveFormat::Xls ||
        std::any_of(printouts().begin(), printouts().end(), [&](const Printout& p) { return !(o.*p.file).isEmpty(); });
    bool creating = false;
    createTemplate(setup, run, ui, prompt, creating);

    // A workbook that was saved is written even when a later step (reopening it, its picture)
    // failed: the failure is reported and the exit code says so, but the work is not lost.
    int code = prompt.failures > 0 ? kExitFailure : kExitSuccess;
    // The picture is made into PNG on a second thread while the workbook and the printouts are
    // written (where no thread can be started, it is made when it is saved).
    std::future<EncodedPicture> picturePng;
    if (!o.picture.isEmpty() && !ui.picture.isNull()) {
        picturePng = std::async(std::launch::async | std::launch::deferred,
                                [picture = ui.picture] { return encodePicture(picture); });
    }
    StagedOutputs outputs;
    if (!ui.workbook.isEmpty() && os::kindOf(ui.workbook) == os::FileKind::Regular &&
        QFileInfo(ui.workbook).size() > 0) {
        const bool printed = std::any_of(printouts().begin(), printouts().end(),
                                         [&](const Printout& p) { return !(o.*p.file).isEmpty(); });
        phase(printed ? u"Writing the workbook and the printouts"_s : u"Writing the workbook"_s);
        for (const QString& problem : writeOutputs(ui.workbook, o, outputs, std::move(ui.model))) {
            code = report(problem.endsWith(u'.') ? problem : problem + u'.');
        }
    } else {
        code = report(u"no workbook was made."_s);
    }
    if (!ui.workbook.isEmpty()) {
        // With --force the result may have replaced the generated workbook itself.
        if (!os::sameFile(ui.workbook, o.out)) {
            DeleteFileQuietly(ui.workbook);
        }
        work_files::forget(ui.workbook);
    }
    if (!o.picture.isEmpty()) {
        phase(u"Writing the picture"_s);
        if (ui.picture.isNull()) {
            code = report(u"the picture could not be saved to \"%1\": no picture was made."_s.arg(o.picture));
        } else if (const auto why = savePicture(picturePng.get(), o.picture, o.force, outputs)) {
            code = report(u"the picture could not be saved to \"%1\": %2."_s.arg(o.picture, *why));
        }
    }
    // Every result written is put in place together.
    for (const QString& problem : outputs.commit()) {
        code = report(u"a result could not be put in place at %1."_s.arg(problem));
    }
    if (progress != nullptr) {
        progress->finish();
    }
    if (o.timings) {
        env.err(timingsJson(timings) + u'\n');
    }
    return code;
}

} // namespace

int run(const QStringList& arguments, const CliEnvironment& given) {
    // Messages name files and setup keys as they were given: what could steer a terminal or
    // reorder the text around it is shown escaped.
    CliEnvironment env = given;
    env.err = [&given](const QString& text) { given.err(escapeForDisplay(text)); };
    const ParsedArguments parsed = parseArguments(arguments);
    switch (parsed.action) {
    case ParsedArguments::Action::Help:
        env.out(usageText());
        return kExitSuccess;
    case ParsedArguments::Action::Version:
        env.out(versionText());
        return kExitSuccess;
    case ParsedArguments::Action::UsageError:
        env.err(u"markwell-cli: "_s + parsed.problem + u"\n\n"_s + usageText());
        return kExitUsage;
    case ParsedArguments::Action::Create:
        break;
    }
    try {
        return create(parsed.options, env);
    } catch (const std::bad_alloc&) {
        env.err(u"markwell-cli: there is not enough memory for this job.\n"_s);
        return kExitFailure;
    }
}

} // namespace markwell::cli
