#include <sys/stat.h>

#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <optional>

#include "Database.h"
#include "Recordset.h"
#include "Schema.h"
#include "ServerSql.h"
#include "TableDef.h"
#include "TestLocation.h"

using namespace orvik::store;
using orvik::testing::onServer;

namespace {

// Makes the three files in a fresh place (a folder, or a database of its own on the test
// server) the way the administrator tool does.
struct Folder {
    orvik::testing::TestLocation where;
    QString path(const QString& file) const { return where.path(file); }
    DatabasePtr make(const schema::File& f) {
        auto db = Database::create(path(f.fileName), f.password);
        schema::createAll(*db, f);
        return db;
    }
};

unsigned permissions(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

const schema::Index& numberOrder() {
    for (const auto& i : schema::acc().table("iof")->indexes) {
        if (i.name == QLatin1String("iof_number_order"))
            return i;
    }
    qFatal("iof_number_order is not defined");
}

template <typename F>
int errorNumber(F&& f) {
    try {
        f();
    } catch (const EngineError& e) {
        return e.number();
    }
    return 0;
}

}  // namespace

class TestStore : public QObject {
    Q_OBJECT

  private slots:
    void serverStatementsReadAsSqliteReadsThem_data();
    void serverStatementsReadAsSqliteReadsThem();
    void locationsNameAFolderOrAServer_data();
    void locationsNameAFolderOrAServer();
    void everyTableHasItsColumnsInStoredOrder();
    void tablesWithoutLetOrAccsAreReportedByCompare();
    void cursorsOnEmptyAndFullResults();
    void dynasetWritesBackThroughTheRowOnDisplay();
    void snapshotsRefuseChanges();
    void textComparisonIgnoresCaseAndTakesSpecialCharactersLiterally();
    void openingErrorsCarryTheEngineNumbers();
    void tableDefinitionsLookUpAndAddColumns();
    void failedTransactionLeavesNothingBehind();
    void uniqueVoucherNumber();
    void twoProcessesInsertingAtOnceLoseNothing();
    void numberOrderRunsAcrossEraYear100();
    void cursorTakesInRowsAddedElsewhere();
    void numberOrderIndexIsKnownHoweverWritten_data();
    void numberOrderIndexIsKnownHoweverWritten();
    void newFilesAndFoldersAreForTheOfficeGroup();
    void anOpenConnectionKeepsTheFileInUse();
    void aReadTransactionSeesOneStateOfTheBooks();
    void aSecondWriterWaitsItsTurnThenReportsBusy();
};

void TestStore::serverStatementsReadAsSqliteReadsThem_data() {
    QTest::addColumn<QString>("sqlite");
    QTest::addColumn<QString>("server");
    QTest::newRow("parameters") << "select a from t where b = ? and c = ?"
                                << "select a from t where b = $1 and c = $2";
    QTest::newRow("numbered parameters") << "select f(?1, x), ?1 from t"
                                         << "select f($1, x), $1 from t";
    QTest::newRow("quoted names fold as bare ones")
        << "select \"AccS\", [Bid], `Let` from \"員工\""
        << "select \"accs\", \"bid\", \"let\" from \"員工\"";
    QTest::newRow("the column user") << "select bank, id, user from obank"
                                     << "select bank, id, \"user\" from obank";
    QTest::newRow("strings stay") << "select 'it''s ?' from t where x = 'Amy'"
                                  << "select 'it''s ?' from t where x = 'Amy'";
    QTest::newRow("like by ASCII letters, escape kept")
        << "select 1 from iof where 單號 like ? escape '\\'"
        << "select 1 from iof where lower(單號::text) LIKE lower( $1 COLLATE \"C\") escape '\\'";
    QTest::newRow("like without escape has none")
        << "select 1 from iof where 金額 like '12%'"
        << "select 1 from iof where lower(金額::text) LIKE lower( '12%' COLLATE \"C\") ESCAPE ''";
    QTest::newRow("where 0") << "select * from iof where 0"
                             << "select * from iof where false";
    QTest::newRow("where 0 in a longer condition stays") << "select * from t where 0 = x"
                                                         << "select * from t where 0 = x";
    QTest::newRow("64-bit casts") << "select cast(x as integer) from t"
                                  << "select cast(x as bigint) from t";
    QTest::newRow("group_concat")
        << "select group_concat(a), group_concat(b, ' ') from t"
        << "select string_agg((a)::text, ','), string_agg((b)::text, ' ') from t";
    QTest::newRow("subqueries get a name")
        << "select count(*) from (select a from t) where 1 = 1"
        << "select count(*) from (select a from t) AS orvik_q1 where 1 = 1";
    QTest::newRow("the search's mask takes text")
        << "select orvik_contains_mask(?1, 金額, f(a, b)) from iof"
        << "select orvik_contains_mask(($1)::text, ( 金額)::text, ( f(a, b))::text) from iof";
    QTest::newRow("subscripts stay") << "select k[i - 1] from t"
                                     << "select k[i - 1] from t";
    QTest::newRow("pragma synchronous") << "PRAGMA synchronous = OFF"
                                        << "SET synchronous_commit = off";
    QTest::newRow("a collation keeps its case") << "select x collate \"C\" from t"
                                                << "select x collate \"C\" from t";
    QTest::newRow("other pragmas do nothing") << "PRAGMA cache_size=-2000"
                                              << "SELECT 1 WHERE false";
}

void TestStore::serverStatementsReadAsSqliteReadsThem() {
    QFETCH(QString, sqlite);
    QFETCH(QString, server);
    QCOMPARE(QString::fromUtf8(detail::toServerSql(sqlite).text), server);
}

void TestStore::locationsNameAFolderOrAServer_data() {
    QTest::addColumn<QString>("location");
    QTest::addColumn<bool>("server");
    QTest::addColumn<QString>("acc");
    QTest::addColumn<QString>("shown");
    QTest::newRow("folder") << "/srv/帳務" << false << "/srv/帳務/acc.mdb"
                            << "/srv/帳務";
    QTest::newRow("root folder") << "/" << false << "/acc.mdb"
                                 << "/";
    QTest::newRow("uri") << "postgresql://db.office:5433/books?sslmode=require" << true
                         << "postgresql://db.office:5433/books?sslmode=require#acc.mdb"
                         << "postgresql://db.office:5433/books?sslmode=require";
    QTest::newRow("short scheme, blanks")
        << "  postgres://db/books " << true << "postgres://db/books#acc.mdb"
        << "postgres://db/books";
    QTest::newRow("service") << "service=orvik" << true << "service=orvik#acc.mdb"
                             << "service=orvik";
    // A password written into the URI against the advice never reaches a message.
    QTest::newRow("password in the uri")
        << "postgresql://amy:s3cret@db/books?password=s3cret&sslmode=require" << true
        << "postgresql://amy:s3cret@db/books?password=s3cret&sslmode=require#acc.mdb"
        << "postgresql://amy@db/books?sslmode=require";
}

void TestStore::locationsNameAFolderOrAServer() {
    QFETCH(QString, location);
    QFETCH(bool, server);
    QFETCH(QString, acc);
    QFETCH(QString, shown);
    QCOMPARE(isServerLocation(location), server);
    QCOMPARE(databasePath(location, "acc.mdb"), acc);
    QCOMPARE(shownLocation(location), shown);
    if (server)  // a server path shows as its server, without the file's name
        QCOMPARE(shownLocation(acc), shown);
}

void TestStore::everyTableHasItsColumnsInStoredOrder() {
    Folder f;
    // The expected names are written out here, not read from the definition, so a slip in the
    // definition shows.
    const QMap<QString, QStringList> expected{
        {"iof", {"輸入日期", "單號",   "用途說明", "方式",     "金額",     "科目代號", "pay",
                 "科目名稱", "附註一", "附註二",   "專案號碼", "專案名稱", "工程種類", "發生日期",
                 "申請人",   "簽收人", "有單據",   "單據號碼", "稅額",     "進銷項",   "建議現金"}},
        {"iofs", {"多單號", "單號"}},
        {"cash", {"id", "收入", "異動日期", "異動金額", "摘要", "收支單號", "bala"}},
        {"acc", {"id", "incom", "acc"}},
        {"prj", {"id", "prj"}},
        {"w4pj", {"pj_id", "w"}},
        {"use", {"id", "use"}},
        {"ps1", {"id", "ps"}},
        {"ps2", {"id", "ps"}},
        {"bill",
         {"票據號碼", "開票日期", "提醒日期", "到期日期", "可用日期", "開票銀行", "收票銀行",
          "開票人", "收票人", "開票帳號", "收票帳號", "票據金額", "大寫金額", "收入", "收支單號",
          "方式"}},
        {"bank", {"id", "Bid", "bank", "存入", "異動日期", "異動金額", "摘要", "票據號碼", "bala"}},
        {"obank", {"bank", "id", "user"}},
        {"ibank", {"bank", "id", "user"}},
        {"bbank", {"bank", "id", "user", "ps"}},
        {"ri", {"id", "收名稱", "Let"}},
        {"ro", {"id", "收名稱", "Let"}},
        {"ri期",
         {"id", "期別", "應付金額", "預付日期", "佔總價比例", "送帳單日", "發票號碼", "沖帳金額",
          "沖帳日期", "現金沖帳", "沖帳票據號碼", "沖帳單號", "處理"}},
        {"ri加",
         {"id", "期別", "報價單號", "合約單號", "應付金額", "預付日期", "送帳單日", "發票號碼",
          "沖帳金額", "沖帳日期", "現金沖帳", "沖帳票據號碼", "沖帳單號", "處理"}},
        {"super", {"super_id", "super_pass"}},
        {"員工", {"員工編號", "中文姓名", "英文姓名", "pass", "AccS"}},
        {"廠商", {"廠商編號", "廠商名稱"}},
        {"company", {"ion"}},
        {"audit",
         {"id", "work_date", "real_time", "login", "kind", "tbl", "row_key", "voucher",
          "before_values", "after_values", "note", "hash"}},
        {"ptios",
         {"輸入日期", "單號",     "建議方式", "用途說明", "專案號碼", "專案名稱", "工程種類",
          "科目代號", "收支",     "科目名稱", "金額",     "附註一",   "附註二",   "申請人",
          "簽收人",   "發生日期", "單據號碼", "稅額",     "單據類別", "大寫金額"}},
    };
    QStringList seen;
    for (const schema::File* file : schema::files()) {
        auto db = f.make(*file);
        for (const QString& table : db->tableNames()) {
            seen << table;
            const QStringList want = expected.contains(table)
                                         ? expected.value(table)
                                         : expected.value(QString(table).replace("ro", "ri"));
            QCOMPARE(db->tableDef(table).fieldNames(), want);
            // select * yields the same order, which positional access relies on.
            QCOMPARE(db->openRecordset(table).fieldNames(), want);
        }
        QStringList diffs;
        for (const auto& d : schema::compare(*db, *file))
            diffs << d.table + ": " + d.what;
        QVERIFY2(diffs.isEmpty(), qPrintable(diffs.join('\n')));
    }
    for (const char* t : {"ro期", "ro加"})
        QVERIFY(seen.contains(t));
    QCOMPARE(seen.size(), 27);  // the audit trail in acc.mdb and in voro3.mdb
}

void TestStore::tablesWithoutLetOrAccsAreReportedByCompare() {
    Folder f;
    auto db = Database::create(f.path("voro3.mdb"), "pw");
    db->execute("CREATE TABLE super (super_id TEXT, super_pass TEXT)");
    db->execute("CREATE TABLE 員工 (員工編號 TEXT, 中文姓名 TEXT, 英文姓名 TEXT, pass TEXT)");
    const auto diffs = schema::compare(*db, schema::general());
    QStringList what;
    for (const auto& d : diffs)
        what << d.table + ":" + d.what;
    QVERIFY2(what.join('\n').contains("員工:第 4 欄應為 AccS"), qPrintable(what.join('\n')));
    QVERIFY(what.join('\n').contains("廠商:"));
}

void TestStore::cursorsOnEmptyAndFullResults() {
    Folder f;
    auto db = f.make(schema::acc());

    for (auto type : {RecordsetType::Dynaset, RecordsetType::Snapshot}) {
        Recordset empty = db->openRecordset("select * from iof", type);
        QVERIFY(empty.isBOF() && empty.isEOF());
        QCOMPARE(empty.RecordCount(), 0);
        QCOMPARE(errorNumber([&] { empty.field(0); }), 3021);
        QCOMPARE(errorNumber([&] { empty.MoveNext(); }), 3021);
    }

    // AddNew/Update by position into a bare table.
    {
        Recordset rs = db->openRecordset("iof");
        for (int i = 1; i <= 5; ++i) {
            rs.AddNew();
            rs.setField(0, QDate(2003, 7, 12));
            rs.setField(1, QString("920712%1").arg(i, 3, 10, QChar('0')));
            rs.setField(3, -1);
            rs.setField(4, i * 100);
            rs.setField(6, i % 2 == 0);
            rs.Update();
        }
        QCOMPARE(rs.RecordCount(), 5);
    }

    for (auto type : {RecordsetType::Dynaset, RecordsetType::Snapshot}) {
        Recordset rs = db->openRecordset("select * from iof order by 單號 desc", type);
        // The count is exact at once, before any move.
        QCOMPARE(rs.RecordCount(), 5);
        QVERIFY(!rs.isBOF() && !rs.isEOF());
        QCOMPARE(rs.text(1), QString("920712005"));
        rs.Move(3);
        QCOMPARE(rs.text("單號"), QString("920712002"));
        rs.Move(-2);
        QCOMPARE(rs.field(4).toInt(), 400);
        QCOMPARE(rs.field("pay").toInt(), -1);  // Booleans read as -1/0
        QCOMPARE(rs.field("PAY").toInt(), -1);  // names ignore case
        QVERIFY(rs.field(2).isNull());          // never written: null, not empty text
        QCOMPARE(rs.field(2).toString(), QString());
        QCOMPARE(rs.text(0), QString("2003-07-12"));
        QCOMPARE(errorNumber([&] { rs.field("nope"); }), 3265);
        QCOMPARE(errorNumber([&] { rs.field(21); }), 3265);
        rs.Move(10);
        QVERIFY(rs.isEOF());
        rs.MoveLast();
        QCOMPARE(rs.text(1), QString("920712001"));
        rs.MoveNext();
        QVERIFY(rs.isEOF() && !rs.isBOF());
        rs.MoveFirst();
        rs.MovePrevious();
        QVERIFY(rs.isBOF());
        QCOMPARE(rs.AbsolutePosition(), -1);
    }

    // Parameters select the rows; the selected list's positions follow the select list.
    Recordset some = db->openRecordset("select 金額, 單號 from iof where 方式 = ? and 金額 > ?",
                                       RecordsetType::Snapshot, {-1, 250});
    QCOMPARE(some.RecordCount(), 3);
    QCOMPARE(some.fieldNames(), QStringList({"金額", "單號"}));
}

void TestStore::dynasetWritesBackThroughTheRowOnDisplay() {
    Folder f;
    auto db = f.make(schema::acc());
    for (int i = 1; i <= 3; ++i)
        db->execute("insert into iof (單號, 方式, 金額) values (?, -1, ?)",
                    {QString("92071200%1").arg(i), i * 10});

    Recordset rs = db->openRecordset("select * from iof where 單號 = ?", {"920712002"});
    QCOMPARE(rs.RecordCount(), 1);
    rs.Edit();
    rs.setField("方式", 0);
    rs.setField(4, 999);
    QCOMPARE(rs.field(4).toInt(), 999);  // the edit buffer is what the form sees meanwhile
    rs.Update();
    QCOMPARE(rs.field(4).toInt(), 999);
    QCOMPARE(db->scalar("select 金額 from iof where 單號 = '920712002'").toInt(), 999);
    QCOMPARE(db->scalar("select sum(金額) from iof").toInt(), 10 + 999 + 30);

    // A row changed by somebody else is read fresh when it is visited again.
    Recordset all = db->openRecordset("select * from iof order by 單號");
    db->execute("update iof set 金額 = 5 where 單號 = '920712003'");
    all.MoveLast();
    QCOMPARE(all.field(4).toInt(), 5);
    // ...and one deleted by somebody else says so instead of showing stale data.
    db->execute("delete from iof where 單號 = '920712001'");
    all.MoveFirst();
    QCOMPARE(errorNumber([&] { all.field(0); }), 3167);

    // Update without Edit is a programming error the engine reports.
    all.MoveLast();
    QCOMPARE(errorNumber([&] { all.setField(0, 1); }), 3020);

    all.Delete();
    all.MovePrevious();
    QCOMPARE(all.text(1), QString("920712002"));
    QCOMPARE(db->scalar("select count(*) from iof").toInt(), 1);
}

void TestStore::snapshotsRefuseChanges() {
    Folder f;
    auto db = f.make(schema::acc());
    db->execute("insert into acc values ('4101', -1, '工程收入')");
    Recordset snap = db->openRecordset("acc", RecordsetType::Snapshot);
    QCOMPARE(errorNumber([&] { snap.Edit(); }), 3027);
    QCOMPARE(errorNumber([&] { snap.AddNew(); }), 3027);
    // An aggregate cannot be written back either, even when asked for a dynaset.
    Recordset agg = db->openRecordset("select Max(id) AS m from acc");
    QCOMPARE(agg.text("m"), QString("4101"));
    QCOMPARE(errorNumber([&] { agg.Edit(); }), 3027);

    // A snapshot hands its rows over whole, from the current one on; a query with named
    // subqueries reads as a snapshot too.
    db->execute("insert into acc values ('5101', 0, '文具'), ('5102', 0, '郵電')");
    Recordset ordered = db->openRecordset(
        "with expense as (select * from acc where incom = 0) select id, acc from expense "
        "order by id",
        RecordsetType::Snapshot);
    ordered.MoveNext();
    const auto rows = ordered.takeRows();
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.at(0).at(0).toString(), QString("5102"));
    QVERIFY(!ordered.isOpen());
    Recordset cursor = db->openRecordset("acc");
    QCOMPARE(errorNumber([&] { cursor.takeRows(); }), 3027);
}

void TestStore::textComparisonIgnoresCaseAndTakesSpecialCharactersLiterally() {
    Folder f;
    auto db = f.make(schema::general());
    const QStringList names{"Amy", "o'neil", "50%off", "a_b", "star*", "what?", "axb", "50 off"};
    for (const QString& n : names)
        db->execute("insert into 員工 (英文姓名, pass) values (?, ?)", {n, n});

    QCOMPARE(db->scalar("select count(*) from 員工 where 英文姓名 = ?", {"AMY"}).toInt(), 1);
    QCOMPARE(db->scalar("select pass from 員工 where 英文姓名 = ?", {"O'NEIL"}).toString(),
             QString("o'neil"));
    auto likeCount = [&](const QString& text) {
        return db
            ->scalar("select count(*) from 員工 where 英文姓名 like ? escape '\\'",
                     {likeContains(text)})
            .toInt();
    };
    QCOMPARE(likeCount("amy"), 1);
    QCOMPARE(likeCount("%"), 1);  // only "50%off"
    QCOMPARE(likeCount("_"), 1);  // only "a_b", not "axb"
    QCOMPARE(likeCount("*"), 1);
    QCOMPARE(likeCount("?"), 1);
    QCOMPARE(likeCount("'"), 1);
    QCOMPARE(likeCount("\\"), 0);
    // Without ESCAPE a backslash is an ordinary character, as SQLite reads it.
    db->execute("insert into 員工 (英文姓名) values ('c:\\x')");
    QCOMPARE(db->scalar("select count(*) from 員工 where 英文姓名 like '%:\\x'").toInt(), 1);
    // Order too ignores case: "axb" and "Amy" stand among the others by their letters alone.
    QCOMPARE(db->scalar("select group_concat(英文姓名, ' ') from (select 英文姓名 from 員工 "
                        "where 英文姓名 like 'a%' order by 英文姓名)")
                 .toString(),
             QString("a_b Amy axb"));

    // The search's one-call test of many columns finds what LIKE finds, column by column.
    auto mask = [&](const QString& text, const QVariantList& values) {
        QStringList marks;
        for (qsizetype i = 0; i <= values.size(); ++i)
            marks << QStringLiteral("?");
        QVariantList params{text};
        params += values;
        return db->scalar("select orvik_contains_mask(" + marks.join(',') + ")", params)
            .toLongLong();
    };
    const QVariantList row{"Amy", QVariant(), "50%off", "工程款", 1234, "", "a_b"};
    QCOMPARE(mask("AMY", row), 0b1);
    QCOMPARE(mask("%", row), 0b100);
    QCOMPARE(mask("_", row), 0b1000000);
    QCOMPARE(mask("程", row), 0b1000);
    QCOMPARE(mask("23", row), 0b10000);  // a number by its text
    QCOMPARE(mask("", row), 0b1111101);  // everything but NULL, the empty text included
    QCOMPARE(mask("amyx", row), 0);
    QCOMPARE(mask("工程款項", row), 0);

    // Booleans compare as -1/0 whatever the caller passes in.
    auto acc = f.make(schema::acc());
    acc->execute("insert into acc (id, incom, acc) values (?, ?, ?)", {"4101", true, "收入"});
    acc->execute("insert into acc (id, incom, acc) values (?, ?, ?)", {"6101", false, "支出"});
    QCOMPARE(acc->scalar("select id from acc where incom = -1").toString(), QString("4101"));
    QCOMPARE(acc->scalar("select id from acc where incom = ?", {false}).toString(),
             QString("6101"));
    QVERIFY(storedBool(acc->scalar("select incom from acc where id = '4101'")));
}

void TestStore::openingErrorsCarryTheEngineNumbers() {
    Folder f;
    f.make(schema::acc());
    f.make(schema::print());
    const QString pwd = schema::acc().connect();

    if (onServer()) {
        // A server that does not answer, a database that is not there, a login it refuses;
        // each message names the server.
        const auto error = [&](const QString& location) -> std::optional<EngineError> {
            try {
                Database::open(databasePath(location, "acc.mdb"), pwd);
            } catch (const EngineError& e) {
                return e;
            }
            return std::nullopt;
        };
        const auto unreachable = error("postgresql://127.0.0.1:1/books");
        QVERIFY(unreachable);
        QCOMPARE(unreachable->number(), 3044);
        QVERIFY2(unreachable->description().contains("postgresql://127.0.0.1:1/books"),
                 qPrintable(unreachable->description()));
        const auto missing = error("postgresql:///orvik_no_such_books");
        QVERIFY(missing);
        QCOMPARE(missing->number(), 3024);
        QVERIFY(missing->description().contains("orvik_no_such_books"));
        const auto refused =
            error(f.where.location().replace("postgresql:///", "postgresql://nobody@/"));
        QVERIFY(refused);
        QCOMPARE(refused->number(), 3031);
    } else {
        QCOMPARE(errorNumber([&] { Database::open(f.path("nowhere/acc.mdb"), pwd); }), 3044);
    }
    QCOMPARE(errorNumber([&] { Database::open(f.path("voro3.mdb"), pwd); }), 3024);
    QCOMPARE(errorNumber([&] { Database::open(f.path("acc.mdb")); }), 3031);
    QCOMPARE(errorNumber([&] { Database::open(f.path("acc.mdb"), ";pwd=kavrintolpX"); }), 3031);
    QCOMPARE(errorNumber([&] { Database::open(f.path("pt.mdb"), pwd); }), 3031);
    QVERIFY(Database::open(f.path("acc.mdb"), pwd));
    QVERIFY(Database::open(f.path("pt.mdb")));

    if (!onServer()) {  // a file that is no database has no counterpart on a server
        QFile junk(f.path("junk.mdb"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(4096, 'x'));
        junk.close();
        QCOMPARE(errorNumber([&] { Database::open(f.path("junk.mdb")); }), 3343);
    }

    auto db = Database::open(f.path("acc.mdb"), pwd);
    QCOMPARE(errorNumber([&] { db->openRecordset("select * from nosuch"); }), 3078);
    QCOMPARE(errorNumber([&] { db->openRecordset("nosuch"); }), 3078);
    QCOMPARE(errorNumber([&] { db->tableDef("nosuch"); }), 3265);
}

void TestStore::tableDefinitionsLookUpAndAddColumns() {
    Folder f;
    auto db = Database::create(f.path("voro3.mdb"), "pw");
    db->execute("CREATE TABLE 員工 (員工編號 TEXT, 中文姓名 TEXT, 英文姓名 TEXT, pass TEXT)");
    db->execute("CREATE TABLE ri (id TEXT, 收名稱 TEXT)");
    db->execute("insert into 員工 (英文姓名) values ('amy')");
    db->execute("insert into ri (id) values ('r1')");

    TableDef emp = db->tableDef("員工");
    QCOMPARE(emp.fieldCount(), 4);
    QCOMPARE(emp.field("英文姓名").position, 2);
    QCOMPARE(errorNumber([&] { emp.field("AccS"); }), 3265);
    emp.appendField("AccS", FieldType::Long, 1);
    QCOMPARE(emp.fieldNames().last(), QString("AccS"));
    db->execute("insert into 員工 (英文姓名) values ('bob')");
    QCOMPARE(db->scalar("select AccS from 員工 where 英文姓名 = 'bob'").toInt(), 1);

    TableDef ri = db->tableDef("ri");
    ri.appendField("Let", FieldType::Text, {}, true);
    db->execute("insert into ri (id, Let) values ('r2', '')");
    QVERIFY(db->scalar("select Let from ri where id = 'r1'").isNull());
    QCOMPARE(errorNumber([&] { ri.appendField("Let", FieldType::Text); }), 3191);

    // A text column that refuses zero length.
    ri.appendField("code", FieldType::Text, {}, false);
    QVERIFY(errorNumber([&] { db->execute("insert into ri (id, code) values ('r3', '')"); }) != 0);
}

void TestStore::failedTransactionLeavesNothingBehind() {
    Folder f;
    auto db = f.make(schema::acc());
    try {
        Transaction tx(*db);
        db->execute("insert into iof (單號, 方式) values ('920712001', -1)");
        db->execute("insert into cash (id, 收支單號) values (1, '920712001')");
        db->execute("insert into nosuch values (1)");  // fails half-way
        tx.commit();
        QFAIL("the bad statement should have failed");
    } catch (const EngineError& e) {
        QCOMPARE(e.number(), 3078);
    }
    QCOMPARE(db->transactionDepth(), 0);
    QCOMPARE(db->scalar("select count(*) from iof").toInt(), 0);
    QCOMPARE(db->scalar("select count(*) from cash").toInt(), 0);

    // A nested failure undoes only its own part.
    {
        Transaction outer(*db);
        db->execute("insert into iof (單號) values ('A')");
        try {
            Transaction inner(*db);
            db->execute("insert into iof (單號) values ('B')");
            db->execute("insert into iof (單號) values ('A')");  // duplicate number
            inner.commit();
        } catch (const EngineError& e) {
            QCOMPARE(e.number(), 3022);
        }
        outer.commit();
    }
    QCOMPARE(db->scalar("select group_concat(單號) from iof").toString(), QString("A"));

    // Rolling back everything at once, as the program does before it ends on an error.
    db->beginTrans();
    db->execute("insert into iof (單號) values ('C')");
    Database::rollbackAll();
    QCOMPARE(db->transactionDepth(), 0);
    QCOMPARE(db->scalar("select count(*) from iof").toInt(), 1);
}

void TestStore::uniqueVoucherNumber() {
    Folder f;
    auto db = f.make(schema::acc());
    db->execute("insert into iof (單號) values ('920712001')");
    QCOMPARE(errorNumber([&] { db->execute("insert into iof (單號) values ('920712001')"); }),
             3022);
    // A combined bill's key differs only in the case of its letter: the same key.
    db->execute("insert into iof (單號) values ('920712002S')");
    QCOMPARE(errorNumber([&] { db->execute("insert into iof (單號) values ('920712002s')"); }),
             3022);
    QCOMPARE(db->scalar("select count(*) from iof").toInt(), 2);
    // Through a cursor the failed AddNew leaves the cursor as it was.
    Recordset rs = db->openRecordset("iof");
    rs.AddNew();
    rs.setField(1, "920712001");
    QCOMPARE(errorNumber([&] { rs.Update(); }), 3022);
    QCOMPARE(rs.RecordCount(), 2);
}

void TestStore::twoProcessesInsertingAtOnceLoseNothing() {
    Folder f;
    f.make(schema::acc());
    const QString writer = QStringLiteral(ORVIK_STORE_WRITER);
    constexpr int perProcess = 150;
    QList<QProcess*> procs;
    for (const QString tag : {"P", "Q"}) {
        auto* p = new QProcess(this);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(writer, {f.path("acc.mdb"), tag, QString::number(perProcess)});
        procs << p;
    }
    for (QProcess* p : procs) {
        QVERIFY(p->waitForFinished(60000));
        QCOMPARE(p->exitCode(), 0);
    }
    auto db = Database::open(f.path("acc.mdb"), schema::acc().connect());
    QCOMPARE(db->scalar("select count(*) from iof").toInt(), 2 * perProcess);
    // Every ledger row got its own id and the balance never skipped a movement.
    QCOMPARE(db->scalar("select count(distinct id) from cash").toInt(), 2 * perProcess);
    QCOMPARE(db->scalar("select max(id) from cash").toInt(), 2 * perProcess);
    QCOMPARE(db->scalar("select bala from cash where id = ?", {2 * perProcess}).toInt(),
             2 * perProcess * 10);
}

// The voucher cursor after a save: the rows another connection added since it opened come in
// at their places in number order, as a cursor opened afresh has them.
void TestStore::cursorTakesInRowsAddedElsewhere() {
    Folder f;
    auto db = f.make(schema::acc());
    auto other = Database::open(f.path("acc.mdb"), schema::acc().connect());
    const auto add = [&](const QStringList& numbers) {
        for (const QString& no : numbers)
            other->execute("insert into iof (單號, 金額) values (?, 10)", {no});
    };
    const auto numbers = [](Recordset& rs) {
        QStringList out;
        for (rs.MoveFirst(); !rs.isEOF(); rs.MoveNext())
            out << rs.text("單號");
        return out;
    };
    const QString order = "length(單號), 單號";
    add({"1000103001", "991231002", "1000101001"});
    Recordset rs = db->openRecordset("select * from iof order by " + order);
    rs.Move(1);  // on 1000101001
    // Later than all (the usual new voucher), earlier than all, between two, and two more of a
    // day at the end; one added here too.
    add({"1011231001", "990105001", "1000102001", "1011231003", "1011231002"});
    db->execute("insert into iof (單號) values ('1000101002')");
    QVERIFY(rs.takeInAddedRows(order));
    QCOMPARE(rs.text("單號"), QString("1000101001"));  // still the row on display
    QCOMPARE(rs.RecordCount(), 9);
    Recordset fresh = db->openRecordset("select * from iof order by " + order);
    const QStringList expected = numbers(fresh);
    QCOMPARE(expected,
             (QStringList{"990105001", "991231002", "1000101001", "1000101002", "1000102001",
                          "1000103001", "1011231001", "1011231002", "1011231003"}));
    QCOMPARE(numbers(rs), expected);
    QVERIFY(rs.takeInAddedRows(order));  // nothing new: nothing changes
    QCOMPARE(numbers(rs), expected);
    // A cursor over part of a table cannot tell what was added to its part.
    Recordset part = db->openRecordset("select * from iof where 金額 = 10 order by " + order);
    QVERIFY(!part.takeInAddedRows(order));
}

void TestStore::numberOrderRunsAcrossEraYear100() {
    Folder f;
    auto db = f.make(schema::acc());
    // Nine characters up to 民國 99 (2010), ten from 民國 100 (2011): text order would put
    // 1000101001 first.
    for (const char* no : {"1000103001", "991231002", "1000101001", "990105001", "1011231001"})
        db->execute("insert into iof (單號) values (?)", {QString::fromUtf8(no)});
    const QString order =
        "select group_concat(單號, ' ') from "
        "(select 單號 from iof order by length(單號), 單號)";
    QCOMPARE(db->scalar(order).toString(),
             QString("990105001 991231002 1000101001 1000103001 1011231001"));
    // The order comes from the index, not from sorting every voucher.
    QStringList plan;
    if (onServer()) {
        // A planner that finds a sort as cheap for five rows is told to avoid one.
        db->execute("SET enable_sort = off");
        Recordset rs = db->openRecordset(
            "explain select rowid from iof order by length(單號), 單號", RecordsetType::Snapshot);
        for (; !rs.isEOF(); rs.MoveNext())
            plan << rs.text(0);
        db->execute("SET enable_sort = on");
        QVERIFY2(!plan.join(' ').contains("Sort"), qPrintable(plan.join(' ')));
    } else {
        QSqlQuery q(db->connection());
        QVERIFY(q.exec("explain query plan select rowid from iof order by length(單號), 單號"));
        while (q.next())
            plan << q.value(3).toString();
        q.finish();
        QVERIFY2(!plan.join(' ').contains("TEMP B-TREE"), qPrintable(plan.join(' ')));
    }
    QVERIFY2(plan.join(' ').contains("iof_number_order"), qPrintable(plan.join(' ')));

    // Version 1 had no such index: a file made as that version made it lacks it, and says so.
    auto old = Database::create(f.path("old.mdb"), schema::acc().password);
    schema::createAll(*old, schema::acc(), 1);
    QCOMPARE(schema::versionOf(*old), 1);
    QStringList what;
    for (const auto& d : schema::compare(*old, schema::acc()))
        what << d.what;
    QVERIFY2(what.join('\n').contains("缺少索引 iof_number_order"), qPrintable(what.join('\n')));
    // Nothing else is reported: only indexes and tables of later versions and the version.
    for (const auto& d : schema::compare(*old, schema::acc()))
        QVERIFY2(d.what.startsWith("缺少索引 ") || d.what.startsWith("資料庫版本為 1") ||
                     (d.table == "audit" && d.what == "資料表不存在"),
                 qPrintable(d.table + ": " + d.what));
}

void TestStore::numberOrderIndexIsKnownHoweverWritten_data() {
    QTest::addColumn<QString>("create");
    QTest::addColumn<bool>("matches");
    QTest::newRow("as the schema writes it")
        << "CREATE INDEX iof_number_order ON iof (length(\"單號\"), \"單號\")" << true;
    QTest::newRow("other blanks, case and quotes")
        << "CREATE INDEX iof_number_order ON iof ( LENGTH( [單號] ) , 單號 )" << true;
    QTest::newRow("text order only") << "CREATE INDEX iof_number_order ON iof (單號)" << false;
    QTest::newRow("length only") << "CREATE INDEX iof_number_order ON iof (length(單號))" << false;
    QTest::newRow("keys swapped") << "CREATE INDEX iof_number_order ON iof (單號, length(單號))"
                                  << false;
    QTest::newRow("length of another column")
        << "CREATE INDEX iof_number_order ON iof (length(用途說明), 單號)" << false;
    QTest::newRow("a third key")
        << "CREATE INDEX iof_number_order ON iof (length(單號), 單號, 方式)" << false;
    QTest::newRow("unique") << "CREATE UNIQUE INDEX iof_number_order ON iof (length(單號), 單號)"
                            << false;
}

void TestStore::numberOrderIndexIsKnownHoweverWritten() {
    QFETCH(QString, create);
    QFETCH(bool, matches);
    Folder f;
    auto db = f.make(schema::acc());
    db->execute("drop index iof_number_order");
    db->execute(create);
    QString found;
    QCOMPARE(schema::indexMatches(*db, *schema::acc().table("iof"), numberOrder(), &found),
             matches);
    QVERIFY(!found.isEmpty());
    const auto diffs = schema::compare(*db, schema::acc());
    QCOMPARE(diffs.isEmpty(), matches);
    if (!matches) {
        QCOMPARE(diffs.size(), 1);
        QVERIFY2(diffs.at(0).what.contains("iof_number_order") &&
                     diffs.at(0).what.contains("length(單號),單號"),
                 qPrintable(diffs.at(0).what));
    }
}

void TestStore::newFilesAndFoldersAreForTheOfficeGroup() {
    if (onServer())
        QSKIP("SQLite only: a server keeps its own files; access there goes by roles and GRANTs");
    // A usual umask would leave the files readable by every user and not writable by the group.
    const mode_t umaskBefore = ::umask(022);
    QTemporaryDir tmp;
    const unsigned rootBefore = permissions(tmp.path());
    const QString nested = tmp.filePath("a/b/帳務");
    QString error;
    QVERIFY2(makeFolder(nested, &error), qPrintable(error));
    for (const QString& dir : {tmp.filePath("a"), tmp.filePath("a/b"), nested})
        QCOMPARE(permissions(dir), 0770u);
    QCOMPARE(permissions(tmp.path()), rootBefore);  // an existing folder keeps its own

    auto db = Database::create(QDir(nested).filePath("voro3.mdb"), "pw");
    schema::createAll(*db, schema::general());
    db.reset();
    QCOMPARE(permissions(QDir(nested).filePath("voro3.mdb")), 0660u);
    QCOMPARE(errorNumber([&] { Database::create(QDir(nested).filePath("voro3.mdb")); }), 3045);
    QVERIFY(!makeFolder(QDir(nested).filePath("voro3.mdb/x"), &error));
    QVERIFY(error.contains("voro3.mdb"));
    ::umask(umaskBefore);
}

void TestStore::anOpenConnectionKeepsTheFileInUse() {
    Folder f;
    f.make(schema::acc());
    const QString acc = f.path("acc.mdb");
    const QString pwd = schema::acc().connect();
    {
        // Open and idle, no transaction: SQLite itself holds no lock then, this one does.
        auto idle = Database::open(acc, pwd);
        QCOMPARE(errorNumber([&] { ExclusiveUse taken(acc); }), 3045);
    }
    std::optional<ExclusiveUse> taken;
    taken.emplace(acc);
    // This process works on the file it holds...
    auto mine = Database::open(acc, pwd);
    mine->execute("insert into iof (單號) values ('1150315001')");
    // ...another one waits for it and goes on once it is free.
    QProcess writer;
    writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    writer.start(QStringLiteral(ORVIK_STORE_WRITER), {acc, "W", "5"});
    QVERIFY(writer.waitForStarted());
    QVERIFY(!writer.waitForFinished(800));
    QCOMPARE(mine->scalar("select count(*) from iof").toInt(), 1);
    taken.reset();
    QVERIFY(writer.waitForFinished(30000));
    QCOMPARE(writer.exitCode(), 0);
    QCOMPARE(mine->scalar("select count(*) from iof").toInt(), 6);
}

void TestStore::aReadTransactionSeesOneStateOfTheBooks() {
    Folder f;
    auto reader = f.make(schema::acc());
    auto writer = Database::open(f.path("acc.mdb"), schema::acc().connect());
    writer->setBusyTimeout(200);
    writer->execute("insert into iof (單號, 金額) values ('1150105001', 700)");
    {
        ReadTransaction read(*reader);
        const QVariant before = reader->scalar("select sum(金額) from iof");
        QCOMPARE(before.toInt(), 700);
        if (onServer()) {
            // A server's writer goes on meanwhile; the read still sees the books as they were.
            writer->execute("insert into iof (單號, 金額) values ('1150106001', 50)");
        } else {
            // Another copy's write waits for the read to end rather than changing what it
            // reads.
            QCOMPARE(errorNumber([&] {
                         writer->execute("insert into iof (單號, 金額) values ('1150106001', 50)");
                     }),
                     3260);
        }
        QCOMPARE(reader->scalar("select sum(金額) from iof"), before);
    }
    if (!onServer())
        writer->execute("insert into iof (單號, 金額) values ('1150106001', 50)");
    QCOMPARE(reader->scalar("select sum(金額) from iof").toInt(), 750);

    // Inside a write transaction it is only a level: ending it neither commits nor ends the
    // transaction, whose rollback still takes everything back.
    reader->beginTrans();
    reader->execute("insert into iof (單號, 金額) values ('1150107001', 9)");
    reader->beginRead();
    reader->endRead();
    QCOMPARE(reader->transactionDepth(), 1);
    reader->rollback();
    QCOMPARE(writer->scalar("select count(*) from iof").toInt(), 2);

    // A reader streams a whole table without a snapshot, integers read as they are stored.
    RowReader rows(*reader, "select 單號, 金額 from iof order by 單號 desc");
    QVERIFY(rows.next());
    QCOMPARE(rows.value(0).toString(), QString("1150106001"));
    QVERIFY(rows.isInteger(1));
    QCOMPARE(rows.integer(1), 50);
    QCOMPARE(rows.bytes(1), QByteArray("50"));
    // Another statement on the same connection in the middle of the walk (on a server it
    // keeps the rest of the walk's rows) leaves the walk where it was.
    QCOMPARE(reader->scalar("select count(*) from iof").toInt(), 2);
    QVERIFY(rows.next());
    QCOMPARE(rows.value(0).toString(), QString("1150105001"));
    QCOMPARE(rows.integer(1), 700);
    QVERIFY(!rows.next());
    // A walk left half-way does not keep the connection from its next statement.
    {
        RowReader half(*reader, "select 單號 from iof order by 單號");
        QVERIFY(half.next());
    }
    QCOMPARE(reader->scalar("select max(單號) from iof").toString(), QString("1150106001"));
}

void TestStore::aSecondWriterWaitsItsTurnThenReportsBusy() {
    Folder f;
    auto first = f.make(schema::acc());
    auto second = Database::open(f.path("acc.mdb"), schema::acc().connect());
    second->setBusyTimeout(300);
    // One writer at a time, even when the two would write different rows: each reads what it
    // is about to change (the next number, the last balance) inside its transaction.
    Transaction tx(*first);
    first->execute("insert into cash (id, bala) values (1, 100)");
    QCOMPARE(errorNumber([&] {
                 Transaction other(*second);
                 second->execute("insert into iof (單號) values ('1150402001')");
                 other.commit();
             }),
             3260);
    QCOMPARE(second->transactionDepth(), 0);
    tx.commit();
    // Its turn once the first has committed; it sees what the first wrote.
    Transaction other(*second);
    QCOMPARE(second->scalar("select bala from cash where id = 1").toInt(), 100);
    second->execute("insert into iof (單號) values ('1150402001')");
    other.commit();
    QCOMPARE(first->scalar("select count(*) from iof").toInt(), 1);
}

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
