#pragma once
// The sample rules every tile family shares: the constants the stored
// filters were made with, how a result is stored into a sample of either
// kind, the clamps, the power bases, the per-sample rules of the curve
// tables, the luminance and the luminance curve. The per-pixel operations
// are inline and free of branches that depend on the samples, so the tile
// kernels vectorise around them.
//
// The constants are the single-precision ones the stored filters were made
// with: 0.003921569f is 1/255 rounded, 8.0274515f is 2047/255 rounded.
//
// The byte store itself, storeByte (clamped to 0..255, NaN as 0, truncated
// toward zero), is the image buffer's own rule (foundation/ImageBuffer.h);
// every byte store below gives its result.

#include <math.h>

#include <cstdint>

#include "foundation/ImageBuffer.h"
#include "pixels/KernelAttributes.h"

namespace pixel {

constexpr float kInv255 = 0.003921569f;       // 1/255 as stored in float
constexpr double kInv255d = 0.00392156862745098;
constexpr float kTableScale = 8.0274515f;     // 2047/255 as stored in float
constexpr int32_t kTableLast = 2047;

// ---- Stores ---------------------------------------------------------------

// Stores a float result into a sample of either kind. A byte takes
// storeByte's rule (clamped to 0..255, NaN as 0, truncated toward zero),
// written as selects so that row loops storing bytes vectorise; an
// exhaustive test holds it to storeByte for every float.
TILE_INLINE void storeSample(float& sample, float v) { sample = v; }
TILE_INLINE uint8_t clampedByte(float v) {
    return static_cast<uint8_t>(static_cast<int32_t>(v > 0.0f ? (v < 255.0f ? v : 255.0f) : 0.0f));
}
TILE_INLINE void storeSample(uint8_t& sample, float v) { sample = clampedByte(v); }

// A result computed in double: a float sample takes it rounded to float; a
// byte takes it clamped to 0..255 and truncated from the double itself
// (NaN stores as 0).
TILE_INLINE uint8_t storeByteFromDouble(double v) {
    if (!(v > 0.0)) return 0;
    if (v >= 255.0) return 255;
    return static_cast<uint8_t>(v);
}

// ---- Clamps to 0..255 -------------------------------------------------------
//
// Two variants, differing only in NaN:
// - clampSampleKeepNan lets NaN pass: a float sample keeps it, a byte store
//   then takes it as 0 (the colour and tone tiles as tileloop::clampSample,
//   the blur's float stores);
// - clampSampleNanToZero gives 0 for NaN, like storeByte (the transformed
//   bitmap drawing, the pipeline's rounding between 8-bit tiles).

TILE_INLINE float clampSampleKeepNan(float v) { return v < 0.0f ? 0.0f : (v > 255.0f ? 255.0f : v); }

TILE_INLINE float clampSampleNanToZero(float v) {
    const float low = v > 0.0f ? v : 0.0f;  // NaN fails the test and becomes 0
    return low < 255.0f ? low : 255.0f;
}

// ---- Power bases -------------------------------------------------------------
//
// A power base that has fallen below 0 (a sample outside 0..255, a hostile
// parameter) is taken as 0, so the power stays defined; in-range bases pass
// unchanged. Two variants, differing only in NaN:
// - powerBase gives 0 for NaN (the gamma, exposure-curve and contrast
//   powers);
// - exposureBase lets NaN pass, so a NaN sample stays NaN through the
//   exposure curve (and a byte store takes it as 0).

TILE_INLINE float powerBase(float b) { return b > 0.0f ? b : 0.0f; }
TILE_INLINE float exposureBase(float b) { return b < 0.0f ? 0.0f : b; }

// How each sample type enters and leaves a power curve that lightens from
// the white end (x' = 255 - 255 ((255 - x)/255)^e) and darkens from black
// (x' = 255 (x/255)^e). Floats are scaled by the stored 1/255 constant,
// floored at 0.05 before lightening, capped at 254.95 before darkening, and
// keep their unclamped result. Bytes are divided by 255, have no floor (a
// byte 0 stays 0: the floor of 0.05 held in an integer), are capped at 254,
// and store their result clamped and truncated toward zero.
template <class Sample>
struct PowerRules;

template <>
struct PowerRules<float> {
    static TILE_INLINE float unit(float x) { return x * kInv255; }
    static TILE_INLINE float lightenFloor(float x) { return x <= 0.05f ? 0.05f : x; }
    static TILE_INLINE float darkenCap(float x) { return x >= 254.95f ? 254.95f : x; }
    static TILE_INLINE float store(float v) { return v; }
    static TILE_INLINE float storeFromWhite(float v) { return 255.0f - v; }
};

template <>
struct PowerRules<uint8_t> {
    static TILE_INLINE float unit(float x) { return x / 255.0f; }
    static TILE_INLINE float lightenFloor(float x) { return x; }
    static TILE_INLINE float darkenCap(float x) { return x >= 255.0f ? 254.0f : x; }
    static TILE_INLINE uint8_t store(float v) { return storeByte(v); }
    // 255 minus the truncated value, not the truncation of the difference.
    static TILE_INLINE uint8_t storeFromWhite(float v) { return static_cast<uint8_t>(255 - storeByte(v)); }
};

// A factor tile's per-pixel parameter under a selector weight w:
// w (a - 1) + 1 in double, rounded to float.
inline float weightedFactor(float a, float w) {
    return static_cast<float>(static_cast<double>(w) * (static_cast<double>(a) - 1.0) + 1.0);
}

// ---- Luminance and the curve tables ------------------------------------------

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

}  // namespace pixel

// The short names the colour and tone tiles use.
namespace tileloop {

// Stores a float result into a sample of either kind.
TILE_INLINE void store(float& sample, float v) { sample = v; }
TILE_INLINE void store(uint8_t& sample, float v) { pixel::storeSample(sample, v); }

// Clamps a float result to 0..255: clampSampleKeepNan (NaN passes through;
// a byte store then takes it as 0).
TILE_INLINE float clampSample(float v) { return pixel::clampSampleKeepNan(v); }

using pixel::powerBase;
using pixel::storeByteFromDouble;

}  // namespace tileloop

// The exposure curve's power base (exposureBase above), by its short name.
using pixel::exposureBase;
