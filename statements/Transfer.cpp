#include "Transfer.h"

#include <QJsonObject>

#include "Audit.h"
#include "BillStore.h"
#include "EraDate.h"
#include "Recordset.h"

#include <algorithm>

namespace orvik::statements {

namespace {

// Keys of transfers: 轉 + the day's eemmdd + "-" + a sequence of the day; a counter-transfer
// adds "R". They cannot be taken for voucher numbers or bill numbers.
const QString kPrefix = QStringLiteral("轉");
const QString kReversalSuffix = QStringLiteral("R");

struct LedgerEnd {
    qint64 id = 0;
    qint64 balance = 0;
};

LedgerEnd lastOf(store::Database& db, const Side& side) {
    store::Recordset rs =
        side.cash
            ? db.openRecordset(QStringLiteral("SELECT id, bala FROM cash ORDER BY id DESC LIMIT 1"),
                               store::RecordsetType::Snapshot)
            : db.openRecordset(QStringLiteral("SELECT id, bala FROM bank WHERE bank = ? AND Bid "
                                              "= ? ORDER BY id DESC LIMIT 1"),
                               store::RecordsetType::Snapshot,
                               {side.account.bank, side.account.account});
    LedgerEnd end;
    if (!rs.isEOF()) {
        end.id = whole(rs.field(0));
        end.balance = whole(rs.field(1));
    }
    rs.Close();
    return end;
}

bool sameSide(const Side& a, const Side& b) {
    if (a.cash || b.cash)
        return a.cash && b.cash;
    return a.account.bank.compare(b.account.bank, Qt::CaseInsensitive) == 0 &&
           a.account.account.compare(b.account.account, Qt::CaseInsensitive) == 0;
}

// One row on `side`: money in or out, with the next id and the balance after it.
std::pair<int, qint64> book(store::Database& db, const Side& side, bool in, qint64 amount,
                            const QDate& date, const QString& description, const QString& key) {
    const LedgerEnd end = lastOf(db, side);
    const qint64 balance = in ? end.balance + amount : end.balance - amount;
    const int id = int(end.id + 1);
    if (side.cash)
        db.execute(QStringLiteral("INSERT INTO cash (id, 收入, 異動日期, 異動金額, 摘要, 收支單號, "
                                  "bala) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                   {id, in, date, amount, description, key, balance});
    else
        db.execute(
            QStringLiteral("INSERT INTO bank (id, Bid, bank, 存入, 異動日期, 異動金額, 摘要, "
                           "票據號碼, bala) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            {id, side.account.account, side.account.bank, in, date, amount, description, key,
             balance});
    return {id, balance};
}

QString describe(const Side& from, const Side& to, const QString& memo, bool reversal) {
    QString kind;
    if (from.cash)
        kind = QStringLiteral("現金存入");
    else if (to.cash)
        kind = QStringLiteral("提領現金");
    else
        kind = QStringLiteral("銀行轉帳");
    QString text = (reversal ? QStringLiteral("沖銷") : QString()) + kind + QLatin1Char(' ') +
                   from.label() + QStringLiteral("→") + to.label();
    if (!memo.trimmed().isEmpty())
        text += QLatin1Char(' ') + memo.trimmed();
    return text;
}

TransferResult write(store::Database& db, const TransferRequest& r, const QString& fixedKey,
                     bool reversal) {
    TransferResult result;
    if (r.amount <= 0) {
        result.outcome = TransferResult::Outcome::BadAmount;
        return result;
    }
    if (sameSide(r.from, r.to)) {
        result.outcome = TransferResult::Outcome::SameSide;
        return result;
    }
    store::Transaction tx(db);
    // Read inside the transaction: another copy may have booked on the account meanwhile.
    const qint64 available =
        r.from.cash ? lastOf(db, r.from).balance
                    : bills::availableFunds(db, r.from.account.bank, r.from.account.account);
    if (available < r.amount) {
        result.outcome = TransferResult::Outcome::InsufficientFunds;
        result.available = available;
        return result;
    }
    QString key = fixedKey;
    if (key.isEmpty()) {
        const QString prefix =
            kPrefix + app::FormatEra(r.date, app::kEraCompact) + QLatin1Char('-');
        // The day's highest sequence so far, over both ledgers (a bank-to-bank transfer has no
        // cash row).
        const QString pattern = store::likeContains(prefix).mid(1);  // prefix%
        int highest = 0;
        for (const QString& sql :
             {QStringLiteral("SELECT DISTINCT 收支單號 FROM cash WHERE 收支單號 "
                             "LIKE ? ESCAPE '\\'"),
              QStringLiteral("SELECT DISTINCT 票據號碼 FROM bank WHERE 票據號碼 "
                             "LIKE ? ESCAPE '\\'")}) {
            auto rs = db.openRecordset(sql, store::RecordsetType::Snapshot, {pattern});
            for (; !rs.isEOF(); rs.MoveNext()) {
                QString seq = rs.text(0).mid(prefix.size());
                if (seq.endsWith(kReversalSuffix))
                    seq.chop(kReversalSuffix.size());
                highest = std::max(highest, seq.toInt());
            }
            rs.Close();
        }
        key = prefix + QString::number(highest + 1).rightJustified(3, u'0');
    }
    const QString text = describe(r.from, r.to, r.memo, reversal);
    const auto out = book(db, r.from, false, r.amount, r.date, text, key);
    const auto in = book(db, r.to, true, r.amount, r.date, text, key);
    // The two ledger rows, as written, in the transfer's one event.
    const auto rowOf = [&](const Side& side, qint64 id) {
        return QJsonObject{
            {QStringLiteral("id"), id},
            {QStringLiteral("帳"),
             side.cash ? QStringLiteral("cash") : QStringLiteral("bank ") + side.label()},
            {QStringLiteral("異動金額"), r.amount}};
    };
    const QString table =
        r.from.cash || r.to.cash ? QStringLiteral("cash") : QStringLiteral("bank");
    audit::record(db, {audit::Kind::Transfer,
                       table,
                       key,
                       {},
                       QJsonObject{{QStringLiteral("轉出"), rowOf(r.from, out.first)},
                                   {QStringLiteral("轉入"), rowOf(r.to, in.first)},
                                   {QStringLiteral("日期"), iso(r.date)}},
                       text});
    tx.commit();
    result.key = key;
    result.fromId = out.first;
    result.fromBalance = out.second;
    result.toId = in.first;
    result.toBalance = in.second;
    return result;
}

struct Leg {
    Side side;
    bool in = false;
    qint64 amount = 0;
    QDate date;
    QString description;
};

QVector<Leg> legsOf(store::Database& db, const QString& key) {
    QVector<Leg> legs;
    {
        auto rs = db.openRecordset(QStringLiteral("SELECT 收入, 異動金額, 異動日期, 摘要 FROM "
                                                  "cash WHERE 收支單號 = ? ORDER BY id"),
                                   store::RecordsetType::Snapshot, {key});
        for (; !rs.isEOF(); rs.MoveNext())
            legs << Leg{Side{true, {}}, store::storedBool(rs.field(0)), whole(rs.field(1)),
                        store::storedDate(rs.field(2)), rs.text(3)};
        rs.Close();
    }
    auto rs = db.openRecordset(QStringLiteral("SELECT bank, Bid, 存入, 異動金額, 異動日期, 摘要 "
                                              "FROM bank WHERE 票據號碼 = ? ORDER BY bank, Bid"),
                               store::RecordsetType::Snapshot, {key});
    for (; !rs.isEOF(); rs.MoveNext())
        legs << Leg{Side{false, {rs.text(0), rs.text(1)}}, store::storedBool(rs.field(2)),
                    whole(rs.field(3)), store::storedDate(rs.field(4)), rs.text(5)};
    rs.Close();
    return legs;
}

}  // namespace

QString Side::label() const {
    return cash ? QStringLiteral("現金") : account.label();
}

TransferResult transfer(store::Database& db, const TransferRequest& request) {
    return write(db, request, {}, false);
}

TransferResult reverseTransfer(store::Database& db, const QString& key, const QDate& date) {
    TransferResult result;
    if (key.endsWith(kReversalSuffix) || !key.startsWith(kPrefix)) {
        result.outcome = TransferResult::Outcome::NotFound;
        return result;
    }
    store::Transaction tx(db);
    const QVector<Leg> legs = legsOf(db, key);
    const Leg* out = nullptr;
    const Leg* in = nullptr;
    for (const Leg& l : legs)
        (l.in ? in : out) = &l;
    if (legs.size() != 2 || !out || !in) {
        result.outcome = TransferResult::Outcome::NotFound;
        return result;
    }
    if (!legsOf(db, key + kReversalSuffix).isEmpty()) {
        result.outcome = TransferResult::Outcome::AlreadyReversed;
        return result;
    }
    TransferRequest back{in->side, out->side, in->amount, date, QStringLiteral("（%1）").arg(key)};
    result = write(db, back, key + kReversalSuffix, true);
    if (result.outcome == TransferResult::Outcome::Done)
        tx.commit();
    return result;
}

QVector<TransferLine> transfers(store::Database& db) {
    store::ReadTransaction read(db);
    QStringList keys;
    const QString pattern = store::likeContains(kPrefix).mid(1);
    for (const QString& sql :
         {QStringLiteral("SELECT DISTINCT 收支單號 FROM cash WHERE 收支單號 LIKE ? ESCAPE '\\'"),
          QStringLiteral("SELECT DISTINCT 票據號碼 FROM bank WHERE 票據號碼 LIKE ? ESCAPE '\\'")}) {
        auto rs = db.openRecordset(sql, store::RecordsetType::Snapshot, {pattern});
        for (; !rs.isEOF(); rs.MoveNext()) {
            if (!keys.contains(rs.text(0)))
                keys << rs.text(0);
        }
        rs.Close();
    }
    QVector<TransferLine> out;
    for (const QString& key : keys) {
        const QVector<Leg> legs = legsOf(db, key);
        TransferLine line;
        line.key = key;
        line.reversal = key.endsWith(kReversalSuffix);
        line.reversed = !line.reversal && keys.contains(key + kReversalSuffix);
        for (const Leg& l : legs) {
            line.date = l.date;
            line.amount = l.amount;
            (l.in ? line.to : line.from) = l.side.label();
            line.memo = l.description;
        }
        out << line;
    }
    std::sort(out.begin(), out.end(), [](const TransferLine& a, const TransferLine& b) {
        if (a.date != b.date)
            return a.date > b.date;
        return a.key > b.key;
    });
    return out;
}

}  // namespace orvik::statements
