#include "Books.h"

#include <QSet>
#include <algorithm>
#include <limits>

#include "EraDate.h"
#include "Recordset.h"

namespace orvik::statements {

namespace {

// Where a row's date lies against the range (see rangeColumn); 0 is after it, or undated.
constexpr qint64 kBefore = 1, kInside = 2;

// One pass over the ledger in id order, streamed rather than copied: the check of the stored
// balances, the sum before the range and the rows inside it. The engine places each date, so
// only the rows shown are converted. Columns: id, in (bool), amount, bala, place, date,
// reference, description. With `stopOutOfOrder` it gives up (nullopt) at the first id that is
// not above the one before.
std::optional<Book> walk(store::RowReader& rows, bool stopOutOfOrder = false) {
    // Amounts and flags are stored as integers; anything else (a legacy fraction, text) takes
    // the slower general reading.
    auto amountAt = [&](int c) {
        return rows.isInteger(c) ? rows.integer(c) : whole(rows.value(c));
    };
    Book book;
    qint64 running = 0;
    qint64 lastId = std::numeric_limits<qint64>::min();
    while (rows.next()) {
        if (stopOutOfOrder) {
            if (rows.integer(0) <= lastId)
                return std::nullopt;
            lastId = rows.integer(0);
        }
        const qint64 amount = amountAt(2);
        const bool in = rows.isInteger(1) ? rows.integer(1) != 0 : store::storedBool(rows.value(1));
        const qint64 signedAmount = in ? amount : -amount;
        running += signedAmount;
        const qint64 stored = amountAt(3);
        if (book.check.consistent && stored != running) {
            book.check.consistent = false;
            book.check.firstBadId = int(rows.integer(0));
            book.check.expected = running;
            book.check.stored = stored;
        }
        const qint64 place = rows.integer(4);
        if (place == kBefore) {
            book.opening += signedAmount;
            continue;
        }
        if (place != kInside)
            continue;
        BookRow row;
        row.id = int(rows.integer(0));
        row.date = store::storedDate(rows.value(5));
        row.reference = rows.value(6).toString();
        row.description = rows.value(7).toString();
        (in ? row.in : row.out) = amount;
        row.stored = stored;
        book.rows.push_back(row);
    }
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

// The place column of the walk for `date`, and its bound values. An open range takes every
// row, dated or not; a bounded one leaves undated rows out. The upper bound is the day after,
// so a stored date with a time still counts on its day.
QString rangeColumn(const QString& date) {
    return QStringLiteral(
               "CASE WHEN %1 < ? THEN 1 WHEN %1 < ? THEN 2 WHEN ? = 1 THEN 2 ELSE 0 "
               "END")
        .arg(date);
}

QVariantList rangeValues(const DateRange& range) {
    const bool open = !range.from.isValid() && !range.to.isValid();
    // Before an open lower end lies nothing, as '' sorts below every date.
    const QString from = range.from.isValid() ? iso(range.from) : QString();
    const QString until =
        range.to.isValid() ? iso(range.to.addDays(1)) : QStringLiteral("9999-99-99");
    return {from, until, open ? 1 : 0};
}

}  // namespace

Book cashBook(store::Database& db, const DateRange& range) {
    const QString sql =
        QStringLiteral("SELECT id, 收入, 異動金額, bala, %1, 異動日期, 收支單號, 摘要 FROM cash")
            .arg(rangeColumn(QStringLiteral("異動日期")));
    // Rows are appended with rising ids, so the order they are stored in is nearly always id
    // order, and reading them so saves a lookup through the id index per row (half the time
    // of a year's book). A ledger stored otherwise is read again through the index.
    {
        store::RowReader stored(db, sql, rangeValues(range));
        if (auto book = walk(stored, true))
            return *book;
    }
    store::RowReader byId(db, sql + QStringLiteral(" ORDER BY id"), rangeValues(range));
    return *walk(byId);
}

Book bankBook(store::Database& db, const BankAccount& account, const DateRange& range) {
    store::RowReader rows(
        db,
        QStringLiteral("SELECT id, 存入, 異動金額, bala, %1, 異動日期, 票據號碼, 摘要 FROM bank "
                       "WHERE bank = ? AND Bid = ? ORDER BY id")
            .arg(rangeColumn(QStringLiteral("異動日期"))),
        rangeValues(range) + QVariantList{account.bank, account.account});
    return *walk(rows);
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
