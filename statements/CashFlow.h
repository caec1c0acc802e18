#pragma once

// The cash-flow projection (預估資金流量表): today's cash and bank balances, then per week or
// month the inflows and outflows expected from unprocessed bills and open instalments, with
// the projected balance after each; what is already overdue stands apart, first.

#include <QDate>
#include <QString>
#include <QVector>

#include "Common.h"
#include "Database.h"

namespace orvik::statements {

enum class Step { Week, Month };

struct ExpectedItem {
    QDate date;
    QString source;  // 收到票據, 開出票據, 應收分期, 應收追加, 應付分期, 應付追加
    QString reference;  // bill number, or the receivable/payable key and its instalment
    QString party;
    qint64 in = 0;
    qint64 out = 0;
};

struct FlowBucket {
    DateRange range;
    qint64 in = 0;
    qint64 out = 0;
    qint64 balance = 0;  // projected, after this bucket
};

struct CashFlow {
    QDate today;
    qint64 cash = 0;
    qint64 bank = 0;
    qint64 opening() const { return cash + bank; }
    FlowBucket overdue;  // dated before today; counted first
    QVector<FlowBucket> buckets;
    QVector<ExpectedItem> items;  // every item counted, by date
    qint64 totalIn = 0;
    qint64 totalOut = 0;
};

// Received bills by their available date (the due date when it has none), issued bills by
// their due date; instalments and additions not yet written off (處理 false) by their expected
// date, for what is still open (應付金額 less 沖帳金額). Items after the last bucket are left
// out. Reads inside one read transaction.
CashFlow cashFlow(store::Database& db, const QDate& today, Step step, int months);

// Weekly buckets start on the Monday of today's week; monthly ones on the first of today's
// month; they reach `months` months on.
QVector<DateRange> flowBuckets(const QDate& today, Step step, int months);

}  // namespace orvik::statements
