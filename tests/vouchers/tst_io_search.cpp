// The full-text search (全文檢索): asking for the text, the hits of every column in ascending
// voucher number, no hit, characters that patterns treat specially, the default text, opening
// a hit, closing the list, and the light-green list whose rows are never marked.

#include "IoFixture.h"

using namespace orvik;
using namespace orvik::testing;
using vouchers::frmIo;

namespace {

const QString kOpen = QStringLiteral("全文檢索>>");
const QString kClose = QStringLiteral("全文檢索<<");

QString cellText(const frmIo* f, int row, int col) {
    return f->HFG->text(row, col);
}

// Rows 1.. of the grid as "number|hit text".
QStringList hitRows(const frmIo* f) {
    QStringList rows;
    for (int r = 1; r < f->HFG->rowCount(); ++r)
        rows << cellText(f, r, 1) + QLatin1Char('|') + cellText(f, r, 2);
    return rows;
}

QString hit(const QString& column, const QString& value) {
    return QStringLiteral("在 (") + column + QStringLiteral(") 有  -->    ") + value;
}

// Presses 全文檢索>> and answers the input box with `text`.
void search(IoFixture& fx, frmIo* f, const std::optional<QString>& text) {
    QCOMPARE(f->cmdSall->text(), kOpen);
    fx.prompts().expectInput(text);
    f->cmdSall->click();
    QCOMPARE(fx.prompts().pending(), 0);
}

}  // namespace

class TestIoSearch : public QObject {
    Q_OBJECT

  private slots:
    void hitsOfEveryColumnInAscendingNumber();
    void hitInTheNumberItselfAndInNumbers();
    void noHit();
    void specialCharactersAreLiteral_data();
    void specialCharactersAreLiteral();
    void emptyOrCancelledLeavesTheListClosed();
    void previousTextIsOfferedAgain();
    void doubleClickOpensAndClosingReturnsToBrowsing();
    void hitsAreNeverMarked();
    void atMost32766Hits();
};

void TestIoSearch::hitsOfEveryColumnInAscendingNumber() {
    IoFixture fx;
    // Stored out of order; the ten-digit number (era year 100) is the highest as a number
    // though it sorts first as text.
    fx.addVoucher({.no = "1000101001", .accountName = "雜費", .use = "工地午餐"});
    fx.addVoucher({.no = "920713001", .accountName = "雜費", .use = "購買文具"});
    fx.addVoucher({.no = "920712002", .accountName = "雜費", .use = "工地午餐"});
    fx.addVoucher({.no = "920712001", .accountName = "雜費", .use = "購買文具"});
    fx.acc().execute(QStringLiteral("update iof set 附註一 = '文具費用' where 單號 = '920713001'"));
    fx.acc().execute(
        QStringLiteral("update iof set 附註二 = '另購文具' where 單號 = '1000101001'"));
    frmIo* f = fx.open();
    QCOMPARE(f->HeightTwips(), frmIo::kHeight);

    search(fx, f, QStringLiteral("文具"));
    const auto& asked = fx.prompts().shown().last();
    QCOMPARE(asked.kind, ScriptedPrompts::Kind::Input);
    QCOMPARE(asked.text, QStringLiteral("請輸入搜尋文字"));
    QCOMPARE(asked.title, QStringLiteral("Acc"));
    QCOMPARE(asked.defaultText, QString());
    QCOMPARE(app::gLastSearch, QStringLiteral("文具"));
    QCOMPARE(app::gListMode, qint16(1));

    QCOMPARE(hitRows(f), (QStringList{
                             "920712001|" + hit("用途說明", "購買文具"),
                             "920713001|" + hit("用途說明", "購買文具"),
                             "920713001|" + hit("附註一", "文具費用"),
                             "1000101001|" + hit("附註二", "另購文具"),
                         }));
    // The exact text of a row: four blanks after the arrow.
    QCOMPARE(cellText(f, 1, 2), QStringLiteral("在 (用途說明) 有  -->    購買文具"));
    QCOMPARE(f->HFG->rowCount(), 5);
    QCOMPARE(f->HFG->columnCount(), 3);
    for (int r = 1; r < f->HFG->rowCount(); ++r)
        QCOMPARE(cellText(f, r, 0), QString());
    QCOMPARE(cellText(f, 0, 1), QStringLiteral("收支單號"));
    QCOMPARE(cellText(f, 0, 2), QStringLiteral("搜尋結果:  (欄位名稱)  -->   找到字串"));
    QCOMPARE(f->HFG->columnWidth(0), 300 / frmIo::kTwipsPerPixel);
    // The numbers' column: its width of old, or wider when a number would not show whole.
    QVERIFY(f->HFG->columnWidth(1) >= 1200 / frmIo::kTwipsPerPixel);
    QVERIFY(f->HFG->columnWidth(1) > f->HFG->fontMetrics().horizontalAdvance(cellText(f, 1, 1)));
    QCOMPARE(f->HFG->columnWidth(2), 9000 / frmIo::kTwipsPerPixel);

    // The light-green panel of the search, the tall form, the closing caption.
    QCOMPARE(f->cmdSall->palette().color(QPalette::Button), QColor(192, 255, 192));
    QCOMPARE(f->HFG->palette().color(QPalette::Base), QColor(192, 255, 192));
    QCOMPARE(f->HeightTwips(), frmIo::kExpandedHeight);
    QCOMPARE(f->cmdSall->text(), kClose);
    QVERIFY(f->ckco->isHidden());
    QVERIFY(f->cmdco->isHidden());
}

void TestIoSearch::hitInTheNumberItselfAndInNumbers() {
    IoFixture fx;
    fx.addVoucher({.no = "920712001", .amount = 1234567});
    fx.addVoucher({.no = "920712002", .amount = 500});
    frmIo* f = fx.open();
    search(fx, f, QStringLiteral("920712002"));
    QCOMPARE(hitRows(f), QStringList{"920712002|" + hit("單號", "920712002")});
    QCOMPARE(f->HFG->rowCount(), 2);

    // Numbers are matched through their text form.
    f->cmdSall->click();
    search(fx, f, QStringLiteral("34567"));
    QCOMPARE(hitRows(f), QStringList{"920712001|" + hit("金額", "1234567")});
}

void TestIoSearch::noHit() {
    IoFixture fx;
    fx.addVoucher({.no = "920712001"});
    frmIo* f = fx.open();
    search(fx, f, QStringLiteral("不存在的字"));
    QCOMPARE(f->HFG->rowCount(), 2);
    QCOMPARE(cellText(f, 1, 1), QString());
    QCOMPARE(cellText(f, 1, 2), QStringLiteral("找不到資料"));
    QCOMPARE(cellText(f, 0, 1), QStringLiteral("收支單號"));
    QCOMPARE(f->cmdSall->text(), kClose);
    QCOMPARE(f->HeightTwips(), frmIo::kExpandedHeight);

    // Double-clicking the message opens nothing.
    emit f->HFG->cellDoubleClicked(1, 2);
    QCOMPARE(app::gPicked, app::False);
    QVERIFY(f->FSB->isVisibleTo(f));
    QCOMPARE(f->lbNo->text(), QStringLiteral("920712001"));
}

void TestIoSearch::specialCharactersAreLiteral_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("found");  // numbers of the vouchers hit, in order
    QTest::newRow("percent") << "0%純" << QStringList{"920712001"};
    QTest::newRow("underscore") << "a_b" << QStringList{"920712003"};
    QTest::newRow("asterisk") << "*" << QStringList{"920712005"};
    QTest::newRow("question mark") << "號?" << QStringList{"920712005"};
    QTest::newRow("apostrophe") << "O'B" << QStringList{"920712007"};
    QTest::newRow("backslash") << "線\\路" << QStringList{"920712008"};
    QTest::newRow("letter case follows the engine") << "o'brien" << QStringList{"920712007"};
}

void TestIoSearch::specialCharactersAreLiteral() {
    QFETCH(QString, text);
    QFETCH(QStringList, found);
    IoFixture fx;
    const QStringList uses{"100%純棉", "100元純棉",    "a_b",          "axb",       "星號*問號?",
                           "星號問號", "O'Brien 公司", "反斜線\\路徑", "反斜線路徑"};
    for (int i = 0; i < uses.size(); ++i) {
        const QString no = QStringLiteral("92071200%1").arg(i + 1);
        fx.addVoucher({.no = no, .accountName = "雜費", .use = uses.at(i)});
    }
    frmIo* f = fx.open();
    search(fx, f, text);
    QStringList numbers;
    for (int r = 1; r < f->HFG->rowCount(); ++r)
        numbers << cellText(f, r, 1);
    QCOMPARE(numbers, found);
    const int index = found.first().right(1).toInt() - 1;
    QCOMPARE(cellText(f, 1, 2), hit("用途說明", uses.at(index)));
}

void TestIoSearch::emptyOrCancelledLeavesTheListClosed() {
    IoFixture fx;
    fx.addVoucher({.no = "920712001"});
    frmIo* f = fx.open();
    app::gLastSearch = QStringLiteral("文具");
    search(fx, f, std::nullopt);
    QCOMPARE(fx.prompts().shown().last().defaultText, QStringLiteral("文具"));
    QCOMPARE(app::gLastSearch, QString());  // a cancelled box answers empty
    QCOMPARE(app::gListMode, qint16(1));
    QCOMPARE(f->cmdSall->text(), kOpen);
    QCOMPARE(f->HeightTwips(), frmIo::kHeight);

    search(fx, f, QString());
    QCOMPARE(f->cmdSall->text(), kOpen);
    QCOMPARE(f->HeightTwips(), frmIo::kHeight);
    QCOMPARE(app::gPicked, app::False);
}

void TestIoSearch::previousTextIsOfferedAgain() {
    IoFixture fx;
    fx.addVoucher({.no = "920712001"});
    frmIo* f = fx.open();
    search(fx, f, QStringLiteral("購買"));
    f->cmdSall->click();  // closes
    QCOMPARE(f->cmdSall->text(), kOpen);
    search(fx, f, QStringLiteral("購買"));
    QCOMPARE(fx.prompts().shown().last().defaultText, QStringLiteral("購買"));

    // For the rest of the run: also when the form is opened again.
    f->close();
    f = fx.open();
    search(fx, f, QStringLiteral("文具"));
    QCOMPARE(fx.prompts().shown().last().defaultText, QStringLiteral("購買"));
}

void TestIoSearch::doubleClickOpensAndClosingReturnsToBrowsing() {
    IoFixture fx;
    fx.addVoucher({.no = "920712001", .amount = 300, .use = "購買文具"});
    fx.addVoucher({.no = "920712002", .amount = 400, .use = "工地午餐"});
    fx.addVoucher({.no = "920712003", .amount = 500, .use = "工地午餐"});
    frmIo* f = fx.open();
    QCOMPARE(f->lbNo->text(), QStringLiteral("920712003"));
    search(fx, f, QStringLiteral("購買"));
    QCOMPARE(hitRows(f), QStringList{"920712001|" + hit("用途說明", "購買文具")});

    // Heading row and column 0 open nothing; a hit opens its voucher.
    emit f->HFG->cellDoubleClicked(0, 1);
    emit f->HFG->cellDoubleClicked(1, 0);
    QCOMPARE(app::gPicked, app::False);
    emit f->HFG->cellDoubleClicked(1, 2);
    QCOMPARE(app::gPicked, app::True);
    QCOMPARE(app::gPickedNo, QStringLiteral("920712001"));
    QCOMPARE(f->lbNo->text(), QStringLiteral("920712001"));
    QCOMPARE(f->txtCash->text(), QStringLiteral("300"));
    QVERIFY(!f->FSB->isVisibleTo(f));
    QVERIFY(!f->cmdAdd->isVisibleTo(f));
    QVERIFY(!f->cmdCencel->isVisibleTo(f));
    // The list stays open with the voucher shown.
    QCOMPARE(f->cmdSall->text(), kClose);
    QCOMPARE(f->HeightTwips(), frmIo::kExpandedHeight);

    // The second click closes the list and returns to browsing at the last voucher.
    f->cmdSall->click();
    QCOMPARE(f->cmdSall->text(), kOpen);
    QCOMPARE(f->HeightTwips(), frmIo::kHeight);
    QCOMPARE(app::gPicked, app::False);
    QCOMPARE(app::gListMode, qint16(1));
    QCOMPARE(f->lbNo->text(), QStringLiteral("920712003"));
    QCOMPARE(f->lbStat->text(), QStringLiteral("〔瀏覽〕"));
    QVERIFY(f->FSB->isVisibleTo(f));
    QVERIFY(f->cmdAdd->isVisibleTo(f));
    QVERIFY(f->cmdCencel->isVisibleTo(f));
    QCOMPARE(f->FSB->value(), 2);
    QVERIFY(f->ckco->isHidden());
}

void TestIoSearch::hitsAreNeverMarked() {
    IoFixture fx;
    fx.addVoucher({.no = "920712001", .amount = 12345, .use = "購買文具"});
    fx.addVoucher({.no = "920712002", .amount = 500, .use = "購買文具"});
    frmIo* f = fx.open();
    search(fx, f, QStringLiteral("購買"));
    QCOMPARE(f->HFG->rowCount(), 3);
    app::gMarkedTotal = 0;
    f->ckco->setChecked(true);  // even ticked (the search hides the box) a hit is not marked
    for (int r = 1; r <= 2; ++r) {
        for (int c = 0; c < 3; ++c) {
            const QRect cell = f->HFG->cellRect(r, c);
            QTest::mouseClick(f->HFG->viewport(), Qt::LeftButton, {}, cell.center());
        }
    }
    for (int r = 1; r <= 2; ++r) {
        QCOMPARE(cellText(f, r, 0), QString());
        for (int c = 0; c < 3; ++c)
            QVERIFY(f->HFG->background(r, c) != QColor(0, 255, 255));
    }
    QCOMPARE(app::gMarkedTotal, 0);
    QCOMPARE(hitRows(f).size(), 2);
}

void TestIoSearch::atMost32766Hits() {
    IoFixture fx;
    // 32,767 vouchers that all hold the text, numbered 920712001.. downwards in storage.
    {
        store::Transaction tx(fx.acc());
        for (int i = 32767; i >= 1; --i)
            fx.addVoucher({.no = QString::number(920000000 + i), .use = "購買文具"});
        tx.commit();
    }
    frmIo* f = fx.open();
    fx.prompts().expectInput(QStringLiteral("購買"));
    fx.prompts().expectMessage(QStringLiteral("32766"));
    f->cmdSall->click();
    QCOMPARE(fx.prompts().pending(), 0);
    QCOMPARE(fx.prompts().shown().last().title, QStringLiteral("Acc"));
    QCOMPARE(f->HFG->rowCount(), 32767);
    QCOMPARE(cellText(f, 1, 1), QStringLiteral("920000001"));
    QCOMPARE(cellText(f, 32766, 1), QStringLiteral("920032766"));
    QCOMPARE(f->cmdSall->text(), kClose);
}

QTEST_MAIN(TestIoSearch)
#include "tst_io_search.moc"
