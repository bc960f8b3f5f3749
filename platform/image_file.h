#pragma once

#include "platform/bitmap.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quadrel {

enum class ImageFormat { Unknown, Bmp, Png, Jpeg, Tiff };

// The format by the first bytes of the data, whatever the file is called.
ImageFormat detectImageFormat(std::span<const uint8_t> bytes);

// Decodes an ordinary image file held in memory; null with a reason when the data is no picture this
// program reads or is damaged.
BitmapPtr decodeImage(std::span<const uint8_t> bytes, std::string& error);

// Files larger than this are refused before they are read into memory.
constexpr uint64_t kMaxImageFileBytes = uint64_t{2} << 30;

// The platform's create-bitmap-from-file: reads the file and decodes it by content.
BitmapPtr openImageFile(const std::string& path, std::string& error);

using EncodeFunction = bool (*)(const Bitmap& bitmap, std::vector<uint8_t>& out, std::string& error);

// One installed encoder, as the encoder list reports it.
struct ImageEncoder {
    std::string formatDescription; // "BMP", "JPEG", "TIFF", "PNG"
    std::string filenameExtension; // ";"-separated patterns, "*.BMP;*.DIB;*.RLE"
    std::string mimeType;
    EncodeFunction encode = nullptr;
};

// The encoders in the platform's order: BMP, JPEG, TIFF, PNG.
const std::vector<ImageEncoder>& imageEncoders();

// The extension of a path: from the last "." of the file name, with the dot; empty when there is none.
std::string pathExtension(std::string_view path);

// The first encoder with a pattern whose extension (the pattern "*.BMP" gives ".BMP") equals the given
// one without regard to case. An empty extension never matches.
const ImageEncoder* findEncoderForExtension(std::string_view extension);

// Encodes the bitmap and writes it to the path. The file is written beside the target and renamed over
// it, so a failed write leaves any earlier file as it was.
bool saveWithEncoder(const Bitmap& bitmap, const std::string& path, const ImageEncoder& encoder, std::string& error);

// Writes bytes to a path the same careful way.
bool writeFileReplacing(const std::string& path, std::span<const uint8_t> bytes, std::string& error);

// The document route of saveImage: stores the bitmap into the document at the path and reports whether
// the store succeeded. The storage layer provides it.
using DocumentImageRoute = std::function<bool(const Bitmap& bitmap, const std::string& path)>;

// Saves a bitmap by the path's extension: ".ddm" in any letter case goes to the document route (false
// when none is given), anything else to the first encoder whose patterns hold the extension. False when
// no encoder matches or writing fails.
bool saveImage(const Bitmap& bitmap, const std::string& path, const DocumentImageRoute& documentRoute = {});

} // namespace quadrel
