#include "VoucherQuery.h"

#include <QStringList>

#include "Recordset.h"

namespace orvik::statements {

namespace {

void range(const DateRange& r, const char* column, QStringList& where, QVariantList& params) {
    if (r.from.isValid()) {
        where << QStringLiteral("%1 >= ?").arg(QString::fromUtf8(column));
        params << iso(r.from);
    }
    if (r.to.isValid()) {
        where << QStringLiteral("%1 <= ?").arg(QString::fromUtf8(column));
        params << iso(r.to);
    }
}

void equal(const QString& value, const char* column, QStringList& where, QVariantList& params) {
    if (value.trimmed().isEmpty())
        return;
    where << QStringLiteral("%1 = ?").arg(QString::fromUtf8(column));
    params << value.trimmed();
}

}  // namespace

QString voucherQuerySql(const VoucherFilter& f, QVariantList* params) {
    QStringList where;
    QVariantList p;
    range(f.entered, "輸入日期", where, p);
    range(f.occurred, "發生日期", where, p);
    equal(f.account, "科目代號", where, p);
    equal(f.project, "專案號碼", where, p);
    equal(f.workType, "工程種類", where, p);
    equal(f.applicant, "申請人", where, p);
    equal(f.signer, "簽收人", where, p);
    switch (f.status) {
        case VoucherStatus::Unapproved:
            where << QStringLiteral("方式 > -3 AND 方式 < 0");
            break;
        case VoucherStatus::Cash:
            where << QStringLiteral("方式 = 0");
            break;
        case VoucherStatus::Bill:
            where << QStringLiteral("方式 >= 1");
            break;
        case VoucherStatus::Void:
            where << QStringLiteral("方式 = -3");
            break;
        case VoucherStatus::Any:
            break;
    }
    if (f.direction == Direction::Income)
        where << QStringLiteral("pay = 0");
    else if (f.direction == Direction::Expense)
        where << QStringLiteral("pay <> 0");
    if (f.minAmount) {
        where << QStringLiteral("金額 >= ?");
        p << *f.minAmount;
    }
    if (f.maxAmount) {
        where << QStringLiteral("金額 <= ?");
        p << *f.maxAmount;
    }
    if (f.hasDocument)
        where << (*f.hasDocument ? QStringLiteral("有單據 <> 0") : QStringLiteral("有單據 = 0"));
    if (!f.text.isEmpty()) {
        QStringList any;
        for (const char* column :
             {"用途說明", "附註一", "附註二", "科目名稱", "專案名稱", "單據號碼"}) {
            any << QStringLiteral("%1 LIKE ? ESCAPE '\\'").arg(QString::fromUtf8(column));
            p << store::likeContains(f.text);
        }
        where << QLatin1Char('(') + any.join(QStringLiteral(" OR ")) + QLatin1Char(')');
    }
    if (params)
        *params = p;
    return QStringLiteral(
               "SELECT 單號, 輸入日期, 發生日期, pay, 科目代號, 科目名稱, 用途說明, 金額, 稅額, "
               "方式, 專案號碼, 專案名稱, 工程種類, 申請人, 簽收人, 有單據, 單據號碼, 附註一, "
               "附註二 FROM iof%1 ORDER BY length(單號), 單號")
        .arg(where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where.join(" AND "));
}

VoucherTotals totalsOf(const QVector<QVector<QVariant>>& rows) {
    VoucherTotals t;
    for (const auto& r : rows) {
        ++t.count;
        if (whole(r.at(vfStatus)) == -3) {
            ++t.voided;
            continue;
        }
        const qint64 amount = whole(r.at(vfAmount));
        if (store::storedBool(r.at(vfPay)))
            t.expense += amount;
        else
            t.income += amount;
        t.tax += whole(r.at(vfTax));
    }
    return t;
}

VoucherQueryResult runVoucherQuery(store::Database& db, const VoucherFilter& filter) {
    QVariantList params;
    const QString sql = voucherQuerySql(filter, &params);
    VoucherQueryResult result;
    auto rs = db.openRecordset(sql, store::RecordsetType::Snapshot, params);
    result.rows = rs.takeRows();
    result.totals = totalsOf(result.rows);
    return result;
}

QString statusText(int status) {
    switch (status) {
        case -1:
        case -2:
            return QStringLiteral("未簽核");
        case -3:
            return QStringLiteral("作廢");
        case 0:
            return QStringLiteral("現金");
        case 1:
        case 3:
            return QStringLiteral("票據");
        case 2:
        case 4:
            return QStringLiteral("已兌現票據");
        default:
            return QString::number(status);
    }
}

}  // namespace orvik::statements
