#include "preview/SaveResult.h"

#include "ScriptedPrompt.h"
#include "TempDir.h"
#include "os/Files.h"
#include "shell/AppTitle.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;
using namespace markwell::preview;
using markwell::test::ScriptedPrompt;
using Kind = ScriptedPrompt::Shown::Kind;

namespace {

class SaveResultTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A workbook-like file with a zero byte and more than one copy chunk.
        m_workbook = QByteArray("\xD0\xCF\x11\xE0 generated", 14);
        m_workbook.append(QByteArray(200000, 'x'));
        m_work.write(u"qvtemp12345678.xls"_s, m_workbook);
        m_source = m_work.file(u"qvtemp12345678.xls"_s);
    }

    QStringList entries() const { return QDir(m_target.path()).entryList(QDir::Files | QDir::Hidden); }

    test::TempDir m_work;
    test::TempDir m_target;
    QString m_source;
    QByteArray m_workbook;
    ScriptedPrompt m_prompt;
};

} // namespace

TEST_F(SaveResultTest, NewNameCopiesWithoutAskingAndSaysDone) {
    const QString target = m_target.file(u"Class 7b.xls"_s);
    m_prompt.chooseFileNext(target);
    SaveResults(m_prompt, m_source);
    EXPECT_EQ(m_prompt.lastSaveTitle, u"Save File"_s);
    EXPECT_EQ(m_prompt.lastFilterDescription, u"Excel Files (*.xls)"_s);
    EXPECT_EQ(m_prompt.lastFilterPattern, u"*.xls"_s);
    EXPECT_EQ(m_prompt.count(Kind::Question), 0);
    EXPECT_EQ(m_prompt.messageTexts(), QStringList{u"Done."_s});
    EXPECT_EQ(m_prompt.shown().back().caption, QString()); // the application title
    EXPECT_EQ(m_target.read(u"Class 7b.xls"_s), m_workbook);
    EXPECT_EQ(m_work.read(u"qvtemp12345678.xls"_s), m_workbook); // the source stays
    EXPECT_EQ(entries(), QStringList{u"Class 7b.xls"_s});        // no temporary file left over
}

TEST_F(SaveResultTest, ExistingTargetAsksAndYesReplacesNoKeeps) {
    m_target.write(u"old.xls"_s, "old contents");
    const QString target = m_target.file(u"old.xls"_s);

    m_prompt.chooseFileNext(target);
    m_prompt.answerNext(Prompt::Answer::No);
    SaveResults(m_prompt, m_source);
    ASSERT_EQ(m_prompt.count(Kind::Question), 1);
    EXPECT_EQ(m_prompt.shown()[1].text, u"Are you sure you wish to overwrite "_s + target + u" ?"_s);
    EXPECT_EQ(m_target.read(u"old.xls"_s), QByteArray("old contents"));
    EXPECT_EQ(m_prompt.messageTexts(), QStringList{u"Done."_s});

    m_prompt.clear();
    m_prompt.chooseFileNext(target);
    m_prompt.answerNext(Prompt::Answer::Yes);
    SaveResults(m_prompt, m_source);
    EXPECT_EQ(m_prompt.count(Kind::Question), 1);
    EXPECT_EQ(m_target.read(u"old.xls"_s), m_workbook);
    EXPECT_EQ(m_prompt.messageTexts(), QStringList{u"Done."_s});
    EXPECT_EQ(entries(), QStringList{u"old.xls"_s});
}

TEST_F(SaveResultTest, CancelWritesNothingButSaysDone) {
    SaveResults(m_prompt, m_source);
    EXPECT_EQ(m_prompt.count(Kind::SaveDialog), 1);
    EXPECT_EQ(m_prompt.messageTexts(), QStringList{u"Done."_s});
    EXPECT_TRUE(entries().isEmpty());
}

TEST_F(SaveResultTest, NameWithoutExtensionIsUsedExactly) {
    m_prompt.chooseFileNext(m_target.file(u"grades"_s));
    SaveResults(m_prompt, m_source);
    EXPECT_EQ(entries(), QStringList{u"grades"_s});
    EXPECT_EQ(m_target.read(u"grades"_s), m_workbook);
}

TEST_F(SaveResultTest, FailedCopyKeepsTheOldFileAndIsReported) {
    m_target.write(u"keep.xls"_s, "the teacher's earlier file");
    const QString target = m_target.file(u"keep.xls"_s);
    QFile::remove(m_source); // the generated workbook has gone
    m_prompt.chooseFileNext(target);
    m_prompt.answerNext(Prompt::Answer::Yes);
    SaveResults(m_prompt, m_source);
    EXPECT_EQ(m_target.read(u"keep.xls"_s), QByteArray("the teacher's earlier file"));
    EXPECT_EQ(entries(), QStringList{u"keep.xls"_s});
    const QStringList texts = m_prompt.messageTexts();
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts[0].contains(m_source)) << texts[0].toStdString();
    EXPECT_TRUE(texts[0].contains(u"\r\nin Ledgerly2021/08/31.Form2.PushButton6_Click at line 110\r\r"_s));
    EXPECT_EQ(m_prompt.shown()[2].caption, u"Application Error"_s);
    EXPECT_EQ(texts[1], u"Done."_s);

    // A folder that does not exist, and a folder in place of a file, are reported too.
    m_work.write(u"qvtemp12345678.xls"_s, m_workbook);
    for (const QString& bad : {m_target.file(u"missing/sub/x.xls"_s), m_target.path()}) {
        m_prompt.clear();
        m_prompt.chooseFileNext(bad);
        m_prompt.answerNext(Prompt::Answer::Yes);
        SaveResults(m_prompt, m_source);
        const QStringList t = m_prompt.messageTexts();
        ASSERT_EQ(t.size(), 2) << bad.toStdString();
        EXPECT_TRUE(t[0].contains(bad)) << t[0].toStdString();
        EXPECT_EQ(t[1], u"Done."_s);
    }
    EXPECT_EQ(entries(), QStringList{u"keep.xls"_s});
}

TEST_F(SaveResultTest, ADeviceOrAPipeAtTheTargetIsRefusedAndLeftAsItIs) {
    const QString fifo = m_target.file(u"pipe.xls"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // A pipe of our own stands for every kind: a real device must never be a target a fault could replace.
    for (const QString& target : {fifo}) {
        m_prompt.clear();
        m_prompt.chooseFileNext(target);
        m_prompt.answerNext(Prompt::Answer::Yes);
        SaveResults(m_prompt, m_source);
        const QStringList texts = m_prompt.messageTexts();
        ASSERT_EQ(texts.size(), 2) << target.toStdString();
        EXPECT_TRUE(
            texts[0].contains(u"Could not save to \"%1\": it is a device, pipe or socket, not a file"_s.arg(target)))
            << texts[0].toStdString();
        EXPECT_EQ(texts[1], u"Done."_s);
    }
    EXPECT_EQ(os::kindOf(fifo), os::FileKind::Other);
    // Nothing is left beside it.
    EXPECT_EQ(QDir(m_target.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
              QStringList{u"pipe.xls"_s});
}

TEST_F(SaveResultTest, TheGeneratedWorkbookItselfIsRefused) {
    // Named directly and by a second spelling of the same path.
    for (const QString& same : {m_source, m_work.path() + u"/./qvtemp12345678.xls"_s}) {
        m_prompt.clear();
        m_prompt.chooseFileNext(same);
        SaveResults(m_prompt, m_source);
        EXPECT_EQ(m_prompt.count(Kind::Question), 0);
        const QStringList texts = m_prompt.messageTexts();
        ASSERT_EQ(texts.size(), 2);
        EXPECT_TRUE(texts[0].contains(u"cannot be saved over itself"_s));
        EXPECT_EQ(texts[1], u"Done."_s);
        EXPECT_EQ(m_work.read(u"qvtemp12345678.xls"_s), m_workbook);
    }
}

TEST_F(SaveResultTest, TwoSavesInARowAreIdentical) {
    m_prompt.chooseFileNext(m_target.file(u"a.xls"_s));
    m_prompt.chooseFileNext(m_target.file(u"b.xls"_s));
    SaveResults(m_prompt, m_source);
    SaveResults(m_prompt, m_source);
    EXPECT_EQ(m_target.read(u"a.xls"_s), m_workbook);
    EXPECT_EQ(m_target.read(u"b.xls"_s), m_workbook);
    EXPECT_EQ(m_prompt.messageTexts(), (QStringList{u"Done."_s, u"Done."_s}));
}
