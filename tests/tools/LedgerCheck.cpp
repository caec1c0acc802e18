#include "LedgerCheck.h"

#include <QDir>
#include <QHash>
#include <QSet>
#include <cmath>

#include "Database.h"
#include "Recordset.h"
#include "Schema.h"

using namespace orvik::store;

namespace {

qint64 whole(const QVariant& v) {
    return std::llround(v.toDouble());
}

}  // namespace

LedgerReport checkLedgers(const QString& dir) {
    LedgerReport r;
    auto acc =
        Database::open(QDir(dir).filePath(QStringLiteral("acc.mdb")), schema::acc().connect());

    // Vouchers: numbers unique, the prefix is the entry date, the daily sequence runs 001, 002…
    QHash<QString, int> status;
    QHash<QString, qint64> amount;
    QHash<QString, bool> pay;
    {
        Recordset rs = acc->openRecordset(
            QStringLiteral(
                "SELECT 單號, 方式, 金額, pay, 輸入日期, 建議現金 FROM iof ORDER BY rowid"),
            RecordsetType::Snapshot);
        QHash<QString, int> lastSeq;
        for (; !rs.isEOF(); rs.MoveNext()) {
            const QString no = rs.text(0);
            ++r.vouchers;
            if (status.contains(no))
                r.problems << QStringLiteral("單號 %1 重複").arg(no);
            status.insert(no, int(rs.field(1).toLongLong()));
            amount.insert(no, whole(rs.field(2)));
            pay.insert(no, storedBool(rs.field(3)));
            r.statusCounts[int(rs.field(1).toLongLong())] += 1;
            const QDate entry = storedDate(rs.field(4));
            const QString prefix = QStringLiteral("%1%2%3")
                                       .arg(entry.year() - 1911, 2, 10, QLatin1Char('0'))
                                       .arg(entry.month(), 2, 10, QLatin1Char('0'))
                                       .arg(entry.day(), 2, 10, QLatin1Char('0'));
            if (!no.startsWith(prefix) || no.size() != prefix.size() + 3)
                r.problems << QStringLiteral("單號 %1 與輸入日期 %2 不符")
                                  .arg(no, entry.toString(Qt::ISODate));
            const int seq = no.right(3).toInt();
            if (seq != lastSeq.value(prefix) + 1)
                r.problems << QStringLiteral("單號 %1 的流水號不連續").arg(no);
            lastSeq[prefix] = seq;
            const int suggestion = int(rs.field(5).toLongLong());
            if (suggestion != -1 && suggestion != -2)
                r.problems << QStringLiteral("單號 %1 的建議現金 %2").arg(no).arg(suggestion);
            const int st = int(rs.field(1).toLongLong());
            if ((st == -1 || st == -2) && st != suggestion)
                r.problems << QStringLiteral("單號 %1 未簽核狀態與建議方式不符").arg(no);
        }
        rs.Close();
    }

    // Cash ledger: ids 1, 2, 3…; each balance is the previous one plus or minus the amount;
    // exactly the cash-settled vouchers, each once, with their own amount and direction.
    {
        Recordset rs = acc->openRecordset(
            QStringLiteral("SELECT id, 收入, 異動金額, 收支單號, bala FROM cash ORDER BY id"),
            RecordsetType::Snapshot);
        qint64 expectId = 1, balance = 0;
        QSet<QString> seen;
        for (; !rs.isEOF(); rs.MoveNext()) {
            ++r.cashRows;
            const qint64 id = rs.field(0).toLongLong();
            const QString no = rs.text(3);
            if (id != expectId)
                r.problems << QStringLiteral("cash id %1，應為 %2").arg(id).arg(expectId);
            expectId = id + 1;
            const bool in = storedBool(rs.field(1));
            const qint64 a = whole(rs.field(2));
            balance += in ? a : -a;
            if (whole(rs.field(4)) != balance)
                r.problems << QStringLiteral("cash id %1 的餘額 %2，應為 %3")
                                  .arg(id)
                                  .arg(whole(rs.field(4)))
                                  .arg(balance);
            if (!status.contains(no))
                r.problems << QStringLiteral("cash id %1 的單號 %2 不存在").arg(id).arg(no);
            else {
                if (status.value(no) != 0)
                    r.problems
                        << QStringLiteral("cash id %1：單號 %2 不是現金簽核").arg(id).arg(no);
                if (amount.value(no) != a)
                    r.problems << QStringLiteral("cash id %1：金額與單號 %2 不符").arg(id).arg(no);
                if (pay.value(no) == in)
                    r.problems
                        << QStringLiteral("cash id %1：收支方向與單號 %2 不符").arg(id).arg(no);
            }
            if (seen.contains(no))
                r.problems << QStringLiteral("單號 %1 有兩筆現金帳").arg(no);
            seen.insert(no);
        }
        rs.Close();
        for (auto it = status.cbegin(); it != status.cend(); ++it) {
            if (it.value() == 0 && !seen.contains(it.key()))
                r.problems << QStringLiteral("現金簽核的單號 %1 沒有現金帳").arg(it.key());
        }
    }

    // Bills: every voucher settled by a bill (1–4) has one under its number or its combined key.
    {
        QSet<QString> billKeys;
        Recordset rs = acc->openRecordset(
            QStringLiteral("SELECT 收支單號, 票據金額, 方式 FROM bill"), RecordsetType::Snapshot);
        QHash<QString, qint64> billAmount;
        for (; !rs.isEOF(); rs.MoveNext()) {
            ++r.bills;
            billKeys.insert(rs.text(0));
            billAmount.insert(rs.text(0), whole(rs.field(1)));
            if (!rs.text(0).endsWith(QLatin1Char('S')) && !status.contains(rs.text(0)))
                r.problems << QStringLiteral("票據的單號 %1 不存在").arg(rs.text(0));
        }
        rs.Close();
        QHash<QString, QString> keyOf;
        Recordset links = acc->openRecordset(QStringLiteral("SELECT 多單號, 單號 FROM iofs"),
                                             RecordsetType::Snapshot);
        QSet<QString> keys;
        for (; !links.isEOF(); links.MoveNext()) {
            keyOf.insert(links.text(1), links.text(0));
            keys.insert(links.text(0));
            if (!links.text(0).endsWith(QLatin1Char('S')))
                r.problems << QStringLiteral("合併開票代號 %1 沒有以 S 結尾").arg(links.text(0));
            if (status.value(links.text(1), -99) < 1)
                r.problems << QStringLiteral("合併開票的單號 %1 不是票據簽核").arg(links.text(1));
        }
        links.Close();
        r.combinedKeys = int(keys.size());
        for (const QString& k : keys) {
            if (!billKeys.contains(k))
                r.problems << QStringLiteral("合併開票代號 %1 沒有票據").arg(k);
            if (!status.contains(k.chopped(1)))
                r.problems << QStringLiteral("合併開票代號 %1 不是第一張單號加 S").arg(k);
        }
        for (auto it = status.cbegin(); it != status.cend(); ++it) {
            if (it.value() < 1)
                continue;
            if (!billKeys.contains(it.key()) && !billKeys.contains(keyOf.value(it.key())))
                r.problems << QStringLiteral("票據簽核的單號 %1 沒有票據").arg(it.key());
        }
    }

    // Bank ledger: per bank and account, ids 1, 2, 3… and a running balance.
    {
        Recordset rs = acc->openRecordset(
            QStringLiteral(
                "SELECT bank, Bid, id, 存入, 異動金額, bala FROM bank ORDER BY bank, Bid, id"),
            RecordsetType::Snapshot);
        QString account;
        qint64 expectId = 1, balance = 0;
        for (; !rs.isEOF(); rs.MoveNext()) {
            ++r.bankRows;
            const QString a = rs.text(0) + QLatin1Char('/') + rs.text(1);
            if (a != account) {
                account = a;
                expectId = 1;
                balance = 0;
            }
            if (rs.field(2).toLongLong() != expectId)
                r.problems << QStringLiteral("bank %1 id %2，應為 %3")
                                  .arg(a)
                                  .arg(rs.field(2).toLongLong())
                                  .arg(expectId);
            ++expectId;
            balance += storedBool(rs.field(3)) ? whole(rs.field(4)) : -whole(rs.field(4));
            if (whole(rs.field(5)) != balance)
                r.problems << QStringLiteral("bank %1 id %2 的餘額不符")
                                  .arg(a)
                                  .arg(rs.field(2).toLongLong());
        }
        rs.Close();
    }

    // Write-offs point at approved vouchers.
    for (const char* table : {"ri期", "ro期", "ri加", "ro加"}) {
        Recordset rs = acc->openRecordset(
            QStringLiteral("SELECT 沖帳單號, 處理 FROM \"%1\"").arg(QString::fromUtf8(table)),
            RecordsetType::Snapshot);
        for (; !rs.isEOF(); rs.MoveNext()) {
            if (!storedBool(rs.field(1)))
                continue;
            if (status.value(rs.text(0), -99) < 0)
                r.problems << QStringLiteral("%1 沖帳單號 %2 不是已簽核的收支單")
                                  .arg(QString::fromUtf8(table), rs.text(0));
        }
        rs.Close();
    }
    return r;
}
