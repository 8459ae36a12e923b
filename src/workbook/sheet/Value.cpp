#include "workbook/sheet/Value.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace markwell::sheet {

namespace {

struct ErrorName {
    ErrorCode code;
    std::string_view text;
};

constexpr std::array<ErrorName, 7> kErrors{{
    {ErrorCode::Null, "#NULL!"},
    {ErrorCode::Div0, "#DIV/0!"},
    {ErrorCode::Value, "#VALUE!"},
    {ErrorCode::Ref, "#REF!"},
    {ErrorCode::Name, "#NAME?"},
    {ErrorCode::Num, "#NUM!"},
    {ErrorCode::NA, "#N/A"},
}};

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

std::string_view errorText(ErrorCode code) {
    for (const auto& e : kErrors) {
        if (e.code == code) {
            return e.text;
        }
    }
    return "#VALUE!";
}

std::optional<ErrorCode> errorFromText(std::string_view text) {
    for (const auto& e : kErrors) {
        if (e.text.size() == text.size()) {
            bool same = true;
            for (std::size_t i = 0; i < text.size() && same; ++i) {
                same = upper(text[i]) == e.text[i];
            }
            if (same) {
                return e.code;
            }
        }
    }
    return std::nullopt;
}

std::optional<ErrorCode> errorFromCode(std::uint8_t code) {
    for (const auto& e : kErrors) {
        if (static_cast<std::uint8_t>(e.code) == code) {
            return e.code;
        }
    }
    return std::nullopt;
}

struct Value::SharedText {
    std::atomic<std::size_t> holders{1};
    std::string chars;
};

Value::Value(std::string text) : m_type(Type::Text) {
    m_data.text = new SharedText{{1}, std::move(text)};
}

void Value::hold() const {
    m_data.text->holders.fetch_add(1, std::memory_order_relaxed);
}

void Value::letGo() {
    if (m_data.text->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete m_data.text;
    }
}

const std::string& Value::text() const {
    static const std::string empty;
    return isText() ? m_data.text->chars : empty;
}

bool operator==(const Value& a, const Value& b) {
    if (a.type() != b.type()) {
        return false;
    }
    switch (a.type()) {
    case Value::Type::Empty:
        return true;
    case Value::Type::Number:
        return a.number() == b.number();
    case Value::Type::Text:
        return a.text() == b.text();
    case Value::Type::Boolean:
        return a.boolean() == b.boolean();
    case Value::Type::Error:
        return a.error() == b.error();
    }
    return false;
}

std::string Value::describe() const {
    switch (type()) {
    case Type::Empty:
        return "(empty)";
    case Type::Number:
        return numberToText(number());
    case Type::Text:
        return '"' + text() + '"';
    case Type::Boolean:
        return boolean() ? "TRUE" : "FALSE";
    case Type::Error:
        return std::string(errorText(error()));
    }
    return {};
}

namespace {

// A number's decimal digits and the power of ten of the first: 0.0125 is "125" and -2.
struct Digits {
    std::string digits;
    int exponent = 0;
};

// The shortest digits that read back as the number (never more than 17), rounded half up to at
// most `keep` significant digits, trailing zeros dropped.
Digits roundedDigits(double magnitude, int keep) {
    std::array<char, 40> buffer{};
    const auto end =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude, std::chars_format::scientific).ptr;
    const std::string text(buffer.data(), end); // "7.360906142865935e+04"
    const auto e = text.find('e');
    Digits d;
    for (std::size_t i = 0; i < e; ++i) {
        if (text[i] != '.') {
            d.digits += text[i];
        }
    }
    d.exponent = std::stoi(text.substr(e + 1));
    if (static_cast<int>(d.digits.size()) > keep) {
        const bool up = d.digits[static_cast<std::size_t>(std::max(keep, 0))] >= '5';
        d.digits.resize(static_cast<std::size_t>(std::max(keep, 0)));
        if (up) {
            int i = static_cast<int>(d.digits.size()) - 1;
            for (; i >= 0 && d.digits[static_cast<std::size_t>(i)] == '9'; --i) {
                d.digits[static_cast<std::size_t>(i)] = '0';
            }
            if (i >= 0) {
                ++d.digits[static_cast<std::size_t>(i)];
            } else { // all nines: a one at the next power of ten
                d.digits.assign(1, '1');
                ++d.exponent;
            }
        }
    }
    while (d.digits.size() > 1 && d.digits.back() == '0') {
        d.digits.pop_back();
    }
    if (d.digits.empty()) {
        d.digits.assign(1, '0');
    }
    return d;
}

} // namespace

std::string numberToText(double number) {
    if (std::isnan(number)) {
        return "#NUM!";
    }
    if (std::isinf(number)) {
        return number > 0 ? "INF" : "-INF";
    }
    if (number == 0) {
        return "0";
    }
    std::string text = number < 0 ? "-" : "";
    const double magnitude = std::fabs(number);
    if (magnitude >= 1e-9 && magnitude < 1e15) {
        // Plain decimal notation: 15 significant digits, but no more than 20 decimals.
        const int exponent = static_cast<int>(std::floor(std::log10(magnitude)));
        const Digits d = roundedDigits(magnitude, std::min(15, exponent + 21));
        if (d.digits == "0") {
            return "0";
        }
        if (d.exponent < 0) {
            text.append("0.");
            text.append(static_cast<std::size_t>(-d.exponent - 1), '0');
            text.append(d.digits);
            return text;
        }
        if (d.exponent < 15) {
            const auto point = static_cast<std::size_t>(d.exponent) + 1;
            if (d.digits.size() > point) {
                text.append(d.digits, 0, point);
                text.push_back('.');
                text.append(d.digits, point);
            } else {
                text.append(d.digits);
                text.append(point - d.digits.size(), '0');
            }
            return text;
        }
    }
    // Scientific notation with 15 significant digits: 1E+20, 1.5E-10.
    const Digits d = roundedDigits(magnitude, 15);
    text.push_back(d.digits.front());
    if (d.digits.size() > 1) {
        text.push_back('.');
        text.append(d.digits, 1);
    }
    text.append(d.exponent < 0 ? "E-" : "E+");
    text.append(std::to_string(std::abs(d.exponent)));
    return text;
}

} // namespace markwell::sheet
