// bench_store_pg: the store's PostgreSQL engine beside bare libpq, on the same server and data.
//
//   pg_virtualenv bench_store_pg [--vouchers N] [--samples K]
//
// Needs a server named by the environment (PGHOST, PGPORT, PGUSER, as pg_virtualenv sets
// them); makes a database of its own for the run and drops it afterwards. The vouchers are
// made on the server in one statement (N = 200,000 by default); what is measured is reading
// them and saving one. See README.md.

#include <libpq-fe.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTextStream>
#include <QUuid>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "Database.h"
#include "Recordset.h"
#include "Schema.h"

using namespace orvik::store;

namespace {

QTextStream out(stdout);

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

template <typename F>
double timedMs(F&& f) {
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}

PGconn* connectTo(const QByteArray& dbname) {
    const char* keys[] = {"dbname", nullptr};
    const char* values[] = {dbname.constData(), nullptr};
    PGconn* c = PQconnectdbParams(keys, values, 0);
    if (PQstatus(c) != CONNECTION_OK) {
        std::fprintf(stderr, "bench_store_pg: %s", PQerrorMessage(c));
        std::exit(1);
    }
    return c;
}

void run(PGconn* c, const QByteArray& sql) {
    PGresult* r = PQexec(c, sql.constData());
    const ExecStatusType s = PQresultStatus(r);
    if (s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK) {
        std::fprintf(stderr, "bench_store_pg: %s: %s", sql.constData(), PQresultErrorMessage(r));
        std::exit(1);
    }
    PQclear(r);
}

void row(const QString& what, double store, double bare) {
    out << qSetFieldWidth(44) << Qt::left << what << qSetFieldWidth(12) << Qt::right
        << QString::number(store, 'f', 3) << QString::number(bare, 'f', 3)
        << QString::number(bare > 0 ? store / bare : 0, 'f', 2) << qSetFieldWidth(0) << "\n";
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qint64 vouchers = 200000;
    int samples = 1000;
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--vouchers"))
            vouchers = args[++i].toLongLong();
        else if (args[i] == QLatin1String("--samples"))
            samples = std::max(1, args[++i].toInt());
    }

    const QByteArray dbname =
        "orvik_bench_" + QUuid::createUuid().toString(QUuid::Id128).left(12).toLatin1();
    PGconn* admin = connectTo(qgetenv("PGDATABASE").isEmpty() ? "postgres" : qgetenv("PGDATABASE"));
    run(admin, "CREATE DATABASE " + dbname +
                   " TEMPLATE template0 ENCODING 'UTF8' LC_COLLATE 'C' LC_CTYPE 'C'");
    const QString location = QStringLiteral("postgresql:///") + QString::fromLatin1(dbname);
    {
        auto db = Database::create(databasePath(location, "acc.mdb"), schema::acc().password);
        schema::createAll(*db, schema::acc());
    }
    PGconn* bare = connectTo(dbname);
    run(bare, "SET search_path = acc, public");
    QElapsedTimer made;
    made.start();
    // Twenty-five vouchers a day from 民國 98 on, so the numbers cross from nine to ten
    // characters in 民國 100 as real books do.
    run(bare,
        "INSERT INTO iof (輸入日期, 單號, 用途說明, 方式, 金額, 科目代號, pay, 科目名稱, "
        "附註一, 發生日期, 申請人, 有單據, 稅額, 進銷項, 建議現金) "
        "SELECT to_char(d, 'YYYY-MM-DD'), (extract(year FROM d)::int - 1911)::text || "
        "to_char(d, 'MMDD') || lpad((g % 25 + 1)::text, 3, '0'), '材料費 ' || g, "
        "(g % 4) - 2, 100 + g % 9000, '51' || (g % 7), -1, '材料', 'ps', "
        "to_char(d, 'YYYY-MM-DD'), 'amy', -1, 5, 0, -1 FROM generate_series(0, " +
            QByteArray::number(vouchers - 1) +
            ") g, LATERAL (SELECT date '2009-01-01' + (g / 25)::int AS d) x");
    run(bare, "ANALYZE iof");
    out << "bench_store_pg: " << vouchers << " vouchers made on the server in " << made.elapsed()
        << " ms\n\n";
    out << qSetFieldWidth(44) << Qt::left << "ms (median of 5)" << qSetFieldWidth(12) << Qt::right
        << "store"
        << "bare libpq"
        << "ratio" << qSetFieldWidth(0) << "\n";

    auto db = Database::open(databasePath(location, "acc.mdb"), schema::acc().connect());
    const QString keysSql = QStringLiteral("select * from iof order by length(單號), 單號");

    // The voucher form's cursor: every row key in number order.
    std::vector<double> storeOpen, bareOpen;
    std::vector<qint64> keys;
    for (int r = 0; r < 5; ++r) {
        storeOpen.push_back(timedMs([&] {
            Recordset rs = db->openRecordset(keysSql);
            if (rs.RecordCount() != vouchers)
                std::exit(2);
        }));
        bareOpen.push_back(timedMs([&] {
            PGresult* res = PQexec(bare, "select rowid from iof order by length(單號), 單號");
            keys.resize(size_t(PQntuples(res)));
            for (int i = 0; i < PQntuples(res); ++i)
                keys[size_t(i)] = std::atoll(PQgetvalue(res, i, 0));
            PQclear(res);
        }));
    }
    row(QStringLiteral("cursor open (every key in number order)"), median(storeOpen),
        median(bareOpen));

    // A scroll step: one row fetched by its key, 21 fields read.
    {
        Recordset rs = db->openRecordset(keysSql);
        auto* rng = QRandomGenerator::global();
        std::vector<int> at(static_cast<size_t>(samples));
        for (int& a : at)
            a = int(rng->bounded(int(vouchers)));
        double sum = 0;
        const double storeMs = timedMs([&] {
            int pos = 0;
            rs.MoveFirst();
            for (int a : at) {
                rs.Move(a - pos);
                pos = a;
                for (int c = 0; c < 21; ++c)
                    sum += rs.field(c).toString().size();
            }
        });
        PGresult* prep = PQprepare(bare, "one", "select * from iof where rowid = $1", 1, nullptr);
        PQclear(prep);
        const double bareMs = timedMs([&] {
            for (int a : at) {
                const QByteArray key = QByteArray::number(keys[size_t(a)]);
                const char* v[] = {key.constData()};
                PGresult* res = PQexecPrepared(bare, "one", 1, v, nullptr, nullptr, 0);
                for (int c = 0; c < 21; ++c)
                    sum += PQgetlength(res, 0, c);
                PQclear(res);
            }
        });
        row(QStringLiteral("scroll step (one row, 21 fields)"), storeMs / samples,
            bareMs / samples);
        if (sum < 0)
            out << "";
    }

    // A walk over the whole table: the store's RowReader streams it row by row.
    std::vector<double> storeWalk, bareWalk;
    for (int r = 0; r < 5; ++r) {
        qint64 total = 0, bareTotal = 0;
        storeWalk.push_back(timedMs([&] {
            RowReader rows(*db, "select 單號, 金額 from iof");
            while (rows.next())
                total += rows.integer(1);
        }));
        bareWalk.push_back(timedMs([&] {
            PQsendQuery(bare, "select 單號, 金額 from iof");
            PQsetSingleRowMode(bare);
            while (PGresult* res = PQgetResult(bare)) {
                if (PQresultStatus(res) == PGRES_SINGLE_TUPLE)
                    bareTotal += std::atoll(PQgetvalue(res, 0, 1));
                PQclear(res);
            }
        }));
        if (total != bareTotal)
            std::exit(3);
    }
    row(QStringLiteral("walk of every voucher (single-row mode)"), median(storeWalk),
        median(bareWalk));

    // A save: the voucher and its cash row in one transaction, the next id read inside it.
    std::vector<double> storeSave, bareSave;
    for (int i = 0; i < 200; ++i) {
        const QString no = QStringLiteral("S%1").arg(i, 9, 10, QLatin1Char('0'));
        storeSave.push_back(timedMs([&] {
            Transaction tx(*db);
            db->execute("insert into iof (單號, 方式, 金額) values (?, 0, 10)", {no});
            const int id = db->scalar("select coalesce(max(id), 0) from cash").toInt() + 1;
            db->execute(
                "insert into cash (id, 收入, 異動金額, 收支單號, bala) values "
                "(?, -1, 10, ?, 0)",
                {id, no});
            tx.commit();
        }));
        const QByteArray bno = "B" + QByteArray::number(i).rightJustified(9, '0');
        bareSave.push_back(timedMs([&] {
            run(bare, "BEGIN");
            run(bare, "INSERT INTO iof (單號, 方式, 金額) VALUES ('" + bno + "', 0, 10)");
            PGresult* res = PQexec(bare, "select coalesce(max(id), 0) + 1 from cash");
            const QByteArray id = PQgetvalue(res, 0, 0);
            PQclear(res);
            run(bare, "INSERT INTO cash (id, 收入, 異動金額, 收支單號, bala) VALUES (" + id +
                          ", -1, 10, '" + bno + "', 0)");
            run(bare, "COMMIT");
        }));
    }
    row(QStringLiteral("save: voucher + cash row, one transaction"), median(storeSave),
        median(bareSave));

    db.reset();
    PQfinish(bare);
    run(admin, "DROP DATABASE " + dbname + " WITH (FORCE)");
    PQfinish(admin);
    return 0;
}
