#include "adjustments/ContrastSaturation.h"

#include <math.h>

#include <type_traits>

#include "adjustments/TileVars.h"
#include "pixels/PixelKit.h"

using tileloop::clampSample;
using tileloop::floatVar;

namespace {

const char* const kContrastDescription =
    "Adjust contrast. The Contrast Origin slider determines the brightness value from which the "
    "contrast emanates.";
const char* const kContrastFixedCenterDescription =
    "Adjust contrast between the light and dark regions of your image.";

// Contrast version 2 and above pivot here, whatever the Center var holds.
constexpr float kFixedContrastCenter = 90.0f;

using tilevars::addFactorAmount;  // the "Amount" of all three tiles

// The vars of Contrast and Contrast Saturation, in the order their
// constructors add them; Saturation has the Amount only.
enum ContrastVar : int32_t { kAmount = 0, kCenter = 1 };

// A "Center" brightness 0..255 with the label the control shows.
ModVar* addCenter(ImageMod& mod, float center, const char* label, int32_t ticks) {
    ModVar* v = mod.addFloatVar("Center", center, 0.0f, 255.0f, 0);
    v->floatValue()->tickCount = ticks;
    v->setAlias(label);
    return v;
}

// ---- Contrast --------------------------------------------------------------

struct ContrastParams {
    float amount = 1.0f;
    float center = 0.0f;
    tileloop::Selector selector;
};

// False when the call leaves the image unchanged (Amount exactly 1).
bool prepareContrast(const ContrastMod& mod, const RenderArgs* args, ContrastParams& p) {
    p.amount = floatVar(mod, kAmount);
    if (p.amount == 1.0f) return false;
    p.center = mod.version <= 1 ? floatVar(mod, kCenter) : kFixedContrastCenter;
    p.selector = tileloop::selectorOf(args);
    return true;
}

using tileloop::ContrastCurve;
using tileloop::contrastExponent;

TILE_ROW_KERNEL void contrastRow(float* __restrict s, int64_t count, float center, float e) {
    pixel::WholeSampleTable table;
    pixel::powerMapSamples(ContrastCurve(center), s, count, e, table);
}

template <class Sample>
void contrastPixels(ImageBuffer& image, const ContrastParams& p) {
    const ContrastCurve curve(p.center);
    if (p.selector) {
        tileloop::forEachWeightedPixel<Sample>(image, p.selector, [&](Sample* px, auto n, float w) {
            const float factor = pixel::weightedFactor(p.amount, w);
            if (factor == 1.0f) return;  // weight 0: exactly as the identity Amount
            const float e = contrastExponent(factor);
            for (int32_t k = 0; k < n; ++k) tileloop::store(px[k], curve.bend(static_cast<float>(px[k]), e));
        });
        return;
    }
    const float e = contrastExponent(p.amount);
    if constexpr (std::is_same<Sample, uint8_t>::value) {
        // Every byte is mapped alone: once per value, then through a table.
        tileloop::mapEveryByte(image, [&](uint8_t b) { return storeByte(curve.bend(b, e)); });
    } else if (tileloop::hasPixels(image)) {
        contrastRow(image.floats(), image.sampleCount(), p.center, e);
    }
}

// ---- Saturation --------------------------------------------------------------

struct SaturationParams {
    float amount = 1.0f;
    bool rootMeanSquare = true;  // version 2
    tileloop::Selector selector;
};

bool prepareSaturation(const SaturationMod& mod, const RenderArgs* args, SaturationParams& p) {
    p.amount = floatVar(mod, kAmount);
    if (p.amount == 1.0f) return false;
    p.rootMeanSquare = mod.version == 2;
    p.selector = tileloop::selectorOf(args);
    return true;
}

// The factor: p itself up to 1, then 1 / (2 - p) with p held below 2 (the
// float nearest 1.99999), so Amount 2 gives a large finite factor.
inline float saturationFactor(float p) {
    if (p > 1.99999f) p = 1.99999f;
    if (p > 1.0f) return static_cast<float>(1.0 / (2.0 - static_cast<double>(p)));
    return p;
}

// Version 2: R, G, B blended with their root-mean-square brightness
// sqrt(0.299 R^2 + 0.587 G^2 + 0.114 B^2) (squares in float, the rest in
// double); the fourth sample is left alone.
template <class Sample>
TILE_INLINE void saturateRootMeanSquare(Sample* px, float s) {
    const float r = static_cast<float>(px[0]);
    const float g = static_cast<float>(px[1]);
    const float b = static_cast<float>(px[2]);
    const float L = static_cast<float>(sqrt(0.299 * static_cast<double>(r * r) + 0.587 * static_cast<double>(g * g) +
                                            0.114 * static_cast<double>(b * b)));
    tileloop::store(px[0], clampSample((r - L) * s + L));
    tileloop::store(px[1], clampSample((g - L) * s + L));
    tileloop::store(px[2], clampSample((b - L) * s + L));
}

// Other versions: every sample blended with the linear luminance.
template <class Sample, class N>
TILE_INLINE void saturateLinear(Sample* px, N n, float s) {
    const float L = pixel::luminance(px, n);
    const float t = (1.0f - s) * L;
    const int32_t count = n;
    TILE_EACH_SAMPLE
    for (int32_t k = 0; k < count; ++k) tileloop::store(px[k], clampSample(static_cast<float>(px[k]) * s + t));
}

// Every pixel with one factor, the version chosen once.
template <class Sample>
TILE_ROW_KERNEL void saturateRow(Sample* __restrict s, int64_t pixels, int32_t channels, bool rootMeanSquare,
                                 float f) {
    if (rootMeanSquare) {
        tileloop::forEachPixelIn(s, pixels, channels,
                                 [f](Sample* px, auto) TILE_INLINE_LAMBDA { saturateRootMeanSquare(px, f); });
    } else {
        tileloop::forEachPixelIn(s, pixels, channels,
                                 [f](Sample* px, auto n) TILE_INLINE_LAMBDA { saturateLinear(px, n, f); });
    }
}

template <class Sample>
void saturatePixels(ImageBuffer& image, const SaturationParams& p) {
    // The root-mean-square form reads three samples: an image of fewer
    // channels has no colour to change.
    if (p.rootMeanSquare && image.channelCount() < 3) return;
    if (p.selector) {
        tileloop::forEachWeightedPixel<Sample>(image, p.selector, [&](Sample* px, auto n, float w) {
            const float factor = pixel::weightedFactor(p.amount, w);
            if (factor == 1.0f) return;  // weight 0: exactly as the identity Amount
            const float s = saturationFactor(factor);
            if (p.rootMeanSquare)
                saturateRootMeanSquare(px, s);
            else
                saturateLinear(px, n, s);
        });
        return;
    }
    if (!tileloop::hasPixels(image)) return;
    saturateRow(static_cast<Sample*>(image.data), static_cast<int64_t>(image.width) * image.height,
                  image.channelCount(), p.rootMeanSquare, saturationFactor(p.amount));
}

// ---- Contrast Saturation ---------------------------------------------------------

// A version-1 Contrast about the tile's Center, then the compensating
// version-1 Saturation, both on stack tiles run with the tile's context.
template <class Sample>
void contrastSaturation(const ContrastSaturationMod& mod, ImageBuffer& image, const RenderArgs* args) {
    const float a = floatVar(mod, kAmount);
    if (a == 1.0f) return;
    const float c = floatVar(mod, kCenter);
    ContrastMod contrast(1, a, c);
    const float s = static_cast<float>(1.0 + 0.44 * static_cast<double>(1.0f - a));
    SaturationMod saturation(1, s);
    if constexpr (std::is_same<Sample, uint8_t>::value) {
        contrast.apply8(image, args);
        saturation.apply8(image, args);
    } else {
        contrast.applyFloat(image, args);
        saturation.applyFloat(image, args);
    }
}

}  // namespace

// ---- ContrastMod ---------------------------------------------------------------

ContrastMod::ContrastMod(uint32_t newVersion, float amount, float center)
    : ImageMod(GrowString("Contrast"), GrowString("Contrast")) {
    ModVar* amountVar = tilevars::placed(*this, kAmount, addFactorAmount(*this, amount));
    ModVar* centerVar = tilevars::placed(*this, kCenter, addCenter(*this, center, "Contrast Origin", 8));
    addAnimTrack(amountVar, "1.7 .5 1.7", 3.0f);
    addAnimTrack(centerVar, "90 165 90", 4.513f);
    setVersion(newVersion);
}

ImageMod* ContrastMod::clone() const { return withVersionOf(*this, new ContrastMod(kNewestVersion, 1.0f, 90.0f)); }

void ContrastMod::setVersion(uint32_t newVersion) {
    version = newVersion;
    if (ModVar* center = var(kCenter)) center->shown = newVersion != 2;
    description = newVersion == 2 ? kContrastFixedCenterDescription : kContrastDescription;
}

void ContrastMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void ContrastMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

void ContrastMod::apply8(ImageBuffer& image, const RenderArgs* args) const {
    ContrastParams p;
    if (prepareContrast(*this, args, p)) contrastPixels<uint8_t>(image, p);
}

void ContrastMod::applyFloat(ImageBuffer& image, const RenderArgs* args) const {
    ContrastParams p;
    if (prepareContrast(*this, args, p)) contrastPixels<float>(image, p);
}

// ---- SaturationMod ---------------------------------------------------------------

SaturationMod::SaturationMod(uint32_t newVersion, float amount)
    : ImageMod(GrowString("Saturation"), GrowString("Saturation")) {
    ModVar* amountVar = tilevars::placed(*this, kAmount, addFactorAmount(*this, amount));
    addAnimTrack(amountVar, "0 0 1.5 1.5 0", 3.0f);
    setVersion(newVersion);
    description = "Adjust color intensity.";
}

ImageMod* SaturationMod::clone() const { return new SaturationMod(kNewestVersion, 1.0f); }

void SaturationMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void SaturationMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

void SaturationMod::apply8(ImageBuffer& image, const RenderArgs* args) const {
    SaturationParams p;
    if (prepareSaturation(*this, args, p)) saturatePixels<uint8_t>(image, p);
}

void SaturationMod::applyFloat(ImageBuffer& image, const RenderArgs* args) const {
    SaturationParams p;
    if (prepareSaturation(*this, args, p)) saturatePixels<float>(image, p);
}

// ---- ContrastSaturationMod -----------------------------------------------------------

ContrastSaturationMod::ContrastSaturationMod()
    : ImageMod(GrowString("Contrast Saturation"), GrowString("Contrast")) {
    version = kNewestVersion;
    tilevars::placed(*this, kAmount, addFactorAmount(*this, 1.0f));
    tilevars::placed(*this, kCenter, addCenter(*this, 90.0f, "Brightness Origin", 10));
    description =
        "Adjust contrast. The Center slider determines the brightness value from which the contrast "
        "emanates.";
}

ImageMod* ContrastSaturationMod::clone() const { return new ContrastSaturationMod(); }

void ContrastSaturationMod::process8(ImageBuffer& image, const RenderArgs* args) {
    contrastSaturation<uint8_t>(*this, image, args);
}

void ContrastSaturationMod::processFloat(ImageBuffer& image, const RenderArgs* args) {
    contrastSaturation<float>(*this, image, args);
}

void applyContrastCurveRow(float* samples, int64_t count, float center, float exponent) {
    if (samples && count > 0) contrastRow(samples, count, center, exponent);
}
