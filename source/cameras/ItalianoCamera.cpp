#include "cameras/ItalianoCamera.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "adjustments/BrightnessContrast.h"
#include "adjustments/ChannelCurves.h"
#include "adjustments/ContrastSaturation.h"
#include "effects/Blur.h"
#include "effects/Noise.h"
#include "effects/Vignette.h"

namespace {

// The shifted Variation of every step, widened again.
double phaseOf(float v) {
    return static_cast<double>(static_cast<float>(0.6 * static_cast<double>(v) + (-124.67000000000002)));
}

// The step-1 blur Amount of version 2 at Amount 1.
float blurAmountAtOne(double X) { return camera::wave(X, 0.06000441866188032, 0.0, 5.0, 15.0); }

}  // namespace

struct ItalianoCamera::Recipe {
    std::unique_ptr<BlurMod> blur;  // version 2 only
    std::unique_ptr<NoiseMod> grain;
    std::unique_ptr<LuminanceContrastMod> contrast;
    std::unique_ptr<SaturationMod> grey;
    std::unique_ptr<VignetteMod> vignette;
    std::unique_ptr<RgbCurvesMod> curves;
    std::unique_ptr<SaturationMod> finish;

    Recipe(float a, float v, uint32_t version) {
        const double X = phaseOf(v);
        const bool current = version == 2;
        const float center = camera::wave(X, 0.11623892973302812, 2.3399999141693115, 67.5, 82.5);
        if (current) {
            blur = std::make_unique<BlurMod>(blurAmountAtOne(X) * a, 80.0f);
            grain = std::make_unique<NoiseMod>(
                camera::wave(X, 0.18409733377747872, 0.05999999865889549, 9.0, 34.0) * a,
                camera::wave(X, 0.1086991070614225, 2.5999999046325684, 5.0, 25.0), 4.0f);
            contrast = std::make_unique<LuminanceContrastMod>(
                (camera::wave(X, 0.14137166947500002, 0.15000000596046448, 0.3050000071525574, 0.9449999928474426) -
                 1.0f) * a + 1.0f,
                center);
        } else {
            contrast = std::make_unique<LuminanceContrastMod>(
                (camera::wave(X, 0.14137166947500002, 0.15000000596046448, 0.36000001430511475, 1.0) - 1.0f) * a +
                    1.0f,
                center);
            grain = std::make_unique<NoiseMod>(
                camera::wave(X, 0.18409733377747872, 0.05999999865889549, 7.0, 17.0) * a,
                camera::wave(X, 0.1086991070614225, 2.5999999046325684, 5.0, 15.0), 0.0f);
            grain->version = 1;  // the first grain method
        }
        grey = std::make_unique<SaturationMod>(1u, 1.0f - a);
        vignette = std::make_unique<VignetteMod>(
            camera::wave(X, 0.20941856290687477, 1.5, 0.17499998211860657, 0.4749999940395355) * a, 28.0f,
            0.9150000214576721f);
        curves = std::make_unique<RgbCurvesMod>(
            camera::curveFrom("0.000000 0.000000 0.124046 0.230916 0.599237 0.782443 1.000000 1.000000"),
            camera::curveFrom("0.000000 0.000000 0.141504 0.192748 0.420908 0.528909 1.000000 1.000000"),
            camera::curveFrom("0.000000 0.000000 0.219466 0.211832 0.500000 0.561069 1.000000 1.000000"),
            camera::curveFrom("0.000000 0.111111 0.215678 0.141211 0.324685 0.524358 0.599631 0.760897 1.000000"), a);
        const float s = current ? camera::wave(X, 0.1514247713639012, 0.9089999794960022, 0.3749999701976776,
                                               0.9249999821186066)
                                : camera::wave(X, 0.1514247713639012, 0.9089999794960022, 0.17499998211860657,
                                               0.7249999940395355);
        finish = std::make_unique<SaturationMod>(1u, (s - 1.0f) * a + 1.0f);
    }

    template <class Step>
    void steps(Step&& step) const {
        if (blur) {
            step(*blur, camera::kWithContext);
            step(*grain, camera::kWithContext);
            step(*contrast, camera::kWithContext);
        } else {
            step(*contrast, camera::kWithContext);
            step(*grain, camera::kWithContext);
        }
        step(*grey, camera::kWithContext);
        step(*vignette, camera::kWithContext);
        step(*curves, camera::kWithContext);
        step(*finish, camera::kWithContext);
    }
};

ItalianoCamera::ItalianoCamera(uint32_t styleVersion)
    : CameraMod("Italiano", "Shades of coffee for Tuscan landscapes.") {
    setVersion(styleVersion);
}

int32_t ItalianoCamera::marginFor(int32_t width, int32_t height, float scale) const {
    if (version != 2) return 0;
    const double X = phaseOf(variationValue());
    const float k = static_cast<float>(static_cast<double>(blurAmountAtOne(X)) * 0.01);
    return atLeastBlurReach<Recipe>(camera::blurMarginRows(k, width, height), width, height, scale);
}

ImageMod* ItalianoCamera::clone() const { return new ItalianoCamera(version); }
void ItalianoCamera::process8(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, uint8_t>(image, args); }
void ItalianoCamera::processFloat(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, float>(image, args); }
void ItalianoCamera::recipeChain(GrowArray<ImageMod*>& out) const { appendRecipeChain<Recipe>(out); }
