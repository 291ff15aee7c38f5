// A window of a transformed drawing equals the same part of the whole
// drawing, sample for sample, for resizes, crops, angles and one-to-one.

#include <gtest/gtest.h>

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
