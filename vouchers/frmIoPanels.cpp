// The grid panel below the fields (the unapproved vouchers, or the hits of a full-text
// search): opening a listed voucher by double-click, and returning to browsing when the panel
// closes. Row 0 of HFG is its heading row; column 1 of a data row holds a voucher number.

#include <QHeaderView>
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
    if (cmdNck->text() == QStringLiteral("檢視未簽核收支單>>")) {
        OpenReviewList();  // frmIoReview.cpp
        return;
    }
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
    if (cmdSall->text() == QStringLiteral("全文檢索>>")) {
        OpenSearch();  // frmIoSearch.cpp
        return;
    }
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

// The grid is read-only, and its heading row stays in view: row 0 of the grid (which the
// lists fill with their headings, and which the code reads as ever) is hidden, and the grid's
// own column header, which does not scroll away, shows its texts.
void frmIo::setUpGrid() {
    HFG->setEditTriggers(QAbstractItemView::NoEditTriggers);
    HFG->setSelectionMode(QAbstractItemView::NoSelection);
    HFG->setWordWrap(false);
    HFG->verticalHeader()->hide();
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

    QAbstractItemModel* model = HFG->model();
    const auto sync = [this] { syncGridHeading(); };
    connect(model, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& topLeft) {
        if (topLeft.row() == 0)
            syncGridHeading();
    });
    connect(model, &QAbstractItemModel::rowsInserted, this, sync);
    connect(model, &QAbstractItemModel::rowsRemoved, this, sync);
    connect(model, &QAbstractItemModel::columnsInserted, this, sync);
    connect(model, &QAbstractItemModel::modelReset, this, sync);
    connect(model, &QAbstractItemModel::layoutChanged, this, sync);
}

void frmIo::syncGridHeading() {
    if (HFG->rowCount() == 0)
        return;
    HFG->setRowHidden(0, true);
    QStringList labels;
    for (int c = 0; c < HFG->columnCount(); ++c) {
        const QTableWidgetItem* item = HFG->item(0, c);
        labels << (item ? item->text() : QString());
    }
    HFG->setHorizontalHeaderLabels(labels);
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

}  // namespace orvik::vouchers
