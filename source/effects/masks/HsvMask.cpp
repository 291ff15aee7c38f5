#include "effects/masks/HsvMask.h"

#include <math.h>

#include "adjustments/TileVars.h"
#include "effects/masks/MaskPixels.h"
#include "pixels/SampleRules.h"

namespace {

// The vars of each mask, in the order its constructor adds them.
enum HsvMaskVar : int32_t { kHueRegion = 0, kSaturationRange = 1, kValueRegion = 2 };
enum LuminanceMaskVar : int32_t { kLuminanceCurve = 0, kPresetChoice = 1 };

constexpr double kInv360d = 0.002777777777777778;  // 1/360

// The default curves of the HSV mask, as control-point texts.
const char* const kHueDefault = "0 0 .16667 0 .33333 1 .5 1 .66667 1 .83333 0 1 0";
const char* const kRampDefault = "0 0 .5 1 1 1";

Curve curveFromText(const char* text) {
    Curve curve(0);
    GrowString points(text);
    curve.setFromString(points);
    return curve;
}

// The table of var `index` when it holds a full curve table, else null.
const float* tableOf(const ImageMod& mod, int32_t index, float* hueOffset = nullptr) {
    const ModVar* v = mod.var(index);
    const CurveValue* value = v ? v->curveValue() : nullptr;
    if (!value || value->curve.table.count < Curve::kTableSize) return nullptr;
    if (hueOffset) *hueOffset = value->curve.hueOffset;
    return &value->curve.table[0];
}

// A curve factor: the unit lookup, or 1 when there is no curve.
inline float unitFactor(const float* table, float t) { return table ? pixel::curveLookupUnit(table, t) : 1.0f; }

ModVar* addCurveVar(ImageMod& mod, const char* name, const Curve& curve, int32_t controlCode) {
    CurveValue* value = new CurveValue(Curve(0));
    value->curve = curve;
    value->hasGuide = 1;  // an empty guide list: the mask curves show no guide line
    ModVar* added = mod.addVar(ModVar(name, value));
    added->controlCode = controlCode;
    added->makeCurve();
    return added;
}

struct Preset {
    const char* option;
    const char* points;
};

const Preset kPresets[LuminanceMask::kPresetCount] = {
    {"Shadows I", "0 1 .1666 1 .3333 0 .5 0 1 0"},
    {"Shadows II", "0 1 .2222 1 .4444 0 .6666 0 1 0"},
    {"Shadows III", "0 1 .25 1 .375 0 .625 0 1 0"},
    {"Midtones I", "0 0 .1666 0 .3333 1 .5 1 .6666 1 .8333 0 1 0"},
    {"Midtones II", "0 0 .2222 0 .4444 1 .5 1 .5555 1 .7777 0 1 0"},
    {"Midtones III", "0 0 .25 0 .375 1 .5 1 .625 1 .75 0 1 0"},
    {"Highlights I", "0 0 .5 0 .6666 0 .8333 1 1 1"},
    {"Highlights II", "0 0 .3333 0 .5555 0 .7777 1 1 1"},
    {"Highlights III", "0 0 .375 0 .625 0 .75 1 1 1"},
};

}  // namespace

// ---- HSV Mask ------------------------------------------------------------------------

HsvMask::HsvMask(Curve& hueCurve, Curve& saturationCurve, Curve& valueCurve)
    : SelectorMod(GrowString("HSV Mask"), GrowString("")) {
    version = kNewestVersion;
    hueCurve.setWrap(true);
    tilevars::placed(*this, kHueRegion, addCurveVar(*this, "Hue Region", hueCurve, kControlHueCurve));
    tilevars::placed(*this, kSaturationRange, addCurveVar(*this, "Saturation Range", saturationCurve, kControlCurveB));
    tilevars::placed(*this, kValueRegion, addCurveVar(*this, "Value Region", valueCurve, kControlCurveA));
    description =
        "Place to the left of a tile (or nested group of tiles) to make that tile only affect specified hue, "
        "saturation, and value ranges.";
}

HsvMask* HsvMask::makeDefault() {
    Curve hue = curveFromText(kHueDefault);
    Curve saturation = curveFromText(kRampDefault);
    Curve value = curveFromText(kRampDefault);
    return new HsvMask(hue, saturation, value);
}

ImageMod* HsvMask::clone() const { return makeDefault(); }

void HsvMask::varChanged(int32_t) {}

template <class Sample>
float HsvMask::weightAt(const ImageBuffer& image, int32_t x, int32_t y) const {
    float hueOffset = 180.0f;
    const float* hueTable = tableOf(*this, kHueRegion, &hueOffset);
    const float* saturationTable = tableOf(*this, kSaturationRange);
    const float* valueTable = tableOf(*this, kValueRegion);
    const Sample* p = maskpixel::pixelAt<Sample>(image, x, y);
    if (!p) return 0.0f;
    const maskpixel::MaskHsv hsv = maskpixel::maskHsv(p, image.channelCount());
    const float turn = 360.0f - hueOffset;
    const float position = fmodf(turn + hsv.hue, 360.0f);
    const float xh = static_cast<float>(static_cast<double>(position) * kInv360d);
    return unitFactor(saturationTable, hsv.saturation) * unitFactor(hueTable, xh) *
           unitFactor(valueTable, hsv.value);
}

float HsvMask::maskWeight(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion*) const {
    return weightAt<float>(image, x, y);
}

float HsvMask::maskWeight8(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion*) const {
    return weightAt<uint8_t>(image, x, y);
}

// ---- Luminance Mask ------------------------------------------------------------------

LuminanceMask::LuminanceMask(Curve& curve) : SelectorMod(GrowString("Luminance Mask"), GrowString("")) {
    version = kNewestVersion;
    tilevars::placed(*this, kLuminanceCurve, addCurveVar(*this, "Curve", curve, kControlCurveA));
    GrowArray<GrowString> options;
    options.append(GrowString("Load Preset..."));
    for (int32_t k = 0; k < kPresetCount; ++k) {
        presetChoiceIndex[k] = options.count;
        options.append(GrowString(kPresets[k].option));
    }
    tilevars::placed(*this, kPresetChoice, addVar(ModVar("Presets", new ChoiceValue(options, 0))));
    description =
        "Place to the left of a tile (or nested group of tiles) to make that tile only affect specific luminance "
        "(brightness) ranges. Use the presets dropdown for common tone ranges.";
}

LuminanceMask* LuminanceMask::makeDefault() {
    Curve identity = curveFromText("0 0 1 1");
    return new LuminanceMask(identity);
}

ImageMod* LuminanceMask::clone() const { return makeDefault(); }

void LuminanceMask::varChanged(int32_t index) {
    if (index != kPresetChoice) return;
    ModVar* presets = var(kPresetChoice);
    if (!presets) return;
    const ChoiceValue* chosen = presets->choiceValue();
    const int32_t s = chosen ? chosen->selected : 0;
    presets->makeChoice()->selected = 0;
    ModVar* curveVar = var(kLuminanceCurve);
    CurveValue* value = curveVar ? curveVar->curveValue() : nullptr;
    for (int32_t k = 0; k < kPresetCount; ++k) {
        if (s != presetChoiceIndex[k] || !value) continue;
        GrowString points(kPresets[k].points);
        value->curve.setFromString(points);
    }
}

template <class Sample>
float LuminanceMask::weightAt(const ImageBuffer& image, int32_t x, int32_t y) const {
    const float* table = tableOf(*this, kLuminanceCurve);
    if (!table) return 1.0f;
    const Sample* p = maskpixel::pixelAt<Sample>(image, x, y);
    if (!p) return 0.0f;
    return pixel::curveLookup(table, pixel::luminance(p, image.channelCount()));
}

float LuminanceMask::maskWeight(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion*) const {
    return weightAt<float>(image, x, y);
}

float LuminanceMask::maskWeight8(const ImageBuffer& image, int32_t x, int32_t y, const RenderRegion*) const {
    return weightAt<uint8_t>(image, x, y);
}
