#pragma once

#include <QWidget>

#include "CashFlow.h"
#include "RowsModel.h"
#include "ui_frmCashFlow.h"

namespace orvik::statements {

// 預估資金流量表: the balances of today, then the expected inflows and outflows per week or
// month with the projected balance.
class frmCashFlow : public QWidget, public Ui::frmCashFlow {
    Q_OBJECT

  public:
    explicit frmCashFlow(QWidget* parent = nullptr);

    app::RowsModel* buckets() { return &buckets_; }
    app::RowsModel* items() { return &items_; }
    const CashFlow& flow() const { return flow_; }

    void cmdQuery_Click();
    void cmdExport_Click();
    void cmdExportItems_Click();  // every expected receipt and payment behind the periods
    void cmdPrint_Click();

  private:
    app::RowsModel buckets_;
    app::RowsModel items_;
    CashFlow flow_;
};

}  // namespace orvik::statements
