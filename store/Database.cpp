#include "Database.h"

#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
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

#include "Recordset.h"
#include "Statement.h"
#include "TableDef.h"

namespace orvik::store {

namespace {

constexpr int kBusyTimeoutMs = 10000;
const QString kMetaTable = QStringLiteral("orvik_meta");

std::set<Database*>& openDatabases() {
    // Never destroyed: program-wide handles may outlive every other static at exit.
    static auto* all = new std::set<Database*>;
    return *all;
}

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

QString passwordFromConnect(const QString& connect) {
    // The connect text is ";pwd=secret" (other keys, if ever given, are ignored).
    const auto parts = connect.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (part.trimmed().startsWith(QLatin1String("pwd="), Qt::CaseInsensitive))
            return part.trimmed().mid(4);
    }
    return {};
}

QString hashPassword(const QString& salt, const QString& password) {
    QCryptographicHash h(QCryptographicHash::Sha256);
    h.addData(salt.toUtf8());
    h.addData(QByteArrayLiteral("\x1f"));
    h.addData(password.toUtf8());
    return QString::fromLatin1(h.result().toHex());
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

bool isWriteStatement(const QString& sql) {
    const QString head = sql.trimmed().section(QLatin1Char(' '), 0, 0).toUpper();
    return head == QLatin1String("INSERT") || head == QLatin1String("UPDATE") ||
           head == QLatin1String("DELETE") || head == QLatin1String("REPLACE");
}

}  // namespace

bool makeFolder(const QString& path, QString* error) {
    const QString absolute = QDir::cleanPath(QDir(path).absolutePath());
    QStringList missing;
    QString at = absolute;
    while (!QFileInfo::exists(at)) {
        missing.prepend(at);
        const QString up = QFileInfo(at).path();
        if (up == at)
            break;
        at = up;
    }
    if (QFileInfo::exists(at) && !QFileInfo(at).isDir()) {
        if (error)
            *error = QStringLiteral("%1 不是資料夾").arg(at);
        return false;
    }
    for (const QString& dir : missing) {
        const QByteArray name = QFile::encodeName(dir);
        if (::mkdir(name.constData(), kFolderPermissions) != 0) {
            const int e = errno;
            if (e == EEXIST && QFileInfo(dir).isDir())
                continue;  // made by someone else meanwhile: theirs to set
            if (error)
                *error = QStringLiteral("無法建立資料夾 %1：%2")
                             .arg(dir, QString::fromLocal8Bit(std::strerror(e)));
            return false;
        }
        // The umask may have taken the group's bits away; a set-group-ID bit inherited from
        // the folder above stays, so the office's group follows the files down.
        struct stat st {};
        const mode_t setgid = ::stat(name.constData(), &st) == 0 ? (st.st_mode & S_ISGID) : 0;
        ::chmod(name.constData(), kFolderPermissions | setgid);
    }
    return true;
}

ExclusiveUse::ExclusiveUse(const QString& path) : key_(lockKey(path)) {
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
    {
        std::lock_guard<std::mutex> guard(exclusiveMutex);
        exclusiveFiles().erase(key_);
    }
    if (fd_ >= 0)
        ::close(fd_);
}

EngineError::EngineError(int number, const QString& description)
    : std::runtime_error(QStringLiteral("%1 %2").arg(number).arg(description).toStdString()),
      number_(number),
      description_(description) {}

// ---------------------------------------------------------------------------------------------
// RowReader

RowReader::RowReader(Database& db, const QString& sql, const QVariantList& params)
    : st_(std::make_unique<Statement>(db, sql)) {
    st_->bind(params);
}

RowReader::~RowReader() = default;

bool RowReader::next() {
    return st_->step();
}

QVariant RowReader::value(int column) const {
    return st_->column(column);
}

qint64 RowReader::integer(int column) const {
    return st_->columnInt64(column);
}

QByteArray RowReader::bytes(int column) const {
    return st_->columnBytes(column);
}

bool RowReader::isInteger(int column) const {
    return st_->columnIsInteger(column);
}

// ---------------------------------------------------------------------------------------------
// Statement

Statement::Statement(Database& db, const QString& sql) : db_(db), sql_(sql) {
    const QByteArray utf8 = sql.toUtf8();
    const int rc =
        sqlite3_prepare_v2(db.handle(), utf8.constData(), int(utf8.size()), &stmt_, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = QString::fromUtf8(sqlite3_errmsg(db.handle()));
        const int code = sqlite3_extended_errcode(db.handle());
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
        Database::raise(msg, code, sql);
    }
}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

void Statement::bind(const QVariantList& params) {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    for (int i = 0; i < params.size(); ++i)
        bind(i + 1, params.at(i));
}

void Statement::bind(int index, const QVariant& raw) {
    const QVariant v = toStored(raw);
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
        Database::raise(QString::fromUtf8(sqlite3_errmsg(db_.handle())), rc, sql_);
}

bool Statement::step() {
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE) {
        sqlite3_reset(stmt_);
        return false;
    }
    const QString msg = QString::fromUtf8(sqlite3_errmsg(db_.handle()));
    const int code = sqlite3_extended_errcode(db_.handle());
    sqlite3_reset(stmt_);
    Database::raise(msg, code, sql_);
}

void Statement::reset() {
    sqlite3_reset(stmt_);
}

QString Statement::columnName(int i) const {
    return QString::fromUtf8(sqlite3_column_name(stmt_, i));
}

QVariant Statement::column(int i) const {
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

// ---------------------------------------------------------------------------------------------
// Database

Database::Database(QString path, QSqlDatabase db) : path_(std::move(path)), db_(std::move(db)) {
    openDatabases().insert(this);
}

Database::~Database() {
    openDatabases().erase(this);
    const QString name = db_.connectionName();
    if (db_.isOpen()) {
        if (depth_ > 0)
            sqlite3_exec(handle(), "ROLLBACK", nullptr, nullptr, nullptr);
        db_.close();
    }
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(name);
    if (inUseFd_ >= 0)
        ::close(inUseFd_);
}

sqlite3* Database::handle() {
    const QVariant v = db_.driver()->handle();
    return *static_cast<sqlite3* const*>(v.data());
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

std::shared_ptr<Database> Database::openConnection(const QString& path, bool create) {
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
    std::shared_ptr<Database> result(new Database(path, db));
    result->inUseFd_ = inUse;
    db = QSqlDatabase();  // the Database holds the only handle, so it can remove the connection
    result->configure();
    return result;
}

void Database::configure() {
    sqlite3* h = handle();
    sqlite3_busy_timeout(h, kBusyTimeoutMs);
    sqlite3_extended_result_codes(h, 1);
    // The files may lie on a shared network folder: keep the rollback journal, and write
    // every commit through to the disk. What is deleted or replaced is zeroed in the file, so a
    // changed password (or its plain predecessor) does not linger in free space.
    sqlite3_create_function_v2(h, "orvik_contains_mask", -1,
                               SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS, nullptr,
                               containsMask, nullptr, nullptr, nullptr);
    char* errmsg = nullptr;
    const int rc = sqlite3_exec(h,
                                "PRAGMA journal_mode=DELETE; PRAGMA synchronous=FULL; "
                                "PRAGMA secure_delete=ON; PRAGMA foreign_keys=OFF; "
                                "SELECT count(*) FROM sqlite_master;",
                                nullptr, nullptr, &errmsg);
    if (rc != SQLITE_OK) {
        const QString msg = QString::fromUtf8(errmsg ? errmsg : "");
        sqlite3_free(errmsg);
        raise(msg, rc, path_);
    }
}

std::shared_ptr<Database> Database::open(const QString& path, const QString& connect) {
    auto db = openConnection(path, false);
    const QString given = passwordFromConnect(connect);
    QString salt, stored;
    if (db->hasTable(kMetaTable)) {
        salt = db->meta(QStringLiteral("password_salt"));
        stored = db->meta(QStringLiteral("password_hash"));
    }
    const bool ok = stored.isEmpty() ? given.isEmpty() : hashPassword(salt, given) == stored;
    if (!ok)
        throw EngineError(err::InvalidPassword, QStringLiteral("不是有效的密碼。"));
    return db;
}

std::shared_ptr<Database> Database::create(const QString& path, const QString& password) {
    auto db = openConnection(path, true);
    db->execute(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (key TEXT PRIMARY KEY, value TEXT)")
                    .arg(kMetaTable));
    db->setPassword(password);
    return db;
}

void Database::setPassword(const QString& password) {
    if (password.isEmpty()) {
        execute(QStringLiteral("DELETE FROM %1 WHERE key IN ('password_salt','password_hash')")
                    .arg(kMetaTable));
        return;
    }
    const QString salt =
        QString::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, u'0');
    Transaction tx(*this);
    setMeta(QStringLiteral("password_salt"), salt);
    setMeta(QStringLiteral("password_hash"), hashPassword(salt, password));
    tx.commit();
}

QString Database::meta(const QString& key) {
    if (!hasTable(kMetaTable))
        return {};
    return scalar(QStringLiteral("SELECT value FROM %1 WHERE key = ?").arg(kMetaTable), {key})
        .toString();
}

void Database::setMeta(const QString& key, const QString& value) {
    execute(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (key TEXT PRIMARY KEY, value TEXT)")
                .arg(kMetaTable));
    execute(QStringLiteral("INSERT OR REPLACE INTO %1 (key, value) VALUES (?, ?)").arg(kMetaTable),
            {key, value});
}

int Database::execute(const QString& sql, const QVariantList& params) {
    // A lone write still takes the write lock up front, so it waits for other writers
    // instead of failing half-way through a lock upgrade.
    const bool wrap = depth_ == 0 && isWriteStatement(sql);
    if (wrap)
        beginTrans();
    try {
        Statement st(*this, sql);
        st.bind(params);
        while (st.step()) {
        }
        const int changed = sqlite3_changes(handle());
        if (wrap)
            commitTrans();
        return changed;
    } catch (...) {
        if (wrap)
            rollback();
        throw;
    }
}

QVariant Database::scalar(const QString& sql, const QVariantList& params) {
    Statement st(*this, sql);
    st.bind(params);
    if (!st.step())
        return {};
    QVariant v = st.column(0);
    st.reset();
    return v;
}

bool Database::hasTable(const QString& table) {
    Statement st(*this,
                 QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ? "
                                "COLLATE NOCASE"));
    st.bind({table});
    const bool found = st.step();
    st.reset();
    return found;
}

QStringList Database::tableNames() {
    QStringList names;
    Statement st(*this, QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND "
                                       "name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY name"));
    while (st.step())
        names << st.column(0).toString();
    names.removeAll(kMetaTable);
    return names;
}

TableDef Database::tableDef(const QString& table) {
    return TableDef(*this, table);
}

void Database::beginTrans() {
    const char* sql = depth_ == 0 ? "BEGIN IMMEDIATE" : nullptr;
    QByteArray savepoint;
    if (!sql) {
        savepoint = "SAVEPOINT orvik_" + QByteArray::number(depth_);
        sql = savepoint.constData();
    }
    char* errmsg = nullptr;
    const int rc = sqlite3_exec(handle(), sql, nullptr, nullptr, &errmsg);
    if (rc != SQLITE_OK) {
        const QString msg = QString::fromUtf8(errmsg ? errmsg : "");
        sqlite3_free(errmsg);
        raise(msg, rc, path_);
    }
    ++depth_;
}

void Database::beginRead() {
    if (depth_ > 0) {
        ++readDepth_;
        return;
    }
    char* errmsg = nullptr;
    const int rc = sqlite3_exec(handle(), "BEGIN", nullptr, nullptr, &errmsg);
    if (rc != SQLITE_OK) {
        const QString msg = QString::fromUtf8(errmsg ? errmsg : "");
        sqlite3_free(errmsg);
        raise(msg, rc, path_);
    }
    ++depth_;
}

void Database::endRead() {
    if (readDepth_ > 0) {
        --readDepth_;
        return;
    }
    if (depth_ != 1)
        return;  // rolled back meanwhile (rollbackAll after an engine error)
    // Nothing was written: ending it cannot fail in a way that matters, and a destructor calls
    // this.
    if (sqlite3_exec(handle(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        sqlite3_exec(handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    depth_ = 0;
}

void Database::commitTrans() {
    if (depth_ == 0)
        throw EngineError(err::ReservedError, QStringLiteral("沒有進行中的交易，無法認可。"));
    QByteArray sql = depth_ == 1 ? QByteArray("COMMIT")
                                 : "RELEASE SAVEPOINT orvik_" + QByteArray::number(depth_ - 1);
    char* errmsg = nullptr;
    const int rc = sqlite3_exec(handle(), sql.constData(), nullptr, nullptr, &errmsg);
    if (rc != SQLITE_OK) {
        const QString msg = QString::fromUtf8(errmsg ? errmsg : "");
        sqlite3_free(errmsg);
        // A failed COMMIT (busy readers past the timeout) leaves the transaction open; undo
        // it, so the caller's error path leaves nothing half-written.
        if (depth_ == 1) {
            sqlite3_exec(handle(), "ROLLBACK", nullptr, nullptr, nullptr);
            depth_ = 0;
        }
        raise(msg, rc, path_);
    }
    --depth_;
}

void Database::rollback() {
    if (depth_ == 0)
        return;
    if (depth_ == 1) {
        sqlite3_exec(handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    } else {
        const QByteArray name = "orvik_" + QByteArray::number(depth_ - 1);
        sqlite3_exec(handle(),
                     ("ROLLBACK TO SAVEPOINT " + name + "; RELEASE SAVEPOINT " + name).constData(),
                     nullptr, nullptr, nullptr);
    }
    --depth_;
}

void Database::rollbackAll() {
    for (Database* db : openDatabases()) {
        while (db->depth_ > 0)
            db->rollback();
    }
}

void Database::setBusyTimeout(int milliseconds) {
    sqlite3_busy_timeout(handle(), milliseconds);
}

Recordset Database::openRecordset(const QString& source, const QVariantList& params,
                                  RecordsetType type) {
    return openRecordset(source, type, params);
}

Transaction::~Transaction() {
    if (!done_) {
        db_.rollback();
    }
}

void Transaction::commit() {
    done_ = true;
    db_.commitTrans();
}

// ---------------------------------------------------------------------------------------------
// Conversions

QVariant toStored(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::Bool:
            return QVariant(qlonglong(v.toBool() ? -1 : 0));
        case QMetaType::QDate: {
            const QDate d = v.toDate();
            return d.isValid() ? QVariant(d.toString(Qt::ISODate)) : QVariant();
        }
        case QMetaType::QDateTime: {
            const QDate d = v.toDateTime().date();
            return d.isValid() ? QVariant(d.toString(Qt::ISODate)) : QVariant();
        }
        default:
            return v;
    }
}

bool storedBool(const QVariant& v) {
    if (v.isNull())
        return false;
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed();
        if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        bool ok = false;
        const double d = s.toDouble(&ok);
        return ok && d != 0;
    }
    return v.toDouble() != 0;
}

QDate storedDate(const QVariant& v) {
    if (v.isNull())
        return {};
    if (v.typeId() == QMetaType::QDate)
        return v.toDate();
    const QString s = v.toString().trimmed();
    QDate d = QDate::fromString(s.left(10), Qt::ISODate);
    if (!d.isValid())
        d = QDate::fromString(s.left(10), QStringLiteral("yyyy/MM/dd"));
    return d;
}

QString likeContains(const QString& text) {
    QString escaped;
    escaped.reserve(text.size() + 2);
    escaped += QLatin1Char('%');
    for (const QChar c : text) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('%') || c == QLatin1Char('_'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    escaped += QLatin1Char('%');
    return escaped;
}

}  // namespace orvik::store
