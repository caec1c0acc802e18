// The write-off form: which items are listed, what the grids show, where 確定沖帳 appears,
// the amount question, and the row stamped in one transaction.

#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include "Modal.h"
#include "WriteOffRules.h"
#include "WriteOffTestKit.h"

using namespace orvik;
using namespace orvik::testing;
using writeoff::frmMach;

namespace {

QStringList listed(const frmMach* form) {
    QStringList out;
    for (int i = 0; i < form->lstRio->topLevelItemCount(); ++i)
        out << form->lstRio->topLevelItem(i)->text(0) + "|" +
                   form->lstRio->topLevelItem(i)->text(1);
    return out;
}

void choose(frmMach* form, const QString& id) {
    form->lstRio->setCurrentItem(form->lstRio->findItems(id, Qt::MatchExactly, 0).value(0));
}

QStringList rowTexts(const QTableWidget* grid, int row) {
    QStringList out;
    for (int c = 0; c < grid->columnCount(); ++c)
        out << (grid->item(row, c) ? grid->item(row, c)->text() : QString());
    return out;
}

// Presses the mouse on the row of `grid` whose key (column 0) is `key`.
void press(QTableWidget* grid, const QString& key, Qt::MouseButton button = Qt::LeftButton) {
    int row = 0;
    for (int r = 1; r < grid->rowCount(); ++r)
        row = rowTexts(grid, r).at(0) == key ? r : row;
    QVERIFY2(row > 0 || key.isEmpty(), qPrintable(key));
    QTest::mousePress(grid->viewport(), button, Qt::NoModifier,
                      grid->visualRect(grid->model()->index(row ? row : 1, 1)).center());
}

QVariantList stampOf(qint64 amount, const QString& bill = "", bool cash = true) {
    return {amount, "2024-05-10", cash ? -1 : 0, bill, "1130510001", -1};
}

}  // namespace

class tst_WriteOff : public QObject {
    Q_OBJECT

  private slots:
    void listing_openItemsOfTheVouchersDirection();
    void listing_queriesUseTheIndexes();
    void grids_andTheConfirmButton();
    void confirm_amounts_data();
    void confirm_amounts();
    void confirm_voucherAbove_asksUntilANumber();
    void confirm_byBill_storesTheBillNumber_data();
    void confirm_byBill_storesTheBillNumber();
    void confirm_rowGoneMeanwhile_notWrittenTwice();
};

void tst_WriteOff::listing_openItemsOfTheVouchersDirection() {
    WriteOffTestKit kit;
    QVERIFY(kit.isValid());
    // Nothing open: a warning, an empty list, and the form stays open.
    kit.prompts().expectMessage("無應收付可沖帳");
    frmMach* form = kit.open(true);
    QCOMPARE(kit.prompts().shown().at(0).title, QString("Acc"));
    QVERIFY(form->lstRio->topLevelItemCount() == 0 && form->isVisible());
    app::Forms::unload<frmMach>();

    kit.item("ri", "A05", "戊工程");  // several open instalments and additions: listed once
    for (int p : {1, 2}) {
        kit.row("ri期", "A05", p, 1000);
        kit.row("ri加", "A05", p, 500);
    }
    kit.item("ri", "A01", "甲工程");
    kit.row("ri期", "A01", 1, 1000);
    kit.item("ri", "A02", "乙工程");  // instalments settled, an addition open
    kit.row("ri期", "A02", 1, 1000, true);
    kit.row("ri加", "A02", 1, 200);
    kit.item("ri", "A03", "丙工程");  // no instalment rows at all: never listed
    kit.row("ri加", "A03", 1, 200);
    kit.item("ri", "A04", "丁工程");  // everything settled
    kit.row("ri期", "A04", 1, 1000, true);
    kit.row("ri加", "A04", 1, 200, true);
    kit.item("ro", "B01", "外包商");
    kit.row("ro期", "B01", 1, 3000);

    form = kit.open(true);
    QCOMPARE(listed(form), QStringList({"A01|甲工程", "A02|乙工程", "A05|戊工程"}));
    QVERIFY(form->ListValue().isEmpty());
    choose(form, "A02");
    QCOMPARE(form->ListValue(), QString("A02"));

    // Through the hand-over the form loads afresh, for the direction set now.
    app::gMachIncome = app::False;
    QStringList seen;
    {
        app::ScopedModalHook hook([&](QWidget* w) { seen = listed(qobject_cast<frmMach*>(w)); });
        writeoff::ShowWriteOffForm();
    }
    QCOMPARE(seen, QStringList({"B01|外包商"}));
    QVERIFY(!app::Forms::isLoaded<frmMach>());
}

void tst_WriteOff::listing_queriesUseTheIndexes() {
    if (testing::onServer())
        QSKIP(
            "SQLite only: the plan is read from SQLite's EXPLAIN QUERY PLAN; the server "
            "plans by its own statistics");
    WriteOffTestKit kit;
    QVERIFY(kit.isValid());
    const auto plan = [&](const QString& sql) {
        QSqlQuery q(kit.db().connection());
        q.prepare("EXPLAIN QUERY PLAN " + sql);
        if (sql.contains('?'))
            q.addBindValue("A01");
        QString details = q.exec() ? QString() : q.lastError().text();
        while (q.next())
            details += q.value(3).toString() + "\n";
        return details;
    };
    for (bool income : {true, false}) {
        const QString c = writeoff::InstalmentTable(income), a = writeoff::AdditionTable(income);
        const QString items = plan(writeoff::OpenItemsSql(income));
        QVERIFY2(
            items.contains("SEARCH " + c + " USING") && items.contains("SEARCH " + a + " USING"),
            qPrintable(items));
        QVERIFY2(!items.contains("SCAN " + c) && !items.contains("SCAN " + a), qPrintable(items));
        const QString rows = plan(writeoff::OpenInstalmentsSql(income));
        QVERIFY2(rows.contains("USING INDEX") && !rows.contains("TEMP B-TREE"), qPrintable(rows));
        QVERIFY(plan(writeoff::OpenAdditionsSql(income)).contains("USING INDEX"));
    }
}

void tst_WriteOff::grids_andTheConfirmButton() {
    WriteOffTestKit kit;
    QVERIFY(kit.isValid());
    kit.voucher.amountText = "12000";
    kit.item("ri", "A01", "甲工程");
    kit.row("ri期", "A01", 3, 30000);
    kit.row("ri期", "A01", 1, 10000);
    kit.row("ri期", "A01", 2, 20000, true);  // settled: not shown
    kit.row("ri加", "A01", 2, 4500);
    kit.row("ri加", "A01", 12, 1234567);
    kit.item("ri", "A02", "乙工程");
    kit.row("ri期", "A02", 1, 800);

    frmMach* form = kit.open(true);
    QCOMPARE(form->windowTitle(), QString("選取沖帳專案"));
    QCOMPARE(form->lbMachCash->text(), QString("12,000"));
    QVERIFY(!form->cmd->isVisible());
    QCOMPARE(form->hfgC->palette().color(QPalette::Base), QColor(192, 192, 255));
    QCOMPARE(rowTexts(form->hfgC, 0),
             QStringList({"", "應付金額", "預付日期", "佔總價比例", "送帳單日", "發票號碼"}));
    QCOMPARE(rowTexts(form->hfgR, 0), QStringList({"", "報價單號", "合約單號", "應付金額",
                                                   "預付日期", "送帳單日", "發票號碼"}));

    choose(form, "A01");
    QCOMPARE(form->hfgC->rowCount(), 3);
    QCOMPARE(rowTexts(form->hfgC, 1),
             QStringList({"1期", "10,000", "113/06/30", "0.3", "113/06/01", "AB1"}));
    QCOMPARE(rowTexts(form->hfgC, 2).at(0), QString("3期"));
    QCOMPARE(form->hfgR->rowCount(), 3);
    QCOMPARE(rowTexts(form->hfgR, 1),
             QStringList({"追加2", "Q2", "C2", "4,500", "113/07/15", "113/07/01", "CD2"}));

    // At least the set widths (600 twips for the keys, 1200 or 1000 for the rest); no text cut.
    for (QTableWidget* grid : {form->hfgC, form->hfgR}) {
        const int least = grid == form->hfgC ? 1200 / 15 : 1000 / 15;
        for (int c = 0; c < grid->columnCount(); ++c) {
            QVERIFY(grid->columnWidth(c) >= (c == 0 ? 600 / 15 : least));
            for (int r = 0; r < grid->rowCount(); ++r) {
                const QString text = rowTexts(grid, r).at(c);
                QVERIFY2(grid->fontMetrics().horizontalAdvance(text) + 8 <= grid->columnWidth(c),
                         qPrintable(text));
            }
        }
    }

    // A left click places 確定沖帳 at the right end of the row.
    press(form->hfgC, "3期");
    QVERIFY(form->cmd->isVisible());
    QCOMPARE(form->selRow, qint16(2));
    QCOMPARE(form->selIsInstalment, app::True);
    QCOMPARE(form->selAmount, qint64(30000));
    const QRect at = form->cmd->geometry();
    QCOMPARE(form->cmd->parentWidget(), form->hfgC->viewport());
    QCOMPARE(at.left(), form->hfgC->columnViewportPosition(5) + form->hfgC->columnWidth(5) + 2);
    QCOMPARE(at.top(), form->hfgC->rowViewportPosition(2));
    QCOMPARE(at.height(), form->hfgC->rowHeight(2));
    QVERIFY2(form->hfgC->viewport()->rect().contains(at), "the button is cut off");
    // Another button does not move the choice away from the row the button stands beside.
    press(form->hfgC, "1期", Qt::RightButton);
    QCOMPARE(form->selRow, qint16(2));
    press(form->hfgR, "追加12");
    QCOMPARE(form->selIsInstalment, app::False);
    QCOMPARE(form->selAmount, qint64(1234567));

    // Another item hides it; a blank row warns.
    choose(form, "A02");
    QVERIFY(!form->cmd->isVisible());
    QCOMPARE(rowTexts(form->hfgR, 1), QStringList(7, QString()));
    kit.prompts().expectMessage("無應收付號碼/名稱");
    press(form->hfgR, "");
    QCOMPARE(kit.prompts().shown().last().text, QString("無應收付號碼/名稱"));
    app::Forms::unload<frmMach>();

    kit.item("ro", "B01", "外包商");
    kit.row("ro期", "B01", 1, 3000);
    QCOMPARE(kit.open(false)->hfgR->palette().color(QPalette::Base), QColor(255, 192, 192));
}

void tst_WriteOff::confirm_amounts_data() {
    QTest::addColumn<QString>("voucher");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("period");
    QTest::addColumn<qint64>("stored");  // -1: no question
    QTest::newRow("equal: no question") << "10000"
                                        << "3期"
                                        << "ri期" << 3 << qint64(-1);
    QTest::newRow("below: the voucher's") << "8000"
                                          << "追加2"
                                          << "ri加" << 2 << qint64(8000);
}

void tst_WriteOff::confirm_amounts() {
    QFETCH(QString, voucher);
    QFETCH(QString, key);
    QFETCH(QString, table);
    QFETCH(int, period);
    QFETCH(qint64, stored);
    WriteOffTestKit kit;
    QVERIFY(kit.isValid());
    kit.voucher.amountText = voucher;
    kit.item("ri", "A01", "甲工程");
    for (int p : {3, 13}) {  // 3期 is not 13期, 追加2 not 追加12
        kit.row("ri期", "A01", p, 10000);
        kit.row("ri加", "A01", p - 1, 10000);
    }
    kit.item("ri", "A02", "乙工程");  // the same 期別 under another item stays open
    kit.row("ri期", "A02", 3, 10000);
    kit.row("ri加", "A02", 2, 10000);
    frmMach* form = kit.open(true);
    choose(form, "A01");
    press(table.endsWith("期") ? form->hfgC : form->hfgR, key);
    if (stored >= 0)
        kit.prompts().expectMessage("沖帳金額與預付金額不符", app::Answer::Yes);
    QTest::mouseClick(form->cmd, Qt::LeftButton);
    QCOMPARE(kit.prompts().shown().size(), stored >= 0 ? 1 : 0);  // never an input box
    QCOMPARE(kit.stamp(table, "A01", period), stampOf(stored >= 0 ? stored : 10000));
    QCOMPARE(kit.processedCount(), 1);
    QVERIFY(!app::Forms::isLoaded<frmMach>());
    QCOMPARE(kit.db().transactionDepth(), 0);
}

void tst_WriteOff::confirm_voucherAbove_asksUntilANumber() {
    WriteOffTestKit kit;
    QVERIFY(kit.isValid());
    kit.voucher.amountText = "12000";
    kit.item("ri", "A01", "甲工程");
    kit.row("ri期", "A01", 1, 10000);
    frmMach* form = kit.open(true);
    choose(form, "A01");
    press(form->hfgC, "1期");

    // No, or 取消 in the input box: nothing changes and the choice stays.
    kit.prompts().expectMessage("沖帳金額與預付金額不符", app::Answer::No);
    kit.prompts().expectMessage("沖帳金額與預付金額不符", app::Answer::Yes).expectInputCancel();
    form->cmd_Click();
    form->cmd_Click();
    QCOMPARE(kit.processedCount(), 0);
    QVERIFY(form->cmd->isVisible());
    const auto question = kit.prompts().shown().at(0);
    QCOMPARE(question.text, QString("沖帳金額與預付金額不符\r\n是否沖帳？"));
    QCOMPARE(question.title, QString("Acc"));
    QCOMPARE(question.buttons, app::Buttons::YesNo);
    QCOMPARE(question.defaultButton, app::DefaultButton::Second);

    kit.prompts().clear();
    kit.prompts()
        .expectMessage("沖帳金額與預付金額不符", app::Answer::Yes)
        .expectInput("一萬")
        .expectInput("")
        .expectInput("11,000");
    form->cmd_Click();
    const auto& shown = kit.prompts().shown();
    QCOMPARE(shown.size(), 4);
    QCOMPARE(shown.at(1).text, QString("填入沖帳金額"));
    QCOMPARE(shown.at(1).title, QString("Acc"));
    for (int i : {1, 2, 3})
        QCOMPARE(shown.at(i).defaultText, QString("10000"));
    QCOMPARE(shown.at(3).text, QString("填入沖帳金額\r\n必須是數字"));
    QCOMPARE(kit.stamp("ri期", "A01", 1), stampOf(11000));
}

void tst_WriteOff::confirm_byBill_storesTheBillNumber_data() {
    QTest::addColumn<bool>("combined");
    QTest::newRow("its own bill") << false;
    QTest::newRow("a combined bill") << true;
}

void tst_WriteOff::confirm_byBill_storesTheBillNumber() {
    QFETCH(bool, combined);
    WriteOffTestKit kit;
    QVERIFY(kit.isValid());
    kit.voucher.cash = false;
    const QString key = combined ? "1130509001S" : "1130510001";
    kit.db().execute("insert into bill (票據號碼, 收支單號, 方式) values (?, ?, 0)",
                     {combined ? "CK-900" : "CK-001", key});
    if (combined)
        kit.db().execute("insert into iofs values (?, '1130510001')", {key});
    kit.item("ro", "B01", "外包商");
    kit.row("ro加", "B01", 1, 10000);
    kit.row("ro期", "B01", 1, 5000, true);
    frmMach* form = kit.open(false);
    choose(form, "B01");
    press(form->hfgR, "追加1");
    form->cmd_Click();
    QCOMPARE(kit.stamp("ro加", "B01", 1), stampOf(10000, combined ? "CK-900" : "CK-001", false));
}

void tst_WriteOff::confirm_rowGoneMeanwhile_notWrittenTwice() {
    WriteOffTestKit kit;
    QVERIFY(kit.isValid());
    kit.item("ri", "A01", "甲工程");
    for (int p : {1, 2, 3})
        kit.row("ri期", "A01", p, 10000);
    frmMach* form = kit.open(true);
    choose(form, "A01");
    press(form->hfgC, "1期");

    // Another copy of the program writes the same instalment off first.
    openDatabaseFile(kit.folder(), store::schema::acc())
        ->execute("update ri期 set 沖帳單號 = 'OTHER', 處理 = -1 where id = 'A01' and 期別 = 1");
    kit.prompts().expectMessage("此筆已經沖帳，不能重複沖帳");
    form->cmd_Click();
    QCOMPARE(kit.stamp("ri期", "A01", 1).at(4), QVariant("OTHER"));
    QCOMPARE(kit.processedCount(), 1);
    QVERIFY(app::Forms::isLoaded<frmMach>() && !form->cmd->isVisible());
    QCOMPARE(rowTexts(form->hfgC, 1).at(0), QString("2期"));  // what is open now
    QCOMPARE(kit.db().transactionDepth(), 0);
}

QTEST_MAIN(tst_WriteOff)
#include "tst_writeoff.moc"
