#include "workbook/sheet/NumericText.h"

#include <charconv>
#include <string>

namespace markwell::sheet {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

Value numericTextToValue(std::string_view text) {
    if (text.empty()) {
        return Value{};
    }
    if (const auto number = plainWholeNumber(text)) {
        return Value(*number); // as below, without blanks or a sign to take off
    }
    std::string_view s = text;
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    const std::size_t point = s.find('.');
    const std::string_view whole = s.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view{} : s.substr(point + 1);
    auto digitsOnly = [](std::string_view part) {
        for (char c : part) {
            if (c < '0' || c > '9') {
                return false;
            }
        }
        return true;
    };
    if (point == std::string_view::npos) {
        if (const auto number = plainWholeNumber(whole)) {
            return Value(*number == 0 ? 0.0 : negative ? -*number : *number);
        }
    }
    if ((whole.empty() && fraction.empty()) || !digitsOnly(whole) || !digitsOnly(fraction)) {
        return Value(std::string(text));
    }
    if (whole.size() > 1 && whole.front() == '0') {
        return Value(std::string(text)); // leading zeros carry meaning (student IDs)
    }
    // Significant digits: from the first non-zero digit to the last one that matters.
    std::string digits = std::string(whole) + std::string(fraction);
    std::size_t end = whole.size() + fraction.size();
    while (end > whole.size() && digits[end - 1] == '0') {
        --end; // trailing zeros of the fraction say nothing about the value
    }
    std::size_t begin = 0;
    while (begin < end && digits[begin] == '0') {
        ++begin;
    }
    if (end - begin > 15) {
        return Value(std::string(text));
    }
    std::string plain = std::string(whole.empty() ? "0" : whole);
    if (!fraction.empty()) {
        plain += '.';
        plain += fraction;
    }
    double number = 0;
    const auto result = std::from_chars(plain.data(), plain.data() + plain.size(), number);
    if (result.ec != std::errc{}) {
        return Value(std::string(text));
    }
    if (number == 0) {
        return Value(0.0);
    }
    return Value(negative ? -number : number);
}

} // namespace markwell::sheet
