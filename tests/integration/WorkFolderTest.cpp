// Where "Create Template" keeps its work files, and how it recovers from a damaged left-over.

#include "FillFixture.h"
#include "TestHosts.h"

#include "os/Process.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

namespace {

// Sets or clears an environment variable for one test.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray* value) : m_name(name), m_had(qEnvironmentVariableIsSet(name)) {
        m_old = qgetenv(name);
        if (value) {
            qputenv(name, *value);
        } else {
            qunsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (m_had) {
            qputenv(m_name, m_old);
        } else {
            qunsetenv(m_name);
        }
    }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace

TEST(WorkFolder, TempWhenSetOtherwiseAPrivateFolder) {
    test::TempDir dir;
    {
        const QByteArray temp = dir.path().toUtf8();
        ScopedEnv env("TEMP", &temp);
        EXPECT_EQ(workFolder(), dir.path());
    }
    const QByteArray cache = dir.file(u"cache"_s).toUtf8();
    ScopedEnv cacheHome("XDG_CACHE_HOME", &cache);
    for (const QByteArray& empty : {QByteArray(), QByteArray("")}) {
        ScopedEnv env("TEMP", empty.isNull() ? nullptr : &empty);
        const QString folder = workFolder();
        EXPECT_NE(QDir(folder).absolutePath(), QDir::rootPath());
        EXPECT_TRUE(folder.startsWith(dir.file(u"cache"_s))) << folder.toStdString();
        EXPECT_TRUE(QFileInfo(folder).isDir());
        EXPECT_EQ(QFileInfo(folder).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup),
                  QFileDevice::Permissions());
    }
}

TEST(WorkFolder, DamagedLeftOverTemplateIsReportedThenReplaced) {
    test::FillFixture run;
    run.work.write(u"template.xlt"_s, "this is not a workbook");
    bool creating = false;
    CreateTemplateEnvironment env;
    env.hostFactory = defaultHostFactory();
    env.templateBytes = [] { return templateWorkbook(); };
    env.workFolder = [&] { return run.work.path(); };
    createTemplate(test::classOf(2, 2), env, run.ui, run.prompt, creating);
    const QStringList texts = run.prompt.messageTexts();
    // One fault, one message: the failed open, then one box for the steps that followed from it.
    ASSERT_EQ(texts.size(), 2) << texts.join(u"\n"_s).toStdString();
    EXPECT_TRUE(texts.first().contains(run.work.file(u"template.xlt"_s))) << texts.first().toStdString();
    EXPECT_TRUE(texts.first().contains(u"PushButton6_Click at line 112\r\r"_s)) << texts.first().toStdString();
    EXPECT_FALSE(creating);
    EXPECT_FALSE(QFile::exists(run.work.file(u"template.xlt"_s)));

    // The next run writes the template afresh and succeeds.
    test::FillFixture again;
    const sheet::Workbook book = again.fill(test::classOf(2, 2));
    EXPECT_TRUE(again.prompt.shown().empty());
    EXPECT_EQ(test::cellText(book.sheets.at(0), 13, 2), "Student 1");
}

TEST(WorkFolder, WithoutHomeCacheOrTempAPrivateFolderUnderTheSystemTemporaryFolder) {
    test::TempDir system;
    const QByteArray tmp = system.path().toUtf8();
    ScopedEnv tmpdir("TMPDIR", &tmp);
    ScopedEnv temp("TEMP", nullptr);
    ScopedEnv cache("XDG_CACHE_HOME", nullptr);
    const QString expected = system.file(u"markwell-"_s + os::currentUserKey());
    const QByteArray root("/");
    const QByteArray relative("relative/cache");
    for (const QByteArray* home : {static_cast<const QByteArray*>(nullptr), &root}) {
        ScopedEnv homeEnv("HOME", home);
        for (const QByteArray* xdg : {static_cast<const QByteArray*>(nullptr), &relative}) {
            ScopedEnv xdgEnv("XDG_CACHE_HOME", xdg);
            QString problem;
            const QString folder = workFolder(&problem);
            EXPECT_EQ(folder, expected) << problem.toStdString();
            EXPECT_TRUE(QFileInfo(folder).isDir());
            EXPECT_EQ(QFileInfo(folder).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup |
                                                         QFileDevice::WriteOther | QFileDevice::WriteGroup),
                      QFileDevice::Permissions());
        }
    }
    EXPECT_FALSE(QFile::exists(u"/.cache/markwell"_s));

    // A link planted where the private folder goes is never followed: the job refuses with one
    // message and writes nothing.
    ASSERT_TRUE(QDir(expected).removeRecursively());
    test::TempDir elsewhere;
    ASSERT_TRUE(QFile::link(elsewhere.path(), expected));
    ScopedEnv homeEnv("HOME", nullptr);
    QString problem;
    EXPECT_TRUE(workFolder(&problem).isEmpty());
    EXPECT_TRUE(problem.contains(expected + u"\" cannot be used: it is a symbolic link, not a folder"_s))
        << problem.toStdString();

    test::FillFixture run;
    bool creating = false;
    CreateTemplateEnvironment env;
    env.hostFactory = defaultHostFactory();
    createTemplate(test::classOf(2, 2), env, run.ui, run.prompt, creating);
    ASSERT_EQ(run.prompt.messageTexts().size(), 1);
    EXPECT_EQ(run.prompt.messageTexts()[0], problem);
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());
    EXPECT_FALSE(creating);
}

#ifdef Q_OS_UNIX
TEST(WorkFolder, AFullDiskEndsTheJobWithOnePlainMessage) {
    // The largest file this process may write is made small, as a full disk would; once with room
    // for nothing, once with room for the template but not for the saved workbook.
    for (const qint64 limit : {qint64(512), qint64(64 * 1024)}) {
        test::FillFixture run;
        bool creating = false;
        CreateTemplateEnvironment env;
        env.hostFactory = defaultHostFactory();
        env.templateBytes = [] { return templateWorkbook(); };
        env.workFolder = [&] { return run.work.path(); };
        {
            const test::ScopedFileSizeLimit full(limit);
            createTemplate(test::classOf(40, 300), env, run.ui, run.prompt, creating);
        }

        const QStringList texts = run.prompt.messageTexts();
        ASSERT_EQ(texts.size(), 1) << limit << texts.join(u"\n"_s).toStdString();
        EXPECT_TRUE(texts[0].startsWith(u"The work folder \""_s + run.work.path() + u"\" cannot be used: "_s))
            << texts[0].toStdString();
        EXPECT_TRUE(texts[0].contains(u"File too large"_s)) << texts[0].toStdString();
        EXPECT_TRUE(texts[0].contains(u"TEMP"_s)) << texts[0].toStdString();
        EXPECT_FALSE(texts[0].contains(u"email"_s)) << texts[0].toStdString();
        EXPECT_FALSE(creating);
        // Nothing is left behind: no reserved result, no template, no lock.
        EXPECT_TRUE(QDir(run.work.path()).isEmpty()) << QDir(run.work.path()).entryList().join(u", "_s).toStdString();
    }
}
#endif
