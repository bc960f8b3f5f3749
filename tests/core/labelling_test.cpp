#include "core/labelling.h"
#include "test_util.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

namespace quadrel {
namespace {

using test::labelArt;
using test::maskFromArt;

// The raster-scan labelling with its explicit equivalence store, written out step by step. The fast
// labelling must end with exactly the same label values.
void referenceLabel(Bitmap& m) {
    const int w = m.width(), h = m.height();
    uint32_t counter = kLabelBase;
    std::map<uint32_t, uint32_t> rep;
    std::map<uint32_t, std::set<uint32_t>> members;
    bool any = false;
    auto px = [&](int x, int y) -> uint32_t& { return m.row32(y)[x]; };
    auto repOf = [&](uint32_t v) {
        auto it = rep.find(v);
        return it == rep.end() ? v : it->second;
    };
    for (int y = 1; y < h - 1; ++y) {
        for (int x = 1; x < w - 1; ++x) {
            if (px(x, y) == 0) continue;
            const int nx[4] = {x + 1, x, x - 1, x - 1}, ny[4] = {y - 1, y - 1, y - 1, y};
            bool found = false;
            for (int k = 0; k < 4; ++k)
                if (px(nx[k], ny[k]) != 0) {
                    px(x, y) = px(nx[k], ny[k]);
                    found = true;
                    break;
                }
            if (!found) {
                do ++counter;
                while (counter == 0);
                px(x, y) = counter;
                rep[counter] = counter;
                members[counter] = {counter};
            }
            for (int k = 0; k < 4; ++k) {
                const uint32_t nv = px(nx[k], ny[k]);
                if (nv == 0 || nv == px(x, y)) continue;
                const uint32_t a = repOf(px(x, y)), b = repOf(nv);
                any = true;
                const uint32_t keep = std::min(a, b), gone = std::max(a, b);
                if (keep != gone) {
                    for (uint32_t l : members[gone]) {
                        rep[l] = keep;
                        members[keep].insert(l);
                    }
                    members.erase(gone);
                }
                px(x, y) = keep;
                px(nx[k], ny[k]) = keep;
            }
        }
    }
    if (!any) return;
    for (int y = 1; y < h - 1; ++y)
        for (int x = 1; x < w - 1; ++x)
            if (px(x, y) != 0) px(x, y) = repOf(px(x, y));
}

TEST(Labelling, MatchesTheRasterScanOnRandomMasks) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 300; ++round) {
        const int w = 3 + static_cast<int>(rng() % 40), h = 3 + static_cast<int>(rng() % 40);
        const double density = 0.1 + 0.8 * (rng() % 1000) / 1000.0;
        BitmapPtr a = Bitmap::create(w, h, PixelFormat::Argb32);
        for (int y = 1; y < h - 1; ++y)
            for (int x = 1; x < w - 1; ++x)
                if ((rng() % 1000) / 1000.0 < density) a->row32(y)[x] = 0xFF000000u | (rng() & 0xFFFFFF);
        BitmapPtr b = a->clone();
        referenceLabel(*a);
        labelMask(*b);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(a->row32(y)[x], b->row32(y)[x]) << "round " << round << " at " << x << "," << y;
    }
}

TEST(Labelling, ShapesGetOneLabelPerConnectedObject) {
    struct Case {
        const char* what;
        std::vector<std::string> in, out;
    };
    const Case cases[] = {
        {"diagonal touch joins", {".....", ".#...", "..#..", "...#.", "....."}, {".....", ".a...", "..a..", "...a.", "....."}},
        {"U shape keeps first arm's label",
         {".......", ".#...#.", ".#...#.", ".#####.", "......."},
         {".......", ".a...a.", ".a...a.", ".aaaaa.", "......."}},
        {"separate blobs", {"......", ".#..#.", "......", ".##...", "......"}, {"......", ".a..b.", "......", ".cc...", "......"}},
        {"border pixels are background", {"##.##", "#.#.#", "..#..", "#...#", "#####"}, {".....", "..a..", "..a..", ".....", "....."}},
    };
    for (const Case& c : cases) {
        BitmapPtr m = maskFromArt(c.in);
        labelMask(*m);
        EXPECT_EQ(labelArt(*m), c.out) << c.what;
    }
}

TEST(Labelling, LabelValuesStartAtFirstCellAndKeepSmallestProvisional) {
    // The right arm's top comes first in the scan, so it hands out 0xFF000001 and the left arm 2.
    BitmapPtr m = maskFromArt({".......", "....#..", ".#..#..", ".####..", "......."});
    const LabelResult r = labelMask(*m);
    EXPECT_EQ(r.status, LabelStatus::Ok);
    EXPECT_EQ(r.lastLabel, 0xFF000002u);
    EXPECT_EQ(m->row32(2)[1], 0xFF000001u);
    EXPECT_EQ(m->row32(3)[3], 0xFF000001u);
}

TEST(Labelling, StopsWhenLabelsRunOut) {
    BitmapPtr m = maskFromArt({".......", ".#.#.#.", "......."});
    EXPECT_EQ(labelMask(*m, 2).status, LabelStatus::TooManyLabels);
    BitmapPtr ok = maskFromArt({".......", ".#.#.#.", "......."});
    EXPECT_EQ(labelMask(*ok, 3).status, LabelStatus::Ok);
    BitmapPtr grey = createGrey8(5, 5);
    EXPECT_EQ(labelMask(*grey).status, LabelStatus::NotA32BitMask);
}

TEST(Labelling, TinyImagesHaveNoCells) {
    for (int s : {1, 2}) {
        BitmapPtr m = Bitmap::create(s, s, PixelFormat::Argb32);
        for (int y = 0; y < s; ++y)
            for (int x = 0; x < s; ++x) m->row32(y)[x] = 0xFFFFFFFFu;
        labelMask(*m);
        EXPECT_TRUE(countLabels(*m).empty());
    }
}

TEST(Outline, RedundantCornersAreDropped) {
    BitmapPtr kept = test::byteMaskFromArt({".......", ".###...", ".###...", ".###...", "......."});
    BitmapPtr o = outlineImage(*kept);
    std::vector<std::string> art;
    for (int y = 0; y < o->height(); ++y) {
        std::string r;
        for (int x = 0; x < o->width(); ++x) r += o->row(y)[x] ? '#' : '.';
        art.push_back(r);
    }
    // A 3 x 3 square keeps only its edge midpoints.
    EXPECT_EQ(art, (std::vector<std::string>{".......", "..#....", ".#.#...", "..#....", "......."}));
}

TSetOfCellBounds traceArt(const std::vector<std::string>& art) {
    BitmapPtr labels = maskFromArt(art);
    labelMask(*labels);
    BitmapPtr kept = createGrey8(labels->width(), labels->height());
    for (int y = 0; y < labels->height(); ++y)
        for (int x = 0; x < labels->width(); ++x)
            if (labels->row32(y)[x]) kept->row(y)[x] = 255;
    TSetOfCellBounds bounds;
    traceOutlines(*labels, *outlineImage(*kept), bounds);
    return bounds;
}

TEST(Tracing, SquareSinglePixelAndRing) {
    TSetOfCellBounds square = traceArt({".....", ".###.", ".###.", ".###.", "....."});
    ASSERT_EQ(square.size(), 1u);
    ASSERT_EQ(square[0].chains.size(), 1u);
    const TChainCode& c = square[0].chains[0];
    EXPECT_EQ(c.x, 1);
    EXPECT_EQ(c.y, 2);
    // Three diagonal steps around the four edge midpoints.
    EXPECT_EQ(c.steps, (std::vector<uint8_t>{7, 1, 3}));

    // One pixel has no neighbour to step to: the cell gets no chain at all.
    TSetOfCellBounds dot = traceArt({"...", ".#.", "..."});
    EXPECT_TRUE(dot.empty() || dot[0].chains.empty());

    TSetOfCellBounds ring = traceArt({"..........", ".########.", ".########.", ".##....##.", ".##....##.",
                                      ".##....##.", ".########.", ".########.", ".........."});
    ASSERT_EQ(ring.size(), 1u);
    EXPECT_GE(ring[0].chains.size(), 2u);
    // Every outline pixel is visited once, so no point appears in two chains.
    std::set<std::pair<int, int>> seen;
    size_t points = 0;
    for (const TChainCode& ch : ring[0].chains)
        forEachChainPoint(ch, [&](int x, int y) {
            seen.insert({x, y});
            ++points;
        });
    EXPECT_EQ(seen.size(), points);
}

TEST(Tracing, CellsComeInLabelOrderAndExistingEntriesAreFilled) {
    std::vector<std::string> art = {"..........", ".###..###.", ".###..###.", ".###..###.", ".........."};
    BitmapPtr labels = maskFromArt(art);
    labelMask(*labels);
    BitmapPtr kept = test::byteMaskFromArt(art);
    TSetOfCellBounds bounds;
    bounds.emplace_back(0xFF000002u);
    traceOutlines(*labels, *outlineImage(*kept), bounds);
    ASSERT_EQ(bounds.size(), 2u);
    EXPECT_EQ(bounds[0].label, 0xFF000002u);
    EXPECT_EQ(bounds[1].label, 0xFF000001u);
    EXPECT_FALSE(bounds[0].chains.empty());
}

TEST(CountLabels, CountsInteriorPixelsPerLabel) {
    BitmapPtr m = maskFromArt({"......", ".##.#.", ".##...", "......"});
    labelMask(*m);
    const auto counts = countLabels(*m);
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_EQ(counts[0].label, 0xFF000001u);
    EXPECT_EQ(counts[0].count, 4u);
    EXPECT_EQ(counts[1].count, 1u);
}

} // namespace
} // namespace quadrel
