#pragma once

#include "platform/bitmap.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quadrel {

// Decodes a PNG: grey and palette pictures become 8-bit indexed bitmaps with their table, everything
// else 32-bit ARGB. The resolution is taken from the pHYs chunk when it gives metres. Returns null with
// a reason on damaged or oversized input.
BitmapPtr decodePng(std::span<const uint8_t> bytes, std::string& error);

// Encodes 32-bit bitmaps as RGBA (RGB when every pixel is opaque) and 8-bit ones with their palette.
bool encodePng(const Bitmap& bitmap, std::vector<uint8_t>& out, std::string& error);

bool isPng(std::span<const uint8_t> bytes);

} // namespace quadrel
