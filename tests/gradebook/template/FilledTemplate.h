#pragma once

#include "workbook/sheet/Workbook.h"

#include <optional>
#include <string>
#include <vector>

namespace markwell::test {

struct TestColumn {
    std::string name;
    std::optional<double> possible;
};

struct StudentRow {
    std::string name;
    std::string id;
    std::vector<std::optional<double>> points; // one per test; nullopt leaves the cell empty
};

// The template grown and filled the way the program fills it: a copy of column J inserted for
// every test past the fifth, the rows 13:14 band copied for every further pair of students, the
// surplus row of an odd class deleted, then names and points written and everything
// recalculated.
sheet::Workbook filledTemplate(const std::vector<TestColumn>& tests, const std::vector<StudentRow>& students);

// The cell of the template's only sheet at an A1 address.
const sheet::Cell* cellOf(const sheet::Workbook& workbook, const char* a1);
sheet::Value valueOf(const sheet::Workbook& workbook, const char* a1);
sheet::Value valueAt(const sheet::Workbook& workbook, int row1, int col0);

} // namespace markwell::test
