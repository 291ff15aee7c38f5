#pragma once
// RenderContext: the render state of one view, thumbnail, tool-tip preview
// or saved image.
//
// A context keeps its own clones of the chain it last rendered and, when it
// was built with the cache flag, the image as it stood after the unchanged
// start of that chain (`cacheImage` after the tile at `cachedIndex`), so that
// an edit of a late tile does not recompute the tiles before it.
//
// render() takes a chain of tiles that the caller keeps owning, flattens
// it (compounds at full Amount are replaced by their sub-tiles), compares it
// with the clones of the last run to move the cache point, brings the clones
// up to date and runs the band-parallel pipeline (RenderPipeline.h) on them.
//
// Locks: `renderLock` is held for a whole run, so one context runs one
// render at a time; `chainLock` guards the clones, the cache indices set up
// by the front end and the run flags (`idle`, `done`, `cancelRequested`),
// and is never held while a tile runs, so cancelRender() can always take it.

#include <cstdint>
#include <memory>

#include "foundation/GrowArray.h"
#include "foundation/ImageBuffer.h"
#include "framework/RenderArgs.h"

class ImageMod;
class Mutex;

class RenderContext {
public:
    // useCache: 1 for views, preview thumbnails and the tool-tip preview (the
    // unchanged start of the chain is kept between runs), 0 for saving and
    // batch work (every run computes every tile).
    explicit RenderContext(int32_t useCache);
    ~RenderContext();
    RenderContext(const RenderContext&) = delete;
    RenderContext& operator=(const RenderContext&) = delete;
    RenderContext(RenderContext&&) = delete;
    RenderContext& operator=(RenderContext&&) = delete;

    uint8_t useCache;
    uint8_t asyncMode = 0;          // run on a worker thread (runRenderAsync); nothing sets it today
    int32_t maxBandHeight = 256;    // upper bound of a band's height when the chain needs a margin
    std::unique_ptr<ImageBuffer> cacheImage;  // float; the image after the tile at cachedIndex
    GrowArray<ImageMod*> mods;      // owned clones of the flattened chain
    int32_t cachedIndex = -1;       // tiles up to here need not run again; -1 none
    int32_t pendingCacheIndex = -1; // this run stores the cache right after this tile; -1 none
    int32_t requestTag = -1;        // stored from the request, not used by the pipeline
    int32_t requestValue = 0;       // handed to every tile unchanged
    RenderRegion* region = nullptr; // &regionCopy when the request carried a region, else null
    RenderRegion regionCopy;
    uint8_t idle = 1;               // no run in progress (under chainLock)
    uint8_t done = 0;               // the last run completed (under chainLock)
    uint8_t cancelRequested = 0;    // stop before the next tile (under chainLock)
    // The last run left part of the image unprocessed (a scratch buffer or
    // the destination could not be allocated): the run stopped, `done`
    // stays 0 and the image is not a finished render (under chainLock).
    uint8_t failed = 0;
    float priority = 0.5f;          // of the parallel loop and of an asynchronous worker
    uint8_t floatBands8 = 0;        // 8-bit pipeline: always run banded passes through float scratch
    // Working-set size of a sub-band when consecutive point tiles run fused
    // (RenderPipeline.h): small enough to stay in a core's own cache while
    // every tile of the run passes over it.
    int32_t fusedBandBytes = kDefaultFusedBandBytes;
    static constexpr int32_t kDefaultFusedBandBytes = 256 * 1024;

    // The request as the asynchronous worker reads it (not owned).
    ImageBuffer* asyncImage = nullptr;
    ImageBuffer* asyncDest = nullptr;
    ImageBuffer* asyncImage8 = nullptr;
    ImageBuffer* asyncDest8 = nullptr;

    std::unique_ptr<Mutex> chainLock;
    std::unique_ptr<Mutex> renderLock;

    // Tile-cache levels kept for tiles that cache per context; the pipeline
    // does not use them, reset() clears them.
    static constexpr int32_t kTileCacheLevels = 4;
    std::unique_ptr<ImageBuffer> tileCache[kTileCacheLevels];

    // Renders the chain (not taken over) over the float image: in place, or
    // into dest when dest is given and is not image (image is then left
    // untouched). tag is stored and otherwise unused (callers pass -1);
    // requestValue goes to every tile (callers pass 0); the region, when
    // given, is copied. Blocks while another render of this context runs.
    // Returns whether the whole image was rendered (lastRunSucceeded): false
    // after a cancel or a run that ran out of memory, whose image is no
    // picture and must not be shown or saved. In asynchronous mode the run
    // has not ended on return and the result is false; ask lastRunSucceeded
    // once it has.
    [[nodiscard]] bool render(const GrowArray<ImageMod*>& chain, ImageBuffer* image, ImageBuffer* dest, int32_t tag,
                              int32_t requestValue, const RenderRegion* requestRegion);
    // The same for 8-bit images, through the 8-bit pipeline.
    [[nodiscard]] bool render8(const GrowArray<ImageMod*>& chain, ImageBuffer* image, ImageBuffer* dest, int32_t tag,
                               int32_t requestValue, const RenderRegion* requestRegion);

    // The second half of render(): updates the clones and the cache point
    // under chainLock, then runs the float pipeline. Called by render() with
    // renderLock held; releases it when the run is over (in asynchronous mode
    // the worker releases it).
    bool runRequest(const GrowArray<ImageMod*>& chain, ImageBuffer* image, ImageBuffer* dest, int32_t tag);

    // Appends the tiles of list to out in order, replacing each compound that
    // is enabled, has an Amount (first var) of exactly 1 and has no selector
    // in front of it by its own sub-tiles, flattened the same way. Selectors
    // at the end of a flattened compound are left out: inside the compound
    // they limit nothing, and in the flat list they would limit the tile
    // after the compound.
    static void flattenChain(const GrowArray<ImageMod*>& list, GrowArray<ImageMod*>& out);

    // Whether the last run rendered the whole image: done, neither cancelled
    // nor failed. Reads the flags under chainLock.
    bool lastRunSucceeded() const;

    // Drops the cache: the cached image, the tile-cache levels and the cache
    // point. Waits for a run in progress.
    void reset();

    // Stops a run in progress before its next tile and waits until the run
    // has ended (the preview thumbnails' cancel). Returns at once when no
    // run is in progress. Never call it from a tile of this context's run.
    void cancelRender();

private:
    void storeRequest(ImageBuffer* image, ImageBuffer* dest, ImageBuffer* image8, ImageBuffer* dest8,
                      int32_t value, const RenderRegion* requestRegion);
    // Flattens the chain, moves the cache point and rebuilds the clones;
    // width and height are the request image's.
    void prepareChain(const GrowArray<ImageMod*>& chain, int32_t width, int32_t height, int32_t channelCount,
                      int32_t tag);
    // Runs the stored request; returns whether it rendered the whole image
    // (false at once in asynchronous mode).
    bool launch(bool eightBit, ImageBuffer* image, ImageBuffer* dest);
};
