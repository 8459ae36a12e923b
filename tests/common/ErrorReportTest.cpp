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

TEST(ErrorTrap, ReportsEachFailingStepWithItsLabelAndGoesOn) {
    ScriptedPrompt prompt;
    ErrorTrap trap(prompt, kLoad);
    int ran = 0;
    trap.run([&] { throw Failure(u"before any label"_s); });
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
    const QStringList texts = prompt.messageTexts();
    ASSERT_EQ(texts.size(), 5);
    EXPECT_TRUE(texts[0].startsWith(u"before any label\r\n"_s + kLoad + u"at line 0\r\r"_s));
    EXPECT_TRUE(texts[1].contains(u"at line 102\r\r"_s));
    EXPECT_TRUE(texts[2].startsWith(u"unlabelled statement keeps 102\r\n"_s));
    EXPECT_TRUE(texts[2].contains(u"at line 102\r\r"_s));
    EXPECT_TRUE(texts[3].contains(u"at line 106\r\r"_s));
    EXPECT_TRUE(texts[4].contains(u"at line 106\r\r"_s));
    EXPECT_EQ(trap.reportCount(), 5);
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
