// The PostgreSQL engine: the books on a server, the three files as three schemas of one
// database. It speaks libpq directly rather than through Qt's driver: every failure comes with
// its exact SQLSTATE, a long walk arrives row by row (single-row mode) instead of as one result
// held in memory, and no driver plugin has to be installed beside the program.

#include <libpq-fe.h>

#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>

#include "Engine.h"
#include "Schema.h"
#include "ServerSql.h"

namespace orvik::store {

namespace {

constexpr int kBusyTimeoutMs = 10000;

// Advisory lock keys: the first half names what is locked, the second the schema it is
// locked for.
constexpr int kInUseLock = 0x4f520001;   // held shared by every connection to a schema
constexpr int kWriterLock = 0x4f520002;  // one write transaction at a time per schema

// A key that every process computes alike (FNV-1a over the UTF-8 text).
int stableKey(const QString& text) {
    quint32 h = 2166136261u;
    for (const char c : text.toUtf8()) {
        h ^= quint8(c);
        h *= 16777619u;
    }
    return int(h);
}

// The OIDs of the built-in types whose values are read as numbers.
constexpr Oid kBool = 16, kBytea = 17, kInt8 = 20, kInt2 = 21, kInt4 = 23, kOid = 26, kFloat4 = 700,
              kFloat8 = 701, kNumeric = 1700;

struct ServerPath {
    QString uri;       // as written, password and all
    QString fileName;  // acc.mdb
    QString schema;    // acc
};

ServerPath splitPath(const QString& path) {
    const qsizetype mark = path.lastIndexOf(QLatin1Char('#'));
    ServerPath p;
    p.uri = mark < 0 ? path.trimmed() : path.left(mark).trimmed();
    p.fileName = mark < 0 ? QString() : path.mid(mark + 1).trimmed();
    QString base = p.fileName;
    if (base.endsWith(QLatin1String(".mdb"), Qt::CaseInsensitive))
        base.chop(4);
    p.schema = detail::serverName(base);
    return p;
}

QString serverText(const ServerPath& p) {
    return shownLocation(p.uri);
}

std::mutex exclusiveMutex;
std::set<QString>& exclusiveSchemas() {
    static auto* held = new std::set<QString>;
    return *held;
}

QString schemaKey(const ServerPath& p) {
    return serverText(p) + QLatin1Char('#') + p.schema;
}

qint64 parseInt(const char* s, int len) {
    qint64 v = 0;
    int i = 0;
    const bool negative = len > 0 && s[0] == '-';
    if (negative)
        i = 1;
    for (; i < len; ++i)
        v = v * 10 + (s[i] - '0');
    return negative ? -v : v;
}

QString firstLine(const char* message) {
    return QString::fromUtf8(message).trimmed().section(QLatin1Char('\n'), 0, 0);
}

bool isState(const char* state, const char* want) {
    return state && std::strcmp(state, want) == 0;
}

// Turns a server failure into the engine error the forms already know.
[[noreturn]] void raiseServer(const PGresult* res, PGconn* conn, const QString& server) {
    const char* state = res ? PQresultErrorField(res, PG_DIAG_SQLSTATE) : nullptr;
    const QString code = QString::fromLatin1(state ? state : "");
    const QString message = firstLine(res ? PQresultErrorMessage(res) : PQerrorMessage(conn));
    const QString detail = QStringLiteral("(%1 %2；伺服器 %3)").arg(code, message, server);
    if (code == QLatin1String("23505"))
        throw EngineError(
            err::DuplicateKey,
            QStringLiteral(
                "您要求的變更無法成功，因為這些變更會在索引、主索引或關聯中造成重複的值。%1")
                .arg(detail));
    // A serialisation failure or a deadlock: nothing of the transaction stays, and the same
    // work done again succeeds, as after a busy file.
    if (code == QLatin1String("40001") || code == QLatin1String("40P01") ||
        code == QLatin1String("55P03") || code == QLatin1String("55006") ||
        code == QLatin1String("57014"))
        throw EngineError(
            err::DatabaseBusy,
            QStringLiteral("無法更新，目前已被另一使用者鎖定。請稍後再試。%1").arg(detail));
    if (code == QLatin1String("53100"))
        throw EngineError(err::DiskFull,
                          QStringLiteral("資料庫伺服器的磁碟已滿，無法寫入。%1").arg(detail));
    if (code == QLatin1String("28P01") || code == QLatin1String("28000"))
        throw EngineError(err::InvalidPassword, QStringLiteral("不是有效的密碼。%1").arg(detail));
    if (code == QLatin1String("42501") || code == QLatin1String("25006"))
        throw EngineError(err::ReadOnly,
                          QStringLiteral("無法更新。資料庫或物件為唯讀。%1").arg(detail));
    if (code == QLatin1String("42P01"))
        throw EngineError(
            err::TableNotFound,
            QStringLiteral("找不到輸入資料表或查詢。請確定它存在，而且名稱拼法正確。%1")
                .arg(detail));
    if (code == QLatin1String("42703"))
        throw EngineError(err::UnknownName,
                          QStringLiteral("參數太少。不認得的欄位名稱。%1").arg(detail));
    if (code == QLatin1String("42601"))
        throw EngineError(err::SyntaxError,
                          QStringLiteral("查詢運算式的語法錯誤 %1。").arg(detail));
    if (code.startsWith(QLatin1String("22")) || code == QLatin1String("42883") ||
        code == QLatin1String("42804"))
        throw EngineError(err::TypeMismatch,
                          QStringLiteral("準則運算式中的資料類型不符。%1").arg(detail));
    if (code.startsWith(QLatin1String("08")) || code.startsWith(QLatin1String("57P")) ||
        (conn && PQstatus(conn) != CONNECTION_OK))
        throw EngineError(err::ConnectionLost,
                          QStringLiteral("與資料庫伺服器 '%1' 的連線中斷。%2").arg(server, detail));
    throw EngineError(err::ReservedError, QStringLiteral("資料庫伺服器回報錯誤。%1").arg(detail));
}

bool failed(const PGresult* res) {
    const ExecStatusType s = PQresultStatus(res);
    return s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK && s != PGRES_SINGLE_TUPLE;
}

struct ResultDeleter {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultDeleter>;

// Text parameters as libpq takes them.
struct Params {
    QVector<const char*> values;
    QVector<int> lengths;
    Params(const QVector<QByteArray>& v, const QVector<bool>& nulls) {
        values.resize(v.size());
        lengths.resize(v.size());
        for (int i = 0; i < v.size(); ++i) {
            const bool null = i < nulls.size() && nulls.at(i);
            values[i] = null ? nullptr : v.at(i).constData();
            lengths[i] = null ? 0 : int(v.at(i).size());
        }
    }
};

class PgStatement;

class PgConnection : public detail::Connection {
  public:
    PgConnection(PGconn* conn, ServerPath path) : conn_(conn), path_(std::move(path)) {}
    ~PgConnection() override { PQfinish(conn_); }

    Engine engine() const override { return Engine::PostgreSQL; }
    PGconn* pg() { return conn_; }
    const ServerPath& where() const { return path_; }
    QString server() const { return serverText(path_); }
    bool inTransaction() const { return PQtransactionStatus(conn_) != PQTRANS_IDLE; }

    // A statement reading row by row has the connection to itself until its rows end: any
    // other statement first has it keep the rest of its rows in memory.
    void setStreaming(PgStatement* st) { streaming_ = st; }
    PgStatement* streaming() const { return streaming_; }
    void finishStreaming();

    // Runs `sql` with text parameters; throws on failure. Outside a transaction, a statement
    // that the server gave up as a serialisation failure or a deadlock is run again.
    Result exec(const QByteArray& sql, const QVector<QByteArray>& values = {},
                const QVector<bool>& nulls = {}, const QByteArray& prepared = {}) {
        finishStreaming();
        const Params p(values, nulls);
        for (int attempt = 1;; ++attempt) {
            const bool retryable = !inTransaction();
            Result res(prepared.isEmpty()
                           ? PQexecParams(conn_, sql.constData(), int(values.size()), nullptr,
                                          p.values.constData(), p.lengths.constData(), nullptr, 0)
                           : PQexecPrepared(conn_, prepared.constData(), int(values.size()),
                                            p.values.constData(), p.lengths.constData(), nullptr,
                                            0));
            if (!res || failed(res.get())) {
                const char* state = res ? PQresultErrorField(res.get(), PG_DIAG_SQLSTATE) : nullptr;
                const bool again = isState(state, "40001") || isState(state, "40P01");
                if (again && retryable && attempt < 3)
                    continue;
                raiseServer(res.get(), conn_, server());
            }
            noteChanges(res.get());
            return res;
        }
    }

    void noteChanges(const PGresult* res) {
        const char* tuples = PQcmdTuples(const_cast<PGresult*>(res));
        changed_ = tuples && *tuples ? std::atoi(tuples) : 0;
    }

    std::unique_ptr<detail::StatementImpl> prepare(const QString& sql, bool streamed) override;

    int changes() override { return changed_; }

    void run(const QByteArray& sql) override {
        finishStreaming();
        Result res(PQexec(conn_, sql.constData()));
        if (!res || failed(res.get()))
            raiseServer(res.get(), conn_, server());
    }

    void runQuietly(const QByteArray& sql) noexcept override {
        try {
            finishStreaming();
        } catch (...) {
        }
        PQclear(PQexec(conn_, sql.constData()));
    }

    // One writer at a time per schema, as BEGIN IMMEDIATE gives on a file: every write path
    // of the program reads what it is about to change inside its transaction and relies on
    // nobody else writing meanwhile. Readers are never held up. The wait for the lock is
    // bounded by lock_timeout, the busy timeout.
    void beginWrite() override {
        run("BEGIN ISOLATION LEVEL READ COMMITTED");
        try {
            exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1, %2)")
                     .arg(kWriterLock)
                     .arg(stableKey(path_.schema))
                     .toUtf8());
        } catch (...) {
            runQuietly("ROLLBACK");
            throw;
        }
    }

    // One snapshot for every statement of the read; writers go on meanwhile.
    void beginRead() override { run("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"); }

    qint64 insertReturningKey(const QString& sql, const QVariantList& params) override;

    bool hasTable(const QString& table) override {
        Result res = exec(
            "SELECT 1 FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
            "WHERE n.nspname = current_schema() AND c.relkind IN ('r', 'p', 'v') "
            "AND c.relname = $1",
            {detail::serverName(table).toUtf8()}, {false});
        return PQntuples(res.get()) > 0;
    }

    QStringList tableNames() override {
        Result res = exec(
            "SELECT c.relname FROM pg_class c JOIN pg_namespace n ON "
            "n.oid = c.relnamespace WHERE n.nspname = current_schema() AND "
            "c.relkind IN ('r', 'p') AND c.relname <> 'orvik_meta'");
        QStringList names;
        for (int r = 0; r < PQntuples(res.get()); ++r)
            names << schema::knownName(QString::fromUtf8(PQgetvalue(res.get(), r, 0)));
        std::sort(names.begin(), names.end());
        return names;
    }

    QVector<FieldDef> columns(const QString& table) override {
        Result res = exec(
            "SELECT a.attname, format_type(a.atttypid, a.atttypmod) FROM "
            "pg_attribute a JOIN pg_class c ON c.oid = a.attrelid JOIN "
            "pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname = "
            "current_schema() AND c.relname = $1 AND a.attnum > 0 AND NOT "
            "a.attisdropped AND a.attname <> 'rowid' ORDER BY a.attnum",
            {detail::serverName(table).toUtf8()}, {false});
        QVector<FieldDef> fields;
        for (int r = 0; r < PQntuples(res.get()); ++r)
            fields.push_back({schema::knownName(QString::fromUtf8(PQgetvalue(res.get(), r, 0))),
                              QString::fromUtf8(PQgetvalue(res.get(), r, 1)), r});
        return fields;
    }

    void setBusyTimeout(int milliseconds) override {
        run(QStringLiteral("SET lock_timeout = %1").arg(std::max(1, milliseconds)).toUtf8());
    }

  private:
    PGconn* conn_;
    ServerPath path_;
    int changed_ = 0;
    PgStatement* streaming_ = nullptr;
};

class PgStatement : public detail::StatementImpl {
  public:
    PgStatement(PgConnection& conn, const QString& sql, bool streamed)
        : conn_(conn), sql_(detail::toServerSql(sql)), streamed_(streamed) {
        values_.resize(sql_.params);
        nulls_.fill(true, sql_.params);
    }

    ~PgStatement() override {
        reset();  // a walk left half-way: its other rows are read and dropped, never thrown
        if (!prepared_.isEmpty())
            conn_.runQuietly("DEALLOCATE " + prepared_);
    }

    void clearBindings() override {
        reset();
        values_.fill(QByteArray());
        nulls_.fill(true);
    }

    void bind(int index, const QVariant& v) override {
        reset();
        if (index < 1)
            return;
        if (index > values_.size()) {
            values_.resize(index);
            nulls_.resize(index, true);
        }
        nulls_[index - 1] = v.isNull() || !v.isValid();
        if (nulls_[index - 1])
            return;
        switch (v.typeId()) {
            case QMetaType::Bool:
                values_[index - 1] = v.toBool() ? "-1" : "0";
                break;
            case QMetaType::Double:
            case QMetaType::Float:
                values_[index - 1] = QByteArray::number(v.toDouble(), 'g', 17);
                break;
            case QMetaType::QByteArray:
                values_[index - 1] = "\\x" + v.toByteArray().toHex();
                break;
            default:
                values_[index - 1] = v.toString().toUtf8();
        }
    }

    bool step() override {
        if (streamed_)
            return stepStreamed();
        if (!res_) {
            ++runs_;
            // A statement run again (the dynaset's fetch of a visited row) is prepared once
            // on the server; one that runs once goes in one round trip.
            if (runs_ == 2 && prepared_.isEmpty())
                prepareOnServer();
            res_ = conn_.exec(sql_.text, values(), nulls(), prepared_);
            row_ = -1;
            if (!described_)
                describe(res_.get());
        }
        if (row_ + 1 < PQntuples(res_.get())) {
            ++row_;
            return true;
        }
        reset();
        return false;
    }

    void reset() override {
        if (conn_.streaming() == this) {
            // Read to the end, so the connection is free for the next statement.
            while (Result r{PQgetResult(conn_.pg())}) {
            }
            conn_.setStreaming(nullptr);
        }
        res_.reset();
        kept_.clear();
        fromKept_ = false;
        row_ = -1;
        started_ = false;
    }

    // Keeps the rest of a streamed result in memory, so another statement can run.
    void drain() {
        if (conn_.streaming() != this)
            return;
        conn_.setStreaming(nullptr);
        Result failure;
        while (Result r{PQgetResult(conn_.pg())}) {
            if (PQresultStatus(r.get()) == PGRES_SINGLE_TUPLE)
                kept_.push_back(std::move(r));
            else if (failed(r.get()) && !failure)
                failure = std::move(r);
        }
        if (failure)
            raiseServer(failure.get(), conn_.pg(), conn_.server());
    }

    int columnCount() const override {
        ensureDescribed();
        return int(visible_.size());
    }
    QString columnName(int i) const override {
        ensureDescribed();
        return names_.value(i);
    }

    QVariant column(int i) const override;

    qint64 columnInt64(int i) const override {
        const PGresult* r = current();
        const int c = visible_.value(i, -1);
        if (!r || c < 0 || PQgetisnull(r, row(), c))
            return 0;
        const char* v = PQgetvalue(r, row(), c);
        const Oid type = PQftype(r, c);
        if (type == kBool)
            return v[0] == 't' ? 1 : 0;
        if (type == kFloat4 || type == kFloat8 ||
            (type == kNumeric && std::memchr(v, '.', size_t(PQgetlength(r, row(), c)))))
            return qint64(std::strtod(v, nullptr));
        return parseInt(v, PQgetlength(r, row(), c));
    }

    bool columnIsInteger(int i) const override {
        const PGresult* r = current();
        const int c = visible_.value(i, -1);
        if (!r || c < 0 || PQgetisnull(r, row(), c))
            return false;
        switch (PQftype(r, c)) {
            case kInt2:
            case kInt4:
            case kInt8:
            case kOid:
                return true;
            case kNumeric:
                return !std::memchr(PQgetvalue(r, row(), c), '.', size_t(PQgetlength(r, row(), c)));
            default:
                return false;
        }
    }

    QByteArray columnBytes(int i) const override {
        const PGresult* r = current();
        const int c = visible_.value(i, -1);
        if (!r || c < 0 || PQgetisnull(r, row(), c))
            return {};
        return QByteArray(PQgetvalue(r, row(), c), PQgetlength(r, row(), c));
    }

  private:
    QVector<QByteArray> values() const {
        QVector<QByteArray> v = values_;
        v.resize(std::max<qsizetype>(v.size(), sql_.params));
        return v;
    }
    QVector<bool> nulls() const {
        QVector<bool> n = nulls_;
        n.resize(std::max<qsizetype>(n.size(), sql_.params), true);
        return n;
    }

    // The result and row that hold the current row: a whole result, or one row of a stream.
    const PGresult* current() const {
        if (streamed_)
            return row_ < 0 ? nullptr : (fromKept_ ? kept_.front().get() : res_.get());
        return res_ && row_ >= 0 ? res_.get() : nullptr;
    }
    int row() const { return streamed_ ? 0 : row_; }

    bool stepStreamed() {
        if (!started_) {
            conn_.finishStreaming();
            const QVector<QByteArray> v = values();
            const QVector<bool> n = nulls();
            const Params p(v, n);
            if (!PQsendQueryParams(conn_.pg(), sql_.text.constData(), int(v.size()), nullptr,
                                   p.values.constData(), p.lengths.constData(), nullptr, 0))
                raiseServer(nullptr, conn_.pg(), conn_.server());
            PQsetSingleRowMode(conn_.pg());
            conn_.setStreaming(this);
            started_ = true;
            row_ = -1;
        }
        if (fromKept_) {
            kept_.pop_front();  // the row just read
            fromKept_ = false;
        }
        res_.reset();
        if (!kept_.empty()) {
            fromKept_ = true;
            row_ = 0;
            return true;
        }
        if (conn_.streaming() != this) {
            reset();
            return false;
        }
        res_.reset(PQgetResult(conn_.pg()));
        if (res_ && PQresultStatus(res_.get()) == PGRES_SINGLE_TUPLE) {
            if (!described_)
                describe(res_.get());
            row_ = 0;
            return true;
        }
        if (res_ && failed(res_.get())) {
            Result failure = std::move(res_);
            reset();
            raiseServer(failure.get(), conn_.pg(), conn_.server());
        }
        if (res_ && !described_)
            describe(res_.get());
        reset();
        return false;
    }

    void describe(const PGresult* res) const {
        visible_.clear();
        names_.clear();
        const int n = PQnfields(res);
        for (int c = 0; c < n; ++c) {
            const QString name = QString::fromUtf8(PQfname(res, c));
            // The row key of "select *": the store's column, not one of the table's.
            if (!sql_.namesRowid && name == QLatin1String("rowid") &&
                PQftable(res, c) != InvalidOid)
                continue;
            visible_ << c;
            names_ << schema::knownName(name);
        }
        described_ = true;
    }

    void prepareOnServer() const {
        static std::atomic<int> serial{0};
        const QByteArray name = "orvik_s" + QByteArray::number(++serial);
        conn_.finishStreaming();
        Result made(PQprepare(conn_.pg(), name.constData(), sql_.text.constData(), 0, nullptr));
        if (!made || failed(made.get()))
            raiseServer(made.get(), conn_.pg(), conn_.server());
        prepared_ = name;
    }

    // The columns of a statement asked for before it ran (a dynaset's fetch of a visited row):
    // the server describes it once it is prepared.
    void ensureDescribed() const {
        if (described_)
            return;
        if (prepared_.isEmpty())
            prepareOnServer();
        Result info(PQdescribePrepared(conn_.pg(), prepared_.constData()));
        if (!info || failed(info.get()))
            raiseServer(info.get(), conn_.pg(), conn_.server());
        describe(info.get());
    }

    friend class PgConnection;

    PgConnection& conn_;
    detail::ServerSql sql_;
    bool streamed_ = false;
    bool started_ = false;
    QVector<QByteArray> values_;
    QVector<bool> nulls_;
    Result res_;
    std::deque<Result> kept_;  // rows of a stream kept while another statement ran
    bool fromKept_ = false;    // the current row is kept_'s first
    int row_ = -1;
    int runs_ = 0;
    mutable QByteArray prepared_;  // the server-side name once the statement runs again
    mutable QVector<int> visible_;
    mutable QStringList names_;
    mutable bool described_ = false;
};

void PgConnection::finishStreaming() {
    if (streaming_)
        streaming_->drain();
}

std::unique_ptr<detail::StatementImpl> PgConnection::prepare(const QString& sql, bool streamed) {
    return std::make_unique<PgStatement>(*this, sql, streamed);
}

qint64 PgConnection::insertReturningKey(const QString& sql, const QVariantList& params) {
    PgStatement st(*this, sql + QStringLiteral(" RETURNING rowid"), false);
    st.sql_.namesRowid = true;
    for (int i = 0; i < params.size(); ++i)
        st.bind(i + 1, params.at(i));
    if (!st.step())
        return 0;
    const qint64 key = st.columnInt64(0);
    st.reset();
    return key;
}

QVariant PgStatement::column(int i) const {
    const PGresult* r = current();
    const int c = visible_.value(i, -1);
    if (!r || c < 0 || PQgetisnull(r, row(), c))
        return QVariant();
    const char* v = PQgetvalue(r, row(), c);
    const int len = PQgetlength(r, row(), c);
    switch (PQftype(r, c)) {
        case kInt2:
        case kInt4:
        case kInt8:
        case kOid:
            return QVariant(qlonglong(parseInt(v, len)));
        case kBool:
            return QVariant(qlonglong(v[0] == 't' ? 1 : 0));
        case kFloat4:
        case kFloat8:
            return QVariant(std::strtod(v, nullptr));
        case kNumeric: {
            // sum() of whole amounts comes back as numeric: a whole number stays one.
            if (!std::memchr(v, '.', size_t(len)) && len < 19)
                return QVariant(qlonglong(parseInt(v, len)));
            return QVariant(std::strtod(v, nullptr));
        }
        case kBytea: {
            size_t n = 0;
            unsigned char* bytes = PQunescapeBytea(reinterpret_cast<const unsigned char*>(v), &n);
            QByteArray out(reinterpret_cast<const char*>(bytes), qsizetype(n));
            PQfreemem(bytes);
            return QVariant(out);
        }
        default:
            return QVariant(QString::fromUtf8(v, len));
    }
}

// Why a connection could not be made, as the engine number the start-up already handles.
// libpq gives no SQLSTATE for a failed connection, only the server's or its own message.
[[noreturn]] void raiseConnectFailure(PGconn* conn, const ServerPath& p) {
    const QString message = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
    const QString lower = message.toLower();
    const QString server = serverText(p);
    if (PQconnectionNeedsPassword(conn) || lower.contains(QLatin1String("password")) ||
        lower.contains(QLatin1String("authentication")) ||
        (lower.contains(QLatin1String("role")) &&
         lower.contains(QLatin1String("does not exist"))) ||
        lower.contains(QLatin1String("no pg_hba.conf entry")))
        throw EngineError(
            err::InvalidPassword,
            QStringLiteral("資料庫伺服器 '%1' 拒絕了登入：密碼不對，或沒有這個使用者。"
                           "密碼請放在 ~/.pgpass 或服務檔中。(%2)")
                .arg(server, message));
    if (lower.contains(QLatin1String("database")) &&
        lower.contains(QLatin1String("does not exist")))
        throw EngineError(
            err::FileNotFound,
            QStringLiteral("在資料庫伺服器 '%1' 上找不到資料庫。(%2)").arg(server, message));
    throw EngineError(err::InvalidPath,
                      QStringLiteral("無法連線到資料庫伺服器 '%1'。請確定伺服器名稱的拼法是否正確，"
                                     "以及伺服器是否正在執行。(%2)")
                          .arg(server, message));
}

// Waits for the administrator's tool as for a busy file, then holds the schema shared.
void holdInUse(PgConnection& c, const ServerPath& p) {
    {
        std::lock_guard<std::mutex> guard(exclusiveMutex);
        if (exclusiveSchemas().count(schemaKey(p)))
            return;
    }
    const QByteArray sql = QStringLiteral("SELECT pg_try_advisory_lock_shared(%1, %2)")
                               .arg(kInUseLock)
                               .arg(stableKey(p.schema))
                               .toUtf8();
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        Result res = c.exec(sql);
        if (PQgetvalue(res.get(), 0, 0)[0] == 't')
            return;
        if (waited.elapsed() >= kBusyTimeoutMs)
            throw EngineError(err::FileInUse,
                              QStringLiteral("無法使用 '%1'；系統管理員正在維護它，請稍後再試。")
                                  .arg(p.fileName));
        QThread::msleep(50);
    }
}

std::unique_ptr<PgConnection> connect(const ServerPath& p) {
    if (p.fileName.isEmpty() || p.schema.isEmpty())
        throw EngineError(err::InvalidPath,
                          QStringLiteral("'%1' 不是有效的資料庫位置。").arg(serverText(p)));
    const QByteArray uri = p.uri.toUtf8();
    // The location's own settings (sslmode, connect_timeout, service...) override the defaults
    // before it; the text encoding is this program's.
    const char* keys[] = {"application_name", "connect_timeout", "dbname", "client_encoding",
                          nullptr};
    const char* values[] = {"orvik", "10", uri.constData(), "UTF8", nullptr};
    PGconn* conn = PQconnectdbParams(keys, values, 1);
    if (!conn)
        throw EngineError(err::InvalidPath,
                          QStringLiteral("無法連線到資料庫伺服器 '%1'。").arg(serverText(p)));
    if (PQstatus(conn) != CONNECTION_OK) {
        try {
            raiseConnectFailure(conn, p);
        } catch (...) {
            PQfinish(conn);
            throw;
        }
    }
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    return std::make_unique<PgConnection>(conn, p);
}

// The search's test of many columns at once, as the SQLite engine's function of the same name
// does it: bit i-1 set when the i-th value holds the needle, ASCII letters without regard to
// case, every other character as it is; null never matches, an empty needle matches the rest.
constexpr const char* kContainsMask =
    "CREATE OR REPLACE FUNCTION public.orvik_contains_mask(needle text, VARIADIC vals text[]) "
    "RETURNS bigint LANGUAGE sql IMMUTABLE PARALLEL SAFE AS $$ "
    "SELECT coalesce(sum(CASE WHEN strpos(lower(v COLLATE \"C\"), lower(needle COLLATE \"C\")) "
    "> 0 THEN (1::bigint << (i - 1)::integer) ELSE 0 END), 0)::bigint "
    "FROM unnest(vals) WITH ORDINALITY AS t(v, i) WHERE needle IS NOT NULL AND v IS NOT NULL $$";

}  // namespace

std::unique_ptr<detail::Connection> detail::openPostgres(const QString& path, bool create) {
    const ServerPath p = splitPath(path);
    auto conn = connect(p);
    conn->run(QStringLiteral("SET lock_timeout = %1; SET standard_conforming_strings = on; "
                             "SET datestyle = ISO; SET extra_float_digits = 1")
                  .arg(kBusyTimeoutMs)
                  .toUtf8());
    const QByteArray schema = detail::quoteIdent(p.schema).toUtf8();
    Result found =
        conn->exec("SELECT 1 FROM pg_namespace WHERE nspname = $1", {p.schema.toUtf8()}, {false});
    const bool exists = PQntuples(found.get()) > 0;
    if (create) {
        if (exists) {
            Result tables = conn->exec(
                "SELECT 1 FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
                "WHERE n.nspname = $1 LIMIT 1",
                {p.schema.toUtf8()}, {false});
            if (PQntuples(tables.get()) > 0)
                throw EngineError(err::FileInUse,
                                  QStringLiteral("'%1' 已經存在於資料庫伺服器 '%2'。")
                                      .arg(p.fileName, serverText(p)));
        } else {
            conn->run("CREATE SCHEMA " + schema);
        }
        // Text that compares without regard to case (citext ships with the server and is a
        // trusted extension, so the database's owner may add it).
        conn->run("CREATE EXTENSION IF NOT EXISTS citext SCHEMA public");
        conn->run(kContainsMask);
    } else if (!exists) {
        throw EngineError(
            err::FileNotFound,
            QStringLiteral("在資料庫伺服器 '%1' 上找不到 '%2'。").arg(serverText(p), p.fileName));
    }
    conn->run("SET search_path = " + schema + ", public");
    holdInUse(*conn, p);
    return conn;
}

std::shared_ptr<void> detail::takeServerExclusive(const QString& path) {
    const ServerPath p = splitPath(path);
    auto conn = connect(p);
    Result res = conn->exec(QStringLiteral("SELECT pg_try_advisory_lock(%1, %2)")
                                .arg(kInUseLock)
                                .arg(stableKey(p.schema))
                                .toUtf8());
    if (PQgetvalue(res.get(), 0, 0)[0] != 't')
        throw EngineError(err::FileInUse,
                          QStringLiteral("'%1' 正由其他程式使用中。").arg(p.fileName));
    const QString key = schemaKey(p);
    {
        std::lock_guard<std::mutex> guard(exclusiveMutex);
        exclusiveSchemas().insert(key);
    }
    // The lock lasts as long as its session: closing the connection gives the schema back.
    struct Held {
        std::unique_ptr<PgConnection> conn;
        QString key;
        ~Held() {
            std::lock_guard<std::mutex> guard(exclusiveMutex);
            exclusiveSchemas().erase(key);
        }
    };
    auto held = std::make_shared<Held>();
    held->conn = std::move(conn);
    held->key = key;
    return held;
}

}  // namespace orvik::store
