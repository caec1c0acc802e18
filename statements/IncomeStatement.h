#pragma once

// The income statement (期間損益表): income and expense per account over a period of the
// 民國 calendar, with the previous period and the same period a year earlier beside it.

#include <QDate>
#include <QString>
#include <QVector>
#include <array>

#include "Common.h"
#include "Database.h"

namespace orvik::statements {

enum class PeriodKind { Month, Quarter, Year, Range };

// The period of `kind` that holds `day` (Range: from..to as given).
DateRange periodOf(PeriodKind kind, const QDate& day, const QDate& to = {});
// The period just before: the previous month, quarter or year; for a range, as many days
// ending the day before it starts.
DateRange previousPeriod(PeriodKind kind, const DateRange& period);
// The same period a year earlier (a 29 February end becomes the 28th).
DateRange yearEarlier(PeriodKind kind, const DateRange& period);
// "115 年 3 月", "115 年第 1 季", "115 年度", "115/01/01 – 115/03/31".
QString periodLabel(PeriodKind kind, const DateRange& period);

struct IncomeLine {
    QString account;  // 科目代號
    QString name;     // from the chart of accounts, else as the vouchers carry it
    bool expense = false;
    std::array<qint64, 3> amount{};  // this period, the previous one, a year earlier
};

struct IncomeStatement {
    std::array<DateRange, 3> periods;
    QVector<IncomeLine> income;   // by account code
    QVector<IncomeLine> expense;  //
    std::array<qint64, 3> totalIncome{};
    std::array<qint64, 3> totalExpense{};
    std::array<qint64, 3> net() const {
        return {totalIncome[0] - totalExpense[0], totalIncome[1] - totalExpense[1],
                totalIncome[2] - totalExpense[2]};
    }
};

// Approved vouchers (方式 0 and above) by date of occurrence; void ones never count; with
// `includeUnapproved` the unapproved ones (方式 -1, -2) count as well. Reads inside one read
// transaction.
IncomeStatement incomeStatement(store::Database& db, PeriodKind kind, const DateRange& period,
                                bool includeUnapproved);

// The bare totals of one period by account and direction (for the bench).
QString incomeTotalsSql(bool includeUnapproved);

}  // namespace orvik::statements
