#include "adjustments/Curves.h"

#include <type_traits>

#include "adjustments/PixelLoops.h"
#include "framework/PixelMath.h"
#include "render/PixelHelpers.h"

namespace {

// The "Amount" of both tiles: a strength 0..1 shown as 0..100.
ModVar* addStrengthAmount(ImageMod& mod, float amount) {
    ModVar* v = mod.addFloatVar("Amount", amount, 0.0f, 1.0f, 0);
    FloatValue* value = v->floatValue();
    value->displayLow = 0.0f;
    value->displayHigh = 100.0f;
    value->useDisplayRange = 1;
    return v;
}

// The "Curve" var: a curve value started as the straight curve, then given
// the caller's curve.
ModVar* addCurveVar(ImageMod& mod, const Curve& curve) {
    CurveValue* value = new CurveValue(Curve(0));
    value->curve.hueOffset = 180.0f;
    value->curve = curve;
    return mod.addVar(ModVar("Curve", value));
}

// ---- Curves ----------------------------------------------------------------

struct CurvesParams {
    float amount = 0.0f;
    const float* table = nullptr;
};

// False when the call leaves the image unchanged: Amount 0, the straight
// curve, or a var 1 that holds no curve (a hand-edited file).
bool prepareCurves(const CurvesMod& mod, CurvesParams& p) {
    p.amount = tileloop::floatVar(mod, 0);
    if (p.amount == 0.0f) return false;
    const ModVar* curveVar = mod.var(1);
    const CurveValue* value = curveVar ? curveVar->curveValue() : nullptr;
    if (!value || value->curve.table.count < Curve::kTableSize) return false;
    if (isStraightCurve(value->curve)) return false;
    p.table = value->curve.table.data;
    return true;
}

inline void luminanceCurve(int32_t n, float* px, const float* table, float s) {
    pixel::applyLuminanceCurve(n, px, table, s);
}
inline void luminanceCurve(int32_t n, uint8_t* px, const float* table, float s) {
    pixel::applyLuminanceCurve8(n, px, table, s);
}

template <class Sample>
void curvesPixels(ImageBuffer& image, const CurvesParams& p) {
    const float* table = p.table;
    const float a = p.amount;
    tileloop::forEachPixel<Sample>(image, [=](Sample* px, auto n) { luminanceCurve(n, px, table, a); });
}

}  // namespace

bool isStraightCurve(const Curve& curve) {
    if (curve.points.count != 2) return false;
    const CurvePoint& first = curve.points[0];
    const CurvePoint& last = curve.points[1];
    return first.x == 0.0f && first.y == 0.0f && last.x == 1.0f && last.y == 1.0f;
}

// ---- CurvesMod -------------------------------------------------------------

CurvesMod::CurvesMod(const Curve& curve, float amount)
    : ImageMod(GrowString("Curves"), GrowString("Luminance Curve")) {
    addStrengthAmount(*this, amount);
    addCurveVar(*this, curve);
    description = "Adjust luminance using a curve editor.";
}

ImageMod* CurvesMod::clone() const { return new CurvesMod(Curve(0), 1.0f); }

void CurvesMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void CurvesMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

void CurvesMod::apply8(ImageBuffer& image, const RenderArgs*) const {
    CurvesParams p;
    if (prepareCurves(*this, p)) curvesPixels<uint8_t>(image, p);
}

void CurvesMod::applyFloat(ImageBuffer& image, const RenderArgs*) const {
    CurvesParams p;
    if (prepareCurves(*this, p)) curvesPixels<float>(image, p);
}

// ---- ToneCurveMod ------------------------------------------------------------

ToneCurveMod::ToneCurveMod(const Curve& curve) : ImageMod(GrowString("Tone Curve"), GrowString("Tone Curve")) {
    addStrengthAmount(*this, 1.0f);
    ModVar* curveVar = addCurveVar(*this, curve);
    GrowArray<GrowString> methods;
    methods.append(GrowString("RGB"));
    methods.append(GrowString("Luminance"));
    methods.append(GrowString("Value"));
    methods.append(GrowString("Lightness"));
    ModVar* methodVar = addVar(ModVar("Method", new ChoiceValue(methods, 0)));

    // The hover preview moves a four-point curve: the black point rises to
    // 0.1, the two inner points bob, the white point stays.
    GrowArray<GrowString> pointKeys;
    pointKeys.append(GrowString("0 0 0 .1 0 0"));
    pointKeys.append(GrowString(".3 .1 .3 .5 .3 .1"));
    pointKeys.append(GrowString(".7 .5 .7 1 .7 .5"));
    pointKeys.append(GrowString("1 1"));
    GrowArray<float> seconds;
    seconds.append(3.01f);
    seconds.append(2.737f);
    seconds.append(2.47f);
    seconds.append(1.0f);
    addCurveAnimTrack(curveVar, pointKeys, seconds);
    addChoiceAnimTrack(methodVar, methods, static_cast<float>(methods.count) * 3.01f);

    description = "Adjust brightness values using a traditional curve editor.";
}

ImageMod* ToneCurveMod::clone() const { return new ToneCurveMod(Curve(0)); }

void ToneCurveMod::process8(ImageBuffer& image, const RenderArgs* args) { applyToneCurve8(*this, image, args); }
void ToneCurveMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyToneCurve(*this, image, args); }
