#include "render/RenderContext.h"

#include <chrono>
#include <thread>

#include "foundation/Mutex.h"
#include "foundation/WorkerThread.h"
#include "framework/CompoundFilter.h"
#include "framework/ImageMod.h"
#include "framework/ModListHelpers.h"
#include "render/RenderPipeline.h"

namespace {

// The worker-thread entry of an asynchronous render.
void runRenderAsyncThread(void* context) {
    runRenderAsync(static_cast<RenderContext*>(context));
}

// The last border tile (kind 1) of a list, or null.
const ImageMod* lastBorder(const GrowArray<ImageMod*>& list) {
    for (int32_t i = list.count - 1; i >= 0; --i)
        if (list[i] && list[i]->kind() == kBorderMod) return list[i];
    return nullptr;
}

// A compound whose tiles may stand in the flat chain in its place: enabled,
// Amount exactly 1 (a smaller Amount blends its result with its input) and
// no selector in front of it (the selector must limit the compound as one).
bool flattens(const GrowArray<ImageMod*>& list, int32_t index) {
    const ImageMod* mod = list[index];
    if (mod->kind() != kCompoundMod || !mod->enabled) return false;
    const ModVar* amount = mod->var(0);
    const FloatValue* value = amount ? amount->floatValue() : nullptr;
    if (!value || value->value != 1.0f) return false;
    return precedingSelectors(list, index).count == 0;
}

}  // namespace

RenderContext::RenderContext(int32_t cacheFlag)
    : useCache(cacheFlag != 0 ? 1 : 0), chainLock(std::make_unique<Mutex>()), renderLock(std::make_unique<Mutex>()) {}

RenderContext::~RenderContext() {
    for (int32_t i = 0; i < mods.count; ++i) delete mods[i];
    mods.destroy();
}

void RenderContext::storeRequest(ImageBuffer* image, ImageBuffer* dest, ImageBuffer* image8, ImageBuffer* dest8,
                                 int32_t value, const RenderRegion* requestRegion) {
    asyncImage = image;
    asyncDest = dest;
    asyncImage8 = image8;
    asyncDest8 = dest8;
    requestValue = value;
    if (requestRegion) {
        regionCopy = *requestRegion;
        region = &regionCopy;
    } else {
        region = nullptr;
    }
}

bool RenderContext::render(const GrowArray<ImageMod*>& chain, ImageBuffer* image, ImageBuffer* dest, int32_t tag,
                           int32_t value, const RenderRegion* requestRegion) {
    renderLock->lock();
    storeRequest(image, dest, nullptr, nullptr, value, requestRegion);
    return runRequest(chain, image, dest, tag);
}

bool RenderContext::render8(const GrowArray<ImageMod*>& chain, ImageBuffer* image, ImageBuffer* dest, int32_t tag,
                            int32_t value, const RenderRegion* requestRegion) {
    renderLock->lock();
    storeRequest(nullptr, nullptr, image, dest, value, requestRegion);
    prepareChain(chain, image ? image->width : 0, image ? image->height : 0, image ? image->channelCount() : 3, tag);
    return launch(true, image, dest);
}

bool RenderContext::runRequest(const GrowArray<ImageMod*>& chain, ImageBuffer* image, ImageBuffer* dest,
                               int32_t tag) {
    prepareChain(chain, image ? image->width : 0, image ? image->height : 0, image ? image->channelCount() : 3, tag);
    return launch(false, image, dest);
}

void RenderContext::prepareChain(const GrowArray<ImageMod*>& chain, int32_t width, int32_t height,
                                 int32_t channelCount, int32_t tag) {
    MutexLocker guard(chainLock.get());
    requestTag = tag;
    pendingCacheIndex = -1;
    idle = 0;
    done = 0;
    failed = 0;

    GrowArray<ImageMod*> flat;
    flattenChain(chain, flat);

    if (!useCache) {
        cachedIndex = -1;
    } else {
        // k: the last index up to which the new chain equals the clones.
        const int32_t common = flat.count < mods.count ? flat.count : mods.count;
        int32_t same = 0;
        while (same < common && mods[same] && flat[same]->equals(*mods[same])) ++same;
        const int32_t k = same - 1;
        if (k < 0) {
            if (cachedIndex >= 0) cachedIndex = -1;
        } else if (k != cachedIndex) {
            if (k < flat.count - 1) pendingCacheIndex = k;
            if (k < cachedIndex) cachedIndex = -1;
        }
        // A border changes the geometry of everything after the cache point.
        const ImageMod* newBorder = lastBorder(flat);
        const ImageMod* oldBorder = lastBorder(mods);
        if ((newBorder == nullptr) != (oldBorder == nullptr) ||
            (newBorder && oldBorder && !newBorder->equals(*oldBorder)))
            cachedIndex = -1;
        // A cache of another size is of no use.
        if (!cacheImage || cacheImage->width != width || cacheImage->height != height) {
            cachedIndex = -1;
            if (cacheImage) {
                cacheImage->allocateFloat(width, height, channelCount);
                if (cacheImage->data && cacheImage->channelCount() == 4) {
                    float* samples = cacheImage->floats();
                    const int64_t pixels = static_cast<int64_t>(cacheImage->width) * cacheImage->height;
                    for (int64_t p = 0; p < pixels; ++p) samples[p * 4 + 3] = 255.0f;
                }
            }
        }
    }

    // Rebuild the clones: an old clone equal to a tile is reused (the first
    // one left), any other tile is cloned; each then takes the tile's state.
    GrowArray<ImageMod*> old = std::move(mods);
    mods = GrowArray<ImageMod*>();
    for (int32_t i = 0; i < flat.count; ++i) {
        ImageMod* tile = flat[i];
        ImageMod* clone = nullptr;
        for (int32_t j = 0; j < old.count; ++j) {
            if (old[j] && tile->equals(*old[j])) {
                clone = old[j];
                old.removeAt(j);
                break;
            }
        }
        if (!clone) clone = tile->clone();
        if (!clone) continue;
        clone->copyFrom(*tile);
        mods.append(clone);
    }
    for (int32_t j = 0; j < old.count; ++j) delete old[j];
}

bool RenderContext::launch(bool eightBit, ImageBuffer* image, ImageBuffer* dest) {
    if (asyncMode) {
        // The worker renders the stored request and releases renderLock.
        startWorkerThread(runRenderAsyncThread, this, priority);
        return false;
    }
    if (eightBit)
        applyModChainParallel8(this, image, dest);
    else
        applyModChainParallel32(this, image, dest);
    // Read before the lock is given back: the next run resets the flags.
    const bool succeeded = lastRunSucceeded();
    renderLock->unlock();
    return succeeded;
}

void RenderContext::flattenChain(const GrowArray<ImageMod*>& list, GrowArray<ImageMod*>& out) {
    for (int32_t i = 0; i < list.count; ++i) {
        ImageMod* mod = list[i];
        if (!mod) continue;
        if (!flattens(list, i)) {
            out.append(mod);
            continue;
        }
        const CompoundFilter* compound = dynamic_cast<const CompoundFilter*>(mod);
        if (!compound) {
            out.append(mod);
            continue;
        }
        const int32_t start = out.count;
        flattenChain(compound->subMods, out);
        // Selectors at the end of the compound govern nothing inside it; in
        // the flat chain they would limit the tile after the compound.
        while (out.count > start && out[out.count - 1]->kind() == kSelectorMod) --out.count;
    }
}

bool RenderContext::lastRunSucceeded() const {
    MutexLocker guard(chainLock.get());
    return done != 0 && failed == 0;
}

void RenderContext::reset() {
    MutexLocker guard(renderLock.get());
    cacheImage.reset();
    for (auto& level : tileCache) level.reset();
    cachedIndex = -1;
}

void RenderContext::cancelRender() {
    {
        // The test and the request under one hold of the lock: a run that
        // ends in between must not be marked not done, nor leave a request
        // behind for the next run.
        MutexLocker guard(chainLock.get());
        if (idle) return;
        done = 0;
        cancelRequested = 1;
    }
    for (;;) {
        {
            MutexLocker guard(chainLock.get());
            if (idle) return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
