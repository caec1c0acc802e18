#pragma once

// What the tests of the master-data windows share: choosing a list row as a click does, and
// reading stored rows back as text.

#include <QAbstractItemModel>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QStringList>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include "Database.h"
#include "Recordset.h"

namespace orvik::testing {

// Clicks the list row whose cells, read left to right, begin with `cells`, as the mouse does:
// the window shown and the tab that holds the list brought forward first. False when there
// is no such row.
inline bool pick(QTableView* view, const QStringList& cells) {
    QWidget* window = view->window();
    if (!window->isVisible())
        window->show();
    for (QTabWidget* tabs : window->findChildren<QTabWidget*>()) {
        for (int i = 0; i < tabs->count(); ++i) {
            if (tabs->widget(i)->isAncestorOf(view))
                tabs->setCurrentIndex(i);
        }
    }
    QCoreApplication::processEvents();  // laid out before a cell's place is asked
    const QAbstractItemModel* m = view->model();
    for (int r = 0; r < m->rowCount(); ++r) {
        bool match = true;
        for (int c = 0; c < cells.size() && match; ++c)
            match = m->index(r, c).data().toString() == cells.at(c);
        if (match) {
            const QModelIndex at = m->index(r, 0);
            view->scrollTo(at);
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(at).center());
            return true;
        }
    }
    return false;
}

// The texts of column `c` of a list, top to bottom.
inline QStringList column(const QTableView* view, int c) {
    QStringList out;
    for (int r = 0; r < view->model()->rowCount(); ++r)
        out << view->model()->index(r, c).data().toString();
    return out;
}

// Every row of a query, one line each, cells as text joined by '|'; a null cell reads `null`.
inline QStringList dump(store::Database& db, const QString& sql, const QVariantList& params = {},
                        const QString& null = QString()) {
    QStringList out;
    store::Recordset rs = db.openRecordset(sql, store::RecordsetType::Snapshot, params);
    for (const auto& row : rs.takeRows()) {
        QStringList cells;
        for (const QVariant& v : row)
            cells << (v.isNull() ? null : v.toString());
        out << cells.join('|');
    }
    return out;
}

}  // namespace orvik::testing
