#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <memory>
#include <string>

#include "adjustments/LabCurves.h"
#include "adjustments/ToneTestSupport.h"
#include "support/ImageBuilders.h"
#include "support/TestTiles.h"

using namespace tonetest;

namespace {

const char* const kStraight = "0 0 1 1";

std::unique_ptr<LabCurvesMod> labCurves(const char* l, const char* a, const char* b, float amount = 1.0f) {
    auto tile = std::make_unique<LabCurvesMod>(curveOf(l), curveOf(a), curveOf(b));
    tile->floatAt(3)->value = amount;
    return tile;
}

// An independent conversion: the CIE L*a*b* formulas for linear RGB with
// the D65 white, entirely in double precision, with the curves read by
// linear interpolation of their tables. A null table leaves its channel.
struct Curves {
    const float* l = nullptr;
    const float* a = nullptr;
    const float* b = nullptr;
};

double tableAt(const float* table, double u) {
    if (u >= 1.0) return table[2047];
    if (u <= 0.0) return table[0];
    const double pos = u * 2047.0;
    const int k = static_cast<int>(pos);
    return (pos - k) * table[k + 1] + (k + 1 - pos) * table[k];
}

double cieF(double t) { return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0; }
double cieFInverse(double t) {
    const double cube = t * t * t;
    return cube > 0.008856 ? cube : (t - 16.0 / 116.0) / 7.787;
}

void referenceLab(const float in[3], const Curves& curves, double out[3]) {
    const double r = in[0] / 255.0, g = in[1] / 255.0, b = in[2] / 255.0;
    const double X = (0.412453 * r + 0.357580 * g + 0.180423 * b) / 0.950456;
    const double Y = 0.212671 * r + 0.715160 * g + 0.072169 * b;
    const double Z = (0.019334 * r + 0.119193 * g + 0.950227 * b) / 1.088754;
    double L = 116.0 * cieF(Y) - 16.0;
    double A = 500.0 * (cieF(X) - cieF(Y));
    double B = 200.0 * (cieF(Y) - cieF(Z));
    if (curves.l) L = 100.0 * tableAt(curves.l, L / 100.0);
    if (curves.a) A = (tableAt(curves.a, A / 128.0 + 0.5) - 0.5) * 128.0;
    if (curves.b) B = (tableAt(curves.b, B / 128.0 + 0.5) - 0.5) * 128.0;
    const double fy = (L + 16.0) / 116.0;
    const double X2 = cieFInverse(fy + A / 500.0) * 0.950456;
    const double Y2 = cieFInverse(fy);
    const double Z2 = cieFInverse(fy - B / 200.0) * 1.088754;
    const double rgb[3] = {3.240479 * X2 - 1.537150 * Y2 - 0.498535 * Z2,
                           -0.969256 * X2 + 1.875992 * Y2 + 0.041556 * Z2,
                           0.055648 * X2 - 0.204043 * Y2 + 1.057311 * Z2};
    for (int k = 0; k < 3; ++k) out[k] = std::min(255.0, std::max(0.0, rgb[k] * 255.0));
}

const float* tableOf(const LabCurvesMod& tile, int32_t index, const char* points) {
    return std::string(points) == kStraight ? nullptr : tile.var(index)->curveValue()->curve.table.data;
}

}  // namespace

TEST(LabCurvesSetup, VarsAndRegistration) {
    LabCurvesMod tile(Curve(0), Curve(0), Curve(0));
    expectRegistered(tile);
    EXPECT_TRUE(tile.name == "Lab Curves");
    EXPECT_TRUE(tile.displayName == "L,a,b Curves");
    const char* names[] = {"L", "a", "b"};
    for (int32_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(tile.var(i)->name == names[i]);
        ASSERT_TRUE(tile.var(i)->curveValue());
        EXPECT_EQ(tile.var(i)->curveValue()->curve.points.count, 2);
        EXPECT_EQ(tile.var(i)->controlCode, 14);
    }
    expectFloatVar(tile, {3, "Amount", 1.0f, 0.0f, 1.0f, 0.0f, 100.0f, true, 10, nullptr});
    EXPECT_EQ(tile.animTracks.count, 0);
    EXPECT_EQ(tile.version, 1u);
    EXPECT_TRUE(tile.description == "Adjust curves in the Lab color space.");
}

TEST(LabCurves, AgreesWithAnIndependentConversion) {
    const struct {
        const char *l, *a, *b;
    } cases[] = {
        {kStraight, kStraight, kStraight},
        {"0 0 .5 .62 1 1", kStraight, kStraight},
        {kStraight, "0 0 .4 .45 .6 .7 1 1", kStraight},
        {kStraight, kStraight, "0 .1 .5 .4 1 .9"},
        {"0 .05 .3 .25 .7 .8 1 1", "0 0 .5 .5 1 1", "0 0 .45 .55 1 1"},
    };
    // The standard image, its first row replaced by dark colours that take
    // the linear segment of the conversion in one channel or more.
    ImageBuffer image = tiletest::standardImage(4);
    const float dark[][3] = {{2.0f, 0.0f, 0.0f}, {0.0f, 1.5f, 0.0f}, {0.0f, 0.0f, 2.5f}, {1.0f, 1.0f, 1.0f},
                             {3.0f, 0.5f, 2.0f}, {0.0f, 3.0f, 200.0f}, {180.0f, 0.2f, 0.0f}, {2.2f, 2.0f, 0.1f}};
    for (int32_t x = 0; x < 8 && x < image.width; ++x) {
        for (int32_t k = 0; k < 3; ++k) image.floats()[x * 4 + k] = dark[x][k];
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.l << " / " << c.a << " / " << c.b);
        auto tile = labCurves(c.l, c.a, c.b);
        const Curves curves{tableOf(*tile, 0, c.l), tableOf(*tile, 1, c.a), tableOf(*tile, 2, c.b)};
        const ImageBuffer out = renderedFloat(*tile, image);
        double worst = 0.0;
        for (int64_t p = 0; p < image.sampleCount() / 4; ++p) {
            const float* in = image.floats() + p * 4;
            double expected[3];
            referenceLab(in, curves, expected);
            for (int32_t k = 0; k < 3; ++k) worst = std::max(worst, std::fabs(expected[k] - out.floats()[p * 4 + k]));
            EXPECT_EQ(out.floats()[p * 4 + 3], in[3]);  // the fourth sample stays
        }
        EXPECT_LT(worst, 0.002);
    }
}

TEST(LabCurves, WorkedValues) {
    // Straight curves still convert and clamp: the image comes back within a
    // small fraction of a level, and the 8-bit form within one level.
    auto identity = labCurves(kStraight, kStraight, kStraight);
    const ImageBuffer image = tiletest::standardImage(3);
    EXPECT_TRUE(testimages::floatsWithin(image, renderedFloat(*identity, image), 0.01f));
    const ImageBuffer bytes = tiletest::bytesOf(image);
    const ImageBuffer out8 = tiletest::render8(*identity, bytes);
    for (int64_t i = 0; i < bytes.sampleCount(); ++i) EXPECT_NEAR(out8.bytes()[i], bytes.bytes()[i], 1) << i;

    // An active a curve limits a* to -64..+64 even as a diagonal: pure red
    // (a* about 80) loses some of its red.
    auto clipA = labCurves(kStraight, "0 0 .5 .5 1 1", kStraight);
    const float red[3] = {255.0f, 0.0f, 0.0f};
    const ImageBuffer clipped = renderedFloat(*clipA, floatRow(3, {255.0f, 0.0f, 0.0f}));
    double expected[3];
    referenceLab(red, Curves{nullptr, clipA->var(1)->curveValue()->curve.table.data, nullptr}, expected);
    EXPECT_LT(clipped.floats()[0], 250.0f);
    EXPECT_NEAR(clipped.floats()[0], expected[0], 0.02);

    // Greys have a* and b* of about 0: raising the a curve's middle tints
    // them toward magenta-red, lowering it toward green.
    const ImageBuffer grey = floatRow(3, {128.0f, 128.0f, 128.0f});
    const ImageBuffer warmer = renderedFloat(*labCurves(kStraight, "0 0 .5 .6 1 1", kStraight), grey);
    EXPECT_GT(warmer.floats()[0], warmer.floats()[1] + 10.0f);
    EXPECT_GT(warmer.floats()[2], warmer.floats()[1]);
    const ImageBuffer greener = renderedFloat(*labCurves(kStraight, "0 0 .5 .4 1 1", kStraight), grey);
    EXPECT_GT(greener.floats()[1], greener.floats()[0] + 10.0f);
}

TEST(LabCurves, AmountOnlySwitches) {
    const ImageBuffer image = tiletest::standardImage(4);
    auto off = labCurves("0 0 .5 .62 1 1", "0 0 .5 .6 1 1", kStraight, 0.0f);
    tiletest::expectIdentityLeavesImage(*off);
    auto faint = labCurves("0 0 .5 .62 1 1", "0 0 .5 .6 1 1", kStraight, 0.01f);
    auto full = labCurves("0 0 .5 .62 1 1", "0 0 .5 .6 1 1", kStraight, 1.0f);
    EXPECT_TRUE(tiletest::sameFloatImages(renderedFloat(*full, image), renderedFloat(*faint, image)));
}

TEST(LabCurves, HostileInput) {
    // Fewer than three channels, or a curve var of another kind: unchanged.
    auto tile = labCurves("0 0 .5 .62 1 1", "0 0 .5 .6 1 1", "0 0 .5 .4 1 1");
    for (int32_t channels : {1, 2}) {
        const ImageBuffer image = floatRow(channels, {60.0f, 100.0f, 140.0f, 180.0f});
        EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*tile, image)));
        const ImageBuffer bytes = tiletest::bytesOf(image);
        EXPECT_TRUE(tiletest::sameByteImages(bytes, tiletest::render8(*tile, bytes)));
    }
    for (int32_t index : {0, 1, 2}) {
        auto hostile = labCurves(kStraight, kStraight, kStraight);
        hostile->var(index)->setValue(new ColorValue(1.0f, 2.0f, 3.0f));
        const ImageBuffer image = tiletest::standardImage(3);
        EXPECT_TRUE(tiletest::sameFloatImages(image, renderedFloat(*hostile, image)));
    }
    // Samples no photo holds come out inside 0..255; the a and b positions
    // of extreme colours stay inside the tables.
    const ImageBuffer wild = renderedFloat(*tile, hostileRow());
    EXPECT_TRUE(allFinite(wild));
    for (int64_t i = 0; i < wild.sampleCount(); ++i) {
        EXPECT_GE(wild.floats()[i], 0.0f);
        EXPECT_LE(wild.floats()[i], 255.0f);
    }
}

TEST(LabCurvesProperties, Hold) {
    auto tile = labCurves("0 .05 .3 .25 .7 .8 1 1", "0 0 .5 .55 1 1", "0 0 .45 .55 1 1");
    expectTileProperties(*tile, Selectors::kIgnored);
    auto identity = labCurves(kStraight, kStraight, kStraight);
    expectTileProperties(*identity, Selectors::kIgnored);
}
