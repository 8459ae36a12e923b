#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace markwell::sheet {

// The spreadsheet error values, numbered as BIFF8 stores them.
enum class ErrorCode : std::uint8_t {
    Null = 0x00,
    Div0 = 0x07,
    Value = 0x0F,
    Ref = 0x17,
    Name = 0x1D,
    Num = 0x24,
    NA = 0x2A,
};

// "#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?", "#NUM!", "#N/A".
std::string_view errorText(ErrorCode code);

// The error named by its text (case-insensitive), e.g. "#DIV/0!".
std::optional<ErrorCode> errorFromText(std::string_view text);

// The error of a BIFF8 code, or nullopt for a code that is not one.
std::optional<ErrorCode> errorFromCode(std::uint8_t code);

// The content of a cell, or the result of a formula: empty, a number, a text (UTF-8), a
// boolean or an error. Texts are shared between copies, so copying a Value never copies
// the characters.
class Value {
public:
    enum class Type : std::uint8_t { Empty, Number, Text, Boolean, Error };

    Value() = default;
    Value(double number) : m_data(number) {}
    Value(int number) : m_data(static_cast<double>(number)) {}
    Value(bool boolean) : m_data(boolean) {}
    Value(ErrorCode error) : m_data(error) {}
    Value(std::string text) : m_data(std::make_shared<const std::string>(std::move(text))) {}
    Value(std::string_view text) : Value(std::string(text)) {}
    Value(const char* text) : Value(std::string(text)) {}

    Type type() const { return static_cast<Type>(m_data.index()); }
    bool isEmpty() const { return m_data.index() == 0; }
    bool isNumber() const { return m_data.index() == 1; }
    bool isText() const { return m_data.index() == 2; }
    bool isBoolean() const { return m_data.index() == 3; }
    bool isError() const { return m_data.index() == 4; }

    // Accessors; asking for the wrong type gives 0, "", false or #VALUE!.
    double number() const { return isNumber() ? std::get<1>(m_data) : 0.0; }
    const std::string& text() const;
    bool boolean() const { return isBoolean() && std::get<3>(m_data); }
    ErrorCode error() const { return isError() ? std::get<4>(m_data) : ErrorCode::Value; }

    // Texts compare by their characters (case-sensitive), numbers by value.
    friend bool operator==(const Value& a, const Value& b);

    // For messages and test output: the number, the text in quotes, TRUE/FALSE, the error text
    // or "(empty)".
    std::string describe() const;

private:
    std::variant<std::monostate, double, std::shared_ptr<const std::string>, bool, ErrorCode> m_data;
};

// A number as text, the way a formula joins it to text: up to 15 significant digits, rounded half
// up from the shortest decimal that reads back as the number (so 0.1+0.2 is "0.3"), in plain
// decimals with at most 20 of them from 10^-9 to below 10^15, else in scientific notation:
// 3, 0.5, -12.25, 0.00001, 1E+20, 1.5E-10.
std::string numberToText(double number);

} // namespace markwell::sheet
