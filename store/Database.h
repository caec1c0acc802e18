#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <memory>

#include "EngineError.h"

struct sqlite3;

namespace orvik::store {

class Recordset;
class Statement;
class TableDef;
namespace detail {
class Connection;
}

// Which engine holds the books: SQLite files in a folder (the default), or a PostgreSQL server
// named by a postgresql:// URI, where the three files are three schemas of one database.
enum class Engine { SQLite, PostgreSQL };

// True for a postgresql:// (or postgres://) URI or a libpq "service=" line, false for a folder.
bool isServerLocation(const QString& location);

// The path of one of the books' files in a location: the file in a folder, or for a server
// "URI#acc.mdb", which Database::open reads as the file's schema on that server.
QString databasePath(const QString& location, const QString& fileName);

// A location as a message shows it: a server's URI without any password in it.
QString shownLocation(const QString& location);
// Whether a postgresql:// location carries a password (user:secret@host or ?password=), which
// accpath.ini must not: everyone who runs the program reads it.
bool holdsPassword(const QString& location);

// Recordset kinds, numbered as the forms pass them.
enum class RecordsetType {
    Dynaset = 2,   // updatable cursor; the default
    Snapshot = 4,  // read-only copy of the result
};

// Field type codes used when a column is added to a table definition.
enum class FieldType {
    Boolean = 1,
    Integer = 3,  // 16-bit
    Long = 4,     // 32-bit
    Currency = 5,
    Double = 7,
    Date = 8,
    Text = 10,
    Memo = 12,
};

// Files and folders of the books are shared by a group of office users and by nobody else:
// voro3.mdb holds the login passwords.
inline constexpr unsigned kFilePermissions = 0660;
inline constexpr unsigned kFolderPermissions = 0770;

// Makes `path` and any missing folders above it with kFolderPermissions (whatever the umask);
// folders that exist are left as they are. False with `error` set when one cannot be made.
bool makeFolder(const QString& path, QString* error = nullptr);

// One open database file, shared with every other copy of the program that uses it.
// Every value that comes from a user reaches SQL as a bound parameter.
class Database : public std::enable_shared_from_this<Database> {
  public:
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens an existing file for shared read-write use. `connect` is empty or ";pwd=secret".
    // Fails with 3044 when the folder does not exist, 3024 when the file does not, 3031 when
    // the password is missing, wrong, or given to a file that has none, 3343 when the file
    // is not a database. A server path (databasePath) fails with 3044 when the server cannot
    // be reached, 3024 when the database or the file's schema is not there, 3031 when the
    // server refuses the login; each message names the server.
    static std::shared_ptr<Database> open(const QString& path, const QString& connect = {});

    // Creates a new empty file with kFilePermissions (on a server: the file's schema); only
    // the administrator tool and the tests do this.
    static std::shared_ptr<Database> create(const QString& path, const QString& password = {});

    Engine engine() const { return engine_; }

    // The search's test of many columns at once, as SQL: bit i of its value set when the i-th
    // of `columns` (SQL expressions) holds `needle` (an SQL expression, usually a parameter),
    // ASCII letters without regard to case and every other character as it is; null never
    // matches, an empty needle matches every other value.
    QString containsMask(const QString& needle, const QStringList& columns) const;

    // A source is a bare table name or a SELECT text. Dynasets need a bare table or a
    // one-table SELECT; snapshots take any SELECT.
    Recordset openRecordset(const QString& source, RecordsetType type = RecordsetType::Dynaset,
                            const QVariantList& params = {});
    Recordset openRecordset(const QString& source, const QVariantList& params,
                            RecordsetType type = RecordsetType::Dynaset);

    // Runs a statement that returns no rows; gives the number of rows changed.
    int execute(const QString& sql, const QVariantList& params = {});

    // Runs an INSERT and gives the key of the new row, the one a dynaset keeps.
    qint64 insert(const QString& sql, const QVariantList& params = {});

    // The first column of the first row, or an invalid variant when there is no row.
    QVariant scalar(const QString& sql, const QVariantList& params = {});

    TableDef tableDef(const QString& table);
    QStringList tableNames();
    bool hasTable(const QString& table);

    // Nested calls become savepoints; the outermost begins with BEGIN IMMEDIATE so that a
    // read-then-write transaction waits for other writers instead of failing at its first write.
    void beginTrans();
    void commitTrans();
    void rollback();
    int transactionDepth() const { return depth_; }

    // A read transaction, so that the several queries of one statement see the same state of
    // the books while other copies keep writing. On SQLite a plain (deferred) BEGIN: it takes
    // the shared lock at the first read and holds it until endRead, so a writer's commit waits
    // for it (within the busy timeout); keep it to the reads of one statement, and write
    // nothing inside it. Inside a transaction already open it only counts as a nesting level.
    // The server engine gives the same guarantee with a repeatable-read, read-only transaction.
    void beginRead();
    void endRead();

    // Rolls back whatever is open on every database of this process; used before the
    // program ends on an engine error, so nothing is left half-written.
    static void rollbackAll();

    // Metadata kept by this system inside the file (schema version, password hash).
    QString meta(const QString& key);
    void setMeta(const QString& key, const QString& value);
    void setPassword(const QString& password);

    // How long a statement waits for another connection's lock before it fails with 3260
    // (10 s unless set; tests shorten it).
    void setBusyTimeout(int milliseconds);

    const QString& path() const { return path_; }
    // The SQLite engine's own handles, for the administrator tool's file-level work (backup,
    // integrity check); an invalid connection and a null handle on a server.
    QSqlDatabase& connection();
    sqlite3* handle();
    detail::Connection& engineConnection() { return *conn_; }

    // Turns a QtSql failure into an engine error with the engine's number.
    [[noreturn]] static void raise(const QString& sqliteText, int sqliteCode,
                                   const QString& context = {});

  private:
    Database(QString path, std::unique_ptr<detail::Connection> conn);
    static std::shared_ptr<Database> openConnection(const QString& path, bool create);

    QString path_;
    std::unique_ptr<detail::Connection> conn_;
    Engine engine_ = Engine::SQLite;
    int depth_ = 0;
    int readDepth_ = 0;  // levels of beginRead that began no transaction of their own
};

// A file of the books taken for this process alone. Every Database::open holds a shared lock
// on one byte of the file's locking page (a byte SQLite's own locks never touch) for as long
// as the connection lives, so even a copy of the program that sits idle shows. The
// administrator's tool takes that byte exclusively before it replaces or upgrades a file; the
// same process's own Database::open of the file takes no lock then, and other processes wait
// for it like for a busy file. On a server the same is a session-level advisory lock on the
// file's schema, held shared by every connection and taken alone by the tool.
class ExclusiveUse {
  public:
    // Takes `path` without waiting. Throws EngineError FileInUse, naming the file, while
    // another connection holds it. On a file system without byte-range locks nothing is taken.
    explicit ExclusiveUse(const QString& path);
    ~ExclusiveUse();
    ExclusiveUse(const ExclusiveUse&) = delete;
    ExclusiveUse& operator=(const ExclusiveUse&) = delete;

  private:
    QString key_;
    int fd_ = -1;
    std::shared_ptr<void> server_;  // the tool's own connection holding the server's lock
};

using DatabasePtr = std::shared_ptr<Database>;

// Begins on construction; rolls back on destruction unless committed.
class Transaction {
  public:
    explicit Transaction(Database& db) : db_(db) { db_.beginTrans(); }
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit();

  private:
    Database& db_;
    bool done_ = false;
};

// A read transaction (Database::beginRead) for the lifetime of the object.
class ReadTransaction {
  public:
    explicit ReadTransaction(Database& db) : db_(db) { db_.beginRead(); }
    ~ReadTransaction() { db_.endRead(); }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

  private:
    Database& db_;
};

// Reads the rows of a SELECT one at a time and keeps none of them: for a walk over a whole
// ledger, which a snapshot would first copy into memory. The statement holds its read lock
// until the rows end or the reader goes, so keep the walk short and write nothing during it.
class RowReader {
  public:
    RowReader(Database& db, const QString& sql, const QVariantList& params = {});
    ~RowReader();
    RowReader(const RowReader&) = delete;
    RowReader& operator=(const RowReader&) = delete;

    bool next();  // true while a row is available
    QVariant value(int column) const;
    qint64 integer(int column) const;    // null reads 0
    bool isInteger(int column) const;    // stored as an integer, so integer() reads it whole
    QByteArray bytes(int column) const;  // as UTF-8 text (a number in decimal), unconverted

  private:
    std::unique_ptr<Statement> st_;
};

// Value conversions between the forms' types and what is stored.
QVariant toStored(const QVariant& v);       // bool → -1/0, QDate → "yyyy-MM-dd"
bool storedBool(const QVariant& v);         // -1/0 or any non-zero → bool
QDate storedDate(const QVariant& v);        // ISO text (or legacy date-time text) → QDate
QString likeContains(const QString& text);  // literal text → "%text%" with '\' as escape

}  // namespace orvik::store
