#pragma once

// Around each write-off test: a database folder of its own opened as the program opens it,
// scripted prompts, and a voucher on display that the test sets.

#include <QTest>

#include "Forms.h"
#include "Globals.h"
#include "ProgramSandbox.h"
#include "Recordset.h"
#include "Routines.h"
#include "TestDataFolder.h"
#include "WriteOffHandOver.h"
#include "frmMach.h"

namespace orvik::testing {

class WriteOffTestKit {
  public:
    WriteOffTestKit() {
        folder_.openAsProgram();
        app::gRights = app::kAllRights;  // a user who may write off; tests lower it
        writeoff::setVoucherSource([this] { return voucher; });
    }
    ~WriteOffTestKit() { writeoff::resetHandOver(); }

    bool isValid() const { return folder_.isValid() && app::dbAcc; }
    ScriptedPrompts& prompts() { return sandbox_.prompts(); }
    store::Database& db() { return *app::dbAcc; }
    QString folder() const { return folder_.path(); }

    // What the voucher form shows: number, amount, date, settled in cash.
    writeoff::VoucherForWriteOff voucher{"1130510001", "10000", QDate(2024, 5, 10), true};

    // prefix: ri (receivables) or ro (payables).
    void item(const QString& prefix, const QString& id, const QString& name) {
        db().execute(QString("insert into %1 (id, 收名稱) values (?, ?)").arg(prefix), {id, name});
    }
    // table: ri期, ri加, ro期 or ro加; the other columns get sample values.
    void row(const QString& table, const QString& id, int period, qint64 amount,
             bool processed = false) {
        const QString n = QString::number(period);
        if (table.endsWith("期"))
            db().execute(QString("insert into %1 values (?, ?, ?, '2024-06-30', 0.3, "
                                 "'2024-06-01', ?, null, null, 0, null, null, ?)")
                             .arg(table),
                         {id, period, amount, "AB" + n, processed ? -1 : 0});
        else
            db().execute(QString("insert into %1 values (?, ?, ?, ?, ?, '2024-07-15', "
                                 "'2024-07-01', ?, null, null, 0, null, null, ?)")
                             .arg(table),
                         {id, period, "Q" + n, "C" + n, amount, "CD" + n, processed ? -1 : 0});
    }

    // 沖帳金額, 沖帳日期, 現金沖帳, 沖帳票據號碼, 沖帳單號, 處理 of one row.
    QVariantList stamp(const QString& table, const QString& id, int period) {
        const int first = table.endsWith("期") ? 7 : 8;
        store::Recordset rs =
            db().openRecordset(QString("select * from %1 where id = ? and 期別 = ?").arg(table),
                               {id, period}, store::RecordsetType::Snapshot);
        QVariantList out;
        for (int i = first; !rs.isEOF() && i < first + 6; ++i)
            out << rs.field(i);
        return out;
    }
    int processedCount() {
        int n = 0;
        for (const char* t : {"ri期", "ri加", "ro期", "ro加"})
            n += db().scalar(QString("select count(*) from %1 where 處理 <> 0").arg(t)).toInt();
        return n;
    }

    // Loads the form as the voucher form's 應收付沖帳 button does, and shows it.
    writeoff::frmMach* open(bool income) {
        app::gMachIncome = app::toBool16(income);
        auto* form = app::Forms::get<writeoff::frmMach>();
        form->show();
        return form;
    }

  private:
    TestDataFolder folder_;
    ProgramSandbox sandbox_;
};

}  // namespace orvik::testing
