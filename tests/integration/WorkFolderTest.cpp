// Where "Create Template" keeps its work files, and how it recovers from a damaged left-over.

#include "FillFixture.h"

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
    ASSERT_FALSE(texts.isEmpty());
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
