#include "shell/command_states.h"

#include "core/image.h"
#include "document/quadrel_doc.h"
#include "shell/action_registry.h"

#include <QAction>

namespace quadrel {

namespace {

void enable(ActionRegistry& r, const QString& name, bool on) {
    r.action(name)->setEnabled(on);
}

void gridSelectionRules(ActionRegistry& r, const char* grid, const GridSelectionState& s, bool servesSelection) {
    const bool hasSelection = s.areas > 0;
    enable(r, gridCommand(grid, cmd::SelectAll), servesSelection && (s.rows > 0 || s.columns > 0));
    enable(r, gridCommand(grid, cmd::ClearSelection), servesSelection && hasSelection);
    enable(r, gridCommand(grid, cmd::InverseSelection), servesSelection && hasSelection);
    for (const char* c : {cmd::Print, cmd::PrintPreview, cmd::PrintSetup, cmd::ExportCsv})
        enable(r, gridCommand(grid, c), true);
    // The workbook is only made from a table that has columns.
    enable(r, gridCommand(grid, cmd::ExportExcel), s.columns > 0);
}

} // namespace

void updateCommandStates(ActionRegistry& r, const CommandStateInput& in) {
    const bool hasImage = in.doc && in.doc->hasImage(kSlotSource);

    for (const char* c : {cmd::FileOpen, cmd::FileSave, cmd::FileSaveAs, cmd::LoadROI, cmd::AppExit,
                          cmd::AutomaticThreshold, cmd::FillHoles, cmd::RemoveBorder, cmd::RemoveSmall,
                          cmd::GaussianFilter, cmd::GetObjectFeatures, cmd::NewClass, cmd::SplitCell, cmd::MergeCell,
                          cmd::FavoritesFolder, cmd::AppAbout, cmd::VisitShowroom, cmd::VisitShop,
                          cmd::ManualThreshold, cmd::NewRuleClass, cmd::FeaturesSetup})
        enable(r, c, true);

    QAction* fit = r.action(cmd::FitToWindow);
    fit->setEnabled(hasImage);
    fit->setChecked(in.doc && in.doc->fitToWindow());

    gridSelectionRules(r, kFeatureGrid, in.featureGrid, true);
    gridSelectionRules(r, kStatisticGrid, in.statisticGrid, false);
    gridSelectionRules(r, kClassGrid, in.classGrid, true);
    enable(r, gridCommand(kClassGrid, cmd::SelectAll), in.classGrid.rows > 0);

    const GridSelectionState& c = in.classGrid;
    enable(r, gridCommand(kClassGrid, cmd::Rename), c.areas > 0 && c.lastAreaRows == 1);
    enable(r, gridCommand(kClassGrid, cmd::Delete), c.areas > 0);
    for (const char* op : {cmd::Union, cmd::Intersect, cmd::Complement, cmd::Difference, cmd::Xor})
        enable(r, gridCommand(kClassGrid, op), c.areas > 0 && c.lastAreaRows > 1);
}

} // namespace quadrel
