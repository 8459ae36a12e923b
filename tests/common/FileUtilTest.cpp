#include "common/FileUtil.h"

#include "TempDir.h"

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
