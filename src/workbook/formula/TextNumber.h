#pragma once

#include <optional>
#include <string_view>

namespace markwell::formula {

// The number a text stands for where a formula computes with it (arithmetic, a function's number
// argument); nullopt when it stands for none, which makes the formula #VALUE!. Spaces around the
// text do not count, but for TRUE and FALSE. Spreadsheet programs read:
//   numbers       "3", "-2.5", "1E3", ".5", "5.", "50%", "1,000.5" (groups of three digits),
//                 "$5", "-$5", "5$", "(5)" and "($1,000)" (negative)
//   fractions     "1 1/2", "-2 3/4"
//   booleans      "TRUE" and "FALSE", in any case, as 1 and 0
//   times         "12:00", "1:30:45.5", "25:00", "-0:30", "3 PM", "9:30am"
//   dates         "2026-01-15", "1/15/2026", "1/15/26", "1/15" (this year), "15-Jan-2026",
//                 "Jan 15, 2026", "January 2026", each perhaps followed by a time ("1/15/2026
//                 6:00 PM"), as the days since 30 December 1899 (from 1 March 1900 on)
// Other forms, such as "1,0000", "2026/01/15" and "(-5)", are no number: spreadsheet programs
// disagree on them or refuse them.
std::optional<double> textToNumber(std::string_view text);

} // namespace markwell::formula
