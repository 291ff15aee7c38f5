#include "cameras/Camera1962.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "adjustments/ChannelCurves.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/Curves.h"
#include "cameras/ColorcrossCamera.h"
#include "cameras/MonoCamera.h"
#include "effects/Blur.h"
#include "effects/Noise.h"

namespace {

// Version 4's shared values: the phase s, the blur strength p and reach r.
struct VersionFour {
    float s, p, r;
    double A;
    explicit VersionFour(float a, float v) {
        s = static_cast<float>(static_cast<double>(v) - 333.33);
        const double S = static_cast<double>(s);
        A = static_cast<double>(a) * 1.2;
        const double u = S * 0.0628318531;
        p = static_cast<float>(std::cos(0.7110000252723694 * u) * 0.22499999403953552 + 0.7750000059604645);
        r = static_cast<float>(std::cos(0.5370000004768372 * u) * 5.0 + 21.0);
    }
    float blurAmount() const { return static_cast<float>(static_cast<double>(p) * A * static_cast<double>(r)); }
};

}  // namespace

struct Camera1962::Recipe {
    uint32_t chain;  // 4, 2 (versions 2 and 3) or 1 (every other version)
    std::unique_ptr<ColorcrossCamera> cross;
    std::unique_ptr<MonoCamera> mono;
    std::unique_ptr<SaturationMod> desaturate;
    std::unique_ptr<BlurMod> blur;
    std::unique_ptr<NoiseMod> grain;
    std::unique_ptr<ContrastMod> contrast;
    std::unique_ptr<RgbCurveMod> rgb;
    std::unique_ptr<CurvesMod> curve;

    Recipe(float a, float v, uint32_t version)
        : chain(version == 4 ? 4 : (version == 2 || version == 3 ? 2 : 1)) {
        if (chain == 4) {
            const VersionFour f(a, v);
            const double c3 = std::cos(0.06000441866188032 * static_cast<double>(f.s));
            cross = std::make_unique<ColorcrossCamera>(a, f.s);
            desaturate = std::make_unique<SaturationMod>(1u, 1.0f - a);
            blur = std::make_unique<BlurMod>(f.blurAmount(), 100.0f);
            grain = std::make_unique<NoiseMod>(45.0f * a * f.p, f.r, 0.0f);
            contrast = std::make_unique<ContrastMod>(
                2u, (static_cast<float>(c3 * 0.04999995231628418 + 1.5) - 1.0f) * a + 1.0f, 84.0f);
            return;
        }
        const double S = static_cast<double>(static_cast<float>(static_cast<double>(v) + 503.32000000000005));
        if (chain == 2) {
            mono = std::make_unique<MonoCamera>();
            contrast = std::make_unique<ContrastMod>(
                2u, (camera::wave(S, 0.033740705144660564, 0.5370000004768372, 0.125, 1.725000023841858) - 1.0f) * a +
                        1.0f,
                90.0f);
            Curve lifted = camera::curveFrom("0.000000 0.082609 0.278261 0.156522 0.500000 0.493478 1.000000 1.000000");
            lifted.points[0].y =
                camera::wave(S, 0.08105308810215502, 1.2899999618530273, 0.07326100021600723, 0.08326099999248981);
            lifted.rebuildTable();
            rgb = std::make_unique<RgbCurveMod>(lifted, a);
            const float g = camera::wave(S, 0.044673449142009804, 0.7110000252723694, 8.0, 16.0);
            grain = std::make_unique<NoiseMod>(
                camera::wave(S, 0.05881061384246763, 0.46799999475479126, 20.5, 57.5) * a, g, 200.0f * g);
            grain->version = version == 2 ? 2 : 4;
            return;
        }
        contrast = std::make_unique<ContrastMod>(
            2u, (camera::wave(S, 0.13194688551788755, 1.2000000476837158, 0.1850000023841858, 1.6850000023841858) -
                 1.0f) * a + 1.0f,
            camera::wave(S, 0.10681415326605623, 2.200000047683716, 35.0, 75.0));
        desaturate = std::make_unique<SaturationMod>(1u, 1.0f - a);
        curve = std::make_unique<CurvesMod>(camera::curveFrom("0.000000 0.081633 1.000000 1.000000"), a);
        grain = std::make_unique<NoiseMod>(camera::wave(S, 0.19477873861788755, 2.799999952316284, 8.0, 22.0) * a,
                                           13.0f, 0.0f);
        grain->version = 1;
    }

    template <class Step>
    void steps(Step&& step) const {
        if (chain == 4) {
            step(*cross, camera::kBare);
            step(*desaturate, camera::kWithContext);
            step(*blur, camera::kWithContext);
            step(*grain, camera::kWithContext);
            step(*contrast, camera::kWithContext);
        } else if (chain == 2) {
            step(*mono, camera::kWithContext);
            step(*contrast, camera::kWithContext);
            step(*rgb, camera::kBare);
            step(*grain, camera::kWithContext);
        } else {
            step(*contrast, camera::kWithContext);
            step(*desaturate, camera::kWithContext);
            step(*curve, camera::kBare);
            step(*grain, camera::kWithContext);
        }
    }
};

Camera1962::Camera1962(uint32_t styleVersion)
    : CameraMod("1962", "Dynamic, high-contrast black and whites from the photojournalism of a bygone era.") {
    setVersion(styleVersion);
}

int32_t Camera1962::marginFor(int32_t width, int32_t height, float scale) const {
    if (version != 4) return 0;
    const VersionFour f(amountValue(), variationValue());
    const float q = static_cast<float>(static_cast<double>(f.blurAmount()) * 0.01);
    return atLeastBlurReach<Recipe>(camera::blurMarginRows(q, width, height), width, height, scale);
}

ImageMod* Camera1962::clone() const { return new Camera1962(version); }
void Camera1962::process8(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, uint8_t>(image, args); }
void Camera1962::processFloat(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, float>(image, args); }
void Camera1962::recipeChain(GrowArray<ImageMod*>& out) const { appendRecipeChain<Recipe>(out); }
