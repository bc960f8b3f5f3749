#pragma once

#include "document/view_updates.h"
#include "shell/command_states.h"

#include <QTableView>
#include <memory>
#include <vector>

class QPrinter;

namespace quadrel {

class ActionRegistry;
class CQuadrelDoc;
class GridModel;
struct GridTable;

// The base of the three result tables: a table view over a GridModel that is a view of the document,
// with the commands every table offers (selection, CSV and spreadsheet export, printing) and the
// right-click menu. Derived tables fill the model from the document on their hints.
class CGridView : public QTableView, public CDocumentView {
    Q_OBJECT
public:
    CGridView(CQuadrelDoc& doc, ActionRegistry& registry, const char* gridName, const QString& title,
              QWidget* parent = nullptr);
    ~CGridView() override;

    CQuadrelDoc& document() const { return m_doc; }
    GridModel& model() const { return *m_model; }
    const GridTable& table() const;
    const char* gridName() const { return m_gridName; }

    void onUpdate(CQuadrelDoc& doc, int hint, CDocumentView* sender) override;

    // Selection commands.
    void selectAllCells();
    void clearCellSelection();
    void invertCellSelection();
    // Every selected row, in increasing order, over all selection areas.
    std::vector<int> selectedRows() const;
    GridSelectionState selectionState() const;

    // Exports and printing. The CSV file is chosen through the document's UI services.
    void exportToCsv();
    void exportToExcel();
    void print();
    void printPreview();
    void printSetup();
    // Prints to a printer that is already set up (a PDF file, for instance).
    bool printTo(QPrinter& printer);
    // The print settings are shared by all tables, as one printer set-up serves the whole program.
    void setPrinter(std::shared_ptr<QPrinter> printer) { m_printer = std::move(printer); }

Q_SIGNALS:
    // The selection or the content changed: command states may change.
    void stateChanged();

protected:
    // What the table does with a hint from another view.
    virtual void documentUpdate(int hint) = 0;
    // Runs after every selection change made by the user (not by a refill or by the document).
    virtual void selectionHook() {}
    // The names of the right-click menu's commands; empty strings are separators.
    virtual std::vector<QString> contextMenuCommands() const = 0;
    // Whether the context-menu key opens the menu (at the last selected row).
    virtual bool menuFromKeyboard() const { return true; }

    void setTable(GridTable table);
    void showContextMenu(const QPoint& globalPos);
    // Runs a change of the grid's own selection without handing it to the document.
    template <class F> void quietly(F&& f) {
        const bool was = m_quiet;
        m_quiet = true;
        f();
        m_quiet = was;
    }

    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

    ActionRegistry& m_registry;

private:
    void bindCommand(const char* command, void (CGridView::*slot)());
    QPrinter& printer();

    CQuadrelDoc& m_doc;
    const char* m_gridName;
    QString m_title;
    GridModel* m_model;
    std::shared_ptr<QPrinter> m_printer;
    bool m_quiet = false;
};

} // namespace quadrel
