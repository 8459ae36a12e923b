#include "workbook/render/DateText.h"

#include <array>
#include <cmath>
#include <string_view>

namespace markwell::render {

namespace {

struct CivilDate {
    int year;
    int month;
    int day;
};

// The proleptic Gregorian date of a day counted from 1970-01-01.
CivilDate civilFromDays(long long z) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long long mp = (5 * doy + 2) / 153;
    const long long d = doy - (153 * mp + 2) / 5 + 1;
    const long long m = mp < 10 ? mp + 3 : mp - 9;
    const long long y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    return {static_cast<int>(y), static_cast<int>(m), static_cast<int>(d)};
}

std::string twoDigits(long long n) {
    std::string s = std::to_string(n);
    return s.size() < 2 ? "0" + s : s;
}

constexpr std::array<std::string_view, 12> kMonths{"January",   "February", "March",    "April",
                                                   "May",       "June",     "July",     "August",
                                                   "September", "October",  "November", "December"};
constexpr std::array<std::string_view, 7> kWeekdays{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                    "Thursday", "Friday", "Saturday"};

} // namespace

std::string formatDateText(const std::vector<NumberFormatter::Token>& tokens, bool twelveHour, double serial,
                           bool date1904, bool& unshowable) {
    // Day 2958465 is 31 December 9999, the last day a sheet can show.
    if (serial < 0 || serial >= 2958466.0) {
        unshowable = true;
        return "#######";
    }
    const long long totalSeconds = std::llround(serial * 86400.0);
    const long long day = totalSeconds / 86400;
    const long long secondOfDay = totalSeconds % 86400;

    CivilDate date{};
    long long weekday = 0;
    if (date1904) {
        date = civilFromDays(day - 24107);
        weekday = (day + 5) % 7;
    } else {
        // The 1900 system counts a 29 February 1900 that never was, as spreadsheets always have.
        if (day == 0) {
            date = {1900, 1, 0};
        } else if (day < 60) {
            date = civilFromDays(day - 25568);
        } else if (day == 60) {
            date = {1900, 2, 29};
        } else {
            date = civilFromDays(day - 25569);
        }
        weekday = (day + 6) % 7;
    }
    const long long hour = secondOfDay / 3600;
    const long long minute = secondOfDay / 60 % 60;
    const long long second = secondOfDay % 60;
    long long shownHour = hour;
    if (twelveHour) {
        shownHour = hour % 12 == 0 ? 12 : hour % 12;
    }

    std::string out;
    for (const NumberFormatter::Token& t : tokens) {
        if (t.type != NumberFormatter::Token::Type::DatePart) {
            if (t.type == NumberFormatter::Token::Type::Literal || t.type == NumberFormatter::Token::Type::Point ||
                t.type == NumberFormatter::Token::Type::Digit || t.type == NumberFormatter::Token::Type::Percent) {
                out += t.text;
            }
            continue;
        }
        const std::string& code = t.text;
        if (code[0] == 'y') {
            out += code.size() >= 3 ? std::to_string(date.year) : twoDigits(date.year % 100);
        } else if (code == "m") {
            out += std::to_string(date.month);
        } else if (code == "mm") {
            out += twoDigits(date.month);
        } else if (code == "mmm") {
            out += kMonths[static_cast<std::size_t>(date.month - 1)].substr(0, 3);
        } else if (code == "mmmmm") {
            out += kMonths[static_cast<std::size_t>(date.month - 1)].substr(0, 1);
        } else if (code[0] == 'm') {
            out += kMonths[static_cast<std::size_t>(date.month - 1)];
        } else if (code == "d") {
            out += std::to_string(date.day);
        } else if (code == "dd") {
            out += twoDigits(date.day);
        } else if (code == "ddd") {
            out += kWeekdays[static_cast<std::size_t>(weekday)].substr(0, 3);
        } else if (code[0] == 'd') {
            out += kWeekdays[static_cast<std::size_t>(weekday)];
        } else if (code == "h") {
            out += std::to_string(shownHour);
        } else if (code[0] == 'h') {
            out += twoDigits(shownHour);
        } else if (code == "n") {
            out += std::to_string(minute);
        } else if (code == "nn") {
            out += twoDigits(minute);
        } else if (code == "s") {
            out += std::to_string(second);
        } else if (code[0] == 's') {
            out += twoDigits(second);
        } else if (code == "ampm") {
            out += hour < 12 ? "AM" : "PM";
        } else if (code == "ap") {
            out += hour < 12 ? "A" : "P";
        } else if (code == "[h]") {
            out += std::to_string(totalSeconds / 3600);
        } else if (code == "[m]") {
            out += std::to_string(totalSeconds / 60);
        } else if (code == "[s]") {
            out += std::to_string(totalSeconds);
        }
    }
    return out;
}

} // namespace markwell::render
