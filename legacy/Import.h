#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>
#include <tuple>

#include "Schema.h"
#include "Source.h"

namespace orvik::legacy {

// A value that could not be converted, or a row that could not be written, and where it was.
struct Problem {
    QString file;
    QString table;
    qint64 row = 0;  // 1-based, in the old table's order
    QString key;     // the row's key columns, "單號 920712001"
    QString column;  // empty for a whole row
    QString value;   // as the old file holds it
    QString reason;
};

struct TableCount {
    QString file;
    QString table;       // the new table
    QString legacyName;  // empty when the old file has no such table
    qint64 read = 0;
    qint64 written = 0;
};

// Per year: vouchers by status, cash and bank movements, and the last balances, each once as
// read from the old files and once as read back from the new folder.
struct Figure {
    qint64 count = 0;
    qint64 total = 0;     // ten-thousandths of a dollar; vouchers: amount; ledgers: money in
    qint64 totalOut = 0;  // ledgers: money out
    bool hasLast = false;
    qint64 lastId = 0;
    qint64 lastBalance = 0;  // ten-thousandths; the row with the highest id
    bool lastBalanceNull = false;
    bool operator==(const Figure&) const = default;
};

struct FigureKey {
    int section = 0;  // 0 vouchers, 1 cash, 2 bank
    QString year;     // "2003"; empty when the date is missing
    QString group;    // vouchers: the status; bank: bank and account
    bool operator<(const FigureKey& o) const {
        return std::tie(section, year, group) < std::tie(o.section, o.year, o.group);
    }
    bool operator==(const FigureKey& o) const = default;
};

using Figures = QMap<FigureKey, Figure>;

struct ImportReport {
    QString sourceDir;
    QString destDir;
    QString reportPath;
    QStringList formats;  // "acc.mdb: Jet 3"
    QVector<TableCount> tables;
    QStringList notes;  // skipped tables and columns, missing tables, defaults
    QVector<Problem> problems;
    Figures legacyFigures;
    Figures newFigures;
    QStringList mismatches;  // one line per count or total that differs
    // Warnings of the library that read the old files (their kinds are in the notes): a damaged
    // file may have lost rows on the way that no count here can show.
    qint64 readerWarnings = 0;
    qint64 vouchers = 0;
    double seconds = 0;

    bool balanced() const { return mismatches.isEmpty(); }
    bool clean() const { return balanced() && problems.isEmpty() && readerWarnings == 0; }
    QString text() const;
};

struct ImportOptions {
    QString sourceDir;  // shown in the report
    QString destDir;
    QString reportPath;  // empty: "<DEST>-轉入報告.txt" beside the new folder
    std::function<void(const QString&)> progress;
};

// Reads the three old files from `source` and writes a new database folder at
// options.destDir: built under temporary names inside it and renamed at the end, one
// transaction per file, so a failed import leaves nothing behind. Refuses a folder that already
// holds database files. The report is written beside the new folder and returned; its counts
// and totals are compared between the old files and the new folder as read back.
// Throws LegacyError when nothing could be written.
ImportReport importLegacy(Source& source, const ImportOptions& options);

// The administrator tool's exit status: 0 only when every count and total agrees, every value
// was brought across and the old files were read without a warning.
int exitStatus(const ImportReport& report);

// The tables that the program reads and writes by column position: their columns are matched
// by position, the others by name.
bool matchedByPosition(const QString& table);

// Conversion of one old value into what the new column stores; a null variant with `why` set
// when it cannot be converted. Null stays null, an empty text stays empty.
QVariant convertValue(const SourceValue& value, store::schema::ColType type, QString* why);

// An old amount as exact ten-thousandths of a dollar, when it is a number at all.
bool exactAmount(const SourceValue& value, qint64* tenThousandths);

// "1,234,567" or "-12.5": whole dollars grouped, the decimals only where there are some.
QString groupedMoney(qint64 tenThousandths);

}  // namespace orvik::legacy
