#pragma once

// The voucher query (統 計): vouchers by dates, account, project, people, status, direction,
// amount, document and text, in number order, with the totals of what was found.

#include <QDate>
#include <QString>
#include <QVariant>
#include <QVector>
#include <optional>

#include "Common.h"
#include "Database.h"

namespace orvik::statements {

enum class VoucherStatus { Any, Unapproved, Cash, Bill, Void };
enum class Direction { Any, Income, Expense };

struct VoucherFilter {
    DateRange entered;   // 輸入日期
    DateRange occurred;  // 發生日期
    QString account;     // 科目代號, exactly (letter case aside)
    QString project;     // 專案號碼
    QString workType;    // 工程種類
    QString applicant;   // 申請人
    QString signer;      // 簽收人
    VoucherStatus status = VoucherStatus::Any;
    Direction direction = Direction::Any;
    std::optional<qint64> minAmount;
    std::optional<qint64> maxAmount;
    std::optional<bool> hasDocument;  // 有單據
    QString text;  // contained in the purpose, the remarks, the account or project name, the
                   // document number
};

// The columns of a result row, by position.
enum VoucherField {
    vfNumber,  // 單號
    vfEntered,
    vfOccurred,
    vfPay,  // -1 expense, 0 income
    vfAccount,
    vfAccountName,
    vfPurpose,
    vfAmount,
    vfTax,
    vfStatus,  // 方式
    vfProject,
    vfProjectName,
    vfWorkType,
    vfApplicant,
    vfSigner,
    vfHasDocument,
    vfDocumentNo,
    vfRemark1,
    vfRemark2,
    vfFieldCount
};

// The money of void vouchers is in none of the sums: a voided voucher moved nothing.
struct VoucherTotals {
    qint64 count = 0;
    qint64 voided = 0;  // of count
    qint64 income = 0;
    qint64 expense = 0;
    qint64 tax = 0;
    qint64 net() const { return income - expense; }
};

struct VoucherQueryResult {
    QVector<QVector<QVariant>> rows;  // in number order
    VoucherTotals totals;
};

// The SELECT and its values for `filter` (for the bench's bare query as well).
QString voucherQuerySql(const VoucherFilter& filter, QVariantList* params);

VoucherQueryResult runVoucherQuery(store::Database& db, const VoucherFilter& filter);

VoucherTotals totalsOf(const QVector<QVector<QVariant>>& rows);

// How a status reads in the lists: 未簽核, 現金, 票據, 已兌現票據, 作廢.
QString statusText(int status);

}  // namespace orvik::statements
