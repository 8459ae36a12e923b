#include "setup/PointsText.h"

#include "workbook/sheet/NumericText.h"

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

QString pointsWillNotCountNote(const QString& points, bool possiblePoints) {
    constexpr qsizetype kShown = 40;
    const QString shown = points.size() <= kShown ? points : points.left(kShown) + u"..."_s;
    return possiblePoints ? u"\"%1\" is not a number: it will not count in the total possible points."_s.arg(shown)
                          : u"\"%1\" is not a number: it will not count in the student's total."_s.arg(shown);
}

} // namespace markwell
