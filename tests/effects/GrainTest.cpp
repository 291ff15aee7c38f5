// Grain (texture engine, versions 2 and 3) and its legacy engine (version 1).

#include <gtest/gtest.h>

#include <math.h>

#include <cstdint>
#include <limits>
#include <memory>

#include "effects/Grain.h"
#include "framework/Curve.h"
#include "pixels/SampleRules.h"
#include "framework/TilePrototypes.h"
#include "platform/ParallelFor.h"
#include "render/RenderContext.h"
#include "support/ImageBuilders.h"
#include "support/TileProperties.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::unique_ptr<GrainMod> grainOf(uint32_t version, float amount, float scale, float uniformity) {
    auto grain = std::make_unique<GrainMod>();
    grain->setVersion(version);
    grain->floatAt(0)->value = amount;
    grain->floatAt(1)->value = scale;
    grain->floatAt(2)->value = uniformity;
    return grain;
}

::testing::AssertionResult samplesInRange(const ImageBuffer& image) {
    const float* s = image.floats();
    for (int64_t i = 0; i < image.sampleCount(); ++i)
        if (!(s[i] >= 0.0f && s[i] <= 255.0f)) return ::testing::AssertionFailure() << "sample " << i << " is " << s[i];
    return ::testing::AssertionSuccess();
}

// The chain holding only the tile, rendered through the pipeline with the
// given thread count.
ImageBuffer renderWithThreads(ImageMod& tile, const ImageBuffer& image, int threads) {
    setParallelThreadCount(threads);
    GrowArray<ImageMod*> chain;
    chain.append(&tile);
    RenderContext context(0);
    ImageBuffer out = tiletest::copyOf(image);
    EXPECT_TRUE(context.render(chain, &out, nullptr, -1, 0, nullptr));
    setParallelThreadCount(0);
    return out;
}

TEST(GrainMod, NamesVarsVersionsAndPrototype) {
    GrainMod grain;
    EXPECT_STREQ(grain.name.c_str(), "Grain");
    EXPECT_STREQ(grain.displayName.c_str(), "Grain");
    EXPECT_EQ(grain.version, 3u);
    EXPECT_EQ(grain.frameInterval(), 0.4f);
    ASSERT_EQ(grain.vars.count, 3);
    EXPECT_EQ(grain.floatAt(2)->value, 50.0f);
    EXPECT_EQ(grain.animTracks.count, 3);
    EXPECT_EQ(grain.passCount(), 2);
    EXPECT_FALSE(grain.canTile(0));
    EXPECT_TRUE(grain.canTile(1));
    grain.setVersion(1);
    EXPECT_EQ(grain.passCount(), 1);
    EXPECT_TRUE(grain.canTile(0));

    GrowArray<ImageMod*> prototypes;
    buildPrototypeList(prototypes);
    int32_t grains = 0, legacy = 0;
    for (ImageMod* mod : prototypes) {
        grains += mod->name == GrowString("Grain") ? 1 : 0;
        legacy += mod->name == GrowString("Grain Legacy") ? 1 : 0;
    }
    freePrototypeList(prototypes);
    EXPECT_EQ(grains, 1);
    EXPECT_EQ(legacy, 0);  // the legacy engine lives only inside Grain tiles
}

TEST(GrainMod, TextureEnginePassesTheTileChecks) {
    // The grain is read from one texture at whole-picture positions, so it
    // is the same for every thread count and band split; a clone builds the
    // same texture (seeded from its values), so it renders the same grain.
    const ImageBuffer tall = tiletest::makeTestImage(60, 140, 3, 3);
    for (uint32_t version : {2u, 3u}) {
        SCOPED_TRACE(testing::Message() << "version " << version);
        std::unique_ptr<GrainMod> off = grainOf(version, 0.0f, 40.0f, 50.0f);
        tiletest::expectIdentityLeavesImage(*off);
        std::unique_ptr<GrainMod> grain = grainOf(version, 70.0f, 100.0f, 20.0f);
        tiletest::expectBandedEqualsWhole(*grain, tall);
        EXPECT_FALSE(testimages::floatsIdentical(tall, tiletest::renderFloat(*grain, tall)));
        tiletest::expectSelectorWeightZeroIsIdentity(*grain);
        tiletest::expectSelectorWeightOneIsNoSelector(*grain);
        tiletest::expectCloneCopyFromEquals(*grain);
        tiletest::expectFilterRoundTrip(*grain);
    }
}

TEST(GrainMod, LargeGrainIsThreadCountIndependent) {
    // A photo-like size where the grain exceeds a pixel: margins, the
    // softening blur and a texture much smaller than the picture (it wraps).
    const ImageBuffer image = tiletest::makeTestImage(900, 300, 3, 12);
    std::unique_ptr<GrainMod> grain = grainOf(3, 60.0f, 100.0f, 0.0f);
    ASSERT_GT(grain->marginFor(900, 300, 1.0f), 0);
    const ImageBuffer one = renderWithThreads(*grain, image, 1);
    for (int threads : {3, 8}) EXPECT_TRUE(testimages::floatsIdentical(one, renderWithThreads(*grain, image, threads)));
    // (The pipeline renders clones; the tile's own texture comes from a
    // render of its own.)
    EXPECT_TRUE(testimages::floatsIdentical(one, tiletest::renderFloat(*grain, image)));
    ASSERT_NE(grain->texture(), nullptr);
    EXPECT_EQ(grain->texture()->width, 355);  // 357 less fmod(357, 1.625)
}

TEST(GrainMod, TextureSideBelowOneMeansNoTexture) {
    // A 60 x 40 region of a 20000-pixel panorama at Scale 100: the grain
    // (25.5 pixels) is larger than the region's texture source (23 pixels).
    RenderRegion region;
    region.fullWidth = 20000;
    region.fullHeight = 8000;
    region.originX = 700;
    region.originY = 300;
    RenderArgs args;
    args.region = &region;
    const ImageBuffer image = tiletest::makeTestImage(60, 40, 3, 5);
    std::unique_ptr<GrainMod> grain = grainOf(3, 80.0f, 100.0f, 50.0f);
    EXPECT_TRUE(testimages::floatsIdentical(image, tiletest::renderFloat(*grain, image, &args)));
    ASSERT_NE(grain->texture(), nullptr);
    EXPECT_EQ(grain->texture()->data, nullptr);
    // Images too small for any texture, float and 8-bit.
    const ImageBuffer tiny = tiletest::makeTestImage(2, 1, 4, 5);
    EXPECT_TRUE(testimages::floatsIdentical(tiny, tiletest::renderFloat(*grain, tiny)));
    const ImageBuffer tinyBytes = tiletest::bytesOf(tiny);
    EXPECT_TRUE(testimages::bytesIdentical(tinyBytes, tiletest::render8(*grain, tinyBytes)));
}

TEST(GrainMod, ToneCurvesFadeTheEnds) {
    const float* v2 = grainToneCurveV2().table.data;
    const float* v3 = grainToneCurveV3().table.data;
    for (const float* table : {v2, v3}) {
        EXPECT_EQ(pixel::curveLookup(table, 0.0f), 0.0f);
        EXPECT_NEAR(pixel::curveLookup(table, 255.0f), 0.0f, 1e-6f);
        EXPECT_NEAR(pixel::curveLookup(table, 127.5f), 1.0f, 1e-3f);
    }
    // At 0.92 of white version 3 already fades; version 2 does not yet.
    EXPECT_LT(pixel::curveLookup(v3, 0.92f * 255.0f), pixel::curveLookup(v2, 0.92f * 255.0f) - 0.05f);
    EXPECT_EQ(&grainToneCurveV2(), &grainToneCurveV2());  // built once
}

TEST(GrainLegacy, RandomTableIsFixed) {
    const float* table = grainRandomTable();
    EXPECT_EQ(table, grainRandomTable());
    for (int32_t i = 0; i < kGrainRandomTableSize; ++i) {
        ASSERT_TRUE(table[i] >= 0.0f && table[i] <= 0.999f) << i;
        ASSERT_EQ(table[i], static_cast<float>(round(table[i] * 1000.0) * 0.001)) << i;
    }
}

TEST(GrainLegacy, VersionOneRunsTheLegacyEngine) {
    const ImageBuffer image = tiletest::makeTestImage(80, 90, 4, 6);
    std::unique_ptr<GrainMod> grain = grainOf(1, 55.0f, 100.0f, 30.0f);
    GrainLegacyMod legacy(55.0f, 100.0f, 30.0f);
    EXPECT_EQ(grain->marginFor(4000, 3000, 1.0f), legacy.marginFor(4000, 3000, 1.0f));
    EXPECT_EQ(legacy.marginFor(4000, 3000, 1.0f), 11);  // ceil(2 g) + 1 with g = 5
    const ImageBuffer viaGrain = tiletest::renderFloat(*grain, image);
    EXPECT_TRUE(testimages::floatsIdentical(viaGrain, tiletest::renderFloat(legacy, image)));
    EXPECT_FALSE(testimages::floatsIdentical(image, viaGrain));
    EXPECT_TRUE(samplesInRange(viaGrain));
    // A second render, and a clone, give the same grain.
    EXPECT_TRUE(testimages::floatsIdentical(viaGrain, tiletest::renderFloat(legacy, image)));
    tiletest::expectCloneCopyFromEquals(*grain);
    tiletest::expectFilterRoundTrip(*grain);
    std::unique_ptr<GrainMod> off = grainOf(1, 0.0f, 60.0f, 50.0f);
    tiletest::expectIdentityLeavesImage(*off);
    // Which grains count as near a band edge depends on where the bands
    // start, so version 1 is exempt from the banded-equals-whole check; a
    // render with the same bands repeats exactly.
    const ImageBuffer tall = tiletest::makeTestImage(200, 400, 3, 7);
    EXPECT_TRUE(testimages::floatsIdentical(renderWithThreads(*grain, tall, 8), renderWithThreads(*grain, tall, 8)));
}

TEST(GrainLegacy, TableIndexBeyond32Bits) {
    // A band near the bottom of a 3-gigapixel picture: the whole-picture
    // pixel index of its grains passes 2^31 (the sanitizer build checks).
    RenderRegion region;
    region.fullWidth = 80000;
    region.fullHeight = 40000;
    region.originX = 79000;
    region.originY = 39900;
    RenderArgs args;
    args.region = &region;
    GrainLegacyMod legacy(60.0f, 2.0f, 50.0f);
    const ImageBuffer image = tiletest::makeTestImage(100, 100, 3, 2);
    const ImageBuffer once = tiletest::renderFloat(legacy, image, &args);
    EXPECT_TRUE(samplesInRange(once));
    EXPECT_TRUE(testimages::floatsIdentical(once, tiletest::renderFloat(legacy, image, &args)));
}

TEST(GrainMod, HostileValuesStayDefined) {
    RenderRegion region;
    region.fullWidth = 6000;
    region.fullHeight = 4000;
    region.originY = 1000;
    RenderArgs args;
    args.region = &region;
    const ImageBuffer image = tiletest::standardImage(3);
    const ImageBuffer bytes = tiletest::bytesOf(image);
    for (uint32_t version : {1u, 2u, 3u}) {
        for (int32_t index = 0; index < 3; ++index) {
            for (float hostile : {kNaN, 1e30f, -1e30f, 3e4f, std::numeric_limits<float>::infinity()}) {
                SCOPED_TRACE(testing::Message() << "version " << version << " var " << index << " = " << hostile);
                std::unique_ptr<GrainMod> grain = grainOf(version, 50.0f, 50.0f, 50.0f);
                grain->floatAt(index)->value = hostile;
                grain->marginFor(6000, 4000, 1.0f);
                EXPECT_TRUE(samplesInRange(tiletest::renderFloat(*grain, image)));
                EXPECT_TRUE(samplesInRange(tiletest::renderFloat(*grain, image, &args)));
                tiletest::render8(*grain, bytes, &args);
            }
        }
    }
    // A pixel scale that is not a number counts as 1.
    region.scale = kNaN;
    std::unique_ptr<GrainMod> grain = grainOf(3, 50.0f, 50.0f, 50.0f);
    EXPECT_TRUE(samplesInRange(tiletest::renderFloat(*grain, image, &args)));
}

}  // namespace
