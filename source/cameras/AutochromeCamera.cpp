#include "cameras/AutochromeCamera.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "adjustments/BrightnessContrast.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/GammaExposure.h"
#include "effects/Blur.h"
#include "effects/Noise.h"

namespace {

float phaseOf(float v) { return static_cast<float>(static_cast<double>(v) + 170.21); }

}  // namespace

struct AutochromeCamera::Recipe {
    std::unique_ptr<GammaMod> gamma;
    std::unique_ptr<LuminanceContrastMod> soften;
    std::unique_ptr<BlurMod> blur;  // version 3 only
    std::unique_ptr<NoiseMod> grain;
    std::unique_ptr<ContrastMod> contrast;
    std::unique_ptr<SaturationMod> saturation;

    Recipe(float a, float v, uint32_t version) {
        const float s = phaseOf(v);
        const double S = static_cast<double>(s);
        const float g = camera::wave(S, 0.17781413947931005, 2.8299999237060547, 0.10000000149011612,
                                     0.30000000447034836) - 1.0f;
        const double cN = std::cos(0.20923006602931005 * S + 3.0);
        gamma = std::make_unique<GammaMod>(g * a + 1.0f);
        soften = std::make_unique<LuminanceContrastMod>(
            static_cast<float>(static_cast<double>(a) * -0.55 + 1.0), 200.0f);
        if (version == 2 || version == 3) {
            if (version == 3) {
                const double u = S * 0.0628318531;
                const float r = static_cast<float>(std::cos(0.46799999475479126 * u) * 3.0 + 16.0);
                const float m = static_cast<float>(std::cos(0.7110000252723694 * u) * 20.0 + 80.0);
                blur = std::make_unique<BlurMod>(r * a, m);
            }
            grain = std::make_unique<NoiseMod>(static_cast<float>(cN * 7.0 + 28.0) * a, 13.0f,
                                               version == 3 ? grainOffset(v) : 0.0f);
        } else {
            grain = std::make_unique<NoiseMod>(static_cast<float>(cN * 3.5 + 17.5) * a, 13.0f, 0.0f);
            grain->version = 1;
        }
        contrast = std::make_unique<ContrastMod>(2u, 0.41999995708465576f * a + 1.0f,
                                                 camera::wave(S, 0.12126547318733816, 1.7000000476837158, 10.0, 10.0));
        saturation = std::make_unique<SaturationMod>(
            1u, (camera::wave(S, 0.15707963275, 1.0, 0.14499998092651367, 1.3450000286102295) - 1.0f) * a + 1.0f);
    }

    template <class Step>
    void steps(Step&& step) const {
        step(*gamma, camera::kBare);
        step(*soften, camera::kWithContext);
        if (blur) step(*blur, camera::kWithContext);
        step(*grain, camera::kWithContext);
        step(*contrast, camera::kWithContext);
        step(*saturation, camera::kWithContext);
    }
};

float AutochromeCamera::grainOffset(float variation) { return std::fmod(phaseOf(variation) * 1000.0f, 10000.0f); }

AutochromeCamera::AutochromeCamera(uint32_t styleVersion)
    : CameraMod("Autochrome", "One of the first color photo processes from the early 1900s.") {
    setVersion(styleVersion);
}

int32_t AutochromeCamera::marginFor(int32_t width, int32_t height, float scale) const {
    if (version != 3) return 0;
    const double S = static_cast<double>(phaseOf(variationValue()));
    const float k = camera::wave(S, 0.029405306921233814, 0.0, 3.0, 16.0);
    const float q = static_cast<float>(static_cast<double>(k) * 0.01);
    return atLeastBlurReach<Recipe>(camera::blurMarginRows(q, width, height), width, height, scale);
}

ImageMod* AutochromeCamera::clone() const { return new AutochromeCamera(version); }
void AutochromeCamera::process8(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, uint8_t>(image, args); }
void AutochromeCamera::processFloat(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, float>(image, args); }
void AutochromeCamera::recipeChain(GrowArray<ImageMod*>& out) const { appendRecipeChain<Recipe>(out); }
