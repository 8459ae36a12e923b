#include "setup/SettingsStore.h"
#include "common/ErrorReport.h"
#include "common/Platform.h"

#include "FileSizeLimit.h"
#include "TempDir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace Qt::Literals::StringLiterals;
using markwell::Failure;
using markwell::SettingsStore;
using markwell::test::FileSizeLimit;
using markwell::test::TempDir;

namespace {

QString settingsFile(const TempDir& dir) {
    return dir.file(u"Kestrelware/settings.ini"_s);
}

void writeSettings(const TempDir& dir, const QByteArray& bytes) {
    QDir().mkpath(dir.file(u"Kestrelware"_s));
    dir.write(u"Kestrelware/settings.ini"_s, bytes);
}

#ifdef Q_OS_UNIX
// The permission bits of a file or folder, without following a link.
int modeOf(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        return -1;
    }
    return static_cast<int>(st.st_mode & 07777);
}

// Runs `body` in a child process (another program using the same store) and returns its exit
// code; the child never returns into the test.
template <class F> int inChildProcess(F&& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int code = 0;
        try {
            code = body();
        } catch (...) {
            code = 99;
        }
        ::_exit(code);
    }
    if (pid < 0) {
        return -1;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

// The names in the store's folder besides the store file itself and its lock (temporary files
// and copies).
QStringList strayFiles(const TempDir& dir) {
    QStringList names = QDir(dir.file(u"Kestrelware"_s)).entryList(QDir::Files | QDir::Hidden | QDir::System);
    names.removeAll(u"settings.ini"_s);
    names.removeAll(u"settings.ini.lock"_s);
    return names;
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

TEST(SettingsStore, TwoStoresOnOneFileKeepEachOthersKeys) {
    TempDir dir;
    // Two copies of the program, each with the store it read at its start.
    SettingsStore a(dir.path());
    SettingsStore b(dir.path());
    b.save(u"txtName"_s, u"Bee"_s);
    a.save(u"txtTeachName"_s, u"M"_s);
    a.save(u"txtTeachName"_s, u"Ms"_s);
    b.save(u"TabSel"_s, u"1"_s);
    a.save(u"Tests"_s, u"Quiz^10"_s);

    const SettingsStore fresh(dir.path());
    EXPECT_EQ(fresh.read(u"txtName"_s), u"Bee"_s);
    EXPECT_EQ(fresh.read(u"txtTeachName"_s), u"Ms"_s);
    EXPECT_EQ(fresh.read(u"TabSel"_s), u"1"_s);
    EXPECT_EQ(fresh.read(u"Tests"_s), u"Quiz^10"_s);
    // After a save each store also reads what the other wrote.
    EXPECT_EQ(a.read(u"txtName"_s), u"Bee"_s);
    EXPECT_TRUE(strayFiles(dir).isEmpty()) << strayFiles(dir).join(u", "_s).toStdString();
}

TEST(SettingsStore, WhatAnotherProgramWritesBetweenTwoSavesIsKept) {
    TempDir dir;
    SettingsStore store(dir.path());
    store.save(u"txtName"_s, u"School"_s);
    // Another program edits the file: a key of ours, and a section of its own.
    {
        QFile file(settingsFile(dir));
        ASSERT_TRUE(file.open(QIODevice::Append));
        file.write("txtProject=From an editor\n[Other Program]\nkey=theirs\n");
    }
    store.save(u"txtYSQ"_s, u"2016"_s);
    const SettingsStore fresh(dir.path());
    EXPECT_EQ(fresh.read(u"txtName"_s), u"School"_s);
    EXPECT_EQ(fresh.read(u"txtProject"_s), u"From an editor"_s);
    EXPECT_EQ(fresh.read(u"txtYSQ"_s), u"2016"_s);
    EXPECT_EQ(SettingsStore(dir.path(), u"Kestrelware"_s, u"Other Program"_s).read(u"key"_s), u"theirs"_s);

#ifdef Q_OS_UNIX
    // Another process saving through its own store.
    const int child = inChildProcess([&] {
        SettingsStore other(dir.path());
        other.save(u"txtTeachName"_s, u"Set by another process"_s);
        return 0;
    });
    ASSERT_EQ(child, 0);
    store.save(u"txtName"_s, u"School 2"_s);
    const SettingsStore after(dir.path());
    EXPECT_EQ(after.read(u"txtTeachName"_s), u"Set by another process"_s);
    EXPECT_EQ(after.read(u"txtName"_s), u"School 2"_s);
    EXPECT_EQ(after.read(u"txtProject"_s), u"From an editor"_s);
#endif
}

#ifdef Q_OS_UNIX
TEST(SettingsStore, TwoProcessesSavingAtOnceLoseNothing) {
    TempDir dir;
    constexpr int kSaves = 25;
    const pid_t pid = ::fork();
    if (pid == 0) {
        int code = 0;
        try {
            SettingsStore child(dir.path());
            for (int i = 0; i < kSaves; ++i) {
                child.save(u"child%1"_s.arg(i), QString::number(i));
            }
        } catch (...) {
            code = 1;
        }
        ::_exit(code);
    }
    ASSERT_GT(pid, 0);
    SettingsStore parent(dir.path());
    for (int i = 0; i < kSaves; ++i) {
        parent.save(u"parent%1"_s.arg(i), QString::number(i));
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const SettingsStore fresh(dir.path());
    for (int i = 0; i < kSaves; ++i) {
        EXPECT_EQ(fresh.read(u"child%1"_s.arg(i)), QString::number(i)) << i;
        EXPECT_EQ(fresh.read(u"parent%1"_s.arg(i)), QString::number(i)) << i;
    }
}

TEST(SettingsStore, FileFoldersAndCopiesAreOwnerOnly) {
    TempDir dir;
    // A configuration folder that does not exist yet is made by the store, owner-only.
    const QString config = dir.file(u"home/.config"_s);
    {
        SettingsStore store(config);
        store.save(u"txtName"_s, u"Grades are private"_s);
    }
    EXPECT_EQ(modeOf(dir.file(u"home"_s)), 0700);
    EXPECT_EQ(modeOf(config), 0700);
    EXPECT_EQ(modeOf(config + u"/Kestrelware"_s), 0700);
    EXPECT_EQ(modeOf(config + u"/Kestrelware/settings.ini"_s), 0600);
    EXPECT_EQ(modeOf(config + u"/Kestrelware/settings.ini.lock"_s), 0600);

    // A store left readable by everyone is narrowed at the next save, even one that changes
    // nothing; a folder that was there before the store is left alone.
    const QString shared = dir.file(u"shared"_s);
    ASSERT_TRUE(QDir().mkpath(shared + u"/Kestrelware"_s));
    ::chmod(QFile::encodeName(shared).constData(), 0755);
    ::chmod(QFile::encodeName(shared + u"/Kestrelware"_s).constData(), 0755);
    const QString wide = shared + u"/Kestrelware/settings.ini"_s;
    {
        QFile file(wide);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Markwell Software]\ntxtName=same\n");
    }
    ::chmod(QFile::encodeName(wide).constData(), 0644);
    {
        SettingsStore store(shared);
        store.save(u"txtName"_s, u"same"_s);
    }
    EXPECT_EQ(modeOf(wide), 0600);
    EXPECT_EQ(modeOf(shared + u"/Kestrelware"_s), 0700);
    EXPECT_EQ(modeOf(shared), 0755);
    {
        SettingsStore store(shared);
        store.save(u"txtName"_s, u"changed"_s);
    }
    EXPECT_EQ(modeOf(wide), 0600);

    // The copy of a damaged store is as private as the store.
    {
        QFile file(wide);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("[Markwell Software]\nbroken line\n");
    }
    ::chmod(QFile::encodeName(wide).constData(), 0644);
    SettingsStore damaged(shared);
    damaged.save(u"txtName"_s, u"x"_s);
    ASSERT_FALSE(damaged.backupPath().isEmpty());
    EXPECT_EQ(modeOf(damaged.backupPath()), 0600);
    EXPECT_EQ(modeOf(wide), 0600);
}

TEST(SettingsStore, AFullDiskIsReportedWithTheSystemsReasonAndLosesNothing) {
    TempDir dir;
    SettingsStore store(dir.path());
    store.save(u"txtName"_s, u"kept"_s);
    const QByteArray before = dir.read(u"Kestrelware/settings.ini"_s);
    ASSERT_FALSE(before.isEmpty());
    QString failure;
    {
        FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.active());
        try {
            store.save(u"Students"_s, QString(20000, u'x'));
        } catch (const Failure& f) {
            failure = f.description();
        }
    }
    EXPECT_TRUE(failure.contains(u"File too large"_s)) << failure.toStdString();
    EXPECT_TRUE(failure.contains(QDir::toNativeSeparators(settingsFile(dir)))) << failure.toStdString();
    // The old file is whole, no half-written temporary file is left, and this run keeps the value.
    EXPECT_EQ(dir.read(u"Kestrelware/settings.ini"_s), before);
    EXPECT_TRUE(strayFiles(dir).isEmpty()) << strayFiles(dir).join(u", "_s).toStdString();
    EXPECT_EQ(store.read(u"Students"_s), QString(20000, u'x'));
    // Once there is room again, the next save writes the value that could not be written.
    store.save(u"TabSel"_s, u"1"_s);
    const SettingsStore fresh(dir.path());
    EXPECT_EQ(fresh.read(u"Students"_s), QString(20000, u'x'));
    EXPECT_EQ(fresh.read(u"TabSel"_s), u"1"_s);
    EXPECT_EQ(fresh.read(u"txtName"_s), u"kept"_s);
}

TEST(SettingsStore, AStoreHeldByAnotherProgramIsReportedNotOverwritten) {
    TempDir dir;
    SettingsStore store(dir.path());
    store.save(u"txtName"_s, u"first"_s);
    store.setLockTimeout(50);
    {
        QString why;
        const auto held = markwell::os::FileLock::acquire(settingsFile(dir) + u".lock"_s, 0, &why);
        ASSERT_TRUE(held.held()) << why.toStdString();
        try {
            store.save(u"txtName"_s, u"second"_s);
            ADD_FAILURE() << "save should have waited for the lock and failed";
        } catch (const Failure& f) {
            EXPECT_TRUE(f.description().contains(u"lock"_s)) << f.description().toStdString();
        }
        EXPECT_EQ(SettingsStore(dir.path()).read(u"txtName"_s), u"first"_s);
        EXPECT_FALSE(store.trySave({{u"Tests"_s, u"t^5"_s}})); // kept for the next save
    }
    store.save(u"TabSel"_s, u"0"_s);
    EXPECT_EQ(SettingsStore(dir.path()).read(u"txtName"_s), u"second"_s);
    EXPECT_EQ(SettingsStore(dir.path()).read(u"Tests"_s), u"t^5"_s);
}

TEST(SettingsStore, AStoreThatIsNoRegularFileIsRefusedWithoutWaitingOrGrowing) {
    TempDir dir;
    QDir().mkpath(dir.file(u"Kestrelware"_s));
    const QString path = settingsFile(dir);
    struct Case {
        const char* what;
        std::function<void()> make;
    };
    const Case cases[] = {
        {"link to /dev/zero", [&] { ASSERT_TRUE(QFile::link(u"/dev/zero"_s, path)); }},
        {"pipe without a writer", [&] { ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0); }},
    };
    for (const Case& c : cases) {
        QFile::remove(path);
        c.make();
        QElapsedTimer clock;
        clock.start();
        SettingsStore store(dir.path());
        EXPECT_LT(clock.elapsed(), 5000) << c.what;
        EXPECT_EQ(store.loadState(), SettingsStore::LoadState::Unreadable) << c.what;
        ASSERT_EQ(store.loadProblems().size(), 1) << c.what;
        EXPECT_TRUE(store.loadProblems()[0].contains(u"a device, pipe or socket, not a file"_s))
            << store.loadProblems()[0].toStdString();
        EXPECT_THROW(store.save(u"txtName"_s, u"x"_s), Failure) << c.what;
        EXPECT_NE(markwell::os::kindOf(path), markwell::os::FileKind::Regular) << c.what;
        EXPECT_EQ(store.read(u"txtName"_s), u"x"_s) << c.what;
    }

    // A link to nothing is a first start; the save puts a file in its place and never creates
    // the link's target.
    QFile::remove(path);
    ASSERT_TRUE(QFile::link(dir.file(u"elsewhere.ini"_s), path));
    SettingsStore store(dir.path());
    EXPECT_TRUE(store.loadProblems().isEmpty());
    EXPECT_EQ(store.loadState(), SettingsStore::LoadState::Absent);
    store.save(u"txtName"_s, u"x"_s);
    EXPECT_FALSE(QFile::exists(dir.file(u"elsewhere.ini"_s)));
    EXPECT_EQ(markwell::os::kindOf(path), markwell::os::FileKind::Regular);
    EXPECT_EQ(SettingsStore(dir.path()).read(u"txtName"_s), u"x"_s);
}

// A store that is a link to a file kept elsewhere stays a link: each save replaces the file it
// leads to, keeping what that file held.
TEST(SettingsStore, AStoreLinkedToAFileElsewhereStaysALink) {
    TempDir dir;
    QDir().mkpath(dir.file(u"Kestrelware"_s));
    QDir().mkpath(dir.file(u"mine"_s));
    const QString path = settingsFile(dir);
    const QString kept = dir.file(u"mine/markwell.ini"_s);
    {
        SettingsStore first(dir.path());
        first.save(u"txtName"_s, u"Lincoln High"_s);
    }
    ASSERT_TRUE(QFile::rename(path, kept));
    ASSERT_TRUE(QFile::link(kept, path));

    SettingsStore store(dir.path());
    EXPECT_TRUE(store.loadProblems().isEmpty());
    EXPECT_EQ(store.read(u"txtName"_s), u"Lincoln High"_s);
    store.save(u"txtTeachName"_s, u"Ms. Rivera"_s);
    store.save(u"txtTeachName"_s, u"Ms. Rivera-Lee"_s);
    EXPECT_EQ(markwell::os::kindOf(path), markwell::os::FileKind::SymbolicLink);
    EXPECT_EQ(QFileInfo(path).symLinkTarget(), kept);
    const SettingsStore fresh(dir.path());
    EXPECT_EQ(fresh.read(u"txtName"_s), u"Lincoln High"_s);
    EXPECT_EQ(fresh.read(u"txtTeachName"_s), u"Ms. Rivera-Lee"_s);
    EXPECT_EQ(QFileInfo(kept).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    EXPECT_TRUE(QDir(dir.file(u"mine"_s)).entryList(QDir::Files | QDir::Hidden).size() == 1)
        << QDir(dir.file(u"mine"_s)).entryList(QDir::Files | QDir::Hidden).join(u", "_s).toStdString();
}
#endif
