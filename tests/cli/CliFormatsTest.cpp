// markwell-cli writing the gradebook as .xlsx (by --out's name) and as PDF (--pdf).

#include "cli/CliRun.h"
#include "cli/OutputFormats.h"
#include "gradebook/TemplateBytes.h"

#include "TempDir.h"

#include <QDir>

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
        dir.write(u"class.txt"_s, "txtName=Lincoln High\nTests=Quiz^20|Final^80\nStudents=Ann Lee^00123^18^70\n");
        return cli::run(QStringList{u"create"_s, u"--setup"_s, dir.file(u"class.txt"_s)} + args, env);
    }
    QString file(const QString& name) const { return dir.file(name); }
    QByteArray start(const QString& name) const { return dir.read(name).left(4); }
};

const QByteArray kCompoundFile("\xD0\xCF\x11\xE0", 4);

} // namespace

TEST(CliFormats, OutNamesTheFormatAndPdfAddsThePrintout) {
    Cli cli;
    ASSERT_EQ(cli.run({u"--out"_s, cli.file(u"class.XLSX"_s), u"--pdf"_s, cli.file(u"class.pdf"_s)}), cli::kExitSuccess)
        << cli.err.toStdString();
    EXPECT_EQ(cli.start(u"class.XLSX"_s), QByteArray("PK\x03\x04"));
    EXPECT_EQ(cli.start(u"class.pdf"_s), QByteArray("%PDF"));
    EXPECT_TRUE(cli.err.isEmpty()) << cli.err.toStdString();

    // Any other name is the workbook as made, .pdf included.
    ASSERT_EQ(cli.run({u"--out"_s, cli.file(u"book.pdf"_s)}), cli::kExitSuccess) << cli.err.toStdString();
    EXPECT_EQ(cli.start(u"book.pdf"_s), kCompoundFile);
    ASSERT_EQ(cli.run({u"--out"_s, cli.file(u"book"_s)}), cli::kExitSuccess);
    EXPECT_EQ(cli.start(u"book"_s), kCompoundFile);

    // Nothing is left in the work folder, not even libxlsxwriter's scratch folder.
    EXPECT_TRUE(QDir(cli.work.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
}

TEST(CliFormats, AnExistingPdfIsKeptWithoutForceAndOneFileTakesOneResult) {
    Cli cli;
    cli.dir.write(u"old.pdf"_s, "the printout of last week");
    EXPECT_EQ(cli.run({u"--out"_s, cli.file(u"new.xls"_s), u"--pdf"_s, cli.file(u"old.pdf"_s)}), cli::kExitFailure);
    EXPECT_TRUE(cli.err.contains(u"use --force"_s)) << cli.err.toStdString();
    EXPECT_EQ(cli.dir.read(u"old.pdf"_s), QByteArray("the printout of last week"));
    EXPECT_FALSE(QFile::exists(cli.file(u"new.xls"_s))); // refused before any work

    ASSERT_EQ(cli.run({u"--out"_s, cli.file(u"new.xls"_s), u"--pdf"_s, cli.file(u"old.pdf"_s), u"--force"_s}),
              cli::kExitSuccess);
    EXPECT_EQ(cli.start(u"old.pdf"_s), QByteArray("%PDF"));

    EXPECT_EQ(cli.run({u"--out"_s, cli.file(u"same"_s), u"--pdf"_s, cli.file(u"./same"_s)}), cli::kExitUsage);
    EXPECT_TRUE(cli.err.contains(u"--out and --pdf name the same file"_s)) << cli.err.toStdString();
    EXPECT_FALSE(QFile::exists(cli.file(u"same"_s)));

    // A PDF that cannot be written is refused with the reason before anything is made.
    EXPECT_EQ(cli.run({u"--out"_s, cli.file(u"kept.xlsx"_s), u"--pdf"_s, cli.file(u"no/folder/x.pdf"_s)}),
              cli::kExitFailure);
    EXPECT_TRUE(cli.err.contains(cli.file(u"no/folder/x.pdf"_s))) << cli.err.toStdString();
    EXPECT_FALSE(QFile::exists(cli.file(u"kept.xlsx"_s)));
}

TEST(CliFormats, OutputFormatByName) {
    EXPECT_EQ(cli::outputFormat(u"a.xlsx"_s), exporting::SaveFormat::Xlsx);
    EXPECT_EQ(cli::outputFormat(u"A.XlSx"_s), exporting::SaveFormat::Xlsx);
    EXPECT_EQ(cli::outputFormat(u"a.xls"_s), exporting::SaveFormat::Xls);
    EXPECT_EQ(cli::outputFormat(u"a.pdf"_s), exporting::SaveFormat::Xls);
    EXPECT_EQ(cli::outputFormat(u"a.xlsx.bak"_s), exporting::SaveFormat::Xls);
    EXPECT_EQ(cli::outputFormat(u"x.xlsx/gradebook"_s), exporting::SaveFormat::Xls);
}

// --reports and --pdf-fit-width follow the rules of --pdf: an existing file only with --force, one
// file for one result, a folder refused, each before any work.
TEST(CliFormats, ThePrintoutsFollowTheTargetRulesOfPdf) {
    for (const QString& option : {u"--reports"_s, u"--pdf-fit-width"_s}) {
        SCOPED_TRACE(option.toStdString());
        Cli cli;
        cli.dir.write(u"old.pdf"_s, "last term");
        ASSERT_TRUE(QDir(cli.dir.path()).mkdir(u"folder.pdf"_s));
        EXPECT_EQ(cli.run({u"--out"_s, cli.file(u"a.xls"_s), option, cli.file(u"old.pdf"_s)}), cli::kExitFailure);
        EXPECT_TRUE(cli.err.contains(u"use --force"_s)) << cli.err.toStdString();
        EXPECT_EQ(cli.dir.read(u"old.pdf"_s), QByteArray("last term"));
        EXPECT_EQ(cli.run({u"--out"_s, cli.file(u"a.xls"_s), option, cli.file(u"folder.pdf"_s), u"--force"_s}),
                  cli::kExitFailure);
        EXPECT_TRUE(cli.err.contains(cli.file(u"folder.pdf"_s))) << cli.err.toStdString();
        EXPECT_EQ(cli.run({u"--pdf"_s, cli.file(u"p.pdf"_s), option, cli.file(u"./p.pdf"_s)}), cli::kExitUsage);
        EXPECT_TRUE(cli.err.contains(u"--pdf and %1 name the same file"_s.arg(option))) << cli.err.toStdString();
        EXPECT_FALSE(QFile::exists(cli.file(u"a.xls"_s)));

        ASSERT_EQ(cli.run({u"--out"_s, cli.file(u"a.xls"_s), option, cli.file(u"old.pdf"_s), u"--force"_s}),
                  cli::kExitSuccess)
            << cli.err.toStdString();
        EXPECT_EQ(cli.start(u"old.pdf"_s), QByteArray("%PDF"));
    }
}
