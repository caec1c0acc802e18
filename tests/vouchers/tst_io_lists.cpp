// The voucher form's lookup lists, the words added on leaving a box, and the add-account
// dialog.

#include "IoFixture.h"
#include "Modal.h"
#include "frmAdAcc.h"

using namespace orvik;
using namespace orvik::testing;
using vouchers::frmAdAcc;
using vouchers::frmIo;

class TestIoLists : public QObject {
    Q_OBJECT

  private slots:
    void accountsIncomeFirst();
    void wordAddedTakesRankOne();
    void knownWordsAndEmptyBoxesAskNothing();
    void peopleListsKeepTheirTexts();
    void workTypesFollowTheProject();
    void unknownAccountDeclined();
    void addAccountDialog();
    void addAccountDialogRefusalsAndCancel();
};

void TestIoLists::accountsIncomeFirst() {
    IoFixture fx;
    // True from older data may be 1 rather than -1; income still comes first.
    fx.acc().execute(
        "insert into acc values ('1102', 1, '利息收入'), ('1101', -1, '銷貨收入'), "
        "('0100', 0, '雜支')");
    frmIo* f = fx.open();
    QCOMPARE(IoFixture::columnTexts(f->cbAcc, 1),
             (QStringList{"1101", "1102", "4101", "0100", "5101"}));
    QCOMPARE(IoFixture::columnTexts(f->cbAcc, 0).first(), QStringLiteral("(收入)"));
    QCOMPARE(IoFixture::columnTexts(f->cbAcc, 0).last(), QStringLiteral("      (支出)"));
    QCOMPARE(IoFixture::columnTexts(f->cbAcc, 2).at(3), QStringLiteral("雜支"));
}

void TestIoLists::wordAddedTakesRankOne() {
    IoFixture fx;
    fx.acc().execute("insert into use values (1, '甲'), (2, '乙'), (3, '丙')");
    frmIo* f = fx.open();
    f->cmdAdd->click();
    QCOMPARE(IoFixture::items(f->cbUse), (QStringList{"甲", "乙", "丙"}));

    // A word with an apostrophe is stored and found like any other.
    const QString word = QStringLiteral("O'Neil's 材料");
    f->cbUse->setEditText(word);
    fx.prompts().expectMessage(QStringLiteral("沒有此用途說明是否加入?"), app::Answer::Yes);
    f->cbUse_Validate();
    const auto& asked = fx.prompts().shown().at(0);
    QCOMPARE(asked.buttons, app::Buttons::YesNo);
    QCOMPARE(asked.icon, app::Icon::Question);
    QCOMPARE(asked.defaultButton, app::DefaultButton::Second);
    QCOMPARE(IoFixture::items(f->cbUse), (QStringList{word, "甲", "乙", "丙"}));
    QCOMPARE(f->cbUse->currentText(), word);
    QCOMPARE(fx.count("select id from use where use = ?", {word}), 1);
    QCOMPARE(fx.count("select id from use where use = '丙'"), 4);

    // Declined: the word stays in the box and is not stored.
    f->cbPs2->setEditText(QStringLiteral("新附註"));
    fx.prompts().expectMessage(QStringLiteral("沒有此附註二是否加入?"), app::Answer::No);
    f->cbPs2_Validate();
    QCOMPARE(f->cbPs2->currentText(), QStringLiteral("新附註"));
    QCOMPARE(fx.count("select count(*) from ps2"), 0);

    // Leaving the box for another control of the form asks the same question.
    f->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f));
    f->cbPs1->setFocus();
    f->cbPs1->setEditText(QStringLiteral("備品"));
    fx.prompts().expectMessage(QStringLiteral("沒有此附註一是否加入?"), app::Answer::Yes);
    f->txtCash->setFocus();
    QCOMPARE(fx.count("select id from ps1 where ps = '備品'"), 1);
}

void TestIoLists::knownWordsAndEmptyBoxesAskNothing() {
    IoFixture fx;
    fx.acc().execute("insert into ps1 values (1, '甲'), (2, '乙'), (3, 'Bolt')");
    frmIo* f = fx.open();
    f->cmdAdd->click();
    for (const char* known : {"乙", "bolt"}) {  // any rank; letter case does not matter
        f->cbPs1->setEditText(QString::fromUtf8(known));
        f->cbPs1_Validate();
    }
    f->cbUse->setEditText(QString());
    f->cbUse_Validate();
    f->cbAcc->setEditText(QString());
    f->cbAcc_Validate();
    // A known code typed in full shows its side and name as a pick would.
    f->cbAcc->setEditText(QStringLiteral("5101"));
    f->cbAcc_Validate();
    QCOMPARE(f->lbAcTxt->text(), QStringLiteral("文具"));
    QCOMPARE(f->lbAcIo->text(), QStringLiteral("(支出)"));
    QVERIFY(fx.prompts().shown().isEmpty());
    QCOMPARE(fx.count("select count(*) from ps1"), 3);
}

void TestIoLists::peopleListsKeepTheirTexts() {
    IoFixture fx;
    auto general = app::dbGeneral;
    general->execute(
        "insert into 員工 (員工編號, 中文姓名) values ('E2', '李小華'), ('E1', '王大明')");
    general->execute("insert into 廠商 values ('V1', '大同五金'), ('V2', 'Joe''s 行')");
    frmIo* f = fx.open();
    QCOMPARE(IoFixture::items(f->cbReq), (QStringList{"王大明", "李小華"}));
    QCOMPARE(IoFixture::items(f->cbSin), IoFixture::items(f->cbReq));
    f->cmdAdd->click();
    f->cbReq->setEditText(QStringLiteral("王大明"));
    f->cbSin->setEditText(QStringLiteral("臨時工"));
    f->optP->click();
    QCOMPARE(IoFixture::items(f->cbReq), (QStringList{"大同五金", "Joe's 行"}));
    QCOMPARE(f->cbReq->currentText(), QStringLiteral("王大明"));
    QCOMPARE(f->cbSin->currentText(), QStringLiteral("臨時工"));
    f->optS->click();
    QCOMPARE(IoFixture::items(f->cbSin), (QStringList{"王大明", "李小華"}));
    QCOMPARE(f->cbSin->currentText(), QStringLiteral("臨時工"));
}

void TestIoLists::workTypesFollowTheProject() {
    IoFixture fx;
    fx.acc().execute("insert into prj values ('P02', '新竹'), ('P01', '台北')");
    fx.acc().execute("insert into w4pj values ('P01', '水電'), ('P02', '鋼構'), ('P01', '土木')");
    frmIo* f = fx.open();
    QCOMPARE(IoFixture::columnTexts(f->cbPj, 0), (QStringList{"P01", "P02"}));
    QVERIFY(IoFixture::items(f->cbWt).isEmpty());  // no project picked yet
    f->cmdAdd->click();
    IoFixture::pickProject(f, "P01");
    QCOMPARE(f->lbPjTxt->text(), QStringLiteral("台北"));
    QCOMPARE(IoFixture::items(f->cbWt), (QStringList{"水電", "土木"}));
    fx.acc().execute("delete from w4pj where pj_id = 'P02'");
    IoFixture::pickProject(f, "P02");
    QVERIFY(IoFixture::items(f->cbWt).isEmpty());
}

void TestIoLists::unknownAccountDeclined() {
    IoFixture fx;
    frmIo* f = fx.open();
    f->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f));
    f->cmdAdd->click();
    f->cbAcc->setFocus();
    f->cbAcc->setEditText(QStringLiteral("9999"));
    fx.prompts().expectMessage(QStringLiteral("沒有此科目是否加入?"), app::Answer::No);
    f->txtCash->setFocus();  // leaving the box
    QVERIFY(f->cbAcc->hasFocus() || f->cbAcc->isAncestorOf(QApplication::focusWidget()));
    QCOMPARE(fx.count("select count(*) from acc"), 2);
    QCOMPARE(fx.prompts().shown().at(0).defaultButton, app::DefaultButton::Second);
}

void TestIoLists::addAccountDialog() {
    IoFixture fx;
    frmIo* f = fx.open();
    f->cmdAdd->click();
    IoFixture::pickAccount(f, "5101");  // an expense account leaves the labels red
    const QString code = QStringLiteral(" ab'1 ");
    f->cbAcc->setEditText(code);
    bool shown = false;
    app::ScopedModalHook hook([&](QWidget* w) {
        auto* d = qobject_cast<frmAdAcc*>(w);
        QVERIFY(d);
        shown = true;
        QCOMPARE(d->windowTitle(), QStringLiteral("新增科目"));
        QCOMPARE(d->lbAccNo->text(), code);
        QVERIFY(d->Ot1[1]->isChecked());  // the side follows the red labels
        d->Ot1[0]->click();
        QCOMPARE(f->lbAcIo->palette().color(QPalette::WindowText), QColor(0, 0, 255));
        QCOMPARE(d->txtAcc->palette().color(QPalette::Text), QColor(0, 0, 255));
        d->txtAcc->setText(QStringLiteral("顧問收入"));
        d->Command1->click();
    });
    fx.prompts().expectMessage(QStringLiteral("沒有此科目是否加入?"), app::Answer::Yes);
    f->cbAcc_Validate();
    QVERIFY(shown);
    QCOMPARE(fx.count("select count(*) from acc where id = ? and incom = -1 and acc = '顧問收入'",
                      {code}),
             1);
    QCOMPARE(f->lbAcTxt->text(), QStringLiteral("顧問收入"));
    QCOMPARE(f->lbAcIo->text(), QStringLiteral("(收入)"));  // the side's words follow its colour
    // The list is read again, and the code stays in the box.
    QVERIFY(IoFixture::columnTexts(f->cbAcc, 1).contains(code));
    QCOMPARE(f->cbAcc->currentText(), code);
    QVERIFY(!app::Forms::isLoaded<frmAdAcc>());

    // The voucher saves with the new account.
    QTest::keyClicks(f->txtCash, "500");
    f->cmdSv->click();
    QCOMPARE(fx.row("920712001").at(5).toString(), code);
    QCOMPARE(fx.row("920712001").at(6).toInt(), 0);  // an income voucher
}

void TestIoLists::addAccountDialogRefusalsAndCancel() {
    IoFixture fx;
    frmIo* f = fx.open();
    f->cmdAdd->click();
    f->cbAcc->setEditText(QStringLiteral("7001"));
    // Nothing picked and the labels not red: neither side is chosen; a blank name is refused;
    // a name of blanks is not blank and is saved as typed.
    {
        app::ScopedModalHook hook([&](QWidget* w) {
            auto* d = qobject_cast<frmAdAcc*>(w);
            QVERIFY(!d->Ot1[0]->isChecked() && !d->Ot1[1]->isChecked());
            fx.prompts().expectMessage(QStringLiteral("請填入科目名稱"));
            d->Command1->click();
            QVERIFY(d->isVisible());
            QCOMPARE(fx.prompts().shown().last().icon, app::Icon::Exclamation);
            d->txtAcc->setText(QStringLiteral("  "));
            d->Command1->click();
        });
        fx.prompts().expectMessage(QStringLiteral("沒有此科目是否加入?"), app::Answer::Yes);
        f->cbAcc_Validate();
    }
    QCOMPARE(fx.count("select count(*) from acc where id = '7001' and incom = 0 and acc = '  '"),
             1);

    // Cancel writes nothing, but the colour chosen on the way stays on the voucher form.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    f->cbAcc->setEditText(QStringLiteral("7002"));
    {
        app::ScopedModalHook hook([&](QWidget* w) {
            auto* d = qobject_cast<frmAdAcc*>(w);
            d->Ot1[0]->click();
            d->txtAcc->setText(QStringLiteral("不要了"));
            d->Command2->click();
        });
        fx.prompts().expectMessage(QStringLiteral("沒有此科目是否加入?"), app::Answer::Yes);
        f->cbAcc_Validate();
    }
    QCOMPARE(fx.count("select count(*) from acc where id = '7002'"), 0);
    QCOMPARE(f->lbAcTxt->palette().color(QPalette::WindowText), QColor(0, 0, 255));
}

QTEST_MAIN(TestIoLists)
#include "tst_io_lists.moc"
