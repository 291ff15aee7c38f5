#pragma once
// Helpers of the colour and tone tile tests: small images built from
// literal samples, the property checks every tile runs, and hostile vars.

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>

#include "foundation/ImageBuffer.h"
#include "framework/ImageMod.h"
#include "framework/TilePrototypes.h"
#include "support/TestTiles.h"
#include "support/TileProperties.h"

namespace tonetest {

// One row of pixels of `channels` samples each, from the samples listed.
inline ImageBuffer floatRow(int32_t channels, std::initializer_list<float> samples) {
    ImageBuffer image;
    const int32_t width = static_cast<int32_t>(samples.size()) / channels;
    EXPECT_TRUE(image.allocateFloat(width, 1, channels));
    int32_t i = 0;
    for (float s : samples) image.floats()[i++] = s;
    return image;
}

inline ImageBuffer byteRow(int32_t channels, std::initializer_list<int> samples) {
    ImageBuffer image;
    const int32_t width = static_cast<int32_t>(samples.size()) / channels;
    EXPECT_TRUE(image.allocate8(width, 1, channels));
    int32_t i = 0;
    for (int s : samples) image.bytes()[i++] = static_cast<uint8_t>(s);
    return image;
}

// A float image of one colour.
inline ImageBuffer flatImage(int32_t width, int32_t height, int32_t channels, float value) {
    ImageBuffer image;
    EXPECT_TRUE(image.allocateFloat(width, height, channels));
    for (int64_t i = 0; i < image.sampleCount(); ++i) image.floats()[i] = value;
    return image;
}

// Runs the float body on a copy.
inline ImageBuffer renderedFloat(ImageMod& tile, const ImageBuffer& image, const RenderArgs* args = nullptr) {
    return tiletest::renderFloat(tile, image, args);
}

// The property checks, on the standard images of 3 and 4 channels: banded
// equals whole, 8-bit within `tolerance` levels of float, selector weights
// (as the tile treats them),
// clone + copyFrom, and the filter-file round trip.
// How a tile treats the selector in front of it.
enum class Selectors {
    kHonoured,  // weight 0 is the identity, weight 1 the full effect
    kIgnored,   // any weight gives the full effect
    kFullOnly,  // only weight 1 is checked
};

inline void expectTileProperties(ImageMod& tile, Selectors selectors, int32_t tolerance = 1) {
    for (int32_t channels : {3, 4}) {
        SCOPED_TRACE(testing::Message() << channels << " channels");
        const ImageBuffer image = tiletest::standardImage(channels);
        tiletest::expectBandedEqualsWhole(tile, image);
        tiletest::expect8BitWithinLevel(tile, image, tolerance);
        tiletest::expectSelectorWeightOneIsNoSelector(tile, image);
        if (selectors == Selectors::kHonoured) {
            tiletest::expectSelectorWeightZeroIsIdentity(tile, image);
        } else if (selectors == Selectors::kIgnored) {
            WeightSelector zero(0.0f);
            RenderArgs args;
            args.selector = &zero;
            EXPECT_TRUE(tiletest::sameFloatImages(tiletest::renderFloat(tile, image),
                                                  tiletest::renderFloat(tile, image, &args)));
        }
    }
    tiletest::expectCloneCopyFromEquals(tile);
    tiletest::expectFilterRoundTrip(tile);
}

// Every sample of the float image is finite.
inline ::testing::AssertionResult allFinite(const ImageBuffer& image) {
    for (int64_t i = 0; i < image.sampleCount(); ++i) {
        if (!std::isfinite(image.floats()[i]))
            return ::testing::AssertionFailure() << "sample " << i << " is " << image.floats()[i];
    }
    return ::testing::AssertionSuccess();
}

// Samples that no photo holds but a hostile file or a wild chain can
// produce, on a 3-channel row.
inline ImageBuffer hostileRow() {
    const float inf = INFINITY;
    return floatRow(3, {NAN, 100.0f, 200.0f, inf, -inf, 50.0f, 1.0e30f, -1.0e30f, 300.0f, -20.0f, 255.5f, NAN});
}

}  // namespace tonetest

namespace tonetest {

// The expected set-up of a float var.
struct FloatVarSetup {
    int32_t index;
    const char* name;
    float start;
    float low, high;            // limits in force and track range
    float displayLow, displayHigh;
    bool useDisplayRange;
    int32_t ticks;
    const char* alias;  // null for none
};

inline void expectFloatVar(const ImageMod& tile, const FloatVarSetup& expected) {
    SCOPED_TRACE(testing::Message() << tile.name.c_str() << " var " << expected.index);
    const ModVar* v = tile.var(expected.index);
    ASSERT_TRUE(v);
    EXPECT_TRUE(v->name == expected.name) << v->name.c_str();
    const FloatValue* f = v->floatValue();
    ASSERT_TRUE(f);
    EXPECT_EQ(f->value, expected.start);
    EXPECT_EQ(f->minimum, expected.low);
    EXPECT_EQ(f->maximum, expected.high);
    EXPECT_TRUE(f->hasMinimum && f->hasMaximum);
    EXPECT_EQ(f->rangeLow, expected.low);
    EXPECT_EQ(f->rangeHigh, expected.high);
    EXPECT_EQ(f->displayLow, expected.displayLow);
    EXPECT_EQ(f->displayHigh, expected.displayHigh);
    EXPECT_EQ(f->useDisplayRange != 0, expected.useDisplayRange);
    EXPECT_EQ(f->tickCount, expected.ticks);
    EXPECT_EQ(v->controlCode, 0);
    if (expected.alias) {
        ASSERT_TRUE(v->alias);
        EXPECT_TRUE(*v->alias == expected.alias) << v->alias->c_str();
    } else {
        EXPECT_FALSE(v->alias);
    }
}

}  // namespace tonetest

namespace tonetest {

// The adjustment prototype list holds exactly one tile of the expected
// tile's XML name, equal to it (start values and version).
inline void expectRegistered(const ImageMod& expected) {
    GrowArray<ImageMod*> prototypes;
    addAdjustmentPrototypes(prototypes);
    int32_t found = 0;
    for (ImageMod* mod : prototypes) {
        if (!(mod->name == expected.name)) continue;
        ++found;
        EXPECT_TRUE(mod->equals(expected)) << expected.name.c_str();
        EXPECT_TRUE(mod->displayName == expected.displayName) << expected.name.c_str();
    }
    EXPECT_EQ(found, 1) << expected.name.c_str();
    for (ImageMod* mod : prototypes) delete mod;
}

}  // namespace tonetest
