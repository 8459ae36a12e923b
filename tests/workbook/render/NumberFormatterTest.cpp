#include "workbook/render/NumberFormatter.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

using markwell::render::DisplayText;
using markwell::render::formatGeneral;
using markwell::render::NumberFormatter;
using markwell::render::ValueKind;
using markwell::sheet::ErrorCode;
using markwell::sheet::Value;

namespace {

struct Case {
    const char* pattern;
    double number;
    const char* shown;
};

std::string show(const char* pattern, const Value& value, bool date1904 = false) {
    return NumberFormatter(pattern, date1904).format(value).text;
}

TEST(NumberFormatter, GeneralNumbersFitElevenCharacters) {
    const Case cases[] = {
        {"General", 0, "0"},
        {"General", 3, "3"},
        {"General", -12.25, "-12.25"},
        {"General", 0.5, "0.5"},
        {"General", 1.0 / 3, "0.333333333"},
        {"General", 2.0 / 3, "0.666666667"},
        {"General", -1.0 / 3, "-0.33333333"},
        {"General", 0.1 + 0.2, "0.3"},
        {"General", 12345678901, "12345678901"},
        {"General", 123456789012, "1.23457E+11"},
        {"General", 99999999999.5, "1E+11"},
        {"General", 1234567.891, "1234567.891"},
        {"General", 1e20, "1E+20"},
        {"General", 1.5e100, "1.5E+100"},
        {"General", 0.0001, "0.0001"},
        {"General", 0.00001, "1E-05"},
        {"General", 0.000123456789, "0.000123457"},
        {"General", -2.5e-20, "-2.5E-20"},
        {"", 42, "42"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(show(c.pattern, c.number), c.shown) << c.number;
    }
}

TEST(NumberFormatter, GeneralGivesUpDigitsForNarrowColumns) {
    EXPECT_EQ(formatGeneral(1.0 / 3, 5), "0.333");
    EXPECT_EQ(formatGeneral(0.5, 1), "1"); // rounded to what fits
    EXPECT_EQ(formatGeneral(123456, 5), "1E+05");
    EXPECT_EQ(formatGeneral(-123456, 7), "-123456");
    EXPECT_EQ(formatGeneral(-123456, 6), "-1E+05");
    // Nothing fits: the shortest form comes back, longer than asked, and the caller shows ####.
    EXPECT_GT(formatGeneral(123456, 3).size(), 3u);
}

TEST(NumberFormatter, TemplateFormatsRoundHalfAwayFromZero) {
    const Case cases[] = {
        {"0", 2.5, "3"},       {"0", -2.5, "-3"},           {"0", 0.4, "0"},
        {"0", -0.4, "0"}, // no "-0"
        {"0", 1234.5, "1235"}, {"0.00", 1.005, "1.01"},     {"0.00", 0.125, "0.13"},
        {"0.00", 85, "85.00"}, {"0.00", -3.14159, "-3.14"}, {"0.00", 4, "4.00"},
        {"0%", 0.285, "29%"},  {"0%", 0.9, "90%"},          {"0%", 0.97, "97%"},
        {"0%", 1, "100%"},     {"0.00%", 0.8567, "85.67%"}, {"0.00%", 0.00005, "0.01%"},
        {"0.00%", 0, "0.00%"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(show(c.pattern, c.number), c.shown) << c.pattern << " " << c.number;
    }
}

TEST(NumberFormatter, SimplePatterns) {
    const Case cases[] = {
        {"#,##0", 1234567, "1,234,567"},
        {"#,##0", 0, "0"},
        {"#,##0", 999.5, "1,000"},
        {"#,##0", -1234, "-1,234"},
        {"#,##0.00", 1234.567, "1,234.57"},
        {"#,###", 0, ""},
        {"0.0", 2.25, "2.3"},
        {"#.##", 0.5, ".5"},
        {"#.##", 3, "3."},
        {"0.0#", 2.5, "2.5"},
        {"0.0#", 2.567, "2.57"},
        {"0,", 12345, "12"},
        {"0.0,,", 1234567, "1.2"},
        {"000-000", 12345, "012-345"},
        {"00000", 42, "00042"},
        {"\"Score: \"0", 7, "Score: 7"},
        {"0\" pts\"", 7, "7 pts"},
        {"\\$#,##0", 1234, "$1,234"},
        {"[$\xE2\x82\xAC-407] #,##0.00", 1234, "\xE2\x82\xAC 1,234.00"},
        {"0_)", 5, "5 "},
        {"0.00E+00", 12345, "1.23E+04"},
        {"0.00E+00", 0.000123, "1.23E-04"},
        {"0.0E-0", 12345, "1.2E4"},
        {"##0.0E+0", 12345, "12.3E+3"},
        {"0%;-0%", -0.25, "-25%"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(show(c.pattern, c.number), c.shown) << c.pattern << " " << c.number;
    }
}

TEST(NumberFormatter, SectionsChooseBySign) {
    EXPECT_EQ(show("0;(0)", -5), "(5)");
    EXPECT_EQ(show("0;(0)", 5), "5");
    EXPECT_EQ(show("0;(0)", 0), "0");
    EXPECT_EQ(show("0;-0;\"zero\"", 0), "zero");
    EXPECT_EQ(show("0;-0;\"zero\"", -2), "-2");
    EXPECT_EQ(show("0;;", -2), ""); // an empty section hides the value
    EXPECT_EQ(show("0;\"a;b\"", -2), "a;b");

    const DisplayText red = NumberFormatter("0.00;[Red]-0.00").format(-1.5);
    EXPECT_EQ(red.text, "-1.50");
    EXPECT_EQ(red.colour, 0xFF0000u);
    EXPECT_FALSE(NumberFormatter("0.00;[Red]-0.00").format(1.5).colour);
}

TEST(NumberFormatter, TextBooleansAndErrors) {
    EXPECT_EQ(show("0;0;0;\"Name: \"@", "Ann"), "Name: Ann");
    EXPECT_EQ(show("@", "x"), "x");
    EXPECT_EQ(show("@", 5), "5");
    EXPECT_EQ(show("0.00%", "Average"), "Average");

    const NumberFormatter f("0.00");
    EXPECT_EQ(f.format(Value("")).kind, ValueKind::Text);
    EXPECT_EQ(f.format(Value()).kind, ValueKind::Empty);
    EXPECT_EQ(f.format(Value(true)).text, "TRUE");
    EXPECT_EQ(f.format(Value(false)).text, "FALSE");
    EXPECT_EQ(f.format(Value(true)).kind, ValueKind::Boolean);
    const std::pair<ErrorCode, const char*> errors[] = {{ErrorCode::Div0, "#DIV/0!"},  {ErrorCode::NA, "#N/A"},
                                                        {ErrorCode::Value, "#VALUE!"}, {ErrorCode::Ref, "#REF!"},
                                                        {ErrorCode::Name, "#NAME?"},   {ErrorCode::Num, "#NUM!"}};
    for (const auto& [code, text] : errors) {
        const DisplayText d = f.format(Value(code));
        EXPECT_EQ(d.text, text);
        EXPECT_EQ(d.kind, ValueKind::Error);
    }
    // A number the machine could not show as a cell value.
    EXPECT_EQ(f.format(std::numeric_limits<double>::infinity()).text, "#NUM!");
    EXPECT_EQ(NumberFormatter("General").format(std::numeric_limits<double>::quiet_NaN()).text, "#NUM!");
}

TEST(NumberFormatter, DatesAndTimes) {
    EXPECT_EQ(show("dd/mm/yyyy", 45000), "15/03/2023");
    EXPECT_EQ(show("d mmm yy", 45000), "15 Mar 23");
    EXPECT_EQ(show("dddd, mmmm d", 45000), "Wednesday, March 15");
    EXPECT_EQ(show("yyyy-mm-dd", 1), "1900-01-01");
    EXPECT_EQ(show("yyyy-mm-dd", 59), "1900-02-28");
    EXPECT_EQ(show("yyyy-mm-dd", 60), "1900-02-29"); // the day the 1900 system counts
    EXPECT_EQ(show("yyyy-mm-dd", 61), "1900-03-01");
    EXPECT_EQ(show("yyyy-mm-dd", 0, true), "1904-01-01");
    EXPECT_EQ(show("h:mm AM/PM", 0.75), "6:00 PM");
    EXPECT_EQ(show("h:mm AM/PM", 0), "12:00 AM");
    EXPECT_EQ(show("hh:mm:ss", 0.5 + 5.0 / 86400), "12:00:05");
    EXPECT_EQ(show("mm:ss", 90.0 / 86400), "01:30"); // minutes before seconds
    EXPECT_EQ(show("[h]:mm", 1.5), "36:00");
    EXPECT_TRUE(NumberFormatter("dd/mm/yyyy").format(-1).unshowable);
    EXPECT_TRUE(NumberFormatter("dd/mm/yyyy").format(3e6).unshowable);
}

TEST(NumberFormatter, OddPatternsNeverBreak) {
    // Unclosed quotes and brackets, dangling escapes, stray characters: some text, no crash.
    const char* patterns[] = {"\"open", "[Red", "0\\",     "0_",       "0*",    ";;;;;;",     "E+",
                              ".",      ",,,",  "[>100]0", "\xE2\x82", "0.0.0", "#,##0.00,,%"};
    for (const char* p : patterns) {
        const NumberFormatter f(p);
        (void)f.format(1234.5);
        (void)f.format(-0.001);
        (void)f.format(Value("t"));
    }
    EXPECT_EQ(show("[>100]0", 5), "5"); // conditions are not evaluated
}

} // namespace
