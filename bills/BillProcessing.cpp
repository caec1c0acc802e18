// Processing a stored bill: shown read-only; 處理票據 arms the options; choosing 兌現, 作廢 or
// 退票 checks, asks, and writes the status with its effects in one transaction.

#include <QStandardItemModel>
#include <algorithm>

#include "BillHandOver.h"
#include "Clock.h"
#include "EraDate.h"
#include "Program.h"
#include "Prompts.h"
#include "Routines.h"
#include "frmBill.h"

namespace orvik::bills {

using namespace orvik::app;

namespace {

// Stored dates are shown as plain dates here, not in the era format of entry.
QString plainDate(const QDate& date) {
    return date.isValid() ? date.toString(QStringLiteral("yyyy/MM/dd")) : QString();
}

const QString kAlreadyProcessed = QStringLiteral("票據已處理 不可變更");
const QString kBillMissing = QStringLiteral("此票據資料已經遺失");

}  // namespace

void frmBill::LoadStoredBill() {
    // A voucher of a combined bill is shown through the combined key.
    const QString key = combinedKeyOf(*dbAcc, gBillViewNo);
    if (!key.isEmpty())
        gBillViewNo = key;

    billRs = dbAcc->openRecordset(QStringLiteral("select * from bill where 收支單號 = ?"),
                                  store::RecordsetType::Snapshot, {gBillViewNo});
    const store::Recordset& bill = *billRs;
    if (bill.isEOF()) {
        MsgBox(kBillMissing, Buttons::OK, Icon::Exclamation);
        billMissing = True;
        return;  // the form closes itself when it is activated
    }

    txtBillNo->setText(bill.text(0));
    issueDate_ = store::storedDate(bill.field(1));
    const QDate remindDate = store::storedDate(bill.field(2));
    dueDate_ = store::storedDate(bill.field(3));
    const QDate availableDate = store::storedDate(bill.field(4));
    availableDate_ = availableDate;
    lbW->setText(plainDate(issueDate_));
    lbCk->setText(plainDate(dueDate_));
    if (issueDate_.isValid())
        DTP1->setDate(issueDate_);
    if (dueDate_.isValid())
        DTP2->setDate(dueDate_);
    // No lists in this mode: the combos only show the stored banks.
    for (QComboBox* combo : {cbWbnk, cbCbnk}) {
        combo->setEditable(true);
        static_cast<QStandardItemModel*>(combo->model())->removeRows(0, combo->count());
    }
    cbWbnk->setEditText(bill.text(5));
    cbCbnk->setEditText(bill.text(6));
    txtWp->setText(bill.text(7));
    txtCp->setText(bill.text(8));
    txtWid->setText(bill.text(9));
    txtCid->setText(bill.text(10));
    lbCash->setText(bill.text(11));
    amount_ = wholeAmount(bill.field(11));
    lbBCash->setText(bill.text(12));

    const bool isIncome = store::storedBool(bill.field(13));
    ShowDirection(isIncome);
    // The days are the distance between two stored dates; one the list cannot show stays blank.
    auto showDays = [](QComboBox* combo, const QDate& from, const QDate& to) {
        const qint64 days = from.isValid() && to.isValid() ? from.daysTo(to) : -1;
        combo->setCurrentIndex(days >= 0 && days < combo->count() ? int(days) : -1);
    };
    if (isIncome)
        showDays(cbDeDay, dueDate_, availableDate);
    else
        showDays(cbArDay, remindDate, dueDate_);
    ShowDayCombos(isIncome);

    lbIoNo->setText(bill.text(14));
    SelectStoredStatus(BillStatus(wholeAmount(bill.field(15))));
    FrmOp->setEnabled(false);
    LockBillFields(true);
}

void frmBill::SelectStoredStatus(BillStatus status) {
    const int i = int(status);
    if (i >= 0 && i < int(Oop.size()))
        Oop[i]->setChecked(true);
}

// Processing a stored bill belongs to those who may handle bills (the bar's 票據 group).
bool frmBill::refusedWithoutBillRight() {
    if (HasAnyRight(5, 8))
        return false;
    MsgBox(QStringLiteral("您沒有這項作業的權限"), Buttons::OK, Icon::Exclamation,
           QStringLiteral("ACC"));
    FrmOp->setEnabled(false);
    opArmed = False;
    return true;
}

void frmBill::cmdOp_Click() {
    if (refusedWithoutBillRight())
        return;
    if (Oop[0]->isChecked()) {
        // Another copy may have processed the bill since it was shown.
        const QVariant stored = dbAcc->scalar(
            QStringLiteral("select 方式 from bill where 收支單號 = ? limit 1"), {lbIoNo->text()});
        if (!stored.isValid() || wholeAmount(stored) == 0) {
            FrmOp->setEnabled(true);
            opArmed = True;
            return;
        }
        SelectStoredStatus(BillStatus(wholeAmount(stored)));
    }
    MsgBox(kAlreadyProcessed, Buttons::OK, Icon::Exclamation);
    FrmOp->setEnabled(false);
    opArmed = False;
}

// A refused option: back to 未處理, still armed, so another option may be chosen.
void frmBill::RefuseOption() {
    Oop[0]->setChecked(true);
}

namespace {

void tooEarly(bool income) {
    MsgBox(income ? QStringLiteral("票據未到可用日\r\n不可兌現")
                  : QStringLiteral("票據未到期\r\n不可兌現"),
           Buttons::OK, Icon::Exclamation, QStringLiteral("Acc"));
}

void datesMissing(bool income) {
    MsgBox(income ? QStringLiteral("此票據沒有到期日期或可用日期\r\n不可兌現")
                  : QStringLiteral("此票據沒有到期日期\r\n不可兌現"),
           Buttons::OK, Icon::Exclamation, QStringLiteral("Acc"));
}

}  // namespace

bool frmBill::CashingRefused() {
    const QDate today = Clock::today();
    // The stored dates decide: an income bill's available date as it was written, not the
    // due date plus what the delay list can show.
    if (!dueDate_.isValid() || (income_ && !availableDate_.isValid())) {
        datesMissing(income_);
        return true;
    }
    const QDate usable = income_ ? std::max(dueDate_, availableDate_) : dueDate_;
    if (today < usable) {
        tooEarly(income_);
        return true;
    }
    if (!income_) {
        const qint64 available = availableFunds(*dbAcc, cbWbnk->currentText(), txtWid->text());
        if (available < amount_) {
            MsgBox(
                QStringLiteral("支票存款的餘額不足,無法兌現\r\n餘額為 ") + FormatAmount(available),
                Buttons::OK, Icon::Critical, QStringLiteral("ACC"));
            return true;
        }
    }
    return false;
}

void frmBill::Oop_Click(int index) {
    if (index == 0 || !isTrue(opArmed))
        return;
    if (refusedWithoutBillRight()) {
        Oop[0]->setChecked(true);
        return;
    }
    const auto action = BillStatus(index);
    if (action == BillStatus::Cashed && CashingRefused()) {
        RefuseOption();
        return;
    }

    const Answer answer =
        MsgBox(QStringLiteral("確定處理此票據為[") + Oop[index]->text() + QStringLiteral("]"),
               Buttons::YesNoCancel, Icon::Question);
    if (answer == Answer::Cancel) {
        FrmOp->setEnabled(false);
        opArmed = False;
        Oop[0]->setChecked(true);
        return;
    }
    if (answer != Answer::Yes) {
        RefuseOption();
        return;
    }

    ProcessRequest request;
    request.key = lbIoNo->text();
    request.action = action;
    request.income = income_;
    request.bank = income_ ? cbCbnk->currentText() : cbWbnk->currentText();
    request.account = income_ ? txtCid->text() : txtWid->text();
    request.amount = amount_;
    request.movementDate = dueDate_;
    request.billNo = txtBillNo->text();
    request.today = Clock::today();

    // The checks above were for the user's sake; processBill makes them again inside its
    // transaction, where they count.
    ProcessResult result;
    if (!guardWrite(QString(), [&] { result = processBill(*dbAcc, request); })) {
        RefuseOption();  // nothing written; still armed, to choose again
        return;
    }
    using Outcome = ProcessResult::Outcome;
    switch (result.outcome) {
        case Outcome::TooEarly:
            tooEarly(income_);
            RefuseOption();
            return;
        case Outcome::DatesMissing:
            datesMissing(income_);
            RefuseOption();
            return;
        case Outcome::InsufficientFunds:
            MsgBox(QStringLiteral("支票存款的餘額不足,無法兌現\r\n餘額為 ") +
                       FormatAmount(result.available),
                   Buttons::OK, Icon::Critical, QStringLiteral("ACC"));
            RefuseOption();
            return;
        case Outcome::AlreadyProcessed:
            MsgBox(kAlreadyProcessed, Buttons::OK, Icon::Exclamation);
            SelectStoredStatus(result.storedStatus);
            break;
        case Outcome::Missing:
            MsgBox(kBillMissing, Buttons::OK, Icon::Exclamation);
            Oop[0]->setChecked(true);
            break;
        case Outcome::Done:
            // A single voucher's display is out of date once its bill is cashed.
            if (action == BillStatus::Cashed && !isCombinedKey(request.key))
                unloadVoucherForm();
            break;
    }
    opArmed = False;
    FrmOp->setEnabled(false);
}

}  // namespace orvik::bills
