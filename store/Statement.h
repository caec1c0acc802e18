#pragma once

// Internal to the store: a prepared statement on the connection's own SQLite handle.
// Reading through the handle keeps a million-row key scan close to bare SQLite speed, and
// resetting a statement as soon as its rows are read releases the shared lock that would
// otherwise keep other copies of the program from committing.

#include <sqlite3.h>

#include <QString>
#include <QVariant>
#include <QVariantList>

namespace orvik::store {

class Database;

class Statement {
  public:
    Statement(Database& db, const QString& sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void bind(const QVariantList& params);
    void bind(int index, const QVariant& value);  // 1-based
    bool step();                                  // true while a row is available
    void reset();

    int columnCount() const { return sqlite3_column_count(stmt_); }
    QString columnName(int i) const;
    QVariant column(int i) const;
    qint64 columnInt64(int i) const { return sqlite3_column_int64(stmt_, i); }
    bool columnIsInteger(int i) const { return sqlite3_column_type(stmt_, i) == SQLITE_INTEGER; }
    QByteArray columnBytes(int i) const {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
        return text ? QByteArray(text, sqlite3_column_bytes(stmt_, i)) : QByteArray();
    }
    bool readOnly() const { return sqlite3_stmt_readonly(stmt_) != 0; }

  private:
    Database& db_;
    sqlite3_stmt* stmt_ = nullptr;
    QString sql_;
};

}  // namespace orvik::store
