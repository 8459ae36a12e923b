// Where markwell-cli puts its results: the checks before the job and the final write in one step.

#include "cli/OutputTarget.h"
#include "gradebook/WorkFiles.h"

#include "TempDir.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <csignal>

#include <sys/resource.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;
using markwell::test::TempDir;

TEST(OutputTarget, ExclusiveWithoutForce) {
    TempDir dir;
    EXPECT_EQ(cli::checkTarget(dir.file(u"new.xls"_s), false), std::nullopt);
    EXPECT_EQ(cli::writeTarget(dir.file(u"new.xls"_s), "first", false), std::nullopt);
    EXPECT_EQ(cli::checkTarget(dir.file(u"new.xls"_s), false), u"the file exists; use --force to replace it"_s);
    EXPECT_TRUE(cli::writeTarget(dir.file(u"new.xls"_s), "second", false)
                    .value_or(QString())
                    .startsWith(u"a file of that name appeared while the job ran"_s));
    EXPECT_EQ(dir.read(u"new.xls"_s), QByteArray("first"));
    EXPECT_EQ(cli::writeTarget(dir.file(u"new.xls"_s), "second", true), std::nullopt);
    EXPECT_EQ(dir.read(u"new.xls"_s), QByteArray("second"));

    // A link that appeared is not followed: its target is not created.
    ASSERT_TRUE(QFile::link(dir.file(u"elsewhere.xls"_s), dir.file(u"link.xls"_s)));
    EXPECT_TRUE(cli::writeTarget(dir.file(u"link.xls"_s), "third", false).has_value());
    EXPECT_FALSE(QFile::exists(dir.file(u"elsewhere.xls"_s)));

    // A relative name is made in the current folder, its temporary file too.
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const auto relative = cli::writeTarget(u"relative.xls"_s, "fourth", false);
    QDir::setCurrent(before);
    EXPECT_EQ(relative, std::nullopt);
    EXPECT_EQ(dir.read(u"relative.xls"_s), QByteArray("fourth"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              (QStringList{u"link.xls"_s, u"new.xls"_s, u"relative.xls"_s}));
}

TEST(OutputTarget, AFailedReplaceKeepsTheOldFileAndGivesTheSystemsReason) {
    TempDir dir;
    dir.write(u"p.png"_s, "old picture");
    // A file size limit makes every write past it fail, as a full disk would.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto replaced = cli::writeTarget(dir.file(u"p.png"_s), QByteArray(5000, 'x'), true);
    const auto created = cli::writeTarget(dir.file(u"q.png"_s), QByteArray(5000, 'x'), false);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(replaced, u"File too large"_s);
    EXPECT_EQ(created, u"File too large"_s);
    EXPECT_EQ(dir.read(u"p.png"_s), QByteArray("old picture"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{u"p.png"_s});
}

// Several results appear together: staged ones are work files an interruption deletes, and until
// the commit every old target stays as it was.
TEST(OutputTarget, StagedResultsAppearTogetherOrNotAtAll) {
    for (const bool committed : {false, true}) {
        TempDir dir;
        dir.write(u"r.xls"_s, "old workbook");
        dir.write(u"r.pdf"_s, "old printout");
        {
            cli::StagedOutputs outputs;
            EXPECT_EQ(outputs.stage(dir.file(u"r.xls"_s), "new workbook", true), std::nullopt);
            EXPECT_EQ(outputs.stage(dir.file(u"r.pdf"_s), "new printout", true), std::nullopt);
            EXPECT_EQ(outputs.stage(dir.file(u"r.png"_s), "new picture", false), std::nullopt);
            EXPECT_EQ(work_files::recorded().size(), 3);
            EXPECT_EQ(dir.read(u"r.xls"_s), QByteArray("old workbook"));
            EXPECT_FALSE(QFile::exists(dir.file(u"r.png"_s)));
            if (committed) {
                EXPECT_TRUE(outputs.commit().isEmpty());
            }
        }
        EXPECT_TRUE(work_files::recorded().isEmpty());
        EXPECT_EQ(dir.read(u"r.xls"_s), committed ? QByteArray("new workbook") : QByteArray("old workbook"));
        EXPECT_EQ(dir.read(u"r.pdf"_s), committed ? QByteArray("new printout") : QByteArray("old printout"));
        EXPECT_EQ(QFile::exists(dir.file(u"r.png"_s)), committed);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), committed ? 3 : 2);
    }
}
