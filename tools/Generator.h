#pragma once

#include <QDate>
#include <QString>
#include <functional>

namespace orvik::admin {

struct GenerateOptions {
    QString dir;
    qint64 vouchers = 0;
    quint64 seed = 1;
    QDate reference;  // the last day; invalid: today
    int years = 20;
};

struct GenerateResult {
    qint64 vouchers = 0;
    qint64 bills = 0;
    qint64 combinedLinks = 0;  // iofs rows
    qint64 cashRows = 0;
    qint64 bankRows = 0;
    QDate first;
    QDate last;
    double insertSeconds = 0;
    double indexSeconds = 0;
    double totalSeconds = 0;
    double cpuSeconds = 0;  // this process's CPU time for the same span
};

// The benchmark data generator: appends N vouchers spread over `years` years up to the
// reference date to an initialised folder (numbers unique and in order per day, every status,
// words and accounts from the demo lists), with bills and combined-bill links for the
// bill-approved ones, the cash ledger for the cash-approved ones and the bank ledger for
// cashed bills. One transaction, prepared statements on the raw SQLite handle, and
// synchronous=OFF with a large cache while it runs.
GenerateResult generate(const GenerateOptions& options,
                        const std::function<void(const QString&)>& progress = {});

}  // namespace orvik::admin
