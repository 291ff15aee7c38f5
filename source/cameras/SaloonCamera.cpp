#include "cameras/SaloonCamera.h"

#include <cmath>
#include <memory>

#include "adjustments/ContrastSaturation.h"
#include "adjustments/Curves.h"
#include "adjustments/DyeColorFilter.h"
#include "adjustments/GammaExposure.h"
#include "effects/Vignette.h"

struct SaloonCamera::Recipe {
    std::unique_ptr<GammaMod> gamma;
    std::unique_ptr<VignetteMod> vignette;
    std::unique_ptr<CurvesMod> curve;
    std::unique_ptr<DyeMod> dye;
    std::unique_ptr<SaturationMod> saturation;

    Recipe(float a, float v, uint32_t) {
        const double x = static_cast<double>(v);
        gamma = std::make_unique<GammaMod>(
            (camera::wave(x, 0.10549468261324361, 1.5789999961853027, 0.32499998807907104, -0.125) +
             0.29499995708465576f) * a + 1.0f);
        vignette = std::make_unique<VignetteMod>(
            static_cast<float>(static_cast<double>(a) * -0.8),
            camera::wave(x, 0.061763710368916945, 1.2899999618530273, 17.5, 2.5) + 37.0f, 0.8420000076293945f);
        curve = std::make_unique<CurvesMod>(
            camera::curveFrom("0.000000 0.190850 0.205533 0.231665 0.308529 0.481292 0.785465 0.919104 1.000000 1.000000"),
            a);
        const float warm[4] = {255.0f, 212.9250030517578f, 178.5f, 255.0f};
        dye = std::make_unique<DyeMod>(1u, warm, a);
        saturation = std::make_unique<SaturationMod>(
            1u, camera::wave(x, 0.08419468525123937, 1.340000033378601, 0.20000000298023224, 0.0) * a + 1.0f);
    }

    template <class Step>
    void steps(Step&& step) const {
        step(*gamma, camera::kBare);
        step(*vignette, camera::kWithContext);
        step(*curve, camera::kBare);
        step(*dye, camera::kBare);
        step(*saturation, camera::kWithContext);
    }
};

SaloonCamera::SaloonCamera() : CameraMod("Saloon", "Old-timey fun with a white vignette.") {}

ImageMod* SaloonCamera::clone() const { return new SaloonCamera(); }
void SaloonCamera::process8(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, uint8_t>(image, args); }
void SaloonCamera::processFloat(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, float>(image, args); }
void SaloonCamera::recipeChain(GrowArray<ImageMod*>& out) const { appendRecipeChain<Recipe>(out); }
