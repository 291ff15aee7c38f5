#include "render/RenderPipeline.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "foundation/ImageBuffer.h"
#include "foundation/Mutex.h"
#include "framework/ImageMod.h"
#include "framework/ModListHelpers.h"
#include "framework/SelectorMod.h"
#include "pixels/KernelAttributes.h"
#include "pixels/SampleRules.h"
#include "platform/ParallelFor.h"
#include "render/RenderContext.h"

BandPlan planBands(int32_t height, int32_t threads, int32_t margin, int32_t maxBandHeight, bool scratch) {
    BandPlan plan;
    plan.scratch = scratch;
    if (height < 1) return plan;
    const int32_t t = threads < 1 ? 1 : threads;
    int32_t m = margin < 0 ? 0 : margin;
    if (m > height) m = height;
    const int64_t b0 = height / t;
    if (!scratch) {
        // Bands are views that see only their own rows: no margin.
        plan.bandHeight = b0;
        plan.bandCount = t;
        return plan;
    }
    plan.margin = m;
    const int64_t limited = maxBandHeight < b0 ? maxBandHeight : b0;
    int64_t b = 3 * static_cast<int64_t>(m);
    if (limited > b) b = limited;
    if (b < 1) {
        // No margin and fewer rows than threads (or a band limit below 1):
        // one band of the whole image.
        plan.bandHeight = height;
        plan.bandCount = 1;
        return plan;
    }
    plan.bandHeight = b;
    plan.bandCount = static_cast<int32_t>((height + b - 1) / b);
    return plan;
}

BandRows bandRows(const BandPlan& plan, int32_t index, int32_t height) {
    BandRows rows;
    if (index < 0 || index >= plan.bandCount || height < 1) return rows;
    const int64_t m = plan.margin;
    const int64_t top = static_cast<int64_t>(index) * plan.bandHeight;
    const bool last = index == plan.bandCount - 1;
    int64_t paddedTop = top - m;
    if (paddedTop < 0) paddedTop = 0;
    int64_t paddedBottom = height;
    if (!last && top + plan.bandHeight + m < height) paddedBottom = top + plan.bandHeight + m;
    int64_t ownTop = top < height ? top : height;
    rows.viewTop = static_cast<int32_t>(paddedTop < ownTop ? paddedTop : ownTop);
    rows.viewBottom = static_cast<int32_t>(paddedBottom);
    if (rows.viewBottom < rows.viewTop) rows.viewBottom = rows.viewTop;
    rows.overlapAbove = static_cast<int32_t>(ownTop - rows.viewTop);
    if (!last) {
        int64_t ownBottom = top + plan.bandHeight;
        if (ownBottom > rows.viewBottom) ownBottom = rows.viewBottom;
        rows.overlapBelow = static_cast<int32_t>(rows.viewBottom - ownBottom);
    }
    return rows;
}

namespace {

// The row conversions run over whole band rows; at -O2 GCC only vectorises
// loops whose trip count it knows unless the cost model is relaxed
// (TILE_VECTOR_LOOP).

TILE_VECTOR_LOOP void bytesToFloats(float* out, const uint8_t* in, int64_t count) {
    for (int64_t k = 0; k < count; ++k) out[k] = static_cast<float>(in[k]);
}

// storeByte on every sample, written without branches (pixel::clampedByte).
TILE_VECTOR_LOOP void floatsToBytes(uint8_t* out, const float* in, int64_t count) {
    for (int64_t k = 0; k < count; ++k) out[k] = pixel::clampedByte(in[k]);
}

// ---- Sample-type differences between the float and the 8-bit pipeline ----

template <class Sample>
struct Samples;

template <>
struct Samples<float> {
    static void copyImage(ImageBuffer& target, const ImageBuffer& source) {
        ImageBuffer::copyFloat(target, source, true);
    }
    static void restoreCache(ImageBuffer& target, const ImageBuffer& cache) {
        ImageBuffer::copyFloat(target, cache, true);
    }
    static void storeCache(ImageBuffer& cache, const ImageBuffer& target) {
        ImageBuffer::copyFloat(cache, target, true);
    }
    static void process(ImageMod& mod, ImageBuffer& image, const RenderArgs* args) {
        mod.processFloat(image, args);
    }
    static void toFloat(float* out, const float* in, int64_t count) {
        std::memcpy(out, in, static_cast<size_t>(count) * sizeof(float));
    }
    static void fromFloat(float* out, const float* in, int64_t count) {
        std::memcpy(out, in, static_cast<size_t>(count) * sizeof(float));
    }
    static bool scratchMode(int32_t margin, const RenderContext&) { return margin > 0; }
    // Rows of the float cache image into the target and back.
    static void restoreRows(float* out, const float* cache, int64_t count) {
        std::memcpy(out, cache, static_cast<size_t>(count) * sizeof(float));
    }
    static void storeRows(float* cache, const float* in, int64_t count) {
        std::memcpy(cache, in, static_cast<size_t>(count) * sizeof(float));
    }
};

template <>
struct Samples<uint8_t> {
    static void copyImage(ImageBuffer& target, const ImageBuffer& source) {
        ImageBuffer::copy8(target, source, true);
    }
    static void restoreCache(ImageBuffer& target, const ImageBuffer& cache) {
        ImageBuffer::copy8FromFloat(target, cache, true);
    }
    static void storeCache(ImageBuffer& cache, const ImageBuffer& target) {
        ImageBuffer::copyFloatFrom8(cache, target, true);
    }
    static void process(ImageMod& mod, ImageBuffer& image, const RenderArgs* args) {
        mod.process8(image, args);
    }
    static void toFloat(float* out, const uint8_t* in, int64_t count) { bytesToFloats(out, in, count); }
    // Clamped to 0..255 (NaN as 0), then truncated toward zero.
    static void fromFloat(uint8_t* out, const float* in, int64_t count) { floatsToBytes(out, in, count); }
    static bool scratchMode(int32_t margin, const RenderContext& ctx) { return margin > 0 || ctx.floatBands8; }
    // The cache restored as copy8FromFloat does (truncated), stored exactly.
    static void restoreRows(uint8_t* out, const float* cache, int64_t count) { floatsToBytes(out, cache, count); }
    static void storeRows(float* cache, const uint8_t* in, int64_t count) { bytesToFloats(cache, in, count); }
};

// The insets and the scale, which every ImageBuffer copy takes over.
void copyInsetsAndScale(ImageBuffer& to, const ImageBuffer& from) {
    to.insetLeft = from.insetLeft;
    to.insetRight = from.insetRight;
    to.insetTop = from.insetTop;
    to.insetBottom = from.insetBottom;
    to.scale = from.scale;
}

// Tasks per thread of a fused segment: enough that a thread slowed by other
// work on the machine does not hold the others up at the end.
constexpr int64_t kFusedTasksPerThread = 4;

// One band of the run's band table.
struct Band {
    ImageBuffer view;       // not owning: the band's padded rows of the target
    BandRows rows;
    int32_t ownTop = 0;     // first own row, in target rows
    int32_t ownBottom = 0;  // one past the last own row
    RenderRegion region;
};

// Everything the band tasks of one run share. Set up once per run; only the
// pool list changes while bands run, under its lock.
template <class Sample>
struct Run {
    RenderContext* ctx = nullptr;
    ImageBuffer* target = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 3;
    int64_t rowSamples = 0;  // samples per row
    BandPlan plan;
    std::unique_ptr<Band[]> bands;
    // The request's region with the run's full size and the target's insets:
    // the region of a band starting at row 0.
    RenderRegion baseRegion;

    // Margin rows around each band boundary as they stood when the pass
    // began: boundary j (1..N-1) keeps rows [top_j - m, top_j + m) clipped to
    // the image, at zone j - 1 of 2m rows.
    std::unique_ptr<Sample[]> boundaryRows;

    // Set by a band task that could not get its scratch buffer: its rows
    // kept their input, so the run is a failed one and stops.
    std::atomic<bool> incomplete{false};

    // The scratch pool: float buffers handed from band to band.
    Mutex poolLock;
    std::vector<std::unique_ptr<ImageBuffer>> pool;

    // The current pass.
    ImageMod* mod = nullptr;
    ImageMod* selector = nullptr;
    int32_t pass = 0;

    const Sample* rowOfTarget(int64_t row) const {
        return static_cast<const Sample*>(target->data) + row * rowSamples;
    }
    Sample* rowOfTarget(int64_t row) { return static_cast<Sample*>(target->data) + row * rowSamples; }

    int64_t zoneTop(int32_t boundary) const {
        return static_cast<int64_t>(boundary) * plan.bandHeight - plan.margin;
    }
    int64_t zoneOffset(int32_t boundary, int64_t row) const {
        const int64_t zoneRowIndex = static_cast<int64_t>(boundary - 1) * 2 * plan.margin + (row - zoneTop(boundary));
        return zoneRowIndex * rowSamples;
    }
    const Sample* zoneRow(int32_t boundary, int64_t row) const { return boundaryRows.get() + zoneOffset(boundary, row); }
    Sample* zoneRow(int32_t boundary, int64_t row) { return boundaryRows.get() + zoneOffset(boundary, row); }
};

// Sets up the band table; false when memory for the boundary rows runs out.
template <class Sample>
bool setUpBands(Run<Sample>& run) {
    RenderContext& ctx = *run.ctx;
    ImageBuffer& target = *run.target;
    const int32_t n = run.plan.bandCount;
    run.bands.reset(new Band[n]);
    RenderRegion base;
    if (ctx.region)
        base = *ctx.region;
    else
        base.scale = target.scale;  // without a request region the picture's own scale, as marginFor sees it
    const int32_t fullWidth = ctx.region && ctx.region->fullWidth > 0 ? ctx.region->fullWidth : run.width;
    const int32_t fullHeight = ctx.region && ctx.region->fullHeight > 0 ? ctx.region->fullHeight : run.height;
    run.baseRegion = base;
    run.baseRegion.fullWidth = fullWidth;
    run.baseRegion.fullHeight = fullHeight;
    run.baseRegion.insetLeft = target.insetLeft;
    run.baseRegion.insetRight = target.insetRight;
    run.baseRegion.insetTop = target.insetTop;
    run.baseRegion.insetBottom = target.insetBottom;
    for (int32_t i = 0; i < n; ++i) {
        Band& band = run.bands[i];
        band.rows = bandRows(run.plan, i, run.height);
        band.ownTop = band.rows.viewTop + band.rows.overlapAbove;
        band.ownBottom = band.rows.viewBottom - band.rows.overlapBelow;
        const int32_t viewHeight = band.rows.viewBottom - band.rows.viewTop;
        band.view.wrap(viewHeight > 0 ? run.rowOfTarget(band.rows.viewTop) : nullptr, run.width, viewHeight,
                       target.channels);
        // The band carries the whole image's insets and scale, so that a
        // tile sees the same geometry on a band as on the whole image.
        band.view.insetLeft = target.insetLeft;
        band.view.insetRight = target.insetRight;
        band.view.insetTop = target.insetTop;
        band.view.insetBottom = target.insetBottom;
        band.view.scale = target.scale;
        band.region = base;
        band.region.fullWidth = fullWidth;
        band.region.fullHeight = fullHeight;
        band.region.originY = base.originY + band.rows.viewTop;
        band.region.insetLeft = target.insetLeft;
        band.region.insetRight = target.insetRight;
        band.region.insetTop = target.insetTop;
        band.region.insetBottom = target.insetBottom;
    }
    if (run.plan.scratch) {
        if (run.plan.margin > 0 && n > 1) {
            const size_t samples = static_cast<size_t>(n - 1) * 2 * run.plan.margin * run.rowSamples;
            run.boundaryRows.reset(new (std::nothrow) Sample[samples]());
            if (!run.boundaryRows) return false;
        }
        run.pool.reserve(static_cast<size_t>(n));
    }
    return true;
}

// Copies the rows around every band boundary aside before a pass.
template <class Sample>
void snapshotBoundaries(Run<Sample>& run) {
    const int32_t boundaries = run.plan.bandCount - 1;
    if (boundaries < 1 || run.plan.margin < 1) return;
    parallelFor(boundaries, run.ctx->priority, [&run](int32_t j) {
        const int32_t boundary = j + 1;
        const int64_t top = run.zoneTop(boundary);
        int64_t bottom = top + 2 * static_cast<int64_t>(run.plan.margin);
        if (bottom > run.height) bottom = run.height;
        if (bottom <= top) return;
        Sample* out = run.zoneRow(boundary, top);
        std::memcpy(out, run.rowOfTarget(top), static_cast<size_t>((bottom - top) * run.rowSamples) * sizeof(Sample));
    });
}

// Takes a scratch buffer from the pool: the first of the band's height, else
// the last one, else a new one.
template <class Sample>
std::unique_ptr<ImageBuffer> takeScratch(Run<Sample>& run, int32_t height) {
    std::unique_ptr<ImageBuffer> taken;
    MutexLocker guard(&run.poolLock);
    auto& pool = run.pool;
    for (size_t k = 0; k < pool.size(); ++k) {
        if (pool[k]->height == height) {
            taken = std::move(pool[k]);
            pool.erase(pool.begin() + static_cast<std::ptrdiff_t>(k));
            return taken;
        }
    }
    if (!pool.empty()) {
        taken = std::move(pool.back());
        pool.pop_back();
    }
    return taken;
}

template <class Sample>
void returnScratch(Run<Sample>& run, std::unique_ptr<ImageBuffer> scratch) {
    MutexLocker guard(&run.poolLock);
    run.pool.push_back(std::move(scratch));
}

// One band of a banded pass.
template <class Sample>
void processBand(Run<Sample>& run, int32_t index) {
    Band& band = run.bands[index];
    ImageBuffer& view = band.view;
    if (view.height < 1) return;  // an empty band: nothing to change
    RenderArgs args;
    args.region = &band.region;
    args.selector = run.selector;
    args.requestValue = run.ctx->requestValue;
    args.pass = run.pass;
    if (!run.plan.scratch) {
        Samples<Sample>::process(*run.mod, view, &args);
        return;
    }
    // Only the band's own rows are written back: the rest is context.
    args.contextAbove = band.rows.overlapAbove;
    args.contextBelow = band.rows.overlapBelow;

    std::unique_ptr<ImageBuffer> scratch = takeScratch(run, view.height);
    if (!scratch) scratch = std::make_unique<ImageBuffer>();
    if (!scratch->data || scratch->width != view.width || scratch->height != view.height ||
        scratch->channelCount() != run.channels) {
        if (!scratch->allocateFloat(view.width, view.height, run.channels) || !scratch->data) {
            returnScratch(run, std::move(scratch));
            run.incomplete.store(true);  // out of memory: the band keeps its input
            return;
        }
    }
    scratch->insetLeft = view.insetLeft;
    scratch->insetRight = view.insetRight;
    scratch->insetTop = view.insetTop;
    scratch->insetBottom = view.insetBottom;
    scratch->scale = view.scale;

    // Copy-in: own rows from the target (no other band writes them), margin
    // rows from the boundary copy taken before the pass.
    const bool last = index == run.plan.bandCount - 1;
    const int64_t ownTop = band.ownTop;
    const int64_t ownBottom = band.ownBottom;
    float* scratchData = scratch->floats();
    for (int64_t row = band.rows.viewTop; row < band.rows.viewBottom; ++row) {
        const Sample* source;
        if (row < ownTop)
            source = run.zoneRow(index, row);
        else if (!last && row >= ownBottom)
            source = run.zoneRow(index + 1, row);
        else
            source = run.rowOfTarget(row);
        Samples<Sample>::toFloat(scratchData + (row - band.rows.viewTop) * run.rowSamples, source, run.rowSamples);
    }

    run.mod->processFloat(*scratch, &args);

    // Write back the band's own rows only: scratch rows from the overlap
    // above to (height - overlap below), those that lie inside the view, and
    // the columns and channels both buffers have.
    if (scratch->data) {
        const int32_t firstRow = band.rows.overlapAbove;
        int32_t endRow = scratch->height - band.rows.overlapBelow;
        if (endRow > view.height) endRow = view.height;
        const int32_t columns = scratch->width < view.width ? scratch->width : view.width;
        const int32_t scratchChannels = scratch->channelCount();
        const int32_t shared = scratchChannels < run.channels ? scratchChannels : run.channels;
        const int64_t scratchRow = static_cast<int64_t>(scratch->width) * scratchChannels;
        Sample* viewData = static_cast<Sample*>(view.data);
        const float* in = scratch->floats();
        for (int32_t r = firstRow; r < endRow; ++r) {
            Sample* out = viewData + r * run.rowSamples;
            const float* src = in + r * scratchRow;
            if (shared == run.channels && shared == scratchChannels) {
                Samples<Sample>::fromFloat(out, src, static_cast<int64_t>(columns) * shared);
            } else {
                for (int32_t x = 0; x < columns; ++x)
                    Samples<Sample>::fromFloat(out + static_cast<int64_t>(x) * run.channels,
                                               src + static_cast<int64_t>(x) * scratchChannels, shared);
            }
        }
    }
    returnScratch(run, std::move(scratch));
}

void markIdle(RenderContext& ctx) {
    MutexLocker guard(ctx.chainLock.get());
    ctx.idle = 1;
    ctx.cancelRequested = 0;
}

// Ends a run that could not render the whole image: not done, failed, no
// cache point taken from it.
void markFailed(RenderContext& ctx, int32_t pending) {
    MutexLocker guard(ctx.chainLock.get());
    ctx.failed = 1;
    ctx.done = 0;
    if (pending != -1) ctx.cachedIndex = -1;
    ctx.idle = 1;
    ctx.cancelRequested = 0;
}

bool cancelAsked(RenderContext& ctx) {
    MutexLocker guard(ctx.chainLock.get());
    return ctx.cancelRequested != 0;
}

// ---- Whole-image copies between the target and the cache image ----

// Rows per task of the parallel whole-image copies: enough work per task to
// outweigh handing it out, and several tasks per thread.
constexpr int64_t kCopyTaskBytes = int64_t(1) << 20;

// Runs body(firstRow, endRow) over the image's rows in parallel chunks of
// about `taskBytes` (at least one row each).
template <class Body>
void forRowChunks(int32_t height, int64_t rowBytes, int64_t taskBytes, float priority, const Body& body) {
    if (height < 1) return;
    int64_t rows = rowBytes > 0 ? taskBytes / rowBytes : height;
    if (rows < 1) rows = 1;
    const int32_t chunks = static_cast<int32_t>((height + rows - 1) / rows);
    parallelFor(chunks, priority, [&](int32_t i) {
        const int64_t top = static_cast<int64_t>(i) * rows;
        const int64_t bottom = top + rows < height ? top + rows : height;
        body(static_cast<int32_t>(top), static_cast<int32_t>(bottom));
    });
}

// The cache image copied into the target (restore) or the target into the
// cache image (store). The run has checked that both have the same width,
// height and channel count, so these are the copies of ImageBuffer::copyFloat
// (copy8FromFloat, copyFloatFrom8 for 8-bit targets) done on many rows at
// once: the same samples, the insets and the scale taken over as they do.
template <class Sample>
void restoreWhole(RenderContext& ctx, ImageBuffer& target, const ImageBuffer& cache, int64_t rowSamples) {
    forRowChunks(target.height, rowSamples * static_cast<int64_t>(sizeof(float)), kCopyTaskBytes, ctx.priority,
                 [&](int32_t top, int32_t bottom) {
                     Samples<Sample>::restoreRows(static_cast<Sample*>(target.data) + top * rowSamples,
                                                  cache.floats() + top * rowSamples, (bottom - top) * rowSamples);
                 });
    copyInsetsAndScale(target, cache);
}

template <class Sample>
void storeWhole(RenderContext& ctx, ImageBuffer& cache, const ImageBuffer& target, int64_t rowSamples) {
    forRowChunks(target.height, rowSamples * static_cast<int64_t>(sizeof(float)), kCopyTaskBytes, ctx.priority,
                 [&](int32_t top, int32_t bottom) {
                     Samples<Sample>::storeRows(cache.floats() + top * rowSamples,
                                                static_cast<const Sample*>(target.data) + top * rowSamples,
                                                (bottom - top) * rowSamples);
                 });
    copyInsetsAndScale(cache, target);
}

// Makes target ready to receive a copy of source as Samples::copyImage
// would: same size and channel count (storage kept when it fits). Returns
// true when the samples still have to be copied (copyWhole); false when the
// copy could not be prepared that way and was done whole already.
template <class Sample>
bool prepareCopyTarget(ImageBuffer& target, const ImageBuffer& source) {
    const int32_t channels = source.channelCount();
    if (!source.data || source.width < 1 || source.height < 1) {
        Samples<Sample>::copyImage(target, source);
        return false;
    }
    if (!target.data || target.width != source.width || target.height != source.height ||
        target.channelCount() != channels) {
        const bool ok = std::is_same<Sample, float>::value ? target.allocateFloat(source.width, source.height, channels)
                                                          : target.allocate8(source.width, source.height, channels);
        if (!ok) return false;
    }
    return true;
}

// The samples of source copied into target of the same size and channel
// count, on many rows at once, with the insets and the scale.
template <class Sample>
void copyWhole(RenderContext& ctx, ImageBuffer& target, const ImageBuffer& source, int64_t rowSamples) {
    forRowChunks(target.height, rowSamples * static_cast<int64_t>(sizeof(Sample)), kCopyTaskBytes, ctx.priority,
                 [&](int32_t top, int32_t bottom) {
                     std::memcpy(static_cast<Sample*>(target.data) + top * rowSamples,
                                 static_cast<const Sample*>(source.data) + top * rowSamples,
                                 static_cast<size_t>((bottom - top) * rowSamples) * sizeof(Sample));
                 });
    copyInsetsAndScale(target, source);
}

// ---- Fused runs of point tiles ----
//
// A segment of the chain whose tiles all run in one banded pass without a
// margin of their own (point tiles, tiles that read only the rows they are
// given) is done sub-band by sub-band: each task takes a few rows, small
// enough to stay in the core's cache, and runs every tile of the segment on
// them before it moves on, instead of sweeping the whole image once per tile.
// Every pixel meets the same tiles in the same order with the same
// arithmetic, and a tile that may run on bands gives the same pixels on any
// band, so the result is the one of the tile-by-tile walk.
//
// What the walk does between tiles is kept at the same tile boundaries:
// - the cache restore (the segment starts at cachedIndex) is the first step
//   of every sub-band, and the cache store after the tile at
//   pendingCacheIndex is done by every sub-band right after that tile;
// - the cancel check before each tile is made once per tile for the whole
//   image: the first sub-band to reach a tile reads cancelRequested under
//   chainLock and records the answer, and every sub-band follows it. A tile
//   is thus started everywhere or nowhere, and a cancelled segment leaves
//   the output of the tiles before the refused one, as the walk would.
// - in the 8-bit pipeline through float bands (a margin elsewhere in the
//   chain, or floatBands8), the samples are stored as bytes after every
//   tile, here by rounding the float sub-band the same way.

// Decisions of the cancel checks inside a segment.
enum : uint8_t { kUndecided = 0, kGoOn = 1, kStop = 2 };

struct FusedStep {
    ImageMod* mod = nullptr;
    ImageMod* selector = nullptr;
    std::unique_ptr<SelectorPointerArray> holder;
    bool check = false;  // a cancel check comes before this tile
};

struct Segment {
    int32_t first = 0;  // chain indices covered, first..last
    int32_t last = -1;
    bool restore = false;   // starts with the restore of the cache image
    int32_t storeAt = -1;   // the cache store comes before step storeAt (== step count: after the last)
    std::vector<FusedStep> steps;
    std::unique_ptr<std::atomic<uint8_t>[]> decisions;  // one per step
    int64_t bandRows = 1;   // rows of a sub-band
    int32_t bandCount = 0;  // sub-bands over the image
    int32_t taskCount = 0;  // tasks, each a run of neighbouring sub-bands
    bool floatScratch = false;  // 8-bit samples through float sub-bands
};

// Whether the tile takes no part in a run: missing, disabled or a selector.
bool inert(const ImageMod* mod) {
    return !mod || !mod->enabled || mod->kind() == kSelectorMod;
}

// Whether the tile can join a fused segment: one pass, which may run on
// bands, with no rows of context.
bool fusable(const ImageMod* mod, int32_t fullWidth, int32_t fullHeight, float scale) {
    return mod->passCount() == 1 && mod->canTile(0) && mod->marginFor(fullWidth, fullHeight, scale) <= 0;
}

// Builds the segment that starts at chain index k (k >= cachedIndex); false
// when fusing gains nothing there (fewer than two pieces of work, or no tile
// to run), and the walk handles index k on its own.
template <class Sample>
bool buildSegment(Run<Sample>& run, int32_t k, int32_t cachedIndex, int32_t pending, bool cacheReady,
                  int32_t fullWidth, int32_t fullHeight, float scale, Segment& segment) {
    RenderContext& ctx = *run.ctx;
    const int32_t count = ctx.mods.count;
    segment.first = k;
    segment.restore = k == cachedIndex;
    int32_t j = segment.restore ? k + 1 : k;
    int32_t tiles = 0;
    int32_t work = 0;  // pieces of work beyond one per tile
    for (; j < count; ++j) {
        ImageMod* mod = ctx.mods[j];
        if (inert(mod)) continue;
        if (!fusable(mod, fullWidth, fullHeight, scale)) break;
        ++tiles;
        if (mod->runsSeveralSteps()) ++work;
    }
    segment.last = j - 1;
    const bool store = cacheReady && pending >= k && pending <= segment.last;
    if (tiles == 0 || (segment.restore ? 1 : 0) + tiles + work + (store ? 1 : 0) < 2) return false;

    segment.steps.clear();
    segment.steps.reserve(static_cast<size_t>(tiles));
    segment.storeAt = -1;
    for (int32_t i = segment.restore ? k + 1 : k; i <= segment.last; ++i) {
        ImageMod* mod = ctx.mods[i];
        if (!inert(mod)) {
            FusedStep step;
            step.mod = mod;
            step.selector = chooseSelector(precedingSelectors(ctx.mods, i), step.holder);
            step.check = i > k;  // the walk has checked before index k
            segment.steps.push_back(std::move(step));
        }
        if (store && i == pending) segment.storeAt = static_cast<int32_t>(segment.steps.size());
    }
    segment.decisions.reset(new std::atomic<uint8_t>[segment.steps.size()]);
    for (size_t s = 0; s < segment.steps.size(); ++s) segment.decisions[s].store(kUndecided, std::memory_order_relaxed);

    // Sub-bands of about fusedBandBytes of working samples (floats when the
    // 8-bit samples go through float bands), at least one row each; a few
    // tasks per thread, each a run of neighbouring sub-bands so that a
    // thread walks memory forwards.
    segment.floatScratch = std::is_same<Sample, uint8_t>::value && run.plan.scratch;
    const int64_t sampleBytes = segment.floatScratch ? int64_t(sizeof(float)) : int64_t(sizeof(Sample));
    const int64_t rowBytes = run.rowSamples * sampleBytes;
    const int64_t budget = ctx.fusedBandBytes > 0 ? ctx.fusedBandBytes : 1;
    int64_t rows = rowBytes > 0 ? budget / rowBytes : run.height;
    if (rows < 1) rows = 1;
    if (rows > run.height) rows = run.height;
    segment.bandRows = rows;
    segment.bandCount = static_cast<int32_t>((run.height + rows - 1) / rows);
    const int64_t tasks = static_cast<int64_t>(parallelThreadCount()) * kFusedTasksPerThread;
    segment.taskCount = static_cast<int32_t>(segment.bandCount < tasks ? segment.bandCount : tasks);
    return true;
}

// Whether the tiles from step s on may start: the decision of the cancel
// check before step s, made by the first sub-band that gets there.
bool mayStart(RenderContext& ctx, Segment& segment, size_t s) {
    std::atomic<uint8_t>& decision = segment.decisions[s];
    uint8_t seen = decision.load(std::memory_order_acquire);
    if (seen == kUndecided) {
        const uint8_t mine = cancelAsked(ctx) ? kStop : kGoOn;
        if (decision.compare_exchange_strong(seen, mine, std::memory_order_acq_rel)) seen = mine;
    }
    return seen == kGoOn;
}

// Rounds float samples as the 8-bit store and reload between two tiles do:
// clamped to 0..255 (NaN as 0), truncated toward zero. Two loops, because
// GCC vectorises each alone but not the two steps in one loop; the samples
// are a sub-band in the core's cache.
TILE_VECTOR_LOOP void roundToBytes(float* samples, int64_t count) {
    for (int64_t k = 0; k < count; ++k) samples[k] = pixel::clampSampleNanToZero(samples[k]);
    for (int64_t k = 0; k < count; ++k) samples[k] = static_cast<float>(static_cast<int32_t>(samples[k]));
}

// One sub-band of a segment: rows [top, bottom) of the target. `scratch`
// is the task's float buffer of a sub-band's rows when 8-bit samples go
// through float bands, else null.
template <class Sample>
void runSubBand(Run<Sample>& run, Segment& segment, int32_t top, int32_t bottom, ImageBuffer* scratch) {
    RenderContext& ctx = *run.ctx;
    ImageBuffer& target = *run.target;
    const int32_t rows = bottom - top;
    const int64_t samples = rows * run.rowSamples;
    Sample* own = run.rowOfTarget(top);
    float* cacheRows = ctx.cacheImage && ctx.cacheImage->data ? ctx.cacheImage->floats() + top * run.rowSamples : nullptr;
    constexpr bool eightBit = std::is_same<Sample, uint8_t>::value;

    // The rows the tiles work on: a view of the target, or for 8-bit
    // samples through float bands a view of the scratch buffer holding them
    // as floats.
    ImageBuffer view;
    if (eightBit && segment.floatScratch) {
        float* work = scratch->floats();
        if (segment.restore) {
            std::memcpy(work, cacheRows, static_cast<size_t>(samples) * sizeof(float));
            roundToBytes(work, samples);  // the restore stores bytes
        } else {
            Samples<Sample>::storeRows(work, own, samples);
        }
        view.wrap(work, run.width, rows, target.channels);
    } else {
        if (segment.restore) Samples<Sample>::restoreRows(own, cacheRows, samples);
        view.wrap(own, run.width, rows, target.channels);
    }
    view.insetLeft = target.insetLeft;
    view.insetRight = target.insetRight;
    view.insetTop = target.insetTop;
    view.insetBottom = target.insetBottom;
    view.scale = target.scale;
    RenderRegion region = run.baseRegion;
    region.originY = run.baseRegion.originY + top;

    const size_t stepCount = segment.steps.size();
    for (size_t s = 0; s <= stepCount; ++s) {
        if (static_cast<int32_t>(s) == segment.storeAt) {
            // Float bands hold the bytes exactly (rounded after every tile).
            if (eightBit && segment.floatScratch)
                std::memcpy(cacheRows, view.floats(), static_cast<size_t>(samples) * sizeof(float));
            else
                Samples<Sample>::storeRows(cacheRows, own, samples);
        }
        if (s == stepCount) break;
        FusedStep& step = segment.steps[s];
        if (step.check && !mayStart(ctx, segment, s)) break;
        RenderArgs args;
        args.region = &region;
        args.selector = step.selector;
        args.requestValue = ctx.requestValue;
        args.pass = 0;
        if (eightBit && segment.floatScratch) {
            step.mod->processFloat(view, &args);
            roundToBytes(view.floats(), samples);  // the store as bytes between tiles
        } else {
            Samples<Sample>::process(*step.mod, view, &args);
        }
    }
    if (eightBit && segment.floatScratch) Samples<Sample>::fromFloat(own, view.floats(), samples);
}

// Runs a segment over the whole target. Returns the index of the step whose
// cancel check stopped it, or -1 when every step ran.
template <class Sample>
int32_t runSegment(Run<Sample>& run, Segment& segment) {
    RenderContext& ctx = *run.ctx;
    if (segment.restore) copyInsetsAndScale(*run.target, *ctx.cacheImage);
    const int32_t bands = segment.bandCount;
    const int32_t tasks = segment.taskCount;
    parallelFor(tasks, ctx.priority, [&run, &segment, bands, tasks](int32_t task) {
        const int32_t firstBand = static_cast<int32_t>(static_cast<int64_t>(bands) * task / tasks);
        const int32_t endBand = static_cast<int32_t>(static_cast<int64_t>(bands) * (task + 1) / tasks);
        std::unique_ptr<ImageBuffer> scratch;
        if (segment.floatScratch) {
            const int32_t rows = static_cast<int32_t>(segment.bandRows);
            scratch = takeScratch(run, rows);
            if (!scratch) scratch = std::make_unique<ImageBuffer>();
            if (!scratch->data || scratch->width != run.width || scratch->height != rows ||
                scratch->channelCount() != run.channels) {
                if (!scratch->allocateFloat(run.width, rows, run.channels) || !scratch->data) {
                    returnScratch(run, std::move(scratch));
                    run.incomplete.store(true);  // out of memory: these rows keep their input
                    return;
                }
            }
        }
        for (int32_t b = firstBand; b < endBand; ++b) {
            const int64_t top = static_cast<int64_t>(b) * segment.bandRows;
            int64_t bottom = top + segment.bandRows;
            if (bottom > run.height) bottom = run.height;
            runSubBand(run, segment, static_cast<int32_t>(top), static_cast<int32_t>(bottom), scratch.get());
        }
        if (scratch) returnScratch(run, std::move(scratch));
    });
    if (segment.storeAt >= 0) {
        bool stored = true;
        for (int32_t s = 0; s < segment.storeAt; ++s)
            if (segment.decisions[s].load(std::memory_order_acquire) == kStop) stored = false;
        if (stored) copyInsetsAndScale(*ctx.cacheImage, *run.target);
    }
    for (size_t s = 0; s < segment.steps.size(); ++s)
        if (segment.decisions[s].load(std::memory_order_acquire) == kStop) return static_cast<int32_t>(s);
    return -1;
}

template <class Sample>
void runChain(RenderContext* ctx, ImageBuffer* image, ImageBuffer* dest) {
    if (!ctx) return;
    if (!image || image->width < 1 || image->height < 1 || !image->data) {
        markIdle(*ctx);
        return;
    }
    {
        MutexLocker guard(ctx->chainLock.get());
        ctx->cancelRequested = 0;
        ctx->failed = 0;
    }

    // Target: dest (a copy of image) when it is another buffer, else image.
    // The copy of the samples waits until the cache set-up below: when the
    // run restores the cache image, the restore fills every sample and the
    // copy would be thrown away.
    ImageBuffer* target = image;
    bool copyPending = false;
    if (dest && dest != image) {
        copyPending = prepareCopyTarget<Sample>(*dest, *image);
        target = dest;
        if (!target->data || target->width < 1 || target->height < 1) {
            markFailed(*ctx, ctx->pendingCacheIndex);  // out of memory for the copy
            return;
        }
    }

    Run<Sample> run;
    run.ctx = ctx;
    run.target = target;
    run.width = target->width;
    run.height = target->height;
    run.channels = target->channelCount();
    run.rowSamples = static_cast<int64_t>(run.width) * run.channels;

    // Geometry of the request.
    const RenderRegion* region = ctx->region;
    const int32_t fullWidth = region && region->fullWidth > 0 ? region->fullWidth : run.width;
    const int32_t fullHeight = region && region->fullHeight > 0 ? region->fullHeight : run.height;
    const float scale = region ? region->scale : target->scale;

    // Cache set-up.
    const int32_t count = ctx->mods.count;
    const int32_t pending = ctx->pendingCacheIndex;
    bool cacheReady = false;
    if (pending != -1) {
        ctx->cachedIndex = -1;
        if (!ctx->cacheImage) ctx->cacheImage = std::make_unique<ImageBuffer>();
        ImageBuffer& cache = *ctx->cacheImage;
        if (!cache.data || cache.width != run.width || cache.height != run.height ||
            cache.channelCount() != run.channels)
            cache.allocateFloat(run.width, run.height, run.channels);
        cache.insetLeft = target->insetLeft;
        cache.insetRight = target->insetRight;
        cache.insetTop = target->insetTop;
        cache.insetBottom = target->insetBottom;
        cache.scale = scale;
        cacheReady = cache.data != nullptr && pending >= 0 && pending < count;
    }
    // A cache point that does not fit this run (past the chain, no cache
    // image, or one of another size or channel count) is not restored: the
    // run computes every tile instead of copying foreign pixels.
    if (ctx->cachedIndex >= 0) {
        const ImageBuffer* cache = ctx->cacheImage.get();
        if (ctx->cachedIndex >= count || !cache || !cache->data || cache->width != run.width ||
            cache->height != run.height || cache->channelCount() != run.channels)
            ctx->cachedIndex = -1;
    }
    const int32_t cachedIndex = ctx->cachedIndex;
    if (copyPending) {
        if (cachedIndex >= 0)
            copyInsetsAndScale(*target, *image);
        else
            copyWhole<Sample>(*ctx, *target, *image, run.rowSamples);
    }

    // The margin of the tiles still to run.
    int32_t margin = 0;
    for (int32_t k = cachedIndex + 1; k < count; ++k) {
        const ImageMod* mod = ctx->mods[k];
        if (!mod || !mod->enabled) continue;
        const int32_t m = mod->marginFor(fullWidth, fullHeight, scale);
        if (m > margin) margin = m;
    }

    run.plan = planBands(run.height, parallelThreadCount(), margin, ctx->maxBandHeight,
                         Samples<Sample>::scratchMode(margin, *ctx));
    if (!setUpBands(run)) {
        markFailed(*ctx, pending);
        return;
    }

    bool cancelled = false;
    bool cacheStored = false;
    Segment segment;
    for (int32_t k = 0; k < count; ++k) {
        cancelled = cancelAsked(*ctx);
        if (cancelled) break;
        if (k < cachedIndex) continue;

        if (buildSegment(run, k, cachedIndex, pending, cacheReady, fullWidth, fullHeight, scale, segment)) {
            const int32_t stoppedAt = runSegment(run, segment);
            if (run.incomplete.load()) break;
            if (stoppedAt >= 0) {
                cancelled = true;
                break;
            }
            if (segment.storeAt >= 0) cacheStored = true;
            segment.steps.clear();  // the selector arrays go with their tiles
            k = segment.last;
            continue;
        }

        if (k == cachedIndex) {
            restoreWhole<Sample>(*ctx, *target, *ctx->cacheImage, run.rowSamples);
            continue;
        }

        ImageMod* mod = ctx->mods[k];
        if (mod && mod->enabled && mod->kind() != kSelectorMod) {
            std::unique_ptr<SelectorPointerArray> holder;
            ImageMod* selector = chooseSelector(precedingSelectors(ctx->mods, k), holder);
            const int32_t passes = mod->passCount();
            for (int32_t p = 0; p < passes; ++p) {
                if (!mod->canTile(p)) {
                    RenderArgs args;
                    args.region = ctx->region;
                    args.selector = selector;
                    args.requestValue = ctx->requestValue;
                    args.pass = p;
                    Samples<Sample>::process(*mod, *target, &args);
                    continue;
                }
                run.mod = mod;
                run.selector = selector;
                run.pass = p;
                if (run.plan.scratch) snapshotBoundaries(run);
                parallelFor(run.plan.bandCount, ctx->priority, [&run](int32_t i) { processBand(run, i); });
                if (run.incomplete.load()) break;
            }
            if (run.incomplete.load()) break;
        }
        if (k == pending && cacheReady) {
            storeWhole<Sample>(*ctx, *ctx->cacheImage, *target, run.rowSamples);
            cacheStored = true;
        }
    }

    if (run.incomplete.load()) {
        markFailed(*ctx, pending);
        return;
    }
    MutexLocker guard(ctx->chainLock.get());
    if (!cancelled) {
        if (pending != -1) ctx->cachedIndex = cacheStored ? pending : -1;
        ctx->done = 1;
    }
    ctx->idle = 1;
    ctx->cancelRequested = 0;
}

}  // namespace

void applyModChainParallel32(RenderContext* ctx, ImageBuffer* image, ImageBuffer* dest) {
    runChain<float>(ctx, image, dest);
}

void applyModChainParallel8(RenderContext* ctx, ImageBuffer* image, ImageBuffer* dest) {
    runChain<uint8_t>(ctx, image, dest);
}

void runRenderAsync(RenderContext* ctx) {
    if (!ctx) return;
    if (ctx->asyncImage)
        applyModChainParallel32(ctx, ctx->asyncImage, ctx->asyncDest);
    else if (ctx->asyncImage8)
        applyModChainParallel8(ctx, ctx->asyncImage8, ctx->asyncDest8);
    ctx->renderLock->unlock();
}
