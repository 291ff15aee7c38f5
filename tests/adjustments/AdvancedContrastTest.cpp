#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "adjustments/AdvancedContrast.h"
#include "adjustments/BrightnessContrast.h"
#include "adjustments/LightHueTestSupport.h"
#include "pixels/PixelKit.h"

using namespace tonetest;
using namespace lighthue;

namespace {

enum Method { kRgb = 0, kLuminance = 1, kValue = 2, kLightness = 3 };

std::unique_ptr<AdvancedContrastMod> advancedContrast(float amount, float center, int32_t method) {
    auto tile = std::make_unique<AdvancedContrastMod>();
    tile->floatAt(0)->value = amount;
    tile->floatAt(1)->value = center;
    tile->var(2)->choiceValue()->selected = method;
    return tile;
}

// The per-pixel step a method hands each pixel, with the pixel's Amount.
void stepPixel(int32_t method, const ImageBuffer& image, float* px, float x, float K) {
    if (method == kLuminance) luminanceContrastPixel(image, px, x, K);
    if (method == kValue) applyValuePivotCurve(px, x, K);
    if (method == kLightness) applyLightnessPivotCurve(px, x, K);
}
void stepPixel(int32_t method, const ImageBuffer& image, uint8_t* px, float x, float K) {
    if (method == kLuminance) luminanceContrastPixel8(image, px, x, K);
    if (method == kValue) applyValuePivotCurve8(px, x, K);
    if (method == kLightness) applyLightnessPivotCurve8(px, x, K);
}

}  // namespace

TEST(AdvancedContrastSetup, VarsAndTracks) {
    AdvancedContrastMod tile;
    EXPECT_TRUE(tile.name == "Advanced Contrast");
    EXPECT_TRUE(tile.displayName == "Advanced Contrast");
    EXPECT_TRUE(tile.description ==
                "Adjust contrast based on different brightness algorithms. The Contrast Origin slider determines the "
                "brightness value from which the contrast emanates.");
    EXPECT_EQ(tile.version, 1u);
    expectFloatVar(tile, {0, "Amount", 1.0f, 0.0f, 2.0f, 0.0f, 100.0f, true, 10, nullptr});
    expectFloatVar(tile, {1, "Center", 90.0f, 0.0f, 255.0f, 0.0f, 255.0f, false, 8, "Contrast Origin"});
    ASSERT_EQ(tile.vars.count, 3);
    const ModVar* method = tile.var(2);
    EXPECT_TRUE(method->name == "Method");
    EXPECT_EQ(method->controlCode, 14);
    ASSERT_TRUE(method->choiceValue());
    EXPECT_EQ(method->choiceValue()->selected, 0);
    const char* options[] = {"RGB", "Luminance", "Value", "Lightness"};
    ASSERT_EQ(method->choiceValue()->optionCount(), 4);
    for (int32_t i = 0; i < 4; ++i) EXPECT_TRUE(method->choiceValue()->lists[0][i] == options[i]);
    EXPECT_EQ(tile.animTracks.count, 3);
}

TEST(AdvancedContrast, RgbMethodWorkedValues) {
    // Centre 90: e = 0.5 at Amount 0.5, e = 2 at Amount 1.5; every sample
    // alone, the fourth included; a sample on the centre is kept.
    struct Row {
        float amount;
        float in[4];
        float out[4];
    } rows[] = {
        {0.5f, {22.5f, 213.75f, 90.0f, 255.0f}, {45.0f, 172.5f, 90.0f, 255.0f}},
        {1.5f, {45.0f, 172.5f, 90.0f, 0.0f}, {22.5f, 213.75f, 90.0f, 0.0f}},
        {0.0f, {0.0f, 255.0f, 3.0f, 200.0f}, {90.0f, 90.0f, 90.0f, 90.0f}},   // all onto the centre
        {2.0f, {0.0f, 89.0f, 91.0f, 90.0f}, {0.0f, 0.0f, 255.0f, 90.0f}},     // e infinite
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "Amount " << r.amount);
        auto tile = advancedContrast(r.amount, 90.0f, kRgb);
        const ImageBuffer out = renderedFloat(*tile, floatRow(4, {r.in[0], r.in[1], r.in[2], r.in[3]}));
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(out.floats()[k], r.out[k], 1e-3f) << k;
    }
    // Amount 0 collapses onto the centre exactly, in both forms.
    auto flat = advancedContrast(0.0f, 90.0f, kRgb);
    const ImageBuffer out = tiletest::renderFloat(*flat, tiletest::standardImage(4));
    for (int64_t i = 0; i < out.sampleCount(); ++i) ASSERT_EQ(out.floats()[i], 90.0f) << i;
    const ImageBuffer out8 = tiletest::render8(*flat, tiletest::bytesOf(tiletest::standardImage(4)));
    for (int64_t i = 0; i < out8.sampleCount(); ++i) ASSERT_EQ(out8.bytes()[i], 90) << i;
}

TEST(AdvancedContrast, RgbMethodAtTheEndsOfTheCentre) {
    // Centre 0 or 255 leaves one side empty: no sample divides by zero; a
    // sample outside 0..255 that would reach the empty side is kept.
    for (float K : {0.0f, 255.0f}) {
        SCOPED_TRACE(testing::Message() << "centre " << K);
        auto tile = advancedContrast(0.5f, K, kRgb);
        const ImageBuffer out = renderedFloat(*tile, floatRow(3, {0.0f, 100.0f, 255.0f, -20.0f, 300.0f, 128.0f}));
        EXPECT_TRUE(allFinite(out));
        if (K == 0.0f) {
            EXPECT_EQ(out.floats()[3], -20.0f);
        } else {
            EXPECT_EQ(out.floats()[4], 300.0f);
            EXPECT_EQ(out.floats()[3], 0.0f);  // its base clamped at 0
        }
        renderedFloat(*tile, hostileRow());
    }
    // A negative sample below a positive centre: the base is clamped at 0.
    auto tile = advancedContrast(0.5f, 90.0f, kRgb);
    EXPECT_EQ(renderedFloat(*tile, floatRow(3, {-20.0f, 90.0f, 90.0f})).floats()[0], 0.0f);
}

TEST(AdvancedContrast, OtherMethodsHandEachPixelItsAmount) {
    // Luminance, Value and Lightness run their per-pixel step with the
    // pixel's Amount (not the exponent): 1 + w (a - 1) under a selector.
    WeightSelector byRed(1.0f, redWeight);
    RenderArgs args;
    args.selector = &byRed;
    for (int32_t method : {kLuminance, kValue, kLightness}) {
        for (float amount : {0.4f, 1.6f}) {
            SCOPED_TRACE(testing::Message() << "method " << method << ", Amount " << amount);
            auto tile = advancedContrast(amount, 120.0f, method);
            const ImageBuffer image = tiletest::standardImage(4);
            const RenderArgs* none = nullptr;
            for (const RenderArgs* a : {none, static_cast<const RenderArgs*>(&args)}) {
                ImageBuffer expected = tiletest::copyOf(image);
                for (int64_t p = 0; p < expected.sampleCount() / 4; ++p) {
                    float* px = expected.floats() + p * 4;
                    const float x = a ? pixel::weightedFactor(amount, redWeight(px, 4, 0, 0)) : amount;
                    stepPixel(method, expected, px, x, 120.0f);
                }
                EXPECT_TRUE(tiletest::sameFloatImages(expected, tiletest::renderFloat(*tile, image, a)));
                const ImageBuffer bytes = tiletest::bytesOf(image);
                ImageBuffer expected8 = tiletest::copyOf8(bytes);
                for (int64_t p = 0; p < expected8.sampleCount() / 4; ++p) {
                    uint8_t* px = expected8.bytes() + p * 4;
                    float widened[4];
                    for (int k = 0; k < 4; ++k) widened[k] = px[k];
                    const float x = a ? pixel::weightedFactor(amount, redWeight(widened, 4, 0, 0)) : amount;
                    stepPixel(method, expected8, px, x, 120.0f);
                }
                EXPECT_TRUE(tiletest::sameByteImages(expected8, tiletest::render8(*tile, bytes, a)));
            }
        }
    }
}

TEST(AdvancedContrast, ValueAndLightnessPivots) {
    // A pixel whose value or lightness sits on the pivot stays (within the
    // rounding of K/255); the fourth sample is never touched.
    const ImageBuffer onValue = floatRow(4, {200.0f, 100.0f, 50.0f, 7.0f});
    auto value = advancedContrast(1.7f, 200.0f, kValue);
    EXPECT_TRUE(floatsNear(onValue, renderedFloat(*value, onValue), 1e-3f));
    const ImageBuffer onLightness = floatRow(4, {200.0f, 100.0f, 50.0f, 7.0f});  // L = (200 + 50) / 2
    auto lightness = advancedContrast(0.2f, 125.0f, kLightness);
    EXPECT_TRUE(floatsNear(onLightness, renderedFloat(*lightness, onLightness), 1e-3f));
    // Away from the pivot: more contrast pushes a dark pixel darker, the
    // hue stays.
    const ImageBuffer dark = floatRow(4, {60.0f, 30.0f, 20.0f, 7.0f});
    for (int32_t method : {kValue, kLightness}) {
        auto tile = advancedContrast(1.5f, 128.0f, method);
        const ImageBuffer out = renderedFloat(*tile, dark);
        EXPECT_LT(out.floats()[0], 50.0f);
        EXPECT_NEAR(hueOf(out.floats()), hueOf(dark.floats()), 0.05f);
        EXPECT_EQ(out.floats()[3], 7.0f);
    }
}

TEST(AdvancedContrast, ChannelCountsAndUnknownMethods) {
    // Value and Lightness read three samples: fewer channels stay as they
    // are. RGB and Luminance work on one channel.
    const ImageBuffer grey = floatRow(1, {40.0f, 200.0f});
    for (int32_t method : {kValue, kLightness}) {
        auto tile = advancedContrast(1.5f, 128.0f, method);
        EXPECT_TRUE(tiletest::sameFloatImages(grey, renderedFloat(*tile, grey)));
        const ImageBuffer grey8 = byteRow(2, {40, 200});
        EXPECT_TRUE(tiletest::sameByteImages(grey8, tiletest::render8(*tile, grey8)));
    }
    for (int32_t method : {kRgb, kLuminance}) {
        auto tile = advancedContrast(1.5f, 128.0f, method);
        EXPECT_LT(renderedFloat(*tile, grey).floats()[0], 40.0f);
    }
    // A method index outside the four changes nothing.
    const ImageBuffer image = tiletest::standardImage(3);
    for (int32_t method : {-1, 4, 99}) {
        auto tile = advancedContrast(0.5f, 90.0f, method);
        EXPECT_TRUE(tiletest::sameFloatImages(image, tiletest::renderFloat(*tile, image)));
    }
}

TEST(AdvancedContrast, VarsOfAnotherKind) {
    const ImageBuffer image = tiletest::standardImage(3);
    // "Method" of another kind reads as RGB; "Center" as 0; "Amount" as 0.
    auto noMethod = advancedContrast(0.5f, 90.0f, kLightness);
    noMethod->var(2)->setValue(new FloatValue(3.0f));
    auto rgb = advancedContrast(0.5f, 90.0f, kRgb);
    EXPECT_TRUE(tiletest::sameFloatImages(tiletest::renderFloat(*rgb, image), tiletest::renderFloat(*noMethod, image)));
    auto noCenter = advancedContrast(0.5f, 90.0f, kRgb);
    noCenter->var(1)->setValue(new ColorValue());
    auto zeroCenter = advancedContrast(0.5f, 0.0f, kRgb);
    EXPECT_TRUE(
        tiletest::sameFloatImages(tiletest::renderFloat(*zeroCenter, image), tiletest::renderFloat(*noCenter, image)));
    auto noAmount = advancedContrast(0.5f, 90.0f, kRgb);
    noAmount->var(0)->setValue(new ColorValue());
    const ImageBuffer out = tiletest::renderFloat(*noAmount, image);
    for (int64_t i = 0; i < out.sampleCount(); ++i) ASSERT_EQ(out.floats()[i], 90.0f);
}

TEST(AdvancedContrast, Properties) {
    for (int32_t method : {kRgb, kLuminance, kValue, kLightness}) {
        SCOPED_TRACE(testing::Message() << "method " << method);
        auto identity = advancedContrast(1.0f, 90.0f, method);
        tiletest::expectIdentityLeavesImage(*identity);
        for (float amount : {0.45f, 1.6f}) {
            SCOPED_TRACE(testing::Message() << "Amount " << amount);
            auto tile = advancedContrast(amount, 140.0f, method);
            // Weight 0 still recomputes each pixel with e = 1; the luminance
            // step moves black and white pixels' every sample.
            expectRecomputingTileProperties(*tile, 1, method != kLuminance);
        }
    }
}
