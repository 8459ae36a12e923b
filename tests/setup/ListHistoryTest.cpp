#include "setup/ListHistory.h"
#include "setup/RosterImport.h"
#include "setup/SampleData.h"
#include "setup/SetupEditing.h"

#include "common/ErrorReport.h"

#include <QAbstractItemModelTester>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

namespace {

struct Lists {
    std::vector<TestRow> tests;
    std::vector<StudentRow> students;
    StudentsModel::Current current;
    qsizetype currentRow;
    GeneralOptions options;
    friend bool operator==(const Lists&, const Lists&) = default;
};

class History : public ::testing::Test {
protected:
    TestsModel tests;
    StudentsModel students;
    QAbstractItemModelTester testsTester{&tests, QAbstractItemModelTester::FailureReportingMode::Fatal};
    QAbstractItemModelTester studentsTester{&students, QAbstractItemModelTester::FailureReportingMode::Fatal};
    GeneralOptions options{u"School"_s, u"Teacher"_s, u"Class"_s, u"2026"_s};
    ListHistory history{tests, students};

    void SetUp() override {
        history.setOptionsAccess({[this] { return options; }, [this](const GeneralOptions& o) { options = o; }});
        for (const auto& name : {u"T1"_s, u"T2"_s, u"T3"_s}) {
            addTest(tests, name, u"10"_s);
        }
        students.setTestColumns(tests.names());
        addStudent(students, u"Ann"_s, u"1"_s, u"a1"_s, 0);
        addTestPoints(students, u"a3"_s, 2);
        addStudent(students, u"Bo"_s, u"2"_s, u"b2"_s, 1);
        addStudent(students, u"Cy"_s, u"3"_s, QString(), -1);
    }
    Lists now() const {
        return {tests.rows(), students.rows(), students.currentState(), students.currentRow(), options};
    }
};

} // namespace

TEST_F(History, EveryKindOfChangeIsTakenBackAndDoneAgainExactly) {
    const std::vector<StudentRow> pasted{{u"Di"_s, u"4"_s, {u"d1"_s}}, {u"Ed"_s, u"5"_s, {}}};
    const struct {
        const char* what;
        std::function<void()> change;
        bool withOptions = false;
    } cases[] = {
        {"add a test", [this] { addTest(tests, u"T4"_s, u"5"_s); }},
        {"delete a test with points", [this] { deleteSelectedTest(tests, students, 0); }},
        {"add a student", [this] { addStudent(students, u"Di"_s, u"4"_s, u"d2"_s, 1); }},
        {"delete the current student", [this] { deleteSelectedStudent(students, 2); }},
        {"delete a student before it", [this] { deleteSelectedStudent(students, 0); }},
        {"add test points", [this] { addTestPoints(students, u"c3"_s, 2); }},
        {"paste students", [&] { appendStudents(students, pasted); }},
        {"edit a test name", [this] { tests.setData(tests.index(1, 0), u"Quiz"_s); }},
        {"edit a student's points", [this] { students.setData(students.index(0, 3), u"7"_s); }},
        {"sample data",
         [this] {
             options = SampleData::options();
             for (const TestRow& t : SampleData::tests()) {
                 tests.append(t);
             }
             appendSampleStudent(students, 3);
         },
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Lists before = now();
        history.record(c.change, c.withOptions);
        const Lists after = now();
        ASSERT_NE(before, after);
        ASSERT_TRUE(history.undo());
        EXPECT_EQ(now(), before);
        ASSERT_TRUE(history.redo());
        EXPECT_EQ(now(), after);
        ASSERT_TRUE(history.undo()); // each case starts from the same lists
    }
    EXPECT_FALSE(history.canUndo());
}

TEST_F(History, APartialChangeThatFailsIsStillUndoneAndNoChangeLeavesNoStep) {
    const Lists before = now();
    history.record([] {});
    history.record([this] { students.setData(students.index(0, 0), u"A|nn"_s); }); // refused
    EXPECT_FALSE(history.canUndo());

    EXPECT_THROW(history.record([this] {
        deleteSelectedStudent(students, 0);
        deleteSelectedStudent(students, 7);
    }),
                 Failure);
    EXPECT_EQ(students.size(), 2);
    ASSERT_TRUE(history.undo());
    EXPECT_EQ(now(), before);
    EXPECT_FALSE(history.undo());
}

TEST_F(History, AChangeToOneStudentOfAFullClassKeepsOneRowAndOldStepsAreForgotten) {
    QStringList tenTests;
    for (int k = 0; k < 10; ++k) {
        tenTests << u"T%1"_s.arg(k);
    }
    students.setTestColumns(tenTests);
    const std::vector<StudentRow> many(static_cast<size_t>(kMaxListRows - students.size()),
                                       StudentRow{u"X"_s, {}, tenTests});
    history.record([&] { students.appendRows(many); });
    history.record([this] { students.setData(students.index(20000, 1), u"id"_s); });
    EXPECT_EQ(history.heldRows(), static_cast<qsizetype>(many.size()) + 2);
    // Each of these changes every row; the oldest steps go once too many rows are held.
    for (int k = 0; k < 8; ++k) {
        history.record([this] { students.removePointsOfTest(0); });
    }
    EXPECT_LE(history.heldRows(), ListHistory::kMaxHeldRows);
    int undone = 0;
    while (history.undo()) {
        ++undone;
    }
    EXPECT_GE(undone, 5);
    EXPECT_LT(undone, 10);
    EXPECT_EQ(students.field(40, 2), u"T%1"_s.arg(8 - undone));
}
