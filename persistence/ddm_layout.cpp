#include "persistence/ddm_layout.h"

#include "persistence/storage_document.h"
#include "persistence/tag_record.h"
#include "platform/codec_tiff.h"
#include "platform/image_file.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace quadrel {

namespace fs = std::filesystem;

namespace {

void removeFile(const std::string& path) {
    std::error_code ec;
    if (!fs::remove(path, ec) && fs::is_directory(path, ec)) fs::remove_all(path, ec);
}

std::optional<double> resolutionOf(const Bitmap& b, bool horizontal) {
    if (!b.hasResolution()) return std::nullopt;
    return horizontal ? b.horizontalResolution() : b.verticalResolution();
}

// A fresh temporary file name in the folder; the file itself is created by whoever writes it.
struct Scratch {
    std::string path;
    explicit Scratch(const std::string& folder) {
        std::string templ = folder + "/TFNXXXXXX";
        const int fd = mkstemp(templ.data());
        if (fd >= 0) {
            ::close(fd);
            path = templ;
        }
    }
    ~Scratch() {
        if (!path.empty()) removeFile(path);
    }
};

} // namespace

bool isDdmDocument(const std::string& path) {
    if (!TCompoundDocument::isCompoundFile(path)) return false;
    TCompoundDocument doc;
    if (!doc.open(kModeRead, path)) return false;
    return doc.exists(kItemForm2) || doc.exists(kItemForm2E);
}

bool readDdm(const std::string& path, const std::string& tempFolder, DdmContent& out, std::string& error) {
    out = DdmContent{};
    TCompoundDocument doc;
    if (!doc.open(kModeRead, path)) {
        error = doc.lastError();
        return false;
    }
    const std::string imageFile = tempFolder + "/_image_.tif";
    const std::string labelFile = tempFolder + "/_labelFile_.tif";

    removeFile(imageFile);
    if (doc.extractFile(kItemImage, imageFile) && fs::exists(imageFile)) {
        std::string reason;
        out.image = openImageFile(imageFile, reason);
        if (!out.image) out.notes += "the image item cannot be decoded: " + reason + "; ";
    } else {
        out.notes += "the document holds no image item; ";
    }
    removeFile(imageFile);
    if (!out.image) {
        error = "the document holds no image that can be decoded";
        return false;
    }

    const std::optional<double> dpiX = resolutionOf(*out.image, true), dpiY = resolutionOf(*out.image, false);
    const std::vector<uint8_t> tag = doc.readItem(kItemTag).value_or(std::vector<uint8_t>{});
    const TagCalibrationResult x = readTagCalibration(tag, dpiX);
    const TagCalibrationResult y = readTagCalibration(tag, dpiY);
    out.calibrationX = x.calibration;
    out.calibrationY = y.calibration;
    if (x.source == TagCalibrationSource::Unreadable) out.notes += "the tag item is damaged; ";
    out.image->setResolution(resolutionFromCalibration(out.calibrationX), resolutionFromCalibration(out.calibrationY));

    removeFile(labelFile);
    if (doc.extractFile(kItemMask, labelFile) && fs::exists(labelFile)) {
        std::string reason;
        BitmapPtr labels = openImageFile(labelFile, reason);
        if (labels && labels->pixelFormat() == PixelFormat::Argb32 && labels->width() == out.image->width() &&
            labels->height() == out.image->height())
            out.labels = labels;
        else
            out.notes += "the mask item is not a label image of the picture's size; ";
    }
    removeFile(labelFile);

    if (auto roi = doc.readItem(kItemRoi); roi && !roi->empty()) {
        std::string reason;
        out.roi = Region::fromData(*roi, reason);
        if (!out.roi) out.notes += "the region item is damaged: " + reason + "; ";
    }
    return true;
}

bool writeDdmImage(const std::string& path, const Bitmap& image, const std::string& tempFolder, std::string& error) {
    DdmSave save;
    save.image = &image;
    return writeDdm(path, save, tempFolder, error);
}

bool writeDdm(const std::string& path, const DdmSave& save, const std::string& tempFolder, std::string& error) {
    if (!save.labels && !(save.newDocument && save.image)) {
        error = "there is no label image to save";
        return false;
    }
    TCompoundDocument doc;
    // A new document starts empty and replaces the file; an existing one keeps its other items.
    const uint32_t mode = save.newDocument ? (kModeRead | kModeWrite | kModeTruncate)
                                           : (kModeRead | kModeWrite | kModeAppend);
    if (!doc.open(mode, path)) {
        error = doc.lastError();
        return false;
    }
    TStorageDocumentEx& root = doc.rootStorage();
    std::vector<std::unique_ptr<Scratch>> files;
    auto stage = [&](const char* item, auto&& writeTo) -> bool {
        files.push_back(std::make_unique<Scratch>(tempFolder));
        const std::string& f = files.back()->path;
        if (f.empty() || !writeTo(f)) {
            error = std::string("cannot prepare the ") + item + " item";
            return false;
        }
        if (!root.storeFile(item, kContentStream, false, f)) {
            error = root.lastError();
            return false;
        }
        return true;
    };
    bool ok = true;
    if (save.newDocument) {
        ok = stage(kItemForm2, [](const std::string& f) {
            std::ofstream(f, std::ios::binary) << "Quadrel analysis document\n";
            return true;
        });
        if (ok && save.image) {
            BitmapPtr image = save.image->clone();
            ok = image != nullptr;
            if (ok) {
                if (save.labels || !image->hasResolution())
                    image->setResolution(resolutionFromCalibration(save.calibrationX),
                                         resolutionFromCalibration(save.calibrationY));
                ok = stage(kItemImage, [&](const std::string& f) {
                    CTIFF tiff;
                    return tiff.writeRGB(f, *image);
                });
            }
        }
    }
    if (save.labels)
        ok = ok && stage(kItemMask, [&](const std::string& f) {
            CTIFF tiff;
            return tiff.writeRGBA(f, *save.labels);
        });
    if (ok && save.roi) {
        ok = stage(kItemRoi, [&](const std::string& f) {
            const std::vector<uint8_t> bytes = save.roi->data();
            std::ofstream out(f, std::ios::binary);
            out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            return static_cast<bool>(out);
        });
    }
    if (!ok) {
        root.revert();
        return false;
    }
    if (!root.commit()) {
        error = root.lastError();
        return false;
    }
    return true;
}

} // namespace quadrel
