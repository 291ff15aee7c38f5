#include <gtest/gtest.h>

#include <memory>

#include "adjustments/ColorBalance.h"
#include "adjustments/ToneTestSupport.h"

using namespace tonetest;

namespace {

std::unique_ptr<ColorBalanceMod> balance(float amount, float red, float green, float blue) {
    auto tile = std::make_unique<ColorBalanceMod>();
    const float values[4] = {amount, red, green, blue};
    for (int32_t i = 0; i < 4; ++i) tile->floatAt(i)->value = values[i];
    return tile;
}

}  // namespace

TEST(ColorBalanceSetup, VarsAndTracks) {
    expectRegistered(ColorBalanceMod());
    ColorBalanceMod tile;
    EXPECT_TRUE(tile.name == "Color Balance");
    EXPECT_TRUE(tile.displayName == "Color Balance");
    expectFloatVar(tile, {0, "Amount", 1.0f, 0.0f, 1.0f, 0.0f, 100.0f, true, 10, nullptr});
    EXPECT_FALSE(tile.var(0)->shown);
    const char* names[3] = {"Red", "Green", "Blue"};
    for (int32_t i = 1; i <= 3; ++i) {
        expectFloatVar(tile, {i, names[i - 1], 0.0f, -255.0f, 255.0f, -255.0f, 255.0f, false, 10, nullptr});
        EXPECT_TRUE(tile.var(i)->shown);
    }
    EXPECT_EQ(tile.animTracks.count, 4);
    EXPECT_TRUE(tile.description == "Balance overall color by dragging individual Red, Green, and Blue sliders.");
}

TEST(ColorBalance, WorkedPixels) {
    const struct {
        float amount, red, green, blue;
        int in[4];
        int out[4];
    } cases[] = {
        {1.0f, 100.0f, 0.0f, 0.0f, {200, 50, 50, 9}, {255, 50, 50, 9}},
        {1.0f, -100.0f, 0.0f, 0.0f, {50, 50, 50, 9}, {0, 50, 50, 9}},
        {0.5f, 100.0f, -20.0f, 7.0f, {100, 100, 100, 9}, {150, 90, 103, 9}},
        {1.0f, 0.25f, 0.0f, 0.0f, {10, 10, 10, 9}, {10, 10, 10, 9}},  // 10.25 truncated
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.amount << " " << c.red << " " << c.green << " " << c.blue);
        auto tile = balance(c.amount, c.red, c.green, c.blue);
        const ImageBuffer out = tiletest::render8(*tile, byteRow(4, {c.in[0], c.in[1], c.in[2], c.in[3]}));
        for (int k = 0; k < 4; ++k) EXPECT_EQ(out.bytes()[k], c.out[k]) << k;
    }
}

TEST(ColorBalance, NothingToAddLeavesTheImage) {
    // Amount 0, or all three offsets 0, return at once: even samples
    // outside the range stay as they are.
    std::unique_ptr<ColorBalanceMod> idle[2] = {balance(0.0f, 100.0f, 50.0f, 20.0f), balance(0.7f, 0.0f, 0.0f, 0.0f)};
    for (auto& tile : idle) {
        const ImageBuffer hostile = hostileRow();
        EXPECT_TRUE(tiletest::sameFloatImages(hostile, renderedFloat(*tile, hostile)));
        tiletest::expectIdentityLeavesImage(*tile);
    }
    // Otherwise every result is clamped, NaN to 0.
    auto tile = balance(1.0f, 0.0f, 0.0f, 1.0f);
    const ImageBuffer out = renderedFloat(*tile, hostileRow());
    EXPECT_EQ(out.floats()[0], 0.0f);  // NaN
    EXPECT_EQ(out.floats()[3], 255.0f);
    EXPECT_EQ(out.floats()[4], 0.0f);
    EXPECT_EQ(out.floats()[8], 255.0f);
}

TEST(ColorBalance, SelectorScalesTheOffsets) {
    auto tile = balance(1.0f, 100.0f, -60.0f, 0.0f);
    const struct {
        float weight;
        float out[3];
    } cases[] = {{0.0f, {100.0f, 100.0f, 100.0f}}, {0.5f, {150.0f, 70.0f, 100.0f}}, {1.0f, {200.0f, 40.0f, 100.0f}}};
    for (const auto& c : cases) {
        WeightSelector selector(c.weight);
        RenderArgs args;
        args.selector = &selector;
        const ImageBuffer out = renderedFloat(*tile, floatRow(3, {100.0f, 100.0f, 100.0f}), &args);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(out.floats()[k], c.out[k]) << c.weight << " " << k;
    }
}

TEST(ColorBalance, ChangesOnlyTheChannelsThere) {
    // One- and two-channel images take the red (and green) offsets only.
    auto tile = balance(1.0f, 10.0f, 20.0f, 30.0f);
    ImageBuffer out = renderedFloat(*tile, floatRow(1, {1.0f, 2.0f}));
    EXPECT_EQ(out.floats()[0], 11.0f);
    EXPECT_EQ(out.floats()[1], 12.0f);
    out = renderedFloat(*tile, floatRow(2, {1.0f, 2.0f}));
    EXPECT_EQ(out.floats()[0], 11.0f);
    EXPECT_EQ(out.floats()[1], 22.0f);
    const ImageBuffer bytes = tiletest::render8(*tile, byteRow(2, {250, 240}));
    EXPECT_EQ(bytes.bytes()[0], 255);
    EXPECT_EQ(bytes.bytes()[1], 255);
}

TEST(ColorBalanceProperties, Hold) {
    for (uint32_t version : {1u, 2u}) {
        auto tile = balance(0.8f, 35.5f, -70.25f, 12.0f);
        tile->setVersion(version);
        SCOPED_TRACE(version);
        expectTileProperties(*tile, Selectors::kHonoured);
    }
}
