#include "Books.h"

#include <QSet>
#include <algorithm>

#include "EraDate.h"
#include "Recordset.h"

namespace orvik::statements {

namespace {

// One pass over the ledger in id order: the check of the stored balances, the sum before the
// range and the rows inside it. Columns: id, in (bool), date, amount, reference, description,
// bala.
Book walk(store::Recordset& rs, const DateRange& range) {
    Book book;
    qint64 running = 0;
    for (; !rs.isEOF(); rs.MoveNext()) {
        const qint64 amount = whole(rs.field(3));
        const bool in = store::storedBool(rs.field(1));
        running += in ? amount : -amount;
        const qint64 stored = whole(rs.field(6));
        if (book.check.consistent && stored != running) {
            book.check.consistent = false;
            book.check.firstBadId = int(whole(rs.field(0)));
            book.check.expected = running;
            book.check.stored = stored;
        }
        const QDate date = store::storedDate(rs.field(2));
        if (range.from.isValid() && date.isValid() && date < range.from) {
            book.opening += in ? amount : -amount;
            continue;
        }
        const bool open = !range.from.isValid() && !range.to.isValid();
        if (date.isValid() ? !range.contains(date) : !open)
            continue;
        BookRow row;
        row.id = int(whole(rs.field(0)));
        row.date = date;
        row.reference = rs.text(4);
        row.description = rs.text(5);
        (in ? row.in : row.out) = amount;
        row.stored = stored;
        book.rows.push_back(row);
    }
    rs.Close();
    std::stable_sort(book.rows.begin(), book.rows.end(), [](const BookRow& a, const BookRow& b) {
        if (a.date != b.date)
            return a.date < b.date;
        return a.id < b.id;
    });
    qint64 balance = book.opening;
    for (auto& r : book.rows) {
        balance += r.in - r.out;
        r.balance = balance;
        book.totalIn += r.in;
        book.totalOut += r.out;
    }
    book.closing = balance;
    return book;
}

}  // namespace

Book cashBook(store::Database& db, const DateRange& range) {
    auto rs = db.openRecordset(
        QStringLiteral("SELECT id, 收入, 異動日期, 異動金額, 收支單號, 摘要, bala FROM cash "
                       "ORDER BY id"),
        store::RecordsetType::Snapshot);
    return walk(rs, range);
}

Book bankBook(store::Database& db, const BankAccount& account, const DateRange& range) {
    auto rs = db.openRecordset(
        QStringLiteral("SELECT id, 存入, 異動日期, 異動金額, 票據號碼, 摘要, bala FROM bank "
                       "WHERE bank = ? AND Bid = ? ORDER BY id"),
        store::RecordsetType::Snapshot, {account.bank, account.account});
    return walk(rs, range);
}

QVector<BankAccount> bankAccounts(store::Database& db) {
    QVector<BankAccount> out;
    QSet<QString> seen;
    auto add = [&](const QString& sql) {
        auto rs = db.openRecordset(sql, store::RecordsetType::Snapshot);
        for (; !rs.isEOF(); rs.MoveNext()) {
            const BankAccount a{rs.text(0), rs.text(1)};
            const QString key = (a.bank + QChar(0x1f) + a.account).toCaseFolded();
            if (a.bank.isEmpty() || seen.contains(key))
                continue;
            seen.insert(key);
            out << a;
        }
        rs.Close();
    };
    add(QStringLiteral("SELECT DISTINCT bank, Bid FROM bank ORDER BY bank, Bid"));
    add(QStringLiteral("SELECT bank, id FROM obank ORDER BY bank, id"));
    add(QStringLiteral("SELECT bank, id FROM bbank ORDER BY bank, id"));
    return out;
}

qint64 cashBalance(store::Database& db) {
    return whole(db.scalar(QStringLiteral("SELECT bala FROM cash ORDER BY id DESC LIMIT 1")));
}

qint64 bankBalance(store::Database& db, const BankAccount& account) {
    return whole(db.scalar(
        QStringLiteral("SELECT bala FROM bank WHERE bank = ? AND Bid = ? ORDER BY id DESC LIMIT 1"),
        {account.bank, account.account}));
}

QString checkMessage(const BookCheck& check) {
    if (check.consistent)
        return QStringLiteral("帳上餘額與異動相符");
    return QStringLiteral("帳上餘額與異動不符：自序號 %1 起（應為 %2，帳上為 %3）")
        .arg(check.firstBadId)
        .arg(app::FormatAmount(check.expected), app::FormatAmount(check.stored));
}

}  // namespace orvik::statements
