#include "adjustments/AdvancedContrast.h"

#include <math.h>

#include <type_traits>

#include "adjustments/BrightnessContrast.h"
#include "adjustments/PixelLoops.h"
#include "framework/PixelMath.h"
#include "render/PixelHelpers.h"

namespace {

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
    p.amount = tileloop::floatVar(mod, 0);
    if (p.amount == 1.0f || p.amount != p.amount) return false;
    const ModVar* methodVar = mod.var(2);
    const ChoiceValue* choice = methodVar ? methodVar->choiceValue() : nullptr;
    p.method = choice ? choice->selected : 0;
    if (p.method < 0 || p.method >= kMethodCount) return false;
    p.center = tileloop::floatVar(mod, 1);
    p.selector = tileloop::selectorOf(args);
    return true;
}

// e = a below 1, 1/(2 - a) from 1 up (infinite at 2).
inline float contrastExponent(float a) { return a < 1.0f ? a : 1.0f / (2.0f - a); }

// ---- Kernels -----------------------------------------------------------------

// The RGB method on one sample: bent toward or away from K. A sample equal
// to K is kept; so is one whose span would be zero (a centre of 0 or 255
// with a sample outside 0..255).
template <class Sample>
inline void rgbPivotSample(Sample& sample, float e, float K) {
    const float v = static_cast<float>(sample);
    if (v < K) {
        if (K == 0.0f) return;
        tileloop::store(sample, K * powf(tileloop::powerBase(v / K), e));
    } else if (v > K) {
        const float span = 255.0f - K;
        if (span == 0.0f) return;
        tileloop::store(sample, 255.0f - span * powf(tileloop::powerBase((255.0f - v) / span), e));
    }
}

template <class Sample>
void rgbPixels(ImageBuffer& image, const AdvancedContrastParams& p) {
    const float K = p.center;
    if (p.selector) {
        const float a = p.amount;
        tileloop::forEachWeightedPixel<Sample>(image, p.selector, [=](Sample* px, auto n, float w) {
            const float e = contrastExponent(pixel::weightedFactor(a, w));
            for (int32_t k = 0; k < n; ++k) rgbPivotSample(px[k], e, K);
        });
        return;
    }
    const float e = contrastExponent(p.amount);
    if constexpr (std::is_same<Sample, uint8_t>::value) {
        tileloop::mapEveryByte(image, [=](uint8_t b) {
            uint8_t out = b;
            rgbPivotSample(out, e, K);
            return out;
        });
    } else {
        float* s = image.floats();
        const int64_t count = tileloop::hasPixels(image) ? image.sampleCount() : 0;
        for (int64_t i = 0; i < count; ++i) rgbPivotSample(s[i], e, K);
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
    ModVar* amountVar = addFloatVar("Amount", 1.0f, 0.0f, 2.0f, 0);
    FloatValue* amount = amountVar->floatValue();
    amount->displayLow = 0.0f;
    amount->displayHigh = 100.0f;
    amount->useDisplayRange = 1;

    ModVar* centerVar = addFloatVar("Center", 90.0f, 0.0f, 255.0f, 0);
    centerVar->floatValue()->tickCount = 8;
    centerVar->setAlias("Contrast Origin");

    GrowArray<GrowString> methods;
    for (const char* method : kMethods) methods.append(GrowString(method));
    ModVar* methodVar = addVar(ModVar("Method", new ChoiceValue(methods, 0)));

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
