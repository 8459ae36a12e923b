#include "os/Files.h"

#include "TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

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

TEST(Files, BoundedReadsStopAtTheCapWhateverTheSource) {
    TempDir dir;
    dir.write(u"small"_s, "hello");
    EXPECT_EQ(os::readFileBounded(dir.file(u"small"_s), 5, true).operator*(), QByteArray("hello"));
    const os::Result<QByteArray> tooLong = os::readFileBounded(dir.file(u"small"_s), 4, true);
    EXPECT_FALSE(tooLong);
    EXPECT_EQ(tooLong.reason(), u"it is larger than 4 bytes"_s);

    // A stream without a size is cut off at the cap instead of filling memory.
    EXPECT_EQ(os::readFileBounded(u"/dev/zero"_s, 1 << 20, false).reason(), u"it is larger than 1048576 bytes"_s);
    EXPECT_EQ(os::readFileBounded(u"/dev/zero"_s, 1 << 20, true).reason(),
              u"it is a device, pipe or socket, not a file"_s);
    EXPECT_EQ(os::readFileBounded(dir.path(), 100, false).errorNumber(), EISDIR);
    EXPECT_EQ(os::readFileBounded(dir.file(u"missing"_s), 100, false).reason(), os::errorText(ENOENT));
}

TEST(Files, AFifoThatMustBeAFileIsRefusedWithoutWaitingForAWriter) {
    TempDir dir;
    const QString fifo = dir.file(u"fifo"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(os::readFileBounded(fifo, 100, true).reason(), u"it is a device, pipe or socket, not a file"_s);
    EXPECT_EQ(os::kindOf(fifo), os::FileKind::Other);
}

TEST(Files, NewFilesAreNeverAnExistingFileNorALinksTarget) {
    TempDir dir;
    const QString path = dir.file(u"new.bin"_s);
    const os::Result<> written = os::writeNewFile(path, "abc", 0600);
    ASSERT_TRUE(written) << written.reason().toStdString();
    EXPECT_EQ(dir.read(u"new.bin"_s), QByteArray("abc"));
    EXPECT_EQ(modeOf(path), 0600);

    EXPECT_EQ(os::writeNewFile(path, "xyz", 0600).errorNumber(), EEXIST);
    EXPECT_EQ(os::createFileAtomically(path, "xyz", 0600).errorNumber(), EEXIST);
    EXPECT_EQ(dir.read(u"new.bin"_s), QByteArray("abc"));

    // A dangling link must not create its target.
    const QString target = dir.file(u"elsewhere"_s);
    ASSERT_TRUE(QFile::link(target, dir.file(u"link"_s)));
    EXPECT_FALSE(os::writeNewFile(dir.file(u"link"_s), "xyz", 0600));
    EXPECT_FALSE(os::createFileAtomically(dir.file(u"link"_s), "xyz", 0600));
    EXPECT_FALSE(QFile::exists(target));
    EXPECT_EQ(os::kindOf(dir.file(u"link"_s)), os::FileKind::SymbolicLink);
    EXPECT_EQ(os::kindFollowing(dir.file(u"link"_s)), os::FileKind::Missing);
}

TEST(Files, AtomicReplaceReplacesLinksKeepsPermissionsAndRefusesNonFiles) {
    TempDir dir;
    dir.write(u"target"_s, "keep me");
    ASSERT_TRUE(QFile::link(dir.file(u"target"_s), dir.file(u"link"_s)));
    const os::Result<> replaced = os::replaceFileAtomically(dir.file(u"link"_s), "new", 0600);
    ASSERT_TRUE(replaced) << replaced.reason().toStdString();
    EXPECT_EQ(dir.read(u"target"_s), QByteArray("keep me"));
    EXPECT_EQ(os::kindOf(dir.file(u"link"_s)), os::FileKind::Regular);
    EXPECT_EQ(dir.read(u"link"_s), QByteArray("new"));

    // Without a mode of its own the replacement keeps the old file's permissions.
    ASSERT_EQ(::chmod(QFile::encodeName(dir.file(u"target"_s)).constData(), 0640), 0);
    ASSERT_TRUE(os::replaceFileAtomically(dir.file(u"target"_s), "replaced"));
    EXPECT_EQ(modeOf(dir.file(u"target"_s)), 0640);
    EXPECT_EQ(dir.read(u"target"_s), QByteArray("replaced"));

    const QString fifo = dir.file(u"fifo"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const auto& [path, why] : {std::pair{dir.path(), u"it is a folder, not a file"_s},
                                    {fifo, u"it is a device, pipe or socket, not a file"_s}}) {
        EXPECT_EQ(os::replaceFileAtomically(path, "x").reason(), why) << path.toStdString();
    }
    EXPECT_EQ(os::kindOf(fifo), os::FileKind::Other);
    // Nothing is left behind beside the targets.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 3);
}

// A large result takes its place under a second name of the work file's bytes: the target's
// rule and permissions as for a copy; no link or folder is ever the source.
TEST(Files, AStagedLinkIsTheSourceUnderTheTargetsRules) {
    TempDir dir;
    ASSERT_TRUE(os::writeNewFileFromParts(dir.file(u"work"_s), {QByteArrayView("the bytes")}, 0600, false));
    dir.write(u"result"_s, "old");
    ASSERT_EQ(::chmod(QFile::encodeName(dir.file(u"result"_s)).constData(), 0640), 0);
    const os::Result<QString> staged = os::stageLinkBeside(dir.file(u"result"_s), dir.file(u"work"_s));
    ASSERT_TRUE(staged) << staged.reason().toStdString();
    ASSERT_TRUE(os::putStagedFile(*staged, dir.file(u"result"_s), true));
    ASSERT_TRUE(QFile::remove(dir.file(u"work"_s)));
    EXPECT_EQ(dir.read(u"result"_s), QByteArray("the bytes"));
    EXPECT_EQ(modeOf(dir.file(u"result"_s)), 0640) << "the replaced file's permissions";

    ASSERT_TRUE(QFile::link(dir.file(u"result"_s), dir.file(u"link"_s)));
    EXPECT_FALSE(os::stageLinkBeside(dir.file(u"new"_s), dir.file(u"link"_s)));
    EXPECT_EQ(os::stageLinkBeside(dir.path(), dir.file(u"result"_s)).reason(), u"it is a folder, not a file"_s);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 2) << "nothing left";
}

// The temporary file beside a target stays within the name limit, however long the target's name.
TEST(Files, ALongNameIsReplacedAsWellAsItIsMade) {
    TempDir dir;
    const QString cjk = QString(80, QChar(0x4E2D)) + u".xls"_s;                                          // 244 bytes
    const QString emoji = QString(62, QChar(u'a')) + QString::fromUtf8("\xF0\x9F\x98\x80").repeated(47); // 250
    for (const QString& name : {cjk, emoji, QString(255, QChar(u'b'))}) {
        ASSERT_TRUE(os::writeNewFileFromParts(dir.file(name), {QByteArrayView("old")}, 0600, false));
        const os::Result<> replaced = os::replaceFileAtomically(dir.file(name), "new");
        EXPECT_TRUE(replaced) << name.size() << " " << replaced.reason().toStdString();
        EXPECT_EQ(dir.read(name), QByteArray("new"));
    }
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).size(), 3);
}

TEST(Files, FoldersAreMadeWithTheirModeAndWiderOnesTightened) {
    TempDir dir;
    const QString deep = dir.file(u"a/b/c"_s);
    const os::Result<> made = os::makeFolders(deep, 0700);
    ASSERT_TRUE(made) << made.reason().toStdString();
    EXPECT_EQ(modeOf(dir.file(u"a"_s)), 0700);
    EXPECT_EQ(modeOf(deep), 0700);

    dir.write(u"wide"_s, "x");
    ASSERT_TRUE(QFile::setPermissions(dir.file(u"wide"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    os::tightenPermissions(dir.file(u"wide"_s), 0600);
    EXPECT_EQ(modeOf(dir.file(u"wide"_s)), 0600);

    dir.write(u"file"_s, "x");
    EXPECT_FALSE(os::makeFolders(dir.file(u"file/sub"_s), 0700));
}

TEST(Files, PrivateFoldersAreOwnerOnlyRealFoldersOfOurOwn) {
    TempDir dir;
    const QString folder = dir.file(u"markwell-x"_s);
    const os::Result<> made = os::makePrivateFolder(folder);
    ASSERT_TRUE(made) << made.reason().toStdString();
    EXPECT_EQ(modeOf(folder), 0700);
    // Found again: kept, and narrowed when it was opened up meanwhile.
    QFile::setPermissions(folder, QFileInfo(folder).permissions() | QFileDevice::ReadOther | QFileDevice::ExeOther);
    ASSERT_TRUE(os::makePrivateFolder(folder));
    EXPECT_EQ(modeOf(folder), 0700);

    TempDir outside;
    ASSERT_TRUE(QFile::link(outside.path(), dir.file(u"link"_s)));
    EXPECT_EQ(os::makePrivateFolder(dir.file(u"link"_s)).reason(), u"it is a symbolic link, not a folder"_s);
    dir.write(u"file"_s, "x");
    EXPECT_EQ(os::makePrivateFolder(dir.file(u"file"_s)).reason(), u"it is a file, not a folder"_s);
    EXPECT_FALSE(os::makePrivateFolder(dir.file(u"no/such/parent"_s)));
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"theirs"_s));
    if (::chown(QFile::encodeName(dir.file(u"theirs"_s)).constData(), 4242, 4242) == 0) {
        EXPECT_EQ(os::makePrivateFolder(dir.file(u"theirs"_s)).reason(), u"it belongs to another user"_s);
        EXPECT_FALSE(os::ownedByCurrentUser(dir.file(u"theirs"_s)));
    }
    EXPECT_TRUE(os::ownedByCurrentUser(dir.path()));
    EXPECT_FALSE(os::ownedByCurrentUser(dir.file(u"missing"_s)));
}

TEST(Files, SameFileSeesThroughSpellingsAndLinks) {
    TempDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"sub"_s));
    dir.write(u"a.xls"_s, "a");
    ASSERT_TRUE(QFile::link(dir.file(u"a.xls"_s), dir.file(u"link.xls"_s)));
    ASSERT_TRUE(QFile::link(dir.file(u"sub"_s), dir.file(u"sublink"_s)));
    ASSERT_EQ(::link(QFile::encodeName(dir.file(u"a.xls"_s)).constData(),
                     QFile::encodeName(dir.file(u"hard.xls"_s)).constData()),
              0);
    const QString up = dir.path() + u"/../"_s + QDir(dir.path()).dirName();
    for (const auto& [a, b, same] : {
             std::tuple{dir.file(u"a.xls"_s), dir.path() + u"/sub/../a.xls"_s, true},
             {dir.file(u"a.xls"_s), up + u"/a.xls"_s, true},
             {dir.file(u"a.xls"_s), dir.file(u"link.xls"_s), true},
             {dir.file(u"hard.xls"_s), dir.file(u"a.xls"_s), true},
             // Files that are yet to be made.
             {dir.file(u"sub/new.png"_s), dir.file(u"sublink/new.png"_s), true},
             {dir.file(u"new.png"_s), dir.path() + u"//./new.png"_s, true},
             {u"relative.xls"_s, QDir::currentPath() + u"/relative.xls"_s, true},
             {dir.file(u"new.png"_s), dir.file(u"new.xls"_s), false},
             {dir.file(u"a.xls"_s), dir.file(u"new.xls"_s), false},
             {dir.file(u"a.xls"_s), QString(), false},
             {QString(), QString(), false},
         }) {
        EXPECT_EQ(os::sameFile(a, b), same) << a.toStdString() << " / " << b.toStdString();
    }
}
