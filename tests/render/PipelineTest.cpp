// The band-parallel pipeline: banded renders equal whole ones for every
// thread count, the 8-bit twin, targets, selectors, passes and regions.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <functional>
#include <limits>
#include <mutex>
#include <string>
#include <vector>

#include "RenderFixtures.h"
#include "framework/CompoundFilter.h"
#include "render/RenderContext.h"
#include "render/RenderPipeline.h"
#include "support/ImageBuilders.h"
#include "support/TestTiles.h"

using namespace rendertest;
using testimages::floatsIdentical;
using testimages::bytesIdentical;

namespace {

CompoundFilter* makeCompound(float amount, std::initializer_list<ImageMod*> tiles) {
    CompoundFilter* compound = new CompoundFilter(GrowString("Nest"));
    compound->floatAt(0)->value = amount;
    for (ImageMod* tile : tiles) compound->subMods.append(tile);
    return compound;
}

struct ChainCase {
    const char* name;
    std::function<void(OwnedChain&)> build;
    bool usesMargin;
};

std::vector<ChainCase> chainCases() {
    return {
        {"box blur", [](OwnedChain& c) { c.add(new BoxBlurTile(3)); }, true},
        {"two passes, the first whole", [](OwnedChain& c) { c.add(new TwoPassTile(2, true)); }, true},
        {"two banded passes", [](OwnedChain& c) { c.add(new TwoPassTile(2, false)); }, true},
        {"point tiles only",
         [](OwnedChain& c) {
             c.add(new PositionTile());
             c.add(new CountingTile(1.5f));
         },
         false},
        {"mixed margins",
         [](OwnedChain& c) {
             c.add(new PositionTile());
             c.add(new CountingTile(1.5f));
             c.add(new BoxBlurTile(1));
             c.add(new RowSpreadTile(4));
         },
         true},
        {"selectors before a tile",
         [](OwnedChain& c) {
             c.add(new ColumnSelector(0));
             c.add(new ColumnSelector(1));
             c.add(new AddConstantTile(10.0f));
             c.add(new BoxBlurTile(2));
         },
         true},
        {"blended compound of margin tiles",
         [](OwnedChain& c) { c.add(makeCompound(0.5f, {new BoxBlurTile(2), new BoxBlurTile(3)})); }, true},
        {"flattened compound",
         [](OwnedChain& c) { c.add(makeCompound(1.0f, {new BoxBlurTile(2), new TwoPassTile(1, false)})); }, true},
        {"compound behind a selector",
         [](OwnedChain& c) {
             c.add(new ColumnSelector(2));
             c.add(makeCompound(1.0f, {new AddConstantTile(5.0f), new RowSpreadTile(3)}));
         },
         true},
    };
}

// Banded float renders equal the whole-image render, bit for bit, for 1 to
// 8 threads, with the normal band limit and with a small one that cuts
// even short images into many bands (one thread then runs the bands one
// after another, which shows a band that reads a neighbour's new rows).
TEST(Pipeline, BandedEqualsWholeFloat) {
    ThreadCountGuard guard;
    for (const ChainCase& chainCase : chainCases()) {
        for (int32_t height : {1, 5, 37, 300}) {
            for (int32_t channels : {3, 4}) {
                OwnedChain chain;
                chainCase.build(chain);
                const ImageBuffer input = testimages::makeFloatImage(7, height, channels, static_cast<uint32_t>(height));
                // The 4-channel renders are of a part of a larger output image.
                RenderRegion region;
                region.fullWidth = 100;
                region.fullHeight = 1000;
                region.originX = 10;
                region.originY = 30;
                RenderRegion* request = channels == 4 ? &region : nullptr;
                ImageBuffer whole = testimages::duplicateFloat(input);
                renderWholeFloat(chain.list, whole, request);
                for (int32_t bandLimit : {256, 8}) {
                    for (int32_t threads = 1; threads <= 8; ++threads) {
                        SCOPED_TRACE(testing::Message() << chainCase.name << ", H " << height << ", " << channels
                                                        << " channels, band limit " << bandLimit << ", T " << threads);
                        setParallelThreadCount(threads);
                        RenderContext ctx(0);
                        ctx.maxBandHeight = bandLimit;
                        ImageBuffer out = testimages::duplicateFloat(input);
                        EXPECT_TRUE(ctx.render(chain.list, &out, nullptr, -1, 0, request));
                        ASSERT_TRUE(floatsIdentical(whole, out));
                    }
                }
            }
        }
    }
}

// The 8-bit pipeline: chains with a margin run the float bodies on float
// bands and store each pass as bytes; chains without one run the 8-bit
// bodies on views. Either way every thread count gives the same bytes.
TEST(Pipeline, BandedEqualsWhole8) {
    ThreadCountGuard guard;
    for (const ChainCase& chainCase : chainCases()) {
        for (int32_t height : {5, 37, 300}) {
            OwnedChain chain;
            chainCase.build(chain);
            const ImageBuffer input = testimages::makeByteImage(9, height, 3, static_cast<uint32_t>(height));
            ImageBuffer whole = testimages::duplicateBytes(input);
            GrowArray<ImageMod*> flat;
            RenderContext::flattenChain(chain.list, flat);
            if (chainCase.usesMargin)
                renderWhole8ThroughFloat(flat, whole);
            else
                renderWhole8(flat, whole);
            for (int32_t threads = 1; threads <= 8; ++threads) {
                SCOPED_TRACE(testing::Message() << chainCase.name << ", H " << height << ", T " << threads);
                setParallelThreadCount(threads);
                RenderContext ctx(0);
                ctx.maxBandHeight = 16;
                ImageBuffer out = testimages::duplicateBytes(input);
                EXPECT_TRUE(ctx.render8(chain.list, &out, nullptr, -1, 0, nullptr));
                ASSERT_TRUE(bytesIdentical(whole, out));
            }
        }
    }
}

// floatBands8 sends even a chain without margin through float bands, also
// when there are fewer rows than threads (one band of the whole image).
TEST(Pipeline, FloatBands8RunsTheFloatBody) {
    ThreadCountGuard guard;
    OwnedChain chain;
    chain.add(new CountingTile(0.6f));
    chain.add(new PositionTile());
    for (int32_t height : {5, 11}) {
        const ImageBuffer input = testimages::makeByteImage(3, height, 3);
        ImageBuffer expected = testimages::duplicateBytes(input);
        renderWhole8ThroughFloat(chain.list, expected);
        for (int32_t threads : {1, 3, 8}) {
            SCOPED_TRACE(testing::Message() << "H " << height << ", T " << threads);
            setParallelThreadCount(threads);
            RenderContext ctx(0);
            ctx.floatBands8 = 1;
            ImageBuffer out = testimages::duplicateBytes(input);
            EXPECT_TRUE(ctx.render8(chain.list, &out, nullptr, -1, 0, nullptr));
            EXPECT_TRUE(bytesIdentical(expected, out));
            EXPECT_EQ(1, ctx.done);
        }
    }
    // Each pass is stored as bytes: two tiles adding 0.6 leave 10 at 10.
    OwnedChain twice;
    twice.add(new CountingTile(0.6f));
    twice.add(new CountingTile(0.6f));
    RenderContext ctx(0);
    ctx.floatBands8 = 1;
    ImageBuffer out = testimages::filledByteImage(2, 4, {10, 20, 254});
    EXPECT_TRUE(ctx.render8(twice.list, &out, nullptr, -1, 0, nullptr));
    EXPECT_TRUE(bytesIdentical(testimages::filledByteImage(2, 4, {10, 20, 254}), out));
}

// Float band results outside 0..255 and NaN are clamped before they are
// truncated into bytes: -5 and NaN store as 0, 300 and infinity as 255.
TEST(Pipeline, EightBitStoreClampsAndZeroesNaN) {
    ThreadCountGuard guard;
    static const float values[] = {-5.0f, std::numeric_limits<float>::quiet_NaN(), 300.0f,
                            std::numeric_limits<float>::infinity(), 12.9f, 254.99f};
    const uint8_t expected[] = {0, 0, 255, 255, 12, 254};
    for (int32_t margin : {0, 2}) {
        for (int32_t threads : {1, 4}) {
            SCOPED_TRACE(testing::Message() << "margin " << margin << ", T " << threads);
            setParallelThreadCount(threads);
            OwnedChain chain;
            chain.add(new HookTile([](ImageBuffer& image, const RenderArgs*, bool eightBit) {
                ASSERT_FALSE(eightBit);
                for (int64_t i = 0; i < image.sampleCount(); ++i) image.floats()[i] = values[i % 6];
            }));
            if (margin > 0) chain.add(new BoxBlurTile(0, margin));
            RenderContext ctx(0);
            ctx.floatBands8 = margin == 0 ? 1 : 0;
            ImageBuffer out = testimages::filledByteImage(2, 12, {100, 100, 100});
            EXPECT_TRUE(ctx.render8(chain.list, &out, nullptr, -1, 0, nullptr));
            for (int64_t i = 0; i < out.sampleCount(); ++i) ASSERT_EQ(expected[i % 6], out.bytes()[i]) << i;
        }
    }
}

TEST(Pipeline, DestDifferingFromImage) {
    OwnedChain chain;
    chain.add(new CountingTile(2.0f));
    chain.add(new BoxBlurTile(1));
    const ImageBuffer input = testimages::makeFloatImage(6, 20, 4);
    ImageBuffer expected = testimages::duplicateFloat(input);
    renderWholeFloat(chain.list, expected);

    // A separate dest (here 3 channels) takes the image's channels; the
    // image itself is left alone.
    ImageBuffer image = testimages::duplicateFloat(input);
    ImageBuffer dest;
    dest.allocateFloat(2, 2, 3);
    RenderContext ctx(0);
    EXPECT_TRUE(ctx.render(chain.list, &image, &dest, -1, 0, nullptr));
    EXPECT_TRUE(floatsIdentical(input, image));
    EXPECT_TRUE(floatsIdentical(expected, dest));

    // dest equal to image: in place.
    EXPECT_TRUE(ctx.render(chain.list, &image, &image, -1, 0, nullptr));
    EXPECT_TRUE(floatsIdentical(expected, image));

    // The 8-bit pipeline likewise.
    const ImageBuffer bytes = testimages::makeByteImage(6, 20, 3);
    ImageBuffer bytesIn = testimages::duplicateBytes(bytes);
    ImageBuffer bytesOut;
    EXPECT_TRUE(ctx.render8(chain.list, &bytesIn, &bytesOut, -1, 0, nullptr));
    EXPECT_TRUE(bytesIdentical(bytes, bytesIn));
    ImageBuffer bytesExpected = testimages::duplicateBytes(bytes);
    renderWhole8ThroughFloat(chain.list, bytesExpected);
    EXPECT_TRUE(bytesIdentical(bytesExpected, bytesOut));
}

// Disabled tiles and selectors change nothing; neither does a chain of them.
TEST(Pipeline, DisabledTilesAndLoneSelectorsChangeNothing) {
    OwnedChain chain;
    chain.add(new CountingTile(5.0f))->enabled = 0;
    chain.add(new ColumnSelector(1));
    chain.add(new BoxBlurTile(2))->enabled = 0;
    chain.add(new ColumnSelector(3));
    const ImageBuffer input = testimages::makeFloatImage(5, 40, 3);
    ImageBuffer out = testimages::duplicateFloat(input);
    RenderContext ctx(0);
    EXPECT_TRUE(ctx.render(chain.list, &out, nullptr, -1, 0, nullptr));
    EXPECT_TRUE(floatsIdentical(input, out));
    EXPECT_EQ(0, static_cast<CountingTile*>(chain.list[0])->callCount());
}

// An image without rows or columns is not processed, but the context is
// marked idle and the cancel flag cleared, so a waiting canceller returns.
TEST(Pipeline, EmptyImageOnlyMarksIdle) {
    OwnedChain chain;
    CountingTile* tile = chain.add(new CountingTile(1.0f));
    RenderContext ctx(1);
    ctx.mods.append(tile->clone());
    ctx.cachedIndex = -1;
    ctx.idle = 0;
    ctx.cancelRequested = 1;
    ImageBuffer empty;
    empty.allocateFloat(5, 0, 3);
    applyModChainParallel32(&ctx, &empty, nullptr);
    EXPECT_EQ(1, ctx.idle);
    EXPECT_EQ(0, ctx.cancelRequested);
    EXPECT_EQ(0, ctx.done);
    EXPECT_EQ(0, tile->callCount());
    applyModChainParallel8(&ctx, nullptr, nullptr);
    EXPECT_EQ(1, ctx.idle);
}

// The selectors in front of a tile reach it: none, one itself, or an array
// of the enabled ones of the run (a disabled selector does not end it; a
// plain tile does).
TEST(Pipeline, SelectorsInFrontOfATile) {
    struct Seen {
        std::mutex lock;
        std::vector<std::vector<const ImageMod*>> calls;
    } seen;
    auto record = [&seen](ImageBuffer&, const RenderArgs* args, bool) {
        std::vector<const ImageMod*> list;
        if (args && args->selector) {
            if (auto* array = dynamic_cast<const SelectorPointerArray*>(args->selector)) {
                for (const ImageMod* s : array->selectors) list.push_back(s);
            } else {
                list.push_back(args->selector);
            }
        }
        std::lock_guard<std::mutex> hold(seen.lock);
        seen.calls.push_back(list);
    };
    OwnedChain chain;
    chain.add(new HookTile(record));  // 0: nothing in front
    chain.add(new ColumnSelector(0));  // 1
    chain.add(new HookTile(record));  // 2: [1]
    chain.add(new ColumnSelector(1));  // 3
    chain.add(new ColumnSelector(2))->enabled = 0;  // 4
    chain.add(new ColumnSelector(3));  // 5
    chain.add(new HookTile(record));  // 6: [3, 5]
    RenderContext ctx(0);
    ImageBuffer image = testimages::makeFloatImage(4, 1, 3);  // one row: one band with rows
    EXPECT_TRUE(ctx.render(chain.list, &image, nullptr, -1, 0, nullptr));
    ASSERT_EQ(3u, seen.calls.size());
    EXPECT_TRUE(seen.calls[0].empty());
    ASSERT_EQ(1u, seen.calls[1].size());
    EXPECT_EQ(ctx.mods[1], seen.calls[1][0]);
    ASSERT_EQ(2u, seen.calls[2].size());
    EXPECT_EQ(ctx.mods[3], seen.calls[2][0]);
    EXPECT_EQ(ctx.mods[5], seen.calls[2][1]);
}

// A tile of two passes whose first refuses bands: pass 0 once on the whole
// image, then pass 1 on bands of its output.
class PassRecorder : public ImageMod {
public:
    PassRecorder() : ImageMod(GrowString("Pass Recorder"), GrowString("")) {}
    ImageMod* clone() const override {
        PassRecorder* copy = new PassRecorder();
        copy->log = log;
        return copy;
    }
    int32_t passCount() const override { return 2; }
    bool canTile(int32_t pass) const override { return pass == 1; }
    void processFloat(ImageBuffer& image, const RenderArgs* args) override {
        std::lock_guard<std::mutex> hold(log->lock);
        log->entries.push_back({args->pass, image.height, args->region});
        for (int64_t i = 0; i < image.sampleCount(); ++i) image.floats()[i] = image.floats()[i] * 2.0f + 1.0f;
    }
    struct Entry {
        int32_t pass;
        int32_t height;
        const RenderRegion* region;
    };
    struct Log {
        std::mutex lock;
        std::vector<Entry> entries;
    };
    std::shared_ptr<Log> log = std::make_shared<Log>();
};

TEST(Pipeline, WholeImagePassThenBandedPass) {
    ThreadCountGuard guard;
    setParallelThreadCount(4);
    OwnedChain chain;
    PassRecorder* tile = chain.add(new PassRecorder());
    RenderContext ctx(0);
    ImageBuffer image = testimages::filledFloatImage(3, 40, {1.0f, 2.0f, 3.0f});
    RenderRegion region;
    region.fullWidth = 300;
    region.fullHeight = 4000;
    region.originY = 100;
    EXPECT_TRUE(ctx.render(chain.list, &image, nullptr, -1, 0, &region));
    const auto& entries = tile->log->entries;
    ASSERT_EQ(5u, entries.size());
    EXPECT_EQ(0, entries[0].pass);
    EXPECT_EQ(40, entries[0].height);
    EXPECT_EQ(ctx.region, entries[0].region);  // the request's own region
    for (size_t i = 1; i < entries.size(); ++i) {
        EXPECT_EQ(1, entries[i].pass);
        EXPECT_EQ(10, entries[i].height);
    }
    // 1 -> 3 -> 7, and so on per channel
    EXPECT_TRUE(floatsIdentical(testimages::filledFloatImage(3, 40, {7.0f, 11.0f, 15.0f}), image));
}

// Each band's region: the request's region with the full size (or the
// buffer's size where the request gives none), the row origin moved by the
// band's first row, and the target's insets; requestValue unchanged.
TEST(Pipeline, BandRegionsAndRequestValue) {
    ThreadCountGuard guard;
    setParallelThreadCount(4);
    struct Band {
        RenderRegion region;
        int32_t requestValue;
        int32_t height;
    };
    std::mutex lock;
    std::vector<Band> bands;
    OwnedChain chain;
    chain.add(new HookTile([&](ImageBuffer& image, const RenderArgs* args, bool) {
        std::lock_guard<std::mutex> hold(lock);
        bands.push_back({*args->region, args->requestValue, image.height});
    }));
    ImageBuffer image = testimages::makeFloatImage(6, 20, 3);
    image.insetLeft = 1;
    image.insetRight = 2;
    image.insetTop = 3;
    image.insetBottom = 4;
    RenderRegion region;
    region.fullWidth = 0;  // not given: the buffer's width
    region.fullHeight = 900;
    region.originX = 7;
    region.originY = 50;
    region.scale = 2.0f;
    RenderContext ctx(0);
    EXPECT_TRUE(ctx.render(chain.list, &image, nullptr, -1, 42, &region));
    ASSERT_EQ(4u, bands.size());
    std::vector<int32_t> origins;
    for (const Band& band : bands) {
        EXPECT_EQ(6, band.region.fullWidth);
        EXPECT_EQ(900, band.region.fullHeight);
        EXPECT_EQ(7, band.region.originX);
        EXPECT_EQ(2.0f, band.region.scale);
        EXPECT_EQ(1, band.region.insetLeft);
        EXPECT_EQ(2, band.region.insetRight);
        EXPECT_EQ(3, band.region.insetTop);
        EXPECT_EQ(4, band.region.insetBottom);
        EXPECT_EQ(42, band.requestValue);
        EXPECT_EQ(5, band.height);
        origins.push_back(band.region.originY);
    }
    std::sort(origins.begin(), origins.end());
    EXPECT_EQ((std::vector<int32_t>{50, 55, 60, 65}), origins);
}

// A margin as large as the image (or larger) is one band with no margin
// rows, not an overflow.
TEST(Pipeline, HugeMarginIsOneBand) {
    std::atomic<int32_t> calls{0};
    OwnedChain chain;
    chain.add(new BoxBlurTile(0, 1 << 30));
    chain.add(new HookTile([&](ImageBuffer& image, const RenderArgs*, bool) {
        ++calls;
        EXPECT_EQ(30, image.height);
    }));
    RenderContext ctx(0);
    ImageBuffer image = testimages::makeFloatImage(4, 30, 3);
    EXPECT_TRUE(ctx.render(chain.list, &image, nullptr, -1, 0, nullptr));
    EXPECT_EQ(1, calls.load());
}

}  // namespace

// Makes the next allocations of pixel storage fail while it lives.
struct FailingAllocations {
    FailingAllocations(int64_t allowed, int64_t failing) { ImageBuffer::failAllocationsForTesting(allowed, failing); }
    ~FailingAllocations() { ImageBuffer::failAllocationsForTesting(0, 0); }
    FailingAllocations(const FailingAllocations&) = delete;
    FailingAllocations& operator=(const FailingAllocations&) = delete;
};

// A run whose scratch buffer (a band's, a fused sub-band's) or destination
// copy cannot be allocated leaves rows unrendered: it ends failed, not
// done, idle, and the next run of the same context succeeds again.
TEST(Pipeline, ARunThatCannotAllocateItsScratchFails) {
    ThreadCountGuard threads;
    setParallelThreadCount(4);
    struct Case {
        const char* name;
        bool eightBit;
        bool floatBands8;
        bool intoDest;
        std::function<void(OwnedChain&)> build;
    };
    const Case cases[] = {
        {"float band with a margin", false, false, false, [](OwnedChain& c) { c.add(new BoxBlurTile(3)); }},
        {"8-bit band with a margin", true, false, false, [](OwnedChain& c) { c.add(new BoxBlurTile(3)); }},
        {"8-bit fused sub-bands through float", true, true, false,
         [](OwnedChain& c) {
             c.add(new PositionTile());
             c.add(new CountingTile(1.5f));
         }},
        {"copy into the destination", false, false, true, [](OwnedChain& c) { c.add(new CountingTile(2.0f)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OwnedChain chain;
        c.build(chain);
        const ImageBuffer input = c.eightBit ? testimages::makeByteImage(9, 64, 3) : testimages::makeFloatImage(9, 64, 3);
        RenderContext ctx(0);
        ctx.floatBands8 = c.floatBands8 ? 1 : 0;
        auto render = [&](ImageBuffer& image, ImageBuffer* dest) {
            return c.eightBit ? ctx.render8(chain.list, &image, dest, -1, 0, nullptr)
                              : ctx.render(chain.list, &image, dest, -1, 0, nullptr);
        };
        ImageBuffer image = c.eightBit ? testimages::duplicateBytes(input) : testimages::duplicateFloat(input);
        ImageBuffer dest;
        {
            FailingAllocations failing(0, 1);
            EXPECT_FALSE(render(image, c.intoDest ? &dest : nullptr));
        }
        EXPECT_EQ(1, ctx.failed);
        EXPECT_EQ(0, ctx.done);
        EXPECT_EQ(1, ctx.idle);
        EXPECT_FALSE(ctx.lastRunSucceeded());

        ImageBuffer again = c.eightBit ? testimages::duplicateBytes(input) : testimages::duplicateFloat(input);
        EXPECT_TRUE(render(again, c.intoDest ? &dest : nullptr));
        EXPECT_EQ(0, ctx.failed);
        EXPECT_TRUE(ctx.lastRunSucceeded());
    }
}
