#include "VoucherGrid.h"

#include <QHeaderView>

namespace orvik::vouchers {

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {}

void GridModel::reset(const QStringList& headings, QVector<Row> rows, QVector<Cell> cells) {
    beginResetModel();
    headings_ = headings;
    rows_ = std::move(rows);
    cells_ = std::move(cells);
    marked_ = QVector<bool>(rows_.size(), false);
    alignment_ = QVector<Qt::Alignment>(headings_.size());
    endResetModel();
}

void GridModel::setColouredFrom(int column, const QColor& marked, const QColor& unmarked) {
    colouredFrom_ = column;
    markedColour_ = marked;
    unmarkedColour_ = unmarked;
    if (!rows_.isEmpty())
        emit dataChanged(index(0, 0), index(int(rows_.size()) - 1, columnCount() - 1),
                         {Qt::BackgroundRole});
}

void GridModel::setAlignment(int column, Qt::Alignment alignment) {
    if (column >= alignment_.size())
        alignment_.resize(column + 1);
    alignment_[column] = alignment;
}

QString GridModel::text(int dataRow, int column) const {
    if (dataRow < 0 || dataRow >= rows_.size() || column < 0 || column >= headings_.size())
        return {};
    if (column == 0 && colouredFrom_ >= 0)
        return marked_.at(dataRow) ? QStringLiteral("*") : QString();  // the mark column
    const Row& row = rows_.at(dataRow);
    if (column < cells_.size() && cells_.at(column))
        return cells_.at(column)(row);
    return column < row.size() ? row.at(column).toString() : QString();
}

bool GridModel::isMarked(int dataRow) const {
    return dataRow >= 0 && dataRow < marked_.size() && marked_.at(dataRow);
}

void GridModel::setMarked(int dataRow, bool marked) {
    if (dataRow < 0 || dataRow >= marked_.size() || marked_.at(dataRow) == marked)
        return;
    marked_[dataRow] = marked;
    emit dataChanged(index(dataRow, 0), index(dataRow, columnCount() - 1),
                     {Qt::DisplayRole, Qt::BackgroundRole});
}

void GridModel::clearMarks() {
    if (std::none_of(marked_.begin(), marked_.end(), [](bool m) { return m; }))
        return;
    marked_.fill(false);
    emit dataChanged(index(0, 0), index(int(rows_.size()) - 1, columnCount() - 1),
                     {Qt::DisplayRole, Qt::BackgroundRole});
}

void GridModel::removeRowsWhere(int column, const QSet<QString>& values) {
    beginResetModel();
    QVector<Row> kept;
    QVector<bool> keptMarks;
    kept.reserve(rows_.size());
    keptMarks.reserve(rows_.size());
    for (qsizetype r = 0; r < rows_.size(); ++r) {
        if (values.contains(text(int(r), column)))
            continue;
        kept << rows_.at(r);
        keptMarks << marked_.at(r);
    }
    rows_ = std::move(kept);
    marked_ = std::move(keptMarks);
    endResetModel();
}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(headings_.size());
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    const int row = index.row();
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
            return text(row, column);
        case Qt::BackgroundRole:
            if (colouredFrom_ >= 0 && column >= colouredFrom_)
                return marked_.at(row) ? markedColour_ : unmarkedColour_;
            return {};
        case Qt::TextAlignmentRole:
            if (column < alignment_.size() && alignment_.at(column))
                return QVariant::fromValue(alignment_.at(column));
            return {};
        default:
            return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < headings_.size())
        return headings_.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

// ---------------------------------------------------------------------------------------------

VoucherGrid::VoucherGrid(QWidget* parent) : QTableView(parent), model_(new GridModel(this)) {
    setModel(model_);
    // Rows are counted from the heading row, so a data row's place in the view is one less.
    setProperty("orvikRowOffset", 1);
    connect(this, &QAbstractItemView::pressed, this, [this](const QModelIndex& index) {
        emit cellPressed(index.row() + 1, index.column());
    });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        emit cellDoubleClicked(index.row() + 1, index.column());
    });
}

QString VoucherGrid::text(int row, int column) const {
    if (row == 0)
        return column >= 0 && column < model_->headings().size() ? model_->headings().at(column)
                                                                 : QString();
    return model_->text(row - 1, column);
}

QColor VoucherGrid::background(int row, int column) const {
    if (row < 1)
        return {};
    return model_->data(model_->index(row - 1, column), Qt::BackgroundRole).value<QColor>();
}

int VoucherGrid::alignment(int row, int column) const {
    if (row < 1)
        return 0;
    return model_->data(model_->index(row - 1, column), Qt::TextAlignmentRole).toInt();
}

QRect VoucherGrid::cellRect(int row, int column) {
    const QModelIndex index = model_->index(row - 1, column);
    if (!index.isValid())
        return {};
    scrollTo(index);
    return visualRect(index);
}

void VoucherGrid::setMarked(int row, bool marked) {
    model_->setMarked(row - 1, marked);
}

void VoucherGrid::setRows(const QStringList& headings, const QVector<QStringList>& rows) {
    QVector<GridModel::Row> values;
    values.reserve(rows.size());
    for (const QStringList& texts : rows) {
        GridModel::Row row;
        row.reserve(texts.size());
        for (const QString& text : texts)
            row << text;
        values << std::move(row);
    }
    model_->reset(headings, std::move(values));
}

}  // namespace orvik::vouchers
