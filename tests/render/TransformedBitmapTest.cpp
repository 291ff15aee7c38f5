// Transformed bitmap drawing: plain copies, reductions, the straighten
// zoom, the alpha-aware box filter, the loader hook and hostile geometry.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

#include "foundation/GrowString.h"
#include "framework/ImageLoaderSaver.h"
#include "render/TransformedBitmap.h"
#include "support/ImageBuilders.h"

using testimages::byteAt;
using testimages::floatAt;

namespace {

// channel c of pixel (x, y) = 10 x + y + 100 c
ImageBuffer gradientImage(int32_t w, int32_t h, int32_t channels) {
    ImageBuffer image;
    image.allocateFloat(w, h, channels);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            for (int32_t c = 0; c < channels; ++c)
                floatAt(image, x, y, c) = static_cast<float>(10 * x + y) + (c < 3 ? 0.0f : 100.0f);
    return image;
}

ImageBuffer bytesOf(const ImageBuffer& floats) {
    ImageBuffer bytes;
    ImageBuffer::copy8FromFloat(bytes, floats, true);
    return bytes;
}

TEST(TransformedBitmap, SameSizeIsAPlainCopy) {
    ImageBuffer src = testimages::makeFloatImage(5, 4, 3);
    src.scale = 2.5f;
    std::unique_ptr<ImageBuffer> dest(drawTransformedBitmap(&src, 5, 4, nullptr, nullptr, nullptr, 0.0f));
    ASSERT_TRUE(dest);
    EXPECT_TRUE(testimages::floatsIdentical(src, *dest));
    EXPECT_EQ(2.5f, dest->scale);

    const ImageBuffer src8 = bytesOf(src);
    std::unique_ptr<ImageBuffer> dest8(drawTransformedBitmap8(&src8, 5, 4, nullptr, nullptr, nullptr, 0.0f));
    EXPECT_TRUE(testimages::bytesIdentical(src8, *dest8));
}

// 2:1 is a box of 2 x 2 pixels: output pixel (1, 1) averages source
// columns and rows 1 and 2. 3:1 widens the box to 3 x 1.18 = 3.54.
TEST(TransformedBitmap, Reductions) {
    const ImageBuffer src = gradientImage(6, 6, 3);
    std::unique_ptr<ImageBuffer> half(drawTransformedBitmap(&src, 3, 3, nullptr, nullptr, nullptr, 0.0f));
    EXPECT_FLOAT_EQ(16.5f, floatAt(*half, 1, 1, 0));
    EXPECT_EQ(2.0f, half->scale);
    const ImageBuffer src8 = bytesOf(src);
    std::unique_ptr<ImageBuffer> half8(drawTransformedBitmap8(&src8, 3, 3, nullptr, nullptr, nullptr, 0.0f));
    EXPECT_EQ(16, byteAt(*half8, 1, 1, 0));  // truncated

    const ImageBuffer big = gradientImage(9, 9, 3);
    std::unique_ptr<ImageBuffer> third(drawTransformedBitmap(&big, 3, 3, nullptr, nullptr, nullptr, 0.0f));
    // span [1.23, 4.77]: weights 0.77, 1, 1, 0.77 over indices 1..4 -> 2.5
    EXPECT_NEAR(27.5f, floatAt(*third, 1, 1, 0), 1e-3f);
    EXPECT_EQ(3.0f, third->scale);
}

TEST(TransformedBitmap, StraightenZoomCoversTheFrame) {
    const ImageBuffer flat = testimages::filledFloatImage(8, 4, {50.0f, 60.0f, 70.0f});
    for (float angle : {90.0f, 10.0f, -10.0f, 45.0f, 170.0f, 370.0f}) {
        SCOPED_TRACE(angle);
        std::unique_ptr<ImageBuffer> out(drawTransformedBitmap(&flat, 8, 4, nullptr, nullptr, nullptr, angle));
        EXPECT_TRUE(testimages::floatsWithin(flat, *out, 1e-3f));  // no black corner
    }
    // A landscape turned by 90 degrees zooms by max/min = 2: output (0, 2)
    // reads source column (2 - 2) / 2 + 4 = 4 of a picture whose value is
    // 10 x the column.
    ImageBuffer columns;
    columns.allocateFloat(8, 4, 3);
    for (int32_t i = 0; i < 32; ++i)
        for (int32_t c = 0; c < 3; ++c) columns.floats()[i * 3 + c] = 10.0f * static_cast<float>(i % 8);
    std::unique_ptr<ImageBuffer> turned(drawTransformedBitmap(&columns, 8, 4, nullptr, nullptr, nullptr, 90.0f));
    EXPECT_NEAR(40.0f, floatAt(*turned, 0, 2, 0), 1e-3f);
    EXPECT_NEAR(45.0f, floatAt(*turned, 5, 3, 0), 1e-3f);
}

// -10 degrees zooms as +10 but turns the other way: on a source that varies
// only across its columns, the two pictures are mirror images top to bottom.
TEST(TransformedBitmap, NegativeAngleTurnsTheOtherWay) {
    ImageBuffer src;
    src.allocateFloat(12, 8, 3);
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 12; ++x)
            for (int32_t c = 0; c < 3; ++c) floatAt(src, x, y, c) = 20.0f * static_cast<float>(x);
    std::unique_ptr<ImageBuffer> plus(drawTransformedBitmap(&src, 12, 8, nullptr, nullptr, nullptr, 10.0f));
    std::unique_ptr<ImageBuffer> minus(drawTransformedBitmap(&src, 12, 8, nullptr, nullptr, nullptr, -10.0f));
    for (int32_t y = 1; y < 8; ++y)
        for (int32_t x = 0; x < 12; ++x) EXPECT_NEAR(floatAt(*plus, x, y, 0), floatAt(*minus, x, 8 - y, 0), 1e-2f);
    EXPECT_GT(std::fabs(floatAt(*plus, 0, 1, 0) - floatAt(*minus, 0, 1, 0)), 1.0f);
}

// With 4 channels pixels of alpha 0 stay out of the colour; the alpha is the
// mean over all pixels of the span.
TEST(TransformedBitmap, BoxFilterAndAlpha) {
    ImageBuffer src = testimages::filledFloatImage(4, 4, {0.0f, 0.0f, 0.0f, 0.0f});
    const float opaqueA[4] = {100.0f, 0.0f, 0.0f, 255.0f};
    const float opaqueB[4] = {200.0f, 0.0f, 0.0f, 255.0f};
    const float clearA[4] = {50.0f, 50.0f, 50.0f, 0.0f};
    const float clearB[4] = {60.0f, 60.0f, 60.0f, 0.0f};
    for (int32_t c = 0; c < 4; ++c) {
        floatAt(src, 1, 1, c) = opaqueA[c];
        floatAt(src, 2, 1, c) = opaqueB[c];
        floatAt(src, 1, 2, c) = clearA[c];
        floatAt(src, 2, 2, c) = clearB[c];
    }
    float out[4] = {-1.0f, -1.0f, -1.0f, -1.0f};
    samplePixel(src, out, 2.0f, 2.0f, 2.0f);  // span [1, 3] x [1, 3]
    EXPECT_FLOAT_EQ(150.0f, out[0]);
    EXPECT_FLOAT_EQ(0.0f, out[1]);
    EXPECT_FLOAT_EQ(127.5f, out[3]);

    // All pixels equal, alpha 0 included: that pixel unchanged.
    const ImageBuffer same = testimages::filledFloatImage(4, 4, {30.0f, 40.0f, 50.0f, 0.0f});
    samplePixel(same, out, 2.0f, 2.0f, 2.0f);
    EXPECT_EQ(30.0f, out[0]);
    EXPECT_EQ(0.0f, out[3]);

    // All transparent but not equal: nothing written by the sampler, and a
    // transparent black pixel in the drawing.
    ImageBuffer clear = testimages::makeFloatImage(4, 4, 4);
    for (int32_t i = 0; i < 16; ++i) clear.floats()[i * 4 + 3] = 0.0f;
    float untouched[4] = {7.0f, 7.0f, 7.0f, 7.0f};
    samplePixel(clear, untouched, 2.0f, 2.0f, 2.0f);
    EXPECT_EQ(7.0f, untouched[0]);
    std::unique_ptr<ImageBuffer> drawn(drawTransformedBitmap(&clear, 2, 2, nullptr, nullptr, nullptr, 0.0f));
    for (int32_t c = 0; c < 4; ++c) EXPECT_EQ(0.0f, floatAt(*drawn, 1, 1, c)) << c;
}

class RecordingLoader : public ImageLoaderSaver {
public:
    bool load8(const GrowString& path, ImageBuffer* image, bool applyEmbeddedProfile, GrowString*) override {
        lastPath = path.c_str();
        lastFlag = applyEmbeddedProfile;
        image->allocate8(2, 2, 3);
        return true;
    }
    bool loadFloat(const GrowString&, ImageBuffer*, bool, std::unique_ptr<ImageMetadata>*, GrowString*) override {
        return false;
    }
    bool save8(const GrowString&, const ImageBuffer&, const SaveOptions&, const ImageMetadata*, GrowString*) override {
        return false;
    }
    bool saveFloat(const GrowString&, const ImageBuffer&, const SaveOptions&, const ImageMetadata*,
                   GrowString*) override {
        return false;
    }
    std::string lastPath;
    bool lastFlag = false;
};

TEST(TransformedBitmap, LoadNamedBitmap) {
    ImageLoaderSaver* saved = gImageLoaderSaver;
    gImageLoaderSaver = nullptr;
    ImageBuffer rgb = testimages::filledByteImage(3, 2, {1, 2, 3});
    EXPECT_FALSE(loadNamedBitmap(&rgb, "frame.png", true));
    EXPECT_TRUE(testimages::bytesIdentical(testimages::filledByteImage(3, 2, {255, 0, 0}), rgb));
    ImageBuffer rgba = testimages::filledByteImage(3, 2, {1, 2, 3, 4});
    EXPECT_FALSE(loadNamedBitmap(&rgba, "frame.png", true));
    EXPECT_TRUE(testimages::bytesIdentical(testimages::filledByteImage(3, 2, {255, 0, 0, 255}), rgba));
    ImageBuffer grey = testimages::filledByteImage(3, 2, {9});
    EXPECT_FALSE(loadNamedBitmap(&grey, "frame.png", true));
    EXPECT_EQ(9, grey.bytes()[0]);
    EXPECT_FALSE(loadNamedBitmap(nullptr, "frame.png", true));

    RecordingLoader loader;
    gImageLoaderSaver = &loader;
    ImageBuffer loaded;
    EXPECT_TRUE(loadNamedBitmap(&loaded, ":/img/frame.png", false));
    EXPECT_EQ(":/img/frame.png", loader.lastPath);
    EXPECT_FALSE(loader.lastFlag);
    EXPECT_EQ(2, loaded.width);
    gImageLoaderSaver = saved;
}

// Sources and geometry that leave nothing to draw give a cleared
// destination; thin sources are sampled without reading past their edge.
TEST(TransformedBitmap, NothingToDrawAndThinSources) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const ImageBuffer src = testimages::makeFloatImage(10, 8, 4);
    const ImageBuffer opaqueBlack = testimages::filledFloatImage(6, 5, {0.0f, 0.0f, 0.0f, 255.0f});
    const float emptyCrop[4] = {0.6f, 0.6f, 0.0f, 0.0f};
    const float nanCrop[4] = {nan, 0.0f, 0.0f, 0.0f};
    const int32_t wideInsets[4] = {4, 4, 0, 0};
    struct Case {
        const char* name;
        const float* crop;
        const int32_t* insets;
        float angle;
    } cases[] = {
        {"crop leaves nothing", emptyCrop, nullptr, 0.0f},
        {"NaN crop", nanCrop, nullptr, 0.0f},
        {"insets leave no content", nullptr, wideInsets, 0.0f},
        {"infinite angle", nullptr, nullptr, std::numeric_limits<float>::infinity()},
        {"NaN angle", nullptr, nullptr, nan},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<ImageBuffer> out(drawTransformedBitmap(&src, 6, 5, c.crop, c.insets, nullptr, c.angle));
        EXPECT_TRUE(testimages::floatsIdentical(opaqueBlack, *out));
    }
    ImageBuffer empty;
    std::unique_ptr<ImageBuffer> fromEmpty(drawTransformedBitmap(&empty, 6, 5, nullptr, nullptr, nullptr, 0.0f));
    EXPECT_EQ(6, fromEmpty->width);
    std::unique_ptr<ImageBuffer> fromNull(drawTransformedBitmap8(nullptr, 6, 5, nullptr, nullptr, nullptr, 0.0f));
    EXPECT_EQ(5, fromNull->height);

    // One pixel enlarged: its colour everywhere.
    const ImageBuffer dot = testimages::filledFloatImage(1, 1, {10.0f, 20.0f, 30.0f});
    std::unique_ptr<ImageBuffer> big(drawTransformedBitmap(&dot, 5, 5, nullptr, nullptr, nullptr, 3.0f));
    EXPECT_TRUE(testimages::floatsWithin(testimages::filledFloatImage(5, 5, {10.0f, 20.0f, 30.0f}), *big, 1e-3f));
    const ImageBuffer dot8 = testimages::filledByteImage(1, 1, {10, 20, 30});
    std::unique_ptr<ImageBuffer> big8(drawTransformedBitmap8(&dot8, 5, 5, nullptr, nullptr, nullptr, 0.0f));
    EXPECT_TRUE(testimages::bytesIdentical(testimages::filledByteImage(5, 5, {10, 20, 30}), *big8));
    // One column enlarged: every output column the same.
    const ImageBuffer column = gradientImage(1, 7, 3);
    std::unique_ptr<ImageBuffer> wide(drawTransformedBitmap(&column, 4, 20, nullptr, nullptr, nullptr, 0.0f));
    for (int32_t y = 0; y < 20; ++y)
        for (int32_t x = 1; x < 4; ++x) EXPECT_EQ(floatAt(*wide, 0, y, 0), floatAt(*wide, x, y, 0));
}

TEST(TransformedBitmap, DestinationSetUp) {
    const ImageBuffer src = testimages::makeFloatImage(100, 50, 4);
    // No size: the crop rectangle in whole pixels, 79 - 10 by 49 - 0.
    const float crop[4] = {0.1f, 0.2f, 0.0f, 0.0f};
    std::unique_ptr<ImageBuffer> fromCrop(drawTransformedBitmap(&src, 0, 0, crop, nullptr, nullptr, 0.0f));
    EXPECT_EQ(69, fromCrop->width);
    EXPECT_EQ(49, fromCrop->height);
    EXPECT_EQ(4, fromCrop->channelCount());
    EXPECT_EQ(1.0f, fromCrop->scale);
    // columns 10..80 shortened to 69:49 in height: the left edge stays at 10
    EXPECT_EQ(floatAt(src, 10, 0, 0), floatAt(*fromCrop, 0, 0, 0));

    // A given destination of another size keeps its channel count.
    ImageBuffer dest;
    dest.allocateFloat(3, 3, 3);
    ImageBuffer* same = drawTransformedBitmap(&src, 50, 25, nullptr, nullptr, &dest, 0.0f);
    EXPECT_EQ(&dest, same);
    EXPECT_EQ(50, dest.width);
    EXPECT_EQ(3, dest.channelCount());
    EXPECT_EQ(2.0f, dest.scale);

    // Insets: the picture is placed inside them.
    const int32_t insets[4] = {2, 2, 1, 1};
    std::unique_ptr<ImageBuffer> framed(drawTransformedBitmap(&src, 104, 52, nullptr, insets, nullptr, 0.0f));
    EXPECT_EQ(floatAt(src, 0, 0, 0), floatAt(*framed, 2, 1, 0));
    EXPECT_EQ(floatAt(src, 99, 49, 1), floatAt(*framed, 101, 50, 1));
}

TEST(TransformedBitmap, NearestResizeAndItsInsets) {
    ImageBuffer src = gradientImage(8, 8, 3);
    src.insetLeft = 4;
    src.insetRight = 2;
    src.insetTop = 4;
    src.insetBottom = 2;
    ImageBuffer dest;
    dest.allocateFloat(4, 4, 3);
    copyResizedNearest(dest, src);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 4; ++x) EXPECT_EQ(floatAt(src, 2 * x + 1, 2 * y + 1, 0), floatAt(dest, x, y, 0));
    EXPECT_EQ(2, dest.insetLeft);
    EXPECT_EQ(1, dest.insetRight);
    EXPECT_EQ(2, dest.insetTop);
    EXPECT_EQ(1, dest.insetBottom);
}

}  // namespace
