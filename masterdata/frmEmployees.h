#pragma once

// 員工資料: the employees (員工: number, Chinese name, login name, password — set here, never
// shown — and the rights number, shown but changed in 權限設定) and the vendors (廠商), each in
// its list order. Login names are unique without regard to letter case, as the login finds
// them.

#include <QWidget>
#include <optional>

#include "Editing.h"
#include "ui_frmEmployees.h"

namespace orvik::masterdata {

class frmEmployees : public QWidget, public Ui::frmEmployees {
    Q_OBJECT

  public:
    explicit frmEmployees(QWidget* parent = nullptr);

    void Form_Load();
    void lstStaff_Click();
    void cmdStaffNew_Click();
    void cmdStaffSave_Click();
    void cmdStaffDelete_Click();
    void lstVendors_Click();
    void cmdVendorNew_Click();
    void cmdVendorSave_Click();
    void cmdVendorDelete_Click();

  private:
    void LoadStaff();
    void LoadVendors();
    void showStaff(int row);
    void showVendor(int row);
    void clearStaff();
    void clearVendor();

    app::RowsModel* staff_;
    app::RowsModel* vendors_;
    std::optional<Row> staffOriginal_;
    std::optional<Row> vendorOriginal_;
};

// Stores a login password of the employee numbered `employeeNo` as its hash (made beforehand
// by audit::hashPassword, outside the transaction: it is slow on purpose), with its event,
// inside the caller's transaction on voro3.mdb.
void storePassword(store::Database& general, const QString& employeeNo, const QString& hashed);

}  // namespace orvik::masterdata
