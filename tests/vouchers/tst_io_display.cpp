// Showing stored vouchers: every status, browsing order and limits, colours, the date
// picker's hand-over, and vouchers opened by number.

#include <QCalendarWidget>

#include "IoFixture.h"

using namespace orvik;
using namespace orvik::testing;
using vouchers::frmIo;

namespace {

int checkedIndex(const auto& options) {
    for (size_t i = 0; i < options.size(); ++i) {
        if (options[i]->isChecked())
            return int(i);
    }
    return -1;
}

}  // namespace

class TestIoDisplay : public QObject {
    Q_OBJECT

  private slots:
    void everyStatus_data();
    void everyStatus();
    void browsingOrderLimitsAndColours();
    void storedFieldsReachTheControls();
    void datePickerHandsOverTheDate();
    void pickedVoucherAndItsReturn();
    void pickedNumberNoLongerStored();
};

void TestIoDisplay::everyStatus_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("suggested");
    // ck: checked, enabled, visible; ckNoW; frmMa visible, enabled; optA; Op1; lbop; cmdMach
    QTest::addColumn<QString>("expected");
    QTest::newRow("-1") << -1 << -1 << "ck=011 ckNoW=0 frmMa=00 Op1=0 lbop=1 mach=0";
    QTest::newRow("-2") << -2 << -2 << "ck=011 ckNoW=0 frmMa=00 Op1=1 lbop=1 mach=0";
    QTest::newRow("-3 cash") << -3 << -1 << "ck=01- ckNoW=1 frmMa=00 Op1=0 lbop=0 mach=0";
    QTest::newRow("-3 bill") << -3 << -2 << "ck=01- ckNoW=1 frmMa=00 Op1=1 lbop=0 mach=0";
    QTest::newRow("0") << 0 << -1 << "ck=101 ckNoW=0 frmMa=10 optA=0 Op1=0 lbop=1 mach=1";
    QTest::newRow("1") << 1 << -2 << "ck=101 ckNoW=0 frmMa=10 optA=1 Op1=1 lbop=1 mach=1";
    QTest::newRow("2") << 2 << -2 << "ck=101 ckNoW=0 frmMa=10 optA=2 Op1=1 lbop=1 mach=0";
    QTest::newRow("3") << 3 << -2 << "ck=101 ckNoW=0 frmMa=10 optA=1 Op1=1 lbop=1 mach=1";
    QTest::newRow("4") << 4 << -2 << "ck=101 ckNoW=0 frmMa=10 optA=2 Op1=1 lbop=1 mach=0";
}

void TestIoDisplay::everyStatus() {
    QFETCH(int, status);
    QFETCH(int, suggested);
    QFETCH(QString, expected);
    IoFixture fx;
    fx.addVoucher({.no = "920711001", .status = qint16(status), .suggested = qint16(suggested)});
    frmIo* f = fx.open();
    QString seen = QStringLiteral("ck=%1%2%3 ckNoW=%4 frmMa=%5%6")
                       .arg(f->ck->isChecked())
                       .arg(f->ck->isEnabled())
                       .arg(f->ck->isVisible() ? "1" : "-")
                       .arg(f->ckNoW->isChecked())
                       .arg(f->frmMa->isVisible())
                       .arg(f->frmMa->isEnabled() && f->frmMa->isVisible());
    if (status >= 0)
        seen += QStringLiteral(" optA=%1").arg(checkedIndex(f->optA));
    seen += QStringLiteral(" Op1=%1 lbop=%2 mach=%3")
                .arg(checkedIndex(f->Op1))
                .arg(f->lbop->isVisible())
                .arg(f->cmdMach->isVisible());
    QCOMPARE(seen, expected);
    // Showing an approved voucher never starts an approval, and 修改 refuses it; an
    // unapproved or a void one can be edited.
    QCOMPARE(f->approvingVoucher, app::False);
    if (status >= 0)
        fx.prompts().expectMessage(QStringLiteral("收支單已簽核 無法修改"));
    f->cmdEdit->click();
    QCOMPARE(f->lbStat->text(),
             status < 0 ? QStringLiteral("〔修改中〕") : QStringLiteral("〔瀏覽〕"));
}

void TestIoDisplay::browsingOrderLimitsAndColours() {
    IoFixture fx;
    fx.addVoucher(
        {.no = "920713001", .account = "4101", .expense = false, .accountName = "工程收入"});
    fx.addVoucher({.no = "920712002"});
    fx.addVoucher({.no = "920712001"});
    frmIo* f = fx.open();
    QCOMPARE(f->lbNo->text(), QStringLiteral("920713001"));
    QCOMPARE(f->FSB->maximum(), 2);
    QCOMPARE(f->FSB->value(), 2);
    QCOMPARE(f->lbAcIo->text(), QStringLiteral("(收入)"));
    QCOMPARE(f->lbAcIo->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    QCOMPARE(f->lbAcTxt->palette().color(QPalette::WindowText), QColor(0, 0, 255));

    f->FSB->setValue(0);
    QCOMPARE(f->lbNo->text(), QStringLiteral("920712001"));
    QCOMPARE(f->lbAcIo->text(), QStringLiteral("(支出)"));
    QCOMPARE(f->lbAcTxt->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    f->FSB->triggerAction(QAbstractSlider::SliderSingleStepSub);  // no wrap-around
    QCOMPARE(f->lbNo->text(), QStringLiteral("920712001"));
    f->FSB->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(f->lbNo->text(), QStringLiteral("920712002"));
    QCOMPARE(f->browsePos, 1);
    f->FSB->setValue(99);
    QCOMPARE(f->lbNo->text(), QStringLiteral("920713001"));
    QCOMPARE(f->browsePos, 2);
}

void TestIoDisplay::storedFieldsReachTheControls() {
    IoFixture fx;
    fx.acc().execute("insert into prj values ('P01', '台北廠房')");
    fx.acc().execute("insert into w4pj values ('P01', '水電'), ('P01', '土木')");
    fx.acc().execute(
        "insert into iof values ('2003-07-10', '920710001', '購買文具', -2, 12345, '5101', -1, "
        "'文具', '附一', '附二', 'P01', '台北廠房', '水電', '2003-07-09', '王大明', '李小華', "
        "-1, 'AB-1', 588, -1, -2)");
    // A project missing from the list (added by another copy since) is kept, not dropped.
    fx.acc().execute(
        "insert into iof values ('2003-07-11', '920711001', '', -1, 0, '', 0, '', '', '', "
        "'P99', '新專案', '', '2003-07-11', '', '', 0, '', 0, 0, -1)");
    frmIo* f = fx.open();
    QCOMPARE(f->cbPj->currentText(), QStringLiteral("P99"));
    QCOMPARE(f->lbPjTxt->text(), QStringLiteral("新專案"));
    f->FSB->setValue(0);
    QCOMPARE(f->lbInDay->text(), QStringLiteral("中華民國 92 年 07 月 10 日"));
    QCOMPARE(f->lbHday->text(), QStringLiteral("中華民國 92 年 07 月 09 日"));
    QCOMPARE(f->cbUse->currentText(), QStringLiteral("購買文具"));
    QCOMPARE(f->txtCash->text(), QStringLiteral("12345"));
    QCOMPARE(f->cbAcc->currentText(), QStringLiteral("5101"));
    QCOMPARE(f->lbAcTxt->text(), QStringLiteral("文具"));
    QCOMPARE(f->cbPs1->currentText(), QStringLiteral("附一"));
    QCOMPARE(f->cbPs2->currentText(), QStringLiteral("附二"));
    QCOMPARE(f->cbPj->currentText(), QStringLiteral("P01"));
    QCOMPARE(f->lbPjTxt->text(), QStringLiteral("台北廠房"));
    QCOMPARE(f->cbWt->currentText(), QStringLiteral("水電"));
    QCOMPARE(IoFixture::items(f->cbWt), (QStringList{"水電", "土木"}));
    QCOMPARE(f->cbReq->currentText(), QStringLiteral("王大明"));
    QCOMPARE(f->cbSin->currentText(), QStringLiteral("李小華"));
    QVERIFY(f->Check1->isChecked() && f->Frame3->isVisibleTo(f));
    QCOMPARE(f->txtBno->text(), QStringLiteral("AB-1"));
    QCOMPARE(f->txtTax->text(), QStringLiteral("588"));  // stored, not recomputed
    QVERIFY(f->O1[1]->isChecked());
    QVERIFY(f->Op1[1]->isChecked());
    // An empty project code selects none.
    f->FSB->setValue(1);
    fx.acc().execute("update iof set 專案號碼 = '', 專案名稱 = '' where 單號 = '920711001'");
    f->cmdCencel_Click();
    QCOMPARE(f->cbPj->currentIndex(), -1);
    QVERIFY(f->lbPjTxt->text().isEmpty());
}

void TestIoDisplay::datePickerHandsOverTheDate() {
    IoFixture fx;
    fx.addVoucher({.no = "920711001", .hDay = QDate(2003, 6, 30)});
    frmIo* f = fx.open();
    f->cmdEdit->click();
    QCOMPARE(f->DTP1->date(), QDate(2003, 6, 30));
    f->DTP1->setDate(QDate(2003, 7, 1));
    QCOMPARE(f->lbHday->text(), QStringLiteral("中華民國 92 年 06 月 30 日"));  // not yet
    // The calendar closing hands the date over.
    f->DTP1->calendarWidget()->window()->show();
    f->DTP1->calendarWidget()->window()->hide();
    QCOMPARE(f->lbHday->text(), QStringLiteral("中華民國 92 年 07 月 01 日"));
    f->cmdSv->click();
    QCOMPARE(fx.row("920711001").at(13).toString(), QStringLiteral("2003-07-01"));
}

void TestIoDisplay::pickedVoucherAndItsReturn() {
    IoFixture fx;
    fx.addVoucher({.no = "920711001", .use = "甲"});
    fx.addVoucher({.no = "920711002", .use = "乙"});
    frmIo* f = fx.open();
    // Double-clicks on the heading row or column 0 do nothing.
    f->HFG->setRows({"", "收支單號", ""}, {{"", "920711001", ""}});
    emit f->HFG->cellDoubleClicked(0, 1);
    emit f->HFG->cellDoubleClicked(1, 0);
    QCOMPARE(app::gPicked, app::False);

    IoFixture::pickFromGrid(f, "920711001");
    QCOMPARE(app::gPicked, app::True);
    QCOMPARE(app::gPickedNo, QStringLiteral("920711001"));
    QCOMPARE(f->cbUse->currentText(), QStringLiteral("甲"));
    QVERIFY(!f->cmdAdd->isVisible() && !f->cmdCencel->isVisible() && !f->FSB->isVisible());

    // Closing the panel shows the last voucher again with the browse controls.
    f->setHeightTwips(frmIo::kExpandedHeight);
    f->cmdNck->setText(QStringLiteral("檢視未簽核收支單<<"));
    app::gListMode = 2;
    f->cmdNck_Click();
    QCOMPARE(f->HeightTwips(), frmIo::kHeight);
    QCOMPARE(app::gPicked, app::False);
    QCOMPARE(f->lbNo->text(), QStringLiteral("920711002"));
    QCOMPARE(f->FSB->value(), 1);
    QVERIFY(f->cmdAdd->isVisible() && f->cmdCencel->isVisible() && f->FSB->isVisible());
}

void TestIoDisplay::pickedNumberNoLongerStored() {
    IoFixture fx;
    fx.addVoucher({.no = "920711001"});
    app::gPicked = app::True;
    app::gPickedNo = QStringLiteral("920799999");
    frmIo* f = fx.open();
    QVERIFY(f->lbNo->text().isEmpty());
    QVERIFY(f->cbUse->currentText().isEmpty());
    QVERIFY(!f->ck->isVisible());
    // Nothing to edit, approve or save.
    f->cmdEdit->click();
    QCOMPARE(f->lbStat->text(), QStringLiteral("〔瀏覽〕"));
    QCOMPARE(fx.count("select count(*) from iof"), 1);
}

QTEST_MAIN(TestIoDisplay)
#include "tst_io_display.moc"
