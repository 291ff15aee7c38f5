#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "adjustments/Dynamics.h"
#include "adjustments/ToneTestSupport.h"
#include "pixels/PixelKit.h"

using namespace tonetest;

namespace {

// DynamicsMod cannot be copied; tests build it in place through this.
#define DYNAMICS(name, amount, radius, method) \
    DynamicsMod name;                           \
    setUp(name, amount, radius, method)

void setUp(DynamicsMod& d, float amount, float radius, int32_t method) {
    d.floatAt(0)->value = amount;
    d.floatAt(1)->value = radius;
    d.varChanged(1);
    d.var(2)->choiceValue()->selected = method;
}

constexpr int32_t kOverlay = 0;
constexpr int32_t kLuminance = 1;

// An image of `background` with one pixel of `spot` in its middle.
ImageBuffer spotImage(float background, float spot) {
    ImageBuffer image = flatImage(21, 21, 3, background);
    for (int32_t c = 0; c < 3; ++c) image.floats()[(10 * 21 + 10) * 3 + c] = spot;
    return image;
}

}  // namespace

TEST(DynamicsSetup, VarsNamesTracksAndPrototype) {
    DynamicsMod d;
    EXPECT_TRUE(d.name == "Dynamics");
    EXPECT_TRUE(d.displayName == "Dynamics");
    expectFloatVar(d, {0, "Amount", 0.0f, 0.0f, 100.0f, 0.0f, 100.0f, false, 10, nullptr});
    expectFloatVar(d, {1, "Radius", 50.0f, 0.0f, 100.0f, 0.0f, 100.0f, false, 10, nullptr});
    ASSERT_TRUE(d.var(2)->choiceValue());
    EXPECT_EQ(d.var(2)->choiceValue()->optionCount(), 2);
    EXPECT_TRUE(d.var(2)->choiceText() == "Overlay");
    EXPECT_EQ(d.animTracks.count, 3);
    EXPECT_TRUE(d.description ==
                "Adjust the dynamic range of shadows and highlights relative to pixels within a given radius.");
    // The blur is the Gaussian one at the Radius (a Box blur's margin would
    // be 20 here).
    EXPECT_EQ(d.marginFor(4000, 3000, 1.0f), blurMarginFor(50.0f, kBlurGaussian, 4000, 3000));
    EXPECT_EQ(d.marginFor(4000, 3000, 1.0f), 30);
    expectRegistered(DynamicsMod());
}

TEST(Dynamics, MarginIsTheBlursMargin) {
    struct Case {
        float radius;
        int32_t width, height;
        int32_t margin;
    };
    const Case cases[] = {
        {50, 4000, 3000, 30},  // ceil(0.25 x 0.03 x 4000)
        {0, 4000, 3000, 0},
        {100, 6000, 4000, 180},
        {100, 4000, 10, 10},  // clamped to the height
    };
    for (const Case& c : cases) {
        DYNAMICS(d, 50.0f, c.radius, kOverlay);
        EXPECT_EQ(d.marginFor(c.width, c.height, 1.0f), c.margin) << c.radius;
    }
    // A Radius of another kind reads as 0.
    DynamicsMod d;
    d.var(1)->setValue(new ColorValue(1, 2, 3));
    d.varChanged(1);
    EXPECT_EQ(d.marginFor(4000, 3000, 1.0f), 0);
}

TEST(Dynamics, BlurRadiusFollowsRadiusThroughCopies) {
    // The blur's radius is read from "Radius" at every use: the margin
    // (ceil(q^2 0.03 4000)) follows it through clones and copies.
    DYNAMICS(source, 40.0f, 70.0f, kLuminance);
    EXPECT_EQ(source.marginFor(4000, 3000, 1.0f), 59);
    std::unique_ptr<ImageMod> copy(source.clone());
    EXPECT_EQ(copy->marginFor(4000, 3000, 1.0f), 30);
    copy->copyFrom(source);
    EXPECT_EQ(copy->marginFor(4000, 3000, 1.0f), 59);
    // A filter file that stores Radius as another kind: the copy's blur
    // falls back to 0 instead of keeping a stale radius.
    source.var(1)->setValue(new ButtonValue());
    copy->copyFrom(source);
    EXPECT_EQ(copy->marginFor(4000, 3000, 1.0f), 0);
    const ImageBuffer image = tiletest::standardImage(3);
    EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*copy, image)));
}

TEST(Dynamics, OverlayOnABlackNeighbourhoodDoublesShadowsAndWhitensHighlights) {
    // Radius 0 leaves the copy unblurred, so L_b is the pixel's own
    // luminance: 0 for these pixels, whose fourth sample alone is bright.
    // lo = 2 and hi = 0: below 127.5 doubles, from 127.5 up becomes 255.
    DYNAMICS(d, 100.0f, 0.0f, kOverlay);
    const ImageBuffer out = renderedFloat(d, floatRow(4, {0, 0, 0, 100, 0, 0, 0, 200, 0, 0, 0, 127.5f}));
    EXPECT_FLOAT_EQ(out.floats()[3], 200.0f);
    EXPECT_EQ(out.floats()[7], 255.0f);
    EXPECT_EQ(out.floats()[11], 255.0f);
    EXPECT_EQ(out.floats()[0], 0.0f);
    const ImageBuffer out8 = tiletest::render8(d, byteRow(4, {0, 0, 0, 100, 0, 0, 0, 200}));
    EXPECT_EQ(out8.bytes()[3], 200);
    EXPECT_EQ(out8.bytes()[7], 255);
}

TEST(Dynamics, OverlayAtMidGreyIsExactlyUnchanged) {
    // L_b = 127.5 gives t = 0 and lo = hi = 127.5 x 0.007843138 = 1 in float.
    const ImageBuffer row = floatRow(4, {127.5f, 127.5f, 127.5f, 37.3f, 127.5f, 127.5f, 127.5f, 201.7f});
    ASSERT_EQ(pixel::luminance(row.floats(), 4), 127.5f);
    DYNAMICS(d, 100.0f, 0.0f, kOverlay);
    EXPECT_TRUE(tiletest::sameFloatImages(row, renderedFloat(d, row)));
}

TEST(Dynamics, OverlayFollowsTheNeighbourhood) {
    // A mid-grey spot in a dark neighbourhood is lifted; in a bright one it
    // is pulled down.
    DYNAMICS(d, 80.0f, 100.0f, kOverlay);
    const ImageBuffer dark = renderedFloat(d, spotImage(20.0f, 100.0f));
    EXPECT_GT(dark.floats()[(10 * 21 + 10) * 3], 100.0f);
    const ImageBuffer bright = renderedFloat(d, spotImage(235.0f, 180.0f));
    EXPECT_LT(bright.floats()[(10 * 21 + 10) * 3], 180.0f);
}

TEST(Dynamics, LuminanceRaisesLocalContrast) {
    // A dark spot in a bright neighbourhood gets darker, a bright spot in a
    // dark one brighter; with no blur every pixel sits on its own centre.
    DYNAMICS(d, 50.0f, 100.0f, kLuminance);
    EXPECT_LT(renderedFloat(d, spotImage(200.0f, 100.0f)).floats()[(10 * 21 + 10) * 3], 100.0f);
    EXPECT_GT(renderedFloat(d, spotImage(40.0f, 120.0f)).floats()[(10 * 21 + 10) * 3], 120.0f);
    DYNAMICS(unblurred, 100.0f, 0.0f, kLuminance);
    const ImageBuffer image = tiletest::standardImage(3);
    EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(unblurred, image)));
}

TEST(Dynamics, EightBitOverlayClampsBeforeStoring) {
    // Amount 150 (beyond the slider, from a file) pushes the byte formulas
    // outside 0..255: they clamp instead of wrapping.
    DYNAMICS(d, 150.0f, 0.0f, kOverlay);
    const ImageBuffer out = tiletest::render8(d, byteRow(4, {0, 0, 0, 200, 255, 255, 255, 100}));
    EXPECT_EQ(out.bytes()[3], 255);  // 255 - trunc(-27.5) would wrap to 26
    EXPECT_EQ(out.bytes()[7], 0);    // trunc(-50) would wrap to 206
}

TEST(Dynamics, FewChannelsUseTheFirstSampleAsLuminance) {
    // Two channels: the second sample never steers the pixel (nor is a third
    // read); one channel works on its own.
    DYNAMICS(d, 70.0f, 0.0f, kOverlay);
    const ImageBuffer two = renderedFloat(d, floatRow(2, {100.0f, 7.0f, 100.0f, 250.0f}));
    EXPECT_EQ(two.floats()[0], two.floats()[2]);
    const ImageBuffer one = renderedFloat(d, floatRow(1, {100.0f, 200.0f}));
    EXPECT_TRUE(allFinite(one));
    EXPECT_NE(one.floats()[1], 200.0f);
    DYNAMICS(lum, 70.0f, 30.0f, kLuminance);
    EXPECT_TRUE(allFinite(renderedFloat(lum, floatRow(2, {100.0f, 7.0f, 10.0f, 250.0f}))));
}

TEST(Dynamics, IdentityAndHostileVars) {
    DYNAMICS(off, 0.0f, 80.0f, kLuminance);
    tiletest::expectIdentityLeavesImage(off);
    DYNAMICS(wrongAmount, 60.0f, 80.0f, kOverlay);
    wrongAmount.var(0)->setValue(new CurveValue());
    tiletest::expectIdentityLeavesImage(wrongAmount);
    // A Method of another kind reads as index 0, "Overlay".
    DYNAMICS(overlay, 60.0f, 80.0f, kOverlay);
    DYNAMICS(wrongMethod, 60.0f, 80.0f, kOverlay);
    wrongMethod.var(2)->setValue(new FloatValue(1.0f));
    const ImageBuffer image = tiletest::standardImage(3);
    EXPECT_TRUE(tiletest::sameFloatImages(renderedFloat(overlay, image), renderedFloat(wrongMethod, image)));
}

TEST(Dynamics, TileProperties) {
    // 8-bit within three levels: the 8-bit body blurs its copy with a
    // truncation after each pass, so its neighbourhood luminance can sit up
    // to about a level and a half below the float one, and the overlay moves
    // a sample by up to twice that.
    {
        SCOPED_TRACE("Overlay");
        DYNAMICS(d, 60.0f, 50.0f, kOverlay);
        expectTileProperties(d, Selectors::kHonoured, 3);
    }
    {
        // The luminance step at strength 1 (weight 0) still rounds through
        // its power curve, so only the full weight is checked.
        SCOPED_TRACE("Luminance");
        DYNAMICS(d, 40.0f, 50.0f, kLuminance);
        expectTileProperties(d, Selectors::kFullOnly, 3);
    }
}

TEST(Dynamics, BandedEqualsWholeWithAWideMargin) {
    // 300 rows: Radius 100 needs 9 rows of margin.
    const ImageBuffer image = tiletest::makeTestImage(40, 300, 3, 19);
    for (int32_t method : {kOverlay, kLuminance}) {
        SCOPED_TRACE(method);
        DYNAMICS(d, 75.0f, 100.0f, method);
        ASSERT_EQ(d.marginFor(40, 300, 1.0f), 9);
        tiletest::expectBandedEqualsWhole(d, image);
    }
}
