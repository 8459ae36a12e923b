#pragma once

#include "setup/GradebookSetup.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace markwell {

// The stored lists are one text each: "|" between rows, "^" between the fields of a row, no
// quoting and no escapes. A field therefore must never contain either character.
inline constexpr QChar kRowSeparator = u'|';
inline constexpr QChar kFieldSeparator = u'^';

bool containsListSeparator(const QString& text);

// "name^points|name^points", no trailing "|"; an empty list is the empty text.
QString encodeTests(const std::vector<TestRow>& tests);

// "name^id^p1^...^pN|...": every row carries exactly pointsCount points fields, unset ones
// empty, surplus ones left out.
QString encodeStudents(const std::vector<StudentRow>& students, qsizetype pointsCount);

// A restored list: the rows that could be read and one description per field that had no column
// to go into (or per other fault); a surplus field that is empty is dropped without one. Only the first
// kMaxDecodeProblems faults are described one by one; the rest are summed up in one further line so a damaged value
// cannot flood the user.
template <class Row> struct DecodedList {
    std::vector<Row> rows;
    QStringList problems;
};

inline constexpr qsizetype kMaxDecodeProblems = 20;

// Restores the tests list: field 0 is the name, field 1 the possible points; any further field is
// a fault and is dropped. Empty row texts give no row.
DecodedList<TestRow> decodeTests(const QString& text);

// Restores the students list against a students list with 2 + pointsColumns columns: field 0
// the name, field 1 the ID, fields 2 .. pointsColumns+1 the points; further fields are faults
// and are dropped.
DecodedList<StudentRow> decodeStudents(const QString& text, qsizetype pointsColumns);

} // namespace markwell
