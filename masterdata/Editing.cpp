#include "Editing.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QShortcut>
#include <QTableView>
#include <cmath>

#include "Prompts.h"
#include "Recordset.h"

namespace orvik::masterdata {

void setUpList(QTableView* view, app::RowsModel* model) {
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setWordWrap(false);
    view->setSortingEnabled(true);
    view->sortByColumn(-1, Qt::AscendingOrder);  // as read, until a heading is clicked
    view->verticalHeader()->hide();
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 8);
    view->horizontalHeader()->setStretchLastSection(true);
    view->horizontalHeader()->setHighlightSections(false);
}

int chosenRow(const QTableView* view) {
    // A click makes its row current before it selects it: the chosen row is the selected one.
    const QModelIndexList rows =
        view->selectionModel() ? view->selectionModel()->selectedRows() : QModelIndexList();
    return rows.isEmpty() ? -1 : rows.first().row();
}

int chooseRow(QTableView* view, const app::RowsModel* model, const QVector<int>& fields,
              const QVariantList& values) {
    for (int r = 0; r < model->rowCount(); ++r) {
        bool match = true;
        for (int i = 0; i < fields.size() && match; ++i)
            match = model->row(r)
                        .value(fields.at(i))
                        .toString()
                        .compare(values.value(i).toString(), Qt::CaseInsensitive) == 0;
        if (match) {
            view->selectRow(r);
            view->scrollTo(model->index(r, 0));
            return r;
        }
    }
    view->clearSelection();
    view->setCurrentIndex({});
    return -1;
}

void clearChoice(QTableView* view) {
    if (view->selectionModel())
        view->selectionModel()->clear();
}

QVector<Row> readRows(store::Database& db, const QString& sql, const QVariantList& params) {
    store::Recordset rs = db.openRecordset(sql, store::RecordsetType::Snapshot, params);
    return rs.takeRows();
}

bool sameValue(const QVariant& a, const QVariant& b) {
    const bool aEmpty = a.isNull() || !a.isValid() || a.toString().isEmpty();
    const bool bEmpty = b.isNull() || !b.isValid() || b.toString().isEmpty();
    if (aEmpty || bEmpty)
        return aEmpty == bEmpty;
    bool aNumber = false, bNumber = false;
    const double x = a.toString().toDouble(&aNumber);
    const double y = b.toString().toDouble(&bNumber);
    if (aNumber && bNumber)
        return x == y;
    return a.toString() == b.toString();
}

bool unchanged(store::Database& db, const QString& table, const QStringList& keyColumns,
               const QVariantList& keys, const QStringList& columns, const Row& expected) {
    QStringList where;
    for (const QString& k : keyColumns)
        where << quoted(k) + QStringLiteral(" = ?");
    QStringList select;
    for (const QString& c : columns)
        select << quoted(c);
    store::Recordset rs =
        db.openRecordset(QStringLiteral("select %1 from %2 where %3")
                             .arg(select.join(QStringLiteral(", ")), quoted(table),
                                  where.join(QStringLiteral(" and "))),
                         store::RecordsetType::Snapshot, keys);
    if (rs.isEOF() || rs.RecordCount() != 1)
        return false;
    for (int i = 0; i < columns.size(); ++i) {
        if (!sameValue(rs.field(i), expected.value(i)))
            return false;
    }
    return true;
}

void tellMissing(const QString& what, QWidget* field) {
    app::MsgBox(QStringLiteral("請填入%1").arg(what), app::Buttons::OK, app::Icon::Exclamation,
                kTitle);
    if (field)
        field->setFocus();
}

void tellChangedMeanwhile() {
    app::MsgBox(QStringLiteral("此筆資料已由別人修改或刪除，這次沒有存入。\r\n"
                               "畫面已改為目前存的內容，請確認後再修改。"),
                app::Buttons::OK, app::Icon::Exclamation, kTitle);
}

void tellRefused(const QString& text) {
    app::MsgBox(text, app::Buttons::OK, app::Icon::Exclamation, kTitle);
}

bool confirmDelete(const QString& what) {
    return app::MsgBox(QStringLiteral("確定刪除%1?").arg(what), app::Buttons::YesNo,
                       app::Icon::Question, kTitle, app::DefaultButton::Second) == app::Answer::Yes;
}

bool readAmount(const QString& text, qint64& amount) {
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        amount = 0;
        return true;
    }
    if (t.size() > 12)
        return false;
    for (const QChar c : t) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    amount = t.toLongLong();
    return true;
}

void closeOnEscape(QWidget* window) {
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    escape->setContext(Qt::WindowShortcut);
    QObject::connect(escape, &QShortcut::activated, window, &QWidget::close);
}

QString quoted(const QString& name) {
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

}  // namespace orvik::masterdata
