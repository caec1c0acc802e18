#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTextStream>

#include "Cli.h"
#include "Database.h"
#include "MdbSource.h"

// After the C++ headers: it opens an extern "C" block around glib, which needs <type_traits>.
#include <mdbtools.h>

using namespace orvik::legacy;

namespace {

const QString kSamples = QStringLiteral(ORVIK_MDB_SAMPLES);

QString sample(const char* name) {
    return QDir(kSamples).filePath(QString::fromLatin1(name));
}

// Reads a whole table into memory.
QVector<QVector<SourceValue>> readAll(SourceFile& file, const QString& table) {
    QVector<QVector<SourceValue>> rows;
    auto t = file.openTable(table);
    if (!t)
        return rows;
    QVector<SourceValue> row;
    while (t->next(row))
        rows << row;
    return rows;
}

int column(SourceFile& file, const QString& table, const QString& name) {
    const auto cols = file.openTable(table)->columns();
    for (int i = 0; i < cols.size(); ++i) {
        if (cols.at(i).name == name)
            return i;
    }
    return -1;
}

// "12.7500" as printed by libmdb's own money conversion, in ten-thousandths.
qint64 parseMoneyText(const QByteArray& text) {
    const int dot = int(text.indexOf('.'));
    const QByteArray whole = dot < 0 ? text : text.left(dot);
    QByteArray fraction = dot < 0 ? QByteArray() : text.mid(dot + 1);
    fraction = fraction.leftJustified(4, '0');
    const bool negative = whole.startsWith('-');
    const qint64 v =
        whole.mid(negative ? 1 : 0).toLongLong() * 10000 + fraction.left(4).toLongLong();
    return negative ? -v : v;
}

}  // namespace

class TestLegacyReader : public QObject {
    Q_OBJECT

  private slots:
    void initTestCase();
    void recognisesFilesByTheirHeader();
    void jet3TablesColumnsAndCounts();
    void jet3MoneyIsExact();
    void jet3TextNullsAndCodePage();
    void jet4DatesOutsideTheUsualRange();
    void importRefusesFilesThatAreNotTheOldBooks();
    void aDamagedFileEndsTheImportNamingIt_data();
    void aDamagedFileEndsTheImportNamingIt();
};

void TestLegacyReader::initTestCase() {
    if (!QFile::exists(sample("nwind.mdb")) || !QFile::exists(sample("DateTestDatabase.mdb")))
        QSKIP(qPrintable(QStringLiteral("the legacy sample files are not in %1").arg(kSamples)));
}

void TestLegacyReader::recognisesFilesByTheirHeader() {
    QCOMPARE(fileKind(sample("nwind.mdb")), FileKind::Jet3);
    QCOMPARE(fileKind(sample("DateTestDatabase.mdb")), FileKind::Jet4);
    QTemporaryDir dir;
    QCOMPARE(fileKind(dir.filePath(QStringLiteral("none.mdb"))), FileKind::Missing);
    orvik::store::Database::create(dir.filePath(QStringLiteral("new.mdb")));
    QCOMPARE(fileKind(dir.filePath(QStringLiteral("new.mdb"))), FileKind::Sqlite);
    QFile text(dir.filePath(QStringLiteral("text.mdb")));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("Standard Jet DB, but not at the start of the file");
    text.close();
    QCOMPARE(fileKind(text.fileName()), FileKind::Other);
    MdbSource source(dir.path());
    QVERIFY_THROWS_EXCEPTION(LegacyError, source.openFile(QStringLiteral("new.mdb")));
    QVERIFY_THROWS_EXCEPTION(LegacyError, source.openFile(QStringLiteral("text.mdb")));
    QVERIFY(!source.openFile(QStringLiteral("none.mdb")));
}

void TestLegacyReader::jet3TablesColumnsAndCounts() {
    MdbSource source(kSamples, QStringLiteral("CP1252"));
    auto file = source.openFile(QStringLiteral("NWIND.MDB"));  // letter case aside
    QVERIFY(file);
    QCOMPARE(file->format(), QStringLiteral("Jet 3"));
    const QStringList tables{
        QStringLiteral("Order Details"), QStringLiteral("Orders"),     QStringLiteral("Products"),
        QStringLiteral("Shippers"),      QStringLiteral("Categories"), QStringLiteral("Customers"),
        QStringLiteral("Employees"),     QStringLiteral("Suppliers"),  QStringLiteral("Umsätze")};
    QCOMPARE(file->tableNames(), tables);
    const QList<int> counts{2155, 830, 77, 3, 8, 91, 9, 29, 830};
    for (int i = 0; i < tables.size(); ++i)
        QCOMPARE(readAll(*file, tables.at(i)).size(), counts.at(i));

    const auto cols = file->openTable(QStringLiteral("orders"))->columns();
    QCOMPARE(cols.size(), 14);
    const QList<std::pair<QString, SourceType>> expected{
        {QStringLiteral("OrderID"), SourceType::Long},
        {QStringLiteral("CustomerID"), SourceType::Text},
        {QStringLiteral("EmployeeID"), SourceType::Long},
        {QStringLiteral("OrderDate"), SourceType::DateTime},
        {QStringLiteral("RequiredDate"), SourceType::DateTime},
        {QStringLiteral("ShippedDate"), SourceType::DateTime},
        {QStringLiteral("ShipVia"), SourceType::Long},
        {QStringLiteral("Freight"), SourceType::Money},
        {QStringLiteral("ShipName"), SourceType::Text}};
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(cols.at(i).name, expected.at(i).first);
        QCOMPARE(cols.at(i).type, expected.at(i).second);
    }
    QCOMPARE(cols.at(1).size, 5);
    const auto products = file->openTable(QStringLiteral("Products"))->columns();
    QCOMPARE(products.at(9).type, SourceType::Boolean);
    QCOMPARE(products.at(6).type, SourceType::Integer);
    const auto categories = file->openTable(QStringLiteral("Categories"))->columns();
    QCOMPARE(categories.at(2).type, SourceType::Memo);
    QCOMPARE(categories.at(3).type, SourceType::Ole);
    QVERIFY(!file->openTable(QStringLiteral("MSysObjects")));  // system tables stay hidden
}

void TestLegacyReader::jet3MoneyIsExact() {
    MdbSource source(kSamples, QStringLiteral("CP1252"));
    auto file = source.openFile(QStringLiteral("nwind.mdb"));
    const auto orders = readAll(*file, QStringLiteral("Orders"));
    const int freight = column(*file, QStringLiteral("Orders"), QStringLiteral("Freight"));
    QCOMPARE(orders.first().at(0).integer, 10330);
    QCOMPARE(orders.first().at(freight).kind, SourceValue::Kind::Money);
    QCOMPARE(orders.first().at(freight).integer, 127500);  // 12.75
    qint64 ours = 0;
    for (const auto& row : orders)
        ours += row.at(freight).integer;

    // The same column through libmdb's own text conversion, summed exactly.
    qputenv("MDB_JET3_CHARSET", "CP1252");
    MdbHandle* mdb = mdb_open(QFile::encodeName(sample("nwind.mdb")).constData(), MDB_NOFLAGS);
    QVERIFY(mdb);
    mdb_read_catalog(mdb, MDB_TABLE);
    char name[] = "Orders";
    MdbTableDef* table = mdb_read_table_by_name(mdb, name, MDB_TABLE);
    QVERIFY(table);
    mdb_read_columns(table);
    mdb_rewind_table(table);
    QByteArray buffer(MDB_BIND_SIZE, '\0');
    mdb_bind_column(table, freight + 1, buffer.data(), nullptr);
    qint64 theirs = 0;
    int rows = 0;
    while (mdb_fetch_row(table)) {
        theirs += parseMoneyText(QByteArray(buffer.constData()));
        ++rows;
    }
    mdb_free_tabledef(table);
    mdb_close(mdb);
    QCOMPARE(rows, orders.size());
    QCOMPARE(ours, theirs);
    QVERIFY(ours % 100 == 0);  // cents only in this file; a detour through float would show

    const auto products = readAll(*file, QStringLiteral("Products"));
    QCOMPARE(products.at(4).at(1).text, QStringLiteral("Chef Anton's Gumbo Mix"));
    QCOMPARE(products.at(4).at(5).integer, 213500);  // 21.35
    QCOMPARE(products.at(4).at(9).integer, -1);      // discontinued: yes
    QCOMPARE(products.at(0).at(9).integer, 0);
}

void TestLegacyReader::jet3TextNullsAndCodePage() {
    MdbSource source(kSamples, QStringLiteral("CP1252"));
    auto file = source.openFile(QStringLiteral("nwind.mdb"));
    QVERIFY(file->tableNames().contains(QStringLiteral("Umsätze")));
    const auto orders = readAll(*file, QStringLiteral("Orders"));
    const int region = column(*file, QStringLiteral("Orders"), QStringLiteral("ShipRegion"));
    QCOMPARE(orders.at(1).at(0).integer, 10331);
    QVERIFY(orders.at(1).at(region).isNull());
    QCOMPARE(orders.at(2).at(8).text, QStringLiteral("Mère Paillarde"));
    QCOMPARE(orders.at(2).at(region).text, QStringLiteral("Québec"));
    QCOMPARE(orders.at(2).at(3).kind, SourceValue::Kind::Date);
    QCOMPARE(dateFromDays(orders.at(2).at(3).real), QDate(1994, 11, 17));

    // Without a code page of its own, Jet 3 text is read as Traditional Chinese (CP950): the
    // Western sample's accented letters then come out differently.
    MdbSource chinese(kSamples);
    QCOMPARE(chinese.jet3Charset(),
             qEnvironmentVariable("MDB_JET3_CHARSET", QStringLiteral("CP950")));
    MdbSource big5(kSamples, QStringLiteral("CP950"));
    auto asBig5 = big5.openFile(QStringLiteral("nwind.mdb"));
    QVERIFY(!asBig5->tableNames().contains(QStringLiteral("Umsätze")));
    QCOMPARE(readAll(*asBig5, QStringLiteral("Orders")).at(1).at(8).text,
             QStringLiteral("Bon app'"));
    // Bytes that are no Big5 at all are flagged, with the bytes as stored; read with the right
    // code page, nothing is.
    auto lossy = [](SourceFile& f) {
        int n = 0;
        for (const auto& row : readAll(f, QStringLiteral("Customers"))) {
            for (const auto& v : row)
                n += v.lossy && !v.bytes.isEmpty();
        }
        return n;
    };
    QVERIFY(lossy(*asBig5) > 0);
    QCOMPARE(lossy(*file), 0);
}

void TestLegacyReader::jet4DatesOutsideTheUsualRange() {
    MdbSource source(kSamples);
    auto file = source.openFile(QStringLiteral("DateTestDatabase.mdb"));
    QCOMPARE(file->format(), QStringLiteral("Jet 4"));
    QCOMPARE(file->tableNames(), QStringList{QStringLiteral("DateTest")});
    const auto cols = file->openTable(QStringLiteral("DateTest"))->columns();
    const QList<SourceType> types{SourceType::Long,     SourceType::DateTime, SourceType::DateTime,
                                  SourceType::DateTime, SourceType::Memo,     SourceType::Text};
    QCOMPARE(cols.size(), types.size());
    for (int i = 0; i < types.size(); ++i)
        QCOMPARE(cols.at(i).type, types.at(i));
    QCOMPARE(cols.at(1).name, QStringLiteral("DateTimeCol"));

    const auto rows = readAll(*file, QStringLiteral("DateTest"));
    QCOMPARE(rows.size(), 6);
    auto dateAt = [&](int row, int col) { return dateFromDays(rows.at(row).at(col).real); };
    // The library's text conversion gives 1900-01-00 for all of these.
    QCOMPARE(dateAt(1, 1), QDate(9999, 1, 1));
    QCOMPARE(dateAt(2, 1), QDate(1898, 1, 1));
    QCOMPARE(dateAt(2, 2), QDate(1899, 1, 1));
    QCOMPARE(dateAt(2, 3), QDate(1900, 1, 1));
    QCOMPARE(dateAt(3, 1), QDate(632, 1, 1));
    QCOMPARE(dateAt(3, 3), QDate(634, 1, 1));
    QCOMPARE(dateAt(0, 1), QDate(2021, 12, 2));
    // UTF-16 text, compressed in the file, and a memo that keeps its line break.
    QCOMPARE(rows.at(0).at(5).text, QStringLiteral("Hello"));
    QCOMPARE(rows.at(2).at(4).text, QStringLiteral("Pre-1900 years"));
    QVERIFY(rows.at(5).at(4).text.startsWith(QStringLiteral("New line")));
    QVERIFY(rows.at(5).at(4).text.contains(QLatin1Char('\n')));
}

void TestLegacyReader::importRefusesFilesThatAreNotTheOldBooks() {
    QTemporaryDir dir;
    const QString old = dir.filePath(QStringLiteral("old"));
    QVERIFY(QDir().mkpath(old));
    QVERIFY(QFile::copy(sample("nwind.mdb"), QDir(old).filePath(QStringLiteral("acc.mdb"))));
    QVERIFY(QFile::copy(sample("DateTestDatabase.mdb"),
                        QDir(old).filePath(QStringLiteral("voro3.mdb"))));
    const QString dest = dir.filePath(QStringLiteral("new"));
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    const int rc = orvik::admin::runCommand(
        {QStringLiteral("import-mdb"), old, dest, QStringLiteral("--quiet")}, out, err);
    QCOMPARE(rc, 1);
    QVERIFY2(errText.contains(QStringLiteral("acc.mdb 裡沒有資料表 iof")), qPrintable(errText));
    QVERIFY(!QFileInfo::exists(dest));
}

void TestLegacyReader::aDamagedFileEndsTheImportNamingIt_data() {
    QTest::addColumn<qsizetype>("length");
    QTest::addColumn<QString>("expected");
    // This cut once made the import hang, writing warnings without end.
    QTest::newRow("cut as reported")
        << qsizetype(1529252)
        << QStringLiteral(
               "檔案大小 1529252 位元組不是整數頁（Jet 3 每頁 2048 位元組），檔案不完整");
    // Whole pages, but the last table's rows lay further on.
    QTest::newRow("cut between pages")
        << qsizetype(778 * 2048)
        << QStringLiteral("的資料頁對照表損壞（指到第 778 頁，檔案只到第 777 頁），檔案可能不完整");
}

void TestLegacyReader::aDamagedFileEndsTheImportNamingIt() {
    QFETCH(qsizetype, length);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QString old = dir.filePath(QStringLiteral("old"));
    QVERIFY(QDir().mkpath(old));
    QFile whole(sample("nwind.mdb"));
    QVERIFY(whole.open(QIODevice::ReadOnly));
    QFile cut(QDir(old).filePath(QStringLiteral("acc.mdb")));
    QVERIFY(cut.open(QIODevice::WriteOnly));
    cut.write(whole.read(length));
    cut.close();
    QVERIFY(QFile::copy(sample("DateTestDatabase.mdb"),
                        QDir(old).filePath(QStringLiteral("voro3.mdb"))));
    const QString dest = dir.filePath(QStringLiteral("new"));
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    const int rc = orvik::admin::runCommand(
        {QStringLiteral("import-mdb"), old, dest, QStringLiteral("--quiet")}, out, err);
    QCOMPARE(rc, 1);
    QVERIFY2(
        errText.startsWith(QStringLiteral("orvik-admin: import-mdb: %1: ").arg(cut.fileName())),
        qPrintable(errText));
    QVERIFY2(errText.contains(expected), qPrintable(errText));
    QCOMPARE(errText.count(QLatin1Char('\n')), 1);
    QVERIFY(outText.isEmpty());
    QVERIFY(!QFileInfo::exists(dest));
}

QTEST_GUILESS_MAIN(TestLegacyReader)
#include "tst_legacy_reader.moc"
