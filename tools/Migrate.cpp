#include "Migrate.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "Admin.h"
#include "AdminError.h"
#include "BulkCopy.h"
#include "Database.h"
#include "Schema.h"

namespace orvik::admin {

using store::Database;
using store::DatabasePtr;
using store::EngineError;
namespace schema = store::schema;

namespace {

// One value of a row on its way: text as the engines print it, a null pointer for NULL.
struct Field {
    const char* data = nullptr;
    int size = 0;
};
// A row's fields: its row key first, then the table's columns in the definition's order.
using RowSink = std::function<void(const Field* fields, int count)>;
using Rows = QVector<QVector<QByteArray>>;

QString quote(const QString& name) {
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QString schemaName(const schema::File& file) {
    return QFileInfo(file.fileName).completeBaseName().toLower();
}

QString columnList(const schema::Table& t) {
    QStringList cols;
    for (const auto& c : t.columns)
        cols << quote(c.name);
    return cols.join(QStringLiteral(", "));
}

// The tables of `file` as version `version` made them.
QVector<const schema::Table*> tablesOf(const schema::File& file, int version) {
    QVector<const schema::Table*> out;
    for (const auto& t : file.tables) {
        if (t.since <= version)
            out << &t;
    }
    return out;
}

[[noreturn]] void engineFailure(const schema::File& file, const QString& what,
                                const EngineError& e) {
    throw AdminError(QStringLiteral("%1: %2：%3 (%4)")
                         .arg(file.fileName, what, e.description())
                         .arg(e.number()));
}

// ---------------------------------------------------------------------------------------------
// Where the rows come from

class Source {
  public:
    virtual ~Source() = default;
    virtual void read(const schema::File& file, const schema::Table& t, const RowSink& sink) = 0;
    virtual Rows query(const schema::File& file, const QString& sql) = 0;
};

// The result of a query on a file of a folder, through SQLite itself.
Rows sqliteRows(sqlite3* h, const QString& sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(h, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK)
        throw EngineError(store::err::ReservedError, QString::fromUtf8(sqlite3_errmsg(h)));
    Rows out;
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        QVector<QByteArray> row;
        for (int c = 0; c < sqlite3_column_count(st); ++c) {
            if (sqlite3_column_type(st, c) == SQLITE_NULL) {
                row << QByteArray();
                continue;
            }
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
            row << QByteArray(text, sqlite3_column_bytes(st, c));
        }
        out << row;
    }
    const QString error = rc == SQLITE_DONE ? QString() : QString::fromUtf8(sqlite3_errmsg(h));
    sqlite3_finalize(st);
    if (!error.isEmpty())
        throw EngineError(store::err::ReservedError, error);
    return out;
}

class FolderSource : public Source {
  public:
    explicit FolderSource(const QString& dir) {
        for (const auto* f : schema::files()) {
            DatabasePtr db = openFile(dir, *f);
            // A deferred read: each file keeps one state while it is read.
            db->beginRead();
            dbs_.insert(f, db);
        }
    }
    ~FolderSource() override {
        for (const auto& db : dbs_)
            db->endRead();
    }

    void read(const schema::File& file, const schema::Table& t, const RowSink& sink) override {
        sqlite3* h = dbs_.value(&file)->handle();
        const QByteArray sql = QStringLiteral("SELECT rowid, %1 FROM %2 ORDER BY rowid")
                                   .arg(columnList(t), quote(t.name))
                                   .toUtf8();
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(h, sql.constData(), -1, &st, nullptr) != SQLITE_OK)
            throw EngineError(store::err::ReservedError, QString::fromUtf8(sqlite3_errmsg(h)));
        std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> guard(st, sqlite3_finalize);
        const int n = sqlite3_column_count(st);
        std::vector<Field> fields(static_cast<size_t>(n));
        std::vector<std::array<char, 32>> numbers(static_cast<size_t>(n));
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            for (int c = 0; c < n; ++c) {
                Field& f = fields[size_t(c)];
                switch (sqlite3_column_type(st, c)) {
                    case SQLITE_NULL:
                        f = {};
                        break;
                    case SQLITE_FLOAT: {
                        // Every digit, so the number arrives as the same double.
                        char* buf = numbers[size_t(c)].data();
                        const double v = sqlite3_column_double(st, c);
                        const int len = std::snprintf(buf, 32, "%.17g", v);
                        f = {buf, len};
                        break;
                    }
                    default:
                        f.data = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
                        f.size = sqlite3_column_bytes(st, c);
                        break;
                }
            }
            sink(fields.data(), n);
        }
        if (rc != SQLITE_DONE)
            throw EngineError(store::err::ReservedError, QString::fromUtf8(sqlite3_errmsg(h)));
    }

    Rows query(const schema::File& file, const QString& sql) override {
        return sqliteRows(dbs_.value(&file)->handle(), sql);
    }

  private:
    QHash<const schema::File*, DatabasePtr> dbs_;
};

// A server's three schemas read through one connection in one snapshot, so the files agree
// with one another as they stood at one moment, while others may go on working.
class ServerSource : public Source {
  public:
    explicit ServerSource(const QString& location) : session_(location) {
        session_.run(QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
    }

    void read(const schema::File& file, const schema::Table& t, const RowSink& sink) override {
        const QString sql = QStringLiteral(
                                "COPY (SELECT rowid, %1 FROM %2.%3 ORDER BY rowid) "
                                "TO STDOUT")
                                .arg(columnList(t), quote(schemaName(file)), quote(t.name));
        std::vector<Field> fields;
        session_.copyOut(sql, [&](const char* line, int length) {
            const QVector<QByteArray> parts = store::splitCopyLine(line, length);
            fields.resize(size_t(parts.size()));
            for (int i = 0; i < parts.size(); ++i)
                fields[size_t(i)] = parts.at(i).isNull()
                                        ? Field{}
                                        : Field{parts.at(i).constData(), int(parts.at(i).size())};
            sink(fields.data(), int(fields.size()));
        });
    }

    Rows query(const schema::File& file, const QString& sql) override {
        session_.run(
            QStringLiteral("SET LOCAL search_path = %1, public").arg(quote(schemaName(file))));
        return session_.rows(sql);
    }

  private:
    store::BulkSession session_;
};

// ---------------------------------------------------------------------------------------------
// Where the rows go

class Target {
  public:
    virtual ~Target() = default;
    // Makes the three files (or schemas) and the tables of `version`, without their indexes.
    virtual void create(const schema::File& file, int version) = 0;
    virtual void beginTable(const schema::File& file, const schema::Table& t) = 0;
    virtual void row(const Field* fields, int count) = 0;
    virtual void endTable() = 0;
    // The indexes, the row keys' counters and the version stamp.
    virtual void finish(const schema::File& file, int version) = 0;
    virtual Rows query(const schema::File& file, const QString& sql) = 0;
    virtual void run(const schema::File& file, const QString& sql) = 0;
    virtual void keep() = 0;
    // Removes whatever was made; never throws.
    virtual void discard() noexcept = 0;
};

bool isIntegerType(schema::ColType t) {
    return t != schema::ColType::Text && t != schema::ColType::Date && t != schema::ColType::Double;
}

class FolderTarget : public Target {
  public:
    explicit FolderTarget(const QString& dir) : dir_(QDir(dir).absolutePath()) {
        if (QFileInfo(dir_).exists() && !QFileInfo(dir_).isDir())
            throw AdminError(QStringLiteral("%1 不是資料夾").arg(dir_));
        QStringList present;
        for (const auto* f : schema::files()) {
            if (QFileInfo::exists(QDir(dir_).filePath(f->fileName)))
                present << f->fileName;
        }
        if (!present.isEmpty())
            throw AdminError(QStringLiteral("%1 已有帳冊（%2）；只能搬到空的或新的資料夾")
                                 .arg(dir_, present.join(QStringLiteral("、"))));
        madeFolder_ = !QFileInfo::exists(dir_);
        QString error;
        if (!store::makeFolder(dir_, &error))
            throw AdminError(error);
    }
    ~FolderTarget() override { discard(); }

    void create(const schema::File& file, int version) override {
        Made m;
        m.file = &file;
        m.temp = QDir(dir_).filePath(QStringLiteral(".orvik-migrate-%1-%2")
                                         .arg(QCoreApplication::applicationPid())
                                         .arg(file.fileName));
        QFile::remove(m.temp);
        made_ << m;
        Made& at = made_.last();
        at.db = Database::create(at.temp, file.password);
        at.db->beginTrans();
        // Pages of a new file need no journal until it is in place; a bigger cache speeds up
        // the index builds.
        sqlite3_exec(at.db->handle(), "PRAGMA cache_size = -262144", nullptr, nullptr, nullptr);
        for (const auto* t : tablesOf(file, version))
            at.db->execute(schema::createTableSql(*t, store::Engine::SQLite));
    }

    void beginTable(const schema::File& file, const schema::Table& t) override {
        current_ = &find(file);
        table_ = &t;
        QStringList marks(int(t.columns.size()) + 1, QStringLiteral("?"));
        const QByteArray sql = QStringLiteral("INSERT INTO %1 (rowid, %2) VALUES (%3)")
                                   .arg(quote(t.name), columnList(t), marks.join(QLatin1Char(',')))
                                   .toUtf8();
        sqlite3* h = current_->db->handle();
        if (sqlite3_prepare_v2(h, sql.constData(), -1, &insert_, nullptr) != SQLITE_OK)
            throw EngineError(store::err::ReservedError, QString::fromUtf8(sqlite3_errmsg(h)));
    }

    void row(const Field* fields, int count) override {
        for (int i = 0; i < count; ++i) {
            const Field& f = fields[i];
            if (!f.data) {
                sqlite3_bind_null(insert_, i + 1);
                continue;
            }
            const schema::ColType type =
                i == 0 ? schema::ColType::Number : table_->columns.at(i - 1).type;
            // Numbers go in as numbers, so the file holds what the program itself stores;
            // anything that does not read as one is kept as the text it was.
            if (isIntegerType(type) || type == schema::ColType::Double) {
                const std::string s(f.data, size_t(f.size));
                char* end = nullptr;
                if (isIntegerType(type)) {
                    const long long v = std::strtoll(s.c_str(), &end, 10);
                    if (f.size > 0 && end && *end == '\0') {
                        sqlite3_bind_int64(insert_, i + 1, v);
                        continue;
                    }
                } else {
                    const double v = std::strtod(s.c_str(), &end);
                    if (f.size > 0 && end && *end == '\0') {
                        sqlite3_bind_double(insert_, i + 1, v);
                        continue;
                    }
                }
            }
            sqlite3_bind_text(insert_, i + 1, f.data, f.size, SQLITE_TRANSIENT);
        }
        if (sqlite3_step(insert_) != SQLITE_DONE) {
            const QString error = QString::fromUtf8(sqlite3_errmsg(current_->db->handle()));
            sqlite3_reset(insert_);
            throw EngineError(store::err::ReservedError, error);
        }
        sqlite3_reset(insert_);
    }

    void endTable() override {
        sqlite3_finalize(insert_);
        insert_ = nullptr;
    }

    void finish(const schema::File& file, int version) override {
        Made& m = find(file);
        for (const auto* t : tablesOf(file, version)) {
            for (const auto& i : t->indexes) {
                if (i.since <= version)
                    m.db->execute(schema::createIndexSql(*t, i, store::Engine::SQLite));
            }
        }
        m.db->setMeta(QStringLiteral("schema_version"), QString::number(version));
    }

    Rows query(const schema::File& file, const QString& sql) override {
        return sqliteRows(find(file).db->handle(), sql);
    }

    void run(const schema::File& file, const QString& sql) override { find(file).db->execute(sql); }

    void keep() override {
        for (auto& m : made_) {
            m.db->commitTrans();
            m.db.reset();
            syncFile(m.temp);
        }
        for (const auto& m : made_) {
            const QString final = QDir(dir_).filePath(m.file->fileName);
            if (QFileInfo::exists(final) || !QFile::rename(m.temp, final))
                throw AdminError(QStringLiteral("無法把 %1 改名為 %2").arg(m.temp, final));
        }
        syncFile(dir_);
        made_.clear();
        madeFolder_ = false;
    }

    void discard() noexcept override {
        if (insert_)
            sqlite3_finalize(insert_);
        insert_ = nullptr;
        for (auto& m : made_) {
            m.db.reset();  // rolls back
            QFile::remove(m.temp);
            QFile::remove(m.temp + QStringLiteral("-journal"));
        }
        made_.clear();
        if (madeFolder_)
            QDir().rmdir(dir_);
        madeFolder_ = false;
    }

  private:
    struct Made {
        const schema::File* file = nullptr;
        QString temp;
        DatabasePtr db;
    };
    Made& find(const schema::File& file) {
        for (auto& m : made_) {
            if (m.file == &file)
                return m;
        }
        throw AdminError(QStringLiteral("%1 尚未建立").arg(file.fileName));
    }
    static void syncFile(const QString& path) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }

    QString dir_;
    bool madeFolder_ = false;
    QVector<Made> made_;
    Made* current_ = nullptr;
    const schema::Table* table_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
};

// The three schemas are made through the store (the file password, the server's functions),
// then every table, row and index goes in through one connection in one transaction: a failure
// anywhere rolls all of it back and the schemas made are dropped again.
class ServerTarget : public Target {
  public:
    explicit ServerTarget(const QString& location) : location_(location), session_(location) {
        // The index builds sort in memory rather than through temporary files.
        session_.run(QStringLiteral("SET maintenance_work_mem = '256MB'"));
        QStringList present;
        for (const auto& row :
             session_.rows(QStringLiteral("SELECT nspname FROM pg_namespace WHERE nspname IN "
                                          "('acc', 'voro3', 'pt') ORDER BY nspname")))
            present << QString::fromUtf8(row.value(0));
        if (!present.isEmpty())
            throw AdminError(
                QStringLiteral("%1 已有帳冊的 schema（%2）；只能搬到沒有 acc、voro3、pt 的資料庫")
                    .arg(store::shownLocation(location), present.join(QStringLiteral("、"))));
    }
    ~ServerTarget() override { discard(); }

    void create(const schema::File& file, int version) override {
        if (inTransaction_)
            throw AdminError(QStringLiteral("三個檔案須先全部建立"));
        made_ << schemaName(file);
        dbs_ << Database::create(filePath(location_, file), file.password);
        versions_.insert(&file, version);
        if (dbs_.size() < schema::files().size())
            return;
        session_.run(QStringLiteral("BEGIN"));
        inTransaction_ = true;
        for (const auto* f : schema::files()) {
            use(*f);
            for (const auto* t : tablesOf(*f, versions_.value(f)))
                session_.run(schema::createTableSql(*t, store::Engine::PostgreSQL));
        }
    }

    void beginTable(const schema::File& file, const schema::Table& t) override {
        use(file);
        table_ = &t;
        session_.copyInBegin(
            QStringLiteral("COPY %1 (rowid, %2) FROM STDIN").arg(quote(t.name), columnList(t)));
        buffer_.clear();
        buffer_.reserve(kChunk + 4096);
    }

    void row(const Field* fields, int count) override {
        for (int i = 0; i < count; ++i) {
            if (i > 0)
                buffer_.append('\t');
            store::appendCopyField(buffer_, fields[i].data, fields[i].size);
        }
        buffer_.append('\n');
        if (buffer_.size() >= kChunk) {
            session_.copyInData(buffer_);
            buffer_.clear();
        }
    }

    void endTable() override {
        if (!buffer_.isEmpty())
            session_.copyInData(buffer_);
        buffer_.clear();
        session_.copyInEnd();
    }

    void finish(const schema::File& file, int version) override {
        use(file);
        for (const auto* t : tablesOf(file, version)) {
            for (const auto& i : t->indexes) {
                if (i.since <= version)
                    session_.run(schema::createIndexSql(*t, i, store::Engine::PostgreSQL));
            }
            // New rows the program adds get keys after the copied ones.
            session_.run(QStringLiteral("SELECT setval(pg_get_serial_sequence('%1.%2', 'rowid'), "
                                        "coalesce(max(rowid), 0) + 1, false) FROM %2")
                             .arg(quote(schemaName(file)), quote(t->name)));
        }
        session_.run(QStringLiteral("INSERT INTO orvik_meta (key, value) VALUES "
                                    "('schema_version', '%1') ON CONFLICT (key) DO UPDATE SET "
                                    "value = excluded.value")
                         .arg(version));
    }

    Rows query(const schema::File& file, const QString& sql) override {
        use(file);
        return session_.rows(sql);
    }

    void run(const schema::File& file, const QString& sql) override {
        use(file);
        session_.run(sql);
    }

    void keep() override {
        session_.run(QStringLiteral("COMMIT"));
        inTransaction_ = false;
        made_.clear();
        // The planner's figures for the new tables, so the first queries are planned well, and
        // their visibility map, so that the voucher cursor's keys come from the index alone.
        try {
            session_.run(QStringLiteral("VACUUM (ANALYZE)"));
        } catch (const EngineError&) {
            // The server analyses new tables by itself before long.
        }
    }

    void discard() noexcept override {
        try {
            if (inTransaction_)
                session_.run(QStringLiteral("ROLLBACK"));
        } catch (...) {
        }
        inTransaction_ = false;
        dbs_.clear();
        for (const QString& name : made_) {
            try {
                session_.run(QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(quote(name)));
            } catch (...) {
            }
        }
        made_.clear();
    }

  private:
    static constexpr qsizetype kChunk = 1 << 20;
    void use(const schema::File& file) {
        session_.run(QStringLiteral("SET search_path = %1, public").arg(quote(schemaName(file))));
    }

    QString location_;
    store::BulkSession session_;
    QStringList made_;
    QVector<DatabasePtr> dbs_;
    QHash<const schema::File*, int> versions_;
    bool inTransaction_ = false;
    const schema::Table* table_ = nullptr;
    QByteArray buffer_;
};

// ---------------------------------------------------------------------------------------------
// Reconciliation

// Per year of the table's first date column: the rows and the totals of its amount columns.
QString figuresSql(const schema::Table& t) {
    QString year = QStringLiteral("''");
    for (const auto& c : t.columns) {
        if (c.type == schema::ColType::Date) {
            year = QStringLiteral("substr(%1, 1, 4)").arg(quote(c.name));
            break;
        }
    }
    QStringList select{year, QStringLiteral("count(*)")};
    for (const auto& c : t.columns) {
        if (c.type == schema::ColType::Amount)
            select << QStringLiteral("sum(%1)").arg(quote(c.name));
    }
    QString sql =
        QStringLiteral("SELECT %1 FROM %2").arg(select.join(QStringLiteral(", ")), quote(t.name));
    if (year != QLatin1String("''"))
        sql += QStringLiteral(" GROUP BY ") + year;
    return sql;
}

void addFigures(MigrateFigures& into, const schema::File& file, const schema::Table& t,
                const Rows& rows) {
    QStringList amounts;
    for (const auto& c : t.columns) {
        if (c.type == schema::ColType::Amount)
            amounts << c.name;
    }
    for (const auto& row : rows) {
        const QString year = QString::fromUtf8(row.value(0));
        into[{file.fileName, t.name, year, QString()}] += row.value(1).toLongLong();
        for (int i = 0; i < amounts.size(); ++i)
            into[{file.fileName, t.name, year, amounts.at(i)}] += row.value(2 + i).toLongLong();
    }
}

QStringList compareFigures(const MigrateFigures& a, const MigrateFigures& b) {
    const QLocale n(QLocale::English);
    QStringList out;
    QList<FigureKey> keys = a.keys();
    for (const auto& k : b.keys()) {
        if (!a.contains(k))
            keys << k;
    }
    std::sort(keys.begin(), keys.end());
    for (const auto& k : keys) {
        const qint64 x = a.value(k), y = b.value(k);
        if (x == y && a.contains(k) == b.contains(k))
            continue;
        out << QStringLiteral("%1 %2%3 %4：來源 %5，新帳冊 %6")
                   .arg(k.fileName, k.table,
                        k.year.isEmpty() ? QString() : QStringLiteral(" ") + k.year,
                        k.column.isEmpty() ? QStringLiteral("列數") : k.column,
                        a.contains(k) ? n.toString(x) : QStringLiteral("（無）"),
                        b.contains(k) ? n.toString(y) : QStringLiteral("（無）"));
    }
    return out;
}

}  // namespace

QString MigrateReport::text() const {
    const QLocale n(QLocale::English);
    QStringList lines;
    lines << QStringLiteral("搬移 %1 → %2").arg(source, dest);
    QString file;
    for (const auto& t : tables) {
        if (t.fileName != file) {
            file = t.fileName;
            lines << QStringLiteral("%1（第 %2 版）").arg(file).arg(versions.value(file));
        }
        lines << QStringLiteral("  %1：來源 %2 列，新帳冊 %3 列%4")
                     .arg(t.table, n.toString(t.sourceRows), n.toString(t.destRows),
                          t.sourceRows == t.destRows ? QString() : QStringLiteral("  ← 不一致"));
        // The totals per year, where the table has amounts.
        QMap<QString, QStringList> byYear;
        for (auto it = sourceFigures.begin(); it != sourceFigures.end(); ++it) {
            const FigureKey& k = it.key();
            if (k.fileName != t.fileName || k.table != t.table || k.column.isEmpty())
                continue;
            const qint64 other = destFigures.value(k);
            byYear[k.year] << QStringLiteral("%1 %2%3").arg(
                k.column, n.toString(it.value()),
                other == it.value()
                    ? QString()
                    : QStringLiteral("（新帳冊 %1 ← 不一致）").arg(n.toString(other)));
        }
        for (auto it = byYear.begin(); it != byYear.end(); ++it) {
            const qint64 count = sourceFigures.value({t.fileName, t.table, it.key(), QString()});
            lines << QStringLiteral("    %1：%2 列；%3")
                         .arg(it.key().isEmpty() ? QStringLiteral("無日期") : it.key(),
                              n.toString(count), it.value().join(QStringLiteral("，")));
        }
    }
    if (mismatches.isEmpty())
        lines << QStringLiteral("核對：兩邊的列數與各年金額合計全部一致");
    else {
        lines << QStringLiteral("核對：%1 處不一致，新帳冊沒有留下").arg(mismatches.size());
        for (const auto& m : mismatches)
            lines << QStringLiteral("  ") + m;
    }
    lines << QStringLiteral("共 %1 列，複製 %2 秒，合計 %3 秒")
                 .arg(n.toString(rows))
                 .arg(copySeconds, 0, 'f', 1)
                 .arg(seconds, 0, 'f', 1);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

MigrateReport migrate(const MigrateOptions& o) {
    if (o.source.trimmed().isEmpty() || o.dest.trimmed().isEmpty())
        throw UsageError(QStringLiteral("migrate 需要來源與目的地"));
    const bool fromServer = store::isServerLocation(o.source);
    const bool toServer = store::isServerLocation(o.dest);
    if (!fromServer && !QFileInfo(o.source).isDir())
        throw AdminError(QStringLiteral("%1 不是資料夾").arg(o.source));
    if (!fromServer && !toServer &&
        QFileInfo(o.source).canonicalFilePath() == QFileInfo(o.dest).canonicalFilePath())
        throw AdminError(QStringLiteral("來源與目的地是同一個資料夾"));
    auto say = [&](const QString& line) {
        if (o.progress)
            o.progress(line);
    };
    QElapsedTimer whole;
    whole.start();
    MigrateReport report;
    report.source = store::shownLocation(o.source);
    report.dest = store::shownLocation(o.dest);

    // Nobody works on the old books while they move: a voucher saved meanwhile would stay
    // behind. A backup instead reads one snapshot and lets everyone go on.
    std::shared_ptr<FolderInUse> held;
    if (o.exclusive)
        held = takeFolder(o.source, QStringLiteral("搬移"));

    // What the source holds: its version per file, and no table this program does not know.
    QHash<const schema::File*, int> versions;
    for (const auto* f : schema::files()) {
        DatabasePtr db = openFile(o.source, *f);
        const int version = schema::versionOf(*db);
        if (version > schema::kVersion)
            throw AdminError(
                QStringLiteral("%1 的版本 %2 比本工具支援的第 %3 版新；請改用較新的 orvik-admin")
                    .arg(f->fileName)
                    .arg(version)
                    .arg(schema::kVersion));
        if (version < 1)
            throw AdminError(
                QStringLiteral("%1: 沒有標上版本的檔案不能搬移；請先用 orvik-admin upgrade 升級")
                    .arg(f->fileName));
        QStringList unknown, missing;
        const QStringList have = db->tableNames();
        for (const QString& name : have) {
            if (!f->table(name) || f->table(name)->since > version)
                unknown << name;
        }
        for (const auto* t : tablesOf(*f, version)) {
            if (!db->hasTable(t->name))
                missing << t->name;
        }
        if (!unknown.isEmpty() || !missing.isEmpty())
            throw AdminError(QStringLiteral("%1: 資料表與第 %2 版的定義不同（%3%4）；請先執行 "
                                            "orvik-admin check")
                                 .arg(f->fileName)
                                 .arg(version)
                                 .arg(unknown.isEmpty() ? QString()
                                                        : QStringLiteral("多出 ") +
                                                              unknown.join(QStringLiteral("、")))
                                 .arg(missing.isEmpty() ? QString()
                                                        : QStringLiteral(" 缺少 ") +
                                                              missing.join(QStringLiteral("、"))));
        versions.insert(f, version);
        report.versions.insert(f->fileName, version);
    }

    std::unique_ptr<Source> source;
    std::unique_ptr<Target> target;
    try {
        if (fromServer)
            source = std::make_unique<ServerSource>(o.source);
        else
            source = std::make_unique<FolderSource>(o.source);
        if (toServer)
            target = std::make_unique<ServerTarget>(o.dest);
        else
            target = std::make_unique<FolderTarget>(o.dest);
    } catch (const EngineError& e) {
        throw AdminError(QStringLiteral("migrate: %1 (%2)").arg(e.description()).arg(e.number()));
    }

    try {
        for (const auto* f : schema::files())
            target->create(*f, versions.value(f));
        QElapsedTimer copy;
        copy.start();
        for (const auto* f : schema::files()) {
            for (const auto* t : tablesOf(*f, versions.value(f))) {
                QElapsedTimer timer;
                timer.start();
                qint64 rows = 0;
                const int width = int(t->columns.size()) + 1;
                try {
                    target->beginTable(*f, *t);
                    source->read(*f, *t, [&](const Field* fields, int count) {
                        if (count != width)
                            throw AdminError(QStringLiteral("%1 %2: 讀到 %3 欄，應為 %4 欄")
                                                 .arg(f->fileName, t->name)
                                                 .arg(count)
                                                 .arg(width));
                        target->row(fields, count);
                        ++rows;
                    });
                    target->endTable();
                } catch (const EngineError& e) {
                    engineFailure(*f, QStringLiteral("複製 %1 失敗").arg(t->name), e);
                }
                report.rows += rows;
                say(QStringLiteral("%1 %2：%3 列，%4 秒")
                        .arg(f->fileName, t->name)
                        .arg(rows)
                        .arg(double(timer.nsecsElapsed()) / 1e9, 0, 'f', 2));
                if (o.testFailAfter == t->name)
                    throw AdminError(QStringLiteral("在 %1 之後中止（測試）").arg(t->name));
            }
        }
        report.copySeconds = double(copy.nsecsElapsed()) / 1e9;
        for (const auto* f : schema::files()) {
            QElapsedTimer timer;
            timer.start();
            try {
                target->finish(*f, versions.value(f));
            } catch (const EngineError& e) {
                engineFailure(*f, QStringLiteral("建立索引失敗"), e);
            }
            say(QStringLiteral("%1：索引 %2 秒")
                    .arg(f->fileName)
                    .arg(double(timer.nsecsElapsed()) / 1e9, 0, 'f', 2));
        }
        if (!o.testStatement.isEmpty()) {
            for (const auto* f : schema::files()) {
                if (f->fileName == o.testFile)
                    target->run(*f, o.testStatement);
            }
        }

        // Both sides counted and summed by their own engine, the new one before it is kept.
        for (const auto* f : schema::files()) {
            for (const auto* t : tablesOf(*f, versions.value(f))) {
                const QString sql = figuresSql(*t);
                try {
                    addFigures(report.sourceFigures, *f, *t, source->query(*f, sql));
                    addFigures(report.destFigures, *f, *t, target->query(*f, sql));
                } catch (const EngineError& e) {
                    engineFailure(*f, QStringLiteral("核對 %1 失敗").arg(t->name), e);
                }
                MigrateTable mt{f->fileName, t->name, 0, 0};
                for (auto it = report.sourceFigures.begin(); it != report.sourceFigures.end();
                     ++it) {
                    if (it.key().fileName == f->fileName && it.key().table == t->name &&
                        it.key().column.isEmpty())
                        mt.sourceRows += it.value();
                }
                for (auto it = report.destFigures.begin(); it != report.destFigures.end(); ++it) {
                    if (it.key().fileName == f->fileName && it.key().table == t->name &&
                        it.key().column.isEmpty())
                        mt.destRows += it.value();
                }
                report.tables << mt;
            }
        }
        report.mismatches = compareFigures(report.sourceFigures, report.destFigures);
        if (report.balanced()) {
            target->keep();
            report.kept = true;
        } else {
            target->discard();
        }
    } catch (const EngineError& e) {
        target->discard();
        throw AdminError(QStringLiteral("migrate: %1 (%2)；目的地沒有留下任何東西")
                             .arg(e.description())
                             .arg(e.number()));
    } catch (const AdminError& e) {
        target->discard();
        throw AdminError(QStringLiteral("migrate: %1；目的地沒有留下任何東西").arg(e.message()));
    } catch (...) {
        target->discard();
        throw;
    }
    report.seconds = double(whole.nsecsElapsed()) / 1e9;
    return report;
}

}  // namespace orvik::admin
