#include "cli/CliRun.h"

#include "app/SettingsStore.h"
#include "cli/CsvRoster.h"
#include "cli/OutputFormats.h"
#include "cli/SetupFile.h"
#include "common/ErrorReport.h"
#include "common/FileUtil.h"
#include "common/Prompt.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>

#include <algorithm>
#include <iterator>
#include <optional>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace markwell::cli {

namespace {

struct Options {
    QString setupFile, out = u"gradebook.xls"_s, picture, testsCsv, studentsCsv, pdf;
    bool force = false;
    bool timings = false;
};

// Boxes go to standard error; every box counts as a failure of the run.
class ErrPrompt : public Prompt {
public:
    explicit ErrPrompt(const std::function<void(const QString&)>& err) : m_err(err) {}
    void message(const QString& text, const QString&, Icon) override {
        ++failures;
        // The report's bare carriage returns would overwrite the line on a terminal.
        m_err(QString(text).replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n') + u'\n');
    }
    Answer askYesNo(const QString& text) override {
        m_err(text + u'\n');
        return Answer::No;
    }
    QString saveFileName(const QString&, const QString&, const QString&) override { return {}; }
    int failures = 0;

private:
    const std::function<void(const QString&)>& m_err;
};

std::optional<Options> parseOptions(const QStringList& args, QString& problem) {
    if (args.isEmpty() || args.first() != u"create"_s) {
        problem = args.isEmpty() ? u"no command given."_s : u"unknown command \"%1\"."_s.arg(args.first());
        return std::nullopt;
    }
    Options o;
    const std::pair<QString, QString Options::*> fileOptions[] = {
        {u"--setup"_s, &Options::setupFile},    {u"--out"_s, &Options::out},
        {u"--picture"_s, &Options::picture},    {u"--pdf"_s, &Options::pdf},
        {u"--tests-csv"_s, &Options::testsCsv}, {u"--students-csv"_s, &Options::studentsCsv}};
    const std::pair<QString, bool Options::*> switches[] = {{u"--force"_s, &Options::force},
                                                            {u"--timings"_s, &Options::timings}};
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        const auto file = std::find_if(std::begin(fileOptions), std::end(fileOptions),
                                       [&](const auto& option) { return option.first == a; });
        const auto flag = std::find_if(std::begin(switches), std::end(switches),
                                       [&](const auto& option) { return option.first == a; });
        if (file != std::end(fileOptions)) {
            if (i + 1 >= args.size() || args[i + 1].isEmpty()) {
                problem = u"%1 needs a file name."_s.arg(a);
                return std::nullopt;
            }
            o.*(file->second) = args[++i];
        } else if (flag != std::end(switches)) {
            o.*(flag->second) = true;
        } else {
            problem = u"unknown option \"%1\"."_s.arg(a);
            return std::nullopt;
        }
    }
    return o;
}

QByteArray readWholeFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        throw Failure(u"%1: cannot be read: %2"_s.arg(path, f.errorString()));
    }
    // A roster or setup file is text a person wrote; refuse anything absurdly large.
    constexpr qint64 kMaxInput = 256LL * 1024 * 1024;
    if (f.size() > kMaxInput) {
        throw Failure(u"%1: the file is larger than 256 MiB."_s.arg(path));
    }
    return f.readAll();
}

QString timingsJson(const CreateTemplateTimings& t) {
    auto ms = [](double v) { return QString::number(v, 'f', 3); };
    return u"{\"template\": %1, \"fill\": %2, \"save\": %3, \"reopen\": %4, \"picture\": %5, \"total\": %6}"_s.arg(
        ms(t.templateMs), ms(t.fillMs), ms(t.saveMs), ms(t.reopenMs), ms(t.pictureMs), ms(t.totalMs));
}

} // namespace

QString usageText() {
    return u"Usage: markwell-cli create [--setup FILE] [--out WORKBOOK] [--pdf FILE] [--picture IMAGE] [--force]\n"
           u"                           [--timings] [--tests-csv FILE] [--students-csv FILE]\n"
           u"\n"
           u"Makes the gradebook workbook of a class setup, as \"Create Template\" does.\n"
           u"  --setup FILE         key=value lines (txtName, txtTeachName, txtProject, txtYSQ, Tests,\n"
           u"                       Students); without it the setup stored by the program is used\n"
           u"  --out WORKBOOK       where to save the workbook (default gradebook.xls); a name ending in\n"
           u"                       .xlsx saves it as .xlsx, any other name as .xls\n"
           u"  --pdf FILE           also save the printable gradebook as PDF\n"
           u"  --picture IMAGE      also save the picture of the sheet as PNG\n"
           u"  --force              replace an existing WORKBOOK or IMAGE\n"
           u"  --timings            print the time of each phase as JSON on standard error\n"
           u"  --tests-csv FILE     tests roster: name, possible points\n"
           u"  --students-csv FILE  students roster: name, ID, one points column per test\n"_s;
}

int run(const QStringList& arguments, const CliEnvironment& env) {
    QString problem;
    const std::optional<Options> options = parseOptions(arguments, problem);
    if (!options) {
        env.err(u"markwell-cli: "_s + problem + u"\n\n"_s + usageText());
        return kExitUsage;
    }
    const Options& o = *options;

    GradebookSetup setup;
    try {
        SetupValues values;
        if (!o.setupFile.isEmpty()) {
            values = parseSetupFile(readWholeFile(o.setupFile), o.setupFile);
        } else {
            const SettingsStore store(env.settingsFolder.isEmpty() ? SettingsStore::defaultConfigFolder()
                                                                   : env.settingsFolder);
            for (const QString& p : store.loadProblems()) {
                env.err(u"warning: "_s + p + u'\n');
            }
            for (const QString& key : setupKeys()) {
                values.insert(key, store.read(key));
            }
        }
        QStringList listProblems;
        setup = setupFromValues(values, listProblems);
        for (const QString& p : listProblems) {
            env.err(u"warning: "_s + p + u'\n');
        }
        if (!o.testsCsv.isEmpty()) {
            setup.tests = readTestsCsv(readWholeFile(o.testsCsv), o.testsCsv);
            setup.pointsCount = static_cast<qsizetype>(setup.tests.size());
            for (StudentRow& s : setup.students) {
                s.points.resize(setup.pointsCount);
            }
        }
        if (!o.studentsCsv.isEmpty()) {
            setup.students = readStudentsCsv(readWholeFile(o.studentsCsv), o.studentsCsv, setup.pointsCount);
        }
    } catch (const std::exception& e) {
        env.err(u"markwell-cli: "_s + QString::fromUtf8(e.what()) + u'\n');
        return kExitFailure;
    }

    // Refuse to replace files before doing any work.
    // One file cannot take two results; the later would silently replace the earlier.
    const auto same = [](const QString& a, const QString& b) {
        return !a.isEmpty() && !b.isEmpty() &&
               QDir::cleanPath(QFileInfo(a).absoluteFilePath()) == QDir::cleanPath(QFileInfo(b).absoluteFilePath());
    };
    if (same(o.pdf, o.out) || same(o.pdf, o.picture)) {
        env.err(u"markwell-cli: --pdf names the same file as --out or --picture.\n\n"_s + usageText());
        return kExitUsage;
    }
    for (const QString& target : {o.out, o.picture, o.pdf}) {
        if (!target.isEmpty() && !o.force && QFileInfo::exists(target)) {
            env.err(u"markwell-cli: \"%1\" exists; use --force to replace it.\n"_s.arg(target));
            return kExitFailure;
        }
    }

    ErrPrompt prompt(env.err);
    CollectingUi ui;
    CreateTemplateTimings timings;
    CreateTemplateEnvironment run;
    run.hostFactory = env.hostFactory;
    run.templateBytes = env.templateBytes;
    run.workFolder = env.workFolder;
    run.timings = &timings;
    bool creating = false;
    createTemplate(setup, run, ui, prompt, creating);

    int code = prompt.failures > 0 ? kExitFailure : kExitSuccess;
    if (!ui.workbook.isEmpty() && QFileInfo::exists(ui.workbook)) {
        try {
            if (code == kExitSuccess) {
                writeOutputs(ui.workbook, o.out, o.pdf);
            }
        } catch (const std::exception& e) {
            env.err(u"markwell-cli: "_s + QString::fromUtf8(e.what()) + u'\n');
            code = kExitFailure;
        }
        DeleteFileQuietly(ui.workbook);
    } else if (code == kExitSuccess) {
        env.err(u"markwell-cli: no workbook was made.\n"_s);
        code = kExitFailure;
    }
    if (code == kExitSuccess && !o.picture.isEmpty()) {
        QImageWriter writer(o.picture, "png");
        if (ui.picture.isNull() || !writer.write(ui.picture)) {
            env.err(u"markwell-cli: the picture could not be saved to \"%1\": %2\n"_s.arg(
                o.picture, ui.picture.isNull() ? u"no picture was made"_s : writer.errorString()));
            code = kExitFailure;
        }
    }
    if (o.timings) {
        env.err(timingsJson(timings) + u'\n');
    }
    return code;
}

} // namespace markwell::cli
