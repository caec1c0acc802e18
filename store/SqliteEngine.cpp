// The SQLite engine: the books as three files in a folder, shared by the copies of the program
// through SQLite's own file locks.

#include <sqlite3.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QThread>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Engine.h"

namespace orvik::store {

namespace {

constexpr int kBusyTimeoutMs = 10000;
// containsMask(text, v1, ..., vN): bit i-1 set when the text form of vi holds `text`, compared
// as LIKE '%text%' compares (ASCII letters without regard to case, everything else as is; NULL
// never matches). One call per row instead of N LIKE patterns, for the full-text search.
void containsMask(sqlite3_context* context, int argc, sqlite3_value** argv) {
    if (argc < 1 || argc > 64 || sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_int64(context, 0);
        return;
    }
    const auto fold = [](unsigned char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
    };
    const auto* needle = sqlite3_value_text(argv[0]);
    const int n = sqlite3_value_bytes(argv[0]);
    // The needle, folded once per statement rather than once per row.
    auto* folded = static_cast<std::string*>(sqlite3_get_auxdata(context, 0));
    if (!folded) {
        folded = new std::string(reinterpret_cast<const char*>(needle), size_t(n));
        for (char& c : *folded)
            c = char(fold(static_cast<unsigned char>(c)));
        sqlite3_set_auxdata(context, 0, folded,
                            [](void* p) { delete static_cast<std::string*>(p); });
        folded = static_cast<std::string*>(sqlite3_get_auxdata(context, 0));
        if (!folded) {  // not kept (out of memory): nothing matches rather than a wrong hit
            sqlite3_result_error_nomem(context);
            return;
        }
    }
    const auto* pat = reinterpret_cast<const unsigned char*>(folded->data());
    const size_t m = folded->size();
    sqlite3_int64 mask = 0;
    for (int i = 1; i < argc; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL)
            continue;
        const sqlite3_int64 bit = sqlite3_int64(1) << (i - 1);
        const unsigned char* hay = sqlite3_value_text(argv[i]);
        const size_t len = size_t(sqlite3_value_bytes(argv[i]));
        if (m == 0) {  // '%%' matches every value that is not NULL
            mask |= bit;
            continue;
        }
        if (!hay || len < m)
            continue;
        for (size_t at = 0; at + m <= len; ++at) {
            if (fold(hay[at]) != pat[0])
                continue;
            size_t k = 1;
            while (k < m && fold(hay[at + k]) == pat[k])
                ++k;
            if (k >= m) {
                mask |= bit;
                break;
            }
        }
    }
    sqlite3_result_int64(context, mask);
}

// The in-use byte: on the page that holds SQLite's own lock bytes (from 0x40000000, the
// pending byte, up to 0x400001FF), which never holds data, and beyond the bytes SQLite locks.
constexpr off_t kInUseByte = 0x40000300;

std::mutex exclusiveMutex;
std::set<QString>& exclusiveFiles() {
    static auto* files = new std::set<QString>;
    return *files;
}

QString lockKey(const QString& path) {
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    return canonical.isEmpty() ? info.absoluteFilePath() : canonical;
}

// An open-file-description lock on the in-use byte: held by this descriptor whatever else the
// process opens and closes, and seen by every other descriptor, process and computer (it is a
// byte-range lock like SQLite's, so it crosses a network share that passes SQLite's locks).
// Gives 0 when taken, else the errno (EAGAIN or EACCES: held by another).
int lockInUseByte(int fd, short type) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = kInUseByte;
    fl.l_len = 1;
    return ::fcntl(fd, F_OFD_SETLK, &fl) == 0 ? 0 : errno;
}

bool sameFile(int fd, const QString& path) {
    struct stat a {
    }, b{};
    return ::fstat(fd, &a) == 0 && ::stat(QFile::encodeName(path).constData(), &b) == 0 &&
           a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The shared in-use lock that a connection holds for its lifetime: a descriptor, or -1 when
// this process has the file for itself (ExclusiveUse) or the file system has no such locks.
// While orvik-admin holds the file it waits as for a busy file, then fails with 3045.
int holdInUse(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(exclusiveMutex);
            if (exclusiveFiles().count(lockKey(path)))
                return -1;
        }
        const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return -1;  // the open that follows reports what is wrong with the file
        const int e = lockInUseByte(fd, F_RDLCK);
        // A file replaced while this waited is locked again under its new self.
        if (e == 0 && sameFile(fd, path))
            return fd;
        ::close(fd);
        if (e != 0 && e != EAGAIN && e != EACCES)
            return -1;
        if (waited.elapsed() >= kBusyTimeoutMs)
            throw EngineError(err::FileInUse,
                              QStringLiteral("無法使用 '%1'；系統管理員正在維護這個檔案，"
                                             "請稍後再試。")
                                  .arg(path));
        QThread::msleep(50);
    }
}

// A new file with the books' permissions, made here because SQLite would make it 0644 less the
// umask, readable by every user of the computer.
void createEmptyFile(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFilePermissions);
    if (fd < 0) {
        const int e = errno;
        if (e == EEXIST)
            throw EngineError(err::FileInUse, QStringLiteral("檔案 '%1' 已經存在。").arg(path));
        throw EngineError(err::FileInUse, QStringLiteral("無法建立檔案 '%1'。(%2)")
                                              .arg(path, QString::fromLocal8Bit(std::strerror(e))));
    }
    ::fchmod(fd, kFilePermissions);  // the umask may have taken the group's bits away
    ::close(fd);
}

class SqliteStatement : public detail::StatementImpl {
  public:
    SqliteStatement(sqlite3* h, const QString& sql) : h_(h), sql_(sql) {
        const QByteArray utf8 = sql.toUtf8();
        const int rc = sqlite3_prepare_v2(h, utf8.constData(), int(utf8.size()), &stmt_, nullptr);
        if (rc != SQLITE_OK) {
            const QString msg = QString::fromUtf8(sqlite3_errmsg(h));
            const int code = sqlite3_extended_errcode(h);
            sqlite3_finalize(stmt_);
            stmt_ = nullptr;
            Database::raise(msg, code, sql);
        }
    }
    ~SqliteStatement() override { sqlite3_finalize(stmt_); }

    void clearBindings() override {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }

    void bind(int index, const QVariant& v) override {
        int rc = SQLITE_OK;
        if (v.isNull() || !v.isValid()) {
            rc = sqlite3_bind_null(stmt_, index);
        } else {
            switch (v.typeId()) {
                case QMetaType::Int:
                case QMetaType::UInt:
                case QMetaType::LongLong:
                case QMetaType::ULongLong:
                case QMetaType::Short:
                case QMetaType::UShort:
                case QMetaType::Long:
                case QMetaType::ULong:
                    rc = sqlite3_bind_int64(stmt_, index, v.toLongLong());
                    break;
                case QMetaType::Double:
                case QMetaType::Float:
                    rc = sqlite3_bind_double(stmt_, index, v.toDouble());
                    break;
                case QMetaType::QByteArray: {
                    const QByteArray b = v.toByteArray();
                    rc = sqlite3_bind_blob64(stmt_, index, b.constData(), sqlite3_uint64(b.size()),
                                             SQLITE_TRANSIENT);
                    break;
                }
                default: {
                    const QByteArray s = v.toString().toUtf8();
                    rc = sqlite3_bind_text64(stmt_, index, s.constData(), sqlite3_uint64(s.size()),
                                             SQLITE_TRANSIENT, SQLITE_UTF8);
                }
            }
        }
        if (rc != SQLITE_OK)
            Database::raise(QString::fromUtf8(sqlite3_errmsg(h_)), rc, sql_);
    }

    bool step() override {
        const int rc = sqlite3_step(stmt_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE) {
            sqlite3_reset(stmt_);
            return false;
        }
        const QString msg = QString::fromUtf8(sqlite3_errmsg(h_));
        const int code = sqlite3_extended_errcode(h_);
        sqlite3_reset(stmt_);
        Database::raise(msg, code, sql_);
    }

    void reset() override { sqlite3_reset(stmt_); }
    int columnCount() const override { return sqlite3_column_count(stmt_); }
    QString columnName(int i) const override {
        return QString::fromUtf8(sqlite3_column_name(stmt_, i));
    }
    qint64 columnInt64(int i) const override { return sqlite3_column_int64(stmt_, i); }
    bool columnIsInteger(int i) const override {
        return sqlite3_column_type(stmt_, i) == SQLITE_INTEGER;
    }
    QByteArray columnBytes(int i) const override {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
        return text ? QByteArray(text, sqlite3_column_bytes(stmt_, i)) : QByteArray();
    }

    QVariant column(int i) const override {
        switch (sqlite3_column_type(stmt_, i)) {
            case SQLITE_INTEGER:
                return QVariant(qlonglong(sqlite3_column_int64(stmt_, i)));
            case SQLITE_FLOAT:
                return QVariant(sqlite3_column_double(stmt_, i));
            case SQLITE_TEXT:
                return QVariant(
                    QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i)),
                                      sqlite3_column_bytes(stmt_, i)));
            case SQLITE_BLOB:
                return QVariant(QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt_, i)),
                                           sqlite3_column_bytes(stmt_, i)));
            default:
                return QVariant();
        }
    }

  private:
    sqlite3* h_;
    sqlite3_stmt* stmt_ = nullptr;
    QString sql_;
};

class SqliteConnection : public detail::Connection {
  public:
    SqliteConnection(QString path, QSqlDatabase db, int inUseFd)
        : path_(std::move(path)), db_(std::move(db)), inUseFd_(inUseFd) {
        const QVariant v = db_.driver()->handle();
        h_ = *static_cast<sqlite3* const*>(v.data());
    }

    ~SqliteConnection() override {
        const QString name = db_.connectionName();
        if (db_.isOpen()) {
            if (!sqlite3_get_autocommit(h_))
                sqlite3_exec(h_, "ROLLBACK", nullptr, nullptr, nullptr);
            db_.close();
        }
        db_ = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        if (inUseFd_ >= 0)
            ::close(inUseFd_);
    }

    Engine engine() const override { return Engine::SQLite; }
    sqlite3* sqliteHandle() override { return h_; }
    QSqlDatabase* qtConnection() override { return &db_; }

    // The files may lie on a shared network folder: keep the rollback journal, and write
    // every commit through to the disk. What is deleted or replaced is zeroed in the file, so
    // a changed password (or its plain predecessor) does not linger in free space.
    void configure() {
        sqlite3_busy_timeout(h_, kBusyTimeoutMs);
        sqlite3_extended_result_codes(h_, 1);
        sqlite3_create_function_v2(h_, "orvik_contains_mask", -1,
                                   SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                                   containsMask, nullptr, nullptr, nullptr);
        run("PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL; PRAGMA secure_delete=ON; "
            "PRAGMA foreign_keys=OFF; SELECT count(*) FROM sqlite_master;");
    }

    std::unique_ptr<detail::StatementImpl> prepare(const QString& sql, bool) override {
        return std::make_unique<SqliteStatement>(h_, sql);
    }

    int changes() override { return sqlite3_changes(h_); }

    void run(const QByteArray& sql) override {
        char* errmsg = nullptr;
        const int rc = sqlite3_exec(h_, sql.constData(), nullptr, nullptr, &errmsg);
        if (rc != SQLITE_OK) {
            const QString msg = QString::fromUtf8(errmsg ? errmsg : "");
            sqlite3_free(errmsg);
            Database::raise(msg, rc, path_);
        }
    }

    void runQuietly(const QByteArray& sql) noexcept override {
        sqlite3_exec(h_, sql.constData(), nullptr, nullptr, nullptr);
    }

    void beginWrite() override { run("BEGIN IMMEDIATE"); }
    // A plain (deferred) BEGIN: it takes the shared lock at the first read and holds it until
    // the end, so a writer's commit waits for it.
    void beginRead() override { run("BEGIN"); }

    qint64 insertReturningKey(const QString& sql, const QVariantList& params) override {
        SqliteStatement st(h_, sql);
        st.clearBindings();
        for (int i = 0; i < params.size(); ++i)
            st.bind(i + 1, params.at(i));
        while (st.step()) {
        }
        return sqlite3_last_insert_rowid(h_);
    }

    bool hasTable(const QString& table) override {
        SqliteStatement st(h_, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' "
                                              "AND name = ? COLLATE NOCASE"));
        st.bind(1, table);
        const bool found = st.step();
        st.reset();
        return found;
    }

    QStringList tableNames() override {
        SqliteStatement st(h_, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' "
                                              "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
                                              "ORDER BY name"));
        QStringList names;
        while (st.step())
            names << st.column(0).toString();
        names.removeAll(QStringLiteral("orvik_meta"));
        return names;
    }

    QVector<FieldDef> columns(const QString& table) override {
        SqliteStatement st(h_, QStringLiteral("SELECT cid, name, type FROM pragma_table_info(?)"));
        st.bind(1, table);
        QVector<FieldDef> fields;
        while (st.step())
            fields.push_back(
                {st.column(1).toString(), st.column(2).toString(), int(st.columnInt64(0))});
        return fields;
    }

    void setBusyTimeout(int milliseconds) override { sqlite3_busy_timeout(h_, milliseconds); }

  private:
    QString path_;
    QSqlDatabase db_;
    sqlite3* h_ = nullptr;
    int inUseFd_ = -1;  // holds the in-use lock (see ExclusiveUse) while the connection lives
};

}  // namespace

ExclusiveUse::ExclusiveUse(const QString& path) : key_(lockKey(path)) {
    if (isServerLocation(path)) {
        server_ = detail::takeServerExclusive(path);
        key_.clear();
        return;
    }
    const QByteArray name = QFile::encodeName(path);
    fd_ = ::open(name.constData(), O_RDWR | O_CLOEXEC);
    if (fd_ >= 0) {
        const int e = lockInUseByte(fd_, F_WRLCK);
        if (e != 0) {
            ::close(fd_);
            fd_ = -1;
            if (e == EAGAIN || e == EACCES)
                throw EngineError(err::FileInUse,
                                  QStringLiteral("'%1' 正由其他程式使用中。").arg(path));
        }
    }
    std::lock_guard<std::mutex> guard(exclusiveMutex);
    exclusiveFiles().insert(key_);
}

ExclusiveUse::~ExclusiveUse() {
    if (!key_.isEmpty()) {
        std::lock_guard<std::mutex> guard(exclusiveMutex);
        exclusiveFiles().erase(key_);
    }
    if (fd_ >= 0)
        ::close(fd_);
}

void Database::raise(const QString& sqliteText, int sqliteCode, const QString& context) {
    const int primary = sqliteCode & 0xff;
    int number = err::ReservedError;
    QString text = sqliteText;
    if (sqliteCode == SQLITE_CONSTRAINT_UNIQUE || sqliteCode == SQLITE_CONSTRAINT_PRIMARYKEY) {
        number = err::DuplicateKey;
        text = QStringLiteral(
                   "您要求的變更無法成功，因為這些變更會在索引、主索引或關聯中造成重複的值。(%1)")
                   .arg(sqliteText);
    } else if (primary == SQLITE_BUSY) {
        number = err::DatabaseBusy;
        text = QStringLiteral("無法更新，目前已被另一使用者鎖定。請稍後再試。(%1)").arg(sqliteText);
    } else if (primary == SQLITE_LOCKED) {
        number = err::RecordLocked;
        text = QStringLiteral("無法更新，目前已被鎖定。(%1)").arg(sqliteText);
    } else if (primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT) {
        number = err::NotADatabase;
        text = QStringLiteral("無法辨識的資料庫格式 '%1'。").arg(context);
    } else if (primary == SQLITE_FULL) {
        number = err::DiskFull;
        text = QStringLiteral("磁碟已滿，無法寫入。(%1)").arg(sqliteText);
    } else if (primary == SQLITE_READONLY || primary == SQLITE_PERM || primary == SQLITE_AUTH) {
        number = err::ReadOnly;
        text = QStringLiteral("無法更新。資料庫或物件為唯讀。(%1)").arg(sqliteText);
    } else if (primary == SQLITE_CANTOPEN || primary == SQLITE_IOERR) {
        number = err::FileInUse;
        text = QStringLiteral("無法使用 '%1'；檔案無法開啟或讀寫。(%2)").arg(context, sqliteText);
    } else if (sqliteText.startsWith(QLatin1String("no such table"))) {
        number = err::TableNotFound;
        text = QStringLiteral("找不到輸入資料表或查詢 '%1'。請確定它存在，而且名稱拼法正確。")
                   .arg(sqliteText.section(QLatin1Char(':'), 1).trimmed());
    } else if (sqliteText.startsWith(QLatin1String("no such column"))) {
        number = err::UnknownName;
        text = QStringLiteral("參數太少。不認得的欄位名稱 '%1'。")
                   .arg(sqliteText.section(QLatin1Char(':'), 1).trimmed());
    } else if (sqliteText.contains(QLatin1String("syntax error"))) {
        number = err::SyntaxError;
        text = QStringLiteral("查詢運算式的語法錯誤 (%1)。").arg(sqliteText);
    }
    throw EngineError(number, text);
}

std::unique_ptr<detail::Connection> detail::openSqlite(const QString& path, bool create) {
    const QFileInfo info(path);
    const QDir folder = info.dir();
    if (path.trimmed().isEmpty() || !folder.exists())
        throw EngineError(err::InvalidPath,
                          QStringLiteral("'%1' 不是有效的路徑。請確定路徑名稱的拼法是否正確，"
                                         "以及是否連接到檔案所在的伺服器。")
                              .arg(path));
    if (!create && (!info.exists() || info.isDir()))
        throw EngineError(err::FileNotFound, QStringLiteral("找不到檔案 '%1'。").arg(path));
    // Held from before the engine opens the file, so an open never lands in the middle of
    // orvik-admin replacing it.
    const int inUse = create ? -1 : holdInUse(path);
    if (create)
        createEmptyFile(path);

    static std::atomic<int> serial{0};
    const QString name = QStringLiteral("orvik-%1").arg(++serial);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    // The driver would create a missing file; existence was checked above.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
    if (!db.open()) {
        const QString msg = db.lastError().text();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        if (inUse >= 0)
            ::close(inUse);
        if (create)
            QFile::remove(path);
        throw EngineError(err::FileInUse, QStringLiteral("無法開啟檔案 '%1'。(%2)").arg(path, msg));
    }
    auto conn = std::make_unique<SqliteConnection>(path, db, inUse);
    db = QSqlDatabase();  // the connection holds the only handle, so it can remove it
    try {
        conn->configure();
    } catch (...) {
        if (create) {
            conn.reset();
            QFile::remove(path);
        }
        throw;
    }
    return conn;
}

}  // namespace orvik::store
