#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "adjustments/ColorMethods.h"
#include "adjustments/ColorizeCurve.h"
#include "adjustments/ToneTestSupport.h"
#include "foundation/ColorConversions.h"
#include "pixels/PixelKit.h"
#include "support/TestTiles.h"

using namespace tonetest;

namespace {

std::unique_ptr<ColorizeCurveMod> colorizeCurve(const char* region, float r, float g, float b, int32_t method,
                                                float amount, uint32_t version = 2) {
    const float colour[4] = {r, g, b, 255.0f};
    auto tile = std::make_unique<ColorizeCurveMod>(curveOf(region), colour, static_cast<uint32_t>(method), amount);
    tile->setVersion(version);
    return tile;
}

const char* const kPrototypeRegion = "0 .5 .5 .6 1 .5";
const char* const kAllBelow = "0 0 1 0";   // t = 0: s = -a everywhere
const char* const kAllAbove = "0 1 1 1";   // t = 1: s = a everywhere
const char* const kBent = "0 .2 .5 .9 1 .4";

}  // namespace

TEST(ColorizeCurveSetup, Registered) {
    const float colour[4] = {127.0f, 63.0f, 0.0f, 255.0f};
    expectRegistered(ColorizeCurveMod(ColorizeCurveMod::startRegion(), colour, 0, 1.0f));
}

TEST(ColorizeCurveSetup, VarsTracksAndVersion) {
    const float colour[4] = {127.0f, 63.0f, 0.0f, 255.0f};
    ColorizeCurveMod tile(ColorizeCurveMod::startRegion(), colour, 0, 1.0f);
    EXPECT_TRUE(tile.name == "Colorize Curve");
    EXPECT_TRUE(tile.displayName == "Coloring Curve");
    const ModVar* region = tile.var(0);
    EXPECT_TRUE(region->name == "Luminance Region");
    EXPECT_EQ(region->controlCode, 9);
    ASSERT_TRUE(region->alias);
    EXPECT_TRUE(*region->alias == "Affected Brightness");
    ASSERT_TRUE(region->curveValue());
    EXPECT_EQ(region->curveValue()->curve.points.count, 3);
    EXPECT_EQ(region->curveValue()->curve.points[1].y, 0.6f);
    EXPECT_TRUE(tile.var(1)->name == "Color");
    EXPECT_EQ(tile.var(1)->colorValue()->green, 63.0f);
    expectFloatVar(tile, {2, "Amount", 1.0f, 0.0f, 1.0f, 0.0f, 1.0f, false, 10, nullptr});
    EXPECT_FALSE(tile.var(2)->shown);
    const ChoiceValue* method = tile.var(3)->choiceValue();
    ASSERT_TRUE(method);
    EXPECT_TRUE(tile.var(3)->name == "Color Method");
    const char* options[] = {"Colorize", "Tint", "Color Filter", "Dye", "Color Balance", "Screen", "Multiply"};
    ASSERT_EQ(method->optionCount(), 7);
    for (int32_t i = 0; i < 7; ++i) EXPECT_TRUE(method->lists[0][i] == options[i]);
    EXPECT_EQ(tile.animTracks.count, 3);
    EXPECT_EQ(tile.version, 2u);
    EXPECT_TRUE(tile.description == "Adjust the color of a specified luminance region.");
    EXPECT_EQ(tile.amountVar(), tile.var(2));
    EXPECT_EQ(tile.colorVar(), tile.var(1));
    EXPECT_EQ(tile.colorMethodVar(), tile.var(3));
    // A tile loaded as version 1 clones as version 1.
    tile.setVersion(1);
    std::unique_ptr<ImageMod> copy(tile.clone());
    EXPECT_EQ(copy->version, 1u);
}

TEST(ColorizeCurve, StrengthFollowsTheRegionTable) {
    // A grey pixel of luminance 127.5 reads the prototype region at x = 0.5,
    // where the smoothed table holds about 0.5667 (the middle point 0.6 is
    // approximated, not passed through): s = (t - 0.5) 2a, about 0.1333 a.
    auto tile = colorizeCurve(kPrototypeRegion, 255.0f, 255.0f, 255.0f, kTintMethod, 0.75f);
    const float t = pixel::curveLookup(tile->var(0)->curveValue()->curve.table.data, 127.5f);
    EXPECT_NEAR(t, 0.5666667f, 1e-6f);
    const float s = static_cast<float>((static_cast<double>(t) - 0.5) * 1.5);
    EXPECT_NEAR(s, 0.1333333f * 0.75f, 1e-6f);
    const ImageBuffer out = renderedFloat(*tile, floatRow(3, {127.5f, 127.5f, 127.5f}));
    // Tint toward white: 127.5 (1 - s) + 255 s.
    EXPECT_EQ(out.floats()[0], 127.5f * (1.0f - s) + 255.0f * s);
}

TEST(ColorizeCurve, PrototypeRegionLeavesBlackAndWhite) {
    // The prototype region ends at 0.5: s = 0 at black and white, so no
    // method changes them (a fourth sample neither).
    const ImageBuffer image = floatRow(4, {0.0f, 0.0f, 0.0f, 255.0f, 255.0f, 255.0f, 255.0f, 0.0f});
    for (int32_t method = 0; method < kColorMethodCount; ++method) {
        SCOPED_TRACE(testing::Message() << "method " << method);
        auto tile = colorizeCurve(kPrototypeRegion, 127.0f, 63.0f, 0.0f, method, 1.0f);
        EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*tile, image)));
        const ImageBuffer bytes = tiletest::bytesOf(image);
        EXPECT_TRUE(tiletest::sameByteImages(bytes, tiletest::render8(*tile, bytes)));
    }
}

TEST(ColorizeCurve, MethodsBelowTheMidlineUseTheComplement) {
    // Colour red at Amount 1, region at 0: every method but Color Balance
    // works with the complement (0, 255, 255) at q = 1; Color Balance
    // subtracts red itself.
    const struct {
        int32_t method;
        float r, g, b;
    } cases[] = {
        {kColorizeMethod, 0.0f, 185.0f, 185.0f},   // deviation of (0, 255, 255) from its grey 170
        {kTintMethod, 0.0f, 255.0f, 255.0f},
        {kColorFilterMethod, 0.0f, 255.0f, 255.0f},
        {kColorBalanceMethod, 0.0f, 100.0f, 100.0f},
        {kScreenMethod, 100.0f, 255.0f, 255.0f},
        {kMultiplyMethod, 0.0f, 100.0f, 100.0f},
        {kDyeMethod, 0.0f, 100.0f, 100.0f},        // cyan at the pixel's value 100/255
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "method " << c.method);
        auto tile = colorizeCurve(kAllBelow, 255.0f, 0.0f, 0.0f, c.method, 1.0f);
        const ImageBuffer out = renderedFloat(*tile, floatRow(3, {100.0f, 100.0f, 100.0f}));
        EXPECT_NEAR(out.floats()[0], c.r, 1e-3f);
        EXPECT_NEAR(out.floats()[1], c.g, 1e-3f);
        EXPECT_NEAR(out.floats()[2], c.b, 1e-3f);
    }
}

TEST(ColorizeCurve, EdgesOfTheMethods) {
    // Screen keeps a sample of 255 at every strength.
    for (float amount : {0.25f, 0.5f, 1.0f}) {
        auto screen = colorizeCurve(kAllAbove, 40.0f, 90.0f, 200.0f, kScreenMethod, amount);
        const ImageBuffer out = renderedFloat(*screen, floatRow(3, {255.0f, 255.0f, 255.0f}));
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(out.floats()[k], 255.0f, 1e-4f) << amount;
    }
    // Color Filter raises a fourth sample toward 255 and, at s exactly 0,
    // changes nothing, not even by clamping; Colorize at s = 0 only clamps.
    auto filter = colorizeCurve(kAllAbove, 127.5f, 127.5f, 127.5f, kColorFilterMethod, 0.5f);
    ImageBuffer out = renderedFloat(*filter, floatRow(4, {10.0f, 20.0f, 30.0f, 55.0f}));
    EXPECT_EQ(out.floats()[0], 10.0f);
    EXPECT_EQ(out.floats()[3], 55.0f + 0.5f * 200.0f);
    auto flatFilter = colorizeCurve("0 .5 1 .5", 255.0f, 0.0f, 0.0f, kColorFilterMethod, 1.0f);
    out = renderedFloat(*flatFilter, floatRow(3, {300.0f, -5.0f, 20.0f}));
    EXPECT_EQ(out.floats()[0], 300.0f);
    EXPECT_EQ(out.floats()[1], -5.0f);
    auto flatColorize = colorizeCurve("0 .5 1 .5", 255.0f, 0.0f, 0.0f, kColorizeMethod, 1.0f);
    out = renderedFloat(*flatColorize, floatRow(3, {300.0f, -5.0f, 20.0f}));
    EXPECT_EQ(out.floats()[0], 255.0f);
    EXPECT_EQ(out.floats()[1], 0.0f);
}

TEST(ColorizeCurve, UnknownMethodsWorkAsColorize) {
    const ImageBuffer image = tiletest::standardImage(3);
    auto colorize = colorizeCurve(kBent, 200.0f, 120.0f, 40.0f, kColorizeMethod, 0.8f);
    const ImageBuffer expected = renderedFloat(*colorize, image);
    auto seven = colorizeCurve(kBent, 200.0f, 120.0f, 40.0f, 7, 0.8f);
    EXPECT_TRUE(tiletest::sameFloatImages(expected, renderedFloat(*seven, image)));
    auto negative = colorizeCurve(kBent, 200.0f, 120.0f, 40.0f, kTintMethod, 0.8f);
    negative->var(3)->choiceValue()->selected = -3;
    EXPECT_TRUE(tiletest::sameFloatImages(expected, renderedFloat(*negative, image)));
    auto otherKind = colorizeCurve(kBent, 200.0f, 120.0f, 40.0f, kTintMethod, 0.8f);
    otherKind->var(3)->setValue(new FloatValue(1.0f));
    EXPECT_TRUE(tiletest::sameFloatImages(expected, renderedFloat(*otherKind, image)));
}

TEST(ColorizeCurve, DyeFollowsTheVersion) {
    // With the region at 1 every pixel is dyed with weight a: version 2 with
    // the detail-preserving dye, every other version with the luminance dye.
    const ImageBuffer image = tiletest::standardImage(4);
    const struct {
        uint32_t version;
        bool detail;
    } cases[] = {{2, true}, {1, false}, {3, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "version " << c.version);
        auto tile = colorizeCurve(kAllAbove, 200.0f, 120.0f, 40.0f, kDyeMethod, 0.6f, c.version);
        ImageBuffer expected = tiletest::copyOf(image);
        ImageBuffer expected8 = tiletest::bytesOf(image);
        for (int64_t p = 0; p < image.sampleCount() / 4; ++p) {
            if (c.detail) {
                dyePixel(expected, expected.floats() + p * 4, 200.0f, 120.0f, 40.0f, 0.6f);
                dyePixel8(expected8, expected8.bytes() + p * 4, 200.0f, 120.0f, 40.0f, 0.6f);
            } else {
                dyePixelLuma(expected, expected.floats() + p * 4, 200.0f, 120.0f, 40.0f, 0.6f);
                dyePixelLuma8(expected8, expected8.bytes() + p * 4, 200.0f, 120.0f, 40.0f, 0.6f);
            }
        }
        EXPECT_TRUE(tiletest::sameFloatImages(expected, renderedFloat(*tile, image)));
        EXPECT_TRUE(tiletest::sameByteImages(expected8, tiletest::render8(*tile, tiletest::bytesOf(image))));
    }
}

TEST(DyePixel, WorkedValues) {
    ImageBuffer image = floatRow(3, {0.0f, 0.0f, 0.0f});
    // The detail dye: the colour's hue and saturation at the pixel's maximum
    // times the colour's value; a grey colour gives grey.
    float px[3] = {50.0f, 100.0f, 200.0f};
    dyePixel(image, px, 255.0f, 0.0f, 0.0f, 1.0f);
    EXPECT_NEAR(px[0], 200.0f, 1e-3f);
    EXPECT_EQ(px[1], 0.0f);
    float grey[3] = {50.0f, 100.0f, 200.0f};
    dyePixel(image, grey, 128.0f, 128.0f, 128.0f, 1.0f);
    EXPECT_EQ(grey[0], grey[1]);
    EXPECT_EQ(grey[1], grey[2]);
    // The luminance dye: black stays black; white gets the colour's hue at
    // value v with saturation s (1 - v).
    float black[3] = {0.0f, 0.0f, 0.0f};
    dyePixelLuma(image, black, 200.0f, 120.0f, 40.0f, 1.0f);
    for (float v : black) EXPECT_EQ(v, 0.0f);
    float white[3] = {255.0f, 255.0f, 255.0f};
    dyePixelLuma(image, white, 255.0f, 0.0f, 0.0f, 1.0f);  // v = 1: saturation 0
    for (float v : white) EXPECT_NEAR(v, 255.0f, 1e-3f);
    // The 8-bit detail dye truncates the colour to whole levels before the
    // blend: red at 200/255 of 200 is 156.86, blended as 156 at weight 0.9:
    // 156 x 0.9 + 3 x 0.1 = 140.7 where the float form gives 141.48.
    float pf[3] = {3.0f, 0.0f, 200.0f};
    dyePixel(image, pf, 200.0f, 0.0f, 0.0f, 0.9f);
    EXPECT_NEAR(pf[0], 141.48f, 0.01f);
    ImageBuffer image8 = byteRow(3, {0, 0, 0});
    uint8_t px8[3] = {3, 0, 200};
    dyePixel8(image8, px8, 200.0f, 0.0f, 0.0f, 0.9f);
    EXPECT_EQ(px8[0], 140);
}

TEST(ColorizeCurve, HostileVarsAndImages) {
    const ImageBuffer image = tiletest::standardImage(4);
    // A region or colour var of another kind leaves the image alone.
    auto noRegion = colorizeCurve(kBent, 200.0f, 120.0f, 40.0f, kTintMethod, 1.0f);
    noRegion->var(0)->setValue(new ColorValue(1.0f, 2.0f, 3.0f));
    auto noColour = colorizeCurve(kBent, 200.0f, 120.0f, 40.0f, kTintMethod, 1.0f);
    noColour->var(1)->setValue(new CurveValue(Curve(0)));
    for (ImageMod* tile : std::initializer_list<ImageMod*>{noRegion.get(), noColour.get()}) {
        EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*tile, image)));
        const ImageBuffer bytes = tiletest::bytesOf(image);
        EXPECT_TRUE(tiletest::sameByteImages(bytes, tiletest::render8(*tile, bytes)));
    }
    // Samples no photo holds read the region table's ends, for every method.
    for (int32_t method = 0; method < kColorMethodCount; ++method)
        renderedFloat(*colorizeCurve(kBent, 200.0f, 120.0f, 40.0f, method, 1.0f), hostileRow());
}

TEST(ColorizeCurve, FewChannels) {
    // Methods that read three samples leave images of one or two channels
    // alone; Color Filter and the luminance dye work on what is there.
    const struct {
        int32_t method;
        uint32_t version;
        bool changes;
    } cases[] = {
        {kColorizeMethod, 2, false}, {kTintMethod, 2, false},       {kColorBalanceMethod, 2, false},
        {kScreenMethod, 2, false},   {kMultiplyMethod, 2, false},   {kDyeMethod, 2, false},
        {kDyeMethod, 1, true},       {kColorFilterMethod, 2, true},
    };
    for (int32_t channels : {1, 2}) {
        const ImageBuffer image = floatRow(channels, {60.0f, 100.0f, 140.0f, 180.0f});
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << channels << " channels, method " << c.method << " version " << c.version);
            auto tile = colorizeCurve(kAllAbove, 200.0f, 40.0f, 40.0f, c.method, 1.0f, c.version);
            EXPECT_EQ(!tiletest::sameFloatImages(image, renderedFloat(*tile, image)), c.changes);
            const ImageBuffer bytes = tiletest::bytesOf(image);
            EXPECT_EQ(!tiletest::sameByteImages(bytes, tiletest::render8(*tile, bytes)), c.changes);
        }
    }
}

TEST(ColorizeCurveProperties, HoldForEveryMethodAndVersion) {
    auto off = colorizeCurve(kBent, 200.0f, 120.0f, 40.0f, kTintMethod, 0.0f);
    tiletest::expectIdentityLeavesImage(*off);
    for (int32_t method = 0; method < kColorMethodCount; ++method) {
        for (uint32_t version : {1u, 2u}) {
            if (version == 1 && method != kDyeMethod) continue;  // only Dye differs by version
            SCOPED_TRACE(testing::Message() << "method " << method << " version " << version);
            auto tile = colorizeCurve(kBent, 200.0f, 120.0f, 40.0f, method, 0.75f, version);
            expectTileProperties(*tile, Selectors::kHonoured);
        }
    }
}
