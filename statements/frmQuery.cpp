#include "frmQuery.h"

#include <QHeaderView>
#include <QSet>

#include "Clock.h"
#include "DateBoxes.h"
#include "EraDate.h"
#include "Forms.h"
#include "Globals.h"
#include "Program.h"
#include "Prompts.h"
#include "Recordset.h"
#include "WaitCursor.h"
#include "WindowKit.h"
#include "frmIo.h"

namespace orvik::statements {

using namespace orvik::app;

namespace {

// Book rows: date, id, reference, description, in, out, balance (null in/out on the opening
// row).
enum { brDate, brId, brReference, brDescription, brIn, brOut, brBalance };

QVector<RowsModel::Column> bookColumns(const QString& referenceHeading) {
    auto id = RowsModel::text(QStringLiteral("序號"), brId);
    id.alignment = Qt::AlignRight | Qt::AlignVCenter;
    return {RowsModel::rocDate(QStringLiteral("日期"), brDate),
            id,
            RowsModel::text(referenceHeading, brReference),
            RowsModel::text(QStringLiteral("摘要"), brDescription),
            RowsModel::amount(QStringLiteral("收入"), brIn),
            RowsModel::amount(QStringLiteral("支出"), brOut),
            RowsModel::amount(QStringLiteral("餘額"), brBalance)};
}

const QVector<CellKind> kBookKinds{CellKind::Date,  CellKind::Text,   CellKind::Text,
                                   CellKind::Text,  CellKind::Amount, CellKind::Amount,
                                   CellKind::Amount};

QString rangeText(const DateRange& r) {
    const QString from = r.from.isValid() ? FormatEra(r.from, kEraShort) : QStringLiteral("最初");
    const QString to = r.to.isValid() ? FormatEra(r.to, kEraShort) : QStringLiteral("最後");
    return from + QStringLiteral(" 至 ") + to;
}

void fillCombo(QComboBox* combo, store::Database& db, const QString& sql) {
    QStringList items{QString()};
    QSet<QString> seen;
    auto rs = db.openRecordset(sql, store::RecordsetType::Snapshot);
    for (; !rs.isEOF(); rs.MoveNext()) {
        const QString t = rs.text(0).trimmed();
        if (!t.isEmpty() && !seen.contains(t.toCaseFolded())) {
            seen.insert(t.toCaseFolded());
            items << t;
        }
    }
    rs.Close();
    combo->clear();
    combo->addItems(items);
}

}  // namespace

frmQuery::frmQuery(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose, false);

    vouchers_.setColumns({
        RowsModel::text(QStringLiteral("單號"), vfNumber),
        RowsModel::rocDate(QStringLiteral("輸入日期"), vfEntered),
        RowsModel::rocDate(QStringLiteral("發生日期"), vfOccurred),
        RowsModel::yesNo(QStringLiteral("收支"), vfPay, QStringLiteral("支出"),
                         QStringLiteral("收入")),
        RowsModel::text(QStringLiteral("科目代號"), vfAccount),
        RowsModel::text(QStringLiteral("科目名稱"), vfAccountName),
        RowsModel::text(QStringLiteral("用途說明"), vfPurpose),
        RowsModel::amount(QStringLiteral("金額"), vfAmount),
        RowsModel::amount(QStringLiteral("稅額"), vfTax),
        [] {
            auto c = RowsModel::text(QStringLiteral("狀態"), vfStatus);
            c.text = [](const RowsModel::Row& r) {
                return statusText(int(whole(r.value(vfStatus))));
            };
            return c;
        }(),
        RowsModel::text(QStringLiteral("專案號碼"), vfProject),
        RowsModel::text(QStringLiteral("工程種類"), vfWorkType),
        RowsModel::text(QStringLiteral("申請人"), vfApplicant),
        RowsModel::text(QStringLiteral("簽收人"), vfSigner),
        RowsModel::yesNo(QStringLiteral("單據"), vfHasDocument, QStringLiteral("有"), QString()),
        RowsModel::text(QStringLiteral("單據號碼"), vfDocumentNo),
    });
    // Income blue, expense red, as the voucher form shows them; void grey.
    vouchers_.setRowForeground([](const RowsModel::Row& r) {
        if (whole(r.value(vfStatus)) == -3)
            return QColor(128, 128, 128);
        return store::storedBool(r.value(vfPay)) ? QColor(192, 0, 0) : QColor(0, 0, 192);
    });
    cash_.setColumns(bookColumns(QStringLiteral("收支單號")));
    bank_.setColumns(bookColumns(QStringLiteral("票據號碼")));
    for (auto* model : {&cash_, &bank_}) {
        const Book* book = model == &cash_ ? &cashBook_ : &bankBook_;
        model->setRowBackground([book](const RowsModel::Row& r) {
            if (!book->check.consistent && whole(r.value(brId)) == book->check.firstBadId)
                return QColor(255, 200, 200);
            return QColor();
        });
    }
    setUpList(grdVouchers, &vouchers_);
    setUpList(grdCash, &cash_);
    setUpList(grdBank, &bank_);

    const QDate today = Clock::today();
    const QDate first(today.year(), today.month(), 1);
    dtOccurredFrom->setDate(first);
    dtOccurredTo->setDate(first.addMonths(1).addDays(-1));
    dtCashFrom->setDate(first);
    dtCashTo->setDate(today);
    dtBankFrom->setDate(first);
    dtBankTo->setDate(today);
    for (auto* box : {txtAmountMin, txtAmountMax})
        box->setAlignment(Qt::AlignRight);
    fillLists();

    connectHandler(cmdQuery, &QPushButton::clicked, this, &frmQuery::cmdQuery_Click);
    connectHandler(txtText, &QLineEdit::returnPressed, this, &frmQuery::cmdQuery_Click);
    connectHandler(cmdClear, &QPushButton::clicked, this, &frmQuery::cmdClear_Click);
    connectHandler(cmdCash, &QPushButton::clicked, this, &frmQuery::cmdCash_Click);
    connectHandler(cmdBank, &QPushButton::clicked, this, &frmQuery::cmdBank_Click);
    connectHandler(cmdExport, &QPushButton::clicked, this, &frmQuery::cmdExport_Click);
    connectHandler(cmdPrint, &QPushButton::clicked, this, &frmQuery::cmdPrint_Click);
    connectHandler(cmdClose, &QPushButton::clicked, this, [this] { close(); });
    connectHandler(grdVouchers, &QTableView::doubleClicked, this, &frmQuery::grdVouchers_DblClick);
}

void frmQuery::fillLists() {
    const WaitCursor wait;
    fillCombo(cbAccount, *dbAcc, QStringLiteral("SELECT id FROM acc ORDER BY id"));
    fillCombo(cbProject, *dbAcc, QStringLiteral("SELECT id FROM prj ORDER BY id"));
    fillCombo(cbWorkType, *dbAcc, QStringLiteral("SELECT DISTINCT w FROM w4pj ORDER BY w"));
    for (auto* combo : {cbApplicant, cbSigner})
        fillCombo(combo, *dbGeneral,
                  QStringLiteral("SELECT 中文姓名 FROM 員工 UNION ALL SELECT 廠商名稱 FROM 廠商"));
    accounts_ = bankAccounts(*dbAcc);
    cbBankAccount->clear();
    for (const auto& a : accounts_)
        cbBankAccount->addItem(a.label());
}

bool frmQuery::readFilter(VoucherFilter* f) {
    if (!readRange(dtEnteredFrom, lbEnteredFrom, dtEnteredTo, lbEnteredTo, &f->entered) ||
        !readRange(dtOccurredFrom, lbOccurredFrom, dtOccurredTo, lbOccurredTo, &f->occurred))
        return false;
    f->account = cbAccount->currentText().trimmed();
    f->project = cbProject->currentText().trimmed();
    f->workType = cbWorkType->currentText().trimmed();
    f->applicant = cbApplicant->currentText().trimmed();
    f->signer = cbSigner->currentText().trimmed();
    f->status = VoucherStatus(cbStatus->currentIndex() < 0 ? 0 : cbStatus->currentIndex());
    f->direction = Direction(cbDirection->currentIndex() < 0 ? 0 : cbDirection->currentIndex());
    for (auto [box, target] :
         {std::pair{txtAmountMin, &f->minAmount}, std::pair{txtAmountMax, &f->maxAmount}}) {
        bool ok = true;
        *target = typedAmount(box->text(), &ok);
        if (!ok) {
            MsgBox(QStringLiteral("金額請輸入數字"), Buttons::OK, Icon::Exclamation);
            box->setFocus();
            return false;
        }
    }
    if (cbDocument->currentIndex() == 1)
        f->hasDocument = true;
    else if (cbDocument->currentIndex() == 2)
        f->hasDocument = false;
    f->text = txtText->text().trimmed();
    return true;
}

void frmQuery::cmdQuery_Click() {
    VoucherFilter filter;
    if (!readFilter(&filter))
        return;
    const WaitCursor wait;
    VoucherQueryResult result = runVoucherQuery(*dbAcc, filter);
    totals_ = result.totals;
    vouchers_.setRows(std::move(result.rows));
    const QString voided = totals_.voided > 0
                               ? QStringLiteral("（作廢 %1 筆不計金額）").arg(totals_.voided)
                               : QString();
    lbTotals->setText(QStringLiteral("共 %1 筆%2　收入 %3　支出 %4　淨額 %5　稅額 %6")
                          .arg(totals_.count)
                          .arg(voided, FormatAmount(totals_.income), FormatAmount(totals_.expense),
                               FormatAmount(totals_.net()), FormatAmount(totals_.tax)));
}

void frmQuery::cmdClear_Click() {
    for (auto* box : {dtEnteredFrom, dtEnteredTo, dtOccurredFrom, dtOccurredTo})
        box->clear();
    for (auto* combo : {cbAccount, cbProject, cbWorkType, cbApplicant, cbSigner})
        combo->setCurrentIndex(0);
    for (auto* combo : {cbStatus, cbDirection, cbDocument})
        combo->setCurrentIndex(0);
    txtAmountMin->clear();
    txtAmountMax->clear();
    txtText->clear();
}

void frmQuery::showBook(const Book& book, RowsModel& model, QLabel* totals, QLabel* check) {
    QVector<RowsModel::Row> rows;
    rows.reserve(book.rows.size() + 1);
    rows.push_back({QVariant(), QVariant(), QVariant(), QStringLiteral("期初餘額"), QVariant(),
                    QVariant(), book.opening});
    for (const auto& r : book.rows)
        rows.push_back({iso(r.date), r.id, r.reference, r.description,
                        r.in ? QVariant(r.in) : QVariant(), r.out ? QVariant(r.out) : QVariant(),
                        r.balance});
    model.setRows(std::move(rows));
    totals->setText(QStringLiteral("期初 %1　收入 %2　支出 %3　期末 %4")
                        .arg(FormatAmount(book.opening), FormatAmount(book.totalIn),
                             FormatAmount(book.totalOut), FormatAmount(book.closing)));
    check->setText(checkMessage(book.check));
    check->setStyleSheet(book.check.consistent ? QString()
                                               : QStringLiteral("color: rgb(192, 0, 0);"));
}

void frmQuery::cmdCash_Click() {
    DateRange range;
    if (!readRange(dtCashFrom, lbCashFrom, dtCashTo, lbCashTo, &range))
        return;
    const WaitCursor wait;
    cashBook_ = cashBook(*dbAcc, range);
    showBook(cashBook_, cash_, lbCashTotals, lbCashCheck);
}

void frmQuery::cmdBank_Click() {
    const int at = cbBankAccount->currentIndex();
    if (at < 0 || at >= accounts_.size()) {
        MsgBox(QStringLiteral("請選擇銀行帳戶"), Buttons::OK, Icon::Exclamation);
        return;
    }
    DateRange range;
    if (!readRange(dtBankFrom, lbBankFrom, dtBankTo, lbBankTo, &range))
        return;
    const WaitCursor wait;
    bankBook_ = bankBook(*dbAcc, accounts_.at(at), range);
    showBook(bankBook_, bank_, lbBankTotals, lbBankCheck);
}

void frmQuery::cmdExport_Click() {
    const QString company =
        dbPrint ? dbPrint->scalar(QStringLiteral("SELECT ion FROM company LIMIT 1")).toString()
                : QString();
    if (tabBooks->currentWidget() == tabCash) {
        exportWithDialog(
            tableFromModel(cash_, kBookKinds, QStringLiteral("現金簿"),
                           {company, QStringLiteral("現金簿 ") + lbCashTotals->text()}),
            QStringLiteral("現金簿"));
    } else if (tabBooks->currentWidget() == tabBank) {
        exportWithDialog(
            tableFromModel(bank_, kBookKinds, QStringLiteral("銀行簿"),
                           {company, QStringLiteral("銀行簿 ") + cbBankAccount->currentText() +
                                         QLatin1Char(' ') + lbBankTotals->text()}),
            QStringLiteral("銀行簿"));
    } else {
        QVector<CellKind> kinds(vouchers_.columnCount(), CellKind::Text);
        kinds[1] = kinds[2] = CellKind::Date;
        kinds[7] = kinds[8] = CellKind::Amount;
        exportWithDialog(
            tableFromModel(vouchers_, kinds, QStringLiteral("收支單查詢"),
                           {company, QStringLiteral("收支單查詢 ") + lbTotals->text()}),
            QStringLiteral("收支單查詢"));
    }
}

void frmQuery::printBook(const Book& book, RowsModel& model, const QString& title) {
    report::Values values{{QStringLiteral("標題"), title},
                          {QStringLiteral("期初"), FormatAmount(book.opening)},
                          {QStringLiteral("收入合計"), FormatAmount(book.totalIn)},
                          {QStringLiteral("支出合計"), FormatAmount(book.totalOut)},
                          {QStringLiteral("期末"), FormatAmount(book.closing)},
                          {QStringLiteral("檢查"), checkMessage(book.check)}};
    printStatement(this, QStringLiteral("book.rpt"), values,
                   modelRows(model, QStringLiteral("rows")), title);
}

// Printed from the filter as it stands, run again first, so the rows and the period in the
// heading are always the same query's (and a print before any query is not an empty page).
void frmQuery::cmdPrint_Click() {
    if (tabBooks->currentWidget() == tabCash) {
        DateRange range;
        if (!readRange(dtCashFrom, lbCashFrom, dtCashTo, lbCashTo, &range))
            return;
        cmdCash_Click();
        printBook(cashBook_, cash_, QStringLiteral("現金簿　") + rangeText(range));
    } else if (tabBooks->currentWidget() == tabBank) {
        DateRange range;
        if (!readRange(dtBankFrom, lbBankFrom, dtBankTo, lbBankTo, &range))
            return;
        if (cbBankAccount->currentIndex() < 0 || cbBankAccount->currentIndex() >= accounts_.size())
            return cmdBank_Click();  // says what is missing
        cmdBank_Click();
        printBook(bankBook_, bank_,
                  QStringLiteral("銀行簿　") + cbBankAccount->currentText() + QStringLiteral("　") +
                      rangeText(range));
    } else {
        VoucherFilter filter;
        if (!readFilter(&filter))
            return;
        cmdQuery_Click();
        report::Values values{
            {QStringLiteral("標題"), QStringLiteral("收支單查詢")},
            {QStringLiteral("期間"), QStringLiteral("發生日期 ") + rangeText(filter.occurred)},
            {QStringLiteral("筆數"), QString::number(totals_.count)},
            {QStringLiteral("收入合計"), FormatAmount(totals_.income)},
            {QStringLiteral("支出合計"), FormatAmount(totals_.expense)},
            {QStringLiteral("淨額"), FormatAmount(totals_.net())},
            {QStringLiteral("稅額合計"), FormatAmount(totals_.tax)}};
        printStatement(this, QStringLiteral("query.rpt"), values,
                       modelRows(vouchers_, QStringLiteral("rows")), QStringLiteral("收支單查詢"));
    }
}

void frmQuery::grdVouchers_DblClick(const QModelIndex& index) {
    if (!index.isValid())
        return;
    const QString number = vouchers_.row(index.row()).value(vfNumber).toString();
    vouchers::showVoucherInForm(number);
}

}  // namespace orvik::statements
