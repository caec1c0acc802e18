#pragma once

// 應收付: the receivables (應收, ri) and payables (應付, ro), each with its schedule of
// instalments (ri期/ro期) and additional items (ri加/ro加): amount, share of the total price,
// expected date, billing date, invoice number. The write-off form settles a row against a
// voucher; a settled row belongs to its voucher and is not changed or removed here, and a
// contract with settled rows stays. Open rows whose expected date has passed are overdue.

#include <QDate>
#include <QWidget>
#include <optional>

#include "Editing.h"
#include "ui_frmContracts.h"

namespace orvik::masterdata {

// The rows not yet written off, and those of them whose expected date lies before `today`:
// of one contract, or with an empty `id` of every contract of the side.
struct OpenTotals {
    qint64 openCount = 0;
    qint64 openAmount = 0;
    qint64 overdueCount = 0;
    qint64 overdueAmount = 0;

    bool operator==(const OpenTotals&) const = default;
};
OpenTotals openTotals(store::Database& acc, bool receivable, const QString& id, const QDate& today);

class frmContracts : public QWidget, public Ui::frmContracts {
    Q_OBJECT

  public:
    explicit frmContracts(QWidget* parent = nullptr);

    // Schedule rows as the list holds them.
    enum Field {
        kKind,  // 0 instalment, 1 addition
        kPeriod,
        kAmount,
        kDue,
        kShare,
        kBilled,
        kInvoice,
        kQuote,
        kContractNo,
        kWrittenOffAmount,
        kWrittenOffDate,
        kWrittenOffBy,
        kWrittenOff,
    };
    // Whether a schedule row is shown as overdue: open, and expected before today.
    static bool overdue(const Row& row);

    void Form_Load();
    void optSide_Click();
    void lstContracts_Click();
    void cmdNew_Click();
    void cmdSave_Click();
    void cmdDelete_Click();
    void lstRows_Click();
    void optKind_Click();
    void cmdRowNew_Click();
    void cmdRowSave_Click();
    void cmdRowDelete_Click();

  private:
    bool receivable() const { return optIn->isChecked(); }
    QString table() const;
    QString rowTable(int kind) const;
    QString contract() const;
    void LoadContracts();
    void showContract(int row);
    void clearContract();
    void LoadRows(std::optional<std::pair<int, int>> choose);
    void showRow(int row);
    void clearRow();
    void showTotals();

    app::RowsModel* contracts_;
    app::RowsModel* rows_;
    std::optional<Row> contractOriginal_;  // id, 收名稱 as read
    std::optional<Row> rowOriginal_;       // a schedule row as read
    bool loading_ = false;
};

}  // namespace orvik::masterdata
