#include "cameras/SkaterCamera.h"

#include <cmath>
#include <memory>

#include "adjustments/ChannelCurves.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/GammaExposure.h"
#include "effects/Blur.h"
#include "effects/Noise.h"
#include "effects/Vignette.h"

struct SkaterCamera::Recipe {
    std::unique_ptr<BlurMod> blur;  // version 3 only
    std::unique_ptr<GammaMod> gamma;
    std::unique_ptr<VignetteMod> vignette;
    std::unique_ptr<RgbCurvesMod> curves;
    std::unique_ptr<SaturationMod> saturation;
    std::unique_ptr<NoiseMod> grain;

    Recipe(float a, float v, uint32_t version) {
        const float u = static_cast<float>(0.7 * static_cast<double>(v) + 230.0);
        const double X = static_cast<double>(u);
        if (version == 3) {
            const double t = X * 0.0628318531;
            const double c1 = std::cos(3.0999999046325684 * t + 3.0999999046325684);
            const float bp = static_cast<float>(std::cos(2.7699999809265137 * t + 1.5) * 6.5 + 26.5);
            blur = std::make_unique<BlurMod>(static_cast<float>(static_cast<double>(bp * a) * 0.8), 100.0f);
            grain = std::make_unique<NoiseMod>(static_cast<float>(c1 * 7.5 + 37.5) * a, bp, grainOffset(v));
        } else {
            const float scale = camera::wave(X, 0.1740442318885775, 1.5, 6.5, 26.5);
            if (version == 2) {
                grain = std::make_unique<NoiseMod>(
                    camera::wave(X, 0.19477873861788755, 3.0999999046325684, 7.5, 37.5) * a, scale, 0.0f);
                grain->version = 4;
            } else {
                grain = std::make_unique<NoiseMod>(
                    camera::wave(X, 0.19477873861788755, 3.0999999046325684, 5.0, 23.0) * a, scale, 0.0f);
                grain->version = 1;
            }
        }
        gamma = std::make_unique<GammaMod>(
            (camera::wave(X, 0.20923006602931005, 20.0, 0.20000001788139343, 1.0000000298023224) - 1.0f) * a + 1.0f);
        vignette = std::make_unique<VignetteMod>(a, 40.0f, 1.7999999523162842f);
        curves = std::make_unique<RgbCurvesMod>(
            camera::curveFrom("0.000000 0.086735 0.438775 0.132653 0.561224 0.923469 1.000000 1.000000"),
            camera::curveFrom("0.000000 0.102041 0.377551 0.142857 0.556122 0.859694 1.000000 1.000000"),
            camera::curveFrom("0.000000 0.000000 0.382653 0.112245 0.594388 0.849490 1.000000 1.000000"),
            camera::curveFrom("0 0 1 1"), a);
        saturation = std::make_unique<SaturationMod>(
            1u, (camera::wave(X, 0.15393804309105624, 0.5669999718666077, 0.19999998807907104, 0.8499999642372131) -
                 1.0f) * a + 1.0f);
    }

    template <class Step>
    void steps(Step&& step) const {
        if (blur) step(*blur, camera::kWithContext);
        step(*gamma, camera::kBare);
        step(*vignette, camera::kWithContext);
        step(*curves, camera::kWithContext);
        step(*saturation, camera::kWithContext);
        step(*grain, camera::kWithContext);
    }
};

float SkaterCamera::grainOffset(float variation) {
    const float u = static_cast<float>(0.7 * static_cast<double>(variation) + 230.0);
    return std::fmod(u * 100.0f, 10000.0f);
}

SkaterCamera::SkaterCamera(uint32_t styleVersion) : CameraMod("Skater", "Skinned knees and noisy photos.") {
    setVersion(styleVersion);
}

// Version 3 starts with a blur: its bands need the rows that blur reaches,
// or each band would be blurred against its own clamped edges.
int32_t SkaterCamera::marginFor(int32_t width, int32_t height, float scale) const {
    float a, v;
    if (version != 3 || !readValues(a, v)) return 0;
    return prepared<Recipe>(a, v)->blur->marginFor(width, height, scale);
}

ImageMod* SkaterCamera::clone() const { return new SkaterCamera(version); }
void SkaterCamera::process8(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, uint8_t>(image, args); }
void SkaterCamera::processFloat(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, float>(image, args); }
void SkaterCamera::recipeChain(GrowArray<ImageMod*>& out) const { appendRecipeChain<Recipe>(out); }
