#pragma once

#include "workbook/sheet/Value.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace markwell::render {

// What kind of value a displayed text came from; it decides the General alignment and whether
// the text may run into its empty neighbours.
enum class ValueKind { Empty, Number, Text, Boolean, Error };

struct DisplayText {
    std::string text; // UTF-8
    ValueKind kind = ValueKind::Empty;
    std::optional<std::uint32_t> colour; // RGB, from a colour code such as [Red] in the pattern
    bool unshowable = false;             // a number the pattern cannot show (a negative date): ####
};

// A number in the General format: integers plain, decimals rounded to fit and without trailing
// zeros, very large or very small magnitudes in scientific notation (1.23457E+11). The result
// has at most `maxChars` characters when any form fits; otherwise it is the shortest form, and
// the caller shows #### instead.
std::string formatGeneral(double number, int maxChars = 11);

// The displayed text of cell values under one number format pattern such as "0.00%",
// "#,##0;[Red]-#,##0" or "dd/mm/yyyy". The pattern is parsed once; format() may be called for
// any number of values.
//
// Understood: sections separated by ';' (positive; negative; zero; text), digit placeholders
// 0 # ?, the decimal point, thousands separators and the trailing-comma scaling by 1000, %,
// scientific E+ / E-, quoted literals, \ escapes, _x spacing, *x fill (shown once as nothing),
// @ for the text, colour codes [Red] ... [Color10]... (the eight named ones), currency
// [$€-407], and date and time codes (y, m, d, h, s, AM/PM, [h]). Conditions in brackets are
// not evaluated: sections are chosen by the sign of the number.
class NumberFormatter {
public:
    explicit NumberFormatter(std::string_view pattern, bool date1904 = false);

    // `generalChars` bounds General numbers, so a narrow column can ask for a shorter form.
    DisplayText format(const sheet::Value& value, int generalChars = 11) const;

    bool isGeneral() const { return m_general; }

    struct Token {
        enum class Type {
            Literal,
            Digit,     // text is "0", "#" or "?"
            Point,     // the decimal point
            Group,     // a thousands separator between integer digits
            Percent,   // "%"
            Exponent,  // text is "+" or "-"
            TextValue, // "@"
            General,   // "General" inside a section
            DatePart,  // text is the code, lower-cased: "yyyy", "m", "mm", "d", "h", "s", "ampm", ...
        };
        Type type;
        std::string text;
    };

    struct Section {
        std::vector<Token> tokens;
        std::optional<std::uint32_t> colour;
        bool isDate = false;
        bool hasText = false;
        bool hasDigits = false;
        bool twelveHour = false;
        int scaleThousands = 0; // trailing commas: divide by 1000 each
        int percents = 0;
    };

private:
    std::string formatNumber(const Section& section, double number, bool& unshowable, int generalChars) const;

    std::vector<Section> m_sections;
    bool m_general = false;
    bool m_date1904 = false;
};

// The digits of |number| rounded half away from zero to `decimals` places, working from the 15
// significant digits a spreadsheet keeps: {"12", "35"} for 12.345 and 2 places; the integer
// part is empty below 1.
struct DecimalDigits {
    std::string integer;
    std::string fraction;
};
DecimalDigits roundedDigits(double number, int decimals);

} // namespace markwell::render
