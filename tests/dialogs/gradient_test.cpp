#include "dialogs/gradient.h"

#include <gtest/gtest.h>
#include <set>

namespace quadrel {
namespace {

TEST(Gradient, LinearEntriesAndQuantizedBands) {
    CGradient g;
    g.SetInterpolationMethod(kInterpolateLinear);
    g.SetStartPegColour(0xFF000000u);
    g.SetEndPegColour(0xFFC000C0u);
    const std::vector<uint32_t> e = g.MakeEntries(256);
    ASSERT_EQ(e.size(), 256u);
    EXPECT_EQ(e[0], 0xFF000000u);
    EXPECT_EQ(e[128], 0xFF600060u);
    EXPECT_EQ(e[255], 0xFFBF00BFu);

    g.SetQuantization(4);
    const std::vector<uint32_t> q = g.MakeEntries(256);
    EXPECT_EQ(std::set<uint32_t>(q.begin(), q.end()).size(), 4u);
    EXPECT_EQ(q[0], g.ColourFromPosition(0.125f));
    EXPECT_EQ(q[64], q[127]);
    EXPECT_EQ(q[255], CGradient::Interpolate(kInterpolateLinear, 0xFF000000u, 0xFFC000C0u, 0.875f, 0.0f, 1.0f));

    g.SetUseBackground(true);
    g.SetBackgroundColour(0x12345678u);
    EXPECT_EQ(g.MakeEntries(4)[0], 0x12345678u);
    EXPECT_EQ(g.ColourFromPosition(0.0f), 0x12345678u);
    EXPECT_EQ(g.ColourFromPosition(1.5f), 0u);
    EXPECT_EQ(g.ColourFromPosition(-0.1f), 0u);
}

TEST(Gradient, PegsKeepTheirIdsAndOrder) {
    CGradient g;
    const int a = g.AddPeg(0xFF00FF00u, 0.6f);
    const int b = g.AddPeg(0xFF0000FFu, 0.2f);
    EXPECT_EQ(a, 0);
    EXPECT_EQ(b, 0); // the new peg sorts in front
    EXPECT_EQ(g.GetPeg(1).colour, 0xFF00FF00u);
    EXPECT_FLOAT_EQ(g.GetPeg(g.AddPeg(0xFFFFFFFFu, 1.5f)).position, 1.0f);
    const int32_t id = g.GetPeg(0).id;
    const int moved = g.SetPeg(0, 0xFF0000FFu, 0.9f);
    EXPECT_EQ(g.GetPeg(moved).id, id);
    EXPECT_EQ(moved, 1);
    EXPECT_GT(CPeg().id, id); // ids only grow
    EXPECT_EQ(g.SetPeg(kPegStart, 0xFF111111u, 0.5f), -1);
    EXPECT_EQ(g.GetPeg(kPegStart).colour, 0xFF111111u);
    EXPECT_FLOAT_EQ(g.GetPeg(kPegStart).position, 0.0f);
    EXPECT_THROW(g.SetPeg(7, 0, 0), std::invalid_argument);
    EXPECT_THROW(g.GetPeg(3), std::invalid_argument);
    EXPECT_THROW(g.RemovePeg(-1), std::invalid_argument);
    EXPECT_THROW(g.SetInterpolationMethod(10), std::invalid_argument);
    g.RemovePeg(0);
    EXPECT_EQ(g.GetPegCount(), 2);
}

TEST(Gradient, InterpolationMethods) {
    const uint32_t a = 0xFF000000u, b = 0xFFFFFFFFu;
    EXPECT_EQ(CGradient::Interpolate(kInterpolateFlatStart, a, b, 0.5f, 0, 1), a);
    EXPECT_EQ(CGradient::Interpolate(kInterpolateFlatEnd, a, b, 0.5f, 0, 1), b);
    EXPECT_EQ(CGradient::Interpolate(kInterpolateFlatMid, a, b, 0.1f, 0, 1), 0xFF7F7F7Fu);
    EXPECT_EQ(CGradient::Interpolate(kInterpolateCosine, a, b, 0.5f, 0, 1), 0xFF7F7F7Fu);
    EXPECT_EQ(CGradient::Interpolate(kInterpolateReverse, a, b, 0.25f, 0, 1), 0xFFBFBFBFu);
    EXPECT_EQ(CGradient::Interpolate(kInterpolateLinear, a, b, 0.3f, 0.3f, 0.3f), a);

    // Red to red with a green peg at 0.33: the hue runs forward through yellow, then cyan, blue, magenta.
    CGradient hue;
    hue.SetInterpolationMethod(kInterpolateHue);
    hue.SetStartPegColour(0xFFFF0000u);
    hue.SetEndPegColour(0xFFFF0000u);
    hue.AddPeg(0xFF00FF00u, 0.33f);
    const uint32_t yellowish = hue.ColourFromPosition(0.165f);
    EXPECT_GT((yellowish >> 16) & 0xFF, 200u);
    EXPECT_GT((yellowish >> 8) & 0xFF, 200u);
    EXPECT_LT(yellowish & 0xFF, 40u);
    const uint32_t bluish = hue.ColourFromPosition(0.665f);
    EXPECT_GT(bluish & 0xFF, 200u);
    EXPECT_LT((bluish >> 8) & 0xFF, 60u);
    EXPECT_EQ(hue.ColourFromPosition(0.33f), 0xFF00FF00u);

    // The shorter way from red to blue goes through magenta, the longer one through green and cyan.
    const uint32_t shortWay = CGradient::Interpolate(kInterpolateHueShort, 0xFFFF0000u, 0xFF0000FFu, 0.5f, 0, 1);
    const uint32_t longWay = CGradient::Interpolate(kInterpolateHueLong, 0xFFFF0000u, 0xFF0000FFu, 0.5f, 0, 1);
    EXPECT_GT((shortWay >> 16) & 0xFF, 200u);
    EXPECT_GT(shortWay & 0xFF, 200u);
    EXPECT_GT((longWay >> 8) & 0xFF, 200u);
}

} // namespace
} // namespace quadrel
