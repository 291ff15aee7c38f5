// The bitmap border: output sizes and turning, the pixel insets of the
// placement, the choice of thumbnail or full frame, the cached frame and
// what happens without one. The frames here are served by a fake loader;
// the built-in images themselves are checked by the frame resource test.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "effects/borders/BitmapBorder.h"
#include "framework/TilePrototypes.h"
#include "support/FakeLoader.h"
#include "support/ImageBuilders.h"
#include "support/TileProperties.h"

using testimages::byteAt;
using testimages::floatAt;

namespace {

// The built-in frame of that name from the prototype list (owned by the
// caller).
std::unique_ptr<BitmapBorder> builtIn(const char* name) {
    GrowArray<ImageMod*> list;
    addBuiltInFrames(list);
    std::unique_ptr<BitmapBorder> found;
    for (ImageMod* mod : list) {
        if (mod->name == GrowString(name) && !found)
            found.reset(static_cast<BitmapBorder*>(mod));
        else
            delete mod;
    }
    return found;
}

// A frame bitmap: opaque grey 200 outside the window at the insets, clear
// inside.
ImageBuffer frameImage(int32_t w, int32_t h, const float insets[4]) {
    ImageBuffer image;
    image.allocate8(w, h, 4);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const bool inside = x >= insets[0] * w && x < w - insets[1] * w && y >= insets[2] * h &&
                                y < h - insets[3] * h;
            for (int32_t c = 0; c < 3; ++c) byteAt(image, x, y, c) = 200;
            byteAt(image, x, y, 3) = inside ? 0 : 255;
        }
    return image;
}

TEST(BitmapBorder, BuiltInFramesInPanelOrder) {
    GrowArray<ImageMod*> list;
    addBuiltInFrames(list);
    const char* names[] = {"47mm Square", "35mm Bleed", "Eroded",  "Cut",         "Infini 50",
                           "Insta",       "Print-W",    "Print-B", "Vinyl",       "75mm Strip",
                           "White Slide", "Notched",    "Safety Film", "Paper"};
    ASSERT_EQ(list.count, 14);
    for (int32_t i = 0; i < 14; ++i) {
        EXPECT_STREQ(names[i], list[i]->name.c_str());
        EXPECT_STREQ(names[i], list[i]->displayName.c_str());
        EXPECT_EQ(0, list[i]->vars.count);
        EXPECT_EQ(kGroupTrailing, list[i]->chainGroup());
        EXPECT_TRUE(asBorderMod(list[i]) != nullptr);
    }
    const BitmapBorder* insta = static_cast<BitmapBorder*>(list[5]);
    EXPECT_STREQ(":/img/instant.png", insta->bitmapRef.path.c_str());
    EXPECT_EQ(0.1796875f, insta->insetRight);
    EXPECT_FLOAT_EQ(2000.0f / 1261.0f, insta->aspect);
    for (ImageMod* mod : list) delete mod;
}

TEST(BitmapBorder, OutputSizesAndTurning) {
    struct Case {
        const char* frame;
        float w, h;
        float outWidth, outHeight;
    } cases[] = {
        {"Vinyl", 6000, 4000, 2000, 2000},    // capped at the bitmap
        {"Vinyl", 1000, 1000, 1053, 1052.6316f},  // the box 1000 / 0.95; the free side rounded
        {"Print-W", 900, 600, 693, 693.24097f},   // square, never turned; the box's height decides
        {"Insta", 400, 600, 458.72134f, 728},     // portrait: turned, the thick side at the bottom
        {"35mm Bleed", 1200, 800, 1200, 715}, // insets 0: the frame's aspect
    };
    for (const Case& c : cases) {
        std::unique_ptr<BitmapBorder> border = builtIn(c.frame);
        float w = 0;
        float h = 0;
        border->contentSizeFor(nullptr, &w, &h, c.w, c.h, 0.0f);
        EXPECT_NEAR(c.outWidth, w, 1e-3f) << c.frame << " " << c.w;
        EXPECT_NEAR(c.outHeight, h, 1e-3f) << c.frame << " " << c.w;
    }
    std::unique_ptr<BitmapBorder> insta = builtIn("Insta");
    EXPECT_TRUE(insta->turnsFor(0.5f));
    EXPECT_FALSE(insta->turnsFor(1.0f));
    EXPECT_FALSE(insta->turnsFor(2.0f));
    EXPECT_FLOAT_EQ(1261.0f / 2000.0f, insta->borderAspectFor(0.5f));
}

TEST(BitmapBorder, PlacementRecordsThePixelInsets) {
    std::unique_ptr<BitmapBorder> insta = builtIn("Insta");
    ImageBuffer source = tiletest::makeTestImage(40, 60, 3, 5);
    ImageBuffer dest;
    // Portrait: turned, the thick right inset becomes the bottom.
    insta->fitImageFloat(&source, &dest, nullptr, true, 552.0f, 875.0f, 0.0f);
    ASSERT_EQ(552, dest.width);
    ASSERT_EQ(875, dest.height);
    EXPECT_EQ(static_cast<int32_t>(0.06400551f * 552.0f), dest.insetLeft);
    EXPECT_EQ(static_cast<int32_t>(0.06400551f * 552.0f), dest.insetRight);
    EXPECT_EQ(static_cast<int32_t>(0.07986111f * 875.0f), dest.insetTop);
    EXPECT_EQ(static_cast<int32_t>(0.1796875f * 875.0f), dest.insetBottom);
    // Hostile target sizes draw nothing.
    for (float bad : {0.0f, -3.0f, std::numeric_limits<float>::quiet_NaN(), 1e20f}) {
        ImageBuffer none;
        insta->fitImageFloat(&source, &none, nullptr, true, bad, 100.0f, 0.0f);
        EXPECT_EQ(nullptr, none.data);
    }
}

TEST(BitmapBorder, ThumbnailUpToItsWidthThenTheFullFrameAndTheCache) {
    testimages::FakeLoader loader;
    const float insets[4] = {0.1f, 0.1f, 0.1f, 0.1f};
    loader.add("full.png", frameImage(200, 100, insets));
    loader.add("thumb.png", frameImage(50, 25, insets));
    BitmapReference full{GrowString("full.png"), 200, 100};
    BitmapReference thumb{GrowString("thumb.png"), 50, 25};
    BitmapBorder border(GrowString("Test Frame"), GrowString(""), full, thumb, insets);
    EXPECT_TRUE(border.frameFor(50, 25) != nullptr);
    EXPECT_EQ(1, loader.loads("thumb.png"));
    EXPECT_EQ(0, loader.loads("full.png"));
    EXPECT_TRUE(border.frameFor(50, 25) != nullptr);  // the same size reuses the cache
    EXPECT_EQ(1, loader.loads("thumb.png"));
    EXPECT_TRUE(border.frameFor(51, 25) != nullptr);  // one wider: the full frame
    EXPECT_EQ(1, loader.loads("full.png"));
    // Turned (portrait output of a landscape frame): the thumbnail's height
    // is the limit, and the cache is FH x FW.
    std::shared_ptr<const ImageBuffer> turned = border.frameFor(25, 50);
    ASSERT_TRUE(turned != nullptr);
    EXPECT_EQ(50, turned->width);
    EXPECT_EQ(25, turned->height);
    EXPECT_EQ(2, loader.loads("thumb.png"));
}

TEST(BitmapBorder, PaintLaysTheFrameOverThePictureAndAMissingFrameLeavesIt) {
    testimages::FakeLoader loader;
    const float insets[4] = {0.1f, 0.1f, 0.1f, 0.1f};
    loader.add("full.png", frameImage(200, 100, insets));
    BitmapReference full{GrowString("full.png"), 200, 100};
    BitmapReference thumb{GrowString("thumb.png"), 50, 25};  // not served
    BitmapBorder border(GrowString("Test Frame"), GrowString(""), full, thumb, insets);
    const ImageBuffer image = tiletest::makeTestImage(120, 60, 3, 9);
    const ImageBuffer out = tiletest::renderFloat(border, image);
    EXPECT_EQ(200.0f, floatAt(out, 2, 2, 0));          // the frame, opaque
    EXPECT_EQ(floatAt(image, 60, 30, 1), floatAt(out, 60, 30, 1));  // the window
    tiletest::expectBandedEqualsWhole(border, image);
    // Small enough for the thumbnail, which cannot be loaded: unframed, and
    // not tried again.
    const ImageBuffer small = tiletest::makeTestImage(40, 20, 3, 9);
    EXPECT_TRUE(tiletest::sameFloatImages(small, tiletest::renderFloat(border, small)));
    tiletest::renderFloat(border, small);
    EXPECT_EQ(1, loader.loads("thumb.png"));
}

TEST(BitmapBorder, CopiesAndFilterFiles) {
    std::unique_ptr<BitmapBorder> notched = builtIn("Notched");
    std::unique_ptr<ImageMod> copy(duplicateMod(*notched));
    const BitmapBorder* b = static_cast<BitmapBorder*>(copy.get());
    EXPECT_EQ(notched->insetBottom, b->insetBottom);
    EXPECT_EQ(notched->aspect, b->aspect);
    EXPECT_STREQ(notched->thumbnailRef.path.c_str(), b->thumbnailRef.path.c_str());
    tiletest::expectCloneCopyFromEquals(*notched);
    tiletest::expectFilterRoundTrip(*notched);
}

}  // namespace
