#include "cameras/CameraMod.h"

#include <string>

#include "adjustments/TileVars.h"

CameraMod::CameraMod(const char* xmlName, const char* descriptionText)
    : ImageMod(GrowString(xmlName), GrowString((std::string(xmlName) + " Camera").c_str())) {
    tilevars::addLookVars(*this);
    description = GrowString(descriptionText);
}

float CameraMod::amountValue() const {
    const FloatValue* a = floatAt(tilevars::kLookAmount);
    return a ? a->value : 0.0f;
}

float CameraMod::variationValue() const {
    const FloatValue* v = floatAt(tilevars::kLookVariation);
    return v ? v->value : 0.0f;
}

void CameraMod::setAmountAndVariation(float amount, float variation) {
    if (FloatValue* a = floatAt(tilevars::kLookAmount)) a->value = amount;
    if (FloatValue* v = floatAt(tilevars::kLookVariation)) v->value = variation;
}

namespace camera {

int32_t marginRows(double reach, int32_t height) {
    if (!(reach > 0.0)) return 0;
    const double limit = height > 0 ? static_cast<double>(height) : 0.0;
    const double rows = std::ceil(reach);
    return static_cast<int32_t>(rows < limit ? rows : limit);
}

int32_t blurMarginRows(float amount, int32_t width, int32_t height) {
    const float q = static_cast<float>(static_cast<double>(amount) * 0.01);
    const float M = static_cast<float>(width > height ? width : height);
    return marginRows(std::ceil(q * q * M * 0.029999999329447746f), height);
}

Curve curveFrom(const char* points) {
    Curve curve;
    GrowString text(points);
    curve.setFromString(text);
    curve.hueOffset = 180.0f;
    return curve;
}

}  // namespace camera
