#include "Routines.h"

#include <QVariant>

#include "Database.h"
#include "Globals.h"

namespace orvik::app {

namespace {

const QString kDigitWords = QStringLiteral("零壹貳參肆伍陸柒捌玖");
const QChar kZero = kDigitWords.at(0);

// Entry p is the unit of the digit p places left of the last digit of a group.
const QString kUnits[] = {QString(),
                          QStringLiteral("拾"),
                          QStringLiteral("佰"),
                          QStringLiteral("仟"),
                          QStringLiteral("萬"),
                          QStringLiteral("十萬"),
                          QStringLiteral("佰萬"),
                          QStringLiteral("仟萬"),
                          QStringLiteral("億")};

// Reads one group of digit words: a run of zeros inside gives one 零, zeros at the end
// nothing, so "零伍零零" reads 零伍佰.
QString readGroup(const QString& g) {
    const qsizetype m = g.size();
    QString r;
    for (qsizetype k = 1; k <= m - 1; ++k) {
        const QChar d = g.at(m - 1 - k);
        if (d != kZero)
            r = d + kUnits[k] + r;
        else if (!r.startsWith(kZero))
            r = kZero + r;
    }
    if (m > 0 && g.at(m - 1) != kZero)
        r += g.at(m - 1);
    while (r.endsWith(kZero))
        r.chop(1);
    return r;
}

}  // namespace

QString ToBinaryRights(qint32 rights) {
    quint32 n = static_cast<quint32>(rights);
    QString s;
    do {
        s += QLatin1Char(n % 2 ? '1' : '0');
        n /= 2;
    } while (n > 0);
    while (s.size() < 22)
        s += QLatin1Char('0');
    return s;
}

qint32 EffectiveRights(qint32 rights) {
    return rights < 0 || rights > kAllRights ? 0 : rights;
}

bool HasRight(int digit) {
    if (digit < 1 || digit > 22)
        return false;
    return (EffectiveRights(gRights) >> (digit - 1)) & 1;
}

bool HasAnyRight(int first, int last) {
    for (int digit = first; digit <= last; ++digit) {
        if (HasRight(digit))
            return true;
    }
    return false;
}

QString AmountInWords(const QString& digits) {
    QString w;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return {};
        if (w.isEmpty() && c == QLatin1Char('0'))
            continue;  // leading zeros carry no value
        w += kDigitWords.at(c.unicode() - '0');
    }
    const qsizetype n = w.size();
    if (n > 12)
        return {};
    if (n <= 5)
        return readGroup(w);
    const QString low = readGroup(w.right(4));
    if (n <= 8)
        return readGroup(w.left(n - 4)) + QStringLiteral("萬") + low;
    const QString mid = readGroup(w.mid(n - 8, 4));
    const QString high = readGroup(w.left(n - 8));
    if (!mid.isEmpty())
        return high + QStringLiteral("億") + mid + QStringLiteral("萬") + low;
    // An empty ten-thousands group takes no 萬; a zero stands for it when a low group follows.
    if (low.isEmpty() || low.startsWith(kZero))
        return high + QStringLiteral("億") + low;
    return high + QStringLiteral("億") + kZero + low;
}

QString GroupThousands(const QString& digits) {
    QString t = digits;
    QString sign;
    if (t.startsWith(QLatin1Char('-'))) {
        sign = QStringLiteral("-");
        t.remove(0, 1);
    }
    QString s;
    while (t.size() >= 3) {
        s = QLatin1Char(',') + t.right(3) + s;
        t.chop(3);
    }
    s = t + s;
    if (s.startsWith(QLatin1Char(',')))
        s.remove(0, 1);
    return sign + s;
}

QString FindBillNo(const QString& voucherNo) {
    if (!dbAcc)
        throw store::EngineError(store::err::ReservedError, QStringLiteral("帳務資料庫尚未開啟。"));
    store::Database& db = *dbAcc;
    const QString billOf = QStringLiteral("select 票據號碼 from bill where 收支單號 = ?");

    // A voucher with a bill of its own: that bill, even if it also belongs to a combined one.
    const QVariant own = db.scalar(billOf, {voucherNo});
    if (own.isValid())
        return own.toString();

    const QVariant key =
        db.scalar(QStringLiteral("select 多單號 from iofs where 單號 = ?"), {voucherNo});
    // A null or empty combined key would otherwise match a bill whose voucher number is empty.
    if (key.isNull() || key.toString().isEmpty())
        return {};
    return db.scalar(billOf, {key.toString()}).toString();
}

}  // namespace orvik::app
