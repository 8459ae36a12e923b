#include "common/DisplayText.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

TEST(DisplayText, WhatCouldSteerATerminalOrReorderTextIsEscaped) {
    const struct {
        QString given;
        QString shown;
    } cases[] = {
        {u"class.txt"_s, u"class.txt"_s},
        {u"two\nlines\tand a tab"_s, u"two\nlines\tand a tab"_s},
        {u"Çelik أحمد 李"_s, u"Çelik أحمد 李"_s},
        {u"a\x1b]0;title\x07.txt"_s, u"a\\x1B]0;title\\x07.txt"_s},
        {u"cr\rdel\x7f"_s, u"cr\\x0Ddel\\x7F"_s},
        {u"csi\u009b2J"_s, u"csi\\x9B2J"_s},
        {u"txt.\u202Eexe.xls"_s, u"txt.\\u{202E}exe.xls"_s},
        {u"\u2066isolated\u2069 \u200Fmark"_s, u"\\u{2066}isolated\\u{2069} \\u{200F}mark"_s},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(markwell::escapeForDisplay(c.given), c.shown) << c.given.toStdString();
    }
}
