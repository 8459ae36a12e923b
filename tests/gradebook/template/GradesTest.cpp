#include "FilledTemplate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

using namespace markwell;
using markwell::test::filledTemplate;
using markwell::test::StudentRow;
using markwell::test::TestColumn;
using markwell::test::valueAt;
using markwell::test::valueOf;

namespace {

constexpr int kD = 3, kE = 4, kF = 5, kG = 6;

struct GradeCase {
    const char* why;
    std::optional<double> points; // out of 100 possible
    sheet::Value average, letter, gradePoints;
};

const sheet::Value kNone("");

// One test worth 100 points, so the points are the percentage.
const GradeCase kCases[] = {
    {"exactly on the lowest passing bound", 60, 0.6, "D-", 0.67},
    {"just below it", 59, 0.59, "F", 0.0},
    {"exactly on the A- bound", 90, 0.9, "A-", 3.67},
    {"exactly on the A+ bound", 97, 0.97, "A+", 4.0},
    {"A gives the same grade points as A+", 93, 0.93, "A", 4.0},
    {"above full marks", 105, 1.05, "A+", 4.0},
    {"rounded up onto a bound", 89.5, 0.9, "A-", 3.67},
    {"half a hundredth rounds away from zero", 62.5, 0.63, "D", 1.0},
    {"no points entered", std::nullopt, kNone, kNone, kNone},
    {"only zero points", 0, kNone, kNone, kNone},
};

std::vector<StudentRow> studentsOf(const GradeCase* cases, std::size_t n) {
    std::vector<StudentRow> out;
    for (std::size_t i = 0; i < n; ++i) {
        out.push_back(StudentRow{"Student " + std::to_string(i + 1), "ID" + std::to_string(i + 1), {cases[i].points}});
    }
    return out;
}

} // namespace

TEST(TemplateGrades, AverageLetterAndGradePointsOfEachStudent) {
    const std::size_t n = std::size(kCases);
    const sheet::Workbook wb = filledTemplate({{"Final", 100}}, studentsOf(kCases, n));
    EXPECT_EQ(valueOf(wb, "H9"), sheet::Value(1));
    EXPECT_EQ(valueOf(wb, "H10"), sheet::Value(100));
    for (std::size_t i = 0; i < n; ++i) {
        const GradeCase& c = kCases[i];
        const int row = 13 + static_cast<int>(i);
        SCOPED_TRACE(c.why);
        EXPECT_EQ(valueAt(wb, row, 1), sheet::Value("Student " + std::to_string(i + 1)));
        EXPECT_EQ(valueAt(wb, row, kD), c.average);
        EXPECT_EQ(valueAt(wb, row, kE), c.letter);
        EXPECT_EQ(valueAt(wb, row, kF), c.gradePoints);
    }
}

// The summary rows sit below the students and skip those without an average.
TEST(TemplateGrades, ClassSummarySkipsStudentsWithoutAverage) {
    const std::size_t n = std::size(kCases);
    const sheet::Workbook wb = filledTemplate({{"Final", 100}}, studentsOf(kCases, n));
    std::vector<double> averages, gradePoints, points;
    for (const GradeCase& c : kCases) {
        if (c.average.isNumber()) {
            averages.push_back(c.average.number());
            gradePoints.push_back(c.gradePoints.number());
        }
        if (c.points) {
            points.push_back(*c.points);
        }
    }
    const auto mean = [](const std::vector<double>& v) { return std::accumulate(v.begin(), v.end(), 0.0) / v.size(); };
    const int header = 14 + static_cast<int>(n), avg = header + 1, high = header + 2, low = header + 3;
    EXPECT_EQ(valueAt(wb, header, 1), sheet::Value("Class Summary"));
    EXPECT_EQ(valueAt(wb, header, kG), sheet::Value("Final"));
    EXPECT_NEAR(valueAt(wb, avg, kD).number(), mean(averages), 1e-12);
    EXPECT_EQ(valueAt(wb, avg, kE), sheet::Value("B-")); // 0.82125
    EXPECT_NEAR(valueAt(wb, avg, kF).number(), mean(gradePoints), 1e-12);
    EXPECT_NEAR(valueAt(wb, avg, kG).number(), mean(points), 1e-12); // the zero counts, the empty does not
    EXPECT_EQ(valueAt(wb, high, kD), sheet::Value(1.05));
    EXPECT_EQ(valueAt(wb, high, kE), sheet::Value("A+"));
    EXPECT_EQ(valueAt(wb, low, kD), sheet::Value(0.59));
    EXPECT_EQ(valueAt(wb, low, kE), sheet::Value("F"));
    EXPECT_EQ(valueAt(wb, low, kF), sheet::Value(0.0));
    EXPECT_EQ(valueAt(wb, low, kG), sheet::Value(0.0));
    // A test column nobody uses stays empty in the summary.
    EXPECT_EQ(valueAt(wb, avg, kG + 1), kNone);
    EXPECT_EQ(valueAt(wb, header, kG + 1), kNone);
}

TEST(TemplateGrades, ZeroPossiblePointsShowsTheDivisionErrorInAllThreeColumns) {
    const sheet::Workbook wb =
        filledTemplate({{"Quiz", 0}, {"Essay", std::nullopt}}, {{"Ann", "1", {5, 3}}, {"Ben", "2", {}}});
    const sheet::Value div0(sheet::ErrorCode::Div0);
    EXPECT_EQ(valueOf(wb, "H10"), sheet::Value(0));
    EXPECT_EQ(valueOf(wb, "D13"), div0);
    EXPECT_EQ(valueOf(wb, "E13"), div0);
    EXPECT_EQ(valueOf(wb, "F13"), div0);
    // Without points the average stays empty text, error or not.
    EXPECT_EQ(valueOf(wb, "D14"), kNone);
    EXPECT_EQ(valueOf(wb, "E14"), kNone);
}

TEST(TemplateGrades, FewerThanFiveTestsLeaveTheOtherHeadersEmpty) {
    const sheet::Workbook wb =
        filledTemplate({{"Quiz 1", 10}, {"Quiz 2", 20}, {"Exam", 70}},
                       {{"Ann", "00123", {10, 20, 61}}, {"Ben", "E16-28", {5, std::nullopt, 60}}});
    EXPECT_EQ(valueOf(wb, "H9"), sheet::Value(3));
    EXPECT_EQ(valueOf(wb, "H10"), sheet::Value(100));
    EXPECT_EQ(valueOf(wb, "G12"), sheet::Value("Quiz 1"));
    EXPECT_EQ(valueOf(wb, "I12"), sheet::Value("Exam"));
    EXPECT_EQ(valueOf(wb, "J12"), kNone);
    EXPECT_EQ(valueOf(wb, "K12"), kNone);
    EXPECT_EQ(valueOf(wb, "I16"), sheet::Value("Exam"));
    EXPECT_EQ(valueOf(wb, "K16"), kNone);
    EXPECT_EQ(valueOf(wb, "D13"), sheet::Value(0.91));
    EXPECT_EQ(valueOf(wb, "E13"), sheet::Value("A-"));
    EXPECT_EQ(valueOf(wb, "D14"), sheet::Value(0.65));
    EXPECT_EQ(valueOf(wb, "E14"), sheet::Value("D"));
    EXPECT_EQ(valueOf(wb, "G17"), sheet::Value(7.5));
    EXPECT_EQ(valueOf(wb, "H17"), sheet::Value(20));
    EXPECT_EQ(valueOf(wb, "J17"), kNone);
}

// Seven tests and five students: two copies of column J, two copies of the band with its last
// row removed. Every range of the test block and the summary reaches the new cells.
TEST(TemplateGrades, GrownTemplateCountsEveryTestAndStudent) {
    std::vector<TestColumn> tests;
    for (int t = 1; t <= 7; ++t) {
        tests.push_back({"T" + std::to_string(t), 10});
    }
    const double each[] = {10, 9, 8, 7, 5}; // points on every test
    std::vector<StudentRow> students;
    for (int s = 0; s < 5; ++s) {
        StudentRow st{"S" + std::to_string(s + 1), std::to_string(s + 1), {}};
        st.points.assign(7, each[s]);
        students.push_back(st);
    }
    const sheet::Workbook wb = filledTemplate(tests, students);
    EXPECT_EQ(valueOf(wb, "H9"), sheet::Value(7));
    EXPECT_EQ(valueOf(wb, "H10"), sheet::Value(70));
    EXPECT_EQ(valueOf(wb, "M12"), sheet::Value("T7"));
    const double averages[] = {1.0, 0.9, 0.8, 0.7, 0.5};
    const char* letters[] = {"A+", "A-", "B-", "C-", "F"};
    for (int s = 0; s < 5; ++s) {
        SCOPED_TRACE("student " + std::to_string(s + 1));
        EXPECT_EQ(valueAt(wb, 13 + s, kD), sheet::Value(averages[s]));
        EXPECT_EQ(valueAt(wb, 13 + s, kE), sheet::Value(letters[s]));
    }
    // Spacer row 18, summary header 19, average 20, highest 21, lowest 22.
    EXPECT_EQ(valueAt(wb, 19, 1), sheet::Value("Class Summary"));
    EXPECT_EQ(valueAt(wb, 19, 12), sheet::Value("T7"));
    EXPECT_NEAR(valueAt(wb, 20, kD).number(), 0.78, 1e-12);
    EXPECT_EQ(valueAt(wb, 20, kE), sheet::Value("C+"));
    EXPECT_NEAR(valueAt(wb, 20, 12).number(), 7.8, 1e-12);
    EXPECT_EQ(valueAt(wb, 21, 12), sheet::Value(10));
    EXPECT_EQ(valueAt(wb, 22, 12), sheet::Value(5));
    // The band alternates: plain, cream, plain ...; the odd class ends on a plain row.
    const sheet::Sheet& sh = wb.sheets.front();
    for (int s = 0; s < 5; ++s) {
        const auto fill = wb.formats.at(sh.cell(12 + s, 1)->format).fill;
        EXPECT_EQ(fill, s % 2 == 1 ? std::optional<std::uint32_t>(0xFDF8EC) : std::nullopt) << "row " << 13 + s;
    }
}
