// Fused runs: consecutive point tiles done sub-band by sub-band give the
// pixels of the tile-by-tile walk for every thread count and sub-band size,
// and keep the cache point and the cancel check at their tile boundaries.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "RenderFixtures.h"
#include "foundation/Mutex.h"
#include "foundation/XmlNode.h"
#include "framework/FilterFile.h"
#include "framework/TilePrototypes.h"
#include "render/RenderContext.h"
#include "render/RenderPipeline.h"
#include "support/ImageBuilders.h"
#include "support/TestTiles.h"

using namespace rendertest;
using testimages::bytesIdentical;
using testimages::floatsIdentical;

namespace {

// Sub-band sizes: one row per sub-band, a few rows, and the default (most
// test images are then a single sub-band).
const int32_t kBandBytes[] = {1, 200, RenderContext::kDefaultFusedBandBytes};

struct FusedCase {
    const char* name;
    std::function<void(OwnedChain&)> build;
    bool usesMargin;  // a tile with a margin elsewhere in the chain
};

std::vector<FusedCase> fusedCases() {
    return {
        {"point tiles",
         [](OwnedChain& c) {
             c.add(new PositionTile());
             c.add(new CountingTile(1.5f));
             c.add(new AddConstantTile(-0.75f));
             c.add(new CountingTile(7.25f));
         },
         false},
        {"disabled tiles and selectors inside the run",
         [](OwnedChain& c) {
             c.add(new CountingTile(3.5f));
             c.add(new CountingTile(100.0f))->enabled = 0;
             c.add(new WeightSelector(1.0f, redWeight));  // reads the samples as they stand
             c.add(new AddConstantTile(40.0f));
             c.add(new ColumnSelector(1));
             c.add(new ColumnSelector(2));
             c.add(new AddConstantTile(-20.0f));
             c.add(new PositionTile());
         },
         false},
        {"a tile that refuses bands splits the run",
         [](OwnedChain& c) {
             c.add(new PositionTile());
             c.add(new CountingTile(2.0f));
             c.add(new HookTile(
                 [](ImageBuffer& image, const RenderArgs*, bool eightBit) {
                     // Mirrors the rows: only right on the whole image.
                     const int64_t row = static_cast<int64_t>(image.width) * image.channelCount();
                     for (int32_t y = 0; y < image.height / 2; ++y) {
                         for (int64_t i = 0; i < row; ++i) {
                             const int64_t a = y * row + i, b = (image.height - 1 - y) * row + i;
                             if (eightBit)
                                 std::swap(image.bytes()[a], image.bytes()[b]);
                             else
                                 std::swap(image.floats()[a], image.floats()[b]);
                         }
                     }
                 },
                 false));
             c.add(new PositionTile());
             c.add(new CountingTile(-1.0f));
         },
         false},
        {"point runs around margin tiles",
         [](OwnedChain& c) {
             c.add(new CountingTile(0.6f));
             c.add(new PositionTile());
             c.add(new BoxBlurTile(2));
             c.add(new CountingTile(0.7f));
             c.add(new AddConstantTile(0.6f));
             c.add(new RowSpreadTile(3));
             c.add(new PositionTile());
             c.add(new CountingTile(-30.0f));
         },
         true},
    };
}

// Fused float renders equal the whole-image walk bit for bit, for 1 to 8
// threads and every sub-band size, on whole images and on parts of a larger
// output image.
TEST(FusedRun, FloatEqualsTheWalk) {
    ThreadCountGuard guard;
    for (const FusedCase& fusedCase : fusedCases()) {
        for (int32_t height : {1, 6, 37, 130}) {
            for (int32_t channels : {3, 4}) {
                OwnedChain chain;
                fusedCase.build(chain);
                const ImageBuffer input = testimages::makeFloatImage(5, height, channels, static_cast<uint32_t>(height));
                RenderRegion region;
                region.fullWidth = 50;
                region.fullHeight = 900;
                region.originX = 3;
                region.originY = 41;
                RenderRegion* request = channels == 4 ? &region : nullptr;
                ImageBuffer whole = testimages::duplicateFloat(input);
                renderWholeFloat(chain.list, whole, request);
                for (int32_t bandBytes : kBandBytes) {
                    for (int32_t threads = 1; threads <= 8; ++threads) {
                        SCOPED_TRACE(testing::Message() << fusedCase.name << ", H " << height << ", " << channels
                                                        << " channels, band bytes " << bandBytes << ", T " << threads);
                        setParallelThreadCount(threads);
                        RenderContext ctx(0);
                        ctx.fusedBandBytes = bandBytes;
                        ctx.maxBandHeight = 16;
                        ImageBuffer out = testimages::duplicateFloat(input);
                        EXPECT_TRUE(ctx.render(chain.list, &out, nullptr, -1, 0, request));
                        ASSERT_TRUE(floatsIdentical(whole, out));
                        EXPECT_EQ(1, ctx.done);
                    }
                }
            }
        }
    }
}

// The 8-bit pipeline: the 8-bit bodies on views without a margin; through
// float bands (a margin elsewhere, or floatBands8) every tile's result is
// stored as bytes before the next tile, in a fused run as in the walk.
TEST(FusedRun, EightBitEqualsTheWalk) {
    ThreadCountGuard guard;
    for (const FusedCase& fusedCase : fusedCases()) {
        for (int32_t floatBands : {0, 1}) {
            for (int32_t height : {1, 6, 37, 130}) {
                OwnedChain chain;
                fusedCase.build(chain);
                const ImageBuffer input = testimages::makeByteImage(7, height, 3, static_cast<uint32_t>(height));
                ImageBuffer whole = testimages::duplicateBytes(input);
                GrowArray<ImageMod*> flat;
                RenderContext::flattenChain(chain.list, flat);
                if (fusedCase.usesMargin || floatBands)
                    renderWhole8ThroughFloat(flat, whole);
                else
                    renderWhole8(flat, whole);
                for (int32_t bandBytes : kBandBytes) {
                    for (int32_t threads = 1; threads <= 8; ++threads) {
                        SCOPED_TRACE(testing::Message() << fusedCase.name << ", float bands " << floatBands << ", H "
                                                        << height << ", band bytes " << bandBytes << ", T " << threads);
                        setParallelThreadCount(threads);
                        RenderContext ctx(0);
                        ctx.fusedBandBytes = bandBytes;
                        ctx.floatBands8 = static_cast<uint8_t>(floatBands);
                        ctx.maxBandHeight = 16;
                        ImageBuffer out = testimages::duplicateBytes(input);
                        EXPECT_TRUE(ctx.render8(chain.list, &out, nullptr, -1, 0, nullptr));
                        ASSERT_TRUE(bytesIdentical(whole, out));
                    }
                }
            }
        }
    }
}

// Five point tiles A..E with a cache: editing E stores the cache point after
// D from inside the fused run; the next edit restores it inside the run of
// E alone. Both give the walk's pixels; A..D do not run again.
TEST(FusedRun, CachePointInsideARun) {
    ThreadCountGuard guard;
    for (bool eightBit : {false, true}) {
        for (int32_t threads : {1, 3, 8}) {
            SCOPED_TRACE(testing::Message() << (eightBit ? "8-bit" : "float") << ", T " << threads);
            setParallelThreadCount(threads);
            OwnedChain chain;
            CountingTile* a = chain.add(new CountingTile(1.25f));
            chain.add(new PositionTile());
            CountingTile* c = chain.add(new CountingTile(2.5f));
            chain.add(new AddConstantTile(3.0f));
            CountingTile* e = chain.add(new CountingTile(4.0f));
            RenderContext ctx(1);
            ctx.fusedBandBytes = 64;
            const ImageBuffer floatInput = testimages::makeFloatImage(6, 45, 3, 5);
            const ImageBuffer byteInput = testimages::makeByteImage(6, 45, 3, 5);
            auto render = [&]() {
                ImageBuffer out = eightBit ? testimages::duplicateBytes(byteInput) : testimages::duplicateFloat(floatInput);
                if (eightBit)
                    EXPECT_TRUE(ctx.render8(chain.list, &out, nullptr, -1, 0, nullptr));
                else
                    EXPECT_TRUE(ctx.render(chain.list, &out, nullptr, -1, 0, nullptr));
                return out;
            };
            auto expected = [&]() {
                ImageBuffer out = eightBit ? testimages::duplicateBytes(byteInput) : testimages::duplicateFloat(floatInput);
                if (eightBit)
                    renderWhole8(chain.list, out);
                else
                    renderWholeFloat(chain.list, out);
                return out;
            };
            auto same = [&](const ImageBuffer& x, const ImageBuffer& y) {
                return eightBit ? bytesIdentical(x, y) : floatsIdentical(x, y);
            };

            render();
            e->floatAt(0)->value = 5.0f;
            ImageBuffer first = render();  // stores the cache point after D
            EXPECT_TRUE(same(expected(), first));
            EXPECT_EQ(3, ctx.cachedIndex);
            // The cache holds the image after D, as floats.
            ImageBuffer afterD = eightBit ? testimages::duplicateBytes(byteInput) : testimages::duplicateFloat(floatInput);
            GrowArray<ImageMod*> fourTiles;
            for (int32_t i = 0; i < 4; ++i) fourTiles.append(chain.list[i]);
            ImageBuffer afterDFloat;
            if (eightBit) {
                renderWhole8(fourTiles, afterD);
                ImageBuffer::copyFloatFrom8(afterDFloat, afterD, true);
            } else {
                renderWholeFloat(fourTiles, afterD);
                ImageBuffer::copyFloat(afterDFloat, afterD, true);
            }
            ASSERT_TRUE(ctx.cacheImage);
            EXPECT_TRUE(floatsIdentical(afterDFloat, *ctx.cacheImage));

            const int32_t aCalls = a->callCount(), cCalls = c->callCount(), eCalls = e->callCount();
            e->floatAt(0)->value = 6.0f;
            ImageBuffer second = render();  // restores after D, runs E
            EXPECT_EQ(aCalls, a->callCount());
            EXPECT_EQ(cCalls, c->callCount());
            EXPECT_GT(e->callCount(), eCalls);
            EXPECT_TRUE(same(expected(), second));
            EXPECT_EQ(3, ctx.cachedIndex);
            EXPECT_EQ(1, ctx.done);
        }
    }
}

// A cancel request while a tile of a fused run runs: that tile finishes on
// every sub-band, no later tile starts on any, the run ends not done and
// idle, and the cache point the run was to store after a later tile is
// not kept.
TEST(FusedRun, CancelStopsEverySubBandAtTheSameTile) {
    ThreadCountGuard guard;
    for (int32_t threads : {1, 2, 8}) {
        SCOPED_TRACE(testing::Message() << "T " << threads);
        setParallelThreadCount(threads);
        RenderContext ctx(1);
        ctx.fusedBandBytes = 1;  // one row per sub-band
        std::atomic<bool> started{false};
        OwnedChain chain;
        CountingTile* first = chain.add(new CountingTile(1.0f));
        chain.add(new HookTile([&](ImageBuffer& image, const RenderArgs*, bool) {
            started = true;
            for (;;) {  // until the canceller has asked
                bool asked;
                {
                    MutexLocker hold(ctx.chainLock.get());
                    asked = ctx.cancelRequested != 0;
                }
                if (asked) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            for (int64_t i = 0; i < image.sampleCount(); ++i) image.floats()[i] += 100.0f;
        }));
        CountingTile* third = chain.add(new CountingTile(1000.0f));
        CountingTile* fourth = chain.add(new CountingTile(10000.0f));
        CountingTile* fifth = chain.add(new CountingTile(5.0f));

        // A first run of the first four tiles, so that the full chain's run
        // is to store a cache point after the fourth.
        {
            GrowArray<ImageMod*> start;
            for (int32_t i = 0; i < 4; ++i) start.append(chain.list[i]);
            ImageBuffer warmUp = testimages::filledFloatImage(3, 4, {0.0f, 0.0f, 0.0f});
            std::thread warm([&] { EXPECT_FALSE(ctx.render(start, &warmUp, nullptr, -1, 0, nullptr)); });
            while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ctx.cancelRender();
            warm.join();
        }
        started = false;
        const int32_t thirdCalls = third->callCount();
        const int32_t firstCalls = first->callCount();

        ImageBuffer image = testimages::filledFloatImage(3, 24, {0.0f, 1.0f, 2.0f});
        std::thread worker([&] { EXPECT_FALSE(ctx.render(chain.list, &image, nullptr, -1, 0, nullptr)); });
        while (!started) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ctx.cancelRender();  // returns only when the run is idle
        worker.join();

        EXPECT_EQ(24, first->callCount() - firstCalls);  // every sub-band ran the first tile
        EXPECT_EQ(thirdCalls, third->callCount());
        EXPECT_EQ(0, fourth->callCount());
        EXPECT_EQ(0, fifth->callCount());
        EXPECT_TRUE(floatsIdentical(testimages::filledFloatImage(3, 24, {101.0f, 102.0f, 103.0f}), image));
        MutexLocker hold(ctx.chainLock.get());
        EXPECT_EQ(0, ctx.done);
        EXPECT_EQ(1, ctx.idle);
        EXPECT_EQ(0, ctx.cancelRequested);
        EXPECT_EQ(-1, ctx.cachedIndex);
    }
}

// The program's own point tiles, each away from its identity, as a fused run
// (a Blur between two groups makes the 8-bit pipeline go through float
// bands in the second test): every tile must give the same pixels on any
// sub-band, or fusing would change a photo.
const char* const kRealChain =
    "<filter version=\"4\">"
    "<mod name=\"Exposure\" version=\"1\" enabled=\"1\"><var name=\"Amount\" type=\"float\">1.15</var></mod>"
    "<mod name=\"Contrast\" version=\"2\" enabled=\"1\"><var name=\"Amount\" type=\"float\">1.2</var>"
    "<var name=\"Center\" type=\"float\">110</var></mod>"
    "<mod name=\"Saturation\" version=\"2\" enabled=\"1\"><var name=\"Amount\" type=\"float\">1.3</var></mod>"
    "<mod name=\"Curves\" version=\"1\" enabled=\"1\"><var name=\"Amount\" type=\"float\">1</var>"
    "<var name=\"Curve\" type=\"curve\">0 0 0.25 0.18 0.75 0.82 1 1</var></mod>"
    "<mod name=\"Tone Curve\" version=\"1\" enabled=\"1\"><var name=\"Amount\" type=\"float\">0.8</var>"
    "<var name=\"Curve\" type=\"curve\">0 0.04 0.5 0.55 1 0.96</var></mod>"
    "<mod name=\"White Balance\" version=\"1\" enabled=\"1\"><var name=\"Amount\" type=\"float\">0.3</var>"
    "<var name=\"Color\" type=\"color\">230 200 170 255</var></mod>"
    "<mod name=\"Blur\" version=\"1\" enabled=\"1\"><var name=\"Amount\" type=\"float\">3</var>"
    "<var name=\"Mix\" type=\"float\">100</var></mod>"
    "<mod name=\"Split Tone\" version=\"1\" enabled=\"1\"><var name=\"Amount\" type=\"float\">0.5</var></mod>"
    "<mod name=\"Hue Shift\" version=\"2\" enabled=\"1\"><var name=\"Amount\" type=\"float\">1</var>"
    "<var name=\"Hue Region\" type=\"curve\">0 0.55 0.25 0.45 0.5 0.5 0.75 0.6 1 0.55</var></mod>"
    "<mod name=\"Color Balance\" version=\"1\" enabled=\"1\"><var name=\"Red\" type=\"float\">10</var>"
    "<var name=\"Green\" type=\"float\">-5</var><var name=\"Blue\" type=\"float\">8</var></mod>"
    "<mod name=\"Gamma\" version=\"2\" enabled=\"1\"><var name=\"Amount\" type=\"float\">1.4</var></mod>"
    "</filter>";

struct PrototypeChain {
    GrowArray<ImageMod*> prototypes;
    OwnedChain chain;
    PrototypeChain(bool withBlur) {
        buildPrototypeList(prototypes);
        XmlNode root;
        parseXmlText(root, GrowString(kRealChain));
        GrowArray<ImageMod*> compounds;
        uint32_t status = kFilterReadClean;
        xmlToModList(chain.list, root.children[0], compounds, prototypes, status);
        if (!withBlur) {
            for (int32_t i = 0; i < chain.list.count; ++i) {
                if (chain.list[i]->name == GrowString("Blur")) {
                    delete chain.list[i];
                    chain.list.removeAt(i);
                    break;
                }
            }
        }
    }
    ~PrototypeChain() { freePrototypeList(prototypes); }
    PrototypeChain(const PrototypeChain&) = delete;
    PrototypeChain& operator=(const PrototypeChain&) = delete;
};

TEST(FusedRun, ProgramTilesEqualTheWalk) {
    ThreadCountGuard guard;
    for (bool withBlur : {false, true}) {
        PrototypeChain real(withBlur);
        ASSERT_EQ(withBlur ? 11 : 10, real.chain.list.count);
        const ImageBuffer floatInput = testimages::makeFloatImage(23, 41, 3, 11);
        const ImageBuffer byteInput = testimages::makeByteImage(23, 41, 3, 11);
        ImageBuffer wholeFloat = testimages::duplicateFloat(floatInput);
        renderWholeFloat(real.chain.list, wholeFloat);
        ImageBuffer whole8 = testimages::duplicateBytes(byteInput);
        if (withBlur)
            renderWhole8ThroughFloat(real.chain.list, whole8);
        else
            renderWhole8(real.chain.list, whole8);
        for (int32_t bandBytes : kBandBytes) {
            for (int32_t threads : {1, 2, 5, 8}) {
                SCOPED_TRACE(testing::Message() << (withBlur ? "with" : "without") << " blur, band bytes "
                                                << bandBytes << ", T " << threads);
                setParallelThreadCount(threads);
                RenderContext ctx(0);
                ctx.fusedBandBytes = bandBytes;
                ctx.maxBandHeight = 8;
                ImageBuffer out = testimages::duplicateFloat(floatInput);
                EXPECT_TRUE(ctx.render(real.chain.list, &out, nullptr, -1, 0, nullptr));
                EXPECT_TRUE(floatsIdentical(wholeFloat, out));
                ImageBuffer out8 = testimages::duplicateBytes(byteInput);
                EXPECT_TRUE(ctx.render8(real.chain.list, &out8, nullptr, -1, 0, nullptr));
                EXPECT_TRUE(bytesIdentical(whole8, out8));
            }
        }
    }
}

}  // namespace
