#include "core/feret.h"
#include "core/labelling.h"
#include "core/measurement.h"
#include "tools/synthetic.h"

#include <gtest/gtest.h>
#include <map>
#include <random>

using namespace quadrel;

namespace {

BitmapPtr argbImage(int w, int h, uint32_t fill = 0) {
    BitmapPtr b = Bitmap::create(w, h, PixelFormat::Argb32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b->row32(y)[x] = fill;
    return b;
}

void paint(Bitmap& b, int x0, int y0, int w, int h, uint32_t v) {
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x)
            b.row32(y)[x] = v;
}

// The sums of one label, pixel by pixel, in the plainest form.
struct Naive {
    uint64_t n = 0, density = 0, red = 0, green = 0, blue = 0;
    int64_t sx = 0, sy = 0, sxy = 0, sx2 = 0, sy2 = 0, sx2y = 0, sxy2 = 0, sx3 = 0, sy3 = 0, sx4 = 0, sy4 = 0;
    int64_t sxl = 0, syl = 0;
    uint32_t xmin = 0xFFFFFFFF, ymin = 0xFFFFFFFF, xmax = 0, ymax = 0;
};

std::map<uint32_t, Naive> naiveSums(const Bitmap& labels, const Bitmap& src) {
    std::map<uint32_t, Naive> m;
    for (int y = 1; y < labels.height() - 1; ++y)
        for (int x = 1; x < labels.width() - 1; ++x) {
            const uint32_t v = labels.row32(y)[x];
            if (!v) continue;
            const uint32_t p = src.row32(y)[x];
            const int64_t r = (p >> 16) & 255, g = (p >> 8) & 255, b = p & 255;
            const int64_t l = (std::max({r, g, b}) + std::min({r, g, b})) >> 1;
            Naive& s = m[v];
            const int64_t X = x, Y = y;
            s.n++;
            s.density += l;
            s.red += r;
            s.green += g;
            s.blue += b;
            s.sx += X, s.sy += Y, s.sxy += X * Y, s.sx2 += X * X, s.sy2 += Y * Y;
            s.sx2y += X * X * Y, s.sxy2 += X * Y * Y, s.sx3 += X * X * X, s.sy3 += Y * Y * Y;
            s.sx4 += X * X * X * X, s.sy4 += Y * Y * Y * Y;
            s.sxl += X * l, s.syl += Y * l;
            s.xmin = std::min<uint32_t>(s.xmin, x), s.xmax = std::max<uint32_t>(s.xmax, x);
            s.ymin = std::min<uint32_t>(s.ymin, y), s.ymax = std::max<uint32_t>(s.ymax, y);
        }
    return m;
}

} // namespace

TEST(MeasureLabels, SumsMatchAPixelByPixelCount) {
    // Random labels in random runs (long and short), random colours, label values out of scan order.
    std::mt19937 rng(99);
    const int w = 97, h = 61;
    BitmapPtr labels = argbImage(w, h), src = argbImage(w, h);
    const uint32_t values[] = {0, 0, 0xFF000009u, 0xFF000002u, 0xFF000100u, 0x00000005u};
    for (int y = 0; y < h; ++y) {
        int x = 0;
        while (x < w) {
            const int run = 1 + static_cast<int>(rng() % 20);
            const uint32_t v = values[rng() % 6];
            for (int k = x; k < std::min(w, x + run); ++k)
                labels->row32(y)[k] = v;
            x += run;
        }
        for (int k = 0; k < w; ++k)
            src->row32(y)[k] = rng();
    }
    const MeasureResult res = measureLabels(*labels, *src);
    ASSERT_EQ(res.status, MeasureStatus::Ok);
    const auto want = naiveSums(*labels, *src);
    ASSERT_EQ(res.records.size(), want.size());
    auto it = want.begin();
    for (const TCellBaseFeature& r : res.records) {
        const Naive& s = it->second;
        SCOPED_TRACE(r.label);
        EXPECT_EQ(r.label, it->first); // increasing label order
        EXPECT_EQ(r.area, s.n);
        EXPECT_EQ(r.density, s.density);
        EXPECT_EQ(r.red, s.red);
        EXPECT_EQ(r.green, s.green);
        EXPECT_EQ(r.blue, s.blue);
        EXPECT_EQ(r.sumX, s.sx);
        EXPECT_EQ(r.sumY, s.sy);
        EXPECT_EQ(r.sumXY, s.sxy);
        EXPECT_EQ(r.sumX2, s.sx2);
        EXPECT_EQ(r.sumY2, s.sy2);
        EXPECT_EQ(r.sumX2Y, s.sx2y);
        EXPECT_EQ(r.sumXY2, s.sxy2);
        EXPECT_EQ(r.sumX3, s.sx3);
        EXPECT_EQ(r.sumY3, s.sy3);
        EXPECT_EQ(r.sumX4, s.sx4);
        EXPECT_EQ(r.sumY4, s.sy4);
        EXPECT_EQ(r.sumXL, s.sxl);
        EXPECT_EQ(r.sumYL, s.syl);
        EXPECT_EQ(r.xMin, s.xmin);
        EXPECT_EQ(r.xMax, s.xmax);
        EXPECT_EQ(r.yMin, s.ymin);
        EXPECT_EQ(r.yMax, s.ymax);
        EXPECT_EQ(r.imageWidth, w);
        EXPECT_EQ(r.imageHeight, h);
        EXPECT_TRUE(r.exact.valid);
        EXPECT_EQ(r.exact.density, s.density);
        // The stored sums alone give the moments the pass gave.
        TCellBaseFeature stored = r;
        stored.exact = TCellExactValues{};
        const CentralMoments a = centralMoments(r), b = centralMoments(stored);
        EXPECT_DOUBLE_EQ(a.mu20, b.mu20);
        EXPECT_DOUBLE_EQ(a.mu21, b.mu21);
        EXPECT_DOUBLE_EQ(a.mu04, b.mu04);
        ++it;
    }
}

TEST(MeasureLabels, OnlyTheInteriorCountsAndGreySourcesWork) {
    BitmapPtr labels = argbImage(6, 5, 0xFF000001u); // the outer ring is not part of any cell
    BitmapPtr grey = createGrey8(6, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            grey->row(y)[x] = 200;
    const MeasureResult res = measureLabels(*labels, *grey);
    ASSERT_EQ(res.status, MeasureStatus::Ok);
    ASSERT_EQ(res.records.size(), 1u);
    EXPECT_EQ(res.records[0].area, 12u);
    EXPECT_EQ(res.records[0].density, 12u * 200u);
    EXPECT_EQ(res.records[0].xMin, 1u);
    EXPECT_EQ(res.records[0].xMax, 4u);

    // Images too small to have an interior have no cells.
    EXPECT_TRUE(measureLabels(*argbImage(2, 2, 0xFF000001u), *argbImage(2, 2)).records.empty());
}

TEST(MeasureLabels, RefusesUnusableImages) {
    BitmapPtr labels = argbImage(8, 8, 0xFF000001u);
    EXPECT_EQ(measureLabels(*createGrey8(8, 8), *argbImage(8, 8)).status, MeasureStatus::LabelImageNotArgb32);
    EXPECT_EQ(measureLabels(*labels, *argbImage(8, 9)).status, MeasureStatus::SizeMismatch);
    const MeasurementResult m = measureCells(*labels, *argbImage(9, 8), CleaningSettings{});
    EXPECT_EQ(m.status, MeasureStatus::SizeMismatch);
    EXPECT_TRUE(m.records.empty());
    EXPECT_FALSE(m.keptMask);
    EXPECT_STRNE(measureStatusText(MeasureStatus::SizeMismatch), "Ok");
}

TEST(MeasureCells, KeepsCellsByBorderAndSizeAndMeasuresTheirOutlines) {
    const int w = 40, h = 30;
    BitmapPtr mask = argbImage(w, h);
    paint(*mask, 1, 10, 4, 4, 0xFFFFFFFFu);  // touches the border ring of width 2
    paint(*mask, 10, 5, 2, 2, 0xFFFFFFFFu);  // 4 pixels: below the minimum size 5
    paint(*mask, 20, 5, 5, 1, 0xFFFFFFFFu);  // exactly 5 pixels: kept
    paint(*mask, 10, 15, 3, 3, 0xFFFFFFFFu); // a 3 x 3 square
    paint(*mask, 25, 20, 8, 6, 0xFFFFFFFFu); // a block
    ASSERT_EQ(labelMask(*mask).status, LabelStatus::Ok);
    const Bitmap& labels = *mask;
    BitmapPtr src = argbImage(w, h, 0xFF404040u);

    const MeasurementResult m = measureCells(labels, *src, {true, 2, 5.0});
    ASSERT_EQ(m.status, MeasureStatus::Ok);
    ASSERT_EQ(m.records.size(), 3u);
    EXPECT_EQ(m.removed.size(), 3u); // the border cell, the small cell and 0
    EXPECT_TRUE(m.removed.count(0));
    for (size_t i = 1; i < m.records.size(); ++i)
        EXPECT_LT(m.records[i - 1].label, m.records[i].label);
    ASSERT_EQ(m.bounds.size(), 3u);
    double phase = 0;
    uint64_t kept = 0;
    for (size_t i = 0; i < m.records.size(); ++i) {
        const TCellBaseFeature& r = m.records[i];
        EXPECT_EQ(m.bounds[i].label, r.label);
        EXPECT_FALSE(m.removed.count(r.label));
        EXPECT_GE(r.area, 5u);
        EXPECT_GE(r.perimeter, 1u);
        phase += featureValue(FeatureId::PhasePercent, r);
        kept += r.area;
    }
    // The 3 x 3 square: area 9, perimeter of three diagonal steps.
    const TCellBaseFeature& square = m.records[1];
    EXPECT_EQ(square.area, 9u);
    EXPECT_EQ(square.perimeter, 4u);
    EXPECT_NEAR(featureValue(FeatureId::Compactness, square), 16.0 / (36.0 * 3.14159265358979), 1e-6);
    // The 5 x 1 bar: the search meets its left end first.
    const TCellBaseFeature& bar = m.records[0];
    EXPECT_EQ(bar.feret.x1, 20);
    EXPECT_EQ(bar.feret.x2, 24);
    EXPECT_NEAR(featureValue(FeatureId::FeretMax, bar), std::sqrt(26.0), 1e-5);
    // PhasePercent adds up to the share of the image the kept cells cover.
    EXPECT_NEAR(phase, 100.0 * kept / (w * h), 1e-4);

    ASSERT_NE(findRecord(m.records, square.label), nullptr);
    EXPECT_EQ(findRecord(m.records, square.label)->area, 9u);
    EXPECT_EQ(findRecord(m.records, *m.removed.rbegin()), nullptr);

    // The kept-cell mask has exactly the kept pixels; the outline image only marks kept cells.
    uint64_t maskPixels = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t k = m.keptMask->row(y)[x];
            maskPixels += k == 255;
            if (m.outline->row(y)[x]) {
                EXPECT_EQ(k, 255) << x << "," << y;
            }
        }
    EXPECT_EQ(maskPixels, kept);

    // Without the removals every cell is back.
    EXPECT_EQ(measureCells(labels, *src, CleaningSettings{}).records.size(), 5u);
}

TEST(MeasureCells, SyntheticImage) {
    const int w = 400, h = 300;
    const auto pixels = synth::makeCells({.width = w, .height = h, .seed = 3});
    BitmapPtr src = argbImage(w, h), mask = argbImage(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t p = pixels[static_cast<size_t>(y) * w + x];
            src->row32(y)[x] = p;
            mask->row32(y)[x] = greyLevel(p) < 128 ? 0xFFFFFFFFu : 0;
        }
    ASSERT_EQ(labelMask(*mask).status, LabelStatus::Ok);
    const MeasurementResult m = measureCells(*mask, *src, {true, 1, 20.0});
    ASSERT_EQ(m.status, MeasureStatus::Ok);
    ASSERT_GT(m.records.size(), 5u);
    for (const TCellBaseFeature& r : m.records) {
        EXPECT_GE(r.area, 20u);
        EXPECT_GT(r.xMin, 1u);
        EXPECT_LT(r.xMax, static_cast<uint32_t>(w - 2));
        EXPECT_GE(r.perimeter, 1u);
        for (int32_t id = 1; id <= 62; ++id)
            EXPECT_TRUE(std::isfinite(featureValue(TFeature(id), r))) << id;
        // Feret length at least the widest width, the minor axis at most the major.
        EXPECT_GE(r.feret.length() + 1e-3, *std::max_element(r.feret.widths.begin(), r.feret.widths.end()));
        EXPECT_LE(featureValue(FeatureId::AxisMinor, r), featureValue(FeatureId::AxisMajor, r));
    }
}
