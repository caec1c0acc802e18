// The parts of the bill form that entry and processing share: the day lists, the bank lists by
// direction, the banner, and locking the fields.

#include <QHeaderView>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStandardItemModel>
#include <QTableView>

#include "frmBill.h"

namespace orvik::bills {

using namespace orvik::app;

namespace {

const QColor kIncomeBanner(192, 192, 255);
const QColor kExpenseBanner(255, 192, 192);

}  // namespace

void frmBill::FillDayLists() {
    static const QStringList days{
        QStringLiteral("零天"), QStringLiteral("一天"), QStringLiteral("二天"),
        QStringLiteral("三天"), QStringLiteral("四天"), QStringLiteral("五天"),
        QStringLiteral("六天"), QStringLiteral("七天"), QStringLiteral("八天"),
        QStringLiteral("九天"), QStringLiteral("十天")};
    for (QComboBox* combo : {cbDeDay, cbArDay}) {
        combo->clear();
        combo->addItems(days);  // the index is the number of days
    }
}

// A bank combo lists bank, account number and holder; the combo itself shows the bank.
void frmBill::SetUpBankCombo(QComboBox* combo) {
    auto* view = new QTableView(combo);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setShowGrid(false);
    view->verticalHeader()->hide();
    view->horizontalHeader()->hide();
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    combo->setModel(new QStandardItemModel(0, 3, combo));
    combo->setView(view);
    combo->setModelColumn(0);
    combo->setInsertPolicy(QComboBox::NoInsert);
}

void frmBill::FillBankCombo(QComboBox* combo, const QString& table) {
    // A combo selects its first row as soon as rows arrive; that is no choice of the user's
    // and must not fill the account and holder boxes.
    const QSignalBlocker quiet(combo);
    auto* model = static_cast<QStandardItemModel*>(combo->model());
    model->removeRows(0, model->rowCount());
    // The table name is one of three fixed names, never user text.
    store::Recordset rs = dbAcc->openRecordset(
        QStringLiteral("select bank, id, user from %1").arg(table), store::RecordsetType::Snapshot);
    for (; !rs.isEOF(); rs.MoveNext()) {
        QList<QStandardItem*> row;
        for (int col = 0; col < 3; ++col)
            row << new QStandardItem(rs.text(col));
        model->appendRow(row);
    }
    rs.Close();
    combo->setCurrentIndex(-1);
    if (combo->isEditable())
        combo->clearEditText();
    if (auto* view = qobject_cast<QTableView*>(combo->view()))
        view->resizeColumnsToContents();
}

void frmBill::LoadBankLists(bool isIncome) {
    // Income: the company's deposit accounts receive, the counterparty's bank issues.
    // Expense: the company's cheque accounts issue, the counterparty's bank receives.
    FillBankCombo(cbCbnk, isIncome ? QStringLiteral("obank") : QStringLiteral("ibank"));
    FillBankCombo(cbWbnk, isIncome ? QStringLiteral("ibank") : QStringLiteral("bbank"));
}

void frmBill::ShowDirection(bool isIncome) {
    income_ = isIncome;
    lbIo->setText(isIncome ? QStringLiteral("收 到 票 據") : QStringLiteral("開 出 票 據"));
    QPalette palette = lbIo->palette();
    palette.setColor(QPalette::Window, isIncome ? kIncomeBanner : kExpenseBanner);
    lbIo->setPalette(palette);
    lbIo->setAutoFillBackground(true);
}

void frmBill::ShowDayCombos(bool isIncome) {
    lbDe->setVisible(isIncome);
    cbDeDay->setVisible(isIncome);
    lbAr->setVisible(!isIncome);
    cbArDay->setVisible(!isIncome);
}

void frmBill::LockBillFields(bool locked) {
    for (QWidget* w : std::initializer_list<QWidget*>{DTP1, DTP2, cbWbnk, cbCbnk, txtWid, txtWp,
                                                      txtCp, txtCid, txtBillNo, cbArDay, cbDeDay})
        w->setEnabled(!locked);
    cmdSv->setVisible(!locked);
    cmdCencel->setVisible(!locked);
}

void frmBill::TakeBankRow(QComboBox* combo, int row, QLineEdit* account, QLineEdit* holder) {
    if (row < 0 || row >= combo->count())
        return;
    const QAbstractItemModel* model = combo->model();
    account->setText(model->index(row, 1).data().toString());
    holder->setText(model->index(row, 2).data().toString());
}

void frmBill::cbWbnk_Change(const QString& text) {
    if (text.isEmpty())
        return;
    TakeBankRow(cbWbnk, cbWbnk->findText(text, Qt::MatchExactly), txtWid, txtWp);
}

void frmBill::cbWbnk_Click(int row) {
    TakeBankRow(cbWbnk, row, txtWid, txtWp);
}

void frmBill::cbCbnk_Change(const QString& text) {
    if (text.isEmpty())
        return;
    TakeBankRow(cbCbnk, cbCbnk->findText(text, Qt::MatchExactly), txtCid, txtCp);
}

void frmBill::cbCbnk_Click(int row) {
    TakeBankRow(cbCbnk, row, txtCid, txtCp);
}

}  // namespace orvik::bills
