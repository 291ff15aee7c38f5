#include "ColorConversions.h"

#include <algorithm>
#include <cmath>

// The arithmetic below is single precision in the written order, with the
// few products the stored renders were made with taken in double precision;
// a change of order or precision changes pixels of saved filters.

namespace {

constexpr double kInverse255 = 0.00392156862745098;   // 1/255
constexpr double kInverse360 = 0.002777777777777778;  // 1/360

// A triple brought to 0..1 with its maximum, minimum and their difference.
struct UnitRgb {
    float r, g, b;
    float max, min, d;
};

UnitRgb toUnit(float r, float g, float b) {
    UnitRgb u;
    u.r = static_cast<float>(static_cast<double>(r) * kInverse255);
    u.g = static_cast<float>(static_cast<double>(g) * kInverse255);
    u.b = static_cast<float>(static_cast<double>(b) * kInverse255);
    u.max = std::max(std::max(u.g, u.b), u.r);
    u.min = std::min(std::min(u.g, u.b), u.r);
    u.d = u.max - u.min;
    return u;
}

// Hue in degrees [0, 360). The three branches are the usual six-sector
// formulas written the way the stored renders computed them; ties go to red,
// then to green.
float hueOf(const UnitRgb& u) {
    if (u.d == 0.0f) return 0.0f;  // grey
    const float inv = 1.0f / u.d;
    const float hb = (u.max - u.b) * 60.0f * inv + 180.0f;
    float hue;
    if (u.r == u.max) {
        hue = (u.g - u.max) * 60.0f / u.d + (-180.0f) + hb;
    } else if (u.g == u.max) {
        hue = (u.max - u.r) * 60.0f * inv + 300.0f - hb;
    } else {
        hue = (u.r - u.g) * 60.0f / u.d + 240.0f;
    }
    if (hue < 0.0f) hue += 360.0f;
    if (hue >= 360.0f) hue -= 360.0f;
    // NaN or infinite samples give no hue; read them as grey's.
    if (!std::isfinite(hue)) return 0.0f;
    return hue;
}

float saturationOf(const UnitRgb& u) {
    return u.d == 0.0f ? 0.0f : u.d / u.max;
}

// Brings a hue in degrees into [0, 360) by whole turns. The turn count is
// the integer part of a double-precision product; it is kept as a double so
// that a huge hue cannot overflow an integer.
float wrapHue(float hue) {
    if (!std::isfinite(hue)) return 0.0f;
    const float given = hue;
    if (hue < 0.0f) {
        const double turns = std::trunc(static_cast<double>(hue) * -kInverse360);
        hue += static_cast<float>(turns * 360.0 + 360.0);
    }
    if (hue >= 360.0f) {
        const double turns = std::trunc(static_cast<double>(hue) * kInverse360);
        hue -= static_cast<float>(turns * 360.0);
    }
    if (!(hue >= 0.0f && hue < 360.0f)) {
        // Only hues so large that a float has no fraction left get here.
        hue = static_cast<float>(std::fmod(static_cast<double>(given), 360.0));
        if (hue < 0.0f) hue += 360.0f;
        if (!(hue >= 0.0f && hue < 360.0f)) hue = 0.0f;
    }
    return hue;
}


}  // namespace

void hsvToRgb(float rgb[3], float hue, float s, float v) {
    hue = wrapHue(hue);
    if (s == 0.0f) {
        rgb[0] = rgb[1] = rgb[2] = v * 255.0f;
        return;
    }
    const float x = static_cast<float>(static_cast<double>(hue) * kInverse360) * 6.0f;
    const float sector = std::floor(x);  // 0..6: hue is in [0, 360)
    const int i = static_cast<int>(sector);
    const float f = x - sector;
    const float p = (1.0f - s) * v;
    const float q = (1.0f - f * s) * v;
    const float t = ((f - 1.0f) * s + 1.0f) * v;
    float r, g, b;
    switch (i) {
        case 0: r = v; g = t; b = p; break;
        case 1: r = q; g = v; b = p; break;
        case 2: r = p; g = v; b = t; break;
        case 3: r = p; g = q; b = v; break;
        case 4: r = t; g = p; b = v; break;
        default: r = v; g = p; b = q; break;
    }
    rgb[0] = r * 255.0f;
    rgb[1] = g * 255.0f;
    rgb[2] = b * 255.0f;
}

void rgbToHsv(float* h, float* s, float* v, float r, float g, float b) {
    const UnitRgb u = toUnit(r, g, b);
    if (h) *h = hueOf(u);
    if (s) *s = saturationOf(u);
    if (v) *v = u.max;
}

float rgbHue(float r, float g, float b) {
    return hueOf(toUnit(r, g, b));
}

void setRgbHue(float rgb[3], float hue) {
    const UnitRgb u = toUnit(rgb[0], rgb[1], rgb[2]);
    hsvToRgb(rgb, hue, saturationOf(u), u.max);
}

void setRgbSaturation(float rgb[3], float saturation) {
    const UnitRgb u = toUnit(rgb[0], rgb[1], rgb[2]);
    hsvToRgb(rgb, hueOf(u), saturation, u.max);
}
