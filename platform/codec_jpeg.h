#pragma once

#include "platform/bitmap.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quadrel {

// Decodes a JPEG: grey pictures become 8-bit indexed bitmaps with the grey table, colour (and CMYK)
// pictures 32-bit ARGB. The resolution comes from the JFIF density when it is given in dots per inch or
// per centimetre, otherwise from the EXIF resolution; without either the bitmap has none.
BitmapPtr decodeJpeg(std::span<const uint8_t> bytes, std::string& error);

// The quality the platform encoder has always used when no parameter is given.
constexpr int kDefaultJpegQuality = 75;

// Encodes grey 8-bit bitmaps as grey JPEG and everything else as colour; alpha is dropped. The JFIF
// density carries the resolution in dots per inch when the bitmap has one.
bool encodeJpeg(const Bitmap& bitmap, std::vector<uint8_t>& out, std::string& error, int quality = kDefaultJpegQuality);

bool isJpeg(std::span<const uint8_t> bytes);

// The resolution an EXIF block (the APP1 payload after "Exif\0\0") gives, in pixels per inch; false when
// it gives none. Exposed for tests.
bool exifResolution(std::span<const uint8_t> tiff, float& dpiX, float& dpiY);

} // namespace quadrel
