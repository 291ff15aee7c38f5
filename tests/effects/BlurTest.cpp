// The Blur tile and the convolution core.
//
// The optimised routines (blocked, vectorised, in place over a ring of rows)
// are checked against a plain transcription of the blur kept here: weights
// built tap by tap, the row and then the column copied aside and summed with
// clamped indices, exactly as the blur is defined. The two-pass blurs and
// the convolution match it bit for bit; the disc, summed by row spans and
// rim cells, within float rounding of its cell-by-cell sum.

#include <gtest/gtest.h>

#include <math.h>

#include <cstdint>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "effects/Blur.h"
#include "framework/ModListHelpers.h"
#include "framework/SelectorMod.h"
#include "framework/TilePrototypes.h"
#include "support/ImageBuilders.h"
#include "support/TestTiles.h"
#include "support/TileProperties.h"

namespace {

// ---- The plain reference ---------------------------------------------------------------

namespace plain {

int clampIndex(int i, int size) { return i < 0 ? 0 : (i >= size ? size - 1 : i); }
float clamp255(float v) { return v < 0.0f ? 0.0f : (v > 255.0f ? 255.0f : v); }
uint8_t truncate(float v) {  // clamp, then truncate toward zero
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 255;
    return static_cast<uint8_t>(v);
}

std::vector<float> weights(unsigned method, float r, int n) {
    std::vector<float> w(2 * n + 1);
    for (int k = 0; k < 2 * n + 1; ++k) {
        const int i = k - n;
        if (method == 1) {
            const float d = static_cast<float>(i < 0 ? -i : i);
            w[k] = d < r - 1 ? 1.0f : (d >= r ? 0.0f : r - d);
        } else {
            const float t = static_cast<float>(i < 0 ? -i : i) / r;
            float v = 0.0f;
            if (!(t > 1.0f)) {
                const float u = 1.0f - t;
                if (u <= 0.0f) {
                    v = 0.0f;
                } else if (u < 0.5f) {
                    v = (2.0f * u) * (2.0f * u) * 0.5f;
                } else if (u < 1.0f) {
                    const float s = static_cast<float>(2.0 - 2.0 * u);
                    v = static_cast<float>(1.0 - 0.5 * (s * s));
                } else {
                    v = 1.0f;
                }
            }
            w[k] = v;
        }
    }
    float sum = 0.0f;
    for (float v : w) sum += v;
    w[0] = w[0] / sum;
    for (size_t k = 1; k < w.size(); ++k) w[k] *= 1.0f / sum;
    return w;
}

// The disc's cell weights, not normalised; weight gets their sum in double.
std::vector<float> disc(float r, int n, double& weight) {
    const int size = 2 * n + 1;
    std::vector<float> kernel(size * size);
    weight = 0.0;
    for (int j = 0; j < size; ++j)
        for (int i = 0; i < size; ++i) {
            const int dx = i - n, dy = j - n;
            const float d = sqrtf(static_cast<float>(dx * dx + dy * dy));
            const float w = d < r - 1 ? 1.0f : (d < r ? r - d : 0.0f);
            kernel[j * size + i] = w;
            weight += w;
        }
    return kernel;
}

// Acc double: the exact sum the disc is held to (each product exact, the
// sum rounded once, then divided by divisor), rather than the float sum's
// rounding of every step.
template <class Sample, class Acc = float>
void convolve(const ImageBuffer& source, const float* kernel, int kw, int kh, ImageBuffer& output,
              Acc divisor = 1) {
    const int w = source.width, h = source.height, sc = source.channelCount(), oc = output.channelCount();
    const int channels = sc < oc ? sc : oc;
    const Sample* in = static_cast<const Sample*>(source.data);
    Sample* out = static_cast<Sample*>(output.data);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < channels; ++c) {
                Acc acc = 0;
                for (int ky = 0; ky < kh; ++ky) {
                    const int sy = clampIndex(y - kh / 2 + ky, h);
                    for (int kx = 0; kx < kw; ++kx) {
                        const int sx = clampIndex(x - kw / 2 + kx, w);
                        acc += static_cast<Acc>(static_cast<float>(in[(sy * w + sx) * sc + c]) * kernel[ky * kw + kx]);
                    }
                }
                acc = acc / divisor;
                if constexpr (std::is_same<Sample, uint8_t>::value)
                    out[(y * w + x) * oc + c] = truncate(static_cast<float>(acc));
                else
                    out[(y * w + x) * oc + c] = static_cast<float>(acc);
            }
}

// The blur as defined, on float (eightBit false) or byte samples.
template <class Sample>
void blur(ImageBuffer& image, unsigned method, float r, float mix) {
    constexpr bool eightBit = std::is_same<Sample, uint8_t>::value;
    const int n = static_cast<int>(ceilf(r - 1.0f));
    if (mix == 0.0f || n <= 0 || method > 2) return;
    const int w = image.width, h = image.height, ch = image.channelCount();
    Sample* s = static_cast<Sample*>(image.data);
    auto store = [](float v) -> Sample {
        if constexpr (eightBit) return truncate(v);
        else return v;
    };
    if (method == 2) {
        double weight = 0.0;
        const std::vector<float> kernel = disc(r, n, weight);
        ImageBuffer convolved;
        if (eightBit)
            convolved.allocate8(w, h, ch);
        else
            convolved.allocateFloat(w, h, ch);
        convolve<Sample, double>(image, kernel.data(), 2 * n + 1, 2 * n + 1, convolved, weight);
        const Sample* c = static_cast<const Sample*>(convolved.data);
        for (int i = 0; i < w * h * ch; ++i)
            s[i] = store(clamp255(static_cast<float>(s[i]) * (1.0f - mix) + static_cast<float>(c[i]) * mix));
        return;
    }
    std::vector<Sample> original;
    if (mix < 1.0f) original.assign(s, s + w * h * ch);
    const std::vector<float> wt = weights(method, r, n);
    std::vector<Sample> line;
    for (int y = 0; y < h; ++y) {  // rows
        line.assign(s + y * w * ch, s + (y + 1) * w * ch);
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < ch; ++c) {
                float acc = 0.0f;
                for (int k = 0; k < 2 * n + 1; ++k)
                    acc += wt[k] * static_cast<float>(line[clampIndex(x - n + k, w) * ch + c]);
                s[(y * w + x) * ch + c] = store(acc);  // no clamp in float
            }
    }
    for (int x = 0; x < w; ++x) {  // columns
        line.resize(h * ch);
        for (int y = 0; y < h; ++y)
            for (int c = 0; c < ch; ++c) line[y * ch + c] = s[(y * w + x) * ch + c];
        for (int y = 0; y < h; ++y)
            for (int c = 0; c < ch; ++c) {
                float acc = 0.0f;
                for (int k = 0; k < 2 * n + 1; ++k)
                    acc += wt[k] * static_cast<float>(line[clampIndex(y - n + k, h) * ch + c]);
                s[(y * w + x) * ch + c] = store(clamp255(acc));
            }
    }
    if (!original.empty())
        for (int i = 0; i < w * h * ch; ++i)
            s[i] = store(clamp255(static_cast<float>(s[i]) * mix + static_cast<float>(original[i]) * (1.0f - mix)));
}

}  // namespace plain

// ---- Helpers ----------------------------------------------------------------------------------

using testimages::floatsIdentical;
using testimages::bytesIdentical;

// Samples spread beyond 0..255 (-60 .. 320), so that the unclamped
// horizontal pass and the clamps are exercised.
ImageBuffer wideRangeImage(int32_t width, int32_t height, int32_t channels, uint32_t seed) {
    ImageBuffer image;
    image.allocateFloat(width, height, channels);
    uint32_t state = seed * 2654435761u + 12345u;
    float* s = image.floats();
    for (int64_t i = 0; i < image.sampleCount(); ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        s[i] = static_cast<float>(state % 38001u) / 100.0f - 60.0f;
    }
    return image;
}

ImageBuffer duplicate(const ImageBuffer& image) { return testimages::duplicateFloat(image); }

// The scale each disc sample is held to: the average magnitude of its
// disc's samples, Σ w |v| / Σ w (the exact sum's own size where they share a
// sign; where they cancel, no float sum comes nearer than a rounding of
// their size), and with a mix below 1 the unblurred sample too, as the mix
// rounds relative to it.
ImageBuffer discScale(const ImageBuffer& input, float r, float mix) {
    ImageBuffer magnitude = duplicate(input);
    for (int64_t i = 0; i < magnitude.sampleCount(); ++i) magnitude.floats()[i] = std::fabs(input.floats()[i]);
    const int n = blurHalfWidth(r);
    double weight = 0.0;
    const std::vector<float> kernel = plain::disc(r, n, weight);
    ImageBuffer scale = duplicate(input);
    plain::convolve<float, double>(magnitude, kernel.data(), 2 * n + 1, 2 * n + 1, scale, weight);
    if (mix < 1.0f)
        for (int64_t i = 0; i < scale.sampleCount(); ++i)
            scale.floats()[i] = std::max(scale.floats()[i], magnitude.floats()[i]);
    return scale;
}

// The largest magnitude in each sample's channel over the rows a disc of
// radius r reads: a span's sum comes from prefix sums that run along its
// whole row, so a dark disc in rows that are bright elsewhere is held to the
// size of those rows.
ImageBuffer rowScale(const ImageBuffer& input, float r) {
    const int32_t w = input.width, h = input.height, ch = input.channelCount();
    const int32_t n = blurHalfWidth(r);
    std::vector<float> rowMax(static_cast<size_t>(h) * ch, 0.0f);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            for (int32_t c = 0; c < ch; ++c)
                rowMax[y * ch + c] = std::max(rowMax[y * ch + c], std::fabs(testimages::floatAt(input, x, y, c)));
    ImageBuffer scale = duplicate(input);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t c = 0; c < ch; ++c) {
            float m = 0.0f;
            for (int32_t j = std::max(0, y - n); j <= std::min(h - 1, y + n); ++j) m = std::max(m, rowMax[j * ch + c]);
            for (int32_t x = 0; x < w; ++x) scale.floats()[(static_cast<int64_t>(y) * w + x) * ch + c] = m;
        }
    return scale;
}

// The disc against its exact sum (plain::blur's, each product and the
// weights summed in double, divided once): each sample within 1e-6 of it,
// relative to its scale (discScale) and at least 1; NaN and infinity where
// it has them.
::testing::AssertionResult discClose(const ImageBuffer& plain, const ImageBuffer& fast, const ImageBuffer& scale) {
    if (plain.width != fast.width || plain.height != fast.height || plain.channelCount() != fast.channelCount())
        return ::testing::AssertionFailure() << "other size";
    for (int64_t i = 0; i < plain.sampleCount(); ++i) {
        const float a = plain.floats()[i];
        const float b = fast.floats()[i];
        const bool same = std::isnan(a) || std::isnan(b) || std::isinf(a) || std::isinf(b)
                              ? (std::isnan(a) && std::isnan(b)) || a == b
                              : std::fabs(a - b) <= 1e-6f * std::max(scale.floats()[i], 1.0f);
        if (!same) return ::testing::AssertionFailure() << "sample " << i << ": plain " << a << ", disc " << b;
    }
    return ::testing::AssertionSuccess();
}

// Bytes within a level: the disc's sum can fall on the other side of a
// whole number than the cell-by-cell sum.
::testing::AssertionResult bytesWithinLevel(const ImageBuffer& plain, const ImageBuffer& fast) {
    for (int64_t i = 0; i < plain.sampleCount(); ++i)
        if (std::abs(plain.bytes()[i] - fast.bytes()[i]) > 1)
            return ::testing::AssertionFailure() << "sample " << i << ": plain " << +plain.bytes()[i] << ", disc "
                                                 << +fast.bytes()[i];
    return ::testing::AssertionSuccess();
}

void setAmount(ImageMod& tile, float amount) { tile.floatAt(0)->value = amount; }
void setMethod(ImageMod& tile, int32_t method) { tile.var(2)->choiceValue()->selected = method; }

const char* const kMethodNames[] = {"Gaussian", "Box", "Circle"};

// ---- Kernels -------------------------------------------------------------------------------

TEST(BlurKernels, RawWeightsOfTheWorkedExamples) {
    struct Case {
        uint32_t method;
        float r;
        int32_t n;
        std::vector<float> raw;
    };
    const Case cases[] = {
        {kBlurBox, 3.0f, 2, {1.0f, 1.0f, 1.0f, 1.0f, 1.0f}},    // a plain five-tap average
        {kBlurBox, 2.5f, 2, {0.5f, 1.0f, 1.0f, 1.0f, 0.5f}},    // fractional end taps
        {kBlurGaussian, 2.0f, 1, {0.5f, 1.0f, 0.5f}},            // u = 0.5 at the outer taps
        {kBlurGaussian, 3.0f, 2, {0.22222224f, 0.7777778f, 1.0f, 0.7777778f, 0.22222224f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << kMethodNames[c.method] << " r " << c.r);
        ASSERT_EQ(blurHalfWidth(c.r), c.n);
        for (int32_t k = 0; k < 2 * c.n + 1; ++k) {
            const float w = c.method == kBlurBox ? boxTapWeight(c.r, k - c.n) : gaussianTapWeight(c.r, k - c.n);
            EXPECT_FLOAT_EQ(w, c.raw[k]) << "tap " << k;
        }
        // Normalised: the first divided by the float sum, the others
        // multiplied by its reciprocal.
        const std::vector<float> taps = blurTaps(c.method, c.r, c.n);
        ASSERT_EQ(taps.size(), c.raw.size());
        std::vector<float> raw;
        float sum = 0.0f;
        for (int32_t k = 0; k < 2 * c.n + 1; ++k) {
            raw.push_back(c.method == kBlurBox ? boxTapWeight(c.r, k - c.n) : gaussianTapWeight(c.r, k - c.n));
            sum += raw.back();
        }
        EXPECT_EQ(taps[0], raw[0] / sum);
        for (size_t k = 1; k < taps.size(); ++k) EXPECT_EQ(taps[k], raw[k] * (1.0f / sum));
    }
    EXPECT_TRUE(blurTaps(kBlurCircle, 3.0f, 2).empty());
    EXPECT_TRUE(blurTaps(kBlurGaussian, 3.0f, 0).empty());
}

TEST(BlurKernels, HalfWidthAndItsGuards) {
    struct Case {
        float r;
        int32_t n;
    };
    const Case cases[] = {
        {5.8f, 5},   // Amount 20 on a 4000-pixel side: 11 taps
        {2.0f, 1},
        {2.5f, 2},
        {1.0f, 0},   // r - 1 is 0: nothing to do
        {1.0f + std::numeric_limits<float>::epsilon(), 1},
        {0.5f, 0},
        {-3.0f, 0},
        {std::numeric_limits<float>::quiet_NaN(), 0},
        {std::numeric_limits<float>::infinity(), 0},
        {1e30f, 0},  // beyond any picture: left alone rather than summed forever
        {static_cast<float>(kMaxBlurHalfWidth) + 1.0f, kMaxBlurHalfWidth},
    };
    for (const Case& c : cases) EXPECT_EQ(blurHalfWidth(c.r), c.n) << "r " << c.r;
}

TEST(BlurKernels, DiscHasAFractionalRimAndSumsToOne) {
    const float r = 2.5f;
    EXPECT_EQ(discCellWeight(r, 0, 0), 1.0f);
    EXPECT_EQ(discCellWeight(r, 1, 1), 1.0f);                 // d = 1.414 < r - 1
    EXPECT_FLOAT_EQ(discCellWeight(r, 2, 0), 0.5f);           // d = 2: r - d
    EXPECT_FLOAT_EQ(discCellWeight(r, 2, 1), r - sqrtf(5.0f));
    EXPECT_EQ(discCellWeight(r, 2, 2), 0.0f);                 // d = 2.83 >= r
    const std::vector<float> kernel = discKernel(r, 2);
    ASSERT_EQ(kernel.size(), 25u);
    double sum = 0.0;
    for (float w : kernel) sum += w;
    EXPECT_NEAR(sum, 1.0, 1e-6);
    EXPECT_FLOAT_EQ(kernel[12], 1.0f / (9.0f + 4.0f * 0.5f + 8.0f * (r - sqrtf(5.0f))));  // centre: 1 / S
}

// ---- The optimised blur equals the plain one, bit for bit -------------------------------

struct Size {
    int32_t width, height;
};

void expectMatchesPlain(const ImageBuffer& input, uint32_t method, float r, float mix) {
    ImageBuffer fast = duplicate(input);
    ImageBuffer slow = duplicate(input);
    blurImage(fast, method, r, mix);
    plain::blur<float>(slow, method, r, mix);
    EXPECT_TRUE(method == kBlurCircle ? discClose(slow, fast, discScale(input, r, mix)) : floatsIdentical(slow, fast));

    ImageBuffer bytes;
    ImageBuffer::copy8FromFloat(bytes, input, true);
    ImageBuffer fast8 = testimages::duplicateBytes(bytes);
    ImageBuffer slow8 = testimages::duplicateBytes(bytes);
    blurImage8(fast8, method, r, mix);
    plain::blur<uint8_t>(slow8, method, r, mix);
    EXPECT_TRUE(method == kBlurCircle ? bytesWithinLevel(slow8, fast8) : bytesIdentical(slow8, fast8));
}

TEST(BlurCore, EqualsThePlainBlurOnRandomImages) {
    // Sizes: single pixels and lines, images narrower or shorter than the
    // kernel, rows of several vector blocks and strips, and heights that make
    // the ring of rows wrap over several chunks.
    const Size sizes[] = {{1, 1}, {1, 9}, {9, 1}, {2, 3}, {7, 5}, {150, 3}, {37, 80}, {131, 70}};
    const float radii[] = {1.5f, 2.0f, 2.5f, 3.0f, 4.7f, 8.2f};
    const float mixes[] = {1.0f, 0.37f};
    uint32_t seed = 1;
    for (const Size& size : sizes) {
        for (int32_t channels : {3, 4}) {
            const ImageBuffer input = wideRangeImage(size.width, size.height, channels, seed++);
            for (uint32_t method = 0; method < 3; ++method) {
                for (float r : radii) {
                    // The disc costs K² per sample; keep it to small radii on the larger images.
                    if (method == kBlurCircle && r > 3.0f && size.width * size.height > 400) continue;
                    for (float mix : mixes) {
                        SCOPED_TRACE(testing::Message() << size.width << "x" << size.height << "x" << channels << " "
                                                        << kMethodNames[method] << " r " << r << " mix " << mix);
                        expectMatchesPlain(input, method, r, mix);
                    }
                }
            }
        }
    }
}

TEST(BlurCore, EqualsThePlainBlurForWideKernelsAndOtherChannelCounts) {
    // A kernel far taller and wider than the image, and one- and
    // two-channel images (the blur treats every channel alike).
    const ImageBuffer small = wideRangeImage(6, 4, 3, 41);
    for (uint32_t method = 0; method < 3; ++method) {
        SCOPED_TRACE(kMethodNames[method]);
        expectMatchesPlain(small, method, 21.3f, 1.0f);
    }
    for (int32_t channels : {1, 2}) {
        const ImageBuffer image = wideRangeImage(45, 38, channels, 50 + channels);
        for (uint32_t method = 0; method < 3; ++method) {
            SCOPED_TRACE(testing::Message() << channels << " channels, " << kMethodNames[method]);
            expectMatchesPlain(image, method, 3.4f, 0.8f);
        }
    }
    // A long kernel on an image several strips wide and several chunks tall.
    expectMatchesPlain(wideRangeImage(97, 150, 3, 77), kBlurGaussian, 30.5f, 1.0f);
}

TEST(BlurCore, ConvolutionEqualsThePlainOne) {
    // An asymmetric kernel of even width, negative weights (a high-pass), and
    // outputs with fewer and more channels than the source.
    const int32_t kw = 4, kh = 3;
    const float kernel[kw * kh] = {-0.5f, 0.25f, 1.5f, -0.125f, 0.75f, -2.0f, 3.0f, 0.5f, 0.1f, 0.2f, -0.3f, 0.4f};
    const ImageBuffer source = wideRangeImage(131, 9, 4, 3);
    for (int32_t outputChannels : {4, 3, 5}) {
        SCOPED_TRACE(testing::Message() << outputChannels << " output channels");
        ImageBuffer fast, slow;
        fast.allocateFloat(source.width, source.height, outputChannels);
        slow.allocateFloat(source.width, source.height, outputChannels);
        convolveImage(source, kernel, kw, kh, fast);
        plain::convolve<float>(source, kernel, kw, kh, slow);
        EXPECT_TRUE(floatsIdentical(slow, fast));
    }
    // In place: the output may be the source.
    ImageBuffer inPlace = duplicate(source);
    ImageBuffer expected;
    expected.allocateFloat(source.width, source.height, 4);
    plain::convolve<float>(source, kernel, kw, kh, expected);
    convolveImage(inPlace, kernel, kw, kh, inPlace);
    EXPECT_TRUE(floatsIdentical(expected, inPlace));
    // A kernel taller than the image.
    const float tall[1 * 7] = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, 0.7f};
    ImageBuffer fast, slow;
    fast.allocateFloat(source.width, source.height, 4);
    slow.allocateFloat(source.width, source.height, 4);
    convolveImage(source, tall, 1, 7, fast);
    plain::convolve<float>(source, tall, 1, 7, slow);
    EXPECT_TRUE(floatsIdentical(slow, fast));
}

TEST(BlurCore, EightBitConvolutionClampsBeforeTruncating) {
    // A kernel summing to 2 pushes 200 to 400: the byte is 255, not 400
    // wrapped; a negative kernel gives 0.
    ImageBuffer source = testimages::filledByteImage(5, 4, {200, 10, 0});
    const float doubling[3 * 3] = {0, 0, 0, 0, 2.0f, 0, 0, 0, 0};
    ImageBuffer out;
    out.allocate8(5, 4, 3);
    convolveImage8(source, doubling, 3, 3, out);
    EXPECT_EQ(testimages::byteAt(out, 2, 2, 0), 255);
    EXPECT_EQ(testimages::byteAt(out, 2, 2, 1), 20);
    const float negative[1] = {-1.0f};
    convolveImage8(source, negative, 1, 1, out);
    EXPECT_EQ(testimages::byteAt(out, 0, 0, 0), 0);
    // Mismatched sizes and empty kernels leave the output alone.
    ImageBuffer other;
    other.allocate8(4, 4, 3);
    convolveImage8(source, doubling, 3, 3, other);
    EXPECT_EQ(testimages::byteAt(other, 0, 0, 0), 0);
    convolveImage8(source, doubling, 0, 3, out);
    convolveImage8(source, nullptr, 3, 3, out);
    EXPECT_EQ(testimages::byteAt(out, 0, 0, 0), 0);
}

TEST(BlurCore, FlatImagesStayFlat) {
    const ImageBuffer flat = testimages::filledFloatImage(40, 30, {100.0f, 37.25f, 255.0f, 0.0f});
    for (uint32_t method = 0; method < 3; ++method) {
        for (float mix : {1.0f, 0.5f}) {
            SCOPED_TRACE(testing::Message() << kMethodNames[method] << " mix " << mix);
            ImageBuffer image = duplicate(flat);
            blurImage(image, method, 6.3f, mix);
            EXPECT_TRUE(testimages::floatsWithin(flat, image, 1e-3f));
        }
    }
    // In 8-bit each pass truncates its sums, and normalised weights may sum
    // to a hair below 1: a flat area may lose a level per pass, never more.
    ImageBuffer bytes = testimages::filledByteImage(40, 30, {100, 37, 255});
    blurImage8(bytes, kBlurGaussian, 6.3f, 1.0f);
    for (int64_t i = 0; i < bytes.sampleCount(); i += 3) {
        EXPECT_GE(bytes.bytes()[i], 98);
        EXPECT_LE(bytes.bytes()[i], 100);
    }
}

TEST(BlurCore, NothingToDoLeavesTheImageAlone) {
    const ImageBuffer input = wideRangeImage(20, 15, 3, 9);
    struct Case {
        const char* what;
        uint32_t method;
        float r;
        float mix;
    };
    const Case cases[] = {
        {"mix 0", kBlurGaussian, 5.0f, 0.0f},
        {"radius 1", kBlurBox, 1.0f, 1.0f},
        {"radius below 1", kBlurCircle, 0.3f, 1.0f},
        {"method 3", 3, 5.0f, 1.0f},
        {"NaN radius", kBlurGaussian, std::numeric_limits<float>::quiet_NaN(), 1.0f},
        {"absurd radius", kBlurBox, 1e20f, 1.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImageBuffer image = duplicate(input);
        blurImage(image, c.method, c.r, c.mix);
        EXPECT_TRUE(floatsIdentical(input, image));
    }
    ImageBuffer empty;
    blurImage(empty, kBlurGaussian, 5.0f, 1.0f);  // no samples: no crash
    EXPECT_EQ(empty.data, nullptr);
}

TEST(BlurCore, DiscEqualsTheCellByCellSumAtEveryRadius) {
    // Radii from none (r 1: n 0) and one (n 1) up to discs whose spans come
    // from prefix sums (n 9 and more) and discs wider than the image; lines
    // of one row or column (every row of the disc clamped to it), and images
    // several tiles wide (a tile is 16 n pixels, at least 32).
    struct Case {
        int32_t width, height;
        float r;
    };
    const Case cases[] = {
        {1, 1, 2.5f},   {1, 17, 2.0f},  {17, 1, 2.0f},  {1, 60, 9.7f},  {60, 1, 9.7f},   {23, 17, 1.0f},
        {23, 17, 1.5f}, {23, 17, 3.0f}, {70, 23, 9.7f}, {70, 23, 25.0f}, {300, 20, 9.7f}, {1100, 6, 34.5f},
    };
    uint32_t seed = 300;
    for (const Case& c : cases) {
        for (int32_t channels : {1, 3, 4}) {
            if (channels != 3 && c.width * c.height > 2000) continue;  // the plain sum is slow
            SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << channels << " r " << c.r);
            const ImageBuffer input = wideRangeImage(c.width, c.height, channels, seed++);
            for (float mix : {1.0f, 0.6f}) expectMatchesPlain(input, kBlurCircle, c.r, mix);
        }
    }
    ImageBuffer image = wideRangeImage(23, 17, 3, 1);
    const ImageBuffer before = duplicate(image);
    blurImage(image, kBlurCircle, 1.0f, 1.0f);  // n 0: nothing to do
    EXPECT_TRUE(floatsIdentical(before, image));
}

TEST(BlurCore, DarkDiscsBesideABrightAreaStayWithinTheirRowsScale) {
    // Rows white for most of every 700 pixels and dark (0.5 to 1.5) beyond:
    // the spans of a dark disc come from prefix sums that ran through the
    // white part first, whose rounding reaches the dark sums at the size of
    // the white, and no further.
    ImageBuffer image;
    image.allocateFloat(1400, 4, 3);
    const ImageBuffer noise = testimages::makeFloatImage(1400, 4, 3, 5);  // 0..255
    for (int64_t i = 0; i < image.sampleCount(); ++i)
        image.floats()[i] = (i / 3) % 1400 % 700 < 450 ? 255.0f : 0.5f + noise.floats()[i] / 255.0f;
    for (float r : {9.7f, 20.0f, 35.5f}) {
        SCOPED_TRACE(testing::Message() << "r " << r);
        ImageBuffer fast = duplicate(image);
        ImageBuffer slow = duplicate(image);
        blurImage(fast, kBlurCircle, r, 1.0f);
        plain::blur<float>(slow, kBlurCircle, r, 1.0f);
        EXPECT_TRUE(discClose(slow, fast, rowScale(image, r)));
    }
}

TEST(BlurCore, DiscSpreadsNonFiniteSamplesAsTheCellByCellSum) {
    // A sample whose disc square holds NaN or an infinity gets the cell-by-
    // cell sum (NaN even through a cell of weight 0, as ever); huge samples
    // are summed one by one in their rows rather than by prefix sums.
    ImageBuffer image = wideRangeImage(60, 40, 3, 77);
    testimages::floatAt(image, 10, 5, 0) = std::numeric_limits<float>::quiet_NaN();
    testimages::floatAt(image, 45, 20, 1) = std::numeric_limits<float>::infinity();
    testimages::floatAt(image, 5, 33, 2) = -std::numeric_limits<float>::infinity();
    testimages::floatAt(image, 30, 12, 0) = 1e30f;
    testimages::floatAt(image, 31, 30, 2) = -3e28f;
    for (float r : {2.5f, 4.2f, 12.5f}) {
        SCOPED_TRACE(testing::Message() << "r " << r);
        ImageBuffer fast = duplicate(image);
        ImageBuffer slow = duplicate(image);
        blurImage(fast, kBlurCircle, r, 1.0f);
        plain::blur<float>(slow, kBlurCircle, r, 1.0f);
        EXPECT_TRUE(discClose(slow, fast, discScale(image, r, 1.0f)));
        // Far from them the samples stay finite.
        EXPECT_TRUE(std::isfinite(testimages::floatAt(fast, 59, 0, 1)));
    }
}

// The average of one pixel's disc of radius k as defined: the cells of
// weight above 0 (1 closer than k, k + 1 - d closer than k + 1), each
// product and the weights summed in double, edges repeated; unclamped.
template <class Sample = float>
double plainDiscAverage(const ImageBuffer& source, int32_t x, int32_t y, int32_t c, float k) {
    const int32_t m = static_cast<int32_t>(ceilf(k));
    double sum = 0.0, weight = 0.0;
    for (int32_t dy = -m; dy <= m; ++dy)
        for (int32_t dx = -m; dx <= m; ++dx) {
            const float d = sqrtf(static_cast<float>(dx * dx + dy * dy));
            const float w = d < k ? 1.0f : (d < k + 1.0f ? (k + 1.0f) - d : 0.0f);
            if (w == 0.0f) continue;
            const int32_t sx = plain::clampIndex(x + dx, source.width);
            const int32_t sy = plain::clampIndex(y + dy, source.height);
            const Sample* px = static_cast<const Sample*>(source.data) +
                               (static_cast<int64_t>(sy) * source.width + sx) * source.channelCount();
            const float v = static_cast<float>(px[c]);
            sum += static_cast<double>(w) * v;
            weight += w;
        }
    return sum / weight;
}

// Radii as a radial blur makes them: growing from a point, steeply or
// gently, up to `common`, which the outer pixels share; among them pixels
// left alone (0, negative, NaN, and one beyond the windows' half-width n).
std::vector<float> rampRadii(int32_t width, int32_t height, float common, float slope, int32_t n) {
    std::vector<float> radii(static_cast<size_t>(width) * height);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const float dist = std::hypot(static_cast<float>(x - width / 3), static_cast<float>(y - height / 2));
            const int32_t i = y * width + x;
            float k = std::min(common, slope * dist);
            if (i % 37 == 5) k = 0.0f;
            if (i % 41 == 7) k = -2.0f;
            if (i % 43 == 9) k = std::numeric_limits<float>::quiet_NaN();
            if (i % 47 == 11) k = common;
            if (i == 3) k = static_cast<float>(n) + 0.5f;
            radii[i] = k;
        }
    return radii;
}

TEST(BlurCore, DiscAveragesOfARadiusPerPixel) {
    // Every averaged sample within 1e-6 of its cell-by-cell sum (relative to
    // the sample, at least 1), bytes within a level; the first three
    // channels written, a fourth and every pixel left alone untouched. The
    // last case has discs beyond the distance table (half-width above 512).
    struct Case {
        int32_t width, height, channels;
        float common, slope;
    };
    const Case cases[] = {
        {160, 40, 3, 12.0f, 0.05f}, {160, 40, 4, 12.0f, 0.6f}, {70, 30, 1, 6.5f, 0.2f}, {33, 1, 3, 4.0f, 0.3f},
        {1, 33, 4, 4.0f, 0.3f},     {600, 14, 3, 30.0f, 0.04f}, {90, 20, 2, 3.3f, 2.0f}, {200, 3, 3, 150.0f, 1.2f},
        {24, 2, 1, 520.0f, 60.0f},
    };
    uint32_t seed = 700;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << "x" << c.channels << " slope " << c.slope);
        const int32_t n = static_cast<int32_t>(ceilf(c.common));
        const std::vector<float> radii = rampRadii(c.width, c.height, c.common, c.slope, n);
        const ImageBuffer source = testimages::makeFloatImage(c.width, c.height, c.channels, seed++);
        ImageBuffer out = duplicate(source);
        discAverages(source, out, radii.data(), c.common, n, 3);
        ImageBuffer bytes;
        ImageBuffer::copy8FromFloat(bytes, source, true);
        ImageBuffer out8 = testimages::duplicateBytes(bytes);
        discAverages8(bytes, out8, radii.data(), c.common, n, 3);
        for (int32_t y = 0; y < c.height; ++y)
            for (int32_t x = 0; x < c.width; ++x) {
                const float k = radii[y * c.width + x];
                const bool averaged = k > 0.0f && ceilf(k) <= static_cast<float>(n);
                for (int32_t ch = 0; ch < c.channels; ++ch) {
                    const float got = testimages::floatAt(out, x, y, ch);
                    const int got8 = testimages::byteAt(out8, x, y, ch);
                    if (!averaged || ch >= 3) {
                        ASSERT_EQ(got, testimages::floatAt(source, x, y, ch)) << x << "," << y;
                        ASSERT_EQ(got8, testimages::byteAt(bytes, x, y, ch)) << x << "," << y;
                        continue;
                    }
                    const double expected = plainDiscAverage(source, x, y, ch, k);
                    ASSERT_NEAR(got, expected, 1e-6 * std::max(std::fabs(expected), 1.0)) << x << "," << y;
                    const double expected8 = plainDiscAverage<uint8_t>(bytes, x, y, ch, k);
                    ASSERT_LE(std::abs(got8 - static_cast<int>(expected8)), 1) << x << "," << y;
                }
            }
    }
}

TEST(BlurCore, DiscAveragesTakeOnlyTheirOwnCells) {
    // A NaN, an infinity and a huge sample reach the averages whose discs
    // hold them and no other, although the neighbours in a block sum a band
    // of cells beyond their own discs.
    ImageBuffer source = testimages::makeFloatImage(120, 50, 3, 91);
    testimages::floatAt(source, 40, 20, 0) = std::numeric_limits<float>::quiet_NaN();
    testimages::floatAt(source, 90, 30, 1) = std::numeric_limits<float>::infinity();
    testimages::floatAt(source, 60, 45, 2) = 1e30f;
    const float common = 9.0f;
    const std::vector<float> radii = rampRadii(120, 50, common, 0.3f, 9);
    ImageBuffer out = duplicate(source);
    discAverages(source, out, radii.data(), common, 9, 3);
    for (int32_t y = 0; y < 50; ++y)
        for (int32_t x = 0; x < 120; ++x) {
            const float k = radii[y * 120 + x];
            if (!(k > 0.0f) || k > 9.0f) continue;
            for (int32_t ch = 0; ch < 3; ++ch) {
                const float expected = plain::clamp255(static_cast<float>(plainDiscAverage(source, x, y, ch, k)));
                const float got = testimages::floatAt(out, x, y, ch);
                if (std::isnan(expected)) {
                    ASSERT_TRUE(std::isnan(got)) << x << "," << y;
                } else {
                    ASSERT_NEAR(got, expected, 1e-6f * std::max(expected, 1.0f)) << x << "," << y;
                }
            }
        }
}

TEST(BlurCore, EightBitDiscLosesAtMostALevelOnAFlatArea) {
    // The disc divides by the sum of its weights once; its float rounding
    // can still leave a flat area a hair below its level, which the byte
    // truncates, but never further.
    for (float r : {2.01f, 3.3f, 14.2f}) {
        ImageBuffer bytes = testimages::filledByteImage(50, 40, {100, 37, 255, 0});
        blurImage8(bytes, kBlurCircle, r, 1.0f);
        const uint8_t level[4] = {100, 37, 255, 0};
        for (int64_t i = 0; i < bytes.sampleCount(); ++i) {
            ASSERT_LE(bytes.bytes()[i], level[i % 4]) << "r " << r;
            ASSERT_GE(bytes.bytes()[i] + 1, level[i % 4]) << "r " << r;
        }
    }
}

TEST(BlurCore, NaNSamplesStayInTheirNeighbourhood) {
    // A NaN sample spreads through its kernel's reach (as a plain sum would)
    // but reaches no memory outside the image and no far pixel.
    ImageBuffer image = testimages::filledFloatImage(60, 40, {50.0f, 60.0f, 70.0f});
    testimages::floatAt(image, 30, 20, 1) = std::numeric_limits<float>::quiet_NaN();
    ImageBuffer expected = duplicate(image);
    plain::blur<float>(expected, kBlurGaussian, 3.5f, 1.0f);
    blurImage(image, kBlurGaussian, 3.5f, 1.0f);
    EXPECT_TRUE(floatsIdentical(expected, image));
    EXPECT_FALSE(testimages::floatAt(image, 0, 0, 1) != testimages::floatAt(image, 0, 0, 1));
}

TEST(BlurCore, CircleWithFullMixIsTheClampedConvolution) {
    const ImageBuffer input = wideRangeImage(30, 20, 3, 17);
    const float r = 3.2f;
    const int32_t n = blurHalfWidth(r);
    const std::vector<float> kernel = discKernel(r, n);
    ImageBuffer convolved;
    convolved.allocateFloat(30, 20, 3);
    plain::convolve<float, double>(input, kernel.data(), 2 * n + 1, 2 * n + 1, convolved);
    ImageBuffer image = duplicate(input);
    blurImage(image, kBlurCircle, r, 1.0f);
    for (int64_t i = 0; i < convolved.sampleCount(); ++i)
        convolved.floats()[i] = plain::clamp255(convolved.floats()[i]);
    EXPECT_TRUE(discClose(convolved, image, discScale(input, r, 1.0f)));
}

// ---- Masked blend ----------------------------------------------------------------------------

TEST(BlendByMask, MixesByTheWeightOfTheUnprocessedImage) {
    const ImageBuffer before = testimages::filledFloatImage(4, 3, {200.0f, 100.0f, 50.0f});
    ImageBuffer after = testimages::filledFloatImage(4, 3, {0.0f, 0.0f, 250.0f});
    // Weight = red / 255 of the image handed to the selector: 200/255 when
    // measured on the unprocessed image (0 on the processed one).
    WeightSelector byRed(1.0f, redWeight);
    blendByMask(&byRed, before, after, nullptr);
    const double w = 200.0 / 255.0;
    EXPECT_NEAR(testimages::floatAt(after, 1, 1, 0), 200.0 * (1 - w), 1e-3);
    EXPECT_NEAR(testimages::floatAt(after, 1, 1, 2), 50.0 * (1 - w) + 250.0 * w, 1e-3);

    // Images of different shapes are left alone.
    ImageBuffer wider = testimages::filledFloatImage(5, 3, {1.0f, 2.0f, 3.0f});
    const ImageBuffer widerBefore = duplicate(wider);
    blendByMask(&byRed, before, wider, nullptr);
    EXPECT_TRUE(floatsIdentical(widerBefore, wider));

    // 8-bit: the double result truncated.
    const ImageBuffer before8 = testimages::filledByteImage(2, 2, {255, 0, 100});
    ImageBuffer after8 = testimages::filledByteImage(2, 2, {0, 255, 101});
    WeightSelector half(0.5f);
    blendByMask8(&half, before8, after8, nullptr);
    EXPECT_EQ(testimages::byteAt(after8, 0, 0, 0), 127);
    EXPECT_EQ(testimages::byteAt(after8, 0, 0, 1), 127);
    EXPECT_EQ(testimages::byteAt(after8, 0, 0, 2), 100);
}

// ---- The tile ------------------------------------------------------------------------------

TEST(BlurMod, NamesVarsAndPrototype) {
    BlurMod blur(0.0f, 100.0f);
    EXPECT_STREQ(blur.name.c_str(), "Blur");
    EXPECT_STREQ(blur.displayName.c_str(), "Blur");
    ASSERT_EQ(blur.vars.count, 3);
    EXPECT_STREQ(blur.var(2)->name.c_str(), "Blur Method");
    EXPECT_STREQ(blur.var(2)->choiceText().c_str(), "Gaussian");
    EXPECT_EQ(blur.floatAt(0)->maximum, 100.0f);
    EXPECT_EQ(blur.animTracks.count, 3);

    OwnedTiles prototypes;
    buildPrototypeList(prototypes.list);
    int32_t found = 0;
    for (ImageMod* mod : prototypes.list) {
        if (mod->name == GrowString("Blur")) {
            ++found;
            EXPECT_EQ(mod->floatAt(0)->value, 0.0f);
            EXPECT_EQ(mod->floatAt(1)->value, 100.0f);
        }
    }
    EXPECT_EQ(found, 1);
}

TEST(BlurMod, MarginIsTheKernelHalfWidth) {
    struct Case {
        float amount;
        int32_t method;
        int32_t width, height;
        int32_t margin;
    };
    const Case cases[] = {
        {20, 0, 4000, 3000, 5},     // radius 5.8: 11 taps
        {50, 0, 4000, 3000, 30},
        {100, 0, 6000, 4000, 180},
        {50, 0, 6000, 4000, 45},
        {20, 0, 6000, 4000, 8},
        {100, 1, 6000, 4000, 120},  // Box and Circle use 0.02
        {100, 2, 3000, 6000, 120},
        {0, 0, 4000, 3000, 0},
        {79.51f, 0, 1740, 1000, 34},  // the formula rounds to 33, the body's kernel reaches 34
        {100, 0, 4000, 10, 10},     // clamped to the height
        {100, 0, 4000, 0, 0},
    };
    for (const Case& c : cases) {
        BlurMod blur(c.amount, 100.0f);
        setMethod(blur, c.method);
        EXPECT_EQ(blur.marginFor(c.width, c.height, 1.0f), c.margin)
            << c.amount << " " << kMethodNames[c.method] << " " << c.width << "x" << c.height;
    }
    // Hostile values: NaN and a var of another kind give 0, a huge Amount
    // at most the height.
    BlurMod blur(std::numeric_limits<float>::quiet_NaN(), 100.0f);
    EXPECT_EQ(blur.marginFor(4000, 3000, 1.0f), 0);
    setAmount(blur, 1e30f);
    EXPECT_EQ(blur.marginFor(4000, 3000, 1.0f), 3000);
    blur.var(0)->setValue(new ColorValue(1, 2, 3));
    EXPECT_EQ(blur.marginFor(4000, 3000, 1.0f), 0);
    // A method var of another kind counts as Gaussian.
    BlurMod box(100.0f, 100.0f);
    box.var(2)->setValue(new FloatValue(1.0f));
    EXPECT_EQ(box.marginFor(6000, 4000, 1.0f), 180);
}

TEST(BlurMod, MarginCoversTheBodysKernelForEveryAmount) {
    // The margin's formula and the body's radius round differently in float;
    // the margin must never be below the half-width the body uses.
    for (int32_t method : {0, 1}) {
        BlurMod blur(1.0f, 100.0f);
        setMethod(blur, method);
        for (int32_t side : {61, 300, 1000, 3000, 4000, 6000}) {
            for (int32_t step = 1; step <= 1000; ++step) {
                const float amount = static_cast<float>(step) * 0.1f;
                setAmount(blur, amount);
                const float q = static_cast<float>(static_cast<double>(amount) * 0.01);
                const float r = (method == 0 ? 0.03f : 0.02f) * (q * q * static_cast<float>(side)) + 1.0f;
                int32_t n = blurHalfWidth(r);
                if (n > side) n = side;
                ASSERT_GE(blur.marginFor(side, side, 1.0f), n) << "amount " << amount << " side " << side;
            }
        }
    }
}

TEST(BlurMod, RadiusFollowsTheWholePicture) {
    // The same band blurs alike whether it is the whole image or a band of a
    // picture twice as tall (the region gives the whole size).
    const ImageBuffer image = tiletest::makeTestImage(30, 20, 3, 5);
    BlurMod blur(60.0f, 100.0f);
    RenderRegion region;
    region.fullWidth = 30;
    region.fullHeight = 40;
    RenderArgs args;
    args.region = &region;
    ImageBuffer band = duplicate(image);
    blur.applyFloat(band, &args);
    ImageBuffer expected = duplicate(image);
    const float q = static_cast<float>(60.0 * 0.01);
    blurImage(expected, kBlurGaussian, 0.03f * (q * q * 40.0f) + 1.0f, 1.0f);
    EXPECT_TRUE(floatsIdentical(expected, band));
}

TEST(BlurMod, IdentityAndNoOpSettingsLeaveTheImageBitExact) {
    BlurMod off(0.0f, 100.0f);
    tiletest::expectIdentityLeavesImage(off);
    BlurMod noMix(80.0f, 0.0f);
    tiletest::expectIdentityLeavesImage(noMix);
    BlurMod unknown(80.0f, 100.0f);
    setMethod(unknown, 3);
    tiletest::expectIdentityLeavesImage(unknown);
    setMethod(unknown, -1);
    tiletest::expectIdentityLeavesImage(unknown);
    BlurMod tiny(0.01f, 100.0f);  // radius 1 + 3e-8 rounds to 1: half-width 0
    tiletest::expectIdentityLeavesImage(tiny);
    // Vars of another kind (a hostile filter file): Amount or Mix read as 0.
    BlurMod wrongAmount(80.0f, 100.0f);
    wrongAmount.var(0)->setValue(new ColorValue(1, 2, 3));
    tiletest::expectIdentityLeavesImage(wrongAmount);
    BlurMod wrongMix(80.0f, 100.0f);
    wrongMix.var(1)->setValue(new CurveValue());
    tiletest::expectIdentityLeavesImage(wrongMix);
    BlurMod nanAmount(std::numeric_limits<float>::quiet_NaN(), 100.0f);
    tiletest::expectIdentityLeavesImage(nanAmount);
    // The no-op settings return before any copy, so a selector cannot round
    // the samples through its blend either.
    WeightSelector half(0.5f);
    RenderArgs args;
    args.selector = &half;
    const ImageBuffer image = tiletest::standardImage(3);
    EXPECT_TRUE(floatsIdentical(image, tiletest::renderFloat(unknown, image, &args)));
}

TEST(BlurMod, BandedEqualsWholeForEveryMethod) {
    // 300 rows: Amount 100 needs 9 rows of margin (Gaussian), 6 (the others).
    const ImageBuffer image = tiletest::makeTestImage(40, 300, 3, 11);
    for (int32_t method = 0; method < 3; ++method) {
        SCOPED_TRACE(kMethodNames[method]);
        BlurMod blur(100.0f, method == 1 ? 60.0f : 100.0f);
        setMethod(blur, method);
        ASSERT_GT(blur.marginFor(40, 300, 1.0f), 0);
        tiletest::expectBandedEqualsWhole(blur, image);
    }
}

TEST(BlurMod, SelectorLimitsTheBlur) {
    for (int32_t method = 0; method < 3; ++method) {
        SCOPED_TRACE(kMethodNames[method]);
        BlurMod blur(100.0f, 70.0f);
        setMethod(blur, method);
        tiletest::expectSelectorWeightZeroIsIdentity(blur);
        tiletest::expectSelectorWeightOneIsNoSelector(blur);
    }
}

TEST(BlurMod, EightBitWithinALevelOfFloat) {
    const ImageBuffer image = tiletest::makeTestImage(50, 40, 4, 23);
    for (int32_t method = 0; method < 3; ++method) {
        SCOPED_TRACE(kMethodNames[method]);
        BlurMod blur(100.0f, method == 2 ? 100.0f : 45.0f);
        setMethod(blur, method);
        tiletest::expect8BitWithinLevel(blur, image, 1);
    }
}

TEST(BlurMod, CopiesAndFilterFiles) {
    BlurMod blur(42.5f, 63.0f);
    setMethod(blur, 2);
    tiletest::expectCloneCopyFromEquals(blur);
    tiletest::expectFilterRoundTrip(blur);
}

}  // namespace

