#pragma once

// What the bill form writes to acc.mdb, apart from the widgets: the bill row, the approval of
// the vouchers it settles, and processing (cashing against the bank ledger, voiding,
// bouncing). Each write that spans several statements is one transaction, and whatever it
// depends on (a status, a balance, the next ledger id) is read inside it, so several copies
// of the program working on one folder cannot both act on the same state.

#include <QDate>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <QtGlobal>

#include "Database.h"

namespace orvik::bills {

// Status of a bill (bill.方式), equal to the index of the option that shows it.
enum class BillStatus : qint16 { Unprocessed = 0, Cashed = 1, Voided = 2, Bounced = 3 };

// One row of `bill`, in its stored column order.
struct BillRow {
    QString billNo;            // 票據號碼
    QDate issueDate;           // 開票日期
    QDate remindDate;          // 提醒日期: expense bills only
    QDate dueDate;             // 到期日期
    QDate availableDate;       // 可用日期: income bills only
    QString issuingBank;       // 開票銀行
    QString receivingBank;     // 收票銀行
    QString drawer;            // 開票人
    QString payee;             // 收票人
    QString issuingAccount;    // 開票帳號
    QString receivingAccount;  // 收票帳號
    qint64 amount = 0;         // 票據金額
    QString amountWords;       // 大寫金額, ending in " 元整"
    bool income = false;       // 收入
    QString voucherNo;         // 收支單號: a voucher number or a combined key ("...S")
    BillStatus status = BillStatus::Unprocessed;
};

// A combined bill's key ends in "S"; a single voucher's number never does.
QString combinedKey(const QString& firstVoucherNo);
bool isCombinedKey(const QString& key);

// A stored whole amount: the nearest whole number, a half to the even neighbour (legacy
// files may hold fractions); null gives 0.
qint64 wholeAmount(const QVariant& stored);

// Appends `row` to `bill`. Call it inside the caller's transaction, together with the status
// of the vouchers the bill settles.
void insertBill(store::Database& db, const BillRow& row);

// The row as the audit trail shows it: column → value, as stored.
QJsonObject billObject(const BillRow& row);

// Approval by a single bill: the bill row and status 1 on its voucher, in one transaction.
// Writes nothing and gives false when the voucher no longer exists or is no longer
// unapproved (another copy settled or voided it since).
bool commitSingleBill(store::Database& db, const BillRow& row);

// A voucher marked for a combined bill, with the amount the list showed when it was marked.
struct MarkedVoucher {
    QString number;
    qint64 amount = 0;
};

// Why a combined bill was not written: vouchers that are gone or no longer unapproved, and
// vouchers whose amount or direction another copy changed since they were marked (the bill's
// total was made from the old amounts).
struct CombinedRefusal {
    QStringList settled;
    QStringList changed;
    bool isEmpty() const { return settled.isEmpty() && changed.isEmpty(); }
};

// Approval by a combined bill: the bill row (its voucherNo the combined key), one `iofs` row
// per voucher in the order given, and status 1 on each, in one transaction, provided that
// every voucher is still an unapproved expense voucher of the amount marked. Otherwise writes
// nothing and names the vouchers that stand in the way.
CombinedRefusal commitCombinedBill(store::Database& db, const BillRow& row,
                                   const QVector<MarkedVoucher>& vouchers);

// The combined key a voucher belongs to, or empty.
QString combinedKeyOf(store::Database& db, const QString& voucherNo);

// The money an issued cheque may draw on: the account's last balance in `bank`, plus the
// `ps` of its `bbank` row when it has one.
qint64 availableFunds(store::Database& db, const QString& bank, const QString& account);

// Processing a stored bill.
struct ProcessRequest {
    QString key;  // bill.收支單號: a voucher number or a combined key
    BillStatus action = BillStatus::Cashed;
    bool income = false;
    QString bank;     // cashing: the account booked, receiving side for income, else issuing
    QString account;  //
    qint64 amount = 0;
    QDate movementDate;  // cashing: the date of the ledger movement (the due date)
    QString billNo;
    QDate today;  // cashing: the working date, compared with the bill's stored dates
};

struct ProcessResult {
    enum class Outcome {
        Done,
        AlreadyProcessed,   // another copy processed the bill since it was shown
        Missing,            // the bill row is gone
        InsufficientFunds,  // `available` holds what the account offers
        TooEarly,           // cashing before the stored due or available date (`usable`)
        DatesMissing,       // cashing a bill without its due date (or an income bill without
                            // its available date)
    };
    Outcome outcome = Outcome::Done;
    BillStatus storedStatus = BillStatus::Unprocessed;  // for AlreadyProcessed
    qint64 available = 0;
    QDate usable;      // TooEarly: the first day the bill may be cashed
    int ledgerId = 0;  // cashing: the ledger row written
    qint64 balance = 0;
    QStringList clearedVouchers;  // voiding, bouncing: vouchers whose amount became 0
};

// Sets the bill's status and does what the status asks, in one transaction: cashing appends
// the movement to the account's ledger (with the date checks on the stored due and available
// dates, and the funds check of an issued cheque), voiding and bouncing clear the amount of
// every voucher the bill settled.
ProcessResult processBill(store::Database& db, const ProcessRequest& request);

}  // namespace orvik::bills
