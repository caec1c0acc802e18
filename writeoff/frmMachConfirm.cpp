// 確定沖帳: the amount to stamp, and the instalment or addition row written off in one
// transaction.

#include "Audit.h"
#include "EngineError.h"
#include "Program.h"
#include "Prompts.h"
#include "Recordset.h"
#include "Routines.h"
#include "WriteOffHandOver.h"
#include "WriteOffRules.h"
#include "frmMach.h"

namespace orvik::writeoff {

using namespace orvik::app;

namespace {

const QString kTitle = QStringLiteral("Acc");
const QString kAmountPrompt = QStringLiteral("填入沖帳金額");

enum class Outcome { Written, AlreadyWrittenOff, NotFound };

void ReportNotFound() {
    MsgBox(QStringLiteral("找不到此筆應收付，未沖帳"), Buttons::OK, Icon::Exclamation, kTitle);
}

}  // namespace

void frmMach::cmd_Click() {
    // Writing off belongs to those with the write-off right, asked again where it is written.
    if (!HasRight(4)) {
        MsgBox(QStringLiteral("您沒有這項作業的權限"), Buttons::OK, Icon::Exclamation,
               QStringLiteral("ACC"));
        return;
    }
    const VoucherForWriteOff voucher = voucherForWriteOff();
    // lbMachCash shows this same figure, so the amount compared is the amount stored.
    qint64 amount = WholeAmount(voucher.amountText);
    const qint64 shown = amount;
    if (shown != selAmount) {
        if (MsgBox(QStringLiteral("沖帳金額與預付金額不符\r\n是否沖帳？"), Buttons::YesNo,
                   Icon::Question, kTitle, DefaultButton::Second) != Answer::Yes)
            return;
        if (selAmount < shown) {
            const auto typed = AskAmount();
            if (!typed)
                return;
            amount = *typed;
        }
    }

    const bool instalment = isTrue(selIsInstalment);
    const QTableWidgetItem* key = (instalment ? hfgC : hfgR)->item(selRow, 0);
    const auto period = PeriodFromKey(key ? key->text() : QString(), instalment);
    if (!period) {
        ReportNotFound();
        lstRio_Click();  // show what is open now; the button goes with the old rows
        return;
    }
    switch (WriteOffRow(*period, amount)) {
        case WriteResult::Written:
            break;
        case WriteResult::Failed:
            return;  // nothing written; the row stays chosen for another try
        case WriteResult::Refused:
            lstRio_Click();
            return;
    }
    HideConfirmButton();
    Unload();
}

std::optional<qint64> frmMach::AskAmount() {
    QString prompt = kAmountPrompt;
    for (;;) {
        const auto answer = InputBox(prompt, kTitle, QString::number(selAmount));
        // 取消 abandons the write-off instead of asking forever.
        if (!answer)
            return std::nullopt;
        if (const auto typed = TypedAmount(*answer))
            return typed;
        prompt = kAmountPrompt + QStringLiteral("\r\n必須是數字");
    }
}

frmMach::WriteResult frmMach::WriteOffRow(const QVariant& period, qint64 amount) {
    const bool instalment = isTrue(selIsInstalment);
    const QString table = instalment ? InstalmentTable(income_) : AdditionTable(income_);
    const QString id = ListValue();
    const VoucherForWriteOff voucher = voucherForWriteOff();
    store::Database& db = *dbAcc;

    Outcome outcome = Outcome::Written;
    const bool written = guardWrite(cmd->text(), [&] {
        outcome = Outcome::Written;
        store::Transaction tx(db);
        // Only a row that is still open, read inside the transaction: one that another copy
        // wrote off since the grid was filled keeps that copy's stamp.
        store::Recordset rs = db.openRecordset(
            QStringLiteral("select * from %1 where id = ? and 期別 = ? and 處理 = 0").arg(table),
            {id, period});
        if (rs.isEOF()) {
            const QVariant any =
                db.scalar(QStringLiteral("select 1 from %1 where id = ? and 期別 = ?").arg(table),
                          {id, period});
            outcome = any.isValid() ? Outcome::AlreadyWrittenOff : Outcome::NotFound;
        } else {
            const int c = instalment ? kInstalmentStampColumn : kAdditionStampColumn;
            const QJsonObject before = audit::currentRow(rs);
            rs.Edit();
            rs.setField(c, amount);                                       // 沖帳金額
            rs.setField(c + 1, voucher.date);                             // 沖帳日期
            rs.setField(c + 2, voucher.cash);                             // 現金沖帳
            rs.setField(c + 3, voucher.cash ? QString(QLatin1String(""))  // 沖帳票據號碼
                                            : FindBillNo(voucher.number));
            rs.setField(c + 4, voucher.number);  // 沖帳單號
            rs.setField(c + 5, true);            // 處理
            rs.Update();
            audit::Event event{audit::Kind::WriteOff, table,
                               id + QLatin1Char('/') + period.toString(), before,
                               audit::currentRow(rs)};
            event.voucher = voucher.number;
            audit::record(db, event);
            tx.commit();
        }
        rs.Close();
    });
    if (!written)
        return WriteResult::Failed;

    switch (outcome) {
        case Outcome::Written:
            return WriteResult::Written;
        case Outcome::AlreadyWrittenOff:
            MsgBox(QStringLiteral("此筆已經沖帳，不能重複沖帳"), Buttons::OK, Icon::Exclamation,
                   kTitle);
            return WriteResult::Refused;
        case Outcome::NotFound:
            break;
    }
    ReportNotFound();
    return WriteResult::Refused;
}

}  // namespace orvik::writeoff
