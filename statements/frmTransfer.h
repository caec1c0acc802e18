#pragma once

#include <QWidget>

#include "RowsModel.h"
#include "Transfer.h"
#include "ui_frmTransfer.h"

namespace orvik::statements {

// 轉帳處理: deposits of cash, withdrawals of cash and transfers between bank accounts, and
// their reversal by a counter-transfer.
class frmTransfer : public QWidget, public Ui::frmTransfer {
    Q_OBJECT

  public:
    explicit frmTransfer(QWidget* parent = nullptr);

    app::RowsModel* list() { return &list_; }

    void cbKind_Click();
    void cbFrom_Click();
    void cmdSave_Click();
    void cmdReverse_Click();
    void cmdExport_Click();
    void cmdPrint_Click();

  private:
    void fillSides();
    void refresh();
    bool sideOf(QComboBox* combo, Side* side) const;
    void tell(const TransferResult& result, const QString& action);

    app::RowsModel list_;
    QVector<BankAccount> accounts_;
};

}  // namespace orvik::statements
