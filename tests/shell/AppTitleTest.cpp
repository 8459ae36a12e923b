#include "shell/AppTitle.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using markwell::deriveApplicationTitle;

TEST(ApplicationTitle, CutsTheLastWordAtLeastOnce) {
    EXPECT_EQ(deriveApplicationTitle(u"Markwell Software"_s), u"Markwell"_s);
    EXPECT_EQ(deriveApplicationTitle(u"Alpha Beta Gamma Delta Epsilon Zeta"_s), u"Alpha Beta Gamma Delta Epsilon"_s);
    // 48 characters: words go until 40 or fewer remain.
    EXPECT_EQ(deriveApplicationTitle(u"Aaaaaaaaaa Bbbbbbbbbb Cccccccccc Dddddddddd Eeee"_s),
              u"Aaaaaaaaaa Bbbbbbbbbb Cccccccccc"_s);
    markwell::SetApplicationTitle();
    EXPECT_EQ(markwell::applicationTitle(), u"Markwell"_s);
}
