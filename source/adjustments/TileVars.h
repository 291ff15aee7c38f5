#pragma once
// Vars that many colour and tone tiles build in the same way, for their
// constructors.

#include <initializer_list>

#include "framework/ImageMod.h"

namespace tilevars {

// An "Amount" float var 0..high, shown as 0..100: high 2 for factor tiles
// (unchanged at 1), 1 for strength tiles (unchanged at 0).
inline ModVar* addPercentAmount(ImageMod& mod, float amount, float high) {
    ModVar* v = mod.addFloatVar("Amount", amount, 0.0f, high, 0);
    FloatValue* value = v->floatValue();
    value->displayLow = 0.0f;
    value->displayHigh = 100.0f;
    value->useDisplayRange = 1;
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
