// Opening files into the document.
#include "document/quadrel_doc.h"

#include "platform/image_file.h"

namespace quadrel {

namespace {

std::optional<double> resolutionOf(const Bitmap& b, bool horizontal) {
    if (!b.hasResolution()) return std::nullopt;
    return horizontal ? b.horizontalResolution() : b.verticalResolution();
}

} // namespace

void CQuadrelDoc::installOpened(BitmapPtr image, TCalibration cx, TCalibration cy, std::shared_ptr<CRegionObject> roi,
                                BitmapPtr labels) {
    m_cells = std::make_shared<TCellDictionary>();
    m_cellBounds = std::make_shared<TSetOfCellBounds>();
    m_clickedPoints = std::make_shared<std::set<PointI>>();
    m_classes = std::make_shared<ClassStore>();
    m_featureValues = std::make_shared<FeatureValueTable>();
    m_statistics = std::make_shared<StatisticsTable>();
    clearSelectionState();
    cx.unitFactor = cy.unitFactor = unitFactor();
    *m_calibrationX = cx;
    *m_calibrationY = cy;

    const int w = image->width(), h = image->height();
    if (!roi || !roi->region) {
        roi = std::make_shared<CRegionObject>();
        roi->region = Region(Rect{1, 1, w - 2, h - 2});
    }
    m_roiRegion = roi;
    auto outside = std::make_shared<CRegionObject>();
    Region o(Rect{0, 0, w, h});
    if (o.combine(*roi->region, CombineMode::Exclude) == Status::Ok) outside->region = std::move(o);
    m_outsideRegion = outside;

    SetImage(kSlotSource, image);
    // A stored label image is used only when it fits the image; otherwise the image is thresholded anew.
    if (labels && labels->width() == w && labels->height() == h && labels->pixelFormat() == PixelFormat::Argb32) {
        SetImage(kSlotLabels, labels);
        RecomputeCells();
    } else {
        OnAutomaticThreshold();
    }
}

bool CQuadrelDoc::OpenPicture(BitmapPtr image, const std::string& name, std::string& error) {
    if (!image) {
        error = "no picture";
        return false;
    }
    installOpened(image, calibrationFromResolution(resolutionOf(*image, true)),
                  calibrationFromResolution(resolutionOf(*image, false)), nullptr, nullptr);
    m_pathName = name;
    return true;
}

bool CQuadrelDoc::OnOpenDocument(const std::string& path, std::string& error) {
    BusyScope busy(*m_ui, "Opening " + path);
    std::string reason;
    BitmapPtr image = openImageFile(path, reason);
    if (!image) {
        error = reason;
        return false;
    }
    return OpenPicture(image, path, error);
}

} // namespace quadrel
