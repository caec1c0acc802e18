// 儲存: a new voucher is inserted under a number taken at that moment; an edited or approved
// one is rewritten in place. Afterwards the form returns to browsing.

#include <QSignalBlocker>

#include "Audit.h"
#include "Globals.h"
#include "Program.h"
#include "Prompts.h"
#include "VoucherRules.h"
#include "frmIo.h"

namespace orvik::vouchers {

using app::False;
using app::True;

void frmIo::cmdSv_Click() {
    if (txtCash->text().isEmpty()) {
        app::MsgBox(QStringLiteral("金額欄位不可空白"), app::Buttons::OK, app::Icon::Critical,
                    QStringLiteral("ACC"));
        return;
    }
    if (lbAcTxt->text().isEmpty()) {
        app::MsgBox(QStringLiteral("科目不可空白"), app::Buttons::OK, app::Icon::Critical,
                    QStringLiteral("ACC"));
        return;
    }
    if (!amountsValid())
        return;
    const bool approving = app::isTrue(approvingVoucher);
    // The right that opened the mode is asked again here, where the writing happens.
    if (refusedWithoutRight(approving ? 3 : 1))
        return;
    if (approving && ckNoW->isChecked()) {
        // A void voucher is never paid.
        app::MsgBox(QStringLiteral("作廢的收支單不可簽核\r\n請取消「已簽核」或「作廢」其中一項"),
                    app::Buttons::OK, app::Icon::Exclamation, QStringLiteral("ACC"));
        return;
    }

    if (app::isTrue(addingVoucher)) {
        if (!app::guardWrite(cmdSv->text(), [this] { insertVoucher(); }))
            return;  // nothing written; the entry stays as typed
    } else {
        // The row written is the voucher on display: the picked one while gPicked is set
        // (the form keeps gPicked exactly for that), otherwise the browsing cursor's row.
        const bool picked = app::isTrue(app::gPicked);
        if (!voucherOnDisplay())
            return;
        store::Recordset& target = picked ? *pickedRs : *browseRs;
        const bool byBill = approving && optA[1]->isChecked();
        if (byBill) {
            // The bill is entered first; the rewrite, status 1 and the bill row are then
            // written together, or nothing at all (frmIoApproval.cpp).
            if (!approveByBill(target))
                return;
        } else {
            bool written = false;
            if (!app::guardWrite(cmdSv->text(),
                                 [&] { written = rewriteVoucher(target, approving); }))
                return;
            if (!written) {
                if (approving && storedStatus(target.text(1)).toInt() == -3) {
                    // Voided by another copy since it was shown: a void voucher is never paid.
                    app::MsgBox(QStringLiteral("此收支單已在別處作廢\r\n所以並未簽核"),
                                app::Buttons::OK, app::Icon::Exclamation, QStringLiteral("ACC"));
                    cmdCencel_Click();
                } else {
                    refusedAsApproved();
                }
                return;
            }
        }
    }
    closingSteps();
}

qint16 frmIo::suggestedStatus() const {
    return Op1[0]->isChecked() ? -1 : -2;
}

// The iof columns from the controls, by position. Amounts are stored as whole numbers read by
// the amount boxes' leading-number rule, on an insert and on a rewrite alike.
void frmIo::writeColumns(store::Recordset& rs, bool rewrite) {
    qint16 status = suggestedStatus();
    if (rewrite && ckNoW->isChecked())
        status = -3;
    rs.setField(0, inDay_);
    rs.setField(1, lbNo->text());
    rs.setField(2, cbUse->currentText());
    rs.setField(3, status);
    rs.setField(4, WholeAmount(txtCash->text()));
    rs.setField(5, cbAcc->currentText());
    rs.setField(6, lbAcIo->text() != QStringLiteral("(收入)"));
    rs.setField(7, lbAcTxt->text());
    rs.setField(8, cbPs1->currentText());
    rs.setField(9, cbPs2->currentText());
    rs.setField(10, projectCode());
    rs.setField(11, lbPjTxt->text());
    rs.setField(12, cbWt->currentText());
    rs.setField(13, hDay_);
    rs.setField(14, cbReq->currentText());
    rs.setField(15, cbSin->currentText());
    rs.setField(16, Check1->isChecked());
    rs.setField(17, txtBno->text());
    rs.setField(18, WholeAmount(txtTax->text()));
    rs.setField(19, O1[1]->isChecked());
    rs.setField(20, suggestedStatus());
}

void frmIo::insertVoucher() {
    // The number is taken inside the insert's transaction, so two copies saving at once never
    // read the same maximum. The unique index on 單號 is the safety net behind it; a clash
    // (another writer that bypassed the lock) is retried with a fresh number.
    constexpr int kAttempts = 5;
    for (int attempt = 1;; ++attempt) {
        try {
            store::Transaction tx(*app::dbAcc);
            QString no = GetLastNo();
            // Past …999 a day's numbers carry into the next day's prefix; should that number
            // already be taken, the next free one follows.
            while (app::dbAcc->scalar(QStringLiteral("select 1 from iof where 單號 = ?"), {no})
                       .isValid())
                no = FollowingNo(no);
            lbNo->setText(no);
            store::Recordset rs =
                app::dbAcc->openRecordset(QStringLiteral("select * from iof where 0"));
            rs.AddNew();
            writeColumns(rs, false);
            rs.Update();
            rs.Close();
            audit::record(*app::dbAcc, {audit::Kind::Insert,
                                        QStringLiteral("iof"),
                                        no,
                                        {},
                                        audit::rowOf(*app::dbAcc, QStringLiteral("iof"),
                                                     QStringLiteral("單號"), no)});
            tx.commit();
            return;
        } catch (const store::EngineError& e) {
            if (e.number() != store::err::DuplicateKey || attempt == kAttempts)
                throw;
        }
    }
}

// Rewrites the voucher on display, and in a cash approval settles it in the same transaction.
// Gives false, writing nothing, when the stored voucher is approved already (by this form
// earlier or by another copy of the program meanwhile): rewriting it would undo the approval
// and approving it again would pay it twice; likewise, in a cash approval, when another copy
// voided it meanwhile.
bool frmIo::rewriteVoucher(store::Recordset& target, bool cash) {
    store::Transaction tx(*app::dbAcc);
    const QString no = target.text(1);
    const QVariant stored = storedStatus(no);
    if (stored.isValid() && (stored.toInt() >= 0 || (cash && stored.toInt() == -3)))
        return false;
    const QString iof = QStringLiteral("iof");
    const QString key = QStringLiteral("單號");
    const QJsonObject before = audit::rowOf(*app::dbAcc, iof, key, no);
    try {
        target.Edit();
        writeColumns(target, true);
        if (cash)
            target.setField(3, 0);
        target.Update();
    } catch (...) {
        target.CancelUpdate();  // the row is read afresh when it is shown or edited again
        throw;
    }
    QJsonObject after = audit::rowOf(*app::dbAcc, iof, key, no);
    audit::Kind kind = audit::Kind::Rewrite;
    if (cash) {
        appendCashMovement(no);
        // Inside this transaction the highest id is the movement just added.
        after.insert(QStringLiteral("cash"),
                     audit::rowOf(*app::dbAcc, QStringLiteral("cash"), QStringLiteral("id"),
                                  app::dbAcc->scalar(QStringLiteral("select max(id) from cash"))));
        kind = audit::Kind::ApproveCash;
    } else if (after.value(QStringLiteral("方式")).toInteger() == -3 &&
               before.value(QStringLiteral("方式")).toInteger() != -3) {
        kind = audit::Kind::Void;
    }
    audit::record(*app::dbAcc, {kind, iof, no, before, after});
    tx.commit();
    return true;
}

QVariant frmIo::storedStatus(const QString& voucherNo) const {
    return app::dbAcc->scalar(QStringLiteral("select 方式 from iof where 單號 = ?"), {voucherNo});
}

void frmIo::refusedAsApproved() {
    app::MsgBox(QStringLiteral("收支單已簽核 無法修改"), app::Buttons::OK, app::Icon::Exclamation,
                QStringLiteral("ACC"));
    cmdCencel_Click();  // back to browsing, showing the voucher as it is stored now
}

void frmIo::closingSteps() {
    // Vouchers are only ever added: the cursor takes in the new ones (this save's and other
    // copies') rather than reading a million keys again after every save.
    if (!browseRs.has_value() && app::isTrue(addingVoucher) && parkedRs_.has_value())
        browseRs = std::move(parkedRs_);
    parkedRs_.reset();
    if (!browseRs.has_value() || !browseRs->takeInAddedRows(QString::fromUtf8(kNumberOrder)))
        OpenVouchers();
    else
        browseRs->MoveFirst();  // where a cursor opened afresh stands: the steps below move
    SetEditable(False);
    lbStat->setText(QStringLiteral("〔瀏覽〕"));
    if (app::isTrue(addingVoucher)) {
        browsePos = 0;
        syncScrollRange();
        // The change handler moves to the last voucher in number order, normally the new one.
        FSB->setValue(FSB->maximum());
        ck->show();
        ck->setEnabled(rightGranted(3));
        lbop->show();
        ShowVoucher();
        addingVoucher = False;
    } else if (!app::isTrue(app::gPicked)) {
        syncScrollRange();
        browseRs->Move(browsePos);
        ShowVoucher();
    } else {
        // The picked voucher stays on display, as it is stored now: its approval box then
        // reflects the save, so it cannot be approved a second time.
        ShowVoucherByNo();
    }
    // The approval is over before the panel closes, so closing it asks nothing.
    approvingVoucher = False;
    CloseGridPanel();
    FillPrintRecord();
}

}  // namespace orvik::vouchers
