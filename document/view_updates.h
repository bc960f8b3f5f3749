#pragma once

namespace quadrel {

class CQuadrelDoc;

// What changed, as the document tells its views.
enum UpdateHint : int {
    kHintGeneral = 0,          // image replaced, display mode changed, image filtered, thresholding done
    kHintUnitChanged = 2,      // measure unit changed
    kHintSelection = 4,        // selection changed
    kHintRuleClasses = 5,      // classes created by the class rule dialog
    kHintStatistics = 7,       // statistics recomputed
    kHintFeatureValues = 8,    // feature values recomputed
    kHintClasses = 9,          // a class was added, replaced or changed
    kHintFeatureList = 10,     // feature list changed
    kHintFeaturesSetup = 11,   // the features setup dialog is about to open
    kHintClickedPoints = 12,   // clicked points changed
    kHintCurrentCell = 13,     // current cell changed
};

// A view of the document. Every registered view hears every hint, except the view that sent it.
class CDocumentView {
public:
    virtual ~CDocumentView() = default;
    virtual void onUpdate(CQuadrelDoc& doc, int hint, CDocumentView* sender) = 0;
};

} // namespace quadrel
