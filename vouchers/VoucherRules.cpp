#include "VoucherRules.h"

#include <algorithm>
#include <cmath>

namespace orvik::vouchers {

double LeadingNumber(const QString& text) {
    // Blanks anywhere in the number are skipped, as the old amount reading did.
    QString s;
    s.reserve(text.size());
    for (const QChar c : text) {
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\r') &&
            c != QLatin1Char('\n'))
            s += c;
    }
    qsizetype i = 0;
    const auto digitAt = [&s](qsizetype k) {
        return k < s.size() && s.at(k) >= QLatin1Char('0') && s.at(k) <= QLatin1Char('9');
    };
    if (i < s.size() && (s.at(i) == QLatin1Char('+') || s.at(i) == QLatin1Char('-')))
        ++i;
    const qsizetype digitsStart = i;
    while (digitAt(i))
        ++i;
    bool anyDigit = i > digitsStart;
    if (i < s.size() && s.at(i) == QLatin1Char('.')) {
        const qsizetype frac = ++i;
        while (digitAt(i))
            ++i;
        anyDigit = anyDigit || i > frac;
    }
    if (!anyDigit)
        return 0;
    qsizetype end = i;
    if (i < s.size() && (s.at(i) == QLatin1Char('e') || s.at(i) == QLatin1Char('E'))) {
        qsizetype k = i + 1;
        if (k < s.size() && (s.at(k) == QLatin1Char('+') || s.at(k) == QLatin1Char('-')))
            ++k;
        if (digitAt(k)) {
            while (digitAt(k))
                ++k;
            end = k;
        }
    }
    bool ok = false;
    const double value = s.left(end).toDouble(&ok);
    return ok && std::isfinite(value) ? value : 0;
}

qint64 RoundHalfEven(double x) {
    if (!std::isfinite(x))
        return 0;
    const double r = std::nearbyint(x);  // the default rounding mode is to nearest, ties to even
    if (r >= 9.2e18 || r <= -9.2e18)
        return 0;
    return qint64(r);
}

qint64 WholeAmount(const QString& text) {
    return RoundHalfEven(LeadingNumber(text));
}

bool IsWholeAmountText(const QString& text) {
    if (text.isEmpty() || text.size() > 12)
        return false;
    return std::all_of(text.begin(), text.end(),
                       [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

qint64 TaxOf(const QString& amountText) {
    const double a = LeadingNumber(amountText);
    return RoundHalfEven(a - double(RoundHalfEven(a / 1.05)));
}

QString NextVoucherNo(const QString& prefix, const QVariant& last) {
    const QString text = last.isNull() ? QString() : last.toString();
    if (text.isEmpty())
        return prefix + QStringLiteral("001");
    return FollowingNo(text);
}

QString FollowingNo(const QString& number) {
    return QString::number(RoundHalfEven(LeadingNumber(number)) + 1);
}

}  // namespace orvik::vouchers
