#include "Words.h"

namespace orvik::admin {

namespace {

const QString kDigits = QStringLiteral("零壹貳參肆伍陸柒捌玖");

QString unitOf(int p) {
    static const QString units[] = {QString(),
                                    QStringLiteral("拾"),
                                    QStringLiteral("佰"),
                                    QStringLiteral("仟"),
                                    QStringLiteral("萬"),
                                    QStringLiteral("十萬"),
                                    QStringLiteral("佰萬"),
                                    QStringLiteral("仟萬"),
                                    QStringLiteral("億")};
    return p >= 1 && p <= 8 ? units[p] : QString();
}

// Reads one group of up to eight digit words, building r from the right.
QString readGroup(const QString& g) {
    const QChar zero = kDigits.at(0);
    const int m = int(g.size());
    if (m == 0)
        return {};
    QString r;
    for (int k = 1; k <= m - 1; ++k) {
        const QChar d = g.at(m - 1 - k);
        if (d != zero)
            r = QString(d) + unitOf(k) + r;
        else if (!r.startsWith(zero))
            r.prepend(zero);
    }
    if (g.at(m - 1) != zero)
        r += g.at(m - 1);
    while (r.endsWith(zero))
        r.chop(1);
    return r;
}

}  // namespace

QString amountInWords(const QString& digits) {
    QString w;
    for (const QChar c : digits) {
        const int d = c.digitValue();
        if (d < 0 || d > 9)
            return {};
        w += kDigits.at(d);
    }
    const int n = int(w.size());
    if (n <= 5)
        return readGroup(w);
    if (n <= 8)
        return readGroup(w.left(n - 4)) + QStringLiteral("萬") + readGroup(w.right(4));
    return readGroup(w.left(n - 8)) + QStringLiteral("億") + readGroup(w.mid(n - 8, 4)) +
           QStringLiteral("萬") + readGroup(w.right(4));
}

int eraYear(const QDate& d) {
    return d.year() - 1911;
}

QString dayPrefix(const QDate& d) {
    return QStringLiteral("%1%2%3")
        .arg(eraYear(d), 2, 10, QLatin1Char('0'))
        .arg(d.month(), 2, 10, QLatin1Char('0'))
        .arg(d.day(), 2, 10, QLatin1Char('0'));
}

QString voucherNo(const QDate& d, int sequence) {
    return dayPrefix(d) + QStringLiteral("%1").arg(sequence, 3, 10, QLatin1Char('0'));
}

}  // namespace orvik::admin
