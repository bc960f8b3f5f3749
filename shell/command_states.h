#pragma once

namespace quadrel {

class ActionRegistry;
class CQuadrelDoc;

// What a grid's selection looks like, for the enabled state of its commands.
struct GridSelectionState {
    int rows = 0;
    int columns = 0;
    int areas = 0;        // selection areas (blocks of rows)
    int lastAreaRows = 0; // rows spanned by the last area
};

struct CommandStateInput {
    const CQuadrelDoc* doc = nullptr;
    GridSelectionState featureGrid;
    GridSelectionState classGrid;
    GridSelectionState statisticGrid;
    // The class setup, features setup and manual thresholding dialogs are not part of this program yet.
    bool dialogsAvailable = false;
};

// Sets the enabled and checked state of every command from the document and the grids. This is the one
// place that decides it; everything else only triggers the update.
void updateCommandStates(ActionRegistry& registry, const CommandStateInput& input);

} // namespace quadrel
