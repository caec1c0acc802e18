#pragma once

#include <QWidget>

#include "Books.h"
#include "RowsModel.h"
#include "VoucherQuery.h"
#include "ui_frmQuery.h"

namespace orvik::statements {

// 統 計: the voucher query, and the cash book and the bank book on tabs of their own.
class frmQuery : public QWidget, public Ui::frmQuery {
    Q_OBJECT

  public:
    explicit frmQuery(QWidget* parent = nullptr);

    app::RowsModel* vouchers() { return &vouchers_; }
    app::RowsModel* cashRows() { return &cash_; }
    app::RowsModel* bankRows() { return &bank_; }
    const VoucherTotals& totals() const { return totals_; }

    // Fills the filter from what is typed; false (with the message told) when a box holds
    // something that is not a date or an amount.
    bool readFilter(VoucherFilter* filter);

    void cmdQuery_Click();
    void cmdClear_Click();
    void cmdCash_Click();
    void cmdBank_Click();
    void cmdExport_Click();
    void cmdPrint_Click();
    void grdVouchers_DblClick(const QModelIndex& index);

  private:
    void fillLists();
    void printBook(const Book& book, app::RowsModel& model, const QString& title);
    void showBook(const Book& book, app::RowsModel& model, QLabel* totals, QLabel* check);

    app::RowsModel vouchers_;
    app::RowsModel cash_;
    app::RowsModel bank_;
    VoucherTotals totals_;
    Book cashBook_;
    Book bankBook_;
    QVector<BankAccount> accounts_;
};

}  // namespace orvik::statements
