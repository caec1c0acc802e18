#pragma once

// 權限設定: per employee, the 22 rights as named tick boxes grouped as the bar groups them,
// written to AccS. Somebody always keeps 權限設定 (position 17). A change takes effect at that
// employee's next login.

#include <QWidget>
#include <array>
#include <optional>

#include "Editing.h"
#include "ui_frmRights.h"

class QCheckBox;

namespace orvik::masterdata {

class frmRights : public QWidget, public Ui::frmRights {
    Q_OBJECT

  public:
    explicit frmRights(QWidget* parent = nullptr);

    // ck(1) to ck(22): position k of the rights, lowest bit first.
    std::array<QCheckBox*, 23> ck{};

    void Form_Load();
    void lstStaff_Click();
    void ck_Click();
    void cmdAll_Click();
    void cmdNone_Click();
    void cmdSave_Click();

    // The number the ticks stand for.
    qint32 tickedRights() const;

  private:
    void showStaff(int row);
    void setTicks(qint32 rights);

    app::RowsModel* staff_;
    std::optional<Row> original_;  // number, name, login, rights as read
};

}  // namespace orvik::masterdata
