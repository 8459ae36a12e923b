#pragma once

#include <QString>
#include <QStringList>

namespace markwell::cli {

// What `markwell-cli create` is asked to do.
struct Options {
    QString setupFile;
    QString out = QStringLiteral("gradebook.xls");
    QString picture;
    QString pdf;
    QString pdfFitWidth;
    QString reports;
    QString testsCsv;
    QString studentsCsv;
    bool force = false;
    bool timings = false;
};

struct ParsedArguments {
    enum class Action { Create, Help, Version, UsageError };
    Action action = Action::UsageError;
    Options options;
    QString problem; // for a usage error: what is wrong, as a sentence
};

// Reads the program's arguments (without the program name). `--help` or `-h` anywhere asks for
// the usage, `--version` for the version. Otherwise the first argument is the command, `create`,
// followed by options; a file option takes the next argument or the text after "=" as its file
// name. A missing or empty file name, a file name that is itself one of the options, a file
// option given twice, an unknown option and a stray argument are usage errors.
ParsedArguments parseArguments(const QStringList& arguments);

QString usageText();
QString versionText();

// The program's arguments from main()'s argv, without the program name, each decoded the way the
// file system encodes names (os::decodeFileName), so that every file name reaches the file
// system byte for byte as it was typed.
QStringList decodeArguments(int argc, const char* const* argv);

} // namespace markwell::cli
