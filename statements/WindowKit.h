#pragma once

// What the statement windows share: exporting a table, printing a statement through the
// report control, reading amounts typed by the user, and a list view set up the same way.

#include <QString>
#include <QStringList>
#include <optional>

#include "Export.h"
#include "Layout.h"

class QTableView;
class QWidget;

namespace orvik::app {
class RowsModel;
}

namespace orvik::statements {

// Asks for a file (XLSX or CSV) named after `suggestedName` and writes `table` to it. A failure
// is told; nothing happens when the user cancels. Gives the file written, or empty.
QString exportWithDialog(const ExportTable& table, const QString& suggestedName);

// Prints `layoutFile` (a layout beside the program) with the values and rows; the company
// heading comes from pt.mdb. A failure is told.
void printStatement(QWidget* owner, const QString& layoutFile, const report::Values& values,
                    const report::RowSets& rows, const QString& title);

// A list view over `model`: whole rows selected, sorting by a click on a heading, the
// heading's text and a readable row height.
void setUpList(QTableView* view, app::RowsModel* model);

// A whole amount typed in a box ("1,234" too): nothing for an empty box, and false in `ok`
// for text that is no amount.
std::optional<qint64> typedAmount(const QString& text, bool* ok);

// Values of a statement row for a layout: each model column's text by its heading.
report::Values rowValues(const app::RowsModel& model, int row);
report::RowSets modelRows(const app::RowsModel& model, const QString& section);

}  // namespace orvik::statements
