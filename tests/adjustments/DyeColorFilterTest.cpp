#include <gtest/gtest.h>

#include <memory>

#include "adjustments/ColorMethods.h"
#include "adjustments/ColorizeCurve.h"
#include "adjustments/DyeColorFilter.h"
#include "adjustments/ToneTestSupport.h"
#include "support/ImageBuilders.h"

using namespace tonetest;

namespace {

std::unique_ptr<DyeMod> dye(uint32_t version, float r, float g, float b, float amount) {
    const float colour[4] = {r, g, b, 255.0f};
    return std::make_unique<DyeMod>(version, colour, amount);
}

std::unique_ptr<ColorFilterMod> colorFilter(float r, float g, float b, float amount) {
    const float colour[4] = {r, g, b, 255.0f};
    return std::make_unique<ColorFilterMod>(colour, amount);
}

}  // namespace

TEST(DyeColorFilterSetup, VarsVersionsAndRegistration) {
    const float red[4] = {255.0f, 0.0f, 0.0f, 255.0f};
    const float pink[4] = {255.0f, 127.0f, 127.0f, 255.0f};
    DyeMod dyeTile(2, red, 0.0f);
    ColorFilterMod filterTile(pink, 0.0f);
    expectRegistered(dyeTile);
    expectRegistered(filterTile);
    const struct {
        ImageMod* tile;
        const char* name;
        uint32_t version;
        const char* description;
    } cases[] = {
        {&dyeTile, "Dye", 2,
         "Dye the image with the selected color, preserving detail. Compare this result with Color Filter and Tint."},
        {&filterTile, "Color Filter", 1, "Filter the image with the selected color. Compare this result with Tint and Dye."},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(c.tile->name == c.name);
        EXPECT_TRUE(c.tile->displayName == c.name);
        EXPECT_EQ(c.tile->version, c.version);
        EXPECT_TRUE(c.tile->description == c.description);
        expectFloatVar(*c.tile, {0, "Amount", 0.0f, 0.0f, 1.0f, 0.0f, 100.0f, true, 10, nullptr});
        EXPECT_TRUE(c.tile->var(1)->name == "Color");
        ASSERT_TRUE(c.tile->var(1)->colorValue());
        EXPECT_EQ(c.tile->var(1)->colorValue()->fourth, 255.0f);
        EXPECT_EQ(c.tile->animTracks.count, 0);
    }
    // A Dye tile loaded as version 1 (as camera styles build it) clones as 1.
    DyeMod old(1, red, 0.5f);
    std::unique_ptr<ImageMod> copy(old.clone());
    EXPECT_EQ(copy->version, 1u);
}

TEST(ColorFilter, WorkedValues) {
    // (255, 127.5, 0) at Amount 1: red to 255, green kept, blue to 0, and a
    // fourth sample to 255.
    auto filter = colorFilter(255.0f, 127.5f, 0.0f, 1.0f);
    const ImageBuffer image = floatRow(4, {10.0f, 77.25f, 200.0f, 30.0f, 250.0f, 0.5f, 1.0f, 254.0f});
    const ImageBuffer out = renderedFloat(*filter, image);
    const float expected[] = {255.0f, 77.25f, 0.0f, 255.0f, 255.0f, 0.5f, 0.0f, 255.0f};
    for (int32_t i = 0; i < 8; ++i) EXPECT_EQ(out.floats()[i], expected[i]) << i;
    const ImageBuffer out8 = tiletest::render8(*filter, byteRow(4, {10, 77, 200, 30}));
    const uint8_t expected8[] = {255, 77, 0, 255};
    for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(out8.bytes()[i], expected8[i]) << i;

    // At Amount 0.5: a component of 63.75 gives d = -0.5, so a channel falls
    // by a quarter; 191.25 gives d = 0.5, a quarter of the way to 255.
    auto half = colorFilter(63.75f, 191.25f, 127.5f, 0.5f);
    const ImageBuffer mid = renderedFloat(*half, floatRow(3, {100.0f, 55.0f, 33.0f}));
    EXPECT_EQ(mid.floats()[0], 75.0f);
    EXPECT_EQ(mid.floats()[1], 105.0f);
    EXPECT_EQ(mid.floats()[2], 33.0f);
}

TEST(ColorFilter, MatchesTheColorizeCurveMethodAtFullStrength) {
    // The tile is the "Color Filter" colour method at the strength a for
    // every pixel; it only rounds d to float before multiplying.
    const ImageBuffer image = tiletest::standardImage(4);
    for (float amount : {1.0f, 0.6f}) {
        auto filter = colorFilter(200.0f, 40.0f, 127.5f, amount);
        const float colour[4] = {200.0f, 40.0f, 127.5f, 255.0f};
        Curve full(0);
        GrowString points("0 1 1 1");
        full.setFromString(points);
        ColorizeCurveMod method(full, colour, kColorFilterMethod, amount);
        const ImageBuffer expected = renderedFloat(method, image);
        const ImageBuffer actual = renderedFloat(*filter, image);
        EXPECT_TRUE(testimages::floatsWithin(expected, actual, 1e-3f));
    }
}

TEST(Dye, BodiesAreTheDyePixelOperations) {
    const ImageBuffer image = tiletest::standardImage(4);
    for (uint32_t version : {1u, 2u, 3u}) {
        SCOPED_TRACE(testing::Message() << "version " << version);
        auto tile = dye(version, 200.0f, 120.0f, 40.0f, 0.7f);
        ImageBuffer expected = tiletest::copyOf(image);
        ImageBuffer expected8 = tiletest::bytesOf(image);
        for (int64_t p = 0; p < image.sampleCount() / 4; ++p) {
            if (version == 2) {
                dyePixel(expected, expected.floats() + p * 4, 200.0f, 120.0f, 40.0f, 0.7f);
                dyePixel8(expected8, expected8.bytes() + p * 4, 200.0f, 120.0f, 40.0f, 0.7f);
            } else {
                dyePixelLuma(expected, expected.floats() + p * 4, 200.0f, 120.0f, 40.0f, 0.7f);
                dyePixelLuma8(expected8, expected8.bytes() + p * 4, 200.0f, 120.0f, 40.0f, 0.7f);
            }
        }
        EXPECT_TRUE(tiletest::sameFloatImages(expected, renderedFloat(*tile, image)));
        EXPECT_TRUE(tiletest::sameByteImages(expected8, tiletest::render8(*tile, tiletest::bytesOf(image))));
    }
}

TEST(Dye, WorkedValues) {
    // Version 2 with a grey colour: grey at the pixel's maximum channel times
    // the colour's value (204/255 = 0.8), blended by a.
    auto grey = dye(2, 204.0f, 204.0f, 204.0f, 1.0f);
    ImageBuffer out = renderedFloat(*grey, floatRow(3, {50.0f, 100.0f, 200.0f}));
    for (int32_t k = 0; k < 3; ++k) EXPECT_NEAR(out.floats()[k], 160.0f, 1e-3f);
    auto halfGrey = dye(2, 204.0f, 204.0f, 204.0f, 0.5f);
    out = renderedFloat(*halfGrey, floatRow(3, {50.0f, 100.0f, 200.0f}));
    EXPECT_NEAR(out.floats()[0], 105.0f, 1e-3f);
    EXPECT_NEAR(out.floats()[2], 180.0f, 1e-3f);
    // Version 1: black stays black; white takes the colour's hue at value
    // v = 1 with saturation s (1 - v) = 0: white.
    auto luma = dye(1, 255.0f, 0.0f, 0.0f, 1.0f);
    out = renderedFloat(*luma, floatRow(3, {0.0f, 0.0f, 0.0f, 255.0f, 255.0f, 255.0f}));
    for (int32_t k = 0; k < 3; ++k) EXPECT_EQ(out.floats()[k], 0.0f);
    for (int32_t k = 3; k < 6; ++k) EXPECT_NEAR(out.floats()[k], 255.0f, 1e-3f);
    // With a darker colour (value 0.5) white gets value 0.5 and saturation
    // 1 x (1 - 0.5): (127.5, 63.75, 63.75).
    auto darkRed = dye(1, 127.5f, 0.0f, 0.0f, 1.0f);
    out = renderedFloat(*darkRed, floatRow(3, {255.0f, 255.0f, 255.0f}));
    EXPECT_NEAR(out.floats()[0], 127.5f, 0.01f);
    EXPECT_NEAR(out.floats()[1], 63.75f, 0.01f);
    EXPECT_NEAR(out.floats()[2], 63.75f, 0.01f);
}

TEST(DyeColorFilter, FewChannelsAndHostileVars) {
    // The detail dye reads three samples: images of one or two channels are
    // left alone; the luminance dye and the filter work on what is there.
    std::unique_ptr<ImageMod> tiles[] = {dye(2, 200.0f, 40.0f, 40.0f, 1.0f), dye(1, 200.0f, 40.0f, 40.0f, 1.0f),
                                         colorFilter(200.0f, 40.0f, 40.0f, 1.0f)};
    const bool changes[] = {false, true, true};
    for (int32_t t = 0; t < 3; ++t) {
        ImageMod& tile = *tiles[t];
        for (int32_t channels : {1, 2}) {
            SCOPED_TRACE(testing::Message() << tile.name.c_str() << " v" << tile.version << ", " << channels);
            const ImageBuffer image = floatRow(channels, {60.0f, 100.0f, 140.0f, 180.0f});
            EXPECT_EQ(!tiletest::sameFloatImages(image, renderedFloat(tile, image)), changes[t]);
            const ImageBuffer bytes = tiletest::bytesOf(image);
            EXPECT_EQ(!tiletest::sameByteImages(bytes, tiletest::render8(tile, bytes)), changes[t]);
        }
        // A colour var of another kind leaves every image alone.
        tile.var(1)->setValue(new CurveValue(Curve(0)));
        const ImageBuffer image = tiletest::standardImage(4);
        EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(tile, image)));
        const ImageBuffer bytes = tiletest::bytesOf(image);
        EXPECT_TRUE(tiletest::sameByteImages(bytes, tiletest::render8(tile, bytes)));
    }
    // Samples no photo holds stay inside the clamp of the filter.
    auto filter = colorFilter(255.0f, 127.5f, 0.0f, 1.0f);
    const ImageBuffer wild = renderedFloat(*filter, floatRow(3, {1.0e30f, -1.0e30f, 300.0f, -20.0f, 255.5f, 400.0f}));
    for (int64_t i = 0; i < wild.sampleCount(); ++i) {
        EXPECT_GE(wild.floats()[i], 0.0f);
        EXPECT_LE(wild.floats()[i], 255.0f);
    }
    renderedFloat(*dye(2, 10.0f, 200.0f, 90.0f, 1.0f), hostileRow());
    renderedFloat(*dye(1, 10.0f, 200.0f, 90.0f, 1.0f), hostileRow());
}

TEST(DyeColorFilterProperties, HoldForEveryVersion) {
    auto offDye = dye(2, 200.0f, 120.0f, 40.0f, 0.0f);
    auto offFilter = colorFilter(200.0f, 120.0f, 40.0f, 0.0f);
    tiletest::expectIdentityLeavesImage(*offDye);
    tiletest::expectIdentityLeavesImage(*offFilter);
    for (uint32_t version : {1u, 2u, 3u}) {
        SCOPED_TRACE(testing::Message() << "Dye version " << version);
        auto tile = dye(version, 200.0f, 120.0f, 40.0f, 0.75f);
        expectTileProperties(*tile, Selectors::kIgnored);
    }
    auto filter = colorFilter(200.0f, 40.0f, 127.5f, 0.8f);
    expectTileProperties(*filter, Selectors::kIgnored);
}
