#pragma once

// 專案: the projects (code and name) with their work types, and for the chosen project its
// income and expense per year and its vouchers in number order; a double-click shows a voucher
// in the voucher form. A project that vouchers use keeps its code and cannot be removed: the
// vouchers name it by code.

#include <QWidget>
#include <optional>

#include "Editing.h"
#include "ui_frmProjects.h"

namespace orvik::masterdata {

class frmProjects : public QWidget, public Ui::frmProjects {
    Q_OBJECT

  public:
    explicit frmProjects(QWidget* parent = nullptr);

    void Form_Load();
    void lstProjects_Click();
    void cmdNew_Click();
    void cmdSave_Click();
    void cmdDelete_Click();
    void lstWork_Click();
    void cmdWorkNew_Click();
    void cmdWorkSave_Click();
    void cmdWorkDelete_Click();
    void lstVouchers_DblClick(const QModelIndex& index);

  private:
    void LoadProjects();
    void showProject(int row);
    void clearProject();
    void LoadDetail();
    void LoadWork(qint64 chooseRowid);
    void showWork(int row);
    void clearWork();
    QString project() const;

    app::RowsModel* projects_;
    app::RowsModel* work_;
    app::RowsModel* totals_;
    app::RowsModel* vouchers_;
    std::optional<Row> projectOriginal_;  // id, prj as read
    std::optional<Row> workOriginal_;     // rowid, w as read
    bool loading_ = false;
};

}  // namespace orvik::masterdata
