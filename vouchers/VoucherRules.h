#pragma once

// The arithmetic of a voucher that does not depend on the form: reading an amount typed into a
// box, the tax included in an amount, rounding, and the next voucher number of a day.

#include <QString>
#include <QVariant>
#include <QtGlobal>

namespace orvik::vouchers {

// The number a text starts with, read the way the amount boxes have always been read: blanks
// are skipped, an optional sign, digits, an optional fraction and exponent; whatever follows is
// ignored. An empty or non-numeric text gives 0 ("12/5" gives 12).
double LeadingNumber(const QString& text);

// The whole number nearest to x, a half going to the even neighbour (100.5 → 100, 101.5 → 102).
qint64 RoundHalfEven(double x);

// An amount box's text as whole dollars: its leading number, rounded half to even.
qint64 WholeAmount(const QString& text);

// Whether a box's text is an amount the books can hold: a whole number of 1 to 12 plain
// digits, nothing else (no sign, separator, fraction or exponent).
bool IsWholeAmountText(const QString& text);

// The tax contained in an amount that includes 5% tax: N(A − N(A / 1.05)), where A is the
// leading number of the text and N rounds half to even. 1000 gives 48, 105 gives 5.
qint64 TaxOf(const QString& amountText);

// The number that follows `last`, the highest number stored with the day prefix `prefix`
// (null or empty when the day has none yet): prefix + "001" for the first, else last + 1.
// After …999 the addition carries into the date digits, as it always has.
QString NextVoucherNo(const QString& prefix, const QVariant& last);

// The number after `number` (for a number already taken): number + 1.
QString FollowingNo(const QString& number);

}  // namespace orvik::vouchers
