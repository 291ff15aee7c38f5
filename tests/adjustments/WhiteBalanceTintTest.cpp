#include <gtest/gtest.h>

#include <memory>

#include "adjustments/ToneTestSupport.h"
#include "adjustments/WhiteBalanceTint.h"

using namespace tonetest;

namespace {

const float kRed[4] = {255.0f, 0.0f, 0.0f, 255.0f};

template <class Tile>
std::unique_ptr<Tile> colourTile(float amount, float r, float g, float b) {
    const float colour[4] = {r, g, b, 255.0f};
    auto tile = std::make_unique<Tile>(colour);
    tile->floatAt(0)->value = amount;
    return tile;
}

}  // namespace

TEST(WhiteBalanceTintSetup, Registered) {
    expectRegistered(WhiteBalanceMod(kRed));
    expectRegistered(TintMod(kRed));
    expectRegistered(ColorizeMod(kRed));
}

TEST(WhiteBalanceTintSetup, VarsAndStartValues) {
    WhiteBalanceMod balance(kRed);
    TintMod tint(kRed);
    ColorizeMod colorize(kRed);
    const struct {
        ImageMod* tile;
        const char* name;
        float start;
    } cases[] = {{&balance, "White Balance", 0.1f}, {&tint, "Tint", 0.0f}, {&colorize, "Colorize", 0.0f}};
    for (const auto& c : cases) {
        EXPECT_TRUE(c.tile->name == c.name);
        EXPECT_TRUE(c.tile->displayName == c.name);
        expectFloatVar(*c.tile, {0, "Amount", c.start, 0.0f, 1.0f, 0.0f, 100.0f, true, 10, nullptr});
        const ColorValue* colour = c.tile->var(1)->colorValue();
        ASSERT_TRUE(colour);
        EXPECT_TRUE(c.tile->var(1)->name == "Color");
        EXPECT_EQ(colour->red, 255.0f);
        EXPECT_EQ(colour->green, 0.0f);
        EXPECT_EQ(colour->fourth, 255.0f);
        EXPECT_EQ(c.tile->animTracks.count, 0);
    }
}

TEST(WhiteBalanceTint, WorkedValues) {
    const ImageBuffer pixel = floatRow(4, {50.0f, 100.0f, 200.0f, 77.0f});
    // White Balance with (255, 0, 0) at Amount 1: m = 85; red rises by 170,
    // green and blue fall by 85, clamped; the fourth sample stays.
    auto balance = colourTile<WhiteBalanceMod>(1.0f, 255.0f, 0.0f, 0.0f);
    ImageBuffer out = renderedFloat(*balance, pixel);
    EXPECT_EQ(out.floats()[0], 220.0f);
    EXPECT_EQ(out.floats()[1], 15.0f);
    EXPECT_EQ(out.floats()[2], 115.0f);
    EXPECT_EQ(out.floats()[3], 77.0f);
    // Colorize makes the same shift.
    auto colorize = colourTile<ColorizeMod>(1.0f, 255.0f, 0.0f, 0.0f);
    EXPECT_TRUE(tiletest::sameFloatImages(out, renderedFloat(*colorize, pixel)));
    // Clamped at both ends.
    out = renderedFloat(*balance, floatRow(3, {200.0f, 50.0f, 50.0f}));
    EXPECT_EQ(out.floats()[0], 255.0f);
    EXPECT_EQ(out.floats()[1], 0.0f);
    // A grey colour changes nothing at any Amount.
    auto grey = colourTile<WhiteBalanceMod>(0.8f, 120.0f, 120.0f, 120.0f);
    EXPECT_TRUE(tiletest::sameFloatImages(pixel, renderedFloat(*grey, pixel)));
    // Tint at Amount 1 paints the first three samples with the colour.
    auto tint = colourTile<TintMod>(1.0f, 10.0f, 20.0f, 30.0f);
    out = renderedFloat(*tint, pixel);
    EXPECT_EQ(out.floats()[0], 10.0f);
    EXPECT_EQ(out.floats()[2], 30.0f);
    EXPECT_EQ(out.floats()[3], 77.0f);
    // 8-bit twins.
    const ImageBuffer out8 = tiletest::render8(*balance, byteRow(3, {50, 100, 200}));
    EXPECT_EQ(out8.bytes()[0], 220);
    EXPECT_EQ(out8.bytes()[1], 15);
    EXPECT_EQ(out8.bytes()[2], 115);
}

TEST(WhiteBalanceTint, FewChannels) {
    // White Balance changes the channels there are (one channel: the red
    // shift); Tint and Colorize need three and leave the image alone.
    auto balance = colourTile<WhiteBalanceMod>(1.0f, 255.0f, 0.0f, 0.0f);
    ImageBuffer out = renderedFloat(*balance, floatRow(1, {50.0f, 100.0f}));
    EXPECT_EQ(out.floats()[0], 220.0f);
    EXPECT_EQ(out.floats()[1], 255.0f);
    out = renderedFloat(*balance, floatRow(2, {50.0f, 100.0f}));
    EXPECT_EQ(out.floats()[0], 220.0f);
    EXPECT_EQ(out.floats()[1], 15.0f);
    for (int32_t channels : {1, 2}) {
        const ImageBuffer image = floatRow(channels, {50.0f, 100.0f, 150.0f, 200.0f});
        auto tint = colourTile<TintMod>(1.0f, 10.0f, 20.0f, 30.0f);
        auto colorize = colourTile<ColorizeMod>(1.0f, 255.0f, 0.0f, 0.0f);
        EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*tint, image)));
        EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*colorize, image)));
        const ImageBuffer bytes = tiletest::bytesOf(image);
        EXPECT_TRUE(tiletest::sameByteImages(bytes, tiletest::render8(*tint, bytes)));
    }
}

TEST(WhiteBalanceTint, ColourVarOfAnotherKindChangesNothing) {
    auto balance = colourTile<WhiteBalanceMod>(1.0f, 255.0f, 0.0f, 0.0f);
    auto tint = colourTile<TintMod>(1.0f, 255.0f, 0.0f, 0.0f);
    auto colorize = colourTile<ColorizeMod>(1.0f, 255.0f, 0.0f, 0.0f);
    for (ImageMod* tile : std::initializer_list<ImageMod*>{balance.get(), tint.get(), colorize.get()}) {
        tile->var(1)->setValue(new FloatValue(3.0f));
        const ImageBuffer image = tiletest::standardImage(4);
        EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*tile, image))) << tile->name.c_str();
    }
}

TEST(WhiteBalanceTintProperties, HoldForAllThree) {
    // Amount 0 is the identity of all three (Tint and Colorize start there).
    WhiteBalanceMod balance0(kRed);
    balance0.floatAt(0)->value = 0.0f;
    TintMod tint0(kRed);
    ColorizeMod colorize0(kRed);
    for (ImageMod* tile : std::initializer_list<ImageMod*>{&balance0, &tint0, &colorize0})
        tiletest::expectIdentityLeavesImage(*tile);

    auto balance = colourTile<WhiteBalanceMod>(0.75f, 200.0f, 150.0f, 90.0f);
    auto tint = colourTile<TintMod>(0.5f, 20.0f, 200.0f, 90.0f);
    auto colorize = colourTile<ColorizeMod>(0.25f, 20.0f, 200.0f, 90.0f);
    for (ImageMod* tile : std::initializer_list<ImageMod*>{balance.get(), tint.get(), colorize.get()}) {
        SCOPED_TRACE(tile->name.c_str());
        expectTileProperties(*tile, Selectors::kIgnored);
    }
}
