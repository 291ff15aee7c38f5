// Camera styles: what every style and every stored version must satisfy,
// then each style's worked values.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cameras/CameraStyles.h"
#include "cameras/ColorcrossCamera.h"
#include "cameras/MonoCamera.h"
#include "foundation/ColorConversions.h"
#include "effects/Blur.h"
#include "framework/CompoundFilter.h"
#include "framework/TilePrototypes.h"
#include "platform/ParallelFor.h"
#include "render/RenderContext.h"
#include "support/TestTiles.h"
#include "support/ImageBuilders.h"
#include "support/TileProperties.h"

using tiletest::copyOf;
using tiletest::renderFloat;
using tiletest::sameFloatImages;

namespace {

struct StyleCase {
    const char* name;
    std::function<CameraMod*()> make;
    std::vector<uint32_t> versions;  // each stored version with its own recipe
};

// Every built style with the versions whose recipes differ, plus versions
// no release wrote (0 and the largest), which take the "other" recipe.
std::vector<StyleCase> styles() {
    return {
        {"Colorcross", [] { return new ColorcrossCamera(1.0f, 0.0f); }, {2}},
        {"Mono", [] { return new MonoCamera(); }, {1, 2, 0, 4294967295u}},
        {"Silver", [] { return new SilverCamera(2); }, {1, 2, 0, 4294967295u}},
        {"Magazine", [] { return new MagazineCamera(3); }, {1, 2, 3, 0, 4294967295u}},
        {"Lolo", [] { return new LoloCamera(); }, {1}},
        {"1958", [] { return new Camera1958(2); }, {1, 2, 0, 4294967295u}},
        {"1962", [] { return new Camera1962(4); }, {1, 2, 3, 4, 0, 4294967295u}},
        {"1974", [] { return new Camera1974(3); }, {1, 2, 3, 0, 4294967295u}},
        {"1983", [] { return new Camera1983(3); }, {1, 2, 3, 0, 4294967295u}},
        {"Autochrome", [] { return new AutochromeCamera(3); }, {1, 2, 3, 0, 4294967295u}},
        {"Helga", [] { return new HelgaCamera(2); }, {1, 2, 0, 4294967295u}},
        {"Instant", [] { return new InstantCamera(2); }, {1, 2, 0, 4294967295u}},
        {"Italiano", [] { return new ItalianoCamera(2); }, {1, 2, 0, 4294967295u}},
        {"Matte", [] { return new MatteCamera(4); }, {1, 2, 3, 4, 0, 4294967295u}},
        {"Poolside", [] { return new PoolsideCamera(2); }, {1, 2, 0, 4294967295u}},
        {"Skater", [] { return new SkaterCamera(3); }, {1, 2, 3, 0, 4294967295u}},
        {"Wedding", [] { return new WeddingCamera(); }, {1}},
        {"Hipster", [] { return new HipsterCamera(); }, {1}},
        {"Plastic", [] { return new PlasticCamera(); }, {1}},
        {"Saloon", [] { return new SaloonCamera(); }, {1}},
    };
}

void setValues(CameraMod& tile, float a, float v) {
    tile.floatAt(0)->value = a;
    tile.floatAt(1)->value = v;
}

class EveryStyle : public testing::TestWithParam<StyleCase> {};

TEST_P(EveryStyle, VarsAndNames) {
    std::unique_ptr<CameraMod> tile(GetParam().make());
    EXPECT_EQ(tile->kind(), kCameraMod);
    EXPECT_EQ(std::string(tile->displayName.c_str()), std::string(GetParam().name) + " Camera");
    ASSERT_EQ(tile->vars.count, 2);
    const FloatValue* a = tile->floatAt(0);
    const FloatValue* v = tile->floatAt(1);
    EXPECT_EQ(a->displayHigh, 100.0f);
    EXPECT_TRUE(a->useDisplayRange);
    EXPECT_TRUE(a->hasMinimum && a->hasMaximum);
    EXPECT_FALSE(v->hasMinimum || v->hasMaximum);
    EXPECT_EQ(v->rangeHigh, 100.0f);
    EXPECT_STREQ(tile->vars[1]->label().c_str(), "Remix");
    EXPECT_EQ(tile->vars[0]->controlCode, 0);
}

TEST_P(EveryStyle, PropertiesInEveryVersion) {
    const ImageBuffer large = testimages::makeFloatImage(64, 97, 3, 11);
    for (uint32_t version : GetParam().versions) {
        SCOPED_TRACE(testing::Message() << "version " << version);
        std::unique_ptr<CameraMod> tile(GetParam().make());
        tile->setVersion(version);
        setValues(*tile, 0.0f, 37.0f);
        tiletest::expectIdentityLeavesImage(*tile);
        setValues(*tile, 1.0f, 13.0f);
        tiletest::expectCloneCopyFromEquals(*tile);
        tiletest::expectFilterRoundTrip(*tile);
        tiletest::expectBandedEqualsWhole(*tile, large);
        setValues(*tile, 3.0f, -21.5f);
        tiletest::expectBandedEqualsWhole(*tile, large);

        // The 8-bit body gives the same look: a style is five to seven
        // truncating steps (blurs and grain over this noisy picture add to
        // it), so only the mean difference is held, to a few levels.
        setValues(*tile, 1.0f, 13.0f);
        const ImageBuffer bytes = tiletest::bytesOf(large);
        const ImageBuffer fromFloat = tiletest::bytesOf(renderFloat(*tile, tiletest::floatsOf(bytes)));
        const ImageBuffer from8 = tiletest::render8(*tile, bytes);
        double total = 0.0;
        for (int64_t i = 0; i < from8.sampleCount(); ++i) total += std::abs(fromFloat.bytes()[i] - from8.bytes()[i]);
        EXPECT_LT(total / static_cast<double>(from8.sampleCount()), 6.0);
    }
}

// Values a filter file can hold: the styles stay defined (the sanitizer
// build checks for undefined behaviour), margins stay within the picture and
// bands still equal the whole.
TEST_P(EveryStyle, HostileValues) {
    const ImageBuffer image = testimages::makeFloatImage(23, 41, 4, 5);
    const float amounts[] = {5.0f, -3.0f, 1e6f, NAN};
    const float variations[] = {1e8f, -1e8f, 3e38f, -3e38f, INFINITY, NAN};
    for (uint32_t version : GetParam().versions) {
        std::unique_ptr<CameraMod> tile(GetParam().make());
        tile->setVersion(version);
        for (float a : amounts) {
            for (float v : variations) {
                SCOPED_TRACE(testing::Message() << "version " << version << " a " << a << " v " << v);
                setValues(*tile, a, v);
                const int32_t margin = tile->marginFor(image.width, image.height, 1.0f);
                EXPECT_GE(margin, 0);
                EXPECT_LE(margin, image.height);
                renderFloat(*tile, image);
                tiletest::render8(*tile, tiletest::bytesOf(image));
            }
        }
        setValues(*tile, 5.0f, 1e8f);
        tiletest::expectBandedEqualsWhole(*tile, image);
    }
}

// A style cut as the pipeline cuts it: bands with rows of context (the
// steps after a blur skip them), strips of a few rows inside a band (taken
// by any thread), gives the samples of every step run over the whole
// picture: for 1, 3 and 8 threads, tall and short bands, float and 8-bit,
// under a selector, and inside a compound that blends it with a blur after.
TEST_P(EveryStyle, BandsAndStripsGiveTheWholePicture) {
    struct Reset {
        ~Reset() { setParallelThreadCount(0); }
    } reset;
    // 1200 float pixels of 3 channels are 14400 bytes a row: a style's
    // strips are 18 rows, so one band holds several.
    const ImageBuffer image = testimages::makeFloatImage(1200, 60, 3, 17);
    const ImageBuffer bytes = tiletest::bytesOf(image);
    std::unique_ptr<CameraMod> tile(GetParam().make());
    setValues(*tile, 1.0f, 29.0f);
    const bool margin = tile->marginFor(image.width, image.height, 1.0f) > 0;
    WeightSelector selector(1.0f, redWeight);
    auto compound = std::make_unique<CompoundFilter>(GrowString("Look"));
    compound->subMods.append(duplicateMod(*tile));
    compound->subMods.append(new BlurMod(20.0f, 100.0f));
    compound->floatAt(0)->value = 0.5f;

    struct Case {
        const char* name;
        ImageMod* front;  // a selector in front, or null
        ImageMod* tile;
    };
    const Case cases[] = {{"alone", nullptr, tile.get()},
                          {"selected", &selector, tile.get()},
                          {"compound", nullptr, compound.get()}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RenderArgs args;
        args.selector = c.front;
        const ImageBuffer whole = renderFloat(*c.tile, image, &args);
        // With a margin the 8-bit pipeline runs the float body on float bands.
        const ImageBuffer whole8 = margin || c.tile == compound.get()
                                       ? tiletest::bytesOf(renderFloat(*c.tile, tiletest::floatsOf(bytes), &args))
                                       : tiletest::render8(*c.tile, bytes, &args);
        GrowArray<ImageMod*> chain;
        if (c.front) chain.append(c.front);
        chain.append(c.tile);
        for (int threads : {1, 3, 8}) {
            for (int32_t bandLimit : {256, 9}) {
                SCOPED_TRACE(testing::Message() << threads << " threads, bands up to " << bandLimit << " rows");
                setParallelThreadCount(threads);
                RenderContext context(0);
                context.maxBandHeight = bandLimit;
                ImageBuffer out = copyOf(image);
                EXPECT_TRUE(context.render(chain, &out, nullptr, -1, 0, nullptr));
                EXPECT_TRUE(sameFloatImages(whole, out));
                RenderContext context8(0);
                context8.maxBandHeight = bandLimit;
                ImageBuffer out8 = tiletest::copyOf8(bytes);
                EXPECT_TRUE(context8.render8(chain, &out8, nullptr, -1, 0, nullptr));
                EXPECT_TRUE(tiletest::sameByteImages(whole8, out8));
            }
        }
    }
}

// The recipe's steps as ordinary tiles (the benchmark's chain) render the
// style's picture: the list the style runs is the list it hands out.
TEST_P(EveryStyle, RecipeChainRendersAsTheStyle) {
    const ImageBuffer image = testimages::makeFloatImage(48, 40, 3, 23);
    for (uint32_t version : GetParam().versions) {
        SCOPED_TRACE(testing::Message() << "version " << version);
        std::unique_ptr<CameraMod> tile(GetParam().make());
        tile->setVersion(version);
        setValues(*tile, 0.8f, 17.0f);
        GrowArray<ImageMod*> blocks;
        tile->recipeChain(blocks);
        if (blocks.count > 0) {
            GrowArray<ImageMod*> alone;
            alone.append(tile.get());
            ImageBuffer asStyle = copyOf(image);
            ImageBuffer asTiles = copyOf(image);
            RenderContext styleContext(0), tilesContext(0);
            EXPECT_TRUE(styleContext.render(alone, &asStyle, nullptr, -1, 0, nullptr));
            EXPECT_TRUE(tilesContext.render(blocks, &asTiles, nullptr, -1, 0, nullptr));
            EXPECT_TRUE(sameFloatImages(asStyle, asTiles));
        }
        freePrototypeList(blocks);
    }
}

INSTANTIATE_TEST_SUITE_P(Cameras, EveryStyle, testing::ValuesIn(styles()),
                         [](const testing::TestParamInfo<StyleCase>& info) { return std::string(info.param.name); });

TEST(Colorcross, PhaseAndCurves) {
    EXPECT_DOUBLE_EQ(ColorcrossCamera::phaseFor(0.0f), -104.78279922044243);
    // The moved points never cross, for any Variation.
    for (float v : {0.0f, 7.0f, -55.5f, 1234.0f}) {
        ColorcrossCamera::Curves curves(1.0f, v, 2);
        for (const Curve& c : curves.channel) {
            ASSERT_EQ(c.points.count, 5);
            for (int i = 1; i < 5; ++i) {
                EXPECT_GE(c.points[i].x, c.points[i - 1].x);
                EXPECT_GE(c.points[i].y, c.points[i - 1].y);
            }
        }
    }
}

TEST(Colorcross, FullAmountIsTheCurveTimes255) {
    ColorcrossCamera tile(1.0f, 0.0f);
    ImageBuffer image = testimages::filledFloatImage(2, 1, {0.0f, 255.0f, 100.0f});
    const ImageBuffer out = renderFloat(tile, image);
    ColorcrossCamera::Curves curves(1.0f, 0.0f, 2);
    const float* red = curves.channel[0].table.data;
    const float* green = curves.channel[1].table.data;
    EXPECT_EQ(testimages::floatAt(out, 0, 0, 0), static_cast<float>(0.0 + red[0] * 255.0f));
    EXPECT_EQ(testimages::floatAt(out, 0, 0, 1), green[2047] * 255.0f);
}

TEST(Mono, VersionTwoIsGreyAtFullAmount) {
    MonoCamera tile;
    const ImageBuffer out = renderFloat(tile, testimages::makeFloatImage(9, 7, 3, 3));
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 9; ++x) {
            EXPECT_EQ(testimages::floatAt(out, x, y, 0), testimages::floatAt(out, x, y, 1));
            EXPECT_EQ(testimages::floatAt(out, x, y, 1), testimages::floatAt(out, x, y, 2));
        }
    }
}

TEST(Mono, OtherVersionsRunTheColorcrossChain) {
    MonoCamera chain;
    chain.setVersion(1);
    const ImageBuffer image = testimages::makeFloatImage(9, 7, 3, 3);
    const ImageBuffer out = renderFloat(chain, image);
    MonoCamera grey;
    EXPECT_FALSE(sameFloatImages(renderFloat(grey, image), out));
    // At full Amount the chain's Saturation 0 leaves no colour either.
    EXPECT_NEAR(testimages::floatAt(out, 4, 4, 0), testimages::floatAt(out, 4, 4, 2), 1e-3f);
}

TEST(Silver, TintHue) {
    struct { float v; float hue; } cases[] = {
        {0.0f, 30.0f}, {-10.0f, 340.0f}, {66.0f, 0.0f}, {1e9f, std::fmod(5.0f * (1e9f + 6.0f), 360.0f)},
    };
    for (const auto& c : cases) EXPECT_FLOAT_EQ(SilverCamera::tintHue(c.v), c.hue) << c.v;
    for (float v : {1e25f, 1e38f, -1e38f, INFINITY, NAN}) {
        const float h = SilverCamera::tintHue(v);
        EXPECT_TRUE(h >= 0.0f && h < 360.0f) << v << " gives " << h;
    }
}

}  // namespace

namespace {

TEST(Magazine, VersionThreeIsVersionTwoAtSevenTenths) {
    const ImageBuffer image = testimages::makeFloatImage(17, 13, 3, 9);
    MagazineCamera three(3), two(2);
    setValues(three, 1.0f, 12.0f);
    setValues(two, 0.699999988079071f, 12.0f);
    EXPECT_TRUE(sameFloatImages(renderFloat(two, image), renderFloat(three, image)));
    // Versions 0, 1 and 4 share the four-step chain.
    MagazineCamera one(1), zero(0), four(4);
    for (MagazineCamera* t : {&one, &zero, &four}) setValues(*t, 0.8f, 5.0f);
    EXPECT_TRUE(sameFloatImages(renderFloat(one, image), renderFloat(zero, image)));
    EXPECT_TRUE(sameFloatImages(renderFloat(one, image), renderFloat(four, image)));
}

TEST(Magazine, BalanceHueAtVariationZero) {
    float c[4];
    MagazineCamera::balanceColour(0.0f, c);
    EXPECT_NEAR(rgbHue(c[0], c[1], c[2]), 4.16f, 0.01f);
}

TEST(Camera1958, MarginsAndTheClosingBlur) {
    Camera1958 tile(2);
    EXPECT_EQ(tile.marginFor(1000, 800, 1.0f), 2);
    EXPECT_EQ(tile.marginFor(3000, 2000, 1.0f), 4);
    Camera1958 one(1);
    EXPECT_EQ(one.marginFor(3000, 2000, 1.0f), 0);

    // Version 2 is version 1 followed by the blur of its recipe.
    const ImageBuffer image = testimages::makeFloatImage(40, 30, 3, 4);
    float amount, mix;
    Camera1958::closingBlur(1.0f, 0.0f, amount, mix);
    BlurMod blur(amount, mix);
    const ImageBuffer expected = renderFloat(blur, renderFloat(one, image));
    EXPECT_TRUE(sameFloatImages(expected, renderFloat(tile, image)));
}

}  // namespace
