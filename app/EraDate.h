#pragma once

// Dates in the calendar of the Republic of China (era year = Gregorian year - 1911), and
// amounts in the "##,##0" format.

#include <QDate>
#include <QString>

namespace orvik::app {

// Pattern letters: gg the era name 中華民國, ee the era year (at least two digits), mm and dd
// the two-digit month and day; every other character stands as written.
inline const QString kEraLong =
    QStringLiteral("gg ee 年 mm 月 dd 日");  // 中華民國 92 年 07 月 12 日
inline const QString kEraSlash = QStringLiteral("gg ee/mm/dd");  // 中華民國 92/07/12
inline const QString kEraShort = QStringLiteral("ee/mm/dd");     // 92/07/12
inline const QString kEraCompact = QStringLiteral("eemmdd");     // 920712; voucher-number prefix

// The era year of a date (1 for 1912).
int EraYear(const QDate& date);

// `date` in `pattern`. Empty for an invalid date or one before the era (1912-01-01).
QString FormatEra(const QDate& date, const QString& pattern);

// Reads "ee/mm/dd" (the era year in one to three digits; month and day in one or two) and
// "eemmdd" (six characters, or seven from the era year 100 on). An invalid QDate when the
// text is not such a date.
QDate ParseEraShort(const QString& text);
QDate ParseEraCompact(const QString& text);

// A whole amount in "##,##0": 1234567 gives "1,234,567", 0 gives "0".
QString FormatAmount(qint64 amount);

}  // namespace orvik::app
