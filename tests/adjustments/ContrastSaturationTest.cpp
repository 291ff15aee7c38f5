#include <gtest/gtest.h>

#include <cmath>

#include "adjustments/ContrastSaturation.h"
#include "adjustments/ToneTestSupport.h"

using namespace tonetest;

// ---- Set-up ------------------------------------------------------------------

TEST(ContrastSaturationSetup, Registered) {
    expectRegistered(ContrastMod(2, 1.0f, 90.0f));
    expectRegistered(SaturationMod(2, 1.0f));
    expectRegistered(ContrastSaturationMod());
}

TEST(ContrastSaturationSetup, VarsNamesAndVersions) {
    ContrastMod contrast(2, 1.0f, 90.0f);
    EXPECT_TRUE(contrast.name == "Contrast");
    EXPECT_TRUE(contrast.displayName == "Contrast");
    expectFloatVar(contrast, {0, "Amount", 1.0f, 0.0f, 2.0f, 0.0f, 100.0f, true, 10, nullptr});
    expectFloatVar(contrast, {1, "Center", 90.0f, 0.0f, 255.0f, 0.0f, 255.0f, false, 8, "Contrast Origin"});
    EXPECT_EQ(contrast.animTracks.count, 2);
    EXPECT_EQ(contrast.version, 2u);

    SaturationMod saturation(2, 1.0f);
    EXPECT_TRUE(saturation.name == "Saturation");
    expectFloatVar(saturation, {0, "Amount", 1.0f, 0.0f, 2.0f, 0.0f, 100.0f, true, 10, nullptr});
    EXPECT_EQ(saturation.animTracks.count, 1);
    EXPECT_EQ(saturation.version, 2u);
    EXPECT_TRUE(saturation.description == "Adjust color intensity.");

    ContrastSaturationMod both;
    EXPECT_TRUE(both.name == "Contrast Saturation");
    EXPECT_TRUE(both.displayName == "Contrast");
    expectFloatVar(both, {0, "Amount", 1.0f, 0.0f, 2.0f, 0.0f, 100.0f, true, 10, nullptr});
    expectFloatVar(both, {1, "Center", 90.0f, 0.0f, 255.0f, 0.0f, 255.0f, false, 10, "Brightness Origin"});
    EXPECT_EQ(both.animTracks.count, 0);
    EXPECT_EQ(both.version, 1u);
}

TEST(ContrastSaturationSetup, ContrastVersionShowsOrHidesTheCenter) {
    ContrastMod contrast(1, 1.0f, 90.0f);
    const struct {
        uint32_t version;
        bool shown;
        const char* description;
    } cases[] = {
        {2, false, "Adjust contrast between the light and dark regions of your image."},
        {1, true,
         "Adjust contrast. The Contrast Origin slider determines the brightness value from which the contrast "
         "emanates."},
        {3, true,
         "Adjust contrast. The Contrast Origin slider determines the brightness value from which the contrast "
         "emanates."},
    };
    for (const auto& c : cases) {
        contrast.setVersion(c.version);
        EXPECT_EQ(contrast.var(1)->shown != 0, c.shown) << c.version;
        EXPECT_TRUE(contrast.description == c.description) << c.version;
    }
    // clone keeps a loaded version (and with it the hidden or shown Center).
    std::unique_ptr<ImageMod> copy(contrast.clone());
    EXPECT_EQ(copy->version, 3u);
    EXPECT_TRUE(copy->var(1)->shown);
}

// ---- Contrast ------------------------------------------------------------------

TEST(Contrast, AmountZeroFlattensToTheCenterOfTheVersion) {
    // Version 1 pivots at the Center var, version 2 (and above) at 90.
    const struct {
        uint32_t version;
        float center;
        float expected;
    } cases[] = {{1, 200.0f, 200.0f}, {2, 200.0f, 90.0f}, {3, 30.0f, 90.0f}, {0, 30.0f, 30.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "version " << c.version);
        ContrastMod contrast(c.version, 0.0f, c.center);
        const ImageBuffer out = renderedFloat(contrast, tiletest::standardImage(4));
        for (int64_t i = 0; i < out.sampleCount(); ++i) ASSERT_EQ(out.floats()[i], c.expected) << i;
        const ImageBuffer out8 = tiletest::render8(contrast, tiletest::bytesOf(tiletest::standardImage(3)));
        for (int64_t i = 0; i < out8.sampleCount(); ++i) ASSERT_EQ(out8.bytes()[i], int(c.expected)) << i;
    }
}

TEST(Contrast, BendsEachSideOfTheCenter) {
    // Amount 1.5: exponent 1 / (2 - 1.5) = 2.
    ContrastMod contrast(1, 1.5f, 100.0f);
    const ImageBuffer out = renderedFloat(contrast, floatRow(1, {50.0f, 100.0f, 177.5f, 255.0f, 0.0f}));
    EXPECT_FLOAT_EQ(out.floats()[0], 25.0f);                                // (50/100)^2 100
    EXPECT_EQ(out.floats()[1], 100.0f);                                     // on the centre
    EXPECT_FLOAT_EQ(out.floats()[2], 255.0f - 0.25f * 155.0f);              // 255 - (77.5/155)^2 155
    EXPECT_EQ(out.floats()[3], 255.0f);
    EXPECT_EQ(out.floats()[4], 0.0f);
    // Center 0: every sample above uses the whole span 255; 0 stays 0.
    ContrastMod fromBlack(1, 1.5f, 0.0f);
    const ImageBuffer black = renderedFloat(fromBlack, floatRow(1, {0.0f, 127.5f}));
    EXPECT_EQ(black.floats()[0], 0.0f);
    EXPECT_FLOAT_EQ(black.floats()[1], 255.0f - 0.25f * 255.0f);
}

TEST(Contrast, SamplesOutsideTheRangeStayDefined) {
    // A span of 0 (Center 255) is skipped, a negative power base is taken as
    // 0: no NaN or infinity comes out of finite samples.
    ContrastMod atWhite(1, 0.5f, 255.0f);
    ImageBuffer out = renderedFloat(atWhite, floatRow(1, {300.0f, 100.0f}));
    EXPECT_EQ(out.floats()[0], 300.0f);
    EXPECT_TRUE(allFinite(out));
    ContrastMod atBlack(1, 0.5f, 0.0f);
    out = renderedFloat(atBlack, floatRow(1, {-20.0f}));
    EXPECT_EQ(out.floats()[0], -20.0f);
    ContrastMod middle(2, 0.5f, 0.0f);
    out = renderedFloat(middle, floatRow(1, {300.0f, -20.0f}));
    EXPECT_EQ(out.floats()[0], 255.0f);  // base (255 - 300)/165 taken as 0
    EXPECT_EQ(out.floats()[1], 0.0f);    // base -20/90 taken as 0
    // NaN samples stay NaN (no side of the centre), bytes are unaffected.
    out = renderedFloat(middle, hostileRow());
    EXPECT_TRUE(std::isnan(out.floats()[0]));
}

// ---- Saturation ----------------------------------------------------------------

TEST(Saturation, AmountZeroTurnsPixelsGrey) {
    const ImageBuffer pixel = floatRow(4, {100.0f, 150.0f, 200.0f, 40.0f});
    // Version 2: R, G, B become the root-mean-square brightness; the fourth
    // sample is left alone.
    SaturationMod rms(2, 0.0f);
    ImageBuffer out = renderedFloat(rms, pixel);
    const float L2 = static_cast<float>(std::sqrt(0.299 * 10000.0 + 0.587 * 22500.0 + 0.114 * 40000.0));
    for (int k = 0; k < 3; ++k) EXPECT_EQ(out.floats()[k], L2);
    EXPECT_EQ(out.floats()[3], 40.0f);
    // Version 1: every sample, the fourth included, becomes the luminance.
    SaturationMod linear(1, 0.0f);
    out = renderedFloat(linear, pixel);
    const float L1 = static_cast<float>(0.299 * 100.0 + 0.587 * 150.0 + 0.114 * 200.0);
    for (int k = 0; k < 4; ++k) EXPECT_EQ(out.floats()[k], L1);
}

TEST(Saturation, FactorsAboveOne) {
    // Amount 1.5 gives the factor 2: v 2 - L.
    SaturationMod linear(1, 1.5f);
    ImageBuffer out = renderedFloat(linear, floatRow(3, {100.0f, 150.0f, 200.0f}));
    EXPECT_FLOAT_EQ(out.floats()[0], 59.25f);
    EXPECT_FLOAT_EQ(out.floats()[2], 259.25f > 255.0f ? 255.0f : 259.25f);
    // Amount 2 gives a finite factor near 10^5: every sample that differs
    // from its grey goes to 0 or 255.
    SaturationMod full(2, 2.0f);
    out = renderedFloat(full, floatRow(3, {100.0f, 150.0f, 200.0f, 128.0f, 128.0f, 128.0f}));
    EXPECT_EQ(out.floats()[0], 0.0f);
    EXPECT_EQ(out.floats()[2], 255.0f);
    EXPECT_TRUE(allFinite(out));
    EXPECT_NEAR(out.floats()[3], 128.0f, 0.01f);
}

TEST(Saturation, RootMeanSquareNeedsThreeChannels) {
    // Version 2 reads three samples: images of one or two channels are left
    // alone; version 1 uses the first sample as the luminance.
    for (int32_t channels : {1, 2}) {
        SCOPED_TRACE(channels);
        const ImageBuffer image = floatRow(channels, {10.0f, 200.0f, 30.0f, 40.0f});
        SaturationMod rms(2, 0.0f);
        EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(rms, image)));
        const ImageBuffer bytes = tiletest::bytesOf(image);
        EXPECT_TRUE(tiletest::sameByteImages(bytes, tiletest::render8(rms, bytes)));
    }
    SaturationMod linear(1, 0.0f);
    const ImageBuffer grey = renderedFloat(linear, floatRow(1, {10.0f, 200.0f}));
    EXPECT_EQ(grey.floats()[0], 10.0f);
    EXPECT_EQ(grey.floats()[1], 200.0f);
}

// ---- Contrast Saturation -------------------------------------------------------

TEST(ContrastSaturation, RunsContrastThenCompensatingSaturation) {
    // Amount 1.5 is a version-1 Contrast of 1.5 about the Center, then a
    // version-1 Saturation of 1 + 0.44 (1 - 1.5) = 0.78.
    ContrastSaturationMod both;
    both.floatAt(0)->value = 1.5f;
    both.floatAt(1)->value = 120.0f;
    ContrastMod contrast(1, 1.5f, 120.0f);
    SaturationMod saturation(1, 0.78f);
    for (int32_t channels : {3, 4}) {
        const ImageBuffer image = tiletest::standardImage(channels);
        ImageBuffer expected = renderedFloat(contrast, image);
        saturation.applyFloat(expected, nullptr);
        EXPECT_TRUE(tiletest::sameFloatImages(expected, renderedFloat(both, image)));
        const ImageBuffer bytes = tiletest::bytesOf(image);
        ImageBuffer expected8 = tiletest::render8(contrast, bytes);
        saturation.apply8(expected8, nullptr);
        EXPECT_TRUE(tiletest::sameByteImages(expected8, tiletest::render8(both, bytes)));
    }
}

// ---- Properties ------------------------------------------------------------------

TEST(ContrastSaturationProperties, IdentityAmountLeavesPixels) {
    ContrastMod contrast1(1, 1.0f, 40.0f);
    ContrastMod contrast2(2, 1.0f, 90.0f);
    SaturationMod saturation1(1, 1.0f);
    SaturationMod saturation2(2, 1.0f);
    ContrastSaturationMod both;
    for (ImageMod* tile : std::initializer_list<ImageMod*>{&contrast1, &contrast2, &saturation1, &saturation2, &both}) {
        SCOPED_TRACE(tile->name.c_str());
        tiletest::expectIdentityLeavesImage(*tile);
    }
}

TEST(ContrastSaturationProperties, EveryVersionHoldsTheProperties) {
    ContrastMod contrast1(1, 1.25f, 120.0f);
    ContrastMod contrast2(2, 0.625f, 200.0f);
    ContrastMod contrast3(3, 1.75f, 10.0f);
    SaturationMod saturation1(1, 0.5f);
    SaturationMod saturation2(2, 1.5f);
    SaturationMod saturation3(3, 1.25f);
    ContrastSaturationMod both;
    both.floatAt(0)->value = 0.75f;
    both.floatAt(1)->value = 100.0f;
    for (ImageMod* tile : std::initializer_list<ImageMod*>{&contrast1, &contrast2, &contrast3, &saturation1,
                                                           &saturation2, &saturation3}) {
        SCOPED_TRACE(testing::Message() << tile->name.c_str() << " version " << tile->version);
        expectTileProperties(*tile, Selectors::kHonoured);
    }
    // The 8-bit form truncates after each of its two steps, and the
    // saturation factor scales the first step's error: the forms part by up
    // to two levels.
    expectTileProperties(both, Selectors::kHonoured, 2);
}
