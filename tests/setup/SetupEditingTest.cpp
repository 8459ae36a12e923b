#include "setup/SetupEditing.h"
#include "setup/SampleData.h"

#include "common/ErrorReport.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;
using namespace markwell;

namespace {

class Editing : public ::testing::Test {
protected:
    TestsModel tests;
    StudentsModel students;
    QAbstractItemModelTester testsTester{&tests, QAbstractItemModelTester::FailureReportingMode::Fatal};
    QAbstractItemModelTester studentsTester{&students, QAbstractItemModelTester::FailureReportingMode::Fatal};

    // The picker and the students columns follow the tests list, as a tab change makes them.
    void refresh() { students.setTestColumns(tests.names()); }
    QStringList pointsOf(qsizetype row) const {
        QStringList out;
        for (int c = 2; c < students.columnCount(); ++c) {
            out << students.field(row, c);
        }
        return out;
    }
};

} // namespace

TEST_F(Editing, AddTestNeedsNameOrPoints) {
    EXPECT_EQ(addTest(tests, u"  "_s, QString()), EditOutcome::MissingTestAndPoints);
    EXPECT_EQ(messageFor(EditOutcome::MissingTestAndPoints), u"You forgot to input test/points."_s);
    EXPECT_EQ(tests.size(), 0);
    EXPECT_EQ(addTest(tests, u"Quiz"_s, QString()), EditOutcome::Done);
    EXPECT_EQ(addTest(tests, QString(), u"20"_s), EditOutcome::Done);
    EXPECT_EQ(addTest(tests, u"Quiz"_s, u" 10 "_s), EditOutcome::Done);
    ASSERT_EQ(tests.size(), 3);
    EXPECT_EQ(tests.rows()[0], (TestRow{u"Quiz"_s, u""_s}));
    EXPECT_EQ(tests.rows()[1], (TestRow{u""_s, u"20"_s}));
    EXPECT_EQ(tests.rows()[2].possiblePoints, u" 10 "_s);
}

TEST_F(Editing, DeletingATestDropsItsPointsFromEveryStudent) {
    for (const auto& name : {u"T1"_s, u"T2"_s, u"T3"_s}) {
        addTest(tests, name, u"10"_s);
    }
    refresh();
    addStudent(students, u"Ann"_s, u"1"_s, u"a1"_s, 0);
    addTestPoints(students, u"a2"_s, 1);
    addTestPoints(students, u"a3"_s, 2);
    addStudent(students, u"Bo"_s, u"2"_s, u"b3"_s, 2);

    EXPECT_EQ(deleteSelectedTest(tests, students, 1), EditOutcome::Done);
    EXPECT_EQ(tests.names(), (QStringList{u"T1"_s, u"T3"_s}));
    refresh();
    // The points of T3 stay with T3, now the second test.
    EXPECT_EQ(pointsOf(0), (QStringList{u"a1"_s, u"a3"_s}));
    EXPECT_EQ(pointsOf(1), (QStringList{u""_s, u"b3"_s}));
}

TEST_F(Editing, DeleteNeedsASelectionWhenRowsExist) {
    EXPECT_EQ(deleteSelectedTest(tests, students, -1), EditOutcome::Nothing);
    EXPECT_EQ(deleteSelectedStudent(students, -1), EditOutcome::Nothing);
    addTest(tests, u"T1"_s, u"1"_s);
    addStudent(students, u"Ann"_s, QString(), QString(), -1);
    EXPECT_THROW(deleteSelectedTest(tests, students, -1), Failure);
    EXPECT_THROW(deleteSelectedStudent(students, -1), Failure);
    EXPECT_THROW(deleteSelectedStudent(students, 7), Failure);
    EXPECT_EQ(tests.size(), 1);
    EXPECT_EQ(students.size(), 1);
    EXPECT_EQ(deleteSelectedStudent(students, 0), EditOutcome::Done);
    EXPECT_EQ(students.size(), 0);
}

TEST_F(Editing, AddStudentWithAndWithoutAChosenTest) {
    addTest(tests, u"T1"_s, u"10"_s);
    addTest(tests, u"T2"_s, u"10"_s);
    refresh();
    EXPECT_EQ(addStudent(students, u"Ann"_s, u"S-1"_s, u"9"_s, 1), EditOutcome::Done);
    EXPECT_EQ(pointsOf(0), (QStringList{u""_s, u"9"_s}));
    // Points while no test is chosen: the student is added all the same, without points.
    EXPECT_EQ(addStudent(students, u""_s, u""_s, u"7"_s, -1), EditOutcome::NoTestChosen);
    ASSERT_EQ(students.size(), 2);
    EXPECT_EQ(pointsOf(1), (QStringList{u""_s, u""_s}));
    EXPECT_EQ(students.currentRow(), 1);
    // Blank points need no test.
    EXPECT_EQ(addStudent(students, u"Cy"_s, u"3"_s, u"   "_s, -1), EditOutcome::Done);
    EXPECT_EQ(students.currentRow(), 2);
}

TEST_F(Editing, AddTestPointsWritesToCurrentStudentOnly) {
    addTest(tests, u"T1"_s, u"10"_s);
    addTest(tests, u"T2"_s, u"10"_s);
    refresh();
    // Restored rows do not make a CurrentStudent: that is a failure and nothing changes.
    students.append(u"Restored"_s);
    EXPECT_THROW(addTestPoints(students, u"5"_s, 0), Failure);
    EXPECT_EQ(pointsOf(0), (QStringList{u""_s, u""_s}));
    EXPECT_EQ(addTestPoints(students, u"  "_s, 0), EditOutcome::Nothing);

    addStudent(students, u"Ann"_s, u"1"_s, QString(), -1);
    addStudent(students, u"Bo"_s, u"2"_s, QString(), -1);
    EXPECT_EQ(addTestPoints(students, u"8"_s, 1), EditOutcome::Done);
    EXPECT_EQ(addTestPoints(students, u"9"_s, 1), EditOutcome::Done); // replaces the earlier value
    EXPECT_EQ(addTestPoints(students, u"4"_s, -1), EditOutcome::NoTestChosen);
    EXPECT_EQ(pointsOf(2), (QStringList{u""_s, u"9"_s}));
    EXPECT_EQ(pointsOf(1), (QStringList{u""_s, u""_s}));

    // Deleting a row before CurrentStudent keeps it bound to the same student.
    deleteSelectedStudent(students, 0);
    EXPECT_EQ(addTestPoints(students, u"3"_s, 0), EditOutcome::Done);
    EXPECT_EQ(students.rows()[1].name, u"Bo"_s);
    EXPECT_EQ(pointsOf(1), (QStringList{u"3"_s, u"9"_s}));

    // Deleting CurrentStudent itself: a short message, no row is touched or brought back.
    deleteSelectedStudent(students, 1);
    const auto before = students.rows();
    EXPECT_EQ(addTestPoints(students, u"1"_s, 0), EditOutcome::CurrentStudentDeleted);
    EXPECT_EQ(students.rows(), before);
    EXPECT_FALSE(messageFor(EditOutcome::CurrentStudentDeleted).isEmpty());
}

TEST_F(Editing, PointsNeedAColumn) {
    // A picker index beyond the students columns is refused, not written out of bounds.
    const qsizetype row = students.append(u"Ann"_s);
    EXPECT_THROW(students.setField(row, 2, u"5"_s), Failure);
    EXPECT_THROW(students.setField(4, 0, u"x"_s), Failure);
    EXPECT_TRUE(students.rows()[0].points.isEmpty());
}

TEST_F(Editing, ColumnsFollowTheTestsOnlyWhenRebuilt) {
    QSignalSpy headers(&students, &QAbstractItemModel::headerDataChanged);
    addTest(tests, u"Same"_s, u"1"_s);
    addTest(tests, u"Same"_s, u"2"_s);
    addTest(tests, QString(), u"3"_s);
    EXPECT_EQ(students.columnCount(), 2);
    refresh();
    EXPECT_EQ(headers.count(), 1);
    ASSERT_EQ(students.columnCount(), 5);
    EXPECT_EQ(students.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), u"Student Name"_s);
    EXPECT_EQ(students.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), u"Student ID"_s);
    EXPECT_EQ(students.headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), u"Same"_s);
    EXPECT_EQ(students.headerData(4, Qt::Horizontal, Qt::DisplayRole).toString(), QString());
    students.setTestColumns({});
    EXPECT_EQ(students.columnCount(), 2);
}

TEST_F(Editing, SampleStudentGetsPointsForThePickerLinesOnly) {
    // First start: empty picker, so the student has name and ID but no points.
    EXPECT_EQ(appendSampleStudent(students, 0), 0);
    EXPECT_EQ(students.rows()[0], (StudentRow{u"Thomas Ellery"_s, u"E16-28"_s, {}}));
    EXPECT_EQ(students.currentState(), StudentsModel::Current::None);

    // Three tests in an up-to-date picker: "50" for each of them.
    for (const auto& name : {u"A"_s, u"B"_s, u"C"_s}) {
        addTest(tests, name, u"1"_s);
    }
    refresh();
    appendSampleStudent(students, 3);
    EXPECT_EQ(pointsOf(1), (QStringList{u"50"_s, u"50"_s, u"50"_s}));
    const auto sampleTests = SampleData::tests();
    EXPECT_EQ(sampleTests[0], (TestRow{u"Mathematics"_s, u"80"_s}));
    EXPECT_EQ(sampleTests[1], (TestRow{u"History"_s, u"70"_s}));
}

TEST(ListLimits, AppendBeyondTheLimitIsAnOverflow) {
    TestsModel tests;
    for (qsizetype i = 0; i < kMaxListRows; ++i) {
        tests.append(TestRow{});
    }
    EXPECT_THROW(tests.append(TestRow{}), Failure);
    EXPECT_EQ(tests.size(), kMaxListRows);
}
