#include "BillRegister.h"

#include <QStringList>

#include "Common.h"
#include "Recordset.h"

namespace orvik::statements {

namespace {

const char* kRemindedOrDue =
    "(方式 = 0 AND ((收入 = 0 AND 提醒日期 <= ?) OR (收入 <> 0 AND 到期日期 <= ?)))";

}  // namespace

BillRegisterResult billRegister(store::Database& db, const BillFilter& f) {
    QStringList where;
    QVariantList p;
    if (f.side == BillSide::Received)
        where << QStringLiteral("收入 <> 0");
    else if (f.side == BillSide::Issued)
        where << QStringLiteral("收入 = 0");
    if (f.status >= 0) {
        where << QStringLiteral("方式 = ?");
        p << f.status;
    }
    if (!f.bank.trimmed().isEmpty()) {
        where << QStringLiteral("(開票銀行 = ? OR 收票銀行 = ?)");
        p << f.bank.trimmed() << f.bank.trimmed();
    }
    if (f.dueWithinDays >= 0) {
        where << QStringLiteral("方式 = 0 AND 到期日期 >= ? AND 到期日期 <= ?");
        p << iso(f.today) << iso(f.today.addDays(f.dueWithinDays));
    }
    if (f.overdueOnly) {
        where << QStringLiteral("方式 = 0 AND 到期日期 < ?");
        p << iso(f.today);
    }
    if (f.reminderReached) {
        where << QString::fromUtf8(kRemindedOrDue);
        p << iso(f.today) << iso(f.today);
    }
    const QString sql =
        QStringLiteral("SELECT * FROM bill%1 ORDER BY 到期日期, 票據號碼")
            .arg(where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where.join(" AND "));
    BillRegisterResult result;
    auto rs = db.openRecordset(sql, store::RecordsetType::Snapshot, p);
    result.rows = rs.takeRows();
    for (const auto& r : result.rows) {
        const qint64 amount = whole(r.value(bfAmount));
        const int status = int(whole(r.value(bfStatus)));
        if (status >= 0 && status < 4) {
            ++result.byStatus[size_t(status)].count;
            result.byStatus[size_t(status)].amount += amount;
        }
        ++result.all.count;
        result.all.amount += amount;
    }
    return result;
}

Reminder reminderCounts(store::Database& db, const QDate& today) {
    Reminder r;
    const QString day = iso(today);
    r.issuedReminded = whole(db.scalar(
        QStringLiteral("SELECT count(*) FROM bill WHERE 方式 = 0 AND 收入 = 0 AND 提醒日期 <= ?"),
        {day}));
    r.receivedDue = whole(db.scalar(
        QStringLiteral("SELECT count(*) FROM bill WHERE 方式 = 0 AND 收入 <> 0 AND 到期日期 <= ?"),
        {day}));
    return r;
}

QString billStatusText(int status) {
    switch (status) {
        case 0:
            return QStringLiteral("未處理");
        case 1:
            return QStringLiteral("兌現");
        case 2:
            return QStringLiteral("作廢");
        case 3:
            return QStringLiteral("退票");
        default:
            return QString::number(status);
    }
}

}  // namespace orvik::statements
