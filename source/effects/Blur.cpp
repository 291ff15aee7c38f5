#include "effects/Blur.h"

#include "adjustments/TileVars.h"

namespace {

// The vars, in the order the constructor adds them.
enum BlurVar : int32_t { kAmount = 0, kMix = 1, kMethod = 2 };

// "Blur Method": the selected index, 0 when the var holds no choice; a
// negative index becomes a large one (an unknown method).
uint32_t methodOf(const ImageMod& mod) {
    const ModVar* v = mod.var(kMethod);
    const ChoiceValue* choice = v ? v->choiceValue() : nullptr;
    return choice ? static_cast<uint32_t>(choice->selected) : 0u;
}

}  // namespace

// ---- BlurMod ------------------------------------------------------------------------------------

BlurMod::BlurMod(float amount, float mix) : ImageMod(GrowString("Blur"), GrowString("Blur")) {
    version = kNewestVersion;
    ModVar* amountVar = tilevars::placed(*this, kAmount, addFloatVar("Amount", amount, 0.0f, 100.0f));
    ModVar* mixVar = tilevars::placed(*this, kMix, addFloatVar("Mix", mix, 0.0f, 100.0f));
    GrowArray<GrowString> methods;
    methods.append(GrowString("Gaussian"));
    methods.append(GrowString("Box"));
    methods.append(GrowString("Circle"));
    ModVar* methodVar = tilevars::placed(*this, kMethod, addVar(ModVar("Blur Method", new ChoiceValue(methods, 0))));
    addAnimTrack(amountVar, "65 20 65", 3.0f);
    addAnimTrack(mixVar, "100 50 100", 2.571f);
    addChoiceAnimTrack(methodVar, methods, static_cast<float>(methods.count) * 1.91f);
    description = "Blur the image using the selected blurring method.";
}

ImageMod* BlurMod::clone() const { return new BlurMod(0.0f, 100.0f); }

// The rows of context a band needs: the kernel's half-width
// (blurMarginFor).
int32_t BlurMod::marginFor(int32_t width, int32_t height, float) const {
    const FloatValue* amount = floatAt(kAmount);
    return blurMarginFor(amount ? amount->value : 0.0f, methodOf(*this), width, height);
}

void BlurMod::process8(ImageBuffer& image, const RenderArgs* args) { apply8(image, args); }
void BlurMod::processFloat(ImageBuffer& image, const RenderArgs* args) { applyFloat(image, args); }

// No Amount var, or no Mix var, leaves the image as it is.
void BlurMod::apply8(ImageBuffer& image, const RenderArgs* args) const {
    const FloatValue* amount = floatAt(kAmount);
    const FloatValue* mix = floatAt(kMix);
    if (!amount) return;
    blurByAmount8(image, amount->value, mix ? mix->value : 0.0f, methodOf(*this), args);
}

void BlurMod::applyFloat(ImageBuffer& image, const RenderArgs* args) const {
    const FloatValue* amount = floatAt(kAmount);
    const FloatValue* mix = floatAt(kMix);
    if (!amount) return;
    blurByAmount(image, amount->value, mix ? mix->value : 0.0f, methodOf(*this), args);
}
