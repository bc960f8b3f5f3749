#include "document/quadrel_doc.h"

#include "core/cleaning.h"
#include "core/filters.h"
#include "core/measurement.h"
#include "core/threshold.h"
#include "document/profile.h"
#include "roi/roi.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <unordered_map>

namespace quadrel {

namespace fs = std::filesystem;

FeatureList defaultFeatureList() {
    const int32_t ids[] = {2, 55, 56, 58, 57, 23, 13, 16, 17, 19, 12, 54};
    FeatureList list;
    for (int32_t i = 0; i < 12; ++i) list[i] = TFeature(ids[i]);
    return list;
}

CQuadrelDoc::CQuadrelDoc(UiServices* ui) : m_ui(ui ? ui : &m_noUi) {
    m_removeBorder = std::make_shared<bool>(false);
    m_borderSize = std::make_shared<int32_t>(1);
    m_minObjectSize = std::make_shared<double>(9.0);
    m_roiMagnification = std::make_shared<double>(1.0);
    m_gaussianSize = std::make_shared<RangedInt>(RangedInt{7, 3, 19});
    m_previewOpacity = std::make_shared<RangedByte>(RangedByte{8, 0, 10});
    m_calibrationX = std::make_shared<TCalibration>();
    m_calibrationY = std::make_shared<TCalibration>();
    m_cells = std::make_shared<TCellDictionary>();
    m_cellBounds = std::make_shared<TSetOfCellBounds>();
    m_classes = std::make_shared<ClassStore>();
    m_selection = std::make_shared<TCellIdList>("");
    m_activeClasses = std::make_shared<std::vector<std::string>>();
    m_clickedPoints = std::make_shared<std::set<PointI>>();
    m_features = std::make_shared<FeatureList>(defaultFeatureList());
    m_featureValues = std::make_shared<FeatureValueTable>();
    m_statistics = std::make_shared<StatisticsTable>();
    m_roiRegion = std::make_shared<CRegionObject>();
    m_outsideRegion = std::make_shared<CRegionObject>();
}

CQuadrelDoc::~CQuadrelDoc() = default;

void CQuadrelDoc::setUiServices(UiServices* ui) { m_ui = ui ? ui : &m_noUi; }

void CQuadrelDoc::addView(CDocumentView* view) {
    if (view && std::find(m_views.begin(), m_views.end(), view) == m_views.end()) m_views.push_back(view);
}

void CQuadrelDoc::removeView(CDocumentView* view) {
    m_views.erase(std::remove(m_views.begin(), m_views.end(), view), m_views.end());
}

void CQuadrelDoc::UpdateAllViews(CDocumentView* sender, int hint) {
    // A view may remove itself while being told; walk a copy.
    const std::vector<CDocumentView*> views = m_views;
    for (CDocumentView* v : views)
        if (v != sender && std::find(m_views.begin(), m_views.end(), v) != m_views.end()) v->onUpdate(*this, hint, sender);
}

// ---- image slots ----

BitmapPtr CQuadrelDoc::GetImage(int slot) {
    auto it = m_images.find(slot);
    if (it != m_images.end()) return it->second;
    if (slot == kSlotSource || slot == kSlotLabels || slot == kSlotThresholdPreview) return nullptr;
    auto src = m_images.find(kSlotSource);
    if (src == m_images.end() || !src->second) return nullptr;
    BitmapPtr derived = deriveChannel(*src->second, slot);
    if (derived) m_images[slot] = derived;
    return derived;
}

void CQuadrelDoc::SetImage(int slot, BitmapPtr bitmap) {
    if (slot == kSlotSource) {
        m_images.clear();
        m_histograms.clear();
        m_activeOutline.reset();
        m_selectionOutline.reset();
        m_stretch.displayWidth = m_stretch.displayHeight = 0;
        m_stretch.imageWidth = m_stretch.imageHeight = 0;
    }
    releaseDisplayCache();
    if (bitmap) {
        if (slot == kSlotLabels) clearSelectionState();
        m_images[slot] = bitmap;
        if (slot == kSlotSource) {
            const int w = bitmap->width(), h = bitmap->height();
            if (w != m_stretch.imageWidth || h != m_stretch.imageHeight) {
                m_stretch.imageWidth = w;
                m_stretch.imageHeight = h;
                m_stretch.displayWidth = static_cast<int32_t>(w * m_stretch.stretchX);
                m_stretch.displayHeight = static_cast<int32_t>(h * m_stretch.stretchY);
                if (m_stretch.keepAspect)
                    m_stretch.displayWidth = static_cast<int32_t>(m_stretch.displayHeight * static_cast<double>(w) / h);
                else
                    m_stretch.displayHeight = static_cast<int32_t>(m_stretch.displayWidth * static_cast<double>(h) / w);
            }
        }
    }
    UpdateAllViews(nullptr, kHintGeneral);
}

void CQuadrelDoc::EraseImage(int slot) {
    if (slot == kSlotLabels && m_images.count(slot)) clearSelectionState();
    m_images.erase(slot);
    m_histograms.erase(slot);
}

std::shared_ptr<const CHistogram> CQuadrelDoc::GetHistogram(int slot) {
    auto it = m_histograms.find(slot);
    if (it != m_histograms.end()) return it->second;
    BitmapPtr img = GetImage(slot);
    if (!img) return nullptr;
    std::shared_ptr<const CHistogram> h;
    if (m_roiRegion->region) {
        const RowSpans spans = m_roiRegion->region->rowSpans(Rect{0, 0, img->width(), img->height()});
        h = std::make_shared<const CHistogram>(computeHistogram(*img, &spans));
    } else {
        h = std::make_shared<const CHistogram>(computeHistogram(*img));
    }
    m_histograms[slot] = h;
    return h;
}

// ---- cells, selection, classes ----

void CQuadrelDoc::clearSelectionState() {
    // Identifiers name labels of one label image; after it is replaced they would name other cells.
    m_selection = std::make_shared<TCellIdList>("");
    m_selectionOutline.reset();
    m_currentCell = TCellId();
}

std::shared_ptr<OutlinePath> CQuadrelDoc::buildOutline(const TCellIdList& cells, OutlinePath::FillMode mode) const {
    auto path = std::make_shared<OutlinePath>();
    path->mode = mode;
    std::unordered_map<uint32_t, const TCellBounds*> byLabel;
    for (const TCellBounds& b : *m_cellBounds) byLabel.emplace(b.label, &b);
    for (const TCellId& id : cells.ids()) {
        auto it = byLabel.find(id.label);
        if (it == byLabel.end()) continue;
        for (const TChainCode& chain : it->second->chains) {
            std::vector<PointI> figure;
            figure.reserve(chain.steps.size() + 1);
            forEachChainPoint(chain, [&](int32_t x, int32_t y) { figure.push_back({x, y}); });
            path->figures.push_back(std::move(figure));
        }
    }
    return path;
}

std::shared_ptr<OutlinePath> CQuadrelDoc::buildOutline(const std::vector<std::string>& classNames) const {
    TCellIdList all;
    for (const std::string& name : classNames)
        if (auto c = FindClass(name))
            for (const TCellId& id : c->ids()) all.add(id);
    return buildOutline(all, OutlinePath::FillMode::Alternate);
}

void CQuadrelDoc::SetActiveClasses(std::vector<std::string> names) {
    m_activeClasses = std::make_shared<std::vector<std::string>>(std::move(names));
    m_activeOutline = buildOutline(*m_activeClasses);
    releaseDisplayCache();
    ComputeFeatureValues();
}

void CQuadrelDoc::SetSelection(const TCellIdList& list, CDocumentView* view) {
    // Every selection a view hands over is applied; the selection keeps the list's name.
    auto sel = std::make_shared<TCellIdList>(list);
    m_selectionOutline = buildOutline(*sel, OutlinePath::FillMode::Winding);
    m_selection = sel;
    releaseDisplayCache();
    UpdateAllViews(view, kHintSelection);
}

void CQuadrelDoc::SetClickedPoints(std::set<PointI> points) {
    m_clickedPoints = std::make_shared<std::set<PointI>>(std::move(points));
    UpdateAllViews(nullptr, kHintClickedPoints);
}

void CQuadrelDoc::SetCurrentCell(TCellId id, CDocumentView* view) {
    m_currentCell = id;
    UpdateAllViews(view, kHintCurrentCell);
}

bool CQuadrelDoc::CellAt(PointI p, TCellId& id) {
    BitmapPtr labels = GetImage(kSlotLabels);
    if (!labels) return false;
    uint32_t v = 0;
    if (labels->getPixel(p.x, p.y, v) != Status::Ok) {
        labels->takeLastStatus();
        return false;
    }
    if (v == 0 || !m_cells->find(v)) return false;
    id = TCellId(v, 0);
    return true;
}

TCellIdList CQuadrelDoc::WorkingCells() const {
    TCellIdList out;
    if (m_activeClasses->empty()) {
        for (const TCellBaseFeature& r : *m_cells) out.add(r.label);
        return out;
    }
    for (const std::string& name : *m_activeClasses) {
        auto c = FindClass(name);
        if (!c) continue;
        // A class may still name cells of an earlier measurement; those have no values to show.
        for (const TCellId& id : c->ids())
            if (m_cells->find(id.label)) out.add(TCellId(id.label, 0));
    }
    return out;
}

void CQuadrelDoc::SetFeatures(const FeatureList& features) {
    m_features = std::make_shared<FeatureList>(features);
    UpdateAllViews(nullptr, kHintFeatureList);
    ComputeFeatureValues();
}

FeatureScale CQuadrelDoc::CalibrationScale() const {
    return calibrationScale(m_calibrationX->pixelsPerUnit(1.0, 0.0), m_calibrationY->pixelsPerUnit(1.0, 0.0), 1.0);
}

void CQuadrelDoc::ComputeFeatureValues() {
    m_featureValues = std::make_shared<FeatureValueTable>();
    const TCellIdList working = WorkingCells();
    std::vector<const TCellBaseFeature*> cells;
    cells.reserve(working.size());
    for (const TCellId& id : working.ids())
        if (const TCellBaseFeature* r = m_cells->find(id.label)) cells.push_back(r);
    TSetOfFeatures features;
    for (const auto& [pos, f] : *m_features) features.add(f);
    m_featureValues = std::make_shared<FeatureValueTable>(computeFeatureValues(features, cells, CalibrationScale()));
    UpdateAllViews(nullptr, kHintFeatureValues);
    ComputeStatistics();
}

void CQuadrelDoc::ComputeStatistics() {
    m_statistics = std::make_shared<StatisticsTable>(computeStatistics(*m_featureValues));
    UpdateAllViews(nullptr, kHintStatistics);
}

std::shared_ptr<TCellIdList> CQuadrelDoc::FindClass(const std::string& name) const {
    auto it = m_classes->find(name);
    return it == m_classes->end() ? nullptr : it->second;
}

bool CQuadrelDoc::ClassExists(const std::string& name) const { return m_classes->count(name) != 0; }

void CQuadrelDoc::AddClass(const TCellIdList& list) {
    (*m_classes)[list.name()] = std::make_shared<TCellIdList>(list);
    UpdateAllViews(nullptr, kHintClasses);
}

void CQuadrelDoc::ReplaceClass(std::shared_ptr<TCellIdList> list, CDocumentView* sender) {
    if (!list) return;
    (*m_classes)[list->name()] = list;
    UpdateAllViews(sender, kHintClasses);
}

bool CQuadrelDoc::RenameClass(const std::string& oldName, const std::string& newName) {
    auto it = m_classes->find(oldName);
    if (it == m_classes->end() || m_classes->count(newName)) return false;
    std::shared_ptr<TCellIdList> list = it->second;
    m_classes->erase(it);
    list->setName(newName);
    (*m_classes)[newName] = list;
    // An active class keeps being worked on under its new name.
    bool renamed = false;
    auto active = std::make_shared<std::vector<std::string>>(*m_activeClasses);
    for (std::string& n : *active)
        if (n == oldName) {
            n = newName;
            renamed = true;
        }
    if (renamed) m_activeClasses = active;
    return true;
}

void CQuadrelDoc::DeleteClass(const std::string& name) { m_classes->erase(name); }

// ---- analysis commands ----

void CQuadrelDoc::InstallLabelImage(BitmapPtr labels) {
    EraseImage(kSlotLabels);
    SetImage(kSlotLabels, std::move(labels));
    RecomputeCells();
}

void CQuadrelDoc::OnAutomaticThreshold() {
    BitmapPtr grey = GetImage(kSlotGrey);
    if (!grey) return;
    std::shared_ptr<const CHistogram> hist = GetHistogram(kSlotGrey);
    const AutoThresholdResult r = automaticThreshold(grey, hist.get(), m_objectType == 1);
    if (!r.labels) {
        if (r.labelStatus == LabelStatus::TooManyLabels)
            m_ui->showMessage(UiServices::MessageKind::Warning,
                              "The thresholded image holds more objects than labels can number; nothing was changed.");
        return;
    }
    InstallLabelImage(r.labels);
    UpdateAllViews(nullptr, kHintGeneral);
}

bool CQuadrelDoc::ManualThreshold(int lo, int hi) {
    BitmapPtr grey = GetImage(kSlotGrey);
    if (!grey) return false;
    CThreshold t;
    t.source = grey;
    t.channel = kChannelGrey;
    t.operation = kOpSet;
    t.minimum = lo;
    t.maximum = hi;
    t.buildLookupTable();
    Status st = Status::Ok;
    BitmapPtr mask = Bitmap::create(grey->width(), grey->height(), PixelFormat::Argb32, &st);
    if (!mask || !t.apply(*mask)) return false;
    clearBorder(*mask, 0);
    if (labelMask(*mask).status != LabelStatus::Ok) return false;
    InstallLabelImage(mask);
    UpdateAllViews(nullptr, kHintGeneral);
    return true;
}

void CQuadrelDoc::OnManualThreshold() {
    if (!GetImage(kSlotSource)) return;
    m_ui->runManualThreshold(*this);
}

void CQuadrelDoc::OnFillHoles() {
    BusyScope busy(*m_ui, "Filling holes");
    BitmapPtr labels = GetImage(kSlotLabels);
    if (!labels) return;
    // The filled image is built aside: the label image is only replaced once it is complete.
    FillHolesResult r = fillHoles(*labels);
    if (!r.labels) {
        if (r.status == LabelStatus::TooManyLabels)
            m_ui->showMessage(UiServices::MessageKind::Warning,
                              "The filled image holds more objects than labels can number; nothing was changed.");
        return;
    }
    clearSelectionState();
    m_images[kSlotLabels] = r.labels;
    m_histograms.erase(kSlotLabels);
    releaseDisplayCache();
    RecomputeCells();
}

void CQuadrelDoc::OnGaussianFilter() {
    BitmapPtr src = GetImage(kSlotSource);
    if (!src) return;
    BusyScope busy(*m_ui, "Gaussian filter");
    Status st = Status::Ok;
    BitmapPtr filtered = gaussianFilter(*src, m_gaussianSize->value, &st);
    if (!filtered) return;
    m_images[kSlotSource] = filtered;
    // The channels and histograms of the unfiltered image would make the next threshold ignore the
    // filter: drop them.
    for (int slot = kSlotRed; slot <= kSlotSaturation; ++slot) m_images.erase(slot);
    m_histograms.clear();
    releaseDisplayCache();
    UpdateAllViews(nullptr, kHintGeneral);
}

void CQuadrelDoc::OnFitToWindow() {
    m_fitToWindow = !m_fitToWindow;
    releaseDisplayCache();
    UpdateAllViews(nullptr, kHintGeneral);
}

void CQuadrelDoc::RecomputeCells() {
    BusyScope busy(*m_ui, "Measuring cells");
    m_activeOutline.reset();
    m_selectionOutline.reset();
    m_cells = std::make_shared<TCellDictionary>();
    m_cellBounds = std::make_shared<TSetOfCellBounds>();
    BitmapPtr labels = GetImage(kSlotLabels);
    BitmapPtr source = GetImage(kSlotSource);
    if (!labels || !source) return;

    CleaningSettings settings;
    settings.removeBorder = *m_removeBorder;
    settings.borderSize = *m_borderSize;
    settings.minimumSize = *m_minObjectSize;
    MeasurementResult measured = measureCells(*labels, *source, settings);
    if (measured.status != MeasureStatus::Ok) {
        m_ui->showMessage(UiServices::MessageKind::Error,
                          std::string("The cells could not be measured: ") + measureStatusText(measured.status));
        return;
    }
    m_cells = std::make_shared<TCellDictionary>(std::move(measured.records));
    m_cellBounds = std::make_shared<TSetOfCellBounds>(std::move(measured.bounds));

    TCellIdList all(kAllCells);
    for (const TCellBaseFeature& r : *m_cells) all.add(r.label);
    AddClass(all);
    addROIClasses();
    m_activeOutline = buildOutline(*m_activeClasses);
    m_selectionOutline = buildOutline(*m_selection, OutlinePath::FillMode::Winding);
    ComputeFeatureValues();
}

// ---- region of interest ----

void CQuadrelDoc::PartitionCells(const Bitmap& labels, const Region& region, TCellIdList& inside,
                                 TCellIdList& outside) {
    const int w = labels.width(), h = labels.height();
    const RowSpans spans = region.rowSpans(Rect{0, 0, w, h});
    const std::vector<RowSpan>& runs = spans.spans();
    size_t next = 0;
    for (int y = 0; y < h; ++y) {
        const uint32_t* row = labels.row32(y);
        int x = 0;
        auto walk = [&](int from, int to, TCellIdList& list) {
            uint32_t last = 0;
            for (int i = from; i < to; ++i) {
                const uint32_t v = row[i];
                if (v == 0 || v == last) continue;
                last = v;
                list.add(TCellId(v, 0));
            }
        };
        while (next < runs.size() && runs[next].y < y) ++next;
        while (next < runs.size() && runs[next].y == y) {
            const int x0 = std::clamp(runs[next].x0, 0, w), x1 = std::clamp(runs[next].x1, 0, w);
            walk(x, x0, outside);
            walk(x0, x1, inside);
            x = std::max(x, x1);
            ++next;
        }
        walk(x, w, outside);
    }
}

void CQuadrelDoc::addROIClasses() {
    BitmapPtr labels = GetImage(kSlotLabels);
    if (!labels) return;
    TCellIdList in, out;
    if (m_roiRegion->region) PartitionCells(*labels, *m_roiRegion->region, in, out);
    // Keep dictionary order, and only cells that were measured.
    TCellIdList inside(kInsideROI), outside(kOutsideROI), intersect(kIntersectROI);
    for (const TCellBaseFeature& r : *m_cells) {
        const bool i = in.contains(r.label), o = out.contains(r.label);
        if (i && o) intersect.add(r.label);
        else if (i) inside.add(r.label);
        else if (o) outside.add(r.label);
    }
    AddClass(intersect);
    AddClass(inside);
    AddClass(outside);
}

void CQuadrelDoc::SetROIRegion(std::shared_ptr<CRegionObject> region) {
    if (!region) region = std::make_shared<CRegionObject>();
    m_roiRegion = region;
    auto outside = std::make_shared<CRegionObject>();
    if (BitmapPtr src = GetImage(kSlotSource); src && region->region) {
        Region o(Rect{0, 0, src->width(), src->height()});
        if (o.combine(*region->region, CombineMode::Exclude) == Status::Ok) outside->region = std::move(o);
    }
    m_outsideRegion = outside;
    // Histograms count only pixels inside the region: the cached ones belong to the old region.
    m_histograms.clear();
    releaseDisplayCache();
    if (!GetImage(kSlotLabels)) return;
    addROIClasses();
    SetActiveClasses({kInsideROI});
}

void CQuadrelDoc::SetDefaultROI() {
    BitmapPtr src = GetImage(kSlotSource);
    if (!src) return;
    auto r = std::make_shared<CRegionObject>();
    r->region = Region(Rect{1, 1, src->width() - 2, src->height() - 2});
    m_roiRegion = r;
    auto outside = std::make_shared<CRegionObject>();
    Region o(Rect{0, 0, src->width(), src->height()});
    if (o.combine(*r->region, CombineMode::Exclude) == Status::Ok) outside->region = std::move(o);
    m_outsideRegion = outside;
    m_histograms.clear();
}

void CQuadrelDoc::ApplyROITemplate() {
    BitmapPtr src = GetImage(kSlotSource);
    if (!src || !m_roiTemplate) return;
    std::shared_ptr<CRegionObject> r = m_roiTemplate->BuildRegion(*m_calibrationX, *m_calibrationY, *m_roiMagnification);
    if (!r || !r->region) return;
    r->region->translate(static_cast<float>(src->width()) / 2.0f, static_cast<float>(src->height()) / 2.0f);
    SetROIRegion(r);
}

bool CQuadrelDoc::LoadROI(const std::string& path, std::string& error) {
    auto roi = std::make_shared<CROI>();
    if (!roi->Load(path, error)) return false;
    m_roiTemplate = roi;
    ApplyROITemplate();
    return true;
}

void CQuadrelDoc::OnLoadROI() {
    CProfile paths("Path");
    std::string dir = paths.getString("InitialDir", "");
    std::error_code ec;
    if (dir.empty() || !fs::is_directory(dir, ec)) {
        const char* home = std::getenv("HOME");
        dir = home ? home : ".";
    }
    const std::optional<std::string> file = m_ui->chooseOpenFile("Load ROI", "ROI Template Files (*.xml)", dir);
    if (!file) return;
    {
        BusyScope busy(*m_ui, "Loading the region template");
        std::string error;
        if (!LoadROI(*file, error)) m_ui->showMessage(UiServices::MessageKind::Error, error);
    }
    paths.writeString("InitialDir", fs::path(*file).parent_path().string());
}

// ---- properties ----

void CQuadrelDoc::ReadProperties() {
    CProfile p("Properties");
    m_unitType = p.getInt("UnitType", m_unitType);
    m_objectType = p.getInt("ObjectType", m_objectType);
    *m_removeBorder = p.getInt("ThrowBorderObject", *m_removeBorder ? 1 : 0) != 0;
    *m_borderSize = p.getInt("BorderSize", *m_borderSize);
    *m_minObjectSize = p.getDouble("ObjectSize", *m_minObjectSize);
    *m_roiMagnification = p.getDouble("Magnification", *m_roiMagnification);
    // The filter size has a range; a value outside it from an edited settings file is brought back in.
    m_gaussianSize->value =
        std::clamp(p.getInt("GaussianSize", m_gaussianSize->value), m_gaussianSize->minimum, m_gaussianSize->maximum);
    m_calibrationX->unitFactor = m_calibrationY->unitFactor = unitFactor();
}

void CQuadrelDoc::WriteProperties() const {
    CProfile p("Properties");
    p.writeInt("UnitType", m_unitType);
    p.writeInt("ObjectType", m_objectType);
    p.writeInt("ThrowBorderObject", *m_removeBorder ? 1 : 0);
    p.writeInt("BorderSize", *m_borderSize);
    p.writeDouble("ObjectSize", *m_minObjectSize);
    p.writeDouble("Magnification", *m_roiMagnification);
    p.writeInt("GaussianSize", m_gaussianSize->value);
}

void CQuadrelDoc::OnPropertyChanged(int id) {
    if (id == 14 || id == 15) {
        ApplyROITemplate();
        ComputeFeatureValues();
    } else if (id == 16) {
        const double factor = unitFactor();
        if (m_calibrationX->unitFactor == factor) return;
        m_calibrationX->unitFactor = factor;
        m_calibrationY->unitFactor = factor;
        ApplyROITemplate();
        ComputeFeatureValues();
        UpdateAllViews(nullptr, kHintUnitChanged);
    }
}

const std::string& CQuadrelDoc::temporaryFolder() {
    // One private folder per process: fixed file names in a shared folder invite symlink attacks.
    struct Folder {
        std::string path;
        Folder() {
            std::error_code ec;
            std::string base = fs::temp_directory_path(ec).string();
            if (ec || base.empty()) base = "/tmp";
            std::string templ = base + "/quadrel-XXXXXX";
            if (mkdtemp(templ.data())) path = templ;
        }
        ~Folder() {
            std::error_code ec;
            if (!path.empty()) fs::remove_all(path, ec);
        }
    };
    static Folder folder;
    return folder.path;
}

} // namespace quadrel
