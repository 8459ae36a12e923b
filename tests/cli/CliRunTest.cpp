// markwell-cli end to end on the embedded engine: exit codes, setup files, rosters, the stored
// setup, output targets with and without --force, --picture and --timings, and the work folder
// left clean.

#include "cli/CliRun.h"
#include "cli/Arguments.h"
#include "gradebook/TemplateBytes.h"
#include "os/FileNames.h"
#include "os/Files.h"
#include "setup/SettingsStore.h"
#include "workbook/host/EmbeddedHost.h"
#include "workbook/xls/XlsReader.h"

#include "TempDir.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

namespace {

struct Cli {
    test::TempDir dir;
    test::TempDir work;
    QString out, err;
    // Runs once, at the job's first use of the work folder: the job is under way.
    std::function<void()> duringJob;
    HostFactory host = defaultHostFactory();

    int run(QStringList args) {
        out.clear();
        err.clear();
        cli::CliEnvironment env;
        env.hostFactory = host;
        env.templateBytes = [] { return templateWorkbook(); };
        env.settingsFolder = dir.file(u"config"_s);
        env.workFolder = [this] {
            if (duringJob) {
                std::exchange(duringJob, nullptr)();
            }
            return work.path();
        };
        env.out = [this](const QString& text) { out += text; };
        env.err = [this](const QString& text) { err += text; };
        return cli::run(args, env);
    }
    QStringList files() const { return QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden); }
    QString file(const QString& name) const { return dir.file(name); }

    sheet::Workbook read(const QString& name) const {
        const QByteArray bytes = dir.read(name);
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
        return xls::readXls(xls::ByteView(data, static_cast<size_t>(bytes.size()))).workbook;
    }
};

std::string text(const sheet::Workbook& book, int row, int col) {
    const sheet::Cell* c = book.sheets.at(0).cell(row - 1, col - 1);
    return c && c->value.isText() ? c->value.text() : std::string();
}

} // namespace

TEST(CliRun, UsageErrorsExitWithTwo) {
    Cli cli;
    EXPECT_EQ(cli.run({}), cli::kExitUsage);
    EXPECT_TRUE(cli.err.contains(u"Usage: markwell-cli create"_s));
    EXPECT_TRUE(cli.out.isEmpty());
    EXPECT_EQ(cli.run({u"make"_s}), cli::kExitUsage);
    EXPECT_EQ(cli.run({u"create"_s, u"--colour"_s}), cli::kExitUsage);
    EXPECT_TRUE(cli.err.startsWith(u"markwell-cli: unknown option \"--colour\"."_s));
    const std::pair<QStringList, QString> faults[] = {
        {{u"create"_s, u"--out"_s}, u"--out needs a file name."_s},
        {{u"create"_s, u"--out="_s}, u"--out needs a file name."_s},
        {{u"create"_s, u"--out"_s, u"--force"_s},
         u"--out needs a file name, but \"--force\" follows it (to name a file that begins with a dash, write ./ "
         u"before it)."_s},
        {{u"create"_s, u"--out"_s, u"a.xls"_s, u"--out=b.xls"_s}, u"--out was given twice."_s},
        {{u"create"_s, u"--force=yes"_s}, u"--force takes no value."_s},
        {{u"create"_s, u"class.txt"_s},
         u"unexpected argument \"class.txt\": a file name follows its option, such as --setup or --out."_s},
        {{u"create"_s, u"--out"_s, u"-platform"_s, u"x.xls"_s},
         u"unexpected argument \"x.xls\": a file name follows its option, such as --setup or --out."_s},
    };
    for (const auto& [args, problem] : faults) {
        EXPECT_EQ(cli.run(args), cli::kExitUsage) << args.join(u' ').toStdString();
        EXPECT_TRUE(cli.err.startsWith(u"markwell-cli: "_s + problem + u"\n\nUsage:"_s)) << cli.err.toStdString();
    }
    EXPECT_TRUE(cli.files().isEmpty());
}

TEST(CliRun, HelpAndVersionGoToStandardOutput) {
    Cli cli;
    for (const QStringList& args : {QStringList{u"--help"_s}, QStringList{u"-h"_s},
                                    QStringList{u"create"_s, u"--out"_s, u"x.xls"_s, u"--help"_s}}) {
        EXPECT_EQ(cli.run(args), cli::kExitSuccess);
        EXPECT_EQ(cli.out, cli::usageText());
        EXPECT_TRUE(cli.err.isEmpty());
    }
    EXPECT_EQ(cli.run({u"--version"_s}), cli::kExitSuccess);
    EXPECT_TRUE(cli.out.startsWith(u"markwell-cli (Markwell Software) 1."_s)) << cli.out.toStdString();
    // Every exit status is explained.
    for (const char16_t* status : {u"0 ", u"1 ", u"2 "}) {
        EXPECT_TRUE(cli::usageText().contains(QString::fromUtf16(status))) << QString::fromUtf16(status).toStdString();
    }
}

TEST(CliRun, SetupFileMakesTheWorkbookAndThePicture) {
    Cli cli;
    cli.dir.write(u"class.txt"_s, "txtName=Lincoln High\ntxtTeachName=Ms. Rivera\nTests=Quiz^20|Final^80\n"
                                  "Students=Ann Lee^00123^18^70|Bo Chan^E16-28^10^\n");
    const int code = cli.run({u"create"_s, u"--setup"_s, cli.file(u"class.txt"_s), u"--out"_s, cli.file(u"class.xls"_s),
                              u"--picture"_s, cli.file(u"class.png"_s), u"--timings"_s});
    ASSERT_EQ(code, cli::kExitSuccess) << cli.err.toStdString();
    const sheet::Workbook book = cli.read(u"class.xls"_s);
    EXPECT_EQ(text(book, 5, 2), "Lincoln High");
    EXPECT_EQ(text(book, 6, 8), "Final");
    EXPECT_EQ(text(book, 13, 3), "00123"); // IDs with leading zeros stay text
    EXPECT_EQ(book.sheets[0].cell(12, 6)->value.number(), 18.0);
    // Average of Ann Lee: (18 + 70) / 100.
    EXPECT_DOUBLE_EQ(book.sheets[0].cell(12, 3)->value.number(), 0.88);
    EXPECT_FALSE(QImage(cli.file(u"class.png"_s)).isNull());
    // One JSON object with every phase.
    const QString json = cli.err.trimmed().split(u'\n').last();
    const QJsonObject timings = QJsonDocument::fromJson(json.toUtf8()).object();
    for (const char16_t* key : {u"template", u"fill", u"save", u"reopen", u"picture", u"total"}) {
        EXPECT_TRUE(timings.value(QString::fromUtf16(key)).isDouble()) << json.toStdString();
    }
    // The work folder is left as it was found.
    EXPECT_TRUE(QDir(cli.work.path()).isEmpty()) << QDir(cli.work.path()).entryList().join(u", "_s).toStdString();
}

TEST(CliRun, ExistingWorkbookNeedsForce) {
    Cli cli;
    cli.dir.write(u"class.txt"_s, "Tests=Quiz^20\n");
    cli.dir.write(u"class.xls"_s, "precious");
    const QStringList args{u"create"_s, u"--setup"_s, cli.file(u"class.txt"_s), u"--out"_s, cli.file(u"class.xls"_s)};
    EXPECT_EQ(cli.run(args), cli::kExitFailure);
    EXPECT_TRUE(cli.err.contains(u"--force"_s));
    EXPECT_EQ(cli.dir.read(u"class.xls"_s), QByteArray("precious"));
    EXPECT_EQ(cli.run(args + QStringList{u"--force"_s}), cli::kExitSuccess) << cli.err.toStdString();
    EXPECT_EQ(text(cli.read(u"class.xls"_s), 6, 7), "Quiz");
}

TEST(CliRun, SetupFileFaultsExitWithOne) {
    Cli cli;
    cli.dir.write(u"bad.txt"_s, "txtName=x\nTestz=A^1\n");
    EXPECT_EQ(cli.run({u"create"_s, u"--setup"_s, cli.file(u"bad.txt"_s)}), cli::kExitFailure);
    EXPECT_TRUE(cli.err.contains(u"line 2: unknown key \"Testz\""_s)) << cli.err.toStdString();
    EXPECT_EQ(cli.run({u"create"_s, u"--setup"_s, cli.file(u"missing.txt"_s)}), cli::kExitFailure);
    EXPECT_TRUE(cli.err.contains(u"missing.txt"_s));
    // A name that would set the terminal's title is shown escaped.
    EXPECT_EQ(cli.run({u"create"_s, u"--setup"_s, cli.file(u"x\x1b]0;owned\x07.txt"_s)}), cli::kExitFailure);
    EXPECT_TRUE(cli.err.contains(u"x\\x1B]0;owned\\x07.txt"_s)) << cli.err.toStdString();
    EXPECT_FALSE(cli.err.contains(u'\x1b'));
}

// Every failed step of the job makes the exit status 1, with or without a picture asked for, and
// the workbook made is still written.
TEST(CliRun, AnyFailedStepExitsWithOne) {
    class NoPrintAreaHost : public EmbeddedHost {
    public:
        void setPrintArea(int, int, const HostArea&) override { throw HostError(u"The print area was refused."_s); }
    };
    for (const bool picture : {false, true}) {
        Cli cli;
        cli.host = [] { return std::make_unique<NoPrintAreaHost>(); };
        cli.dir.write(u"class.txt"_s, "Tests=Quiz^20\n");
        QStringList args{u"create"_s, u"--setup"_s, cli.file(u"class.txt"_s), u"--out"_s, cli.file(u"r.xls"_s)};
        if (picture) {
            args << u"--picture"_s << cli.file(u"r.png"_s);
        }
        EXPECT_EQ(cli.run(args), cli::kExitFailure) << "picture " << picture;
        EXPECT_TRUE(cli.err.contains(u"The print area was refused."_s)) << cli.err.toStdString();
        EXPECT_EQ(text(cli.read(u"r.xls"_s), 6, 7), "Quiz");
    }
}

// The picture is drawn only when one is asked for: a picture file that cannot be made fails only
// a run that wants it.
TEST(CliRun, APictureNobodyAskedForIsNotMade) {
    for (const bool picture : {false, true}) {
        Cli cli;
        cli.dir.write(u"class.txt"_s, "Tests=Quiz^20\n");
        ASSERT_TRUE(QFile::link(cli.file(u"nowhere.bmp"_s), cli.work.file(u"temp.bmp"_s)));
        QStringList args{u"create"_s, u"--setup"_s, cli.file(u"class.txt"_s), u"--out"_s, cli.file(u"r.xls"_s)};
        if (picture) {
            args << u"--picture"_s << cli.file(u"r.png"_s);
        }
        EXPECT_EQ(cli.run(args), picture ? cli::kExitFailure : cli::kExitSuccess) << cli.err.toStdString();
        EXPECT_EQ(text(cli.read(u"r.xls"_s), 6, 7), "Quiz");
        EXPECT_FALSE(QFile::exists(cli.file(u"nowhere.bmp"_s)));
    }
}

TEST(CliRun, CsvRostersReplaceTheStoredLists) {
    Cli cli;
    cli.dir.write(u"tests.csv"_s, "\xEF\xBB\xBF"
                                  "Assignment or Test Name,Possible Points\r\n\"Quiz, oral\",10\r\nFinal,90\r\n");
    cli.dir.write(u"students.csv"_s, "Student Name,Student ID,\"Quiz, oral\",Final\n\"Lee, Ann\",S1,9,81\n");
    const int code = cli.run({u"create"_s, u"--tests-csv"_s, cli.file(u"tests.csv"_s), u"--students-csv"_s,
                              cli.file(u"students.csv"_s), u"--out"_s, cli.file(u"r.xls"_s)});
    ASSERT_EQ(code, cli::kExitSuccess) << cli.err.toStdString();
    const sheet::Workbook book = cli.read(u"r.xls"_s);
    EXPECT_EQ(text(book, 6, 7), "Quiz, oral");
    EXPECT_EQ(text(book, 13, 2), "Lee, Ann");
    EXPECT_DOUBLE_EQ(book.sheets[0].cell(12, 3)->value.number(), 0.9);

    cli.dir.write(u"broken.csv"_s, "Quiz,10\n\"Final,90\n");
    EXPECT_EQ(cli.run({u"create"_s, u"--tests-csv"_s, cli.file(u"broken.csv"_s)}), cli::kExitFailure);
    EXPECT_TRUE(cli.err.contains(u"line 2: a quoted field is not closed."_s)) << cli.err.toStdString();
}

TEST(CliRun, ValuesThatWillNotCountAreWarnedAboutAndStrictRefusesThem) {
    Cli cli;
    cli.dir.write(u"class.txt"_s, "Tests=Quiz^twenty|Final^80\nStudents=Ann^1^absent^90\n");
    const QString setup = cli.file(u"class.txt"_s);
    const QStringList args{u"create"_s, u"--setup"_s, setup};
    EXPECT_EQ(cli.run(args + QStringList{u"--out"_s, cli.file(u"a.xls"_s)}), cli::kExitSuccess)
        << cli.err.toStdString();
    const QString where = u"markwell-cli: warning: %1, line %2, row 1 of the %3 list, field "_s;
    EXPECT_EQ(cli.err, where.arg(setup, u"1"_s, u"tests"_s) +
                           u"2: \"twenty\" is not a number: it will not count in the total possible points.\n"_s +
                           where.arg(setup, u"2"_s, u"students"_s) +
                           u"3 (Quiz): \"absent\" is not a number: it will not count in the student's total.\n"_s +
                           where.arg(setup, u"2"_s, u"students"_s) +
                           u"4 (Final): \"90\" is more than the possible points (80).\n"_s);
    EXPECT_TRUE(cli.files().contains(u"a.xls"_s));

    EXPECT_EQ(cli.run(args + QStringList{u"--strict"_s, u"--out"_s, cli.file(u"b.xls"_s)}), cli::kExitFailure);
    EXPECT_TRUE(cli.err.startsWith(u"markwell-cli: error: %1, line 1"_s.arg(setup))) << cli.err.toStdString();
    EXPECT_TRUE(cli.err.endsWith(u"\nmarkwell-cli: --strict: 3 errors above, so no gradebook was made.\n"_s));
    EXPECT_FALSE(cli.files().contains(u"b.xls"_s));

    // A roster saved with semicolons: points placed by the header's names, decimal commas read.
    cli.dir.write(u"tests.csv"_s, "Test;Points\nQuiz;20\nFinal;80\n");
    cli.dir.write(u"students.csv"_s, "Name;ID;Final;Quiz;Bonus\nBo;2;38.5%;7,5;1\n");
    EXPECT_EQ(cli.run({u"create"_s, u"--setup"_s, setup, u"--tests-csv"_s, cli.file(u"tests.csv"_s),
                       u"--students-csv"_s, cli.file(u"students.csv"_s), u"--out"_s, cli.file(u"c.xls"_s)}),
              cli::kExitSuccess);
    const QString csv = cli.file(u"students.csv"_s);
    EXPECT_EQ(cli.err, u"markwell-cli: warning: %1, header row: the column \"Bonus\" names no test; its points are "
                       u"left out.\nmarkwell-cli: warning: %1, line 2, column 3 (Final): \"38.5%\" is not a number: "
                       u"it will not count in the student's total.\n"_s.arg(csv));
    EXPECT_EQ(cli.read(u"c.xls"_s).sheets[0].cell(12, 6)->value.number(), 7.5);
}

TEST(CliRun, WithoutSetupFileTheStoredSetupIsUsed) {
    Cli cli;
    {
        SettingsStore store(cli.file(u"config"_s));
        store.save(u"txtName"_s, u"Stored School"_s);
        store.save(u"Tests"_s, u"A^10|B^10"_s);
        store.save(u"Students"_s, u"Ann^1^5^5"_s);
    }
    ASSERT_EQ(cli.run({u"create"_s, u"--out"_s, cli.file(u"stored.xls"_s)}), cli::kExitSuccess)
        << cli.err.toStdString();
    const sheet::Workbook book = cli.read(u"stored.xls"_s);
    EXPECT_EQ(text(book, 5, 2), "Stored School");
    EXPECT_EQ(text(book, 6, 8), "B");
    EXPECT_DOUBLE_EQ(book.sheets[0].cell(12, 3)->value.number(), 0.5);
}

TEST(CliRun, OneFileForTwoRolesIsAUsageErrorAndNothingIsWritten) {
    Cli cli;
    cli.dir.write(u"class.txt"_s, "Tests=Quiz^20\n");
    ASSERT_TRUE(QDir(cli.dir.path()).mkdir(u"sub"_s));
    cli.dir.write(u"old.xls"_s, "old");
    ASSERT_TRUE(QFile::link(cli.file(u"old.xls"_s), cli.file(u"link.xls"_s)));
    const QString setup = cli.file(u"class.txt"_s);
    const std::pair<QString, QString> twins[] = {
        {cli.file(u"same.xls"_s), cli.file(u"same.xls"_s)},
        {cli.file(u"same.xls"_s), cli.dir.path() + u"/sub/../same.xls"_s},
        {cli.file(u"old.xls"_s), cli.file(u"link.xls"_s)},
    };
    for (const auto& [out, picture] : twins) {
        EXPECT_EQ(cli.run({u"create"_s, u"--setup"_s, setup, u"--out"_s, out, u"--picture"_s, picture, u"--force"_s}),
                  cli::kExitUsage);
        EXPECT_TRUE(cli.err.startsWith(u"markwell-cli: --out and --picture name the same file"_s))
            << cli.err.toStdString();
    }
    EXPECT_EQ(cli.run({u"create"_s, u"--setup"_s, setup, u"--out"_s, setup, u"--force"_s}), cli::kExitUsage);
    EXPECT_TRUE(cli.err.startsWith(u"markwell-cli: --out and --setup name the same file"_s)) << cli.err.toStdString();
    EXPECT_EQ(cli.run({u"create"_s, u"--out"_s, cli.file(u"config/Kestrelware/settings.ini"_s)}), cli::kExitUsage);
    EXPECT_TRUE(cli.err.startsWith(u"markwell-cli: --out and the settings file name the same file"_s));

    EXPECT_EQ(cli.files(), (QStringList{u"class.txt"_s, u"link.xls"_s, u"old.xls"_s}));
    EXPECT_EQ(cli.dir.read(u"old.xls"_s), QByteArray("old"));
    EXPECT_EQ(cli.dir.read(u"class.txt"_s), QByteArray("Tests=Quiz^20\n"));
    EXPECT_TRUE(QDir(cli.work.path()).isEmpty());
}

TEST(CliRun, TargetsThatAreNotFilesAreNeverReplaced) {
    Cli cli;
    cli.dir.write(u"class.txt"_s, "Tests=Quiz^20\n");
    const QString fifo = cli.file(u"fifo.xls"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(u"/dev/null"_s, cli.file(u"null.xls"_s)));
    const std::pair<QString, QString> refused[] = {
        {u"/dev/null"_s, u"it is a device, pipe or socket, not a file."_s},
        {fifo, u"it is a device, pipe or socket, not a file."_s},
        {cli.file(u"null.xls"_s), u"it is a symbolic link to a device, pipe or socket, not a file."_s},
        {cli.dir.path(), u"it is a folder, not a file."_s},
        {cli.dir.path() + u"/"_s, u"that names a folder, not a file."_s},
        {cli.file(u"missing/x.xls"_s), u"the folder \""_s + cli.file(u"missing"_s) + u"\" does not exist."_s},
        {cli.file(u"class.txt/x.xls"_s), u"\""_s + cli.file(u"class.txt"_s) + u"\" is not a folder."_s},
    };
    for (const auto& [target, why] : refused) {
        for (const bool force : {false, true}) {
            QStringList args{u"create"_s, u"--setup"_s, cli.file(u"class.txt"_s), u"--out"_s, target};
            if (force) {
                args << u"--force"_s;
            }
            EXPECT_EQ(cli.run(args), cli::kExitFailure) << target.toStdString();
            EXPECT_EQ(cli.err, u"markwell-cli: the workbook cannot be saved to \"%1\": %2\n"_s.arg(target, why));
            args[4] = cli.file(u"fine.xls"_s);
            EXPECT_EQ(cli.run(args + QStringList{u"--picture"_s, target}), cli::kExitFailure);
            EXPECT_EQ(cli.err, u"markwell-cli: the picture cannot be saved to \"%1\": %2\n"_s.arg(target, why));
        }
    }
    EXPECT_EQ(os::kindOf(u"/dev/null"_s), os::FileKind::Other);
    EXPECT_EQ(os::kindOf(fifo), os::FileKind::Other);
    EXPECT_EQ(cli.files(), (QStringList{u"class.txt"_s, u"fifo.xls"_s, u"null.xls"_s}));
    EXPECT_TRUE(QDir(cli.work.path()).isEmpty());
}

TEST(CliRun, AFileThatAppearsWhileTheJobRunsIsLeftAlone) {
    for (const bool picture : {false, true}) {
        Cli cli;
        cli.dir.write(u"class.txt"_s, "Tests=Quiz^20\n");
        const QString late = cli.file(u"late"_s);
        cli.duringJob = [&] { cli.dir.write(u"late"_s, "someone else's"); };
        const QStringList args{u"create"_s,
                               u"--setup"_s,
                               cli.file(u"class.txt"_s),
                               u"--out"_s,
                               picture ? cli.file(u"r.xls"_s) : late,
                               u"--picture"_s,
                               picture ? late : cli.file(u"r.png"_s)};
        ASSERT_EQ(cli.run(args), cli::kExitFailure) << args.join(u' ').toStdString();
        EXPECT_TRUE(cli.err.contains(u"\""_s + late +
                                     u"\": a file of that name appeared while the job ran and was "
                                     u"left as it is; use --force to replace it.\n"_s))
            << cli.err.toStdString();
        EXPECT_EQ(cli.dir.read(u"late"_s), QByteArray("someone else's"));
        EXPECT_TRUE(QDir(cli.work.path()).isEmpty());
    }
}

TEST(CliRun, ForceReplacesInOneStepKeepingPermissionsAndLinkTargets) {
    Cli cli;
    cli.dir.write(u"class.txt"_s, "Tests=Quiz^20\n");
    cli.dir.write(u"class.xls"_s, "old workbook");
    cli.dir.write(u"class.png"_s, "old picture");
    cli.dir.write(u"keep.png"_s, "linked picture");
    ASSERT_TRUE(QFile::setPermissions(cli.file(u"class.xls"_s), QFile::ReadOwner | QFile::WriteOwner));
    ASSERT_TRUE(QFile::link(cli.file(u"keep.png"_s), cli.file(u"link.png"_s)));
    const QStringList base{u"create"_s, u"--setup"_s, cli.file(u"class.txt"_s), u"--force"_s};
    ASSERT_EQ(
        cli.run(base + QStringList{u"--out"_s, cli.file(u"class.xls"_s), u"--picture"_s, cli.file(u"class.png"_s)}),
        cli::kExitSuccess)
        << cli.err.toStdString();
    EXPECT_EQ(text(cli.read(u"class.xls"_s), 6, 7), "Quiz");
    EXPECT_EQ(std::filesystem::status(cli.file(u"class.xls"_s).toStdString()).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_FALSE(QImage(cli.file(u"class.png"_s)).isNull());

    ASSERT_EQ(
        cli.run(base + QStringList{u"--out"_s, cli.file(u"other.xls"_s), u"--picture"_s, cli.file(u"link.png"_s)}),
        cli::kExitSuccess)
        << cli.err.toStdString();
    EXPECT_EQ(os::kindOf(cli.file(u"link.png"_s)), os::FileKind::Regular);
    EXPECT_FALSE(QImage(cli.file(u"link.png"_s)).isNull());
    EXPECT_EQ(cli.dir.read(u"keep.png"_s), QByteArray("linked picture"));
    // No temporary file is left beside the targets.
    EXPECT_EQ(cli.files(), (QStringList{u"class.png"_s, u"class.txt"_s, u"class.xls"_s, u"keep.png"_s, u"link.png"_s,
                                        u"other.xls"_s}));
}

TEST(CliRun, WriteFailuresGiveTheSystemsReason) {
    Cli cli;
    cli.dir.write(u"class.txt"_s, "Tests=Quiz^20\n");
    ASSERT_TRUE(QDir(cli.dir.path()).mkdir(u"gone"_s));
    cli.duringJob = [&] { QDir(cli.file(u"gone"_s)).removeRecursively(); };
    EXPECT_EQ(cli.run({u"create"_s, u"--setup"_s, cli.file(u"class.txt"_s), u"--out"_s, cli.file(u"gone/r.xls"_s)}),
              cli::kExitFailure);
    EXPECT_EQ(cli.err, u"markwell-cli: the workbook could not be saved to \"%1\": No such file or directory.\n"_s.arg(
                           cli.file(u"gone/r.xls"_s)));

    ASSERT_TRUE(QDir(cli.dir.path()).mkdir(u"gone"_s));
    cli.dir.write(u"gone/p.png"_s, "old picture");
    cli.duringJob = [&] { QDir(cli.file(u"gone"_s)).removeRecursively(); };
    EXPECT_EQ(cli.run({u"create"_s, u"--setup"_s, cli.file(u"class.txt"_s), u"--out"_s, cli.file(u"r.xls"_s),
                       u"--picture"_s, cli.file(u"gone/p.png"_s), u"--force"_s}),
              cli::kExitFailure);
    EXPECT_EQ(cli.err, u"markwell-cli: the picture could not be saved to \"%1\": No such file or directory.\n"_s.arg(
                           cli.file(u"gone/p.png"_s)));
    EXPECT_EQ(text(cli.read(u"r.xls"_s), 6, 7), "Quiz") << "the workbook was saved before";
}

TEST(CliRun, InputsAreReadOnlyUpToALimit) {
    Cli cli;
    const QString zero = u"/dev/zero"_s;
    for (const QString& option : {u"--setup"_s, u"--tests-csv"_s, u"--students-csv"_s}) {
        EXPECT_EQ(cli.run({u"create"_s, option, zero, u"--out"_s, cli.file(u"r.xls"_s)}), cli::kExitFailure);
        EXPECT_EQ(cli.err, u"markwell-cli: \"/dev/zero\" cannot be read: it is larger than %1 bytes.\n"_s.arg(
                               cli::kMaxInputBytes));
    }
    EXPECT_EQ(cli.run({u"create"_s, u"--setup"_s, cli.dir.path()}), cli::kExitFailure);
    EXPECT_TRUE(cli.err.endsWith(u"cannot be read: Is a directory.\n"_s)) << cli.err.toStdString();
    EXPECT_TRUE(cli.files().isEmpty());
}

TEST(CliRun, SetupFileWithCarriageReturnsOnly) {
    Cli cli;
    cli.dir.write(u"class.txt"_s, "txtName=Lincoln High\rTests=Quiz^20|Final^80\rStudents=Ann Lee^00123^18^70\r");
    ASSERT_EQ(cli.run({u"create"_s, u"--setup"_s, cli.file(u"class.txt"_s), u"--out"_s, cli.file(u"r.xls"_s)}),
              cli::kExitSuccess)
        << cli.err.toStdString();
    const sheet::Workbook book = cli.read(u"r.xls"_s);
    EXPECT_EQ(text(book, 5, 2), "Lincoln High");
    EXPECT_EQ(text(book, 6, 8), "Final");
    EXPECT_EQ(text(book, 13, 2), "Ann Lee");
}

TEST(CliRun, MoreStudentsThanAListHoldsFailWithoutWriting) {
    Cli cli;
    QByteArray students = "Students=Ann^1";
    for (qsizetype i = 0; i < kMaxListRows; ++i) {
        students += "|Ann^1";
    }
    cli.dir.write(u"class.txt"_s, "Tests=Quiz^20\n" + students + "\n");
    EXPECT_EQ(cli.run({u"create"_s, u"--setup"_s, cli.file(u"class.txt"_s), u"--out"_s, cli.file(u"r.xls"_s)}),
              cli::kExitFailure);
    EXPECT_EQ(cli.err, u"markwell-cli: %1, line 2: the students list has more than 32767 rows, but a list holds at "
                       u"most 32767.\n"_s.arg(cli.file(u"class.txt"_s)));
    EXPECT_EQ(cli.files(), QStringList{u"class.txt"_s});
}

TEST(CliRun, AStoredSetupThatCannotBeReadWholeFails) {
    Cli cli;
    const QString folder = cli.file(u"config/Kestrelware"_s);
    const QString store = folder + u"/settings.ini"_s;
    ASSERT_TRUE(QDir().mkpath(folder));
    const QStringList args{u"create"_s, u"--out"_s, cli.file(u"r.xls"_s)};

    QFile damaged(store);
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write("[Markwell Software]\ntxtName=Stored School\nTests=A^10\nStudents\\q=x\n");
    damaged.close();
    EXPECT_EQ(cli.run(args), cli::kExitFailure);
    EXPECT_TRUE(cli.err.startsWith(u"markwell-cli: the stored setup could not be read whole, so no gradebook was "
                                   u"made:\n  The settings file \""_s +
                                   store + u"\", line 4:"_s))
        << cli.err.toStdString();
    EXPECT_TRUE(cli.err.endsWith(u"give the setup with --setup.\n"_s));
    ASSERT_TRUE(QFile::remove(store));

    // A store that would never end, or never open, is not waited for.
    ASSERT_TRUE(QFile::link(u"/dev/zero"_s, store));
    EXPECT_EQ(cli.run(args), cli::kExitFailure);
    EXPECT_EQ(cli.err, u"markwell-cli: the settings file \"%1\" could not be read: it is a device, pipe or socket, "
                       u"not a file. No gradebook was made; give the setup with --setup, or replace that entry with "
                       u"a file.\n"_s.arg(store));
    ASSERT_TRUE(QFile::remove(store));
    ASSERT_EQ(::mkfifo(QFile::encodeName(store).constData(), 0600), 0);
    EXPECT_EQ(cli.run(args), cli::kExitFailure);
    EXPECT_TRUE(cli.err.contains(u"it is a device, pipe or socket, not a file."_s));
    ASSERT_TRUE(QFile::remove(store));

    ASSERT_TRUE(QDir().mkpath(store));
    EXPECT_EQ(cli.run(args), cli::kExitFailure);
    EXPECT_TRUE(cli.err.contains(u"could not be read (Is a directory)"_s)) << cli.err.toStdString();

    // A stored list that would lose fields on the way fails as well.
    ASSERT_TRUE(QDir(store).removeRecursively());
    {
        SettingsStore settings(cli.file(u"config"_s));
        settings.save(u"Tests"_s, u"A^10"_s);
        settings.save(u"Students"_s, u"Ann^1^5^6"_s);
    }
    EXPECT_EQ(cli.run(args), cli::kExitFailure);
    EXPECT_TRUE(cli.err.contains(u"key Students: row 1 of the students list (\"Ann\") has 2 points fields, but the "
                                 u"tests list has 1 test."_s))
        << cli.err.toStdString();
    EXPECT_FALSE(QFile::exists(cli.file(u"r.xls"_s)));
}

TEST(CliRun, FileNamesAreUsedOnceAndByteForByte) {
    Cli cli;
    // "%1" and "%2" in a name stay as they are in every message.
    const QString odd = cli.file(u"100%2 sure %1.txt"_s);
    EXPECT_EQ(cli.run({u"create"_s, u"--setup"_s, odd}), cli::kExitFailure);
    EXPECT_EQ(cli.err, u"markwell-cli: \"%1\" cannot be read: No such file or directory.\n"_s.arg(odd));
    QFile bad(odd);
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("Tests=A^1\nColour=red\n");
    bad.close();
    EXPECT_EQ(cli.run({u"create"_s, u"--setup"_s, odd}), cli::kExitFailure);
    EXPECT_TRUE(cli.err.startsWith(u"markwell-cli: "_s + odd + u", line 2: unknown key \"Colour\""_s))
        << cli.err.toStdString();

    // Names that are not UTF-8 reach the file system as the bytes they were given as.
    const QByteArray folder = QFile::encodeName(cli.dir.path());
    const QByteArray setupName = folder + "/caf\xe9.txt";
    const QByteArray outName = folder + "/r\xff\xfe.xls";
    const std::filesystem::path setupPath(setupName.toStdString());
    {
        std::FILE* f = std::fopen(setupName.constData(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("txtName=Caf\xc3\xa9\nTests=Quiz^20\n", f);
        std::fclose(f);
    }
    const char* argv[] = {"markwell-cli", "create", "--setup", setupName.constData(), "--out", outName.constData()};
    const QStringList args = cli::decodeArguments(6, argv);
    ASSERT_EQ(cli.run(args), cli::kExitSuccess) << cli.err.toStdString();
    const std::filesystem::path outPath(outName.toStdString());
    EXPECT_TRUE(std::filesystem::is_regular_file(outPath));
    EXPECT_EQ(os::encodeFileName(args[4]), outName);
    const auto entries =
        std::distance(std::filesystem::directory_iterator(folder.toStdString()), std::filesystem::directory_iterator());
    EXPECT_EQ(entries, 3) << "no file with a replacement character beside them";
    // The temporary folder cannot remove names it cannot spell.
    std::filesystem::remove(outPath);
    std::filesystem::remove(setupPath);
}
