#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// Consistency of a database folder's books, as the forms rely on it: every voucher status
// counted, the cash ledger's ids and running balance, a bill for every bill-settled voucher,
// the bank ledger's ids and balances per account, unique voucher numbers in day order, and
// write-offs that point at real vouchers. Returns one line per problem.
struct LedgerReport {
    QStringList problems;
    QMap<int, int> statusCounts;  // iof.方式 → rows
    int vouchers = 0;
    int cashRows = 0;
    int bills = 0;
    int combinedKeys = 0;
    int bankRows = 0;
};

LedgerReport checkLedgers(const QString& dir);
