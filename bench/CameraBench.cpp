// Camera styles on a 24-megapixel photo (6000 x 4000, three channels,
// float): every style's prototype (newest version, Amount 1, Variation 0)
// rendered through the pipeline, and beside it the same building blocks at
// the same values rendered as a chain of ordinary tiles. A style should
// cost no more than its blocks as tiles (plus a few percent): it prepares
// its blocks once per set of values instead of once per band.
//
//   pellucine_bench_cameras [--benchmark_filter=...]
//
// The table of every style at 8 threads, style and tiles interleaved, with
// the medians of eleven runs (a shared machine needs that many):
//   pellucine_bench_cameras --benchmark_filter=threads:8 --benchmark_repetitions=11
//       --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
//       --benchmark_min_time=0.01
//
// Arguments: "threads" is the thread count of the parallel loop. The time
// is wall-clock time; the CPU column is the CPU time of all the process's
// threads, which a machine shared with other work disturbs less.

#include <benchmark/benchmark.h>

#include "BenchImages.h"

#include <cstdint>
#include <string>

#include "cameras/CameraMod.h"
#include "foundation/GrowArray.h"
#include "foundation/ImageBuffer.h"
#include "framework/ImageMod.h"
#include "framework/TilePrototypes.h"
#include "platform/ParallelFor.h"
#include "render/RenderContext.h"

namespace {

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;


const ImageBuffer& photo() {
    static const ImageBuffer image = bench::gradientPhoto(kWidth, kHeight);
    return image;
}

struct OwnedList {
    GrowArray<ImageMod*> list;
    OwnedList() = default;
    OwnedList(const OwnedList&) = delete;
    OwnedList& operator=(const OwnedList&) = delete;
    ~OwnedList() { freePrototypeList(list); }
};

const GrowArray<ImageMod*>& prototypes() {
    static OwnedList all;
    if (all.list.count == 0) buildPrototypeList(all.list);
    return all.list;
}

void renderChain(benchmark::State& state, const GrowArray<ImageMod*>& chain) {
    setParallelThreadCount(static_cast<int32_t>(state.range(0)));
    ImageBuffer work;
    for (auto _ : state) {
        state.PauseTiming();
        ImageBuffer::copyFloat(work, photo(), true);
        state.ResumeTiming();
        RenderContext context(0);
        if (!context.render(chain, &work, nullptr, -1, 0, nullptr)) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(work.data);
    }
    setParallelThreadCount(0);
}

void styleAlone(benchmark::State& state, const ImageMod* prototype) {
    OwnedList chain;
    chain.list.append(duplicateMod(*prototype));
    renderChain(state, chain.list);
}

void styleAsTiles(benchmark::State& state, const CameraMod* prototype) {
    OwnedList chain;
    prototype->recipeChain(chain.list);
    renderChain(state, chain.list);
}

int registerStyles() {
    for (const ImageMod* tile : prototypes()) {
        if (tile->kind() != kCameraMod) continue;
        const std::string name(tile->name.c_str());
        benchmark::RegisterBenchmark(("Style/" + name).c_str(), styleAlone, tile)
            ->ArgName("threads")->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
        GrowArray<ImageMod*> blocks;
        static_cast<const CameraMod*>(tile)->recipeChain(blocks);
        const bool hasBlocks = blocks.count > 0;
        freePrototypeList(blocks);
        if (!hasBlocks) continue;
        benchmark::RegisterBenchmark(("Tiles/" + name).c_str(), styleAsTiles, static_cast<const CameraMod*>(tile))
            ->ArgName("threads")->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
    }
    return 0;
}

[[maybe_unused]] const int registered = registerStyles();

}  // namespace

BENCHMARK_MAIN();
