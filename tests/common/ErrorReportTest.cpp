#include "common/ErrorReport.h"

#include "ScriptedPrompt.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using markwell::ErrorTrap;
using markwell::Failure;
using markwell::test::ScriptedPrompt;

namespace {
const QString kLoad = u"in Ledgerly2021/08/31.Form1.Form_Load "_s;
}

TEST(ErrorReport, ComposesMessageCharacterForCharacter) {
    const QString text = markwell::composeApplicationError(u"in Ledgerly2021/08/31.Form1.PushButton6_Click "_s, 118,
                                                           u"File not found"_s);
    EXPECT_EQ(text, u"File not found\r\nin Ledgerly2021/08/31.Form1.PushButton6_Click at line 118\r\r"
                    u"Please email screenshot of this message to support@markwell-software.example"_s);
}

TEST(ErrorReport, EmptyDescriptionStartsWithLineBreak) {
    const QString text = markwell::composeApplicationError(kLoad, 0, QString());
    EXPECT_TRUE(text.startsWith(u"\r\nin Ledgerly2021/08/31.Form1.Form_Load at line 0\r\r"_s));
}

TEST(ErrorReport, ShownWithCaptionAndWarningIcon) {
    ScriptedPrompt prompt;
    markwell::ShowApplicationError(prompt, kLoad, 104, u"Type mismatch"_s);
    ASSERT_EQ(prompt.shown().size(), 1u);
    EXPECT_EQ(prompt.shown()[0].caption, u"Application Error"_s);
    EXPECT_EQ(prompt.shown()[0].icon, markwell::Prompt::Icon::Warning);
}

TEST(ErrorTrap, FirstFailureIsShownAtOnceAndTheRestGatheredIntoOneMoreBox) {
    ScriptedPrompt prompt;
    int ran = 0;
    {
        ErrorTrap trap(prompt, kLoad);
        trap.run([&] { throw Failure(u"before any label"_s); });
        // The first report is there before the routine goes on.
        ASSERT_EQ(prompt.messageTexts().size(), 1);
        trap.step(100, [&] { ++ran; });
        trap.step(102, [&] { throw Failure(u"first"_s); });
        trap.run([&] { throw std::runtime_error("unlabelled statement keeps 102"); });
        trap.step(104, [&] { ++ran; });
        for (int i = 0; i < 3; ++i) {
            trap.step(106, [&] {
                if (i != 1) {
                    throw Failure(u"loop pass"_s);
                }
            });
        }
        EXPECT_EQ(ran, 2);
        EXPECT_EQ(trap.reportCount(), 5);
        EXPECT_EQ(prompt.messageTexts().size(), 1);
    }
    const QStringList texts = prompt.messageTexts();
    ASSERT_EQ(texts.size(), 2);
    EXPECT_EQ(texts[0], markwell::composeApplicationError(kLoad, 0, u"before any label"_s));
    EXPECT_EQ(texts[1], u"After the first report, 4 more steps failed in the same run:\r\n"_s + kLoad +
                            u"at line 102: first\r\n"_s + kLoad + u"at line 102: unlabelled statement keeps 102\r\n"_s +
                            kLoad +
                            u"at line 106: loop pass (2 times)\r\rPlease email screenshot of this message to "
                            u"support@markwell-software.example"_s);
    for (const auto& shown : prompt.shown()) {
        EXPECT_EQ(shown.caption, u"Application Error"_s);
        EXPECT_EQ(shown.icon, markwell::Prompt::Icon::Warning);
    }
}

TEST(ErrorTrap, ARunWithoutFailuresOrWithOneShowsNoSecondBox) {
    ScriptedPrompt prompt;
    {
        ErrorTrap trap(prompt, kLoad);
        trap.step(100, [] {});
    }
    EXPECT_TRUE(prompt.shown().empty());
    {
        ErrorTrap trap(prompt, kLoad);
        trap.step(100, [] { throw Failure(u"only one"_s); });
    }
    EXPECT_EQ(prompt.messageTexts(), QStringList{markwell::composeApplicationError(kLoad, 100, u"only one"_s)});
    // Each run starts afresh: its first failure is shown in full again.
    prompt.clear();
    {
        ErrorTrap trap(prompt, kLoad);
        trap.step(102, [] { throw Failure(u"next run"_s); });
    }
    EXPECT_EQ(prompt.messageTexts(), QStringList{markwell::composeApplicationError(kLoad, 102, u"next run"_s)});
}

TEST(ErrorTrap, ARoutineCalledFromATrappedOneBelongsToTheCallersRun) {
    ScriptedPrompt prompt;
    const QString callee = u"in Ledgerly2021/08/31.Excel1.saveCellsActivesheet "_s;
    {
        ErrorTrap outer(prompt, kLoad);
        outer.step(246, [&] {
            ErrorTrap inner(prompt, callee);
            inner.step(112, [] { throw Failure(u"no picture"_s); });
            inner.step(114, [] { throw Failure(u"still none"_s); });
        });
        outer.step(256, [] { throw Failure(u"nothing to load"_s); });
        EXPECT_EQ(outer.reportCount(), 1);
    }
    const QStringList texts = prompt.messageTexts();
    ASSERT_EQ(texts.size(), 2);
    // The first failure of the run is the callee's, under its own location text and label.
    EXPECT_EQ(texts[0], markwell::composeApplicationError(callee, 112, u"no picture"_s));
    EXPECT_TRUE(
        texts[1].contains(callee + u"at line 114: still none\r\n"_s + kLoad + u"at line 256: nothing to load"_s))
        << texts[1].toStdString();
}

TEST(ErrorTrap, AFloodOfFailuresListsTheFirstKindsAndCountsTheRest) {
    ScriptedPrompt prompt;
    {
        ErrorTrap trap(prompt, kLoad);
        trap.step(100, [] { throw Failure(u"first"_s); });
        for (int i = 0; i < 10000; ++i) {
            trap.step(194, [] { throw Failure(u"No workbook is open."_s); });
        }
        for (int label = 300; label < 300 + 2 * (markwell::kMaxListedFailures + 5); label += 2) {
            trap.step(label, [] { throw Failure(u"another"_s); });
        }
    }
    const QStringList texts = prompt.messageTexts();
    ASSERT_EQ(texts.size(), 2);
    const QString summary = texts[1];
    EXPECT_TRUE(summary.startsWith(u"After the first report, 10025 more steps failed in the same run:"_s));
    EXPECT_TRUE(summary.contains(u"at line 194: No workbook is open. (10000 times)"_s));
    EXPECT_EQ(summary.count(u"\r\n"_s), markwell::kMaxListedFailures + 1);
    EXPECT_TRUE(summary.contains(u"\r\nand 6 more.\r\r"_s)) << summary.toStdString();
}

TEST(ErrorTrap, FailingConditionRunsTheGuardedBranch) {
    ScriptedPrompt prompt;
    ErrorTrap trap(prompt, kLoad);
    bool branch = false;
    if (trap.test(110, []() -> bool { throw Failure(u"Type mismatch"_s); })) {
        branch = true;
    }
    EXPECT_TRUE(branch);
    EXPECT_FALSE(trap.test(112, [] { return false; }));
    ASSERT_EQ(prompt.messageTexts().size(), 1);
    EXPECT_TRUE(prompt.messageTexts()[0].contains(u"at line 110"_s));
}
