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
    for (QWidget* w : std::initializer_list<QWidget*>{cmdAdd, cmdEdit, FSB, cmdPt})
        w->setEnabled(!e);
    cmdBillView->setEnabled(!e && mayHandleBills());
}

void frmIo::cmdAdd_Click() {
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
    if (!voucherOnDisplay())
        return;
    // The box is disabled for approved vouchers, and for users without the approve right
    // after 取消; the refusal follows the box.
    if (!ck->isEnabled()) {
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
        frmMa->hide();
        lbop->hide();
        approvingVoucher = False;
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

void frmIo::cmdMach_Click() {
    app::gMachIncome = app::toBool16(lbAcIo->text() == QStringLiteral("(收入)"));
    showWriteOffEntry();
}

}  // namespace orvik::vouchers
