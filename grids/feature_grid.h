#pragma once

#include "grids/grid_view.h"

namespace quadrel {

// The table of measurements: a row per working cell, a column per feature of the document's list. It
// mirrors the document's selection and current cell and hands the user's row selection to the document.
class CFeatureGridView : public CGridView {
    Q_OBJECT
public:
    CFeatureGridView(CQuadrelDoc& doc, ActionRegistry& registry, QWidget* parent = nullptr);

    void rebuildColumns();
    void fillRows();

protected:
    void documentUpdate(int hint) override;
    void selectionHook() override;
    std::vector<QString> contextMenuCommands() const override;

private:
    void selectionFromDocument();
    void currentCellFromDocument();
    void columnOrderToDocument();
};

// The header text of a feature: its name, "Unknow" for an identifier without one.
QString featureDisplayName(int featureId);

} // namespace quadrel
