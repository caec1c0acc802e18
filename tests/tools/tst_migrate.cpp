// Moving the books between a folder and the other side (the server in the pg run of the tests,
// another folder in the sqlite run), and the administrator's commands on whatever holds them.

#include <QUuid>
#include <QtTest>

#include "Admin.h"
#include "AdminError.h"
#include "Audit.h"
#include "Cli.h"
#include "Database.h"
#include "Migrate.h"
#include "Passwords.h"
#include "Recordset.h"
#include "Schema.h"
#include "TestLocation.h"
#include "Upgrade.h"

using namespace orvik;
using namespace orvik::admin;
namespace schema = orvik::store::schema;

namespace {

store::DatabasePtr openAt(const QString& location, const schema::File& f) {
    return store::Database::open(store::databasePath(location, f.fileName), f.connect());
}

// Every row of every table of the books, in row-key order, each as one line of text: NULL and
// an empty text apart, doubles with every digit.
QStringList everyRow(const QString& location) {
    QStringList out;
    for (const auto* f : schema::files()) {
        auto db = openAt(location, *f);
        const int version = schema::versionOf(*db);
        out << QStringLiteral("%1 version %2").arg(f->fileName).arg(version);
        for (const auto& t : f->tables) {
            if (t.since > version)
                continue;
            QStringList cols;
            for (const auto& c : t.columns)
                cols << QStringLiteral("\"%1\"").arg(c.name);
            store::RowReader rows(*db, QStringLiteral("SELECT rowid, %1 FROM \"%2\" ORDER BY rowid")
                                           .arg(cols.join(QStringLiteral(", ")), t.name));
            while (rows.next()) {
                QStringList values{t.name, QString::number(rows.integer(0))};
                for (int i = 0; i < t.columns.size(); ++i) {
                    const QVariant v = rows.value(i + 1);
                    if (v.isNull())
                        values << QStringLiteral("NULL");
                    else if (t.columns.at(i).type == schema::ColType::Double)
                        values << QString::number(v.toDouble(), 'g', 17);
                    else
                        values << QLatin1Char('[') + v.toString() + QLatin1Char(']');
                }
                out << values.join(QLatin1Char('|'));
            }
        }
    }
    return out;
}

// The demo's books and what an office's books hold besides: text that COPY must escape, NULL
// beside empty text, an amount past a double's whole numbers, a fraction, a gap in the row
// keys, and audit trails in both files.
void fillFixture(const QString& dir) {
    InitOptions o;
    o.dir = dir;
    o.demo = true;
    o.reference = QDate(2024, 11, 20);
    o.company = QStringLiteral("竹北土木包工業");
    initFolder(o);
    addEmployee(dir, QStringLiteral("B017"), QStringLiteral("許雅婷"), QStringLiteral("Hsu"),
                QStringLiteral("pw-9"), 5);
    setEmployeeRights(dir, QStringLiteral("Hsu"), 257);
    auto acc = openAt(dir, schema::acc());
    store::Transaction tx(*acc);
    acc->execute(QStringLiteral(
                     "INSERT INTO iof (輸入日期, 單號, 用途說明, 方式, 金額, pay, 附註一, 附註二, "
                     "有單據, 稅額) VALUES (?, ?, ?, ?, ?, ?, NULL, '', ?, ?)"),
                 {QStringLiteral("2019-02-28"), QStringLiteral("1080228901"),
                  QStringLiteral("tab\there\nnew line\\ back\\N 中文\r"), 0,
                  qint64(9007199254740993LL), -1, 0, -17});
    acc->execute(QStringLiteral("DELETE FROM iof WHERE rowid = (SELECT min(rowid) FROM iof)"));
    acc->execute(QStringLiteral("UPDATE ri期 SET 佔總價比例 = ? WHERE rowid = "
                                "(SELECT min(rowid) FROM ri期)"),
                 {0.1 + 0.2});
    audit::record(*acc, {audit::Kind::MasterData,
                         QStringLiteral("acc"),
                         QStringLiteral("5101"),
                         {},
                         {{QStringLiteral("acc"), QStringLiteral("雜支")}},
                         QStringLiteral("測試")});
    tx.commit();
}

bool holdsNoBooks(const QString& location) {
    for (const auto* f : schema::files()) {
        try {
            openAt(location, *f);
            return false;
        } catch (const store::EngineError&) {
        }
    }
    return true;
}

}  // namespace

class TestMigrate : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void roundTripKeepsEveryRow();
    void refusesAndLeavesDestinationAsItWas_data();
    void refusesAndLeavesDestinationAsItWas();
    void commandsWorkOnTheOtherSide();
    void upgradeOnTheOtherSide();

  private:
    QTemporaryDir tmp_;
    QString fixture_;
    QStringList fixtureRows_;
};

void TestMigrate::initTestCase() {
    QVERIFY(tmp_.isValid());
    fixture_ = tmp_.filePath(QStringLiteral("books"));
    fillFixture(fixture_);
    fixtureRows_ = everyRow(fixture_);
    QVERIFY(fixtureRows_.size() > 200);
    QVERIFY(fixtureRows_.join(QLatin1Char('\n')).contains(QStringLiteral("9007199254740993")));
}

void TestMigrate::roundTripKeepsEveryRow() {
    testing::TestLocation there;
    QVERIFY(there.isValid());
    QString out, err;
    QTextStream o(&out), e(&err);
    QCOMPARE(runCommand({QStringLiteral("migrate"), fixture_, there.location()}, o, e), 0);
    QVERIFY2(out.contains(QStringLiteral("全部一致")), qPrintable(out));
    QCOMPARE(everyRow(there.location()), fixtureRows_);
    const CheckResult check = checkFolder(there.location());
    QVERIFY2(check.ok(), qPrintable(check.problems.join(QLatin1Char('\n'))));
    // Both audit trails came across whole.
    QCOMPARE(check.notes.filter(QStringLiteral("筆完整")).size(), 2);
    // A server has no page check of its own: said for each file, not passed over in silence.
    QCOMPARE(check.notes.filter(QStringLiteral("PRAGMA integrity_check")).size(),
             testing::onServer() ? 3 : 0);

    const QString back = tmp_.filePath(QStringLiteral("back"));
    MigrateOptions m;
    m.source = there.location();
    m.dest = back;
    const MigrateReport r = migrate(m);
    QVERIFY(r.kept);
    QVERIFY(r.mismatches.isEmpty());
    QCOMPARE(everyRow(back), fixtureRows_);
    QVERIFY(checkFolder(back).ok());
    const auto iof = std::find_if(r.tables.begin(), r.tables.end(),
                                  [](const MigrateTable& t) { return t.table == "iof"; });
    QVERIFY(iof != r.tables.end());
    QVERIFY(iof->sourceRows > 50);
    QCOMPARE(iof->destRows, iof->sourceRows);

    // A voucher saved on the new books gets a row key after the copied ones.
    auto acc = openAt(there.location(), schema::acc());
    const qint64 key = acc->insert(QStringLiteral("INSERT INTO iof (單號, 金額) VALUES (?, ?)"),
                                   {QStringLiteral("1131120999"), 1});
    QVERIFY(key > acc->scalar(QStringLiteral("SELECT max(rowid) FROM iof WHERE 單號 <> ?"),
                              {QStringLiteral("1131120999")})
                      .toLongLong());
}

void TestMigrate::refusesAndLeavesDestinationAsItWas_data() {
    QTest::addColumn<QString>("failAfter");
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("expect");  // in the error, or in the mismatches
    QTest::newRow("failure mid-way")
        << QStringLiteral("bill") << QString() << QStringLiteral("bill 之後中止");
    QTest::newRow("a row lost before the count")
        << QString() << QStringLiteral("DELETE FROM iof WHERE rowid = (SELECT max(rowid) FROM iof)")
        << QStringLiteral("iof 2019 列數：來源 1，");
    QTest::newRow("an amount changed before the count")
        << QString() << QStringLiteral("UPDATE bank SET 異動金額 = 異動金額 + 1 WHERE rowid = 3")
        << QStringLiteral("異動金額：來源");
}

void TestMigrate::refusesAndLeavesDestinationAsItWas() {
    QFETCH(QString, failAfter);
    QFETCH(QString, statement);
    QFETCH(QString, expect);
    testing::TestLocation there;
    QVERIFY(there.isValid());
    MigrateOptions m;
    m.source = fixture_;
    m.dest = there.location();
    m.testFailAfter = failAfter;
    m.testFile = QStringLiteral("acc.mdb");
    m.testStatement = statement;
    QString said;
    try {
        const MigrateReport r = migrate(m);
        QVERIFY(!r.kept);
        said = r.mismatches.join(QLatin1Char('\n'));
        QVERIFY(r.text().contains(QStringLiteral("不一致")));
    } catch (const AdminError& e) {
        said = e.message();
    }
    QVERIFY2(said.contains(expect), qPrintable(said));
    QVERIFY(holdsNoBooks(there.location()));
    if (!testing::onServer())
        QVERIFY(QDir(there.location()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    // The same destination takes the books afterwards.
    m = {};
    m.source = fixture_;
    m.dest = there.location();
    QVERIFY(migrate(m).kept);

    // Now it holds books: refused, through the command as the administrator types it, and
    // left as it was.
    const QStringList before = everyRow(there.location());
    QString out, err;
    QTextStream o(&out), e(&err);
    QCOMPARE(runCommand(
                 {QStringLiteral("migrate"), fixture_, there.location(), QStringLiteral("--quiet")},
                 o, e),
             1);
    QVERIFY2(err.contains(QStringLiteral("已有帳冊")), qPrintable(err));
    QCOMPARE(everyRow(there.location()), before);
}

void TestMigrate::commandsWorkOnTheOtherSide() {
    testing::TestLocation there;
    QVERIFY(there.isValid());
    MigrateOptions m;
    m.source = fixture_;
    m.dest = there.location();
    QVERIFY(migrate(m).kept);
    const QString at = there.location();

    // A source in use is refused, and nothing is made at the destination.
    {
        auto inUse = openAt(at, schema::general());
        m.source = at;
        m.dest = tmp_.filePath(QStringLiteral("while-in-use"));
        QVERIFY_THROWS_EXCEPTION(AdminError, migrate(m));
        QVERIFY(!QFileInfo::exists(m.dest));
    }

    addEmployee(at, QStringLiteral("C301"), QStringLiteral("鄭家豪"), QStringLiteral("Cheng"),
                QStringLiteral("pw-1"), 1);
    setEmployeePassword(at, QStringLiteral("Cheng"), QStringLiteral("pw-2"));
    setEmployeeRights(at, QStringLiteral("Cheng"), 5405);
    // Rights go to the login as typed, not to one that differs in case.
    QVERIFY_THROWS_EXCEPTION(AdminError, setEmployeeRights(at, QStringLiteral("cheng"), 1));
    const auto staff = listEmployees(at);
    const auto cheng = std::find_if(staff.begin(), staff.end(),
                                    [](const Employee& e) { return e.login == "Cheng"; });
    QVERIFY(cheng != staff.end());
    QCOMPARE(cheng->rights, 5405);
    QVERIFY(checkFolder(at).ok());

    // The copy of a backup is a folder the program opens, and it holds what the books hold.
    const QString copy =
        tmp_.filePath(QStringLiteral("backup-of-") + QUuid::createUuid().toString(QUuid::Id128));
    const BackupReport b = backupFolder(at, copy, false);
    QCOMPARE(b.files.size(), 3);
    for (const auto& f : b.files)
        QCOMPARE(f.check, QStringLiteral("ok"));
    QCOMPARE(everyRow(copy), everyRow(at));
    QVERIFY(checkFolder(copy).ok());

    // check reads the trail on the books themselves: one changed event is found.
    {
        auto general = openAt(at, schema::general());
        general->execute(QStringLiteral("UPDATE audit SET note = ? WHERE id = 2"),
                         {QStringLiteral("改過")});
    }
    const CheckResult broken = checkFolder(at);
    QVERIFY(!broken.ok());
    QVERIFY2(broken.problems.join(QLatin1Char('\n'))
                 .contains(QStringLiteral("voro3.mdb: 稽核紀錄在第 2 筆斷了")),
             qPrintable(broken.problems.join(QLatin1Char('\n'))));
}

// A version-3 folder moves as it is, and upgrade brings the moved books up to date.
void TestMigrate::upgradeOnTheOtherSide() {
    const QString old = tmp_.filePath(QStringLiteral("v3"));
    QVERIFY(store::makeFolder(old));
    for (const auto* f : schema::files()) {
        auto db = store::Database::create(store::databasePath(old, f->fileName), f->password);
        schema::createAll(*db, *f, 3);
    }
    {
        auto general = openAt(old, schema::general());
        general->execute(QStringLiteral("INSERT INTO super (super_id, super_pass) VALUES (?, ?)"),
                         {QStringLiteral("voro"), QStringLiteral("orvik")});
        general->execute(
            QStringLiteral("INSERT INTO 員工 (員工編號, 中文姓名, 英文姓名, pass, AccS) "
                           "VALUES (?, ?, ?, ?, ?)"),
            {QStringLiteral("A001"), QStringLiteral("系統管理員"), QStringLiteral("admin"),
             QStringLiteral("plain"), kAllRights});
        auto print = openAt(old, schema::print());
        print->execute(QStringLiteral("INSERT INTO company (ion) VALUES (?)"),
                       {QStringLiteral("舊公司")});
    }
    testing::TestLocation there;
    QVERIFY(there.isValid());
    MigrateOptions m;
    m.source = old;
    m.dest = there.location();
    const MigrateReport moved = migrate(m);
    QVERIFY(moved.kept);
    QCOMPARE(moved.versions.value(QStringLiteral("acc.mdb")), 3);
    QVERIFY(!checkFolder(there.location()).ok());  // plain passwords, an old version

    const auto steps = upgradeFolder(there.location());
    QCOMPARE(steps.size(), 3);
    for (const auto& s : steps) {
        QCOMPARE(s.from, 3);
        QCOMPARE(s.to, schema::kVersion);
    }
    const CheckResult after = checkFolder(there.location());
    QVERIFY2(after.ok(), qPrintable(after.problems.join(QLatin1Char('\n'))));
    auto general = openAt(there.location(), schema::general());
    QVERIFY(audit::isHashed(general
                                ->scalar(QStringLiteral("SELECT pass FROM 員工 WHERE 英文姓名 = ?"),
                                         {QStringLiteral("admin")})
                                .toString()));
}

QTEST_GUILESS_MAIN(TestMigrate)
#include "tst_migrate.moc"
