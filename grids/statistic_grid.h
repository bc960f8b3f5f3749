#pragma once

#include "grids/grid_view.h"

namespace quadrel {

// The statistics of every feature over the working cells: a column per feature, a row per statistic.
class CStatisticGridView : public CGridView {
    Q_OBJECT
public:
    CStatisticGridView(CQuadrelDoc& doc, ActionRegistry& registry, QWidget* parent = nullptr);

    void rebuildColumns();
    void fillValues();

protected:
    void documentUpdate(int hint) override;
    std::vector<QString> contextMenuCommands() const override;
};

} // namespace quadrel
