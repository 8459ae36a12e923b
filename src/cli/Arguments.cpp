#include "cli/Arguments.h"

#include "os/FileNames.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace markwell::cli {

namespace {

const std::pair<QString, QString Options::*> kFileOptions[] = {
    {u"--setup"_s, &Options::setupFile},           {u"--out"_s, &Options::out},
    {u"--picture"_s, &Options::picture},           {u"--pdf"_s, &Options::pdf},
    {u"--tests-csv"_s, &Options::testsCsv},        {u"--students-csv"_s, &Options::studentsCsv},
    {u"--pdf-fit-width"_s, &Options::pdfFitWidth}, {u"--reports"_s, &Options::reports}};
const std::pair<QString, bool Options::*> kSwitches[] = {{u"--force"_s, &Options::force},
                                                         {u"--timings"_s, &Options::timings}};

bool isHelp(const QString& a) {
    return a == u"--help"_s || a == u"-h"_s;
}

bool isOptionName(const QString& a) {
    const auto named = [&](const auto& option) { return option.first == a; };
    return isHelp(a) || a == u"--version"_s || std::any_of(std::begin(kFileOptions), std::end(kFileOptions), named) ||
           std::any_of(std::begin(kSwitches), std::end(kSwitches), named);
}

ParsedArguments usageError(const QString& problem) {
    ParsedArguments parsed;
    parsed.problem = problem;
    return parsed;
}

} // namespace

ParsedArguments parseArguments(const QStringList& arguments) {
    ParsedArguments parsed;
    if (std::any_of(arguments.begin(), arguments.end(), isHelp)) {
        parsed.action = ParsedArguments::Action::Help;
        return parsed;
    }
    if (arguments.contains(u"--version"_s)) {
        parsed.action = ParsedArguments::Action::Version;
        return parsed;
    }
    if (arguments.isEmpty()) {
        return usageError(u"no command given."_s);
    }
    if (arguments.first() != u"create"_s) {
        return usageError(u"unknown command \"%1\"."_s.arg(arguments.first()));
    }
    parsed.action = ParsedArguments::Action::Create;
    Options& o = parsed.options;
    QStringList given;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        const qsizetype eq = a.startsWith(u"--"_s) ? a.indexOf(u'=') : -1;
        const QString name = eq < 0 ? a : a.left(eq);
        const auto file = std::find_if(std::begin(kFileOptions), std::end(kFileOptions),
                                       [&](const auto& option) { return option.first == name; });
        const auto flag = std::find_if(std::begin(kSwitches), std::end(kSwitches),
                                       [&](const auto& option) { return option.first == name; });
        if (file != std::end(kFileOptions)) {
            QString value;
            if (eq >= 0) {
                value = a.mid(eq + 1);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            }
            if (value.isEmpty()) {
                return usageError(u"%1 needs a file name."_s.arg(name));
            }
            if (isOptionName(value)) {
                return usageError(u"%1 needs a file name, but \"%2\" follows it (to name a file that begins with "
                                  u"a dash, write ./ before it)."_s.arg(name, value));
            }
            if (given.contains(name)) {
                return usageError(u"%1 was given twice."_s.arg(name));
            }
            given << name;
            o.*(file->second) = value;
        } else if (flag != std::end(kSwitches)) {
            if (eq >= 0) {
                return usageError(u"%1 takes no value."_s.arg(name));
            }
            o.*(flag->second) = true;
        } else if (a.startsWith(u'-')) {
            return usageError(u"unknown option \"%1\"."_s.arg(a));
        } else {
            return usageError(
                u"unexpected argument \"%1\": a file name follows its option, such as --setup or --out."_s.arg(a));
        }
    }
    return parsed;
}

QString usageText() {
    return u"Usage: markwell-cli create [--setup FILE] [--out WORKBOOK] [--pdf FILE] [--picture IMAGE] [--force]\n"
           u"                           [--timings] [--tests-csv FILE] [--students-csv FILE]\n"
           u"                           [--pdf-fit-width FILE] [--reports FILE]\n"
           u"       markwell-cli --help | --version\n"
           u"\n"
           u"Makes the gradebook workbook of a class setup, as \"Create Template\" does.\n"
           u"  --setup FILE         key=value lines (txtName, txtTeachName, txtProject, txtYSQ, Tests,\n"
           u"                       Students); without it the setup stored by the program is used\n"
           u"  --out WORKBOOK       where to save the workbook (default gradebook.xls); a name ending in\n"
           u"                       .xlsx saves it as .xlsx, any other name as .xls\n"
           u"  --pdf FILE           also save the printable gradebook as PDF\n"
           u"  --pdf-fit-width FILE also save the class as PDF on landscape pages, scaled to the page's\n"
           u"                       width (text no smaller than about 6 pt; wider tables continue)\n"
           u"  --reports FILE       also save the student reports as PDF: a page per student\n"
           u"  --picture IMAGE      also save the picture of the sheet as PNG\n"
           u"  --force              replace an existing WORKBOOK, FILE or IMAGE\n"
           u"  --timings            print the time of each phase as JSON on standard error\n"
           u"  --tests-csv FILE     tests roster: name, possible points\n"
           u"  --students-csv FILE  students roster: name, ID, one points column per test\n"
           u"  -h, --help           print this text and exit\n"
           u"  --version            print the version and exit\n"
           u"\n"
           u"Exit status: 0 the workbook (and PDFs and picture) saved; 1 the job failed (the reason on standard\n"
           u"error; nothing half-written is left); 2 the command line was not understood.\n"_s;
}

QString versionText() {
    return u"markwell-cli (Markwell Software) %1\n"_s.arg(QStringLiteral(MARKWELL_VERSION));
}

QStringList decodeArguments(int argc, const char* const* argv) {
    QStringList arguments;
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        arguments << os::decodeFileName(QByteArrayView(argv[i], static_cast<qsizetype>(std::strlen(argv[i]))));
    }
    return arguments;
}

} // namespace markwell::cli
