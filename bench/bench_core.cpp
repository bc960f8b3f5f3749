// Whole-image steps of the analysis on a 4096 x 4096 synthetic cell picture.
#include "core/cleaning.h"
#include "core/image.h"
#include "core/labelling.h"
#include "core/threshold.h"
#include "tools/synthetic.h"

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

using namespace quadrel;

constexpr int kSide = 4096;

const BitmapPtr& picture() {
    static const BitmapPtr p = [] {
        synth::Options o;
        o.width = o.height = kSide;
        const std::vector<uint32_t> px = synth::makeCells(o);
        BitmapPtr b = Bitmap::create(kSide, kSide, PixelFormat::Argb32);
        for (int y = 0; y < kSide; ++y)
            std::memcpy(b->row32(y), px.data() + static_cast<size_t>(y) * kSide, kSide * 4);
        return b;
    }();
    return p;
}

const BitmapPtr& grey() {
    static const BitmapPtr g = deriveChannel(*picture(), kSlotGrey);
    return g;
}

// The thresholded mask before labelling.
BitmapPtr freshMask() {
    const CHistogram h = computeHistogram(*grey());
    CThreshold t;
    t.source = grey();
    t.operation = kOpSet;
    t.minimum = 0;
    t.maximum = automaticLevel(h);
    t.buildLookupTable();
    BitmapPtr m = Bitmap::create(kSide, kSide, PixelFormat::Argb32);
    t.apply(*m);
    clearBorder(*m, 0);
    return m;
}

const BitmapPtr& labels() {
    static const BitmapPtr l = [] {
        BitmapPtr m = freshMask();
        labelMask(*m);
        return m;
    }();
    return l;
}

void setPixels(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kSide) * kSide);
}

void BM_ChannelGrey(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(deriveChannel(*picture(), kSlotGrey));
    setPixels(state);
}
BENCHMARK(BM_ChannelGrey)->Unit(benchmark::kMillisecond);

void BM_ChannelHue(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(deriveChannel(*picture(), kSlotHue));
    setPixels(state);
}
BENCHMARK(BM_ChannelHue)->Unit(benchmark::kMillisecond);

void BM_Histogram(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(computeHistogram(*grey()));
    setPixels(state);
}
BENCHMARK(BM_Histogram)->Unit(benchmark::kMillisecond);

void BM_AutomaticThreshold(benchmark::State& state) {
    const CHistogram h = computeHistogram(*grey());
    for (auto _ : state) benchmark::DoNotOptimize(automaticThreshold(grey(), &h, false));
    setPixels(state);
}
BENCHMARK(BM_AutomaticThreshold)->Unit(benchmark::kMillisecond);

void BM_Labelling(benchmark::State& state) {
    const BitmapPtr mask = freshMask();
    for (auto _ : state) {
        state.PauseTiming();
        BitmapPtr m = mask->clone();
        state.ResumeTiming();
        benchmark::DoNotOptimize(labelMask(*m));
    }
    setPixels(state);
}
BENCHMARK(BM_Labelling)->Unit(benchmark::kMillisecond);

void BM_FillHoles(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(fillHoles(*labels()));
    setPixels(state);
}
BENCHMARK(BM_FillHoles)->Unit(benchmark::kMillisecond);

void BM_OutlineAndTracing(benchmark::State& state) {
    const BitmapPtr kept = keptCellMask(*labels(), {});
    for (auto _ : state) {
        BitmapPtr outline = outlineImage(*kept);
        TSetOfCellBounds bounds;
        traceOutlines(*labels(), *outline, bounds);
        benchmark::DoNotOptimize(bounds);
    }
    setPixels(state);
}
BENCHMARK(BM_OutlineAndTracing)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    // Build the shared inputs before any timing starts.
    labels();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
