#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVector>

namespace orvik::admin {

// Master-data lists to and from CSV files, so an office can bring its lists from a spreadsheet.
// Only the lists people keep by hand take part; the ledgers the program writes (vouchers, cash,
// bills, the bank ledger) do not, since rows typed in a spreadsheet would bypass the numbering
// and the balances.

// The tables export and import take, by their stored names.
QStringList masterTables();

// Writes the table's rows in stored order to `csvPath` as UTF-8 with a byte-order mark, a header
// row of the column names and RFC 4180 quoting; dates in ISO form, yes/no as 是/否. The
// employees' password column is left out. Gives the number of rows written.
int exportTable(const QString& dir, const QString& table, const QString& csvPath);

// One refused line of a CSV file; line 0 stands for the file as a whole.
struct CsvRefusal {
    int line = 0;
    QString reason;
};

struct ImportResult {
    int rows = 0;                  // rows written (0 when anything was refused)
    QVector<CsvRefusal> refusals;  // every refused line, in file order
    QStringList notes;             // what the administrator still has to do
    bool ok() const { return refusals.isEmpty(); }
};

// Adds the rows of `csvPath` to the table in one transaction: all of them, or none when any
// line is refused. The header names the columns, in any order; columns left out stay empty
// (or take their default). Keys already stored or repeated in the file are refused; the
// company heading, a table of one row, is replaced instead. Every refusal names its line.
ImportResult importTable(const QString& dir, const QString& table, const QString& csvPath);

namespace csv {

struct Record {
    int line = 0;  // the line the record begins on, from 1
    QStringList fields;
};

// Splits decoded CSV text into records (RFC 4180: quoted fields may hold commas, doubled quotes
// and line breaks; lines end in CR LF, LF or CR). A leading byte-order mark is dropped. On a
// malformed file gives what was read before it and sets `error`.
QVector<Record> parse(const QString& text, CsvRefusal* error);

// One field as written: quoted when it holds a comma, a quote or a line break.
QString quote(const QString& field);

// A date as the office writes it: ISO yyyy-mm-dd (also yyyy/m/d, as spreadsheets save it) or
// the 民國 year as ee/mm/dd or eee/mm/dd. Invalid for anything else or before 民國 1.
QDate parseDate(const QString& text);

}  // namespace csv

}  // namespace orvik::admin
