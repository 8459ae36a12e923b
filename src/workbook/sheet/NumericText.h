#pragma once

#include "workbook/sheet/Value.h"

#include <string_view>

namespace markwell::sheet {

// What a cell holds after a text is typed into it. The text becomes a number only when nothing
// is lost by that: blanks around it are ignored, then an optional sign, digits with at most one
// decimal point, no leading zero except a single 0 before the point, and at most 15 significant
// digits. Everything else stays the text as given, so "00123", "E16-28", "1e5", "1,000", "50%"
// and dates are texts. An empty text empties the cell.
Value numericTextToValue(std::string_view text);

} // namespace markwell::sheet
