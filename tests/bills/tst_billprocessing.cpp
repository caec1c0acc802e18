// Bill processing: the read-only display of a stored bill, arming, the cashing checks, the
// ledger row, voiding and bouncing, refusals when another copy got there first, and two
// processes cashing against one account at once.

#include <QComboBox>
#include <QGroupBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "Audit.h"
#include "BillHandOver.h"
#include "BillTestKit.h"
#include "Forms.h"
#include "Modal.h"
#include "frmBill.h"

using namespace orvik;
using namespace orvik::testing;
using app::Answer;
using bills::frmBill;

namespace {

// A value inside an event's stored JSON, as text: the path's keys from the top down.
QString jsonAt(const QVariant& stored, const QStringList& path) {
    QJsonValue v = QJsonDocument::fromJson(stored.toString().toUtf8()).object();
    for (const QString& key : path)
        v = v.toObject().value(key);
    return v.isDouble() ? QString::number(v.toInteger()) : v.toString();
}

const QString kBank = QStringLiteral("第一銀行");
const QString kAccount = QStringLiteral("123-456");

// An expense cheque drawn on kBank/kAccount, or an income bill deposited to 台灣銀行/001.
bills::BillRow bill(const QString& key, bool income, const QDate& due, qint64 amount,
                    int days = 0) {
    bills::BillRow r;
    r.billNo = "NO-" + key;
    r.issueDate = due.addDays(-30);
    r.dueDate = due;
    r.income = income;
    r.amount = amount;
    r.amountWords = "詞 元整";
    r.voucherNo = key;
    if (income) {
        r.availableDate = due.addDays(days);
        r.issuingBank = "國泰世華";
        r.issuingAccount = "900-1";
        r.receivingBank = "台灣銀行";
        r.receivingAccount = "001";
    } else {
        r.remindDate = due.addDays(-days);
        r.issuingBank = kBank;
        r.issuingAccount = kAccount;
        r.receivingBank = "華南銀行";
    }
    return r;
}

// Shows the stored bill of `voucherNo`, presses 處理票據, chooses option `index` and
// answers the confirmation (when one is asked) with `answer`.
void process(const QString& voucherNo, int index) {
    app::ScopedModalHook hook([index](QWidget* w) {
        auto* f = static_cast<frmBill*>(w);
        f->cmdOp->click();
        f->Oop[index]->click();
    });
    bills::showStoredBill(voucherNo);
}

struct Ledger {
    int id;
    qint64 balance;
};

QList<Ledger> ledger(BillTestKit& kit, const QString& bank, const QString& account) {
    QList<Ledger> out;
    store::Recordset rs =
        kit.db().openRecordset("select id, bala from bank where bank = ? and Bid = ? order by id",
                               store::RecordsetType::Snapshot, {bank, account});
    for (; !rs.isEOF(); rs.MoveNext())
        out << Ledger{rs.field(0).toInt(), rs.field(1).toLongLong()};
    return out;
}

}  // namespace

class tst_BillProcessing : public QObject {
    Q_OBJECT

  private slots:
    void storedBill_readOnlyDisplay();
    void missingBill_messageAndSelfClose();
    void cashing_expenseChequeDueDate();
    void cashing_incomeBillWaitsForItsDelay();
    void cashing_storedDatesDecide_data();
    void cashing_storedDatesDecide();
    void cashing_fundsIncludeOverdraftAllowance();
    void cashing_idsAndBalancesRunPerAccount();
    void voidAndBounce_clearTheSettledVouchers();
    void arming_noCancelAndUnprocessed();
    void refused_whenProcessedByAnotherCopy();
    void concurrentCashing_consecutiveIdsAndBalances();
};

void tst_BillProcessing::storedBill_readOnlyDisplay() {
    BillTestKit kit(QDate(2024, 5, 10));
    bills::insertBill(kit.db(), bill("1130501001", true, QDate(2024, 5, 20), 8000, 2));
    bills::insertBill(kit.db(), bill("123S", false, QDate(2024, 6, 30), 999, 7));
    kit.db().execute("insert into iofs (多單號, 單號) values ('123S', '123'), ('123S', '125')");

    bool shown = false;
    app::ScopedModalHook hook([&](QWidget* w) {
        auto* f = static_cast<frmBill*>(w);
        shown = true;
        QCOMPARE(f->lbIoNo->text(), QString("1130501001"));
        QCOMPARE(f->lbIo->text(), QString("收 到 票 據"));
        QCOMPARE(f->lbW->text(), QString("2024/04/20"));
        QCOMPARE(f->lbCk->text(), QString("2024/05/20"));
        QCOMPARE(f->cbCbnk->currentText(), QString("台灣銀行"));
        QCOMPARE(f->cbDeDay->currentText(), QString("二天"));
        QVERIFY(f->cbDeDay->isVisibleTo(f) && !f->cbArDay->isVisibleTo(f));
        QVERIFY(f->Oop[0]->isChecked());
        QVERIFY(!f->FrmOp->isEnabled());
        QVERIFY(f->cmdOp->isVisibleTo(f));
        QVERIFY(!f->cmdSv->isVisibleTo(f) && !f->cmdCencel->isVisibleTo(f));
        for (QWidget* input : std::initializer_list<QWidget*>{
                 f->DTP1, f->DTP2, f->cbWbnk, f->cbCbnk, f->txtWid, f->txtWp, f->txtCp, f->txtCid,
                 f->txtBillNo, f->cbArDay, f->cbDeDay})
            QVERIFY2(!input->isEnabled(), qPrintable(input->objectName()));
    });
    app::gPicked = app::False;
    bills::showStoredBill("1130501001");
    QVERIFY(shown);
    QCOMPARE(app::gPicked, app::False);  // the voucher form's own value is given back
    QVERIFY(!app::Forms::isLoaded<frmBill>());

    // A voucher of a combined bill is shown through its key.
    app::ScopedModalHook combined([&](QWidget* w) {
        auto* f = static_cast<frmBill*>(w);
        QCOMPARE(f->lbIoNo->text(), QString("123S"));
        QCOMPARE(f->lbIo->text(), QString("開 出 票 據"));
        QCOMPARE(f->cbArDay->currentText(), QString("七天"));
        QVERIFY(f->cbArDay->isVisibleTo(f) && !f->cbDeDay->isVisibleTo(f));
    });
    bills::showStoredBill("125");
    QCOMPARE(app::gBillViewNo, QString("123S"));
}

void tst_BillProcessing::missingBill_messageAndSelfClose() {
    BillTestKit kit(QDate(2024, 5, 10));
    kit.prompts().expectMessage("此票據資料已經遺失");
    bool closedItself = false;
    app::ScopedModalHook hook([&](QWidget* w) {
        QVERIFY(static_cast<frmBill*>(w)->billMissing);
        QTRY_VERIFY(!app::Forms::isLoaded<frmBill>());  // on activation; w is gone now
        closedItself = true;
    });
    bills::showStoredBill("1130501009");
    QVERIFY(closedItself);
    QCOMPARE(kit.prompts().shown().size(), 1);
}

void tst_BillProcessing::cashing_expenseChequeDueDate() {
    const QDate due(2024, 5, 10);
    {
        BillTestKit kit(due.addDays(-1));  // due tomorrow
        kit.addBank("bbank", kBank, kAccount, "本公司", 100000);
        bills::insertBill(kit.db(), bill("1", false, due, 500));
        kit.prompts().expectMessage("票據未到期\r\n不可兌現");
        app::ScopedModalHook hook([](QWidget* w) {
            auto* f = static_cast<frmBill*>(w);
            f->cmdOp->click();
            f->Oop[1]->click();
            QVERIFY(f->Oop[0]->isChecked());
            QCOMPARE(f->opArmed, app::True);
        });
        bills::showStoredBill("1");
        QCOMPARE(kit.prompts().shown().at(0).title, QString("Acc"));
        QCOMPARE(kit.value("select 方式 from bill").toInt(), 0);
        QCOMPARE(kit.value("select count(*) from bank").toInt(), 0);
    }
    {
        BillTestKit kit(due);  // due today
        kit.addBank("bbank", kBank, kAccount, "本公司", 100000);
        kit.addVoucher("1", 1, 500);
        bills::insertBill(kit.db(), bill("1", false, due, 500));
        int voucherFormUnloaded = 0;
        bills::setVoucherFormUnload([&] { ++voucherFormUnloaded; });
        kit.prompts().expectMessage("確定處理此票據為[兌   現]", Answer::Yes);
        process("1", 1);
        QCOMPARE(kit.value("select 方式 from bill").toInt(), 1);
        QCOMPARE(kit.rowTexts("select * from bank"),
                 QStringList({"1", kAccount, kBank, "0", "2024-05-10", "500", "支出票據兌現",
                              "NO-1", "-500"}));
        QCOMPARE(voucherFormUnloaded, 1);
        QCOMPARE(kit.value("select 金額 from iof").toInt(), 500);  // cashing keeps the amount
    }
}

void tst_BillProcessing::cashing_incomeBillWaitsForItsDelay() {
    const QDate due(2024, 5, 10);
    {
        BillTestKit kit(QDate(2024, 5, 11));
        bills::insertBill(kit.db(), bill("1", true, due, 7000, 2));
        kit.prompts().expectMessage("票據未到可用日\r\n不可兌現");
        process("1", 1);
        QCOMPARE(kit.value("select 方式 from bill").toInt(), 0);
        QCOMPARE(kit.value("select count(*) from bank").toInt(), 0);
    }
    {
        BillTestKit kit(QDate(2024, 5, 12));
        bills::insertBill(kit.db(), bill("1", true, due, 7000, 2));
        kit.prompts().expectMessage("確定處理此票據為[兌   現]", Answer::Yes);
        process("1", 1);
        QCOMPARE(kit.value("select 方式 from bill").toInt(), 1);
        // Deposited to the receiving account.
        QCOMPARE(kit.rowTexts("select * from bank"),
                 QStringList({"1", "001", "台灣銀行", "-1", "2024-05-10", "7000", "收入票據兌現",
                              "NO-1", "7000"}));
    }
}

void tst_BillProcessing::cashing_storedDatesDecide_data() {
    QTest::addColumn<bool>("income");
    QTest::addColumn<int>("availableAfterDue");  // -1: no 可用日期 stored
    QTest::addColumn<bool>("dueStored");
    QTest::addColumn<int>("todayAfterDue");
    QTest::addColumn<QString>("refusal");  // empty: cashed
    // An available date beyond what the delay list shows (10 days) still holds.
    QTest::newRow("income, 15 days, on day 11") << true << 15 << true << 11 << "票據未到可用日";
    QTest::newRow("income, 15 days, on day 15") << true << 15 << true << 15 << "";
    QTest::newRow("income, no available date")
        << true << -1 << true << 30 << "沒有到期日期或可用日期";
    QTest::newRow("income, no due date") << true << 0 << false << 30 << "沒有到期日期或可用日期";
    QTest::newRow("expense, no due date") << false << -1 << false << 30 << "沒有到期日期";
    QTest::newRow("expense, due yesterday") << false << -1 << true << 1 << "";
}

// Cashing compares today with the dates as stored, never with dates derived from what a list
// can show; a bill without its dates is refused and nothing is booked.
void tst_BillProcessing::cashing_storedDatesDecide() {
    QFETCH(bool, income);
    QFETCH(int, availableAfterDue);
    QFETCH(bool, dueStored);
    QFETCH(int, todayAfterDue);
    QFETCH(QString, refusal);
    const QDate due(2024, 5, 10);
    BillTestKit kit(due.addDays(todayAfterDue));
    kit.addBank("bbank", kBank, kAccount, "本公司", 100000);
    bills::BillRow row = bill("1", income, due, 700);
    row.availableDate = availableAfterDue >= 0 ? due.addDays(availableAfterDue) : QDate();
    if (!dueStored)
        row.dueDate = QDate();
    bills::insertBill(kit.db(), row);
    if (refusal.isEmpty())
        kit.prompts().expectMessage("確定處理此票據為[兌   現]", Answer::Yes);
    else
        kit.prompts().expectMessage(refusal);
    process("1", 1);
    QCOMPARE(kit.value("select 方式 from bill").toInt(), refusal.isEmpty() ? 1 : 0);
    QCOMPARE(kit.value("select count(*) from bank").toInt(), refusal.isEmpty() ? 1 : 0);
    if (refusal.isEmpty())
        QCOMPARE(kit.value("select 異動日期 from bank").toString(), QString("2024-05-10"));

    // The store refuses too, whatever a form has checked.
    if (!refusal.isEmpty()) {
        bills::ProcessRequest request;
        request.key = "1";
        request.income = income;
        request.bank = income ? "台灣銀行" : kBank;
        request.account = income ? "001" : kAccount;
        request.amount = 700;
        request.today = due.addDays(todayAfterDue);
        const auto result = bills::processBill(kit.db(), request);
        QVERIFY(result.outcome == bills::ProcessResult::Outcome::TooEarly ||
                result.outcome == bills::ProcessResult::Outcome::DatesMissing);
        QCOMPARE(kit.value("select count(*) from bank").toInt(), 0);
    }
}

void tst_BillProcessing::cashing_fundsIncludeOverdraftAllowance() {
    BillTestKit kit(QDate(2024, 5, 10));
    kit.addBank("bbank", kBank, kAccount, "本公司", 100);
    kit.addLedger(kBank, kAccount, 1, 900);
    kit.addLedger("華南銀行", "555", 1, 900);  // an account without a bbank row
    bills::insertBill(kit.db(), bill("1", false, QDate(2024, 5, 1), 1000));
    auto other = bill("2", false, QDate(2024, 5, 1), 1000);
    other.issuingBank = "華南銀行";
    other.issuingAccount = "555";
    bills::insertBill(kit.db(), other);

    kit.prompts().expectMessage("確定處理此票據為[兌   現]", Answer::Yes);
    process("1", 1);
    QCOMPARE(ledger(kit, kBank, kAccount).last().id, 2);
    QCOMPARE(ledger(kit, kBank, kAccount).last().balance, -100);

    kit.prompts().expectMessage("支票存款的餘額不足,無法兌現\r\n餘額為 900");
    process("2", 1);
    QCOMPARE(kit.prompts().shown().last().title, QString("ACC"));
    QCOMPARE(kit.prompts().shown().last().icon, app::Icon::Critical);
    QCOMPARE(kit.value("select 方式 from bill where 收支單號 = '2'").toInt(), 0);
    QCOMPARE(ledger(kit, "華南銀行", "555").size(), 1);
}

void tst_BillProcessing::cashing_idsAndBalancesRunPerAccount() {
    BillTestKit kit(QDate(2024, 5, 10));
    kit.addBank("bbank", kBank, kAccount, "本公司", 1000);
    kit.addBank("bbank", kBank, "222", "本公司");
    kit.addLedger(kBank, "222", 1, 5000);
    kit.addLedger(kBank, "222", 2, 4000);
    kit.addLedger("台灣銀行", kAccount, 7, 99999);  // same account number at another bank
    if (!onServer())  // a fraction left by the old program; a server's amounts are whole
        kit.db().execute("update bank set bala = 4000.5 where id = 2");
    auto first = bill("1", false, QDate(2024, 5, 1), 300);
    first.issuingAccount = "222";
    bills::insertBill(kit.db(), first);
    bills::insertBill(kit.db(), bill("2", false, QDate(2024, 5, 1), 50));

    kit.prompts().expectMessage("兌", Answer::Yes).expectMessage("兌", Answer::Yes);
    process("1", 1);
    process("2", 1);
    const auto a = ledger(kit, kBank, "222");
    QCOMPARE(a.size(), 3);
    QCOMPARE(a.last().id, 3);
    QCOMPARE(a.last().balance, 3700);  // 4000.5 is taken as 4000, a half to the even side
    const auto b = ledger(kit, kBank, kAccount);
    QCOMPARE(b.size(), 1);  // the first movement of this account
    QCOMPARE(b.last().id, 1);
    QCOMPARE(b.last().balance, -50);
    QCOMPARE(ledger(kit, "台灣銀行", kAccount).size(), 1);
}

void tst_BillProcessing::voidAndBounce_clearTheSettledVouchers() {
    BillTestKit kit(QDate(2024, 5, 10));
    for (const char* no : {"123", "125", "130", "131"})
        kit.addVoucher(no, 1, 1000);
    kit.db().execute("insert into iofs (多單號, 單號) values ('123S', '123'), ('123S', '125')");
    bills::insertBill(kit.db(), bill("123S", false, QDate(2024, 6, 1), 2000));
    bills::insertBill(kit.db(), bill("130", false, QDate(2024, 6, 1), 1000));
    int voucherFormUnloaded = 0;
    bills::setVoucherFormUnload([&] { ++voucherFormUnloaded; });

    kit.prompts().expectMessage("確定處理此票據為[作   廢]", Answer::Yes);
    process("125", 2);  // through a voucher of the combined bill
    QCOMPARE(kit.value("select 方式 from bill where 收支單號 = '123S'").toInt(), 2);
    QCOMPARE(kit.value("select group_concat(單號) from iof where 金額 = 0").toString(),
             QString("123,125"));

    kit.prompts().expectMessage("確定處理此票據為[退   票]", Answer::Yes);
    process("130", 3);
    QCOMPARE(kit.value("select 方式 from bill where 收支單號 = '130'").toInt(), 3);
    QCOMPARE(kit.value("select group_concat(單號) from iof where 金額 = 0").toString(),
             QString("123,125,130"));
    QCOMPARE(kit.value("select 金額 from iof where 單號 = '131'").toInt(), 1000);
    QCOMPARE(kit.value("select count(*) from bank").toInt(), 0);
    QCOMPARE(kit.value("select count(*) from iof where 方式 = 1").toInt(), 4);  // unchanged
    QCOMPARE(voucherFormUnloaded, 0);

    // The amounts are 0 now; the events keep what each voucher was for.
    QCOMPARE(kit.value("select count(*) from audit where kind = 'bill-voided'").toInt(), 1);
    const QStringList voided =
        kit.rowTexts("select row_key, before_values from audit where kind = 'bill-voided'");
    QCOMPARE(voided.value(0), QString("123S"));
    QCOMPARE(jsonAt(voided.value(1), {"iof", "123", "金額"}) + ' ' +
                 jsonAt(voided.value(1), {"iof", "125", "金額"}),
             QString("1000 1000"));
    const QStringList bounced = kit.rowTexts(
        "select before_values, after_values from audit "
        "where kind = 'bill-bounced' and row_key = '130'");
    QCOMPARE(jsonAt(bounced.value(0), {"iof", "130", "金額"}) + "→" +
                 jsonAt(bounced.value(1), {"iof", "130", "金額"}),
             QString("1000→0"));
}

void tst_BillProcessing::arming_noCancelAndUnprocessed() {
    BillTestKit kit(QDate(2024, 5, 10));
    kit.addVoucher("1", 1, 1000);
    bills::insertBill(kit.db(), bill("1", false, QDate(2024, 6, 1), 1000));
    bills::insertBill(kit.db(), bill("2", false, QDate(2024, 6, 1), 1000));
    kit.db().execute("update bill set 方式 = 1 where 收支單號 = '2'");

    kit.prompts()
        .expectMessage("確定處理此票據為[作   廢]", Answer::No)
        .expectMessage("確定處理此票據為[退   票]", Answer::Cancel);
    app::ScopedModalHook hook([](QWidget* w) {
        auto* f = static_cast<frmBill*>(w);
        f->Oop_Click(2);  // not armed: nothing
        f->cmdOp->click();
        QVERIFY(f->FrmOp->isEnabled());
        QCOMPARE(f->opArmed, app::True);
        f->Oop[0]->click();  // 未處理: nothing
        f->Oop[2]->click();  // answered No: still armed
        QVERIFY(f->Oop[0]->isChecked());
        QVERIFY(f->FrmOp->isEnabled());
        QCOMPARE(f->opArmed, app::True);
        f->Oop[3]->click();  // answered Cancel: disarmed
        QVERIFY(f->Oop[0]->isChecked());
        QVERIFY(!f->FrmOp->isEnabled());
        QCOMPARE(f->opArmed, app::False);
    });
    bills::showStoredBill("1");
    QCOMPARE(kit.prompts().shown().size(), 2);
    QCOMPARE(kit.prompts().shown().at(0).buttons, app::Buttons::YesNoCancel);
    QCOMPARE(kit.value("select 方式 from bill where 收支單號 = '1'").toInt(), 0);
    QCOMPARE(kit.value("select 金額 from iof").toInt(), 1000);

    kit.prompts().expectMessage("票據已處理 不可變更");
    app::ScopedModalHook processed([](QWidget* w) {
        auto* f = static_cast<frmBill*>(w);
        QVERIFY(f->Oop[1]->isChecked());
        f->cmdOp->click();
        QVERIFY(!f->FrmOp->isEnabled());
        QCOMPARE(f->opArmed, app::False);
    });
    bills::showStoredBill("2");
}

void tst_BillProcessing::refused_whenProcessedByAnotherCopy() {
    BillTestKit kit(QDate(2024, 5, 10));
    kit.addVoucher("1", 1, 1000);
    bills::insertBill(kit.db(), bill("1", false, QDate(2024, 5, 1), 1000));
    kit.addBank("bbank", kBank, kAccount, "本公司", 5000);

    // Armed while unprocessed; another copy voids the bill before this one chooses.
    kit.prompts()
        .expectMessage("確定處理此票據為[兌   現]", Answer::Yes)
        .expectMessage("票據已處理 不可變更");
    app::ScopedModalHook hook([&](QWidget* w) {
        auto* f = static_cast<frmBill*>(w);
        f->cmdOp->click();
        kit.db().execute("update bill set 方式 = 2");
        f->Oop[1]->click();
        QVERIFY(f->Oop[2]->isChecked());  // what is stored now
        QVERIFY(!f->FrmOp->isEnabled());
    });
    bills::showStoredBill("1");
    QCOMPARE(kit.value("select 方式 from bill").toInt(), 2);
    QCOMPARE(kit.value("select count(*) from bank").toInt(), 0);
    QCOMPARE(kit.value("select 金額 from iof").toInt(), 1000);

    // Processed before 處理票據 was pressed: refused at once.
    kit.db().execute("update bill set 方式 = 0");
    kit.prompts().expectMessage("票據已處理 不可變更");
    app::ScopedModalHook early([&](QWidget* w) {
        auto* f = static_cast<frmBill*>(w);
        kit.db().execute("update bill set 方式 = 3");
        f->cmdOp->click();
        QVERIFY(f->Oop[3]->isChecked());
        QCOMPARE(f->opArmed, app::False);
    });
    bills::showStoredBill("1");
}

void tst_BillProcessing::concurrentCashing_consecutiveIdsAndBalances() {
    BillTestKit kit(QDate(2024, 5, 10));
    constexpr int kPerProcess = 60;
    kit.addBank("bbank", kBank, kAccount, "本公司");
    kit.addLedger(kBank, kAccount, 1, 1000000);
    qint64 total = 0;
    store::Transaction setup(kit.db());
    for (const char* tag : {"A", "B"}) {
        for (int i = 0; i < kPerProcess; ++i) {
            const qint64 amount = 100 + i;
            total += amount;
            bills::insertBill(
                kit.db(), bill(QString("%1%2").arg(tag).arg(i), false, QDate(2024, 5, 1), amount));
        }
    }
    setup.commit();

    QProcess a, b;
    a.start(BILL_CASHER, {kit.accPath(), "A", QString::number(kPerProcess)});
    b.start(BILL_CASHER, {kit.accPath(), "B", QString::number(kPerProcess)});
    for (QProcess* p : {&a, &b}) {  // both loaded and connected before either starts
        while (!p->canReadLine())
            QVERIFY2(p->waitForReadyRead(30000), p->readAllStandardError().constData());
        QCOMPARE(p->readLine().trimmed(), QByteArray("ready"));
    }
    a.write("go\n");
    b.write("go\n");
    QVERIFY(a.waitForFinished(60000) && b.waitForFinished(60000));
    QVERIFY2(a.exitCode() == 0, a.readAllStandardError().constData());
    QVERIFY2(b.exitCode() == 0, b.readAllStandardError().constData());

    QCOMPARE(kit.value("select count(*) from bill where 方式 = 1").toInt(), 2 * kPerProcess);
    const auto rows = ledger(kit, kBank, kAccount);
    QCOMPARE(rows.size(), 2 * kPerProcess + 1);
    store::Recordset rs = kit.db().openRecordset("select id, 異動金額, bala from bank order by id",
                                                 store::RecordsetType::Snapshot);
    qint64 balance = 1000000;
    int expectedId = 1;
    for (; !rs.isEOF(); rs.MoveNext(), ++expectedId) {
        QCOMPARE(rs.field(0).toInt(), expectedId);
        if (expectedId > 1)
            balance -= rs.field(1).toLongLong();
        QCOMPARE(rs.field(2).toLongLong(), balance);
    }
    QCOMPARE(balance, 1000000 - total);

    // Both copies' events in one unbroken chain, one per bill cashed, each naming its movement.
    QVERIFY(audit::verifyChain(kit.db()).ok());
    QCOMPARE(kit.value("select count(*) from audit where kind = 'bill-cashed'").toInt(),
             2 * kPerProcess);
    QSet<QString> movements;
    store::Recordset events =
        kit.db().openRecordset("select after_values from audit where kind = 'bill-cashed'",
                               store::RecordsetType::Snapshot);
    for (; !events.isEOF(); events.MoveNext())
        movements << jsonAt(events.field(0), {"bank", "id"});
    movements.remove(QString());
    QCOMPARE(movements.size(), 2 * kPerProcess);
}

QTEST_MAIN(tst_BillProcessing)
#include "tst_billprocessing.moc"
