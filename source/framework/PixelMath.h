#pragma once
// Small per-pixel operations shared by the tiles (luminance, the curve-table
// lookups, the luminance curve, the hue remainder, the byte store) and the
// pieces of their row kernels (the kernel attributes, the channel-count
// dispatch, the power map with its whole-number table). The per-pixel
// operations are inline and free of branches that depend on the samples,
// so the tile kernels vectorise around them.
//
// The constants are the single-precision ones the stored filters were made
// with: 0.003921569f is 1/255 rounded, 8.0274515f is 2047/255 rounded.

#include <math.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "foundation/ImageBuffer.h"

// Row kernels. TILE_ROW_KERNEL builds AVX2 and SSE4.2 copies of the
// function beside the baseline one (the interleaved three-sample loops need
// their permutes to vectorise), the best the processor runs chosen when the
// program starts, and sets the options
// under which GCC vectorises the kernels' loops. None of them changes a
// value: lanes keep the IEEE arithmetic of the scalar code (no
// reassociation; fp-contract=off restated, so no copy ever fuses a
// multiply-add).
// - vect-cost-model=dynamic: -O2's model vectorises only loops whose trip
//   count is known;
// - no-trapping-math: both sides of a select may be computed in every lane
//   (the floating-point exception flags are never read);
// - no-tree-pre, no-thread-jumps: these passes turn the kernels' selects
//   back into branches and their table reads into reads under a condition,
//   which if-conversion cannot undo, so the loop would stay scalar.
// (sqrt vectorises only where errno is off for the whole file: the
// adjustments folder builds with -fno-math-errno.) The helpers a row kernel
// calls are TILE_INLINE, so that they are compiled into each copy of it,
// and its pointers are __restrict (a curve table never lies in the image).
#if defined(__GNUC__) && !defined(__clang__)
#define TILE_VECTOR_LOOP __attribute__((optimize("vect-cost-model=dynamic")))
#define TILE_KERNEL_OPTIONS \
    optimize("fp-contract=off", "vect-cost-model=dynamic", "no-trapping-math", "no-tree-pre", "no-thread-jumps")
// (PELLUCINE_BASELINE_KERNELS builds only the baseline copy, so that a test
// build, with -msse4.2 or without, can check it on a machine that would pick
// the AVX2 one.)
#if defined(__x86_64__) && !defined(PELLUCINE_BASELINE_KERNELS)
#define TILE_ROW_KERNEL __attribute__((target_clones("avx2", "sse4.2", "default"), TILE_KERNEL_OPTIONS))
#else
#define TILE_ROW_KERNEL __attribute__((TILE_KERNEL_OPTIONS))
#endif
#define TILE_INLINE inline __attribute__((always_inline))
// Before the loop over a pixel's samples (its bound a plain local, which the
// annotation needs): unrolled, it leaves the pixel loop a single block that
// vectorises.
#define TILE_EACH_SAMPLE _Pragma("GCC unroll 4")
// After the parameter list of a lambda that a row kernel runs per pixel.
#define TILE_INLINE_LAMBDA __attribute__((always_inline))
#else
#define TILE_VECTOR_LOOP
#define TILE_ROW_KERNEL
#define TILE_INLINE inline
#define TILE_EACH_SAMPLE
#define TILE_INLINE_LAMBDA
#endif

namespace pixel {

constexpr float kInv255 = 0.003921569f;       // 1/255 as stored in float
constexpr double kInv255d = 0.00392156862745098;
constexpr float kTableScale = 8.0274515f;     // 2047/255 as stored in float
constexpr int32_t kTableLast = 2047;

// A channel count known when the kernel is compiled (3 and 4), so that the
// per-sample loops of a pixel unroll.
template <int32_t N>
using Channels = std::integral_constant<int32_t, N>;

// Calls f with the channel count: a compile-time constant for 3 and 4, the
// plain number otherwise.
template <class F>
TILE_INLINE void withChannels(int32_t n, F&& f) {
    if (n == 3)
        f(Channels<3>());
    else if (n == 4)
        f(Channels<4>());
    else
        f(n);
}

// op(pixel, channelCount) for `pixels` consecutive pixels of `channels`
// samples: the body of a row kernel (op a TILE_INLINE_LAMBDA).
template <class Sample, class Op>
TILE_INLINE void forEachPixelIn(Sample* s, int64_t pixels, int32_t channels, Op&& op) {
    withChannels(channels, [&](auto n) TILE_INLINE_LAMBDA {
        const int64_t step = n;
        for (int64_t i = 0; i < pixels; ++i) op(s + i * step, n);
    });
}

// 0.299 R + 0.587 G + 0.114 B, products and sum in double, rounded to float.
// Images of one or two channels use their first sample.
template <class Sample>
TILE_INLINE float luminance(const Sample* p, int32_t channels) {
    if (channels < 3) return static_cast<float>(p[0]);
    return static_cast<float>(0.299 * static_cast<double>(static_cast<float>(p[0])) +
                              0.587 * static_cast<double>(static_cast<float>(p[1])) +
                              0.114 * static_cast<double>(static_cast<float>(p[2])));
}

// Curve-table lookup for a sample v on the 0..255 scale: linear
// interpolation between neighbouring entries of the 2048-entry table.
// v >= 255 gives the last entry, v <= 0 and NaN the first.
//
// Written without branches so that row loops around it vectorise: both
// table reads happen in every case (at position 0 when v is outside the
// table, so the index conversion stays defined; the lower read is the end
// entry when v is at or past the top), and the interpolation is kept only
// inside, which gives the numbers of the plain branches.
TILE_INLINE float curveLookup(const float* table, float v) {
    const float t = v * kInv255;
    const bool last = t >= 1.0f;
    const bool inside = (t > 0.0f) & !last;  // false for NaN
    const float u = inside ? v * kTableScale : 0.0f;
    int32_t k = static_cast<int32_t>(u);
    k = k < kTableLast - 1 ? k : kTableLast - 1;  // never read past the table
    // The lower entry, or the last one at or past the top (k is 0 there);
    // an index of plain integer arithmetic keeps the read a gather.
    const float low = table[k | (-static_cast<int32_t>(last) & kTableLast)];
    const float high = table[k + 1];
    const float between = (u - static_cast<float>(k)) * high + (static_cast<float>(k + 1) - u) * low;
    return inside ? between : low;
}

// Curve-table lookup for t on 0..1, in the same way.
TILE_INLINE float curveLookupUnit(const float* table, float t) {
    const bool last = t >= 1.0f;
    const bool inside = (t > 0.0f) & !last;
    const float u = inside ? 2047.0f * t : 0.0f;
    int32_t k = static_cast<int32_t>(u);
    k = k < kTableLast - 1 ? k : kTableLast - 1;
    const float low = table[k | (-static_cast<int32_t>(last) & kTableLast)];
    const float high = table[k + 1];
    const float between = (u - static_cast<float>(k)) * high + (static_cast<float>(k + 1) - u) * low;
    return inside ? between : low;
}

// fmodf(x, 360) for -360 < x < 1440 and NaN, without the library call, so
// that loops over hues vectorise: the remainder is x less a whole number of
// turns, and each subtraction below is exact (x and k 360 lie within a
// factor of two of each other), as fmod's result is. An exhaustive test
// holds it to fmodf over that range; callers make sure their hues stay in
// it and call fmodf otherwise.
TILE_INLINE float remainder360(float x) {
    return x < 360.0f ? x : (x < 720.0f ? x - 360.0f : (x < 1080.0f ? x - 720.0f : x - 1080.0f));
}

// Stores a float result into a sample of either kind. A byte takes
// storeByte's rule (clamped to 0..255, NaN as 0, truncated toward zero),
// written as selects so that row loops storing bytes vectorise; an
// exhaustive test holds it to storeByte for every float.
TILE_INLINE void storeSample(float& sample, float v) { sample = v; }
TILE_INLINE uint8_t clampedByte(float v) {
    return static_cast<uint8_t>(static_cast<int32_t>(v > 0.0f ? (v < 255.0f ? v : 255.0f) : 0.0f));
}
TILE_INLINE void storeSample(uint8_t& sample, float v) { sample = clampedByte(v); }

// Gives a pixel of luminance L the luminance Ln: the samples are scaled
// toward 0 in proportion when it falls, toward 255 in proportion to their
// distance from it when it rises, so their ratios are kept; a black or
// white pixel takes Ln in every sample. Bytes take the same float
// arithmetic on their values, each result clamped and truncated toward
// zero.
//
// Both directions are formed and the pixel's one kept (a division by a
// zero L or 255 - L only happens in a lane that is thrown away), so a row
// loop over it vectorises with the results of the plain branches.
template <class Sample, class N>
TILE_INLINE void takeLuminance(Sample* p, N n, float L, float Ln) {
    const bool ends = (L == 0.0f) | (L == 255.0f);
    const bool darker = L >= Ln;
    const float f = (darker ? L - Ln : Ln - L) / (darker ? L : 255.0f - L);
    const int32_t count = n;
    TILE_EACH_SAMPLE
    for (int32_t k = 0; k < count; ++k) {
        const float v = static_cast<float>(p[k]);
        const float moved = darker ? v - v * f : v + (255.0f - v) * f;
        storeSample(p[k], ends ? Ln : moved);
    }
}

// Moves the pixel's luminance L along the curve with strength s:
// L' = L (1 - s) + s 255 c(L), which the pixel then takes.
template <class Sample, class N>
TILE_INLINE void luminanceCurvePixel(Sample* p, N n, const float* table, float s) {
    const float L = luminance(p, n);
    const float c = curveLookup(table, L);
    const float Ln = static_cast<float>(static_cast<double>(L) * (1.0 - static_cast<double>(s)) +
                                        static_cast<double>(s * 255.0f * c));
    takeLuminance(p, n, L, Ln);
}

inline void applyLuminanceCurve(int32_t channels, float* p, const float* table, float s) {
    luminanceCurvePixel(p, channels, table, s);
}

inline void applyLuminanceCurve8(int32_t channels, uint8_t* p, const float* table, float s) {
    luminanceCurvePixel(p, channels, table, s);
}

// ---- Whole-number samples -------------------------------------------------
//
// An image read from an 8-bit file holds whole numbers 0..255 in its float
// samples until a tile makes fractions of them. A function of one sample
// can then be read from a table of its 256 values: each entry is the
// function computed for exactly that sample, so the result is the same,
// while the function (a power, say) runs 256 times instead of once per
// sample.

// True when every one of the count samples is a whole number 0..255, +0
// included and -0 not (its bits differ from those of the table's 0).
TILE_INLINE bool wholeByteSamples(const float* s, int64_t count) {
    uint32_t differ = 0;
    for (int64_t i = 0; i < count; ++i) {
        const float v = s[i];
        const float inRange = v >= 0.0f && v <= 255.0f ? v : 0.5f;  // 0.5 never matches
        const float whole = static_cast<float>(static_cast<int32_t>(inRange));
        uint32_t a;
        uint32_t b;
        std::memcpy(&a, &v, sizeof a);
        std::memcpy(&b, &whole, sizeof b);
        differ |= a ^ b;
    }
    return differ == 0;
}

// The 256 results of a sample function, built at first use.
struct WholeSampleTable {
    float value[256];
    bool built = false;
};

// Maps every sample alone: v' = map.finish(v, powf(map.base(v), e)), the
// two halves TILE_INLINE members of a small mapping object. The bases and
// the finishing run as vectorised loops over a block of samples, the powers
// in a tight loop of their own; a block of whole numbers 0..255 reads the
// table instead (built from the same three steps).
template <class Mapping>
TILE_INLINE void powerMapSamples(const Mapping& map, float* s, int64_t count, float e, WholeSampleTable& table) {
    constexpr int64_t kBlock = 512;
    float power[kBlock];
    for (int64_t start = 0; start < count; start += kBlock) {
        float* block = s + start;
        const int64_t m = count - start < kBlock ? count - start : kBlock;
        if (wholeByteSamples(block, m)) {
            if (!table.built) {
                for (int32_t k = 0; k < 256; ++k) {
                    const float v = static_cast<float>(k);
                    table.value[k] = map.finish(v, powf(map.base(v), e));
                }
                table.built = true;
            }
            for (int64_t i = 0; i < m; ++i) block[i] = table.value[static_cast<int32_t>(block[i])];
            continue;
        }
        for (int64_t i = 0; i < m; ++i) power[i] = map.base(block[i]);
        for (int64_t i = 0; i < m; ++i) power[i] = powf(power[i], e);
        for (int64_t i = 0; i < m; ++i) block[i] = map.finish(block[i], power[i]);
    }
}

// A factor tile's per-pixel parameter under a selector weight w:
// w (a - 1) + 1 in double, rounded to float.
inline float weightedFactor(float a, float w) {
    return static_cast<float>(static_cast<double>(w) * (static_cast<double>(a) - 1.0) + 1.0);
}

}  // namespace pixel
