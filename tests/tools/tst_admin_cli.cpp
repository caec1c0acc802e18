// The real orvik-admin binary, as an administrator's shell sees it: exit codes, one-line
// messages on stderr, and the commands end to end.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "Database.h"
#include "LedgerCheck.h"
#include "Passwords.h"
#include "Schema.h"

namespace {

struct Run {
    int code = -1;
    QString out;
    QString err;
};

Run admin(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(ORVIK_ADMIN), args);
    Run r;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QString show(const Run& r) {
    return QStringLiteral("exit %1\nstdout: %2\nstderr: %3").arg(r.code).arg(r.out, r.err);
}

// A failure says what is wrong in one line on stderr: no stack trace, no Qt warnings.
void expectOneLineFailure(const Run& r, int code) {
    QVERIFY2(r.code == code, qPrintable(show(r)));
    const QStringList lines = r.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QVERIFY2(lines.size() == 1, qPrintable(show(r)));
    QVERIFY2(lines.first().startsWith(QStringLiteral("orvik-admin: ")), qPrintable(show(r)));
}

}  // namespace

class TestAdminCli : public QObject {
    Q_OBJECT

  private slots:
    void helpListsEveryCommand();
    void badArgumentsGiveAUsageLineAndExitTwo_data();
    void badArgumentsGiveAUsageLineAndExitTwo();
    void failuresGiveOneLineAndExitOne();
    void initDemoCheckAndEmployees();
    void initRefusesThenForceWorks();
    void setPathWritesOneLine();
    void upgradeBackupAndGenerate();
    void initForceWaitsForEveryCopyToClose();
    void argumentsThatAreNotUtf8AreRefused();
};

void TestAdminCli::helpListsEveryCommand() {
    const Run r = admin({QStringLiteral("help")});
    QCOMPARE(r.code, 0);
    for (const char* cmd : {"init", "employee add", "employee password", "employee rights",
                            "employee list", "check", "set-path", "upgrade", "backup", "generate"})
        QVERIFY2(r.out.contains(QString::fromUtf8(cmd)), cmd);
}

void TestAdminCli::badArgumentsGiveAUsageLineAndExitTwo_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("nothing") << QStringList{};
    QTest::newRow("unknown command") << QStringList{"frobnicate"};
    QTest::newRow("init without folder") << QStringList{"init"};
    QTest::newRow("init unknown option") << QStringList{"init", "/tmp/x", "--demoo"};
    QTest::newRow("init admin without password")
        << QStringList{"init", "/tmp/x", "--admin", "boss"};
    QTest::newRow("init bad date")
        << QStringList{"init", "/tmp/x", "--demo", "--date", "115/03/15"};
    QTest::newRow("init two folders") << QStringList{"init", "/tmp/x", "/tmp/y"};
    QTest::newRow("employee alone") << QStringList{"employee"};
    QTest::newRow("employee unknown") << QStringList{"employee", "fire", "/tmp/x"};
    QTest::newRow("employee add missing") << QStringList{"employee", "add", "/tmp/x", "--no", "1"};
    QTest::newRow("employee rights text")
        << QStringList{"employee", "rights", "/tmp/x", "admin", "all"};
    QTest::newRow("employee rights too big")
        << QStringList{"employee", "rights", "/tmp/x", "admin", "4194304"};
    QTest::newRow("employee password short")
        << QStringList{"employee", "password", "/tmp/x", "admin"};
    QTest::newRow("check two") << QStringList{"check", "a", "b"};
    QTest::newRow("set-path one") << QStringList{"set-path", "a"};
    QTest::newRow("backup one") << QStringList{"backup", "a"};
    QTest::newRow("generate no count") << QStringList{"generate", "/tmp/x"};
    QTest::newRow("generate bad count") << QStringList{"generate", "/tmp/x", "--vouchers", "many"};
    QTest::newRow("generate option without value")
        << QStringList{"generate", "/tmp/x", "--vouchers"};
}

void TestAdminCli::badArgumentsGiveAUsageLineAndExitTwo() {
    QFETCH(QStringList, args);
    const Run r = admin(args);
    expectOneLineFailure(r, 2);
    QVERIFY(r.out.isEmpty());
}

void TestAdminCli::failuresGiveOneLineAndExitOne() {
    QTemporaryDir tmp;
    expectOneLineFailure(admin({QStringLiteral("employee"), QStringLiteral("list"), tmp.path()}),
                         1);
    expectOneLineFailure(admin({QStringLiteral("upgrade"), tmp.filePath(QStringLiteral("none"))}),
                         1);
    expectOneLineFailure(admin({QStringLiteral("generate"), tmp.path(),
                                QStringLiteral("--vouchers"), QStringLiteral("10")}),
                         1);
    expectOneLineFailure(
        admin({QStringLiteral("set-path"), tmp.filePath(QStringLiteral("none")), tmp.path()}), 1);
    QFile junk(tmp.filePath(QStringLiteral("acc.mdb")));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write("this is not a database, just some text that happens to be here");
    junk.close();
    const Run check = admin({QStringLiteral("check"), tmp.path()});
    QCOMPARE(check.code, 1);
    QVERIFY(check.out.contains(QStringLiteral("acc.mdb")));
    QVERIFY(!check.out.contains(QStringLiteral("OK")));

    // `: > acc.mdb` in good books: upgrade does not make it empty books, check does not pass it.
    QTemporaryDir books;
    QCOMPARE(admin({QStringLiteral("init"), books.path(), QStringLiteral("--demo")}).code, 0);
    QVERIFY(QFile(books.filePath(QStringLiteral("acc.mdb"))).resize(0));
    const Run upgrade = admin({QStringLiteral("upgrade"), books.path()});
    expectOneLineFailure(upgrade, 1);
    QVERIFY2(upgrade.err.contains(QStringLiteral("acc.mdb")), qPrintable(show(upgrade)));
    QCOMPARE(QFileInfo(books.filePath(QStringLiteral("acc.mdb"))).size(), 0);
    const Run after = admin({QStringLiteral("check"), books.path()});
    QCOMPARE(after.code, 1);
    QVERIFY2(after.out.contains(QStringLiteral("acc.mdb: 不是本程式的資料庫檔案")),
             qPrintable(show(after)));
}

void TestAdminCli::initDemoCheckAndEmployees() {
    QTemporaryDir tmp;
    const QString dir = tmp.filePath(QStringLiteral("books"));
    Run r = admin({QStringLiteral("init"), dir, QStringLiteral("--demo"), QStringLiteral("--date"),
                   QStringLiteral("2026-03-15")});
    QVERIFY2(r.code == 0, qPrintable(show(r)));
    r = admin({QStringLiteral("check"), dir});
    QVERIFY2(r.code == 0, qPrintable(show(r)));
    QVERIFY(r.out.startsWith(QStringLiteral("OK")));
    const LedgerReport books = checkLedgers(dir);
    QVERIFY2(books.problems.isEmpty(), qPrintable(books.problems.join('\n')));

    r = admin({QStringLiteral("employee"), QStringLiteral("add"), dir, QStringLiteral("--no"),
               QStringLiteral("B001"), QStringLiteral("--name"), QStringLiteral("張三"),
               QStringLiteral("--login"), QStringLiteral("zhang"), QStringLiteral("--password"),
               QString(), QStringLiteral("--rights"), QStringLiteral("13")});
    QVERIFY2(r.code == 0, qPrintable(show(r)));
    r = admin({QStringLiteral("employee"), QStringLiteral("rights"), dir, QStringLiteral("zhang"),
               QStringLiteral("4194303")});
    QVERIFY2(r.code == 0, qPrintable(show(r)));
    r = admin({QStringLiteral("employee"), QStringLiteral("password"), dir, QStringLiteral("zhang"),
               QStringLiteral("密碼")});
    QVERIFY2(r.code == 0, qPrintable(show(r)));
    r = admin({QStringLiteral("employee"), QStringLiteral("list"), dir});
    QVERIFY2(r.code == 0, qPrintable(show(r)));
    QVERIFY(r.out.contains(QStringLiteral("B001\t張三\tzhang\t4194303\t")));
    QVERIFY(r.out.contains(QStringLiteral("A002\t陳美玲\tchen\t1\t")));
    // Passwords are not listed, only whether there is one.
    const QStringList lines = r.out.split(QLatin1Char('\n'));
    const auto zhang = std::find_if(lines.begin(), lines.end(), [](const QString& l) {
        return l.startsWith(QStringLiteral("B001\t"));
    });
    QVERIFY(zhang != lines.end());
    QVERIFY(zhang->endsWith(QStringLiteral("\t有")));
    QVERIFY(!zhang->contains(QStringLiteral("密碼")));
    expectOneLineFailure(
        admin({QStringLiteral("employee"), QStringLiteral("add"), dir, QStringLiteral("--no"),
               QStringLiteral("B002"), QStringLiteral("--name"), QStringLiteral("重複"),
               QStringLiteral("--login"), QStringLiteral("Zhang"), QStringLiteral("--password"),
               QStringLiteral("x")}),
        1);
}

void TestAdminCli::initRefusesThenForceWorks() {
    QTemporaryDir tmp;
    QCOMPARE(admin({QStringLiteral("init"), tmp.path()}).code, 0);
    expectOneLineFailure(admin({QStringLiteral("init"), tmp.path(), QStringLiteral("--demo")}), 1);
    const Run r = admin({QStringLiteral("init"), tmp.path(), QStringLiteral("--force"),
                         QStringLiteral("--admin"), QStringLiteral("boss"),
                         QStringLiteral("--password"), QStringLiteral("pw")});
    QVERIFY2(r.code == 0, qPrintable(show(r)));
    const Run list = admin({QStringLiteral("employee"), QStringLiteral("list"), tmp.path()});
    QVERIFY(list.out.contains(QStringLiteral("A001\t系統管理員\tboss\t4194303")));
    QCOMPARE(admin({QStringLiteral("check"), tmp.path()}).code, 0);
}

void TestAdminCli::setPathWritesOneLine() {
    QTemporaryDir program, data;
    QCOMPARE(admin({QStringLiteral("init"), data.path()}).code, 0);
    const Run r = admin({QStringLiteral("set-path"), program.path(), data.path()});
    QVERIFY2(r.code == 0, qPrintable(show(r)));
    QFile ini(QDir(program.path()).filePath(QStringLiteral("accpath.ini")));
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QCOMPARE(ini.readAll(), QDir::cleanPath(data.path()).toUtf8() + "\r\n");
}

void TestAdminCli::upgradeBackupAndGenerate() {
    QTemporaryDir tmp, dest;
    QCOMPARE(admin({QStringLiteral("init"), tmp.path()}).code, 0);
    Run r = admin({QStringLiteral("upgrade"), tmp.path()});
    QVERIFY2(r.code == 0, qPrintable(show(r)));
    QVERIFY(r.out.contains(QStringLiteral("不需升級")));
    r = admin({QStringLiteral("generate"), tmp.path(), QStringLiteral("--vouchers"),
               QStringLiteral("2000"), QStringLiteral("--seed"), QStringLiteral("3"),
               QStringLiteral("--date"), QStringLiteral("2026-03-15"), QStringLiteral("--quiet")});
    QVERIFY2(r.code == 0, qPrintable(show(r)));
    r = admin({QStringLiteral("backup"), tmp.path(), dest.path()});
    QVERIFY2(r.code == 0, qPrintable(show(r)));
    // What was copied, file by file, and the copies' own check.
    QVERIFY2(r.out.contains(QStringLiteral("acc.mdb：")) &&
                 r.out.contains(QStringLiteral("iof 2,000 列")),
             qPrintable(show(r)));
    QCOMPARE(r.out.count(QStringLiteral("完整性檢查 ok")), 3);
    r = admin({QStringLiteral("check"), dest.path()});
    QVERIFY2(r.code == 0, qPrintable(show(r)));
    const LedgerReport books = checkLedgers(dest.path());
    QVERIFY2(books.problems.isEmpty(), qPrintable(books.problems.join('\n')));
    QCOMPARE(books.vouchers, 2000);
    expectOneLineFailure(admin({QStringLiteral("backup"), tmp.path(), dest.path()}), 1);
}

void TestAdminCli::initForceWaitsForEveryCopyToClose() {
    QTemporaryDir tmp;
    QCOMPARE(admin({QStringLiteral("init"), tmp.path(), QStringLiteral("--demo")}).code, 0);
    // Another process with the books open and idle, as the program sits between saves.
    QProcess holder;
    holder.start(QStringLiteral(ORVIK_STORE_WRITER),
                 {tmp.filePath(QStringLiteral("acc.mdb")), QStringLiteral("hold")});
    QVERIFY(holder.waitForReadyRead(10000));
    QCOMPARE(holder.readAllStandardOutput(), QByteArray("open\n"));
    for (const QStringList& args :
         {QStringList{QStringLiteral("init"), tmp.path(), QStringLiteral("--force")},
          QStringList{QStringLiteral("upgrade"), tmp.path()}}) {
        const Run r = admin(args);
        expectOneLineFailure(r, 1);
        QVERIFY2(r.err.contains(QStringLiteral("另一個 Orvik 程式")), qPrintable(show(r)));
    }
    QVERIFY(admin({QStringLiteral("employee"), QStringLiteral("list"), tmp.path()})
                .out.contains(QStringLiteral("chen")));
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished(10000));
    QCOMPARE(holder.exitCode(), 0);
    const Run r = admin({QStringLiteral("init"), tmp.path(), QStringLiteral("--force")});
    QVERIFY2(r.code == 0, qPrintable(show(r)));
    QVERIFY(!admin({QStringLiteral("employee"), QStringLiteral("list"), tmp.path()})
                 .out.contains(QStringLiteral("chen")));
}

void TestAdminCli::argumentsThatAreNotUtf8AreRefused() {
    QTemporaryDir tmp;
    QCOMPARE(admin({QStringLiteral("init"), tmp.path()}).code, 0);
    // A terminal in Big5 sends 密碼 as B1 4B BD 58; the shell passes the bytes on as they are.
    QProcess sh;
    sh.start(
        QStringLiteral("/bin/sh"),
        {QStringLiteral("-c"),
         QStringLiteral("exec \"$0\" employee password \"$1\" admin \"$(printf '\\261K\\275X')\""),
         QStringLiteral(ORVIK_ADMIN), tmp.path()});
    QVERIFY(sh.waitForFinished(30000));
    Run r;
    r.code = sh.exitCode();
    r.out = QString::fromUtf8(sh.readAllStandardOutput());
    r.err = QString::fromUtf8(sh.readAllStandardError());
    expectOneLineFailure(r, 2);
    QVERIFY2(r.err.contains(QStringLiteral("UTF-8")), qPrintable(show(r)));
    QVERIFY(r.out.isEmpty());
    // The password is still the one init gave.
    namespace schema = orvik::store::schema;
    auto general = orvik::store::Database::open(tmp.filePath(QStringLiteral("voro3.mdb")),
                                                schema::general().connect());
    QVERIFY(orvik::audit::passwordMatches(
        general->scalar(QStringLiteral("SELECT pass FROM 員工 WHERE 英文姓名 = 'admin'"))
            .toString(),
        QStringLiteral("admin")));
}

QTEST_GUILESS_MAIN(TestAdminCli)
#include "tst_admin_cli.moc"
