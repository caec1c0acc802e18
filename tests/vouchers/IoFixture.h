#pragma once

// A database folder, the program around it and helpers for driving the voucher form as a user
// would. Every test makes its own fixture; the clock stands still at 2003-07-12 10:00 (day
// prefix 920712) unless the test moves it.

#include <QDateTime>
#include <QStandardItemModel>
#include <QtTest>

#include "BillHandOver.h"
#include "Clock.h"
#include "Forms.h"
#include "Globals.h"
#include "Pickers.h"
#include "ProgramSandbox.h"
#include "Recordset.h"
#include "TestDataFolder.h"
#include "WriteOffHandOver.h"
#include "frmBill.h"
#include "frmIo.h"

namespace orvik::testing {

inline const QDate kToday(2003, 7, 12);
inline constexpr qint32 kAllRights = 4194303;

// One iof row with what a test does not care about filled in.
struct VoucherRow {
    QString no{};
    qint16 status = -1;
    qint64 amount = 1000;
    QString account = QStringLiteral("5101");
    bool expense = true;
    QString accountName = QStringLiteral("文具");
    QString use = QStringLiteral("購買文具");
    QString project{};
    QString projectName{};
    qint16 suggested = -1;
    // Entry, occurrence and (the clock's) approval fall on different days, so that a date
    // taken from the wrong field shows.
    QDate inDay = kToday.addDays(-2);
    QDate hDay = kToday.addDays(-5);
};

class IoFixture {
  public:
    explicit IoFixture(qint32 rights = kAllRights) {
        folder.openAsProgram();
        app::gRights = rights;
        app::Clock::setFixedNow(QDateTime(kToday, QTime(10, 0)));
        acc().execute(
            QStringLiteral("insert into acc (id, incom, acc) values "
                           "('4101', -1, '工程收入'), ('5101', 0, '文具')"));
    }
    ~IoFixture() {
        bills::resetHandOver();
        writeoff::resetHandOver();
    }

    TestDataFolder folder;  // outlives the sandbox, which closes the databases
    ProgramSandbox sandbox;

    store::Database& acc() { return *app::dbAcc; }
    ScriptedPrompts& prompts() { return sandbox.prompts(); }

    void addVoucher(const VoucherRow& v) {
        acc().execute(
            QStringLiteral("insert into iof values (?, ?, ?, ?, ?, ?, ?, ?, '', '', ?, ?, '', ?, "
                           "'王大明', '李小華', 0, '', 0, 0, ?)"),
            {v.inDay, v.no, v.use, v.status, v.amount, v.account, v.expense, v.accountName,
             v.project, v.projectName, v.hDay, v.suggested});
    }

    // All 21 columns of a voucher, as stored.
    QVariantList row(const QString& no) {
        auto rs = acc().openRecordset(QStringLiteral("select * from iof where 單號 = ?"), {no},
                                      store::RecordsetType::Snapshot);
        QVariantList out;
        if (!rs.isEOF()) {
            for (int i = 0; i < rs.fieldCount(); ++i)
                out << rs.field(i);
        }
        return out;
    }

    int count(const QString& sql, const QVariantList& params = {}) {
        return acc().scalar(sql, params).toInt();
    }

    vouchers::frmIo* open() {
        auto* form = app::Forms::get<vouchers::frmIo>();
        form->show();
        return form;
    }

    // Picks the account with `code` from the drop-down list, as a click would.
    static void pickAccount(vouchers::frmIo* f, const QString& code) {
        const int row = findRow(f->cbAcc, 1, code);
        QVERIFY2(row >= 0, qPrintable(code));
        f->cbAcc->setCurrentIndex(row);
        emit f->cbAcc->activated(row);
    }

    static void pickProject(vouchers::frmIo* f, const QString& code) {
        const int row = findRow(f->cbPj, 0, code);
        QVERIFY2(row >= 0, qPrintable(code));
        f->cbPj->setCurrentIndex(row);
        emit f->cbPj->activated(row);
    }

    static int findRow(QComboBox* box, int column, const QString& text) {
        const auto* model = static_cast<QStandardItemModel*>(box->model());
        for (int r = 0; r < model->rowCount(); ++r) {
            if (model->item(r, column)->text() == text)
                return r;
        }
        return -1;
    }

    static QStringList columnTexts(QComboBox* box, int column) {
        const auto* model = static_cast<QStandardItemModel*>(box->model());
        QStringList out;
        for (int r = 0; r < model->rowCount(); ++r)
            out << model->item(r, column)->text();
        return out;
    }

    static QStringList items(QComboBox* box) {
        QStringList out;
        for (int i = 0; i < box->count(); ++i)
            out << box->itemText(i);
        return out;
    }

    // Fills the grid panel as the review list would and double-clicks the row of `no`.
    static void pickFromGrid(vouchers::frmIo* f, const QString& no) {
        f->HFG->setRows({QString(), QStringLiteral("收支單號"), QString()},
                        {{QString(), no, QString()}});
        emit f->HFG->cellDoubleClicked(1, 1);
    }

    // A new voucher filled in and saved through the form.
    static void enterVoucher(vouchers::frmIo* f, const QString& amount, const QString& account,
                             const QString& use = QStringLiteral("購買文具")) {
        f->cmdAdd->click();
        f->cbUse->setEditText(use);
        QTest::keyClicks(f->txtCash, amount);
        pickAccount(f, account);
        f->cmdSv->click();
    }

    // Ticks 已簽核, chooses 現金 or 票據 and saves.
    static void approve(vouchers::frmIo* f, bool cash) {
        f->ck->click();
        f->optA[cash ? 0 : 1]->click();
        f->cmdSv->click();
    }

    // The company's accounts the bill form offers: a deposit account receives income bills,
    // a cheque account issues expense bills.
    void addBanks() {
        acc().execute(
            QStringLiteral("insert into obank (bank, id, user) values "
                           "('台灣銀行', '001-111', '本公司')"));
        acc().execute(
            QStringLiteral("insert into bbank (bank, id, user) values "
                           "('第一銀行', '123-456', '本公司支存')"));
    }

    // Fills the bill form open for entry as a user does (the issue date, which the due date
    // takes too; the direction's required bank, its first row; the bill number) and presses
    // 儲存.
    static void fillBill(QWidget* w, const QString& billNo, const QDate& issued = kToday) {
        auto* b = qobject_cast<bills::frmBill*>(w);
        QVERIFY(b);
        pickDate(b->DTP1, issued);
        QComboBox* bank = b->lbIo->text() == QStringLiteral("收 到 票 據") ? b->cbCbnk : b->cbWbnk;
        QVERIFY(bank->count() > 0);
        bank->setCurrentIndex(0);
        emit bank->activated(0);
        b->txtBillNo->setText(billNo);
        b->cmdSv->click();
    }

    // Leaves the bill form with 取消.
    static void cancelBill(QWidget* w) {
        auto* b = qobject_cast<bills::frmBill*>(w);
        QVERIFY(b);
        b->cmdCencel->click();
    }
};

}  // namespace orvik::testing
