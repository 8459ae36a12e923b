// "Create Template" on the embedded engine: the filled sheet for T tests and S students, cell by
// cell, against the layout rule of the result.

#include "FillFixture.h"

#include "workbook/formula/Printer.h"
#include "workbook/sheet/CellRef.h"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;
using markwell::test::FillFixture;

namespace {

std::string col(int oneBased) {
    return sheet::columnName(oneBased - 1);
}

class ResultingSheet : public ::testing::TestWithParam<std::tuple<int, int>> {};

} // namespace

TEST_P(ResultingSheet, FollowsTheLayoutRule) {
    const auto [tests, students] = GetParam();
    FillFixture run;
    const sheet::Workbook book = run.fill(test::classOf(tests, students));
    ASSERT_TRUE(run.prompt.shown().empty()) << run.prompt.messageTexts().join(u"\n"_s).toStdString();
    const sheet::Sheet& s = book.sheets.at(0);
    const auto text = [&](int row, int column) { return test::cellText(s, row, column); };
    const auto formula = [&](int row, int column) { return test::cellFormula(book, s, row, column); };

    const int lastTestColumn = 6 + std::max(tests, 5);
    const std::string last = col(lastTestColumn);
    const int R = students == 0 ? 2 : students;

    EXPECT_EQ(text(5, 2), "School");
    for (int t = 1; t <= tests; ++t) {
        EXPECT_EQ(text(6, 6 + t), "Test " + std::to_string(t));
        EXPECT_EQ(s.cell(6, 5 + t)->value.number(), 10.0 * t) << "possible points of test " << t;
    }
    for (int c = 7 + tests; c <= lastTestColumn; ++c) {
        EXPECT_EQ(text(6, c), "") << "unused test column " << c;
    }
    EXPECT_EQ(formula(9, 8), "=COUNTA(G6:" + last + "6)");
    EXPECT_EQ(formula(10, 8), "=SUM(G7:" + last + "7)");
    EXPECT_EQ(formula(12, lastTestColumn), "=IF(OR(" + last + "6," + last + "6>\"\")," + last + "6,\"\")");

    for (int i = 1; i <= R; ++i) {
        const int row = 12 + i;
        const std::string r = std::to_string(row);
        if (i <= students) {
            EXPECT_EQ(text(row, 2), "Student " + std::to_string(i));
            EXPECT_EQ(text(row, 3), "ID" + std::to_string(i));
        } else {
            EXPECT_EQ(text(row, 2), "");
        }
        EXPECT_EQ(formula(row, 4),
                  "=(IF(SUM(G" + r + ":" + last + r + "),ROUND(SUM(G" + r + ":" + last + r + ")/$H$10,2),\"\"))");
        EXPECT_EQ(formula(row, 5), "=IF(D" + r + "<>\"\",HLOOKUP(D" + r + ",GradeTable,2),\"\")");
        // Banding: the first row of each copied pair has no fill, the second the cream fill.
        EXPECT_EQ(test::fillOf(book, s, row, 2), i % 2 == 0 ? std::optional<uint32_t>(0xFDF8EC) : std::nullopt)
            << "row " << row;
    }
    const int spacer = 13 + R;
    EXPECT_EQ(text(spacer, 2), "");
    EXPECT_EQ(s.rowInfoAt(spacer - 1) ? s.rowInfoAt(spacer - 1)->heightTwips : std::nullopt, std::optional<int>(90));
    EXPECT_EQ(text(spacer + 1, 2), "Class Summary");
    const std::string lastStudentArea = "12:D" + std::to_string(spacer);
    EXPECT_EQ(formula(spacer + 2, 4), "=IF(SUM(D" + lastStudentArea + "),AVERAGE(D" + lastStudentArea + "),\"\")");
    EXPECT_EQ(formula(spacer + 3, 4), "=IF(SUM(D" + lastStudentArea + "),MAX(D" + lastStudentArea + "),\"\")");
    EXPECT_EQ(formula(spacer + 4, 4), "=IF(SUM(D" + lastStudentArea + "),MIN(D" + lastStudentArea + "),\"\")");
    EXPECT_EQ(text(spacer + 4, 2), " Lowest Score");
    EXPECT_EQ(s.lastRow() + 1, spacer + 4);
}

INSTANTIATE_TEST_SUITE_P(TestsAndStudents, ResultingSheet,
                         ::testing::Combine(::testing::Range(0, 8), ::testing::Range(0, 6)), [](const auto& p) {
                             return "T" + std::to_string(std::get<0>(p.param)) + "_S" +
                                    std::to_string(std::get<1>(p.param));
                         });

TEST(ResultingSheetPoints, FewerPickerLinesThanTestsWriteOnlyThoseTests) {
    FillFixture run;
    GradebookSetup setup = test::classOf(3, 2);
    setup.pointsCount = 2; // a test was added after the picker was last refreshed
    for (auto& st : setup.students) {
        st.points.resize(2);
    }
    const sheet::Workbook book = run.fill(setup);
    const sheet::Sheet& s = book.sheets.at(0);
    EXPECT_EQ(test::cellText(s, 6, 9), "Test 3");
    EXPECT_TRUE(s.cell(12, 7) != nullptr && s.cell(12, 7)->value.isNumber());
    EXPECT_TRUE(s.cell(12, 8) == nullptr || s.cell(12, 8)->value.isEmpty());
}

TEST(ResultingSheetPoints, MorePickerLinesThanTestsWriteBeyondTheNamedTests) {
    FillFixture run;
    GradebookSetup setup = test::classOf(1, 1);
    setup.pointsCount = 3; // tests were deleted after the picker was last refreshed
    setup.students[0].points = QStringList{u"1"_s, u"2"_s, u"3"_s};
    const sheet::Workbook book = run.fill(setup);
    const sheet::Sheet& s = book.sheets.at(0);
    EXPECT_EQ(s.cell(12, 8)->value.number(), 3.0); // column I, inside the five-column block
    EXPECT_EQ(test::cellText(s, 6, 9), "");
}
