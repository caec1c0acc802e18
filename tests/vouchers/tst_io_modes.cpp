// The voucher form's modes (browsing, new, edit, approval), the rights digits it reads, and
// the boxes whose behaviour follows the mode.

#include "IoFixture.h"

using namespace orvik;
using namespace orvik::testing;
using vouchers::frmIo;

namespace {

// What a mode shows, for comparing whole states at once.
QString state(frmIo* f) {
    QStringList s;
    s << f->lbStat->text();
    for (QWidget* w :
         std::initializer_list<QWidget*>{f->cbUse, f->txtCash, f->cbAcc, f->DTP1, f->FSB, f->cmdPt})
        s << QStringLiteral("%1=%2").arg(w->objectName()).arg(w->isEnabled());
    for (QWidget* w :
         std::initializer_list<QWidget*>{f->cmdAdd, f->cmdEdit, f->cmdSv, f->cmdCencel})
        s << QStringLiteral("%1=%2").arg(w->objectName()).arg(w->isEnabled());
    s << QStringLiteral("adding=%1").arg(f->addingVoucher)
      << QStringLiteral("approving=%1").arg(f->approvingVoucher);
    return s.join(QLatin1Char(' '));
}

const QString kBrowsing = QStringLiteral(
    "〔瀏覽〕 cbUse=0 txtCash=0 cbAcc=0 DTP1=0 FSB=1 cmdPt=1 cmdAdd=1 cmdEdit=1 cmdSv=0 "
    "cmdCencel=0");
const QString kEditing = QStringLiteral(
    "cbUse=1 txtCash=1 cbAcc=1 DTP1=1 FSB=0 cmdPt=0 cmdAdd=0 cmdEdit=0 cmdSv=1 cmdCencel=1");

}  // namespace

class TestIoModes : public QObject {
    Q_OBJECT

  private slots:
    void newVoucherSavedAndCancelled();
    void editRefusedForApprovedVoucher();
    void approvalTickAndUntick();
    void rightsDigitsOneThreeAndFour();
    void amountKeysAndTax();
    void accountPickColoursAndDocumentFrame();
    void formLoadAndUnload();
};

void TestIoModes::newVoucherSavedAndCancelled() {
    IoFixture fx;
    fx.addVoucher({.no = "920711001"});
    fx.addVoucher({.no = "920711002", .use = "第二張"});
    frmIo* f = fx.open();
    QCOMPARE(state(f), kBrowsing + " adding=0 approving=0");
    QCOMPARE(f->lbNo->text(), QStringLiteral("920711002"));

    // 新增: blank fields, the next number, entry controls open.
    f->cmdAdd->click();
    QCOMPARE(state(f), "〔新增中〕 " + kEditing + " adding=-1 approving=0");
    QCOMPARE(f->lbNo->text(), QStringLiteral("920712001"));
    QCOMPARE(f->lbInDay->text(), QStringLiteral("中華民國 92 年 07 月 12 日"));
    QCOMPARE(f->lbHday->text(), f->lbInDay->text());
    QVERIFY(f->cbUse->currentText().isEmpty() && f->txtCash->text().isEmpty());
    QVERIFY(!f->ck->isVisible() && !f->frmMa->isVisible() && !f->cmdMach->isVisible());
    QVERIFY(!f->ckNoW->isEnabled());

    // 取消 goes back to the voucher at the remembered position.
    f->cmdCencel->click();
    QCOMPARE(state(f), kBrowsing + " adding=-1 approving=0");  // 取消 leaves addingVoucher
    QCOMPARE(f->lbNo->text(), QStringLiteral("920711002"));
    QCOMPARE(f->cbUse->currentText(), QStringLiteral("第二張"));

    // 新增 → 儲存: browsing again, on the new voucher.
    IoFixture::enterVoucher(f, "1500", "5101");
    QCOMPARE(state(f), kBrowsing + " adding=0 approving=0");
    QCOMPARE(f->lbNo->text(), QStringLiteral("920712001"));
    QCOMPARE(f->FSB->maximum(), 2);
    QCOMPARE(f->FSB->value(), 2);
    QCOMPARE(f->browsePos, 2);
    QVERIFY(f->ck->isVisible() && f->ck->isEnabled() && !f->ck->isChecked());
}

void TestIoModes::editRefusedForApprovedVoucher() {
    IoFixture fx;
    fx.addVoucher({.no = "920711001"});
    fx.addVoucher({.no = "920711002", .status = 0});
    frmIo* f = fx.open();
    QVERIFY(!f->ck->isEnabled() && f->ck->isChecked());
    fx.prompts().expectMessage(QStringLiteral("收支單已簽核 無法修改"));
    f->cmdEdit->click();
    QCOMPARE(fx.prompts().shown().at(0).title, QStringLiteral("ACC"));
    QCOMPARE(fx.prompts().shown().at(0).icon, app::Icon::Exclamation);
    QCOMPARE(state(f), kBrowsing + " adding=0 approving=0");

    // An unapproved voucher can be edited.
    f->FSB->setValue(0);
    QCOMPARE(f->lbNo->text(), QStringLiteral("920711001"));
    f->cmdEdit->click();
    QCOMPARE(state(f), "〔修改中〕 " + kEditing + " adding=0 approving=0");
    QVERIFY(f->ckNoW->isEnabled());
    QCOMPARE(f->DTP1->date(), kToday.addDays(-5));  // the voucher's date of occurrence
}

void TestIoModes::approvalTickAndUntick() {
    IoFixture fx;
    fx.addVoucher({.no = "920711001", .suggested = -2});
    frmIo* f = fx.open();
    QVERIFY(f->Op1[1]->isChecked());
    f->ck->click();
    QCOMPARE(f->lbStat->text(), QStringLiteral("〔瀏覽〕"));
    QVERIFY(f->frmMa->isVisible() && f->frmMa->isEnabled() && f->lbop->isVisible());
    QVERIFY(f->optA[1]->isChecked());  // preselected from the suggestion 票據
    QVERIFY(f->optA[0]->isEnabled() && !f->optA[2]->isEnabled());
    QVERIFY(f->cmdSv->isEnabled() && f->cmdCencel->isEnabled());
    QVERIFY(!f->cmdAdd->isEnabled() && !f->cmdEdit->isEnabled());
    QVERIFY(!f->cbUse->isEnabled());  // only the method can be chosen
    QVERIFY(!f->FSB->isEnabled());    // browsing away would approve another voucher
    QCOMPARE(f->approvingVoucher, app::True);

    f->ck->click();
    QVERIFY(!f->frmMa->isVisible() && !f->lbop->isVisible());
    QCOMPARE(f->approvingVoucher, app::False);
    QCOMPARE(fx.row("920711001").at(3).toInt(), -1);  // nothing written

    // 取消 ends the approval and goes back to browsing.
    f->ck->click();
    f->cmdCencel->click();
    QCOMPARE(state(f), kBrowsing + " adding=0 approving=0");
}

void TestIoModes::rightsDigitsOneThreeAndFour() {
    {
        // Digit 1 "0": 新增 and 修改 disabled at load.
        IoFixture fx(0b1110);
        fx.addVoucher({.no = "920711001", .status = 0});
        frmIo* f = fx.open();
        QVERIFY(!f->cmdAdd->isEnabled() && !f->cmdEdit->isEnabled());
    }
    {
        // Digit 3 "0": the approval box stays shut at every moment, but an unapproved
        // voucher may still be edited (digit 1); an approved one is refused by its status.
        IoFixture fx(0b1011);
        fx.addVoucher({.no = "920711001"});
        fx.addVoucher({.no = "920711002", .status = 0});
        frmIo* f = fx.open();
        f->FSB->setValue(0);
        QVERIFY(!f->ck->isEnabled() && f->cmdEdit->isEnabled());
        f->cmdEdit->click();
        QCOMPARE(f->lbStat->text(), QStringLiteral("〔修改中〕"));
        f->cmdCencel->click();
        QVERIFY(!f->ck->isEnabled());
        f->cmdEdit->click();
        QCOMPARE(f->lbStat->text(), QStringLiteral("〔修改中〕"));
        f->cmdCencel->click();
        f->FSB->setValue(1);
        QVERIFY(!f->cmdEdit->isEnabled());
        fx.prompts().expectMessage(QStringLiteral("收支單已簽核 無法修改"));
        f->cmdEdit_Click();  // the handler refuses by itself, whatever the button shows
        QCOMPARE(f->lbStat->text(), QStringLiteral("〔瀏覽〕"));
    }
    {
        // Digit 3 "1": 取消 never opens the box of an approved or a void voucher.
        IoFixture fx(0b1111);
        fx.addVoucher({.no = "920711001", .status = 0});
        fx.addVoucher({.no = "920711002", .status = -3});
        frmIo* f = fx.open();
        f->ck->setEnabled(true);
        f->cmdCencel_Click();
        QVERIFY(!f->ck->isVisible());
        f->FSB->setValue(0);
        f->cmdCencel_Click();
        QVERIFY(f->ck->isChecked() && !f->ck->isEnabled());
    }
    for (const qint32 rights : {0b1111, 0b0111}) {
        // Digit 4: 應收付沖帳 on an approved voucher.
        IoFixture fx(rights);
        fx.addVoucher({.no = "920711001", .status = 1});
        frmIo* f = fx.open();
        QVERIFY(f->cmdMach->isVisible());
        QCOMPARE(f->cmdMach->isEnabled(), rights == 0b1111);
    }
}

void TestIoModes::amountKeysAndTax() {
    IoFixture fx;
    frmIo* f = fx.open();
    f->cmdAdd->click();
    QTest::keyClicks(f->txtCash, "1/0:.-a0");
    QCOMPARE(f->txtCash->text(), QStringLiteral("1/0:0"));
    QTest::keyClick(f->txtCash, Qt::Key_Backspace);
    QCOMPARE(f->txtCash->text(), QStringLiteral("1/0:0"));
    QCOMPARE(f->txtTax->text(), QStringLiteral("0"));  // the leading number is 1

    f->txtCash->clear();
    QTest::keyClicks(f->txtCash, "1000");
    QCOMPARE(f->txtTax->text(), QStringLiteral("48"));  // recomputed on every key
    f->txtCash->clear();
    QTest::keyClicks(f->txtCash, "105");
    QCOMPARE(f->txtTax->text(), QStringLiteral("5"));
    f->txtCash->clear();
    f->txtCash_KeyUp();
    QCOMPARE(f->txtTax->text(), QStringLiteral("0"));
}

void TestIoModes::accountPickColoursAndDocumentFrame() {
    IoFixture fx;
    frmIo* f = fx.open();
    f->cmdAdd->click();
    IoFixture::pickAccount(f, "5101");
    QCOMPARE(f->lbAcIo->text(), QStringLiteral("(支出)"));
    QCOMPARE(f->lbAcTxt->text(), QStringLiteral("文具"));
    QCOMPARE(f->lbAcTxt->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QCOMPARE(f->lbAcIo->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    IoFixture::pickAccount(f, "4101");
    QCOMPARE(f->lbAcIo->text(), QStringLiteral("(收入)"));
    QCOMPARE(f->lbAcTxt->palette().color(QPalette::WindowText), QColor(0, 0, 255));

    // 有單據 shows the document frame with the computed tax; unticking keeps its values.
    QTest::keyClicks(f->txtCash, "2100");
    f->txtTax->setText("7");
    f->Check1->click();
    QVERIFY(f->Frame3->isVisible());
    QCOMPARE(f->txtTax->text(), QStringLiteral("100"));
    f->txtBno->setText("AB123");
    f->Check1->click();
    QVERIFY(!f->Frame3->isVisible());
    QCOMPARE(f->txtBno->text(), QStringLiteral("AB123"));
}

void TestIoModes::formLoadAndUnload() {
    IoFixture fx;
    frmIo* f = fx.open();
    QCOMPARE(f->windowTitle(), QStringLiteral("收支管理"));
    QCOMPARE(f->HeightTwips(), frmIo::kHeight);
    QCOMPARE(f->y(), frmIo::kTop / frmIo::kTwipsPerPixel);
    QCOMPARE(app::gIoOpen, app::True);
    QVERIFY(f->optS->isChecked());
    QCOMPARE(f->DTP1->date(), kToday);
    QCOMPARE(f->txtIo->text(), QStringLiteral("測試工程有限公司"));
    // No voucher stored: 修改 and 取消 show nothing and stay in browsing.
    f->cmdEdit->click();
    QCOMPARE(f->lbStat->text(), QStringLiteral("〔瀏覽〕"));
    QVERIFY(!f->ck->isEnabled());

    // Unloading with a picked voucher keeps gPicked for the next load.
    fx.addVoucher({.no = "920711001"});
    IoFixture::pickFromGrid(f, "920711001");
    QVERIFY(app::Forms::unload<frmIo>());
    QCOMPARE(app::gIoOpen, app::False);
    QCOMPARE(app::gPicked, app::True);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    f = fx.open();
    QCOMPARE(f->lbNo->text(), QStringLiteral("920711001"));
    QVERIFY(!f->FSB->isVisible() && !f->cmdAdd->isVisible());
}

QTEST_MAIN(TestIoModes)
#include "tst_io_modes.moc"
