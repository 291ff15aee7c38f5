#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "adjustments/Curves.h"
#include "adjustments/LightHueTestSupport.h"
#include "adjustments/ShadowsHighlights.h"

using namespace tonetest;
using namespace lighthue;

namespace {

const Curve& embeddedCurve(const ShadowsHighlightsMod& tile) {
    return tile.toneCurve().var(1)->curveValue()->curve;
}

int32_t embeddedMethod(const ShadowsHighlightsMod& tile) {
    return tile.toneCurve().var(2)->choiceValue()->selected;
}

// A Shadows or Highlights tile with the Amount and version given.
std::unique_ptr<ImageMod> toneEnd(bool shadows, float amount, uint32_t version = 2) {
    std::unique_ptr<ImageMod> tile;
    if (shadows) {
        tile.reset(new ShadowsMod(amount));
    } else {
        tile.reset(new HighlightsMod());
        tile->floatAt(0)->value = amount;
    }
    tile->setVersion(version);
    return tile;
}

float maxOf(const float* p) { return std::fmax(p[0], std::fmax(p[1], p[2])); }

}  // namespace

// ---- Set-up --------------------------------------------------------------------

TEST(ShadowsHighlightsSetup, BuildingBlocks) {
    ShadowsMod shadows(0.7f);
    HighlightsMod highlights;
    struct Row {
        ImageMod* tile;
        const char* name;
        float start;
        const char* description;
        int32_t brightenPoints, darkenPoints;
        const Curve* brighten;
        const Curve* darken;
    } rows[] = {
        {&shadows, "Shadows", 0.7f, "Adjust the brightness of only the darker portions of an image.", 7, 7,
         &shadows.brighten, &shadows.darken},
        {&highlights, "Highlights", 1.0f, "Adjust the brightness of only the lighter portions of an image.", 6, 7,
         &highlights.brighten, &highlights.darken},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_TRUE(r.tile->name == r.name);
        EXPECT_TRUE(r.tile->displayName == r.name);
        EXPECT_TRUE(r.tile->description == r.description);
        EXPECT_EQ(r.tile->version, 2u);
        EXPECT_EQ(r.tile->animTracks.count, 1);
        EXPECT_EQ(r.tile->vars.count, 1);
        expectFloatVar(*r.tile, {0, "Amount", r.start, 0.0f, 2.0f, 0.0f, 100.0f, true, 10, nullptr});
        EXPECT_EQ(r.brighten->points.count, r.brightenPoints);
        EXPECT_EQ(r.darken->points.count, r.darkenPoints);
        EXPECT_EQ(r.brighten->table.count, Curve::kTableSize);
        EXPECT_EQ(r.darken->hueOffset, 180.0f);
        // Clone ignores the source: Amount 1, version 2.
        r.tile->setVersion(1);
        std::unique_ptr<ImageMod> copy(r.tile->clone());
        EXPECT_EQ(copy->version, 2u);
        EXPECT_EQ(copy->floatAt(0)->value, 1.0f);
    }
    EXPECT_FLOAT_EQ(shadows.brighten.points[1].x, 0.023913f);
    EXPECT_FLOAT_EQ(highlights.darken.points[5].y, 0.810054f);
}

TEST(ShadowsHighlightsSetup, PanelTile) {
    ShadowsHighlightsMod tile;
    EXPECT_TRUE(tile.name == "Shadows/Highlights");
    EXPECT_TRUE(tile.displayName == "Shadows/Highlights");
    EXPECT_TRUE(tile.description == "Separately adjust the brightness of dark, midtone, and light areas of an image.");
    EXPECT_EQ(tile.amountVar(), nullptr);
    EXPECT_EQ(tile.version, 1u);
    const char* sliders[] = {"Shadows", "Midtones", "Highlights"};
    for (int32_t i = 0; i < 3; ++i)
        expectFloatVar(tile, {i, sliders[i], 0.0f, -1.0f, 1.0f, 0.0f, 100.0f, true, 10, nullptr});
    ASSERT_EQ(tile.vars.count, 4);
    EXPECT_TRUE(tile.var(3)->name == "Method");
    ASSERT_TRUE(tile.var(3)->choiceValue());
    EXPECT_EQ(tile.var(3)->choiceValue()->selected, 2);
    EXPECT_EQ(tile.var(3)->choiceValue()->optionCount(), 4);
    EXPECT_EQ(tile.animTracks.count, 4);
    // The embedded tone curve: the five identity points, its own Amount 1,
    // its own Method still at its start value until the first var change.
    const Curve& curve = embeddedCurve(tile);
    ASSERT_EQ(curve.points.count, 5);
    for (int32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(curve.points[i].x, 0.25f * static_cast<float>(i));
        EXPECT_EQ(curve.points[i].y, 0.25f * static_cast<float>(i));
    }
    EXPECT_EQ(tile.toneCurve().floatAt(0)->value, 1.0f);
    EXPECT_EQ(embeddedMethod(tile), 0);
}

// ---- Shadows/Highlights: the curve from the sliders -------------------------------------

TEST(ShadowsHighlights, SlidersGiveTheWorkedPoints) {
    struct Row {
        float S, M, H;
        CurvePoint p1, p2, p3;
    } rows[] = {
        {0.0f, 0.0f, 0.0f, {0.25f, 0.25f}, {0.5f, 0.5f}, {0.75f, 0.75f}},
        {1.0f, 0.0f, 0.0f, {0.0f, 0.5f}, {0.5f, 0.5f}, {0.75f, 0.75f}},
        {-1.0f, 0.0f, 0.0f, {0.25f, 0.0f}, {0.5f, 0.5f}, {0.75f, 0.75f}},
        {0.0f, 0.0f, 1.0f, {0.25f, 0.25f}, {0.5f, 0.5f}, {0.75f, 1.0f}},
        {0.0f, 0.0f, -1.0f, {0.25f, 0.25f}, {0.5f, 0.5f}, {1.0f, 0.5f}},
        {0.0f, 1.0f, 0.0f, {0.125f, 0.375f}, {0.25f, 0.75f}, {0.625f, 0.875f}},
        {-1.0f, 0.0f, -1.0f, {0.25f, 0.0f}, {0.5f, 0.5f}, {1.0f, 0.5f}},
        {0.5f, -0.5f, 0.5f, {0.15625f, 0.28125f}, {0.625f, 0.375f}, {0.8125f, 0.84375f}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "S " << r.S << " M " << r.M << " H " << r.H);
        ShadowsHighlightsMod tile;
        setFloat(tile, 0, r.S);
        setFloat(tile, 1, r.M);
        setFloat(tile, 2, r.H);
        const Curve& curve = embeddedCurve(tile);
        ASSERT_EQ(curve.points.count, 5);
        const CurvePoint expected[] = {{0.0f, 0.0f}, r.p1, r.p2, r.p3, {1.0f, 1.0f}};
        for (int32_t i = 0; i < 5; ++i) {
            EXPECT_FLOAT_EQ(curve.points[i].x, expected[i].x) << "point " << i;
            EXPECT_FLOAT_EQ(curve.points[i].y, expected[i].y) << "point " << i;
        }
    }
}

TEST(ShadowsHighlights, AnyVarChangeCopiesTheMethod) {
    ShadowsHighlightsMod tile;
    tile.varChanged(0);  // the index is not looked at
    EXPECT_EQ(embeddedMethod(tile), 2);
    tile.var(3)->choiceValue()->selected = 1;
    tile.varChanged(1);
    EXPECT_EQ(embeddedMethod(tile), 1);
    // The points are rederived on a method change, unchanged.
    EXPECT_EQ(embeddedCurve(tile).points[1].x, 0.25f);
}

TEST(ShadowsHighlights, RendersAsTheToneCurveWithTheDerivedCurve) {
    ShadowsHighlightsMod tile;
    setFloat(tile, 0, 1.0f);  // P1 = (0, 0.5)
    ToneCurveMod tone(Curve(0));
    tone.var(1)->curveValue()->curve = curveFrom("0 0 0 .5 .5 .5 .75 .75 1 1");
    setChoice(tone, 2, 2);
    for (int32_t channels : {3, 4}) {
        const ImageBuffer image = tiletest::standardImage(channels);
        EXPECT_TRUE(tiletest::sameFloatImages(tiletest::renderFloat(tone, image), tiletest::renderFloat(tile, image)));
        const ImageBuffer bytes = tiletest::bytesOf(image);
        EXPECT_TRUE(tiletest::sameByteImages(tiletest::render8(tone, bytes), tiletest::render8(tile, bytes)));
    }
    // Shadows raised: a dark pixel brightens, white stays.
    const ImageBuffer out = renderedFloat(tile, floatRow(3, {40.0f, 30.0f, 20.0f, 255.0f, 255.0f, 255.0f}));
    EXPECT_GT(out.floats()[0], 60.0f);
    EXPECT_NEAR(out.floats()[3], 255.0f, 1e-3f);
}

TEST(ShadowsHighlights, SlidersAtZeroStillRunButChangeOnlyByRounding) {
    ShadowsHighlightsMod tile;
    tile.varChanged(3);
    const ImageBuffer image = tiletest::standardImage(4);
    const ImageBuffer out = tiletest::renderFloat(tile, image);
    EXPECT_TRUE(floatsNear(image, out, 2e-3f));
    // The fourth sample is not touched by the "Value" method.
    for (int64_t p = 0; p < image.sampleCount() / 4; ++p) ASSERT_EQ(out.floats()[p * 4 + 3], image.floats()[p * 4 + 3]);
}

TEST(ShadowsHighlights, CopyBringsTheEmbeddedCurve) {
    ShadowsHighlightsMod source;
    setFloat(source, 0, 0.6f);
    setFloat(source, 2, -0.4f);
    setChoice(source, 3, 3);
    std::unique_ptr<ImageMod> copy(source.clone());
    copy->copyFrom(source);
    const auto& c = static_cast<const ShadowsHighlightsMod&>(*copy);
    for (int32_t i = 0; i < 5; ++i) {
        EXPECT_EQ(embeddedCurve(c).points[i].x, embeddedCurve(source).points[i].x);
        EXPECT_EQ(embeddedCurve(c).points[i].y, embeddedCurve(source).points[i].y);
    }
    EXPECT_EQ(embeddedMethod(c), 3);
    // Copying from another kind of tile copies what the base copies.
    ShadowsMod other(1.0f);
    copy->copyFrom(other);
    EXPECT_EQ(embeddedMethod(c), 3);
}

TEST(ShadowsHighlights, Properties) {
    ShadowsHighlightsMod tile;
    setFloat(tile, 0, 0.7f);
    setFloat(tile, 1, -0.3f);
    setFloat(tile, 2, 0.4f);
    for (int32_t method = 0; method < 4; ++method) {
        SCOPED_TRACE(testing::Message() << "method " << method);
        setChoice(tile, 3, method);
        // "Luminance" moves black and white pixels' every sample.
        expectRecomputingTileProperties(tile, 1, method != 1);
    }
}

// ---- Shadows and Highlights: version 2 ------------------------------------------------------

TEST(ShadowsHighlightsBlocks, ValueCurveMovesOnlyItsEndOfTheRange) {
    enum Change { kBrighter, kDarker, kAboutSame };
    struct Row {
        bool shadows;
        float amount;
        float pixel[3];
        Change change;
    } rows[] = {
        {true, 2.0f, {40.0f, 30.0f, 20.0f}, kBrighter},    {true, 0.0f, {60.0f, 30.0f, 20.0f}, kDarker},
        {true, 2.0f, {230.0f, 200.0f, 210.0f}, kAboutSame}, {true, 0.0f, {240.0f, 220.0f, 230.0f}, kAboutSame},
        {false, 2.0f, {200.0f, 180.0f, 190.0f}, kBrighter}, {false, 0.0f, {200.0f, 180.0f, 190.0f}, kDarker},
        {false, 2.0f, {40.0f, 30.0f, 20.0f}, kAboutSame},   {false, 0.0f, {50.0f, 30.0f, 20.0f}, kAboutSame},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << (r.shadows ? "Shadows" : "Highlights") << " " << r.amount << " on "
                                        << r.pixel[0]);
        auto tile = toneEnd(r.shadows, r.amount);
        const ImageBuffer in = floatRow(3, {r.pixel[0], r.pixel[1], r.pixel[2]});
        const ImageBuffer out = renderedFloat(*tile, in);
        const float before = maxOf(in.floats());
        const float after = maxOf(out.floats());
        if (r.change == kBrighter) {
            EXPECT_GT(after, before + 5.0f);
        } else if (r.change == kDarker) {
            EXPECT_LT(after, before - 5.0f);
        } else {
            EXPECT_NEAR(after, before, 1.5f);
        }
        // Hue and saturation are kept.
        EXPECT_NEAR(hueOf(out.floats()), hueOf(in.floats()), 0.05f);
    }
}

TEST(ShadowsHighlightsBlocks, BlackStaysBlackAndGreyStaysGrey) {
    for (bool shadows : {true, false}) {
        for (float amount : {0.0f, 0.5f, 1.7f}) {
            auto tile = toneEnd(shadows, amount);
            const ImageBuffer out = renderedFloat(*tile, floatRow(3, {0.0f, 0.0f, 0.0f, 100.0f, 100.0f, 100.0f}));
            EXPECT_EQ(out.floats()[0], 0.0f);
            EXPECT_EQ(out.floats()[3], out.floats()[4]);
            EXPECT_EQ(out.floats()[4], out.floats()[5]);
            // The 8-bit body truncates.
            const ImageBuffer out8 = tiletest::render8(*tile, byteRow(3, {0, 0, 0, 100, 100, 100}));
            EXPECT_EQ(out8.bytes()[0], 0);
            EXPECT_EQ(out8.bytes()[3], static_cast<uint8_t>(out.floats()[3]));
        }
    }
}

TEST(ShadowsHighlightsBlocks, AmountOfAnotherKindActsAsZero) {
    ShadowsMod hostile(1.0f);
    hostile.var(0)->setValue(new ColorValue(1.0f, 2.0f, 3.0f));
    ShadowsMod zero(0.0f);
    const ImageBuffer image = tiletest::standardImage(3);
    EXPECT_TRUE(tiletest::sameFloatImages(tiletest::renderFloat(zero, image), tiletest::renderFloat(hostile, image)));
}

TEST(ShadowsHighlightsBlocks, FewerThanThreeChannels) {
    // Version 2 reads three samples: one- and two-channel images stay as
    // they are. Version 1 reads the first sample as the luminance.
    for (int32_t channels : {1, 2}) {
        const ImageBuffer image = floatRow(channels, {40.0f, 30.0f, 20.0f, 200.0f});
        auto v2 = toneEnd(true, 2.0f);
        EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*v2, image)));
        const ImageBuffer bytes = byteRow(channels, {40, 30, 20, 200});
        EXPECT_TRUE(tiletest::sameByteImages(bytes, tiletest::render8(*v2, bytes)));
    }
    auto v1 = toneEnd(true, 2.0f, 1);
    EXPECT_GT(renderedFloat(*v1, floatRow(1, {40.0f})).floats()[0], 50.0f);
}

TEST(ShadowsHighlightsBlocks, HostileSamplesStayDefined) {
    for (bool shadows : {true, false}) {
        for (uint32_t version : {1u, 2u}) {
            auto tile = toneEnd(shadows, 1.6f, version);
            renderedFloat(*tile, hostileRow());  // the sanitizers watch the conversions
            EXPECT_TRUE(allFinite(renderedFloat(*tile, floatRow(3, {300.0f, -20.0f, 100.0f, -5.0f, -5.0f, -1.0f}))));
        }
    }
}

TEST(ShadowsHighlightsBlocks, Properties) {
    for (bool shadows : {true, false}) {
        SCOPED_TRACE(shadows ? "Shadows" : "Highlights");
        auto identity = toneEnd(shadows, 1.0f);
        tiletest::expectIdentityLeavesImage(*identity);
        identity->setVersion(1);
        tiletest::expectIdentityLeavesImage(*identity);
        for (float amount : {0.3f, 1.7f}) {
            SCOPED_TRACE(testing::Message() << "Amount " << amount);
            auto tile = toneEnd(shadows, amount);
            expectRecomputingTileProperties(*tile);
            // Version 1: weight 1 equals no selector; weight 0 is the
            // identity on 3 channels (black and white pixels take the new
            // luminance in every sample, so a fourth sample would change).
            auto old = toneEnd(shadows, amount, 1);
            expectTileProperties(*old, Selectors::kFullOnly);
            tiletest::expectSelectorWeightZeroIsIdentity(*old, tiletest::standardImage(3));
        }
    }
}

// ---- Shadows and Highlights: version 1 ----------------------------------------------------

TEST(ShadowsHighlightsBlocks, Version1IsALuminanceCurveThroughTheMovedPoint) {
    struct Row {
        bool shadows;
        float amount;
        const char* points;
    } rows[] = {
        {true, 2.0f, "0 0 0 .25 .5 .5 1 1"},     {true, 0.5f, "0 0 .25 .125 .5 .5 1 1"},
        {false, 2.0f, "0 0 .5 .5 .75 1 1 1"},    {false, 0.5f, "0 0 .5 .5 .875 .75 1 1"},
        {true, 0.0f, "0 0 .25 0 .5 .5 1 1"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.points);
        CurvesMod curves(curveFrom(r.points), 1.0f);
        for (uint32_t version : {1u, 0u, 3u}) {  // every version other than 2
            auto tile = toneEnd(r.shadows, r.amount, version);
            const ImageBuffer image = tiletest::standardImage(4);
            EXPECT_TRUE(
                tiletest::sameFloatImages(tiletest::renderFloat(curves, image), tiletest::renderFloat(*tile, image)));
            const ImageBuffer bytes = tiletest::bytesOf(image);
            EXPECT_TRUE(tiletest::sameByteImages(tiletest::render8(curves, bytes), tiletest::render8(*tile, bytes)));
        }
    }
}
