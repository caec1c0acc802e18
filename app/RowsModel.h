#pragma once

// The model of every list window (master data, statements): the rows as read from the store,
// and for each column its heading and how its text is made from a row. A cell's text is made
// when the view asks for it, so a list of a hundred thousand rows is shown as fast as it is
// read; sorting by a column sorts by the column's value (numbers as numbers, dates as dates).

#include <QAbstractTableModel>
#include <QColor>
#include <QVariant>
#include <QVector>
#include <functional>

namespace orvik::app {

class RowsModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    using Row = QVector<QVariant>;

    struct Column {
        QString heading;
        // The text shown; without one, the row's value at `field` as text.
        std::function<QString(const Row&)> text;
        int field = -1;
        Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
        // What the column sorts by; without one, the row's value at `field`, else the text.
        std::function<QVariant(const Row&)> sortKey;
    };

    // Columns made the usual ways: plain text, a whole amount "##,##0" (right-aligned, sorted
    // as a number), a date as 民國 "ee/mm/dd" (sorted as a date), a yes/no as the given words.
    static Column text(const QString& heading, int field);
    static Column amount(const QString& heading, int field);
    static Column rocDate(const QString& heading, int field);
    static Column yesNo(const QString& heading, int field, const QString& yes, const QString& no);

    explicit RowsModel(QObject* parent = nullptr);

    void setColumns(QVector<Column> columns);
    void setRows(QVector<Row> rows);
    // Paints whole rows (overdue instalments, a void voucher); invalid colour: none.
    void setRowBackground(std::function<QColor(const Row&)> background);
    void setRowForeground(std::function<QColor(const Row&)> foreground);

    const QVector<Row>& rows() const { return rows_; }
    const Row& row(int r) const { return rows_.at(r); }
    QString text(int r, int column) const;
    const Column& column(int c) const { return columns_.at(c); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

  private:
    QVariant sortKey(const Row& row, int column) const;

    QVector<Column> columns_;
    QVector<Row> rows_;
    std::function<QColor(const Row&)> background_;
    std::function<QColor(const Row&)> foreground_;
};

// Compares two values as a list sorts them: numbers as numbers, dates and texts as text
// (ISO dates sort in date order); null first.
bool lessForSort(const QVariant& a, const QVariant& b);

}  // namespace orvik::app
