#pragma once

#include "workbook/sheet/Workbook.h"

namespace markwell::gradetemplate {

// The one sheet of the gradebook template.
inline constexpr char kSheetName[] = "Grade book";

// The gradebook template the program fills: grade table, header, test block, student band,
// class summary, their looks, names, comments and print settings, recalculated so every formula
// carries its result. Filling copies column J (tests) and the rows 13:14 band (students) of it.
sheet::Workbook buildTemplateWorkbook();

// A column width as the sheet shows it, in characters of the default 10-point font, turned into
// the stored unit: 1/256 of a character, counting the cell's 5-pixel padding with a 7-pixel
// digit (so 8.43 characters is stored as 2340).
int columnWidth256(double characters);

// Points to twips, rounded to the nearest twip (12.95 pt is 259 twips).
int pointsToTwips(double points);

} // namespace markwell::gradetemplate
