#pragma once
// Pixel functions several tiles share: the exposure power curve, RGB to HSL,
// the tone-curve body (Tone Curve and Shadows/Highlights) and the pivot power
// curves (Advanced Contrast).
//
// Every function has a float form (samples 0..255 held as floats) and an
// 8-bit form (bytes) with the same formulas. Arithmetic is single precision
// unless a comment says double; 8-bit results are clamped to 0..255 (NaN
// stores as 0) and truncated toward zero. The per-pixel functions are inline
// so that a tile's row loop keeps its parameters in registers.

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
inline float exposureBase(float b) { return b < 0.0f ? 0.0f : b; }

inline void applyExposureCurve(const ImageBuffer& image, float* s, float x) {
    const int32_t n = image.channelCount();
    if (x == 1.0f) return;
    if (x > 1.0f) {
        const float e = 1.0f / (2.0f - x);
        for (int32_t c = 0; c < n; ++c) {
            float v = s[c];
            if (v <= 0.05f) v = 0.05f;
            s[c] = 255.0f - 255.0f * powf(exposureBase((255.0f - v) * pixel::kInv255), e);
        }
        return;
    }
    const float k = powf(static_cast<float>(1.0 - fabs(static_cast<double>(x) - 1.0)), 0.4f);
    const float inverse = 1.0f / x;
    for (int32_t c = 0; c < n; ++c) {
        float v = s[c];
        if (v >= 254.95f) v = 254.95f;
        s[c] = 255.0f * powf(exposureBase(v * pixel::kInv255), inverse);
    }
    const float t = (1.0f - k) * pixel::luminance(s, n);
    for (int32_t c = 0; c < n; ++c) {
        float v = s[c] * k + t;
        if (v < 0.0f) v = 0.0f;
        if (v > 255.0f) v = 255.0f;
        s[c] = v;
    }
}

// The 8-bit form: for x > 1 a byte b becomes 255 - trunc(255 ((255 - b)/255)^e)
// (no floor); for x < 1 a byte of 255 is first taken as 254 and b becomes
// trunc(255 (b/255)^(1/x)); the pull toward grey works on the new bytes.
inline void applyExposureCurve8(const ImageBuffer& image, uint8_t* b, float x) {
    const int32_t n = image.channelCount();
    if (x == 1.0f) return;
    if (x > 1.0f) {
        const float e = 1.0f / (2.0f - x);
        for (int32_t c = 0; c < n; ++c) {
            const float q = static_cast<float>(255 - b[c]) / 255.0f;
            b[c] = static_cast<uint8_t>(255 - storeByte(255.0f * powf(q, e)));
        }
        return;
    }
    const float k = powf(static_cast<float>(1.0 - fabs(static_cast<double>(x) - 1.0)), 0.4f);
    const float inverse = 1.0f / x;
    for (int32_t c = 0; c < n; ++c) {
        const int32_t v = b[c] == 255 ? 254 : b[c];
        b[c] = storeByte(255.0f * powf(static_cast<float>(v) / 255.0f, inverse));
    }
    const float t = (1.0f - k) * pixel::luminance(b, n);
    for (int32_t c = 0; c < n; ++c) b[c] = storeByte(static_cast<float>(b[c]) * k + t);
}

// The exposure curve over `pixelCount` consecutive pixels of the image's
// channel count (a row, or a whole image).
void applyExposureCurveRow(const ImageBuffer& image, float* samples, int64_t pixelCount, float x);
void applyExposureCurveRow8(const ImageBuffer& image, uint8_t* samples, int64_t pixelCount, float x);

// ---- RGB to HSL ----------------------------------------------------------
//
// r, g, b on 0..255 (each times the double 1/255, rounded to float). Hue in
// degrees, (0, 360] for coloured pixels (pure red gives 360, not 0) and 0 for
// greys; saturation and lightness 0..1. Ties go to red, then green, by exact
// float comparison.

inline void rgbToHsl(float* hue, float* saturation, float* lightness, float r, float g, float b) {
    r = static_cast<float>(static_cast<double>(r) * pixel::kInv255d);
    g = static_cast<float>(static_cast<double>(g) * pixel::kInv255d);
    b = static_cast<float>(static_cast<double>(b) * pixel::kInv255d);
    float maxValue = r > g ? r : g;
    if (b > maxValue) maxValue = b;
    float minValue = r < g ? r : g;
    if (b < minValue) minValue = b;
    const float L = 0.5f * (maxValue + minValue);
    float H = 0.0f;
    float S = 0.0f;
    if (L > 0.0f) {
        const float d = maxValue - minValue;
        if (d > 0.0f) {
            if (L <= 0.5f)
                S = static_cast<float>(static_cast<double>(d) / static_cast<double>(maxValue + minValue));
            else
                S = static_cast<float>(static_cast<double>(d) /
                                       (2.0 - static_cast<double>(maxValue) - static_cast<double>(minValue)));
            float sixths;
            if (r == maxValue)
                sixths = g == minValue ? 5.0f + (maxValue - b) / d : 1.0f - (maxValue - g) / d;
            else if (g == maxValue)
                sixths = b == minValue ? 1.0f + (maxValue - r) / d : 3.0f - (maxValue - b) / d;
            else
                sixths = r == minValue ? 3.0f + (maxValue - g) / d : 5.0f - (maxValue - r) / d;
            H = sixths * 60.0f;
        }
    }
    *hue = H;
    *saturation = S;
    *lightness = L;
}

// The same on the low byte of each integer (note the argument order).
inline void rgbToHsl8(int r, int g, int b, float* hue, float* saturation, float* lightness) {
    rgbToHsl(hue, saturation, lightness, static_cast<float>(r & 0xFF), static_cast<float>(g & 0xFF),
             static_cast<float>(b & 0xFF));
}

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
