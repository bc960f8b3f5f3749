#include "grids/feature_grid.h"

#include "document/quadrel_doc.h"
#include "grids/grid_model.h"
#include "shell/action_registry.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <unordered_map>

namespace quadrel {

QString featureDisplayName(int featureId) {
    const std::string& name = featureName(TFeature(featureId));
    return name.empty() ? QStringLiteral("Unknow") : QString::fromStdString(name);
}

CFeatureGridView::CFeatureGridView(CQuadrelDoc& doc, ActionRegistry& registry, QWidget* parent)
    : CGridView(doc, registry, kFeatureGrid, "Features", parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    verticalHeader()->setMinimumSectionSize(4);
    verticalHeader()->setFixedWidth(14);
    horizontalHeader()->setSectionsMovable(true);
    rebuildColumns();
}

std::vector<QString> CFeatureGridView::contextMenuCommands() const {
    auto g = [](const char* c) { return gridCommand(kFeatureGrid, c); };
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

void CFeatureGridView::documentUpdate(int hint) {
    switch (hint) {
    case kHintSelection:
        selectionFromDocument();
        break;
    case kHintFeatureValues:
        fillRows();
        break;
    case kHintFeatureList:
        rebuildColumns();
        break;
    case kHintFeaturesSetup:
        columnOrderToDocument();
        break;
    case kHintCurrentCell:
        currentCellFromDocument();
        break;
    default:
        break;
    }
}

void CFeatureGridView::rebuildColumns() {
    // Columns moved by the user are put back in model order: the model follows the document's list.
    QHeaderView* h = horizontalHeader();
    for (int logical = 0; logical < h->count(); ++logical)
        h->moveSection(h->visualIndex(logical), logical);
    fillRows();
}

void CFeatureGridView::fillRows() {
    CQuadrelDoc& doc = document();
    const auto features = doc.GetFeatures();
    const auto values = doc.GetFeatureValues();
    size_t rowCount = 0;
    for (const auto& [f, v] : *values)
        if (v) rowCount = std::max(rowCount, v->size());

    GridTable t;
    t.resize(static_cast<int>(rowCount), static_cast<int>(features->size()));
    t.topHeaderRows = 1;
    t.leftHeaderColumns = 1;
    t.leftHeaderWidth = 14;
    int k = 0;
    for (const auto& [pos, feature] : *features) {
        t.setColumnHeader(k, featureDisplayName(feature.id()), 70, feature.id());
        auto it = values->find(feature);
        if (it != values->end() && it->second) {
            const std::vector<double>& column = *it->second;
            for (size_t r = 0; r < column.size(); ++r) {
                GridCell& c = t.at(static_cast<int>(r), k);
                c.value = column[r];
                c.scientific = true;
                c.places = 3;
            }
        }
        ++k;
    }
    const TCellIdList working = doc.WorkingCells();
    for (size_t r = 0; r < working.size() && r < rowCount; ++r)
        t.setRowHeader(static_cast<int>(r), QString(), 4, working.ids()[r].label);
    setTable(std::move(t));
    resizeColumnsToContents();
    // The rows are new; the document's selection still holds, so show it again.
    selectionFromDocument();
}

void CFeatureGridView::selectionHook() {
    // Every selected row counts, whatever area it belongs to: after "Inverse Selection" or a selection of
    // several blocks the last area alone would be the wrong cells.
    TCellIdList list("");
    for (int row : selectedRows()) {
        const GridHeader& h = table().rowHeaders[static_cast<size_t>(row)];
        if (h.present) list.add(TCellId(static_cast<uint32_t>(h.lparam), 0));
    }
    document().SetSelection(list, this);
}

void CFeatureGridView::selectionFromDocument() {
    std::unordered_map<uint32_t, int> rowOfLabel;
    const GridTable& t = table();
    for (int r = 0; r < t.rows; ++r) {
        const GridHeader& h = t.rowHeaders[static_cast<size_t>(r)];
        if (h.present) rowOfLabel.emplace(static_cast<uint32_t>(h.lparam), r);
    }
    QItemSelection selection;
    for (const TCellId& id : document().GetSelection()->ids()) {
        auto it = rowOfLabel.find(id.label);
        if (it == rowOfLabel.end() || t.columns == 0) continue;
        selection.select(model().index(it->second, 0), model().index(it->second, t.columns - 1));
    }
    if (selection.isEmpty()) return;
    quietly([&] { selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect); });
}

void CFeatureGridView::currentCellFromDocument() {
    const uint32_t label = document().GetCurrentCell().label;
    const GridTable& t = table();
    for (int r = 0; r < t.rows; ++r) {
        const GridHeader& h = t.rowHeaders[static_cast<size_t>(r)];
        if (!h.present || static_cast<uint32_t>(h.lparam) != label) continue;
        quietly([&] { selectionModel()->setCurrentIndex(model().index(r, 0), QItemSelectionModel::NoUpdate); });
        scrollTo(model().index(r, 0));
    }
}

void CFeatureGridView::columnOrderToDocument() {
    // The features setup dialog starts from the order the user gave the columns.
    FeatureList order;
    const QHeaderView* h = horizontalHeader();
    const GridTable& t = table();
    int pos = 0;
    for (int visual = 0; visual < h->count(); ++visual) {
        const int logical = h->logicalIndex(visual);
        if (logical < 0 || logical >= t.columns) continue;
        const GridHeader& header = t.columnHeaders[static_cast<size_t>(logical)];
        if (header.present) order[pos++] = TFeature(static_cast<int32_t>(header.lparam));
    }
    document().SetFeatures(order);
}

} // namespace quadrel
