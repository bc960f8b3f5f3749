#include "grids/grid_model.h"

#include "grids/scientific_format.h"

namespace quadrel {

void GridTable::resize(int rowCount, int columnCount) {
    rows = rowCount;
    columns = columnCount;
    columnHeaders.assign(static_cast<size_t>(columnCount), GridHeader{});
    rowHeaders.assign(static_cast<size_t>(rowCount), GridHeader{});
    cells.assign(static_cast<size_t>(rowCount) * static_cast<size_t>(columnCount), GridCell{});
}

QString GridTable::displayText(int row, int column) const {
    const GridCell& c = at(row, column);
    if (!c.exists()) return {};
    if (c.scientific) return formatScientific(c.value, c.places);
    return c.value.toString();
}

void GridTable::setColumnHeader(int column, const QString& text, int extent, qint64 lparam) {
    columnHeaders[static_cast<size_t>(column)] = GridHeader{true, text, lparam, extent};
}

void GridTable::setRowHeader(int row, const QString& text, int extent, qint64 lparam) {
    rowHeaders[static_cast<size_t>(row)] = GridHeader{true, text, lparam, extent};
}

GridModel::GridModel(QObject* parent) : QAbstractTableModel(parent) {}

void GridModel::setTable(GridTable table) {
    beginResetModel();
    m_table = std::move(table);
    endResetModel();
}

void GridModel::setCellValue(int row, int column, const QVariant& value) {
    if (row < 0 || column < 0 || row >= m_table.rows || column >= m_table.columns) return;
    m_table.at(row, column).value = value;
    const QModelIndex i = index(row, column);
    Q_EMIT dataChanged(i, i);
}

int GridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_table.rows;
}

int GridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_table.columns;
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_table.rows || index.column() >= m_table.columns) return {};
    const GridCell& c = m_table.at(index.row(), index.column());
    switch (role) {
    case Qt::DisplayRole:
        return m_table.displayText(index.row(), index.column());
    case Qt::EditRole:
        return c.value;
    case Qt::TextAlignmentRole:
        if (c.value.typeId() == QMetaType::QString) return int(Qt::AlignLeft | Qt::AlignVCenter);
        return int(Qt::AlignRight | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= m_table.columns) return {};
        return m_table.columnHeaders[static_cast<size_t>(section)].text;
    }
    if (section < 0 || section >= m_table.rows) return {};
    return m_table.rowHeaders[static_cast<size_t>(section)].text;
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == m_editableColumn) f |= Qt::ItemIsEditable;
    return f;
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid()) return false;
    Q_EMIT cellEdited(index.row(), index.column(), value.toString());
    return true;
}

} // namespace quadrel
