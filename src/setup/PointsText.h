#pragma once

#include <QChar>
#include <QLocale>
#include <QString>

namespace markwell {

// Points are kept exactly as the teacher wrote them; the workbook turns a text into a number only
// by its own locale-free rule (a point as the decimal separator). These routines tie the two
// together.

// The decimal separator of a locale: the second character of 0.5 formatted by it ("." or ",").
QChar decimalSeparatorOf(const QLocale& locale);

// The points text as the workbook is to be given it. Under a decimal comma, a text that reads as a
// number with its comma taken as the decimal point ("12,5", " 7,25 ") comes back with a point
// instead ("12.5"); every other text, and every text under a decimal point, comes back unchanged.
QString pointsForWorkbook(const QString& points, QChar decimalSeparator);

// True when the points text holds something, but the workbook will keep it as text, so it does not
// count in any total ("abc", "50%", "1,000" under a decimal point, "007").
bool pointsWillNotCount(const QString& points, QChar decimalSeparator);

// The model role that tells a view to mark such points (a bool).
inline constexpr int kPointsWillNotCountRole = Qt::UserRole + 1;

// The tooltip that says so.
QString pointsWillNotCountNote(const QString& points, bool possiblePoints);

} // namespace markwell
