#include <gtest/gtest.h>

#include <memory>

#include "adjustments/ColorCorrection.h"
#include "adjustments/ToneTestSupport.h"

using namespace tonetest;

namespace {

const float kBlack[4] = {0, 0, 0, 255};

std::unique_ptr<ColorCorrectionMod> correction(const float shadows[4], const float midtones[4],
                                               const float highlights[4], float amount = 1.0f) {
    return std::make_unique<ColorCorrectionMod>(shadows, midtones, highlights, amount);
}

}  // namespace

TEST(ColorCorrectionSetup, VarsAndRegistration) {
    expectRegistered(*correction(kBlack, kBlack, kBlack));
    ColorCorrectionMod tile(kBlack, kBlack, kBlack, 1.0f);
    EXPECT_TRUE(tile.name == "Color Correction");
    EXPECT_TRUE(tile.displayName == "Color Correction");
    expectFloatVar(tile, {0, "Amount", 1.0f, 0.0f, 1.0f, 0.0f, 100.0f, true, 10, nullptr});
    EXPECT_FALSE(tile.var(0)->shown);
    const char* names[3] = {"Shadows", "Midtones", "Highlights"};
    for (int32_t i = 1; i <= 3; ++i) {
        EXPECT_TRUE(tile.var(i)->name == names[i - 1]);
        ASSERT_TRUE(tile.var(i)->colorValue());
        EXPECT_EQ(tile.var(i)->controlCode, int32_t(kControlDefault));
    }
    EXPECT_EQ(tile.animTracks.count, 0);
    EXPECT_TRUE(tile.description == "Separately adjust the color of highlights, midtones, and shadows.");
}

TEST(ColorCorrection, ToneColoursOnBlackAndWhite) {
    const float red[4] = {255, 0, 0, 255};
    const float blue[4] = {0, 0, 255, 255};
    const struct {
        const char* what;
        const float* shadows;
        const float* highlights;
        int in;
        int out[3];
    } cases[] = {
        // m = 85, offsets +170, -85, -85; each of the three passes adds
        // 0.3 x 170 = 51 to red and clamps green and blue at 0.
        {"shadows on black", red, kBlack, 0, {153, 0, 0}},
        // Offsets -85, -85, +170 take 25.5 from red and green per pass,
        // truncated after each step: 229, 203, 177.
        {"highlights on white", kBlack, blue, 255, {177, 177, 255}},
        {"shadows leave white", red, kBlack, 255, {255, 255, 255}},
        {"highlights leave black", kBlack, blue, 0, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto tile = correction(c.shadows, kBlack, c.highlights);
        const ImageBuffer out = tiletest::render8(*tile, byteRow(4, {c.in, c.in, c.in, 17}));
        for (int k = 0; k < 3; ++k) EXPECT_EQ(out.bytes()[k], c.out[k]) << k;
        EXPECT_EQ(out.bytes()[3], 17);
    }
    // The float body keeps the fractions: 255 - 3 x 25.5.
    auto tile = correction(kBlack, kBlack, blue);
    const ImageBuffer out = renderedFloat(*tile, floatRow(3, {255.0f, 255.0f, 255.0f}));
    EXPECT_NEAR(out.floats()[0], 178.5f, 1e-4f);
    EXPECT_EQ(out.floats()[2], 255.0f);
}

TEST(ColorCorrection, AmountZeroAndGreyColours) {
    const float red[4] = {255, 0, 0, 255};
    // Amount 0 returns at once (even NaN samples stay).
    auto off = correction(red, red, red, 0.0f);
    const ImageBuffer hostile = hostileRow();
    EXPECT_TRUE(tiletest::sameFloatImages(hostile, renderedFloat(*off, hostile)));
    tiletest::expectIdentityLeavesImage(*off);
    // Grey colours have no offsets: the body runs and changes no sample of
    // the range; the prototype is the all-black tile.
    const float grey[4] = {90, 90, 90, 255};
    auto greys = correction(grey, kBlack, grey, 0.6f);
    tiletest::expectIdentityLeavesImage(*greys);
    auto prototype = correction(kBlack, kBlack, kBlack);
    tiletest::expectIdentityLeavesImage(*prototype);
    // An Amount of another kind returns at once.
    auto hostileAmount = correction(red, red, red);
    hostileAmount->var(0)->setValue(new ColorValue(1, 2, 3));
    EXPECT_TRUE(tiletest::sameFloatImages(hostile, renderedFloat(*hostileAmount, hostile)));
}

TEST(ColorCorrection, LeavesWhatItCannotRead) {
    const float red[4] = {255, 0, 0, 255};
    auto tile = correction(red, red, red);
    for (int32_t channels : {1, 2}) {
        const ImageBuffer image = floatRow(channels, {10.0f, 200.0f, 30.0f, 40.0f});
        EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*tile, image))) << channels;
        const ImageBuffer bytes = tiletest::bytesOf(image);
        EXPECT_TRUE(tiletest::sameByteImages(bytes, tiletest::render8(*tile, bytes))) << channels;
    }
    tile->var(2)->setValue(new FloatValue(4.0f));
    const ImageBuffer image = tiletest::standardImage(3);
    EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*tile, image)));
    // Samples outside the range are clamped, NaN to 0, and index no table
    // outside its entries.
    auto running = correction(red, kBlack, kBlack);
    const ImageBuffer out = renderedFloat(*running, hostileRow());
    EXPECT_TRUE(allFinite(out));
    for (int64_t i = 0; i < out.sampleCount(); ++i) EXPECT_TRUE(out.floats()[i] >= 0.0f && out.floats()[i] <= 255.0f);
}

TEST(ColorCorrectionProperties, Hold) {
    const float warm[4] = {200, 120, 40, 255};
    const float cool[4] = {30, 90, 220, 0};
    const float magenta[4] = {230, 20, 200, 255};
    for (uint32_t version : {1u, 2u}) {
        for (float amount : {1.0f, 0.35f}) {
            SCOPED_TRACE(testing::Message() << "version " << version << ", Amount " << amount);
            auto tile = correction(cool, magenta, warm, amount);
            tile->setVersion(version);
            // The 8-bit body truncates after each of its nine steps per
            // channel (three tones, three passes); the float body does not,
            // so the two part by up to that many levels.
            expectTileProperties(*tile, Selectors::kIgnored, 9);
        }
    }
}
