// Printing the voucher on display: the heading, the one-row print record ptios column by
// column, both layouts rendered to PDF and read back, and the printout of the voucher on
// display while another copy of the program rebuilds ptios for its own voucher.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "IoFixture.h"
#include "ReportControl.h"
#include "Routines.h"
#include "Startup.h"

using namespace orvik;
using namespace orvik::testing;
using vouchers::frmIo;

namespace {

const QString kWords1234567 = QStringLiteral("壹佰貳拾參萬肆仟伍佰陸拾柒");

// The pt.mdb row as the reports read it, by column name.
QMap<QString, QVariant> printRow() {
    auto rs = app::dbPrint->openRecordset(QStringLiteral("select * from ptios"),
                                          store::RecordsetType::Snapshot);
    QMap<QString, QVariant> row;
    if (!rs.isEOF()) {
        for (int i = 0; i < rs.fieldCount(); ++i)
            row.insert(rs.fieldNames().at(i), rs.field(i));
    }
    return row;
}

int printRows() {
    return app::dbPrint->scalar(QStringLiteral("select count(*) from ptios")).toInt();
}

QVariant storedHeading() {
    return app::dbPrint->scalar(QStringLiteral("select ion from company"));
}

// A voucher with every column worth printing: project, notes, people, a document.
void addFullVoucher(IoFixture& fx, const QString& no, bool document) {
    fx.addVoucher({.no = no,
                   .amount = 1234567,
                   .use = QStringLiteral("三月份工地鋼筋材料款"),
                   .project = QStringLiteral("P11302"),
                   .projectName = QStringLiteral("新竹科學園區廠房新建工程"),
                   .suggested = -2,
                   .hDay = QDate(2003, 7, 9)});
    fx.acc().execute(
        QStringLiteral("update iof set 附註一 = '分三期付款', 附註二 = '發票隨貨附上', "
                       "工程種類 = '鋼筋工程', 方式 = -2, 有單據 = ?, "
                       "單據號碼 = 'AB12345678', 稅額 = 58789, 進銷項 = -1 "
                       "where 單號 = ?"),
        {document ? -1 : 0, no});
}

// Text of a PDF as pdftotext reads it, NFKC-folded and without whitespace. The PDF writer
// names a glyph by the first code point the font draws with it, so 工 may read back as the
// Kangxi radical ⼯ (NFKC folds it) and 民, 長 as radicals NFKC leaves alone.
QString pdfText(const QString& pdf) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QStringLiteral("<pdftotext failed>");
    QString text =
        QString::fromUtf8(p.readAllStandardOutput()).normalized(QString::NormalizationForm_KC);
    text.replace(QChar(0x2EA0), QChar(0x6C11)).replace(QChar(0x2ED1), QChar(0x9577));
    return text.remove(QRegularExpression(QStringLiteral("\\s+")));
}

QString folded(QString text) {
    return text.normalized(QString::NormalizationForm_KC)
        .remove(QRegularExpression(QStringLiteral("\\s+")));
}

bool havePdfToText() {
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty();
}

// The layouts beside the program, as the build installs them.
void installLayouts() {
    for (const char* name : {"ios.rpt", "jios.rpt"}) {
        const QString target = QDir(app::ProgramFolder()).filePath(QLatin1String(name));
        QFile::remove(target);
        QVERIFY(QFile::copy(QStringLiteral(ORVIK_LAYOUT_DIR "/") + QLatin1String(name), target));
    }
}

}  // namespace

class TestIoPrint : public QObject {
    Q_OBJECT

  private slots:
    void init();
    void cleanup() { qunsetenv(report::kPdfFolderVariable); }
    void printRecordColumnByColumn_data();
    void printRecordColumnByColumn();
    void amountAndWords();
    void recordFollowsBrowsingAndPicks();
    void nullHeadingShowsDefaultAndPrintingStoresIt();
    void missingCompanyRowIsCreated();
    void bothLayoutsRenderTheVoucherOnDisplay();
    void printsTheVoucherOnDisplayWhenAnotherCopyRebuiltThePrintRecord();
    void missingOrBrokenLayoutIsReported();
    void onlyTheRightButtonAndOnlyWhileBrowsing();

  private:
    QTemporaryDir pdfDir_;
};

void TestIoPrint::init() {
    // Never a preview dialog in a test: printouts go to PDF files.
    qputenv(report::kPdfFolderVariable, pdfDir_.path().toUtf8());
    QDir(pdfDir_.path()).removeRecursively();
    QDir().mkpath(pdfDir_.path());
}

void TestIoPrint::printRecordColumnByColumn_data() {
    QTest::addColumn<bool>("document");
    QTest::newRow("with document") << true;
    QTest::newRow("without document") << false;
}

void TestIoPrint::printRecordColumnByColumn() {
    QFETCH(bool, document);
    IoFixture fx;
    addFullVoucher(fx, "920712001", document);
    frmIo* f = fx.open();
    QCOMPARE(f->lbNo->text(), QStringLiteral("920712001"));
    // Without a document the tax box still shows the computed tax; it is not printed.
    if (!document)
        f->txtTax->setText(QStringLiteral("58789"));

    QCOMPARE(printRows(), 1);
    auto rs = app::dbPrint->openRecordset(QStringLiteral("select * from ptios"),
                                          store::RecordsetType::Snapshot);
    QCOMPARE(rs.fieldCount(), 20);
    const QStringList expected{
        "中華民國 92 年 07 月 10 日",  // entered two days before today
        "920712001",
        "票據",
        "三月份工地鋼筋材料款",
        "P11302",
        "新竹科學園區廠房新建工程",
        "鋼筋工程",
        "5101",
        "(支出)",
        "文具",
        "1,234,567",
        "分三期付款",
        "發票隨貨附上",
        "王大明",
        "李小華",
        "中華民國 92 年 07 月 09 日",
        document ? "AB12345678" : "",
        document ? "58789" : "",
        document ? "進銷項" : "",
        kWords1234567 + "  元整",
    };
    for (int i = 0; i < 20; ++i) {
        QVERIFY2(!rs.field(i).isNull(), qPrintable(rs.fieldNames().at(i)));
        QCOMPARE(rs.text(i), expected.at(i));
    }
    rs.Close();

    // A document of kind 費用.
    if (document) {
        fx.acc().execute(QStringLiteral("update iof set 進銷項 = 0"));
        f->close();
        f = fx.open();
        QCOMPARE(printRow().value("單據類別").toString(), QStringLiteral("費用"));
    }
}

void TestIoPrint::amountAndWords() {
    IoFixture fx;
    fx.addVoucher({.no = "920712001", .amount = 1234567});
    fx.addVoucher({.no = "920712002", .amount = 150000, .expense = false});
    frmIo* f = fx.open();
    auto row = printRow();
    QCOMPARE(row.value("金額").toString(), QStringLiteral("150,000"));
    QCOMPARE(row.value("大寫金額").toString(), QStringLiteral("壹拾伍萬  元整"));
    QCOMPARE(row.value("收支").toString(), QStringLiteral("(收入)"));
    QCOMPARE(row.value("建議方式").toString(), QStringLiteral("現金"));

    f->FSB->setValue(0);
    row = printRow();
    QCOMPARE(row.value("金額").toString(), QStringLiteral("1,234,567"));
    QCOMPARE(row.value("大寫金額").toString(),
             app::AmountInWords(QStringLiteral("1234567")) + QStringLiteral("  元整"));
    QCOMPARE(row.value("大寫金額").toString(), kWords1234567 + QStringLiteral("  元整"));
}

void TestIoPrint::recordFollowsBrowsingAndPicks() {
    IoFixture fx;
    fx.addVoucher({.no = "920712001"});
    fx.addVoucher({.no = "920712002"});
    fx.addVoucher({.no = "920712003"});
    frmIo* f = fx.open();
    QCOMPARE(printRow().value("單號").toString(), QStringLiteral("920712003"));
    f->FSB->setValue(0);
    QCOMPARE(printRow().value("單號").toString(), QStringLiteral("920712001"));
    QCOMPARE(printRows(), 1);
    IoFixture::pickFromGrid(f, QStringLiteral("920712002"));
    QCOMPARE(printRow().value("單號").toString(), QStringLiteral("920712002"));
    QCOMPARE(printRows(), 1);

    // A saved voucher (the last number, so browsing shows it afterwards) is printed next.
    f->close();
    app::gPicked = app::False;
    f = fx.open();
    IoFixture::enterVoucher(f, QStringLiteral("2500"), QStringLiteral("5101"));
    QCOMPARE(f->lbNo->text(), QStringLiteral("920712004"));
    QCOMPARE(printRow().value("單號").toString(), QStringLiteral("920712004"));
    QCOMPARE(printRow().value("金額").toString(), QStringLiteral("2,500"));
    QCOMPARE(printRows(), 1);
}

void TestIoPrint::nullHeadingShowsDefaultAndPrintingStoresIt() {
    IoFixture fx;
    installLayouts();
    app::dbPrint->execute(QStringLiteral("update company set ion = null"));
    fx.addVoucher({.no = "920712001"});
    frmIo* f = fx.open();
    QCOMPARE(f->txtIo->text(), QStringLiteral("收支單"));
    QVERIFY(storedHeading().isNull());
    f->cmdPt->click();
    QCOMPARE(storedHeading().toString(), QStringLiteral("收支單"));
    QCOMPARE(app::dbPrint->scalar(QStringLiteral("select count(*) from company")).toInt(), 1);

    // Whatever txtIo holds when printing becomes the heading, shown when the form opens again.
    f->txtIo->setText(QStringLiteral("宏達營造股份有限公司"));
    f->cmdPt->click();
    QCOMPARE(storedHeading().toString(), QStringLiteral("宏達營造股份有限公司"));
    f->close();
    f = fx.open();
    QCOMPARE(f->txtIo->text(), QStringLiteral("宏達營造股份有限公司"));
}

void TestIoPrint::missingCompanyRowIsCreated() {
    IoFixture fx;
    installLayouts();
    app::dbPrint->execute(QStringLiteral("delete from company"));
    fx.addVoucher({.no = "920712001"});
    frmIo* f = fx.open();
    QCOMPARE(f->txtIo->text(), QStringLiteral("收支單"));
    QCOMPARE(app::dbPrint->scalar(QStringLiteral("select count(*) from company")).toInt(), 1);
    // Another copy empties the table again before the print: the print adds the row back.
    app::dbPrint->execute(QStringLiteral("delete from company"));
    f->txtIo->setText(QStringLiteral("大同營造"));
    f->cmdPt->click();
    QCOMPARE(app::dbPrint->scalar(QStringLiteral("select count(*) from company")).toInt(), 1);
    QCOMPARE(storedHeading().toString(), QStringLiteral("大同營造"));
}

void TestIoPrint::bothLayoutsRenderTheVoucherOnDisplay() {
    if (!havePdfToText())
        QSKIP("pdftotext is not installed");
    IoFixture fx;
    installLayouts();
    addFullVoucher(fx, "920712001", true);
    fx.addVoucher({.no = "920712002", .amount = 500});
    frmIo* f = fx.open();
    f->FSB->setValue(0);  // browse back to the voucher of 1,234,567
    f->txtIo->setText(QStringLiteral("宏達營造股份有限公司"));

    // Left click: ios.rpt; right button: jios.rpt. Files are named after layout and number.
    f->cmdPt->click();
    const QString ios = QDir(pdfDir_.path()).filePath(QStringLiteral("ios-920712001.pdf"));
    QVERIFY2(QFile::exists(ios), qPrintable(fx.prompts().messageTexts().join('|')));
    QCOMPARE(f->crtp.lastOutputPath(), ios);
    QTest::mousePress(f->cmdPt, Qt::RightButton);
    QTest::mouseRelease(f->cmdPt, Qt::RightButton);
    const QString jios = QDir(pdfDir_.path()).filePath(QStringLiteral("jios-920712001.pdf"));
    QVERIFY(QFile::exists(jios));
    QCOMPARE(f->crtp.lastOutputPath(), jios);
    QCOMPARE(QDir(pdfDir_.path()).entryList(QDir::Files).size(), 2);
    QCOMPARE(f->crtp.dataFiles(0), store::databasePath(app::gDataPath, QStringLiteral("pt.mdb")));

    for (const QString& pdf : {ios, jios}) {
        const QString text = pdfText(pdf);
        for (const QString& part :
             {QStringLiteral("宏達營造股份有限公司"), QStringLiteral("920712001"),
              QStringLiteral("1,234,567"), kWords1234567 + QStringLiteral("元整"),
              QStringLiteral("三月份工地鋼筋材料款")})
            QVERIFY2(text.contains(folded(part)), qPrintable(pdf + ": " + part + "\n" + text));
        QVERIFY2(!text.contains(QStringLiteral("920712002")), qPrintable(pdf));
    }
}

void TestIoPrint::printsTheVoucherOnDisplayWhenAnotherCopyRebuiltThePrintRecord() {
    IoFixture fx;
    installLayouts();
    fx.addVoucher({.no = "920712001", .amount = 1234567});
    fx.addVoucher({.no = "920712002", .amount = 500});
    frmIo* f = fx.open();
    f->FSB->setValue(0);
    QCOMPARE(printRow().value("單號").toString(), QStringLiteral("920712001"));

    // Another copy of the program, on its own connection, shows its voucher after ours.
    auto other = openDatabaseFile(fx.folder.path(), store::schema::print());
    other->execute(QStringLiteral("delete from ptios"));
    other->execute(
        QStringLiteral("insert into ptios (單號, 金額, 大寫金額) values "
                       "('920799999', '999', '玖佰玖拾玖  元整')"));
    other->execute(QStringLiteral("update company set ion = '別家公司'"));

    f->cmdPt->click();
    const QString pdf = f->crtp.lastOutputPath();
    QCOMPARE(QFileInfo(pdf).fileName(), QStringLiteral("ios-920712001.pdf"));
    QCOMPARE(printRow().value("單號").toString(), QStringLiteral("920712001"));
    QCOMPARE(printRows(), 1);
    QCOMPARE(storedHeading().toString(), f->txtIo->text());
    if (havePdfToText()) {
        const QString text = pdfText(pdf);
        QVERIFY(text.contains(QStringLiteral("920712001")));
        QVERIFY(text.contains(QStringLiteral("1,234,567")));
        QVERIFY(!text.contains(QStringLiteral("920799999")));
        QVERIFY(!text.contains(folded(QStringLiteral("別家公司"))));
    }
}

void TestIoPrint::missingOrBrokenLayoutIsReported() {
    IoFixture fx;
    fx.addVoucher({.no = "920712001"});
    frmIo* f = fx.open();
    const QVariant heading = storedHeading();
    f->txtIo->setText(QStringLiteral("不該寫入"));

    // No layout beside the program: a message that names the file; nothing printed or stored.
    fx.prompts().expectMessage(QStringLiteral("ios.rpt"));
    f->cmdPt->click();
    QCOMPARE(fx.prompts().pending(), 0);
    QCOMPARE(fx.prompts().shown().last().title, QStringLiteral("Acc"));
    QCOMPARE(fx.prompts().shown().last().icon, app::Icon::Exclamation);
    QCOMPARE(storedHeading(), heading);
    QVERIFY(QDir(pdfDir_.path()).entryList(QDir::Files).isEmpty());

    // A layout that is not text (a binary file).
    const QString jios = QDir(app::ProgramFolder()).filePath(QStringLiteral("jios.rpt"));
    QFile bad(jios);
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray("\x00\x01\xff\xfe\x00garbage", 12));
    bad.close();
    fx.prompts().expectMessage(QStringLiteral("jios.rpt"));
    QTest::mousePress(f->cmdPt, Qt::RightButton);
    QCOMPARE(fx.prompts().pending(), 0);
    QVERIFY(QDir(pdfDir_.path()).entryList(QDir::Files).isEmpty());
    QVERIFY(f->isVisible());
}

void TestIoPrint::onlyTheRightButtonAndOnlyWhileBrowsing() {
    IoFixture fx;
    installLayouts();
    fx.addVoucher({.no = "920712001"});
    frmIo* f = fx.open();
    QTest::mousePress(f->cmdPt, Qt::MiddleButton);
    QTest::mouseRelease(f->cmdPt, Qt::MiddleButton);
    QVERIFY(QDir(pdfDir_.path()).entryList(QDir::Files).isEmpty());

    // While a voucher is entered the button is disabled: neither button prints.
    f->cmdAdd->click();
    QVERIFY(!f->cmdPt->isEnabled());
    QTest::mousePress(f->cmdPt, Qt::RightButton);
    f->cmdPt->click();
    QVERIFY(QDir(pdfDir_.path()).entryList(QDir::Files).isEmpty());
}

QTEST_MAIN(TestIoPrint)
#include "tst_io_print.moc"
