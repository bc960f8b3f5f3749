#include "core/feret.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>

using namespace quadrel;

namespace {

std::string describe(const FarthestPair& p) {
    return std::to_string(p.found) + " (" + std::to_string(p.first) + ", " + std::to_string(p.second) + ")";
}

void expectSamePair(const std::vector<OutlinePoint>& pts) {
    const FarthestPair fast = farthestPair(pts), slow = farthestPairQuadratic(pts);
    ASSERT_EQ(describe(fast), describe(slow)) << "points: " << pts.size();
    ASSERT_TRUE(fast.squaredDistance == slow.squaredDistance);
}

// Outline points of a digitised circle in tracing-like order (round the circle), about 8r points.
std::vector<OutlinePoint> circleOutline(int r, int cx, int cy) {
    std::vector<OutlinePoint> pts;
    const int n = 8 * r;
    OutlinePoint last{INT32_MIN, INT32_MIN};
    for (int i = 0; i < n; ++i) {
        const double a = 2 * 3.14159265358979 * i / n;
        const OutlinePoint p{cx + static_cast<int>(std::lround(r * std::cos(a))),
                             cy + static_cast<int>(std::lround(r * std::sin(a)))};
        if (!(p == last)) pts.push_back(p);
        last = p;
    }
    return pts;
}

} // namespace

TEST(Perimeter, CountsStraightAndDiagonalSteps) {
    struct Case {
        std::vector<std::vector<uint8_t>> chains;
        uint32_t want;
    };
    const Case cases[] = {
        {{}, 1},                      // no chain: 0 becomes 1
        {{{0, 2, 4, 6}}, 4},          // straight steps count 1
        {{{1, 7, 5}}, 4},             // 3 x 1.414214 truncated
        {{{1, 1, 1, 1, 1, 1, 1}}, 9}, // 9.899
        {{{0, 0}, {3, 3, 3}}, 6},     // all chains of the cell count: 2 + 4.24
        {{std::vector<uint8_t>(1000, 7)}, 1414},
    };
    for (const Case& c : cases) {
        TSetOfChainCode set;
        for (const auto& steps : c.chains) {
            TChainCode code(5, 5);
            code.steps = steps;
            set.push_back(code);
        }
        EXPECT_EQ(chainPerimeter(set), c.want);
    }
}

TEST(OutlinePoints, StartThenOnePointPerStep) {
    TChainCode a(10, 10), b(3, 4);
    a.steps = {0, 6, 4};
    b.steps = {1};
    const auto pts = outlinePoints({a, b});
    const std::vector<OutlinePoint> want = {{10, 10}, {11, 10}, {11, 11}, {10, 11}, {3, 4}, {4, 3}};
    EXPECT_EQ(pts, want);
}

TEST(FeretWidths, ExtentsAcrossTheFourDirections) {
    EXPECT_EQ(feretWidths({}), (std::array<float, 4>{1, 1, 1, 1}));
    EXPECT_EQ(feretWidths({{7, 9}}), (std::array<float, 4>{1, 1, 1, 1}));
    // A horizontal run of 11 points: 0 high (raised to 1), 10 wide, 10 / sqrt 2 on the diagonals.
    std::vector<OutlinePoint> bar;
    for (int x = 0; x < 11; ++x)
        bar.push_back({100 + x, 50});
    const auto w = feretWidths(bar);
    EXPECT_EQ(w[0], 1.0f);
    EXPECT_NEAR(w[1], 10 / std::sqrt(2.0), 1e-5);
    EXPECT_EQ(w[2], 10.0f);
    EXPECT_NEAR(w[3], 10 / std::sqrt(2.0), 1e-5);
    // A diagonal from top-left to bottom-right: 0 across -135 degrees.
    std::vector<OutlinePoint> diag;
    for (int i = 0; i < 6; ++i)
        diag.push_back({i, i});
    const auto d = feretWidths(diag);
    EXPECT_EQ(d[0], 5.0f);
    EXPECT_NEAR(d[1], 10 / std::sqrt(2.0), 1e-5);
    EXPECT_EQ(d[3], 1.0f);
    // The same outline far away has the same widths.
    std::vector<OutlinePoint> farDiag = diag;
    for (auto& p : farDiag)
        p.x += 60000, p.y += 60000;
    EXPECT_EQ(feretWidths(farDiag), d);
}

TEST(FarthestPair, SmallCasesFollowTheSearchOrder) {
    EXPECT_FALSE(farthestPair({}).found);
    // One point, or all in one place: the first point with itself.
    const FarthestPair one = farthestPair({{4, 4}});
    EXPECT_TRUE(one.found);
    EXPECT_EQ(one.first, 0u);
    EXPECT_EQ(one.second, 0u);
    const FarthestPair same = farthestPair({{4, 4}, {4, 4}, {4, 4}});
    EXPECT_EQ(same.first, 0u);
    EXPECT_EQ(same.second, 0u);
    // Square corners: both diagonals tie; the pair with the first point wins, the first point first.
    const FarthestPair sq = farthestPair({{0, 1}, {0, 0}, {1, 0}, {1, 1}});
    EXPECT_EQ(sq.first, 0u);
    EXPECT_EQ(sq.second, 2u);
    // A repeated end point: its first position counts.
    const FarthestPair rep = farthestPair({{5, 0}, {0, 0}, {2, 0}, {0, 0}, {5, 0}});
    EXPECT_EQ(rep.first, 0u);
    EXPECT_EQ(rep.second, 1u);
}

TEST(FarthestPair, MatchesTheQuadraticSearchOnRandomOutlines) {
    std::mt19937 rng(12345);
    for (int trial = 0; trial < 3000; ++trial) {
        // Small coordinate ranges give many ties and repeated points; larger ones general positions.
        const int range = trial % 3 == 0 ? 3 : trial % 3 == 1 ? 12 : 2000;
        const int n = static_cast<int>(rng() % 60);
        std::uniform_int_distribution<int> c(-range, range);
        std::vector<OutlinePoint> pts;
        for (int i = 0; i < n; ++i)
            pts.push_back({c(rng), c(rng)});
        expectSamePair(pts);
        if (HasFatalFailure()) return;
    }
    // Symmetric shapes with many pairs at the diameter: regular digitised circles and their rotations.
    for (int r = 1; r < 40; ++r) {
        auto pts = circleOutline(r, r * 3, -r);
        for (int rot = 0; rot < 3; ++rot) {
            std::rotate(pts.begin(), pts.begin() + static_cast<long>(pts.size() / 3), pts.end());
            expectSamePair(pts);
            if (HasFatalFailure()) return;
        }
    }
    // Collinear points, and extreme coordinates.
    expectSamePair({{0, 0}, {3, 3}, {1, 1}, {-2, -2}, {3, 3}});
    expectSamePair({{INT32_MIN, INT32_MIN}, {INT32_MAX, INT32_MAX}, {0, 0}, {INT32_MAX, INT32_MIN}});
}

TEST(FarthestPair, LargeDiscOutline) {
    // The outline of a 2000-pixel disc: the fast search finds the pair the full search finds.
    const auto pts = circleOutline(1000, 1200, 1100);
    ASSERT_GT(pts.size(), 5000u);
    expectSamePair(pts);
}

TEST(ApplyOutline, FillsPerimeterWidthsAndPair) {
    TCellBaseFeature r(0xFF000003u);
    TChainCode c(10, 20);
    c.steps = {0, 0, 0, 0, 6, 4, 4, 4}; // 4 right, 1 down, 3 left
    applyOutline(r, {c});
    EXPECT_EQ(r.perimeter, 8u);
    EXPECT_EQ(r.feret.widths[2], 4.0f);
    EXPECT_EQ(r.feret.x1, 10);
    EXPECT_EQ(r.feret.y1, 20);
    EXPECT_EQ(r.feret.x2, 14);
    EXPECT_EQ(r.feret.y2, 21);
    EXPECT_NEAR(r.feret.length(), std::sqrt(25.0 + 4.0), 1e-6);
    EXPECT_EQ(r.feret.reserved, 0u);

    // Records are matched to their bounds by label; records without bounds are left alone.
    std::vector<TCellBaseFeature> records{TCellBaseFeature(0xFF000001u), TCellBaseFeature(0xFF000003u)};
    TCellBounds b(0xFF000003u);
    b.chains.push_back(c);
    applyOutlines(records, {b});
    EXPECT_EQ(records[0].perimeter, 0u);
    EXPECT_EQ(records[1].perimeter, 8u);
}
