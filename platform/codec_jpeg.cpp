#include "platform/codec_jpeg.h"

#include "platform/codec_limits.h"

// jpeglib.h needs FILE and size_t declared first.
#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jerror.h>
#include <jpeglib.h>

namespace quadrel {

namespace {

// A damaged progressive file can ask for thousands of scans, each a full pass over the coefficients.
constexpr int kMaxScans = 1000;
// Warnings are tolerated (many cameras write slightly off streams), but not without end.
constexpr int kMaxWarnings = 1000;
constexpr long kMaxDecoderMemory = 512L << 20;

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
    int warnings = 0;
};

void onErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void onEmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return; // trace messages
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    if (++err->warnings > kMaxWarnings) {
        std::snprintf(err->message, sizeof err->message, "too many damaged parts");
        std::longjmp(err->jump, 1);
    }
}

void onProgress(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        std::snprintf(err->message, sizeof err->message, "too many scans");
        std::longjmp(err->jump, 1);
    }
}

struct TiffReader {
    std::span<const uint8_t> d;
    bool little = true;
    bool u16(size_t at, uint16_t& v) const {
        if (at > d.size() || d.size() - at < 2) return false;
        v = little ? static_cast<uint16_t>(d[at] | d[at + 1] << 8) : static_cast<uint16_t>(d[at] << 8 | d[at + 1]);
        return true;
    }
    bool u32(size_t at, uint32_t& v) const {
        if (at > d.size() || d.size() - at < 4) return false;
        v = 0;
        for (size_t i = 0; i < 4; ++i)
            v |= static_cast<uint32_t>(d[at + i]) << (little ? 8 * i : 8 * (3 - i));
        return true;
    }
};

} // namespace

bool exifResolution(std::span<const uint8_t> tiff, float& dpiX, float& dpiY) {
    TiffReader r{tiff};
    if (tiff.size() < 8) return false;
    if (tiff[0] == 'I' && tiff[1] == 'I')
        r.little = true;
    else if (tiff[0] == 'M' && tiff[1] == 'M')
        r.little = false;
    else
        return false;
    uint16_t magic;
    uint32_t ifd;
    if (!r.u16(2, magic) || magic != 42 || !r.u32(4, ifd)) return false;
    uint16_t entries;
    if (!r.u16(ifd, entries)) return false;
    double x = 0, y = 0;
    uint16_t unit = 2; // inch unless the block says otherwise
    for (uint32_t i = 0; i < entries; ++i) {
        const size_t e = static_cast<size_t>(ifd) + 2 + 12 * static_cast<size_t>(i);
        uint16_t tag, type;
        uint32_t count, value;
        if (!r.u16(e, tag) || !r.u16(e + 2, type) || !r.u32(e + 4, count) || !r.u32(e + 8, value)) return false;
        if ((tag == 0x011A || tag == 0x011B) && type == 5 && count >= 1) { // XResolution, YResolution
            uint32_t num, den;
            if (!r.u32(value, num) || !r.u32(static_cast<size_t>(value) + 4, den) || den == 0) continue;
            (tag == 0x011A ? x : y) = static_cast<double>(num) / den;
        } else if (tag == 0x0128 && type == 3) { // ResolutionUnit
            r.u16(e + 8, unit);
        }
    }
    if (unit == 3) {
        x *= 2.54;
        y *= 2.54;
    } else if (unit != 2) {
        return false;
    }
    if (!(x > 0) || !(y > 0) || !std::isfinite(x) || !std::isfinite(y)) return false;
    dpiX = static_cast<float>(x);
    dpiY = static_cast<float>(y);
    return true;
}

bool isJpeg(std::span<const uint8_t> bytes) {
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

BitmapPtr decodeJpeg(std::span<const uint8_t> bytes, std::string& error) {
    if (!isJpeg(bytes)) {
        error = "not a JPEG file";
        return nullptr;
    }
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onErrorExit;
    err.pub.emit_message = onEmitMessage;
    jpeg_progress_mgr progress{};
    progress.progress_monitor = onProgress;
    // Kept outside the jump: locals changed after setjmp must not be relied on after the jump.
    BitmapPtr* volatile resultHolder = new BitmapPtr;
    std::vector<uint8_t>* volatile rowHolder = new std::vector<uint8_t>;
    auto cleanup = [&] {
        delete resultHolder;
        delete rowHolder;
    };
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        cleanup();
        error = std::string("damaged JPEG: ") + err.message;
        return nullptr;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &progress;
    cinfo.mem->max_memory_to_use = kMaxDecoderMemory;
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);

    std::string sizeError;
    if (!plausibleImageSize(cinfo.image_width, cinfo.image_height, bytes.size(), sizeError)) {
        std::snprintf(err.message, sizeof err.message, "%s", sizeError.c_str());
        std::longjmp(err.jump, 1);
    }
    const bool grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = grey ? JCS_GRAYSCALE : (cmyk ? JCS_CMYK : JCS_EXT_BGRA);

    float dpiX = 0, dpiY = 0;
    bool haveDpi = false;
    if (cinfo.saw_JFIF_marker && (cinfo.density_unit == 1 || cinfo.density_unit == 2) && cinfo.X_density > 0 &&
        cinfo.Y_density > 0) {
        const float f = cinfo.density_unit == 2 ? 2.54f : 1.0f;
        dpiX = cinfo.X_density * f;
        dpiY = cinfo.Y_density * f;
        haveDpi = true;
    }
    if (!haveDpi) {
        for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
            if (m->marker != JPEG_APP0 + 1 || m->data_length < 6 || std::memcmp(m->data, "Exif\0\0", 6) != 0) continue;
            if (exifResolution({m->data + 6, m->data_length - 6}, dpiX, dpiY)) {
                haveDpi = true;
                break;
            }
        }
    }

    jpeg_start_decompress(&cinfo);
    Status st = Status::Ok;
    *resultHolder = Bitmap::create(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                                   grey ? PixelFormat::Indexed8 : PixelFormat::Argb32, &st);
    Bitmap* bmp = resultHolder->get();
    if (!bmp) {
        std::snprintf(err.message, sizeof err.message, "cannot create the picture: %s", statusText(st));
        std::longjmp(err.jump, 1);
    }
    if (grey) bmp->setPalette(greyPalette());
    if (cmyk) rowHolder->resize(static_cast<size_t>(cinfo.output_width) * 4);
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        JSAMPROW row = cmyk ? rowHolder->data() : bmp->row(y);
        jpeg_read_scanlines(&cinfo, &row, 1);
        if (cmyk) {
            // Adobe writes CMYK inverted (0 is full ink); others do not.
            const bool inverted = cinfo.saw_Adobe_marker;
            uint32_t* out = bmp->row32(y);
            const uint8_t* in = rowHolder->data();
            for (JDIMENSION x = 0; x < cinfo.output_width; ++x) {
                uint32_t c = in[4 * x], m = in[4 * x + 1], yl = in[4 * x + 2], k = in[4 * x + 3];
                if (!inverted) {
                    c = 255 - c;
                    m = 255 - m;
                    yl = 255 - yl;
                    k = 255 - k;
                }
                out[x] = 0xFF000000u | (c * k / 255) << 16 | (m * k / 255) << 8 | (yl * k / 255);
            }
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    if (haveDpi) bmp->setResolution(dpiX, dpiY);
    BitmapPtr result = std::move(*resultHolder);
    cleanup();
    return result;
}

bool encodeJpeg(const Bitmap& bitmap, std::vector<uint8_t>& out, std::string& error, int quality) {
    out.clear();
    jpeg_compress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onErrorExit;
    err.pub.emit_message = onEmitMessage;
    // Everything the error path frees lives on the heap, out of reach of the jump's register games.
    struct State {
        unsigned char* mem = nullptr;
        unsigned long size = 0;
        std::vector<uint8_t> row;
    };
    State* volatile state = new State;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(state->mem);
        delete state;
        error = std::string("cannot encode JPEG: ") + err.message;
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &state->mem, &state->size);
    const int w = bitmap.width(), h = bitmap.height();
    const bool grey = bitmap.pixelFormat() == PixelFormat::Indexed8 && isGreyRamp(bitmap.palette(), 256);
    cinfo.image_width = static_cast<JDIMENSION>(w);
    cinfo.image_height = static_cast<JDIMENSION>(h);
    cinfo.input_components = grey ? 1 : 4;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGRX;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.write_JFIF_header = TRUE;
    if (bitmap.hasResolution()) {
        cinfo.density_unit = 1;
        cinfo.X_density = static_cast<UINT16>(std::clamp(std::lround(bitmap.horizontalResolution()), 1L, 65535L));
        cinfo.Y_density = static_cast<UINT16>(std::clamp(std::lround(bitmap.verticalResolution()), 1L, 65535L));
    } else {
        cinfo.density_unit = 0;
        cinfo.X_density = 1;
        cinfo.Y_density = 1;
    }
    jpeg_start_compress(&cinfo, TRUE);
    state->row.resize(static_cast<size_t>(w) * 4);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        JSAMPROW row;
        if (grey) {
            row = const_cast<JSAMPROW>(bitmap.row(y));
        } else if (bitmap.pixelFormat() == PixelFormat::Indexed8) {
            auto* o = reinterpret_cast<uint32_t*>(state->row.data());
            for (int x = 0; x < w; ++x)
                o[x] = bitmap.palette()[bitmap.row(y)[x]];
            row = state->row.data();
        } else {
            row = const_cast<JSAMPROW>(bitmap.row(y));
        }
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    out.assign(state->mem, state->mem + state->size);
    jpeg_destroy_compress(&cinfo);
    std::free(state->mem);
    delete state;
    return true;
}

} // namespace quadrel
