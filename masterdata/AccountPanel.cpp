#include "AccountPanel.h"

#include <QItemSelectionModel>

#include "Audit.h"
#include "Globals.h"
#include "Program.h"
#include "Recordset.h"

namespace orvik::masterdata {

namespace {

constexpr int kCode = 0;
constexpr int kIncome = 1;
constexpr int kName = 2;
const QStringList kColumns{QStringLiteral("id"), QStringLiteral("incom"), QStringLiteral("acc")};
constexpr int kShownExamples = 5;

const QColor kIncomeColour(0, 0, 255);
const QColor kExpenseColour(255, 0, 0);

enum class Outcome { Saved, Changed, Clash, InUse };

}  // namespace

AccountPanel::AccountPanel(QWidget* parent) : QWidget(parent), model_(new app::RowsModel(this)) {
    setupUi(this);
    using Col = app::RowsModel;
    model_->setColumns({Col::yesNo(QStringLiteral("收支"), kIncome, QStringLiteral("(收入)"),
                                   QStringLiteral("(支出)")),
                        Col::text(QStringLiteral("科目代號"), kCode),
                        Col::text(QStringLiteral("科目名稱"), kName)});
    model_->setRowForeground([](const Row& r) {
        return store::storedBool(r.value(kIncome)) ? kIncomeColour : kExpenseColour;
    });
    setUpList(lstAccounts, model_);
    lstAccounts->setColumnWidth(0, 70);
    lstAccounts->setColumnWidth(1, 110);

    using app::connectHandler;
    connectHandler(lstAccounts->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                   &AccountPanel::lstAccounts_Click);
    connectHandler(cmdNew, &QPushButton::clicked, this, &AccountPanel::cmdNew_Click);
    connectHandler(cmdSave, &QPushButton::clicked, this, &AccountPanel::cmdSave_Click);
    connectHandler(cmdDelete, &QPushButton::clicked, this, &AccountPanel::cmdDelete_Click);
    for (QLineEdit* box : {txtCode, txtName})
        connect(box, &QLineEdit::returnPressed, cmdSave, &QPushButton::click);
}

void AccountPanel::Load() {
    const std::optional<Row> keep = original_;
    // Income accounts first, as the voucher form lists them, whether True was stored as -1 or 1.
    model_->setRows(
        readRows(*app::dbAcc, QStringLiteral("select id, incom, acc from acc order by case when "
                                             "incom <> 0 then 0 else 1 end, id")));
    const int row = keep ? chooseRow(lstAccounts, model_, {kCode}, {keep->value(kCode)}) : -1;
    if (row >= 0)
        showRow(row);
    else
        clearFields();
}

void AccountPanel::lstAccounts_Click() {
    const int row = chosenRow(lstAccounts);
    if (row >= 0)
        showRow(row);
}

void AccountPanel::showRow(int row) {
    original_ = model_->row(row);
    txtCode->setText(original_->value(kCode).toString());
    txtName->setText(original_->value(kName).toString());
    const bool income = store::storedBool(original_->value(kIncome));
    (income ? optIncome : optExpense)->setChecked(true);
    ckVouchers->setChecked(false);
    const Usage usage = usageOf(*app::dbAcc, original_->value(kCode).toString());
    lbUsage->setText(usage.vouchers > 0
                         ? usage.text() + QStringLiteral("：不能刪除，也不能更改代號或收支。")
                         : QStringLiteral("沒有收支單使用此科目。"));
    cmdDelete->setEnabled(true);
}

void AccountPanel::clearFields() {
    original_.reset();
    txtCode->clear();
    txtName->clear();
    optIncome->setAutoExclusive(false);
    optIncome->setChecked(false);
    optExpense->setChecked(false);
    optIncome->setAutoExclusive(true);
    ckVouchers->setChecked(false);
    lbUsage->clear();
    cmdDelete->setEnabled(false);
    clearChoice(lstAccounts);
}

void AccountPanel::cmdNew_Click() {
    clearFields();
    txtCode->setFocus();
}

void AccountPanel::cmdSave_Click() {
    const QString code = txtCode->text().trimmed();
    const QString name = txtName->text().trimmed();
    if (code.isEmpty())
        return tellMissing(QStringLiteral("科目代號"), txtCode);
    if (name.isEmpty())
        return tellMissing(QStringLiteral("科目名稱"), txtName);
    if (!optIncome->isChecked() && !optExpense->isChecked()) {
        tellRefused(QStringLiteral("請選擇此科目是 (收入) 或 (支出)"));
        return;
    }
    const bool income = optIncome->isChecked();
    const bool renameVouchers = ckVouchers->isChecked();

    store::Database& db = *app::dbAcc;
    Outcome outcome = Outcome::Saved;
    Usage usage;
    QString clash;
    int renamed = 0;
    const bool written = app::guardWrite(cmdSave->text(), [&] {
        outcome = Outcome::Saved;
        renamed = 0;
        store::Transaction tx(db);
        const QString oldCode = original_ ? original_->value(kCode).toString() : QString();
        if (original_) {
            if (!unchanged(db, QStringLiteral("acc"), {QStringLiteral("id")}, {oldCode}, kColumns,
                           *original_)) {
                outcome = Outcome::Changed;
                return;
            }
            const bool codeChanged = code != oldCode;
            const bool sideChanged = income != store::storedBool(original_->value(kIncome));
            if (codeChanged || sideChanged) {
                // A voucher carries its account's code and side: both must go on naming it.
                usage = usageOf(db, oldCode);
                if (usage.vouchers > 0) {
                    outcome = Outcome::InUse;
                    return;
                }
            }
        }
        const QVariant taken =
            original_ ? db.scalar(QStringLiteral("select acc from acc where id = ? and id <> ?"),
                                  {code, oldCode})
                      : db.scalar(QStringLiteral("select acc from acc where id = ?"), {code});
        if (taken.isValid()) {
            clash = QStringLiteral("科目代號 %1 已是「%2」").arg(code, taken.toString());
            outcome = Outcome::Clash;
            return;
        }
        QString note;
        audit::recordRowChange(
            db, audit::Kind::MasterData, QStringLiteral("acc"), QStringLiteral("id"),
            original_ ? QVariant(oldCode) : QVariant(), code,
            [&] {
                if (original_) {
                    db.execute(
                        QStringLiteral("update acc set id = ?, incom = ?, acc = ? where id = ?"),
                        {code, income, name, oldCode});
                    if (renameVouchers)
                        renamed = db.execute(
                            QStringLiteral("update iof set 科目名稱 = ? where 科目代號 = ?"),
                            {name, code});
                    if (renamed > 0)
                        note = QStringLiteral("已更新 %1 張收支單的科目名稱").arg(renamed);
                } else {
                    db.execute(QStringLiteral("insert into acc (id, incom, acc) values (?, ?, ?)"),
                               {code, income, name});
                }
            },
            note);
        tx.commit();
    });
    if (!written)
        return;
    switch (outcome) {
        case Outcome::Changed:
            tellChangedMeanwhile();
            Load();
            return;
        case Outcome::Clash:
            tellRefused(clash);
            return;
        case Outcome::InUse:
            tellRefused(usage.text() + QStringLiteral("，不能更改代號或收支"));
            return;
        case Outcome::Saved:
            break;
    }
    original_ = Row{code};
    Load();
    if (renamed > 0)
        lbUsage->setText(lbUsage->text() +
                         QStringLiteral("（已更新 %1 張收支單的科目名稱）").arg(renamed));
}

void AccountPanel::cmdDelete_Click() {
    if (!original_)
        return;
    const QString code = original_->value(kCode).toString();
    if (!confirmDelete(QStringLiteral("科目 %1 %2").arg(code, original_->value(kName).toString())))
        return;
    store::Database& db = *app::dbAcc;
    Outcome outcome = Outcome::Saved;
    Usage usage;
    const bool written = app::guardWrite(cmdDelete->text(), [&] {
        outcome = Outcome::Saved;
        store::Transaction tx(db);
        if (!unchanged(db, QStringLiteral("acc"), {QStringLiteral("id")}, {code}, kColumns,
                       *original_)) {
            outcome = Outcome::Changed;
            return;
        }
        usage = usageOf(db, code);
        if (usage.vouchers > 0) {
            outcome = Outcome::InUse;
            return;
        }
        audit::recordRowChange(
            db, audit::Kind::MasterData, QStringLiteral("acc"), QStringLiteral("id"), code,
            QVariant(),
            [&] { db.execute(QStringLiteral("delete from acc where id = ?"), {code}); });
        tx.commit();
    });
    if (!written)
        return;
    if (outcome == Outcome::Changed) {
        tellChangedMeanwhile();
        Load();
        return;
    }
    if (outcome == Outcome::InUse) {
        tellRefused(usage.text() + QStringLiteral("，不能刪除"));
        return;
    }
    original_.reset();
    Load();
}

AccountPanel::Usage AccountPanel::usageOf(store::Database& db, const QString& code) {
    Usage u;
    u.vouchers =
        db.scalar(QStringLiteral("select count(*) from iof where 科目代號 = ?"), {code}).toInt();
    if (u.vouchers > 0) {
        for (const Row& r :
             readRows(db,
                      QStringLiteral("select 單號 from iof where 科目代號 = ? order by "
                                     "length(單號) desc, 單號 desc limit %1")
                          .arg(kShownExamples),
                      {code}))
            u.examples << r.value(0).toString();
    }
    return u;
}

QString AccountPanel::Usage::text() const {
    QString t = QStringLiteral("已有 %1 張收支單使用此科目").arg(vouchers);
    if (!examples.isEmpty())
        t += QStringLiteral("（例如 ") + examples.join(QStringLiteral("、")) +
             (vouchers > examples.size() ? QStringLiteral("…") : QString()) + QStringLiteral("）");
    return t;
}

}  // namespace orvik::masterdata
