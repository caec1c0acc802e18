#include "frmIncomeStatement.h"

#include "Clock.h"
#include "DateBoxes.h"
#include "EraDate.h"
#include "Globals.h"
#include "Program.h"
#include "Prompts.h"
#include "WaitCursor.h"
#include "WindowKit.h"

namespace orvik::statements {

using namespace orvik::app;

namespace {

// Rows: section, account, name, this period, previous, a year earlier; a bold flag for the
// totals.
enum { lrSection, lrAccount, lrName, lrNow, lrPrevious, lrYearAgo, lrTotal };

}  // namespace

frmIncomeStatement::frmIncomeStatement(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    const QDate today = Clock::today();
    spnYear->setValue(EraYear(today));
    spnPart->setValue(today.month());
    dtFrom->setDate(QDate(today.year(), 1, 1));
    dtTo->setDate(today);
    setUpList(grdLines, &lines_);
    grdLines->setSortingEnabled(false);
    cbKind_Click();

    connectHandler(cmdQuery, &QPushButton::clicked, this, &frmIncomeStatement::cmdQuery_Click);
    connectHandler(cbKind, &QComboBox::currentIndexChanged, this,
                   &frmIncomeStatement::cbKind_Click);
    connectHandler(cmdExport, &QPushButton::clicked, this, &frmIncomeStatement::cmdExport_Click);
    connectHandler(cmdPrint, &QPushButton::clicked, this, &frmIncomeStatement::cmdPrint_Click);
    connectHandler(cmdClose, &QPushButton::clicked, this, [this] { close(); });
}

void frmIncomeStatement::cbKind_Click() {
    const auto kind = PeriodKind(std::max(0, cbKind->currentIndex()));
    const bool range = kind == PeriodKind::Range;
    for (QWidget* w : std::initializer_list<QWidget*>{dtFrom, dtTo, lbFrom, lbTo})
        w->setEnabled(range);
    spnYear->setEnabled(!range);
    spnPart->setEnabled(kind == PeriodKind::Month || kind == PeriodKind::Quarter);
    spnPart->setMaximum(kind == PeriodKind::Quarter ? 4 : 12);
    lbPart->setText(kind == PeriodKind::Quarter ? QStringLiteral("季別") : QStringLiteral("月份"));
}

bool frmIncomeStatement::readPeriod(PeriodKind* kind, DateRange* period) {
    *kind = PeriodKind(std::max(0, cbKind->currentIndex()));
    if (*kind == PeriodKind::Range) {
        if (!readRange(dtFrom, lbFrom, dtTo, lbTo, period))
            return false;
        if (!period->from.isValid() || !period->to.isValid()) {
            MsgBox(QStringLiteral("請輸入期間的起日與迄日"), Buttons::OK, Icon::Exclamation);
            return false;
        }
        return true;
    }
    const int year = spnYear->value() + 1911;
    const int month = *kind == PeriodKind::Quarter ? (spnPart->value() - 1) * 3 + 1
                      : *kind == PeriodKind::Month ? spnPart->value()
                                                   : 1;
    *period = periodOf(*kind, QDate(year, month, 1));
    return true;
}

void frmIncomeStatement::cmdQuery_Click() {
    PeriodKind kind;
    DateRange period;
    if (!readPeriod(&kind, &period))
        return;
    const WaitCursor wait;
    statement_ = incomeStatement(*dbAcc, kind, period, ckUnapproved->isChecked());
    kind_ = kind;
    labels_.clear();
    labels_ << periodLabel(kind, statement_.periods[0]) << periodLabel(kind, statement_.periods[1])
            << periodLabel(kind, statement_.periods[2]);
    lines_.setColumns({RowsModel::text(QStringLiteral("類別"), lrSection),
                       RowsModel::text(QStringLiteral("科目代號"), lrAccount),
                       RowsModel::text(QStringLiteral("科目名稱"), lrName),
                       RowsModel::amount(QStringLiteral("本期 ") + labels_[0], lrNow),
                       RowsModel::amount(QStringLiteral("前期 ") + labels_[1], lrPrevious),
                       RowsModel::amount(QStringLiteral("去年同期 ") + labels_[2], lrYearAgo)});
    QVector<RowsModel::Row> rows;
    auto section = [&](const QString& title, const QVector<IncomeLine>& lines,
                       const std::array<qint64, 3>& total) {
        for (const auto& l : lines)
            rows.push_back({title, l.account, l.name, l.amount[0], l.amount[1], l.amount[2], 0});
        rows.push_back(
            {title, QString(), title + QStringLiteral("合計"), total[0], total[1], total[2], 1});
    };
    section(QStringLiteral("收入"), statement_.income, statement_.totalIncome);
    section(QStringLiteral("支出"), statement_.expense, statement_.totalExpense);
    const auto net = statement_.net();
    rows.push_back({QStringLiteral("淨額"), QString(), QStringLiteral("本期淨利（損）"), net[0],
                    net[1], net[2], 1});
    lines_.setRowBackground([](const RowsModel::Row& r) {
        return r.value(lrTotal).toInt() ? QColor(232, 232, 232) : QColor();
    });
    lines_.setRows(std::move(rows));
    grdLines->resizeColumnsToContents();
    lbNet->setText(
        QStringLiteral("%1　收入 %2　支出 %3　淨額 %4%5")
            .arg(labels_[0], FormatAmount(statement_.totalIncome[0]),
                 FormatAmount(statement_.totalExpense[0]), FormatAmount(net[0]),
                 ckUnapproved->isChecked() ? QStringLiteral("（含未簽核）") : QString()));
}

void frmIncomeStatement::cmdExport_Click() {
    if (labels_.isEmpty())
        cmdQuery_Click();
    if (labels_.isEmpty())
        return;
    const QString company =
        dbPrint->scalar(QStringLiteral("SELECT ion FROM company LIMIT 1")).toString();
    exportWithDialog(tableFromModel(lines_,
                                    {CellKind::Text, CellKind::Text, CellKind::Text,
                                     CellKind::Amount, CellKind::Amount, CellKind::Amount},
                                    QStringLiteral("期間損益表"),
                                    {company, QStringLiteral("期間損益表 ") + labels_[0]}),
                     QStringLiteral("期間損益表"));
}

void frmIncomeStatement::cmdPrint_Click() {
    if (labels_.isEmpty())
        cmdQuery_Click();
    if (labels_.isEmpty())
        return;
    // The rows by fixed names, whatever the period's headings say.
    QVector<report::Values> rows;
    for (int r = 0; r < lines_.rowCount(); ++r)
        rows << report::Values{{QStringLiteral("類別"), lines_.text(r, 0)},
                               {QStringLiteral("科目代號"), lines_.text(r, 1)},
                               {QStringLiteral("科目名稱"), lines_.text(r, 2)},
                               {QStringLiteral("本期"), lines_.text(r, 3)},
                               {QStringLiteral("前期"), lines_.text(r, 4)},
                               {QStringLiteral("去年同期"), lines_.text(r, 5)}};
    report::Values values{
        {QStringLiteral("標題"), QStringLiteral("期間損益表")},
        {QStringLiteral("期間"), labels_[0]},
        {QStringLiteral("前期"), labels_[1]},
        {QStringLiteral("去年同期"), labels_[2]},
        {QStringLiteral("說明"), ckUnapproved->isChecked() ? QStringLiteral("含未簽核收支單")
                                                           : QStringLiteral("僅計已簽核收支單")}};
    printStatement(this, QStringLiteral("income.rpt"), values, {{QStringLiteral("rows"), rows}},
                   QStringLiteral("期間損益表 ") + labels_[0]);
}

}  // namespace orvik::statements
