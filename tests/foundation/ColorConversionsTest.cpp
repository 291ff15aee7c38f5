#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "foundation/ColorConversions.h"

namespace {
struct Rgb {
    float r, g, b;
};

void expectRgb(const float got[3], Rgb want, float tolerance) {
    EXPECT_NEAR(got[0], want.r, tolerance);
    EXPECT_NEAR(got[1], want.g, tolerance);
    EXPECT_NEAR(got[2], want.b, tolerance);
}
}  // namespace

TEST(RgbHue, EdgeColours) {
    const struct {
        Rgb in;
        float hue;
    } cases[] = {
        {{255, 0, 0}, 0.0f},        {{255, 0, 255}, 300.0f},  // red's formula wraps below 0
        {{255, 255, 0}, 60.0f},     // red wins the tie with green
        {{0, 255, 255}, 180.0f},    // green wins the tie with blue
        {{128, 128, 128}, 0.0f},    {{0, 0, 255}, 240.0f},
        {{255, 0, 1}, 359.76471f},  // just below a full turn, never 360
    };
    for (const auto& c : cases) EXPECT_NEAR(rgbHue(c.in.r, c.in.g, c.in.b), c.hue, 1e-3f) << c.hue;
}

// The single-precision steps (inv = 1/d, the 180-offset term) are kept
// exactly: the textbook formula differs from them by an ulp or two here.
TEST(RgbHue, KeepsTheStoredSinglePrecisionSteps) {
    EXPECT_EQ(rgbHue(0, 21, 5), 134.285706f);
    EXPECT_EQ(rgbHue(0, 49, 40), 168.979599f);
}

TEST(RgbHue, AgreesWithTheSixSectorFormulaEverywhere) {
    for (int r = 0; r <= 255; r += 15) {
        for (int g = 0; g <= 255; g += 15) {
            for (int b = 0; b <= 255; b += 15) {
                const double mx = std::max({r, g, b}), d = mx - std::min({r, g, b});
                double want = 0.0;
                if (d > 0) {
                    if (r == mx) want = 60.0 * (g - b) / d;
                    else if (g == mx) want = 120.0 + 60.0 * (b - r) / d;
                    else want = 240.0 + 60.0 * (r - g) / d;
                    if (want < 0) want += 360.0;
                }
                EXPECT_NEAR(rgbHue(r, g, b), want, 2e-3) << r << "," << g << "," << b;
            }
        }
    }
}

TEST(RgbToHsv, BlackWhiteAndAColour) {
    const struct {
        Rgb in;
        float h, s, v;
    } cases[] = {{{0, 0, 0}, 0, 0, 0}, {{255, 255, 255}, 0, 0, 1}, {{51, 102, 204}, 220, 0.75f, 0.8f}};
    for (const auto& c : cases) {
        float h = -1, s = -1, v = -1;
        rgbToHsv(&h, &s, &v, c.in.r, c.in.g, c.in.b);
        EXPECT_NEAR(h, c.h, 1e-3f);
        EXPECT_NEAR(s, c.s, 1e-6f);
        EXPECT_NEAR(v, c.v, 1e-6f);
    }
}

TEST(SetRgbHue, AnyNumberOfTurnsGivesTheSameColour) {
    const struct {
        float hue;
        Rgb want;
    } cases[] = {
        {120.0f, {0, 255, 0}},  {-240.0f, {0, 255, 0}}, {480.0f, {0, 255, 0}}, {360.0f, {255, 0, 0}},
        {-360.0f, {255, 0, 0}}, {-1e-6f, {255, 0, 0}},  {60.0f, {255, 255, 0}}, {300.0f, {255, 0, 255}},
        {3780.0f, {0, 255, 255}}, {-36180.0f, {0, 255, 255}},
    };
    for (const auto& c : cases) {
        float rgb[3] = {255, 0, 0};
        setRgbHue(rgb, c.hue);
        SCOPED_TRACE(c.hue);
        expectRgb(rgb, c.want, 1e-3f);
    }
}

TEST(SetRgbSaturation, EdgeColours) {
    float red[3] = {255, 0, 0};
    setRgbSaturation(red, 0.0f);
    expectRgb(red, {255, 255, 255}, 0.0f);
    float grey[3] = {100, 100, 100};
    setRgbSaturation(grey, 0.5f);  // a grey has hue 0: it turns toward red
    expectRgb(grey, {100, 50, 50}, 1e-4f);
    float greyHue[3] = {90, 90, 90};
    setRgbHue(greyHue, 200.0f);  // a grey stays grey
    expectRgb(greyHue, {90, 90, 90}, 1e-3f);
}

TEST(ColourFunctions, HsvRoundTripKeepsEveryColour) {
    // Catches a wrong sector table or a hue/saturation mix-up.
    for (int r = 0; r <= 255; r += 17) {
        for (int g = 0; g <= 255; g += 17) {
            for (int b = 0; b <= 255; b += 17) {
                float h, s, v;
                rgbToHsv(&h, &s, &v, r, g, b);
                float viaHue[3] = {float(r), float(g), float(b)};
                setRgbHue(viaHue, h);
                float viaSaturation[3] = {float(r), float(g), float(b)};
                setRgbSaturation(viaSaturation, s);
                SCOPED_TRACE(testing::Message() << r << "," << g << "," << b);
                expectRgb(viaHue, {float(r), float(g), float(b)}, 2e-3f);
                expectRgb(viaSaturation, {float(r), float(g), float(b)}, 2e-3f);
            }
        }
    }
}

TEST(ColourFunctions, NonFiniteAndHugeNumbersAreHarmless) {
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    // A hue given as NaN or infinity is taken as 0; a huge one still lands in
    // a sector. None reaches an integer conversion.
    float red[3] = {10, 200, 30};
    setRgbHue(red, 0.0f);
    for (float hue : {nan, inf, -inf, 3.4e38f, -3.4e38f, 1e20f}) {
        float rgb[3] = {10, 200, 30};
        setRgbHue(rgb, hue);
        for (float c : rgb) EXPECT_TRUE(c >= 0.0f && c <= 255.0f) << hue;
        if (!std::isfinite(hue)) expectRgb(rgb, {red[0], red[1], red[2]}, 0.0f);
    }
    // Samples that are not finite have no hue: 0, never NaN.
    EXPECT_EQ(rgbHue(nan, 0, 0), 0.0f);
    EXPECT_EQ(rgbHue(inf, 0, 0), 0.0f);
    EXPECT_EQ(rgbHue(0, nan, inf), 0.0f);
    float weird[3] = {nan, inf, 3};
    setRgbSaturation(weird, 0.5f);  // must return; the values are meaningless
}
