// Vignette, Sharpen and Radial Blur on a 24-megapixel photo (6000 x 4000,
// three channels), rendered through the band pipeline as a view or a save
// renders them: float and 8-bit, on 1 and 8 threads. Radial Blur runs each
// method at Amount 1 (its widest kernels); Sharpen runs at full size (a
// 3 x 3 kernel) and at scale 0.1 (a ten-fold enlargement: 11 x 11 taps as
// box sums).
//
//   pellucine_bench_lens [--benchmark_filter=...]

#include <benchmark/benchmark.h>

#include "BenchImages.h"

#include <cstdint>
#include <memory>

#include "effects/RadialBlur.h"
#include "effects/Sharpen.h"
#include "effects/Vignette.h"
#include "foundation/GrowArray.h"
#include "foundation/ImageBuffer.h"
#include "platform/ParallelFor.h"
#include "render/RenderContext.h"

namespace {

using bench::photo;
using bench::photoBytes;
constexpr int32_t kWidth = bench::kPhotoWidth;
constexpr int32_t kHeight = bench::kPhotoHeight;

enum Tile { kVignette, kSharpen, kSharpenEnlarged, kRadialGaussian, kRadialBox, kRadialCircle };

std::unique_ptr<ImageMod> makeTile(int64_t tile) {
    switch (tile) {
        case kVignette:
            return std::make_unique<VignetteMod>(1.0f, 50.0f, 1.0f);
        case kSharpen:
        case kSharpenEnlarged:
            return std::make_unique<SharpenMod>();
        default: {
            auto blur = std::make_unique<RadialBlurMod>(1.0f, 1.0f);
            blur->var(3)->choiceValue()->selected = static_cast<int32_t>(tile - kRadialGaussian);
            return blur;
        }
    }
}

// Arguments: thread count, 8-bit (0 or 1).
void BM_LensEffect(benchmark::State& state, int64_t tile) {
    const bool eightBit = state.range(1) != 0;
    setParallelThreadCount(static_cast<int>(state.range(0)));
    std::unique_ptr<ImageMod> mod = makeTile(tile);
    GrowArray<ImageMod*> chain;
    chain.append(mod.get());
    RenderContext context(0);
    const float scale = tile == kSharpenEnlarged ? 0.1f : 1.0f;
    ImageBuffer work;
    for (auto _ : state) {
        state.PauseTiming();
        if (eightBit)
            ImageBuffer::copy8(work, photoBytes(), true);
        else
            ImageBuffer::copyFloat(work, photo(), true);
        work.scale = scale;
        state.ResumeTiming();
        const bool rendered = eightBit ? context.render8(chain, &work, nullptr, -1, 0, nullptr)
                                       : context.render(chain, &work, nullptr, -1, 0, nullptr);
        if (!rendered) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(work.data);
    }
    setParallelThreadCount(0);
    state.counters["margin"] = mod->marginFor(kWidth, kHeight, scale);
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}

void lensArguments(benchmark::internal::Benchmark* b) {
    b->ArgNames({"threads", "8bit"})->Unit(benchmark::kMillisecond)->UseRealTime();
    for (int64_t eightBit : {0, 1})
        for (int64_t threads : {1, 8}) b->Args({threads, eightBit});
}

BENCHMARK_CAPTURE(BM_LensEffect, Vignette, kVignette)->Apply(lensArguments);
BENCHMARK_CAPTURE(BM_LensEffect, Sharpen, kSharpen)->Apply(lensArguments);
BENCHMARK_CAPTURE(BM_LensEffect, SharpenScale0_1, kSharpenEnlarged)->Apply(lensArguments);
BENCHMARK_CAPTURE(BM_LensEffect, RadialBlurGaussian, kRadialGaussian)->Apply(lensArguments);
BENCHMARK_CAPTURE(BM_LensEffect, RadialBlurBox, kRadialBox)->Apply(lensArguments);
BENCHMARK_CAPTURE(BM_LensEffect, RadialBlurCircle, kRadialCircle)->Apply(lensArguments);

}  // namespace

BENCHMARK_MAIN();
