// markwell-cli end to end on the embedded engine: exit codes, setup files, rosters, --force,
// --picture and --timings, and the work folder left clean.

#include "cli/CliRun.h"
#include "app/SettingsStore.h"
#include "gradebook/TemplateBytes.h"
#include "workbook/xls/XlsReader.h"

#include "TempDir.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

namespace {

struct Cli {
    test::TempDir dir;
    test::TempDir work;
    QString err;

    int run(QStringList args) {
        err.clear();
        cli::CliEnvironment env;
        env.hostFactory = defaultHostFactory();
        env.templateBytes = [] { return templateWorkbook(); };
        env.settingsFolder = dir.file(u"config"_s);
        env.workFolder = [this] { return work.path(); };
        env.err = [this](const QString& text) { err += text; };
        return cli::run(args, env);
    }
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
    EXPECT_EQ(cli.run({u"make"_s}), cli::kExitUsage);
    EXPECT_EQ(cli.run({u"create"_s, u"--colour"_s}), cli::kExitUsage);
    EXPECT_TRUE(cli.err.contains(u"unknown option \"--colour\""_s));
    EXPECT_EQ(cli.run({u"create"_s, u"--out"_s}), cli::kExitUsage);
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
