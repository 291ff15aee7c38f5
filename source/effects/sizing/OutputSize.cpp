#include "effects/sizing/OutputSize.h"

#include <math.h>

#include "adjustments/TileVars.h"

namespace {

// The vars of Output Size, in the order its constructor adds them; Output
// Size Exact has the first two.
enum OutputSizeVar : int32_t { kWidth = 0, kHeight = 1, kMaximumSide = 2, kQuality = 3 };

// The value of a float var; 0 for a missing var or another kind of value.
float floatOrZero(const ImageMod& mod, int32_t index) {
    const FloatValue* v = mod.floatAt(index);
    return v ? v->value : 0.0f;
}

// A size var: lower limit `low` in force, no upper limit, number box.
ModVar* addSizeVar(ImageMod& mod, const char* name, float value, float low) {
    ModVar* v = mod.addFloatVar(name, value, low, 0.0f, kControlNumberBox);
    v->floatValue()->hasMaximum = 0;
    return v;
}

// Sets a var to 0; a var holding another kind of value gets a float 0 in
// the range 0..1.
void clearVar(ImageMod& mod, int32_t index) {
    ModVar* v = mod.var(index);
    if (!v) return;
    if (FloatValue* f = v->floatValue()) {
        f->value = 0.0f;
        return;
    }
    FloatValue* zero = new FloatValue(0.0f);
    zero->minimum = 0.0f;
    zero->maximum = 1.0f;
    zero->hasMinimum = 1;
    zero->hasMaximum = 1;
    zero->rangeLow = 0.0f;
    zero->rangeHigh = 1.0f;
    zero->displayLow = 0.0f;
    zero->displayHigh = 1.0f;
    v->setValue(zero);
}

// A rounded side: truncated toward zero after adding 0.5 (saturating, NaN 0).
float roundedSide(double v) { return static_cast<float>(saturatingInt(v + 0.5)); }

// A cached size below one pixel (or NaN) is stored as 1.
float atLeastOne(float v) { return v >= 1.0f ? v : 1.0f; }

}  // namespace

// ---- OutputSizeMod ------------------------------------------------------------------

OutputSizeMod::OutputSizeMod(uint32_t newVersion)
    : SizingMod(GrowString("Output Size"), GrowString("Maximum Size")), cacheLock(std::make_unique<Mutex>()) {
    tilevars::placed(*this, kWidth, addSizeVar(*this, "Width", 1200.0f, 0.0f))->setAlias("Max Width");
    tilevars::placed(*this, kHeight, addSizeVar(*this, "Height", 1200.0f, 0.0f))->setAlias("Max Height");
    tilevars::placed(*this, kMaximumSide, addSizeVar(*this, "Maximum Side", 0.0f, 0.0f))->setAlias("Longest Side");
    ModVar* quality = tilevars::placed(*this, kQuality, addFloatVar("Quality", 85.0f, 0.0f, 100.0f, kControlNumberBox));
    quality->shown = 0;
    setVersion(newVersion);
    description = "Specify width and height constraints for the output image.";
}

ImageMod* OutputSizeMod::clone() const { return withVersionOf(*this, new OutputSizeMod(kNewestVersion)); }

void OutputSizeMod::setVersion(uint32_t newVersion) {
    version = newVersion;
    if (ModVar* side = var(kMaximumSide)) side->shown = newVersion == 1 ? 1 : 0;
}

void OutputSizeMod::varChanged(int32_t index) {
    const FloatValue* changed = floatAt(index);
    if (!changed || !(changed->value > 0.0f)) return;
    if (index == kMaximumSide) {
        clearVar(*this, kWidth);
        clearVar(*this, kHeight);
    } else if (index == kWidth || index == kHeight) {
        clearVar(*this, kMaximumSide);
    }
}

void OutputSizeMod::computeOutputSize(float inW, float inH, float* outW, float* outH) {
    MutexLocker guard(cacheLock.get());
    const float widthLimit = floatOrZero(*this, kWidth);
    const float heightLimit = floatOrZero(*this, kHeight);
    const float maximumSide = floatOrZero(*this, kMaximumSide);
    float W = widthLimit > 0.0f ? widthLimit : inW;
    float H = heightLimit > 0.0f ? heightLimit : inH;
    if (maximumSide > 0.0f) {
        W = W < maximumSide ? W : maximumSide;
        H = H < maximumSide ? H : maximumSide;
    }
    const float a = inW / inH;  // the source's aspect
    const float b = W / H;      // the limit box's aspect
    float width;
    float height;
    if (a > b) {
        width = W;
        height = roundedSide(static_cast<double>(W / a));
    } else {
        height = H;
        width = roundedSide(static_cast<double>(a * H));
    }
    cachedWidth = atLeastOne(width);
    cachedHeight = atLeastOne(height);
    if (outW) *outW = cachedWidth;
    if (outH) *outH = cachedHeight;
}

float OutputSizeMod::outputWidth(float width, float height) {
    float w = 0.0f;
    computeOutputSize(width, height, &w, nullptr);
    return w;
}

float OutputSizeMod::outputHeight(float width, float height) {
    float h = 0.0f;
    computeOutputSize(width, height, nullptr, &h);
    return h;
}

// ---- OutputSizeExactMod -------------------------------------------------------------

OutputSizeExactMod::OutputSizeExactMod() : SizingMod(GrowString("Output Size Exact"), GrowString("Exact Size")) {
    version = kNewestVersion;
    const struct {
        OutputSizeVar index;
        const char* name;
    } sides[] = {{kWidth, "Width"}, {kHeight, "Height"}};
    for (const auto& side : sides) {
        FloatValue* value = tilevars::placed(*this, side.index, addSizeVar(*this, side.name, 1200.0f, 1.0f))->floatValue();
        value->rangeLow = value->displayLow = 1.0f;
        value->rangeHigh = value->displayHigh = 0.0f;
    }
    description = "Specify exact width and height for the output image.";
}

ImageMod* OutputSizeExactMod::clone() const { return new OutputSizeExactMod(); }

// max(value, 1); NaN and vars of another kind give 1.
float OutputSizeExactMod::outputWidth(float, float) { return atLeastOne(floatOrZero(*this, kWidth)); }
float OutputSizeExactMod::outputHeight(float, float) { return atLeastOne(floatOrZero(*this, kHeight)); }
