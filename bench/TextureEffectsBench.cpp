// The noise, discolouring and grain tiles on a 24-megapixel photo (6000 x
// 4000, three channels), rendered through the band pipeline as a save
// renders them: float and 8-bit, 1 and 8 threads. Each iteration renders
// with a new context, so Grain's texture (built once per parameter set and
// kept on the tile between renders of a view) is built every time: the
// figures are those of a first render.
//
//   pellucine_bench_texture_effects [--benchmark_filter=...]

#include <benchmark/benchmark.h>

#include "BenchImages.h"

#include <cstdint>
#include <memory>

#include "effects/Discolor.h"
#include "effects/Grain.h"
#include "effects/Noise.h"
#include "foundation/GrowArray.h"
#include "foundation/ImageBuffer.h"
#include "platform/ParallelFor.h"
#include "render/RenderContext.h"

namespace {

using bench::photo;
using bench::photoBytes;
constexpr int32_t kWidth = bench::kPhotoWidth;
constexpr int32_t kHeight = bench::kPhotoHeight;

enum Tile { kNoise4, kNoise1, kDiscolor, kLightleak, kGrain3, kGrain1, kTileCount };
const char* const kTileNames[] = {"Noise v4", "Noise v1", "Discolor", "Lightleak", "Grain v3", "Grain v1"};

std::unique_ptr<ImageMod> makeTile(int64_t which) {
    switch (which) {
        case kNoise4:
            return std::make_unique<NoiseMod>(40.0f, 20.0f, 0.0f);
        case kNoise1: {
            auto noise = std::make_unique<NoiseMod>(40.0f, 20.0f, 0.0f);
            noise->setVersion(1);
            return noise;
        }
        case kDiscolor: {
            const float colour[4] = {255.0f, 127.0f, 0.0f, 255.0f};
            return std::make_unique<DiscolorMod>(colour, 0.8f, 10.0f, 1.0f, 1.0f);
        }
        case kLightleak:
            return std::make_unique<LightleakMod>();
        case kGrain3:
            return std::make_unique<GrainMod>();  // Amount 25, Scale 25, Uniformity 50
        default: {
            auto grain = std::make_unique<GrainMod>();
            grain->setVersion(1);
            return grain;
        }
    }
}

// Arguments: tile, thread count, 8-bit (1) or float (0).
void BM_TextureEffect(benchmark::State& state) {
    const std::unique_ptr<ImageMod> tile = makeTile(state.range(0));
    const bool eightBit = state.range(2) != 0;
    setParallelThreadCount(static_cast<int>(state.range(1)));
    GrowArray<ImageMod*> chain;
    chain.append(tile.get());
    ImageBuffer work;
    for (auto _ : state) {
        state.PauseTiming();
        if (eightBit)
            ImageBuffer::copy8(work, photoBytes(), true);
        else
            ImageBuffer::copyFloat(work, photo(), true);
        auto context = std::make_unique<RenderContext>(0);
        state.ResumeTiming();
        const bool rendered = eightBit ? context->render8(chain, &work, nullptr, -1, 0, nullptr)
                                       : context->render(chain, &work, nullptr, -1, 0, nullptr);
        if (!rendered) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(work.data);
        state.PauseTiming();
        context.reset();
        state.ResumeTiming();
    }
    setParallelThreadCount(0);
    state.SetLabel(kTileNames[state.range(0)]);
    state.counters["margin"] = tile->marginFor(kWidth, kHeight, 1.0f);
    state.SetItemsProcessed(state.iterations() * int64_t(kWidth) * kHeight);
}

void tileArguments(benchmark::internal::Benchmark* b) {
    for (int64_t tile = 0; tile < kTileCount; ++tile)
        for (int64_t eightBit : {0, 1})
            for (int64_t threads : {1, 8}) b->Args({tile, threads, eightBit});
}

BENCHMARK(BM_TextureEffect)
    ->ArgNames({"tile", "threads", "8bit"})
    ->Apply(tileArguments)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
