#pragma once

// Routines that several forms share: the rights string, amounts in Chinese capital numerals,
// digit grouping and the bill lookup of a voucher.

#include <QString>
#include <QtGlobal>

namespace orvik::app {

// The rights number as a string of "0" and "1", lowest bit first, filled with "0" to 22
// characters: character k (from 1) is bit k-1. Numbers of more than 22 bits give a longer
// string. A negative number is read as its 32-bit pattern (-1: 32 "1").
QString ToBinaryRights(qint32 rights);

// Every right of the 22 the program knows.
inline constexpr qint32 kAllRights = (1 << 22) - 1;  // 4194303

// The rights number the program honours: one outside the 22 known bits (negative, or with a
// bit above the 22nd set) grants nothing, rather than everything its bit pattern would show.
qint32 EffectiveRights(qint32 rights);

// Whether digit k (1 to 22, lowest bit first) of the logged-in user's rights is "1". Read from
// gRights at every call, so a handler that writes can check again what its button showed.
bool HasRight(int digit);
// Whether any of the digits first..last is "1" (a group of the bar: 1–4, 5–8, ...).
bool HasAnyRight(int first, int last);

// A whole amount given as decimal digits ("150000") in Chinese capital numerals
// ("壹拾伍萬"); the caller appends its ending ("元整"). Zero gives the empty string. Leading
// zeros are ignored. Anything but a plain string of at most 12 significant digits gives the
// empty string.
QString AmountInWords(const QString& digits);

// The digits with "," every three from the right: "1234567" gives "1,234,567". A leading "-"
// is kept in front.
QString GroupThousands(const QString& digits);

// The number of the bill that paid a voucher: its own bill if it has one, otherwise the bill
// of the combined bill that covers it; empty when none. Reads dbAcc.
QString FindBillNo(const QString& voucherNo);

}  // namespace orvik::app
