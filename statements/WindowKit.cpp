#include "WindowKit.h"

#include <QDir>
#include <QHeaderView>
#include <QRegularExpression>
#include <QTableView>

#include "Globals.h"
#include "Prompts.h"
#include "ReportControl.h"
#include "RowsModel.h"
#include "Startup.h"
#include "WaitCursor.h"

namespace orvik::statements {

using namespace orvik::app;

QString exportWithDialog(const ExportTable& table, const QString& suggestedName) {
    const QString suggested = QDir::home().filePath(suggestedName + QStringLiteral(".xlsx"));
    const QString path =
        SaveFileDialog(QStringLiteral("匯出"), suggested,
                       QStringLiteral("Excel 活頁簿 (*.xlsx)|*.xlsx|CSV 檔 (UTF-8)|*.csv"));
    if (path.isEmpty())
        return {};
    try {
        const WaitCursor wait;
        writeExport(table, path);
    } catch (const ExportError& e) {
        MsgBox(e.message(), Buttons::OK, Icon::Exclamation);
        return {};
    }
    return path;
}

void printStatement(QWidget* owner, const QString& layoutFile, const report::Values& values,
                    const report::RowSets& rows, const QString& title) {
    report::ReportControl crtp(owner);
    crtp.setReportFileName(QDir(ProgramFolder()).filePath(layoutFile));
    try {
        crtp.runStatement(dbPrint.get(), values, rows, title);
    } catch (const report::ReportError& e) {
        MsgBox(e.message(), Buttons::OK, Icon::Exclamation);
    }
}

void setUpList(QTableView* view, RowsModel* model) {
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSortingEnabled(true);
    view->horizontalHeader()->setSortIndicatorShown(true);
    view->horizontalHeader()->setStretchLastSection(true);
    view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 8);
    view->verticalHeader()->hide();
    view->setAlternatingRowColors(true);
    // New rows come in the order of their query and are not sorted by any column yet; the
    // columns take the width of what they now show (the rows in view, so a long list costs
    // no more than a short one).
    view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    QObject::connect(model, &QAbstractItemModel::modelReset, view, [view] {
        view->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
        view->resizeColumnsToContents();
    });
}

std::optional<qint64> typedAmount(const QString& text, bool* ok) {
    *ok = true;
    QString t = text.trimmed();
    t.remove(QLatin1Char(','));
    if (t.isEmpty())
        return std::nullopt;
    static const QRegularExpression digits(QStringLiteral("^-?[0-9]{1,15}$"));
    if (!digits.match(t).hasMatch()) {
        *ok = false;
        return std::nullopt;
    }
    return t.toLongLong();
}

report::Values rowValues(const RowsModel& model, int row) {
    report::Values v;
    for (int c = 0; c < model.columnCount(); ++c)
        v.insert(model.column(c).heading, model.text(row, c));
    return v;
}

report::RowSets modelRows(const RowsModel& model, const QString& section) {
    QVector<report::Values> rows;
    rows.reserve(model.rowCount());
    for (int r = 0; r < model.rowCount(); ++r)
        rows << rowValues(model, r);
    return {{section, rows}};
}

}  // namespace orvik::statements
