#pragma once

#include <cstdint>
#include <string>

namespace quadrel {

// Largest picture any decoder builds (4 GiB as 32-bit pixels).
constexpr uint64_t kMaxImagePixels = uint64_t{1} << 30;

// A decoder refuses a picture whose header claims far more pixels than its data could hold, before
// allocating anything: even the best compression of a one-bit picture gives no more than a few thousand
// pixels per byte, and every small picture is allowed whatever its data.
inline bool plausibleImageSize(uint64_t width, uint64_t height, uint64_t dataBytes, std::string& error) {
    if (width == 0 || height == 0) {
        error = "the picture has no pixels";
        return false;
    }
    if (width > kMaxImagePixels || height > kMaxImagePixels || width * height > kMaxImagePixels) {
        error = "the picture is too large";
        return false;
    }
    constexpr uint64_t kAlwaysAllowed = uint64_t{1} << 24;
    constexpr uint64_t kPixelsPerByte = 8192;
    if (width * height > kAlwaysAllowed && width * height / kPixelsPerByte > dataBytes) {
        error = "the picture claims more pixels than its data can hold";
        return false;
    }
    return true;
}

} // namespace quadrel
