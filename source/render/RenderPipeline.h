#pragma once
// The band-parallel render pipeline.
//
// A run applies a context's flat chain of tile clones (RenderContext::mods)
// to one image, tile after tile and pass after pass. A pass that the tile
// lets run on bands (canTile) is split into horizontal bands that run at the
// same time through parallelFor; the walk goes on only when every band of
// the pass is done. Other passes run once over the whole image.
//
// Without a margin the bands are views into the image and the tile works on
// its own rows directly. When some tile still to run needs rows of context
// above and below (marginFor > 0), every band works on a float scratch copy
// of its rows plus up to `margin` rows on each side, and only its own rows
// are written back. The margin rows are read as they stood when the pass
// began: the rows near each band boundary are copied aside before the bands
// start, and a band takes its margin rows from that copy, so it never sees a
// row that a neighbour has already written back.
//
// Selectors (kind 4) never run; the enabled selectors directly in front of a
// tile reach it through RenderArgs::selector. The context's cache point
// (pendingCacheIndex / cachedIndex / cacheImage) lets a run start after the
// unchanged tiles of the last one. A cancel request is honoured between
// tiles; a tile that has started finishes all its passes.
//
// Fused runs: two or more consecutive tiles of one banded pass without a
// margin of their own (point tiles; disabled tiles and selectors between
// them do not count), with the cache restore before them or the cache store
// among them, are done sub-band by sub-band: each task takes a few rows
// (RenderContext::fusedBandBytes of working samples) and runs every tile of
// the run on them while they are in the core's cache, instead of one sweep
// over the image per tile. Each pixel meets the same tiles in the same order
// with the same arithmetic, so the pixels are those of the tile-by-tile
// walk. The restore, the store and the cancel check stay at their tile
// boundaries: every sub-band restores first and stores right after the tile
// at the cache point; the cancel check before a tile is made once for the
// whole image by the first sub-band that reaches it, and all sub-bands
// follow its answer, so a tile starts everywhere or nowhere. The 8-bit
// pipeline through float bands rounds each tile's result as its byte store
// would. Whole-image copies of the cache image run on all threads.
//
// A run that cannot get the memory it works in (a band's scratch buffer,
// the rows kept aside at band boundaries, the copy into dest) would leave
// rows unprocessed: it stops there and ends failed (RenderContext::failed
// set, `done` left 0, no cache point taken from it), so that no caller
// takes a partly rendered image for a finished one.

#include <cstdint>

class ImageBuffer;
class RenderContext;

// Runs the context's chain over a float image: in place, or into dest when
// dest is given and is not image (image is first copied into it and then
// left untouched). Called with renderLock held and chainLock free.
void applyModChainParallel32(RenderContext* ctx, ImageBuffer* image, ImageBuffer* dest);
// The same for 8-bit images. The cache image stays float. Passes with a
// margin (or every banded pass when ctx->floatBands8 is set) run the tile's
// float body on float scratch bands and store the results clamped and
// truncated; the other passes run the tile's 8-bit body.
void applyModChainParallel8(RenderContext* ctx, ImageBuffer* image, ImageBuffer* dest);
// The asynchronous worker's body: renders the context's stored float request
// (or, without one, its 8-bit request), then releases renderLock.
void runRenderAsync(RenderContext* ctx);

// How an image of `height` rows is cut into bands.
//   scratch (a margin is needed, or the 8-bit pipeline was asked for float
//   bands): band height B = max(3 margin, min(maxBandHeight, height / threads))
//   and ceil(height / B) bands; a B below 1 (no margin and fewer rows than
//   threads, or a band limit below 1) gives one band of the whole image.
//   no scratch: B = height / threads (integer division) and `threads` bands;
//   the last band takes the rows left over, so with fewer rows than threads
//   all bands but the last are empty.
// threads below 1 count as 1; the margin is clamped to 0..height (a margin
// of the whole height already gives a single band).
struct BandPlan {
    int32_t margin = 0;      // clamped margin
    int64_t bandHeight = 0;  // B
    int32_t bandCount = 0;   // N
    bool scratch = false;
};
BandPlan planBands(int32_t height, int32_t threads, int32_t margin, int32_t maxBandHeight, bool scratch);

// The rows of band `index` of a plan: the view covers [viewTop, viewBottom);
// the band's own rows are [viewTop + overlapAbove, viewBottom - overlapBelow).
struct BandRows {
    int32_t viewTop = 0;
    int32_t viewBottom = 0;
    int32_t overlapAbove = 0;
    int32_t overlapBelow = 0;
};
BandRows bandRows(const BandPlan& plan, int32_t index, int32_t height);
