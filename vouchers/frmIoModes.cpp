// The four modes of the voucher form (browsing, new, edit, approval) and the boxes whose
// behaviour follows the mode: 已簽核, 有單據, the amount box and 應收付沖帳.

#include <QApplication>

#include "ChildForms.h"
#include "Clock.h"
#include "Prompts.h"
#include "VoucherRules.h"
#include "frmIo.h"

namespace orvik::vouchers {

using app::False;
using app::True;

void frmIo::SetEditable(app::Bool16 editable) {
    const bool e = app::isTrue(editable);
    for (QWidget* w :
         std::initializer_list<QWidget*>{cbUse, txtCash, fmeM, cbAcc, cbWt, cbPj, cbPs1, cbPs2,
                                         cbSin, cbReq, DTP1, Check1, cmdSv, cmdCencel, Frame3})
        w->setEnabled(e);
    for (QWidget* w : std::initializer_list<QWidget*>{FSB, cmdPt})
        w->setEnabled(!e);
    // 新增 and 修改 only for those who may enter vouchers (rights digit 1), at every moment.
    cmdAdd->setEnabled(!e && rightGranted(1));
    cmdEdit->setEnabled(!e && rightGranted(1));
    cmdBillView->setEnabled(!e && mayHandleBills());
}

void frmIo::cmdAdd_Click() {
    if (refusedWithoutRight(1) || !mayLeaveEntry())
        return;
    parkedRs_ = std::move(browseRs);  // no voucher on display while the new one is entered
    browseRs.reset();
    SetEditable(True);
    cmdMach->hide();
    cmdBillView->hide();
    fmeM->setEnabled(true);
    ClearVoucher();
    lbStat->setText(QStringLiteral("〔新增中〕"));
    addingVoucher = True;
}

void frmIo::cmdEdit_Click() {
    if (refusedWithoutRight(1) || !voucherOnDisplay())
        return;
    // An approved voucher is not edited: its settlement stands on what it says. The stored
    // status decides, not the 已簽核 box, which is also shut for users who may edit but not
    // approve.
    if (!shownStatus_ || *shownStatus_ >= 0) {
        app::MsgBox(QStringLiteral("收支單已簽核 無法修改"), app::Buttons::OK,
                    app::Icon::Exclamation, QStringLiteral("ACC"));
        return;
    }
    SetEditable(True);
    fmeM->setEnabled(true);
    ckNoW->setEnabled(true);
    DTP1->setDate(hDay_.isValid() ? hDay_ : app::Clock::today());
    lbStat->setText(QStringLiteral("〔修改中〕"));
    cmdCencel->show();
    addingVoucher = False;
    approvingVoucher = False;
    cbUse->setFocus();
}

void frmIo::cmdCencel_Click() {
    if (app::isTrue(app::gPicked)) {
        // The picked voucher is the one on display: show it again as stored, so that the
        // next save still writes the voucher the user sees.
        ShowVoucherByNo();
        FillPrintRecord();
    } else {
        OpenVouchers();
        syncScrollRange();
        if (browseRs->RecordCount() > 0) {
            browseRs->Move(browsePos);
            ShowVoucher();
        }
    }
    // Without the approve right the box stays shut. It is never opened here for a voucher the
    // display has shut it for (approved) or hidden (void): approving those twice would post
    // a second cash movement.
    if (!rightGranted(3))
        ck->setEnabled(false);
    SetEditable(False);
    lbStat->setText(QStringLiteral("〔瀏覽〕"));
    approvingVoucher = False;
}

void frmIo::ck_Click() {
    if (app::isTrue(showingVoucher))
        return;
    if (ck->isChecked() &&
        (!rightGranted(3) || !shownStatus_ || *shownStatus_ < -2 || *shownStatus_ >= 0)) {
        // Only an unapproved voucher, and only by someone who may approve.
        showingVoucher = True;
        ck->setChecked(false);
        showingVoucher = False;
        refusedWithoutRight(3);
        return;
    }
    if (ck->isChecked()) {
        frmMa->show();
        frmMa->setEnabled(true);
        optA[2]->setEnabled(false);
        lbop->show();
        (Op1[0]->isChecked() ? optA[0] : optA[1])->setChecked(true);
        cmdSv->setEnabled(true);
        cmdCencel->setEnabled(true);
        cmdAdd->setEnabled(false);
        cmdEdit->setEnabled(false);
        // Browsing away would leave the approval armed for whatever voucher came next.
        FSB->setEnabled(false);
        approvingVoucher = True;
        addingVoucher = False;
    } else {
        const bool wasApproving = app::isTrue(approvingVoucher);
        frmMa->hide();
        lbop->hide();
        approvingVoucher = False;
        // An approval begun while browsing is left altogether: 儲存 has nothing to write then.
        // One begun while editing returns to the edit.
        if (wasApproving && lbStat->text() == QStringLiteral("〔瀏覽〕"))
            SetEditable(False);
        FSB->setEnabled(!cmdSv->isEnabled());
    }
}

void frmIo::Check1_Click() {
    if (Check1->isChecked()) {
        Frame3->show();
        txtTax->setText(QString::number(TaxOf(txtCash->text())));
    } else {
        // The values inside stay, and are saved.
        Frame3->hide();
    }
}

bool frmIo::txtCash_KeyPress(QChar key) {
    // Character codes 47 to 58: "/", the digits and ":".
    if (key.unicode() >= 47 && key.unicode() <= 58)
        return true;
    QApplication::beep();
    return false;
}

void frmIo::txtCash_KeyUp() {
    txtTax->setText(QString::number(TaxOf(txtCash->text())));
}

namespace {

// Keeps what `allowed` lets through of a box's text, typed digits of the full-width form
// (an input method's) read as the plain ones; beeps when something was dropped. The cursor
// keeps its place among what is kept.
void filterBox(QLineEdit* box, bool (*allowed)(QChar)) {
    const QString text = box->text();
    QString kept;
    kept.reserve(text.size());
    int cursor = box->cursorPosition();
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text.at(i);
        if (c.unicode() >= 0xFF10 && c.unicode() <= 0xFF19)
            c = QChar(u'0' + (c.unicode() - 0xFF10));
        if (allowed(c))
            kept += c;
        else if (i < box->cursorPosition())
            --cursor;
    }
    if (kept == text)
        return;
    box->setText(kept);
    box->setCursorPosition(std::max(0, cursor));
    QApplication::beep();
}

bool amountCharacter(QChar c) {
    return c.unicode() >= 47 && c.unicode() <= 58;  // as the key filter: "/", digits, ":"
}

bool digit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

}  // namespace

void frmIo::txtCash_Edited() {
    filterBox(txtCash, amountCharacter);
    txtCash_KeyUp();
}

void frmIo::txtTax_Edited() {
    filterBox(txtTax, digit);
}

bool frmIo::amountsValid() {
    if (!IsWholeAmountText(txtCash->text())) {
        app::MsgBox(QStringLiteral("金額必須是 12 位數以內的整數"), app::Buttons::OK,
                    app::Icon::Critical, QStringLiteral("ACC"));
        if (txtCash->isEnabled())
            txtCash->setFocus();
        return false;
    }
    if (!txtTax->text().isEmpty() && !IsWholeAmountText(txtTax->text())) {
        app::MsgBox(QStringLiteral("稅額必須是 12 位數以內的整數"), app::Buttons::OK,
                    app::Icon::Critical, QStringLiteral("ACC"));
        if (txtTax->isEnabled() && txtTax->isVisible())
            txtTax->setFocus();
        return false;
    }
    return true;
}

void frmIo::cmdMach_Click() {
    if (refusedWithoutRight(4))
        return;
    app::gMachIncome = app::toBool16(lbAcIo->text() == QStringLiteral("(收入)"));
    showWriteOffEntry();
}

}  // namespace orvik::vouchers
