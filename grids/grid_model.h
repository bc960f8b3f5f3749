#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QVariant>
#include <vector>

namespace quadrel {

// A header cell of the top row or the left column.
struct GridHeader {
    bool present = false;
    QString text;
    qint64 lparam = 0;
    int extent = 0;
};

// A data cell: a value and how it is shown. A cell without a value does not exist.
struct GridCell {
    QVariant value;
    bool scientific = false;
    int places = -1; // scientific cells: significant digits, 6 when negative
    qint64 lparam = 0;
    bool exists() const { return value.isValid(); }
};

// What a result table holds: the data cells and the outer header row and column. The exports and the
// printer read this, so they work on exactly what the table shows.
struct GridTable {
    int rows = 0;
    int columns = 0;
    int topHeaderRows = 0;
    int leftHeaderColumns = 0;
    int leftHeaderWidth = 0;
    std::vector<GridHeader> columnHeaders;
    std::vector<GridHeader> rowHeaders;
    std::vector<GridCell> cells; // row-major

    void resize(int rowCount, int columnCount);
    GridCell& at(int row, int column) { return cells[static_cast<size_t>(row) * columns + column]; }
    const GridCell& at(int row, int column) const { return cells[static_cast<size_t>(row) * columns + column]; }
    // The text a cell shows.
    QString displayText(int row, int column) const;
    void setColumnHeader(int column, const QString& text, int extent, qint64 lparam);
    void setRowHeader(int row, const QString& text, int extent, qint64 lparam);
};

// The Qt model over a GridTable. Tables are filled by building a new GridTable and handing it over in
// one step; single edits (a rename) go through setCellValue.
class GridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit GridModel(QObject* parent = nullptr);

    const GridTable& table() const { return m_table; }
    void setTable(GridTable table);
    void setCellValue(int row, int column, const QVariant& value);
    // Columns whose cells can be edited in place (only when the owner starts the edit).
    void setEditableColumn(int column) { m_editableColumn = column; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

Q_SIGNALS:
    // The user finished editing a cell in place; the owner decides what the cell keeps.
    void cellEdited(int row, int column, const QString& text);

private:
    GridTable m_table;
    int m_editableColumn = -1;
};

} // namespace quadrel
