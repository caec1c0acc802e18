// bench_cursor: the voucher form's browsing cursor over every voucher, beside bare SQLite.
//
//   bench_cursor [DIR] [--vouchers N] [--samples K] [--keep]
//
// Without DIR a folder is made in a temporary directory with `orvik-admin init` and
// `orvik-admin generate --vouchers N` (N = 1,000,000 by default), run as a child process so
// that this process's peak memory is the cursor's alone. See README.md.

#include <sqlite3.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "Database.h"
#include "Recordset.h"
#include "Schema.h"

using namespace orvik::store;

namespace {

QTextStream out(stdout);

double ms(qint64 ns) {
    return double(ns) / 1e6;
}

// CPU time of this thread, in ms: unlike wall time it hardly moves when other processes
// compete for the cores, so it shows the work itself on a busy machine.
double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

qint64 procStatusKb(const char* key) {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray all = f.readAll();
    for (const QByteArray& line : all.split('\n')) {
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

struct Stats {
    double avg = 0, p99 = 0, max = 0;
};

Stats stats(std::vector<double> v) {
    Stats s;
    for (double x : v) {
        s.avg += x;
        s.max = std::max(s.max, x);
    }
    if (!v.empty()) {
        s.avg /= double(v.size());
        std::sort(v.begin(), v.end());
        s.p99 = v[std::min(v.size() - 1, v.size() * 99 / 100)];
    }
    return s;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void row(const QString& what, const QString& store, const QString& bare, const QString& target = {},
         const QString& verdict = {}) {
    out << what.leftJustified(34) << store.rightJustified(14) << bare.rightJustified(14)
        << QStringLiteral("  ") << target.leftJustified(22) << verdict << Qt::endl;
}

QString f3(double v) {
    return QString::number(v, 'f', 3);
}

bool runAdmin(const QStringList& args, double* seconds) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral(ORVIK_ADMIN), args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        out << "orvik-admin " << args.join(' ') << " failed: " << p.readAllStandardOutput()
            << Qt::endl;
        return false;
    }
    if (seconds)
        *seconds = double(t.nsecsElapsed()) / 1e9;
    out << p.readAllStandardOutput();
    return true;
}

// Reads every column of the current row, as a form showing a voucher does.
void readRow(const Recordset& rs, int fields, qint64* sink) {
    for (int i = 0; i < fields; ++i)
        *sink += rs.field(i).toString().size();
}

void readBare(sqlite3_stmt* st, qint64* sink) {
    const int n = sqlite3_column_count(st);
    for (int i = 0; i < n; ++i) {
        switch (sqlite3_column_type(st, i)) {
            case SQLITE_INTEGER:
                *sink += sqlite3_column_int64(st, i) & 1;
                break;
            case SQLITE_TEXT:
                *sink += sqlite3_column_bytes(st, i);
                break;
            default:
                break;
        }
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    qint64 vouchers = 1000000;
    int samples = 1000;
    bool keep = false;
    QString dir;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (a == QLatin1String("--vouchers") && i + 1 < args.size())
            vouchers = args.at(++i).toLongLong();
        else if (a == QLatin1String("--samples") && i + 1 < args.size())
            samples = args.at(++i).toInt();
        else if (a == QLatin1String("--keep"))
            keep = true;
        else if (a.startsWith(QLatin1String("-"))) {
            std::fprintf(stderr,
                         "usage: bench_cursor [DIR] [--vouchers N] [--samples K] [--keep]\n");
            return 2;
        } else
            dir = a;
    }

    QTemporaryDir temp;
    temp.setAutoRemove(!keep);
    double generateSeconds = -1;
    if (dir.isEmpty()) {
        dir = temp.filePath(QStringLiteral("db"));
        out << "making " << dir << " with " << vouchers << " vouchers" << Qt::endl;
        if (!runAdmin({QStringLiteral("init"), dir}, nullptr) ||
            !runAdmin({QStringLiteral("generate"), dir, QStringLiteral("--vouchers"),
                       QString::number(vouchers), QStringLiteral("--quiet")},
                      &generateSeconds))
            return 1;
        if (keep)
            out << "kept in " << dir << Qt::endl;
    }
    const QString path = QDir(dir).filePath(QStringLiteral("acc.mdb"));
    const QString sql = QStringLiteral("select * from iof order by length(單號), 單號");
    qint64 sink = 0;

    try {
        const qint64 rss0 = procStatusKb("VmRSS:");
        QElapsedTimer t;
        t.start();
        auto db = Database::open(path, schema::acc().connect());
        const double openDb = ms(t.nsecsElapsed());

        // Bare SQLite on its own connection.
        sqlite3* raw = nullptr;
        sqlite3_open_v2(path.toUtf8().constData(), &raw, SQLITE_OPEN_READONLY, nullptr);
        sqlite3_stmt* keysSt = nullptr;
        sqlite3_stmt* rowSt = nullptr;
        sqlite3_prepare_v2(raw, "select rowid from iof order by length(單號), 單號", -1, &keysSt, nullptr);
        sqlite3_prepare_v2(raw, "select * from iof where rowid = ?", -1, &rowSt, nullptr);
        std::vector<sqlite3_int64> bareKeys;
        auto bareScan = [&] {
            bareKeys.clear();
            while (sqlite3_step(keysSt) == SQLITE_ROW)
                bareKeys.push_back(sqlite3_column_int64(keysSt, 0));
            sqlite3_reset(keysSt);
        };
        auto bareRow = [&](size_t pos) {
            sqlite3_bind_int64(rowSt, 1, bareKeys[pos]);
            if (sqlite3_step(rowSt) == SQLITE_ROW)
                readBare(rowSt, &sink);
            sqlite3_reset(rowSt);
        };

        // Rounds of the store's cursor open (with RecordCount) and the bare key scan,
        // alternating so that neither gets a warmer cache than the other.
        // The same bare key scan on the store's own connection: tells the cost of the cursor's
        // code apart from the cost of the connection's settings.
        sqlite3_stmt* keysOnStore = nullptr;
        sqlite3_prepare_v2(db->handle(), "select rowid from iof order by length(單號), 單號", -1, &keysOnStore,
                           nullptr);
        std::vector<double> onStoreConn;
        std::vector<sqlite3_int64> scratch;
        std::vector<double> storeOpen, storeCount, bareOpen, storeCpu, bareCpu;
        qint64 rssCursor = 0;
        int count = 0;
        for (int round = 0; round < 3; ++round) {
            double c0 = cpuMs();
            t.restart();
            Recordset rs = db->openRecordset(sql);
            const double o = ms(t.nsecsElapsed());
            storeCpu.push_back(cpuMs() - c0);
            t.restart();
            count = rs.RecordCount();
            storeOpen.push_back(o);
            storeCount.push_back(ms(t.nsecsElapsed()));
            if (round == 0)
                rssCursor = procStatusKb("VmRSS:");
            rs.Close();
            c0 = cpuMs();
            t.restart();
            bareScan();
            bareOpen.push_back(ms(t.nsecsElapsed()));
            bareCpu.push_back(cpuMs() - c0);
            t.restart();
            scratch.clear();
            while (sqlite3_step(keysOnStore) == SQLITE_ROW)
                scratch.push_back(sqlite3_column_int64(keysOnStore, 0));
            sqlite3_reset(keysOnStore);
            onStoreConn.push_back(ms(t.nsecsElapsed()));
        }
        sqlite3_finalize(keysOnStore);
        std::vector<sqlite3_int64>().swap(scratch);

        // The cursor the measurements below use, held open like the voucher form's.
        Recordset rs = db->openRecordset(sql);
        const int fields = rs.fieldCount();
        const qint64 rssHeld = procStatusKb("VmRSS:");
        auto storeAt = [&](int pos) {
            QElapsedTimer s;
            s.start();
            const int cur = rs.AbsolutePosition();
            if (pos == 0)
                rs.MoveFirst();
            else if (pos == count - 1)
                rs.MoveLast();
            else
                rs.Move(pos - cur);
            readRow(rs, fields, &sink);
            return ms(s.nsecsElapsed());
        };
        auto bareAt = [&](int pos) {
            QElapsedTimer s;
            s.start();
            bareRow(size_t(pos));
            return ms(s.nsecsElapsed());
        };
        const int middle = count / 2;
        const double sFirst = storeAt(0), bFirst = bareAt(0);
        const double sMid = storeAt(middle), bMid = bareAt(middle);
        const double sLast = storeAt(count - 1), bLast = bareAt(count - 1);
        std::vector<double> sRand, bRand;
        QRandomGenerator rng(42);
        for (int i = 0; i < samples; ++i) {
            const int pos = int(rng.bounded(count));
            sRand.push_back(storeAt(pos));
            bRand.push_back(bareAt(pos));
        }
        // One scroll-bar step: the next voucher.
        std::vector<double> sNext, bNext;
        rs.MoveFirst();
        for (int i = 0; i < samples && i + 1 < count; ++i) {
            sNext.push_back(storeAt(i + 1));
            bNext.push_back(bareAt(i + 1));
        }
        const qint64 hwm = procStatusKb("VmHWM:");
        rs.Close();
        sqlite3_finalize(keysSt);
        sqlite3_finalize(rowSt);
        sqlite3_close(raw);

        const double so = median(storeOpen), sc = median(storeCount), bo = median(bareOpen);
        out << Qt::endl
            << "acc.mdb: " << path << ", " << count << " vouchers, " << fields << " fields, "
            << QFile(path).size() / (1024 * 1024) << " MB" << Qt::endl;
        if (generateSeconds >= 0)
            out << "generate: " << QString::number(generateSeconds, 'f', 1)
                << " s wall (target < 60 s): " << (generateSeconds < 60 ? "ok" : "SLOW")
                << Qt::endl;
        QFile loadavg(QStringLiteral("/proc/loadavg"));
        if (loadavg.open(QIODevice::ReadOnly))
            out << "load average (1, 5, 15 min): "
                << QString::fromLatin1(loadavg.readAll()).section(QLatin1Char(' '), 0, 2) << " on "
                << QThread::idealThreadCount() << " cores" << Qt::endl;
        out << "times in ms; median of 3 rounds for the opens; bare = raw sqlite3 on its own "
               "connection"
            << Qt::endl
            << Qt::endl;
        row(QStringLiteral("operation"), QStringLiteral("Orvik store"),
            QStringLiteral("bare SQLite"), QStringLiteral("target"));
        row(QStringLiteral("Database::open (password check)"), f3(openDb), QString());
        row(QStringLiteral("cursor open (keys in 單號 order)"), f3(so), f3(bo));
        row(QStringLiteral("cursor open, CPU time"), f3(median(storeCpu)), f3(median(bareCpu)));
        row(QStringLiteral("RecordCount after open"), f3(sc), QString());
        row(QStringLiteral("bare key scan on store's connection"), QString(),
            f3(median(onStoreConn)));
        const double oc = so + sc;
        row(QStringLiteral("open + RecordCount"), f3(oc), f3(bo),
            QStringLiteral("< 500, <= 2x bare"),
            (oc < 500 && oc <= 2 * bo) ? QStringLiteral("ok (%1x)").arg(oc / bo, 0, 'f', 2)
                                       : QStringLiteral("MISSED (%1x)").arg(oc / bo, 0, 'f', 2));
        const QString moveTarget = QStringLiteral("< 1");
        auto verdict = [](double v) {
            return v < 1.0 ? QStringLiteral("ok") : QStringLiteral("MISSED");
        };
        row(QStringLiteral("Move first + 21 field reads"), f3(sFirst), f3(bFirst), moveTarget,
            verdict(sFirst));
        row(QStringLiteral("Move middle + 21 field reads"), f3(sMid), f3(bMid), moveTarget,
            verdict(sMid));
        row(QStringLiteral("Move last + 21 field reads"), f3(sLast), f3(bLast), moveTarget,
            verdict(sLast));
        const Stats sr = stats(sRand), br = stats(bRand), sn = stats(sNext), bn = stats(bNext);
        row(QStringLiteral("Move random + 21 reads, avg"), f3(sr.avg), f3(br.avg), moveTarget,
            verdict(sr.avg));
        row(QStringLiteral("Move random + 21 reads, p99"), f3(sr.p99), f3(br.p99), moveTarget,
            verdict(sr.p99));
        row(QStringLiteral("Move random + 21 reads, max"), f3(sr.max), f3(br.max),
            QStringLiteral("(info)"));
        row(QStringLiteral("MoveNext + 21 reads, avg"), f3(sn.avg), f3(bn.avg), moveTarget,
            verdict(sn.avg));
        const double cursorMb = double(rssCursor - rss0) / 1024.0;
        const double heldMb = double(rssHeld - rss0) / 1024.0;
        row(QStringLiteral("cursor memory (VmRSS delta), MB"), QString::number(cursorMb, 'f', 1),
            QString::number(double(bareKeys.capacity() * sizeof(sqlite3_int64)) / 1048576.0, 'f',
                            1),
            QStringLiteral("< 100"),
            cursorMb < 100 ? QStringLiteral("ok") : QStringLiteral("MISSED"));
        row(QStringLiteral("with bare keys + cache held, MB"), QString::number(heldMb, 'f', 1),
            QString());
        row(QStringLiteral("peak memory (VmHWM), MB"),
            QString::number(double(hwm) / 1024.0, 'f', 1), QString());
        out << Qt::endl
            << "(" << samples << " random positions, seed 42; checksum " << sink << ")" << Qt::endl;
    } catch (const EngineError& e) {
        out << "engine error " << e.number() << ": " << e.description() << Qt::endl;
        return 1;
    }
    return 0;
}
