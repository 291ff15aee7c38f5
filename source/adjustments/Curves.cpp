#include "adjustments/Curves.h"

#include "adjustments/TileVars.h"
#include "pixels/PixelKit.h"

namespace {

using tilevars::addStrengthAmount;  // the "Amount" of both tiles

// The vars of Curves, in the order its constructor adds them; the Tone
// Curve adds its vars in the order of ToneCurveVar (pixels/ToneCurves.h),
// where its body reads them.
enum CurvesVar : int32_t { kAmount = 0, kCurve = 1 };

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
    p.amount = tileloop::floatVar(mod, kAmount);
    if (p.amount == 0.0f) return false;
    const ModVar* curveVar = mod.var(kCurve);
    const CurveValue* value = curveVar ? curveVar->curveValue() : nullptr;
    if (!value || value->curve.table.count < Curve::kTableSize) return false;
    if (isStraightCurve(value->curve)) return false;
    p.table = value->curve.table.data;
    return true;
}

inline void luminanceCurveRows(float* s, int64_t pixels, int32_t n, const CurvesParams& p) {
    applyLuminanceCurveRow(s, pixels, n, p.table, p.amount);
}
inline void luminanceCurveRows(uint8_t* s, int64_t pixels, int32_t n, const CurvesParams& p) {
    applyLuminanceCurveRow8(s, pixels, n, p.table, p.amount);
}

template <class Sample>
void curvesPixels(ImageBuffer& image, const CurvesParams& p) {
    if (!tileloop::hasPixels(image)) return;
    luminanceCurveRows(static_cast<Sample*>(image.data), static_cast<int64_t>(image.width) * image.height,
                       image.channelCount(), p);
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
    version = kNewestVersion;
    tilevars::placed(*this, kAmount, addStrengthAmount(*this, amount));
    tilevars::placed(*this, kCurve, addCurveVar(*this, curve));
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
    version = kNewestVersion;
    tilevars::placed(*this, kToneCurveAmount, addStrengthAmount(*this, 1.0f));
    ModVar* curveVar = tilevars::placed(*this, kToneCurveCurve, addCurveVar(*this, curve));
    GrowArray<GrowString> methods;
    methods.append(GrowString("RGB"));
    methods.append(GrowString("Luminance"));
    methods.append(GrowString("Value"));
    methods.append(GrowString("Lightness"));
    ModVar* methodVar =
        tilevars::placed(*this, kToneCurveMethod, addVar(ModVar("Method", new ChoiceValue(methods, 0))));

    // The hover preview moves a four-point curve: the black point rises to
    // 0.1, the two inner points bob, the white point stays.
    tilevars::addCurvePreview(*this, curveVar, {"0 0 0 .1 0 0", ".3 .1 .3 .5 .3 .1", ".7 .5 .7 1 .7 .5", "1 1"},
                              {3.01f, 2.737f, 2.47f, 1.0f});
    addChoiceAnimTrack(methodVar, methods, static_cast<float>(methods.count) * 3.01f);

    description = "Adjust brightness values using a traditional curve editor.";
}

ImageMod* ToneCurveMod::clone() const { return new ToneCurveMod(Curve(0)); }

void ToneCurveMod::process8(ImageBuffer& image, const RenderArgs* args) { applyToneCurve8(*this, image, args); }
void ToneCurveMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyToneCurve(*this, image, args); }
