#include "cli/image_input.h"

#include "platform/codec_png.h"
#include "platform/image_file.h"
#include "resources/sample_image.h"

#include <stdexcept>

namespace quadrel::cli {

BitmapPtr loadPicture(const std::string& path) {
    std::string error;
    if (path.empty()) {
        BitmapPtr b = decodePng(sampleImagePng(), error);
        if (!b) throw std::runtime_error("the bundled sample cannot be decoded: " + error);
        return b;
    }
    BitmapPtr b = openImageFile(path, error);
    if (!b) throw std::runtime_error(error);
    return b;
}

std::string pictureName(const std::string& path) { return path.empty() ? "sample" : path; }

} // namespace quadrel::cli
