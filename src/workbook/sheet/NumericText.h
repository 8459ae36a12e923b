#pragma once

#include "workbook/sheet/Value.h"

#include <optional>
#include <string_view>

namespace markwell::sheet {

// What a cell holds after a text is typed into it. The text becomes a number only when nothing
// is lost by that: blanks around it are ignored, then an optional sign, digits with at most one
// decimal point, no leading zero except a single 0 before the point, and at most 15 significant
// digits. Everything else stays the text as given, so "00123", "E16-28", "1e5", "1,000", "50%"
// and dates are texts. An empty text empties the cell.
Value numericTextToValue(std::string_view text);

// The common case of that rule, for a std::string_view or a std::u16string_view: 1 to 15 digits
// without a leading zero and nothing else, read as the whole number it is (exactly, as it is
// summed up). Any other text gives none, and numericTextToValue has the last word on it.
template <class Text> std::optional<double> plainWholeNumber(const Text& text) {
    const auto size = static_cast<std::size_t>(text.size());
    if (size == 0 || size > 15 || (size > 1 && text[0] == '0')) {
        return std::nullopt;
    }
    double number = 0;
    for (const auto c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        number = number * 10 + static_cast<int>(c - '0');
    }
    return number;
}

} // namespace markwell::sheet
