// What keeps jobs that share a work folder apart: the job lock, the private work folder, and
// the record of work files that an interrupted process deletes.

#include "gradebook/WorkFiles.h"

#include "common/Platform.h"

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
using Outcome = os::JobLock::Outcome;

TEST(JobLock, OneHolderAtATimeAndTheFileGoesWithTheLock) {
    TempDir dir;
    const QString path = dir.file(u"markwell.lock"_s);
    Outcome outcome{};
    QString why;
    os::JobLock first = os::JobLock::tryAcquire(path, &outcome, &why);
    ASSERT_EQ(outcome, Outcome::Held) << why.toStdString();
    EXPECT_TRUE(first.held());
    EXPECT_TRUE(QFileInfo(path).isFile());

    const os::JobLock second = os::JobLock::tryAcquire(path, &outcome, &why);
    EXPECT_EQ(outcome, Outcome::Busy);
    EXPECT_FALSE(second.held());

    first.release();
    EXPECT_FALSE(QFile::exists(path));
    os::JobLock third = os::JobLock::tryAcquire(path, &outcome, &why);
    EXPECT_EQ(outcome, Outcome::Held);

    // A lock file left by a holder that ended without releasing is taken over.
    third = os::JobLock();
    TempDir other;
    other.write(u"markwell.lock"_s, "");
    const os::JobLock taken = os::JobLock::tryAcquire(other.file(u"markwell.lock"_s), &outcome, &why);
    EXPECT_EQ(outcome, Outcome::Held);
}

TEST(JobLock, ReleasingNeverDeletesAFileThatTookTheNameSince) {
    TempDir dir;
    const QString path = dir.file(u"markwell.lock"_s);
    Outcome outcome{};
    QString why;
    os::JobLock lock = os::JobLock::tryAcquire(path, &outcome, &why);
    ASSERT_EQ(outcome, Outcome::Held);
    ASSERT_TRUE(QFile::remove(path));
    dir.write(u"markwell.lock"_s, "a new one");
    lock.release();
    EXPECT_EQ(dir.read(u"markwell.lock"_s), QByteArray("a new one"));
}

TEST(JobLock, LinksFoldersAndOtherUsersFilesAreRefused) {
    TempDir dir;
    TempDir outside;
    Outcome outcome{};
    QString why;
    ASSERT_TRUE(QFile::link(outside.file(u"target"_s), dir.file(u"link.lock"_s)));
    const os::JobLock viaLink = os::JobLock::tryAcquire(dir.file(u"link.lock"_s), &outcome, &why);
    EXPECT_EQ(outcome, Outcome::Failed);
    EXPECT_EQ(why, u"it is a symbolic link"_s);
    EXPECT_FALSE(QFile::exists(outside.file(u"target"_s)));

    ASSERT_TRUE(QDir(dir.path()).mkdir(u"folder.lock"_s));
    const os::JobLock folder = os::JobLock::tryAcquire(dir.file(u"folder.lock"_s), &outcome, &why);
    EXPECT_EQ(outcome, Outcome::Failed);
    EXPECT_FALSE(why.isEmpty());

    const os::JobLock nowhere = os::JobLock::tryAcquire(dir.file(u"missing/markwell.lock"_s), &outcome, &why);
    EXPECT_EQ(outcome, Outcome::Failed);
    EXPECT_EQ(why, u"No such file or directory"_s);

#ifdef Q_OS_UNIX
    dir.write(u"foreign.lock"_s, "");
    if (::chown(QFile::encodeName(dir.file(u"foreign.lock"_s)).constData(), 4242, 4242) == 0) {
        const os::JobLock foreign = os::JobLock::tryAcquire(dir.file(u"foreign.lock"_s), &outcome, &why);
        EXPECT_EQ(outcome, Outcome::Failed);
        EXPECT_EQ(why, u"it belongs to another user"_s);
        EXPECT_FALSE(os::ownedByCurrentUser(dir.file(u"foreign.lock"_s)));
    }
#endif
    EXPECT_TRUE(os::ownedByCurrentUser(dir.path()));
    EXPECT_FALSE(os::ownedByCurrentUser(dir.file(u"missing"_s)));
}

TEST(PrivateFolder, MadeOwnerOnlyAndOnlyAsARealFolderOfOurOwn) {
    TempDir dir;
    QString why;
    const QString folder = dir.file(u"markwell-x"_s);
    ASSERT_TRUE(os::makePrivateFolder(folder, &why)) << why.toStdString();
    EXPECT_TRUE(QFileInfo(folder).isDir());
    EXPECT_EQ(QFileInfo(folder).permissions() &
                  (QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteGroup | QFileDevice::WriteOther),
              QFileDevice::Permissions());
    // Found again: kept, and narrowed when it was opened up meanwhile.
    QFile::setPermissions(folder, QFileInfo(folder).permissions() | QFileDevice::ReadOther | QFileDevice::ExeOther);
    ASSERT_TRUE(os::makePrivateFolder(folder, &why));
    EXPECT_FALSE(QFileInfo(folder).permissions() & QFileDevice::ReadOther);

    TempDir outside;
    ASSERT_TRUE(QFile::link(outside.path(), dir.file(u"link"_s)));
    EXPECT_FALSE(os::makePrivateFolder(dir.file(u"link"_s), &why));
    EXPECT_EQ(why, u"it is a symbolic link, not a folder"_s);
    dir.write(u"file"_s, "x");
    EXPECT_FALSE(os::makePrivateFolder(dir.file(u"file"_s), &why));
    EXPECT_EQ(why, u"it is a file, not a folder"_s);
    EXPECT_FALSE(os::makePrivateFolder(dir.file(u"no/such/parent"_s), &why));
#ifdef Q_OS_UNIX
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"theirs"_s));
    if (::chown(QFile::encodeName(dir.file(u"theirs"_s)).constData(), 4242, 4242) == 0) {
        EXPECT_FALSE(os::makePrivateFolder(dir.file(u"theirs"_s), &why));
        EXPECT_EQ(why, u"it belongs to another user"_s);
    }
#endif
}

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
