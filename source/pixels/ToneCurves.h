#pragma once
// The tone curves several tiles share: the exposure power curve (Exposure
// Curve, Gamma/Exposure, the hue curves), the contrast power curve
// (Contrast, Luminance Contrast, Advanced Contrast), the tone-curve body
// (Tone Curve and Shadows/Highlights), the luminance curve over rows and the
// pivot power curves (Advanced Contrast).
//
// Every function has a float form (samples 0..255 held as floats) and an
// 8-bit form (bytes) with the same formulas. Arithmetic is single precision
// unless a comment says double; 8-bit results are clamped to 0..255 (NaN
// stores as 0) and truncated toward zero. The per-pixel functions are inline
// so that a tile's row loop keeps its parameters in registers; the row
// forms are vectorised kernels (TILE_ROW_KERNEL) with the results of the
// per-pixel ones.

#include <math.h>
#include <stdint.h>

#include "foundation/ImageBuffer.h"
#include "pixels/KernelAttributes.h"
#include "pixels/RowLoops.h"
#include "pixels/SampleRules.h"

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
// Power bases are clamped at 0 (exposureBase: NaN passes), so samples
// outside 0..255 give finite results; in-range samples are unaffected.

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

// ---- Contrast power curve ----------------------------------------------------
//
// Contrast, Luminance Contrast and Advanced Contrast bend a value v about a
// centre c with the exponent e: above c the power is taken on the distance
// from white, 255 - ((255 - v)/span)^e span with span = 255 - c; below it on
// the distance from black, (v/c)^e c. A value on the centre (or NaN), or on
// a side whose span is 0 (a centre of 255 or 0, reached only by values
// outside 0..255), is kept. The exponent is the factor itself below 1 and
// 1/(2 - factor) from 1 up.

namespace tileloop {

TILE_INLINE float contrastExponent(float factor) { return factor < 1.0f ? factor : 1.0f / (2.0f - factor); }

// The curve in two halves around its power, so that a row kernel can run
// the powers in a loop of their own (see pixel::powerMapSamples): base(v)
// is the power's base on v's side, finish(v, power) the bent value.
struct ContrastCurve {
    float center;
    float span;  // 255 - center

    explicit ContrastCurve(float c) : center(c), span(255.0f - c) {}

    // Whether v moves at all.
    TILE_INLINE bool moves(float v) const { return v > center ? span != 0.0f : (v < center && center != 0.0f); }
    TILE_INLINE float base(float v) const {
        const bool above = v > center;
        return powerBase((above ? 255.0f - v : v) / (above ? span : center));
    }
    TILE_INLINE float finish(float v, float power) const {
        const float aboveValue = span == 0.0f ? v : 255.0f - power * span;
        const float belowValue = center == 0.0f ? v : power * center;
        return v > center ? aboveValue : (v < center ? belowValue : v);
    }
    TILE_INLINE float bend(float v, float e) const { return finish(v, powf(base(v), e)); }
};

}  // namespace tileloop

// ---- Tone curve ------------------------------------------------------------
//
// The body of the Tone Curve tile, also run by Shadows/Highlights on the tone
// curve it owns. The tile's vars are read by the positions below, in which
// the Tone Curve constructor adds them: "Amount" (float), "Curve" (curve),
// "Method" (choice: 0 "RGB", 1 "Luminance", 2 "Value", 3 "Lightness";
// another kind reads as 0, another index as 0). Returns at
// once when the Amount is 0 or not a float, when var 1 holds no curve, or
// when the curve is the two-point identity. A selector in args scales the
// strength per pixel. "RGB" maps every sample (the fourth included); the
// other methods change only the first three (an image of one or two
// channels is treated as grey and only its first sample changes).
enum ToneCurveVar : int32_t { kToneCurveAmount = 0, kToneCurveCurve = 1, kToneCurveMethod = 2 };
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
