#pragma once

#include "grids/class_operations.h"
#include "grids/grid_view.h"

namespace quadrel {

// The class table: a row per class with its name and size. Selecting rows makes those classes the
// document's active classes; the menu renames, deletes and combines them.
class CClassGridView : public CGridView {
    Q_OBJECT
public:
    CClassGridView(CQuadrelDoc& doc, ActionRegistry& registry, QWidget* parent = nullptr);

    void refill();
    // Starts the in-place edit of the focus row's name.
    void rename();
    void deleteSelected();
    void combine(ClassOperation op);

    QStringList selectedNames() const;
    QString focusName() const;

protected:
    void documentUpdate(int hint) override;
    void selectionHook() override;
    std::vector<QString> contextMenuCommands() const override;
    bool menuFromKeyboard() const override { return false; }
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitColumns();
    void renameFinished(int row, int column, const QString& text);

    QString m_oldName;
};

} // namespace quadrel
