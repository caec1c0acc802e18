// The statement windows as a user drives them: opened as the bar opens them, filled, queried,
// exported and printed to PDF (read back with pdftotext); the login reminder; a transfer.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "BillRegister.h"
#include "Books.h"
#include "Clock.h"
#include "EraDate.h"
#include "Forms.h"
#include "ProgramSandbox.h"
#include "Recordset.h"
#include "ReportControl.h"
#include "Routines.h"
#include "Statements.h"
#include "StatementsKit.h"
#include "frmBillRegister.h"
#include "frmCashFlow.h"
#include "frmIncomeStatement.h"
#include "frmQuery.h"
#include "frmTransfer.h"

using namespace orvik;
using namespace orvik::statements;
using namespace orvik::testing;

namespace {

QString pdfText(const QString& path) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

}  // namespace

class TestStatementWindows : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void queryFiltersTotalsExportAndPrint();
    void cashBookPrintsItsBalances();
    void billRegisterFromTheLoginReminder();
    void incomeStatementPrintsEveryPeriod();
    void cashFlowPrints();
    void transferWindowWritesAndRefuses();

  private:
    QTemporaryDir data_;
    QTemporaryDir out_;
    std::unique_ptr<ProgramSandbox> sandbox_;
    QString company_;
};

void TestStatementWindows::initTestCase() {
    makeGeneratedFolder(data_, 3000);
    qputenv(report::kPdfFolderVariable, QFile::encodeName(out_.path()));
}

void TestStatementWindows::init() {
    sandbox_ = std::make_unique<ProgramSandbox>();
    for (const char* layout :
         {"query.rpt", "book.rpt", "bills.rpt", "income.rpt", "cashflow.rpt", "transfers.rpt"})
        QVERIFY(QFile::copy(QStringLiteral(ORVIK_REPORT_SOURCE_DIR "/") + QLatin1String(layout),
                            QDir(sandbox_->programFolder()).filePath(QLatin1String(layout))));
    openFolder(data_.path());
    company_ = app::dbPrint->scalar(QStringLiteral("SELECT ion FROM company")).toString();
    app::Clock::setFixedNow(QDateTime(kToday, QTime(9, 0)));
    app::gRights = app::kAllRights;
    app::gLoggedIn = app::True;
}

void TestStatementWindows::cleanup() {
    app::Forms::unloadAll();
    QCoreApplication::processEvents();
    sandbox_.reset();
}

void TestStatementWindows::cleanupTestCase() {
    qunsetenv(report::kPdfFolderVariable);
}

void TestStatementWindows::queryFiltersTotalsExportAndPrint() {
    showVoucherQuery();
    auto* f = app::Forms::get<frmQuery>();
    QVERIFY(f->isVisible());
    QCOMPARE(f->lbOccurredFrom->buddy(), f->dtOccurredFrom);
    f->dtOccurredFrom->setText(QStringLiteral("113/02/01"));
    f->dtOccurredTo->setText(QStringLiteral("113/02/29"));
    f->cbDirection->setCurrentIndex(2);  // 支出
    QTest::mouseClick(f->cmdQuery, Qt::LeftButton);
    const qint64 expected =
        num(*app::dbAcc, QStringLiteral("SELECT count(*) FROM iof WHERE pay <> 0 "
                                        "AND 發生日期 BETWEEN '2024-02-01' AND '2024-02-29'"));
    QVERIFY(expected > 0);
    QCOMPARE(f->vouchers()->rowCount(), int(expected));
    QCOMPARE(
        f->totals().expense,
        num(*app::dbAcc, QStringLiteral("SELECT sum(金額) FROM iof WHERE pay <> 0 AND 方式 <> -3 "
                                        "AND 發生日期 BETWEEN '2024-02-01' AND '2024-02-29'")));
    QVERIFY(f->lbTotals->text().contains(QString::number(expected)));

    // A date box that holds no date is told by its caption.
    f->dtEnteredFrom->setText(QStringLiteral("113/02/30"));
    sandbox_->prompts().expectMessage(QStringLiteral("輸入日期 不是日期"));
    QTest::mouseClick(f->cmdQuery, Qt::LeftButton);
    f->dtEnteredFrom->clear();

    const QString xlsx = out_.filePath(QStringLiteral("query.xlsx"));
    sandbox_->prompts().expectFile(xlsx);
    QTest::mouseClick(f->cmdExport, Qt::LeftButton);
    QVERIFY(QFile::exists(xlsx));
    const QString csv = out_.filePath(QStringLiteral("query.csv"));
    sandbox_->prompts().expectFile(csv);
    QTest::mouseClick(f->cmdExport, Qt::LeftButton);
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()).count(QStringLiteral("\r\n")), int(expected) + 3);

    QTest::mouseClick(f->cmdPrint, Qt::LeftButton);
    const QString text = pdfText(out_.filePath(QStringLiteral("query.pdf")));
    QVERIFY2(text.contains(company_), qPrintable(text.left(300)));
    QVERIFY(text.contains(f->vouchers()->text(0, 0)));          // the first voucher number
    QVERIFY(text.contains(f->vouchers()->text(0, 6).left(4)));  // its purpose, as printed
    QVERIFY(text.contains(QStringLiteral("支出合計")));
}

void TestStatementWindows::cashBookPrintsItsBalances() {
    showVoucherQuery();
    auto* f = app::Forms::get<frmQuery>();
    f->tabBooks->setCurrentWidget(f->tabCash);
    f->dtCashFrom->setText(QStringLiteral("112/01/01"));
    f->dtCashTo->setText(QStringLiteral("112/12/31"));
    QTest::mouseClick(f->cmdCash, Qt::LeftButton);
    QVERIFY(f->cashRows()->rowCount() > 1);
    QCOMPARE(f->cashRows()->text(0, 3), QStringLiteral("期初餘額"));
    QCOMPARE(f->lbCashCheck->text(), QStringLiteral("帳上餘額與異動相符"));
    QTest::mouseClick(f->cmdPrint, Qt::LeftButton);
    const QString text = pdfText(out_.filePath(QStringLiteral("book.pdf")));
    const int last = f->cashRows()->rowCount() - 1;
    QVERIFY2(text.contains(f->cashRows()->text(last, 6)), qPrintable(f->cashRows()->text(last, 6)));
    QVERIFY(text.contains(QStringLiteral("現金簿")));
}

void TestStatementWindows::billRegisterFromTheLoginReminder() {
    const Reminder r = reminderCounts(*app::dbAcc, kToday);
    QVERIFY(r.any());
    sandbox_->prompts().expectMessage(
        QStringLiteral("開出票據已到提醒日 %1 張，收到票據已到期 %2 張")
            .arg(r.issuedReminded)
            .arg(r.receivedDue),
        app::Answer::Yes);
    remindAtLogin();
    auto* f = app::Forms::get<frmBillRegister>();
    QVERIFY(f->isVisible());
    QVERIFY(f->ckRemind->isChecked());
    QCOMPARE(f->bills()->rowCount(), int(r.issuedReminded + r.receivedDue));

    // Without a bill right nothing is told.
    app::gRights = 1 << 10;
    remindAtLogin();
    app::gRights = app::kAllRights;

    QTest::mouseClick(f->cmdPrint, Qt::LeftButton);
    const QString text = pdfText(out_.filePath(QStringLiteral("bills.pdf")));
    QVERIFY(text.contains(f->bills()->text(0, 0)));
    QVERIFY(text.contains(QStringLiteral("票據登記簿")));
}

void TestStatementWindows::incomeStatementPrintsEveryPeriod() {
    showIncomeStatement();
    auto* f = app::Forms::get<frmIncomeStatement>();
    f->cbKind->setCurrentIndex(0);
    f->spnYear->setValue(113);
    f->spnPart->setValue(2);
    QTest::mouseClick(f->cmdQuery, Qt::LeftButton);
    QCOMPARE(f->statement().periods[0].to, QDate(2024, 2, 29));
    QCOMPARE(
        f->statement().totalIncome[0],
        num(*app::dbAcc, QStringLiteral("SELECT sum(金額) FROM iof WHERE pay = 0 AND 方式 >= 0 "
                                        "AND 發生日期 BETWEEN '2024-02-01' AND '2024-02-29'")));
    QTest::mouseClick(f->cmdPrint, Qt::LeftButton);
    const QString text = pdfText(out_.filePath(QStringLiteral("income.pdf")));
    for (const QString& w : {QStringLiteral("113 年 2 月"), QStringLiteral("113 年 1 月"),
                             QStringLiteral("112 年 2 月"), QStringLiteral("收入合計"),
                             app::FormatAmount(f->statement().totalIncome[0])})
        QVERIFY2(text.contains(w), qPrintable(w));
    QVERIFY(text.contains(f->statement().income.first().name));
}

void TestStatementWindows::cashFlowPrints() {
    showCashFlow();
    auto* f = app::Forms::get<frmCashFlow>();
    QCOMPARE(f->buckets()->rowCount(), 2 + 3);  // today, overdue, three months
    QCOMPARE(f->flow().cash,
             num(*app::dbAcc, QStringLiteral("SELECT bala FROM cash ORDER BY id DESC LIMIT 1")));
    QTest::mouseClick(f->cmdPrint, Qt::LeftButton);
    const QString text = pdfText(out_.filePath(QStringLiteral("cashflow.pdf")));
    QVERIFY(text.contains(QStringLiteral("已逾期")));
    QVERIFY(text.contains(app::FormatAmount(f->flow().buckets.last().balance)));

    // The details behind the periods export on their own: a line for each expected item.
    QVERIFY(!f->flow().items.isEmpty());
    const QString csv = out_.filePath(QStringLiteral("items.csv"));
    sandbox_->prompts().expectFile(csv);
    QTest::mouseClick(f->cmdExportItems, Qt::LeftButton);
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString exported = QString::fromUtf8(file.readAll());
    QCOMPARE(exported.count(QStringLiteral("\r\n")), f->flow().items.size() + 3);
    QVERIFY(exported.contains(f->flow().items.first().reference));
}

void TestStatementWindows::transferWindowWritesAndRefuses() {
    showTransfer();
    auto* f = app::Forms::get<frmTransfer>();
    f->cbKind->setCurrentIndex(1);  // 自銀行提領現金
    QVERIFY(f->cbFrom->count() > 0);
    // The account holding the most: generated accounts may be overdrawn.
    const QVector<BankAccount> accounts = bankAccounts(*app::dbAcc);
    int richest = 0;
    for (int i = 1; i < f->cbFrom->count(); ++i) {
        const auto balanceAt = [&](int at) {
            return bankBalance(*app::dbAcc, accounts.at(f->cbFrom->itemData(at).toInt()));
        };
        if (balanceAt(i) > balanceAt(richest))
            richest = i;
    }
    f->cbFrom->setCurrentIndex(richest);
    QVERIFY(bankBalance(*app::dbAcc, accounts.at(f->cbFrom->itemData(richest).toInt())) > 1000);
    QCOMPARE(f->cbTo->currentText(), QStringLiteral("現金"));
    const qint64 cashBefore = cashBalance(*app::dbAcc);
    f->txtAmount->setText(QStringLiteral("999,999,999"));
    sandbox_->prompts()
        .expectMessage(QStringLiteral("確定自"), app::Answer::Yes)
        .expectMessage(QStringLiteral("轉出方餘額不足"));
    QTest::mouseClick(f->cmdSave, Qt::LeftButton);
    QCOMPARE(cashBalance(*app::dbAcc), cashBefore);

    f->txtAmount->setText(QStringLiteral("1,000"));
    sandbox_->prompts()
        .expectMessage(QStringLiteral("確定自"), app::Answer::Yes)
        .expectMessage(QStringLiteral("轉帳完成"));
    QTest::mouseClick(f->cmdSave, Qt::LeftButton);
    QCOMPARE(cashBalance(*app::dbAcc), cashBefore + 1000);
    QCOMPARE(f->list()->rowCount(), 1);

    f->grdTransfers->setCurrentIndex(f->list()->index(0, 0));
    sandbox_->prompts()
        .expectMessage(QStringLiteral("確定以反向轉帳沖銷"), app::Answer::Yes)
        .expectMessage(QStringLiteral("沖銷完成"));
    QTest::mouseClick(f->cmdReverse, Qt::LeftButton);
    QCOMPARE(cashBalance(*app::dbAcc), cashBefore);
    QCOMPARE(f->list()->rowCount(), 2);

    // Both transfers go out as a list: exported and printed.
    const QString csv = out_.filePath(QStringLiteral("transfers.csv"));
    sandbox_->prompts().expectFile(csv);
    QTest::mouseClick(f->cmdExport, Qt::LeftButton);
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString exported = QString::fromUtf8(file.readAll());
    QTest::mouseClick(f->cmdPrint, Qt::LeftButton);
    const QString printed = pdfText(out_.filePath(QStringLiteral("transfers.pdf")));
    for (const QString& key : {f->list()->text(0, 0), f->list()->text(1, 0)}) {
        QVERIFY2(exported.contains(key), qPrintable(exported));
        // The number after 轉: a reader of the PDF may set a word of another font apart.
        QVERIFY2(printed.contains(key.mid(1)), qPrintable(printed));
    }
    QVERIFY(printed.contains(QStringLiteral("1,000")));
}

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TestStatementWindows t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_statement_windows.moc"
