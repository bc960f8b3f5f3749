#include "core/image.h"

#include <gtest/gtest.h>

namespace quadrel {
namespace {

TEST(Channels, DerivedLevelsOfReferenceColours) {
    struct Case {
        uint32_t argb;
        uint8_t r, g, b, grey, hue, lum, sat;
    };
    const Case cases[] = {
        {0xFFFFFFFF, 255, 255, 255, 253, 0, 255, 0}, // white: the grey weights add up to 254
        {0xFF808080, 128, 128, 128, 127, 0, 128, 0},
        {0xFFFF0000, 255, 0, 0, 75, 0, 127, 255},
        {0xFF00FF00, 0, 255, 0, 148, 85, 127, 255},
        {0xFF0000FF, 0, 0, 255, 28, 170, 127, 255},
        {0xFFFFFF00, 255, 255, 0, 224, 42, 127, 255},
        {0xFF000000, 0, 0, 0, 0, 0, 0, 0},
        {0x00FF00FF, 255, 0, 255, 104, 212, 127, 255}, // alpha is ignored
    };
    for (const Case& c : cases) {
        BitmapPtr src = Bitmap::create(1, 1, PixelFormat::Argb32);
        src->row32(0)[0] = c.argb;
        const uint8_t want[8] = {0, c.r, c.g, c.b, c.grey, c.hue, c.lum, c.sat};
        for (int slot = 1; slot <= 7; ++slot) {
            BitmapPtr ch = deriveChannel(*src, slot);
            ASSERT_TRUE(ch);
            EXPECT_EQ(ch->pixelFormat(), PixelFormat::Indexed8);
            EXPECT_TRUE(isGreyRamp(ch->palette()));
            EXPECT_EQ(ch->row(0)[0], want[slot]) << std::hex << c.argb << " slot " << slot;
        }
    }
}

TEST(Channels, IndexedSourcesAndSlotsWithoutRule) {
    BitmapPtr src = Bitmap::create(3, 2, PixelFormat::Indexed8);
    Palette pal{};
    pal[1] = 0xFF00FF00;
    src->setPalette(pal);
    src->row(1)[2] = 1;
    EXPECT_EQ(deriveChannel(*src, kSlotGreen)->row(1)[2], 255);
    for (int slot : {9, 11, -1}) {
        BitmapPtr z = deriveChannel(*src, slot);
        ASSERT_TRUE(z);
        EXPECT_EQ(z->width(), 3);
        EXPECT_EQ(z->row(1)[2], 0);
    }
}

TEST(Histogram, CountsAllPixelsOrOnlyTheRegion) {
    BitmapPtr img = createGrey8(4, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) img->row(y)[x] = static_cast<uint8_t>(x + 10 * y);
    const CHistogram all = computeHistogram(*img);
    double total = 0;
    for (double v : all) total += v;
    EXPECT_EQ(total, 12.0);
    EXPECT_EQ(all[21], 1.0);

    RowSpans inside({{1, 1, 3}, {2, 0, 1}, {7, 0, 4}});
    const CHistogram some = computeHistogram(*img, &inside);
    total = 0;
    for (double v : some) total += v;
    EXPECT_EQ(total, 3.0);
    EXPECT_EQ(some[11], 1.0);
    EXPECT_EQ(some[12], 1.0);
    EXPECT_EQ(some[20], 1.0);

    const CHistogram pred = computeHistogram(*img, [](int x, int y) { return x == y; });
    EXPECT_EQ(pred[0] + pred[11] + pred[22], 3.0);
}

TEST(TDib, TypesByNameAndPixelTypeCodes) {
    struct Case {
        const char* name;
        int bits, type;
        uint32_t tag;
    };
    const Case cases[] = {
        {"uint8", 8, 2, 0},          {"INT8", 8, 1, kTagSigned},     {"INT16", 16, 3, kTagSigned},
        {"UINT16", 16, 4, kTagUnsigned}, {"INT32", 32, 5, kTagSigned},   {"UINT32", 32, 6, kTagUnsigned},
        {"Float", 32, 7, kTagFloat}, {"COMPLEX", 64, 8, kTagComplex}, {"RGB24", 24, 11, kTagUnsigned},
        {"RGB48", 48, 12, kTagUnsigned},
    };
    for (const Case& c : cases) {
        TDibExt d(5, 3, c.name);
        ASSERT_TRUE(d.isValid()) << c.name;
        EXPECT_EQ(d.bitsPerPixel(), c.bits) << c.name;
        EXPECT_EQ(d.compression(), c.tag) << c.name;
        EXPECT_EQ(d.pixelType(), c.type) << c.name;
        EXPECT_EQ(d.rowBytes() % 4, 0u);
        EXPECT_GE(d.rowBytes() * 8, static_cast<uint32_t>(c.bits * 5));
        for (int r = 0; r < 3; ++r)
            for (uint32_t i = 0; i < d.rowBytes(); ++i) EXPECT_EQ(d.memoryRow(r)[i], 0);
    }
    TDibExt grey(2, 2, "UINT8");
    EXPECT_EQ(grey.paletteEntries(), 256u);
    EXPECT_EQ(grey.palette()[200], 0xFFC8C8C8u);

    TDib fiveFive(4, 4, 16, 0, 0);
    EXPECT_EQ(fiveFive.pixelType(), 9);
    TDib fields(4, 4, 16, 3, 0);
    EXPECT_EQ(fields.pixelType(), 10);
    fields.setBitFields(0x7C00, 0x03E0, 0x001F);
    EXPECT_EQ(fields.pixelType(), 9);
    EXPECT_EQ(TDib(4, 4, 4, 0, 0).pixelType(), 0);

    clearImageLibraryError();
    EXPECT_FALSE(TDibExt(4, 4, "BOGUS").isValid());
    EXPECT_EQ(imageLibraryError(), 2);
    EXPECT_EQ(imageLibraryMessage(imageLibraryError()), "Bad image format!");
    EXPECT_FALSE(TDibExt(0, 4, "UINT8").isValid());
    EXPECT_EQ(imageLibraryMessage(imageLibraryError()), "Bad image size!");
    EXPECT_EQ(imageLibraryMessage(3), "Bad FFT image format!\nMust be a power of two.");
    EXPECT_EQ(imageLibraryMessage(99), "");

    // Copies own their block.
    TDib copy = grey;
    copy.memoryRow(0)[0] = 9;
    EXPECT_EQ(grey.memoryRow(0)[0], 0);
}

} // namespace
} // namespace quadrel
