#include "common/Platform.h"

#include "TempDir.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::Literals::StringLiterals;
using namespace markwell;
using markwell::test::TempDir;

namespace {

int modeOf(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        return -1;
    }
    return static_cast<int>(st.st_mode & 07777);
}

} // namespace

TEST(Platform, ErrorTextIsTheSystemsWording) {
    EXPECT_EQ(os::errorText(ENOSPC), u"No space left on device"_s);
    EXPECT_EQ(os::errorText(EACCES), u"Permission denied"_s);
}

TEST(Platform, BoundedReadsStopAtTheCapWhateverTheSource) {
    TempDir dir;
    dir.write(u"small"_s, "hello");
    QString error;
    EXPECT_EQ(os::readFileBounded(dir.file(u"small"_s), 5, true, &error).value_or("?"), QByteArray("hello"));
    EXPECT_FALSE(os::readFileBounded(dir.file(u"small"_s), 4, true, &error));
    EXPECT_EQ(error, u"it is larger than 4 bytes"_s);

    // A stream without a size is cut off at the cap instead of filling memory.
    EXPECT_FALSE(os::readFileBounded(u"/dev/zero"_s, 1 << 20, false, &error));
    EXPECT_EQ(error, u"it is larger than 1048576 bytes"_s);
    EXPECT_FALSE(os::readFileBounded(u"/dev/zero"_s, 1 << 20, true, &error));
    EXPECT_EQ(error, u"it is a device, pipe or socket, not a file"_s);

    EXPECT_FALSE(os::readFileBounded(dir.path(), 100, false, &error));
    EXPECT_EQ(error, os::errorText(EISDIR));
    EXPECT_FALSE(os::readFileBounded(dir.file(u"missing"_s), 100, false, &error));
    EXPECT_EQ(error, os::errorText(ENOENT));
}

TEST(Platform, AFifoThatMustBeAFileIsRefusedWithoutWaitingForAWriter) {
    TempDir dir;
    const QString fifo = dir.file(u"fifo"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QString error;
    EXPECT_FALSE(os::readFileBounded(fifo, 100, true, &error));
    EXPECT_EQ(error, u"it is a device, pipe or socket, not a file"_s);
    EXPECT_EQ(os::kindOf(fifo), os::FileKind::Other);
}

TEST(Platform, NewFilesAreNeverAnExistingFileNorALinksTarget) {
    TempDir dir;
    QString error;
    const QString path = dir.file(u"new.bin"_s);
    ASSERT_TRUE(os::writeNewFile(path, "abc", 0600, &error)) << error.toStdString();
    EXPECT_EQ(dir.read(u"new.bin"_s), QByteArray("abc"));
    EXPECT_EQ(modeOf(path), 0600);

    EXPECT_FALSE(os::writeNewFile(path, "xyz", 0600, &error));
    EXPECT_EQ(error, os::errorText(EEXIST));
    EXPECT_EQ(dir.read(u"new.bin"_s), QByteArray("abc"));

    // A dangling link must not create its target.
    const QString target = dir.file(u"elsewhere"_s);
    ASSERT_TRUE(QFile::link(target, dir.file(u"link"_s)));
    EXPECT_FALSE(os::writeNewFile(dir.file(u"link"_s), "xyz", 0600, &error));
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_EQ(os::kindOf(dir.file(u"link"_s)), os::FileKind::SymbolicLink);
    EXPECT_EQ(os::kindFollowing(dir.file(u"link"_s)), os::FileKind::Missing);
}

TEST(Platform, AtomicReplaceKeepsLinkTargetsAndRefusesNonFiles) {
    TempDir dir;
    QString error;
    dir.write(u"target"_s, "keep me");
    ASSERT_TRUE(QFile::link(dir.file(u"target"_s), dir.file(u"link"_s)));
    ASSERT_TRUE(os::replaceFileAtomically(dir.file(u"link"_s), "new", 0600, &error)) << error.toStdString();
    EXPECT_EQ(dir.read(u"target"_s), QByteArray("keep me"));
    EXPECT_EQ(os::kindOf(dir.file(u"link"_s)), os::FileKind::Regular);
    EXPECT_EQ(dir.read(u"link"_s), QByteArray("new"));

    EXPECT_FALSE(os::replaceFileAtomically(dir.path(), "x", 0600, &error));
    EXPECT_EQ(error, u"it is a folder, not a file"_s);
    EXPECT_FALSE(os::replaceFileAtomically(u"/dev/null"_s, "x", 0600, &error));
    EXPECT_EQ(error, u"it is a device, pipe or socket, not a file"_s);

    // Nothing is left behind beside the targets.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2);
}

TEST(Platform, FoldersAreMadeWithTheirModeAndWiderOnesTightened) {
    TempDir dir;
    QString error;
    const QString deep = dir.file(u"a/b/c"_s);
    ASSERT_TRUE(os::makeFolders(deep, 0700, &error)) << error.toStdString();
    EXPECT_EQ(modeOf(dir.file(u"a"_s)), 0700);
    EXPECT_EQ(modeOf(deep), 0700);

    dir.write(u"wide"_s, "x");
    ASSERT_TRUE(QFile::setPermissions(dir.file(u"wide"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    os::tightenPermissions(dir.file(u"wide"_s), 0600);
    EXPECT_EQ(modeOf(dir.file(u"wide"_s)), 0600);

    dir.write(u"file"_s, "x");
    EXPECT_FALSE(os::makeFolders(dir.file(u"file/sub"_s), 0700, &error));
}

TEST(Platform, ALockIsHeldUntilReleased) {
    TempDir dir;
    const QString path = dir.file(u"job.lock"_s);
    QString error;
    os::FileLock first = os::FileLock::acquire(path, 0, &error);
    ASSERT_TRUE(first.held()) << error.toStdString();
    EXPECT_EQ(modeOf(path), 0600);

    os::FileLock second = os::FileLock::acquire(path, 50, &error);
    EXPECT_FALSE(second.held());
    EXPECT_TRUE(error.startsWith(u"another program has held it"_s)) << error.toStdString();

    first.release();
    second = os::FileLock::acquire(path, 0, &error);
    EXPECT_TRUE(second.held());

    // A lock file that is a link is never followed.
    ASSERT_TRUE(QFile::link(dir.file(u"nowhere"_s), dir.file(u"linked.lock"_s)));
    EXPECT_FALSE(os::FileLock::acquire(dir.file(u"linked.lock"_s), 0, &error).held());
    EXPECT_FALSE(QFile::exists(dir.file(u"nowhere"_s)));
}
