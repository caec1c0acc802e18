#pragma once

#include <QVariant>
#include <QWidget>
#include <array>

#include "ui_frmLogin.h"

namespace orvik::shell {

// The login: identifies the employee, loads the rights number into gRights, marks the run as
// logged in and lets the user choose the working date. Every showing is a fresh load: the
// window is unloaded on success and by its close box.
class frmLogin : public QWidget, public Ui_frmLogin {
    Q_OBJECT
  public:
    explicit frmLogin(QWidget* parent = nullptr);

    std::array<QLabel*, 3> lblLabels{};

    void Form_Load();
    void DTP_CloseUp();
    void txtUserName_KeyPress(int KeyAscii);
    void txtPassword_KeyPress(int KeyAscii);
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdChangePassword_Click();  // one's own password, before logging in

    // Failed attempts since the window was loaded.
    int failures() const { return failures_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void storeHash(const QString& login, const QString& typed, bool rehash);

    void countFailures(int failures);
    qint16 failures_ = 0;
    QWidget* calendarPopup_ = nullptr;
};

// The rights number of a stored AccS value: its leading number rounded to a 32-bit integer;
// null, text that does not start with a number and numbers outside 32 bits give 0.
qint32 RightsNumber(const QVariant& stored);

}  // namespace orvik::shell
