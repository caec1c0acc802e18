// bench_backup: orvik-admin backup on a big database folder while another copy of the program
// keeps saving vouchers, beside bare SQLite's backup in one step.
//
//   bench_backup [DIR] [--vouchers N] [--interval MS] [--keep]
//
// Without DIR a folder is made in a temporary directory with `orvik-admin init` and
// `orvik-admin generate --vouchers N` (N = 1,000,000 by default). A writer process (this
// program started again with --writer) saves a voucher and its cash-ledger row every MS
// milliseconds (1000 by default) in one BEGIN IMMEDIATE transaction through the store, as the
// voucher form does, and reports how long each save took. See README.md.

#include <poll.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "Admin.h"
#include "AdminError.h"
#include "Database.h"
#include "Schema.h"

namespace schema = orvik::store::schema;
using orvik::store::Database;

namespace {

QTextStream out(stdout);

// Milliseconds on the clock every process of the machine shares.
double nowMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

QString f1(double v) {
    return QString::number(v, 'f', 1);
}

QString f2(double v) {
    return QString::number(v, 'f', 2);
}

void row(const QString& what, const QString& value, const QString& note = {}) {
    out << what.leftJustified(52) << value.rightJustified(12) << "  " << note << Qt::endl;
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

// Whether the parent has closed our input, without waiting for it.
bool inputClosed() {
    pollfd p{0, POLLIN, 0};
    char c;
    return ::poll(&p, 1, 0) > 0 && ::read(0, &c, 1) <= 0;
}

// The writer: saves until its input closes, one line per save: "<start ms> <duration ms>".
int writer(const QString& accMdb, int intervalMs, const QString& prefix) {
    try {
        auto db = Database::open(accMdb, schema::acc().connect());
        for (int i = 1;; ++i) {
            const double start = nowMs();
            {
                orvik::store::Transaction tx(*db);
                const QString no = QStringLiteral("%1-%2-%3").arg(prefix).arg(::getpid()).arg(i);
                db->execute(QStringLiteral("INSERT INTO iof (輸入日期, 單號, 用途說明, 方式, 金額, "
                                           "pay) VALUES ('2031-01-01', ?, '備份測試', 0, 100, -1)"),
                            {no});
                const qint64 id =
                    db->scalar(QStringLiteral("SELECT coalesce(max(id), 0) FROM cash"))
                        .toLongLong();
                const qint64 bala =
                    db->scalar(QStringLiteral("SELECT coalesce((SELECT bala FROM cash ORDER BY id "
                                              "DESC LIMIT 1), 0)"))
                        .toLongLong();
                db->execute(QStringLiteral("INSERT INTO cash VALUES (?, 0, '2031-01-01', 100, "
                                           "'備份測試', ?, ?)"),
                            {id + 1, no, bala - 100});
                tx.commit();
            }
            std::printf("%.3f %.3f\n", start, nowMs() - start);
            std::fflush(stdout);
            QThread::msleep(std::max(0, intervalMs));
            if (inputClosed())
                break;
        }
    } catch (const orvik::store::EngineError& e) {
        std::fprintf(stderr, "writer: %d %s\n", e.number(), qPrintable(e.description()));
        return 1;
    }
    return 0;
}

struct Save {
    double start;
    double ms;
};

struct Run {
    QString what;
    bool done = false;
    QString failure;
    double seconds = 0;
    double copySeconds = -1;   // orvik-admin: the copying alone
    double checkSeconds = -1;  // orvik-admin: reading the copies back
    double longestSave = 0;    // of the saves that began or ended while the backup ran
    int saves = 0;
    double longestBefore = 0;  // of the saves before it, for comparison
    int restarts = 0;
    int steps = 0;
    double longestStep = 0;
};

// Runs `backup` while a writer process saves every `intervalMs`.
Run underWrites(const QString& dir, int intervalMs, const QString& prefix,
                const std::function<void(Run&)>& backup) {
    Run r;
    QProcess w;
    w.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    w.start(QCoreApplication::applicationFilePath(),
            {QStringLiteral("--writer"), QDir(dir).filePath(QStringLiteral("acc.mdb")),
             QString::number(intervalMs), prefix});
    w.waitForStarted();
    // Saves first, so the writer runs at its pace before the backup begins.
    const int warmMs = std::max(1000, 2 * intervalMs + 100);
    QElapsedTimer warm;
    warm.start();
    while (warm.elapsed() < warmMs)
        w.waitForReadyRead(100);
    const double t0 = nowMs();
    backup(r);
    const double t1 = nowMs();
    r.seconds = (t1 - t0) / 1000;
    QThread::msleep(500);
    w.closeWriteChannel();
    if (!w.waitForFinished(10000 + intervalMs)) {
        w.kill();
        w.waitForFinished();
    }
    const QList<QByteArray> lines = w.readAllStandardOutput().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() != 2)
            continue;
        const Save s{parts.at(0).toDouble(), parts.at(1).toDouble()};
        if (s.start <= t1 && s.start + s.ms >= t0) {
            ++r.saves;
            r.longestSave = std::max(r.longestSave, s.ms);
        } else if (s.start < t0) {
            r.longestBefore = std::max(r.longestBefore, s.ms);
        }
    }
    return r;
}

// Bare SQLite: the three files, each in one backup step that holds it for reading throughout.
void bareBackup(const QString& dir, const QString& dest, Run& r) {
    QDir().mkpath(dest);
    r.done = true;
    for (const auto* f : schema::files()) {
        const QString target = QDir(dest).filePath(f->fileName);
        QFile::remove(target);
        sqlite3 *src = nullptr, *dst = nullptr;
        sqlite3_open_v2(QDir(dir).filePath(f->fileName).toUtf8().constData(), &src,
                        SQLITE_OPEN_READONLY, nullptr);
        sqlite3_busy_timeout(src, 10000);
        sqlite3_open_v2(target.toUtf8().constData(), &dst,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        sqlite3_exec(dst, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF", nullptr, nullptr,
                     nullptr);
        sqlite3_backup* b = sqlite3_backup_init(dst, "main", src, "main");
        QElapsedTimer t;
        t.start();
        const int rc = b ? sqlite3_backup_step(b, -1) : SQLITE_ERROR;
        r.longestStep = std::max(r.longestStep, double(t.nsecsElapsed()) / 1e6);
        ++r.steps;
        sqlite3_backup_finish(b);
        sqlite3_close(dst);
        sqlite3_close(src);
        if (rc != SQLITE_DONE) {
            r.done = false;
            r.failure =
                QStringLiteral("%1: %2").arg(f->fileName, QString::fromUtf8(sqlite3_errstr(rc)));
        }
    }
}

void orvikBackup(const QString& dir, const QString& dest, Run& r) {
    try {
        const auto report = orvik::admin::backupFolder(dir, dest, true);
        r.done = true;
        r.copySeconds = r.checkSeconds = 0;
        for (const auto& f : report.files) {
            r.copySeconds += f.seconds;
            r.checkSeconds += f.checkSeconds;
            r.restarts += f.restarts;
            r.steps += f.steps;
            r.longestStep = std::max(r.longestStep, f.longestStepMs);
        }
    } catch (const orvik::admin::AdminError& e) {
        r.failure = e.message();
    }
}

void print(const Run& r) {
    out << Qt::endl << r.what << Qt::endl;
    row(QStringLiteral("  backup total time, s"), f2(r.seconds),
        r.done ? QString() : QStringLiteral("gave up: ") + r.failure);
    if (r.copySeconds >= 0) {
        row(QStringLiteral("  of which copying, s"), f2(r.copySeconds));
        row(QStringLiteral("  of which integrity check of the copies, s"), f2(r.checkSeconds));
    }
    row(QStringLiteral("  steps / restarts"),
        QStringLiteral("%1 / %2").arg(r.steps).arg(r.restarts));
    row(QStringLiteral("  longest step (file held for reading), ms"), f1(r.longestStep));
    if (r.saves > 0 || r.longestBefore > 0) {
        row(QStringLiteral("  writer: saves while the backup ran"), QString::number(r.saves));
        row(QStringLiteral("  writer: longest save while the backup ran, ms"), f1(r.longestSave),
            r.longestSave <= 1000 ? QStringLiteral("target <= 1000 ms: met")
                                  : QStringLiteral("target <= 1000 ms: MISSED"));
        row(QStringLiteral("  writer: longest save before the backup, ms"), f1(r.longestBefore));
    }
}

QString loadAverage() {
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).section(' ', 0, 2)
                                       : QStringLiteral("?");
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.value(0) == QLatin1String("--writer") && args.size() == 4)
        return writer(args.at(1), args.at(2).toInt(), args.at(3));

    qint64 vouchers = 1000000;
    int intervalMs = 1000;
    bool keep = false;
    QString dir;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--vouchers") && i + 1 < args.size())
            vouchers = args.at(++i).toLongLong();
        else if (a == QLatin1String("--interval") && i + 1 < args.size())
            intervalMs = std::max(0, args.at(++i).toInt());
        else if (a == QLatin1String("--keep"))
            keep = true;
        else if (a.startsWith(QLatin1Char('-'))) {
            std::fprintf(stderr,
                         "usage: bench_backup [DIR] [--vouchers N] [--interval MS] [--keep]\n");
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
    const QString dest = temp.filePath(QStringLiteral("backup"));
    qint64 bytes = 0;
    for (const auto* f : schema::files())
        bytes += QFileInfo(QDir(dir).filePath(f->fileName)).size();
    out << "database folder " << dir << ", " << f1(double(bytes) / 1e6)
        << " MB; writer saves every " << intervalMs << " ms; load average " << loadAverage()
        << Qt::endl;

    // Warm the file cache, so the first measured copy does not also pay for the disk.
    {
        Run warm;
        bareBackup(dir, dest, warm);
    }
    Run quietBare;
    quietBare.what = QStringLiteral("bare SQLite, one step per file, nobody saving");
    {
        QElapsedTimer t;
        t.start();
        bareBackup(dir, dest, quietBare);
        quietBare.seconds = double(t.nsecsElapsed()) / 1e9;
    }
    Run quiet;
    quiet.what = QStringLiteral("orvik-admin backup, nobody saving");
    {
        QElapsedTimer t;
        t.start();
        orvikBackup(dir, dest, quiet);
        quiet.seconds = double(t.nsecsElapsed()) / 1e9;
    }
    Run busyBare = underWrites(dir, intervalMs, QStringLiteral("W1"),
                               [&](Run& r) { bareBackup(dir, dest, r); });
    busyBare.what = QStringLiteral("bare SQLite, one step per file, while a copy saves");
    Run busy = underWrites(dir, intervalMs, QStringLiteral("W2"),
                           [&](Run& r) { orvikBackup(dir, dest, r); });
    busy.what = QStringLiteral("orvik-admin backup while a copy saves");

    for (const Run* r : {&quietBare, &quiet, &busyBare, &busy})
        print(*r);
    if (!dir.startsWith(temp.path()))
        out << Qt::endl
            << "note: the writer's vouchers (numbers W-…) were added to " << dir << Qt::endl;
    return 0;
}
