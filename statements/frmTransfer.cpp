#include "frmTransfer.h"

#include "BillStore.h"
#include "Clock.h"
#include "EraDate.h"
#include "Globals.h"
#include "Program.h"
#include "Prompts.h"
#include "Routines.h"
#include "WaitCursor.h"
#include "WindowKit.h"

namespace orvik::statements {

using namespace orvik::app;

namespace {

enum { trKey, trDate, trFrom, trTo, trAmount, trMemo, trState };
const QString kTitle = QStringLiteral("轉帳處理");

}  // namespace

frmTransfer::frmTransfer(QWidget* parent) : QWidget(parent) {
    setupUi(this);
    list_.setColumns({RowsModel::text(QStringLiteral("轉帳編號"), trKey),
                      RowsModel::rocDate(QStringLiteral("日期"), trDate),
                      RowsModel::text(QStringLiteral("轉出"), trFrom),
                      RowsModel::text(QStringLiteral("轉入"), trTo),
                      RowsModel::amount(QStringLiteral("金額"), trAmount),
                      RowsModel::text(QStringLiteral("狀態"), trState),
                      RowsModel::text(QStringLiteral("摘要"), trMemo)});
    setUpList(grdTransfers, &list_);
    txtAmount->setAlignment(Qt::AlignRight);
    dtDate->setDate(Clock::today());
    accounts_ = bankAccounts(*dbAcc);
    cbKind_Click();
    refresh();

    connectHandler(cbKind, &QComboBox::currentIndexChanged, this, &frmTransfer::cbKind_Click);
    connectHandler(cbFrom, &QComboBox::currentIndexChanged, this, &frmTransfer::cbFrom_Click);
    connectHandler(cmdSave, &QPushButton::clicked, this, &frmTransfer::cmdSave_Click);
    connectHandler(cmdExport, &QPushButton::clicked, this, &frmTransfer::cmdExport_Click);
    connectHandler(cmdPrint, &QPushButton::clicked, this, &frmTransfer::cmdPrint_Click);
    connectHandler(cmdReverse, &QPushButton::clicked, this, &frmTransfer::cmdReverse_Click);
    connectHandler(cmdClose, &QPushButton::clicked, this, [this] { close(); });
}

void frmTransfer::fillSides() {
    // Deposit: cash → bank; withdrawal: bank → cash; transfer: bank → bank.
    const int kind = std::max(0, cbKind->currentIndex());
    cbFrom->blockSignals(true);
    cbFrom->clear();
    cbTo->clear();
    const auto banks = [this](QComboBox* combo) {
        for (int i = 0; i < accounts_.size(); ++i)
            combo->addItem(accounts_.at(i).label(), i);
    };
    if (kind == 0)
        cbFrom->addItem(QStringLiteral("現金"), -1);
    else
        banks(cbFrom);
    if (kind == 1)
        cbTo->addItem(QStringLiteral("現金"), -1);
    else
        banks(cbTo);
    if (kind == 2 && cbTo->count() > 1)
        cbTo->setCurrentIndex(1);
    cbFrom->blockSignals(false);
}

void frmTransfer::cbKind_Click() {
    fillSides();
    cbFrom_Click();
}

void frmTransfer::cbFrom_Click() {
    Side from;
    if (!sideOf(cbFrom, &from)) {
        lbAvailable->clear();
        return;
    }
    const qint64 available =
        from.cash ? cashBalance(*dbAcc)
                  : bills::availableFunds(*dbAcc, from.account.bank, from.account.account);
    lbAvailable->setText(QStringLiteral("轉出方可用餘額 %1").arg(FormatAmount(available)));
}

bool frmTransfer::sideOf(QComboBox* combo, Side* side) const {
    if (combo->currentIndex() < 0)
        return false;
    const int at = combo->currentData().toInt();
    if (at < 0) {
        side->cash = true;
        return true;
    }
    if (at >= accounts_.size())
        return false;
    side->cash = false;
    side->account = accounts_.at(at);
    return true;
}

void frmTransfer::refresh() {
    QVector<RowsModel::Row> rows;
    for (const auto& t : transfers(*dbAcc))
        rows.push_back({t.key, iso(t.date), t.from, t.to, t.amount, t.memo,
                        t.reversal   ? QStringLiteral("沖銷")
                        : t.reversed ? QStringLiteral("已沖銷")
                                     : QString()});
    list_.setRows(std::move(rows));
}

void frmTransfer::tell(const TransferResult& r, const QString& action) {
    using Outcome = TransferResult::Outcome;
    switch (r.outcome) {
        case Outcome::Done:
            MsgBox(QStringLiteral("%1完成，編號 %2").arg(action, r.key), Buttons::OK,
                   Icon::Information, kTitle);
            break;
        case Outcome::InsufficientFunds:
            MsgBox(QStringLiteral("轉出方餘額不足，無法%1\r\n餘額為 %2")
                       .arg(action, FormatAmount(r.available)),
                   Buttons::OK, Icon::Critical, kTitle);
            break;
        case Outcome::SameSide:
            MsgBox(QStringLiteral("轉出與轉入不可為同一帳戶"), Buttons::OK, Icon::Exclamation,
                   kTitle);
            break;
        case Outcome::BadAmount:
            MsgBox(QStringLiteral("請輸入大於 0 的金額"), Buttons::OK, Icon::Exclamation, kTitle);
            break;
        case Outcome::AlreadyReversed:
            MsgBox(QStringLiteral("這筆轉帳已經沖銷"), Buttons::OK, Icon::Exclamation, kTitle);
            break;
        case Outcome::NotFound:
            MsgBox(QStringLiteral("找不到這筆轉帳，或它本身是沖銷"), Buttons::OK, Icon::Exclamation,
                   kTitle);
            break;
    }
}

void frmTransfer::cmdSave_Click() {
    if (!HasRight(20)) {
        MsgBox(QStringLiteral("您沒有這項作業的權限"), Buttons::OK, Icon::Exclamation,
               QStringLiteral("Acc"));
        return;
    }
    TransferRequest request;
    if (!sideOf(cbFrom, &request.from) || !sideOf(cbTo, &request.to)) {
        MsgBox(QStringLiteral("請選擇轉出與轉入的帳戶"), Buttons::OK, Icon::Exclamation, kTitle);
        return;
    }
    bool ok = true;
    const auto amount = typedAmount(txtAmount->text(), &ok);
    if (!ok || !amount || *amount <= 0) {
        MsgBox(QStringLiteral("請輸入大於 0 的金額"), Buttons::OK, Icon::Exclamation, kTitle);
        txtAmount->setFocus();
        return;
    }
    if (!dtDate->date().isValid()) {
        MsgBox(badDateMessage(QStringLiteral("日期")), Buttons::OK, Icon::Exclamation, kTitle);
        dtDate->setFocus();
        return;
    }
    request.amount = *amount;
    request.date = dtDate->date();
    request.memo = txtMemo->text();
    if (MsgBox(QStringLiteral("確定自 %1 轉 %2 元至 %3？")
                   .arg(request.from.label(), FormatAmount(request.amount), request.to.label()),
               Buttons::YesNo, Icon::Question, kTitle, DefaultButton::Second) != Answer::Yes)
        return;
    TransferResult result;
    if (!guardWrite(cmdSave->text().remove(QLatin1Char('&')),
                    [&] { result = transfer(*dbAcc, request); }))
        return;
    tell(result, QStringLiteral("轉帳"));
    if (result.outcome == TransferResult::Outcome::Done) {
        txtAmount->clear();
        txtMemo->clear();
        refresh();
        cbFrom_Click();
    }
}

void frmTransfer::cmdReverse_Click() {
    if (!HasRight(20)) {
        MsgBox(QStringLiteral("您沒有這項作業的權限"), Buttons::OK, Icon::Exclamation,
               QStringLiteral("Acc"));
        return;
    }
    const QModelIndex at = grdTransfers->currentIndex();
    if (!at.isValid()) {
        MsgBox(QStringLiteral("請先選擇要沖銷的轉帳"), Buttons::OK, Icon::Exclamation, kTitle);
        return;
    }
    const QString key = list_.row(at.row()).value(trKey).toString();
    if (MsgBox(QStringLiteral("確定以反向轉帳沖銷 %1？").arg(key), Buttons::YesNo, Icon::Question,
               kTitle, DefaultButton::Second) != Answer::Yes)
        return;
    const QDate date = dtDate->date().isValid() ? dtDate->date() : Clock::today();
    TransferResult result;
    if (!guardWrite(QStringLiteral("沖銷"), [&] { result = reverseTransfer(*dbAcc, key, date); }))
        return;
    tell(result, QStringLiteral("沖銷"));
    if (result.outcome == TransferResult::Outcome::Done) {
        refresh();
        cbFrom_Click();
    }
}

void frmTransfer::cmdExport_Click() {
    QVector<CellKind> kinds(list_.columnCount(), CellKind::Text);
    kinds[1] = CellKind::Date;
    kinds[4] = CellKind::Amount;
    const QString company =
        dbPrint->scalar(QStringLiteral("SELECT ion FROM company LIMIT 1")).toString();
    exportWithDialog(
        tableFromModel(list_, kinds, QStringLiteral("轉帳"), {company, QStringLiteral("轉帳處理")}),
        QStringLiteral("轉帳"));
}

void frmTransfer::cmdPrint_Click() {
    printStatement(this, QStringLiteral("transfers.rpt"),
                   {{QStringLiteral("標題"), QStringLiteral("轉帳處理")},
                    {QStringLiteral("筆數"), QString::number(list_.rowCount())}},
                   modelRows(list_, QStringLiteral("rows")), QStringLiteral("轉帳處理"));
}

}  // namespace orvik::statements
