#include "platform/codec_bmp.h"
#include "platform/codec_jpeg.h"
#include "platform/codec_png.h"
#include "platform/codec_tiff.h"
#include "platform/image_file.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

using namespace quadrel;
namespace fs = std::filesystem;

namespace {

class TempDir {
public:
    TempDir() {
        std::string t = (fs::temp_directory_path() / "quadrel-img-XXXXXX").string();
        path = mkdtemp(t.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    std::string file(const std::string& name) const { return (fs::path(path) / name).string(); }
    std::string path;
};

std::vector<uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

BitmapPtr argb(int w, int h, const std::function<uint32_t(int, int)>& f) {
    BitmapPtr b = Bitmap::create(w, h, PixelFormat::Argb32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b->row32(y)[x] = f(x, y);
    return b;
}

struct Le {
    std::vector<uint8_t> v;
    Le& u8(uint8_t x) {
        v.push_back(x);
        return *this;
    }
    Le& u16(uint16_t x) { return u8(static_cast<uint8_t>(x)).u8(static_cast<uint8_t>(x >> 8)); }
    Le& u32(uint32_t x) { return u16(static_cast<uint16_t>(x)).u16(static_cast<uint16_t>(x >> 16)); }
    Le& bytes(std::initializer_list<uint8_t> b) {
        v.insert(v.end(), b);
        return *this;
    }
};

// A BMP with a 40-byte (or longer) header; extra holds masks or palette, pixels the data.
std::vector<uint8_t> bmpFile(int32_t w, int32_t h, uint16_t bits, uint32_t compression,
                             const std::vector<uint8_t>& extra, const std::vector<uint8_t>& pixels,
                             uint32_t headerSize = 40, int32_t ppm = 0, const std::vector<uint8_t>& headerTail = {}) {
    Le f;
    const uint32_t offset = 14 + headerSize + static_cast<uint32_t>(extra.size());
    f.u8('B').u8('M').u32(offset + static_cast<uint32_t>(pixels.size())).u32(0).u32(offset);
    f.u32(headerSize).u32(static_cast<uint32_t>(w)).u32(static_cast<uint32_t>(h)).u16(1).u16(bits).u32(compression);
    f.u32(static_cast<uint32_t>(pixels.size()))
        .u32(static_cast<uint32_t>(ppm))
        .u32(static_cast<uint32_t>(ppm))
        .u32(0)
        .u32(0);
    f.v.insert(f.v.end(), headerTail.begin(), headerTail.end());
    f.v.resize(14 + headerSize, 0);
    f.v.insert(f.v.end(), extra.begin(), extra.end());
    f.v.insert(f.v.end(), pixels.begin(), pixels.end());
    return f.v;
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

BitmapPtr openImageFileOk(const std::string& path) {
    std::string error;
    BitmapPtr b = openImageFile(path, error);
    EXPECT_TRUE(b) << error;
    return b ? b : Bitmap::create(1, 1, PixelFormat::Argb32);
}

BitmapPtr decodeOk(const std::vector<uint8_t>& bytes) {
    std::string error;
    BitmapPtr b = decodeImage(bytes, error);
    EXPECT_TRUE(b) << error;
    return b;
}

} // namespace

TEST(ImageFile, ExtensionsAndEncoderChoice) {
    struct Case {
        const char* path;
        const char* extension;
        const char* encoder; // nullptr: none
    };
    const Case cases[] = {
        {"/a/b/c.tiff", ".tiff", "TIFF"}, {"x.TIF", ".TIF", "TIFF"},    {"x.Jpeg", ".Jpeg", "JPEG"},
        {"x.jfif", ".jfif", "JPEG"},      {"x.dib", ".dib", "BMP"},     {"x.rle", ".rle", "BMP"},
        {"x.png", ".png", "PNG"},         {"x.gif", ".gif", nullptr},   {"/a.b/noext", "", nullptr},
        {"dir/x.", ".", nullptr},         {"x.tar.png", ".png", "PNG"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(pathExtension(c.path), c.extension) << c.path;
        const ImageEncoder* e = findEncoderForExtension(pathExtension(c.path));
        if (c.encoder)
            ASSERT_TRUE(e) << c.path;
        else
            EXPECT_FALSE(e) << c.path;
        if (e && c.encoder) {
            EXPECT_EQ(e->formatDescription, c.encoder) << c.path;
        }
    }
    ASSERT_EQ(imageEncoders().size(), 4u);
    EXPECT_EQ(imageEncoders()[0].filenameExtension, "*.BMP;*.DIB;*.RLE");
    EXPECT_EQ(imageEncoders()[1].filenameExtension, "*.JPG;*.JPEG;*.JPE;*.JFIF");
    EXPECT_EQ(imageEncoders()[2].filenameExtension, "*.TIF;*.TIFF");
    EXPECT_EQ(imageEncoders()[3].filenameExtension, "*.PNG");
}

TEST(ImageFile, SaveImageRoutesByExtension) {
    TempDir dir;
    BitmapPtr b = argb(5, 4, [](int x, int y) { return 0xFF000000u | static_cast<uint32_t>(x * 40 + y); });
    std::vector<std::string> routed;
    auto route = [&](const Bitmap&, const std::string& path) {
        routed.push_back(path);
        return path.find("ok") != std::string::npos;
    };
    // The document route reports what the store reported.
    EXPECT_TRUE(saveImage(*b, dir.file("ok.DDM"), route));
    EXPECT_FALSE(saveImage(*b, dir.file("fails.ddm"), route));
    EXPECT_EQ(routed.size(), 2u);
    EXPECT_FALSE(saveImage(*b, dir.file("ok.ddm")));
    EXPECT_FALSE(fs::exists(dir.file("ok.ddm")));

    EXPECT_TRUE(saveImage(*b, dir.file("a.TIFF"), route));
    EXPECT_EQ(detectImageFormat(readAll(dir.file("a.TIFF"))), ImageFormat::Tiff);
    EXPECT_FALSE(saveImage(*b, dir.file("noextension"), route));
    EXPECT_FALSE(fs::exists(dir.file("noextension")));
    EXPECT_FALSE(saveImage(*b, dir.file("a.gif"), route));
    EXPECT_FALSE(saveImage(*b, dir.file("missing/a.png"), route));
    EXPECT_EQ(routed.size(), 2u);
}

TEST(ImageFile, EveryEncoderRoundTripsPixelsAndResolution) {
    TempDir dir;
    BitmapPtr opaque = argb(33, 17, [](int x, int y) {
        return 0xFF000000u | static_cast<uint32_t>(x * 7) << 16 | static_cast<uint32_t>(y * 15) << 8 |
               static_cast<uint32_t>(x ^ y);
    });
    BitmapPtr translucent =
        argb(9, 8, [](int x, int y) { return (x + y) % 3 == 0 ? 0u : 0xFF000000u + static_cast<uint32_t>(x * 8 + y); });
    BitmapPtr grey = createGrey8(21, 6);
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 21; ++x)
            grey->row(y)[x] = static_cast<uint8_t>(x * 12 + y);
    BitmapPtr palette = Bitmap::create(6, 3, PixelFormat::Indexed8);
    Palette pal{};
    for (int i = 0; i < 256; ++i)
        pal[static_cast<size_t>(i)] = 0xFF000000u | static_cast<uint32_t>(i * 0x010307);
    palette->setPalette(pal);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            palette->row(y)[x] = static_cast<uint8_t>(x * 40 + y);

    struct Case {
        const char* file;
        BitmapPtr bitmap;
        bool lossy;
        bool keepsAlpha;
    };
    const Case cases[] = {
        {"o.bmp", opaque, false, true},      {"o.png", opaque, false, true},      {"o.tif", opaque, false, true},
        {"o.jpg", opaque, true, true},       {"t.bmp", translucent, false, true}, {"t.png", translucent, false, true},
        {"t.tif", translucent, false, true}, {"g.bmp", grey, false, true},        {"g.png", grey, false, true},
        {"g.tif", grey, false, true},        {"g.jpg", grey, true, true},         {"p.bmp", palette, false, true},
        {"p.png", palette, false, true},     {"p.tif", palette, false, true},
    };
    for (const bool withResolution : {true, false}) {
        for (const Case& c : cases) {
            BitmapPtr src = c.bitmap->clone();
            if (withResolution) src->setResolution(300.0f, 150.0f);
            const std::string path = dir.file(c.file);
            ASSERT_TRUE(saveImage(*src, path)) << c.file;
            std::string error;
            BitmapPtr back = openImageFile(path, error);
            ASSERT_TRUE(back) << c.file << ": " << error;
            ASSERT_EQ(back->width(), src->width()) << c.file;
            ASSERT_EQ(back->height(), src->height()) << c.file;
            EXPECT_EQ(back->hasResolution(), withResolution) << c.file;
            if (withResolution) {
                EXPECT_NEAR(back->horizontalResolution(), 300.0f, 0.1f) << c.file;
                EXPECT_NEAR(back->verticalResolution(), 150.0f, 0.1f) << c.file;
            }
            for (int y = 0; y < src->height(); ++y)
                for (int x = 0; x < src->width(); ++x) {
                    uint32_t want = 0, got = 0;
                    src->getPixel(x, y, want);
                    back->getPixel(x, y, got);
                    if (c.lossy) {
                        for (int k = 0; k < 24; k += 8)
                            ASSERT_NEAR(static_cast<int>((want >> k) & 0xFF), static_cast<int>((got >> k) & 0xFF), 24)
                                << c.file << " " << x << "," << y;
                    } else {
                        ASSERT_EQ(got, want) << c.file << " " << x << "," << y;
                    }
                }
        }
    }
}

TEST(ImageFile, BmpVariantsDecode) {
    const std::vector<uint8_t> bw = {0, 0, 0, 0, 255, 255, 255, 0};
    {
        // 1 bit, 10 x 2, bottom-up: the first stored row is the bottom one.
        const auto b =
            decodeOk(bmpFile(10, 2, 1, 0, bw, {0b10100000, 0b01000000, 0, 0, 0b11111111, 0b11000000, 0, 0}, 40, 3937));
        ASSERT_TRUE(b);
        EXPECT_EQ(b->pixelFormat(), PixelFormat::Indexed8);
        EXPECT_EQ(b->row(1)[0], 1);
        EXPECT_EQ(b->row(1)[1], 0);
        EXPECT_EQ(b->row(1)[9], 1);
        EXPECT_EQ(b->row(0)[9], 1);
        EXPECT_EQ(b->row(0)[8], 1);
        EXPECT_EQ(b->row(0)[7], 1);
        EXPECT_NEAR(b->horizontalResolution(), 100.0f, 0.01f);
    }
    {
        // 24 bits, top-down, 2 x 2 (rows padded to 8 bytes).
        const auto b = decodeOk(bmpFile(2, -2, 24, 0, {}, {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}));
        ASSERT_TRUE(b);
        EXPECT_EQ(b->row32(0)[0], 0xFF030201u);
        EXPECT_EQ(b->row32(1)[1], 0xFF0C0B0Au);
        EXPECT_FALSE(b->hasResolution());
    }
    {
        // 16 bits with 5-6-5 bit fields.
        Le masks;
        masks.u32(0xF800).u32(0x07E0).u32(0x001F);
        Le px;
        px.u16(0xF800).u16(0x07E0);
        const auto b = decodeOk(bmpFile(2, 1, 16, 3, masks.v, px.v));
        ASSERT_TRUE(b);
        EXPECT_EQ(b->row32(0)[0], 0xFFFF0000u);
        EXPECT_EQ(b->row32(0)[1], 0xFF00FF00u);
    }
    {
        // 16 bits without bit fields: 5-5-5.
        Le px;
        px.u16(0x7C00).u16(0x001F);
        const auto b = decodeOk(bmpFile(2, 1, 16, 0, {}, px.v));
        ASSERT_TRUE(b);
        EXPECT_EQ(b->row32(0)[0], 0xFFFF0000u);
        EXPECT_EQ(b->row32(0)[1], 0xFF0000FFu);
    }
    {
        // 32 bits plain: the fourth byte is not alpha.
        const auto b = decodeOk(bmpFile(1, 1, 32, 0, {}, {1, 2, 3, 0}));
        ASSERT_TRUE(b);
        EXPECT_EQ(b->row32(0)[0], 0xFF030201u);
    }
    {
        // 32 bits with an alpha mask in a version 4 header.
        Le tail;
        tail.u32(0x00FF0000).u32(0x0000FF00).u32(0x000000FF).u32(0xFF000000);
        const auto b = decodeOk(bmpFile(1, 1, 32, 3, {}, {1, 2, 3, 0x80}, 108, 0, tail.v));
        ASSERT_TRUE(b);
        EXPECT_EQ(b->row32(0)[0], 0x80030201u);
    }
    {
        // RLE8, 4 x 3: a run, a literal group, a jump, and the end marker.
        std::vector<uint8_t> pal(4 * 256, 0);
        const std::vector<uint8_t> rle = {2, 7, 0, 0,              // bottom row: 7 7, end of line
                                          0, 3, 1, 2, 3, 0, 0, 0,  // literal 1 2 3 (padded), end of line
                                          0, 2, 2, 0, 1, 9, 0, 1}; // jump (2, 0), one 9, end of picture
        const auto b = decodeOk(bmpFile(4, 3, 8, 1, pal, rle));
        ASSERT_TRUE(b);
        EXPECT_EQ(b->row(2)[0], 7);
        EXPECT_EQ(b->row(2)[1], 7);
        EXPECT_EQ(b->row(2)[2], 0);
        EXPECT_EQ(b->row(1)[2], 3);
        EXPECT_EQ(b->row(0)[2], 9);
    }
    {
        // RLE4: a run of alternating nibbles and a literal group.
        std::vector<uint8_t> pal(4 * 16, 0);
        const std::vector<uint8_t> rle = {5, 0x12, 0, 0, 0, 3, 0xAB, 0xC0, 0, 1};
        const auto b = decodeOk(bmpFile(5, 2, 4, 2, pal, rle));
        ASSERT_TRUE(b);
        const uint8_t row1[] = {1, 2, 1, 2, 1};
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(b->row(1)[x], row1[x]);
        EXPECT_EQ(b->row(0)[0], 0xA);
        EXPECT_EQ(b->row(0)[2], 0xC);
    }
    {
        // A 12-byte core header with a three-byte palette.
        Le f;
        f.u8('B').u8('M').u32(0).u32(0).u32(14 + 12 + 6);
        f.u32(12).u16(2).u16(1).u16(1).u16(1);
        f.bytes({0, 0, 0, 0, 0, 255});
        f.bytes({0b01000000, 0, 0, 0});
        const auto b = decodeOk(f.v);
        ASSERT_TRUE(b);
        EXPECT_EQ(b->palette()[1], 0xFFFF0000u);
        EXPECT_EQ(b->row(0)[1], 1);
    }
}

TEST(ImageFile, DamagedFilesFailWithAReason) {
    std::string error;
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* reason;
    };
    const Case cases[] = {
        {"bmp cut short", bmpFile(100, 100, 24, 0, {}, std::vector<uint8_t>(100, 0)), "cut short"},
        {"bmp huge rle", bmpFile(30000, 30000, 8, 1, std::vector<uint8_t>(1024, 0), {0, 1}), "more pixels"},
        {"bmp bad depth", bmpFile(1, 1, 7, 0, {}, {0, 0, 0, 0}), "bit depth"},
        {"bmp no pixels", bmpFile(0, 5, 24, 0, {}, {}), "no pixels"},
        {"bmp missing masks", bmpFile(1, 1, 16, 3, {}, {0, 0, 0, 0}, 40), "masks"},
        {"unknown", {'G', 'I', 'F', '8', '9', 'a'}, "unknown image format"},
        {"compound file", {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1}, "unknown image format"},
        {"empty", {}, "unknown image format"},
    };
    for (const Case& c : cases) {
        error.clear();
        EXPECT_FALSE(decodeImage(c.bytes, error)) << c.name;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.name << ": " << error;
    }

    // Every encoder's output cut at several points fails cleanly or decodes at the right size.
    BitmapPtr b =
        argb(64, 48, [](int x, int y) { return 0xFF000000u | static_cast<uint32_t>(x * 3 + y * 5) * 0x010101u; });
    for (const ImageEncoder& e : imageEncoders()) {
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(e.encode(*b, bytes, error)) << e.formatDescription;
        for (size_t cut : {size_t{8}, bytes.size() / 3, bytes.size() - 5}) {
            std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
            error.clear();
            BitmapPtr r = decodeImage(part, error);
            if (r) {
                EXPECT_EQ(r->width(), 64) << e.formatDescription << " cut " << cut;
            } else {
                EXPECT_FALSE(error.empty()) << e.formatDescription << " cut " << cut;
            }
        }
    }
    error.clear();
    EXPECT_FALSE(openImageFile("/nonexistent/x.png", error));
    EXPECT_FALSE(error.empty());
}

TEST(ImageFile, JpegResolutionFromJfifOrExif) {
    BitmapPtr b = argb(8, 8, [](int x, int y) { return 0xFF000000u | static_cast<uint32_t>(x * 30 + y); });
    std::string error;
    std::vector<uint8_t> plain;
    ASSERT_TRUE(encodeJpeg(*b, plain, error));
    // The JFIF segment follows SOI: units at offset 13, X density at 14, Y density at 16 (big-endian).
    ASSERT_EQ(plain[6], 'J');
    auto withJfif = [&](uint8_t unit, uint16_t x, uint16_t y) {
        std::vector<uint8_t> v = plain;
        v[13] = unit;
        v[14] = static_cast<uint8_t>(x >> 8);
        v[15] = static_cast<uint8_t>(x);
        v[16] = static_cast<uint8_t>(y >> 8);
        v[17] = static_cast<uint8_t>(y);
        return v;
    };
    // An EXIF block (big-endian TIFF layout) with XResolution, YResolution and ResolutionUnit.
    auto withExif = [](std::vector<uint8_t> v, uint32_t xres, uint32_t yres, uint16_t unit) {
        std::vector<uint8_t> t = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 3};
        auto be16 = [&](uint16_t x) {
            t.push_back(static_cast<uint8_t>(x >> 8));
            t.push_back(static_cast<uint8_t>(x));
        };
        auto be32 = [&](uint32_t x) {
            be16(static_cast<uint16_t>(x >> 16));
            be16(static_cast<uint16_t>(x));
        };
        const uint32_t data = 8 + 2 + 3 * 12 + 4;
        be16(0x011A), be16(5), be32(1), be32(data);
        be16(0x011B), be16(5), be32(1), be32(data + 8);
        be16(0x0128), be16(3), be32(1), be16(unit), be16(0);
        be32(0);
        be32(xres), be32(1), be32(yres), be32(1);
        std::vector<uint8_t> seg = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
        seg.insert(seg.end(), t.begin(), t.end());
        const size_t len = seg.size() - 2;
        seg[2] = static_cast<uint8_t>(len >> 8);
        seg[3] = static_cast<uint8_t>(len);
        v.insert(v.begin() + 2, seg.begin(), seg.end());
        return v;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        float x, y; // 0: no resolution
    };
    const Case cases[] = {
        {"no density", withJfif(0, 1, 1), 0, 0},
        {"dpi", withJfif(1, 300, 200), 300, 200},
        {"dots per cm", withJfif(2, 100, 50), 254, 127},
        {"aspect only, exif in inches", withExif(withJfif(0, 1, 1), 72, 144, 2), 72, 144},
        {"aspect only, exif in cm", withExif(withJfif(0, 1, 1), 100, 100, 3), 254, 254},
        {"jfif wins over exif", withExif(withJfif(1, 600, 600), 72, 72, 2), 600, 600},
        {"exif without unit meaning", withExif(withJfif(0, 1, 1), 72, 72, 1), 0, 0},
    };
    for (const Case& c : cases) {
        error.clear();
        BitmapPtr r = decodeJpeg(c.bytes, error);
        ASSERT_TRUE(r) << c.name << ": " << error;
        EXPECT_EQ(r->hasResolution(), c.x > 0) << c.name;
        if (c.x > 0) {
            EXPECT_NEAR(r->horizontalResolution(), c.x, 0.01f) << c.name;
            EXPECT_NEAR(r->verticalResolution(), c.y, 0.01f) << c.name;
        }
    }
}

TEST(ImageFile, GreyJpegDecodesToIndexedWithTheGreyTable) {
    BitmapPtr g = createGrey8(16, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            g->row(y)[x] = 128;
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(encodeJpeg(*g, bytes, error));
    BitmapPtr r = decodeJpeg(bytes, error);
    ASSERT_TRUE(r) << error;
    EXPECT_EQ(r->pixelFormat(), PixelFormat::Indexed8);
    EXPECT_TRUE(isGreyRamp(r->palette(), r->paletteCount()));
    EXPECT_NEAR(r->row(8)[8], 128, 2);
}

TEST(ImageFile, SavingReplacesAnExistingFileOnlyWhenTheWriteSucceeds) {
    TempDir dir;
    const std::string path = dir.file("keep.png");
    { std::ofstream(path) << "old content"; }
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    BitmapPtr big =
        argb(400, 400, [](int x, int y) { return 0xFF000000u | static_cast<uint32_t>(x * 7919 + y * 104729); });
    {
        // The disk "fills up" part way: the old file stays as it was and nothing is left beside it.
        FileSizeLimit limit(4096);
        EXPECT_FALSE(saveImage(*big, path));
    }
    EXPECT_EQ(readAll(path), std::vector<uint8_t>({'o', 'l', 'd', ' ', 'c', 'o', 'n', 't', 'e', 'n', 't'}));
    BitmapPtr b = argb(3, 3, [](int, int) { return 0xFF102030u; });
    ASSERT_TRUE(saveImage(*b, path));
    EXPECT_EQ(detectImageFormat(readAll(path)), ImageFormat::Png);
    // The file keeps its permissions.
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    // Saving through a link replaces the file it points to and keeps the link.
    const std::string link = dir.file("link.png");
    fs::create_symlink(path, link);
    ASSERT_TRUE(saveImage(*big, link));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(openImageFileOk(path)->width(), 400);
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(dir.path)) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 2u);
}
