// The Vignette and Radial Blur tiles: both measure from the photo's centre.

#include <gtest/gtest.h>

#include <math.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "effects/RadialBlur.h"
#include "effects/Vignette.h"
#include "pixels/Convolution.h"
#include "support/ImageBuilders.h"
#include "support/TileProperties.h"

namespace {

using testimages::floatAt;

const float kNaN = std::numeric_limits<float>::quiet_NaN();

void setFloat(ImageMod& tile, int32_t index, float value) { tile.floatAt(index)->value = value; }
void setMethod(ImageMod& tile, int32_t method) { tile.var(3)->choiceValue()->selected = method; }

RenderRegion wholeRegion(const ImageBuffer& image) {
    RenderRegion region;
    region.fullWidth = image.width;
    region.fullHeight = image.height;
    return region;
}

// The tile over the rows [top, height) and columns [left, width) of the
// picture, cut out and processed alone with its region, equals those pixels
// of the picture processed whole: bands that start below the middle of an
// odd-height picture, and request regions that start right of x = 0.
void expectPartEqualsWhole(ImageMod& tile, const ImageBuffer& picture, int32_t left, int32_t top) {
    RenderRegion whole = wholeRegion(picture);
    RenderArgs wholeArgs;
    wholeArgs.region = &whole;
    const ImageBuffer expected = tiletest::renderFloat(tile, picture, &wholeArgs);
    EXPECT_TRUE(tiletest::sameFloatImages(expected, tiletest::renderFloat(tile, picture)));

    ImageBuffer part;
    part.allocateFloat(picture.width - left, picture.height - top, picture.channelCount());
    const int32_t n = picture.channelCount();
    for (int32_t y = 0; y < part.height; ++y)
        for (int32_t x = 0; x < part.width; ++x)
            for (int32_t c = 0; c < n; ++c) floatAt(part, x, y, c) = floatAt(picture, x + left, y + top, c);
    RenderRegion region = whole;
    region.originX = left;
    region.originY = top;
    RenderArgs args;
    args.region = &region;
    const ImageBuffer got = tiletest::renderFloat(tile, part, &args);
    for (int32_t y = 0; y < part.height; ++y)
        for (int32_t x = 0; x < part.width; ++x)
            for (int32_t c = 0; c < n; ++c)
                ASSERT_EQ(floatAt(got, x, y, c), floatAt(expected, x + left, y + top, c))
                    << "pixel " << x + left << "," << y + top;
}

void expectSharedProperties(ImageMod& tile, int32_t eightBitLevels) {
    tiletest::expectBandedEqualsWhole(tile, tiletest::standardImage(3));
    tiletest::expectBandedEqualsWhole(tile, tiletest::standardImage(4));
    tiletest::expectSelectorWeightZeroIsIdentity(tile);
    tiletest::expectSelectorWeightOneIsNoSelector(tile);
    tiletest::expect8BitWithinLevel(tile, tiletest::standardImage(4), eightBitLevels);
    tiletest::expectCloneCopyFromEquals(tile);
    tiletest::expectFilterRoundTrip(tile);
}

// ---- Vignette ---------------------------------------------------------------------

TEST(Vignette, SharedTileProperties) {
    VignetteMod off(0.0f, 50.0f, 1.0f);
    tiletest::expectIdentityLeavesImage(off);
    VignetteMod vignette(0.7f, 35.0f, 0.8f);
    expectSharedProperties(vignette, 1);
    VignetteMod white(-1.0f, 80.0f, 1.2f);
    expectSharedProperties(white, 1);
}

TEST(Vignette, RampWorkedValues) {
    EXPECT_FLOAT_EQ(vignetteExponent(0.0f), 1.0f);
    EXPECT_EQ(vignetteExponent(100.0f), INFINITY);  // a hard-edged disc
    EXPECT_FLOAT_EQ(vignetteRamp(0.5f, 1.0f), 0.525f);  // a straight ramp: min(1.05 t, 1)
    EXPECT_FLOAT_EQ(vignetteRamp(0.2f, 1.0f), 0.21f);
    EXPECT_EQ(vignetteRamp(0.96f, 1.0f), 1.0f);
    EXPECT_EQ(vignetteRamp(0.0f, 1.0f), 0.0f);
    EXPECT_EQ(vignetteRamp(kNaN, 1.0f), 0.0f);
    EXPECT_EQ(vignetteRamp(0.3f, INFINITY), 0.0f);
    EXPECT_EQ(vignetteRamp(0.5f / 1.05f, INFINITY), 0.5f);
    EXPECT_EQ(vignetteRamp(0.6f, INFINITY), 1.0f);
    EXPECT_EQ(vignetteRamp(0.4f, kNaN), 0.0f);  // a NaN Falloff leaves pixels alone
}

TEST(Vignette, TopLeftPixelOfAnEvenImage) {
    // 8 x 6: the centre is (4, 3), the corner 5 from it, the reach 10: t = 0.5.
    struct Case {
        float amount;
        float sample;
        float expected;
    };
    const Case cases[] = {{1.0f, 200.0f, 200.0f - 255.0f * 0.525f}, {-1.0f, 0.0f, 255.0f * 0.525f},
                          {-1.0f, 200.0f, 255.0f}, {1.0f, 10.0f, 0.0f}};
    for (const Case& c : cases) {
        VignetteMod vignette(c.amount, 0.0f, 1.0f);
        const ImageBuffer image = testimages::filledFloatImage(8, 6, {c.sample, c.sample, c.sample, c.sample});
        const ImageBuffer out = tiletest::renderFloat(vignette, image);
        for (int32_t ch = 0; ch < 4; ++ch) EXPECT_NEAR(floatAt(out, 0, 0, ch), c.expected, 1e-4f) << c.amount;
        EXPECT_EQ(floatAt(out, 4, 3, 0), c.sample);  // the centre never changes
    }
    // Radius 0: every pixel but the centre gets the full shift.
    VignetteMod full(0.5f, 50.0f, 0.0f);
    const ImageBuffer out = tiletest::renderFloat(full, testimages::filledFloatImage(8, 6, {200.0f, 200.0f, 200.0f}));
    EXPECT_EQ(floatAt(out, 5, 3, 0), 200.0f - 0.5f * 255.0f);
    EXPECT_EQ(floatAt(out, 4, 3, 0), 200.0f);
}

TEST(Vignette, CentreOfTheWholePictureInEveryPart) {
    VignetteMod vignette(0.8f, 30.0f, 0.6f);
    const ImageBuffer odd = tiletest::makeTestImage(9, 7, 3, 3);
    for (int32_t top : {0, 2, 3, 4, 6})
        for (int32_t left : {0, 4, 5}) expectPartEqualsWhole(vignette, odd, left, top);
}

TEST(Vignette, PhotoInsideAFrameIsMeasuredFromItsOwnCentre) {
    VignetteMod vignette(1.0f, 0.0f, 1.0f);
    const ImageBuffer image = testimages::filledFloatImage(20, 16, {100.0f, 100.0f, 100.0f});
    RenderRegion region = wholeRegion(image);
    region.insetLeft = 4;  // photo 14 x 10 at (4, 6): centre (11, 11)
    region.insetRight = 2;
    region.insetTop = 6;
    const ImageBuffer out = tiletest::renderFloat(vignette, image, nullptr);
    RenderArgs args;
    args.region = &region;
    const ImageBuffer framed = tiletest::renderFloat(vignette, image, &args);
    EXPECT_EQ(floatAt(framed, 11, 11, 0), 100.0f);
    EXPECT_LT(floatAt(framed, 10, 8, 0), 100.0f);
    EXPECT_EQ(floatAt(out, 10, 8, 0), 100.0f);  // the picture's own centre
}

TEST(Vignette, HostileValuesRunClean) {
    const ImageBuffer image = tiletest::standardImage(4);
    for (float value : {kNaN, 1e30f, -1e30f, INFINITY}) {
        for (int32_t var = 0; var < 3; ++var) {
            VignetteMod vignette(0.5f, 50.0f, 1.0f);
            setFloat(vignette, var, value);
            const ImageBuffer out = tiletest::renderFloat(vignette, image);
            for (int64_t i = 0; i < out.sampleCount(); ++i) ASSERT_FALSE(isnan(out.floats()[i])) << var << " " << value;
            tiletest::render8(vignette, tiletest::bytesOf(image));
        }
    }
    VignetteMod nanAmount(kNaN, 50.0f, 1.0f);
    tiletest::expectIdentityLeavesImage(nanAmount);
}

// ---- Radial Blur --------------------------------------------------------------------

const char* const kMethods[] = {"Gaussian", "Box", "Circle"};

TEST(RadialBlur, SharedTileProperties) {
    RadialBlurMod off(0.0f, 1.0f);
    tiletest::expectIdentityLeavesImage(off);
    for (int32_t method = 0; method < 3; ++method) {
        SCOPED_TRACE(kMethods[method]);
        RadialBlurMod blur(1.0f, 0.7f);  // B about 2.3 pixels on the 61-row standard image
        setMethod(blur, method);
        // Two passes truncate twice in 8 bits.
        expectSharedProperties(blur, method == 2 ? 1 : 2);
    }
}

TEST(RadialBlur, KernelWorkedValues) {
    std::vector<float> k(16, -1.0f);
    ASSERT_EQ(makeBoxKernel(k.data(), 3.0f), 3);
    for (int32_t j = 0; j < 7; ++j) EXPECT_EQ(k[j], 1.0f / 7.0f);
    ASSERT_EQ(makeBoxKernel(k.data(), 2.5f), 3);
    const float half[7] = {1.0f / 12, 1.0f / 6, 1.0f / 6, 1.0f / 6, 1.0f / 6, 1.0f / 6, 1.0f / 12};
    for (int32_t j = 0; j < 7; ++j) EXPECT_FLOAT_EQ(k[j], half[j]);
    ASSERT_EQ(makeBoxKernel(k.data(), 0.3f), 1);  // three taps even for a small radius
    EXPECT_FLOAT_EQ(k[0], 0.3f / 1.6f);
    EXPECT_FLOAT_EQ(k[1], 1.0f / 1.6f);
    EXPECT_FLOAT_EQ(k[2], 0.3f / 1.6f);
    ASSERT_EQ(makeBellKernel(k.data(), 1.0f), 1);
    EXPECT_EQ(k[0], 0.25f);
    EXPECT_EQ(k[1], 0.5f);
    EXPECT_EQ(k[2], 0.25f);
    // The bell as defined (the shared bellCurve, each raw weight divided by
    // S = 1 + 2 (sum of the raw weights of d = 1..m)), bit for bit.
    std::vector<float> bell(700);
    for (int32_t i = 1; i < 4000; ++i) {
        const float radius = static_cast<float>(i) * 0.0777f;
        const int32_t m = makeBellKernel(bell.data(), radius);
        ASSERT_EQ(m, static_cast<int32_t>(ceilf(radius)));
        std::vector<float> raw(m + 1, 1.0f);
        float sum = 0.0f;
        for (int32_t d = 1; d <= m; ++d) {
            raw[d] = bellCurve(1.0f - static_cast<float>(d) / (radius + 1.0f));
            sum += raw[d];
        }
        const float total = 1.0f + 2.0f * sum;
        for (int32_t d = -m; d <= m; ++d) ASSERT_EQ(bell[m + d], raw[d < 0 ? -d : d] / total) << radius << " " << d;
    }
    for (float bad : {0.0f, -2.0f, kNaN, 1e30f}) {
        EXPECT_EQ(makeBoxKernel(k.data(), bad), 0);
        EXPECT_EQ(makeBellKernel(k.data(), bad), 0);
    }
}

TEST(RadialBlur, MarginCoversTheWidestKernel) {
    RadialBlurMod blur(0.5f, 1.0f);
    EXPECT_EQ(blur.marginFor(2400, 1600, 1.0f), 46);  // B = 45
    EXPECT_EQ(radialBlurMaxRadius(0.5f, 0, 2400.0f, 1600.0f), 45.0f);
    // The margin is computed in the body's order, so it covers the widest
    // kernel, ceil(B) rows, even where B lies within an ulp of a whole number.
    for (int32_t method = 0; method < 3; ++method) {
        setMethod(blur, method);
        for (int32_t i = 1; i <= 64; ++i) {
            const float a = static_cast<float>(i) / 64.0f;
            setFloat(blur, 0, a);
            for (int32_t side = 1000; side <= 7000; ++side) {
                const float b = radialBlurMaxRadius(a, method, static_cast<float>(side), 10.0f);
                ASSERT_GE(blur.marginFor(side, side / 2, 1.0f), static_cast<int32_t>(ceilf(b))) << a << " " << side;
            }
        }
    }
    for (float hostile : {kNaN, 1e30f}) {
        setFloat(blur, 0, hostile);
        EXPECT_EQ(blur.marginFor(6000, 4000, 1.0f), 0);
    }
}

// The disc as defined: a K x K kernel of float cells, divided by their float
// sum, summed cell by cell (in float, or in double for discs of millions of
// cells) over the first three channels.
template <class Sum = float>
void plainDisc(const ImageBuffer& source, int32_t x, int32_t y, float k, float* out) {
    const int32_t m = static_cast<int32_t>(ceilf(k));
    const int32_t side = 2 * m + 1;
    std::vector<float> cells(side * side);
    float sum = 0.0f;
    for (int32_t j = 0; j < side; ++j)
        for (int32_t i = 0; i < side; ++i) {
            const float d = sqrtf(static_cast<float>((i - m) * (i - m) + (j - m) * (j - m)));
            const float w = d < k ? 1.0f : (d < k + 1.0f ? (k + 1.0f) - d : 0.0f);
            cells[j * side + i] = w;
            sum += w;
        }
    for (float& w : cells) w /= sum;
    for (int32_t c = 0; c < 3; ++c) {
        Sum acc = 0;
        for (int32_t j = 0; j < side; ++j)
            for (int32_t i = 0; i < side; ++i) {
                const int32_t sx = std::min(std::max(x + i - m, 0), source.width - 1);
                const int32_t sy = std::min(std::max(y + j - m, 0), source.height - 1);
                acc += static_cast<Sum>(cells[j * side + i] * floatAt(source, sx, sy, c));
            }
        out[c] = std::min(std::max(static_cast<float>(acc), 0.0f), 255.0f);
    }
}

TEST(RadialBlur, DiscWithinFloatRoundingOfTheCellByCellSum) {
    // Radius 0: every pixel but the centre gets B = 30 x 720 / 1200 = 18.
    RadialBlurMod blur(1.0f, 0.0f);
    setMethod(blur, 2);
    const ImageBuffer image = tiletest::makeTestImage(720, 24, 4, 9);
    const ImageBuffer out = tiletest::renderFloat(blur, image);
    const float k = radialBlurMaxRadius(1.0f, 2, 720.0f, 24.0f);
    ASSERT_EQ(k, 18.0f);
    for (int32_t y = 0; y < image.height; y += 5)
        for (int32_t x = 0; x < image.width; x += 7) {
            if (x == 360 && y == 12) continue;
            float expected[3];
            plainDisc(image, x, y, k, expected);
            for (int32_t c = 0; c < 3; ++c)
                ASSERT_NEAR(floatAt(out, x, y, c), expected[c], 1e-5f * std::max(expected[c], 1.0f)) << x << "," << y;
            EXPECT_EQ(floatAt(out, x, y, 3), floatAt(image, x, y, 3));  // a fourth channel keeps its value
        }
    EXPECT_EQ(floatAt(out, 360, 12, 0), floatAt(image, 360, 12, 0));  // the centre stays sharp

    // A disc beyond the distance table (B = 720, from an Amount far above
    // the slider's): the spans are found by walking the rows instead.
    RadialBlurMod wide(40.0f, 0.0f);
    setMethod(wide, 2);
    const ImageBuffer small = tiletest::makeTestImage(72, 6, 3, 10);
    RenderRegion region = wholeRegion(small);
    region.fullWidth = 720;  // the picture this strip belongs to
    region.originX = 324;
    region.originY = 9;
    region.fullHeight = 24;
    RenderArgs args;
    args.region = &region;
    const ImageBuffer wideOut = tiletest::renderFloat(wide, small, &args);
    const float wideK = radialBlurMaxRadius(40.0f, 2, 720.0f, 24.0f);
    ASSERT_EQ(wideK, 720.0f);
    const int32_t probes[][2] = {{0, 0}, {71, 5}, {30, 2}};
    for (const auto& probe : probes) {
        float expected[3];
        plainDisc<double>(small, probe[0], probe[1], wideK, expected);
        for (int32_t c = 0; c < 3; ++c)
            EXPECT_NEAR(floatAt(wideOut, probe[0], probe[1], c), expected[c], 1e-5f * std::max(expected[c], 1.0f));
    }
}

TEST(RadialBlur, TwoPassMethodsBlurEveryChannelButTheCentre) {
    for (int32_t method = 0; method < 2; ++method) {
        RadialBlurMod blur(1.0f, 0.0f);
        setMethod(blur, method);
        const ImageBuffer image = tiletest::makeTestImage(121, 31, 4, 2);
        const ImageBuffer out = tiletest::renderFloat(blur, image);
        EXPECT_NE(floatAt(out, 0, 0, 3), floatAt(image, 0, 0, 3)) << kMethods[method];
        EXPECT_EQ(floatAt(out, 60, 15, 1), floatAt(image, 60, 15, 1));
    }
}

TEST(RadialBlur, CentreOfTheWholePictureInEveryPart) {
    // Radius 0 blurs every pixel but the whole picture's centre, (15, 13) of
    // this 31 x 27 picture. A part processed alone with its region (a band
    // below the middle, a request region right of x = 0) keeps that one
    // pixel sharp, and no other.
    const ImageBuffer picture = tiletest::makeTestImage(31, 27, 3, 4);
    const int32_t parts[][2] = {{0, 0}, {0, 13}, {0, 14}, {0, 20}, {15, 0}, {16, 0}, {16, 14}};
    for (int32_t method = 0; method < 3; ++method) {
        RadialBlurMod blur(1.0f, 0.0f);
        setMethod(blur, method);
        for (const auto& p : parts) {
            const int32_t left = p[0], top = p[1];
            ImageBuffer part;
            part.allocateFloat(31 - left, 27 - top, 3);
            for (int32_t y = 0; y < part.height; ++y)
                for (int32_t x = 0; x < part.width; ++x)
                    for (int32_t c = 0; c < 3; ++c) floatAt(part, x, y, c) = floatAt(picture, x + left, y + top, c);
            RenderRegion region = wholeRegion(picture);
            region.originX = left;
            region.originY = top;
            RenderArgs args;
            args.region = &region;
            const ImageBuffer out = tiletest::renderFloat(blur, part, &args);
            for (int32_t y = 0; y < part.height; ++y)
                for (int32_t x = 0; x < part.width; ++x) {
                    const bool centre = x + left == 15 && y + top == 13;
                    ASSERT_EQ(floatAt(out, x, y, 0) == floatAt(part, x, y, 0), centre)
                        << kMethods[method] << " part from " << left << "," << top << " pixel " << x << "," << y;
                }
        }
    }
}

TEST(RadialBlur, HostileValuesRunClean) {
    const ImageBuffer image = tiletest::standardImage(4);
    for (float value : {kNaN, 1e30f, -1e30f, INFINITY, -1.0f}) {
        for (int32_t var = 0; var < 3; ++var) {
            for (int32_t method : {0, 2, 99, -1}) {
                RadialBlurMod blur(0.5f, 1.0f);
                setMethod(blur, method);
                setFloat(blur, var, value);
                tiletest::renderFloat(blur, image);
                tiletest::render8(blur, tiletest::bytesOf(image));
                blur.marginFor(image.width, image.height, 1.0f);
            }
        }
    }
    RadialBlurMod huge(1e30f, 1.0f);
    tiletest::expectIdentityLeavesImage(huge);
}

}  // namespace
