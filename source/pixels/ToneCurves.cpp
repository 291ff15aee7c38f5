#include "pixels/ToneCurves.h"

#include <type_traits>

#include "framework/ImageMod.h"
#include "framework/SelectorMod.h"
#include "pixels/ColourModels.h"

using pixel::withChannels;

namespace {

// Maps every byte of a buffer through a table of its 256 values.
TILE_INLINE void mapBytes(uint8_t* samples, int64_t count, const uint8_t table[256]) {
    for (int64_t i = 0; i < count; ++i) samples[i] = table[samples[i]];
}

// ---- Exposure curve ----

// Pixels per block of the darkening curve: its powers run over the block's
// samples, then the pull over its pixels.
constexpr int64_t kExposureBlock = 128;

TILE_ROW_KERNEL void exposureRow(float* __restrict s, int64_t pixels, int32_t channels, float x) {
    pixel::WholeSampleTable table;
    if (x > 1.0f) {
        const float e = 1.0f / (2.0f - x);
        pixel::powerMapSamples(ExposureLighten(), s, pixels * channels, e, table);
        return;
    }
    const float k = exposureGreyPull(x);
    const float inverse = 1.0f / x;
    withChannels(channels, [&](auto n) TILE_INLINE_LAMBDA {
        const int64_t step = n;
        for (int64_t start = 0; start < pixels; start += kExposureBlock) {
            const int64_t m = pixels - start < kExposureBlock ? pixels - start : kExposureBlock;
            float* block = s + start * step;
            pixel::powerMapSamples(ExposureDarken(), block, m * step, inverse, table);
            for (int64_t i = 0; i < m; ++i) exposurePull(block + i * step, n, k);
        }
    });
}

TILE_ROW_KERNEL void exposureRow8(uint8_t* __restrict b, int64_t pixels, int32_t channels, float x) {
    uint8_t table[256];
    if (x > 1.0f) {
        const float e = 1.0f / (2.0f - x);
        for (int32_t v = 0; v < 256; ++v) table[v] = exposureLightenByte(static_cast<uint8_t>(v), e);
        mapBytes(b, pixels * channels, table);
        return;
    }
    const float k = exposureGreyPull(x);
    const float inverse = 1.0f / x;
    for (int32_t v = 0; v < 256; ++v) table[v] = exposureDarkenByte(static_cast<uint8_t>(v), inverse);
    withChannels(channels, [&](auto n) TILE_INLINE_LAMBDA {
        const int64_t step = n;
        for (int64_t i = 0; i < pixels; ++i) {
            uint8_t* px = b + i * step;
            for (int32_t c = 0; c < n; ++c) px[c] = table[px[c]];
            exposurePull8(px, n, k);
        }
    });
}

// ---- Luminance curve ----

template <class Sample>
TILE_ROW_KERNEL void luminanceRow(Sample* __restrict s, int64_t pixels, int32_t channels,
                                  const float* __restrict table, float strength) {
    pixel::forEachPixelIn(s, pixels, channels, [&](Sample* px, auto n) TILE_INLINE_LAMBDA {
        pixel::luminanceCurvePixel(px, n, table, strength);
    });
}

// ---- HSV and HSL back to RGB ----

// HSV back to RGB on the 0..1 scale; a saturation of 0 gives grey. The
// sector's three values are picked without a jump.
TILE_INLINE void hsvToRgb(float h, float s, float v, float out[3]) {
    const float h6 = h * 0.0027777778f * 6.0f;  // 0.0027777778 = 1/360
    const float j = floorf(h6);
    const float f = h6 - j;
    const float p = v * (1.0f - s);
    const float q = v * (1.0f - f * s);
    const float t = v * (1.0f - (1.0f - f) * s);
    float r, g, b;
    hsvpixel::pickSector(j, v, p, q, t, &r, &g, &b);
    const bool grey = s == 0.0f;
    out[0] = grey ? v : r;
    out[1] = grey ? v : g;
    out[2] = grey ? v : b;
}

// HSL back to RGB on the 0..1 scale (hue in degrees, 0..360).
TILE_INLINE void hslToRgb(float h, float s, float l, float out[3]) {
    const float q = l > 0.5f ? l + s - s * l : (s + 1.0f) * l;
    const float p = 2.0f * l - q;
    const float hk = h * 0.016666668f;  // 1/60
    // The sector: hk truncated (floored, as it is not negative) when it
    // lies in 0..8, else -1 (NaN too), kept as a float for the compares
    // below; compares of a converted integer would become a switch.
    const float k = (hk >= 0.0f) & (hk < 8.0f) ? floorf(hk) : -1.0f;
    const float f = hk - (k < 0.0f ? 0.0f : k);
    const float up = p + f * (q - p);
    const float down = q - f * (q - p);
    // Sector 6 is pure red at 360.
    float r, g, b;
    pickHslSector(k, p, q, up, down, &r, &g, &b);
    const bool grey = q <= 0.0f;
    out[0] = grey ? l : r;
    out[1] = grey ? l : g;
    out[2] = grey ? l : b;
}

template <class Sample>
TILE_INLINE void storeRgb(Sample* p, const float rgb[3]) {
    TILE_EACH_SAMPLE
    for (int32_t c = 0; c < 3; ++c) pixel::storeSample(p[c], rgb[c] * 255.0f);
}

// ---- Tone curve ----

enum ToneMethod : int32_t { kToneRgb = 0, kToneLuminance = 1, kToneValue = 2, kToneLightness = 3 };

struct ToneParams {
    float amount = 0.0f;
    const float* table = nullptr;
    int32_t method = kToneRgb;
    const SelectorMod* selector = nullptr;
    const RenderRegion* region = nullptr;
};

// False when the call leaves the image unchanged.
bool prepareToneCurve(const ImageMod& tile, const RenderArgs* args, ToneParams& out) {
    const FloatValue* amount = tile.floatAt(kToneCurveAmount);
    if (!amount || amount->value == 0.0f) return false;
    out.amount = amount->value;
    const ModVar* curveVar = tile.var(kToneCurveCurve);
    const CurveValue* curveValue = curveVar ? curveVar->curveValue() : nullptr;
    if (!curveValue) return false;
    const Curve& curve = curveValue->curve;
    if (curve.table.count < Curve::kTableSize) return false;
    const ModVar* methodVar = tile.var(kToneCurveMethod);
    const ChoiceValue* choice = methodVar ? methodVar->choiceValue() : nullptr;
    out.method = choice ? choice->selected : kToneRgb;
    if (out.method < kToneRgb || out.method > kToneLightness) out.method = kToneRgb;
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

// "RGB": every sample through the curve with strength w. Floats blend in
// float; bytes in double, truncated from the double.
TILE_INLINE float toneSample(float v, const float* table, float w) {
    return v * (1.0f - w) + 255.0f * w * pixel::curveLookup(table, v);
}
TILE_INLINE uint8_t toneByte(uint8_t b, const float* table, float w) {
    const double v = b;
    const double lookedUp = pixel::curveLookup(table, static_cast<float>(b));
    const double mixed = v * (1.0 - static_cast<double>(w)) + 255.0 * static_cast<double>(w) * lookedUp;
    if (!(mixed > 0.0)) return 0;  // NaN too
    if (mixed >= 255.0) return 255;
    return static_cast<uint8_t>(mixed);
}

// "Value" and "Lightness" on one pixel of three or more samples.
template <class Sample>
TILE_INLINE void toneValuePixel(Sample* p, const float* table, float w) {
    const hsvpixel::Hsv hsv = hsvpixel::hsvOf(p);
    const float v2 = hsv.v + (pixel::curveLookupUnit(table, hsv.v) - hsv.v) * w;
    float rgb[3];
    hsvToRgb(hsv.h, hsv.s, v2, rgb);
    storeRgb(p, rgb);
}

template <class Sample>
TILE_INLINE void toneLightnessPixel(Sample* p, const float* table, float w) {
    float h, s, l;
    hslOf(p, &h, &s, &l);
    const float l2 = l + (pixel::curveLookupUnit(table, l) - l) * w;
    float rgb[3];
    hslToRgb(h, s, l2, rgb);
    storeRgb(p, rgb);
}

// One pixel of n samples with strength w, any method.
template <class Sample>
inline void tonePixel(Sample* p, int32_t n, const ToneParams& tp, float w) {
    const float* table = tp.table;
    if (tp.method == kToneLuminance) {
        pixel::luminanceCurvePixel(p, n, table, w);
    } else if (tp.method == kToneRgb) {
        for (int32_t c = 0; c < n; ++c) {
            if constexpr (std::is_same<Sample, uint8_t>::value)
                p[c] = toneByte(p[c], table, w);
            else
                p[c] = toneSample(p[c], table, w);
        }
    } else if (tp.method == kToneValue) {
        toneValuePixel(p, table, w);
    } else {
        toneLightnessPixel(p, table, w);
    }
}

// The methods without a selector: one strength, the method chosen once
// ("Luminance" goes through the luminance curve rows, "RGB" on bytes
// through a table of the 256 values).
template <class Sample>
TILE_ROW_KERNEL void toneRow(Sample* __restrict s, int64_t pixels, int32_t channels, int32_t method,
                             const float* __restrict table, float w) {
    if (method == kToneRgb) {
        if constexpr (std::is_same<Sample, uint8_t>::value) {
            uint8_t bytes[256];
            for (int32_t b = 0; b < 256; ++b) bytes[b] = toneByte(static_cast<uint8_t>(b), table, w);
            mapBytes(s, pixels * channels, bytes);
        } else {
            const int64_t count = pixels * channels;
            for (int64_t i = 0; i < count; ++i) s[i] = toneSample(s[i], table, w);
        }
    } else if (method == kToneValue) {
        pixel::forEachPixelIn(s, pixels, channels,
                              [=](Sample* px, auto) TILE_INLINE_LAMBDA { toneValuePixel(px, table, w); });
    } else {
        pixel::forEachPixelIn(s, pixels, channels,
                              [=](Sample* px, auto) TILE_INLINE_LAMBDA { toneLightnessPixel(px, table, w); });
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
    // "Value" and "Lightness" read and write three samples: an image of one
    // or two channels is left as it is.
    if (n < 3 && (tp.method == kToneValue || tp.method == kToneLightness)) return;
    if (!tp.selector) {
        const int64_t pixels = static_cast<int64_t>(width) * image.height;
        if (tp.method == kToneLuminance)
            luminanceRow(data, pixels, n, tp.table, tp.amount);
        else
            toneRow(data, pixels, n, tp.method, tp.table, tp.amount);
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
    const hsvpixel::Hsv hsv = hsvpixel::hsvOf(p);
    float bent;
    if (!pivotBend(hsv.v, x, pivot, &bent)) return;
    float rgb[3];
    hsvToRgb(hsv.h, hsv.s, bent, rgb);
    storeRgb(p, rgb);
}

}  // namespace

void exposurePull8Any(uint8_t* b, int32_t n, float k) { exposurePull8(b, n, k); }

void applyExposureCurveRow(const ImageBuffer& image, float* samples, int64_t pixelCount, float x) {
    if (x == 1.0f || !samples || pixelCount < 1) return;
    exposureRow(samples, pixelCount, image.channelCount(), x);
}

void applyExposureCurveRow8(const ImageBuffer& image, uint8_t* samples, int64_t pixelCount, float x) {
    if (x == 1.0f || !samples || pixelCount < 1) return;
    exposureRow8(samples, pixelCount, image.channelCount(), x);
}

void applyLuminanceCurveRow(float* samples, int64_t pixelCount, int32_t channels, const float* table,
                            float strength) {
    if (samples && table && pixelCount > 0 && channels > 0)
        luminanceRow(samples, pixelCount, channels, table, strength);
}

void applyLuminanceCurveRow8(uint8_t* samples, int64_t pixelCount, int32_t channels, const float* table,
                             float strength) {
    if (samples && table && pixelCount > 0 && channels > 0)
        luminanceRow(samples, pixelCount, channels, table, strength);
}

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
