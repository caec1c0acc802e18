// 儲存 on the voucher form: numbering, the iof row for new, edited and voided vouchers,
// refusals, the cash ledger of a cash approval, the bill hand-over, the voucher written always
// being the one on display, and two copies of the program saving at once.

#include <QProcess>

#include "Audit.h"
#include "IoFixture.h"
#include "Modal.h"

using namespace orvik;
using namespace orvik::testing;
using vouchers::frmIo;

class TestIoSave : public QObject {
    Q_OBJECT

  private slots:
    void numbering();
    void numberTakenAtSaveTime();
    void newVoucherRow();
    void editedAndVoidedRows();
    void emptyAmountOrAccountRefused();
    void cashLedger();
    void lastBalanceRoundedHalfToEven_data();
    void lastBalanceRoundedHalfToEven();
    void approvedElsewhereIsNotApprovedTwice();
    void voidedElsewhereIsNotApprovedInCash();
    void billHandOver();
    void writtenRowIsTheOneOnDisplay();
    void twoCopiesSavingAtOnce();
};

void TestIoSave::numbering() {
    IoFixture fx;
    frmIo* f = fx.open();
    fx.addVoucher({.no = "920711007"});
    QCOMPARE(f->GetLastNo(), QStringLiteral("920712001"));  // first of the day
    fx.addVoucher({.no = "920712009"});
    QCOMPARE(f->GetLastNo(), QStringLiteral("920712010"));
    fx.addVoucher({.no = "920712999"});
    QCOMPARE(f->GetLastNo(), QStringLiteral("920713000"));  // the carry into the date digits

    // Saved, the carried number is the next day's "000"; the next day goes on from it.
    IoFixture::enterVoucher(f, "100", "5101");
    QCOMPARE(fx.count("select count(*) from iof where 單號 = '920713000'"), 1);
    // A second carry on the same day would repeat that number: the next free one is taken.
    IoFixture::enterVoucher(f, "100", "5101");
    QCOMPARE(fx.count("select count(*) from iof where 單號 = '920713001'"), 1);
    app::Clock::setFixedNow(QDateTime(QDate(2003, 7, 13), QTime(9, 0)));
    QCOMPARE(f->GetLastNo(), QStringLiteral("920713002"));

    // The working date chosen at login is today; from the era year 100 the prefix has seven
    // characters.
    app::Clock::setWorkingDate(QDate(2011, 1, 1));
    QCOMPARE(f->GetLastNo(), QStringLiteral("1000101001"));
}

void TestIoSave::numberTakenAtSaveTime() {
    IoFixture fx;
    frmIo* f = fx.open();
    f->cmdAdd->click();
    QCOMPARE(f->lbNo->text(), QStringLiteral("920712001"));
    // Another copy saves meanwhile, and midnight passes before this one saves.
    fx.addVoucher({.no = "920713001"});
    app::Clock::setFixedNow(QDateTime(QDate(2003, 7, 13), QTime(0, 1)));
    QTest::keyClicks(f->txtCash, "10");
    IoFixture::pickAccount(f, "5101");
    f->cmdSv->click();
    QCOMPARE(fx.count("select count(*) from iof where 單號 = '920713002'"), 1);
    QCOMPARE(f->lbNo->text(), QStringLiteral("920713002"));
    // The entry date stays the day the voucher was started.
    QCOMPARE(fx.row("920713002").at(0).toString(), QStringLiteral("2003-07-12"));
}

void TestIoSave::newVoucherRow() {
    IoFixture fx;
    fx.acc().execute("insert into prj values ('P01', '台北廠房')");
    fx.acc().execute("insert into w4pj values ('P01', '水電')");
    frmIo* f = fx.open();
    f->cmdAdd->click();
    f->cbUse->setEditText(QStringLiteral("購買'文具'"));
    QTest::keyClicks(f->txtCash, "1050");
    IoFixture::pickAccount(f, "5101");
    f->cbPs1->setEditText(QStringLiteral("附一"));
    f->cbPs2->setEditText(QStringLiteral("附二"));
    IoFixture::pickProject(f, "P01");
    f->cbWt->setEditText(QStringLiteral("水電"));
    f->DTP1->setDate(QDate(2003, 7, 1));
    f->DTP1_CloseUp();
    f->cbReq->setEditText(QStringLiteral("王大明"));
    f->cbSin->setEditText(QStringLiteral("李小華"));
    f->Check1->click();
    f->O1[1]->click();
    f->txtBno->setText(QStringLiteral("AB-1"));
    f->Op1[1]->click();
    f->cmdSv->click();
    const QVariantList expected{
        "2003-07-12", "920712001", "購買'文具'", -2,     1050,       "5101", -1,
        "文具",       "附一",      "附二",       "P01",  "台北廠房", "水電", "2003-07-01",
        "王大明",     "李小華",    -1,           "AB-1", 50,         -1,     -2};
    const QVariantList stored = fx.row("920712001");
    QCOMPARE(stored.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(stored.at(i).toString(), expected.at(i).toString());

    // With 有單據 unticked the hidden document values are stored all the same; an income
    // account stores pay False.
    f->cmdAdd->click();
    QTest::keyClicks(f->txtCash, "210");
    IoFixture::pickAccount(f, "4101");
    f->Check1->click();
    f->txtBno->setText(QStringLiteral("X9"));
    f->Check1->click();
    f->cmdSv->click();
    const QVariantList second = fx.row("920712002");
    QCOMPARE(second.at(6).toInt(), 0);
    QCOMPARE(second.at(16).toInt(), 0);
    QCOMPARE(second.at(17).toString(), QStringLiteral("X9"));
    QCOMPARE(second.at(18).toInt(), 10);
    QCOMPARE(second.at(3).toInt(), -2);  // 新增 keeps the suggestion last shown
    QCOMPARE(second.at(20).toInt(), -2);
}

void TestIoSave::editedAndVoidedRows() {
    IoFixture fx;
    fx.addVoucher({.no = "920711001", .amount = 500, .suggested = -1});
    fx.addVoucher({.no = "920711002", .amount = 700});
    frmIo* f = fx.open();
    f->FSB->setValue(0);
    f->cmdEdit->click();
    f->cbUse->setEditText(QStringLiteral("改過"));
    f->txtCash->setText(QStringLiteral("12/5"));  // the key filter lets "/" through
    f->Op1[1]->click();
    // Not a whole number: refused before anything is written, the entry kept as typed.
    fx.prompts().expectMessage(QStringLiteral("金額必須是 12 位數以內的整數"));
    f->cmdSv->click();
    QCOMPARE(fx.row("920711001").at(4).toInt(), 500);
    QCOMPARE(f->lbStat->text(), QStringLiteral("〔修改中〕"));
    QCOMPARE(f->cbUse->currentText(), QStringLiteral("改過"));
    f->txtCash->setText(QStringLiteral("12"));
    f->cmdSv->click();
    QVariantList r = fx.row("920711001");
    QCOMPARE(r.at(2).toString(), QStringLiteral("改過"));
    QCOMPARE(r.at(4), QVariant(qlonglong(12)));
    QCOMPARE(r.at(3).toInt(), -2);
    QCOMPARE(r.at(20).toInt(), -2);
    QCOMPARE(r.at(1).toString(), QStringLiteral("920711001"));
    QCOMPARE(fx.row("920711002").at(4).toInt(), 700);        // the other voucher is untouched
    QCOMPARE(f->lbNo->text(), QStringLiteral("920711001"));  // shown again at its position

    // Void, and back.
    f->cmdEdit->click();
    f->ckNoW->click();
    f->cmdSv->click();
    r = fx.row("920711001");
    QCOMPARE(r.at(3).toInt(), -3);
    QCOMPARE(r.at(20).toInt(), -2);
    QVERIFY(f->ckNoW->isChecked() && !f->ck->isVisible());
    f->cmdEdit->click();
    f->ckNoW->click();
    f->cmdSv->click();
    QCOMPARE(fx.row("920711001").at(3).toInt(), -2);
    QCOMPARE(fx.count("select count(*) from iof"), 2);

    // One event per save, the refused one none; the rewrite keeps what it changed.
    const auto events = audit::readEvents(fx.acc(), audit::Filter{.voucher = "920711001"});
    QStringList kinds;
    for (const auto& e : events)
        kinds << e.kind;
    QCOMPARE(kinds, QStringList({"rewrite", "void", "rewrite"}));
    QCOMPARE(audit::describeChange(events.at(0).before, events.at(0).after).count("金額: 500 → 12"),
             1);
    QVERIFY(events.at(1).after.contains("\"方式\":-3"));
    QVERIFY(audit::readEvents(fx.acc(), audit::Filter{.voucher = "920711002"}).isEmpty());
}

void TestIoSave::emptyAmountOrAccountRefused() {
    IoFixture fx;
    frmIo* f = fx.open();
    f->cmdAdd->click();
    IoFixture::pickAccount(f, "5101");
    fx.prompts().expectMessage(QStringLiteral("金額欄位不可空白"));
    f->cmdSv->click();
    QTest::keyClicks(f->txtCash, "100");
    f->cbAcc->setEditText(QStringLiteral("5101"));
    f->lbAcTxt->clear();  // a typed code that was not found leaves no name
    fx.prompts().expectMessage(QStringLiteral("科目不可空白"));
    f->cmdSv->click();
    for (const auto& p : fx.prompts().shown()) {
        QCOMPARE(p.title, QStringLiteral("ACC"));
        QCOMPARE(p.icon, app::Icon::Critical);
    }
    QCOMPARE(fx.count("select count(*) from iof"), 0);
    QCOMPARE(f->lbStat->text(), QStringLiteral("〔新增中〕"));
    QCOMPARE(f->addingVoucher, app::True);
}

void TestIoSave::cashLedger() {
    IoFixture fx;
    frmIo* f = fx.open();
    IoFixture::enterVoucher(f, "1000", "4101", "收工程款");
    IoFixture::approve(f, true);
    QCOMPARE(fx.row("920712001").at(3).toInt(), 0);
    auto cash =
        fx.acc().openRecordset("select * from cash order by id", store::RecordsetType::Snapshot);
    QCOMPARE(cash.RecordCount(), 1);
    QCOMPARE(cash.field(0).toInt(), 1);
    QCOMPARE(cash.field(1).toInt(), -1);
    QCOMPARE(cash.text(2), QStringLiteral("2003-07-12"));
    QCOMPARE(cash.field(3).toInt(), 1000);
    QCOMPARE(cash.text(4), QStringLiteral("收工程款"));
    QCOMPARE(cash.text(5), QStringLiteral("920712001"));
    QCOMPARE(cash.field(6).toInt(), 1000);
    cash.Close();
    const auto events = audit::readEvents(fx.acc(), audit::Filter{.voucher = "920712001"});
    QCOMPARE(events.size(), 2);
    QCOMPARE(events.at(0).kind, QStringLiteral("insert"));
    QCOMPARE(events.at(1).kind, QStringLiteral("approve-cash"));
    QVERIFY2(
        audit::describeChange(events.at(1).before, events.at(1).after).contains("cash bala: 1000"),
        qPrintable(events.at(1).after));
    // The approved voucher is shown approved: it cannot be approved again.
    QVERIFY(f->ck->isChecked() && !f->ck->isEnabled());
    QCOMPARE(f->approvingVoucher, app::False);

    IoFixture::enterVoucher(f, "300", "5101");
    IoFixture::approve(f, true);
    IoFixture::enterVoucher(f, "50", "4101");
    IoFixture::approve(f, true);
    QCOMPARE(fx.count("select count(*) from cash"), 3);
    QCOMPARE(fx.count("select bala from cash where id = 2"), 700);
    QCOMPARE(fx.count("select bala from cash where id = 3"), 750);
    QCOMPARE(fx.count("select 收入 from cash where id = 2"), 0);

    // The first row of an empty ledger for an expense is −A.
    IoFixture other;
    frmIo* g = other.open();
    IoFixture::enterVoucher(g, "80", "5101");
    IoFixture::approve(g, true);
    QCOMPARE(other.count("select bala from cash where id = 1"), -80);
}

void TestIoSave::lastBalanceRoundedHalfToEven_data() {
    QTest::addColumn<double>("last");
    QTest::addColumn<int>("expected");
    QTest::newRow("100.5") << 100.5 << 110;
    QTest::newRow("101.5") << 101.5 << 112;
}

void TestIoSave::lastBalanceRoundedHalfToEven() {
    QFETCH(double, last);
    QFETCH(int, expected);
    if (onServer())
        QSKIP(
            "SQLite only: a fraction of a dollar in a balance comes from files of the old "
            "program; a server's amounts are whole numbers");
    IoFixture fx;
    fx.acc().execute("insert into cash (id, 收入, bala) values (7, -1, ?)", {last});
    fx.addVoucher({.no = "920711001", .amount = 10, .account = "4101", .expense = false});
    frmIo* f = fx.open();
    IoFixture::approve(f, true);
    QCOMPARE(fx.count("select id from cash where 收支單號 = '920711001'"), 8);
    QCOMPARE(fx.count("select bala from cash where id = 8"), expected);
}

void TestIoSave::approvedElsewhereIsNotApprovedTwice() {
    IoFixture fx;
    fx.addVoucher({.no = "920711001", .amount = 10});
    frmIo* f = fx.open();
    f->ck->click();
    // Another copy approves the same voucher before this one saves.
    fx.acc().execute("update iof set 方式 = 0 where 單號 = '920711001'");
    fx.prompts().expectMessage(QStringLiteral("收支單已簽核 無法修改"));
    f->cmdSv->click();
    QCOMPARE(fx.count("select count(*) from cash"), 0);
    QCOMPARE(fx.row("920711001").at(3).toInt(), 0);
    QVERIFY(f->ck->isChecked() && !f->ck->isEnabled());
    QCOMPARE(f->lbStat->text(), QStringLiteral("〔瀏覽〕"));
    QCOMPARE(f->approvingVoucher, app::False);
}

// Voided by another copy before a cash approval is saved: a void voucher is not paid.
void TestIoSave::voidedElsewhereIsNotApprovedInCash() {
    IoFixture fx;
    fx.addVoucher({.no = "920711002", .amount = 20});
    frmIo* f = fx.open();
    QCOMPARE(f->lbNo->text(), QStringLiteral("920711002"));
    f->ck->click();
    fx.acc().execute("update iof set 方式 = -3 where 單號 = '920711002'");
    fx.prompts().expectMessage(QStringLiteral("此收支單已在別處作廢\r\n所以並未簽核"));
    f->cmdSv->click();
    QCOMPARE(fx.count("select count(*) from cash"), 0);
    QCOMPARE(fx.row("920711002").at(3).toInt(), -3);
    QCOMPARE(f->lbStat->text(), QStringLiteral("〔瀏覽〕"));
    QVERIFY(f->ckNoW->isChecked());
}

void TestIoSave::billHandOver() {
    IoFixture fx;
    fx.addBanks();
    fx.addVoucher({.no = "920711001", .use = "甲"});
    fx.addVoucher({.no = "920711002", .use = "乙"});
    frmIo* f = fx.open();
    QString seenNo;
    {
        app::ScopedModalHook hook([&](QWidget* w) {
            // What the bill form reads and the flags it is opened with.
            auto* b = qobject_cast<bills::frmBill*>(w);
            QVERIFY(b);
            seenNo = b->lbIoNo->text();
            QCOMPARE(app::gBillFromSave, app::True);
            QCOMPARE(app::gPicked, app::False);
            IoFixture::cancelBill(w);
        });
        IoFixture::pickFromGrid(f, "920711001");
        fx.prompts().expectMessage(QStringLiteral("因您取消票據輸入\r\n所以此收支單並未簽核"));
        IoFixture::approve(f, false);
    }
    QCOMPARE(seenNo, QStringLiteral("920711001"));
    QCOMPARE(app::gBillCancel, app::False);
    QCOMPARE(app::gBillFromSave, app::False);
    QCOMPARE(fx.row("920711001").at(3).toInt(), -1);
    QCOMPARE(fx.count("select count(*) from bill"), 0);
    QVERIFY(!f->ck->isChecked() && !f->frmMa->isVisible());
    QVERIFY(!f->cmdSv->isEnabled() && f->cmdEdit->isEnabled());
    QCOMPARE(f->approvingVoucher, app::False);
    // The picked voucher is still on display, and still the one a save writes.
    QCOMPARE(app::gPicked, app::True);
    f->cmdEdit->click();
    f->cbUse->setEditText(QStringLiteral("甲改"));
    f->cmdSv->click();
    QCOMPARE(fx.row("920711001").at(2).toString(), QStringLiteral("甲改"));
    QCOMPARE(fx.row("920711002").at(2).toString(), QStringLiteral("乙"));

    // A saved bill approves the voucher with status 1 and no cash movement.
    {
        app::ScopedModalHook hook([](QWidget* w) { IoFixture::fillBill(w, "CK0001"); });
        IoFixture::approve(f, false);
    }
    QCOMPARE(fx.row("920711001").at(3).toInt(), 1);
    QCOMPARE(fx.count("select count(*) from bill where 收支單號 = '920711001'"), 1);
    QCOMPARE(fx.count("select count(*) from cash"), 0);
}

void TestIoSave::writtenRowIsTheOneOnDisplay() {
    IoFixture fx;
    fx.addVoucher({.no = "920711001", .use = "甲"});
    fx.addVoucher({.no = "920711002", .use = "乙"});
    frmIo* f = fx.open();
    // Picked 001 while browsing stood on 002; 修改 then 取消 shows 001 again, and the next
    // save writes 001.
    IoFixture::pickFromGrid(f, "920711001");
    f->cmdEdit->click();
    f->cbUse->setEditText(QStringLiteral("不存"));
    f->cmdCencel->click();
    QCOMPARE(f->lbNo->text(), QStringLiteral("920711001"));
    QCOMPARE(f->cbUse->currentText(), QStringLiteral("甲"));
    f->cmdEdit->click();
    f->cbUse->setEditText(QStringLiteral("甲二"));
    f->cmdSv->click();
    QCOMPARE(fx.row("920711001").at(2).toString(), QStringLiteral("甲二"));
    QCOMPARE(fx.row("920711002").at(2).toString(), QStringLiteral("乙"));
    QCOMPARE(f->lbNo->text(), QStringLiteral("920711001"));

    // Approving the picked voucher in cash, then trying again, posts one movement only.
    IoFixture::approve(f, true);
    QVERIFY(!f->ck->isEnabled());
    fx.prompts().expectMessage(QStringLiteral("收支單已簽核 無法修改"));
    f->cmdSv_Click();
    QCOMPARE(fx.count("select count(*) from cash"), 1);
    QCOMPARE(fx.count("select count(*) from cash where 收支單號 = '920711001'"), 1);
    QCOMPARE(fx.row("920711002").at(3).toInt(), -1);
}

void TestIoSave::twoCopiesSavingAtOnce() {
    IoFixture fx;
    constexpr int perCopy = 20;
    QList<QProcess*> copies;
    for (const char* tag : {"A", "B"}) {
        auto* p = new QProcess(this);
        p->setProcessChannelMode(QProcess::ForwardedChannels);
        p->start(QStringLiteral(ORVIK_IO_SAVER),
                 {fx.folder.path(), QString::fromLatin1(tag), QString::number(perCopy)});
        copies << p;
    }
    for (QProcess* p : copies) {
        QVERIFY(p->waitForFinished(120000));
        QCOMPARE(p->exitCode(), 0);
    }
    constexpr int total = 2 * perCopy;
    QCOMPARE(fx.count("select count(*) from iof"), total);
    QCOMPARE(fx.count("select count(distinct 單號) from iof"), total);
    QCOMPARE(fx.count("select min(單號) from iof"), 920712001);
    QCOMPARE(fx.count("select max(單號) from iof"), 920712000 + total);
    QCOMPARE(fx.count("select count(*) from iof where 方式 = 0"), total);
    QCOMPARE(fx.count("select count(distinct id) from cash"), total);
    QCOMPARE(fx.count("select max(id) from cash"), total);
    QCOMPARE(fx.count("select count(distinct 收支單號) from cash"), total);
    // Every balance is the one before it plus this movement: none was skipped.
    QCOMPARE(fx.count("select count(*) from cash c join cash p on p.id = c.id - 1 "
                      "where c.bala <> p.bala + case when c.收入 <> 0 then c.異動金額 else "
                      "-c.異動金額 end"),
             0);
    QCOMPARE(fx.count("select bala from cash where id = ?", {total}),
             fx.count("select sum(case when 收入 <> 0 then 異動金額 else -異動金額 end) from cash"));
    // Each voucher entered and approved: two events apiece, in one unbroken chain.
    QCOMPARE(fx.count("select count(*) from audit"), 2 * total);
    QVERIFY(audit::verifyChain(fx.acc()).ok());
}

QTEST_MAIN(TestIoSave)
#include "tst_io_save.moc"
