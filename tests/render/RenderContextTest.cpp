// The render front end: clones, the cache point across runs, flattening,
// cancellation and reset.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "RenderFixtures.h"
#include "foundation/Mutex.h"
#include "framework/CompoundFilter.h"
#include "render/RenderContext.h"
#include "render/RenderPipeline.h"
#include "support/ImageBuilders.h"
#include "support/TestTiles.h"

using namespace rendertest;
using testimages::floatsIdentical;

namespace {

CompoundFilter* makeCompound(float amount, std::initializer_list<ImageMod*> tiles) {
    CompoundFilter* compound = new CompoundFilter(GrowString("Nest"));
    compound->floatAt(0)->value = amount;
    for (ImageMod* tile : tiles) compound->subMods.append(tile);
    return compound;
}

void setAmount(ImageMod* mod, float value) {
    mod->floatAt(0)->value = value;
}

// Three counting tiles A (+1), B (+2), C (+3) and a context with the cache.
struct CacheChain {
    OwnedChain chain;
    CountingTile* a = chain.add(new CountingTile(1.0f));
    CountingTile* b = chain.add(new CountingTile(2.0f));
    CountingTile* c = chain.add(new CountingTile(3.0f));
    RenderContext ctx{1};
    ImageBuffer input = testimages::filledFloatImage(4, 30, {10.0f, 20.0f, 30.0f});

    // Renders a fresh copy of the input; returns its first sample.
    float render(ImageBuffer* source = nullptr) {
        ImageBuffer image = testimages::duplicateFloat(source ? *source : input);
        EXPECT_TRUE(ctx.render(chain.list, &image, nullptr, -1, 0, nullptr));
        return image.floats()[0];
    }
    // Calls of A, B and C since the last look.
    std::vector<int32_t> ran() {
        std::vector<int32_t> out = {a->callCount() - seenA, b->callCount() - seenB, c->callCount() - seenC};
        seenA = a->callCount();
        seenB = b->callCount();
        seenC = c->callCount();
        for (int32_t& n : out) n = n > 0 ? 1 : 0;
        return out;
    }
    int32_t seenA = 0, seenB = 0, seenC = 0;
};

using Ran = std::vector<int32_t>;

// Editing the last tile sets a cache point after the tile before it; the
// runs after that start from the cache and run only the last tile.
TEST(RenderCache, EditingTheLastTileSkipsTheTilesBefore) {
    CacheChain t;
    EXPECT_EQ(16.0f, t.render());  // first run: everything
    EXPECT_EQ((Ran{1, 1, 1}), t.ran());
    EXPECT_EQ(-1, t.ctx.cachedIndex);

    EXPECT_EQ(16.0f, t.render());  // unchanged chain: no cache point to move to
    EXPECT_EQ((Ran{1, 1, 1}), t.ran());

    setAmount(t.c, 4.0f);  // first edit of C: computes all, keeps the image after B
    EXPECT_EQ(17.0f, t.render());
    EXPECT_EQ((Ran{1, 1, 1}), t.ran());
    EXPECT_EQ(1, t.ctx.cachedIndex);

    setAmount(t.c, 5.0f);  // later edits of C: only C runs
    EXPECT_EQ(18.0f, t.render());
    EXPECT_EQ((Ran{0, 0, 1}), t.ran());
    setAmount(t.c, -3.0f);
    EXPECT_EQ(10.0f, t.render());
    EXPECT_EQ((Ran{0, 0, 1}), t.ran());
    EXPECT_EQ(1, t.ctx.cachedIndex);

    setAmount(t.b, 7.0f);  // an edit before the cache point drops it
    EXPECT_EQ(15.0f, t.render());
    EXPECT_EQ((Ran{1, 1, 1}), t.ran());
    EXPECT_EQ(0, t.ctx.cachedIndex);  // the unchanged start is now A alone
    setAmount(t.b, 8.0f);
    EXPECT_EQ(16.0f, t.render());
    EXPECT_EQ((Ran{0, 1, 1}), t.ran());

    setAmount(t.a, 0.0f);  // the first tile changed: no cache
    EXPECT_EQ(15.0f, t.render());
    EXPECT_EQ((Ran{1, 1, 1}), t.ran());
    EXPECT_EQ(-1, t.ctx.cachedIndex);
}

// A chain that ends at the cache point is restored from the cache without
// running anything; one that ends before it drops the cache.
TEST(RenderCache, ShrinkingChain) {
    CacheChain t;
    t.render();
    setAmount(t.c, 4.0f);
    t.render();
    t.ran();
    ASSERT_EQ(1, t.ctx.cachedIndex);
    t.chain.list.removeAt(2);  // [A, B]
    EXPECT_EQ(13.0f, t.render());
    EXPECT_EQ((Ran{0, 0, 0}), t.ran());
    t.chain.list.removeAt(1);  // [A]
    EXPECT_EQ(11.0f, t.render());
    EXPECT_EQ((Ran{1, 0, 0}), t.ran());
    EXPECT_EQ(-1, t.ctx.cachedIndex);
    t.chain.list.append(t.b);  // keep ownership for clean-up
    t.chain.list.append(t.c);
}

TEST(RenderCache, SizeChangeDropsTheCache) {
    CacheChain t;
    t.render();
    setAmount(t.c, 4.0f);
    t.render();
    setAmount(t.c, 5.0f);
    t.render();
    t.ran();
    ASSERT_EQ(1, t.ctx.cachedIndex);
    ImageBuffer bigger = testimages::filledFloatImage(5, 30, {1.0f, 1.0f, 1.0f});
    EXPECT_EQ(9.0f, t.render(&bigger));
    EXPECT_EQ((Ran{1, 1, 1}), t.ran());
    EXPECT_EQ(-1, t.ctx.cachedIndex);
    ASSERT_TRUE(t.ctx.cacheImage);
    EXPECT_EQ(5, t.ctx.cacheImage->width);  // reallocated at the new size
}

TEST(RenderCache, BorderChangeDropsTheCache) {
    CacheChain t;
    WidthBorderTile* border = t.chain.add(new WidthBorderTile(10.0f));
    t.render();
    setAmount(t.c, 4.0f);
    t.render();
    setAmount(t.c, 5.0f);
    t.render();
    t.ran();
    ASSERT_EQ(1, t.ctx.cachedIndex);
    setAmount(border, 20.0f);  // A, B and C rerun; the new cache point is after C
    t.render();
    EXPECT_EQ((Ran{1, 1, 1}), t.ran());
    EXPECT_EQ(2, t.ctx.cachedIndex);

    // A border that appears (or disappears) drops it too.
    setAmount(t.c, 6.0f);
    t.render();
    setAmount(t.c, 7.0f);
    t.render();
    t.ran();
    ASSERT_EQ(1, t.ctx.cachedIndex);
    t.chain.list.removeAt(3);
    delete border;
    t.render();
    EXPECT_EQ((Ran{1, 1, 1}), t.ran());
}

TEST(RenderCache, SavingContextNeverCaches) {
    CacheChain t;
    RenderContext saving(0);
    for (float amount : {4.0f, 5.0f, 6.0f}) {
        setAmount(t.c, amount);
        ImageBuffer image = testimages::duplicateFloat(t.input);
        EXPECT_TRUE(saving.render(t.chain.list, &image, nullptr, -1, 0, nullptr));
        EXPECT_EQ(13.0f + amount, image.floats()[0]);
        EXPECT_EQ((Ran{1, 1, 1}), t.ran());
        EXPECT_EQ(-1, saving.cachedIndex);
        EXPECT_FALSE(saving.cacheImage);
    }
}

// The cache point may fall on a disabled tile; it is stored there all the same.
TEST(RenderCache, CachePointOnADisabledTile) {
    CacheChain t;
    t.b->enabled = 0;
    t.render();
    setAmount(t.c, 4.0f);
    EXPECT_EQ(15.0f, t.render());
    EXPECT_EQ(1, t.ctx.cachedIndex);
    t.ran();
    setAmount(t.c, 5.0f);
    EXPECT_EQ(16.0f, t.render());
    EXPECT_EQ((Ran{0, 0, 1}), t.ran());
}

// The cache into a separate dest, and in the 8-bit pipeline (the cache
// stays float and is restored truncated).
TEST(RenderCache, DestAndEightBit) {
    CacheChain t;
    ImageBuffer dest;
    for (float amount : {4.0f, 5.0f, 6.0f}) {
        setAmount(t.c, amount);
        ImageBuffer image = testimages::duplicateFloat(t.input);
        EXPECT_TRUE(t.ctx.render(t.chain.list, &image, &dest, -1, 0, nullptr));
        EXPECT_TRUE(floatsIdentical(t.input, image));
        EXPECT_EQ(13.0f + amount, dest.floats()[0]);
    }
    EXPECT_EQ((Ran{1, 1, 1}), t.ran());  // the last run restored the cache

    RenderContext ctx8(1);
    setAmount(t.a, 0.7f);
    const ImageBuffer bytes = testimages::filledByteImage(2, 9, {10, 20, 30});
    for (float amount : {1.0f, 2.0f, 3.0f}) {
        setAmount(t.c, amount);
        ImageBuffer image = testimages::duplicateBytes(bytes);
        EXPECT_TRUE(ctx8.render8(t.chain.list, &image, nullptr, -1, 0, nullptr));
        EXPECT_EQ(static_cast<uint8_t>(12 + static_cast<int>(amount)), image.bytes()[0]);
    }
    EXPECT_EQ(1, ctx8.cachedIndex);
}

// Clones: built on the first run, reused while equal, carrying the tiles'
// state; a changed tile gets a fresh clone, and clones not taken over go.
TEST(RenderContextFront, ClonesAreReusedWhileEqual) {
    CacheChain t;
    t.render();
    ASSERT_EQ(3, t.ctx.mods.count);
    ImageMod* firstClones[3] = {t.ctx.mods[0], t.ctx.mods[1], t.ctx.mods[2]};
    for (int32_t i = 0; i < 3; ++i) {
        EXPECT_NE(t.chain.list[i], t.ctx.mods[i]);
        EXPECT_TRUE(t.chain.list[i]->equals(*t.ctx.mods[i]));
    }
    t.render();
    for (int32_t i = 0; i < 3; ++i) EXPECT_EQ(firstClones[i], t.ctx.mods[i]);

    setAmount(t.b, 9.0f);
    t.render();
    EXPECT_EQ(firstClones[0], t.ctx.mods[0]);
    EXPECT_EQ(firstClones[2], t.ctx.mods[2]);
    EXPECT_TRUE(t.b->equals(*t.ctx.mods[1]));

    // Tiles that swap places keep their clones.
    std::swap(t.chain.list[0], t.chain.list[2]);
    t.render();
    EXPECT_EQ(firstClones[2], t.ctx.mods[0]);
    EXPECT_EQ(firstClones[0], t.ctx.mods[2]);
}

// The region is copied into the context; without one the context has none.
TEST(RenderContextFront, RegionIsCopied) {
    CacheChain t;
    RenderRegion region;
    region.fullWidth = 77;
    ImageBuffer image = testimages::duplicateFloat(t.input);
    EXPECT_TRUE(t.ctx.render(t.chain.list, &image, nullptr, -1, 5, &region));
    ASSERT_EQ(&t.ctx.regionCopy, t.ctx.region);
    EXPECT_EQ(77, t.ctx.region->fullWidth);
    EXPECT_EQ(5, t.ctx.requestValue);
    EXPECT_EQ(-1, t.ctx.requestTag);
    EXPECT_TRUE(t.ctx.render(t.chain.list, &image, nullptr, -1, 0, nullptr));
    EXPECT_EQ(nullptr, t.ctx.region);
    EXPECT_EQ(1, t.ctx.done);
    EXPECT_EQ(1, t.ctx.idle);
}

TEST(RenderContextFront, ResetDropsTheCache) {
    CacheChain t;
    t.render();
    setAmount(t.c, 4.0f);
    t.render();
    ASSERT_EQ(1, t.ctx.cachedIndex);
    t.ctx.reset();
    EXPECT_EQ(-1, t.ctx.cachedIndex);
    EXPECT_FALSE(t.ctx.cacheImage);
    t.ran();
    setAmount(t.c, 5.0f);
    EXPECT_EQ(18.0f, t.render());
    EXPECT_EQ((Ran{1, 1, 1}), t.ran());
}

// A cancel request while a tile runs: that tile finishes, the next one does
// not start, the run ends not done, idle, with the flag cleared, and no
// cache point is kept.
TEST(RenderContextFront, CancelBetweenTiles) {
    RenderContext ctx(1);
    std::atomic<bool> started{false};
    OwnedChain chain;
    CountingTile* first = chain.add(new CountingTile(1.0f));
    chain.add(new HookTile(
        [&](ImageBuffer& image, const RenderArgs*, bool) {
            started = true;
            // Wait until the canceller has asked; the tile then finishes.
            for (;;) {
                bool asked;
                {
                    MutexLocker hold(ctx.chainLock.get());
                    asked = ctx.cancelRequested != 0;
                }
                if (asked) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            for (int64_t i = 0; i < image.sampleCount(); ++i) image.floats()[i] += 100.0f;
        },
        false));
    CountingTile* last = chain.add(new CountingTile(1000.0f));

    // A run of the first tile alone, so that the cancelled run is to store
    // a cache point after it.
    ImageBuffer warmUp = testimages::filledFloatImage(3, 8, {0.0f, 0.0f, 0.0f});
    ctx.cancelRender();  // idle: returns at once
    {
        GrowArray<ImageMod*> start;
        start.append(first);
        EXPECT_TRUE(ctx.render(start, &warmUp, nullptr, -1, 0, nullptr));
    }
    ImageBuffer image = testimages::filledFloatImage(3, 8, {0.0f, 0.0f, 0.0f});
    std::thread worker([&] { EXPECT_FALSE(ctx.render(chain.list, &image, nullptr, -1, 0, nullptr)); });
    while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ctx.cancelRender();  // returns only when the run is idle
    worker.join();
    EXPECT_EQ(0, last->callCount());
    EXPECT_EQ(101.0f, image.floats()[0]);
    MutexLocker hold(ctx.chainLock.get());
    EXPECT_EQ(0, ctx.done);
    EXPECT_EQ(1, ctx.idle);
    EXPECT_EQ(0, ctx.cancelRequested);
    EXPECT_EQ(-1, ctx.cachedIndex);
}

// A cancel flag left over from before a run is cleared by it.
TEST(RenderContextFront, StaleCancelFlagIsCleared) {
    CacheChain t;
    t.ctx.cancelRequested = 1;
    EXPECT_EQ(16.0f, t.render());
    EXPECT_EQ(1, t.ctx.done);
    EXPECT_EQ(0, t.ctx.cancelRequested);
}

// ---- flattenChain ----

TEST(FlattenChain, Cases) {
    OwnedChain owned;
    auto tile = [&](float amount) { return owned.add(new CountingTile(amount)); };
    auto selector = [&](bool enabled) {
        ColumnSelector* s = owned.add(new ColumnSelector(0));
        s->enabled = enabled ? 1 : 0;
        return s;
    };
    auto compound = [&](float amount, std::initializer_list<ImageMod*> tiles) {
        // The compound does not own the test's tiles: they are taken out
        // again before it is deleted.
        CompoundFilter* c = makeCompound(amount, tiles);
        owned.list.insertAt(0, c);
        return c;
    };
    struct Case {
        const char* name;
        GrowArray<ImageMod*> input;
        std::vector<ImageMod*> expected;
    };
    std::vector<Case> cases;
    auto add = [&](const char* name, std::initializer_list<ImageMod*> input, std::vector<ImageMod*> expected) {
        Case c{name, {}, expected};
        for (ImageMod* m : input) c.input.append(m);
        cases.push_back(std::move(c));
    };
    ImageMod* A = tile(1);
    ImageMod* B = tile(2);
    ImageMod* C = tile(3);
    ImageMod* S1 = selector(true);
    ImageMod* S2 = selector(true);
    ImageMod* SOff = selector(false);

    CompoundFilter* full = compound(1.0f, {A, B});
    add("full compound", {full, C}, {A, B, C});
    CompoundFilter* half = compound(0.5f, {A, B});
    add("blended compound stays", {half, C}, {half, C});
    CompoundFilter* off = compound(1.0f, {A, B});
    off->enabled = 0;
    add("disabled compound stays", {off}, {off});
    add("compound behind a selector stays", {S1, full}, {S1, full});
    add("a disabled selector does not count", {SOff, full}, {SOff, A, B});
    CompoundFilter* trailing = compound(1.0f, {A, S1});
    add("trailing selector dropped", {trailing, B}, {A, B});
    CompoundFilter* trailingTwo = compound(1.0f, {A, S1, SOff, S2});
    add("trailing run dropped", {trailingTwo, B}, {A, B});
    CompoundFilter* leading = compound(1.0f, {S1, A});
    add("leading selector kept", {leading, B}, {S1, A, B});
    CompoundFilter* inner = compound(1.0f, {B, S2});
    CompoundFilter* outer = compound(1.0f, {A, inner});
    add("nested, inner trailing selector", {outer, C}, {A, B, C});
    CompoundFilter* onlySelectors = compound(1.0f, {S1, S2});
    add("a compound of selectors only", {onlySelectors, C}, {C});
    CompoundFilter* guarded = compound(1.0f, {B});
    CompoundFilter* holder = compound(1.0f, {A, S2, guarded});
    add("nested compound behind an inner selector", {holder}, {A, S2, guarded});

    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        GrowArray<ImageMod*> flat;
        RenderContext::flattenChain(c.input, flat);
        ASSERT_EQ(static_cast<int32_t>(c.expected.size()), flat.count);
        for (int32_t i = 0; i < flat.count; ++i) EXPECT_EQ(c.expected[static_cast<size_t>(i)], flat[i]) << i;
    }
    // Give the shared tiles back to the test before the compounds go.
    for (ImageMod* m : owned.list)
        if (auto* c = dynamic_cast<CompoundFilter*>(m)) c->subMods.count = 0;
}

// A compound whose last tile is a selector renders the tile after it as the
// compound does: without a selector.
TEST(FlattenChain, TrailingSelectorDoesNotLimitTheNextTile) {
    OwnedChain chain;
    chain.add(makeCompound(1.0f, {new AddConstantTile(4.0f), new ColumnSelector(1)}));
    chain.add(new AddConstantTile(10.0f));
    const ImageBuffer input = testimages::makeFloatImage(8, 6, 3);
    ImageBuffer expected = testimages::duplicateFloat(input);
    renderWholeFloat(chain.list, expected);  // the compound as one tile
    ImageBuffer out = testimages::duplicateFloat(input);
    RenderContext ctx(0);
    EXPECT_TRUE(ctx.render(chain.list, &out, nullptr, -1, 0, nullptr));
    EXPECT_TRUE(floatsIdentical(expected, out));
    EXPECT_EQ(2, ctx.mods.count);
}

// Flattened chains render what the compounds render.
TEST(FlattenChain, FlatRenderEqualsCompoundRender) {
    OwnedChain chain;
    chain.add(new ColumnSelector(3));
    chain.add(new AddConstantTile(3.0f));
    chain.add(makeCompound(1.0f, {new ColumnSelector(2), new AddConstantTile(6.0f), new BoxBlurTile(1),
                                  makeCompound(1.0f, {new AddConstantTile(1.0f), new ColumnSelector(1)})}));
    chain.add(new ColumnSelector(1));
    chain.add(makeCompound(1.0f, {new AddConstantTile(2.0f)}));
    chain.add(new AddConstantTile(-5.0f));
    const ImageBuffer input = testimages::makeFloatImage(9, 40, 4);
    ImageBuffer expected = testimages::duplicateFloat(input);
    renderWholeFloat(chain.list, expected);
    ImageBuffer out = testimages::duplicateFloat(input);
    RenderContext ctx(0);
    EXPECT_TRUE(ctx.render(chain.list, &out, nullptr, -1, 0, nullptr));
    EXPECT_TRUE(testimages::floatsWithin(expected, out, 1e-3f));
}

}  // namespace
