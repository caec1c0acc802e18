#pragma once

// Internal to the store: a prepared statement on the connection's own engine handle. Reading
// through the engine's handle keeps a million-row key scan close to the bare engine's speed;
// on SQLite, resetting a statement as soon as its rows are read releases the shared lock that
// would otherwise keep other copies of the program from committing.

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <memory>

#include "Engine.h"

namespace orvik::store {

class Database;

class Statement {
  public:
    // `streamed`: read once, row by row, however many rows there are (RowReader).
    Statement(Database& db, const QString& sql, bool streamed = false);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void bind(const QVariantList& params);
    void bind(int index, const QVariant& value);  // 1-based
    bool step();                                  // true while a row is available
    void reset();

    int columnCount() const { return impl_->columnCount(); }
    QString columnName(int i) const { return impl_->columnName(i); }
    QVariant column(int i) const { return impl_->column(i); }
    qint64 columnInt64(int i) const { return impl_->columnInt64(i); }
    bool columnIsInteger(int i) const { return impl_->columnIsInteger(i); }
    QByteArray columnBytes(int i) const { return impl_->columnBytes(i); }

  private:
    std::unique_ptr<detail::StatementImpl> impl_;
};

}  // namespace orvik::store
