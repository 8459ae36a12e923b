#include "../sheet/MiniTemplate.h"

#include "workbook/formula/Recalc.h"

#include <gtest/gtest.h>

using namespace markwell;
using namespace minitemplate;

namespace {

sheet::Value num(double n) {
    return sheet::Value(n);
}
sheet::Value txt(const char* t) {
    return sheet::Value(t);
}

// Five tests of 20 possible points each (100 in all) unless told otherwise.
sheet::Workbook withTests(const char* possible = "20") {
    sheet::Workbook wb = build();
    const char* cols[] = {"G", "H", "I", "J", "K"};
    for (int i = 0; i < 5; ++i) {
        const std::string c = cols[i];
        put(wb, (c + "6").c_str(), "Test " + std::to_string(i + 1));
        put(wb, (c + "7").c_str(), possible);
    }
    return wb;
}

void points(sheet::Workbook& wb, const char* row, std::initializer_list<const char*> values) {
    const char* cols[] = {"G", "H", "I", "J", "K"};
    int i = 0;
    for (const char* v : values) {
        put(wb, (std::string(cols[i++]) + row).c_str(), v);
    }
}

} // namespace

TEST(GradeFormulas, AveragesOnTheBoundsTakeThatBoundsGrade) {
    struct Case {
        const char* total; // points on the first test, out of 100
        double average;
        const char* letter;
        double gpa;
    };
    const Case cases[] = {
        {"90", 0.9, "A-", 3.67}, {"97", 0.97, "A+", 4}, {"93", 0.93, "A", 4},      {"60", 0.6, "D-", 0.67},
        {"59", 0.59, "F", 0},    {"120", 1.2, "A+", 4}, {"89.5", 0.9, "A-", 3.67}, {"89.4", 0.89, "B+", 3.33},
    };
    for (const Case& c : cases) {
        sheet::Workbook wb = withTests();
        points(wb, "13", {c.total});
        formula::recalculate(wb);
        EXPECT_EQ(valueAt(wb, "D13"), num(c.average)) << c.total;
        EXPECT_EQ(valueAt(wb, "E13"), txt(c.letter)) << c.total;
        EXPECT_EQ(valueAt(wb, "F13"), num(c.gpa)) << c.total;
    }
}

// Two students with 87 and 99 of 100: the class average, 0.9299999999999999 in binary, is on the
// bound of "A" and gets it, as every spreadsheet program computes it.
TEST(GradeFormulas, ClassAverageOnABoundTakesThatBoundsGrade) {
    sheet::Workbook wb = withTests();
    points(wb, "13", {"17", "17", "17", "18", "18"}); // 87
    points(wb, "14", {"20", "20", "20", "20", "19"}); // 99
    formula::recalculate(wb);
    EXPECT_EQ(valueAt(wb, "D17"), num(0.9299999999999999));
    EXPECT_EQ(valueAt(wb, "E17"), txt("A"));
    EXPECT_EQ(valueAt(wb, "E18"), txt("A+"));
    EXPECT_EQ(valueAt(wb, "E19"), txt("B+"));
    EXPECT_EQ(valueAt(wb, "H9"), num(5));
}

TEST(GradeFormulas, HeaderCountsAndTotals) {
    sheet::Workbook wb = withTests();
    put(wb, "K6", "");
    put(wb, "K7", "");
    formula::recalculate(wb);
    EXPECT_EQ(valueAt(wb, "H9"), num(4));
    EXPECT_EQ(valueAt(wb, "H10"), num(80));
    EXPECT_EQ(valueAt(wb, "G12"), txt("Test 1"));
    EXPECT_EQ(valueAt(wb, "K12"), txt(""));
    EXPECT_EQ(valueAt(wb, "K16"), txt(""));
    EXPECT_EQ(valueAt(wb, "D16"), txt("Average"));
}

TEST(GradeFormulas, StudentsWithoutPointsAreLeftOutOfTheSummary) {
    sheet::Workbook wb = withTests();
    points(wb, "13", {"18", "20", "16", "19", "17"}); // 90 of 100
    points(wb, "14", {"0", "0"});                     // only zero points
    formula::recalculate(wb);
    EXPECT_EQ(valueAt(wb, "D14"), txt(""));
    EXPECT_EQ(valueAt(wb, "E14"), txt(""));
    EXPECT_EQ(valueAt(wb, "F14"), txt(""));
    EXPECT_EQ(valueAt(wb, "D17"), num(0.9));
    EXPECT_EQ(valueAt(wb, "E17"), txt("A-"));
    EXPECT_EQ(valueAt(wb, "D18"), num(0.9));
    EXPECT_EQ(valueAt(wb, "D19"), num(0.9));
    EXPECT_EQ(valueAt(wb, "F17"), num(3.67));
    EXPECT_EQ(valueAt(wb, "G17"), num(9)); // AVERAGE over 18 and 0
    EXPECT_EQ(valueAt(wb, "G19"), num(0));
    EXPECT_EQ(valueAt(wb, "I17"), num(16)); // the empty cell of row 14 does not count
}

TEST(GradeFormulas, EmptyGradebookShowsEmptyTexts) {
    sheet::Workbook wb = build();
    formula::recalculate(wb);
    for (const char* a1 : {"D13", "E13", "F13", "D17", "E17", "F17", "G17", "D18", "G19", "G12", "G16"}) {
        EXPECT_EQ(valueAt(wb, a1), txt("")) << a1;
    }
    EXPECT_EQ(valueAt(wb, "H9"), num(0));
    EXPECT_EQ(valueAt(wb, "H10"), num(0));
}

TEST(GradeFormulas, ZeroPossiblePointsShowTheDivisionError) {
    sheet::Workbook wb = withTests("0");
    points(wb, "13", {"5"});
    formula::recalculate(wb);
    const sheet::Value div0(sheet::ErrorCode::Div0);
    EXPECT_EQ(valueAt(wb, "D13"), div0);
    EXPECT_EQ(valueAt(wb, "E13"), div0);
    EXPECT_EQ(valueAt(wb, "F13"), div0);
    EXPECT_EQ(valueAt(wb, "D17"), div0);
    EXPECT_EQ(valueAt(wb, "E17"), div0);
}

TEST(GradeFormulas, NumericTextPointsCountButIdLikeTextDoesNot) {
    sheet::Workbook wb = withTests();
    points(wb, "13", {"20", "012", "abc", "20", "20"}); // "012" stays text, as typed
    formula::recalculate(wb);
    EXPECT_EQ(valueAt(wb, "D13"), num(0.6));
}
