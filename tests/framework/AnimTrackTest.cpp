#include <gtest/gtest.h>

#include <limits>

#include "framework/AnimTrack.h"
#include "framework/ImageMod.h"
#include "support/TestTiles.h"

namespace {

GrowArray<GrowString> texts(std::initializer_list<const char*> items) {
    GrowArray<GrowString> list;
    for (const char* item : items) list.append(GrowString(item));
    return list;
}

}  // namespace

TEST(AnimTrack, FrameCountsFollowSinglePrecisionRounding) {
    struct Case {
        float interval;
        float seconds;
        int32_t frames;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {0.05f, 1.6f, 32}, {0.05f, 0.8f, 16}, {0.05f, 1.0f, 19}, {0.05f, 2.0f, 39}, {0.4f, 2.0f, 4}, {0.4f, 1.6f, 4},
        {0.05f, 0.0f, 0},  {0.05f, nan, 0},   {0.0f, 1.0f, std::numeric_limits<int32_t>::max()},
        {0.05f, -1.0f, -19},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(animFrameCount(c.interval, c.seconds), c.frames) << c.interval << " " << c.seconds;
    }
}

TEST(AnimTrack, LoopPosition) {
    struct Case {
        int32_t frame;
        int32_t frames;
        float t;
    };
    const Case cases[] = {
        {0, 32, 0.0f},  {31, 32, 1.0f},  {32, 32, 0.0f}, {63, 32, 1.0f}, {-1, 32, 1.0f},
        {-32, 32, 0.0f}, {5, 1, 0.0f},   {5, 0, 0.0f},   {5, -4, 0.0f},
        {std::numeric_limits<int32_t>::min(), 32, 0.0f},
    };
    for (const Case& c : cases) EXPECT_EQ(animLoopPosition(c.frame, c.frames), c.t) << c.frame << "/" << c.frames;
}

TEST(AnimTrack, NumericTrackInterpolatesItsKeys) {
    AddConstantTile tile;
    tile.addAnimTrack(tile.vars[0], "1.6 .7 1.6", 1.6f);
    ASSERT_EQ(tile.animTracks.count, 1);
    EXPECT_EQ(static_cast<FloatAnimTrack*>(tile.animTracks[0])->frames, 32);
    struct Case {
        int32_t frame;
        float value;
    };
    // The middle key itself is never hit when N is even.
    const Case cases[] = {{0, 1.6f}, {31, 1.6f}, {32, 1.6f}, {15, 0.7290323f}, {16, 0.7290323f}};
    for (const Case& c : cases) {
        tile.applyAnimFrame(c.frame);
        EXPECT_NEAR(tile.floatAt(0)->value, c.value, 1e-6) << c.frame;
    }
}

TEST(AnimTrack, ChoiceTrackStepsThroughTheOptions) {
    AddConstantTile tile;
    GrowArray<GrowString> options = texts({"A", "B", "C"});
    ModVar* method = tile.addVar(ModVar("Method", new ChoiceValue(options, 0)));
    tile.addChoiceAnimTrack(method, options, 1.0f);
    FloatAnimTrack* track = static_cast<FloatAnimTrack*>(tile.animTracks[0]);
    ASSERT_EQ(track->keys.count, 3);
    EXPECT_EQ(track->keys[2], 2.0f);
    track->frames = 20;
    for (int32_t frame = 0; frame < 20; ++frame) {
        tile.applyAnimFrame(frame);
        const int32_t expected = frame <= 9 ? 0 : (frame <= 18 ? 1 : 2);
        EXPECT_EQ(method->choiceValue()->selected, expected) << frame;
    }
}

TEST(AnimTrack, ChoiceTrackKeysOutsideTheOptionsStayInside) {
    AddConstantTile tile;
    ModVar* method = tile.addVar(ModVar("Method", new ChoiceValue(texts({"A", "B"}), 0)));
    for (const char* keys : {"7 7", "-3 -3", "nan nan", "1e30 1e30"}) {
        tile.animTracks.count = 0;
        tile.addAnimTrack(method, keys, 1.0f);
        tile.applyAnimFrame(4);
        const int32_t selected = method->choiceValue()->selected;
        EXPECT_TRUE(selected >= 0 && selected <= 1) << keys << " " << selected;
        EXPECT_FALSE(method->choiceText().isEmpty());
        delete tile.animTracks[0];
    }
    tile.animTracks.count = 0;
}

TEST(AnimTrack, NumericTrackOnOtherKinds) {
    AddConstantTile tile;
    ModVar* hue = tile.addVar(ModVar("Hue", new CurveValue(), kControlHueCurve));
    ModVar* color = tile.addVar(ModVar("Color", new ColorValue(1, 2, 3)));
    ModVar* none = tile.addVar(ModVar("None", nullptr));
    tile.addAnimTrack(hue, "0 360", 1.0f);
    tile.addAnimTrack(color, "5 6", 1.0f);
    tile.addAnimTrack(none, "5 6", 1.0f);
    tile.addAnimTrack(nullptr, "5 6", 1.0f);
    tile.applyAnimFrame(18);
    EXPECT_EQ(hue->curveValue()->curve.hueOffset, 360.0f);  // a hue curve is swept
    EXPECT_EQ(color->colorValue()->red, 1.0f);               // other kinds are left alone
    EXPECT_EQ(none->value, nullptr);
}

TEST(AnimTrack, ShortLoopsHoldTheirFirstKey) {
    AddConstantTile tile;
    tile.addAnimTrack(tile.vars[0], "3 9", 0.05f);  // one frame
    EXPECT_EQ(static_cast<FloatAnimTrack*>(tile.animTracks[0])->frames, 1);
    for (int32_t frame : {0, 1, 7, -5}) {
        tile.applyAnimFrame(frame);
        EXPECT_EQ(tile.floatAt(0)->value, 3.0f) << frame;
    }
    AddConstantTile noKeys(4.0f);
    noKeys.addAnimTrack(noKeys.vars[0], "", 1.0f);
    noKeys.applyAnimFrame(3);
    EXPECT_EQ(noKeys.floatAt(0)->value, 4.0f);
}

TEST(AnimTrack, ColorTrackSweepsTheHue) {
    AddConstantTile tile;
    ModVar* color = tile.addVar(ModVar("Color", new ColorValue()));
    tile.addColorAnimTrack(color, "0 1 .5 1 360 1 .5 1", 1.6f);  // 32 frames
    struct Case {
        int32_t frame;
        float r, g, b;
    };
    const Case cases[] = {{0, 127.5f, 0, 0}, {31, 127.5f, 0, 0}};
    for (const Case& c : cases) {
        tile.applyAnimFrame(c.frame);
        const ColorValue* v = color->colorValue();
        EXPECT_FLOAT_EQ(v->red, c.r) << c.frame;
        EXPECT_FLOAT_EQ(v->green, c.g) << c.frame;
        EXPECT_FLOAT_EQ(v->blue, c.b) << c.frame;
        EXPECT_FLOAT_EQ(v->fourth, 255.0f) << c.frame;
    }
    // Half-way round the circle: cyan.
    ColorAnimTrack* track = static_cast<ColorAnimTrack*>(tile.animTracks[0]);
    track->frames = 3;
    tile.applyAnimFrame(1);
    EXPECT_FLOAT_EQ(color->colorValue()->red, 0.0f);
    EXPECT_FLOAT_EQ(color->colorValue()->green, 127.5f);
    EXPECT_FLOAT_EQ(color->colorValue()->blue, 127.5f);
}

TEST(AnimTrack, ColorTrackReadsAnIncompleteGroupAsZero) {
    AddConstantTile tile;
    ModVar* color = tile.addVar(ModVar("Color", new ColorValue()));
    tile.addColorAnimTrack(color, "0 1 1", 1.0f);
    ColorAnimTrack* track = static_cast<ColorAnimTrack*>(tile.animTracks[0]);
    ASSERT_EQ(track->fourth.count, 1);
    EXPECT_EQ(track->fourth[0], 0.0f);
    tile.applyAnimFrame(0);
    EXPECT_FLOAT_EQ(color->colorValue()->red, 255.0f);
    EXPECT_FLOAT_EQ(color->colorValue()->fourth, 0.0f);

    // A colour track on a float var changes nothing.
    AddConstantTile wrong(3.0f);
    wrong.addColorAnimTrack(wrong.vars[0], "0 1 .5 1", 1.0f);
    wrong.applyAnimFrame(2);
    EXPECT_EQ(wrong.floatAt(0)->value, 3.0f);
}

TEST(AnimTrack, CurveTrackMovesEachPoint) {
    AddConstantTile tile;
    ModVar* curveVar = tile.addVar(ModVar("Curve", new CurveValue()));
    GrowArray<float> seconds;
    for (int32_t i = 0; i < 3; ++i) seconds.append(1.6f);
    tile.addCurveAnimTrack(curveVar, texts({"0 .25 0 .75 0 .25", ".5 .75 .5 .25 .5 .75", "1 .25 1 .5 1 .25"}),
                           seconds);
    tile.applyAnimFrame(0);
    // The two-point curve gained a point in front to match the track.
    const Curve& curve = curveVar->curveValue()->curve;
    ASSERT_EQ(curve.points.count, 3);
    EXPECT_FLOAT_EQ(curve.points[0].y, 0.25f);
    EXPECT_FLOAT_EQ(curve.points[1].x, 0.5f);
    EXPECT_FLOAT_EQ(curve.points[1].y, 0.75f);
    EXPECT_FLOAT_EQ(curve.points[2].y, 0.25f);
    EXPECT_EQ(curve.table.count, Curve::kTableSize);
    EXPECT_FLOAT_EQ(curve.table[0], 0.25f);
    tile.applyAnimFrame(31);
    EXPECT_FLOAT_EQ(curve.points[1].y, 0.75f);
}

TEST(AnimTrack, CurveTrackWithOneKeyPerPointFixesThePoints) {
    AddConstantTile tile;
    ModVar* curveVar = tile.addVar(ModVar("Curve", new CurveValue()));
    GrowArray<float> seconds;
    seconds.append(1.0f);  // the second point has no seconds: it holds its key
    tile.addCurveAnimTrack(curveVar, texts({"0 .3", "1 .6"}), seconds);
    for (int32_t frame : {0, 5, 100, -3}) {
        tile.applyAnimFrame(frame);
        const Curve& curve = curveVar->curveValue()->curve;
        ASSERT_EQ(curve.points.count, 2);
        EXPECT_FLOAT_EQ(curve.points[0].y, 0.3f);
        EXPECT_FLOAT_EQ(curve.points[1].y, 0.6f);
    }
    // A curve track on a colour var changes nothing.
    ModVar* color = tile.addVar(ModVar("Color", new ColorValue(1, 2, 3)));
    tile.addCurveAnimTrack(color, texts({"0 .3"}), seconds);
    tile.applyAnimFrame(1);
    EXPECT_EQ(color->colorValue()->red, 1.0f);
}
