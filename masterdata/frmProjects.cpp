#include "frmProjects.h"

#include <QHeaderView>
#include <QItemSelectionModel>

#include "Audit.h"
#include "Database.h"
#include "Forms.h"
#include "Globals.h"
#include "Program.h"
#include "ProjectTotals.h"
#include "Routines.h"
#include "frmIo.h"

namespace orvik::masterdata {

namespace {

constexpr int kCode = 0;
constexpr int kName = 1;
const QStringList kProjectColumns{QStringLiteral("id"), QStringLiteral("prj")};

constexpr int kWorkRowid = 0;
constexpr int kWork = 1;
const QStringList kWorkColumns{QStringLiteral("pj_id"), QStringLiteral("w")};

// Voucher rows: number, date of occurrence, pay, status, amount, purpose, account, work type.
constexpr int kNo = 0;
constexpr int kPay = 2;
constexpr int kStatus = 3;

// Totals rows: the year (0 undated, -1 all years), then count and amount of income approved,
// income unapproved, expense approved, expense unapproved.
constexpr int kAllYears = -1;

enum class Outcome { Saved, Changed, Clash, InUse };

// The selected row of a list. Lists follow their selection, not their current row: a click makes
// a row current before it selects it, and focus alone makes the first row current.
int selectedRow(const QTableView* view) {
    const QModelIndexList chosen = view->selectionModel()->selectedIndexes();
    return chosen.isEmpty() ? -1 : chosen.first().row();
}

Row totalsRow(const ProjectYear& y, int year) {
    Row r{year};
    for (const Tally* t :
         {&y.incomeApproved, &y.incomeUnapproved, &y.expenseApproved, &y.expenseUnapproved})
        r << t->count << t->amount;
    return r;
}

QString statusText(const Row& r) {
    const int status = r.value(kStatus).toInt();
    if (status == -3)
        return QStringLiteral("作廢");
    return status < 0 ? QStringLiteral("未簽核") : QStringLiteral("已簽核");
}

qint64 vouchersOf(store::Database& db, const QString& code) {
    return db.scalar(QStringLiteral("select count(*) from iof where 專案號碼 = ?"), {code})
        .toLongLong();
}

}  // namespace

frmProjects::frmProjects(QWidget* parent)
    : QWidget(parent),
      projects_(new app::RowsModel(this)),
      work_(new app::RowsModel(this)),
      totals_(new app::RowsModel(this)),
      vouchers_(new app::RowsModel(this)) {
    setupUi(this);
    using Col = app::RowsModel;
    projects_->setColumns({Col::text(QStringLiteral("專案號碼"), kCode),
                           Col::text(QStringLiteral("專案名稱"), kName)});
    work_->setColumns({Col::text(QStringLiteral("工程種類"), kWork)});

    auto year = Col::text(QStringLiteral("年度"), 0);
    year.alignment = Qt::AlignCenter;
    year.text = [](const Row& r) {
        const int y = r.value(0).toInt();
        return y == kAllYears ? QStringLiteral("合計")
               : y == 0       ? QStringLiteral("無日期")
                              : QString::number(y);
    };
    QVector<Col::Column> totalColumns{year};
    for (const QString& side : {QStringLiteral("收入已簽核"), QStringLiteral("收入未簽核"),
                                QStringLiteral("支出已簽核"), QStringLiteral("支出未簽核")}) {
        const int at = int(totalColumns.size());
        auto count = Col::amount(side + QStringLiteral("筆數"), at);
        totalColumns << count << Col::amount(side + QStringLiteral("金額"), at + 1);
    }
    totals_->setColumns(totalColumns);

    auto no = Col::text(QStringLiteral("收支單號"), kNo);
    // Number order: nine-character numbers (民國 99 and before) before ten-character ones.
    no.sortKey = [](const Row& r) {
        return QVariant(r.value(kNo).toString().rightJustified(12, QLatin1Char('0')));
    };
    auto pay =
        Col::yesNo(QStringLiteral("收支"), kPay, QStringLiteral("支出"), QStringLiteral("收入"));
    auto status = Col::text(QStringLiteral("狀態"), kStatus);
    status.alignment = Qt::AlignCenter;
    status.text = statusText;
    vouchers_->setColumns(
        {no, Col::rocDate(QStringLiteral("發生日期"), 1), pay, status,
         Col::amount(QStringLiteral("金額"), 4), Col::text(QStringLiteral("用途說明"), 5),
         Col::text(QStringLiteral("科目名稱"), 6), Col::text(QStringLiteral("工程種類"), 7)});
    vouchers_->setRowForeground(
        [](const Row& r) { return r.value(kStatus).toInt() == -3 ? QColor(Qt::gray) : QColor(); });

    setUpList(lstProjects, projects_);
    setUpList(lstWork, work_);
    setUpList(lstTotals, totals_);
    setUpList(lstVouchers, vouchers_);
    // Work types in the order the voucher form offers them; totals by year.
    lstWork->setSortingEnabled(false);
    lstTotals->setSortingEnabled(false);
    lstTotals->setSelectionMode(QAbstractItemView::NoSelection);
    lstTotals->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    lstProjects->setColumnWidth(0, 110);
    lstVouchers->setColumnWidth(0, 100);

    using app::connectHandler;
    connectHandler(lstProjects->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                   &frmProjects::lstProjects_Click);
    connectHandler(lstWork->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                   &frmProjects::lstWork_Click);
    connectHandler(cmdNew, &QPushButton::clicked, this, &frmProjects::cmdNew_Click);
    connectHandler(cmdSave, &QPushButton::clicked, this, &frmProjects::cmdSave_Click);
    connectHandler(cmdDelete, &QPushButton::clicked, this, &frmProjects::cmdDelete_Click);
    connectHandler(cmdWorkNew, &QPushButton::clicked, this, &frmProjects::cmdWorkNew_Click);
    connectHandler(cmdWorkSave, &QPushButton::clicked, this, &frmProjects::cmdWorkSave_Click);
    connectHandler(cmdWorkDelete, &QPushButton::clicked, this, &frmProjects::cmdWorkDelete_Click);
    connectHandler(lstVouchers, &QTableView::doubleClicked, this,
                   &frmProjects::lstVouchers_DblClick);
    for (QLineEdit* box : {txtCode, txtName})
        connect(box, &QLineEdit::returnPressed, cmdSave, &QPushButton::click);
    connect(txtWork, &QLineEdit::returnPressed, cmdWorkSave, &QPushButton::click);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    closeOnEscape(this);
    app::guard([this] { Form_Load(); });
}

void frmProjects::Form_Load() {
    LoadProjects();
}

QString frmProjects::project() const {
    return projectOriginal_ ? projectOriginal_->value(kCode).toString() : QString();
}

// --- Projects ---

void frmProjects::LoadProjects() {
    const std::optional<Row> keep = projectOriginal_;
    projects_->setRows(
        readRows(*app::dbAcc, QStringLiteral("select id, prj from prj order by id")));
    // Choosing the row again is not a click: the detail is read once, below.
    loading_ = true;
    const int row = keep ? chooseRow(lstProjects, projects_, {kCode}, {keep->value(kCode)}) : -1;
    loading_ = false;
    if (row >= 0)
        showProject(row);
    else
        clearProject();
}

void frmProjects::lstProjects_Click() {
    const int row = selectedRow(lstProjects);
    if (!loading_ && row >= 0)
        showProject(row);
}

void frmProjects::showProject(int row) {
    projectOriginal_ = projects_->row(row).mid(0, kProjectColumns.size());
    txtCode->setText(projectOriginal_->value(kCode).toString());
    txtName->setText(projectOriginal_->value(kName).toString());
    cmdDelete->setEnabled(true);
    LoadDetail();
}

void frmProjects::clearProject() {
    projectOriginal_.reset();
    txtCode->clear();
    txtName->clear();
    cmdDelete->setEnabled(false);
    lstProjects->clearSelection();
    LoadDetail();
}

// The chosen project's work types, totals and vouchers; all empty without one.
void frmProjects::LoadDetail() {
    const QString code = project();
    tabWork->setEnabled(projectOriginal_.has_value());
    LoadWork(workOriginal_ ? workOriginal_->value(kWorkRowid).toLongLong() : -1);
    QVector<Row> totals;
    QVector<Row> vouchers;
    if (projectOriginal_) {
        const ProjectTotals t = projectTotals(*app::dbAcc, code);
        for (const ProjectYear& y : t.years)
            totals << totalsRow(y, y.rocYear);
        if (t.years.size() > 1)
            totals << totalsRow(t.all, kAllYears);
        vouchers = readRows(*app::dbAcc,
                            QStringLiteral("select 單號, 發生日期, pay, 方式, 金額, 用途說明, "
                                           "科目名稱, 工程種類 from iof where 專案號碼 = ? "
                                           "order by length(單號), 單號"),
                            {code});
    }
    totals_->setRows(totals);
    vouchers_->setRows(vouchers);
    lstVouchers->sortByColumn(-1, Qt::AscendingOrder);
    tabDetail->setTabText(tabDetail->indexOf(tabVouchers),
                          vouchers.isEmpty() ? QStringLiteral("收支單")
                                             : QStringLiteral("收支單 (%1)").arg(vouchers.size()));
}

void frmProjects::cmdNew_Click() {
    clearProject();
    txtCode->setFocus();
}

void frmProjects::cmdSave_Click() {
    const QString code = txtCode->text().trimmed();
    const QString name = txtName->text().trimmed();
    if (code.isEmpty())
        return tellMissing(QStringLiteral("專案號碼"), txtCode);
    if (name.isEmpty())
        return tellMissing(QStringLiteral("專案名稱"), txtName);
    store::Database& db = *app::dbAcc;
    Outcome outcome = Outcome::Saved;
    QString refusal;
    const bool written = app::guardWrite(cmdSave->text(), [&] {
        outcome = Outcome::Saved;
        store::Transaction tx(db);
        const QString oldCode = project();
        if (projectOriginal_ && !unchanged(db, QStringLiteral("prj"), {QStringLiteral("id")},
                                           {oldCode}, kProjectColumns, *projectOriginal_)) {
            outcome = Outcome::Changed;
            return;
        }
        // Codes compare without regard to case, as the voucher form finds them; the project
        // being edited does not clash with itself.
        const QVariant taken =
            projectOriginal_
                ? db.scalar(QStringLiteral("select prj from prj where id = ? and id <> ?"),
                            {code, oldCode})
                : db.scalar(QStringLiteral("select prj from prj where id = ?"), {code});
        if (taken.isValid()) {
            refusal = QStringLiteral("專案號碼 %1 已由 %2 使用").arg(code, taken.toString());
            outcome = Outcome::Clash;
            return;
        }
        if (!projectOriginal_) {
            audit::recordRowChange(
                db, audit::Kind::MasterData, QStringLiteral("prj"), QStringLiteral("id"),
                QVariant(), code, [&] {
                    db.execute(QStringLiteral("insert into prj (id, prj) values (?, ?)"),
                               {code, name});
                });
            tx.commit();
            return;
        }
        if (code != oldCode) {
            // Vouchers name their project by code: a used code stays as it is.
            const qint64 used = vouchersOf(db, oldCode);
            if (used > 0) {
                refusal = QStringLiteral("專案 %1 已有 %2 張收支單使用，專案號碼不能修改")
                              .arg(oldCode)
                              .arg(used);
                outcome = Outcome::InUse;
                return;
            }
        }
        audit::recordRowChange(
            db, audit::Kind::MasterData, QStringLiteral("prj"), QStringLiteral("id"), oldCode, code,
            [&] {
                if (code != oldCode)
                    db.execute(QStringLiteral("update w4pj set pj_id = ? where pj_id = ?"),
                               {code, oldCode});
                db.execute(QStringLiteral("update prj set id = ?, prj = ? where id = ?"),
                           {code, name, oldCode});
            });
        tx.commit();
    });
    if (!written)
        return;
    switch (outcome) {
        case Outcome::Changed:
            tellChangedMeanwhile();
            LoadProjects();
            return;
        case Outcome::Clash:
        case Outcome::InUse:
            tellRefused(refusal);
            return;
        case Outcome::Saved:
            break;
    }
    projectOriginal_ = Row{code};
    LoadProjects();
}

void frmProjects::cmdDelete_Click() {
    if (!projectOriginal_)
        return;
    const QString code = project();
    const QString name = projectOriginal_->value(kName).toString();
    if (!confirmDelete(QStringLiteral("專案 %1 %2").arg(code, name)))
        return;
    store::Database& db = *app::dbAcc;
    Outcome outcome = Outcome::Saved;
    qint64 used = 0;
    if (!app::guardWrite(cmdDelete->text(), [&] {
            outcome = Outcome::Saved;
            store::Transaction tx(db);
            if (!unchanged(db, QStringLiteral("prj"), {QStringLiteral("id")}, {code},
                           kProjectColumns, *projectOriginal_)) {
                outcome = Outcome::Changed;
                return;
            }
            used = vouchersOf(db, code);
            if (used > 0) {
                outcome = Outcome::InUse;
                return;
            }
            audit::recordRowChange(
                db, audit::Kind::MasterData, QStringLiteral("prj"), QStringLiteral("id"), code,
                QVariant(),
                [&] {
                    db.execute(QStringLiteral("delete from w4pj where pj_id = ?"), {code});
                    db.execute(QStringLiteral("delete from prj where id = ?"), {code});
                },
                QStringLiteral("連同其工程種類"));
            tx.commit();
        }))
        return;
    if (outcome == Outcome::InUse) {
        tellRefused(
            QStringLiteral("專案 %1 %2 已有 %3 張收支單使用，不能刪除").arg(code, name).arg(used));
        return;
    }
    if (outcome == Outcome::Changed)
        tellChangedMeanwhile();
    else
        projectOriginal_.reset();
    LoadProjects();
}

// --- Work types ---

// In the order the voucher form reads them: the order they were stored in.
void frmProjects::LoadWork(qint64 chooseRowid) {
    work_->setRows(projectOriginal_
                       ? readRows(*app::dbAcc,
                                  QStringLiteral("select rowid, w from w4pj where pj_id = ? "
                                                 "order by rowid"),
                                  {project()})
                       : QVector<Row>());
    const int row = chooseRowid >= 0 ? chooseRow(lstWork, work_, {kWorkRowid}, {chooseRowid}) : -1;
    if (row >= 0)
        showWork(row);
    else
        clearWork();
}

void frmProjects::lstWork_Click() {
    const int row = selectedRow(lstWork);
    if (!loading_ && row >= 0)
        showWork(row);
}

void frmProjects::showWork(int row) {
    workOriginal_ = work_->row(row);
    txtWork->setText(workOriginal_->value(kWork).toString());
    cmdWorkDelete->setEnabled(true);
}

void frmProjects::clearWork() {
    workOriginal_.reset();
    txtWork->clear();
    cmdWorkDelete->setEnabled(false);
    lstWork->clearSelection();
}

void frmProjects::cmdWorkNew_Click() {
    clearWork();
    txtWork->setFocus();
}

void frmProjects::cmdWorkSave_Click() {
    if (!projectOriginal_)
        return;
    const QString word = txtWork->text().trimmed();
    if (word.isEmpty())
        return tellMissing(QStringLiteral("工程種類"), txtWork);
    const QString code = project();
    store::Database& db = *app::dbAcc;
    Outcome outcome = Outcome::Saved;
    qint64 rowid = -1;
    const bool written = app::guardWrite(cmdWorkSave->text(), [&] {
        outcome = Outcome::Saved;
        store::Transaction tx(db);
        // The project itself may have been renumbered or removed by another copy.
        if (!unchanged(db, QStringLiteral("prj"), {QStringLiteral("id")}, {code},
                       {QStringLiteral("id")}, {code}) ||
            (workOriginal_ && !unchanged(db, QStringLiteral("w4pj"), {QStringLiteral("rowid")},
                                         {workOriginal_->value(kWorkRowid)}, kWorkColumns,
                                         {code, workOriginal_->value(kWork)}))) {
            outcome = Outcome::Changed;
            return;
        }
        const QVariant other = db.scalar(
            QStringLiteral("select rowid from w4pj where pj_id = ? and w = ? and "
                           "rowid <> ?"),
            {code, word, workOriginal_ ? workOriginal_->value(kWorkRowid) : QVariant(-1)});
        if (other.isValid()) {
            outcome = Outcome::Clash;
            return;
        }
        audit::recordRowChange(
            db, audit::Kind::MasterData, QStringLiteral("w4pj"), kWorkColumns,
            workOriginal_ ? QVariantList{code, workOriginal_->value(kWork)} : QVariantList(),
            {code, word}, [&] {
                if (workOriginal_) {
                    rowid = workOriginal_->value(kWorkRowid).toLongLong();
                    db.execute(QStringLiteral("update w4pj set w = ? where rowid = ?"),
                               {word, rowid});
                } else {
                    db.execute(QStringLiteral("insert into w4pj (pj_id, w) values (?, ?)"),
                               {code, word});
                    rowid = db.scalar(QStringLiteral("select max(rowid) from w4pj where pj_id = ?"),
                                      {code})
                                .toLongLong();
                }
            });
        tx.commit();
    });
    if (!written)
        return;
    if (outcome == Outcome::Changed) {
        tellChangedMeanwhile();
        LoadProjects();
        return;
    }
    if (outcome == Outcome::Clash) {
        tellRefused(QStringLiteral("「%1」已在專案 %2 的工程種類中").arg(word, code));
        return;
    }
    LoadWork(rowid);
}

void frmProjects::cmdWorkDelete_Click() {
    if (!projectOriginal_ || !workOriginal_)
        return;
    const QString word = workOriginal_->value(kWork).toString();
    if (!confirmDelete(QStringLiteral("工程種類「%1」").arg(word)))
        return;
    const QString code = project();
    store::Database& db = *app::dbAcc;
    bool changed = false;
    if (!app::guardWrite(cmdWorkDelete->text(), [&] {
            store::Transaction tx(db);
            changed = !unchanged(db, QStringLiteral("w4pj"), {QStringLiteral("rowid")},
                                 {workOriginal_->value(kWorkRowid)}, kWorkColumns, {code, word});
            if (changed)
                return;
            // Vouchers keep the work type as text: removing it takes nothing from them.
            audit::recordRowChange(db, audit::Kind::MasterData, QStringLiteral("w4pj"),
                                   kWorkColumns, {code, word}, {}, [&] {
                                       db.execute(
                                           QStringLiteral("delete from w4pj where rowid = ?"),
                                           {workOriginal_->value(kWorkRowid)});
                                   });
            tx.commit();
        }))
        return;
    if (changed)
        tellChangedMeanwhile();
    workOriginal_.reset();
    LoadWork(-1);
}

// --- Vouchers ---

void frmProjects::lstVouchers_DblClick(const QModelIndex& index) {
    if (!index.isValid())
        return;
    const QString no = vouchers_->row(index.row()).value(kNo).toString();
    if (!app::dbAcc->scalar(QStringLiteral("select 1 from iof where 單號 = ?"), {no}).isValid()) {
        tellRefused(QStringLiteral("收支單 %1 已不存在").arg(no));
        LoadDetail();
        return;
    }
    vouchers::showVoucherInForm(no);
}

}  // namespace orvik::masterdata
