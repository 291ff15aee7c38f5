// A window of a transformed drawing equals the same part of the whole
// drawing, sample for sample, for resizes, crops, angles and one-to-one.

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "render/TransformedBitmap.h"
#include "support/ImageBuilders.h"

using namespace testimages;

TEST(DrawWindow, EqualsTheSamePartOfTheWholeDrawing) {
    const ImageBuffer source = makeFloatImage(301, 203, 3, 5);
    const float crop[4] = {0.1f, 0.05f, 0.2f, 0.0f};
    struct Case {
        int32_t width, height;
        const float* crop;
        float angle;
        DrawWindow window;
    };
    const Case cases[] = {
        {120, 81, nullptr, 0.0f, {10, 7, 50, 40}},      // reduced (box average)
        {602, 406, nullptr, 0.0f, {550, 0, 52, 406}},   // enlarged (bilinear), right edge
        {301, 203, nullptr, 0.0f, {0, 150, 301, 53}},   // one to one
        {400, 250, crop, 3.5f, {0, 0, 400, 250}},       // the whole drawing as a window
        {400, 250, crop, -12.0f, {123, 45, 200, 100}},  // crop and straighten
    };
    for (const Case& c : cases) {
        ImageBuffer whole;
        drawTransformedBitmap(&source, c.width, c.height, c.crop, nullptr, &whole, c.angle);
        // A reused buffer holding an older picture: every sample is drawn anew.
        ImageBuffer part;
        part.allocateFloat(c.window.width, c.window.height, 3);
        for (int64_t i = 0; i < part.sampleCount(); ++i) part.floats()[i] = 999.0f;
        drawTransformedBitmapWindow(&source, c.width, c.height, c.crop, nullptr, &part, c.angle, c.window);
        ASSERT_EQ(part.width, c.window.width);
        ASSERT_EQ(part.height, c.window.height);
        EXPECT_EQ(part.scale, whole.scale);
        int32_t differing = 0;
        for (int32_t y = 0; y < part.height; ++y)
            for (int32_t x = 0; x < part.width; ++x)
                for (int32_t ch = 0; ch < 3; ++ch)
                    if (floatAt(part, x, y, ch) != floatAt(whole, x + c.window.originX, y + c.window.originY, ch))
                        ++differing;
        EXPECT_EQ(differing, 0) << c.width << " x " << c.height << " window at " << c.window.originX << ", "
                                << c.window.originY;
    }
    // No size: nothing drawn, the destination untouched.
    ImageBuffer untouched;
    EXPECT_EQ(drawTransformedBitmapWindow(&source, 0, 10, nullptr, nullptr, &untouched, 0.0f, {0, 0, 5, 5}),
              &untouched);
    EXPECT_EQ(untouched.data, nullptr);
}

// A reduction of a three-channel picture without a turn sums each box from
// spans worked out once per row and column; the four-channel drawing of
// the same colours with alpha 255 still averages pixel by pixel, and its
// colours must be the same floats. Flat areas, NaN, infinities and values
// outside 0..255 go through both; sizes down to 1 x 1 and sources one
// pixel wide.
TEST(DrawWindow, ReductionsOfThreeChannelsEqualTheBoxAverageOfEachPixel) {
    struct Case {
        int32_t sourceWidth, sourceHeight;
        int32_t width, height;
        bool crop;
        bool insets;
        DrawWindow window;  // width 0: the whole drawing
    };
    const Case cases[] = {
        {301, 203, 120, 81, false, false, {}},         // about 2.5 : 1
        {301, 203, 37, 19, true, false, {}},           // a crop, about 7 : 1 (the widened box)
        {301, 203, 1, 1, false, false, {}},            // everything into one pixel
        {301, 203, 3, 2, false, true, {}},             // insets around a tiny picture
        {1, 90, 1, 7, false, false, {}},               // a source one pixel wide
        {97, 1, 5, 1, false, false, {}},               // and one pixel high
        {600, 400, 250, 166, false, false, {33, 21, 101, 67}},  // a window
    };
    const float crop[4] = {0.1f, 0.05f, 0.2f, 0.0f};
    const int32_t insets[4] = {1, 0, 0, 1};
    for (const Case& c : cases) {
        ImageBuffer rgb = makeFloatImage(c.sourceWidth, c.sourceHeight, 3, 11);
        // A flat block, hostile samples and out-of-range values.
        for (int32_t y = 0; y < c.sourceHeight && y < 40; ++y)
            for (int32_t x = 0; x < c.sourceWidth && x < 40; ++x)
                for (int32_t ch = 0; ch < 3; ++ch) floatAt(rgb, x, y, ch) = 77.0f;
        if (c.sourceWidth * c.sourceHeight > 200) {
            floatAt(rgb, c.sourceWidth / 2, c.sourceHeight / 2, 0) = std::numeric_limits<float>::quiet_NaN();
            floatAt(rgb, c.sourceWidth / 3, c.sourceHeight / 3, 1) = std::numeric_limits<float>::infinity();
            floatAt(rgb, c.sourceWidth - 1, c.sourceHeight - 1, 2) = -500.0f;
            floatAt(rgb, 0, c.sourceHeight - 1, 2) = 1e6f;
        }
        ImageBuffer rgba;
        rgba.allocateFloat(c.sourceWidth, c.sourceHeight, 4);
        for (int32_t y = 0; y < c.sourceHeight; ++y)
            for (int32_t x = 0; x < c.sourceWidth; ++x) {
                for (int32_t ch = 0; ch < 3; ++ch) floatAt(rgba, x, y, ch) = floatAt(rgb, x, y, ch);
                floatAt(rgba, x, y, 3) = 255.0f;
            }
        const float* cropOf = c.crop ? crop : nullptr;
        const int32_t* insetsOf = c.insets ? insets : nullptr;
        ImageBuffer three, four;
        if (c.window.width > 0) {
            drawTransformedBitmapWindow(&rgb, c.width, c.height, cropOf, insetsOf, &three, 0.0f, c.window);
            four.channels = 4;
            drawTransformedBitmapWindow(&rgba, c.width, c.height, cropOf, insetsOf, &four, 0.0f, c.window);
        } else {
            drawTransformedBitmap(&rgb, c.width, c.height, cropOf, insetsOf, &three, 0.0f);
            four.channels = 4;
            drawTransformedBitmap(&rgba, c.width, c.height, cropOf, insetsOf, &four, 0.0f);
        }
        ASSERT_EQ(three.width, four.width);
        ASSERT_EQ(three.height, four.height);
        ASSERT_GT(three.width, 0);
        int32_t differing = 0;
        for (int32_t y = 0; y < three.height; ++y)
            for (int32_t x = 0; x < three.width; ++x)
                for (int32_t ch = 0; ch < 3; ++ch) {
                    const float a = floatAt(three, x, y, ch);
                    const float b = floatAt(four, x, y, ch);
                    if (std::memcmp(&a, &b, sizeof a) != 0) ++differing;
                }
        EXPECT_EQ(differing, 0) << c.sourceWidth << " x " << c.sourceHeight << " to " << c.width << " x "
                                << c.height;
    }
}
