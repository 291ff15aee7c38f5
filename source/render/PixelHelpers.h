#pragma once
// Pixel functions several tiles share: the exposure power curve, RGB to HSL,
// the HSV reading and sector colours, the tone-curve body (Tone Curve and
// Shadows/Highlights), the luminance curve over rows and the pivot power
// curves (Advanced Contrast).
//
// Every function has a float form (samples 0..255 held as floats) and an
// 8-bit form (bytes) with the same formulas. Arithmetic is single precision
// unless a comment says double; 8-bit results are clamped to 0..255 (NaN
// stores as 0) and truncated toward zero. The per-pixel functions are inline
// so that a tile's row loop keeps its parameters in registers; the row
// forms are vectorised kernels (see TILE_ROW_KERNEL in PixelMath.h) with
// the results of the per-pixel ones.

#include <math.h>
#include <stdint.h>

#include "foundation/ImageBuffer.h"
#include "framework/PixelMath.h"

class ImageMod;
struct RenderArgs;

// ---- Exposure curve ----------------------------------------------------
//
// Changes the n samples of one pixel in place (n from the image, the fourth
// sample included):
// - x = 1: nothing;
// - x > 1 lightens from the white end: s = 255 - 255 ((255 - s)/255)^(1/(2 - x)),
//   each sample first raised to 0.05 when it is at or below 0.05;
// - x < 1 darkens: s = 255 (s/255)^(1/x), each sample first lowered to
//   254.95 when it is at or above; then a pull toward grey with
//   k = (1 - |x - 1|)^0.4 (the inner difference in double): every sample
//   becomes s k + (1 - k) L, clamped to 0..255, L the pixel's luminance.
// Power bases are clamped at 0, so samples outside 0..255 give finite
// results; in-range samples are unaffected.

// max(b, 0): keeps a negative power base (a sample beyond the range) from
// turning into NaN. NaN stays NaN and stores as 0.
TILE_INLINE float exposureBase(float b) { return b < 0.0f ? 0.0f : b; }

// The pull toward grey of a darkening exposure: k = (1 - |x - 1|)^0.4.
inline float exposureGreyPull(float x) {
    return powf(static_cast<float>(1.0 - fabs(static_cast<double>(x) - 1.0)), 0.4f);
}

// One sample of the exposure curve's power step, in two halves around the
// power: lightening with the exponent e = 1/(2 - x), darkening with e = 1/x.
struct ExposureLighten {
    static TILE_INLINE float base(float v) {
        return exposureBase((255.0f - (v <= 0.05f ? 0.05f : v)) * pixel::kInv255);
    }
    static TILE_INLINE float finish(float, float power) { return 255.0f - 255.0f * power; }
};
struct ExposureDarken {
    static TILE_INLINE float base(float v) { return exposureBase((v >= 254.95f ? 254.95f : v) * pixel::kInv255); }
    static TILE_INLINE float finish(float, float power) { return 255.0f * power; }
};

// The darkening pull of one pixel whose samples have been through the power
// step: every sample becomes s k + (1 - k) L, clamped to 0..255.
template <class N>
TILE_INLINE void exposurePull(float* s, N n, float k) {
    const float t = (1.0f - k) * pixel::luminance(s, n);
    const int32_t count = n;
    TILE_EACH_SAMPLE
    for (int32_t c = 0; c < count; ++c) {
        float v = s[c] * k + t;
        v = v < 0.0f ? 0.0f : v;
        s[c] = v > 255.0f ? 255.0f : v;
    }
}

inline void applyExposureCurve(const ImageBuffer& image, float* s, float x) {
    const int32_t n = image.channelCount();
    if (x == 1.0f) return;
    if (x > 1.0f) {
        const float e = 1.0f / (2.0f - x);
        for (int32_t c = 0; c < n; ++c) s[c] = ExposureLighten::finish(s[c], powf(ExposureLighten::base(s[c]), e));
        return;
    }
    const float k = exposureGreyPull(x);
    const float inverse = 1.0f / x;
    for (int32_t c = 0; c < n; ++c) s[c] = ExposureDarken::finish(s[c], powf(ExposureDarken::base(s[c]), inverse));
    exposurePull(s, n, k);
}

// The 8-bit form: for x > 1 a byte b becomes 255 - trunc(255 ((255 - b)/255)^e)
// (no floor); for x < 1 a byte of 255 is first taken as 254 and b becomes
// trunc(255 (b/255)^(1/x)); the pull toward grey works on the new bytes.
inline uint8_t exposureLightenByte(uint8_t b, float e) {
    const float q = static_cast<float>(255 - b) / 255.0f;
    return static_cast<uint8_t>(255 - storeByte(255.0f * powf(q, e)));
}
inline uint8_t exposureDarkenByte(uint8_t b, float inverse) {
    const int32_t v = b == 255 ? 254 : b;
    return storeByte(255.0f * powf(static_cast<float>(v) / 255.0f, inverse));
}
template <class N>
TILE_INLINE void exposurePull8(uint8_t* b, N n, float k) {
    const float t = (1.0f - k) * pixel::luminance(b, n);
    for (int32_t c = 0; c < n; ++c) b[c] = pixel::clampedByte(static_cast<float>(b[c]) * k + t);
}

// The pull of a pixel of any channel count, out of line.
void exposurePull8Any(uint8_t* b, int32_t n, float k);

inline void applyExposureCurve8(const ImageBuffer& image, uint8_t* b, float x) {
    const int32_t n = image.channelCount();
    if (x == 1.0f) return;
    if (x > 1.0f) {
        const float e = 1.0f / (2.0f - x);
        for (int32_t c = 0; c < n; ++c) b[c] = exposureLightenByte(b[c], e);
        return;
    }
    const float k = exposureGreyPull(x);
    const float inverse = 1.0f / x;
    for (int32_t c = 0; c < n; ++c) b[c] = exposureDarkenByte(b[c], inverse);
    if (n == 3)
        exposurePull8(b, pixel::Channels<3>(), k);
    else
        exposurePull8Any(b, n, k);
}

// Either form by the sample type, for the tiles' templates.
inline void applyExposureCurvePixel(const ImageBuffer& image, float* s, float x) { applyExposureCurve(image, s, x); }
inline void applyExposureCurvePixel(const ImageBuffer& image, uint8_t* b, float x) { applyExposureCurve8(image, b, x); }

// The exposure curve over `pixelCount` consecutive pixels of the image's
// channel count (a row, or a whole image), with the same results as the
// per-pixel forms: the parameters are prepared once, the float powers run
// in blocks (through a table of the 256 values for blocks of whole numbers
// 0..255) and bytes go through tables.
void applyExposureCurveRow(const ImageBuffer& image, float* samples, int64_t pixelCount, float x);
void applyExposureCurveRow8(const ImageBuffer& image, uint8_t* samples, int64_t pixelCount, float x);

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

// ---- Tone curve ------------------------------------------------------------
//
// The body of the Tone Curve tile, also run by Shadows/Highlights on the tone
// curve it owns. The tile's vars are read by position: 0 "Amount" (float),
// 1 "Curve" (curve), 2 "Method" (choice: 0 "RGB", 1 "Luminance", 2 "Value",
// 3 "Lightness"; another kind reads as 0, another index as 0). Returns at
// once when the Amount is 0 or not a float, when var 1 holds no curve, or
// when the curve is the two-point identity. A selector in args scales the
// strength per pixel. "RGB" maps every sample (the fourth included); the
// other methods change only the first three (an image of one or two
// channels is treated as grey and only its first sample changes).
void applyToneCurve(const ImageMod& tile, ImageBuffer& image, const RenderArgs* args);
void applyToneCurve8(const ImageMod& tile, ImageBuffer& image, const RenderArgs* args);

// ---- Luminance curve over rows -------------------------------------------------
//
// pixel::applyLuminanceCurve over `pixelCount` consecutive pixels of
// `channels` samples (Curves, the Tone Curve's "Luminance" method and the
// Shadows/Highlights building blocks).
void applyLuminanceCurveRow(float* samples, int64_t pixelCount, int32_t channels, const float* table, float strength);
void applyLuminanceCurveRow8(uint8_t* samples, int64_t pixelCount, int32_t channels, const float* table,
                             float strength);

// ---- Pivot power curves -----------------------------------------------------
//
// Bend the HSL lightness (or HSV value) Y of one RGB pixel around the pivot
// P = pivot/255 with e = x (x < 1) or 1/(2 - x) (x >= 1): Y < P gives
// P (Y/P)^e, Y > P gives 1 - (1 - P) ((1 - Y)/(1 - P))^e (that quotient in
// double), Y = P leaves the pixel alone. The pixel is rebuilt from its hue
// and saturation. Only the first three samples change.
void applyLightnessPivotCurve(float* pixel, float x, float pivot);
void applyLightnessPivotCurve8(uint8_t* pixel, float x, float pivot);
void applyValuePivotCurve(float* pixel, float x, float pivot);
void applyValuePivotCurve8(uint8_t* pixel, float x, float pivot);
