#pragma once

// The cash book (`cash`) and the bank book of one account (`bank`): the movements of a date
// range with the opening balance before it and the running balance after each row, worked
// out from the movements. The ledger's stored balances are checked against its movements
// from the first row on; the first row where they part is named.

#include <QDate>
#include <QString>
#include <QVector>
#include <optional>

#include "Common.h"
#include "Database.h"

namespace orvik::statements {

struct BookRow {
    int id = 0;  // the ledger's running id
    QDate date;
    QString reference;  // cash: 收支單號; bank: 票據號碼
    QString description;
    qint64 in = 0;
    qint64 out = 0;
    qint64 balance = 0;  // running, from the movements
    qint64 stored = 0;   // bala as stored
};

struct BookCheck {
    bool consistent = true;
    int firstBadId = 0;   // the first row (by id) whose stored balance is not what the
    qint64 expected = 0;  // movements give
    qint64 stored = 0;
};

struct Book {
    qint64 opening = 0;     // the balance before the range, from the movements
    QVector<BookRow> rows;  // by date, then id
    qint64 totalIn = 0;
    qint64 totalOut = 0;
    qint64 closing = 0;
    BookCheck check;  // over the whole ledger, not only the range
};

struct BankAccount {
    QString bank;
    QString account;
    QString label() const { return bank + QStringLiteral(" ") + account; }
};

Book cashBook(store::Database& db, const DateRange& range);
Book bankBook(store::Database& db, const BankAccount& account, const DateRange& range);

// Accounts with ledger rows and the company's accounts of obank and bbank, each once.
QVector<BankAccount> bankAccounts(store::Database& db);

// The last stored balance of the cash ledger and of one bank account (0 without rows).
qint64 cashBalance(store::Database& db);
qint64 bankBalance(store::Database& db, const BankAccount& account);

// The words of a failed check, for the window and the printout.
QString checkMessage(const BookCheck& check);

}  // namespace orvik::statements
