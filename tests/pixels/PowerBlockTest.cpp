// powBlock: the same floats as powf, bit for bit, on every path.
#include <gtest/gtest.h>

#include <math.h>

#include <cstring>
#include <limits>
#include <vector>

#include "pixels/PowerBlock.h"

namespace {

uint32_t bitsOf(float v) {
    uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

float fromBits(uint32_t b) {
    float v;
    std::memcpy(&v, &b, sizeof v);
    return v;
}

// Every base against powf; a NaN must stay the same NaN.
void expectLikePowf(const std::vector<float>& bases, float e) {
    std::vector<float> out = bases;
    pixel::powBlock(out.data(), static_cast<int64_t>(out.size()), e);
    int reported = 0;
    for (size_t i = 0; i < bases.size(); ++i) {
        const float expected = powf(bases[i], e);
        if (bitsOf(expected) != bitsOf(out[i]) && reported++ < 5)
            ADD_FAILURE() << "powf(" << bases[i] << " [" << std::hex << bitsOf(bases[i]) << "], " << e
                          << ") = " << expected << ", block gave " << out[i];
    }
}

TEST(PowerBlock, MatchesPowfBitForBit) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // Bases: a sweep of bit patterns over the whole float range (signs,
    // subnormals, infinities and NaNs included), the curves' usual 0..1 in
    // fine steps, and the special values; 4099 + 3 samples so the tail after
    // the last group of four is exercised too.
    std::vector<float> bases;
    for (uint32_t j = 0; j < 4099; ++j) bases.push_back(fromBits(j * 1047827u));
    for (uint32_t j = 0; j < 20000; ++j) bases.push_back(fromBits(0x3b000000u + j * 211u));
    for (float v : {0.0f, -0.0f, 1.0f, -1.0f, 1e-45f, 1.17549435e-38f, 0.99999994f, 1.00000012f, inf, -inf, nan})
        bases.push_back(v);
    // Exponents of the curves (Exposure 1.15, Contrast 1.2, darkening 0.7),
    // others, and those powf answers on its own (0, infinities, NaN, and
    // large ones whose results leave the float range).
    const float exponents[] = {1.0f / (2.0f - 1.15f), 1.0f / (2.0f - 1.2f), 1.0f / 0.7f, 0.45f, 1.0f, 2.0f, -2.5f,
                               150.0f, -300.0f, 0.0f, -0.0f, inf, -inf, nan};
    for (float e : exponents) expectLikePowf(bases, e);
}

TEST(PowerBlock, ShortBlocksAndTheVectorPath) {
    for (int64_t count : {0, 1, 3, 4, 5}) {
        std::vector<float> bases;
        for (int64_t i = 0; i < count; ++i) bases.push_back(0.1f + 0.2f * static_cast<float>(i));
        expectLikePowf(bases, 1.25f);
    }
#if defined(__x86_64__)
    // On this platform's processors with AVX2 and FMA the vector path must
    // be in use (it is what makes the power curves fast).
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
        EXPECT_TRUE(pixel::powBlockIsVectorised());
    }
#endif
}

}  // namespace
