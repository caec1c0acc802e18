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
    void storedBillOpensFromTheVoucher();
    void cashedBillRedisplaysInsteadOfUnloading();
    void writeOffOpensFromTheForm();
    // Unapproved-voucher review
    void listsOnlyUnapprovedVouchers();
    void nothingToListIsRefused();
    void doubleClickOpensAndClosingReturnsToBrowsing();
    void markingExpenseVouchers();
    void incomeHeadingAndUntickedClicksMarkNothing();
    void untickingClearsMarksNotTotal();
    void searchHitsAreNeverMarked();
    // Combined approval
    void combinedBillWritesEverythingTogether();
    void oneMarkedVoucherStillGetsTheCombinedKey();
    void nothingMarkedIsRefused();
    void cancelledCombinedBillWritesNothing();
    void voucherSettledElsewhereRefusesTheWholeBill();
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

QString cell(const frmIo* f, int row, int col) {
    return f->HFG->text(row, col);
}

QColor background(const frmIo* f, int row, int col) {
    return f->HFG->background(row, col);
}

// The row of voucher `no` in the grid, or -1.
int gridRow(const frmIo* f, const QString& no) {
    for (int r = 1; r < f->HFG->rowCount(); ++r) {
        if (cell(f, r, 1) == no)
            return r;
    }
    return -1;
}

// A mouse click on a cell of the grid, as a user makes it.
void clickCell(frmIo* f, int row, int col = 4, Qt::MouseButton button = Qt::LeftButton) {
    const QRect rect = f->HFG->cellRect(row, col);
    QVERIFY(rect.isValid());
    QTest::mouseClick(f->HFG->viewport(), button, {}, rect.center());
}

void clickRow(frmIo* f, const QString& no, Qt::MouseButton button = Qt::LeftButton) {
    const int row = gridRow(f, no);
    QVERIFY2(row > 0, qPrintable(no));
    clickCell(f, row, 4, button);
}

// "marked" (a "*" in column 0, cells 3 to 8 cyan), "unmarked" (no "*", cells white) or
// "mixed".
QString markState(const frmIo* f, int row) {
    bool cyan = true;
    bool white = true;
    for (int c = 3; c < 9; ++c) {
        cyan = cyan && background(f, row, c) == QColor(0, 255, 255);
        white = white && background(f, row, c) == QColor(255, 255, 255);
    }
    const bool star = cell(f, row, 0) == QStringLiteral("*");
    if (star && cyan)
        return QStringLiteral("marked");
    if (!star && white)
        return QStringLiteral("unmarked");
    return QStringLiteral("mixed");
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
    refuseInserts(fx.acc(), QStringLiteral("bill"), QStringLiteral("no bill today"));
    {
        app::ScopedModalHook hook([](QWidget* w) { IoFixture::fillBill(w, "CK1"); });
        fx.prompts().expectMessage(QStringLiteral("no bill today"));
        IoFixture::approve(f, false);
    }
    // Told, not the end of the program: the approval stays as it was, to be tried again.
    QVERIFY(!app::ProgramEnded());
    QCOMPARE(fx.prompts().shown().last().icon, app::Icon::Critical);
    QCOMPARE(other->scalar(QStringLiteral("select 方式 from iof where 單號 = '920712001'")).toInt(),
             -1);
    QCOMPARE(other->scalar(QStringLiteral("select count(*) from bill")).toInt(), 0);
    QVERIFY(f->ck->isChecked() && f->cmdSv->isEnabled());
    QCOMPARE(f->approvingVoucher, app::True);

    allowInserts(fx.acc(), QStringLiteral("bill"));
    {
        app::ScopedModalHook hook([](QWidget* w) { IoFixture::fillBill(w, "CK1"); });
        f->cmdSv->click();
    }
    QCOMPARE(other->scalar(QStringLiteral("select 方式 from iof where 單號 = '920712001'")).toInt(),
             1);
    QCOMPARE(other->scalar(QStringLiteral("select 票據號碼 from bill")).toString(),
             QStringLiteral("CK1"));
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

// 檢視票據 on a voucher settled by bill: the bill form opens in its processing mode for that
// voucher, and what it does to the voucher is shown when it closes.
void TestIoReview::storedBillOpensFromTheVoucher() {
    IoFixture fx;
    fx.addBanks();
    fx.acc().execute(QStringLiteral("update bbank set ps = 1000000"));
    fx.addVoucher({.no = "920712001", .status = 0, .amount = 700});
    fx.addVoucher({.no = "920712002", .status = -2, .amount = 12345, .suggested = -2});
    frmIo* f = fx.open();
    QCOMPARE(f->lbNo->text(), QStringLiteral("920712002"));
    QVERIFY(!f->cmdBillView->isVisibleTo(f));  // unapproved
    {
        app::ScopedModalHook hook([](QWidget* w) { IoFixture::fillBill(w, "CK1"); });
        IoFixture::approve(f, false);
    }
    QVERIFY(f->cmdBillView->isVisibleTo(f) && f->cmdBillView->isEnabled());

    // Voiding clears the voucher's amount; the form shows it so at once.
    fx.prompts().expectMessage(QStringLiteral("確定處理此票據為[作   廢]"), app::Answer::Yes);
    bool processingMode = false;
    {
        app::ScopedModalHook hook([&](QWidget* w) {
            auto* b = qobject_cast<bills::frmBill*>(w);
            QVERIFY(b);
            processingMode =
                app::isTrue(app::gPicked) && app::gBillViewNo == QStringLiteral("920712002") &&
                b->lbIoNo->text() == QStringLiteral("920712002") && b->cmdOp->isVisibleTo(b);
            b->cmdOp->click();
            b->Oop[2]->click();
        });
        f->cmdBillView->click();
    }
    QVERIFY(processingMode);
    QCOMPARE(app::gPicked, app::False);
    QCOMPARE(fx.acc().scalar(QStringLiteral("select 方式 from bill")).toInt(), 2);
    QCOMPARE(fx.row("920712002").at(4).toInt(), 0);
    QCOMPARE(f->lbNo->text(), QStringLiteral("920712002"));
    QCOMPARE(f->txtCash->text(), QStringLiteral("0"));

    // A cash voucher has no bill; nor has a user without any bill right the button.
    f->FSB->setValue(f->FSB->value() - 1);
    QCOMPARE(f->lbNo->text(), QStringLiteral("920712001"));
    QVERIFY(!f->cmdBillView->isVisibleTo(f));
    app::gRights = 1 + 4;  // vouchers and approving, no bills
    f->FSB->setValue(f->FSB->value() + 1);
    QVERIFY(f->cmdBillView->isVisibleTo(f) && !f->cmdBillView->isEnabled());
}

// Cashing a single voucher's bill reports that the voucher form's display is out of date.
// The form stays open: an entry in progress is left alone, and the voucher on display is shown
// again once no handler of the form has the bill form open.
void TestIoReview::cashedBillRedisplaysInsteadOfUnloading() {
    IoFixture fx;
    fx.addBanks();
    fx.acc().execute(QStringLiteral("update bbank set ps = 1000000"));
    fx.addVoucher({.no = "920712001", .status = -2, .amount = 500, .suggested = -2});
    frmIo* f = fx.open();
    {
        app::ScopedModalHook hook([](QWidget* w) { IoFixture::fillBill(w, "CK1"); });
        IoFixture::approve(f, false);
    }
    fx.prompts().expectMessage(QStringLiteral("確定處理此票據為[兌   現]"), app::Answer::Yes);
    {
        app::ScopedModalHook hook([&](QWidget* w) {
            auto* b = qobject_cast<bills::frmBill*>(w);
            b->cmdOp->click();
            b->Oop[1]->click();
            // Events run meanwhile, as in a modal loop: the form is still there.
            QCoreApplication::processEvents();
            QVERIFY(app::Forms::isLoaded<frmIo>());
        });
        f->cmdBillView->click();
    }
    QCOMPARE(fx.acc().scalar(QStringLiteral("select 方式 from bill")).toInt(), 1);
    QCOMPARE(fx.acc().scalar(QStringLiteral("select count(*) from bank")).toInt(), 1);
    QCoreApplication::processEvents();
    QVERIFY(app::Forms::isLoaded<frmIo>());
    QCOMPARE(f->lbNo->text(), QStringLiteral("920712001"));
    QCOMPARE(f->lbStat->text(), QStringLiteral("〔瀏覽〕"));

    // Reported while another voucher is being entered: the entry is left as it is.
    f->cmdAdd->click();
    f->cbUse->setEditText(QStringLiteral("車資"));
    bills::unloadVoucherForm();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QVERIFY(app::Forms::isLoaded<frmIo>());
    QCOMPARE(f->lbStat->text(), QStringLiteral("〔新增中〕"));
    QCOMPARE(f->cbUse->currentText(), QStringLiteral("車資"));
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

// --- Unapproved-voucher review ---

void TestIoReview::listsOnlyUnapprovedVouchers() {
    IoFixture fx;
    fx.addVoucher({.no = "920712001",
                   .status = -1,
                   .amount = 12345,
                   .project = "P1",
                   .projectName = "甲大樓",
                   .hDay = QDate(2003, 7, 1)});
    fx.addVoucher({.no = "920712002",
                   .status = -2,
                   .amount = 500,
                   .account = "4101",
                   .expense = false,
                   .accountName = "工程收入"});
    fx.addVoucher({.no = "920712003", .status = -3});
    fx.addVoucher({.no = "920712004", .status = 0});
    fx.addVoucher({.no = "920712005", .status = 1});
    frmIo* f = fx.open();
    QCOMPARE(f->HeightTwips(), frmIo::kHeight);
    f->cmdNck->click();
    QCOMPARE(app::gListMode, qint16(2));
    QCOMPARE(f->HeightTwips(), frmIo::kExpandedHeight);
    QCOMPARE(f->cmdNck->text(), QStringLiteral("檢視未簽核收支單<<"));
    QVERIFY(f->ckco->isVisible() && !f->ckco->isChecked() && !f->cmdco->isVisible());
    QVERIFY(f->HFG->isVisible());

    QCOMPARE(f->HFG->rowCount(), 3);
    QCOMPARE(f->HFG->columnCount(), 9);
    const QStringList headings{"",         "收支單號", "發生日期", "用途", "專案名稱",
                               "工程種類", "收支",     "科目",     "金額"};
    const QList<int> widths{200, 900, 880, 2650, 2650, 1000, 500, 2000, 1000};
    for (int c = 0; c < 9; ++c) {
        QCOMPARE(cell(f, 0, c), headings.at(c));
        // The heading stays in view: the grid's own header shows row 0.
        QCOMPARE(f->HFG->model()->headerData(c, Qt::Horizontal).toString(), headings.at(c));
        // Numbers and dates are widened where they would not show whole in the font.
        // The two wide text columns give that back, so that the amount stays in view.
        if (c == 1 || c == 2 || c == 6 || c == 8)
            QVERIFY(f->HFG->columnWidth(c) >= qRound(widths.at(c) / 15.0));
        else if (c == 3 || c == 4)
            QVERIFY(f->HFG->columnWidth(c) <= qRound(widths.at(c) / 15.0));
        else
            QCOMPARE(f->HFG->columnWidth(c), qRound(widths.at(c) / 15.0));
    }
    QVERIFY(f->HFG->columnViewportPosition(8) + f->HFG->columnWidth(8) <=
            f->HFG->viewport()->width());
    QCOMPARE(cell(f, 1, 1), QStringLiteral("920712001"));
    QCOMPARE(cell(f, 1, 0), QString());
    QCOMPARE(cell(f, 1, 2), QStringLiteral("92/07/01"));
    QCOMPARE(cell(f, 1, 3), QStringLiteral("購買文具"));
    QCOMPARE(cell(f, 1, 4), QStringLiteral("甲大樓"));
    QCOMPARE(cell(f, 1, 6), QStringLiteral("支出"));
    QCOMPARE(cell(f, 1, 7), QStringLiteral("(5101)文具"));
    QCOMPARE(f->HFG->alignment(1, 7), int(Qt::AlignLeft | Qt::AlignVCenter));
    QCOMPARE(cell(f, 1, 8), QStringLiteral("12,345"));
    QCOMPARE(cell(f, 2, 1), QStringLiteral("920712002"));
    QCOMPARE(cell(f, 2, 6), QStringLiteral("收入"));
    QCOMPARE(cell(f, 2, 7), QStringLiteral("(4101)工程收入"));
    QCOMPARE(cell(f, 2, 8), QStringLiteral("500"));
    for (int r = 1; r <= 2; ++r)
        QCOMPARE(markState(f, r), QStringLiteral("unmarked"));
    // The panel colour is the button's, light blue: the list of unapproved vouchers.
    QCOMPARE(f->panelColour(), QColor(192, 192, 255));
    QCOMPARE(f->cmdNck->palette().color(QPalette::Button), QColor(192, 192, 255));
}

void TestIoReview::nothingToListIsRefused() {
    IoFixture fx;
    fx.addVoucher({.no = "920712001", .status = 0});
    fx.addVoucher({.no = "920712002", .status = -3});
    frmIo* f = fx.open();
    fx.prompts().expectMessage(QStringLiteral("無未簽核收支單"));
    f->cmdNck->click();
    QCOMPARE(fx.prompts().shown().last().title, QStringLiteral("Acc"));
    QCOMPARE(fx.prompts().shown().last().icon, app::Icon::Exclamation);
    QCOMPARE(f->HeightTwips(), frmIo::kHeight);
    QCOMPARE(f->cmdNck->text(), QStringLiteral("檢視未簽核收支單>>"));
    QVERIFY(f->ckco->isHidden());
}

void TestIoReview::doubleClickOpensAndClosingReturnsToBrowsing() {
    IoFixture fx;
    fx.addVoucher({.no = "920712001", .use = "甲"});
    fx.addVoucher({.no = "920712002", .use = "乙"});
    fx.addVoucher({.no = "920712003", .status = 0, .use = "丙"});
    frmIo* f = fx.open();
    f->cmdNck->click();
    const int row = gridRow(f, "920712001");
    const QRect rect = f->HFG->cellRect(row, 3);
    QTest::mouseClick(f->HFG->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(f->HFG->viewport(), Qt::LeftButton, {}, rect.center());
    QCOMPARE(app::gPicked, app::True);
    QCOMPARE(app::gPickedNo, QStringLiteral("920712001"));
    QCOMPARE(f->lbNo->text(), QStringLiteral("920712001"));
    QCOMPARE(f->cbUse->currentText(), QStringLiteral("甲"));
    QVERIFY(f->cmdAdd->isHidden() && f->FSB->isHidden());

    f->cmdNck->click();  // closing
    QCOMPARE(f->HeightTwips(), frmIo::kHeight);
    QCOMPARE(f->cmdNck->text(), QStringLiteral("檢視未簽核收支單>>"));
    QVERIFY(f->ckco->isHidden() && f->cmdco->isHidden());
    QCOMPARE(app::gPicked, app::False);
    QCOMPARE(f->lbNo->text(), QStringLiteral("920712003"));  // the last voucher again
    QVERIFY(!f->cmdAdd->isHidden() && !f->FSB->isHidden());
    QCOMPARE(f->lbStat->text(), QStringLiteral("〔瀏覽〕"));
}

void TestIoReview::markingExpenseVouchers() {
    IoFixture fx;
    fx.addVoucher({.no = "920712001", .amount = 12345});
    fx.addVoucher({.no = "920712002", .amount = 655});
    frmIo* f = fx.open();
    f->cmdNck->click();
    app::gMarkedTotal = 99;
    f->ckco->click();
    QVERIFY(f->cmdco->isVisible());
    QCOMPARE(app::gMarkedTotal, 0);

    clickRow(f, "920712001");
    QCOMPARE(markState(f, 1), QStringLiteral("marked"));
    QCOMPARE(app::gMarkedTotal, 12345);
    QCOMPARE(f->HFG->currentRow(), 1);
    QCOMPARE(f->HFG->currentColumn(), 3);
    clickRow(f, "920712002", Qt::RightButton);  // any button marks
    QCOMPARE(markState(f, 2), QStringLiteral("marked"));
    QCOMPARE(app::gMarkedTotal, 13000);
    clickRow(f, "920712001");  // a second click unmarks
    QCOMPARE(markState(f, 1), QStringLiteral("unmarked"));
    QCOMPARE(markState(f, 2), QStringLiteral("marked"));
    QCOMPARE(app::gMarkedTotal, 655);
}

void TestIoReview::incomeHeadingAndUntickedClicksMarkNothing() {
    IoFixture fx;
    fx.addVoucher({.no = "920712001", .amount = 300});
    fx.addVoucher({.no = "920712002",
                   .amount = 500,
                   .account = "4101",
                   .expense = false,
                   .accountName = "工程收入"});
    frmIo* f = fx.open();
    f->cmdNck->click();
    clickRow(f, "920712001");  // 合計開票 not ticked
    QCOMPARE(markState(f, 1), QStringLiteral("unmarked"));
    QCOMPARE(app::gMarkedTotal, 0);

    f->ckco->click();
    fx.prompts().expectMessage(QStringLiteral("不是支出收支單"));
    clickRow(f, "920712002");
    QCOMPARE(fx.prompts().shown().last().title, QStringLiteral("Acc"));
    QCOMPARE(markState(f, 2), QStringLiteral("unmarked"));
    QCOMPARE(app::gMarkedTotal, 0);
    f->HFG_MouseDown(0, 4);  // the heading row
    QCOMPARE(cell(f, 0, 0), QString());
    QCOMPARE(app::gMarkedTotal, 0);
}

void TestIoReview::untickingClearsMarksNotTotal() {
    IoFixture fx;
    fx.addVoucher({.no = "920712001", .amount = 300});
    fx.addVoucher({.no = "920712002", .amount = 200});
    frmIo* f = fx.open();
    f->cmdNck->click();
    f->ckco->click();
    clickRow(f, "920712001");
    clickRow(f, "920712002");
    QCOMPARE(app::gMarkedTotal, 500);
    f->ckco->click();  // unticked
    QVERIFY(f->cmdco->isHidden());
    QCOMPARE(markState(f, 1), QStringLiteral("unmarked"));
    QCOMPARE(markState(f, 2), QStringLiteral("unmarked"));
    QCOMPARE(app::gMarkedTotal, 500);
    clickRow(f, "920712001");  // no longer combining
    QCOMPARE(markState(f, 1), QStringLiteral("unmarked"));
    f->ckco->click();  // ticked again: a new total
    QCOMPARE(app::gMarkedTotal, 0);
    clickRow(f, "920712002");
    QCOMPARE(app::gMarkedTotal, 200);
    // Closing the list unticks 合計開票 and clears the marks with it.
    f->cmdNck->click();
    QVERIFY(!f->ckco->isChecked());
    QCOMPARE(markState(f, 2), QStringLiteral("unmarked"));
}

void TestIoReview::searchHitsAreNeverMarked() {
    IoFixture fx;
    fx.addVoucher({.no = "920712001", .amount = 300});
    frmIo* f = fx.open();
    f->cmdNck->click();
    f->ckco->click();
    // The grid shows the hits of a search: light green.
    f->setPanelColour(frmIo::kSearchPanelColour);
    clickRow(f, "920712001");
    QCOMPARE(markState(f, 1), QStringLiteral("unmarked"));
    QCOMPARE(app::gMarkedTotal, 0);
}

// --- Combined approval ---

void TestIoReview::combinedBillWritesEverythingTogether() {
    IoFixture fx;
    fx.addBanks();
    fx.addVoucher({.no = "920712001", .amount = 12345});
    fx.addVoucher({.no = "920712002",
                   .amount = 500,
                   .account = "4101",
                   .expense = false,
                   .accountName = "工程收入"});
    fx.addVoucher({.no = "920712003", .amount = 70});
    fx.addVoucher({.no = "920712004", .status = -2, .amount = 200, .suggested = -2});
    fx.addVoucher({.no = "920712005", .amount = 55});
    frmIo* f = fx.open();
    QCOMPARE(f->lbNo->text(), QStringLiteral("920712005"));  // shown, and about to be settled
    f->cmdNck->click();
    f->ckco->click();
    clickRow(f, "920712001");
    clickRow(f, "920712004");
    clickRow(f, "920712005");
    QCOMPARE(app::gMarkedTotal, 12600);

    bool billFormSawTheGroup = false;
    {
        app::ScopedModalHook hook([&](QWidget* w) {
            auto* b = qobject_cast<bills::frmBill*>(w);
            QVERIFY(b);
            QCOMPARE(app::gBillFromIssue, app::True);
            QCOMPARE(app::gPicked, app::False);
            // Nothing is written while the bill form waits for the user.
            QCOMPARE(fx.count("select count(*) from iofs"), 0);
            billFormSawTheGroup = b->lbIoNo->text() == QStringLiteral("920712001S") &&
                                  b->lbCash->text() == QStringLiteral("12600") &&
                                  b->lbIo->text() == QStringLiteral("開 出 票 據");
            IoFixture::fillBill(w, "CB100");
        });
        f->cmdco->click();
    }
    QVERIFY(billFormSawTheGroup);
    QCOMPARE(app::gBillFromIssue, app::False);
    QCOMPARE(app::gBillVoucherNo, QStringLiteral("920712001"));
    const QStringList bill = billRow(fx, "920712001S");
    QCOMPARE(bill.value(0), QStringLiteral("CB100"));
    QCOMPARE(bill.value(5), QStringLiteral("第一銀行"));
    QCOMPARE(bill.value(11), QStringLiteral("12600"));
    QCOMPARE(bill.value(13), QStringLiteral("0"));  // an expense bill
    QCOMPARE(fx.count("select count(*) from bill"), 1);
    store::Recordset links = fx.acc().openRecordset(
        QStringLiteral("select * from iofs order by rowid"), store::RecordsetType::Snapshot);
    QStringList linked;
    for (; !links.isEOF(); links.MoveNext())
        linked << links.text(0) + QLatin1Char(' ') + links.text(1);
    QCOMPARE(linked,
             QStringList({"920712001S 920712001", "920712001S 920712004", "920712001S 920712005"}));
    for (const char* no : {"920712001", "920712004", "920712005"})
        QCOMPARE(fx.row(no).at(3).toInt(), 1);
    QCOMPARE(fx.row("920712002").at(3).toInt(), -1);
    QCOMPARE(fx.row("920712003").at(3).toInt(), -1);
    QCOMPARE(fx.count("select count(*) from cash"), 0);

    // The list shows what still waits for approval, unmarked, still combining.
    QCOMPARE(f->HFG->rowCount(), 3);
    QCOMPARE(cell(f, 1, 1), QStringLiteral("920712002"));
    QCOMPARE(cell(f, 2, 1), QStringLiteral("920712003"));
    QCOMPARE(markState(f, 2), QStringLiteral("unmarked"));
    QCOMPARE(app::gMarkedTotal, 0);
    QVERIFY(f->ckco->isChecked() && f->cmdco->isVisible());
    QCOMPARE(f->HeightTwips(), frmIo::kExpandedHeight);
    // The voucher on display is shown as stored now: settled by bill.
    QCOMPARE(f->lbNo->text(), QStringLiteral("920712005"));
    QVERIFY(f->ck->isChecked() && !f->ck->isEnabled());
    QVERIFY(f->optA[1]->isChecked());
    clickRow(f, "920712003");
    QCOMPARE(app::gMarkedTotal, 70);
}

void TestIoReview::oneMarkedVoucherStillGetsTheCombinedKey() {
    IoFixture fx;
    fx.addBanks();
    fx.addVoucher({.no = "920712001", .amount = 300});
    fx.addVoucher({.no = "920712002", .amount = 400});
    frmIo* f = fx.open();
    f->cmdNck->click();
    f->ckco->click();
    clickRow(f, "920712002");
    {
        app::ScopedModalHook hook([](QWidget* w) { IoFixture::fillBill(w, "ONE"); });
        f->cmdco->click();
    }
    QCOMPARE(billRow(fx, "920712002S").value(11), QStringLiteral("400"));
    QCOMPARE(fx.count("select count(*) from iofs where 多單號 = '920712002S' and "
                      "單號 = '920712002'"),
             1);
    QCOMPARE(fx.count("select count(*) from iofs"), 1);
    QCOMPARE(fx.row("920712002").at(3).toInt(), 1);
    QCOMPARE(fx.row("920712001").at(3).toInt(), -1);
    QCOMPARE(f->HFG->rowCount(), 2);
    QCOMPARE(cell(f, 1, 1), QStringLiteral("920712001"));
}

void TestIoReview::nothingMarkedIsRefused() {
    IoFixture fx;
    fx.addVoucher({.no = "920712001"});
    frmIo* f = fx.open();
    f->cmdNck->click();
    f->ckco->click();
    app::ScopedModalHook hook([](QWidget*) { QFAIL("no bill form without a marked voucher"); });
    fx.prompts().expectMessage(QStringLiteral("沒有選取收支單"));
    f->cmdco->click();
    QCOMPARE(fx.prompts().shown().last().title, QStringLiteral("Acc"));
    QCOMPARE(fx.count("select count(*) from bill"), 0);
}

void TestIoReview::cancelledCombinedBillWritesNothing() {
    IoFixture fx;
    fx.addBanks();
    fx.addVoucher({.no = "920712001", .amount = 300});
    fx.addVoucher({.no = "920712002", .amount = 400});
    frmIo* f = fx.open();
    f->cmdNck->click();
    f->ckco->click();
    clickRow(f, "920712001");
    clickRow(f, "920712002");
    {
        app::ScopedModalHook hook([](QWidget* w) { IoFixture::cancelBill(w); });
        fx.prompts().expectMessage(QStringLiteral("因您取消票據輸入\r\n所以此收支單並未簽核"));
        f->cmdco->click();
    }
    QCOMPARE(fx.prompts().shown().last().title, QStringLiteral("ACC"));
    QCOMPARE(app::gBillCancel, app::False);
    QCOMPARE(fx.count("select count(*) from bill"), 0);
    QCOMPARE(fx.count("select count(*) from iofs"), 0);
    QCOMPARE(fx.row("920712001").at(3).toInt(), -1);
    QCOMPARE(fx.row("920712002").at(3).toInt(), -1);
    // The marks stay for another try.
    QCOMPARE(markState(f, 1), QStringLiteral("marked"));
    QCOMPARE(markState(f, 2), QStringLiteral("marked"));
    QCOMPARE(app::gMarkedTotal, 700);
}

void TestIoReview::voucherSettledElsewhereRefusesTheWholeBill() {
    IoFixture fx;
    fx.addBanks();
    fx.addVoucher({.no = "920712001", .amount = 300});
    fx.addVoucher({.no = "920712002", .amount = 400});
    fx.addVoucher({.no = "920712003", .amount = 500});
    fx.addVoucher({.no = "920712004", .amount = 600});
    frmIo* f = fx.open();
    f->cmdNck->click();
    f->ckco->click();
    for (const char* no : {"920712001", "920712002", "920712003"})
        clickRow(f, no);
    QCOMPARE(app::gMarkedTotal, 1200);
    auto other = openDatabaseFile(fx.folder.path(), store::schema::acc());
    {
        app::ScopedModalHook hook([&](QWidget* w) {
            // Meanwhile another copy approves one of them in cash and voids another.
            other->execute(QStringLiteral("update iof set 方式 = 0 where 單號 = '920712002'"));
            other->execute(QStringLiteral("update iof set 方式 = -3 where 單號 = '920712003'"));
            IoFixture::fillBill(w, "LATE");
        });
        fx.prompts().expectMessage(QStringLiteral("920712002\r\n920712003"));
        f->cmdco->click();
    }
    QVERIFY(fx.prompts().shown().last().text.contains(QStringLiteral("並未存入")));
    QCOMPARE(fx.count("select count(*) from bill"), 0);
    QCOMPARE(fx.count("select count(*) from iofs"), 0);
    QCOMPARE(fx.row("920712001").at(3).toInt(), -1);
    QCOMPARE(fx.row("920712002").at(3).toInt(), 0);
    QCOMPARE(fx.row("920712003").at(3).toInt(), -3);
    // The list is read again: the settled ones are gone, the rest keep their marks and the
    // total is theirs.
    QCOMPARE(f->HFG->rowCount(), 3);
    QCOMPARE(cell(f, 1, 1), QStringLiteral("920712001"));
    QCOMPARE(markState(f, 1), QStringLiteral("marked"));
    QCOMPARE(cell(f, 2, 1), QStringLiteral("920712004"));
    QCOMPARE(markState(f, 2), QStringLiteral("unmarked"));
    QCOMPARE(app::gMarkedTotal, 300);

    // Another try with what is left goes through.
    {
        app::ScopedModalHook hook([](QWidget* w) { IoFixture::fillBill(w, "AGAIN"); });
        f->cmdco->click();
    }
    QCOMPARE(billRow(fx, "920712001S").value(11), QStringLiteral("300"));
    QCOMPARE(fx.row("920712001").at(3).toInt(), 1);
}

QTEST_MAIN(TestIoReview)
#include "tst_io_review.moc"
