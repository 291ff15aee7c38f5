// The Hue, HSV and Luminance masks: worked weights, edge cases, hostile
// values, and the properties every tile shares.

#include <gtest/gtest.h>

#include <math.h>

#include <cstdint>
#include <limits>
#include <memory>

#include "effects/masks/HsvMask.h"
#include "effects/masks/HueMask.h"
#include "support/ImageBuilders.h"
#include "support/TileProperties.h"

namespace {

// One pixel of the three samples, as a float and as an 8-bit image.
struct Pixel {
    ImageBuffer floats;
    ImageBuffer bytes;
    Pixel(float r, float g, float b, int32_t channels = 3) {
        floats.allocateFloat(1, 1, channels);
        bytes.allocate8(1, 1, channels);
        const float v[4] = {r, g, b, 255.0f};
        for (int32_t c = 0; c < channels; ++c) {
            floats.floats()[c] = v[c];
            bytes.bytes()[c] = static_cast<uint8_t>(v[c] > 0.0f ? v[c] : 0.0f);
        }
    }
};

float weightOf(const SelectorMod& mask, float r, float g, float b) {
    Pixel p(r, g, b);
    return mask.maskWeight(p.floats, 0, 0, nullptr);
}

void selectBands(HueMask& mask, std::initializer_list<int32_t> bands) {
    MultiChoiceValue* choice = mask.var(0)->multiChoiceValue();
    choice->selection = GrowArray<int32_t>();
    for (int32_t k : bands) choice->selection.append(k);
}

TEST(HueMask, WorkedWeights) {
    HueMask mask;
    EXPECT_STREQ(mask.name.c_str(), "Hue Mask");
    EXPECT_STREQ(mask.displayName.c_str(), "Hue Mask");
    EXPECT_EQ(mask.var(0)->controlCode, 13);
    EXPECT_EQ(mask.bands.count, 7);

    // Red selected at first: pure red weighs 1.
    EXPECT_FLOAT_EQ(1.0f, weightOf(mask, 255, 0, 0));
    // Hue 330 (255, 0, 127.5): t = 0.6 on red's rising side met at -30.
    EXPECT_NEAR(0.68f, weightOf(mask, 255, 0, 127.5f), 1e-5f);
    // Orange alone at pure red: 2 (25/55)^2.
    selectBands(mask, {1});
    EXPECT_NEAR(2.0 * (25.0 / 55.0) * (25.0 / 55.0), weightOf(mask, 255, 0, 0), 1e-5);
    // Red and orange both at hue 0: capped at 1.
    selectBands(mask, {0, 1});
    EXPECT_FLOAT_EQ(1.0f, weightOf(mask, 255, 0, 0));
    // Magenta at hue 290 (flat top; the shifted test at -70 adds nothing).
    selectBands(mask, {6});
    EXPECT_NEAR(1.0f, weightOf(mask, 212.5f, 0, 255), 1e-5f);
    // Value 0.25 and saturation 0.25 each fade by 0.75.
    selectBands(mask, {0});
    EXPECT_NEAR(0.75f, weightOf(mask, 63.75f, 0, 0), 1e-5f);
    EXPECT_NEAR(0.75f, weightOf(mask, 255, 191.25f, 191.25f), 1e-5f);
}

TEST(HueMask, GreyNothingSelectedAndHostileValuesWeighNothing) {
    HueMask mask;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (float v : {0.0f, 128.0f, 255.0f}) EXPECT_EQ(0.0f, weightOf(mask, v, v, v));
    EXPECT_EQ(0.0f, weightOf(mask, nan, 0, 0));
    EXPECT_EQ(0.0f, weightOf(mask, 255, nan, 10));
    // Indices outside the seven bands (a hand-edited file) select nothing.
    selectBands(mask, {-1, 7, 1000});
    EXPECT_EQ(0.0f, weightOf(mask, 255, 0, 0));
    selectBands(mask, {});
    EXPECT_EQ(0.0f, weightOf(mask, 255, 0, 0));
    // Another kind of value in the var.
    mask.var(0)->setValue(new FloatValue(3.0f));
    EXPECT_EQ(0.0f, weightOf(mask, 255, 0, 0));
    // Grey images of one or two channels never read past the pixel.
    HueMask fresh;
    Pixel one(200, 0, 0, 1);
    EXPECT_EQ(0.0f, fresh.maskWeight(one.floats, 0, 0, nullptr));
    EXPECT_EQ(0.0f, fresh.maskWeight8(one.bytes, 0, 0, nullptr));
}

TEST(HueMask, EightBitAndFloatAgreeOnWholeSamples) {
    HueMask mask;
    selectBands(mask, {0, 2, 4, 6});
    const ImageBuffer image = tiletest::standardImage(4);
    const ImageBuffer bytes = tiletest::bytesOf(image);
    const ImageBuffer whole = tiletest::floatsOf(bytes);
    for (int32_t y = 0; y < whole.height; ++y)
        for (int32_t x = 0; x < whole.width; ++x)
            ASSERT_EQ(mask.maskWeight(whole, x, y, nullptr), mask.maskWeight8(bytes, x, y, nullptr)) << x << "," << y;
}

TEST(HsvMask, DefaultCurves) {
    std::unique_ptr<HsvMask> mask(HsvMask::makeDefault());
    EXPECT_STREQ(mask->name.c_str(), "HSV Mask");
    EXPECT_EQ(mask->var(0)->controlCode, 11);
    EXPECT_EQ(mask->var(1)->controlCode, 10);
    EXPECT_EQ(mask->var(2)->controlCode, 9);
    EXPECT_TRUE(mask->var(0)->curveValue()->curve.wrap);
    EXPECT_NEAR(1.0f, weightOf(*mask, 255, 0, 0), 1e-4f);  // x = 0.5 of the hue curve
    // Green falls on the control point of weight 0 at x = 0.83333 (the
    // smoothed table passes near it, not through it).
    EXPECT_LT(weightOf(*mask, 0, 255, 0), 0.2f);
    EXPECT_EQ(0.0f, weightOf(*mask, 128, 128, 128));       // saturation 0
    // A hue offset that is not a number reads the first entry.
    Curve& hue = mask->var(0)->curveValue()->curve;
    hue.hueOffset = std::numeric_limits<float>::quiet_NaN();
    const float first = hue.table[0];
    EXPECT_FLOAT_EQ(first, weightOf(*mask, 255, 0, 0));
}

TEST(LuminanceMask, CurveAndPresets) {
    std::unique_ptr<LuminanceMask> mask(LuminanceMask::makeDefault());
    EXPECT_STREQ(mask->name.c_str(), "Luminance Mask");
    EXPECT_EQ(mask->var(1)->choiceValue()->optionCount(), 10);
    EXPECT_EQ(1.0f, weightOf(*mask, 255, 255, 255));
    EXPECT_EQ(0.0f, weightOf(*mask, 0, 0, 0));
    EXPECT_NEAR(0.5f, weightOf(*mask, 127.5f, 127.5f, 127.5f), 1e-4f);
    EXPECT_EQ(mask->var(0)->curveValue()->curve.table[0],
              weightOf(*mask, std::numeric_limits<float>::quiet_NaN(), 0, 0));
    Pixel two(127.5f, 255.0f, 0.0f, 2);  // the second sample is ignored
    EXPECT_NEAR(0.5f, mask->maskWeight(two.floats, 0, 0, nullptr), 1e-4f);

    // "Midtones II" loads its points and the list returns to "Load Preset...".
    mask->var(1)->choiceValue()->selected = 5;
    mask->varChanged(1);
    EXPECT_EQ(0, mask->var(1)->choiceValue()->selected);
    EXPECT_STREQ(mask->var(0)->curveValue()->curve.pointsText().c_str(),
                 "0.000000 0.000000 0.222200 0.000000 0.444400 1.000000 0.500000 1.000000 0.555500 1.000000 "
                 "0.777700 0.000000 1.000000 0.000000 ");
    // "Load Preset..." and indices outside the list change nothing.
    for (int32_t index : {0, 10, -3}) {
        mask->var(1)->choiceValue()->selected = index;
        mask->varChanged(1);
        EXPECT_EQ(0, mask->var(1)->choiceValue()->selected);
    }
    EXPECT_NEAR(0.0f, weightOf(*mask, 255, 255, 255), 1e-4f);
}

TEST(Masks, SharedTileProperties) {
    HueMask hue;
    selectBands(hue, {0, 3, 5});
    std::unique_ptr<HsvMask> hsv(HsvMask::makeDefault());
    std::unique_ptr<LuminanceMask> luminance(LuminanceMask::makeDefault());
    GrowString points("0 0 .3 1 1 .2");
    luminance->var(0)->curveValue()->curve.setFromString(points);
    for (ImageMod* mask : {static_cast<ImageMod*>(&hue), static_cast<ImageMod*>(hsv.get()),
                           static_cast<ImageMod*>(luminance.get())}) {
        SCOPED_TRACE(mask->name.c_str());
        EXPECT_EQ(mask->kind(), kSelectorMod);
        tiletest::expectCloneCopyFromEquals(*mask);
        tiletest::expectFilterRoundTrip(*mask);
    }
}

}  // namespace
