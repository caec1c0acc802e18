// Loading and unloading the voucher form, and the wiring of its handlers.

#include "frmIo.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>

#include "Clock.h"
#include "Program.h"
#include "Prompts.h"
#include "Routines.h"

namespace orvik::vouchers {

using app::False;
using app::True;

frmIo::frmIo(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    optA = {optA_0, optA_1, optA_2};
    Op1 = {Op1_0, Op1_1};
    O1 = {O1_0, O1_1};
    // Array members keep the names they are known by: optA(0), Op1(1)...
    for (size_t i = 0; i < optA.size(); ++i)
        optA[i]->setObjectName(QStringLiteral("optA(%1)").arg(i));
    for (size_t i = 0; i < Op1.size(); ++i)
        Op1[i]->setObjectName(QStringLiteral("Op1(%1)").arg(i));
    for (size_t i = 0; i < O1.size(); ++i)
        O1[i]->setObjectName(QStringLiteral("O1(%1)").arg(i));

    // A stored voucher is read in disabled boxes while browsing: keep its values legible,
    // while disabled buttons stay grey.
    QPalette readable = palette();
    readable.setColor(QPalette::Disabled, QPalette::Text, QColor(40, 40, 40));
    readable.setColor(QPalette::Disabled, QPalette::WindowText, QColor(60, 60, 60));
    setPalette(readable);
    readable.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(40, 40, 40));
    cbPj->setPalette(readable);  // a pick-only box draws its value as button text

    // The panels, search and printing controls are there from the start; their lists and
    // actions join them later. The grid and the combined-bill controls wait below the fields.
    ckco->hide();
    cmdco->hide();
    setUpGrid();
    prepareLists();

    txtCash->installEventFilter(this);
    if (QCalendarWidget* calendar = DTP1->calendarWidget()) {
        dtpPopup_ = calendar->window();
        dtpPopup_->installEventFilter(this);
    }
    connectHandlers();
    app::guard([this] { Form_Load(); });
}

frmIo::~frmIo() = default;

int frmIo::HeightTwips() const {
    return height() * kTwipsPerPixel;
}

void frmIo::setHeightTwips(int twips) {
    setFixedSize(width(), twips / kTwipsPerPixel);
}

void frmIo::connectHandlers() {
    using app::connectHandler;
    connectHandler(cmdAdd, &QPushButton::clicked, this, &frmIo::cmdAdd_Click);
    connectHandler(cmdEdit, &QPushButton::clicked, this, &frmIo::cmdEdit_Click);
    connectHandler(cmdSv, &QPushButton::clicked, this, &frmIo::cmdSv_Click);
    connectHandler(cmdCencel, &QPushButton::clicked, this, &frmIo::cmdCencel_Click);
    connectHandler(cmdMach, &QPushButton::clicked, this, &frmIo::cmdMach_Click);
    connectHandler(cmdBillView, &QPushButton::clicked, this, &frmIo::cmdBillView_Click);
    connectHandler(cmdHistory, &QPushButton::clicked, this, &frmIo::cmdHistory_Click);
    // Setting these boxes from code runs their handlers too, as the display relies on.
    connectHandler(ck, &QCheckBox::toggled, this, &frmIo::ck_Click);
    connectHandler(Check1, &QCheckBox::toggled, this, &frmIo::Check1_Click);
    connectHandler(optP, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            optP_Click();
    });
    connectHandler(optS, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            optS_Click();
    });
    connectHandler(cbAcc, &QComboBox::activated, this, &frmIo::cbAcc_Click);
    connectHandler(cbPj, &QComboBox::activated, this, &frmIo::cbPj_Click);
    connectHandler(FSB, &QScrollBar::valueChanged, this, &frmIo::FSB_Change);
    connectHandler(HFG, &VoucherGrid::cellDoubleClicked, this, &frmIo::HFG_DblClick);
    connectHandler(HFG, &VoucherGrid::cellPressed, this, &frmIo::HFG_MouseDown);
    connectHandler(cmdNck, &QPushButton::clicked, this, &frmIo::cmdNck_Click);
    connectHandler(ckco, &QCheckBox::toggled, this, &frmIo::ckco_Click);
    connectHandler(cmdco, &QPushButton::clicked, this, &frmIo::cmdco_Click);
    connectHandler(cmdPt, &QPushButton::clicked, this, &frmIo::cmdPt_Click);
    connectHandler(cmdSall, &QPushButton::clicked, this, &frmIo::cmdSall_Click);
    connectHandler(txtCash, &QLineEdit::textEdited, this, &frmIo::txtCash_Edited);
    connectHandler(txtTax, &QLineEdit::textEdited, this, &frmIo::txtTax_Edited);
    cmdPt->installEventFilter(this);  // the right button's mouse-down prints the second layout

    // Leaving a box for another control of this form validates it; a popup or another window
    // taking the focus does not.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget* old, QWidget* now) {
        if (!old || !now || now->window() != this)
            return;
        const auto leaves = [old, now](QWidget* box) {
            return (old == box || box->isAncestorOf(old)) && now != box && !box->isAncestorOf(now);
        };
        if (leaves(cbAcc))
            app::guard([this] { cbAcc_Validate(); });
        else if (leaves(cbUse))
            app::guard([this] { cbUse_Validate(); });
        else if (leaves(cbPs1))
            app::guard([this] { cbPs1_Validate(); });
        else if (leaves(cbPs2))
            app::guard([this] { cbPs2_Validate(); });
    });
}

void frmIo::Form_Load() {
    setHeightTwips(kHeight);
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->geometry().width() : width();
    move((screenWidth - width()) / 2, kTop / kTwipsPerPixel);

    ShowCompany();
    app::gIoOpen = True;
    installHandOvers();  // the bill and write-off forms read the voucher on display

    LoadProjects();
    LoadUses();
    LoadPeople();
    LoadAccounts();
    LoadNotes1();
    LoadNotes2();

    browsePos = 0;
    OpenVouchers();
    CountVouchers();
    FSB->setValue(FSB->maximum());
    ShowVoucher();

    lbStat->setText(QStringLiteral("〔瀏覽〕"));
    SetEditable(False);
    DTP1->setDate(app::Clock::today());

    // A voucher picked in the grid before the form was last closed is shown again.
    if (app::isTrue(app::gPicked)) {
        ShowVoucherByNo();
        FillPrintRecord();
    }

    const bool mayEnter = rightGranted(1);
    cmdAdd->setEnabled(mayEnter);
    cmdEdit->setEnabled(mayEnter);
}

void frmIo::Form_Unload() {
    if (app::isTrue(app::gPicked)) {
        try {
            pickedRs.reset();
        } catch (...) {
            // Whatever goes wrong while letting go of the picked voucher does not keep the
            // form open.
        }
    }
    removeHandOvers();
    app::gIoOpen = False;
}

void frmIo::closeEvent(QCloseEvent* event) {
    bool leave = true;
    app::guard([&] { leave = mayLeaveEntry(true); });
    if (!leave) {
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

void frmIo::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int fieldsHeight = kHeight / kTwipsPerPixel;
    pnlFields->setGeometry(0, 0, width(), fieldsHeight);
    HFG->setGeometry(0, fieldsHeight, width(), std::max(0, height() - fieldsHeight));
}

bool frmIo::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtCash) {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            // Keys that type no character (arrows, Delete, Home) and focus moves pass as ever.
            if (key->text().isEmpty() || key->key() == Qt::Key_Tab ||
                key->key() == Qt::Key_Backtab || key->key() == Qt::Key_Delete)
                return false;
            return !txtCash_KeyPress(key->text().at(0));
        }
        if (event->type() == QEvent::KeyRelease) {
            app::guard([this] { txtCash_KeyUp(); });
            return false;
        }
    } else if (watched == cmdPt && event->type() == QEvent::MouseButtonPress) {
        const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
        app::guard([this, button] { cmdPt_MouseDown(button); });
    } else if (watched == dtpPopup_ && event->type() == QEvent::Hide) {
        app::guard([this] { DTP1_CloseUp(); });
    }
    return QWidget::eventFilter(watched, event);
}

bool frmIo::rightGranted(int digit) const {
    return app::HasRight(digit);
}

// The controls follow the rights, but a handler that writes asks again: a control may have been
// left enabled by a path that did not look, and the rights are what count.
bool frmIo::refusedWithoutRight(int digit) {
    if (rightGranted(digit))
        return false;
    app::MsgBox(QStringLiteral("您沒有這項作業的權限"), app::Buttons::OK, app::Icon::Exclamation,
                QStringLiteral("ACC"));
    return true;
}

bool frmIo::entryInProgress() const {
    return app::isTrue(approvingVoucher) || lbStat->text() != QStringLiteral("〔瀏覽〕");
}

bool frmIo::mayLeaveEntry(bool closing) {
    if (!entryInProgress())
        return true;
    const QString question = closing
                                 ? QStringLiteral("此收支單尚未儲存\r\n是否放棄這次的輸入並關閉?")
                                 : QStringLiteral("此收支單尚未儲存\r\n是否放棄這次的輸入?");
    if (app::MsgBox(question, app::Buttons::YesNo, app::Icon::Question, QStringLiteral("ACC"),
                    app::DefaultButton::Second) != app::Answer::Yes)
        return false;
    if (!closing)
        cmdCencel_Click();
    return true;
}

}  // namespace orvik::vouchers
