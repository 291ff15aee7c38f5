#pragma once
// The colour models the tiles share: RGB to HSL with the HSL sector colours,
// and the HSV reading with the HSV sector colours and the guarded sector
// number. Inputs are samples on the 0..255 scale (float or bytes);
// single precision unless a comment says double.

#include <stdint.h>

#include <type_traits>

#include "pixels/KernelAttributes.h"
#include "pixels/SampleRules.h"

// ---- RGB to HSL ----------------------------------------------------------
//
// r, g, b on 0..255 (each times the double 1/255, rounded to float). Hue in
// degrees, (0, 360] for coloured pixels (pure red gives 360, not 0) and 0 for
// greys; saturation and lightness 0..1. Ties go to red, then green, by exact
// float comparison.
//
// Every case is formed and the pixel's one picked (the divisions take the
// picked operands), so loops over it vectorise with the numbers of the
// plain branches.

TILE_INLINE void rgbToHsl(float* hue, float* saturation, float* lightness, float r, float g, float b) {
    r = static_cast<float>(static_cast<double>(r) * pixel::kInv255d);
    g = static_cast<float>(static_cast<double>(g) * pixel::kInv255d);
    b = static_cast<float>(static_cast<double>(b) * pixel::kInv255d);
    float maxValue = r > g ? r : g;
    maxValue = b > maxValue ? b : maxValue;
    float minValue = r < g ? r : g;
    minValue = b < minValue ? b : minValue;
    const float L = 0.5f * (maxValue + minValue);
    const float d = maxValue - minValue;
    const bool coloured = (L > 0.0f) & (d > 0.0f);
    const double below = static_cast<double>(maxValue + minValue);
    const double above = 2.0 - static_cast<double>(maxValue) - static_cast<double>(minValue);
    const float S = static_cast<float>(static_cast<double>(d) / (L <= 0.5f ? below : above));
    // The sixths of the hue: base +- (max - x) / d, by the maximum and the
    // minimum channel.
    // Conditions are combined with & and |, selects pick floats: the forms
    // the vectoriser takes (a single select of six values, or one of
    // truth values, it does not).
    const bool redMax = r == maxValue;
    const bool greenMax = !redMax & (g == maxValue);
    const bool blueMax = !redMax & !greenMax;
    const bool rising = (redMax & (g == minValue)) | (greenMax & (b == minValue)) | (blueMax & (r == minValue));
    const float redX = rising ? b : g;
    const float greenX = rising ? r : b;
    const float blueX = rising ? g : r;
    const float x = redMax ? redX : (greenMax ? greenX : blueX);
    const float redBase = rising ? 5.0f : 1.0f;
    const float greenBase = rising ? 1.0f : 3.0f;
    const float blueBase = rising ? 3.0f : 5.0f;
    const float base = redMax ? redBase : (greenMax ? greenBase : blueBase);
    const float q = (maxValue - x) / d;
    const float sixths = rising ? base + q : base - q;
    *hue = coloured ? sixths * 60.0f : 0.0f;
    *saturation = coloured ? S : 0.0f;
    *lightness = L;
}

// The same on the low byte of each integer (note the argument order).
TILE_INLINE void rgbToHsl8(int r, int g, int b, float* hue, float* saturation, float* lightness) {
    rgbToHsl(hue, saturation, lightness, static_cast<float>(r & 0xFF), static_cast<float>(g & 0xFF),
             static_cast<float>(b & 0xFF));
}

// The HSL of a pixel's first three samples, either sample type.
template <class Sample>
TILE_INLINE void hslOf(const Sample* p, float* h, float* s, float* l) {
    if constexpr (std::is_same<Sample, uint8_t>::value)
        rgbToHsl8(p[0], p[1], p[2], h, s, l);
    else
        rgbToHsl(h, s, l, p[0], p[1], p[2]);
}

// The colour of an HSL sector k (1 to 5; 0, 6 and any other value, NaN
// included, take sector 0's order) from the sector's low and high levels
// and its rising and falling ones. Compared as a float, so that loops over
// it vectorise.
TILE_INLINE void pickHslSector(float k, float low, float high, float rising, float falling, float* r, float* g,
                               float* b) {
    const bool s1 = k == 1.0f;
    const bool s2 = k == 2.0f;
    const bool s3 = k == 3.0f;
    const bool s4 = k == 4.0f;
    const bool s5 = k == 5.0f;
    *r = s1 ? falling : (s2 | s3 ? low : (s4 ? rising : high));
    *g = s1 | s2 ? high : (s3 ? falling : (s4 | s5 ? low : rising));
    *b = s2 ? rising : (s3 | s4 ? high : (s5 ? falling : low));
}

// ---- HSV ----------------------------------------------------------------------
//
// The HSV reading of one pixel that the tone curve, the pivot curves, the
// Shadows/Highlights building blocks and the hue curve tiles share, and the
// guarded conversion of a hue sector to an integer.
//
// r, g, b are the first three samples times the double 1/255, each rounded
// to float; V = max, d = max - min, S = d / V and the hue in degrees
// [0, 360): 60 (g - b) / d when red is the maximum, else 120 + 60 (b - r) / d
// when green is, else 240 + 60 (r - g) / d (ties go to red, then green, by
// exact comparison). A grey pixel (d = 0) has H = 0 and S = 0. A maximum of
// 0 with d > 0 only arises from negative samples: the saturation's zero
// denominator is skipped (S stays 0).

namespace hsvpixel {

struct Hsv {
    float h = 0.0f;
    float s = 0.0f;
    float v = 0.0f;
};

template <class Sample>
TILE_INLINE Hsv hsvOf(const Sample* p) {
    const float r = static_cast<float>(static_cast<double>(p[0]) * pixel::kInv255d);
    const float g = static_cast<float>(static_cast<double>(p[1]) * pixel::kInv255d);
    const float b = static_cast<float>(static_cast<double>(p[2]) * pixel::kInv255d);
    float maxValue = r > g ? r : g;
    maxValue = b > maxValue ? b : maxValue;
    float minValue = r < g ? r : g;
    minValue = b < minValue ? b : minValue;
    const float d = maxValue - minValue;
    const bool coloured = d != 0.0f;
    const bool redMax = r == maxValue;
    const bool greenMax = !redMax & (g == maxValue);
    // 60 (g - b) / d, or 120 + 60 (b - r) / d, or 240 + 60 (r - g) / d.
    const float difference = redMax ? g - b : (greenMax ? b - r : r - g);
    const float turn = 60.0f * difference / d;
    float h = redMax ? turn : (greenMax ? 120.0f : 240.0f) + turn;
    h = h < 0.0f ? h + 360.0f : h;
    h = h >= 360.0f ? h - 360.0f : h;
    Hsv out;
    out.v = maxValue;
    out.s = coloured & (maxValue != 0.0f) ? d / maxValue : 0.0f;
    out.h = coloured ? h : 0.0f;
    return out;
}

// The integer part of a sector number (floor already taken), or -1 when it
// is NaN or outside 0..7: every sector switch treats -1 as its last case.
TILE_INLINE int32_t sectorOf(float v) { return static_cast<int32_t>((v >= 0.0f) & (v < 8.0f) ? v : -1.0f); }

// The colour of an HSV sector: j is the floored sector number (0 to 5; any
// other value, NaN included, takes sector 5's order), v the value and p, q,
// t the sector's low, falling and rising levels. The sector is compared as
// the float it is, so that loops over it vectorise (integer compares would
// become a switch).
TILE_INLINE void pickSector(float j, float v, float p, float q, float t, float* r, float* g, float* b) {
    const bool s0 = j == 0.0f;
    const bool s1 = j == 1.0f;
    const bool s2 = j == 2.0f;
    const bool s3 = j == 3.0f;
    const bool s4 = j == 4.0f;
    *r = s1 ? q : (s2 | s3 ? p : (s4 ? t : v));
    *g = s0 ? t : (s1 | s2 ? v : (s3 ? q : p));
    *b = s0 | s1 ? p : (s2 ? t : (s3 | s4 ? v : q));
}

}  // namespace hsvpixel
