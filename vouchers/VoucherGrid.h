#pragma once

// The grid below the voucher form's fields (HFG): the unapproved vouchers or the hits of a
// search. Rows are counted as the lists have always counted them: row 0 is the heading row
// (its texts show in the view's header, which stays in view) and the data rows follow from 1.
// The view shows a model over the rows as they were read; a cell's text is made when the view
// (or the code) asks for it, so a list of tens of thousands of vouchers fills in a moment.

#include <QAbstractTableModel>
#include <QColor>
#include <QSet>
#include <QStringList>
#include <QTableView>
#include <QVector>
#include <functional>

namespace orvik::vouchers {

class GridModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    using Row = QVector<QVariant>;
    // A column's text made from its row; without one, column c shows value c of the row.
    using Cell = std::function<QString(const Row&)>;

    explicit GridModel(QObject* parent = nullptr);

    // Replaces everything: the headings (one per column), the rows and how each column is made
    // from a row (`cells` may be empty, or hold an empty function for a column). Marks are
    // cleared.
    void reset(const QStringList& headings, QVector<Row> rows, QVector<Cell> cells = {});

    // A list whose rows can be marked: column 0 shows "*" on a marked row, and the cells from
    // `column` on are painted in the mark colours (marked or not). -1: no marks, nothing is
    // painted and the panel colour shows through.
    void setColouredFrom(int column, const QColor& marked, const QColor& unmarked);
    void setAlignment(int column, Qt::Alignment alignment);

    const QStringList& headings() const { return headings_; }
    int dataRows() const { return int(rows_.size()); }
    const Row& row(int dataRow) const { return rows_.at(dataRow); }
    QString text(int dataRow, int column) const;
    bool isMarked(int dataRow) const;
    void setMarked(int dataRow, bool marked);
    void clearMarks();
    // Drops the data rows whose text in `column` is one of `values`.
    void removeRowsWhere(int column, const QSet<QString>& values);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    QStringList headings_;
    QVector<Row> rows_;
    QVector<Cell> cells_;
    QVector<bool> marked_;
    QVector<Qt::Alignment> alignment_;
    int colouredFrom_ = -1;
    QColor markedColour_;
    QColor unmarkedColour_;
};

class VoucherGrid : public QTableView {
    Q_OBJECT

  public:
    explicit VoucherGrid(QWidget* parent = nullptr);

    GridModel* grid() const { return model_; }

    // Rows as counted by the lists: the heading row 0 and the data rows after it.
    int rowCount() const { return model_->dataRows() + 1; }
    int columnCount() const { return model_->columnCount(); }
    // Row 0 gives the heading; a cell outside the grid gives empty text.
    QString text(int row, int column) const;
    // The background a cell is painted with (invalid when the panel colour shows through).
    QColor background(int row, int column) const;
    bool isMarked(int row) const { return row >= 1 && model_->isMarked(row - 1); }
    void setMarked(int row, bool marked);

    // The current cell, in the lists' counting of rows (-1: none).
    int currentRow() const { return currentIndex().isValid() ? currentIndex().row() + 1 : -1; }
    int currentColumn() const { return currentIndex().column(); }
    int alignment(int row, int column) const;
    // Where a data cell stands in the viewport, scrolled into view first (for a click).
    QRect cellRect(int row, int column);

    // Fills the grid with texts: headings and data rows (each as many texts as there are
    // headings).
    void setRows(const QStringList& headings, const QVector<QStringList>& rows);

  signals:
    // In the lists' counting of rows (the first data row is 1).
    void cellPressed(int row, int column);
    void cellDoubleClicked(int row, int column);

  private:
    GridModel* model_;
};

}  // namespace orvik::vouchers
