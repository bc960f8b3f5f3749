#include "cli/image_input.h"

#include "platform/codec_png.h"
#include "resources/sample_image.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace quadrel::cli {

BitmapPtr loadPicture(const std::string& path) {
    std::string error;
    if (path.empty()) {
        BitmapPtr b = decodePng(sampleImagePng(), error);
        if (!b) throw std::runtime_error("the bundled sample cannot be decoded: " + error);
        return b;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(path + ": " + std::strerror(errno));
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!isPng(bytes)) throw std::runtime_error(path + ": not an image format this build reads");
    BitmapPtr b = decodePng(bytes, error);
    if (!b) throw std::runtime_error(path + ": " + error);
    return b;
}

std::string pictureName(const std::string& path) { return path.empty() ? "sample" : path; }

} // namespace quadrel::cli
