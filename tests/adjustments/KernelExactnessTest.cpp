// The rewritten forms the vectorised kernels use in place of a library call
// or a branch, held to the original over every input of their range, and
// the guard the shared HSV reading adds.
//
// The exhaustive runs spread over the parallel loop; builds without
// optimisation or with AddressSanitizer visit every 61st input instead, so
// the sanitizer run stays short.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "adjustments/Curves.h"
#include "adjustments/ToneTestSupport.h"
#include "pixels/PixelKit.h"
#include "platform/ParallelFor.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || !defined(__OPTIMIZE__)
constexpr uint64_t kStride = 61;
#else
constexpr uint64_t kStride = 1;
#endif

float floatOf(uint32_t bits) {
    float v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

uint32_t bitsOf(float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

// Runs check(bits) for every bit pattern in [first, last] (every kStride-th
// one in slow builds) on the parallel loop; the number of patterns for
// which it returned false, and the first such pattern seen.
template <class Check>
uint64_t countMismatches(uint32_t first, uint32_t last, Check check, uint32_t* example) {
    constexpr int32_t kParts = 256;
    const uint64_t span = static_cast<uint64_t>(last) - first + 1;
    std::atomic<uint64_t> mismatches{0};
    std::atomic<uint32_t> seen{0};
    parallelFor(kParts, 0.5f, [&](int32_t part) {
        const uint64_t begin = span * static_cast<uint64_t>(part) / kParts;
        const uint64_t end = span * static_cast<uint64_t>(part + 1) / kParts;
        uint64_t local = 0;
        for (uint64_t i = begin + (kStride - begin % kStride) % kStride; i < end; i += kStride) {
            const uint32_t bits = static_cast<uint32_t>(first + i);
            if (!check(bits)) {
                if (local++ == 0) seen.store(bits);
            }
        }
        mismatches += local;
    });
    *example = seen.load();
    return mismatches.load();
}

// countMismatches over every float, with the check taking the float.
struct Mismatches {
    uint64_t count = 0;
    float example = 0.0f;
};
template <class Check>
Mismatches overEveryFloat(Check check) {
    uint32_t example = 0;
    Mismatches m;
    m.count = countMismatches(0u, 0xFFFFFFFFu, [&check](uint32_t bits) { return check(floatOf(bits)); }, &example);
    m.example = floatOf(example);
    return m;
}

// The branches the curve lookups had before they were written with
// selects: `position` on 0..1 picks the case, u is the table position.
float branchingLookup(const float* table, float position, float u) {
    if (position >= 1.0f) return table[pixel::kTableLast];
    if (position > 0.0f) {
        int32_t k = static_cast<int32_t>(u);
        if (k > pixel::kTableLast - 1) k = pixel::kTableLast - 1;
        return (u - static_cast<float>(k)) * table[k + 1] + (static_cast<float>(k + 1) - u) * table[k];
    }
    return table[0];
}
float branchingCurveLookup(const float* table, float v) {
    return branchingLookup(table, v * pixel::kInv255, v * pixel::kTableScale);
}
float branchingCurveLookupUnit(const float* table, float t) { return branchingLookup(table, t, 2047.0f * t); }

bool sameBits(float a, float b) { return bitsOf(a) == bitsOf(b) || (std::isnan(a) && std::isnan(b)); }

}  // namespace

// The hue remainder equals fmodf(x, 360) on every float of its range, the
// signed zeros included, and keeps NaN.
TEST(KernelExactness, Remainder360IsFmodOverItsRange) {
    uint32_t example = 0;
    auto same = [](uint32_t bits) {
        const float x = floatOf(bits);
        return bitsOf(pixel::remainder360(x)) == bitsOf(fmodf(x, 360.0f));
    };
    // +0 up to the largest float below 1440, then -0 down to the one above -360.
    EXPECT_EQ(0u, countMismatches(0u, bitsOf(1440.0f) - 1, same, &example)) << floatOf(example);
    EXPECT_EQ(0u, countMismatches(0x80000000u, bitsOf(-360.0f) - 1, same, &example)) << floatOf(example);
    EXPECT_TRUE(std::isnan(pixel::remainder360(NAN)));
}

// The byte store written with selects is storeByte for every float.
TEST(KernelExactness, ClampedByteIsStoreByteForEveryFloat) {
    const Mismatches m = overEveryFloat([](float v) { return pixel::clampedByte(v) == storeByte(v); });
    EXPECT_EQ(0u, m.count) << m.example;
}

// Exactly the 256 floats +0, 1, ..., 255 count as whole bytes (the whole
// number tables hold no other input).
TEST(KernelExactness, WholeByteSamplesAreExactlyTheByteValues) {
    const Mismatches m = overEveryFloat([](float v) {
        const bool byteValue = v >= 0.0f && v <= 255.0f && v == std::floor(v) && !std::signbit(v);
        return pixel::wholeByteSamples(&v, 1) == byteValue;
    });
    EXPECT_EQ(0u, m.count) << m.example;
    const float mixed[3] = {12.0f, 13.5f, 14.0f};
    EXPECT_FALSE(pixel::wholeByteSamples(mixed, 3));
    EXPECT_TRUE(pixel::wholeByteSamples(mixed, 1));
}

// The select form of the curve lookups gives what the branches gave, over
// every float of magnitude up to 2048 (everything beyond reads an end of
// the table in both) and the non-finite ones, on a table holding uneven
// values, a negative zero, an infinity and a NaN.
TEST(KernelExactness, CurveLookupsMatchTheirBranches) {
    static float table[Curve::kTableSize];
    for (int32_t k = 0; k < Curve::kTableSize; ++k) table[k] = std::sin(static_cast<float>(k) * 0.37f) * 0.5f + 0.5f;
    table[0] = -0.0f;
    table[1000] = INFINITY;
    table[2046] = NAN;
    table[pixel::kTableLast] = 0.93f;
    auto sameLookup = [](uint32_t bits) {
        const float v = floatOf(bits);
        return sameBits(pixel::curveLookup(table, v), branchingCurveLookup(table, v)) &&
               sameBits(pixel::curveLookupUnit(table, v), branchingCurveLookupUnit(table, v));
    };
    uint32_t example = 0;
    EXPECT_EQ(0u, countMismatches(0u, bitsOf(2048.0f), sameLookup, &example)) << floatOf(example);
    EXPECT_EQ(0u, countMismatches(0x80000000u, bitsOf(-2048.0f), sameLookup, &example)) << floatOf(example);
    for (float v : {INFINITY, -INFINITY, NAN, 1e30f, -1e30f}) {
        EXPECT_TRUE(sameBits(pixel::curveLookup(table, v), branchingCurveLookup(table, v))) << v;
        EXPECT_TRUE(sameBits(pixel::curveLookupUnit(table, v), branchingCurveLookupUnit(table, v))) << v;
    }
}

// A pixel whose largest sample is 0 while another is negative (only
// samples outside 0..255 do this) has no defined saturation: it reads as
// grey instead of dividing by zero, so the tone curve's "Value" method
// gives it finite samples.
TEST(KernelExactness, ValueOfANegativePixelIsGrey) {
    const float negative[3] = {0.0f, -10.0f, -20.0f};
    const hsvpixel::Hsv hsv = hsvpixel::hsvOf(negative);
    EXPECT_EQ(0.0f, hsv.s);
    EXPECT_EQ(0.0f, hsv.v);

    Curve lift(0);
    GrowString points("0 .2 1 1");
    lift.setFromString(points);
    ToneCurveMod tile(lift);
    tile.var(2)->choiceValue()->selected = 2;  // "Value"
    tile.varChanged(2);
    const ImageBuffer out = tonetest::renderedFloat(tile, tonetest::floatRow(3, {0.0f, -10.0f, -20.0f}));
    for (int32_t c = 0; c < 3; ++c) {
        EXPECT_TRUE(std::isfinite(out.floats()[c])) << c;
        EXPECT_EQ(out.floats()[0], out.floats()[c]) << c;
    }
    EXPECT_GT(out.floats()[0], 0.0f);
}
