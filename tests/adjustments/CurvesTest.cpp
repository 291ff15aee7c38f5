#include <gtest/gtest.h>

#include <cmath>

#include "adjustments/Curves.h"
#include "adjustments/ToneTestSupport.h"
#include "support/TestTiles.h"

using namespace tonetest;

TEST(CurvesSetup, Registered) {
    expectRegistered(CurvesMod(Curve(0), 1.0f));
    expectRegistered(ToneCurveMod(Curve(0)));
}

TEST(CurvesSetup, VarsNamesAndTracks) {
    const Curve lift = curveOf("0 .2 1 1");
    CurvesMod curves(lift, 0.5f);
    EXPECT_TRUE(curves.name == "Curves");
    EXPECT_TRUE(curves.displayName == "Luminance Curve");
    expectFloatVar(curves, {0, "Amount", 0.5f, 0.0f, 1.0f, 0.0f, 100.0f, true, 10, nullptr});
    ASSERT_TRUE(curves.var(1)->curveValue());
    EXPECT_TRUE(curves.var(1)->name == "Curve");
    EXPECT_EQ(curves.var(1)->controlCode, kControlDefault);
    EXPECT_EQ(curves.var(1)->curveValue()->curve.points.count, 2);
    EXPECT_EQ(curves.var(1)->curveValue()->curve.points[0].y, 0.2f);
    EXPECT_EQ(curves.animTracks.count, 0);
    EXPECT_TRUE(curves.description == "Adjust luminance using a curve editor.");

    ToneCurveMod tone(Curve(0));
    EXPECT_TRUE(tone.name == "Tone Curve");
    expectFloatVar(tone, {0, "Amount", 1.0f, 0.0f, 1.0f, 0.0f, 100.0f, true, 10, nullptr});
    EXPECT_TRUE(tone.var(1)->curveValue());
    const ChoiceValue* method = tone.var(2)->choiceValue();
    ASSERT_TRUE(method);
    EXPECT_TRUE(tone.var(2)->name == "Method");
    EXPECT_EQ(method->selected, 0);
    ASSERT_EQ(method->optionCount(), 4);
    const char* options[] = {"RGB", "Luminance", "Value", "Lightness"};
    for (int32_t i = 0; i < 4; ++i) EXPECT_TRUE(method->lists[0][i] == options[i]);
    EXPECT_EQ(tone.animTracks.count, 2);
    EXPECT_TRUE(tone.description == "Adjust brightness values using a traditional curve editor.");
}

TEST(Curves, MapsLuminanceAndKeepsRatios) {
    CurvesMod halve(curveOf("0 0 1 .5"), 1.0f);
    const ImageBuffer out = renderedFloat(halve, floatRow(4, {128.0f, 128.0f, 128.0f, 128.0f,  //
                                                              255.0f, 255.0f, 255.0f, 255.0f,  //
                                                              200.0f, 100.0f, 50.0f, 80.0f}));
    // Mid grey about halves; white takes the new luminance 127.5 in every
    // sample; a coloured pixel keeps its ratios, the fourth sample with them.
    for (int k = 0; k < 4; ++k) EXPECT_NEAR(out.floats()[k], 64.0f, 0.01f);
    for (int k = 4; k < 8; ++k) EXPECT_EQ(out.floats()[k], 127.5f);
    EXPECT_NEAR(out.floats()[8] / out.floats()[9], 2.0f, 1e-5f);
    EXPECT_NEAR(out.floats()[11] / out.floats()[10], 80.0f / 50.0f, 1e-5f);
    // A black pixel takes a 255 curve(0) in every sample.
    CurvesMod lift(curveOf("0 .2 1 1"), 0.5f);
    const ImageBuffer black = renderedFloat(lift, floatRow(3, {0.0f, 0.0f, 0.0f}));
    for (int k = 0; k < 3; ++k) EXPECT_FLOAT_EQ(black.floats()[k], 25.5f);
}

TEST(Curves, LeavesTheImageWhereItMust) {
    const ImageBuffer image = tiletest::standardImage(4);
    // Amount 0 with a bent curve, the straight curve at any Amount.
    CurvesMod off(curveOf("0 0 .5 .9 1 1"), 0.0f);
    CurvesMod straight(Curve(0), 0.7f);
    // A curve var of another kind (a hand-edited file) does nothing.
    CurvesMod hostile(curveOf("0 0 .5 .9 1 1"), 1.0f);
    hostile.var(1)->setValue(new FloatValue(0.5f));
    for (ImageMod* tile : std::initializer_list<ImageMod*>{&off, &straight, &hostile}) {
        EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*tile, image)));
        const ImageBuffer bytes = tiletest::bytesOf(image);
        EXPECT_TRUE(tiletest::sameByteImages(bytes, tiletest::render8(*tile, bytes)));
    }
    // Samples no photo holds read the table's ends, never outside it.
    CurvesMod bent(curveOf("0 0 .5 .9 1 1"), 1.0f);
    renderedFloat(bent, hostileRow());
}

TEST(ToneCurve, ForwardsToTheSharedBody) {
    // The prototype (straight curve, Amount 1) changes nothing.
    ToneCurveMod straight(Curve(0));
    tiletest::expectIdentityLeavesImage(straight);
    // "RGB" maps every sample, the fourth included, through the curve.
    ToneCurveMod halve(curveOf("0 0 1 .5"));
    const ImageBuffer out = renderedFloat(halve, floatRow(4, {200.0f, 100.0f, 50.0f, 255.0f}));
    EXPECT_NEAR(out.floats()[0], 100.0f, 0.01f);
    EXPECT_NEAR(out.floats()[3], 127.5f, 0.01f);
    // "Luminance" keeps the ratios instead.
    halve.var(2)->choiceValue()->selected = 1;
    const ImageBuffer luma = renderedFloat(halve, floatRow(4, {200.0f, 100.0f, 50.0f, 255.0f}));
    EXPECT_NEAR(luma.floats()[0] / luma.floats()[1], 2.0f, 1e-5f);
}

TEST(CurvesProperties, HoldForEveryTileAndMethod) {
    CurvesMod off(curveOf("0 0 .5 .9 1 1"), 0.0f);
    tiletest::expectIdentityLeavesImage(off);

    CurvesMod curves(curveOf("0 .1 .4 .7 1 .9"), 0.75f);
    expectTileProperties(curves, Selectors::kIgnored);
    for (int32_t method = 0; method < 4; ++method) {
        SCOPED_TRACE(testing::Message() << "method " << method);
        ToneCurveMod tone(curveOf("0 .1 .4 .7 1 .9"));
        tone.floatAt(0)->value = 0.75f;
        tone.var(2)->choiceValue()->selected = method;
        // Weight 0 is checked for "RGB" only: under the other methods the
        // shared tone-curve body rebuilds every pixel (through luma, HSV or
        // HSL), which moves pixels of weight 0 by rounding.
        expectTileProperties(tone, method == 0 ? Selectors::kHonoured : Selectors::kFullOnly);
    }
}
