#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include "Database.h"

namespace orvik::store {

struct FieldDef {
    QString name;
    QString declaredType;
    int position = 0;
};

// The definition of one table: its columns in stored order, and adding a column.
class TableDef {
  public:
    TableDef(Database& db, QString table);

    const QString& name() const { return table_; }
    int fieldCount() const { return fields_.size(); }
    QStringList fieldNames() const;
    const FieldDef& field(int pos) const;
    const FieldDef& field(const QString& name) const;  // 3265 when the table has no such column
    bool hasField(const QString& name) const;

    // Adds a column at the end. `defaultValue` is null for none; a text column that does not
    // allow zero length refuses the empty string.
    void appendField(const QString& name, FieldType type, const QVariant& defaultValue = {},
                     bool allowZeroLength = true);

    static QString sqlType(FieldType type, Engine engine = Engine::SQLite);

  private:
    void reload();

    Database& db_;
    QString table_;
    QVector<FieldDef> fields_;
};

}  // namespace orvik::store
