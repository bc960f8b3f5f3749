#include "platform/codec_bmp.h"

#include "platform/codec_limits.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace quadrel {

namespace {

enum : uint32_t { BiRgb = 0, BiRle8 = 1, BiRle4 = 2, BiBitfields = 3, BiAlphaBitfields = 6 };

uint16_t rd16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t rd32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}
void wr16(std::vector<uint8_t>& o, uint16_t v) {
    o.push_back(static_cast<uint8_t>(v));
    o.push_back(static_cast<uint8_t>(v >> 8));
}
void wr32(std::vector<uint8_t>& o, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        o.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Extracts one channel through its bit mask and scales it to eight bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;
    explicit Channel(uint32_t m = 0) : mask(m) {
        if (!m) return;
        shift = std::countr_zero(m);
        max = m >> shift;
    }
    uint8_t operator()(uint32_t v) const {
        if (!mask) return 0;
        const uint64_t raw = (v & mask) >> shift;
        return static_cast<uint8_t>((raw * 255 + max / 2) / max);
    }
};

bool fail(std::string& error, const char* why) {
    error = std::string("damaged BMP: ") + why;
    return false;
}

// RLE8 and RLE4: runs and literal groups, row by row from the bottom, with escapes for end of line, end of
// picture and a jump. Pixels the data never reaches keep index 0; writes outside the picture are dropped.
bool decodeRle(std::span<const uint8_t> data, int bits, bool bottomUp, Bitmap& bmp, std::string& error) {
    const int w = bmp.width(), h = bmp.height();
    size_t p = 0;
    int64_t x = 0, y = 0; // y counts rows in file order
    auto put = [&](uint8_t index) {
        if (x >= 0 && x < w && y >= 0 && y < h) bmp.row(static_cast<int>(bottomUp ? h - 1 - y : y))[x] = index;
        ++x;
    };
    while (p + 2 <= data.size()) {
        const uint8_t n = data[p], v = data[p + 1];
        p += 2;
        if (n > 0) {
            for (int i = 0; i < n; ++i)
                put(bits == 8 ? v : static_cast<uint8_t>(i % 2 == 0 ? v >> 4 : v & 0x0F));
            continue;
        }
        if (v == 0) { // end of line
            x = 0;
            ++y;
        } else if (v == 1) { // end of picture
            return true;
        } else if (v == 2) { // jump
            if (p + 2 > data.size()) break;
            x += data[p];
            y += data[p + 1];
            p += 2;
        } else { // literal pixels, padded to a 16-bit boundary
            const size_t bytes = bits == 8 ? v : (static_cast<size_t>(v) + 1) / 2;
            const size_t padded = (bytes + 1) & ~size_t{1};
            if (p + bytes > data.size()) return fail(error, "RLE data cut short");
            for (int i = 0; i < v; ++i) {
                const uint8_t b = data[p + static_cast<size_t>(bits == 8 ? i : i / 2)];
                put(bits == 8 ? b : static_cast<uint8_t>(i % 2 == 0 ? b >> 4 : b & 0x0F));
            }
            p += std::min(padded, data.size() - p);
        }
        if (y > h) return true; // everything after the last row is ignored
    }
    // Writers that leave out the end marker are common; what was decoded stands.
    return true;
}

} // namespace

bool isBmp(std::span<const uint8_t> bytes) {
    return bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M';
}

BitmapPtr decodeBmp(std::span<const uint8_t> bytes, std::string& error) {
    if (!isBmp(bytes) || bytes.size() < 14 + 12) {
        fail(error, "not a BMP file");
        return nullptr;
    }
    const uint8_t* d = bytes.data();
    const size_t size = bytes.size();
    const uint32_t dataOffset = rd32(d + 10);
    const uint32_t headerSize = rd32(d + 14);
    if (headerSize < 12 || headerSize > size - 14) {
        fail(error, "header size out of range");
        return nullptr;
    }
    const uint8_t* hd = d + 14;
    int64_t width, height;
    uint32_t bits, compression = BiRgb, colours = 0;
    int32_t ppmX = 0, ppmY = 0;
    uint32_t masks[4] = {0, 0, 0, 0};
    bool haveMasks = false;
    const bool core = headerSize == 12;
    size_t paletteEntrySize = 4;
    if (core) {
        width = rd16(hd + 4);
        height = rd16(hd + 6);
        bits = rd16(hd + 10);
        paletteEntrySize = 3;
    } else {
        if (headerSize < 16) {
            fail(error, "header size out of range");
            return nullptr;
        }
        width = static_cast<int32_t>(rd32(hd + 4));
        height = static_cast<int32_t>(rd32(hd + 8));
        bits = rd16(hd + 14);
        if (headerSize >= 20) compression = rd32(hd + 16);
        if (headerSize >= 32) {
            ppmX = static_cast<int32_t>(rd32(hd + 24));
            ppmY = static_cast<int32_t>(rd32(hd + 28));
        }
        if (headerSize >= 36) colours = rd32(hd + 32);
        if (headerSize >= 52) {
            masks[0] = rd32(hd + 40);
            masks[1] = rd32(hd + 44);
            masks[2] = rd32(hd + 48);
            haveMasks = true;
        }
        if (headerSize >= 56) masks[3] = rd32(hd + 52);
    }
    size_t tableAt = 14 + static_cast<size_t>(headerSize);
    if ((compression == BiBitfields || compression == BiAlphaBitfields) && headerSize == 40) {
        // The masks follow a short header.
        const size_t n = compression == BiAlphaBitfields ? 4 : 3;
        if (tableAt + 4 * n > size) {
            fail(error, "bit field masks cut short");
            return nullptr;
        }
        for (size_t i = 0; i < n; ++i)
            masks[i] = rd32(d + tableAt + 4 * i);
        tableAt += 4 * n;
        haveMasks = true;
    }
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0) {
        fail(error, "picture has no pixels");
        return nullptr;
    }
    const bool indexed = bits == 1 || bits == 2 || bits == 4 || bits == 8;
    if (!indexed && bits != 16 && bits != 24 && bits != 32) {
        fail(error, "unsupported bit depth");
        return nullptr;
    }
    const bool rle = compression == BiRle8 || compression == BiRle4;
    if ((compression == BiRle8 && bits != 8) || (compression == BiRle4 && bits != 4) ||
        (!rle && compression != BiRgb && compression != BiBitfields && compression != BiAlphaBitfields) ||
        ((compression == BiBitfields || compression == BiAlphaBitfields) && bits != 16 && bits != 32)) {
        fail(error, "unsupported compression");
        return nullptr;
    }
    if (rle && topDown) {
        fail(error, "a run-length encoded picture cannot be stored top-down");
        return nullptr;
    }
    if (dataOffset > size) {
        fail(error, "pixel data offset beyond the end of the file");
        return nullptr;
    }
    const std::span<const uint8_t> pixels = bytes.subspan(dataOffset);
    const uint64_t rowBytes = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
    if (!rle) {
        if (rowBytes * static_cast<uint64_t>(height) > pixels.size()) {
            fail(error, "pixel data cut short");
            return nullptr;
        }
    }
    if (!plausibleImageSize(static_cast<uint64_t>(width), static_cast<uint64_t>(height), size, error)) {
        error = "damaged BMP: " + error;
        return nullptr;
    }

    Status st = Status::Ok;
    BitmapPtr bmp = Bitmap::create(static_cast<int>(width), static_cast<int>(height),
                                   indexed ? PixelFormat::Indexed8 : PixelFormat::Argb32, &st);
    if (!bmp) {
        error = std::string("cannot create the picture: ") + statusText(st);
        return nullptr;
    }
    if (indexed) {
        const uint32_t maxColours = 1u << bits;
        uint32_t n = colours == 0 || colours > maxColours ? maxColours : colours;
        // A table cut short by the pixel data (or the file end) keeps the entries that are there.
        const size_t tableEnd = std::min<size_t>(size, std::max<size_t>(dataOffset, tableAt));
        const size_t fit = tableEnd > tableAt ? (tableEnd - tableAt) / paletteEntrySize : 0;
        n = static_cast<uint32_t>(std::min<size_t>(n, fit));
        if (n == 0) {
            fail(error, "colour table missing");
            return nullptr;
        }
        Palette pal{};
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* e = d + tableAt + i * paletteEntrySize;
            pal[i] = 0xFF000000u | static_cast<uint32_t>(e[2]) << 16 | static_cast<uint32_t>(e[1]) << 8 | e[0];
        }
        bmp->setPalette(pal, static_cast<int>(maxColours));
    }
    if (ppmX > 0 && ppmY > 0) bmp->setResolution(static_cast<float>(ppmX * 0.0254), static_cast<float>(ppmY * 0.0254));

    const int w = static_cast<int>(width), h = static_cast<int>(height);
    if (rle) {
        if (!decodeRle(pixels, bits, true, *bmp, error)) return nullptr;
        return bmp;
    }
    if (compression == BiRgb) {
        // Plain pixels: 16 bits are 5-5-5 and the fourth byte of 32-bit pixels is unused, whatever masks a
        // long header carries.
        masks[0] = bits == 16 ? 0x7C00 : 0x00FF0000;
        masks[1] = bits == 16 ? 0x03E0 : 0x0000FF00;
        masks[2] = bits == 16 ? 0x001F : 0x000000FF;
        masks[3] = 0;
    } else if (!haveMasks || (masks[0] | masks[1] | masks[2]) == 0) {
        fail(error, "bit field masks missing");
        return nullptr;
    }
    const Channel cr(masks[0]), cg(masks[1]), cb(masks[2]), ca(masks[3]);
    for (int y = 0; y < h; ++y) {
        const uint8_t* src = pixels.data() + static_cast<size_t>(rowBytes) * static_cast<size_t>(y);
        const int dy = topDown ? y : h - 1 - y;
        if (indexed) {
            uint8_t* dst = bmp->row(dy);
            const int perByte = 8 / static_cast<int>(bits);
            const uint8_t mask = static_cast<uint8_t>((1u << bits) - 1);
            for (int x = 0; x < w; ++x) {
                const int shift = 8 - static_cast<int>(bits) * (x % perByte + 1);
                dst[x] = static_cast<uint8_t>((src[x / perByte] >> shift) & mask);
            }
            continue;
        }
        uint32_t* dst = bmp->row32(dy);
        for (int x = 0; x < w; ++x) {
            if (bits == 24) {
                const uint8_t* p = src + 3 * static_cast<size_t>(x);
                dst[x] = 0xFF000000u | static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[1]) << 8 | p[0];
                continue;
            }
            const uint32_t v =
                bits == 16 ? rd16(src + 2 * static_cast<size_t>(x)) : rd32(src + 4 * static_cast<size_t>(x));
            const uint32_t a = masks[3] ? ca(v) : 0xFFu;
            dst[x] = a << 24 | static_cast<uint32_t>(cr(v)) << 16 | static_cast<uint32_t>(cg(v)) << 8 | cb(v);
        }
    }
    return bmp;
}

bool encodeBmp(const Bitmap& bitmap, std::vector<uint8_t>& out, std::string& error) {
    out.clear();
    const int w = bitmap.width(), h = bitmap.height();
    const PixelFormat fmt = bitmap.pixelFormat();
    const bool indexed = fmt == PixelFormat::Indexed8;
    bool alpha = false;
    if (fmt == PixelFormat::Argb32) {
        for (int y = 0; y < h && !alpha; ++y)
            for (int x = 0; x < w; ++x)
                if ((bitmap.row32(y)[x] >> 24) != 0xFF) {
                    alpha = true;
                    break;
                }
    }
    const int bits = indexed ? 8 : (alpha ? 32 : 24);
    const uint64_t rowBytes = (static_cast<uint64_t>(w) * static_cast<uint64_t>(bits) + 31) / 32 * 4;
    const uint32_t headerSize = alpha ? 108 : 40;
    const uint32_t colours =
        indexed ? static_cast<uint32_t>(bitmap.paletteCount() > 0 ? bitmap.paletteCount() : 256) : 0;
    const uint64_t offset = 14 + headerSize + 4ull * colours;
    const uint64_t total = offset + rowBytes * static_cast<uint64_t>(h);
    if (total > 0xFFFFFFFFull) {
        error = "picture too large for a BMP file";
        return false;
    }
    out.reserve(static_cast<size_t>(total));
    out.push_back('B');
    out.push_back('M');
    wr32(out, static_cast<uint32_t>(total));
    wr32(out, 0);
    wr32(out, static_cast<uint32_t>(offset));
    wr32(out, headerSize);
    wr32(out, static_cast<uint32_t>(w));
    wr32(out, static_cast<uint32_t>(h)); // bottom-up
    wr16(out, 1);
    wr16(out, static_cast<uint16_t>(bits));
    wr32(out, alpha ? BiBitfields : BiRgb);
    wr32(out, static_cast<uint32_t>(rowBytes * static_cast<uint64_t>(h)));
    int32_t ppmX = 0, ppmY = 0;
    if (bitmap.hasResolution()) {
        ppmX = static_cast<int32_t>(std::lround(bitmap.horizontalResolution() / 0.0254));
        ppmY = static_cast<int32_t>(std::lround(bitmap.verticalResolution() / 0.0254));
    }
    wr32(out, static_cast<uint32_t>(ppmX));
    wr32(out, static_cast<uint32_t>(ppmY));
    wr32(out, colours);
    wr32(out, 0);
    if (alpha) {
        wr32(out, 0x00FF0000);
        wr32(out, 0x0000FF00);
        wr32(out, 0x000000FF);
        wr32(out, 0xFF000000);
        wr32(out, 0x73524742); // colour space: sRGB
        for (int i = 0; i < 12; ++i)
            wr32(out, 0); // end points and gamma, unused with sRGB
    }
    for (uint32_t i = 0; i < colours; ++i) {
        const uint32_t c = bitmap.palette()[i];
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(static_cast<uint8_t>(c >> 8));
        out.push_back(static_cast<uint8_t>(c >> 16));
        out.push_back(0);
    }
    std::vector<uint8_t> row(static_cast<size_t>(rowBytes), 0);
    for (int y = h - 1; y >= 0; --y) {
        if (indexed) {
            std::memcpy(row.data(), bitmap.row(y), static_cast<size_t>(w));
        } else {
            const uint32_t* src = bitmap.row32(y);
            for (int x = 0; x < w; ++x) {
                const uint32_t p = src[x];
                if (alpha) {
                    std::memcpy(row.data() + 4 * static_cast<size_t>(x), &p, 4);
                } else {
                    uint8_t* o = row.data() + 3 * static_cast<size_t>(x);
                    o[0] = static_cast<uint8_t>(p);
                    o[1] = static_cast<uint8_t>(p >> 8);
                    o[2] = static_cast<uint8_t>(p >> 16);
                }
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    return true;
}

} // namespace quadrel
