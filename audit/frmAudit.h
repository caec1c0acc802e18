#pragma once

// The window that reads the audit trail: the events of acc.mdb and voro3.mdb together, newest
// last, filtered by working date, user, kind and voucher. From the voucher form it opens on one
// voucher's history: who entered, changed, approved and paid it, and when.

#include <QWidget>
#include <functional>

#include "RowsModel.h"
#include "ui_frmAudit.h"

namespace orvik::audit {

// Opens the window (one program-wide instance) and brings it to the front; with a voucher
// number, on that voucher's whole history. Asks again for the right to read the trail.
void showAuditWindow(const QString& voucherNo = {});

// Who may read the trail: rights bits 11–12 (統 計) or 17 (權限設定).
bool mayReadTrail();

// A double-click on an event of a voucher shows that voucher in the voucher form through this
// (the voucher form installs it); without one the double-click does nothing.
void setVoucherOpener(std::function<void(const QString&)> opener);

class frmAudit : public QWidget, public Ui::frmAudit {
    Q_OBJECT

  public:
    explicit frmAudit(QWidget* parent = nullptr);

    // At most this many events are listed, the newest.
    static constexpr int kLimit = 10000;

    // Columns of the list.
    enum Column { WorkDate, Time, User, KindColumn, Table, Key, Change, Note, File };

    void cmdQuery_Click();
    void cmdCheck_Click();
    void cmdClose_Click();
    void tvEvents_DblClick(const QModelIndex& index);

    // Every event of voucher `no`, whatever its date, user and kind.
    void showVoucher(const QString& no);

    app::RowsModel* model() const { return model_; }

  private:
    void Form_Load();
    app::RowsModel* model_ = nullptr;
};

}  // namespace orvik::audit
