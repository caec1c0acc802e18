#pragma once

// Internal to the store: what one database engine does for Database, Recordset, TableDef,
// RowReader and the schema. The forms never see this; they see one Database whichever engine
// holds the books.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>
#include <QVector>
#include <memory>

#include "Database.h"
#include "TableDef.h"

class QSqlDatabase;

namespace orvik::store::detail {

// One prepared statement. Values reach it already converted by toStored.
class StatementImpl {
  public:
    virtual ~StatementImpl() = default;
    virtual void clearBindings() = 0;
    virtual void bind(int index, const QVariant& value) = 0;  // 1-based
    virtual bool step() = 0;                                  // true while a row is available
    virtual void reset() = 0;
    virtual int columnCount() const = 0;
    virtual QString columnName(int i) const = 0;
    virtual QVariant column(int i) const = 0;
    virtual qint64 columnInt64(int i) const = 0;
    virtual bool columnIsInteger(int i) const = 0;
    virtual QByteArray columnBytes(int i) const = 0;
};

class Connection {
  public:
    virtual ~Connection() = default;
    virtual Engine engine() const = 0;

    // `streamed`: the rows are read once, in order, and may be many (RowReader); a server
    // hands them over one at a time instead of the whole result at once.
    virtual std::unique_ptr<StatementImpl> prepare(const QString& sql, bool streamed = false) = 0;
    // Rows changed by the last statement that finished.
    virtual int changes() = 0;
    // Transaction control and other statements without parameters or rows.
    virtual void run(const QByteArray& sql) = 0;
    // The same on a path that is already failing (rollbacks in destructors): never throws.
    virtual void runQuietly(const QByteArray& sql) noexcept = 0;
    // Begins the outermost write transaction so that it waits for other writers at once
    // rather than failing at its first write.
    virtual void beginWrite() = 0;
    // Begins a read transaction that sees one state of the books (Database::beginRead).
    virtual void beginRead() = 0;
    // Runs an INSERT and gives the new row's key (the one a dynaset keeps).
    virtual qint64 insertReturningKey(const QString& sql, const QVariantList& params) = 0;

    virtual bool hasTable(const QString& table) = 0;
    virtual QStringList tableNames() = 0;  // this system's metadata table left out
    virtual QVector<FieldDef> columns(const QString& table) = 0;

    virtual void setBusyTimeout(int milliseconds) = 0;
    // The SQLite engine's own handles; none on a server.
    virtual sqlite3* sqliteHandle() { return nullptr; }
    virtual QSqlDatabase* qtConnection() { return nullptr; }
};

std::unique_ptr<Connection> openSqlite(const QString& path, bool create);
// `path` is a server path: a URI and a file name (databasePath).
std::unique_ptr<Connection> openPostgres(const QString& path, bool create);
// The server's half of ExclusiveUse: a connection of this process that holds the schema of
// `path` alone, or EngineError FileInUse while another connection has it.
std::shared_ptr<void> takeServerExclusive(const QString& path);

// Quotes an identifier the way both engines read it.
QString quoteIdent(const QString& name);

}  // namespace orvik::store::detail
