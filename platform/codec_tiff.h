#pragma once

#include "platform/bitmap.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quadrel {

// The resolution assumed when a TIFF file's own cannot be read: with it the derived calibration comes
// out as one pixel per millimetre.
constexpr float kDefaultTiffResolution = 25.54f;

// The TIFF encoder and decoder for the image and label items of documents, built on libtiff.
class CTIFF {
public:
    enum Mode : int { None = 0, LZW = 1, JPEG = 2, Deflate = 3 };

    // Compression used when writing. Every caller writes with Deflate.
    int m_mode = Deflate;
    // Used only with JPEG compression.
    int m_jpegQuality = 75;

    // What the last read found in the file's tags.
    int m_height = 0;
    int m_width = 0;
    int m_bitsPerSample = 0;
    int m_photometric = 0;
    int m_samplesPerPixel = 0;
    int m_compression = 0;

    // The image: 8-bit RGB, contiguous, resolution in inches, strips of about 8 KiB.
    bool writeRGB(const std::string& path, const Bitmap& bitmap);
    // The label image: 8-bit RGBA with associated alpha.
    bool writeRGBA(const std::string& path, const Bitmap& bitmap);

    // Min-is-white, min-is-black and palette files become 8-bit indexed bitmaps, everything else 32-bit
    // ARGB; strips and tiles both decode. Any libtiff error gives no bitmap (never a partial picture), so
    // the caller's fallback applies. The bitmap has a resolution only when the file gives one.
    BitmapPtr read(const std::string& path);
    BitmapPtr readMemory(std::span<const uint8_t> bytes);

    // The file's resolution in pixels per inch, or kDefaultTiffResolution when it cannot be read.
    float resolutionX(const std::string& path);
    float resolutionY(const std::string& path);

    // Why the last call failed.
    const std::string& lastError() const { return m_error; }

private:
    bool write(const std::string& path, const Bitmap& bitmap, bool alpha);
    float resolution(const std::string& path, bool vertical);

    std::string m_error;
};

// The platform codec for ordinary TIFF files.
BitmapPtr decodeTiff(std::span<const uint8_t> bytes, std::string& error);
// Encodes with LZW: 8-bit bitmaps with their colour table (grey ones as min-is-black), 32-bit ones as RGB,
// or RGBA with unassociated alpha when any pixel is not opaque.
bool encodeTiff(const Bitmap& bitmap, std::vector<uint8_t>& out, std::string& error);
bool isTiff(std::span<const uint8_t> bytes);

} // namespace quadrel
