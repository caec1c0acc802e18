// Master-data lists through CSV files: export, import into another folder, and the refusals
// that must leave the books untouched.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include "Admin.h"
#include "AdminError.h"
#include "Cli.h"
#include "Database.h"
#include "MasterCsv.h"
#include "Recordset.h"
#include "Schema.h"
#include "TableDef.h"

using namespace orvik;
using namespace orvik::admin;
using orvik::store::Database;
namespace schema = orvik::store::schema;

namespace {

void init(const QString& dir, const QString& company = {}) {
    InitOptions o;
    o.dir = dir;
    o.company = company;
    o.reference = QDate(2025, 11, 20);
    initFolder(o);
}

std::shared_ptr<Database> open(const QString& dir, const schema::File& file) {
    return Database::open(QDir(dir).filePath(file.fileName), file.connect());
}

const schema::File& fileOf(const QString& table) {
    for (const auto* f : schema::files()) {
        if (f->table(table))
            return *f;
    }
    return schema::acc();
}

// Every row, column by column, as SQLite's own literals (so 1, '1' and 1.0 differ), in stored
// order; the password column left out.
QStringList rowsOf(const QString& dir, const QString& table) {
    auto db = open(dir, fileOf(table));
    QStringList cols;
    for (const QString& name : db->tableDef(table).fieldNames()) {
        if (name != QStringLiteral("pass"))
            cols << QStringLiteral("quote(\"%1\")").arg(name);
    }
    store::Recordset rs = db->openRecordset(
        QStringLiteral("SELECT %1 FROM \"%2\" ORDER BY rowid").arg(cols.join(", "), table),
        store::RecordsetType::Snapshot);
    QStringList rows;
    for (; !rs.isEOF(); rs.MoveNext()) {
        QStringList cells;
        for (int i = 0; i < rs.fieldCount(); ++i)
            cells << rs.text(i);
        rows << cells.join(QStringLiteral(" | "));
    }
    rs.Close();
    return rows;
}

int count(const QString& dir, const QString& table) {
    return open(dir, fileOf(table))
        ->scalar(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(table))
        .toInt();
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QString refusals(const ImportResult& r) {
    QStringList lines;
    for (const auto& x : r.refusals)
        lines << QStringLiteral("%1: %2").arg(x.line).arg(x.reason);
    return lines.join('\n');
}

struct Run {
    int code = -1;
    QString out;
    QString err;
};

Run cli(const QStringList& args) {
    Run r;
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    r.code = runCommand(args, out, err);
    return r;
}

// Lists with the awkward text an office types: Chinese, commas, quotes, line breaks; dates
// either side of 民國 100, yes/no both ways, fractions and empty cells.
void fillSource(const QString& dir) {
    auto general = open(dir, schema::general());
    general->execute(QStringLiteral("DELETE FROM 員工"));
    const char* staff =
        "INSERT INTO 員工 (員工編號, 中文姓名, 英文姓名, pass, AccS) VALUES "
        "('E07', '林, 小\"美\"', 'mei', 'secret', 6), ('E02', '陳大文\n(工地)', 'Chen', '', 0),"
        "('E11', '王', 'wang', NULL, 4194303)";
    general->execute(QString::fromUtf8(staff));
    general->execute(
        QString::fromUtf8("INSERT INTO 廠商 VALUES ('V9', '大同, 有限公司'), "
                          "('V3', '\"永豐\" 建材'), ('V4', 'ABC')"));
    auto acc = open(dir, schema::acc());
    acc->execute(QString::fromUtf8(
        "INSERT INTO bbank (bank, id, user, ps) VALUES ('台銀 城中', '0012-3', '公司', 50000),"
        "('合庫', '778', '', NULL)"));
    acc->execute(QString::fromUtf8("INSERT INTO prj VALUES ('P12', '新店, 住宅'), ('P03', '橋')"));
    acc->execute(QString::fromUtf8(
        "INSERT INTO w4pj VALUES ('P12', '水電'), ('P12', '泥作'), ('P03', '鋼構')"));
    acc->execute(QString::fromUtf8("INSERT INTO ri VALUES ('R5', '甲方 \"一\"', '0')"));
    acc->execute(QString::fromUtf8(
        "INSERT INTO ri期 VALUES "
        "('R5', 1, 120000, '2010-12-31', 0.35, '2011-01-03', 'AB1', 120000, '2011-01-20', -1, "
        "'', '1000120001', -1),"
        "('R5', 2, 80000, '2011-06-30', 0.125, NULL, '', NULL, NULL, 0, '', '', 0)"));
    acc->execute(QString::fromUtf8("INSERT INTO use VALUES (2, '工資'), (1, '材料,五金')"));
    auto print = open(dir, schema::print());
    print->execute(QStringLiteral("UPDATE company SET ion = ?"),
                   {QStringLiteral("宏大, \"營造\"\n有限公司")});
}

}  // namespace

class TestMasterCsv : public QObject {
    Q_OBJECT

  private slots:
    void exportThenImportGivesEqualRows();
    void importReadsBomQuotingAndDates_data();
    void importReadsBomQuotingAndDates();
    void oneBadRowWritesNothingAndNamesItsLine_data();
    void oneBadRowWritesNothingAndNamesItsLine();
    void headersAndTablesThatAreRefused_data();
    void headersAndTablesThatAreRefused();
    void commandLineReportsRefusalsAndExitsOne();
    void initWritesTheCompanyHeading();
};

void TestMasterCsv::exportThenImportGivesEqualRows() {
    QTemporaryDir tmp;
    const QString from = tmp.filePath("from");
    const QString to = tmp.filePath("to");
    init(from);
    init(to);
    fillSource(from);
    open(to, schema::general())->execute(QStringLiteral("DELETE FROM 員工"));

    // Parents before their rows: the work types name a project, the instalments a receivable.
    const QStringList tables{"員工", "廠商", "bbank", "prj",    "w4pj",
                             "ri",   "ri期", "use",   "company"};
    for (const QString& table : tables) {
        const QString csv = tmp.filePath(table + ".csv");
        const int rows = exportTable(from, table, csv);
        QCOMPARE(rows, count(from, table));
        const ImportResult r = importTable(to, table, csv);
        QVERIFY2(r.ok(), qPrintable(table + "\n" + refusals(r)));
        QCOMPARE(r.rows, rows);
        QCOMPARE(rowsOf(to, table), rowsOf(from, table));
    }
    // Each import is one event in its file's trail, naming the file and the rows' keys; the
    // print file keeps none.
    const auto events = [&](const schema::File& file) {
        QStringList out;
        auto db = open(to, file);
        store::Recordset rs = db->openRecordset(
            QStringLiteral("SELECT kind, tbl, row_key, after_values FROM audit ORDER BY id"),
            store::RecordsetType::Snapshot);
        for (; !rs.isEOF(); rs.MoveNext()) {
            const QJsonObject after = QJsonDocument::fromJson(rs.text(3).toUtf8()).object();
            QStringList keys;
            for (const QJsonValue& k : after.value(QStringLiteral("鍵")).toArray())
                keys << k.toString();
            out << QStringList{rs.text(0), rs.text(1), rs.text(2),
                               QString::number(after.value(QStringLiteral("筆數")).toInt()),
                               keys.join(',')}
                       .join('|');
        }
        return out;
    };
    QCOMPARE(events(schema::general()).size(), 2);
    QVERIFY(
        events(schema::general()).first().startsWith(QString::fromUtf8("import|員工|員工.csv|3|")));
    QStringList expected;
    for (const QString& table : tables.mid(2, 6))
        expected << QStringLiteral("import|%1|%1.csv|%2|").arg(table).arg(count(to, table));
    QStringList found = events(schema::acc());
    QCOMPARE(found.size(), expected.size());
    for (int i = 0; i < found.size(); ++i)
        QVERIFY2(found.at(i).startsWith(expected.at(i)), qPrintable(found.at(i)));
    QVERIFY2(found.at(4).endsWith(QString::fromUtf8("R5/1,R5/2")), qPrintable(found.at(4)));

    // What the spreadsheet sees: a byte-order mark, CR LF lines, ISO dates, 是/否, RFC quoting,
    // and no passwords.
    QFile f(tmp.filePath("ri期.csv"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split("\r\n");
    QCOMPARE(lines.value(0), QString::fromUtf8("id,期別,應付金額,預付日期,佔總價比例,送帳單日,"
                                               "發票號碼,沖帳金額,沖帳日期,現金沖帳,沖帳票據號碼,"
                                               "沖帳單號,處理"));
    QCOMPARE(lines.value(1), QString::fromUtf8("R5,1,120000,2010-12-31,0.35,2011-01-03,AB1,120000,"
                                               "2011-01-20,是,,1000120001,是"));
    QFile staff(tmp.filePath("員工.csv"));
    QVERIFY(staff.open(QIODevice::ReadOnly));
    const QString staffText = QString::fromUtf8(staff.readAll());
    QVERIFY(staffText.contains(QString::fromUtf8("E07,\"林, 小\"\"美\"\"\",mei,6\r\n")));
    QVERIFY(!staffText.contains("secret"));
    QVERIFY(!staffText.contains("pass"));
    QCOMPARE(open(to, schema::general())
                 ->scalar(QStringLiteral("SELECT count(*) FROM 員工 WHERE pass IS NULL"))
                 .toInt(),
             3);

    // A receivable brought in without Let gets the "0" every receivable carries.
    QFile ri(tmp.filePath("ri-new.csv"));
    QVERIFY(ri.open(QIODevice::WriteOnly));
    ri.write(QString::fromUtf8("id,收名稱\r\nR77,湖口倉庫\r\n").toUtf8());
    ri.close();
    QVERIFY(importTable(to, "ri", ri.fileName()).ok());
    QCOMPARE(open(to, schema::acc())
                 ->scalar(QStringLiteral("SELECT Let FROM ri WHERE id = 'R77'"))
                 .toString(),
             QStringLiteral("0"));
}

void TestMasterCsv::importReadsBomQuotingAndDates_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("expected");  // rowsOf(ri期) after the import

    const QString first = QString::fromUtf8(
        "'R1' | 1 | 5000 | '2024-03-05' | 0.5 | '2003-07-12' | 'A,\"B\"\nC' | NULL | NULL | -1 | "
        "NULL "
        "| NULL | 0");
    QTest::newRow("no mark, CR LF, ROC dates")
        << QByteArray(
               "id,期別,應付金額,預付日期,佔總價比例,送帳單日,發票號碼,現金沖帳,處理\r\n"
               "R1,1,5000,113/03/05,0.5,92/07/12,\"A,\"\"B\"\"\nC\",是,否\r\n")
        << QStringList{first};
    QTest::newRow("mark, LF, ISO and spreadsheet dates, columns in another order")
        << QByteArray(
               "\xEF\xBB\xBF處理, 期別 ,id,現金沖帳,發票號碼,預付日期,佔總價比例,應付金額,"
               "送帳單日\n"
               "FALSE,1,R1,TRUE,\"A,\"\"B\"\"\nC\",2024-3-5,0.5,\"5,000\",2003/7/12\n"
               ",,,,,,,,\n")
        << QStringList{first};
    QTest::newRow("header only") << QByteArray("\xEF\xBB\xBFid,期別\r\n") << QStringList{};
}

void TestMasterCsv::importReadsBomQuotingAndDates() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, expected);
    QTemporaryDir tmp;
    init(tmp.path());
    open(tmp.path(), schema::acc())
        ->execute(QStringLiteral("INSERT INTO ri VALUES ('R1', '乙', '0')"));
    const QString csv = tmp.filePath("in.csv");
    writeFile(csv, bytes);
    const ImportResult r = importTable(tmp.path(), QString::fromUtf8("ri期"), csv);
    QVERIFY2(r.ok(), qPrintable(refusals(r)));
    QCOMPARE(r.rows, expected.size());
    QCOMPARE(rowsOf(tmp.path(), QString::fromUtf8("ri期")), expected);
}

void TestMasterCsv::oneBadRowWritesNothingAndNamesItsLine_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("reason");  // a part of the refusal

    // Line 2's quoted break makes the next record begin on line 4, not 3.
    const QByteArray head =
        "id,期別,應付金額,預付日期,發票號碼\r\nR1,1,100,2024-01-31,\"X\r\nY\"\r\n";
    const QByteArray tail = "R1,9,900,2024-09-30,Z\r\n";
    QTest::newRow("text in a number column")
        << "ri期" << head + "R1,二,200,2024-02-29,Z\r\n" + tail << 4 << "「二」不是整數";
    QTest::newRow("not a date") << "ri期" << head + "R1,2,200,2023-02-29,Z\r\n" + tail << 4
                                << "「2023-02-29」不是日期";
    QTest::newRow("ROC year of one digit")
        << "ri期" << head + "R1,2,200,9/02/01,Z\r\n" + tail << 4 << "不是日期";
    QTest::newRow("key twice in the file")
        << "ri期" << head + "r1,1,200,2024-02-29,Z\r\n" + tail << 4 << "與第 2 行重複";
    QTest::newRow("key already stored")
        << "ri期" << head + "R1,7,200,2024-02-29,Z\r\n" + tail << 4 << "已在 ri期 中";
    QTest::newRow("no such receivable")
        << "ri期" << head + "R2,2,200,2024-02-29,Z\r\n" + tail << 4 << "ri 沒有 id 為 R2";
    QTest::newRow("a field too many")
        << "ri期" << head + "R1,2,200,2024-02-29,Z,W\r\n" + tail << 4 << "有 6 欄，標題列有 5 欄";
    QTest::newRow("key left empty")
        << "ri期" << head + " ,2,200,2024-02-29,Z\r\n" + tail << 4 << "欄位 id 不可空白";
    QTest::newRow("quote left open")
        << "ri期" << head + "R1,2,200,2024-02-29,\"Z\r\n" + tail << 4 << "引號沒有結束";
    QTest::newRow("login twice, other case")
        << "員工" << QByteArray("員工編號,中文姓名,英文姓名,AccS\nE1,甲,Amy,1\nE2,乙,AMY,1\n") << 3
        << "英文姓名 AMY 與第 2 行重複";
    QTest::newRow("rights out of range")
        << "員工" << QByteArray("員工編號,中文姓名,英文姓名,AccS\nE1,甲,amy,1\nE2,乙,bo,4194304\n")
        << 3 << "權限值";
    QTest::newRow("word already in the list")
        << "use" << QByteArray("id,use\n1,運費\n2,雜支\n") << 3 << "use 雜支 已在 use 中";
    QTest::newRow("Big5 text") << "廠商" << QByteArray("廠商編號,廠商名稱\nV1,\xA4\xA4\xA5\xC1\n")
                               << 2 << "不是 UTF-8";
}

void TestMasterCsv::oneBadRowWritesNothingAndNamesItsLine() {
    QFETCH(QString, table);
    QFETCH(QByteArray, bytes);
    QFETCH(int, line);
    QFETCH(QString, reason);
    QTemporaryDir tmp;
    init(tmp.path());
    auto acc = open(tmp.path(), schema::acc());
    acc->execute(QString::fromUtf8("INSERT INTO ri VALUES ('R1', '乙', '0')"));
    acc->execute(QString::fromUtf8("INSERT INTO ri期 (id, 期別) VALUES ('R1', 7)"));
    acc->execute(QString::fromUtf8("INSERT INTO use VALUES (1, '雜支')"));
    const QStringList before = rowsOf(tmp.path(), table);
    const QString csv = tmp.filePath("in.csv");
    writeFile(csv, bytes);

    const ImportResult r = importTable(tmp.path(), table, csv);
    QVERIFY(!r.ok());
    QCOMPARE(r.rows, 0);
    QVERIFY2(r.refusals.size() == 1, qPrintable(refusals(r)));
    QCOMPARE(r.refusals.first().line, line);
    QVERIFY2(r.refusals.first().reason.contains(reason), qPrintable(refusals(r)));
    QCOMPARE(rowsOf(tmp.path(), table), before);
    QCOMPARE(acc->scalar(QStringLiteral("SELECT count(*) FROM audit")).toInt(), 0);
}

void TestMasterCsv::headersAndTablesThatAreRefused_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QString>("reason");

    QTest::newRow("unknown column")
        << "廠商" << QByteArray("廠商編號,廠商名稱,電話") << "不認得的欄位 電話";
    QTest::newRow("key column missing")
        << "ri期" << QByteArray("id,應付金額") << "缺少必填的欄位 期別";
    QTest::newRow("passwords") << "員工" << QByteArray("員工編號,中文姓名,英文姓名,pass")
                               << "欄位 pass 不能從檔案匯入";
    QTest::newRow("column twice") << "prj" << QByteArray("id,prj,ID") << "欄位 id 出現兩次";
    QTest::newRow("empty file") << "prj" << QByteArray() << "檔案是空的";
}

void TestMasterCsv::headersAndTablesThatAreRefused() {
    QFETCH(QString, table);
    QFETCH(QByteArray, header);
    QFETCH(QString, reason);
    QTemporaryDir tmp;
    init(tmp.path());
    const QString csv = tmp.filePath("in.csv");
    writeFile(csv, header.isEmpty() ? header : header + "\r\nA,B,C,D\r\n");
    const int before = count(tmp.path(), table);
    const ImportResult r = importTable(tmp.path(), table, csv);
    QVERIFY2(!r.refusals.isEmpty() && r.refusals.first().reason.contains(reason),
             qPrintable(refusals(r)));
    QCOMPARE(count(tmp.path(), table), before);

    // Ledgers, the login table and unknown names are not lists to exchange, either way.
    for (const char* other : {"iof", "cash", "bill", "bank", "super", "frobs"}) {
        QVERIFY_THROWS_EXCEPTION(UsageError, exportTable(tmp.path(), other, csv));
        QVERIFY_THROWS_EXCEPTION(UsageError, importTable(tmp.path(), other, csv));
    }
}

void TestMasterCsv::commandLineReportsRefusalsAndExitsOne() {
    QTemporaryDir tmp;
    init(tmp.path());
    const QString csv = tmp.filePath("vendors.csv");
    writeFile(csv, "\xEF\xBB\xBF廠商編號,廠商名稱\r\nV1,甲\r\nV2,\r\nV1,丙\r\nV4,丁\r\n");
    Run r = cli({"import", tmp.path(), "廠商", csv});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains(csv + QString::fromUtf8(" 第 3 行：欄位 廠商名稱 不可空白")),
             qPrintable(r.err));
    QVERIFY2(r.err.contains(csv + QString::fromUtf8(" 第 4 行：廠商編號 V1 與第 2 行重複")),
             qPrintable(r.err));
    QVERIFY2(r.err.trimmed().endsWith(QString::fromUtf8("2 處不合，廠商 沒有寫入任何資料")),
             qPrintable(r.err));
    QCOMPARE(count(tmp.path(), "廠商"), 0);

    writeFile(csv, "廠商編號,廠商名稱\nV1,甲\nV2,乙\n");
    r = cli({"import", tmp.path(), "廠商", csv});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    QCOMPARE(count(tmp.path(), "廠商"), 2);
    r = cli({"export", tmp.path(), "廠商", tmp.filePath("out.csv")});
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.contains(QString::fromUtf8("2 列")));

    QCOMPARE(cli({"import", tmp.path(), "iof", csv}).code, 2);
    QCOMPARE(cli({"export", tmp.path(), "廠商"}).code, 2);
    QVERIFY(cli({"help"}).out.contains("export DIR TABLE FILE.csv"));
}

void TestMasterCsv::initWritesTheCompanyHeading() {
    QTemporaryDir tmp;
    const Run r = cli({"init", tmp.path(), "--company", "北辰土木包工業"});
    QVERIFY2(r.code == 0, qPrintable(r.err));
    // One row: the name is the heading printed on every voucher.
    QCOMPARE(rowsOf(tmp.path(), "company"), QStringList{QString::fromUtf8("'北辰土木包工業'")});
    QVERIFY(checkFolder(tmp.path()).ok());
}

QTEST_GUILESS_MAIN(TestMasterCsv)
#include "tst_master_csv.moc"
