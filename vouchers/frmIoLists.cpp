// The lookup lists of the voucher form (accounts, projects, work types, people, and the word
// lists of purposes and remarks) and the prompts that add a word or an account on leaving.

#include <QHeaderView>
#include <QStandardItemModel>
#include <QTableView>

#include "Audit.h"
#include "Forms.h"
#include "Globals.h"
#include "Modal.h"
#include "Program.h"
#include "Prompts.h"
#include "frmAdAcc.h"
#include "frmIo.h"

namespace orvik::vouchers {

using store::RecordsetType;

namespace {

const QString kIncomeMarker = QStringLiteral("(收入)");
const QString kExpenseMarker = QStringLiteral("      (支出)");

int millimetres(const QWidget* w, double mm) {
    return int(w->logicalDpiX() * mm / 25.4 + 0.5);
}

// A combo box whose drop-down shows several columns; the box itself shows `shownColumn`.
QStandardItemModel* makeColumns(QComboBox* box, int columns, int shownColumn,
                                std::initializer_list<int> widths, int rowsDropped) {
    auto* model = new QStandardItemModel(0, columns, box);
    box->setModel(model);
    auto* view = new QTableView(box);
    view->horizontalHeader()->hide();
    view->verticalHeader()->hide();
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setShowGrid(false);
    view->setWordWrap(false);
    view->horizontalHeader()->setStretchLastSection(true);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view->verticalHeader()->setDefaultSectionSize(box->fontMetrics().height() + 6);
    box->setView(view);
    box->setModelColumn(shownColumn);
    int total = 0, column = 0;
    for (int width : widths) {
        view->setColumnWidth(column++, width);
        total += width;
    }
    view->setMinimumWidth(total + 12 * box->fontMetrics().averageCharWidth());
    box->setMaxVisibleItems(rowsDropped);
    return model;
}

QStandardItemModel* columnsOf(const QComboBox* box) {
    return static_cast<QStandardItemModel*>(box->model());
}

QString cell(const QComboBox* box, int row, int column) {
    const QStandardItem* item = columnsOf(box)->item(row, column);
    return item ? item->text() : QString();
}

// Refills a one-column box with the first column of a query, keeping the box's text empty.
void fillWords(QComboBox* box, store::Database& db, const QString& sql) {
    store::Recordset rs = db.openRecordset(sql, RecordsetType::Snapshot);
    QStringList words;
    words.reserve(rs.RecordCount());
    for (; !rs.isEOF(); rs.MoveNext())
        words << rs.text(0);
    rs.Close();
    box->clear();
    box->addItems(words);
    box->setCurrentIndex(-1);
    box->setEditText(QString());
}

}  // namespace

void frmIo::prepareLists() {
    makeColumns(cbAcc, 3, 1, {millimetres(cbAcc, 17.63), millimetres(cbAcc, 19.75)}, 20);
    makeColumns(cbPj, 2, 0, {millimetres(cbPj, 19.75)}, 20);
    cbWt->setMaxVisibleItems(16);
    for (QComboBox* box : {cbAcc, cbWt, cbUse, cbPs1, cbPs2, cbReq, cbSin}) {
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setDuplicatesEnabled(true);
    }
    // Typing completes to the first entry that begins with what was typed in the account and
    // the work type (and the pick-only project). In the word and name boxes it would replace
    // a new word that begins a stored one (工地 by 工地雜支) without the add question, so
    // what is typed there stays as typed.
    for (QComboBox* box : {cbUse, cbPs1, cbPs2, cbReq, cbSin})
        box->setCompleter(nullptr);
}

void frmIo::LoadAccounts() {
    const QString typed = cbAcc->currentText();
    // Income accounts first, whether True was stored as -1 or as 1.
    store::Recordset rs = app::dbAcc->openRecordset(
        QStringLiteral("select incom, id, acc from acc "
                       "order by case when incom <> 0 then 0 else 1 end, id"),
        RecordsetType::Snapshot);
    QStandardItemModel* model = columnsOf(cbAcc);
    model->removeRows(0, model->rowCount());
    for (; !rs.isEOF(); rs.MoveNext()) {
        const bool income = store::storedBool(rs.field(0));
        model->appendRow({new QStandardItem(income ? kIncomeMarker : kExpenseMarker),
                          new QStandardItem(rs.text(1)), new QStandardItem(rs.text(2))});
    }
    rs.Close();
    cbAcc->setCurrentIndex(-1);
    // The code in the box stays: after an account was added it is the new account's code.
    cbAcc->setEditText(typed);
}

void frmIo::LoadProjects() {
    store::Recordset rs = app::dbAcc->openRecordset(
        QStringLiteral("select id, prj from prj order by id"), RecordsetType::Snapshot);
    QStandardItemModel* model = columnsOf(cbPj);
    model->removeRows(0, model->rowCount());
    for (; !rs.isEOF(); rs.MoveNext())
        model->appendRow({new QStandardItem(rs.text(0)), new QStandardItem(rs.text(1))});
    rs.Close();
    cbPj->setCurrentIndex(-1);
}

void frmIo::LoadWorkTypes() {
    cbWt->clear();
    const QString project = projectCode();
    if (project.isEmpty())
        return;
    store::Recordset rs = app::dbAcc->openRecordset(
        QStringLiteral("select w from w4pj where pj_id = ?"), {project}, RecordsetType::Snapshot);
    QStringList types;
    for (; !rs.isEOF(); rs.MoveNext())
        types << rs.text(0);
    rs.Close();
    cbWt->addItems(types);
    cbWt->setCurrentIndex(-1);
    cbWt->setEditText(QString());
}

void frmIo::LoadPeople() {
    const QString signer = cbSin->currentText();
    const QString applicant = cbReq->currentText();
    const QString sql = optS->isChecked()
                            ? QStringLiteral("select 中文姓名 from 員工 order by 員工編號")
                            : QStringLiteral("select 廠商名稱 from 廠商 order by 廠商編號");
    store::Recordset rs = app::dbGeneral->openRecordset(sql, RecordsetType::Snapshot);
    QStringList names;
    for (; !rs.isEOF(); rs.MoveNext())
        names << rs.text(0);
    rs.Close();
    cbSin->clear();
    cbReq->clear();
    cbSin->addItems(names);
    cbReq->addItems(names);
    // The names typed or shown stay, even when they are not in the new list.
    cbSin->setEditText(signer);
    cbReq->setEditText(applicant);
}

void frmIo::LoadUses() {
    fillWords(cbUse, *app::dbAcc, QStringLiteral("select use from use order by id"));
}

void frmIo::LoadNotes1() {
    fillWords(cbPs1, *app::dbAcc, QStringLiteral("select ps from ps1 order by id"));
}

void frmIo::LoadNotes2() {
    fillWords(cbPs2, *app::dbAcc, QStringLiteral("select ps from ps2 order by id"));
}

QString frmIo::projectCode() const {
    const int row = cbPj->currentIndex();
    return row >= 0 ? cell(cbPj, row, 0) : QString();
}

// Selects the project of a shown voucher. A code missing from the list (a project added by
// another copy of the program since the list was read) joins it, so that saving the voucher
// again keeps its project.
void frmIo::selectProject(const QString& code, const QString& name) {
    if (code.isEmpty()) {
        cbPj->setCurrentIndex(-1);
        cbWt->clear();
        return;
    }
    QStandardItemModel* model = columnsOf(cbPj);
    int row = -1;
    for (int r = 0; r < model->rowCount() && row < 0; ++r) {
        if (model->item(r, 0)->text().compare(code, Qt::CaseInsensitive) == 0)
            row = r;
    }
    if (row < 0) {
        model->appendRow({new QStandardItem(code), new QStandardItem(name)});
        row = model->rowCount() - 1;
    }
    cbPj->setCurrentIndex(row);
    LoadWorkTypes();
}

void frmIo::cbPj_Click(int row) {
    lbPjTxt->setText(cell(cbPj, row, 1));
    LoadWorkTypes();
}

void frmIo::cbAcc_Click(int row) {
    const QString marker = cell(cbAcc, row, 0);
    setAccountColour(marker == kIncomeMarker);
    lbAcIo->setText(marker.trimmed());
    lbAcTxt->setText(cell(cbAcc, row, 2));
}

void frmIo::cbAcc_Validate() {
    const QString code = cbAcc->currentText();
    if (code.isEmpty())
        return;
    // A code typed in full counts as picked from the list, as matching an entry always did.
    const QStandardItemModel* model = columnsOf(cbAcc);
    bool listed = false;
    for (int row = 0; row < model->rowCount() && !listed; ++row) {
        if (model->item(row, 1)->text().compare(code, Qt::CaseInsensitive) == 0) {
            cbAcc_Click(row);
            listed = true;
        }
    }
    // The name and side follow the code: an unknown code keeps nothing of the account shown
    // before, so the voucher cannot be saved under another account's name and side. Adding
    // the account fills them in again.
    if (!listed &&
        !app::dbAcc->scalar(QStringLiteral("select 1 from acc where id = ?"), {code}).isValid()) {
        lbAcIo->clear();
        lbAcTxt->clear();
    }
    CheckAccount();
}

void frmIo::CheckAccount() {
    if (app::dbAcc->scalar(QStringLiteral("select 1 from acc where id = ?"), {cbAcc->currentText()})
            .isValid())
        return;
    if (app::MsgBox(QStringLiteral("沒有此科目是否加入?"), app::Buttons::YesNo, app::Icon::Question,
                    QString(), app::DefaultButton::Second) == app::Answer::Yes) {
        app::showModal(app::Forms::get<frmAdAcc>());
        LoadAccounts();
    } else {
        cbAcc->setFocus();
    }
}

namespace {

struct WordList {
    const char* lookup;
    const char* prompt;
    const char* table;
    const char* renumber;
    const char* column;  // the word's column
};

// Adds the word in `box` to its list when it is new and the user agrees: the new word takes
// rank 1 and every older word moves down one. Gives true when the list changed.
bool addWord(QComboBox* box, const WordList& list) {
    const QString word = box->currentText();
    if (app::dbAcc->scalar(QString::fromUtf8(list.lookup), {word}).isValid())
        return false;
    if (app::MsgBox(QString::fromUtf8(list.prompt), app::Buttons::YesNo, app::Icon::Question,
                    QString(), app::DefaultButton::Second) != app::Answer::Yes)
        return false;
    // Another copy may have added the same word while the question was open: looked up again
    // inside the transaction, it is added once.
    app::guardWrite(QString(), [&] {
        store::Transaction tx(*app::dbAcc);
        if (app::dbAcc->scalar(QString::fromUtf8(list.lookup), {word}).isValid())
            return;
        store::Recordset rs = app::dbAcc->openRecordset(QString::fromUtf8(list.table));
        rs.AddNew();
        rs.setField(0, 0);
        rs.setField(1, word);
        rs.Update();
        rs.Close();
        app::dbAcc->execute(QString::fromUtf8(list.renumber));
        const QString table = QString::fromUtf8(list.table);
        audit::record(*app::dbAcc,
                      {audit::Kind::MasterData,
                       table,
                       word,
                       {},
                       audit::rowOf(*app::dbAcc, table, QString::fromUtf8(list.column), word),
                       QStringLiteral("由收支單加入")});
        tx.commit();
    });
    return true;
}

}  // namespace

void frmIo::AddUse() {
    const QString word = cbUse->currentText();
    if (addWord(cbUse, {"select 1 from use where use = ?", "沒有此用途說明是否加入?", "use",
                        "update use set id = id + 1 ", "use"})) {
        LoadUses();
        cbUse->setEditText(word);
    }
}

void frmIo::AddNote1() {
    const QString word = cbPs1->currentText();
    if (addWord(cbPs1, {"select 1 from ps1 where ps = ?", "沒有此附註一是否加入?", "ps1",
                        "update ps1 set id = id + 1 ", "ps"})) {
        LoadNotes1();
        cbPs1->setEditText(word);
    }
}

void frmIo::AddNote2() {
    const QString word = cbPs2->currentText();
    if (addWord(cbPs2, {"select 1 from ps2 where ps = ?", "沒有此附註二是否加入?", "ps2",
                        "update ps2 set id = id + 1 ", "ps"})) {
        LoadNotes2();
        cbPs2->setEditText(word);
    }
}

void frmIo::cbUse_Validate() {
    if (!cbUse->currentText().isEmpty())
        AddUse();
}

void frmIo::cbPs1_Validate() {
    if (!cbPs1->currentText().isEmpty())
        AddNote1();
}

void frmIo::cbPs2_Validate() {
    if (!cbPs2->currentText().isEmpty())
        AddNote2();
}

void frmIo::optP_Click() {
    LoadPeople();
}

void frmIo::optS_Click() {
    LoadPeople();
}

}  // namespace orvik::vouchers
