#pragma once

// Transfers (轉帳處理) between the cash and a bank account or between two bank accounts: each
// is written as the two matching ledger rows, with their running ids and balances, in one
// transaction. A transfer is never changed; a counter-transfer reverses it.

#include <QDate>
#include <QString>
#include <QVector>
#include <optional>

#include "Books.h"
#include "Database.h"

namespace orvik::statements {

// One side of a transfer: the cash, or a bank account.
struct Side {
    bool cash = false;
    BankAccount account;  // when not cash
    QString label() const;
};

struct TransferRequest {
    Side from;
    Side to;
    qint64 amount = 0;
    QDate date;
    QString memo;  // added to the description of both rows
};

struct TransferResult {
    enum class Outcome {
        Done,
        InsufficientFunds,  // `available` is what the paying side offers
        SameSide,
        BadAmount,
        AlreadyReversed,
        NotFound,
    };
    Outcome outcome = Outcome::Done;
    QString key;  // the transfer's key, in 收支單號 (cash) or 票據號碼 (bank) of both rows
    qint64 available = 0;
    int fromId = 0;
    int toId = 0;
    qint64 fromBalance = 0;
    qint64 toBalance = 0;
};

// Writes the transfer. The paying side must hold the amount: a bank account its last
// balance plus the ps of its bbank row (as a cheque is cashed), the cash its balance.
TransferResult transfer(store::Database& db, const TransferRequest& request);

// The transfers written so far (newest first), one line each.
struct TransferLine {
    QString key;
    QDate date;
    QString from;
    QString to;
    qint64 amount = 0;
    QString memo;
    bool reversal = false;  // a counter-transfer
    bool reversed = false;  // has been reversed
};
QVector<TransferLine> transfers(store::Database& db);

// Writes the counter-transfer of `key` (the same amount from the side it went to back to the
// side it came from) on `date`. Its key is the original's followed by "R".
TransferResult reverseTransfer(store::Database& db, const QString& key, const QDate& date);

}  // namespace orvik::statements
