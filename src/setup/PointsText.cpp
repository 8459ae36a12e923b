#include "setup/PointsText.h"

#include "setup/Halves.h"

#include "workbook/sheet/NumericText.h"

#include <algorithm>
#include <array>
#include <string_view>

using namespace Qt::Literals::StringLiterals;

namespace markwell {

namespace {

// The number the workbook makes of a text, or none. Points are short ASCII texts: they are read
// from a buffer on the stack, so that checking a full class allocates nothing per value.
std::optional<double> numberOf(QStringView text) {
    const auto read = [](std::string_view utf8) {
        const sheet::Value value = sheet::numericTextToValue(utf8);
        return value.isNumber() ? std::optional<double>(value.number()) : std::nullopt;
    };
    // Whole points ("17"), the common case, without the copy.
    if (const auto number =
            sheet::plainWholeNumber(std::u16string_view(text.utf16(), static_cast<std::size_t>(text.size())))) {
        return number;
    }
    constexpr qsizetype kShort = 64;
    if (text.size() <= kShort) {
        std::array<char, kShort> ascii{};
        qsizetype n = 0;
        for (; n < text.size() && text[n].unicode() < 0x80; ++n) {
            ascii[static_cast<std::size_t>(n)] = static_cast<char>(text[n].unicode());
        }
        if (n == text.size()) {
            return read(std::string_view(ascii.data(), static_cast<std::size_t>(n)));
        }
    }
    const QByteArray utf8 = text.toUtf8();
    return read(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

// Under a decimal comma, the text with its one comma taken as the decimal point, when it has no
// point of its own: "12,5" may be read as 12.5.
bool commaMayBePoint(QStringView points, QChar decimalSeparator) {
    return decimalSeparator == u',' && points.count(u',') == 1 && !points.contains(u'.');
}

QString withPointForComma(QStringView points) {
    QString withPoint = points.toString();
    withPoint.replace(u',', u'.');
    return withPoint;
}

// The number the workbook takes the points text as (see pointsForWorkbook), or none.
std::optional<double> workbookNumber(QStringView points, QChar decimalSeparator) {
    if (commaMayBePoint(points, decimalSeparator)) {
        if (const auto number = numberOf(withPointForComma(points))) {
            return number;
        }
    }
    return numberOf(points);
}

bool isBlank(QStringView text) {
    for (const QChar c : text) {
        if (c != u' ' && c != u'\t') {
            return false;
        }
    }
    return true;
}

} // namespace

QChar decimalSeparatorOf(const QLocale& locale) {
    const QString half = locale.toString(0.5).trimmed();
    return half.size() >= 2 ? half.at(1) : QLatin1Char('.');
}

QString pointsForWorkbook(const QString& points, QChar decimalSeparator) {
    if (!commaMayBePoint(points, decimalSeparator)) {
        return points;
    }
    QString withPoint = withPointForComma(points);
    return numberOf(withPoint) ? withPoint : points;
}

bool pointsWillNotCount(const QString& points, QChar decimalSeparator) {
    return !isBlank(points) && !workbookNumber(points, decimalSeparator);
}

namespace {

QString shownPoints(const QString& points) {
    constexpr qsizetype kShown = 40;
    return points.size() <= kShown ? points : points.left(kShown) + u"..."_s;
}

} // namespace

std::optional<double> pointsNumber(const QString& points, QChar decimalSeparator) {
    return workbookNumber(points, decimalSeparator);
}

namespace {

// studentPointsProblem with the possible points already read: a class is checked reading each
// value once.
QString pointsProblem(const QString& points, const QString& possible, std::optional<double> possibleNumber,
                      QChar decimalSeparator) {
    const auto got = workbookNumber(points, decimalSeparator);
    if (!got) {
        return isBlank(points) ? QString() : pointsWillNotCountNote(points, false);
    }
    if (possibleNumber && *got > *possibleNumber) {
        return u"\"%1\" is more than the possible points (%2)."_s.arg(shownPoints(points), possible.trimmed());
    }
    return {};
}

} // namespace

QString studentPointsProblem(const QString& points, const QString& possible, QChar decimalSeparator) {
    return pointsProblem(points, possible, workbookNumber(possible, decimalSeparator), decimalSeparator);
}

std::vector<PointsIssue> pointsIssues(const std::vector<TestRow>& tests, const std::vector<StudentRow>& students,
                                      QChar decimalSeparator) {
    std::vector<PointsIssue> out;
    const auto testCount = static_cast<qsizetype>(tests.size());
    std::vector<std::optional<double>> possibleNumbers;
    possibleNumbers.reserve(tests.size());
    for (qsizetype t = 0; t < testCount; ++t) {
        const QString& possible = tests[static_cast<size_t>(t)].possiblePoints;
        possibleNumbers.push_back(workbookNumber(possible, decimalSeparator));
        if (!possibleNumbers.back() && !isBlank(possible)) {
            out.push_back({t, -1, pointsWillNotCountNote(possible, true)});
        }
    }
    // A class of thousands of students is checked in two halves at once.
    const qsizetype rowsWorthAThread =
        std::max<qsizetype>(2048, (qsizetype{1} << 18) / std::max<qsizetype>(testCount, 1));
    std::array<std::vector<PointsIssue>, 2> parts;
    inTwoHalves(static_cast<qsizetype>(students.size()), rowsWorthAThread, [&](qsizetype first, qsizetype end) {
        std::vector<PointsIssue>& found = parts[first == 0 ? 0 : 1];
        for (qsizetype s = first; s < end; ++s) {
            const StudentRow& student = students[static_cast<size_t>(s)];
            for (qsizetype t = 0; t < std::min(testCount, student.points.size()); ++t) {
                const auto test = static_cast<size_t>(t);
                const QString problem = pointsProblem(student.points[t], tests[test].possiblePoints,
                                                      possibleNumbers[test], decimalSeparator);
                if (!problem.isEmpty()) {
                    found.push_back({s, t, problem});
                }
            }
        }
    });
    for (std::vector<PointsIssue>& part : parts) {
        out.insert(out.end(), std::make_move_iterator(part.begin()), std::make_move_iterator(part.end()));
    }
    return out;
}

QString pointsWillNotCountNote(const QString& points, bool possiblePoints) {
    const QString shown = shownPoints(points);
    return possiblePoints ? u"\"%1\" is not a number: it will not count in the total possible points."_s.arg(shown)
                          : u"\"%1\" is not a number: it will not count in the student's total."_s.arg(shown);
}

} // namespace markwell
