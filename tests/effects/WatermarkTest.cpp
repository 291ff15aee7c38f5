// The Watermark tile: placement and cover scaling, the resampled part equal
// to the whole resize, the cache (one load), failures and hostile sizes.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "effects/Watermark.h"
#include "render/TransformedBitmap.h"
#include "support/FakeLoader.h"
#include "support/ImageBuilders.h"
#include "support/TileProperties.h"

using testimages::byteAt;
using testimages::floatAt;

namespace {

// An opaque 8-bit RGBA logo whose every pixel differs.
ImageBuffer logo(int32_t w, int32_t h, uint8_t alpha = 255) {
    ImageBuffer image;
    image.allocate8(w, h, 4);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            byteAt(image, x, y, 0) = static_cast<uint8_t>(x * 7 + y);
            byteAt(image, x, y, 1) = static_cast<uint8_t>(y * 5);
            byteAt(image, x, y, 2) = static_cast<uint8_t>(x ^ y);
            byteAt(image, x, y, 3) = alpha;
        }
    return image;
}

void setUp(WatermarkMod& tile, const char* path, int32_t anchor, float offset, float scale, float opacity = 1.0f) {
    tile.var(0)->fileValue()->path = path;
    tile.var(1)->choiceValue()->selected = anchor;
    tile.floatAt(2)->value = offset;
    tile.floatAt(3)->value = scale;
    tile.floatAt(4)->value = opacity;
}

// The rectangle of pixels that changed between two float images.
struct Box {
    int32_t left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
};
Box changedBox(const ImageBuffer& a, const ImageBuffer& b) {
    Box box;
    const int32_t n = a.channelCount();
    for (int32_t y = 0; y < a.height; ++y)
        for (int32_t x = 0; x < a.width; ++x)
            for (int32_t c = 0; c < n; ++c)
                if (floatAt(a, x, y, c) != floatAt(b, x, y, c)) {
                    box.left = std::min(box.left, x);
                    box.top = std::min(box.top, y);
                    box.right = std::max(box.right, x);
                    box.bottom = std::max(box.bottom, y);
                }
    return box;
}

TEST(Watermark, NamesVarsAndPlacementTable) {
    WatermarkMod tile;
    EXPECT_STREQ(tile.name.c_str(), "Watermark");
    ASSERT_EQ(tile.vars.count, 5);
    EXPECT_EQ(tile.var(0)->fileValue()->extensions.count, 5);
    EXPECT_EQ(tile.chainGroup(), kGroupTrailing);
    EXPECT_FALSE(tile.canTile(0));
    EXPECT_EQ(tile.floatAt(4)->displayHigh, 100.0f);
    EXPECT_TRUE(tile.floatAt(4)->useDisplayRange);
    // A 450 x 300 bitmap with margin 50 on 3000 x 2000.
    const int64_t expected[9][2] = {{2500, 1650}, {50, 1650}, {2500, 50}, {50, 50},     {50, 850},
                                    {2500, 850},  {1275, 50}, {1275, 1650}, {1275, 850}};
    for (int32_t anchor = 0; anchor < 9; ++anchor) {
        int64_t left = 0;
        int64_t top = 0;
        WatermarkMod::placement(anchor, 3000, 2000, 450, 300, 50, &left, &top);
        EXPECT_EQ(expected[anchor][0], left) << anchor;
        EXPECT_EQ(expected[anchor][1], top) << anchor;
    }
    int64_t left = 0;
    int64_t top = 0;
    WatermarkMod::placement(8, 100, 100, 49, 49, 0, &left, &top);  // odd difference 51
    EXPECT_EQ(25, left);
}

TEST(Watermark, CoverScalingAndPlacementOnThePicture) {
    testimages::FakeLoader loader;
    loader.add("wide.png", logo(100, 20));  // aspect 5
    loader.add("tall.png", logo(20, 40));   // aspect 0.5
    const ImageBuffer image = tiletest::makeTestImage(300, 200, 3, 2);
    // Scale 15: a 45 x 30 box; the wide logo covers it at 150 x 30, the
    // tall one at 45 x 90. Offset 5: m = 5. Lower right.
    struct Case {
        const char* path;
        int32_t anchor;
        Box box;
    } cases[] = {{"wide.png", 0, {145, 165, 294, 194}}, {"tall.png", 0, {250, 105, 294, 194}},
                 {"wide.png", 3, {5, 5, 154, 34}},     {"tall.png", 8, {127, 55, 171, 144}}};
    for (const Case& c : cases) {
        WatermarkMod tile;
        setUp(tile, c.path, c.anchor, 5.0f, 15.0f);
        const Box box = changedBox(image, tiletest::renderFloat(tile, image));
        EXPECT_EQ(c.box.left, box.left) << c.path << c.anchor;
        EXPECT_EQ(c.box.top, box.top);
        EXPECT_EQ(c.box.right, box.right);
        EXPECT_EQ(c.box.bottom, box.bottom);
    }
}

TEST(Watermark, OpaqueBitmapReplacesTheSamplesAndOpacityZeroChangesNothing) {
    testimages::FakeLoader loader;
    loader.add("logo.png", logo(30, 20));
    const ImageBuffer image = tiletest::makeTestImage(30, 20, 4, 8);
    WatermarkMod tile;
    setUp(tile, "logo.png", 3, 0.0f, 100.0f);  // covers the picture exactly
    const ImageBuffer out = tiletest::renderFloat(tile, image);
    const ImageBuffer expected = logo(30, 20);
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 0; x < 30; ++x)
            for (int32_t c = 0; c < 4; ++c) ASSERT_EQ(byteAt(expected, x, y, c), floatAt(out, x, y, c));
    tile.floatAt(4)->value = 0.0f;
    EXPECT_TRUE(tiletest::sameFloatImages(image, tiletest::renderFloat(tile, image)));
}

TEST(Watermark, ResampledPartEqualsTheWholeResize) {
    const ImageBuffer source = logo(37, 23, 200);
    const int32_t sizes[][2] = {{37, 23}, {120, 75}, {90, 23}, {11, 9}, {400, 30}};
    for (const auto& size : sizes) {
        std::unique_ptr<ImageBuffer> whole(drawTransformedBitmap8(&source, size[0], size[1], nullptr, nullptr, nullptr, 0));
        const int32_t px = size[0] / 3;
        const int32_t py = size[1] / 4;
        ImageBuffer part;
        part.allocate8(size[0] - px - 1, size[1] - py, 4);
        ASSERT_TRUE(drawResizedBitmapPart8(&source, size[0], size[1], px, py, part));
        for (int32_t y = 0; y < part.height; ++y)
            for (int32_t x = 0; x < part.width; ++x)
                for (int32_t c = 0; c < 4; ++c)
                    ASSERT_EQ(byteAt(*whole, x + px, y + py, c), byteAt(part, x, y, c)) << size[0] << " " << x << "," << y;
    }
    ImageBuffer part;
    part.allocate8(5, 5, 4);
    EXPECT_FALSE(drawResizedBitmapPart8(&source, 10, 10, 8, 0, part));  // past the drawing
}

TEST(Watermark, RegionsAgreeWithTheWholePicture) {
    testimages::FakeLoader loader;
    loader.add("logo.png", logo(40, 25, 180));
    const ImageBuffer image = tiletest::makeTestImage(200, 120, 4, 4);
    WatermarkMod tile;
    setUp(tile, "logo.png", 8, 5.0f, 40.0f, 0.7f);
    const ImageBuffer whole = tiletest::renderFloat(tile, image);
    // The lower right quarter rendered as a region of its own.
    ImageBuffer quarter;
    quarter.allocateFloat(100, 60, 4);
    for (int32_t y = 0; y < 60; ++y)
        for (int32_t x = 0; x < 100; ++x)
            for (int32_t c = 0; c < 4; ++c) floatAt(quarter, x, y, c) = floatAt(image, x + 100, y + 60, c);
    RenderRegion region;
    region.fullWidth = 200;
    region.fullHeight = 120;
    region.originX = 100;
    region.originY = 60;
    RenderArgs args;
    args.region = &region;
    WatermarkMod other;
    setUp(other, "logo.png", 8, 5.0f, 40.0f, 0.7f);
    const ImageBuffer out = tiletest::renderFloat(other, quarter, &args);
    for (int32_t y = 0; y < 60; ++y)
        for (int32_t x = 0; x < 100; ++x)
            for (int32_t c = 0; c < 4; ++c) ASSERT_EQ(floatAt(whole, x + 100, y + 60, c), floatAt(out, x, y, c));
}

TEST(Watermark, LoadsOnceAndForgetsAFailedFile) {
    testimages::FakeLoader loader;
    loader.add("logo.png", logo(40, 25));
    const ImageBuffer image = tiletest::makeTestImage(200, 120, 3, 4);
    WatermarkMod tile;
    setUp(tile, "logo.png", 0, 5.0f, 20.0f);
    ImageBuffer first = tiletest::copyOf(image);
    tile.processFloat(first, nullptr);
    tile.floatAt(3)->value = 30.0f;  // a new box: resampled, not read again
    ImageBuffer second = tiletest::copyOf(image);
    tile.processFloat(second, nullptr);
    EXPECT_EQ(1, loader.loads("logo.png"));
    EXPECT_FALSE(tiletest::sameFloatImages(image, second));
    // A path that cannot be read leaves the picture unchanged, with no
    // bitmap left behind from the earlier file.
    tile.var(0)->fileValue()->path = "missing.png";
    ImageBuffer third = tiletest::copyOf(image);
    tile.processFloat(third, nullptr);
    EXPECT_TRUE(tiletest::sameFloatImages(image, third));
    loader.remove("logo.png");
    tile.var(0)->fileValue()->path = "logo.png";
    ImageBuffer fourth = tiletest::copyOf(image);
    tile.processFloat(fourth, nullptr);
    EXPECT_TRUE(tiletest::sameFloatImages(image, fourth));
}

TEST(Watermark, HostileSizesDrawOnlyWhatMeetsThePicture) {
    testimages::FakeLoader loader;
    loader.add("strip.png", logo(3000, 1));  // at Scale 100: 240000 x 80 and more
    loader.add("dot.png", logo(1, 1));
    const ImageBuffer image = tiletest::makeTestImage(600, 400, 3, 6);
    {
        WatermarkMod tile;
        setUp(tile, "strip.png", 8, 0.0f, 100.0f);
        const Box box = changedBox(image, tiletest::renderFloat(tile, image));
        EXPECT_EQ(0, box.left);
        EXPECT_EQ(599, box.right);
    }
    {
        // Scale so small that the box is under a pixel: nothing is drawn.
        WatermarkMod tile;
        setUp(tile, "dot.png", 0, 0.0f, 0.1f);
        EXPECT_TRUE(tiletest::sameFloatImages(image, tiletest::renderFloat(tile, image)));
    }
    {
        // Scale 0 in a preview of pixel scale 4: a 1-pixel logo becomes a
        // quarter pixel, and draws nothing.
        WatermarkMod tile;
        setUp(tile, "dot.png", 0, 0.0f, 0.0f);
        ImageBuffer scaled = tiletest::copyOf(image);
        scaled.scale = 4.0f;
        EXPECT_TRUE(tiletest::sameFloatImages(scaled, tiletest::renderFloat(tile, scaled)));
    }
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float v : {nan, -5.0f, 1e30f}) {
        WatermarkMod tile;
        setUp(tile, "strip.png", 99, v, v, v);
        tiletest::renderFloat(tile, image);
        tiletest::render8(tile, tiletest::bytesOf(image));
    }
}

TEST(Watermark, SharedTileProperties) {
    testimages::FakeLoader loader;
    loader.add("logo.png", logo(40, 25, 150));
    WatermarkMod tile;
    setUp(tile, "logo.png", 2, 3.0f, 50.0f, 0.8f);
    tiletest::expectBandedEqualsWhole(tile, tiletest::standardImage(4));
    tiletest::expect8BitWithinLevel(tile, tiletest::standardImage(4), 1);
    tiletest::expectCloneCopyFromEquals(tile);
    tiletest::expectFilterRoundTrip(tile);
}

}  // namespace
