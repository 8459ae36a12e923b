// The markwell-cli program itself, started as a script starts it: its arguments are its own, the
// usage and version go to standard output, and names reach the file system byte for byte.

#include "TempDir.h"

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <filesystem>

using namespace Qt::Literals::StringLiterals;
using markwell::test::TempDir;

namespace {

struct Result {
    int code = -1;
    QString out, err;
    QByteArray errBytes;
};

struct Program {
    TempDir dir;
    TempDir work;

    // Runs a shell command line in the scratch folder; "$CLI" is the program.
    Result shell(const QString& commandLine) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"CLI"_s, QStringLiteral(MARKWELL_CLI));
        env.insert(u"TEMP"_s, work.path());
        env.insert(u"XDG_CONFIG_HOME"_s, dir.file(u"config"_s));
        env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s); // the program needs no display whatever this says
        env.remove(u"XDG_RUNTIME_DIR"_s);           // Qt's note about it is not the job's business
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir.path());
        p.start(u"/bin/sh"_s, {u"-c"_s, commandLine});
        EXPECT_TRUE(p.waitForFinished(120'000)) << commandLine.toStdString();
        Result r;
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : 128 + p.exitCode();
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.errBytes = p.readAllStandardError();
        r.err = QString::fromUtf8(r.errBytes);
        return r;
    }
};

} // namespace

TEST(CliProgram, QtNeverSeesTheArguments) {
    Program program;
    program.dir.write(u"class.txt"_s, "Tests=Quiz^20\n");
    Result r = program.shell(u"\"$CLI\" create --setup class.txt --out -platform x.xls"_s);
    EXPECT_EQ(r.code, 2) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"unexpected argument \"x.xls\""_s)) << r.err.toStdString();

    program.dir.write(u"-qwindowtitle"_s, "old");
    r = program.shell(u"\"$CLI\" create --setup class.txt --out -qwindowtitle --force"_s);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
    EXPECT_TRUE(program.dir.read(u"-qwindowtitle"_s).startsWith("\xD0\xCF\x11\xE0")) << "--force was kept";
    EXPECT_EQ(r.err, QString()) << "a run that succeeds says nothing";
}

TEST(CliProgram, HelpAndVersionOnStandardOutput) {
    Program program;
    for (const QString& option : {u"--help"_s, u"-h"_s}) {
        const Result r = program.shell(u"\"$CLI\" "_s + option);
        EXPECT_EQ(r.code, 0);
        EXPECT_TRUE(r.out.startsWith(u"Usage: markwell-cli create"_s)) << r.out.toStdString();
        EXPECT_FALSE(r.err.contains(u"Usage"_s));
    }
    Result r = program.shell(u"\"$CLI\" --version"_s);
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.startsWith(u"markwell-cli (Markwell Software) "_s)) << r.out.toStdString();
    r = program.shell(u"\"$CLI\""_s);
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_TRUE(r.err.contains(u"Usage: markwell-cli create"_s));

    // Output that cannot be written is a failure, not a success.
    r = program.shell(u"\"$CLI\" --help > /dev/full"_s);
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.err.contains(u"standard output could not be written: No space left on device."_s))
        << r.err.toStdString();
    // A closed standard output is reopened on /dev/null, so no file the program opens can take its place.
    r = program.shell(u"\"$CLI\" --version >&-"_s);
    EXPECT_EQ(r.code, 0) << r.err.toStdString();
}

TEST(CliProgram, NamesThatAreNotUtf8KeepTheirBytes) {
    Program program;
    const Result r =
        program.shell(u"printf 'Tests=Quiz^20\\n' > \"$(printf 'caf\\351.txt')\" && "
                      u"\"$CLI\" create --setup \"$(printf 'caf\\351.txt')\" --out \"$(printf 'r\\377.xls')\" "
                      u"--picture \"$(printf 'p\\376.png')\" && "
                      u"\"$CLI\" create --setup \"$(printf 'gone\\351.txt')\""_s);
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    // The message names the file as it was given.
    EXPECT_TRUE(r.errBytes.contains("\"gone\xe9.txt\" cannot be read")) << r.err.toStdString();
    std::vector<std::string> names;
    const std::filesystem::path folder(QFile::encodeName(program.dir.path()).toStdString());
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"caf\xe9.txt", "p\xfe.png", "r\xff.xls"}));
    for (const std::string& name : names) {
        std::filesystem::remove(folder / name);
    }
}

TEST(CliProgram, AReaderThatStopsReadingDoesNotStopTheJob) {
    Program program;
    program.dir.write(u"class.txt"_s, "Tests=Quiz^20\n");
    // The reader is gone before the program writes its first line.
    const Result r =
        program.shell(u"{ \"$CLI\" create --setup class.txt --out r.xls --timings 2>&1; echo $? > code; } | :"_s);
    EXPECT_EQ(program.dir.read(u"code"_s).trimmed(), QByteArray("0"));
    EXPECT_TRUE(program.dir.read(u"r.xls"_s).startsWith("\xD0\xCF\x11\xE0"));
    EXPECT_TRUE(QDir(program.work.path()).isEmpty());
}

// A session whose file-size limit the workbook outgrows gets the plain message and a clean work
// folder, not a program killed half-way with its work files left behind.
TEST(CliProgram, AFileSizeLimitIsAFailureTheJobReports) {
    Program program;
    QByteArray students = "Students=";
    for (int i = 0; i < 300; ++i) {
        students += "Student " + QByteArray::number(i) + "^" + QByteArray::number(1000 + i) + "^17^18^19^20|";
    }
    program.dir.write(u"class.txt"_s, "Tests=A^20|B^20|C^20|D^20\n" + students + "\n");
    // dash counts the limit in blocks of 512 bytes: 50 kB, more than the template, less than the result.
    const Result r = program.shell(u"ulimit -f 100; \"$CLI\" create --setup class.txt --out r.xls"_s);
    EXPECT_EQ(r.code, 1) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"file-size limit"_s)) << r.err.toStdString();
    EXPECT_TRUE(QDir(program.work.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    EXPECT_FALSE(QFile::exists(program.dir.file(u"r.xls"_s)));
}
