#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include "Database.h"

namespace orvik::store::schema {

// The one definition of the three database files. The administrator tool creates files from
// it, its check compares files against it, and the tests build their folders with it.

// Version 2: iof_number_order, the index of every list in number order.
// Version 3: indexes by project, date of occurrence and entry, account, cash date and the
// bills' due and reminder dates, for the master-data and statement windows.
// Version 4: the audit trail (table audit in acc.mdb and voro3.mdb); login passwords hashed.
inline constexpr int kVersion = 4;

enum class ColType {
    Text,  // compared without regard to letter case
    Int16,
    Int32,
    Amount,   // whole New Taiwan dollars
    Number,   // plain whole number (instalment numbers, ranks)
    Double,   // fractions (shares of a price)
    Boolean,  // -1 / 0
    Date,     // ISO text yyyy-MM-dd
};

struct Column {
    QString name;
    ColType type;
    QString defaultSql;  // empty for none
};

// One key of an index: a column by name, or an SQL expression over the table's columns (column
// names written in double quotes, as the schema writes them).
struct IndexKey {
    QString column;
    QString expression;
    QString sql() const;  // the key as written in CREATE INDEX
};

struct Index {
    QString name;
    QVector<IndexKey> keys;
    bool unique = false;
    int since = 1;  // the schema version that introduced it
    // The keys for messages: column names, expressions without quotes ("length(單號),單號").
    QString describe() const;
};

struct Table {
    QString name;
    QVector<Column> columns;
    QVector<Index> indexes;
    int since = 1;  // the schema version that introduced it
    QStringList columnNames() const;
};

struct File {
    QString fileName;  // acc.mdb, voro3.mdb, pt.mdb
    QString password;  // empty for none
    QVector<Table> tables;
    QString connect() const;  // ";pwd=..." or empty
    const Table* table(const QString& name) const;
};

const File& acc();
const File& general();
const File& print();
const QVector<const File*>& files();

QString createTableSql(const Table& t, Engine engine = Engine::SQLite);
QString createIndexSql(const Table& t, const Index& i, Engine engine = Engine::SQLite);

// Creates every table and index of `file` in an empty database and stamps the version. With an
// older `version` the file is made as that version made it (without the later tables and
// indexes), for the tests of the upgrade.
void createAll(Database& db, const File& file, int version = kVersion);

// Whether the file holds an index named `index.name` with the keys and uniqueness of the
// definition; `found` gets what the file has, in the words of Index::describe (empty when the
// index is missing).
bool indexMatches(Database& db, const Table& table, const Index& index, QString* found = nullptr);

// One difference between a file and the definition, in words an administrator can act on.
struct Difference {
    QString table;
    QString what;
};
QVector<Difference> compare(Database& db, const File& file);

// A table or column name as the definition spells it ("accs" → "AccS"); a name the
// definition does not know stays as it is. A server hands ASCII names back in lower case.
QString knownName(const QString& name);

// The version stamped in a file; 0 for a file this system has not stamped.
int versionOf(Database& db);

}  // namespace orvik::store::schema
