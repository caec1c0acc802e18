// Entry of a new bill: for the voucher on the voucher form, or for a group of marked vouchers.
// The save validates and hands the row back to the caller, which writes it together with the
// status of the vouchers it settles.

#include <QRegularExpression>

#include "BillHandOver.h"
#include "Clock.h"
#include "Prompts.h"
#include "Routines.h"
#include "frmBill.h"

namespace orvik::bills {

using namespace orvik::app;

namespace {

// The leading whole number of an amount as typed ("1500", " 1500元", "12/3" gives 12), 0 when
// there is none; the voucher save reads its amount the same way.
qint64 leadingNumber(const QString& text) {
    static const QRegularExpression re(QStringLiteral("^\\s*([+-]?\\d{1,15})"));
    const auto m = re.match(text);
    return m.hasMatch() ? m.captured(1).toLongLong() : 0;
}

QString amountInWords(qint64 amount) {
    return AmountInWords(QString::number(amount)) + QStringLiteral(" 元整");
}

}  // namespace

void frmBill::StartEntry(bool isIncome) {
    DTP1->setDate(Clock::today());
    DTP2->setDate(Clock::today());
    billSaved = False;
    // The direction's own bank must be one of the company's accounts, so its combo is a
    // drop-down list; the counterparty's bank may be typed.
    cbCbnk->setEditable(!isIncome);
    cbWbnk->setEditable(isIncome);
    LoadBankLists(isIncome);
    ShowDirection(isIncome);
    QComboBox* days = isIncome ? cbDeDay : cbArDay;
    days->setEnabled(true);
    days->setCurrentIndex(0);
    ShowDayCombos(isIncome);
    FrmOp->hide();
    cmdOp->hide();
}

void frmBill::LoadForVoucher() {
    const VoucherOnDisplay voucher = voucherOnDisplay();
    lbIoNo->setText(voucher.number);
    StartEntry(voucher.income);
    lbCash->setText(voucher.amountText);  // as typed on the voucher
    amount_ = leadingNumber(voucher.amountText);
    lbBCash->setText(amountInWords(amount_));
    LockBillFields(false);
}

void frmBill::LoadForIssue() {
    lbIoNo->setText(combinedKey(gBillVoucherNo));
    StartEntry(false);  // a combined bill always pays
    amount_ = gMarkedTotal;
    lbCash->setText(QString::number(amount_));
    lbBCash->setText(amountInWords(amount_));
    LockBillFields(false);
}

BillRow frmBill::CollectBill() const {
    BillRow row;
    row.billNo = txtBillNo->text();
    row.issueDate = issueDate_;
    row.dueDate = dueDate_;
    row.issuingBank = cbWbnk->currentText();
    row.receivingBank = cbCbnk->currentText();
    row.drawer = txtWp->text();
    row.payee = txtCp->text();
    row.issuingAccount = txtWid->text();
    row.receivingAccount = txtCid->text();
    row.amount = amount_;
    row.amountWords = lbBCash->text();
    row.income = income_;
    // The days are kept only as the distance between two dates.
    if (income_)
        row.availableDate = dueDate_.addDays(qMax(0, cbDeDay->currentIndex()));
    else
        row.remindDate = dueDate_.addDays(-qMax(0, cbArDay->currentIndex()));
    row.voucherNo = lbIoNo->text();
    row.status = BillStatus::Unprocessed;
    return row;
}

void frmBill::cmdSv_Click() {
    const QString title = QStringLiteral("Acc");
    if (lbW->text().isEmpty()) {
        MsgBox(QStringLiteral("未選取開票日期"), Buttons::OK, Icon::Exclamation, title);
        return;
    }
    if (income_ && cbCbnk->currentText().isEmpty()) {
        MsgBox(QStringLiteral("未選取收票銀行"), Buttons::OK, Icon::Exclamation, title);
        cbCbnk->setFocus();
        return;
    }
    if (!income_ && cbWbnk->currentText().isEmpty()) {
        MsgBox(QStringLiteral("未選取開票銀行"), Buttons::OK, Icon::Exclamation, title);
        cbWbnk->setFocus();
        return;
    }
    if (txtBillNo->text().isEmpty()) {
        MsgBox(QStringLiteral("票據號碼未填入"), Buttons::OK, Icon::Exclamation, title);
        txtBillNo->setFocus();
        return;
    }
    gBillCancel = False;
    handOverBill(CollectBill());
    billSaved = True;
    gBillFromSave = False;
    Unload();
}

void frmBill::cmdCencel_Click() {
    gBillCancel = True;
    Unload();
}

}  // namespace orvik::bills
