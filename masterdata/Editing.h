#pragma once

// What the master-data windows share: the list view set up one way, the messages in one voice,
// reading rows for a list, and the check that a row is still as it was read before it is
// rewritten or removed (another copy of the program may have changed it meanwhile).

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include "Database.h"
#include "RowsModel.h"

class QTableView;
class QWidget;

namespace orvik::masterdata {

using Row = app::RowsModel::Row;

inline const QString kTitle = QStringLiteral("Acc");

// Whole rows chosen one at a time, sortable by a click on a heading, the heading in view.
void setUpList(QTableView* view, app::RowsModel* model);
// The model row chosen in the list, or -1.
int chosenRow(const QTableView* view);
// Chooses the row whose values at `fields` equal `values` (text, without regard to case);
// nothing is chosen when there is none. Gives the row or -1.
int chooseRow(QTableView* view, const app::RowsModel* model, const QVector<int>& fields,
              const QVariantList& values);

// Nothing chosen and no current row, so that a click on any row, the last one shown included,
// shows it again.
void clearChoice(QTableView* view);

// Rows of a query, as a list shows them.
QVector<Row> readRows(store::Database& db, const QString& sql, const QVariantList& params = {});

// Two stored values as the same: null and empty text alike, numbers by value.
bool sameValue(const QVariant& a, const QVariant& b);

// Inside the write's transaction: whether the row of `table` whose `keyColumns` hold `keys`
// still exists with `expected` in `columns` (in that order).
bool unchanged(store::Database& db, const QString& table, const QStringList& keyColumns,
               const QVariantList& keys, const QStringList& columns, const Row& expected);

// "請填入…" for a required field, and the focus to it.
void tellMissing(const QString& what, QWidget* field);
// Another copy changed or removed the row: nothing was written; the window shows it as stored.
void tellChangedMeanwhile();
// A refusal with its reason (a clash, a row in use).
void tellRefused(const QString& text);
// "確定刪除…?" (是/否, 否 first).
bool confirmDelete(const QString& what);

// A whole amount typed into a box: digits only, up to 12; empty gives 0. False when the text is
// no such number.
bool readAmount(const QString& text, qint64& amount);

// Esc closes the window, as in the other small windows of the program.
void closeOnEscape(QWidget* window);

// The name used for a table's column in a query: quoted, so Chinese names and key words are safe.
QString quoted(const QString& name);

}  // namespace orvik::masterdata
