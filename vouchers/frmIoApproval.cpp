// Settling an approved voucher: in cash, with a movement in the cash ledger, or by a bill that
// the bill form collects and this form writes. Also the hand-over to the bill and write-off
// forms: what they read of the voucher on display, and the bill form's request to unload this
// form.

#include <QPointer>
#include <QTimer>

#include "BillHandOver.h"
#include "BillStore.h"
#include "Clock.h"
#include "Forms.h"
#include "Globals.h"
#include "Program.h"
#include "Prompts.h"
#include "VoucherRules.h"
#include "WriteOffHandOver.h"
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

// Approval by bill. The bill form only collects the bill (no transaction is open while it
// waits for the user); then the voucher's rewrite with status 1 and the bill row are written
// together. Gives false when nothing was written: the entry was cancelled (the voucher stays
// unapproved, the form back in browsing) or the stored voucher is no longer unapproved.
bool frmIo::approveByBill(store::Recordset& target) {
    const ChildFormScope busy(*this);
    // enterSingleBill clears gPicked, which the bill form takes for its processing mode; the
    // voucher on display is the same as before, and gPicked still says where it came from.
    const app::Bool16 picked = app::gPicked;
    const std::optional<bills::BillRow> bill = bills::enterSingleBill();
    app::gPicked = picked;

    if (!bill) {
        billEntryCancelled();
        return false;
    }
    if (!settleByBill(target, *bill)) {
        app::MsgBox(QStringLiteral("此收支單已在別處簽核或作廢\r\n所以票據並未存入"),
                    app::Buttons::OK, app::Icon::Exclamation, QStringLiteral("ACC"));
        cmdCencel_Click();  // back to browsing, showing the voucher as it is stored now
        return false;
    }
    return true;
}

// The voucher's rewrite with status 1 and the bill row, in one transaction, provided that the
// stored voucher is still unapproved (-1 or -2): another copy may have approved or voided it
// while the bill form was open.
bool frmIo::settleByBill(store::Recordset& target, const bills::BillRow& bill) {
    store::Transaction tx(*app::dbAcc);
    const QVariant stored =
        app::dbAcc->scalar(QStringLiteral("select 方式 from iof where 單號 = ?"), {target.text(1)});
    if (!stored.isValid() || stored.isNull())
        return false;
    const qint64 status = RoundHalfEven(stored.toDouble());
    if (status != -1 && status != -2)
        return false;
    target.Edit();
    writeColumns(target, true);
    target.setField(3, 1);
    target.Update();
    bills::insertBill(*app::dbAcc, bill);
    tx.commit();
    return true;
}

// "因您取消票據輸入": nothing was written, and the form leaves the approval.
void frmIo::billEntryCancelled() {
    app::MsgBox(QStringLiteral("因您取消票據輸入\r\n所以此收支單並未簽核"), app::Buttons::OK,
                app::Icon::Exclamation, QStringLiteral("ACC"));
    app::gBillCancel = False;
    ck->setChecked(false);  // its handler hides the processing choice, ends the approval
    SetEditable(False);
    lbStat->setText(QStringLiteral("〔瀏覽〕"));
}

// --- Hand-over ---

void frmIo::installHandOvers() {
    const QPointer<frmIo> self(this);
    bills::setVoucherSource([self] {
        bills::VoucherOnDisplay v;
        if (self) {
            v.number = self->lbNo->text();
            v.amountText = self->txtCash->text();
            v.income = self->lbAcIo->text() == QStringLiteral("(收入)");
        }
        return v;
    });
    bills::setVoucherFormUnload([self] {
        if (self)
            self->requestUnload();
    });
    writeoff::setVoucherSource([self] {
        writeoff::VoucherForWriteOff v;
        if (self) {
            v.number = self->lbNo->text();
            v.amountText = self->txtCash->text();
            v.date = self->hDayDate();
            v.cash = self->optA[0]->isChecked();
        }
        return v;
    });
}

void frmIo::removeHandOvers() {
    bills::setVoucherSource({});
    bills::setVoucherFormUnload({});
    writeoff::setVoucherSource({});
    unloadRequested_ = false;
}

// The bill form asks for this form to be unloaded (a single voucher's bill was cashed, so the
// display is out of date). This form may be the one that opened the bill form, with its
// handler still on the stack below the bill form's: unloading it there would pull the
// recordsets from under that handler. So the unload waits until no handler of this form has a
// child form open, and then runs from the event loop.
void frmIo::requestUnload() {
    unloadRequested_ = true;
    if (childFormDepth_ == 0)
        scheduleUnload();
}

void frmIo::scheduleUnload() {
    QTimer::singleShot(0, this, [this] {
        // A handler that opened a child form since then schedules it again when it is done.
        if (!unloadRequested_ || childFormDepth_ > 0)
            return;
        unloadRequested_ = false;
        if (app::Forms::isLoaded<frmIo>() && app::Forms::get<frmIo>() == this)
            app::guard([] { app::Forms::unload<frmIo>(); });
    });
}

frmIo::ChildFormScope::ChildFormScope(frmIo& form) : form_(form) {
    ++form_.childFormDepth_;
}

frmIo::ChildFormScope::~ChildFormScope() {
    if (--form_.childFormDepth_ == 0 && form_.unloadRequested_)
        form_.scheduleUnload();
}

}  // namespace orvik::vouchers
