#pragma once
// Small per-pixel operations shared by the tiles: luminance, the curve-table
// lookup and the per-pixel luminance curve. Inline so the tile kernels can
// vectorise around them.
//
// The constants are the single-precision ones the stored filters were made
// with: 0.003921569f is 1/255 rounded, 8.0274515f is 2047/255 rounded.

#include <cstdint>

#include "foundation/ImageBuffer.h"

namespace pixel {

constexpr float kInv255 = 0.003921569f;       // 1/255 as stored in float
constexpr double kInv255d = 0.00392156862745098;
constexpr float kTableScale = 8.0274515f;     // 2047/255 as stored in float
constexpr int32_t kTableLast = 2047;

// 0.299 R + 0.587 G + 0.114 B, products and sum in double, rounded to float.
// Images of one or two channels use their first sample.
template <class Sample>
inline float luminance(const Sample* p, int32_t channels) {
    if (channels < 3) return static_cast<float>(p[0]);
    return static_cast<float>(0.299 * static_cast<double>(static_cast<float>(p[0])) +
                              0.587 * static_cast<double>(static_cast<float>(p[1])) +
                              0.114 * static_cast<double>(static_cast<float>(p[2])));
}

// Curve-table lookup for a sample v on the 0..255 scale: linear
// interpolation between neighbouring entries of the 2048-entry table.
// v >= 255 gives the last entry, v <= 0 and NaN the first.
inline float curveLookup(const float* table, float v) {
    if (v * kInv255 >= 1.0f) return table[kTableLast];
    if (v * kInv255 > 0.0f) {
        const float u = v * kTableScale;
        int32_t k = static_cast<int32_t>(u);
        if (k > kTableLast - 1) k = kTableLast - 1;  // never read past the table
        return (u - static_cast<float>(k)) * table[k + 1] + (static_cast<float>(k + 1) - u) * table[k];
    }
    return table[0];
}

// Curve-table lookup for t on 0..1.
inline float curveLookupUnit(const float* table, float t) {
    if (t >= 1.0f) return table[kTableLast];
    if (t > 0.0f) {
        const float u = 2047.0f * t;
        int32_t k = static_cast<int32_t>(u);
        if (k > kTableLast - 1) k = kTableLast - 1;
        return (u - static_cast<float>(k)) * table[k + 1] + (static_cast<float>(k + 1) - u) * table[k];
    }
    return table[0];
}

// Moves the pixel's luminance L along the curve with strength s:
// L' = L (1 - s) + s 255 c(L), then the samples are scaled toward 0 or 255
// in proportion so their ratios are kept. Black and white pixels take L'.
inline void applyLuminanceCurve(int32_t channels, float* p, const float* table, float s) {
    const float L = luminance(p, channels);
    const float c = curveLookup(table, L);
    const float Ln = static_cast<float>(static_cast<double>(L) * (1.0 - static_cast<double>(s)) +
                                        static_cast<double>(s * 255.0f * c));
    const int32_t n = channels;
    if (L != 0.0f && L != 255.0f) {
        if (L >= Ln) {
            const float f = (L - Ln) / L;
            for (int32_t k = 0; k < n; ++k) p[k] = p[k] - p[k] * f;
        } else {
            const float f = (Ln - L) / (255.0f - L);
            for (int32_t k = 0; k < n; ++k) p[k] = p[k] + (255.0f - p[k]) * f;
        }
    } else {
        for (int32_t k = 0; k < n; ++k) p[k] = Ln;
    }
}

// The 8-bit form: the same float arithmetic on the byte values, each result
// clamped and truncated toward zero.
inline void applyLuminanceCurve8(int32_t channels, uint8_t* p, const float* table, float s) {
    const float L = luminance(p, channels);
    const float c = curveLookup(table, L);
    const float Ln = static_cast<float>(static_cast<double>(L) * (1.0 - static_cast<double>(s)) +
                                        static_cast<double>(s * 255.0f * c));
    const int32_t n = channels;
    if (L != 0.0f && L != 255.0f) {
        if (L >= Ln) {
            const float f = (L - Ln) / L;
            for (int32_t k = 0; k < n; ++k) {
                const float v = static_cast<float>(p[k]);
                p[k] = storeByte(v - v * f);
            }
        } else {
            const float f = (Ln - L) / (255.0f - L);
            for (int32_t k = 0; k < n; ++k) {
                const float v = static_cast<float>(p[k]);
                p[k] = storeByte(v + static_cast<float>(255 - p[k]) * f);
            }
        }
    } else {
        const uint8_t b = storeByte(Ln);
        for (int32_t k = 0; k < n; ++k) p[k] = b;
    }
}

// A factor tile's per-pixel parameter under a selector weight w:
// w (a - 1) + 1 in double, rounded to float.
inline float weightedFactor(float a, float w) {
    return static_cast<float>(static_cast<double>(w) * (static_cast<double>(a) - 1.0) + 1.0);
}

}  // namespace pixel
