#pragma once
// Helpers of the Shadows/Highlights, Exposure Curve, Advanced Contrast and
// hue curve tests: curves from point texts, curve vars set in place, and the
// checks for tiles that recompute a pixel even where it should stay (HSV or
// HSL round trips), which match the identity only within rounding.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "adjustments/ToneTestSupport.h"
#include "foundation/ImageBuffer.h"
#include "framework/ImageMod.h"
#include "support/TestTiles.h"
#include "support/TileProperties.h"

namespace lighthue {

inline Curve curveFrom(const char* points) {
    Curve curve(0);
    GrowString text(points);
    curve.setFromString(text);
    return curve;
}

// Replaces the points of the curve held by var `index` (keeping its wrap
// flag and hue offset) and tells the tile.
inline void setCurvePoints(ImageMod& tile, int32_t index, const char* points) {
    ModVar* v = tile.var(index);
    ASSERT_TRUE(v && v->curveValue());
    Curve& curve = v->curveValue()->curve;
    GrowString text(points);
    curve.setFromString(text);
    tile.varChanged(index);
}

inline void setFloat(ImageMod& tile, int32_t index, float value) {
    FloatValue* f = tile.floatAt(index);
    ASSERT_TRUE(f);
    f->value = value;
    tile.varChanged(index);
}

inline void setChoice(ImageMod& tile, int32_t index, int32_t selected) {
    ModVar* v = tile.var(index);
    ASSERT_TRUE(v && v->choiceValue());
    v->choiceValue()->selected = selected;
    tile.varChanged(index);
}

// Every sample within `tolerance` (float) or `levels` (bytes).
inline ::testing::AssertionResult floatsNear(const ImageBuffer& expected, const ImageBuffer& actual, float tolerance) {
    if (expected.sampleCount() != actual.sampleCount()) return ::testing::AssertionFailure() << "sizes differ";
    for (int64_t i = 0; i < expected.sampleCount(); ++i) {
        const float a = expected.floats()[i];
        const float b = actual.floats()[i];
        if (!(std::fabs(a - b) <= tolerance))
            return ::testing::AssertionFailure() << "sample " << i << ": " << a << " expected, " << b << " got";
    }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult bytesNear(const ImageBuffer& expected, const ImageBuffer& actual, int levels) {
    if (expected.sampleCount() != actual.sampleCount()) return ::testing::AssertionFailure() << "sizes differ";
    for (int64_t i = 0; i < expected.sampleCount(); ++i) {
        const int a = expected.bytes()[i];
        const int b = actual.bytes()[i];
        if (std::abs(a - b) > levels)
            return ::testing::AssertionFailure() << "sample " << i << ": " << a << " expected, " << b << " got";
    }
    return ::testing::AssertionSuccess();
}

// Under a selector of weight 0 the tile still recomputes each pixel with the
// neutral parameter: the image comes back within rounding (float) and at
// most one level lower (8-bit truncation). Tiles that move a black or white
// pixel's every sample to its new luminance (the luminance-curve step) are
// checked on 3 channels only: there a fourth sample takes the luminance too.
inline void expectSelectorZeroNearIdentity(ImageMod& tile, float tolerance = 2e-3f, bool fourChannels = true) {
    WeightSelector zero(0.0f);
    RenderArgs args;
    args.selector = &zero;
    for (int32_t channels : {3, 4}) {
        if (channels == 4 && !fourChannels) continue;
        SCOPED_TRACE(testing::Message() << channels << " channels");
        const ImageBuffer image = tiletest::standardImage(channels);
        EXPECT_TRUE(floatsNear(image, tiletest::renderFloat(tile, image, &args), tolerance));
        const ImageBuffer bytes = tiletest::bytesOf(image);
        EXPECT_TRUE(bytesNear(bytes, tiletest::render8(tile, bytes, &args), 1));
    }
}

// The standard checks for such a tile: banded equals whole, 8-bit within
// `levels` of float, weight 1 equals no selector, weight 0 near the
// identity, clone + copyFrom, filter round trip.
inline void expectRecomputingTileProperties(ImageMod& tile, int32_t levels = 1, bool fourChannels = true) {
    tonetest::expectTileProperties(tile, tonetest::Selectors::kFullOnly, levels);
    expectSelectorZeroNearIdentity(tile, 2e-3f, fourChannels);
}

// The HSV hue in degrees of a float pixel (0..255 samples).
inline float hueOf(const float* p) {
    float h = 0.0f, s = 0.0f, v = 0.0f;
    rgbToHsv(&h, &s, &v, p[0], p[1], p[2]);
    return h;
}

}  // namespace lighthue
