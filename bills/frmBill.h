#pragma once

// 票據管理: the bill form. Entry of the bill that settles the voucher on the voucher form
// (gBillFromSave) or a group of marked vouchers (gBillFromIssue), and processing of a stored
// bill (gPicked): cashing against the bank ledger, voiding, bouncing.
//
// The form is split by concern: frmBill.cpp (load, unload, date pickers), BillLists.cpp
// (bank and day lists, direction, locking), BillEntry.cpp (entry and save),
// BillProcessing.cpp (processing). Open it through BillHandOver.h.

#include <QDate>
#include <QWidget>
#include <array>
#include <optional>

#include "BillStore.h"
#include "Globals.h"
#include "Recordset.h"
#include "ui_frmBill.h"

class QComboBox;
class QLineEdit;
class QRadioButton;

namespace orvik::bills {

class frmBill : public QWidget, public Ui::frmBill {
    Q_OBJECT
  public:
    explicit frmBill(QWidget* parent = nullptr);
    ~frmBill() override;

    // 未處理, 兌現, 作廢, 退票: the index is the bill status it stands for.
    std::array<QRadioButton*, 4> Oop{};

    // --- Event handlers ---
    void Form_Load();
    void Form_Activate();
    void cmdSv_Click();
    void cmdCencel_Click();
    void DTP1_CloseUp();
    void DTP2_CloseUp();
    void cbWbnk_Change(const QString& text);
    void cbWbnk_Click(int row);
    void cbCbnk_Change(const QString& text);
    void cbCbnk_Click(int row);
    void cmdOp_Click();
    void Oop_Click(int index);

    // --- Form-level state ---
    app::Bool16 billSaved = app::False;  // the entered bill was handed over
    // The stored bill, processing mode only. (Recordset has no default constructor usable
    // outside the store, hence the optional.)
    std::optional<store::Recordset> billRs;
    app::Bool16 billMissing = app::False;  // processing: no bill under the voucher number
    app::Bool16 opArmed = app::False;      // 處理票據 was pressed on an unprocessed bill

    // The dates the two date labels show (the dates picked, or the stored ones).
    QDate issueDate() const { return issueDate_; }
    QDate dueDate() const { return dueDate_; }
    bool isIncomeBill() const { return income_; }

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Shared by both modes (BillLists.cpp).
    void FillDayLists();
    void LoadBankLists(bool isIncome);
    void ShowDayCombos(bool isIncome);
    void LockBillFields(bool locked);
    void ShowDirection(bool isIncome);
    void SetUpBankCombo(QComboBox* combo);
    void FillBankCombo(QComboBox* combo, const QString& table);
    void TakeBankRow(QComboBox* combo, int row, QLineEdit* account, QLineEdit* holder);
    void Unload();

    // Entry (BillEntry.cpp).
    void LoadForVoucher();
    void LoadForIssue();
    void StartEntry(bool isIncome);
    BillRow CollectBill() const;

    // Processing (BillProcessing.cpp).
    void LoadStoredBill();
    bool CashingRefused();
    bool refusedWithoutBillRight();
    void RefuseOption();
    void SelectStoredStatus(BillStatus status);

    QDate issueDate_;
    QDate dueDate_;
    QDate availableDate_;  // processing: 可用日期 as stored
    bool income_ = false;
    qint64 amount_ = 0;
};

}  // namespace orvik::bills
