#pragma once

#include "core/cell_dictionary.h"
#include "core/cells.h"
#include "core/features.h"
#include "core/image.h"
#include "core/labelling.h"
#include "core/statistics.h"
#include "document/ui_services.h"
#include "document/view_updates.h"
#include "persistence/calibration.h"
#include "platform/bitmap.h"
#include "platform/region.h"

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace quadrel {

class CROI;

struct RangedInt {
    int32_t value = 0, minimum = 0, maximum = 0;
};
struct RangedByte {
    uint8_t value = 0, minimum = 0, maximum = 0;
};

// Display size against image size; the view reads it to draw.
struct CStretchingObject {
    int32_t displayWidth = 0, displayHeight = 0;
    int32_t imageWidth = 0, imageHeight = 0;
    double stretchX = 1.0, stretchY = 1.0;
    bool keepAspect = false;
};

struct PointI {
    int32_t x = 0, y = 0;
    friend auto operator<=>(const PointI&, const PointI&) = default;
};

// The contours of a set of cells as figures of polylines, for the view to stroke.
struct OutlinePath {
    enum class FillMode { Alternate, Winding };
    FillMode mode = FillMode::Alternate;
    std::vector<std::vector<PointI>> figures;
};

// A region of interest, or none.
struct CRegionObject {
    std::optional<Region> region;
};

using ClassStore = std::map<std::string, std::shared_ptr<TCellIdList>>;
using FeatureList = std::map<int32_t, TFeature>;

// The one document: an image and everything the analysis derives from it. Every analysis object is held
// through a shared pointer that views may keep; the document replaces members, it does not edit objects a
// view may still hold. Views learn of changes through update hints.
class CQuadrelDoc {
public:
    explicit CQuadrelDoc(UiServices* ui = nullptr);
    ~CQuadrelDoc();
    CQuadrelDoc(const CQuadrelDoc&) = delete;
    CQuadrelDoc& operator=(const CQuadrelDoc&) = delete;

    UiServices& ui() { return *m_ui; }
    void setUiServices(UiServices* ui);

    // Views.
    void addView(CDocumentView* view);
    void removeView(CDocumentView* view);
    void UpdateAllViews(CDocumentView* sender, int hint);

    // Image slots and histograms.
    BitmapPtr GetImage(int slot);
    void SetImage(int slot, BitmapPtr bitmap);
    void EraseImage(int slot);
    std::shared_ptr<const CHistogram> GetHistogram(int slot);
    bool hasImage(int slot) const { return m_images.count(slot) != 0; }

    // Cells, classes, selection.
    std::shared_ptr<const TCellDictionary> GetCells() const { return m_cells; }
    std::shared_ptr<const TSetOfCellBounds> GetCellBounds() const { return m_cellBounds; }
    std::shared_ptr<const ClassStore> GetClasses() const { return m_classes; }
    std::shared_ptr<const TCellIdList> GetSelection() const { return m_selection; }
    std::shared_ptr<const std::vector<std::string>> GetActiveClasses() const { return m_activeClasses; }
    std::shared_ptr<const std::set<PointI>> GetClickedPoints() const { return m_clickedPoints; }
    TCellId GetCurrentCell() const { return m_currentCell; }
    std::shared_ptr<const FeatureList> GetFeatures() const { return m_features; }
    std::shared_ptr<const FeatureValueTable> GetFeatureValues() const { return m_featureValues; }
    std::shared_ptr<const StatisticsTable> GetStatistics() const { return m_statistics; }
    std::shared_ptr<const OutlinePath> GetActiveOutline() const { return m_activeOutline; }
    std::shared_ptr<const OutlinePath> GetSelectionOutline() const { return m_selectionOutline; }

    void SetActiveClasses(std::vector<std::string> names);
    void SetSelection(const TCellIdList& list, CDocumentView* view);
    void SetClickedPoints(std::set<PointI> points);
    void SetCurrentCell(TCellId id, CDocumentView* view);
    bool CellAt(PointI p, TCellId& id);
    TCellIdList WorkingCells() const;
    void SetFeatures(const FeatureList& features);
    void ComputeFeatureValues();
    void ComputeStatistics();
    // The scales feature values are computed with: the document's calibration in its measure unit.
    FeatureScale CalibrationScale() const;

    // Class store.
    std::shared_ptr<TCellIdList> FindClass(const std::string& name) const;
    bool ClassExists(const std::string& name) const;
    void AddClass(const TCellIdList& list);
    void ReplaceClass(std::shared_ptr<TCellIdList> list, CDocumentView* sender);
    bool RenameClass(const std::string& oldName, const std::string& newName);
    void DeleteClass(const std::string& name);

    // Analysis commands.
    void OnAutomaticThreshold();
    void OnManualThreshold();
    // Thresholds the grey levels lo to hi (the objects) and labels the result; false changes nothing.
    bool ManualThreshold(int lo, int hi);
    void OnFillHoles();
    void OnRemoveBorderObject() { RecomputeCells(); }
    void OnRemoveSmallObject() { RecomputeCells(); }
    void OnGetObjectFeatures() { RecomputeCells(); }
    void OnGaussianFilter();
    void OnFitToWindow();
    bool fitToWindow() const { return m_fitToWindow; }
    void RecomputeCells();
    // Installs a new label image in slot 8 (the selection and current cell refer to the old labels and
    // are emptied), then measures it.
    void InstallLabelImage(BitmapPtr labels);

    // Cell and class commands.
    // Evaluates a class rule on the cells with the document's calibration and adds every class it makes,
    // last first; then hint 5.
    void AddRuleClasses(const class TQueryQueue& rule);
    void OnNewClass();
    // "New...": the class setup dialog edits a rule; on OK the program adds the rule's classes
    // (AddRuleClasses).
    void OnNewRuleClass();
    void OnSplitCell();
    void OnMergeCell();
    void OnFeaturesSetup();

    // Region of interest.
    std::shared_ptr<const CRegionObject> GetROIRegion() const { return m_roiRegion; }
    std::shared_ptr<const CRegionObject> GetOutsideRegion() const { return m_outsideRegion; }
    std::shared_ptr<const CROI> GetROITemplate() const { return m_roiTemplate; }
    void SetROITemplate(std::shared_ptr<CROI> roi) { m_roiTemplate = std::move(roi); }
    void SetROIRegion(std::shared_ptr<CRegionObject> region);
    void ApplyROITemplate();
    void SetDefaultROI();
    // Loads a region template file and applies it; false (with the reason) leaves everything as it was.
    bool LoadROI(const std::string& path, std::string& error);
    void OnLoadROI();
    static void PartitionCells(const Bitmap& labels, const Region& region, TCellIdList& inside,
                               TCellIdList& outside);

    // Properties and calibration.
    int32_t m_unitType = 0;
    int32_t m_objectType = 0;
    std::shared_ptr<bool> m_removeBorder;
    std::shared_ptr<int32_t> m_borderSize;
    std::shared_ptr<double> m_minObjectSize;
    std::shared_ptr<double> m_roiMagnification;
    std::shared_ptr<RangedInt> m_gaussianSize;
    std::shared_ptr<RangedByte> m_previewOpacity;
    std::shared_ptr<TCalibration> m_calibrationX;
    std::shared_ptr<TCalibration> m_calibrationY;
    double unitFactor() const { return m_unitType == 1 ? 25.4 : 1.0; }
    void ReadProperties();
    void WriteProperties() const;
    void OnPropertyChanged(int id);

    // Display.
    const CStretchingObject& stretch() const { return m_stretch; }
    // The view keeps its composite here; the document drops it whenever what it shows changes.
    std::shared_ptr<void> m_displayCache;
    void releaseDisplayCache() { m_displayCache.reset(); }

    // Open and save. Opening decodes first and changes nothing when the file gives no usable image;
    // `error` then says why.
    bool OnOpenDocument(const std::string& path, std::string& error);
    // Installs a picture that is already decoded, as opening an image file does.
    bool OpenPicture(BitmapPtr picture, const std::string& name, std::string& error);
    // Writes the document to a .ddm file: to another path as a new document (image, mask, region and the
    // marker that makes it recognisable), to its own path by replacing the mask and region items.
    bool OnSaveDocument(const std::string& path, std::string& error);
    void OnFileSave();
    // Writes the source image, the label image or the region mask (255 inside the region) to a file
    // chosen by its extension; ".ddm" writes a new document holding it as its image.
    enum class ExportKind { Image, Labels, RegionMask };
    bool ExportImage(ExportKind kind, const std::string& path, std::string& error);
    void OnFileSaveAs();
    const std::string& GetPathName() const { return m_pathName; }
    void SetPathName(const std::string& path) { m_pathName = path; }

    // The private folder of this process's temporary files.
    static const std::string& temporaryFolder();

private:
    std::shared_ptr<OutlinePath> buildOutline(const TCellIdList& cells, OutlinePath::FillMode mode) const;
    std::shared_ptr<OutlinePath> buildOutline(const std::vector<std::string>& classNames) const;
    void addROIClasses();
    void clearSelectionState();
    // Installs a decoded file: the reset of everything derived from the old image, then the new one.
    void installOpened(BitmapPtr image, TCalibration cx, TCalibration cy, std::shared_ptr<CRegionObject> roi,
                       BitmapPtr labels);

    UiServices m_noUi;
    UiServices* m_ui;
    std::vector<CDocumentView*> m_views;

    std::map<int32_t, BitmapPtr> m_images;
    std::map<int32_t, std::shared_ptr<const CHistogram>> m_histograms;
    CStretchingObject m_stretch;
    bool m_fitToWindow = false;

    std::shared_ptr<TCellDictionary> m_cells;
    std::shared_ptr<TSetOfCellBounds> m_cellBounds;
    std::shared_ptr<ClassStore> m_classes;
    std::shared_ptr<TCellIdList> m_selection;
    std::shared_ptr<std::vector<std::string>> m_activeClasses;
    std::shared_ptr<std::set<PointI>> m_clickedPoints;
    TCellId m_currentCell;
    std::shared_ptr<FeatureList> m_features;
    std::shared_ptr<FeatureValueTable> m_featureValues;
    std::shared_ptr<StatisticsTable> m_statistics;
    std::shared_ptr<OutlinePath> m_activeOutline;
    std::shared_ptr<OutlinePath> m_selectionOutline;

    std::string m_pathName;
    std::shared_ptr<CROI> m_roiTemplate;
    std::shared_ptr<CRegionObject> m_roiRegion;
    std::shared_ptr<CRegionObject> m_outsideRegion;
};

// The feature list a new document shows.
FeatureList defaultFeatureList();

// Class names the program keeps itself.
inline const char* const kAllCells = "_all_cells_";
inline const char* const kInsideROI = "_inside_ROI_";
inline const char* const kOutsideROI = "_outside_ROI_";
inline const char* const kIntersectROI = "_intersect_ROI_";
inline const char* const kSelectionClass = "_selection_";
inline const char* const kSplitCells = "_split_cells_";
inline const char* const kMergedCell = "_merged_cell_";

} // namespace quadrel
