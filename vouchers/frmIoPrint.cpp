// Printing the voucher on display: the heading (company.ion, shown in txtIo), the one-row print
// record ptios that follows the voucher on display, and the button 列印此 with its two layouts.
// Both tables live in the print database pt.mdb, which every copy of the program shares.

#include <QDir>
#include <optional>

#include "Globals.h"
#include "Program.h"
#include "Prompts.h"
#include "Routines.h"
#include "Startup.h"
#include "frmIo.h"

namespace orvik::vouchers {

namespace {

const QString kDefaultHeading = QStringLiteral("收支單");
const QString kFirstLayout = QStringLiteral("ios.rpt");
const QString kSecondLayout = QStringLiteral("jios.rpt");

// The first row of company is the heading; a table without one gets it, holding no value yet.
// One statement, so two copies of the program starting at once cannot both add a row.
void ensureCompanyRow(store::Database& db) {
    db.execute(QStringLiteral(
        "insert into company (ion) select null where not exists (select 1 from company)"));
}

}  // namespace

void frmIo::ShowCompany() {
    store::Recordset rs = app::dbPrint->openRecordset(QStringLiteral("select ion from company"),
                                                      store::RecordsetType::Snapshot);
    const bool missing = rs.isEOF();
    const bool none = missing || rs.field(0).isNull();
    txtIo->setText(none ? kDefaultHeading : rs.text(0));
    rs.Close();
    if (missing)
        ensureCompanyRow(*app::dbPrint);
}

// Rebuilt after every display, pick and save, so that ptios holds exactly the voucher on
// display. While another copy holds pt.mdb past the wait, browsing goes on without it: the
// print rebuilds the record before it prints, and a busy pt.mdb is reported there.
void frmIo::FillPrintRecord() {
    try {
        writePrintRecord();
    } catch (const store::EngineError& error) {
        if (!app::isBusyError(error))
            throw;
    }
}

// One delete and one insert in one transaction (a savepoint inside the print's own
// transaction), nothing read back: it runs at every step of the scroll bar.
void frmIo::writePrintRecord() {
    const QString amount = txtCash->text();
    const bool document = Check1->isChecked();
    QString suggested;
    if (Op1[0]->isChecked())
        suggested = QStringLiteral("現金");
    else if (Op1[1]->isChecked())
        suggested = QStringLiteral("票據");
    const QStringList row{
        lbInDay->text(),                        // 0 輸入日期
        lbNo->text(),                           // 1 單號
        suggested,                              // 2 建議方式
        cbUse->currentText(),                   // 3 用途說明
        projectCode(),                          // 4 專案號碼
        lbPjTxt->text(),                        // 5 專案名稱
        cbWt->currentText(),                    // 6 工程種類
        cbAcc->currentText(),                   // 7 科目代號
        lbAcIo->text(),                         // 8 收支
        lbAcTxt->text(),                        // 9 科目名稱
        app::GroupThousands(amount),            // 10 金額
        cbPs1->currentText(),                   // 11 附註一
        cbPs2->currentText(),                   // 12 附註二
        cbReq->currentText(),                   // 13 申請人
        cbSin->currentText(),                   // 14 簽收人
        lbHday->text(),                         // 15 發生日期
        document ? txtBno->text() : QString(),  // 16 單據號碼
        document ? txtTax->text() : QString(),  // 17 稅額
        document ? (O1[0]->isChecked() ? QStringLiteral("費用") : QStringLiteral("進銷項"))
                 : QString(),                                   // 18 單據類別
        app::AmountInWords(amount) + QStringLiteral("  元整"),  // 19 大寫金額
    };
    // All text; an empty control gives empty text, never null.
    QVariantList values;
    values.reserve(row.size());
    for (const QString& text : row)
        values << (text.isNull() ? QStringLiteral("") : text);

    store::Database& db = *app::dbPrint;
    // pt.mdb holds scratch rows only: its commits need not wait for the disk, which would
    // cost a scroll step an fsync. (Set outside a transaction, where SQLite takes it.)
    if (db.transactionDepth() == 0)
        db.execute(QStringLiteral("PRAGMA synchronous = OFF"));
    store::Transaction tx(db);
    db.execute(QStringLiteral("delete from ptios"));
    db.execute(QStringLiteral("insert into ptios values "
                              "(?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
               values);
    tx.commit();
}

void frmIo::cmdPt_Click() {
    PrintVoucher(kFirstLayout);
}

void frmIo::cmdPt_MouseDown(Qt::MouseButton button) {
    // Only the right button; the left button's click prints the first layout. A disabled
    // button (a voucher being entered or edited) prints nothing.
    if (button != Qt::RightButton || !cmdPt->isEnabled())
        return;
    PrintVoucher(kSecondLayout);
}

// Stores the heading of txtIo and prints the voucher on display with `layoutFile` from the
// program's folder. The heading and the print record are written and read back by the report
// in one transaction, so the page shows this voucher even when another copy of the program
// rebuilds ptios for its own voucher at the same moment. A layout that is missing or cannot
// be read, or a printout that cannot be written, is reported through the prompts service.
void frmIo::PrintVoucher(const QString& layoutFile) {
    if (!voucherOnDisplay())
        return;  // only a stored voucher is printed (none stored, or a picked one since deleted)
    store::Database& db = *app::dbPrint;
    crtp.setDataFiles(0, app::DataFile(QStringLiteral("pt.mdb")));
    crtp.setReportFileName(QDir(app::ProgramFolder()).filePath(layoutFile));
    // The heading and the record are written under the wait cursor; the preview then waits
    // for the user with the ordinary one.
    std::optional<report::ReportControl::Prepared> prepared;
    try {
        if (!app::guardWrite(cmdPt->text(), [&] {
                prepared = crtp.prepareWithin(db, [&] {
                    ensureCompanyRow(db);
                    db.execute(QStringLiteral("update company set ion = ? "
                                              "where rowid = (select min(rowid) from company)"),
                               {txtIo->text()});
                    writePrintRecord();
                });
            }))
            return;
        crtp.print(*prepared);
    } catch (const report::ReportError& e) {
        app::MsgBox(e.message(), app::Buttons::OK, app::Icon::Exclamation, QStringLiteral("Acc"));
    }
}

}  // namespace orvik::vouchers
