#pragma once

#include "persistence/calibration.h"
#include "platform/bitmap.h"
#include "platform/region.h"

#include <optional>
#include <string>

namespace quadrel {

// Item names of an analysis document.
inline constexpr const char* kItemForm2 = "__FORM2__";
inline constexpr const char* kItemForm2E = "__FORM2E__";
inline constexpr const char* kItemImage = "__IMAGE__";
inline constexpr const char* kItemMask = "__MASK__";
inline constexpr const char* kItemTag = "__TAG__";
inline constexpr const char* kItemRoi = "__ROI__";

// True when the file is a compound file carrying one of the document markers.
bool isDdmDocument(const std::string& path);

// What a document file holds. The image is null when it could not be decoded; the labels are null when
// the mask item is missing or undecodable; the region is empty when the file carries none.
struct DdmContent {
    BitmapPtr image;
    TCalibration calibrationX, calibrationY;
    BitmapPtr labels;
    std::optional<Region> roi;
    std::string notes; // what was missing or damaged, for the log
};

// Reads a document's items through files in `tempFolder` (removed before and after each use).
bool readDdm(const std::string& path, const std::string& tempFolder, DdmContent& out, std::string& error);

struct DdmSave {
    const Bitmap* image = nullptr;  // written when the document is new
    const Bitmap* labels = nullptr; // required: a save without a label image fails
    const Region* roi = nullptr;    // the region of interest, written on every save
    TCalibration calibrationX, calibrationY;
    // A new document replaces whatever file is at the path, and carries the marker that makes it
    // recognisable; otherwise the mask and region items of the existing document are replaced and every
    // other item stays.
    bool newDocument = true;
};

// Writes the items and commits once; true only when every item was stored and the file replaced.
bool writeDdm(const std::string& path, const DdmSave& save, const std::string& tempFolder, std::string& error);

// Writes a new document that holds one picture as its image item (and the marker).
bool writeDdmImage(const std::string& path, const Bitmap& image, const std::string& tempFolder, std::string& error);

} // namespace quadrel
