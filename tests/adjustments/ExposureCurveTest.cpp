#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "adjustments/ExposureCurve.h"
#include "adjustments/LightHueTestSupport.h"
#include "pixels/PixelKit.h"

using namespace tonetest;
using namespace lighthue;

namespace {

std::unique_ptr<ExposureCurveMod> exposureCurve(const char* points, float amount, uint32_t version = 2) {
    auto tile = std::make_unique<ExposureCurveMod>(curveFrom(points));
    tile->floatAt(0)->value = amount;
    tile->setVersion(version);
    return tile;
}

// Every whole level 0..255 as a row of grey pixels: pixel i is (i, i, i), so
// its luminance is the level itself.
ImageBuffer everyLevelFloat() {
    ImageBuffer image;
    EXPECT_TRUE(image.allocateFloat(256, 1, 3));
    for (int i = 0; i < 256 * 3; ++i) image.floats()[i] = static_cast<float>(i / 3);
    return image;
}

}  // namespace

TEST(ExposureCurveSetup, VarsNamesAndVersions) {
    ExposureCurveMod tile(flatExposureCurve());
    EXPECT_TRUE(tile.name == "Exposure Curve");
    EXPECT_TRUE(tile.displayName == "Gamma Curve");
    EXPECT_TRUE(tile.description == "Adjust gamma using a horizontal curve editor.");
    EXPECT_EQ(tile.version, 2u);
    expectFloatVar(tile, {0, "Amount", 1.0f, 0.0f, 1.0f, 0.0f, 100.0f, true, 10, nullptr});
    ASSERT_EQ(tile.vars.count, 2);
    EXPECT_TRUE(tile.var(1)->name == "Curve");
    EXPECT_EQ(tile.var(1)->controlCode, 9);
    const Curve& curve = tile.var(1)->curveValue()->curve;
    ASSERT_EQ(curve.points.count, 2);
    EXPECT_EQ(curve.points[0].y, 0.5f);
    EXPECT_EQ(curve.points[1].y, 0.5f);
    EXPECT_EQ(tile.animTracks.count, 1);

    // Any version but 2 shows the exposure names; 2 the gamma ones.
    struct Row {
        uint32_t version;
        const char* shown;
        const char* description;
    } rows[] = {
        {1, "Exposure Curve", "Adjust exposure using a horizontal curve editor."},
        {7, "Exposure Curve", "Adjust exposure using a horizontal curve editor."},
        {2, "Gamma Curve", "Adjust gamma using a horizontal curve editor."},
    };
    for (const Row& r : rows) {
        tile.setVersion(r.version);
        EXPECT_TRUE(tile.displayName == r.shown) << r.version;
        EXPECT_TRUE(tile.description == r.description) << r.version;
        EXPECT_TRUE(tile.name == "Exposure Curve");
    }
    // Clone ignores the source: the flat curve, version 2.
    tile.setVersion(1);
    std::unique_ptr<ImageMod> copy(tile.clone());
    EXPECT_EQ(copy->version, 2u);
    EXPECT_TRUE(copy->displayName == "Gamma Curve");
}

TEST(ExposureCurve, CurveOfOneAtFullAmountSendsEverythingToWhite) {
    auto tile = exposureCurve("0 1 1 1", 1.0f);
    // Float: every sample ends at 255, a 0 sample too (it is raised to 0.05).
    const ImageBuffer out = renderedFloat(*tile, everyLevelFloat());
    for (int64_t i = 0; i < out.sampleCount(); ++i) ASSERT_EQ(out.floats()[i], 255.0f) << i;
    // 8-bit: every non-zero byte ends at 255; 0 stays 0.
    const ImageBuffer out8 = tiletest::render8(*tile, tiletest::bytesOf(everyLevelFloat()));
    for (int64_t i = 0; i < out8.sampleCount(); ++i) ASSERT_EQ(out8.bytes()[i], i < 3 ? 0 : 255) << i;
}

TEST(ExposureCurve, CurveOfZeroAtFullAmountSendsEverythingToBlack) {
    auto tile = exposureCurve("0 0 1 0", 1.0f);
    const ImageBuffer out = renderedFloat(*tile, everyLevelFloat());
    for (int64_t i = 0; i < out.sampleCount(); ++i) ASSERT_EQ(out.floats()[i], 0.0f) << i;
    const ImageBuffer out8 = tiletest::render8(*tile, tiletest::bytesOf(everyLevelFloat()));
    for (int64_t i = 0; i < out8.sampleCount(); ++i) ASSERT_EQ(out8.bytes()[i], 0) << i;
}

TEST(ExposureCurve, WorkedPowerCurves) {
    // g = 1 - s + 2 c s. Version 2 is a plain power on every sample, the
    // fourth included; version 1 pulls darkened colours toward grey.
    struct Row {
        const char* points;
        float amount;
        float in;
        float out;
    } rows[] = {
        {"0 .25 1 .25", 1.0f, 127.5f, 63.75f},    // g 0.5: 255 (v/255)^2
        {"0 .75 1 .75", 1.0f, 127.5f, 191.25f},   // g 1.5: 255 - 255 ((255 - v)/255)^2
        {"0 1 1 1", 0.5f, 127.5f, 191.25f},       // g 1.5 from half the Amount
        {"0 .25 1 .25", 1.0f, 255.0f, 254.90001f},  // capped at 254.95 first
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.points << " at " << r.amount);
        auto tile = exposureCurve(r.points, r.amount);
        const ImageBuffer out = renderedFloat(*tile, floatRow(4, {r.in, r.in, r.in, r.in}));
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(out.floats()[k], r.out, 2e-3f);
    }
    // A coloured pixel: version 2 maps each sample alone, version 1 also
    // pulls it toward its luminance.
    const ImageBuffer colour = floatRow(3, {200.0f, 100.0f, 50.0f});
    auto v2 = exposureCurve("0 .25 1 .25", 1.0f);
    auto v1 = exposureCurve("0 .25 1 .25", 1.0f, 1);
    const ImageBuffer out2 = renderedFloat(*v2, colour);
    EXPECT_NEAR(out2.floats()[0], 255.0f * std::pow(200.0f / 255.0f, 2.0f), 2e-3f);
    ImageBuffer expected1 = tiletest::copyOf(colour);
    applyExposureCurve(expected1, expected1.floats(), 0.5f);
    EXPECT_TRUE(tiletest::sameFloatImages(expected1, renderedFloat(*v1, colour)));
    EXPECT_GT(std::fabs(expected1.floats()[0] - out2.floats()[0]), 5.0f);
}

TEST(ExposureCurve, SelectorScalesTheStrength) {
    // Red 127.5 gives the weight 0.5: with a curve of 1 the pixel gets
    // g = 1 + 0.5 = 1.5, as at half the Amount.
    WeightSelector byRed(1.0f, redWeight);
    RenderArgs args;
    args.selector = &byRed;
    auto tile = exposureCurve("0 1 1 1", 1.0f);
    const ImageBuffer out = renderedFloat(*tile, floatRow(3, {127.5f, 127.5f, 127.5f}), &args);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(out.floats()[k], 191.25f, 2e-3f);
}

TEST(ExposureCurve, FlatCurvesChangeNothing) {
    // The flat two-point curve returns before any pixel is touched (NaN
    // samples included); a flat curve of more points runs with g = 1.
    const ImageBuffer hostile = hostileRow();
    for (uint32_t version : {1u, 2u}) {
        auto flat = exposureCurve("0 .5 1 .5", 1.0f, version);
        EXPECT_TRUE(tiletest::sameFloatImages(hostile, renderedFloat(*flat, hostile)));
        auto flat3 = exposureCurve("0 .5 .4 .5 1 .5", 1.0f, version);
        tiletest::expectIdentityLeavesImage(*flat3);
        auto zero = exposureCurve("0 0 .3 .9 1 .2", 0.0f, version);
        tiletest::expectIdentityLeavesImage(*zero);
    }
}

TEST(ExposureCurve, HostileVarsAndSamples) {
    const ImageBuffer image = tiletest::standardImage(3);
    // A "Curve" of another kind, an Amount of another kind: unchanged.
    auto noCurve = exposureCurve("0 0 1 1", 1.0f);
    noCurve->var(1)->setValue(new FloatValue(0.3f));
    EXPECT_TRUE(tiletest::sameFloatImages(image, tiletest::renderFloat(*noCurve, image)));
    auto noAmount = exposureCurve("0 0 1 1", 1.0f);
    noAmount->var(0)->setValue(new ChoiceValue());
    EXPECT_TRUE(tiletest::sameFloatImages(image, tiletest::renderFloat(*noAmount, image)));

    // Samples outside 0..255: the power bases are clamped at 0, so the
    // results stay finite (a negative base to the power 5/3 would be NaN).
    auto darken = exposureCurve("0 .3 1 .3", 1.0f);  // g 0.6
    const ImageBuffer out = renderedFloat(*darken, floatRow(3, {-20.0f, 100.0f, 300.0f}));
    EXPECT_TRUE(allFinite(out));
    EXPECT_EQ(out.floats()[0], 0.0f);
    auto lighten = exposureCurve("0 .7 1 .7", 1.0f);  // g 1.4
    const ImageBuffer lifted = renderedFloat(*lighten, floatRow(3, {-20.0f, 100.0f, 300.0f}));
    EXPECT_TRUE(allFinite(lifted));
    EXPECT_EQ(lifted.floats()[2], 255.0f);
    renderedFloat(*lighten, hostileRow());
    renderedFloat(*darken, hostileRow());
}

TEST(ExposureCurve, Properties) {
    for (uint32_t version : {1u, 2u}) {
        for (float amount : {1.0f, 0.6f}) {
            SCOPED_TRACE(testing::Message() << "version " << version << ", Amount " << amount);
            auto tile = exposureCurve("0 .35 .3 .65 .7 .4 1 .6", amount, version);
            // Version 1's 8-bit exposure curve caps 255 at 254 before
            // darkening and then pulls toward grey: up to 2 levels apart.
            expectTileProperties(*tile, Selectors::kHonoured, version == 1 ? 2 : 1);
        }
    }
}

TEST(ExposureCurve, EightBitEndsDifferFromFloatAsDocumented) {
    // The 8-bit forms keep a 0 byte at 0 when lightening (float samples are
    // floored at 0.05 first) and cap 255 at 254 when darkening (floats at
    // 254.95): with a strong curve the two forms part at the ends.
    auto lighten = exposureCurve("0 1 1 1", 1.0f);  // g 2
    EXPECT_EQ(renderedFloat(*lighten, floatRow(3, {0.0f, 0.0f, 0.0f})).floats()[0], 255.0f);
    EXPECT_EQ(tiletest::render8(*lighten, byteRow(3, {0, 0, 0})).bytes()[0], 0);
    auto darken = exposureCurve("0 .1 1 .1", 1.0f);  // g 0.2
    const float whiteFloat = renderedFloat(*darken, floatRow(3, {255.0f, 255.0f, 255.0f})).floats()[0];
    const int white8 = tiletest::render8(*darken, byteRow(3, {255, 255, 255})).bytes()[0];
    EXPECT_GT(storeByte(whiteFloat) - white8, 1);
}
