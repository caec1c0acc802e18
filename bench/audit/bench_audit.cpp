// bench_audit: what passwords and the audit trail cost.
//
//   bench_audit [--events N] [--saves S]
//
// In a temporary folder: the login's password check (hash and verify), the time one event adds
// to a save (S saves with and without it, after a trail of N/10 events), and the check of a
// chain of N events (2,000,000 by default). Figures are medians or totals as printed.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <vector>

#include "Audit.h"
#include "Globals.h"
#include "Passwords.h"
#include "TestDataFolder.h"

using namespace orvik;

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Appends `count` events in transactions of 10,000, as many saves would have.
void fill(store::Database& db, qint64 count) {
    for (qint64 done = 0; done < count;) {
        store::Transaction tx(db);
        for (int i = 0; i < 10000 && done < count; ++i, ++done)
            audit::record(db, {audit::Kind::Rewrite,
                               QStringLiteral("iof"),
                               QString::number(1150000000 + done % 999999),
                               {{QStringLiteral("金額"), done % 5000}},
                               {{QStringLiteral("金額"), done % 5000 + 10}}});
        tx.commit();
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qint64 events = 2000000;
    int saves = 200;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--events"))
            events = args[i + 1].toLongLong();
        else if (args[i] == QLatin1String("--saves"))
            saves = args[i + 1].toInt();
    }
    QTextStream out(stdout);
    app::gLoginName = QStringLiteral("bench");

    // 1. The login's password: one verify (and, for a plain one, one hash).
    const QString stored = audit::hashPassword(QStringLiteral("辦公室密碼2026"));
    std::vector<double> verify, hash;
    for (int i = 0; i < 7; ++i) {
        QElapsedTimer t;
        t.start();
        audit::passwordMatches(stored, QStringLiteral("辦公室密碼2026"));
        verify.push_back(t.nsecsElapsed() / 1e6);
        t.restart();
        audit::hashPassword(QStringLiteral("辦公室密碼2026"));
        hash.push_back(t.nsecsElapsed() / 1e6);
    }
    out << QStringLiteral("login check (verify)          %1 ms   target < 300 ms\n")
               .arg(median(verify), 7, 'f', 1);
    out << QStringLiteral("hash a password (first login) %1 ms\n").arg(median(hash), 7, 'f', 1);

    testing::TestDataFolder folder;
    auto db = testing::openDatabaseFile(folder.path(), store::schema::acc());

    // 2. A save with and without its event, on a trail that already holds events.
    fill(*db, events / 10);
    std::vector<double> plain, withEvent;
    for (int i = 0; i < saves; ++i) {
        for (bool audited : {false, true}) {
            const QString no = QStringLiteral("%1%2")
                                   .arg(QLatin1String(audited ? "A" : "P"))
                                   .arg(i, 6, 10, QLatin1Char('0'));
            QElapsedTimer t;
            t.start();
            store::Transaction tx(*db);
            db->execute(QStringLiteral("insert into iof (單號, 方式, 金額) values (?, -1, 100)"),
                        {no});
            if (audited)
                audit::record(
                    *db, {audit::Kind::Insert,
                          QStringLiteral("iof"),
                          no,
                          {},
                          audit::rowOf(*db, QStringLiteral("iof"), QStringLiteral("單號"), no)});
            tx.commit();
            (audited ? withEvent : plain).push_back(t.nsecsElapsed() / 1e6);
        }
    }
    const double added = median(withEvent) - median(plain);
    out << QStringLiteral("save without / with event     %1 / %2 ms, added %3 ms   target < 5 ms\n")
               .arg(median(plain), 0, 'f', 2)
               .arg(median(withEvent), 0, 'f', 2)
               .arg(added, 0, 'f', 2);

    // 3. The check of the whole chain.
    fill(*db, events - db->scalar(QStringLiteral("select count(*) from audit")).toLongLong());
    QElapsedTimer t;
    t.start();
    const audit::ChainReport report = audit::verifyChain(*db);
    out << QStringLiteral("check of %1 events          %2 ms   target < 10000 ms   %3\n")
               .arg(report.events)
               .arg(t.elapsed())
               .arg(report.ok() ? QStringLiteral("chain whole") : report.problem);
    return report.ok() ? 0 : 1;
}
