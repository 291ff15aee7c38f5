#pragma once
// Vars that many colour and tone tiles build in the same way, for their
// constructors.

#include <cassert>
#include <initializer_list>

#include "framework/ImageMod.h"

namespace tilevars {

// A tile names the positions of its vars in an enum beside its constructor
// and reads them by those names. The constructor hands each var it adds
// through placed(), which checks that the var stands at the position its
// name gives, so the enum and the order of the additions cannot part.
inline ModVar* placed(const ImageMod& mod, int32_t index, ModVar* added) {
    assert(index == mod.vars.count - 1 && mod.vars[index] == added);
    (void)mod;
    (void)index;
    return added;
}

// Shows a float var on a percent scale: its track's ends as shownLow..100
// (an Amount stored 0..1 or 0..2 shows 0..100, a signed one -100..100).
inline void showAsPercent(FloatValue& value, float shownLow) {
    value.displayLow = shownLow;
    value.displayHigh = 100.0f;
    value.useDisplayRange = 1;
}

// The two vars of a one-step look (the camera styles, the light leak), in
// this order: "Amount" 0..1, start 1, shown as 0..100; "Variation" with no
// limits, its slider over 0..100, labelled "Remix". Both are plain sliders.
enum LookVar : int32_t { kLookAmount = 0, kLookVariation = 1 };

inline void addLookVars(ImageMod& mod) {
    ModVar* amount = placed(mod, kLookAmount, mod.addFloatVar("Amount", 1.0f, 0.0f, 1.0f, 0));
    showAsPercent(*amount->floatValue(), 0.0f);
    ModVar* variation = placed(mod, kLookVariation, mod.addFloatVar("Variation", 0.0f, 0.0f, 0.0f, 0));
    FloatValue* v = variation->floatValue();
    v->hasMinimum = 0;  // any Variation is a look of its own
    v->hasMaximum = 0;
    v->rangeLow = 0.0f;
    v->rangeHigh = 100.0f;
    variation->setAlias("Remix");
}

// An "Amount" float var 0..high, shown as 0..100: high 2 for factor tiles
// (unchanged at 1), 1 for strength tiles (unchanged at 0).
inline ModVar* addPercentAmount(ImageMod& mod, float amount, float high) {
    ModVar* v = mod.addFloatVar("Amount", amount, 0.0f, high, 0);
    showAsPercent(*v->floatValue(), 0.0f);
    return v;
}

inline ModVar* addFactorAmount(ImageMod& mod, float amount) { return addPercentAmount(mod, amount, 2.0f); }
inline ModVar* addStrengthAmount(ImageMod& mod, float amount) { return addPercentAmount(mod, amount, 1.0f); }

// The hover preview of a curve var: one key text per control point, each
// with the period of its own track.
inline void addCurvePreview(ImageMod& mod, ModVar* curveVar, std::initializer_list<const char*> pointKeys,
                            std::initializer_list<float> periods) {
    GrowArray<GrowString> keys;
    for (const char* key : pointKeys) keys.append(GrowString(key));
    GrowArray<float> seconds;
    for (float period : periods) seconds.append(period);
    mod.addCurveAnimTrack(curveVar, keys, seconds);
}

}  // namespace tilevars
