#pragma once

// Exports of every list and statement: XLSX (numbers as numbers, dates as dates with the 民國
// date as text beside them, column widths, the heading row frozen) and CSV (UTF-8 with a
// byte-order mark, so spreadsheet programs open it with the Chinese intact).

#include <QDate>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <stdexcept>

namespace orvik::app {
class RowsModel;
}

namespace orvik::statements {

enum class CellKind {
    Text,
    Amount,  // whole dollars, "#,##0"
    Date,    // a date cell, and the 民國 date as text in the column after it
};

struct ExportColumn {
    QString heading;
    CellKind kind = CellKind::Text;
};

// What an export writes: a few title lines (company, statement, period), the heading row and
// the rows. A cell is asked for when it is written: Text gives a QString, Amount a number,
// Date a QDate (invalid: an empty cell).
struct ExportTable {
    QString sheetName;
    QStringList titleLines;
    QVector<ExportColumn> columns;
    int rowCount = 0;
    std::function<QVariant(int row, int column)> cell;
};

// A file that could not be written; the message is for the user.
class ExportError : public std::runtime_error {
  public:
    explicit ExportError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const noexcept { return message_; }

  private:
    QString message_;
};

// Both replace `path` only when the whole file was written. Throw ExportError.
void writeXlsx(const ExportTable& table, const QString& path);
void writeCsv(const ExportTable& table, const QString& path);
// By the file's extension: .csv writes CSV, anything else XLSX.
void writeExport(const ExportTable& table, const QString& path);

// The rows of a list window as shown (in its sort order), a column per model column with the
// kind given (missing kinds: Text). Amount and Date columns take the row's stored value.
ExportTable tableFromModel(const app::RowsModel& model, const QVector<CellKind>& kinds,
                           const QString& sheetName, const QStringList& titleLines = {});

// The heading of the 民國 text column written beside a date column.
QString rocHeading(const QString& dateHeading);

}  // namespace orvik::statements
