#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "adjustments/ColorMethods.h"
#include "adjustments/ColoringWheels.h"
#include "adjustments/ToneTestSupport.h"
#include "framework/FilterFile.h"
#include "platform/ParallelFor.h"
#include "render/RenderContext.h"
#include "support/TestTiles.h"

using namespace tonetest;

namespace {

// A Coloring tile with its vars set the way a control sets them: each
// write followed by varChanged.
std::unique_ptr<ColorizeBasicMod> coloring(float r, float g, float b, float amount, int32_t method) {
    const float colour[4] = {r, g, b, 255.0f};
    auto tile = std::make_unique<ColorizeBasicMod>(colour);
    tile->floatAt(1)->value = amount;
    tile->varChanged(1);
    tile->var(2)->choiceValue()->selected = method;
    tile->varChanged(2);
    return tile;
}

struct Wheel {
    float r, g, b, k;
};

std::unique_ptr<ColorWheelsMod> wheels(const Wheel (&w)[4], int32_t method) {
    const float off[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    auto tile = std::make_unique<ColorWheelsMod>(off, off, off, off);
    for (int32_t i = 0; i < 4; ++i) {
        ColorValue* c = tile->var(i)->colorValue();
        c->red = w[i].r;
        c->green = w[i].g;
        c->blue = w[i].b;
        c->fourth = w[i].k;
        tile->varChanged(i);
    }
    tile->var(4)->choiceValue()->selected = method;
    tile->varChanged(4);
    return tile;
}

float wheelAmount(float k) { return powf(static_cast<float>(static_cast<double>(k) / 255.0), 1.7f); }

const Wheel kWheels[4] = {
    {200.0f, 120.0f, 40.0f, 60.0f},   // all
    {20.0f, 60.0f, 220.0f, 255.0f},   // shadows
    {40.0f, 200.0f, 90.0f, 127.5f},   // midtones
    {250.0f, 200.0f, 30.0f, 180.0f},  // highlights
};

// Every member var equal to the snapshot's.
::testing::AssertionResult sameState(const ImageMod& a, const ImageMod& b) {
    if (a.equals(b)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << a.name.c_str() << " changed";
}

}  // namespace

TEST(ColoringWheelsSetup, VarsMembersAndRegistration) {
    const float colour[4] = {127.0f, 63.0f, 0.0f, 255.0f};
    ColorizeBasicMod basic(colour);
    const float off[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    ColorWheelsMod colorWheels(off, off, off, off);
    expectRegistered(basic);
    expectRegistered(colorWheels);

    EXPECT_TRUE(basic.name == "Colorize Basic");
    EXPECT_TRUE(basic.displayName == "Coloring");
    EXPECT_TRUE(basic.var(0)->name == "Color");
    EXPECT_EQ(basic.var(0)->colorValue()->green, 63.0f);
    expectFloatVar(basic, {1, "Amount", 0.5f, 0.0f, 1.0f, 0.0f, 1.0f, false, 10, nullptr});
    const ChoiceValue* methods = basic.var(2)->choiceValue();
    ASSERT_TRUE(methods);
    ASSERT_EQ(methods->optionCount(), kColorMethodCount);
    EXPECT_TRUE(methods->lists[0][4] == "Color Balance");
    EXPECT_EQ(basic.animTracks.count, 2);
    EXPECT_EQ(basic.version, 1u);
    EXPECT_TRUE(basic.description == "Adjust the overall color.");
    // The member: region flat at 1, the tile's colour, Amount 0.5, version 2.
    const ColorizeCurveMod& member = basic.member();
    const Curve& region = member.var(0)->curveValue()->curve;
    ASSERT_EQ(region.points.count, 2);
    EXPECT_EQ(region.points[0].y, 1.0f);
    EXPECT_EQ(region.points[1].y, 1.0f);
    EXPECT_EQ(member.var(1)->colorValue()->red, 127.0f);
    EXPECT_EQ(member.var(2)->floatValue()->value, 0.5f);
    EXPECT_EQ(member.version, 2u);

    EXPECT_TRUE(colorWheels.name == "Color Wheels");
    const char* names[] = {"All", "Shadows", "Midtones", "Highlights"};
    for (int32_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(colorWheels.var(i)->name == names[i]);
        EXPECT_EQ(colorWheels.var(i)->controlCode, kControlHueOnly);
        EXPECT_TRUE(colorWheels.var(i)->colorValue());
        const ColorizeCurveMod& m = colorWheels.member(i);
        EXPECT_TRUE(m.var(0)->curveValue()->curve.points.count >= 2);
        EXPECT_EQ(m.var(2)->floatValue()->value, 0.0f);  // off until a wheel has strength
        EXPECT_EQ(m.version, 2u);
    }
    EXPECT_TRUE(colorWheels.var(4)->name == "Color Method");
    EXPECT_EQ(colorWheels.var(4)->choiceValue()->optionCount(), kColorMethodCount);
    EXPECT_EQ(colorWheels.animTracks.count, 4);
    EXPECT_EQ(colorWheels.version, 1u);
    EXPECT_TRUE(colorWheels.description ==
                "Use color wheels to adjust the coloring of shadows, midtones, and highlights.");
}

TEST(Coloring, EqualsItsColorizeCurveRunByHand) {
    // The tile is a Colorize Curve with the region flat at 1 and the tile's
    // colour, Amount and method: strength a for every pixel.
    const ImageBuffer image = tiletest::standardImage(4);
    const ImageBuffer bytes = tiletest::bytesOf(image);
    WeightSelector byRed(1.0f, redWeight);
    RenderArgs withRed;
    withRed.selector = &byRed;
    for (int32_t method = 0; method < kColorMethodCount; ++method) {
        SCOPED_TRACE(testing::Message() << "method " << method);
        auto tile = coloring(200.0f, 120.0f, 40.0f, 0.65f, method);
        const float colour[4] = {200.0f, 120.0f, 40.0f, 255.0f};
        ColorizeCurveMod byHand(curveOf("0 1 1 1"), colour, static_cast<uint32_t>(method), 0.65f);
        EXPECT_TRUE(tiletest::sameFloatImages(renderedFloat(byHand, image), renderedFloat(*tile, image)));
        EXPECT_TRUE(tiletest::sameByteImages(tiletest::render8(byHand, bytes), tiletest::render8(*tile, bytes)));
        EXPECT_TRUE(tiletest::sameFloatImages(renderedFloat(byHand, image, &withRed),
                                              renderedFloat(*tile, image, &withRed)));
    }
}

TEST(Coloring, WorkedValues) {
    // Tint at Amount 1: every pixel becomes the flat colour.
    auto tint = coloring(10.0f, 20.0f, 30.0f, 1.0f, kTintMethod);
    const ImageBuffer out = renderedFloat(*tint, floatRow(4, {0.0f, 128.0f, 255.0f, 77.0f, 255.0f, 255.0f, 255.0f, 5.0f}));
    const float expected[] = {10.0f, 20.0f, 30.0f, 77.0f, 10.0f, 20.0f, 30.0f, 5.0f};
    for (int32_t i = 0; i < 8; ++i) EXPECT_EQ(out.floats()[i], expected[i]) << i;
    // Amount 0 leaves every image.
    auto off = coloring(10.0f, 20.0f, 30.0f, 0.0f, kTintMethod);
    tiletest::expectIdentityLeavesImage(*off);
    // Never the complement: with Color Balance a positive strength adds.
    auto balance = coloring(100.0f, 0.0f, 0.0f, 0.5f, kColorBalanceMethod);
    const ImageBuffer added = renderedFloat(*balance, floatRow(3, {100.0f, 100.0f, 100.0f}));
    EXPECT_EQ(added.floats()[0], 150.0f);
    EXPECT_EQ(added.floats()[1], 100.0f);
}

TEST(Coloring, MemberFollowsTheVarsOutsideProcessing) {
    // The member takes the tile's vars when they change, and rendering only
    // reads: the member is the same before and after a banded render.
    auto tile = coloring(200.0f, 120.0f, 40.0f, 0.4f, kScreenMethod);
    const ColorizeCurveMod& member = tile->member();
    EXPECT_EQ(member.var(2)->floatValue()->value, 0.4f);
    EXPECT_EQ(member.var(3)->choiceValue()->selected, kScreenMethod);
    EXPECT_EQ(member.var(1)->colorValue()->green, 120.0f);
    tile->var(0)->colorValue()->green = 7.0f;
    tile->var(0)->colorValue()->fourth = 99.0f;
    tile->varChanged(0);
    EXPECT_EQ(member.var(1)->colorValue()->green, 7.0f);
    EXPECT_EQ(member.var(1)->colorValue()->fourth, 99.0f);  // all four components

    std::unique_ptr<ImageMod> snapshot(duplicateMod(member));
    GrowArray<ImageMod*> chain;
    chain.append(tile.get());
    setParallelThreadCount(8);
    RenderContext context(0);
    ImageBuffer out = tiletest::standardImage(4);
    EXPECT_TRUE(context.render(chain, &out, nullptr, -1, 0, nullptr));
    setParallelThreadCount(0);
    EXPECT_TRUE(sameState(*snapshot, member));

    // copyFrom brings the member in step without a call to varChanged.
    std::unique_ptr<ImageMod> copy(tile->clone());
    copy->copyFrom(*tile);
    const ColorizeCurveMod& copied = static_cast<ColorizeBasicMod&>(*copy).member();
    EXPECT_TRUE(sameState(member, copied));
    const ImageBuffer image = tiletest::standardImage(3);
    EXPECT_TRUE(tiletest::sameFloatImages(renderedFloat(*tile, image), renderedFloat(*copy, image)));

    // Vars of another kind: a colour that is not one leaves the image; an
    // Amount or method of another kind reads as 0.
    auto noColour = coloring(200.0f, 120.0f, 40.0f, 1.0f, kTintMethod);
    noColour->var(0)->setValue(new FloatValue(3.0f));
    noColour->varChanged(0);
    EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*noColour, image)));
    auto noAmount = coloring(200.0f, 120.0f, 40.0f, 1.0f, kTintMethod);
    noAmount->var(1)->setValue(new ColorValue(1.0f, 1.0f, 1.0f));
    noAmount->varChanged(1);
    EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*noAmount, image)));
    auto noMethod = coloring(200.0f, 120.0f, 40.0f, 0.5f, kTintMethod);
    noMethod->var(2)->setValue(new FloatValue(1.0f));
    noMethod->varChanged(2);
    auto colorize = coloring(200.0f, 120.0f, 40.0f, 0.5f, kColorizeMethod);
    EXPECT_TRUE(tiletest::sameFloatImages(renderedFloat(*colorize, image), renderedFloat(*noMethod, image)));
}

TEST(ColorWheels, EqualsItsMembersRunByHand) {
    // The four members run in order (all, shadows, midtones, highlights),
    // each with its wheel's colour at Amount (k/255)^1.7.
    const ImageBuffer image = tiletest::standardImage(4);
    const ImageBuffer bytes = tiletest::bytesOf(image);
    for (int32_t method : {int32_t(kColorizeMethod), int32_t(kDyeMethod), int32_t(kMultiplyMethod)}) {
        SCOPED_TRACE(testing::Message() << "method " << method);
        auto tile = wheels(kWheels, method);
        ImageBuffer expected = tiletest::copyOf(image);
        ImageBuffer expected8 = tiletest::bytesOf(image);
        for (int32_t i = 0; i < 4; ++i) {
            const float colour[4] = {kWheels[i].r, kWheels[i].g, kWheels[i].b, 255.0f};
            ColorizeCurveMod member(curveOf(ColorWheelsMod::kRegions[i]), colour, static_cast<uint32_t>(method),
                                    wheelAmount(kWheels[i].k));
            member.applyFloat(expected);
            member.apply8(expected8);
        }
        EXPECT_TRUE(tiletest::sameFloatImages(expected, renderedFloat(*tile, image)));
        EXPECT_TRUE(tiletest::sameByteImages(expected8, tiletest::render8(*tile, bytes)));
    }
}

TEST(ColorWheels, WheelStrengthsAndRegions) {
    // k = 255 drives a member at Amount 1; 127.5 at about 0.3078.
    auto tile = wheels(kWheels, kColorizeMethod);
    EXPECT_EQ(tile->member(1).var(2)->floatValue()->value, 1.0f);
    EXPECT_NEAR(tile->member(2).var(2)->floatValue()->value, 0.3078f, 1e-4f);
    EXPECT_EQ(tile->member(1).var(1)->colorValue()->fourth, 255.0f);
    // Wheels at k = 0 change nothing, whatever their hues.
    const Wheel silent[4] = {{255.0f, 0.0f, 0.0f, 0.0f}, {0.0f, 255.0f, 0.0f, 0.0f},
                             {0.0f, 0.0f, 255.0f, 0.0f}, {255.0f, 255.0f, 0.0f, 0.0f}};
    auto off = wheels(silent, kTintMethod);
    tiletest::expectIdentityLeavesImage(*off);
    // "Color Method" switches all four members at once.
    tile->var(4)->choiceValue()->selected = kScreenMethod;
    tile->varChanged(4);
    for (int32_t i = 0; i < 4; ++i) EXPECT_EQ(tile->member(i).var(3)->choiceValue()->selected, kScreenMethod);
    // White is left by the shadows and midtones wheels, black by the
    // midtones and highlights wheels.
    const ImageBuffer blackWhite = floatRow(3, {0.0f, 0.0f, 0.0f, 255.0f, 255.0f, 255.0f});
    const struct {
        int32_t wheel;
        bool blackChanges, whiteChanges;
    } cases[] = {{1, true, false}, {2, false, false}, {3, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "wheel " << c.wheel);
        Wheel only[4] = {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}};
        only[c.wheel] = {40.0f, 90.0f, 200.0f, 255.0f};
        auto single = wheels(only, kTintMethod);
        const ImageBuffer out = renderedFloat(*single, blackWhite);
        EXPECT_EQ(out.floats()[0] != 0.0f || out.floats()[2] != 0.0f, c.blackChanges);
        EXPECT_EQ(out.floats()[3] != 255.0f || out.floats()[5] != 255.0f, c.whiteChanges);
    }
}

TEST(ColorWheels, CopiesAndHostileWheels) {
    // clone + copyFrom reproduces the members without a call to varChanged.
    auto tile = wheels(kWheels, kDyeMethod);
    std::unique_ptr<ImageMod> copy(tile->clone());
    copy->copyFrom(*tile);
    const auto& copied = static_cast<const ColorWheelsMod&>(*copy);
    for (int32_t i = 0; i < 4; ++i) EXPECT_TRUE(sameState(tile->member(i), copied.member(i))) << i;
    // A tile built with coloured wheels renders them from the start.
    const float shadows[4] = {20.0f, 60.0f, 220.0f, 255.0f};
    const float off[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    ColorWheelsMod built(shadows, off, off, off);
    const Wheel onlyShadows[4] = {{0, 0, 0, 0}, {20.0f, 60.0f, 220.0f, 255.0f}, {0, 0, 0, 0}, {0, 0, 0, 0}};
    const ImageBuffer image = tiletest::standardImage(3);
    EXPECT_TRUE(tiletest::sameFloatImages(renderedFloat(*wheels(onlyShadows, 0), image), renderedFloat(built, image)));
    EXPECT_FALSE(tiletest::sameFloatImages(image, renderedFloat(built, image)));

    // A strength below 0 or NaN switches the wheel off, and so does a wheel
    // var of another kind; the other wheels keep working.
    for (float k : {-40.0f, NAN}) {
        auto hostile = wheels(onlyShadows, kTintMethod);
        hostile->var(1)->colorValue()->fourth = k;
        hostile->varChanged(1);
        EXPECT_EQ(hostile->member(1).var(2)->floatValue()->value, 0.0f);
        EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*hostile, image)));
    }
    auto otherKind = wheels(kWheels, kTintMethod);
    otherKind->var(2)->setValue(new FloatValue(1.0f));
    otherKind->varChanged(2);
    Wheel withoutMidtones[4] = {kWheels[0], kWheels[1], kWheels[2], kWheels[3]};
    withoutMidtones[2].k = 0.0f;
    EXPECT_TRUE(tiletest::sameFloatImages(renderedFloat(*wheels(withoutMidtones, kTintMethod), image),
                                          renderedFloat(*otherKind, image)));
    renderedFloat(*wheels(kWheels, kColorFilterMethod), hostileRow());
}

TEST(ColoringWheels, LoadedFiltersRenderAsSaved) {
    // The filter reader writes each var and calls varChanged: the loaded
    // tiles' members follow and render what the saved tiles render.
    auto basic = coloring(30.0f, 200.0f, 90.0f, 0.8f, kMultiplyMethod);
    auto colorWheels = wheels(kWheels, kScreenMethod);
    GrowArray<ImageMod*> chain;
    chain.append(basic.get());
    chain.append(colorWheels.get());
    GrowArray<ImageMod*> prototypes;
    prototypes.append(basic->clone());
    prototypes.append(colorWheels->clone());
    const char* base = std::getenv("XDG_CACHE_HOME");
    const std::filesystem::path folder = base && *base ? base : std::filesystem::temp_directory_path();
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    const std::string path = (folder / "coloring-wheels-round-trip.plf").string();
    ASSERT_TRUE(saveFilterFile(chain, GrowString(path.c_str())));
    GrowArray<ImageMod*> loaded;
    uint32_t status = 99;
    loadFilterFile(loaded, GrowString(path.c_str()), prototypes, status);
    EXPECT_EQ(status, static_cast<uint32_t>(kFilterReadClean));
    ASSERT_EQ(loaded.count, 2);
    const ImageBuffer image = tiletest::standardImage(4);
    for (int32_t i = 0; i < 2; ++i) {
        EXPECT_TRUE(tiletest::sameFloatImages(renderedFloat(*chain[i], image), renderedFloat(*loaded[i], image)));
    }
    for (ImageMod* mod : loaded) delete mod;
    for (ImageMod* mod : prototypes) delete mod;
    std::filesystem::remove(path, ignored);
}

TEST(ColoringWheelsProperties, HoldForBothTiles) {
    const Wheel onlyMidtones[4] = {{0, 0, 0, 0}, {0, 0, 0, 0}, {40.0f, 200.0f, 90.0f, 200.0f}, {0, 0, 0, 0}};
    for (int32_t method : {int32_t(kColorizeMethod), int32_t(kColorFilterMethod), int32_t(kDyeMethod)}) {
        SCOPED_TRACE(testing::Message() << "method " << method);
        auto basic = coloring(200.0f, 120.0f, 40.0f, 0.65f, method);
        expectTileProperties(*basic, Selectors::kHonoured);
        auto single = wheels(onlyMidtones, method);
        expectTileProperties(*single, Selectors::kHonoured);
        // With four wheels every member stores bytes that the next one reads
        // and keys its strength on; in the regions' transitions a level of
        // luminance moves the strength by several levels of colour, so the
        // 8-bit form is held to its members run by hand (above) instead of
        // to a level of the float form.
        auto colorWheels = wheels(kWheels, method);
        for (int32_t channels : {3, 4}) {
            const ImageBuffer image = tiletest::standardImage(channels);
            tiletest::expectBandedEqualsWhole(*colorWheels, image);
            tiletest::expectSelectorWeightOneIsNoSelector(*colorWheels, image);
            tiletest::expectSelectorWeightZeroIsIdentity(*colorWheels, image);
        }
        tiletest::expectCloneCopyFromEquals(*colorWheels);
        tiletest::expectFilterRoundTrip(*colorWheels);
    }
}
