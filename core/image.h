#pragma once

#include "platform/bitmap.h"
#include "platform/row_spans.h"

#include <array>
#include <functional>
#include <memory>
#include <string>

namespace quadrel {

// Slots of the document's rasters.
enum ImageSlot : int {
    kSlotSource = 0,
    kSlotRed = 1,
    kSlotGreen = 2,
    kSlotBlue = 3,
    kSlotGrey = 4,
    kSlotHue = 5,
    kSlotLuminance = 6,
    kSlotSaturation = 7,
    kSlotLabels = 8,
    kSlotThresholdPreview = 10,
};

// Derives the 8-bit image of slot 1 to 7 from the source (grey table installed). Any other slot number
// gives a zeroed 8-bit image of the source's size. Returns null when the source is missing or a bitmap
// cannot be made; the reason is in *status.
BitmapPtr deriveChannel(const Bitmap& source, int slot, Status* status = nullptr);

// 256 counts of an 8-bit channel image.
using CHistogram = std::array<double, 256>;

// Every pixel counts, or only the pixels in `inside` when given (a region of interest).
CHistogram computeHistogram(const Bitmap& channel, const RowSpans* inside = nullptr);
// Only pixels for which the predicate holds count.
CHistogram computeHistogram(const Bitmap& channel, const std::function<bool(int x, int y)>& inside);

// The process-wide last error of the buffer library (see TDib). Set by failing buffer operations,
// never cleared by them.
int imageLibraryError();
void setImageLibraryError(int number);
void clearImageLibraryError();
// The message for a status number, or an empty string.
std::string imageLibraryMessage(int number);

// A device-independent bitmap: a 40-byte information header, the colour table and the pixel rows,
// bottom-up, each row padded to four bytes, in one block.
class TDib {
public:
    TDib() = default;
    // An empty buffer of the given geometry. Throws std::bad_alloc when the block cannot be had.
    TDib(int32_t width, int32_t height, uint16_t bitsPerPixel, uint32_t compression, uint32_t paletteEntries);

    bool isValid() const { return !m_block.empty(); }
    int32_t width() const;
    int32_t height() const;
    uint16_t bitsPerPixel() const;
    uint32_t compression() const;
    uint32_t paletteEntries() const;
    uint32_t rowBytes() const;

    uint32_t* palette();
    const uint32_t* palette() const;
    // Rows in memory order: row 0 is the bottom row of the picture.
    uint8_t* memoryRow(int32_t r);
    const uint8_t* memoryRow(int32_t r) const;
    // Rows in picture order (row 0 at the top).
    uint8_t* pictureRow(int32_t y) { return memoryRow(height() - 1 - y); }
    const uint8_t* pictureRow(int32_t y) const { return memoryRow(height() - 1 - y); }

    // Bit-field masks (compression 3) follow the header when present.
    void setBitFields(uint32_t red, uint32_t green, uint32_t blue);
    bool hasBitFields() const { return m_bitFields; }
    uint32_t redMask() const;

    // The pixel type code the filters choose their routine by (0 = no type).
    int pixelType() const;

    const std::vector<uint8_t>& block() const { return m_block; }

private:
    uint32_t headerValue(size_t offset) const;
    size_t paletteOffset() const { return 40 + (m_bitFields ? 12 : 0); }
    size_t pixelOffset() const { return paletteOffset() + 4u * paletteEntries(); }

    std::vector<uint8_t> m_block;
    bool m_bitFields = false;
};

// Compression tags of the typed buffers.
constexpr uint32_t kTagSigned = 0x53494E54;   // "TNIS"
constexpr uint32_t kTagUnsigned = 0x55494E54; // "TNIU"
constexpr uint32_t kTagFloat = 0x49464C54;    // "TLFI"
constexpr uint32_t kTagComplex = 0x49435058;  // "XPCI"

// The buffer the analysis creates by pixel-type name ("UINT8", "INT16", "FLOAT", "RGB24", ... in any
// letter case), zeroed. An unknown name or a non-positive size gives an invalid buffer; throws
// std::bad_alloc when memory runs out.
class TDibExt : public TDib {
public:
    TDibExt(int32_t width, int32_t height, const std::string& typeName);
};

} // namespace quadrel
