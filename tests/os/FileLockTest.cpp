// The one lock between programs, taken its two ways: waiting on a lock file that stays (the
// settings store), and one attempt on a lock file that exists only while held (a job's folder).

#include "os/FileLock.h"
#include "os/Files.h"

#include "TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;
using markwell::test::TempDir;

TEST(FileLock, WaitingLockIsHeldUntilReleasedAndItsFileStays) {
    TempDir dir;
    const QString path = dir.file(u"store.lock"_s);
    os::Result<os::FileLock> first = os::FileLock::waitFor(path, 0);
    ASSERT_TRUE(first) << first.reason().toStdString();
    EXPECT_TRUE(first->held());
    EXPECT_EQ(QFileInfo(path).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
              QFileDevice::Permissions());

    const os::Result<os::FileLock> second = os::FileLock::waitFor(path, 50);
    EXPECT_FALSE(second);
    EXPECT_TRUE(second.reason().startsWith(u"another program has held it"_s)) << second.reason().toStdString();
    // The other way finds it busy too: one lock, whichever way it is taken.
    const os::Result<os::FileLock> busy = os::FileLock::tryTake(path);
    ASSERT_TRUE(busy);
    EXPECT_FALSE(busy->held());

    first->release();
    EXPECT_TRUE(QFileInfo(path).isFile());
    EXPECT_TRUE(os::FileLock::waitFor(path, 0));
}

TEST(FileLock, TakenLockIsOneHolderAtATimeAndTheFileGoesWithIt) {
    TempDir dir;
    const QString path = dir.file(u"markwell.lock"_s);
    os::Result<os::FileLock> first = os::FileLock::tryTake(path);
    ASSERT_TRUE(first && first->held()) << first.reason().toStdString();
    EXPECT_TRUE(QFileInfo(path).isFile());

    const os::Result<os::FileLock> second = os::FileLock::tryTake(path);
    ASSERT_TRUE(second);
    EXPECT_FALSE(second->held());
    EXPECT_FALSE(os::FileLock::waitFor(path, 20));

    first->release();
    EXPECT_FALSE(QFile::exists(path));
    os::Result<os::FileLock> third = os::FileLock::tryTake(path);
    ASSERT_TRUE(third && third->held());

    // Releasing never deletes a file that has taken the name since.
    ASSERT_TRUE(QFile::remove(path));
    dir.write(u"markwell.lock"_s, "a new one");
    third->release();
    EXPECT_EQ(dir.read(u"markwell.lock"_s), QByteArray("a new one"));

    // A file of the user's own at the name is neither taken nor deleted; a lock file left by a
    // holder that ended without releasing (marked, or not marked yet) is taken over.
    const os::Result<os::FileLock> users = os::FileLock::tryTake(path);
    EXPECT_FALSE(users);
    EXPECT_EQ(dir.read(u"markwell.lock"_s), QByteArray("a new one"));
    for (const QByteArray& left : {QByteArray("markwell lock file, held by process 1\n"), QByteArray()}) {
        dir.write(u"markwell.lock"_s, left);
        os::Result<os::FileLock> taken = os::FileLock::tryTake(path);
        EXPECT_TRUE(taken && taken->held());
        EXPECT_TRUE(dir.read(u"markwell.lock"_s).startsWith("markwell lock file"));
    }
}

TEST(FileLock, LinksFoldersAndOtherUsersFilesAreRefusedEitherWay) {
    TempDir dir;
    TempDir outside;
    ASSERT_TRUE(QFile::link(outside.file(u"target"_s), dir.file(u"link.lock"_s)));
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"folder.lock"_s));
    dir.write(u"foreign.lock"_s, "");
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.file(u"pipe.lock"_s)).constData(), 0600), 0);
    const bool foreign = ::chown(QFile::encodeName(dir.file(u"foreign.lock"_s)).constData(), 4242, 4242) == 0;
    for (const auto& [name, why] : {std::pair{u"link.lock"_s, u"it is a symbolic link"_s},
                                    {u"folder.lock"_s, os::errorText(EISDIR)},
                                    {u"missing/markwell.lock"_s, u"No such file or directory"_s},
                                    {u"pipe.lock"_s, u"it is a device, pipe or socket, not a file"_s},
                                    {u"foreign.lock"_s, u"it belongs to another user"_s}}) {
        if (name == u"foreign.lock"_s && !foreign) {
            continue;
        }
        EXPECT_EQ(os::FileLock::tryTake(dir.file(name)).reason(), why) << name.toStdString();
        EXPECT_EQ(os::FileLock::waitFor(dir.file(name), 0).reason(), why) << name.toStdString();
    }
    EXPECT_FALSE(QFile::exists(outside.file(u"target"_s)));
}
