#pragma once

#include <QDate>
#include <QString>

namespace orvik::admin {

// The voucher-number day prefix "eemmdd", as the voucher form computes it.
QString dayPrefix(const QDate& d);

// A voucher number: the day prefix followed by a three-digit daily sequence.
QString voucherNo(const QDate& d, int sequence);

}  // namespace orvik::admin
