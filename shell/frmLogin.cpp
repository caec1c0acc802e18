#include "frmLogin.h"

#include <QCalendarWidget>
#include <QEvent>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QScreen>
#include <cmath>
#include <limits>

#include "Clock.h"
#include "EraDate.h"
#include "Globals.h"
#include "Passwords.h"
#include "Program.h"
#include "Prompts.h"
#include "Recordset.h"
#include "WaitCursor.h"
#include "frmPassword.h"

namespace orvik::shell {

using namespace orvik::app;
namespace store = orvik::store;

namespace {

constexpr int kEnter = 13;
constexpr int kMaxFailures = 3;

// Puts a window in the middle of the screen it will appear on.
void centreOnScreen(QWidget* w) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    w->adjustSize();
    QRect frame = w->frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    w->move(frame.topLeft());
}

}  // namespace

qint32 RightsNumber(const QVariant& stored) {
    if (!stored.isValid() || stored.isNull())
        return 0;
    // Blanks anywhere are ignored and the number ends where the text stops looking like one,
    // so "12 abc" reads 12 and "abc" reads 0.
    QString text = stored.toString();
    text.remove(QRegularExpression(QStringLiteral("\\s")));
    static const QRegularExpression number(
        QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?"));
    const auto match = number.match(text);
    if (!match.hasMatch())
        return 0;
    const double value = match.captured(0).toDouble();
    // Round half to even, and refuse what does not fit rather than wrap it into other rights.
    const double rounded = std::nearbyint(value);
    if (!std::isfinite(rounded) || rounded < std::numeric_limits<qint32>::min() ||
        rounded > std::numeric_limits<qint32>::max())
        return 0;
    return static_cast<qint32>(rounded);
}

frmLogin::frmLogin(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    lblLabels = {lblLabels_0, lblLabels_1, lblLabels_2};

    connectHandler(cmdOK, &QPushButton::clicked, this, &frmLogin::cmdOK_Click);
    connectHandler(cmdCancel, &QPushButton::clicked, this, &frmLogin::cmdCancel_Click);
    connectHandler(cmdChangePassword, &QPushButton::clicked, this,
                   &frmLogin::cmdChangePassword_Click);
    connectHandler(txtUserName, &QLineEdit::returnPressed, this,
                   [this] { txtUserName_KeyPress(kEnter); });
    connectHandler(txtPassword, &QLineEdit::returnPressed, this,
                   [this] { txtPassword_KeyPress(kEnter); });
    // The picker closes its calendar when a date is chosen there; a date typed into the box
    // does not count as a choice.
    calendarPopup_ = DTP->calendarWidget()->window();
    calendarPopup_->installEventFilter(this);

    Form_Load();
}

bool frmLogin::eventFilter(QObject* watched, QEvent* event) {
    if (watched == calendarPopup_ && event->type() == QEvent::Hide)
        guard([this] { DTP_CloseUp(); });
    return QWidget::eventFilter(watched, event);
}

void frmLogin::Form_Load() {
    DTP->setDate(Clock::today());
    lbToday->setText(FormatEra(DTP->date(), kEraLong));
    failures_ = 0;
    centreOnScreen(this);
}

void frmLogin::DTP_CloseUp() {
    lbToday->setText(FormatEra(DTP->date(), kEraLong));
    // The working date of the whole program; the computer's clock is left alone.
    Clock::setWorkingDate(DTP->date());
    txtUserName->setFocus();
}

void frmLogin::txtUserName_KeyPress(int KeyAscii) {
    if (KeyAscii != kEnter)
        return;
    txtPassword->setFocus();
    txtPassword->selectAll();
}

void frmLogin::txtPassword_KeyPress(int KeyAscii) {
    if (KeyAscii == kEnter)
        cmdOK_Click();
}

void frmLogin::cmdOK_Click() {
    // Reading the employee on a slow share takes a moment; its messages show the usual cursor.
    const WaitCursor busy;
    // The general-affairs database must carry the 'voro' row; without it nobody may log in.
    {
        auto rs = dbGeneral->openRecordset(
            QStringLiteral("Select super_pass From super Where super_id = 'voro'"),
            store::RecordsetType::Snapshot);
        const bool missing = rs.isBOF() && rs.isEOF();
        rs.Close();
        if (missing) {
            ReportEngineError(store::EngineError(
                store::err::NoCurrentRecord,
                QStringLiteral("總務資料庫的 super 資料表沒有 voro 資料列，無法登入。")));
            return;
        }
    }

    const QString typedName = txtUserName->text();
    bool found = false;
    QString name;
    QString password;
    qint32 rights = 0;
    {
        auto rs = dbGeneral->openRecordset(
            QStringLiteral("Select 中文姓名, 英文姓名, pass, AccS From 員工 Where 英文姓名 = ?"),
            {typedName}, store::RecordsetType::Snapshot);
        if (!(rs.isBOF() && rs.isEOF())) {
            found = true;
            // The lookup ignores letter case, so "Chen" and "chen" may both come back; the row
            // spelled as typed is the one that can pass the exact test below.
            for (; !rs.isEOF(); rs.MoveNext()) {
                if (rs.text(1) == typedName)
                    break;
            }
            if (rs.isEOF())
                rs.MoveFirst();
            name = rs.text(1);
            password = rs.text(2);
            rights = RightsNumber(rs.field(3));
        }
        rs.Close();
    }

    // The stored password is a hash; a plain one left by an older folder is compared as typed.
    if (found && name == typedName && audit::passwordMatches(password, txtPassword->text())) {
        gRights = rights;
        gLoggedIn = True;
        gLoginName = name;
        if (audit::needsRehash(password))
            storeHash(name, txtPassword->text(), audit::isHashed(password));
        close();
        failures_ = 0;
        // An empty password lets anyone in under this name: the user is asked to choose one.
        if (password.isEmpty())
            showChoosePassword();
        return;
    }

    // Recorded before the message, so that a user who ends the program there leaves it too.
    try {
        audit::recordLoginFailure(*dbGeneral, typedName, QStringLiteral("登入失敗"));
    } catch (const store::EngineError&) {
        // The books busy past the wait: the failure is still refused, only not recorded.
    }
    MsgBox(QStringLiteral("使用者名稱或密碼錯誤，請重新輸入!"), Buttons::OK, Icon::Critical,
           QStringLiteral("登入"));
    txtUserName->setFocus();
    gLoggedIn = False;
    txtUserName->selectAll();
    countFailures(1);
}

// Three failures, at the login or at the old password of 變更密碼, end the program.
void frmLogin::countFailures(int failures) {
    failures_ = qint16(failures_ + failures);
    if (failures_ >= kMaxFailures) {
        MsgBox(QStringLiteral("錯誤三次,結束系統"), Buttons::OK, Icon::Critical,
               QStringLiteral("Voro III"));
        gLoggedIn = False;
        EndProgram();
    }
}

// The password just typed replaces the stored plain text (or weaker hash) by its hash. Should
// the books be busy, the login goes on and the next one tries again.
void frmLogin::storeHash(const QString& login, const QString& typed, bool rehash) {
    try {
        audit::setPassword(*dbGeneral, login, typed,
                           rehash ? QStringLiteral("登入時以較高的成本重新雜湊")
                                  : QStringLiteral("登入時把明文密碼換成雜湊"));
    } catch (const store::EngineError&) {
    }
}

void frmLogin::cmdChangePassword_Click() {
    countFailures(showChangePasswordFromLogin(txtUserName->text(), kMaxFailures - failures_));
    if (ProgramEnded())
        return;
    txtPassword->clear();
    txtPassword->setFocus();
}

void frmLogin::cmdCancel_Click() {
    hide();
    EndProgram();
}

}  // namespace orvik::shell
