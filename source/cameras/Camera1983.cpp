#include "cameras/Camera1983.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "adjustments/ChannelCurves.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/GammaExposure.h"
#include "adjustments/ShadowsHighlights.h"
#include "adjustments/SplitTone.h"
#include "effects/Blur.h"
#include "effects/Noise.h"
#include "effects/Vignette.h"
#include "foundation/ColorConversions.h"

namespace {

double phaseOf(float v) { return static_cast<double>(static_cast<float>(1.4 * static_cast<double>(v) - 16.0)); }

const float kDark[4] = {130.8260955810547f, 2.1804330348968506f, 32.38426971435547f, 255.0f};
const float kLight[4] = {4.249996185302734f, 255.0f, 130.7152099609375f, 255.0f};

}  // namespace

struct Camera1983::Recipe {
    std::unique_ptr<VignetteMod> vignette;  // versions other than 2 and 3
    std::unique_ptr<ShadowsMod> shadows;
    std::unique_ptr<RgbCurvesMod> curves;
    std::unique_ptr<GammaMod> gamma;        // versions other than 2 and 3
    std::unique_ptr<SplitToneMod> split;
    std::unique_ptr<ContrastMod> contrast;
    std::unique_ptr<BlurMod> blur;          // version 3 only
    std::unique_ptr<NoiseMod> grain;
    bool current;

    Recipe(float a, float v, uint32_t version) : current(version == 2 || version == 3) {
        const double T = phaseOf(v);
        shadows = std::make_unique<ShadowsMod>(
            (camera::wave(T, 0.16964600636605623, 2.700000047683716, 0.2999999523162842, 1.5) - 1.0f) * a + 1.0f);
        curves = std::make_unique<RgbCurvesMod>(
            camera::curveFrom("0.000000 0.000000 0.200276 0.178177 0.665746 0.897790 1.000000 1.000000"),
            camera::curveFrom("0.000000 0.000000 0.825967 0.820442 1.000000 1.000000"),
            camera::curveFrom("0.000000 0.000000 0.616022 0.732044 1.000000 1.000000"),
            camera::curveFrom("0.000000 0.000000 0.241758 0.000000 0.394231 0.379121 0.766484 0.824176 1.000000 1.000000"),
            a);
        contrast = std::make_unique<ContrastMod>(
            2u, (camera::wave(T, 0.11184069672036627, 1.7799999713897705, 0.18500003218650818, 1.1350000202655792) -
                 1.0f) * a + 1.0f,
            64.36199951171875f);
        const float splitAmount = static_cast<float>(static_cast<double>(a) * 0.389);
        if (current) {
            float dark[4] = {kDark[0], kDark[1], kDark[2], kDark[3]};
            float light[4] = {kLight[0], kLight[1], kLight[2], kLight[3]};
            setRgbHue(dark, rgbHue(kDark[0], kDark[1], kDark[2]) +
                                camera::wave(T, 0.059690259695985945, 1.4500000476837158, 10.0, 0.0));
            setRgbHue(light, rgbHue(kLight[0], kLight[1], kLight[2]) +
                                 camera::wave(T, 0.078539816375, 1.649999976158142, 10.0, 0.0));
            split = std::make_unique<SplitToneMod>(dark, light, splitAmount);
            if (version == 3) {
                const double u = T * 0.0628318531;
                const float r = static_cast<float>(std::cos(0.5370000004768372 * u) * 4.5 + 18.5);
                const float m = static_cast<float>(std::cos(0.9549999833106995 * u) * 15.0 + 75.0);
                blur = std::make_unique<BlurMod>(r * a, m);
            }
            grain = std::make_unique<NoiseMod>(camera::wave(T, 0.1884955593, 3.0, 17.5, 17.5) * a, 25.0f, 0.0f);
        } else {
            vignette = std::make_unique<VignetteMod>(
                camera::wave(T, 0.13508849015711247, 2.1500000953674316, 0.15000000596046448, 0.15000000596046448) * a,
                2.0339999198913574f, 0.8820000290870667f);
            gamma = std::make_unique<GammaMod>(0.10500001907348633f * a + 1.0f);
            split = std::make_unique<SplitToneMod>(kDark, kLight, splitAmount);
            float n = camera::wave(T, 0.1884955593, 3.0, 14.0, 14.0);
            n = n > 0.0f ? (n < 18.0f ? n : 18.0f) : 0.0f;
            grain = std::make_unique<NoiseMod>(n * a, 20.0f, 0.0f);
            grain->version = 1;
        }
    }

    template <class Step>
    void steps(Step&& step) const {
        if (current) {
            step(*shadows, camera::kWithContext);
            step(*curves, camera::kWithContext);
            step(*split, camera::kWithContext);
            step(*contrast, camera::kWithContext);
            if (blur) step(*blur, camera::kWithContext);
            step(*grain, camera::kWithContext);
        } else {
            step(*vignette, camera::kWithContext);
            step(*shadows, camera::kWithContext);
            step(*curves, camera::kWithContext);
            step(*gamma, camera::kBare);
            step(*split, camera::kWithContext);
            step(*grain, camera::kWithContext);
            step(*contrast, camera::kWithContext);
        }
    }
};

Camera1983::Camera1983(uint32_t styleVersion)
    : CameraMod("1983", "Think underground breakdance competition.") {
    setVersion(styleVersion);
}

int32_t Camera1983::marginFor(int32_t width, int32_t height, float scale) const {
    if (version != 3) return 0;
    const float k = camera::wave(phaseOf(variationValue()), 0.033740705144660564, 0.0, 4.5, 18.5);
    const float q = static_cast<float>(static_cast<double>(k) * 0.01);
    return atLeastBlurReach<Recipe>(camera::blurMarginRows(q, width, height), width, height, scale);
}

ImageMod* Camera1983::clone() const { return new Camera1983(version); }
void Camera1983::process8(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, uint8_t>(image, args); }
void Camera1983::processFloat(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, float>(image, args); }
void Camera1983::recipeChain(GrowArray<ImageMod*>& out) const { appendRecipeChain<Recipe>(out); }
