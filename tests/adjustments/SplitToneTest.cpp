#include <gtest/gtest.h>

#include <memory>

#include "adjustments/SplitTone.h"
#include "adjustments/ToneTestSupport.h"

using namespace tonetest;

namespace {

std::unique_ptr<SplitToneMod> splitTone(const float dark[3], const float light[3], float amount) {
    const float d[4] = {dark[0], dark[1], dark[2], 255.0f};
    const float l[4] = {light[0], light[1], light[2], 255.0f};
    return std::make_unique<SplitToneMod>(d, l, amount);
}

const float kBlue[3] = {0.0f, 24.415525f, 101.20623f};
const float kYellow[3] = {255.0f, 220.66708f, 107.36842f};

}  // namespace

TEST(SplitToneSetup, VarsTracksAndRegistration) {
    SplitToneMod tile(SplitToneMod::kStartDark, SplitToneMod::kStartLight, 1.0f);
    expectRegistered(tile);
    EXPECT_TRUE(tile.name == "Split Tone");
    EXPECT_TRUE(tile.displayName == "Split Tone");
    expectFloatVar(tile, {0, "Amount", 1.0f, 0.0f, 1.0f, 0.0f, 100.0f, true, 10, nullptr});
    EXPECT_TRUE(tile.var(1)->name == "Dark Color");
    EXPECT_TRUE(tile.var(2)->name == "Light Color");
    EXPECT_EQ(tile.var(1)->colorValue()->blue, 101.20623f);
    EXPECT_EQ(tile.var(2)->colorValue()->green, 220.66708f);
    EXPECT_EQ(tile.animTracks.count, 3);
    EXPECT_EQ(tile.version, 1u);
    EXPECT_TRUE(tile.description == "Create a two-toned image by selecting the lightest and darkest colors.");
}

TEST(SplitTone, WorkedValues) {
    // At Amount 1 black becomes the dark colour and white the light colour
    // exactly; the fourth sample is never changed.
    auto tile = splitTone(kBlue, kYellow, 1.0f);
    const ImageBuffer out = renderedFloat(*tile, floatRow(4, {0.0f, 0.0f, 0.0f, 12.0f, 255.0f, 255.0f, 255.0f, 200.0f}));
    for (int32_t k = 0; k < 3; ++k) {
        EXPECT_EQ(out.floats()[k], kBlue[k]) << k;
        EXPECT_EQ(out.floats()[4 + k], kYellow[k]) << k;
    }
    EXPECT_EQ(out.floats()[3], 12.0f);
    EXPECT_EQ(out.floats()[7], 200.0f);
    const ImageBuffer out8 = tiletest::render8(*tile, byteRow(4, {255, 255, 255, 9}));
    EXPECT_EQ(out8.bytes()[1], 220);
    EXPECT_EQ(out8.bytes()[2], 107);
    EXPECT_EQ(out8.bytes()[3], 9);

    // From black to white every pixel becomes the grey of its luminance.
    const float black[3] = {0.0f, 0.0f, 0.0f};
    const float white[3] = {255.0f, 255.0f, 255.0f};
    auto grey = splitTone(black, white, 1.0f);
    const ImageBuffer image = tiletest::standardImage(3);
    const ImageBuffer greys = renderedFloat(*grey, image);
    for (int64_t p = 0; p < image.sampleCount() / 3; ++p) {
        const float* in = image.floats() + p * 3;
        const double L = 0.299 * in[0] + 0.587 * in[1] + 0.114 * in[2];
        for (int32_t k = 0; k < 3; ++k) EXPECT_NEAR(greys.floats()[p * 3 + k], L, 1e-3) << p;
    }

    // At Amount 0.5 a mid-grey goes halfway toward the mix of the colours.
    auto half = splitTone(black, white, 0.5f);
    const ImageBuffer mid = renderedFloat(*half, floatRow(3, {100.0f, 100.0f, 100.0f, 255.0f, 0.0f, 0.0f}));
    EXPECT_NEAR(mid.floats()[0], 100.0f, 1e-3f);
    EXPECT_NEAR(mid.floats()[3], (255.0f + 0.299f * 255.0f) / 2.0f, 1e-3f);  // red at luminance 76.245
    EXPECT_NEAR(mid.floats()[4], 0.299f * 255.0f / 2.0f, 1e-3f);
}

TEST(SplitTone, FewChannelsAndHostileVars) {
    // One or two channels: the first sample is the luminance, and only the
    // existing samples change (toward the colours' red and green).
    const float dark[3] = {10.0f, 20.0f, 30.0f};
    const float light[3] = {250.0f, 240.0f, 230.0f};
    auto tile = splitTone(dark, light, 1.0f);
    const ImageBuffer one = renderedFloat(*tile, floatRow(1, {51.0f}));
    EXPECT_NEAR(one.floats()[0], 10.0f * 0.8f + 250.0f * 0.2f, 1e-3f);
    const ImageBuffer two = renderedFloat(*tile, floatRow(2, {51.0f, 7.0f}));
    EXPECT_NEAR(two.floats()[0], 10.0f * 0.8f + 250.0f * 0.2f, 1e-3f);
    EXPECT_NEAR(two.floats()[1], 20.0f * 0.8f + 240.0f * 0.2f, 1e-3f);

    // A colour var of another kind leaves the image alone.
    for (int32_t index : {1, 2}) {
        auto hostile = splitTone(dark, light, 1.0f);
        hostile->var(index)->setValue(new FloatValue(0.5f));
        const ImageBuffer image = tiletest::standardImage(4);
        EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*hostile, image)));
        const ImageBuffer bytes = tiletest::bytesOf(image);
        EXPECT_TRUE(tiletest::sameByteImages(bytes, tiletest::render8(*hostile, bytes)));
    }
    renderedFloat(*tile, hostileRow());
}

TEST(SplitToneProperties, Hold) {
    auto off = splitTone(kBlue, kYellow, 0.0f);
    tiletest::expectIdentityLeavesImage(*off);
    auto tile = splitTone(kBlue, kYellow, 0.7f);
    expectTileProperties(*tile, Selectors::kHonoured);
    // A selector scales the strength per pixel: weight 0.5 is Amount 0.35.
    WeightSelector half(0.5f);
    RenderArgs args;
    args.selector = &half;
    auto weaker = splitTone(kBlue, kYellow, 0.35f);
    const ImageBuffer image = tiletest::standardImage(3);
    EXPECT_TRUE(tiletest::sameFloatImages(renderedFloat(*weaker, image), renderedFloat(*tile, image, &args)));
}
