#pragma once
// Helpers shared by the render tests: a guard that restores the parallel
// loop's thread count, and reference renders that run a chain over the
// whole image without bands.

#include <memory>

#include "foundation/GrowArray.h"
#include "foundation/ImageBuffer.h"
#include "framework/ImageMod.h"
#include "framework/ModListHelpers.h"
#include "framework/SelectorMod.h"
#include "platform/ParallelFor.h"

namespace rendertest {

// Restores the machine's thread count when the test ends.
struct ThreadCountGuard {
    ThreadCountGuard() = default;
    ~ThreadCountGuard() { setParallelThreadCount(0); }
    ThreadCountGuard(const ThreadCountGuard&) = delete;
    ThreadCountGuard& operator=(const ThreadCountGuard&) = delete;
};

// Every enabled tile of the chain that is not a selector, every pass, over
// the whole image, with the selectors in front of it.
template <class Process>
void forEachPass(const GrowArray<ImageMod*>& chain, RenderRegion* region, Process process) {
    for (int32_t k = 0; k < chain.count; ++k) {
        ImageMod* mod = chain[k];
        if (!mod->enabled || mod->kind() == kSelectorMod) continue;
        std::unique_ptr<SelectorPointerArray> holder;
        ImageMod* selector = chooseSelector(precedingSelectors(chain, k), holder);
        for (int32_t p = 0; p < mod->passCount(); ++p) {
            RenderArgs args;
            args.region = region;
            args.selector = selector;
            args.pass = p;
            process(*mod, args);
        }
    }
}

inline void renderWholeFloat(const GrowArray<ImageMod*>& chain, ImageBuffer& image, RenderRegion* region = nullptr) {
    forEachPass(chain, region, [&](ImageMod& mod, const RenderArgs& args) { mod.processFloat(image, &args); });
}

// 8-bit reference of a chain that runs through float scratch bands: each
// pass on a float copy, stored back clamped and truncated.
inline void renderWhole8ThroughFloat(const GrowArray<ImageMod*>& chain, ImageBuffer& image8) {
    forEachPass(chain, nullptr, [&](ImageMod& mod, const RenderArgs& args) {
        ImageBuffer floats;
        ImageBuffer::copyFloatFrom8(floats, image8, true);
        mod.processFloat(floats, &args);
        ImageBuffer::copy8FromFloat(image8, floats, true);
    });
}

// 8-bit reference of a chain without margins: the 8-bit bodies.
inline void renderWhole8(const GrowArray<ImageMod*>& chain, ImageBuffer& image8) {
    forEachPass(chain, nullptr, [&](ImageMod& mod, const RenderArgs& args) { mod.process8(image8, &args); });
}

// A chain that owns its tiles for the length of a test.
struct OwnedChain : OwnedTiles {
    template <class T>
    T* add(T* mod) {
        list.append(mod);
        return mod;
    }
};

}  // namespace rendertest
