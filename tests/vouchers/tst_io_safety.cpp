// What the voucher form must never do by accident: pay, rewrite or lose a voucher nobody meant
// to touch. Picks in the middle of an entry, rights at every moment, a void voucher approved,
// an unknown account code, amounts that are not whole numbers, a typed word replaced by a
// stored one, a combined bill over changed vouchers, the panel buttons, a busy database,
// closing with an entry open, numbers across 民國 100, and a word added by two copies at once.

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMimeData>
#include <functional>

#include "IoFixture.h"
#include "Modal.h"
#include "Program.h"
#include "Routines.h"
#include "Schema.h"
#include "frmAdAcc.h"
#include "frmMach.h"

using namespace orvik;
using namespace orvik::testing;
using vouchers::frmIo;

namespace {

const QString kNotSaved = QStringLiteral("此收支單尚未儲存");
const QString kNoRight = QStringLiteral("您沒有這項作業的權限");

// Prompts answered by the fixture's scripted service, with a hook that runs first, while the
// prompt is up: what another copy of the program does at that moment.
class PromptsWithHook final : public app::PromptService {
  public:
    PromptsWithHook(app::PromptService& inner, std::function<void(const QString&)> hook)
        : inner_(inner), hook_(std::move(hook)) {}
    app::Answer message(const app::MessageRequest& r) override {
        hook_(r.text);
        return inner_.message(r);
    }
    std::optional<QString> input(const app::InputRequest& r) override { return inner_.input(r); }
    QString openFile(const app::FileRequest& r) override { return inner_.openFile(r); }

  private:
    app::PromptService& inner_;
    std::function<void(const QString&)> hook_;
};

// Double-clicks the row of voucher `no` in the open list, as a user does.
void doubleClickRow(frmIo* f, const QString& no) {
    for (int r = 1; r < f->HFG->rowCount(); ++r) {
        if (f->HFG->text(r, 1) != no)
            continue;
        const QRect rect = f->HFG->cellRect(r, 3);
        QTest::mouseClick(f->HFG->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(f->HFG->viewport(), Qt::LeftButton, {}, rect.center());
        return;
    }
    QFAIL(qPrintable(no + " is not listed"));
}

// Types text key by key, as a keyboard (or an input method sending keys) does; QTest's own
// key clicks know only ASCII.
void typeText(QWidget* w, const QString& text) {
    for (const QChar c : text) {
        QTest::sendKeyEvent(QTest::Press, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

QString modeOf(frmIo* f) {
    return f->lbStat->text() + (f->approvingVoucher ? QStringLiteral("+approving") : QString());
}

}  // namespace

class TestIoSafety : public QObject {
    Q_OBJECT

  private slots:
    void gridPickDuringEntry_data();
    void gridPickDuringEntry();
    void rightsHoldInEveryHandler_data();
    void rightsHoldInEveryHandler();
    void voidAndApproveTogetherRefused();
    void unknownAccountCodeClearsNameAndSide();
    void amountsThroughEveryWay();
    void typedWordStaysAsTyped();
    void combinedBillRefusesChangedVouchers();
    void panelCaptionsStayInStep();
    void busyDatabaseKeepsTheEntry();
    void closingAsksFirst();
    void numbersAcrossYear100();
    void wordAddedOnceByTwoCopies();
};

void TestIoSafety::gridPickDuringEntry_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("abandon");
    for (const char* mode : {"new", "edit", "approval"}) {
        QTest::addRow("%s, 否", mode) << QString::fromLatin1(mode) << false;
        QTest::addRow("%s, 是", mode) << QString::fromLatin1(mode) << true;
    }
}

// A pick from the list replaces the voucher on display: during an entry it first asks, and
// 儲存 then writes exactly what the user was entering (否) or nothing at all (是).
void TestIoSafety::gridPickDuringEntry() {
    QFETCH(QString, mode);
    QFETCH(bool, abandon);
    IoFixture fx;
    fx.addVoucher({.no = "920711001", .amount = 1000, .use = "甲"});
    fx.addVoucher({.no = "920711002", .amount = 2000, .use = "乙"});
    frmIo* f = fx.open();
    f->FSB->setValue(0);  // 920711001
    if (mode == "new") {
        f->cmdAdd->click();
        f->cbUse->setEditText(QStringLiteral("新的"));
        QTest::keyClicks(f->txtCash, "300");
        IoFixture::pickAccount(f, "5101");
    } else if (mode == "edit") {
        f->cmdEdit->click();
        f->cbUse->setEditText(QStringLiteral("改過"));
    } else {
        f->ck->click();
        f->optA[0]->click();  // 現金
    }
    const QString before = modeOf(f);
    const QString shownNo = f->lbNo->text();
    f->cmdNck->click();
    fx.prompts().expectMessage(kNotSaved, abandon ? app::Answer::Yes : app::Answer::No);
    doubleClickRow(f, "920711002");
    QCOMPARE(fx.prompts().shown().size(), 1);
    const auto& question = fx.prompts().shown().last();
    QCOMPARE(question.buttons, app::Buttons::YesNo);
    QCOMPARE(question.defaultButton, app::DefaultButton::Second);

    if (!abandon) {
        QCOMPARE(modeOf(f), before);
        QCOMPARE(f->lbNo->text(), shownNo);
        QCOMPARE(app::gPicked, app::False);
        f->cmdSv->click();
        if (mode == "new") {
            QCOMPARE(fx.row("920712001").at(2).toString(), QStringLiteral("新的"));
        } else if (mode == "edit") {
            QCOMPARE(fx.row("920711001").at(2).toString(), QStringLiteral("改過"));
        } else {
            QCOMPARE(fx.row("920711001").at(3).toInt(), 0);
            QCOMPARE(fx.count("select 收支單號 from cash"), 920711001);
        }
        QCOMPARE(fx.row("920711002").at(3).toInt(), -1);  // the picked one never
        QCOMPARE(fx.row("920711002").at(2).toString(), QStringLiteral("乙"));
        return;
    }
    // Given up as 取消 gives it up; the picked voucher is on display, and 儲存 has nothing
    // to write.
    QCOMPARE(modeOf(f), QStringLiteral("〔瀏覽〕"));
    QCOMPARE(f->lbNo->text(), QStringLiteral("920711002"));
    QVERIFY(!f->ck->isChecked());
    QVERIFY(!f->cmdSv->isEnabled());
    f->cmdSv->click();
    QCOMPARE(fx.count("select count(*) from iof"), 2);
    QCOMPARE(fx.count("select count(*) from cash"), 0);
    for (const QString& no : {QStringLiteral("920711001"), QStringLiteral("920711002")})
        QCOMPARE(fx.row(no).at(3).toInt(), -1);
    QCOMPARE(fx.row("920711001").at(2).toString(), QStringLiteral("甲"));
    QCOMPARE(fx.row("920711002").at(2).toString(), QStringLiteral("乙"));
}

void TestIoSafety::rightsHoldInEveryHandler_data() {
    QTest::addColumn<int>("rights");
    QTest::addColumn<bool>("enter");     // digit 1: 新增, 修改
    QTest::addColumn<bool>("approve");   // digit 3: 已簽核, 合計開票, 確定開票
    QTest::addColumn<bool>("writeOff");  // digit 4: 應收付沖帳
    QTest::newRow("1") << 1 << true << false << false;
    QTest::newRow("2") << 2 << false << false << false;
    QTest::newRow("4") << 4 << false << true << false;
    QTest::newRow("5") << 5 << true << true << false;
    QTest::newRow("8") << 8 << false << false << true;
    QTest::newRow("-1") << -1 << false << false << false;
    QTest::newRow("all") << int(app::kAllRights) << true << true << true;
}

// The controls follow the rights, and each handler asks again when it is reached anyway.
void TestIoSafety::rightsHoldInEveryHandler() {
    QFETCH(int, rights);
    QFETCH(bool, enter);
    QFETCH(bool, approve);
    QFETCH(bool, writeOff);
    IoFixture fx(rights);
    fx.addBanks();
    fx.addVoucher({.no = "920711001", .amount = 700});
    fx.addVoucher({.no = "920711002", .status = 0, .amount = 900});
    frmIo* f = fx.open();
    f->FSB->setValue(0);  // the unapproved voucher
    QCOMPARE(f->cmdAdd->isEnabled(), enter);
    QCOMPARE(f->cmdEdit->isEnabled(), enter);
    QCOMPARE(f->ck->isEnabled(), approve);
    QVERIFY(!f->ck->isChecked());

    // 已簽核 reached past the disabled box, then 儲存 reached with the approval armed.
    f->ck->setEnabled(true);
    if (!approve)
        fx.prompts().expectMessage(kNoRight);
    f->ck->click();
    QCOMPARE(f->approvingVoucher, app::toBool16(approve));
    if (!approve) {
        QVERIFY(!f->ck->isChecked());
        f->approvingVoucher = app::True;
        f->optA[0]->setChecked(true);
        fx.prompts().expectMessage(kNoRight);
    }
    f->cmdSv_Click();
    QCOMPARE(fx.count("select count(*) from cash"), approve ? 1 : 0);
    QCOMPARE(fx.row("920711001").at(3).toInt(), approve ? 0 : -1);
    f->approvingVoucher = app::False;
    f->cmdCencel_Click();

    // 新增 and 修改 reached past their buttons.
    if (!enter)
        fx.prompts().expectMessage(kNoRight);
    f->cmdAdd_Click();
    QCOMPARE(f->lbStat->text(), enter ? QStringLiteral("〔新增中〕") : QStringLiteral("〔瀏覽〕"));
    f->cmdCencel_Click();

    // 合計開票 and 確定開票 in the list of unapproved vouchers.
    fx.addVoucher({.no = "920711003", .amount = 300});
    f->cmdNck->click();
    QCOMPARE(f->ckco->isEnabled(), approve);
    f->ckco->setEnabled(true);
    if (!approve)
        fx.prompts().expectMessage(kNoRight);
    f->ckco->click();
    QCOMPARE(f->ckco->isChecked(), approve);
    if (approve) {
        f->HFG_MouseDown(1, 4);
        app::ScopedModalHook hook([](QWidget* w) { IoFixture::fillBill(w, "CK-R"); });
        f->cmdco_Click();
    } else {
        fx.prompts().expectMessage(kNoRight);
        f->cmdco_Click();
    }
    QCOMPARE(fx.count("select count(*) from bill"), approve ? 1 : 0);
    QCOMPARE(fx.count("select count(*) from iof where 方式 = 1"), approve ? 1 : 0);
    f->cmdNck->click();

    // 應收付沖帳 on the approved voucher.
    f->FSB->setValue(1);
    QCOMPARE(f->lbNo->text(), QStringLiteral("920711002"));
    QCOMPARE(f->cmdMach->isEnabled(), writeOff);
    bool opened = false;
    app::ScopedModalHook hook([&](QWidget* w) {
        opened = qobject_cast<writeoff::frmMach*>(w) != nullptr;
        w->close();
    });
    if (!writeOff)
        fx.prompts().expectMessage(kNoRight);
    else
        fx.prompts().expectMessage(QStringLiteral("無應收付可沖帳"));
    f->cmdMach_Click();
    QCOMPARE(opened, writeOff);
}

void TestIoSafety::voidAndApproveTogetherRefused() {
    IoFixture fx;
    fx.addBanks();
    fx.addVoucher({.no = "920711001", .amount = 600});
    frmIo* f = fx.open();
    for (int method : {0, 1}) {  // 現金, 票據
        f->cmdEdit->click();
        f->ckNoW->click();
        f->ck->click();
        f->optA[method]->click();
        fx.prompts().expectMessage(QStringLiteral("作廢的收支單不可簽核"));
        // No bill form opens for a void voucher.
        app::ScopedModalHook hook([](QWidget*) { QFAIL("the bill form opened"); });
        f->cmdSv->click();
        QCOMPARE(fx.row("920711001").at(3).toInt(), -1);
        QCOMPARE(fx.count("select count(*) from cash"), 0);
        QCOMPARE(fx.count("select count(*) from bill"), 0);
        QCOMPARE(modeOf(f), QStringLiteral("〔修改中〕+approving"));
        f->cmdCencel->click();
    }
    // Voided alone, it is stored void.
    f->cmdEdit->click();
    f->ckNoW->click();
    f->cmdSv->click();
    QCOMPARE(fx.row("920711001").at(3).toInt(), -3);
}

// A code not in the chart keeps nothing of the account shown before: answering 否, or 是 and
// then 取消 in 新增科目, leaves the save refused with 科目不可空白.
void TestIoSafety::unknownAccountCodeClearsNameAndSide() {
    IoFixture fx;
    frmIo* f = fx.open();
    f->cmdAdd->click();
    f->cbUse->setEditText(QStringLiteral("雜支"));
    QTest::keyClicks(f->txtCash, "450");
    IoFixture::pickAccount(f, "4101");  // 工程收入, income
    QCOMPARE(f->lbAcTxt->text(), QStringLiteral("工程收入"));

    f->cbAcc->setEditText(QStringLiteral("6201"));
    fx.prompts().expectMessage(QStringLiteral("沒有此科目是否加入?"), app::Answer::No);
    f->cbAcc_Validate();
    QVERIFY(f->lbAcTxt->text().isEmpty() && f->lbAcIo->text().isEmpty());
    fx.prompts().expectMessage(QStringLiteral("科目不可空白"));
    f->cmdSv->click();

    IoFixture::pickAccount(f, "4101");
    f->cbAcc->setEditText(QStringLiteral("6201"));
    {
        fx.prompts().expectMessage(QStringLiteral("沒有此科目是否加入?"), app::Answer::Yes);
        app::ScopedModalHook hook([](QWidget* w) {
            qobject_cast<vouchers::frmAdAcc*>(w)->Command2->click();  // 取消
        });
        f->cbAcc_Validate();
    }
    QVERIFY(f->lbAcTxt->text().isEmpty() && f->lbAcIo->text().isEmpty());
    fx.prompts().expectMessage(QStringLiteral("科目不可空白"));
    f->cmdSv->click();
    QCOMPARE(fx.count("select count(*) from iof"), 0);

    // Added, the voucher is saved under the new account's own name and side.
    {
        fx.prompts().expectMessage(QStringLiteral("沒有此科目是否加入?"), app::Answer::Yes);
        app::ScopedModalHook hook([](QWidget* w) {
            auto* d = qobject_cast<vouchers::frmAdAcc*>(w);
            d->txtAcc->setText(QStringLiteral("交通費"));
            d->Ot1[1]->click();
            d->Command1->click();
        });
        f->cbAcc_Validate();
    }
    f->cmdSv->click();
    const QVariantList r = fx.row("920712001");
    QCOMPARE(r.at(5).toString(), QStringLiteral("6201"));
    QCOMPARE(r.at(6).toInt(), -1);  // expense
    QCOMPARE(r.at(7).toString(), QStringLiteral("交通費"));
}

// Paste, drop and an input method reach the amount boxes through the same filter as keys; a
// text that is still not a whole number of up to 12 digits is refused before anything is
// written.
void TestIoSafety::amountsThroughEveryWay() {
    IoFixture fx;
    frmIo* f = fx.open();
    f->cmdAdd->click();
    IoFixture::pickAccount(f, "5101");

    QApplication::clipboard()->setText(QStringLiteral("-500"));
    f->txtCash->paste();
    QCOMPARE(f->txtCash->text(), QStringLiteral("500"));
    QCOMPARE(f->txtTax->text(), QStringLiteral("24"));  // the tax follows a paste too
    f->txtCash->clear();
    QApplication::clipboard()->setText(QStringLiteral("1e5"));
    f->txtCash->paste();
    QCOMPARE(f->txtCash->text(), QStringLiteral("15"));

    f->txtCash->clear();
    QMimeData mime;
    mime.setText(QStringLiteral("-7,000"));
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(f->txtCash, &enter);
    QDragMoveEvent move(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(f->txtCash, &move);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(f->txtCash, &drop);
    QCOMPARE(f->txtCash->text(), QStringLiteral("7000"));

    f->txtCash->clear();
    QInputMethodEvent ime;
    ime.setCommitString(QStringLiteral("１２３元"));  // full-width digits from an input method
    QApplication::sendEvent(f->txtCash, &ime);
    QCOMPARE(f->txtCash->text(), QStringLiteral("123"));

    f->Check1->click();
    QApplication::clipboard()->setText(QStringLiteral("abc"));
    f->txtTax->clear();
    f->txtTax->paste();
    QCOMPARE(f->txtTax->text(), QString());

    // What the filter lets through and code put there anyway is refused at 儲存.
    const struct {
        const char* amount;
        const char* tax;
        const char* message;
    } refused[] = {
        {"12/5", "", "金額必須是 12 位數以內的整數"},
        {"1234567890123", "", "金額必須是 12 位數以內的整數"},
        {"-500", "", "金額必須是 12 位數以內的整數"},
        {"500", "abc", "稅額必須是 12 位數以內的整數"},
        {"500", "-3", "稅額必須是 12 位數以內的整數"},
    };
    for (const auto& r : refused) {
        f->txtCash->setText(QString::fromUtf8(r.amount));
        f->txtTax->setText(QString::fromUtf8(r.tax));
        fx.prompts().expectMessage(QString::fromUtf8(r.message));
        f->cmdSv->click();
        QCOMPARE(fx.count("select count(*) from iof"), 0);
        QCOMPARE(f->lbStat->text(), QStringLiteral("〔新增中〕"));
    }
    f->txtCash->setText(QStringLiteral("123456789012"));
    f->txtTax->setText(QStringLiteral("5879"));
    f->cmdSv->click();
    QCOMPARE(fx.row("920712001").at(4).toLongLong(), 123456789012LL);
    QCOMPARE(fx.row("920712001").at(18).toLongLong(), 5879);
}

// A new word that begins a stored one is kept as typed, and offered for adding.
void TestIoSafety::typedWordStaysAsTyped() {
    IoFixture fx;
    fx.acc().execute(QStringLiteral("insert into use (id, use) values (1, '工地雜支')"));
    fx.acc().execute(QStringLiteral("insert into ps1 (id, ps) values (1, '工地雜支')"));
    frmIo* f = fx.open();
    f->show();
    f->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f));
    f->cmdAdd->click();
    // Leaving each box asks to add the word typed, which is not stored yet.
    fx.prompts().expectMessage(QStringLiteral("沒有此用途說明是否加入?"), app::Answer::Yes);
    fx.prompts().expectMessage(QStringLiteral("沒有此附註一是否加入?"), app::Answer::Yes);
    for (QComboBox* box : {f->cbUse, f->cbPs1}) {
        box->setFocus();
        typeText(box->lineEdit(), QStringLiteral("工地"));
        QCOMPARE(box->currentText(), QStringLiteral("工地"));
    }
    f->txtCash->setFocus();
    QCOMPARE(fx.count("select count(*) from use where use = '工地'"), 1);
    QCOMPARE(fx.count("select count(*) from ps1 where ps = '工地'"), 1);
    // The account box still completes, as it always did.
    f->cbAcc->setFocus();
    QTest::keyClicks(f->cbAcc, QStringLiteral("51"));
    QCOMPARE(f->cbAcc->currentText(), QStringLiteral("5101"));
}

// The bill's total was made from the amounts marked: a voucher changed since then by another
// copy stops the bill, named, and leaves the others marked.
void TestIoSafety::combinedBillRefusesChangedVouchers() {
    IoFixture fx;
    fx.addBanks();
    fx.addVoucher({.no = "920711001", .amount = 1000});
    fx.addVoucher({.no = "920711002", .amount = 2000});
    fx.addVoucher({.no = "920711003", .amount = 500});
    frmIo* f = fx.open();
    f->cmdNck->click();
    f->ckco->click();
    for (int r = 1; r <= 3; ++r)
        f->HFG_MouseDown(r, 4);
    QCOMPARE(app::gMarkedTotal, 3500);
    auto other = openDatabaseFile(fx.folder.path(), store::schema::acc());
    other->execute(QStringLiteral("update iof set 金額 = 2500 where 單號 = '920711002'"));
    {
        app::ScopedModalHook hook([](QWidget* w) { IoFixture::fillBill(w, "CK-S"); });
        fx.prompts().expectMessage(
            QStringLiteral("下列收支單的金額或收支已在別處修改:\r\n920711002"));
        f->cmdco->click();
    }
    QCOMPARE(fx.count("select count(*) from bill"), 0);
    QCOMPARE(fx.count("select count(*) from iofs"), 0);
    QCOMPARE(fx.count("select count(*) from iof where 方式 = 1"), 0);
    QVERIFY(f->HFG->isMarked(1) && !f->HFG->isMarked(2) && f->HFG->isMarked(3));
    QCOMPARE(f->HFG->text(2, 8), QStringLiteral("2,500"));
    QCOMPARE(app::gMarkedTotal, 1500);
}

// Opening one list closes the other through its own button, so both captions stay true.
void TestIoSafety::panelCaptionsStayInStep() {
    IoFixture fx;
    fx.addVoucher({.no = "920711001", .use = "購買文具"});
    frmIo* f = fx.open();
    fx.prompts().expectInput(QStringLiteral("文具"));
    f->cmdSall->click();
    QCOMPARE(f->cmdSall->text(), QStringLiteral("全文檢索<<"));
    f->cmdNck->click();
    QCOMPARE(f->cmdSall->text(), QStringLiteral("全文檢索>>"));
    QCOMPARE(f->cmdNck->text(), QStringLiteral("檢視未簽核收支單<<"));
    QCOMPARE(app::gListMode, qint16(2));
    f->cmdNck->click();
    QCOMPARE(f->cmdNck->text(), QStringLiteral("檢視未簽核收支單>>"));
    fx.prompts().expectInput(QStringLiteral("文具"));
    f->cmdSall->click();  // opens again, rather than doing nothing
    QCOMPARE(f->cmdSall->text(), QStringLiteral("全文檢索<<"));
    f->cmdNck->click();
    f->cmdNck->click();
    fx.prompts().expectInput(QStringLiteral("文具"));
    f->cmdSall->click();
    QCOMPARE(f->HeightTwips(), frmIo::kExpandedHeight);
    QCOMPARE(f->cmdNck->text(), QStringLiteral("檢視未簽核收支單>>"));
}

// Another copy holds the write lock past the wait: the save says so and keeps every typed
// value and the mode; pressed again once the lock is gone, it saves them all.
void TestIoSafety::busyDatabaseKeepsTheEntry() {
    IoFixture fx;
    fx.addBanks();
    fx.addVoucher({.no = "920711001", .amount = 800});
    fx.acc().setBusyTimeout(150);
    frmIo* f = fx.open();
    auto other = openDatabaseFile(fx.folder.path(), store::schema::acc());

    f->cmdAdd->click();
    f->cbUse->setEditText(QStringLiteral("工地午餐"));
    QTest::keyClicks(f->txtCash, "2100");
    IoFixture::pickAccount(f, "5101");
    f->cbPs1->setEditText(QStringLiteral("十人份"));
    f->cbReq->setEditText(QStringLiteral("陳工頭"));
    other->beginTrans();  // another copy in the middle of a save
    fx.prompts().expectMessage(QStringLiteral("資料庫正由另一位使用者或程式使用中"));
    f->cmdSv->click();
    QCOMPARE(fx.prompts().shown().size(), 1);
    const auto& told = fx.prompts().shown().last();
    QVERIFY(told.text.contains(QStringLiteral("「儲存」")));
    QVERIFY(!app::ProgramEnded());
    QCOMPARE(f->lbStat->text(), QStringLiteral("〔新增中〕"));
    QCOMPARE(f->cbUse->currentText(), QStringLiteral("工地午餐"));
    QCOMPARE(f->txtCash->text(), QStringLiteral("2100"));
    QCOMPARE(f->lbAcTxt->text(), QStringLiteral("文具"));
    QCOMPARE(f->cbPs1->currentText(), QStringLiteral("十人份"));
    QCOMPARE(f->cbReq->currentText(), QStringLiteral("陳工頭"));
    other->rollback();
    QCOMPARE(fx.count("select count(*) from iof"), 1);

    f->cmdSv->click();
    const QVariantList r = fx.row("920712001");
    QCOMPARE(r.at(0).toString(), QStringLiteral("2003-07-12"));
    QCOMPARE(r.at(2).toString(), QStringLiteral("工地午餐"));
    QCOMPARE(r.at(4).toInt(), 2100);
    QCOMPARE(r.at(5).toString(), QStringLiteral("5101"));
    QCOMPARE(r.at(8).toString(), QStringLiteral("十人份"));
    QCOMPARE(r.at(14).toString(), QStringLiteral("陳工頭"));
    QCOMPARE(f->lbStat->text(), QStringLiteral("〔瀏覽〕"));

    // A bill's values live in a form that has closed: the user retries at once, here once the
    // other copy has let go while the question is up.
    f->FSB->setValue(0);
    other->beginTrans();
    PromptsWithHook releasing(fx.prompts(), [&](const QString& text) {
        if (text.contains(QStringLiteral("是否再試一次")))
            other->rollback();
    });
    app::ScopedPrompts installed(releasing);
    fx.prompts().expectMessage(QStringLiteral("是否再試一次"), app::Answer::Yes);
    app::ScopedModalHook hook([](QWidget* w) { IoFixture::fillBill(w, "CK-B"); });
    IoFixture::approve(f, false);
    QCOMPARE(fx.row("920711001").at(3).toInt(), 1);
    QCOMPARE(fx.count("select count(*) from bill where 票據號碼 = 'CK-B'"), 1);
}

void TestIoSafety::closingAsksFirst() {
    IoFixture fx;
    fx.addVoucher({.no = "920711001"});
    frmIo* f = fx.open();
    QVERIFY(app::Forms::unload<frmIo>());  // browsing: closes without a question
    QCOMPARE(fx.prompts().shown().size(), 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    for (const char* mode : {"new", "edit", "approval"}) {
        f = fx.open();
        if (qstrcmp(mode, "new") == 0) {
            f->cmdAdd->click();
            f->cbUse->setEditText(QStringLiteral("未存"));
        } else if (qstrcmp(mode, "edit") == 0) {
            f->cmdEdit->click();
            f->cbUse->setEditText(QStringLiteral("未存"));
        } else {
            f->ck->click();
        }
        fx.prompts().expectMessage(kNotSaved, app::Answer::No);
        QVERIFY2(!app::Forms::unload<frmIo>(), mode);
        QCOMPARE(app::gIoOpen, app::True);
        if (qstrcmp(mode, "approval") != 0)
            QCOMPARE(f->cbUse->currentText(), QStringLiteral("未存"));
        fx.prompts().expectMessage(kNotSaved, app::Answer::Yes);
        QVERIFY2(app::Forms::unload<frmIo>(), mode);
        QCOMPARE(app::gIoOpen, app::False);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QCOMPARE(fx.count("select count(*) from iof"), 1);
    QCOMPARE(fx.row("920711001").at(2).toString(), QStringLiteral("購買文具"));
    QCOMPARE(fx.count("select count(*) from cash"), 0);
}

// Numbers of 民國 99 have nine characters, those of 民國 100 ten: in number order the older
// come first, and the form opens on the newest.
void TestIoSafety::numbersAcrossYear100() {
    IoFixture fx;
    for (const char* no : {"1000102001", "991231002", "1000101001", "991230001", "991231001"})
        fx.addVoucher({.no = no});
    app::Clock::setFixedNow(QDateTime(QDate(2011, 1, 2), QTime(9, 0)));
    frmIo* f = fx.open();
    QCOMPARE(f->lbNo->text(), QStringLiteral("1000102001"));
    QCOMPARE(f->FSB->maximum(), 4);
    QStringList order;
    for (int i = 0; i <= 4; ++i) {
        f->FSB->setValue(i);
        order << f->lbNo->text();
    }
    QCOMPARE(order,
             QStringList({"991230001", "991231001", "991231002", "1000101001", "1000102001"}));
    f->cmdNck->click();
    QStringList listed;
    for (int r = 1; r < f->HFG->rowCount(); ++r)
        listed << f->HFG->text(r, 1);
    QCOMPARE(listed, order);
    f->cmdNck->click();
    QCOMPARE(f->lbNo->text(), QStringLiteral("1000102001"));  // the last is the newest again
    QCOMPARE(f->GetLastNo(), QStringLiteral("1000102002"));
}

// The other copy adds the same word while the question is up here: it is stored once.
void TestIoSafety::wordAddedOnceByTwoCopies() {
    IoFixture fx;
    fx.acc().execute(QStringLiteral("insert into use (id, use) values (1, '舊詞')"));
    frmIo* f = fx.open();
    auto other = openDatabaseFile(fx.folder.path(), store::schema::acc());
    PromptsWithHook meanwhile(fx.prompts(), [&](const QString&) {
        store::Transaction tx(*other);
        other->execute(QStringLiteral("insert into use (id, use) values (0, '新詞')"));
        other->execute(QStringLiteral("update use set id = id + 1"));
        tx.commit();
    });
    app::ScopedPrompts installed(meanwhile);
    f->cmdAdd->click();
    f->cbUse->setEditText(QStringLiteral("新詞"));
    fx.prompts().expectMessage(QStringLiteral("沒有此用途說明是否加入?"), app::Answer::Yes);
    f->cbUse_Validate();
    QCOMPARE(fx.count("select count(*) from use where use = '新詞'"), 1);
    QCOMPARE(fx.count("select id from use where use = '舊詞'"), 2);
    QCOMPARE(f->cbUse->itemText(0), QStringLiteral("新詞"));
    QCOMPARE(f->cbUse->currentText(), QStringLiteral("新詞"));
}

QTEST_MAIN(TestIoSafety)
#include "tst_io_safety.moc"
