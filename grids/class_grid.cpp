#include "grids/class_grid.h"

#include "document/quadrel_doc.h"
#include "grids/grid_model.h"
#include "shell/action_registry.h"

#include <QAction>
#include <QHeaderView>

namespace quadrel {

CClassGridView::CClassGridView(CQuadrelDoc& doc, ActionRegistry& registry, QWidget* parent)
    : CGridView(doc, registry, kClassGrid, "Classes", parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    verticalHeader()->setMinimumSectionSize(3);
    verticalHeader()->setFixedWidth(3);
    // The name takes what the size leaves.
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setStretchLastSection(false);
    model().setEditableColumn(0);
    connect(&model(), &GridModel::cellEdited, this, &CClassGridView::renameFinished);
    auto bind = [&](const char* c, auto f) {
        connect(m_registry.action(gridCommand(kClassGrid, c)), &QAction::triggered, this, f);
    };
    bind(cmd::Rename, [this] { rename(); });
    bind(cmd::Delete, [this] { deleteSelected(); });
    bind(cmd::Union, [this] { combine(ClassOperation::Union); });
    bind(cmd::Intersect, [this] { combine(ClassOperation::Intersect); });
    bind(cmd::Complement, [this] { combine(ClassOperation::Complement); });
    bind(cmd::Difference, [this] { combine(ClassOperation::Difference); });
    bind(cmd::Xor, [this] { combine(ClassOperation::Xor); });
    refill();
}

std::vector<QString> CClassGridView::contextMenuCommands() const {
    auto g = [](const char* c) { return gridCommand(kClassGrid, c); };
    return {g(cmd::Rename),
            g(cmd::Delete),
            {},
            cmd::NewRuleClass,
            {},
            g(cmd::Union),
            g(cmd::Intersect),
            g(cmd::Complement),
            g(cmd::Difference),
            g(cmd::Xor),
            {},
            g(cmd::SelectAll),
            g(cmd::ClearSelection),
            g(cmd::InverseSelection)};
}

void CClassGridView::documentUpdate(int hint) {
    if (hint == kHintClasses) refill();
}

void CClassGridView::refill() {
    const auto classes = document().GetClasses();
    GridTable t;
    t.resize(static_cast<int>(classes->size()), 2);
    t.topHeaderRows = 1;
    t.leftHeaderColumns = 1;
    t.leftHeaderWidth = 3;
    t.setColumnHeader(0, "Name", 90, 0);
    t.setColumnHeader(1, "Size", 10, 0);
    int r = 0;
    for (const auto& [name, list] : *classes) {
        t.at(r, 0).value = QString::fromStdString(name);
        t.at(r, 1).value = static_cast<int>(list ? list->size() : 0);
        ++r;
    }
    setTable(std::move(t));
    resizeColumnToContents(1);
    fitColumns();
}

void CClassGridView::resizeEvent(QResizeEvent* event) {
    CGridView::resizeEvent(event);
    fitColumns();
}

void CClassGridView::fitColumns() {
    // The two columns fill the width: the size column keeps its content width, the name takes the rest.
    const int sizeWidth = std::max(columnWidth(1), horizontalHeader()->sectionSizeHint(1));
    setColumnWidth(0, std::max(40, viewport()->width() - sizeWidth));
}

QStringList CClassGridView::selectedNames() const {
    QStringList names;
    for (int row : selectedRows())
        names << table().at(row, 0).value.toString();
    return names;
}

QString CClassGridView::focusName() const {
    const int row = currentIndex().row();
    if (row < 0 || row >= table().rows) return {};
    return table().at(row, 0).value.toString();
}

void CClassGridView::selectionHook() {
    const QStringList names = selectedNames();
    // An empty selection leaves the active classes as they were.
    if (names.isEmpty()) return;
    std::vector<std::string> active;
    for (const QString& n : names)
        active.push_back(n.toStdString());
    document().SetActiveClasses(std::move(active));
}

void CClassGridView::rename() {
    const QModelIndex focus = currentIndex();
    if (!focus.isValid()) return;
    const QModelIndex nameCell = model().index(focus.row(), 0);
    m_oldName = table().at(focus.row(), 0).value.toString();
    edit(nameCell);
}

void CClassGridView::renameFinished(int row, int column, const QString& text) {
    if (column != 0 || row < 0 || row >= table().rows) return;
    const QString oldName = m_oldName.isEmpty() ? table().at(row, 0).value.toString() : m_oldName;
    m_oldName.clear();
    const QString newName = text.trimmed();
    if (newName.isEmpty() || newName == oldName) {
        model().setCellValue(row, 0, oldName);
        return;
    }
    if (document().RenameClass(oldName.toStdString(), newName.toStdString()))
        model().setCellValue(row, 0, newName);
    else
        model().setCellValue(row, 0, oldName);
}

void CClassGridView::deleteSelected() {
    const QStringList names = selectedNames();
    for (const QString& n : names)
        document().DeleteClass(n.toStdString());
    refill();
    document().SetActiveClasses({});
}

void CClassGridView::combine(ClassOperation op) {
    std::vector<std::shared_ptr<TCellIdList>> selected;
    for (const QString& n : selectedNames())
        selected.push_back(document().FindClass(n.toStdString()));
    const std::shared_ptr<TCellIdList> focus = document().FindClass(focusName().toStdString());
    std::unique_ptr<TCellIdList> result = combineClasses(op, selected, focus);
    if (result) document().AddClass(*result);
}

} // namespace quadrel
