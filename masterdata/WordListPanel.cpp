#include "WordListPanel.h"

#include <QItemSelectionModel>

#include "Audit.h"
#include "Globals.h"
#include "Program.h"
#include "Recordset.h"

namespace orvik::masterdata {

namespace {

enum class Outcome { Saved, Changed, Clash };

}  // namespace

WordListPanel::WordListPanel(Kind kind, QWidget* parent)
    : QWidget(parent), kind_(kind), model_(new app::RowsModel(this)) {
    setupUi(this);
    model_->setColumns({app::RowsModel::text(
        kind_ == Kind::WorkTypes ? QStringLiteral("工程種類") : QStringLiteral("詞語"), 0)});
    setUpList(lstWords, model_);
    // The order is the list's own (the voucher form offers it so): no sorting by heading.
    lstWords->setSortingEnabled(false);
    fmeProject->setVisible(kind_ == Kind::WorkTypes);
    lbNote->setText(kind_ == Kind::WorkTypes ? QStringLiteral("每個專案有自己的工程種類清單。")
                                             : QStringLiteral("新加入的詞語排在最前面。"));

    using app::connectHandler;
    connectHandler(cbProject, &QComboBox::activated, this, &WordListPanel::cbProject_Click);
    connectHandler(lstWords->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                   &WordListPanel::lstWords_Click);
    connectHandler(cmdNew, &QPushButton::clicked, this, &WordListPanel::cmdNew_Click);
    connectHandler(cmdSave, &QPushButton::clicked, this, &WordListPanel::cmdSave_Click);
    connectHandler(cmdDelete, &QPushButton::clicked, this, &WordListPanel::cmdDelete_Click);
    connectHandler(cmdUp, &QPushButton::clicked, this, &WordListPanel::cmdUp_Click);
    connectHandler(cmdDown, &QPushButton::clicked, this, &WordListPanel::cmdDown_Click);
    connect(txtWord, &QLineEdit::returnPressed, cmdSave, &QPushButton::click);
}

QString WordListPanel::table() const {
    switch (kind_) {
        case Kind::Uses:
            return QStringLiteral("use");
        case Kind::Notes1:
            return QStringLiteral("ps1");
        case Kind::Notes2:
            return QStringLiteral("ps2");
        case Kind::WorkTypes:
            break;
    }
    return QStringLiteral("w4pj");
}

QString WordListPanel::wordColumn() const {
    switch (kind_) {
        case Kind::Uses:
            return QStringLiteral("use");
        case Kind::WorkTypes:
            return QStringLiteral("w");
        default:
            return QStringLiteral("ps");
    }
}

QString WordListPanel::project() const {
    return cbProject->currentIndex() >= 0 ? cbProject->currentData().toString() : QString();
}

void WordListPanel::Load() {
    if (kind_ == Kind::WorkTypes) {
        const QString chosen = project();
        const QVector<Row> projects =
            readRows(*app::dbAcc, QStringLiteral("select id, prj from prj order by id"));
        cbProject->clear();
        for (const Row& p : projects)
            cbProject->addItem(p.value(0).toString() + QStringLiteral("  ") + p.value(1).toString(),
                               p.value(0));
        const int at = cbProject->findData(chosen);
        cbProject->setCurrentIndex(at >= 0 ? at : (cbProject->count() > 0 ? 0 : -1));
    }
    LoadWords(original_.value_or(QString()));
}

QStringList WordListPanel::storedWords(store::Database& db) const {
    QStringList out;
    const QVector<Row> rows =
        kind_ == Kind::WorkTypes
            // The voucher form reads a project's work types in the order the engine keeps them.
            ? readRows(db, QStringLiteral("select w from w4pj where pj_id = ?"), {project()})
            : readRows(db, QStringLiteral("select %1 from %2 order by id, %1")
                               .arg(quoted(wordColumn()), quoted(table())));
    for (const Row& r : rows)
        out << r.value(0).toString();
    return out;
}

void WordListPanel::LoadWords(const QString& choose) {
    QVector<Row> rows;
    if (kind_ != Kind::WorkTypes || !project().isEmpty()) {
        for (const QString& w : storedWords(*app::dbAcc))
            rows << Row{w};
    }
    model_->setRows(rows);
    original_.reset();
    txtWord->clear();
    const int row = choose.isEmpty() ? -1 : chooseRow(lstWords, model_, {0}, {choose});
    if (row >= 0) {
        original_ = model_->row(row).value(0).toString();
        txtWord->setText(*original_);
    }
    const bool usable = kind_ != Kind::WorkTypes || !project().isEmpty();
    for (QWidget* w : std::initializer_list<QWidget*>{txtWord, cmdNew, cmdSave})
        w->setEnabled(usable);
    cmdDelete->setEnabled(original_.has_value());
    cmdUp->setEnabled(original_.has_value());
    cmdDown->setEnabled(original_.has_value());
}

QStringList WordListPanel::words() const {
    QStringList out;
    for (const Row& r : model_->rows())
        out << r.value(0).toString();
    return out;
}

void WordListPanel::cbProject_Click() {
    LoadWords(QString());
}

void WordListPanel::lstWords_Click() {
    const int row = chosenRow(lstWords);
    if (row < 0)
        return;
    original_ = model_->row(row).value(0).toString();
    txtWord->setText(*original_);
    cmdDelete->setEnabled(true);
    cmdUp->setEnabled(true);
    cmdDown->setEnabled(true);
}

void WordListPanel::cmdNew_Click() {
    original_.reset();
    clearChoice(lstWords);
    txtWord->clear();
    txtWord->setFocus();
    cmdDelete->setEnabled(false);
    cmdUp->setEnabled(false);
    cmdDown->setEnabled(false);
}

// Rewrites the list's order inside the caller's transaction: ranks 1, 2, ... for a word list;
// for a project's work types the rows are stored again in the new order.
void WordListPanel::rewriteOrder(store::Database& db, const QStringList& order) {
    if (kind_ == Kind::WorkTypes) {
        db.execute(QStringLiteral("delete from w4pj where pj_id = ?"), {project()});
        for (const QString& w : order)
            db.execute(QStringLiteral("insert into w4pj (pj_id, w) values (?, ?)"), {project(), w});
        return;
    }
    for (int i = 0; i < order.size(); ++i)
        db.execute(QStringLiteral("update %1 set id = ? where %2 = ?")
                       .arg(quoted(table()), quoted(wordColumn())),
                   {i + 1, order.at(i)});
}

void WordListPanel::recordWord(store::Database& db, const QString& before, const QString& after,
                               const std::function<void()>& write) {
    const bool work = kind_ == Kind::WorkTypes;
    const QStringList columns = work ? QStringList{QStringLiteral("pj_id"), QStringLiteral("w")}
                                     : QStringList{wordColumn()};
    auto keyOf = [&](const QString& word) {
        if (word.isNull())
            return QVariantList();
        return work ? QVariantList{project(), word} : QVariantList{word};
    };
    audit::recordRowChange(db, audit::Kind::MasterData, table(), columns, keyOf(before),
                           keyOf(after), write);
}

void WordListPanel::cmdSave_Click() {
    const QString word = txtWord->text().trimmed();
    if (word.isEmpty())
        return tellMissing(QStringLiteral("詞語"), txtWord);
    store::Database& db = *app::dbAcc;
    Outcome outcome = Outcome::Saved;
    const bool written = app::guardWrite(cmdSave->text(), [&] {
        outcome = Outcome::Saved;
        store::Transaction tx(db);
        const QStringList stored = storedWords(db);
        if (original_ && !stored.contains(*original_)) {
            outcome = Outcome::Changed;
            return;
        }
        const bool renamedToItself =
            original_ && original_->compare(word, Qt::CaseInsensitive) == 0;
        if (!renamedToItself && stored.contains(word, Qt::CaseInsensitive)) {
            outcome = Outcome::Clash;
            return;
        }
        recordWord(db, original_.value_or(QString()), word, [&] {
            if (original_) {
                if (kind_ == Kind::WorkTypes)
                    db.execute(QStringLiteral("update w4pj set w = ? where pj_id = ? and w = ?"),
                               {word, project(), *original_});
                else
                    db.execute(QStringLiteral("update %1 set %2 = ? where %2 = ?")
                                   .arg(quoted(table()), quoted(wordColumn())),
                               {word, *original_});
            } else if (kind_ == Kind::WorkTypes) {
                db.execute(QStringLiteral("insert into w4pj (pj_id, w) values (?, ?)"),
                           {project(), word});
            } else {
                // As the voucher form adds a word: first in the list, every other one down a place.
                db.execute(QStringLiteral("insert into %1 (id, %2) values (0, ?)")
                               .arg(quoted(table()), quoted(wordColumn())),
                           {word});
                db.execute(QStringLiteral("update %1 set id = id + 1").arg(quoted(table())));
            }
        });
        tx.commit();
    });
    if (!written)
        return;
    if (outcome == Outcome::Changed) {
        tellChangedMeanwhile();
        LoadWords(QString());
        return;
    }
    if (outcome == Outcome::Clash) {
        tellRefused(QStringLiteral("「%1」已在清單中").arg(word));
        return;
    }
    LoadWords(word);
}

void WordListPanel::cmdDelete_Click() {
    if (!original_ || !confirmDelete(QStringLiteral("「%1」").arg(*original_)))
        return;
    store::Database& db = *app::dbAcc;
    bool changed = false;
    if (!app::guardWrite(cmdDelete->text(), [&] {
            store::Transaction tx(db);
            changed = !storedWords(db).contains(*original_);
            if (changed)
                return;
            recordWord(db, *original_, QString(), [&] {
                if (kind_ == Kind::WorkTypes)
                    db.execute(QStringLiteral("delete from w4pj where pj_id = ? and w = ?"),
                               {project(), *original_});
                else
                    db.execute(QStringLiteral("delete from %1 where %2 = ?")
                                   .arg(quoted(table()), quoted(wordColumn())),
                               {*original_});
            });
            tx.commit();
        }))
        return;
    if (changed)
        tellChangedMeanwhile();
    LoadWords(QString());
}

void WordListPanel::cmdUp_Click() {
    move(-1);
}

void WordListPanel::cmdDown_Click() {
    move(1);
}

// Moves the chosen word one place; the list as stored must still be the list as shown, or
// the order would be made from what another copy has changed meanwhile.
void WordListPanel::move(int by) {
    if (!original_)
        return;
    QStringList order = words();
    const int from = int(order.indexOf(*original_));
    const int to = from + by;
    if (from < 0 || to < 0 || to >= order.size())
        return;
    const QStringList shown = order;
    order.move(from, to);
    store::Database& db = *app::dbAcc;
    bool changed = false;
    if (!app::guardWrite(by < 0 ? cmdUp->text() : cmdDown->text(), [&] {
            store::Transaction tx(db);
            changed = storedWords(db) != shown;
            if (changed)
                return;
            rewriteOrder(db, order);
            // One event for the new order rather than one per row renumbered.
            audit::record(db, {audit::Kind::MasterData,
                               table(),
                               kind_ == Kind::WorkTypes ? project() : QStringLiteral("順序"),
                               {{QStringLiteral("順序"), shown.join(QStringLiteral("、"))}},
                               {{QStringLiteral("順序"), order.join(QStringLiteral("、"))}}});
            tx.commit();
        }))
        return;
    if (changed)
        tellChangedMeanwhile();
    LoadWords(*original_);
}

}  // namespace orvik::masterdata
