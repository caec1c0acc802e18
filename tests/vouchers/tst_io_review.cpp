// Approval by bill and the review of unapproved vouchers on the voucher form: the bill form
// driven as a user does while the voucher form has it open, the voucher's status and the bill
// row written together or not at all, the hand-over to the bill and write-off forms, the list
// of unapproved vouchers with its marking, and the combined bill of the marked vouchers.

#include "Forms.h"
#include "IoFixture.h"
#include "Modal.h"
#include "Program.h"
#include "Schema.h"
#include "frmMach.h"

using namespace orvik;
using namespace orvik::testing;
using vouchers::frmIo;

class TestIoReview : public QObject {
    Q_OBJECT

  private slots:
    // Approval by one voucher's bill
    void approvalByBillWritesBillAndStatus();
    void incomeVoucherGetsAnIncomeBill();
    void cancelledBillWritesNothing();
    void closeBoxCountsAsCancel();
    void approvedElsewhereMeanwhileIsRefused();
    void voidedElsewhereMeanwhileIsRefused();
    void failingBillRowLeavesVoucherUnapproved();
    // Hand-over
    void handOverSourcesFollowTheForm();
    void unloadRequestWaitsForTheHandler();
    void writeOffOpensFromTheForm();
};

namespace {

// The bill row of a voucher or a combined key, every column as text; null reads "<null>".
QStringList billRow(IoFixture& fx, const QString& key) {
    store::Recordset rs =
        fx.acc().openRecordset(QStringLiteral("select * from bill where 收支單號 = ?"), {key},
                               store::RecordsetType::Snapshot);
    QStringList out;
    for (int i = 0; !rs.isEOF() && i < rs.fieldCount(); ++i)
        out << (rs.field(i).isNull() ? QStringLiteral("<null>") : rs.text(i));
    return out;
}

}  // namespace

// --- Approval by one voucher's bill ---

void TestIoReview::approvalByBillWritesBillAndStatus() {
    IoFixture fx;
    fx.addBanks();
    fx.addVoucher({.no = "920712001", .status = -2, .amount = 12345, .suggested = -2});
    frmIo* f = fx.open();
    QCOMPARE(f->lbNo->text(), QStringLiteral("920712001"));
    bool billFormSawTheVoucher = false;
    {
        app::ScopedModalHook hook([&](QWidget* w) {
            auto* b = qobject_cast<bills::frmBill*>(w);
            QVERIFY(b);
            // Nothing is written while the bill form waits for the user.
            QCOMPARE(fx.row("920712001").at(3).toInt(), -2);
            billFormSawTheVoucher = b->lbIoNo->text() == QStringLiteral("920712001") &&
                                    b->lbCash->text() == QStringLiteral("12345") &&
                                    b->lbIo->text() == QStringLiteral("開 出 票 據");
            IoFixture::fillBill(w, "CK0001", QDate(2003, 7, 20));
        });
        IoFixture::approve(f, false);
    }
    QVERIFY(billFormSawTheVoucher);
    QCOMPARE(fx.row("920712001").at(3).toInt(), 1);
    QCOMPARE(fx.row("920712001").at(20).toInt(), -2);  // the suggestion stays
    QCOMPARE(billRow(fx, "920712001"),
             QStringList({"CK0001", "2003-07-20", "2003-07-20", "2003-07-20", "<null>", "第一銀行",
                          "", "本公司支存", "", "123-456", "", "12345", "壹萬貳仟參佰肆拾伍 元整",
                          "0", "920712001", "0"}));
    QCOMPARE(fx.count("select count(*) from bill"), 1);
    QCOMPARE(fx.count("select count(*) from cash"), 0);
    // Back in browsing on the approved voucher.
    QCOMPARE(f->lbStat->text(), QStringLiteral("〔瀏覽〕"));
    QCOMPARE(f->approvingVoucher, app::False);
    QVERIFY(f->ck->isChecked() && !f->ck->isEnabled());
    QVERIFY(f->optA[1]->isChecked());
    QCOMPARE(app::gBillFromSave, app::False);
    QCOMPARE(app::gBillCancel, app::False);
    QVERIFY(!app::Forms::isLoaded<bills::frmBill>());
}

void TestIoReview::incomeVoucherGetsAnIncomeBill() {
    IoFixture fx;
    fx.addBanks();
    fx.addVoucher({.no = "920712001",
                   .amount = 5000,
                   .account = "4101",
                   .expense = false,
                   .accountName = "工程收入"});
    frmIo* f = fx.open();
    {
        app::ScopedModalHook hook([](QWidget* w) { IoFixture::fillBill(w, "IN77"); });
        IoFixture::approve(f, false);
    }
    QCOMPARE(fx.row("920712001").at(3).toInt(), 1);
    const QStringList bill = billRow(fx, "920712001");
    QCOMPARE(bill.value(0), QStringLiteral("IN77"));
    QCOMPARE(bill.value(6), QStringLiteral("台灣銀行"));  // the deposit account receives it
    QCOMPARE(bill.value(11), QStringLiteral("5000"));
    QCOMPARE(bill.value(13), QStringLiteral("-1"));  // an income bill
}

void TestIoReview::cancelledBillWritesNothing() {
    IoFixture fx;
    fx.addBanks();
    fx.addVoucher({.no = "920712001", .amount = 700});
    frmIo* f = fx.open();
    const QVariantList before = fx.row("920712001");
    {
        app::ScopedModalHook hook([](QWidget* w) { IoFixture::cancelBill(w); });
        fx.prompts().expectMessage(QStringLiteral("因您取消票據輸入\r\n所以此收支單並未簽核"));
        IoFixture::approve(f, false);
    }
    QCOMPARE(fx.prompts().shown().last().title, QStringLiteral("ACC"));
    QCOMPARE(fx.row("920712001"), before);
    QCOMPARE(fx.count("select count(*) from bill"), 0);
    QCOMPARE(fx.count("select count(*) from cash"), 0);
    QCOMPARE(app::gBillCancel, app::False);
    QVERIFY(!f->ck->isChecked() && f->ck->isEnabled() && !f->frmMa->isVisible());
    QVERIFY(!f->cmdSv->isEnabled() && !f->cmdCencel->isEnabled());
    QVERIFY(f->cmdAdd->isEnabled() && f->cmdEdit->isEnabled());
    QCOMPARE(f->approvingVoucher, app::False);

    // The voucher can be approved afterwards all the same.
    {
        app::ScopedModalHook hook([](QWidget* w) { IoFixture::fillBill(w, "CK9"); });
        IoFixture::approve(f, false);
    }
    QCOMPARE(fx.row("920712001").at(3).toInt(), 1);
    QCOMPARE(fx.count("select count(*) from bill"), 1);
}

void TestIoReview::closeBoxCountsAsCancel() {
    IoFixture fx;
    fx.addBanks();
    fx.addVoucher({.no = "920712001"});
    frmIo* f = fx.open();
    {
        app::ScopedModalHook hook([](QWidget* w) {
            auto* b = qobject_cast<bills::frmBill*>(w);
            QVERIFY(b);
            b->txtBillNo->setText(QStringLiteral("typed, not saved"));
            w->close();
        });
        fx.prompts().expectMessage(QStringLiteral("因您取消票據輸入"));
        IoFixture::approve(f, false);
    }
    QCOMPARE(fx.row("920712001").at(3).toInt(), -1);
    QCOMPARE(fx.count("select count(*) from bill"), 0);
}

void TestIoReview::approvedElsewhereMeanwhileIsRefused() {
    IoFixture fx;
    fx.addBanks();
    fx.addVoucher({.no = "920712001", .amount = 800});
    frmIo* f = fx.open();
    auto other = openDatabaseFile(fx.folder.path(), store::schema::acc());
    {
        app::ScopedModalHook hook([&](QWidget* w) {
            // Another copy of the program approves the voucher in cash while the bill form is
            // open here.
            other->execute(QStringLiteral("update iof set 方式 = 0 where 單號 = '920712001'"));
            IoFixture::fillBill(w, "LATE1");
        });
        fx.prompts().expectMessage(
            QStringLiteral("此收支單已在別處簽核或作廢\r\n所以票據並未存入"));
        IoFixture::approve(f, false);
    }
    QCOMPARE(fx.prompts().shown().last().icon, app::Icon::Exclamation);
    QCOMPARE(fx.row("920712001").at(3).toInt(), 0);
    QCOMPARE(fx.count("select count(*) from bill"), 0);
    // The form shows the voucher as stored now, approved, and is back in browsing.
    QVERIFY(f->ck->isChecked() && !f->ck->isEnabled());
    QVERIFY(f->optA[0]->isChecked());
    QCOMPARE(f->lbStat->text(), QStringLiteral("〔瀏覽〕"));
    QCOMPARE(f->approvingVoucher, app::False);
}

void TestIoReview::voidedElsewhereMeanwhileIsRefused() {
    IoFixture fx;
    fx.addBanks();
    fx.addVoucher({.no = "920712001"});
    fx.addVoucher({.no = "920712002"});
    frmIo* f = fx.open();
    IoFixture::pickFromGrid(f, "920712001");
    auto other = openDatabaseFile(fx.folder.path(), store::schema::acc());
    {
        app::ScopedModalHook hook([&](QWidget* w) {
            other->execute(QStringLiteral("update iof set 方式 = -3 where 單號 = '920712001'"));
            IoFixture::fillBill(w, "LATE2");
        });
        fx.prompts().expectMessage(QStringLiteral("此收支單已在別處簽核或作廢"));
        IoFixture::approve(f, false);
    }
    QCOMPARE(fx.row("920712001").at(3).toInt(), -3);
    QCOMPARE(fx.row("920712002").at(3).toInt(), -1);
    QCOMPARE(fx.count("select count(*) from bill"), 0);
    QCOMPARE(f->lbNo->text(), QStringLiteral("920712001"));
    QVERIFY(f->ckNoW->isChecked());
}

void TestIoReview::failingBillRowLeavesVoucherUnapproved() {
    IoFixture fx;
    fx.addBanks();
    fx.addVoucher({.no = "920712001"});
    frmIo* f = fx.open();
    auto other = openDatabaseFile(fx.folder.path(), store::schema::acc());
    // The bill row cannot be stored: the voucher's status, written first in the same
    // transaction, must not stay behind.
    fx.acc().execute(
        QStringLiteral("create trigger no_bill before insert on bill "
                       "begin select raise(abort, 'no bill today'); end"));
    {
        app::ScopedModalHook hook([](QWidget* w) { IoFixture::fillBill(w, "CK1"); });
        fx.prompts().expectMessage(QStringLiteral("no bill today"));
        IoFixture::approve(f, false);
    }
    QVERIFY(app::ProgramEnded());
    QCOMPARE(other->scalar(QStringLiteral("select 方式 from iof where 單號 = '920712001'")).toInt(),
             -1);
    QCOMPARE(other->scalar(QStringLiteral("select count(*) from bill")).toInt(), 0);
}

// --- Hand-over ---

void TestIoReview::handOverSourcesFollowTheForm() {
    IoFixture fx;
    fx.addVoucher({.no = "920712001",
                   .status = 0,
                   .amount = 4321,
                   .account = "4101",
                   .expense = false,
                   .accountName = "工程收入",
                   .hDay = QDate(2003, 7, 1)});
    QVERIFY(bills::voucherOnDisplay().number.isEmpty());
    frmIo* f = fx.open();
    const bills::VoucherOnDisplay shown = bills::voucherOnDisplay();
    QCOMPARE(shown.number, QStringLiteral("920712001"));
    QCOMPARE(shown.amountText, QStringLiteral("4321"));
    QVERIFY(shown.income);
    const writeoff::VoucherForWriteOff forWriteOff = writeoff::voucherForWriteOff();
    QCOMPARE(forWriteOff.number, QStringLiteral("920712001"));
    QCOMPARE(forWriteOff.amountText, QStringLiteral("4321"));
    QCOMPARE(forWriteOff.date, QDate(2003, 7, 1));
    QVERIFY(forWriteOff.cash);

    // Unloading the form removes them.
    QVERIFY(app::Forms::unload<frmIo>());
    Q_UNUSED(f);
    QVERIFY(bills::voucherOnDisplay().number.isEmpty());
    QVERIFY(writeoff::voucherForWriteOff().number.isEmpty());
}

void TestIoReview::unloadRequestWaitsForTheHandler() {
    IoFixture fx;
    fx.addBanks();
    fx.addVoucher({.no = "920712001"});
    frmIo* f = fx.open();
    QPointer<frmIo> alive(f);
    {
        // The bill form asks for the voucher form to be unloaded while the voucher form's
        // 儲存 is still waiting for it; events run meanwhile, as in a modal loop.
        app::ScopedModalHook hook([&](QWidget* w) {
            bills::unloadVoucherForm();
            QCoreApplication::processEvents();
            QVERIFY(app::Forms::isLoaded<frmIo>());
            IoFixture::fillBill(w, "CK1");
            QCoreApplication::processEvents();
            QVERIFY(app::Forms::isLoaded<frmIo>());
        });
        IoFixture::approve(f, false);
    }
    // The handler ran to its end on a loaded form.
    QCOMPARE(fx.row("920712001").at(3).toInt(), 1);
    QVERIFY(app::Forms::isLoaded<frmIo>());
    QCOMPARE(f->lbStat->text(), QStringLiteral("〔瀏覽〕"));
    QCOMPARE(app::gIoOpen, app::True);
    // Then the unload runs from the event loop.
    QTRY_VERIFY(!app::Forms::isLoaded<frmIo>());
    QCOMPARE(app::gIoOpen, app::False);
    QTRY_VERIFY(alive.isNull());

    // Asked for outside any handler of the form: unloaded from the event loop too.
    fx.open();
    bills::unloadVoucherForm();
    QVERIFY(app::Forms::isLoaded<frmIo>());
    QTRY_VERIFY(!app::Forms::isLoaded<frmIo>());
}

void TestIoReview::writeOffOpensFromTheForm() {
    IoFixture fx;
    fx.addVoucher({.no = "920712001",
                   .status = 0,
                   .amount = 900,
                   .account = "4101",
                   .expense = false,
                   .accountName = "工程收入"});
    frmIo* f = fx.open();
    QVERIFY(f->cmdMach->isVisibleTo(f) && f->cmdMach->isEnabled());
    QString amountShown;
    bool receivables = false;
    {
        app::ScopedModalHook hook([&](QWidget* w) {
            auto* m = qobject_cast<writeoff::frmMach*>(w);
            QVERIFY(m);
            amountShown = m->lbMachCash->text();
            receivables = app::isTrue(app::gMachIncome);
        });
        fx.prompts().expectMessage(QStringLiteral("無應收付可沖帳"));
        f->cmdMach->click();
    }
    QCOMPARE(amountShown, QStringLiteral("900"));
    QVERIFY(receivables);
    QVERIFY(!app::Forms::isLoaded<writeoff::frmMach>());
}

QTEST_MAIN(TestIoReview)
#include "tst_io_review.moc"
