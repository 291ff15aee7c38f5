// The Dead Pixel tile: worked cases, the band margin that makes every thread
// count agree, the ring that meets no pixel, and hostile values.

#include <gtest/gtest.h>

#include <math.h>

#include <cstdint>
#include <limits>

#include "effects/DeadPixel.h"
#include "support/ImageBuilders.h"
#include "support/TileProperties.h"

using testimages::floatAt;

namespace {

void setPixel(DeadPixelMod& tile, float x, float y, float radius) {
    tile.floatAt(0)->value = x;
    tile.floatAt(1)->value = y;
    tile.floatAt(2)->value = radius;
}

// How many pixels differ between two float images of one size.
int32_t changedPixels(const ImageBuffer& a, const ImageBuffer& b) {
    int32_t changed = 0;
    const int32_t n = a.channelCount();
    for (int32_t i = 0; i < a.width * a.height; ++i)
        for (int32_t c = 0; c < n; ++c)
            if (a.floats()[i * n + c] != b.floats()[i * n + c]) {
                ++changed;
                break;
            }
    return changed;
}

TEST(DeadPixel, NamesVarsAndMargin) {
    DeadPixelMod tile;
    EXPECT_STREQ(tile.name.c_str(), "Dead Pixel");
    ASSERT_EQ(tile.vars.count, 3);
    EXPECT_EQ(tile.var(0)->controlCode, 3);
    EXPECT_EQ(tile.floatAt(2)->tickCount, 9);
    EXPECT_FALSE(tile.floatAt(0)->hasMaximum);
    // ceil(2R) + 2 with R = max(Radius / s, 1).
    setPixel(tile, 0, 0, 3.0f);
    EXPECT_EQ(8, tile.marginFor(100, 100, 1.0f));
    EXPECT_EQ(5, tile.marginFor(100, 100, 2.0f));
    EXPECT_EQ(4, tile.marginFor(100, 100, 8.0f));
    setPixel(tile, 0, 0, 1e30f);  // a hand-edited Radius is held to 10
    EXPECT_EQ(22, tile.marginFor(100, 100, 1.0f));
}

TEST(DeadPixel, RadiusAtOrBelowOnePixelChangesNothing) {
    const ImageBuffer image = tiletest::makeTestImage(20, 20, 3, 5);
    DeadPixelMod tile;
    setPixel(tile, 10, 10, 1.0f);
    tiletest::expectIdentityLeavesImage(tile);
    // Radius 1.5 in a preview at pixel scale 2: R = max(0.75, 1) = 1.
    setPixel(tile, 10, 10, 1.5f);
    ImageBuffer scaled = tiletest::copyOf(image);
    scaled.scale = 2.0f;
    EXPECT_TRUE(tiletest::sameFloatImages(scaled, tiletest::renderFloat(tile, scaled)));
    // At full size Radius 1.5 changes the pixels within 1.5 of (9, 9).
    const ImageBuffer out = tiletest::renderFloat(tile, image);
    EXPECT_NE(floatAt(out, 9, 9, 0), floatAt(image, 9, 9, 0));
    EXPECT_EQ(floatAt(out, 12, 12, 0), floatAt(image, 12, 12, 0));
}

TEST(DeadPixel, OpaqueAndTransparentPixelsInsideTheDiscTakeTheAverage) {
    // Flat colour around, a different pixel in the middle: the disc takes
    // the ring's colour with alpha 255 whatever its own alpha.
    for (int alpha : {255, 0}) {
        ImageBuffer image = testimages::makeFloatImage(21, 21, 4);
        for (int32_t i = 0; i < 21 * 21; ++i) {
            float* p = image.floats() + i * 4;
            p[0] = 40.0f;
            p[1] = 80.0f;
            p[2] = 120.0f;
            p[3] = 255.0f;
        }
        float* hot = image.floats() + (9 * 21 + 9) * 4;
        hot[0] = hot[1] = hot[2] = 255.0f;
        hot[3] = static_cast<float>(alpha);
        DeadPixelMod tile;
        setPixel(tile, 10, 10, 3.0f);
        const ImageBuffer out = tiletest::renderFloat(tile, image);
        EXPECT_NEAR(40.0f, floatAt(out, 9, 9, 0), 1e-3f);
        EXPECT_NEAR(120.0f, floatAt(out, 9, 9, 2), 1e-3f);
        EXPECT_NEAR(255.0f, floatAt(out, 9, 9, 3), 1e-3f);
    }
}

TEST(DeadPixel, BandsAgreeWithTheWholeImageNearEveryBoundary) {
    // Rows around the band boundaries of 1 to 8 threads on 512 rows; before
    // the margin covered the ring, a band painted disc rows from a partial
    // ring.
    const ImageBuffer image = tiletest::makeTestImage(24, 512, 3, 17);
    for (float y : {63.0f, 64.0f, 85.0f, 128.0f, 171.0f, 256.0f, 258.0f, 260.0f, 342.0f}) {
        SCOPED_TRACE(y);
        DeadPixelMod tile;
        setPixel(tile, 12.0f, y, 3.0f);
        tiletest::expectBandedEqualsWhole(tile, image);
    }
}

TEST(DeadPixel, RingOutsideTheImageLeavesItUnchanged) {
    // The disc's box meets the image but no ring sample falls inside: no
    // average, nothing painted (formerly NaN).
    const ImageBuffer image = tiletest::makeTestImage(16, 16, 3, 3);
    DeadPixelMod tile;
    setPixel(tile, 20.0f, 8.0f, 3.0f);
    const ImageBuffer out = tiletest::renderFloat(tile, image);
    EXPECT_TRUE(tiletest::sameFloatImages(image, out));
}

TEST(DeadPixel, HostileValuesNeverCrashOrPaintNaN) {
    const ImageBuffer image = tiletest::makeTestImage(16, 16, 4, 9);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const float cases[][3] = {{nan, 5, 3}, {5, nan, 3}, {5, 5, nan}, {inf, 5, 3}, {-inf, -inf, 3},
                              {1e30f, 1e30f, 1e30f}, {5, 5, -4}, {-3, -3, 10}, {0, 0, inf}};
    for (const auto& c : cases) {
        DeadPixelMod tile;
        setPixel(tile, c[0], c[1], c[2]);
        const ImageBuffer out = tiletest::renderFloat(tile, image);
        for (int64_t i = 0; i < out.sampleCount(); ++i) ASSERT_FALSE(isnan(out.floats()[i]));
        tiletest::render8(tile, tiletest::bytesOf(image));
    }
}

TEST(DeadPixel, SharedTileProperties) {
    DeadPixelMod tile;
    setPixel(tile, 11.0f, 30.0f, 4.5f);
    const ImageBuffer image = tiletest::standardImage(4);
    EXPECT_GT(changedPixels(image, tiletest::renderFloat(tile, image)), 20);
    tiletest::expect8BitWithinLevel(tile, image, 1);
    tiletest::expectCloneCopyFromEquals(tile);
    tiletest::expectFilterRoundTrip(tile);
}

}  // namespace
