#include "common/FileUtil.h"

#include "FileSizeLimit.h"
#include "TempDir.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

TEST(FileExists, MissingEmptyAndInvalidPathsAreFalse) {
    test::TempDir dir;
    EXPECT_FALSE(FileExists(QString()));
    EXPECT_FALSE(FileExists(dir.file(u"missing.xls"_s)));
    EXPECT_FALSE(FileExists(u"bad\0name"_s));
    dir.write(u"there.txt"_s, "x");
    EXPECT_TRUE(FileExists(dir.file(u"there.txt"_s)));
}

TEST(DeleteFileQuietly, MissingFileIsNoOpAndReadOnlyFileGoes) {
    test::TempDir dir;
    DeleteFileQuietly(dir.file(u"missing"_s));
    dir.write(u"ro.txt"_s, "data");
    const QString ro = dir.file(u"ro.txt"_s);
    ASSERT_TRUE(QFile::setPermissions(ro, QFileDevice::ReadOwner));
    DeleteFileQuietly(ro);
    EXPECT_FALSE(QFile::exists(ro));
}

TEST(DeleteFileQuietly, RunsPendingEventsFirst) {
    test::TempDir dir;
    int calls = 0;
    setPendingEventsHook([&] { ++calls; });
    DeleteFileQuietly(dir.file(u"x"_s));
    setPendingEventsHook({});
    EXPECT_EQ(calls, 1);
}

TEST(WriteBytesToFile, OverwritesThePrefixAndKeepsTheTail) {
    test::TempDir dir;
    dir.write(u"f.bin"_s, QByteArray(20, 'a'));
    WriteBytesToFile(QByteArray(10, 'b'), dir.file(u"f.bin"_s));
    EXPECT_EQ(dir.read(u"f.bin"_s), QByteArray(10, 'b') + QByteArray(10, 'a'));
    WriteBytesToFile("new", dir.file(u"created.bin"_s));
    EXPECT_EQ(dir.read(u"created.bin"_s), QByteArray("new"));
}

TEST(WriteBytesToFile, UnwritablePathFailsNamingTheFile) {
    test::TempDir dir;
    const QString path = dir.file(u"no/such/folder/t.xlt"_s);
    try {
        WriteBytesToFile("x", path);
        FAIL() << "expected a failure";
    } catch (const std::exception& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(path));
    }
}

TEST(WriteBytesToFile, AFullDiskMetOnlyAtTheEndIsReportedWithTheSystemsReason) {
    // The whole template fits in one write: the failure must still be seen and named.
    test::TempDir dir;
    const QString path = dir.file(u"template.xlt"_s);
    QString failure;
    {
        test::FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.active());
        try {
            WriteBytesToFile(QByteArray(10240, 'x'), path);
        } catch (const std::exception& e) {
            failure = QString::fromUtf8(e.what());
        }
    }
    EXPECT_TRUE(failure.contains(u"File too large"_s)) << failure.toStdString();
    EXPECT_TRUE(failure.contains(QDir::toNativeSeparators(path))) << failure.toStdString();
    EXPECT_FALSE(failure.contains(u"Unknown error"_s));

    // Writes that fit are not disturbed by the limit.
    test::FileSizeLimit limit(4096);
    EXPECT_NO_THROW(WriteBytesToFile(QByteArray(4096, 'y'), dir.file(u"fits.bin"_s)));
}

#ifdef Q_OS_UNIX
TEST(WriteBytesToFile, NeverWritesThroughALinkOrIntoADevice) {
    test::TempDir dir;
    // A link planted where the file is to be written: its target is neither created nor changed.
    const QString target = dir.file(u"target.txt"_s);
    ASSERT_TRUE(QFile::link(target, dir.file(u"dangling.xlt"_s)));
    EXPECT_THROW(WriteBytesToFile("x", dir.file(u"dangling.xlt"_s)), std::exception);
    EXPECT_FALSE(QFile::exists(target));
    dir.write(u"target.txt"_s, "original");
    ASSERT_TRUE(QFile::link(target, dir.file(u"link.xlt"_s)));
    try {
        WriteBytesToFile("x", dir.file(u"link.xlt"_s));
        ADD_FAILURE() << "expected a failure";
    } catch (const std::exception& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(u"symbolic link"_s)) << e.what();
    }
    EXPECT_EQ(dir.read(u"target.txt"_s), QByteArray("original"));
    // A device is refused, not written.
    try {
        WriteBytesToFile("x", u"/dev/full"_s);
        ADD_FAILURE() << "expected a failure";
    } catch (const std::exception& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains(u"not a file"_s)) << e.what();
    }
}
#endif
