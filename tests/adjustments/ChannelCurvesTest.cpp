#include <gtest/gtest.h>

#include <memory>

#include "adjustments/ChannelCurves.h"
#include "adjustments/ToneTestSupport.h"
#include "framework/AnimTrack.h"
#include "support/TestTiles.h"

using namespace tonetest;

namespace {

const char* const kLift = "0 .1 .4 .55 1 .95";   // lifts the shadows, pins nothing
const char* const kBend = "0 0 .3 .2 .7 .85 1 1";  // an S with fixed ends

std::unique_ptr<RgbCurvesMod> rgbCurves(const char* red, const char* green, const char* blue, const char* rgb,
                                        float amount) {
    return std::make_unique<RgbCurvesMod>(curveOf(red), curveOf(green), curveOf(blue), curveOf(rgb), amount);
}

std::unique_ptr<ComponentCurveMod> componentCurve(const char* points, int32_t set, float amount) {
    auto tile = std::make_unique<ComponentCurveMod>(curveOf(points));
    tile->floatAt(0)->value = amount;
    tile->var(2)->choiceValue()->selected = set;
    return tile;
}

const char* const kStraight = "0 0 1 1";

}  // namespace

TEST(ChannelCurvesSetup, VarsTracksAndRegistration) {
    RgbCurveMod single(Curve(0), 1.0f);
    RgbCurvesMod separate(Curve(0), Curve(0), Curve(0), Curve(0), 1.0f);
    ComponentCurveMod component{Curve(0)};
    expectRegistered(single);
    expectRegistered(separate);
    expectRegistered(component);

    EXPECT_TRUE(single.name == "RGB Curve");
    EXPECT_TRUE(single.displayName == "RGB Curve");
    expectFloatVar(single, {0, "Amount", 1.0f, 0.0f, 1.0f, 0.0f, 100.0f, true, 10, nullptr});
    EXPECT_TRUE(single.var(1)->name == "Curve");
    EXPECT_EQ(single.animTracks.count, 0);
    EXPECT_TRUE(single.description == "Adjust RGB values together using a curve editor.");

    EXPECT_TRUE(separate.name == "RGB Curves");
    EXPECT_TRUE(separate.displayName == "R,G,B Curves");
    const char* names[] = {"Red", "Green", "Blue", "RGB"};
    for (int32_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(separate.var(i)->name == names[i]);
        EXPECT_TRUE(separate.var(i)->curveValue());
        EXPECT_EQ(separate.var(i)->controlCode, 14);
        EXPECT_EQ(separate.var(i)->shown != 0, i < 3) << i;
    }
    expectFloatVar(separate, {4, "Amount", 1.0f, 0.0f, 1.0f, 0.0f, 100.0f, true, 10, nullptr});
    EXPECT_FALSE(separate.var(4)->shown);
    // One curve track per colour channel, with the periods in double:
    // blue's first point loops over 2.775 s.
    ASSERT_EQ(separate.animTracks.count, 3);
    const auto* blueTrack = dynamic_cast<const CurveAnimTrack*>(separate.animTracks[2]);
    ASSERT_TRUE(blueTrack);
    EXPECT_EQ(blueTrack->var, separate.var(2));
    ASSERT_EQ(blueTrack->frames.count, 3);
    EXPECT_EQ(blueTrack->frames[0], animFrameCount(separate.frameInterval(), static_cast<float>(2.135 + 0.32 * 2)));
    EXPECT_TRUE(separate.description == "Adjust separate curves for red, green, and blue components.");

    EXPECT_TRUE(component.name == "Component Curve");
    expectFloatVar(component, {0, "Amount", 1.0f, 0.0f, 1.0f, 0.0f, 100.0f, true, 10, nullptr});
    const ChoiceValue* sets = component.var(2)->choiceValue();
    ASSERT_TRUE(sets);
    EXPECT_TRUE(component.var(2)->name == "Components");
    ASSERT_EQ(sets->lists.count, 2);
    const char* longNames[] = {"Red", "Green", "Blue", "Red+Green", "Green+Blue", "Blue+Red"};
    const char* shortNames[] = {"R", "G", "B", "RG", "GB", "BR"};
    for (int32_t i = 0; i < 6; ++i) {
        EXPECT_TRUE(sets->lists[0][i] == longNames[i]);
        EXPECT_TRUE(sets->lists[1][i] == shortNames[i]);
    }
    EXPECT_EQ(sets->selected, 0);
    EXPECT_EQ(component.animTracks.count, 2);
    EXPECT_TRUE(component.description ==
                "Adjust a single curve for individual or combined red, green, and blue components.");
}

TEST(ChannelCurves, BlendWorkedValues) {
    // The inverting curve (0, 1)-(1, 0) at strength 1 maps X to 255 - X;
    // at strength 0.5 every sample goes halfway: 127.5.
    RgbCurveMod invert(curveOf("0 1 1 0"), 1.0f);
    const ImageBuffer image = floatRow(4, {0.0f, 64.0f, 200.0f, 255.0f});
    ImageBuffer out = renderedFloat(invert, image);
    const float inverted[] = {255.0f, 191.0f, 55.0f, 0.0f};
    for (int32_t k = 0; k < 4; ++k) EXPECT_NEAR(out.floats()[k], inverted[k], 1e-3f) << k;  // the fourth too
    invert.floatAt(0)->value = 0.5f;
    out = renderedFloat(invert, image);
    for (int32_t k = 0; k < 4; ++k) EXPECT_NEAR(out.floats()[k], 127.5f, 1e-3f) << k;

    // 0 reads the first table entry and 255 the last.
    RgbCurveMod ends(curveOf("0 .2 1 .8"), 1.0f);
    out = renderedFloat(ends, floatRow(3, {0.0f, 255.0f, 0.0f}));
    EXPECT_EQ(out.floats()[0], 255.0f * 0.2f);
    EXPECT_EQ(out.floats()[1], 255.0f * 0.8f);

    // The 8-bit form interpolates between entries as the float form does: a
    // byte of 128 maps near 255 - 128, not to a table end.
    invert.floatAt(0)->value = 1.0f;
    const ImageBuffer out8 = tiletest::render8(invert, byteRow(3, {128, 1, 254}));
    EXPECT_NEAR(out8.bytes()[0], 127, 1);
    EXPECT_NEAR(out8.bytes()[1], 254, 1);
    EXPECT_NEAR(out8.bytes()[2], 1, 1);
}

TEST(ChannelCurves, WhichSamplesChange) {
    const ImageBuffer image = tiletest::standardImage(4);
    // RGB Curve maps the fourth sample too; RGB Curves and Component Curve
    // never touch it.
    RgbCurveMod single(curveOf(kLift), 1.0f);
    auto separate = rgbCurves(kLift, kLift, kLift, kLift, 1.0f);
    auto component = componentCurve(kLift, 3, 1.0f);
    const struct {
        ImageMod* tile;
        bool channels[4];
    } cases[] = {
        {&single, {true, true, true, true}},
        {separate.get(), {true, true, true, false}},
        {component.get(), {true, true, false, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tile->name.c_str());
        const ImageBuffer out = renderedFloat(*c.tile, image);
        for (int32_t k = 0; k < 4; ++k) {
            bool changed = false;
            for (int64_t p = 0; p < image.sampleCount() / 4; ++p) changed |= out.floats()[p * 4 + k] != image.floats()[p * 4 + k];
            EXPECT_EQ(changed, c.channels[k]) << "channel " << k;
        }
    }
}

TEST(ChannelCurves, ComponentSets) {
    // Each "Components" index names its channels; indices past the list
    // name none, and a var of another kind means red.
    const ImageBuffer image = tiletest::standardImage(3);
    const struct {
        int32_t set;
        bool channels[3];
    } cases[] = {
        {0, {true, false, false}}, {1, {false, true, false}}, {2, {false, false, true}}, {3, {true, true, false}},
        {4, {false, true, true}},  {5, {true, false, true}},  {6, {false, false, false}}, {-1, {false, false, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "set " << c.set);
        auto tile = componentCurve(kBend, c.set, 0.8f);
        const ImageBuffer out = renderedFloat(*tile, image);
        const ImageBuffer out8 = tiletest::render8(*tile, tiletest::bytesOf(image));
        const ImageBuffer in8 = tiletest::bytesOf(image);
        for (int32_t k = 0; k < 3; ++k) {
            bool changed = false;
            bool changed8 = false;
            for (int64_t p = 0; p < image.sampleCount() / 3; ++p) {
                changed |= out.floats()[p * 3 + k] != image.floats()[p * 3 + k];
                changed8 |= out8.bytes()[p * 3 + k] != in8.bytes()[p * 3 + k];
            }
            EXPECT_EQ(changed, c.channels[k]) << "channel " << k;
            EXPECT_EQ(changed8, c.channels[k]) << "8-bit channel " << k;
        }
    }
    auto otherKind = componentCurve(kBend, 2, 0.8f);
    otherKind->var(2)->setValue(new FloatValue(2.0f));
    auto red = componentCurve(kBend, 0, 0.8f);
    EXPECT_TRUE(tiletest::sameFloatImages(renderedFloat(*red, image), renderedFloat(*otherKind, image)));
}

TEST(ChannelCurves, RgbCurvesComposesItsPasses) {
    const ImageBuffer image = tiletest::standardImage(3);
    // Only the common curve: the same as RGB Curve on red, green and blue.
    auto common = rgbCurves(kStraight, kStraight, kStraight, kBend, 0.7f);
    RgbCurveMod single(curveOf(kBend), 0.7f);
    EXPECT_TRUE(tiletest::sameFloatImages(renderedFloat(single, image), renderedFloat(*common, image)));
    const ImageBuffer bytes = tiletest::bytesOf(image);
    EXPECT_TRUE(tiletest::sameByteImages(tiletest::render8(single, bytes), tiletest::render8(*common, bytes)));

    // A red curve and the common curve: red through its own curve first,
    // then the common one; green and blue through the common one.
    auto both = rgbCurves(kLift, kStraight, kStraight, kBend, 0.7f);
    auto redOnly = componentCurve(kLift, 0, 0.7f);
    ImageBuffer expected = renderedFloat(*redOnly, image);
    expected = renderedFloat(*common, expected);
    EXPECT_TRUE(tiletest::sameFloatImages(expected, renderedFloat(*both, image)));
    ImageBuffer expected8 = tiletest::render8(*redOnly, bytes);
    expected8 = tiletest::render8(*common, expected8);
    EXPECT_TRUE(tiletest::sameByteImages(expected8, tiletest::render8(*both, bytes)));
    // The other order gives another image: the order matters.
    ImageBuffer reversed = renderedFloat(*common, image);
    reversed = renderedFloat(*redOnly, reversed);
    EXPECT_FALSE(tiletest::sameFloatImages(reversed, renderedFloat(*both, image)));
}

TEST(ChannelCurves, SelectorWeights) {
    const ImageBuffer image = tiletest::standardImage(3);
    const ImageBuffer bytes = tiletest::bytesOf(image);
    // RGB Curves takes the weight alone as its strength: weight 1 applies
    // the curves in full even at Amount 0.3, weight 0.5 as Amount 0.5.
    auto weak = rgbCurves(kLift, kBend, kStraight, kBend, 0.3f);
    auto full = rgbCurves(kLift, kBend, kStraight, kBend, 1.0f);
    auto half = rgbCurves(kLift, kBend, kStraight, kBend, 0.5f);
    WeightSelector one(1.0f);
    WeightSelector fifty(0.5f);
    RenderArgs withOne;
    withOne.selector = &one;
    RenderArgs withHalf;
    withHalf.selector = &fifty;
    EXPECT_TRUE(tiletest::sameFloatImages(renderedFloat(*full, image), renderedFloat(*weak, image, &withOne)));
    EXPECT_TRUE(tiletest::sameFloatImages(renderedFloat(*half, image), renderedFloat(*weak, image, &withHalf)));
    EXPECT_TRUE(tiletest::sameByteImages(tiletest::render8(*half, bytes), tiletest::render8(*weak, bytes, &withHalf)));
    // Component Curve scales its Amount by the weight.
    auto component = componentCurve(kBend, 5, 0.8f);
    auto weaker = componentCurve(kBend, 5, 0.4f);
    EXPECT_TRUE(tiletest::sameFloatImages(renderedFloat(*weaker, image), renderedFloat(*component, image, &withHalf)));
    // RGB Curve ignores it.
    RgbCurveMod single(curveOf(kBend), 0.8f);
    EXPECT_TRUE(tiletest::sameFloatImages(renderedFloat(single, image), renderedFloat(single, image, &withHalf)));
}

TEST(ChannelCurves, StraightCurvesAndHostileInput) {
    // The straight curves change nothing at any Amount: no pass runs.
    RgbCurveMod single(Curve(0), 1.0f);
    RgbCurvesMod separate(Curve(0), Curve(0), Curve(0), Curve(0), 0.6f);
    ComponentCurveMod component{Curve(0)};
    for (ImageMod* tile : std::initializer_list<ImageMod*>{&single, &separate, &component}) {
        SCOPED_TRACE(tile->name.c_str());
        tiletest::expectIdentityLeavesImage(*tile);
    }
    // A curve var of another kind leaves the image alone.
    RgbCurveMod noCurve(curveOf(kBend), 1.0f);
    noCurve.var(1)->setValue(new ColorValue(1.0f, 2.0f, 3.0f));
    auto noCommon = rgbCurves(kBend, kBend, kBend, kBend, 1.0f);
    noCommon->var(3)->setValue(new FloatValue(0.5f));
    auto noComponentCurve = componentCurve(kBend, 3, 1.0f);
    noComponentCurve->var(1)->setValue(new FloatValue(0.5f));
    for (ImageMod* tile : std::initializer_list<ImageMod*>{&noCurve, noCommon.get(), noComponentCurve.get()}) {
        SCOPED_TRACE(tile->name.c_str());
        const ImageBuffer image = tiletest::standardImage(4);
        EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*tile, image)));
        const ImageBuffer bytes = tiletest::bytesOf(image);
        EXPECT_TRUE(tiletest::sameByteImages(bytes, tiletest::render8(*tile, bytes)));
    }
    // Samples no photo holds read the table's ends.
    RgbCurveMod lift(curveOf(kLift), 1.0f);
    const ImageBuffer wild = renderedFloat(lift, hostileRow());
    EXPECT_NEAR(wild.floats()[6], 255.0f * 0.95f, 1e-3f);  // 1e30 reads the last entry
    EXPECT_NEAR(wild.floats()[7], 255.0f * 0.1f, 1e-3f);   // -1e30 the first
    renderedFloat(*rgbCurves(kLift, kBend, kLift, kBend, 1.0f), hostileRow());
    renderedFloat(*componentCurve(kBend, 5, 1.0f), hostileRow());
    // One- and two-channel images: only the samples that exist.
    for (int32_t channels : {1, 2}) {
        const ImageBuffer image = floatRow(channels, {60.0f, 100.0f, 140.0f, 180.0f});
        auto blueRed = componentCurve(kBend, 5, 1.0f);
        auto green = componentCurve(kBend, 1, 1.0f);
        EXPECT_FALSE(tiletest::sameFloatImages(image, renderedFloat(*blueRed, image)));
        EXPECT_EQ(tiletest::sameFloatImages(image, renderedFloat(*green, image)), channels == 1);
        renderedFloat(*rgbCurves(kLift, kBend, kLift, kBend, 1.0f), image);
    }
}

TEST(ChannelCurvesProperties, HoldForEveryTile) {
    RgbCurveMod single(curveOf(kBend), 0.75f);
    expectTileProperties(single, Selectors::kIgnored);
    auto separate = rgbCurves(kLift, kBend, "0 .05 .5 .45 1 1", kBend, 1.0f);
    // The 8-bit form stores a byte between a channel's own curve and the
    // common curve, and the second curve's slope (up to about 1.6 here)
    // widens that truncation: two levels.
    expectTileProperties(*separate, Selectors::kHonoured, 2);
    auto component = componentCurve(kLift, 4, 0.6f);
    expectTileProperties(*component, Selectors::kHonoured);
}
