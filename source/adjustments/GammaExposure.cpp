#include "adjustments/GammaExposure.h"

#include <math.h>

#include "adjustments/TileVars.h"
#include "pixels/PixelKit.h"

using tileloop::floatVar;

namespace {

const char* const kDescription = "Adjust exposure, which affects the brightness of an image.";

using tilevars::addFactorAmount;  // the "Amount" both tiles share

// The one var of both tiles.
enum GammaVar : int32_t { kAmount = 0 };

// ---- Gamma ---------------------------------------------------------------

// Which mapping a Gamma call runs, and its exponent, prepared once per call.
enum class GammaCurve { kUnchanged, kVersion1, kVersion2Lighten, kVersion2Darken };

struct GammaParams {
    GammaCurve curve = GammaCurve::kUnchanged;
    float exponent = 1.0f;
};

// Versions other than 2: the plain power in both directions.
GammaParams prepareGammaVersion1(float a) {
    if (a >= 1.0f) return {GammaCurve::kVersion1, 2.0f - a};
    if (a < 1.0f) return {GammaCurve::kVersion1, 1.0f / a};
    return {};  // NaN from a hostile file: leave the image alone
}

// Version 2: above 1 the power bends the curve from the white end.
GammaParams prepareGammaVersion2(float a) {
    if (a > 1.0f) return {GammaCurve::kVersion2Lighten, 1.0f / (2.0f - a)};
    if (a < 1.0f) return {GammaCurve::kVersion2Darken, 1.0f / a};
    return {};
}

GammaParams prepareGamma(const GammaMod& mod) {
    const float a = floatVar(mod, kAmount);
    if (a == 1.0f) return {};
    return mod.version == 2 ? prepareGammaVersion2(a) : prepareGammaVersion1(a);
}

// Each sample type enters and leaves the gamma formulas by pixel::PowerRules
// (floats scaled by the stored 1/255, floored and capped before the power;
// bytes divided by 255, capped, stored clamped and truncated).
// Each mapping in two halves around its power: the base, and the result
// from the power. Versions other than 2: x' = 255 (x/255)^e. Version 2
// above 1: x' = 255 - 255 ((255 - x)/255)^e; below 1: x' = 255 (x/255)^e
// after the cap below white.
template <class Sample>
struct GammaVersion1 {
    using R = pixel::PowerRules<Sample>;
    static TILE_INLINE float base(Sample x) { return tileloop::powerBase(R::unit(static_cast<float>(x))); }
    static TILE_INLINE Sample finish(Sample, float power) { return R::store(255.0f * power); }
};

template <class Sample>
struct GammaVersion2Lighten {
    using R = pixel::PowerRules<Sample>;
    static TILE_INLINE float base(Sample x) {
        return tileloop::powerBase(R::unit(255.0f - R::lightenFloor(static_cast<float>(x))));
    }
    static TILE_INLINE Sample finish(Sample, float power) { return R::storeFromWhite(255.0f * power); }
};

template <class Sample>
struct GammaVersion2Darken {
    using R = pixel::PowerRules<Sample>;
    static TILE_INLINE float base(Sample x) {
        return tileloop::powerBase(R::unit(R::darkenCap(static_cast<float>(x))));
    }
    static TILE_INLINE Sample finish(Sample, float power) { return R::store(255.0f * power); }
};

// Floats: every sample alone through the mapping (the fourth included),
// the powers in blocks between vectorised halves.
template <class Mapping>
TILE_INLINE void gammaFloats(float* s, int64_t count, float e) {
    pixel::WholeSampleTable table;
    pixel::powerMapSamples(Mapping(), s, count, e, table);
}

TILE_ROW_KERNEL void gammaRow(float* __restrict s, int64_t count, GammaCurve curve, float e) {
    switch (curve) {
    case GammaCurve::kVersion1: gammaFloats<GammaVersion1<float>>(s, count, e); break;
    case GammaCurve::kVersion2Lighten: gammaFloats<GammaVersion2Lighten<float>>(s, count, e); break;
    case GammaCurve::kVersion2Darken: gammaFloats<GammaVersion2Darken<float>>(s, count, e); break;
    case GammaCurve::kUnchanged: break;
    }
}

// Bytes: through a table of the 256 values.
template <class Mapping>
void gammaBytes(ImageBuffer& image, float e) {
    tileloop::mapEveryByte(image, [e](uint8_t x) { return Mapping::finish(x, powf(Mapping::base(x), e)); });
}

void gammaSamples8(ImageBuffer& image, const GammaParams& g) {
    switch (g.curve) {
    case GammaCurve::kVersion1: gammaBytes<GammaVersion1<uint8_t>>(image, g.exponent); break;
    case GammaCurve::kVersion2Lighten: gammaBytes<GammaVersion2Lighten<uint8_t>>(image, g.exponent); break;
    case GammaCurve::kVersion2Darken: gammaBytes<GammaVersion2Darken<uint8_t>>(image, g.exponent); break;
    case GammaCurve::kUnchanged: break;
    }
}

void gammaSamplesFloat(ImageBuffer& image, const GammaParams& g) {
    if (g.curve == GammaCurve::kUnchanged || !tileloop::hasPixels(image)) return;
    gammaRow(image.floats(), image.sampleCount(), g.curve, g.exponent);
}

// ---- Exposure ------------------------------------------------------------

struct ExposureParams {
    float amount = 1.0f;
    tileloop::Selector selector;
};

// False when the call leaves the image unchanged (Amount exactly 1).
bool prepareExposure(const ExposureMod& mod, const RenderArgs* args, ExposureParams& p) {
    p.amount = floatVar(mod, kAmount);
    if (p.amount == 1.0f) return false;
    p.selector = tileloop::selectorOf(args);
    return true;
}

inline void exposureCurveRows(const ImageBuffer& image, float* s, int64_t pixels, float x) {
    applyExposureCurveRow(image, s, pixels, x);
}
inline void exposureCurveRows(const ImageBuffer& image, uint8_t* s, int64_t pixels, float x) {
    applyExposureCurveRow8(image, s, pixels, x);
}

// The exposure curve over every pixel: the Amount itself without a
// selector, 1 + w (a - 1) at a pixel of weight w with one.
template <class Sample>
void exposePixels(ImageBuffer& image, const ExposureParams& p) {
    if (!tileloop::hasPixels(image)) return;
    if (p.selector) {
        tileloop::forEachWeightedPixel<Sample>(image, p.selector, [&](Sample* px, auto, float w) {
            applyExposureCurvePixel(image, px, pixel::weightedFactor(p.amount, w));
        });
        return;
    }
    const int64_t pixels = static_cast<int64_t>(image.width) * image.height;
    exposureCurveRows(image, static_cast<Sample*>(image.data), pixels, p.amount);
}

}  // namespace

// ---- GammaMod ------------------------------------------------------------

GammaMod::GammaMod(float amount) : ImageMod(GrowString("Gamma"), GrowString("Exposure")) {
    version = kNewestVersion;
    tilevars::placed(*this, kAmount, addFactorAmount(*this, amount));
    description = kDescription;
}

ModVar* GammaMod::amountVar() { return var(kAmount); }

ImageMod* GammaMod::clone() const { return new GammaMod(1.0f); }

void GammaMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void GammaMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

void GammaMod::apply8(ImageBuffer& image, const RenderArgs*) const { gammaSamples8(image, prepareGamma(*this)); }

void GammaMod::applyFloat(ImageBuffer& image, const RenderArgs*) const {
    gammaSamplesFloat(image, prepareGamma(*this));
}

// ---- ExposureMod ---------------------------------------------------------

ExposureMod::ExposureMod(float amount) : ImageMod(GrowString("Exposure"), GrowString("Exposure")) {
    version = kNewestVersion;
    ModVar* amountVar = tilevars::placed(*this, kAmount, addFactorAmount(*this, amount));
    addAnimTrack(amountVar, "1.8 .2 1.8", 3.0f);
    description = kDescription;
}

ModVar* ExposureMod::amountVar() { return var(kAmount); }

ImageMod* ExposureMod::clone() const { return new ExposureMod(1.0f); }

void ExposureMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void ExposureMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

void ExposureMod::apply8(ImageBuffer& image, const RenderArgs* args) const {
    ExposureParams p;
    if (prepareExposure(*this, args, p)) exposePixels<uint8_t>(image, p);
}

void ExposureMod::applyFloat(ImageBuffer& image, const RenderArgs* args) const {
    ExposureParams p;
    if (prepareExposure(*this, args, p)) exposePixels<float>(image, p);
}
