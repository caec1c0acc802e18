#pragma once

// What the write-off form works out without a window: which tables a direction uses, the
// queries it runs, how amounts are read, and which 期別 a grid row stands for.

#include <QString>
#include <QVariant>
#include <optional>

namespace orvik::writeoff {

// Receivables (ri...) for an income voucher, payables (ro...) for an expense voucher.
QString ItemTable(bool income);        // ri / ro
QString InstalmentTable(bool income);  // ri期 / ro期
QString AdditionTable(bool income);    // ri加 / ro加

// The items with at least one instalment row and at least one open instalment or open
// addition, once each. Written with EXISTS so that each item costs a few index look-ups on
// (id, 期別) instead of joining every instalment with every addition.
QString OpenItemsSql(bool income);
// The open rows of one item (parameter: its id); instalments in 期別 order.
QString OpenInstalmentsSql(bool income);
QString OpenAdditionsSql(bool income);

// Position of 沖帳金額 in a row; 沖帳日期, 現金沖帳, 沖帳票據號碼, 沖帳單號 and 處理 follow it.
inline constexpr int kInstalmentStampColumn = 7;
inline constexpr int kAdditionStampColumn = 8;

// The number a text starts with: blanks skipped, an optional sign, digits and an optional
// fraction; whatever follows is ignored; 0 when there is none ("12/5" gives 12).
double LeadingNumber(const QString& text);
// The whole number nearest to x, a half going to the even neighbour.
qint64 RoundHalfEven(double x);
// An amount text as whole dollars: its leading number, rounded half to even.
qint64 WholeAmount(const QString& text);

// A stored number (amount, 期別, share) as the grids show it: whole numbers without a
// fraction; null as empty text.
QString NumberText(const QVariant& value);

// A stored amount in "##,##0"; one with a fraction (legacy data) as NumberText.
QString AmountText(const QVariant& value);

// The amount a user typed into the input box, in whole dollars: digits, optionally grouped
// with ",", an optional fraction, blanks around. Nothing for any other text, for a negative
// amount and for more than twelve digits, which no amount of this system reaches.
std::optional<qint64> TypedAmount(const QString& text);

// The 期別 a grid row key stands for: "3期" gives 3, "追加2" gives 2 (instalment keys end
// in 期, addition keys start with 追加). Nothing when what remains is not a number.
std::optional<QVariant> PeriodFromKey(const QString& key, bool instalment);

}  // namespace orvik::writeoff
