#include "platform/codec_png.h"

#include "platform/codec_limits.h"

#include <cmath>
#include <csetjmp>
#include <cstring>
#include <png.h>

namespace quadrel {

namespace {

// Pictures beyond this are refused before anything is allocated.
constexpr uint32_t kMaxSide = 65535;

struct Reader {
    std::span<const uint8_t> bytes;
    size_t pos = 0;
};

struct ErrorSink {
    std::string message;
};

void onError(png_structp png, png_const_charp msg) {
    auto* sink = static_cast<ErrorSink*>(png_get_error_ptr(png));
    if (sink) sink->message = msg ? msg : "damaged PNG";
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void readData(png_structp png, png_bytep out, png_size_t n) {
    auto* r = static_cast<Reader*>(png_get_io_ptr(png));
    if (n > r->bytes.size() - r->pos) png_error(png, "unexpected end of the PNG data");
    std::memcpy(out, r->bytes.data() + r->pos, n);
    r->pos += n;
}

void writeData(png_structp png, png_bytep data, png_size_t n) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}

void flushData(png_structp) {}

} // namespace

bool isPng(std::span<const uint8_t> bytes) {
    return bytes.size() >= 8 && png_sig_cmp(bytes.data(), 0, 8) == 0;
}

BitmapPtr decodePng(std::span<const uint8_t> bytes, std::string& error) {
    if (!isPng(bytes)) {
        error = "not a PNG file";
        return nullptr;
    }
    ErrorSink sink;
    Reader reader{bytes, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &sink, onError, onWarning);
    if (!png) {
        error = "out of memory";
        return nullptr;
    }
    png_infop info = png_create_info_struct(png);
    BitmapPtr result;
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        error = sink.message.empty() ? "damaged PNG" : "damaged PNG: " + sink.message;
        return nullptr;
    }
    png_set_read_fn(png, &reader, readData);
    png_set_user_limits(png, kMaxSide, kMaxSide);
    png_set_chunk_malloc_max(png, 64u << 20);
    png_read_info(png, info);

    const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    const int colourType = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    // A few bytes must not make us allocate gigabytes: the size has to fit what the data can hold.
    std::string sizeError;
    if (!plausibleImageSize(w, h, bytes.size(), sizeError)) png_error(png, sizeError.c_str());

    bool indexed = false;
    Palette palette{};
    int paletteCount = 256;
    if (colourType == PNG_COLOR_TYPE_GRAY && !png_get_valid(png, info, PNG_INFO_tRNS)) {
        indexed = true;
        if (depth == 16) png_set_strip_16(png);
        if (depth < 8) png_set_expand_gray_1_2_4_to_8(png);
        palette = greyPalette();
    } else if (colourType == PNG_COLOR_TYPE_PALETTE && !png_get_valid(png, info, PNG_INFO_tRNS)) {
        indexed = true;
        if (depth < 8) png_set_packing(png);
        png_colorp entries = nullptr;
        int n = 0;
        png_get_PLTE(png, info, &entries, &n);
        paletteCount = std::min(n, 256);
        for (int i = 0; i < paletteCount; ++i)
            palette[static_cast<size_t>(i)] = 0xFF000000u | static_cast<uint32_t>(entries[i].red) << 16 |
                                              static_cast<uint32_t>(entries[i].green) << 8 | entries[i].blue;
    } else {
        // Everything else as 8-bit BGRA, which is 0xAARRGGBB in memory.
        if (depth == 16) png_set_strip_16(png);
        if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
        if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
        if (colourType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
        if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        png_set_bgr(png);
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    Status st = Status::Ok;
    result = Bitmap::create(static_cast<int>(w), static_cast<int>(h),
                            indexed ? PixelFormat::Indexed8 : PixelFormat::Argb32, &st);
    if (!result) png_error(png, "not enough memory for the picture");
    if (indexed) result->setPalette(palette, paletteCount);
    rows.resize(h);
    for (png_uint_32 y = 0; y < h; ++y)
        rows[y] = result->row(static_cast<int>(y));
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);

    png_uint_32 resX = 0, resY = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &resX, &resY, &unit) && unit == PNG_RESOLUTION_METER && resX > 0 && resY > 0)
        result->setResolution(static_cast<float>(resX * 0.0254), static_cast<float>(resY * 0.0254));
    png_destroy_read_struct(&png, &info, nullptr);
    return result;
}

bool encodePng(const Bitmap& bitmap, std::vector<uint8_t>& out, std::string& error) {
    ErrorSink sink;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, onError, onWarning);
    if (!png) {
        error = "out of memory";
        return false;
    }
    png_infop info = png_create_info_struct(png);
    const int w = bitmap.width(), h = bitmap.height();
    std::vector<png_byte> row;
    out.clear();
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        error = "cannot encode PNG: " + sink.message;
        return false;
    }
    png_set_write_fn(png, &out, writeData, flushData);
    const bool indexed = bitmap.pixelFormat() == PixelFormat::Indexed8;
    bool opaque = true;
    if (!indexed && bitmap.pixelFormat() == PixelFormat::Argb32) {
        for (int y = 0; y < h && opaque; ++y)
            for (int x = 0; x < w; ++x)
                if ((bitmap.row32(y)[x] >> 24) != 0xFF) {
                    opaque = false;
                    break;
                }
    }
    const int colourType = indexed ? PNG_COLOR_TYPE_PALETTE : (opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA);
    png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8, colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (indexed) {
        png_color entries[256];
        png_byte alpha[256];
        const int n = bitmap.paletteCount() > 0 ? bitmap.paletteCount() : 256;
        bool anyAlpha = false;
        for (int i = 0; i < n; ++i) {
            const uint32_t c = bitmap.palette()[static_cast<size_t>(i)];
            entries[i] = {static_cast<png_byte>(c >> 16), static_cast<png_byte>(c >> 8), static_cast<png_byte>(c)};
            alpha[i] = static_cast<png_byte>(c >> 24);
            anyAlpha |= alpha[i] != 0xFF;
        }
        png_set_PLTE(png, info, entries, n);
        if (anyAlpha) png_set_tRNS(png, info, alpha, n, nullptr);
    }
    if (bitmap.hasResolution()) {
        png_set_pHYs(png, info, static_cast<png_uint_32>(std::lround(bitmap.horizontalResolution() / 0.0254)),
                     static_cast<png_uint_32>(std::lround(bitmap.verticalResolution() / 0.0254)), PNG_RESOLUTION_METER);
    }
    png_write_info(png, info);
    const size_t channels = indexed ? 1 : (opaque ? 3 : 4);
    row.resize(static_cast<size_t>(w) * channels);
    for (int y = 0; y < h; ++y) {
        if (indexed) {
            std::memcpy(row.data(), bitmap.row(y), static_cast<size_t>(w));
        } else {
            const uint32_t* in = bitmap.row32(y);
            for (int x = 0; x < w; ++x) {
                const uint32_t p = in[x];
                png_byte* o = row.data() + static_cast<size_t>(x) * channels;
                o[0] = static_cast<png_byte>(p >> 16);
                o[1] = static_cast<png_byte>(p >> 8);
                o[2] = static_cast<png_byte>(p);
                if (channels == 4) o[3] = static_cast<png_byte>(p >> 24);
            }
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace quadrel
