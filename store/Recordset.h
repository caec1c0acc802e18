#pragma once

#include <QHash>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <memory>

#include "Database.h"

namespace orvik::store {

// A cursor over a table or a query. A snapshot holds a copy of its rows and cannot be
// changed; a dynaset holds only the row keys and reads a row when it is visited, so a cursor
// over every voucher opens quickly and stays small. Both are positioned on their first row
// when opened and know their exact RecordCount at once.
class Recordset {
  public:
    Recordset();
    Recordset(Recordset&&) noexcept;
    Recordset& operator=(Recordset&&) noexcept;
    ~Recordset();

    bool isOpen() const { return impl_ != nullptr; }
    // EOF is a C macro, hence the is- prefix on both ends.
    bool isBOF() const;
    bool isEOF() const;
    int RecordCount() const;
    int AbsolutePosition() const;  // -1 when there is no current row

    void MoveFirst();
    void MoveLast();
    void MoveNext();
    void MovePrevious();
    void Move(int rows);  // relative to the current row; stops at BOF or EOF

    int fieldCount() const;
    QStringList fieldNames() const;
    int fieldIndex(const QString& name) const;  // fails with 3265 for an unknown name

    // Null reads as a null variant; the caller decides what it means.
    QVariant field(int pos) const;
    QVariant field(const QString& name) const;
    QString text(int pos) const { return field(pos).toString(); }
    QString text(const QString& name) const { return field(name).toString(); }

    void AddNew();
    void Edit();
    void setField(int pos, const QVariant& value);
    void setField(const QString& name, const QVariant& value);
    void Update();
    void CancelUpdate();
    void Delete();

    void Close();

    // A dynaset over a whole table whose rows are only ever added, never removed nor moved in
    // its order (the vouchers): takes in the rows added since it was opened, here or by other
    // connections, each at its place in the order `orderBy` (the expressions of the opening
    // ORDER BY, ascending), instead of reading every key again. The current row stays current.
    // False when the cursor is of another kind; the caller then opens it again.
    bool takeInAddedRows(const QString& orderBy);

    // A snapshot's rows from the current one to the last, handed over whole (no copy); the
    // recordset is closed afterwards. For a long list that a view shows as it was read.
    QVector<QVector<QVariant>> takeRows();

    struct Impl;

  private:
    explicit Recordset(std::unique_ptr<Impl> impl);
    friend class Database;
    std::unique_ptr<Impl> impl_;
};

}  // namespace orvik::store
