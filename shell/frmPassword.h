#pragma once

// One's own login password: the old one, the new one twice. Opened from the bar's system menu
// for the logged-in user, from the login window for the name typed there, and by itself after
// a login with an empty password, to choose one. Shown modeless; closed by either button.

#include <QWidget>

#include "ui_frmPassword.h"

namespace orvik::shell {

class frmPassword : public QWidget, public Ui::frmPassword {
    Q_OBJECT

  public:
    enum class Mode {
        Change,     // the logged-in user: the name is fixed
        FromLogin,  // from the login window: the name as typed there, may be changed
        Choose,     // right after a login with an empty password: no old password to give
    };

    explicit frmPassword(QWidget* parent = nullptr);

    // `allowed`: from the login window, the wrong old passwords left before the program ends;
    // the window closes at the last one.
    void setMode(Mode mode, const QString& login, int allowed = 0);
    Mode mode() const { return mode_; }
    // Wrong old passwords typed since setMode.
    int failures() const { return failures_; }

    void cmdOK_Click();
    void cmdCancel_Click();

  private:
    Mode mode_ = Mode::Change;
    int allowed_ = 0;
    int failures_ = 0;
};

// The logged-in user's own password (the bar's system menu). Asks to log in first when nobody
// has.
void showChangePassword();
// From the login window, for the name typed there. Wrong old passwords count as failed logins:
// the window closes once `allowed` of them are typed. Gives how many were.
int showChangePasswordFromLogin(const QString& typedName, int allowed);
// After a login with an empty password: asks the user to choose one.
void showChoosePassword();

}  // namespace orvik::shell
