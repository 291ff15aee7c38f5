#include "adjustments/Dynamics.h"

#include <type_traits>

#include "adjustments/BrightnessContrast.h"
#include "adjustments/TileVars.h"
#include "pixels/Convolution.h"
#include "pixels/PixelKit.h"

namespace {

// The vars, in the order the constructor adds them.
enum DynamicsVar : int32_t { kAmount = 0, kRadius = 1, kMethod = 2 };

constexpr float kTwoOver255 = 0.007843138f;  // 2/255 as stored in float
constexpr int32_t kLuminanceMethod = 1;

struct DynamicsParams {
    float amount = 0.0f;  // A = Amount / 100
    int32_t method = 0;
    tileloop::Selector selector;
};

// Reads the vars once; false when the image stays as it is (A = 0).
bool prepareDynamics(const DynamicsMod& mod, const RenderArgs* args, DynamicsParams& p) {
    p.amount = static_cast<float>(static_cast<double>(tileloop::floatVar(mod, kAmount)) * 0.01);
    if (p.amount == 0.0f) return false;
    const ModVar* methodVar = mod.var(kMethod);
    const ChoiceValue* choice = methodVar ? methodVar->choiceValue() : nullptr;
    p.method = choice ? choice->selected : 0;
    p.selector = tileloop::selectorOf(args);
    return true;
}

// Overlay: with t = (L_b - 127.5) A, every sample (the fourth included)
// below 127.5 is scaled by lo = (127.5 - t) 2/255, and the distance from 255
// of every other sample by hi = (127.5 + t) 2/255. In range (A <= 1) the
// results stay within 0..255.
inline void overlayPixel(float* px, int32_t n, float t) {
    const float lo = (127.5f - t) * kTwoOver255;
    const float hi = (127.5f + t) * kTwoOver255;
    for (int32_t k = 0; k < n; ++k) px[k] = px[k] >= 127.5f ? (px[k] - 255.0f) * hi + 255.0f : px[k] * lo;
}

// The byte form: 255 - trunc(2 (255 - v) (t + 127.5) / 255) from 128 up,
// trunc(2 v (127.5 - t) / 255) below, single precision. The truncations
// clamp to 0..255 first, so an Amount beyond 100 cannot wrap a byte.
inline void overlayPixel(uint8_t* px, int32_t n, float t) {
    for (int32_t k = 0; k < n; ++k) {
        const int32_t v = px[k];
        if (v >= 128) {
            px[k] = static_cast<uint8_t>(
                255 - storeByte(static_cast<float>(2 * (255 - v)) * (t + 127.5f) * pixel::kInv255));
        } else {
            px[k] = storeByte(static_cast<float>(2 * v) * (127.5f - t) * pixel::kInv255);
        }
    }
}

inline void luminancePixel(const ImageBuffer& image, float* px, float strength, float center) {
    luminanceContrastPixel(image, px, strength, center);
}
inline void luminancePixel(const ImageBuffer& image, uint8_t* px, float strength, float center) {
    luminanceContrastPixel8(image, px, strength, center);
}

// Every pixel of the image against the pixel at the same place in the
// blurred copy (same size and channel count).
template <class Sample>
void dynamicsPixels(ImageBuffer& image, const ImageBuffer& blurred, const DynamicsParams& p) {
    const Sample* const base = static_cast<const Sample*>(image.data);
    const Sample* const blurredBase = static_cast<const Sample*>(blurred.data);
    const float a = p.amount;
    const bool luminance = p.method == kLuminanceMethod;
    if (p.selector) {
        tileloop::forEachWeightedPixel<Sample>(image, p.selector, [&](Sample* px, auto n, float w) {
            const float lb = pixel::luminance(blurredBase + (px - base), n);
            if (luminance)
                luminancePixel(image, px, 1.0f + w * a, lb);
            else
                overlayPixel(px, n, (lb - 127.5f) * w * a);
        });
        return;
    }
    tileloop::forEachPixel<Sample>(image, [&](Sample* px, auto n) {
        const float lb = pixel::luminance(blurredBase + (px - base), n);
        if (luminance)
            luminancePixel(image, px, 1.0f + a, lb);
        else
            overlayPixel(px, n, (lb - 127.5f) * a);
    });
}

}  // namespace

DynamicsMod::DynamicsMod()
    : ImageMod(GrowString("Dynamics"), GrowString("Dynamics")) {
    version = kNewestVersion;
    ModVar* amountVar = tilevars::placed(*this, kAmount, addFloatVar("Amount", 0.0f, 0.0f, 100.0f, 0));
    ModVar* radiusVar = tilevars::placed(*this, kRadius, addFloatVar("Radius", 50.0f, 0.0f, 100.0f, 0));
    GrowArray<GrowString> methods;
    methods.append(GrowString("Overlay"));
    methods.append(GrowString("Luminance"));
    ModVar* methodVar = tilevars::placed(*this, kMethod, addVar(ModVar("Method", new ChoiceValue(methods, 0))));
    addAnimTrack(amountVar, "0 75 0", 3.0f);
    addAnimTrack(radiusVar, "30 60", 2.55f);
    addChoiceAnimTrack(methodVar, methods, static_cast<float>(methods.count) * 2.0f);
    description = "Adjust the dynamic range of shadows and highlights relative to pixels within a given radius.";
}

float DynamicsMod::blurAmount() const { return tileloop::floatVar(*this, kRadius); }

int32_t DynamicsMod::marginFor(int32_t width, int32_t height, float) const {
    return blurMarginFor(blurAmount(), kBlurGaussian, width, height);
}

ImageMod* DynamicsMod::clone() const { return new DynamicsMod(); }

// Each call blurs its own full copy of the band it is given (margin rows
// included) with the same context, so bands share nothing but the tiles,
// which they only read.
void DynamicsMod::process8(ImageBuffer& image, const RenderArgs* args) {
    DynamicsParams p;
    if (!tileloop::hasPixels(image) || !prepareDynamics(*this, args, p)) return;
    ImageBuffer blurred;
    blurred.channels = 3;
    ImageBuffer::copy8(blurred, image, true);
    if (!blurred.data) return;
    blurByAmount8(blurred, blurAmount(), 100.0f, kBlurGaussian, args);
    dynamicsPixels<uint8_t>(image, blurred, p);
}

void DynamicsMod::processFloat(ImageBuffer& image, const RenderArgs* args) {
    DynamicsParams p;
    if (!tileloop::hasPixels(image) || !prepareDynamics(*this, args, p)) return;
    ImageBuffer blurred;
    blurred.channels = 3;
    ImageBuffer::copyFloat(blurred, image, true);
    if (!blurred.data) return;
    blurByAmount(blurred, blurAmount(), 100.0f, kBlurGaussian, args);
    dynamicsPixels<float>(image, blurred, p);
}
