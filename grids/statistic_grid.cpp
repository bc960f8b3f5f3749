#include "grids/statistic_grid.h"

#include "core/statistics.h"
#include "document/quadrel_doc.h"
#include "grids/feature_grid.h"
#include "grids/grid_model.h"
#include "shell/action_registry.h"

#include <QHeaderView>

namespace quadrel {

CStatisticGridView::CStatisticGridView(CQuadrelDoc& doc, ActionRegistry& registry, QWidget* parent)
    : CGridView(doc, registry, kStatisticGrid, "Statistics", parent) {
    verticalHeader()->setMinimumWidth(60);
    rebuildColumns();
}

std::vector<QString> CStatisticGridView::contextMenuCommands() const {
    auto g = [](const char* c) { return gridCommand(kStatisticGrid, c); };
    return {cmd::NewClass,
            {},
            g(cmd::SelectAll),
            g(cmd::ClearSelection),
            g(cmd::InverseSelection),
            {},
            cmd::FeaturesSetup,
            {},
            cmd::MergeCell,
            cmd::SplitCell,
            {},
            g(cmd::Print),
            g(cmd::PrintPreview),
            g(cmd::PrintSetup),
            {},
            g(cmd::ExportExcel),
            g(cmd::ExportCsv)};
}

void CStatisticGridView::documentUpdate(int hint) {
    if (hint == kHintFeatureList)
        rebuildColumns();
    else if (hint == kHintStatistics)
        fillValues();
}

void CStatisticGridView::rebuildColumns() {
    fillValues();
}

void CStatisticGridView::fillValues() {
    CQuadrelDoc& doc = document();
    const auto features = doc.GetFeatures();
    const auto statistics = doc.GetStatistics();
    GridTable t;
    t.resize(kStatisticRowCount, static_cast<int>(features->size()));
    t.topHeaderRows = 1;
    t.leftHeaderColumns = 1;
    t.leftHeaderWidth = 60;
    for (int r = 0; r < kStatisticRowCount; ++r)
        t.setRowHeader(r, statisticRowLabels()[static_cast<size_t>(r)], 60, 0);
    int k = 0;
    for (const auto& [pos, feature] : *features) {
        t.setColumnHeader(k, featureDisplayName(feature.id()), 70, feature.id());
        auto it = statistics->find(feature);
        if (it != statistics->end())
            for (int r = 0; r < kStatisticRowCount; ++r) {
                GridCell& c = t.at(r, k);
                c.value = it->second.value(static_cast<StatisticRow>(r));
                c.scientific = true;
                c.places = r == 0 ? 6 : 3;
            }
        ++k;
    }
    setTable(std::move(t));
    resizeColumnsToContents();
}

} // namespace quadrel
