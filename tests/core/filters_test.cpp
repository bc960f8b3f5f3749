#include "core/filters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace quadrel {
namespace {

TEST(GaussianKernel, SizesAndWeights) {
    for (int size : {0, 1, 2, 3}) {
        const auto w = gaussianWeights(size);
        ASSERT_EQ(w.size(), 3u) << size;
        EXPECT_NEAR(w[0], 0.1065, 5e-5);
        EXPECT_NEAR(w[1], 0.7870, 5e-5);
        EXPECT_NEAR(w[2], 0.1065, 5e-5);
    }
    EXPECT_EQ(gaussianWeights(4).size(), 7u);
    const auto seven = gaussianWeights(5);
    ASSERT_EQ(seven.size(), 7u);
    // sigma 1.5: the weights fall off as exp(-d^2 / 4.5).
    EXPECT_NEAR(seven[2] / seven[3], std::exp(-1.0 / 4.5), 1e-9);
    EXPECT_EQ(gaussianWeights(8).size(), 11u);
    double sum = 0;
    for (double v : seven) sum += v;
    EXPECT_NEAR(sum, 1.0, 1e-6);
}

TEST(ConvolutionFilter, EveryPixelTypeRunsAndBordersKeepTheirValues) {
    // A 3 x 1 averaging kernel on a ramp: the interior gets the mean of its row neighbours.
    const TConvolKernel k(3, {1.0, 1.0, 1.0}, 0.0, 3.0);
    for (const char* type : {"INT8", "UINT8", "INT16", "UINT16", "INT32", "UINT32", "FLOAT"}) {
        TDibExt in(5, 3, type);
        ASSERT_TRUE(in.isValid()) << type;
        const int bytes = in.bitsPerPixel() / 8;
        for (int r = 0; r < 3; ++r)
            for (int x = 0; x < 5; ++x) {
                uint8_t* p = in.memoryRow(r) + x * bytes;
                if (std::string(type) == "FLOAT") {
                    const float v = static_cast<float>(x * 3);
                    std::memcpy(p, &v, 4);
                } else {
                    p[0] = static_cast<uint8_t>(x * 3);
                }
            }
        TConvolutionFilter f(in);
        f.setKernel(&k);
        const TDib out = f.run(in);
        auto at = [&](int x) {
            const uint8_t* p = out.memoryRow(1) + x * bytes;
            if (std::string(type) == "FLOAT") {
                float v;
                std::memcpy(&v, p, 4);
                return static_cast<double>(v);
            }
            return static_cast<double>(p[0]);
        };
        EXPECT_EQ(at(0), 0.0) << type;
        EXPECT_EQ(at(2), 6.0) << type;
        EXPECT_EQ(at(4), 12.0) << type;
    }
}

TEST(ConvolutionFilter, FirstKernelRowWeightsTheRowAboveInThePicture) {
    // Rows are stored bottom-up: a kernel (1, 0, 0) vertically takes the picture row above.
    TDibExt in(3, 3, "UINT8");
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) in.pictureRow(y)[x] = static_cast<uint8_t>(10 * (y + 1));
    const TConvolKernel up(1, {1.0, 0.0, 0.0});
    TConvolutionFilter f(in);
    f.setKernel(&up);
    const TDib out = f.run(in);
    EXPECT_EQ(out.pictureRow(1)[1], 10);
}

TEST(ConvolutionFilter, ColourTypesFilterEachChannel) {
    TDibExt in(3, 1, "RGB24");
    uint8_t* row = in.memoryRow(0);
    const uint8_t px[9] = {0, 30, 90, 3, 60, 90, 6, 90, 90};
    std::memcpy(row, px, 9);
    const TConvolKernel k(3, {1.0, 1.0, 1.0}, 0.0, 3.0);
    TConvolutionFilter f(in);
    f.setKernel(&k);
    const TDib out = f.run(in);
    EXPECT_EQ(out.memoryRow(0)[3], 3);
    EXPECT_EQ(out.memoryRow(0)[4], 60);
    EXPECT_EQ(out.memoryRow(0)[5], 90);
}

TEST(ConvolutionFilter, KernelLargerThanTheImageChangesNothing) {
    TDibExt in(2, 2, "UINT8");
    in.memoryRow(0)[0] = 7;
    const TConvolKernel k(3, std::vector<double>(9, 1.0));
    TConvolutionFilter f(in);
    f.setKernel(&k);
    const TDib out = f.run(in);
    EXPECT_EQ(out.block(), in.block());
}

BitmapPtr colourImage(int w, int h, uint32_t argb) {
    BitmapPtr b = Bitmap::create(w, h, PixelFormat::Argb32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b->row32(y)[x] = argb;
    return b;
}

TEST(GaussianFilter, UniformImageStaysUniform) {
    BitmapPtr src = colourImage(12, 10, 0xFF808080u);
    BitmapPtr out = gaussianFilter(*src, 3);
    ASSERT_TRUE(out);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x) {
            // Brightness, smoothing and colour each truncate, so a level may drop by up to three.
            const int g = static_cast<int>(out->row32(y)[x] & 0xFF);
            EXPECT_GE(g, 0x80 - 3);
            EXPECT_LE(g, 0x80);
        }
    // The source is not touched.
    EXPECT_EQ(src->row32(5)[5], 0xFF808080u);
}

TEST(GaussianFilter, LineLosesBrightnessKeepsHueAndBorderStrip) {
    BitmapPtr src = colourImage(9, 9, 0xFF000000u);
    for (int y = 0; y < 9; ++y) src->row32(y)[4] = 0xFFC04020u;
    BitmapPtr out = gaussianFilter(*src, 0);
    ASSERT_TRUE(out);
    const uint32_t p = out->row32(4)[4];
    const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    EXPECT_LT(r + g + b, 0xC0 + 0x40 + 0x20);
    EXPECT_GT(r, g);
    EXPECT_GT(g, b);
    // The vertical pass leaves the first and last row alone (b = 1 for three taps): a line along the
    // top row keeps its brightness, and its colour comes back through the chroma within a few levels.
    BitmapPtr top = colourImage(9, 9, 0xFF000000u);
    for (int x = 0; x < 9; ++x) top->row32(0)[x] = 0xFFC04020u;
    const uint32_t edge = gaussianFilter(*top, 0)->row32(0)[4];
    EXPECT_NEAR(static_cast<int>((edge >> 16) & 0xFF), 0xC0, 3);
    EXPECT_NEAR(static_cast<int>((edge >> 8) & 0xFF), 0x40, 3);
    EXPECT_NEAR(static_cast<int>(edge & 0xFF), 0x20, 3);
    EXPECT_EQ(out->row32(4)[0], 0xFF000000u);
    EXPECT_EQ(out->row32(4)[3] >> 24, 0xFFu);
}

TEST(GaussianFilter, IndexedImages) {
    // Grey table: the smoothed levels go straight in and the table stays.
    BitmapPtr grey = createGrey8(7, 7);
    grey->row(3)[3] = 200;
    BitmapPtr g = gaussianFilter(*grey, 0);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->pixelFormat(), PixelFormat::Indexed8);
    EXPECT_LT(g->row(3)[3], 200);
    EXPECT_GT(g->row(3)[2], 0);
    EXPECT_TRUE(isGreyRamp(g->palette()));

    // A min-is-white table: writing brightness bytes as indices would invert the picture.
    BitmapPtr inverted = Bitmap::create(7, 7, PixelFormat::Indexed8);
    Palette pal{};
    for (uint32_t i = 0; i < 256; ++i) pal[i] = 0xFF000000u + (255 - i) * 0x010101u;
    inverted->setPalette(pal);
    // Index 0 is white everywhere.
    BitmapPtr w = gaussianFilter(*inverted, 0);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->pixelFormat(), PixelFormat::Argb32);
    EXPECT_GE(w->row32(3)[3] & 0xFF, 250u);
}

} // namespace
} // namespace quadrel
