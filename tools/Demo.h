#pragma once

#include <QDate>
#include <QString>

#include "Database.h"

namespace orvik::admin {

struct DemoResult {
    int employees = 0;
    int vouchers = 0;
};

// Fills freshly created files with a small engineering company: reference lists, employees
// with different rights, vendors, banks, receivables and payables, and a few dozen vouchers
// in every status with their cash ledger, bills, combined bill and bank ledger. Every date is
// relative to `reference`; the same reference date always gives the same data.
// Employees whose login equals `skipLogin` (the administrator's) are left out.
DemoResult fillDemo(store::Database& acc, store::Database& general, const QDate& reference,
                    const QString& company, const QString& skipLogin);

}  // namespace orvik::admin
