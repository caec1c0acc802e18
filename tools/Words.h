#pragma once

#include <QDate>
#include <QString>

namespace orvik::admin {

// The amount in Chinese capital numerals, exactly as the program writes it on bills:
// "150000" gives 壹拾伍萬. The caller appends " 元整".
QString amountInWords(const QString& digits);

// Era year of the Republic of China calendar: Gregorian year − 1911.
int eraYear(const QDate& d);

// The voucher-number day prefix "eemmdd" (era year at least two digits).
QString dayPrefix(const QDate& d);

// A voucher number: the day prefix followed by a three-digit daily sequence.
QString voucherNo(const QDate& d, int sequence);

}  // namespace orvik::admin
