#include "CashFlow.h"

#include <algorithm>

#include "Recordset.h"

namespace orvik::statements {

QVector<DateRange> flowBuckets(const QDate& today, Step step, int months) {
    QVector<DateRange> out;
    if (step == Step::Month) {
        const QDate first(today.year(), today.month(), 1);
        for (int i = 0; i < months; ++i)
            out << DateRange{first.addMonths(i), first.addMonths(i + 1).addDays(-1)};
        return out;
    }
    const QDate end = today.addMonths(months);
    for (QDate d = today.addDays(1 - today.dayOfWeek()); d < end; d = d.addDays(7))
        out << DateRange{d, d.addDays(6)};
    return out;
}

CashFlow cashFlow(store::Database& db, const QDate& today, Step step, int months) {
    CashFlow cf;
    cf.today = today;
    const QVector<DateRange> ranges = flowBuckets(today, step, months);
    const QDate last = ranges.isEmpty() ? today : ranges.last().to;
    store::ReadTransaction read(db);

    cf.cash = whole(db.scalar(QStringLiteral("SELECT bala FROM cash ORDER BY id DESC LIMIT 1")));
    {
        // Each account's row with the highest id holds its balance.
        auto rs = db.openRecordset(
            QStringLiteral("SELECT b.bala FROM bank b JOIN (SELECT bank, Bid, max(id) AS id FROM "
                           "bank GROUP BY bank, Bid) m ON b.bank = m.bank AND b.Bid = m.Bid AND "
                           "b.id = m.id"),
            store::RecordsetType::Snapshot);
        for (; !rs.isEOF(); rs.MoveNext())
            cf.bank += whole(rs.field(0));
        rs.Close();
    }

    auto add = [&](ExpectedItem item) {
        if (!item.date.isValid() || item.date > last || (item.in == 0 && item.out == 0))
            return;
        cf.items << item;
    };
    {
        auto rs = db.openRecordset(
            QStringLiteral("SELECT 票據號碼, 收入, 到期日期, 可用日期, 票據金額, 開票人, 收票人 "
                           "FROM bill WHERE 方式 = 0 AND coalesce(可用日期, 到期日期) <= ?"),
            store::RecordsetType::Snapshot, {iso(last)});
        for (; !rs.isEOF(); rs.MoveNext()) {
            const bool received = store::storedBool(rs.field(1));
            ExpectedItem item;
            item.reference = rs.text(0);
            const QDate due = store::storedDate(rs.field(2));
            const QDate available = store::storedDate(rs.field(3));
            item.date = received && available.isValid() ? available : due;
            item.source = received ? QStringLiteral("收到票據") : QStringLiteral("開出票據");
            item.party = received ? rs.text(5) : rs.text(6);
            (received ? item.in : item.out) = whole(rs.field(4));
            add(item);
        }
        rs.Close();
    }
    struct Open {
        const char* table;
        const char* source;
        bool in;
    };
    for (const Open& o : {Open{"ri期", "應收分期", true}, Open{"ri加", "應收追加", true},
                          Open{"ro期", "應付分期", false}, Open{"ro加", "應付追加", false}}) {
        const QString party = o.in ? QStringLiteral("ri") : QStringLiteral("ro");
        auto rs = db.openRecordset(
            QStringLiteral("SELECT t.id, t.期別, t.預付日期, t.應付金額, t.沖帳金額, p.收名稱 "
                           "FROM \"%1\" t LEFT JOIN %2 p ON p.id = t.id WHERE coalesce(t.處理, 0) "
                           "= 0 AND t.預付日期 <= ?")
                .arg(QString::fromUtf8(o.table), party),
            store::RecordsetType::Snapshot, {iso(last)});
        for (; !rs.isEOF(); rs.MoveNext()) {
            ExpectedItem item;
            item.date = store::storedDate(rs.field(2));
            item.source = QString::fromUtf8(o.source);
            item.reference =
                rs.text(0) + QStringLiteral(" 第 ") + rs.text(1) + QStringLiteral(" 期");
            item.party = rs.text(5);
            const qint64 open = std::max<qint64>(0, whole(rs.field(3)) - whole(rs.field(4)));
            (o.in ? item.in : item.out) = open;
            add(item);
        }
        rs.Close();
    }
    std::stable_sort(cf.items.begin(), cf.items.end(),
                     [](const ExpectedItem& a, const ExpectedItem& b) { return a.date < b.date; });

    cf.overdue.range = {QDate(), today.addDays(-1)};
    for (const auto& r : ranges)
        cf.buckets << FlowBucket{r, 0, 0, 0};
    for (const auto& item : cf.items) {
        FlowBucket* bucket = nullptr;
        if (item.date < today) {
            bucket = &cf.overdue;
        } else {
            for (auto& b : cf.buckets) {
                if (b.range.contains(item.date)) {
                    bucket = &b;
                    break;
                }
            }
        }
        if (!bucket)
            continue;
        bucket->in += item.in;
        bucket->out += item.out;
        cf.totalIn += item.in;
        cf.totalOut += item.out;
    }
    qint64 balance = cf.opening() + cf.overdue.in - cf.overdue.out;
    cf.overdue.balance = balance;
    for (auto& b : cf.buckets) {
        balance += b.in - b.out;
        b.balance = balance;
    }
    return cf;
}

}  // namespace orvik::statements
