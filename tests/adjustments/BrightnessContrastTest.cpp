#include <gtest/gtest.h>

#include <cmath>

#include "adjustments/BrightnessContrast.h"
#include "adjustments/ToneTestSupport.h"
#include "pixels/PixelKit.h"

using namespace tonetest;

TEST(BrightnessContrastSetup, Registered) {
    expectRegistered(LuminanceContrastMod(1.0f, 90.0f));
    expectRegistered(BrightnessMod(1.0f));
}

TEST(BrightnessContrastSetup, VarsNamesAndTracks) {
    LuminanceContrastMod contrast(1.0f, 90.0f);
    EXPECT_TRUE(contrast.name == "Luminance Contrast");
    expectFloatVar(contrast, {0, "Amount", 1.0f, 0.0f, 2.0f, 0.0f, 100.0f, true, 10, nullptr});
    expectFloatVar(contrast, {1, "Center", 90.0f, 0.0f, 255.0f, 0.0f, 255.0f, false, 8, "Contrast Origin"});
    EXPECT_EQ(contrast.animTracks.count, 2);
    EXPECT_EQ(contrast.version, 1u);

    BrightnessMod brightness(1.0f);
    EXPECT_TRUE(brightness.name == "Brightness");
    expectFloatVar(brightness, {0, "Amount", 1.0f, 0.0f, 2.0f, 0.0f, 100.0f, true, 10, nullptr});
    EXPECT_EQ(brightness.animTracks.count, 1);
    EXPECT_TRUE(brightness.description == "Adjust overall image brightness.");
}

// ---- Luminance Contrast ------------------------------------------------------------

TEST(LuminanceContrast, AmountZeroGivesEveryPixelTheCenterLuminance) {
    LuminanceContrastMod flat(0.0f, 90.0f);
    const ImageBuffer out = renderedFloat(flat, tiletest::standardImage(3));
    for (int64_t p = 0; p < out.sampleCount() / 3; ++p)
        ASSERT_NEAR(pixel::luminance(out.floats() + p * 3, 3), 90.0f, 0.01f) << p;
    // Black and white take the centre in every sample.
    EXPECT_EQ(out.floats()[0], 90.0f);
    EXPECT_EQ(out.floats()[3], 90.0f);
}

TEST(LuminanceContrast, FixedPoints) {
    // A pixel on the centre stays; white stays white when steepened.
    const ImageBuffer pixel = floatRow(3, {120.0f, 80.0f, 40.0f});
    const float L = pixel::luminance(pixel.floats(), 3);
    LuminanceContrastMod onCenter(1.5f, L);
    EXPECT_TRUE(tiletest::sameFloatImages(pixel, renderedFloat(onCenter, pixel)));
    LuminanceContrastMod steep(1.5f, 90.0f);
    const ImageBuffer white = renderedFloat(steep, floatRow(4, {255.0f, 255.0f, 255.0f, 255.0f}));
    for (int k = 0; k < 4; ++k) EXPECT_EQ(white.floats()[k], 255.0f);
    // Images of one channel use their sample as the luminance.
    LuminanceContrastMod flat(0.0f, 90.0f);
    const ImageBuffer grey = renderedFloat(flat, floatRow(1, {20.0f, 200.0f}));
    EXPECT_FLOAT_EQ(grey.floats()[0], 90.0f);
    EXPECT_FLOAT_EQ(grey.floats()[1], 90.0f);
}

TEST(LuminanceContrast, ZeroSpansAndNegativeBasesStayDefined) {
    // Centre 255 with a luminance above it, centre 0 with one below: the
    // power would divide by 0; the pixel is left alone.
    LuminanceContrastMod atWhite(0.5f, 255.0f);
    const ImageBuffer bright = floatRow(3, {300.0f, 300.0f, 300.0f});
    EXPECT_TRUE(tiletest::sameFloatImages(bright, renderedFloat(atWhite, bright)));
    LuminanceContrastMod atBlack(0.5f, 0.0f);
    const ImageBuffer dark = floatRow(3, {-20.0f, -20.0f, -20.0f});
    EXPECT_TRUE(tiletest::sameFloatImages(dark, renderedFloat(atBlack, dark)));
    LuminanceContrastMod middle(0.5f, 90.0f);
    EXPECT_TRUE(allFinite(renderedFloat(middle, floatRow(3, {300.0f, 300.0f, 300.0f, -20.0f, -20.0f, -20.0f}))));
    renderedFloat(middle, hostileRow());
}

TEST(LuminanceContrast, PixelStepMatchesTheTile) {
    // The per-pixel step other tiles call gives what the tile gives.
    LuminanceContrastMod tile(1.4f, 110.0f);
    const ImageBuffer image = tiletest::standardImage(4);
    ImageBuffer stepped = tiletest::copyOf(image);
    for (int64_t p = 0; p < stepped.sampleCount() / 4; ++p)
        luminanceContrastPixel(stepped, stepped.floats() + p * 4, 1.4f, 110.0f);
    EXPECT_TRUE(tiletest::sameFloatImages(renderedFloat(tile, image), stepped));
    const ImageBuffer bytes = tiletest::bytesOf(image);
    ImageBuffer stepped8 = tiletest::copyOf8(bytes);
    for (int64_t p = 0; p < stepped8.sampleCount() / 4; ++p)
        luminanceContrastPixel8(stepped8, stepped8.bytes() + p * 4, 1.4f, 110.0f);
    EXPECT_TRUE(tiletest::sameByteImages(tiletest::render8(tile, bytes), stepped8));
}

// ---- Brightness ------------------------------------------------------------------

TEST(Brightness, StraightCurveFromTheAmount) {
    const struct {
        float amount;
        float input;
        float expected;
        int expected8;
    } cases[] = {
        {0.5f, 200.0f, 100.00001f, 100},  // (0,0)-(1,0.5), up to the table's interpolation
        {0.5f, 255.0f, 127.5f, 127},
        {0.5f, 0.0f, 0.0f, 0},
        {1.5f, 0.0f, 127.5f, 127},        // (0,0.5)-(1,1): black lifts
        {1.5f, 255.0f, 255.0f, 255},
        {0.0f, 200.0f, 0.0f, 0},
        {2.0f, 3.0f, 255.0f, 255},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "Amount " << c.amount << ", sample " << c.input);
        BrightnessMod brightness(c.amount);
        // The fourth sample is mapped like the others.
        const ImageBuffer out = renderedFloat(brightness, floatRow(4, {c.input, c.input, c.input, c.input}));
        for (int k = 0; k < 4; ++k) EXPECT_EQ(out.floats()[k], c.expected);
        const int b = static_cast<int>(c.input);
        const ImageBuffer out8 = tiletest::render8(brightness, byteRow(4, {b, b, b, b}));
        for (int k = 0; k < 4; ++k) EXPECT_EQ(out8.bytes()[k], c.expected8);
    }
}

TEST(Brightness, HostileSamplesReadTheTableEnds) {
    BrightnessMod brightness(0.5f);
    const ImageBuffer out = renderedFloat(brightness, hostileRow());
    EXPECT_EQ(out.floats()[0], 0.0f);      // NaN reads the first entry
    EXPECT_EQ(out.floats()[3], 127.5f);    // infinity reads the last
    EXPECT_EQ(out.floats()[4], 0.0f);
}

// ---- Properties ----------------------------------------------------------------------

TEST(BrightnessContrastProperties, HoldForBothTiles) {
    LuminanceContrastMod identityContrast(1.0f, 40.0f);
    BrightnessMod identityBrightness(1.0f);
    tiletest::expectIdentityLeavesImage(identityContrast);
    tiletest::expectIdentityLeavesImage(identityBrightness);

    LuminanceContrastMod steeper(1.25f, 120.0f);
    LuminanceContrastMod flatter(0.5f, 60.0f);
    BrightnessMod darker(0.5f);
    BrightnessMod lighter(1.5f);
    for (ImageMod* tile : std::initializer_list<ImageMod*>{&steeper, &flatter, &darker, &lighter}) {
        SCOPED_TRACE(tile->name.c_str());
        expectTileProperties(*tile, Selectors::kHonoured);
    }
}
