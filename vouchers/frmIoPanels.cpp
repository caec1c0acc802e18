// The grid panel below the fields (the unapproved vouchers, or the hits of a full-text
// search): opening a listed voucher by double-click, and returning to browsing when the panel
// closes. Row 0 of HFG is its heading row; column 1 of a data row holds a voucher number.

#include <QSignalBlocker>

#include "Globals.h"
#include "frmIo.h"

namespace orvik::vouchers {

using app::False;
using app::True;

void frmIo::CloseGridPanel() {
    if (HeightTwips() != kExpandedHeight)
        return;
    if (app::gListMode == 1)
        cmdSall_Click();
    else if (app::gListMode == 2)
        cmdNck_Click();
}

void frmIo::cmdNck_Click() {
    app::gListMode = 2;
    if (cmdNck->text() == QStringLiteral("檢視未簽核收支單>>"))
        return;  // opening: the review list is not built yet
    setHeightTwips(kHeight);
    ckco->hide();
    cmdco->hide();
    ckco->setChecked(false);
    cmdNck->setText(QStringLiteral("檢視未簽核收支單>>"));
    ReturnToBrowsing();
}

void frmIo::cmdSall_Click() {
    app::gListMode = 1;
    ckco->hide();
    cmdco->hide();
    ckco->setChecked(false);
    if (cmdSall->text() == QStringLiteral("全文檢索>>"))
        return;  // opening: the search is not built yet
    setHeightTwips(kHeight);
    cmdSall->setText(QStringLiteral("全文檢索>>"));
    ReturnToBrowsing();
}

void frmIo::HFG_DblClick(int row, int col) {
    const auto text = [this](int r, int c) {
        const QTableWidgetItem* item = HFG->item(r, c);
        return item ? item->text() : QString();
    };
    if (row <= 0 || col == 0 || text(1, 1).isEmpty())
        return;
    app::gPickedNo = text(row, 1);
    app::gPicked = True;
    addingVoucher = False;
    ShowVoucherByNo();
    FillPrintRecord();
}

void frmIo::ReturnToBrowsing() {
    if (app::isTrue(app::gPicked)) {
        pickedRs.reset();
        app::gPicked = False;
    }
    browsePos = 0;
    OpenVouchers();
    CountVouchers();
    FSB->setValue(FSB->minimum());
    FSB->setValue(FSB->maximum());
    ShowVoucher();
    lbStat->setText(QStringLiteral("〔瀏覽〕"));
    cmdAdd->show();
    cmdCencel->show();
    FSB->show();
    SetEditable(False);
    // An approval armed before the panel closed must not carry over into the next edit.
    approvingVoucher = False;
}

}  // namespace orvik::vouchers
