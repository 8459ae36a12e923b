#include "setup/PointsText.h"

#include "workbook/sheet/NumericText.h"

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace markwell {

namespace {

bool becomesNumber(const QString& text) {
    return sheet::numericTextToValue(text.toStdString()).isNumber();
}

bool isBlank(const QString& text) {
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
    if (decimalSeparator != u',' || points.count(u',') != 1 || points.contains(u'.')) {
        return points;
    }
    QString withPoint = points;
    withPoint.replace(u',', u'.');
    return becomesNumber(withPoint) ? withPoint : points;
}

bool pointsWillNotCount(const QString& points, QChar decimalSeparator) {
    return !isBlank(points) && !becomesNumber(pointsForWorkbook(points, decimalSeparator));
}

namespace {

QString shownPoints(const QString& points) {
    constexpr qsizetype kShown = 40;
    return points.size() <= kShown ? points : points.left(kShown) + u"..."_s;
}

} // namespace

std::optional<double> pointsNumber(const QString& points, QChar decimalSeparator) {
    const sheet::Value value = sheet::numericTextToValue(pointsForWorkbook(points, decimalSeparator).toStdString());
    return value.isNumber() ? std::optional<double>(value.number()) : std::nullopt;
}

QString studentPointsProblem(const QString& points, const QString& possible, QChar decimalSeparator) {
    if (pointsWillNotCount(points, decimalSeparator)) {
        return pointsWillNotCountNote(points, false);
    }
    const auto got = pointsNumber(points, decimalSeparator);
    const auto most = pointsNumber(possible, decimalSeparator);
    if (got && most && *got > *most) {
        return u"\"%1\" is more than the possible points (%2)."_s.arg(shownPoints(points), possible.trimmed());
    }
    return {};
}

std::vector<PointsIssue> pointsIssues(const std::vector<TestRow>& tests, const std::vector<StudentRow>& students,
                                      QChar decimalSeparator) {
    std::vector<PointsIssue> out;
    const auto testCount = static_cast<qsizetype>(tests.size());
    for (qsizetype t = 0; t < testCount; ++t) {
        const QString& possible = tests[static_cast<size_t>(t)].possiblePoints;
        if (pointsWillNotCount(possible, decimalSeparator)) {
            out.push_back({t, -1, pointsWillNotCountNote(possible, true)});
        }
    }
    for (qsizetype s = 0; s < static_cast<qsizetype>(students.size()); ++s) {
        const StudentRow& student = students[static_cast<size_t>(s)];
        for (qsizetype t = 0; t < std::min(testCount, student.points.size()); ++t) {
            const QString problem =
                studentPointsProblem(student.points[t], tests[static_cast<size_t>(t)].possiblePoints, decimalSeparator);
            if (!problem.isEmpty()) {
                out.push_back({s, t, problem});
            }
        }
    }
    return out;
}

QString pointsWillNotCountNote(const QString& points, bool possiblePoints) {
    const QString shown = shownPoints(points);
    return possiblePoints ? u"\"%1\" is not a number: it will not count in the total possible points."_s.arg(shown)
                          : u"\"%1\" is not a number: it will not count in the student's total."_s.arg(shown);
}

} // namespace markwell
