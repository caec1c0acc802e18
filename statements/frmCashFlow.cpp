#include "frmCashFlow.h"

#include "Clock.h"
#include "EraDate.h"
#include "Globals.h"
#include "Program.h"
#include "Prompts.h"
#include "WaitCursor.h"
#include "WindowKit.h"

namespace orvik::statements {

using namespace orvik::app;

namespace {

enum { frPeriod, frFrom, frTo, frIn, frOut, frNet, frBalance };
enum { irDate, irSource, irReference, irParty, irIn, irOut, irOverdue };

QVariant orNull(qint64 v) {
    return v ? QVariant(v) : QVariant();
}

}  // namespace

frmCashFlow::frmCashFlow(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    buckets_.setColumns({RowsModel::text(QStringLiteral("期間"), frPeriod),
                         RowsModel::rocDate(QStringLiteral("起日"), frFrom),
                         RowsModel::rocDate(QStringLiteral("迄日"), frTo),
                         RowsModel::amount(QStringLiteral("預估收入"), frIn),
                         RowsModel::amount(QStringLiteral("預估支出"), frOut),
                         RowsModel::amount(QStringLiteral("淨額"), frNet),
                         RowsModel::amount(QStringLiteral("預估餘額"), frBalance)});
    items_.setColumns({RowsModel::rocDate(QStringLiteral("預計日期"), irDate),
                       RowsModel::text(QStringLiteral("來源"), irSource),
                       RowsModel::text(QStringLiteral("票據／帳款"), irReference),
                       RowsModel::text(QStringLiteral("對象"), irParty),
                       RowsModel::amount(QStringLiteral("收入"), irIn),
                       RowsModel::amount(QStringLiteral("支出"), irOut)});
    // Overdue rows and a balance that goes below zero stand out.
    buckets_.setRowBackground([](const RowsModel::Row& r) {
        if (r.value(frPeriod).toString() == QStringLiteral("已逾期"))
            return QColor(255, 220, 200);
        return whole(r.value(frBalance)) < 0 ? QColor(255, 200, 200) : QColor();
    });
    items_.setRowBackground([](const RowsModel::Row& r) {
        return r.value(irOverdue).toBool() ? QColor(255, 220, 200) : QColor();
    });
    setUpList(grdBuckets, &buckets_);
    grdBuckets->setSortingEnabled(false);
    setUpList(grdItems, &items_);
    cbStep->setCurrentIndex(1);

    connectHandler(cmdQuery, &QPushButton::clicked, this, &frmCashFlow::cmdQuery_Click);
    connectHandler(cmdExport, &QPushButton::clicked, this, &frmCashFlow::cmdExport_Click);
    connectHandler(cmdExportItems, &QPushButton::clicked, this, &frmCashFlow::cmdExportItems_Click);
    connectHandler(cmdPrint, &QPushButton::clicked, this, &frmCashFlow::cmdPrint_Click);
    connectHandler(cmdClose, &QPushButton::clicked, this, [this] { close(); });
    cmdQuery_Click();
}

void frmCashFlow::cmdQuery_Click() {
    const WaitCursor wait;
    const Step step = cbStep->currentIndex() == 0 ? Step::Week : Step::Month;
    flow_ = cashFlow(*dbAcc, Clock::today(), step, spnMonths->value());
    lbBalances->setText(QStringLiteral("%1 現金 %2　銀行存款 %3　合計 %4")
                            .arg(FormatEra(flow_.today, kEraShort), FormatAmount(flow_.cash),
                                 FormatAmount(flow_.bank), FormatAmount(flow_.opening())));
    QVector<RowsModel::Row> rows;
    rows.push_back({QStringLiteral("今日餘額"), QVariant(), iso(flow_.today), QVariant(),
                    QVariant(), QVariant(), flow_.opening()});
    rows.push_back({QStringLiteral("已逾期"), QVariant(), iso(flow_.overdue.range.to),
                    orNull(flow_.overdue.in), orNull(flow_.overdue.out),
                    flow_.overdue.in - flow_.overdue.out, flow_.overdue.balance});
    for (const auto& b : flow_.buckets) {
        const QString label =
            step == Step::Month
                ? QStringLiteral("%1 年 %2 月").arg(EraYear(b.range.from)).arg(b.range.from.month())
                : QStringLiteral("%1 週").arg(FormatEra(b.range.from, kEraShort));
        rows.push_back({label, iso(b.range.from), iso(b.range.to), orNull(b.in), orNull(b.out),
                        b.in - b.out, b.balance});
    }
    buckets_.setRows(std::move(rows));
    QVector<RowsModel::Row> items;
    for (const auto& it : flow_.items)
        items.push_back({iso(it.date), it.source, it.reference, it.party, orNull(it.in),
                         orNull(it.out), it.date < flow_.today});
    items_.setRows(std::move(items));
}

void frmCashFlow::cmdExport_Click() {
    const QString company =
        dbPrint->scalar(QStringLiteral("SELECT ion FROM company LIMIT 1")).toString();
    exportWithDialog(
        tableFromModel(buckets_,
                       {CellKind::Text, CellKind::Date, CellKind::Date, CellKind::Amount,
                        CellKind::Amount, CellKind::Amount, CellKind::Amount},
                       QStringLiteral("預估資金流量表"),
                       {company, QStringLiteral("預估資金流量表 ") + lbBalances->text()}),
        QStringLiteral("預估資金流量表"));
}

void frmCashFlow::cmdExportItems_Click() {
    const QString company =
        dbPrint->scalar(QStringLiteral("SELECT ion FROM company LIMIT 1")).toString();
    exportWithDialog(
        tableFromModel(items_,
                       {CellKind::Date, CellKind::Text, CellKind::Text, CellKind::Text,
                        CellKind::Amount, CellKind::Amount},
                       QStringLiteral("預估收付明細"),
                       {company, QStringLiteral("預估收付明細 ") + lbBalances->text()}),
        QStringLiteral("預估收付明細"));
}

void frmCashFlow::cmdPrint_Click() {
    report::RowSets rows = modelRows(buckets_, QStringLiteral("rows"));
    rows.insert(QStringLiteral("items"),
                modelRows(items_, QStringLiteral("items")).value(QStringLiteral("items")));
    report::Values values{{QStringLiteral("標題"), QStringLiteral("預估資金流量表")},
                          {QStringLiteral("餘額"), lbBalances->text()}};
    printStatement(this, QStringLiteral("cashflow.rpt"), values, rows,
                   QStringLiteral("預估資金流量表"));
}

}  // namespace orvik::statements
