// Bill entry: what the form shows for each direction, the validation, the row it hands back,
// and the rows written together with the vouchers' status.

#include <QAccessible>
#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "Audit.h"
#include "BillHandOver.h"
#include "BillTestKit.h"
#include "Forms.h"
#include "Modal.h"
#include "frmBill.h"

using namespace orvik;
using namespace orvik::testing;
using bills::frmBill;
using bills::VoucherOnDisplay;

namespace {

const QDate kToday(2024, 5, 10);

void chooseRow(QComboBox* combo, int row) {
    combo->setCurrentIndex(row);
    emit combo->activated(row);
}

QStringList listOf(const QComboBox* combo, int column) {
    QStringList out;
    for (int r = 0; r < combo->count(); ++r)
        out << combo->model()->index(r, column).data().toString();
    return out;
}

}  // namespace

class tst_BillEntry : public QObject {
    Q_OBJECT

  private slots:
    void incomeBill_formAndRow();
    void expenseBill_formAndRow();
    void validation_inOrder_nothingWritten();
    void combinedBill_keyAmountAndRows();
    void closeBox_countsAsCancel();
    void approval_refusedWhenVoucherSettledMeanwhile();
};

void tst_BillEntry::incomeBill_formAndRow() {
    BillTestKit kit(kToday);
    QVERIFY(kit.isValid());
    kit.addBank("obank", "台灣銀行", "001-111", "本公司");
    kit.addBank("obank", "土地銀行", "002-222", "本公司專戶");
    kit.addBank("ibank", "國泰世華", "900-1", "客戶甲");
    kit.addVoucher("1130510001", -2, 15000, false);
    bills::setVoucherSource([] { return VoucherOnDisplay{"1130510001", "15000", true}; });

    app::ScopedModalHook hook([&](QWidget* w) {
        auto* f = qobject_cast<frmBill*>(w);
        QVERIFY(f);
        QCOMPARE(f->lbIoNo->text(), QString("1130510001"));
        QCOMPARE(f->lbIo->text(), QString("收 到 票 據"));
        QCOMPARE(f->lbIo->palette().color(QPalette::Window), QColor(192, 192, 255));
        QCOMPARE(f->lbCash->text(), QString("15000"));
        QCOMPARE(f->lbBCash->text(), QString("壹萬伍仟 元整"));
        // The company's deposit accounts receive (a list to pick from); the payer's bank is typed.
        QCOMPARE(listOf(f->cbCbnk, 0), QStringList({"台灣銀行", "土地銀行"}));
        QCOMPARE(listOf(f->cbWbnk, 0), QStringList({"國泰世華"}));
        QVERIFY(!f->cbCbnk->isEditable());
        QVERIFY(f->cbWbnk->isEditable());
        QVERIFY(f->cbDeDay->isVisibleTo(f) && !f->cbArDay->isVisibleTo(f));
        QCOMPARE(f->cbDeDay->currentText(), QString("零天"));
        QCOMPARE(f->cbDeDay->count(), 11);
        QVERIFY(!f->FrmOp->isVisibleTo(f) && !f->cmdOp->isVisibleTo(f));
        QVERIFY(f->lbW->text().isEmpty() && f->lbCk->text().isEmpty());
        QCOMPARE(f->DTP1->date(), kToday);
        // Screen readers and test robots find the inputs by their captions: every input is
        // some label's buddy (combo boxes report the label as a relation, the rest as name).
        for (QWidget* input : std::initializer_list<QWidget*>{
                 f->DTP1, f->DTP2, f->txtBillNo, f->cbCbnk, f->cbWbnk, f->txtWid, f->txtWp,
                 f->txtCid, f->txtCp, f->cbDeDay, f->cbArDay}) {
            const QLabel* caption = nullptr;
            for (const QLabel* l : f->findChildren<QLabel*>())
                if (l->buddy() == input)
                    caption = l;
            QVERIFY2(caption && !caption->text().isEmpty(), qPrintable(input->objectName()));
            if (!qobject_cast<QComboBox*>(input))
                QCOMPARE(QAccessible::queryAccessibleInterface(input)->text(QAccessible::Name),
                         caption->text());
        }
        QCOMPARE(f->lbDe->text(), QString("延遲天數:"));

        pickDate(f->DTP1, QDate(2024, 5, 1));
        QCOMPARE(f->lbW->text(), QString("中華民國 113 年 05 月 01 日"));
        QCOMPARE(f->lbCk->text(), f->lbW->text());  // an empty due date takes the issue date
        pickDate(f->DTP2, QDate(2024, 6, 10));
        QCOMPARE(f->lbCk->text(), QString("中華民國 113 年 06 月 10 日"));
        QCOMPARE(f->lbW->text(), QString("中華民國 113 年 05 月 01 日"));

        chooseRow(f->cbCbnk, 1);
        QCOMPARE(f->txtCid->text(), QString("002-222"));
        QCOMPARE(f->txtCp->text(), QString("本公司專戶"));
        f->cbWbnk->setEditText("國泰世華");  // typed, matching a row of the list
        QCOMPARE(f->txtWid->text(), QString("900-1"));
        f->cbWbnk->setEditText("玉山銀行");  // matching none: the typed fields stay
        QCOMPARE(f->txtWid->text(), QString("900-1"));
        f->txtWid->setText("808-77");
        f->txtWp->setText("客戶乙");
        f->cbDeDay->setCurrentIndex(3);
        f->txtBillNo->setText("AB123456");
        f->cmdSv->click();
    });
    const auto bill = bills::enterSingleBill();
    QVERIFY(bill);
    QCOMPARE(app::gBillCancel, app::False);
    QCOMPARE(app::gBillFromSave, app::False);
    QVERIFY(!app::Forms::isLoaded<frmBill>());
    QCOMPARE(kit.value("select count(*) from bill").toInt(), 0);  // the caller writes it

    QVERIFY(bills::commitSingleBill(kit.db(), *bill));
    QCOMPARE(kit.rowTexts("select * from bill"),
             QStringList({"AB123456", "2024-05-01", "<null>", "2024-06-10",
                          "2024-06-13",  // three days' delay
                          "玉山銀行", "土地銀行", "客戶乙", "本公司專戶", "808-77", "002-222",
                          "15000", "壹萬伍仟 元整", "-1", "1130510001", "0"}));
    QCOMPARE(kit.value("select 方式 from iof where 單號 = '1130510001'").toInt(), 1);
}

void tst_BillEntry::expenseBill_formAndRow() {
    BillTestKit kit(kToday);
    kit.addBank("bbank", "第一銀行", "123-456", "本公司支存");
    kit.addBank("ibank", "華南銀行", "777", "廠商丙");
    kit.addVoucher("1130510002", -1, 1500);
    // The amount is shown as typed; the stored amount is its number.
    bills::setVoucherSource([] { return VoucherOnDisplay{"1130510002", "01500", false}; });

    app::ScopedModalHook hook([&](QWidget* w) {
        auto* f = static_cast<frmBill*>(w);
        QCOMPARE(f->lbIo->text(), QString("開 出 票 據"));
        QCOMPARE(f->lbIo->palette().color(QPalette::Window), QColor(255, 192, 192));
        QCOMPARE(f->lbCash->text(), QString("01500"));
        QCOMPARE(f->lbBCash->text(), QString("壹仟伍佰 元整"));
        QCOMPARE(listOf(f->cbWbnk, 0), QStringList({"第一銀行"}));
        QCOMPARE(listOf(f->cbCbnk, 0), QStringList({"華南銀行"}));
        QVERIFY(!f->cbWbnk->isEditable());
        QVERIFY(f->cbCbnk->isEditable());
        QVERIFY(f->cbArDay->isVisibleTo(f) && !f->cbDeDay->isVisibleTo(f));

        pickDate(f->DTP2, QDate(2024, 7, 31));
        chooseRow(f->cbWbnk, 0);
        QCOMPARE(f->txtWid->text(), QString("123-456"));
        QCOMPARE(f->txtWp->text(), QString("本公司支存"));
        f->cbArDay->setCurrentIndex(10);
        f->txtBillNo->setText("CK-9");
        f->cmdSv->click();
    });
    const auto bill = bills::enterSingleBill();
    QVERIFY(bill);
    QVERIFY(bills::commitSingleBill(kit.db(), *bill));
    // Only the due date was picked; ten days' reminder; no receiving bank was needed.
    QCOMPARE(kit.rowTexts("select * from bill"),
             QStringList({"CK-9", "2024-07-31", "2024-07-21", "2024-07-31", "<null>", "第一銀行",
                          "", "本公司支存", "", "123-456", "", "1500", "壹仟伍佰 元整", "0",
                          "1130510002", "0"}));
}

void tst_BillEntry::validation_inOrder_nothingWritten() {
    BillTestKit kit(kToday);
    kit.addBank("obank", "台灣銀行", "001-111", "本公司");
    kit.addVoucher("1130510001", -2, 800, false);
    bills::setVoucherSource([] { return VoucherOnDisplay{"1130510001", "800", true}; });
    kit.prompts()
        .expectMessage("未選取開票日期")
        .expectMessage("未選取收票銀行")
        .expectMessage("票據號碼未填入");

    app::ScopedModalHook hook([&](QWidget* w) {
        auto* f = static_cast<frmBill*>(w);
        f->txtWp->setFocus();
        f->cmdSv->click();
        QVERIFY(f->isVisible());
        pickDate(f->DTP2, QDate(2024, 6, 1));  // the due date alone satisfies the first check
        QCOMPARE(f->lbW->text(), QString("中華民國 113 年 06 月 01 日"));
        f->cmdSv->click();
        QCOMPARE(f->focusWidget(), f->cbCbnk);
        chooseRow(f->cbCbnk, 0);  // an income bill needs no issuing bank
        f->cmdSv->click();
        QCOMPARE(f->focusWidget(), f->txtBillNo);
        QVERIFY(f->isVisible());
        f->cmdCencel->click();
    });
    QVERIFY(!bills::enterSingleBill());
    const auto& shown = kit.prompts().shown();
    QCOMPARE(shown.size(), 3);
    for (const auto& p : shown) {
        QCOMPARE(p.title, QString("Acc"));
        QCOMPARE(p.icon, app::Icon::Exclamation);
    }
    QCOMPARE(app::gBillCancel, app::True);
    QCOMPARE(kit.value("select count(*) from bill").toInt(), 0);
    QCOMPARE(kit.value("select 方式 from iof").toInt(), -2);
}

void tst_BillEntry::combinedBill_keyAmountAndRows() {
    BillTestKit kit(kToday);
    kit.addBank("bbank", "第一銀行", "123-456", "本公司支存");
    kit.addVoucher("123", -1, 100000);
    kit.addVoucher("125", -2, 23456);
    kit.addVoucher("130", -1, 50);
    // A voucher form is open with an income voucher on display: a combined bill still pays.
    bills::setVoucherSource([] { return VoucherOnDisplay{"999", "5", true}; });

    app::ScopedModalHook hook([&](QWidget* w) {
        auto* f = static_cast<frmBill*>(w);
        QCOMPARE(f->lbIoNo->text(), QString("123S"));
        QCOMPARE(f->lbIo->text(), QString("開 出 票 據"));
        QCOMPARE(f->lbCash->text(), QString("123456"));
        QCOMPARE(f->lbBCash->text(), QString("壹拾貳萬參仟肆佰伍拾陸 元整"));
        QVERIFY(f->cbArDay->isVisibleTo(f));
        pickDate(f->DTP1, kToday);
        chooseRow(f->cbWbnk, 0);
        f->txtBillNo->setText("CK-10");
        f->cmdSv->click();
    });
    const auto bill = bills::enterCombinedBill("123", 123456);
    QVERIFY(bill);
    QCOMPARE(app::gBillFromIssue, app::False);
    QCOMPARE(bill->voucherNo, QString("123S"));
    QCOMPARE(bill->amount, 123456);

    QVERIFY(
        bills::commitCombinedBill(kit.db(), *bill, {{"123", 100000}, {"125", 23456}, {"130", 50}})
            .isEmpty());
    QCOMPARE(kit.value("select 收支單號 from bill").toString(), QString("123S"));
    QCOMPARE(kit.value("select 票據金額 from bill").toLongLong(), 123456);
    QCOMPARE(kit.value("select group_concat(單號) from iofs where 多單號 = '123S'").toString(),
             QString("123,125,130"));
    QCOMPARE(kit.value("select count(*) from iof where 方式 = 1").toInt(), 3);
    // One event for the bill and its vouchers, each one's former state kept; each voucher's
    // history finds it.
    const QVector<audit::StoredEvent> trail = audit::readEvents(kit.db(), {.voucher = "125"});
    QCOMPARE(trail.size(), 1);
    QCOMPARE(trail.first().kind, QString("combined-bill"));
    QCOMPARE(trail.first().key, QString("123S"));
    const QJsonObject before = QJsonDocument::fromJson(trail.first().before.toUtf8()).object();
    const QJsonObject after = QJsonDocument::fromJson(trail.first().after.toUtf8()).object();
    QCOMPARE(QJsonDocument(before).toJson(QJsonDocument::Compact),
             QByteArray(R"({"iof":{"123":{"方式":-1},"125":{"方式":-2},"130":{"方式":-1}}})"));
    QCOMPARE(QJsonDocument(after["iof"].toObject()).toJson(QJsonDocument::Compact),
             QByteArray(R"({"123":{"方式":1},"125":{"方式":1},"130":{"方式":1}})"));
    QCOMPARE(after["票據號碼"].toString(), QString("CK-10"));
    QCOMPARE(after["票據金額"].toInt(), 123456);
}

void tst_BillEntry::closeBox_countsAsCancel() {
    BillTestKit kit(kToday);
    bills::setVoucherSource([] { return VoucherOnDisplay{"1", "10", false}; });
    {
        app::ScopedModalHook hook([](QWidget* w) { w->close(); });
        QVERIFY(!bills::enterSingleBill());
        QCOMPARE(app::gBillCancel, app::True);
    }
    app::gBillCancel = app::False;
    {
        // Left without 儲存, 取消 or the close box: still nothing saved, still cancelled.
        app::ScopedModalHook hook([](QWidget*) {});
        QVERIFY(!bills::enterCombinedBill("7", 10));
        QCOMPARE(app::gBillCancel, app::True);
        QVERIFY(!app::Forms::isLoaded<frmBill>());
    }
    QCOMPARE(kit.value("select count(*) from bill").toInt(), 0);
}

void tst_BillEntry::approval_refusedWhenVoucherSettledMeanwhile() {
    BillTestKit kit(kToday);
    kit.addVoucher("1", -1, 10);
    kit.addVoucher("2", 0, 20);          // settled in cash by another copy meanwhile
    kit.addVoucher("3", -2, 35);         // marked at 30; another copy changed the amount since
    kit.addVoucher("4", -1, 40, false);  // marked as an expense; another copy made it income
    kit.addVoucher("5", -3, 50);         // voided meanwhile
    bills::BillRow row;
    row.billNo = "X";
    row.voucherNo = "2";
    QVERIFY(!bills::commitSingleBill(kit.db(), row));
    row.voucherNo = "1S";
    const bills::CombinedRefusal refused = bills::commitCombinedBill(
        kit.db(), row, {{"1", 10}, {"2", 20}, {"3", 30}, {"4", 40}, {"5", 50}, {"6", 60}});
    QCOMPARE(refused.settled, QStringList({"2", "5", "6"}));  // 6: gone altogether
    QCOMPARE(refused.changed, QStringList({"3", "4"}));
    QCOMPARE(kit.value("select count(*) from bill").toInt(), 0);
    QCOMPARE(kit.value("select count(*) from iofs").toInt(), 0);
    QCOMPARE(kit.value("select 方式 from iof where 單號 = '1'").toInt(), -1);
    QCOMPARE(kit.value("select count(*) from audit").toInt(), 0);
}

QTEST_MAIN(tst_BillEntry)
#include "tst_billentry.moc"
