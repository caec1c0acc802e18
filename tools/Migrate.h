#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <tuple>

namespace orvik::admin {

// What one table holds on either side, as counted and summed on each side by its own engine.
struct MigrateTable {
    QString fileName;
    QString table;
    qint64 sourceRows = 0;
    qint64 destRows = 0;
};

// Per table, per year of its first date column (empty: no date, or a table without one) and
// per amount column: the row count ("" column) and the column's total.
struct FigureKey {
    QString fileName;
    QString table;
    QString year;
    QString column;
    bool operator<(const FigureKey& o) const {
        return std::tie(fileName, table, year, column) <
               std::tie(o.fileName, o.table, o.year, o.column);
    }
};
using MigrateFigures = QMap<FigureKey, qint64>;

struct MigrateReport {
    QString source;  // as shown: a server without its password
    QString dest;
    QMap<QString, int> versions;  // file → schema version, the same on both sides
    QVector<MigrateTable> tables;
    MigrateFigures sourceFigures;
    MigrateFigures destFigures;
    QStringList mismatches;  // one line per count or total that differs
    qint64 rows = 0;
    double seconds = 0;
    double copySeconds = 0;  // reading and writing the rows, without the indexes
    bool kept = false;       // the new books are in place (only when balanced)

    bool balanced() const { return mismatches.isEmpty(); }
    QString text() const;
};

struct MigrateOptions {
    QString source;  // a folder or a server location
    QString dest;
    // Migrate takes the source for itself (nobody works meanwhile, so nothing saved during the
    // move is left behind on the old books); a backup reads one snapshot while others work.
    bool exclusive = true;
    std::function<void(const QString&)> progress;
    // For the tests: a statement run on the new books just before they are reconciled (a file
    // name and SQL in the shared dialect), and a table after whose copy the move fails.
    QString testFile;
    QString testStatement;
    QString testFailAfter;
};

// Copies every table of the three books from one location to another: a folder to a server,
// a server to a folder, or either to the other kind. The destination must hold no books. Rows
// are copied exactly, with their row keys; the new books get the source's schema version. The
// counts and totals are read on both sides and compared before the new books are kept: on a
// mismatch the destination is left as it was (the files or schemas made are removed) and the
// report says what differs; on any other failure the same, with an AdminError saying why.
MigrateReport migrate(const MigrateOptions& options);

}  // namespace orvik::admin
