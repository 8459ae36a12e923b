#include "workbook/formula/Compare.h"

#include <QChar>
#include <QCollator>
#include <QLocale>
#include <QString>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace markwell::formula {

using sheet::Value;

namespace {

// Whole numbers below 2^53, where every integer has its own double.
bool isExactInteger(double magnitude) {
    return magnitude < 0x1p53 && std::trunc(magnitude) == magnitude;
}

// Powers of ten from 10^0 to 10^22 are exact doubles.
constexpr std::array<double, 23> kTens = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                          1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The number of fraction bits a positive finite value uses after its binary point.
int fractionBits(double magnitude) {
    if (magnitude == 0) {
        return 0;
    }
    const auto bits = std::bit_cast<std::uint64_t>(magnitude);
    const int exponent = static_cast<int>((bits >> 52) & 0x7FF) - 1023;
    if (exponent >= 52) {
        return 0;
    }
    const std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
    // 1-based position of the lowest set bit of the 53-bit significand (the hidden bit is 53).
    const int lowest = mantissa == 0 ? 53 : std::countr_zero(mantissa) + 1;
    return std::max(53 - lowest - exponent, 0);
}

// One code point of UTF-8 text; a malformed byte stands for itself.
char32_t nextCodePoint(std::string_view text, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    const int length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length <= 1 || i + static_cast<std::size_t>(length) > text.size()) {
        ++i;
        return lead;
    }
    char32_t cp = lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        const unsigned char next = byte(i + static_cast<std::size_t>(k));
        if ((next & 0xC0) != 0x80) {
            ++i;
            return lead;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    i += static_cast<std::size_t>(length);
    return cp;
}

bool isAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The characters of a text, each case-folded (simple folding: one character for one).
std::u32string foldedCodePoints(std::string_view text) {
    std::u32string out;
    for (std::size_t i = 0; i < text.size();) {
        out.push_back(QChar::toCaseFolded(nextCodePoint(text, i)));
    }
    return out;
}

QCollator& collator() {
    // Collators are not shared between threads; each thread makes its own once.
    thread_local QCollator instance = [] {
        QCollator c(QLocale(QLocale::English, QLocale::UnitedStates));
        c.setCaseSensitivity(Qt::CaseInsensitive);
        c.setNumericMode(false);
        c.setIgnorePunctuation(false);
        return c;
    }();
    return instance;
}

int typeRank(const Value& v) {
    switch (v.type()) {
    case Value::Type::Text:
        return 1;
    case Value::Type::Boolean:
        return 2;
    default:
        return 0;
    }
}

// A value against an empty one, which counts as 0, "" or FALSE, whichever the value's type is.
int compareWithEmpty(const Value& v) {
    switch (v.type()) {
    case Value::Type::Number:
        return v.number() > 0 ? 1 : v.number() < 0 ? -1 : 0;
    case Value::Type::Text:
        return v.text().empty() ? 0 : 1;
    case Value::Type::Boolean:
        return v.boolean() ? 1 : 0;
    default:
        return 0;
    }
}

} // namespace

bool approxEqual(double a, double b) {
    if (a == b) {
        return true;
    }
    if (a == 0 || b == 0 || std::signbit(a) != std::signbit(b)) {
        return false;
    }
    const double d = std::fabs(a - b);
    if (!std::isfinite(d)) {
        return false;
    }
    a = std::fabs(a);
    b = std::fabs(b);
    if (d >= a * 0x1p-48 || d >= b * 0x1p-48) {
        return false;
    }
    return !(isExactInteger(a) && isExactInteger(b));
}

double approxAdd(double a, double b) {
    if (((a < 0 && b > 0) || (b < 0 && a > 0)) && approxEqual(a, -b)) {
        return 0.0;
    }
    return a + b;
}

double approxSub(double a, double b) {
    if (((a < 0 && b < 0) || (a > 0 && b > 0)) && approxEqual(a, b)) {
        return 0.0;
    }
    return a - b;
}

double approxValue(double value) {
    if (value == 0 || !std::isfinite(value) || value > 0x1p41) {
        return value;
    }
    const double magnitude = std::fabs(value);
    if (isExactInteger(magnitude) || fractionBits(magnitude) <= 11) {
        return value;
    }
    // Scale to 15 digits before the point (at most 10^14 * 2^41-ish, or a tiny value scaled up),
    // round half away from zero, scale back.
    const int scale = 14 - static_cast<int>(std::floor(std::log10(magnitude)));
    const double factor = scale >= 0 && scale < static_cast<int>(kTens.size())
                              ? kTens[static_cast<std::size_t>(scale)]
                              : std::pow(10.0, static_cast<double>(scale));
    double x = magnitude * factor;
    if (!std::isfinite(x)) {
        return value;
    }
    x = std::round(x) / factor;
    if (!std::isfinite(x)) {
        return value;
    }
    return value < 0 ? -x : x;
}

bool textEqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() == b.size() && isAscii(a) && isAscii(b)) {
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (upperAscii(a[i]) != upperAscii(b[i])) {
                return false;
            }
        }
        return true;
    }
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const char32_t x = nextCodePoint(a, i), y = nextCodePoint(b, j);
        if (x != y && QChar::toUpper(x) != QChar::toUpper(y)) {
            return false;
        }
    }
    return i == a.size() && j == b.size();
}

bool hasWildcards(std::string_view pattern) {
    return pattern.find_first_of("*?~") != std::string_view::npos;
}

bool wildcardMatch(std::string_view pattern, std::string_view text) {
    // The pattern as characters, each either itself or a wildcard.
    struct Token {
        char32_t c;
        bool wild;
    };
    std::vector<Token> tokens;
    const std::u32string p = foldedCodePoints(pattern);
    for (std::size_t i = 0; i < p.size(); ++i) {
        const bool escaped =
            p[i] == U'~' && i + 1 < p.size() && (p[i + 1] == U'*' || p[i + 1] == U'?' || p[i + 1] == U'~');
        if (escaped) {
            ++i;
        }
        tokens.push_back({p[i], !escaped && (p[i] == U'*' || p[i] == U'?')});
    }
    const std::u32string t = foldedCodePoints(text);
    // Greedy matching that returns to the latest * when the rest fails: each * is tried with one
    // more character at a time.
    std::size_t k = 0, i = 0, star = std::string::npos, resume = 0;
    while (i < t.size()) {
        if (k < tokens.size() && tokens[k].wild && tokens[k].c == U'*') {
            star = k++;
            resume = i;
        } else if (k < tokens.size() &&
                   ((tokens[k].wild && tokens[k].c == U'?') || (!tokens[k].wild && tokens[k].c == t[i]))) {
            ++k;
            ++i;
        } else if (star != std::string::npos) {
            k = star + 1;
            i = ++resume;
        } else {
            return false;
        }
    }
    while (k < tokens.size() && tokens[k].wild && tokens[k].c == U'*') {
        ++k;
    }
    return k == tokens.size();
}

int collateText(std::string_view a, std::string_view b) {
    if (a == b) {
        return 0;
    }
    const QString x = QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size()));
    const QString y = QString::fromUtf8(b.data(), static_cast<qsizetype>(b.size()));
    const int order = collator().compare(x, y);
    return order < 0 ? -1 : order > 0 ? 1 : 0;
}

int compareValues(const Value& a, const Value& b) {
    if (a.isEmpty()) {
        return -compareWithEmpty(b);
    }
    if (b.isEmpty()) {
        return compareWithEmpty(a);
    }
    const int ra = typeRank(a), rb = typeRank(b);
    if (ra != rb) {
        return ra < rb ? -1 : 1;
    }
    if (a.isNumber()) {
        if (approxEqual(a.number(), b.number())) {
            return 0;
        }
        return a.number() < b.number() ? -1 : 1;
    }
    if (a.isBoolean()) {
        return static_cast<int>(a.boolean()) - static_cast<int>(b.boolean());
    }
    return collateText(a.text(), b.text());
}

bool equalValues(const Value& a, const Value& b) {
    if (a.isText() && b.isText()) {
        return textEqualIgnoringCase(a.text(), b.text());
    }
    return compareValues(a, b) == 0;
}

} // namespace markwell::formula
