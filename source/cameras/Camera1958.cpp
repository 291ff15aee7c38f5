#include "cameras/Camera1958.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "adjustments/BrightnessContrast.h"
#include "adjustments/ColorizeCurve.h"
#include "adjustments/ContrastSaturation.h"
#include "adjustments/Curves.h"
#include "effects/Blur.h"
#include "foundation/ColorConversions.h"

namespace {

// The phase of every step: float(v + v + 607.92), widened again.
double phaseOf(float v) {
    return static_cast<double>(static_cast<float>(static_cast<double>(v) + static_cast<double>(v) + 607.92));
}

}  // namespace

struct Camera1958::Recipe {
    std::unique_ptr<CurvesMod> curve;
    std::unique_ptr<ColorizeCurveMod> colour;
    std::unique_ptr<LuminanceContrastMod> contrast;
    std::unique_ptr<SaturationMod> saturation;
    std::unique_ptr<BlurMod> blur;  // version 2 only

    Recipe(float a, float v, uint32_t version) {
        const double S = phaseOf(v);
        Curve luminance = camera::curveFrom(
            "0.000000 0.152174 0.143478 0.241304 0.208696 0.465217 1.000000 0.756522 1.000000 1.000000");
        luminance.points[1].y +=
            static_cast<float>(std::cos(0.033740705144660564 * S) * 0.15000000596046448 + 0.06000000238418579);
        luminance.rebuildTable();
        curve = std::make_unique<CurvesMod>(luminance, a);

        float tint[4] = {255.0f, 0.0f, 204.0f, 255.0f};
        setRgbHue(tint, rgbHue(255.0f, 0.0f, 204.0f) + static_cast<float>(std::cos(0.06000441866188032 * S) * 20.0));
        colour = std::make_unique<ColorizeCurveMod>(
            camera::curveFrom("0.000000 0.556522 0.360870 0.621739 0.680435 0.389130 1.000000 0.347826"), tint, 0u,
            a);
        contrast = std::make_unique<LuminanceContrastMod>(
            0.1659790277481079f * a + 1.0f,
            static_cast<float>(std::cos(0.08105308810215502 * S) * 80.0) + 145.33700561523438f);
        saturation = std::make_unique<SaturationMod>(
            1u, (static_cast<float>(std::cos(0.07037167577160562 * S) * 0.10000000149011612) - 0.18734002113342285f) *
                        a + 1.0f);
        if (version == 2) {
            float amount, mix;
            closingBlur(a, v, amount, mix);
            blur = std::make_unique<BlurMod>(amount, mix);
        }
    }

    template <class Step>
    void steps(Step&& step) const {
        step(*curve, camera::kBare);
        step(*colour, camera::kWithContext);
        step(*contrast, camera::kWithContext);
        step(*saturation, camera::kWithContext);
        if (blur) step(*blur, camera::kWithContext);
    }
};

void Camera1958::closingBlur(float a, float v, float& amount, float& mix) {
    const double u = phaseOf(v) * 0.0628318531;
    const float r = static_cast<float>(std::cos(1.5160000324249268 * u) * 5.0 + 20.0);
    mix = static_cast<float>(std::cos(1.4010000228881836 * u) * 15.0 + 65.0);
    amount = r * a;
}

Camera1958::Camera1958(uint32_t styleVersion)
    : CameraMod("1958", "Those nostalgic maroon hues from Christmases decked with cowboy hats and BB guns.") {
    setVersion(styleVersion);
}

ImageMod* Camera1958::clone() const { return new Camera1958(version); }

int32_t Camera1958::marginFor(int32_t width, int32_t height, float scale) const {
    if (version != 2) return 0;
    const double S = phaseOf(variationValue());
    const float k = static_cast<float>(std::cos(0.09525309133691824 * S) * 5.0 + 20.0);
    const float q = static_cast<float>(static_cast<double>(k) * 0.01);
    return atLeastBlurReach<Recipe>(camera::blurMarginRows(q, width, height), width, height, scale);
}


void Camera1958::process8(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, uint8_t>(image, args); }
void Camera1958::processFloat(ImageBuffer& image, const RenderArgs* args) { runRecipe<Recipe, float>(image, args); }
void Camera1958::recipeChain(GrowArray<ImageMod*>& out) const { appendRecipeChain<Recipe>(out); }
