#pragma once

#include "setup/RosterText.h"

#include <QString>

#include <vector>

namespace markwell {

class StudentsModel;

// Rows pasted or dropped into a list are added only after one question that says what will be
// added and names every row that cannot be taken; nothing changes unless the user agrees.

// The question, or the message that says why nothing can be added (canAdd false).
struct RosterOffer {
    QString text;
    bool canAdd = false;
};

// `source` names where the rows come from as it reads after "from": "the pasted text",
// "\"class.csv\"".
RosterOffer offerTests(const RosterRows<TestRow>& roster, const QString& source);
RosterOffer offerStudents(const RosterRows<StudentRow>& roster, const QString& source);

// Appends the rows as "Add Student" appends a student, so the last one becomes CurrentStudent:
// all of them, or none when they do not fit.
void appendStudents(StudentsModel& students, const std::vector<StudentRow>& rows);

} // namespace markwell
