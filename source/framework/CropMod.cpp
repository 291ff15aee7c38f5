#include "framework/CropMod.h"

#include <math.h>

namespace {

// The largest part of a side that the margins may cut away.
constexpr float kMaxMargin = 0.99f;

const char* const kAspectOptions[] = {"Custom", "Square", "7:6",    "5:4", "4:3",   "7:5",
                                      "3:2",    "5:3",    "16:9",   "1.85:1", "2:1", "2.39:1"};

float clampMargin(float v) {
    if (!isfinite(v)) return v;  // refused by the geometry step
    if (!(v > 0.0f)) return 0.0f;
    return v > kMaxMargin ? kMaxMargin : v;
}

// Scales a pair of margins down so that together they cut at most kMaxMargin.
void limitPair(float& a, float& b) {
    const float sum = a + b;
    if (!isfinite(sum) || !(sum > kMaxMargin)) return;
    const float k = kMaxMargin / sum;
    a *= k;
    b *= k;
}

}  // namespace

CropMod::CropMod() : ImageMod(GrowString("Crop"), GrowString("Crop")) {
    version = kNewestVersion;
    const char* const sides[] = {"Left", "Right", "Top", "Bottom"};
    for (const char* side : sides) {
        ModVar* margin = addFloatVar(side, 0.0f, 0.0f, kMaxMargin);
        margin->shown = 0;  // set by dragging the crop frame
    }
    ModVar* angle = addFloatVar("Angle", 0.0f, -45.0f, 45.0f);
    angle->setAlias("Straighten");
    GrowArray<GrowString> options;
    for (const char* option : kAspectOptions) options.append(GrowString(option));
    ModVar* aspect = addVar(ModVar("Aspect", new ChoiceValue(options, 0)));
    aspect->hoverPreview = 0;
    addTypeTag(kTagCrop);
    description = "Crop and straighten the image.";
}

ImageMod* CropMod::clone() const { return new CropMod(); }

void CropMod::process8(ImageBuffer&, const RenderArgs*) {}
void CropMod::processFloat(ImageBuffer&, const RenderArgs*) {}

bool CropMod::cropMargins(float margins[4]) const {
    for (int32_t i = 0; i < 4; ++i) {
        const FloatValue* v = floatAt(kCropLeft + i);
        margins[i] = clampMargin(v ? v->value : 0.0f);
    }
    limitPair(margins[0], margins[1]);
    limitPair(margins[2], margins[3]);
    for (int32_t i = 0; i < 4; ++i)
        if (margins[i] != 0.0f) return true;
    return false;
}

float CropMod::straightenAngle() const {
    const FloatValue* v = floatAt(kCropAngle);
    return v ? v->value : 0.0f;
}

bool CropMod::isNeutral() const {
    float margins[4];
    return !cropMargins(margins) && straightenAngle() == 0.0f;
}

const CropMod* asCropMod(const ImageMod* mod) { return dynamic_cast<const CropMod*>(mod); }
