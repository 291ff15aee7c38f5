#include "adjustments/AdvancedContrast.h"

#include <math.h>

#include <type_traits>

#include "adjustments/BrightnessContrast.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/TileVars.h"
#include "pixels/PixelKit.h"

namespace {

// The vars, in the order the constructor adds them.
enum AdvancedContrastVar : int32_t { kAmount = 0, kCenter = 1, kMethod = 2 };

const char* const kMethods[] = {"RGB", "Luminance", "Value", "Lightness"};
constexpr int32_t kMethodCount = 4;

// ---- Parameters ----------------------------------------------------------------

struct AdvancedContrastParams {
    float amount = 1.0f;
    float center = 0.0f;
    int32_t method = 0;
    tileloop::Selector selector;
};

// False when the call leaves the image unchanged: Amount exactly 1 (or NaN,
// which no file can store), or a method index outside the four methods.
bool prepareAdvancedContrast(const AdvancedContrastMod& mod, const RenderArgs* args, AdvancedContrastParams& p) {
    p.amount = tileloop::floatVar(mod, kAmount);
    if (p.amount == 1.0f || p.amount != p.amount) return false;
    const ModVar* methodVar = mod.var(kMethod);
    const ChoiceValue* choice = methodVar ? methodVar->choiceValue() : nullptr;
    p.method = choice ? choice->selected : 0;
    if (p.method < 0 || p.method >= kMethodCount) return false;
    p.center = tileloop::floatVar(mod, kCenter);
    p.selector = tileloop::selectorOf(args);
    return true;
}

using tileloop::contrastExponent;

// ---- Kernels -----------------------------------------------------------------

// The RGB method on one sample: the contrast curve about K.
template <class Sample>
inline void rgbPivotSample(Sample& sample, float e, const tileloop::ContrastCurve& curve) {
    tileloop::store(sample, curve.bend(static_cast<float>(sample), e));
}

template <class Sample>
void rgbPixels(ImageBuffer& image, const AdvancedContrastParams& p) {
    const tileloop::ContrastCurve curve(p.center);
    if (p.selector) {
        const float a = p.amount;
        tileloop::forEachWeightedPixel<Sample>(image, p.selector, [=](Sample* px, auto n, float w) {
            const float e = contrastExponent(pixel::weightedFactor(a, w));
            for (int32_t k = 0; k < n; ++k) rgbPivotSample(px[k], e, curve);
        });
        return;
    }
    const float e = contrastExponent(p.amount);
    if constexpr (std::is_same<Sample, uint8_t>::value) {
        tileloop::mapEveryByte(image, [=](uint8_t b) {
            uint8_t out = b;
            rgbPivotSample(out, e, curve);
            return out;
        });
    } else if (tileloop::hasPixels(image)) {
        applyContrastCurveRow(image.floats(), image.sampleCount(), p.center, e);
    }
}

// The per-pixel steps of the other methods, given the pixel's Amount x.
struct LuminanceStep {
    const ImageBuffer* image;
    void operator()(float* px, float x, float K) const { luminanceContrastPixel(*image, px, x, K); }
    void operator()(uint8_t* px, float x, float K) const { luminanceContrastPixel8(*image, px, x, K); }
};
struct ValueStep {
    void operator()(float* px, float x, float K) const { applyValuePivotCurve(px, x, K); }
    void operator()(uint8_t* px, float x, float K) const { applyValuePivotCurve8(px, x, K); }
};
struct LightnessStep {
    void operator()(float* px, float x, float K) const { applyLightnessPivotCurve(px, x, K); }
    void operator()(uint8_t* px, float x, float K) const { applyLightnessPivotCurve8(px, x, K); }
};

template <class Sample, class Step>
void stepPixels(ImageBuffer& image, const AdvancedContrastParams& p, Step step) {
    const float a = p.amount;
    const float K = p.center;
    if (p.selector) {
        tileloop::forEachWeightedPixel<Sample>(
            image, p.selector, [=](Sample* px, auto, float w) { step(px, pixel::weightedFactor(a, w), K); });
    } else {
        tileloop::forEachPixel<Sample>(image, [=](Sample* px, auto) { step(px, a, K); });
    }
}

template <class Sample>
void runAdvancedContrast(const AdvancedContrastMod& mod, ImageBuffer& image, const RenderArgs* args) {
    AdvancedContrastParams p;
    if (!prepareAdvancedContrast(mod, args, p)) return;
    // The value and lightness methods read three samples per pixel.
    const bool hasColour = image.channelCount() >= 3;
    switch (p.method) {
    case 0: rgbPixels<Sample>(image, p); break;
    case 1: stepPixels<Sample>(image, p, LuminanceStep{&image}); break;
    case 2:
        if (hasColour) stepPixels<Sample>(image, p, ValueStep{});
        break;
    case 3:
        if (hasColour) stepPixels<Sample>(image, p, LightnessStep{});
        break;
    default: break;
    }
}

}  // namespace

// ---- AdvancedContrastMod -----------------------------------------------------------

AdvancedContrastMod::AdvancedContrastMod()
    : ImageMod(GrowString("Advanced Contrast"), GrowString("Advanced Contrast")) {
    version = kNewestVersion;
    ModVar* amountVar = tilevars::placed(*this, kAmount, tilevars::addFactorAmount(*this, 1.0f));

    ModVar* centerVar = tilevars::placed(*this, kCenter, addFloatVar("Center", 90.0f, 0.0f, 255.0f, 0));
    centerVar->floatValue()->tickCount = 8;
    centerVar->setAlias("Contrast Origin");

    GrowArray<GrowString> methods;
    for (const char* method : kMethods) methods.append(GrowString(method));
    ModVar* methodVar = tilevars::placed(*this, kMethod, addVar(ModVar("Method", new ChoiceValue(methods, 0))));

    addAnimTrack(amountVar, "1.6 .7 1.6", 3.0f);
    addAnimTrack(centerVar, "90 165 90", 4.513f);
    addChoiceAnimTrack(methodVar, methods, static_cast<float>(methods.count) * 3.0f);

    description =
        "Adjust contrast based on different brightness algorithms. The Contrast Origin slider determines the "
        "brightness value from which the contrast emanates.";
}

ImageMod* AdvancedContrastMod::clone() const { return new AdvancedContrastMod(); }

void AdvancedContrastMod::process8(ImageBuffer& image, const RenderArgs* args) {
    runAdvancedContrast<uint8_t>(*this, image, args);
}

void AdvancedContrastMod::processFloat(ImageBuffer& image, const RenderArgs* args) {
    runAdvancedContrast<float>(*this, image, args);
}
