#pragma once

#include "setup/RosterText.h"

#include <QString>

#include <vector>

namespace markwell {

class StudentsModel;

// Rows pasted or dropped into a list are added only after one question that shows the first rows
// as they will be added, names every row that cannot be taken and every value that will not count
// or is above its possible points, and, when a header row placed the points, the columns that name
// no test and the tests that got no column; nothing changes unless the user agrees.

// The question, or the message that says why nothing can be added (canAdd false). When something
// is left out or will not count, No is to be the question's default button.
struct RosterOffer {
    QString text;
    bool canAdd = false;
    bool noByDefault = false;
};

// `source` names where the rows come from as it reads after "from": "the pasted text",
// "\"class.csv\"". Points are read as `decimalSeparator` reads them; the students' points belong to
// `tests`, the tests of the list they are added to.
RosterOffer offerTests(const RosterRows<TestRow>& roster, const QString& source, QChar decimalSeparator);
RosterOffer offerStudents(const RosterRows<StudentRow>& roster, const QString& source,
                          const std::vector<TestRow>& tests, QChar decimalSeparator);

// Appends the rows as "Add Student" appends a student, so the last one becomes CurrentStudent:
// all of them, or none when they do not fit.
void appendStudents(StudentsModel& students, const std::vector<StudentRow>& rows);

} // namespace markwell
