// The trail itself: what an event holds, that it lives and dies with its transaction, that the
// chain names the first event changed by hand, and the filters of the window and the tool.
#include <QJsonDocument>
#include <QProcess>
#include <QtTest>

#include "Audit.h"
#include "Clock.h"
#include "Globals.h"
#include "Recordset.h"
#include "TestDataFolder.h"

using namespace orvik;
using audit::Kind;

namespace {

QJsonObject json(const QString& text) {
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

// Writes one event in a transaction of its own, as the tests' stand-in for a change.
void recordOne(store::Database& db, const audit::Event& e) {
    store::Transaction tx(db);
    audit::record(db, e);
    tx.commit();
}

}  // namespace

class TstAuditTrail : public QObject {
    Q_OBJECT

    std::unique_ptr<testing::TestDataFolder> folder;
    store::DatabasePtr acc, general;

  private slots:
    void init() {
        folder = std::make_unique<testing::TestDataFolder>();
        acc = testing::openDatabaseFile(folder->path(), store::schema::acc());
        general = testing::openDatabaseFile(folder->path(), store::schema::general());
        app::gLoginName = QStringLiteral("lin");
        app::Clock::setFixedNow(QDateTime(QDate(2026, 3, 14), QTime(9, 30)));
    }
    void cleanup() {
        acc.reset();
        general.reset();
        folder.reset();
        app::gLoginName.clear();
        app::Clock::reset();
        audit::setRecordHook({});
    }

    void eventHoldsWhoWhenWhatAndWhich() {
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        recordOne(*acc, {Kind::Rewrite, QStringLiteral("iof"), QStringLiteral("1150314001"),
                         QJsonObject{{"金額", 500}, {"用途說明", "文具"}, {"方式", -1}},
                         QJsonObject{{"金額", 650}, {"用途說明", "文具"}, {"方式", -1}},
                         QStringLiteral("改金額")});
        const auto events = audit::readEvents(*acc, {});
        QCOMPARE(events.size(), 1);
        const audit::StoredEvent& e = events.first();
        QCOMPARE(e.id, 1);
        QCOMPARE(e.login, QStringLiteral("lin"));
        QCOMPARE(e.workDate, QDate(2026, 3, 14));  // the program's date, not the computer's
        const QDateTime real = QDateTime::fromString(e.realTime, Qt::ISODateWithMs);
        QVERIFY2(real >= before && real <= QDateTime::currentDateTime(), qPrintable(e.realTime));
        QCOMPARE(e.kind, QStringLiteral("rewrite"));
        QCOMPARE(e.table, QStringLiteral("iof"));
        QCOMPARE(e.key, QStringLiteral("1150314001"));
        QCOMPARE(e.voucher, QStringLiteral("1150314001"));  // an iof event is its voucher's
        // Only what changed is kept.
        QCOMPARE(json(e.before), (QJsonObject{{"金額", 500}}));
        QCOMPARE(json(e.after), (QJsonObject{{"金額", 650}}));
        QCOMPARE(e.note, QStringLiteral("改金額"));
        QCOMPARE(e.hash.size(), 64);
    }

    // The event is written only inside the caller's transaction, and goes with it.
    void eventLivesAndDiesWithItsTransaction() {
        QVERIFY_THROWS_EXCEPTION(store::EngineError,
                                 audit::record(*acc, {Kind::Insert, "iof", "1150314001", {}, {}}));
        {
            store::Transaction tx(*acc);
            acc->execute(QStringLiteral("insert into iof (單號, 金額) values ('1150314001', 9)"));
            audit::record(*acc, {Kind::Insert,
                                 "iof",
                                 "1150314001",
                                 {},
                                 audit::rowOf(*acc, "iof", "單號", "1150314001")});
            // not committed
        }
        QCOMPARE(acc->scalar("select count(*) from iof").toInt(), 0);
        QCOMPARE(acc->scalar("select count(*) from audit").toInt(), 0);
        // The number the rolled-back event took is taken again: the chain has no gap.
        recordOne(*acc, {Kind::Insert, "iof", "1150314002", {}, {{"金額", 1}}});
        QCOMPARE(acc->scalar("select id from audit").toInt(), 1);
        QVERIFY(audit::verifyChain(*acc).ok());
    }

    // A writer killed between its change and the event, or between the event and the commit,
    // leaves neither in the file; one that commits leaves both.
    void aKilledWriterLeavesNeitherChangeNorEvent() {
        const QString file = store::databasePath(folder->path(), QStringLiteral("acc.mdb"));
        acc.reset();  // the writer alone on the file
        for (const char* where : {"before", "after", "none"}) {
            QProcess writer;
            writer.setProcessChannelMode(QProcess::ForwardedErrorChannel);
            writer.start(QStringLiteral(AUDIT_WRITER),
                         {file, QStringLiteral("1150314%1").arg(QLatin1String(where)), where});
            QVERIFY(writer.waitForFinished(30000));
            QCOMPARE(writer.exitCode(), QByteArray(where) == "none" ? 0 : 9);
        }
        acc = testing::openDatabaseFile(folder->path(), store::schema::acc());
        QCOMPARE(acc->scalar("select group_concat(單號) from iof").toString(),
                 QStringLiteral("1150314none"));
        QCOMPARE(acc->scalar("select group_concat(row_key) from audit").toString(),
                 QStringLiteral("1150314none"));
        QVERIFY(audit::verifyChain(*acc).ok());
    }

    void rowOfReadsEveryColumnAndHidesPasswords() {
        acc->execute(QStringLiteral(
            "insert into iof (輸入日期, 單號, 金額, pay, 專案號碼) values ('2026-03-12', "
            "'1150312001', 1200, -1, null)"));
        const QJsonObject row = audit::rowOf(*acc, "iof", "單號", "1150312001");
        QCOMPARE(row.size(), 21);
        QCOMPARE(row.value("輸入日期").toString(), QStringLiteral("2026-03-12"));
        QCOMPARE(row.value("金額").toInteger(), 1200);
        QCOMPARE(row.value("pay").toInteger(), -1);
        QVERIFY(row.value("專案號碼").isNull());
        QVERIFY(audit::rowOf(*acc, "iof", "單號", "1150312999").isEmpty());

        general->execute(
            QStringLiteral("insert into 員工 values ('E7', '陳', 'chen', 'pw1234', 1)"));
        const QJsonObject employee = audit::rowOf(*general, "員工", "英文姓名", "chen");
        QCOMPARE(employee.value("pass").toString(), QStringLiteral("(已設定)"));
        // A caller's own before/after of 員工 loses the password too.
        recordOne(*general, {Kind::MasterData,
                             "員工",
                             "chen",
                             {{"pass", "old-secret"}},
                             {{"pass", "new-secret"}, {"AccS", 3}}});
        const QString stored =
            general->scalar("select before_values || after_values from audit").toString();
        QVERIFY2(!stored.contains("secret"), qPrintable(stored));
    }

    // A hand edit anywhere breaks the chain at the first event that no longer follows.
    void handEditBreaksTheChain_data() {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<qint64>("brokenAt");
        QTest::newRow("amount in an event") << "update audit set after_values = replace("
                                               "after_values, '2000', '200') where id = 2"
                                            << qint64(2);
        QTest::newRow("who") << "update audit set login = 'chen' where id = 1" << qint64(1);
        QTest::newRow("working date")
            << "update audit set work_date = '2026-01-01' where id = 3" << qint64(3);
        QTest::newRow("its hash only") << "update audit set hash = replace(hash, substr(hash, 1, "
                                          "1), 'x') where id = 3"
                                       << qint64(3);
        QTest::newRow("event removed") << "delete from audit where id = 2" << qint64(3);
        QTest::newRow("last removed and renumbered")
            << "delete from audit where id = 1; update audit set id = id - 1" << qint64(1);
    }
    void handEditBreaksTheChain() {
        QFETCH(QString, edit);
        QFETCH(qint64, brokenAt);
        for (int i = 1; i <= 4; ++i)
            recordOne(*acc, {Kind::Insert,
                             "iof",
                             QStringLiteral("115031400%1").arg(i),
                             {},
                             {{"金額", 1000 * i}}});
        QVERIFY(audit::verifyChain(*acc).ok());
        QCOMPARE(audit::verifyChain(*acc).lastId, 4);
        for (const QString& statement : edit.split(';'))
            acc->execute(statement);
        const audit::ChainReport r = audit::verifyChain(*acc);
        QVERIFY(!r.ok());
        QCOMPARE(r.brokenAt, brokenAt);
        QVERIFY(r.problem.contains(
            QString::number(brokenAt == 3 && edit.startsWith("delete") ? 2 : brokenAt)));
    }

    // An event whose content and hash were both made again by someone who knows how still
    // breaks the chain at the next one, which was chained to the true event.
    void rehashedEventBreaksTheNext() {
        for (int i = 1; i <= 3; ++i)
            recordOne(*acc, {Kind::Insert,
                             "iof",
                             QStringLiteral("115031400%1").arg(i),
                             {},
                             {{"金額", 100 * i}}});
        QVariantList third;
        {
            store::Recordset rs = acc->openRecordset("select * from audit where id = 3",
                                                     store::RecordsetType::Snapshot);
            for (int i = 0; i < rs.fieldCount(); ++i)
                third << rs.field(i);
        }
        acc->execute("delete from audit where id >= 2");
        recordOne(*acc, {Kind::Insert, "iof", "1150314002", {}, {{"金額", 999}}});  // forged
        QVERIFY(audit::verifyChain(*acc).ok());  // a chain cut short after it is still whole
        acc->execute("insert into audit values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", third);
        const audit::ChainReport r = audit::verifyChain(*acc);
        QCOMPARE(r.brokenAt, 3);
        QCOMPARE(r.lastId, 2);
    }

    void filters() {
        acc->execute(
            "insert into iofs (多單號, 單號) values ('1150301001S', '1150301001'), "
            "('1150301001S', '1150302004')");
        struct Made {
            QDate day;
            const char* login;
            Kind kind;
            const char* table;
            const char* key;
        };
        const Made made[] = {
            {QDate(2026, 3, 1), "lin", Kind::Insert, "iof", "1150301001"},
            {QDate(2026, 3, 2), "chen", Kind::Insert, "iof", "1150302004"},
            {QDate(2026, 3, 3), "lin", Kind::CombinedBill, "bill", "1150301001S"},
            {QDate(2026, 3, 9), "Wang", Kind::BillVoided, "bill", "1150301001S"},
            {QDate(2026, 3, 9), "chen", Kind::MasterData, "acc", "5101"},
            {QDate(2026, 3, 20), "lin", Kind::Rewrite, "iof", "1150302004"},
        };
        for (const Made& m : made) {
            app::Clock::setFixedNow(QDateTime(m.day, QTime(9, 0)));
            app::gLoginName = QString::fromUtf8(m.login);
            recordOne(*acc, {m.kind, QString::fromUtf8(m.table), QString::fromUtf8(m.key), {}, {}});
        }
        const auto ids = [&](const audit::Filter& f) {
            QList<qint64> out;
            for (const auto& e : audit::readEvents(*acc, f))
                out << e.id;
            return out;
        };
        QCOMPARE(ids({}), (QList<qint64>{1, 2, 3, 4, 5, 6}));
        QCOMPARE(ids({QDate(2026, 3, 2), QDate(2026, 3, 9)}), (QList<qint64>{2, 3, 4, 5}));
        QCOMPARE(ids({QDate(2026, 3, 10), {}}), (QList<qint64>{6}));
        audit::Filter byLogin;
        byLogin.login = QStringLiteral("wang");  // letter case aside
        QCOMPARE(ids(byLogin), (QList<qint64>{4}));
        audit::Filter byKind;
        byKind.kind = Kind::Insert;
        QCOMPARE(ids(byKind), (QList<qint64>{1, 2}));
        // A voucher's history takes in its combined bill.
        audit::Filter byVoucher;
        byVoucher.voucher = QStringLiteral("1150302004");
        QCOMPARE(ids(byVoucher), (QList<qint64>{2, 3, 4, 6}));
        byVoucher.voucher = QStringLiteral("5101");
        QCOMPARE(ids(byVoucher), QList<qint64>{});
        audit::Filter newest;
        newest.limit = 2;
        QCOMPARE(ids(newest), (QList<qint64>{5, 6}));
    }

    void kindsHaveStableNames() {
        QSet<QString> names;
        for (Kind k : audit::allKinds()) {
            const QString name = audit::kindName(k);
            QVERIFY(!name.isEmpty() && !audit::kindCaption(k).isEmpty());
            QCOMPARE(audit::kindFromName(name), std::optional<Kind>(k));
            names.insert(name);
        }
        QCOMPARE(names.size(), 16);
        QCOMPARE(audit::kindName(Kind::BillBounced), QStringLiteral("bill-bounced"));
        QVERIFY(!audit::kindFromName(QStringLiteral("nonsense")));
    }
};

QTEST_GUILESS_MAIN(TstAuditTrail)
#include "tst_audit_trail.moc"
