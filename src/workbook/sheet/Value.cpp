#include "workbook/sheet/Value.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

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

const std::string& Value::text() const {
    static const std::string empty;
    return isText() ? *std::get<2>(m_data) : empty;
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
    std::array<char, 64> buffer{};
    const double magnitude = std::fabs(number);
    if (magnitude >= 1e15 || magnitude < 1e-9) {
        std::snprintf(buffer.data(), buffer.size(), "%.14E", number);
        // Trim the mantissa's trailing zeros and the exponent's leading ones: 1E+20, 1.5E-10.
        std::string text(buffer.data());
        const auto e = text.find('E');
        std::string mantissa = text.substr(0, e);
        std::string exponent = text.substr(e + 1);
        while (mantissa.back() == '0') {
            mantissa.pop_back();
        }
        if (mantissa.back() == '.') {
            mantissa.pop_back();
        }
        const char sign = exponent[0];
        std::string digits = exponent.substr(1);
        while (digits.size() > 1 && digits[0] == '0') {
            digits.erase(0, 1);
        }
        return mantissa + 'E' + sign + digits;
    }
    std::snprintf(buffer.data(), buffer.size(), "%.15G", number);
    std::string text(buffer.data());
    // %.15G gives at most 15 significant digits; strip a trailing fraction of zeros.
    if (text.find('.') != std::string::npos && text.find('E') == std::string::npos) {
        while (text.back() == '0') {
            text.pop_back();
        }
        if (text.back() == '.') {
            text.pop_back();
        }
    }
    return text;
}

} // namespace markwell::sheet
