#pragma once

#include <QWidget>

#include "IncomeStatement.h"
#include "RowsModel.h"
#include "ui_frmIncomeStatement.h"

namespace orvik::statements {

// 期間損益表: income and expense per account, beside the previous period and a year earlier.
class frmIncomeStatement : public QWidget, public Ui::frmIncomeStatement {
    Q_OBJECT

  public:
    explicit frmIncomeStatement(QWidget* parent = nullptr);

    app::RowsModel* lines() { return &lines_; }
    const IncomeStatement& statement() const { return statement_; }

    void cmdQuery_Click();
    void cmdExport_Click();
    void cmdPrint_Click();
    void cbKind_Click();

  private:
    bool readPeriod(PeriodKind* kind, DateRange* period);

    app::RowsModel lines_;
    IncomeStatement statement_;
    PeriodKind kind_ = PeriodKind::Month;
    QStringList labels_;
};

}  // namespace orvik::statements
