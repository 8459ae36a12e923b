#include "workbook/render/NumberFormatter.h"

#include "workbook/render/DateText.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace markwell::render {

namespace {

using Token = NumberFormatter::Token;
using Section = NumberFormatter::Section;
using Type = Token::Type;

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = lower(c);
    }
    return out;
}

bool startsWithIgnoringCase(std::string_view text, std::size_t at, std::string_view word) {
    if (text.size() - at < word.size()) {
        return false;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (lower(text[at + i]) != lower(word[i])) {
            return false;
        }
    }
    return true;
}

// The length of the UTF-8 sequence starting with `lead` (1 for a stray continuation byte).
std::size_t utf8Length(unsigned char lead) {
    if (lead >= 0xF0) {
        return 4;
    }
    if (lead >= 0xE0) {
        return 3;
    }
    if (lead >= 0xC0) {
        return 2;
    }
    return 1;
}

// The 15 significant digits of a positive finite number and its decimal exponent:
// 1234.5 gives {"123450000000000", 3}.
struct Significant {
    std::string digits;
    int exponent = 0;
};

Significant significant(double positive) {
    std::array<char, 40> buf{};
    std::snprintf(buf.data(), buf.size(), "%.14e", positive);
    Significant s;
    s.digits.push_back(buf[0]);
    std::size_t i = 2;
    while (buf[i] >= '0' && buf[i] <= '9') {
        s.digits.push_back(buf[i]);
        ++i;
    }
    s.exponent = std::atoi(buf.data() + i + 1);
    return s;
}

// Keeps the first `keep` digits, rounding half away from zero; true when the carry ran out of
// the front (the digits then start with a new "1").
bool roundDigits(std::string& digits, int keep) {
    if (keep < 0) {
        digits.clear();
        return false;
    }
    if (static_cast<std::size_t>(keep) >= digits.size()) {
        digits.append(static_cast<std::size_t>(keep) - digits.size(), '0');
        return false;
    }
    const bool up = digits[static_cast<std::size_t>(keep)] >= '5';
    digits.resize(static_cast<std::size_t>(keep));
    if (!up) {
        return false;
    }
    for (std::size_t i = digits.size(); i-- > 0;) {
        if (digits[i] == '9') {
            digits[i] = '0';
        } else {
            ++digits[i];
            return false;
        }
    }
    digits.insert(digits.begin(), '1');
    return true;
}

void stripTrailingZeros(std::string& fraction) {
    while (!fraction.empty() && fraction.back() == '0') {
        fraction.pop_back();
    }
}

// Mantissa and exponent of |number| in scientific form with `decimals` mantissa decimals.
struct Scientific {
    std::string integer; // one digit
    std::string fraction;
    int exponent = 0;
};

Scientific scientificDigits(double positive, int decimals) {
    Scientific out;
    if (positive == 0.0) {
        out.integer = "0";
        out.fraction.assign(static_cast<std::size_t>(decimals), '0');
        return out;
    }
    Significant s = significant(positive);
    out.exponent = s.exponent;
    if (roundDigits(s.digits, 1 + decimals)) {
        ++out.exponent;
        s.digits.pop_back();
    }
    out.integer = s.digits.substr(0, 1);
    out.fraction = s.digits.substr(1);
    return out;
}

std::string exponentText(int exponent, int minDigits) {
    std::string digits = std::to_string(std::abs(exponent));
    if (digits.size() < static_cast<std::size_t>(minDigits)) {
        digits.insert(0, static_cast<std::size_t>(minDigits) - digits.size(), '0');
    }
    return digits;
}

std::optional<std::uint32_t> colourCode(std::string_view name) {
    static constexpr std::array<std::pair<std::string_view, std::uint32_t>, 16> kColours{{
        {"black", 0x000000},
        {"white", 0xFFFFFF},
        {"red", 0xFF0000},
        {"green", 0x00FF00},
        {"blue", 0x0000FF},
        {"yellow", 0xFFFF00},
        {"magenta", 0xFF00FF},
        {"cyan", 0x00FFFF},
        {"color1", 0x000000},
        {"color2", 0xFFFFFF},
        {"color3", 0xFF0000},
        {"color4", 0x00FF00},
        {"color5", 0x0000FF},
        {"color6", 0xFFFF00},
        {"color7", 0xFF00FF},
        {"color8", 0x00FFFF},
    }};
    const std::string key = lowerAscii(name);
    for (const auto& [n, rgb] : kColours) {
        if (n == key) {
            return rgb;
        }
    }
    return std::nullopt;
}

bool isDateLetter(char c) {
    c = lower(c);
    return c == 'y' || c == 'm' || c == 'd' || c == 'h' || c == 's';
}

// Splits a pattern into its sections at the semicolons outside quotes, escapes and brackets.
std::vector<std::string_view> splitSections(std::string_view pattern) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    bool quoted = false;
    bool bracket = false;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (quoted) {
            quoted = c != '"';
        } else if (bracket) {
            bracket = c != ']';
        } else if (c == '"') {
            quoted = true;
        } else if (c == '[') {
            bracket = true;
        } else if (c == '\\' || c == '_' || c == '*') {
            ++i;
        } else if (c == ';') {
            out.push_back(pattern.substr(start, i - start));
            start = i + 1;
        }
    }
    out.push_back(pattern.substr(start));
    return out;
}

void addLiteral(std::vector<Token>& tokens, std::string_view text) {
    if (!tokens.empty() && tokens.back().type == Type::Literal) {
        tokens.back().text.append(text);
    } else {
        tokens.push_back({Type::Literal, std::string(text)});
    }
}

Section parseSection(std::string_view text) {
    Section section;
    auto& tokens = section.tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        const std::size_t next = i + 1;
        if (c == '"') {
            const std::size_t end = text.find('"', next);
            const std::size_t stop = end == std::string_view::npos ? text.size() : end;
            addLiteral(tokens, text.substr(next, stop - next));
            i = stop + 1;
        } else if (c == '\\' || c == '_' || c == '*') {
            if (next >= text.size()) {
                i = next;
                continue;
            }
            const std::size_t len = std::min(utf8Length(static_cast<unsigned char>(text[next])), text.size() - next);
            if (c == '\\') {
                addLiteral(tokens, text.substr(next, len));
            } else if (c == '_') {
                addLiteral(tokens, " ");
            }
            i = next + len;
        } else if (c == '[') {
            const std::size_t end = text.find(']', next);
            const std::size_t stop = end == std::string_view::npos ? text.size() : end;
            const std::string_view inside = text.substr(next, stop - next);
            const std::string code = lowerAscii(inside);
            if (auto colour = colourCode(inside)) {
                section.colour = colour;
            } else if (!inside.empty() && inside.front() == '$') {
                const std::size_t dash = inside.find('-');
                addLiteral(tokens,
                           inside.substr(1, dash == std::string_view::npos ? std::string_view::npos : dash - 1));
            } else if (!code.empty() && (code.find_first_not_of('h') == std::string::npos ||
                                         code.find_first_not_of('m') == std::string::npos ||
                                         code.find_first_not_of('s') == std::string::npos)) {
                tokens.push_back({Type::DatePart, "[" + code.substr(0, 1) + "]"});
            }
            // Anything else in brackets (conditions, locale codes) does not change the text.
            i = stop + 1;
        } else if (c == '0' || c == '#' || c == '?') {
            tokens.push_back({Type::Digit, std::string(1, c)});
            i = next;
        } else if (c == '.') {
            tokens.push_back({Type::Point, "."});
            i = next;
        } else if (c == ',') {
            tokens.push_back({Type::Group, ","});
            i = next;
        } else if (c == '%') {
            tokens.push_back({Type::Percent, "%"});
            i = next;
        } else if ((c == 'E' || c == 'e') && next < text.size() && (text[next] == '+' || text[next] == '-')) {
            tokens.push_back({Type::Exponent, std::string(1, text[next])});
            i = next + 1;
        } else if (c == '@') {
            tokens.push_back({Type::TextValue, "@"});
            i = next;
        } else if (startsWithIgnoringCase(text, i, "General")) {
            tokens.push_back({Type::General, ""});
            i += 7;
        } else if (startsWithIgnoringCase(text, i, "AM/PM")) {
            tokens.push_back({Type::DatePart, "ampm"});
            i += 5;
        } else if (startsWithIgnoringCase(text, i, "A/P")) {
            tokens.push_back({Type::DatePart, "ap"});
            i += 3;
        } else if (isDateLetter(c)) {
            std::size_t end = next;
            while (end < text.size() && lower(text[end]) == lower(c)) {
                ++end;
            }
            tokens.push_back({Type::DatePart, lowerAscii(text.substr(i, end - i))});
            i = end;
        } else {
            const std::size_t len = std::min(utf8Length(static_cast<unsigned char>(c)), text.size() - i);
            addLiteral(tokens, text.substr(i, len));
            i += len;
        }
    }

    for (const Token& t : tokens) {
        section.isDate = section.isDate || t.type == Type::DatePart;
        section.hasText = section.hasText || t.type == Type::TextValue;
        section.twelveHour = section.twelveHour || (t.type == Type::DatePart && (t.text == "ampm" || t.text == "ap"));
    }

    if (section.isDate) {
        // "m" next to hours or seconds means minutes; the codes "n" and "nn" say so from here on.
        for (std::size_t k = 0; k < tokens.size(); ++k) {
            Token& t = tokens[k];
            if (t.type == Type::DatePart && (t.text == "m" || t.text == "mm")) {
                bool minutes = false;
                for (std::size_t p = k; p-- > 0;) {
                    if (tokens[p].type == Type::DatePart) {
                        minutes = tokens[p].text[0] == 'h' || tokens[p].text == "[h]";
                        break;
                    }
                }
                for (std::size_t n = k + 1; !minutes && n < tokens.size(); ++n) {
                    if (tokens[n].type == Type::DatePart) {
                        minutes = tokens[n].text[0] == 's';
                        break;
                    }
                }
                if (minutes) {
                    t.text = t.text == "m" ? "n" : "nn";
                }
            } else if (t.type == Type::Group) {
                t.type = Type::Literal;
            }
        }
        return section;
    }

    // Number sections: a comma between integer digits groups thousands, a comma right after
    // the digits scales by 1000, any other comma is shown as it is.
    bool seenPoint = false;
    bool seenExponent = false;
    bool afterDigits = false; // the previous token was a digit, or a comma that groups or scales
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        Token& t = tokens[k];
        const bool previousAfterDigits = afterDigits;
        afterDigits = t.type == Type::Digit;
        if (t.type == Type::Digit) {
            section.hasDigits = true;
        } else if (t.type == Type::Point) {
            if (seenPoint || seenExponent) {
                t.type = Type::Literal;
            }
            seenPoint = true;
        } else if (t.type == Type::Exponent) {
            seenExponent = true;
        } else if (t.type == Type::Percent) {
            ++section.percents;
        } else if (t.type == Type::Group) {
            const bool digitBefore = previousAfterDigits;
            bool digitAfter = false;
            for (std::size_t n = k + 1; n < tokens.size() && tokens[n].type != Type::Point; ++n) {
                if (tokens[n].type == Type::Digit) {
                    digitAfter = true;
                    break;
                }
                if (tokens[n].type != Type::Group) {
                    break;
                }
            }
            if (digitBefore && digitAfter && !seenPoint && !seenExponent) {
                afterDigits = true;
                continue; // grouping, kept as a Group token
            }
            if (digitBefore && !digitAfter) {
                afterDigits = true;
                ++section.scaleThousands;
                t.type = Type::Literal;
                t.text.clear();
            } else {
                t.type = Type::Literal;
            }
        }
    }
    return section;
}

} // namespace

DecimalDigits roundedDigits(double number, int decimals) {
    decimals = std::clamp(decimals, 0, 30);
    DecimalDigits out;
    const double a = std::fabs(number);
    if (a == 0.0 || !std::isfinite(a)) {
        out.fraction.assign(static_cast<std::size_t>(decimals), '0');
        return out;
    }
    Significant s = significant(a);
    int integerLength = s.exponent + 1;
    if (roundDigits(s.digits, integerLength + decimals)) {
        ++integerLength;
    }
    if (integerLength > 0) {
        out.integer = s.digits.substr(0, static_cast<std::size_t>(integerLength));
        out.fraction = s.digits.substr(static_cast<std::size_t>(integerLength));
    } else {
        out.fraction = std::string(static_cast<std::size_t>(-integerLength), '0') + s.digits;
    }
    out.fraction.resize(static_cast<std::size_t>(decimals), '0');
    return out;
}

std::string formatGeneral(double number, int maxChars) {
    if (!std::isfinite(number)) {
        return "#NUM!";
    }
    if (number == 0.0) {
        return "0";
    }
    const bool negative = number < 0;
    const double a = std::fabs(number);
    const int avail = std::max(1, maxChars - (negative ? 1 : 0));
    const std::string sign = negative ? "-" : "";
    const int exponent = significant(a).exponent;

    // Plain decimal notation, when the integer part fits and a significant digit stays visible.
    if (exponent >= -4 && exponent + 1 <= avail) {
        const int integerLength = std::max(exponent + 1, 1);
        int decimals = std::max(avail - integerLength - 1, 0);
        decimals = std::min(decimals, std::max(0, 15 - (exponent + 1)));
        DecimalDigits d = roundedDigits(a, decimals);
        stripTrailingZeros(d.fraction);
        std::string text = d.integer.empty() ? "0" : d.integer;
        if (!d.fraction.empty()) {
            text += "." + d.fraction;
        }
        if (static_cast<int>(text.size()) <= avail && text != "0") {
            return sign + text;
        }
    }

    // Scientific notation with as many mantissa decimals as fit.
    std::string best;
    for (int pass = 0; pass < 2; ++pass) {
        const int expGuess = pass == 0 ? exponent : exponent + 1;
        const int expLength = std::abs(expGuess) >= 100 ? 3 : 2;
        const int decimals = std::clamp(avail - 4 - expLength, 0, 14);
        Scientific s = scientificDigits(a, decimals);
        stripTrailingZeros(s.fraction);
        std::string text = s.integer;
        if (!s.fraction.empty()) {
            text += "." + s.fraction;
        }
        text += s.exponent < 0 ? "E-" : "E+";
        text += exponentText(s.exponent, 2);
        best = sign + text;
        if (static_cast<int>(text.size()) <= avail || s.exponent == expGuess) {
            break;
        }
    }
    return best;
}

NumberFormatter::NumberFormatter(std::string_view pattern, bool date1904) : m_date1904(date1904) {
    const std::string trimmed = lowerAscii(pattern);
    if (trimmed.empty() || trimmed == "general") {
        m_general = true;
        return;
    }
    for (std::string_view part : splitSections(pattern)) {
        if (m_sections.size() == 4) {
            break;
        }
        m_sections.push_back(parseSection(part));
    }
}

DisplayText NumberFormatter::format(const sheet::Value& value, int generalChars) const {
    DisplayText out;
    switch (value.type()) {
    case sheet::Value::Type::Empty:
        return out;
    case sheet::Value::Type::Boolean:
        out.kind = ValueKind::Boolean;
        out.text = value.boolean() ? "TRUE" : "FALSE";
        return out;
    case sheet::Value::Type::Error:
        out.kind = ValueKind::Error;
        out.text = std::string(sheet::errorText(value.error()));
        return out;
    case sheet::Value::Type::Text: {
        out.kind = ValueKind::Text;
        const Section* textSection = nullptr;
        if (m_sections.size() == 4) {
            textSection = &m_sections[3];
        } else if (m_sections.size() == 1 && m_sections[0].hasText) {
            textSection = &m_sections[0];
        }
        if (!textSection) {
            out.text = value.text();
            return out;
        }
        out.colour = textSection->colour;
        for (const Token& t : textSection->tokens) {
            if (t.type == Type::TextValue) {
                out.text += value.text();
            } else if (t.type == Type::Literal) {
                out.text += t.text;
            }
        }
        return out;
    }
    case sheet::Value::Type::Number:
        break;
    }

    out.kind = ValueKind::Number;
    const double number = value.number();
    if (!std::isfinite(number)) {
        out.kind = ValueKind::Error;
        out.text = "#NUM!";
        return out;
    }
    // A pattern made only of a text section shows numbers as General does.
    const bool textOnly =
        m_sections.size() == 1 && m_sections[0].hasText && !m_sections[0].hasDigits && !m_sections[0].isDate;
    if (m_general || m_sections.empty() || textOnly) {
        out.text = formatGeneral(number, generalChars);
        return out;
    }

    const std::size_t numeric = std::min<std::size_t>(m_sections.size(), 3);
    const Section* section = &m_sections[0];
    bool minus = false;
    if (numeric == 1) {
        minus = number < 0;
    } else if (number < 0) {
        section = &m_sections[1];
    } else if (number == 0 && numeric == 3) {
        section = &m_sections[2];
    }
    out.colour = section->colour;
    if (section->isDate) {
        out.text = formatDateText(section->tokens, section->twelveHour, number, m_date1904, out.unshowable);
        return out;
    }
    out.text = formatNumber(*section, std::fabs(number), out.unshowable, generalChars);
    // A negative number that rounds to zero shows no minus sign.
    if (minus && out.text.find_first_of("123456789") != std::string::npos) {
        out.text.insert(0, "-");
    }
    return out;
}

std::string NumberFormatter::formatNumber(const Section& section, double number, bool& unshowable,
                                          int generalChars) const {
    std::string out;
    if (!section.hasDigits) {
        for (const Token& t : section.tokens) {
            if (t.type == Type::Literal || t.type == Type::Percent) {
                out += t.text;
            } else if (t.type == Type::General) {
                out += formatGeneral(number, generalChars);
            }
        }
        return out;
    }

    double a = number * std::pow(100.0, section.percents) / std::pow(1000.0, section.scaleThousands);
    if (!std::isfinite(a)) {
        unshowable = true;
        return "#NUM!";
    }

    // Which placeholder belongs to which part.
    enum class Part { Integer, Fraction, Exponent };
    std::vector<Part> parts(section.tokens.size(), Part::Integer);
    int integerCount = 0, fractionCount = 0, exponentZeros = 0;
    bool grouping = false, scientific = false;
    Part current = Part::Integer;
    for (std::size_t k = 0; k < section.tokens.size(); ++k) {
        const Token& t = section.tokens[k];
        if (t.type == Type::Point && current == Part::Integer) {
            current = Part::Fraction;
        } else if (t.type == Type::Exponent) {
            current = Part::Exponent;
            scientific = true;
        }
        parts[k] = current;
        if (t.type == Type::Digit) {
            if (current == Part::Integer) {
                ++integerCount;
            } else if (current == Part::Fraction) {
                ++fractionCount;
            } else if (t.text == "0") {
                ++exponentZeros;
            }
        } else if (t.type == Type::Group && current == Part::Integer) {
            grouping = true;
        }
    }

    std::string integer, fraction;
    int exponent = 0;
    if (scientific) {
        const int perStep = std::max(1, integerCount);
        if (a != 0.0) {
            exponent = significant(a).exponent;
            if (perStep > 1) {
                exponent -= ((exponent % perStep) + perStep) % perStep;
            }
        }
        for (int attempt = 0; attempt < 2; ++attempt) {
            const DecimalDigits d = roundedDigits(a / std::pow(10.0, exponent), fractionCount);
            integer = d.integer;
            fraction = d.fraction;
            if (a == 0.0 || static_cast<int>(integer.size()) <= perStep) {
                break;
            }
            exponent += perStep;
        }
    } else {
        const DecimalDigits d = roundedDigits(a, fractionCount);
        integer = d.integer;
        fraction = d.fraction;
    }

    // The integer text: the digits filled into the placeholders from the right; the leftmost
    // placeholder takes any digits left over, "0" pads with zeros, "?" with spaces.
    std::vector<std::string> pieces(section.tokens.size());
    std::vector<std::size_t> integerSlots;
    for (std::size_t k = 0; k < section.tokens.size(); ++k) {
        if (section.tokens[k].type == Type::Digit && parts[k] == Part::Integer) {
            integerSlots.push_back(k);
        }
    }
    if (grouping) {
        std::string padded = integer;
        std::string pad;
        for (std::size_t s = padded.size(); s < integerSlots.size(); ++s) {
            const char p = section.tokens[integerSlots[integerSlots.size() - 1 - s]].text[0];
            if (p == '0') {
                padded.insert(padded.begin(), '0');
            } else if (p == '?') {
                pad += ' ';
            }
        }
        std::string grouped;
        for (std::size_t d = 0; d < padded.size(); ++d) {
            if (d > 0 && (padded.size() - d) % 3 == 0) {
                grouped += ',';
            }
            grouped += padded[d];
        }
        if (!integerSlots.empty()) {
            pieces[integerSlots.front()] = pad + grouped;
        }
    } else {
        std::size_t used = 0;
        for (std::size_t s = integerSlots.size(); s-- > 0;) {
            const std::size_t k = integerSlots[s];
            const char p = section.tokens[k].text[0];
            if (s == 0 && used < integer.size()) {
                pieces[k] = integer.substr(0, integer.size() - used);
            } else if (used < integer.size()) {
                pieces[k] = std::string(1, integer[integer.size() - 1 - used]);
                ++used;
            } else if (p == '0') {
                pieces[k] = "0";
            } else if (p == '?') {
                pieces[k] = " ";
            }
        }
    }

    const std::size_t lastSignificant = fraction.find_last_not_of('0');
    std::size_t fractionIndex = 0;
    bool exponentShown = false;
    for (std::size_t k = 0; k < section.tokens.size(); ++k) {
        const Token& t = section.tokens[k];
        switch (t.type) {
        case Type::Literal:
        case Type::Percent:
        case Type::Point:
            out += t.text;
            break;
        case Type::Group:
            if (parts[k] != Part::Integer) {
                out += ',';
            }
            break;
        case Type::Digit:
            if (parts[k] == Part::Integer) {
                out += pieces[k];
            } else if (parts[k] == Part::Fraction) {
                const bool significantDigit = lastSignificant != std::string::npos && fractionIndex <= lastSignificant;
                const char p = t.text[0];
                if (p == '0' || significantDigit) {
                    out += fraction[fractionIndex];
                } else if (p == '?') {
                    out += ' ';
                }
                ++fractionIndex;
            } else if (!exponentShown) {
                out += exponentText(exponent, exponentZeros);
                exponentShown = true;
            }
            break;
        case Type::Exponent:
            out += 'E';
            if (exponent < 0) {
                out += '-';
            } else if (t.text == "+") {
                out += '+';
            }
            break;
        case Type::General:
            out += formatGeneral(number, generalChars);
            break;
        case Type::TextValue:
        case Type::DatePart:
            break;
        }
    }
    return out;
}

} // namespace markwell::render
