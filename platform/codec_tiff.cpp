#include "platform/codec_tiff.h"

#include "platform/codec_limits.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <limits>
#include <tiffio.h>
#include <unordered_map>

namespace quadrel {

namespace {

// Single allocations libtiff makes for one strip or tile; larger ones come only from damaged files.
constexpr tmsize_t kMaxTiffAllocation = tmsize_t{256} << 20;
// The RGBA buffer of one block of rows stays below this size.
constexpr uint64_t kMaxBlockBytes = uint64_t{64} << 20;
// Strips of about this many bytes keep the layout friendly to readers.
constexpr uint32_t kStripBytes = 8192;

struct ErrorSink {
    std::string message;
    bool failed = false;
};

int onTiffError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    auto* sink = static_cast<ErrorSink*>(user);
    if (sink && !sink->failed) {
        char buf[512];
        std::vsnprintf(buf, sizeof buf, fmt, ap);
        sink->message = module && *module ? std::string(module) + ": " + buf : std::string(buf);
    }
    if (sink) sink->failed = true;
    return 1; // handled: nothing goes to stderr
}

int onTiffWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

// Options that route libtiff's errors to the sink and bound its allocations.
struct Options {
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    explicit Options(ErrorSink& sink) {
        TIFFOpenOptionsSetMaxSingleMemAlloc(opts, kMaxTiffAllocation);
        TIFFOpenOptionsSetErrorHandlerExtR(opts, onTiffError, &sink);
        TIFFOpenOptionsSetWarningHandlerExtR(opts, onTiffWarning, nullptr);
    }
    ~Options() { TIFFOpenOptionsFree(opts); }
    Options(const Options&) = delete;
    Options& operator=(const Options&) = delete;
};

// A TIFF held in memory, readable and writable through libtiff's client interface.
struct MemoryFile {
    std::vector<uint8_t>* grow = nullptr; // when writing
    std::span<const uint8_t> bytes;       // when reading
    uint64_t pos = 0;

    uint64_t size() const { return grow ? grow->size() : bytes.size(); }
    const uint8_t* data() const { return grow ? grow->data() : bytes.data(); }
};

tmsize_t memRead(thandle_t h, void* buf, tmsize_t n) {
    auto* f = static_cast<MemoryFile*>(h);
    if (n <= 0 || f->pos >= f->size()) return 0;
    const uint64_t count = std::min<uint64_t>(static_cast<uint64_t>(n), f->size() - f->pos);
    std::memcpy(buf, f->data() + f->pos, static_cast<size_t>(count));
    f->pos += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t memWrite(thandle_t h, void* buf, tmsize_t n) {
    auto* f = static_cast<MemoryFile*>(h);
    if (!f->grow || n < 0) return -1;
    const uint64_t end = f->pos + static_cast<uint64_t>(n);
    if (end > f->grow->max_size()) return -1;
    try {
        if (end > f->grow->size()) f->grow->resize(static_cast<size_t>(end));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    std::memcpy(f->grow->data() + f->pos, buf, static_cast<size_t>(n));
    f->pos = end;
    return n;
}

toff_t memSeek(thandle_t h, toff_t off, int whence) {
    auto* f = static_cast<MemoryFile*>(h);
    uint64_t base = whence == SEEK_CUR ? f->pos : (whence == SEEK_END ? f->size() : 0);
    const auto delta = static_cast<int64_t>(off);
    if (delta < 0 && static_cast<uint64_t>(-delta) > base) return static_cast<toff_t>(-1);
    const uint64_t target = base + static_cast<uint64_t>(delta);
    // Readers may seek past the end (the next read then gives nothing); writers never need more than 4 GiB.
    if (target > (uint64_t{1} << 32) + f->size()) return static_cast<toff_t>(-1);
    f->pos = target;
    return f->pos;
}

int memClose(thandle_t) {
    return 0;
}
toff_t memSize(thandle_t h) {
    return static_cast<MemoryFile*>(h)->size();
}
int memMap(thandle_t, void**, toff_t*) {
    return 0;
}
void memUnmap(thandle_t, void*, toff_t) {}

TIFF* openMemory(MemoryFile& file, const char* mode, ErrorSink& sink) {
    Options options(sink);
    return TIFFClientOpenExt("memory", mode, &file, memRead, memWrite, memSeek, memClose, memSize, memMap, memUnmap,
                             options.opts);
}

TIFF* openPath(const std::string& path, const char* mode, ErrorSink& sink) {
    Options options(sink);
    return TIFFOpenExt(path.c_str(), mode, options.opts);
}

// Index of a colour in a file's colour table: the first entry that holds it, or the nearest one for
// colours the table does not hold.
class PaletteIndex {
public:
    PaletteIndex(const Palette& p, int count) : m_palette(p), m_count(count) {}
    uint8_t operator()(uint32_t rgb) {
        auto it = m_cache.find(rgb);
        if (it != m_cache.end()) return it->second;
        int best = 0;
        int64_t bestDistance = std::numeric_limits<int64_t>::max();
        for (int i = 0; i < m_count; ++i) {
            const uint32_t c = m_palette[static_cast<size_t>(i)] & 0xFFFFFF;
            const int64_t dr = static_cast<int64_t>(c >> 16) - (rgb >> 16);
            const int64_t dg = static_cast<int64_t>((c >> 8) & 0xFF) - ((rgb >> 8) & 0xFF);
            const int64_t db = static_cast<int64_t>(c & 0xFF) - (rgb & 0xFF);
            const int64_t dist = dr * dr + dg * dg + db * db;
            if (dist < bestDistance) {
                bestDistance = dist;
                best = i;
                if (dist == 0) break;
            }
        }
        if (m_cache.size() < 65536) m_cache.emplace(rgb, static_cast<uint8_t>(best));
        return static_cast<uint8_t>(best);
    }

private:
    const Palette& m_palette;
    int m_count;
    std::unordered_map<uint32_t, uint8_t> m_cache;
};

// Reads the whole picture of an open TIFF; the caller closes it.
BitmapPtr decodeOpen(TIFF* tif, ErrorSink& sink, uint64_t dataBytes, CTIFF* state, std::string& error) {
    uint32_t width = 0, height = 0;
    uint16_t bps = 1, photometric = 0, spp = 1, compression = 1;
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    if (state) {
        state->m_height = static_cast<int>(std::min<uint32_t>(height, INT32_MAX));
        state->m_width = static_cast<int>(std::min<uint32_t>(width, INT32_MAX));
        state->m_bitsPerSample = bps;
        state->m_photometric = photometric;
        state->m_samplesPerPixel = spp;
        state->m_compression = compression;
    }
    if (!plausibleImageSize(width, height, dataBytes, error)) {
        error = "damaged TIFF: " + error;
        return nullptr;
    }
    char emsg[1024] = "";
    if (!TIFFRGBAImageOK(tif, emsg)) {
        error = std::string("unsupported TIFF: ") + emsg;
        return nullptr;
    }
    TIFFRGBAImage img;
    if (!TIFFRGBAImageBegin(&img, tif, 1, emsg)) {
        error = std::string("unsupported TIFF: ") + emsg;
        return nullptr;
    }
    struct EndGuard {
        TIFFRGBAImage* img;
        ~EndGuard() { TIFFRGBAImageEnd(img); }
    } endGuard{&img};
    img.req_orientation = ORIENTATION_TOPLEFT;

    const bool indexed = photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK ||
                         photometric == PHOTOMETRIC_PALETTE;
    Status st = Status::Ok;
    BitmapPtr bmp = Bitmap::create(static_cast<int>(width), static_cast<int>(height),
                                   indexed ? PixelFormat::Indexed8 : PixelFormat::Argb32, &st);
    if (!bmp) {
        error = std::string("cannot create the picture: ") + statusText(st);
        return nullptr;
    }

    // Resolution: only when the file gives one in inches or centimetres.
    float xres = 0, yres = 0;
    uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres) && TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yres) &&
        unit != RESUNIT_NONE) {
        if (unit == RESUNIT_CENTIMETER) {
            xres *= 2.54f;
            yres *= 2.54f;
        }
        if (xres > 0 && yres > 0 && std::isfinite(xres) && std::isfinite(yres)) bmp->setResolution(xres, yres);
    }

    int n = 0;
    if (indexed) {
        n = bps >= 8 ? 256 : 1 << bps;
        const auto step = static_cast<uint8_t>(256 / n); // 8-bit arithmetic, as the table always had
        Palette pal{};
        if (photometric == PHOTOMETRIC_PALETTE) {
            uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
            if (TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) && r && g && b) {
                // libtiff holds 2^BitsPerSample entries; only the first n are used.
                for (int i = 0; i < n; ++i)
                    pal[static_cast<size_t>(i)] = 0xFF000000u | static_cast<uint32_t>(r[i] >> 8) << 16 |
                                                  static_cast<uint32_t>(g[i] >> 8) << 8 | (b[i] >> 8);
            }
        } else {
            for (int i = 0; i < n; ++i) {
                const int level = photometric == PHOTOMETRIC_MINISBLACK ? i : n - 1 - i;
                const auto grey = static_cast<uint8_t>(level * step);
                pal[static_cast<size_t>(i)] = 0xFF000000u + grey * 0x010101u;
            }
            pal[static_cast<size_t>(photometric == PHOTOMETRIC_MINISBLACK ? n - 1 : 0)] = 0xFFFFFFFFu;
        }
        bmp->setPalette(pal, n);
    }

    // Rows come in blocks of one strip or one tile row, never more than the picture has (a file without
    // RowsPerStrip claims 2^32 - 1) and never more than the block buffer allows.
    uint32_t block = height;
    if (TIFFIsTiled(tif)) {
        uint32_t tileLength = 0;
        if (TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength) && tileLength > 0) block = tileLength;
    } else {
        uint32_t rps = 0;
        if (TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rps) && rps > 0) block = rps;
    }
    block = std::min(block, height);
    const uint64_t rowBytes = static_cast<uint64_t>(width) * 4;
    block =
        static_cast<uint32_t>(std::clamp<uint64_t>(std::min<uint64_t>(block, kMaxBlockBytes / rowBytes), 1, height));
    std::vector<uint32_t> raster;
    try {
        raster.resize(static_cast<size_t>(width) * block);
    } catch (const std::bad_alloc&) {
        error = "not enough memory for the TIFF block buffer";
        return nullptr;
    }
    PaletteIndex index(bmp->palette(), n);
    const bool grey = photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK;
    for (uint32_t start = 0; start < height; start += block) {
        const uint32_t rows = std::min(block, height - start);
        img.row_offset = static_cast<int>(start);
        img.col_offset = 0;
        if (!TIFFRGBAImageGet(&img, raster.data(), width, rows) || sink.failed) {
            error = "damaged TIFF: " + (sink.message.empty() ? std::string("cannot decode the pixels") : sink.message);
            return nullptr;
        }
        for (uint32_t r = 0; r < rows; ++r) {
            const uint32_t* src = raster.data() + static_cast<size_t>(r) * width;
            const int y = static_cast<int>(start + r);
            if (grey) {
                // libtiff spreads the sample values over 0..255; the sample itself is the index, so 2- and
                // 4-bit files keep their levels although their grey steps differ from the table's ramp.
                uint8_t* dst = bmp->row(y);
                for (uint32_t x = 0; x < width; ++x) {
                    const uint32_t v = TIFFGetR(src[x]);
                    const uint32_t level = photometric == PHOTOMETRIC_MINISWHITE ? 255 - v : v;
                    dst[x] = static_cast<uint8_t>((level * static_cast<uint32_t>(n - 1) + 127) / 255);
                }
            } else if (indexed) {
                uint8_t* dst = bmp->row(y);
                for (uint32_t x = 0; x < width; ++x) {
                    const uint32_t p = src[x];
                    dst[x] = index(TIFFGetR(p) << 16 | TIFFGetG(p) << 8 | TIFFGetB(p));
                }
            } else {
                uint32_t* dst = bmp->row32(y);
                for (uint32_t x = 0; x < width; ++x) {
                    const uint32_t p = src[x];
                    dst[x] = TIFFGetA(p) << 24 | TIFFGetR(p) << 16 | TIFFGetG(p) << 8 | TIFFGetB(p);
                }
            }
        }
    }
    if (sink.failed) {
        error = "damaged TIFF: " + sink.message;
        return nullptr;
    }
    return bmp;
}

// One row of the bitmap as 8-bit RGB or RGBA samples.
void rowSamples(const Bitmap& b, int y, bool alpha, std::vector<uint8_t>& out) {
    const int w = b.width();
    const size_t channels = alpha ? 4 : 3;
    for (int x = 0; x < w; ++x) {
        uint32_t p;
        if (b.pixelFormat() == PixelFormat::Indexed8)
            p = b.palette()[b.row(y)[x]];
        else
            p = b.row32(y)[x];
        if (b.pixelFormat() == PixelFormat::Rgb32) p |= 0xFF000000u;
        uint8_t* o = out.data() + static_cast<size_t>(x) * channels;
        o[0] = static_cast<uint8_t>(p >> 16);
        o[1] = static_cast<uint8_t>(p >> 8);
        o[2] = static_cast<uint8_t>(p);
        if (alpha) o[3] = static_cast<uint8_t>(p >> 24);
    }
}

} // namespace

bool isTiff(std::span<const uint8_t> bytes) {
    if (bytes.size() < 4) return false;
    const bool le = bytes[0] == 'I' && bytes[1] == 'I' && (bytes[2] == 42 || bytes[2] == 43) && bytes[3] == 0;
    const bool be = bytes[0] == 'M' && bytes[1] == 'M' && bytes[2] == 0 && (bytes[3] == 42 || bytes[3] == 43);
    return le || be;
}

bool CTIFF::write(const std::string& path, const Bitmap& bitmap, bool alpha) {
    m_error.clear();
    ErrorSink sink;
    TIFF* tif = openPath(path, "w", sink);
    if (!tif) {
        m_error = "cannot create " + path + (sink.message.empty() ? "" : ": " + sink.message);
        return false;
    }
    const auto w = static_cast<uint32_t>(bitmap.width());
    const auto h = static_cast<uint32_t>(bitmap.height());
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, alpha ? 4 : 3);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    if (alpha) {
        const uint16_t extra[1] = {EXTRASAMPLE_ASSOCALPHA};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, bitmap.horizontalResolution());
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, bitmap.verticalResolution());
    // RGB rows are counted in whole 16-bit units, RGBA rows in bytes.
    const uint64_t rowSize = alpha ? uint64_t{w} * 4 : (uint64_t{w} * 24 + 15) / 16 * 2;
    uint32_t rowsPerStrip = static_cast<uint32_t>(std::max<uint64_t>(1, kStripBytes / rowSize));
    switch (m_mode) {
    case LZW:
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_NONE);
        break;
    case JPEG:
        if (!alpha) {
            TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_JPEG);
            TIFFSetField(tif, TIFFTAG_JPEGQUALITY, m_jpegQuality);
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
            rowsPerStrip = 16;
        }
        break;
    case Deflate:
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_DEFLATE);
        TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_NONE);
        break;
    default:
        break;
    }
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    std::vector<uint8_t> row(static_cast<size_t>(w) * (alpha ? 4 : 3));
    bool ok = !sink.failed;
    for (uint32_t y = 0; ok && y < h; ++y) {
        rowSamples(bitmap, static_cast<int>(y), alpha, row);
        if (TIFFWriteScanline(tif, row.data(), y, 0) < 0) ok = false;
    }
    // A full disk shows only when the last strips go out: the flush counts as part of the write.
    if (ok && !TIFFFlush(tif)) ok = false;
    TIFFClose(tif);
    if (ok && sink.failed) ok = false;
    if (!ok) m_error = "cannot write " + path + (sink.message.empty() ? "" : ": " + sink.message);
    return ok;
}

bool CTIFF::writeRGB(const std::string& path, const Bitmap& bitmap) {
    return write(path, bitmap, false);
}
bool CTIFF::writeRGBA(const std::string& path, const Bitmap& bitmap) {
    return write(path, bitmap, true);
}

BitmapPtr CTIFF::read(const std::string& path) {
    m_error.clear();
    ErrorSink sink;
    std::error_code ec;
    const uint64_t size = std::filesystem::file_size(path, ec);
    TIFF* tif = ec ? nullptr : openPath(path, "r", sink);
    if (!tif) {
        m_error = "cannot open " + path + (sink.message.empty() ? "" : ": " + sink.message);
        return nullptr;
    }
    BitmapPtr bmp = decodeOpen(tif, sink, size, this, m_error);
    TIFFClose(tif);
    return bmp;
}

BitmapPtr CTIFF::readMemory(std::span<const uint8_t> bytes) {
    m_error.clear();
    ErrorSink sink;
    MemoryFile file;
    file.bytes = bytes;
    TIFF* tif = openMemory(file, "rm", sink);
    if (!tif) {
        m_error = "not a readable TIFF" + (sink.message.empty() ? "" : ": " + sink.message);
        return nullptr;
    }
    BitmapPtr bmp = decodeOpen(tif, sink, bytes.size(), this, m_error);
    TIFFClose(tif);
    return bmp;
}

float CTIFF::resolution(const std::string& path, bool vertical) {
    float value = kDefaultTiffResolution;
    ErrorSink sink;
    TIFF* tif = openPath(path, "r", sink);
    if (!tif) return value;
    uint16_t unit = RESUNIT_INCH;
    TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &unit); // a missing unit counts as inch
    float res = 0;
    if (TIFFGetField(tif, vertical ? TIFFTAG_YRESOLUTION : TIFFTAG_XRESOLUTION, &res) && unit != RESUNIT_NONE) {
        if (unit == RESUNIT_CENTIMETER) res *= 2.54f;
        if (res > 0 && std::isfinite(res)) value = res;
    }
    TIFFClose(tif);
    return value;
}

float CTIFF::resolutionX(const std::string& path) {
    return resolution(path, false);
}
float CTIFF::resolutionY(const std::string& path) {
    return resolution(path, true);
}

BitmapPtr decodeTiff(std::span<const uint8_t> bytes, std::string& error) {
    if (!isTiff(bytes)) {
        error = "not a TIFF file";
        return nullptr;
    }
    CTIFF tiff;
    BitmapPtr bmp = tiff.readMemory(bytes);
    if (!bmp) error = tiff.lastError();
    return bmp;
}

bool encodeTiff(const Bitmap& bitmap, std::vector<uint8_t>& out, std::string& error) {
    out.clear();
    ErrorSink sink;
    MemoryFile file;
    file.grow = &out;
    TIFF* tif = openMemory(file, "w", sink);
    if (!tif) {
        error = "cannot start a TIFF: " + sink.message;
        return false;
    }
    const auto w = static_cast<uint32_t>(bitmap.width());
    const auto h = static_cast<uint32_t>(bitmap.height());
    const bool indexed = bitmap.pixelFormat() == PixelFormat::Indexed8;
    const bool grey = indexed && isGreyRamp(bitmap.palette(), 256);
    bool alpha = false;
    if (bitmap.pixelFormat() == PixelFormat::Argb32)
        for (uint32_t y = 0; y < h && !alpha; ++y)
            for (uint32_t x = 0; x < w; ++x)
                if ((bitmap.row32(static_cast<int>(y))[x] >> 24) != 0xFF) {
                    alpha = true;
                    break;
                }
    const uint16_t spp = indexed ? 1 : (alpha ? 4 : 3);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                 grey ? PHOTOMETRIC_MINISBLACK : (indexed ? PHOTOMETRIC_PALETTE : PHOTOMETRIC_RGB));
    if (alpha) {
        const uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    std::vector<uint16_t> cmap;
    if (indexed && !grey) {
        cmap.assign(3 * 256, 0);
        for (size_t i = 0; i < 256; ++i) {
            const uint32_t c = bitmap.palette()[i];
            cmap[i] = static_cast<uint16_t>(((c >> 16) & 0xFF) * 257);
            cmap[256 + i] = static_cast<uint16_t>(((c >> 8) & 0xFF) * 257);
            cmap[512 + i] = static_cast<uint16_t>((c & 0xFF) * 257);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, cmap.data(), cmap.data() + 256, cmap.data() + 512);
    }
    if (bitmap.hasResolution()) {
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, bitmap.horizontalResolution());
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, bitmap.verticalResolution());
    }
    const uint64_t rowSize = uint64_t{w} * spp;
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(std::max<uint64_t>(1, kStripBytes / rowSize)));
    std::vector<uint8_t> row(static_cast<size_t>(rowSize));
    bool ok = !sink.failed;
    for (uint32_t y = 0; ok && y < h; ++y) {
        if (indexed)
            std::memcpy(row.data(), bitmap.row(static_cast<int>(y)), w);
        else
            rowSamples(bitmap, static_cast<int>(y), alpha, row);
        if (TIFFWriteScanline(tif, row.data(), y, 0) < 0) ok = false;
    }
    if (ok && !TIFFFlush(tif)) ok = false;
    TIFFClose(tif);
    if (!ok || sink.failed) {
        error = "cannot encode TIFF" + (sink.message.empty() ? std::string() : ": " + sink.message);
        out.clear();
        return false;
    }
    return true;
}

} // namespace quadrel
