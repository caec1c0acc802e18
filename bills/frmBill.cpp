#include "frmBill.h"

#include <QCalendarWidget>
#include <QCloseEvent>
#include <QRadioButton>

#include "Clock.h"
#include "EraDate.h"
#include "Forms.h"
#include "Program.h"

namespace orvik::bills {

using namespace orvik::app;

frmBill::frmBill(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    Oop = {Oop_0, Oop_1, Oop_2, Oop_3};
    for (int i = 0; i < int(Oop.size()); ++i) {
        Oop[i]->setObjectName(QStringLiteral("Oop(%1)").arg(i));
        connectHandler(Oop[i], &QRadioButton::clicked, this, [this, i] { Oop_Click(i); });
    }

    // Wide enough for the longest era date and amount in words, whatever the font.
    const int eraWidth =
        fontMetrics().horizontalAdvance(QStringLiteral("中華民國 888 年 88 月 88 日")) + 12;
    lbW->setMinimumWidth(eraWidth);
    lbCk->setMinimumWidth(eraWidth);
    lbBCash->setMinimumWidth(
        fontMetrics().horizontalAdvance(QStringLiteral("壹億貳仟參佰肆拾伍萬陸仟柒佰捌拾玖 元整")) +
        12);
    for (QDateEdit* picker : {DTP1, DTP2})
        picker->setMinimumWidth(picker->sizeHint().width());
    SetUpBankCombo(cbWbnk);
    SetUpBankCombo(cbCbnk);

    connectHandler(cmdSv, &QPushButton::clicked, this, &frmBill::cmdSv_Click);
    connectHandler(cmdCencel, &QPushButton::clicked, this, &frmBill::cmdCencel_Click);
    connectHandler(cmdOp, &QPushButton::clicked, this, &frmBill::cmdOp_Click);
    connectHandler(cbWbnk, &QComboBox::currentTextChanged, this, &frmBill::cbWbnk_Change);
    connectHandler(cbWbnk, &QComboBox::activated, this, &frmBill::cbWbnk_Click);
    connectHandler(cbCbnk, &QComboBox::currentTextChanged, this, &frmBill::cbCbnk_Change);
    connectHandler(cbCbnk, &QComboBox::activated, this, &frmBill::cbCbnk_Click);
    // A date picker has no close-up signal of its own: watch its calendar pop-up hide.
    for (QDateEdit* picker : {DTP1, DTP2})
        picker->calendarWidget()->window()->installEventFilter(this);

    Form_Load();
}

frmBill::~frmBill() = default;

void frmBill::Form_Load() {
    FillDayLists();
    if (isTrue(gPicked))
        LoadStoredBill();
    if (isTrue(gBillFromSave))
        LoadForVoucher();
    if (isTrue(gBillFromIssue))
        LoadForIssue();
}

void frmBill::Form_Activate() {
    if (isTrue(gPicked) && isTrue(billMissing)) {
        gPicked = False;
        billMissing = False;
        Unload();
    }
}

void frmBill::closeEvent(QCloseEvent* event) {
    // Closing the window in entry mode counts as 取消.
    if ((isTrue(gBillFromSave) || isTrue(gBillFromIssue)) && !isTrue(billSaved))
        gBillCancel = True;
    if (isTrue(gPicked) && billRs)
        billRs->Close();
    event->accept();
}

void frmBill::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        guard([this] { Form_Activate(); });
}

bool frmBill::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Hide) {
        // Run once the pop-up has finished closing, when the picker holds its final date.
        if (watched == DTP1->calendarWidget()->window())
            QMetaObject::invokeMethod(
                this, [this] { guard([this] { DTP1_CloseUp(); }); }, Qt::QueuedConnection);
        else if (watched == DTP2->calendarWidget()->window())
            QMetaObject::invokeMethod(
                this, [this] { guard([this] { DTP2_CloseUp(); }); }, Qt::QueuedConnection);
    }
    return QWidget::eventFilter(watched, event);
}

void frmBill::DTP1_CloseUp() {
    issueDate_ = DTP1->date();
    lbW->setText(FormatEra(issueDate_, kEraLong));
    if (lbCk->text().isEmpty()) {
        dueDate_ = issueDate_;
        lbCk->setText(lbW->text());
    }
}

void frmBill::DTP2_CloseUp() {
    dueDate_ = DTP2->date();
    lbCk->setText(FormatEra(dueDate_, kEraLong));
    if (lbW->text().isEmpty()) {
        issueDate_ = dueDate_;
        lbW->setText(lbCk->text());
    }
}

void frmBill::Unload() {
    if (Forms::isLoaded<frmBill>() && Forms::get<frmBill>() == this)
        Forms::unload<frmBill>();
    else
        close();
}

}  // namespace orvik::bills
