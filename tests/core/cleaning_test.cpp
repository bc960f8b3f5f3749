#include "core/cleaning.h"
#include "test_util.h"

#include <gtest/gtest.h>

namespace quadrel {
namespace {

using test::labelArt;
using test::maskFromArt;

BitmapPtr labelled(const std::vector<std::string>& art) {
    BitmapPtr m = maskFromArt(art);
    labelMask(*m);
    return m;
}

TEST(FillHoles, FillsEnclosedBackgroundOnly) {
    struct Case {
        const char* what;
        std::vector<std::string> in, out;
    };
    const Case cases[] = {
        {"ring becomes a disc",
         {".......", ".#####.", ".#...#.", ".#...#.", ".#####.", "......."},
         {".......", ".aaaaa.", ".aaaaa.", ".aaaaa.", ".aaaaa.", "......."}},
        {"an enclosed region becomes part of its cell",
         {"..........", "..........", "..#####...", "..#...##..", "..#....#..", "..######..", "..........",
          ".........."},
         {"..........", "..........", "..aaaaa...", "..aaaaaa..", "..aaaaaa..", "..aaaaaa..", "..........",
          ".........."}},
        {"hole reaching the rectangle next to the edge stays open",
         {".......", ".##.##.", ".#...#.", ".#...#.", ".#####.", "......."},
         {".......", ".aa.aa.", ".a...a.", ".a...a.", ".aaaaa.", "......."}},
        {"diagonal gap is no wall",
         {"........", "..####..", ".#....#.", ".#....#.", "..###.#.", "........"},
         {"........", "..aaaa..", ".a....a.", ".a....a.", "..aaa.a.", "........"}},
        // Object pixels on the rectangle next to the edge must survive, and a hole behind a wall that
        // lies on that rectangle is still a hole.
        {"object crossing row 1 keeps its pixels",
         {"......", ".####.", ".####.", "......"},
         {"......", ".aaaa.", ".aaaa.", "......"}},
        {"ring with its wall on column 1",
         {"........", ".#####..", ".#...#..", ".#...#..", ".#####..", "........"},
         {"........", ".aaaaa..", ".aaaaa..", ".aaaaa..", ".aaaaa..", "........"}},
    };
    for (const Case& c : cases) {
        BitmapPtr labels = labelled(c.in);
        const FillHolesResult r = fillHoles(*labels);
        ASSERT_EQ(r.status, LabelStatus::Ok) << c.what;
        ASSERT_TRUE(r.labels) << c.what;
        EXPECT_EQ(labelArt(*r.labels), c.out) << c.what;
    }
}

TEST(FillHoles, LeavesTheInputUntouchedAndReportsLabelExhaustion) {
    BitmapPtr labels = labelled({".......", ".#.#.#.", "......."});
    BitmapPtr before = labels->clone();
    const FillHolesResult r = fillHoles(*labels, 2);
    EXPECT_EQ(r.status, LabelStatus::TooManyLabels);
    EXPECT_FALSE(r.labels);
    for (int x = 0; x < 7; ++x) EXPECT_EQ(labels->row32(1)[x], before->row32(1)[x]);
}

TEST(BorderCells, FindsCellsWithinTheBorderWidth) {
    // Cell a touches ring 1, b reaches ring 2, c stays inside.
    const std::vector<std::string> art = {
        "..........", ".#........", "..........", "..#.......", "..........",
        ".....##...", ".....##...", "..........", "..........", ".........."};
    BitmapPtr labels = labelled(art);
    const uint32_t a = labels->row32(1)[1], b = labels->row32(3)[2], c = labels->row32(5)[5];
    EXPECT_TRUE(borderCells(*labels, 0).empty());
    EXPECT_EQ(borderCells(*labels, 1), (std::set<uint32_t>{a}));
    EXPECT_EQ(borderCells(*labels, 2), (std::set<uint32_t>{a, b}));
    // A width beyond half the image is limited to width/2 - 1 = 4 rings, which reach every cell.
    EXPECT_EQ(borderCells(*labels, 100), (std::set<uint32_t>{a, b, c}));
}

TEST(KeptCells, MinimumSizeAndBorderDecideTheRemovals) {
    const std::vector<std::string> art = {"..........", ".#........", "..........", "....#####.",
                                          "..........", "..####....", "..........", ".........."};
    BitmapPtr labels = labelled(art);
    const auto counts = countLabels(*labels);
    ASSERT_EQ(counts.size(), 3u);
    const uint32_t dot = labels->row32(1)[1], five = labels->row32(3)[4], four = labels->row32(5)[2];

    EXPECT_TRUE(removalSet(*labels, counts, {false, 1, 0.0}).empty());
    // Minimum size 5 removes 1 to 4 pixels and keeps exactly 5.
    EXPECT_EQ(removalSet(*labels, counts, {false, 1, 5.0}), (std::set<uint32_t>{dot, four}));
    EXPECT_EQ(removalSet(*labels, counts, {true, 1, 0.0}), (std::set<uint32_t>{dot, five}));
    EXPECT_TRUE(removalSet(*labels, counts, {true, 0, 0.0}).empty());

    BitmapPtr kept = keptCellMask(*labels, {dot, four});
    EXPECT_EQ(kept->row(1)[1], 0);
    EXPECT_EQ(kept->row(5)[2], 0);
    EXPECT_EQ(kept->row(3)[4], 255);
    // A removed cell keeps its pixels in the label image.
    EXPECT_EQ(labels->row32(1)[1], dot);
}

} // namespace
} // namespace quadrel
