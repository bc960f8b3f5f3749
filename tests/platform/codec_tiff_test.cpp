#include "platform/codec_tiff.h"
#include "platform/image_file.h"

#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <tiffio.h>
#include <unistd.h>
#include <vector>

using namespace quadrel;
namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        std::string t = (fs::temp_directory_path() / "quadrel-tiff-XXXXXX").string();
        path = mkdtemp(t.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string file(const std::string& name) const { return (fs::path(path) / name).string(); }
    std::string path;
};

BitmapPtr argb(int w, int h, const std::function<uint32_t(int, int)>& f) {
    BitmapPtr b = Bitmap::create(w, h, PixelFormat::Argb32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b->row32(y)[x] = f(x, y);
    return b;
}

// What libtiff itself reads back from a file.
struct Tags {
    uint32_t width = 0, height = 0, rowsPerStrip = 0;
    uint16_t bps = 0, spp = 0, planar = 0, photometric = 0, compression = 0, unit = 0, predictor = 0;
    float xres = 0, yres = 0;
    std::vector<uint16_t> extra;
};

Tags readTags(const std::string& path) {
    Tags t;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    EXPECT_NE(tif, nullptr);
    if (!tif) return t;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &t.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &t.height);
    TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &t.rowsPerStrip);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &t.bps);
    TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &t.spp);
    TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &t.planar);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &t.photometric);
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &t.compression);
    TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &t.unit);
    TIFFGetField(tif, TIFFTAG_PREDICTOR, &t.predictor);
    TIFFGetField(tif, TIFFTAG_XRESOLUTION, &t.xres);
    TIFFGetField(tif, TIFFTAG_YRESOLUTION, &t.yres);
    uint16_t n = 0;
    uint16_t* values = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &n, &values)) t.extra.assign(values, values + n);
    TIFFClose(tif);
    return t;
}

// Writes a small file by hand. bits below 8 are packed MSB first.
struct TiffLayout {
    uint32_t width = 4, height = 4;
    uint16_t bps = 8, spp = 1, photometric = PHOTOMETRIC_MINISBLACK;
    uint32_t rowsPerStrip = 2; // 0 leaves the tag out
    uint32_t tile = 0;         // tiled with square tiles of this size when non-zero
    bool resolution = false;
    float xres = 0, yres = 0;
    uint16_t unit = RESUNIT_INCH;
    std::vector<uint16_t> colormap; // 3 * 2^bps entries for palette files
};

void writeTiff(const std::string& path, const TiffLayout& s,
               const std::function<uint32_t(uint32_t, uint32_t)>& sample) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, s.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, s.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, s.bps);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, s.spp);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, s.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    if (s.resolution) {
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, s.unit);
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, s.xres);
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, s.yres);
    }
    if (!s.colormap.empty()) {
        const size_t n = s.colormap.size() / 3;
        TIFFSetField(tif, TIFFTAG_COLORMAP, s.colormap.data(), s.colormap.data() + n, s.colormap.data() + 2 * n);
    }
    const size_t rowBytes = (static_cast<size_t>(s.width) * s.bps * s.spp + 7) / 8;
    auto packRow = [&](uint32_t y, uint8_t* out, uint32_t x0, uint32_t count) {
        std::fill(out, out + (static_cast<size_t>(count) * s.bps * s.spp + 7) / 8, 0);
        for (uint32_t i = 0; i < count * s.spp; ++i) {
            const uint32_t x = x0 + i / s.spp;
            const uint32_t v = x < s.width && y < s.height ? (sample(x, y) >> (8 * (i % s.spp))) & 0xFF : 0;
            if (s.bps == 8) {
                out[i] = static_cast<uint8_t>(v);
            } else {
                const size_t bit = static_cast<size_t>(i) * s.bps;
                out[bit / 8] |= static_cast<uint8_t>((v & ((1u << s.bps) - 1)) << (8 - s.bps - bit % 8));
            }
        }
    };
    if (s.tile) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, s.tile);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, s.tile);
        std::vector<uint8_t> buf(static_cast<size_t>(TIFFTileSize(tif)));
        const size_t tileRow = (static_cast<size_t>(s.tile) * s.bps * s.spp + 7) / 8;
        for (uint32_t ty = 0; ty < s.height; ty += s.tile)
            for (uint32_t tx = 0; tx < s.width; tx += s.tile) {
                for (uint32_t r = 0; r < s.tile; ++r)
                    packRow(ty + r, buf.data() + r * tileRow, tx, s.tile);
                ASSERT_GE(TIFFWriteTile(tif, buf.data(), tx, ty, 0, 0), 0);
            }
    } else {
        if (s.rowsPerStrip) TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, s.rowsPerStrip);
        std::vector<uint8_t> row(rowBytes);
        for (uint32_t y = 0; y < s.height; ++y) {
            packRow(y, row.data(), 0, s.width);
            ASSERT_GE(TIFFWriteScanline(tif, row.data(), y, 0), 0);
        }
    }
    TIFFClose(tif);
}

// Lowers the file-size limit for the scope: writes beyond it fail as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit l = m_old;
        l.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &l);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int);
};

} // namespace

TEST(CTIFF, WriteRGBSetsTheFixedTagsAndStripsOfAbout8KiB) {
    TempDir dir;
    struct Case {
        int width;
        uint32_t rowsPerStrip;
    };
    // Row size: width x 24 bits in whole 16-bit units.
    for (const Case c : {Case{1, 2048}, Case{1000, 2}, Case{3, 819}, Case{5000, 1}}) {
        BitmapPtr b = argb(c.width, 3, [](int x, int y) { return 0xFF000000u | static_cast<uint32_t>(x * 7 + y); });
        b->setResolution(150.0f, 75.0f);
        const std::string path = dir.file("rgb.tif");
        CTIFF tiff;
        ASSERT_TRUE(tiff.writeRGB(path, *b)) << tiff.lastError();
        const Tags t = readTags(path);
        EXPECT_EQ(t.rowsPerStrip, c.rowsPerStrip) << c.width;
        EXPECT_EQ(t.width, static_cast<uint32_t>(c.width));
        EXPECT_EQ(t.height, 3u);
        EXPECT_EQ(t.bps, 8);
        EXPECT_EQ(t.spp, 3);
        EXPECT_EQ(t.planar, PLANARCONFIG_CONTIG);
        EXPECT_EQ(t.photometric, PHOTOMETRIC_RGB);
        EXPECT_EQ(t.compression, 32946);
        EXPECT_EQ(t.predictor, 1);
        EXPECT_EQ(t.unit, RESUNIT_INCH);
        EXPECT_FLOAT_EQ(t.xres, 150.0f);
        EXPECT_FLOAT_EQ(t.yres, 75.0f);
        EXPECT_TRUE(t.extra.empty());
    }
}

TEST(CTIFF, CompressionModes) {
    TempDir dir;
    BitmapPtr b = argb(20, 20, [](int x, int y) {
        return 0xFF000000u | static_cast<uint32_t>(x * 10) << 8 | static_cast<uint32_t>(y);
    });
    struct Case {
        int mode;
        uint16_t compression;
        uint16_t photometric;
        uint32_t rowsPerStrip;
    };
    for (const Case c : {Case{CTIFF::None, COMPRESSION_NONE, PHOTOMETRIC_RGB, 136},
                         Case{CTIFF::LZW, COMPRESSION_LZW, PHOTOMETRIC_RGB, 136},
                         Case{CTIFF::JPEG, COMPRESSION_JPEG, PHOTOMETRIC_YCBCR, 16}}) {
        CTIFF tiff;
        tiff.m_mode = c.mode;
        const std::string path = dir.file("m.tif");
        ASSERT_TRUE(tiff.writeRGB(path, *b)) << c.mode;
        const Tags t = readTags(path);
        EXPECT_EQ(t.compression, c.compression) << c.mode;
        EXPECT_EQ(t.photometric, c.photometric) << c.mode;
        EXPECT_EQ(t.rowsPerStrip, c.rowsPerStrip) << c.mode;
        BitmapPtr back = tiff.read(path);
        ASSERT_TRUE(back) << tiff.lastError();
        if (c.mode != CTIFF::JPEG) {
            EXPECT_EQ(back->row32(7)[9], b->row32(7)[9]);
        }
    }
}

TEST(CTIFF, LabelImageRoundTripsThroughAssociatedAlpha) {
    TempDir dir;
    // Label values 0xFF000000 + n, background 0.
    BitmapPtr labels =
        argb(37, 9, [](int x, int y) { return (x + y) % 3 ? 0xFF000000u + static_cast<uint32_t>(x * 100 + y) : 0u; });
    const std::string path = dir.file("mask.tif");
    CTIFF tiff;
    ASSERT_TRUE(tiff.writeRGBA(path, *labels));
    const Tags t = readTags(path);
    EXPECT_EQ(t.spp, 4);
    EXPECT_EQ(t.extra, std::vector<uint16_t>{EXTRASAMPLE_ASSOCALPHA});
    EXPECT_EQ(t.rowsPerStrip, 8192u / (37u * 4u));
    EXPECT_EQ(t.compression, 32946);
    BitmapPtr back = tiff.read(path);
    ASSERT_TRUE(back) << tiff.lastError();
    ASSERT_EQ(back->pixelFormat(), PixelFormat::Argb32);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 37; ++x)
            ASSERT_EQ(back->row32(y)[x], labels->row32(y)[x]) << x << "," << y;
    EXPECT_EQ(tiff.m_width, 37);
    EXPECT_EQ(tiff.m_height, 9);
    EXPECT_EQ(tiff.m_samplesPerPixel, 4);
    EXPECT_EQ(tiff.m_compression, 32946);
}

TEST(CTIFF, ResolutionIsReadInInchesAndMissingResolutionStaysUnknown) {
    TempDir dir;
    auto zero = [](uint32_t, uint32_t) { return 0u; };
    struct Case {
        const char* name;
        bool resolution;
        uint16_t unit;
        float value;
        float expected; // 0 when the bitmap must have none
        float expectedAccessor;
    };
    const Case cases[] = {
        {"centimetre", true, RESUNIT_CENTIMETER, 100.0f, 254.0f, 254.0f},
        {"inch", true, RESUNIT_INCH, 300.0f, 300.0f, 300.0f},
        {"no unit", true, RESUNIT_NONE, 1.0f, 0.0f, kDefaultTiffResolution},
        {"missing", false, RESUNIT_INCH, 0.0f, 0.0f, kDefaultTiffResolution},
    };
    for (const Case& c : cases) {
        TiffLayout s;
        s.resolution = c.resolution;
        s.unit = c.unit;
        s.xres = c.value;
        s.yres = c.value / 2;
        const std::string path = dir.file("res.tif");
        writeTiff(path, s, zero);
        CTIFF tiff;
        BitmapPtr b = tiff.read(path);
        ASSERT_TRUE(b) << c.name << ": " << tiff.lastError();
        EXPECT_EQ(b->hasResolution(), c.expected > 0) << c.name;
        if (c.expected > 0) {
            EXPECT_NEAR(b->horizontalResolution(), c.expected, 1e-3) << c.name;
            EXPECT_NEAR(b->verticalResolution(), c.expected / 2, 1e-3) << c.name;
        }
        EXPECT_NEAR(tiff.resolutionX(path), c.expectedAccessor, 1e-3) << c.name;
        EXPECT_NEAR(tiff.resolutionY(path), c.expected > 0 ? c.expectedAccessor / 2 : c.expectedAccessor, 1e-3)
            << c.name;
    }
    CTIFF tiff;
    EXPECT_FLOAT_EQ(tiff.resolutionX(dir.file("missing.tif")), kDefaultTiffResolution);
}

TEST(CTIFF, GreyAndPaletteFilesBecomeIndexedBitmapsWithTheirTables) {
    TempDir dir;
    {
        // 1-bit min-is-white: entry 0 white, entry 1 black.
        TiffLayout s;
        s.width = 9;
        s.height = 3;
        s.bps = 1;
        s.photometric = PHOTOMETRIC_MINISWHITE;
        writeTiff(dir.file("w1.tif"), s, [](uint32_t x, uint32_t) { return x % 2; });
        CTIFF tiff;
        BitmapPtr b = tiff.read(dir.file("w1.tif"));
        ASSERT_TRUE(b) << tiff.lastError();
        ASSERT_EQ(b->pixelFormat(), PixelFormat::Indexed8);
        EXPECT_EQ(b->paletteCount(), 2);
        EXPECT_EQ(b->palette()[0], 0xFFFFFFFFu);
        EXPECT_EQ(b->palette()[1], 0xFF000000u);
        EXPECT_EQ(b->row(1)[0], 0);
        EXPECT_EQ(b->row(1)[7], 1);
        EXPECT_EQ(b->row(1)[8], 0);
    }
    {
        // 8-bit min-is-black: the grey ramp, pixel values kept.
        TiffLayout s;
        s.width = 16;
        s.height = 16;
        writeTiff(dir.file("g8.tif"), s, [](uint32_t x, uint32_t y) { return y * 16 + x; });
        CTIFF tiff;
        BitmapPtr b = tiff.read(dir.file("g8.tif"));
        ASSERT_TRUE(b);
        EXPECT_TRUE(isGreyRamp(b->palette(), b->paletteCount()));
        EXPECT_EQ(b->row(15)[15], 255);
        EXPECT_EQ(b->row(3)[5], 53);
    }
    {
        // 4-bit grey: libtiff's grey steps (17 apart) differ from the table's (16 apart); each value keeps
        // its own index.
        TiffLayout s;
        s.width = 16;
        s.height = 1;
        s.bps = 4;
        writeTiff(dir.file("g4.tif"), s, [](uint32_t x, uint32_t) { return x; });
        CTIFF tiff;
        BitmapPtr b = tiff.read(dir.file("g4.tif"));
        ASSERT_TRUE(b);
        EXPECT_EQ(b->paletteCount(), 16);
        EXPECT_EQ(b->palette()[1], 0xFF101010u);
        EXPECT_EQ(b->palette()[15], 0xFFFFFFFFu);
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(b->row(0)[x], x);
    }
    {
        TiffLayout s;
        s.width = 4;
        s.height = 1;
        s.bps = 2;
        s.photometric = PHOTOMETRIC_PALETTE;
        s.colormap = {0xFFFF, 0x0000, 0x1234, 0x8000, /*g*/ 0x0000, 0xFFFF, 0x5600, 0x8000, /*b*/ 0, 0, 0x9A00, 0x8000};
        writeTiff(dir.file("p2.tif"), s, [](uint32_t x, uint32_t) { return 3 - x; });
        CTIFF tiff;
        BitmapPtr b = tiff.read(dir.file("p2.tif"));
        ASSERT_TRUE(b) << tiff.lastError();
        EXPECT_EQ(b->paletteCount(), 4);
        EXPECT_EQ(b->palette()[0], 0xFFFF0000u);
        EXPECT_EQ(b->palette()[2], 0xFF12569Au);
        EXPECT_EQ(b->row(0)[0], 3);
        EXPECT_EQ(b->row(0)[1], 2);
        EXPECT_EQ(b->row(0)[3], 0);
    }
}

TEST(CTIFF, TiledFilesAndFilesWithoutRowsPerStripDecodeEveryPixel) {
    TempDir dir;
    auto colour = [](uint32_t x, uint32_t y) { return (x * 5) | (y * 3) << 8 | ((x ^ y) & 0xFF) << 16; };
    struct Case {
        const char* name;
        uint32_t tile, rowsPerStrip;
    };
    for (const Case c : {Case{"tiled", 16, 0}, Case{"no RowsPerStrip", 0, 0}, Case{"strips", 0, 7}}) {
        TiffLayout s;
        s.width = 40;
        s.height = 35;
        s.spp = 3;
        s.photometric = PHOTOMETRIC_RGB;
        s.tile = c.tile;
        s.rowsPerStrip = c.rowsPerStrip;
        const std::string path = dir.file("t.tif");
        writeTiff(path, s, colour);
        CTIFF tiff;
        BitmapPtr b = tiff.read(path);
        ASSERT_TRUE(b) << c.name << ": " << tiff.lastError();
        ASSERT_EQ(b->width(), 40);
        ASSERT_EQ(b->height(), 35);
        for (uint32_t y = 0; y < 35; ++y)
            for (uint32_t x = 0; x < 40; ++x) {
                const uint32_t v = colour(x, y);
                const uint32_t expected = 0xFF000000u | (v & 0xFF) << 16 | (v & 0xFF00) | (v >> 16 & 0xFF);
                ASSERT_EQ(b->row32(static_cast<int>(y))[x], expected) << c.name << " " << x << "," << y;
            }
    }
}

TEST(CTIFF, DamagedFilesGiveNoBitmap) {
    TempDir dir;
    BitmapPtr b = argb(300, 200, [](int x, int y) { return 0xFF000000u | static_cast<uint32_t>(x * 31 + y * 17); });
    CTIFF writer;
    writer.m_mode = CTIFF::LZW;
    const std::string path = dir.file("good.tif");
    ASSERT_TRUE(writer.writeRGB(path, *b));
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_TRUE(CTIFF().readMemory(bytes));

    // Cut in the middle of the strips: a partial picture would be worse than none.
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2));
    CTIFF reader;
    EXPECT_FALSE(reader.readMemory(cut));
    EXPECT_FALSE(reader.lastError().empty());

    // Scrambled strip data.
    std::vector<uint8_t> scrambled = bytes;
    for (size_t i = 200; i < scrambled.size() / 2; i += 3)
        scrambled[i] ^= 0x5A;
    (void)CTIFF().readMemory(scrambled); // must not crash; whether it decodes depends on where the damage falls

    EXPECT_FALSE(CTIFF().read(dir.file("absent.tif")));
    EXPECT_FALSE(CTIFF().readMemory(std::vector<uint8_t>{'I', 'I', 42, 0}));
}

TEST(CTIFF, HugeClaimedSizeIsRefusedBeforeAllocating) {
    TempDir dir;
    TiffLayout s;
    s.width = 8;
    s.height = 8;
    s.bps = 1;
    s.rowsPerStrip = 8;
    const std::string path = dir.file("huge.tif");
    writeTiff(path, s, [](uint32_t, uint32_t) { return 0u; });
    // Patch ImageWidth and ImageLength to 30000 each: a few hundred bytes claiming 900 million pixels.
    std::vector<uint8_t> b;
    {
        std::ifstream in(path, std::ios::binary);
        b.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_EQ(b[0], 'I');
    auto u16 = [&](size_t at) { return static_cast<uint32_t>(b[at] | b[at + 1] << 8); };
    const size_t ifd = u16(4) | u16(6) << 16;
    int patched = 0;
    for (size_t i = 0; i < u16(ifd); ++i) {
        const size_t e = ifd + 2 + 12 * i;
        if (u16(e) == 256 || u16(e) == 257) {
            const uint16_t type = static_cast<uint16_t>(u16(e + 2));
            b[e + 8] = 30000 & 0xFF;
            b[e + 9] = 30000 >> 8;
            if (type == TIFF_LONG) b[e + 10] = b[e + 11] = 0;
            ++patched;
        }
    }
    ASSERT_EQ(patched, 2);
    CTIFF tiff;
    EXPECT_FALSE(tiff.readMemory(b));
    EXPECT_NE(tiff.lastError().find("more pixels"), std::string::npos) << tiff.lastError();
    EXPECT_EQ(tiff.m_width, 30000);
}

TEST(CTIFF, WriteFailuresAreReported) {
    TempDir dir;
    BitmapPtr b = argb(500, 500, [](int x, int y) { return 0xFF000000u | static_cast<uint32_t>(x ^ y); });
    CTIFF tiff;
    EXPECT_FALSE(tiff.writeRGB(dir.file("missing-folder/x.tif"), *b));
    EXPECT_FALSE(tiff.lastError().empty());
    // A file-size limit makes the disk look full part way through the strips.
    tiff.m_mode = CTIFF::None;
    {
        FileSizeLimit limit(64 * 1024);
        EXPECT_FALSE(tiff.writeRGB(dir.file("short.tif"), *b));
        EXPECT_FALSE(tiff.writeRGBA(dir.file("short.tif"), *b));
    }
    EXPECT_TRUE(tiff.writeRGB(dir.file("full.tif"), *b));
}
