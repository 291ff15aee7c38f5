// The built-in frames as the program holds them: compiled-in resources,
// read through the real loader, at the sizes and with the windows the
// bitmap border expects.

#include <gtest/gtest.h>

#include <cstdint>

#include "FrameResources.h"
#include "desktop_only/media/DesktopImageLoaderSaver.h"
#include "effects/borders/BitmapBorder.h"
#include "render/TransformedBitmap.h"
#include "support/ImageBuilders.h"

using testimages::byteAt;

namespace {

class FrameResources : public ::testing::Test {
protected:
    void SetUp() override {
        registerFrameResources();
        saved = gImageLoaderSaver;
        gImageLoaderSaver = &loader;
        addBuiltInFrames(frames);
    }
    void TearDown() override {
        gImageLoaderSaver = saved;
        for (ImageMod* mod : frames) delete mod;
    }
    DesktopImageLoaderSaver loader;
    ImageLoaderSaver* saved = nullptr;
    GrowArray<ImageMod*> frames;
};

uint8_t alphaAt(const ImageBuffer& image, float x, float y) {
    const int32_t ix = static_cast<int32_t>(x);
    const int32_t iy = static_cast<int32_t>(y);
    return byteAt(image, ix < 0 ? 0 : ix, iy < 0 ? 0 : iy, 3);
}

// Transparent in the middle; for a frame with insets, transparent a few
// pixels inside every side and opaque just outside each side that has one.
void expectWindow(const BitmapBorder& frame, const ImageBuffer& image) {
    const float W = static_cast<float>(image.width);
    const float H = static_cast<float>(image.height);
    const float l = frame.insetLeft * W;
    const float r = W - frame.insetRight * W;
    const float t = frame.insetTop * H;
    const float b = H - frame.insetBottom * H;
    const float mx = W / 2;
    const float my = H / 2;
    EXPECT_EQ(0, alphaAt(image, mx, my));
    // Frames without insets paint over the photo's edges by design.
    if (frame.insetLeft + frame.insetRight + frame.insetTop + frame.insetBottom == 0.0f) return;
    EXPECT_EQ(0, alphaAt(image, l + 3, my));
    EXPECT_EQ(0, alphaAt(image, r - 4, my));
    EXPECT_EQ(0, alphaAt(image, mx, t + 3));
    EXPECT_EQ(0, alphaAt(image, mx, b - 4));
    if (frame.insetLeft > 0) EXPECT_EQ(255, alphaAt(image, l - 1, my));
    if (frame.insetRight > 0) EXPECT_EQ(255, alphaAt(image, r, my));
    if (frame.insetTop > 0) EXPECT_EQ(255, alphaAt(image, mx, t - 1));
    if (frame.insetBottom > 0) EXPECT_EQ(255, alphaAt(image, mx, b));
    // The frame overlaps the window's edge by a pixel or two.
    if (frame.insetLeft > 0) EXPECT_EQ(255, alphaAt(image, l, my));
}

TEST_F(FrameResources, EveryFrameLoadsAtItsSizeWithItsWindow) {
    ASSERT_EQ(14, frames.count);
    for (ImageMod* mod : frames) {
        const BitmapBorder& frame = *static_cast<BitmapBorder*>(mod);
        for (const BitmapReference* ref : {&frame.bitmapRef, &frame.thumbnailRef}) {
            SCOPED_TRACE(ref->path.c_str());
            ImageBuffer image;
            image.allocate8(10, 10, 4);
            ASSERT_TRUE(loadNamedBitmap(&image, ref->path.c_str(), true));
            EXPECT_EQ(ref->width, image.width);
            EXPECT_EQ(ref->height, image.height);
            ASSERT_EQ(4, image.channelCount());
            expectWindow(frame, image);
        }
    }
}

TEST_F(FrameResources, FramesWithoutInsetsPaintOnlyAroundTheEdges) {
    for (const char* name : {"35mm Bleed", "Eroded"}) {
        for (ImageMod* mod : frames) {
            if (!(mod->name == GrowString(name))) continue;
            ImageBuffer image;
            image.allocate8(10, 10, 4);
            ASSERT_TRUE(loadNamedBitmap(&image, static_cast<BitmapBorder*>(mod)->bitmapRef.path.c_str(), true));
            int64_t opaque = 0;
            for (int32_t y = 0; y < image.height; ++y)
                for (int32_t x = 0; x < image.width; ++x) opaque += byteAt(image, x, y, 3) == 255;
            const double share = static_cast<double>(opaque) / (static_cast<double>(image.width) * image.height);
            EXPECT_GT(share, 0.03) << name;
            EXPECT_LT(share, 0.35) << name;
        }
    }
}

}  // namespace
