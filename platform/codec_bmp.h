#pragma once

#include "platform/bitmap.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quadrel {

// Decodes a BMP file: 1, 2, 4 and 8 bits with a colour table (also RLE4 and RLE8) become
// 8-bit indexed bitmaps; 16, 24 and 32 bits (with or without bit fields) become 32-bit ARGB. Rows may be
// stored bottom-up or top-down. The resolution comes from the pixels-per-metre fields when they are set.
BitmapPtr decodeBmp(std::span<const uint8_t> bytes, std::string& error);

// Encodes 8-bit bitmaps with their table, opaque 32-bit ones as 24 bits and ones with transparency as
// 32 bits with an alpha mask. The resolution is written when the bitmap has one.
bool encodeBmp(const Bitmap& bitmap, std::vector<uint8_t>& out, std::string& error);

bool isBmp(std::span<const uint8_t> bytes);

} // namespace quadrel
