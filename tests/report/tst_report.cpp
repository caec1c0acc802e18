#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QtTest>

#include "Database.h"
#include "Layout.h"
#include "ReportControl.h"
#include "ReportData.h"
#include "Schema.h"

using namespace orvik;
using namespace orvik::report;

namespace {

using Row = QList<std::pair<QString, QString>>;

Row voucher(const QString& number = QStringLiteral("1130315002")) {
    return {{"輸入日期", "中華民國 113 年 03 月 15 日"},
            {"單號", number},
            {"建議方式", "票據"},
            {"用途說明", "三月份工地鋼筋材料款"},
            {"專案號碼", "P11302"},
            {"專案名稱", "新竹科學園區廠房新建工程"},
            {"工程種類", "鋼筋工程"},
            {"科目代號", "5102"},
            {"收支", "(支出)"},
            {"科目名稱", "工程材料費"},
            {"金額", "1,234,567"},
            {"附註一", "分三期付款"},
            {"附註二", "發票隨貨附上"},
            {"申請人", "王小明"},
            {"簽收人", "大同鋼鐵股份有限公司"},
            {"發生日期", "中華民國 113 年 03 月 12 日"},
            {"單據號碼", "AB12345678"},
            {"稅額", "58789"},
            {"單據類別", "進銷項"},
            {"大寫金額", "壹佰貳拾參萬肆仟伍佰陸拾柒  元整"}};
}

// A folder with its own pt.mdb, made as the administrator tool makes it.
struct PrintFolder {
    QTemporaryDir dir;
    store::DatabasePtr db;

    PrintFolder() {
        db = store::Database::create(path("pt.mdb"));
        store::schema::createAll(*db, store::schema::print());
    }
    QString path(const QString& name) const { return dir.filePath(name); }

    static void writeRow(store::Database& on, const Row& row) {
        on.execute(QStringLiteral("DELETE FROM ptios"));
        QStringList names, marks;
        QVariantList values;
        for (const auto& [name, value] : row) {
            names << QLatin1Char('"') + name + QLatin1Char('"');
            marks << QStringLiteral("?");
            values << value;
        }
        on.execute(QStringLiteral("INSERT INTO ptios (%1) VALUES (%2)")
                       .arg(names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
                   values);
    }
    // `heading` null: a row whose ion holds no value; absent: no row at all.
    void write(const Row& row, const std::optional<QVariant>& heading = QVariant("宏達營造")) {
        store::Transaction tx(*db);
        db->execute(QStringLiteral("DELETE FROM company"));
        if (heading)
            db->execute(QStringLiteral("INSERT INTO company (ion) VALUES (?)"), {*heading});
        writeRow(*db, row);
        tx.commit();
    }
};

QString layoutPath(const QString& name) {
    return QStringLiteral(ORVIK_REPORT_SOURCE_DIR "/") + name;
}

// The PDF writer names each glyph by the first code point the font draws with it, so 工 reads
// back as the Kangxi radical ⼯ (NFKC folds those) and 民, 長 as radicals NFKC leaves alone.
QString folded(QString text) {
    text = text.normalized(QString::NormalizationForm_KC);
    text.replace(QChar(0x2EA0), QChar(0x6C11)).replace(QChar(0x2ED1), QChar(0x9577));
    return text.remove(QRegularExpression(QStringLiteral("\\s+")));
}

// Text of a PDF as pdftotext reads it, folded as above and without whitespace, so the
// comparison does not depend on glyph naming or on where lines break.
QString pdfText(const QString& pdf) {
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return QStringLiteral("<pdftotext failed: %1>")
            .arg(QString::fromUtf8(p.readAllStandardError()));
    return folded(QString::fromUtf8(p.readAllStandardOutput()));
}

// "Pages: 1" and "Page size: 595.276 x 841.89 pts (A4)" from pdfinfo.
std::pair<int, QSizeF> pdfPages(const QString& pdf) {
    QProcess p;
    p.start(QStringLiteral("pdfinfo"), {pdf});
    p.waitForFinished(30000);
    const QString info = QString::fromUtf8(p.readAllStandardOutput());
    const auto pages = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
    const auto size =
        QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+)")).match(info);
    return {pages.captured(1).toInt(),
            QSizeF(size.captured(1).toDouble(), size.captured(2).toDouble())};
}

bool havePoppler() {
    return !QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty();
}

template <typename F>
QString reportError(F&& f) {
    try {
        f();
    } catch (const ReportError& e) {
        return e.message().isEmpty() ? QStringLiteral("<empty message>") : e.message();
    }
    return {};
}

// Sets an environment variable for one scope.
struct EnvGuard {
    QByteArray name;
    EnvGuard(const char* n, const QString& value) : name(n) { qputenv(n, value.toUtf8()); }
    ~EnvGuard() { qunsetenv(name.constData()); }
};

}  // namespace

class TestReport : public QObject {
    Q_OBJECT

  private slots:
    void init() { qunsetenv(kPdfFolderVariable); }
    void valuesArePutInEscapedAndOnlyOnce();
    void checkFindsMistypedNamesAndTheShippedLayoutsHaveNone();
    void pageSetupComesFromTheHead();
    void badLayoutFilesGiveClearErrors();
    void layoutsInBig5OrWithByteOrderMarkAreRead();
    void unreadableDataFilesGiveClearErrors();
    void bothLayoutsPrintTheVoucherOnOnePage_data();
    void bothLayoutsPrintTheVoucherOnOnePage();
    void printsTheRowWrittenInItsOwnTransaction();
    void failedFillLeavesTheRowsAsTheyWere();
    void emptyCompanyOrNullHeadingPrintsWithoutHeading();
    void pdfFolderFromTheEnvironmentAndUnwritableTargets();
    void previewShowsTheVoucher();
};

void TestReport::valuesArePutInEscapedAndOnlyOnce() {
    const QString layout = QStringLiteral(
        "<p>{{單號}}|{{ 金額 }}|{{ION}}|{{nosuch}}|{{附註一}}|{{申請人}}</p>"
        "<a title='{{附註二}}'>x</a>");
    const Values values{{"單號", "920712001"},      {"金額", "1,234"},
                        {"ion", "A&B 營造"},        {"附註一", "<b>x</b> & \"q\""},
                        {"附註二", "' onclick='y"}, {"申請人", "{{單號}}"}};
    QCOMPARE(fill(layout, values),
             QStringLiteral("<p>920712001|1,234|A&amp;B 營造||&lt;b&gt;x&lt;/b&gt; &amp; "
                            "&quot;q&quot;|{{單號}}</p><a title='&#39; onclick=&#39;y'>x</a>"));

    // What the reader sees is the value as typed, not markup.
    const auto doc = render(layout, values);
    QVERIFY(doc->toPlainText().contains(QStringLiteral("<b>x</b> & \"q\"")));
    QVERIFY(doc->toPlainText().contains(QStringLiteral("{{單號}}")));
}

void TestReport::checkFindsMistypedNamesAndTheShippedLayoutsHaveNone() {
    QCOMPARE(
        check(QStringLiteral("{{單號}} {{nosuch}} {{NOSUCH}} {{ION}} {{金 額}} {{}} {{大寫金額}}")),
        (QStringList{"nosuch", "金 額", ""}));
    QVERIFY(knownNames().contains(QStringLiteral("大寫金額")));
    QCOMPARE(knownNames().size(), 21);

    for (const char* rpt : {"ios.rpt", "jios.rpt"}) {
        const QString name = QString::fromLatin1(rpt);
        const Layout shipped = Layout::load(layoutPath(name));
        QCOMPARE(check(shipped.text()), QStringList());
        // The build puts the layouts beside the program, where the voucher form looks.
        QFile installed(QCoreApplication::applicationDirPath() + QLatin1Char('/') + name);
        QVERIFY2(installed.open(QIODevice::ReadOnly), qPrintable(installed.fileName()));
        QCOMPARE(QString::fromUtf8(installed.readAll()), shipped.text());
    }
}

void TestReport::pageSetupComesFromTheHead() {
    auto page = [](const QString& head) { return Layout::fromText(head).pageLayout(); };

    const QPageLayout plain = page(QString());
    QCOMPARE(plain.pageSize().id(), QPageSize::A4);
    QCOMPARE(plain.orientation(), QPageLayout::Portrait);
    QCOMPARE(plain.margins(), QMarginsF(15, 15, 15, 15));

    const QPageLayout half = page(QStringLiteral(
        "<meta name='page' content='A5 Landscape'><meta content=\"10 12 14 16\" name=margins>"));
    QCOMPARE(half.pageSize().id(), QPageSize::A5);
    QCOMPARE(half.orientation(), QPageLayout::Landscape);
    QCOMPARE(half.margins(), QMarginsF(16, 10, 12, 14));  // left top right bottom

    // Examples in a comment are not settings; nonsense margins keep the default.
    const QPageLayout commented = page(QStringLiteral(
        "<!-- <meta name=\"page\" content=\"A6 landscape\"> --><meta name=\"margins\" "
        "content=\"lots\">"));
    QCOMPARE(commented.pageSize().id(), QPageSize::A4);
    QCOMPARE(commented.margins(), QMarginsF(15, 15, 15, 15));
}

void TestReport::badLayoutFilesGiveClearErrors() {
    PrintFolder f;
    f.write(voucher());
    const QString pdf = f.path("out.pdf");

    QFile binary(f.path("old.rpt"));
    QVERIFY(binary.open(QIODevice::WriteOnly));
    binary.write(QByteArray("\xd0\xcf\x11\xe0\x00\x00\x01report", 14));
    binary.close();
    QFile huge(f.path("huge.rpt"));
    QVERIFY(huge.open(QIODevice::WriteOnly));
    huge.write(QByteArray(5 * 1024 * 1024, 'x'));
    huge.close();

    const QList<std::pair<QString, QString>> cases{
        {f.path("nosuch.rpt"), "找不到報表檔"},
        {QString(), "未指定報表檔"},
        {f.dir.path(), "是資料夾"},
        {f.path("old.rpt"), "不是文字版面檔"},
        {f.path("huge.rpt"), "超過 4 MB"},
    };
    for (const auto& [rpt, expected] : cases) {
        ReportControl crtp;
        crtp.setDestination(Destination::Pdf, pdf);
        crtp.setDataFiles(0, f.path("pt.mdb"));
        crtp.setReportFileName(rpt);
        const QString message = reportError([&] { crtp.setAction(1); });
        QVERIFY2(message.contains(expected), qPrintable(rpt + ": " + message));
        if (!rpt.isEmpty())
            QVERIFY2(message.contains(QDir::toNativeSeparators(rpt)), qPrintable(message));
        QVERIFY(!QFile::exists(pdf));
    }
}

void TestReport::layoutsInBig5OrWithByteOrderMarkAreRead() {
    QTemporaryDir dir;
    const QString text = QStringLiteral("<p>收支單 {{單號}}</p>");
    auto save = [&](const QString& name, const QByteArray& bytes) {
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    save("bom.rpt", QByteArray("\xef\xbb\xbf") + text.toUtf8());
    QCOMPARE(Layout::load(dir.filePath("bom.rpt")).text(), text);

    QStringEncoder big5("Big5");
    if (!big5.isValid())
        QSKIP("this Qt has no Big5 codec");
    save("big5.rpt", big5(text));
    QCOMPARE(Layout::load(dir.filePath("big5.rpt")).text(), text);
}

void TestReport::unreadableDataFilesGiveClearErrors() {
    PrintFolder f;
    const QString pdf = f.path("out.pdf");

    QFile text(f.path("notes.mdb"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write(QByteArray(4096, 'n'));
    text.close();
    store::Database::create(f.path("bare.mdb"));  // no tables at all

    struct Case {
        QString data;
        int engineNumber;
        QString expected;
    };
    const QList<Case> cases{
        {QString(), 0, "未指定報表的資料檔"},
        {f.path("nosuch.mdb"), store::err::FileNotFound, "nosuch.mdb"},
        {f.path("notes.mdb"), store::err::NotADatabase, "notes.mdb"},
        {f.path("bare.mdb"), store::err::TableNotFound, "bare.mdb"},
        {f.path("pt.mdb"), 0, "ptios 是空的"},  // tables there, no row written yet
    };
    for (const Case& c : cases) {
        ReportControl crtp;
        crtp.setDestination(Destination::Pdf, pdf);
        crtp.setDataFiles(0, c.data);
        crtp.setReportFileName(layoutPath("ios.rpt"));
        int number = -1;
        QString message;
        try {
            crtp.setAction(1);
        } catch (const ReportError& e) {
            number = e.engineNumber();
            message = e.message();
        }
        QVERIFY2(message.contains(c.expected), qPrintable(c.data + ": " + message));
        QCOMPARE(number, c.engineNumber);
        QVERIFY(!QFile::exists(pdf));
    }
}

void TestReport::bothLayoutsPrintTheVoucherOnOnePage_data() {
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QSizeF>("pagePoints");
    QTest::addColumn<QStringList>("alsoShown");
    QTest::newRow("ios.rpt, A4") << "ios.rpt" << QSizeF(595, 842)
                                 << QStringList{
                                        "收支單(支出)", "5102",       "工程材料費",    "P11302",
                                        "鋼筋工程",     "票據",       "AB12345678",    "58789",
                                        "進銷項",       "分三期付款", "發票隨貨附上",  "核准",
                                        "會計",         "出納",       "經手人/申請人", "簽收人"};
    QTest::newRow("jios.rpt, A5 landscape")
        << "jios.rpt" << QSizeF(595, 420)
        << QStringList{"收支單(支出)", "5102工程材料費", "P11302", "核准", "會計", "出納"};
}

void TestReport::bothLayoutsPrintTheVoucherOnOnePage() {
    if (!havePoppler())
        QSKIP("pdftotext/pdfinfo (poppler-utils) not installed; scripts/setup installs them");
    QFETCH(QString, layout);
    QFETCH(QSizeF, pagePoints);
    QFETCH(QStringList, alsoShown);

    PrintFolder f;
    f.write(voucher(), QStringLiteral("宏達營造工程股份有限公司"));
    ReportControl crtp;
    crtp.setDestination(Destination::Pdf, f.path("out.pdf"));
    crtp.setDataFiles(0, f.path("pt.mdb"));
    crtp.setReportFileName(layoutPath(layout));
    crtp.setAction(1);
    QCOMPARE(crtp.lastOutputPath(), f.path("out.pdf"));

    const QString text = pdfText(f.path("out.pdf"));
    const QStringList common{"宏達營造工程股份有限公司",
                             "1130315002",
                             "中華民國113年03月15日",
                             "三月份工地鋼筋材料款",
                             "1,234,567",
                             "壹佰貳拾參萬肆仟伍佰陸拾柒元整",
                             "王小明",
                             "大同鋼鐵股份有限公司",
                             "新竹科學園區廠房新建工程"};
    for (const QString& expected : common + alsoShown)
        QVERIFY2(text.contains(folded(expected)), qPrintable(expected + " not in: " + text));

    const auto [pages, size] = pdfPages(f.path("out.pdf"));
    QCOMPARE(pages, 1);
    QVERIFY2(qAbs(size.width() - pagePoints.width()) < 2 &&
                 qAbs(size.height() - pagePoints.height()) < 2,
             qPrintable(QStringLiteral("%1 x %2").arg(size.width()).arg(size.height())));
}

void TestReport::printsTheRowWrittenInItsOwnTransaction() {
    if (!havePoppler())
        QSKIP("pdftotext (poppler-utils) not installed");
    PrintFolder f;
    f.write(voucher(QStringLiteral("920712001")));
    // Another copy of the program, on its own connection, rebuilds the row for its voucher.
    auto other = store::Database::open(f.path("pt.mdb"));
    PrintFolder::writeRow(*other, voucher(QStringLiteral("920712777")));

    ReportControl crtp;
    crtp.setDestination(Destination::Pdf, f.path("mine.pdf"));
    crtp.setReportFileName(layoutPath("ios.rpt"));
    crtp.runWithin(*f.db, [&] {
        f.db->execute(QStringLiteral("UPDATE company SET ion = ?"), {QStringLiteral("收支單")});
        PrintFolder::writeRow(*f.db, voucher(QStringLiteral("920712002")));
    });

    const QString text = pdfText(f.path("mine.pdf"));
    QVERIFY2(text.contains(QStringLiteral("920712002")), qPrintable(text));
    QVERIFY(!text.contains(QStringLiteral("920712777")));
    QVERIFY(text.startsWith(QStringLiteral("收支單")));
    // Committed: the other copy sees the row, and nothing is left open.
    QCOMPARE(f.db->transactionDepth(), 0);
    QCOMPARE(other->scalar(QStringLiteral("SELECT 單號 FROM ptios")).toString(),
             QStringLiteral("920712002"));
}

void TestReport::failedFillLeavesTheRowsAsTheyWere() {
    PrintFolder f;
    f.write(voucher(QStringLiteral("920712001")));
    ReportControl crtp;
    crtp.setDestination(Destination::Pdf, f.path("out.pdf"));
    crtp.setReportFileName(layoutPath("ios.rpt"));

    // The fill fails half-way: its first write is undone and the error reaches the caller.
    QVERIFY_THROWS_EXCEPTION(store::EngineError, crtp.runWithin(*f.db, [&] {
        f.db->execute(QStringLiteral("DELETE FROM ptios"));
        f.db->execute(QStringLiteral("INSERT INTO nosuch VALUES (1)"));
    }));
    QCOMPARE(f.db->transactionDepth(), 0);
    QCOMPARE(f.db->scalar(QStringLiteral("SELECT 單號 FROM ptios")).toString(),
             QStringLiteral("920712001"));

    // A missing layout is found before the fill writes anything.
    bool filled = false;
    crtp.setReportFileName(f.path("nosuch.rpt"));
    QVERIFY(reportError([&] {
                crtp.runWithin(*f.db, [&] { filled = true; });
            }).contains(QStringLiteral("找不到報表檔")));
    QVERIFY(!filled);
    QVERIFY(!QFile::exists(f.path("out.pdf")));
}

void TestReport::emptyCompanyOrNullHeadingPrintsWithoutHeading() {
    if (!havePoppler())
        QSKIP("pdftotext (poppler-utils) not installed");
    for (const auto& heading : {std::optional<QVariant>(), std::optional<QVariant>(QVariant())}) {
        PrintFolder f;
        f.write(voucher(), heading);
        QCOMPARE(readValues(*f.db).value(QStringLiteral("ion")), QString());

        ReportControl crtp;
        crtp.setDestination(Destination::Pdf, f.path("out.pdf"));
        crtp.setDataFiles(0, f.path("pt.mdb"));
        crtp.setReportFileName(layoutPath("jios.rpt"));
        crtp.setAction(1);
        const QString text = pdfText(f.path("out.pdf"));
        QVERIFY2(text.startsWith(folded("收支單(支出)")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("1130315002")));
    }
}

void TestReport::pdfFolderFromTheEnvironmentAndUnwritableTargets() {
    PrintFolder f;
    f.write(voucher(QStringLiteral("../../escape")));
    const QString folder = f.path("pdf/out");  // not there yet
    EnvGuard env(kPdfFolderVariable, folder);

    ReportControl crtp;
    QCOMPARE(crtp.destination(), Destination::Pdf);
    crtp.setDataFiles(0, f.path("pt.mdb"));
    crtp.setReportFileName(layoutPath("jios.rpt"));
    crtp.setAction(1);
    // Named after layout and voucher, and kept inside the folder whatever the number holds.
    QCOMPARE(crtp.lastOutputPath(), QDir(folder).filePath("jios-escape.pdf"));
    QVERIFY(QFile::exists(crtp.lastOutputPath()));
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"jios-escape.pdf"});

    // A file that cannot be written is an error, not a silent success.
    crtp.setDestination(Destination::Pdf, f.path("nosuch/folder/x.pdf"));
    QVERIFY(reportError([&] { crtp.setAction(1); }).contains(QStringLiteral("無法寫入 PDF 檔")));
    QVERIFY(crtp.lastOutputPath().isEmpty());

    // Other actions do nothing.
    crtp.setDestination(Destination::Pdf, f.path("zero.pdf"));
    crtp.setAction(0);
    QVERIFY(!QFile::exists(f.path("zero.pdf")));
}

void TestReport::previewShowsTheVoucher() {
    PrintFolder f;
    f.write(voucher());
    ReportControl crtp;
    QCOMPARE(crtp.destination(), Destination::Preview);
    crtp.setDataFiles(0, f.path("pt.mdb"));
    crtp.setReportFileName(layoutPath("jios.rpt"));

    int pages = -1;
    QPageLayout::Orientation orientation = QPageLayout::Portrait;
    ReportControl::setPreviewRunner([&](QPrintPreviewDialog& dialog) {
        dialog.show();
        QCoreApplication::processEvents();
        if (auto* preview = dialog.findChild<QPrintPreviewWidget*>()) {
            preview->updatePreview();
            pages = preview->pageCount();
            orientation = preview->orientation() == QPageLayout::Landscape ? QPageLayout::Landscape
                                                                           : QPageLayout::Portrait;
        }
        dialog.reject();
    });
    crtp.setAction(1);
    ReportControl::setPreviewRunner({});

    QCOMPARE(pages, 1);
    QCOMPARE(orientation, QPageLayout::Landscape);
    QVERIFY(crtp.lastOutputPath().isEmpty());
}

QTEST_MAIN(TestReport)
#include "tst_report.moc"
