#include <gtest/gtest.h>

#include <memory>

#include "adjustments/ColorizeCurve.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/GammaExposure.h"
#include "adjustments/MultiTool.h"
#include "adjustments/ToneTestSupport.h"

using namespace tonetest;

namespace {

std::unique_ptr<MultiToolMod> multiTool(uint32_t version, float exposure, float contrast, float saturation) {
    auto tile = std::make_unique<MultiToolMod>();
    tile->setVersion(version);
    tile->floatAt(0)->value = exposure;
    tile->floatAt(1)->value = contrast;
    tile->floatAt(2)->value = saturation;
    return tile;
}

std::unique_ptr<ColorizeTemperatureMod> temperature(uint32_t version, float amount) {
    auto tile = std::make_unique<ColorizeTemperatureMod>();
    tile->setVersion(version);
    tile->floatAt(0)->value = amount;
    return tile;
}

// The Colorize Curve step a Temperature tile must run.
std::unique_ptr<ColorizeCurveMod> colorizeStep(const char* region, float r, float g, float b, float strength) {
    Curve curve(0);
    GrowString text(region);
    curve.setFromString(text);
    const float colour[4] = {r, g, b, 255.0f};
    return std::make_unique<ColorizeCurveMod>(curve, colour, 0, strength);
}

const char* const kWarmRegion =
    "0.000000 0.500000 0.250000 0.666667 0.500000 1.000000 0.750000 0.666667 1.000000 0.500000";
const char* const kCoolRegion =
    "0.000000 0.500000 0.250000 0.333333 0.500000 0.000000 0.750000 0.333333 1.000000 0.500000";
const char* const kVersion2Region = "0 .5 .25 1 .75 1 1 .5";
const char* const kOldRegion = "0.000000 0.500000 0.500000 0.000000 1.000000 0.000000 1.000000 0.500000";

// The float and 8-bit results of two tiles on the standard images are equal.
void expectSameResults(ImageMod& expected, ImageMod& actual, const RenderArgs* args = nullptr) {
    for (int32_t channels : {3, 4}) {
        SCOPED_TRACE(testing::Message() << channels << " channels");
        const ImageBuffer image = tiletest::standardImage(channels);
        EXPECT_TRUE(tiletest::sameFloatImages(renderedFloat(expected, image, args), renderedFloat(actual, image, args)));
        const ImageBuffer bytes = tiletest::bytesOf(image);
        EXPECT_TRUE(
            tiletest::sameByteImages(tiletest::render8(expected, bytes, args), tiletest::render8(actual, bytes, args)));
    }
}

}  // namespace

TEST(MultiToolSetup, Registered) {
    expectRegistered(MultiToolMod());
    expectRegistered(ColorizeTemperatureMod());
}

TEST(MultiToolSetup, VarsAndVersions) {
    MultiToolMod multi;
    EXPECT_TRUE(multi.name == "Multi Tool");
    expectFloatVar(multi, {0, "Exposure", 50.0f, 0.0f, 100.0f, 0.0f, 100.0f, false, 10, nullptr});
    expectFloatVar(multi, {1, "Contrast", 50.0f, 0.0f, 100.0f, 0.0f, 100.0f, false, 8, nullptr});
    expectFloatVar(multi, {2, "Saturation", 50.0f, 0.0f, 100.0f, 0.0f, 100.0f, false, 10, nullptr});
    EXPECT_EQ(multi.animTracks.count, 3);
    EXPECT_EQ(multi.version, 3u);
    EXPECT_EQ(multi.amountVar(), nullptr);

    ColorizeTemperatureMod warmth;
    EXPECT_TRUE(warmth.name == "Colorize Temperature");
    EXPECT_TRUE(warmth.displayName == "Temperature");
    expectFloatVar(warmth, {0, "Amount", 0.0f, -1.0f, 1.0f, -100.0f, 100.0f, true, 10, nullptr});
    EXPECT_EQ(warmth.animTracks.count, 1);
    EXPECT_EQ(warmth.version, 3u);
    // A tile loaded as version 2 clones as version 2.
    warmth.setVersion(2);
    std::unique_ptr<ImageMod> copy(warmth.clone());
    EXPECT_EQ(copy->version, 2u);
}

TEST(MultiTool, StepsAndVersions) {
    // The Contrast slider always pivots at 90: at 0 every sample becomes 90.
    for (uint32_t version : {1u, 2u, 3u}) {
        auto flat = multiTool(version, 50.0f, 0.0f, 50.0f);
        const ImageBuffer out = renderedFloat(*flat, tiletest::standardImage(4));
        for (int64_t i = 0; i < out.sampleCount(); ++i) ASSERT_EQ(out.floats()[i], 90.0f) << version;
    }
    // Exposure 75 is an Exposure of 1.5 from version 2 on, a (version-2)
    // Gamma of 1.5 in version 1.
    ExposureMod exposure(1.5f);
    GammaMod gamma(1.5f);
    auto brighter3 = multiTool(3, 75.0f, 50.0f, 50.0f);
    auto brighter2 = multiTool(2, 75.0f, 50.0f, 50.0f);
    auto brighter1 = multiTool(1, 75.0f, 50.0f, 50.0f);
    expectSameResults(exposure, *brighter3);
    expectSameResults(exposure, *brighter2);
    expectSameResults(gamma, *brighter1);
    // The Saturation step is the linear-luminance version 1, the fourth
    // sample included.
    SaturationMod grey(1, 0.0f);
    auto desaturated = multiTool(3, 50.0f, 50.0f, 0.0f);
    expectSameResults(grey, *desaturated);
    // All three steps in order: Exposure, Contrast (version 2, centre 90),
    // Saturation.
    auto all = multiTool(3, 60.0f, 70.0f, 40.0f);
    ExposureMod e(1.2f);
    ContrastMod c(2, 1.4f, 90.0f);
    SaturationMod s(1, 0.8f);
    const ImageBuffer image = tiletest::standardImage(4);
    ImageBuffer expected = renderedFloat(e, image);
    c.applyFloat(expected);
    s.applyFloat(expected);
    EXPECT_TRUE(tiletest::sameFloatImages(expected, renderedFloat(*all, image)));
}

TEST(MultiTool, VersionOneGammaStepIgnoresSelectors) {
    WeightSelector zero(0.0f);
    RenderArgs args;
    args.selector = &zero;
    const ImageBuffer image = tiletest::standardImage(3);
    auto version1 = multiTool(1, 75.0f, 50.0f, 50.0f);
    GammaMod gamma(1.5f);
    EXPECT_TRUE(tiletest::sameFloatImages(renderedFloat(gamma, image), renderedFloat(*version1, image, &args)));
    auto version3 = multiTool(3, 75.0f, 70.0f, 20.0f);
    EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*version3, image, &args)));
}

TEST(Temperature, RunsTheColorizeCurveStepOfItsVersion) {
    const struct {
        uint32_t version;
        float amount;
        const char* region;
        float r, g, b, strength;
    } cases[] = {
        {3, 0.5f, kWarmRegion, 255.0f, 170.0f, 0.0f, 0.5f},
        {3, -0.25f, kCoolRegion, 255.0f, 170.0f, 0.0f, 0.25f},
        {2, 0.5f, kVersion2Region, 63.75f, 31.875f, 0.0f, 1.0f},
        {2, -1.0f, kVersion2Region, 0.0f, 63.75f, 127.5f, 1.0f},
        {1, 0.25f, kOldRegion, 0.0f, 127.0f, 255.0f, 0.125f},
        {1, -0.25f, kOldRegion, 255.0f, 127.0f, 0.0f, 0.125f},
        {4, 0.25f, kOldRegion, 0.0f, 127.0f, 255.0f, 0.125f},  // unknown versions: the oldest formula
    };
    WeightSelector half(0.5f);
    RenderArgs args;
    args.selector = &half;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "version " << c.version << ", Amount " << c.amount);
        auto tile = temperature(c.version, c.amount);
        auto step = colorizeStep(c.region, c.r, c.g, c.b, c.strength);
        expectSameResults(*step, *tile);
        expectSameResults(*step, *tile, &args);
    }
}

TEST(Temperature, ZeroNaNAndOtherKindsChangeNothing) {
    const ImageBuffer image = tiletest::standardImage(4);
    auto zero = temperature(3, 0.0f);
    auto notANumber = temperature(3, NAN);
    auto otherKind = temperature(3, 0.5f);
    otherKind->var(0)->setValue(new ColorValue(1.0f, 2.0f, 3.0f));
    for (ImageMod* tile : std::initializer_list<ImageMod*>{zero.get(), notANumber.get(), otherKind.get()})
        EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*tile, image)));
}

TEST(MultiToolProperties, HoldForEveryVersion) {
    for (uint32_t version : {1u, 2u, 3u}) {
        SCOPED_TRACE(testing::Message() << "version " << version);
        auto identity = multiTool(version, 50.0f, 50.0f, 50.0f);
        tiletest::expectIdentityLeavesImage(*identity);
        // The 8-bit form truncates after each of its three steps, and later
        // steps scale that error: the forms part by up to two levels.
        auto tile = multiTool(version, 60.0f, 70.0f, 40.0f);
        expectTileProperties(*tile, version == 1 ? Selectors::kFullOnly : Selectors::kHonoured, 2);
        auto warm = temperature(version, version == 2 ? -0.75f : 0.75f);
        expectTileProperties(*warm, Selectors::kHonoured);
    }
    auto unchanged = temperature(3, 0.0f);
    tiletest::expectIdentityLeavesImage(*unchanged);
}
