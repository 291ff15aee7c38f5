// Image Border: the frame from a user's file, its window found from the
// file's alpha, the loading rules (once, under the tile's lock, a failed
// path not retried until "File" changes, a non-file value naming no file)
// and its geometry.
#include <gtest/gtest.h>

#include "effects/borders/BitmapBorder.h"
#include "effects/borders/ImageBorder.h"
#include "render/OutputGeometry.h"
#include "support/FakeLoader.h"
#include "support/ImageBuilders.h"
#include "support/TileProperties.h"

namespace {

// An RGBA frame, opaque except the window columns [l, r] and rows [t, b],
// whose alpha is `windowAlpha`.
ImageBuffer makeFrame(int32_t w, int32_t h, int32_t l, int32_t r, int32_t t, int32_t b, uint8_t windowAlpha = 0) {
    ImageBuffer frame;
    frame.allocate8(w, h, 4);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            uint8_t* p = frame.bytes() + (static_cast<int64_t>(y) * w + x) * 4;
            p[0] = 200;
            p[1] = 100;
            p[2] = 50;
            p[3] = (x >= l && x <= r && y >= t && y <= b) ? windowAlpha : 255;
        }
    return frame;
}

void setFile(ImageBorder& tile, const char* path) {
    tile.var(0)->fileValue()->path = path;
    tile.varChanged(0);
}

}  // namespace

TEST(ImageBorderTile, WindowFromAlpha) {
    float insets[4];
    findFrameWindow(makeFrame(1000, 800, 100, 899, 50, 749), insets);
    EXPECT_EQ(insets[0], 0.1f);
    EXPECT_EQ(insets[1], 0.101f);
    EXPECT_EQ(insets[2], 0.0625f);
    EXPECT_EQ(insets[3], 0.06375f);

    struct Case {
        uint8_t alpha;
        bool window;
    };
    for (const Case& c : {Case{251, true}, Case{252, false}, Case{255, false}}) {
        findFrameWindow(makeFrame(100, 100, 10, 89, 10, 89, c.alpha), insets);
        EXPECT_EQ(insets[0] > 0.0f, c.window) << int(c.alpha);
        EXPECT_EQ(insets[3] > 0.0f, c.window) << int(c.alpha);
    }
    // Three channels: no alpha, no window.
    findFrameWindow(testimages::makeByteImage(20, 10, 3), insets);
    for (float v : insets) EXPECT_EQ(v, 0.0f);
}

TEST(ImageBorderTile, LoadsTheFileIntoAnInnerBorder) {
    testimages::FakeLoader loader;
    loader.add("frame.png", makeFrame(1000, 800, 100, 899, 50, 749));
    ImageBorder tile;
    EXPECT_EQ(tile.name, GrowString("Custom File Border"));
    EXPECT_EQ(tile.var(0)->fileValue()->extensions.count, 3);
    setFile(tile, "frame.png");
    std::shared_ptr<BitmapBorder> inner = tile.innerBorder();
    ASSERT_TRUE(inner);
    EXPECT_EQ(inner->insetRight, 0.101f);
    EXPECT_EQ(inner->bitmapRef.width, 1000);
    EXPECT_EQ(inner->aspect, 1.25f);
    // The operations use it without loading again, and so does a clone.
    float w = 0, h = 0;
    tile.contentSizeFor(nullptr, &w, &h, 800.0f, 690.0f, 0.0f);
    std::unique_ptr<ImageMod> copy(duplicateMod(tile));
    static_cast<ImageBorder*>(copy.get())->contentSizeFor(nullptr, &w, &h, 800.0f, 690.0f, 0.0f);
    EXPECT_EQ(loader.loads("frame.png"), 1);
    EXPECT_EQ(tile.borderAspectFor(1.5f), inner->borderAspectFor(1.5f));
}

TEST(ImageBorderTile, NoFileAndFailedFiles) {
    testimages::FakeLoader loader;
    ImageBorder tile;
    // An empty "File": the base geometry, nothing painted.
    float w = 0, h = 0;
    const float margins[4] = {0.1f, 0.1f, 0.0f, 0.25f};
    tile.contentSizeFor(margins, &w, &h, 3000.0f, 2000.0f, 0.0f);
    EXPECT_FLOAT_EQ(w, 2400.0f);
    EXPECT_FLOAT_EQ(h, 1500.0f);
    const ImageBuffer image = tiletest::makeTestImage(20, 30, 4);
    EXPECT_TRUE(tiletest::sameFloatImages(image, tiletest::renderFloat(tile, image)));

    // A missing file is tried once, then remembered until "File" changes.
    setFile(tile, "missing.png");
    for (int32_t i = 0; i < 5; ++i) {
        tile.contentSizeFor(nullptr, &w, &h, 300.0f, 200.0f, 0.0f);
        tiletest::renderFloat(tile, image);
    }
    EXPECT_FALSE(tile.innerBorder());
    EXPECT_EQ(loader.loads("missing.png"), 1);
    loader.add("missing.png", makeFrame(40, 30, 5, 34, 5, 24));
    setFile(tile, "missing.png");
    EXPECT_TRUE(tile.innerBorder());
    EXPECT_EQ(loader.loads("missing.png"), 2);
    // Back to another missing path: the old file's border goes.
    tile.var(0)->fileValue()->path = "gone.png";
    EXPECT_FALSE(tile.innerBorder());

    // "File" holding another kind of value names no file: nothing is asked
    // of the loader.
    ImageBorder other;
    other.var(0)->setValue(new FloatValue(0.0f));
    other.varChanged(0);
    other.contentSizeFor(nullptr, &w, &h, 300.0f, 200.0f, 0.0f);
    EXPECT_TRUE(other.borderPath().isEmpty());
    EXPECT_EQ(loader.loads("0"), 0);
    EXPECT_EQ(loader.loads(""), 0);
}

// A fresh clone (no inner border yet) painted by many bands at once loads
// the file once under its own lock, and every thread count gives the same
// pixels.
TEST(ImageBorderTile, ParallelBandsLoadOnce) {
    testimages::FakeLoader loader;
    loader.add("frame.png", makeFrame(40, 90, 6, 33, 6, 83));
    ImageBorder tile;
    tile.var(0)->fileValue()->path = "frame.png";  // set without varChanged: nothing loaded yet
    ImageBuffer image = tiletest::makeTestImage(40, 90, 4);
    image.insetLeft = image.insetRight = image.insetTop = image.insetBottom = 6;
    tiletest::expectBandedEqualsWhole(tile, image);
    EXPECT_EQ(tile.innerBorder(false) != nullptr, true);
    tiletest::expectCloneCopyFromEquals(tile);
}

TEST(ImageBorderTile, OutputGeometry) {
    testimages::FakeLoader loader;
    // A 400 x 300 frame whose window leaves 40 pixels at each side.
    loader.add("frame.png", makeFrame(400, 300, 40, 359, 40, 259));
    ImageBorder* tile = new ImageBorder();
    setFile(*tile, "frame.png");
    GrowArray<ImageMod*> chain;
    chain.append(tile);
    OutputGeometry g;
    ASSERT_TRUE(computeOutputGeometry(chain, 320, 220, g));
    EXPECT_EQ(g.border, tile);
    EXPECT_EQ(g.width, 400);
    EXPECT_EQ(g.height, 300);
    const ImageBuffer source = testimages::makeFloatImage(320, 220, 3);
    ImageBuffer dest;
    ASSERT_TRUE(applyChainGeometry(source, g, dest));
    // 40 x (1 / 400) x 400 truncates to 39; the bottom inset counts from
    // the last window row (41 rows).
    EXPECT_EQ(dest.insetLeft, 39);
    EXPECT_EQ(dest.insetBottom, 41);
    delete tile;
}
