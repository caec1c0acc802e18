#pragma once

// The chart of accounts in 詞庫 (acc: code, income or expense, name), in the order the voucher
// form lists it: income accounts first, each side by code. An account that vouchers use keeps
// its code and side and cannot be removed; renaming it leaves the stored vouchers with the name
// they were saved with, unless 同時更新已存收支單的科目名稱 is ticked.

#include <QWidget>
#include <optional>

#include "Editing.h"
#include "ui_AccountPanel.h"

namespace orvik::masterdata {

class AccountPanel : public QWidget, public Ui::AccountPanel {
    Q_OBJECT

  public:
    explicit AccountPanel(QWidget* parent = nullptr);

    void Load();
    void lstAccounts_Click();
    void cmdNew_Click();
    void cmdSave_Click();
    void cmdDelete_Click();

    // The vouchers that use an account code: how many, and a few of their numbers.
    struct Usage {
        int vouchers = 0;
        QStringList examples;
        QString text() const;
    };
    static Usage usageOf(store::Database& db, const QString& code);

  private:
    void showRow(int row);
    void clearFields();

    app::RowsModel* model_;
    std::optional<Row> original_;  // code, income, name as read
};

}  // namespace orvik::masterdata
