#include "setup/SetupEditing.h"

#include "common/ErrorReport.h"

using namespace Qt::Literals::StringLiterals;

namespace markwell {

QString messageFor(EditOutcome outcome) {
    switch (outcome) {
    case EditOutcome::MissingTestAndPoints:
        return QString::fromUtf16(kForgotTestPointsMessage);
    case EditOutcome::NoTestChosen:
        return QString::fromUtf16(kChooseTestMessage);
    case EditOutcome::CurrentStudentDeleted:
        return QString::fromUtf16(kCurrentStudentDeletedMessage);
    case EditOutcome::Done:
    case EditOutcome::Nothing:
        break;
    }
    return {};
}

bool isBlank(const QString& text) {
    for (const QChar c : text) {
        if (c != u' ') {
            return false;
        }
    }
    return true;
}

EditOutcome addTest(TestsModel& tests, const QString& name, const QString& points) {
    if (isBlank(name) && isBlank(points)) {
        return EditOutcome::MissingTestAndPoints;
    }
    tests.append(TestRow{name, points});
    return EditOutcome::Done;
}

EditOutcome deleteSelectedTest(TestsModel& tests, StudentsModel& students, qsizetype selected) {
    if (tests.size() == 0) {
        return EditOutcome::Nothing;
    }
    if (selected < 0 || selected >= tests.size()) {
        throw Failure(u"No test is selected in the tests list; select the test to delete first."_s);
    }
    tests.removeAt(selected);
    students.removePointsOfTest(selected);
    return EditOutcome::Done;
}

EditOutcome addStudent(StudentsModel& students, const QString& name, const QString& id, const QString& points,
                       int pickerIndex) {
    const qsizetype row = students.append(name);
    students.makeCurrent(row);
    students.setField(row, 1, id);
    if (isBlank(points)) {
        return EditOutcome::Done;
    }
    if (pickerIndex < 0) {
        return EditOutcome::NoTestChosen;
    }
    students.setField(row, pickerIndex + 2, points);
    return EditOutcome::Done;
}

EditOutcome addTestPoints(StudentsModel& students, const QString& points, int pickerIndex) {
    if (isBlank(points)) {
        return EditOutcome::Nothing;
    }
    switch (students.currentState()) {
    case StudentsModel::Current::None:
        throw Failure(u"No student has been added with \"Add Student\" since the program started, so there is no "
                      u"student to give these points to."_s);
    case StudentsModel::Current::Deleted:
        return EditOutcome::CurrentStudentDeleted;
    case StudentsModel::Current::Row:
        break;
    }
    if (pickerIndex < 0) {
        return EditOutcome::NoTestChosen;
    }
    students.setField(students.currentRow(), pickerIndex + 2, points);
    return EditOutcome::Done;
}

EditOutcome deleteSelectedStudent(StudentsModel& students, qsizetype selected) {
    if (students.size() == 0) {
        return EditOutcome::Nothing;
    }
    if (selected < 0 || selected >= students.size()) {
        throw Failure(u"No student is selected in the students list; select the student to delete first."_s);
    }
    students.removeAt(selected);
    return EditOutcome::Done;
}

} // namespace markwell
