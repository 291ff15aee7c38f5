#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "adjustments/SelectiveSaturation.h"
#include "adjustments/ToneTestSupport.h"
#include "foundation/ColorConversions.h"

using namespace tonetest;

namespace {

std::unique_ptr<SelectiveSaturationMod> selective(float r, float g, float b, float tolerance, float saturation) {
    const float colour[4] = {r, g, b, 255.0f};
    auto tile = std::make_unique<SelectiveSaturationMod>(colour);
    tile->floatAt(1)->value = tolerance;
    tile->floatAt(2)->value = saturation;
    return tile;
}

// A fully saturated colour of the hue (degrees, 0..60) with red at 255:
// green rises with the hue, blue is 0.
ImageBuffer hueRow(std::initializer_list<float> hues) {
    ImageBuffer image;
    EXPECT_TRUE(image.allocateFloat(static_cast<int32_t>(hues.size()), 1, 4));
    int32_t i = 0;
    for (float h : hues) {
        float* px = image.floats() + 4 * i++;
        px[0] = 255.0f;
        px[1] = 255.0f * h / 60.0f;
        px[2] = 0.0f;
        px[3] = 200.0f;
    }
    return image;
}

float luminanceOf(const float* px) {
    return static_cast<float>(0.299 * px[0] + 0.587 * px[1] + 0.114 * px[2]);
}

}  // namespace

TEST(SelectiveSaturationSetup, VarsAndRegistration) {
    const float colour[4] = {229, 182, 171, 255};
    expectRegistered(SelectiveSaturationMod(colour));
    SelectiveSaturationMod tile(colour);
    EXPECT_TRUE(tile.name == "Selective Saturation");
    EXPECT_TRUE(tile.displayName == "Selective Saturation");
    const ColorValue* c = tile.var(0)->colorValue();
    ASSERT_TRUE(c);
    EXPECT_TRUE(tile.var(0)->name == "Color");
    EXPECT_EQ(tile.var(0)->controlCode, int32_t(kControlDefault));
    EXPECT_EQ(c->red, 229.0f);
    EXPECT_EQ(c->fourth, 255.0f);
    expectFloatVar(tile, {1, "Tolerance", 20.0f, 0.0f, 100.0f, 0.0f, 100.0f, false, 10, nullptr});
    expectFloatVar(tile, {2, "Saturation", 0.3f, 0.0f, 2.0f, 0.0f, 100.0f, true, 10, nullptr});
    EXPECT_EQ(tile.animTracks.count, 0);
    EXPECT_TRUE(tile.description == "Adjust the saturation of a specific hue only.");
}

TEST(SelectiveSaturation, SaturationOneLeavesTheImage) {
    auto tile = selective(255, 0, 0, 100.0f, 1.0f);
    const ImageBuffer hostile = hostileRow();
    EXPECT_TRUE(tiletest::sameFloatImages(hostile, renderedFloat(*tile, hostile)));
    tiletest::expectIdentityLeavesImage(*tile);
}

TEST(SelectiveSaturation, BandWithSmoothEdge) {
    // Target red (hue 0), Tolerance 20: full effect to 36 degrees, none
    // beyond 54. Saturation 0 turns the band grey: every sample, the fourth
    // included, becomes the luminance L; halfway along the edge (45
    // degrees) the weight is 0.5, so samples move halfway to L.
    auto tile = selective(255, 0, 0, 20.0f, 0.0f);
    const ImageBuffer image = hueRow({0.0f, 30.0f, 45.0f, 55.0f, 59.0f});
    const ImageBuffer out = renderedFloat(*tile, image);
    const float* in = image.floats();
    const float* px = out.floats();
    for (int i : {0, 1}) {
        const float L = luminanceOf(in + 4 * i);
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(px[4 * i + k], L, 1e-3f) << i << " " << k;
    }
    const float L45 = luminanceOf(in + 8);
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(px[8 + k], 0.5f * (in[8 + k] + L45), 0.05f) << k;
    for (int k = 12; k < 20; ++k) EXPECT_EQ(px[k], in[k]) << k;  // outside the band
}

TEST(SelectiveSaturation, ToleranceZeroTakesTheExactHueOnly) {
    auto tile = selective(255, 0, 0, 0.0f, 0.0f);
    const ImageBuffer out = renderedFloat(*tile, floatRow(3, {200.0f, 50.0f, 50.0f, 255.0f, 1.0f, 0.0f}));
    const float L = static_cast<float>(0.299 * 200 + 0.587 * 50 + 0.114 * 50);
    for (int k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(out.floats()[k], L);
    EXPECT_EQ(out.floats()[3], 255.0f);
    EXPECT_EQ(out.floats()[4], 1.0f);
}

TEST(SelectiveSaturation, HueDistanceWraps) {
    // Target hue 350, pixel hue 10: distance 20 degrees.
    const float pixelHue = rgbHue(255.0f, 42.5f, 0.0f);
    const float targetHue = rgbHue(255.0f, 0.0f, 42.5f);
    ASSERT_NEAR(pixelHue, 10.0f, 1e-3f);
    ASSERT_NEAR(targetHue, 350.0f, 1e-3f);
    const struct {
        float tolerance;  // x 1.8 degrees
        bool grey;
    } cases[] = {{12.0f, true}, {5.0f, false}};
    for (const auto& c : cases) {
        auto tile = selective(255, 0, 42.5f, c.tolerance, 0.0f);
        const ImageBuffer out = renderedFloat(*tile, floatRow(3, {255.0f, 42.5f, 0.0f}));
        EXPECT_EQ(out.floats()[0] == out.floats()[2], c.grey) << c.tolerance;
    }
}

TEST(SelectiveSaturation, GreyTargetActsOnRedsAndGreys) {
    auto tile = selective(128, 128, 128, 10.0f, 0.0f);
    const ImageBuffer out = renderedFloat(*tile, floatRow(3, {200.0f, 20.0f, 20.0f, 90.0f, 90.0f, 90.0f, 20.0f, 200.0f, 20.0f}));
    EXPECT_NEAR(out.floats()[0], out.floats()[1], 1e-3f);  // red greyed
    for (int k = 3; k < 6; ++k) EXPECT_NEAR(out.floats()[k], 90.0f, 1e-3f);
    EXPECT_EQ(out.floats()[7], 200.0f);  // green untouched
}

TEST(SelectiveSaturation, FactorsAboveOne) {
    // Saturation 1.5 gives the factor 2: c 2 - L, clamped; 2 a large finite
    // factor.
    auto tile = selective(255, 0, 0, 20.0f, 1.5f);
    ImageBuffer out = renderedFloat(*tile, floatRow(3, {150.0f, 100.0f, 80.0f}));
    const float L = static_cast<float>(0.299 * 150 + 0.587 * 100 + 0.114 * 80);
    EXPECT_NEAR(out.floats()[0], 2.0f * 150.0f - L, 1e-3f);
    EXPECT_NEAR(out.floats()[1], 2.0f * 100.0f - L, 1e-3f);
    EXPECT_NEAR(out.floats()[2], 2.0f * 80.0f - L, 1e-3f);
    auto strong = selective(255, 0, 0, 20.0f, 2.0f);
    out = renderedFloat(*strong, floatRow(3, {200.0f, 100.0f, 80.0f}));
    EXPECT_EQ(out.floats()[0], 255.0f);
    EXPECT_EQ(out.floats()[2], 0.0f);
}

TEST(SelectiveSaturation, LeavesWhatItCannotRead) {
    const ImageBuffer image = tiletest::standardImage(4);
    auto wrongColour = selective(255, 0, 0, 50.0f, 0.0f);
    wrongColour->var(0)->setValue(new FloatValue(1.0f));
    auto nanTolerance = selective(255, 0, 0, NAN, 0.0f);
    auto nanSaturation = selective(255, 0, 0, 50.0f, NAN);
    for (auto* tile : {wrongColour.get(), nanTolerance.get(), nanSaturation.get()}) {
        EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*tile, image)));
        const ImageBuffer bytes = tiletest::bytesOf(image);
        EXPECT_TRUE(tiletest::sameByteImages(bytes, tiletest::render8(*tile, bytes)));
    }
    auto tile = selective(255, 0, 0, 100.0f, 0.0f);
    for (int32_t channels : {1, 2}) {
        const ImageBuffer row = floatRow(channels, {10.0f, 200.0f, 30.0f, 40.0f});
        EXPECT_TRUE(tiletest::sameFloatImages(row, renderedFloat(*tile, row))) << channels;
    }
    // Hostile samples come out clamped.
    const ImageBuffer out = renderedFloat(*tile, hostileRow());
    EXPECT_TRUE(allFinite(out));
}

TEST(SelectiveSaturationProperties, Hold) {
    const struct {
        float r, g, b, tolerance, saturation;
    } cases[] = {
        {229, 182, 171, 20.0f, 0.3f},
        {40, 200, 90, 35.0f, 1.6f},
        {20, 30, 230, 100.0f, 0.0f},
        {128, 128, 128, 5.0f, 0.7f},
    };
    for (uint32_t version : {1u, 2u}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "version " << version << ", colour " << c.r << " " << c.g << " " << c.b);
            auto tile = selective(c.r, c.g, c.b, c.tolerance, c.saturation);
            tile->setVersion(version);
            expectTileProperties(*tile, Selectors::kIgnored);
        }
    }
}
