#pragma once

#include "platform/large_buffer.h"
#include "platform/status.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace quadrel {

// Pixel formats by their platform codes.
enum class PixelFormat : uint32_t {
    Undefined = 0,
    Indexed8 = 0x00030803,
    Rgb32 = 0x00022009,
    Argb32 = 0x0026200A,
};

int bytesPerPixel(PixelFormat f);

enum LockMode : uint32_t { LockRead = 1, LockWrite = 2, LockReadWrite = 3 };

struct Rect {
    int x = 0, y = 0, width = 0, height = 0;
};

using Palette = std::array<uint32_t, 256>;

// Opaque grey of level i in every entry: the table every 8-bit analysis image carries.
const Palette& greyPalette();
bool isGreyRamp(const Palette& p, int count = 256);

struct LockedBits {
    uint32_t width = 0;
    uint32_t height = 0;
    int32_t stride = 0;
    PixelFormat format = PixelFormat::Undefined;
    uint8_t* scan0 = nullptr;
};

// A raster with rows addressed through a stride. New pixels are zero. It remembers the last non-zero
// status an operation on it returned, so commands can create, lock and then check once before they
// store results.
class Bitmap {
public:
    // Returns null only when the size is not positive or the memory cannot be had; the reason is in
    // *status when given.
    static std::shared_ptr<Bitmap> create(int width, int height, PixelFormat format, Status* status = nullptr);

    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    int width() const { return m_width; }
    int height() const { return m_height; }
    PixelFormat pixelFormat() const { return m_format; }
    int stride() const { return m_stride; }

    // Direct row access for whole-image walks; the caller stays within width * bytesPerPixel.
    uint8_t* row(int y) { return m_pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(m_stride); }
    const uint8_t* row(int y) const {
        return m_pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(m_stride);
    }
    uint32_t* row32(int y) { return reinterpret_cast<uint32_t*>(row(y)); }
    const uint32_t* row32(int y) const { return reinterpret_cast<const uint32_t*>(row(y)); }

    // Colour table (meaningful for Indexed8). An 8-bit bitmap keeps the table it is given.
    const Palette& palette() const { return m_palette; }
    int paletteCount() const { return m_paletteCount; }
    uint32_t paletteFlags() const { return m_paletteFlags; }
    Status setPalette(const Palette& entries, int count = 256, uint32_t flags = 0);
    Status setPaletteEntry(int index, uint32_t argb);

    // Resolution in pixels per inch; unknown until a decoder or a caller sets it.
    float horizontalResolution() const { return m_dpiX; }
    float verticalResolution() const { return m_dpiY; }
    bool hasResolution() const { return m_hasResolution; }
    Status setResolution(float dpiX, float dpiY);

    Status lockBits(const Rect* rect, uint32_t mode, PixelFormat format, LockedBits& out);
    Status unlockBits(LockedBits& data);

    // One pixel as 0xAARRGGBB (indexed pixels through the table).
    Status getPixel(int x, int y, uint32_t& argb);
    Status setPixel(int x, int y, uint32_t argb);

    std::shared_ptr<Bitmap> clone() const;

    Status lastStatus() const { return m_lastStatus; }
    // Reads and clears the remembered status.
    Status takeLastStatus();
    // Records a status; only non-zero values are remembered.
    Status note(Status s);

private:
    Bitmap(int width, int height, PixelFormat format, int stride);

    int m_width;
    int m_height;
    PixelFormat m_format;
    int m_stride;
    LargeBuffer<uint8_t> m_pixels;
    Palette m_palette{};
    int m_paletteCount = 0;
    uint32_t m_paletteFlags = 0;
    float m_dpiX = 96.0f;
    float m_dpiY = 96.0f;
    bool m_hasResolution = false;
    Status m_lastStatus = Status::Ok;

    // The active lock, if any; a conversion buffer is used when the lock format differs.
    bool m_locked = false;
    Rect m_lockRect;
    uint32_t m_lockMode = 0;
    PixelFormat m_lockFormat = PixelFormat::Undefined;
    std::vector<uint8_t> m_lockBuffer;
};

using BitmapPtr = std::shared_ptr<Bitmap>;

// Creates an 8-bit bitmap with the grey table installed.
BitmapPtr createGrey8(int width, int height, Status* status = nullptr);

// A locked view of a bitmap rectangle. It keeps the bitmap alive and unlocks when the last holder lets
// go; the lock status is kept (0 on success) and also remembered by the bitmap.
class CBitmapData {
public:
    static std::shared_ptr<CBitmapData> lock(const BitmapPtr& bitmap, uint32_t mode, PixelFormat format,
                                             const Rect* rect = nullptr);
    ~CBitmapData();
    CBitmapData(const CBitmapData&) = delete;
    CBitmapData& operator=(const CBitmapData&) = delete;

    uint32_t width() const { return m_data.width; }
    uint32_t height() const { return m_data.height; }
    int32_t stride() const { return m_data.stride; }
    PixelFormat pixelFormat() const { return m_data.format; }
    uint8_t* scan0() const { return m_data.scan0; }
    uint8_t* row(uint32_t y) const { return m_data.scan0 + static_cast<ptrdiff_t>(y) * m_data.stride; }
    uint32_t* row32(uint32_t y) const { return reinterpret_cast<uint32_t*>(row(y)); }
    Status status() const { return m_status; }
    bool ok() const { return m_status == Status::Ok; }
    const BitmapPtr& bitmap() const { return m_bitmap; }

private:
    CBitmapData() = default;
    BitmapPtr m_bitmap;
    LockedBits m_data;
    Status m_status = Status::Ok;
};

using CBitmapDataPtr = std::shared_ptr<CBitmapData>;

// Writes the colour into every pixel of the outermost ring (column 0, last column, row 0, last row).
void clearBorder(Bitmap& bitmap, uint32_t colour);

} // namespace quadrel
