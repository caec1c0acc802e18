// bench_import: bringing an old folder across.
//
//   bench_import [--vouchers N] [--samples DIR] [--rounds R] [--keep]
//
// 1. The reader on the public .mdb samples (Jet 3 and Jet 4): every table read R times (20),
//    rows per second.
// 2. An old folder of N vouchers (200,000) held in memory, with its cash and bank ledgers, bills
//    and combined-bill links over twenty years: making the rows alone, the whole import (mapping,
//    writing, reading back, report), and bare SQLite inserting the same voucher rows.
// 3. The estimate for a real folder: the import plus reading that many rows at the samples' rate.

#include <sqlite3.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <ctime>

#include "Database.h"
#include "Import.h"
#include "MdbSource.h"
#include "Schema.h"
#include "Vocabulary.h"

using namespace orvik;
using namespace orvik::legacy;
using SV = SourceValue;

namespace {

QTextStream out(stdout);

double cpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

QString loadAverage() {
    QFile f(QStringLiteral("/proc/loadavg"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 2);
}

double days(const QDate& d) {
    return double(QDate(1899, 12, 30).daysTo(d));
}

SourceType legacyType(store::schema::ColType t) {
    using T = store::schema::ColType;
    switch (t) {
        case T::Text:
            return SourceType::Text;
        case T::Int16:
            return SourceType::Integer;
        case T::Int32:
        case T::Number:
            return SourceType::Long;
        case T::Amount:
            return SourceType::Money;
        case T::Double:
            return SourceType::Double;
        case T::Boolean:
            return SourceType::Boolean;
        case T::Date:
            return SourceType::DateTime;
    }
    return SourceType::Other;
}

// A deterministic old folder: voucher i is entered on day i / perDay of the twenty years up to
// 2003-12-31; status cycles through every value; status 0 posts a cash row, statuses 1 to 4 a
// bill (every twentieth one combined with its neighbour through iofs), and cashed bills a bank
// row on one of two accounts.
struct OldFolder {
    qint64 vouchers;
    QDate first;
    qint64 perDay;
    QStringList uses, notes;
    QVector<admin::Account> accounts;

    explicit OldFolder(qint64 n) : vouchers(n) {
        first = QDate(2003, 12, 31).addYears(-20);
        perDay = std::max<qint64>(1, n / (20 * 365));
        uses = admin::uses();
        notes = admin::notes1();
        accounts = admin::accounts();
    }

    QDate day(qint64 i) const { return first.addDays(i / perDay); }
    QString number(qint64 i) const {
        const QDate d = day(i);
        return QStringLiteral("%1%2%3%4")
            .arg(d.year() - 1911, 2, 10, QLatin1Char('0'))
            .arg(d.month(), 2, 10, QLatin1Char('0'))
            .arg(d.day(), 2, 10, QLatin1Char('0'))
            .arg(i % perDay + 1, 3, 10, QLatin1Char('0'));
    }
    static int status(qint64 i) {
        static const int cycle[] = {0, 0, 0, 0, 1, 1, 1, 2, -1, -2, -3, 3, 4, 0, 1, 0};
        return cycle[i % 16];
    }
    static qint64 amount(qint64 i) { return (1000 + (i * 7919) % 250000) * 10000; }

    void voucher(qint64 i, QVector<SV>& row) const {
        const admin::Account& a = accounts.at(int(i % accounts.size()));
        const QDate d = day(i);
        row[0] = SV::date(days(d));
        row[1] = SV::string(number(i));
        row[2] = SV::string(uses.at(int(i % uses.size())));
        row[3] = SV::whole(status(i));
        row[4] = SV::money(amount(i));
        row[5] = SV::string(a.id);
        row[6] = SV::yesNo(!a.income);
        row[7] = SV::string(a.name);
        row[8] = SV::string(notes.at(int(i % notes.size())));
        row[9] = i % 3 ? SV::string(QString()) : SV::null();
        row[10] = SV::string(QStringLiteral("P%1").arg(i % 40));
        row[11] = SV::string(QStringLiteral("新竹廠房新建工程"));
        row[12] = SV::string(QStringLiteral("水電"));
        row[13] = SV::date(days(d.addDays(-(i % 5))));
        row[14] = SV::string(QStringLiteral("陳美玲"));
        row[15] = SV::string(QStringLiteral("林志明"));
        row[16] = SV::yesNo(i % 2);
        row[17] = SV::string(QStringLiteral("AB%1").arg(i, 8, 10, QLatin1Char('0')));
        row[18] = SV::money(amount(i) / 20 / 10000 * 10000);
        row[19] = SV::yesNo(i % 4 == 0);
        row[20] = SV::whole(i % 3 ? -1 : -2);
    }

    MemorySource source() const {
        MemorySource src;
        for (const auto* f : store::schema::files()) {
            auto& file = src.file(f->fileName);
            for (const auto& t : f->tables) {
                MemorySource::Table table{t.name, {}, {}, {}, 0};
                for (const auto& c : t.columns)
                    table.columns.push_back({c.name, legacyType(c.type), 0});
                file.tables.push_back(table);
            }
        }
        auto& acc = src.file(QStringLiteral("acc.mdb"));
        const OldFolder* self = this;
        auto* iof = acc.table(QStringLiteral("iof"));
        iof->generatedRows = vouchers;
        iof->generate = [self](qint64 i, QVector<SV>& row) { self->voucher(i, row); };

        // Ledger rows follow the vouchers of their kind: the k-th cash row is voucher 16 * (k / 5)
        // + the k-th position of status 0 in the cycle.
        static const int cashAt[] = {0, 1, 2, 3, 13, 15};
        static const int billAt[] = {4, 5, 6, 7, 11, 12, 14};
        auto* cash = acc.table(QStringLiteral("cash"));
        cash->generatedRows = vouchers / 16 * 6;
        cash->generate = [self](qint64 k, QVector<SV>& row) {
            const qint64 i = k / 6 * 16 + cashAt[k % 6];
            row = {SV::whole(k + 1),
                   SV::yesNo(i % 5 == 0),
                   SV::date(days(self->day(i))),
                   SV::money(amount(i)),
                   SV::string(self->uses.at(int(i % self->uses.size()))),
                   SV::string(self->number(i)),
                   SV::money(((k * 7) % 900000 + 1000) * 10000)};
        };
        auto* bill = acc.table(QStringLiteral("bill"));
        bill->generatedRows = vouchers / 16 * 7;
        bill->generate = [self](qint64 k, QVector<SV>& row) {
            const qint64 i = k / 7 * 16 + billAt[k % 7];
            const QDate d = self->day(i);
            row = {SV::string(QStringLiteral("AA%1").arg(k, 7, 10, QLatin1Char('0'))),
                   SV::date(days(d)),
                   SV::date(days(d.addDays(25))),
                   SV::date(days(d.addDays(30))),
                   SV::null(),
                   SV::string(QStringLiteral("台灣銀行")),
                   SV::string(QStringLiteral("土地銀行")),
                   SV::string(QStringLiteral("歐維克工程有限公司")),
                   SV::string(QStringLiteral("大同水電行")),
                   SV::string(QStringLiteral("123-456")),
                   SV::string(QStringLiteral("789-012")),
                   SV::money(amount(i)),
                   SV::string(QStringLiteral("壹萬元整")),
                   SV::yesNo(false),
                   SV::string(k % 20 == 0 ? self->number(i) + QLatin1Char('S') : self->number(i)),
                   SV::whole(k % 4)};
        };
        auto* iofs = acc.table(QStringLiteral("iofs"));
        iofs->generatedRows = bill->generatedRows / 20;
        iofs->generate = [self](qint64 k, QVector<SV>& row) {
            const qint64 i = k * 20 / 7 * 16 + billAt[0];
            row = {SV::string(self->number(i) + QLatin1Char('S')), SV::string(self->number(i))};
        };
        auto* bank = acc.table(QStringLiteral("bank"));
        bank->generatedRows = bill->generatedRows / 4;
        bank->generate = [self](qint64 k, QVector<SV>& row) {
            const qint64 i = (k * 4 + 1) / 7 * 16 + billAt[(k * 4 + 1) % 7];
            row = {SV::whole(k / 2 + 1),
                   SV::string(k % 2 ? QStringLiteral("123-456") : QStringLiteral("555-777")),
                   SV::string(QStringLiteral("台灣銀行")),
                   SV::yesNo(k % 3 == 0),
                   SV::date(days(self->day(i).addDays(30))),
                   SV::money(amount(i)),
                   SV::string(QStringLiteral("兌現")),
                   SV::string(QStringLiteral("AA%1").arg(k * 4 + 1, 7, 10, QLatin1Char('0'))),
                   SV::money(((k * 13) % 5000000 + 1000) * 10000)};
        };
        for (const auto& a : accounts)
            acc.table(QStringLiteral("acc"))
                ->rows.push_back({SV::string(a.id), SV::yesNo(a.income), SV::string(a.name)});
        src.file(QStringLiteral("voro3.mdb"))
            .table(QStringLiteral("員工"))
            ->rows.push_back({SV::string(QStringLiteral("A001")),
                              SV::string(QStringLiteral("系統管理員")),
                              SV::string(QStringLiteral("admin")),
                              SV::string(QStringLiteral("admin")), SV::whole(4194303)});
        return src;
    }
};

struct SampleRate {
    qint64 rows = 0;
    qint64 values = 0;
    double seconds = 0;
};

SampleRate readSamples(const QString& dir, int rounds) {
    SampleRate rate;
    for (const char* name : {"nwind.mdb", "DateTestDatabase.mdb"}) {
        const QString path = QDir(dir).filePath(QString::fromLatin1(name));
        if (!QFile::exists(path)) {
            out << "  " << path << ": not found, skipped" << Qt::endl;
            continue;
        }
        MdbSource source(dir, QStringLiteral("CP1252"));
        qint64 rows = 0, values = 0;
        QElapsedTimer t;
        t.start();
        for (int r = 0; r < rounds; ++r) {
            auto file = source.openPath(path);
            for (const QString& table : file->tableNames()) {
                auto reader = file->openTable(table);
                QVector<SV> row;
                while (reader->next(row)) {
                    ++rows;
                    values += row.size();
                }
            }
        }
        const double s = double(t.nsecsElapsed()) / 1e9;
        auto file = source.openPath(path);
        out << QStringLiteral("  %1 (%2): %3 rows, %4 values in %5 s: %6 rows/s, %7 values/s")
                   .arg(QString::fromLatin1(name), file->format())
                   .arg(rows)
                   .arg(values)
                   .arg(s, 0, 'f', 3)
                   .arg(rows / s, 0, 'f', 0)
                   .arg(values / s, 0, 'f', 0)
            << Qt::endl;
        rate.rows += rows;
        rate.values += values;
        rate.seconds += s;
    }
    return rate;
}

// Bare SQLite: the same voucher rows, converted by hand, inserted in one transaction.
double bareInsert(const OldFolder& old, const QString& path) {
    sqlite3* db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    const auto& t = *store::schema::acc().table(QStringLiteral("iof"));
    sqlite3_exec(db, store::schema::createTableSql(t).toUtf8().constData(), nullptr, nullptr,
                 nullptr);
    for (const auto& i : t.indexes)
        sqlite3_exec(db, store::schema::createIndexSql(t, i).toUtf8().constData(), nullptr, nullptr,
                     nullptr);
    QElapsedTimer timer;
    timer.start();
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO iof VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)", -1,
                       &st, nullptr);
    QVector<SV> row(21);
    for (qint64 i = 0; i < old.vouchers; ++i) {
        old.voucher(i, row);
        for (int c = 0; c < 21; ++c) {
            const SV& v = row.at(c);
            switch (v.kind) {
                case SV::Kind::Null:
                    sqlite3_bind_null(st, c + 1);
                    break;
                case SV::Kind::Text: {
                    const QByteArray u = v.text.toUtf8();
                    sqlite3_bind_text(st, c + 1, u.constData(), int(u.size()), SQLITE_TRANSIENT);
                    break;
                }
                case SV::Kind::Date: {
                    const QByteArray u = dateFromDays(v.real).toString(Qt::ISODate).toLatin1();
                    sqlite3_bind_text(st, c + 1, u.constData(), int(u.size()), SQLITE_TRANSIENT);
                    break;
                }
                case SV::Kind::Money:
                    sqlite3_bind_int64(st, c + 1, v.integer / 10000);
                    break;
                default:
                    sqlite3_bind_int64(st, c + 1, v.integer);
            }
        }
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    const double s = double(timer.nsecsElapsed()) / 1e9;
    sqlite3_close(db);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    qint64 vouchers = 200000;
    int rounds = 20;
    bool keep = false;
    QString samples = QStringLiteral(ORVIK_MDB_SAMPLES);
    const QStringList args = app.arguments().mid(1);
    for (int i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--vouchers") && i + 1 < args.size())
            vouchers = args.at(++i).toLongLong();
        else if (args.at(i) == QLatin1String("--rounds") && i + 1 < args.size())
            rounds = args.at(++i).toInt();
        else if (args.at(i) == QLatin1String("--samples") && i + 1 < args.size())
            samples = args.at(++i);
        else if (args.at(i) == QLatin1String("--keep"))
            keep = true;
        else {
            out << "usage: bench_import [--vouchers N] [--samples DIR] [--rounds R] [--keep]"
                << Qt::endl;
            return 2;
        }
    }
    out << "load average: " << loadAverage() << Qt::endl;

    out << "1. reader on the samples, " << rounds << " rounds" << Qt::endl;
    const SampleRate rate = readSamples(samples, rounds);

    QTemporaryDir tmp;
    tmp.setAutoRemove(!keep);
    const OldFolder old(vouchers);
    out << "2. generated old folder of " << vouchers << " vouchers" << Qt::endl;
    qint64 values = 0;
    {
        MemorySource src = old.source();
        qint64 rows = 0;
        QElapsedTimer t;
        t.start();
        for (const auto* f : store::schema::files()) {
            auto file = src.openFile(f->fileName);
            for (const QString& name : file->tableNames()) {
                auto reader = file->openTable(name);
                QVector<SV> row;
                while (reader->next(row)) {
                    ++rows;
                    values += row.size();
                }
            }
        }
        out << QStringLiteral("  making the rows alone: %1 rows in %2 s")
                   .arg(rows)
                   .arg(double(t.nsecsElapsed()) / 1e9, 0, 'f', 2)
            << Qt::endl;
    }
    MemorySource src = old.source();
    ImportOptions o;
    o.sourceDir = QStringLiteral("(generated)");
    o.destDir = tmp.filePath(QStringLiteral("new"));
    const double cpu0 = cpuSeconds();
    QElapsedTimer t;
    t.start();
    const ImportReport r = importLegacy(src, o);
    const double importSeconds = double(t.nsecsElapsed()) / 1e9;
    const double cpu = cpuSeconds() - cpu0;
    qint64 rows = 0;
    for (const auto& c : r.tables)
        rows += c.read;
    out << QStringLiteral(
               "  import (map, write, read back, report): %1 s wall, %2 s CPU; %3 rows, "
               "%4 vouchers/s; %5")
               .arg(importSeconds, 0, 'f', 2)
               .arg(cpu, 0, 'f', 2)
               .arg(rows)
               .arg(vouchers / importSeconds, 0, 'f', 0)
               .arg(r.clean() ? QStringLiteral("all counts and totals agree")
                              : QStringLiteral("NOT CLEAN: %1 mismatches, %2 problems")
                                    .arg(r.mismatches.size())
                                    .arg(r.problems.size()))
        << Qt::endl;
    const double bare = bareInsert(old, tmp.filePath(QStringLiteral("bare.db")));
    out << QStringLiteral("  bare SQLite, the same %1 voucher rows in one transaction: %2 s")
               .arg(vouchers)
               .arg(bare, 0, 'f', 2)
        << Qt::endl;

    out << "3. estimate for a real old folder of " << vouchers << " vouchers" << Qt::endl;
    if (rate.values > 0) {
        // Values rather than rows: the vouchers are wider than most of the samples' rows.
        const double readSeconds = double(values) / (double(rate.values) / rate.seconds);
        out << QStringLiteral(
                   "  reading %1 values at the samples' %2 values/s: %3 s; with the import: "
                   "%4 s (target < 60 s)")
                   .arg(values)
                   .arg(double(rate.values) / rate.seconds, 0, 'f', 0)
                   .arg(readSeconds, 0, 'f', 2)
                   .arg(readSeconds + importSeconds, 0, 'f', 2)
            << Qt::endl;
    } else {
        out << "  no samples read; import alone " << importSeconds << " s" << Qt::endl;
    }
    if (keep)
        out << "kept: " << tmp.path() << Qt::endl;
    return 0;
}
