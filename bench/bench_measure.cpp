// Figures for the measurement pass: all 62 features of every cell of a large synthetic picture, and of
// one large disc, whose outline makes the farthest-pair search the part that matters.

#include "core/features.h"
#include "core/feret.h"
#include "core/labelling.h"
#include "core/measurement.h"
#include "tools/synthetic.h"

#include <benchmark/benchmark.h>
#include <memory>

using namespace quadrel;

namespace {

struct Scene {
    BitmapPtr source;
    BitmapPtr labels;
};

Scene syntheticScene(int width, int height) {
    const auto pixels = synth::makeCells({.width = width, .height = height});
    Scene s{Bitmap::create(width, height, PixelFormat::Argb32), Bitmap::create(width, height, PixelFormat::Argb32)};
    for (int y = 0; y < height; ++y) {
        uint32_t* src = s.source->row32(y);
        uint32_t* lab = s.labels->row32(y);
        for (int x = 0; x < width; ++x) {
            const uint32_t p = pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
            src[x] = p;
            lab[x] = greyLevel(p) < 128 ? 0xFFFFFFFFu : 0u; // the cells are dark
        }
    }
    labelMask(*s.labels);
    return s;
}

Scene discScene(int diameter) {
    const int size = diameter + 4;
    Scene s{Bitmap::create(size, size, PixelFormat::Argb32), Bitmap::create(size, size, PixelFormat::Argb32)};
    const double c = (size - 1) / 2.0, r = diameter / 2.0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double dx = x - c, dy = y - c;
            const bool inside = dx * dx + dy * dy <= r * r;
            s.source->row32(y)[x] = inside ? 0xFF503C28u : 0xFFC8C8C8u;
            s.labels->row32(y)[x] = inside ? 0xFF000001u : 0u;
        }
    return s;
}

const Scene& synthetic4096() {
    static const Scene s = syntheticScene(4096, 4096);
    return s;
}

const Scene& disc2000() {
    static const Scene s = discScene(2000);
    return s;
}

// The whole recomputation plus every feature of every kept cell.
void measureAll(benchmark::State& state, const Scene& scene) {
    const CleaningSettings settings{true, 1, 0.0};
    size_t cells = 0;
    for (auto _ : state) {
        MeasurementResult m = measureCells(*scene.labels, *scene.source, settings);
        double sink = 0;
        for (const TCellBaseFeature& r : m.records) {
            const CellFeatureValues values(r);
            for (int32_t id = kFirstFeature; id <= kLastFeature; ++id)
                sink += values.value(TFeature(id));
        }
        benchmark::DoNotOptimize(sink);
        cells = m.records.size();
    }
    state.counters["cells"] = static_cast<double>(cells);
    state.counters["Mpixel/s"] =
        benchmark::Counter(static_cast<double>(scene.labels->width()) * scene.labels->height() / 1e6,
                           benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Synthetic4096_AllFeatures(benchmark::State& state) {
    measureAll(state, synthetic4096());
}
BENCHMARK(BM_Synthetic4096_AllFeatures)->Unit(benchmark::kMillisecond);

void BM_Synthetic4096_PixelPass(benchmark::State& state) {
    const Scene& s = synthetic4096();
    for (auto _ : state)
        benchmark::DoNotOptimize(measureLabels(*s.labels, *s.source).records.size());
}
BENCHMARK(BM_Synthetic4096_PixelPass)->Unit(benchmark::kMillisecond);

void BM_Synthetic4096_FeatureFormulas(benchmark::State& state) {
    const Scene& s = synthetic4096();
    const MeasurementResult m = measureCells(*s.labels, *s.source, {true, 1, 0.0});
    for (auto _ : state) {
        double sink = 0;
        for (const TCellBaseFeature& r : m.records) {
            const CellFeatureValues values(r);
            for (int32_t id = kFirstFeature; id <= kLastFeature; ++id)
                sink += values.value(TFeature(id));
        }
        benchmark::DoNotOptimize(sink);
    }
    state.counters["cells"] = static_cast<double>(m.records.size());
}
BENCHMARK(BM_Synthetic4096_FeatureFormulas)->Unit(benchmark::kMillisecond);

void BM_Disc2000_AllFeatures(benchmark::State& state) {
    measureAll(state, disc2000());
}
BENCHMARK(BM_Disc2000_AllFeatures)->Unit(benchmark::kMillisecond);

std::vector<OutlinePoint> discOutline() {
    const Scene& s = disc2000();
    const MeasurementResult m = measureCells(*s.labels, *s.source, CleaningSettings{});
    return m.bounds.empty() ? std::vector<OutlinePoint>{} : outlinePoints(m.bounds.front().chains);
}

void BM_Disc2000_FarthestPair(benchmark::State& state) {
    const auto pts = discOutline();
    for (auto _ : state)
        benchmark::DoNotOptimize(farthestPair(pts).first);
    state.counters["points"] = static_cast<double>(pts.size());
}
BENCHMARK(BM_Disc2000_FarthestPair)->Unit(benchmark::kMillisecond);

// The plain search over all ordered pairs, for comparison.
void BM_Disc2000_FarthestPairQuadratic(benchmark::State& state) {
    const auto pts = discOutline();
    for (auto _ : state)
        benchmark::DoNotOptimize(farthestPairQuadratic(pts).first);
    state.counters["points"] = static_cast<double>(pts.size());
}
BENCHMARK(BM_Disc2000_FarthestPairQuadratic)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

BENCHMARK_MAIN();
