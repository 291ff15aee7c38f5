#include "adjustments/BrightnessContrast.h"

#include <math.h>

#include <type_traits>

#include "adjustments/TileVars.h"
#include "pixels/PixelKit.h"

namespace {

using tilevars::addFactorAmount;  // the "Amount" of both tiles

// The vars of Luminance Contrast, in the order its constructor adds them;
// Brightness has the Amount only.
enum LuminanceContrastVar : int32_t { kAmount = 0, kCenter = 1 };

using tileloop::contrastExponent;

// ---- Luminance contrast step -------------------------------------------------

// Bends the pixel's luminance L about c with the exponent e (the contrast
// curve), and the pixel takes the new luminance; a pixel whose luminance
// the curve keeps is left as it is.
template <class Sample, class N>
inline void luminanceContrastStep(Sample* px, N n, float e, float c) {
    const float L = pixel::luminance(px, n);
    const tileloop::ContrastCurve curve(c);
    if (!curve.moves(L)) return;
    pixel::takeLuminance(px, n, L, curve.bend(L, e));
}

struct LuminanceContrastParams {
    float amount = 1.0f;
    float center = 0.0f;
    tileloop::Selector selector;
};

bool prepareLuminanceContrast(const LuminanceContrastMod& mod, const RenderArgs* args, LuminanceContrastParams& p) {
    p.amount = tileloop::floatVar(mod, kAmount);
    if (p.amount == 1.0f) return false;
    p.center = tileloop::floatVar(mod, kCenter);
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
    const float a = tileloop::floatVar(mod, kAmount);
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
    version = kNewestVersion;
    ModVar* amountVar = tilevars::placed(*this, kAmount, addFactorAmount(*this, amount));
    ModVar* centerVar = tilevars::placed(*this, kCenter, addFloatVar("Center", center, 0.0f, 255.0f, 0));
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
    version = kNewestVersion;
    ModVar* amountVar = tilevars::placed(*this, kAmount, addFactorAmount(*this, amount));
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
