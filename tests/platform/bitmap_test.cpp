#include "platform/bitmap.h"

#include <gtest/gtest.h>

namespace quadrel {
namespace {

TEST(Bitmap, CreationGivesZeroedPaddedRows) {
    BitmapPtr b = Bitmap::create(3, 2, PixelFormat::Indexed8);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->stride(), 4);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(b->row(y)[x], 0);
    BitmapPtr c = Bitmap::create(5, 1, PixelFormat::Argb32);
    EXPECT_EQ(c->stride(), 20);
    EXPECT_FALSE(c->hasResolution());

    Status st = Status::Ok;
    EXPECT_FALSE(Bitmap::create(0, 5, PixelFormat::Argb32, &st));
    EXPECT_EQ(st, Status::InvalidParameter);
    EXPECT_FALSE(Bitmap::create(5, 5, PixelFormat::Undefined, &st));
    EXPECT_FALSE(Bitmap::create(1 << 30, 4, PixelFormat::Argb32, &st));
    EXPECT_EQ(st, Status::ValueOverflow);
}

TEST(Bitmap, LockedViewsOverRectanglesAndFormats) {
    BitmapPtr b = Bitmap::create(4, 3, PixelFormat::Argb32);
    const Rect r{1, 1, 2, 2};
    {
        CBitmapDataPtr d = CBitmapData::lock(b, LockWrite, PixelFormat::Argb32, &r);
        ASSERT_TRUE(d->ok());
        EXPECT_EQ(d->width(), 2u);
        EXPECT_EQ(d->height(), 2u);
        d->row32(1)[1] = 0xFF123456u;
        // A second lock while the first is held is refused and remembered.
        CBitmapDataPtr again = CBitmapData::lock(b, LockRead, PixelFormat::Argb32);
        EXPECT_EQ(again->status(), Status::WrongState);
    }
    EXPECT_EQ(b->row32(2)[2], 0xFF123456u);
    EXPECT_EQ(b->takeLastStatus(), Status::WrongState);
    EXPECT_EQ(b->takeLastStatus(), Status::Ok);

    // Released views unlock: a new lock succeeds.
    EXPECT_TRUE(CBitmapData::lock(b, LockRead, PixelFormat::Argb32)->ok());
    const Rect outside{3, 2, 2, 2};
    EXPECT_EQ(CBitmapData::lock(b, LockRead, PixelFormat::Argb32, &outside)->status(), Status::InvalidParameter);

    // An 8-bit image reads as colour through its table, but cannot be written as colour.
    BitmapPtr g = createGrey8(2, 2);
    g->row(1)[0] = 0x40;
    {
        CBitmapDataPtr d = CBitmapData::lock(g, LockRead, PixelFormat::Argb32);
        ASSERT_TRUE(d->ok());
        EXPECT_EQ(d->row32(1)[0], 0xFF404040u);
    }
    EXPECT_EQ(CBitmapData::lock(g, LockWrite, PixelFormat::Argb32)->status(), Status::InvalidParameter);

    // 32-bit RGB written through an ARGB view keeps its pixels opaque.
    BitmapPtr rgb = Bitmap::create(1, 1, PixelFormat::Rgb32);
    CBitmapData::lock(rgb, LockWrite, PixelFormat::Argb32)->row32(0)[0] = 0x00ABCDEFu;
    uint32_t px = 0;
    EXPECT_EQ(rgb->getPixel(0, 0, px), Status::Ok);
    EXPECT_EQ(px, 0xFFABCDEFu);
}

TEST(Bitmap, PaletteResolutionPixelsAndClone) {
    BitmapPtr g = createGrey8(2, 1);
    EXPECT_TRUE(isGreyRamp(g->palette()));
    EXPECT_EQ(g->palette()[255], 0xFFFFFFFFu);
    g->setPaletteEntry(1, 0xFFFF0000u);
    EXPECT_FALSE(isGreyRamp(g->palette()));
    g->row(0)[1] = 1;
    uint32_t px = 0;
    g->getPixel(1, 0, px);
    EXPECT_EQ(px, 0xFFFF0000u);
    EXPECT_EQ(g->setPixel(0, 0, 0xFF000000u), Status::InvalidParameter);
    EXPECT_EQ(g->getPixel(2, 0, px), Status::InvalidParameter);

    EXPECT_EQ(g->setResolution(-1.0f, 72.0f), Status::InvalidParameter);
    EXPECT_EQ(g->setResolution(254.0f, 127.0f), Status::Ok);
    BitmapPtr c = g->clone();
    EXPECT_TRUE(c->hasResolution());
    EXPECT_FLOAT_EQ(c->verticalResolution(), 127.0f);
    EXPECT_EQ(c->palette()[1], 0xFFFF0000u);
    c->row(0)[0] = 9;
    EXPECT_EQ(g->row(0)[0], 0);
}

TEST(Bitmap, ClearBorderOnTinyAndOrdinaryImages) {
    for (int s : {1, 2, 5}) {
        BitmapPtr b = Bitmap::create(s, s, PixelFormat::Argb32);
        clearBorder(*b, 0xFF00FF00u);
        for (int y = 0; y < s; ++y)
            for (int x = 0; x < s; ++x) {
                const bool ring = x == 0 || y == 0 || x == s - 1 || y == s - 1;
                EXPECT_EQ(b->row32(y)[x], ring ? 0xFF00FF00u : 0u) << s << ":" << x << "," << y;
            }
    }
    BitmapPtr g = createGrey8(3, 3);
    clearBorder(*g, 7);
    EXPECT_EQ(g->row(0)[1], 7);
    EXPECT_EQ(g->row(1)[1], 0);
}

} // namespace
} // namespace quadrel
