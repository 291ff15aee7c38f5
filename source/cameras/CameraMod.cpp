#include "cameras/CameraMod.h"

#include <string>

namespace {

// A float var as the styles make it: limits and ranges in force as given,
// ten tick divisions, control code 0 (the plain slider of a style).
ModVar* addStyleVar(ImageMod& tile, const char* name, float value, float low, float high, bool clamp) {
    FloatValue* number = new FloatValue(value);
    number->minimum = low;
    number->maximum = high;
    number->hasMinimum = clamp ? 1 : 0;
    number->hasMaximum = clamp ? 1 : 0;
    number->rangeLow = low;
    number->rangeHigh = high;
    number->displayLow = low;
    number->displayHigh = high;
    number->useDisplayRange = 0;
    number->tickCount = 10;
    ModVar prototype(name, number, 0);
    ModVar* stored = tile.addVar(prototype);
    if (!stored->floatValue()) {
        FloatValue* replacement = stored->makeFloat();
        replacement->value = 0.0f;
        replacement->minimum = low;
        replacement->maximum = high;
        replacement->hasMinimum = number->hasMinimum;
        replacement->hasMaximum = number->hasMaximum;
    }
    return stored;
}

}  // namespace

CameraMod::CameraMod(const char* xmlName, const char* descriptionText)
    : ImageMod(GrowString(xmlName), GrowString((std::string(xmlName) + " Camera").c_str())) {
    ModVar* amount = addStyleVar(*this, "Amount", 1.0f, 0.0f, 1.0f, true);
    FloatValue* a = amount->floatValue();
    a->displayLow = 0.0f;
    a->displayHigh = 100.0f;
    a->useDisplayRange = 1;

    ModVar* variation = addStyleVar(*this, "Variation", 0.0f, 0.0f, 0.0f, false);
    FloatValue* v = variation->floatValue();
    v->rangeLow = 0.0f;
    v->rangeHigh = 100.0f;
    variation->setAlias("Remix");

    description = GrowString(descriptionText);
}

float CameraMod::amountValue() const {
    const FloatValue* a = floatAt(0);
    return a ? a->value : 0.0f;
}

float CameraMod::variationValue() const {
    const FloatValue* v = floatAt(1);
    return v ? v->value : 0.0f;
}

void CameraMod::setAmountAndVariation(float amount, float variation) {
    if (FloatValue* a = floatAt(0)) a->value = amount;
    if (FloatValue* v = floatAt(1)) v->value = variation;
}

namespace camera {

int32_t marginRows(double reach, int32_t height) {
    if (!(reach > 0.0)) return 0;
    const double limit = height > 0 ? static_cast<double>(height) : 0.0;
    const double rows = std::ceil(reach);
    return static_cast<int32_t>(rows < limit ? rows : limit);
}

int32_t blurMarginRows(float q, int32_t width, int32_t height) {
    const float M = static_cast<float>(width > height ? width : height);
    return marginRows(std::ceil(q * q * M * 0.029999999329447746f), height);
}

}  // namespace camera

namespace camera {

Curve curveFrom(const char* points) {
    Curve curve;
    GrowString text(points);
    curve.setFromString(text);
    curve.hueOffset = 180.0f;
    return curve;
}

}  // namespace camera
