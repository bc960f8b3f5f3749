#include "core/threshold.h"
#include "core/threshold_archive.h"
#include "tools/synthetic.h"

#include <gtest/gtest.h>

#include <cstring>

namespace quadrel {
namespace {

BitmapPtr greyRow(const std::vector<uint8_t>& levels, int height = 1) {
    BitmapPtr b = createGrey8(static_cast<int>(levels.size()), height);
    for (int y = 0; y < height; ++y) std::memcpy(b->row(y), levels.data(), levels.size());
    return b;
}

TEST(AutomaticLevel, IterativeIntermeans) {
    CHistogram oneBin{};
    oneBin[77] = 1000;
    EXPECT_EQ(automaticLevel(oneBin), 128);

    CHistogram ends{};
    ends[0] = 500;
    ends[255] = 500;
    EXPECT_EQ(automaticLevel(ends), 128);

    CHistogram two{};
    two[50] = 100;
    two[150] = 100;
    EXPECT_EQ(automaticLevel(two), 100);

    CHistogram empty{};
    EXPECT_EQ(automaticLevel(empty), 128);
}

TEST(ThresholdObject, MarkerPositionsSelectLevels) {
    CThresholdObject t(0.5f, 1.0f);
    t.buildLookupTable();
    EXPECT_EQ(t.lookupTable[127], 0u);
    EXPECT_EQ(t.lookupTable[128], 0xFFFF0000u);
    EXPECT_EQ(t.lookupTable[255], 0xFFFF0000u);

    CThreshold i;
    i.minimum = 300; // beyond the levels: clamped, selects 255 only
    i.maximum = 400;
    i.buildLookupTable();
    EXPECT_EQ(i.lookupTable[255], 0xFFFFFFFFu);
    EXPECT_EQ(i.lookupTable[254], 0u);
    i.minimum = 10;
    i.maximum = 5;
    i.buildLookupTable();
    for (uint32_t v : i.lookupTable) EXPECT_EQ(v, 0u);
}

TEST(ThresholdObject, StackedOperations) {
    BitmapPtr src = greyRow({0, 64, 128, 192, 255});
    auto first = std::make_shared<CThresholdObject>(0.0f, 0.6f); // levels 0..153
    first->source = src;
    first->operation = kOpSet;
    first->setColour(0x00FF00);
    auto second = std::make_shared<CThresholdObject>(0.4f, 1.0f); // levels 102..255
    second->source = src;
    second->operation = kOpIntersection;
    second->setColour(0x0000FF);

    auto run = [&](std::vector<std::shared_ptr<CThresholdObject>> items) {
        CThresholdObjects stack;
        stack.items = std::move(items);
        BitmapPtr mask = Bitmap::create(5, 1, PixelFormat::Argb32);
        stack.apply(*mask);
        return std::vector<uint32_t>(mask->row32(0), mask->row32(0) + 5);
    };
    // Only level 128 lies in both ranges, and it takes the second threshold's colour.
    EXPECT_EQ(run({first, second}), (std::vector<uint32_t>{0, 0, 0xFF0000FF, 0, 0}));

    auto same = std::make_shared<CThresholdObject>(0.0f, 0.6f);
    same->source = src;
    for (int op : {kOpXor, kOpDifference, kOpComplement}) {
        same->operation = op;
        EXPECT_EQ(run({first, same}), (std::vector<uint32_t>(5, 0))) << operationName(op);
    }
    same->operation = kOpUnion;
    EXPECT_EQ(run({first, same})[0], 0xFFFF0000u);
    same->operation = kOpNop;
    EXPECT_EQ(run({first, same})[0], 0xFF00FF00u);
    same->operation = 42; // unknown codes leave the mask alone
    EXPECT_EQ(run({first, same})[0], 0xFF00FF00u);
}

TEST(ThresholdObject, HysteresisKeepsWeakRegionsTouchingStrongOnes) {
    // Weak range 100..255, strong 200..255. Region A (weak only) touches a strong pixel diagonally;
    // region B (weak only) touches none; strong pixels on the border never count.
    const char* art[] = {
        "S.......",
        ".ww.....",
        "...S....",
        ".....ww.",
        "........",
    };
    BitmapPtr src = createGrey8(8, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 8; ++x) src->row(y)[x] = art[y][x] == 'S' ? 220 : art[y][x] == 'w' ? 150 : 10;
    CThresholdObject t;
    t.source = src;
    t.operation = kOpSet;
    t.setRange(100.0f / 256, 255.0f / 256);
    t.setHysteresis(true);
    ASSERT_EQ(t.markers->markers.size(), 4u);
    t.markers->markers[1]->position = 200.0f / 256;
    t.markers->markers[2]->position = 1.0f;
    BitmapPtr mask = Bitmap::create(8, 5, PixelFormat::Argb32);
    ASSERT_TRUE(t.apply(*mask));
    auto on = [&](int x, int y) { return mask->row32(y)[x] != 0; };
    EXPECT_TRUE(on(1, 1));
    EXPECT_TRUE(on(2, 1));
    EXPECT_TRUE(on(3, 2));
    EXPECT_FALSE(on(5, 3));
    EXPECT_FALSE(on(6, 3));
    EXPECT_FALSE(on(0, 0));
    EXPECT_EQ(mask->row32(1)[1], 0xFFFF0000u);

    t.setHysteresis(false);
    EXPECT_EQ(t.markers->markers.size(), 2u);
    EXPECT_FALSE(t.hysteresisImage);
}

TEST(ThresholdObject, HysteresisMarkersWidenAroundTheRange) {
    CThresholdObject t(0.5f, 0.98f);
    t.setHysteresis(true);
    const auto& m = t.markers->markers;
    EXPECT_FLOAT_EQ(m[0]->position, 0.45f);
    EXPECT_FLOAT_EQ(m[1]->position, 0.5f);
    EXPECT_FLOAT_EQ(m[2]->position, 0.98f);
    EXPECT_FLOAT_EQ(m[3]->position, 1.0f);
    EXPECT_EQ(t.markers->minimumIndex(), 1);
    EXPECT_EQ(t.markers->hysteresisMaximumIndex(), 3);
}

TEST(AutomaticThreshold, FindsTheDarkCellsOfTheSyntheticPicture) {
    synth::Options o;
    o.width = o.height = 256;
    o.cells = 12;
    const std::vector<uint32_t> px = synth::makeCells(o);
    BitmapPtr src = Bitmap::create(256, 256, PixelFormat::Argb32);
    for (int y = 0; y < 256; ++y) std::memcpy(src->row32(y), px.data() + y * 256, 256 * 4);
    BitmapPtr grey = deriveChannel(*src, kSlotGrey);
    const CHistogram h = computeHistogram(*grey);
    const AutoThresholdResult dark = automaticThreshold(grey, &h, false);
    ASSERT_TRUE(dark.labels);
    EXPECT_GT(dark.level, 60);
    EXPECT_LT(dark.level, 170);
    const auto cells = countLabels(*dark.labels);
    EXPECT_GE(cells.size(), 5u);
    // Background is bright: the bright threshold selects far more pixels than the dark one.
    const AutoThresholdResult bright = automaticThreshold(grey, &h, true);
    uint64_t darkPixels = 0, brightPixels = 0;
    for (const auto& c : cells) darkPixels += c.count;
    for (const auto& c : countLabels(*bright.labels)) brightPixels += c.count;
    EXPECT_GT(brightPixels, 3 * darkPixels);
    // The outer ring is background.
    for (int x = 0; x < 256; ++x) EXPECT_EQ(dark.labels->row32(0)[x], 0u);

    EXPECT_FALSE(automaticThreshold(nullptr, &h, false).labels);
}

TEST(ThresholdArchive, RoundTripAndFieldOrder) {
    CThresholds list;
    auto t = std::make_shared<CThreshold>();
    t->name = "grey";
    t->channel = 3;
    t->operation = 1;
    t->minimum = 10;
    t->maximum = 200;
    t->hysteresisMinimum = 5;
    t->hysteresisMaximum = 250;
    list.items = {t, t};
    CArchive out;
    storeThresholds(out, list);
    const std::vector<uint8_t> expectedStart = {0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 0xFF, 0xFF, 1, 0, 10, 0,
                                                'C', 'T', 'h', 'r', 'e', 's', 'h', 'o', 'l', 'd', 4, 'g', 'r', 'e',
                                                'y', 3, 0, 1, 0, 10, 0, 0, 0};
    ASSERT_GE(out.bytes().size(), expectedStart.size());
    EXPECT_TRUE(std::equal(expectedStart.begin(), expectedStart.end(), out.bytes().begin()));

    CArchive in(out.bytes());
    const CThresholds back = loadThresholds(in);
    ASSERT_EQ(back.items.size(), 2u);
    EXPECT_EQ(back.items[1]->name, "grey");
    EXPECT_EQ(back.items[1]->hysteresisMaximum, 250);
    EXPECT_EQ(back.items[1]->colour(), 0xFFFFFFFFu);

    CThresholdObjects objs;
    auto o = std::make_shared<CThresholdObject>(0.1f, 0.2f);
    o->minimum = 0.1;
    o->maximum = 0.2;
    o->channel = 6;
    objs.items = {o};
    CArchive out2;
    storeThresholdObjects(out2, objs);
    CArchive in2(out2.bytes());
    const CThresholdObjects back2 = loadThresholdObjects(in2);
    ASSERT_EQ(back2.items.size(), 1u);
    EXPECT_DOUBLE_EQ(back2.items[0]->minimum, 0.1);
    EXPECT_EQ(back2.items[0]->channel, 6);
    // A loaded object starts from its creation positions, whatever range it read.
    EXPECT_FLOAT_EQ(back2.items[0]->markers->markers[0]->position, 0.25f);
    EXPECT_FALSE(back2.items[0]->withHysteresis());
}

TEST(ThresholdArchive, DamagedArchivesThrow) {
    CThresholds list;
    list.items = {std::make_shared<CThreshold>()};
    CArchive out;
    storeThresholds(out, list);
    const std::vector<uint8_t> good = out.bytes();
    for (size_t cut = 0; cut < good.size(); ++cut) {
        CArchive in(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<ptrdiff_t>(cut)));
        EXPECT_THROW(loadThresholds(in), CArchiveException) << "cut at " << cut;
    }
    std::vector<uint8_t> huge = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    CArchive claims(huge);
    EXPECT_THROW(loadThresholds(claims), CArchiveException);
    // A list of one class read as the other is refused.
    CArchive wrong(good);
    EXPECT_THROW(loadThresholdObjects(wrong), CArchiveException);
}

} // namespace
} // namespace quadrel
