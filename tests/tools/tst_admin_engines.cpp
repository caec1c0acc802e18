// The administrator's init on either engine: a folder of files, or (for the server's run of
// the tests) three schemas of a database of the test's own.

#include <QtTest>

#include "Admin.h"
#include "AdminError.h"
#include "Database.h"
#include "Passwords.h"
#include "Schema.h"
#include "TestLocation.h"

using namespace orvik;
using namespace orvik::admin;
namespace schema = orvik::store::schema;

class TestAdminEngines : public QObject {
    Q_OBJECT
  private slots:
    void initMakesWholeBooksOnceOnEitherEngine();
};

void TestAdminEngines::initMakesWholeBooksOnceOnEitherEngine() {
    testing::TestLocation where;
    QVERIFY(where.isValid());
    InitOptions o;
    o.dir = where.location();
    o.demo = true;
    o.adminLogin = QStringLiteral("boss");
    o.adminPassword = QStringLiteral("pw-4711");
    o.company = QStringLiteral("新竹營造股份有限公司");
    o.reference = QDate(2026, 3, 18);
    const InitResult made = initFolder(o);
    QVERIFY(made.vouchers > 0);

    // What the three files hold, read back through the store as the program reads them.
    const auto contents = [&] {
        auto acc =
            store::Database::open(where.path(QStringLiteral("acc.mdb")), schema::acc().connect());
        auto general = store::Database::open(where.path(QStringLiteral("voro3.mdb")),
                                             schema::general().connect());
        auto print = store::Database::open(where.path(QStringLiteral("pt.mdb")));
        QStringList out;
        for (store::Database* db : {acc.get(), general.get(), print.get()})
            out << QString::number(schema::versionOf(*db));
        out << acc->scalar(QStringLiteral("select count(*) from iof")).toString()
            << acc->scalar(QStringLiteral("select count(*) from iof where 方式 = 0")).toString()
            << general->scalar(QStringLiteral("select count(*) from 員工")).toString()
            << print->scalar(QStringLiteral("select ion from company")).toString();
        // The administrator found as the login finds a name: without regard to case.
        const QString hash =
            general
                ->scalar(QStringLiteral("select pass from 員工 where 英文姓名 = ?"),
                         {QStringLiteral("BOSS")})
                .toString();
        out << (audit::passwordMatches(hash, o.adminPassword) ? QStringLiteral("login ok")
                                                              : QStringLiteral("no login"));
        return out;
    };
    const QStringList first = contents();
    const QString version = QString::number(schema::kVersion);
    QCOMPARE(first.mid(0, 3), (QStringList{version, version, version}));
    QCOMPARE(first.at(3), QString::number(made.vouchers));
    QVERIFY(first.at(4).toInt() > 0);  // some vouchers paid in cash
    QCOMPARE(first.at(5), QString::number(made.employees));
    QCOMPARE(first.mid(6), (QStringList{o.company, QStringLiteral("login ok")}));

    // A second init finds the books there and leaves them as they are.
    QVERIFY_THROWS_EXCEPTION(AdminError, initFolder(o));
    QCOMPARE(contents(), first);
}

QTEST_GUILESS_MAIN(TestAdminEngines)
#include "tst_admin_engines.moc"
