#pragma once

#include <QWidget>

#include "BillRegister.h"
#include "RowsModel.h"
#include "ui_frmBillRegister.h"

namespace orvik::statements {

// 票 據: the bill register.
class frmBillRegister : public QWidget, public Ui::frmBillRegister {
    Q_OBJECT

  public:
    explicit frmBillRegister(QWidget* parent = nullptr);

    app::RowsModel* bills() { return &bills_; }
    const BillRegisterResult& result() const { return result_; }

    // The login reminder's list: issued bills at their reminder date, received bills due.
    void showReminded();

    void cmdQuery_Click();
    void cmdProcess_Click();
    void cmdExport_Click();
    void cmdPrint_Click();

  private:
    BillFilter filter() const;
    QString filterText() const;

    app::RowsModel bills_;
    BillRegisterResult result_;
};

}  // namespace orvik::statements
