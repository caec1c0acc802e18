#include "frmAccMain.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <cmath>

#include "Clock.h"
#include "EraDate.h"
#include "Forms.h"
#include "Globals.h"
#include "MasterData.h"
#include "Modal.h"
#include "Program.h"
#include "Prompts.h"
#include "Routines.h"
#include "Statements.h"
#include "VoucherEntry.h"
#include "frmAudit.h"
#include "frmLogin.h"
#include "frmPassword.h"

namespace orvik::shell {

using namespace orvik::app;

namespace {

// The room the design leaves between the bar and the right edge of the screen, in twips.
constexpr int kRightGap = 5265 + 900;

// The layout of the button column, in twips: top and height; every button is 675 wide at
// left 0, one pixel wider than the bar, as designed.
struct Slot {
    QPushButton* Ui_frmAccMain::*button;
    int top;
    int height;
};
constexpr int kButtonWidth = 675;
constexpr Slot kSlots[] = {
    {&Ui_frmAccMain::cmdM, 0, 600},      {&Ui_frmAccMain::cmdIo, 585, 330},
    {&Ui_frmAccMain::cmdExit, 915, 330}, {&Ui_frmAccMain::cmdPj, 1245, 330},
    {&Ui_frmAccMain::cmdSer, 1575, 330}, {&Ui_frmAccMain::cmdreIo, 1905, 330},
    {&Ui_frmAccMain::cmdSys, 2230, 330}, {&Ui_frmAccMain::cmdBill, 2565, 330},
};

// The main button's picture: a ledger with a coin, drawn here so that it needs no file. It
// sits low in the button, because the bar at rest hides the upper part above the screen.
QIcon ledgerIcon() {
    QPixmap pm(64, 64);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 50, 110), 2));
    p.setBrush(QColor(40, 90, 170));
    p.drawRoundedRect(QRectF(12, 30, 30, 32), 4, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 250, 245));
    p.drawRect(QRectF(17, 34, 20, 24));
    p.setPen(QPen(QColor(120, 140, 170), 2));
    for (int y = 40; y <= 52; y += 6)
        p.drawLine(QPointF(20, y), QPointF(34, y));
    p.setPen(QPen(QColor(150, 100, 0), 2));
    p.setBrush(QColor(240, 190, 40));
    p.drawEllipse(QRectF(33, 39, 22, 22));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(38, 44, 12, 12));
    p.end();
    return QIcon(pm);
}

}  // namespace

int frmAccMain::toPixels(int twips) {
    return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

frmAccMain::frmAccMain(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    // A bar without a caption, above every ordinary window, and kept out of the task bar.
    setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    for (const Slot& slot : kSlots) {
        (this->*slot.button)
            ->setGeometry(0, toPixels(slot.top), toPixels(kButtonWidth), toPixels(slot.height));
    }
    cmdM->setIcon(ledgerIcon());

    mSys = new QMenu(QStringLiteral("SysM"), this);
    mSys->setObjectName(QStringLiteral("mSys"));
    QAction* const items[] = {mSta, mCsh, mLW, mSec, mPer, mCom, mTrans};
    QAction** const separators[] = {&mL, &ml1, &ml11, &ml2, &ml3, &m14};
    const char* const separatorNames[] = {"mL", "ml1", "ml11", "ml2", "ml3", "m14"};
    for (int i = 0; i < 7; ++i) {
        mSys->addAction(items[i]);
        if (i < 6) {
            *separators[i] = mSys->addSeparator();
            (*separators[i])->setObjectName(QLatin1String(separatorNames[i]));
        }
    }
    // Beyond the rights positions: reading the trail and one's own password.
    m15 = mSys->addSeparator();
    m15->setObjectName(QStringLiteral("m15"));
    mSys->addAction(mAudit);
    mSys->addAction(mPass);

    connectHandler(cmdM, &QPushButton::clicked, this, &frmAccMain::cmdM_Click);
    connectHandler(cmdIo, &QPushButton::clicked, this, &frmAccMain::cmdIo_Click);
    connectHandler(cmdBill, &QPushButton::clicked, this, &frmAccMain::cmdBill_Click);
    connectHandler(cmdPj, &QPushButton::clicked, this, &frmAccMain::cmdPj_Click);
    connectHandler(cmdSer, &QPushButton::clicked, this, &frmAccMain::cmdSer_Click);
    connectHandler(cmdreIo, &QPushButton::clicked, this, &frmAccMain::cmdreIo_Click);
    connectHandler(cmdSys, &QPushButton::clicked, this, &frmAccMain::cmdSys_Click);
    connectHandler(cmdExit, &QPushButton::clicked, this, &frmAccMain::cmdExit_Click);
    connectHandler(mSta, &QAction::triggered, this, &frmAccMain::mSta_Click);
    connectHandler(mCsh, &QAction::triggered, this, &frmAccMain::mCsh_Click);
    connectHandler(mLW, &QAction::triggered, this, &frmAccMain::mLW_Click);
    connectHandler(mSec, &QAction::triggered, this, &frmAccMain::mSec_Click);
    connectHandler(mPer, &QAction::triggered, this, &frmAccMain::mPer_Click);
    connectHandler(mCom, &QAction::triggered, this, &frmAccMain::mCom_Click);
    connectHandler(mTrans, &QAction::triggered, this, &frmAccMain::mTrans_Click);
    connectHandler(mAudit, &QAction::triggered, this, &frmAccMain::mAudit_Click);
    connectHandler(mPass, &QAction::triggered, this, &frmAccMain::mPass_Click);
    cmdM->installEventFilter(this);
    // Tucked away, only a strip of the bar's lower buttons stays on the screen: a right click
    // on whatever shows pulls the bar back.
    for (QPushButton* b : {cmdIo, cmdExit, cmdPj, cmdSer, cmdreIo, cmdSys, cmdBill})
        b->installEventFilter(this);
    installEventFilter(this);

    Form_Load();
}

void frmAccMain::setLeft(int twips) {
    left_ = twips;
    place();
}

void frmAccMain::setTop(int twips) {
    top_ = twips;
    place();
}

void frmAccMain::setHeight(int twips) {
    height_ = twips;
    place();
}

void frmAccMain::place() {
    setGeometry(toPixels(left_), toPixels(top_), toPixels(kWidth), toPixels(height_));
}

void frmAccMain::Form_Load() {
    cmdM->setToolTip(QStringLiteral("Ver:2.5 ") + QStringLiteral("Build:920712 今天是") +
                     FormatEra(Clock::today(), kEraSlash));
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    top_ = kRestingTop;
    left_ = (area.left() + area.width()) * kTwipsPerPixel - Width() - kRightGap;
    height_ = kFoldedHeight;
    place();

    EnsureAccSColumn();
    EnsureLetColumn(QStringLiteral("ri"));
    EnsureLetColumn(QStringLiteral("ro"));
}

bool frmAccMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonPress)
        return QWidget::eventFilter(watched, event);
    const auto button = static_cast<QMouseEvent*>(event)->button();
    if (watched == cmdM) {
        guard([&] { cmdM_MouseDown(button); });
        // The button does not take a right press; passed on, the bar would see it as a press on
        // the tucked bar and pull it straight back.
        if (button == Qt::RightButton)
            return true;
    } else if (button == Qt::RightButton && Top() == kTuckedTop) {
        setTop(kRestingTop);
        return true;  // the button itself is not pressed by it
    }
    return QWidget::eventFilter(watched, event);
}

void frmAccMain::closeEvent(QCloseEvent* event) {
    // The bar is the program: whatever closes it ends the run, as its exit button does, and
    // asks first about a voucher in the middle of an entry.
    if (!closeVoucherForm()) {
        event->ignore();
        return;
    }
    event->accept();
    EndProgram();
}

void frmAccMain::fold() {
    setHeight(kFoldedHeight);
}

bool frmAccMain::ioFormIsOpen() {
    if (!isTrue(gIoOpen))
        return false;
    MsgBox(QStringLiteral("請先關閉收支單作業"), Buttons::OK, Icon::Information,
           QStringLiteral("Acc"));
    return true;
}

void frmAccMain::cmdM_Click() {
    if (!isTrue(gLoggedIn)) {
        showModal(Forms::get<frmLogin>());
        if (ProgramEnded())
            return;
        ApplyRights();
        if (isTrue(gLoggedIn))
            statements::remindAtLogin();
    }
    setHeight(Height() == kFoldedHeight ? kUnfoldedHeight : kFoldedHeight);
}

void frmAccMain::cmdM_MouseDown(Qt::MouseButton Button) {
    if (Button != Qt::RightButton)
        return;
    setTop(Top() == kRestingTop ? kTuckedTop : kRestingTop);
}

void frmAccMain::cmdIo_Click() {
    showVoucherForm();
    fold();
}

void frmAccMain::openEntry(bool allowed, const std::function<void()>& show) {
    if (ioFormIsOpen())
        return;
    if (!allowed) {
        // The button or item follows the rights; a path around it is refused here too.
        MsgBox(QStringLiteral("您沒有這項作業的權限"), Buttons::OK, Icon::Exclamation,
               QStringLiteral("Acc"));
        return;
    }
    fold();
    show();
}

void frmAccMain::cmdBill_Click() {
    openEntry(HasAnyRight(5, 8), statements::showBillRegister);
}

void frmAccMain::cmdPj_Click() {
    openEntry(HasAnyRight(9, 10), masterdata::showProjects);
}

void frmAccMain::cmdSer_Click() {
    openEntry(HasAnyRight(11, 12), statements::showVoucherQuery);
}

void frmAccMain::cmdreIo_Click() {
    openEntry(HasRight(13), masterdata::showContracts);
}

void frmAccMain::cmdSys_Click() {
    if (ioFormIsOpen())
        return;
    const QString rights = ToBinaryRights(EffectiveRights(gRights));
    QAction* const items[] = {mSta, mCsh, mLW, mSec, mPer, mCom, mTrans};
    constexpr int kFirstPosition = 14;
    for (int i = 0; i < 7; ++i)
        items[i]->setEnabled(rights.mid(kFirstPosition - 1 + i, 1) == QLatin1String("1"));
    mAudit->setEnabled(audit::mayReadTrail());
    mSys->popup(QCursor::pos());
}

void frmAccMain::cmdExit_Click() {
    // A voucher being entered, edited or approved is not thrown away without asking.
    if (!closeVoucherForm())
        return;
    EndProgram();
}

// The menu's items, each with its rights position (14 to 20).
void frmAccMain::mSta_Click() {
    openEntry(HasRight(14), masterdata::showWords);
}
void frmAccMain::mCsh_Click() {
    openEntry(HasRight(15), statements::showCashFlow);
}
void frmAccMain::mLW_Click() {
    openEntry(HasRight(16), statements::showIncomeStatement);
}
void frmAccMain::mSec_Click() {
    openEntry(HasRight(17), masterdata::showRights);
}
void frmAccMain::mPer_Click() {
    openEntry(HasRight(18), masterdata::showEmployees);
}
void frmAccMain::mCom_Click() {
    openEntry(HasRight(19), masterdata::showCompany);
}
void frmAccMain::mTrans_Click() {
    openEntry(HasRight(20), statements::showTransfer);
}

void frmAccMain::mAudit_Click() {
    openEntry(audit::mayReadTrail(), [] { audit::showAuditWindow(); });
}
void frmAccMain::mPass_Click() {
    openEntry(true, showChangePassword);
}

void frmAccMain::ApplyRights() {
    const QString rights = ToBinaryRights(EffectiveRights(gRights));
    cmdIo->setEnabled(rights.mid(0, 4) != QLatin1String("0000"));
    cmdBill->setEnabled(rights.mid(4, 4) != QLatin1String("0000"));
    cmdPj->setEnabled(rights.mid(8, 2) != QLatin1String("00"));
    cmdSer->setEnabled(rights.mid(10, 2) != QLatin1String("00"));
    cmdreIo->setEnabled(rights.mid(12, 1) != QLatin1String("0"));
}

}  // namespace orvik::shell
