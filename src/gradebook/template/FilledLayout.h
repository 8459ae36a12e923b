#pragma once

#include <algorithm>
#include <string>

namespace markwell::gradetemplate {

// The font every cell of the template is in.
inline constexpr char kFontName[] = "Century Gothic";

// Where the table ends once the template is filled with `tests` tests and `students` students:
// the test block runs from column G (7) to 6 + max(tests, 5); the student rows start at row 13
// (two empty ones for an empty class) and the class summary ends four rows below the spacer
// that follows them. Columns and rows count from 1, as the sheet shows them.
constexpr long long lastTestColumn(long long tests) {
    return 6 + std::max(tests, 5LL);
}
constexpr long long lastSummaryRow(long long students) {
    return 17 + (students == 0 ? 2 : students);
}

// The print area that covers the whole filled table, from B5: "$B$5:$M$22" for 7 tests and 5
// students.
inline std::string filledPrintArea(long long tests, long long students) {
    std::string column;
    for (long long c = lastTestColumn(tests); c > 0; c = (c - 1) / 26) {
        column.insert(column.begin(), static_cast<char>('A' + (c - 1) % 26));
    }
    return "$B$5:$" + column + "$" + std::to_string(lastSummaryRow(students));
}

} // namespace markwell::gradetemplate
