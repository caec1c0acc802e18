#include "frmContracts.h"

#include <QItemSelectionModel>
#include <QRegularExpression>
#include <cmath>

#include "Audit.h"
#include "Clock.h"
#include "Database.h"
#include "EraDate.h"
#include "Globals.h"
#include "Program.h"
#include "Recordset.h"
#include "Routines.h"

namespace orvik::masterdata {

namespace {

constexpr int kId = 0;
constexpr int kName = 1;
const QStringList kContractColumns{QStringLiteral("id"), QStringLiteral("收名稱")};

// Overdue rows in the colour of a warning; settled rows greyed.
const QColor kOverdueColour(255, 200, 200);

enum class Outcome { Saved, Changed, Clash, Locked };

// What a stale edit is told by: the columns this window writes, and the write-off mark.
QStringList checkedColumns(int kind) {
    return kind == 0 ? QStringList{QStringLiteral("期別"),     QStringLiteral("應付金額"),
                                   QStringLiteral("預付日期"), QStringLiteral("佔總價比例"),
                                   QStringLiteral("送帳單日"), QStringLiteral("發票號碼"),
                                   QStringLiteral("處理")}
                     : QStringList{QStringLiteral("期別"),     QStringLiteral("應付金額"),
                                   QStringLiteral("預付日期"), QStringLiteral("送帳單日"),
                                   QStringLiteral("發票號碼"), QStringLiteral("報價單號"),
                                   QStringLiteral("合約單號"), QStringLiteral("處理")};
}

Row checkedValues(const Row& r) {
    Row out{r.value(frmContracts::kPeriod), r.value(frmContracts::kAmount),
            r.value(frmContracts::kDue)};
    if (r.value(frmContracts::kKind).toInt() == 0)
        out << r.value(frmContracts::kShare);
    out << r.value(frmContracts::kBilled) << r.value(frmContracts::kInvoice);
    if (r.value(frmContracts::kKind).toInt() != 0)
        out << r.value(frmContracts::kQuote) << r.value(frmContracts::kContractNo);
    out << r.value(frmContracts::kWrittenOff);
    return out;
}

// The selected row of a list. Lists follow their selection, not their current row: a click makes
// a row current before it selects it, and focus alone makes the first row current.
int selectedRow(const QTableView* view) {
    const QModelIndexList chosen = view->selectionModel()->selectedIndexes();
    return chosen.isEmpty() ? -1 : chosen.first().row();
}

QString periodText(int kind, const QVariant& period) {
    return kind == 0 ? QStringLiteral("%1期").arg(period.toLongLong())
                     : QStringLiteral("追加%1").arg(period.toLongLong());
}

QString percentText(const QVariant& share) {
    if (share.isNull() || !share.isValid())
        return {};
    return QString::number(std::round(share.toDouble() * 10000) / 100, 'f', 2)
               .remove(QRegularExpression(QStringLiteral("\\.?0+$"))) +
           QLatin1Char('%');
}

QString totalsText(const OpenTotals& t) {
    return QStringLiteral("未沖帳 %1 期 %2 元；逾期 %3 期 %4 元")
        .arg(t.openCount)
        .arg(app::FormatAmount(t.openAmount))
        .arg(t.overdueCount)
        .arg(app::FormatAmount(t.overdueAmount));
}

}  // namespace

OpenTotals openTotals(store::Database& acc, bool receivable, const QString& id,
                      const QDate& today) {
    const QString side = receivable ? QStringLiteral("ri") : QStringLiteral("ro");
    const QString which = id.isEmpty() ? QString() : QStringLiteral(" and id = ?");
    QVariantList params{today, today};
    if (!id.isEmpty())
        params << id << id;
    store::Recordset rs = acc.openRecordset(
        QStringLiteral("select count(*), coalesce(sum(應付金額), 0), "
                       "coalesce(sum(case when 預付日期 < ? then 1 else 0 end), 0), "
                       "coalesce(sum(case when 預付日期 < ? then 應付金額 else 0 end), 0) "
                       "from (select 應付金額, 預付日期 from %1 where coalesce(處理, 0) = 0%3 "
                       "union all select 應付金額, 預付日期 from %2 where coalesce(處理, 0) = 0%3)")
            .arg(quoted(side + QStringLiteral("期")), quoted(side + QStringLiteral("加")), which),
        store::RecordsetType::Snapshot, params);
    return OpenTotals{rs.field(0).toLongLong(), rs.field(1).toLongLong(), rs.field(2).toLongLong(),
                      rs.field(3).toLongLong()};
}

bool frmContracts::overdue(const Row& row) {
    if (store::storedBool(row.value(kWrittenOff)))
        return false;
    const QDate due = store::storedDate(row.value(kDue));
    return due.isValid() && due < app::Clock::today();
}

frmContracts::frmContracts(QWidget* parent)
    : QWidget(parent), contracts_(new app::RowsModel(this)), rows_(new app::RowsModel(this)) {
    setupUi(this);
    using Col = app::RowsModel;
    contracts_->setColumns(
        {Col::text(QStringLiteral("代號"), kId), Col::text(QStringLiteral("名稱"), kName),
         Col::amount(QStringLiteral("未沖帳"), 2), Col::amount(QStringLiteral("逾期"), 3)});
    contracts_->setRowBackground(
        [](const Row& r) { return r.value(3).toLongLong() != 0 ? kOverdueColour : QColor(); });

    auto period = Col::text(QStringLiteral("期別"), kPeriod);
    period.text = [](const Row& r) { return periodText(r.value(kKind).toInt(), r.value(kPeriod)); };
    period.sortKey = [](const Row& r) {
        return QVariant(r.value(kKind).toLongLong() * 1000000 + r.value(kPeriod).toLongLong());
    };
    auto share = Col::text(QStringLiteral("比例"), kShare);
    share.alignment = Qt::AlignRight | Qt::AlignVCenter;
    share.text = [](const Row& r) { return percentText(r.value(kShare)); };
    auto state = Col::text(QStringLiteral("沖帳"), kWrittenOff);
    state.alignment = Qt::AlignCenter;
    state.text = [](const Row& r) {
        return store::storedBool(r.value(kWrittenOff)) ? QStringLiteral("已沖帳")
               : overdue(r)                            ? QStringLiteral("逾期")
                                                       : QStringLiteral("未沖帳");
    };
    rows_->setColumns({period, Col::amount(QStringLiteral("金額"), kAmount), share,
                       Col::rocDate(QStringLiteral("預付日期"), kDue),
                       Col::rocDate(QStringLiteral("送帳單日"), kBilled),
                       Col::text(QStringLiteral("發票號碼"), kInvoice),
                       Col::text(QStringLiteral("報價單號"), kQuote),
                       Col::text(QStringLiteral("合約單號"), kContractNo), state,
                       Col::text(QStringLiteral("沖帳單號"), kWrittenOffBy),
                       Col::rocDate(QStringLiteral("沖帳日期"), kWrittenOffDate),
                       Col::amount(QStringLiteral("沖帳金額"), kWrittenOffAmount)});
    rows_->setRowBackground([](const Row& r) { return overdue(r) ? kOverdueColour : QColor(); });
    rows_->setRowForeground([](const Row& r) {
        return store::storedBool(r.value(kWrittenOff)) ? QColor(Qt::darkGray) : QColor();
    });
    setUpList(lstContracts, contracts_);
    setUpList(lstRows, rows_);
    lstContracts->setColumnWidth(0, 70);
    lstContracts->setColumnWidth(1, 120);
    lstContracts->setColumnWidth(2, 90);
    lstRows->setColumnWidth(0, 60);
    optIn->setChecked(true);
    optInstalment->setChecked(true);

    using app::connectHandler;
    connectHandler(optIn, &QRadioButton::clicked, this, &frmContracts::optSide_Click);
    connectHandler(optOut, &QRadioButton::clicked, this, &frmContracts::optSide_Click);
    connectHandler(lstContracts->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                   &frmContracts::lstContracts_Click);
    connectHandler(lstRows->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                   &frmContracts::lstRows_Click);
    connectHandler(optInstalment, &QRadioButton::clicked, this, &frmContracts::optKind_Click);
    connectHandler(optAddition, &QRadioButton::clicked, this, &frmContracts::optKind_Click);
    connectHandler(cmdNew, &QPushButton::clicked, this, &frmContracts::cmdNew_Click);
    connectHandler(cmdSave, &QPushButton::clicked, this, &frmContracts::cmdSave_Click);
    connectHandler(cmdDelete, &QPushButton::clicked, this, &frmContracts::cmdDelete_Click);
    connectHandler(cmdRowNew, &QPushButton::clicked, this, &frmContracts::cmdRowNew_Click);
    connectHandler(cmdRowSave, &QPushButton::clicked, this, &frmContracts::cmdRowSave_Click);
    connectHandler(cmdRowDelete, &QPushButton::clicked, this, &frmContracts::cmdRowDelete_Click);
    for (QLineEdit* box : {txtId, txtName})
        connect(box, &QLineEdit::returnPressed, cmdSave, &QPushButton::click);
    for (QLineEdit* box : std::initializer_list<QLineEdit*>{txtAmount, dtpDue, dtpBilled,
                                                            txtInvoice, txtQuote, txtContractNo})
        connect(box, &QLineEdit::returnPressed, cmdRowSave, &QPushButton::click);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    closeOnEscape(this);
    app::guard([this] { Form_Load(); });
}

void frmContracts::Form_Load() {
    LoadContracts();
}

QString frmContracts::table() const {
    return receivable() ? QStringLiteral("ri") : QStringLiteral("ro");
}

QString frmContracts::rowTable(int kind) const {
    return table() + (kind == 0 ? QStringLiteral("期") : QStringLiteral("加"));
}

QString frmContracts::contract() const {
    return contractOriginal_ ? contractOriginal_->value(kId).toString() : QString();
}

void frmContracts::optSide_Click() {
    contractOriginal_.reset();
    rowOriginal_.reset();
    LoadContracts();
}

// --- Contracts ---

void frmContracts::LoadContracts() {
    const std::optional<Row> keep = contractOriginal_;
    const QString c = quoted(table());
    const QString open = QStringLiteral(
        "(select coalesce(sum(應付金額), 0) from %1 where id = c.id and coalesce(處理, 0) = 0%2)");
    const QString late = QStringLiteral(" and 預付日期 < ?1");
    const QString sum = open.arg(quoted(rowTable(0)), QString()) + QStringLiteral(" + ") +
                        open.arg(quoted(rowTable(1)), QString());
    const QString overdueSum = open.arg(quoted(rowTable(0)), late) + QStringLiteral(" + ") +
                               open.arg(quoted(rowTable(1)), late);
    contracts_->setRows(readRows(*app::dbAcc,
                                 QStringLiteral("select c.id, c.收名稱, %2, %3 from %1 c "
                                                "order by c.id")
                                     .arg(c, sum, overdueSum),
                                 {app::Clock::today()}));
    loading_ = true;
    const int row = keep ? chooseRow(lstContracts, contracts_, {kId}, {keep->value(kId)}) : -1;
    loading_ = false;
    if (row >= 0)
        showContract(row);
    else
        clearContract();
    lbAllTotals->setText(QStringLiteral("全部%1：%2")
                             .arg(receivable() ? QStringLiteral("應收") : QStringLiteral("應付"),
                                  totalsText(openTotals(*app::dbAcc, receivable(), QString(),
                                                        app::Clock::today()))));
}

void frmContracts::lstContracts_Click() {
    const int row = selectedRow(lstContracts);
    if (!loading_ && row >= 0)
        showContract(row);
}

void frmContracts::showContract(int row) {
    contractOriginal_ = contracts_->row(row).mid(0, kContractColumns.size());
    txtId->setText(contractOriginal_->value(kId).toString());
    txtName->setText(contractOriginal_->value(kName).toString());
    cmdDelete->setEnabled(true);
    LoadRows(std::nullopt);
}

void frmContracts::clearContract() {
    contractOriginal_.reset();
    txtId->clear();
    txtName->clear();
    cmdDelete->setEnabled(false);
    lstContracts->clearSelection();
    LoadRows(std::nullopt);
}

void frmContracts::cmdNew_Click() {
    clearContract();
    txtId->setFocus();
}

void frmContracts::cmdSave_Click() {
    const QString id = txtId->text().trimmed();
    const QString name = txtName->text().trimmed();
    if (id.isEmpty())
        return tellMissing(QStringLiteral("代號"), txtId);
    if (name.isEmpty())
        return tellMissing(QStringLiteral("名稱"), txtName);
    store::Database& db = *app::dbAcc;
    const QString t = quoted(table());
    Outcome outcome = Outcome::Saved;
    QString clash;
    const bool written = app::guardWrite(cmdSave->text(), [&] {
        outcome = Outcome::Saved;
        store::Transaction tx(db);
        const QString oldId = contract();
        if (contractOriginal_ && !unchanged(db, table(), {QStringLiteral("id")}, {oldId},
                                            kContractColumns, *contractOriginal_)) {
            outcome = Outcome::Changed;
            return;
        }
        const QVariant taken =
            contractOriginal_
                ? db.scalar(QStringLiteral("select 收名稱 from %1 where id = ? and id <> ?").arg(t),
                            {id, oldId})
                : db.scalar(QStringLiteral("select 收名稱 from %1 where id = ?").arg(t), {id});
        if (taken.isValid()) {
            clash = QStringLiteral("代號 %1 已由 %2 使用").arg(id, taken.toString());
            outcome = Outcome::Clash;
            return;
        }
        audit::recordRowChange(
            db, audit::Kind::MasterData, table(), QStringLiteral("id"),
            contractOriginal_ ? QVariant(oldId) : QVariant(), id, [&] {
                if (contractOriginal_) {
                    db.execute(
                        QStringLiteral("update %1 set id = ?, 收名稱 = ? where id = ?").arg(t),
                        {id, name, oldId});
                    // The schedule follows its contract; the vouchers that settled rows name no
                    // contract.
                    if (id != oldId) {
                        for (int kind : {0, 1})
                            db.execute(QStringLiteral("update %1 set id = ? where id = ?")
                                           .arg(quoted(rowTable(kind))),
                                       {id, oldId});
                    }
                } else {
                    db.execute(QStringLiteral("insert into %1 (id, 收名稱, Let) values (?, ?, '0')")
                                   .arg(t),
                               {id, name});
                }
            });
        tx.commit();
    });
    if (!written)
        return;
    if (outcome == Outcome::Changed) {
        tellChangedMeanwhile();
        LoadContracts();
        return;
    }
    if (outcome == Outcome::Clash) {
        tellRefused(clash);
        return;
    }
    contractOriginal_ = Row{id};
    LoadContracts();
}

void frmContracts::cmdDelete_Click() {
    if (!contractOriginal_)
        return;
    const QString id = contract();
    const QString name = contractOriginal_->value(kName).toString();
    const QString what = receivable() ? QStringLiteral("應收") : QStringLiteral("應付");
    if (!confirmDelete(
            QStringLiteral("%1 %2 %3 與它的 %4 期").arg(what, id, name).arg(rows_->rowCount())))
        return;
    store::Database& db = *app::dbAcc;
    Outcome outcome = Outcome::Saved;
    qint64 settled = 0;
    if (!app::guardWrite(cmdDelete->text(), [&] {
            outcome = Outcome::Saved;
            store::Transaction tx(db);
            if (!unchanged(db, table(), {QStringLiteral("id")}, {id}, kContractColumns,
                           *contractOriginal_)) {
                outcome = Outcome::Changed;
                return;
            }
            for (int kind : {0, 1})
                settled += db.scalar(QStringLiteral("select count(*) from %1 where id = ? and "
                                                    "coalesce(處理, 0) <> 0")
                                         .arg(quoted(rowTable(kind))),
                                     {id})
                               .toLongLong();
            if (settled > 0) {
                outcome = Outcome::Locked;
                return;
            }
            audit::recordRowChange(
                db, audit::Kind::MasterData, table(), QStringLiteral("id"), id, QVariant(),
                [&] {
                    for (int kind : {0, 1})
                        db.execute(QStringLiteral("delete from %1 where id = ?")
                                       .arg(quoted(rowTable(kind))),
                                   {id});
                    db.execute(QStringLiteral("delete from %1 where id = ?").arg(quoted(table())),
                               {id});
                },
                QStringLiteral("連同其 %1 期").arg(rows_->rowCount()));
            tx.commit();
        }))
        return;
    if (outcome == Outcome::Locked) {
        tellRefused(QStringLiteral("%1 %2 %3 已有 %4 期由收支單沖帳，不能刪除")
                        .arg(what, id, name)
                        .arg(settled));
        return;
    }
    if (outcome == Outcome::Changed)
        tellChangedMeanwhile();
    else
        contractOriginal_.reset();
    LoadContracts();
}

// --- The schedule ---

void frmContracts::LoadRows(std::optional<std::pair<int, int>> choose) {
    QVector<Row> rows;
    if (contractOriginal_) {
        rows = readRows(
            *app::dbAcc,
            QStringLiteral(
                "select 0, 期別, 應付金額, 預付日期, 佔總價比例, 送帳單日, 發票號碼, null, null, "
                "沖帳金額, 沖帳日期, 沖帳單號, 處理 from %1 where id = ? union all "
                "select 1, 期別, 應付金額, 預付日期, null, 送帳單日, 發票號碼, 報價單號, 合約單號, "
                "沖帳金額, 沖帳日期, 沖帳單號, 處理 from %2 where id = ? order by 1, 2")
                .arg(quoted(rowTable(0)), quoted(rowTable(1))),
            {contract(), contract()});
    }
    rows_->setRows(rows);
    lstRows->sortByColumn(-1, Qt::AscendingOrder);
    int row = -1;
    if (choose) {
        loading_ = true;
        row = chooseRow(lstRows, rows_, {kKind, kPeriod}, {choose->first, choose->second});
        loading_ = false;
    } else {
        lstRows->clearSelection();
        lstRows->setCurrentIndex({});
    }
    if (row >= 0)
        showRow(row);
    else
        clearRow();
    for (QWidget* w : std::initializer_list<QWidget*>{lstRows, cmdRowNew})
        w->setEnabled(contractOriginal_.has_value());
    showTotals();
}

void frmContracts::showTotals() {
    lbTotals->setText(contractOriginal_
                          ? QStringLiteral("%1：%2").arg(
                                contract(), totalsText(openTotals(*app::dbAcc, receivable(),
                                                                  contract(), app::Clock::today())))
                          : QString());
}

void frmContracts::lstRows_Click() {
    const int row = selectedRow(lstRows);
    if (!loading_ && row >= 0)
        showRow(row);
}

void frmContracts::showRow(int row) {
    rowOriginal_ = rows_->row(row);
    const Row& r = *rowOriginal_;
    const int kind = r.value(kKind).toInt();
    (kind == 0 ? optInstalment : optAddition)->setChecked(true);
    fmeKind->setEnabled(false);  // a stored row stays in its own list
    spnPeriod->setValue(r.value(kPeriod).toInt());
    txtAmount->setText(r.value(kAmount).isNull() ? QString()
                                                 : QString::number(r.value(kAmount).toLongLong()));
    spnShare->setValue(r.value(kShare).toDouble() * 100);
    dtpDue->setDate(store::storedDate(r.value(kDue)));
    dtpBilled->setDate(store::storedDate(r.value(kBilled)));
    txtInvoice->setText(r.value(kInvoice).toString());
    txtQuote->setText(r.value(kQuote).toString());
    txtContractNo->setText(r.value(kContractNo).toString());
    const bool settled = store::storedBool(r.value(kWrittenOff));
    lbWrittenOff->setText(
        settled
            ? QStringLiteral(
                  "已由收支單 %1 沖帳（%2，%3 元）；這期屬於該收支單，不能在這裡修改或刪除。")
                  .arg(r.value(kWrittenOffBy).toString(),
                       app::FormatEra(store::storedDate(r.value(kWrittenOffDate)), app::kEraShort),
                       app::FormatAmount(r.value(kWrittenOffAmount).toLongLong()))
        : overdue(r) ? QStringLiteral("尚未沖帳，已過預付日期。")
                     : QStringLiteral("尚未沖帳。"));
    cmdRowSave->setEnabled(!settled);
    cmdRowDelete->setEnabled(!settled);
    optKind_Click();
}

void frmContracts::clearRow() {
    rowOriginal_.reset();
    fmeKind->setEnabled(true);
    txtAmount->clear();
    spnShare->setValue(0);
    dtpDue->setDate({});
    dtpBilled->setDate({});
    txtInvoice->clear();
    txtQuote->clear();
    txtContractNo->clear();
    lbWrittenOff->clear();
    cmdRowSave->setEnabled(contractOriginal_.has_value());
    cmdRowDelete->setEnabled(false);
    optKind_Click();
}

// A new row takes the next number of its list; the fields of the other kind are shut.
void frmContracts::optKind_Click() {
    const bool instalment = optInstalment->isChecked();
    spnShare->setEnabled(instalment);
    txtQuote->setEnabled(!instalment);
    txtContractNo->setEnabled(!instalment);
    if (rowOriginal_)
        return;
    int next = 1;
    for (const Row& r : rows_->rows()) {
        if (r.value(kKind).toInt() == (instalment ? 0 : 1))
            next = std::max(next, r.value(kPeriod).toInt() + 1);
    }
    spnPeriod->setValue(next);
}

void frmContracts::cmdRowNew_Click() {
    lstRows->clearSelection();
    lstRows->setCurrentIndex({});
    clearRow();
    txtAmount->setFocus();
}

void frmContracts::cmdRowSave_Click() {
    if (!contractOriginal_)
        return;
    qint64 amount = 0;
    if (txtAmount->text().trimmed().isEmpty())
        return tellMissing(QStringLiteral("金額"), txtAmount);
    if (!readAmount(txtAmount->text(), amount)) {
        tellRefused(QStringLiteral("金額必須是數字"));
        txtAmount->setFocus();
        return;
    }
    for (auto [box, caption] :
         {std::pair{dtpDue, QStringLiteral("預付日期")}, {dtpBilled, QStringLiteral("送帳單日")}}) {
        if (!box->isEmptyOrValid()) {
            tellRefused(app::badDateMessage(caption));
            box->setFocus();
            return;
        }
    }
    const int kind =
        rowOriginal_ ? rowOriginal_->value(kKind).toInt() : (optInstalment->isChecked() ? 0 : 1);
    const int period = spnPeriod->value();
    const QString id = contract();
    const QString t = quoted(rowTable(kind));
    // The share is kept as a fraction of the total, as the write-off form shows it.
    const double share = std::round(spnShare->value() * 100) / 10000;
    store::Database& db = *app::dbAcc;
    Outcome outcome = Outcome::Saved;
    QString settledBy;
    const bool written = app::guardWrite(cmdRowSave->text(), [&] {
        outcome = Outcome::Saved;
        store::Transaction tx(db);
        if (!unchanged(db, table(), {QStringLiteral("id")}, {id}, {QStringLiteral("id")}, {id})) {
            outcome = Outcome::Changed;
            return;
        }
        const QVariant oldPeriod = rowOriginal_ ? rowOriginal_->value(kPeriod) : QVariant();
        if (rowOriginal_) {
            // Written off by another copy meanwhile: the row now belongs to its voucher.
            store::Recordset now = db.openRecordset(
                QStringLiteral("select 處理, 沖帳單號 from %1 where id = ? and 期別 = ?").arg(t),
                store::RecordsetType::Snapshot, {id, oldPeriod});
            if (!now.isEOF() && store::storedBool(now.field(0))) {
                settledBy = now.field(1).toString();
                outcome = Outcome::Locked;
                return;
            }
            if (!unchanged(db, rowTable(kind), {QStringLiteral("id"), QStringLiteral("期別")},
                           {id, oldPeriod}, checkedColumns(kind), checkedValues(*rowOriginal_))) {
                outcome = Outcome::Changed;
                return;
            }
        }
        if ((!rowOriginal_ || oldPeriod.toInt() != period) &&
            db.scalar(QStringLiteral("select 1 from %1 where id = ? and 期別 = ?").arg(t),
                      {id, period})
                .isValid()) {
            outcome = Outcome::Clash;
            return;
        }
        const QVariant due = dtpDue->date();
        const QVariant billed = dtpBilled->date();
        const QVariant invoice = txtInvoice->text().trimmed();
        const QStringList key{QStringLiteral("id"), QStringLiteral("期別")};
        audit::recordRowChange(
            db, audit::Kind::MasterData, rowTable(kind), key,
            rowOriginal_ ? QVariantList{id, oldPeriod} : QVariantList(), {id, period}, [&] {
                if (kind == 0 && rowOriginal_) {
                    db.execute(QStringLiteral("update %1 set 期別 = ?, 應付金額 = ?, 預付日期 = ?, "
                                              "佔總價比例 = ?, 送帳單日 = ?, 發票號碼 = ? "
                                              "where id = ? and 期別 = ?")
                                   .arg(t),
                               {period, amount, due, share, billed, invoice, id, oldPeriod});
                } else if (kind == 0) {
                    db.execute(
                        QStringLiteral("insert into %1 (id, 期別, 應付金額, 預付日期, 佔總價比例, "
                                       "送帳單日, 發票號碼, 現金沖帳, 處理) "
                                       "values (?, ?, ?, ?, ?, ?, ?, 0, 0)")
                            .arg(t),
                        {id, period, amount, due, share, billed, invoice});
                } else if (rowOriginal_) {
                    db.execute(
                        QStringLiteral("update %1 set 期別 = ?, 應付金額 = ?, 預付日期 = ?, "
                                       "送帳單日 = ?, 發票號碼 = ?, 報價單號 = ?, 合約單號 = ? "
                                       "where id = ? and 期別 = ?")
                            .arg(t),
                        {period, amount, due, billed, invoice, txtQuote->text().trimmed(),
                         txtContractNo->text().trimmed(), id, oldPeriod});
                } else {
                    db.execute(
                        QStringLiteral("insert into %1 (id, 期別, 報價單號, 合約單號, 應付金額, "
                                       "預付日期, 送帳單日, 發票號碼, 現金沖帳, 處理) "
                                       "values (?, ?, ?, ?, ?, ?, ?, ?, 0, 0)")
                            .arg(t),
                        {id, period, txtQuote->text().trimmed(), txtContractNo->text().trimmed(),
                         amount, due, billed, invoice});
                }
            });
        tx.commit();
    });
    if (!written)
        return;
    switch (outcome) {
        case Outcome::Changed:
            tellChangedMeanwhile();
            LoadContracts();
            return;
        case Outcome::Locked:
            tellRefused(QStringLiteral("%1已由收支單 %2 沖帳，屬於該收支單，不能在這裡修改")
                            .arg(periodText(kind, rowOriginal_->value(kPeriod)), settledBy));
            LoadContracts();
            return;
        case Outcome::Clash:
            tellRefused(QStringLiteral("%1已在清單中").arg(periodText(kind, period)));
            return;
        case Outcome::Saved:
            break;
    }
    rowOriginal_.reset();
    LoadContracts();  // the open and overdue sums of the list
    LoadRows(std::pair{kind, period});
}

void frmContracts::cmdRowDelete_Click() {
    if (!contractOriginal_ || !rowOriginal_)
        return;
    const int kind = rowOriginal_->value(kKind).toInt();
    const QVariant period = rowOriginal_->value(kPeriod);
    const QString what = periodText(kind, period);
    if (!confirmDelete(what))
        return;
    const QString id = contract();
    const QString t = quoted(rowTable(kind));
    store::Database& db = *app::dbAcc;
    Outcome outcome = Outcome::Saved;
    QString settledBy;
    if (!app::guardWrite(cmdRowDelete->text(), [&] {
            outcome = Outcome::Saved;
            store::Transaction tx(db);
            store::Recordset now = db.openRecordset(
                QStringLiteral("select 處理, 沖帳單號 from %1 where id = ? and 期別 = ?").arg(t),
                store::RecordsetType::Snapshot, {id, period});
            if (!now.isEOF() && store::storedBool(now.field(0))) {
                settledBy = now.field(1).toString();
                outcome = Outcome::Locked;
                return;
            }
            if (!unchanged(db, rowTable(kind), {QStringLiteral("id"), QStringLiteral("期別")},
                           {id, period}, checkedColumns(kind), checkedValues(*rowOriginal_))) {
                outcome = Outcome::Changed;
                return;
            }
            audit::recordRowChange(
                db, audit::Kind::MasterData, rowTable(kind),
                {QStringLiteral("id"), QStringLiteral("期別")}, {id, period}, {}, [&] {
                    db.execute(QStringLiteral("delete from %1 where id = ? and 期別 = ?").arg(t),
                               {id, period});
                });
            tx.commit();
        }))
        return;
    if (outcome == Outcome::Locked)
        tellRefused(QStringLiteral("%1已由收支單 %2 沖帳，屬於該收支單，不能在這裡刪除")
                        .arg(what, settledBy));
    else if (outcome == Outcome::Changed)
        tellChangedMeanwhile();
    rowOriginal_.reset();
    LoadContracts();
}

}  // namespace orvik::masterdata
