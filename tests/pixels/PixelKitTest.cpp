// Shared pixel helpers: the exposure curve, RGB to HSL, the tone-curve body
// and the pivot curves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "framework/ImageMod.h"
#include "pixels/PixelKit.h"
#include "support/ImageBuilders.h"
#include "support/TestTiles.h"
#include "support/TileProperties.h"

namespace {

ImageBuffer pixelImage(int32_t channels) {
    ImageBuffer image;
    image.allocateFloat(1, 1, channels);
    return image;
}

// The two clamps differ only in NaN; the double store truncates the double
// itself.
TEST(SampleRules, ClampVariantsAndTheDoubleStore) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float v;
        float clamped;
    } cases[] = {{-inf, 0.0f}, {-1.0f, 0.0f}, {0.0f, 0.0f}, {127.5f, 127.5f}, {255.0f, 255.0f}, {300.0f, 255.0f},
                 {inf, 255.0f}};
    for (const Case& c : cases) {
        EXPECT_EQ(pixel::clampSampleKeepNan(c.v), c.clamped) << c.v;
        EXPECT_EQ(pixel::clampSampleNanToZero(c.v), c.clamped) << c.v;
        EXPECT_EQ(tileloop::clampSample(c.v), c.clamped) << c.v;
    }
    EXPECT_TRUE(std::isnan(pixel::clampSampleKeepNan(nan)));
    EXPECT_EQ(pixel::clampSampleNanToZero(nan), 0.0f);
    EXPECT_EQ(storeByte(nan), 0);
    EXPECT_EQ(pixel::storeByteFromDouble(254.9999999), 254);  // rounded to float it would be 255
    EXPECT_EQ(pixel::storeByteFromDouble(static_cast<double>(nan)), 0);
    EXPECT_EQ(pixel::storeByteFromDouble(-0.5), 0);
    EXPECT_EQ(pixel::storeByteFromDouble(1e300), 255);
}

TEST(ExposureCurve, Values) {
    const ImageBuffer rgb = pixelImage(3);
    const ImageBuffer rgba = pixelImage(4);

    float same[3] = {12.5f, 0.0f, 255.0f};
    applyExposureCurve(rgb, same, 1.0f);
    EXPECT_EQ(12.5f, same[0]);
    EXPECT_EQ(255.0f, same[2]);

    // Lightening floors a sample at 0.05 first: 0 becomes a small positive value.
    float dark[3] = {0.0f, 0.0f, 0.0f};
    applyExposureCurve(rgb, dark, 1.5f);
    const double expected = 255.0 - 255.0 * std::pow(254.95 / 255.0, 2.0);
    EXPECT_NEAR(expected, dark[0], 1e-3);
    EXPECT_GT(dark[0], 0.0f);

    // Darkening caps at 254.95 and pulls toward grey; the fourth sample
    // takes part in both.
    float white[4] = {255.0f, 255.0f, 255.0f, 200.0f};
    applyExposureCurve(rgba, white, 0.5f);
    EXPECT_NEAR(255.0 * std::pow(254.95 / 255.0, 2.0), white[0], 1e-2);
    EXPECT_NE(200.0f, white[3]);
    EXPECT_LT(white[3], 200.0f);

    // A colour loses some saturation when darkened.
    float red[3] = {200.0f, 50.0f, 50.0f};
    applyExposureCurve(rgb, red, 0.5f);
    const double r = 255.0 * std::pow(200.0 / 255.0, 2.0);
    const double g = 255.0 * std::pow(50.0 / 255.0, 2.0);
    const double k = std::pow(0.5, 0.4);
    const double L = 0.299 * r + 0.587 * g + 0.114 * g;
    EXPECT_NEAR(r * k + (1.0 - k) * L, red[0], 1e-2);
    EXPECT_NEAR(g * k + (1.0 - k) * L, red[1], 1e-2);
}

TEST(ExposureCurve, EightBit) {
    ImageBuffer rgb;
    rgb.allocate8(1, 1, 3);
    struct Case {
        float x;
        uint8_t in;
        uint8_t out;
    } cases[] = {
        {1.5f, 0, 0},      // no floor on bytes: 255 - trunc(255 x 1) = 0
        {1.5f, 128, 192},  // 255 - trunc(255 (127/255)^2) = 255 - 63
        {1.0f, 77, 77},
    };
    for (const Case& c : cases) {
        uint8_t pixel[3] = {c.in, c.in, c.in};
        applyExposureCurve8(rgb, pixel, c.x);
        EXPECT_EQ(c.out, pixel[0]) << c.x << " " << +c.in;
    }
}

// Amounts outside 0..2 (and NaN or infinite ones) are not guarded by the
// formula. Whatever it gives, the row forms (byte tables, float power
// blocks) give what the per-pixel forms give, bit for bit; the darkening
// step leaves floats within 0..255 or NaN. The two ends of the range are
// worked: 2 turns every float white (a byte 0 stays 0: bytes have no
// floor), 0 turns everything black.
TEST(ExposureCurve, OutOfRangeAmountsStoreSafely) {
    constexpr int32_t kPixels = 260;
    ImageBuffer bytes;
    bytes.allocate8(kPixels, 1, 3);
    ImageBuffer floats;
    floats.allocateFloat(kPixels, 1, 3);
    const float odd[4] = {-10.0f, 300.0f, 127.5f, 0.03f};
    for (int32_t i = 0; i < kPixels; ++i) {
        const int32_t v = i < 256 ? i : 255 - i % 256;
        const uint8_t b[3] = {static_cast<uint8_t>(v), static_cast<uint8_t>(255 - v), static_cast<uint8_t>(v / 2)};
        for (int32_t c = 0; c < 3; ++c) {
            bytes.bytes()[i * 3 + c] = b[c];
            floats.floats()[i * 3 + c] = i < 256 ? static_cast<float>(b[c]) : odd[(i + c) % 4];
        }
    }
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float x : {3.0f, 2.0f, 0.0f, -1.0f, nan, inf, -inf}) {
        SCOPED_TRACE(x);
        ImageBuffer rowBytes = tiletest::copyOf8(bytes);
        applyExposureCurveRow8(rowBytes, rowBytes.bytes(), kPixels, x);
        ImageBuffer rowFloats = tiletest::copyOf(floats);
        applyExposureCurveRow(rowFloats, rowFloats.floats(), kPixels, x);
        for (int32_t i = 0; i < kPixels; ++i) {
            uint8_t b[3];
            float f[3];
            for (int32_t c = 0; c < 3; ++c) {
                b[c] = bytes.bytes()[i * 3 + c];
                f[c] = floats.floats()[i * 3 + c];
            }
            applyExposureCurve8(bytes, b, x);
            applyExposureCurve(floats, f, x);
            for (int32_t c = 0; c < 3; ++c) {
                const float r = rowFloats.floats()[i * 3 + c];
                ASSERT_EQ(b[c], rowBytes.bytes()[i * 3 + c]) << "pixel " << i;
                ASSERT_TRUE(r == f[c] || (std::isnan(r) && std::isnan(f[c]))) << "pixel " << i << ": " << f[c];
                if (x < 1.0f) {
                    EXPECT_TRUE(std::isnan(f[c]) || (f[c] >= 0.0f && f[c] <= 255.0f)) << f[c];
                }
                if (x == 2.0f && i < 256) {
                    EXPECT_EQ(f[c], 255.0f);
                    EXPECT_EQ(b[c], bytes.bytes()[i * 3 + c] == 0 ? 0 : 255);
                }
                if (x == 0.0f) {
                    EXPECT_EQ(b[c], 0);
                    EXPECT_EQ(f[c], 0.0f);
                }
            }
        }
    }
}

struct HslCase {
    float r, g, b;
    float h, s, l;
};

TEST(RgbToHsl, Values) {
    const HslCase cases[] = {
        {255, 0, 0, 360, 1, 0.5f},    // pure red reads 360, not 0
        {0, 0, 0, 0, 0, 0},
        {128, 128, 128, 0, 0, 0.5019608f},
        {0, 255, 0, 120, 1, 0.5f},
        {0, 0, 255, 240, 1, 0.5f},
        {255, 255, 0, 60, 1, 0.5f},   // ties go to red
        {0, 255, 255, 180, 1, 0.5f},  // then to green
        {255, 0, 255, 300, 1, 0.5f},
        {255, 128, 0, 30.117647f, 1, 0.5f},
        {255, 255, 255, 0, 0, 1},
    };
    for (const HslCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.r << " " << c.g << " " << c.b);
        float h, s, l;
        rgbToHsl(&h, &s, &l, c.r, c.g, c.b);
        EXPECT_NEAR(c.h, h, 1e-3f);
        EXPECT_NEAR(c.s, s, 1e-6f);
        EXPECT_NEAR(c.l, l, 1e-6f);
        float h8, s8, l8;
        rgbToHsl8(static_cast<int>(c.r) + 512, static_cast<int>(c.g), static_cast<int>(c.b), &h8, &s8, &l8);
        EXPECT_EQ(h, h8);  // only the low byte counts
        EXPECT_EQ(s, s8);
        EXPECT_EQ(l, l8);
    }
}

// A tile with the tone-curve vars: "Amount", "Curve", "Method".
class ToneTile : public ImageMod {
public:
    ToneTile(float amount, const Curve& curve, int32_t method) : ImageMod(GrowString("Tone Test"), GrowString("")) {
        addFloatVar("Amount", amount, 0.0f, 1.0f, 0);
        addVar(ModVar("Curve", new CurveValue(curve)));
        GrowArray<GrowString> options;
        for (const char* name : {"RGB", "Luminance", "Value", "Lightness"}) options.append(GrowString(name));
        addVar(ModVar("Method", new ChoiceValue(options, method)));
    }
    ImageMod* clone() const override { return new ToneTile(1.0f, Curve(), 0); }
};

Curve bentCurve() {
    Curve curve;
    GrowArray<CurvePoint> points;
    points.append({0.0f, 0.0f});
    points.append({0.5f, 0.25f});
    points.append({1.0f, 1.0f});
    curve.setPoints(points);
    return curve;
}

TEST(ToneCurve, IdentityAndAmountZeroReturnAtOnce) {
    const ImageBuffer input = testimages::makeFloatImage(6, 5, 4);
    for (int32_t method = 0; method < 4; ++method) {
        ToneTile identity(1.0f, Curve(0), method);
        ImageBuffer image = testimages::duplicateFloat(input);
        applyToneCurve(identity, image, nullptr);
        EXPECT_TRUE(testimages::floatsIdentical(input, image)) << method;

        ToneTile off(0.0f, bentCurve(), method);
        applyToneCurve(off, image, nullptr);
        EXPECT_TRUE(testimages::floatsIdentical(input, image)) << method;
    }
}

// A three-point straight line still runs every method, and each gives the
// pixel back up to rounding: this round trip goes through every HSV and
// HSL sector.
TEST(ToneCurve, StraightThreePointCurveKeepsThePixels) {
    const ImageBuffer input = testimages::makeFloatImage(16, 16, 3, 11);
    ImageBuffer bytes;
    ImageBuffer::copy8FromFloat(bytes, input, true);
    for (int32_t method = 0; method < 4; ++method) {
        SCOPED_TRACE(method);
        ToneTile line(1.0f, Curve(1), method);
        ImageBuffer image = testimages::duplicateFloat(input);
        applyToneCurve(line, image, nullptr);
        EXPECT_TRUE(testimages::floatsWithin(input, image, 0.02f));
        ImageBuffer image8 = testimages::duplicateBytes(bytes);
        applyToneCurve8(line, image8, nullptr);
        for (int64_t i = 0; i < bytes.sampleCount(); ++i)
            ASSERT_LE(std::abs(static_cast<int>(bytes.bytes()[i]) - static_cast<int>(image8.bytes()[i])), 1) << i;
    }
}

TEST(ToneCurve, ChannelsTouchedByMethod) {
    for (int32_t method = 0; method < 4; ++method) {
        SCOPED_TRACE(method);
        ToneTile tile(1.0f, bentCurve(), method);
        ImageBuffer image = testimages::filledFloatImage(2, 2, {200.0f, 100.0f, 50.0f, 128.0f});
        applyToneCurve(tile, image, nullptr);
        if (method < 2)
            EXPECT_NE(128.0f, image.floats()[3]);  // "RGB" and "Luminance" scale the fourth sample too
        else
            EXPECT_EQ(128.0f, image.floats()[3]);
        EXPECT_NE(200.0f, image.floats()[0]);
    }
    // Greys stay grey under "Value" and "Lightness".
    for (int32_t method : {2, 3}) {
        ToneTile tile(1.0f, bentCurve(), method);
        ImageBuffer grey = testimages::filledFloatImage(1, 1, {100.0f, 100.0f, 100.0f});
        applyToneCurve(tile, grey, nullptr);
        EXPECT_EQ(grey.floats()[0], grey.floats()[1]);
        EXPECT_EQ(grey.floats()[0], grey.floats()[2]);
        EXPECT_LT(grey.floats()[0], 90.0f);  // the curve sags below the diagonal
    }
}

// "Value" and "Lightness" read three samples: images of one or two
// channels stay as they are, in both forms; "RGB" and "Luminance" still work.
TEST(ToneCurve, ValueAndLightnessLeaveOneAndTwoChannelImages) {
    for (int32_t channels : {1, 2}) {
        for (int32_t method = 0; method < 4; ++method) {
            SCOPED_TRACE(testing::Message() << channels << " channels, method " << method);
            ToneTile tile(1.0f, bentCurve(), method);
            ImageBuffer image;
            image.allocateFloat(1, 1, channels);
            for (int32_t c = 0; c < channels; ++c) image.floats()[c] = 200.0f;
            applyToneCurve(tile, image, nullptr);
            ImageBuffer image8;
            image8.allocate8(1, 1, channels);
            for (int32_t c = 0; c < channels; ++c) image8.bytes()[c] = 200;
            applyToneCurve8(tile, image8, nullptr);
            if (method >= 2) {
                EXPECT_EQ(200.0f, image.floats()[0]);
                EXPECT_EQ(200, image8.bytes()[0]);
            } else {
                EXPECT_NE(200.0f, image.floats()[0]);
                EXPECT_NE(200, image8.bytes()[0]);
            }
        }
    }
}

// A selector weight of 0 leaves its pixels alone (bit for bit in the
// methods that scale samples, up to the HSV and HSL round trip in the
// others).
TEST(ToneCurve, SelectorWeightZeroLeavesThePixel) {
    rendertest::ColumnSelector selector(0);  // weight (x mod 4) / 4
    RenderArgs args;
    args.selector = &selector;
    for (int32_t method = 0; method < 4; ++method) {
        ToneTile tile(1.0f, bentCurve(), method);
        const ImageBuffer input = testimages::makeFloatImage(8, 2, 3);
        ImageBuffer image = testimages::duplicateFloat(input);
        applyToneCurve(tile, image, &args);
        const float tolerance = method < 2 ? 0.0f : 1e-3f;
        for (int32_t y = 0; y < 2; ++y) {
            for (int32_t c = 0; c < 3; ++c) {
                EXPECT_NEAR(testimages::floatAt(input, 0, y, c), testimages::floatAt(image, 0, y, c), tolerance);
                EXPECT_NEAR(testimages::floatAt(input, 4, y, c), testimages::floatAt(image, 4, y, c), tolerance);
            }
        }
        EXPECT_FALSE(testimages::floatsIdentical(input, image));
    }
}

// NaN samples and grey images of one channel go through without reading
// past the pixel.
TEST(ToneCurve, HostileSamples) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int32_t method = 0; method < 4; ++method) {
        ToneTile tile(1.0f, bentCurve(), method);
        ImageBuffer image = testimages::filledFloatImage(2, 2, {nan, 300.0f, -20.0f});
        applyToneCurve(tile, image, nullptr);
        ImageBuffer grey = testimages::filledFloatImage(3, 1, {100.0f});
        applyToneCurve(tile, grey, nullptr);
        if (method < 2) {
            EXPECT_LT(grey.floats()[0], 90.0f);
            EXPECT_GT(grey.floats()[0], 10.0f);
        } else {
            EXPECT_EQ(100.0f, grey.floats()[0]);  // one channel: nothing for Value and Lightness to read
        }
        ImageBuffer grey8 = testimages::filledByteImage(3, 1, {100});
        applyToneCurve8(tile, grey8, nullptr);
        EXPECT_NEAR(grey.floats()[0], grey8.bytes()[0], 1.0f);
    }
}

// The pivot curves bend toward the pivot for x below 1 and leave a pixel on
// the pivot, or any pixel at x = 1, as it is.
TEST(PivotCurves, BendAroundThePivot) {
    using PivotFloat = void (*)(float*, float, float);
    using Pivot8 = void (*)(uint8_t*, float, float);
    const struct {
        const char* name;
        PivotFloat floatForm;
        Pivot8 byteForm;
        bool lightness;
    } forms[] = {{"lightness", applyLightnessPivotCurve, applyLightnessPivotCurve8, true},
                 {"value", applyValuePivotCurve, applyValuePivotCurve8, false}};
    auto level = [](const float* p, bool lightness) {
        float h, s, l;
        rgbToHsl(&h, &s, &l, p[0], p[1], p[2]);
        return lightness ? l : std::max(p[0], std::max(p[1], p[2])) / 255.0f;
    };
    for (const auto& form : forms) {
        SCOPED_TRACE(form.name);
        float unchanged[3] = {40.0f, 90.0f, 200.0f};
        form.floatForm(unchanged, 1.0f, 128.0f);
        EXPECT_NEAR(40.0f, unchanged[0], 1e-2f);
        EXPECT_NEAR(90.0f, unchanged[1], 1e-2f);
        EXPECT_NEAR(200.0f, unchanged[2], 1e-2f);

        const float pivot = 128.0f;
        const float starts[2][3] = {{40.0f, 20.0f, 10.0f}, {240.0f, 220.0f, 200.0f}};
        for (const float* start : starts) {
            float p[3] = {start[0], start[1], start[2]};
            const float before = level(p, form.lightness);
            form.floatForm(p, 0.5f, pivot);
            const float after = level(p, form.lightness);
            const float P = pivot / 255.0f;
            EXPECT_GT(std::fabs(before - P), std::fabs(after - P));  // closer to the pivot
            EXPECT_EQ(before < P, after < P);                          // never across it
            uint8_t b[3] = {static_cast<uint8_t>(start[0]), static_cast<uint8_t>(start[1]),
                            static_cast<uint8_t>(start[2])};
            form.byteForm(b, 0.5f, pivot);
            for (int32_t c = 0; c < 3; ++c) EXPECT_NEAR(p[c], b[c], 1.0f);
        }
    }
}

}  // namespace
