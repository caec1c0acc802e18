#include "BankListPanel.h"

#include <QItemSelectionModel>

#include "Audit.h"
#include "EraDate.h"
#include "Globals.h"
#include "Program.h"
#include "Recordset.h"

namespace orvik::masterdata {

namespace {

constexpr int kBank = 0;
constexpr int kAccount = 1;
constexpr int kHolder = 2;
constexpr int kAllowance = 3;
constexpr int kShownExamples = 3;

enum class Outcome { Saved, Changed, Clash, InUse };

}  // namespace

BankListPanel::BankListPanel(Kind kind, QWidget* parent)
    : QWidget(parent), kind_(kind), model_(new app::RowsModel(this)) {
    setupUi(this);
    QVector<app::RowsModel::Column> cols{app::RowsModel::text(QStringLiteral("銀行"), kBank),
                                         app::RowsModel::text(QStringLiteral("帳號"), kAccount),
                                         app::RowsModel::text(QStringLiteral("戶名"), kHolder)};
    if (kind_ == Kind::Cheque)
        cols << app::RowsModel::amount(QStringLiteral("可透支額度"), kAllowance);
    model_->setColumns(cols);
    setUpList(lstBanks, model_);
    lstBanks->setColumnWidth(0, 180);
    lstBanks->setColumnWidth(1, 160);
    lbAllowance->setVisible(kind_ == Kind::Cheque);
    txtAllowance->setVisible(kind_ == Kind::Cheque);

    using app::connectHandler;
    connectHandler(lstBanks->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                   &BankListPanel::lstBanks_Click);
    connectHandler(cmdNew, &QPushButton::clicked, this, &BankListPanel::cmdNew_Click);
    connectHandler(cmdSave, &QPushButton::clicked, this, &BankListPanel::cmdSave_Click);
    connectHandler(cmdDelete, &QPushButton::clicked, this, &BankListPanel::cmdDelete_Click);
    for (QLineEdit* box : {txtBank, txtAccount, txtHolder, txtAllowance})
        connect(box, &QLineEdit::returnPressed, cmdSave, &QPushButton::click);
}

QString BankListPanel::table() const {
    switch (kind_) {
        case Kind::Deposit:
            return QStringLiteral("obank");
        case Kind::Cheque:
            return QStringLiteral("bbank");
        case Kind::Counterparty:
            break;
    }
    return QStringLiteral("ibank");
}

QStringList BankListPanel::columns() const {
    QStringList c{QStringLiteral("bank"), QStringLiteral("id"), QStringLiteral("user")};
    if (kind_ == Kind::Cheque)
        c << QStringLiteral("ps");
    return c;
}

void BankListPanel::Load() {
    const std::optional<Row> keep = original_;
    QStringList select;
    for (const QString& c : columns())
        select << quoted(c);
    model_->setRows(readRows(*app::dbAcc, QStringLiteral("select %1 from %2 order by bank, id")
                                              .arg(select.join(QStringLiteral(", ")), table())));
    if (keep)
        chooseKey(keep->value(kBank).toString(), keep->value(kAccount).toString());
    else
        clearFields();
}

void BankListPanel::chooseKey(const QString& bank, const QString& account) {
    const int row = chooseRow(lstBanks, model_, {kBank, kAccount}, {bank, account});
    if (row >= 0)
        showRow(row);
    else
        clearFields();
}

void BankListPanel::lstBanks_Click() {
    const int row = chosenRow(lstBanks);
    if (row >= 0)
        showRow(row);
}

void BankListPanel::showRow(int row) {
    const Row& r = model_->row(row);
    original_ = r;
    txtBank->setText(r.value(kBank).toString());
    txtAccount->setText(r.value(kAccount).toString());
    txtHolder->setText(r.value(kHolder).toString());
    txtAllowance->setText(kind_ == Kind::Cheque ? QString::number(r.value(kAllowance).toLongLong())
                                                : QString());
    const Usage usage = usageOf(*app::dbAcc, kind_, txtBank->text(), txtAccount->text());
    lbUsage->setText(usage.any()
                         ? usage.text() + QStringLiteral("：不能刪除，也不能更改銀行或帳號。")
                         : QString());
    cmdDelete->setEnabled(true);
}

void BankListPanel::clearFields() {
    original_.reset();
    for (QLineEdit* box : {txtBank, txtAccount, txtHolder, txtAllowance})
        box->clear();
    lbUsage->clear();
    cmdDelete->setEnabled(false);
    clearChoice(lstBanks);
}

void BankListPanel::cmdNew_Click() {
    clearFields();
    txtBank->setFocus();
}

void BankListPanel::cmdSave_Click() {
    const QString bank = txtBank->text().trimmed();
    const QString account = txtAccount->text().trimmed();
    const QString holder = txtHolder->text().trimmed();
    if (bank.isEmpty())
        return tellMissing(QStringLiteral("銀行名稱"), txtBank);
    if (account.isEmpty() && kind_ != Kind::Counterparty)
        return tellMissing(QStringLiteral("帳號"), txtAccount);
    qint64 allowance = 0;
    if (kind_ == Kind::Cheque && !readAmount(txtAllowance->text(), allowance)) {
        tellRefused(QStringLiteral("可透支額度必須是 12 位數以內的整數"));
        txtAllowance->setFocus();
        return;
    }

    store::Database& db = *app::dbAcc;
    Outcome outcome = Outcome::Saved;
    Usage usage;
    const bool written = app::guardWrite(cmdSave->text(), [&] {
        outcome = Outcome::Saved;
        store::Transaction tx(db);
        bool keyChanged = true;
        if (original_) {
            const QString oldBank = original_->value(kBank).toString();
            const QString oldAccount = original_->value(kAccount).toString();
            if (!unchanged(db, table(), {QStringLiteral("bank"), QStringLiteral("id")},
                           {oldBank, oldAccount}, columns(), *original_)) {
                outcome = Outcome::Changed;
                return;
            }
            keyChanged = bank != oldBank || account != oldAccount;
            if (keyChanged) {
                // The ledger and the bills name the account by its bank and number.
                usage = usageOf(db, kind_, oldBank, oldAccount);
                if (usage.any()) {
                    outcome = Outcome::InUse;
                    return;
                }
            }
        }
        const bool sameKeyOnly =
            original_ &&
            bank.compare(original_->value(kBank).toString(), Qt::CaseInsensitive) == 0 &&
            account.compare(original_->value(kAccount).toString(), Qt::CaseInsensitive) == 0;
        if (keyChanged && !sameKeyOnly &&
            db.scalar(QStringLiteral("select 1 from %1 where bank = ? and id = ?").arg(table()),
                      {bank, account})
                .isValid()) {
            outcome = Outcome::Clash;
            return;
        }
        QVariantList values{bank, account, holder};
        if (kind_ == Kind::Cheque)
            values << allowance;
        const QStringList keyColumns{QStringLiteral("bank"), QStringLiteral("id")};
        audit::recordRowChange(
            db, audit::Kind::MasterData, table(), keyColumns,
            original_ ? QVariantList{original_->value(kBank), original_->value(kAccount)}
                      : QVariantList(),
            {bank, account}, [&] {
                if (original_) {
                    QStringList set;
                    for (const QString& c : columns())
                        set << quoted(c) + QStringLiteral(" = ?");
                    db.execute(
                        QStringLiteral("update %1 set %2 where bank = ? and id = ?")
                            .arg(table(), set.join(QStringLiteral(", "))),
                        values + QVariantList{original_->value(kBank), original_->value(kAccount)});
                } else {
                    QStringList marks;
                    for (int i = 0; i < values.size(); ++i)
                        marks << QStringLiteral("?");
                    db.execute(QStringLiteral("insert into %1 (%2) values (%3)")
                                   .arg(table(), columns().join(QStringLiteral(", ")),
                                        marks.join(QStringLiteral(", "))),
                               values);
                }
            });
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
            tellRefused(QStringLiteral("銀行 %1 帳號 %2 已經在清單中").arg(bank, account));
            txtAccount->setFocus();
            return;
        case Outcome::InUse:
            tellRefused(QStringLiteral("%1 帳號 %2 已有下列資料使用，不能更改銀行或帳號：\r\n%3")
                            .arg(original_->value(kBank).toString(),
                                 original_->value(kAccount).toString(), usage.text()));
            return;
        case Outcome::Saved:
            break;
    }
    original_.reset();
    Load();
    chooseKey(bank, account);
}

void BankListPanel::cmdDelete_Click() {
    if (!original_)
        return;
    const QString bank = original_->value(kBank).toString();
    const QString account = original_->value(kAccount).toString();
    if (!confirmDelete(QStringLiteral(" %1 帳號 %2 ").arg(bank, account)))
        return;
    store::Database& db = *app::dbAcc;
    Outcome outcome = Outcome::Saved;
    Usage usage;
    const bool written = app::guardWrite(cmdDelete->text(), [&] {
        outcome = Outcome::Saved;
        store::Transaction tx(db);
        if (!unchanged(db, table(), {QStringLiteral("bank"), QStringLiteral("id")}, {bank, account},
                       columns(), *original_)) {
            outcome = Outcome::Changed;
            return;
        }
        usage = usageOf(db, kind_, bank, account);
        if (usage.any()) {
            outcome = Outcome::InUse;
            return;
        }
        audit::recordRowChange(
            db, audit::Kind::MasterData, table(), {QStringLiteral("bank"), QStringLiteral("id")},
            {bank, account}, {}, [&] {
                db.execute(QStringLiteral("delete from %1 where bank = ? and id = ?").arg(table()),
                           {bank, account});
            });
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
        tellRefused(QStringLiteral("%1 帳號 %2 已有下列資料使用，不能刪除：\r\n%3")
                        .arg(bank, account, usage.text()));
        return;
    }
    original_.reset();
    Load();
}

BankListPanel::Usage BankListPanel::usageOf(store::Database& db, Kind kind, const QString& bank,
                                            const QString& account) {
    Usage u;
    if (kind != Kind::Counterparty) {
        store::Recordset ledger = db.openRecordset(
            QStringLiteral(
                "select id, 異動日期, 摘要, 異動金額 from bank where bank = ? and Bid = ? "
                "order by id"),
            store::RecordsetType::Snapshot, {bank, account});
        u.ledgerRows = ledger.RecordCount();
        for (int i = 0; !ledger.isEOF() && i < kShownExamples; ++i, ledger.MoveNext())
            u.examples << QStringLiteral("銀行帳第 %1 筆 %2 %3 %4")
                              .arg(ledger.text(0),
                                   app::FormatEra(store::storedDate(ledger.field(1)),
                                                  app::kEraShort),
                                   ledger.text(2), app::FormatAmount(ledger.field(3).toLongLong()));
    }
    QString where;
    QVariantList params;
    switch (kind) {
        case Kind::Deposit:
            where = QStringLiteral("收入 <> 0 and 收票銀行 = ? and 收票帳號 = ?");
            params = {bank, account};
            break;
        case Kind::Cheque:
            where = QStringLiteral("收入 = 0 and 開票銀行 = ? and 開票帳號 = ?");
            params = {bank, account};
            break;
        case Kind::Counterparty:
            where = QStringLiteral(
                "(收入 <> 0 and 開票銀行 = ? and coalesce(開票帳號, '') = ?) or "
                "(收入 = 0 and 收票銀行 = ? and coalesce(收票帳號, '') = ?)");
            params = {bank, account, bank, account};
            break;
    }
    store::Recordset bills = db.openRecordset(
        QStringLiteral("select 票據號碼, 收支單號 from bill where %1 order by 收支單號").arg(where),
        store::RecordsetType::Snapshot, params);
    u.bills = bills.RecordCount();
    for (int i = 0; !bills.isEOF() && i < kShownExamples; ++i, bills.MoveNext())
        u.examples << QStringLiteral("票據 %1（收支單 %2）").arg(bills.text(0), bills.text(1));
    return u;
}

QString BankListPanel::Usage::text() const {
    QStringList parts;
    if (ledgerRows > 0)
        parts << QStringLiteral("%1 筆銀行帳記錄").arg(ledgerRows);
    if (bills > 0)
        parts << QStringLiteral("%1 張票據").arg(bills);
    QString t =
        QStringLiteral("已有") + parts.join(QStringLiteral("、")) + QStringLiteral("使用此帳戶");
    if (!examples.isEmpty())
        t += QStringLiteral("（") + examples.join(QStringLiteral("；")) +
             (examples.size() < ledgerRows + bills ? QStringLiteral("；…") : QString()) +
             QStringLiteral("）");
    return t;
}

}  // namespace orvik::masterdata
