// The Gaussian blur on a 24-megapixel photo (6000 x 4000, three channels)
// at several radii (Amount 20, 50, 100; Amount 49.58 has the bell of sigma
// 16 px that bench/compare.sh times): the tile rendered through the float
// band pipeline with 1 and 8 threads, as a view or a save renders it,
// through the 8-bit pipeline, and the blur routine alone on the whole image
// on one thread. The Circle method at Amount 100 beside it: its disc should
// cost at most twice the Gaussian at the same Amount.
//
//   pellucine_bench_blur [--benchmark_filter=...]

#include <benchmark/benchmark.h>

#include "BenchImages.h"

#include <cstdint>
#include <cstring>

#include "effects/Blur.h"
#include "foundation/GrowArray.h"
#include "foundation/ImageBuffer.h"
#include "platform/ParallelFor.h"
#include "render/RenderContext.h"

namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;

// A photo-sized image of samples spread over 0..255, the same every run.
const ImageBuffer& photo() {
    static const ImageBuffer image = bench::noiseImage(kWidth, kHeight);
    return image;
}

// Arguments: Amount, thread count, method (0 Gaussian, 2 Circle).
void BM_BlurTilePipeline(benchmark::State& state) {
    const float amount = static_cast<float>(state.range(0));
    setParallelThreadCount(static_cast<int>(state.range(1)));
    BlurMod blur(amount, 100.0f);
    blur.var(2)->choiceValue()->selected = static_cast<int32_t>(state.range(2));
    GrowArray<ImageMod*> chain;
    chain.append(&blur);
    RenderContext context(0);
    ImageBuffer work;
    for (auto _ : state) {
        state.PauseTiming();
        ImageBuffer::copyFloat(work, photo(), true);
        state.ResumeTiming();
        if (!context.render(chain, &work, nullptr, -1, 0, nullptr)) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(work.data);
    }
    setParallelThreadCount(0);
    state.counters["margin"] = blur.marginFor(kWidth, kHeight, 1.0f);
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_BlurTilePipeline)
    ->ArgNames({"amount", "threads", "method"})
    ->Args({20, 1, 0})
    ->Args({20, 8, 0})
    ->Args({50, 1, 0})
    ->Args({50, 8, 0})
    ->Args({100, 1, 0})
    ->Args({100, 8, 0})
    ->Args({100, 1, 2})
    ->Args({100, 8, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The same through the 8-bit pipeline (float scratch bands, stored as
// bytes). Arguments: Amount, thread count.
void BM_BlurTilePipeline8(benchmark::State& state) {
    const float amount = static_cast<float>(state.range(0));
    setParallelThreadCount(static_cast<int>(state.range(1)));
    BlurMod blur(amount, 100.0f);
    GrowArray<ImageMod*> chain;
    chain.append(&blur);
    RenderContext context(0);
    static ImageBuffer bytes;
    if (!bytes.data) ImageBuffer::copy8FromFloat(bytes, photo(), true);
    ImageBuffer work;
    for (auto _ : state) {
        state.PauseTiming();
        ImageBuffer::copy8(work, bytes, true);
        state.ResumeTiming();
        if (!context.render8(chain, &work, nullptr, -1, 0, nullptr)) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(work.data);
    }
    setParallelThreadCount(0);
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_BlurTilePipeline8)
    ->ArgNames({"amount", "threads"})
    ->Args({20, 8})
    ->Args({50, 8})
    ->Args({100, 8})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The routine on the whole image at once (no bands, no margin rows).
void BM_BlurImageWhole(benchmark::State& state) {
    const float amount = static_cast<float>(state.range(0));
    const float q = static_cast<float>(static_cast<double>(amount) * 0.01);
    const float radius = 0.03f * (q * q * static_cast<float>(kWidth)) + 1.0f;
    ImageBuffer work;
    for (auto _ : state) {
        state.PauseTiming();
        ImageBuffer::copyFloat(work, photo(), true);
        state.ResumeTiming();
        blurImage(work, kBlurGaussian, radius, 1.0f);
        benchmark::DoNotOptimize(work.data);
    }
    state.counters["taps"] = 2 * blurHalfWidth(radius) + 1;
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}
BENCHMARK(BM_BlurImageWhole)->ArgName("amount")->Arg(20)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
