#include "cameras/PlasticCamera.h"

#include <cmath>
#include <memory>

#include "adjustments/ChannelCurves.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/GammaExposure.h"
#include "adjustments/SplitTone.h"
#include "effects/Discolor.h"
#include "effects/Noise.h"
#include "effects/Vignette.h"
#include "foundation/ColorConversions.h"

struct PlasticCamera::Recipe {
    std::unique_ptr<DiscolorMod> blotches;
    std::unique_ptr<GammaMod> gamma;
    std::unique_ptr<VignetteMod> vignette;
    std::unique_ptr<RgbCurvesMod> curves;
    std::unique_ptr<SplitToneMod> split;
    std::unique_ptr<ContrastMod> contrast;
    std::unique_ptr<NoiseMod> grain;

    Recipe(float a, float v, uint32_t) {
        const double x = static_cast<double>(v - 1.0f);
        float blotch[4] = {201.0f, 180.0f, 103.0f, 255.0f};
        setRgbHue(blotch, camera::wave(x, 0.04680973085910562, 2.430000066757202, 180.0, 180.0));
        blotches = std::make_unique<DiscolorMod>(blotch, 0.5f * a, v - 446.0f, 1.0f, 1.0f);
        gamma = std::make_unique<GammaMod>(0.36000001430511475f * a + 1.0f);
        vignette = std::make_unique<VignetteMod>(
            (camera::wave(x, 0.12754865999536627, 2.0299999713897705, 0.15000000596046448, -0.15000000596046448) +
             1.0f) * a,
            1.0240000486373901f, 0.7829999923706055f);
        curves = std::make_unique<RgbCurvesMod>(
            camera::curveFrom("0.000000 0.000000 0.200276 0.178177 0.665746 0.897790 1.000000 1.000000"),
            camera::curveFrom("0.000000 0.000000 0.825967 0.820442 1.000000 1.000000"),
            camera::curveFrom("0.000000 0.000000 0.616022 0.732044 1.000000 1.000000"),
            camera::curveFrom("0.000000 0.000000 0.241758 0.000000 0.394231 0.379121 0.766484 0.824176 1.000000 1.000000"),
            a);
        const float dark[4] = {130.8260955810547f, 2.1804330348968506f, 32.38426971435547f, 255.0f};
        const float light[4] = {4.249996185302734f, 255.0f, 130.7152099609375f, 255.0f};
        split = std::make_unique<SplitToneMod>(dark, light, 0.3889999985694885f * a);
        contrast = std::make_unique<ContrastMod>(2u, 0.44200003147125244f * a + 1.0f, 78.46099853515625f);
        grain = std::make_unique<NoiseMod>(
            (camera::wave(x, 0.1169300749639114, 1.8609999418258667, 4.0, 1.0) + 17.433000564575195f) * a,
            33.33300018310547f, 0.0f);
        grain->version = 1;  // the first grain method
    }

    template <class Step>
    void steps(Step&& step) const {
        step(*blotches, camera::kWithContext);
        step(*gamma, camera::kBare);
        step(*vignette, camera::kWithContext);
        step(*curves, camera::kWithContext);
        step(*split, camera::kWithContext);
        step(*contrast, camera::kWithContext);
        step(*grain, camera::kWithContext);
    }
};

PlasticCamera::PlasticCamera() : CameraMod("Plastic", "The cheapest color camera we could find.") {}

ImageMod* PlasticCamera::clone() const { return new PlasticCamera(); }
void PlasticCamera::process8(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, uint8_t>(image, args); }
void PlasticCamera::processFloat(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, float>(image, args); }
void PlasticCamera::recipeChain(GrowArray<ImageMod*>& out) const { appendRecipeChain<Recipe>(out); }
