#include "cameras/WeddingCamera.h"

#include <cmath>
#include <memory>

#include "adjustments/ChannelCurves.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/GammaExposure.h"
#include "effects/Vignette.h"

struct WeddingCamera::Recipe {
    std::unique_ptr<GammaMod> gamma;
    std::unique_ptr<SaturationMod> saturation;
    std::unique_ptr<RgbCurveMod> curve;
    std::unique_ptr<VignetteMod> vignette;

    Recipe(float a, float v, uint32_t) {
        const double xd = static_cast<double>(static_cast<float>(static_cast<double>(v) * 3.3 + 14.0));
        gamma = std::make_unique<GammaMod>(
            camera::wave(xd, 0.029405306921233814, 0.0, 0.15000000596046448, 0.05000000447034836) * a + 1.0f);
        saturation = std::make_unique<SaturationMod>(
            1u, camera::wave(xd, 0.06000441866188032, 0.0, 0.1599999964237213, 0.059999994933605194) * a + 1.0f);
        curve = std::make_unique<RgbCurveMod>(
            camera::curveFrom("0.000000 0.000000 0.167392 0.063043 0.404348 0.752174 0.730435 1.000000 1.000000 1.000000"),
            (camera::wave(xd, 0.044673449142009804, 0.0, -0.20000000298023224, -0.20000000298023224) + 1.0f) * a);
        vignette = std::make_unique<VignetteMod>(
            (camera::wave(xd, 0.033740705144660564, 0.0, 0.1599999964237213, -0.06000000238418579) +
             0.2199999988079071f) * a,
            42.78499984741211f, 0.9289000034332275f);
    }

    template <class Step>
    void steps(Step&& step) const {
        step(*gamma, camera::kBare);
        step(*saturation, camera::kWithContext);
        step(*curve, camera::kBare);
        step(*vignette, camera::kWithContext);
    }
};

WeddingCamera::WeddingCamera() : CameraMod("Wedding", "The perfect SLR look for the perfect day.") {}

ImageMod* WeddingCamera::clone() const { return new WeddingCamera(); }
void WeddingCamera::process8(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, uint8_t>(image, args); }
void WeddingCamera::processFloat(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, float>(image, args); }
void WeddingCamera::recipeChain(GrowArray<ImageMod*>& out) const { appendRecipeChain<Recipe>(out); }
