#include "BillStore.h"

#include <algorithm>
#include <cmath>

#include "Audit.h"
#include "Recordset.h"

namespace orvik::bills {

using store::Database;
using store::Recordset;
using store::Transaction;

namespace {

// Unapproved vouchers carry -1 or -2; void is -3, approved 0 and up.
bool isUnapproved(const QVariant& status) {
    if (status.isNull())
        return false;
    const qint64 s = wholeAmount(status);
    return s == -1 || s == -2;
}

QVariant dateOrNull(const QDate& d) {
    return d.isValid() ? QVariant(d) : QVariant();
}

}  // namespace

QString combinedKey(const QString& firstVoucherNo) {
    return firstVoucherNo + QLatin1Char('S');
}

bool isCombinedKey(const QString& key) {
    return key.endsWith(QLatin1Char('S'));
}

qint64 wholeAmount(const QVariant& stored) {
    if (stored.isNull() || !stored.isValid())
        return 0;
    if (stored.typeId() == QMetaType::Double || stored.typeId() == QMetaType::QString)
        return std::llrint(stored.toDouble());  // the default rounding: a half to even
    return stored.toLongLong();
}

void insertBill(Database& db, const BillRow& row) {
    db.execute(
        QStringLiteral(
            "insert into bill (票據號碼, 開票日期, 提醒日期, 到期日期, 可用日期, 開票銀行, "
            "收票銀行, 開票人, 收票人, 開票帳號, 收票帳號, 票據金額, 大寫金額, 收入, 收支單號, "
            "方式) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
        {row.billNo, dateOrNull(row.issueDate), dateOrNull(row.remindDate), dateOrNull(row.dueDate),
         dateOrNull(row.availableDate), row.issuingBank, row.receivingBank, row.drawer, row.payee,
         row.issuingAccount, row.receivingAccount, row.amount, row.amountWords, row.income,
         row.voucherNo, qint16(row.status)});
}

QJsonObject billObject(const BillRow& row) {
    const auto date = [](const QDate& d) {
        return d.isValid() ? QJsonValue(d.toString(Qt::ISODate)) : QJsonValue(QJsonValue::Null);
    };
    return {{QStringLiteral("票據號碼"), row.billNo},
            {QStringLiteral("開票日期"), date(row.issueDate)},
            {QStringLiteral("提醒日期"), date(row.remindDate)},
            {QStringLiteral("到期日期"), date(row.dueDate)},
            {QStringLiteral("可用日期"), date(row.availableDate)},
            {QStringLiteral("開票銀行"), row.issuingBank},
            {QStringLiteral("收票銀行"), row.receivingBank},
            {QStringLiteral("開票人"), row.drawer},
            {QStringLiteral("收票人"), row.payee},
            {QStringLiteral("開票帳號"), row.issuingAccount},
            {QStringLiteral("收票帳號"), row.receivingAccount},
            {QStringLiteral("票據金額"), row.amount},
            {QStringLiteral("大寫金額"), row.amountWords},
            {QStringLiteral("收入"), row.income ? -1 : 0},
            {QStringLiteral("收支單號"), row.voucherNo},
            {QStringLiteral("方式"), qint64(row.status)}};
}

bool commitSingleBill(Database& db, const BillRow& row) {
    Transaction tx(db);
    const QVariant status =
        db.scalar(QStringLiteral("select 方式 from iof where 單號 = ?"), {row.voucherNo});
    if (!isUnapproved(status))
        return false;  // rolled back: nothing was written
    insertBill(db, row);
    db.execute(QStringLiteral("update iof set 方式 = 1 where 單號 = ?"), {row.voucherNo});
    audit::record(db, {audit::Kind::ApproveBill,
                       QStringLiteral("iof"),
                       row.voucherNo,
                       {{QStringLiteral("方式"), wholeAmount(status)}},
                       {{QStringLiteral("方式"), 1}, {QStringLiteral("bill"), billObject(row)}}});
    tx.commit();
    return true;
}

CombinedRefusal commitCombinedBill(Database& db, const BillRow& row,
                                   const QVector<MarkedVoucher>& vouchers) {
    Transaction tx(db);
    CombinedRefusal refused;
    for (const MarkedVoucher& v : vouchers) {
        Recordset stored =
            db.openRecordset(QStringLiteral("select 方式, 金額, pay from iof where 單號 = ?"),
                             store::RecordsetType::Snapshot, {v.number});
        if (stored.isEOF() || !isUnapproved(stored.field(0)))
            refused.settled << v.number;
        else if (wholeAmount(stored.field(1)) != v.amount || !store::storedBool(stored.field(2)))
            refused.changed << v.number;
    }
    if (!refused.isEmpty() || vouchers.isEmpty())
        return refused;
    QJsonObject before, after;
    for (const MarkedVoucher& v : vouchers) {
        before.insert(
            v.number,
            QJsonObject{{QStringLiteral("方式"),
                         wholeAmount(db.scalar(
                             QStringLiteral("select 方式 from iof where 單號 = ?"), {v.number}))}});
        after.insert(v.number, QJsonObject{{QStringLiteral("方式"), 1}});
    }
    insertBill(db, row);
    for (const MarkedVoucher& v : vouchers) {
        db.execute(QStringLiteral("insert into iofs (多單號, 單號) values (?, ?)"),
                   {row.voucherNo, v.number});
        db.execute(QStringLiteral("update iof set 方式 = 1 where 單號 = ?"), {v.number});
    }
    QJsonObject bill = billObject(row);
    bill.insert(QStringLiteral("iof"), after);
    audit::record(db, {audit::Kind::CombinedBill,
                       QStringLiteral("bill"),
                       row.voucherNo,
                       {{QStringLiteral("iof"), before}},
                       bill});
    tx.commit();
    return {};
}

QString combinedKeyOf(Database& db, const QString& voucherNo) {
    return db.scalar(QStringLiteral("select 多單號 from iofs where 單號 = ?"), {voucherNo})
        .toString();
}

qint64 availableFunds(Database& db, const QString& bank, const QString& account) {
    qint64 available = wholeAmount(db.scalar(
        QStringLiteral("select bala from bank where bank = ? and Bid = ? order by id desc limit 1"),
        {bank, account}));
    const QVariant ps =
        db.scalar(QStringLiteral("select coalesce(ps, 0) from bbank where bank = ? and id = ?"),
                  {bank, account});
    if (ps.isValid())
        available += wholeAmount(ps);
    return available;
}

ProcessResult processBill(Database& db, const ProcessRequest& request) {
    using Outcome = ProcessResult::Outcome;
    ProcessResult result;
    Transaction tx(db);

    // Re-read here: the form showed the bill some time ago, and another copy may have
    // processed it since.
    const QVariant stored = db.scalar(
        QStringLiteral("select 方式 from bill where 收支單號 = ? limit 1"), {request.key});
    if (!stored.isValid()) {
        result.outcome = Outcome::Missing;
        return result;
    }
    if (wholeAmount(stored) != 0) {
        result.outcome = Outcome::AlreadyProcessed;
        result.storedStatus = BillStatus(wholeAmount(stored));
        return result;
    }

    QDate due = request.movementDate;
    if (request.action == BillStatus::Cashed) {
        // The dates as stored decide, not what a form derived from them: an income bill is
        // cashed from its available date on, an issued one from its due date on.
        Recordset dates = db.openRecordset(
            QStringLiteral("select 到期日期, 可用日期, 收入 from bill where 收支單號 = ? limit 1"),
            store::RecordsetType::Snapshot, {request.key});
        due = store::storedDate(dates.field(0));
        const QDate available = store::storedDate(dates.field(1));
        const bool income = store::storedBool(dates.field(2));
        dates.Close();
        if (!due.isValid() || (income && !available.isValid())) {
            result.outcome = Outcome::DatesMissing;
            return result;
        }
        const QDate usable = income ? std::max(due, available) : due;
        if (!request.today.isValid() || request.today < usable) {
            result.outcome = Outcome::TooEarly;
            result.usable = usable;
            return result;
        }
    }

    if (request.action == BillStatus::Cashed && !request.income) {
        const qint64 available = availableFunds(db, request.bank, request.account);
        if (available < request.amount) {
            result.outcome = Outcome::InsufficientFunds;
            result.available = available;
            return result;
        }
    }

    db.execute(QStringLiteral("update bill set 方式 = ? where 收支單號 = ?"),
               {qint16(request.action), request.key});
    QJsonObject before{{QStringLiteral("方式"), wholeAmount(stored)}};
    QJsonObject after{{QStringLiteral("方式"), qint64(request.action)}};
    audit::Kind kind = audit::Kind::Rewrite;

    if (request.action == BillStatus::Cashed) {
        Recordset last = db.openRecordset(
            QStringLiteral(
                "select id, bala from bank where bank = ? and Bid = ? order by id desc limit 1"),
            store::RecordsetType::Snapshot, {request.bank, request.account});
        qint64 lastId = 0;
        qint64 lastBalance = 0;
        if (!last.isEOF()) {
            lastId = wholeAmount(last.field(0));
            lastBalance = wholeAmount(last.field(1));
        }
        last.Close();
        result.ledgerId = int(lastId + 1);
        result.balance =
            request.income ? lastBalance + request.amount : lastBalance - request.amount;
        const QString summary =
            request.income ? QStringLiteral("收入票據兌現") : QStringLiteral("支出票據兌現");
        db.execute(
            QStringLiteral("insert into bank (id, Bid, bank, 存入, 異動日期, 異動金額, 摘要, "
                           "票據號碼, bala) values (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {result.ledgerId, request.account, request.bank, request.income, dateOrNull(due),
             request.amount, summary, request.billNo, result.balance});
        after.insert(QStringLiteral("bank"),
                     QJsonObject{{QStringLiteral("id"), result.ledgerId},
                                 {QStringLiteral("Bid"), request.account},
                                 {QStringLiteral("bank"), request.bank},
                                 {QStringLiteral("存入"), request.income ? -1 : 0},
                                 {QStringLiteral("異動日期"), due.toString(Qt::ISODate)},
                                 {QStringLiteral("異動金額"), request.amount},
                                 {QStringLiteral("摘要"), summary},
                                 {QStringLiteral("票據號碼"), request.billNo},
                                 {QStringLiteral("bala"), result.balance}});
        kind = audit::Kind::BillCashed;
    } else if (request.action == BillStatus::Voided || request.action == BillStatus::Bounced) {
        if (isCombinedKey(request.key)) {
            Recordset vouchers = db.openRecordset(
                QStringLiteral(
                    "select 單號 from iofs where 多單號 = ? order by length(單號), 單號"),
                store::RecordsetType::Snapshot, {request.key});
            for (; !vouchers.isEOF(); vouchers.MoveNext())
                result.clearedVouchers << vouchers.text(0);
            vouchers.Close();
        } else {
            result.clearedVouchers << request.key;
        }
        // The amounts become 0; the event keeps what each voucher was for.
        QJsonObject was, now;
        for (const QString& no : std::as_const(result.clearedVouchers)) {
            const QVariant amount =
                db.scalar(QStringLiteral("select 金額 from iof where 單號 = ?"), {no});
            was.insert(no, QJsonObject{{QStringLiteral("金額"),
                                        amount.isValid() ? QJsonValue(wholeAmount(amount))
                                                         : QJsonValue()}});
            now.insert(no, QJsonObject{{QStringLiteral("金額"), 0}});
            db.execute(QStringLiteral("update iof set 金額 = 0 where 單號 = ?"), {no});
        }
        before.insert(QStringLiteral("iof"), was);
        after.insert(QStringLiteral("iof"), now);
        kind = request.action == BillStatus::Voided ? audit::Kind::BillVoided
                                                    : audit::Kind::BillBounced;
    }
    audit::record(
        db,
        {kind, QStringLiteral("bill"), request.key, before, after,
         request.billNo.isEmpty() ? QString() : QStringLiteral("票據號碼 %1").arg(request.billNo)});

    tx.commit();
    return result;
}

}  // namespace orvik::bills
