#include "grids/grid_view.h"

#include "document/profile.h"
#include "document/quadrel_doc.h"
#include "grids/csv_export.h"
#include "grids/grid_model.h"
#include "grids/grid_printer.h"
#include "grids/xlsx_export.h"
#include "shell/action_registry.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QStandardPaths>
#include <QUrl>
#include <atomic>

namespace quadrel {

CGridView::CGridView(CQuadrelDoc& doc, ActionRegistry& registry, const char* gridName, const QString& title,
                     QWidget* parent)
    : QTableView(parent), m_registry(registry), m_doc(doc), m_gridName(gridName), m_title(title),
      m_model(new GridModel(this)) {
    setObjectName(QString("%1Grid").arg(gridName));
    setModel(m_model);
    setShowGrid(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setWordWrap(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    horizontalHeader()->setHighlightSections(false);
    bindCommand(cmd::SelectAll, &CGridView::selectAllCells);
    bindCommand(cmd::ClearSelection, &CGridView::clearCellSelection);
    bindCommand(cmd::InverseSelection, &CGridView::invertCellSelection);
    bindCommand(cmd::ExportCsv, &CGridView::exportToCsv);
    bindCommand(cmd::ExportExcel, &CGridView::exportToExcel);
    bindCommand(cmd::Print, &CGridView::print);
    bindCommand(cmd::PrintPreview, &CGridView::printPreview);
    bindCommand(cmd::PrintSetup, &CGridView::printSetup);
    m_doc.addView(this);
}

CGridView::~CGridView() {
    m_doc.removeView(this);
}

void CGridView::bindCommand(const char* command, void (CGridView::*slot)()) {
    const QString name = gridCommand(m_gridName, command);
    if (!m_registry.contains(name)) return;
    connect(m_registry.action(name), &QAction::triggered, this, [this, slot] { (this->*slot)(); });
}

const GridTable& CGridView::table() const {
    return m_model->table();
}

void CGridView::onUpdate(CQuadrelDoc&, int hint, CDocumentView* sender) {
    if (sender == this) return;
    documentUpdate(hint);
}

void CGridView::setTable(GridTable t) {
    quietly([&] { m_model->setTable(std::move(t)); });
    Q_EMIT stateChanged();
}

void CGridView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    QTableView::selectionChanged(selected, deselected);
    if (!m_quiet) selectionHook();
    Q_EMIT stateChanged();
}

void CGridView::selectAllCells() {
    if (m_model->rowCount() == 0 || m_model->columnCount() == 0) return;
    selectAll();
}

void CGridView::clearCellSelection() {
    selectionModel()->clearSelection();
}

void CGridView::invertCellSelection() {
    if (m_model->rowCount() == 0 || m_model->columnCount() == 0) return;
    const QItemSelection old = selectionModel()->selection();
    QItemSelection inverted(m_model->index(0, 0), m_model->index(m_model->rowCount() - 1, m_model->columnCount() - 1));
    // Toggling the old areas out of the whole table leaves exactly what was not selected.
    for (const QItemSelectionRange& range : old)
        inverted.merge(QItemSelection(range.topLeft(), range.bottomRight()), QItemSelectionModel::Toggle);
    selectionModel()->select(inverted, QItemSelectionModel::ClearAndSelect);
}

std::vector<int> CGridView::selectedRows() const {
    std::vector<int> rows;
    const QItemSelection sel = selectionModel()->selection();
    std::vector<bool> seen(static_cast<size_t>(m_model->rowCount()), false);
    for (const QItemSelectionRange& range : sel)
        for (int r = range.top(); r <= range.bottom(); ++r)
            if (r >= 0 && r < static_cast<int>(seen.size())) seen[static_cast<size_t>(r)] = true;
    for (size_t r = 0; r < seen.size(); ++r)
        if (seen[r]) rows.push_back(static_cast<int>(r));
    return rows;
}

GridSelectionState CGridView::selectionState() const {
    GridSelectionState s;
    s.rows = m_model->rowCount();
    s.columns = m_model->columnCount();
    const QItemSelection sel = selectionModel()->selection();
    s.areas = static_cast<int>(sel.size());
    if (!sel.isEmpty()) s.lastAreaRows = sel.last().height();
    return s;
}

void CGridView::showContextMenu(const QPoint& globalPos) {
    QMenu menu(this);
    m_registry.fill(&menu, contextMenuCommands());
    menu.exec(globalPos);
}

void CGridView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::RightButton) {
        QTableView::mousePressEvent(event);
        return;
    }
    // A right click on a cell first makes it the focus and the selection, then opens the menu there.
    const QModelIndex index = indexAt(event->position().toPoint());
    if (!index.isValid()) return;
    setFocus(Qt::MouseFocusReason);
    const auto flags = QItemSelectionModel::ClearAndSelect |
                       (selectionBehavior() == SelectRows ? QItemSelectionModel::Rows : QItemSelectionModel::NoUpdate);
    selectionModel()->setCurrentIndex(index, flags);
    showContextMenu(event->globalPosition().toPoint());
}

void CGridView::contextMenuEvent(QContextMenuEvent* event) {
    if (event->reason() == QContextMenuEvent::Mouse) return; // the right button press opened it already
    if (!menuFromKeyboard()) return;
    const std::vector<int> rows = selectedRows();
    const int row = rows.empty() ? currentIndex().row() : rows.back();
    if (row < 0) return;
    const QRect cell = visualRect(m_model->index(row, 0));
    showContextMenu(viewport()->mapToGlobal(cell.bottomLeft()));
}

void CGridView::exportToCsv() {
    CProfile paths("Path");
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const std::string dir = paths.getString("ExportCSVDir", documents.toStdString());
    const std::optional<std::string> chosen = m_doc.ui().chooseSaveFile("Export As CSV", "CSV Files (*.csv)", dir);
    if (!chosen) return;
    QString path = QString::fromStdString(*chosen);
    if (QFileInfo(path).suffix().isEmpty()) path += ".csv";
    paths.writeString("ExportCSVDir", QFileInfo(path).absolutePath().toStdString());
    QString error;
    if (!writeCsvFile(table(), path, csvFormatFor(QLocale()), &error))
        m_doc.ui().showMessage(UiServices::MessageKind::Error,
                               QString("The table could not be written to %1: %2").arg(path, error).toStdString());
}

void CGridView::exportToExcel() {
    if (m_model->columnCount() == 0) return;
    static std::atomic<int> counter{0};
    const QString folder = QString::fromStdString(CQuadrelDoc::temporaryFolder());
    const QString path =
        QDir(folder.isEmpty() ? QDir::tempPath() : folder).filePath(QString("%1-%2.xlsx").arg(m_title).arg(++counter));
    std::string error;
    if (!writeXlsx(table(), path.toStdString(), error)) {
        m_doc.ui().showMessage(UiServices::MessageKind::Error, "The workbook could not be written: " + error);
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        m_doc.ui().showMessage(UiServices::MessageKind::Warning,
                               QString("The workbook %1 was written, but no spreadsheet application could open it.")
                                   .arg(path)
                                   .toStdString());
}

QPrinter& CGridView::printer() {
    if (!m_printer) m_printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    return *m_printer;
}

bool CGridView::printTo(QPrinter& p) {
    return printTable(table(), p, m_title);
}

void CGridView::print() {
    QPrintDialog dialog(&printer(), this);
    if (dialog.exec() != QDialog::Accepted) return;
    if (!printTo(printer()))
        m_doc.ui().showMessage(UiServices::MessageKind::Error,
                               "The table could not be printed: the printer did not start.");
}

void CGridView::printPreview() {
    QPrintPreviewDialog dialog(&printer(), this);
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* p) { printTo(*p); });
    dialog.exec();
}

void CGridView::printSetup() {
    QPageSetupDialog dialog(&printer(), this);
    dialog.exec();
}

} // namespace quadrel
