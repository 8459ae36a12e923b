#include "workbook/sheet/NumericText.h"

#include <gtest/gtest.h>

using namespace markwell::sheet;

TEST(NumericText, LosslessDecimalsBecomeNumbers) {
    const std::pair<const char*, double> cases[] = {
        {"2016", 2016},
        {"80", 80},
        {"12.5", 12.5},
        {"-3", -3},
        {"0.5", 0.5},
        {" 42 ", 42},
        {"+7", 7},
        {"0", 0},
        {"-0", 0},
        {"12.50", 12.5},
        {".5", 0.5},
        {"123456789012345", 123456789012345.0},
        {"0.000123", 0.000123},
        {"1.000000000000000000", 1},
    };
    for (const auto& [text, number] : cases) {
        const Value v = numericTextToValue(text);
        ASSERT_TRUE(v.isNumber()) << text;
        EXPECT_EQ(v.number(), number) << text;
    }
}

TEST(NumericText, EverythingElseStaysTextAsTyped) {
    for (const char* text :
         {"00123", "E16-28", "1e5", "1E5", "1,000", "50%", "3/4/2021", "2021-08-31", "12.5.1", "1234567890123456",
          "0x10",  "- 3",    "--3", ".",   "-",     "  ",  "abc",      "TRUE",       "#N/A",   "12 34",
          "007.5"}) {
        const Value v = numericTextToValue(text);
        ASSERT_TRUE(v.isText()) << text;
        EXPECT_EQ(v.text(), text);
    }
}

TEST(NumericText, EmptyTextEmptiesTheCell) {
    EXPECT_TRUE(numericTextToValue("").isEmpty());
}
