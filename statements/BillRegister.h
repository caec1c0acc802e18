#pragma once

// The bill register (票 據): every bill with its dates, banks and status, filtered, with the
// count and total per status; and the reminder told at login.

#include <QDate>
#include <QString>
#include <QVariant>
#include <QVector>
#include <array>

#include "Database.h"

namespace orvik::statements {

enum class BillSide { Any, Received, Issued };

struct BillFilter {
    BillSide side = BillSide::Any;
    int status = -1;               // 0 未處理 ... 3 退票; -1 any
    QString bank;                  // 開票銀行 or 收票銀行
    int dueWithinDays = -1;        // unprocessed bills due from today to today + N; -1: no limit
    bool overdueOnly = false;      // unprocessed bills whose due date has passed
    bool reminderReached = false;  // the login reminder: issued bills whose reminder date has
                                   // come and received bills that are due, unprocessed
    QDate today;                   // the program's date
};

enum BillField {
    bfNumber,     // 票據號碼
    bfIssued,     // 開票日期
    bfRemind,     // 提醒日期
    bfDue,        // 到期日期
    bfAvailable,  // 可用日期
    bfIssuingBank,
    bfReceivingBank,
    bfDrawer,
    bfPayee,
    bfIssuingAccount,
    bfReceivingAccount,
    bfAmount,
    bfAmountWords,  // 大寫金額
    bfReceived,     // 收入
    bfVoucher,      // 收支單號
    bfStatus,       // 方式
    bfFieldCount
};

struct StatusTotal {
    qint64 count = 0;
    qint64 amount = 0;
};

struct BillRegisterResult {
    QVector<QVector<QVariant>> rows;        // by due date, then bill number
    std::array<StatusTotal, 4> byStatus{};  // 未處理, 兌現, 作廢, 退票
    StatusTotal all;
};

BillRegisterResult billRegister(store::Database& db, const BillFilter& filter);

struct Reminder {
    qint64 issuedReminded = 0;  // issued, unprocessed, reminder date on or before today
    qint64 receivedDue = 0;     // received, unprocessed, due on or before today
    bool any() const { return issuedReminded + receivedDue > 0; }
};

Reminder reminderCounts(store::Database& db, const QDate& today);

// 未處理, 兌現, 作廢, 退票.
QString billStatusText(int status);

}  // namespace orvik::statements
