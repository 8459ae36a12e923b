// What keeps jobs that share a work folder apart: the work folder and the record of work files
// that an interrupted process deletes.

#include "gradebook/WorkFiles.h"

#include "TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::Literals::StringLiterals;
using namespace markwell;
using markwell::test::TempDir;

TEST(WorkFiles, AnInterruptionDeletesTheRecordedFilesAndNothingElse) {
    TempDir dir;
    TempDir outside;
    outside.write(u"target"_s, "keep");
    dir.write(u"qvtemp12345678.xls"_s, "names and grades");
    dir.write(u"template.xlt"_s, "template");
    dir.write(u"unrelated.txt"_s, "not a work file");
    ASSERT_TRUE(QFile::link(outside.file(u"target"_s), dir.file(u"temp.bmp"_s)));
    work_files::record(dir.file(u"qvtemp12345678.xls"_s));
    work_files::record(dir.file(u"template.xlt"_s));
    work_files::record(dir.file(u"template.xlt"_s));
    work_files::record(dir.file(u"temp.bmp"_s)); // has become a link since: left alone
    work_files::record(dir.file(u"gone.bmp"_s));
    EXPECT_EQ(work_files::recorded().count(dir.file(u"template.xlt"_s)), 1);
    work_files::forget(dir.file(u"gone.bmp"_s));
    EXPECT_FALSE(work_files::recorded().contains(dir.file(u"gone.bmp"_s)));

    work_files::deleteAll(false);
    EXPECT_TRUE(work_files::recorded().isEmpty());
    EXPECT_FALSE(QFile::exists(dir.file(u"qvtemp12345678.xls"_s)));
    EXPECT_FALSE(QFile::exists(dir.file(u"template.xlt"_s)));
    EXPECT_TRUE(QFileInfo(dir.file(u"temp.bmp"_s)).isSymLink());
    EXPECT_EQ(outside.read(u"target"_s), QByteArray("keep"));
    EXPECT_EQ(dir.read(u"unrelated.txt"_s), QByteArray("not a work file"));
}

// A job that holds the folder's lock clears what killed jobs left, and only that.
TEST(WorkFiles, TakingTheFolderClearsTheLeftOversOfJobsThatAreGone) {
    TempDir dir;
    TempDir outside;
    outside.write(u"target"_s, "keep");
    dir.write(u"temp.bmp"_s, QByteArray(64, 'p'));
    dir.write(u"qvtemp11111111.xls"_s, "a killed job's result");
    dir.write(u"qvtemp22222222.xls"_s, "a live preview's result");
    dir.write(u"qvtemp1.xls"_s, "the teacher's");
    dir.write(u"notes.txt"_s, "the teacher's");
    ASSERT_TRUE(QFile::link(outside.file(u"target"_s), dir.file(u"qvtemp33333333.xls"_s)));
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"qvtemp44444444.xls"_s));
    work_files::holdWhileThere(dir.file(u"qvtemp22222222.xls"_s));

    JobFolder job;
    QString problem;
    ASSERT_TRUE(job.take([&] { return dir.path(); }, 0, {}, &problem)) << problem.toStdString();
    for (const char* gone : {"temp.bmp", "qvtemp11111111.xls"}) {
        EXPECT_FALSE(QFileInfo::exists(dir.file(QString::fromLatin1(gone)))) << gone;
    }
    for (const char* kept : {"qvtemp22222222.xls", "qvtemp1.xls", "notes.txt", "qvtemp44444444.xls"}) {
        EXPECT_TRUE(QFileInfo::exists(dir.file(QString::fromLatin1(kept)))) << kept;
    }
    EXPECT_TRUE(QFileInfo(dir.file(u"qvtemp33333333.xls"_s)).isSymLink());
    EXPECT_EQ(outside.read(u"target"_s), QByteArray("keep"));
    work_files::deleteAll(false);
}

// The lock is the program's own file: a file of the user's at its name is named in the message and
// kept; while another job holds the lock, the notice says how long this one waits.
TEST(WorkFiles, TheLockFileIsTheProgramsOwnAndTheWaitIsBounded) {
    TempDir dir;
    dir.write(u"markwell.lock"_s, "my own notes");
    JobFolder job;
    QString problem;
    EXPECT_FALSE(job.take([&] { return dir.path(); }, 0, {}, &problem));
    EXPECT_TRUE(problem.contains(dir.file(u"markwell.lock"_s))) << problem.toStdString();
    EXPECT_TRUE(problem.contains(u"remove or rename"_s)) << problem.toStdString();
    EXPECT_EQ(dir.read(u"markwell.lock"_s), QByteArray("my own notes"));

    ASSERT_TRUE(QFile::remove(dir.file(u"markwell.lock"_s)));
    os::Result<os::FileLock> other = os::FileLock::tryTake(dir.file(u"markwell.lock"_s));
    ASSERT_TRUE(other && other->held());
    QStringList notices;
    JobFolder waiting;
    EXPECT_FALSE(waiting.take([&] { return dir.path(); }, 1000, [&](const QString& t) { notices << t; }, &problem));
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices[0].contains(u"at most 1 second"_s)) << notices[0].toStdString();
}
