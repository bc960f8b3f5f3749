#include "platform/bitmap.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace quadrel {

const char* statusText(Status s) {
    switch (s) {
    case Status::Ok: return "Ok";
    case Status::GenericError: return "Generic error";
    case Status::InvalidParameter: return "Invalid parameter";
    case Status::OutOfMemory: return "Out of memory";
    case Status::ObjectBusy: return "Object busy";
    case Status::InsufficientBuffer: return "Insufficient buffer";
    case Status::NotImplemented: return "Not implemented";
    case Status::Win32Error: return "System error";
    case Status::WrongState: return "Wrong state";
    case Status::Aborted: return "Aborted";
    case Status::FileNotFound: return "File not found";
    case Status::ValueOverflow: return "Value overflow";
    case Status::AccessDenied: return "Access denied";
    case Status::UnknownImageFormat: return "Unknown image format";
    }
    return "Unknown status";
}

int bytesPerPixel(PixelFormat f) {
    switch (f) {
    case PixelFormat::Indexed8: return 1;
    case PixelFormat::Rgb32:
    case PixelFormat::Argb32: return 4;
    default: return 0;
    }
}

const Palette& greyPalette() {
    static const Palette table = [] {
        Palette p{};
        for (uint32_t i = 0; i < 256; ++i) p[i] = 0xFF000000u + i * 0x010101u;
        return p;
    }();
    return table;
}

bool isGreyRamp(const Palette& p, int count) {
    if (count != 256) return false;
    const Palette& g = greyPalette();
    return std::equal(p.begin(), p.end(), g.begin());
}

Bitmap::Bitmap(int width, int height, PixelFormat format, int stride)
    : m_width(width), m_height(height), m_format(format), m_stride(stride) {}

std::shared_ptr<Bitmap> Bitmap::create(int width, int height, PixelFormat format, Status* status) {
    auto fail = [&](Status s) -> std::shared_ptr<Bitmap> {
        if (status) *status = s;
        return nullptr;
    };
    const int bpp = bytesPerPixel(format);
    if (width <= 0 || height <= 0 || bpp == 0) return fail(Status::InvalidParameter);
    // Rows are padded to four bytes; the stride must fit a signed 32-bit value.
    const uint64_t stride = (static_cast<uint64_t>(width) * static_cast<uint64_t>(bpp) + 3u) & ~uint64_t{3};
    if (stride > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return fail(Status::ValueOverflow);
    const uint64_t bytes = stride * static_cast<uint64_t>(height);
    if (bytes > std::numeric_limits<size_t>::max() / 2) return fail(Status::OutOfMemory);
    std::shared_ptr<Bitmap> b;
    try {
        b.reset(new Bitmap(width, height, format, static_cast<int>(stride)));
        b->m_pixels = LargeBuffer<uint8_t>(static_cast<size_t>(bytes));
    } catch (const std::bad_alloc&) {
        return fail(Status::OutOfMemory);
    }
    if (status) *status = Status::Ok;
    return b;
}

BitmapPtr createGrey8(int width, int height, Status* status) {
    BitmapPtr b = Bitmap::create(width, height, PixelFormat::Indexed8, status);
    if (b) b->setPalette(greyPalette());
    return b;
}

Status Bitmap::note(Status s) {
    if (s != Status::Ok) m_lastStatus = s;
    return s;
}

Status Bitmap::takeLastStatus() {
    Status s = m_lastStatus;
    m_lastStatus = Status::Ok;
    return s;
}

Status Bitmap::setPalette(const Palette& entries, int count, uint32_t flags) {
    if (count < 0 || count > 256) return note(Status::InvalidParameter);
    m_palette = entries;
    for (int i = count; i < 256; ++i) m_palette[static_cast<size_t>(i)] = 0;
    m_paletteCount = count;
    m_paletteFlags = flags;
    return Status::Ok;
}

Status Bitmap::setPaletteEntry(int index, uint32_t argb) {
    if (index < 0 || index > 255) return note(Status::InvalidParameter);
    m_palette[static_cast<size_t>(index)] = argb;
    m_paletteCount = std::max(m_paletteCount, index + 1);
    return Status::Ok;
}

Status Bitmap::setResolution(float dpiX, float dpiY) {
    if (!(dpiX > 0.0f) || !(dpiY > 0.0f)) return note(Status::InvalidParameter);
    m_dpiX = dpiX;
    m_dpiY = dpiY;
    m_hasResolution = true;
    return Status::Ok;
}

namespace {

// Converts one row of native pixels into the lock format.
void convertIn(const Bitmap& b, const uint8_t* src, uint8_t* dst, int count, PixelFormat to) {
    const PixelFormat from = b.pixelFormat();
    auto* out = reinterpret_cast<uint32_t*>(dst);
    if (from == PixelFormat::Indexed8) {
        const Palette& pal = b.palette();
        for (int i = 0; i < count; ++i) {
            uint32_t v = pal[src[i]];
            out[i] = to == PixelFormat::Rgb32 ? (v | 0xFF000000u) : v;
        }
    } else {
        const auto* in = reinterpret_cast<const uint32_t*>(src);
        for (int i = 0; i < count; ++i) {
            uint32_t v = in[i];
            if (from == PixelFormat::Rgb32 || to == PixelFormat::Rgb32) v |= 0xFF000000u;
            out[i] = v;
        }
    }
}

void convertOut(PixelFormat native, const uint8_t* src, uint8_t* dst, int count) {
    const auto* in = reinterpret_cast<const uint32_t*>(src);
    auto* out = reinterpret_cast<uint32_t*>(dst);
    for (int i = 0; i < count; ++i) out[i] = native == PixelFormat::Rgb32 ? (in[i] | 0xFF000000u) : in[i];
}

} // namespace

Status Bitmap::lockBits(const Rect* rect, uint32_t mode, PixelFormat format, LockedBits& out) {
    if (m_locked) return note(Status::WrongState);
    if ((mode & LockReadWrite) == 0) return note(Status::InvalidParameter);
    Rect r = rect ? *rect : Rect{0, 0, m_width, m_height};
    if (r.x < 0 || r.y < 0 || r.width <= 0 || r.height <= 0 || r.width > m_width - r.x || r.height > m_height - r.y)
        return note(Status::InvalidParameter);
    const bool direct = format == m_format;
    // 8-bit pixels can be read as colour, but colour cannot be written back as palette indices.
    const bool convertible = (format == PixelFormat::Argb32 || format == PixelFormat::Rgb32) &&
                             (m_format != PixelFormat::Indexed8 || (mode & LockWrite) == 0);
    if (!direct && !convertible) return note(Status::InvalidParameter);

    const int bpp = bytesPerPixel(m_format);
    if (direct) {
        out.scan0 = row(r.y) + static_cast<size_t>(r.x) * static_cast<size_t>(bpp);
        out.stride = m_stride;
    } else {
        const size_t lockStride = static_cast<size_t>(r.width) * 4u;
        try {
            m_lockBuffer.assign(lockStride * static_cast<size_t>(r.height), 0);
        } catch (const std::bad_alloc&) {
            return note(Status::OutOfMemory);
        }
        if (mode & LockRead) {
            for (int y = 0; y < r.height; ++y)
                convertIn(*this, row(r.y + y) + static_cast<size_t>(r.x) * static_cast<size_t>(bpp),
                          m_lockBuffer.data() + lockStride * static_cast<size_t>(y), r.width, format);
        }
        out.scan0 = m_lockBuffer.data();
        out.stride = static_cast<int32_t>(lockStride);
    }
    out.width = static_cast<uint32_t>(r.width);
    out.height = static_cast<uint32_t>(r.height);
    out.format = format;
    m_locked = true;
    m_lockRect = r;
    m_lockMode = mode;
    m_lockFormat = format;
    return Status::Ok;
}

Status Bitmap::unlockBits(LockedBits& data) {
    if (!m_locked) return note(Status::WrongState);
    if (m_lockFormat != m_format && (m_lockMode & LockWrite)) {
        const size_t lockStride = static_cast<size_t>(m_lockRect.width) * 4u;
        for (int y = 0; y < m_lockRect.height; ++y)
            convertOut(m_format, m_lockBuffer.data() + lockStride * static_cast<size_t>(y),
                       row(m_lockRect.y + y) + static_cast<size_t>(m_lockRect.x) * 4u, m_lockRect.width);
    }
    m_lockBuffer.clear();
    m_lockBuffer.shrink_to_fit();
    m_locked = false;
    data = LockedBits{};
    return Status::Ok;
}

Status Bitmap::getPixel(int x, int y, uint32_t& argb) {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return note(Status::InvalidParameter);
    if (m_format == PixelFormat::Indexed8) {
        argb = m_palette[row(y)[x]];
    } else {
        argb = row32(y)[x];
        if (m_format == PixelFormat::Rgb32) argb |= 0xFF000000u;
    }
    return Status::Ok;
}

Status Bitmap::setPixel(int x, int y, uint32_t argb) {
    if (x < 0 || y < 0 || x >= m_width || y >= m_height) return note(Status::InvalidParameter);
    // The platform cannot set a colour into an indexed bitmap.
    if (m_format == PixelFormat::Indexed8) return note(Status::InvalidParameter);
    row32(y)[x] = argb;
    return Status::Ok;
}

std::shared_ptr<Bitmap> Bitmap::clone() const {
    std::shared_ptr<Bitmap> b;
    try {
        b.reset(new Bitmap(m_width, m_height, m_format, m_stride));
        b->m_pixels = m_pixels;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    b->m_palette = m_palette;
    b->m_paletteCount = m_paletteCount;
    b->m_paletteFlags = m_paletteFlags;
    b->m_dpiX = m_dpiX;
    b->m_dpiY = m_dpiY;
    b->m_hasResolution = m_hasResolution;
    return b;
}

std::shared_ptr<CBitmapData> CBitmapData::lock(const BitmapPtr& bitmap, uint32_t mode, PixelFormat format,
                                               const Rect* rect) {
    std::shared_ptr<CBitmapData> d(new CBitmapData());
    if (!bitmap) {
        d->m_status = Status::InvalidParameter;
        return d;
    }
    d->m_status = bitmap->lockBits(rect, mode, format, d->m_data);
    if (d->m_status == Status::Ok) d->m_bitmap = bitmap;
    return d;
}

CBitmapData::~CBitmapData() {
    if (m_bitmap) m_bitmap->unlockBits(m_data);
}

void clearBorder(Bitmap& b, uint32_t colour) {
    const int w = b.width(), h = b.height();
    if (b.pixelFormat() == PixelFormat::Indexed8) {
        const auto v = static_cast<uint8_t>(colour);
        for (int y = 0; y < h; ++y) {
            b.row(y)[0] = v;
            b.row(y)[w - 1] = v;
        }
        std::memset(b.row(0), v, static_cast<size_t>(w));
        std::memset(b.row(h - 1), v, static_cast<size_t>(w));
        return;
    }
    for (int y = 0; y < h; ++y) {
        b.row32(y)[0] = colour;
        b.row32(y)[w - 1] = colour;
    }
    std::fill_n(b.row32(0), w, colour);
    std::fill_n(b.row32(h - 1), w, colour);
}

} // namespace quadrel
