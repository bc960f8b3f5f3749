#include "core/features.h"
#include "core/feret.h"
#include "core/measurement.h"
#include "measure_fixtures.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>
#include <random>
#include <set>

using namespace quadrel;
using namespace quadrel::fixture;

namespace {

constexpr double kPi = std::numbers::pi;

double val(const TCellBaseFeature& r, FeatureId id, FeatureScale s = {}) {
    return static_cast<double>(featureValue(TFeature(id), r, s));
}

// Relative closeness for values that may be large or near zero.
void expectClose(double a, double b, double rel, const char* what) {
    const double tol = rel * std::max({std::abs(a), std::abs(b), 1e-30});
    EXPECT_NEAR(a, b, tol) << what;
}

// The chain of a 3 x 3 square whose top-left pixel is (x, y): its outline keeps the four edge midpoints.
TSetOfChainCode squareChain(int x, int y) {
    TChainCode c(x, y + 1);
    c.steps = {1, 7, 5};
    return {c};
}

TSetOfChainCode barChain(int x, int y, int length) {
    TChainCode c(x, y);
    c.steps.assign(static_cast<size_t>(length - 1), 0);
    return {c};
}

} // namespace

TEST(FeatureNames, TablesRoundTripAndUnknownsAreEmpty) {
    std::set<std::string> seen;
    for (int32_t id = 1; id <= 62; ++id) {
        const std::string& name = featureName(TFeature(id));
        ASSERT_FALSE(name.empty()) << id;
        EXPECT_TRUE(seen.insert(name).second) << name;
        EXPECT_EQ(featureFromName(name).id(), id) << name;
    }
    EXPECT_EQ(featureNames().size(), 62u);
    EXPECT_EQ(featureIdentifiers().size(), 62u);

    const std::pair<int32_t, const char*> spot[] = {
        {1, "Label"},           {21, "MeanLinearIntercept"}, {32, "mu11"},       {45, "nm30"},
        {55, "Elongation(EC)"}, {58, "Sphericity(FC)"},      {62, "Kurtosis(Y)"}};
    for (auto [id, name] : spot)
        EXPECT_EQ(featureName(TFeature(id)), name);

    EXPECT_EQ(featureName(TFeature(0)), "");
    EXPECT_EQ(featureName(TFeature(63)), "");
    EXPECT_EQ(featureFromName("area").id(), 0); // names are matched exactly
    EXPECT_EQ(featureFromName("").id(), 0);
}

TEST(FeatureSet, KeepsOrderWithoutDuplicates) {
    TSetOfFeatures s{FeatureId::Perimeter, FeatureId::Area, FeatureId::Perimeter};
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0], TFeature(FeatureId::Perimeter));
    EXPECT_EQ(s[1], TFeature(FeatureId::Area));
    EXPECT_FALSE(s.add(FeatureId::Area));
    EXPECT_TRUE(s.remove(FeatureId::Perimeter));
    EXPECT_EQ(s.indexOf(FeatureId::Area), 0);
    EXPECT_EQ(s.indexOf(FeatureId::Label), -1);
}

TEST(FeatureValues, SinglePixelCell) {
    TCellBaseFeature r = recordOf({{10, 20}});
    EXPECT_EQ(r.area, 1u);
    EXPECT_EQ(val(r, FeatureId::Area), 1.0);
    EXPECT_EQ(val(r, FeatureId::XCenter), 10.0);
    EXPECT_EQ(val(r, FeatureId::YCenter), 20.0);
    EXPECT_EQ(val(r, FeatureId::Mu20), 0.0);
    EXPECT_EQ(val(r, FeatureId::Mu02), 0.0);
    EXPECT_EQ(val(r, FeatureId::AxisMajor), 1.0);
    EXPECT_EQ(val(r, FeatureId::AxisMinor), 1.0);
    EXPECT_EQ(val(r, FeatureId::Orientation), 0.0);
    for (FeatureId id : {FeatureId::SkewnessX, FeatureId::SkewnessY, FeatureId::KurtosisX, FeatureId::KurtosisY})
        EXPECT_EQ(val(r, id), 0.0);
    // No outline: the perimeter shows 0 but counts as 1 in the shape factors.
    EXPECT_EQ(val(r, FeatureId::Perimeter), 0.0);
    EXPECT_NEAR(val(r, FeatureId::Compactness), 1.0 / (4.0 * kPi), 1e-7);
    EXPECT_NEAR(val(r, FeatureId::ShapeFactor), 4.0 * kPi, 1e-5);
}

TEST(FeatureValues, ThreeByThreeSquare) {
    TCellBaseFeature r = recordOf(rectanglePixels(4, 6, 3, 3));
    applyOutline(r, squareChain(4, 6));
    EXPECT_EQ(val(r, FeatureId::Area), 9.0);
    EXPECT_EQ(r.perimeter, 4u);
    EXPECT_NEAR(val(r, FeatureId::Compactness), 16.0 / (36.0 * kPi), 1e-7);
    EXPECT_NEAR(val(r, FeatureId::Sphericity), 16.0 / (36.0 * kPi), 1e-7);
    EXPECT_NEAR(val(r, FeatureId::ShapeFactor), 36.0 * kPi / 16.0, 1e-5);
    EXPECT_EQ(val(r, FeatureId::XCenter), 5.0);
    EXPECT_EQ(val(r, FeatureId::YCenter), 7.0);
    EXPECT_EQ(val(r, FeatureId::Mu20), 6.0);
    EXPECT_EQ(val(r, FeatureId::Mu02), 6.0);
    EXPECT_EQ(val(r, FeatureId::Mu11), 0.0);
    EXPECT_NEAR(val(r, FeatureId::SigmaX), std::sqrt(6.0 / 9.0), 1e-6);
    // Widths across 0, -45, -90, -135 degrees of the four edge midpoints.
    EXPECT_NEAR(val(r, FeatureId::FeretMin), std::sqrt(2.0), 1e-6);
    EXPECT_NEAR(val(r, FeatureId::FeretMean), (4.0 + 2.0 * std::sqrt(2.0)) / 4.0, 1e-6);
    // Farthest pair: the left and right midpoints, 3 pixels wide and 1 high.
    EXPECT_NEAR(val(r, FeatureId::FeretMax), std::sqrt(10.0), 1e-6);
    EXPECT_NEAR(val(r, FeatureId::MeanLinearIntercept), 3.0 / 9.0, 1e-7);
    EXPECT_EQ(val(r, FeatureId::MeanChordLength), 3.0);
    EXPECT_EQ(val(r, FeatureId::Anisotropy), 1.0);
    EXPECT_NEAR(val(r, FeatureId::PerimeterPC), kPi * std::sqrt(10.0) / 4.0, 1e-6);
    EXPECT_NEAR(val(r, FeatureId::Lengthening), 3.0 * 10.0 / 36.0, 1e-6);
    EXPECT_NEAR(val(r, FeatureId::Elongation), 2.0 * std::sqrt(9.0 / kPi) / std::sqrt(10.0), 1e-6);
    EXPECT_NEAR(val(r, FeatureId::Surface), 9.0 / (kPi * 10.0 / 4.0), 1e-6);
    // Symmetric: the orientation rule falls through to an unchanged angle, the odd moments vanish.
    EXPECT_EQ(val(r, FeatureId::Mu30), 0.0);
    EXPECT_EQ(val(r, FeatureId::SkewnessX), 0.0);
    EXPECT_NEAR(val(r, FeatureId::M1), 12.0 / 81.0, 1e-7);
    EXPECT_NEAR(val(r, FeatureId::KurtosisX), (6.0 / 9.0) / ((6.0 / 9.0) * (6.0 / 9.0)) - 3.0, 1e-6);
}

TEST(FeatureValues, OnePixelHighBar) {
    TCellBaseFeature r = recordOf(rectanglePixels(3, 8, 11, 1));
    applyOutline(r, barChain(3, 8, 11));
    EXPECT_EQ(val(r, FeatureId::Mu02), 0.0);
    EXPECT_EQ(val(r, FeatureId::AxisMajor), 11.0);
    EXPECT_EQ(val(r, FeatureId::AxisMinor), 1.0);
    EXPECT_EQ(val(r, FeatureId::Orientation), 0.0);
    EXPECT_EQ(r.perimeter, 10u);
    EXPECT_EQ(val(r, FeatureId::FeretMin), 1.0);
    // The Feret length counts both end pixels, whichever end comes first.
    EXPECT_NEAR(val(r, FeatureId::FeretMax), std::sqrt(122.0), 1e-5);
    TCellBaseFeature reversed = r;
    std::swap(reversed.feret.x1, reversed.feret.x2);
    std::swap(reversed.feret.y1, reversed.feret.y2);
    EXPECT_EQ(val(reversed, FeatureId::FeretMax), val(r, FeatureId::FeretMax));
    // The vertical bar: the angle turns to 90 degrees.
    TCellBaseFeature v = recordOf(rectanglePixels(3, 8, 1, 7));
    EXPECT_EQ(val(v, FeatureId::Mu20), 0.0);
    EXPECT_EQ(val(v, FeatureId::AxisMajor), 7.0);
    EXPECT_NEAR(val(v, FeatureId::Orientation), 90.0, 1e-5);
}

TEST(FeatureValues, RectangleOrientationAndEccentricity) {
    // 10 wide, 4 high, along the x axis: angle 0 and eccentricity sqrt(mu02 / mu20).
    TCellBaseFeature r = recordOf(rectanglePixels(20, 30, 10, 4));
    const double mu20 = 4 * (10.0 * 10.0 - 1.0) / 12.0 * 10.0, mu02 = 10 * (4.0 * 4.0 - 1.0) / 12.0 * 4.0;
    EXPECT_NEAR(val(r, FeatureId::Mu20), mu20, 1e-4);
    EXPECT_NEAR(val(r, FeatureId::Mu02), mu02, 1e-4);
    EXPECT_EQ(val(r, FeatureId::Orientation), 0.0);
    EXPECT_NEAR(val(r, FeatureId::Eccentricity), std::sqrt(mu02 / mu20), 1e-6);
    EXPECT_EQ(val(r, FeatureId::Anisotropy), 0.4f);
}

TEST(FeatureValues, GreyAndColourSums) {
    // Grey level: (largest + smallest colour byte) / 2, rounded down.
    EXPECT_EQ(greyLevel(0xFF102030u), (0x30u + 0x10u) >> 1);
    EXPECT_EQ(greyLevel(0x00FF0001u), 127u);
    CellAccumulator acc;
    acc.addPixel(5, 5, 0xFF0A141Eu); // R 10, G 20, B 30: L 20
    acc.addPixel(7, 9, 0xFF643200u); // R 100, G 50, B 0: L 50
    const TCellBaseFeature r = acc.finish(0xFF000001u, 100, 100);
    EXPECT_EQ(val(r, FeatureId::Density), 70.0);
    EXPECT_EQ(val(r, FeatureId::RedDensity), 110.0);
    EXPECT_EQ(val(r, FeatureId::GreenDensity), 70.0);
    EXPECT_EQ(val(r, FeatureId::BlueDensity), 30.0);
    EXPECT_NEAR(val(r, FeatureId::XgCenter), (5.0 * 20 + 7.0 * 50) / 70.0, 1e-6);
    EXPECT_NEAR(val(r, FeatureId::YgCenter), (5.0 * 20 + 9.0 * 50) / 70.0, 1e-6);
    EXPECT_NEAR(val(r, FeatureId::PhasePercent), 2.0 / 10000.0 * 100.0, 1e-9);
    // A black cell has no grey centre to weigh: the sums are divided by 1.
    const TCellBaseFeature black = recordOf({{5, 5}}, 0xFF000001u, 0xFF000000u);
    EXPECT_EQ(val(black, FeatureId::XgCenter), 0.0);
}

TEST(FeatureValues, DensityOfAHugeBrightCellDoesNotWrap) {
    // More than 16 843 009 pixels at level 255 overflow 32 bits.
    const uint32_t width = 65000, rows = 262;
    const std::vector<uint32_t> white(width, 0xFFFFFFFFu);
    CellAccumulator acc;
    for (uint32_t y = 1; y <= rows; ++y)
        acc.addRun(y, 1, width, white.data());
    const TCellBaseFeature r = acc.finish(0xFF000001u, 65535, 65535);
    const double n = double(width) * rows;
    ASSERT_GT(n, 16843009.0);
    expectClose(val(r, FeatureId::Density), 255.0 * n, 1e-7, "Density");
    expectClose(val(r, FeatureId::RedDensity), 255.0 * n, 1e-7, "RedDensity");
    expectClose(val(r, FeatureId::XgCenter), val(r, FeatureId::XCenter), 1e-7, "XgCenter");
    expectClose(val(r, FeatureId::YgCenter), val(r, FeatureId::YCenter), 1e-7, "YgCenter");
    EXPECT_EQ(r.density, static_cast<uint32_t>(static_cast<uint64_t>(255.0 * n))); // stored field: low 32 bits
}

TEST(FeatureValues, CalibrationScalesLengthsOnly) {
    EXPECT_EQ(calibrationScale(2, 2, 0).sx, 0.5);
    EXPECT_EQ(calibrationScale(2, 4, 0).sy, 0.25);
    EXPECT_EQ(calibrationScale(2, 2, 4).sx, 0.125);
    EXPECT_EQ(calibrationScale(0, 2, 4).sx, 1.0); // an incomplete calibration measures in pixels
    EXPECT_EQ(calibrationScale(2, 0, 0).sy, 1.0);

    TCellBaseFeature r = recordOf(rectanglePixels(4, 6, 3, 3));
    applyOutline(r, squareChain(4, 6));
    const FeatureScale s = calibrationScale(2, 2, 0);
    EXPECT_EQ(val(r, FeatureId::Area, s), val(r, FeatureId::Area) / 4);
    EXPECT_EQ(val(r, FeatureId::Perimeter, s), val(r, FeatureId::Perimeter) / 2);
    EXPECT_EQ(val(r, FeatureId::FeretMax, s), val(r, FeatureId::FeretMax) / 2);
    EXPECT_EQ(val(r, FeatureId::FeretMin, s), val(r, FeatureId::FeretMin) / 2);
    EXPECT_NEAR(val(r, FeatureId::EstimatedVolume, s), val(r, FeatureId::EstimatedVolume) / 8, 1e-6);
    for (int32_t id = 1; id <= 62; ++id) {
        const bool scaled = id == 2 || id == 3 || (id >= 16 && id <= 18) || id == 24;
        if (!scaled) {
            EXPECT_EQ(featureValue(TFeature(id), r, s), featureValue(TFeature(id), r)) << id;
        }
    }
}

TEST(FeatureValues, IdentifiersWithoutFormulaGiveZero) {
    const TCellBaseFeature r = recordOf(rectanglePixels(4, 6, 3, 3));
    for (int32_t id : {0, -1, 63, 1000})
        EXPECT_EQ(featureValue(TFeature(id), r), 0.0f) << id;
}

TEST(FeatureValues, LabelFeatureIsTheRoundedLabelAndTheRecordKeepsTheExactOne) {
    const TCellBaseFeature a = recordOf({{3, 3}}, 0xFF000001u), b = recordOf({{3, 3}}, 0xFF000002u);
    // Neighbouring labels share one "Label" value; the record's label tells them apart.
    EXPECT_EQ(val(a, FeatureId::Label), static_cast<double>(static_cast<float>(0xFF000001u)));
    EXPECT_EQ(val(a, FeatureId::Label), val(b, FeatureId::Label));
    EXPECT_NE(a.label, b.label);
    EXPECT_NE(a.guid, b.guid);
}

TEST(FeatureValues, EmptyRecordDividesByOne) {
    TCellBaseFeature r;
    for (FeatureId id : {FeatureId::Nm11, FeatureId::Nm20, FeatureId::Nm30})
        EXPECT_EQ(val(r, id), 1.0);
    for (FeatureId id : {FeatureId::XCenter, FeatureId::Compactness, FeatureId::Lengthening, FeatureId::SigmaX})
        EXPECT_EQ(val(r, id), 0.0);
    for (int32_t id = 1; id <= 62; ++id)
        EXPECT_FALSE(std::isnan(featureValue(TFeature(id), r))) << id;
}

// Records read from a damaged document may hold any field values: every feature still evaluates.
TEST(FeatureValues, ArbitraryStoredRecordsEvaluate) {
    std::mt19937_64 rng(5);
    auto any = [&] { return rng(); };
    for (int i = 0; i < 3000; ++i) {
        TCellBaseFeature r;
        const uint64_t pick = any();
        // Mix fully random fields with small ones, so that some records look almost valid.
        auto v64 = [&](int k) -> int64_t {
            const uint64_t x = any();
            return static_cast<int64_t>(((pick >> k) & 1) ? x : x % 1000);
        };
        r.label = static_cast<uint32_t>(any());
        r.area = static_cast<uint32_t>((pick & 1) ? any() : any() % 4);
        r.density = static_cast<uint32_t>(any());
        r.perimeter = static_cast<uint32_t>(any() % 3);
        int k = 1;
        for (int64_t* f : {&r.sumYL, &r.sumXL, &r.sumY, &r.sumX, &r.sumXY, &r.sumY2, &r.sumXY2, &r.sumX2, &r.sumX2Y,
                           &r.sumY3, &r.sumX3, &r.sumY4, &r.sumX4})
            *f = v64(k++);
        r.xMin = static_cast<uint32_t>(any());
        r.xMax = static_cast<uint32_t>(any());
        r.yMin = static_cast<uint32_t>(any());
        r.yMax = static_cast<uint32_t>(any());
        r.imageWidth = static_cast<int32_t>(any());
        r.imageHeight = static_cast<int32_t>(any());
        r.feret.x1 = static_cast<int32_t>(any());
        r.feret.x2 = static_cast<int32_t>(any());
        r.feret.y1 = static_cast<int32_t>(any());
        r.feret.y2 = static_cast<int32_t>(any());
        const CellFeatureValues values(r, calibrationScale(3, 3, 2));
        for (int32_t id = 0; id <= 63; ++id)
            (void)values.value(TFeature(id));
    }
    // Chains that step past the 32-bit range wrap.
    TChainCode c(INT32_MAX, INT32_MIN);
    c.steps = {0, 3, 0, 7};
    TCellBaseFeature r;
    applyOutline(r, {c});
    EXPECT_GE(r.perimeter, 1u);
}

// Central moments against a direct evaluation about the centroid in long double.
TEST(FeatureMoments, MatchDirectEvaluation) {
    const auto pixels = ellipsePixels(17, 6, 0.7, 40, 50);
    auto extra = rectanglePixels(60, 45, 5, 3); // make it lopsided so that the odd moments are not small
    const auto blob = [&] {
        auto p = pixels;
        p.insert(p.end(), extra.begin(), extra.end());
        return p;
    }();
    long double cx = 0, cy = 0;
    for (const Pixel& q : blob) {
        cx += q.x;
        cy += q.y;
    }
    cx /= blob.size();
    cy /= blob.size();
    long double m[5][5] = {};
    for (const Pixel& q : blob) {
        const long double dx = q.x - cx, dy = q.y - cy;
        for (int p = 0; p <= 4; ++p)
            for (int k = 0; p + k <= 4; ++k)
                m[p][k] += std::pow(dx, p) * std::pow(dy, k);
    }
    const CentralMoments mu = centralMoments(recordOf(blob));
    const std::pair<double, long double> pairs[] = {{mu.mu20, m[2][0]}, {mu.mu02, m[0][2]}, {mu.mu11, m[1][1]},
                                                    {mu.mu30, m[3][0]}, {mu.mu03, m[0][3]}, {mu.mu21, m[2][1]},
                                                    {mu.mu12, m[1][2]}, {mu.mu40, m[4][0]}, {mu.mu04, m[0][4]}};
    for (auto [got, want] : pairs)
        expectClose(got, static_cast<double>(want), 1e-10, "moment");
    expectClose(mu.det, static_cast<double>(m[2][0] * m[0][2] - m[1][1] * m[1][1]), 1e-9, "det");
}

// The same shape gives the same moment features wherever it lies, also from the stored sums alone.
TEST(FeatureMoments, IndependentOfPosition) {
    auto shape = ellipsePixels(9, 4, 0.4, 12, 10);
    auto nub = rectanglePixels(20, 12, 3, 2);
    shape.insert(shape.end(), nub.begin(), nub.end());
    for (Pixel& q : shape)
        q.x -= 2, q.y -= 4; // top-left of the shape near (0, 0)
    const FeatureId moment[] = {
        FeatureId::Orientation, FeatureId::Eccentricity, FeatureId::AxisMajor, FeatureId::AxisMinor,
        FeatureId::M1,          FeatureId::M2,           FeatureId::M3,        FeatureId::M4,
        FeatureId::M5,          FeatureId::M6,           FeatureId::M7,        FeatureId::Mu11,
        FeatureId::Mu02,        FeatureId::Mu12,         FeatureId::Mu20,      FeatureId::Mu21,
        FeatureId::Mu03,        FeatureId::Mu30,         FeatureId::Nm11,      FeatureId::Nm02,
        FeatureId::Nm12,        FeatureId::Nm20,         FeatureId::Nm21,      FeatureId::Nm03,
        FeatureId::Nm30,        FeatureId::SigmaX,       FeatureId::SigmaY,    FeatureId::SkewnessX,
        FeatureId::SkewnessY,   FeatureId::KurtosisX,    FeatureId::KurtosisY};
    const TCellBaseFeature base = recordOf(shifted(shape, 5, 5));
    for (int at : {4000, 60000}) {
        const TCellBaseFeature there = recordOf(shifted(shape, at, at));
        TCellBaseFeature stored = there; // as read from a document: only the stored 64-bit sums
        stored.exact = TCellExactValues{};
        for (FeatureId id : moment) {
            const double want = val(base, id);
            expectClose(val(there, id), want, 1e-6, featureName(id).c_str());
            expectClose(val(stored, id), want, 1e-6, featureName(id).c_str());
        }
    }
}

TEST(FeatureMoments, RunsAndSinglePixelsGiveTheSameSums) {
    // Long runs take closed forms for their power sums; near the far edge of the largest image they must
    // agree with pixel-by-pixel sums.
    const std::vector<uint32_t> colour(400, 0xFF336699u);
    CellAccumulator runs, pixels;
    for (uint32_t y = 65000; y < 65003; ++y) {
        runs.addRun(y, 65100, 400, colour.data());
        runs.addRun(y, 3, 9, colour.data());
        for (uint32_t x = 65100; x < 65500; ++x)
            pixels.addPixel(x, y, colour[0]);
        for (uint32_t x = 3; x < 12; ++x)
            pixels.addPixel(x, y, colour[0]);
    }
    const TCellBaseFeature a = runs.finish(1, 65535, 65535), b = pixels.finish(1, 65535, 65535);
    const int64_t TCellBaseFeature::*sums[] = {
        &TCellBaseFeature::sumX,  &TCellBaseFeature::sumY,   &TCellBaseFeature::sumXY,  &TCellBaseFeature::sumX2,
        &TCellBaseFeature::sumY2, &TCellBaseFeature::sumX2Y, &TCellBaseFeature::sumXY2, &TCellBaseFeature::sumX3,
        &TCellBaseFeature::sumY3, &TCellBaseFeature::sumX4,  &TCellBaseFeature::sumY4,  &TCellBaseFeature::sumXL,
        &TCellBaseFeature::sumYL};
    for (auto f : sums)
        EXPECT_EQ(a.*f, b.*f);
    EXPECT_EQ(a.area, 1227u);
    EXPECT_EQ(a.xMin, 3u);
    EXPECT_EQ(a.xMax, 65499u);
    EXPECT_EQ(a.exact.moments.mu40, b.exact.moments.mu40);
    EXPECT_EQ(a.exact.moments.mu21, b.exact.moments.mu21);
}

TEST(FeatureMoments, WrappedStoredSumsOfALargeCellFarOut) {
    // A 3 000-pixel cell near x = 10 000 wraps the 64-bit sum of x^4; the moments survive it.
    const auto shape = rectanglePixels(0, 0, 60, 50);
    const TCellBaseFeature near0 = recordOf(shifted(shape, 5, 5));
    TCellBaseFeature far = recordOf(shifted(shape, 10000, 9000));
    const long double trueSum = [&] {
        long double s = 0;
        for (const Pixel& q : shape)
            s += std::pow(static_cast<long double>(q.x + 10000), 4);
        return s;
    }();
    EXPECT_GT(trueSum, 9.3e18L); // beyond a signed 64-bit sum
    far.exact = TCellExactValues{};
    for (FeatureId id : {FeatureId::Mu20, FeatureId::Mu02, FeatureId::KurtosisX, FeatureId::KurtosisY,
                         FeatureId::AxisMajor, FeatureId::Mu11})
        expectClose(val(far, id), val(near0, id), 1e-6, featureName(id).c_str());
}

TEST(FeatureEllipse, AxesOfDigitisedEllipses) {
    const double angles[] = {0.0, 1e-7, 0.3, kPi / 4, 1.2, kPi / 2};
    const std::pair<double, double> sizes[] = {{10, 5}, {50, 25}, {100, 50}};
    for (auto [a, b] : sizes) {
        for (double angle : angles) {
            const TCellBaseFeature r = recordOf(ellipsePixels(a, b, angle, 3000, 2000));
            SCOPED_TRACE(::testing::Message() << a << " x " << b << " at " << angle);
            EXPECT_NEAR(val(r, FeatureId::AxisMajor), 2 * a, 0.03 * 2 * a);
            EXPECT_NEAR(val(r, FeatureId::AxisMinor), 2 * b, 0.03 * 2 * b);
            const double ratio = val(r, FeatureId::AxisMajor) / val(r, FeatureId::AxisMinor);
            EXPECT_NEAR(ratio, a / b, 0.05 * a / b);
        }
    }
    const TCellBaseFeature disc = recordOf(ellipsePixels(30, 30, 0.0, 100, 100));
    EXPECT_NEAR(val(disc, FeatureId::AxisMajor), 60.0, 1.0);
    EXPECT_NEAR(val(disc, FeatureId::AxisMinor), 60.0, 1.0);
    // Major and minor keep the area of the cell: pi/4 * major * minor = A.
    EXPECT_NEAR(kPi / 4 * val(disc, FeatureId::AxisMajor) * val(disc, FeatureId::AxisMinor), disc.area, 1e-2);
}

TEST(FeatureEllipse, OrientationCountsCounterclockwiseAsShown) {
    // Rows grow downward: a long axis running down to the right shows at 180 - 17.2 degrees.
    const double flat = val(recordOf(ellipsePixels(50, 25, 0.0, 500, 500)), FeatureId::Orientation);
    EXPECT_LT(std::min(flat, 180.0 - flat), 0.1); // off-centre digitising leaves it a hair from 0 or 180
    EXPECT_NEAR(val(recordOf(ellipsePixels(50, 25, -0.3, 500, 500)), FeatureId::Orientation), 17.19, 0.5);
    EXPECT_NEAR(val(recordOf(ellipsePixels(50, 25, 0.3, 500, 500)), FeatureId::Orientation), 162.81, 0.5);
    EXPECT_NEAR(val(recordOf(ellipsePixels(50, 25, kPi / 2, 500, 500)), FeatureId::Orientation), 90.0, 0.5);
}

// The seven invariants do not change when the cell is turned by a right angle; a mirror image keeps the
// first six and turns the sign of the seventh.
TEST(FeatureMoments, InvariantsUnderRightAngleTurnsAndMirroring) {
    auto shape = ellipsePixels(14, 5, 0.5, 0, 0);
    const auto nub = rectanglePixels(8, 2, 6, 4);
    shape.insert(shape.end(), nub.begin(), nub.end());
    std::vector<Pixel> turned, mirrored;
    for (const Pixel& q : shape) {
        turned.push_back({500 - q.y, 300 + q.x});
        mirrored.push_back({700 - q.x, 300 + q.y});
    }
    const TCellBaseFeature a = recordOf(shifted(shape, 100, 100)), t = recordOf(turned), m = recordOf(mirrored);
    const FeatureId hu[] = {FeatureId::M1, FeatureId::M2, FeatureId::M3, FeatureId::M4,
                            FeatureId::M5, FeatureId::M6, FeatureId::M7};
    for (FeatureId id : hu) {
        const double v = val(a, id);
        EXPECT_NE(v, 0.0) << featureName(id); // the lopsided shape gives every invariant a value
        expectClose(val(t, id), v, 1e-5, featureName(id).c_str());
        expectClose(val(m, id), id == FeatureId::M7 ? -v : v, 1e-5, featureName(id).c_str());
    }
}

TEST(FeatureEllipse, PixelsOnOneLineHaveNoEllipse) {
    std::vector<Pixel> diagonal, steep;
    for (int i = 0; i < 12; ++i) {
        diagonal.push_back({10 + i, 10 + i});
        steep.push_back({100 + i, 10 + 2 * i});
    }
    for (const auto& line : {diagonal, steep}) {
        const TCellBaseFeature r = recordOf(line);
        EXPECT_EQ(centralMoments(r).det, 0.0);
        EXPECT_EQ(val(r, FeatureId::AxisMajor), 12.0);
        EXPECT_EQ(val(r, FeatureId::AxisMinor), 1.0);
        TCellBaseFeature stored = r;
        stored.exact = TCellExactValues{};
        EXPECT_EQ(val(stored, FeatureId::AxisMinor), 1.0);
    }
}

TEST(FeatureEvaluator, ReusesTheLastCellOnlyWhileItIsTheSame) {
    const TCellBaseFeature a = recordOf(rectanglePixels(4, 6, 3, 3), 0xFF000001u);
    const TCellBaseFeature b = recordOf(rectanglePixels(4, 6, 5, 2), 0xFF000002u);
    TCellBaseFeature aCopyNewIdentity = recordOf(rectanglePixels(4, 6, 7, 2), 0xFF000001u);
    FeatureEvaluator e;
    EXPECT_EQ(e.value(FeatureId::Area, a), 9.0f);
    EXPECT_EQ(e.value(FeatureId::Area, a, {0.5, 0.5}), 2.25f);
    EXPECT_EQ(e.value(FeatureId::Area, b), 10.0f);
    EXPECT_EQ(e.value(FeatureId::Area, aCopyNewIdentity), 14.0f); // same label, another record
}
