// Settling an approved voucher: in cash, with a movement in the cash ledger, or by a bill that
// the bill form collects and this form writes. Also the hand-over to the bill and write-off
// forms: what they read of the voucher on display, the stored bill's processing, and the bill
// form's report that the voucher on display changed.

#include <QPointer>
#include <QTimer>

#include "Audit.h"
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
    const std::optional<bills::BillRow> bill = bills::enterSingleBill();

    if (!bill) {
        billEntryCancelled();
        return false;
    }
    // The bill's values live in a form that has closed: when the books are busy, the user may
    // try again at once rather than enter the bill anew.
    bool settled = false;
    if (!app::guardWrite(
            cmdSv->text(), [&] { settled = settleByBill(target, *bill); }, true))
        return false;  // nothing written; the approval stays as it was
    if (!settled) {
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
    const QVariant stored = storedStatus(target.text(1));
    if (!stored.isValid() || stored.isNull())
        return false;
    const qint64 status = RoundHalfEven(stored.toDouble());
    if (status != -1 && status != -2)
        return false;
    const QString no = target.text(1);
    const QJsonObject before =
        audit::rowOf(*app::dbAcc, QStringLiteral("iof"), QStringLiteral("單號"), no);
    try {
        target.Edit();
        writeColumns(target, true);
        target.setField(3, 1);
        target.Update();
    } catch (...) {
        target.CancelUpdate();  // the row is read afresh when it is shown or edited again
        throw;
    }
    bills::insertBill(*app::dbAcc, bill);
    QJsonObject after =
        audit::rowOf(*app::dbAcc, QStringLiteral("iof"), QStringLiteral("單號"), no);
    after.insert(QStringLiteral("bill"), bills::billObject(bill));
    audit::record(*app::dbAcc,
                  {audit::Kind::ApproveBill, QStringLiteral("iof"), no, before, after});
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
            self->requestRedisplay();
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
    redisplayRequested_ = false;
}

// 檢視票據: the bill that settled the voucher on display, in the bill form's processing mode.
// Cashing, voiding or bouncing it changes what this form shows (status, amounts), so the
// voucher is shown again as stored when the bill form closes.
void frmIo::cmdBillView_Click() {
    if (!voucherOnDisplay() || !mayHandleBills())
        return;
    {
        const ChildFormScope busy(*this);
        bills::showStoredBill(lbNo->text());  // keeps gPicked as it was
    }
    redisplayRequested_ = false;
    RedisplayWhileBrowsing();
}

bool frmIo::mayHandleBills() const {
    return rightGranted(5) || rightGranted(6) || rightGranted(7) || rightGranted(8);
}

// The bill form reports that it cashed a single voucher's bill, so the display may be out of
// date. This form stays open (the user may be entering or editing another voucher; that is
// left alone) and shows the voucher again once no handler of it has a child form open, from
// the event loop: re-reading the recordsets under a handler still on the stack would pull
// them from under it.
void frmIo::requestRedisplay() {
    redisplayRequested_ = true;
    if (childFormDepth_ == 0)
        scheduleRedisplay();
}

void frmIo::scheduleRedisplay() {
    QTimer::singleShot(0, this, [this] {
        // A handler that opened a child form since then schedules it again when it is done.
        if (!redisplayRequested_ || childFormDepth_ > 0)
            return;
        redisplayRequested_ = false;
        app::guard([this] { RedisplayWhileBrowsing(); });
    });
}

frmIo::ChildFormScope::ChildFormScope(frmIo& form) : form_(form) {
    ++form_.childFormDepth_;
}

frmIo::ChildFormScope::~ChildFormScope() {
    if (--form_.childFormDepth_ == 0 && form_.redisplayRequested_)
        form_.scheduleRedisplay();
}

}  // namespace orvik::vouchers
