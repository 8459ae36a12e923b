#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

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
// the characters. Sixteen bytes: a workbook holds millions of them.
class Value {
public:
    enum class Type : std::uint8_t { Empty, Number, Text, Boolean, Error };

    Value() = default;
    Value(double number) : m_type(Type::Number) { m_data.number = number; }
    Value(int number) : Value(static_cast<double>(number)) {}
    Value(bool boolean) : m_type(Type::Boolean) { m_data.boolean = boolean; }
    Value(ErrorCode error) : m_type(Type::Error) { m_data.error = error; }
    Value(std::string text);
    Value(std::string_view text) : Value(std::string(text)) {}
    Value(const char* text) : Value(std::string(text)) {}

    Value(const Value& other) : m_data(other.m_data), m_type(other.m_type) {
        if (m_type == Type::Text) {
            hold();
        }
    }
    Value(Value&& other) noexcept : m_data(other.m_data), m_type(other.m_type) { other.m_type = Type::Empty; }
    Value& operator=(const Value& other) {
        Value copy(other);
        swap(copy);
        return *this;
    }
    Value& operator=(Value&& other) noexcept {
        Value moved(std::move(other));
        swap(moved);
        return *this;
    }
    ~Value() {
        if (m_type == Type::Text) {
            letGo();
        }
    }

    Type type() const { return m_type; }
    bool isEmpty() const { return m_type == Type::Empty; }
    bool isNumber() const { return m_type == Type::Number; }
    bool isText() const { return m_type == Type::Text; }
    bool isBoolean() const { return m_type == Type::Boolean; }
    bool isError() const { return m_type == Type::Error; }

    // Accessors; asking for the wrong type gives 0, "", false or #VALUE!.
    double number() const { return isNumber() ? m_data.number : 0.0; }
    const std::string& text() const;
    bool boolean() const { return isBoolean() && m_data.boolean; }
    ErrorCode error() const { return isError() ? m_data.error : ErrorCode::Value; }

    // Texts compare by their characters (case-sensitive), numbers by value.
    friend bool operator==(const Value& a, const Value& b);

    // For messages and test output: the number, the text in quotes, TRUE/FALSE, the error text
    // or "(empty)".
    std::string describe() const;

private:
    struct SharedText; // the characters and how many values hold them

    void swap(Value& other) noexcept {
        std::swap(m_data, other.m_data);
        std::swap(m_type, other.m_type);
    }
    void hold() const;
    void letGo();

    union Data {
        double number = 0;
        SharedText* text;
        bool boolean;
        ErrorCode error;
    };
    Data m_data;
    Type m_type = Type::Empty;
};

// A number as text, the way a formula joins it to text: up to 15 significant digits, rounded half
// up from the shortest decimal that reads back as the number (so 0.1+0.2 is "0.3"), in plain
// decimals with at most 20 of them from 10^-9 to below 10^15, else in scientific notation:
// 3, 0.5, -12.25, 0.00001, 1E+20, 1.5E-10.
std::string numberToText(double number);

} // namespace markwell::sheet
