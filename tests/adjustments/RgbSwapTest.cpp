#include <gtest/gtest.h>

#include <memory>

#include "adjustments/RgbSwap.h"
#include "adjustments/ToneTestSupport.h"

using namespace tonetest;

namespace {

struct Colours {
    float red[4];
    float green[4];
    float blue[4];
};

const Colours kIdentity = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}};

std::unique_ptr<RgbSwapMod> swap(const Colours& c) { return std::make_unique<RgbSwapMod>(c.red, c.green, c.blue); }

// Every byte value in every channel: 256 pixels (v, 255 - v, v / 2, 200).
ImageBuffer byteRamp() {
    ImageBuffer image;
    EXPECT_TRUE(image.allocate8(256, 1, 4));
    for (int v = 0; v < 256; ++v) {
        uint8_t* px = image.bytes() + v * 4;
        px[0] = static_cast<uint8_t>(v);
        px[1] = static_cast<uint8_t>(255 - v);
        px[2] = static_cast<uint8_t>(v / 2);
        px[3] = 200;
    }
    return image;
}

}  // namespace

TEST(RgbSwapSetup, VarsAndRegistration) {
    expectRegistered(*swap(kIdentity));
    RgbSwapMod tile(kIdentity.red, kIdentity.green, kIdentity.blue);
    EXPECT_TRUE(tile.name == "RGB Swap");
    EXPECT_TRUE(tile.displayName == "RGB Swap");
    ASSERT_EQ(tile.vars.count, 3);
    const char* names[3] = {"Red", "Green", "Blue"};
    for (int32_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(tile.var(i)->name == names[i]);
        EXPECT_EQ(tile.var(i)->controlCode, int32_t(kControlDefault));
        const ColorValue* c = tile.var(i)->colorValue();
        ASSERT_TRUE(c);
        EXPECT_EQ(c->fourth, 255.0f);
    }
    EXPECT_EQ(tile.animTracks.count, 0);
    EXPECT_TRUE(tile.description == "Separately replace red, green, and blue with the selected colors.");
}

TEST(RgbSwap, IdentityReturnsAtOnce) {
    auto tile = swap(kIdentity);
    const ImageBuffer hostile = hostileRow();
    EXPECT_TRUE(tiletest::sameFloatImages(hostile, renderedFloat(*tile, hostile)));
    tiletest::expectIdentityLeavesImage(*tile);
    // The identity colours with another fourth component run in full: the
    // colour samples come back exactly in 8-bit, the fourth is cleared.
    auto almost = swap({{255, 0, 0, 254}, {0, 255, 0, 255}, {0, 0, 255, 255}});
    const ImageBuffer ramp = byteRamp();
    const ImageBuffer out = tiletest::render8(*almost, ramp);
    for (int v = 0; v < 256; ++v) {
        for (int k = 0; k < 3; ++k) ASSERT_EQ(out.bytes()[v * 4 + k], ramp.bytes()[v * 4 + k]) << v << " " << k;
        ASSERT_EQ(out.bytes()[v * 4 + 3], 0) << v;
    }
}

TEST(RgbSwap, RedBlueSwapIsExact) {
    auto tile = swap({{0, 0, 255, 255}, {0, 255, 0, 255}, {255, 0, 0, 255}});
    const ImageBuffer ramp = byteRamp();
    const ImageBuffer out = tiletest::render8(*tile, ramp);
    for (int v = 0; v < 256; ++v) {
        const uint8_t* in = ramp.bytes() + v * 4;
        const uint8_t* px = out.bytes() + v * 4;
        ASSERT_EQ(px[0], in[2]) << v;
        ASSERT_EQ(px[1], in[1]) << v;
        ASSERT_EQ(px[2], in[0]) << v;
        ASSERT_EQ(px[3], 0) << v;
    }
}

TEST(RgbSwap, NormalisedColours) {
    const struct {
        const char* what;
        Colours colours;
        float in[3];
        float out[3];
    } cases[] = {
        // Sums 765 in every channel: k = 1/3, every pixel its average grey.
        {"all white", {{255, 255, 255, 255}, {255, 255, 255, 255}, {255, 255, 255, 255}}, {30, 60, 120}, {70, 70, 70}},
        // Sums 0: k is infinite, the products are not numbers, all black.
        {"all black", {{0, 0, 0, 255}, {0, 0, 0, 255}, {0, 0, 0, 255}}, {30, 60, 120}, {0, 0, 0}},
        // Sums 200, 355, 255: k = 255 / 355; pure red becomes the red colour
        // times k.
        {"pure red", {{200, 100, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}}, {255, 0, 0},
         {200.0f * 255.0f / 355.0f, 100.0f * 255.0f / 355.0f, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto tile = swap(c.colours);
        const ImageBuffer out = renderedFloat(*tile, floatRow(4, {c.in[0], c.in[1], c.in[2], 255.0f}));
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(out.floats()[k], c.out[k], 1e-3f) << k;
        EXPECT_EQ(out.floats()[3], 0.0f);
    }
}

TEST(RgbSwap, LeavesWhatItCannotRead) {
    const Colours swapped = {{0, 0, 255, 255}, {0, 255, 0, 255}, {255, 0, 0, 255}};
    // Fewer than three channels.
    auto tile = swap(swapped);
    for (int32_t channels : {1, 2}) {
        const ImageBuffer image = floatRow(channels, {10.0f, 200.0f, 30.0f, 40.0f});
        EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*tile, image))) << channels;
    }
    // A colour var of another kind (a hand-edited file).
    tile->var(1)->setValue(new FloatValue(3.0f));
    const ImageBuffer image = tiletest::standardImage(4);
    EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*tile, image)));
    const ImageBuffer bytes = tiletest::bytesOf(image);
    EXPECT_TRUE(tiletest::sameByteImages(bytes, tiletest::render8(*tile, bytes)));
}

TEST(RgbSwapProperties, Hold) {
    const Colours cases[] = {
        {{0, 0, 255, 255}, {0, 255, 0, 255}, {255, 0, 0, 255}},
        {{200, 100, 30, 255}, {40, 220, 90, 128}, {10, 60, 240, 0}},
        {{255, 255, 255, 255}, {128, 128, 128, 255}, {0, 0, 0, 255}},
    };
    for (uint32_t version : {1u, 2u}) {
        for (const Colours& c : cases) {
            SCOPED_TRACE(testing::Message() << "version " << version << ", red " << c.red[0] << " " << c.red[1]);
            auto tile = swap(c);
            tile->setVersion(version);
            expectTileProperties(*tile, Selectors::kIgnored);
        }
    }
}
