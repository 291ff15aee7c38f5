#include "render/PixelHelpers.h"

#include <type_traits>

#include "framework/ImageMod.h"
#include "framework/SelectorMod.h"

void applyExposureCurveRow(const ImageBuffer& image, float* samples, int64_t pixelCount, float x) {
    if (x == 1.0f || !samples) return;
    const int64_t n = image.channelCount();
    for (int64_t i = 0; i < pixelCount; ++i) applyExposureCurve(image, samples + i * n, x);
}

void applyExposureCurveRow8(const ImageBuffer& image, uint8_t* samples, int64_t pixelCount, float x) {
    if (x == 1.0f || !samples) return;
    const int64_t n = image.channelCount();
    for (int64_t i = 0; i < pixelCount; ++i) applyExposureCurve8(image, samples + i * n, x);
}

namespace {

// Truncation toward zero of a double into a byte, clamped first (NaN gives 0).
inline uint8_t storeByteDouble(double v) {
    if (!(v > 0.0)) return 0;
    if (v >= 255.0) return 255;
    return static_cast<uint8_t>(v);
}

inline void storeSample(float* p, float v) { *p = v; }
inline void storeSample(uint8_t* p, float v) { *p = storeByte(v); }

// A sector number taken from a float that may be NaN or huge: values
// outside 0..7 become -1, which every sector switch treats as its default.
inline int32_t sectorOf(float v) {
    if (!(v >= 0.0f) || !(v < 8.0f)) return -1;
    return static_cast<int32_t>(v);
}

// HSV of the first three samples on the 0..1 scale (each times the double
// 1/255, rounded to float). hue in degrees [0, 360), 0 for greys.
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
        out.s = d / maxValue;
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

// HSV back to RGB on the 0..1 scale; a saturation of 0 gives grey.
inline void hsvToRgb(float h, float s, float v, float out[3]) {
    if (s == 0.0f) {
        out[0] = out[1] = out[2] = v;
        return;
    }
    const float h6 = h * 0.0027777778f * 6.0f;  // 0.0027777778 = 1/360
    const float j = floorf(h6);
    const float f = h6 - j;
    const float p = v * (1.0f - s);
    const float q = v * (1.0f - f * s);
    const float t = v * (1.0f - (1.0f - f) * s);
    switch (sectorOf(j)) {
        case 0: out[0] = v; out[1] = t; out[2] = p; break;
        case 1: out[0] = q; out[1] = v; out[2] = p; break;
        case 2: out[0] = p; out[1] = v; out[2] = t; break;
        case 3: out[0] = p; out[1] = q; out[2] = v; break;
        case 4: out[0] = t; out[1] = p; out[2] = v; break;
        default: out[0] = v; out[1] = p; out[2] = q; break;
    }
}

// HSL back to RGB on the 0..1 scale (hue in degrees, 0..360).
inline void hslToRgb(float h, float s, float l, float out[3]) {
    const float q = l > 0.5f ? l + s - s * l : (s + 1.0f) * l;
    if (q <= 0.0f) {
        out[0] = out[1] = out[2] = l;
        return;
    }
    const float p = 2.0f * l - q;
    const float hk = h * 0.016666668f;  // 1/60
    const int32_t k = sectorOf(hk);
    const float f = hk - static_cast<float>(k < 0 ? 0 : k);
    const float up = p + f * (q - p);
    const float down = q - f * (q - p);
    switch (k) {
        case 1: out[0] = down; out[1] = q; out[2] = p; break;
        case 2: out[0] = p; out[1] = q; out[2] = up; break;
        case 3: out[0] = p; out[1] = down; out[2] = q; break;
        case 4: out[0] = up; out[1] = p; out[2] = q; break;
        case 5: out[0] = q; out[1] = p; out[2] = down; break;
        default: out[0] = q; out[1] = up; out[2] = p; break;  // 0 and 6 (pure red at 360)
    }
}

template <class Sample>
inline void hslOf(const Sample* p, float* h, float* s, float* l) {
    if constexpr (std::is_same<Sample, uint8_t>::value)
        rgbToHsl8(p[0], p[1], p[2], h, s, l);
    else
        rgbToHsl(h, s, l, p[0], p[1], p[2]);
}

template <class Sample>
inline void storeRgb(Sample* p, const float rgb[3]) {
    for (int32_t c = 0; c < 3; ++c) storeSample(p + c, rgb[c] * 255.0f);
}

// ---- Tone curve ----

struct ToneParams {
    float amount = 0.0f;
    const float* table = nullptr;
    int32_t method = 0;
    const SelectorMod* selector = nullptr;
    const RenderRegion* region = nullptr;
};

// False when the call leaves the image unchanged.
bool prepareToneCurve(const ImageMod& tile, const RenderArgs* args, ToneParams& out) {
    const FloatValue* amount = tile.floatAt(0);
    if (!amount || amount->value == 0.0f) return false;
    out.amount = amount->value;
    const ModVar* curveVar = tile.var(1);
    const CurveValue* curveValue = curveVar ? curveVar->curveValue() : nullptr;
    if (!curveValue) return false;
    const Curve& curve = curveValue->curve;
    if (curve.table.count < Curve::kTableSize) return false;
    const ModVar* methodVar = tile.var(2);
    const ChoiceValue* choice = methodVar ? methodVar->choiceValue() : nullptr;
    out.method = choice ? choice->selected : 0;
    if (out.method < 0 || out.method > 3) out.method = 0;
    const GrowArray<CurvePoint>& points = curve.points;
    if (points.count == 2 && points[0].x == 0.0f && points[0].y == 0.0f && points[1].x == 1.0f &&
        points[1].y == 1.0f)
        return false;
    out.table = curve.table.data;
    if (args) {
        out.selector = dynamic_cast<const SelectorMod*>(args->selector);
        out.region = args->region;
    }
    return true;
}

// One pixel of n samples with strength w.
template <class Sample>
inline void tonePixel(Sample* p, int32_t n, const ToneParams& tp, float w) {
    const float* table = tp.table;
    switch (tp.method) {
        case 1:
            if constexpr (std::is_same<Sample, uint8_t>::value)
                pixel::applyLuminanceCurve8(n, p, table, w);
            else
                pixel::applyLuminanceCurve(n, p, table, w);
            return;
        case 2:
        case 3: {
            if (n < 3) {
                // One or two channels: a grey pixel, whose value and
                // lightness are both the first sample.
                const float v = static_cast<float>(static_cast<double>(p[0]) * pixel::kInv255d);
                const float v2 = v + (pixel::curveLookupUnit(table, v) - v) * w;
                storeSample(p, v2 * 255.0f);
                return;
            }
            float rgb[3];
            if (tp.method == 2) {
                const Hsv hsv = hsvOf(p);
                const float v2 = hsv.v + (pixel::curveLookupUnit(table, hsv.v) - hsv.v) * w;
                hsvToRgb(hsv.h, hsv.s, v2, rgb);
            } else {
                float h, s, l;
                hslOf(p, &h, &s, &l);
                const float l2 = l + (pixel::curveLookupUnit(table, l) - l) * w;
                hslToRgb(h, s, l2, rgb);
            }
            storeRgb(p, rgb);
            return;
        }
        default:
            for (int32_t c = 0; c < n; ++c) {
                if constexpr (std::is_same<Sample, uint8_t>::value) {
                    const double v = p[c];
                    const double lookedUp = pixel::curveLookup(table, static_cast<float>(p[c]));
                    p[c] = storeByteDouble(v * (1.0 - static_cast<double>(w)) +
                                           255.0 * static_cast<double>(w) * lookedUp);
                } else {
                    const float v = p[c];
                    p[c] = v * (1.0f - w) + 255.0f * w * pixel::curveLookup(table, v);
                }
            }
            return;
    }
}

inline float weightAt(const SelectorMod& s, const ImageBuffer& image, int32_t x, int32_t y,
                      const RenderRegion* region, const float*) {
    return s.maskWeight(image, x, y, region);
}
inline float weightAt(const SelectorMod& s, const ImageBuffer& image, int32_t x, int32_t y,
                      const RenderRegion* region, const uint8_t*) {
    return s.maskWeight8(image, x, y, region);
}

template <class Sample>
void toneCurveImage(const ImageMod& tile, ImageBuffer& image, const RenderArgs* args) {
    ToneParams tp;
    if (!image.data || image.width < 1 || image.height < 1) return;
    if (!prepareToneCurve(tile, args, tp)) return;
    Sample* data = static_cast<Sample*>(image.data);
    const int32_t n = image.channelCount();
    const int32_t width = image.width;
    if (!tp.selector) {
        const int64_t count = static_cast<int64_t>(width) * image.height;
        for (int64_t i = 0; i < count; ++i) tonePixel(data + i * n, n, tp, tp.amount);
        return;
    }
    for (int32_t y = 0; y < image.height; ++y) {
        Sample* row = data + static_cast<int64_t>(y) * width * n;
        for (int32_t x = 0; x < width; ++x) {
            const float w = tp.amount * weightAt(*tp.selector, image, x, y, tp.region, data);
            tonePixel(row + static_cast<int64_t>(x) * n, n, tp, w);
        }
    }
}

// ---- Pivot curves ----

// The bent Y, or false when Y sits on the pivot (the pixel stays as it is).
inline bool pivotBend(float y, float x, float pivot, float* bent) {
    const float e = x >= 1.0f ? 1.0f / (2.0f - x) : x;
    const float P = pivot * pixel::kInv255;
    if (y == P) return false;
    if (y < P)
        *bent = P * powf(y / P, e);
    else
        *bent = 1.0f - (1.0f - P) * powf(static_cast<float>((1.0 - static_cast<double>(y)) /
                                                            (1.0 - static_cast<double>(P))),
                                           e);
    return true;
}

template <class Sample>
void lightnessPivot(Sample* p, float x, float pivot) {
    float h, s, l;
    hslOf(p, &h, &s, &l);
    float bent;
    if (!pivotBend(l, x, pivot, &bent)) return;
    float rgb[3];
    hslToRgb(h, s, bent, rgb);
    storeRgb(p, rgb);
}

template <class Sample>
void valuePivot(Sample* p, float x, float pivot) {
    const Hsv hsv = hsvOf(p);
    float bent;
    if (!pivotBend(hsv.v, x, pivot, &bent)) return;
    float rgb[3];
    hsvToRgb(hsv.h, hsv.s, bent, rgb);
    storeRgb(p, rgb);
}

}  // namespace

void applyToneCurve(const ImageMod& tile, ImageBuffer& image, const RenderArgs* args) {
    toneCurveImage<float>(tile, image, args);
}

void applyToneCurve8(const ImageMod& tile, ImageBuffer& image, const RenderArgs* args) {
    toneCurveImage<uint8_t>(tile, image, args);
}

void applyLightnessPivotCurve(float* pixel, float x, float pivot) {
    if (pixel) lightnessPivot(pixel, x, pivot);
}

void applyLightnessPivotCurve8(uint8_t* pixel, float x, float pivot) {
    if (pixel) lightnessPivot(pixel, x, pivot);
}

void applyValuePivotCurve(float* pixel, float x, float pivot) {
    if (pixel) valuePivot(pixel, x, pivot);
}

void applyValuePivotCurve8(uint8_t* pixel, float x, float pivot) {
    if (pixel) valuePivot(pixel, x, pivot);
}
