// Settling an approved voucher: in cash, with a movement in the cash ledger, or by a bill that
// the bill form writes.

#include "ChildForms.h"
#include "Clock.h"
#include "Globals.h"
#include "Prompts.h"
#include "VoucherRules.h"
#include "frmIo.h"

namespace orvik::vouchers {

using app::False;
using app::True;

// Appends the cash movement of the voucher being approved. Runs inside the approval's
// transaction, so the last id and balance read here are still the last when the row is added.
void frmIo::appendCashMovement(const QString& voucherNo) {
    const qint64 amount = WholeAmount(txtCash->text());
    const bool income = lbAcIo->text() == QStringLiteral("(收入)");
    qint32 lastId = 0;
    qint64 balance = 0;
    store::Recordset last = app::dbAcc->openRecordset(
        QStringLiteral("select id, bala from cash order by id desc limit 1"),
        store::RecordsetType::Snapshot);
    if (!last.isEOF()) {
        lastId = qint32(RoundHalfEven(last.field(0).toDouble()));
        balance = RoundHalfEven(last.field(1).toDouble());  // an older fractional balance
    }
    last.Close();

    store::Recordset cash = app::dbAcc->openRecordset(QStringLiteral("select * from cash where 0"));
    cash.AddNew();
    cash.setField(0, lastId + 1);
    cash.setField(1, income);
    cash.setField(4, cbUse->currentText());
    cash.setField(6, income ? balance + amount : balance - amount);
    cash.setField(2, app::Clock::today());
    cash.setField(3, amount);
    cash.setField(5, voucherNo);
    cash.Update();
    cash.Close();
}

// Hands the voucher to the bill form. Gives false when the bill entry was cancelled; the form
// is then back in browsing with the voucher unapproved.
bool frmIo::approveByBill(store::Recordset& target) {
    const app::Bool16 picked = app::gPicked;
    app::gBillFromSave = True;
    app::gPicked = False;  // the bill form takes a set gPicked for its processing mode
    app::gBillFromIssue = False;
    showBillEntry();
    app::gBillFromSave = False;
    app::gPicked = picked;  // the voucher on display is the same as before

    if (app::isTrue(app::gBillCancel)) {
        app::MsgBox(QStringLiteral("因您取消票據輸入\r\n所以此收支單並未簽核"), app::Buttons::OK,
                    app::Icon::Exclamation, QStringLiteral("ACC"));
        app::gBillCancel = False;
        ck->setChecked(false);  // its handler hides the processing choice, ends the approval
        SetEditable(False);
        lbStat->setText(QStringLiteral("〔瀏覽〕"));
        return false;
    }
    target.Edit();
    target.setField(3, 1);
    target.Update();
    return true;
}

}  // namespace orvik::vouchers
