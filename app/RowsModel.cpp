#include "RowsModel.h"

#include <algorithm>
#include <cmath>

#include "Database.h"
#include "EraDate.h"

namespace orvik::app {

namespace {

bool isNumber(const QVariant& v) {
    switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Double:
        case QMetaType::Float:
        case QMetaType::Short:
        case QMetaType::UShort:
            return true;
        default:
            return false;
    }
}

}  // namespace

bool lessForSort(const QVariant& a, const QVariant& b) {
    const bool aNull = a.isNull() || !a.isValid();
    const bool bNull = b.isNull() || !b.isValid();
    if (aNull || bNull)
        return aNull && !bNull;
    if (isNumber(a) && isNumber(b))
        return a.toDouble() < b.toDouble();
    return QString::compare(a.toString(), b.toString(), Qt::CaseInsensitive) < 0;
}

RowsModel::Column RowsModel::text(const QString& heading, int field) {
    Column c;
    c.heading = heading;
    c.field = field;
    return c;
}

RowsModel::Column RowsModel::amount(const QString& heading, int field) {
    Column c;
    c.heading = heading;
    c.field = field;
    c.alignment = Qt::AlignRight | Qt::AlignVCenter;
    c.text = [field](const Row& row) {
        const QVariant v = row.value(field);
        if (v.isNull() || !v.isValid())
            return QString();
        return FormatAmount(std::llrint(v.toDouble()));
    };
    c.sortKey = [field](const Row& row) { return QVariant(row.value(field).toDouble()); };
    return c;
}

RowsModel::Column RowsModel::rocDate(const QString& heading, int field) {
    Column c;
    c.heading = heading;
    c.field = field;
    c.alignment = Qt::AlignCenter;
    c.text = [field](const Row& row) {
        return FormatEra(store::storedDate(row.value(field)), kEraShort);
    };
    return c;
}

RowsModel::Column RowsModel::yesNo(const QString& heading, int field, const QString& yes,
                                   const QString& no) {
    Column c;
    c.heading = heading;
    c.field = field;
    c.alignment = Qt::AlignCenter;
    c.text = [field, yes, no](const Row& row) {
        return store::storedBool(row.value(field)) ? yes : no;
    };
    return c;
}

RowsModel::RowsModel(QObject* parent) : QAbstractTableModel(parent) {}

void RowsModel::setColumns(QVector<Column> columns) {
    beginResetModel();
    columns_ = std::move(columns);
    endResetModel();
}

void RowsModel::setRows(QVector<Row> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

void RowsModel::setRowBackground(std::function<QColor(const Row&)> background) {
    background_ = std::move(background);
}

void RowsModel::setRowForeground(std::function<QColor(const Row&)> foreground) {
    foreground_ = std::move(foreground);
}

QString RowsModel::text(int r, int column) const {
    if (r < 0 || r >= rows_.size() || column < 0 || column >= columns_.size())
        return {};
    const Column& c = columns_.at(column);
    const Row& row = rows_.at(r);
    if (c.text)
        return c.text(row);
    return c.field >= 0 ? row.value(c.field).toString() : QString();
}

int RowsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int RowsModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant RowsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size() || index.column() >= columns_.size())
        return {};
    switch (role) {
        case Qt::DisplayRole:
            return text(index.row(), index.column());
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(columns_.at(index.column()).alignment);
        case Qt::BackgroundRole:
            if (background_) {
                const QColor colour = background_(rows_.at(index.row()));
                if (colour.isValid())
                    return colour;
            }
            return {};
        case Qt::ForegroundRole:
            if (foreground_) {
                const QColor colour = foreground_(rows_.at(index.row()));
                if (colour.isValid())
                    return colour;
            }
            return {};
        case Qt::UserRole:
            return sortKey(rows_.at(index.row()), index.column());
        default:
            return {};
    }
}

QVariant RowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < columns_.size())
        return columns_.at(section).heading;
    return QAbstractTableModel::headerData(section, orientation, role);
}

QVariant RowsModel::sortKey(const Row& row, int column) const {
    const Column& c = columns_.at(column);
    if (c.sortKey)
        return c.sortKey(row);
    if (c.field >= 0)
        return row.value(c.field);
    return c.text ? QVariant(c.text(row)) : QVariant();
}

void RowsModel::sort(int column, Qt::SortOrder order) {
    if (column < 0 || column >= columns_.size())
        return;
    emit layoutAboutToBeChanged();
    // Keys made once per row, not once per comparison.
    QVector<QPair<QVariant, int>> keys;
    keys.reserve(rows_.size());
    for (int r = 0; r < rows_.size(); ++r)
        keys.push_back({sortKey(rows_.at(r), column), r});
    std::stable_sort(keys.begin(), keys.end(), [order](const auto& a, const auto& b) {
        return order == Qt::AscendingOrder ? lessForSort(a.first, b.first)
                                           : lessForSort(b.first, a.first);
    });
    QVector<Row> sorted;
    sorted.reserve(rows_.size());
    for (const auto& k : keys)
        sorted.push_back(std::move(rows_[k.second]));
    rows_ = std::move(sorted);
    emit layoutChanged();
}

}  // namespace orvik::app
