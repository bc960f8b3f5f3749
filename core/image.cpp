#include "core/image.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <new>

namespace quadrel {

namespace {

// One output byte per source pixel; the rule is chosen once per image, not per pixel.
template <typename Rule>
void deriveRows(const Bitmap& src, Bitmap& dst, Rule rule) {
    const int w = src.width(), h = src.height();
    const bool indexed = src.pixelFormat() == PixelFormat::Indexed8;
    const bool rgb = src.pixelFormat() == PixelFormat::Rgb32;
    const Palette& pal = src.palette();
    for (int y = 0; y < h; ++y) {
        uint8_t* out = dst.row(y);
        if (indexed) {
            const uint8_t* in = src.row(y);
            for (int x = 0; x < w; ++x) out[x] = rule(pal[in[x]]);
        } else {
            const uint32_t* in = src.row32(y);
            for (int x = 0; x < w; ++x) out[x] = rule(rgb ? (in[x] | 0xFF000000u) : in[x]);
        }
    }
}

inline uint32_t red(uint32_t p) { return (p >> 16) & 0xFFu; }
inline uint32_t green(uint32_t p) { return (p >> 8) & 0xFFu; }
inline uint32_t blue(uint32_t p) { return p & 0xFFu; }

uint8_t hueOf(uint32_t p) {
    const float r = static_cast<float>(red(p)) / 255.0f;
    const float g = static_cast<float>(green(p)) / 255.0f;
    const float b = static_cast<float>(blue(p)) / 255.0f;
    const float mx = std::max(r, std::max(g, b));
    const float mn = std::min(r, std::min(g, b));
    float h = 0.0f;
    if (mx != mn) {
        // Ties for the maximum go to red, then green.
        if (mx == r) {
            h = (g - b) / (mx - mn);
            if (g < b) h += 6.0f;
        } else if (mx == g) {
            h = (b - r) / (mx - mn) + 2.0f;
        } else {
            h = (r - g) / (mx - mn) + 4.0f;
        }
    }
    return static_cast<uint8_t>(static_cast<int>(h * 42.5f));
}

uint8_t saturationOf(uint32_t p) {
    const float r = static_cast<float>(red(p)) / 255.0f;
    const float g = static_cast<float>(green(p)) / 255.0f;
    const float b = static_cast<float>(blue(p)) / 255.0f;
    const float mx = std::max(r, std::max(g, b));
    const float mn = std::min(r, std::min(g, b));
    const float s = mx + mn;
    if (s == 0.0f || mx == mn) return 0;
    const float v = s <= 1.0f ? (mx - mn) / s : (mx - mn) / (2.0f - s);
    return static_cast<uint8_t>(static_cast<int>(v * 255.0f));
}

} // namespace

BitmapPtr deriveChannel(const Bitmap& source, int slot, Status* status) {
    BitmapPtr out = createGrey8(source.width(), source.height(), status);
    if (!out) return nullptr;
    switch (slot) {
    case kSlotRed: deriveRows(source, *out, [](uint32_t p) { return static_cast<uint8_t>(red(p)); }); break;
    case kSlotGreen: deriveRows(source, *out, [](uint32_t p) { return static_cast<uint8_t>(green(p)); }); break;
    case kSlotBlue: deriveRows(source, *out, [](uint32_t p) { return static_cast<uint8_t>(blue(p)); }); break;
    case kSlotGrey:
        // The weights add up to 254, so white gives 253; documents measured so far rely on it.
        deriveRows(source, *out, [](uint32_t p) {
            return static_cast<uint8_t>((149u * green(p) + 76u * red(p) + 29u * blue(p)) >> 8);
        });
        break;
    case kSlotHue: deriveRows(source, *out, hueOf); break;
    case kSlotLuminance:
        deriveRows(source, *out, [](uint32_t p) {
            const uint32_t mx = std::max(red(p), std::max(green(p), blue(p)));
            const uint32_t mn = std::min(red(p), std::min(green(p), blue(p)));
            return static_cast<uint8_t>((mx + mn) >> 1);
        });
        break;
    case kSlotSaturation: deriveRows(source, *out, saturationOf); break;
    default: break; // no channel rule: stays zero
    }
    return out;
}

CHistogram computeHistogram(const Bitmap& channel, const RowSpans* inside) {
    CHistogram h{};
    const int w = channel.width(), hgt = channel.height();
    if (channel.pixelFormat() != PixelFormat::Indexed8) return h;
    // Integer counts are exact and faster; they become doubles at the end.
    std::array<uint64_t, 256> counts{};
    if (!inside) {
        for (int y = 0; y < hgt; ++y) {
            const uint8_t* row = channel.row(y);
            for (int x = 0; x < w; ++x) ++counts[row[x]];
        }
    } else {
        for (const RowSpan& s : inside->spans()) {
            if (s.y < 0 || s.y >= hgt) continue;
            const int x0 = std::max(0, s.x0), x1 = std::min(w, s.x1);
            const uint8_t* row = channel.row(s.y);
            for (int x = x0; x < x1; ++x) ++counts[row[x]];
        }
    }
    for (size_t i = 0; i < 256; ++i) h[i] = static_cast<double>(counts[i]);
    return h;
}

CHistogram computeHistogram(const Bitmap& channel, const std::function<bool(int, int)>& inside) {
    CHistogram h{};
    if (channel.pixelFormat() != PixelFormat::Indexed8) return h;
    for (int y = 0; y < channel.height(); ++y) {
        const uint8_t* row = channel.row(y);
        for (int x = 0; x < channel.width(); ++x)
            if (inside(x, y)) h[row[x]] += 1.0;
    }
    return h;
}

namespace {
std::atomic<int> g_imageLibraryError{0};
}

int imageLibraryError() { return g_imageLibraryError.load(); }
void setImageLibraryError(int number) { g_imageLibraryError.store(number); }
void clearImageLibraryError() { g_imageLibraryError.store(0); }

std::string imageLibraryMessage(int number) {
    switch (number) {
    case 1: return "Not enough memory!";
    case 2: return "Bad image format!";
    case 3: return "Bad FFT image format!\nMust be a power of two.";
    case 4: return "Image formats are different!";
    case 5: return "Unknow type of ops!";
    case 6: return "Image types are different!";
    case 7: return "Bad compass id mask!";
    case 8: return "Bad image size!";
    default: return {};
    }
}

namespace {

void putU32(std::vector<uint8_t>& b, size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[off + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}
void putU16(std::vector<uint8_t>& b, size_t off, uint16_t v) {
    b[off] = static_cast<uint8_t>(v);
    b[off + 1] = static_cast<uint8_t>(v >> 8);
}

} // namespace

TDib::TDib(int32_t width, int32_t height, uint16_t bitsPerPixel, uint32_t compression, uint32_t paletteEntries) {
    if (width <= 0 || height <= 0 || bitsPerPixel == 0 || paletteEntries > 256) {
        setImageLibraryError(8);
        return;
    }
    const uint64_t rowBytes = ((static_cast<uint64_t>(bitsPerPixel) * static_cast<uint64_t>(width) + 31u) & ~uint64_t{31}) / 8u;
    const uint64_t pixels = rowBytes * static_cast<uint64_t>(height);
    if (rowBytes > 0x7FFFFFFFu || pixels > (uint64_t{1} << 40)) {
        setImageLibraryError(8);
        return;
    }
    try {
        m_block.assign(40 + 4u * paletteEntries + static_cast<size_t>(pixels), 0);
    } catch (const std::bad_alloc&) {
        setImageLibraryError(1);
        throw;
    }
    putU32(m_block, 0, 40);
    putU32(m_block, 4, static_cast<uint32_t>(width));
    putU32(m_block, 8, static_cast<uint32_t>(height));
    putU16(m_block, 12, 1);
    putU16(m_block, 14, bitsPerPixel);
    putU32(m_block, 16, compression);
    putU32(m_block, 20, static_cast<uint32_t>(pixels));
    putU32(m_block, 32, paletteEntries);
}

uint32_t TDib::headerValue(size_t offset) const {
    if (m_block.size() < offset + 4) return 0;
    return static_cast<uint32_t>(m_block[offset]) | static_cast<uint32_t>(m_block[offset + 1]) << 8 |
           static_cast<uint32_t>(m_block[offset + 2]) << 16 | static_cast<uint32_t>(m_block[offset + 3]) << 24;
}

int32_t TDib::width() const { return static_cast<int32_t>(headerValue(4)); }
int32_t TDib::height() const { return static_cast<int32_t>(headerValue(8)); }
uint16_t TDib::bitsPerPixel() const { return static_cast<uint16_t>(headerValue(12) >> 16); }
uint32_t TDib::compression() const { return headerValue(16); }
uint32_t TDib::paletteEntries() const { return headerValue(32); }
uint32_t TDib::rowBytes() const {
    return static_cast<uint32_t>(((static_cast<uint64_t>(bitsPerPixel()) * static_cast<uint64_t>(width()) + 31u) &
                                  ~uint64_t{31}) / 8u);
}

uint32_t* TDib::palette() { return reinterpret_cast<uint32_t*>(m_block.data() + paletteOffset()); }
const uint32_t* TDib::palette() const { return reinterpret_cast<const uint32_t*>(m_block.data() + paletteOffset()); }

uint8_t* TDib::memoryRow(int32_t r) {
    return m_block.data() + pixelOffset() + static_cast<size_t>(r) * rowBytes();
}
const uint8_t* TDib::memoryRow(int32_t r) const {
    return m_block.data() + pixelOffset() + static_cast<size_t>(r) * rowBytes();
}

void TDib::setBitFields(uint32_t red, uint32_t green, uint32_t blueMask) {
    if (m_bitFields || m_block.empty()) return;
    m_block.insert(m_block.begin() + 40, 12, 0);
    putU32(m_block, 40, red);
    putU32(m_block, 44, green);
    putU32(m_block, 48, blueMask);
    putU32(m_block, 16, 3);
    m_bitFields = true;
}

uint32_t TDib::redMask() const { return m_bitFields ? headerValue(40) : 0; }

int TDib::pixelType() const {
    if (!isValid()) return 0;
    const uint32_t tag = compression();
    switch (bitsPerPixel()) {
    case 8:
        if (tag == 0 || tag == kTagUnsigned) return 2;
        if (tag == kTagSigned) return 1;
        return 0;
    case 16:
        if (tag == 0) return 9;
        if (tag == 3) return (m_bitFields && redMask() == 0x00007C00u) ? 9 : 10;
        if (tag == kTagSigned) return 3;
        if (tag == kTagUnsigned) return 4;
        return 0;
    case 24: return 11;
    case 32:
        if (tag == 0 || tag == 3 || tag == kTagUnsigned) return 6;
        if (tag == kTagFloat) return 7;
        if (tag == kTagSigned) return 5;
        return 0;
    case 48: return 12;
    case 64: return 8;
    default: return 0;
    }
}

namespace {

struct TypeEntry {
    const char* name;
    uint16_t bits;
    uint32_t tag;
    bool grey;
};

constexpr TypeEntry kTypes[] = {
    {"UINT8", 8, 0, true},           {"INT8", 8, kTagSigned, true},      {"INT16", 16, kTagSigned, false},
    {"UINT16", 16, kTagUnsigned, false}, {"INT32", 32, kTagSigned, false},  {"UINT32", 32, kTagUnsigned, false},
    {"FLOAT", 32, kTagFloat, false},  {"COMPLEX", 64, kTagComplex, false}, {"RGB24", 24, kTagUnsigned, false},
    {"RGB48", 48, kTagUnsigned, false},
};

const TypeEntry* findType(const std::string& name) {
    std::string upper(name);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const TypeEntry& t : kTypes)
        if (upper == t.name) return &t;
    return nullptr;
}

} // namespace

TDibExt::TDibExt(int32_t width, int32_t height, const std::string& typeName)
    : TDib([&] {
          const TypeEntry* t = findType(typeName);
          if (!t) {
              setImageLibraryError(2);
              return TDib();
          }
          TDib d(width, height, t->bits, t->tag, t->grey ? 256u : 0u);
          if (d.isValid() && t->grey) std::memcpy(d.palette(), greyPalette().data(), 1024);
          return d;
      }()) {}

} // namespace quadrel
