// The grid panel below the fields (the unapproved vouchers, or the hits of a full-text
// search): opening a listed voucher by double-click, and returning to browsing when the panel
// closes. Row 0 of HFG is its heading row; column 1 of a data row holds a voucher number.

#include <QHeaderView>
#include <QSignalBlocker>

#include "Forms.h"
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
    if (cmdNck->text() == QStringLiteral("檢視未簽核收支單>>")) {
        // The search's list gives way through its own button, so both captions stay true.
        if (cmdSall->text() == QStringLiteral("全文檢索<<")) {
            cmdSall_Click();
            if (cmdSall->text() == QStringLiteral("全文檢索<<"))
                return;  // the user kept the entry the closing would have given up
        }
        app::gListMode = 2;
        OpenReviewList();  // frmIoReview.cpp
        return;
    }
    // Closing shows the last voucher again: an entry in progress is given up only on request.
    if (!mayLeaveEntry())
        return;
    app::gListMode = 2;
    setHeightTwips(kHeight);
    ckco->hide();
    cmdco->hide();
    ckco->setChecked(false);
    cmdNck->setText(QStringLiteral("檢視未簽核收支單>>"));
    ReturnToBrowsing();
}

void frmIo::cmdSall_Click() {
    if (cmdSall->text() == QStringLiteral("全文檢索>>")) {
        if (cmdNck->text() == QStringLiteral("檢視未簽核收支單<<")) {
            cmdNck_Click();
            if (cmdNck->text() == QStringLiteral("檢視未簽核收支單<<"))
                return;
        }
        app::gListMode = 1;
        ckco->hide();
        cmdco->hide();
        ckco->setChecked(false);
        OpenSearch();  // frmIoSearch.cpp
        return;
    }
    if (!mayLeaveEntry())
        return;
    app::gListMode = 1;
    ckco->hide();
    cmdco->hide();
    ckco->setChecked(false);
    setHeightTwips(kHeight);
    cmdSall->setText(QStringLiteral("全文檢索>>"));
    ReturnToBrowsing();
}

void frmIo::HFG_DblClick(int row, int col) {
    if (row <= 0 || col == 0 || HFG->text(1, 1).isEmpty())
        return;
    const QString number = HFG->text(row, 1);
    if (number.isEmpty())
        return;
    // A pick replaces the voucher on display: never under an entry that 儲存 would write.
    if (!mayLeaveEntry())
        return;
    app::gPickedNo = number;
    app::gPicked = True;
    addingVoucher = False;
    ShowVoucherByNo();
    FillPrintRecord();
}

bool frmIo::showVoucherNo(const QString& no) {
    if (!mayLeaveEntry())
        return false;
    if (!app::dbAcc->scalar(QStringLiteral("select 1 from iof where 單號 = ?"), {no}).isValid())
        return false;
    CloseGridPanel();
    if (app::isTrue(app::gPicked)) {
        pickedRs.reset();
        app::gPicked = False;
        cmdAdd->show();
        cmdCencel->show();
        FSB->show();
    }
    // Its place in number order: the vouchers before it by (length, text), read on the index.
    const int position =
        app::dbAcc
            ->scalar(QStringLiteral("select count(*) from iof where length(單號) < ? "
                                    "or (length(單號) = ? and 單號 < ?)"),
                     {no.size(), no.size(), no})
            .toInt();
    OpenVouchers();
    CountVouchers();
    browsePos = 0;
    {
        const QSignalBlocker quiet(FSB);
        FSB->setValue(0);
    }
    FSB->setValue(position);
    if (position == 0)
        ShowVoucher();
    return true;
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

// The grid is read-only; its heading row (row 0 of the lists) shows in the view's header,
// which does not scroll away.
void frmIo::setUpGrid() {
    HFG->setEditTriggers(QAbstractItemView::NoEditTriggers);
    HFG->setSelectionMode(QAbstractItemView::NoSelection);
    HFG->setFocusPolicy(Qt::NoFocus);
    HFG->setWordWrap(false);
    HFG->verticalHeader()->hide();
    HFG->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    HFG->verticalHeader()->setDefaultSectionSize(HFG->fontMetrics().height() + 6);
    HFG->horizontalHeader()->setMinimumSectionSize(1);  // the mark column is 200 twips
    HFG->horizontalHeader()->setSectionsClickable(false);
    HFG->horizontalHeader()->setHighlightSections(false);
    HFG->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);

    QPalette buttons = cmdNck->palette();
    buttons.setColor(QPalette::Button, kReviewPanelColour);
    cmdNck->setPalette(buttons);
    buttons = cmdSall->palette();
    buttons.setColor(QPalette::Button, kSearchPanelColour);
    cmdSall->setPalette(buttons);
}

QColor frmIo::panelColour() const {
    return HFG->palette().color(QPalette::Base);
}

// The colour of the list: the background of the grid and of its heading.
void frmIo::setPanelColour(const QColor& colour) {
    QPalette p = HFG->palette();
    p.setColor(QPalette::Base, colour);
    p.setColor(QPalette::Window, colour);
    HFG->setPalette(p);
    HFG->horizontalHeader()->setStyleSheet(
        QStringLiteral("QHeaderView::section { background-color: %1; border: 0px; "
                       "border-right: 1px solid gray; border-bottom: 1px solid gray; }")
            .arg(colour.name()));
}

bool showVoucherInForm(const QString& no) {
    auto* form = app::Forms::get<frmIo>();
    form->show();
    form->raise();
    form->activateWindow();
    // With an entry in progress the voucher form asks first; kept, it stays as it is.
    return form->showVoucherNo(no);
}

}  // namespace orvik::vouchers
