#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "adjustments/HueCurves.h"
#include "adjustments/LightHueTestSupport.h"
#include "pixels/PixelKit.h"

using namespace tonetest;
using namespace lighthue;

namespace {

enum class Kind { kShift, kBrightness, kSaturation };

const char* kindName(Kind kind) {
    return kind == Kind::kShift ? "Hue Shift" : kind == Kind::kBrightness ? "Hue Brightness" : "Saturation Curve";
}

// A hue tile of the kind with the curve points, Amount and version given.
std::unique_ptr<ImageMod> hueTile(Kind kind, uint32_t version, const char* points, float amount = 1.0f) {
    Curve start = flatHueRegionCurve();
    std::unique_ptr<ImageMod> tile;
    if (kind == Kind::kShift) tile.reset(new HueShiftMod(start));
    if (kind == Kind::kBrightness) tile.reset(new HueBrightnessMod(start));
    if (kind == Kind::kSaturation) tile.reset(new SaturationCurveMod(start));
    tile->setVersion(version);
    setCurvePoints(*tile, 1, points);
    tile->floatAt(0)->value = amount;
    return tile;
}

Curve& regionCurve(ImageMod& tile) { return tile.var(1)->curveValue()->curve; }

// A bump around the circle: highest at x = 0.5, lowest at the ends.
const char* const kBump = "0 .25 .25 .5 .5 .75 .75 .5 1 .25";
// Height 0.5 exactly between x = 0.25 and 0.5 (hue 270 to 360 at offset
// 180), with one point off 0.5 elsewhere.
const char* const kHalfExceptNearOne = "0 .5 .25 .5 .5 .5 .75 .5 .9 .6 1 .5";
// A pixel of hue 315 (x = 0.375 at offset 180).
const float kMagenta315[3] = {255.0f, 0.0f, 191.25f};

}  // namespace

// ---- Set-up ----------------------------------------------------------------------

TEST(HueCurvesSetup, ConstructorsVarsAndTracks) {
    struct Row {
        Kind kind;
        const char* shown;
        uint32_t version;
        const char* description;
        int32_t tracks;
    } rows[] = {
        {Kind::kShift, "Hue Shift", 2, "Shift selected hues using a curve editor.", 3},
        {Kind::kBrightness, "Hue Exposure", 3, "Adjust the brightness of selected hues using a curve editor.", 3},
        {Kind::kSaturation, "Hue Saturation", 3, "Adjust the saturation of selected hues using a curve editor.", 2},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(kindName(r.kind));
        Curve start = flatHueRegionCurve();
        ASSERT_EQ(start.wrap, 0);
        std::unique_ptr<ImageMod> tile;
        if (r.kind == Kind::kShift) tile.reset(new HueShiftMod(start));
        if (r.kind == Kind::kBrightness) tile.reset(new HueBrightnessMod(start));
        if (r.kind == Kind::kSaturation) tile.reset(new SaturationCurveMod(start));
        EXPECT_EQ(start.wrap, 1);  // the caller's curve is changed
        EXPECT_TRUE(tile->name == kindName(r.kind));
        EXPECT_TRUE(tile->displayName == r.shown);
        EXPECT_TRUE(tile->description == r.description);
        EXPECT_EQ(tile->version, r.version);
        EXPECT_EQ(tile->animTracks.count, r.tracks);
        expectFloatVar(*tile, {0, "Amount", 1.0f, 0.0f, 1.0f, 0.0f, 100.0f, true, 10, nullptr});
        ASSERT_EQ(tile->vars.count, 2);
        EXPECT_TRUE(tile->var(1)->name == "Hue Region");
        EXPECT_EQ(tile->var(1)->controlCode, 11);
        const Curve& curve = regionCurve(*tile);
        EXPECT_EQ(curve.wrap, 1);
        EXPECT_EQ(curve.hueOffset, 180.0f);
        ASSERT_EQ(curve.points.count, 5);
        for (const CurvePoint& p : curve.points) EXPECT_EQ(p.y, 0.5f);
        // Clone carries the version over.
        tile->setVersion(1);
        std::unique_ptr<ImageMod> copy(tile->clone());
        EXPECT_EQ(copy->version, 1u);
        EXPECT_EQ(regionCurve(*copy).wrap, 1);
    }
}

TEST(HueCurvesSetup, HueBrightnessNamesFollowTheVersion) {
    Curve start = flatHueRegionCurve();
    HueBrightnessMod tile(start);
    struct Row {
        uint32_t version;
        const char* shown;
    } rows[] = {{2, "Hue Brightness"}, {1, "Hue Brightness"}, {4, "Hue Exposure"},
                {3, "Hue Exposure"},   {0xFFFFFFFFu, "Hue Brightness"}};  // compared signed: -1
    for (const Row& r : rows) {
        tile.setVersion(r.version);
        EXPECT_TRUE(tile.displayName == r.shown) << r.version;
        EXPECT_TRUE(tile.name == "Hue Brightness");
        EXPECT_TRUE(tile.description == "Adjust the brightness of selected hues using a curve editor.");
    }
    tile.setVersion(2);
    std::unique_ptr<ImageMod> copy(tile.clone());
    EXPECT_TRUE(copy->displayName == "Hue Brightness");
}

// ---- What all three share -------------------------------------------------------------

TEST(HueCurves, EarlyExitsLeaveEveryBitAlone) {
    const ImageBuffer hostile = hostileRow();
    const ImageBuffer image = tiletest::standardImage(4);
    for (Kind kind : {Kind::kShift, Kind::kBrightness, Kind::kSaturation}) {
        for (uint32_t version : {1u, 2u, 3u}) {
            SCOPED_TRACE(testing::Message() << kindName(kind) << " version " << version);
            // Flat at 0.5, with five points or two: untouched, NaN included.
            for (const char* flat : {"0 .5 .25 .5 .5 .5 .75 .5 1 .5", "0 .5 1 .5"}) {
                auto tile = hueTile(kind, version, flat);
                EXPECT_TRUE(tiletest::sameFloatImages(hostile, renderedFloat(*tile, hostile)));
            }
            // Amount 0.
            auto off = hueTile(kind, version, kBump, 0.0f);
            tiletest::expectIdentityLeavesImage(*off);
            // A "Hue Region" of another kind (a hand-edited file).
            auto noCurve = hueTile(kind, version, kBump);
            noCurve->var(1)->setValue(new FloatValue(0.5f));
            EXPECT_TRUE(tiletest::sameFloatImages(image, tiletest::renderFloat(*noCurve, image)));
            // One or two channels: every body reads three samples.
            auto tile = hueTile(kind, version, kBump);
            for (int32_t channels : {1, 2}) {
                const ImageBuffer few = floatRow(channels, {40.0f, 30.0f, 200.0f, 10.0f});
                EXPECT_TRUE(tiletest::sameFloatImages(few, renderedFloat(*tile, few)));
                const ImageBuffer few8 = byteRow(channels, {40, 30, 200, 10});
                EXPECT_TRUE(tiletest::sameByteImages(few8, tiletest::render8(*tile, few8)));
            }
            // Moving one point off 0.5 makes the pixels go through the tile.
            auto moved = hueTile(kind, version, "0 .5 .25 .5 .5 .9 .75 .5 1 .5");
            EXPECT_FALSE(tiletest::sameFloatImages(image, tiletest::renderFloat(*moved, image)));
        }
    }
}

TEST(HueCurves, CurveIsReadFromTheHueOffset) {
    // With offset 180 red reads x = 0.5; with offset 0 cyan does: the same
    // height turns both by the same angle.
    auto at180 = hueTile(Kind::kShift, 1, "0 .5 .5 .8 1 .5");
    auto at0 = hueTile(Kind::kShift, 1, "0 .5 .5 .8 1 .5");
    regionCurve(*at0).hueOffset = 0.0f;
    const float red = hueOf(renderedFloat(*at180, floatRow(3, {255.0f, 0.0f, 0.0f})).floats());
    const float cyan = hueOf(renderedFloat(*at0, floatRow(3, {0.0f, 255.0f, 255.0f})).floats());
    EXPECT_GT(red, 50.0f);
    EXPECT_NEAR(red + 180.0f, cyan, 1e-3f);
    // Offsets outside 0..360 (from a file) wrap onto the circle in floating
    // point: 540 and -180 read as 180; huge ones stay finite.
    const ImageBuffer colours = floatRow(3, {255.0f, 0.0f, 0.0f, 0.0f, 255.0f, 255.0f, 30.0f, 180.0f, 90.0f});
    const ImageBuffer expected = renderedFloat(*at180, colours);
    for (float offset : {540.0f, -180.0f, 900.0f}) {
        regionCurve(*at0).hueOffset = offset;
        EXPECT_TRUE(floatsNear(expected, renderedFloat(*at0, colours), 1e-3f)) << offset;
    }
    for (float offset : {1.0e30f, -1.0e30f, -3.0e38f}) {
        regionCurve(*at0).hueOffset = offset;
        EXPECT_TRUE(allFinite(renderedFloat(*at0, colours))) << offset;
    }
}

TEST(HueCurves, HostileSamplesAndAmountsStayDefined) {
    for (Kind kind : {Kind::kShift, Kind::kBrightness, Kind::kSaturation}) {
        for (uint32_t version : {1u, 2u, 3u}) {
            for (float amount : {1.0f, 7.5f, -3.0f}) {
                auto tile = hueTile(kind, version, kBump, amount);
                renderedFloat(*tile, hostileRow());  // the sanitizers watch the conversions
                tiletest::render8(*tile, tiletest::bytesOf(tiletest::standardImage(3)));
            }
        }
    }
    // An Amount above 1 can turn a hue below 0: it wraps to 0..360.
    auto strong = hueTile(Kind::kShift, 1, "0 0 1 0", 2.0f);  // turns by -360
    const ImageBuffer out = renderedFloat(*strong, floatRow(3, {200.0f, 120.0f, 40.0f}));
    EXPECT_TRUE(floatsNear(floatRow(3, {200.0f, 120.0f, 40.0f}), out, 1e-3f));
}

TEST(HueCurves, Properties) {
    struct Row {
        Kind kind;
        uint32_t version;
        bool exactAtWeightZero;  // the neutral parameter writes nothing new
        int32_t levels;
    } rows[] = {
        {Kind::kShift, 2, false, 1},     {Kind::kShift, 1, false, 1},      {Kind::kBrightness, 3, true, 1},
        {Kind::kBrightness, 2, false, 1}, {Kind::kBrightness, 1, true, 1}, {Kind::kSaturation, 3, false, 1},
        {Kind::kSaturation, 2, false, 1}, {Kind::kSaturation, 1, true, 1},
    };
    for (const Row& r : rows) {
        for (float amount : {1.0f, 0.6f}) {
            SCOPED_TRACE(testing::Message() << kindName(r.kind) << " version " << r.version << ", Amount " << amount);
            auto tile = hueTile(r.kind, r.version, kBump, amount);
            if (r.exactAtWeightZero) {
                expectTileProperties(*tile, Selectors::kHonoured, r.levels);
            } else {
                expectRecomputingTileProperties(*tile, r.levels);
            }
        }
    }
}

// ---- Hue Shift ----------------------------------------------------------------------------

TEST(HueShift, TurnsByTheWorkedAngles) {
    struct Row {
        uint32_t version;
        const char* points;
        float amount;
        float turn;
    } rows[] = {
        {2, "0 1 1 1", 1.0f, 180.0f},  {1, "0 1 1 1", 1.0f, 180.0f},  {2, "0 1 1 1", 0.5f, 90.0f},
        {2, "0 .75 1 .75", 1.0f, 45.0f}, {1, "0 .75 1 .75", 1.0f, 90.0f}, {2, "0 0 1 0", 1.0f, -180.0f},
        {1, "0 .25 1 .25", 1.0f, -90.0f},
    };
    const ImageBuffer colours = floatRow(3, {255.0f, 0.0f, 0.0f, 30.0f, 180.0f, 90.0f, 90.0f, 60.0f, 220.0f});
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "version " << r.version << " " << r.points << " at " << r.amount);
        auto tile = hueTile(Kind::kShift, r.version, r.points, r.amount);
        const ImageBuffer out = renderedFloat(*tile, colours);
        for (int p = 0; p < 3; ++p) {
            float h, s, v, h0, s0, v0;
            rgbToHsv(&h, &s, &v, out.floats()[p * 3], out.floats()[p * 3 + 1], out.floats()[p * 3 + 2]);
            rgbToHsv(&h0, &s0, &v0, colours.floats()[p * 3], colours.floats()[p * 3 + 1], colours.floats()[p * 3 + 2]);
            EXPECT_NEAR(std::fmod(h - h0 + 720.0f, 360.0f), std::fmod(r.turn + 360.0f, 360.0f), 2e-3f) << p;
            EXPECT_NEAR(s, s0, 1e-5f);
            EXPECT_NEAR(v, v0, 1e-5f);
        }
    }
    // Pure red turned by 180 degrees is pure cyan.
    auto half = hueTile(Kind::kShift, 2, "0 1 1 1");
    EXPECT_TRUE(floatsNear(floatRow(3, {0.0f, 255.0f, 255.0f}),
                           renderedFloat(*half, floatRow(3, {255.0f, 0.0f, 0.0f})), 1e-3f));
}

TEST(HueShift, HuePastFullCircleWraps) {
    // 350 degrees turned by +20 ends at 10: t = 1/3 in version 2
    // (180 t^2 = 20), y = 200/360 in version 1.
    const ImageBuffer at350 = floatRow(3, {255.0f, 0.0f, 42.5f});
    ASSERT_NEAR(hueOf(at350.floats()), 350.0f, 1e-3f);
    struct Row {
        uint32_t version;
        const char* points;
    } rows[] = {{2, "0 .6666667 1 .6666667"}, {1, "0 .5555556 1 .5555556"}};
    for (const Row& r : rows) {
        auto tile = hueTile(Kind::kShift, r.version, r.points);
        const ImageBuffer out = renderedFloat(*tile, at350);
        EXPECT_NEAR(hueOf(out.floats()), 10.0f, 1e-3f);
        EXPECT_TRUE(floatsNear(floatRow(3, {255.0f, 42.5f, 0.0f}), out, 1e-3f));
    }
}

TEST(HueShift, MatchesTheStandardHsvConversion) {
    // Expected values from Python's colorsys (rgb_to_hsv, the hue moved,
    // hsv_to_rgb), times 255.
    struct Row {
        float in[3];
        float turned20[3];
        float turnedMinus75[3];
    } rows[] = {
        {{200, 120, 40}, {200.0f, 173.3333f, 40.0f}, {200.0f, 40.0f, 160.0f}},
        {{30, 180, 90}, {30.0f, 180.0f, 140.0f}, {157.5f, 180.0f, 30.0f}},
        {{90, 60, 220}, {143.3333f, 60.0f, 220.0f}, {60.0f, 220.0f, 210.0f}},
        {{250, 10, 130}, {250.0f, 10.0f, 50.0f}, {70.0f, 10.0f, 250.0f}},
        {{128, 64, 64}, {128.0f, 85.3333f, 64.0f}, {112.0f, 64.0f, 128.0f}},
        {{12, 34, 56}, {12.0f, 19.3333f, 56.0f}, {12.0f, 56.0f, 23.0f}},
    };
    // Version 1 turns by 360 y - 180 degrees.
    auto plus20 = hueTile(Kind::kShift, 1, "0 .5555556 1 .5555556");
    auto minus75 = hueTile(Kind::kShift, 1, "0 .2916667 1 .2916667");
    for (const Row& r : rows) {
        const ImageBuffer in = floatRow(3, {r.in[0], r.in[1], r.in[2]});
        EXPECT_TRUE(floatsNear(floatRow(3, {r.turned20[0], r.turned20[1], r.turned20[2]}),
                               renderedFloat(*plus20, in), 2e-3f));
        EXPECT_TRUE(floatsNear(floatRow(3, {r.turnedMinus75[0], r.turnedMinus75[1], r.turnedMinus75[2]}),
                               renderedFloat(*minus75, in), 2e-3f));
    }
}

TEST(HueShift, GreysKeepTheirValueAndTheFourthSampleStays) {
    auto tile = hueTile(Kind::kShift, 2, kBump);
    ImageBuffer greys;
    ASSERT_TRUE(greys.allocate8(256, 1, 4));
    for (int i = 0; i < 256; ++i)
        for (int k = 0; k < 4; ++k) greys.bytes()[i * 4 + k] = static_cast<uint8_t>(k == 3 ? 255 - i : i);
    EXPECT_TRUE(tiletest::sameByteImages(greys, tiletest::render8(*tile, greys)));
    const ImageBuffer colour = floatRow(4, {200.0f, 120.0f, 40.0f, 17.0f});
    EXPECT_EQ(renderedFloat(*tile, colour).floats()[3], 17.0f);
}

TEST(HueShift, HeightOneHalfInACurveThatIsNotFlatOnlyRounds) {
    auto tile = hueTile(Kind::kShift, 2, kHalfExceptNearOne);
    const float* table = regionCurve(*tile).table.data;
    ASSERT_EQ(table[767], 0.5f);
    ASSERT_EQ(table[768], 0.5f);
    const ImageBuffer in = floatRow(3, {kMagenta315[0], kMagenta315[1], kMagenta315[2]});
    EXPECT_TRUE(floatsNear(in, renderedFloat(*tile, in), 1e-3f));
}

// ---- Hue Brightness -----------------------------------------------------------------------

TEST(HueBrightness, Version3ExposureByHue) {
    auto up = hueTile(Kind::kBrightness, 3, "0 1 1 1");
    // A pure, full colour gets X = 2 and ends white.
    EXPECT_TRUE(tiletest::sameFloatImages(floatRow(3, {255.0f, 255.0f, 255.0f}),
                                          renderedFloat(*up, floatRow(3, {255.0f, 0.0f, 0.0f}))));
    // S = 0.5 and V = 1 give X = 1.9375.
    ImageBuffer expected = floatRow(4, {255.0f, 127.5f, 127.5f, 40.0f});
    const ImageBuffer in = tiletest::copyOf(expected);
    applyExposureCurve(expected, expected.floats(), 1.9375f);
    EXPECT_TRUE(tiletest::sameFloatImages(expected, renderedFloat(*up, in)));
    // Greys and black are untouched.
    const ImageBuffer greys = floatRow(4, {0.0f, 0.0f, 0.0f, 9.0f, 100.0f, 100.0f, 100.0f, 9.0f});
    EXPECT_TRUE(tiletest::sameFloatImages(greys, renderedFloat(*up, greys)));
    // A curve at 0: X = 0, the full colour ends black.
    auto down = hueTile(Kind::kBrightness, 3, "0 0 1 0");
    EXPECT_TRUE(tiletest::sameFloatImages(floatRow(3, {0.0f, 0.0f, 0.0f}),
                                          renderedFloat(*down, floatRow(3, {255.0f, 0.0f, 0.0f}))));
}

TEST(HueBrightness, HeightOneHalfWritesNothing) {
    // Inside a curve that is not flat: version 2 skips the pixel, version 3
    // gets X = 1, version 1 an offset of 0.
    const ImageBuffer in = floatRow(3, {kMagenta315[0], kMagenta315[1], kMagenta315[2]});
    const ImageBuffer in8 = byteRow(3, {255, 0, 191});
    for (uint32_t version : {1u, 2u, 3u}) {
        auto tile = hueTile(Kind::kBrightness, version, kHalfExceptNearOne);
        EXPECT_TRUE(tiletest::sameFloatImages(in, renderedFloat(*tile, in))) << version;
        EXPECT_TRUE(tiletest::sameByteImages(in8, tiletest::render8(*tile, in8))) << version;
    }
}

TEST(HueBrightness, Version2LightnessByHue) {
    struct Row {
        const char* points;
        float in[3];
        float out[3];
    } rows[] = {
        // Pure red reads the HSL hue 360 like 0 and is rebuilt through
        // sector 6 as sector 0; height 0.25 halves its lightness.
        {"0 .25 1 .25", {255.0f, 0.0f, 0.0f}, {127.5f, 0.0f, 0.0f}},
        {"0 1 1 1", {255.0f, 0.0f, 0.0f}, {255.0f, 255.0f, 255.0f}},
        {"0 0 1 0", {255.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
        // Black and white keep their lightness.
        {"0 1 1 1", {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
        {"0 0 1 0", {255.0f, 255.0f, 255.0f}, {255.0f, 255.0f, 255.0f}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.points << " on " << r.in[0] << " " << r.in[1] << " " << r.in[2]);
        auto tile = hueTile(Kind::kBrightness, 2, r.points);
        const ImageBuffer out = renderedFloat(*tile, floatRow(3, {r.in[0], r.in[1], r.in[2]}));
        EXPECT_TRUE(floatsNear(floatRow(3, {r.out[0], r.out[1], r.out[2]}), out, 1e-3f));
    }
    // Hue and HSL saturation are kept while the lightness moves.
    auto tile = hueTile(Kind::kBrightness, 2, kBump);
    const ImageBuffer in = floatRow(3, {200.0f, 120.0f, 40.0f});
    const ImageBuffer out = renderedFloat(*tile, in);
    float h0, s0, l0, h1, s1, l1;
    rgbToHsl(&h0, &s0, &l0, in.floats()[0], in.floats()[1], in.floats()[2]);
    rgbToHsl(&h1, &s1, &l1, out.floats()[0], out.floats()[1], out.floats()[2]);
    EXPECT_NEAR(h1, h0, 1e-3f);
    EXPECT_NEAR(s1, s0, 1e-4f);
    EXPECT_GT(std::fabs(l1 - l0), 0.01f);
}

TEST(HueBrightness, Version1AddsASignedOffset) {
    auto tile = hueTile(Kind::kBrightness, 1, "0 1 1 1");
    // A saturated mid-value pixel gains 255 per channel, clamped.
    const ImageBuffer out = renderedFloat(*tile, floatRow(4, {127.5f, 0.0f, 0.0f, 12.0f, 90.0f, 90.0f, 90.0f, 12.0f}));
    const float expected[] = {255.0f, 255.0f, 255.0f, 12.0f, 90.0f, 90.0f, 90.0f, 12.0f};  // greys get 0
    for (int k = 0; k < 8; ++k) EXPECT_EQ(out.floats()[k], expected[k]) << k;
    // A version that no body names runs version 1.
    for (uint32_t version : {4u, 0u}) {
        auto other = hueTile(Kind::kBrightness, version, kBump);
        auto first = hueTile(Kind::kBrightness, 1, kBump);
        const ImageBuffer image = tiletest::standardImage(3);
        EXPECT_TRUE(
            tiletest::sameFloatImages(tiletest::renderFloat(*first, image), tiletest::renderFloat(*other, image)));
    }
}

// ---- Saturation Curve -----------------------------------------------------------------------

TEST(SaturationCurve, HeightZeroAndOne) {
    const ImageBuffer in = floatRow(4, {150.0f, 100.0f, 100.0f, 33.0f});
    const float rms = 117.20708f;  // sqrt(0.299 150^2 + 0.587 100^2 + 0.114 100^2)
    const float luma = 0.299f * 150.0f + 0.587f * 100.0f + 0.114f * 100.0f;
    for (uint32_t version : {2u, 3u}) {
        auto grey = hueTile(Kind::kSaturation, version, "0 0 1 0");
        EXPECT_TRUE(floatsNear(floatRow(4, {rms, rms, rms, 33.0f}), renderedFloat(*grey, in), 1e-3f)) << version;
    }
    auto grey1 = hueTile(Kind::kSaturation, 1, "0 0 1 0");
    EXPECT_TRUE(floatsNear(floatRow(4, {luma, luma, luma, luma}), renderedFloat(*grey1, in), 1e-3f));
    // Height 1: k about 10^5 sends channels above L to 255 and below to 0.
    for (uint32_t version : {1u, 2u, 3u}) {
        auto full = hueTile(Kind::kSaturation, version, "0 1 1 1");
        const ImageBuffer out = renderedFloat(*full, floatRow(3, {150.0f, 100.0f, 100.0f}));
        EXPECT_EQ(out.floats()[0], 255.0f) << version;
        EXPECT_EQ(out.floats()[1], 0.0f) << version;
    }
}

TEST(SaturationCurve, HeightThreeQuarters) {
    // Version 2: k about 2; version 3 flattens the height first: k about 1.547.
    struct Row {
        uint32_t version;
        float out[3];
    } rows[] = {{2, {182.79193f, 82.79343f, 82.79343f}}, {3, {167.93451f, 90.58941f, 90.58941f}}};
    for (const Row& r : rows) {
        auto tile = hueTile(Kind::kSaturation, r.version, "0 .75 1 .75");
        const ImageBuffer out = renderedFloat(*tile, floatRow(3, {150.0f, 100.0f, 100.0f}));
        EXPECT_TRUE(floatsNear(floatRow(3, {r.out[0], r.out[1], r.out[2]}), out, 2e-3f)) << r.version;
    }
}

TEST(SaturationCurve, HeightOneHalfMovesSlightlyTowardTheBrightness) {
    // k = 1 - 0.000005: the float result moves a hair; a byte at 255 comes
    // back one level lower (results are truncated). Greys stay grey.
    for (uint32_t version : {2u, 3u}) {
        auto tile = hueTile(Kind::kSaturation, version, kHalfExceptNearOne);
        const ImageBuffer in = floatRow(3, {kMagenta315[0], kMagenta315[1], kMagenta315[2]});
        const ImageBuffer out = renderedFloat(*tile, in);
        EXPECT_LT(out.floats()[0], 255.0f);
        EXPECT_GT(out.floats()[0], 254.99f);
        EXPECT_EQ(tiletest::render8(*tile, byteRow(3, {255, 0, 191})).bytes()[0], 254);
        const ImageBuffer grey = renderedFloat(*tile, floatRow(3, {77.0f, 77.0f, 77.0f}));
        EXPECT_EQ(grey.floats()[0], grey.floats()[1]);
        EXPECT_NEAR(grey.floats()[0], 77.0f, 1e-3f);
    }
}

TEST(SaturationCurve, Version1ChangesTheFourthSample) {
    auto tile = hueTile(Kind::kSaturation, 1, kBump);
    const ImageBuffer out = renderedFloat(*tile, floatRow(4, {200.0f, 120.0f, 40.0f, 250.0f}));
    EXPECT_NE(out.floats()[3], 250.0f);
    auto newer = hueTile(Kind::kSaturation, 3, kBump);
    EXPECT_EQ(renderedFloat(*newer, floatRow(4, {200.0f, 120.0f, 40.0f, 250.0f})).floats()[3], 250.0f);
}
