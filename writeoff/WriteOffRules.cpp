#include "WriteOffRules.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

#include "EraDate.h"

namespace orvik::writeoff {

QString ItemTable(bool income) {
    return income ? QStringLiteral("ri") : QStringLiteral("ro");
}

QString InstalmentTable(bool income) {
    return ItemTable(income) + QStringLiteral("期");
}

QString AdditionTable(bool income) {
    return ItemTable(income) + QStringLiteral("加");
}

QString OpenItemsSql(bool income) {
    // An item without instalment rows is never listed, even with an open addition: the list
    // has always been built on the instalments.
    return QStringLiteral(
               "SELECT %1.id, %1.收名稱 FROM %1 "
               "WHERE EXISTS (SELECT 1 FROM %2 WHERE %2.id = %1.id) "
               "AND (EXISTS (SELECT 1 FROM %2 WHERE %2.id = %1.id AND %2.處理 = 0) "
               "OR EXISTS (SELECT 1 FROM %3 WHERE %3.id = %1.id AND %3.處理 = 0)) "
               "GROUP BY %1.id, %1.收名稱")
        .arg(ItemTable(income), InstalmentTable(income), AdditionTable(income));
}

QString OpenInstalmentsSql(bool income) {
    return QStringLiteral("select * from %1 where id = ? and 處理 = 0 order by 期別")
        .arg(InstalmentTable(income));
}

QString OpenAdditionsSql(bool income) {
    return QStringLiteral("select * from %1 where id = ? and 處理 = 0").arg(AdditionTable(income));
}

double LeadingNumber(const QString& text) {
    static const QRegularExpression number(QStringLiteral("^\\s*([+-]?(\\d+\\.?\\d*|\\.\\d+))"));
    const auto match = number.match(text);
    return match.hasMatch() ? match.captured(1).toDouble() : 0.0;
}

qint64 RoundHalfEven(double x) {
    // Far beyond any amount, but kept inside qint64 so that a wild text cannot overflow.
    constexpr double kLimit = 1e15;
    if (!std::isfinite(x))
        return 0;
    x = std::clamp(x, -kLimit, kLimit);
    return qint64(std::nearbyint(x));  // the default rounding mode goes to even on a half
}

qint64 WholeAmount(const QString& text) {
    return RoundHalfEven(LeadingNumber(text));
}

QString NumberText(const QVariant& value) {
    if (value.isNull() || !value.isValid())
        return {};
    if (value.typeId() == QMetaType::Double) {
        const double d = value.toDouble();
        if (d == std::floor(d) && std::fabs(d) < 1e15)
            return QString::number(qint64(d));
        return QString::number(d, 'g', 15);
    }
    return value.toString();
}

QString AmountText(const QVariant& value) {
    bool ok = false;
    const double amount = value.toDouble(&ok);
    if (!ok || amount != std::floor(amount) || std::fabs(amount) >= 1e15)
        return NumberText(value);
    return app::FormatAmount(qint64(amount));
}

std::optional<qint64> TypedAmount(const QString& text) {
    static const QRegularExpression amount(
        QStringLiteral("^\\s*\\+?(\\d{1,3}(?:,\\d{3})+|\\d+)(\\.\\d*)?\\s*$"));
    const auto match = amount.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    QString digits = match.captured(1);
    digits.remove(QLatin1Char(','));
    while (digits.size() > 1 && digits.startsWith(QLatin1Char('0')))
        digits.remove(0, 1);
    if (digits.size() > 12)
        return std::nullopt;
    return RoundHalfEven((digits + match.captured(2)).toDouble());
}

std::optional<QVariant> PeriodFromKey(const QString& key, bool instalment) {
    const QString number = (instalment ? key.chopped(key.isEmpty() ? 0 : 1) : key.mid(2)).trimmed();
    bool ok = false;
    const qint64 whole = number.toLongLong(&ok);
    if (ok)
        return QVariant(whole);
    const double fraction = number.toDouble(&ok);
    if (ok && std::isfinite(fraction))
        return QVariant(fraction);
    return std::nullopt;
}

}  // namespace orvik::writeoff
