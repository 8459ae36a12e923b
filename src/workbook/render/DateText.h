#pragma once

#include "workbook/render/NumberFormatter.h"

#include <string>
#include <vector>

namespace markwell::render {

// The text of a date and time serial number under the date codes of one format section. Serial
// numbers count days from 1900 (with the 29 February 1900 that spreadsheets count) or, with
// `date1904`, from 1 January 1904; the fraction is the time of day. A negative serial or one
// after 31 December 9999 sets `unshowable`.
std::string formatDateText(const std::vector<NumberFormatter::Token>& tokens, bool twelveHour, double serial,
                           bool date1904, bool& unshowable);

} // namespace markwell::render
