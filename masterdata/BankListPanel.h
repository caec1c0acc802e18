#pragma once

// One list of bank accounts in 公司資料: the company's deposit accounts (obank), its cheque
// accounts (bbank, with the overdraft allowance ps) or the counterparties' banks (ibank). Add,
// change, remove; an account that ledger rows or bills use keeps its bank and number and
// cannot be removed.

#include <QWidget>
#include <optional>

#include "Editing.h"
#include "ui_BankListPanel.h"

namespace orvik::masterdata {

class BankListPanel : public QWidget, public Ui::BankListPanel {
    Q_OBJECT

  public:
    enum class Kind { Deposit, Cheque, Counterparty };

    explicit BankListPanel(Kind kind, QWidget* parent = nullptr);

    // Reads the list again; the row being shown stays chosen while it is still there.
    void Load();

    void lstBanks_Click();
    void cmdNew_Click();
    void cmdSave_Click();
    void cmdDelete_Click();

    // What uses an account: ledger rows and bills, with a few of each named.
    struct Usage {
        int ledgerRows = 0;
        int bills = 0;
        QStringList examples;
        bool any() const { return ledgerRows > 0 || bills > 0; }
        QString text() const;
    };
    static Usage usageOf(store::Database& db, Kind kind, const QString& bank,
                         const QString& account);

  private:
    QString table() const;
    QStringList columns() const;
    void showRow(int row);
    void clearFields();
    void chooseKey(const QString& bank, const QString& account);

    Kind kind_;
    app::RowsModel* model_;
    std::optional<Row> original_;  // the row being edited as it was read; none for a new one
};

}  // namespace orvik::masterdata
