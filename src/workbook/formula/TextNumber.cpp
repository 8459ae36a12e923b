#include "workbook/formula/TextNumber.h"

#include <QDate>

#include <array>
#include <charconv>
#include <cmath>
#include <string>

namespace markwell::formula {

namespace {

constexpr std::size_t kAny = std::string_view::npos;

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// A number in plain decimal notation ("12", "0.5", "3e-2"), or nullopt when it is out of range.
std::optional<double> parsed(const std::string& plain) {
    double x = 0;
    const auto r = std::from_chars(plain.data(), plain.data() + plain.size(), x);
    if (r.ec != std::errc{} || r.ptr != plain.data() + plain.size() || !std::isfinite(x)) {
        return std::nullopt;
    }
    return x;
}

// Reads a text from left to right.
class Scanner {
public:
    explicit Scanner(std::string_view text) : m_text(text) {}

    bool done() const { return m_at == m_text.size(); }
    std::size_t at() const { return m_at; }
    void reset(std::size_t at) { m_at = at; }

    bool take(char c) {
        if (!done() && m_text[m_at] == c) {
            ++m_at;
            return true;
        }
        return false;
    }
    // The number of spaces skipped.
    std::size_t spaces() {
        return run([](char c) { return c == ' '; });
    }
    // The whole run of digits from here, when it is `min` to `max` long; otherwise nothing is
    // read and the result is empty.
    std::string_view digits(std::size_t min = 1, std::size_t max = kAny) {
        const std::size_t start = m_at;
        const std::size_t length = run([](char c) { return c >= '0' && c <= '9'; });
        if (length < min || length > max) {
            m_at = start;
            return {};
        }
        return m_text.substr(start, length);
    }
    std::string_view letters() {
        const std::size_t start = m_at;
        return m_text.substr(start, run([](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }));
    }

private:
    template <typename Pred> std::size_t run(Pred pred) {
        const std::size_t start = m_at;
        while (!done() && pred(m_text[m_at])) {
            ++m_at;
        }
        return m_at - start;
    }

    std::string_view m_text;
    std::size_t m_at = 0;
};

int whole(std::string_view digits) {
    int n = 0;
    for (const char c : digits) {
        n = n * 10 + (c - '0');
    }
    return n;
}

// "-$1,234.5", "5$", "(1E3)", "12.5%": a sign and a dollar sign (each perhaps followed by spaces)
// in either order, or the dollar sign at the end; digits in groups of three or not grouped; an
// exponent where there is neither dollar sign nor percent sign. Parentheses make the number
// negative and take no sign and no percent sign.
std::optional<double> decimal(std::string_view text) {
    bool negative = false, currency = false, percent = false, parenthesised = false;
    if (text.size() >= 2 && text.front() == '(' && text.back() == ')') {
        parenthesised = negative = true;
        text = trimmed(text.substr(1, text.size() - 2));
    } else if (!text.empty() && text.back() == '%') {
        percent = true;
        text.remove_suffix(1);
    }
    Scanner s(text);
    bool haveSign = false;
    const auto takeSign = [&] {
        if (parenthesised || haveSign) {
            return;
        }
        if (s.take('-')) {
            negative = true;
        } else if (!s.take('+')) {
            return;
        }
        haveSign = true;
        s.spaces();
    };
    const auto takeCurrency = [&] {
        if (!currency && s.take('$')) {
            currency = true;
            s.spaces();
        }
    };
    takeSign();
    takeCurrency();
    takeSign();

    std::string plain(s.digits(0));
    if (s.take(',')) {
        if (plain.empty() || plain.size() > 3) {
            return std::nullopt;
        }
        do {
            const std::string_view group = s.digits(3, 3);
            if (group.empty()) {
                return std::nullopt;
            }
            plain += group;
        } while (s.take(','));
    }
    if (s.take('.')) {
        const std::string_view fraction = s.digits(0);
        if (plain.empty() && fraction.empty()) {
            return std::nullopt;
        }
        plain = (plain.empty() ? "0" : plain) + (fraction.empty() ? "" : "." + std::string(fraction));
    }
    if (plain.empty()) {
        return std::nullopt;
    }
    if (!currency && !percent && (s.take('e') || s.take('E'))) {
        if (s.take('-')) {
            plain += "e-";
        } else {
            s.take('+');
            plain += "e";
        }
        const std::string_view power = s.digits();
        if (power.empty()) {
            return std::nullopt;
        }
        plain += power;
    }
    // Spaces only before a dollar sign at the end.
    const std::size_t end = s.at();
    s.spaces();
    if (!currency && s.take('$')) {
        currency = true;
    } else {
        s.reset(end);
    }
    if (!s.done() || (currency && percent)) {
        return std::nullopt;
    }
    auto x = parsed(plain);
    if (x && percent) {
        *x /= 100;
    }
    return x && negative ? std::optional<double>(-*x) : x;
}

// "1 1/2", "-2 3/4".
std::optional<double> mixedFraction(std::string_view text) {
    Scanner s(text);
    const bool negative = s.take('-');
    if (!negative) {
        s.take('+');
    }
    const std::string_view integer = s.digits();
    if (integer.empty() || s.spaces() == 0) {
        return std::nullopt;
    }
    const std::string_view numerator = s.digits();
    if (numerator.empty() || !s.take('/')) {
        return std::nullopt;
    }
    const std::string_view denominator = s.digits();
    if (denominator.empty() || !s.done()) {
        return std::nullopt;
    }
    const auto w = parsed(std::string(integer)), n = parsed(std::string(numerator)),
               d = parsed(std::string(denominator));
    if (!w || !n || !d || *d == 0) {
        return std::nullopt;
    }
    const double x = *w + *n / *d;
    return negative ? -x : x;
}

// January to December, by full name or its first three letters, in any case.
int month(Scanner& s) {
    static constexpr std::array<std::string_view, 12> kNames = {"january",   "february", "march",    "april",
                                                                "may",       "june",     "july",     "august",
                                                                "september", "october",  "november", "december"};
    const std::string_view word = s.letters();
    for (std::size_t i = 0; i < kNames.size(); ++i) {
        if (sameWord(word, kNames[i]) || sameWord(word, kNames[i].substr(0, 3))) {
            return static_cast<int>(i) + 1;
        }
    }
    return 0;
}

// A year of two digits is 1930 to 2029; one digit is the 2000s.
int fullYear(std::string_view digits) {
    const int y = whole(digits);
    return digits.size() == 4 ? y : y < 30 ? 2000 + y : 1900 + y;
}

// The days since 30 December 1899, for dates from 1 March 1900 (before it, programs count the
// 29 February 1900 that never was, or do not) to the year 9999.
std::optional<double> serial(int year, int monthOfYear, int day) {
    const QDate date(year, monthOfYear, day);
    if (!date.isValid() || date < QDate(1900, 3, 1) || year > 9999) {
        return std::nullopt;
    }
    return static_cast<double>(QDate(1899, 12, 30).daysTo(date));
}

// "2026-01-15", "1/15/2026", "1/15/26", "1/15", "15-Jan-2026", "15-Jan-26", "Jan 15, 2026",
// "Jan 15 2026", "January 2026", "Jan-2026".
std::optional<double> date(Scanner& s) {
    const std::size_t start = s.at();
    // Year-month-day.
    if (const std::string_view y = s.digits(4, 4); !y.empty() && s.take('-')) {
        const std::string_view m = s.digits(1, 2);
        if (!m.empty() && s.take('-')) {
            const std::string_view d = s.digits(1, 2);
            return d.empty() ? std::nullopt : serial(whole(y), whole(m), whole(d));
        }
        return std::nullopt;
    }
    s.reset(start);
    if (const std::string_view first = s.digits(1, 2); !first.empty()) {
        // Month/day/year or month/day of this year.
        if (s.take('/')) {
            const std::string_view d = s.digits(1, 2);
            if (d.empty()) {
                return std::nullopt;
            }
            if (!s.take('/')) {
                return serial(QDate::currentDate().year(), whole(first), whole(d));
            }
            const std::string_view y = s.digits(1, 4);
            return y.empty() || y.size() == 3 ? std::nullopt : serial(fullYear(y), whole(first), whole(d));
        }
        // Day-month name-year.
        if (s.take('-')) {
            const int m = month(s);
            const std::string_view y = m && s.take('-') ? s.digits(2, 4) : std::string_view{};
            return y.empty() || y.size() == 3 ? std::nullopt : serial(fullYear(y), m, whole(first));
        }
        return std::nullopt;
    }
    // Month name, day and year, or month name and year (the first of the month).
    const int m = month(s);
    if (!m) {
        return std::nullopt;
    }
    if (s.take('-')) {
        const std::string_view y = s.digits(4, 4);
        return y.empty() ? std::nullopt : serial(whole(y), m, 1);
    }
    if (s.spaces() == 0) {
        return std::nullopt;
    }
    if (const std::string_view y = s.digits(4, 4); !y.empty()) {
        return serial(whole(y), m, 1);
    }
    const std::string_view d = s.digits(1, 2);
    if (d.empty()) {
        return std::nullopt;
    }
    s.take(',');
    const std::string_view y = s.spaces() ? s.digits(4, 4) : std::string_view{};
    return y.empty() ? std::nullopt : serial(whole(y), m, whole(d));
}

// "12:00", "1:30:45.5", "25:00", "9:30 am", "3 PM" as a fraction of a day. After a date the hours
// are below 24 and have their minutes; "AM"/"PM" take the hours 1 to 12, and no negative time.
std::optional<double> timeOfDay(Scanner& s, bool afterDate, bool negative) {
    const std::string_view h = s.digits(1, afterDate ? 2 : 4);
    if (h.empty()) {
        return std::nullopt;
    }
    int hours = whole(h), minutes = 0;
    double seconds = 0;
    const bool clock = s.take(':');
    if (clock) {
        const std::string_view m = s.digits(1, 2);
        if (m.empty() || (minutes = whole(m)) >= 60) {
            return std::nullopt;
        }
        if (s.take(':')) {
            std::string sec(s.digits(1, 2));
            if (sec.empty()) {
                return std::nullopt;
            }
            if (s.take('.')) {
                const std::string_view fraction = s.digits();
                if (fraction.empty()) {
                    return std::nullopt;
                }
                sec += "." + std::string(fraction);
            }
            const auto x = parsed(sec);
            if (!x || *x >= 60) {
                return std::nullopt;
            }
            seconds = *x;
        }
    }
    const std::size_t beforeNoon = s.at();
    s.spaces();
    const std::string_view word = s.letters();
    const bool am = sameWord(word, "AM"), pm = sameWord(word, "PM");
    if (am || pm) {
        if (negative || hours < 1 || hours > 12) {
            return std::nullopt;
        }
        hours = hours % 12 + (pm ? 12 : 0);
    } else {
        s.reset(beforeNoon);
        if (!clock || (afterDate && hours >= 24)) {
            return std::nullopt;
        }
    }
    if (afterDate && !clock) {
        return std::nullopt;
    }
    return (hours * 3600 + minutes * 60 + seconds) / 86400;
}

// A date, a date and a time, or a time (perhaps negative, as a duration).
std::optional<double> dateTime(std::string_view text) {
    Scanner s(text);
    if (const auto day = date(s)) {
        if (s.done()) {
            return day;
        }
        if (s.spaces() == 0) {
            return std::nullopt;
        }
        const auto time = timeOfDay(s, true, false);
        return time && s.done() ? std::optional<double>(*day + *time) : std::nullopt;
    }
    s.reset(0);
    const bool negative = s.take('-');
    const auto time = timeOfDay(s, false, negative);
    if (!time || !s.done()) {
        return std::nullopt;
    }
    return negative ? -*time : *time;
}

} // namespace

std::optional<double> textToNumber(std::string_view text) {
    if (sameWord(text, "TRUE") || sameWord(text, "FALSE")) {
        return sameWord(text, "TRUE") ? 1.0 : 0.0;
    }
    text = trimmed(text);
    if (text.empty()) {
        return std::nullopt;
    }
    if (auto x = decimal(text)) {
        return x;
    }
    if (auto x = mixedFraction(text)) {
        return x;
    }
    return dateTime(text);
}

} // namespace markwell::formula
