#include "adjustments/BrightnessContrast.h"

#include <math.h>

#include <type_traits>

#include "adjustments/PixelLoops.h"
#include "framework/PixelMath.h"

namespace {

// The "Amount" of both tiles: a factor 0..2 shown as 0..100.
ModVar* addFactorAmount(ImageMod& mod, float amount) {
    ModVar* v = mod.addFloatVar("Amount", amount, 0.0f, 2.0f, 0);
    FloatValue* value = v->floatValue();
    value->displayLow = 0.0f;
    value->displayHigh = 100.0f;
    value->useDisplayRange = 1;
    return v;
}

inline float contrastExponent(float p) { return p < 1.0f ? p : 1.0f / (2.0f - p); }

// ---- Luminance contrast step -------------------------------------------------

// Bends the pixel's luminance L about c with the exponent e, then rescales
// the samples so the pixel takes the new luminance: toward 0 in proportion
// when it falls, toward 255 in proportion to the distance from it when it
// rises; a black or white pixel takes the new luminance in every sample.
template <class Sample, class N>
inline void luminanceContrastStep(Sample* px, N n, float e, float c) {
    const float L = pixel::luminance(px, n);
    float bent;
    if (L > c) {
        const float span = 255.0f - c;
        if (span == 0.0f) return;
        bent = 255.0f - powf(tileloop::powerBase((255.0f - L) / span), e) * span;
    } else if (L < c) {
        if (c == 0.0f) return;
        bent = powf(tileloop::powerBase(L / c), e) * c;
    } else {
        return;  // on the centre (or NaN): unchanged
    }
    if (L != 0.0f && L != 255.0f) {
        if (L >= bent) {
            const float f = (L - bent) / L;
            for (int32_t k = 0; k < n; ++k) {
                const float v = static_cast<float>(px[k]);
                tileloop::store(px[k], v - v * f);
            }
        } else {
            const float f = (bent - L) / (255.0f - L);
            for (int32_t k = 0; k < n; ++k) {
                const float v = static_cast<float>(px[k]);
                tileloop::store(px[k], v + (255.0f - v) * f);
            }
        }
    } else {
        for (int32_t k = 0; k < n; ++k) tileloop::store(px[k], bent);
    }
}

struct LuminanceContrastParams {
    float amount = 1.0f;
    float center = 0.0f;
    tileloop::Selector selector;
};

bool prepareLuminanceContrast(const LuminanceContrastMod& mod, const RenderArgs* args, LuminanceContrastParams& p) {
    p.amount = tileloop::floatVar(mod, 0);
    if (p.amount == 1.0f) return false;
    p.center = tileloop::floatVar(mod, 1);
    p.selector = tileloop::selectorOf(args);
    return true;
}

template <class Sample>
void luminanceContrastPixels(ImageBuffer& image, const LuminanceContrastParams& p) {
    const float c = p.center;
    if (p.selector) {
        const float a = p.amount;
        tileloop::forEachWeightedPixel<Sample>(image, p.selector, [=](Sample* px, auto n, float w) {
            const float factor = pixel::weightedFactor(a, w);
            if (factor == 1.0f) return;  // weight 0: exactly as the identity Amount
            luminanceContrastStep(px, n, contrastExponent(factor), c);
        });
        return;
    }
    const float e = contrastExponent(p.amount);
    tileloop::forEachPixel<Sample>(image, [=](Sample* px, auto n) { luminanceContrastStep(px, n, e, c); });
}

// ---- Brightness ----------------------------------------------------------------

struct BrightnessParams {
    Curve curve;  // the straight two-point curve built from the Amount
    tileloop::Selector selector;
};

bool prepareBrightness(const BrightnessMod& mod, const RenderArgs* args, BrightnessParams& p) {
    const float a = tileloop::floatVar(mod, 0);
    if (a == 1.0f) return false;
    GrowString straight("0 0 1 1");
    p.curve.setFromString(straight);
    if (a < 1.0f)
        p.curve.setPoint(1, CurvePoint{1.0f, a});  // (0,0)-(1,a): darkens
    else
        p.curve.setPoint(0, CurvePoint{0.0f, a - 1.0f});  // (0,a-1)-(1,1): lifts the blacks
    p.selector = tileloop::selectorOf(args);
    return p.curve.table.count >= Curve::kTableSize;
}

// With a selector the mapped sample is blended with the original by the
// weight: v (1 - w) in double plus 255 w T(v) in float, summed in double.
inline double brightnessBlend(float v, float w, const float* table) {
    const float mapped = 255.0f * w * pixel::curveLookup(table, v);
    return static_cast<double>(v) * (1.0 - static_cast<double>(w)) + static_cast<double>(mapped);
}

inline void storeBlend(float& sample, double v) { sample = static_cast<float>(v); }
inline void storeBlend(uint8_t& sample, double v) { sample = tileloop::storeByteFromDouble(v); }

template <class Sample>
void brightnessPixels(ImageBuffer& image, const BrightnessParams& p) {
    const float* table = p.curve.table.data;
    if (p.selector) {
        tileloop::forEachWeightedPixel<Sample>(image, p.selector, [=](Sample* px, auto n, float w) {
            for (int32_t k = 0; k < n; ++k) storeBlend(px[k], brightnessBlend(static_cast<float>(px[k]), w, table));
        });
        return;
    }
    if constexpr (std::is_same<Sample, uint8_t>::value) {
        tileloop::mapEveryByte(image, [=](uint8_t b) { return storeByte(255.0f * pixel::curveLookup(table, b)); });
    } else {
        float* s = image.floats();
        const int64_t count = tileloop::hasPixels(image) ? image.sampleCount() : 0;
        for (int64_t i = 0; i < count; ++i) s[i] = 255.0f * pixel::curveLookup(table, s[i]);
    }
}

}  // namespace

// ---- luminanceContrastPixel ---------------------------------------------------------

void luminanceContrastPixel(const ImageBuffer& image, float* px, float p, float c) {
    if (px) luminanceContrastStep(px, image.channelCount(), contrastExponent(p), c);
}

void luminanceContrastPixel8(const ImageBuffer& image, uint8_t* px, float p, float c) {
    if (px) luminanceContrastStep(px, image.channelCount(), contrastExponent(p), c);
}

// ---- LuminanceContrastMod ----------------------------------------------------------

LuminanceContrastMod::LuminanceContrastMod(float amount, float center)
    : ImageMod(GrowString("Luminance Contrast"), GrowString("Luminance Contrast")) {
    ModVar* amountVar = addFactorAmount(*this, amount);
    ModVar* centerVar = addFloatVar("Center", center, 0.0f, 255.0f, 0);
    centerVar->floatValue()->tickCount = 8;
    centerVar->setAlias("Contrast Origin");
    addAnimTrack(amountVar, "1.6 .7 1.6", 3.0f);
    addAnimTrack(centerVar, "90 165 90", 4.513f);
    description =
        "Adjust contrast based on luminance, which preserves saturation. The Contrast Origin slider "
        "determines the brightness value from which the contrast emanates.";
}

ImageMod* LuminanceContrastMod::clone() const { return new LuminanceContrastMod(1.0f, 90.0f); }

void LuminanceContrastMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void LuminanceContrastMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

void LuminanceContrastMod::apply8(ImageBuffer& image, const RenderArgs* args) const {
    LuminanceContrastParams p;
    if (prepareLuminanceContrast(*this, args, p)) luminanceContrastPixels<uint8_t>(image, p);
}

void LuminanceContrastMod::applyFloat(ImageBuffer& image, const RenderArgs* args) const {
    LuminanceContrastParams p;
    if (prepareLuminanceContrast(*this, args, p)) luminanceContrastPixels<float>(image, p);
}

// ---- BrightnessMod -------------------------------------------------------------------

BrightnessMod::BrightnessMod(float amount) : ImageMod(GrowString("Brightness"), GrowString("Brightness")) {
    ModVar* amountVar = addFactorAmount(*this, amount);
    addAnimTrack(amountVar, ".7 1.3 .7", 3.0f);
    description = "Adjust overall image brightness.";
}

ImageMod* BrightnessMod::clone() const { return new BrightnessMod(1.0f); }

void BrightnessMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void BrightnessMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

void BrightnessMod::apply8(ImageBuffer& image, const RenderArgs* args) const {
    if (!tileloop::hasPixels(image)) return;
    BrightnessParams p;
    if (prepareBrightness(*this, args, p)) brightnessPixels<uint8_t>(image, p);
}

void BrightnessMod::applyFloat(ImageBuffer& image, const RenderArgs* args) const {
    if (!tileloop::hasPixels(image)) return;
    BrightnessParams p;
    if (prepareBrightness(*this, args, p)) brightnessPixels<float>(image, p);
}
