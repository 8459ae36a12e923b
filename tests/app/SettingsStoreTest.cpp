#include "app/SettingsStore.h"
#include "common/ErrorReport.h"

#include "TempDir.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using markwell::Failure;
using markwell::SettingsStore;
using markwell::test::TempDir;

namespace {

QString settingsFile(const TempDir& dir) {
    return dir.file(u"Kestrelware/settings.ini"_s);
}

void writeSettings(const TempDir& dir, const QByteArray& bytes) {
    QDir().mkpath(dir.file(u"Kestrelware"_s));
    dir.write(u"Kestrelware/settings.ini"_s, bytes);
}

} // namespace

TEST(SettingsStore, AnyTextRoundTripsExactly) {
    TempDir dir;
    const QList<QString> texts{
        QString(),
        u"  leading and trailing  "_s,
        u" "_s,
        u"a,b;c=d#e[f]\"q\" 'x'"_s,
        u"back\\slash \\n not a newline\\"_s,
        u"line one\nline two\r\nthree\ttab"_s,
        u"Ünïcödé 日本語 😀"_s,
        u"Quiz 1^20|Final^100"_s,
        QString(QChar(0xD800)) + u"lone surrogate"_s,
        u"; not a comment"_s,
        u"[not a section]"_s,
        QString(QChar(0x0001)) + QChar(0x007f),
    };
    {
        SettingsStore store(dir.path());
        for (qsizetype i = 0; i < texts.size(); ++i) {
            store.save(u"key%1"_s.arg(i), texts[i]);
        }
        store.save(u"odd key = [x] ; y "_s, u"v"_s);
    }
    SettingsStore again(dir.path());
    EXPECT_TRUE(again.loadProblems().isEmpty()) << again.loadProblems().join(u"\n"_s).toStdString();
    for (qsizetype i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(again.read(u"key%1"_s.arg(i), u"absent"_s), texts[i]) << i;
    }
    EXPECT_EQ(again.read(u"odd key = [x] ; y "_s), u"v"_s);
    EXPECT_EQ(again.read(u"missing"_s, u"0"_s), u"0"_s);
}

TEST(SettingsStore, KeysLiveInTheirSectionAndOtherSectionsSurvive) {
    TempDir dir;
    writeSettings(dir, "[Other Program]\ntxtName=theirs\n[Markwell Software]\ntxtName=ours\n");
    SettingsStore store(dir.path());
    EXPECT_EQ(store.read(u"txtName"_s), u"ours"_s);
    store.save(u"TabSel"_s, u"1"_s);
    SettingsStore other(dir.path(), u"Kestrelware"_s, u"Other Program"_s);
    EXPECT_EQ(other.read(u"txtName"_s), u"theirs"_s);
    EXPECT_EQ(other.read(u"TabSel"_s, u"none"_s), u"none"_s);
}

TEST(SettingsStore, FileLivesUnderTheApplicationFolder) {
    TempDir dir;
    SettingsStore store(dir.path());
    EXPECT_FALSE(QFile::exists(settingsFile(dir))); // reading alone creates nothing
    store.save(u"txtName"_s, u"x"_s);
    EXPECT_TRUE(QFile::exists(settingsFile(dir)));
    EXPECT_EQ(store.filePath(), settingsFile(dir));
}

TEST(SettingsStore, DamagedFileIsReportedReadAsFarAsPossibleAndKept) {
    TempDir dir;
    const QByteArray damaged = "[Markwell Software]\n"
                               "txtName=kept\n"
                               "no equals sign here\n"
                               "txtProject=bad \\q escape\n"
                               "txtYSQ=\xff\xfe\n"
                               "Tests=A^1|B^2\n";
    writeSettings(dir, damaged);
    SettingsStore store(dir.path());
    const QStringList problems = store.loadProblems();
    ASSERT_EQ(problems.size(), 4) << problems.join(u"\n"_s).toStdString();
    EXPECT_TRUE(problems[0].contains(u"line 3"_s));
    EXPECT_TRUE(problems[0].contains(QDir::toNativeSeparators(settingsFile(dir))));
    EXPECT_TRUE(problems[1].contains(u"line 4"_s));
    EXPECT_TRUE(problems[2].contains(u"line 5"_s));
    EXPECT_EQ(store.read(u"txtName"_s), u"kept"_s);
    EXPECT_EQ(store.read(u"Tests"_s), u"A^1|B^2"_s);
    EXPECT_EQ(QFile(settingsFile(dir)).size(), damaged.size()); // untouched until a write

    // The first write copies the damaged file beside it, then writes the new file.
    store.save(u"txtName"_s, u"new"_s);
    ASSERT_FALSE(store.backupPath().isEmpty());
    QFile backup(store.backupPath());
    ASSERT_TRUE(backup.open(QIODevice::ReadOnly));
    EXPECT_EQ(backup.readAll(), damaged);
    SettingsStore again(dir.path());
    EXPECT_TRUE(again.loadProblems().isEmpty());
    EXPECT_EQ(again.read(u"txtName"_s), u"new"_s);
    EXPECT_EQ(again.read(u"Tests"_s), u"A^1|B^2"_s);

    // A second damaged start never replaces the first copy.
    writeSettings(dir, "garbage\n");
    SettingsStore third(dir.path());
    third.save(u"x"_s, u"y"_s);
    EXPECT_NE(third.backupPath(), store.backupPath());
    QFile first(store.backupPath());
    ASSERT_TRUE(first.open(QIODevice::ReadOnly));
    EXPECT_EQ(first.readAll(), damaged);
}

TEST(SettingsStore, UnreadableFileIsNeverOverwritten) {
    TempDir dir;
    // A folder where the file should be cannot be read; the store refuses to write there.
    QDir().mkpath(settingsFile(dir));
    SettingsStore store(dir.path());
    ASSERT_EQ(store.loadProblems().size(), 1);
    EXPECT_TRUE(store.loadProblems()[0].contains(u"could not be read"_s));
    try {
        store.save(u"txtName"_s, u"x"_s);
        ADD_FAILURE() << "save should have failed";
    } catch (const Failure& f) {
        EXPECT_TRUE(f.description().contains(QDir::toNativeSeparators(settingsFile(dir))));
    }
    // The value is still there for this run.
    EXPECT_EQ(store.read(u"txtName"_s), u"x"_s);
    EXPECT_TRUE(QFileInfo(settingsFile(dir)).isDir());
}

TEST(SettingsStore, ManyBadLinesAreSummedUp) {
    TempDir dir;
    QByteArray bytes = "[Markwell Software]\n";
    for (int i = 0; i < 200; ++i) {
        bytes += "bad line\n";
    }
    writeSettings(dir, bytes);
    SettingsStore store(dir.path());
    // Ten listed, one line counting the rest, one saying the file is kept.
    ASSERT_EQ(store.loadProblems().size(), 12);
    EXPECT_TRUE(store.loadProblems()[10].contains(u"190 further lines"_s));
}

TEST(SettingsStore, EscapesAreStrict) {
    QString out;
    EXPECT_FALSE(SettingsStore::unescapeText(u"ends in \\"_s, out));
    EXPECT_FALSE(SettingsStore::unescapeText(u"\\u12"_s, out));
    EXPECT_FALSE(SettingsStore::unescapeText(u"\\u12G4"_s, out));
    EXPECT_TRUE(SettingsStore::unescapeText(u"\\u0041\\s"_s, out));
    EXPECT_EQ(out, u"A "_s);
}
