#include "TestLocation.h"

#include <libpq-fe.h>

#include <QDir>
#include <QUuid>
#include <cstdio>

namespace orvik::testing {

namespace {

// A connection to the server's maintenance database, as the environment names the server.
PGconn* maintenance() {
    const QByteArray name = qEnvironmentVariable("PGDATABASE", QStringLiteral("postgres")).toUtf8();
    const char* keys[] = {"dbname", "connect_timeout", nullptr};
    const char* values[] = {name.constData(), "5", nullptr};
    PGconn* conn = PQconnectdbParams(keys, values, 0);
    if (conn && PQstatus(conn) == CONNECTION_OK)
        return conn;
    std::fprintf(stderr,
                 "no PostgreSQL server for the tests (run them through ctest, which "
                 "starts one with pg_virtualenv): %s",
                 conn ? PQerrorMessage(conn) : "\n");
    PQfinish(conn);
    return nullptr;
}

bool run(PGconn* conn, const QByteArray& sql) {
    PGresult* res = PQexec(conn, sql.constData());
    const bool ok = PQresultStatus(res) == PGRES_COMMAND_OK;
    if (!ok)
        std::fprintf(stderr, "%s: %s", sql.constData(), PQresultErrorMessage(res));
    PQclear(res);
    return ok;
}

}  // namespace

bool onServer() {
    return qEnvironmentVariable("ORVIK_TEST_ENGINE") == QLatin1String("pg");
}

TestLocation::TestLocation(const QString& name) {
    if (!dir_.isValid())
        return;
    if (!onServer()) {
        location_ = QDir(dir_.path()).filePath(name);
        valid_ = QDir().mkpath(location_);
        return;
    }
    PGconn* conn = maintenance();
    if (!conn)
        return;
    database_ = QStringLiteral("orvik_test_%1").arg(QUuid::createUuid().toString(QUuid::Id128));
    // The "C" collation, as an office's database for the books is made (bytewise order, ASCII
    // case folding), whatever the server's default.
    valid_ = run(conn, "CREATE DATABASE " + database_.toUtf8() +
                           " TEMPLATE template0 ENCODING 'UTF8' LC_COLLATE 'C' LC_CTYPE 'C'");
    PQfinish(conn);
    // No host, port or user in the URI: the environment's apply, as for psql.
    location_ = QStringLiteral("postgresql:///") + database_;
}

TestLocation::~TestLocation() {
    if (database_.isEmpty())
        return;
    if (PGconn* conn = maintenance()) {
        run(conn, "DROP DATABASE IF EXISTS " + database_.toUtf8() + " WITH (FORCE)");
        PQfinish(conn);
    }
}

QString TestLocation::path(const QString& fileName) const {
    return store::databasePath(location_, fileName);
}

}  // namespace orvik::testing
