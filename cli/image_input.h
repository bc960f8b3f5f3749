#pragma once

#include "platform/bitmap.h"

#include <string>

namespace quadrel::cli {

// The picture a command works on: the file given, or the bundled sample when the name is empty.
// Throws std::runtime_error with the reason when the file cannot be read or decoded.
BitmapPtr loadPicture(const std::string& path);

// The name to show for a picture ("sample" for the bundled one).
std::string pictureName(const std::string& path);

} // namespace quadrel::cli
