// bench_startup: from starting the program to the main bar shown, on a big database folder,
// beside the time the bare SQLite statements of the same database work take.
//
//   bench_startup [DIR] [--vouchers N] [--runs R] [--keep] [--program PATH]
//
// Without DIR a folder is made in a temporary directory with `orvik-admin init` and
// `orvik-admin generate --vouchers N` (N = 1,000,000 by default). The program is copied into a
// program folder of its own with an accpath.ini naming DIR, and started R times (10 by
// default, after one unmeasured start) with --exit-when-shown. With --program an installed
// program is started where it lies instead (/usr/bin/orvik); its accpath.ini must name DIR.
// See README.md.

#include <sqlite3.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "Database.h"
#include "Schema.h"
#include "TableDef.h"

namespace schema = orvik::store::schema;
using orvik::store::Database;

namespace {

QTextStream out(stdout);

double ms(qint64 ns) {
    return double(ns) / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double maximum(const std::vector<double>& v) {
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

QString f1(double v) {
    return QString::number(v, 'f', 1);
}

void row(const QString& what, const QString& median, const QString& max,
         const QString& verdict = {}) {
    out << what.leftJustified(46) << median.rightJustified(10) << max.rightJustified(10) << "  "
        << verdict << Qt::endl;
}

bool runAdmin(const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QStringLiteral(ORVIK_ADMIN), args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        out << "orvik-admin " << args.join(' ') << " failed: " << p.readAllStandardOutput()
            << Qt::endl;
        return false;
    }
    return true;
}

struct Start {
    double toShown = -1;  // parent's clock: from starting the process to the bar's report
    double inMain = -1;   // the program's own clock: from main() to the bar painted
    double cpu = -1;      // user + system time of the whole run, exit included
};

double childrenCpuMs() {
    rusage r{};
    getrusage(RUSAGE_CHILDREN, &r);
    return (r.ru_utime.tv_sec + r.ru_stime.tv_sec) * 1e3 +
           (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e3;
}

QString loadAverage() {
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).section(' ', 0, 2)
                                       : QStringLiteral("?");
}

// One start of the program; the bar reports "bar shown after X ms" and the program ends.
Start startOnce(const QString& program) {
    Start s;
    const double cpuBefore = childrenCpuMs();
    QProcess p;
    p.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer t;
    t.start();
    p.start(program, {QStringLiteral("--exit-when-shown")});
    QByteArray seen;
    while (p.waitForReadyRead(10000)) {
        seen += p.readAllStandardOutput();
        if (seen.contains('\n')) {
            s.toShown = ms(t.nsecsElapsed());
            break;
        }
    }
    p.waitForFinished(10000);
    s.cpu = childrenCpuMs() - cpuBefore;
    seen += p.readAllStandardOutput();
    const qsizetype at = seen.indexOf("after ");
    if (at >= 0)
        s.inMain = seen.mid(at + 6).split(' ').value(0).toDouble();
    else
        out << "the program did not report the bar: " << seen << p.readAllStandardError()
            << Qt::endl;
    return s;
}

// The database work of start-up through the store: open the three files with their
// passwords, read their schema versions, and the bar's column lookups.
double storeWork(const QString& dir) {
    QElapsedTimer t;
    t.start();
    auto acc = Database::open(QDir(dir).filePath("acc.mdb"), schema::acc().connect());
    auto general = Database::open(QDir(dir).filePath("voro3.mdb"), schema::general().connect());
    auto print = Database::open(QDir(dir).filePath("pt.mdb"));
    for (Database* db : {acc.get(), general.get(), print.get()})
        schema::versionOf(*db);
    general->tableDef(QStringLiteral("員工")).hasField(QStringLiteral("AccS"));
    acc->tableDef(QStringLiteral("ri")).hasField(QStringLiteral("Let"));
    acc->tableDef(QStringLiteral("ro")).hasField(QStringLiteral("Let"));
    return ms(t.nsecsElapsed());
}

// The same statements on bare SQLite connections.
double bareWork(const QString& dir) {
    QElapsedTimer t;
    t.start();
    std::vector<sqlite3*> handles;
    for (const char* file : {"acc.mdb", "voro3.mdb", "pt.mdb"}) {
        sqlite3* h = nullptr;
        sqlite3_open_v2(QDir(dir).filePath(QLatin1String(file)).toUtf8().constData(), &h,
                        SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_busy_timeout(h, 5000);
        sqlite3_exec(h,
                     "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL; "
                     "SELECT count(*) FROM sqlite_master;"
                     "SELECT value FROM orvik_meta WHERE key = 'password_salt';"
                     "SELECT value FROM orvik_meta WHERE key = 'password_hash';"
                     "SELECT value FROM orvik_meta WHERE key = 'schema_version';",
                     nullptr, nullptr, nullptr);
        handles.push_back(h);
    }
    sqlite3_exec(handles[1], "SELECT name FROM pragma_table_info('員工')", nullptr, nullptr,
                 nullptr);
    sqlite3_exec(handles[0], "SELECT name FROM pragma_table_info('ri')", nullptr, nullptr, nullptr);
    sqlite3_exec(handles[0], "SELECT name FROM pragma_table_info('ro')", nullptr, nullptr, nullptr);
    for (sqlite3* h : handles)
        sqlite3_close(h);
    return ms(t.nsecsElapsed());
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    qint64 vouchers = 1000000;
    int runs = 10;
    bool keep = false;
    QString dir;
    QString installed;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--vouchers") && i + 1 < args.size())
            vouchers = args.at(++i).toLongLong();
        else if (a == QLatin1String("--runs") && i + 1 < args.size())
            runs = std::max(1, args.at(++i).toInt());
        else if (a == QLatin1String("--keep"))
            keep = true;
        else if (a == QLatin1String("--program") && i + 1 < args.size())
            installed = args.at(++i);
        else if (a.startsWith(QLatin1Char('-'))) {
            std::fprintf(stderr,
                         "usage: bench_startup [DIR] [--vouchers N] [--runs R] [--keep] "
                         "[--program PATH]\n");
            return 2;
        } else
            dir = a;
    }

    QTemporaryDir temp;
    temp.setAutoRemove(!keep);
    if (dir.isEmpty()) {
        dir = temp.filePath(QStringLiteral("db"));
        out << "making " << dir << " with " << vouchers << " vouchers" << Qt::endl;
        if (!runAdmin({QStringLiteral("init"), dir}) ||
            !runAdmin({QStringLiteral("generate"), dir, QStringLiteral("--vouchers"),
                       QString::number(vouchers), QStringLiteral("--quiet")}))
            return 1;
        if (keep)
            out << "kept in " << dir << Qt::endl;
    }
    dir = QDir(dir).absolutePath();

    QString program;
    if (installed.isEmpty()) {
        // The program in a folder of its own, with its accpath.ini, as installed.
        const QString programDir = temp.filePath(QStringLiteral("program"));
        program = QDir(programDir).filePath(QStringLiteral("orvik"));
        QDir().mkpath(programDir);
        QFile ini(QDir(programDir).filePath(QStringLiteral("accpath.ini")));
        if (!QFile::copy(QStringLiteral(ORVIK_PROGRAM), program) ||
            !ini.open(QIODevice::WriteOnly) || ini.write(dir.toUtf8() + "\r\n") < 0) {
            out << "cannot set up the program folder " << programDir << Qt::endl;
            return 1;
        }
    } else {
        // An installed program reads accpath.ini beside its real file, links resolved.
        program = installed;
        const QString programDir = QFileInfo(QFileInfo(installed).canonicalFilePath()).path();
        QFile ini(QDir(programDir).filePath(QStringLiteral("accpath.ini")));
        const QString named =
            ini.open(QIODevice::ReadOnly) ? QString::fromUtf8(ini.readLine()).trimmed() : QString();
        if (QDir(named).absolutePath() != dir) {
            out << ini.fileName() << " names \"" << named << "\", not " << dir
                << "; run: orvik-admin set-path " << programDir << " " << dir << Qt::endl;
            return 1;
        }
        out << "installed program " << installed << " (program folder " << programDir << ")"
            << Qt::endl;
    }

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString platform =
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
            ? QStringLiteral("xcb (DISPLAY=%1)").arg(qEnvironmentVariable("DISPLAY"))
            : qEnvironmentVariable("QT_QPA_PLATFORM");
    out << "database folder " << dir << ", platform " << platform << ", " << runs << " runs"
        << Qt::endl;

    startOnce(program);  // warms the file cache and the font cache
    std::vector<double> toShown, inMain, cpu, store, bare;
    for (int i = 0; i < runs; ++i) {
        const Start s = startOnce(program);
        if (s.toShown < 0)
            return 1;
        toShown.push_back(s.toShown);
        inMain.push_back(s.inMain);
        cpu.push_back(s.cpu);
        // Alternating, so that neither gets a warmer cache than the other.
        store.push_back(storeWork(dir));
        bare.push_back(bareWork(dir));
    }

    out << "load average " << loadAverage() << Qt::endl << Qt::endl;
    row(QString(), QStringLiteral("median ms"), QStringLiteral("max ms"));
    const double shown = median(toShown);
    row(QStringLiteral("start-up to the bar shown (process start)"), f1(shown),
        f1(maximum(toShown)),
        shown < 300 ? QStringLiteral("target < 300 ms: met")
                    : QStringLiteral("target < 300 ms: MISSED"));
    row(QStringLiteral("  of which from main() to the bar painted"), f1(median(inMain)),
        f1(maximum(inMain)));
    row(QStringLiteral("  CPU time of the program (user + system)"), f1(median(cpu)),
        f1(maximum(cpu)));
    row(QStringLiteral("database work through the store"), f1(median(store)), f1(maximum(store)));
    row(QStringLiteral("the same on bare SQLite"), f1(median(bare)), f1(maximum(bare)));
    return 0;
}
