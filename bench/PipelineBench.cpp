// The render pipeline on a 24-megapixel photo (6000 x 4000, three channels)
// and on a 2560 x 1440 view:
// - one point tile, each of the ten below alone, float and 8-bit;
// - the chain of ten point tiles (Exposure, Contrast, Saturation, Curves,
//   Tone Curve, White Balance, Split Tone, Hue Shift, Color Balance, Color
//   Mixer, each away from its identity), float and 8-bit, fused as the
//   pipeline runs it and, for comparison, tile by tile (a no-op tile that
//   refuses bands between every two tiles stops the fusing);
// - the view: the re-render after the last tile of the chain changes (the
//   cache point holds the first nine tiles), and the whole chain.
// Arguments are named; "threads" is the thread count of the parallel loop.
//
//   pellucine_bench_pipeline [--benchmark_filter=...]
//
// The chain is built from the prototype list with the values of
// bench/filters/chain10.plf, the filter that bench/compare.sh renders with
// the render tool; the benchmark checks at start that both agree.

#include <benchmark/benchmark.h>

#include "BenchImages.h"

#include <cstdint>
#include <cstdio>
#include <memory>

#include "foundation/GrowArray.h"
#include "foundation/GrowString.h"
#include "foundation/ImageBuffer.h"
#include "framework/FilterFile.h"
#include "framework/ImageMod.h"
#include "framework/ModListHelpers.h"
#include "framework/ModVar.h"
#include "framework/TilePrototypes.h"
#include "platform/ParallelFor.h"
#include "render/RenderContext.h"

namespace {

constexpr int32_t kPhotoWidth = 6000;
constexpr int32_t kPhotoHeight = 4000;
constexpr int32_t kViewWidth = 2560;
constexpr int32_t kViewHeight = 1440;
constexpr int32_t kChainLength = 10;

ImageBuffer makePhoto(int32_t width, int32_t height) { return bench::gradientPhoto(width, height); }

const ImageBuffer& photo() {
    static const ImageBuffer image = makePhoto(kPhotoWidth, kPhotoHeight);
    return image;
}

const ImageBuffer& photo8() {
    static ImageBuffer image;
    if (!image.data) ImageBuffer::copy8FromFloat(image, photo(), true);
    return image;
}

const ImageBuffer& view() {
    static const ImageBuffer image = makePhoto(kViewWidth, kViewHeight);
    return image;
}

const GrowArray<ImageMod*>& prototypes() {
    static OwnedTiles list;
    if (list.list.count == 0) buildPrototypeList(list.list);
    return list.list;
}

ImageMod* cloneOf(const char* name) {
    const GrowArray<ImageMod*>& all = prototypes();
    for (int32_t i = all.count - 1; i >= 0; --i) {
        if (all[i]->name == GrowString(name)) {
            ImageMod* tile = all[i]->clone();
            tile->copyFrom(*all[i]);
            return tile;
        }
    }
    std::fprintf(stderr, "no prototype named %s\n", name);
    return nullptr;
}

void setFloat(ImageMod* tile, const char* var, float value) {
    if (ModVar* v = tile->findVar(var))
        if (FloatValue* f = v->floatValue()) f->value = value;
}

void setCurve(ImageMod* tile, const char* var, const char* points) {
    if (ModVar* v = tile->findVar(var)) {
        if (CurveValue* c = v->curveValue()) {
            GrowString text(points);
            c->curve.setFromString(text);
        }
    }
}

void setColor(ImageMod* tile, const char* var, float r, float g, float b) {
    if (ModVar* v = tile->findVar(var)) {
        if (ColorValue* c = v->colorValue()) {
            c->red = r;
            c->green = g;
            c->blue = b;
        }
    }
}

// The ten-tile chain with the values of bench/filters/chain10.plf.
void buildChain(OwnedTiles& chain) {
    ImageMod* t = cloneOf("Exposure");
    setFloat(t, "Amount", 1.15f);
    chain.list.append(t);
    t = cloneOf("Contrast");
    setFloat(t, "Amount", 1.2f);
    setFloat(t, "Center", 110.0f);
    chain.list.append(t);
    t = cloneOf("Saturation");
    setFloat(t, "Amount", 1.3f);
    chain.list.append(t);
    t = cloneOf("Curves");
    setCurve(t, "Curve", "0 0 0.25 0.18 0.75 0.82 1 1");
    chain.list.append(t);
    t = cloneOf("Tone Curve");
    setFloat(t, "Amount", 0.8f);
    setCurve(t, "Curve", "0 0.04 0.5 0.55 1 0.96");
    chain.list.append(t);
    t = cloneOf("White Balance");
    setFloat(t, "Amount", 0.3f);
    setColor(t, "Color", 230.0f, 200.0f, 170.0f);
    chain.list.append(t);
    t = cloneOf("Split Tone");
    setFloat(t, "Amount", 0.5f);
    chain.list.append(t);
    t = cloneOf("Hue Shift");
    setCurve(t, "Hue Region", "0 0.55 0.25 0.45 0.5 0.5 0.75 0.6 1 0.55");
    chain.list.append(t);
    t = cloneOf("Color Balance");
    setFloat(t, "Red", 10.0f);
    setFloat(t, "Green", -5.0f);
    setFloat(t, "Blue", 8.0f);
    chain.list.append(t);
    t = cloneOf("Color Mixer");
    const char* names[9] = {"RedR", "GreenR", "BlueR", "RedG", "GreenG", "BlueG", "RedB", "GreenB", "BlueB"};
    const float values[9] = {90.0f, 10.0f, 0.0f, 5.0f, 90.0f, 5.0f, 0.0f, 10.0f, 90.0f};
    for (int i = 0; i < 9; ++i) setFloat(t, names[i], values[i]);
    setFloat(t, "Red", 90.0f);
    setFloat(t, "Green", 10.0f);
    setFloat(t, "Blue", 0.0f);
    chain.list.append(t);
    for (int32_t i = 0; i < chain.list.count; ++i)
        for (int32_t v = 0; v < chain.list[i]->vars.count; ++v) chain.list[i]->varChanged(v);
}

const GrowArray<ImageMod*>& chain10() {
    static OwnedTiles chain;
    if (chain.list.count == 0) {
        buildChain(chain);
        // The same chain as the filter the comparison renders?
        OwnedTiles fromFile;
        uint32_t status = kFilterReadClean;
        loadFilterFile(fromFile.list, GrowString(PELLUCINE_BENCH_FILTERS "/chain10.plf"), prototypes(), status);
        bool same = fromFile.list.count == chain.list.count;
        for (int32_t i = 0; same && i < chain.list.count; ++i) same = chain.list[i]->equals(*fromFile.list[i]);
        if (!same) std::fprintf(stderr, "warning: the chain differs from bench/filters/chain10.plf\n");
    }
    return chain.list;
}

// A tile that changes nothing and refuses bands: between two tiles it ends
// a fused run, so a chain interleaved with it runs tile by tile.
class Barrier : public ImageMod {
public:
    Barrier() : ImageMod(GrowString("Barrier"), GrowString("")) {}
    ImageMod* clone() const override { return new Barrier(); }
    bool canTile(int32_t) const override { return false; }
    void process8(ImageBuffer&, const RenderArgs*) override {}
    void processFloat(ImageBuffer&, const RenderArgs*) override {}
};

// Renders `chain` over fresh copies of `source` (the copy is not timed).
void renderLoop(benchmark::State& state, const GrowArray<ImageMod*>& chain, const ImageBuffer& source,
                bool eightBit, int threads) {
    setParallelThreadCount(threads);
    RenderContext context(0);
    ImageBuffer work;
    for (auto _ : state) {
        state.PauseTiming();
        if (eightBit)
            ImageBuffer::copy8(work, source, true);
        else
            ImageBuffer::copyFloat(work, source, true);
        state.ResumeTiming();
        const bool rendered = eightBit ? context.render8(chain, &work, nullptr, -1, 0, nullptr)
                                       : context.render(chain, &work, nullptr, -1, 0, nullptr);
        if (!rendered) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(work.data);
    }
    setParallelThreadCount(0);
    state.SetItemsProcessed(state.iterations() * int64_t(source.width) * source.height);
}

// Arguments: tile index in the chain, 8-bit (0/1), threads.
void BM_PointTile(benchmark::State& state) {
    ImageMod* tile = chain10()[static_cast<int32_t>(state.range(0))];
    GrowArray<ImageMod*> one;
    one.append(tile);
    state.SetLabel(tile->name.c_str());
    const bool eightBit = state.range(1) != 0;
    renderLoop(state, one, eightBit ? photo8() : photo(), eightBit, static_cast<int>(state.range(2)));
}
BENCHMARK(BM_PointTile)
    ->ArgNames({"tile", "8bit", "threads"})
    ->ArgsProduct({{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {0, 1}, {1, 8}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Arguments: 8-bit (0/1), fused (0/1), threads.
void BM_Chain10(benchmark::State& state) {
    const bool eightBit = state.range(0) != 0;
    const bool fused = state.range(1) != 0;
    const GrowArray<ImageMod*>& chain = chain10();
    Barrier barrier;
    GrowArray<ImageMod*> run;
    for (int32_t i = 0; i < chain.count; ++i) {
        if (i > 0 && !fused) run.append(&barrier);
        run.append(chain[i]);
    }
    renderLoop(state, run, eightBit ? photo8() : photo(), eightBit, static_cast<int>(state.range(2)));
}
BENCHMARK(BM_Chain10)
    ->ArgNames({"8bit", "fused", "threads"})
    ->ArgsProduct({{0, 1}, {1, 0}, {1, 8}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The fused chain (float) with sub-bands of several sizes, to choose
// RenderContext::kDefaultFusedBandBytes: small sub-bands stay in the core's
// cache, large ones cost fewer tile calls. Arguments: KiB, threads.
void BM_Chain10BandSize(benchmark::State& state) {
    setParallelThreadCount(static_cast<int>(state.range(1)));
    RenderContext context(0);
    context.fusedBandBytes = static_cast<int32_t>(state.range(0) * 1024);
    ImageBuffer work;
    for (auto _ : state) {
        state.PauseTiming();
        ImageBuffer::copyFloat(work, photo(), true);
        state.ResumeTiming();
        if (!context.render(chain10(), &work, nullptr, -1, 0, nullptr)) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(work.data);
    }
    setParallelThreadCount(0);
}
BENCHMARK(BM_Chain10BandSize)
    ->ArgNames({"KiB", "threads"})
    ->ArgsProduct({{64, 256, 1024, 4096, 16384}, {1, 8}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The view after the last tile changed: each iteration gives the last tile
// another value, so the context restores the cache point after the ninth
// tile and runs only the tenth. The display draws a fresh view before every
// render; that copy is not timed. Argument: threads.
void BM_ViewLastTileChange(benchmark::State& state) {
    setParallelThreadCount(static_cast<int>(state.range(0)));
    const GrowArray<ImageMod*>& shared = chain10();
    OwnedTiles chain;  // own copies: the last tile's value changes
    for (int32_t i = 0; i < shared.count; ++i) {
        ImageMod* tile = shared[i]->clone();
        tile->copyFrom(*shared[i]);
        chain.list.append(tile);
    }
    FloatValue* knob = chain.list[kChainLength - 1]->findVar("RedR")->floatValue();
    RenderContext context(1);
    RenderRegion region;
    region.fullWidth = kPhotoWidth;
    region.fullHeight = kPhotoHeight;
    region.scale = static_cast<float>(kPhotoWidth) / kViewWidth;
    ImageBuffer work;
    int64_t step = 0;
    auto renderOnce = [&] {
        knob->value = (step++ % 2) ? 90.0f : 85.0f;
        ImageBuffer::copyFloat(work, view(), true);
        if (!context.render(chain.list, &work, nullptr, -1, 0, &region)) state.SkipWithError("render failed");
    };
    renderOnce();  // the first run: no cache yet
    renderOnce();  // the last tile changed: stores the cache point
    int64_t restored = 0;
    for (auto _ : state) {
        state.PauseTiming();
        knob->value = (step++ % 2) ? 90.0f : 85.0f;
        ImageBuffer::copyFloat(work, view(), true);
        state.ResumeTiming();
        if (!context.render(chain.list, &work, nullptr, -1, 0, &region)) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(work.data);
        if (context.cachedIndex == kChainLength - 2) ++restored;
    }
    setParallelThreadCount(0);
    state.counters["from_cache"] = static_cast<double>(restored) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ViewLastTileChange)->ArgName("threads")->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole chain on the view (no cache). Argument: threads.
void BM_ViewWholeChain(benchmark::State& state) {
    renderLoop(state, chain10(), view(), false, static_cast<int>(state.range(0)));
}
BENCHMARK(BM_ViewWholeChain)->ArgName("threads")->Arg(1)->Arg(8)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
