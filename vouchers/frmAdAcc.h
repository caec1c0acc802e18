#pragma once

// The add-account dialog: adds the account code typed into the voucher form's account box to
// the chart of accounts, with a name and a side, and hands the name back to the voucher form.
// Shown modally by the voucher form; unloaded by either button.

#include <QWidget>
#include <array>

#include "ui_frmAdAcc.h"

class QLabel;
class QRadioButton;

namespace orvik::vouchers {

class frmAdAcc : public QWidget, public Ui::frmAdAcc {
    Q_OBJECT

  public:
    explicit frmAdAcc(QWidget* parent = nullptr);

    // Control arrays as they are numbered: lb(0) "借  /  貸:", lb(4) "科目名稱:",
    // lb(5) "科目代號:"; Ot1(0) "(收入)", Ot1(1) "(支出)".
    std::array<QLabel*, 6> lb{};
    std::array<QRadioButton*, 2> Ot1{};

    void Command1_Click();
    void Command2_Click();
    void Ot1_Click(int index);

  private:
    void Form_Load();
};

}  // namespace orvik::vouchers
