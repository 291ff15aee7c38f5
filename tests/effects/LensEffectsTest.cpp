// The Vignette and Radial Blur tiles: both measure from the photo's centre.

#include <gtest/gtest.h>

#include <math.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>
#include <limits>
#include <vector>

#include "effects/RadialBlur.h"
#include "effects/Vignette.h"
#include "pixels/Convolution.h"
#include "pixels/RowLoops.h"
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

// The exact disc average: a K x K kernel of float cells, each product and
// the cells' weights summed in double, divided once, over the first three
// channels.
void plainDisc(const ImageBuffer& source, int32_t x, int32_t y, float k, float* out, bool cellsOfTheDiscOnly = false) {
    const int32_t m = static_cast<int32_t>(ceilf(k));
    const int32_t side = 2 * m + 1;
    std::vector<float> cells(side * side);
    double weight = 0.0;
    for (int32_t j = 0; j < side; ++j)
        for (int32_t i = 0; i < side; ++i) {
            const float d = sqrtf(static_cast<float>((i - m) * (i - m) + (j - m) * (j - m)));
            const float w = d < k ? 1.0f : (d < k + 1.0f ? (k + 1.0f) - d : 0.0f);
            cells[j * side + i] = w;
            weight += w;
        }
    for (int32_t c = 0; c < 3; ++c) {
        double acc = 0.0;
        for (int32_t j = 0; j < side; ++j)
            for (int32_t i = 0; i < side; ++i) {
                const int32_t sx = std::min(std::max(x + i - m, 0), source.width - 1);
                const int32_t sy = std::min(std::max(y + j - m, 0), source.height - 1);
                if (cellsOfTheDiscOnly && cells[j * side + i] == 0.0f) continue;
                acc += static_cast<double>(cells[j * side + i]) * floatAt(source, sx, sy, c);
            }
        out[c] = std::min(std::max(static_cast<float>(acc / weight), 0.0f), 255.0f);
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
                ASSERT_NEAR(floatAt(out, x, y, c), expected[c], 1e-6f * std::max(expected[c], 1.0f)) << x << "," << y;
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
        plainDisc(small, probe[0], probe[1], wideK, expected);
        for (int32_t c = 0; c < 3; ++c)
            EXPECT_NEAR(floatAt(wideOut, probe[0], probe[1], c), expected[c], 1e-6f * std::max(expected[c], 1.0f));
    }
}

TEST(RadialBlur, LargestRadiusDiscsOnLinesAndNearNonFiniteSamples) {
    // Radius 0 gives every pixel but the centre the largest radius B, whose
    // discs are summed together: a line of one row or column, a disc of one
    // pixel (B 1), four channels (the fourth kept), and samples near a NaN
    // or a huge sample, whose discs are summed one pixel at a time (NaN
    // through the disc's own cells only).
    struct Case {
        int32_t width, height, channels;
        float amount;
    };
    const Case cases[] = {
        {240, 1, 3, 1.0f},   // B 6
        {1, 240, 4, 1.0f},
        {1200, 3, 3, 1.0f / 30.0f},  // B 1
        {96, 40, 4, 2.5f},   // B 6
    };
    for (const Case& c : cases) {
        RadialBlurMod blur(c.amount, 0.0f);
        setMethod(blur, 2);
        const float k = radialBlurMaxRadius(c.amount, 2, static_cast<float>(c.width), static_cast<float>(c.height));
        ImageBuffer image = tiletest::makeTestImage(c.width, c.height, c.channels, 31);
        const bool hostile = c.width == 96;
        if (hostile) {
            floatAt(image, 10, 10, 0) = kNaN;
            floatAt(image, 70, 30, 1) = 1e30f;
        }
        const ImageBuffer out = tiletest::renderFloat(blur, image);
        const int32_t cx = c.width / 2, cy = c.height / 2;
        for (int32_t y = 0; y < c.height; ++y)
            for (int32_t x = 0; x < c.width; ++x) {
                SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " pixel " << x << "," << y);
                if (x == cx && y == cy) continue;
                float expected[3];
                plainDisc(image, x, y, k, expected, true);
                for (int32_t ch = 0; ch < std::min(c.channels, 3); ++ch) {
                    const float got = floatAt(out, x, y, ch);
                    if (std::isnan(expected[ch])) {
                        ASSERT_TRUE(std::isnan(got));
                    } else {
                        ASSERT_NEAR(got, expected[ch], 1e-6f * std::max(expected[ch], 1.0f));
                    }
                }
                if (c.channels == 4) {
                    ASSERT_EQ(floatAt(out, x, y, 3), floatAt(image, x, y, 3));
                }
            }
    }
}

// The bell and box passes as defined: each pixel's own kernel, summed tap
// by tap in float over a copy of its row, then of its column; the float
// samples clamped at the end (bytes at every store).
template <class Sample>
void plainTwoPass(ImageBuffer& image, uint32_t method, const std::vector<float>& radii) {
    const int32_t w = image.width, h = image.height, ch = image.channelCount();
    Sample* s = static_cast<Sample*>(image.data);
    std::vector<float> kernel(2 * 64 + 1);
    for (int32_t pass = 0; pass < 2; ++pass) {
        const std::vector<Sample> copy(s, s + static_cast<size_t>(w) * h * ch);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) {
                const float k = radii[y * w + x];
                const int32_t m = method == 0 ? makeBellKernel(kernel.data(), k) : makeBoxKernel(kernel.data(), k);
                if (m == 0) continue;
                for (int32_t c = 0; c < ch; ++c) {
                    float acc = 0.0f;
                    for (int32_t j = 0; j <= 2 * m; ++j) {
                        const int32_t sx = pass == 0 ? std::min(std::max(x - m + j, 0), w - 1) : x;
                        const int32_t sy = pass == 1 ? std::min(std::max(y - m + j, 0), h - 1) : y;
                        acc += kernel[j] * static_cast<float>(copy[(static_cast<size_t>(sy) * w + sx) * ch + c]);
                    }
                    tileloop::store(s[(static_cast<size_t>(y) * w + x) * ch + c], acc);
                }
            }
    }
    if constexpr (std::is_same<Sample, float>::value)
        for (int64_t i = 0; i < image.sampleCount(); ++i) s[i] = tileloop::clampSample(s[i]);
}

TEST(RadialBlur, RunsOfOneRadiusSumBitForBitAsOnePixel) {
    // With Radius 0 every pixel but the centre has the radius B: the rows
    // and columns are summed as runs of one kernel, the centre's row and
    // column broken by it. They give the pixel-by-pixel sums exactly.
    for (int32_t method = 0; method < 2; ++method) {
        for (int32_t channels : {3, 4, 1}) {
            SCOPED_TRACE(testing::Message() << kMethods[method] << ", " << channels << " channels");
            RadialBlurMod blur(1.0f, 0.0f);
            setMethod(blur, method);
            const ImageBuffer image = tiletest::makeTestImage(123, 37, channels, 12);
            const float k = radialBlurMaxRadius(1.0f, method, 123.0f, 37.0f);
            std::vector<float> radii(123 * 37, k);
            radii[18 * 123 + 61] = 0.0f;
            ImageBuffer expected = tiletest::copyOf(image);
            plainTwoPass<float>(expected, method, radii);
            EXPECT_TRUE(tiletest::sameFloatImages(expected, tiletest::renderFloat(blur, image)));
            const ImageBuffer bytes = tiletest::bytesOf(image);
            ImageBuffer expected8 = tiletest::copyOf8(bytes);
            plainTwoPass<uint8_t>(expected8, method, radii);
            EXPECT_TRUE(tiletest::sameByteImages(expected8, tiletest::render8(blur, bytes)));
        }
    }
}

// Every pixel's radius as the tile makes it for an image without a region:
// the ramp of its distance from the centre, times B.
std::vector<float> radialRadii(const RadialBlurMod& blur, int32_t method, int32_t width, int32_t height) {
    const float amount = blur.floatAt(0)->value;
    const float falloff = blur.floatAt(1)->value;
    const float exponent = 1.0f / powf(static_cast<float>(static_cast<double>(falloff) * -0.01 + 1.0), 1.68f);
    const float rr = static_cast<float>(static_cast<double>(blur.floatAt(2)->value) * 1.85);
    const float hw = static_cast<float>(width) * 0.5f, hh = static_cast<float>(height) * 0.5f;
    const float reach = sqrtf(hw * hw + hh * hh) * rr;
    const float b = radialBlurMaxRadius(amount, method, static_cast<float>(width), static_cast<float>(height));
    const int32_t cx = static_cast<int32_t>(static_cast<float>(width) * 0.5f);
    const int32_t cy = static_cast<int32_t>(static_cast<float>(height) * 0.5f);
    std::vector<float> radii(static_cast<size_t>(width) * height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const float dx = static_cast<float>(x - cx), dy = static_cast<float>(y - cy);
            radii[y * width + x] = vignetteRamp(sqrtf(dx * dx + dy * dy) / reach, exponent) * b;
        }
    return radii;
}

TEST(RadialBlur, VaryingRadiiSumBitForBitAsOnePixel) {
    // With Falloff 0 the radius grows with the distance from the centre, so
    // neighbours differ and are summed side by side, each with its own
    // kernel; a steep Falloff puts widely different radii side by side. A
    // NaN and an infinity reach only the pixels whose own taps hold them.
    struct Case {
        float falloff, radius;
        int32_t channels;
    };
    const Case cases[] = {{0.0f, 1.0f, 3}, {0.0f, 0.6f, 4}, {90.0f, 0.5f, 1}, {50.0f, 1.0f, 2}};
    for (int32_t method = 0; method < 2; ++method) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << kMethods[method] << ", falloff " << c.falloff << ", " << c.channels
                                            << " channels");
            RadialBlurMod blur(3.0f, c.radius);  // B 13.5 (Gaussian), 9 (Box): beyond the slider
            setFloat(blur, 1, c.falloff);
            setMethod(blur, method);
            ImageBuffer image = tiletest::makeTestImage(120, 45, c.channels, 21);
            const std::vector<float> radii = radialRadii(blur, method, 120, 45);
            const ImageBuffer bytes = tiletest::bytesOf(image);
            ImageBuffer expected8 = tiletest::copyOf8(bytes);
            plainTwoPass<uint8_t>(expected8, method, radii);
            EXPECT_TRUE(tiletest::sameByteImages(expected8, tiletest::render8(blur, bytes)));
            if (c.channels == 3) {
                floatAt(image, 100, 8, 1) = kNaN;
                floatAt(image, 15, 40, 0) = INFINITY;
            }
            ImageBuffer expected = tiletest::copyOf(image);
            plainTwoPass<float>(expected, method, radii);
            EXPECT_TRUE(tiletest::sameFloatImages(expected, tiletest::renderFloat(blur, image)));
        }
    }
}

TEST(RadialBlur, DiscsOfVaryingRadiiAreTheSameInEveryBand) {
    // B 45 (an Amount beyond the slider) on 600 x 400 pixels: two columns of
    // the disc's tiles, neighbours of different radii in every block, and
    // bands whose widest discs differ (the tiles are cut by B all the same).
    RadialBlurMod blur(3.0f, 1.0f);
    setFloat(blur, 1, 0.0f);
    setMethod(blur, 2);
    tiletest::expectBandedEqualsWhole(blur, tiletest::makeTestImage(600, 400, 3, 5));
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
