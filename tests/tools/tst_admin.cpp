// orvik-admin's commands, called in-process through orvik_admin_lib.

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <thread>

#include "Admin.h"
#include "AdminError.h"
#include "Cli.h"
#include "Database.h"
#include "Generator.h"
#include "LedgerCheck.h"
#include "Passwords.h"
#include "Recordset.h"
#include "Schema.h"
#include "TableDef.h"
#include "Upgrade.h"
#include "Words.h"

using namespace orvik;
using namespace orvik::admin;
using orvik::store::Database;
namespace schema = orvik::store::schema;

namespace {

const QDate kReference(2026, 3, 15);

QString problems(const QStringList& lines) {
    return lines.join(QLatin1Char('\n'));
}

void init(const QString& dir, bool demo = false, bool force = false) {
    InitOptions o;
    o.dir = dir;
    o.demo = demo;
    o.force = force;
    o.reference = kReference;
    initFolder(o);
}

QStringList tableDump(const QString& dir, const QString& sql,
                      const QString& fileName = QStringLiteral("acc.mdb")) {
    const schema::File& file =
        fileName == QStringLiteral("acc.mdb") ? schema::acc() : schema::general();
    auto acc = Database::open(QDir(dir).filePath(fileName), file.connect());
    store::Recordset rs = acc->openRecordset(sql, store::RecordsetType::Snapshot);
    QStringList rows;
    for (; !rs.isEOF(); rs.MoveNext()) {
        QStringList cells;
        for (int i = 0; i < rs.fieldCount(); ++i)
            cells << rs.text(i);
        rows << cells.join(QLatin1Char('|'));
    }
    return rows;
}

// Writes a file the way an earlier tool would have: tables without some columns, no indexes,
// no version stamp and no password.
void writeOldFile(const QString& path, const schema::File& file,
                  const std::function<void(schema::Table&)>& alter, const QStringList& inserts) {
    const QString name = QStringLiteral("old-%1").arg(path);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        for (schema::Table t : file.tables) {
            t.indexes.clear();
            alter(t);
            QVERIFY2(q.exec(schema::createTableSql(t)), qPrintable(q.lastError().text()));
        }
        for (const QString& sql : inserts)
            QVERIFY2(q.exec(sql), qPrintable(sql + QLatin1Char(' ') + q.lastError().text()));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

// Turns a folder made by init into one made by the version-1 tool: the same files without the
// number-order index, stamped 1.
void makeVersionOne(const QString& dir) {
    for (const auto* f : schema::files()) {
        auto db = Database::open(QDir(dir).filePath(f->fileName), f->connect());
        db->execute(QStringLiteral("DROP INDEX IF EXISTS iof_number_order"));
        db->setMeta(QStringLiteral("schema_version"), QStringLiteral("1"));
    }
}

QHash<QString, QByteArray> fileBytes(const QString& dir) {
    QHash<QString, QByteArray> bytes;
    for (const auto* f : schema::files()) {
        QFile file(QDir(dir).filePath(f->fileName));
        if (file.open(QIODevice::ReadOnly))
            bytes.insert(f->fileName, file.readAll());
    }
    return bytes;
}

unsigned permissions(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Saves vouchers with their cash-ledger rows the way the program does, one BEGIN IMMEDIATE
// transaction each, on a connection of its own, until stopped or `limit` is reached.
class Saver {
  public:
    Saver(const QString& dir, const QString& prefix, std::chrono::milliseconds limit)
        : thread_([this, dir, prefix, limit] {
              auto db = Database::open(QDir(dir).filePath(QStringLiteral("acc.mdb")),
                                       schema::acc().connect());
              const auto end = std::chrono::steady_clock::now() + limit;
              while (!stop_ && std::chrono::steady_clock::now() < end) {
                  store::Transaction tx(*db);
                  const QString no =
                      prefix + QStringLiteral("%1").arg(saved_ + 1, 6, 10, QLatin1Char('0'));
                  db->execute(
                      QStringLiteral("INSERT INTO iof (單號, 方式, 金額) VALUES (?, 0, 10)"), {no});
                  db->execute(
                      QStringLiteral("INSERT INTO cash (id, 收入, 異動金額, 收支單號, bala) "
                                     "VALUES ((SELECT coalesce(max(id), 0) + 1 FROM cash), "
                                     "-1, 10, ?, 0)"),
                      {no});
                  tx.commit();
                  ++saved_;
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              }
          }) {}
    ~Saver() { stop(); }
    void waitForFirst() const {
        while (saved_ == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    void stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }

  private:
    std::atomic<bool> stop_{false};
    std::atomic<int> saved_{0};
    std::thread thread_;
};

void dropColumn(schema::Table& t, const char* table, const char* column) {
    if (t.name != QString::fromUtf8(table))
        return;
    for (int i = 0; i < t.columns.size(); ++i) {
        if (t.columns.at(i).name == QString::fromUtf8(column)) {
            t.columns.remove(i);
            return;
        }
    }
}

}  // namespace

class TestAdmin : public QObject {
    Q_OBJECT

  private slots:
    void voucherNumbersUseTheEraYear();
    void initOnAnEmptyFolderPassesCheck();
    void initCreatesMissingFoldersAndLeavesNoTemporaryFiles();
    void initRefusesAFolderWithFilesUnlessForced();
    void demoPassesCheckAndItsBooksAreConsistent();
    void demoIsTheSameForTheSameDate();
    void demoEmployeesHaveDifferentRights();
    void employeeAddPasswordRightsRoundTrip();
    void employeeMistakesAreRefused();
    void setPathWritesOneCrLfLine();
    void upgradeBringsAnUnstampedFolderToTheCurrentVersion();
    void upgradeOfACurrentFolderChangesNothing();
    void upgradeRefusesANewerFolder();
    void upgradeStepsReachTheCurrentVersion();
    void upgradeFromVersionOneKeepsNumbersInOrderAcrossEraYear100();
    void upgradeRefusesFilesOfAnotherKindAndWritesNothing_data();
    void upgradeRefusesFilesOfAnotherKindAndWritesNothing();
    void initForceAndUpgradeRefuseBooksInUse_data();
    void initForceAndUpgradeRefuseBooksInUse();
    void initAndBackupKeepTheBooksPrivate();
    void argumentsThatAreNotUtf8AreRefused_data();
    void argumentsThatAreNotUtf8AreRefused();
    void backupMakesFilesThatPassCheck();
    void backupWhileAnotherCopyIsWriting();
    void backupBeginsAgainAfterASaveAndGivesUpUnderEndlessSaves();
    void checkReportsWhatDiffers();
    void generateGivesUniqueOrderedNumbersAndConsistentLedgers();
    void generateContinuesAnExistingFolder();
};

void TestAdmin::voucherNumbersUseTheEraYear() {
    QCOMPARE(voucherNo(QDate(2003, 7, 12), 1), QStringLiteral("920712001"));
    QCOMPARE(voucherNo(QDate(2011, 1, 1), 12), QStringLiteral("1000101012"));
    QCOMPARE(rightsString(6), QStringLiteral("011") + QString(19, QLatin1Char('0')));
    QCOMPARE(rightsString(kAllRights), QString(22, QLatin1Char('1')));
}

void TestAdmin::initOnAnEmptyFolderPassesCheck() {
    QTemporaryDir tmp;
    init(tmp.path());
    const CheckResult r = checkFolder(tmp.path());
    QVERIFY2(r.ok(), qPrintable(problems(r.problems)));

    // The passwords are those of the schema; pt.mdb has none.
    QVERIFY_THROWS_EXCEPTION(store::EngineError,
                             Database::open(QDir(tmp.path()).filePath(QStringLiteral("acc.mdb"))));
    auto general = Database::open(QDir(tmp.path()).filePath(QStringLiteral("voro3.mdb")),
                                  schema::general().connect());
    QCOMPARE(general->scalar(QStringLiteral("SELECT count(*) FROM super WHERE super_id = 'voro'"))
                 .toInt(),
             1);
    store::Recordset rs = general->openRecordset(
        QStringLiteral("SELECT 員工編號, 中文姓名, 英文姓名, pass, AccS FROM 員工"),
        store::RecordsetType::Snapshot);
    QCOMPARE(rs.RecordCount(), 1);
    QCOMPARE(rs.text(0), QStringLiteral("A001"));
    QCOMPARE(rs.text(1), QStringLiteral("系統管理員"));
    QCOMPARE(rs.text(2), QStringLiteral("admin"));
    QVERIFY(audit::isHashed(rs.text(3)) && audit::passwordMatches(rs.text(3), "admin"));
    QCOMPARE(rs.field(4).toLongLong(), 4194303);
    rs.Close();
    auto print = Database::open(QDir(tmp.path()).filePath(QStringLiteral("pt.mdb")));
    QCOMPARE(print->scalar(QStringLiteral("SELECT ion FROM company")).toString(),
             QStringLiteral("歐維克工程有限公司"));
    auto acc = Database::open(QDir(tmp.path()).filePath(QStringLiteral("acc.mdb")),
                              schema::acc().connect());
    QCOMPARE(acc->scalar(QStringLiteral("SELECT count(*) FROM iof")).toInt(), 0);
    QCOMPARE(schema::versionOf(*acc), schema::kVersion);
}

void TestAdmin::initCreatesMissingFoldersAndLeavesNoTemporaryFiles() {
    QTemporaryDir tmp;
    const QString dir = tmp.filePath(QStringLiteral("a/b/書"));
    InitOptions o;
    o.dir = dir;
    o.adminLogin = QStringLiteral("boss");
    o.adminPassword = QStringLiteral("s3cret");
    initFolder(o);
    QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden),
             (QStringList{QStringLiteral("acc.mdb"), QStringLiteral("pt.mdb"),
                          QStringLiteral("voro3.mdb")}));
    QVERIFY(checkFolder(dir).ok());
    const auto staff = listEmployees(dir);
    QCOMPARE(staff.size(), 1);
    QCOMPARE(staff.at(0).login, QStringLiteral("boss"));
}

void TestAdmin::initRefusesAFolderWithFilesUnlessForced() {
    QTemporaryDir tmp;
    init(tmp.path());
    addEmployee(tmp.path(), QStringLiteral("B001"), QStringLiteral("測試"),
                QStringLiteral("tester"), QStringLiteral("x"), 1);
    try {
        init(tmp.path());
        QFAIL("init on a folder with files should refuse");
    } catch (const AdminError& e) {
        QCOMPARE(e.exitCode(), 1);
        QVERIFY(e.message().contains(QStringLiteral("--force")));
        QVERIFY(!e.message().contains(QLatin1Char('\n')));
    }
    QCOMPARE(listEmployees(tmp.path()).size(), 2);  // untouched

    // One file alone is enough to refuse.
    QTemporaryDir other;
    QFile stray(QDir(other.path()).filePath(QStringLiteral("pt.mdb")));
    QVERIFY(stray.open(QIODevice::WriteOnly));
    stray.close();
    QVERIFY_THROWS_EXCEPTION(AdminError, init(other.path()));

    init(tmp.path(), false, true);
    QCOMPARE(listEmployees(tmp.path()).size(), 1);
    QVERIFY(checkFolder(tmp.path()).ok());
    init(other.path(), true, true);
    QVERIFY(checkFolder(other.path()).ok());
}

void TestAdmin::demoPassesCheckAndItsBooksAreConsistent() {
    QTemporaryDir tmp;
    init(tmp.path(), true);
    const CheckResult c = checkFolder(tmp.path());
    QVERIFY2(c.ok(), qPrintable(problems(c.problems)));
    const LedgerReport r = checkLedgers(tmp.path());
    QVERIFY2(r.problems.isEmpty(), qPrintable(problems(r.problems)));
    for (int status : {-3, -2, -1, 0, 1})
        QVERIFY2(r.statusCounts.value(status) > 0, qPrintable(QString::number(status)));
    QVERIFY(r.statusCounts.value(2) + r.statusCounts.value(3) + r.statusCounts.value(4) >= 2);
    QVERIFY(r.vouchers >= 30 && r.vouchers <= 100);
    QVERIFY(r.cashRows == r.statusCounts.value(0));
    QCOMPARE(r.combinedKeys, 1);
    QVERIFY(r.bankRows > 4);

    // The combined bill: its key is the first voucher's number followed by S.
    const QStringList combined =
        tableDump(tmp.path(), QStringLiteral("SELECT 多單號, 單號 FROM iofs ORDER BY 單號"));
    QCOMPARE(combined.size(), 3);
    const QString key = combined.first().section(QLatin1Char('|'), 0, 0);
    QCOMPARE(key, combined.first().section(QLatin1Char('|'), 1, 1) + QLatin1Char('S'));
    QCOMPARE(tableDump(tmp.path(),
                       QStringLiteral("SELECT count(*) FROM bill WHERE 收支單號 = '%1'").arg(key)),
             QStringList{QStringLiteral("1")});

    // Dates are ISO text within the weeks before the reference date; the newest vouchers are
    // unapproved.
    const QStringList range =
        tableDump(tmp.path(), QStringLiteral("SELECT min(輸入日期), max(輸入日期) FROM iof"));
    const QDate first =
        QDate::fromString(range.first().section(QLatin1Char('|'), 0, 0), Qt::ISODate);
    const QDate last =
        QDate::fromString(range.first().section(QLatin1Char('|'), 1, 1), Qt::ISODate);
    QVERIFY(first.isValid() && last.isValid());
    QVERIFY(first >= kReference.addDays(-70));
    QVERIFY(last <= kReference && last >= kReference.addDays(-3));
    QVERIFY(tableDump(tmp.path(), QStringLiteral("SELECT 方式 FROM iof WHERE 輸入日期 = '%1'")
                                      .arg(last.toString(Qt::ISODate)))
                .contains(QStringLiteral("-1")));

    // Receivables and payables: Let "0", open and written-off instalments and additions.
    QCOMPARE(
        tableDump(tmp.path(),
                  QStringLiteral("SELECT DISTINCT Let FROM ri UNION SELECT DISTINCT Let FROM ro")),
        QStringList{QStringLiteral("0")});
    for (const char* t : {"ri期", "ro期"}) {
        const QStringList done = tableDump(
            tmp.path(),
            QStringLiteral("SELECT 處理, count(*) FROM \"%1\" GROUP BY 處理 ORDER BY 處理")
                .arg(QString::fromUtf8(t)));
        QCOMPARE(done.size(), 2);  // both open (0) and written off (-1)
    }
    QVERIFY(!tableDump(tmp.path(), QStringLiteral("SELECT * FROM ri加 WHERE 處理 = 0")).isEmpty());
    QVERIFY(!tableDump(tmp.path(), QStringLiteral("SELECT * FROM ro加 WHERE 處理 = 0")).isEmpty());
    // A write-off by a voucher of the combined bill carries that bill's number.
    QVERIFY(!tableDump(tmp.path(),
                       QStringLiteral("SELECT 1 FROM ro期 JOIN iofs ON iofs.單號 = ro期.沖帳單號 "
                                      "JOIN bill ON bill.收支單號 = iofs.多單號 "
                                      "WHERE ro期.沖帳票據號碼 = bill.票據號碼"))
                 .isEmpty());
    // A cheque account with ps.
    QVERIFY(!tableDump(tmp.path(), QStringLiteral("SELECT * FROM bbank WHERE ps > 0")).isEmpty());
    // Word lists are ranked from 1.
    QCOMPARE(tableDump(tmp.path(), QStringLiteral("SELECT min(id) FROM use")),
             QStringList{QStringLiteral("1")});
    // Income accounts carry incom -1.
    QCOMPARE(tableDump(tmp.path(), QStringLiteral("SELECT incom, acc FROM acc WHERE id = '4101'")),
             QStringList{QStringLiteral("-1|工程收入")});
    QCOMPARE(tableDump(tmp.path(), QStringLiteral("SELECT incom, acc FROM acc WHERE id = '6101'")),
             QStringList{QStringLiteral("0|薪資支出")});
}

void TestAdmin::demoIsTheSameForTheSameDate() {
    QTemporaryDir a, b, c;
    init(a.path(), true);
    init(b.path(), true);
    const QString sql = QStringLiteral("SELECT * FROM iof ORDER BY 單號");
    QCOMPARE(tableDump(a.path(), sql), tableDump(b.path(), sql));
    QCOMPARE(tableDump(a.path(), QStringLiteral("SELECT * FROM bill ORDER BY 票據號碼")),
             tableDump(b.path(), QStringLiteral("SELECT * FROM bill ORDER BY 票據號碼")));

    // Another date moves the books with it; era year 100 and later give seven-digit prefixes.
    InitOptions o;
    o.dir = c.path();
    o.demo = true;
    o.reference = QDate(2011, 1, 20);
    initFolder(o);
    QVERIFY(checkFolder(c.path()).ok());
    const LedgerReport r = checkLedgers(c.path());
    QVERIFY2(r.problems.isEmpty(), qPrintable(problems(r.problems)));
    QVERIFY(!tableDump(c.path(), QStringLiteral("SELECT 單號 FROM iof WHERE 單號 LIKE '99%'"))
                 .isEmpty());
    QVERIFY(!tableDump(c.path(), QStringLiteral("SELECT 單號 FROM iof WHERE 單號 LIKE '1000%'"))
                 .isEmpty());
}

void TestAdmin::demoEmployeesHaveDifferentRights() {
    QTemporaryDir tmp;
    init(tmp.path(), true);
    QHash<QString, Employee> byLogin;
    for (const auto& e : listEmployees(tmp.path()))
        byLogin.insert(e.login, e);
    QCOMPARE(byLogin.value(QStringLiteral("admin")).rights, 4194303);
    QCOMPARE(byLogin.value(QStringLiteral("chen")).rights, 1);
    QCOMPARE(byLogin.value(QStringLiteral("lin")).rights, 5405);
    QCOMPARE(byLogin.value(QStringLiteral("huang")).rights, 8191);
    QCOMPARE(byLogin.value(QStringLiteral("wang")).rights, 257);
    QCOMPARE(byLogin.value(QStringLiteral("guest")).rights, 0);
    QVERIFY(!byLogin.value(QStringLiteral("guest")).hasPassword);
    // lin approves (digit 3) and writes off (digit 4); chen only enters vouchers.
    QCOMPARE(rightsString(5405).left(4), QStringLiteral("1011"));
    QCOMPARE(rightsString(1).left(4), QStringLiteral("1000"));

    auto general = Database::open(QDir(tmp.path()).filePath(QStringLiteral("voro3.mdb")),
                                  schema::general().connect());
    QVERIFY(audit::passwordMatches(
        general->scalar(QStringLiteral("SELECT pass FROM 員工 WHERE 英文姓名 = 'chen'")).toString(),
        QStringLiteral("1234")));
    QVERIFY(general->scalar(QStringLiteral("SELECT count(*) FROM 廠商")).toInt() >= 10);
}

void TestAdmin::employeeAddPasswordRightsRoundTrip() {
    QTemporaryDir tmp;
    init(tmp.path());
    addEmployee(tmp.path(), QStringLiteral("B007"), QStringLiteral("李小龍"), QStringLiteral("lee"),
                QStringLiteral("pw1"), 5);
    addEmployee(tmp.path(), QStringLiteral("B008"), QStringLiteral("無密碼"),
                QStringLiteral("nopass"), QString(), 1);
    auto staff = listEmployees(tmp.path());
    QCOMPARE(staff.size(), 3);
    QCOMPARE(staff.at(1).login, QStringLiteral("lee"));
    QCOMPARE(staff.at(1).name, QStringLiteral("李小龍"));
    QCOMPARE(staff.at(1).rights, 5);
    QVERIFY(staff.at(1).hasPassword);
    QVERIFY(!staff.at(2).hasPassword);

    setEmployeePassword(tmp.path(), QStringLiteral("lee"), QStringLiteral("新密碼"));
    setEmployeeRights(tmp.path(), QStringLiteral("lee"), 4194303);
    auto general = Database::open(QDir(tmp.path()).filePath(QStringLiteral("voro3.mdb")),
                                  schema::general().connect());
    store::Recordset rs = general->openRecordset(
        QStringLiteral("SELECT 中文姓名, 英文姓名, pass, AccS FROM 員工 WHERE 英文姓名 = 'lee'"),
        store::RecordsetType::Snapshot);
    QCOMPARE(rs.RecordCount(), 1);
    QVERIFY(audit::isHashed(rs.text(2)) && audit::passwordMatches(rs.text(2), "新密碼"));
    QCOMPARE(rs.field(3).toLongLong(), 4194303);
    rs.Close();
    setEmployeeRights(tmp.path(), QStringLiteral("lee"), 0);
    QCOMPARE(listEmployees(tmp.path()).at(1).rights, 0);
    QVERIFY(checkFolder(tmp.path()).ok());
}

void TestAdmin::employeeMistakesAreRefused() {
    QTemporaryDir tmp;
    init(tmp.path());
    // The login query ignores case, so a login differing only in case would clash.
    QVERIFY_THROWS_EXCEPTION(AdminError,
                             addEmployee(tmp.path(), QStringLiteral("B001"), QStringLiteral("重複"),
                                         QStringLiteral("ADMIN"), QStringLiteral("x"), 1));
    QVERIFY_THROWS_EXCEPTION(AdminError,
                             addEmployee(tmp.path(), QStringLiteral("A001"), QStringLiteral("重號"),
                                         QStringLiteral("other"), QStringLiteral("x"), 1));
    QVERIFY_THROWS_EXCEPTION(
        AdminError, setEmployeePassword(tmp.path(), QStringLiteral("nobody"), QStringLiteral("x")));
    QVERIFY_THROWS_EXCEPTION(AdminError,
                             setEmployeeRights(tmp.path(), QStringLiteral("nobody"), 1));
    QVERIFY_THROWS_EXCEPTION(UsageError, parseRights(QStringLiteral("4194304")));
    QVERIFY_THROWS_EXCEPTION(UsageError, parseRights(QStringLiteral("-1")));
    QVERIFY_THROWS_EXCEPTION(UsageError, parseRights(QStringLiteral("abc")));
    QCOMPARE(parseRights(QStringLiteral("4194303")), 4194303);
    QTemporaryDir empty;
    QVERIFY_THROWS_EXCEPTION(AdminError, listEmployees(empty.path()));
    QCOMPARE(listEmployees(tmp.path()).size(), 1);
}

void TestAdmin::setPathWritesOneCrLfLine() {
    QTemporaryDir program, data;
    init(data.path());
    QCOMPARE(writePathFile(program.path(), data.path() + QStringLiteral("/")), QString());
    QFile ini(QDir(program.path()).filePath(QStringLiteral("accpath.ini")));
    QVERIFY(ini.open(QIODevice::ReadOnly));
    const QByteArray bytes = ini.readAll();
    ini.close();
    QCOMPARE(bytes, QDir::cleanPath(data.path()).toUtf8() + "\r\n");
    QCOMPARE(bytes.count('\n'), 1);

    // A folder without the files still gets written, with a warning; a missing program
    // folder is refused.
    const QString warning =
        writePathFile(program.path(), program.filePath(QStringLiteral("新資料夾")));
    QVERIFY(!warning.isEmpty());
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QCOMPARE(ini.readAll(), (program.filePath(QStringLiteral("新資料夾"))).toUtf8() + "\r\n");
    ini.close();
    QVERIFY_THROWS_EXCEPTION(
        AdminError, writePathFile(program.filePath(QStringLiteral("missing")), data.path()));

    // A server's location is written as given; one holding a password is refused and the file
    // keeps what it had.
    const QString server = QStringLiteral("postgresql://db.office.lan:5433/books?sslmode=require");
    QCOMPARE(writePathFile(program.path(), QStringLiteral(" ") + server), QString());
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QCOMPARE(ini.readAll(), server.toUtf8() + "\r\n");
    ini.close();
    for (const QString& secret : {QStringLiteral("postgresql://orvik:pw@db.office.lan/books"),
                                  QStringLiteral("postgres://db/books?password=pw")}) {
        QVERIFY_THROWS_EXCEPTION(UsageError, writePathFile(program.path(), secret));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QCOMPARE(ini.readAll(), server.toUtf8() + "\r\n");
        ini.close();
    }
}

void TestAdmin::upgradeBringsAnUnstampedFolderToTheCurrentVersion() {
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    // acc.mdb: ri and ro without Let (a trailing column), bank without 摘要 (a middle column).
    writeOldFile(dir.filePath(QStringLiteral("acc.mdb")), schema::acc(),
                 [](schema::Table& t) {
                     dropColumn(t, "ri", "Let");
                     dropColumn(t, "ro", "Let");
                     dropColumn(t, "bank", "摘要");
                 },
                 {QStringLiteral("INSERT INTO ri (id, 收名稱) VALUES ('R1', '舊應收')"),
                  QStringLiteral(
                      "INSERT INTO bank (id, Bid, bank, 存入, 異動日期, 異動金額, 票據號碼, bala) "
                      "VALUES (1, '123', '臺灣銀行', -1, '2010-05-01', 5000, 'AB1', 5000)"),
                  QStringLiteral("INSERT INTO iof (單號, 方式, 金額) VALUES ('990101001', 0, 100)"),
                  // An index of the defined name but not unique, as an older tool made it.
                  QStringLiteral("CREATE INDEX iof_no ON iof (單號)")});
    // voro3.mdb: 員工 without AccS.
    writeOldFile(dir.filePath(QStringLiteral("voro3.mdb")), schema::general(),
                 [](schema::Table& t) { dropColumn(t, "員工", "AccS"); },
                 {QStringLiteral("INSERT INTO super VALUES ('voro', 'x')"),
                  QStringLiteral("INSERT INTO 員工 (員工編號, 中文姓名, 英文姓名, pass) VALUES "
                                 "('1', '老員工', 'old', 'plain-老密碼-2718')")});
    writeOldFile(dir.filePath(QStringLiteral("pt.mdb")), schema::print(), [](schema::Table&) {},
                 {QStringLiteral("INSERT INTO company VALUES ('舊公司')")});

    const CheckResult old = checkFolder(tmp.path());
    QVERIFY(!old.ok());
    QVERIFY(old.hints.contains(QStringLiteral("upgrade")));
    QVERIFY2(problems(old.problems).contains(QStringLiteral("acc.mdb: 檔案沒有密碼")),
             qPrintable(problems(old.problems)));
    QVERIFY2(problems(old.problems).contains(QStringLiteral("AccS")),
             qPrintable(problems(old.problems)));
    const auto results = upgradeFolder(tmp.path());
    QCOMPARE(results.size(), 3);
    for (const auto& r : results) {
        QCOMPARE(r.from, 0);
        QCOMPARE(r.to, schema::kVersion);
        QVERIFY(!r.actions.isEmpty());
    }
    const CheckResult c = checkFolder(tmp.path());
    QVERIFY2(c.ok(), qPrintable(problems(c.problems)));

    // The rows survived in their columns; added columns got the program's values.
    QCOMPARE(tableDump(tmp.path(), QStringLiteral("SELECT id, 收名稱, Let FROM ri")),
             QStringList{QStringLiteral("R1|舊應收|0")});
    QCOMPARE(tableDump(tmp.path(), QStringLiteral("SELECT * FROM bank")),
             QStringList{QStringLiteral("1|123|臺灣銀行|-1|2010-05-01|5000||AB1|5000")});
    QCOMPARE(tableDump(tmp.path(), QStringLiteral("SELECT 單號, 金額 FROM iof")),
             QStringList{QStringLiteral("990101001|100")});
    const auto staff = listEmployees(tmp.path());
    QCOMPARE(staff.size(), 1);
    QCOMPARE(staff.at(0).rights, 1);
    // The login password is its hash now, recorded as such, and gone from the file as typed.
    QFile general(dir.filePath(QStringLiteral("voro3.mdb")));
    QVERIFY(general.open(QIODevice::ReadOnly));
    QVERIFY(!general.readAll().contains(QStringLiteral("plain-老密碼-2718").toUtf8()));
    const QStringList pass =
        tableDump(tmp.path(), QStringLiteral("SELECT pass FROM 員工"), QStringLiteral("voro3.mdb"));
    QCOMPARE(pass.size(), 1);
    QVERIFY(audit::passwordMatches(pass.at(0), QStringLiteral("plain-老密碼-2718")));
    QCOMPARE(tableDump(tmp.path(), QStringLiteral("SELECT kind, row_key FROM audit"),
                       QStringLiteral("voro3.mdb")),
             QStringList{QStringLiteral("password-change|old")});
    // The file passwords were set: the files now open only with them.
    QVERIFY_THROWS_EXCEPTION(store::EngineError,
                             Database::open(dir.filePath(QStringLiteral("acc.mdb"))));
    QVERIFY_THROWS_EXCEPTION(store::EngineError,
                             Database::open(dir.filePath(QStringLiteral("voro3.mdb"))));
    // Indexes are in place: the unique voucher number holds.
    auto acc = Database::open(dir.filePath(QStringLiteral("acc.mdb")), schema::acc().connect());
    QVERIFY_THROWS_EXCEPTION(
        store::EngineError,
        acc->execute(QStringLiteral("INSERT INTO iof (單號) VALUES ('990101001')")));
}

void TestAdmin::upgradeOfACurrentFolderChangesNothing() {
    QTemporaryDir tmp;
    init(tmp.path(), true);
    const QString before =
        tableDump(tmp.path(), QStringLiteral("SELECT * FROM iof ORDER BY 單號")).join('\n');
    const auto results = upgradeFolder(tmp.path());
    for (const auto& r : results) {
        QCOMPARE(r.from, schema::kVersion);
        QCOMPARE(r.to, schema::kVersion);
        QVERIFY(r.actions.isEmpty());
    }
    QCOMPARE(tableDump(tmp.path(), QStringLiteral("SELECT * FROM iof ORDER BY 單號")).join('\n'),
             before);
}

void TestAdmin::upgradeRefusesANewerFolder() {
    QTemporaryDir tmp;
    init(tmp.path());
    {
        auto pt = Database::open(QDir(tmp.path()).filePath(QStringLiteral("pt.mdb")));
        pt->setMeta(QStringLiteral("schema_version"), QString::number(schema::kVersion + 1));
    }
    try {
        upgradeFolder(tmp.path());
        QFAIL("a newer folder must be refused");
    } catch (const AdminError& e) {
        QVERIFY(e.message().contains(QStringLiteral("pt.mdb")));
    }
    auto acc = Database::open(QDir(tmp.path()).filePath(QStringLiteral("acc.mdb")),
                              schema::acc().connect());
    QCOMPARE(schema::versionOf(*acc), schema::kVersion);
}

void TestAdmin::upgradeStepsReachTheCurrentVersion() {
    const auto& steps = upgradeSteps();
    QCOMPARE(steps.size(), schema::kVersion);
    for (int i = 0; i < steps.size(); ++i)
        QCOMPARE(steps.at(i).from, i);
}

void TestAdmin::upgradeFromVersionOneKeepsNumbersInOrderAcrossEraYear100() {
    QTemporaryDir tmp;
    // Demo books of the weeks around 民國 100: nine-character numbers up to 2010-12-31, ten
    // from 2011-01-01.
    InitOptions o;
    o.dir = tmp.path();
    o.demo = true;
    o.reference = QDate(2011, 1, 20);
    initFolder(o);
    makeVersionOne(tmp.path());

    const CheckResult old = checkFolder(tmp.path());
    QVERIFY(problems(old.problems).contains(QStringLiteral("缺少索引 iof_number_order")));
    QVERIFY(old.hints.contains(QStringLiteral("upgrade")));
    const auto results = upgradeFolder(tmp.path());
    QCOMPARE(results.size(), 3);
    for (const auto& r : results) {
        QCOMPARE(r.from, 1);
        QCOMPARE(r.to, schema::kVersion);
        QCOMPARE(r.actions.join('\n').contains(QStringLiteral("iof_number_order")),
                 r.fileName == QStringLiteral("acc.mdb"));
    }
    const CheckResult c = checkFolder(tmp.path());
    QVERIFY2(c.ok(), qPrintable(problems(c.problems)));

    // Number order is the order of the days, through the change of width.
    const QStringList byNumber =
        tableDump(tmp.path(), QStringLiteral("SELECT 單號 FROM iof ORDER BY length(單號), 單號"));
    QCOMPARE(byNumber,
             tableDump(tmp.path(), QStringLiteral("SELECT 單號 FROM iof ORDER BY 輸入日期, 單號")));
    QVERIFY(byNumber.first().startsWith(QStringLiteral("99")));
    QVERIFY(byNumber.last().startsWith(QStringLiteral("100")));
    QVERIFY(byNumber !=
            tableDump(tmp.path(), QStringLiteral("SELECT 單號 FROM iof ORDER BY 單號")));
}

void TestAdmin::upgradeRefusesFilesOfAnotherKindAndWritesNothing_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("kind");
    QTest::newRow("empty acc.mdb") << "acc.mdb"
                                   << "empty";
    QTest::newRow("another program's voro3.mdb") << "voro3.mdb"
                                                 << "foreign";
    QTest::newRow("acc.mdb without its core tables") << "acc.mdb"
                                                     << "partial";
    QTest::newRow("text as pt.mdb") << "pt.mdb"
                                    << "text";
}

void TestAdmin::upgradeRefusesFilesOfAnotherKindAndWritesNothing() {
    QFETCH(QString, file);
    QFETCH(QString, kind);
    QTemporaryDir tmp;
    init(tmp.path(), true);
    makeVersionOne(tmp.path());  // the other two files would be upgraded
    const QString path = QDir(tmp.path()).filePath(file);
    QVERIFY(QFile::remove(path));
    if (kind == QLatin1String("text")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("Orvik books\nnot a database at all\n");
    } else if (kind == QLatin1String("empty")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
    } else {
        auto db = Database::create(path);
        db->execute(kind == QLatin1String("foreign")
                        ? QStringLiteral("CREATE TABLE notes (id INTEGER, body TEXT)")
                        : QStringLiteral("CREATE TABLE prj (id TEXT, prj TEXT)"));
    }
    const auto before = fileBytes(tmp.path());
    try {
        upgradeFolder(tmp.path());
        QFAIL("a file of another kind must stop the upgrade");
    } catch (const AdminError& e) {
        QVERIFY2(e.message().contains(file), qPrintable(e.message()));
        QVERIFY(!e.message().contains(QLatin1Char('\n')));
    }
    QVERIFY(fileBytes(tmp.path()) == before);
    const CheckResult c = checkFolder(tmp.path());
    QVERIFY(!c.ok());
    QVERIFY2(problems(c.problems).contains(file), qPrintable(problems(c.problems)));
}

void TestAdmin::initForceAndUpgradeRefuseBooksInUse_data() {
    QTest::addColumn<bool>("upgrade");
    QTest::addColumn<bool>("programCopy");  // else a bare SQLite reader inside a transaction
    QTest::newRow("init --force, a copy of the program sitting idle") << false << true;
    QTest::newRow("init --force, an SQLite tool reading") << false << false;
    QTest::newRow("upgrade, a copy of the program sitting idle") << true << true;
}

void TestAdmin::initForceAndUpgradeRefuseBooksInUse() {
    QFETCH(bool, upgrade);
    QFETCH(bool, programCopy);
    QTemporaryDir tmp;
    init(tmp.path(), true);
    if (upgrade)
        makeVersionOne(tmp.path());
    const QString acc = QDir(tmp.path()).filePath(QStringLiteral("acc.mdb"));
    const auto run = [&] {
        if (upgrade)
            upgradeFolder(tmp.path());
        else
            init(tmp.path(), false, true);
    };
    const QString reader = QStringLiteral("reader-%1").arg(QTest::currentDataTag());
    {
        store::DatabasePtr copy;
        QSqlDatabase tool;
        if (programCopy) {
            copy = Database::open(acc, schema::acc().connect());
        } else {
            tool = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), reader);
            tool.setDatabaseName(acc);
            QVERIFY(tool.open());
            QSqlQuery q(tool);
            QVERIFY(q.exec(QStringLiteral("BEGIN")));
            QVERIFY(q.exec(QStringLiteral("SELECT count(*) FROM iof")) && q.next());
        }
        const auto before = fileBytes(tmp.path());
        try {
            run();
            QFAIL("books in use must not be replaced or upgraded");
        } catch (const AdminError& e) {
            QVERIFY2(e.message().contains(QStringLiteral("另一個 Orvik 程式")) &&
                         e.message().contains(QStringLiteral("acc.mdb")),
                     qPrintable(e.message()));
        }
        QVERIFY(fileBytes(tmp.path()) == before);
        QCOMPARE(listEmployees(tmp.path()).size(), 6);
        if (tool.isOpen()) {
            QSqlQuery(tool).exec(QStringLiteral("ROLLBACK"));
            tool.close();
        }
    }
    QSqlDatabase::removeDatabase(reader);
    // Once nobody has them open, the same command goes through.
    run();
    QVERIFY(checkFolder(tmp.path()).ok());
    QCOMPARE(listEmployees(tmp.path()).size(), upgrade ? 6 : 1);
}

void TestAdmin::initAndBackupKeepTheBooksPrivate() {
    // The usual umask: without care, books and backups would be readable by every user.
    const mode_t umaskBefore = ::umask(022);
    QTemporaryDir tmp;
    const QString books = tmp.filePath(QStringLiteral("srv/帳務"));
    init(books);
    QCOMPARE(permissions(tmp.filePath(QStringLiteral("srv"))), 0770u);
    QCOMPARE(permissions(books), 0770u);
    for (const auto* f : schema::files())
        QCOMPARE(permissions(filePath(books, *f)), 0660u);

    // A backup keeps each file's own permissions, here a stricter one on acc.mdb.
    QVERIFY(::chmod(QFile::encodeName(filePath(books, schema::acc())).constData(), 0640) == 0);
    const QString copy = tmp.filePath(QStringLiteral("backup/day1"));
    backupFolder(books, copy, false);
    QCOMPARE(permissions(tmp.filePath(QStringLiteral("backup"))), 0770u);
    QCOMPARE(permissions(copy), 0770u);
    QCOMPARE(permissions(filePath(copy, schema::acc())), 0640u);
    QCOMPARE(permissions(filePath(copy, schema::general())), 0660u);
    QCOMPARE(permissions(filePath(copy, schema::print())), 0660u);
    ::umask(umaskBefore);
}

void TestAdmin::argumentsThatAreNotUtf8AreRefused_data() {
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<bool>("valid");
    QTest::newRow("Chinese in UTF-8") << QByteArray("密碼") << true;
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("Latin-1 e acute") << QByteArray("caf\xe9") << false;
    QTest::newRow("Big5 of 密碼") << QByteArray("\xb1\x4b\xbd\x58") << false;
    QTest::newRow("cut-off character") << QByteArray("ab\xe5\xaf") << false;
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << false;
}

void TestAdmin::argumentsThatAreNotUtf8AreRefused() {
    QFETCH(QByteArray, password);
    QFETCH(bool, valid);
    const char* argv[] = {"orvik-admin", "employee", "password",
                          "/srv/帳",     "admin",    password.constData()};
    QString error;
    const auto args = decodeArguments(6, argv, &error);
    QCOMPARE(args.has_value(), valid);
    if (valid) {
        QCOMPARE(args->size(), 5);
        QCOMPARE(args->at(2), QStringLiteral("/srv/帳"));
        QCOMPARE(args->at(4), QString::fromUtf8(password));
    } else {
        QVERIFY2(error.contains(QStringLiteral("第 5 個參數")) &&
                     error.contains(QStringLiteral("UTF-8")),
                 qPrintable(error));
    }
}

void TestAdmin::backupMakesFilesThatPassCheck() {
    QTemporaryDir tmp, dest;
    init(tmp.path(), true);
    const QString target = dest.filePath(QStringLiteral("copy"));
    const BackupReport report = backupFolder(tmp.path(), target, false);
    // What was copied, read back from the copies.
    QCOMPARE(report.files.size(), 3);
    const int vouchers =
        tableDump(tmp.path(), QStringLiteral("SELECT count(*) FROM iof")).first().toInt();
    for (const auto& f : report.files) {
        QCOMPARE(f.check, QStringLiteral("ok"));
        QVERIFY(f.pages > 0);
        QCOMPARE(f.bytes, f.pages * f.pageSize);
        QCOMPARE(f.bytes, QFileInfo(QDir(target).filePath(f.fileName)).size());
    }
    QCOMPARE(report.files.at(0).fileName, QStringLiteral("acc.mdb"));
    QCOMPARE(report.files.at(0).rows.at(0),
             (QPair<QString, qint64>(QStringLiteral("iof"), vouchers)));
    QCOMPARE(report.files.at(1).rows.at(0), (QPair<QString, qint64>(QStringLiteral("員工"), 6)));
    QVERIFY(report.lines().at(0).contains(QStringLiteral("iof %1 列").arg(vouchers)));
    const CheckResult c = checkFolder(target);
    QVERIFY2(c.ok(), qPrintable(problems(c.problems)));
    QCOMPARE(tableDump(target, QStringLiteral("SELECT * FROM iof ORDER BY 單號")),
             tableDump(tmp.path(), QStringLiteral("SELECT * FROM iof ORDER BY 單號")));
    QCOMPARE(QDir(target).entryList(QDir::Files | QDir::Hidden).size(), 3);
    // A second backup into the same place needs --force.
    QVERIFY_THROWS_EXCEPTION(AdminError, backupFolder(tmp.path(), target, false));
    backupFolder(tmp.path(), target, true);
    QVERIFY(checkFolder(target).ok());
    QVERIFY_THROWS_EXCEPTION(AdminError, backupFolder(tmp.path(), tmp.path(), true));
}

void TestAdmin::backupWhileAnotherCopyIsWriting() {
    QTemporaryDir tmp, dest;
    init(tmp.path(), true);
    const int before =
        tableDump(tmp.path(), QStringLiteral("SELECT count(*) FROM iof")).first().toInt();
    auto writer = Database::open(QDir(tmp.path()).filePath(QStringLiteral("acc.mdb")),
                                 schema::acc().connect());
    writer->beginTrans();
    writer->execute(
        QStringLiteral("INSERT INTO iof (單號, 方式, 金額) VALUES ('1150315999', -1, 1)"));
    // The copy is the last committed state; the writer's open transaction is not in it.
    backupFolder(tmp.path(), dest.path(), false);
    writer->commitTrans();
    QVERIFY(checkFolder(dest.path()).ok());
    QCOMPARE(tableDump(dest.path(), QStringLiteral("SELECT count(*) FROM iof")).first().toInt(),
             before);
    QCOMPARE(tableDump(tmp.path(), QStringLiteral("SELECT count(*) FROM iof")).first().toInt(),
             before + 1);
}

void TestAdmin::backupBeginsAgainAfterASaveAndGivesUpUnderEndlessSaves() {
    QTemporaryDir tmp, dest;
    init(tmp.path());
    GenerateOptions g;
    g.dir = tmp.path();
    g.vouchers = 30000;
    g.years = 3;
    g.reference = kReference;
    generate(g);
    // Steps far too short to copy the file at once, and a pause that another copy's save
    // always falls into.
    BackupPace pace;
    pace.stepMs = {1};
    pace.pauseMs = 30;

    // Saves for a while: each one begins the copy again, and once they stop the copy goes
    // through, holding every voucher with its ledger row.
    pace.restartsPerLevel = 1000;
    {
        Saver saver(tmp.path(), QStringLiteral("1201"), std::chrono::milliseconds(400));
        saver.waitForFirst();
        const BackupReport r =
            backupFolder(tmp.path(), dest.filePath(QStringLiteral("a")), false, pace);
        QVERIFY(r.files.at(0).restarts >= 1);
        QVERIFY(r.files.at(0).steps > 1);
        QCOMPARE(r.files.at(0).check, QStringLiteral("ok"));
    }
    const QString a = dest.filePath(QStringLiteral("a"));
    QVERIFY(checkFolder(a).ok());
    const QStringList saved =
        tableDump(a, QStringLiteral("SELECT count(*) FROM iof WHERE 單號 LIKE '1201%'"));
    QVERIFY(saved.first().toInt() >= 1);
    QCOMPARE(tableDump(a, QStringLiteral("SELECT count(*) FROM cash WHERE 收支單號 LIKE '1201%'")),
             saved);

    // Saves without end: after its restarts the backup gives up and leaves nothing behind.
    pace.restartsPerLevel = 2;
    {
        Saver saver(tmp.path(), QStringLiteral("1202"), std::chrono::minutes(5));
        saver.waitForFirst();
        const QString b = dest.filePath(QStringLiteral("b"));
        try {
            backupFolder(tmp.path(), b, false, pace);
            QFAIL("a backup under endless saves must give up");
        } catch (const AdminError& e) {
            QVERIFY2(e.message().startsWith(QStringLiteral("acc.mdb")) &&
                         e.message().contains(QStringLiteral("重新開始 2 次")),
                     qPrintable(e.message()));
        }
        QCOMPARE(QDir(b).entryList(QDir::Files | QDir::Hidden), QStringList());
    }
}

void TestAdmin::checkReportsWhatDiffers() {
    QTemporaryDir tmp;
    init(tmp.path());
    {
        auto acc = Database::open(QDir(tmp.path()).filePath(QStringLiteral("acc.mdb")),
                                  schema::acc().connect());
        acc->execute(QStringLiteral("DROP INDEX iof_no"));
        acc->execute(QStringLiteral("CREATE INDEX iof_no ON iof (單號)"));  // no longer unique
        acc->execute(QStringLiteral("DROP INDEX cash_id"));
        acc->execute(QStringLiteral("DROP INDEX iof_number_order"));
        acc->execute(QStringLiteral("CREATE INDEX iof_number_order ON iof (單號)"));  // text order
        acc->execute(QStringLiteral("ALTER TABLE prj ADD COLUMN extra TEXT"));
    }
    QFile::remove(QDir(tmp.path()).filePath(QStringLiteral("pt.mdb")));
    const CheckResult c = checkFolder(tmp.path());
    QVERIFY(!c.ok());
    const QString all = problems(c.problems);
    QVERIFY2(all.contains(QStringLiteral("iof_no")), qPrintable(all));
    QVERIFY2(all.contains(QStringLiteral("唯一索引")), qPrintable(all));
    QVERIFY2(all.contains(QStringLiteral("cash_id")), qPrintable(all));
    QVERIFY2(all.contains(QStringLiteral(
                 "索引 iof_number_order 應為索引（length(單號),單號），實為索引（單號）")),
             qPrintable(all));
    QVERIFY2(all.contains(QStringLiteral("extra")), qPrintable(all));
    QVERIFY2(all.contains(QStringLiteral("pt.mdb")), qPrintable(all));
    for (const QString& line : c.problems)
        QVERIFY(!line.contains(QLatin1Char('\n')));
}

void TestAdmin::generateGivesUniqueOrderedNumbersAndConsistentLedgers() {
    QTemporaryDir tmp;
    init(tmp.path());
    GenerateOptions o;
    o.dir = tmp.path();
    o.vouchers = 2000;
    o.seed = 7;
    o.reference = kReference;
    const GenerateResult g = generate(o);
    QCOMPARE(g.vouchers, 2000);
    QVERIFY(checkFolder(tmp.path()).ok());
    const LedgerReport r = checkLedgers(tmp.path());
    QVERIFY2(r.problems.isEmpty(), qPrintable(problems(r.problems)));
    QCOMPARE(r.vouchers, 2000);
    QCOMPARE(r.cashRows, g.cashRows);
    QCOMPARE(qint64(r.bills), g.bills);
    for (int status : {-3, -2, -1, 0, 1, 2, 3, 4})
        QVERIFY2(r.statusCounts.value(status) > 0, qPrintable(QString::number(status)));
    // Spread over about twenty years, in number order within each day.
    const QStringList range =
        tableDump(tmp.path(), QStringLiteral("SELECT min(輸入日期), max(輸入日期) FROM iof"));
    const QDate oldest =
        QDate::fromString(range.first().section(QLatin1Char('|'), 0, 0), Qt::ISODate);
    const QDate newest =
        QDate::fromString(range.first().section(QLatin1Char('|'), 1, 1), Qt::ISODate);
    QVERIFY(oldest >= QDate(2006, 3, 16) && oldest < QDate(2007, 1, 1));
    QVERIFY(newest <= kReference && newest > kReference.addDays(-20));
    QCOMPARE(tableDump(tmp.path(),
                       QStringLiteral("SELECT count(*) FROM iof a JOIN iof b ON a.rowid < b.rowid "
                                      "AND a.輸入日期 = b.輸入日期 AND a.單號 > b.單號")),
             QStringList{QStringLiteral("0")});
    // Purposes come from the vocabulary.
    QVERIFY(tableDump(tmp.path(), QStringLiteral("SELECT DISTINCT 用途說明 FROM iof")).size() > 10);

    // The same seed gives the same data.
    QTemporaryDir again;
    init(again.path());
    o.dir = again.path();
    generate(o);
    QCOMPARE(tableDump(again.path(), QStringLiteral("SELECT * FROM iof ORDER BY rowid")),
             tableDump(tmp.path(), QStringLiteral("SELECT * FROM iof ORDER BY rowid")));
}

void TestAdmin::generateContinuesAnExistingFolder() {
    QTemporaryDir tmp;
    init(tmp.path(), true);
    GenerateOptions o;
    o.dir = tmp.path();
    o.vouchers = 30000;
    o.years = 2;
    o.reference = kReference;
    const GenerateResult g = generate(o);
    QVERIFY(g.combinedLinks > 0);
    QVERIFY(checkFolder(tmp.path()).ok());
    const LedgerReport r = checkLedgers(tmp.path());
    QVERIFY2(r.problems.isEmpty(), qPrintable(problems(r.problems.mid(0, 20))));
    QVERIFY(r.combinedKeys > 1);
    QVERIFY(r.vouchers > 30000);

    QTemporaryDir empty;
    o.dir = empty.path();
    QVERIFY_THROWS_EXCEPTION(AdminError, generate(o));
}

QTEST_GUILESS_MAIN(TestAdmin)
#include "tst_admin.moc"
