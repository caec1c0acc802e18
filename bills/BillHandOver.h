#pragma once

// How the voucher form and the bill form meet. The bill form never includes the voucher form:
// the voucher form installs a source for the voucher on display (and a way to unload itself),
// opens the bill form through the functions below, and writes what the bill form hands back.
//
// Approval by one voucher's bill (from the voucher save):
//
//     const auto bill = bills::enterSingleBill();      // modal; nothing is written yet
//     if (!bill) { ... "因您取消票據輸入" ...; gBillCancel = False; return; }
//     store::Transaction tx(*dbAcc);
//     ... rewrite the voucher row with 方式 = 1 ...
//     bills::insertBill(*dbAcc, *bill);
//     tx.commit();
//
// (or bills::commitSingleBill(*dbAcc, *bill), which sets 方式 = 1 and writes the bill row in
// one transaction). A combined bill: enterCombinedBill(first number, total), then
// commitCombinedBill(*dbAcc, *bill, marked vouchers with their amounts). No transaction is open
// while the form waits for the user, and a cancelled entry writes nothing.

#include <QDate>
#include <QString>
#include <functional>
#include <optional>

#include "BillStore.h"

namespace orvik::bills {

// The voucher on display in the voucher form, as the bill form reads it.
struct VoucherOnDisplay {
    QString number;       // lbNo
    QString amountText;   // txtCash, as typed
    bool income = false;  // lbAcIo reads exactly "(收入)"
};

// Installed by the voucher form when it loads; an empty function removes it. Without a
// source the bill form sees an empty voucher.
void setVoucherSource(std::function<VoucherOnDisplay()> source);
VoucherOnDisplay voucherOnDisplay();

// Installed by the voucher form, called when a single voucher's bill was cashed: the voucher
// form's display is out of date by then. The voucher form does not close for it (it may be in
// the middle of another voucher's edit); it shows its voucher again as stored.
void setVoucherFormUnload(std::function<void()> unload);
void unloadVoucherForm();

// Entry for the voucher on display (gBillFromSave): shows frmBill modally and gives the bill
// the user saved, or nothing when the entry was cancelled (gBillCancel is then True, for the
// caller to read and clear). gPicked is False while the form is open and as before afterwards.
std::optional<BillRow> enterSingleBill();

// Entry for a combined bill (gBillFromIssue) of the vouchers marked in the list: the key is
// `firstVoucherNo` followed by "S", the amount `markedTotal`. Same result as above.
std::optional<BillRow> enterCombinedBill(const QString& firstVoucherNo, qint32 markedTotal);

// Processing mode: shows the stored bill of `voucherNo` (through its combined key when it
// belongs to one) modally; cashing, voiding and bouncing are written before it returns.
void showStoredBill(const QString& voucherNo);

// Used by frmBill: the row its save collected, handed over once.
void handOverBill(const BillRow& row);
std::optional<BillRow> takeEnteredBill();

// Drops the installed functions and any row not taken. For tests.
void resetHandOver();

}  // namespace orvik::bills
