// Showing a stored voucher in the controls, blanking them for a new one, browsing with the
// scroll bar, and the date picker's hand-over to the occurrence date.

#include <QSignalBlocker>

#include "Clock.h"
#include "DirectionColour.h"
#include "EraDate.h"
#include "Globals.h"
#include "VoucherRules.h"
#include "frmIo.h"

namespace orvik::vouchers {

using app::False;
using app::True;

namespace {

// A number column as the amount boxes show it; a fraction from older data stays visible.
QString numberText(const QVariant& v) {
    if (v.isNull() || !v.isValid())
        return {};
    if (v.typeId() == QMetaType::Double) {
        const double d = v.toDouble();
        if (d == double(qint64(d)))
            return QString::number(qint64(d));
        return QString::number(d, 'g', 15);
    }
    return v.toString();
}

}  // namespace

void frmIo::OpenVouchers() {
    parkedRs_.reset();
    browseRs = app::dbAcc->openRecordset(QStringLiteral("select * from iof order by ") +
                                         QString::fromUtf8(kNumberOrder));
}

void frmIo::CountVouchers() {
    // A cursor just opened knows its exact count; counting again would read every key twice.
    const int count = browseRs.has_value()
                          ? browseRs->RecordCount()
                          : app::dbAcc->scalar(QStringLiteral("select count(*) from iof")).toInt();
    const QSignalBlocker quiet(FSB);  // the callers set the value themselves
    FSB->setMinimum(0);
    FSB->setMaximum(count > 0 ? count - 1 : 0);
}

// The scroll range from the cursor just opened, which also counts what other copies of the
// program have added since the form was loaded.
void frmIo::syncScrollRange() {
    if (!browseRs.has_value())
        return;
    const QSignalBlocker quiet(FSB);
    FSB->setMaximum(std::max(0, browseRs->RecordCount() - 1));
}

bool frmIo::voucherOnDisplay() const {
    const auto& rs = app::isTrue(app::gPicked) ? pickedRs : browseRs;
    return rs.has_value() && !rs->isBOF() && !rs->isEOF();
}

void frmIo::ShowVoucher() {
    if (!browseRs.has_value() || browseRs->isBOF() || browseRs->isEOF()) {
        ck->setEnabled(false);
        return;
    }
    ck->setEnabled(true);
    showRow(*browseRs);
    FillPrintRecord();
}

void frmIo::ShowVoucherByNo() {
    pickedRs = app::dbAcc->openRecordset(QStringLiteral("select * from iof where 單號 = ?"),
                                         {app::gPickedNo});
    if (pickedRs->isEOF()) {
        showNothing();  // the number is no longer stored
    } else {
        ck->setEnabled(true);
        showRow(*pickedRs);
    }
    cmdAdd->hide();
    cmdCencel->hide();
    FSB->hide();
}

void frmIo::showRow(const store::Recordset& rs) {
    setInDay(store::storedDate(rs.field(0)));
    lbNo->setText(rs.text(1));
    cbUse->setEditText(rs.text(2));

    const int status = rs.field(3).toInt();
    shownStatus_ = status;
    if (status < 0) {
        showingVoucher = True;
        ck->setChecked(false);
        // Only someone who may approve gets the box; for the others it stays shut.
        ck->setEnabled(rightGranted(3));
        showingVoucher = False;
        frmMa->hide();
        cmdMach->hide();
        cmdBillView->hide();
        cmdEdit->setEnabled(rightGranted(1));
    } else {
        optA[2]->setEnabled(true);
        showingVoucher = True;
        ck->setChecked(true);
        ck->setEnabled(false);
        showingVoucher = False;
        frmMa->setEnabled(false);
        frmMa->show();
        if (status == 0 || status == 1 || status == 3) {
            cmdMach->show();
            cmdMach->setEnabled(rightGranted(4));
        } else {
            cmdMach->hide();
        }
        // Settled by a bill: its processing opens from here, for whoever may handle bills.
        cmdBillView->setVisible(status >= 1 && status <= 4);
        cmdBillView->setEnabled(mayHandleBills());
        cmdEdit->setEnabled(false);
    }

    ckNoW->setChecked(false);
    const bool suggestedCash = rs.field(20).toInt() == -1;
    switch (status) {
        case -1:
            Op1[0]->setChecked(true);
            break;
        case -2:
            Op1[1]->setChecked(true);
            break;
        case -3:
            ckNoW->setChecked(true);
            Op1[suggestedCash ? 0 : 1]->setChecked(true);
            break;
        case 0:
            optA[0]->setChecked(true);
            break;
        case 1:
        case 3:
            optA[1]->setChecked(true);
            break;
        case 2:
        case 4:
            optA[2]->setChecked(true);
            break;
        default:
            break;
    }
    if (status == -3) {
        ckNoW->setChecked(true);
        ck->hide();
        lbop->hide();
    } else {
        ckNoW->setChecked(false);
        ck->show();
        lbop->show();
    }

    txtCash->setText(numberText(rs.field(4)));
    cbAcc->setEditText(rs.text(5));
    const bool expense = store::storedBool(rs.field(6));
    lbAcIo->setText(expense ? QStringLiteral("(支出)") : QStringLiteral("(收入)"));
    setAccountColour(!expense);
    lbAcTxt->setText(rs.text(7));
    cbPs1->setEditText(rs.text(8));
    cbPs2->setEditText(rs.text(9));
    selectProject(rs.text(10), rs.text(11));
    lbPjTxt->setText(rs.text(11));
    cbWt->setEditText(rs.text(12));
    setHday(store::storedDate(rs.field(13)));
    cbReq->setEditText(rs.text(14));
    cbSin->setEditText(rs.text(15));
    Check1->setChecked(store::storedBool(rs.field(16)));
    txtBno->setText(rs.text(17));
    txtTax->setText(numberText(rs.field(18)));
    O1[store::storedBool(rs.field(19)) ? 1 : 0]->setChecked(true);
    Op1[suggestedCash ? 0 : 1]->setChecked(true);
}

// Blanks the controls when the voucher to show is not stored (a picked number that another
// copy of the program no longer has); nothing can be edited or approved then.
void frmIo::showNothing() {
    shownStatus_.reset();
    setInDay({});
    lbNo->clear();
    for (QComboBox* box : {cbUse, cbAcc, cbPs1, cbPs2, cbWt, cbReq, cbSin})
        box->setEditText(QString());
    txtCash->clear();
    lbAcIo->clear();
    lbAcTxt->clear();
    selectProject(QString(), QString());
    lbPjTxt->clear();
    setHday({});
    Check1->setChecked(false);
    txtBno->clear();
    txtTax->clear();
    ckNoW->setChecked(false);
    showingVoucher = True;
    ck->setChecked(false);
    showingVoucher = False;
    ck->setEnabled(false);
    ck->hide();
    lbop->hide();
    frmMa->hide();
    cmdMach->hide();
    cmdBillView->hide();
    cmdEdit->setEnabled(false);
}

void frmIo::ClearVoucher() {
    shownStatus_.reset();
    setInDay(app::Clock::today());
    lbNo->setText(GetLastNo());
    cbUse->setEditText(QString());
    ckNoW->setEnabled(false);
    ckNoW->setChecked(false);
    txtCash->clear();
    cbAcc->setEditText(QString());
    lbAcIo->clear();
    lbAcTxt->clear();
    cbPs1->setEditText(QString());
    cbPs2->setEditText(QString());
    selectProject(QString(), QString());
    lbPjTxt->clear();
    cbWt->setEditText(QString());
    setHday(inDay_);
    cbReq->setEditText(QString());
    cbSin->setEditText(QString());
    Check1->setChecked(false);
    txtBno->clear();
    txtTax->clear();
    O1[0]->setChecked(true);
    frmMa->hide();
    ck->setChecked(false);
    ck->hide();
    lbop->hide();
    ckNoW->setEnabled(false);
}

void frmIo::FSB_Change(int value) {
    if (!browseRs.has_value() || browseRs->RecordCount() == 0)
        return;
    if (browseRs->isBOF() || browseRs->isEOF()) {
        browseRs->MoveFirst();
        browseRs->Move(value);
    } else {
        browseRs->Move(value - browsePos);
    }
    ShowVoucher();
    browsePos = value;
}

void frmIo::DTP1_CloseUp() {
    setHday(DTP1->date());
}

void frmIo::setInDay(const QDate& date) {
    inDay_ = date;
    lbInDay->setText(app::FormatEra(date, app::kEraLong));
}

void frmIo::setHday(const QDate& date) {
    hDay_ = date;
    lbHday->setText(app::FormatEra(date, app::kEraLong));
}

void frmIo::setAccountColour(bool income) {
    const QColor colour = income ? kIncomeColour : kExpenseColour;
    setTextColour(lbAcIo, colour);
    setTextColour(lbAcTxt, colour);
}

}  // namespace orvik::vouchers
