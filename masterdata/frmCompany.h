#pragma once

// 公司資料: the company's name and print heading (company.ion in pt.mdb, which the voucher form
// offers as its 列印抬頭), its deposit accounts, its cheque accounts and the counterparties'
// banks.

#include <QWidget>
#include <optional>

#include "ui_frmCompany.h"

namespace orvik::masterdata {

class BankListPanel;

class frmCompany : public QWidget, public Ui::frmCompany {
    Q_OBJECT

  public:
    explicit frmCompany(QWidget* parent = nullptr);

    BankListPanel* deposits = nullptr;      // obank
    BankListPanel* cheques = nullptr;       // bbank
    BankListPanel* counterparts = nullptr;  // ibank

    void Form_Load();
    void cmdSaveHeading_Click();

  private:
    QVariant storedHeading_;  // company.ion as read, to tell a change by another copy
};

}  // namespace orvik::masterdata
