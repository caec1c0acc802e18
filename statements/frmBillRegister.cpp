#include "frmBillRegister.h"

#include <QHeaderView>
#include <QSet>

#include "BillHandOver.h"
#include "Clock.h"
#include "Common.h"
#include "EraDate.h"
#include "Globals.h"
#include "Program.h"
#include "Prompts.h"
#include "Recordset.h"
#include "Routines.h"
#include "WaitCursor.h"
#include "WindowKit.h"

namespace orvik::statements {

using namespace orvik::app;

frmBillRegister::frmBillRegister(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    auto status = RowsModel::text(QStringLiteral("狀態"), bfStatus);
    status.text = [](const RowsModel::Row& r) {
        return billStatusText(int(whole(r.value(bfStatus))));
    };
    // The company's bank: the receiving one of a received bill, the issuing one of an issued.
    auto bank = RowsModel::text(QStringLiteral("銀行"), -1);
    bank.text = [](const RowsModel::Row& r) {
        return store::storedBool(r.value(bfReceived))
                   ? r.value(bfReceivingBank).toString() + QLatin1Char(' ') +
                         r.value(bfReceivingAccount).toString()
                   : r.value(bfIssuingBank).toString() + QLatin1Char(' ') +
                         r.value(bfIssuingAccount).toString();
    };
    auto party = RowsModel::text(QStringLiteral("對象"), -1);
    party.text = [](const RowsModel::Row& r) {
        return store::storedBool(r.value(bfReceived)) ? r.value(bfDrawer).toString()
                                                      : r.value(bfPayee).toString();
    };
    bills_.setColumns({
        RowsModel::text(QStringLiteral("票據號碼"), bfNumber),
        RowsModel::yesNo(QStringLiteral("收開"), bfReceived, QStringLiteral("收到"),
                         QStringLiteral("開出")),
        status,
        RowsModel::rocDate(QStringLiteral("開票日期"), bfIssued),
        RowsModel::rocDate(QStringLiteral("到期日期"), bfDue),
        RowsModel::rocDate(QStringLiteral("提醒日期"), bfRemind),
        RowsModel::rocDate(QStringLiteral("可用日期"), bfAvailable),
        RowsModel::amount(QStringLiteral("金額"), bfAmount),
        bank,
        party,
        RowsModel::text(QStringLiteral("收支單號"), bfVoucher),
    });
    // Unprocessed bills past their due date stand out.
    bills_.setRowBackground([](const RowsModel::Row& r) {
        const QDate due = store::storedDate(r.value(bfDue));
        if (whole(r.value(bfStatus)) == 0 && due.isValid() && due < Clock::today())
            return QColor(255, 220, 200);
        return QColor();
    });
    setUpList(grdBills, &bills_);

    QStringList banks{QString()};
    QSet<QString> seen;
    auto rs = dbAcc->openRecordset(
        QStringLiteral("SELECT bank FROM obank UNION SELECT bank FROM bbank ORDER BY 1"),
        store::RecordsetType::Snapshot);
    for (; !rs.isEOF(); rs.MoveNext()) {
        if (!seen.contains(rs.text(0).toCaseFolded())) {
            seen.insert(rs.text(0).toCaseFolded());
            banks << rs.text(0);
        }
    }
    rs.Close();
    cbBank->addItems(banks);
    cbStatus->setCurrentIndex(1);  // 未處理: what an office looks at every day

    connectHandler(cmdQuery, &QPushButton::clicked, this, &frmBillRegister::cmdQuery_Click);
    connectHandler(cmdProcess, &QPushButton::clicked, this, &frmBillRegister::cmdProcess_Click);
    connectHandler(grdBills, &QTableView::doubleClicked, this, [this] { cmdProcess_Click(); });
    connectHandler(cmdExport, &QPushButton::clicked, this, &frmBillRegister::cmdExport_Click);
    connectHandler(cmdPrint, &QPushButton::clicked, this, &frmBillRegister::cmdPrint_Click);
    connectHandler(cmdClose, &QPushButton::clicked, this, [this] { close(); });
    cmdQuery_Click();
}

BillFilter frmBillRegister::filter() const {
    BillFilter f;
    f.side = BillSide(std::max(0, cbSide->currentIndex()));
    f.status = cbStatus->currentIndex() - 1;
    f.bank = cbBank->currentText().trimmed();
    f.dueWithinDays = ckDue->isChecked() ? spnDueDays->value() : -1;
    f.overdueOnly = ckOverdue->isChecked();
    f.reminderReached = ckRemind->isChecked();
    f.today = Clock::today();
    return f;
}

QString frmBillRegister::filterText() const {
    QStringList parts{cbSide->currentText(), cbStatus->currentText()};
    if (!cbBank->currentText().trimmed().isEmpty())
        parts << cbBank->currentText().trimmed();
    if (ckDue->isChecked())
        parts << QStringLiteral("%1 天內到期").arg(spnDueDays->value());
    if (ckOverdue->isChecked())
        parts << ckOverdue->text();
    if (ckRemind->isChecked())
        parts << QStringLiteral("已到提醒日或到期");
    return parts.join(QStringLiteral("　")) +
           QStringLiteral("（%1）").arg(FormatEra(Clock::today(), kEraShort));
}

void frmBillRegister::showReminded() {
    cbSide->setCurrentIndex(0);
    cbStatus->setCurrentIndex(1);
    cbBank->setCurrentIndex(0);
    ckDue->setChecked(false);
    ckOverdue->setChecked(false);
    ckRemind->setChecked(true);
    cmdQuery_Click();
}

void frmBillRegister::cmdQuery_Click() {
    const WaitCursor wait;
    result_ = billRegister(*dbAcc, filter());
    grdBills->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    bills_.setRows(result_.rows);
    QStringList parts;
    for (int s = 0; s < 4; ++s)
        parts << QStringLiteral("%1 %2 張 %3")
                     .arg(billStatusText(s))
                     .arg(result_.byStatus[size_t(s)].count)
                     .arg(FormatAmount(result_.byStatus[size_t(s)].amount));
    lbTotals->setText(QStringLiteral("共 %1 張 %2　（%3）")
                          .arg(result_.all.count)
                          .arg(FormatAmount(result_.all.amount), parts.join(QStringLiteral("；"))));
}

void frmBillRegister::cmdProcess_Click() {
    const QModelIndex at = grdBills->currentIndex();
    if (!at.isValid()) {
        MsgBox(QStringLiteral("請先選擇票據"), Buttons::OK, Icon::Exclamation);
        return;
    }
    if (!HasAnyRight(5, 8)) {
        MsgBox(QStringLiteral("您沒有這項作業的權限"), Buttons::OK, Icon::Exclamation,
               QStringLiteral("Acc"));
        return;
    }
    const QString voucher = bills_.row(at.row()).value(bfVoucher).toString();
    // A combined bill is stored under its key; the form shows it through any of its vouchers,
    // and through the key itself.
    bills::showStoredBill(voucher);
    cmdQuery_Click();
}

void frmBillRegister::cmdExport_Click() {
    QVector<CellKind> kinds(bills_.columnCount(), CellKind::Text);
    kinds[3] = kinds[4] = kinds[5] = kinds[6] = CellKind::Date;
    kinds[7] = CellKind::Amount;
    const QString company =
        dbPrint->scalar(QStringLiteral("SELECT ion FROM company LIMIT 1")).toString();
    exportWithDialog(tableFromModel(bills_, kinds, QStringLiteral("票據登記簿"),
                                    {company, QStringLiteral("票據登記簿 ") + filterText()}),
                     QStringLiteral("票據登記簿"));
}

void frmBillRegister::cmdPrint_Click() {
    report::Values values{{QStringLiteral("標題"), QStringLiteral("票據登記簿")},
                          {QStringLiteral("條件"), filterText()},
                          {QStringLiteral("合計"), lbTotals->text()}};
    printStatement(this, QStringLiteral("bills.rpt"), values,
                   modelRows(bills_, QStringLiteral("rows")), QStringLiteral("票據登記簿"));
}

}  // namespace orvik::statements
