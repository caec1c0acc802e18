#include "BillHandOver.h"

#include <QPointer>

#include "Forms.h"
#include "Globals.h"
#include "Modal.h"
#include "WaitCursor.h"
#include "frmBill.h"

namespace orvik::bills {

using namespace orvik::app;

namespace {

std::function<VoucherOnDisplay()>& voucherSource() {
    static std::function<VoucherOnDisplay()> source;
    return source;
}

std::function<void()>& voucherFormUnload() {
    static std::function<void()> unload;
    return unload;
}

std::optional<BillRow>& enteredBill() {
    static std::optional<BillRow> row;
    return row;
}

// Each opening loads the form afresh, so its load runs with the flags just set.
void unloadBillForm() {
    if (Forms::isLoaded<frmBill>())
        Forms::unload<frmBill>();
}

// The form reads its lists while it loads; on a slow share that is a wait worth showing.
frmBill* loadedBillForm() {
    const WaitCursor busy;
    return Forms::get<frmBill>();
}

std::optional<BillRow> runEntry() {
    // The bill form takes gPicked for its processing mode, so it is off during the entry; the
    // voucher form's own use of it (its voucher came from the list) gets its value back.
    const Bool16 picked = std::exchange(gPicked, False);
    showModal(loadedBillForm());
    // Left open without 儲存 or 取消 (hidden, not closed): unloading it counts as 取消.
    unloadBillForm();
    gPicked = picked;
    return takeEnteredBill();
}

}  // namespace

void setVoucherSource(std::function<VoucherOnDisplay()> source) {
    voucherSource() = std::move(source);
}

VoucherOnDisplay voucherOnDisplay() {
    return voucherSource() ? voucherSource()() : VoucherOnDisplay{};
}

void setVoucherFormUnload(std::function<void()> unload) {
    voucherFormUnload() = std::move(unload);
}

void unloadVoucherForm() {
    if (voucherFormUnload())
        voucherFormUnload()();
}

std::optional<BillRow> enterSingleBill() {
    unloadBillForm();
    enteredBill().reset();
    gBillFromSave = True;
    gBillFromIssue = False;
    auto row = runEntry();
    gBillFromSave = False;
    return row;
}

std::optional<BillRow> enterCombinedBill(const QString& firstVoucherNo, qint32 markedTotal) {
    unloadBillForm();
    enteredBill().reset();
    gBillVoucherNo = firstVoucherNo;
    gMarkedTotal = markedTotal;
    gBillFromIssue = True;
    gBillFromSave = False;
    auto row = runEntry();
    gBillFromIssue = False;
    return row;
}

void showStoredBill(const QString& voucherNo) {
    unloadBillForm();
    // gPicked also tells the voucher form that its voucher came from the list: keep its value.
    const Bool16 picked = gPicked;
    const Bool16 fromSave = std::exchange(gBillFromSave, False);
    const Bool16 fromIssue = std::exchange(gBillFromIssue, False);
    gPicked = True;
    gBillViewNo = voucherNo;
    showModal(loadedBillForm());
    unloadBillForm();
    gPicked = picked;
    gBillFromSave = fromSave;
    gBillFromIssue = fromIssue;
}

void handOverBill(const BillRow& row) {
    enteredBill() = row;
}

std::optional<BillRow> takeEnteredBill() {
    return std::exchange(enteredBill(), std::nullopt);
}

void resetHandOver() {
    voucherSource() = {};
    voucherFormUnload() = {};
    enteredBill().reset();
}

}  // namespace orvik::bills
