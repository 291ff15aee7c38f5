#include "adjustments/ExposureCurve.h"

#include <math.h>

#include "adjustments/TileVars.h"
#include "pixels/PixelKit.h"

namespace {

// The vars, in the order the constructor adds them.
enum ExposureCurveVar : int32_t { kAmount = 0, kCurve = 1 };

// ---- Parameters ----------------------------------------------------------------

struct ExposureCurveParams {
    float amount = 0.0f;
    const float* table = nullptr;
    bool version2 = true;
    tileloop::Selector selector;
};

// Whether the curve is the flat two-point curve (0,0.5)-(1,0.5).
bool isFlatTwoPointCurve(const Curve& curve) {
    if (curve.points.count != 2) return false;
    const CurvePoint& first = curve.points[0];
    const CurvePoint& last = curve.points[1];
    return first.x == 0.0f && first.y == 0.5f && last.x == 1.0f && last.y == 0.5f;
}

// False when the call leaves the image unchanged: an Amount that is 0 or no
// float, a "Curve" var that holds no curve (a hand-edited file), or the flat
// two-point curve.
bool prepareExposureCurve(const ExposureCurveMod& mod, const RenderArgs* args, ExposureCurveParams& p) {
    const FloatValue* amount = mod.floatAt(kAmount);
    if (!amount || amount->value == 0.0f) return false;
    p.amount = amount->value;
    const ModVar* curveVar = mod.var(kCurve);
    const CurveValue* value = curveVar ? curveVar->curveValue() : nullptr;
    if (!value || value->curve.table.count < Curve::kTableSize) return false;
    if (isFlatTwoPointCurve(value->curve)) return false;
    p.table = value->curve.table.data;
    p.version2 = mod.version == 2;
    p.selector = tileloop::selectorOf(args);
    return true;
}

// ---- Kernels -----------------------------------------------------------------

// The exponent factor of a pixel: g = 1 - s + 2 c s with c the curve at the
// pixel's luminance (2 c s in float, the sum in double, rounded to float).
template <class Sample, class N>
inline float pixelGain(const Sample* px, N n, const float* table, float s) {
    const float L = pixel::luminance(px, n);
    const float c = pixel::curveLookup(table, L);
    return static_cast<float>((1.0 - static_cast<double>(s)) + static_cast<double>(2.0f * c * s));
}

// How each sample type enters and leaves the version-2 power curve:
// pixel::PowerRules (floats floored at 0.05 before lightening, capped at
// 254.95 before darkening, unclamped; bytes capped at 254, stored clamped
// and truncated). The bases are scaled here as this curve always scaled
// them, whatever the sample type.
using pixel::PowerRules;

// Version 2: a plain power curve on every sample of the pixel. g = 2 and
// g = 0 give infinite exponents, which send the samples to 255 and 0.
template <class Sample, class N>
inline void gammaCurvePixel(Sample* px, N n, float g) {
    using R = PowerRules<Sample>;
    if (g > 1.0f) {
        const float e = 1.0f / (2.0f - g);
        for (int32_t k = 0; k < n; ++k) {
            const float v = R::lightenFloor(static_cast<float>(px[k]));
            px[k] = R::storeFromWhite(255.0f * powf(tileloop::powerBase((255.0f - v) / 255.0f), e));
        }
    } else if (g < 1.0f) {
        const float e = 1.0f / g;
        for (int32_t k = 0; k < n; ++k) {
            const float v = R::darkenCap(static_cast<float>(px[k]));
            px[k] = R::store(255.0f * powf(tileloop::powerBase(v * pixel::kInv255), e));
        }
    }
}

// One pixel of strength s. A NaN factor (only from a curve table holding
// NaN) leaves the pixel alone.
template <class Sample, bool kVersion2, class N>
inline void exposureCurvePixel(const ImageBuffer& image, Sample* px, N n, const float* table, float s) {
    const float g = pixelGain(px, n, table, s);
    if (g != g) return;
    if constexpr (kVersion2)
        gammaCurvePixel(px, n, g);
    else
        applyExposureCurvePixel(image, px, g);
}

template <class Sample, bool kVersion2>
void exposureCurvePixels(ImageBuffer& image, const ExposureCurveParams& p) {
    const float* table = p.table;
    const float a = p.amount;
    if (p.selector) {
        tileloop::forEachWeightedPixel<Sample>(image, p.selector, [&image, table, a](Sample* px, auto n, float w) {
            exposureCurvePixel<Sample, kVersion2>(image, px, n, table, a * w);
        });
    } else {
        tileloop::forEachPixel<Sample>(image, [&image, table, a](Sample* px, auto n) {
            exposureCurvePixel<Sample, kVersion2>(image, px, n, table, a);
        });
    }
}

template <class Sample>
void runExposureCurve(const ExposureCurveMod& mod, ImageBuffer& image, const RenderArgs* args) {
    ExposureCurveParams p;
    if (!prepareExposureCurve(mod, args, p)) return;
    if (p.version2)
        exposureCurvePixels<Sample, true>(image, p);
    else
        exposureCurvePixels<Sample, false>(image, p);
}

// Version 2 is shown as a gamma curve, every other version as an exposure
// curve; the XML name stays "Exposure Curve".
void applyVersionNames(ImageMod& mod) {
    if (mod.version == 2) {
        mod.displayName = "Gamma Curve";
        mod.description = "Adjust gamma using a horizontal curve editor.";
    } else {
        mod.displayName = "Exposure Curve";
        mod.description = "Adjust exposure using a horizontal curve editor.";
    }
}

}  // namespace

Curve flatExposureCurve() {
    Curve curve(0);
    GrowString text("0 .5 1 .5");
    curve.setFromString(text);
    return curve;
}

// ---- ExposureCurveMod ------------------------------------------------------------

ExposureCurveMod::ExposureCurveMod(const Curve& initial)
    : ImageMod(GrowString("Exposure Curve"), GrowString("Exposure Curve")) {
    version = kNewestVersion;
    applyVersionNames(*this);

    tilevars::placed(*this, kAmount, tilevars::addStrengthAmount(*this, 1.0f));

    CurveValue* value = new CurveValue(Curve(0));
    value->curve = initial;
    ModVar* curveVar = tilevars::placed(*this, kCurve, addVar(ModVar("Curve", value, kControlCurveA)));

    // The preview keeps both ends at 0.5 and swings a dark-side and a
    // light-side point in opposite directions at slightly different rates.
    tilevars::addCurvePreview(*this, curveVar, {"0 .5", ".12 .25 .12 .75 .12 .25", ".88 .75 .88 .25 .88 .75", "1 .5"},
                              {1.0f, 2.737f, 2.47f, 1.0f});
}

void ExposureCurveMod::setVersion(uint32_t newVersion) {
    version = newVersion;
    applyVersionNames(*this);
}

ImageMod* ExposureCurveMod::clone() const { return new ExposureCurveMod(flatExposureCurve()); }

void ExposureCurveMod::process8(ImageBuffer& image, const RenderArgs* args) {
    runExposureCurve<uint8_t>(*this, image, args);
}

void ExposureCurveMod::processFloat(ImageBuffer& image, const RenderArgs* args) {
    runExposureCurve<float>(*this, image, args);
}
