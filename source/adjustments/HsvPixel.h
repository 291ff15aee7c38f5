#pragma once
// The HSV reading of one pixel that the Shadows/Highlights building blocks
// and the hue curve tiles share, and the guarded conversion of a hue sector
// to an integer.
//
// r, g, b are the first three samples times the double 1/255, each rounded
// to float; V = max, d = max - min, S = d / V and the hue in degrees
// [0, 360): 60 (g - b) / d when red is the maximum, else 120 + 60 (b - r) / d
// when green is, else 240 + 60 (r - g) / d (ties go to red, then green, by
// exact comparison). A grey pixel (d = 0) has H = 0 and S = 0.

#include <cstdint>

#include "framework/PixelMath.h"

namespace hsvpixel {

struct Hsv {
    float h = 0.0f;
    float s = 0.0f;
    float v = 0.0f;
};

template <class Sample>
inline Hsv hsvOf(const Sample* p) {
    const float r = static_cast<float>(static_cast<double>(p[0]) * pixel::kInv255d);
    const float g = static_cast<float>(static_cast<double>(p[1]) * pixel::kInv255d);
    const float b = static_cast<float>(static_cast<double>(p[2]) * pixel::kInv255d);
    float maxValue = r > g ? r : g;
    if (b > maxValue) maxValue = b;
    float minValue = r < g ? r : g;
    if (b < minValue) minValue = b;
    Hsv out;
    out.v = maxValue;
    const float d = maxValue - minValue;
    if (d != 0.0f) {
        // A maximum of 0 with d > 0 only arises from negative samples: the
        // saturation's zero denominator is skipped (S stays 0).
        if (maxValue != 0.0f) out.s = d / maxValue;
        float h;
        if (r == maxValue)
            h = 60.0f * (g - b) / d;
        else if (g == maxValue)
            h = 120.0f + 60.0f * (b - r) / d;
        else
            h = 240.0f + 60.0f * (r - g) / d;
        if (h < 0.0f) h += 360.0f;
        if (h >= 360.0f) h -= 360.0f;
        out.h = h;
    }
    return out;
}

// The integer part of a sector number (floor already taken), or -1 when it
// is NaN or outside 0..7: every sector switch treats -1 as its last case.
inline int32_t sectorOf(float v) {
    if (!(v >= 0.0f) || !(v < 8.0f)) return -1;
    return static_cast<int32_t>(v);
}

}  // namespace hsvpixel
