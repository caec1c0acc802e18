// bench_migrate: a folder's books moved to a PostgreSQL server and back.
//
//   pg_virtualenv bench_migrate [DIR] [--vouchers N] [--keep]
//
// DIR (default: /tmp/b1m/data when it exists, else a folder of N generated vouchers, 1,000,000)
// is copied first and never changed. The server is the one the environment names (PGHOST,
// PGPORT, PGUSER, as pg_virtualenv sets them); the bench makes a database of its own there and
// drops it at the end. Prints, for folder → server and server → folder: the rows, the seconds
// of the copy alone, of the whole move (indexes and the reconciliation of both sides included)
// and rows per second.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include "../BenchFolder.h"
#include "BulkCopy.h"
#include "EngineError.h"
#include "Migrate.h"
#include "Schema.h"

using namespace orvik;

namespace {

QTextStream out(stdout);

void print(const char* what, const admin::MigrateReport& r) {
    out << what << ": " << r.rows << " rows, copy " << QString::number(r.copySeconds, 'f', 1)
        << " s, whole move " << QString::number(r.seconds, 'f', 1) << " s, "
        << QString::number(double(r.rows) / r.seconds, 'f', 0) << " rows/s (whole), "
        << QString::number(double(r.rows) / r.copySeconds, 'f', 0) << " rows/s (copy)"
        << (r.kept ? "" : "  NOT BALANCED") << Qt::endl;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    bench::FolderArgs a = bench::parseFolderArgs(app.arguments().mid(1), 1);
    if (a.dir.isEmpty() && QFileInfo::exists(QStringLiteral("/tmp/b1m/data/acc.mdb")))
        a.dir = QStringLiteral("/tmp/b1m/data");
    QTemporaryDir temp;
    if (!bench::ensureFolder(a, temp, QStringLiteral(ORVIK_ADMIN), out))
        return 1;
    QTemporaryDir work;
    const QString source = work.filePath(QStringLiteral("source"));
    QDir().mkpath(source);
    for (const auto* f : store::schema::files()) {
        if (!QFile::copy(QDir(a.dir).filePath(f->fileName), QDir(source).filePath(f->fileName))) {
            out << "cannot copy " << f->fileName << " from " << a.dir << Qt::endl;
            return 1;
        }
    }
    const QString name =
        QStringLiteral("orvik_bench_migrate_%1").arg(QCoreApplication::applicationPid());
    const QString server = QStringLiteral("postgresql:///") + name;
    try {
        store::BulkSession maintenance(QStringLiteral("postgresql:///postgres"));
        maintenance.run(QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 ENCODING 'UTF8' "
                                       "LC_COLLATE 'C' LC_CTYPE 'C'")
                            .arg(name));
    } catch (const store::EngineError& e) {
        out << "no server: " << e.description() << Qt::endl;
        return 1;
    }
    out << "books " << a.dir << " (copied to " << source << ")" << Qt::endl;
    int status = 0;
    try {
        admin::MigrateOptions up;
        up.source = source;
        up.dest = server;
        up.progress = [](const QString& line) { out << "  " << line << Qt::endl; };
        const admin::MigrateReport r1 = admin::migrate(up);
        print("folder -> server", r1);
        admin::MigrateOptions down;
        down.source = server;
        down.dest = work.filePath(QStringLiteral("back"));
        const admin::MigrateReport r2 = admin::migrate(down);
        print("server -> folder", r2);
        status = r1.kept && r2.kept ? 0 : 1;
    } catch (const std::exception& e) {
        out << "failed: " << e.what() << Qt::endl;
        status = 1;
    }
    try {
        store::BulkSession maintenance(QStringLiteral("postgresql:///postgres"));
        maintenance.run(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(name));
    } catch (const store::EngineError& e) {
        out << "could not drop " << name << ": " << e.description() << Qt::endl;
    }
    return status;
}
