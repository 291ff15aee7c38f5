#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "adjustments/ChannelMixers.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/ToneTestSupport.h"
#include "foundation/XmlNode.h"
#include "framework/FilterFile.h"

using namespace tonetest;

namespace {

void setFloat(ImageMod& tile, int32_t index, float value) {
    ASSERT_TRUE(tile.floatAt(index));
    tile.floatAt(index)->value = value;
    tile.varChanged(index);
}

void setOutputChannel(ColorMixerMod& mixer, int32_t channel) {
    ASSERT_TRUE(mixer.var(mixer.outputIndex)->choiceValue());
    mixer.var(mixer.outputIndex)->choiceValue()->selected = channel;
    mixer.varChanged(mixer.outputIndex);
}

// The nine matrix entries, row by row.
struct Matrix {
    float m[9];
};

Matrix matrixOf(const ColorMixerMod& mixer) {
    Matrix out;
    for (int32_t k = 0; k < 9; ++k) out.m[k] = mixer.floatAt(mixer.matrixIndex[k])->value;
    return out;
}

void setMatrix(ColorMixerMod& mixer, const Matrix& matrix) {
    for (int32_t k = 0; k < 9; ++k) setFloat(mixer, mixer.matrixIndex[k], matrix.m[k]);
}

// The entries written without telling the tile (as copyFrom does).
void writeMatrix(ColorMixerMod& mixer, const Matrix& matrix) {
    for (int32_t k = 0; k < 9; ++k) mixer.floatAt(mixer.matrixIndex[k])->value = matrix.m[k];
}

void expectSliders(const ColorMixerMod& mixer, float red, float green, float blue) {
    EXPECT_EQ(mixer.floatAt(mixer.redIndex)->value, red);
    EXPECT_EQ(mixer.floatAt(mixer.greenIndex)->value, green);
    EXPECT_EQ(mixer.floatAt(mixer.blueIndex)->value, blue);
}

// The tile written as a filter-file element and read back through the
// reader's path (clone of the prototype, every var set, varChanged after
// each).
std::unique_ptr<ImageMod> reread(const ImageMod& tile) {
    XmlNode parent;
    modToXml(tile, parent);
    GrowArray<ImageMod*> prototypes;
    prototypes.append(tile.clone());
    GrowArray<ImageMod*> compounds;
    uint32_t status = 0;
    std::unique_ptr<ImageMod> read(parent.children.count == 1
                                       ? xmlToMod(parent.children[0], compounds, prototypes, status)
                                       : nullptr);
    for (ImageMod* mod : prototypes) delete mod;
    return read;
}

// The properties of a tile that blends its finished result with each
// input sample by the selector weight, (out - c) w + c: weight 0 gives the
// input back exactly; weight 1 gives the result without a selector up to the
// rounding of that blend (an ulp in float, which can cross a level in the
// 8-bit truncation).
void expectBlendingTileProperties(ImageMod& tile) {
    for (int32_t channels : {3, 4}) {
        SCOPED_TRACE(testing::Message() << channels << " channels");
        const ImageBuffer image = tiletest::standardImage(channels);
        tiletest::expectBandedEqualsWhole(tile, image);
        tiletest::expect8BitWithinLevel(tile, image);
        tiletest::expectSelectorWeightZeroIsIdentity(tile, image);
        WeightSelector one(1.0f);
        RenderArgs args;
        args.selector = &one;
        const ImageBuffer plain = renderedFloat(tile, image);
        const ImageBuffer weighted = renderedFloat(tile, image, &args);
        ASSERT_EQ(plain.sampleCount(), weighted.sampleCount());
        for (int64_t i = 0; i < plain.sampleCount(); ++i)
            ASSERT_NEAR(plain.floats()[i], weighted.floats()[i], 3e-5f) << "sample " << i;
        const ImageBuffer bytes = tiletest::bytesOf(image);
        const ImageBuffer plain8 = tiletest::render8(tile, bytes);
        const ImageBuffer weighted8 = tiletest::render8(tile, bytes, &args);
        for (int64_t i = 0; i < plain8.sampleCount(); ++i)
            ASSERT_LE(std::abs(int(plain8.bytes()[i]) - int(weighted8.bytes()[i])), 1) << "sample " << i;
    }
    tiletest::expectCloneCopyFromEquals(tile);
    tiletest::expectFilterRoundTrip(tile);
}

}  // namespace

// ---- Set-up ---------------------------------------------------------------------

TEST(ChannelMixersSetup, Registered) {
    expectRegistered(GreyscaleChannelMixerMod(30.0f, 59.0f, 11.0f));
    expectRegistered(FilteredBwMod());
    expectRegistered(ColorMixerMod());
}

TEST(ChannelMixersSetup, VarsNamesAndTracks) {
    GreyscaleChannelMixerMod grey(30.0f, 59.0f, 11.0f);
    EXPECT_TRUE(grey.name == "Greyscale Channel Mixer");
    EXPECT_TRUE(grey.displayName == "Greyscale Mixer");
    expectFloatVar(grey, {0, "Red", 30.0f, -200.0f, 200.0f, -200.0f, 200.0f, false, 10, nullptr});
    expectFloatVar(grey, {1, "Green", 59.0f, -200.0f, 200.0f, -200.0f, 200.0f, false, 10, nullptr});
    expectFloatVar(grey, {2, "Blue", 11.0f, -200.0f, 200.0f, -200.0f, 200.0f, false, 10, nullptr});
    EXPECT_EQ(grey.animTracks.count, 0);
    EXPECT_EQ(grey.amountVar(), nullptr);

    FilteredBwMod filtered;
    EXPECT_TRUE(filtered.name == "Filtered B+W");
    EXPECT_TRUE(filtered.tileLabel() == "Filtered\n B+W");
    expectFloatVar(filtered, {0, "Amount", 100.0f, 0.0f, 100.0f, 0.0f, 100.0f, false, 10, nullptr});
    expectFloatVar(filtered, {1, "Hue", 180.0f, 0.0f, 360.0f, 0.0f, 360.0f, false, 10, "Filter Hue"});
    EXPECT_EQ(filtered.animTracks.count, 1);
    EXPECT_TRUE(filtered.description == "Create a greyscale image while filtering for selected hues.");

    ColorMixerMod mixer;
    EXPECT_TRUE(mixer.name == "Color Mixer");
    ASSERT_EQ(mixer.vars.count, 13);
    const char* names[13] = {"Red",  "Green",  "Blue",  "Output Channel", "RedR",   "GreenR", "BlueR",
                             "RedG", "GreenG", "BlueG", "RedB",           "GreenB", "BlueB"};
    for (int32_t i = 0; i < 13; ++i) {
        EXPECT_TRUE(mixer.var(i)->name == names[i]) << i;
        EXPECT_EQ(mixer.var(i)->shown != 0, i < 4) << i;
    }
    const ChoiceValue* output = mixer.var(3)->choiceValue();
    ASSERT_TRUE(output);
    EXPECT_EQ(output->selected, 0);
    ASSERT_EQ(output->optionCount(), 3);
    EXPECT_TRUE(output->lists[0][2] == "Blue");
    expectFloatVar(mixer, {4, "RedR", 100.0f, -200.0f, 200.0f, -200.0f, 200.0f, false, 10, nullptr});
    expectFloatVar(mixer, {11, "GreenB", 0.0f, -200.0f, 200.0f, -200.0f, 200.0f, false, 10, nullptr});
    EXPECT_EQ(mixer.animTracks.count, 3);
}

// ---- Greyscale Mixer ------------------------------------------------------------

TEST(GreyscaleMixer, WeightedSumClampedAndTruncated) {
    const struct {
        float red, green, blue;
        int r, g, b;
        int grey;
    } cases[] = {
        {30.0f, 59.0f, 11.0f, 255, 0, 0, 76},      // 76.5 truncated
        {30.0f, 59.0f, 11.0f, 255, 255, 255, 255},  // 255.00001 clamps
        {-100.0f, 50.0f, 0.0f, 200, 100, 0, 0},    // negative sum
        {200.0f, 0.0f, 0.0f, 200, 0, 0, 255},      // above 255
        {0.0f, 0.0f, 0.0f, 90, 80, 70, 0},         // all weights 0: black
        {0.0f, 0.0f, 100.0f, 10, 20, 30, 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.red << " " << c.green << " " << c.blue);
        GreyscaleChannelMixerMod grey(c.red, c.green, c.blue);
        const ImageBuffer out = tiletest::render8(grey, byteRow(4, {c.r, c.g, c.b, 77}));
        for (int k = 0; k < 3; ++k) EXPECT_EQ(out.bytes()[k], c.grey) << k;
        EXPECT_EQ(out.bytes()[3], 77);  // a fourth sample is never touched
    }
}

TEST(GreyscaleMixer, FloatKeepsFractionAndTurnsNaNBlack) {
    GreyscaleChannelMixerMod grey(30.0f, 59.0f, 11.0f);
    const ImageBuffer out = renderedFloat(grey, floatRow(3, {255.0f, 0.0f, 0.0f, NAN, 10.0f, 10.0f}));
    EXPECT_EQ(out.floats()[0], 255.0f * 0.3f);
    for (int k = 3; k < 6; ++k) EXPECT_EQ(out.floats()[k], 0.0f) << k;
}

TEST(GreyscaleMixer, SelectorBlendsTheFinishedGrey) {
    GreyscaleChannelMixerMod grey(100.0f, 0.0f, 0.0f);
    const struct {
        float weight;
        float expected[3];
    } cases[] = {{0.0f, {200.0f, 40.0f, 10.0f}}, {0.5f, {200.0f, 120.0f, 105.0f}}, {1.0f, {200.0f, 200.0f, 200.0f}}};
    for (const auto& c : cases) {
        WeightSelector selector(c.weight);
        RenderArgs args;
        args.selector = &selector;
        const ImageBuffer out = renderedFloat(grey, floatRow(3, {200.0f, 40.0f, 10.0f}), &args);
        for (int k = 0; k < 3; ++k) EXPECT_EQ(out.floats()[k], c.expected[k]) << c.weight << " " << k;
    }
}

// ---- Filtered B+W ------------------------------------------------------------

TEST(FilteredBw, HueWeights) {
    const struct {
        float hue;
        float red, green, blue;
    } cases[] = {
        {0.0f, 100.0f, 0.0f, 0.0f},          {30.0f, 66.666664f, 33.333332f, 0.0f},
        {60.0f, 50.0f, 50.0f, 0.0f},         {120.0f, 0.0f, 100.0f, 0.0f},
        {180.0f, 0.0f, 50.0f, 50.0f},        {240.0f, 0.0f, 0.0f, 100.0f},
        {300.0f, 50.0f, 0.0f, 50.0f},        {270.0f, 33.333332f, 0.0f, 66.666664f},
        // Hues outside 0..360 wrap by whole turns.
        {360.0f, 100.0f, 0.0f, 0.0f},        {-360.0f, 100.0f, 0.0f, 0.0f},
        {-90.0f, 33.333332f, 0.0f, 66.666664f}, {720.0f + 60.0f, 50.0f, 50.0f, 0.0f},
        // Values no slider gives read as red, never outside the table.
        {NAN, 100.0f, 0.0f, 0.0f},           {INFINITY, 100.0f, 0.0f, 0.0f},
        {-INFINITY, 100.0f, 0.0f, 0.0f},
    };
    for (const auto& c : cases) {
        float w[3];
        FilteredBwMod::hueWeights(c.hue, w);
        EXPECT_NEAR(w[0], c.red, 1e-4f) << c.hue;
        EXPECT_NEAR(w[1], c.green, 1e-4f) << c.hue;
        EXPECT_NEAR(w[2], c.blue, 1e-4f) << c.hue;
    }
    // Huge hues stay inside the colour circle.
    for (float hue : {1.0e30f, -1.0e30f, 3.0e9f, -3.0e9f}) {
        float w[3];
        FilteredBwMod::hueWeights(hue, w);
        EXPECT_NEAR(w[0] + w[1] + w[2], 100.0f, 1e-3f) << hue;
        for (float x : w) EXPECT_TRUE(x >= 0.0f && x <= 100.001f) << hue;
    }
}

TEST(FilteredBw, WorkedPixels) {
    const struct {
        float hue;
        int grey;
    } cases[] = {{0.0f, 200}, {180.0f, 25}, {360.0f, 200}};
    for (const auto& c : cases) {
        FilteredBwMod filtered;
        filtered.floatAt(1)->value = c.hue;
        const ImageBuffer out = tiletest::render8(filtered, byteRow(3, {200, 40, 10}));
        for (int k = 0; k < 3; ++k) EXPECT_EQ(out.bytes()[k], c.grey) << c.hue;
    }
}

TEST(FilteredBw, EqualsSaturationThenMixerByHand) {
    const struct {
        float amount, hue;
        float selectorWeight;  // < 0: none
    } cases[] = {{100.0f, 180.0f, -1.0f}, {40.0f, 30.0f, -1.0f}, {0.0f, 250.0f, -1.0f}, {65.0f, 300.0f, 0.5f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.amount << " " << c.hue << " " << c.selectorWeight);
        FilteredBwMod filtered;
        filtered.floatAt(0)->value = c.amount;
        filtered.floatAt(1)->value = c.hue;
        WeightSelector selector(c.selectorWeight);
        RenderArgs args;
        args.selector = &selector;
        const RenderArgs* context = c.selectorWeight < 0.0f ? nullptr : &args;
        float w[3];
        FilteredBwMod::hueWeights(c.hue, w);
        SaturationMod saturation(2, static_cast<float>(static_cast<double>(c.amount) * 0.01));
        GreyscaleChannelMixerMod mixer(w[0], w[1], w[2]);
        for (int32_t channels : {3, 4}) {
            const ImageBuffer image = tiletest::standardImage(channels);
            ImageBuffer expected = tiletest::copyOf(image);
            saturation.applyFloat(expected, context);
            mixer.applyFloat(expected, context);
            EXPECT_TRUE(tiletest::sameFloatImages(expected, renderedFloat(filtered, image, context)));
            const ImageBuffer bytes = tiletest::bytesOf(image);
            ImageBuffer expected8 = tiletest::copyOf8(bytes);
            saturation.apply8(expected8, context);
            mixer.apply8(expected8, context);
            EXPECT_TRUE(tiletest::sameByteImages(expected8, tiletest::render8(filtered, bytes, context)));
        }
    }
}

TEST(FilteredBw, AmountZeroGivesTheSameGreyForEveryHue) {
    const ImageBuffer image = tiletest::standardImage(3);
    FilteredBwMod first;
    first.floatAt(0)->value = 0.0f;
    first.floatAt(1)->value = 0.0f;
    const ImageBuffer reference = renderedFloat(first, image);
    for (float hue : {45.0f, 180.0f, 299.0f}) {
        FilteredBwMod filtered;
        filtered.floatAt(0)->value = 0.0f;
        filtered.floatAt(1)->value = hue;
        const ImageBuffer out = renderedFloat(filtered, image);
        // Within rounding: the weights of every hue add up to 100.
        for (int64_t i = 0; i < out.sampleCount(); ++i)
            ASSERT_NEAR(out.floats()[i], reference.floats()[i], 2e-4f) << hue << " sample " << i;
    }
}

TEST(ChannelMixers, FewerThanThreeChannelsUnchanged) {
    GreyscaleChannelMixerMod grey(30.0f, 59.0f, 11.0f);
    FilteredBwMod filtered;
    ColorMixerMod mixer;
    setFloat(mixer, mixer.redIndex, 50.0f);
    for (ImageMod* tile : std::initializer_list<ImageMod*>{&grey, &filtered, &mixer}) {
        for (int32_t channels : {1, 2}) {
            SCOPED_TRACE(testing::Message() << tile->name.c_str() << " " << channels);
            const ImageBuffer image = floatRow(channels, {10.0f, 200.0f, 30.0f, 40.0f});
            EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*tile, image)));
            const ImageBuffer bytes = tiletest::bytesOf(image);
            EXPECT_TRUE(tiletest::sameByteImages(bytes, tiletest::render8(*tile, bytes)));
        }
    }
}

// ---- Color Mixer ------------------------------------------------------------------

TEST(ColorMixer, MatrixRows) {
    const struct {
        const char* what;
        Matrix matrix;
        int in[3];
        int out[3];
    } cases[] = {
        {"green into red", {{0, 100, 0, 0, 100, 0, 0, 0, 100}}, {10, 20, 30}, {20, 20, 30}},
        {"row over 100 % saturates", {{100, 100, 0, 0, 100, 0, 0, 0, 100}}, {200, 200, 0}, {255, 200, 0}},
        {"negative clamps at 0", {{100, -100, 0, 0, 100, 0, 0, 0, 100}}, {50, 80, 7}, {0, 80, 7}},
        {"swap red and blue", {{0, 0, 100, 0, 100, 0, 100, 0, 0}}, {1, 2, 3}, {3, 2, 1}},
        {"halves", {{50, 0, 0, 0, 50, 0, 0, 0, 50}}, {255, 101, 3}, {127, 50, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ColorMixerMod mixer;
        setMatrix(mixer, c.matrix);
        const ImageBuffer out = tiletest::render8(mixer, byteRow(4, {c.in[0], c.in[1], c.in[2], 99}));
        for (int k = 0; k < 3; ++k) EXPECT_EQ(out.bytes()[k], c.out[k]) << k;
        EXPECT_EQ(out.bytes()[3], 99);
    }
}

TEST(ColorMixer, IdentityReturnsAtOnceButRoundingNoiseApplies) {
    ColorMixerMod mixer;
    const ImageBuffer hostile = hostileRow();
    EXPECT_TRUE(tiletest::sameFloatImages(hostile, renderedFloat(mixer, hostile)));
    tiletest::expectIdentityLeavesImage(mixer);
    // A matrix a hair off the identity runs: out-of-range samples clamp.
    setFloat(mixer, mixer.matrixIndex[0], 100.00001f);
    const ImageBuffer out = renderedFloat(mixer, floatRow(3, {300.0f, -20.0f, 5.0f, NAN, 1.0f, 2.0f}));
    EXPECT_EQ(out.floats()[0], 255.0f);
    EXPECT_EQ(out.floats()[1], 0.0f);
    EXPECT_EQ(out.floats()[2], 5.0f);
    for (int k = 3; k < 6; ++k) EXPECT_EQ(out.floats()[k], 0.0f) << k;  // NaN input: every sum is NaN
}

TEST(ColorMixer, SlidersFollowTheOutputChannel) {
    ColorMixerMod mixer;
    // Edit the green row through the sliders.
    setOutputChannel(mixer, 1);
    expectSliders(mixer, 0.0f, 100.0f, 0.0f);
    setFloat(mixer, mixer.redIndex, 20.0f);
    setFloat(mixer, mixer.blueIndex, -30.0f);
    const Matrix edited = matrixOf(mixer);
    const float expected[9] = {100, 0, 0, 20, 100, -30, 0, 0, 100};
    for (int k = 0; k < 9; ++k) EXPECT_EQ(edited.m[k], expected[k]) << k;
    // Switching to red and back shows each row and changes no entry.
    setOutputChannel(mixer, 0);
    expectSliders(mixer, 100.0f, 0.0f, 0.0f);
    setOutputChannel(mixer, 2);
    expectSliders(mixer, 0.0f, 0.0f, 100.0f);
    setOutputChannel(mixer, 1);
    expectSliders(mixer, 20.0f, 100.0f, -30.0f);
    const Matrix after = matrixOf(mixer);
    for (int k = 0; k < 9; ++k) EXPECT_EQ(after.m[k], expected[k]) << k;
    // A selection outside the three channels changes nothing.
    setOutputChannel(mixer, 7);
    setFloat(mixer, mixer.redIndex, 55.0f);
    const Matrix untouched = matrixOf(mixer);
    for (int k = 0; k < 9; ++k) EXPECT_EQ(untouched.m[k], expected[k]) << k;
}

TEST(ColorMixer, ReloadKeepsTheRowOfEveryOutputChannel) {
    // A tile stored with "Output Channel" on Green or Blue once came back
    // with that row reset to its start values.
    for (int32_t channel : {0, 1, 2}) {
        SCOPED_TRACE(channel);
        ColorMixerMod mixer;
        writeMatrix(mixer, {{90, 5, 5, 10, 80, 10, 20, 30, 50}});
        setOutputChannel(mixer, channel);
        setFloat(mixer, mixer.greenIndex, 65.0f);  // a slider edit of the selected row
        const Matrix stored = matrixOf(mixer);
        EXPECT_EQ(stored.m[channel * 3 + 1], 65.0f);

        std::unique_ptr<ImageMod> read = reread(mixer);
        ASSERT_TRUE(read);
        ColorMixerMod& back = static_cast<ColorMixerMod&>(*read);
        EXPECT_TRUE(back.equals(mixer));
        EXPECT_EQ(back.var(back.outputIndex)->choiceValue()->selected, channel);
        const Matrix matrix = matrixOf(back);
        for (int k = 0; k < 9; ++k) EXPECT_EQ(matrix.m[k], stored.m[k]) << k;
        expectSliders(back, stored.m[channel * 3], stored.m[channel * 3 + 1], stored.m[channel * 3 + 2]);
        tiletest::expectFilterRoundTrip(mixer);
    }
}

TEST(ColorMixer, PreviewTracksWithOutputOnRed) {
    // Every var is announced after a frame: the slider "Red" writes the red
    // row first, so the RedR track shows no effect while BlueG and GreenB
    // animate.
    ColorMixerMod mixer;
    bool blueMoved = false;
    bool greenMoved = false;
    for (int32_t frame = 0; frame < 80; frame += 7) {
        mixer.applyAnimFrame(frame);
        EXPECT_EQ(mixer.floatAt(mixer.matrixIndex[0])->value, 100.0f) << frame;
        expectSliders(mixer, 100.0f, 0.0f, 0.0f);
        blueMoved = blueMoved || mixer.floatAt(mixer.matrixIndex[5])->value != 0.0f;
        greenMoved = greenMoved || mixer.floatAt(mixer.matrixIndex[7])->value != 30.0f;
    }
    EXPECT_TRUE(blueMoved);
    EXPECT_TRUE(greenMoved);
}

TEST(ColorMixer, VarsOfAnotherKind) {
    // "Output Channel" of another kind reads as Red; a matrix entry of
    // another kind reads as 0, and a write gives it a float again.
    ColorMixerMod mixer;
    mixer.var(mixer.outputIndex)->setValue(new FloatValue(2.0f));
    mixer.var(mixer.matrixIndex[1])->setValue(new ColorValue(1.0f, 2.0f, 3.0f));
    ImageBuffer out = renderedFloat(mixer, floatRow(3, {10.0f, 20.0f, 30.0f}));
    EXPECT_EQ(out.floats()[0], 10.0f);  // GreenR read as 0
    setFloat(mixer, mixer.greenIndex, 40.0f);
    ASSERT_TRUE(mixer.floatAt(mixer.matrixIndex[1]));
    EXPECT_EQ(mixer.floatAt(mixer.matrixIndex[1])->value, 40.0f);
    out = renderedFloat(mixer, floatRow(3, {10.0f, 20.0f, 30.0f}));
    EXPECT_EQ(out.floats()[0], 10.0f + 20.0f * 0.4f);
}

// ---- Properties ------------------------------------------------------------------------

TEST(ChannelMixersProperties, EveryTileAndVersion) {
    for (uint32_t version : {1u, 2u, 0u}) {
        SCOPED_TRACE(testing::Message() << "version " << version);
        GreyscaleChannelMixerMod grey(30.0f, 59.0f, 11.0f);
        GreyscaleChannelMixerMod wild(-40.0f, 150.0f, 25.0f);
        FilteredBwMod filtered;
        filtered.floatAt(0)->value = 70.0f;
        filtered.floatAt(1)->value = 40.0f;
        ColorMixerMod mixer;
        setMatrix(mixer, {{80, 30, -10, 10, 90, 20, 0, 40, 60}});
        setOutputChannel(mixer, 2);
        for (ImageMod* tile : std::initializer_list<ImageMod*>{&grey, &wild, &filtered, &mixer}) {
            SCOPED_TRACE(tile->name.c_str());
            const ImageBuffer image = tiletest::standardImage(4);
            const ImageBuffer before = renderedFloat(*tile, image);
            tile->setVersion(version);
            // One formula: every stored version renders the same.
            EXPECT_TRUE(tiletest::sameFloatImages(before, renderedFloat(*tile, image)));
            expectBlendingTileProperties(*tile);
        }
    }
}
