#include "frmEmployees.h"

#include <QItemSelectionModel>

#include "Audit.h"
#include "Globals.h"
#include "Passwords.h"
#include "Program.h"
#include "Recordset.h"
#include "Routines.h"

namespace orvik::masterdata {

namespace {

// Staff rows: number, Chinese name, login, rights, whether a password is set.
constexpr int kNo = 0;
constexpr int kName = 1;
constexpr int kLogin = 2;
constexpr int kRights = 3;
constexpr int kHasPassword = 4;
const QStringList kStaffColumns{QStringLiteral("員工編號"), QStringLiteral("中文姓名"),
                                QStringLiteral("英文姓名"), QStringLiteral("AccS")};

constexpr int kVendorNo = 0;
constexpr int kVendorName = 1;
const QStringList kVendorColumns{QStringLiteral("廠商編號"), QStringLiteral("廠商名稱")};

// The rights position of 權限設定: somebody must keep it, or nobody could grant rights again.
constexpr qint64 kRightsBit = 1 << 16;

enum class Outcome { Saved, Changed, Clash, LastRightsHolder };

}  // namespace

void storePassword(store::Database& general, const QString& employeeNo, const QString& hashed) {
    const QString login =
        general.scalar(QStringLiteral("select 英文姓名 from 員工 where 員工編號 = ?"), {employeeNo})
            .toString();
    audit::recordRowChange(
        general, audit::Kind::PasswordChange, QStringLiteral("員工"), QStringLiteral("員工編號"),
        employeeNo, employeeNo,
        [&] {
            general.execute(QStringLiteral("update 員工 set pass = ? where 員工編號 = ?"),
                            {hashed, employeeNo});
        },
        login == app::gLoginName ? QStringLiteral("本人變更密碼")
                                 : QStringLiteral("由他人重設密碼"));
}

frmEmployees::frmEmployees(QWidget* parent)
    : QWidget(parent), staff_(new app::RowsModel(this)), vendors_(new app::RowsModel(this)) {
    setupUi(this);
    using Col = app::RowsModel;
    auto rights = Col::text(QStringLiteral("權限"), kRights);
    rights.alignment = Qt::AlignRight | Qt::AlignVCenter;
    staff_->setColumns({Col::text(QStringLiteral("員工編號"), kNo),
                        Col::text(QStringLiteral("中文姓名"), kName),
                        Col::text(QStringLiteral("登入名稱"), kLogin), rights,
                        Col::yesNo(QStringLiteral("密碼"), kHasPassword, QStringLiteral("已設定"),
                                   QStringLiteral("未設定"))});
    vendors_->setColumns({Col::text(QStringLiteral("廠商編號"), kVendorNo),
                          Col::text(QStringLiteral("廠商名稱"), kVendorName)});
    setUpList(lstStaff, staff_);
    setUpList(lstVendors, vendors_);
    lstStaff->setColumnWidth(0, 100);
    lstStaff->setColumnWidth(1, 140);
    lstStaff->setColumnWidth(2, 140);
    lstVendors->setColumnWidth(0, 120);

    using app::connectHandler;
    connectHandler(lstStaff->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                   &frmEmployees::lstStaff_Click);
    connectHandler(lstVendors->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                   &frmEmployees::lstVendors_Click);
    connectHandler(cmdStaffNew, &QPushButton::clicked, this, &frmEmployees::cmdStaffNew_Click);
    connectHandler(cmdStaffSave, &QPushButton::clicked, this, &frmEmployees::cmdStaffSave_Click);
    connectHandler(cmdStaffDelete, &QPushButton::clicked, this,
                   &frmEmployees::cmdStaffDelete_Click);
    connectHandler(cmdVendorNew, &QPushButton::clicked, this, &frmEmployees::cmdVendorNew_Click);
    connectHandler(cmdVendorSave, &QPushButton::clicked, this, &frmEmployees::cmdVendorSave_Click);
    connectHandler(cmdVendorDelete, &QPushButton::clicked, this,
                   &frmEmployees::cmdVendorDelete_Click);
    for (QLineEdit* box : {txtNo, txtName, txtLogin, txtPassword, txtPassword2})
        connect(box, &QLineEdit::returnPressed, cmdStaffSave, &QPushButton::click);
    for (QLineEdit* box : {txtVendorNo, txtVendorName})
        connect(box, &QLineEdit::returnPressed, cmdVendorSave, &QPushButton::click);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    closeOnEscape(this);
    app::guard([this] { Form_Load(); });
}

void frmEmployees::Form_Load() {
    LoadStaff();
    LoadVendors();
}

// --- Employees ---

void frmEmployees::LoadStaff() {
    const std::optional<Row> keep = staffOriginal_;
    staff_->setRows(
        readRows(*app::dbGeneral,
                 QStringLiteral("select 員工編號, 中文姓名, 英文姓名, AccS, "
                                "case when coalesce(pass, '') = '' then 0 else -1 end from 員工 "
                                "order by 員工編號")));
    const int row = keep ? chooseRow(lstStaff, staff_, {kNo}, {keep->value(kNo)}) : -1;
    if (row >= 0)
        showStaff(row);
    else
        clearStaff();
}

void frmEmployees::lstStaff_Click() {
    const int row = chosenRow(lstStaff);
    if (row >= 0)
        showStaff(row);
}

void frmEmployees::showStaff(int row) {
    const Row& r = staff_->row(row);
    staffOriginal_ = r.mid(0, kStaffColumns.size());
    txtNo->setText(r.value(kNo).toString());
    txtName->setText(r.value(kName).toString());
    txtLogin->setText(r.value(kLogin).toString());
    const qint32 rights = qint32(r.value(kRights).toLongLong());
    lbRightsValue->setText(QStringLiteral("%1（%2）")
                               .arg(rights)
                               .arg(app::ToBinaryRights(app::EffectiveRights(rights)).left(22)));
    txtPassword->clear();
    txtPassword2->clear();
    cmdStaffDelete->setEnabled(true);
}

void frmEmployees::clearStaff() {
    staffOriginal_.reset();
    for (QLineEdit* box : {txtNo, txtName, txtLogin, txtPassword, txtPassword2})
        box->clear();
    lbRightsValue->setText(QStringLiteral("1（新員工只能輸入收支單；請在權限設定調整）"));
    cmdStaffDelete->setEnabled(false);
    clearChoice(lstStaff);
}

void frmEmployees::cmdStaffNew_Click() {
    clearStaff();
    txtNo->setFocus();
}

void frmEmployees::cmdStaffSave_Click() {
    const QString no = txtNo->text().trimmed();
    const QString name = txtName->text().trimmed();
    const QString login = txtLogin->text().trimmed();
    if (no.isEmpty())
        return tellMissing(QStringLiteral("員工編號"), txtNo);
    if (name.isEmpty())
        return tellMissing(QStringLiteral("中文姓名"), txtName);
    if (login.isEmpty())
        return tellMissing(QStringLiteral("登入名稱"), txtLogin);
    if (txtPassword->text() != txtPassword2->text()) {
        tellRefused(QStringLiteral("兩次輸入的密碼不相同，請重新輸入"));
        txtPassword->selectAll();
        txtPassword->setFocus();
        return;
    }
    const QString password = txtPassword->text();
    // Another's password is reset only by a keeper of 權限設定; a new employee's first one
    // comes with the entry.
    const bool own = staffOriginal_ && staffOriginal_->value(kLogin).toString() == app::gLoginName;
    if (!password.isEmpty() && staffOriginal_ && !own && !app::HasRight(17)) {
        tellRefused(QStringLiteral("您沒有這項作業的權限：重設別人的密碼需要「權限設定」"));
        return;
    }
    // Hashed before the transaction: the slow part keeps no other copy waiting.
    const QString hashed = password.isEmpty() ? QString() : audit::hashPassword(password);

    store::Database& db = *app::dbGeneral;
    Outcome outcome = Outcome::Saved;
    QString clash;
    const bool written = app::guardWrite(cmdStaffSave->text(), [&] {
        outcome = Outcome::Saved;
        store::Transaction tx(db);
        const QString oldNo = staffOriginal_ ? staffOriginal_->value(kNo).toString() : QString();
        if (staffOriginal_ && !unchanged(db, QStringLiteral("員工"), {QStringLiteral("員工編號")},
                                         {oldNo}, kStaffColumns, *staffOriginal_)) {
            outcome = Outcome::Changed;
            return;
        }
        // Numbers and logins are compared as the login compares them, without regard to case;
        // the row being edited does not clash with itself.
        const auto takenBy = [&](const QString& column, const QString& value) {
            return staffOriginal_
                       ? db.scalar(QStringLiteral("select 中文姓名 from 員工 where %1 = ? and "
                                                  "員工編號 <> ?")
                                       .arg(column),
                                   {value, oldNo})
                       : db.scalar(
                             QStringLiteral("select 中文姓名 from 員工 where %1 = ?").arg(column),
                             {value});
        };
        const QVariant numberTaken = takenBy(QStringLiteral("員工編號"), no);
        if (numberTaken.isValid()) {
            clash = QStringLiteral("員工編號 %1 已由 %2 使用").arg(no, numberTaken.toString());
            outcome = Outcome::Clash;
            return;
        }
        const QVariant loginTaken = takenBy(QStringLiteral("英文姓名"), login);
        if (loginTaken.isValid()) {
            clash = QStringLiteral("登入名稱 %1 已由 %2 使用（登入名稱不分大小寫）")
                        .arg(login, loginTaken.toString());
            outcome = Outcome::Clash;
            return;
        }
        audit::recordRowChange(
            db, audit::Kind::MasterData, QStringLiteral("員工"), QStringLiteral("員工編號"),
            staffOriginal_ ? QVariant(oldNo) : QVariant(), no, [&] {
                if (staffOriginal_) {
                    db.execute(
                        QStringLiteral("update 員工 set 員工編號 = ?, 中文姓名 = ?, 英文姓名 = ? "
                                       "where 員工編號 = ?"),
                        {no, name, login, oldNo});
                } else {
                    // A new employee gets the rights the table gives by default: entering
                    // vouchers.
                    db.execute(QStringLiteral(
                                   "insert into 員工 (員工編號, 中文姓名, 英文姓名, pass, AccS) "
                                   "values (?, ?, ?, '', 1)"),
                               {no, name, login});
                }
            });
        if (!hashed.isEmpty())
            storePassword(db, no, hashed);
        tx.commit();
    });
    if (!written)
        return;
    switch (outcome) {
        case Outcome::Changed:
            tellChangedMeanwhile();
            LoadStaff();
            return;
        case Outcome::Clash:
            tellRefused(clash);
            return;
        case Outcome::LastRightsHolder:
        case Outcome::Saved:
            break;
    }
    staffOriginal_ = Row{no};
    LoadStaff();
}

void frmEmployees::cmdStaffDelete_Click() {
    if (!staffOriginal_)
        return;
    const QString no = staffOriginal_->value(kNo).toString();
    if (!confirmDelete(
            QStringLiteral("員工 %1 %2").arg(no, staffOriginal_->value(kName).toString())))
        return;
    store::Database& db = *app::dbGeneral;
    Outcome outcome = Outcome::Saved;
    const bool written = app::guardWrite(cmdStaffDelete->text(), [&] {
        outcome = Outcome::Saved;
        store::Transaction tx(db);
        if (!unchanged(db, QStringLiteral("員工"), {QStringLiteral("員工編號")}, {no},
                       kStaffColumns, *staffOriginal_)) {
            outcome = Outcome::Changed;
            return;
        }
        const qint64 rights = staffOriginal_->value(kRights).toLongLong();
        if (app::EffectiveRights(qint32(rights)) & kRightsBit &&
            db.scalar(QStringLiteral("select count(*) from 員工 where 員工編號 <> ? and AccS >= 0 "
                                     "and AccS <= ? and (AccS & ?) <> 0"),
                      {no, app::kAllRights, kRightsBit})
                    .toLongLong() == 0) {
            outcome = Outcome::LastRightsHolder;
            return;
        }
        audit::recordRowChange(
            db, audit::Kind::MasterData, QStringLiteral("員工"), QStringLiteral("員工編號"), no,
            QVariant(),
            [&] { db.execute(QStringLiteral("delete from 員工 where 員工編號 = ?"), {no}); });
        tx.commit();
    });
    if (!written)
        return;
    if (outcome == Outcome::Changed) {
        tellChangedMeanwhile();
        LoadStaff();
        return;
    }
    if (outcome == Outcome::LastRightsHolder) {
        tellRefused(QStringLiteral("%1 是唯一有「權限設定」權限的員工，刪除後沒有人能再設定權限，"
                                   "所以不能刪除")
                        .arg(staffOriginal_->value(kName).toString()));
        return;
    }
    staffOriginal_.reset();
    LoadStaff();
}

// --- Vendors ---

void frmEmployees::LoadVendors() {
    const std::optional<Row> keep = vendorOriginal_;
    vendors_->setRows(readRows(
        *app::dbGeneral, QStringLiteral("select 廠商編號, 廠商名稱 from 廠商 order by 廠商編號")));
    const int row =
        keep ? chooseRow(lstVendors, vendors_, {kVendorNo}, {keep->value(kVendorNo)}) : -1;
    if (row >= 0)
        showVendor(row);
    else
        clearVendor();
}

void frmEmployees::lstVendors_Click() {
    const int row = chosenRow(lstVendors);
    if (row >= 0)
        showVendor(row);
}

void frmEmployees::showVendor(int row) {
    vendorOriginal_ = vendors_->row(row);
    txtVendorNo->setText(vendorOriginal_->value(kVendorNo).toString());
    txtVendorName->setText(vendorOriginal_->value(kVendorName).toString());
    cmdVendorDelete->setEnabled(true);
}

void frmEmployees::clearVendor() {
    vendorOriginal_.reset();
    txtVendorNo->clear();
    txtVendorName->clear();
    cmdVendorDelete->setEnabled(false);
    clearChoice(lstVendors);
}

void frmEmployees::cmdVendorNew_Click() {
    clearVendor();
    txtVendorNo->setFocus();
}

void frmEmployees::cmdVendorSave_Click() {
    const QString no = txtVendorNo->text().trimmed();
    const QString name = txtVendorName->text().trimmed();
    if (no.isEmpty())
        return tellMissing(QStringLiteral("廠商編號"), txtVendorNo);
    if (name.isEmpty())
        return tellMissing(QStringLiteral("廠商名稱"), txtVendorName);
    store::Database& db = *app::dbGeneral;
    Outcome outcome = Outcome::Saved;
    QString clash;
    const bool written = app::guardWrite(cmdVendorSave->text(), [&] {
        outcome = Outcome::Saved;
        store::Transaction tx(db);
        const QString oldNo =
            vendorOriginal_ ? vendorOriginal_->value(kVendorNo).toString() : QString();
        if (vendorOriginal_ && !unchanged(db, QStringLiteral("廠商"), {QStringLiteral("廠商編號")},
                                          {oldNo}, kVendorColumns, *vendorOriginal_)) {
            outcome = Outcome::Changed;
            return;
        }
        const QVariant taken =
            vendorOriginal_
                ? db.scalar(QStringLiteral(
                                "select 廠商名稱 from 廠商 where 廠商編號 = ? and 廠商編號 <> ?"),
                            {no, oldNo})
                : db.scalar(QStringLiteral("select 廠商名稱 from 廠商 where 廠商編號 = ?"), {no});
        if (taken.isValid()) {
            clash = QStringLiteral("廠商編號 %1 已由 %2 使用").arg(no, taken.toString());
            outcome = Outcome::Clash;
            return;
        }
        audit::recordRowChange(
            db, audit::Kind::MasterData, QStringLiteral("廠商"), QStringLiteral("廠商編號"),
            vendorOriginal_ ? QVariant(oldNo) : QVariant(), no, [&] {
                if (vendorOriginal_)
                    db.execute(QStringLiteral(
                                   "update 廠商 set 廠商編號 = ?, 廠商名稱 = ? where 廠商編號 = ?"),
                               {no, name, oldNo});
                else
                    db.execute(
                        QStringLiteral("insert into 廠商 (廠商編號, 廠商名稱) values (?, ?)"),
                        {no, name});
            });
        tx.commit();
    });
    if (!written)
        return;
    if (outcome == Outcome::Changed) {
        tellChangedMeanwhile();
        LoadVendors();
        return;
    }
    if (outcome == Outcome::Clash) {
        tellRefused(clash);
        return;
    }
    vendorOriginal_ = Row{no};
    LoadVendors();
}

void frmEmployees::cmdVendorDelete_Click() {
    if (!vendorOriginal_)
        return;
    const QString no = vendorOriginal_->value(kVendorNo).toString();
    if (!confirmDelete(
            QStringLiteral("廠商 %1 %2").arg(no, vendorOriginal_->value(kVendorName).toString())))
        return;
    store::Database& db = *app::dbGeneral;
    bool changed = false;
    if (!app::guardWrite(cmdVendorDelete->text(), [&] {
            store::Transaction tx(db);
            changed = !unchanged(db, QStringLiteral("廠商"), {QStringLiteral("廠商編號")}, {no},
                                 kVendorColumns, *vendorOriginal_);
            if (changed)
                return;
            // Vouchers keep the name as text: removing the vendor takes nothing from them.
            audit::recordRowChange(
                db, audit::Kind::MasterData, QStringLiteral("廠商"), QStringLiteral("廠商編號"), no,
                QVariant(),
                [&] { db.execute(QStringLiteral("delete from 廠商 where 廠商編號 = ?"), {no}); });
            tx.commit();
        }))
        return;
    if (changed)
        tellChangedMeanwhile();
    vendorOriginal_.reset();
    LoadVendors();
}

}  // namespace orvik::masterdata
