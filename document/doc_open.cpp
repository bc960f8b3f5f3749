// Opening files into the document.
#include "document/quadrel_doc.h"

#include "document/profile.h"
#include "persistence/ddm_layout.h"
#include "persistence/storage_document.h"
#include "platform/image_file.h"

#include <cstdlib>
#include <filesystem>

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
    // Reading a pipe or a device could block for ever: only regular files are opened.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = std::filesystem::exists(path, ec) ? "not a regular file" : "no such file";
        return false;
    }
    if (isDdmDocument(path)) {
        DdmContent content;
        if (readDdm(path, temporaryFolder(), content, error)) {
            auto roi = std::make_shared<CRegionObject>();
            roi->region = content.roi;
            installOpened(content.image, content.calibrationX, content.calibrationY, roi, content.labels);
            m_pathName = path;
            return true;
        }
        // A document without a usable image is tried as a picture, which a compound file is not.
    }
    std::string reason;
    BitmapPtr image = openImageFile(path, reason);
    if (!image) {
        error = reason;
        return false;
    }
    return OpenPicture(image, path, error);
}

bool CQuadrelDoc::OnSaveDocument(const std::string& path, std::string& error) {
    BusyScope busy(*m_ui, "Saving " + path);
    DdmSave save;
    BitmapPtr image = GetImage(kSlotSource);
    BitmapPtr labels = GetImage(kSlotLabels);
    save.image = image.get();
    save.labels = labels.get();
    save.roi = m_roiRegion->region ? &*m_roiRegion->region : nullptr;
    save.calibrationX = *m_calibrationX;
    save.calibrationY = *m_calibrationY;
    save.newDocument = path != m_pathName || !isDdmDocument(path);
    if (!save.labels) {
        error = "there is no label image to save: threshold the image first";
        return false;
    }
    return writeDdm(path, save, temporaryFolder(), error);
}

bool CQuadrelDoc::ExportImage(ExportKind kind, const std::string& path, std::string& error) {
    BitmapPtr source = GetImage(kSlotSource);
    BitmapPtr bitmap;
    switch (kind) {
    case ExportKind::Image: bitmap = source; break;
    case ExportKind::Labels: bitmap = GetImage(kSlotLabels); break;
    case ExportKind::RegionMask:
        if (source) {
            bitmap = createGrey8(source->width(), source->height());
            if (bitmap && m_roiRegion->region) {
                const RowSpans spans = m_roiRegion->region->rowSpans(Rect{0, 0, source->width(), source->height()});
                for (const RowSpan& s : spans.spans())
                    for (int x = s.x0; x < s.x1; ++x) bitmap->row(s.y)[x] = 255;
            }
        }
        break;
    }
    if (!bitmap) {
        error = kind == ExportKind::Labels ? "there is no label image" : "there is no image";
        return false;
    }
    std::string routeError;
    const bool ok = saveImage(*bitmap, path, [&](const Bitmap& b, const std::string& p) {
        return writeDdmImage(p, b, temporaryFolder(), routeError);
    });
    if (!ok) {
        if (!routeError.empty()) error = routeError;
        else if (!findEncoderForExtension(pathExtension(path)) && !std::filesystem::path(path).extension().empty())
            error = "no image format is known for the extension of " + path;
        else
            error = "cannot write " + path;
    }
    return ok;
}

void CQuadrelDoc::OnFileSave() {
    if (!m_pathName.empty() && TCompoundDocument::isCompoundFile(m_pathName)) {
        std::string error;
        if (!OnSaveDocument(m_pathName, error)) m_ui->showMessage(UiServices::MessageKind::Error, error);
        return;
    }
    OnFileSaveAs();
}

void CQuadrelDoc::OnFileSaveAs() {
    CProfile paths("Path");
    std::string dir = paths.getString("InitialDir", "");
    std::error_code ec;
    if (dir.empty() || !std::filesystem::is_directory(dir, ec)) {
        const char* home = std::getenv("HOME");
        dir = home ? home : ".";
    }
    std::optional<std::string> chosen = m_ui->chooseSaveFile("Save As", "Files (*.ddm)", dir);
    if (!chosen) return;
    std::string path = *chosen;
    if (std::filesystem::path(path).extension().empty()) path += ".ddm";
    std::string error;
    if (OnSaveDocument(path, error))
        m_pathName = path;
    else
        m_ui->showMessage(UiServices::MessageKind::Error, "The document could not be saved: " + error);
    paths.writeString("InitialDir", std::filesystem::path(path).parent_path().string());
}

} // namespace quadrel
