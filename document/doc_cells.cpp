// The cell and class commands: a class from the selection, splitting and merging cells.
#include "document/quadrel_doc.h"

#include "dialogs/query_rules.h"

#include <algorithm>

namespace quadrel {

void CQuadrelDoc::OnNewClass() {
    if (!m_selection || m_selection->empty()) return;
    m_selection->setName(kSelectionClass);
    AddClass(*m_selection);
}

void CQuadrelDoc::AddRuleClasses(const TQueryQueue& rule) {
    const std::vector<TCellIdList> lists = rule.evaluate(*m_cells, CalibrationScale());
    for (auto it = lists.rbegin(); it != lists.rend(); ++it) AddClass(*it);
    UpdateAllViews(nullptr, kHintRuleClasses);
}

void CQuadrelDoc::OnNewRuleClass() { m_ui->runClassSetup(*this); }

void CQuadrelDoc::OnSplitCell() {
    BusyScope busy(*m_ui, "Splitting cells");
    std::vector<uint32_t> background;
    TCellIdList before;
    for (const TCellBaseFeature& r : *m_cells) {
        before.add(r.label);
        if (!m_selection->contains(r.label)) background.push_back(r.label | 0xFF000000u);
    }
    BitmapPtr labels = GetImage(kSlotLabels);
    if (labels) {
        // The new label image is built aside and installed only when the relabelling worked.
        BitmapPtr split = labels->clone();
        if (!split) return;
        const LabelResult r = relabelWithBackground(*split, background);
        if (r.status != LabelStatus::Ok) {
            m_ui->showMessage(UiServices::MessageKind::Warning,
                              "The cells cannot be split: labels ran out. Nothing was changed.");
            return;
        }
        clearSelectionState();
        m_images[kSlotLabels] = split;
        m_histograms.erase(kSlotLabels);
        releaseDisplayCache();
        RecomputeCells();
    }
    TCellIdList created(kSplitCells);
    for (const TCellBaseFeature& r : *m_cells)
        if (!before.contains(r.label)) created.add(r.label);
    AddClass(created);
}

void CQuadrelDoc::OnMergeCell() {
    BusyScope busy(*m_ui, "Merging cells");
    BitmapPtr labels = GetImage(kSlotLabels);
    if (!labels || !m_selection || m_selection->empty()) return;
    std::vector<uint32_t> merged;
    for (const TCellId& id : m_selection->ids()) merged.push_back(id.label | 0xFF000000u);
    std::sort(merged.begin(), merged.end());
    const uint32_t target = merged.front();
    BitmapPtr out = labels->clone();
    if (!out) return;
    for (int y = 0; y < out->height(); ++y) {
        uint32_t* row = out->row32(y);
        for (int x = 0; x < out->width(); ++x)
            if (row[x] != 0 && row[x] != target && std::binary_search(merged.begin(), merged.end(), row[x]))
                row[x] = target;
    }
    clearSelectionState();
    m_images[kSlotLabels] = out;
    m_histograms.erase(kSlotLabels);
    releaseDisplayCache();
    m_classes = std::make_shared<ClassStore>();
    RecomputeCells();
    TCellIdList cell(kMergedCell);
    cell.add(target);
    AddClass(cell);
}

void CQuadrelDoc::OnFeaturesSetup() {
    UpdateAllViews(nullptr, kHintFeaturesSetup);
    m_ui->runFeaturesSetup(*this);
}

} // namespace quadrel
