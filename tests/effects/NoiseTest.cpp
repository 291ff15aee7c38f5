// Value noise, the Noise tile, Discolor and Lightleak.

#include <gtest/gtest.h>

#include <math.h>

#include <cstdint>
#include <limits>
#include <memory>

#include "effects/Discolor.h"
#include "effects/Noise.h"
#include "framework/TilePrototypes.h"
#include "support/ImageBuilders.h"
#include "support/TileProperties.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
const float kOrange[4] = {255.0f, 127.0f, 0.0f, 255.0f};

// Every float sample a number within 0..255.
::testing::AssertionResult samplesInRange(const ImageBuffer& image) {
    const float* s = image.floats();
    for (int64_t i = 0; i < image.sampleCount(); ++i)
        if (!(s[i] >= 0.0f && s[i] <= 255.0f)) return ::testing::AssertionFailure() << "sample " << i << " is " << s[i];
    return ::testing::AssertionSuccess();
}

// The tile with each var of `vars` set to each hostile value in turn renders
// float and 8-bit, as a whole and as a band of a larger picture, with
// samples that stay within 0..255 (run under the sanitizers: nothing
// undefined on the way).
void expectHostileValuesClean(ImageMod& tile, std::initializer_list<int32_t> vars) {
    const ImageBuffer image = tiletest::standardImage(4);
    const ImageBuffer bytes = tiletest::bytesOf(image);
    RenderRegion region;
    region.fullWidth = 6000;
    region.fullHeight = 4000;
    region.originX = 5000;
    region.originY = 3900;
    RenderArgs args;
    args.region = &region;
    for (int32_t index : vars) {
        const float saved = tile.floatAt(index)->value;
        for (float hostile : {kNaN, kInf, -kInf, 1e30f, -1e30f, 1e8f, -1e8f}) {
            SCOPED_TRACE(testing::Message() << "var " << index << " = " << hostile);
            tile.floatAt(index)->value = hostile;
            EXPECT_TRUE(samplesInRange(tiletest::renderFloat(tile, image)));
            EXPECT_TRUE(samplesInRange(tiletest::renderFloat(tile, image, &args)));
            tiletest::render8(tile, bytes, &args);
        }
        tile.floatAt(index)->value = saved;
    }
}

int32_t countPrototypes(const char* name) {
    GrowArray<ImageMod*> prototypes;
    buildPrototypeList(prototypes);
    int32_t found = 0;
    for (ImageMod* mod : prototypes) found += mod->name == GrowString(name) ? 1 : 0;
    freePrototypeList(prototypes);
    return found;
}

// ---- Value noise ---------------------------------------------------------------------------

TEST(ValueNoise, WorkedValuesAndRange) {
    // The origin is the corner value of hash 1376312589: 1 - m / 2^30 with m
    // rounded to float first.
    EXPECT_EQ(valueNoise2d(0.0f, 0.0f), -0.28179097f);
    // Whole coordinates give their corner exactly; between them the value
    // eases, staying within -1..1.
    for (float x = 0.0f; x < 40.0f; x += 0.37f) {
        for (float y = 0.0f; y < 40.0f; y += 0.91f) {
            const float v = valueNoise2d(x, y);
            ASSERT_TRUE(v >= -1.0f && v <= 1.0f) << x << " " << y;
        }
    }
    EXPECT_EQ(valueNoise2d(3.0f, 5.0f), valueNoise2d(3.0f, 5.0f));
    EXPECT_NE(valueNoise2d(3.0f, 5.0f), valueNoise2d(5.0f, 3.0f));
}

TEST(ValueNoise, NonFiniteAndHugeCoordinatesAreDefined) {
    // Beyond the 32-bit lattice the coordinates take the lattice's end (no
    // undefined conversion; the sanitizer build checks); NaN fractions ease
    // from entry 0.
    for (float x : {kNaN, kInf, -kInf, 1e30f, -1e30f, 3e9f, 2147483520.0f}) {
        const float v = valueNoise2d(x, x);
        EXPECT_TRUE(v >= -1.0f && v <= 1.0f) << x;
    }
    EXPECT_EQ(valueNoise2d(1e30f, 0.0f), valueNoise2d(3e9f, 0.0f));
}

TEST(ValueNoise, OctaveRowsEqualTheCallsOneByOne) {
    const float xs[] = {0.0f, 0.5f, 3.25f, 17.999f, 1e5f, 8388607.5f, 3e9f, kInf, kNaN, 123.456f};
    const int32_t count = static_cast<int32_t>(sizeof xs / sizeof xs[0]);
    float sums[count];
    addNoiseOctaveRow(xs, 7.75f, 1.0f, 1.0f, true, count, sums);
    addNoiseOctaveRow(xs, 7.75f, 1.33f, 0.6f, false, count, sums);
    for (int32_t i = 0; i < count; ++i)
        EXPECT_EQ(sums[i], valueNoise2d(xs[i], 7.75f) + 0.6f * valueNoise2d(1.33f * xs[i], 1.33f * 7.75f)) << xs[i];
}

// ---- Noise -------------------------------------------------------------------------------------

TEST(NoiseMod, NamesVarsAndHiddenPrototype) {
    NoiseMod noise(25.0f, 20.0f, 0.0f);
    EXPECT_STREQ(noise.name.c_str(), "Noise");
    EXPECT_STREQ(noise.displayName.c_str(), "Grain");
    EXPECT_EQ(noise.version, 4u);
    ASSERT_EQ(noise.vars.count, 3);
    EXPECT_EQ(noise.var(0)->controlCode, 0);
    EXPECT_EQ(noise.floatAt(2)->hasMinimum, 0);  // Offset is not limited
    EXPECT_EQ(noise.floatAt(1)->hasMaximum, 1);
    noise.setVersion(2);
    std::unique_ptr<ImageMod> copy(noise.clone());
    EXPECT_EQ(copy->version, 2u);
    EXPECT_EQ(countPrototypes("Noise"), 1);
}

TEST(NoiseMod, AmplitudeOfTheNewMethods) {
    EXPECT_EQ(noiseAmplitude(25.0f), 15.9375f);  // 0.25^2 255
    EXPECT_EQ(noiseAmplitude(100.0f), 255.0f);
}

TEST(NoiseMod, EveryMethodPassesTheTileChecks) {
    const ImageBuffer tall = tiletest::makeTestImage(37, 120, 3, 4);
    for (uint32_t version : {1u, 2u, 3u, 4u, 9u}) {
        SCOPED_TRACE(testing::Message() << "version " << version);
        NoiseMod off(0.0f, 20.0f, 5.0f);
        off.setVersion(version);
        tiletest::expectIdentityLeavesImage(off);
        NoiseMod noise(70.0f, 35.0f, 12.5f);
        noise.setVersion(version);
        tiletest::expectBandedEqualsWhole(noise, tall);
        tiletest::expect8BitWithinLevel(noise, tall, 1);
        tiletest::expectCloneCopyFromEquals(noise);
        tiletest::expectFilterRoundTrip(noise);
    }
}

TEST(NoiseMod, EdgeCasesOfTheMethods) {
    // An Amount that is not a number is no amount.
    NoiseMod notANumber(kNaN, 20.0f, 0.0f);
    tiletest::expectIdentityLeavesImage(notANumber);
    // Scale 100: one noise value everywhere, so a flat image stays flat.
    NoiseMod flat(80.0f, 100.0f, 0.0f);
    ImageBuffer grey = testimages::filledFloatImage(30, 20, {100.0f, 100.0f, 100.0f});
    flat.applyFloat(grey);
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 30; ++x) ASSERT_EQ(testimages::floatAt(grey, x, y, 0), testimages::floatAt(grey, 0, 0, 0));
    // Second method: black and white are left alone; the third moves them.
    ImageBuffer ends = testimages::filledFloatImage(8, 8, {0.0f, 0.0f, 0.0f});
    for (int32_t x = 0; x < 8; ++x)
        for (int32_t c = 0; c < 3; ++c) testimages::floatAt(ends, x, 4, c) = 255.0f;
    ImageBuffer second = testimages::duplicateFloat(ends);
    NoiseMod clamped(100.0f, 10.0f, 0.0f);
    clamped.setVersion(2);
    clamped.applyFloat(second);
    EXPECT_TRUE(testimages::floatsIdentical(ends, second));
    // First method: 255 stays 255 and, below Amount 100, 0 stays 0.
    ImageBuffer first = testimages::duplicateFloat(ends);
    NoiseMod old(90.0f, 10.0f, 0.0f);
    old.setVersion(1);
    old.applyFloat(first);
    EXPECT_TRUE(testimages::floatsIdentical(ends, first));
}

TEST(NoiseMod, HostileValuesStayDefined) {
    for (uint32_t version : {1u, 2u, 4u}) {
        NoiseMod noise(50.0f, 20.0f, 0.0f);
        noise.setVersion(version);
        expectHostileValuesClean(noise, {0, 1, 2});
    }
}

// ---- Discolor ----------------------------------------------------------------------------------

TEST(DiscolorMod, NamesVarsAndHiddenPrototype) {
    DiscolorMod discolor(kOrange, 1.0f, 0.0f, 1.0f, 1.0f);
    EXPECT_STREQ(discolor.name.c_str(), "Discolor");
    ASSERT_EQ(discolor.vars.count, 5);
    EXPECT_NE(discolor.var(2)->colorValue(), nullptr);
    EXPECT_EQ(discolor.var(3)->shown, 0);
    EXPECT_EQ(discolor.var(4)->shown, 0);
    EXPECT_EQ(countPrototypes("Discolor"), 1);
}

TEST(DiscolorMod, PassesTheTileChecks) {
    DiscolorMod off(kOrange, 0.0f, 10.0f, 1.0f, 1.0f);
    tiletest::expectIdentityLeavesImage(off);
    DiscolorMod notANumber(kOrange, kNaN, 10.0f, 1.0f, 1.0f);
    tiletest::expectIdentityLeavesImage(notANumber);
    // A high frequency so that a small image shows blotches and clear areas.
    const float purple[4] = {60.0f, 20.0f, 200.0f, 255.0f};
    DiscolorMod discolor(purple, 0.9f, 37.0f, 1.9f, 1.6f);
    const ImageBuffer tall = tiletest::makeTestImage(41, 110, 4, 8);
    tiletest::expectBandedEqualsWhole(discolor, tall);
    tiletest::expect8BitWithinLevel(discolor, tall, 1);
    tiletest::expectCloneCopyFromEquals(discolor);
    tiletest::expectFilterRoundTrip(discolor);
    EXPECT_FALSE(testimages::floatsIdentical(tall, tiletest::renderFloat(discolor, tall)));
}

TEST(DiscolorMod, MeasuresTheContentRectangle) {
    // A framed picture: the photo inside the insets gets the pattern it gets
    // alone, and a middle colour component leaves its channel unchanged.
    const float colour[4] = {250.0f, 127.5f, 0.0f, 255.0f};
    DiscolorMod discolor(colour, 1.0f, 3.0f, 2.0f, 1.0f);  // Scale 2: about 9998 times finer
    const ImageBuffer photo = tiletest::makeTestImage(30, 20, 3, 2);
    const ImageBuffer alone = tiletest::renderFloat(discolor, photo);
    RenderRegion region;
    region.fullWidth = 50;
    region.fullHeight = 40;
    region.insetLeft = 12;
    region.insetRight = 8;
    region.insetTop = 7;
    region.originX = 12;
    region.originY = 7;
    RenderArgs args;
    args.region = &region;
    const ImageBuffer framed = tiletest::renderFloat(discolor, photo, &args);
    EXPECT_TRUE(testimages::floatsIdentical(alone, framed));
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 30; ++x) ASSERT_EQ(testimages::floatAt(framed, x, y, 1), testimages::floatAt(photo, x, y, 1));

    // No content width: the image is left unchanged.
    region.insetLeft = 30;
    region.insetRight = 20;
    EXPECT_TRUE(testimages::floatsIdentical(photo, tiletest::renderFloat(discolor, photo, &args)));
    region.insetRight = 40;
    EXPECT_TRUE(testimages::floatsIdentical(photo, tiletest::renderFloat(discolor, photo, &args)));
}

TEST(DiscolorMod, HostileValuesStayDefined) {
    DiscolorMod discolor(kOrange, 0.8f, 0.0f, 1.0f, 1.0f);
    expectHostileValuesClean(discolor, {0, 1, 3, 4});
}

// ---- Lightleak ---------------------------------------------------------------------------------

TEST(LightleakMod, VariationZeroIsTheReferenceLook) {
    const LightleakRecipe r = lightleakRecipe(1.0f, 0.0f);
    EXPECT_EQ(r.offset, 248.75f);
    EXPECT_EQ(r.colour[0], 241.97178649902344f);
    EXPECT_EQ(r.colour[1], 135.88995361328125f);
    EXPECT_EQ(r.colour[2], 109.20235443115234f);
    EXPECT_EQ(r.colour[3], 255.0f);
    EXPECT_EQ(r.strength, 0.8027262091636658f);
    EXPECT_EQ(r.stretch, 0.19841818511486053f);
    EXPECT_EQ(lightleakRecipe(0.5f, 0.0f).strength, 0.8027262091636658f * 0.5f);
}

TEST(LightleakMod, PassesTheTileChecks) {
    LightleakMod leak;
    EXPECT_STREQ(leak.name.c_str(), "Lightleak");
    ASSERT_EQ(leak.vars.count, 2);
    EXPECT_STREQ(leak.var(1)->label().c_str(), "Remix");
    EXPECT_EQ(leak.floatAt(1)->rangeHigh, 100.0f);
    EXPECT_EQ(leak.floatAt(0)->useDisplayRange, 1);
    EXPECT_EQ(countPrototypes("Lightleak"), 1);

    LightleakMod off;
    off.floatAt(0)->value = 0.0f;
    tiletest::expectIdentityLeavesImage(off);
    leak.floatAt(1)->value = 63.0f;
    const ImageBuffer tall = tiletest::makeTestImage(29, 100, 3, 9);
    tiletest::expectBandedEqualsWhole(leak, tall);
    tiletest::expect8BitWithinLevel(leak, tall, 1);
    tiletest::expectCloneCopyFromEquals(leak);
    tiletest::expectFilterRoundTrip(leak);
    expectHostileValuesClean(leak, {0, 1});
}

}  // namespace
