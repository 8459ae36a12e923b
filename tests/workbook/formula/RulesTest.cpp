// The number and text rules the formulas compute by: when numbers are equal, how texts compare,
// how sums accumulate, and the longest text a formula may make.

#include "workbook/formula/Compare.h"
#include "workbook/formula/Parser.h"
#include "workbook/formula/Recalc.h"
#include "workbook/formula/Sum.h"
#include "workbook/sheet/Value.h"
#include "workbook/sheet/Workbook.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace markwell;
using formula::approxEqual;

TEST(Rules, NumbersAreEqualToFifteenSignificantDigits) {
    EXPECT_TRUE(approxEqual(0.1 + 0.2, 0.3));
    EXPECT_TRUE(approxEqual(0.9299999999999999, 0.93));
    EXPECT_TRUE(approxEqual(-0.3, -(0.1 + 0.2)));
    EXPECT_TRUE(approxEqual(1e300, std::nextafter(1e300, 0.0)));
    EXPECT_TRUE(approxEqual(1.0, 1.0 + std::ldexp(1.0, -50)));
    // 2^-47 of the magnitude is too far apart.
    EXPECT_FALSE(approxEqual(1.0, 1.0 + std::ldexp(1.0, -47)));
    EXPECT_FALSE(approxEqual(0.3, -0.3));
    EXPECT_FALSE(approxEqual(0.0, 1e-300));
    EXPECT_FALSE(approxEqual(1e-300, 0.0));
    // Whole numbers have nothing to round: they must match.
    EXPECT_FALSE(approxEqual(4503599627370496.0, 4503599627370497.0));
    EXPECT_TRUE(approxEqual(4503599627370496.0, 4503599627370496.5));
    EXPECT_FALSE(approxEqual(1.0, std::numeric_limits<double>::infinity()));
    EXPECT_FALSE(approxEqual(std::nan(""), std::nan("")));

    EXPECT_EQ(formula::approxAdd(0.1 + 0.2, -0.3), 0.0);
    EXPECT_EQ(formula::approxAdd(0.1, 0.2), 0.1 + 0.2);
    EXPECT_EQ(formula::approxSub(0.3, 0.1 + 0.2), 0.0);
    EXPECT_EQ(formula::approxSub(1.0, 0.9), 1.0 - 0.9);
    EXPECT_EQ(formula::approxValue(0.1 + 0.2), 0.3);
    EXPECT_EQ(formula::approxValue(2.5), 2.5); // few fraction bits: left alone
    EXPECT_EQ(formula::approxValue(1e13 + 0.1), 1e13 + 0.1);
}

TEST(Rules, TextsEqualIgnoringCaseLetterByLetter) {
    using formula::textEqualIgnoringCase;
    EXPECT_TRUE(textEqualIgnoringCase("Quiz", "QUIZ"));
    EXPECT_TRUE(textEqualIgnoringCase("é", "É"));
    EXPECT_TRUE(textEqualIgnoringCase("Über", "über"));
    EXPECT_TRUE(textEqualIgnoringCase("ǅ", "ǆ"));
    EXPECT_TRUE(textEqualIgnoringCase("", ""));
    EXPECT_FALSE(textEqualIgnoringCase("ß", "SS"));
    EXPECT_FALSE(textEqualIgnoringCase("e", "é"));
    EXPECT_FALSE(textEqualIgnoringCase("ab", "abc"));
    EXPECT_FALSE(textEqualIgnoringCase("abc", "ab"));
    // Malformed UTF-8 compares byte by byte instead of failing.
    EXPECT_TRUE(textEqualIgnoringCase(std::string("a\xC3"), std::string("A\xC3")));
    EXPECT_FALSE(textEqualIgnoringCase(std::string("\xFF"), std::string("\xFE")));
}

TEST(Rules, TextsOrderByCollation) {
    using formula::collateText;
    EXPECT_LT(collateText("_", "a"), 0);
    EXPECT_LT(collateText(" ", "!"), 0);
    EXPECT_LT(collateText("9", "a"), 0);
    EXPECT_LT(collateText("10", "9"), 0);
    EXPECT_LT(collateText("a", "B"), 0);
    EXPECT_LT(collateText("e", "é"), 0);
    EXPECT_LT(collateText("é", "f"), 0);
    EXPECT_LT(collateText("", "a"), 0);
    EXPECT_EQ(collateText("ÉCOLE", "école"), 0);
    EXPECT_GT(collateText("zoë", "zoe"), 0);
}

TEST(Rules, ValuesOrderNumbersTextsBooleans) {
    using formula::compareValues;
    using sheet::Value;
    EXPECT_LT(compareValues(Value(1e9), Value("0")), 0);
    EXPECT_LT(compareValues(Value("zzz"), Value(false)), 0);
    EXPECT_EQ(compareValues(Value(), Value(0.0)), 0);
    EXPECT_EQ(compareValues(Value(), Value("")), 0);
    EXPECT_EQ(compareValues(Value(), Value(false)), 0);
    EXPECT_LT(compareValues(Value(), Value("a")), 0);
    EXPECT_GT(compareValues(Value(), Value(-1e-300)), 0);
    EXPECT_EQ(compareValues(Value(0.9299999999999999), Value(0.93)), 0);
    EXPECT_TRUE(formula::equalValues(Value("Über"), Value("ÜBER")));
    EXPECT_FALSE(formula::equalValues(Value("1"), Value(1.0)));
}

// Sums as LibreOffice accumulates them, checked against its results.
TEST(Rules, CompensatedSumsMatchLibreOffice) {
    // A column of adjacent numbers: the lanes keep 1 and 1e-5 apart from the huge cancelling pairs.
    const std::vector<double> column = {0.1, -0.1, -1e20, 1e20, 1, 1e-5, -1e16, 1e16};
    formula::CompensatedSum run = formula::sumRun(column.data(), column.size());
    EXPECT_EQ(run.result(), 1.00001);
    // The same numbers one by one: the last addend cancels the rest to 15 digits, giving 0.
    formula::CompensatedSum oneByOne;
    for (const double x : column) {
        oneByOne.add(x);
    }
    EXPECT_EQ(oneByOne.result(), 0.0);
    // Where plain left-to-right addition is off in the last bit.
    formula::CompensatedSum row;
    for (const double x : {3.19, 3.24, 3.13}) {
        row.add(x);
    }
    EXPECT_EQ(row.result(), 9.56);
    EXPECT_NE(3.19 + 3.24 + 3.13, 9.56);
    // Zeros change nothing, and a sum of sums adds the parts one after another.
    formula::CompensatedSum a, b;
    a.add(0.1);
    a.add(0.0);
    a.add(0.2);
    b.add(-0.3);
    a.add(b);
    EXPECT_EQ(a.result(), 0.0);
    formula::CompensatedSum empty;
    EXPECT_EQ(empty.result(), 0.0);
    EXPECT_EQ(formula::sumRun(column.data(), 0).result(), 0.0);
}

// Numbers joined to text, as LibreOffice writes them: 15 significant digits rounded from the
// shortest decimal of the number, at most 20 decimals, scientific beyond.
TEST(Rules, NumbersAsText) {
    using sheet::numberToText;
    EXPECT_EQ(numberToText(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(numberToText(0.1 + 0.2), "0.3");
    EXPECT_EQ(numberToText(-0.5), "-0.5");
    EXPECT_EQ(numberToText(12), "12");
    EXPECT_EQ(numberToText(0.00001), "0.00001");
    EXPECT_EQ(numberToText(1e-9), "0.000000001");
    EXPECT_EQ(numberToText(123456789012345), "123456789012345");
    // 73609.06142865935 is the shortest decimal of a double just below it: rounded up from there.
    EXPECT_EQ(numberToText(73609.06142865935), "73609.0614286594");
    EXPECT_EQ(numberToText(0.05484091023177245), "0.0548409102317725");
    EXPECT_EQ(numberToText(3.438480878052985e-07), "0.0000003438480878053");
    EXPECT_EQ(numberToText(999999999999999.9), "1E+15");
    EXPECT_EQ(numberToText(1e15), "1E+15");
    EXPECT_EQ(numberToText(4503599627370496), "4.5035996273705E+15");
    EXPECT_EQ(numberToText(-1.5e-10), "-1.5E-10");
    EXPECT_EQ(numberToText(0), "0");
}

namespace {

// The value a formula gives on a sheet where A1 holds `a1`.
sheet::Value computed(const std::string& a1, const std::string& text) {
    sheet::Workbook wb;
    wb.sheets.emplace_back();
    wb.sheets[0].name = "Sheet1";
    wb.sheets[0].cellAt(0, 0).value = sheet::Value(a1);
    wb.sheets[0].cellAt(0, 1).formula = formula::parseFormula(text);
    formula::recalculate(wb);
    return wb.sheets[0].cell(0, 1)->value;
}

} // namespace

// A formula's text holds at most 32,767 UTF-16 code units; a longer one is #VALUE!.
TEST(Rules, TextResultsLongerThanTheLimitAreValueErrors) {
    const std::string almost(32766, 'x');
    EXPECT_EQ(computed(almost, "=A1&\"y\"").text().size(), 32767u);
    EXPECT_EQ(computed(almost, "=A1&\"yz\""), sheet::Value(sheet::ErrorCode::Value));
    // An emoji is two code units: 32765 + 2 fits, 32766 + 2 does not.
    const std::string emoji = "\xF0\x9F\x98\x80";
    EXPECT_TRUE(computed(std::string(32765, 'x'), "=A1&\"" + emoji + "\"").isText());
    EXPECT_EQ(computed(almost, "=A1&\"" + emoji + "\""), sheet::Value(sheet::ErrorCode::Value));
    // Three-byte characters are one code unit each.
    std::string wide;
    for (int i = 0; i < 32767; ++i) {
        wide += "\xE2\x82\xAC"; // the euro sign
    }
    EXPECT_TRUE(computed(wide, "=A1&\"\"").isText());
    EXPECT_EQ(computed(wide, "=A1&\"x\""), sheet::Value(sheet::ErrorCode::Value));
}
