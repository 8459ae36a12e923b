#include "setup/ListHistory.h"
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
    friend bool operator==(const Lists&, const Lists&) = default;
};

class History : public ::testing::Test {
protected:
    TestsModel tests;
    StudentsModel students;
    QAbstractItemModelTester testsTester{&tests, QAbstractItemModelTester::FailureReportingMode::Fatal};
    QAbstractItemModelTester studentsTester{&students, QAbstractItemModelTester::FailureReportingMode::Fatal};
    ListHistory history{tests, students};

    void SetUp() override {
        for (const auto& name : {u"T1"_s, u"T2"_s, u"T3"_s}) {
            addTest(tests, name, u"10"_s);
        }
        students.setTestColumns(tests.names());
        addStudent(students, u"Ann"_s, u"1"_s, u"a1"_s, 0);
        addTestPoints(students, u"a3"_s, 2);
        addStudent(students, u"Bo"_s, u"2"_s, u"b2"_s, 1);
        addStudent(students, u"Cy"_s, u"3"_s, QString(), -1);
    }
    Lists now() const { return {tests.rows(), students.rows(), students.currentState(), students.currentRow()}; }
};

} // namespace

// The window's tests see the rows; these see CurrentStudent, which "Add Test Points" writes to.
TEST_F(History, TheStudentAddedLastIsPutBackWithTheRows) {
    const std::function<void()> changes[] = {
        [this] { addStudent(students, u"Di"_s, u"4"_s, u"d2"_s, 1); },
        [this] { deleteSelectedStudent(students, 2); },
        [this] { deleteSelectedStudent(students, 0); },
        [this] { deleteSelectedTest(tests, students, 0); },
    };
    for (const auto& change : changes) {
        const Lists before = now();
        history.record(change);
        const Lists after = now();
        ASSERT_TRUE(history.undo());
        EXPECT_EQ(now(), before);
        ASSERT_TRUE(history.redo());
        EXPECT_EQ(now(), after);
        ASSERT_TRUE(history.undo());
    }
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
