#include "frmPassword.h"

#include "Forms.h"
#include "Globals.h"
#include "Modal.h"
#include "Passwords.h"
#include "Program.h"
#include "Prompts.h"

namespace orvik::shell {

using namespace orvik::app;

namespace {

const QString kTitle = QStringLiteral("變更密碼");

frmPassword* prepared(frmPassword::Mode mode, const QString& login, int allowed = 0) {
    auto* f = Forms::get<frmPassword>();
    f->setMode(mode, login, allowed);
    return f;
}

void showModeless(frmPassword* f) {
    f->show();
    f->raise();
    f->activateWindow();
}

}  // namespace

frmPassword::frmPassword(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    connectHandler(cmdOK, &QPushButton::clicked, this, &frmPassword::cmdOK_Click);
    connectHandler(cmdCancel, &QPushButton::clicked, this, &frmPassword::cmdCancel_Click);
    connectHandler(txtConfirm, &QLineEdit::returnPressed, this, &frmPassword::cmdOK_Click);
}

void frmPassword::setMode(Mode mode, const QString& login, int allowed) {
    mode_ = mode;
    allowed_ = allowed;
    failures_ = 0;
    txtLogin->setText(login);
    txtLogin->setReadOnly(mode != Mode::FromLogin);
    txtOld->clear();
    txtNew->clear();
    txtConfirm->clear();
    const bool choosing = mode == Mode::Choose;
    lblOld->setVisible(!choosing);
    txtOld->setVisible(!choosing);
    setWindowTitle(choosing ? QStringLiteral("設定密碼") : kTitle);
    lblHint->setText(choosing ? QStringLiteral("您的密碼是空白的，請設定一個密碼。"
                                               "以後也可以從系統選單的「變更密碼」更改。")
                              : QStringLiteral("請輸入舊密碼，再輸入兩次新密碼。"));
    if (mode == Mode::FromLogin && login.isEmpty())
        txtLogin->setFocus();
    else
        (choosing ? txtNew : txtOld)->setFocus();
}

void frmPassword::cmdOK_Click() {
    const QString login = txtLogin->text();
    if (login.isEmpty()) {
        MsgBox(QStringLiteral("請輸入使用者名稱"), Buttons::OK, Icon::Exclamation, kTitle);
        txtLogin->setFocus();
        return;
    }
    if (txtNew->text().isEmpty()) {
        MsgBox(QStringLiteral("新密碼不可空白"), Buttons::OK, Icon::Exclamation, kTitle);
        txtNew->setFocus();
        return;
    }
    if (txtNew->text() != txtConfirm->text()) {
        MsgBox(QStringLiteral("兩次輸入的新密碼不一樣，請重新輸入"), Buttons::OK, Icon::Exclamation,
               kTitle);
        txtNew->clear();
        txtConfirm->clear();
        txtNew->setFocus();
        return;
    }
    // Choosing replaces an empty password: that is the old one to give.
    const QString old = mode_ == Mode::Choose ? QString() : txtOld->text();
    audit::ChangeResult result = audit::ChangeResult::WrongPassword;
    if (!guardWrite(cmdOK->text(), [&] {
            result = audit::changeOwnPassword(*dbGeneral, login, old, txtNew->text());
        }))
        return;  // nothing written; what was typed stays for another try
    if (result == audit::ChangeResult::WrongPassword) {
        // The same words as the login's: whether the name exists is not told.
        MsgBox(QStringLiteral("使用者名稱或密碼錯誤，請重新輸入!"), Buttons::OK, Icon::Critical,
               kTitle);
        if (mode_ == Mode::Choose) {
            close();  // another copy set a password meanwhile; there is nothing to choose
            return;
        }
        // Guessing here is guessing at the login: the login window counts these too.
        if (mode_ == Mode::FromLogin && ++failures_ >= allowed_) {
            close();
            return;
        }
        txtOld->clear();
        txtOld->setFocus();
        return;
    }
    MsgBox(QStringLiteral("密碼已變更，下次登入請用新密碼"), Buttons::OK, Icon::Information,
           kTitle);
    close();
}

void frmPassword::cmdCancel_Click() {
    close();
}

void showChangePassword() {
    if (!isTrue(gLoggedIn) || gLoginName.isEmpty()) {
        MsgBox(QStringLiteral("請先登入"), Buttons::OK, Icon::Exclamation, kTitle);
        return;
    }
    showModeless(prepared(frmPassword::Mode::Change, gLoginName));
}

int showChangePasswordFromLogin(const QString& typedName, int allowed) {
    // Over the login window, which is itself modal.
    frmPassword* f = prepared(frmPassword::Mode::FromLogin, typedName, allowed);
    showModal(f);
    return f->failures();
}

void showChoosePassword() {
    if (gLoginName.isEmpty())
        return;
    showModeless(prepared(frmPassword::Mode::Choose, gLoginName));
}

}  // namespace orvik::shell
