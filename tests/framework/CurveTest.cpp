#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>
#include <limits>

#include "framework/Curve.h"

namespace {

Curve curveFromText(const char* text) {
    Curve curve;
    GrowString input(text);
    curve.setFromString(input);
    return curve;
}

double maxDistanceFromIdentity(const Curve& curve) {
    double worst = 0.0;
    for (int32_t i = 0; i < Curve::kTableSize; ++i) {
        worst = std::max(worst, std::fabs(static_cast<double>(curve.table[i]) - i / 2047.0));
    }
    return worst;
}

void expectPoints(const Curve& curve, std::initializer_list<CurvePoint> expected) {
    ASSERT_EQ(curve.points.count, static_cast<int32_t>(expected.size()));
    int32_t i = 0;
    for (const CurvePoint& p : expected) {
        EXPECT_FLOAT_EQ(curve.points[i].x, p.x) << "point " << i;
        EXPECT_FLOAT_EQ(curve.points[i].y, p.y) << "point " << i;
        ++i;
    }
}

}  // namespace

TEST(Curve, EvenlySpacedDiagonalPointsGiveTheIdentity) {
    // The smoothing moves points on a straight line only along it.
    for (int32_t n : {-3, 0, 1, 2, 3, 7, 50}) {
        Curve curve(n);
        SCOPED_TRACE(n);
        ASSERT_EQ(curve.table.count, Curve::kTableSize);
        EXPECT_LT(maxDistanceFromIdentity(curve), 3e-8);
        EXPECT_EQ(curve.table[0], 0.0f);
        EXPECT_EQ(curve.table[2047], 1.0f);
        EXPECT_EQ(curve.points.count, std::max(n, 0) + 2);
    }
    EXPECT_LT(maxDistanceFromIdentity(curveFromText("0 0 1 1")), 3e-8);
    // Points that are not dyadic fractions may cost the interpolation one
    // more rounding step.
    for (int32_t n : {10, 20}) EXPECT_LT(maxDistanceFromIdentity(Curve(n)), 1.2e-7) << n;
}

TEST(Curve, TwoPointsGiveAStraightLine) {
    Curve curve = curveFromText("0 0.2 1 0.8");
    for (int32_t i = 0; i < Curve::kTableSize; i += 89) {
        EXPECT_NEAR(curve.table[i], 0.2 + 0.6 * i / 2047.0, 1e-6) << i;
    }
    EXPECT_FLOAT_EQ(curve.table[0], 0.2f);
    EXPECT_FLOAT_EQ(curve.table[2047], 0.8f);
}

TEST(Curve, InteriorPointsAreApproximatedByTheSubdividedSpline) {
    // The middle point's limit is (P0 + 4 P1 + P2) / 6 = 2/3; the exact
    // float and double steps of the subdivision give 0.6666665 at x = 0.5.
    Curve curve = curveFromText("0 0 0.5 1 1 0");
    float highest = -1.0f;
    int32_t at = -1;
    for (int32_t i = 0; i < Curve::kTableSize; ++i) {
        if (curve.table[i] > highest) {
            highest = curve.table[i];
            at = i;
        }
    }
    EXPECT_EQ(highest, 0.6666665f);
    EXPECT_EQ(at, 1023);
    EXPECT_EQ(curve.table[0], 0.0f);
    EXPECT_EQ(curve.table[2047], 0.0f);
    // Symmetric about the middle within rounding.
    EXPECT_NEAR(curve.table[400], curve.table[2047 - 400], 1e-6);
}

TEST(Curve, ReadingPointsFromText) {
    struct Case {
        const char* text;
        std::initializer_list<CurvePoint> points;
    };
    const Case cases[] = {
        {"", {{0, 0}, {1, 1}}},
        {"0 0 1 1", {{0, 0}, {1, 1}}},
        {"0.3 0.4 0.7 0.9", {{0, 0.4f}, {1, 0.9f}}},  // end x values are forced
        {"0 0 0.5", {{0, 0}, {1, 1}}},                // a lone trailing number is dropped
        {"0 .5 .5 .3 1 1", {{0, 0.5f}, {0.5f, 0.3f}, {1, 1}}},
        {"0.2 0.7", {{0, 0.7f}, {1, 1}}},             // one point gets (1, 1) after it
        {"  0\t0\n1 1   ", {{0, 0}, {1, 1}}},
        {"0 abc 1 1", {{0, 0}, {1, 1}}},              // no number reads as 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        GrowString text(c.text);
        Curve curve;
        curve.setFromString(text);
        expectPoints(curve, c.points);
        EXPECT_TRUE(text.isEmpty());  // consumed
        EXPECT_EQ(curve.table.count, Curve::kTableSize);
    }
}

TEST(Curve, ReadingTextUsesTheCLocaleWhateverTheProcessLocale) {
    const std::string previous = setlocale(LC_NUMERIC, nullptr);
    setlocale(LC_NUMERIC, "de_DE.UTF-8");
    Curve curve = curveFromText("0 0.25 1 0.75");
    setlocale(LC_NUMERIC, previous.c_str());
    expectPoints(curve, {{0, 0.25f}, {1, 0.75f}});
}

TEST(Curve, PeriodicCurveAveragesItsEnds) {
    GrowArray<CurvePoint> points;
    points.append({0.0f, 0.2f});
    points.append({0.3f, 0.9f});
    points.append({0.7f, 0.1f});
    points.append({1.0f, 0.6f});
    Curve curve;
    curve.setPoints(points);
    curve.setWrap(true);
    EXPECT_FLOAT_EQ(curve.points[0].y, 0.4f);
    EXPECT_FLOAT_EQ(curve.points[3].y, 0.4f);
    // The curve continues across the ends: both ends meet.
    EXPECT_NEAR(curve.table[0], curve.table[2047], 1e-6);
    // A rebuild of the averaged points gives the same table again.
    const GrowArray<float> before = curve.table;
    curve.rebuildTable();
    for (int32_t i = 0; i < Curve::kTableSize; ++i) ASSERT_EQ(curve.table[i], before[i]) << i;

    Curve twoPoints = curveFromText("0 0.2 1 0.6");
    twoPoints.setWrap(true);
    EXPECT_FLOAT_EQ(twoPoints.points[0].y, 0.4f);
    EXPECT_FLOAT_EQ(twoPoints.table[1000], 0.4f);
}

TEST(Curve, InsertPoint) {
    Curve curve;
    curve.insertPoint(1);
    expectPoints(curve, {{0, 0}, {0.5f, 0.5f}, {1, 1}});
    curve.insertPoint(0);  // outside 1 .. count - 1: (0, 0)
    expectPoints(curve, {{0, 0}, {0, 0}, {0.5f, 0.5f}, {1, 1}});
    curve.insertPoint(4);
    expectPoints(curve, {{0, 0}, {0, 0}, {0.5f, 0.5f}, {1, 1}, {0, 0}});
}

TEST(Curve, SetPointGrowsTheListWithZeroPoints) {
    Curve curve;
    curve.setPoint(3, {0.9f, 0.5f});
    expectPoints(curve, {{0, 0}, {1, 1}, {0, 0}, {0.9f, 0.5f}});
    // After a shorter list replaced a longer one, the slots between the end
    // and a point set far out read as (0, 0), not as the old points.
    Curve shrunk = curveFromText("0 0 0.2 0.3 0.4 0.5 0.6 0.7 1 1");
    GrowString two("0 0 1 1");
    shrunk.setFromString(two);
    shrunk.setPoint(4, {1.0f, 0.5f});
    expectPoints(shrunk, {{0, 0}, {1, 1}, {0, 0}, {0, 0}, {1, 0.5f}});
    shrunk.setPoint(-1, {0.5f, 0.5f});  // ignored
    shrunk.setPoint(Curve::kMaxPoints, {0.5f, 0.5f});
    EXPECT_EQ(shrunk.points.count, 5);
}

TEST(Curve, SetPointsForcesEndsAndFillsShortLists) {
    GrowArray<CurvePoint> none;
    Curve curve(3);
    curve.setPoints(none);
    expectPoints(curve, {{0, 0}, {1, 1}});

    GrowArray<CurvePoint> one;
    one.append({0.4f, 0.3f});
    curve.setPoints(one);
    expectPoints(curve, {{0, 0.3f}, {1, 1}});

    // The curve's own points as the source.
    Curve self = curveFromText("0 0.1 0.5 0.5 1 0.9");
    self.setPoints(self.points);
    expectPoints(self, {{0, 0.1f}, {0.5f, 0.5f}, {1, 0.9f}});

    // replacePoints keeps the given ends.
    GrowArray<CurvePoint> loose;
    loose.append({0.3f, 0.4f});
    loose.append({0.7f, 0.9f});
    curve.replacePoints(loose);
    expectPoints(curve, {{0.3f, 0.4f}, {0.7f, 0.9f}});
    EXPECT_FLOAT_EQ(curve.table[0], 0.4f);
    EXPECT_FLOAT_EQ(curve.table[2047], 0.9f);
}

TEST(Curve, PointsTextIsTheFilterFileForm) {
    Curve curve = curveFromText("0 0.139131 1 1");
    EXPECT_STREQ(curve.pointsText().c_str(), "0.000000 0.139131 1.000000 1.000000 ");
}

TEST(Curve, CopiesCarryEverythingAndSurviveSelfAssignment) {
    Curve source = curveFromText("0 0.1 0.5 0.8 1 0.3");
    source.hueOffset = 33.0f;
    source.setWrap(true);
    Curve copy;
    copy = source;
    EXPECT_EQ(copy.wrap, 1);
    EXPECT_EQ(copy.hueOffset, 33.0f);
    ASSERT_EQ(copy.points.count, 3);
    for (int32_t i = 0; i < Curve::kTableSize; ++i) ASSERT_EQ(copy.table[i], source.table[i]);
    Curve& alias = copy;
    copy = alias;
    EXPECT_EQ(copy.points.count, 3);
    EXPECT_EQ(copy.table.count, Curve::kTableSize);
}

TEST(Curve, HostileTextsAreCappedAndNeverIndexOutside) {
    // Hundreds of thousands of points: only the first kMaxPoints are kept,
    // and the subdivision work stays bounded.
    std::string text;
    for (int32_t i = 0; i < 300000; ++i) text += "0.5 0.25 ";
    GrowString huge(text.c_str());
    Curve capped;
    capped.setFromString(huge);
    EXPECT_EQ(capped.points.count, Curve::kMaxPoints);
    EXPECT_EQ(capped.points[Curve::kMaxPoints - 1].x, 1.0f);
    EXPECT_EQ(capped.table.count, Curve::kTableSize);

    // NaN, infinite and unsorted points: the table is built inside its bounds
    // (AddressSanitizer checks the reads).
    const char* hostile[] = {"0 0 nan 0.5 1 1", "0 0 inf -inf 1 1", "0 0 0.9 0.1 0.1 0.9 0.5 0.5 1 1",
                             "nan nan nan nan", "0 0 1e300 1e300 1 1"};
    for (const char* text : hostile) {
        SCOPED_TRACE(text);
        Curve curve = curveFromText(text);
        EXPECT_EQ(curve.table.count, Curve::kTableSize);
    }
    Curve nanEnds;
    nanEnds.points[0].x = std::numeric_limits<float>::quiet_NaN();
    nanEnds.points[1].x = std::numeric_limits<float>::quiet_NaN();
    nanEnds.rebuildTable();
    EXPECT_EQ(nanEnds.table.count, Curve::kTableSize);
}

TEST(Curve, SmoothingRoundsShrinkOnlyForHugeCurves) {
    struct Case {
        int32_t points;
        int32_t rounds;
    };
    const Case cases[] = {{1, 0}, {2, 0}, {3, 11}, {20, 11}, {513, 11}, {514, 10}, {Curve::kMaxPoints, 8}};
    for (const Case& c : cases) EXPECT_EQ(Curve::smoothingRounds(c.points), c.rounds) << c.points;
}
