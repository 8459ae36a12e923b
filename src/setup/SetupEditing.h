#pragma once

#include "setup/StudentsModel.h"
#include "setup/TestsModel.h"

#include <QString>

namespace markwell {

// What an editing operation did, when it did not simply do its job. The window shows the
// matching message; the operations themselves never show anything.
enum class EditOutcome {
    Done,
    Nothing,               // nothing to do (blank points, empty list)
    MissingTestAndPoints,  // "Add" with both inputs blank
    NoTestChosen,          // points given while no test is chosen in the picker
    CurrentStudentDeleted, // "Add Test Points" after its student was deleted
};

// The texts the window shows for the outcomes above.
inline constexpr char16_t kForgotTestPointsMessage[] = u"You forgot to input test/points.";
inline constexpr char16_t kStudentAddedWithoutPointsMessage[] =
    u"The student was added, but without the points: no test is chosen in the \"Test:\" list. Choose the test, "
    u"then press \"Add Test Points\".";
inline constexpr char16_t kChooseTestMessage[] =
    u"No test is chosen in the \"Test:\" list. Choose the test these points belong to, then press "
    u"\"Add Test Points\" again.";
inline constexpr char16_t kCurrentStudentDeletedMessage[] =
    u"The student last added with \"Add Student\" has been deleted, so there is no student to give these points "
    u"to. Add the student with \"Add Student\" first.";

QString messageFor(EditOutcome outcome);

// Empty after removing leading and trailing spaces.
bool isBlank(const QString& text);

// "Add": appends name and points as typed, unless both are blank.
EditOutcome addTest(TestsModel& tests, const QString& name, const QString& points);

// "Delete Selected" on the tests page: removes the selected test and its points field from every
// student. Throws Failure when tests exist but none is selected (selected < 0).
EditOutcome deleteSelectedTest(TestsModel& tests, StudentsModel& students, qsizetype selected);

// "Add Student": appends the student and makes it CurrentStudent; non-blank points go into the
// field of the test chosen in the picker (pickerIndex, -1 for none). With points but no test the
// student is still added and NoTestChosen is returned.
EditOutcome addStudent(StudentsModel& students, const QString& name, const QString& id, const QString& points,
                       int pickerIndex);

// "Add Test Points": writes non-blank points for the chosen test into CurrentStudent. Throws
// Failure when no student was added since the start.
EditOutcome addTestPoints(StudentsModel& students, const QString& points, int pickerIndex);

// "Delete Selected" on the students page. Throws Failure when students exist but none is selected.
EditOutcome deleteSelectedStudent(StudentsModel& students, qsizetype selected);

} // namespace markwell
